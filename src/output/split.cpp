#include "output/split.h"

#include <algorithm>
#include <filesystem>

#include "core/document_ops.h"
#include "core/messages.h"
#include "output/save.h"
#include "output/writer.h"

namespace quorvel {

const char* const kNoSelectionText = "You must have a selection.";
const char* const kSaveSelectionAllText =
    "Use \"Save\" or \"Save as\" function when all frames are selected.\r\n"
    "If you still prefer saving the file as selection, click OK.";
const char* const kSplitAllText =
    "Use \"Save\" or \"Save as\" function when all frames are selected.\r\n"
    "If you still prefer saving the selection this way, click OK.";
const char* const kSplitCursorAtEndText =
    "Use \"Save\" or \"Save as\" function to save all frames to a file.\r\n"
    "If you still prefer saving this way, click OK.";
const char* const kNameNotSpecifiedText = "not specified yet";
const char* const kAttachHint = "Check to write, not discard";
const char* const kNameButtonHint =
    "Red indicates overwriting an existing file\r\n"
    "Green indicates an available filename\r\n"
    "Yellow indicates the filename needs to be chosen";
const char* const kSaveSelectionNote = "the file will be saved when you click the OK button";
const char* const kSplitNote = "files will be saved when you click the OK button";
const char* const kInputFileTargetText =
    "The edit reads its frames from this file; writing over it would destroy them.\r\n"
    "Please choose another filename.";

namespace {

constexpr int kWarningBox = kModalWarning;
// A warning icon, O&K/cancel, the focus on cancel.
constexpr int kAllSelectedQuestion = kWarningOkCancelFocusCancel;

constexpr std::array<const char*, kAttachKinds> kSaveSelectionAttachCaptions = {
    "RI&FF header", "L&yrics3 tag", "ID3v&2 header", "Unknown &header", "Unknown &footer", "ID3v&1 footer"};
// Three parts carry eighteen boxes, more than the letters left beside the
// part switches (1 2 3), the name buttons (n a m) and O&K: each kind has one
// accelerator, which the window gives to the box of the part that holds the
// focus.
constexpr std::array<const char*, kAttachKinds> kSplitAttachCaptions = {
    "&RIFF header", "&Lyrics3 tag", "ID3&v2 header", "Unknown &header", "Unknown &footer", "I&D3v1 footer"};

constexpr std::array<const char*, 3> kPartSwitchCaptions = {"Save file &1: left of (before) the selection",
                                                            "Save file &2: the selection",
                                                            "Save file &3: right of (after) the selection"};
constexpr std::array<const char*, 3> kPartNameButtons = {"File&name:", "Filen&ame:", "Filena&me:"};

bool HasSelection(const DocumentState& doc) { return doc.selectionExists && doc.cursor != doc.selectionEnd; }

int32_t Clamped(int32_t p, int32_t n) { return std::clamp(p, int32_t{0}, std::max(n, int32_t{0})); }

RemoveBox& BoxOf(RemoveBoxes& boxes, int kind) {
  switch (kind) {
    case kAttachRiff: return boxes.riff;
    case kAttachLyrics3: return boxes.lyrics;
    case kAttachId3v2: return boxes.id3v2;
    case kAttachUnknownHeader: return boxes.behindHeader;
    case kAttachUnknownFooter: return boxes.footer;
    default: return boxes.id3v1;
  }
}

// Sets the document's remove boxes for one file: a block is kept only when it
// is attached. The ID3v2 tag is written whenever there is one and its box is
// not checked (also for a tag made for a file that had none, whose box is
// disabled), so its box is checked whenever the tag is not attached.
void ApplyAttachFlags(Context& ctx, const std::array<AttachBox, kAttachKinds>& attach) {
  for (int kind = 0; kind < kAttachKinds; ++kind) {
    bool attached = attach[static_cast<size_t>(kind)].checked && AttachAvailable(ctx, kind);
    RemoveBox& box = BoxOf(ctx.doc.boxes, kind);
    box.checked = kind == kAttachId3v2 ? !attached : box.enabled && !attached;
  }
}

// Keeps the document's positions and remove boxes, puts them back when it ends.
class DocumentViewGuard {
 public:
  explicit DocumentViewGuard(DocumentState& doc)
      : doc_(doc), cursor_(doc.cursor), selectionEnd_(doc.selectionEnd), selectionExists_(doc.selectionExists),
        boxes_(doc.boxes) {}
  ~DocumentViewGuard() { restore(); }
  DocumentViewGuard(const DocumentViewGuard&) = delete;
  DocumentViewGuard& operator=(const DocumentViewGuard&) = delete;
  void restoreBoxes() { doc_.boxes = boxes_; }
  void restore() {
    doc_.cursor = cursor_;
    doc_.selectionEnd = selectionEnd_;
    doc_.selectionExists = selectionExists_;
    doc_.boxes = boxes_;
  }

 private:
  DocumentState& doc_;
  int32_t cursor_;
  int32_t selectionEnd_;
  bool selectionExists_;
  RemoveBoxes boxes_;
};

// A name without the NUL characters a fixed-size name buffer may leave at its end.
std::string TrimmedName(const std::string& name) {
  size_t end = name.size();
  while (end > 0 && name[end - 1] == '\0') --end;
  return name.substr(0, end);
}

bool SameTarget(const std::string& a, const std::string& b) {
  std::string x = TrimmedName(a);
  std::string y = TrimmedName(b);
  return !x.empty() && !y.empty() && SameFile(x, y);
}

// A file the edit reads frames from: the source and every inserted file.
bool IsInputFile(const Context& ctx, const std::string& name) {
  const DocumentState& doc = ctx.doc;
  if (SameTarget(name, doc.sourceName)) return true;
  for (int k = 0; k <= doc.insertedCount && k < kFileTableSize; ++k) {
    if (SameTarget(name, doc.files[static_cast<size_t>(k)].name)) return true;
  }
  return false;
}

size_t Utf8CharCount(const std::string& text) {
  return static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The state the host handed back, checked against the document: ranges,
// availability and captions stay as prepared; names, switches and attach
// choices are taken where they are allowed.
void TakeAttachChoices(std::array<AttachBox, kAttachKinds>& prepared, const std::array<AttachBox, kAttachKinds>& answer) {
  for (size_t k = 0; k < prepared.size(); ++k) prepared[k].checked = prepared[k].enabled && answer[k].checked;
}

SaveSelectionDialogState TakeSaveSelectionAnswer(const Context& ctx, const SaveSelectionDialogState& answer) {
  SaveSelectionDialogState state = PrepareSaveSelectionDialog(ctx);
  SetSaveSelectionName(state, TrimmedName(answer.file.name));
  TakeAttachChoices(state.file.attach, answer.file.attach);
  return state;
}

SplitDialogState TakeSplitAnswer(const Context& ctx, const SplitDialogState& answer) {
  SplitDialogState state = PrepareSplitDialog(ctx);
  for (int k = 0; k < 3; ++k) {
    const SplitPartState& given = answer.parts[static_cast<size_t>(k)];
    SetSplitPartSwitch(ctx, state, k, given.switchedOn);
    SetSplitPartName(state, k, TrimmedName(given.file.name));
    TakeAttachChoices(state.parts[static_cast<size_t>(k)].file.attach, given.file.attach);
  }
  state.okEnabled = SplitOkEnabled(state);
  return state;
}

bool PartWritten(const SplitPartState& part) { return part.available && part.switchedOn; }

// Writes the selection as it stands to the dialog's file.
void WriteSelection(Context& ctx, const SaveSelectionDialogState& state) {
  DocumentViewGuard guard(ctx.doc);
  ApplyAttachFlags(ctx, state.file.attach);
  SaveProc(ctx, kWriteSelection, state.file.name);
}

// The save-selection dialog, until it is cancelled or a file was written.
void RunSaveSelectionDialog(Context& ctx) {
  SaveSelectionDialogState state = PrepareSaveSelectionDialog(ctx);
  for (;;) {
    std::optional<SaveSelectionDialogState> answer = ctx.host.askSaveSelection(state);
    if (!answer) return;
    state = TakeSaveSelectionAnswer(ctx, *answer);
    if (!state.okEnabled) return;
    if (IsInputFile(ctx, state.file.name)) {
      ReportMessage(ctx, kInputFileTargetText, kWarningBox, "warning");
      continue;
    }
    WriteSelection(ctx, state);
    return;
  }
}

enum class SplitOutcome { kDone, kStopped };

// Writes every part that is on, in order. A name shared with another part that
// is on stops the split at that part (parts before it stay written). In a
// script the first writer failure of a part stays the result, even when later
// parts are written.
SplitOutcome WriteSplitParts(Context& ctx, const SplitDialogState& state) {
  DocumentState& doc = ctx.doc;
  const bool script = ctx.script.active;

  // A part written over a file the edit reads from would destroy the frames the
  // later parts (and the document) still take from it: refuse before anything is written.
  for (const SplitPartState& part : state.parts) {
    if (!PartWritten(part) || !IsInputFile(ctx, part.file.name)) continue;
    std::string text = "Filename " + std::to_string(part.number) + ":\r\n" + kInputFileTargetText;
    if (script) {
      ctx.script.resultCode = kSplitInputFileTarget;
      ctx.script.errorText = text;
    } else {
      ReportMessage(ctx, text, kWarningBox, "warning");
    }
    return SplitOutcome::kStopped;
  }

  DocumentViewGuard guard(doc);
  uint8_t failureCode = 0;
  std::string failureText;
  for (int k = 0; k < 3; ++k) {
    const SplitPartState& part = state.parts[static_cast<size_t>(k)];
    if (!PartWritten(part)) continue;
    int other = DuplicatePart(state, k);
    if (other >= 0) {
      std::string text = DuplicateNameText(part.number, state.parts[static_cast<size_t>(other)].number);
      if (script) {
        ctx.script.resultCode = kSplitSameName;
        ctx.script.errorText = text;
      } else {
        ReportMessage(ctx, text, kWarningBox, "warning");
      }
      return SplitOutcome::kStopped;
    }
    ApplyAttachFlags(ctx, part.file.attach);
    doc.cursor = part.first;
    doc.selectionEnd = part.end;
    doc.selectionExists = true;
    if (part.first < part.end) {
      SaveProc(ctx, kWriteSelection, part.file.name);
      if (script && ctx.script.resultCode != 0 && failureCode == 0) {
        failureCode = ctx.script.resultCode;
        failureText = ctx.script.errorText;
      }
      // Esc or a close request stopped this part: no later part is started.
      if (ctx.save.writeInterrupted) break;
    }
    guard.restoreBoxes();
  }
  if (script) {
    ctx.script.resultCode = failureCode;
    ctx.script.errorText = failureText;
  }
  return SplitOutcome::kDone;
}

}  // namespace

bool AttachAvailable(const Context& ctx, int kind) {
  const DocumentState& doc = ctx.doc;
  const SourceAnalysis& source = doc.source;
  switch (kind) {
    case kAttachRiff: return source.riffFound;
    case kAttachLyrics3: return source.lyricsFound;
    case kAttachId3v2: return doc.id3v2.present || !doc.id3v2.fields.empty() || doc.id3v2.tagStarted;
    case kAttachUnknownHeader: return source.behindHeaderFound;
    case kAttachUnknownFooter: return source.footerFound;
    case kAttachId3v1: return source.id3v1Found || doc.boxes.id3v1.enabled;
    default: return false;
  }
}

std::array<AttachBox, kAttachKinds> PrepareAttachBoxes(const Context& ctx, bool forSplit, bool partOn) {
  std::array<AttachBox, kAttachKinds> boxes;
  for (int kind = 0; kind < kAttachKinds; ++kind) {
    AttachBox& box = boxes[static_cast<size_t>(kind)];
    box.caption = (forSplit ? kSplitAttachCaptions : kSaveSelectionAttachCaptions)[static_cast<size_t>(kind)];
    box.enabled = partOn && AttachAvailable(ctx, kind);
    box.checked = false;
  }
  return boxes;
}

FileNameState NameStateOf(const std::string& name) {
  if (name.empty()) return FileNameState::kNotChosen;
  std::error_code ec;
  return std::filesystem::exists(name, ec) ? FileNameState::kExisting : FileNameState::kNew;
}

std::string ShortenedNameLabel(const std::string& name, const std::function<bool(const std::string&)>& fits) {
  if (!fits || fits(name)) return name;
  constexpr size_t kShortestLabel = 13;
  std::string tail = name;
  for (;;) {
    std::string label = "..." + tail;
    if (fits(label) || Utf8CharCount(label) <= kShortestLabel || tail.empty()) return label;
    size_t cut = 1;
    while (cut < tail.size() && (static_cast<unsigned char>(tail[cut]) & 0xC0) == 0x80) ++cut;
    tail.erase(0, cut);
  }
}

void ShowFullFileName(Context& ctx, const std::string& name, int fileNumber) {
  std::string caption = fileNumber > 0 ? "full filename " + std::to_string(fileNumber) + ":" : "full filename:";
  ReportMessage(ctx, name, kMsgInfo, caption);
}

SaveSelectionDialogState PrepareSaveSelectionDialog(const Context& ctx) {
  SaveSelectionDialogState state;
  state.caption = " Save the selection as";
  state.nameButton = "File&name:";
  state.file.label = kNameNotSpecifiedText;
  state.file.attach = PrepareAttachBoxes(ctx, false, true);
  state.note = kSaveSelectionNote;
  int32_t n = ctx.doc.editCount;
  state.first = Clamped(ctx.doc.cursor, n);
  state.end = Clamped(ctx.doc.selectionEnd, n);
  if (state.end < state.first) std::swap(state.first, state.end);
  return state;
}

void SetSaveSelectionName(SaveSelectionDialogState& state, const std::string& name) {
  if (name.empty()) return;
  state.file.name = name;
  state.file.nameState = NameStateOf(name);
  state.file.label = name;
  state.noteVisible = true;
  state.okEnabled = true;
}

namespace {
std::optional<std::string> AskTargetName(Context& ctx) {
  FileDialogRequest request;
  request.filter = "mp3 files|*.mp3|all files|*.*";
  request.folder = ctx.options.lastSaveFolder;
  request.defaultExt = "mp3";
  std::optional<std::string> name = ctx.host.chooseSaveFile(request);
  if (!name || name->empty()) return std::nullopt;
  std::string folder = FolderOf(*name);
  if (!folder.empty()) ctx.options.lastSaveFolder = folder;
  return name;
}
}  // namespace

bool ChooseSaveSelectionName(Context& ctx, SaveSelectionDialogState& state) {
  std::optional<std::string> name = AskTargetName(ctx);
  if (!name) return false;
  SetSaveSelectionName(state, *name);
  return true;
}

SplitBounds SplitBoundsOf(const DocumentState& doc) {
  SplitBounds b;
  int32_t n = doc.editCount;
  b.s = Clamped(doc.cursor, n);
  b.e = Clamped(doc.selectionEnd, n);
  b.selection = doc.selectionExists && b.s != b.e;
  if (!b.selection) b.e = b.s;
  if (b.e < b.s) std::swap(b.s, b.e);
  return b;
}

SplitDialogState PrepareSplitDialog(const Context& ctx) {
  SplitBounds b = SplitBoundsOf(ctx.doc);
  int32_t n = std::max(ctx.doc.editCount, int32_t{0});
  SplitDialogState state;
  state.caption = " File split";
  state.selection = b.selection;
  state.saveSelectionButton = "just save\r\nthe selection";
  state.saveSelectionHint = "Switch to save-selection window";
  state.note = kSplitNote;

  const std::array<std::pair<int32_t, int32_t>, 3> ranges = {{{0, b.s}, {b.s, b.e}, {b.e, n}}};
  // The source's information frame at position 0 is never written: a part
  // that holds nothing else would be a file without audio.
  auto writesFrames = [&ctx](int32_t first, int32_t end) {
    const DocumentState& doc = ctx.doc;
    int32_t count = end - first;
    if (first == 0 && count > 0 && !doc.ref.empty() && doc.ref[0] >= 0 && doc.ref[0] < doc.frameTableCount &&
        static_cast<size_t>(doc.ref[0]) < doc.frames.size() && doc.frames[static_cast<size_t>(doc.ref[0])].spec != 0)
      --count;
    return count > 0;
  };
  const std::array<bool, 3> available = {writesFrames(0, b.s), b.selection && writesFrames(b.s, b.e),
                                         writesFrames(b.e, n)};
  for (int k = 0; k < 3; ++k) {
    SplitPartState& part = state.parts[static_cast<size_t>(k)];
    part.first = ranges[static_cast<size_t>(k)].first;
    part.end = ranges[static_cast<size_t>(k)].second;
    part.available = available[static_cast<size_t>(k)];
    part.switchedOn = part.available;
    part.number = b.selection || k < 2 ? k + 1 : 2;  // without a selection the part after the cursor is file 2
    part.switchCaption = kPartSwitchCaptions[static_cast<size_t>(k)];
    part.nameButton = kPartNameButtons[static_cast<size_t>(k)];
    part.file.label = kNameNotSpecifiedText;
    part.file.attach = PrepareAttachBoxes(ctx, true, part.switchedOn);
  }
  SplitPartState& p1 = state.parts[0];
  SplitPartState& p2 = state.parts[1];
  SplitPartState& p3 = state.parts[2];
  if (b.selection) {
    p1.caption = p1.available ? " File 1: left of (before) selection " : " File 1: N/A ";
    p2.caption = p2.available ? " File 2: the selection " : " File 2: N/A ";
    p3.caption = p3.available ? " File 3: right of (after) selection " : " File 3: N/A ";
  } else {
    p1.caption = p1.available ? " File 1: left of (before) the cursor " : " File 1: N/A ";
    p2.caption = " no selection ";
    p3.caption = p3.available ? " File 2: right of (after) the cursor " : " File 2: N/A ";
  }
  state.okEnabled = SplitOkEnabled(state);
  return state;
}

void SetSplitPartSwitch(const Context& ctx, SplitDialogState& state, int part, bool on) {
  if (part < 0 || part > 2) return;
  SplitPartState& p = state.parts[static_cast<size_t>(part)];
  p.switchedOn = on && p.available;
  for (int kind = 0; kind < kAttachKinds; ++kind) {
    AttachBox& box = p.file.attach[static_cast<size_t>(kind)];
    box.enabled = p.switchedOn && AttachAvailable(ctx, kind);
    if (!box.enabled) box.checked = false;
  }
  state.okEnabled = SplitOkEnabled(state);
}

void SetSplitPartName(SplitDialogState& state, int part, const std::string& name) {
  if (part < 0 || part > 2 || name.empty()) return;
  OutputFileState& file = state.parts[static_cast<size_t>(part)].file;
  file.name = name;
  file.nameState = NameStateOf(name);
  file.label = name;
  state.okEnabled = SplitOkEnabled(state);
}

bool ChooseSplitPartName(Context& ctx, SplitDialogState& state, int part) {
  if (part < 0 || part > 2 || !PartWritten(state.parts[static_cast<size_t>(part)])) return false;
  std::optional<std::string> name = AskTargetName(ctx);
  if (!name) return false;
  SetSplitPartName(state, part, *name);
  return true;
}

bool SplitOkEnabled(const SplitDialogState& state) {
  bool any = false;
  for (const SplitPartState& part : state.parts) {
    if (!PartWritten(part)) continue;
    if (part.file.name.empty()) return false;
    any = true;
  }
  return any;
}

std::string DuplicateNameText(int fileNumber, int otherNumber) {
  return "You can't save different parts to the same filename.\r\nFilenames " + std::to_string(fileNumber) +
         " and " + std::to_string(otherNumber) + " are identical.";
}

int DuplicatePart(const SplitDialogState& state, int part) {
  if (part < 0 || part > 2) return -1;
  const std::string& name = state.parts[static_cast<size_t>(part)].file.name;
  for (int k = 0; k < 3; ++k) {
    const SplitPartState& other = state.parts[static_cast<size_t>(k)];
    if (k != part && PartWritten(other) && SameTarget(name, other.file.name)) return k;
  }
  return -1;
}

// Without a selection the command stays offered: the operation itself tells
// the user that a selection is needed, which a greyed item would not.
bool SaveSelectionAvailable(const Context& ctx) { return ctx.doc.loaded && !NotReady(ctx); }

bool SplitAvailable(const Context& ctx) { return ctx.doc.loaded && !NotReady(ctx) && ctx.doc.editCount > 0; }

void MenuSaveSelClick(Context& ctx, const std::string& scriptTarget) {
  DocumentState& doc = ctx.doc;
  const bool script = ctx.script.active;
  if (NotReady(ctx) || !doc.loaded) {
    if (script) ctx.script.resultCode = 255;
    return;
  }
  if (script) ctx.script.resultCode = 0;
  if (!HasSelection(doc)) {
    if (script) {
      ctx.script.resultCode = kSaveSelNoSelection;
    } else {
      ReportMessage(ctx, kNoSelectionText, kWarningBox, "warning");
    }
    return;
  }
  SplitBounds b = SplitBoundsOf(doc);
  if (b.s == 0 && b.e == doc.editCount) {
    if (script) {
      ctx.script.resultCode = kSaveSelAllSelected;
      return;
    }
    if (AskRefused(ctx, kSaveSelectionAllText, kAllSelectedQuestion, "warning")) return;
  }
  if (!script) {
    RunSaveSelectionDialog(ctx);
    return;
  }
  SaveSelectionDialogState state = PrepareSaveSelectionDialog(ctx);
  SetSaveSelectionName(state, TrimmedName(scriptTarget));
  if (!state.okEnabled) {
    ctx.script.resultCode = kWriteFailedCode;
    ctx.script.errorText = kDiskErrorText;
    return;
  }
  if (IsInputFile(ctx, state.file.name)) {
    ctx.script.resultCode = kWriteFailedCode;
    ctx.script.errorText = kInputFileTargetText;
    return;
  }
  WriteSelection(ctx, state);
}

void MenuSplitClick(Context& ctx, const std::array<std::string, 3>& scriptTargets) {
  DocumentState& doc = ctx.doc;
  const bool script = ctx.script.active;
  if (NotReady(ctx) || !doc.loaded) {
    if (script) ctx.script.resultCode = 255;
    return;
  }
  if (script) ctx.script.resultCode = 0;
  SplitBounds b = SplitBoundsOf(doc);
  const int32_t n = doc.editCount;
  if (b.selection && b.s == 0 && b.e == n) {
    if (script) {
      ctx.script.resultCode = kSplitAllSelected;
      return;
    }
    if (AskRefused(ctx, kSplitAllText, kAllSelectedQuestion, "warning")) return;
  }
  if (!b.selection && (b.s == 0 || b.s == n)) {
    if (script) {
      ctx.script.resultCode = kSplitNothingToSplit;
      return;
    }
    if (AskRefused(ctx, kSplitCursorAtEndText, kAllSelectedQuestion, "warning")) return;
  }

  SplitDialogState state = PrepareSplitDialog(ctx);
  if (script) {
    std::array<std::string, 3> names = scriptTargets;
    if (!b.selection) names[2] = names[1];
    for (int k = 0; k < 3; ++k) SetSplitPartName(state, k, TrimmedName(names[static_cast<size_t>(k)]));
    if (!SplitOkEnabled(state)) {
      ctx.script.resultCode = kWriteFailedCode;
      ctx.script.errorText = kDiskErrorText;
      return;
    }
    WriteSplitParts(ctx, state);
    return;
  }

  for (;;) {
    doc.splitDialogOpen = true;
    std::optional<SplitDialogState> answer = ctx.host.askSplit(state);
    doc.splitDialogOpen = false;
    if (!answer) return;
    if (answer->switchToSaveSelection && b.selection) {
      RunSaveSelectionDialog(ctx);
      return;
    }
    state = TakeSplitAnswer(ctx, *answer);
    if (!state.okEnabled) return;
    // A refused name keeps the dialog open with the user's choices.
    if (WriteSplitParts(ctx, state) == SplitOutcome::kDone) return;
  }
}

}  // namespace quorvel
