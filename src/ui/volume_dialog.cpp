#include "ui/volume_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "core/edit_dialogs.h"
#include "ui/dialog_parts.h"
#include "ui/window_manners.h"

namespace quorvel {

VolumeDialog::VolumeDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Volume and balance change"));
  setObjectName(QStringLiteral("TAmplifyForm"));
  auto* layout = new QVBoxLayout(this);
  auto* labels = new QHBoxLayout;
  labels->addWidget(new QLabel(QStringLiteral("-30 dB"), this));
  labels->addStretch();
  centre_ = new QLabel(this);
  centre_->setAlignment(Qt::AlignCenter);
  labels->addWidget(centre_);
  labels->addStretch();
  labels->addWidget(new QLabel(QStringLiteral("+30 dB"), this));
  layout->addLayout(labels);
  slider_ = GainStepSlider(QStringLiteral("Alter the volume by sliding\nthe trackbar left-right"), this);
  layout->addWidget(slider_);
  both_ = new QRadioButton(QStringLiteral("&Both channels"), this);
  left_ = new QRadioButton(QStringLiteral("&Left channel"), this);
  right_ = new QRadioButton(QStringLiteral("&Right channel"), this);
  for (QRadioButton* r : {left_, right_}) r->setToolTip(QStringLiteral("Results may vary in joint stereo mode"));
  // The channel row: a warning on each side of both single-channel choices.
  auto* channels = new QHBoxLayout;
  channels->addWidget(both_);
  for (size_t i = 0; i < warnings_.size(); ++i) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("stereoWarning%1").arg(i + 1));
    label->setStyleSheet(QStringLiteral("color: red"));
    warnings_[i] = label;
  }
  channels->addWidget(warnings_[0]);
  channels->addWidget(left_);
  channels->addWidget(warnings_[1]);
  channels->addWidget(warnings_[2]);
  channels->addWidget(right_);
  channels->addWidget(warnings_[3]);
  layout->addLayout(channels);
  ok_ = AddAcceptButton(this, layout, QStringLiteral("O&K"), QStringLiteral("Click to apply and close"));
  connect(slider_, &QSlider::valueChanged, this, &VolumeDialog::sliderMoved);
  CancelWhenLeft(this);
}

void VolumeDialog::sliderMoved(int position) {
  centre_->setText(QString::fromStdString(VolumeLabelText(position)));
  ok_->setEnabled(VolumeOkEnabled(position));
}

std::optional<VolumeChoice> VolumeDialog::choose(const VolumeDialogState& state) {
  slider_->setValue(state.sliderPosition);
  sliderMoved(state.sliderPosition);
  left_->setVisible(state.channelsOffered);
  right_->setVisible(state.channelsOffered);
  ChannelChoice channel = state.channelsOffered ? state.channel : ChannelChoice::kBoth;
  (channel == ChannelChoice::kLeft ? left_ : channel == ChannelChoice::kRight ? right_ : both_)->setChecked(true);
  for (QLabel* label : warnings_) {
    label->setText(QString::fromStdString(state.stereoWarning));
    label->setAccessibleName(label->text());
    label->setVisible(state.channelsOffered && !state.stereoWarning.empty());
  }
  slider_->setFocus();
  if (exec() != Accepted || !VolumeOkEnabled(slider_->value())) return std::nullopt;
  VolumeChoice choice;
  choice.volumeStep = slider_->value() - kVolumeSliderCentre;
  choice.channel = left_->isChecked() ? ChannelChoice::kLeft : right_->isChecked() ? ChannelChoice::kRight
                                                                                   : ChannelChoice::kBoth;
  return choice;
}

}  // namespace quorvel
