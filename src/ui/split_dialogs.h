#pragma once
// " Save the selection as" and " File split": they draw the state the engine
// prepared (output/split.h), let the user choose names and attach boxes, and
// hand back the state accepted with "O&K". Name buttons and part switches go
// through the engine's functions, so colours, labels and "O&K" follow its rules.

#include <QDialog>
#include <array>
#include <optional>

#include "core/context.h"
#include "core/split_inputs.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace quorvel {

// The name, its coloured button and label, and the six attach boxes of one output file.
struct FileWidgets {
  QPushButton* name = nullptr;
  QLabel* label = nullptr;
  std::array<QCheckBox*, kAttachKinds> attach{};
};

class SaveSelectionDialog : public QDialog {
  Q_OBJECT

 public:
  SaveSelectionDialog(Context& ctx, QWidget* parent);
  // Shows the dialog modally; the accepted state, or nothing when cancelled.
  std::optional<SaveSelectionDialogState> choose(const SaveSelectionDialogState& state);

  QPushButton* nameButton() const { return file_.name; }
  QLabel* nameLabel() const { return file_.label; }
  QCheckBox* attachBox(int kind) const { return file_.attach[static_cast<size_t>(kind)]; }
  QPushButton* okButton() const { return ok_; }
  QLabel* noteLabel() const { return note_; }

 private:
  void display(const SaveSelectionDialogState& state);

  Context& ctx_;
  SaveSelectionDialogState state_;
  FileWidgets file_;
  QLabel* note_ = nullptr;
  QPushButton* ok_ = nullptr;
};

class SplitDialog : public QDialog {
  Q_OBJECT

 public:
  SplitDialog(Context& ctx, QWidget* parent);
  std::optional<SplitDialogState> choose(const SplitDialogState& state);

  QCheckBox* partSwitch(int part) const { return switches_[static_cast<size_t>(part)]; }
  QGroupBox* partBox(int part) const { return boxes_[static_cast<size_t>(part)]; }
  QPushButton* nameButton(int part) const { return files_[static_cast<size_t>(part)].name; }
  QLabel* nameLabel(int part) const { return files_[static_cast<size_t>(part)].label; }
  QCheckBox* attachBox(int part, int kind) const {
    return files_[static_cast<size_t>(part)].attach[static_cast<size_t>(kind)];
  }
  QPushButton* saveSelectionButton() const { return justSelection_; }
  QPushButton* okButton() const { return ok_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void display(const SplitDialogState& state);
  // The part whose switch, name button, label or boxes hold the focus, or -1.
  int focusedPart() const;

  Context& ctx_;
  SplitDialogState state_;
  std::array<QCheckBox*, 3> switches_{};
  std::array<QGroupBox*, 3> boxes_{};
  std::array<FileWidgets, 3> files_{};
  QPushButton* justSelection_ = nullptr;
  QLabel* note_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace quorvel
