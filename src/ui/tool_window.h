#pragma once
// The program's tool windows (the tag editors, the picture viewer, the frame
// legend) behave alike: they redraw from the engine's state when it changes,
// change nothing while a long operation runs, keep their place on a screen,
// and the tag windows close when the engine asks (a document is closed or
// reopened). ToolWindow is that common part; ToolWindows makes each window on
// its first use and speaks to all of them at once.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <typeindex>
#include <vector>

#include "core/context.h"
#include "core/host.h"
#include "core/options.h"

namespace quorvel {

class ToolWindow {
 public:
  enum class Closing { kWithDocument, kStays };

  // `window` is the widget itself; with `place` it opens where it was last
  // left (moved onto a screen that exists now), and each move is recorded there.
  ToolWindow(QWidget* window, WindowPlace* place, Closing closing);
  virtual ~ToolWindow() = default;
  ToolWindow(const ToolWindow&) = delete;
  ToolWindow& operator=(const ToolWindow&) = delete;

  QWidget* toolWidget() const { return window_; }
  bool closesWithDocument() const { return closing_ == Closing::kWithDocument; }

  // The engine's state changed (`what`): the window shows it again.
  virtual void refresh(const Context& /*ctx*/, Changes /*what*/) {}
  // While a long operation runs the window changes nothing.
  virtual void setBusy(bool /*busy*/) {}
  // The engine closes the tag windows: the window closes as its Cancel does.
  virtual void closeOnRequest();

 private:
  QWidget* window_;
  Closing closing_;
};

class ToolWindows {
 public:
  // How the window of type T is made; it is made on the first open<T>().
  // Windows are told things in the order they were defined.
  template <class T>
  void define(std::function<T*()> make) {
    entries_.push_back(Entry{std::type_index(typeid(T)), [make]() -> ToolWindow* { return make(); }, {}, nullptr});
  }
  // The window of type T when it has been made, else nullptr.
  template <class T>
  T* find() const {
    return static_cast<T*>(existing(std::type_index(typeid(T))));
  }
  // The window of type T, made now when it does not exist yet.
  template <class T>
  T* open() {
    return static_cast<T*>(made(std::type_index(typeid(T))));
  }
  // How many windows have been made (a window deleted since is not counted).
  int count() const;

  void refresh(const Context& ctx, Changes what);
  void setBusy(bool busy);
  // Host::closeTagWindows: every window that closes with the document.
  void closeTagWindows();

 private:
  struct Entry {
    std::type_index type;
    std::function<ToolWindow*()> make;
    QPointer<QWidget> widget;  // null until made, and again when deleted
    ToolWindow* tool;
  };
  Entry* entry(std::type_index type);
  ToolWindow* existing(std::type_index type) const;
  ToolWindow* made(std::type_index type);
  template <class F>
  void forEach(F f) {
    for (Entry& e : entries_) {
      if (!e.widget.isNull()) f(*e.tool);
    }
  }

  std::vector<Entry> entries_;
  bool busy_ = false;
};

}  // namespace quorvel
