#include "ui/strip_widgets.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "core/document_ops.h"
#include "core/edit_ops.h"

namespace quorvel {

namespace {

constexpr int kVisibleFrames = 84;
constexpr int kPixelsPerFrame = 5;

constexpr std::array<QRgb, 17> kBaseColours = {
    0xE2E2E2, 0xE4981C, 0xE45D1C, 0xE41C63, 0xE41C9A, 0xD91CE4, 0x9D1CE4, 0x5D1DE3, 0x3159E3,
    0x1EA3E2, 0x1CE4D9, 0x1CE498, 0x1CE45D, 0x99E21E, 0xCAE222, 0xA8A87E, 0xFFFF00};

int LevelToHeight(int level) {
  if (level <= 0) return 0;
  if (level <= 31) return 1;
  if (level <= 63) return 2;
  if (level <= 95) return 3;
  if (level <= 111) return 4;
  if (level <= 128) return 5;
  if (level <= 143) return 6;
  if (level <= 151) return 7;
  if (level <= 207) return 8 + (level - 152) / 7;
  return 16;
}

// Round half to even, as the strip's geometry is specified.
int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

}  // namespace

const QPixmap& FrameShades::shade(int index, qreal dpr) {
  if (dpr != dpr_) {
    dpr_ = dpr;
    for (size_t i = 0; i < pixmaps_.size(); ++i) {
      QPixmap pm(QSize(4, 16) * dpr);
      pm.setDevicePixelRatio(dpr);
      QPainter p(&pm);
      QColor base = QColor::fromRgb(kBaseColours[i]);
      for (int row = 0; row < 16; ++row) {
        QColor c = base;
        if (row == 0) {
          c = QColor((base.red() + 255) / 2, (base.green() + 255) / 2, (base.blue() + 255) / 2);
        } else if (row >= 7) {
          int keep = 100 - (row - 6) * 6;  // 94% .. 46%
          c = QColor(base.red() * keep / 100, base.green() * keep / 100, base.blue() * keep / 100);
        }
        p.fillRect(0, row, 4, 1, c);
      }
      pixmaps_[i] = pm;
    }
  }
  return pixmaps_[static_cast<size_t>(std::clamp(index, 0, 16))];
}

bool MoveView(DocumentState& doc, int32_t newStart) {
  int32_t before = doc.viewStart;
  RestoreViewStart(doc, newStart);
  if (doc.viewStart != before) doc.stripLabelPos = -1;
  return doc.viewStart != before;
}

StripWidget::StripWidget(Context& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
  setGeometry(kOriginX, kOriginY, 431, 36);
  setObjectName(QStringLiteral("frameStrip"));
  setAccessibleName(QStringLiteral("frame strip"));
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void StripWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const DocumentState& doc = ctx_.doc;
  // Client coordinates from here on.
  p.translate(-kOriginX, -kOriginY);
  // Sunken border around the strip.
  QRect strip(kStripLeft, kStripTop, kStripWidth, kStripHeight);
  QRect outer = strip.adjusted(-2, -2, 2, 2);
  p.fillRect(outer.left(), outer.top(), outer.width(), 2, palette().color(QPalette::Dark));
  p.fillRect(outer.left(), outer.top(), 2, outer.height(), palette().color(QPalette::Dark));
  p.fillRect(outer.left(), outer.bottom() - 1, outer.width(), 2, palette().color(QPalette::Light));
  p.fillRect(outer.right() - 1, outer.top(), 2, outer.height(), palette().color(QPalette::Light));

  p.fillRect(strip, Qt::black);
  bool open = doc.loaded && doc.editCount > 0;
  if (open) {
    p.save();
    p.translate(kStripLeft, kStripTop);
    // Cursor or selection band.
    int x1 = 0;
    int x2 = 0;
    if (doc.selectionExists) {
      int32_t lower = std::min(doc.cursor, doc.selectionEnd);
      int32_t upper = std::max(doc.cursor, doc.selectionEnd);
      x1 = static_cast<int>(std::clamp<int64_t>(int64_t{5} * (lower - doc.viewStart) + 1, -1000, 100000));
      x2 = static_cast<int>(std::clamp<int64_t>(int64_t{5} * (upper - doc.viewStart) + 2, -1000, 100000));
      if (x1 == 2) x1 = 1;
    } else {
      x1 = static_cast<int>(std::clamp<int64_t>(int64_t{5} * (doc.cursor - doc.viewStart), -1000, 100000));
      x2 = x1 + 3;
    }
    x1 = std::clamp(x1, 0, kStripWidth);
    if (x2 > kStripWidth) x2 = kStripWidth;
    if (x2 < 0) x2 = 0;
    if (x1 != x2 && doc.selectionExists) {
      if (x1 == 1) x1 = 0;
      if (x2 == kStripWidth - 1) x2 = kStripWidth;
    }
    if (x2 > x1) p.fillRect(x1, 0, x2 - x1, kStripHeight, QColor(0x80, 0x80, 0x80));
    // Frame columns.
    qreal dpr = devicePixelRatioF();
    for (int i = 0; i < kVisibleFrames; ++i) {
      int32_t f = doc.viewStart + i;
      if (f >= doc.editCount) break;
      int32_t ref = doc.ref[static_cast<size_t>(f)];
      if (ref < 0 || ref >= doc.frameTableCount) continue;  // generated silence is not drawn
      const frametype& rec = doc.frames[static_cast<size_t>(ref)];
      int x = kPixelsPerFrame * i + 2;
      if (rec.spec != 0) {
        p.drawPixmap(x, 3, shades_.shade(FrameShades::kInfoFrame, dpr));
        continue;
      }
      int level = (doc.gainLeft[static_cast<size_t>(f)] + doc.gainRight[static_cast<size_t>(f)]) / 2 + rec.amplify0;
      int h = LevelToHeight(std::clamp(level, 0, 255));
      if (h == 0) continue;
      const QPixmap& pm = shades_.shade(rec.kbps, dpr);
      p.drawPixmap(QRectF(x, 19 - h, 4, h), pm, QRectF(0, (16 - h) * dpr, 4 * dpr, h * dpr));
    }
    p.restore();

    // Indicators under the strip.
    QColor mark = palette().color(QPalette::WindowText);
    auto xOf = [&](int32_t pos) { return kStripLeft + 5 * (pos - doc.viewStart) + 1; };
    if (doc.selectionExists) {
      int32_t lower = std::min(doc.cursor, doc.selectionEnd);
      int32_t upper = std::max(doc.cursor, doc.selectionEnd);
      if (doc.viewStart < upper && doc.viewStart + 83 >= lower) {
        int from = lower <= doc.viewStart ? kStripLeft : xOf(lower) - 1;
        int to = upper > doc.viewStart + 83 ? kStripLeft + kStripWidth : xOf(upper) + 2;
        p.fillRect(from, kStripTop + kStripHeight + 4, std::max(1, to - from), 2, mark);
      }
    } else if (doc.cursor >= doc.viewStart && doc.cursor <= doc.viewStart + 84) {
      int x = xOf(doc.cursor) - 2;
      QPolygon tri;
      tri << QPoint(x, kStripTop + kStripHeight + 8) << QPoint(x + 2, kStripTop + kStripHeight + 3)
          << QPoint(x + 4, kStripTop + kStripHeight + 8);
      p.setPen(Qt::NoPen);
      p.setBrush(mark);
      p.drawPolygon(tri);
    }
  }
}

bool StripWidget::onStrip(QPoint client) const {
  return client.y() >= kStripTop + 1 && client.y() <= kStripTop + 28 && client.x() >= kStripLeft &&
         client.x() < kStripLeft + kStripWidth && ctx_.doc.loaded && ctx_.doc.editCount > 0;
}

int32_t StripWidget::boundaryAt(int clientX) const {
  int32_t p = ctx_.doc.viewStart + (clientX - kStripLeft) / kPixelsPerFrame;
  return std::clamp(p, 0, ctx_.doc.editCount);
}

void StripWidget::mousePressEvent(QMouseEvent* event) {
  pressedOnStrip_ = false;
  if (ctx_.script.active) return;
  if (ignoreNextPress_) {
    ignoreNextPress_ = false;
    return;
  }
  QPoint client = event->position().toPoint() + QPoint(kOriginX, kOriginY);
  if (!onStrip(client) || event->button() == Qt::MiddleButton || NotReady(ctx_)) return;
  DocumentState& doc = ctx_.doc;
  hoverFrame_ = doc.viewStart + std::clamp((client.x() - 32) / kPixelsPerFrame, 0, 83);
  int32_t p = boundaryAt(client.x());
  bool extend = event->button() == Qt::RightButton ||
                (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier));
  if (extend) {
    if (p != doc.cursor) {
      doc.selectionEnd = p;
      SetSelectionExists(doc, true);
    }
  } else if (event->button() == Qt::LeftButton) {
    doc.cursor = p;
    SetSelectionExists(doc, false);
    pressedOnStrip_ = true;
  }
  emit changed();
}

void StripWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (ctx_.script.active || !pressedOnStrip_) return;
  pressedOnStrip_ = false;
  QPoint client = event->position().toPoint() + QPoint(kOriginX, kOriginY);
  if (event->button() != Qt::LeftButton || (event->modifiers() & Qt::ShiftModifier)) return;
  if (!ctx_.doc.loaded || ctx_.doc.editCount <= 0 || NotReady(ctx_)) return;
  int clampedX = std::clamp(client.x(), kStripLeft, kStripLeft + kStripWidth - 1);
  int32_t p = boundaryAt(clampedX);
  DocumentState& doc = ctx_.doc;
  if (p != doc.cursor) {
    doc.selectionEnd = p;
    SetSelectionExists(doc, true);
    emit changed();
  }
}

void StripWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  QPoint client = event->position().toPoint() + QPoint(kOriginX, kOriginY);
  if (!onStrip(client) || ctx_.script.active) return;
  ignoreNextPress_ = true;
  pressedOnStrip_ = false;
  if (hoverFrame_ >= 0 && hoverFrame_ < ctx_.doc.editCount) emit frameInfoRequested(hoverFrame_);
}

ScrollWidget::ScrollWidget(Context& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
  setGeometry(kOriginX, kOriginY, kTroughRight - kTroughLeft + 2 * kScrollButtonWidth + 1,
              kTroughBottom - kTroughTop + 1);
  setObjectName(QStringLiteral("frameScrollBar"));
  setAccessibleName(QStringLiteral("frame scroll bar"));
  timer_.setSingleShot(false);
  connect(&timer_, &QTimer::timeout, this, &ScrollWidget::repeatTick);
}

int ScrollWidget::thumbWidth() const {
  const DocumentState& doc = ctx_.doc;
  if (doc.viewStartMax <= 0 || doc.editCount <= 0) return kThumbSpan;
  return std::max(kSmallestThumb, RoundEven(84.0 / doc.editCount * kThumbSpan));
}

int ScrollWidget::thumbLeft() const {
  const DocumentState& doc = ctx_.doc;
  if (doc.viewStartMax <= 0) return kTroughLeft;
  int w = thumbWidth();
  return kTroughLeft + RoundEven(static_cast<double>(kThumbSpan - w) * doc.viewStart / doc.viewStartMax);
}

bool ScrollWidget::leftButtonEnabled() const { return ctx_.doc.viewStartMax > 0 && ctx_.doc.viewStart > 0; }
bool ScrollWidget::rightButtonEnabled() const {
  return ctx_.doc.viewStartMax > 0 && ctx_.doc.viewStart < ctx_.doc.viewStartMax;
}

void ScrollWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.translate(-kOriginX, -kOriginY);
  const DocumentState& doc = ctx_.doc;
  QColor trough = palette().color(QPalette::Mid).lighter(130);
  QColor paged = palette().color(QPalette::Shadow);
  int h = kTroughBottom - kTroughTop + 1;
  QRect troughRect(kTroughLeft, kTroughTop, kTroughRight - kTroughLeft + 1, h);
  p.fillRect(troughRect, trough);
  auto raised = [&](QRect r, bool enabled) {
    p.fillRect(r, palette().color(QPalette::Button));
    p.fillRect(r.left(), r.top(), r.width(), 1, palette().color(QPalette::Light));
    p.fillRect(r.left(), r.top(), 1, r.height(), palette().color(QPalette::Light));
    p.fillRect(r.left(), r.bottom(), r.width(), 1, palette().color(QPalette::Dark));
    p.fillRect(r.right(), r.top(), 1, r.height(), palette().color(QPalette::Dark));
    (void)enabled;
  };
  // Scroll buttons with their arrows.
  QRect leftButton(kTroughLeft - kScrollButtonWidth, kTroughTop, kScrollButtonWidth, h);
  QRect rightButton(kTroughRight + 1, kTroughTop, kScrollButtonWidth, h);
  for (int side = 0; side < 2; ++side) {
    QRect r = side == 0 ? leftButton : rightButton;
    bool enabled = side == 0 ? leftButtonEnabled() : rightButtonEnabled();
    raised(r, enabled);
    QColor arrow = palette().color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
    int cx = r.center().x();
    int cy = r.center().y();
    QPolygon tri;
    if (side == 0) {
      tri << QPoint(cx + 2, cy - 4) << QPoint(cx - 2, cy) << QPoint(cx + 2, cy + 4);
    } else {
      tri << QPoint(cx - 2, cy - 4) << QPoint(cx + 2, cy) << QPoint(cx - 2, cy + 4);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(arrow);
    p.drawPolygon(tri);
  }
  if (doc.viewStartMax <= 0) return;
  int left = thumbLeft();
  int w = thumbWidth();
  if (pagingSide_ == Paging::kLeft) p.fillRect(kTroughLeft, kTroughTop, left - kTroughLeft, h, paged);
  if (pagingSide_ == Paging::kRight) p.fillRect(left + w, kTroughTop, kTroughRight + 1 - (left + w), h, paged);
  raised(QRect(left, kTroughTop, w, h), true);
}

void ScrollWidget::scrollBy(int32_t frames) {
  if (MoveView(ctx_.doc, ctx_.doc.viewStart + frames)) emit changed();
  update();
}

void ScrollWidget::stopRepeat() {
  timer_.stop();
  buttonRepeat_.stop();
  paging_.stop();
  pagingSide_ = Paging::kNone;
  update();
}

void ScrollWidget::repeatTick() {
  if (buttonRepeat_.running()) {
    if (buttonRepeat_.tick()) scrollBy(repeatStep_);
    timer_.setInterval(buttonRepeat_.interval());
  } else if (paging_.running()) {
    if (paging_.tick()) scrollBy(pagingSide_ == Paging::kLeft ? -84 : 84);
    timer_.setInterval(paging_.interval());
  }
}

int ScrollWidget::repeatInterval() const {
  return buttonRepeat_.running() ? buttonRepeat_.interval() : paging_.interval();
}

void ScrollWidget::mousePressEvent(QMouseEvent* event) {
  if (ctx_.script.active || event->button() != Qt::LeftButton) return;
  QPoint c = event->position().toPoint() + QPoint(kOriginX, kOriginY);
  DocumentState& doc = ctx_.doc;
  if (c.x() < kTroughLeft) {
    if (!leftButtonEnabled()) return;
    repeatStep_ = -1;
    scrollBy(-1);
    buttonRepeat_.start();
    timer_.start(buttonRepeat_.interval());
    return;
  }
  if (c.x() > kTroughRight) {
    if (!rightButtonEnabled()) return;
    repeatStep_ = 1;
    scrollBy(1);
    buttonRepeat_.start();
    timer_.start(buttonRepeat_.interval());
    return;
  }
  if (doc.viewStartMax <= 0) return;
  int left = thumbLeft();
  int w = thumbWidth();
  if (c.x() < left) {
    pagingSide_ = Paging::kLeft;
    scrollBy(-84);
    paging_.start();
    timer_.start(paging_.interval());
  } else if (c.x() >= left + w) {
    pagingSide_ = Paging::kRight;
    scrollBy(84);
    paging_.start();
    timer_.start(paging_.interval());
  } else {
    dragging_ = true;
    dragOffset_ = c.x() - left;
  }
}

void ScrollWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return;
  QPoint c = event->position().toPoint() + QPoint(kOriginX, kOriginY);
  if (c.x() < kTroughLeft - 24 || c.x() > kTroughRight + 24) {
    dragging_ = false;
    return;
  }
  DocumentState& doc = ctx_.doc;
  int w = thumbWidth();
  int left = std::clamp(c.x() - dragOffset_, kTroughLeft, kTroughLeft + kThumbSpan - w);
  int32_t start = RoundEven(static_cast<double>(doc.viewStartMax) * (left - kTroughLeft) / (kThumbSpan - w));
  scrollBy(start - doc.viewStart);
}

void ScrollWidget::mouseReleaseEvent(QMouseEvent*) {
  dragging_ = false;
  stopRepeat();
}

}  // namespace quorvel
