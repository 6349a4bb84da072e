#include "ui/progress_area.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "view/info_texts.h"

namespace quorvel {

// The area's client rectangle is left 100, top 83, 284 x 20; the widget also
// covers the 4-pixel frame around it.
ProgressArea::ProgressArea(QWidget* parent) : QWidget(parent) {
  setGeometry(96, 79, 292, 28);
  setObjectName(QStringLiteral("progress"));
  setAccessibleName(QStringLiteral("progress"));
  hide();
}

int ProgressArea::BlocksFor(double fraction) { return ProgressBlockCount(fraction); }

void ProgressArea::setProgress(double fraction) {
  int n = BlocksFor(fraction);
  if (n == blocks_) return;
  blocks_ = n;
  repaint();
  NotifyAccessibleValue(this);
}

AccessibleValue ProgressArea::accessibleValue() const {
  int percent = blocks_ * 100 / kMaxBlocks;
  return {static_cast<double>(percent), 0, 100, QStringLiteral("%1 %").arg(percent)};
}

void ProgressArea::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Window));
  QColor dark = palette().color(QPalette::Dark);
  QColor light = palette().color(QPalette::Light);
  p.fillRect(0, 0, width(), 4, dark);
  p.fillRect(0, 0, 4, height(), dark);
  p.fillRect(0, height() - 4, width(), 4, light);
  p.fillRect(width() - 4, 0, 4, height(), light);
  for (int k = 0; k < blocks_; ++k) {
    // Client x = 101 + 5k, y = 84.
    p.fillRect(101 + 5 * k - 96, 84 - 79, 4, 16, QColor(0x11, 0x74, 0x0E));
  }
}

}  // namespace quorvel
