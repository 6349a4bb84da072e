#pragma once
// The folders the program starts from: the home folder and the program's own.
// The path helpers themselves are in core/file_paths.h.

#include <string>

#include "core/file_paths.h"

namespace quorvel {

// $HOME when it is absolute, else the home folder of the user's password entry,
// else "/". No trailing "/" (except for the root).
std::string HomeFolder();

// The folder of the running executable, with a trailing "/"; empty when unknown.
std::string ApplicationFolder();

// The editor window is a module of its own, loaded only when the command line
// asks for the window: --info, --help and silent runs never load Qt.
extern const char* const kEditorModuleFile;  // "quorvel-editor.so"

// The editor module beside the program, or in ../lib/quorvel once installed;
// empty when neither holds it.
std::string FindEditorModuleIn(const std::string& applicationFolder);
std::string FindEditorModule();

}  // namespace quorvel
