#pragma once
// The frame strip and its scroll bar as plain data. The window calls
// BuildStripModel after every change of the document, the selection or the view
// and paints exactly what the model holds; it asks ScrollThumbOf for the scroll
// bar and turns mouse positions into frames and boundaries with the hit tests.
// Nothing here draws or includes a toolkit.
//
// Coordinates: strip picture x runs 0..kStripWidth from the strip's left edge;
// window client x = kStripLeft + picture x. Everything named "window" is in
// client coordinates.

#include <array>
#include <cstdint>
#include <string>

#include "core/document.h"

namespace quorvel {

constexpr int kVisibleFrames = 84;
constexpr int kPixelsPerFrame = 5;
constexpr int kStripLeft = 30;
constexpr int kStripTop = 294;
constexpr int kStripWidth = 423;
constexpr int kStripHeight = 20;
// A press counts as on the strip from kStripTop + 1 to kStripTop + kStripHitHeight.
constexpr int kStripHitHeight = 28;
constexpr int kTroughLeft = 42;
constexpr int kTroughRight = 437;
constexpr int kTroughTop = 329;
constexpr int kTroughBottom = 344;
constexpr int kTroughSpan = 396;  // pixels the thumb and the trough share
constexpr int kSmallestThumb = 15;
// A thumb drag continues while the mouse stays this close to the trough's x range.
constexpr int kThumbDragMargin = 24;

// Frame pictures: one per bitrate index 0..15, and one for information frames.
constexpr int kPictureCount = 17;
constexpr int kInfoFramePicture = 16;
constexpr int kPictureWidth = 4;
constexpr int kPictureHeight = 16;
// Base colours (RGB) of the pictures, by picture index.
constexpr std::array<uint32_t, kPictureCount> kPictureBaseColour = {
    0xE2E2E2, 0xE4981C, 0xE45D1C, 0xE41C63, 0xE41C9A, 0xD91CE4, 0x9D1CE4, 0x5D1DE3, 0x3159E3,
    0x1EA3E2, 0x1CE4D9, 0x1CE498, 0x1CE45D, 0x99E21E, 0xCAE222, 0xA8A87E, 0xFFFF00};
constexpr uint32_t kBandColour = 0x808080;

// Column height 0..16 of a frame level 0..255 (levels outside are clamped).
int LevelToHeight(int level);
// The level drawn for the frame at EditList position p: the mean of its two gain
// changes (rounded towards zero) plus amplify0, clamped to 0..255; 0 for a blank frame.
int StripLevelAt(const DocumentState& doc, int32_t p);

// One column of the strip.
struct StripColumn {
  int32_t frame = 0;     // EditList position
  int picture = 0;       // 0..15 bitrate index, kInfoFramePicture for an information frame
  int height = 0;        // rows drawn, 0..16 (an information frame: always 16)
  int x = 0;             // picture x of the column's left edge (5 i + 2)
  int y = 0;             // picture y of its top row (3 for an information frame, else 19 - height)
  int sourceRow = 0;     // first row of the picture that is drawn (16 - height)
  bool blank = false;    // generated silence: not drawn
  bool inserted = false; // the frame comes from an inserted file
};

// The grey band of the cursor or the selection, picture x1..x2 inclusive over the
// strip's full height. Not drawn when no document is open.
struct StripBand {
  bool visible = false;
  int x1 = 0;
  int x2 = 0;
};

// The three time labels ("0.00 s", "1:05.20 s"), each centred at centreX (window).
struct StripLabel {
  std::string text;
  int centreX = 0;
};

enum class CursorIndicator {
  kNone,        // no document
  kLeftArrow,   // the cursor or selection lies left of the view
  kRightArrow,  // right of it
  kOnScreen,    // visible: "on screen" shows
};

struct CursorIndicators {
  CursorIndicator state = CursorIndicator::kNone;
  bool cursorMark = false;    // the short marker without a selection
  int cursorMarkX = 0;        // window x of the marker
  bool selectionLine = false; // the line under the visible part of the selection
  int lineX1 = 0;             // window x range of that line
  int lineX2 = 0;
  bool findVisible = false;   // "fi&nd" shows exactly when "on screen" does not
};

struct StripModel {
  bool documentOpen = false;
  int32_t viewStart = 0;
  int columnCount = 0;  // columns[0..columnCount-1] hold frames
  std::array<StripColumn, kVisibleFrames> columns{};
  StripBand band;
  std::array<StripLabel, 3> labels;  // left, middle, right
  CursorIndicators indicators;
};

// Window x of boundary p for a view starting at viewStart.
int BoundaryX(int32_t p, int32_t viewStart);
// viewStartMax for a document of editCount frames.
int32_t ViewStartMaxFor(int32_t editCount);

// The strip for the view starting at viewStart (clamped to the document).
// documentOpen is the window's notion of an open document (doc.loaded, or an
// edit with frames).
StripModel BuildStripModel(const DocumentState& doc, int32_t viewStart);
// Only the labels, for a window that redraws them when viewStart changed.
std::array<StripLabel, 3> BuildStripLabels(const DocumentState& doc, int32_t viewStart);
CursorIndicators BuildCursorIndicators(const DocumentState& doc, int32_t viewStart);

struct ScrollThumb {
  bool active = false;  // viewStartMax > 0; otherwise the whole trough is plain
  int left = kTroughLeft;
  int width = kTroughSpan;
  bool leftButtonEnabled = false;
  bool rightButtonEnabled = false;
};
ScrollThumb ScrollThumbOf(int32_t editCount, int32_t viewStart, int32_t viewStartMax);

// viewStart for a thumb dragged to thumbLeft (clamped to the trough).
int32_t ViewStartForThumb(int thumbLeft, int thumbWidth, int32_t viewStartMax);
// Thumb left for a drag: mouse x minus the offset taken at the press, clamped to the trough.
int ThumbLeftForDrag(int mouseX, int dragOffset, int thumbWidth);
// A drag ends when the mouse leaves the trough's x range by more than kThumbDragMargin.
bool ThumbDragContinues(int mouseX);

enum class TroughPart { kNone, kLeftOfThumb, kThumb, kRightOfThumb };
// Where a press at window (x, y) falls on the scroll bar.
TroughPart HitTestTrough(const ScrollThumb& thumb, int x, int y);

// A press on the strip.
struct StripHit {
  bool onStrip = false;    // within the strip's press area
  int32_t boundary = 0;    // viewStart + (x - 30) div 5, clamped to 0..editCount
  int32_t hoverFrame = -1; // viewStart + clamp((x - 32) div 5, 0, 83)
};
StripHit HitTestStrip(const DocumentState& doc, int32_t viewStart, int x, int y);

// The view start that "fi&nd" goes to.
int32_t FindViewStart(const DocumentState& doc);

}  // namespace quorvel
