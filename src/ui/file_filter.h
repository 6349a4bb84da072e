#pragma once
// The engine names the file types of an open or save dialog as
// "name|patterns|name|patterns", patterns separated by ";"; a Qt file dialog
// takes "name (patterns);;name (patterns)", patterns separated by blanks.

#include <QString>
#include <string>

namespace quorvel {

// "JPEG & PNG files|*.jpg;*.jpeg|all files|*.*" ->
// "JPEG & PNG files (*.jpg *.jpeg);;all files (*)". "*.*" means every file, as
// it does to the engine: "*" (a name without a dot is a file too).
QString QtFilter(const std::string& filter);

}  // namespace quorvel
