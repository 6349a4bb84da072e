#pragma once
// What every window of the program does alike: it opens where the user left
// it (on a screen that exists now), its push buttons turn their captions red
// under the mouse when the user asked for it, and its hints stay as long as
// their text needs.

#include <QObject>
#include <QPoint>
#include <QSize>

#include "core/options.h"

class QDialog;
class QWidget;

namespace quorvel {

// The top-left corner at which a window of `size` opens when it was last at
// `place`: on the screen whose available area holds that corner (the primary
// screen when none does, centred there), moved so that the whole window lies
// inside that area.
QPoint PlaceOnScreen(QPoint place, QSize size);

// Keeps `window` at its remembered place: each time it is shown it opens at
// `place` (unless nothing is remembered yet, 0,0, when the usual placement
// over its parent stays), and each move while it is shown is recorded there.
void KeepPlace(QWidget* window, WindowPlace& place);

// Closes the modal `dialog` as cancelled when the user switches away from it
// to another window or program. A window the dialog itself opens over it (a
// file dialog, a message) does not count.
void CancelWhenLeft(QDialog* dialog);

// A hint shows 2000 ms plus 97 ms per character of its text.
int HintDuration(const QString& hint);

// Installed once on the application: red captions under the mouse for every
// push button of every window (while `displayFlags` asks for them), and the
// display time of every hint that has none of its own.
class ButtonManners : public QObject {
 public:
  ButtonManners(const uint8_t& displayFlags, QObject* parent);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  const uint8_t& displayFlags_;
};

}  // namespace quorvel
