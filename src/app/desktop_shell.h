#pragma once
// Starting other programs: the desktop's "open" action (xdg-open) and the
// registered player. Programs are always started from an argument vector
// (posix_spawnp), never through a shell, so no file name can run a command.

#include <string>
#include <sys/types.h>
#include <vector>

#include "core/headless_host.h"

namespace quorvel {

// Shell result codes: above 32 is success.
constexpr int kShellSuccess = 42;
constexpr int kShellNoAssociation = 31;

// The shell result code for an exit status of xdg-open: 0 success, 1 a syntax
// error (the path seems invalid), 2 a file that does not exist, 3 no tool to open
// it with, 4 the action failed. Any other status counts as no usable viewer.
int ShellResultFromExitStatus(int exitStatus);

// Splits a command line the way desktop entries quote their Exec keys: blanks
// outside double quotes separate arguments; inside double quotes a backslash
// makes the next '"', '`', '$' or '\' literal. A single quote has no meaning.
std::vector<std::string> SplitCommandLine(const std::string& line);

class DesktopShell {
 public:
  // Opens target with xdg-open and returns the shell result code. Waits for
  // xdg-open to report, at most waitLimitMs; an xdg-open still running then
  // has started the viewer, which counts as success.
  int open(const std::string& target);

  // Starts program (looked up on PATH when it has no "/") with the arguments,
  // without waiting for it. Returns false when it could not be started.
  bool start(const std::string& program, const std::vector<std::string>& args);

  // Runs program with the arguments and returns what it wrote to standard
  // output; empty when it could not be started or failed.
  static std::string capture(const std::string& program, const std::vector<std::string>& args);

  int waitLimitMs = 5000;

 private:
  // Children started without waiting are reaped later, so none stays a zombie.
  void reapFinished();
  std::vector<pid_t> running_;
};

// The headless host of the silent run: everything as HeadlessHost, but files
// are opened on the desktop for real.
class ShellHeadlessHost : public HeadlessHost {
 public:
  int openWithDesktop(const std::string& target) override;
  DesktopShell shell;
};

}  // namespace quorvel
