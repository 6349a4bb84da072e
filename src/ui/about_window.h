#pragma once
// The "about" window: the program's name, version and build date, the Qt
// version it runs on, the settings folder and the log path, and a button that
// hands the settings folder to the desktop.

#include <QDialog>

class QLabel;
class QPushButton;

namespace quorvel {

struct Context;

class AboutWindow : public QDialog {
  Q_OBJECT

 public:
  AboutWindow(Context& ctx, QWidget* parent = nullptr);

  // Reads the texts again (the log path and the folders may have changed).
  void refresh();

  QLabel* textLabel() const { return text_; }
  QPushButton* openFolderButton() const { return openFolder_; }
  QPushButton* okButton() const { return ok_; }

 protected:

 private:
  Context& ctx_;
  QLabel* text_ = nullptr;
  QPushButton* openFolder_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace quorvel
