// Widget tests of the window's program-shell menus under the offscreen
// platform: the Options menu and its settings file, the recent lists, the
// Scripts menu and a script run from it, the "about" window and the close
// requests between instances. No test sleeps.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "app/instances.h"
#include "app/settings.h"
#include "ui/about_window.h"
#include "ui/instance_server.h"
#include "ui/main_window.h"
#include "ui/message_windows.h"
#include "ui/shell_menus.h"

using namespace quorvel;

namespace {

QString SampleFile() {
  const char* dir = std::getenv("QUORVEL_TEST_DATA");
  return QString::fromUtf8(dir != nullptr ? dir : "tests/data") + QStringLiteral("/../../data/sample.mp3");
}

// Runs `answer` once a modal window is open (from inside its own event loop).
void WhenModal(std::function<void()> answer) {
  auto* timer = new QTimer;
  timer->setInterval(0);
  QObject::connect(timer, &QTimer::timeout, [timer, answer] {
    if (QApplication::activeModalWidget() == nullptr) return;
    timer->stop();
    timer->deleteLater();
    answer();
  });
  timer->start();
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The caption as the user reads it: without mnemonic marks.
QString Plain(QString s) {
  s.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  s.remove(QLatin1Char('&'));
  s.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  return s;
}

struct SwitchCase {
  const char* caption;
  const char* field;
  uint8_t Options::*member;
  uint8_t bit;
};

struct GroupCase {
  const char* caption;
  const char* field;
  uint8_t Options::*member;
  std::vector<std::pair<const char*, uint8_t>> choices;
};

}  // namespace

class ShellMenusTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<MainWindow> w;
  ShellMenus* m = nullptr;
  QTemporaryDir home;
  QTemporaryDir runtime;

  std::string settingsFile() const { return home.path().toStdString() + "/quorvel.ini"; }

  // Writes the options, reads them back into fresh options, writes those again:
  // both files are byte for byte the same. Returns the options read.
  Options roundTrip() {
    const std::string first = home.path().toStdString() + "/first.ini";
    const std::string second = home.path().toStdString() + "/second.ini";
    Options written = w->context().options;
    if (WriteSettings(written, first)) qFatal("cannot write %s", first.c_str());
    Options read;
    if (ReadSettings(read, first)) qFatal("cannot read %s", first.c_str());
    if (WriteSettings(read, second)) qFatal("cannot write %s", second.c_str());
    if (ReadBytes(first) != ReadBytes(second)) qFatal("settings file changed on a round trip");
    return read;
  }

  std::string writeScript(const char* name, const std::string& body) {
    std::string path = home.path().toStdString() + "/" + name;
    std::ofstream(path, std::ios::binary) << body;
    return path;
  }

 private slots:
  void initTestCase() {
    // Sockets of this test's instances live apart from the user's real ones.
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
  }

  void init() {
    w = std::make_unique<MainWindow>();
    Context& ctx = w->context();
    ctx.settingsFolder = home.path().toStdString() + "/";
    ctx.saveSettings = [](Context& c) { SaveSettingsFile(c); };
    ctx.options.lastLoadFolder = home.path().toStdString();
    ctx.options.lastSaveFolder = home.path().toStdString();
    ctx.options.logPath = home.path().toStdString() + "/Quorvel.log";
    ctx.options.mainFlags &= static_cast<uint8_t>(~kSelectAllOnLoad);
    m = w->findChild<ShellMenus*>();
    QVERIFY(m != nullptr);
    w->show();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
  }

  void cleanup() {
    if (w) w->context().doc.unsavedChanges = false;
    w.reset();
    std::filesystem::remove(settingsFile());
  }

  void menuBarOrder() {
    QStringList titles;
    for (QAction* a : w->menuBar()->actions()) titles << a->text();
    QCOMPARE(titles, (QStringList{"&File", "Edit", "Play", "Options", "Scripts", "&Help"}));
  }

  void everySwitchShowsAndTogglesItsMember() {
    const std::vector<SwitchCase> cases = {
        {" &Automatically select all on load", "mainFlags", &Options::mainFlags, 0x04},
        {" Automatically check \"Remove &unknown data && RIFF\"", "mainFlags", &Options::mainFlags, 0x08},
        {" Prompt to save changes when &closing", "mainFlags", &Options::mainFlags, 0x02},
        {" &Reload after overwriting the source file", "mainFlags", &Options::mainFlags, 0x01},
        {" &Don't write ID3v2 fields without content and description", "tagFlags", &Options::tagFlags, 0x40},
        {" Save as default folder is last save (last load if unchec&ked)", "tagFlags", &Options::tagFlags, 0x80},
        {" Saved items on recent files list (loaded if unchecked)", "listFlags", &Options::listFlags, 0x80},
        {" Color button captions red on &hover", "displayFlags", &Options::displayFlags, 0x01},
    };
    QCOMPARE(m->switchActions().size(), cases.size());
    Options& o = w->context().options;
    for (size_t i = 0; i < cases.size(); ++i) {
      const SwitchCase& c = cases[i];
      QAction* a = m->switchActions()[i];
      QCOMPARE(a->text(), QString::fromUtf8(c.caption));
      QCOMPARE(a->property("optionField").toString(), QString::fromUtf8(c.field));
      for (int round = 0; round < 2; ++round) {
        const bool before = (o.*c.member & c.bit) != 0;
        m->updateOptionsMenu();
        QCOMPARE(a->isChecked(), before);
        a->trigger();
        QCOMPARE((o.*c.member & c.bit) != 0, !before);
        Options read = roundTrip();
        QCOMPARE((read.*c.member & c.bit) != 0, !before);
        QCOMPARE(read.*c.member, o.*c.member);
        m->updateOptionsMenu();
        QCOMPARE(a->isChecked(), !before);
      }
    }
    // Refused while a script runs: the switch is disabled and a click changes nothing.
    w->context().script.active = true;
    m->updateOptionsMenu();
    QVERIFY(!m->switchActions()[0]->isEnabled());
    const uint8_t flags = o.mainFlags;
    m->switchActions()[0]->trigger();
    QCOMPARE(o.mainFlags, flags);
    w->context().script.active = false;
  }

  void everyGroupShowsAndSetsItsMember() {
    const std::vector<GroupCase> cases = {
        {" On processing &error...", "errorPolicy", &Options::errorPolicy,
         {{"&Fail", 0}, {"&Prompt", 1}, {"Try to &continue", 2}}},
        {" &Overwrite existing files after saving...", "overwritePolicy", &Options::overwritePolicy,
         {{"Never overwrite without pr&ompt", 0},
          {"Prompt to overwrite only when \"saving &as\"", 1},
          {"Always over&write existing files without prompt", 2}}},
        {" Automatically e&xit the program when closing a file...", "autoExit", &Options::autoExit,
         {{"&Never", 0}, {"If &called with a parameter (open with, drag && drop, command line)", 1}, {"&Always", 2}}},
        {" &New ID3v2 tag format...", "newTagFormat", &Options::newTagFormat,
         {{"ID3v2.2", 2},
          {"ID3v2.2 with unsynchronisation", 130},
          {"ID3v2.&3", 3},
          {"ID3v2.3 &with unsynchronisation", 131},
          {"ID3v2.&4", 4},
          {"ID3v2.4 with &unsynchronisation", 132}}},
        {"Padding value:", "paddingIndex", &Options::paddingIndex,
         {{"&0", 0}, {"&2", 1}, {"&4", 2}, {"&16", 3}, {"&64", 4}, {"2&56", 5}, {"1 &KB", 6}}},
        {" Remember &magnitude of volume/balance adjustment", "rememberVolume", &Options::rememberVolume,
         {{"Do&n't (always reset to zero)", 0}, {"Remember but reset after &closing the file", 1}, {"&Remember", 2}}},
        {" Remember &magn&itude of fade in/out", "rememberFade", &Options::rememberFade,
         {{"Do&n't (always reset to 30 dB)", 0}, {"Remember but reset after &closing the file", 1}, {"&Remember", 2}}},
    };
    QCOMPARE(m->groupMenus().size(), cases.size());
    Options& o = w->context().options;
    for (size_t g = 0; g < cases.size(); ++g) {
      const GroupCase& c = cases[g];
      QMenu* sub = m->groupMenus()[g];
      QCOMPARE(Plain(sub->title()), Plain(QString::fromUtf8(c.caption)));
      QCOMPARE(sub->menuAction()->property("optionField").toString(), QString::fromUtf8(c.field));
      QCOMPARE(m->choiceActions()[g].size(), c.choices.size());
      // Every choice, then the first again: the member, the file and the radio marks follow.
      for (size_t step = 0; step <= c.choices.size(); ++step) {
        size_t k = step % c.choices.size();
        QAction* a = m->choiceActions()[g][k];
        QCOMPARE(a->text(), QString::fromUtf8(c.choices[k].first));
        a->trigger();
        QCOMPARE(o.*c.member, c.choices[k].second);
        QCOMPARE(roundTrip().*c.member, c.choices[k].second);
        m->updateOptionsMenu();
        for (size_t j = 0; j < c.choices.size(); ++j) QCOMPARE(m->choiceActions()[g][j]->isChecked(), j == k);
      }
    }
    // The overwrite policy is written to the settings file at once.
    m->choiceActions()[1][2]->trigger();
    Options onDisk;
    QVERIFY(!ReadSettings(onDisk, settingsFile()));
    QCOMPARE(onDisk.overwritePolicy, uint8_t{2});
    // A damaged value selects no item.
    o.paddingIndex = 9;
    m->updateOptionsMenu();
    for (QAction* a : m->choiceActions()[4]) QVERIFY(!a->isChecked());
  }

  void theMenusWaitWhileTheWindowIsBusy() {
    QVERIFY(m->optionsMenu()->menuAction()->isEnabled());
    QVERIFY(m->scriptsMenu()->menuAction()->isEnabled());
    QVERIFY(m->closeAllAction()->isEnabled());
    w->desktopHost().setBusy(true);
    QVERIFY(!m->optionsMenu()->menuAction()->isEnabled());
    QVERIFY(!m->scriptsMenu()->menuAction()->isEnabled());
    QVERIFY(!m->closeAllAction()->isEnabled());
    w->desktopHost().setBusy(false);
    QVERIFY(m->optionsMenu()->menuAction()->isEnabled());
    QVERIFY(m->scriptsMenu()->menuAction()->isEnabled());
  }

  void oneMnemonicPerItemInTheOptionsMenu() {
    // The fade item's caption carries two marks; the menu shows the last one.
    QCOMPARE(m->groupMenus()[6]->title(), QStringLiteral(" Remember magn&itude of fade in/out"));
    QCOMPARE(ShellMenuText("a &b &c"), QStringLiteral("a b &c"));
    QCOMPARE(ShellMenuText("drag && drop &x"), QStringLiteral("drag && drop &x"));
  }

  void configurationCommandsAndReset() {
    const QStringList expected = {"&Save complete configuration (incl. folders, positions, etc)",
                                  "&Load complete configuration (incl. folders, positions, etc)",
                                  "Reset complete con&figuration to installation default"};
    for (int i = 0; i < 3; ++i) QCOMPARE(m->configActions()[static_cast<size_t>(i)]->text(), expected[i]);
    Options& o = w->context().options;
    o.paddingIndex = 4;
    o.listFlags = 0x80;
    // "Are you certain?" answered No: nothing changes.
    WhenModal([this] {
      QCOMPARE(w->yesNoWindow()->textLabel()->text(), QStringLiteral("Are you certain?"));
      w->yesNoWindow()->negativeButton()->click();
    });
    m->configActions()[2]->trigger();
    QCOMPARE(o.paddingIndex, uint8_t{4});
    // Yes: the defaults, written to the settings file, and the menu shows them.
    WhenModal([this] { w->yesNoWindow()->positiveButton()->click(); });
    m->configActions()[2]->trigger();
    QCOMPARE(o.paddingIndex, uint8_t{0});
    QCOMPARE(o.listFlags, uint8_t{0});
    Options onDisk;
    QVERIFY(!ReadSettings(onDisk, settingsFile()));
    QCOMPARE(onDisk.paddingIndex, uint8_t{0});
    m->updateOptionsMenu();
    QVERIFY(m->choiceActions()[4][0]->isChecked());
    QVERIFY(!m->switchActions()[6]->isChecked());
  }

  void configurationSavedAndLoadedThroughTheDialogs() {
    QTemporaryDir elsewhere;
    const QString file = elsewhere.path() + QStringLiteral("/mine.ini");
    Options& o = w->context().options;
    o.paddingIndex = 5;
    o.rememberFade = 2;
    auto choose = [](const QString& path) {
      WhenModal([path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, as the button does
      });
    };
    choose(file);
    m->configActions()[0]->trigger();
    QVERIFY(QFile::exists(file));
    QCOMPARE(QString::fromStdString(o.configFolder), elsewhere.path());
    Options saved;
    QVERIFY(!ReadSettings(saved, file.toStdString()));
    QCOMPARE(saved.paddingIndex, uint8_t{5});
    // Changed, then loaded back: the menu shows the loaded values.
    m->choiceActions()[4][0]->trigger();
    m->choiceActions()[6][0]->trigger();
    QCOMPARE(o.paddingIndex, uint8_t{0});
    choose(file);
    m->configActions()[1]->trigger();
    QCOMPARE(o.paddingIndex, uint8_t{5});
    QCOMPARE(o.rememberFade, uint8_t{2});
    m->updateOptionsMenu();
    QVERIFY(m->choiceActions()[4][5]->isChecked());
    QVERIFY(m->choiceActions()[6][2]->isChecked());
  }

  void recentFilesInTheFileMenu() {
    Options& o = w->context().options;
    const std::string sample = SampleFile().toStdString();
    o.recentFiles = {sample, home.path().toStdString() + "/gone.MP3", "", "", ""};
    m->updateRecentFiles();
    const auto& items = m->recentFileActions();
    QCOMPARE(Plain(items[0]->text()), QStringLiteral(" 1. sample"));
    QCOMPARE(items[0]->text(), QStringLiteral(" &1. sample"));
    QVERIFY(items[0]->isEnabled());
    QCOMPARE(items[1]->text(), QStringLiteral(" &2. gone"));
    QVERIFY(!items[1]->isEnabled());
    QVERIFY(!items[2]->isEnabled());
    items[0]->trigger();
    QVERIFY(w->context().doc.loaded);
    QCOMPARE(w->context().doc.sourceName, sample);
    // Refused while a script runs.
    w->context().script.active = true;
    m->updateRecentFiles();
    QVERIFY(!items[0]->isEnabled());
    w->context().script.active = false;
  }

  void scriptsMenuStatesAndLock() {
    Options& o = w->context().options;
    o.recentScripts = {"", "", "", "", ""};
    o.mainFlags &= static_cast<uint8_t>(~kScriptsOrderLocked);
    m->updateScriptsMenu();
    QCOMPARE(m->executeScriptAction()->text(), QStringLiteral(" E&xecute a new script"));
    QCOMPARE(m->editScriptAction()->text(), QStringLiteral(" &Edit a script"));
    QCOMPARE(m->messageAfterScriptAction()->text(), QStringLiteral(" &Show a messagebox after the execution"));
    QCOMPARE(m->ignoreErrorsAction()->text(), QStringLiteral(" &Ignore errors and continue in silent mode"));
    QCOMPARE(m->logLocationAction()->text(), QStringLiteral(" &Log file location"));
    QCOMPARE(m->viewLogAction()->text(), QStringLiteral(" &View the log file"));
    // An empty list: nothing to lock, no digits; no log file yet.
    QCOMPARE(m->lockAction()->text(), QStringLiteral("Lock scripts order"));
    QVERIFY(!m->lockAction()->isEnabled());
    for (QAction* a : m->recentScriptActions()) QVERIFY(!a->isEnabled());
    QVERIFY(!m->viewLogAction()->isEnabled());
    QVERIFY(m->executeScriptAction()->isEnabled());

    const std::string script = writeScript("first.txt", "");
    o.recentScripts[0] = script;
    std::ofstream(o.logPath) << "x\r\n";
    m->updateScriptsMenu();
    QCOMPARE(m->recentScriptActions()[0]->text(), QStringLiteral(" &1. first.txt"));
    QVERIFY(m->recentScriptActions()[0]->isEnabled());
    QVERIFY(!m->recentScriptActions()[1]->isEnabled());
    QVERIFY(m->lockAction()->isEnabled());
    QVERIFY(m->viewLogAction()->isEnabled());

    m->lockAction()->trigger();
    QVERIFY((o.mainFlags & kScriptsOrderLocked) != 0);
    QCOMPARE(w->messageWindow()->textLabel()->text(),
             DisplayText("You have locked the scripts load order.\r\n\r\nNote that you can execute a respective "
                         "script\r\nby pressing 3 keys in succession:\r\n-  Alt\r\n-  S\r\n-  a digit from 1 to 5"));
    w->messageWindow()->close();
    m->updateScriptsMenu();
    QCOMPARE(m->lockAction()->text(), QStringLiteral("Unlock scripts order"));
    QVERIFY(m->lockAction()->isChecked());
    QVERIFY(m->lockAction()->isEnabled());
    Options onDisk;
    QVERIFY(!ReadSettings(onDisk, settingsFile()));
    QVERIFY((onDisk.mainFlags & kScriptsOrderLocked) != 0);

    // While a script runs every command of the menu is off.
    w->context().script.active = true;
    m->updateScriptsMenu();
    for (QAction* a : m->scriptsMenu()->actions()) {
      if (!a->isSeparator()) QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
    }
    w->context().script.active = false;
  }

  void altThenSOpensTheScriptsMenu() {
    QTest::keyPress(w.get(), Qt::Key_Alt, Qt::AltModifier);
    QTest::keyRelease(w.get(), Qt::Key_Alt, Qt::NoModifier);
    QTest::keyClick(w.get(), Qt::Key_S);
    QTRY_VERIFY(m->scriptsMenu()->isVisible());
    // The digit runs that entry: unlocked, it moves to the top.
    m->scriptsMenu()->close();
    Options& o = w->context().options;
    const std::string a = writeScript("a.txt", "");
    const std::string b = writeScript("b.txt", "");
    o.recentScripts = {a, b, "", "", ""};
    o.mainFlags &= static_cast<uint8_t>(~(kScriptsOrderLocked | kMessageAfterScript));
    QTest::keyPress(w.get(), Qt::Key_Alt, Qt::AltModifier);
    QTest::keyRelease(w.get(), Qt::Key_Alt, Qt::NoModifier);
    QTest::keyClick(w.get(), Qt::Key_S);
    QTRY_VERIFY(m->scriptsMenu()->isVisible());
    QTest::keyClick(m->scriptsMenu(), Qt::Key_2);
    QTRY_COMPARE(o.recentScripts[0], b);
    QCOMPARE(o.recentScripts[1], a);
    // Alt+S held together is the Save key, not the menu.
    QTest::keyClick(w.get(), Qt::Key_S, Qt::AltModifier);
    QVERIFY(!m->scriptsMenu()->isVisible());
  }

  void failedStatementAsksAndTheAnswerDecides_data() {
    QTest::addColumn<bool>("goOn");
    QTest::newRow("O&K goes on") << true;
    QTest::newRow("cancel stops") << false;
  }
  void failedStatementAsksAndTheAnswerDecides() {
    QFETCH(bool, goOn);
    // DELETE without a selection fails; SELECTALL runs only when the run goes on.
    const std::string script = writeScript(
        "failing.txt", "LOAD \"" + SampleFile().toStdString() + "\"\r\nDELETE\r\nSELECTALL\r\n");
    Options& o = w->context().options;
    o.recentScripts = {"", script, "", "", ""};
    o.mainFlags &= static_cast<uint8_t>(~(kScriptsOrderLocked | kMessageAfterScript));
    m->updateScriptsMenu();
    QString asked;
    QString caption;
    WhenModal([&, goOn] {
      asked = w->yesNoWindow()->textLabel()->text();
      caption = w->yesNoWindow()->windowTitle();
      QVERIFY(w->context().script.active);
      (goOn ? w->yesNoWindow()->positiveButton() : w->yesNoWindow()->negativeButton())->click();
    });
    m->recentScriptActions()[1]->trigger();
    QCOMPARE(asked, DisplayText("DELETE: multiple frames not selected.\r\n\nIgnore and continue?"));
    QCOMPARE(caption, QStringLiteral("script processing error"));
    QVERIFY(w->context().doc.loaded);
    QCOMPARE(w->context().doc.selectionExists, goOn);
    QVERIFY(!w->context().script.active);
    // Unlocked: the script moved to the top of the list, shown as " &1.".
    m->updateScriptsMenu();
    QCOMPARE(o.recentScripts[0], script);
    QCOMPARE(m->recentScriptActions()[0]->text(), QStringLiteral(" &1. failing.txt"));
    QVERIFY(!m->recentScriptActions()[1]->isEnabled());
  }

  void aboutWindow() {
    w->context().options.aboutBox = {60, 70};
    QCOMPARE(m->aboutAction()->text(), QStringLiteral(" &About Quorvel"));
    m->aboutAction()->trigger();
    AboutWindow* about = m->aboutWindow();
    QVERIFY(about != nullptr && about->isVisible());
    QCOMPARE(about->windowTitle(), QStringLiteral("about"));
    QCOMPARE(about->pos(), QPoint(60, 70));
    const QString text = about->textLabel()->text();
    QVERIFY2(text.startsWith(QStringLiteral("Quorvel ")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Runs on Qt ") + QString::fromLatin1(qVersion())), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("Settings folder: ") + home.path() + QLatin1Char('/')));
    QVERIFY(text.contains(QStringLiteral("Log file: ") + home.path() + QStringLiteral("/Quorvel.log")));
    QVERIFY(about->openFolderButton()->isEnabled());
    QVERIFY(!about->openFolderButton()->accessibleName().isEmpty());
    // Its place is remembered in the options.
    about->move(130, 140);
    QCOMPARE(w->context().options.aboutBox.left, about->x());
    QCOMPARE(w->context().options.aboutBox.top, about->y());
    about->okButton()->click();
    QVERIFY(!about->isVisible());
    // No settings folder: nothing to open.
    w->context().settingsFolder.clear();
    m->aboutAction()->trigger();
    QVERIFY(!about->openFolderButton()->isEnabled());
    QVERIFY(about->textLabel()->text().contains(QStringLiteral("Settings folder: (not available)")));
    about->close();
    w->context().settingsFolder = home.path().toStdString() + "/";
  }

  void everyShellItemHasAnAccessibleNameOrCaption() {
    QCOMPARE(m->closeAllAction()->text(), MenuText(" Close all instances    (Shift+F4)"));
    for (QMenu* menu : {m->optionsMenu(), m->scriptsMenu()}) QVERIFY(!menu->accessibleName().isEmpty());
    for (QMenu* menu : m->groupMenus()) QVERIFY(!menu->accessibleName().isEmpty());
  }

  void aCloseRequestClosesTheWindowAfterAskingAboutChanges() {
    InstanceServer* server = m->instanceServer();
    QVERIFY(server->listening());
    QCOMPARE(server->path(), OwnInstanceSocketPath());
    QVERIFY(server->path().rfind(runtime.path().toStdString() + "/Quorvel6EXN-", 0) == 0);
    w->openFile(SampleFile().toStdString());
    Context& ctx = w->context();
    ctx.doc.unsavedChanges = true;
    ctx.doc.documentName = ctx.doc.sourceName;
    ctx.options.mainFlags |= kPromptSaveOnClose;
    QString asked;
    WhenModal([&] {
      asked = w->yesNoWindow()->textLabel()->text();
      w->yesNoWindow()->negativeButton()->click();
    });
    // Another instance's request, through the socket.
    QVERIFY(SendCloseRequest(server->path()));
    QTRY_VERIFY(!w->isVisible());
    QCOMPARE(asked, QStringLiteral("  Save changes?  "));
  }

  void anUnknownLineIsIgnored() {
    QVERIFY(m->instanceServer()->listening());
    const std::string path = m->instanceServer()->path();
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    QVERIFY(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
    const char line[] = "Quorvel6EXN open /etc/passwd\n";
    QVERIFY(::write(fd, line, sizeof line - 1) == static_cast<ssize_t>(sizeof line - 1));
    ::close(fd);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    QVERIFY(w->isVisible());
  }

  void shiftF4OnReleaseClosesAllAndRemovesAStaleSocket() {
    // A socket file left by an instance that was killed: bound, never listened on.
    const std::string stale = InstanceSocketPath(runtime.path().toStdString(), getuid(), 999999);
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", stale.c_str());
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
    ::close(fd);
    QVERIFY(std::filesystem::exists(stale));
    // A second window of this process cannot take over the first one's name.
    {
      MainWindow second;
      QVERIFY(!second.findChild<ShellMenus*>()->instanceServer()->listening());
      QCOMPARE(ProbeInstanceSocket(m->instanceServer()->path()), SocketState::kListening);
    }
    // Another instance: a listener that goes away when it is asked to close.
    const std::string otherPath = InstanceSocketPath(runtime.path().toStdString(), getuid(), 999998);
    QLocalServer other;
    QVERIFY(other.listen(QString::fromStdString(otherPath)));
    QByteArray received;
    connect(&other, &QLocalServer::newConnection, this, [&] {
      QLocalSocket* s = other.nextPendingConnection();
      connect(s, &QLocalSocket::readyRead, &other, [&, s] {
        received += s->readAll();
        if (received.endsWith('\n')) other.close();
      });
    });
    QTest::keyPress(w.get(), Qt::Key_F4, Qt::ShiftModifier);
    QVERIFY(w->isVisible());  // nothing on the press
    // Shift may go up before F4 does; the command acts when F4 goes up.
    QTest::keyRelease(w.get(), Qt::Key_Shift, Qt::NoModifier);
    QVERIFY(w->isVisible());
    QTest::keyRelease(w.get(), Qt::Key_F4, Qt::NoModifier);
    QTRY_VERIFY(!w->isVisible());
    QVERIFY(!std::filesystem::exists(stale));
    QVERIFY(!std::filesystem::exists(m->instanceServer()->path()));
    QCOMPARE(received, QByteArray("Quorvel6EXN close\n"));
    QVERIFY(!std::filesystem::exists(otherPath));
  }

  void closeAllIsRefusedWhileAScriptRuns() {
    w->context().script.active = true;
    m->closeAllInstances();
    QVERIFY(w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral(" Quorvel"));
    QVERIFY(m->instanceServer()->listening());
    w->context().script.active = false;
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ShellMenusTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "shell_menus_test.moc"
