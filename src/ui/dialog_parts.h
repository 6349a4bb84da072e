#pragma once
// Pieces the editing dialogs share: the 0..40 slider of 1.5 dB steps and the
// row with the default button that accepts the dialog.

#include <QBoxLayout>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSlider>

#include "core/edit_dialogs.h"

namespace quorvel {

// A horizontal slider over the gain steps, one step a page, with its hint
// (line breaks as "\n") also as its accessible name (on one line).
inline QSlider* GainStepSlider(const QString& hint, QWidget* parent) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setRange(0, kGainSliderMax);
  slider->setPageStep(1);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setToolTip(hint);
  slider->setAccessibleName(QString(hint).replace(QLatin1Char('\n'), QLatin1Char(' ')));
  return slider;
}

// The default button at the right of a row of its own under layout; a click
// accepts the dialog.
inline QPushButton* AddAcceptButton(QDialog* dialog, QBoxLayout* layout, const QString& caption,
                                    const QString& hint = QString()) {
  auto* ok = new QPushButton(caption, dialog);
  if (!hint.isEmpty()) ok->setToolTip(hint);
  ok->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
  ok->setDefault(true);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  layout->addLayout(row);
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  return ok;
}

}  // namespace quorvel
