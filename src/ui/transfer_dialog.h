#pragma once
// "tag data transfer": which of the seven common fields to copy between the
// ID3v1 and the ID3v2 editor, and how. The dialog edits the settings word
// (tags/transfer.h); the transfer itself runs in the editors' models.

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "tags/transfer.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace quorvel {

struct TransferChoice {
  TransferDirection direction;
  uint32_t settings;  // the working word
  bool showNextTime;
};

class TransferDialog : public QDialog {
  Q_OBJECT

 public:
  using Ask = std::function<int(const std::string& text, int kind, const std::string& caption)>;
  explicit TransferDialog(Ask ask, QWidget* parent = nullptr);

  // Shows the dialog for a direction with the remembered words of both
  // directions; the choice made with OK, or nothing.
  std::optional<TransferChoice> choose(TransferDirection direction, uint32_t rememberedV1ToV2,
                                       uint32_t rememberedV2ToV1);
  // Opens the dialog without waiting (tests): set up as choose() does.
  void prepare(TransferDirection direction, uint32_t rememberedV1ToV2, uint32_t rememberedV2ToV1);

  uint32_t settings() const { return word_; }
  TransferDirection direction() const { return direction_; }
  QLabel* titleLabel() const { return title_; }
  QCheckBox* fieldBox(int index) const { return fields_[static_cast<size_t>(index)]; }  // title .. track
  QCheckBox* bothWaysBox() const { return bothWays_; }
  QRadioButton* overwriteButton() const { return overwrite_; }
  QRadioButton* blankOnlyButton() const { return blankOnly_; }
  QRadioButton* rememberButton() const { return remember_; }
  QRadioButton* defaultsButton() const { return defaults_; }
  QCheckBox* showNextTimeBox() const { return showNextTime_; }
  QPushButton* checkAllButton() const { return checkAll_; }
  QPushButton* uncheckAllButton() const { return uncheckAll_; }
  QPushButton* okButton() const { return ok_; }
  // A double-click on the title: the question whether to turn the direction.
  void askChangeDirection();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void done(int result) override;

 private:
  void setUp(TransferDirection direction);
  void showWord();
  void setBit(uint32_t bit, bool on);

  Ask ask_;
  TransferDirection direction_ = TransferDirection::kV1ToV2;
  std::array<uint32_t, 2> remembered_{kTransferDefault, kTransferDefault};
  uint32_t word_ = kTransferDefault;
  bool showing_ = false;
  bool asking_ = false;
  bool closing_ = false;  // OK or Cancel is closing the dialog
  QLabel* title_ = nullptr;
  std::array<QCheckBox*, 7> fields_{};
  QCheckBox* bothWays_ = nullptr;
  QRadioButton* overwrite_ = nullptr;
  QRadioButton* blankOnly_ = nullptr;
  QRadioButton* remember_ = nullptr;
  QRadioButton* defaults_ = nullptr;
  QCheckBox* showNextTime_ = nullptr;
  QPushButton* checkAll_ = nullptr;
  QPushButton* uncheckAll_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace quorvel
