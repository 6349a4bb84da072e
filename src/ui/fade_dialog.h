#pragma once
// "Fade In/Out": the magnitude slider (1.5 dB steps) and the direction. The
// dialog shows the state the engine prepared and hands back the choice.

#include <QDialog>
#include <optional>

#include "core/edit_inputs.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

namespace quorvel {

class FadeDialog : public QDialog {
  Q_OBJECT

 public:
  explicit FadeDialog(QWidget* parent = nullptr);
  // Shows the dialog modally; the accepted choice, or nothing when cancelled.
  std::optional<FadeChoice> choose(const FadeDialogState& state);
  // Sets the dialog up without waiting (tests and screenshots).
  void prepare(const FadeDialogState& state);

  QSlider* slider() const { return slider_; }
  QLabel* magnitudeLabel() const { return label_; }
  QRadioButton* fadeInButton() const { return in_; }
  QRadioButton* fadeOutButton() const { return out_; }
  QPushButton* okButton() const { return ok_; }

 private:
  void sliderMoved(int position);

  QSlider* slider_ = nullptr;
  QLabel* label_ = nullptr;
  QRadioButton* in_ = nullptr;
  QRadioButton* out_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace quorvel
