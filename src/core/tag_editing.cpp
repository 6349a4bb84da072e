#include "core/tag_editing.h"

#include "core/document_ops.h"
#include "core/messages.h"
#include "core/file_paths.h"
#include "tags/field_content.h"
#include "tags/id3v1.h"
#include "tags/id3v2_reader.h"

namespace quorvel {

bool TagEditorRefused(const Context& ctx) { return !ctx.doc.loaded || ctx.script.active || NotReady(ctx); }

const char* const kApplyTagEditsText =
    "The tag editor holds changes that were not applied.\r\n\r\nApply them (YES) or drop them (NO)?";

Id3v2TagState& BeginId3v2Session(Context& ctx) {
  TagEditSessions& s = ctx.tagEdit;
  if (!s.id3v2) {
    s.id3v2 = ctx.doc.id3v2;
    s.id3v2Base = *s.id3v2;
  }
  return *s.id3v2;
}

void Id3v2SessionReady(Context& ctx) {
  if (ctx.tagEdit.id3v2) ctx.tagEdit.id3v2Base = *ctx.tagEdit.id3v2;
}

bool Id3v2SessionChanged(const Context& ctx) {
  return ctx.tagEdit.id3v2 && *ctx.tagEdit.id3v2 != ctx.tagEdit.id3v2Base;
}

namespace {

// A committed copy: the remove box follows what is left to write, and a
// change is an edit of the document.
void Committed(Context& ctx, RemoveBox& box, bool writeTag, bool edited) {
  box.enabled = writeTag;
  if (!box.enabled) box.checked = false;
  if (edited) ctx.doc.unsavedChanges = true;
  ctx.host.changed(edited ? kChangedTags | kChangedModified : kChangedTags);
}

}  // namespace

void CommitId3v2Session(Context& ctx, bool writeTag) {
  TagEditSessions& s = ctx.tagEdit;
  if (!s.id3v2) return;
  const bool edited = Id3v2SessionChanged(ctx);
  ctx.doc.id3v2 = *s.id3v2;
  s.id3v2Base = *s.id3v2;
  Committed(ctx, ctx.doc.boxes.id3v2, writeTag, edited);
}

void EndId3v2Session(Context& ctx) {
  ctx.tagEdit.id3v2.reset();
  ctx.tagEdit.id3v2Base = Id3v2TagState{};
}

Id3v1State& BeginId3v1Session(Context& ctx) {
  TagEditSessions& s = ctx.tagEdit;
  if (!s.id3v1) {
    s.id3v1 = ctx.doc.id3v1;
    s.id3v1Base = *s.id3v1;
  }
  return *s.id3v1;
}

void Id3v1SessionReady(Context& ctx) {
  if (ctx.tagEdit.id3v1) ctx.tagEdit.id3v1Base = *ctx.tagEdit.id3v1;
}

bool Id3v1SessionChanged(const Context& ctx) {
  // Only the record is written; the copy read back for comparison is not an edit.
  return ctx.tagEdit.id3v1 && ctx.tagEdit.id3v1->record != ctx.tagEdit.id3v1Base.record;
}

void CommitId3v1Session(Context& ctx) {
  TagEditSessions& s = ctx.tagEdit;
  if (!s.id3v1) return;
  const bool edited = Id3v1SessionChanged(ctx);
  ctx.doc.id3v1 = *s.id3v1;
  s.id3v1Base = *s.id3v1;
  Committed(ctx, ctx.doc.boxes.id3v1, !IsId3v1Empty(ctx.doc.id3v1.record), edited);
}

void EndId3v1Session(Context& ctx) {
  ctx.tagEdit.id3v1.reset();
  ctx.tagEdit.id3v1Base = Id3v1State{};
}

Id3v2TagState& EditedId3v2(Context& ctx) { return ctx.tagEdit.id3v2 ? *ctx.tagEdit.id3v2 : ctx.doc.id3v2; }
const Id3v2TagState& EditedId3v2(const Context& ctx) {
  return ctx.tagEdit.id3v2 ? *ctx.tagEdit.id3v2 : ctx.doc.id3v2;
}
Id3v1State& EditedId3v1(Context& ctx) { return ctx.tagEdit.id3v1 ? *ctx.tagEdit.id3v1 : ctx.doc.id3v1; }

bool TagEditsPending(const Context& ctx) { return Id3v2SessionChanged(ctx) || Id3v1SessionChanged(ctx); }

bool ApplyTagEdits(Context& ctx) { return !TagEditsPending(ctx) || ctx.host.applyTagEdits(); }

void EndTagSessions(Context& ctx) {
  // The windows let go of the copies first; then the copies go.
  ctx.host.closeTagWindows();
  EndId3v2Session(ctx);
  EndId3v1Session(ctx);
}

bool SettleTagEditsForScript(Context& ctx) {
  if (TagEditsPending(ctx)) {
    const int answer = ctx.host.ask(kApplyTagEditsText, kModalQuestion | kMsgEscapeAnswers, "tag editor");
    if (answer == kAnswerEscape) return false;
    if (answer == kAnswerYes && !ApplyTagEdits(ctx)) return false;
  }
  EndTagSessions(ctx);
  return true;
}

bool ReloadId3v1Record(Context& ctx) {
  DocumentState& doc = ctx.doc;
  Id3v1State& id3v1 = EditedId3v1(ctx);
  ClearId3v1(id3v1.record);
  if (!doc.source.id3v1Found) return false;
  InputFile file;
  // The record comes only from the file that was loaded, never from another
  // one put under its name since.
  bool same = file.open(doc.sourceName) && file.identity() == doc.files[0].identity;
  if (!same || ProcessID3v1(id3v1, file, doc.source.id3v1Pos) != Id3v1ReadResult::kOk) {
    ClearId3v1(id3v1.record);
    id3v1.loaded = id3v1.record;
    WarnUnlessSilent(ctx, kId3v1ReadErrorText);
  }
  return true;
}

void Id3v1EditorClosed(Context& ctx, bool recordHoldsSomething) {
  RemoveBox& box = ctx.doc.boxes.id3v1;
  box.enabled = recordHoldsSomething;
  if (!box.enabled) box.checked = false;
  ctx.host.changed(kChangedTags);
}

bool ReloadId3v2Tag(Context& ctx) {
  DocumentState& doc = ctx.doc;
  Id3v2TagState& tag = EditedId3v2(ctx);
  tag.tagversion = tag.srcversion;
  const uint8_t flags = doc.source.id3v2Flags;
  const unsigned major = tag.srcversion.major;
  tag.unsync = tag.srcunsync;
  tag.exthead = major > 2 && (flags & 0x40) != 0;
  tag.experimental = major > 2 && (flags & 0x20) != 0;
  tag.footer = major > 3 && (flags & 0x10) != 0;
  tag.readerror = false;
  ResetId3v2State(tag);
  if (!tag.present) return true;
  InputFile file;
  // The tag comes only from the file that was loaded, never from another one
  // put under its name since: field positions would point at other bytes.
  if (!file.open(doc.sourceName) || file.identity() != doc.files[0].identity) {
    ReportMessage(ctx,
                  "Disk read error. Perhaps the source file was either\r\nmoved, modified, renamed or deleted in "
                  "the meantime?",
                  kModalError, "error");
    return false;
  }
  ProcessID3v2(tag, file, doc.sourceName);
  if (tag.readerror) ReportMessage(ctx, "Invalid id3v2 tag.", kModalError, "error");
  return !tag.readerror;
}

bool LoadId3v2TextFieldFromFile(Context& ctx, uint32_t index, const TextFieldDialog& dialog) {
  Id3v2TagState& tag = EditedId3v2(ctx);
  if (index >= tag.fields.size() || tag.fields[index].tip != kFieldText) return false;
  FileDialogRequest request;
  request.title = "Choose the source text file";
  request.filter = "Text files|*.txt|All files|*.*";
  request.folder = ctx.options.tagLoadTextFolder;
  request.mustExist = true;
  std::optional<std::string> path = ctx.host.chooseOpenFile(request);
  if (!path) return false;
  ctx.options.tagLoadTextFolder = FolderOf(*path);
  TextLoadCallbacks callbacks;
  callbacks.report = [&ctx](const TextLoadMessage& m) { ReportMessage(ctx, m.text, m.kind, m.caption); };
  callbacks.dialog = dialog;
  return LoadTextFieldFromFile(tag.fields[index], *path, (ctx.options.tagFlags & kSkipEmptyId3v2Fields) != 0,
                               callbacks) == TextLoadResult::kLoaded;
}

void Id3v2EditorClosed(Context& ctx, bool accepted, bool writeTag) {
  if (accepted) {
    RemoveBox& box = ctx.doc.boxes.id3v2;
    box.enabled = writeTag;
    if (!box.enabled) box.checked = false;
  }
  ctx.host.changed(kChangedTags);
}

}  // namespace quorvel
