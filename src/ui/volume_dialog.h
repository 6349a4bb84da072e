#pragma once
// "Volume and balance change": a slider of 1.5 dB steps and the channel choice.
// The dialog shows the state the engine prepared and hands back the choice.

#include <QDialog>
#include <array>
#include <optional>

#include "core/edit_inputs.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

namespace quorvel {

class VolumeDialog : public QDialog {
  Q_OBJECT

 public:
  explicit VolumeDialog(QWidget* parent = nullptr);
  // Shows the dialog modally; the accepted choice, or nothing when cancelled.
  std::optional<VolumeChoice> choose(const VolumeDialogState& state);

  QSlider* slider() const { return slider_; }
  QPushButton* okButton() const { return ok_; }
  const std::array<QLabel*, 4>& stereoWarnings() const { return warnings_; }

 private:
  void sliderMoved(int position);

  QSlider* slider_ = nullptr;
  QLabel* centre_ = nullptr;
  QRadioButton* both_ = nullptr;
  QRadioButton* left_ = nullptr;
  QRadioButton* right_ = nullptr;
  std::array<QLabel*, 4> warnings_{};
  QPushButton* ok_ = nullptr;
};

}  // namespace quorvel
