#pragma once
// Frames that did not come from the source: generated blank frames ("Add
// silence") and every audio frame of another MP3 file ("Insert"), each at the
// cursor or in place of the selection.

#include <cstdint>
#include <string>

#include "core/context.h"

namespace quorvel {

// At most this many inserted files per document (file table entries 1..255).
constexpr int kMaxInsertedFiles = 255;

// Result codes of the insert-file analysis.
constexpr uint8_t kInsertCannotOpen = 3;
constexpr uint8_t kInsertTooSmall = 4;
constexpr uint8_t kInsertRiffNotMp3 = 6;
constexpr uint8_t kInsertLayer = 7;
constexpr uint8_t kInsertVersion = 8;
constexpr uint8_t kInsertBitrate = 9;
constexpr uint8_t kInsertFrequency = 10;
constexpr uint8_t kInsertEscape = 11;
constexpr uint8_t kInsertNoFrame = 12;
constexpr uint8_t kInsertFrameSize = 13;
constexpr uint8_t kInsertDiskError = 14;
// Result codes of the insert command.
constexpr uint8_t kInsertTooManyFiles = 128;
constexpr uint8_t kInsertNotReady = 129;
constexpr uint8_t kInsertAllSelected = 130;

// The refusal of a file to insert whose frames are of another MPEG version
// than the document's: "The file to insert is MPEG-1, this file is MPEG-2.\r\n
// Files of different mpeg versions can't be joined."
std::string OtherVersionInsertText(int inserted, int document);

// "Add silence": ctx.edit.silenceCount blank frames of ctx.edit.silenceBitrate,
// silenceFrequency and silenceMode (from the dialog, or the count from a script),
// of the document's MPEG version: the frequency index is one of its frequencies.
// Codes: 0 done, 1 not ready, 2 the count was cut to 262,144.
void EmptybutClick(Context& ctx);

// "Insert": the frames of ctx.edit.insertFileName (chosen in a dialog unless a
// script runs) at the cursor or in place of the selection. Codes: 0 done, 3..14
// from AnalyseInsertFile, 128 too many files, 129 not ready, 130 everything selected.
void MenuInsertClick(Context& ctx);

// Analyses the file at path and splices its frames into the EditList at pos
// (0..editCount) as file-table entry k; the new frames are selected. Returns
// the success flag; on failure the result code and error text say why (and,
// unless a script runs or Esc was pressed, a warning showed it), and the
// EditList, FrameTable count and file table are as they were. The caller raises
// insertedCount.
bool AnalyseInsertFile(Context& ctx, const std::string& path, int32_t pos, int k);

}  // namespace quorvel
