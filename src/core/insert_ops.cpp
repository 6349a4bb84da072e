#include "core/insert_ops.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/analysis.h"
#include "core/busy.h"
#include "core/file_paths.h"
#include "core/document_ops.h"
#include "core/edit_dialogs.h"
#include "core/edit_ops.h"
#include "core/messages.h"
#include "core/mpeg_header.h"
#include "tags/file_io.h"

namespace quorvel {

namespace {

bool WholeEditList(const DocumentState& doc, int32_t s, int32_t e) { return s == 0 && e >= doc.editCount; }

// Inserts count entries before position p; false when the list cannot grow.
bool InsertEntries(DocumentState& doc, int32_t p, int32_t count, int32_t firstRef, bool blank) {
  if (count <= 0) return true;
  if (static_cast<int64_t>(doc.editCount) + count > std::numeric_limits<int32_t>::max()) return false;
  p = std::clamp(p, 0, doc.editCount);
  try {
    std::vector<int32_t> refs(static_cast<size_t>(count));
    for (int32_t j = 0; j < count; ++j) refs[static_cast<size_t>(j)] = blank ? firstRef : firstRef + j;
    const int16_t gain = blank ? kNoGain : 0;
    doc.ref.reserve(doc.ref.size() + refs.size());
    doc.gainLeft.reserve(doc.gainLeft.size() + refs.size());
    doc.gainRight.reserve(doc.gainRight.size() + refs.size());
    doc.ref.insert(doc.ref.begin() + p, refs.begin(), refs.end());
    doc.gainLeft.insert(doc.gainLeft.begin() + p, refs.size(), gain);
    doc.gainRight.insert(doc.gainRight.begin() + p, refs.size(), gain);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  doc.editCount += count;
  ResizeEditList(doc);
  return true;
}


}  // namespace

std::string OtherVersionInsertText(int inserted, int document) {
  return std::string("The file to insert is ") + VersionName(inserted) + ", this file is " + VersionName(document) +
         ".\r\nFiles of different mpeg versions can't be joined.";
}

void EmptybutClick(Context& ctx) {
  DocumentState& doc = ctx.doc;
  EditInputs& in = ctx.edit;
  if (NotReady(ctx)) {
    ctx.script.resultCode = 1;
    return;
  }
  ctx.script.resultCode = 0;
  const int32_t viewStart = doc.viewStart;

  if (!ctx.script.active) {
    SilenceDialogState state = PrepareSilenceDialog(ctx);
    doc.silenceDialogOpen = true;
    std::optional<SilenceChoice> choice = ctx.host.askSilence(state);
    doc.silenceDialogOpen = false;
    if (!choice) return;
    in.silenceCount = std::min(choice->count, kMaxSilenceFrames);
    in.silenceBitrate = choice->bitrate;
    in.silenceFrequency = choice->frequency;
    in.silenceMode = choice->mode;
  } else if (in.silenceCount > kMaxSilenceFrames) {
    in.silenceCount = kMaxSilenceFrames;
    ctx.script.resultCode = 2;
  }
  const int32_t count = in.silenceCount;
  if (count < 1) return;  // nothing to insert
  // A blank frame needs a real bitrate, frequency and mode to be written.
  const int bitrate = in.silenceBitrate >= 1 && in.silenceBitrate <= 14 ? in.silenceBitrate : 1;
  const int frequency = in.silenceFrequency <= 2 ? in.silenceFrequency : 0;
  const int mode = in.silenceMode & 3;

  const bool replace = doc.selectionExists;
  int32_t p;
  if (replace) {
    aline_udv(doc);
    p = doc.cursor;
    if (!WholeEditList(doc, doc.cursor, doc.selectionEnd)) {
      const uint8_t code = ctx.script.resultCode;
      DelButClick(ctx);  // takes the snapshot and leaves the cursor at p
      if (ctx.script.resultCode != 0) return;
      ctx.script.resultCode = code;
    } else {
      TakeUndoSnapshot(ctx);
      doc.editCount = 0;
      ResizeEditList(doc);
      p = 0;
    }
  } else {
    udvcheck(doc, 0);
    TakeUndoSnapshot(ctx);
    p = doc.cursor;
  }

  if (!InsertEntries(doc, p, count, -BlankFrameCode(bitrate, frequency, mode), true)) {
    RestoreUndoSnapshot(ctx);
    return;
  }
  doc.cursor = p;
  if (replace) {
    doc.selectionEnd = p + count;
    SetSelectionExists(doc, true);
  } else {
    SetSelectionExists(doc, false);
  }
  MarkEdited(ctx);
  ComputeEditStatistics(doc);
  RestoreViewStart(doc, viewStart);
  ctx.host.changed(kChangedEditList | kChangedCursor | kChangedModified | kChangedView);
}

namespace {

const char* const kInsertDiskText = "Disk error reading the file to insert.";
const char* const kInsertNoFrameText = "Doesn't seem like a 32/44.1/48 KHz mp3 file.";

// How a step of the insertion ended: going on, failed with a result code and
// text, or stopped because the main window is closing.
struct InsertStep {
  uint8_t code = 0;
  std::string text;
  bool closeRequested = false;
  bool ok() const { return code == 0 && !closeRequested; }
};

InsertStep InsertFailure(uint8_t code, std::string text) {
  InsertStep step;
  step.code = code;
  step.text = std::move(text);
  return step;
}

// What the insertion learns about the file before it reads the frames.
struct InsertFileLayout {
  int32_t fileSize = 0;
  FileIdentity identity;
  LyricsProbe lyrics;
  Id3v1Probe id3v1;
  LeadingHeaders lead;
  // The information frame the scan left out ("Xing" or "Info"), -1 when none.
  int32_t infoPos = -1;
  int32_t infoLength = 0;
};

// Opens the file and reads its trailing tags and leading headers.
InsertStep OpenInsertFile(Context& ctx, const std::string& path, int k, InputFile& file, InsertFileLayout& layout) {
  if (k < 1 || k > kMaxInsertedFiles) return InsertFailure(kInsertTooManyFiles, "Too many files already inserted.");
  if (!file.open(path)) {
    return InsertFailure(kInsertCannotOpen, "File to insert can't be opened (probably doesn't exist).");
  }
  layout.identity = file.identity();
  if (file.size() < kSmallestFile) return InsertFailure(kInsertTooSmall, kTextTooSmall);
  layout.fileSize = CheckedFileSize(file);
  if (layout.fileSize < 0) return InsertFailure(kInsertDiskError, kInsertDiskText);

  layout.lyrics = ProbeLyrics3(file, layout.fileSize);
  if (layout.lyrics.outcome != AnalysisOutcome::kOk) return InsertFailure(kInsertDiskError, kInsertDiskText);
  layout.id3v1 = ProbeId3v1(file, layout.fileSize);
  if (layout.id3v1.outcome != AnalysisOutcome::kOk) return InsertFailure(kInsertDiskError, kInsertDiskText);

  layout.lead = ReadLeadingHeaders(ctx, file, layout.fileSize, LeadingHeaderRules{false});
  if (layout.lead.outcome == AnalysisOutcome::kDiskError) return InsertFailure(kInsertDiskError, kInsertDiskText);
  if (layout.lead.outcome != AnalysisOutcome::kOk) return InsertFailure(kInsertRiffNotMp3, kTextRiffNotMp3);
  return {};
}

// Reads the file's frames into the FrameTable from index first; count is the
// number found.
InsertStep ScanInsertFrames(Context& ctx, InputFile& file, InsertFileLayout& layout, int32_t first, int k,
                            int32_t& count, int onlyVersion) {
  FrameScanRules rules;
  rules.onlyVersion = onlyVersion;
  rules.askAgain = onlyVersion < 0;  // the second scan of the file
  rules.startIndex = first;
  rules.fromfile = static_cast<uint8_t>(k);
  rules.dropLeadingVbrFrame = true;
  ScanBuffer buffer;
  FrameScanResult scan = ScanFrames(ctx, file, layout.fileSize, layout.lead.audioStart, rules, buffer);
  count = scan.count;
  layout.infoPos = scan.droppedVbrSpec == 1 || scan.droppedVbrSpec == 2 ? scan.droppedVbrPos : -1;
  layout.infoLength = scan.droppedVbrLength;
  switch (scan.outcome) {
    case AnalysisOutcome::kOk:
      return {};
    case AnalysisOutcome::kDiskError:
      return InsertFailure(kInsertDiskError, kInsertDiskText);
    case AnalysisOutcome::kStop: {
      uint8_t code = kInsertLayer;
      if (scan.problem == HeaderProblem::kVersion) code = kInsertVersion;
      if (scan.problem == HeaderProblem::kBitrate) code = kInsertBitrate;
      if (scan.problem == HeaderProblem::kFrequency) code = kInsertFrequency;
      return InsertFailure(code, scan.stopText);
    }
    case AnalysisOutcome::kCancelled:
      return InsertFailure(kInsertEscape, "Esc key pressed.");
    case AnalysisOutcome::kCloseRequested: {
      InsertStep step;
      step.closeRequested = true;
      return step;
    }
  }
  return {};
}

// Keeps the frames of the audio: syncs inside the trailing tags, unchained
// frames and data behind the last frame are dropped. n is the frames kept.
InsertStep KeepAudioFrames(Context& ctx, InputFile& file, const InsertFileLayout& layout, int32_t first,
                           int32_t& n, int onlyVersion, bool& rescan) {
  DocumentState& doc = ctx.doc;
  rescan = false;
  const int32_t audioEnd = AudioEnd(layout.fileSize, layout.id3v1, layout.lyrics);
  n = FramesBeforeAudioEnd(doc, first, n, audioEnd);
  n = DropUnchainedFrames(doc, first, n, &file, onlyVersion);
  if (n == 0) return InsertFailure(kInsertNoFrame, kInsertNoFrameText);
  const VersionSettlement settled = SettleFrameVersion(doc, first, n);
  if (!settled.mixText.empty()) return InsertFailure(kInsertVersion, settled.mixText);
  // Frames of the other family do not join the document's: their frame
  // layout, bitrates and samples per frame differ. MPEG-2 and MPEG-2.5 frames
  // join each other as frames of another frequency do.
  if (!SameFamily(settled.version, doc.version)) {
    return InsertFailure(kInsertVersion, OtherVersionInsertText(settled.version, doc.version));
  }
  if (settled.others && onlyVersion < 0) {
    // Headers of the other family found by chance: scan again for this family only.
    rescan = true;
    return {};
  }

  // Data behind the last frame is cut from it and not kept: an inserted
  // file contributes frames only.
  FrameLengthResult lengths = ComputeFrameLengths(ctx, first, n, audioEnd);
  if (lengths.outcome != AnalysisOutcome::kOk) return InsertFailure(kInsertFrameSize, kTextImproperFrameSize);
  n = lengths.count;
  if (n == 0) return InsertFailure(kInsertNoFrame, kInsertNoFrameText);
  return {};
}

// Puts the n frames at pos in the EditList and records the file as file k.
InsertStep EnterInsertedFrames(DocumentState& doc, const std::string& path, const FileIdentity& identity,
                               int32_t first, int32_t n, int32_t pos, int k) {
  if (static_cast<int64_t>(first) + n > std::numeric_limits<int32_t>::max() ||
      !InsertEntries(doc, pos, n, first, false)) {
    return InsertFailure(kInsertDiskError, kInsertDiskText);
  }
  doc.files[static_cast<size_t>(k)].firstFrame = first;
  if (k < kMaxInsertedFiles) doc.files[static_cast<size_t>(k) + 1].firstFrame = first + n;
  doc.frameTableCount = first + n;
  doc.frames.resize(static_cast<size_t>(doc.frameTableCount));
  doc.files[static_cast<size_t>(k)].name = AbsoluteNormalPath(path);
  doc.files[static_cast<size_t>(k)].identity = identity;
  return {};
}

// The encoder extension of the inserted file's information frame, when it
// directly precedes the first frame taken.
LameTag InsertedLameTag(const DocumentState& doc, InputFile& file, const InsertFileLayout& layout, int32_t first,
                        int32_t n) {
  if (layout.infoPos < 0 || n <= 0) return {};
  const frametype& head = doc.frames[static_cast<size_t>(first)];
  const frametype& last = doc.frames[static_cast<size_t>(first + n - 1)];
  int32_t length = head.framepos - layout.infoPos;
  if (length <= 0 || length > layout.infoLength + kFrameSizeTolerance) return {};
  return ReadTrustedLameTag(file, layout.infoPos, length, int64_t{last.framepos} + last.framelen, first,
                            first + n - 1);
}

// Statistics, the free-format warning, and the inserted frames selected.
void SelectInsertedFrames(Context& ctx, int32_t pos, int32_t n) {
  DocumentState& doc = ctx.doc;
  const int32_t freeBefore = doc.editStats.bitrateCount[0];
  ComputeEditStatistics(doc);
  const int32_t m = doc.editStats.bitrateCount[0] - freeBefore;
  if (m > 0) {
    double seconds = m * FreeFormatWarningFrameSeconds(doc.sourceStats.freqSummary);
    WarnUnlessScript(ctx, "Possible length error < " + ScientificText(seconds) + " sec\r\n" +
                           "(due to free format frame" + (m > 1 ? "s" : "") + ")");
  }

  doc.unsavedChanges = true;
  doc.cursor = pos;
  doc.selectionEnd = pos + n;
  SetSelectionExists(doc, true);
  doc.pasteAvailable = false;
  doc.undoAvailable = !doc.undoUnavailable;
  RestoreViewStart(doc, doc.viewStart);
}

}  // namespace

bool AnalyseInsertFile(Context& ctx, const std::string& path, int32_t pos, int k) {
  DocumentState& doc = ctx.doc;
  const size_t framesBefore = doc.frames.size();
  const int32_t first = doc.frameTableCount;

  BeginBusy(ctx, kBusyInsert);
  ctx.script.resultCode = 0;
  ctx.script.errorText.clear();
  InputFile file;
  InsertFileLayout layout;
  int32_t n = 0;
  pos = std::clamp(pos, 0, std::max(doc.editCount, 0));

  InsertStep step = OpenInsertFile(ctx, path, k, file, layout);
  if (step.ok()) step = ScanInsertFrames(ctx, file, layout, first, k, n, -1);
  bool rescan = false;
  if (step.ok()) step = KeepAudioFrames(ctx, file, layout, first, n, -1, rescan);
  if (step.ok() && rescan) step = ScanInsertFrames(ctx, file, layout, first, k, n, doc.version);
  if (step.ok() && rescan) step = KeepAudioFrames(ctx, file, layout, first, n, doc.version, rescan);
  if (step.ok()) step = EnterInsertedFrames(doc, path, layout.identity, first, n, pos, k);
  if (step.ok()) doc.files[static_cast<size_t>(k)].lame = InsertedLameTag(doc, file, layout, first, n);

  if (!step.ok()) {
    if (!step.closeRequested) {
      ctx.script.resultCode = step.code;
      ctx.script.errorText = step.text;
      if (!ctx.script.active && step.code != kInsertEscape) {
        ReportMessage(ctx, step.text, kModalWarning, "warning");
      }
    }
    file.close();
    doc.frames.resize(std::max(framesBefore, static_cast<size_t>(std::max(first, 0))));
    EndBusy(ctx, kBusyInsert);
    if (step.closeRequested) ctx.host.closeMainWindow();
    return false;
  }

  SelectInsertedFrames(ctx, pos, n);
  file.close();
  EndBusy(ctx, kBusyInsert);
  ctx.host.changed(kChangedEditList | kChangedCursor | kChangedModified);
  return true;
}

void MenuInsertClick(Context& ctx) {
  DocumentState& doc = ctx.doc;
  ctx.script.resultCode = 0;
  if (doc.insertedCount >= kMaxInsertedFiles) {
    ctx.script.resultCode = kInsertTooManyFiles;
    WarnUnlessScript(ctx, "Too many files already inserted.");
    return;
  }
  if (!ctx.script.active) {
    FileDialogRequest request;
    request.title = doc.selectionExists ? " INSERT TO REPLACE THE SELECTION " : " INSERT AT CURSOR SPOT ";
    request.filter = "mp3 files|*.mp3|all files|*.*";
    request.folder = ctx.options.lastLoadFolder;
    request.mustExist = true;
    std::optional<std::string> chosen = ctx.host.chooseOpenFile(request);
    if (!chosen) return;
    ctx.edit.insertFileName = *chosen;
    ctx.options.lastLoadFolder = std::filesystem::path(*chosen).parent_path().string();
  }
  if (NotReady(ctx)) {
    ctx.script.resultCode = kInsertNotReady;
    return;
  }

  // A failed insertion leaves the document exactly as it was, its
  // modification state included.
  const uint8_t levelBefore = doc.modifiedLevel;
  const bool unsavedBefore = doc.unsavedChanges;
  udvcheck(doc, 0);
  int32_t p;
  if (doc.selectionExists) {
    udvcheck(doc, 1);
    int32_t s = doc.cursor;
    int32_t e = doc.selectionEnd;
    OrderBounds(s, e);
    if (WholeEditList(doc, s, e)) {
      ctx.script.resultCode = kInsertAllSelected;
      WarnUnlessScript(ctx,
                    "That would replace the file since all is selected.\r\nTo do that you have to use \"Load\" "
                    "(\"Open\") function.");
      return;
    }
    TakeUndoSnapshot(ctx);
    aline_udv(doc);
    DelButClick(ctx, DeleteModes{.cutMode = false, .pasteMode = true});
    p = s;
  } else {
    TakeUndoSnapshot(ctx);
    p = doc.cursor;
  }

  if (AnalyseInsertFile(ctx, ctx.edit.insertFileName, p, doc.insertedCount + 1)) {
    ++doc.insertedCount;
  } else {
    RestoreUndoSnapshot(ctx);
    doc.modifiedLevel = levelBefore;
    doc.unsavedChanges = unsavedBefore;
  }
  ctx.host.changed(kChangedEditList | kChangedCursor | kChangedModified | kChangedView);
}

}  // namespace quorvel
