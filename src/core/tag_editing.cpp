#include "core/tag_editing.h"

#include "core/document_ops.h"
#include "core/messages.h"
#include "tags/id3v1.h"

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

}  // namespace quorvel
