#include "ui/transfer_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "tags/message_kind.h"

namespace quorvel {

namespace {

constexpr std::array<uint32_t, 7> kFieldBits = {kTransferTitle,   kTransferArtist, kTransferAlbum, kTransferGenre,
                                                kTransferComment, kTransferYear,   kTransferTrack};
constexpr std::array<const char*, 7> kFieldCaptions = {"title", "artist", "album", "genre",
                                                       "comment", "year", "track *"};

size_t Slot(TransferDirection direction) { return direction == TransferDirection::kV1ToV2 ? 0 : 1; }

}  // namespace

TransferDialog::TransferDialog(Ask ask, QWidget* parent) : QDialog(parent), ask_(std::move(ask)) {
  setObjectName(QStringLiteral("TTagTransferForm"));
  setWindowTitle(QStringLiteral("tag data transfer"));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);
  title_ = new QLabel(this);
  title_->setAlignment(Qt::AlignCenter);
  title_->installEventFilter(this);
  title_->setToolTip(QStringLiteral("Double-click to change the direction"));
  layout->addWidget(title_);

  auto* grid = new QGridLayout;
  for (size_t i = 0; i < fields_.size(); ++i) {
    fields_[i] = new QCheckBox(QString::fromUtf8(kFieldCaptions[i]), this);
    fields_[i]->setAccessibleName(fields_[i]->text());
    grid->addWidget(fields_[i], static_cast<int>(i % 4), static_cast<int>(i / 4));
    uint32_t bit = kFieldBits[i];
    connect(fields_[i], &QCheckBox::toggled, this, [this, bit](bool on) { setBit(bit, on); });
  }
  checkAll_ = new QPushButton(QStringLiteral("ch&eck all"), this);
  uncheckAll_ = new QPushButton(QStringLiteral("uncheck all"), this);
  layout->addLayout(grid);
  auto* all = new QHBoxLayout;
  all->addWidget(checkAll_);
  all->addWidget(uncheckAll_);
  layout->addLayout(all);
  for (QPushButton* b : {checkAll_, uncheckAll_}) b->setAccessibleName(b->text().remove(QLatin1Char('&')));
  connect(checkAll_, &QPushButton::clicked, this, [this] {
    for (QCheckBox* box : fields_) box->setChecked(true);
  });
  connect(uncheckAll_, &QPushButton::clicked, this, [this] {
    for (QCheckBox* box : fields_) box->setChecked(false);
  });

  bothWays_ = new QCheckBox(QStringLiteral("sa&me settings for opposite way transfer"), this);
  bothWays_->setAccessibleName(QStringLiteral("same settings for opposite way transfer"));
  connect(bothWays_, &QCheckBox::toggled, this, [this](bool on) { setBit(kTransferBothWays, on); });
  layout->addWidget(bothWays_);

  auto* behaviour = new QGroupBox(QStringLiteral(" &behavior "), this);
  auto* behaviourLayout = new QVBoxLayout(behaviour);
  overwrite_ = new QRadioButton(QStringLiteral("&overwrite existing fields"), behaviour);
  blankOnly_ = new QRadioButton(QStringLiteral("transfer &data only if target field is blank"), behaviour);
  behaviourLayout->addWidget(overwrite_);
  behaviourLayout->addWidget(blankOnly_);
  layout->addWidget(behaviour);
  connect(overwrite_, &QRadioButton::toggled, this, [this](bool on) { setBit(kTransferOverwrite, on); });

  auto* nextTime = new QGroupBox(QStringLiteral(" &next time "), this);
  auto* nextLayout = new QVBoxLayout(nextTime);
  remember_ = new QRadioButton(QStringLiteral("remember and use t&hese settings"), nextTime);
  defaults_ = new QRadioButton(QStringLiteral("&use default settings (overwrite all)"), nextTime);
  nextLayout->addWidget(remember_);
  nextLayout->addWidget(defaults_);
  layout->addWidget(nextTime);
  connect(remember_, &QRadioButton::toggled, this, [this](bool on) { setBit(kTransferRemember, on); });
  for (QRadioButton* r : {overwrite_, blankOnly_, remember_, defaults_})
    r->setAccessibleName(r->text().remove(QLatin1Char('&')));
  behaviour->setAccessibleName(QStringLiteral("behavior"));
  nextTime->setAccessibleName(QStringLiteral("next time"));

  showNextTime_ = new QCheckBox(QStringLiteral("&show this dialog next time"), this);
  showNextTime_->setAccessibleName(QStringLiteral("show this dialog next time"));
  layout->addWidget(showNextTime_);

  ok_ = new QPushButton(QStringLiteral("O&K"), this);
  ok_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  ok_->setAccessibleName(QStringLiteral("OK"));
  cancel_->setAccessibleName(QStringLiteral("Cancel"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void TransferDialog::setBit(uint32_t bit, bool on) {
  if (showing_) return;
  word_ = on ? word_ | bit : word_ & ~bit;
}

void TransferDialog::setUp(TransferDirection direction) {
  direction_ = direction;
  title_->setText(QString::fromUtf8(TransferDialogTitle(direction)));
  fields_[6]->setToolTip(direction == TransferDirection::kV2ToV1 ? QString::fromUtf8(kTransferTrackHint).replace(
                                                                        QStringLiteral("\r\n"), QStringLiteral("\n"))
                                                                  : QString());
  uint32_t remembered = remembered_[Slot(direction)];
  word_ = TransferDialogStartSettings(remembered);
  if (!(remembered & kTransferRemember)) word_ = kTransferDefault;  // all fields, overwrite, defaults next time
  showWord();
}

void TransferDialog::showWord() {
  showing_ = true;
  for (size_t i = 0; i < fields_.size(); ++i) fields_[i]->setChecked(word_ & kFieldBits[i]);
  bothWays_->setChecked(word_ & kTransferBothWays);
  (word_ & kTransferOverwrite ? overwrite_ : blankOnly_)->setChecked(true);
  (word_ & kTransferRemember ? remember_ : defaults_)->setChecked(true);
  showing_ = false;
}

void TransferDialog::prepare(TransferDirection direction, uint32_t rememberedV1ToV2, uint32_t rememberedV2ToV1) {
  remembered_ = {rememberedV1ToV2, rememberedV2ToV1};
  showNextTime_->setChecked(true);
  setUp(direction);
  ok_->setFocus();
}

std::optional<TransferChoice> TransferDialog::choose(TransferDirection direction, uint32_t rememberedV1ToV2,
                                                     uint32_t rememberedV2ToV1) {
  prepare(direction, rememberedV1ToV2, rememberedV2ToV1);
  if (exec() != Accepted) return std::nullopt;
  return TransferChoice{direction_, word_, showNextTime_->isChecked()};
}

void TransferDialog::askChangeDirection() {
  asking_ = true;
  int answer = ask_ ? ask_(TransferChangeDirectionQuestion(direction_),
                           kMsgQuestion | kMsgModal | kMsgEscapeAnswers, "change direction?")
                    : kAnswerNo;
  asking_ = false;
  if (answer == kAnswerYes) {
    setUp(direction_ == TransferDirection::kV1ToV2 ? TransferDirection::kV2ToV1 : TransferDirection::kV1ToV2);
  } else if (answer == kAnswerEscape) {
    reject();  // Cancel in the three-way question closes the dialog
  }
}

bool TransferDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == title_ && event->type() == QEvent::MouseButtonDblClick) {
    askChangeDirection();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TransferDialog::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  // Another program taking the focus closes the dialog without a transfer; the
  // program's own question windows do not. Hiding the dialog on OK deactivates
  // it as well, which must not turn that OK into a Cancel.
  if (event->type() == QEvent::ActivationChange && !closing_ && isVisible() && !isActiveWindow() && !asking_ &&
      QApplication::activeWindow() == nullptr && QApplication::activeModalWidget() == this) {
    reject();
  }
}

void TransferDialog::done(int result) {
  closing_ = true;
  QDialog::done(result);
  closing_ = false;
}

}  // namespace quorvel
