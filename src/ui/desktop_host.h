#pragma once
// The desktop side of the engine's questions: the message windows, the file
// dialogs, the one modal scope every question, message and dialog opens in,
// and the Esc and close requests that wait while one is open or an operation
// runs. The main window keeps the layout and the commands and hands these
// Host calls here.

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "core/context.h"
#include "core/host.h"

namespace quorvel {

class MessageWindow;

class DesktopHost {
 public:
  // `home` is the main window: the parent of every question when no modal
  // window is open, and the window a waiting close closes. `busy` is the
  // window's busy state (a long operation runs).
  DesktopHost(QWidget* home, Context& ctx, const bool& busy);
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
  const bool& busy_;
  std::unique_ptr<MessageWindow> message_;
  std::unique_ptr<MessageWindow> yesNo_;
  int depth_ = 0;
  bool cancelRequested_ = false;
  bool closeRequested_ = false;
};

}  // namespace quorvel
