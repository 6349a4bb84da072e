// Widget tests of the main window and the message windows under the offscreen
// platform. Timers are driven tick by tick; no test sleeps.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QAccessible>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QtTest>
#include <array>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "core/busy.h"
#include "core/document_ops.h"
#include "core/messages.h"
#include "app/startup.h"
#include "ui/commands.h"
#include "ui/main_window.h"
#include "ui/tool_window.h"
#include "ui/id3v1_editor_window.h"
#include "ui/id3v2_editor_window.h"
#include "ui/message_windows.h"
#include "ui/progress_area.h"
#include "tags/id3v1.h"
#include "ui/fade_dialog.h"
#include "ui/file_filter.h"
#include "ui/id3v1_editor_window.h"
#include "ui/id3v2_editor_window.h"
#include "ui/silence_dialog.h"
#include "ui/split_dialogs.h"
#include "ui/legend_window.h"
#include "ui/strip_widgets.h"
#include "view/strip_model.h"
#include "../core/edit_fixture.h"

using namespace quorvel;

namespace {

QString DataFile(const char* name) {
  const char* dir = std::getenv("QUORVEL_TEST_DATA");
  return QString::fromUtf8(dir != nullptr ? dir : "tests/data") + QLatin1Char('/') + QString::fromUtf8(name);
}

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

// Runs `answer` once the modal window named `name` is open.
void WhenModalNamed(const QString& name, std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer;
  timer->setInterval(0);
  QObject::connect(timer, &QTimer::timeout, [timer, name, answer] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal->objectName() != name) return;
    timer->stop();
    timer->deleteLater();
    answer(modal);
  });
  timer->start();
}

// Answers the next file dialog with `path`.
void ChooseFile(const QString& dialogName, const QString& path) {
  WhenModalNamed(dialogName, [path](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    QVERIFY(dialog != nullptr);
    dialog->selectFile(path);
    static_cast<QDialog*>(dialog)->accept();
  });
}

// A press at client coordinates of the main window's central widget.
QPoint StripPoint(int clientX, int clientY) {
  return {clientX - StripWidget::kOriginX, clientY - StripWidget::kOriginY};
}


// The text a control shows: mnemonic marks dropped, "&&" kept as one '&'.
QString ShownText(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
  return text;
}

int WidestLine(const QFontMetrics& fm, const QString& text) {
  int widest = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, fm.horizontalAdvance(line));
  return widest;
}

// Every caption of the main window's client area that does not fit the room its
// control gives it, as "object: text (needs N, has M)".
// shownOnly: controls hidden now are passed over (a dialog lays a control out
// when it shows it).
QStringList CutCaptions(QWidget* client, bool shownOnly = false) {
  QStringList cut;
  auto check = [&](const QWidget* w, const QString& text, int needs, int room) {
    if (needs <= room || (shownOnly && !w->isVisibleTo(client))) return;
    QString who = w->objectName().isEmpty() ? QString::fromUtf8(w->metaObject()->className()) : w->objectName();
    cut << QStringLiteral("%1: \"%2\" (needs %3, has %4)").arg(who, text).arg(needs).arg(room);
  };
  for (QLabel* l : client->findChildren<QLabel*>()) {
    if (l->text().isEmpty() || l->wordWrap() || Qt::mightBeRichText(l->text())) continue;
    QString text = ShownText(l->text());
    check(l, text, WidestLine(l->fontMetrics(), text), l->contentsRect().width() - 2 * l->margin());
  }
  for (QAbstractButton* b : client->findChildren<QAbstractButton*>()) {
    if (b->text().isEmpty()) continue;
    QString text = ShownText(b->text());
    int needs = WidestLine(b->fontMetrics(), text);
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = b->text();
    int room = 0;
    if (qobject_cast<QCheckBox*>(b) != nullptr || qobject_cast<QRadioButton*>(b) != nullptr) {
      // The caption starts right of the indicator and its spacing and must end
      // inside the box: a neighbour placed at the box's right edge (the "..."
      // buttons of the remove boxes) then never touches it.
      bool check = qobject_cast<QCheckBox*>(b) != nullptr;
      QRect contents = b->style()->subElementRect(check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents,
                                                  &opt, b);
      room = b->width() - contents.left() - 2;
    } else {
      // A push or tool button centres its caption inside the bevel; the bevel's
      // frame on each side and one pixel of air next to it are taken.
      int frame = b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, b);
      room = b->width() - 2 * (frame + 1);
    }
    check(b, text, needs, room);
  }
  for (QGroupBox* g : client->findChildren<QGroupBox*>()) {
    if (g->title().isEmpty()) continue;
    QStyleOptionGroupBox opt;
    opt.initFrom(g);
    opt.text = g->title();
    opt.lineWidth = 1;
    opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    opt.textAlignment = g->alignment();
    QRect label = g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
    // The title keeps the same margin to the frame's right end as to its left.
    QString text = ShownText(g->title());
    check(g, text, g->fontMetrics().horizontalAdvance(text), g->width() - 2 * label.left());
  }
  for (QListWidget* list : client->findChildren<QListWidget*>()) {
    // An entry's text sits inside the focus frame's margin plus one pixel on each side.
    int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    int room = list->viewport()->width() - 2 * margin;
    for (int i = 0; i < list->count(); ++i) {
      QString text = list->item(i)->text();
      check(list, text, QFontMetrics(list->font()).horizontalAdvance(text), room);
    }
  }
  return cut;
}

}  // namespace

// Tool windows for the registry's own test: they record what they are told.
struct RecordingTool : QWidget, ToolWindow {
  explicit RecordingTool(Closing closing) : QWidget(nullptr, Qt::Window), ToolWindow(this, nullptr, closing) {}
  void setBusy(bool on) override { busy = on; }
  void refresh(const Context&, Changes what) override { seen |= what; }
  bool busy = false;
  Changes seen = 0;
};
struct TagTool : RecordingTool {
  TagTool() : RecordingTool(Closing::kWithDocument) {}
};
struct KeyTool : RecordingTool {
  KeyTool() : RecordingTool(Closing::kStays) {}
};

class WindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<MainWindow> w;
  QTemporaryDir home;

  void open(const QString& path) {
    w->openFile(path.toStdString());
    QVERIFY2(w->context().doc.loaded, qPrintable(path));
  }
  // Frames from..to selected, as a drag would select them.
  void select(int32_t from, int32_t to) {
    DocumentState& doc = w->context().doc;
    doc.cursor = from;
    doc.selectionEnd = to;
    SetSelectionExists(doc, true);
    w->refreshAll();
  }

 private slots:
  void init() {
    w = std::make_unique<MainWindow>();
    w->context().settingsFolder = home.path().toStdString() + "/";
    w->context().options.lastLoadFolder = home.path().toStdString();
    w->context().options.lastSaveFolder = home.path().toStdString();
    w->context().options.mainFlags &= static_cast<uint8_t>(~kSelectAllOnLoad);
    w->show();
    activate();
  }
  void activate() {
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
  }
  void cleanup() {
    if (w) w->context().doc.unsavedChanges = false;
    w.reset();
  }

  // With a 5-hour VBR document (six-digit frame counts, the longest times a file
  // gives) every caption of the client area fits its control, at the default
  // font and with the application font 25 % larger.
  void everyCaptionFitsItsControl() {
    std::vector<testing::FrameShape> shapes(689000);
    const std::array<uint8_t, 4> rates = {9, 9, 10, 11};  // 128, 128, 160, 192 kbps
    for (size_t i = 0; i < shapes.size(); ++i) shapes[i].kbps = rates[i % rates.size()];
    testing::LoadFrames(w->context(), shapes);
    QWidget* client = w->centralWidget();
    w->refreshAll();
    QCoreApplication::processEvents();
    QStringList atDefault = CutCaptions(client);

    const QFont original = QApplication::font();
    QFont larger = original;
    if (larger.pointSizeF() > 0) {
      larger.setPointSizeF(original.pointSizeF() * 1.25);
    } else {
      larger.setPixelSize(original.pixelSize() * 5 / 4);
    }
    QApplication::setFont(larger);
    QCoreApplication::processEvents();
    w->refreshAll();
    QCoreApplication::processEvents();
    QStringList atLarger = CutCaptions(client);
    QApplication::setFont(original);
    QCoreApplication::processEvents();
    w->refreshAll();

    QVERIFY2(atDefault.isEmpty(), qPrintable(QStringLiteral("default font: ") + atDefault.join(QStringLiteral("; "))));
    QVERIFY2(atLarger.isEmpty(), qPrintable(QStringLiteral("font +25 %: ") + atLarger.join(QStringLiteral("; "))));
  }

  // The dialogs and tool windows are laid out from their contents: every
  // caption fits there too, at the default font and 25 % larger.
  void everyCaptionFitsInTheDialogs() {
    open(SampleFile());
    select(10, 30);
    w->context().options.tagFlags &= static_cast<uint8_t>(~kTagFlagEditorInstructions);
    const QFont original = QApplication::font();
    QFont larger = original;
    if (larger.pointSizeF() > 0) {
      larger.setPointSizeF(original.pointSizeF() * 1.25);
    } else {
      larger.setPixelSize(original.pixelSize() * 5 / 4);
    }
    QStringList cut;
    int walked = 0;
    auto walk = [&](QWidget* window, const QString& font) {
      QCoreApplication::processEvents();
      ++walked;
      for (const QString& c : CutCaptions(window, true)) cut << font + QStringLiteral(", ") + window->objectName() + ": " + c;
    };
    for (const QFont& font : {original, larger}) {
      QApplication::setFont(font);
      QCoreApplication::processEvents();
      const QString name = font == original ? QStringLiteral("default font") : QStringLiteral("font +25 %");
      for (Command c : {Command::kVolume, Command::kFade, Command::kSilence, Command::kSaveSelection,
                          Command::kSplit}) {
        WhenModal([&] {
          QWidget* m = QApplication::activeModalWidget();
          walk(m, name);
          m->close();
        });
        w->action(c)->trigger();
      }
      w->findChild<QAction*>("about")->trigger();
      w->openId3v1Editor();
      w->openId3v2Editor();
      for (const char* window : {"TReadmeF", "TID3v1Form"}) {
        QWidget* opened = w->findChild<QWidget*>(window);
        QVERIFY2(opened != nullptr, window);
        walk(opened, name);
        opened->close();
      }
      QVERIFY(w->id3v2Editor() != nullptr);
      walk(w->id3v2Editor(), name);
      w->id3v2Editor()->cancelAndClose();
    }
    QApplication::setFont(original);
    QCoreApplication::processEvents();
    QCOMPARE(walked, 16);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
  }

  void everyKeyAndMnemonicIsUnique() {
    std::map<QString, QString> seen;
    auto add = [&](const QKeySequence& k, const QString& who) {
      if (k.isEmpty()) return;
      QString key = k.toString();
      QVERIFY2(seen.find(key) == seen.end(),
               qPrintable(key + QStringLiteral(": ") + who + QStringLiteral(" and ") + seen[key]));
      seen[key] = who;
    };
    for (QAction* a : w->findChildren<QAction*>()) {
      if (a->menu() == nullptr) add(a->shortcut(), a->objectName());
    }
    for (QAction* a : w->menuBar()->actions()) add(QKeySequence::mnemonic(a->text()), a->text());
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
      if (b->window() == w.get()) add(b->shortcut(), b->text());
    }
    for (QLabel* l : w->findChildren<QLabel*>()) {
      if (l->buddy() != nullptr) add(QKeySequence::mnemonic(l->text()), l->text());
    }
    QVERIFY(seen.size() >= 20);
  }

  void mnemonicsWithinEachMenuAreUnique() {
    for (QMenu* m : w->menuBar()->findChildren<QMenu*>()) {
      std::set<QString> letters;
      for (QAction* a : m->actions()) {
        if (a->isSeparator()) continue;
        QString k = QKeySequence::mnemonic(a->text()).toString();
        if (k.isEmpty()) continue;
        QVERIFY2(letters.insert(k).second, qPrintable(m->title() + QStringLiteral(": ") + a->text()));
      }
    }
  }

  void captionsKeysAndHints_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QKeySequence>("key");
    QTest::newRow("open") << "open" << " &Open    (Alt+L)" << "&Load" << QKeySequence("Alt+L");
    QTest::newRow("reopen") << "reopen" << " &Reopen    (Alt+R)" << "&Reload" << QKeySequence("Alt+R");
    QTest::newRow("save as") << "saveAs" << " Save &as    (Alt+A)" << "Save &As" << QKeySequence("Alt+A");
    QTest::newRow("save") << "save" << " &Save    (Alt+S)" << "&Save" << QKeySequence("Alt+S");
    QTest::newRow("delete") << "delete" << " &Delete    (Ctrl+Del)" << "Delete" << QKeySequence("Ctrl+Del");
    QTest::newRow("cut") << "cut" << " Cu&t    (Ctrl+X)" << "Cut" << QKeySequence("Ctrl+X");
    QTest::newRow("copy") << "copy" << " &Copy    (Ctrl+C)" << "Copy" << QKeySequence("Ctrl+C");
    QTest::newRow("paste") << "paste" << " &Paste    (Ctrl+V)" << "Paste" << QKeySequence("Ctrl+V");
    QTest::newRow("trim") << "trim" << " Tri&m    (Alt+M)" << "Tri&m" << QKeySequence("Alt+M");
    QTest::newRow("select all") << "selectAll" << " &Select all    (Ctrl+A)" << "Sel.All" << QKeySequence("Ctrl+A");
    QTest::newRow("unselect") << "unselect" << " U&nselect    (Ctrl+Alt+A)" << "Unsel."
                              << QKeySequence("Ctrl+Alt+A");
    QTest::newRow("undo") << "undo" << " &Undo    (Ctrl+Z)" << "Undo" << QKeySequence("Ctrl+Z");
    QTest::newRow("volume") << "volume" << " &Volume && Balance    (Alt+V)" << "&Vol./bal." << QKeySequence("Alt+V");
    QTest::newRow("play input") << "playInput" << " Play &input (loaded) file  (Alt+T)" << "Inpu&t"
                                << QKeySequence("Alt+T");
    QTest::newRow("play output") << "playOutput" << " Play &output (saved) file  (Alt+O)" << "&Output"
                                 << QKeySequence("Alt+O");
    QTest::newRow("play preview") << "playPreview" << " Play &preview (edited)  (Alt+P)" << "&Preview"
                                  << QKeySequence("Alt+P");
    QTest::newRow("play selection") << "playSelection" << " Play &selection  (Alt+E)" << "Sel&ection"
                                    << QKeySequence("Alt+E");
    QTest::newRow("insert file") << "insertFile" << " Insert (paste) &external file    (Ctrl+Ins)" << "Insert"
                                 << QKeySequence("Ctrl+Ins");
    QTest::newRow("save selection") << "saveSelection" << " Save the se&lection as    (Ctrl+F8)" << ""
                                    << QKeySequence("Ctrl+F8");
    QTest::newRow("split") << "split" << " Split into smaller &files    (Ctrl+F12)" << "Split"
                           << QKeySequence("Ctrl+F12");
    QTest::newRow("fade") << "fade" << " &Fade in/out    (Alt+D)" << "Fa&de in/out" << QKeySequence("Alt+D");
    QTest::newRow("silence") << "silence" << " &Add silence    (Alt+I)" << "add S&il." << QKeySequence("Alt+I");
    QTest::newRow("close") << "closeDocument" << " &Close (not needed)    (Ctrl+F4)" << "" << QKeySequence("Ctrl+F4");
    QTest::newRow("close program") << "closeProgram" << " Close the program    (Alt+F4)" << ""
                                   << QKeySequence("Alt+F4");
    QTest::newRow("program help") << "programHelp" << " Program &help" << "" << QKeySequence();
    QTest::newRow("script help") << "scriptHelp" << " &Script language help" << "" << QKeySequence();
    QTest::newRow("legend") << "legend" << " &Frames legend" << "" << QKeySequence();
  }
  void captionsKeysAndHints() {
    QFETCH(QString, action);
    QFETCH(QString, menu);
    QFETCH(QString, button);
    QFETCH(QKeySequence, key);
    auto* a = w->findChild<QAction*>(action);
    QVERIFY(a != nullptr);
    QCOMPARE(CaptionOf(a->text()), menu);
    QCOMPARE(a->shortcut(), key);
    auto* b = w->findChild<QPushButton*>(action + QStringLiteral("Button"));
    if (button.isEmpty()) {
      QVERIFY(b == nullptr);
    } else {
      QVERIFY(b != nullptr);
      QCOMPARE(b->text(), button);
      QVERIFY(!b->accessibleName().isEmpty());
    }
  }

  // One row per engine command, each with its handler and its action; while
  // an operation runs only Esc stays enabled, and it comes back afterwards.
  void commandTableRows() {
    std::set<Command> seen;
    for (const CommandSpec& c : CommandTable()) {
      QVERIFY2(seen.insert(c.command).second, c.name);
      QVERIFY2(c.handler != nullptr, c.name);
      QCOMPARE(FindCommand(c.command), &c);
      QCOMPARE(w->action(c.command)->objectName(), QString::fromUtf8(c.name));
    }
    QCOMPARE(FindCommand(Command::kEnqueueInput), nullptr);  // a Play menu item of its own
    open(SampleFile());
    std::map<Command, bool> before;
    for (const CommandSpec& c : CommandTable()) before[c.command] = w->action(c.command)->isEnabled();
    QVERIFY(before[Command::kPageDown] && before[Command::kLegend] && before[Command::kSaveAs]);
    w->desktopHost().busyBegin(kBusySave);
    for (const CommandSpec& c : CommandTable()) {
      QCOMPARE(w->action(c.command)->isEnabled(), c.command == Command::kCancel);
    }
    w->desktopHost().busyEnd(kBusySave);
    for (const CommandSpec& c : CommandTable()) QCOMPARE(w->action(c.command)->isEnabled(), before[c.command]);
  }

  // Each tool window is made once, on its first use, and made again only
  // after it was deleted; a close request reaches the tag windows only, the
  // busy state and the changes reach every window, also one made while busy.
  void toolWindowRegistry() {
    ToolWindows tools;
    int made = 0;
    std::vector<std::unique_ptr<QWidget>> owned;
    tools.define<TagTool>([&] {
      ++made;
      owned.push_back(std::make_unique<TagTool>());
      return static_cast<TagTool*>(owned.back().get());
    });
    tools.define<KeyTool>([&] {
      ++made;
      owned.push_back(std::make_unique<KeyTool>());
      return static_cast<KeyTool*>(owned.back().get());
    });
    QCOMPARE(tools.find<TagTool>(), nullptr);
    QCOMPARE(tools.count(), 0);
    tools.setBusy(true);
    TagTool* tag = tools.open<TagTool>();
    QVERIFY(tag != nullptr);
    QVERIFY(tag->busy);
    QCOMPARE(tools.open<TagTool>(), tag);
    QCOMPARE(tools.find<TagTool>(), tag);
    QCOMPARE(made, 1);
    QCOMPARE(tools.find<KeyTool>(), nullptr);
    KeyTool* key = tools.open<KeyTool>();
    QCOMPARE(made, 2);
    QVERIFY(key->busy);
    tools.setBusy(false);
    QVERIFY(!tag->busy && !key->busy);
    tools.refresh(w->context(), kChangedTags);
    QCOMPARE(tag->seen, kChangedTags);
    QCOMPARE(key->seen, kChangedTags);
    tag->show();
    key->show();
    tools.closeTagWindows();
    QVERIFY(!tag->isVisible());
    QVERIFY(key->isVisible());
    owned.front().reset();  // the tag window is deleted
    QCOMPARE(tools.find<TagTool>(), nullptr);
    QCOMPARE(tools.count(), 1);
    QVERIFY(tools.open<TagTool>() != nullptr);
    QCOMPARE(made, 3);
  }

  // The main window's tool windows: made on first use, once; the engine's
  // close request closes the tag editors and leaves the legend.
  void toolWindowsOfTheMainWindow() {
    QVERIFY(w->id3v1Editor() == nullptr && w->id3v2Editor() == nullptr && w->imageWindow() == nullptr &&
            w->legend() == nullptr);
    open(SampleFile());
    w->openId3v1Editor();
    Id3v1EditorWindow* v1 = w->id3v1Editor();
    QVERIFY(v1 != nullptr && v1->isVisible());
    w->openId3v1Editor();
    QCOMPARE(w->id3v1Editor(), v1);
    WhenModal([] { QApplication::activeModalWidget()->close(); });  // the editor's note on a file without a tag
    w->openId3v2Editor();
    Id3v2EditorWindow* v2 = w->id3v2Editor();
    QVERIFY(v2 != nullptr && v2->isVisible());
    w->action(Command::kLegend)->trigger();
    LegendWindow* legend = w->legend();
    QVERIFY(legend != nullptr && legend->isVisible());
    w->action(Command::kLegend)->trigger();
    QCOMPARE(w->legend(), legend);
    QCOMPARE(w->findChildren<Id3v1EditorWindow*>().size(), 1);
    QCOMPARE(w->findChildren<LegendWindow*>().size(), 1);
    w->closeTagWindows();
    QVERIFY(!v1->isVisible());
    QVERIFY(!v2->isVisible());
    QVERIFY(legend->isVisible());
    legend->close();
  }

  // The modal scope: the arrow over whatever cursor was set, one more level
  // of depth, a living window moved in front of the modal window open now and
  // back home afterwards; a close asked for inside it waits for its end.
  void modalScopeOfTheDesktopHost() {
    DesktopHost& host = w->desktopHost();
    QCOMPARE(host.modalDepth(), 0);
    QCOMPARE(host.questionParent(), static_cast<QWidget*>(w.get()));
    QVERIFY(!host.asking());
    w->desktopHost().setBusy(true);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    {
      DesktopHost::ModalScope outer(host);
      QCOMPARE(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
      {
        DesktopHost::ModalScope inner(host);
        QCOMPARE(host.modalDepth(), 2);
      }
      QCOMPARE(host.modalDepth(), 1);
      QVERIFY(host.asking());
    }
    QCOMPARE(host.modalDepth(), 0);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    w->desktopHost().setBusy(false);
    QVERIFY(QApplication::overrideCursor() == nullptr);

    QDialog dialog(w.get());
    dialog.setObjectName(QStringLiteral("someDialog"));
    QWidget* parentSeen = nullptr;
    QWidget* messageParentSeen = nullptr;
    WhenModal([&] {
      parentSeen = host.questionParent();
      {
        DesktopHost::ModalScope scope(host, w->messageWindow());
        messageParentSeen = w->messageWindow()->parentWidget();
      }
      QCOMPARE(w->messageWindow()->parentWidget(), static_cast<QWidget*>(w.get()));
      dialog.reject();
    });
    dialog.exec();
    QCOMPARE(parentSeen, static_cast<QWidget*>(&dialog));
    QCOMPARE(messageParentSeen, static_cast<QWidget*>(&dialog));

    {
      DesktopHost::ModalScope scope(host);
      w->requestClose();
      QCoreApplication::processEvents();
      QVERIFY(w->isVisible());
    }
    QVERIFY(w->isVisible());
    host.carryOutWaitingClose();
    QCoreApplication::processEvents();
    QVERIFY(!w->isVisible());
  }

  // Every file-type list the program hands to an open or save dialog, as Qt
  // takes it, and what the dialog lists under each of its types.
  void fileDialogsListTheFilesTheirTypesName() {
    QTemporaryDir folder;
    const QStringList files = {QStringLiteral("a.jpg"), QStringLiteral("b.jpeg"), QStringLiteral("c.jfif"),
                               QStringLiteral("d.png"), QStringLiteral("e.txt"),  QStringLiteral("f.mp3"),
                               QStringLiteral("g.ini"), QStringLiteral("h.log"),  QStringLiteral("notes")};
    for (const QString& name : files) {
      QFile f(folder.filePath(name));
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QStringList pictures = {QStringLiteral("a.jpg"), QStringLiteral("b.jpeg"), QStringLiteral("c.jfif"),
                                  QStringLiteral("d.png")};
    struct Case {
      std::string filter;
      QString qt;
      std::vector<QStringList> listed;  // under each type, in order
    };
    const std::vector<Case> cases = {
        {"JPEG & PNG files|*.jpg;*.jpeg;*.jfif;*.png|JPEG files|*.jpg;*.jpeg;*.jfif|PNG files|*.png|All files|*.*",
         QStringLiteral("JPEG & PNG files (*.jpg *.jpeg *.jfif *.png);;JPEG files (*.jpg *.jpeg *.jfif);;"
                        "PNG files (*.png);;All files (*)"),
         {pictures, pictures.mid(0, 3), {QStringLiteral("d.png")}, files}},
        {"mp3 files|*.mp3|all files|*.*", QStringLiteral("mp3 files (*.mp3);;all files (*)"),
         {{QStringLiteral("f.mp3")}, files}},
        {"Text files|*.txt|All files|*.*", QStringLiteral("Text files (*.txt);;All files (*)"),
         {{QStringLiteral("e.txt")}, files}},
        {"text files|*.txt|all files|*.*", QStringLiteral("text files (*.txt);;all files (*)"),
         {{QStringLiteral("e.txt")}, files}},
        {"ini files|*.ini|all files|*.*", QStringLiteral("ini files (*.ini);;all files (*)"),
         {{QStringLiteral("g.ini")}, files}},
        {"log files|*.log|all files|*.*", QStringLiteral("log files (*.log);;all files (*)"),
         {{QStringLiteral("h.log")}, files}},
        {"All files|*.*", QStringLiteral("All files (*)"), {files}},
    };
    for (const Case& c : cases) {
      QCOMPARE(QtFilter(c.filter), c.qt);
      for (bool save : {false, true}) {
        std::vector<QStringList> listed;
        WhenModalNamed(save ? QStringLiteral("saveDialog") : QStringLiteral("openDialog"), [&](QWidget* modal) {
          auto* dialog = qobject_cast<QFileDialog*>(modal);
          QVERIFY(dialog != nullptr);
          struct Closer {
            QDialog* d;
            ~Closer() { d->reject(); }
          } closer{dialog};
          auto* view = dialog->findChild<QAbstractItemView*>(QStringLiteral("listView"));
          QVERIFY(view != nullptr);
          auto names = [view] {
            QStringList out;
            const QModelIndex root = view->rootIndex();
            for (int row = 0; row < view->model()->rowCount(root); ++row)
              out << view->model()->index(row, 0, root).data().toString();
            out.sort();
            return out;
          };
          QCOMPARE(dialog->nameFilters().size(), qsizetype(c.listed.size()));
          for (size_t i = 0; i < c.listed.size(); ++i) {
            dialog->selectNameFilter(dialog->nameFilters()[qsizetype(i)]);
            // The folder is read in the background, and a new type applies at
            // the next turn of the event loop.
            QTRY_COMPARE(names(), c.listed[i]);
            listed.push_back(names());
          }
        });
        FileDialogRequest request;
        request.title = "types";
        request.filter = c.filter;
        request.folder = folder.path().toStdString();
        request.mustExist = true;
        const std::optional<std::string> chosen =
            save ? w->desktopHost().chooseSaveFile(request) : w->desktopHost().chooseOpenFile(request);
        QVERIFY(!chosen.has_value());
        QCOMPARE(listed, c.listed);
      }
    }
  }

  // The fade and silence commands open their dialogs and apply what they hand back.
  void fadeAndSilenceThroughTheirDialogs() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    const int32_t count = doc.editCount;
    select(10, 30);
    WhenModalNamed(QStringLiteral("TFadeForm"), [](QWidget* modal) {
      auto* d = static_cast<FadeDialog*>(modal);
      d->fadeOutButton()->setChecked(true);
      d->okButton()->click();
    });
    QTest::keyClick(w.get(), Qt::Key_D, Qt::AltModifier);
    // Fading out: the first selected frame is untouched, the last one attenuated most.
    QCOMPARE(doc.gainLeft[10], int16_t{0});
    QVERIFY(doc.gainLeft[29] < doc.gainLeft[20]);
    QVERIFY(doc.gainLeft[20] < 0);
    QVERIFY(doc.unsavedChanges);

    doc.cursor = 5;
    SetSelectionExists(doc, false);
    w->refreshAll();
    WhenModalNamed(QStringLiteral("TSilenceForm"), [](QWidget* modal) {
      auto* d = static_cast<SilenceDialog*>(modal);
      d->lengthBox()->setText(QStringLiteral("1"));
      emit d->lengthBox()->textEdited(d->lengthBox()->text());
      d->okButton()->click();
    });
    activate();  // the main window is active again after the fade dialog
    QTest::keyClick(w.get(), Qt::Key_I, Qt::AltModifier);
    QCOMPARE(doc.editCount, count + 38);  // 1 s at 44.1 kHz: 38.28 frames
  }

  // "Edit id3v1 tag": the button after the box in the focus chain, the editor, and closing it with the document.
  void id3v1EditorFromTheRemoveBox() {
    open(SampleFile());
    QCheckBox* v1 = nullptr;
    for (QCheckBox* c : w->findChildren<QCheckBox*>()) {
      if (c->text() == QStringLiteral("ID3v&1 tag")) v1 = c;
    }
    QVERIFY(v1 != nullptr);
    QPushButton* view = w->viewButton(5);
    QVERIFY(view != nullptr);
    QCOMPARE(view->toolTip(), QStringLiteral("Edit id3v1 tag"));
    QVERIFY(view->isEnabled());
    QCOMPARE(v1->nextInFocusChain(), static_cast<QWidget*>(view));
    // A file without an ID3v1 or ID3v2 tag: the disabled boxes' Alt+1 and
    // Alt+2 reach their editor buttons instead.
    open(DataFile("cbr96-no-info.mp3"));
    QVERIFY(!v1->isEnabled());
    activate();
    QTest::keyClick(w.get(), Qt::Key_2, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->viewButton(1)));
    QTest::keyClick(w.get(), Qt::Key_1, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(view));
    open(SampleFile());
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Space);
    Id3v1EditorWindow* editor = w->id3v1Editor();
    QVERIFY(editor != nullptr);
    QVERIFY(editor->isVisible());
    editor->box(Id3v1EditorField::kTitle)->selectAll();
    QTest::keyClicks(editor->box(Id3v1EditorField::kTitle), QStringLiteral("A title"));
    editor->okButton()->click();
    QVERIFY(!editor->isVisible());
    QVERIFY(w->context().doc.boxes.id3v1.enabled);  // the record holds something now
    QCOMPARE(ReadTextField(w->context().doc.id3v1.record, Id3v1Field::kTitle, 30), std::string("A title"));
    // With the box enabled, Alt+1 is the box's own again.
    QVERIFY(v1->isEnabled());
    activate();
    QTest::keyClick(w.get(), Qt::Key_1, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(v1));

    // Opening the file again with a change the editor holds asks first (the
    // change is an edit); after No the editor closes, keeping nothing it had
    // not accepted.
    w->openId3v1Editor();
    QVERIFY(editor->isVisible());
    QTest::keyClicks(editor->box(Id3v1EditorField::kArtist), QStringLiteral("unsaved"));
    w->context().doc.unsavedChanges = false;
    QString asked;
    WhenModal([&] {
      asked = w->yesNoWindow()->textLabel()->text();
      w->yesNoWindow()->negativeButton()->click();
    });
    open(SampleFile());
    QCOMPARE(asked, QStringLiteral("  Save changes?  "));
    QVERIFY(!editor->isVisible());
    QVERIFY(ReadTextField(w->context().doc.id3v1.record, Id3v1Field::kArtist, 30) != "unsaved");
  }

  void hintsAsQuoted() {
    QCOMPARE(w->findChild<QPushButton*>("openButton")->toolTip(), QStringLiteral("Choose a file to open"));
    QCOMPARE(w->findChild<QPushButton*>("reopenButton")->toolTip(), QStringLiteral("Reopen last opened file"));
    QCOMPARE(w->positionBox(0)->toolTip(), QStringLiteral("Type new cursor position here,\nthen press the Enter key"));
    QCOMPARE(w->positionBox(1)->toolTip(),
             QStringLiteral("Type new position of other end of selection,\nthen press the Enter key"));
    const char* steps[] = {"Increase by one frame", "Increase by one second", "Decrease by one frame",
                           "Decrease by one second"};
    for (int i = 0; i < 8; ++i) QCOMPARE(w->stepButton(i)->toolTip(), QString::fromUtf8(steps[i % 4]));
    QCOMPARE(w->findButton()->text(), QStringLiteral("fi&nd"));
    QCOMPARE(w->findButton()->toolTip(), QStringLiteral("Go to the cursor (change display offset)"));
    QCOMPARE(w->selectionLabel()->toolTip(), QStringLiteral("Length of selection in seconds"));
    QCOMPARE(w->sourceInfoLabel()->text(), QStringLiteral("No file loaded"));
    QCOMPARE(w->statisticsList()->toolTip(),
             QStringLiteral("Right-click to switch between\nsource/input and edit/output stats"));
    QCOMPARE(w->windowTitle(), QStringLiteral(" Quorvel"));
    // A hint stays 2000 ms + 97 ms per character.
    QCOMPARE(w->positionBox(0)->toolTipDuration(), 2000 + 97 * 56);
    const char* boxes[] = {"RIFF header", "ID3v&2 tag", "Unknown header", "Unknown footer", "L&yrics3 tag",
                           "ID3v&1 tag"};
    for (int i = 0; i < 6; ++i) QCOMPARE(w->removeBox(i)->text(), QString::fromUtf8(boxes[i]));
    QCOMPARE(w->removeBox(0)->toolTip(), QStringLiteral("You don't really need it, check to remove"));
    QCOMPARE(w->findChild<QGroupBox*>()->title(), QStringLiteral(" Check to remove, press to view/edit "));
  }

  void everyControlHasAnAccessibleName() {
    for (QWidget* c : w->centralWidget()->findChildren<QWidget*>()) {
      bool control = qobject_cast<QAbstractButton*>(c) || qobject_cast<QLineEdit*>(c) ||
                     qobject_cast<QListWidget*>(c) || qobject_cast<StripWidget*>(c) ||
                     qobject_cast<ScrollWidget*>(c);
      if (control) QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
    }
  }

  // The painted controls tell a screen reader what they show.
  void stripScrollBarAndProgressReportTheirValues() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    doc.cursor = 100;
    doc.selectionEnd = 120;
    SetSelectionExists(doc, true);
    doc.viewStart = 50;
    w->refreshAll();
    struct Expected {
      const char* name;
      QAccessible::Role role;
      double current, maximum;
      QString text;
    };
    // 1152 samples at 44.1 kHz a frame: frame 100 starts at 2.612 s, frame 120 at 3.135 s.
    const Expected expected[] = {
        {"frameStrip", QAccessible::Slider, 100, 156, QStringLiteral("cursor at 2.612 s, selection to 3.135 s")},
        {"frameScrollBar", QAccessible::ScrollBar, 50, 156 - 84, QStringLiteral("frames 51 to 134 of 156")},
    };
    for (const Expected& e : expected) {
      QWidget* widget = w->findChild<QWidget*>(QString::fromUtf8(e.name));
      QVERIFY2(widget != nullptr, e.name);
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
      QVERIFY(a != nullptr);
      QCOMPARE(a->role(), e.role);
      QCOMPARE(a->text(QAccessible::Value), e.text);
      QAccessibleValueInterface* v = a->valueInterface();
      QVERIFY(v != nullptr);
      QCOMPARE(v->currentValue().toDouble(), e.current);
      QCOMPARE(v->maximumValue().toDouble(), e.maximum);
    }
    auto* progress = w->findChild<ProgressArea*>("progress");
    progress->setProgress(0.5);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(progress);
    QCOMPARE(a->role(), QAccessible::ProgressBar);
    QCOMPARE(a->text(QAccessible::Value), QStringLiteral("50 %"));
    progress->setProgress(0);
  }

  // The window's controls and tool windows read the context: each goes while
  // the window, and with it the context, still exists.
  void childWindowsGoBeforeTheContext() {
    open(SampleFile());
    w->findChild<QAction*>("legend")->trigger();
    w->findChild<QAction*>("about")->trigger();
    w->openId3v1Editor();
    ReportMessage(w->context(), "a message", kMsgInfo, "info");
    MainWindow* window = w.get();
    QStringList late;
    int watched = 0;
    for (const char* name : {"frameStrip", "frameScrollBar", "TFrameLegendForm", "TReadmeF", "TID3v1Form",
                             "TMsgBoxForm", "progress"}) {
      QObject* child = w->findChild<QObject*>(QString::fromUtf8(name));
      QVERIFY2(child != nullptr, name);
      ++watched;
      connect(child, &QObject::destroyed, [window, name, &late] {
        // Once the window's own destructor has finished, it is no MainWindow any more.
        if (qobject_cast<MainWindow*>(static_cast<QObject*>(window)) == nullptr) late << QString::fromUtf8(name);
      });
    }
    QCOMPARE(watched, 7);
    w.reset();
    QVERIFY2(late.isEmpty(), qPrintable(late.join(QLatin1Char(' '))));
  }

  void loadShowsTheFile() {
    open(SampleFile());
    const DocumentState& doc = w->context().doc;
    QCOMPARE(doc.editCount, 156);
    QCOMPARE(w->sourceInfoLabel()->text(), QStringLiteral("44.1 KHz, JOINT STEREO, 96 kbps, 4.075 sec"));
    QCOMPARE(w->timeLabel(0)->text(), QStringLiteral("0.00 s"));
    QVERIFY(w->action(Command::kSaveAs)->isEnabled());
    QVERIFY(!w->action(Command::kDelete)->isEnabled());
    QCOMPARE(doc.viewStartMax, 156 - 84);
    QVERIFY(w->sourcePathLabel()->text().endsWith(QStringLiteral("sample.mp3")));
  }

  // An MPEG-2 file: its information line, the strip's frames, positions of
  // 576 samples a frame and the statistics of its version's bitrates.
  void loadShowsAnMpegTwoFile() {
    open(DataFile("mpeg2-22k-64k.mp3"));
    DocumentState& doc = w->context().doc;
    QCOMPARE(doc.editCount, 42);
    QCOMPARE(w->sourceInfoLabel()->text(), QStringLiteral("22.05 KHz, JOINT STEREO, 64 kbps, 1.097 sec"));
    QListWidget* stats = w->statisticsList();
    QCOMPARE(stats->count(), 15);
    QCOMPARE(stats->item(8)->text(), QStringLiteral("  64 kbps frames: 42"));
    QCOMPARE(stats->item(1)->text(), QStringLiteral("   8 kbps frames: 0"));
    QCOMPARE(stats->currentRow(), 8);
    QTest::mouseClick(w->strip(), Qt::LeftButton, Qt::NoModifier, StripPoint(30 + 5 * 10 + 3, 300));
    QCOMPARE(doc.cursor, 10);
    QCOMPARE(w->positionBox(0)->text(), QStringLiteral("0.261"));  // 10 x 576 / 22050 s
    w->stepButton(0)->click();
    QCOMPARE(w->positionBox(0)->text(), QStringLiteral("0.287"));
    // The legend names the version's bitrates, and follows the next document.
    w->findChild<QAction*>("legend")->trigger();
    auto* legend = w->findChild<LegendWindow*>("TFrameLegendForm");
    QVERIFY(legend != nullptr);
    QCOMPARE(legend->pictureText(1), QStringLiteral("8 kbps"));
    QCOMPARE(legend->pictureText(14), QStringLiteral("160 kbps"));
    open(SampleFile());
    QCOMPARE(legend->pictureText(1), QStringLiteral("32 kbps"));
    QCOMPARE(legend->pictureText(14), QStringLiteral("320 kbps"));
    legend->close();
  }

  void selectAllOnLoad() {
    w->context().options.mainFlags |= kSelectAllOnLoad;
    open(SampleFile());
    QVERIFY(w->action(Command::kDelete)->isEnabled());
    QCOMPARE(w->selectionLabel()->text(), QStringLiteral("sel: 4.075"));
  }

  void clickPlacesTheCursorAndShiftClickSelects() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    QTest::mouseClick(w->strip(), Qt::LeftButton, Qt::NoModifier, StripPoint(30 + 5 * 7 + 3, 300));
    QCOMPARE(doc.cursor, 7);
    QVERIFY(!doc.selectionExists);
    QTest::mouseClick(w->strip(), Qt::LeftButton, Qt::ShiftModifier, StripPoint(30 + 5 * 20 + 1, 300));
    QCOMPARE(doc.selectionEnd, 20);
    QVERIFY(doc.selectionExists);
    QVERIFY(w->action(Command::kDelete)->isEnabled());
    QVERIFY(w->selectionLabel()->isVisible());
    QVERIFY(w->selectionLabel()->text().startsWith(QStringLiteral("sel: 0.340")));
    // Right-click moves the other end.
    QTest::mouseClick(w->strip(), Qt::RightButton, Qt::NoModifier, StripPoint(30 + 5 * 3 + 2, 300));
    QCOMPARE(doc.selectionEnd, 3);
    QCOMPARE(doc.cursor, 7);
    // A press outside the strip's rows does nothing.
    QTest::mouseClick(w->strip(), Qt::LeftButton, Qt::NoModifier, StripPoint(60, 293));
    QCOMPARE(doc.cursor, 7);
  }

  void dragSelectsFromPressToRelease() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    QTest::mousePress(w->strip(), Qt::LeftButton, Qt::NoModifier, StripPoint(30 + 5 * 10, 300));
    QTest::mouseRelease(w->strip(), Qt::LeftButton, Qt::NoModifier, StripPoint(30 + 5 * 30, 300));
    QCOMPARE(doc.cursor, 10);
    QCOMPARE(doc.selectionEnd, 30);
    QVERIFY(doc.selectionExists);
  }

  void doubleClickShowsFrameInfo() {
    open(SampleFile());
    QTest::mouseClick(w->strip(), Qt::LeftButton, Qt::NoModifier, StripPoint(32, 300));
    QMouseEvent dbl(QEvent::MouseButtonDblClick, StripPoint(32, 300), w->strip()->mapToGlobal(StripPoint(32, 300)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->strip(), &dbl);
    // The press that follows a double-click is ignored.
    QTest::mousePress(w->strip(), Qt::LeftButton, Qt::NoModifier, StripPoint(60, 300));
    const DocumentState& doc = w->context().doc;
    QCOMPARE(doc.cursor, 0);
    QCOMPARE(doc.selectionEnd, 1);
    QCOMPARE(w->messageWindow()->windowTitle(), QStringLiteral("frame info"));
    QString text = w->messageWindow()->textLabel()->text();
    QVERIFY2(text.startsWith(QStringLiteral("Frame position: 1\nOriginal position: 1\n")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("INFO header. Removed (CBR) or replaced with Xing (VBR).")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("Frequency: 44.1 KHz")));
  }

  void positionBoxesApplyOnEnterAndTurnRed() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    QLineEdit* box = w->positionBox(0);
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, "abc");
    QCOMPARE(box->palette().color(QPalette::Text), QColor(Qt::red));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(doc.cursor, 0);
    box->selectAll();
    QTest::keyClicks(box, "1.0");
    QVERIFY(box->palette().color(QPalette::Text) != QColor(Qt::red));
    QTest::keyClick(box, Qt::Key_Return);
    // 1 s at 1152 samples per 44.1 kHz frame is 38.28 frames: boundary 38.
    QCOMPARE(doc.cursor, 38);
    QCOMPARE(box->text(), QStringLiteral("0.993"));
    QLineEdit* second = w->positionBox(1);
    second->selectAll();
    QTest::keyClicks(second, "2");
    QTest::keyClick(second, Qt::Key_Return);
    QCOMPARE(doc.selectionEnd, 77);
    QVERIFY(doc.selectionExists);
  }

  // A modal window that opens while a step button repeats takes the mouse:
  // the repeat stops instead of running on behind it.
  void autoRepeatStopsBehindAModalWindow() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    QTest::mousePress(w->stepButton(0), Qt::LeftButton);
    w->stepTick();  // arms
    w->stepTick();
    QCOMPARE(doc.cursor, 2);
    int32_t during = -1;
    WhenModal([&] {
      w->stepTick();
      w->stepTick();
      during = doc.cursor;
      w->yesNoWindow()->negativeButton()->click();
    });
    AskYesNo(w->context(), "question", kModalQuestion, "q");
    QCOMPARE(during, 2);
    w->stepTick();
    QCOMPARE(doc.cursor, 2);
    QCOMPARE(w->stepInterval(), 220);
    QTest::mouseRelease(w->stepButton(0), Qt::LeftButton);
  }

  void stepButtonsAndAutoRepeat() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    QTest::mousePress(w->stepButton(0), Qt::LeftButton);
    QCOMPARE(doc.cursor, 1);
    QCOMPARE(w->stepInterval(), 220);
    w->stepTick();  // arms
    QCOMPARE(doc.cursor, 1);
    w->stepTick();
    QCOMPARE(doc.cursor, 2);
    QCOMPARE(w->stepInterval(), 180);
    w->stepTick();
    w->stepTick();
    w->stepTick();
    QCOMPARE(doc.cursor, 5);
    QCOMPARE(w->stepInterval(), 80);
    w->stepTick();
    QCOMPARE(w->stepInterval(), 60);
    w->stepTick();
    w->stepTick();
    w->stepTick();
    QCOMPARE(w->stepInterval(), 20);
    w->stepTick();
    QCOMPARE(w->stepInterval(), 20);
    QTest::mouseRelease(w->stepButton(0), Qt::LeftButton);
    int32_t after = doc.cursor;
    w->stepTick();
    QCOMPARE(doc.cursor, after);
    QCOMPARE(w->stepInterval(), 220);
  }

  void secondsButtons_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("expected");
    // 2.3 s (frame 88) up to 3 s: frame 115 (114.84); 2.7 s (frame 103) up to 4 s: frame 153.
    QTest::newRow("+1s from 2.3 s") << 88 << 1 << 115;
    QTest::newRow("+1s from 2.7 s") << 103 << 1 << 153;
    QTest::newRow("-1s from 0.3 s") << 11 << 3 << 0;
    QTest::newRow("+1s beyond the end") << 150 << 1 << 156;
  }
  void secondsButtons() {
    QFETCH(int, start);
    QFETCH(int, button);
    QFETCH(int, expected);
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    doc.cursor = start;
    SetSelectionExists(doc, false);
    QTest::mouseClick(w->stepButton(button), Qt::LeftButton);
    QCOMPARE(doc.cursor, expected);
  }

  void scrollKeysWorkEverywhere() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    QTest::keyClick(w.get(), Qt::Key_PageDown);
    QCOMPARE(doc.viewStart, 72);
    QTest::keyClick(w.get(), Qt::Key_PageUp);
    QCOMPARE(doc.viewStart, 0);
    w->positionBox(0)->setFocus();
    QTest::keyClick(w->positionBox(0), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(doc.viewStart, 72);
    QTest::keyClick(w->positionBox(0), Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(doc.viewStart, 0);
    w->statisticsList()->setFocus();
    QTest::keyClick(w->statisticsList(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(doc.viewStart, 72);
    QCOMPARE(w->scrollBar()->thumbLeft(), 42 + 396 - w->scrollBar()->thumbWidth());
    QCOMPARE(w->timeLabel(0)->text(), QStringLiteral("1.88 s"));
  }

  void editKeys() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    QWidget* focus = w->findChild<QPushButton*>("deleteButton");
    QTest::keyClick(w.get(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(doc.selectionEnd, 156);
    QTest::keyClick(w.get(), Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
    QVERIFY(!doc.selectionExists);
    doc.cursor = 10;
    doc.selectionEnd = 20;
    SetSelectionExists(doc, true);
    w->refreshAll();
    w->positionBox(1)->setFocus();
    QTest::keyClick(w->positionBox(1), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(doc.editCount, 146);
    QCOMPARE(doc.cursor, 10);
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(doc.editCount, 156);
    QCOMPARE(doc.selectionEnd, 20);
    QTest::keyClick(w.get(), Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(doc.editCount, 146);
    QTest::keyClick(w.get(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(doc.editCount, 156);
    QCOMPARE(doc.cursor, 10);
    QCOMPARE(doc.selectionEnd, 20);
    QTest::keyClick(w.get(), Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(w.get(), Qt::Key_M, Qt::AltModifier);
    QCOMPARE(doc.editCount, 10);
    QVERIFY(doc.unsavedChanges);
    (void)focus;
  }

  void insertKeyInsertsAnExternalFile() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    doc.cursor = 20;
    SetSelectionExists(doc, false);
    doc.selectionEnd = 20;
    w->refreshAll();
    w->positionBox(0)->setFocus();
    ChooseFile(QStringLiteral("openDialog"), SampleFile());
    QTest::keyClick(w->positionBox(0), Qt::Key_Insert, Qt::ControlModifier);
    QVERIFY2(doc.editCount > 300, qPrintable(QString::number(doc.editCount)));  // about twice the sample
    QVERIFY(doc.unsavedChanges);
  }

  void saveSelectionKeyWritesTheSelection() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    select(10, 30);
    QTemporaryDir target;  // the settings folder itself is refused as a target
    const QString out = target.path() + QStringLiteral("/part.mp3");
    bool shown = false;
    WhenModalNamed(QStringLiteral("TSaveSelForm"), [&](QWidget* modal) {
      auto* d = qobject_cast<SaveSelectionDialog*>(modal);
      QVERIFY(d != nullptr);
      shown = true;
      QCOMPARE(d->windowTitle(), QStringLiteral(" Save the selection as"));
      QCOMPARE(d->nameButton()->text(), QStringLiteral("File&name:"));
      QCOMPARE(d->nameLabel()->text(), QStringLiteral("not specified yet"));
      QVERIFY(!d->okButton()->isEnabled());
      QVERIFY(d->noteLabel()->isHidden());
      ChooseFile(QStringLiteral("saveDialog"), out);
      d->nameButton()->click();
      QVERIFY(d->okButton()->isEnabled());
      QVERIFY(!d->noteLabel()->isHidden());
      QCOMPARE(d->nameLabel()->text().right(8), QStringLiteral("part.mp3"));
      d->okButton()->click();
    });
    QTest::keyClick(w.get(), Qt::Key_F8, Qt::ControlModifier);
    QVERIFY(shown);
    QVERIFY(QFile::exists(out));
    QCOMPARE(doc.editCount, 156);  // the document is not changed
    QCOMPARE(doc.cursor, 10);
    open(out);
    // 20 audio frames behind the LAME information frame that keeps the sample's encoder data.
    QCOMPARE(w->context().doc.editCount, 1 + 20);
  }

  void saveSelectionKeyWithoutASelectionSaysSo() {
    open(SampleFile());
    QVERIFY(w->action(Command::kSaveSelection)->isEnabled());
    QString title, text;
    WhenModal([&] {
      MessageWindow* m = w->messageWindow();
      title = m->windowTitle();
      text = m->textLabel()->text();
      m->positiveButton()->click();
    });
    QTest::keyClick(w.get(), Qt::Key_F8, Qt::ControlModifier);
    QCOMPARE(title, QStringLiteral("warning"));
    QCOMPARE(text, QStringLiteral("You must have a selection."));
    QVERIFY(QApplication::activeModalWidget() == nullptr);  // no save-selection dialog followed
  }

  void splitKeyWritesTheChosenParts() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    doc.cursor = 40;
    doc.selectionEnd = 40;
    SetSelectionExists(doc, false);
    w->refreshAll();
    QTemporaryDir target;
    const QString out = target.path() + QStringLiteral("/after.mp3");
    bool shown = false;
    WhenModalNamed(QStringLiteral("TSplitForm"), [&](QWidget* modal) {
      auto* d = qobject_cast<SplitDialog*>(modal);
      QVERIFY(d != nullptr);
      shown = true;
      QCOMPARE(d->windowTitle(), QStringLiteral(" File split"));
      QCOMPARE(d->partBox(0)->title(), QStringLiteral(" File 1: left of (before) the cursor "));
      QCOMPARE(d->partBox(1)->title(), QStringLiteral(" no selection "));
      QCOMPARE(d->partBox(2)->title(), QStringLiteral(" File 2: right of (after) the cursor "));
      QVERIFY(!d->partSwitch(1)->isEnabled());
      QVERIFY(d->saveSelectionButton()->isHidden());
      QVERIFY(!d->okButton()->isEnabled());
      d->partSwitch(0)->click();  // off: only the frames after the cursor are written
      QVERIFY(!d->nameButton(0)->isEnabled());
      ChooseFile(QStringLiteral("saveDialog"), out);
      d->nameButton(2)->click();
      QVERIFY(d->okButton()->isEnabled());
      d->okButton()->click();
    });
    QTest::keyClick(w.get(), Qt::Key_F12, Qt::ControlModifier);
    QVERIFY(shown);
    QVERIFY(QFile::exists(out));
    QCOMPARE(doc.editCount, 156);
    open(out);
    // The 116 frames after the selection behind the information frame that keeps the encoder data.
    QCOMPARE(w->context().doc.editCount, 1 + 156 - 40);
  }

  // A message raised while a dialog is open is modal, belongs to the dialog
  // (it opens in front of it), and comes back to the main window afterwards;
  // so does a file dialog opened from a dialog.
  void messagesAndFileDialogsBelongToTheOpenDialog() {
    open(SampleFile());
    select(10, 30);
    QString messageOwner;
    QString fileDialogOwner;
    bool messageModal = false;
    WhenModalNamed(QStringLiteral("TSaveSelForm"), [&](QWidget* modal) {
      auto* d = qobject_cast<SaveSelectionDialog*>(modal);
      WhenModalNamed(QStringLiteral("TMsgBoxForm"), [&](QWidget* message) {
        messageOwner = message->parentWidget() != nullptr ? message->parentWidget()->objectName() : QString();
        messageModal = message->isModal();
        w->messageWindow()->positiveButton()->click();
      });
      ReportMessage(w->context(), "a note from the dialog", kMsgInfo, "info");
      WhenModalNamed(QStringLiteral("saveDialog"), [&](QWidget* fileDialog) {
        fileDialogOwner = fileDialog->parentWidget() != nullptr ? fileDialog->parentWidget()->objectName() : QString();
        static_cast<QDialog*>(fileDialog)->reject();
      });
      d->nameButton()->click();
      d->reject();
    });
    w->action(Command::kSaveSelection)->trigger();
    QCOMPARE(messageOwner, QStringLiteral("TSaveSelForm"));
    QVERIFY(messageModal);
    QCOMPARE(fileDialogOwner, QStringLiteral("TSaveSelForm"));
    QCOMPARE(w->messageWindow()->parentWidget(), static_cast<QWidget*>(w.get()));
  }

  void splitDialogCancelWritesNothing() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    select(10, 30);
    WhenModalNamed(QStringLiteral("TSplitForm"), [](QWidget* modal) {
      auto* d = qobject_cast<SplitDialog*>(modal);
      QVERIFY(d != nullptr);
      QVERIFY(!d->saveSelectionButton()->isHidden());
      QCOMPARE(d->partBox(1)->title(), QStringLiteral(" File 2: the selection "));
      d->reject();
    });
    w->action(Command::kSplit)->trigger();
    QVERIFY(!doc.splitDialogOpen);
    QCOMPARE(QDir(home.path()).entryList({QStringLiteral("*.mp3")}).size(), 0);
  }

  // The split dialog's attach boxes: one accelerator a kind, for the part that
  // holds the focus; no other control shares a mnemonic.
  void splitAttachBoxAcceleratorsFollowTheFocusedPart() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    QVERIFY(doc.id3v2.present);
    select(10, 30);
    bool checked = false;
    WhenModalNamed(QStringLiteral("TSplitForm"), [&](QWidget* modal) {
      auto* d = qobject_cast<SplitDialog*>(modal);
      QVERIFY(d != nullptr);
      std::map<QChar, int> mnemonics;
      for (QAbstractButton* b : d->findChildren<QAbstractButton*>()) {
        int at = b->text().indexOf(QLatin1Char('&'));
        if (at >= 0 && at + 1 < b->text().size()) ++mnemonics[b->text().at(at + 1).toLower()];
      }
      for (const auto& [key, count] : mnemonics) {
        bool attachKey = QStringLiteral("rlvhfd").contains(key);
        QCOMPARE(count, attachKey ? 3 : 1);
      }
      QCOMPARE(static_cast<int>(mnemonics.size()), 7 + 6);
      const int id3v2 = 2;
      QApplication::setActiveWindow(d);
      QCoreApplication::processEvents();
      for (int part : {1, 0, 2}) {
        d->nameButton(part)->setFocus();
        QTest::keyClick(d, Qt::Key_V, Qt::AltModifier);
        for (int p = 0; p < 3; ++p) {
          QCOMPARE(d->attachBox(p, id3v2)->isChecked(), p == part || (part == 2 && p != 2) || (part == 0 && p == 1));
        }
      }
      checked = true;
      d->reject();
    });
    w->action(Command::kSplit)->trigger();
    QVERIFY(checked);
  }

  void cursorMoveKeepsTheStatisticsList() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    QListWidget* stats = w->statisticsList();
    QVERIFY(stats->count() > 0);
    const QString marker = QStringLiteral("not rebuilt");
    stats->item(0)->setText(marker);
    QTest::mouseClick(w->strip(), Qt::LeftButton, Qt::NoModifier, StripPoint(30 + 5 * 7 + 3, 300));
    QCOMPARE(doc.cursor, 7);
    w->stepButton(0)->click();  // +1 frame
    QCOMPARE(doc.cursor, 8);
    QTest::keyClick(w.get(), Qt::Key_PageDown);
    QCOMPARE(doc.viewStart, 72);
    w->changed(kChangedCursor);
    QCOMPARE(stats->item(0)->text(), marker);
    // The cursor's box follows without a rebuild of the list.
    const QString box = w->positionBox(0)->text();
    doc.cursor = 100;
    w->changed(kChangedCursor);
    QVERIFY(w->positionBox(0)->text() != box);
    QCOMPARE(stats->item(0)->text(), marker);
    // A change of the edit list rebuilds it.
    w->changed(kChangedEditList);
    QVERIFY(stats->item(0)->text() != marker);
  }

  void busyNestsAndNamesTheOperation() {
    open(SampleFile());
    w->desktopHost().busyBegin(kBusySave);
    QVERIFY(w->busy());
    QVERIFY(w->progressArea()->isVisible());
    QCOMPARE(w->progressArea()->accessibleDescription(), QStringLiteral("save"));
    w->desktopHost().busyBegin(kBusyWrite);
    QCOMPARE(w->progressArea()->accessibleDescription(), QStringLiteral("write"));
    w->desktopHost().busyEnd(kBusyWrite);
    QVERIFY(w->busy());
    QCOMPARE(w->progressArea()->accessibleDescription(), QStringLiteral("save"));
    QVERIFY(!w->action(Command::kSelectAll)->isEnabled());
    QTest::keyClick(w.get(), Qt::Key_A, Qt::ControlModifier);
    QVERIFY(!w->context().doc.selectionExists);  // refused while busy
    w->desktopHost().busyEnd(kBusySave);
    QVERIFY(!w->busy());
    QVERIFY(w->operations().empty());
    QVERIFY(w->progressArea()->accessibleDescription().isEmpty());
    QVERIFY(w->action(Command::kSelectAll)->isEnabled());
  }

  void startErrorIsReportedAfterTheDelay() {
    MainWindow fresh;
    StartState state;
    state.startError = kStartSettingsReset;
    fresh.setStart(state, {SampleFile().toStdString()});
    fresh.show();
    fresh.firstActivation();
    // Nothing is opened and nothing is said until the timer fires.
    QVERIFY(!fresh.context().doc.loaded);
    QVERIFY(fresh.startErrorTimer().isActive());
    QCOMPARE(fresh.startErrorTimer().interval(), 250);
    QVERIFY(fresh.startErrorTimer().isSingleShot());
    QVERIFY(!fresh.messageWindow()->isVisible());
    fresh.startErrorDue();
    QVERIFY(!fresh.startErrorTimer().isActive());
    QVERIFY(fresh.messageWindow()->isVisible());
    QVERIFY(fresh.messageWindow()->windowTitle().contains(QStringLiteral("Quorvel")));
    QVERIFY(fresh.isVisible());  // a reset configuration keeps the program running
    fresh.messageWindow()->close();
    fresh.startErrorDue();  // reported once
    QVERIFY(!fresh.messageWindow()->isVisible());
  }

  void unusableEnvironmentClosesAfterItsMessage() {
    MainWindow fresh;
    StartState state;
    state.startError = kStartEnvironmentUnusable;
    fresh.setStart(state, {});
    fresh.show();
    fresh.firstActivation();
    QVERIFY(fresh.startErrorTimer().isActive());
    bool shown = false;
    WhenModal([&] {
      shown = true;
      QApplication::activeModalWidget()->close();
    });
    fresh.startErrorDue();
    QVERIFY(shown);
    QVERIFY(!fresh.isVisible());
  }

  void rememberedPlaceIsMovedOntoAScreen_data() {
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::newRow("far right") << 100000 << 100;
    QTest::newRow("far left and up") << -5000 << -5000;
    QTest::newRow("below") << 50 << 90000;
    QTest::newRow("visible") << 10 << 20;
    QTest::newRow("corner visible, window not") << 0 << 0;
  }
  void rememberedPlaceIsMovedOntoAScreen() {
    QFETCH(int, left);
    QFETCH(int, top);
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    w->context().options.mainWindow.left = area.left() + left;
    w->context().options.mainWindow.top = area.top() + top;
    QPoint place = w->rememberedPlace();
    QRect frame(place, w->size());
    QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1,%2").arg(place.x()).arg(place.y())));
    if (QString::fromUtf8(QTest::currentDataTag()) == QStringLiteral("visible")) {
      QCOMPARE(place, QPoint(area.left() + 10, area.top() + 20));  // a visible place is kept
    }
  }

  // Each window opens where the settings say it was, and a place that lies on
  // no screen now opens wholly on the primary screen.
  void windowsOpenAtTheirRememberedPlaces_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("onScreen");
    for (const char* name : {"TAmplifyForm", "TFadeForm", "TSilenceForm", "TSaveSelForm", "TSplitForm", "TReadmeF",
                             "TFrameLegendForm", "TID3v1Form", "TMsgBoxForm", "TMsgBoxYesNoForm"}) {
      QTest::newRow(qPrintable(QStringLiteral("%1 remembered").arg(QString::fromUtf8(name)))) << name << true;
      QTest::newRow(qPrintable(QStringLiteral("%1 off every screen").arg(QString::fromUtf8(name)))) << name << false;
    }
  }
  void windowsOpenAtTheirRememberedPlaces() {
    QFETCH(QString, window);
    QFETCH(bool, onScreen);
    open(SampleFile());
    Context& ctx = w->context();
    select(10, 30);
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint remembered = onScreen ? area.topLeft() + QPoint(37, 41) : QPoint(100000, -90000);
    Options& o = ctx.options;
    const std::map<QString, WindowPlace*> places = {
        {"TAmplifyForm", &o.volumeDialog}, {"TFadeForm", &o.fadeDialog},
        {"TSilenceForm", &o.silenceDialog}, {"TSaveSelForm", &o.saveSelectionDialog},
        {"TSplitForm", &o.splitDialog},     {"TReadmeF", &o.aboutBox},
        {"TFrameLegendForm", &o.legendWindow}, {"TID3v1Form", &o.id3v1Editor}};
    if (window == QStringLiteral("TMsgBoxForm")) {
      o.messageWindow[0] = remembered.x();
      o.messageWindow[1] = remembered.y();
    } else if (window == QStringLiteral("TMsgBoxYesNoForm")) {
      o.yesNoWindow[0] = remembered.x();
      o.yesNoWindow[1] = remembered.y();
    } else {
      *places.at(window) = {remembered.x(), remembered.y()};
    }
    QRect seen;
    auto look = [&](QWidget* opened) {
      QCOMPARE(opened->objectName(), window);
      seen = QRect(opened->pos(), opened->size());
    };
    const std::map<QString, std::function<void()>> openModal = {
        {"TAmplifyForm", [&] { w->action(Command::kVolume)->trigger(); }},
        {"TFadeForm", [&] { w->action(Command::kFade)->trigger(); }},
        {"TSilenceForm", [&] { w->action(Command::kSilence)->trigger(); }},
        {"TSaveSelForm", [&] { w->action(Command::kSaveSelection)->trigger(); }},
        {"TSplitForm", [&] { w->action(Command::kSplit)->trigger(); }},
        {"TMsgBoxYesNoForm", [&] { AskYesNo(ctx, "q", kModalQuestion, "q"); }}};
    if (openModal.count(window) != 0) {
      WhenModal([&] {
        QWidget* m = QApplication::activeModalWidget();
        look(m);
        m->close();
      });
      openModal.at(window)();
    } else {
      if (window == QStringLiteral("TReadmeF")) {
        w->findChild<QAction*>("about")->trigger();
      } else if (window == QStringLiteral("TFrameLegendForm")) {
        w->findChild<QAction*>("legend")->trigger();
      } else if (window == QStringLiteral("TID3v1Form")) {
        w->openId3v1Editor();
      } else {
        ReportMessage(ctx, "a message", kMsgInfo, "info");
      }
      QWidget* opened = window == QStringLiteral("TMsgBoxForm") ? w->messageWindow() : w->findChild<QWidget*>(window);
      QVERIFY(opened != nullptr && opened->isVisible());
      look(opened);
      opened->close();
    }
    QVERIFY(!seen.isNull());
    QVERIFY2(area.contains(seen), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(seen.x()).arg(seen.y())
                                                 .arg(seen.width()).arg(seen.height())));
    if (onScreen) QCOMPARE(seen.topLeft(), remembered);
  }

  void thumbDragKeepsTheGrabOffset() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    ScrollWidget* s = w->scrollBar();
    QCOMPARE(doc.viewStartMax, 156 - 84);
    const int width = s->thumbWidth();
    const int free = (kTroughRight + 1 - kTroughLeft) - width;  // pixels the thumb can travel
    QVERIFY(free > 0);
    QCOMPARE(s->thumbLeft(), kTroughLeft);
    auto at = [](int clientX) { return QPoint(clientX - ScrollWidget::kOriginX, 5); };
    // Grab the thumb 3 pixels right of its left edge and move it half of its travel.
    const int grab = kTroughLeft + 3;
    QTest::mousePress(s, Qt::LeftButton, Qt::NoModifier, at(grab));
    QCOMPARE(doc.viewStart, 0);
    QMouseEvent move(QEvent::MouseMove, QPointF(at(grab + free / 2)), s->mapToGlobal(QPointF(at(grab + free / 2))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(s, &move);
    // The view follows the thumb's position: half of the travel is about half of viewStartMax.
    QVERIFY2(std::abs(doc.viewStart - doc.viewStartMax / 2) <= 1, qPrintable(QString::number(doc.viewStart)));
    // The grabbed point stays under the mouse (within one frame's share of the travel).
    QVERIFY2(std::abs(s->thumbLeft() - (kTroughLeft + free / 2)) <= free / doc.viewStartMax + 1,
             qPrintable(QString::number(s->thumbLeft())));
    auto moveTo = [&](int clientX) {
      QMouseEvent e(QEvent::MouseMove, QPointF(at(clientX)), s->mapToGlobal(QPointF(at(clientX))), Qt::NoButton,
                    Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(s, &e);
    };
    // Past the end of the trough (within the margin) the view stops at its last start.
    moveTo(kTroughRight + kThumbDragMargin);
    QCOMPARE(doc.viewStart, doc.viewStartMax);
    QCOMPARE(s->thumbLeft() + width, kTroughRight + 1);
    moveTo(grab);
    QCOMPARE(doc.viewStart, 0);
    // Leaving the trough by more than the margin ends the drag: later moves do nothing.
    moveTo(kTroughRight + kThumbDragMargin + 40);
    moveTo(grab + free / 2);
    QCOMPARE(doc.viewStart, 0);
    QTest::mouseRelease(s, Qt::LeftButton, Qt::NoModifier, at(grab));
    QVERIFY(!s->repeating());
  }

  void enqueueItemsFollowThePlayer() {
    open(SampleFile());
    w->refreshCommands();
    for (int i = 0; i < 3; ++i) QVERIFY(!w->enqueueAction(i)->isVisible());  // no enqueue command registered
    w->player().commands.enqueueCommand = "\"/nonexistent/player\" --enqueue";
    w->refreshCommands();
    const std::array<QString, 3> captions = {QStringLiteral("&Enqueue input (loaded) file"),
                                             QStringLiteral("E&nqueue preview (edited)"),
                                             QStringLiteral("En&queue output (saved) file")};
    for (int i = 0; i < 3; ++i) {
      QVERIFY(w->enqueueAction(i)->isVisible());
      QCOMPARE(w->enqueueAction(i)->text(), captions[static_cast<size_t>(i)]);
    }
    QVERIFY(w->enqueueAction(0)->isEnabled());   // the input file exists
    QVERIFY(!w->enqueueAction(2)->isEnabled());  // nothing saved yet
    w->desktopHost().setBusy(true);
    QVERIFY(!w->enqueueAction(0)->isEnabled());
    w->desktopHost().setBusy(false);
    // While the Play menu is open the refresh timer leaves its items alone;
    // they follow the player when the menu opens again.
    QMenu* play = nullptr;
    for (QMenu* menu : w->menuBar()->findChildren<QMenu*>()) {
      if (menu->title() == QLatin1String("Play")) play = menu;
    }
    QVERIFY(play != nullptr);
    play->popup(QPoint(0, 0));
    QVERIFY(play->isVisible());
    w->player().commands.enqueueCommand.clear();
    w->refreshCommands();
    QVERIFY(w->enqueueAction(0)->isVisible());
    play->close();
    emit play->aboutToShow();
    QVERIFY(!w->enqueueAction(0)->isVisible());
  }

  void statisticsMenuSwitchesTheShownStatistics() {
    open(SampleFile());
    Options& o = w->context().options;
    o.mainFlags = static_cast<uint8_t>(o.mainFlags & ~kShowEditedStats);
    QStringList captions;
    QList<bool> checked;
    auto choose = [&](int item) {
      auto* timer = new QTimer;
      timer->setInterval(0);
      QObject::connect(timer, &QTimer::timeout, [timer, item, &captions, &checked] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        timer->stop();
        timer->deleteLater();
        captions.clear();
        checked.clear();
        for (QAction* a : menu->actions()) {
          captions << a->text();
          checked << a->isChecked();
        }
        menu->setActiveAction(menu->actions().at(item));
        QTest::keyClick(menu, Qt::Key_Return);
      });
      timer->start();
      emit w->statisticsList()->customContextMenuRequested(QPoint(5, 5));
    };
    choose(1);
    QCOMPARE(captions, QStringList({QStringLiteral(" &input stats"), QStringLiteral(" &edited stats")}));
    QCOMPARE(checked, QList<bool>({true, false}));
    QVERIFY(o.mainFlag(kShowEditedStats));
    choose(0);
    QCOMPARE(checked, QList<bool>({false, true}));
    QVERIFY(!o.mainFlag(kShowEditedStats));
  }

  void legendWindowAndRedCaptions() {
    w->findChild<QAction*>("legend")->trigger();
    auto* legend = w->findChild<QDialog*>("TFrameLegendForm");
    QVERIFY(legend != nullptr);
    QVERIFY(legend->isVisible());
    QCOMPARE(legend->windowTitle(), QStringLiteral("Legend"));
    QVERIFY(legend->windowFlags() & Qt::WindowStaysOnTopHint);
    legend->close();
    // Every window's buttons, not only the main window's.
    w->findChild<QAction*>("about")->trigger();
    for (QPushButton* button : {w->findChild<QPushButton*>("openButton"), w->findChild<QPushButton*>("aboutOk")}) {
      QVERIFY(button != nullptr);
      for (uint8_t flags : {uint8_t{1}, uint8_t{0}}) {
        w->context().options.displayFlags = flags;
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(button, &enter);
        QCOMPARE(button->palette().color(QPalette::ButtonText) == QColor(Qt::red), flags == 1);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(button, &leave);
        QVERIFY(button->palette().color(QPalette::ButtonText) != QColor(Qt::red));
      }
    }
    // A hint of a dialog shows 2000 ms + 97 ms per character of its text (CR LF counts two).
    QWidget dialogControl;
    dialogControl.setToolTip(QStringLiteral("Red indicates\nGreen"));
    QHelpEvent help(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
    QApplication::sendEvent(&dialogControl, &help);
    QCOMPARE(dialogControl.toolTipDuration(), 2000 + 97 * 20);
  }

  void mainWindowMessagesInARow() {
    MessageWindow* m = w->messageWindow();
    m->showMessage("modeless", kMsgInfo, "note");
    m->close();
    for (const char* text : {"first", "third"}) {
      bool shown = false;
      WhenModal([&] {
        shown = m->isVisible();
        m->positiveButton()->click();
      });
      ReportMessage(w->context(), text, kMsgWarning | kMsgModal, "warning");
      QVERIFY(shown);
    }
  }

  void closeKeyClosesTheDocument() {
    open(SampleFile());
    QTest::keyClick(w.get(), Qt::Key_F4, Qt::ControlModifier);
    QVERIFY(!w->context().doc.loaded);
    QCOMPARE(w->sourceInfoLabel()->text(), QStringLiteral("No file loaded"));
    QVERIFY(!w->action(Command::kSaveAs)->isEnabled());
    QVERIFY(!w->action(Command::kDelete)->isEnabled());
  }

  void escapeRequestsCancelWhileBusy() {
    open(SampleFile());
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QVERIFY(!w->desktopHost().processEvents().cancel);  // not busy: Esc asks nothing
    w->desktopHost().setBusy(true);
    QVERIFY(!w->action(Command::kDelete)->isEnabled());
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EventRequests r = w->desktopHost().processEvents();
    QVERIFY(r.cancel);
    QVERIFY(!r.close);
    // A close request while busy is recorded for the running operation.
    QVERIFY(!w->close());
    QVERIFY(w->desktopHost().processEvents().close);
    w->desktopHost().setBusy(false);
  }

  void commandLineFileOpensAtFirstActivation() {
    MainWindow fresh;
    StartState state;
    fresh.setStart(state, {SampleFile().toStdString()});
    fresh.firstActivation();
    QVERIFY(fresh.context().doc.loaded);
    QCOMPARE(fresh.context().doc.editCount, 156);
    // Two or more parameters open nothing.
    MainWindow two;
    two.setStart(state, {SampleFile().toStdString(), DataFile("48k.mp3").toStdString()});
    two.firstActivation();
    QVERIFY(!two.context().doc.loaded);
  }

  void buttonsShareTheirAction() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    QPushButton* del = w->findChild<QPushButton*>("deleteButton");
    QVERIFY(!del->isEnabled());
    QTest::mouseClick(w->findChild<QPushButton*>("selectAllButton"), Qt::LeftButton);
    QVERIFY(del->isEnabled());
    QVERIFY(w->action(Command::kDelete)->isEnabled());
    QTest::mouseClick(w->findChild<QPushButton*>("clearButton"), Qt::LeftButton);
    QVERIFY(!doc.selectionExists);
    QVERIFY(!del->isEnabled());
  }

  void deletingEverythingIsRefusedInTheMessageWindow() {
    open(SampleFile());
    QTest::keyClick(w.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w.get(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(w->context().doc.editCount, 156);
    QCOMPARE(w->messageWindow()->windowTitle(), QStringLiteral("delete"));
    QCOMPARE(w->messageWindow()->textLabel()->text(), QStringLiteral("You must leave at least one frame."));
    QCOMPARE(w->messageWindow()->iconLabel()->accessibleName(), QStringLiteral("warning"));
  }

  void thumbSizes_data() {
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("width");
    QTest::newRow("1000 frames") << 1000 << 33;
    QTest::newRow("10000 frames") << 10000 << 15;
  }
  void thumbSizes() {
    QFETCH(int, frames);
    QFETCH(int, width);
    DocumentState& doc = w->context().doc;
    doc.editCount = frames;
    doc.viewStartMax = frames - 84;
    QCOMPARE(w->scrollBar()->thumbWidth(), width);
    doc.viewStart = doc.viewStartMax;
    QCOMPARE(w->scrollBar()->thumbLeft() + width, 42 + 396);
    doc.editCount = 0;
    doc.viewStartMax = 0;
    doc.viewStart = 0;
  }

  void scrollBarPagesAndRepeats() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    ScrollWidget* s = w->scrollBar();
    QVERIFY(!s->leftButtonEnabled());
    QVERIFY(s->rightButtonEnabled());
    // Right scroll button: one frame, then auto-repeat after the arming tick.
    QPoint right(kTroughRight + 5 - ScrollWidget::kOriginX, 5);
    QTest::mousePress(s, Qt::LeftButton, Qt::NoModifier, right);
    QCOMPARE(doc.viewStart, 1);
    s->repeatTick();
    QCOMPARE(doc.viewStart, 1);
    s->repeatTick();
    QCOMPARE(doc.viewStart, 2);
    QCOMPARE(s->repeatInterval(), 180);
    QTest::mouseRelease(s, Qt::LeftButton, Qt::NoModifier, right);
    // Trough right of the thumb pages by 84 (not beyond viewStartMax).
    QTest::mousePress(s, Qt::LeftButton, Qt::NoModifier, QPoint(kTroughRight - 2 - ScrollWidget::kOriginX, 5));
    QCOMPARE(doc.viewStart, 72);
    QCOMPARE(s->repeatInterval(), 240);
    s->repeatTick();
    QCOMPARE(s->repeatInterval(), 160);
    QTest::mouseRelease(s, Qt::LeftButton);
  }

  void smallFileHasNoScrolling() {
    open(DataFile("cbr128-info.mp3"));
    QCOMPARE(w->context().doc.viewStartMax, 0);
    QVERIFY(!w->scrollBar()->leftButtonEnabled());
    QVERIFY(!w->scrollBar()->rightButtonEnabled());
    QTest::keyClick(w.get(), Qt::Key_PageDown);
    QCOMPARE(w->context().doc.viewStart, 0);
  }

  void statisticsTopLine() {
    open(SampleFile());
    DocumentState& doc = w->context().doc;
    doc.sourceStats.bitrateCount = {};
    doc.sourceStats.bitrateCount[9] = 100;
    doc.sourceStats.bitrateCount[11] = 100;
    w->context().options.mainFlags &= static_cast<uint8_t>(~kShowEditedStats);
    w->refreshAll();
    QListWidget* list = w->statisticsList();
    QCOMPARE(list->count(), 15);
    QCOMPARE(list->currentRow(), 9);
    QCOMPARE(list->indexAt(QPoint(4, 4)).row(), 7);
    QVERIFY(list->item(9)->text().endsWith(QStringLiteral(" kbps frames: 100")));
  }

  void pathLabelsShowTheTail() {
    QTemporaryDir dir;
    QString deep = dir.path();
    while (deep.size() < 200) deep += QStringLiteral("/a-rather-long-folder-name");
    QVERIFY(QDir().mkpath(deep));
    QString path = deep + QStringLiteral("/song.mp3");
    QVERIFY(QFile::copy(SampleFile(), path));
    open(path);
    QString shown = w->sourcePathLabel()->text();
    QVERIFY2(shown.startsWith(QStringLiteral("...")), qPrintable(shown));
    QVERIFY(shown.endsWith(QStringLiteral("/song.mp3")));
    QVERIFY(w->sourcePathLabel()->fontMetrics().horizontalAdvance(shown) <= w->sourcePathLabel()->width() - 8);
    QVERIFY(path.endsWith(shown.mid(3)));
    QCOMPARE(w->elidedPath(w->sourcePathLabel(), QStringLiteral("/tmp/a.mp3")), QStringLiteral("/tmp/a.mp3"));
  }

  void progressBlocks() {
    QCOMPARE(ProgressArea::BlocksFor(0.0), 0);  // Round(0.5) is 0, ties to even
    QCOMPARE(ProgressArea::BlocksFor(0.5), 28);  // Round(28.5) = 28
    QCOMPARE(ProgressArea::BlocksFor(1.0), 56);
    w->desktopHost().setBusy(true);
    QVERIFY(w->progressArea()->isVisible());
    QVERIFY(!w->sourceInfoLabel()->isVisible());
    QVERIFY(!w->action(Command::kOpen)->isEnabled());
    w->desktopHost().setBusy(true);  // set again (the writer inside a save): still busy
    QVERIFY(w->progressArea()->isVisible());
    w->desktopHost().setBusy(false);
    QVERIFY(!w->progressArea()->isVisible());
    QVERIFY(w->action(Command::kOpen)->isEnabled());
  }

  void droppedFiles() {
    auto drop = [&](const QStringList& files) {
      std::vector<std::string> paths;
      for (const QString& f : files) paths.push_back(f.toStdString());
      w->dropFiles(paths);
    };
    drop({SampleFile(), DataFile("48k.mp3"), DataFile("32k.mp3")});
    QCOMPARE(w->context().doc.editCount, 156);
    QCOMPARE(w->messageWindow()->windowTitle(), QStringLiteral("note"));
    QCOMPARE(w->messageWindow()->textLabel()->text(),
             QStringLiteral("Drag & drop is enabled for a single file only.\nOnly the first file from the group was processed."));
    w->messageWindow()->close();
    // A folder fails with the analysis's message and leaves no document.
    QString title;
    QString text;
    WhenModal([&] {
      title = w->messageWindow()->windowTitle();
      text = w->messageWindow()->textLabel()->text();
      w->messageWindow()->positiveButton()->click();
    });
    drop({home.path()});
    QCOMPARE(title, QStringLiteral("Quorvel"));
    QVERIFY2(text.startsWith(QStringLiteral("Error processing the file:\nDisk error.")), qPrintable(text));
    QVERIFY(!w->context().doc.loaded);
    QCOMPARE(w->sourceInfoLabel()->text(), QStringLiteral("No file loaded"));
  }

  void openingAnotherFileAsksToSaveChanges() {
    open(SampleFile());
    w->context().options.mainFlags |= kPromptSaveOnClose;
    w->context().doc.cursor = 0;
    w->context().doc.selectionEnd = 10;
    SetSelectionExists(w->context().doc, true);
    w->refreshAll();
    QTest::keyClick(w.get(), Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(w->context().doc.unsavedChanges);
    QString asked;
    WhenModal([&] {
      asked = w->yesNoWindow()->textLabel()->text() + QLatin1Char('|') + w->yesNoWindow()->windowTitle();
      w->yesNoWindow()->negativeButton()->click();
    });
    w->openFile(DataFile("48k.mp3").toStdString());
    QCOMPARE(asked, QStringLiteral("  Save changes?  |closing"));
    QCOMPARE(w->context().doc.editCount, 65);
  }

  void closingAsksToSaveChanges() {
    open(SampleFile());
    w->context().options.mainFlags |= kPromptSaveOnClose;
    w->context().doc.cursor = 0;
    w->context().doc.selectionEnd = 10;
    SetSelectionExists(w->context().doc, true);
    w->refreshAll();
    QTest::keyClick(w.get(), Qt::Key_Delete, Qt::ControlModifier);
    // Yes, then cancel the Save as dialog: the window stays open with its edits.
    QString yes;
    QString dialogTitle;
    WhenModal([&] {
      yes = w->yesNoWindow()->positiveButton()->text();
      w->yesNoWindow()->positiveButton()->click();
      WhenModal([&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        dialogTitle = dialog->windowTitle();
        dialog->reject();
      });
    });
    QVERIFY(!w->close());
    QCOMPARE(yes, QStringLiteral("&YES"));
    QCOMPARE(dialogTitle, QStringLiteral("Save as"));
    QCOMPARE(w->context().doc.editCount, 146);
    WhenModal([&] { w->yesNoWindow()->negativeButton()->click(); });
    QVERIFY(w->close());
  }

  // Every path that drops or replaces an edited document asks the same way;
  // an insertion alone counts as an edit. Open, a recent file and closing the
  // window go on after No; Close (Ctrl+F4) and a drop close the document as
  // Close does, which keeps it after No. Escape and the question's frame cancel.
  void savePromptPaths_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("insertOnly");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("goesOn");
    const char* paths[] = {"open", "recent", "drop", "close", "closeWindow"};
    for (const char* path : paths) {
      const bool closeRule = QString::fromLatin1(path) == QLatin1String("close") ||
                             QString::fromLatin1(path) == QLatin1String("drop");
      for (bool insertOnly : {false, true}) {
        const char* edit = insertOnly ? "insertion" : "deletion";
        QTest::newRow(qPrintable(QStringLiteral("%1 %2 yes").arg(path, edit))) << path << insertOnly << "yes" << true;
        QTest::newRow(qPrintable(QStringLiteral("%1 %2 no").arg(path, edit)))
            << path << insertOnly << "no" << !closeRule;
        QTest::newRow(qPrintable(QStringLiteral("%1 %2 escape").arg(path, edit)))
            << path << insertOnly << "escape" << false;
        QTest::newRow(qPrintable(QStringLiteral("%1 %2 frame").arg(path, edit)))
            << path << insertOnly << "frame" << false;
      }
    }
  }

  void savePromptPaths() {
    QFETCH(QString, path);
    QFETCH(bool, insertOnly);
    QFETCH(QString, answer);
    QFETCH(bool, goesOn);
    open(SampleFile());
    Context& ctx = w->context();
    ctx.options.mainFlags |= kPromptSaveOnClose;
    ctx.options.autoExit = 0;
    if (insertOnly) {
      ctx.doc.unsavedChanges = true;  // what an insertion leaves: modifiedLevel stays 0
    } else {
      ctx.doc.cursor = 0;
      ctx.doc.selectionEnd = 10;
      SetSelectionExists(ctx.doc, true);
      w->refreshAll();
      QTest::keyClick(w.get(), Qt::Key_Delete, Qt::ControlModifier);
    }
    const int32_t edited = ctx.doc.editCount;
    QVERIFY(ctx.doc.unsavedChanges);
    // Not in the settings folder (home), where saving is refused.
    QTemporaryDir target;
    const QString saved = target.path() + QStringLiteral("/saved.mp3");

    QString asked;
    WhenModal([&] {
      asked = w->yesNoWindow()->textLabel()->text();
      if (answer == QLatin1String("yes")) {
        ChooseFile(QStringLiteral("saveDialog"), saved);
        w->yesNoWindow()->positiveButton()->click();
      } else if (answer == QLatin1String("no")) {
        w->yesNoWindow()->negativeButton()->click();
      } else if (answer == QLatin1String("escape")) {
        QTest::keyClick(w->yesNoWindow(), Qt::Key_Escape);
      } else {
        w->yesNoWindow()->close();  // the title bar's close button
      }
    });
    const QString other = DataFile("48k.mp3");
    bool closed = false;
    if (path == QLatin1String("open")) {
      w->openFile(other.toStdString());
    } else if (path == QLatin1String("recent")) {
      ctx.options.recentFiles[0] = other.toStdString();
      // The File menu updates its items when it opens.
      for (QMenu* menu : w->menuBar()->findChildren<QMenu*>()) {
        if (menu->title() == QLatin1String("&File")) emit menu->aboutToShow();
      }
      QAction* recent = w->findChild<QAction*>(QStringLiteral("recentFile1"));
      QVERIFY(recent != nullptr);
      QVERIFY(recent->isEnabled());
      recent->trigger();
    } else if (path == QLatin1String("drop")) {
      w->dropFiles({other.toStdString()});
    } else if (path == QLatin1String("close")) {
      w->action(Command::kClose)->trigger();
    } else {
      closed = w->close();
    }
    QVERIFY2(!asked.isEmpty(), "no question was asked");
    QCOMPARE(QFileInfo::exists(saved), answer == QLatin1String("yes"));
    if (!goesOn) {
      QVERIFY(!closed);
      QVERIFY(ctx.doc.loaded);
      QVERIFY(ctx.doc.unsavedChanges);
      QCOMPARE(ctx.doc.editCount, edited);
      return;
    }
    if (path == QLatin1String("closeWindow")) {
      QVERIFY(closed);
    } else if (path == QLatin1String("close")) {
      QVERIFY(!ctx.doc.loaded);
      QCOMPARE(ctx.doc.sourceName, SampleFile().toStdString());  // Reload opens it again
    } else {
      QCOMPARE(ctx.doc.editCount, 65);  // 48k.mp3
      QVERIFY(!ctx.doc.unsavedChanges);
    }
  }

  // The busy cursor leaves while the program waits for the user and comes back after.
  void arrowWhileAskingDuringABusyOperation() {
    Context& ctx = w->context();
    BeginBusy(ctx, kBusySave);
    QVERIFY(QApplication::overrideCursor() != nullptr);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Qt::CursorShape asking = Qt::WaitCursor;
    WhenModal([&] {
      asking = QApplication::overrideCursor() != nullptr ? QApplication::overrideCursor()->shape() : Qt::BlankCursor;
      w->yesNoWindow()->negativeButton()->click();
    });
    AskYesNo(ctx, "Overwrite the existing file?", kWarningFocusNo, "the file exists");
    QCOMPARE(asking, Qt::ArrowCursor);
    QVERIFY(QApplication::overrideCursor() != nullptr);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    WhenModal([&] {
      asking = QApplication::overrideCursor() != nullptr ? QApplication::overrideCursor()->shape() : Qt::BlankCursor;
      qobject_cast<QDialog*>(QApplication::activeModalWidget())->reject();
    });
    FileDialogRequest request;
    QVERIFY(!w->desktopHost().chooseSaveFile(request));
    QCOMPARE(asking, Qt::ArrowCursor);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EndBusy(ctx, kBusySave);
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  // Esc in a message window shown during a save cancels the save.
  void escapeFromAMessageWindowCancels() {
    Context& ctx = w->context();
    BeginBusy(ctx, kBusySave);
    ReportMessage(ctx, "note", kMsgInfo, "note");
    QVERIFY(w->messageWindow()->isVisible());
    QTest::keyClick(w->messageWindow(), Qt::Key_Escape);
    EventRequests requests = w->desktopHost().processEvents();
    EndBusy(ctx, kBusySave);
    QVERIFY(requests.cancel);
    QVERIFY(!requests.close);
    // Not busy: Esc there cancels nothing.
    ReportMessage(ctx, "note", kMsgInfo, "note");
    QTest::keyClick(w->messageWindow(), Qt::Key_Escape);
    QVERIFY(!w->desktopHost().processEvents().cancel);
  }

  // While a save runs, clicks, double-clicks, drags and wheel turns on every
  // widget of the client area change nothing: not the document, the remove
  // boxes, the cursor or the view.
  void busyClientAreaRefusesInput_data() {
    QTest::addColumn<QString>("state");
    QTest::newRow("save") << "save";
    QTest::newRow("script") << "script";
  }

  void busyClientAreaRefusesInput() {
    QFETCH(QString, state);
    open(SampleFile());
    Context& ctx = w->context();
    DocumentState& doc = ctx.doc;
    doc.cursor = 10;
    doc.selectionEnd = 40;
    SetSelectionExists(doc, true);
    w->refreshAll();
    if (state == QLatin1String("save")) {
      BeginBusy(ctx, kBusySave);
    } else {
      ctx.script.active = true;
    }
    const RemoveBoxes boxes = doc.boxes;
    const int32_t editCount = doc.editCount;
    const int32_t viewStart = doc.viewStart;
    QWidget* client = w->centralWidget();
    int touched = 0;
    for (QWidget* widget : client->findChildren<QWidget*>()) {
      if (!widget->isVisible() || widget->objectName() == QLatin1String("progress")) continue;
      if (qobject_cast<ProgressArea*>(widget) != nullptr || qobject_cast<ProgressArea*>(widget->parentWidget()) != nullptr)
        continue;
      const QPoint centre = widget->rect().center();
      QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, centre);
      QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, centre);
      QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, QPoint(1, centre.y()));
      QTest::mouseMove(widget, QPoint(widget->width() - 2, centre.y()));
      QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, QPoint(widget->width() - 2, centre.y()));
      QWheelEvent wheel(QPointF(centre), QPointF(widget->mapToGlobal(centre)), QPoint(), QPoint(0, -120), Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
      QCoreApplication::sendEvent(widget, &wheel);
      QTest::keyClicks(widget, "5");
      ++touched;
    }
    QVERIFY(touched > 20);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QCOMPARE(doc.cursor, 10);
    QCOMPARE(doc.selectionEnd, 40);
    QVERIFY(doc.selectionExists);
    QCOMPARE(doc.editCount, editCount);
    QCOMPARE(doc.viewStart, viewStart);
    QCOMPARE(doc.boxes.id3v1.checked, boxes.id3v1.checked);
    QCOMPARE(doc.boxes.id3v2.checked, boxes.id3v2.checked);
    QCOMPARE(doc.boxes.riff.checked, boxes.riff.checked);
    QCOMPARE(doc.boxes.lyrics.checked, boxes.lyrics.checked);
    QCOMPARE(doc.boxes.footer.checked, boxes.footer.checked);
    QCOMPARE(doc.boxes.behindHeader.checked, boxes.behindHeader.checked);
    if (state == QLatin1String("save")) {
      EndBusy(ctx, kBusySave);
    } else {
      ctx.script.active = false;
    }
    // The same clicks act once the save is over: the guard is what refused them.
    QCheckBox* box = nullptr;
    for (QCheckBox* b : client->findChildren<QCheckBox*>()) {
      if (b->isEnabled() && b->isVisible()) box = b;
    }
    if (box != nullptr) {
      const bool before = box->isChecked();
      QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, box->rect().center());
      QCOMPARE(box->isChecked(), !before);
    }
  }

  // A message raised while a dialog is open (the full name of a split part's
  // label) is shown modally over it and can be dismissed.
  void messageFromAModalDialogIsModal() {
    bool messageModal = false;
    bool dismissed = false;
    WhenModal([&] {
      QTimer::singleShot(0, w.get(), [&] {
        WhenModalNamed(w->messageWindow()->objectName(), [&](QWidget* modal) {
          messageModal = modal == w->messageWindow();
          w->messageWindow()->positiveButton()->click();
        });
        ReportMessage(w->context(), "/music/a long name.mp3", kMsgInfo, "full filename 1:");
        dismissed = !w->messageWindow()->isVisible();
        w->yesNoWindow()->negativeButton()->click();
      });
    });
    AskYesNo(w->context(), "question", kModalQuestion, "q");
    QVERIFY(messageModal);
    QVERIFY(dismissed);
  }

  // A drop is taken only when a file can be opened now, and always as a copy.
  void dropsAreCopiesAndRefusedWhileBusy_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("offered");
    QTest::addColumn<bool>("accepted");
    const int copyOrMove = Qt::CopyAction | Qt::MoveAction;
    QTest::newRow("idle, copy or move") << "idle" << copyOrMove << true;
    QTest::newRow("idle, move only") << "idle" << int(Qt::MoveAction) << false;
    QTest::newRow("busy") << "busy" << copyOrMove << false;
    QTest::newRow("script") << "script" << copyOrMove << false;
  }

  void dropsAreCopiesAndRefusedWhileBusy() {
    QFETCH(QString, state);
    QFETCH(int, offered);
    QFETCH(bool, accepted);
    Context& ctx = w->context();
    if (state == QLatin1String("busy")) BeginBusy(ctx, kBusySave);
    if (state == QLatin1String("script")) ctx.script.active = true;
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(DataFile("48k.mp3"))});
    const QPointF at(50, 80);
    const auto actions = Qt::DropActions(offered);
    QDragEnterEvent enter(at.toPoint(), actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.get(), &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    if (accepted) QCOMPARE(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(at, actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.get(), &drop);
    QCOMPARE(drop.isAccepted(), accepted);
    if (accepted) QCOMPARE(drop.dropAction(), Qt::CopyAction);
    QTest::qWait(0);
    QCoreApplication::processEvents();
    if (state == QLatin1String("busy")) EndBusy(ctx, kBusySave);
    ctx.script.active = false;
    QCOMPARE(ctx.doc.loaded, accepted);
  }

  // A close request that arrives while "Save changes?" is open (another
  // instance's Shift+F4) never answers it: the question stays, the user's
  // answer decides, and the close is made again afterwards.
  void closeRequestWaitsForTheOpenQuestion_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("window close, no") << "closeWindow" << "no" << true;
    QTest::newRow("window close, escape") << "closeWindow" << "escape" << false;
    QTest::newRow("open, escape") << "open" << "escape" << false;
    QTest::newRow("open, no") << "open" << "no" << true;
  }

  void closeRequestWaitsForTheOpenQuestion() {
    QFETCH(QString, path);
    QFETCH(QString, answer);
    QFETCH(bool, closes);
    open(SampleFile());
    Context& ctx = w->context();
    ctx.options.mainFlags |= kPromptSaveOnClose;
    ctx.doc.unsavedChanges = true;
    int questions = 0;
    bool stillOpen = false;
    bool secondCloseRefused = false;
    std::function<void()> answerNext;
    answerNext = [&] {
      ++questions;
      if (questions == 1) {
        // The second close, raised by a timer while the question is open.
        QTimer::singleShot(0, w.get(), [&] {
          // As another instance's request arrives.
          secondCloseRefused = !w->close() || path == QLatin1String("closeWindow");
          w->requestClose();
          stillOpen = w->yesNoWindow()->isVisible() && QApplication::activeModalWidget() == w->yesNoWindow();
          if (answer == QLatin1String("no")) {
            QTest::keyClick(w->yesNoWindow(), Qt::Key_N, Qt::AltModifier);
          } else {
            QTest::keyClick(w->yesNoWindow(), Qt::Key_Escape);
          }
        });
      } else {
        // The waiting close asks again: this time the answer is No.
        w->yesNoWindow()->negativeButton()->click();
      }
    };
    WhenModal(answerNext);
    bool firstClosed = false;
    if (path == QLatin1String("closeWindow")) {
      firstClosed = w->close();
    } else {
      w->openFile(DataFile("48k.mp3").toStdString());
    }
    QVERIFY(secondCloseRefused);
    QVERIFY(stillOpen);
    QCOMPARE(questions, 1);
    if (path == QLatin1String("closeWindow")) {
      QCOMPARE(firstClosed, answer == QLatin1String("no"));
      QCOMPARE(w->isVisible(), !closes);
      if (closes) return;
    }
    // The close that waited is made now; a still edited document asks again.
    const bool stillEdited = ctx.doc.unsavedChanges;
    if (stillEdited) WhenModal(answerNext);
    QTRY_COMPARE(w->isVisible(), false);
    QCOMPARE(questions, stillEdited ? 2 : 1);
    QVERIFY(closes || stillEdited);
  }
};

class MessageWindowTest : public QObject {
  Q_OBJECT

 private:
  std::array<int32_t, 4> place{100, 100, 400, 200};
  uint8_t state = 0;

 private slots:
  void sizeFollowsTheText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("widest");
    QTest::newRow("one line") << "Invalid format." << 1 << "Invalid format.";
    QTest::newRow("three lines") << "a\r\nthe widest line\r\nbb" << 3 << "the widest line";
    QTest::newRow("final break") << "one line\r\n" << 2 << "one line";
    QTest::newRow("equal lines") << "abc\r\nabc" << 2 << "abc";
  }
  void sizeFollowsTheText() {
    QFETCH(QString, text);
    QFETCH(int, lines);
    QFETCH(QString, widest);
    MessageWindow m(MessageWindow::Type::kMessage, place, state);
    QFontMetrics fm(m.font());
    QSize expected(fm.horizontalAdvance(widest) + 88, fm.height() * (lines + 2) + 52);
    QCOMPARE(MessageClientSize(text.toStdString(), fm), expected);
    m.showMessage(text.toStdString(), 0, "info");
    QCOMPARE(m.size(), expected);
    QCOMPARE(m.minimumSize(), QSize(expected.width() - 8, expected.height() - 4));
    // Layout: OK button at the bottom right, icon centred above the band.
    QCOMPARE(m.positiveButton()->geometry().right() + 1, expected.width() - 16);
    QCOMPARE(m.positiveButton()->geometry().bottom() + 1, expected.height() - 6);
    QCOMPARE(m.iconLabel()->pos(), QPoint(12, (expected.height() - 41 - 48) / 2));
    QCOMPARE(m.textLabel()->text(), DisplayText(text.toStdString()));
    m.close();
  }

  void captionsAndIcons() {
    MessageWindow m(MessageWindow::Type::kMessage, place, state);
    QCOMPARE(m.windowTitle(), QStringLiteral("info"));
    QCOMPARE(m.positiveButton()->text(), QStringLiteral("O&K"));
    m.showMessage("x", kMsgError, "error");
    QCOMPARE(m.windowTitle(), QStringLiteral("error"));
    QCOMPARE(m.iconLabel()->accessibleName(), QStringLiteral("error"));
    // A following message replaces it in the same window.
    m.showMessage("y", kMsgInfo, "note");
    QCOMPARE(m.windowTitle(), QStringLiteral("note"));
    QCOMPARE(m.iconLabel()->accessibleName(), QStringLiteral("information"));
    // An icon value above 3 keeps the previous icon.
    m.showMessage("z", 7, "note");
    QCOMPARE(m.iconLabel()->accessibleName(), QStringLiteral("information"));
    m.close();
    MessageWindow q(MessageWindow::Type::kYesNo, place, state);
    QCOMPARE(q.windowTitle(), QStringLiteral("prompt"));
  }

  void yesNoButtons_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("yes");
    QTest::addColumn<QString>("no");
    QTest::addColumn<bool>("noBold");
    QTest::addColumn<bool>("focusNo");
    QTest::newRow("258") << 258 << "&YES" << "&NO" << true << false;
    QTest::newRow("259") << 259 << "&YES" << "&NO" << true << false;
    QTest::newRow("4354") << 4354 << "&YES" << "&NO" << true << true;
    QTest::newRow("4370") << 4370 << "O&K" << "cancel" << false << true;
  }
  void yesNoButtons() {
    QFETCH(int, kind);
    QFETCH(QString, yes);
    QFETCH(QString, no);
    QFETCH(bool, noBold);
    QFETCH(bool, focusNo);
    MessageWindow q(MessageWindow::Type::kYesNo, place, state);
    bool checked = false;
    QStringList seen;
    WhenModal([&] {
      seen << q.positiveButton()->text() << q.negativeButton()->text()
           << QString::number(q.negativeButton()->font().bold()) << QString::number(q.negativeButton()->font().pointSize())
           << QString::number(q.negativeButton()->isDefault()) << QString::number(q.negativeButton()->pos().x())
           << QString::number(q.width() - (q.positiveButton()->geometry().right() + 1));
      checked = true;
      q.positiveButton()->click();
    });
    QCOMPARE(q.ask("Overwrite the existing file?", kind, "the file exists"), 6);
    QVERIFY(checked);
    QCOMPARE(seen, (QStringList{yes, no, QString::number(noBold), QString::number(noBold ? 12 : 11),
                                QString::number(focusNo), QStringLiteral("18"), QStringLiteral("18")}));
  }

  void escapeAnswersOnlyWithItsBit() {
    MessageWindow q(MessageWindow::Type::kYesNo, place, state);
    bool stillOpen = false;
    WhenModal([&] {
      QTest::keyClick(&q, Qt::Key_Escape);
      stillOpen = q.isVisible();  // swallowed
      q.negativeButton()->click();
    });
    QCOMPARE(q.ask("q", 258, "prompt"), 7);
    QVERIFY(stillOpen);
    WhenModal([&] { QTest::keyClick(&q, Qt::Key_Escape); });
    QCOMPARE(q.ask("q", 258 | kMsgEscapeAnswers, "prompt"), 2);
  }

  void modalMessagesInARow() {
    QWidget parent;
    parent.show();
    MessageWindow m(MessageWindow::Type::kMessage, place, state, &parent);
    m.showMessage("modeless", kMsgInfo, "note");
    m.close();
    for (const char* text : {"first\r\nsecond line", "third"}) {
      bool shown = false;
      WhenModal([&] {
        shown = m.isVisible();
        m.positiveButton()->click();
      });
      m.showMessage(text, kMsgWarning | kMsgModal, "warning");
      QVERIFY(shown);
      QVERIFY(!m.isVisible());
    }
  }

  // A modeless message stays when a dialog of the program opens over it (the
  // file dialog that comes back after an error), and goes when the user turns
  // to another window.
  void modelessMessageSurvivesADialogOpenedOverIt() {
    QWidget other;
    MessageWindow m(MessageWindow::Type::kMessage, place, state);
    m.showMessage("You are not allowed to save to the application folder.", kMsgError, "warning");
    QVERIFY(QTest::qWaitForWindowActive(&m));
    bool visibleUnderDialog = false;
    QDialog fileDialog;
    QTimer::singleShot(0, &fileDialog, [&] {
      QApplication::setActiveWindow(&fileDialog);
      QCoreApplication::processEvents();
      visibleUnderDialog = m.isVisible();
      fileDialog.reject();
    });
    fileDialog.exec();
    QVERIFY(visibleUnderDialog);
    QVERIFY(m.isVisible());
    // Turning to another window of no dialog dismisses it.
    other.show();
    QApplication::setActiveWindow(&m);
    QCoreApplication::processEvents();
    QApplication::setActiveWindow(&other);
    QCoreApplication::processEvents();
    QVERIFY(!m.isVisible());
  }

  void maximizedWindowStaysMaximized() {
    uint8_t maximized = 2;
    MessageWindow m(MessageWindow::Type::kMessage, place, maximized);
    QSize before = m.size();
    m.showMessage("a short text", 0, "info");
    QCOMPARE(m.size().width() == MessageClientSize("a short text", QFontMetrics(m.font())).width(), false);
    (void)before;
    m.close();
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int status = 0;
  {
    WindowTest t;
    status |= QTest::qExec(&t, argc, argv);
  }
  {
    MessageWindowTest t;
    status |= QTest::qExec(&t, argc, argv);
  }
  return status;
}

#include "window_test.moc"
