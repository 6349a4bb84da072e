#include "ui/tool_window.h"

#include "ui/window_manners.h"

namespace quorvel {

ToolWindow::ToolWindow(QWidget* window, WindowPlace* place, Closing closing) : window_(window), closing_(closing) {
  if (place != nullptr) KeepPlace(window, *place);
}

void ToolWindow::closeOnRequest() { window_->close(); }

ToolWindows::Entry* ToolWindows::entry(std::type_index type) {
  for (Entry& e : entries_) {
    if (e.type == type) return &e;
  }
  return nullptr;
}

ToolWindow* ToolWindows::existing(std::type_index type) const {
  for (const Entry& e : entries_) {
    if (e.type == type) return e.widget.isNull() ? nullptr : e.tool;
  }
  return nullptr;
}

ToolWindow* ToolWindows::made(std::type_index type) {
  Entry* e = entry(type);
  if (e == nullptr) return nullptr;
  if (e->widget.isNull()) {
    e->tool = e->make();
    e->widget = e->tool->toolWidget();
    // A window made during a long operation starts read-only as the others are.
    if (busy_) e->tool->setBusy(true);
  }
  return e->tool;
}

int ToolWindows::count() const {
  int n = 0;
  for (const Entry& e : entries_) n += e.widget.isNull() ? 0 : 1;
  return n;
}

void ToolWindows::refresh(const Context& ctx, Changes what) {
  forEach([&](ToolWindow& t) { t.refresh(ctx, what); });
}

void ToolWindows::setBusy(bool busy) {
  busy_ = busy;
  forEach([&](ToolWindow& t) { t.setBusy(busy); });
}

void ToolWindows::closeTagWindows() {
  forEach([](ToolWindow& t) {
    if (t.closesWithDocument()) t.closeOnRequest();
  });
}

}  // namespace quorvel
