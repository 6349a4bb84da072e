#include "ui/encoding_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/options.h"
#include "tags/message_kind.h"

namespace quorvel {

namespace {

constexpr const char* kDescriptionChoices[] = {"Enter in the textbox above", "Use 1st line from the file",
                                               "Use 1st zero separated string"};

QString Hint(const std::string& s) {
  QString q = QString::fromStdString(s);
  q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return q;
}

}  // namespace

EncodingDialog::EncodingDialog(Options& options, Message message, QWidget* parent)
    : QDialog(parent), options_(options), message_(std::move(message)) {
  setObjectName(QStringLiteral("TEncodingForm"));
  setModal(true);
  title_ = new QLabel(QStringLiteral("enter additional text field description"), this);

  auto* encodingGroup = new QGroupBox(QStringLiteral(" encoding "), this);
  encodingGroup_ = encodingGroup;
  encoding_ = new QComboBox(encodingGroup);
  for (int i = 0; i < kEncodingChoiceCount; ++i) encoding_->addItem(QString::fromUtf8(EncodingChoiceName(i)));
  encoding_->setAccessibleName(QStringLiteral("Encoding"));
  help_ = new QPushButton(QStringLiteral("?"), encodingGroup);
  help_->setFixedWidth(24);
  help_->setAccessibleName(QStringLiteral("encoding help"));
  help_->setAutoDefault(false);
  detection_ = new QLabel(encodingGroup);
  auto* encodingRow = new QHBoxLayout;
  encodingRow->addWidget(encoding_, 1);
  encodingRow->addWidget(help_);
  auto* encodingLayout = new QVBoxLayout(encodingGroup);
  encodingLayout->addLayout(encodingRow);
  encodingLayout->addWidget(detection_);

  preview_ = new QPlainTextEdit(this);
  preview_->setReadOnly(true);
  preview_->setAccessibleName(QStringLiteral("Preview"));
  preview_->setTabChangesFocus(true);

  auto* descriptionGroup = new QGroupBox(QStringLiteral(" content description "), this);
  descriptionGroup_ = descriptionGroup;
  description_ = new QLineEdit(descriptionGroup);
  description_->setMaxLength(static_cast<int>(kDescriptionMaxChars));
  description_->setToolTip(QStringLiteral("Type up to 1K of text here"));
  description_->setAccessibleName(QStringLiteral("Content description"));
  descriptionChoice_ = new QComboBox(descriptionGroup);
  for (const char* c : kDescriptionChoices) descriptionChoice_->addItem(QString::fromUtf8(c));
  descriptionChoice_->setAccessibleName(QStringLiteral("Content description source"));
  auto* descriptionLayout = new QVBoxLayout(descriptionGroup);
  descriptionLayout->addWidget(description_);
  descriptionLayout->addWidget(descriptionChoice_);

  auto* languageGroup = new QGroupBox(QStringLiteral(" language "), this);
  languageGroup_ = languageGroup;
  language_ = new QLineEdit(languageGroup);
  language_->setMaxLength(3);
  language_->setFixedWidth(48);
  language_->setToolTip(QStringLiteral("Type 3 English letters here"));
  language_->setAccessibleName(QStringLiteral("Language"));
  auto* languageNote = new QLabel(QStringLiteral("of informative nature only\ndoesn't influence the encoding"),
                                  languageGroup);
  auto* languageLayout = new QHBoxLayout(languageGroup);
  languageLayout->addWidget(language_);
  languageLayout->addWidget(languageNote, 1);

  remember_ = new QCheckBox(QStringLiteral("remember settings"), this);
  remember_->setToolTip(QStringLiteral("Use them next time"));
  remember_->setAccessibleName(remember_->text());
  ok_ = new QPushButton(QStringLiteral("O&K"), this);
  ok_->setAccessibleName(QStringLiteral("OK"));
  ok_->setDefault(true);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(remember_);
  bottom->addStretch();
  bottom->addWidget(ok_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title_);
  layout->addWidget(encodingGroup);
  layout->addWidget(preview_, 1);
  layout->addWidget(descriptionGroup);
  layout->addWidget(languageGroup);
  layout->addLayout(bottom);
  resize(534, 420);

  connect(encoding_, &QComboBox::activated, this, &EncodingDialog::applyEncoding);
  connect(help_, &QPushButton::clicked, this, [this] {
    if (message_) message_(kEncodingHelpText, kMsgModal, "encoding");
  });
  connect(remember_, &QCheckBox::toggled, this, [this](bool on) {
    options_.tagFlags = static_cast<uint8_t>(on ? options_.tagFlags | kTagFlagRememberEncodingDialog
                                                : options_.tagFlags & ~kTagFlagRememberEncodingDialog);
  });
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}

void EncodingDialog::prepare(const TextLoadDialogSetup& setup, const QString& caption) {
  setWindowTitle(caption);
  setAccessibleName(caption);
  data_.assign(setup.data.begin(), setup.data.end());
  encodingGroup_->setEnabled(setup.encodingEnabled);
  languageGroup_->setEnabled(setup.languageEnabled);
  descriptionGroup_->setEnabled(setup.descriptionEnabled);
  const bool remembered = (options_.tagFlags & kTagFlagRememberEncodingDialog) != 0;
  remember_->setChecked(remembered);
  int choice = kChoiceAutodetect;
  if (remembered) {
    choice = options_.encodingDialogValue < kEncodingChoiceCount ? options_.encodingDialogValue : kChoiceAutodetect;
    descriptionChoice_->setCurrentIndex(options_.encodingDialogMode % 3);
    description_->setText(QString::fromStdString(options_.encodingDialogText));
    language_->setText(QString::fromStdString(options_.encodingDialogLanguage));
  } else {
    descriptionChoice_->setCurrentIndex(kDescriptionTyped);
    description_->clear();
    language_->setText(QStringLiteral("eng"));
  }
  encoding_->setCurrentIndex(choice);
  applyEncoding(choice);
  const WindowPlace& place = options_.encodingDialog;
  if (place.left != 0 || place.top != 0) move(place.left, place.top);
}

void EncodingDialog::applyEncoding(int choice) {
  const EncodingChoiceView view = ApplyEncodingChoice(data_, choice);
  detection_->setText(QString::fromStdString(view.line));
  detection_->setToolTip(Hint(view.hint));
  preview_->setPlainText(QString::fromStdString(view.preview));
}

TextLoadDialogAnswer EncodingDialog::answer() const {
  TextLoadDialogAnswer a;
  a.encodingChoice = encoding_->currentIndex();
  a.descriptionChoice = descriptionChoice_->currentIndex();
  a.language = language_->text().toStdString();
  a.description = description_->text().toStdString();
  return a;
}

std::optional<TextLoadDialogAnswer> EncodingDialog::choose(const TextLoadDialogSetup& setup, const QString& caption) {
  prepare(setup, caption);
  if (exec() != QDialog::Accepted) return std::nullopt;
  return answer();
}

void EncodingDialog::done(int result) {
  options_.encodingDialog = {x(), y()};
  const TextLoadDialogAnswer a = answer();
  options_.encodingDialogValue = static_cast<uint8_t>(a.encodingChoice);
  options_.encodingDialogMode = static_cast<uint8_t>(a.descriptionChoice);
  options_.encodingDialogLanguage = a.language;
  if (remember_->isChecked()) options_.encodingDialogText = a.description;
  QDialog::done(result);
}

}  // namespace quorvel
