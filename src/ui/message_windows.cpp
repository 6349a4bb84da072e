#include "ui/message_windows.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <limits>
#include <vector>

#include "core/host.h"
#include "ui/window_manners.h"

namespace quorvel {

namespace {

constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr uint8_t kStateMaximized = 2;

std::vector<std::string> CutLines(const std::string& text) {
  std::string all = text + "\r\n";
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at = all.find("\r\n"); at != std::string::npos; at = all.find("\r\n", start)) {
    lines.push_back(all.substr(start, at - start));
    start = at + 2;
  }
  return lines;
}

QStyle::StandardPixmap IconFor(int icon) {
  switch (icon) {
    case kMsgError: return QStyle::SP_MessageBoxCritical;
    case kMsgWarning: return QStyle::SP_MessageBoxWarning;
    case kMsgQuestion: return QStyle::SP_MessageBoxQuestion;
    default: return QStyle::SP_MessageBoxInformation;
  }
}

}  // namespace

QString DisplayText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

QSize MessageClientSize(const std::string& text, const QFontMetrics& metrics) {
  std::vector<std::string> lines = CutLines(text);
  int widest = -1;
  int widestWidth = 0;
  for (size_t i = lines.size(); i-- > 0;) {
    int w = metrics.horizontalAdvance(QString::fromStdString(lines[i]));
    if (w > 1 && w > widestWidth) {
      widestWidth = w;
      widest = static_cast<int>(i);
    }
  }
  QString measured = widest >= 0 ? QString::fromStdString(lines[static_cast<size_t>(widest)])
                                 : QString::fromStdString(text);
  int width = metrics.horizontalAdvance(measured);
  int height = metrics.height();
  return {width + 88, height * (static_cast<int>(lines.size()) + 2) + 52};
}

QPoint MessageLabelPosition(QSize client, QSize label) {
  return {(client.width() - (label.width() + 68)) / 2 + 68, (client.height() - (label.height() + 56)) / 2 + 8};
}

MessageWindow::MessageWindow(Type type, std::array<int32_t, 4>& place, uint8_t& state, QWidget* parent)
    : QDialog(parent), type_(type), place_(place), state_(state) {
  setWindowTitle(type == Type::kMessage ? QStringLiteral("info") : QStringLiteral("prompt"));
  setObjectName(type == Type::kMessage ? QStringLiteral("TMsgBoxForm") : QStringLiteral("TMsgBoxYesNoForm"));
  setSizeGripEnabled(false);
  label_ = new QLabel(this);
  label_->setTextFormat(Qt::PlainText);
  label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label_->setObjectName(QStringLiteral("messageText"));
  icon_ = new QLabel(this);
  icon_->setFixedSize(kIconSize, kIconSize);
  icon_->setObjectName(QStringLiteral("messageIcon"));
  icon_->setAccessibleName(QStringLiteral("icon"));
  if (type == Type::kMessage) {
    positive_ = new QPushButton(QStringLiteral("O&K"), this);
    positive_->setAccessibleName(QStringLiteral("OK"));
    connect(positive_, &QPushButton::clicked, this, [this] { finish(kAnswerYes); });
  } else {
    positive_ = new QPushButton(QStringLiteral("&YES"), this);
    negative_ = new QPushButton(QStringLiteral("&NO"), this);
    connect(positive_, &QPushButton::clicked, this, [this] { finish(kAnswerYes); });
    connect(negative_, &QPushButton::clicked, this, [this] { finish(kAnswerNo); });
  }
  for (QPushButton* b : {positive_, negative_}) {
    if (b == nullptr) continue;
    b->setFixedSize(kButtonWidth, kButtonHeight);
    b->setAutoDefault(false);
  }
  resize(400, 200);
}

void MessageWindow::applyRemembered() {
  // The settings are read after the windows are built: the place is taken
  // each time a message opens. Nothing remembered yet (0,0) opens centred
  // over the window it belongs to.
  QPoint corner(place_[0], place_[1]);
  if (corner.isNull()) {
    QWidget* over = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    corner = over != nullptr && over->isVisible()
                 ? over->geometry().center() - QPoint(width() / 2, height() / 2)
                 : QPoint(std::numeric_limits<int>::min(), std::numeric_limits<int>::min());
  }
  move(PlaceOnScreen(corner, size()));
}

void MessageWindow::prepare(const std::string& text, int kind, const std::string& caption) {
  if (showing_ && isVisible()) {
    // A new message replaces the one on the screen.
    modal_ = false;
    close();
  }
  kind_ = kind;
  int icon = MessageIcon(kind);
  if (icon <= kMsgQuestion) {
    icon_->setPixmap(style()->standardIcon(IconFor(icon), nullptr, this).pixmap(kIconSize, kIconSize));
    icon_->setAccessibleName(icon == kMsgError     ? QStringLiteral("error")
                             : icon == kMsgWarning ? QStringLiteral("warning")
                             : icon == kMsgQuestion ? QStringLiteral("question")
                                                    : QStringLiteral("information"));
  }
  setWindowTitle(QString::fromStdString(caption));
  label_->setText(DisplayText(text));
  label_->adjustSize();
  if (type_ == Type::kYesNo) {
    QFont f = font();
    if (kind & kMsgOkCancel) {
      positive_->setText(QStringLiteral("O&K"));
      negative_->setText(QStringLiteral("cancel"));
      positive_->setAccessibleName(QStringLiteral("OK"));
      negative_->setAccessibleName(QStringLiteral("cancel"));
      f.setPointSize(11);
      f.setBold(false);
    } else {
      positive_->setText(QStringLiteral("&YES"));
      negative_->setText(QStringLiteral("&NO"));
      positive_->setAccessibleName(QStringLiteral("YES"));
      negative_->setAccessibleName(QStringLiteral("NO"));
      f.setPointSize(12);
      f.setBold(true);
    }
    negative_->setFont(f);
  }
  QSize client = MessageClientSize(text, fontMetrics());
  setMinimumSize(client.width() - 8, client.height() - 4);
  if (state_ != kStateMaximized) resize(client);
  layOut();
  if (!isVisible()) applyRemembered();
}

void MessageWindow::showMessage(const std::string& text, int kind, const std::string& caption) {
  prepare(text, kind, caption);
  answer_ = 0;
  modal_ = (kind & kMsgModal) != 0;
  if (modal_) {
    if (state_ == kStateMaximized) setWindowState(windowState() | Qt::WindowMaximized);
    exec();
  } else {
    setModal(false);
    if (state_ == kStateMaximized) {
      showMaximized();
    } else {
      show();
    }
    raise();
    activateWindow();
  }
}

int MessageWindow::ask(const std::string& text, int kind, const std::string& caption) {
  prepare(text, kind, caption);
  answer_ = 0;
  modal_ = true;
  if (state_ == kStateMaximized) setWindowState(windowState() | Qt::WindowMaximized);
  exec();
  return answer_;
}

void MessageWindow::finish(int answer) {
  answer_ = answer;
  if (modal_) {
    done(answer == kAnswerYes ? Accepted : Rejected);
  } else {
    close();
  }
}

void MessageWindow::done(int result) {
  remember();
  showing_ = false;
  QDialog::done(result);
}

void MessageWindow::layOut() {
  QSize client = size();
  QSize labelSize = label_->sizeHint();
  label_->resize(labelSize);
  label_->move(MessageLabelPosition(client, labelSize));
  int bandTop = client.height() - kBandHeight;
  icon_->move(12, (bandTop - kIconSize) / 2);
  if (type_ == Type::kMessage) {
    positive_->move(client.width() - positive_->width() - 16, client.height() - positive_->height() - 6);
  } else {
    positive_->move(client.width() - positive_->width() - 18, client.height() - positive_->height() - 6);
    negative_->move(18, client.height() - negative_->height() - 6);
  }
}

void MessageWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  layOut();
  remember();
}

void MessageWindow::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  remember();
}

void MessageWindow::remember() {
  if (!showing_) return;
  bool maximized = (windowState() & Qt::WindowMaximized) != 0;
  state_ = maximized ? kStateMaximized : 0;
  if (!maximized) {
    place_ = {x(), y(), width(), height()};
  }
}

void MessageWindow::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter p(this);
  QColor band = isActiveWindow() ? palette().color(QPalette::Active, QPalette::Highlight)
                                 : palette().color(QPalette::Inactive, QPalette::Mid);
  p.fillRect(0, height() - kBandHeight, width(), kBandHeight, band);
}

void MessageWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    if (type_ == Type::kYesNo) {
      if (kind_ & kMsgEscapeAnswers) finish(kAnswerEscape);
    } else {
      finish(kAnswerNo);
    }
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void MessageWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  showing_ = true;
  answer_ = 0;
  if (type_ == Type::kYesNo) {
    QPushButton* focus = (kind_ & kMsgFocusNo) ? negative_ : positive_;
    focus->setDefault(true);
    (focus == positive_ ? negative_ : positive_)->setDefault(false);
    focus->setFocus();
  } else {
    positive_->setDefault(true);
    positive_->setFocus();
  }
}

void MessageWindow::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange) {
    update();
    QWidget* dialog = QApplication::activeModalWidget();
    // A dialog of the program that opens over it (a file dialog reopened
    // after an error) does not dismiss a message the user has not read yet.
    bool dialogOpened = dialog != nullptr && dialog != this;
    if (!isActiveWindow() && showing_ && !modal_ && isVisible() && !dialogOpened) {
      // A modeless window goes away when the user turns elsewhere.
      if (type_ == Type::kMessage) answer_ = kAnswerNo;
      close();
    }
  } else if (event->type() == QEvent::WindowStateChange) {
    remember();
  }
}

void MessageWindow::closeEvent(QCloseEvent* event) {
  remember();
  showing_ = false;
  if (type_ == Type::kYesNo && answer_ == 0 && modal_) {
    // Closing the question by its frame answers like the negative button, or
    // like Escape where Escape has its own answer (it cancels).
    answer_ = (kind_ & kMsgEscapeAnswers) ? kAnswerEscape : kAnswerNo;
  }
  QDialog::closeEvent(event);
}

}  // namespace quorvel
