#pragma once
// The program start without windows: the instance marker, the settings folder
// and file, the start errors, and the silent script run of the command line.

#include <cstdint>
#include <string>
#include <vector>

#include "app/player.h"
#include "core/context.h"

namespace quorvel {

// The lock that tells whether another instance runs: an exclusive, non-blocking
// flock on "Quorvel6EXN.lock" in $XDG_RUNTIME_DIR (else /tmp, named with the
// user id). The first instance holds it for its whole life; the kernel drops it
// when the process ends, so a crash leaves no stale marker.
class InstanceMarker {
 public:
  // lockFolder empty: $XDG_RUNTIME_DIR when absolute, else /tmp.
  explicit InstanceMarker(const std::string& lockFolder = {});
  ~InstanceMarker();
  InstanceMarker(const InstanceMarker&) = delete;
  InstanceMarker& operator=(const InstanceMarker&) = delete;

  // True when another instance holds the lock.
  bool anotherInstance() const { return another_; }
  const std::string& lockPath() const { return path_; }

 private:
  int fd_ = -1;
  bool another_ = false;
  std::string path_;
};

// The lock file's path for a folder (empty: the default folder).
std::string InstanceLockPath(const std::string& lockFolder = {});

struct StartState {
  bool anotherInstance = false;
  uint8_t startError = 0;  // kStartOk, kStartEnvironmentUnusable, kStartSettingsReset
  bool calledWithFile = false;
  std::string applicationFolder;  // with a trailing "/"
};

// The settings steps of the main window's creation: the application folder, the
// settings folder (created, and its stale working files deleted, only by the
// first instance), the settings file read or reset. Installs ctx.saveSettings.
void StartProgram(Context& ctx, StartState& state);

// The front ends that drive the engine.
enum class FrontEnd {
  kSilentRun,  // a script from the command line, no windows
  kWindow,     // the editor window
  kTest,       // a test: the player's commands are what the test sets
};

// Installs the hooks of the context for a front end: the save procedure's
// "Save as" (offered when a changed document is closed) and the player's play
// commands and their availability. The player must outlive ctx's use. The
// settings hook comes with StartProgram, once the settings file is known.
void WireContext(Context& ctx, Player& player, FrontEnd frontEnd);

// The names of the hooks not installed ("saveAs", "saveSettings", "play",
// "playAvailable"); empty when the context is fully wired.
std::vector<std::string> MissingHooks(const Context& ctx);

// Closing: the settings file is written unless the start failed.
void FinishProgram(Context& ctx, const StartState& state);

// The start-error report: text, kind and caption ("Quorvel"). Empty text for 0.
struct StartErrorReport {
  std::string text;
  int kind = 0;
  std::string caption;
};
StartErrorReport StartErrorMessage(uint8_t startError);

// The silent run of `quorvel --script FILE`: starts the program without a
// window, runs the script (each log line echoed to standard error), writes the
// settings and returns the exit status: 0 when every statement succeeded, 1
// when one failed, the script could not be read or the start failed.
int RunSilentCommandLine(const std::string& scriptPath);

}  // namespace quorvel
