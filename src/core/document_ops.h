#pragma once
// Operations on the DocumentState that every editing command shares: the
// EditList's size, what lies at a position, blank-frame codes, bounds and
// selection, times, statistics, and closing the document.

#include <cstdint>

#include "core/context.h"
#include "core/document.h"

namespace quorvel {

// Sets both EditList arrays (ref and the two gains) to editCount entries,
// keeping the leading values; new entries are zero.
void ResizeEditList(DocumentState& doc);

// What lies at EditList position p (0 <= p < editCount): read from the
// FrameTable record, or decoded from the BlankFrameCode of a blank frame.
// A position outside the list, or a reference outside the FrameTable, reads as 0.
int FrequencyAt(const DocumentState& doc, int32_t p);
int ModeAt(const DocumentState& doc, int32_t p);
int BitrateAt(const DocumentState& doc, int32_t p);
int MarkerAt(const DocumentState& doc, int32_t p);
// The version code of the frame at p (blank frames are of the document's version).
int VersionAt(const DocumentState& doc, int32_t p);
// The frame's frequency slot (FrequencySlot of its version and frequency index).
int FrequencySlotAt(const DocumentState& doc, int32_t p);

// A blank frame is stored as ref = -BlankFrameCode(...): b + 16 f + 64 m with
// the bitrate index b in 1..14, so the code is never 0.
int32_t BlankFrameCode(int bitrateIndex, int freqIndex, int mode);
struct BlankFrame {
  int bitrateIndex = 0;
  int freqIndex = 0;
  int mode = 0;
};
BlankFrame DecodeBlankFrameCode(int32_t code);

// Clamps cursor (i = 0) or selectionEnd (i = 1) to 0..editCount.
void udvcheck(DocumentState& doc, int i);
// Negative values become 0; b < a swaps the two.
void OrderBounds(int32_t& a, int32_t& b);
// Clamps both bounds and orders them, so that cursor is the lower one.
void aline_udv(DocumentState& doc);
// Stores the selection flag; equal bounds mean no selection, and without a
// selection selectionEnd follows the cursor.
void SetSelectionExists(DocumentState& doc, bool flag);

// True while a load, insertion or write runs, an editing dialog is open, the
// busy cursor shows or the player hand-over runs: nothing may change the document.
bool NotReady(const Context& ctx);

// Lets the window system process pending events and records the Esc and close
// requests that came in (ctx.cancelRequest, ctx.closeRequest); what it returns
// is what was pending afterwards.
EventRequests ProcessPendingEvents(Context& ctx);

// Seconds from the start of the edit to position p; with midFrame, to the middle
// of the frame at p (p limited to the last frame).
double TimeAtFrame(const DocumentState& doc, int32_t p, bool midFrame = false);
// Seconds covered by the frames from min(a, b) up to, not including, max(a, b).
double DurationBetween(const DocumentState& doc, int32_t a, int32_t b);
// The position nearest to a time; the caller clamps the result.
int32_t FrameAtTime(const DocumentState& doc, double seconds);

// True when a selection exists and every selected frame is mono.
bool SelectionAllMono(const DocumentState& doc);
// 0 without a selection; 2 when the selection mixes modes; 1 when all of it is
// joint stereo; else 0.
int SelectionModes(const DocumentState& doc);

// Recomputes editStats from the EditList. A source that starts with its VBR
// information frame is not called variable (or mixed) because of that frame alone.
void ComputeEditStatistics(DocumentState& doc);

constexpr int kUnloadDeclined = 2;
constexpr int kUnloadSaved = 6;
constexpr int kUnloadClosed = 7;

// The question before the window closes or another document replaces this one.
extern const char* const kSaveChangesText;     // "  Save changes?  "
extern const char* const kSaveChangesCaption;  // "closing"

// The kind of the "Save changes?" question: Escape, and closing the window by
// its frame, cancel the path that asked instead of answering No.
constexpr int kSaveChangesQuestion = kModalWarning | kMsgEscapeAnswers;

// Whether the document's edits are offered for saving before a path drops or
// replaces the document: a document with unsaved changes (an insertion alone
// counts; a save clears them), the prompt option on, a file name, no script
// running, nothing busy.
bool SaveChangesAsked(const Context& ctx);

// The one rule every path that drops or replaces an edited document follows
// (Open, a recent file, a drop, Close, closing the window or every instance):
// asks text with caption when SaveChangesAsked holds. Returns kUnloadClosed
// when the path may go on without a save (nothing to ask, or No),
// kUnloadSaved after Yes and a successful "Save as", kUnloadDeclined when the
// path must stop (the question was cancelled, or the save was cancelled or failed).
int AskSaveChanges(Context& ctx, const std::string& text, const std::string& caption);
// Closes the document. With ask, a document for which SaveChangesAsked holds
// first offers "Save changes?": only Yes and a successful "Save as" go on.
// Returns kUnloadDeclined (nothing changed), kUnloadSaved or kUnloadClosed.
int unloadall(Context& ctx, bool ask);

}  // namespace quorvel
