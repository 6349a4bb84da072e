#include "ui/image_window.h"

#include <QBuffer>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <iterator>

namespace quorvel {

namespace {

// Draws the picture at a scale, only the part that is exposed: a picture at
// 800 % is never scaled as a whole.
class PictureView : public QLabel {
 public:
  void setPicture(const QImage* image, double scale) {
    image_ = image;
    scale_ = scale;
    setText(QString());
    QSize size(std::max(1, static_cast<int>(std::lround(image->width() * scale_ / devicePixelRatioF()))),
               std::max(1, static_cast<int>(std::lround(image->height() * scale_ / devicePixelRatioF()))));
    resize(size);
    update();
  }
  void setMessage(const QString& text, QSize size) {
    image_ = nullptr;
    setText(text);
    resize(size);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (image_ == nullptr) {
      QLabel::paintEvent(event);
      return;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform, scale_ < 1.0);
    // Logical pixels to picture pixels.
    double toPicture = devicePixelRatioF() / scale_;
    QRectF exposed = QRectF(event->rect()).intersected(QRectF(rect()));
    QRectF source(exposed.left() * toPicture, exposed.top() * toPicture, exposed.width() * toPicture,
                  exposed.height() * toPicture);
    p.drawImage(exposed, *image_, source.intersected(QRectF(image_->rect())));
  }

 private:
  const QImage* image_ = nullptr;
  double scale_ = 1.0;
};

}  // namespace

ImageWindow::ImageWindow(QWidget* parent, WindowPlace* place)
    : QWidget(parent, Qt::Window), ToolWindow(this, place, Closing::kWithDocument) {
  setObjectName(QStringLiteral("TViewImageForm"));
  setWindowTitle(QStringLiteral("id3v2 image"));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  scroll_ = new QScrollArea(this);
  scroll_->setAlignment(Qt::AlignCenter);
  scroll_->setFocusPolicy(Qt::NoFocus);
  picture_ = new PictureView;
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setAccessibleName(QStringLiteral("picture"));
  scroll_->setWidget(picture_);
  scroll_->setWidgetResizable(false);
  layout->addWidget(scroll_, 1);
  auto* bottom = new QHBoxLayout;
  bottom->setContentsMargins(0, 0, 6, 0);
  status_ = new QLabel(this);
  status_->setAccessibleName(QStringLiteral("picture information"));
  status_->setContentsMargins(6, 3, 6, 3);
  bottom->addWidget(status_, 1);
  external_ = new QPushButton(QStringLiteral("Open in the desktop's &viewer"), this);
  external_->setObjectName(QStringLiteral("externalViewer"));
  external_->setAccessibleName(QStringLiteral("Open in the desktop's viewer"));
  external_->hide();
  connect(external_, &QPushButton::clicked, this, &ImageWindow::openExternally);
  bottom->addWidget(external_);
  layout->addLayout(bottom);
  setFocusPolicy(Qt::StrongFocus);
  resize(480, 480);
}

bool ImageWindow::showPicture(const QByteArray& data, const QString& pictureType, const QString& mimeType) {
  pictureType_ = pictureType;
  mimeType_ = mimeType;
  data_ = data;
  bytes_ = data.size();
  zoom_ = 0;
  image_ = QImage();
  error_.clear();
  QBuffer buffer(&data_);
  buffer.open(QIODevice::ReadOnly);
  // The reader goes by the data, not by the MIME type the tag claims.
  QImageReader reader(&buffer);
  reader.setAutoTransform(true);
  reader.setAllocationLimit(kMaxPictureMegabytes);
  // The header gives the size before anything is decoded.
  pixels_ = reader.size();
  tooLarge_ = pixels_.isValid() && qint64{pixels_.width()} * pixels_.height() * 4 > kMaxPictureBytes;
  if (tooLarge_) {
    error_ = QStringLiteral("This picture of %1 \u00d7 %2 pixels is too large to show here.")
                 .arg(pixels_.width())
                 .arg(pixels_.height());
  } else {
    image_ = reader.read();
    if (image_.isNull())
      error_ = QStringLiteral("This picture's data is no image that can be shown (%1).").arg(reader.errorString());
  }
  render();
  return error_.isEmpty();
}

void ImageWindow::setExternalViewer(ExternalViewer open) {
  externalViewer_ = std::move(open);
  external_->setVisible(tooLarge_ && externalViewer_);
}

void ImageWindow::openExternally() {
  if (tooLarge_ && externalViewer_) externalViewer_(data_, mimeType_);
}

double ImageWindow::scale() const {
  if (image_.isNull()) return 1.0;
  if (zoom_ != 0) return zoom_ / 100.0;
  QSize room = scroll_->viewport()->size();
  double fit = std::min(static_cast<double>(room.width()) / image_.width(),
                        static_cast<double>(room.height()) / image_.height());
  return std::clamp(fit, 0.01, 1.0);  // fitting shrinks a large picture, never blows up a small one
}

void ImageWindow::zoomIn() {
  int current = static_cast<int>(std::lround(scale() * 100));
  auto next = std::upper_bound(std::begin(kZoomSteps), std::end(kZoomSteps), current);
  zoom_ = next == std::end(kZoomSteps) ? kZoomSteps[std::size(kZoomSteps) - 1] : *next;
  render();
}

void ImageWindow::zoomOut() {
  int current = static_cast<int>(std::lround(scale() * 100));
  auto below = std::lower_bound(std::begin(kZoomSteps), std::end(kZoomSteps), current);
  zoom_ = below == std::begin(kZoomSteps) ? kZoomSteps[0] : *std::prev(below);
  render();
}

void ImageWindow::actualSize() {
  zoom_ = 100;
  render();
}

void ImageWindow::fitToWindow() {
  zoom_ = 0;
  render();
}

QString ImageWindow::statusText() const { return status_->text(); }

void ImageWindow::render() {
  QLocale locale;
  QStringList parts;
  if (!pictureType_.isEmpty()) parts << pictureType_;
  if (!mimeType_.isEmpty()) parts << mimeType_;
  const QSize pixels = image_.isNull() ? (tooLarge_ ? pixels_ : QSize()) : image_.size();
  if (pixels.isValid()) parts << QStringLiteral("%1 \u00d7 %2 pixels").arg(pixels.width()).arg(pixels.height());
  parts << QStringLiteral("%1 bytes").arg(locale.toString(static_cast<qlonglong>(bytes_)));
  external_->setVisible(tooLarge_ && externalViewer_);
  auto* view = static_cast<PictureView*>(picture_);
  if (!error_.isEmpty()) {
    picture_->setWordWrap(true);
    view->setMessage(error_, scroll_->viewport()->size());
    status_->setText(parts.join(QStringLiteral("  \u00b7  ")));
    return;
  }
  double s = scale();
  parts << (fitted() ? QStringLiteral("fitted (%1 %)").arg(std::lround(s * 100)) : QStringLiteral("%1 %").arg(zoom_));
  status_->setText(parts.join(QStringLiteral("  \u00b7  ")));
  // At 100 % a picture takes as many device pixels as it has.
  view->setPicture(&image_, s);
}

void ImageWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: zoomIn(); return;
    case Qt::Key_Minus: zoomOut(); return;
    case Qt::Key_1: actualSize(); return;
    case Qt::Key_0: fitToWindow(); return;
    case Qt::Key_Escape: close(); return;
    default: QWidget::keyPressEvent(event);
  }
}

void ImageWindow::wheelEvent(QWheelEvent* event) {
  if (event->modifiers() & Qt::ControlModifier) {
    if (event->angleDelta().y() > 0) zoomIn();
    if (event->angleDelta().y() < 0) zoomOut();
    event->accept();
    return;
  }
  QWidget::wheelEvent(event);
}

void ImageWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (fitted()) render();
}

}  // namespace quorvel
