#pragma once
// The main window's information texts as plain data: the source and edited
// information lines, the bitrate statistics list with its selected and top
// lines, the path labels (with the "..." form for long paths), the texts of the
// double-click boxes, the selection length, the frame information and the
// progress blocks. The window sets its labels from these and measures text
// through the `fits` callbacks; it composes no text of its own.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/document.h"

namespace quorvel {

constexpr const char* kNoFileLoadedText = "No file loaded";
constexpr const char* kNoSelectionLengthText = "sel: 0.000";

// Whether a text fits its label (measured in the label's font by the window).
using TextFits = std::function<bool(const std::string&)>;

// "44.1 KHz, JOINT STEREO, 128 kbps, 3 min 5.016 sec" of the source, or
// "No file loaded" without a document.
std::string SourceInfoText(const DocumentState& doc);
// The edited file's line; empty when the edit has no frames.
std::string EditedInfoText(const DocumentState& doc);
// The box shown on a double-click of an information line: "source file info:" or
// "target file info:", a blank line, then the line with one item per line.
std::string InfoLineBoxText(const std::string& line, bool source);

constexpr int kStatisticsLines = 15;
constexpr int kStatisticsWindow = 7;  // lines the list shows at once
struct StatisticsList {
  bool empty = true;  // the edit has no frames: the list is emptied
  std::array<std::string, kStatisticsLines> lines;  // "  128 kbps frames: 100"
  int selected = 0;   // the bitrate with the most frames (lower index on ties)
  int topLine = 0;    // first visible line
};
// The list for the source (showEdited false) or edited statistics; editCount 0
// empties it.
StatisticsList BuildStatisticsList(const FrameStatistics& stats, int32_t editCount);
// Which statistics the list shows, from the option bit.
const FrameStatistics& ShownStatistics(const DocumentState& doc, bool showEdited);

// The text of a path label: the path when it fits, otherwise "..." and the end
// of the path, shortened until it fits or is 12 characters or shorter.
// Characters are counted in UTF-8; bytes that are not UTF-8 count one each.
std::string PathLabelText(const std::string& path, const TextFits& fits);
// The path broken into lines of about 50 characters at its separators.
std::string WrappedPath(const std::string& path, char separator = '/');
// Double-click texts of the path labels.
std::string SourcePathBoxText(const DocumentState& doc);
// saved: the target has been written (the label shows documentName); otherwise
// target is the location it will be saved to.
std::string TargetPathBoxText(const std::string& target, bool saved);

// The selection length label.
struct SelectionLengthText {
  bool visible = false;  // hidden without a selection
  std::string text = kNoSelectionLengthText;
};
SelectionLengthText SelectionLength(const DocumentState& doc, const TextFits& fits = {});

// The frame information of EditList position f, or nothing when f is outside the edit.
std::optional<std::string> FrameInfoText(const DocumentState& doc, int32_t f);

// Progress blocks 0..56 for progress 0..1.
constexpr int kProgressBlocks = 56;
int ProgressBlockCount(double fraction);

}  // namespace quorvel
