#pragma once
// The main window. It shows the document (paths, information lines,
// statistics, the frame strip), redrawing by the engine's change bits, and
// forwards buttons, menu items, keys, mouse and dropped files to the engine's
// commands (ui/commands.h). The engine's Host is its DesktopHost
// (ui/desktop_host.h); the tool windows are its ToolWindows' (ui/tool_window.h).

#include <QAction>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/desktop_shell.h"
#include "app/player.h"
#include "app/settings.h"
#include "app/startup.h"
#include "core/context.h"
#include "tags/transfer.h"
#include "ui/commands.h"
#include "ui/desktop_host.h"
#include "ui/repeat.h"
#include "ui/tool_window.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QShortcut;
class QToolButton;

namespace quorvel {

struct PictureView;

class MessageWindow;
class ProgressArea;
class ScrollWidget;
class StripWidget;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  Context& context() { return ctx_; }
  Player& player() { return player_; }

  // What the first activation does: the start error and the command line's file.
  void setStart(const StartState& state, const std::vector<std::string>& params);
  // The start-up steps of the first activation (also called by tests).
  void firstActivation();
  // The start error's report, 250 ms after the first activation (the timer, or a test).
  void startErrorDue();
  const QTimer& startErrorTimer() const { return startErrorTimer_; }
  // The remembered position of the settings, moved onto a screen that exists
  // now (centred on the primary screen when no screen holds it) so the whole window shows.
  QPoint rememberedPlace() const;

  // Opens a file as the "Open" command does after its dialog (asks "Save changes?" first).
  void openFile(const std::string& path);
  // Files dropped on the window: the first is opened, the others are refused with a note.
  void dropFiles(const std::vector<std::string>& paths);
  // A close asked for from outside (another instance): made at once, or
  // recorded while a question or dialog is open or an operation runs, and
  // made when that ends.
  void requestClose();
  // Esc: the running operation or script is cancelled at its next progress point.
  void requestCancel() {
    host_.requestCancel();
  }

  QAction* action(Command id) const { return actions_.at(id); }
  // The Play menu's enqueue items: input, preview, output.
  QAction* enqueueAction(int i) const { return enqueueActions_[static_cast<size_t>(i)]; }
  // Every command's availability from the engine (the 937 ms timer and every change).
  void refreshCommands();
  // Redraws everything that shows the document.
  void refreshAll();

  // Step buttons: 0..3 act on the cursor box (+frame, +second, -frame, -second), 4..7 on the selection box.
  QToolButton* stepButton(int i) const { return stepButtons_[static_cast<size_t>(i)]; }
  void stepTick();  // one tick of the step buttons' repeat timer
  int stepInterval() const { return stepRepeat_.interval(); }

  QLineEdit* positionBox(int i) const { return boxes_[static_cast<size_t>(i)]; }
  StripWidget* strip() const { return strip_; }
  ScrollWidget* scrollBar() const { return scroll_; }
  QLabel* sourcePathLabel() const { return sourcePath_; }
  QLabel* targetPathLabel() const { return targetPath_; }
  QLabel* sourceInfoLabel() const { return sourceInfo_; }
  QLabel* editInfoLabel() const { return editInfo_; }
  QLabel* selectionLabel() const { return selLabel_; }
  QListWidget* statisticsList() const { return stats_; }
  QLabel* timeLabel(int i) const { return timeLabels_[static_cast<size_t>(i)]; }
  QLabel* onScreenLabel() const { return onScreen_; }
  QPushButton* findButton() const { return find_; }
  ProgressArea* progressArea() const { return progress_; }
  MessageWindow* messageWindow() const { return host_.messageWindow(); }
  MessageWindow* yesNoWindow() const { return host_.yesNoWindow(); }
  // The engine's Host: messages, questions, dialogs, the busy state, the waiting requests.
  DesktopHost& desktopHost() { return host_; }
  QCheckBox* removeBox(int i) const { return removeBoxes_[static_cast<size_t>(i)]; }
  // The shown text of a path label for a full path ("..." and the tail when it does not fit).
  QString elidedPath(const QLabel* label, const QString& path) const;

  // Redraws only what shows the changed state (Host::changed comes here).
  void changed(Changes what);
  // Closes the tag editors and the picture viewer (Host::closeTagWindows comes here).
  void closeTagWindows();
  // The tag editors apply the changes they hold (Host::applyTagEdits comes here).
  bool applyTagEdits();
  // Which tag editors have a session open (ID3v1, ID3v2), and opening them
  // again on the document after a save that replaced it.
  std::pair<bool, bool> openTagEditors() const;
  void reopenTagEditors(bool v1, bool v2);
  // "Edit id3v1 tag": opens the ID3v1 editor, or brings it to the front.
  void openId3v1Editor();
  // "id3v2 e&xport" / "id3v1 import" (kV1ToV2) and "id3v2 i&mport" / "id3v1
  // export" (kV2ToV1) of the editor `from`: the tag data transfer, with its
  // dialog when "show dialog" is on; the target editor opens and is filled.
  void transferTags(TransferDirection direction, QWidget* from);
  // A picture of the ID3v2 editor in the image window.
  void showPicture(const PictureView& view);
  // The tool windows once made (nullptr before their first use).
  class ImageWindow* imageWindow() const;
  class Id3v1EditorWindow* id3v1Editor() const;
  class LegendWindow* legend() const;
  // "Edit id3v2 tag": opens the ID3v2 editor, or brings it to the front.
  void openId3v2Editor();
  class Id3v2EditorWindow* id3v2Editor() const;
  // The "..." button of a remove box (0 RIFF .. 5 ID3v1); nullptr where there is none.
  QPushButton* viewButton(int box) const { return viewButtons_[static_cast<size_t>(box)]; }

  bool busy() const { return host_.busy(); }
  // The running long operations, outermost first ("load", "save", "write", ...).
  const std::vector<std::string>& operations() const { return host_.operations(); }

 protected:
  // The command table's handlers run the window's commands.
  friend const std::vector<CommandSpec>& CommandTable();

  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  bool dropAccepted(QDropEvent* event) const;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildActions();
  void buildMenus();
  void updateEnqueueItems();
  void buildCentral();
  void defineToolWindows();
  class Id3v1EditorWindow* makeId3v1Editor();
  class Id3v2EditorWindow* makeId3v2Editor();
  QPushButton* commandButton(Command id, QWidget* parent, QRect geometry);
  // Runs a row of the command table when its command is available.
  void run(const CommandSpec& command);
  bool userCommandsRefused() const;
  void applyBox(int box);
  void step(int button);
  void find();
  void showFrameInfo(int frame);
  void showPathBox(bool source);
  void showInfoBox(bool source);
  void updateIndicators();
  void updateTexts();
  void fitCaptions();  // narrower fonts for the captions that do not fit their controls
  void updateBoxes();
  void updateStatistics();
  void showBusy(bool busy);  // the progress area instead of the source line, the tool windows, the commands
  void showOperation(const std::string& operation);
  bool askSaveChanges();  // "  Save changes?  ": false when the user keeps the document open

  // Made first and gone last: the context and every window speak to it.
  DesktopHost host_;
  Context ctx_;
  // What the tag editor windows are made over: they edit the engine's
  // sessions and never these.
  Id3v1State idleId3v1_;
  Id3v2TagState idleId3v2_;
  DesktopShell shell_;
  Player player_;
  StartState start_;
  std::vector<std::string> params_;
  bool activated_ = false;
  bool closing_ = false;
  bool closeAfterSave_ = false;

  std::map<Command, QAction*> actions_;
  std::map<Command, QPushButton*> buttons_;
  QMenu* fileMenu_ = nullptr;
  QMenu* editMenu_ = nullptr;
  QMenu* playMenu_ = nullptr;
  QMenu* helpMenu_ = nullptr;
  // The picture viewer, the tag editors and the legend, made on first use.
  ToolWindows tools_;
  QAction* enqueueSeparator_ = nullptr;
  std::array<QAction*, 3> enqueueActions_{};  // the Play menu's enqueue items (app/enqueue_menu.h)

  StripWidget* strip_ = nullptr;
  ScrollWidget* scroll_ = nullptr;
  ProgressArea* progress_ = nullptr;
  QObject* clientGuard_ = nullptr;  // refuses input to the client area while busy
  QLabel* sourcePath_ = nullptr;
  QLabel* targetPath_ = nullptr;
  QString sourceFull_;
  QString targetFull_;
  QLabel* sourceInfo_ = nullptr;
  QLabel* editInfo_ = nullptr;
  QListWidget* stats_ = nullptr;
  QLabel* selLabel_ = nullptr;
  std::array<QLabel*, 3> timeLabels_{};
  QLabel* onScreen_ = nullptr;
  QLabel* leftArrow_ = nullptr;
  QLabel* rightArrow_ = nullptr;
  QPushButton* find_ = nullptr;
  QPushButton* clear_ = nullptr;
  std::array<QLineEdit*, 2> boxes_{};
  std::array<QToolButton*, 8> stepButtons_{};
  std::array<QCheckBox*, 6> removeBoxes_{};
  std::array<QPushButton*, 6> viewButtons_{};
  // Alt+2 and Alt+1 while the ID3v2 or ID3v1 box is disabled (the file has no
  // such tag): the focus goes to the box's editor button instead.
  std::array<QShortcut*, 6> viewKeys_{};


  QTimer refreshTimer_;
  QTimer stepTimer_;
  QTimer startErrorTimer_;
  ButtonRepeat stepRepeat_;
  int stepButton_ = -1;

  bool closed_ = false;  // the close was accepted
};

}  // namespace quorvel
