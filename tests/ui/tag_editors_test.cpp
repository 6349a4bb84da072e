// The tag editor windows under the offscreen platform: captions, hints, what
// the boxes store, the highlight (driven through its timer, no sleeping), OK,
// Cancel, Esc and the keyboard.
#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>
#include <cstring>
#include <string>
#include <vector>

#include "core/options.h"
#include "tags/id3v1.h"
#include "tags/message_kind.h"
#include "ui/id3v1_editor_window.h"
#include "ui/image_window.h"
#include "ui/transfer_dialog.h"

using namespace quorvel;

namespace {

struct Shown {
  std::string text;
  int kind;
  std::string caption;
};

// Types text as a keyboard with that layout would, one character at a time
// (QTest::keyClicks takes ASCII only). Surrogate pairs go as one key.
void TypeText(QWidget* widget, const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    QString key = text.mid(i, text.at(i).isHighSurrogate() ? 2 : 1);
    i += key.size() - 1;
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, key);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, key);
    QApplication::sendEvent(widget, &release);
  }
}

QByteArray Encoded(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

// A 1 x 1 GIF written by hand (Qt reads GIF but does not write it).
const QByteArray kGif = QByteArray::fromHex(
    "47494638396101000100800000ffffff00000021f90401000000002c00000000010001000002024401003b");

}  // namespace

class TagEditorsTest : public QObject {
  Q_OBJECT

 private:
  Id3v1State state;
  Options options;
  std::vector<Shown> shown;
  std::vector<TransferDirection> transfers;
  int closedCount = 0;
  bool closedHolding = false;
  int answer = kAnswerYes;
  std::unique_ptr<Id3v1EditorWindow> w;

  void makeWindow() {
    Id3v1EditorHooks hooks;
    hooks.message = [this](const std::string& t, int k, const std::string& c) { shown.push_back({t, k, c}); };
    hooks.ask = [this](const std::string&, int, const std::string&) { return answer; };
    hooks.reloadRecord = [this] {
      state.record = state.loaded;
      return true;
    };
    hooks.transfer = [this](TransferDirection d) { transfers.push_back(d); };
    hooks.closed = [this](bool holding) {
      ++closedCount;
      closedHolding = holding;
    };
    w = std::make_unique<Id3v1EditorWindow>(state, options, hooks);
  }

  void loadRecord(const char* title, int track) {
    ClearId3v1(state.record);
    std::memcpy(state.record.bytes.data(), title, std::strlen(title));
    state.record.bytes[122] = 0;
    state.record.bytes[123] = static_cast<uint8_t>(track);
    state.record.bytes[124] = 8;
    state.loaded = state.record;
  }

 private slots:
  void init() {
    state = {};
    options = {};
    shown.clear();
    transfers.clear();
    closedCount = 0;
    answer = kAnswerYes;
    makeWindow();
  }
  void cleanup() { w.reset(); }

  void captionsAndHints() {
    loadRecord("Song", 5);
    w->openFor("/music/a.mp3", true);
    QCOMPARE(w->windowTitle(), QStringLiteral(" ID3v1 (footer) tag editor"));
    QStringList captions;
    for (QLabel* l : w->findChildren<QLabel*>()) captions << l->text();
    for (const char* c : {"&Title:", "Art&ist:", "Al&bum:", "&Comment:", "&Year:", "Tr&ack:", "&Genre:",
                          "&Version:"}) {
      QVERIFY2(captions.contains(QString::fromUtf8(c)), c);
    }
    QCOMPARE(w->okButton()->text(), QStringLiteral("O&K"));
    QCOMPARE(w->okButton()->toolTip(), QStringLiteral("Remember changes and close"));
    QCOMPARE(w->reloadButton()->text(), QStringLiteral("&Reload tag"));
    QCOMPARE(w->reloadButton()->toolTip(), QStringLiteral("Reload original content"));
    QCOMPARE(w->importButton()->text(), QStringLiteral("id3v2 i&mport"));
    QCOMPARE(w->exportButton()->text(), QStringLiteral("id3v2 e&xport"));
    QCOMPARE(w->albumBox()->toolTip(), QStringLiteral("Use folder name as Album"));
    QCOMPARE(w->genreList()->count(), 150);
    QCOMPARE(w->genreList()->itemText(149), QStringLiteral("- EMPTY -"));
    QCOMPARE(w->genreList()->itemText(17), QStringLiteral("Rock"));
    QCOMPARE(w->versionList()->itemText(0), QStringLiteral(" ID3v1.0"));
    QCOMPARE(w->versionList()->itemText(1), QStringLiteral(" ID3v1.1"));
    // The boxes show the record.
    QCOMPARE(w->box(Id3v1EditorField::kTitle)->text(), QStringLiteral("Song"));
    QCOMPARE(w->box(Id3v1EditorField::kTrack)->text(), QStringLiteral("5"));
    QCOMPARE(w->genreList()->currentText(), QStringLiteral("Jazz"));
    QCOMPARE(w->versionList()->currentIndex(), 1);
    // Every control has an accessible name.
    for (QWidget* c : w->findChildren<QWidget*>()) {
      if (qobject_cast<QLineEdit*>(c) || qobject_cast<QPushButton*>(c) || qobject_cast<QCheckBox*>(c) ||
          qobject_cast<QComboBox*>(c)) {
        QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->metaObject()->className()));
      }
    }
  }

  void typingGoesIntoTheRecordAndCancelPutsItBack() {
    loadRecord("Song", 5);
    const Id3v1Tag before = state.record;
    w->openFor("/music/a.mp3", true);
    QLineEdit* title = w->box(Id3v1EditorField::kTitle);
    title->setFocus();
    title->selectAll();
    TypeText(title, QStringLiteral("\u00c9t\u00e9 \u05e9\u05dc\u05d5\u05dd"));
    QCOMPARE(std::string(reinterpret_cast<const char*>(state.record.bytes.data())),
             std::string("\xC3\x89t\xC3\xA9 \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"));
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QVERIFY(!w->isVisible());
    QCOMPARE(state.record.bytes, before.bytes);
    QCOMPARE(closedCount, 1);
    QVERIFY(closedHolding);
  }

  void okAsksAboutLettersOutsideAscii() {
    loadRecord("Song", 5);
    w->openFor("/music/a.mp3", true);
    QLineEdit* title = w->box(Id3v1EditorField::kTitle);
    title->setFocus();
    TypeText(title, QStringLiteral("\u00e9"));
    answer = kAnswerNo;
    w->okButton()->click();
    QVERIFY(w->isVisible());  // Cancel in the question goes back to the editor
    answer = kAnswerYes;
    w->okButton()->click();
    QVERIFY(!w->isVisible());
    QCOMPARE(std::string(reinterpret_cast<const char*>(state.record.bytes.data())), std::string("Song\xC3\xA9"));
  }

  void enterMovesToTheNextBox() {
    loadRecord("Song", 5);
    w->openFor("/music/a.mp3", true);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QLineEdit* title = w->box(Id3v1EditorField::kTitle);
    title->setFocus();
    QTest::keyClick(title, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), w->box(Id3v1EditorField::kArtist));
    QTest::keyClick(w->box(Id3v1EditorField::kArtist), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), title);
    QVERIFY(w->isVisible());  // Enter in a box is not OK
  }

  void trackInErrorAndVersionSwitch() {
    loadRecord("Song", 5);
    w->openFor("/music/a.mp3", true);
    QLineEdit* track = w->box(Id3v1EditorField::kTrack);
    track->setFocus();
    track->selectAll();
    QTest::keyClicks(track, QStringLiteral("300"));
    QVERIFY(!track->styleSheet().isEmpty());  // error colours
    track->selectAll();
    QTest::keyClicks(track, QStringLiteral("7"));
    QVERIFY(track->styleSheet().isEmpty());
    QCOMPARE(state.record.bytes[123], 7);
    w->versionList()->setCurrentIndex(0);
    emit w->versionList()->activated(0);
    QVERIFY(!track->isEnabled());
    QCOMPARE(track->text(), QString());
  }

  void scanHighlightsUntilTheTimerFires() {
    loadRecord("", 0);
    options.volumeChannelAndTagSwitches = kTagSwitchFolderAsAlbum | kTagSwitchSplitFolder;
    w->openFor("/music/Band - Album/Artist - Title.mp3", false);
    QVERIFY(w->albumBox()->isChecked());
    QVERIFY(w->splitBox()->isEnabled());
    QVERIFY(!w->reloadButton()->isEnabled());  // the file had no ID3v1 tag
    w->scanButton()->click();
    QCOMPARE(w->box(Id3v1EditorField::kArtist)->text(), QStringLiteral("Artist"));
    QCOMPARE(w->box(Id3v1EditorField::kTitle)->text(), QStringLiteral("Title"));
    QCOMPARE(w->box(Id3v1EditorField::kAlbum)->text(), QStringLiteral("Album"));
    QVERIFY(w->highlighting());
    QCOMPARE(w->highlightTimer()->interval(), 251);
    QVERIFY(w->box(Id3v1EditorField::kTitle)->styleSheet().contains(QStringLiteral("rgb(128, 0, 0)")));
    QVERIFY(w->box(Id3v1EditorField::kYear)->styleSheet().isEmpty());
    // While the highlight runs, the transfer buttons do nothing.
    w->exportButton()->click();
    QVERIFY(transfers.empty());
    w->highlightExpired();  // what the timer calls after 251 ms
    QVERIFY(!w->highlighting());
    QVERIFY(w->box(Id3v1EditorField::kTitle)->styleSheet().isEmpty());
    w->exportButton()->click();
    w->importButton()->click();
    QCOMPARE(transfers.size(), size_t{2});
    QCOMPARE(transfers[0], TransferDirection::kV1ToV2);
    QCOMPARE(transfers[1], TransferDirection::kV2ToV1);
    // The switches are options.
    w->albumBox()->setChecked(false);
    QVERIFY(!(options.volumeChannelAndTagSwitches & kTagSwitchFolderAsAlbum));
    QVERIFY(!w->splitBox()->isEnabled());
  }

  void busyMakesTheEditorReadOnly() {
    loadRecord("Song", 5);
    w->openFor("/music/a.mp3", true);
    w->setBusy(true);
    QVERIFY(!w->box(Id3v1EditorField::kTitle)->isEnabled());
    QVERIFY(!w->okButton()->isEnabled());
    QVERIFY(!w->genreList()->isEnabled());
    w->setBusy(false);
    QVERIFY(w->box(Id3v1EditorField::kTitle)->isEnabled());
    QVERIFY(w->box(Id3v1EditorField::kTrack)->isEnabled());
  }

  void closingAnEmptyRecordSaysSo() {
    loadRecord("", 0);
    state.record.bytes[124] = 255;
    state.loaded = state.record;
    w->openFor("/music/a.mp3", false);
    w->okButton()->click();
    QCOMPARE(closedCount, 1);
    QVERIFY(!closedHolding);
  }

  void transferDialogStartsFromTheRememberedWord() {
    std::vector<std::string> questions;
    int reply = kAnswerYes;
    TransferDialog d([&](const std::string& text, int, const std::string& caption) {
      questions.push_back(caption + ": " + text);
      return reply;
    });
    QCOMPARE(d.windowTitle(), QStringLiteral("tag data transfer"));
    // Every control can be seen: none lies over another.
    d.prepare(TransferDirection::kV2ToV1, 383, 383);
    d.show();
    QApplication::processEvents();
    QList<QAbstractButton*> buttons = d.findChildren<QAbstractButton*>();
    for (QAbstractButton* a : buttons) {
      QVERIFY2(a->isVisible(), qPrintable(a->text()));
      for (QAbstractButton* b : buttons) {
        if (a == b || a->parentWidget() != b->parentWidget()) continue;
        QVERIFY2(!a->geometry().intersects(b->geometry()), qPrintable(a->text() + " / " + b->text()));
      }
    }
    d.hide();
    // Nothing remembered: all seven fields, overwrite, defaults next time.
    d.prepare(TransferDirection::kV1ToV2, 383, 383);
    QCOMPARE(d.titleLabel()->text(), QStringLiteral("data transfer from ID3v1 to ID3v2"));
    QCOMPARE(d.settings(), uint32_t{383});
    for (int i = 0; i < 7; ++i) QVERIFY(d.fieldBox(i)->isChecked());
    QVERIFY(!d.bothWaysBox()->isChecked());
    QVERIFY(d.overwriteButton()->isChecked());
    QVERIFY(d.defaultsButton()->isChecked());
    QVERIFY(d.showNextTimeBox()->isChecked());
    QCOMPARE(d.fieldBox(6)->text(), QStringLiteral("track *"));
    QVERIFY(d.fieldBox(6)->toolTip().isEmpty());  // the hint is for the other direction only

    d.uncheckAllButton()->click();
    QCOMPARE(d.settings() & kTransferFieldMask, 0u);
    d.checkAllButton()->click();
    QCOMPARE(d.settings() & kTransferFieldMask, kTransferFieldMask);
    d.blankOnlyButton()->setChecked(true);
    d.rememberButton()->setChecked(true);
    d.bothWaysBox()->setChecked(true);
    QCOMPARE(d.settings(), uint32_t{kTransferFieldMask | kTransferBothWays | kTransferRemember});

    // A remembered word sets the boxes (here: title and year, blank only).
    uint32_t remembered = kTransferTitle | kTransferYear | kTransferRemember;
    d.prepare(TransferDirection::kV2ToV1, 383, remembered);
    QCOMPARE(d.titleLabel()->text(), QStringLiteral("data transfer from ID3v2 to ID3v1"));
    QVERIFY(d.fieldBox(6)->toolTip().startsWith(QStringLiteral("note that if existing footer is ID3v1.0")));
    QCOMPARE(d.settings(), remembered);
    QVERIFY(d.fieldBox(0)->isChecked());
    QVERIFY(!d.fieldBox(1)->isChecked());
    QVERIFY(d.blankOnlyButton()->isChecked());
    QVERIFY(d.rememberButton()->isChecked());

    // Double-click on the title: Yes turns the direction and starts it afresh.
    QTest::mouseDClick(d.titleLabel(), Qt::LeftButton);
    QCOMPARE(questions.size(), size_t{1});
    QCOMPARE(questions[0], std::string("change direction?: Do you want to copy from ID3v1 to ID3v2 instead?"));
    QCOMPARE(d.direction(), TransferDirection::kV1ToV2);
    QCOMPARE(d.settings(), uint32_t{383});
    reply = kAnswerNo;
    d.askChangeDirection();
    QCOMPARE(d.direction(), TransferDirection::kV1ToV2);
  }

  void imageWindowShowsPicturesAndZooms() {
    ImageWindow iw;
    iw.resize(480, 480);
    iw.show();
    QCOMPARE(iw.windowTitle(), QStringLiteral("id3v2 image"));
    QImage big(2000, 1000, QImage::Format_RGB32);
    big.fill(Qt::blue);
    QByteArray png = Encoded(big, "PNG");
    QVERIFY(iw.showPicture(png, QStringLiteral("Cover (front)"), QStringLiteral("image/png")));
    QCOMPARE(iw.image().size(), QSize(2000, 1000));
    QVERIFY(iw.fitted());
    QVERIFY(iw.scale() < 0.25);  // fitted into the window
    QVERIFY(iw.statusText().contains(QStringLiteral("Cover (front)")));
    QVERIFY(iw.statusText().contains(QStringLiteral("image/png")));
    QVERIFY(iw.statusText().contains(QStringLiteral("2000 \u00d7 1000 pixels")));
    QVERIFY(iw.statusText().contains(QLocale().toString(static_cast<qlonglong>(png.size())) + QStringLiteral(" bytes")));
    // The steps from the fitted size: up to 25 %, down stays at 25 %.
    QTest::keyClick(&iw, Qt::Key_Plus);
    QCOMPARE(iw.zoomPercent(), 25);
    QTest::keyClick(&iw, Qt::Key_Minus);
    QCOMPARE(iw.zoomPercent(), 25);
    QTest::keyClick(&iw, Qt::Key_1);
    QCOMPARE(iw.zoomPercent(), 100);
    for (int i = 0; i < 12; ++i) iw.zoomIn();
    QCOMPARE(iw.zoomPercent(), 800);
    iw.zoomOut();
    QCOMPARE(iw.zoomPercent(), 600);
    QTest::keyClick(&iw, Qt::Key_0);
    QVERIFY(iw.fitted());

    // A small JPEG is shown at its size when fitted, never blown up.
    QImage small(120, 80, QImage::Format_RGB32);
    small.fill(Qt::red);
    QVERIFY(iw.showPicture(Encoded(small, "JPEG"), QStringLiteral("Artist"), QStringLiteral("image/jpeg")));
    QCOMPARE(iw.image().size(), QSize(120, 80));
    QCOMPARE(iw.scale(), 1.0);
    iw.zoomIn();
    QCOMPARE(iw.zoomPercent(), 125);

    QVERIFY(iw.showPicture(kGif, QString(), QStringLiteral("image/gif")));
    QCOMPARE(iw.image().size(), QSize(1, 1));
    // BMP and ICO through their readers too.
    QVERIFY(iw.showPicture(Encoded(small, "BMP"), QString(), QStringLiteral("image/bmp")));
    QVERIFY(iw.showPicture(Encoded(small.scaled(32, 32), "ICO"), QString(), QStringLiteral("image/ico")));
    QCOMPARE(iw.image().size(), QSize(32, 32));

    // Data no reader accepts, and a picture cut short.
    QVERIFY(!iw.showPicture(QByteArray("not a picture at all"), QString(), QStringLiteral("image/png")));
    QVERIFY(iw.image().isNull());
    QVERIFY(!iw.showPicture(png.left(40), QString(), QStringLiteral("image/png")));
    QVERIFY(iw.statusText().contains(QStringLiteral("40 bytes")));
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TagEditorsTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "tag_editors_test.moc"
