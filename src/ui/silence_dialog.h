#pragma once
// "Add blank frames (silence)": the length box with its four step buttons,
// the bitrate, frequency and mode lists, and where the silence goes. The
// arithmetic is the engine's (core/edit_dialogs.h); the dialog draws it.

#include <QDialog>
#include <array>
#include <optional>

#include "core/edit_inputs.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace quorvel {

class SilenceDialog : public QDialog {
  Q_OBJECT

 public:
  enum Step { kFrameUp, kFrameDown, kSecondUp, kSecondDown };

  explicit SilenceDialog(QWidget* parent = nullptr);
  std::optional<SilenceChoice> choose(const SilenceDialogState& state);
  void prepare(const SilenceDialogState& state);
  // What OK would hand back now (nothing while the box is invalid or 0).
  std::optional<SilenceChoice> choice() const;

  QLineEdit* lengthBox() const { return length_; }
  QPushButton* stepButton(Step step) const { return steps_[step]; }
  QComboBox* bitrateList() const { return bitrate_; }
  QComboBox* frequencyList() const { return frequency_; }
  QComboBox* modeList() const { return mode_; }
  QLabel* placementLabel() const { return placement_; }
  QPushButton* okButton() const { return ok_; }
  bool lengthInvalid() const;
  int32_t count() const { return count_; }

  // The held step button's repetition: a press starts it, every tick of its
  // timer calls repeatTick(), which repeats from the second tick on and
  // shortens the interval; a release stops it. Tests call repeatTick().
  void repeatTick();
  int repeatInterval() const { return repeatInterval_; }
  bool repeating() const;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void lengthEdited();
  void step(Step step);
  void showCount();
  int freqIndex() const;

  QLineEdit* length_ = nullptr;
  std::array<QPushButton*, 4> steps_{};
  QComboBox* bitrate_ = nullptr;
  QComboBox* frequency_ = nullptr;
  QComboBox* mode_ = nullptr;
  QLabel* placement_ = nullptr;
  QPushButton* ok_ = nullptr;
  QTimer* repeat_ = nullptr;
  int32_t count_ = 0;
  bool valid_ = true;
  Step held_ = kFrameUp;
  bool armed_ = false;
  int repeatInterval_ = 0;
  int version_ = 3;  // the document's MPEG version code
};

}  // namespace quorvel
