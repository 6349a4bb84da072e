#pragma once
// "multiple lines input: ...": a text area for a field's text with line
// breaks, opened from the ID3v2 editor. "O&K" keeps a changed text, "&cancel"
// drops it, "&original" puts the field's original text back into the area;
// leaving the window otherwise with a changed text asks first.

#include <QDialog>
#include <functional>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace quorvel {

struct Options;

class MultiLineWindow : public QDialog {
  Q_OBJECT

 public:
  using Ask = std::function<int(const std::string& text, int kind, const std::string& caption)>;
  using Store = std::function<void(const std::string& text)>;

  MultiLineWindow(Options& options, Ask ask, QWidget* parent = nullptr);

  // Shows `text` under the caption; `store` takes the text when it is kept.
  void openOn(const QString& caption, const std::string& text, const std::string& original, Store store);
  // Closes without keeping anything (the editor went away).
  void discard();
  bool changed() const;

  QPlainTextEdit* textArea() const { return text_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* originalButton() const { return original_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void finish(bool keep);
  // Leaving with a changed text: Yes keeps, No drops, Esc stays.
  bool leaveAsked();

  Options& options_;
  Ask ask_;
  Store store_;
  QString shown_;
  QString original_text_;
  bool finishing_ = false;
  QPlainTextEdit* text_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* original_ = nullptr;
};

}  // namespace quorvel
