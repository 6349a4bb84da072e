#pragma once
// The structural edits of the EditList: delete, cut, copy, paste, trim, select
// all, unselect, and the single-level undo that every changing operation
// prepares. Only FrameEntry values (references, blank-frame codes and gain
// changes) move; audio bytes are fetched by the writer later.
//
// Each command leaves its result code in ctx.script.resultCode. While a script
// runs, messages are not shown; the code (and for Copy the error text) stands
// for them.

#include <cstdint>
#include <string>

#include "core/context.h"

namespace quorvel {

// The common ending of every changing operation: Undo follows the snapshot,
// the document has unsaved changes, and the modification level rises (to 2 at most).
void MarkEdited(Context& ctx);

// Saves the EditList, cursor, selection, view, insertedCount and file table.
void TakeUndoSnapshot(Context& ctx);
// Puts the snapshot back and empties it (Undo without its command checks; an
// insertion that failed recovers with it even while a script runs). Returns false
// when there was nothing to restore or restoring failed (reported).
bool RestoreUndoSnapshot(Context& ctx);

// Copies the positions between two bounds (in either order) to the local clipboard.
void CopyToClipboard(Context& ctx, int32_t a, int32_t b);
// Inserts the clipboard's entries before position p. On failure the snapshot is
// restored and false is returned.
bool InsertClipboardAt(Context& ctx, int32_t p);

// Command availability (the enabled state of the buttons and menu items).
bool DeleteEnabled(const Context& ctx);  // also Cut and Copy: a selection exists
bool PasteEnabled(const Context& ctx);
bool TrimEnabled(const Context& ctx);
bool UndoEnabled(const Context& ctx);

// Keeps viewStart within 0..viewStartMax for the current editCount
// (the strip shows 84 frames).
void RestoreViewStart(DocumentState& doc, int32_t viewStart);

// Delete runs for Cut (cutMode: the frames go to the clipboard first) and for
// Paste and Insert (pasteMode: no checks, no snapshot, no restored view).
struct DeleteModes {
  bool cutMode = false;
  bool pasteMode = false;
};
void DelButClick(Context& ctx, DeleteModes modes = {});
void CutButClick(Context& ctx);
void CopybutClick(Context& ctx);
void PastebutClick(Context& ctx);
void TrimButClick(Context& ctx);
void SelAllButClick(Context& ctx);
void UnselbutClick(Context& ctx);
void UndobutClick(Context& ctx);

}  // namespace quorvel
