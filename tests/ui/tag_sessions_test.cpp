// The tag editors used around the main window as a person uses them: an
// editor left open while saving, a tag edit and then a path that drops the
// document, a transfer after another file was opened, a close from another
// instance while a dialog is open. Files are made and read back by mutagen.

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/options_menu.h"
#include "core/context.h"
#include "core/document_ops.h"
#include "core/options.h"
#include "core/tag_editing.h"
#include "tags/id3v1.h"
#include "tags/message_kind.h"
#include "ui/commands.h"
#include "ui/fade_dialog.h"
#include "ui/id3v1_editor_window.h"
#include "ui/id3v2_editor_window.h"
#include "ui/main_window.h"
#include "ui/message_windows.h"
#include "ui/multiline_window.h"

using namespace quorvel;

namespace {

QString SampleFile() {
  const char* dir = std::getenv("QUORVEL_TEST_DATA");
  return QString::fromUtf8(dir != nullptr ? dir : "tests/data") + QStringLiteral("/../../data/sample.mp3");
}

// Types text as a keyboard would, one character at a time.
void TypeText(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &release);
  }
}

// The system Python with mutagen; its standard output, or a failure.
QByteArray Python(const QString& script, const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), script} + args);
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    qWarning() << "python3 failed:" << p.readAllStandardError();
    return QByteArray();
  }
  return p.readAllStandardOutput().trimmed();
}

// A copy of the sample with only the tags given: an ID3v2.3 tag with a title,
// an artist and (with band) a TPE2 field, and an ID3v1 tag with its own title
// when v1Title is not empty.
bool MakeTagged(const QString& path, const QString& v2Title, const QString& v1Title, bool band) {
  const QString script = QStringLiteral(
      "import shutil, sys\n"
      "from mutagen.id3 import ID3, TIT2, TPE1, TPE2, delete\n"
      "src, out, t2, t1, band = sys.argv[1:6]\n"
      "shutil.copyfile(src, out)\n"
      "delete(out)\n"
      "tag = ID3()\n"
      "tag.add(TIT2(encoding=3, text=t2))\n"
      "tag.add(TPE1(encoding=3, text='Artist'))\n"
      "if band == '1': tag.add(TPE2(encoding=3, text='Band Two'))\n"
      "tag.save(out, v2_version=3, v1=0)\n"
      "if t1:\n"
      "    f = lambda s, n: s.encode('latin-1')[:n].ljust(n, b'\\0')\n"
      "    rec = b'TAG' + f(t1, 30) + f('V1 artist', 30) + f('', 30) + b'2001' + f('', 28) + b'\\0\\x05\\x11'\n"
      "    open(out, 'ab').write(rec)\n"
      "print('ok')\n");
  return Python(script, {SampleFile(), path, v2Title, v1Title, band ? QStringLiteral("1") : QStringLiteral("0")}) ==
         "ok";
}

// A frame's texts as mutagen reads them ("|" between texts), or "-" when absent.
QString Frame(const QString& path, const QString& id) {
  const QString script = QStringLiteral(
      "import sys\nfrom mutagen.id3 import ID3\n"
      "t = ID3(sys.argv[1])\n"
      "f = t.getall(sys.argv[2])\n"
      "print('|'.join(str(x) for x in f) if f else '-')\n");
  return QString::fromUtf8(Python(script, {path, id}));
}

// Runs `answer` once a modal window is open (with `only`, once that one is);
// the timer is the caller's to stop.
QTimer* WhenModal(std::function<void(QWidget*)> answer, QWidget* only = nullptr) {
  auto* timer = new QTimer;
  timer->setInterval(0);
  QObject::connect(timer, &QTimer::timeout, [timer, answer, only] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || (only != nullptr && modal != only)) return;
    timer->stop();
    answer(modal);
  });
  timer->start();
  return timer;
}

// Accepts the file dialog with `path`.
void ChooseFile(QWidget* modal, const QString& path) {
  auto* dialog = qobject_cast<QFileDialog*>(modal);
  QVERIFY(dialog != nullptr);
  dialog->selectFile(path);
  static_cast<QDialog*>(dialog)->accept();
}

}  // namespace

class TagSessionsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> home;
  std::unique_ptr<MainWindow> main;
  std::vector<std::unique_ptr<QTimer>> timers;

  QString file(const char* name) const { return home->path() + QLatin1Char('/') + QString::fromUtf8(name); }
  Context& ctx() { return main->context(); }
  void answerNext(std::function<void(QWidget*)> answer) { timers.emplace_back(WhenModal(std::move(answer))); }
  // The next question of the yes/no window.
  void answerQuestion(std::function<void(QWidget*)> answer) {
    timers.emplace_back(WhenModal(std::move(answer), main->yesNoWindow()));
  }

  void start(const QString& path) {
    main = std::make_unique<MainWindow>();
    ctx().settingsFolder = home->path().toStdString() + "/settings/";
    QDir().mkpath(home->path() + QStringLiteral("/settings"));
    Options& o = ctx().options;
    o.tagFlags &= static_cast<uint8_t>(~kTagFlagEditorInstructions);
    o.volumeChannelAndTagSwitches &= static_cast<uint8_t>(~kTagSwitchShowTransferDialog);
    o.overwritePolicy = 2;
    o.mainFlags |= kPromptSaveOnClose;
    o.lastSaveFolder = home->path().toStdString();
    main->show();
    main->openFile(path.toStdString());
    QVERIFY(ctx().doc.loaded);
  }

  Id3v2EditorWindow* openV2() {
    main->openId3v2Editor();
    return main->id3v2Editor();
  }
  Id3v1EditorWindow* openV1() {
    main->openId3v1Editor();
    return main->id3v1Editor();
  }
  void typeTitle(QLineEdit* box, const QString& text) {
    box->selectAll();
    TypeText(box, text);
  }

 private slots:
  void init() {
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(home->isValid());
  }
  void cleanup() {
    timers.clear();
    if (main) {
      ctx().options.mainFlags &= static_cast<uint8_t>(~kPromptSaveOnClose);
      main->close();
    }
    main.reset();
    home.reset();
  }

  // Every save with the ID3v2 editor open and a title typed (nothing
  // accepted yet): the save writes what the editor shows, the other fields
  // with it, and the program goes on. A save onto the source closes the
  // document; reloaded, the editor shows it again and takes keys.
  void saveWithTheEditorOpen_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("reload");
    for (const char* path : {"quick save", "save as", "save changes yes"}) {
      QTest::newRow((std::string(path) + ", reloaded").c_str()) << QString::fromUtf8(path) << true;
      QTest::newRow((std::string(path) + ", closed").c_str()) << QString::fromUtf8(path) << false;
    }
  }
  void saveWithTheEditorOpen() {
    QFETCH(QString, path);
    QFETCH(bool, reload);
    const QString source = file("a.mp3");
    QVERIFY(MakeTagged(source, QStringLiteral("Old title"), QString(), true));
    start(source);
    uint8_t& flags = ctx().options.mainFlags;
    flags = static_cast<uint8_t>(reload ? flags | kReloadAfterOverwrite : flags & ~kReloadAfterOverwrite);
    Id3v2EditorWindow* editor = openV2();
    QVERIFY(editor != nullptr && editor->isVisible());
    QCOMPARE(editor->otherTextBox()->text(), QStringLiteral("Band Two"));
    typeTitle(editor->box(MainBox::Title), QStringLiteral("Saved title"));

    if (path == QLatin1String("quick save")) {
      main->action(Command::kQuickSave)->trigger();
    } else if (path == QLatin1String("save as")) {
      answerNext([&](QWidget* modal) { ChooseFile(modal, source); });
      main->action(Command::kSaveAs)->trigger();
    } else {
      QString asked;
      answerNext([&](QWidget*) {
        asked = main->yesNoWindow()->textLabel()->text();
        answerNext([&](QWidget* modal) { ChooseFile(modal, source); });
        main->yesNoWindow()->positiveButton()->click();
      });
      QVERIFY(main->close());
      QCOMPARE(asked, QStringLiteral("  Save changes?  "));
    }
    QCOMPARE(Frame(source, QStringLiteral("TIT2")), QStringLiteral("Saved title"));
    QCOMPARE(Frame(source, QStringLiteral("TPE2")), QStringLiteral("Band Two"));
    QCOMPARE(Frame(source, QStringLiteral("TPE1")), QStringLiteral("Artist"));
    if (path == QLatin1String("save changes yes")) return;

    QVERIFY(!ctx().doc.unsavedChanges);
    QCOMPARE(ctx().doc.loaded, reload);
    QCOMPARE(editor->isVisible(), reload);
    if (!reload) return;
    QCOMPARE(editor->box(MainBox::Title)->text(), QStringLiteral("Saved title"));
    QCOMPARE(editor->otherTextBox()->text(), QStringLiteral("Band Two"));
    TypeText(editor->box(MainBox::Title), QStringLiteral("!"));
    QVERIFY(TagEditsPending(ctx()));
  }

  // A tag edit is an edit: every path that drops the document asks
  // "Save changes?" when the option is on, for an accepted edit and for one
  // an editor still holds; Escape keeps the document and the editor as they
  // were. With nothing changed, or the option off, the path goes on and the
  // editors close.
  void closePathsAskAboutTagEdits_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("prompt");
    const char* paths[] = {"close window", "open",        "close document", "reopen",
                           "recent file",  "drop",        "instance close"};
    for (const char* path : paths) {
      for (const char* state : {"v2 accepted", "v2 held", "v1 held", "v1 accepted", "nothing changed"}) {
        QTest::newRow((std::string(path) + ", " + state).c_str())
            << QString::fromUtf8(path) << QString::fromUtf8(state) << true;
      }
      QTest::newRow((std::string(path) + ", v2 held, no prompt").c_str())
          << QString::fromUtf8(path) << QStringLiteral("v2 held") << false;
    }
  }
  void closePathsAskAboutTagEdits() {
    QFETCH(QString, path);
    QFETCH(QString, state);
    QFETCH(bool, prompt);
    const QString source = file("a.mp3");
    const QString other = file("b.mp3");
    QVERIFY(MakeTagged(source, QStringLiteral("Title A"), QStringLiteral("V1 A"), false));
    QVERIFY(MakeTagged(other, QStringLiteral("Title B"), QStringLiteral("V1 B"), false));
    start(source);
    uint8_t& flags = ctx().options.mainFlags;
    if (!prompt) flags = static_cast<uint8_t>(flags & ~kPromptSaveOnClose);
    ctx().options.recentFiles[0] = other.toStdString();

    QWidget* editor = nullptr;
    if (state.startsWith(QLatin1String("v2")) || state == QLatin1String("nothing changed")) {
      Id3v2EditorWindow* v2 = openV2();
      editor = v2;
      if (state != QLatin1String("nothing changed")) typeTitle(v2->box(MainBox::Title), QStringLiteral("Edited"));
      if (state.endsWith(QLatin1String("accepted"))) v2->okButton()->click();
    } else {
      Id3v1EditorWindow* v1 = openV1();
      editor = v1;
      typeTitle(v1->box(Id3v1EditorField::kTitle), QStringLiteral("Edited"));
      if (state.endsWith(QLatin1String("accepted"))) v1->okButton()->click();
    }
    const bool held = state.endsWith(QLatin1String("held"));
    QCOMPARE(editor->isVisible(), held || state == QLatin1String("nothing changed"));
    QCOMPARE(ctx().doc.unsavedChanges, state.endsWith(QLatin1String("accepted")));

    QString asked;
    answerNext([&](QWidget*) {
      asked = main->yesNoWindow()->textLabel()->text();
      QTest::keyClick(main->yesNoWindow(), Qt::Key_Escape);
    });
    if (path == QLatin1String("close window")) {
      main->close();
    } else if (path == QLatin1String("open")) {
      main->openFile(other.toStdString());
    } else if (path == QLatin1String("close document")) {
      main->action(Command::kClose)->trigger();
    } else if (path == QLatin1String("reopen")) {
      main->action(Command::kReopen)->trigger();
    } else if (path == QLatin1String("recent file")) {
      RecentFileClick(ctx(), 0);
    } else if (path == QLatin1String("drop")) {
      main->dropFiles({other.toStdString()});
    } else {
      main->requestClose();
    }
    QCoreApplication::processEvents();

    const bool asks = prompt && state != QLatin1String("nothing changed");
    // Close (Ctrl+F4), and a drop that closes first, ask in Close's words.
    const bool closes = path == QLatin1String("close document") || path == QLatin1String("drop");
    const QString question = closes ? QStringLiteral("Save changes?") : QStringLiteral("  Save changes?  ");
    QCOMPARE(asked, asks ? question : QString());
    if (asks) {
      // Escape: nothing changed.
      QVERIFY(main->isVisible());
      QVERIFY(ctx().doc.loaded);
      QCOMPARE(QString::fromStdString(ctx().doc.documentName), source);
      QCOMPARE(editor->isVisible(), held);
      QCOMPARE(TagEditsPending(ctx()), held);
      QCOMPARE(ctx().doc.unsavedChanges, !held);
      return;
    }
    if (path == QLatin1String("close window") || path == QLatin1String("instance close")) {
      QVERIFY(!main->isVisible());
      return;
    }
    QVERIFY(!editor->isVisible());
    QVERIFY(!TagEditsPending(ctx()));
    if (path == QLatin1String("close document")) {
      QVERIFY(!ctx().doc.loaded);
    } else {
      QVERIFY(ctx().doc.loaded);
      QVERIFY(!ctx().doc.unsavedChanges);
    }
  }

  // A transfer reads the document's own source tag: the source editor's
  // fields when it is open, else the tag itself; never what a closed window
  // last showed, whether it was never opened, opened and cancelled, or showed
  // another file.
  void transfersReadTheDocumentsTags_data() {
    QTest::addColumn<bool>("v1ToV2");
    QTest::addColumn<QString>("source");
    for (bool v1ToV2 : {true, false}) {
      for (const char* source : {"never opened", "opened and cancelled", "another file before"}) {
        QTest::newRow((std::string(v1ToV2 ? "v1 to v2, " : "v2 to v1, ") + source).c_str())
            << v1ToV2 << QString::fromUtf8(source);
      }
    }
  }
  void transfersReadTheDocumentsTags() {
    QFETCH(bool, v1ToV2);
    QFETCH(QString, source);
    const QString first = file("a.mp3");
    const QString second = file("b.mp3");
    QVERIFY(MakeTagged(first, QStringLiteral("V2 title A"), QStringLiteral("V1 title A"), false));
    QVERIFY(MakeTagged(second, QStringLiteral("V2 title B"), QStringLiteral("V1 title B"), false));
    start(source == QLatin1String("another file before") ? first : second);
    auto touchSource = [&] {
      if (v1ToV2) {
        Id3v1EditorWindow* v1 = openV1();
        typeTitle(v1->box(Id3v1EditorField::kTitle), QStringLiteral("Cancelled"));
        v1->cancelButton()->click();
      } else {
        Id3v2EditorWindow* v2 = openV2();
        typeTitle(v2->box(MainBox::Title), QStringLiteral("Cancelled"));
        v2->cancelButton()->click();
      }
    };
    if (source != QLatin1String("never opened")) touchSource();
    if (source == QLatin1String("another file before")) {
      main->openFile(second.toStdString());
      QCOMPARE(QString::fromStdString(ctx().doc.documentName), second);
    }

    if (v1ToV2) {
      Id3v2EditorWindow* v2 = openV2();
      QCOMPARE(v2->box(MainBox::Title)->text(), QStringLiteral("V2 title B"));
      v2->importButton()->click();
      QCOMPARE(v2->box(MainBox::Title)->text(), QStringLiteral("V1 title B"));
      QCOMPARE(v2->box(MainBox::Artist)->text(), QStringLiteral("V1 artist"));
      v2->okButton()->click();
      QCOMPARE(QString::fromStdString(ctx().doc.id3v2.fields[0].tansi), QStringLiteral("V1 title B"));
    } else {
      Id3v1EditorWindow* v1 = openV1();
      QCOMPARE(v1->box(Id3v1EditorField::kTitle)->text(), QStringLiteral("V1 title B"));
      v1->importButton()->click();
      QCOMPARE(v1->box(Id3v1EditorField::kTitle)->text(), QStringLiteral("V2 title B"));
      QCOMPARE(v1->box(Id3v1EditorField::kArtist)->text(), QStringLiteral("Artist"));
      v1->okButton()->click();
      QCOMPARE(QString::fromStdString(ReadTextField(ctx().doc.id3v1.record, Id3v1Field::kTitle, 30)),
               QStringLiteral("V2 title B"));
    }
    QVERIFY(ctx().doc.unsavedChanges);
  }

  // Both editors follow one rule while an operation runs: they change
  // nothing and do not close by themselves (close button, Esc, Cancel); the
  // engine still ends their sessions, and they show nothing of them after.
  void editorsWhileBusy() {
    const QString source = file("a.mp3");
    QVERIFY(MakeTagged(source, QStringLiteral("Title A"), QStringLiteral("V1 A"), true));
    start(source);
    Id3v1EditorWindow* v1 = openV1();
    Id3v2EditorWindow* v2 = openV2();
    typeTitle(v1->box(Id3v1EditorField::kTitle), QStringLiteral("Held one"));
    typeTitle(v2->box(MainBox::Title), QStringLiteral("Held two"));
    const RemoveBoxes boxes = ctx().doc.boxes;
    main->desktopHost().setBusy(true);
    for (QDialog* editor : {static_cast<QDialog*>(v1), static_cast<QDialog*>(v2)}) {
      editor->close();
      QTest::keyClick(editor, Qt::Key_Escape);
      QVERIFY(editor->isVisible());
    }
    v1->cancelButton()->click();
    QVERIFY(v1->isVisible());
    QCOMPARE(ctx().doc.boxes.id3v1.enabled, boxes.id3v1.enabled);
    QVERIFY(TagEditsPending(ctx()));

    EndTagSessions(ctx());
    QVERIFY(!v1->isVisible());
    QVERIFY(!v2->isVisible());
    main->desktopHost().setBusy(false);
    QVERIFY(!TagEditsPending(ctx()));
    QCOMPARE(QString::fromStdString(ReadTextField(ctx().doc.id3v1.record, Id3v1Field::kTitle, 30)),
             QStringLiteral("V1 A"));
    // Opened again, they show the document.
    QCOMPARE(openV2()->box(MainBox::Title)->text(), QStringLiteral("Title A"));
    QCOMPARE(openV1()->box(Id3v1EditorField::kTitle)->text(), QStringLiteral("V1 A"));
  }

  // A close from another instance while a modal window is open waits for it
  // and is made when it closes (the multi-line window too); an operation the
  // dialog's answer starts runs to its end first.
  void closeFromOutsideWaitsForModalWindows() {
    const QString source = file("a.mp3");
    QVERIFY(MakeTagged(source, QStringLiteral("Title A"), QString(), false));
    start(source);
    Id3v2EditorWindow* v2 = openV2();
    v2->commentLinesButton()->click();
    QVERIFY(v2->multiLineWindow() != nullptr && v2->multiLineWindow()->isVisible());
    main->requestClose();
    QCoreApplication::processEvents();
    QVERIFY(main->isVisible());
    v2->multiLineWindow()->close();
    QTRY_VERIFY(!main->isVisible());

    // The fade dialog: OK starts the fade; the close waits for it, then asks.
    start(source);
    ctx().doc.cursor = 10;
    ctx().doc.selectionEnd = 30;
    SetSelectionExists(ctx().doc, true);
    main->refreshAll();
    QString asked;
    bool faded = false;
    answerNext([&](QWidget* modal) {
      main->requestClose();
      auto* fade = qobject_cast<FadeDialog*>(modal);
      QVERIFY(fade != nullptr);
      fade->fadeOutButton()->setChecked(true);
      answerQuestion([&](QWidget*) {
        asked = main->yesNoWindow()->textLabel()->text();
        faded = ctx().doc.gainLeft[29] < 0;
        main->yesNoWindow()->negativeButton()->click();
      });
      fade->okButton()->click();
    });
    main->action(Command::kFade)->trigger();
    QTRY_VERIFY(!main->isVisible());
    QCOMPARE(asked, QStringLiteral("  Save changes?  "));
    QVERIFY(faded);
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TagSessionsTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "tag_sessions_test.moc"
