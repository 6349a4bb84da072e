#pragma once
// The editor: the desktop application with its main window. Only the command
// line's editor form starts it; --info, --help and silent runs never do.

#include <string>
#include <vector>

namespace quorvel {

// Starts the application, opens the main window (loading params[0] when the
// command line names exactly one file) and returns the exit status.
int RunEditor(int argc, char** argv, const std::vector<std::string>& params);

}  // namespace quorvel
