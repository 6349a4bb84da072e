// The tag editor windows under the offscreen platform: captions, hints, what
// the boxes store, the highlight (driven through its timer, no sleeping), OK,
// Cancel, Esc and the keyboard.
#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QProcess>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/options.h"
#include "core/script_run.h"
#include "core/tag_editing.h"
#include "tags/id3v1.h"
#include "tags/id3v2_catalogue.h"
#include "tags/id3v2_reader.h"
#include "tags/message_kind.h"
#include "ui/commands.h"
#include "ui/encoding_dialog.h"
#include "ui/id3v1_editor_window.h"
#include "ui/id3v2_editor_window.h"
#include "ui/image_window.h"
#include "ui/main_window.h"
#include "ui/multiline_window.h"
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

  void enterOnAnyControlIsNotOk() {
    loadRecord("Song", 5);
    const Id3v1Tag before = state.record;
    w->openFor("/music/a.mp3", true);
    for (QPushButton* b : w->findChildren<QPushButton*>())
      QVERIFY2(!b->isDefault() && !b->autoDefault(), qPrintable(b->accessibleName()));
    for (QWidget* control :
         std::initializer_list<QWidget*>{w->genreList(), w->versionList(), w->albumBox(), w->okButton()}) {
      control->setFocus();
      QTest::keyClick(control, Qt::Key_Return);
      QVERIFY2(w->isVisible(), qPrintable(control->accessibleName()));
    }
    QCOMPARE(closedCount, 0);
    QCOMPARE(state.record.bytes, before.bytes);
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

  // A picture whose pixels would pass the window's memory limit is not
  // decoded: the window names its size and offers the desktop's viewer, which
  // gets the picture's data. One within the limit is shown. 1-bit pictures
  // keep the files and their decoding small.
  void imageWindowOffersTheDesktopViewerForAPictureTooLarge() {
    auto mono = [](int w, int h) {
      QImage image(w, h, QImage::Format_Mono);
      image.fill(0);
      return Encoded(image, "PNG");
    };
    const QByteArray huge = mono(7000, 7000);
    ImageWindow iw;
    iw.resize(480, 480);
    iw.show();
    iw.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&iw));
    QVERIFY(!iw.showPicture(huge, QStringLiteral("Cover (front)"), QStringLiteral("image/png")));
    QVERIFY(iw.tooLarge());
    QVERIFY(iw.image().isNull());
    QCOMPARE(iw.messageText(), QStringLiteral("This picture of 7000 \u00d7 7000 pixels is too large to show here."));
    QLabel* shown = nullptr;
    for (QLabel* l : iw.findChildren<QLabel*>())
      if (l->accessibleName() == QStringLiteral("picture")) shown = l;
    QVERIFY(shown != nullptr);
    QCOMPARE(shown->text(), iw.messageText());
    QVERIFY(iw.statusText().contains(QStringLiteral("7000 \u00d7 7000 pixels")));
    // Without a route to the desktop's viewer nothing is offered.
    QVERIFY(iw.externalViewerButton()->isHidden());

    std::vector<std::pair<QByteArray, QString>> opened;
    iw.setExternalViewer([&](const QByteArray& data, const QString& mime) { opened.emplace_back(data, mime); });
    QVERIFY(iw.externalViewerButton()->isVisible());
    // Its accelerator presses the button, which clicks as it comes back up.
    QTest::keyClick(&iw, Qt::Key_V, Qt::AltModifier);
    QVERIFY(iw.externalViewerButton()->isDown());
    QTRY_COMPARE(opened.size(), size_t{1});
    QVERIFY(opened[0].first == huge);
    QCOMPARE(opened[0].second, QStringLiteral("image/png"));

    // 5,000 x 5,000 pixels take 100 MB as 32-bit pixels: shown.
    QVERIFY(iw.showPicture(mono(5000, 5000), QString(), QStringLiteral("image/png")));
    QCOMPARE(iw.image().size(), QSize(5000, 5000));
    QVERIFY(!iw.tooLarge());
    QVERIFY(iw.messageText().isEmpty());
    QVERIFY(iw.externalViewerButton()->isHidden());
    iw.externalViewerButton()->click();
    QCOMPARE(opened.size(), size_t{1});
  }
};

// The ID3v2 editor over a tag built field by field (as the reader leaves it).
class Id3v2EditorTest : public QObject {
  Q_OBJECT

 private:
  Id3v2TagState tag;
  Options options;
  std::vector<Shown> shown;
  std::vector<std::string> questions;
  int answer = kAnswerYes;
  int closedCount = 0;
  bool closedAccepted = false;
  bool closedWriteTag = false;
  bool loadAnswer = false;
  std::vector<uint32_t> loaded;
  std::unique_ptr<Id3v2EditorWindow> w;

  uint32_t addRead(uint8_t index, const std::string& text, const std::string& lang = "eng") {
    const uint32_t i = AddId3v2Field(tag, index);
    Id3v2Field& f = tag.fields[i];
    f.akcija = 0;
    f.tansi = f.torig = text;
    f.tlan = f.tolan = lang;
    f.tload = "/music/a.mp3";
    f.thint = std::string("code: ") + Id3v2Code(index, 3);
    const uint8_t tip = f.tip;
    (tip == kFieldText ? tag.textlist : tip == kFieldMixed ? tag.mixlist : tip == kFieldBinary ? tag.binlist
                                                                                             : tag.piclist)
        .push_back(i);
    return i;
  }

  // A 2.3 tag: two titles, an artist, a comment, an encoding time (no 2.2
  // code) and a front cover.
  void loadTag() {
    tag = {};
    tag.present = true;
    tag.tagversion = tag.srcversion = {3, 0};
    tag.padding = 64;
    addRead(44, "First");
    addRead(58, "Band");
    addRead(44, "Second");
    addRead(4, "note");
    addRead(FindId3v2Code("TDEN", 3), "2001");
    const uint32_t pic = addRead(2, "image/jpeg");
    tag.fields[pic].sub = 3;
  }

  QStringList items(QComboBox* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->itemText(i);
    return out;
  }

  void open(const char* path = "/music/Band - Album/Artist - Title.mp3") {
    w->openFor(path, true);
    QVERIFY(w->isVisible());
  }

 private slots:
  void init() {
    loadTag();
    options = {};
    shown.clear();
    questions.clear();
    answer = kAnswerYes;
    closedCount = 0;
    loadAnswer = false;
    loaded.clear();
    Id3v2EditorHooks hooks;
    hooks.message = [this](const std::string& t, int k, const std::string& c) { shown.push_back({t, k, c}); };
    hooks.ask = [this](const std::string& t, int, const std::string&) {
      questions.push_back(t);
      return answer;
    };
    hooks.loadField = [this](uint32_t field) {
      loaded.push_back(field);
      return loadAnswer;
    };
    hooks.closed = [this](bool accepted, bool writeTag) {
      ++closedCount;
      closedAccepted = accepted;
      closedWriteTag = writeTag;
    };
    w = std::make_unique<Id3v2EditorWindow>(tag, options, hooks);
  }
  void cleanup() { w.reset(); }

  void captionsHintsAndLists() {
    open();
    QCOMPARE(w->windowTitle(), QStringLiteral(" ID3v2 (header) tag editor "));
    const char* labels[] = {"Title:", "Artist:", "Album:", "Genre:", "Composer:", "Copyright:",
                            "URL:",   "Comment:", "Year:", "Track no.", "bpm:", "size:"};
    for (int i = 0; i < kMainBoxCount; ++i) {
      QCOMPARE(w->boxLabel(static_cast<MainBox>(i))->text(), QString::fromUtf8(labels[i]));
      QCOMPARE(w->boxLabel(static_cast<MainBox>(i))->buddy(), w->box(static_cast<MainBox>(i)));
    }
    QCOMPARE(w->box(MainBox::Title)->text(), QStringLiteral("First"));
    QCOMPARE(w->box(MainBox::Artist)->text(), QStringLiteral("Band"));
    QCOMPARE(w->box(MainBox::Comment)->text(), QStringLiteral("note"));
    QCOMPARE(w->box(MainBox::Title)->toolTip(), QStringLiteral("code: TIT2"));
    QCOMPARE(w->commentLanguageBox()->text(), QStringLiteral("eng"));
    QCOMPARE(w->commentLanguageBox()->toolTip(), QStringLiteral("Comment language (3 characters)"));
    QCOMPARE(w->box(MainBox::Year)->text(), QString());
    QCOMPARE(w->box(MainBox::Title)->maxLength(), 1024);
    // The lists: the second title is a duplicate, the first stands in its box.
    QCOMPARE(items(w->list(FieldListKind::kText)),
             QStringList({"Title (DUPLICATE) (TIT2)", "Encoding time (TDEN)"}));
    QCOMPARE(items(w->list(FieldListKind::kMixed)), QStringList({"no other mixed fields"}));
    QCOMPARE(items(w->list(FieldListKind::kBinary)), QStringList({"no other binary fields"}));
    QCOMPARE(items(w->list(FieldListKind::kPicture)), QStringList({QString::fromUtf8(PictureTypeName(3))}));
    QVERIFY(!w->list(FieldListKind::kMixed)->isEnabled());
    QVERIFY(!w->removeButton(FieldListKind::kMixed)->isEnabled());
    QVERIFY(w->removeButton(FieldListKind::kText)->isEnabled());
    QCOMPARE(w->otherTextBox()->text(), QStringLiteral("Second"));
    QCOMPARE(w->otherLanguageBox()->text(), QStringLiteral("n/a"));
    QVERIFY(!w->otherLanguageBox()->isEnabled());
    QCOMPARE(w->otherLanguageBox()->toolTip(), QStringLiteral("Language used for this text field"));
    QVERIFY(w->duplicatesButton()->isEnabled());
    QVERIFY(!w->erroneousBox()->isEnabled());
    QCOMPARE(w->erroneousBox()->toolTip(), QStringLiteral("Remove fields with improper headers,\nencoding or language"));
    // The settings.
    QCOMPARE(items(w->versionList()), QStringList({" ID3v2.2", " ID3v2.3", " ID3v2.4", " other"}));
    QCOMPARE(w->versionList()->currentText(), QStringLiteral(" ID3v2.3"));
    QCOMPARE(w->minorBox()->maximum(), 254);
    QCOMPARE(w->paddingBox()->text(), QStringLiteral("64"));
    QCOMPARE(w->paddingBox()->toolTip(), QStringLiteral("Enter the number of bytes"));
    QCOMPARE(w->paddingBox()->maxLength(), 8);
    QVERIFY(w->experimentalBox()->toolTip().startsWith(QStringLiteral("Indicates that the tag is in experimental")));
    QCOMPARE(w->okButton()->text(), QStringLiteral("O&K"));
    QCOMPARE(w->reloadButton()->text(), QStringLiteral("&Reload tag"));
    QCOMPARE(w->reloadButton()->toolTip(), QStringLiteral("Discard changes and reload original data"));
    QCOMPARE(w->scanButton()->toolTip(), QStringLiteral("Extract data from the filename\n(and the folder name, optionally)"));
    QCOMPARE(w->albumBox()->toolTip(), QStringLiteral("Use folder name as Album"));
    QCOMPARE(w->splitBox()->toolTip(), QStringLiteral("Presume \"artist - album\" folder format"));
    QCOMPARE(w->duplicatesButton()->text(), QStringLiteral("Remove\nduplicate\nfields"));
    // Every control has an accessible name.
    for (QWidget* c : w->findChildren<QWidget*>()) {
      if (qobject_cast<QAbstractButton*>(c) || qobject_cast<QComboBox*>(c) || qobject_cast<QSpinBox*>(c) ||
          (qobject_cast<QLineEdit*>(c) && qobject_cast<QSpinBox*>(c->parentWidget()) == nullptr)) {
        QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(QString::fromUtf8(c->metaObject()->className()) +
                                                             QStringLiteral(" ") + c->toolTip()));
      }
    }
    // The one-time instructions came with this first opening, and only then.
    QCOMPARE(shown.size(), size_t{1});
    QVERIFY(shown[0].text.rfind("This is a one-time popup with instructions. Read carefully.\r\n\r\n\u261B Right", 0) == 0);
    QCOMPARE(shown[0].kind, 256);
    QCOMPARE(shown[0].caption, std::string("info"));
    QVERIFY(!(options.tagFlags & kTagFlagEditorInstructions));
    w->cancelButton()->click();
    open();
    QCOMPARE(shown.size(), size_t{1});
  }

  void typingReachesTheTagAndCancelPutsItBack() {
    const Id3v2TagState before = tag;
    open();
    QLineEdit* title = w->box(MainBox::Title);
    title->setFocus();
    title->selectAll();
    TypeText(title, QStringLiteral("\u00c9t\u00e9 \u05e9\u05dc\u05d5\u05dd \U0001F600"));
    QCOMPARE(tag.fields[0].tansi, std::string("\xC3\x89t\xC3\xA9 \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xF0\x9F\x98\x80"));
    QCOMPARE(tag.fields[0].enc, kEncUtf16Bom);
    QCOMPARE(tag.fields[0].akcija, kFieldEdited);
    // A box without a field adds one: a year, added and edited.
    TypeText(w->box(MainBox::Year), QStringLiteral("1999"));
    QCOMPARE(tag.fields.size(), before.fields.size() + 1);
    QCOMPARE(tag.fields.back().tansi, std::string("1999"));
    QCOMPARE(tag.fields.back().akcija, uint8_t{kFieldAdded | kFieldEdited});
    QCOMPARE(std::string(Id3v2Code(tag.fields.back().ind, 3)), std::string("TYER"));
    TypeText(w->commentLanguageBox(), QStringLiteral("d"));
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QVERIFY(!w->isVisible());
    QCOMPARE(closedCount, 1);
    QVERIFY(!closedAccepted);
    QCOMPARE(tag.fields.size(), before.fields.size());
    for (size_t i = 0; i < tag.fields.size(); ++i) {
      QCOMPARE(tag.fields[i].tansi, before.fields[i].tansi);
      QCOMPARE(tag.fields[i].tlan, before.fields[i].tlan);
      QCOMPARE(tag.fields[i].enc, before.fields[i].enc);
      QCOMPARE(tag.fields[i].akcija, uint8_t(before.fields[i].akcija & ~kFieldDuplicate));
    }
    QCOMPARE(tag.textlist, before.textlist);
  }

  void okKeepsTheEditsAndSaysWhetherAFieldIsLeft() {
    open();
    w->box(MainBox::Artist)->end(false);
    TypeText(w->box(MainBox::Artist), QStringLiteral("!"));
    w->okButton()->click();
    QVERIFY(!w->isVisible());
    QCOMPARE(tag.fields[1].tansi, std::string("Band!"));
    QVERIFY(closedAccepted);
    QVERIFY(closedWriteTag);
    // Removing every field: nothing left to write.
    open();
    for (FieldListKind k : {FieldListKind::kText, FieldListKind::kPicture})
      while (w->removeButton(k)->isEnabled()) w->removeButton(k)->click();
    for (uint32_t i = 0; i < tag.fields.size(); ++i)
      if (!(tag.fields[i].akcija & kFieldRemoved)) tag.fields[i].akcija = kFieldRemoved;  // the box fields
    w->okButton()->click();
    QVERIFY(!closedWriteTag);
  }

  // More fields than the editor counts: it says so and does not open.
  void tooManyFieldsAreRefused() {
    while (tag.fields.size() <= kEditorMaxFields) tag.fields.push_back(tag.fields[1]);
    w->openFor("/music/a.mp3", true);
    QVERIFY(!w->isVisible());
    QCOMPARE(shown.size(), size_t{1});
    QCOMPARE(shown[0].text, std::string("The tag has more fields than the editor can show (65,535)."));
    QCOMPARE(tag.fields.size(), kEditorMaxFields + 1);
  }

  // A session hidden with its window goes on; closing the tag windows ends it.
  void aHiddenSessionContinuesAndCancels() {
    open();
    w->box(MainBox::Title)->end(false);
    TypeText(w->box(MainBox::Title), QStringLiteral("+"));
    w->hide();
    w->openFor("/music/a.mp3", true);
    QVERIFY(w->isVisible());
    QCOMPARE(w->box(MainBox::Title)->text(), QStringLiteral("First+"));
    w->hide();
    w->cancelAndClose();
    QCOMPARE(closedCount, 1);
    QCOMPARE(tag.fields[0].tansi, std::string("First"));
    QVERIFY(!w->model().isOpen());
  }

  void enterMovesToTheNextBox() {
    open();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QLineEdit* title = w->box(MainBox::Title);
    title->setFocus();
    QTest::keyClick(title, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), w->box(MainBox::Artist));
    w->box(MainBox::Comment)->setFocus();
    QTest::keyClick(w->box(MainBox::Comment), Qt::Key_Enter);
    QCOMPARE(QApplication::focusWidget(), w->commentLanguageBox());
    QTest::keyClick(w->commentLanguageBox(), Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), w->box(MainBox::Year));
    QTest::keyClick(w->box(MainBox::Year), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), w->commentLanguageBox());
    QVERIFY(w->isVisible());  // Enter in a box is not OK
  }

  void enterOnAnyControlIsNotOk() {
    open();
    const std::vector<Id3v2Field> before = tag.fields;
    for (QPushButton* b : w->findChildren<QPushButton*>())
      QVERIFY2(!b->isDefault() && !b->autoDefault(), qPrintable(b->accessibleName()));
    for (QWidget* control : std::initializer_list<QWidget*>{w->versionList(), w->minorBox(), w->unsyncBox(),
                                                            w->list(FieldListKind::kText), w->okButton()}) {
      control->setFocus();
      QTest::keyClick(control, Qt::Key_Return);
      QVERIFY2(w->isVisible(), qPrintable(control->accessibleName()));
    }
    QCOMPARE(closedCount, 0);
    QCOMPARE(tag.tagversion.major, 3u);
    QCOMPARE(tag.fields.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
      QCOMPARE(tag.fields[i].tansi, before[i].tansi);
      QCOMPARE(tag.fields[i].akcija, before[i].akcija);
    }
  }

  void pictureMenuOpensOnceWithAllItsEntries() {
    open();
    QComboBox* pictures = w->list(FieldListKind::kPicture);
    pictures->setCurrentIndex(0);
    shown.clear();
    QList<QStringList> menus;
    QTimer watch;
    watch.setInterval(0);
    connect(&watch, &QTimer::timeout, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu == nullptr) return;
      QStringList entries;
      for (QAction* a : menu->actions())
        if (!a->isSeparator()) entries << a->text();
      menus << entries;
      menu->setActiveAction(menu->actions().at(0));
      QTest::keyClick(menu, Qt::Key_Return);
    });
    watch.start();
    emit pictures->customContextMenuRequested(QPoint(2, 2));
    watch.stop();
    QCOMPARE(menus.size(), 1);
    QCOMPARE(menus.front(), QStringList({QStringLiteral("Content description"),
                                         QStringLiteral("View using &internal viewer"),
                                         QStringLiteral("View using e&xternal (system) viewer"),
                                         QStringLiteral("View &original content (when edited)"),
                                         QStringLiteral("Extended information")}));
    // Its first entry shows the picture's description.
    QCOMPARE(shown.size(), size_t{1});
    QCOMPARE(shown.back().caption, std::string("PICTURE: ") + PictureTypeName(3));
  }

  void failedReloadKeepsWhatCancelPutsBack() {
    Id3v2EditorHooks hooks;
    hooks.message = [this](const std::string& t, int k, const std::string& c) { shown.push_back({t, k, c}); };
    // The source can no longer be read: the reload leaves no fields.
    hooks.reloadTag = [this] {
      ResetId3v2State(tag);
      return false;
    };
    w = std::make_unique<Id3v2EditorWindow>(tag, options, hooks);
    open();
    const std::vector<Id3v2Field> before = tag.fields;
    QLineEdit* title = w->box(MainBox::Title);
    title->end(false);
    TypeText(title, QStringLiteral("!"));
    w->reloadButton()->click();
    QVERIFY(w->isVisible());
    QCOMPARE(title->text(), QString());
    w->cancelButton()->click();
    QVERIFY(!w->isVisible());
    QCOMPARE(tag.fields.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) QCOMPARE(tag.fields[i].tansi, before[i].tansi);
  }

  void showDialogBoxesFollowEachOther() {
    QTemporaryDir home;
    MainWindow main;
    main.context().settingsFolder = home.path().toStdString() + "/";
    Options& o = main.context().options;
    o.tagFlags &= static_cast<uint8_t>(~kTagFlagEditorInstructions);
    main.show();
    const char* data = std::getenv("QUORVEL_TEST_DATA");
    main.openFile(std::string(data != nullptr ? data : "tests/data") + "/tagged-v23-v1.mp3");
    QVERIFY(main.context().doc.loaded);
    main.openId3v1Editor();
    main.openId3v2Editor();
    QVERIFY(main.id3v1Editor() != nullptr && main.id3v2Editor() != nullptr);
    QCheckBox* v1 = main.id3v1Editor()->showDialogBox();
    QCheckBox* v2 = main.id3v2Editor()->showDialogBox();
    QCOMPARE(v1->isChecked(), v2->isChecked());
    for (QCheckBox* from : {v2, v2, v1, v1}) {
      from->click();
      const bool on = from->isChecked();
      QCOMPARE((o.volumeChannelAndTagSwitches & kTagSwitchShowTransferDialog) != 0, on);
      QCOMPARE(v1->isChecked(), on);
      QCOMPARE(v2->isChecked(), on);
    }
    main.context().doc.unsavedChanges = false;
  }

  void versionChangeAsksAndRelabels() {
    open();
    // 2.2 has no code for the encoding time: No keeps 2.3.
    answer = kAnswerNo;
    emit w->versionList()->activated(0);
    QCOMPARE(questions.size(), size_t{1});
    QCOMPARE(questions[0], std::string("There is a field in your tag not in use in id3v2.2 standard.\r\n\r\nRemove the "
                                       "field? Choose NO to cancel version change.\r\n\r\n(note: the field is "
                                       "restored when you switch back to id3v2.3)"));
    QCOMPARE(w->versionList()->currentText(), QStringLiteral(" ID3v2.3"));
    QCOMPARE(tag.tagversion.major, uint8_t{3});
    answer = kAnswerYes;
    w->versionList()->setCurrentIndex(0);
    emit w->versionList()->activated(0);
    QCOMPARE(tag.tagversion.major, uint8_t{2});
    QCOMPARE(items(w->list(FieldListKind::kText)), QStringList({"Title (DUPLICATE) (TT2)"}));
    // Back up: the field returns.
    w->versionList()->setCurrentIndex(1);
    emit w->versionList()->activated(1);
    QCOMPARE(items(w->list(FieldListKind::kText)),
             QStringList({"Title (DUPLICATE) (TIT2)", "Encoding time (TDEN)"}));
    // " other" cannot be chosen.
    w->versionList()->setCurrentIndex(3);
    emit w->versionList()->activated(3);
    QCOMPARE(shown.back().text, std::string("You can't change to \"other\"."));
    QCOMPARE(w->versionList()->currentText(), QStringLiteral(" ID3v2.3"));
    w->minorBox()->setValue(7);
    QCOMPARE(tag.tagversion.minor, uint8_t{7});
  }

  void paddingAndFooterExcludeEachOther() {
    open();
    QLineEdit* padding = w->paddingBox();
    padding->selectAll();
    padding->insert(QStringLiteral("16777217"));  // pasted: one change
    QVERIFY(padding->styleSheet().contains(QStringLiteral("rgb(255, 0, 0)")));
    QCOMPARE(tag.padding, 64u);
    padding->selectAll();
    QTest::keyClicks(padding, QStringLiteral(" 100"));
    QVERIFY(padding->styleSheet().isEmpty());
    QCOMPARE(tag.padding, 100u);
    w->footerBox()->click();
    QVERIFY(tag.footer);
    QCOMPARE(tag.padding, 0u);
    QCOMPARE(padding->text(), QStringLiteral("0"));
    QCOMPARE(shown.back().text, std::string("Padding and footer are mutually exclusive.\r\nSetting padding to zero."));
    w->footerBox()->click();
    QCOMPARE(padding->text(), QStringLiteral("100"));
    // A padding above 0 unchecks the footer.
    w->footerBox()->click();
    padding->selectAll();
    QTest::keyClicks(padding, QStringLiteral("5"));
    QVERIFY(!w->footerBox()->isChecked());
    QCOMPARE(shown.back().text, std::string("Padding and footer are mutually exclusive.\r\nUnchecking the footer."));
    // The switches go into the tag state.
    w->unsyncBox()->click();
    w->experimentalBox()->click();
    w->extendedHeaderBox()->click();
    QVERIFY(tag.unsync && tag.experimental && tag.exthead);
    // OK with a footer below 2.4 asks first; No stays in the editor.
    w->footerBox()->click();
    answer = kAnswerNo;
    w->okButton()->click();
    QVERIFY(w->isVisible());
    QVERIFY(questions.back().rfind("ID3v2 footer is not compatible with ID3v2.3\r\nstandard.", 0) == 0);
    answer = kAnswerYes;
    w->okButton()->click();
    QVERIFY(!w->isVisible());
  }

  void duplicatesAreRemovedTogether() {
    open();
    w->duplicatesButton()->click();
    QVERIFY(tag.fields[2].akcija & kFieldRemoved);
    QVERIFY(!(tag.fields[0].akcija & kFieldRemoved));
    QCOMPARE(items(w->list(FieldListKind::kText)), QStringList({"Encoding time (TDEN)"}));
    QVERIFY(!w->duplicatesButton()->isEnabled());
  }

  void addingAndRemovingFields() {
    open();
    // A text field: the candidates, then the one chosen, selected.
    QComboBox* text = w->list(FieldListKind::kText);
    w->addButton(FieldListKind::kText)->click();
    QVERIFY(w->adding(FieldListKind::kText));
    QCOMPARE(text->currentText(), QStringLiteral("- CHOOSE THE ITEM -"));
    QVERIFY(!w->addButton(FieldListKind::kMixed)->isEnabled());
    const QStringList candidates = items(text);
    QVERIFY(!candidates.contains(QStringLiteral("Title (TIT2)")));     // a main box, not repeatable
    QVERIFY(candidates.contains(QStringLiteral("Comment (COMM)")));   // repeatable
    QVERIFY(!candidates.contains(QStringLiteral("Encoding time (TDEN)")));  // taken
    const int row = static_cast<int>(candidates.indexOf(QStringLiteral("Lyricist (TEXT)")));
    QVERIFY(row >= 0);
    const size_t count = tag.fields.size();
    w->choose(FieldListKind::kText, row);
    QVERIFY(!w->adding(FieldListKind::kText));
    QCOMPARE(tag.fields.size(), count + 1);
    QCOMPARE(text->currentText(), QStringLiteral("Lyricist (TEXT)"));
    QCOMPARE(w->otherTextField(), int64_t(count));
    TypeText(w->otherTextBox(), QStringLiteral("Words"));
    QCOMPARE(tag.fields.back().tansi, std::string("Words"));
    w->removeButton(FieldListKind::kText)->click();
    QCOMPARE(tag.fields.back().akcija, kFieldRemoved);
    QVERIFY(!items(text).contains(QStringLiteral("Lyricist (TEXT)")));
    // A version change meanwhile ends the choice (the rows are entries again).
    w->addButton(FieldListKind::kText)->click();
    w->versionList()->setCurrentIndex(2);
    emit w->versionList()->activated(2);
    QVERIFY(!w->adding(FieldListKind::kText));
    QCOMPARE(items(text), QStringList({"Title (DUPLICATE) (TIT2)", "Encoding time (TDEN)"}));
    w->versionList()->setCurrentIndex(1);
    emit w->versionList()->activated(1);
    // Leaving the candidates puts the list back.
    w->addButton(FieldListKind::kText)->click();
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QVERIFY(!w->adding(FieldListKind::kText));
    QVERIFY(w->isVisible());
    QCOMPARE(items(text), QStringList({"Title (DUPLICATE) (TIT2)", "Encoding time (TDEN)"}));

    // A picture: its types, without the taken icons; a load that does not
    // complete takes the new picture out again.
    w->addButton(FieldListKind::kPicture)->click();
    QStringList types = items(w->list(FieldListKind::kPicture));
    QCOMPARE(types.first(), QString::fromUtf8(PictureTypeName(1)));
    QCOMPARE(types.at(types.size() - 2), QString::fromUtf8(PictureTypeName(0)));
    QCOMPARE(types.last(), QStringLiteral("- CHOOSE THE ITEM -"));
    loadAnswer = false;
    w->choose(FieldListKind::kPicture, 3);  // type 4
    QCOMPARE(loaded.size(), size_t{1});
    QCOMPARE(items(w->list(FieldListKind::kPicture)), QStringList({QString::fromUtf8(PictureTypeName(3))}));
    // A mixed field that loads is listed and selected.
    loadAnswer = true;
    w->addButton(FieldListKind::kMixed)->click();
    w->choose(FieldListKind::kMixed, 0);
    QCOMPARE(loaded.size(), size_t{2});
    QCOMPARE(w->list(FieldListKind::kMixed)->count(), 1);
    QVERIFY(w->list(FieldListKind::kMixed)->isEnabled());
    QVERIFY(w->removeButton(FieldListKind::kMixed)->isEnabled());
    // Cancel brings everything back.
    w->cancelButton()->click();
    QCOMPARE(tag.fields.size(), count);
  }

  void multiLineWindowKeepsLineBreaks() {
    open();
    QVERIFY(!w->otherLinesButton()->isEnabled());  // a title has no lines
    w->commentLinesButton()->click();
    MultiLineWindow* m = w->multiLineWindow();
    QVERIFY(m != nullptr);
    QVERIFY(m->isVisible());
    QCOMPARE(m->windowTitle(), QStringLiteral("multiple lines input: COMMENT"));
    QCOMPARE(m->textArea()->toolTip(), QStringLiteral("Type text here. New lines are allowed."));
    QCOMPARE(m->originalButton()->toolTip(), QStringLiteral("Reload original content"));
    QCOMPARE(m->textArea()->toPlainText(), QStringLiteral("note"));
    m->textArea()->setPlainText(QStringLiteral("line one\nline two \u263A"));
    m->okButton()->click();
    QVERIFY(!m->isVisible());
    QCOMPARE(tag.fields[3].tansi, std::string("line one\nline two \xE2\x98\xBA"));
    QCOMPARE(tag.fields[3].enc, kEncUtf16Bom);  // 2.3 has no encoding 2
    QCOMPARE(tag.fields[3].akcija, kFieldEditedMultiLine);
    QCOMPARE(w->box(MainBox::Comment)->text(), QStringLiteral("line one\u21B5line two \u263A"));

    // Leaving with a change asks: Esc goes back, No drops the change.
    w->commentLinesButton()->click();
    QCOMPARE(m->textArea()->toPlainText(), QStringLiteral("line one\nline two \u263A"));
    m->originalButton()->click();
    QCOMPARE(m->textArea()->toPlainText(), QStringLiteral("note"));
    answer = kAnswerEscape;
    QTest::keyClick(m, Qt::Key_Escape);
    QVERIFY(m->isVisible());
    QCOMPARE(questions.back(), std::string("Save the changes?\r\nPress Esc key to return (cancel)."));
    answer = kAnswerNo;
    m->close();
    QVERIFY(!m->isVisible());
    QCOMPARE(tag.fields[3].tansi, std::string("line one\nline two \xE2\x98\xBA"));
    // Yes keeps it.
    w->commentLinesButton()->click();
    m->originalButton()->click();
    answer = kAnswerYes;
    QTest::keyClick(m, Qt::Key_Escape);
    QVERIFY(!m->isVisible());
    QCOMPARE(tag.fields[3].tansi, std::string("note"));
    QCOMPARE(tag.fields[3].enc, kEncLatin1);

    // The editor's Cancel takes it all back.
    w->cancelButton()->click();
    QCOMPARE(tag.fields[3].tansi, std::string("note"));
    QCOMPARE(tag.fields[3].akcija, uint8_t{0});
  }

  void loadFromFileGoesThroughTheHook() {
    std::vector<uint32_t> asked;
    Id3v2EditorHooks hooks;
    hooks.loadTextField = [&](uint32_t field) {
      asked.push_back(field);
      tag.fields[field].tansi = "from a file";
      tag.fields[field].akcija = kFieldEdited;
      return true;
    };
    w = std::make_unique<Id3v2EditorWindow>(tag, options, hooks);
    options.tagFlags &= static_cast<uint8_t>(~kTagFlagEditorInstructions);
    open();
    QVERIFY(w->loadTextButton()->isEnabled());
    w->list(FieldListKind::kText)->setCurrentIndex(1);
    emit w->list(FieldListKind::kText)->activated(1);
    QCOMPARE(w->otherTextBox()->text(), QStringLiteral("2001"));
    w->loadTextButton()->click();
    QCOMPARE(asked, std::vector<uint32_t>{4});
    QCOMPARE(w->otherTextBox()->text(), QStringLiteral("from a file"));
    // No text field listed: nothing to load.
    w->duplicatesButton()->click();
    w->removeButton(FieldListKind::kText)->click();
    QVERIFY(!w->loadTextButton()->isEnabled());
    QCOMPARE(w->otherTextBox()->text(), QStringLiteral(" no item to edit"));
    w->cancelButton()->click();
  }

  void encodingDialogDetectsAndForces() {
    std::vector<Shown> messages;
    EncodingDialog d(options, [&](const std::string& t, int k, const std::string& c) { messages.push_back({t, k, c}); });
    const std::vector<uint8_t> le = {0x41, 0x00, 0xE9, 0x00, 0x42, 0x00};  // UTF-16LE without mark
    TextLoadDialogSetup setup;
    setup.encodingEnabled = setup.languageEnabled = setup.descriptionEnabled = true;
    setup.data = le;
    d.prepare(setup, QStringLiteral("Comment"));
    QCOMPARE(d.windowTitle(), QStringLiteral("Comment"));
    QCOMPARE(d.titleLabel()->text(), QStringLiteral("enter additional text field description"));
    QCOMPARE(items(d.encodingList()), QStringList({"ISO-8859-1 (Latin)", "UTF-16 with BOM", "UTF-16-BE", "UTF-8",
                                                   "UTF-16-LE", "Autodetect"}));
    QCOMPARE(d.encodingList()->currentText(), QStringLiteral("Autodetect"));
    QCOMPARE(d.detectionLine()->text(), QStringLiteral("detected: UTF-16LE"));
    QCOMPARE(d.detectionLine()->toolTip(),
             QStringLiteral("not a valid utf-8\neven file length in bytes\nmore LE than BE sequences"));
    QCOMPARE(d.preview()->toPlainText(), QStringLiteral("A\u00e9B"));
    QCOMPARE(items(d.descriptionList()), QStringList({"Enter in the textbox above", "Use 1st line from the file",
                                                      "Use 1st zero separated string"}));
    QCOMPARE(d.descriptionBox()->toolTip(), QStringLiteral("Type up to 1K of text here"));
    QCOMPARE(d.descriptionBox()->maxLength(), 1024);
    QCOMPARE(d.languageBox()->text(), QStringLiteral("eng"));
    QCOMPARE(d.languageBox()->toolTip(), QStringLiteral("Type 3 English letters here"));
    QCOMPARE(d.rememberBox()->toolTip(), QStringLiteral("Use them next time"));
    QVERIFY(!d.rememberBox()->isChecked());
    // Forcing an encoding names it and drops the reason.
    d.encodingList()->setCurrentIndex(0);
    emit d.encodingList()->activated(0);
    QCOMPARE(d.detectionLine()->text(), QStringLiteral("Forced: ISO-88590-1 (Latin)"));
    QVERIFY(d.detectionLine()->toolTip().isEmpty());
    QCOMPARE(d.preview()->toPlainText(), QStringLiteral("A"));  // ends at the first NUL
    d.helpButton()->click();
    QCOMPARE(messages.size(), size_t{1});
    QCOMPARE(messages[0].caption, std::string("encoding"));
    QCOMPARE(messages[0].kind, 256);
    QVERIFY(messages[0].text.rfind("Choose the input file encoding.\r\n\r\n", 0) == 0);
    // Remembered settings come back next time.
    d.descriptionList()->setCurrentIndex(1);
    d.descriptionBox()->setText(QStringLiteral("desc"));
    d.languageBox()->setText(QStringLiteral("deu"));
    d.rememberBox()->setChecked(true);
    const TextLoadDialogAnswer a = d.answer();
    QCOMPARE(a.encodingChoice, 0);
    QCOMPARE(a.descriptionChoice, 1);
    QCOMPARE(a.language, std::string("deu"));
    QCOMPARE(a.description, std::string("desc"));
    d.done(QDialog::Accepted);
    setup.encodingEnabled = false;
    d.prepare(setup, QStringLiteral("Comment"));
    QCOMPARE(d.encodingList()->currentIndex(), 0);
    QVERIFY(!d.encodingList()->isEnabled());
    QCOMPARE(d.descriptionList()->currentIndex(), 1);
    QCOMPARE(d.descriptionBox()->text(), QStringLiteral("desc"));
    QCOMPARE(d.languageBox()->text(), QStringLiteral("deu"));
  }

  void contentDescriptionModeAndOriginalContent() {
    open();
    // The URL box without a field: asked, added, then it edits the description.
    QVERIFY(w->enterDescriptionMode(static_cast<int>(MainBox::Url)));
    QCOMPARE(questions.back(), std::string("Content description:\r\n- the field doesn't exist -\r\n\r\nADD IT?"));
    QLineEdit* url = w->box(MainBox::Url);
    QCOMPARE(url->toolTip(), QStringLiteral("Right-click or tab out (shift focus)\nwhen finished with \"content description\""));
    QVERIFY(!url->styleSheet().isEmpty());
    TypeText(url, QStringLiteral("home page"));
    const Id3v2Field& added = tag.fields.back();
    QCOMPARE(std::string(Id3v2Code(added.ind, 3)), std::string("WXXX"));
    QCOMPARE(added.tcont, std::string("home page"));
    QCOMPARE(added.tansi, std::string());
    w->leaveDescriptionMode();
    QCOMPARE(url->text(), QString());
    QVERIFY(url->styleSheet().isEmpty());
    TypeText(url, QStringLiteral("http://example.org"));
    QCOMPARE(tag.fields.back().tansi, std::string("http://example.org"));
    QCOMPARE(tag.fields.back().tcont, std::string("home page"));
    // A comment with a description: No keeps the main text.
    tag.fields[3].tcont = "short";
    answer = kAnswerNo;
    QVERIFY(!w->enterDescriptionMode(static_cast<int>(MainBox::Comment)));
    QCOMPARE(questions.back(), std::string("Content description:\r\nshort\r\n\r\nEDIT?"));
    QCOMPARE(w->descriptionBox(), -1);
    QVERIFY(!w->enterDescriptionMode(static_cast<int>(MainBox::Title)));  // a title has no description

    // "Reload original content": a read field goes back; an added one cannot.
    w->box(MainBox::Title)->end(false);
    TypeText(w->box(MainBox::Title), QStringLiteral(" edit"));
    QCOMPARE(tag.fields[0].akcija, kFieldEdited);
    w->reloadOriginal(static_cast<int>(MainBox::Title));
    QCOMPARE(w->box(MainBox::Title)->text(), QStringLiteral("First"));
    QCOMPARE(tag.fields[0].akcija, uint8_t{0});
    w->reloadOriginal(static_cast<int>(MainBox::Url));
    QCOMPARE(shown.back().text, std::string("The field doesn't exist in the original tag."));

    // A picture's description is only shown.
    w->showPictureDescription();
    QCOMPARE(shown.back().text, std::string("- the field is empty -"));
    QCOMPARE(shown.back().caption, std::string("PICTURE: ") + PictureTypeName(3));
    QCOMPARE(shown.back().kind, 2);

    // The other-text box edits the description of a field that has one.
    w->cancelButton()->click();
    const uint32_t txxx = addRead(FindId3v2Code("TXXX", 3), "value");
    open();
    QComboBox* text = w->list(FieldListKind::kText);
    const int row = static_cast<int>(items(text).indexOf(QStringLiteral("User-defined text information frame (TXXX)")));
    QVERIFY2(row >= 0, qPrintable(items(text).join(QLatin1Char('|'))));
    text->setCurrentIndex(row);
    emit text->activated(row);
    answer = kAnswerYes;
    QVERIFY(w->enterDescriptionMode(Id3v2EditorWindow::kOtherTextBox));
    QCOMPARE(questions.back(), std::string("Content description:\r\n- the field is empty -\r\nADD IT?"));
    w->otherTextBox()->selectAll();
    TypeText(w->otherTextBox(), QStringLiteral("key"));
    QCOMPARE(tag.fields[txxx].tcont, std::string("key"));
    QCOMPARE(tag.fields[txxx].tansi, std::string("value"));
    text->setCurrentIndex(0);
    emit text->activated(0);  // another entry: back to main texts
    QCOMPARE(w->descriptionBox(), -1);
    QCOMPARE(w->otherTextBox()->text(), QStringLiteral("Second"));

    w->cancelButton()->click();
    QCOMPARE(tag.fields.size(), size_t{7});
    QCOMPARE(tag.fields[txxx].tcont, std::string());
  }

  void scanFillsAndHighlights() {
    options.volumeChannelAndTagSwitches = kTagSwitchFolderAsAlbum | kTagSwitchSplitFolder;
    open("/music/Band - Album/Artist - Name.MP3");
    w->scanButton()->click();
    QCOMPARE(w->box(MainBox::Title)->text(), QStringLiteral("Name"));
    QCOMPARE(w->box(MainBox::Artist)->text(), QStringLiteral("Artist"));
    QCOMPARE(w->box(MainBox::Album)->text(), QStringLiteral("Album"));
    QCOMPARE(tag.fields[0].tansi, std::string("Name"));
    QVERIFY(w->highlighting());
    QCOMPARE(w->highlightTimer()->interval(), 251);
    QVERIFY(w->box(MainBox::Title)->styleSheet().contains(QStringLiteral("rgb(128, 0, 0)")));
    QVERIFY(w->box(MainBox::Year)->styleSheet().isEmpty());
    w->highlightExpired();  // what the timer calls after 251 ms
    QVERIFY(w->box(MainBox::Title)->styleSheet().isEmpty());
  }

  void busyMakesTheEditorReadOnly() {
    open();
    w->setBusy(true);
    QVERIFY(!w->box(MainBox::Title)->isEnabled());
    QVERIFY(!w->okButton()->isEnabled());
    QVERIFY(!w->cancelButton()->isEnabled());
    QVERIFY(!w->list(FieldListKind::kText)->isEnabled());
    QVERIFY(!w->removeButton(FieldListKind::kText)->isEnabled());
    QVERIFY(!w->versionList()->isEnabled());
    QVERIFY(!w->paddingBox()->isEnabled());
    // Neither Esc nor closing the window puts the state back meanwhile.
    TypeText(w->box(MainBox::Title), QStringLiteral("x"));
    QTest::keyClick(w.get(), Qt::Key_Escape);
    w->close();
    QVERIFY(w->isVisible());
    QCOMPARE(closedCount, 0);
    w->setBusy(false);
    QVERIFY(w->box(MainBox::Title)->isEnabled());
    QVERIFY(w->removeButton(FieldListKind::kText)->isEnabled());
    QVERIFY(!w->removeButton(FieldListKind::kMixed)->isEnabled());  // nothing listed there
    QVERIFY(!w->otherLanguageBox()->isEnabled());                   // "n/a"
    w->close();
    QVERIFY(!w->isVisible());
    QCOMPARE(closedCount, 1);
    // A save after the editor closed: nothing left to draw, nothing breaks.
    w->setBusy(true);
    w->setBusy(false);
    QVERIFY(!w->isVisible());
    open();
    QVERIFY(w->box(MainBox::Title)->isEnabled());
    QCOMPARE(w->otherTextBox()->text(), QStringLiteral("Second"));
  }

  // From the main window: the viewer button after the "ID3v&2 tag" box, by keys.
  // The tag data transfer between the two editors: without the dialog all
  // seven fields go with overwrite; with it only the chosen ones. The target
  // editor opens, takes the fields, highlights them, and nothing reaches its
  // tag before its OK.
  void transferBetweenTheEditors() {
    QTemporaryDir home;
    MainWindow main;
    main.context().settingsFolder = home.path().toStdString() + "/";
    Options& o = main.context().options;
    o.tagFlags &= static_cast<uint8_t>(~kTagFlagEditorInstructions);
    o.volumeChannelAndTagSwitches &= static_cast<uint8_t>(~kTagSwitchShowTransferDialog);
    main.show();
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    const char* data = std::getenv("QUORVEL_TEST_DATA");
    main.openFile(std::string(data != nullptr ? data : "tests/data") + "/tagged-v23-v1.mp3");
    DocumentState& doc = main.context().doc;
    QVERIFY(doc.loaded);

    main.openId3v1Editor();
    Id3v1EditorWindow* v1 = main.id3v1Editor();
    QVERIFY(v1 != nullptr);
    Id3v1Editor& m1 = v1->model();
    m1.SetVersion(true);
    m1.SetText(Id3v1EditorField::kTitle, "Tone One");
    m1.SetText(Id3v1EditorField::kArtist, "Band");
    m1.SetText(Id3v1EditorField::kAlbum, "Album X");
    m1.SetText(Id3v1EditorField::kComment, "c1");
    m1.SetText(Id3v1EditorField::kYear, "1999");
    m1.SetText(Id3v1EditorField::kTrack, "7");
    m1.SetGenre(17);
    QVERIFY(main.id3v2Editor() == nullptr || !main.id3v2Editor()->isVisible());
    const std::vector<Id3v2Field> before = doc.id3v2.fields;
    v1->exportButton()->click();
    Id3v2EditorWindow* v2 = main.id3v2Editor();
    QVERIFY(v2 != nullptr && v2->isVisible());
    const std::vector<std::pair<MainBox, QString>> expected = {
        {MainBox::Title, "Tone One"}, {MainBox::Artist, "Band"}, {MainBox::Album, "Album X"},
        {MainBox::Comment, "c1"},     {MainBox::Year, "1999"},   {MainBox::Track, "7"},
        {MainBox::Genre, "Rock"}};
    for (const auto& [box, text] : expected) QCOMPARE(v2->box(box)->text(), text);
    QVERIFY(v2->highlighting());
    // While the highlight runs the buttons do nothing.
    v2->exportButton()->click();
    QCOMPARE(m1.fields().title, std::string("Tone One"));
    v2->highlightExpired();
    // Cancel puts the tag back as it was: the transfer wrote nothing of its own.
    v2->cancelButton()->click();
    QCOMPARE(doc.id3v2.fields.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) QCOMPARE(doc.id3v2.fields[i].tansi, before[i].tansi);

    // The other way, through the dialog: only the title, into the ID3v1 editor.
    o.volumeChannelAndTagSwitches |= kTagSwitchShowTransferDialog;
    main.openId3v2Editor();
    v2->box(MainBox::Title)->selectAll();
    TypeText(v2->box(MainBox::Title), QStringLiteral("Z\u00fcrich"));
    v2->box(MainBox::Artist)->selectAll();
    TypeText(v2->box(MainBox::Artist), QStringLiteral("Nobody"));
    bool shown = false;
    QTimer::singleShot(0, [&] {
      auto* d = qobject_cast<TransferDialog*>(QApplication::activeModalWidget());
      if (d == nullptr) return;
      shown = true;
      QCOMPARE(d->direction(), TransferDirection::kV2ToV1);
      d->uncheckAllButton()->click();
      d->fieldBox(0)->click();
      d->okButton()->click();
    });
    v2->exportButton()->click();
    QVERIFY(shown);
    QVERIFY(v1->isVisible());
    QCOMPARE(m1.fields().title, std::string("Z\xC3\xBCrich"));
    QCOMPARE(m1.fields().artist, std::string("Band"));
    QCOMPARE(v1->box(Id3v1EditorField::kTitle)->text(), QStringLiteral("Z\u00fcrich"));
    QVERIFY(v1->highlighting());
    v1->highlightExpired();
    // The dialog's "show this dialog next time" reached both editors' boxes.
    QVERIFY(v1->showDialogBox()->isChecked());
    QVERIFY(v2->showDialogBox()->isChecked());
    v1->cancelButton()->click();
    v2->cancelButton()->click();
  }

  // A cover picture: "View current" shows it in the image window; "Load from
  // file" replaces it by a file the user picks; after OK and "Save as" mutagen
  // reads the new picture byte for byte.
  void pictureViewedAndReplacedFromAFile() {
    QTemporaryDir home;
    const char* data = std::getenv("QUORVEL_TEST_DATA");
    const QString source = home.path() + QStringLiteral("/cover.mp3");
    QVERIFY(QFile::copy(QString::fromUtf8(data != nullptr ? data : "tests/data") + QStringLiteral("/tagged-v23-v1.mp3"),
                        source));
    QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner);
    auto png = [](int w, int h, QColor colour) {
      QImage image(w, h, QImage::Format_RGB32);
      image.fill(colour);
      QByteArray bytes;
      QBuffer buffer(&bytes);
      buffer.open(QIODevice::WriteOnly);
      image.save(&buffer, "PNG");
      return bytes;
    };
    const QByteArray first = png(5, 3, Qt::red);
    const QByteArray second = png(7, 2, Qt::blue);
    const QString firstFile = home.path() + QStringLiteral("/first.png");
    const QString secondFile = home.path() + QStringLiteral("/second.png");
    for (const auto& [file, bytes] : {std::pair{firstFile, first}, std::pair{secondFile, second}}) {
      QFile f(file);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(bytes);
    }
    auto python = [](const QStringList& args) {
      QProcess p;
      p.start(QStringLiteral("/usr/bin/python3"), args);
      if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << p.readAllStandardError();
        return QByteArray();
      }
      return p.readAllStandardOutput();
    };
    const QString addCover = QStringLiteral(
        "import sys\nfrom mutagen.id3 import ID3, APIC\nt = ID3(sys.argv[1])\n"
        "t.add(APIC(encoding=0, mime='image/png', type=3, desc='', data=open(sys.argv[2], 'rb').read()))\n"
        "t.save(v2_version=3)\nprint('ok')\n");
    QCOMPARE(python({QStringLiteral("-c"), addCover, source, firstFile}).trimmed(), QByteArray("ok"));

    MainWindow main;
    main.context().settingsFolder = home.path().toStdString() + "/settings/";
    QDir().mkpath(home.path() + QStringLiteral("/settings"));
    Options& o = main.context().options;
    o.tagFlags &= static_cast<uint8_t>(~kTagFlagEditorInstructions);
    o.displayFlags |= kPicturesInInternalViewer;
    o.lastSaveFolder = home.path().toStdString();
    main.show();
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    main.openFile(source.toStdString());
    QVERIFY(main.context().doc.loaded);
    main.openId3v2Editor();
    Id3v2EditorWindow* editor = main.id3v2Editor();
    QVERIFY(editor != nullptr);
    QCOMPARE(editor->model().pictureList().size(), size_t{1});
    // Each list's group has an accelerator that takes the focus to the list.
    QApplication::setActiveWindow(editor);
    QCoreApplication::processEvents();
    for (auto [key, kind] : {std::pair{Qt::Key_P, FieldListKind::kPicture}, std::pair{Qt::Key_X, FieldListKind::kText},
                             std::pair{Qt::Key_M, FieldListKind::kMixed}, std::pair{Qt::Key_B, FieldListKind::kBinary}}) {
      if (!editor->list(kind)->isEnabled()) continue;  // an empty list: its group's next control
      QTest::keyClick(editor, key, Qt::AltModifier);
      QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(editor->list(kind)));
    }
    QVERIFY(editor->list(FieldListKind::kPicture)->isEnabled());
    editor->list(FieldListKind::kPicture)->setCurrentIndex(0);
    QVERIFY(editor->viewButton(FieldListKind::kPicture)->isEnabled());
    editor->viewButton(FieldListKind::kPicture)->click();
    QVERIFY(main.imageWindow() != nullptr);
    QVERIFY(main.imageWindow()->isVisible());
    QCOMPARE(main.imageWindow()->image().size(), QSize(5, 3));

    bool picked = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      picked = dialog->windowTitle() == QStringLiteral("Choose the picture file");
      dialog->selectFile(secondFile);
      static_cast<QDialog*>(dialog)->accept();
    });
    editor->loadButton(FieldListKind::kPicture)->click();
    QVERIFY(picked);
    editor->okButton()->click();

    const QString out = home.path() + QStringLiteral("/out.mp3");
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      dialog->selectFile(out);
      static_cast<QDialog*>(dialog)->accept();
    });
    main.action(Command::kSaveAs)->trigger();
    QVERIFY(QFile::exists(out));
    const QString readCover = QStringLiteral(
        "import sys\nfrom mutagen.id3 import ID3\nsys.stdout.buffer.write(ID3(sys.argv[1]).getall('APIC')[0].data)\n");
    QCOMPARE(python({QStringLiteral("-c"), readCover, out}), second);
    main.context().doc.unsavedChanges = false;
  }

  void openedFromTheMainWindowByKeys() {
    QTemporaryDir home;
    MainWindow main;
    main.context().settingsFolder = home.path().toStdString() + "/";
    main.context().options.tagFlags &= static_cast<uint8_t>(~kTagFlagEditorInstructions);
    main.show();
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    const char* data = std::getenv("QUORVEL_TEST_DATA");
    main.openFile(std::string(data != nullptr ? data : "tests/data") + "/tagged-v23-v1.mp3");
    DocumentState& doc = main.context().doc;
    QVERIFY(doc.loaded);
    QCheckBox* v2 = nullptr;
    for (QCheckBox* c : main.findChildren<QCheckBox*>())
      if (c->text() == QStringLiteral("ID3v&2 tag")) v2 = c;
    QVERIFY(v2 != nullptr);
    QPushButton* view = main.viewButton(1);
    QVERIFY(view != nullptr);
    QCOMPARE(view->toolTip(), QStringLiteral("Edit id3v2 tag"));
    QCOMPARE(view->accessibleName(), QStringLiteral("Edit id3v2 tag"));
    QCOMPARE(v2->nextInFocusChain(), static_cast<QWidget*>(view));
    // Alt+2 twice leaves the box as it was, with the focus on it.
    const bool was = v2->isChecked();
    QTest::keyClick(&main, Qt::Key_2, Qt::AltModifier);
    QTRY_COMPARE(v2->isChecked(), !was);
    QTest::keyClick(&main, Qt::Key_2, Qt::AltModifier);
    QTRY_COMPARE(v2->isChecked(), was);
    QCOMPARE(doc.boxes.id3v2.checked, was);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(v2));
    QTest::keyClick(v2, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(view));
    QTest::keyClick(view, Qt::Key_Space);
    Id3v2EditorWindow* editor = main.id3v2Editor();
    QVERIFY(editor != nullptr);
    QVERIFY(editor->isVisible());
    QCOMPARE(editor->box(MainBox::Title)->text(), QStringLiteral("Test Tone"));
    QCOMPARE(editor->box(MainBox::Artist)->text(), QStringLiteral("Quorvel Tests"));

    // An edit and OK change the document's tag.
    QLineEdit* title = editor->box(MainBox::Title);
    title->selectAll();
    TypeText(title, QStringLiteral("Caf\u00e9"));
    editor->okButton()->click();
    QVERIFY(!editor->isVisible());
    const int64_t titleField = [&] {
      for (uint32_t i = 0; i < doc.id3v2.fields.size(); ++i)
        if (doc.id3v2.fields[i].ind == 44) return int64_t(i);
      return int64_t(-1);
    }();
    QVERIFY(titleField >= 0);
    QCOMPARE(doc.id3v2.fields[titleField].tansi, std::string("Caf\xC3\xA9"));
    QVERIFY(doc.boxes.id3v2.enabled);
    QVERIFY(doc.unsavedChanges);

    // Opening again while open only brings it to the front; typing changes
    // the editor's copy, not the document; Cancel drops it.
    main.openId3v2Editor();
    main.openId3v2Editor();
    QVERIFY(editor->isVisible());
    editor->box(MainBox::Title)->end(false);
    TypeText(editor->box(MainBox::Title), QStringLiteral("!"));
    QCOMPARE(doc.id3v2.fields[titleField].tansi, std::string("Caf\xC3\xA9"));
    QVERIFY(TagEditsPending(main.context()));
    editor->cancelButton()->click();
    QCOMPARE(doc.id3v2.fields[titleField].tansi, std::string("Caf\xC3\xA9"));
    QVERIFY(!TagEditsPending(main.context()));

    // Busy: read-only; closing the tag windows closes it, keeping nothing.
    main.openId3v2Editor();
    main.desktopHost().setBusy(true);
    QVERIFY(!editor->box(MainBox::Title)->isEnabled());
    main.desktopHost().setBusy(false);
    QVERIFY(editor->box(MainBox::Title)->isEnabled());
    TypeText(editor->box(MainBox::Album), QStringLiteral("?"));
    EndTagSessions(main.context());
    QVERIFY(!editor->isVisible());
    for (const Id3v2Field& f : doc.id3v2.fields) QVERIFY(f.tansi.find('?') == std::string::npos);

    // Refused while a script runs.
    main.context().script.active = true;
    main.openId3v2Editor();
    QVERIFY(!editor->isVisible());
    main.context().script.active = false;
    doc.unsavedChanges = false;
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TagEditorsTest t;
  int status = QTest::qExec(&t, argc, argv);
  Id3v2EditorTest t2;
  status |= QTest::qExec(&t2, argc, argv);
  return status;
}

#include "tag_editors_test.moc"
