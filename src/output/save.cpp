#include "output/save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/analysis.h"
#include "core/busy.h"
#include "core/document_ops.h"
#include "core/messages.h"
#include "output/writer.h"

namespace quorvel {

const char* const kOverwriteQuestionText = "Overwrite the existing file?";
const char* const kRenameFailedText =
    "Failed to rename the temporary file to existing filename.\r\n"
    "Result of this operation is a temporary file with MMTMPMP3 extension.\r\n"
    "Most probable reason for this error is the file being in use.";
const char* const kWorkingFolderText =
    "You are not allowed to save to the application folder.\r\nPlease change the path.";

namespace {

constexpr int kOverwriteQuestionKind = kWarningFocusNo;
constexpr int kRenameFailedKind = kModalWarning;

// The absolute form of path with "." and ".." resolved lexically.
std::string NormalPath(const std::string& path) {
  if (path.empty()) return path;
  std::string full = path;
  if (full[0] != '/') {
    std::vector<char> cwd(4096);
    if (::getcwd(cwd.data(), cwd.size()) != nullptr) full = std::string(cwd.data()) + "/" + full;
  }
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= full.size()) {
    size_t j = full.find('/', i);
    if (j == std::string::npos) j = full.size();
    std::string part = full.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The remembered folder, cut back one component at a time until an existing
// folder remains; the text itself when none does.
std::string ExistingFolder(const std::string& remembered) {
  std::string folder = remembered;
  while (!folder.empty()) {
    if (IsFolder(folder)) return folder;
    size_t cut = folder.find_last_of('/');
    if (cut == std::string::npos) break;
    std::string parent = folder.substr(0, cut == 0 ? 1 : cut);
    if (parent == folder) break;
    folder = parent;
  }
  return remembered;
}

std::string FileNamePart(const std::string& path) {
  size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Makes a rename durable: the folder's entry is flushed too.
void SyncFolderOf(const std::string& path) {
  std::string folder = TargetFolderOf(NormalPath(path));
  if (folder.empty()) folder = ".";
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void MoveToTop(std::array<std::string, 5>& list, const std::string& path) {
  auto it = std::find(list.begin(), list.end(), path);
  auto last = it == list.end() ? list.end() - 1 : it;
  std::move_backward(list.begin(), last, last + 1);
  list[0] = path;
}

// True when path names the source or an inserted file of the document.
bool NamesOriginFile(const DocumentState& doc, const std::string& path) {
  if (SameFileName(path, doc.sourceName)) return true;
  for (size_t i = 0; i <= doc.insertedCount && i < doc.files.size(); ++i) {
    if (!doc.files[i].name.empty() && SameFileName(path, doc.files[i].name)) return true;
  }
  return false;
}

}  // namespace

std::string TargetFolderOf(const std::string& path) {
  size_t cut = path.find_last_of('/');
  if (cut == std::string::npos) return "";
  if (cut == 0) return "/";
  return path.substr(0, cut);
}

bool SameFileName(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (NormalPath(a) == NormalPath(b)) return true;
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string WorkingFileFor(const Context& ctx, int purpose) {
  const char* name = kPreviewFileName;
  switch (purpose) {
    case kWritePlaySelection: name = kSelectionFileName; break;
    case kWritePreview: name = kPreviewFileName; break;
    case kWritePlaySelectionAlt: name = kSelectionAltFileName; break;
    case kWritePreviewAlt: name = kPreviewAltFileName; break;
    default: break;
  }
  return ctx.settingsFolder + name;
}

void SaveProc(Context& ctx, int purpose) {
  SaveState& st = ctx.save;
  DocumentState& doc = ctx.doc;
  st.lastSaveSucceeded = false;
  st.targetExisted = false;
  st.overwriteDeclined = false;
  st.sourceReplaced = false;
  st.writeTarget.clear();
  BeginBusy(ctx, kBusySave);
  if (ctx.script.active) ctx.script.resultCode = 0;

  std::string target;
  int32_t s = 0;
  int32_t e = 0;
  bool write = true;
  bool wholeSave = purpose == kWriteSaveAs || purpose == kWriteQuickSave;
  switch (purpose) {
    case kWritePlaySelection:
    case kWritePlaySelectionAlt:
    case kWriteSelection:
      if (!doc.selectionExists) {
        write = false;
        break;
      }
      s = std::clamp(doc.cursor, 0, doc.editCount);
      e = std::clamp(doc.selectionEnd, 0, doc.editCount);
      OrderBounds(s, e);
      if (s == e) write = false;
      target = purpose == kWriteSelection ? st.selectionTarget : WorkingFileFor(ctx, purpose);
      if (target.empty()) write = false;
      break;
    case kWritePreview:
    case kWritePreviewAlt:
      target = WorkingFileFor(ctx, purpose);
      break;
    case kWriteSaveAs:
      if (ctx.script.active) {
        target = st.scriptTarget;
        if (target.empty()) write = false;
      } else {
        FileDialogRequest request;
        request.title = "Save as";
        request.filter = "mp3 files|*.mp3|all files|*.*";
        request.defaultExt = "mp3";
        request.folder = ExistingFolder((ctx.options.tagFlags & kSaveFolderIsLastSave) ? ctx.options.lastSaveFolder
                                                                                          : ctx.options.lastLoadFolder);
        request.fileName = FileNamePart(doc.documentName);
        for (;;) {
          std::optional<std::string> chosen = ctx.host.chooseSaveFile(request);
          if (!chosen || chosen->empty()) {
            write = false;
            break;
          }
          if (!ctx.settingsFolder.empty() &&
              SameFileName(TargetFolderOf(NormalPath(*chosen)), TargetFolderOf(NormalPath(ctx.settingsFolder + "x")))) {
            ReportMessage(ctx, kWorkingFolderText, kMsgError, "warning");
            continue;
          }
          target = *chosen;
          break;
        }
      }
      if (write) st.targetExisted = Exists(target);
      break;
    case kWriteQuickSave:
      target = doc.documentName;
      st.targetExisted = true;
      if (target.empty()) write = false;
      break;
    default:
      write = false;
      break;
  }

  // Purpose 5 onto an existing file is also written through the temporary
  // name, so that a failure leaves the file as it was. A target that is one of
  // the document's own origin files is refused by the writer.
  bool viaTemp = st.targetExisted;
  if (write && purpose == kWriteSelection && Exists(target) && !NamesOriginFile(doc, target)) viaTemp = true;
  // A folder cannot be replaced by a file: writing to it directly fails at once
  // with the writer's own message, and no temporary file is left beside it.
  if (write && IsFolder(target)) viaTemp = false;

  if (write && wholeSave && st.targetExisted && !ctx.script.active) {
    uint8_t policy = ctx.options.overwritePolicy;
    bool asks = policy == 0 || (policy == 1 && purpose == kWriteSaveAs);
    if (asks && AskRefused(ctx, kOverwriteQuestionText, kOverwriteQuestionKind, "the file exists")) {
      st.overwriteDeclined = true;
      write = false;
    }
  }

  bool replacesSource = false;
  bool replacesOrigin = false;
  WriteResult result;
  if (write) {
    if (wholeSave) {
      st.lastOutputName = target;
      std::string folder = TargetFolderOf(NormalPath(target));
      if (!folder.empty()) ctx.options.lastSaveFolder = folder;
      if (purpose == kWriteSaveAs && ctx.saveSettings) ctx.saveSettings(ctx);
      replacesSource = SameFileName(target, doc.sourceName);
      replacesOrigin = replacesSource || NamesOriginFile(doc, target);
    }
    st.writeTarget = viaTemp ? target + kTempSuffix : target;
    WriteOptions options;
    options.syncToDisk = viaTemp;
    result = WriteOutputFile(ctx, st.writeTarget, purpose, s, e, options);
    st.lastSaveSucceeded = result.succeeded();
    if (wholeSave && result.succeeded()) doc.unsavedChanges = false;
  }

  bool closed = false;
  if (write && viaTemp) {
    if (result.succeeded()) {
      if (std::rename(st.writeTarget.c_str(), target.c_str()) == 0) {
        SyncFolderOf(target);
        if (replacesOrigin) {
          st.sourceReplaced = replacesSource;
          // The FrameTable's offsets describe the replaced file: the document is closed.
          unloadall(ctx, false);
          closed = true;
        }
      } else {
        if (ctx.script.active) {
          ctx.script.resultCode = kRenameFailedCode;
          ctx.script.errorText = kRenameFailedText;
        } else {
          ReportMessage(ctx, kRenameFailedText, kRenameFailedKind, "info");
        }
        st.playOutputEnabled = false;
        if (wholeSave) {
          doc.documentName = target;
          // The edit now exists only in the temporary file.
          doc.unsavedChanges = true;
        }
        st.lastSaveSucceeded = false;
      }
    } else if (!SameFileName(st.writeTarget, doc.sourceName)) {
      ::unlink(st.writeTarget.c_str());
    }
  }

  if (wholeSave && st.lastSaveSucceeded) {
    st.playOutputEnabled = true;
    if (ctx.options.listFlags & kRecentListTakesSaved) {
      MoveToTop(ctx.options.recentFiles, NormalPath(target));
      if (ctx.saveSettings) ctx.saveSettings(ctx);
    }
  }

  EndBusy(ctx, kBusySave);

  if (st.sourceReplaced && ctx.options.mainFlag(kReloadAfterOverwrite) && !st.savingForExit && !ctx.script.active) {
    doc.sourceName = target;
    ReloadbutClick(ctx);
    if (doc.loaded) doc.documentName = target;
  } else if (purpose == kWriteSaveAs && st.lastSaveSucceeded && !closed) {
    doc.documentName = target;
  }
  ctx.host.changed(kChangedModified | kChangedRecentFiles | kChangedTags);
}

void ButSaveAsClick(Context& ctx) {
  if (NotReady(ctx) || ctx.script.active) return;
  SaveProc(ctx, kWriteSaveAs);
}

void MenuQuickSaveClick(Context& ctx, bool calledWithFile) {
  if (NotReady(ctx) || ctx.script.active) return;
  SaveProc(ctx, kWriteQuickSave);
  if (ctx.options.mainFlag(kReloadAfterOverwrite)) return;
  if (ctx.options.autoExit == 2 || (ctx.options.autoExit == 1 && calledWithFile)) ctx.host.closeMainWindow();
}

namespace {
void SetOverwritePolicy(Context& ctx, uint8_t value) {
  ctx.options.overwritePolicy = value;
  if (ctx.saveSettings) ctx.saveSettings(ctx);
  ctx.host.changed(kChangedOptions);
}
}  // namespace

void MenuNeverOverwriteClick(Context& ctx) { SetOverwritePolicy(ctx, 0); }
void MenuSemiOverwriteClick(Context& ctx) { SetOverwritePolicy(ctx, 1); }
void MenuOverwriteClick(Context& ctx) { SetOverwritePolicy(ctx, 2); }

void InstallSaveHooks(Context& ctx) {
  ctx.saveAs = [](Context& c) {
    bool before = c.save.savingForExit;
    c.save.savingForExit = true;
    // The question came while closing: the document is not busy any more.
    SaveProc(c, kWriteSaveAs);
    c.save.savingForExit = before;
    return c.save.lastSaveSucceeded;
  };
}

}  // namespace quorvel
