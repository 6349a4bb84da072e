#pragma once
// "Legend": the colour key of the frame strip, one shade per bitrate and one
// for the VBR information frame, with the bitrates of the document's MPEG
// version. Always on top; its place is remembered.

#include <QDialog>

#include "core/options.h"
#include "ui/strip_widgets.h"
#include "ui/tool_window.h"

namespace quorvel {

class LegendWindow : public QDialog, public ToolWindow {
  Q_OBJECT

 public:
  LegendWindow(WindowPlace& place, QWidget* parent);
  // The MPEG version code whose bitrates the key names.
  void setVersion(int version);
  // The key follows the document's MPEG version.
  void refresh(const Context& ctx, Changes what) override;
  // The caption of picture i: "128 kbps", "free format", "VBR information frame", ...
  QString pictureText(int i) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  FrameShades shades_;
  int version_ = 3;  // MPEG-1
};

}  // namespace quorvel
