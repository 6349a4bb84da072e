#pragma once
// "id3v2 image": a picture held in a tag, read by Qt's image readers (JPEG,
// PNG, BMP, GIF, ICO). It opens fitted to the window; +, - and Ctrl+wheel zoom
// in steps from 25 % to 800 %, 1 shows the actual size and 0 fits again. The
// status line names the picture, its MIME type, pixel size and byte size. A
// picture whose pixels would take more than kMaxPictureBytes is not decoded:
// the window says so and offers the desktop's viewer.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>

#include "ui/tool_window.h"

class QLabel;
class QPushButton;
class QScrollArea;

namespace quorvel {

class ImageWindow : public QWidget, public ToolWindow {
  Q_OBJECT

 public:
  static constexpr int kZoomSteps[] = {25, 33, 50, 67, 75, 100, 125, 150, 200, 300, 400, 600, 800};
  // The most a decoded picture may take, counted as 32-bit pixels (the form it
  // is drawn from): 128 MB, Qt's own limit for its image readers, which holds
  // 5,792 x 5,792 pixels.
  static constexpr int kMaxPictureMegabytes = 128;
  static constexpr qint64 kMaxPictureBytes = qint64{kMaxPictureMegabytes} * 1024 * 1024;

  // Hands the shown picture's data and MIME type to the desktop's viewer.
  using ExternalViewer = std::function<void(const QByteArray& data, const QString& mimeType)>;

  // With `place`, the window opens where it was last left.
  explicit ImageWindow(QWidget* parent = nullptr, WindowPlace* place = nullptr);

  // Shows the picture; false (and the window shows why) when no image reader
  // accepts the data.
  bool showPicture(const QByteArray& data, const QString& pictureType, const QString& mimeType);
  // The owner's route to the desktop's viewer; without one a picture too large
  // to show is only named.
  void setExternalViewer(ExternalViewer open);

  // 0 while the picture is fitted to the window.
  int zoomPercent() const { return zoom_; }
  bool fitted() const { return zoom_ == 0; }
  // The scale the picture is drawn at now (fitted or zoomed).
  double scale() const;
  void zoomIn();
  void zoomOut();
  void actualSize();
  void fitToWindow();
  QString statusText() const;
  // What the window shows in place of a picture it cannot show.
  QString messageText() const { return error_; }
  const QImage& image() const { return image_; }
  bool tooLarge() const { return tooLarge_; }
  QPushButton* externalViewerButton() const { return external_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void render();
  void openExternally();

  QImage image_;
  QByteArray data_;
  QSize pixels_;
  bool tooLarge_ = false;
  ExternalViewer externalViewer_;
  qsizetype bytes_ = 0;
  QString pictureType_;
  QString mimeType_;
  QString error_;
  int zoom_ = 0;
  QScrollArea* scroll_ = nullptr;
  QLabel* picture_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* external_ = nullptr;
};

}  // namespace quorvel
