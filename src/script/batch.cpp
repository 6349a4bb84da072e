#include "script/batch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "core/busy.h"
#include "core/document_ops.h"
#include "core/messages.h"
#include "core/tag_editing.h"
#include "script/reader.h"

namespace quorvel {

const char* const kScriptMissingText = "The script you specified doesn't exist.";
const char* const kScriptReadErrorText = "Disk error reading the script file. Aborted.";

namespace {

constexpr const char* kDefaultLogName = "Quorvel.log";
constexpr const char* kScriptFilter = "text files|*.txt|all files|*.*";

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool RegularFileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool MenuRefused(const Context& ctx) { return ctx.script.active || NotReady(ctx); }

// An option or a recent list changed: written at once, and the window told.
void SaveSettings(Context& ctx) {
  if (ctx.saveSettings) ctx.saveSettings(ctx);
  ctx.host.changed(kChangedOptions);
}

// Writes every byte; false on any error.
bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// For a terminal: "\r\n" becomes "\n".
std::string TerminalText(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

// Strips every CR: lines end at LF or CR LF, and a lone CR is dropped.
void DropCarriageReturns(std::string& line) {
  line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
}

}  // namespace

std::string LogFilePath(const Context& ctx) {
  if (!ctx.options.logPath.empty()) return ctx.options.logPath;
  const char* home = std::getenv("HOME");
  std::string folder = (home != nullptr && home[0] == '/') ? home : "/";
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder == "/" ? folder + kDefaultLogName : folder + "/" + kDefaultLogName;
}

void AppendLogLine(Context& ctx, const std::string& text) {
  if (ctx.script.silent) {
    std::string echo = TerminalText(text) + "\n";
    std::fwrite(echo.data(), 1, echo.size(), stderr);
    std::fflush(stderr);
  }
  const std::string path = LogFilePath(ctx);
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) return;
  WriteAll(fd, LineToLocale(text) + "\r\n");
  ::close(fd);
}

void ReportScriptFailure(Context& ctx, const std::string& text) {
  ctx.script.runFailed = true;
  if (ctx.script.silent) {
    AppendLogLine(ctx, text);
  } else {
    ReportMessage(ctx, text, kMsgWarning, "warning");
  }
}

std::string LogTimeText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return {};
  char buffer[128];
  size_t n = std::strftime(buffer, sizeof buffer, "%x %X", &local);
  return std::string(buffer, n);
}

std::string RecentCaption(int k, const std::string& path) {
  std::string name = FileNameOf(path);
  if (name.size() > 4) {
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail == ".mp3") name.resize(name.size() - 4);
  }
  return " &" + std::to_string(k + 1) + ". " + name;
}

void BatchExecute(Context& ctx, const std::string& path, CommandHandler handler) {
  ScriptRun& run = ctx.script;
  if (!RegularFileExists(path)) {
    ReportScriptFailure(ctx, kScriptMissingText);
    return;
  }
  FILE* file = std::fopen(path.c_str(), "rbe");
  if (file == nullptr) {
    ReportScriptFailure(ctx, kScriptReadErrorText);
  } else {
    run.baseOffset = 0;
    // The script's tag commands change the document's tags: the editors close
    // first, their changes applied or dropped as the user answers.
    if (!SettleTagEditsForScript(ctx)) {
      std::fclose(file);
      return;
    }
    run.active = true;
    ctx.doc.id3v2.tagStarted = false;
    // A block left open by an earlier script never continues into this one.
    run.blockOpen = false;
    run.blockText.clear();
    run.blockDescription.clear();
    run.relativeMode = {RelativeMode::Absolute, RelativeMode::Absolute};
    run.statement = ScriptStatement{};

    char* buffer = nullptr;
    size_t capacity = 0;
    int64_t lineNumber = 0;
    for (;;) {
      errno = 0;
      ssize_t n = getline(&buffer, &capacity, file);
      if (n < 0) {
        if (std::ferror(file) != 0) ReportScriptFailure(ctx, kScriptReadErrorText);
        break;
      }
      std::string line(buffer, static_cast<size_t>(n));
      bool atEnd = line.empty() || line.back() != '\n';
      if (!atEnd) line.pop_back();
      DropCarriageReturns(line);
      run.statement.lineNumber = ++lineNumber;
      if (ExecuteStatement(ctx, LineFromLocale(line), handler)) break;
      if (atEnd) break;
    }
    std::free(buffer);
    std::fclose(file);
  }

  if (run.silent) return;
  if (!ctx.options.mainFlag(kScriptsOrderLocked)) {
    MoveToTopOfRecent(ctx.options.recentScripts, AbsoluteNormalPath(path));
    ctx.host.changed(kChangedRecentFiles);
    SaveSettings(ctx);
  }
  run.active = false;
  if (ctx.options.mainFlag(kMessageAfterScript)) {
    ReportMessage(ctx, "Script executed:\r\n" + FileNameOf(path), kMsgModal, "Quorvel");
  }
  // A close asked for while the script ran is carried out now.
  SettlePendingRequests(ctx);
}

bool RunSilentScript(Context& ctx, const std::string& path, CommandHandler handler) {
  ctx.script.silent = true;
  ctx.script.active = true;
  ctx.script.runFailed = false;
  AppendLogLine(ctx, "\r\nScript name: " + path + "\r\n" + "Execution started at " + LogTimeText());
  BatchExecute(ctx, path, handler);
  AppendLogLine(ctx, "Execution finished at " + LogTimeText());
  return !ctx.script.runFailed;
}

ScriptsMenuState ScriptsMenuOnOpen(const Context& ctx) {
  ScriptsMenuState menu;
  const Options& o = ctx.options;
  bool any = false;
  for (size_t k = 0; k < menu.recent.size(); ++k) {
    const std::string& entry = o.recentScripts[k];
    menu.recent[k].caption = RecentCaption(static_cast<int>(k), entry);
    menu.recent[k].enabled = !entry.empty();
    any = any || !entry.empty();
  }
  bool locked = o.mainFlag(kScriptsOrderLocked);
  menu.lockOrder.caption = locked ? "Unlock scripts order" : "Lock scripts order";
  menu.lockOrder.checked = locked;
  menu.lockOrder.enabled = locked || any;
  menu.messageAfterRun = {" &Show a messagebox after the execution", true, o.mainFlag(kMessageAfterScript)};
  menu.ignoreErrors = {" &Ignore errors and continue in silent mode", true, o.mainFlag(kIgnoreErrorsSilent)};
  menu.viewLog = {" &View the log file", FileExists(LogFilePath(ctx)), false};
  menu.commandsEnabled = !MenuRefused(ctx);
  return menu;
}

void ExecuteNewScript(Context& ctx, CommandHandler handler) {
  if (MenuRefused(ctx)) return;
  FileDialogRequest request;
  request.title = "Execute a script";
  request.filter = kScriptFilter;
  request.folder = ctx.options.scriptsFolder;
  request.mustExist = true;
  std::optional<std::string> chosen = ctx.host.chooseOpenFile(request);
  if (!chosen || chosen->empty()) return;
  ctx.options.scriptsFolder = FolderOf(AbsoluteNormalPath(*chosen));
  SaveSettings(ctx);
  BatchExecute(ctx, *chosen, handler);
}

int EditScript(Context& ctx) {
  if (MenuRefused(ctx)) return 0;
  FileDialogRequest request;
  request.title = "Edit a script";
  request.filter = kScriptFilter;
  request.folder = ctx.options.scriptsFolder;
  std::optional<std::string> chosen = ctx.host.chooseOpenFile(request);
  if (!chosen || chosen->empty()) return 0;
  if (!RegularFileExists(*chosen)) {
    ReportMessage(ctx, "The script doesn't exist.", kMsgWarning, "error");
    return 0;
  }
  return ctx.host.openWithDesktop(*chosen);
}

void RunRecentScript(Context& ctx, int k, CommandHandler handler) {
  if (MenuRefused(ctx) || k < 0 || k >= 5) return;
  std::string path = ctx.options.recentScripts[static_cast<size_t>(k)];
  if (path.empty()) return;
  BatchExecute(ctx, path, handler);
}

void ToggleScriptsLock(Context& ctx) {
  if (MenuRefused(ctx)) return;
  Options& o = ctx.options;
  if (o.mainFlag(kScriptsOrderLocked)) {
    o.mainFlags = static_cast<uint8_t>(o.mainFlags & ~kScriptsOrderLocked);
    SaveSettings(ctx);
    return;
  }
  bool any = false;
  for (const std::string& entry : o.recentScripts) any = any || !entry.empty();
  if (!any) {
    ReportMessage(ctx, "You can't lock an empty list.", kMsgWarning, "error");
    return;
  }
  o.mainFlags = static_cast<uint8_t>(o.mainFlags | kScriptsOrderLocked);
  SaveSettings(ctx);
  ReportMessage(ctx,
                "You have locked the scripts load order.\r\n\r\nNote that you can execute a respective script\r\n"
                "by pressing 3 keys in succession:\r\n-  Alt\r\n-  S\r\n-  a digit from 1 to 5",
                kMsgInfo, "info");
}

void ToggleMessageAfterScript(Context& ctx) {
  if (MenuRefused(ctx)) return;
  Options& o = ctx.options;
  o.mainFlags = static_cast<uint8_t>(o.mainFlags ^ kMessageAfterScript);
  SaveSettings(ctx);
  if (o.mainFlag(kMessageAfterScript)) {
    ReportMessage(ctx, "Note that this setting doesn't apply\r\nif you run a script in silent mode.", kMsgInfo,
                  "messagebox = on");
  }
}

void ToggleIgnoreErrors(Context& ctx) {
  if (MenuRefused(ctx)) return;
  Options& o = ctx.options;
  o.mainFlags = static_cast<uint8_t>(o.mainFlags ^ kIgnoreErrorsSilent);
  SaveSettings(ctx);
  ReportMessage(ctx,
                "Note that silent mode is when you run\r\nthe script from the command line, e.g.\r\n"
                "quorvel --script ~/my_script.txt",
                kMsgInfo, "silent mode info");
}

void ChooseLogFile(Context& ctx, const std::string& applicationFolder) {
  if (MenuRefused(ctx)) return;
  for (;;) {
    FileDialogRequest request;
    request.title = "Log file location";
    request.filter = "log files|*.log|all files|*.*";
    request.folder = FolderOf(LogFilePath(ctx));
    request.fileName = FileNameOf(LogFilePath(ctx));
    request.defaultExt = "log";
    std::optional<std::string> chosen = ctx.host.chooseSaveFile(request);
    if (!chosen || chosen->empty()) return;
    std::string absolute = AbsoluteNormalPath(*chosen);
    std::string app = applicationFolder;
    while (app.size() > 1 && app.back() == '/') app.pop_back();
    bool inAppFolder = false;
    if (!app.empty()) {
      std::string folder = FolderOf(absolute);
      struct stat a {};
      struct stat b {};
      inAppFolder = folder == AbsoluteNormalPath(app) ||
                    (stat(folder.c_str(), &a) == 0 && stat(app.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
                     a.st_ino == b.st_ino);
    }
    if (inAppFolder) {
      ReportMessage(ctx, "You are not allowed to save to the application folder.\r\nPlease change the path.",
                    kMsgError, "warning");
      continue;
    }
    ctx.options.logPath = absolute;
    SaveSettings(ctx);
    ReportMessage(ctx,
                  "Note that the log file is written only when\r\nthe script runs from the command line (in silent "
                  "mode).",
                  kMsgWarning, "info");
    return;
  }
}

int ViewLogFile(Context& ctx) {
  if (MenuRefused(ctx)) return 0;
  std::string path = LogFilePath(ctx);
  if (!FileExists(path)) {
    ReportMessage(ctx, "Log file doesn't exist.", kMsgError, "error");
    return 0;
  }
  return ctx.host.openWithDesktop(path);
}

}  // namespace quorvel
