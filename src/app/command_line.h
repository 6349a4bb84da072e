#pragma once
// The program's command line: what it asks for, and running the requests that
// need no window (--help, --version, --info).

#include <string>
#include <vector>

namespace quorvel {

enum class CommandAction {
  kEditor,    // no option: the editor, with the parameters in `params`
  kHelp,      // --help
  kVersion,   // --version
  kInfo,      // --info FILE...: the analysis of each file
  kScript,    // --script FILE, -s FILE or the "/" forms: FILE (in params) runs silently
  kUnusable,  // a command line that cannot be used: `error` says why
};

struct CommandLine {
  CommandAction action = CommandAction::kEditor;
  std::vector<std::string> params;  // kEditor: every parameter; kInfo: the files; kScript: the script
  std::string error;
};

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;    // a file could not be processed
constexpr int kExitUsage = 2;     // the command line cannot be used

// args are the parameters without the program name. A single parameter is read
// as: "//PATH" runs the script "/PATH"; "/PATH" naming an existing file opens
// it; any other "/REST" runs the script REST (relative to the current folder);
// anything else is an MP3 file to open.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The --info report of one file: its path, then indented lines with the
// information line, the frame count, the first frame's VBR header and every
// block found around the audio, or the analysis's error text. Sets ok to
// whether the analysis succeeded.
std::string FileInfoReport(const std::string& path, bool& ok);

// The usage lines printed with a command line that cannot be used.
const char* UsageText();

// Reads the command line and runs what it asks for; returns the exit status.
int RunCommandLine(int argc, char** argv);

}  // namespace quorvel
