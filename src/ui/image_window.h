#pragma once
// "id3v2 image": a picture held in a tag, read by Qt's image readers (JPEG,
// PNG, BMP, GIF, ICO). It opens fitted to the window; +, - and Ctrl+wheel zoom
// in steps from 25 % to 800 %, 1 shows the actual size and 0 fits again. The
// status line names the picture, its MIME type, pixel size and byte size.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QWidget>

#include "ui/tool_window.h"

class QLabel;
class QScrollArea;

namespace quorvel {

class ImageWindow : public QWidget, public ToolWindow {
  Q_OBJECT

 public:
  static constexpr int kZoomSteps[] = {25, 33, 50, 67, 75, 100, 125, 150, 200, 300, 400, 600, 800};

  // With `place`, the window opens where it was last left.
  explicit ImageWindow(QWidget* parent = nullptr, WindowPlace* place = nullptr);

  // Shows the picture; false (and the window shows why) when no image reader
  // accepts the data.
  bool showPicture(const QByteArray& data, const QString& pictureType, const QString& mimeType);

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
  const QImage& image() const { return image_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void render();

  QImage image_;
  qsizetype bytes_ = 0;
  QString pictureType_;
  QString mimeType_;
  QString error_;
  int zoom_ = 0;
  QScrollArea* scroll_ = nullptr;
  QLabel* picture_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace quorvel
