#pragma once
// " ID3v2 (header) tag editor": an editing session over a copy of the
// document's ID3v2 tag, drawn from the editor's model (tags/id3v2_editor.h).
// "O&K" commits the copy as one edit of the document; "Cancel", Esc or
// closing the window drops it; the engine may end the session at any time.

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tags/id3v2_editor.h"
#include "ui/tool_window.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;

namespace quorvel {

struct Options;
class MultiLineWindow;

// What the editor needs from the rest of the program.
struct Id3v2EditorHooks {
  // The editing session: beginSession gives the copy of the document's tag to
  // edit (the engine owns it), sessionReady marks its prepared state,
  // commitSession applies it (O&K, or a save while the window stays open),
  // endSession drops it, sessionChanged tells whether it holds changes not
  // applied. Without them the window edits the tag it was made with.
  std::function<Id3v2TagState&()> beginSession;
  std::function<void()> sessionReady;
  std::function<void(bool writeTag)> commitSession;
  std::function<void()> endSession;
  std::function<bool()> sessionChanged;
  std::function<void(const std::string& text, int kind, const std::string& caption)> message;
  // Returns kAnswerYes, kAnswerNo or kAnswerEscape.
  std::function<int(const std::string& text, int kind, const std::string& caption)> ask;
  // "&Reload tag": reads the tag from the source file again (the messages are
  // shown there); false when the source could not be read.
  std::function<bool()> reloadTag;
  // Fills a newly added mixed, binary or picture field from a file the user
  // picks; false when nothing was loaded.
  std::function<bool(uint32_t field)> loadField;
  // "Load from file" of the other-text list: fills the text field from a text
  // file (with the encoding dialog); false when nothing was loaded.
  std::function<bool(uint32_t field)> loadTextField;
  // The window closed: accepted by "O&K" (writeTag: at least one field is
  // left) or cancelled.
  std::function<void(bool accepted, bool writeTag)> closed;
  // The options changed and should be stored.
  std::function<void()> saveOptions;
  // The user switched "show dialog": the other windows that show it follow.
  std::function<void()> switchesChanged;
  // The content of a field: "View current" / "View original" (field -1: a
  // main box that shows none, named boxName), "Save original", "Extended
  // information" and "View invalid fields".
  std::function<void(int64_t field, bool original, const std::string& boxName)> viewContent;
  std::function<void(uint32_t field)> saveOriginal;
  std::function<void(int64_t field, const std::string& boxName)> fieldInformation;
  std::function<void()> viewInvalidFields;
  // "id3v1 import" (kV1ToV2) and "id3v1 export" (kV2ToV1).
  std::function<void(TransferDirection)> transfer;
};

// The four field lists beside the main boxes.
enum class FieldListKind { kText, kMixed, kBinary, kPicture };

class Id3v2EditorWindow : public QDialog, public ToolWindow {
  Q_OBJECT

 public:
  static constexpr int kHighlightMs = 251;

  Id3v2EditorWindow(Id3v2TagState& tag, Options& options, Id3v2EditorHooks hooks, QWidget* parent = nullptr);

  // Prepares the window for the tag and shows it; when it is already open it
  // only comes to the front.
  void openFor(const std::string& sourcePath, bool sourceHadTag);
  // While a save or another long operation runs, nothing can be changed (the
  // writer walks the fields meanwhile).
  void setBusy(bool busy) override;
  bool busy() const { return busy_; }
  // Closes as Cancel does.
  void cancelAndClose();
  // The engine ended the session: closes at once, busy or not, touching nothing.
  void endSession();
  void closeOnRequest() override { endSession(); }
  // Open with changes not applied yet.
  bool hasPendingChanges() const;
  // Applies those changes as O&K does (with its question) and stays open on
  // the new state; false when the user went back to the editor.
  bool applyChanges();
  // The "show dialog" box follows a change of the options.
  void refresh(const Context& ctx, Changes what) override;

  // Colours the changed main boxes and starts the highlight.
  void highlight(const std::vector<MainBox>& boxes);
  bool highlighting() const;
  // A tag data transfer into this editor: the boxes take the result, the
  // changed ones are highlighted and the window gets the focus.
  void applyTransfer(const TransferResult<Id3v2EditorFields>& result);
  // The "show dialog" box follows the option (changed in the other editor or
  // in the transfer dialog).
  void syncShowDialog();
  // The highlight's end: the timer calls it 251 ms after highlight().
  void highlightExpired();

  // "Add a field" of a list: the list shows the candidates; choose() takes one
  // (its row in the list) and cancelAdding() puts the list back.
  void startAdding(FieldListKind kind);
  bool adding(FieldListKind kind) const { return adding_ == static_cast<int>(kind); }
  void choose(FieldListKind kind, int row);
  void cancelAdding();

  Id3v2Editor& model() { return model_; }
  QLineEdit* box(MainBox b) const { return boxes_[static_cast<size_t>(b)]; }
  QLabel* boxLabel(MainBox b) const { return labels_[static_cast<size_t>(b)]; }
  QLineEdit* commentLanguageBox() const { return commentLanguage_; }
  QComboBox* list(FieldListKind kind) const { return lists_[static_cast<size_t>(kind)]; }
  QPushButton* removeButton(FieldListKind kind) const { return removeButtons_[static_cast<size_t>(kind)]; }
  QPushButton* addButton(FieldListKind kind) const { return addButtons_[static_cast<size_t>(kind)]; }
  QLineEdit* otherTextBox() const { return otherText_; }
  // The buttons that open the multi-line window, and the window once opened.
  QPushButton* commentLinesButton() const { return commentLines_; }
  QPushButton* otherLinesButton() const { return otherLines_; }
  QPushButton* loadTextButton() const { return loadText_; }
  // "View current" / "View original", "Save original" and "Load from file"
  // of a list (no load button for the text list: loadTextButton()).
  QPushButton* viewButton(FieldListKind kind) const { return viewButtons_[static_cast<size_t>(kind)]; }
  QPushButton* saveButton(FieldListKind kind) const { return saveButtons_[static_cast<size_t>(kind)]; }
  QPushButton* loadButton(FieldListKind kind) const { return loadButtons_[static_cast<size_t>(kind)]; }
  QPushButton* invalidFieldsButton() const { return invalidFields_; }
  // The field a list has selected, or -1.
  int64_t selectedField(FieldListKind kind) const;
  // The picture list's context menu.
  void showPictureMenu(const QPoint& globalPos);
  MultiLineWindow* multiLineWindow() const { return multiLine_; }
  void openMultiLine(bool comment);
  QLineEdit* otherLanguageBox() const { return otherLanguage_; }
  QPushButton* duplicatesButton() const { return duplicates_; }
  QCheckBox* erroneousBox() const { return erroneous_; }
  QComboBox* versionList() const { return version_; }
  QSpinBox* minorBox() const { return minor_; }
  QCheckBox* unsyncBox() const { return unsync_; }
  QCheckBox* experimentalBox() const { return experimental_; }
  QCheckBox* footerBox() const { return footer_; }
  QCheckBox* extendedHeaderBox() const { return extHeader_; }
  QLineEdit* paddingBox() const { return padding_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* reloadButton() const { return reload_; }
  QPushButton* scanButton() const { return scan_; }
  QCheckBox* albumBox() const { return album_; }
  QCheckBox* splitBox() const { return split_; }
  QPushButton* importButton() const { return import_; }
  QPushButton* exportButton() const { return export_; }
  QCheckBox* showDialogBox() const { return showDialog_; }
  QTimer* highlightTimer() const { return highlightTimer_; }
  // The field shown in the other-text box, or -1.
  int64_t otherTextField() const;

  // The boxes that have a context menu: the twelve main boxes (by MainBox)
  // and the other-text box.
  static constexpr int kOtherTextBox = kMainBoxCount;
  // "Content description": asks, then the box shows and edits the field's
  // content description until it is left. False when refused or impossible.
  bool enterDescriptionMode(int which);
  // "Revert to main text display" (also on leaving the box).
  void leaveDescriptionMode();
  int descriptionBox() const { return descriptionBox_; }
  // "Reload original content" of a box's field.
  void reloadOriginal(int which);
  // "Content description" of the picture list: shows the picture's description.
  void showPictureDescription();
  void showBoxMenu(int which, const QPoint& globalPos);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void prepare();
  void showBoxes();
  void showLists();
  void showList(FieldListKind kind, int selectRow);
  void showOtherText();
  void showSettings();
  void refreshButtons();
  void boxEdited(MainBox b, const QString& text);
  void removeSelected(FieldListKind kind);
  void changeVersion(int row);
  void scan();
  void accept() override;
  void reject() override;
  void finishClosing(bool accepted, bool writeTag);
  void report(const EditorQuestion& m);
  bool askYes(const EditorQuestion& q);
  const std::vector<EditorListEntry>& entries(FieldListKind kind) const;

  Id3v2TagState& tag_;  // edited when the hooks give no session
  Id3v2TagState* editing_ = nullptr;
  Options& options_;
  Id3v2EditorHooks hooks_;
  Id3v2Editor model_;
  std::string sourcePath_;
  bool sourceHadTag_ = false;
  bool filling_ = false;
  bool busy_ = false;
  int adding_ = -1;  // the list in the mode of choosing a new field
  int descriptionBox_ = -1;  // the box in content-description mode
  QLineEdit* boxWidget(int which) const;
  int64_t boxFieldOf(int which) const;
  std::vector<uint8_t> candidates_;
  std::array<QLineEdit*, kMainBoxCount> boxes_{};
  std::array<QLabel*, kMainBoxCount> labels_{};
  QLineEdit* commentLanguage_ = nullptr;
  std::array<QComboBox*, 4> lists_{};
  std::array<QPushButton*, 4> removeButtons_{};
  std::array<QPushButton*, 4> addButtons_{};
  std::array<QPushButton*, 4> viewButtons_{};
  std::array<QPushButton*, 4> saveButtons_{};
  std::array<QPushButton*, 4> loadButtons_{};
  QPushButton* invalidFields_ = nullptr;
  std::array<QRadioButton*, 4> viewerChoices_{};  // texts: message box, system; pictures: internal, system
  QLineEdit* otherText_ = nullptr;
  QPushButton* commentLines_ = nullptr;
  QPushButton* otherLines_ = nullptr;
  QPushButton* loadText_ = nullptr;
  MultiLineWindow* multiLine_ = nullptr;
  QLineEdit* otherLanguage_ = nullptr;
  QPushButton* duplicates_ = nullptr;
  QCheckBox* erroneous_ = nullptr;
  QLabel* erroneousBefore_ = nullptr;
  QLabel* erroneousAfter_ = nullptr;
  QComboBox* version_ = nullptr;
  QSpinBox* minor_ = nullptr;
  QCheckBox* unsync_ = nullptr;
  QCheckBox* experimental_ = nullptr;
  QCheckBox* footer_ = nullptr;
  QCheckBox* extHeader_ = nullptr;
  QLineEdit* padding_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* reload_ = nullptr;
  QPushButton* scan_ = nullptr;
  QCheckBox* album_ = nullptr;
  QCheckBox* split_ = nullptr;
  QPushButton* import_ = nullptr;
  QPushButton* export_ = nullptr;
  QCheckBox* showDialog_ = nullptr;
  QTimer* highlightTimer_ = nullptr;
};

}  // namespace quorvel
