#pragma once
// The main window's program-shell menus: the Options menu with its submenus and
// configuration commands, the Scripts menu, the recent files of the File menu,
// " Close all instances" (Shift+F4 on release) and the "about" window. The
// captions, check marks and handlers come from the application layer's menu
// models; this class only builds the widgets and forwards the clicks.

#include <QObject>
#include <QString>
#include <array>
#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;

namespace quorvel {

class AboutWindow;
class InstanceServer;
class MainWindow;

// The text a menu item shows for a caption of the menu models. A caption that
// holds two mnemonic marks keeps only the last one (the first letter is the
// mnemonic of a neighbouring item), so that every mnemonic of a menu is unique.
QString ShellMenuText(const char* caption);

class ShellMenus : public QObject {
  Q_OBJECT

 public:
  explicit ShellMenus(MainWindow& window);
  ~ShellMenus() override;

  QMenu* optionsMenu() const { return options_; }
  QMenu* scriptsMenu() const { return scripts_; }
  // The switch items in the order of OptionSwitches().
  const std::vector<QAction*>& switchActions() const { return switches_; }
  // The choices of each group in the order of OptionGroups(); the group's submenu.
  const std::vector<std::vector<QAction*>>& choiceActions() const { return choices_; }
  const std::vector<QMenu*>& groupMenus() const { return groupMenus_; }
  const std::array<QAction*, 3>& configActions() const { return config_; }
  const std::array<QAction*, 5>& recentFileActions() const { return recentFiles_; }
  const std::array<QAction*, 5>& recentScriptActions() const { return recentScripts_; }
  QAction* executeScriptAction() const { return execute_; }
  QAction* editScriptAction() const { return edit_; }
  QAction* lockAction() const { return lock_; }
  QAction* messageAfterScriptAction() const { return messageAfter_; }
  QAction* ignoreErrorsAction() const { return ignoreErrors_; }
  QAction* logLocationAction() const { return logLocation_; }
  QAction* viewLogAction() const { return viewLog_; }
  QAction* closeAllAction() const { return closeAll_; }
  QAction* aboutAction() const { return about_; }
  AboutWindow* aboutWindow() const { return aboutWindow_; }
  InstanceServer* instanceServer() const { return server_.get(); }

  // Sets every item from the options and the engine's state (what opening each menu does).
  void updateOptionsMenu();
  void updateScriptsMenu();
  void updateRecentFiles();
  // The Options and Scripts menus and " Close all instances" wait while the window is busy.
  void refreshMenuTitles();

  // " Close all instances": asks every other instance to close, then closes this window.
  void closeAllInstances();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildOptionsMenu();
  void buildScriptsMenu();
  void buildFileItems();
  void buildHelpItems();
  void afterCommand();
  void showAbout();

  MainWindow& w_;
  QMenu* options_ = nullptr;
  QMenu* scripts_ = nullptr;
  std::vector<QAction*> switches_;
  std::vector<std::vector<QAction*>> choices_;
  std::vector<QMenu*> groupMenus_;
  std::array<QAction*, 3> config_{};
  std::array<QAction*, 5> recentFiles_{};
  std::array<QAction*, 5> recentScripts_{};
  QAction* execute_ = nullptr;
  QAction* edit_ = nullptr;
  QAction* lock_ = nullptr;
  QAction* messageAfter_ = nullptr;
  QAction* ignoreErrors_ = nullptr;
  QAction* logLocation_ = nullptr;
  QAction* viewLog_ = nullptr;
  QAction* closeAll_ = nullptr;
  QAction* about_ = nullptr;
  AboutWindow* aboutWindow_ = nullptr;
  std::unique_ptr<InstanceServer> server_;
  // Alt pressed and released alone, then S: the Scripts menu opens (its digits run the recent scripts).
  int altState_ = 0;
  bool shiftF4_ = false;  // F4 went down with Shift and without Ctrl
  struct SeenKey {
    const void* event = nullptr;
    int type = 0;
    int key = 0;
    quint64 timestamp = 0;
    bool operator==(const SeenKey&) const = default;
  };
  SeenKey lastKey_;
};

}  // namespace quorvel
