#include "ui/shell_menus.h"

#include <unistd.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include "app/close_commands.h"
#include "app/instances.h"
#include "app/options_menu.h"
#include "app/scripts_menu.h"
#include "script/batch.h"
#include "ui/about_window.h"
#include "ui/commands.h"
#include "ui/instance_server.h"
#include "ui/main_window.h"

namespace quorvel {

namespace {

QString Plain(const QString& caption) {
  QString s = caption;
  s.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  s.remove(QLatin1Char('&'));
  s.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  return s.trimmed();
}

QAction* NewAction(QObject* parent, const QString& text, const QString& name) {
  auto* a = new QAction(parent);
  a->setText(text);
  a->setObjectName(name);
  return a;
}

QMenu* MenuNamed(QMenuBar* bar, const QString& title) {
  for (QAction* a : bar->actions()) {
    if (a->menu() != nullptr && a->text() == title) return a->menu();
  }
  return nullptr;
}

void SetItem(QAction* a, const MenuItemState& state) {
  a->setText(ShellMenuText(state.caption.c_str()));
  a->setEnabled(state.enabled);
  a->setChecked(state.checked);
}

}  // namespace

QString ShellMenuText(const char* caption) {
  QString s = QString::fromUtf8(caption);
  std::vector<qsizetype> marks;
  for (qsizetype i = 0; i + 1 < s.size(); ++i) {
    if (s[i] != QLatin1Char('&')) continue;
    if (s[i + 1] == QLatin1Char('&')) {
      ++i;
      continue;
    }
    marks.push_back(i);
  }
  for (size_t k = marks.size(); k > 1; --k) s.remove(marks[k - 2], 1);
  return s;
}

ShellMenus::ShellMenus(MainWindow& window) : QObject(&window), w_(window) {
  buildFileItems();
  buildOptionsMenu();
  buildScriptsMenu();
  buildHelpItems();
  server_ = std::make_unique<InstanceServer>([this] { w_.requestClose(); });
  server_->listen();
  qApp->installEventFilter(this);
}

ShellMenus::~ShellMenus() { qApp->removeEventFilter(this); }

void ShellMenus::buildFileItems() {
  QMenu* file = MenuNamed(w_.menuBar(), QStringLiteral("&File"));
  QAction* close = w_.action(Command::kClose);
  for (int k = 0; k < 5; ++k) {
    QAction* a = NewAction(&w_, QString(), QStringLiteral("recentFile%1").arg(k + 1));
    file->insertAction(close, a);
    connect(a, &QAction::triggered, this, [this, k] {
      if (w_.busy()) return;
      Context& ctx = w_.context();
      if (!RecentFileClick(ctx, k)) return;
      w_.refreshAll();
    });
    recentFiles_[static_cast<size_t>(k)] = a;
  }
  file->insertSeparator(close);
  updateRecentFiles();
  connect(file, &QMenu::aboutToShow, this, &ShellMenus::updateRecentFiles);

  closeAll_ = NewAction(&w_, MenuText(kCloseAllInstancesCaption), QStringLiteral("closeAllInstances"));
  file->addAction(closeAll_);
  connect(closeAll_, &QAction::triggered, this, &ShellMenus::closeAllInstances);
}

void ShellMenus::updateRecentFiles() {
  std::array<MenuItemState, 5> items = RecentFilesMenuOnOpen(w_.context());
  bool refused = w_.busy() || w_.context().script.active;
  for (size_t k = 0; k < items.size(); ++k) {
    SetItem(recentFiles_[k], items[k]);
    recentFiles_[k]->setEnabled(items[k].enabled && !refused);
  }
  if (closeAll_ != nullptr) closeAll_->setEnabled(!w_.busy() && CloseProgramAllowed(w_.context()));
}

void ShellMenus::refreshMenuTitles() {
  if (options_ == nullptr || scripts_ == nullptr || closeAll_ == nullptr) return;  // still being built
  const bool busy = w_.busy();
  options_->menuAction()->setEnabled(!busy);
  scripts_->menuAction()->setEnabled(!busy);
  closeAll_->setEnabled(!busy && CloseProgramAllowed(w_.context()));
}

void ShellMenus::buildOptionsMenu() {
  options_ = new QMenu(QStringLiteral("Options"), w_.menuBar());
  options_->setObjectName(QStringLiteral("optionsMenu"));
  options_->setAccessibleName(QStringLiteral("Options"));
  QAction* help = MenuNamed(w_.menuBar(), QStringLiteral("&Help"))->menuAction();
  w_.menuBar()->insertMenu(help, options_);

  const std::vector<OptionSwitchItem>& items = OptionSwitches();
  for (size_t i = 0; i < items.size(); ++i) {
    QAction* a = NewAction(&w_, ShellMenuText(items[i].caption), QStringLiteral("option%1").arg(i));
    a->setCheckable(true);
    a->setProperty("optionField", QString::fromUtf8(OptionFieldName(items[i].field)));
    options_->addAction(a);
    connect(a, &QAction::triggered, this, [this, i] {
      OptionSwitchClick(w_.context(), i);
      afterCommand();
    });
    switches_.push_back(a);
  }
  options_->addSeparator();
  const std::vector<OptionGroup>& groups = OptionGroups();
  for (size_t g = 0; g < groups.size(); ++g) {
    QMenu* sub = options_->addMenu(ShellMenuText(groups[g].caption));
    sub->setObjectName(QStringLiteral("optionGroup%1").arg(g));
    sub->setAccessibleName(Plain(QString::fromUtf8(groups[g].caption)));
    sub->menuAction()->setProperty("optionField", QString::fromUtf8(OptionFieldName(groups[g].field)));
    auto* radio = new QActionGroup(sub);
    radio->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    std::vector<QAction*> actions;
    for (size_t c = 0; c < groups[g].choices.size(); ++c) {
      QAction* a = NewAction(&w_, ShellMenuText(groups[g].choices[c].caption),
                             QStringLiteral("option%1choice%2").arg(g).arg(c));
      a->setCheckable(true);
      radio->addAction(a);
      sub->addAction(a);
      connect(a, &QAction::triggered, this, [this, g, c] {
        OptionChoiceClick(w_.context(), g, c);
        afterCommand();
      });
      actions.push_back(a);
    }
    choices_.push_back(actions);
    groupMenus_.push_back(sub);
  }
  options_->addSeparator();
  const std::array<ConfigCommandItem, 3>& commands = ConfigCommands();
  for (size_t i = 0; i < commands.size(); ++i) {
    QAction* a = NewAction(&w_, ShellMenuText(commands[i].caption), QStringLiteral("config%1").arg(i));
    options_->addAction(a);
    ConfigCommand command = commands[i].command;
    connect(a, &QAction::triggered, this, [this, command] {
      if (w_.busy()) return;
      QSize screen = w_.screen() != nullptr ? w_.screen()->size() : QSize();
      ConfigCommandClick(w_.context(), command, screen.width(), screen.height());
      afterCommand();
    });
    config_[i] = a;
  }
  connect(options_, &QMenu::aboutToShow, this, &ShellMenus::updateOptionsMenu);
  updateOptionsMenu();
}

void ShellMenus::updateOptionsMenu() {
  OptionsMenuState state = OptionsMenuOnOpen(w_.context());
  bool busy = w_.busy();
  for (size_t i = 0; i < switches_.size(); ++i) {
    SetItem(switches_[i], state.switches[i]);
    switches_[i]->setEnabled(state.switches[i].enabled && !busy);
  }
  for (size_t g = 0; g < choices_.size(); ++g) {
    for (size_t c = 0; c < choices_[g].size(); ++c) {
      QAction* a = choices_[g][c];
      a->setChecked(state.groups[g][c].checked);
      a->setEnabled(state.groups[g][c].enabled);
    }
  }
  for (size_t i = 0; i < config_.size(); ++i) config_[i]->setEnabled(state.commands[i].enabled && !busy);
}

void ShellMenus::buildScriptsMenu() {
  scripts_ = new QMenu(QStringLiteral("Scripts"), w_.menuBar());
  scripts_->setObjectName(QStringLiteral("scriptsMenu"));
  scripts_->setAccessibleName(QStringLiteral("Scripts"));
  QAction* help = MenuNamed(w_.menuBar(), QStringLiteral("&Help"))->menuAction();
  w_.menuBar()->insertMenu(help, scripts_);

  auto add = [this](const char* caption, const QString& name, void (*handler)(Context&)) {
    QAction* a = NewAction(&w_, ShellMenuText(caption), name);
    scripts_->addAction(a);
    connect(a, &QAction::triggered, this, [this, handler] {
      if (w_.busy()) return;
      handler(w_.context());
      afterCommand();
    });
    return a;
  };
  execute_ = add(kExecuteNewScriptCaption, QStringLiteral("executeScript"), MenuExecuteNewScript);
  edit_ = add(kEditScriptCaption, QStringLiteral("editScript"), MenuEditScript);
  scripts_->addSeparator();
  for (int k = 0; k < 5; ++k) {
    QAction* a = NewAction(&w_, QString(), QStringLiteral("recentScript%1").arg(k + 1));
    scripts_->addAction(a);
    connect(a, &QAction::triggered, this, [this, k] {
      if (w_.busy()) return;
      MenuRunRecentScript(w_.context(), k);
      afterCommand();
    });
    recentScripts_[static_cast<size_t>(k)] = a;
  }
  scripts_->addSeparator();
  lock_ = add(kLockScriptsCaption, QStringLiteral("lockScripts"), MenuLockScriptsOrder);
  lock_->setCheckable(true);
  messageAfter_ = add(" &Show a messagebox after the execution", QStringLiteral("messageAfterScript"),
                      MenuMessageAfterScript);
  messageAfter_->setCheckable(true);
  ignoreErrors_ = add(" &Ignore errors and continue in silent mode", QStringLiteral("ignoreErrors"), MenuIgnoreErrors);
  ignoreErrors_->setCheckable(true);
  scripts_->addSeparator();
  logLocation_ = add(kLogFileLocationCaption, QStringLiteral("logFileLocation"), MenuLogFileLocation);
  viewLog_ = add(kViewLogFileCaption, QStringLiteral("viewLogFile"), MenuViewLogFile);
  connect(scripts_, &QMenu::aboutToShow, this, &ShellMenus::updateScriptsMenu);
  updateScriptsMenu();
}

void ShellMenus::updateScriptsMenu() {
  ScriptsMenuState state = ScriptsMenuOnOpen(w_.context());
  bool on = state.commandsEnabled && !w_.busy();
  for (size_t k = 0; k < recentScripts_.size(); ++k) {
    SetItem(recentScripts_[k], state.recent[k]);
    recentScripts_[k]->setEnabled(on && state.recent[k].enabled);
  }
  SetItem(lock_, state.lockOrder);
  lock_->setEnabled(on && state.lockOrder.enabled);
  SetItem(messageAfter_, state.messageAfterRun);
  SetItem(ignoreErrors_, state.ignoreErrors);
  SetItem(viewLog_, state.viewLog);
  viewLog_->setEnabled(on && state.viewLog.enabled);
  for (QAction* a : {execute_, edit_, messageAfter_, ignoreErrors_, logLocation_}) a->setEnabled(on);
}

void ShellMenus::buildHelpItems() {
  QMenu* help = MenuNamed(w_.menuBar(), QStringLiteral("&Help"));
  help->addSeparator();
  about_ = NewAction(&w_, QStringLiteral(" &About Quorvel"), QStringLiteral("about"));
  help->addAction(about_);
  connect(about_, &QAction::triggered, this, &ShellMenus::showAbout);
}

void ShellMenus::showAbout() {
  if (aboutWindow_ == nullptr) aboutWindow_ = new AboutWindow(w_.context(), &w_);
  aboutWindow_->refresh();
  aboutWindow_->show();
  aboutWindow_->raise();
}

void ShellMenus::afterCommand() {
  updateOptionsMenu();
  updateScriptsMenu();
  updateRecentFiles();
  w_.refreshAll();
}

void ShellMenus::closeAllInstances() {
  Context& ctx = w_.context();
  if (w_.busy() || !CloseProgramAllowed(ctx)) return;
  const QString title = w_.windowTitle();
  w_.setWindowTitle(QString::fromUtf8(kClosingAllInstancesCaption));
  QCoreApplication::processEvents();
  const std::string own = server_->path();
  server_->stop();
  // While it waits for each instance this window keeps painting.
  CloseOtherInstances(InstanceSocketFolder(), getuid(), own, [](int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
  });
  if (!w_.close()) {
    // This instance's own document was kept open: it stays reachable.
    w_.setWindowTitle(title);
    server_->listen();
  }
}

bool ShellMenus::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr) return false;
  if (widget->window() != &w_) {
    // Esc in any other window of the program (a message shown during a save)
    // cancels the running operation too; the window still sees the key.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
      w_.requestCancel();
    return false;
  }
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->isAutoRepeat()) return false;
  // A key the focus widget leaves alone reaches its parents too: each event counts once.
  const SeenKey seen{event, event->type(), key->key(), key->timestamp()};
  if (seen == lastKey_) return false;
  lastKey_ = seen;
  Qt::KeyboardModifiers mods = key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  if (key->key() == Qt::Key_F4) {
    // Shift+F4 closes all instances when F4 goes up (Shift may go up first).
    if (event->type() == QEvent::KeyPress) {
      shiftF4_ = (mods & Qt::ShiftModifier) && !(mods & Qt::ControlModifier);
      return shiftF4_;
    }
    if (!shiftF4_) return false;
    shiftF4_ = false;
    QTimer::singleShot(0, this, &ShellMenus::closeAllInstances);
    return true;
  }
  if (event->type() == QEvent::KeyPress) {
    // The press of Alt itself carries the Alt modifier or none, by platform.
    if (key->key() == Qt::Key_Alt && (mods & ~Qt::AltModifier) == Qt::NoModifier) {
      altState_ = 1;
      return false;
    }
    if (altState_ == 2 && key->key() == Qt::Key_S && mods == Qt::NoModifier) {
      altState_ = 0;
      updateScriptsMenu();
      w_.menuBar()->setActiveAction(scripts_->menuAction());
      return true;
    }
    altState_ = 0;
    return false;
  }
  // Alt released with nothing pressed in between.
  altState_ = (key->key() == Qt::Key_Alt && altState_ == 1) ? 2 : 0;
  return false;
}

}  // namespace quorvel
