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

void SaveProc(Context& ctx, int purpose, const std::string& givenTarget) {
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
      target = purpose == kWriteSelection ? givenTarget : WorkingFileFor(ctx, purpose);
      if (target.empty()) write = false;
      break;
    case kWritePreview:
    case kWritePreviewAlt:
      target = WorkingFileFor(ctx, purpose);
      break;
    case kWriteSaveAs:
      if (ctx.script.active) {
        target = givenTarget;
        if (target.empty()) write = false;
      } else {
        FileDialogRequest request;
        request.title = "Save as";
        request.filter = "mp3 files|*.mp3|all files|*.*";
        request.defaultExt = "mp3";
        request.folder = ExistingFolder((ctx.options.tagFlags & kSaveFolderIsLastSave) ? ctx.options.lastSaveFolder
                                                                                          : ctx.options.lastLoadFolder);
        request.fileName = FileNameOf(doc.documentName);
        for (;;) {
          std::optional<std::string> chosen = ctx.host.chooseSaveFile(request);
          if (!chosen || chosen->empty()) {
            write = false;
            break;
          }
          if (!ctx.settingsFolder.empty() &&
              SameFile(FolderOf(AbsoluteNormalPath(*chosen)), FolderOf(AbsoluteNormalPath(ctx.settingsFolder + "x")))) {
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
  bool closed = false;
  if (write) {
    // The file that will be replaced: a symlinked target is written through.
    const std::string real = ResolveSaveTarget(target);
    if (wholeSave) {
      st.lastOutputName = target;
      std::string folder = FolderOf(AbsoluteNormalPath(target));
      if (!folder.empty()) ctx.options.lastSaveFolder = folder;
      if (purpose == kWriteSaveAs && ctx.saveSettings) ctx.saveSettings(ctx);
      replacesSource = SameFile(real, doc.sourceName);
      replacesOrigin = replacesSource || NamesOriginFile(doc, real);
    }
    SafeWrite written;
    if (purpose == kWriteSelection && NamesOriginFile(doc, real)) {
      // The edit still reads its frames from that file.
      ReportWriteFailure(ctx, purpose, kDiskErrorText);
    } else {
      SafeWriteOptions options;
      options.keepCancelledNewTarget = true;
      // The settings folder holds the settings file and the working files; only
      // the play commands write there.
      if (wholeSave || purpose == kWriteSelection) options.refusedFolder = ctx.settingsFolder;
      written = WriteThroughTemporaryFile(ctx, target, purpose, s, e, options);
    }
    st.writeTarget = written.tempPath.empty() ? target : written.tempPath;
    const bool succeeded = written.write.succeeded();
    st.lastSaveSucceeded = succeeded && written.renamed;
    if (wholeSave && succeeded) doc.unsavedChanges = false;
    if (succeeded && written.renamed && replacesOrigin) {
      st.sourceReplaced = replacesSource;
      // The FrameTable's offsets describe the replaced file: the document is closed.
      unloadall(ctx, false);
      closed = true;
    } else if (succeeded && written.renameFailed) {
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
  }

  if (wholeSave && st.lastSaveSucceeded) {
    st.playOutputEnabled = true;
    if (ctx.options.listFlags & kRecentListTakesSaved) {
      MoveToTopOfRecent(ctx.options.recentFiles, AbsoluteNormalPath(target));
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
