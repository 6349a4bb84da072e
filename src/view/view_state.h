#pragma once
// The state of the main window's views that the engine never reads, and the
// view movements (paging, scroll buttons, keys, thumb, find) as functions.
//
// What stays in the DocumentState, because the engine needs it:
// - viewStart and viewStartMax: the undo snapshot keeps viewStart, the edit
//   operations put it back after changing the EditList, and loading and closing
//   reset it; a script's position commands move the cursor and selection, not
//   the view. The functions below are the only place the window changes them.
// - stripLabelPos: every change of the document resets it to -1 so that the
//   time labels are written again; the window compares it with viewStart
//   (StripLabelsDue) and records the labelled position (MarkStripLabelled).
// - the remove boxes (doc.boxes): the writer and the tag commands read them.
// - the dialog-open flags (volumeDialogOpen, fadeDialogOpen, silenceDialogOpen,
//   splitDialogOpen, playerHandOver): NotReady reads them; the operations set
//   them around their dialogs.
// - the position boxes' texts live in the script state because ApplyPositions
//   reads them; the window rewrites them with PositionBoxText.

#include <cstdint>
#include <string>

#include "core/document.h"

namespace quorvel {

enum class Paging { kNone, kLeft, kRight };

// The first intervals of the auto-repeat timers: the step and scroll buttons,
// and paging on the scroll bar's trough. The timers' schedules (ui/repeat.h)
// start from these and shorten with NextRepeatInterval and NextPagingInterval.
constexpr int kFirstRepeatIntervalMs = 220;
constexpr int kFirstPagingIntervalMs = 240;

struct ViewState {
  int32_t hoverFrame = -1;  // frame under the mouse at the last press on the strip
  Paging paging = Paging::kNone;
  bool thumbDrag = false;
  int dragOffset = 0;       // mouse x - thumb left at the press
  bool ignoreNextPress = false;  // set by a double-click on the strip
  bool showEditedStats = false;  // the statistics list's choice (an option bit)
};

// Sets viewStart, clamped to 0..viewStartMax (recomputed from editCount).
// Returns true when the view moved.
bool SetViewStart(DocumentState& doc, int32_t viewStart);
// Page Up / Page Down and paging on the trough: 84 frames.
bool PageView(DocumentState& doc, bool right);
// The scroll buttons: one frame.
bool StepView(DocumentState& doc, bool right);
// Ctrl+Home / Ctrl+End.
bool ViewToStart(DocumentState& doc);
bool ViewToEnd(DocumentState& doc);
// "fi&nd".
bool FindCursor(DocumentState& doc);

// The time labels must be written again (the view moved or the document changed).
bool StripLabelsDue(const DocumentState& doc);
void MarkStripLabelled(DocumentState& doc);

// The paging timer's next interval: 240 ms first, then 80 ms shorter while at
// least 81, then 40, then 20.
int NextPagingInterval(int intervalMs);
// The auto-repeat timer's next interval: from 220 ms, 40 shorter while 101 or
// more, 20 shorter from 21 to 100, unchanged below 21.
int NextRepeatInterval(int intervalMs);

// The position box text of cursor (box 0) or selectionEnd (box 1): three
// decimals, with minutes above one minute.
std::string PositionBoxText(const DocumentState& doc, int box);

// The step buttons on a box's position v; the result is clamped to 0..editCount.
int32_t StepFrame(const DocumentState& doc, int32_t v, bool up);
int32_t StepSecond(const DocumentState& doc, int32_t v, bool up);
// Sets cursor (box 0; the selection goes) or selectionEnd (box 1; a selection
// exists when it differs from the cursor).
void SetBoxPosition(DocumentState& doc, int box, int32_t v);

}  // namespace quorvel
