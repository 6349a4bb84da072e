#include "ui/legend_window.h"

#include <QPainter>

#include "core/mpeg_header.h"

namespace quorvel {

namespace {
constexpr int kRowHeight = 20;
constexpr int kColumns = 2;
constexpr int kRows = (kPictureCount + kColumns - 1) / kColumns;
}  // namespace

LegendWindow::LegendWindow(WindowPlace& place, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), ToolWindow(this, &place, Closing::kStays) {
  setObjectName(QStringLiteral("TFrameLegendForm"));
  setWindowTitle(QStringLiteral("Legend"));
  setAccessibleName(QStringLiteral("Legend"));
  setFixedSize(2 * 170 + 12, kRows * kRowHeight + 12);
}

void LegendWindow::refresh(const Context& ctx, Changes /*what*/) { setVersion(ctx.doc.version); }

void LegendWindow::setVersion(int version) {
  if (version == version_) return;
  version_ = version;
  update();
}

QString LegendWindow::pictureText(int i) const {
  if (i == kInfoFramePicture) return QStringLiteral("VBR information frame");
  if (i == 0) return QStringLiteral("free format");
  if (i == 15) return QStringLiteral("bitrate index 15");
  return QString::fromStdString(BitrateColumnText(i, version_)).trimmed() + QStringLiteral(" kbps");
}

void LegendWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Window));
  qreal dpr = devicePixelRatioF();
  for (int i = 0; i < kPictureCount; ++i) {
    int x = 6 + (i / kRows) * 170;
    int y = 6 + (i % kRows) * kRowHeight;
    p.fillRect(x, y, 12, 18, Qt::black);
    p.drawPixmap(QRectF(x + 4, y + 1, kPictureWidth, kPictureHeight), shades_.shade(i, dpr),
                 QRectF(0, 0, kPictureWidth * dpr, kPictureHeight * dpr));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRect(x + 18, y, 150, 18), Qt::AlignVCenter | Qt::AlignLeft, pictureText(i));
  }
}

}  // namespace quorvel
