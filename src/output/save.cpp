#include "output/save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "core/analysis.h"
#include "core/busy.h"
#include "core/document_ops.h"
#include "core/messages.h"
#include "core/tag_editing.h"
#include "output/target_file.h"
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

bool Exists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// True when path names the source or an inserted file of the document.
bool NamesOriginFile(const DocumentState& doc, const std::string& path) {
  if (SameFile(path, doc.sourceName)) return true;
  for (size_t i = 0; i <= doc.insertedCount && i < doc.files.size(); ++i) {
    if (!doc.files[i].name.empty() && SameFile(path, doc.files[i].name)) return true;
  }
  return false;
}

}  // namespace

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

namespace {

bool IsWholeSave(int purpose) { return purpose == kWriteSaveAs || purpose == kWriteQuickSave; }

// What a save writes: the file and, for the selection purposes, the frames.
struct SaveTarget {
  std::string name;
  int32_t first = 0;
  int32_t end = 0;
  bool write = false;
};

void ClearSaveOutcome(SaveState& st) {
  st.lastSaveSucceeded = false;
  st.targetExisted = false;
  st.overwriteDeclined = false;
  st.sourceReplaced = false;
  st.writeInterrupted = false;
  st.writeTarget.clear();
}

// The Save as dialog, asked again while the user picks the settings folder.
// Empty when it is cancelled.
std::string AskSaveAsName(Context& ctx) {
  FileDialogRequest request;
  request.title = "Save as";
  request.filter = "mp3 files|*.mp3|all files|*.*";
  request.defaultExt = "mp3";
  request.folder = ExistingFolder((ctx.options.tagFlags & kSaveFolderIsLastSave) ? ctx.options.lastSaveFolder
                                                                                    : ctx.options.lastLoadFolder);
  request.fileName = FileNameOf(ctx.doc.documentName);
  for (;;) {
    std::optional<std::string> chosen = ctx.host.chooseSaveFile(request);
    if (!chosen || chosen->empty()) return {};
    if (!ctx.settingsFolder.empty() &&
        SameFile(FolderOf(AbsoluteNormalPath(*chosen)), FolderOf(AbsoluteNormalPath(ctx.settingsFolder + "x")))) {
      ReportMessage(ctx, kWorkingFolderText, kMsgError, "warning");
      continue;
    }
    return *chosen;
  }
}

// The selection's frames, or nothing to write when there is no selection.
SaveTarget SelectionTarget(const DocumentState& doc, std::string name) {
  SaveTarget t;
  if (!doc.selectionExists) return t;
  t.first = std::clamp(doc.cursor, 0, doc.editCount);
  t.end = std::clamp(doc.selectionEnd, 0, doc.editCount);
  OrderBounds(t.first, t.end);
  t.name = std::move(name);
  t.write = t.first != t.end && !t.name.empty();
  return t;
}

// Finds the file the purpose writes (asking for it in an interactive Save as)
// and notes whether a whole save replaces an existing file.
SaveTarget FindSaveTarget(Context& ctx, int purpose, const std::string& givenTarget) {
  SaveTarget t;
  switch (purpose) {
    case kWritePlaySelection:
    case kWritePlaySelectionAlt:
      return SelectionTarget(ctx.doc, WorkingFileFor(ctx, purpose));
    case kWriteSelection:
      return SelectionTarget(ctx.doc, givenTarget);
    case kWritePreview:
    case kWritePreviewAlt:
      t.name = WorkingFileFor(ctx, purpose);
      t.write = true;
      return t;
    case kWriteSaveAs:
      t.name = ctx.script.active ? givenTarget : AskSaveAsName(ctx);
      t.write = !t.name.empty();
      if (t.write) ctx.save.targetExisted = Exists(t.name);
      return t;
    case kWriteQuickSave:
      t.name = ctx.doc.documentName;
      t.write = !t.name.empty();
      ctx.save.targetExisted = true;
      return t;
    default:
      return t;
  }
}

// The overwrite policy's question before a whole save replaces a file; true
// when the user declined.
bool OverwriteDeclined(Context& ctx, int purpose) {
  if (!IsWholeSave(purpose) || !ctx.save.targetExisted || ctx.script.active) return false;
  uint8_t policy = ctx.options.overwritePolicy;
  bool asks = policy == 0 || (policy == 1 && purpose == kWriteSaveAs);
  if (!asks || !AskRefused(ctx, kOverwriteQuestionText, kOverwriteQuestionKind, "the file exists")) return false;
  ctx.save.overwriteDeclined = true;
  return true;
}

// A whole save remembers its name and folder before it writes.
void NoteWholeSaveTarget(Context& ctx, int purpose, const std::string& target) {
  ctx.save.lastOutputName = target;
  std::string folder = FolderOf(AbsoluteNormalPath(target));
  if (!folder.empty()) ctx.options.lastSaveFolder = folder;
  if (purpose == kWriteSaveAs && ctx.saveSettings) ctx.saveSettings(ctx);
}

// Runs the writer through a temporary file beside the target. The selection is
// never written over a file the edit still reads its frames from.
SafeWrite WriteSaveTarget(Context& ctx, int purpose, const SaveTarget& t, const std::string& real) {
  if (purpose == kWriteSelection && NamesOriginFile(ctx.doc, real)) {
    ReportWriteFailure(ctx, purpose, kDiskErrorText);
    return {};
  }
  SafeWriteOptions options;
  // Esc during a whole save keeps what was written under a new name; a
  // selection or a split part is never left short under its name.
  options.keepCancelledNewTarget = IsWholeSave(purpose);
  // The settings folder holds the settings file and the working files; only
  // the play commands write there.
  if (IsWholeSave(purpose) || purpose == kWriteSelection) options.refusedFolder = ctx.settingsFolder;
  return WriteThroughTemporaryFile(ctx, t.name, purpose, t.first, t.end, options);
}

// The rename over the target failed: the edit is left in the temporary file.
void HandleRenameFailure(Context& ctx, int purpose, const std::string& target) {
  if (ctx.script.active) {
    ctx.script.resultCode = kRenameFailedCode;
    ctx.script.errorText = kRenameFailedText;
  } else {
    ReportMessage(ctx, kRenameFailedText, kRenameFailedKind, "info");
  }
  ctx.save.playOutputEnabled = false;
  if (IsWholeSave(purpose)) {
    ctx.doc.documentName = target;
    // The edit now exists only in the temporary file.
    ctx.doc.unsavedChanges = true;
  }
  ctx.save.lastSaveSucceeded = false;
}

enum class WriteOutcome { kNotWritten, kWritten, kDocumentClosed };

// Writes the target and takes the writer's result into the document and the
// save state.
WriteOutcome WriteAndSettle(Context& ctx, int purpose, const SaveTarget& t) {
  SaveState& st = ctx.save;
  DocumentState& doc = ctx.doc;
  const bool wholeSave = IsWholeSave(purpose);
  // The file that will be replaced: a symlinked target is written through.
  const std::string real = ResolveSaveTarget(t.name);
  bool replacesSource = false;
  bool replacesOrigin = false;
  if (wholeSave) {
    NoteWholeSaveTarget(ctx, purpose, t.name);
    replacesSource = SameFile(real, doc.sourceName);
    replacesOrigin = replacesSource || NamesOriginFile(doc, real);
  }
  SafeWrite written = WriteSaveTarget(ctx, purpose, t, real);
  st.writeTarget = written.tempPath.empty() ? t.name : written.tempPath;
  st.writeInterrupted =
      written.write.ending == WriteEnding::kCancelled || written.write.ending == WriteEnding::kClosed;
  const bool succeeded = written.write.succeeded();
  st.lastSaveSucceeded = succeeded && written.renamed;
  if (wholeSave && succeeded) doc.unsavedChanges = false;
  if (succeeded && written.renamed && replacesOrigin) {
    st.sourceReplaced = replacesSource;
    // The FrameTable's offsets describe the replaced file: the document is closed.
    unloadall(ctx, false);
    return WriteOutcome::kDocumentClosed;
  }
  if (succeeded && written.renameFailed) HandleRenameFailure(ctx, purpose, t.name);
  return st.lastSaveSucceeded ? WriteOutcome::kWritten : WriteOutcome::kNotWritten;
}

// A saved document enables "Play output" and may head the recent files.
void RecordSavedFile(Context& ctx, const std::string& target) {
  ctx.save.playOutputEnabled = true;
  if (ctx.options.listFlags & kRecentListTakesSaved) {
    MoveToTopOfRecent(ctx.options.recentFiles, AbsoluteNormalPath(target));
    if (ctx.saveSettings) ctx.saveSettings(ctx);
  }
}

// After the save: a replaced source is reloaded when the option asks for it;
// a Save as names the document after its new file.
void FollowUpSave(Context& ctx, int purpose, const std::string& target, WriteOutcome outcome) {
  DocumentState& doc = ctx.doc;
  if (ctx.save.sourceReplaced && ctx.options.mainFlag(kReloadAfterOverwrite) && !ctx.save.savingForExit &&
      !ctx.script.active) {
    doc.sourceName = target;
    ReloadbutClick(ctx);
    if (doc.loaded) doc.documentName = target;
  } else if (purpose == kWriteSaveAs && ctx.save.lastSaveSucceeded && outcome != WriteOutcome::kDocumentClosed) {
    doc.documentName = target;
  }
}

}  // namespace

void SaveProc(Context& ctx, int purpose, const std::string& givenTarget) {
  ClearSaveOutcome(ctx.save);
  // A save writes what the user sees: a tag editor open with changes applies
  // them first, as its O&K would, and stays open.
  if (!ctx.script.active && !ApplyTagEdits(ctx)) return;
  BeginBusy(ctx, kBusySave);
  if (ctx.script.active) ctx.script.resultCode = 0;

  const SaveTarget target = FindSaveTarget(ctx, purpose, givenTarget);
  WriteOutcome outcome = WriteOutcome::kNotWritten;
  if (target.write && !OverwriteDeclined(ctx, purpose)) outcome = WriteAndSettle(ctx, purpose, target);
  if (IsWholeSave(purpose) && ctx.save.lastSaveSucceeded) RecordSavedFile(ctx, target.name);

  EndBusy(ctx, kBusySave);

  FollowUpSave(ctx, purpose, target.name, outcome);
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
