#pragma once
// The frame strip with its border and cursor indicators, and the scroll bar
// under it. Both paint from the engine's document and view state and turn
// presses into cursor, selection and view changes; the window redraws
// everything after each change.

#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

#include "core/context.h"
#include "ui/accessible_widgets.h"
#include "ui/repeat.h"
#include "view/strip_model.h"
#include "view/view_state.h"

namespace quorvel {

constexpr int kScrollButtonWidth = 15;

// The 17 frame shades (bitrate indexes 0..15 and the information frame), 4 x 16
// each, built once per device pixel ratio.
class FrameShades {
 public:
  const QPixmap& shade(int index, qreal dpr);

 private:
  qreal dpr_ = 0;
  std::array<QPixmap, kPictureCount> pixmaps_;
};

class StripWidget : public QWidget, public AccessibleValueSource {
  Q_OBJECT

 public:
  // The widget covers client x 26..457, y 290..326: the strip, its border and
  // the indicator row under it.
  static constexpr int kOriginX = 26;
  static constexpr int kOriginY = 290;

  StripWidget(Context& ctx, QWidget* parent);

  // The frame under the mouse at the last press on the strip, -1 when none.
  int hoverFrame() const { return view_.hoverFrame; }

  // The cursor's frame among the edit's frames, and its time.
  QAccessible::Role accessibleRole() const override { return QAccessible::Slider; }
  AccessibleValue accessibleValue() const override;

 signals:
  void changed();
  void frameInfoRequested(int frame);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  Context& ctx_;
  FrameShades shades_;
  ViewState view_;
  bool pressedOnStrip_ = false;
};

class ScrollWidget : public QWidget, public AccessibleValueSource {
  Q_OBJECT

 public:
  static constexpr int kOriginX = kTroughLeft - kScrollButtonWidth;
  static constexpr int kOriginY = kTroughTop;

  ScrollWidget(Context& ctx, QWidget* parent);

  // Thumb geometry in client x: left edge and width (the whole trough when the view cannot move).
  int thumbLeft() const;
  int thumbWidth() const;
  bool leftButtonEnabled() const;
  bool rightButtonEnabled() const;

  // One tick of the repeat timer (the window's timer, or a test).
  void repeatTick();
  int repeatInterval() const;
  bool repeating() const { return buttonRepeat_.running() || paging_.running(); }

  // The first frame in view, and the frames in view as text.
  QAccessible::Role accessibleRole() const override { return QAccessible::ScrollBar; }
  AccessibleValue accessibleValue() const override;

 signals:
  void changed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  ScrollThumb thumb() const;
  void moved(bool changedView);
  void stopRepeat();

  Context& ctx_;
  QTimer timer_;
  ButtonRepeat buttonRepeat_;
  PagingRepeat paging_;
  ViewState view_;
  bool repeatRight_ = false;  // direction of the repeated scroll button
};

}  // namespace quorvel
