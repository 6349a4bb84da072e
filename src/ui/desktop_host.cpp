#include "ui/desktop_host.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <algorithm>

#include "ui/fade_dialog.h"
#include "ui/file_filter.h"
#include "ui/message_windows.h"
#include "ui/silence_dialog.h"
#include "ui/split_dialogs.h"
#include "ui/volume_dialog.h"
#include "ui/window_manners.h"

namespace quorvel {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// Watches every window of the program: when a modal one closes (a dialog
// opened in a modal scope or on its own, the multi-line window, the encoding
// dialog), a close that waited for it goes on, once the window is gone.
class DesktopHost::ModalWatch : public QObject {
 public:
  explicit ModalWatch(DesktopHost& host) : host_(host) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Hide && watched->isWidgetType()) {
      auto* widget = static_cast<QWidget*>(watched);
      if (widget->isWindow() && widget->windowModality() != Qt::NonModal && host_.closeWaiting_) {
        QTimer::singleShot(0, host_.home_, [host = &host_] { host->carryOutWaitingClose(); });
      }
    }
    return false;
  }

 private:
  DesktopHost& host_;
};

DesktopHost::DesktopHost(QWidget* home, Context& ctx, DesktopShell& shell) : home_(home), ctx_(ctx), shell_(shell) {}

DesktopHost::~DesktopHost() = default;

void DesktopHost::start() {
  modalWatch_ = std::make_unique<ModalWatch>(*this);
  qApp->installEventFilter(modalWatch_.get());
  message_ = std::make_unique<MessageWindow>(MessageWindow::Type::kMessage, ctx_.options.messageWindow,
                                             ctx_.options.messageWindowState, home_);
  yesNo_ = std::make_unique<MessageWindow>(MessageWindow::Type::kYesNo, ctx_.options.yesNoWindow,
                                           ctx_.options.yesNoWindowState, home_);
}

void DesktopHost::stop() {
  if (modalWatch_) qApp->removeEventFilter(modalWatch_.get());
  modalWatch_.reset();
  message_.reset();
  yesNo_.reset();
}

DesktopHost::ModalScope::ModalScope(DesktopHost& host, QWidget* window) : host_(host), window_(window) {
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  ++host_.depth_;
  if (window_ != nullptr) {
    // The message windows live on; they come home when the question is over.
    QWidget* owner = host_.questionParent();
    if (owner != host_.home_ && owner != window_) {
      window_->setParent(owner, window_->windowFlags());
      moved_ = true;
    }
  }
}

DesktopHost::ModalScope::~ModalScope() {
  if (moved_) window_->setParent(host_.home_, window_->windowFlags());
  --host_.depth_;
  QApplication::restoreOverrideCursor();
  // Every modal window ends here: a close that waited for it goes on now.
  host_.carryOutWaitingClose();
}

QWidget* DesktopHost::questionParent() const {
  QWidget* modal = QApplication::activeModalWidget();
  return modal != nullptr ? modal : home_;
}

bool DesktopHost::asking() const { return depth_ > 0 || QApplication::activeModalWidget() != nullptr; }

void DesktopHost::showMessage(const std::string& text, int kind, const std::string& caption) {
  // A dialog that is open blocks every modeless window: a message from it is
  // shown modally over it, so that it can be read and dismissed.
  if (QApplication::activeModalWidget() != nullptr) kind |= kMsgModal;
  if ((kind & kMsgModal) == 0) {
    message_->showMessage(text, kind, caption);
    return;
  }
  {
    ModalScope scope(*this, message_.get());
    message_->showMessage(text, kind, caption);
  }
  carryOutWaitingClose();
}

int DesktopHost::ask(const std::string& text, int kind, const std::string& caption) {
  int answer = 0;
  {
    ModalScope scope(*this, yesNo_.get());
    answer = yesNo_->ask(text, kind, caption);
  }
  carryOutWaitingClose();
  return answer;
}

// Shows a file dialog in the modal scope; the file chosen, or nothing.
std::optional<std::string> DesktopHost::runFileDialog(QFileDialog& dialog) {
  int result = QDialog::Rejected;
  {
    ModalScope scope(*this);
    result = dialog.exec();
  }
  carryOutWaitingClose();
  if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> DesktopHost::chooseOpenFile(const FileDialogRequest& request) {
  QFileDialog dialog(questionParent(), Q(request.title), Q(request.folder), QtFilter(request.filter));
  dialog.setObjectName(QStringLiteral("openDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (!request.fileName.empty()) dialog.selectFile(Q(request.fileName));
  return runFileDialog(dialog);
}

std::optional<std::string> DesktopHost::chooseSaveFile(const FileDialogRequest& request) {
  QFileDialog dialog(questionParent(), Q(request.title), Q(request.folder), QtFilter(request.filter));
  dialog.setObjectName(QStringLiteral("saveDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The save procedure asks its own overwrite question.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
  if (!request.defaultExt.empty()) dialog.setDefaultSuffix(Q(request.defaultExt));
  if (!request.fileName.empty()) dialog.selectFile(Q(request.fileName));
  return runFileDialog(dialog);
}

std::optional<VolumeChoice> DesktopHost::askVolume(const VolumeDialogState& state) {
  VolumeDialog dialog(questionParent());
  KeepPlace(&dialog, ctx_.options.volumeDialog);
  ModalScope scope(*this);
  return dialog.choose(state);
}

std::optional<FadeChoice> DesktopHost::askFade(const FadeDialogState& state) {
  FadeDialog dialog(questionParent());
  KeepPlace(&dialog, ctx_.options.fadeDialog);
  ModalScope scope(*this);
  return dialog.choose(state);
}

std::optional<SilenceChoice> DesktopHost::askSilence(const SilenceDialogState& state) {
  SilenceDialog dialog(questionParent());
  KeepPlace(&dialog, ctx_.options.silenceDialog);
  ModalScope scope(*this);
  return dialog.choose(state);
}

std::optional<SaveSelectionDialogState> DesktopHost::askSaveSelection(const SaveSelectionDialogState& state) {
  SaveSelectionDialog dialog(ctx_, questionParent());
  KeepPlace(&dialog, ctx_.options.saveSelectionDialog);
  ModalScope scope(*this);
  return dialog.choose(state);
}

std::optional<SplitDialogState> DesktopHost::askSplit(const SplitDialogState& state) {
  SplitDialog dialog(ctx_, questionParent());
  KeepPlace(&dialog, ctx_.options.splitDialog);
  ModalScope scope(*this);
  return dialog.choose(state);
}

int DesktopHost::openWithDesktop(const std::string& target) { return shell_.open(target); }

void DesktopHost::changed(Changes what) {
  if (display_.changed) display_.changed(what);
}

void DesktopHost::documentChanged() { changed(kChangedDocument); }

void DesktopHost::closeTagWindows() {
  if (display_.closeTagWindows) display_.closeTagWindows();
}

bool DesktopHost::applyTagEdits() { return !display_.applyTagEdits || display_.applyTagEdits(); }

void DesktopHost::closeMainWindow() {
  QTimer::singleShot(0, home_, [home = home_] { home->close(); });
}

void DesktopHost::setBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
  if (display_.busyChanged) display_.busyChanged(busy);
  if (!busy) carryOutWaitingClose();
}

void DesktopHost::busyBegin(const std::string& operation) {
  operations_.push_back(operation);
  setBusy(true);
  if (display_.operationShown) display_.operationShown(operation);
}

void DesktopHost::busyEnd(const std::string& operation) {
  // Innermost first; an unmatched end removes the latest operation of that name.
  auto it = std::find(operations_.rbegin(), operations_.rend(), operation);
  if (it != operations_.rend()) operations_.erase(std::next(it).base());
  if (display_.operationShown) display_.operationShown(operations_.empty() ? std::string() : operations_.back());
  if (operations_.empty()) setBusy(false);
}

void DesktopHost::reportProgress(double fraction) {
  if (display_.progress) display_.progress(fraction);
}

void DesktopHost::requestCancel() {
  if (busy_ || ctx_.script.active) cancelRequested_ = true;
}

void DesktopHost::requestClose() {
  if (asking() || busy_ || ctx_.script.active || homeClosing_) {
    recordClose();
    return;
  }
  home_->close();
}

void DesktopHost::recordClose() {
  // A close made while a question or dialog is open (or while the window's
  // own close runs its question) waits for it, and never reaches the
  // operation that the answer starts; one made while an operation or a
  // script runs stops it at its next progress point.
  if (asking() || homeClosing_) {
    closeWaiting_ = true;
  } else {
    closeRequested_ = true;
  }
}

void DesktopHost::setHomeClosing(bool closing) {
  homeClosing_ = closing;
  // A close from outside that came meanwhile is made now, and asks again
  // when the user kept the program open.
  if (!closing) carryOutWaitingClose();
}

void DesktopHost::carryOutWaitingClose() {
  // Once no modal window is open, no operation runs and the window's own
  // close is not asking, the waiting close is made again.
  if (!closeWaiting_ || busy_ || asking() || homeClosing_) return;
  QTimer::singleShot(0, home_, [this] {
    // Looked at again when it runs: an operation or a question that the
    // answer started meanwhile goes first, and the close waits for its end.
    if (!closeWaiting_ || busy_ || asking() || homeClosing_) return;
    closeWaiting_ = false;
    home_->close();
  });
}

EventRequests DesktopHost::processEvents() {
  QCoreApplication::processEvents();
  return takePendingRequests();
}

EventRequests DesktopHost::takePendingRequests() {
  EventRequests r{cancelRequested_, closeRequested_};
  cancelRequested_ = false;
  closeRequested_ = false;
  return r;
}

void DesktopHost::closeMessageWindows() {
  message_->close();
  yesNo_->close();
}

}  // namespace quorvel
