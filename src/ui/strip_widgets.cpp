#include "ui/strip_widgets.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "core/document_ops.h"
#include "core/edit_ops.h"
#include "view/strip_model.h"
#include "view/view_state.h"

namespace quorvel {

const QPixmap& FrameShades::shade(int index, qreal dpr) {
  if (dpr != dpr_) {
    dpr_ = dpr;
    for (size_t i = 0; i < pixmaps_.size(); ++i) {
      QPixmap pm(QSize(4, 16) * dpr);
      pm.setDevicePixelRatio(dpr);
      QPainter p(&pm);
      QColor base = QColor::fromRgb(kPictureBaseColour[i]);
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
  return pixmaps_[static_cast<size_t>(std::clamp(index, 0, kPictureCount - 1))];
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
  StripModel model = BuildStripModel(doc, doc.viewStart);
  if (!model.documentOpen) return;
  p.save();
  p.translate(kStripLeft, kStripTop);
  if (model.band.visible) {
    p.fillRect(model.band.x1, 0, model.band.x2 - model.band.x1 + 1, kStripHeight, QColor::fromRgb(kBandColour));
  }
  qreal dpr = devicePixelRatioF();
  for (int i = 0; i < model.columnCount; ++i) {
    const StripColumn& c = model.columns[static_cast<size_t>(i)];
    if (c.blank || c.height == 0) continue;
    const QPixmap& pm = shades_.shade(c.picture, dpr);
    p.drawPixmap(QRectF(c.x, c.y, kPictureWidth, c.height), pm,
                 QRectF(0, c.sourceRow * dpr, kPictureWidth * dpr, c.height * dpr));
  }
  p.restore();

  // Indicators under the strip.
  QColor mark = palette().color(QPalette::WindowText);
  const CursorIndicators& ind = model.indicators;
  if (ind.selectionLine) {
    p.fillRect(ind.lineX1, kStripTop + kStripHeight + 4, std::max(1, ind.lineX2 - ind.lineX1), 2, mark);
  }
  if (ind.cursorMark) {
    int x = ind.cursorMarkX;
    QPolygon tri;
    tri << QPoint(x, kStripTop + kStripHeight + 8) << QPoint(x + 2, kStripTop + kStripHeight + 3)
        << QPoint(x + 4, kStripTop + kStripHeight + 8);
    p.setPen(Qt::NoPen);
    p.setBrush(mark);
    p.drawPolygon(tri);
  }
}

void StripWidget::mousePressEvent(QMouseEvent* event) {
  pressedOnStrip_ = false;
  if (ctx_.script.active) return;
  if (view_.ignoreNextPress) {
    view_.ignoreNextPress = false;
    return;
  }
  QPoint client = event->position().toPoint() + QPoint(kOriginX, kOriginY);
  DocumentState& doc = ctx_.doc;
  StripHit hit = HitTestStrip(doc, doc.viewStart, client.x(), client.y());
  if (!hit.onStrip || event->button() == Qt::MiddleButton || NotReady(ctx_)) return;
  view_.hoverFrame = hit.hoverFrame;
  bool extend = event->button() == Qt::RightButton ||
                (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier));
  if (extend) {
    if (hit.boundary != doc.cursor) SetBoxPosition(doc, 1, hit.boundary);
  } else if (event->button() == Qt::LeftButton) {
    SetBoxPosition(doc, 0, hit.boundary);
    pressedOnStrip_ = true;
  }
  emit changed();
}

void StripWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (ctx_.script.active || !pressedOnStrip_) return;
  pressedOnStrip_ = false;
  if (event->button() != Qt::LeftButton || (event->modifiers() & Qt::ShiftModifier)) return;
  DocumentState& doc = ctx_.doc;
  if (NotReady(ctx_)) return;
  QPoint client = event->position().toPoint() + QPoint(kOriginX, kOriginY);
  // A release beyond the strip's ends counts at the nearest end.
  int x = std::clamp(client.x(), kStripLeft, kStripLeft + kStripWidth - 1);
  StripHit hit = HitTestStrip(doc, doc.viewStart, x, kStripTop + 1);
  if (hit.onStrip && hit.boundary != doc.cursor) {
    SetBoxPosition(doc, 1, hit.boundary);
    emit changed();
  }
}

void StripWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  QPoint client = event->position().toPoint() + QPoint(kOriginX, kOriginY);
  const DocumentState& doc = ctx_.doc;
  if (!HitTestStrip(doc, doc.viewStart, client.x(), client.y()).onStrip || ctx_.script.active) return;
  view_.ignoreNextPress = true;
  pressedOnStrip_ = false;
  if (view_.hoverFrame >= 0 && view_.hoverFrame < doc.editCount) emit frameInfoRequested(view_.hoverFrame);
}

AccessibleValue StripWidget::accessibleValue() const {
  const DocumentState& doc = ctx_.doc;
  if (!doc.loaded || doc.editCount <= 0) return {0, 0, 0, QStringLiteral("no file")};
  QString text = QStringLiteral("cursor at %1 s").arg(QString::fromStdString(PositionBoxText(doc, 0)));
  if (doc.selectionExists && doc.selectionEnd != doc.cursor) {
    text += QStringLiteral(", selection to %1 s").arg(QString::fromStdString(PositionBoxText(doc, 1)));
  }
  return {static_cast<double>(doc.cursor), 0, static_cast<double>(doc.editCount), text};
}

ScrollWidget::ScrollWidget(Context& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
  setGeometry(kOriginX, kOriginY, kTroughRight - kTroughLeft + 2 * kScrollButtonWidth + 1,
              kTroughBottom - kTroughTop + 1);
  setObjectName(QStringLiteral("frameScrollBar"));
  setAccessibleName(QStringLiteral("frame scroll bar"));
  timer_.setSingleShot(false);
  connect(&timer_, &QTimer::timeout, this, &ScrollWidget::repeatTick);
}

ScrollThumb ScrollWidget::thumb() const {
  const DocumentState& doc = ctx_.doc;
  return ScrollThumbOf(doc.editCount, doc.viewStart, doc.viewStartMax);
}

int ScrollWidget::thumbWidth() const { return thumb().width; }
int ScrollWidget::thumbLeft() const { return thumb().left; }
bool ScrollWidget::leftButtonEnabled() const { return thumb().leftButtonEnabled; }
bool ScrollWidget::rightButtonEnabled() const { return thumb().rightButtonEnabled; }

void ScrollWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.translate(-kOriginX, -kOriginY);
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
  ScrollThumb t = thumb();
  if (!t.active) return;
  int left = t.left;
  int w = t.width;
  if (view_.paging == Paging::kLeft) p.fillRect(kTroughLeft, kTroughTop, left - kTroughLeft, h, paged);
  if (view_.paging == Paging::kRight) p.fillRect(left + w, kTroughTop, kTroughRight + 1 - (left + w), h, paged);
  raised(QRect(left, kTroughTop, w, h), true);
}

void ScrollWidget::moved(bool changedView) {
  if (changedView) emit changed();
  update();
}

void ScrollWidget::stopRepeat() {
  timer_.stop();
  buttonRepeat_.stop();
  paging_.stop();
  view_.paging = Paging::kNone;
  update();
}

void ScrollWidget::repeatTick() {
  // A modal window took the mouse: the release that would stop the repeat never comes.
  if (QApplication::activeModalWidget() != nullptr) {
    stopRepeat();
    return;
  }
  if (buttonRepeat_.running()) {
    if (buttonRepeat_.tick()) moved(StepView(ctx_.doc, repeatRight_));
    timer_.setInterval(buttonRepeat_.interval());
  } else if (paging_.running()) {
    if (paging_.tick()) moved(PageView(ctx_.doc, view_.paging == Paging::kRight));
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
  ScrollThumb t = thumb();
  if (c.x() < kTroughLeft || c.x() > kTroughRight) {
    bool right = c.x() > kTroughRight;
    if (!(right ? t.rightButtonEnabled : t.leftButtonEnabled)) return;
    repeatRight_ = right;
    moved(StepView(doc, right));
    buttonRepeat_.start();
    timer_.start(buttonRepeat_.interval());
    return;
  }
  switch (HitTestTrough(t, c.x(), c.y())) {
    case TroughPart::kLeftOfThumb:
    case TroughPart::kRightOfThumb: {
      bool right = HitTestTrough(t, c.x(), c.y()) == TroughPart::kRightOfThumb;
      view_.paging = right ? Paging::kRight : Paging::kLeft;
      moved(PageView(doc, right));
      paging_.start();
      timer_.start(paging_.interval());
      break;
    }
    case TroughPart::kThumb:
      view_.thumbDrag = true;
      view_.dragOffset = c.x() - t.left;
      break;
    case TroughPart::kNone: break;
  }
}

void ScrollWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!view_.thumbDrag) return;
  QPoint c = event->position().toPoint() + QPoint(kOriginX, kOriginY);
  if (!ThumbDragContinues(c.x())) {
    view_.thumbDrag = false;
    return;
  }
  DocumentState& doc = ctx_.doc;
  int w = thumb().width;
  int left = ThumbLeftForDrag(c.x(), view_.dragOffset, w);
  moved(SetViewStart(doc, ViewStartForThumb(left, w, doc.viewStartMax)));
}

void ScrollWidget::mouseReleaseEvent(QMouseEvent*) {
  view_.thumbDrag = false;
  stopRepeat();
}

AccessibleValue ScrollWidget::accessibleValue() const {
  const DocumentState& doc = ctx_.doc;
  if (!doc.loaded || doc.editCount <= 0) return {0, 0, 0, QStringLiteral("no file")};
  const int32_t last = std::min(doc.viewStart + kVisibleFrames, doc.editCount);
  return {static_cast<double>(doc.viewStart), 0, static_cast<double>(ViewStartMaxFor(doc.editCount)),
          QStringLiteral("frames %1 to %2 of %3").arg(doc.viewStart + 1).arg(last).arg(doc.editCount)};
}

}  // namespace quorvel
