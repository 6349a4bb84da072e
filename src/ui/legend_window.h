#pragma once
// "Legend": the colour key of the frame strip, one shade per bitrate and one
// for the VBR information frame. Always on top; its place is remembered.

#include <QDialog>

#include "core/options.h"
#include "ui/strip_widgets.h"

namespace quorvel {

class LegendWindow : public QDialog {
  Q_OBJECT

 public:
  LegendWindow(WindowPlace& place, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  FrameShades shades_;
};

}  // namespace quorvel
