#include "ui/silence_dialog.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/edit_dialogs.h"
#include "ui/dialog_parts.h"
#include "ui/window_manners.h"

namespace quorvel {

namespace {

const char* const kInvalidStyle = "QLineEdit { background: rgb(255, 0, 0); color: rgb(255, 255, 255); }";

struct StepButton {
  const char* caption;
  const char* hint;
};
constexpr std::array<StepButton, 4> kStepButtons = {{
    {"\u25b4", "Increase by one frame"},
    {"\u25be", "Decrease by one frame"},
    {"\u25b2", "Increase by approximately 1s"},
    {"\u25bc", "Decrease by approximately 1s"},
}};

QComboBox* List(const char* hint, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->setToolTip(QString::fromUtf8(hint));
  list->setAccessibleName(QString::fromUtf8(hint));
  list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return list;
}

}  // namespace

SilenceDialog::SilenceDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Add blank frames (silence)"));
  setObjectName(QStringLiteral("TSilenceForm"));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);

  auto* lengthRow = new QHBoxLayout;
  auto* lengthLabel = new QLabel(QStringLiteral("&Silence length [sec]:"), this);
  length_ = new QLineEdit(this);
  length_->setMaxLength(8);
  length_->setToolTip(QStringLiteral("Enter a numeric value"));
  length_->setAccessibleName(QStringLiteral("Silence length [sec]:"));
  lengthLabel->setBuddy(length_);
  lengthRow->addWidget(lengthLabel);
  lengthRow->addWidget(length_);
  auto* stepGrid = new QGridLayout;
  stepGrid->setSpacing(1);
  for (size_t i = 0; i < steps_.size(); ++i) {
    steps_[i] = new QPushButton(QString::fromUtf8(kStepButtons[i].caption), this);
    steps_[i]->setToolTip(QString::fromUtf8(kStepButtons[i].hint));
    steps_[i]->setAccessibleName(QString::fromUtf8(kStepButtons[i].hint));
    steps_[i]->setAutoDefault(false);
    steps_[i]->setFocusPolicy(Qt::NoFocus);
    int width = steps_[i]->fontMetrics().horizontalAdvance(steps_[i]->text()) + 14;
    steps_[i]->setFixedWidth(std::max(width, 24));
    // Frame steps on the left, second steps on the right; up above down.
    stepGrid->addWidget(steps_[i], static_cast<int>(i % 2), static_cast<int>(i / 2));
    const auto which = static_cast<Step>(i);
    connect(steps_[i], &QPushButton::pressed, this, [this, which] {
      held_ = which;
      step(which);
      armed_ = false;
      repeatInterval_ = kSilenceRepeatStartMs;
      repeat_->start(repeatInterval_);
    });
    connect(steps_[i], &QPushButton::released, this, [this] {
      repeat_->stop();
      repeatInterval_ = kSilenceRepeatStartMs;
    });
  }
  lengthRow->addLayout(stepGrid);
  layout->addLayout(lengthRow);
  layout->addWidget(new QLabel(QStringLiteral("Max. length is 256K frames"), this));
  placement_ = new QLabel(this);
  placement_->setToolTip(
      QStringLiteral("Indicates if the silence will replace the\nselection or be inserted at the cursor spot"));
  placement_->setStyleSheet(QStringLiteral("font-weight: bold"));
  layout->addWidget(placement_);

  bitrate_ = List("Choose the silence bitrate", this);
  frequency_ = List("Choose the silence frequency", this);
  mode_ = List("Choose the silence stereo mode", this);
  for (QComboBox* list : {bitrate_, frequency_, mode_}) layout->addWidget(list);
  connect(frequency_, &QComboBox::currentIndexChanged, this, [this] { lengthEdited(); });

  ok_ = AddAcceptButton(this, layout, QStringLiteral("OK"),
                        QStringLiteral("Accept changes and close\n(alternatively, press Enter key)"));
  connect(length_, &QLineEdit::textEdited, this, [this] { lengthEdited(); });

  repeat_ = new QTimer(this);
  repeatInterval_ = kSilenceRepeatStartMs;
  connect(repeat_, &QTimer::timeout, this, &SilenceDialog::repeatTick);
  CancelWhenLeft(this);
}

int SilenceDialog::freqIndex() const {
  return SilenceFrequencyOfItem(std::max(0, frequency_->currentIndex()));
}

void SilenceDialog::prepare(const SilenceDialogState& state) {
  repeat_->stop();
  version_ = state.version;
  for (auto [list, items, selected] :
       {std::tuple{bitrate_, &state.bitrateItems, state.bitrateSelected},
        std::tuple{frequency_, &state.frequencyItems, state.frequencySelected},
        std::tuple{mode_, &state.modeItems, state.modeSelected}}) {
    QSignalBlocker block(list);
    list->clear();
    for (const std::string& item : *items) list->addItem(QString::fromStdString(item));
    list->setCurrentIndex(selected);
  }
  placement_->setText(QString::fromStdString(state.placementLabel));
  length_->setText(QString::fromStdString(state.lengthText));
  lengthEdited();
  count_ = state.presetCount > 0 && valid_ ? std::min(state.presetCount, kMaxSilenceFrames) : count_;
  ok_->setEnabled(valid_ && count_ > 0);
  length_->setFocus();
  length_->selectAll();
}

void SilenceDialog::lengthEdited() {
  SilenceLength length = SilenceLengthFromText(length_->text().toStdString(), freqIndex(), version_);
  valid_ = length.valid;
  count_ = length.valid ? length.count : 0;
  if (length.limited) length_->setText(QString::fromStdString(length.boxText));
  length_->setStyleSheet(valid_ ? QString() : QString::fromUtf8(kInvalidStyle));
  ok_->setEnabled(SilenceOkEnabled(length));
}

bool SilenceDialog::lengthInvalid() const { return !valid_; }

void SilenceDialog::step(Step which) {
  SilenceLength length = SilenceLengthFromText(length_->text().toStdString(), freqIndex(), version_);
  int32_t current = length.valid ? length.count : 0;
  double seconds = length.valid ? length.seconds : 0.0;
  switch (which) {
    case kFrameUp: count_ = SilenceStepFrame(current, true); break;
    case kFrameDown: count_ = SilenceStepFrame(current, false); break;
    case kSecondUp: count_ = SilenceStepSecond(seconds, true, freqIndex(), version_); break;
    case kSecondDown: count_ = SilenceStepSecond(seconds, false, freqIndex(), version_); break;
  }
  showCount();
}

void SilenceDialog::showCount() {
  length_->setText(QString::fromStdString(SilenceCountText(count_, freqIndex(), version_)));
  lengthEdited();
}

void SilenceDialog::repeatTick() {
  // The first tick after the press only arms the repetition.
  if (!armed_) {
    armed_ = true;
    return;
  }
  step(held_);
  repeatInterval_ = SilenceRepeatInterval(repeatInterval_);
  if (repeat_->isActive()) repeat_->setInterval(repeatInterval_);
}

bool SilenceDialog::repeating() const { return repeat_->isActive(); }

std::optional<SilenceChoice> SilenceDialog::choice() const {
  if (!valid_ || count_ <= 0) return std::nullopt;
  SilenceChoice c;
  c.count = count_;
  c.bitrate = static_cast<uint8_t>(bitrate_->currentIndex() + 1);
  c.frequency = SilenceFrequencyOfItem(frequency_->currentIndex());
  c.mode = static_cast<uint8_t>(std::max(0, mode_->currentIndex()));
  return c;
}

std::optional<SilenceChoice> SilenceDialog::choose(const SilenceDialogState& state) {
  prepare(state);
  int result = exec();
  repeat_->stop();
  if (result != Accepted) return std::nullopt;
  return choice();
}

void SilenceDialog::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  // A blocked timer must not go on stepping.
  if (event->type() == QEvent::ActivationChange && !isActiveWindow()) repeat_->stop();
}

}  // namespace quorvel
