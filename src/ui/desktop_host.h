#pragma once
// The desktop side of the engine's questions and long operations: the message
// windows, the file dialogs, the one modal scope every question, message and
// dialog opens in, the busy state with its running operations, and the Esc
// and close requests that wait while a question is open or an operation runs.
// The main window keeps the layout and the commands and hands these Host
// calls here; it shows the busy state through a BusyDisplay.

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/host.h"

namespace quorvel {

class MessageWindow;

class DesktopHost {
 public:
  // What the window shows of the busy state.
  struct BusyDisplay {
    std::function<void(bool busy)> busyChanged;
    std::function<void(const std::string& operation)> operationShown;  // the innermost one; empty when none
    std::function<void(double fraction)> progress;
  };

  // `home` is the main window: the parent of every question when no modal
  // window is open, and the window a waiting close closes.
  DesktopHost(QWidget* home, Context& ctx);
  ~DesktopHost();
  DesktopHost(const DesktopHost&) = delete;
  DesktopHost& operator=(const DesktopHost&) = delete;

  // While it lives, the program waits for the user: the arrow cursor shows
  // (also during a busy operation; the cursor that was set comes back), the
  // modal depth counts one more, and a window that lives on (a message
  // window) belongs to the modal window open now, in front of which it shows.
  class ModalScope {
   public:
    explicit ModalScope(DesktopHost& host, QWidget* window = nullptr);
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

   private:
    DesktopHost& host_;
    QWidget* window_;
    bool moved_ = false;
  };

  // The parent for a question's window: the modal window open now, else home.
  QWidget* questionParent() const;
  // Questions, messages and dialogs open now (modal scopes).
  int modalDepth() const { return depth_; }
  // A question, dialog or file dialog is open: the user alone answers it.
  bool asking() const;

  void showMessage(const std::string& text, int kind, const std::string& caption);
  int ask(const std::string& text, int kind, const std::string& caption);
  std::optional<std::string> chooseOpenFile(const FileDialogRequest& request);
  std::optional<std::string> chooseSaveFile(const FileDialogRequest& request);

  void setBusyDisplay(BusyDisplay display) { display_ = std::move(display); }
  // The engine sets the busy state (the writer inside a save sets it again
  // and restores what it found); the host follows it, it does not count.
  // While busy the wait cursor shows.
  void setBusy(bool busy);
  // Long operations nest; the busy state lasts while one runs.
  void busyBegin(const std::string& operation);
  void busyEnd(const std::string& operation);
  void reportProgress(double fraction);
  bool busy() const { return busy_; }
  // The running long operations, outermost first ("load", "save", "write", ...).
  const std::vector<std::string>& operations() const { return operations_; }

  // Esc: the running operation or script is cancelled at its next progress point.
  void requestCancel();
  // A close from outside: made at once, or recorded while a question is open,
  // an operation or a script runs, and made when that ends.
  void requestClose();
  // Records a close that must wait (the window refused it for now).
  void recordClose() { closeRequested_ = true; }
  // A close that waited is made once no question is open and no operation runs.
  void carryOutWaitingClose();
  EventRequests processEvents();
  EventRequests takePendingRequests();

  MessageWindow* messageWindow() const { return message_.get(); }
  MessageWindow* yesNoWindow() const { return yesNo_.get(); }
  // The window closes: the message windows go with it.
  void closeMessageWindows();

 private:
  QWidget* home_;
  Context& ctx_;
  BusyDisplay display_;
  bool busy_ = false;
  std::vector<std::string> operations_;
  std::unique_ptr<MessageWindow> message_;
  std::unique_ptr<MessageWindow> yesNo_;
  int depth_ = 0;
  bool cancelRequested_ = false;
  bool closeRequested_ = false;
};

}  // namespace quorvel
