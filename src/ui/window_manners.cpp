#include "ui/window_manners.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "app/options_menu.h"

namespace quorvel {

QPoint PlaceOnScreen(QPoint place, QSize size) {
  QScreen* home = nullptr;
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().contains(place)) home = screen;
  }
  if (home == nullptr) home = QGuiApplication::primaryScreen();
  if (home == nullptr) return place;
  QRect area = home->availableGeometry();
  if (!area.contains(place)) {
    place = QPoint(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2);
  }
  place.setX(std::clamp(place.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
  place.setY(std::clamp(place.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
  return place;
}

namespace {

class PlaceKeeper : public QObject {
 public:
  PlaceKeeper(QWidget* window, WindowPlace& place) : QObject(window), window_(window), place_(place) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != window_) return false;
    if (event->type() == QEvent::Show && !event->spontaneous()) {
      if (place_.left != 0 || place_.top != 0) {
        QSize size = window_->frameGeometry().size().expandedTo(window_->size());
        window_->move(PlaceOnScreen(QPoint(place_.left, place_.top), size));
      }
    } else if (event->type() == QEvent::Move && window_->isVisible()) {
      place_.left = window_->x();
      place_.top = window_->y();
    }
    return false;
  }

 private:
  QWidget* window_;
  WindowPlace& place_;
};

}  // namespace

void KeepPlace(QWidget* window, WindowPlace& place) { window->installEventFilter(new PlaceKeeper(window, place)); }

void CancelWhenLeft(QDialog* dialog) {
  class Watcher : public QObject {
   public:
    explicit Watcher(QDialog* dialog) : QObject(dialog), dialog_(dialog) {}

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (watched == dialog_ && event->type() == QEvent::WindowDeactivate) {
        // The window that takes over is known once this event has passed.
        QTimer::singleShot(0, dialog_, [d = dialog_] {
          if (!d->isVisible() || d->isActiveWindow()) return;
          if (QApplication::activeModalWidget() != d) return;  // opened over it
          d->reject();
        });
      }
      return false;
    }

   private:
    QDialog* dialog_;
  };
  dialog->installEventFilter(new Watcher(dialog));
}

int HintDuration(const QString& hint) {
  // Line breaks were two characters (CR LF) in the hint's text.
  return 2000 + 97 * static_cast<int>(hint.size() + hint.count(QLatin1Char('\n')));
}

ButtonManners::ButtonManners(const uint8_t& displayFlags, QObject* parent)
    : QObject(parent), displayFlags_(displayFlags) {}

bool ButtonManners::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Enter:
    case QEvent::Leave:
      if (auto* button = qobject_cast<QPushButton*>(watched)) {
        bool red = event->type() == QEvent::Enter && (displayFlags_ & kRedCaptionsOnHover) != 0;
        QWidget* parent = button->parentWidget();
        QColor normal = parent != nullptr ? parent->palette().color(QPalette::ButtonText)
                                          : QApplication::palette(button).color(QPalette::ButtonText);
        QPalette pal = button->palette();
        pal.setColor(QPalette::ButtonText, red ? QColor(Qt::red) : normal);
        button->setPalette(pal);
      }
      break;
    case QEvent::ToolTip:
      if (auto* widget = qobject_cast<QWidget*>(watched)) {
        if (widget->toolTipDuration() < 0 && !widget->toolTip().isEmpty()) {
          widget->setToolTipDuration(HintDuration(widget->toolTip()));
        }
      }
      break;
    default:
      break;
  }
  return false;
}

}  // namespace quorvel
