#include "view/strip_model.h"

#include <algorithm>
#include <cmath>

#include "core/document_ops.h"
#include "core/mpeg_header.h"

namespace quorvel {

namespace {

// Upper level of each height 0..15; anything above the last is 16.
constexpr std::array<int, 16> kHeightTop = {0, 31, 63, 95, 111, 128, 143, 151, 158, 165, 172, 179, 186, 193, 200, 207};

// Rounds halves to even, as the scroll bar's arithmetic does.
int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

std::string LabelTime(double seconds) { return TimeText(seconds, 2); }

}  // namespace

int LevelToHeight(int level) {
  level = std::clamp(level, 0, 255);
  auto it = std::lower_bound(kHeightTop.begin(), kHeightTop.end(), level);
  return static_cast<int>(it - kHeightTop.begin());
}

int StripLevelAt(const DocumentState& doc, int32_t p) {
  if (p < 0 || p >= doc.editCount || static_cast<size_t>(p) >= doc.ref.size() ||
      static_cast<size_t>(p) >= doc.gainLeft.size() || static_cast<size_t>(p) >= doc.gainRight.size()) {
    return 0;
  }
  const int32_t r = doc.ref[static_cast<size_t>(p)];
  if (r < 0 || static_cast<size_t>(r) >= doc.frames.size()) return 0;
  const int gains = (doc.gainLeft[static_cast<size_t>(p)] + doc.gainRight[static_cast<size_t>(p)]) / 2;
  return std::clamp(gains + doc.frames[static_cast<size_t>(r)].amplify0, 0, 255);
}

int BoundaryX(int32_t p, int32_t viewStart) {
  return kStripLeft + kPixelsPerFrame * static_cast<int>(p - viewStart) + 1;
}

int32_t ViewStartMaxFor(int32_t editCount) { return editCount > kVisibleFrames ? editCount - kVisibleFrames : 0; }

namespace {

StripBand BuildBand(const DocumentState& doc, int32_t viewStart) {
  StripBand band;
  band.visible = true;
  // Positions far outside the view are limited first so the pixel arithmetic stays in int.
  auto rel = [viewStart](int32_t p) {
    return static_cast<int>(std::clamp<int64_t>(int64_t{p} - viewStart, -1000, 1000));
  };
  int x1;
  int x2;
  if (doc.selectionExists) {
    const int32_t lower = std::min(doc.cursor, doc.selectionEnd);
    const int32_t upper = std::max(doc.cursor, doc.selectionEnd);
    x1 = kPixelsPerFrame * rel(lower) + 1;
    x2 = kPixelsPerFrame * rel(upper) + 2;
    if (x1 == 2) x1 = 1;
  } else {
    x1 = kPixelsPerFrame * rel(doc.cursor);
    x2 = x1 + 3;
  }
  x1 = std::clamp(x1, 0, kStripWidth);
  if (x2 > kStripWidth) x2 = kStripWidth;
  if (x2 < 0) x2 = 0;
  if (x1 != x2 && doc.selectionExists) {
    if (x1 == 1) x1 = 0;
    if (x2 == kStripWidth - 1) x2 = kStripWidth;
  }
  band.x1 = x1;
  band.x2 = x2;
  return band;
}

}  // namespace

std::array<StripLabel, 3> BuildStripLabels(const DocumentState& doc, int32_t viewStart) {
  std::array<StripLabel, 3> labels;
  labels[0].centreX = kStripLeft + 4;
  labels[1].centreX = kStripLeft + kStripWidth / 2;
  labels[2].centreX = kStripLeft + kStripWidth - 4;
  labels[0].text = LabelTime(TimeAtFrame(doc, viewStart));
  constexpr int32_t kMiddle = kVisibleFrames / 2 - 1;
  if (viewStart + kMiddle < doc.editCount) labels[1].text = LabelTime(TimeAtFrame(doc, viewStart + kMiddle, true));
  if (viewStart + kVisibleFrames - 1 < doc.editCount) {
    labels[2].text = LabelTime(TimeAtFrame(doc, viewStart + kVisibleFrames - 1));
  }
  return labels;
}

CursorIndicators BuildCursorIndicators(const DocumentState& doc, int32_t viewStart) {
  CursorIndicators ind;
  if (!doc.loaded) return ind;
  const int32_t lastShown = viewStart + kVisibleFrames - 1;
  if (doc.selectionExists) {
    const int32_t lower = std::min(doc.cursor, doc.selectionEnd);
    const int32_t upper = std::max(doc.cursor, doc.selectionEnd);
    if (viewStart < upper && lastShown >= lower) {
      ind.state = CursorIndicator::kOnScreen;
      ind.selectionLine = true;
      ind.lineX1 = lower <= viewStart ? kStripLeft : BoundaryX(lower, viewStart) - 1;
      ind.lineX2 = upper > lastShown ? kStripLeft + kStripWidth : BoundaryX(upper, viewStart) + 2;
    } else if (viewStart < upper) {
      ind.state = CursorIndicator::kRightArrow;
    } else {
      ind.state = CursorIndicator::kLeftArrow;
    }
  } else if (doc.cursor < viewStart) {
    ind.state = CursorIndicator::kLeftArrow;
  } else if (doc.cursor <= viewStart + kVisibleFrames) {
    ind.state = CursorIndicator::kOnScreen;
    ind.cursorMark = true;
    ind.cursorMarkX = BoundaryX(doc.cursor, viewStart) - 2;
  } else {
    ind.state = CursorIndicator::kRightArrow;
  }
  ind.findVisible = ind.state != CursorIndicator::kOnScreen;
  return ind;
}

StripModel BuildStripModel(const DocumentState& doc, int32_t viewStart) {
  StripModel m;
  viewStart = std::clamp(viewStart, 0, ViewStartMaxFor(doc.editCount));
  m.viewStart = viewStart;
  m.documentOpen = doc.loaded;
  m.labels = BuildStripLabels(doc, viewStart);
  if (!m.documentOpen) return m;
  m.band = BuildBand(doc, viewStart);
  m.indicators = BuildCursorIndicators(doc, viewStart);
  const int32_t end = std::min<int32_t>(doc.editCount, viewStart + kVisibleFrames);
  const auto entries =
      static_cast<int32_t>(std::min({doc.ref.size(), doc.gainLeft.size(), doc.gainRight.size()}));
  for (int32_t f = viewStart; f < end && f < entries; ++f) {
    StripColumn& c = m.columns[static_cast<size_t>(m.columnCount++)];
    const int i = static_cast<int>(f - viewStart);
    c.frame = f;
    c.x = kPixelsPerFrame * i + 2;
    const int32_t r = doc.ref[static_cast<size_t>(f)];
    if (r < 0 || static_cast<size_t>(r) >= doc.frames.size()) {
      c.blank = true;
      c.picture = BitrateAt(doc, f);
      continue;
    }
    const frametype& rec = doc.frames[static_cast<size_t>(r)];
    c.inserted = rec.fromfile != 0;
    if (rec.spec != 0) {
      c.picture = kInfoFramePicture;
      c.height = kPictureHeight;
      c.y = 3;
      c.sourceRow = 0;
    } else {
      c.picture = rec.kbps & 15;
      c.height = LevelToHeight(StripLevelAt(doc, f));
      c.y = 19 - c.height;
      c.sourceRow = kPictureHeight - c.height;
    }
  }
  return m;
}

ScrollThumb ScrollThumbOf(int32_t editCount, int32_t viewStart, int32_t viewStartMax) {
  ScrollThumb t;
  if (viewStartMax <= 0 || editCount <= 0) return t;
  t.active = true;
  t.width = std::max(RoundEven(static_cast<double>(kVisibleFrames) / editCount * kTroughSpan), kSmallestThumb);
  if (viewStart <= 0) {
    t.left = kTroughLeft;
    t.rightButtonEnabled = true;
  } else if (viewStart >= viewStartMax) {
    t.left = kTroughLeft + kTroughSpan - t.width;
    t.leftButtonEnabled = true;
  } else {
    t.left = kTroughLeft + RoundEven(static_cast<double>(kTroughSpan - t.width) * viewStart / viewStartMax);
    t.leftButtonEnabled = true;
    t.rightButtonEnabled = true;
  }
  return t;
}

int ThumbLeftForDrag(int mouseX, int dragOffset, int thumbWidth) {
  return std::clamp(mouseX - dragOffset, kTroughLeft, kTroughLeft + kTroughSpan - thumbWidth);
}

bool ThumbDragContinues(int mouseX) {
  return mouseX >= kTroughLeft - kThumbDragMargin && mouseX <= kTroughRight + kThumbDragMargin;
}

int32_t ViewStartForThumb(int thumbLeft, int thumbWidth, int32_t viewStartMax) {
  const int span = kTroughSpan - thumbWidth;
  if (span <= 0 || viewStartMax <= 0) return 0;
  thumbLeft = std::clamp(thumbLeft, kTroughLeft, kTroughLeft + span);
  return std::clamp(RoundEven(static_cast<double>(viewStartMax) * (thumbLeft - kTroughLeft) / span), 0, viewStartMax);
}

TroughPart HitTestTrough(const ScrollThumb& thumb, int x, int y) {
  if (!thumb.active || y < kTroughTop || y > kTroughBottom || x < kTroughLeft || x > kTroughRight) {
    return TroughPart::kNone;
  }
  if (x < thumb.left) return TroughPart::kLeftOfThumb;
  if (x >= thumb.left + thumb.width) return TroughPart::kRightOfThumb;
  return TroughPart::kThumb;
}

StripHit HitTestStrip(const DocumentState& doc, int32_t viewStart, int x, int y) {
  StripHit hit;
  if (y < kStripTop + 1 || y > kStripTop + kStripHitHeight || x < kStripLeft || x >= kStripLeft + kStripWidth ||
      doc.editCount <= 0) {
    return hit;
  }
  hit.onStrip = true;
  // x is at least kStripLeft here, so the divisions below do not meet negative values
  // except (x - 32) at the first two pixels, which truncates to 0 as the clamp does.
  hit.hoverFrame = viewStart + std::clamp((x - kStripLeft - 2) / kPixelsPerFrame, 0, kVisibleFrames - 1);
  hit.boundary = std::clamp(viewStart + (x - kStripLeft) / kPixelsPerFrame, 0, doc.editCount);
  return hit;
}

int32_t FindViewStart(const DocumentState& doc) {
  int32_t v = doc.cursor - kVisibleFrames / 2;
  if (doc.selectionExists) {
    const int32_t lower = std::min(doc.cursor, doc.selectionEnd);
    const int32_t n = std::max(doc.cursor, doc.selectionEnd) - lower;
    if (n > 0 && n <= kVisibleFrames) v = lower + n / 2 - kVisibleFrames / 2;
  }
  return std::clamp(v, 0, ViewStartMaxFor(doc.editCount));
}

}  // namespace quorvel
