#include "ui/multiline_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/options.h"
#include "tags/message_kind.h"

namespace quorvel {

namespace {

const char* const kSaveQuestion = "Save the changes?\r\nPress Esc key to return (cancel).";

QPushButton* Button(const char* caption, QWidget* parent) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setAccessibleName(QString::fromUtf8(caption).remove(QLatin1Char('&')));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

MultiLineWindow::MultiLineWindow(Options& options, Ask ask, QWidget* parent)
    : QDialog(parent, Qt::Window), options_(options), ask_(std::move(ask)) {
  setObjectName(QStringLiteral("TTextForm"));
  // The editor under it waits until this window closes.
  setWindowModality(Qt::WindowModal);
  text_ = new QPlainTextEdit(this);
  text_->setToolTip(QStringLiteral("Type text here. New lines are allowed."));
  text_->setAccessibleName(QStringLiteral("Text"));
  text_->setTabChangesFocus(true);
  ok_ = Button("O&K", this);
  cancel_ = Button("&cancel", this);
  original_ = Button("&original", this);
  original_->setToolTip(QStringLiteral("Reload original content"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  buttons->addStretch();
  buttons->addWidget(original_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_, 1);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, [this] { finish(true); });
  connect(cancel_, &QPushButton::clicked, this, [this] { finish(false); });
  connect(original_, &QPushButton::clicked, this, [this] { text_->setPlainText(original_text_); });
}

void MultiLineWindow::openOn(const QString& caption, const std::string& text, const std::string& original,
                             Store store) {
  setWindowTitle(caption);
  setAccessibleName(caption);
  store_ = std::move(store);
  shown_ = QString::fromStdString(text);
  original_text_ = QString::fromStdString(original);
  text_->setPlainText(shown_);
  const WindowPlace& place = options_.textWindow;
  resize(std::max(200, options_.textWindowWidth), std::max(120, options_.textWindowHeight));
  if (place.left != 0 || place.top != 0) move(place.left, place.top);
  show();
  raise();
  activateWindow();
  text_->setFocus();
}

bool MultiLineWindow::changed() const { return text_->toPlainText() != shown_; }

void MultiLineWindow::finish(bool keep) {
  if (finishing_) return;
  finishing_ = true;
  if (keep && changed() && store_) store_(text_->toPlainText().toStdString());
  store_ = nullptr;
  options_.textWindow = {x(), y()};
  options_.textWindowWidth = width();
  options_.textWindowHeight = height();
  hide();
  finishing_ = false;
}

void MultiLineWindow::discard() {
  if (isVisible()) finish(false);
}

bool MultiLineWindow::leaveAsked() {
  if (!changed()) {
    finish(false);
    return true;
  }
  const int answer = ask_ ? ask_(kSaveQuestion, kMsgQuestion | kMsgModal | kMsgEscapeAnswers, "prompt") : kAnswerNo;
  if (answer == kAnswerEscape) return false;  // back to the text
  finish(answer == kAnswerYes);
  return true;
}

void MultiLineWindow::closeEvent(QCloseEvent* event) {
  if (finishing_ || !isVisible()) {
    QDialog::closeEvent(event);
    return;
  }
  if (!leaveAsked()) event->ignore();
}

void MultiLineWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    leaveAsked();
    return;
  }
  // Enter belongs to the text area; the buttons take their mnemonics.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
  QDialog::keyPressEvent(event);
}

}  // namespace quorvel
