#include "app/startup.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cfenv>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "app/desktop_shell.h"
#include "app/paths.h"
#include "app/player.h"
#include "app/settings.h"
#include "output/save.h"
#include "script/batch.h"
#include "script/commands.h"

namespace quorvel {

namespace {

constexpr const char* kInstanceName = "Quorvel6EXN";

}  // namespace

std::string InstanceLockPath(const std::string& lockFolder) {
  if (!lockFolder.empty()) return JoinPath(lockFolder, std::string(kInstanceName) + ".lock");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return JoinPath(runtime, std::string(kInstanceName) + ".lock");
  return "/tmp/" + std::string(kInstanceName) + "-" + std::to_string(getuid()) + ".lock";
}

InstanceMarker::InstanceMarker(const std::string& lockFolder) : path_(InstanceLockPath(lockFolder)) {
  // O_NOFOLLOW: a link planted under the name in a shared folder is not followed.
  fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) {
    // Without a marker this instance cannot know; it behaves as the first one so
    // that the settings folder is still created.
    return;
  }
  int r;
  do {
    r = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    another_ = errno == EWOULDBLOCK;
    ::close(fd_);
    fd_ = -1;
  }
}

InstanceMarker::~InstanceMarker() {
  if (fd_ >= 0) {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
}

void StartProgram(Context& ctx, StartState& state) {
  std::fesetround(FE_TONEAREST);
  ctx.script.relativeMode = {RelativeMode::Absolute, RelativeMode::Absolute};
  state.applicationFolder = ApplicationFolder();
  state.startError = PrepareSettings(ctx, state.anotherInstance, state.applicationFolder);
  if (state.startError == kStartEnvironmentUnusable) return;
  ctx.saveSettings = [](Context& c) { SaveSettingsFile(c); };
}

void WireContext(Context& ctx, Player& player, FrontEnd frontEnd) {
  InstallSaveHooks(ctx);
  // A silent run looks the player up only when a play command needs it, so a
  // run that plays nothing never starts xdg-mime; the window looks it up at its
  // start, and a test sets the player's commands itself.
  player.lookUpOnFirstUse = frontEnd == FrontEnd::kSilentRun;
  player.install(ctx);
}

std::vector<std::string> MissingHooks(const Context& ctx) {
  std::vector<std::string> missing;
  if (!ctx.saveAs) missing.push_back("saveAs");
  if (!ctx.saveSettings) missing.push_back("saveSettings");
  if (!ctx.play) missing.push_back("play");
  if (!ctx.playAvailable) missing.push_back("playAvailable");
  return missing;
}

void FinishProgram(Context& ctx, const StartState& state) {
  if (state.startError == kStartOk) SaveSettingsFile(ctx);
}

StartErrorReport StartErrorMessage(uint8_t startError) {
  switch (startError) {
    case kStartEnvironmentUnusable:
      return {kStartErrorFolderText, kModalError, "Quorvel"};
    case kStartSettingsReset:
      return {kStartErrorConfigText, kMsgWarning, "Quorvel"};
    default:
      return {};
  }
}

int RunSilentCommandLine(const std::string& scriptPath) {
  std::setlocale(LC_ALL, "");
  InstanceMarker marker;
  ShellHeadlessHost host;
  // Nothing waits for an answer in a silent run: a question that still comes is refused.
  host.defaultAnswer = kAnswerNo;
  Context ctx(host);
  // No user command can start from now on.
  ctx.script.active = true;
  ctx.script.silent = true;

  StartState state;
  state.anotherInstance = marker.anotherInstance();
  StartProgram(ctx, state);
  if (state.startError != kStartOk) {
    // The command line is not processed after a failed start (the settings were
    // reset and written back when they could not be read).
    StartErrorReport report = StartErrorMessage(state.startError);
    std::string text;
    for (size_t i = 0; i < report.text.size(); ++i) {
      if (report.text[i] == '\r' && i + 1 < report.text.size() && report.text[i + 1] == '\n') continue;
      text += report.text[i];
    }
    std::fprintf(stderr, "quorvel: %s\n", text.c_str());
    return 1;
  }
  Player player(host.shell);
  WireContext(ctx, player, FrontEnd::kSilentRun);
  bool ok = RunSilentScript(ctx, scriptPath, ExecuteCommand);
  FinishProgram(ctx, state);
  return ok ? 0 : 1;
}

}  // namespace quorvel
