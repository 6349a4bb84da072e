#include "ui/fade_dialog.h"

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

FadeDialog::FadeDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Fade In/Out"));
  setObjectName(QStringLiteral("TFadeForm"));
  setAccessibleName(windowTitle());
  setMinimumWidth(300);
  auto* layout = new QVBoxLayout(this);
  label_ = new QLabel(this);
  label_->setAlignment(Qt::AlignCenter);
  layout->addWidget(label_);
  slider_ = GainStepSlider(QStringLiteral("Slide the trackbar left-right"), this);
  layout->addWidget(slider_);
  in_ = new QRadioButton(QStringLiteral("Fade in"), this);
  out_ = new QRadioButton(QStringLiteral("Fade out"), this);
  in_->setAccessibleName(in_->text());
  out_->setAccessibleName(out_->text());
  auto* directions = new QHBoxLayout;
  directions->addWidget(in_);
  directions->addWidget(out_);
  layout->addLayout(directions);
  ok_ = AddAcceptButton(this, layout, QStringLiteral("O&K"));
  connect(slider_, &QSlider::valueChanged, this, &FadeDialog::sliderMoved);
  CancelWhenLeft(this);
}

void FadeDialog::sliderMoved(int position) {
  label_->setText(QString::fromStdString(FadeLabelText(position)));
  ok_->setEnabled(FadeOkEnabled(position));
}

void FadeDialog::prepare(const FadeDialogState& state) {
  slider_->setValue(state.magnitude);
  sliderMoved(state.magnitude);
  (state.fadeIn ? in_ : out_)->setChecked(true);
  slider_->setFocus();
}

std::optional<FadeChoice> FadeDialog::choose(const FadeDialogState& state) {
  prepare(state);
  if (exec() != Accepted || !FadeOkEnabled(slider_->value())) return std::nullopt;
  return FadeChoice{slider_->value(), in_->isChecked()};
}

}  // namespace quorvel
