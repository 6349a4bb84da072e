#pragma once
// " ID3v1 (footer) tag editor": the boxes of the ID3v1 record, drawn from the
// editor's model (tags/id3v1_editor.h). Every edit goes straight into the
// record; "O&K" keeps it and "Cancel" or Esc puts the record back.

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "tags/id3v1_editor.h"
#include "tags/transfer.h"
#include "ui/tool_window.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace quorvel {

struct Options;

// What the editor needs from the rest of the program.
struct Id3v1EditorHooks {
  // The editing session, as the ID3v2 editor's: beginSession gives the copy of
  // the document's record to edit, sessionReady marks it filled, commitSession
  // applies it, endSession drops it, sessionChanged tells whether it holds
  // changes not applied. Without them the window edits the state it was made with.
  std::function<Id3v1State&()> beginSession;
  std::function<void()> sessionReady;
  std::function<void()> commitSession;
  std::function<void()> endSession;
  std::function<bool()> sessionChanged;
  std::function<void(const std::string& text, int kind, const std::string& caption)> message;
  std::function<int(const std::string& text, int kind, const std::string& caption)> ask;
  // "&Reload tag": reads the record from the source file again; false when the
  // file has no ID3v1 tag (the record is then empty).
  std::function<bool()> reloadRecord;
  // "id3v2 i&mport" (kV2ToV1) and "id3v2 e&xport" (kV1ToV2).
  std::function<void(TransferDirection)> transfer;
  // The user switched "show dialog": the other windows that show it follow.
  std::function<void()> switchesChanged;
  // The editor closed; the record holds something or is empty.
  std::function<void(bool recordHoldsSomething)> closed;
};

class Id3v1EditorWindow : public QDialog, public ToolWindow {
  Q_OBJECT

 public:
  static constexpr int kHighlightMs = 251;

  Id3v1EditorWindow(Id3v1State& state, Options& options, Id3v1EditorHooks hooks, QWidget* parent = nullptr);

  // Fills the boxes from the record and shows the window; when it is already
  // open it only comes to the front.
  void openFor(const std::string& sourcePath, bool fileHadTag);
  // Fills the boxes again without showing the window (before a transfer).
  void fill(bool fileHadTag);
  // Colours the boxes of the mask (Id3v1FieldBit) and starts the highlight.
  void highlight(uint32_t fields);
  bool highlighting() const;
  // A tag data transfer into this editor: the boxes take the result, the
  // changed ones are highlighted and the window gets the focus.
  void applyTransfer(const TransferResult<Id3v1EditorFields>& result);
  // The "show dialog" box follows the option.
  void syncShowDialog();
  // The highlight's end: the timer calls it 251 ms after highlight().
  void highlightExpired();
  // While a save or another long operation runs, nothing can be changed.
  void setBusy(bool busy) override;
  // Closes as Cancel does (the document goes away).
  void cancelAndClose();
  // The engine ended the session: closes at once, busy or not, touching nothing.
  void endSession();
  void closeOnRequest() override { endSession(); }
  bool busy() const { return busy_; }
  // A session is being edited.
  bool editing() const { return open_; }
  // Open with changes not applied yet.
  bool hasPendingChanges() const;
  // Applies them as O&K does (with its question) and stays open; false when
  // the user went back to the editor.
  bool applyChanges();
  // The "show dialog" box follows a change of the options.
  void refresh(const Context& ctx, Changes what) override;

  Id3v1Editor& model() { return model_; }
  QLineEdit* box(Id3v1EditorField field) const;
  QComboBox* genreList() const { return genre_; }
  QComboBox* versionList() const { return version_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* reloadButton() const { return reload_; }
  QPushButton* scanButton() const { return scan_; }
  QPushButton* importButton() const { return import_; }
  QPushButton* exportButton() const { return export_; }
  QCheckBox* albumBox() const { return album_; }
  QCheckBox* splitBox() const { return split_; }
  QCheckBox* showDialogBox() const { return showDialog_; }
  QTimer* highlightTimer() const { return highlightTimer_; }
  // The menu a field's context menu shows.
  void showFieldMenu(Id3v1EditorField field, const QPoint& globalPos);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void showModel();
  void boxEdited(Id3v1EditorField field, const QString& text);
  void accept() override;
  void reject() override;
  void scan();
  void finishClosing();

  Id3v1State& state_;
  Options& options_;
  Id3v1EditorHooks hooks_;
  Id3v1Editor model_;
  std::string sourcePath_;
  bool filling_ = false;
  bool closing_ = false;
  bool busy_ = false;
  bool open_ = false;  // a session is being edited
  std::array<QLineEdit*, 6> boxes_{};
  QComboBox* genre_ = nullptr;
  QComboBox* version_ = nullptr;
  QComboBox* charset_ = nullptr;
  QLabel* trackLabel_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* reload_ = nullptr;
  QPushButton* scan_ = nullptr;
  QPushButton* import_ = nullptr;
  QPushButton* export_ = nullptr;
  QCheckBox* album_ = nullptr;
  QCheckBox* split_ = nullptr;
  QCheckBox* showDialog_ = nullptr;
  QTimer* highlightTimer_ = nullptr;
};

}  // namespace quorvel
