#include "core/edit_ops.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>

#include "core/document_ops.h"
#include "core/messages.h"

namespace quorvel {

namespace {

constexpr int kStripFrames = 84;

void Redraw(Context& ctx, Changes what) { ctx.host.changed(what); }

void SetCode(Context& ctx, uint8_t code) { ctx.script.resultCode = code; }

// Makes the three EditList arrays exactly editCount long.
bool EditListConsistent(const DocumentState& doc) {
  auto n = static_cast<size_t>(std::max(doc.editCount, 0));
  return doc.ref.size() == n && doc.gainLeft.size() == n && doc.gainRight.size() == n;
}

}  // namespace

void MarkEdited(Context& ctx) {
  DocumentState& doc = ctx.doc;
  doc.undoAvailable = !doc.undoUnavailable;
  doc.unsavedChanges = true;
  if (doc.modifiedLevel < 2) ++doc.modifiedLevel;
}

void RestoreViewStart(DocumentState& doc, int32_t viewStart) {
  doc.viewStartMax = doc.editCount > kStripFrames ? doc.editCount - kStripFrames : 0;
  doc.viewStart = std::clamp(viewStart, 0, doc.viewStartMax);
}

void TakeUndoSnapshot(Context& ctx) {
  DocumentState& doc = ctx.doc;
  UndoState& undo = doc.undo;
  undo.editCount = doc.editCount;
  if (doc.editCount < 0) {
    WarnUnlessScript(ctx, "Error preparing undo!\r\n- last operation can't be undone -");
    undo.taken = false;
    doc.undoUnavailable = true;
    return;
  }
  undo.viewStart = doc.viewStart;
  undo.selectionExists = doc.selectionExists;
  undo.cursor = doc.cursor;
  undo.selectionEnd = doc.selectionEnd;
  undo.insertedCount = doc.insertedCount;
  undo.files = doc.files;
  undo.modifiedLevel = doc.modifiedLevel;
  try {
    auto n = static_cast<size_t>(doc.editCount);
    undo.ref.assign(doc.ref.begin(), doc.ref.begin() + static_cast<ptrdiff_t>(std::min(n, doc.ref.size())));
    undo.gainLeft.assign(doc.gainLeft.begin(),
                         doc.gainLeft.begin() + static_cast<ptrdiff_t>(std::min(n, doc.gainLeft.size())));
    undo.gainRight.assign(doc.gainRight.begin(),
                          doc.gainRight.begin() + static_cast<ptrdiff_t>(std::min(n, doc.gainRight.size())));
    undo.ref.resize(n, 0);
    undo.gainLeft.resize(n, 0);
    undo.gainRight.resize(n, 0);
    undo.taken = true;
    doc.undoUnavailable = false;
  } catch (const std::bad_alloc&) {
    undo.ref = {};
    undo.gainLeft = {};
    undo.gainRight = {};
    undo.taken = false;
    WarnUnlessScript(ctx, "Error reserving undo memory!\r\n- last operation can't be undone -");
    doc.undoUnavailable = true;
  }
}

bool RestoreUndoSnapshot(Context& ctx) {
  DocumentState& doc = ctx.doc;
  UndoState& undo = doc.undo;
  doc.undoAvailable = false;
  auto n = static_cast<size_t>(std::max(undo.editCount, 0));
  if (!undo.taken || undo.ref.size() != n || undo.gainLeft.size() != n || undo.gainRight.size() != n) {
    undo = UndoState{};
    WarnUnlessScript(ctx, "Unexpected error reading the memory!\r\n- undo can not be performed -");
    return false;
  }
  doc.editCount = static_cast<int32_t>(n);
  doc.ref = std::move(undo.ref);
  doc.gainLeft = std::move(undo.gainLeft);
  doc.gainRight = std::move(undo.gainRight);
  ResizeEditList(doc);

  doc.insertedCount = undo.insertedCount;
  doc.files = undo.files;
  // Undoing the change that first modified the document makes it unmodified
  // again; a level of 2 stays, and so does a level that the undone operation
  // did not raise (an insertion).
  if (doc.modifiedLevel == 1) doc.modifiedLevel = std::min<uint8_t>(undo.modifiedLevel, 1);

  doc.cursor = undo.cursor;
  doc.selectionEnd = undo.selectionEnd;
  udvcheck(doc, 0);
  udvcheck(doc, 1);
  SetSelectionExists(doc, undo.selectionExists);
  int32_t viewStart = undo.viewStart;
  undo = UndoState{};
  RestoreViewStart(doc, viewStart);
  ComputeEditStatistics(doc);
  Redraw(ctx, kChangedEditList | kChangedCursor | kChangedModified | kChangedView | kChangedClipboard);
  return true;
}

void UndobutClick(Context& ctx) {
  if (ctx.script.active || NotReady(ctx)) return;
  if (!ctx.doc.undoAvailable) return;
  RestoreUndoSnapshot(ctx);
}

void CopyToClipboard(Context& ctx, int32_t a, int32_t b) {
  DocumentState& doc = ctx.doc;
  OrderBounds(a, b);
  a = std::min(a, doc.editCount);
  b = std::min(b, doc.editCount);
  try {
    LocalClipboard clip;
    clip.clipCount = b - a;
    clip.ref.assign(doc.ref.begin() + a, doc.ref.begin() + b);
    clip.gainLeft.assign(doc.gainLeft.begin() + a, doc.gainLeft.begin() + b);
    clip.gainRight.assign(doc.gainRight.begin() + a, doc.gainRight.begin() + b);
    doc.clip = std::move(clip);
    if (doc.clip.clipCount > 0) doc.pasteAvailable = true;
  } catch (const std::bad_alloc&) {
    WarnUnlessScript(ctx, "Error reserving memory for local clipboard!\r\n- failed to copy -");
  }
}

bool InsertClipboardAt(Context& ctx, int32_t p) {
  DocumentState& doc = ctx.doc;
  const LocalClipboard& clip = doc.clip;
  p = std::clamp(p, 0, std::max(doc.editCount, 0));
  auto count = static_cast<size_t>(std::max(clip.clipCount, 0));
  bool ok = EditListConsistent(doc) && clip.ref.size() == count && clip.gainLeft.size() == count &&
            clip.gainRight.size() == count &&
            static_cast<int64_t>(doc.editCount) + static_cast<int64_t>(count) <=
                std::numeric_limits<int32_t>::max();
  if (ok) {
    try {
      doc.ref.reserve(doc.ref.size() + count);
      doc.gainLeft.reserve(doc.gainLeft.size() + count);
      doc.gainRight.reserve(doc.gainRight.size() + count);
      doc.ref.insert(doc.ref.begin() + p, clip.ref.begin(), clip.ref.end());
      doc.gainLeft.insert(doc.gainLeft.begin() + p, clip.gainLeft.begin(), clip.gainLeft.end());
      doc.gainRight.insert(doc.gainRight.begin() + p, clip.gainRight.begin(), clip.gainRight.end());
      doc.editCount += static_cast<int32_t>(count);
      ComputeEditStatistics(doc);
      return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
  }
  WarnUnlessScript(ctx,
                "Unexpected error reading from local clipboard memory!\r\n- undo will be performed now, if possible -");
  RestoreUndoSnapshot(ctx);
  return false;
}

bool DeleteEnabled(const Context& ctx) { return ctx.doc.selectionExists; }

bool PasteEnabled(const Context& ctx) { return ctx.doc.pasteAvailable; }

bool TrimEnabled(const Context& ctx) {
  const DocumentState& doc = ctx.doc;
  if (!doc.selectionExists || doc.cursor == doc.selectionEnd) return false;
  int32_t s = doc.cursor;
  int32_t e = doc.selectionEnd;
  OrderBounds(s, e);
  return !(s == 0 && e >= doc.editCount);
}

bool UndoEnabled(const Context& ctx) { return ctx.doc.undoAvailable; }

void DelButClick(Context& ctx, DeleteModes modes) {
  DocumentState& doc = ctx.doc;
  // A click on a disabled command does nothing; the script interpreter checks
  // availability itself and gets the result codes below.
  if (!modes.pasteMode && !ctx.script.active && !DeleteEnabled(ctx)) return;
  SetCode(ctx, 0);
  int32_t viewStart = doc.viewStart;
  if (!modes.pasteMode) {
    if (NotReady(ctx)) {
      SetCode(ctx, 255);
      return;
    }
    if (doc.editCount < 1) {
      SetCode(ctx, 1);
      return;
    }
    if (!doc.selectionExists || doc.cursor == doc.selectionEnd) {
      SetCode(ctx, 3);
      if (!ctx.script.active) ReportMessage(ctx, "No frames selected.", kMsgWarning, "delete");
      return;
    }
    udvcheck(doc, 0);
    aline_udv(doc);
    if (doc.cursor == 0 && doc.selectionEnd == doc.editCount) {
      SetCode(ctx, 2);
      if (!ctx.script.active) ReportMessage(ctx, "You must leave at least one frame.", kMsgWarning, "delete");
      return;
    }
    TakeUndoSnapshot(ctx);
  }

  if (modes.cutMode) CopyToClipboard(ctx, doc.cursor, doc.selectionEnd);

  int32_t from = std::clamp(std::min(doc.cursor, doc.selectionEnd), 0, doc.editCount);
  int32_t to = std::clamp(std::max(doc.cursor, doc.selectionEnd), 0, doc.editCount);
  doc.cursor = from;
  doc.ref.erase(doc.ref.begin() + from, doc.ref.begin() + to);
  doc.gainLeft.erase(doc.gainLeft.begin() + from, doc.gainLeft.begin() + to);
  doc.gainRight.erase(doc.gainRight.begin() + from, doc.gainRight.begin() + to);
  doc.editCount -= to - from;
  ResizeEditList(doc);

  MarkEdited(ctx);
  SetSelectionExists(doc, false);
  udvcheck(doc, 0);
  ComputeEditStatistics(doc);
  if (!modes.pasteMode) {
    RestoreViewStart(doc, viewStart);
    Redraw(ctx, kChangedEditList | kChangedCursor | kChangedModified | kChangedView);
  }
}

void CutButClick(Context& ctx) {
  if (!ctx.script.active && !DeleteEnabled(ctx)) return;
  SetCode(ctx, 0);
  DelButClick(ctx, DeleteModes{.cutMode = true, .pasteMode = false});
}

void CopybutClick(Context& ctx) {
  DocumentState& doc = ctx.doc;
  if (!ctx.script.active && !DeleteEnabled(ctx)) return;
  if (NotReady(ctx)) {
    SetCode(ctx, 255);
    return;
  }
  SetCode(ctx, 0);
  if (doc.editCount <= 0) {
    SetCode(ctx, 254);
    return;
  }
  if (doc.selectionExists) {
    udvcheck(doc, 0);
    udvcheck(doc, 1);
    CopyToClipboard(ctx, doc.cursor, doc.selectionEnd);
    Redraw(ctx, kChangedClipboard | kChangedCursor);
    return;
  }
  ctx.script.errorText = "You must select some frames first.";
  SetCode(ctx, 1);
  if (!ctx.script.active) ReportMessage(ctx, ctx.script.errorText, kModalWarning, "copy");
}

void PastebutClick(Context& ctx) {
  DocumentState& doc = ctx.doc;
  if (!ctx.script.active && !PasteEnabled(ctx)) return;
  if (NotReady(ctx)) {
    SetCode(ctx, 255);
    return;
  }
  if (doc.clip.clipCount < 1) {
    SetCode(ctx, 11);
    return;
  }
  SetCode(ctx, 0);
  udvcheck(doc, 0);
  TakeUndoSnapshot(ctx);
  int32_t viewStart = doc.viewStart;

  bool inserted;
  if (doc.selectionExists) {
    aline_udv(doc);
    int32_t p = doc.cursor;
    DelButClick(ctx, DeleteModes{.cutMode = false, .pasteMode = true});
    inserted = InsertClipboardAt(ctx, p);
    if (inserted) doc.cursor = p;
  } else {
    inserted = InsertClipboardAt(ctx, doc.cursor);
  }
  if (!inserted) return;  // the snapshot has been restored

  doc.selectionEnd = doc.cursor + doc.clip.clipCount;
  udvcheck(doc, 0);
  udvcheck(doc, 1);
  SetSelectionExists(doc, true);
  // The statistics were recomputed when the entries went in.
  MarkEdited(ctx);
  RestoreViewStart(doc, viewStart);
  Redraw(ctx, kChangedEditList | kChangedCursor | kChangedModified | kChangedView);
}

void TrimButClick(Context& ctx) {
  DocumentState& doc = ctx.doc;
  if (NotReady(ctx)) {
    SetCode(ctx, 255);
    return;
  }
  SetCode(ctx, 0);
  if (!doc.selectionExists || doc.cursor == doc.selectionEnd) {
    SetCode(ctx, 1);
    if (!ctx.script.active) ReportMessage(ctx, "You must select multiple frames.", kModalWarning, "trim");
    return;
  }
  int32_t s = doc.cursor;
  int32_t e = doc.selectionEnd;
  OrderBounds(s, e);
  s = std::min(s, doc.editCount);
  e = std::min(e, doc.editCount);
  if (s == 0 && e >= doc.editCount) {
    SetCode(ctx, 2);
    if (!ctx.script.active) ReportMessage(ctx, "There must be frames outside the selection.", kModalWarning, "trim");
    return;
  }

  TakeUndoSnapshot(ctx);
  auto keep = [&](auto& values) {
    values.erase(values.begin() + e, values.end());
    values.erase(values.begin(), values.begin() + s);
  };
  keep(doc.ref);
  keep(doc.gainLeft);
  keep(doc.gainRight);
  doc.editCount = e - s;
  ResizeEditList(doc);

  doc.cursor = 0;
  doc.selectionEnd = doc.editCount;
  MarkEdited(ctx);
  SetSelectionExists(doc, true);
  ComputeEditStatistics(doc);
  RestoreViewStart(doc, doc.viewStart);
  Redraw(ctx, kChangedEditList | kChangedCursor | kChangedModified | kChangedView);
}

void SelAllButClick(Context& ctx) {
  DocumentState& doc = ctx.doc;
  SetCode(ctx, 0);
  if (NotReady(ctx)) {
    SetCode(ctx, 255);
    return;
  }
  if (doc.editCount > 0) {
    doc.cursor = 0;
    doc.selectionEnd = doc.editCount;
    SetSelectionExists(doc, true);
    Redraw(ctx, kChangedCursor);
  } else {
    SetCode(ctx, 1);
  }
}

void UnselbutClick(Context& ctx) {
  DocumentState& doc = ctx.doc;
  if (NotReady(ctx)) {
    SetCode(ctx, 255);
    return;
  }
  if (doc.selectionExists) {
    udvcheck(doc, 0);
    doc.selectionEnd = doc.cursor;
    SetSelectionExists(doc, false);
    Redraw(ctx, kChangedCursor);
  } else {
    SetCode(ctx, 1);
  }
}

}  // namespace quorvel
