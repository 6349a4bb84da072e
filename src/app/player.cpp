#include "app/player.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <chrono>
#include <unistd.h>

#include "app/paths.h"
#include "core/document_ops.h"
#include "core/messages.h"
#include "output/target_file.h"
#include "output/writer.h"

namespace quorvel {

const char* const kProgramHelpFile = "Quorvel.local.help.file.htm";
const char* const kScriptHelpFile = "Quorvel.script.tutorial.htm";

namespace {

constexpr int kWarningKind = kModalWarning;
const char* const kFileGoneText = "The file was moved, renamed or deleted in the meantime.";
const char* const kInsertedFileGoneText = "A file to be inserted from was moved, renamed or deleted in the meantime.";
const char* const kSourceGoneText = "Source file was moved, renamed or deleted in the meantime.";
const char* const kWorkingFilesHeldText =
    "You may need to close your mp3 player so that the\r\ntemporary mp3 file can be overwritten and then played.";
const char* const kPlayFailedText = "System error trying to play.";

bool RegularFileExists(const std::string& path) {
  if (path.empty()) return false;
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// True when name is an executable: a path to one, or a bare name found on PATH.
bool NamesExecutable(const std::string& name) {
  if (name.empty()) return false;
  if (name.find('/') != std::string::npos) return IsExecutableFile(name);
  const char* pathEnv = std::getenv("PATH");
  std::string path = pathEnv ? pathEnv : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    if (dir.empty()) dir = ".";
    if (IsExecutableFile(JoinPath(dir, name))) return true;
    start = end + 1;
  }
  return false;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

// The escapes of desktop entry string values: \s \n \t \r \\.
std::string UnescapeValue(const std::string& v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '\\' && i + 1 < v.size()) {
      char n = v[i + 1];
      if (n == 's') { out += ' '; ++i; continue; }
      if (n == 'n') { out += '\n'; ++i; continue; }
      if (n == 't') { out += '\t'; ++i; continue; }
      if (n == 'r') { out += '\r'; ++i; continue; }
      if (n == '\\') { out += '\\'; ++i; continue; }
    }
    out += v[i];
  }
  return out;
}

// Rewrites the field codes of an Exec value: the file codes become "%1", "%%"
// stays a literal percent sign for the program, every other code is dropped.
std::string FieldCodesToPlaceholder(const std::string& exec) {
  std::string out;
  for (size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] != '%' || i + 1 >= exec.size()) {
      out += exec[i];
      continue;
    }
    char code = exec[i + 1];
    ++i;
    switch (code) {
      case 'f': case 'F': case 'u': case 'U':
        out += "%1";
        break;
      case '%':
        out += "%%";
        break;
      default:
        break;  // %i %c %k and the deprecated codes carry nothing a player needs
    }
  }
  return out;
}

std::string QuoteArgument(const std::string& a) {
  if (!a.empty() && a.find_first_of(" \t\"`$\\") == std::string::npos) return a;
  std::string out = "\"";
  for (char c : a) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string PercentUnescape(const std::string& a) {
  std::string out;
  for (size_t i = 0; i < a.size(); ++i) {
    out += a[i];
    if (a[i] == '%' && i + 1 < a.size() && a[i + 1] == '%') ++i;
  }
  return out;
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text;
  char buf[4096];
  while (in && text.size() < (1u << 20)) {
    in.read(buf, sizeof buf);
    text.append(buf, static_cast<size_t>(in.gcount()));
  }
  return text;
}

}  // namespace

std::string ReducePlayCommand(const std::string& command) {
  std::string s = command;
  if (!s.empty() && s[0] == '"') {
    size_t close = s.find('"', 1);
    if (close != std::string::npos && close + 1 < s.size()) s.resize(close + 1);
  } else {
    size_t percent = s.size() > 1 ? s.find('%', 1) : std::string::npos;
    if (percent != std::string::npos) {
      s.resize(percent);
      if (!s.empty() && s.back() == '"') s.pop_back();
      while (!s.empty() && s.back() == ' ') s.pop_back();
      s = "\"" + s + "\"";
    }
  }
  return s.size() < 2 ? std::string() : s;
}

std::string ReduceEnqueueCommand(const std::string& command) {
  std::string s = command;
  bool quoted = false;
  for (size_t i = s.size(); i-- > 0;) {
    if (s[i] == '"') {
      quoted = !quoted;
    } else if (s[i] == ' ' && !quoted) {
      s.resize(i);
      break;
    }
  }
  return s.size() < 2 ? std::string() : s;
}

DesktopEntryExec ParseDesktopEntry(const std::string& text) {
  struct Action {
    std::string id, name, exec;
    bool hasName = false, hasExec = false;
  };
  DesktopEntryExec out;
  bool hasExec = false;
  std::vector<Action> actions;
  enum { kOther, kEntry, kAction } group = kOther;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    if (t[0] == '[') {
      size_t close = t.find(']');
      std::string name = close == std::string::npos ? t.substr(1) : t.substr(1, close - 1);
      if (name == "Desktop Entry") {
        group = kEntry;
      } else if (name.rfind("Desktop Action ", 0) == 0) {
        group = kAction;
        actions.push_back(Action{Trim(name.substr(15)), {}, {}, false, false});
      } else {
        group = kOther;
      }
      continue;
    }
    size_t eq = t.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Trim(t.substr(0, eq));
    std::string value = UnescapeValue(Trim(t.substr(eq + 1)));
    if (group == kEntry && key == "Exec" && !hasExec) {
      out.exec = value;
      hasExec = true;
    } else if (group == kAction && !actions.empty()) {
      Action& a = actions.back();
      if (key == "Exec" && !a.hasExec) { a.exec = value; a.hasExec = true; }
      if (key == "Name" && !a.hasName) { a.name = value; a.hasName = true; }
    }
  }
  // The action's id first; an action named "Enqueue" under another id also counts.
  for (const Action& a : actions) {
    if (Lower(a.id) == "enqueue" && a.hasExec) return out.enqueueExec = a.exec, out;
  }
  for (const Action& a : actions) {
    if (Lower(Trim(a.name)) == "enqueue" && a.hasExec) return out.enqueueExec = a.exec, out;
  }
  return out;
}

PlayerCommands PlayerCommandsFromExec(const std::string& exec, const std::string& enqueueExec) {
  PlayerCommands out;
  if (!Trim(exec).empty()) out.playCommand = ReducePlayCommand(Trim(FieldCodesToPlaceholder(exec)));
  std::string enq = Trim(FieldCodesToPlaceholder(enqueueExec));
  if (!enq.empty()) {
    std::vector<std::string> words = SplitCommandLine(enq);
    if (!words.empty() && words.back().find("%1") != std::string::npos) {
      out.enqueueCommand = ReduceEnqueueCommand(enq);
    } else {
      // The file code stands elsewhere (or nowhere): drop that argument only.
      std::string rebuilt;
      for (const std::string& w : words) {
        if (w.find("%1") != std::string::npos) continue;
        if (!rebuilt.empty()) rebuilt += ' ';
        rebuilt += QuoteArgument(w);
      }
      out.enqueueCommand = rebuilt.size() < 2 ? std::string() : rebuilt;
    }
  }
  // What is left of an Exec that was nothing but its file code names no program.
  if (out.playCommand.find("%1") != std::string::npos) out.playCommand.clear();
  if (out.enqueueCommand.find("%1") != std::string::npos) out.enqueueCommand.clear();
  return out;
}

std::string FindDesktopEntry(const std::string& desktopId) {
  if (desktopId.empty() || desktopId.find('/') != std::string::npos || desktopId[0] == '.') return {};
  std::vector<std::string> dirs;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && dataHome[0] == '/') {
    dirs.push_back(dataHome);
  } else {
    dirs.push_back(JoinPath(HomeFolder(), ".local/share"));
  }
  const char* dataDirs = std::getenv("XDG_DATA_DIRS");
  std::string list = (dataDirs && dataDirs[0]) ? dataDirs : "/usr/local/share/:/usr/share/";
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string dir = list.substr(start, end - start);
    if (!dir.empty() && dir[0] == '/') dirs.push_back(dir);
    start = end + 1;
  }
  // A desktop file id names a file below "applications/"; each "-" may stand for
  // a subfolder ("kde4-player.desktop" can be "kde4/player.desktop").
  std::vector<std::string> names{desktopId};
  std::string n = desktopId;
  for (size_t dash = n.find('-'); dash != std::string::npos; dash = n.find('-', dash + 1)) {
    n[dash] = '/';
    names.push_back(n);
  }
  for (const std::string& dir : dirs) {
    for (const std::string& name : names) {
      std::string path = JoinPath(JoinPath(dir, "applications"), name);
      if (RegularFileExists(path)) return path;
    }
  }
  return {};
}

PlayerCommands LookUpPlayerCommands() {
  std::string answer = DesktopShell::capture("xdg-mime", {"query", "default", "audio/mpeg"});
  std::string id = Trim(answer.substr(0, answer.find('\n')));
  // Some versions answer with a list.
  id = Trim(id.substr(0, id.find(';')));
  if (id.empty()) return {};
  std::string path = FindDesktopEntry(id);
  if (path.empty()) return {};
  DesktopEntryExec entry = ParseDesktopEntry(ReadSmallFile(path));
  return PlayerCommandsFromExec(entry.exec, entry.enqueueExec);
}

std::vector<std::string> PlayCommandArgv(const std::string& playCommand, const std::string& file) {
  std::string inner = playCommand;
  if (inner.size() >= 2 && inner.front() == '"' && inner.back() == '"' &&
      inner.find('"', 1) == inner.size() - 1) {
    inner = inner.substr(1, inner.size() - 2);
  }
  std::vector<std::string> argv;
  if (NamesExecutable(inner)) {
    argv.push_back(inner);
  } else {
    for (const std::string& w : SplitCommandLine(inner)) argv.push_back(PercentUnescape(w));
  }
  if (argv.empty()) return {};
  argv.push_back(file);
  return argv;
}

std::vector<std::string> EnqueueCommandArgv(const std::string& enqueueCommand, const std::string& file) {
  std::vector<std::string> argv;
  for (const std::string& w : SplitCommandLine(enqueueCommand)) argv.push_back(PercentUnescape(w));
  if (argv.empty()) return {};
  argv.push_back(file);
  return argv;
}

std::string ShellErrorText(int code) {
  switch (code) {
    case 2: return "The file seems to have disappeared.";
    case 3: return "The path seems invalid.";
    case 5: return "Your access is denied.";
    case 8: return "Insufficient memory (reboot is advised).";
    case 11: return "Invalid file format.";
    case 26: return "Sharing violation (file is probably in use).";
    case 27: case 31: return "No (or invalid) system viewer for this file type.";
    case 28: case 29: case 30: return "DDE error.";
    case 32: return "DLL error.";
    default: return "Unknown error, code: " + std::to_string(code);
  }
}

void ShellErrorMessage(Context& ctx, int code) {
  if (code > 32) return;
  ReportMessage(ctx, ShellErrorText(code), kMsgError, "SYSTEM  ERROR");
}

void Player::install(Context& ctx) {
  ctx.play = [this](Context& c, PlayRequest request) -> int {
    switch (request) {
      case PlayRequest::Input: PlayInput(c, true); break;
      case PlayRequest::Output: PlayOutput(c, true); break;
      case PlayRequest::Preview: PlayPreview(c, true); break;
      case PlayRequest::Selection: PlaySelection(c, true); break;
    }
    return c.script.resultCode;
  };
  ctx.playAvailable = [this](const Context& c, PlayRequest request) { return available(c, request); };
}

bool Player::available(const Context& ctx, PlayRequest request) const {
  if (NotReady(ctx)) return false;
  const DocumentState& doc = ctx.doc;
  switch (request) {
    case PlayRequest::Input: return doc.loaded && !doc.sourceName.empty();
    case PlayRequest::Output: return ctx.save.playOutputEnabled && !ctx.save.lastOutputName.empty();
    case PlayRequest::Preview: return doc.loaded && doc.editCount > 0;
    case PlayRequest::Selection:
      return doc.loaded && doc.selectionExists && doc.cursor != doc.selectionEnd;
  }
  return false;
}

void Player::warn(Context& ctx, const std::string& text, uint8_t code) {
  ctx.script.errorText = text;
  if (ctx.script.active) {
    ctx.script.resultCode = code;
  } else {
    ReportMessage(ctx, text, kWarningKind, "warning");
  }
}

void Player::PlayFile(Context& ctx, const std::string& file, bool byScript) {
  if (ctx.script.active && !byScript) return;
  if (NotReady(ctx)) {
    ctx.script.resultCode = 255;
    return;
  }
  ctx.script.resultCode = 0;
  ctx.doc.playerHandOver = true;
  if (!RegularFileExists(file)) {
    warn(ctx, kFileGoneText, 1);
  } else {
    // An absolute path: xdg-open takes "name:rest" for a URL.
    std::string path = AbsoluteNormalPath(file);
    int result = ctx.host.openWithDesktop(path);
    if (result == kShellNoAssociation && lookUpOnFirstUse) {
      commands = LookUpPlayerCommands();
      lookUpOnFirstUse = false;
    }
    if (result == kShellNoAssociation && commands.playCommand.size() >= 2) {
      std::this_thread::sleep_for(std::chrono::milliseconds(fallbackPauseMs));
      std::vector<std::string> argv = PlayCommandArgv(commands.playCommand, path);
      bool started = !argv.empty() &&
                     shell_.start(argv[0], std::vector<std::string>(argv.begin() + 1, argv.end()));
      result = started ? kShellSuccess : kShellNoAssociation;
    }
    if (!ctx.script.active) ShellErrorMessage(ctx, result);
    if (result <= 32) {
      ctx.script.errorText = kPlayFailedText;
      ctx.script.resultCode = 3;
    }
  }
  // Requests that came in while the hand-over ran are honoured as the writer
  // honours them: a close closes the main window; an Esc has nothing left to stop.
  EventRequests requests = ProcessPendingEvents(ctx);
  ctx.doc.playerHandOver = false;
  ctx.cancelRequest = false;
  if (requests.close) {
    ctx.closeRequest = false;
    ctx.host.closeMainWindow();
  }
}

void Player::PlayInput(Context& ctx, bool byScript) { PlayFile(ctx, ctx.doc.sourceName, byScript); }

void Player::PlayOutput(Context& ctx, bool byScript) { PlayFile(ctx, ctx.save.lastOutputName, byScript); }

bool Player::previewSourcesExist(Context& ctx) {
  const DocumentState& doc = ctx.doc;
  if (!RegularFileExists(doc.sourceName)) {
    warn(ctx, kFileGoneText, 1);
    return false;
  }
  std::vector<bool> used(kFileTableSize, false);
  const int32_t count = std::min<int32_t>(doc.editCount, static_cast<int32_t>(doc.ref.size()));
  for (int32_t p = 0; p < count; ++p) {
    int32_t r = doc.ref[p];
    if (r < 0 || r >= doc.frameTableCount || r >= static_cast<int32_t>(doc.frames.size())) continue;
    used[doc.frames[r].fromfile] = true;
  }
  for (int f = 1; f < kFileTableSize; ++f) {
    if (used[f] && !RegularFileExists(doc.files[f].name)) {
      warn(ctx, kInsertedFileGoneText, 1);
      return false;
    }
  }
  return true;
}

std::string Player::writeWorkingFile(Context& ctx, bool selection) {
  int32_t first = 0;
  int32_t end = 0;
  if (selection) {
    first = std::clamp(ctx.doc.cursor, 0, ctx.doc.editCount);
    end = std::clamp(ctx.doc.selectionEnd, 0, ctx.doc.editCount);
    if (end < first) std::swap(first, end);
  }
  struct Try {
    const char* name;
    int purpose;
  };
  const Try tries[2] = {
      selection ? Try{kSelectionFileName, kWritePlaySelection} : Try{kPreviewFileName, kWritePreview},
      selection ? Try{kSelectionAltFileName, kWritePlaySelectionAlt} : Try{kPreviewAltFileName, kWritePreviewAlt},
  };
  // A first try that failed leaves the writer's text; a second try that works
  // is a success and leaves none.
  const std::string errorTextBefore = ctx.script.errorText;
  for (const Try& t : tries) {
    const std::string target = ctx.settingsFolder + t.name;
    // Written beside and renamed over the working file, so that a player still
    // reading the previous one keeps its own copy.
    // A name that is not a regular file is passed over like a held one.
    SafeWriteOptions options;
    options.reportRefusal = false;
    SafeWrite w = WriteThroughTemporaryFile(ctx, target, t.purpose, first, end, options);
    if (w.write.ending == WriteEnding::kCancelled || w.write.ending == WriteEnding::kClosed) return {};
    if (w.write.succeeded() && w.renamed) {
      ctx.script.errorText = errorTextBefore;
      ctx.script.resultCode = 0;
      return target;
    }
    if (w.renameFailed) ::unlink(w.tempPath.c_str());
  }
  return {};
}

void Player::PlayPreview(Context& ctx, bool byScript) {
  if (ctx.script.active && !byScript) return;
  if (NotReady(ctx)) {
    ctx.script.resultCode = 255;
    return;
  }
  ctx.script.resultCode = 0;
  if (!ctx.doc.loaded || ctx.settingsFolder.empty()) return;
  if (!previewSourcesExist(ctx)) return;
  std::string file = writeWorkingFile(ctx, false);
  if (file.empty()) {
    if (ctx.cancelRequest || ctx.closeRequest) return;
    warn(ctx, kWorkingFilesHeldText, 2);
    return;
  }
  PlayFile(ctx, file, byScript);
}

void Player::PlaySelection(Context& ctx, bool byScript) {
  if (ctx.script.active && !byScript) return;
  if (NotReady(ctx)) {
    ctx.script.resultCode = 255;
    return;
  }
  ctx.script.resultCode = 0;
  if (!ctx.doc.loaded || !ctx.doc.selectionExists || ctx.settingsFolder.empty()) return;
  if (!RegularFileExists(ctx.doc.sourceName)) {
    warn(ctx, kSourceGoneText, 1);
    return;
  }
  std::string file = writeWorkingFile(ctx, true);
  if (file.empty()) {
    if (ctx.cancelRequest || ctx.closeRequest) return;
    warn(ctx, kWorkingFilesHeldText, 2);
    return;
  }
  PlayFile(ctx, file, byScript);
}

void Player::enqueue(Context& ctx, const std::string& file) {
  std::vector<std::string> argv = EnqueueCommandArgv(commands.enqueueCommand, AbsoluteNormalPath(file));
  bool started = !argv.empty() && shell_.start(argv[0], std::vector<std::string>(argv.begin() + 1, argv.end()));
  ShellErrorMessage(ctx, started ? kShellSuccess : kShellNoAssociation);
}

void Player::EnqueueInput(Context& ctx) {
  if (ctx.script.active || NotReady(ctx) || !enqueueAvailable()) return;
  if (!RegularFileExists(ctx.doc.sourceName)) {
    warn(ctx, kFileGoneText, 1);
    return;
  }
  enqueue(ctx, ctx.doc.sourceName);
}

void Player::EnqueueOutput(Context& ctx) {
  if (ctx.script.active || NotReady(ctx) || !enqueueAvailable()) return;
  if (!RegularFileExists(ctx.save.lastOutputName)) {
    warn(ctx, kFileGoneText, 1);
    return;
  }
  enqueue(ctx, ctx.save.lastOutputName);
}

void Player::EnqueuePreview(Context& ctx) {
  if (ctx.script.active || NotReady(ctx) || !enqueueAvailable()) return;
  if (!ctx.doc.loaded || ctx.settingsFolder.empty()) return;
  if (!previewSourcesExist(ctx)) return;
  std::string file = writeWorkingFile(ctx, false);
  if (file.empty()) {
    if (ctx.cancelRequest || ctx.closeRequest) return;
    warn(ctx, kWorkingFilesHeldText, 2);
    return;
  }
  enqueue(ctx, file);
}

std::string FindHelpFileIn(const std::string& applicationFolder, const std::string& name) {
  if (applicationFolder.empty() || name.empty()) return {};
  const std::string candidates[2] = {
      JoinPath(applicationFolder, name),
      AbsoluteNormalPath(JoinPath(JoinPath(applicationFolder, "../share/quorvel"), name)),
  };
  for (const std::string& c : candidates) {
    if (RegularFileExists(c)) return c;
  }
  return {};
}

std::string FindHelpFile(const std::string& name) { return FindHelpFileIn(ApplicationFolder(), name); }

void OpenHelpFile(Context& ctx, const std::string& name) { OpenHelpFileIn(ctx, ApplicationFolder(), name); }

void OpenHelpFileIn(Context& ctx, const std::string& applicationFolder, const std::string& name) {
  std::string path = FindHelpFileIn(applicationFolder, name);
  if (path.empty()) {
    ReportError(ctx, "The help file is missing.");
    return;
  }
  if (ctx.host.openWithDesktop(path) < 33) ReportError(ctx, "System error trying to display the file");
}

}  // namespace quorvel
