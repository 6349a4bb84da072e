// Renders the main window with a loaded file and each message window to PNG
// files: quorvel_screenshots OUTPUT_FOLDER MP3_FILE (run with QT_QPA_PLATFORM=offscreen).
#include <QAction>
#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "core/document_ops.h"
#include "core/host.h"
#include "ui/main_window.h"
#include "core/edit_dialogs.h"
#include "ui/encoding_dialog.h"
#include "ui/fade_dialog.h"
#include "ui/id3v1_editor_window.h"
#include "ui/id3v2_editor_window.h"
#include "ui/multiline_window.h"
#include "ui/silence_dialog.h"
#include "ui/image_window.h"
#include "ui/message_windows.h"
#include "ui/transfer_dialog.h"

using namespace quorvel;

namespace {

bool Save(QWidget* w, const QString& path) {
  QApplication::processEvents();
  bool ok = w->grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

// Runs `then` once a modal window is open, from inside its own event loop.
void WhenModal(std::function<void()> then) {
  auto* timer = new QTimer;
  timer->setInterval(0);
  QObject::connect(timer, &QTimer::timeout, [timer, then] {
    if (QApplication::activeModalWidget() == nullptr) return;
    timer->stop();
    timer->deleteLater();
    then();
  });
  timer->start();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: quorvel_screenshots OUTPUT_FOLDER MP3_FILE\n");
    return 2;
  }
  QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  MainWindow w;
  w.context().settingsFolder = QDir::tempPath().toStdString() + "/";
  w.show();
  w.openFile(argv[2]);
  DocumentState& doc = w.context().doc;
  if (!doc.loaded) return 1;
  doc.cursor = 30;
  doc.selectionEnd = 52;
  SetSelectionExists(doc, true);
  w.refreshAll();
  bool ok = Save(&w, out + QStringLiteral("/main-window.png"));

  w.findChild<QAction*>(QStringLiteral("legend"))->trigger();
  if (auto* legend = w.findChild<QDialog*>(QStringLiteral("TFrameLegendForm"))) {
    ok = Save(legend, out + QStringLiteral("/legend.png")) && ok;
    legend->close();
  }

  MessageWindow* m = w.messageWindow();
  struct Message {
    const char* text;
    int kind;
    const char* caption;
    const char* file;
  };
  const Message messages[] = {
      {"Frame position: 31\r\nOriginal position: 31\r\nBitrate: 96 kbps\r\nFrequency: 44.1 KHz\r\n"
       "Mode: JOINT STEREO\r\nAmplification flag: 170",
       kMsgInfo, "frame info", "/message-info.png"},
      {"You must leave at least one frame.", kMsgWarning, "delete", "/message-warning.png"},
      {"Error processing the file:\r\nInvalid format.\r\nProbably not a 32-48 KHz mp3 file.", kMsgError,
       "Quorvel", "/message-error.png"},
  };
  // Shown modally here so that each window is on the screen, active, while it is rendered.
  for (const Message& message : messages) {
    std::array<int32_t, 4> place{40, 40, 400, 200};
    uint8_t state = 0;
    MessageWindow one(MessageWindow::Type::kMessage, place, state);
    WhenModal([&] {
      ok = Save(&one, out + QString::fromUtf8(message.file)) && ok;
      one.positiveButton()->click();
    });
    one.showMessage(message.text, message.kind | kMsgModal, message.caption);
  }
  (void)m;

  MessageWindow* q = w.yesNoWindow();
  struct Question {
    const char* text;
    int kind;
    const char* caption;
    const char* file;
  };
  const Question questions[] = {
      {"  Save changes?  ", 258, "closing", "/question-yes-no.png"},
      {"Overwrite the existing file?", 4354, "the file exists", "/question-focus-no.png"},
      {"You chose very high amplification factor which may cause\r\nsound distortion (and, rarely, player "
       "malfunction too).\r\nIt is recommended that you check the results if you click OK.",
       4370, "amplify", "/question-ok-cancel.png"},
  };
  for (const Question& question : questions) {
    WhenModal([&] {
      ok = Save(q, out + QString::fromUtf8(question.file)) && ok;
      q->negativeButton()->click();
    });
    q->ask(question.text, question.kind, question.caption);
  }

  // The fade and silence dialogs, as they open for the selection above.
  {
    FadeDialog fade;
    fade.prepare(PrepareFadeDialog(w.context(), 30, 52));
    fade.show();
    ok = Save(&fade, out + QStringLiteral("/fade-dialog.png")) && ok;
    SilenceDialog silence;
    silence.prepare(PrepareSilenceDialog(w.context()));
    silence.show();
    ok = Save(&silence, out + QStringLiteral("/silence-dialog.png")) && ok;
  }

  // The tag windows.
  Id3v1State record;
  Options options;
  {
    Id3v1EditorWindow editor(record, options, {});
    editor.openFor("/music/Band - Album/Artist - Title.mp3", false);
    editor.model().SetText(Id3v1EditorField::kTitle, "Title");
    editor.model().SetText(Id3v1EditorField::kArtist, "Artist");
    editor.model().SetText(Id3v1EditorField::kAlbum, "Album");
    editor.model().SetText(Id3v1EditorField::kYear, "2026");
    editor.model().SetText(Id3v1EditorField::kComment, "a comment");
    editor.model().SetVersion(true);
    editor.model().SetText(Id3v1EditorField::kTrack, "7");
    editor.model().SetGenre(17);
    editor.fill(false);
    ok = Save(&editor, out + QStringLiteral("/id3v1-editor.png")) && ok;
    editor.model().Cancel();
  }
  {
    // The ID3v2 editor on the loaded file's tag, opened as the viewer button opens it.
    w.context().options.tagFlags &= static_cast<uint8_t>(~kTagFlagEditorInstructions);
    w.openId3v2Editor();
    if (Id3v2EditorWindow* editor = w.id3v2Editor()) {
      ok = Save(editor, out + QStringLiteral("/id3v2-editor.png")) && ok;
      editor->openMultiLine(true);
      if (MultiLineWindow* lines = editor->multiLineWindow()) {
        ok = Save(lines, out + QStringLiteral("/multiline-window.png")) && ok;
        lines->discard();
      }
      editor->cancelAndClose();
    } else {
      ok = false;
    }
  }
  {
    // The encoding dialog over a UTF-8 text file with a title line.
    const std::string text = "Song of the road\r\nFirst verse, \xC5\x81\xC3\xB3" "d\xC5\xBA\r\nSecond verse";
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    TextLoadDialogSetup setup;
    setup.encodingEnabled = setup.languageEnabled = setup.descriptionEnabled = true;
    setup.data = bytes;
    EncodingDialog encoding(options, {});
    encoding.prepare(setup, QStringLiteral("Unsychronised lyrics"));
    encoding.show();
    ok = Save(&encoding, out + QStringLiteral("/encoding-dialog.png")) && ok;
    encoding.hide();
  }
  {
    TransferDialog transfer({});
    transfer.prepare(TransferDirection::kV2ToV1, 383, 383);
    transfer.show();
    ok = Save(&transfer, out + QStringLiteral("/tag-transfer.png")) && ok;
  }
  {
    QImage cover(600, 600, QImage::Format_RGB32);
    QPainter painter(&cover);
    QLinearGradient gradient(0, 0, 600, 600);
    gradient.setColorAt(0, QColor(40, 60, 120));
    gradient.setColorAt(1, QColor(220, 150, 60));
    painter.fillRect(cover.rect(), gradient);
    painter.setPen(Qt::white);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 40));
    painter.drawText(cover.rect(), Qt::AlignCenter, QStringLiteral("Cover"));
    painter.end();
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    cover.save(&buffer, "JPEG");
    ImageWindow image;
    image.resize(420, 460);
    image.show();
    image.showPicture(jpeg, QStringLiteral("Cover (front)"), QStringLiteral("image/jpeg"));
    ok = Save(&image, out + QStringLiteral("/image-window.png")) && ok;
  }
  doc.unsavedChanges = false;
  return ok ? 0 : 1;
}
