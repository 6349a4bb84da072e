#include "core/tag_editing.h"

#include "core/document_ops.h"
#include "core/messages.h"
#include "core/file_paths.h"
#include "tags/field_content.h"
#include "tags/id3v1.h"
#include "tags/id3v2_reader.h"

namespace quorvel {

bool TagEditorRefused(const Context& ctx) { return !ctx.doc.loaded || ctx.script.active || NotReady(ctx); }

bool ReloadId3v1Record(Context& ctx) {
  DocumentState& doc = ctx.doc;
  ClearId3v1(doc.id3v1.record);
  if (!doc.source.id3v1Found) return false;
  InputFile file;
  // The record comes only from the file that was loaded, never from another
  // one put under its name since.
  bool same = file.open(doc.sourceName) && file.identity() == doc.files[0].identity;
  if (!same || ProcessID3v1(doc.id3v1, file, doc.source.id3v1Pos) != Id3v1ReadResult::kOk) {
    ClearId3v1(doc.id3v1.record);
    doc.id3v1.loaded = doc.id3v1.record;
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
  Id3v2TagState& tag = doc.id3v2;
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
  Id3v2TagState& tag = ctx.doc.id3v2;
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
