#pragma once
// The engine's Host on the desktop: the message windows, the file dialogs and
// the editing dialogs, the one modal scope every question, message and dialog
// opens in, the busy state with its running operations, and the Esc and close
// requests that wait while a question is open or an operation runs. The main
// window keeps the layout and the commands; it shows what the host reports
// (the busy state, the changes, the tag windows to close) through a Display.

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/host.h"
#include "app/desktop_shell.h"

class QFileDialog;

namespace quorvel {

class MessageWindow;

class DesktopHost : public Host {
 public:
  // What the window shows of the host's state.
  struct Display {
    std::function<void(bool busy)> busyChanged;
    std::function<void(const std::string& operation)> operationShown;  // the innermost one; empty when none
    std::function<void(double fraction)> progress;
    std::function<void(Changes what)> changed;
    std::function<void()> closeTagWindows;
    std::function<bool()> applyTagEdits;
  };

  // `home` is the main window: the parent of every question when no modal
  // window is open, and the window a waiting close closes. The context and
  // the shell are only kept here: the host may be made before them.
  DesktopHost(QWidget* home, Context& ctx, DesktopShell& shell);
  ~DesktopHost() override;
  // Makes the message windows (from the context's remembered places) and
  // takes them away again, before the home window goes.
  void start();
  void stop();
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

  void showMessage(const std::string& text, int kind, const std::string& caption) override;
  int ask(const std::string& text, int kind, const std::string& caption) override;
  std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) override;
  std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) override;
  std::optional<VolumeChoice> askVolume(const VolumeDialogState& state) override;
  std::optional<FadeChoice> askFade(const FadeDialogState& state) override;
  std::optional<SilenceChoice> askSilence(const SilenceDialogState& state) override;
  std::optional<SaveSelectionDialogState> askSaveSelection(const SaveSelectionDialogState& state) override;
  std::optional<SplitDialogState> askSplit(const SplitDialogState& state) override;
  int openWithDesktop(const std::string& target) override;
  void changed(Changes what) override;
  void documentChanged() override;
  void closeTagWindows() override;
  bool applyTagEdits() override;
  void closeMainWindow() override;

  void setDisplay(Display display) { display_ = std::move(display); }
  // The engine sets the busy state (the writer inside a save sets it again
  // and restores what it found); the host follows it, it does not count.
  // While busy the wait cursor shows.
  void setBusy(bool busy) override;
  // Long operations nest; the busy state lasts while one runs.
  void busyBegin(const std::string& operation) override;
  void busyEnd(const std::string& operation) override;
  void reportProgress(double fraction) override;
  bool busy() const { return busy_; }
  // The running long operations, outermost first ("load", "save", "write", ...).
  const std::vector<std::string>& operations() const { return operations_; }

  // Esc: the running operation or script is cancelled at its next progress point.
  void requestCancel();
  // A close from outside: made at once, or recorded while a question is open,
  // an operation or a script runs, and made when that ends.
  void requestClose();
  // Records a close that must wait (the window refused it for now): for the
  // question or dialog open now, or for the running operation or script.
  void recordClose();
  // A close that waited for a question or dialog is made once none is open,
  // no operation runs and the window's own close is not asking.
  void carryOutWaitingClose();
  bool closeWaiting() const { return closeWaiting_; }
  // The main window's own close runs (its "Save changes?" and the save it may
  // start): a close from outside waits until it is over.
  void setHomeClosing(bool closing);
  EventRequests processEvents() override;
  EventRequests takePendingRequests() override;

  MessageWindow* messageWindow() const { return message_.get(); }
  MessageWindow* yesNoWindow() const { return yesNo_.get(); }
  // The window closes: the message windows go with it.
  void closeMessageWindows();

 private:
  std::optional<std::string> runFileDialog(QFileDialog& dialog);
  class ModalWatch;
  std::unique_ptr<ModalWatch> modalWatch_;
  QWidget* home_;
  Context& ctx_;
  DesktopShell& shell_;
  Display display_;
  bool busy_ = false;
  std::vector<std::string> operations_;
  std::unique_ptr<MessageWindow> message_;
  std::unique_ptr<MessageWindow> yesNo_;
  int depth_ = 0;
  bool cancelRequested_ = false;
  bool closeRequested_ = false;
  bool closeWaiting_ = false;
  bool homeClosing_ = false;
};

}  // namespace quorvel
