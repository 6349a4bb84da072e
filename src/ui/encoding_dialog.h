#pragma once
// The dialog in which the user confirms or forces the encoding of a text file
// loaded into an ID3v2 text field, and gives its language and content
// description. The preview shows the file decoded as chosen.

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tags/text_encoding.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quorvel {

struct Options;

class EncodingDialog : public QDialog {
  Q_OBJECT

 public:
  using Message = std::function<void(const std::string& text, int kind, const std::string& caption)>;

  EncodingDialog(Options& options, Message message, QWidget* parent = nullptr);

  // Sets the dialog up for a field (caption: its catalogue description) and
  // the file's bytes: the remembered settings when "remember settings" is on,
  // otherwise "Autodetect", the first description choice, no description and
  // "eng"; the encoding choice is applied at once.
  void prepare(const TextLoadDialogSetup& setup, const QString& caption);
  // prepare(), then the dialog until "O&K" (the answer) or Esc (nothing).
  std::optional<TextLoadDialogAnswer> choose(const TextLoadDialogSetup& setup, const QString& caption);
  // What the controls hold now.
  TextLoadDialogAnswer answer() const;

  QComboBox* encodingList() const { return encoding_; }
  QLabel* detectionLine() const { return detection_; }
  QPlainTextEdit* preview() const { return preview_; }
  QComboBox* descriptionList() const { return descriptionChoice_; }
  QLineEdit* descriptionBox() const { return description_; }
  QLineEdit* languageBox() const { return language_; }
  QCheckBox* rememberBox() const { return remember_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* helpButton() const { return help_; }
  QLabel* titleLabel() const { return title_; }

  // Closing stores the position and the settings in the options.
  void done(int result) override;

 private:
  void applyEncoding(int choice);

  Options& options_;
  Message message_;
  std::vector<uint8_t> data_;
  QLabel* title_ = nullptr;
  QComboBox* encoding_ = nullptr;
  QLabel* detection_ = nullptr;
  QPushButton* help_ = nullptr;
  QPlainTextEdit* preview_ = nullptr;
  QComboBox* descriptionChoice_ = nullptr;
  QLineEdit* description_ = nullptr;
  QLineEdit* language_ = nullptr;
  QCheckBox* remember_ = nullptr;
  QPushButton* ok_ = nullptr;
  QWidget* encodingGroup_ = nullptr;
  QWidget* descriptionGroup_ = nullptr;
  QWidget* languageGroup_ = nullptr;
};

}  // namespace quorvel
