// The fade and silence dialogs under the offscreen platform: captions, hints,
// the OK rules, the length box, the step buttons and their repetition (driven
// tick by tick, no sleeping), and what OK hands back.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "ui/fade_dialog.h"
#include "ui/silence_dialog.h"
#include "ui/volume_dialog.h"

using namespace quorvel;

namespace {

SilenceDialogState Silence(const char* length, int32_t preset) {
  SilenceDialogState s;
  s.presetCount = preset;
  s.lengthText = length;
  s.placementLabel = preset > 0 ? "SILENCE WILL REPLACE THE SELECTION" : "SILENCE WILL BE INSERTED";
  for (int kbps : {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}) {
    s.bitrateItems.push_back(std::to_string(kbps) + " kbps" + (kbps == 128 ? " (RECOMMENDED)" : " (makes file VBR)"));
  }
  s.bitrateSelected = 8;
  s.frequencyItems = {"32 KHz (makes mixed freq.)", "44.1 KHz (RECOMMENDED)", "48 KHz (makes mixed freq.)"};
  s.frequencySelected = 1;
  s.modeItems = {"stereo (makes variable stereo)", "joint stereo (RECOMMENDED)", "dual channel (makes variable stereo)",
                 "mono (makes variable stereo)"};
  s.modeSelected = 1;
  return s;
}

}  // namespace

class EditDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void fadeDialog() {
    FadeDialog d;
    QCOMPARE(d.windowTitle(), QStringLiteral("Fade In/Out"));
    QCOMPARE(d.slider()->toolTip(), QStringLiteral("Slide the trackbar left-right"));
    d.prepare({20, false});
    QCOMPARE(d.magnitudeLabel()->text(), QStringLiteral("Magnitude:  30 dB"));
    QVERIFY(d.fadeOutButton()->isChecked());
    QVERIFY(d.okButton()->isEnabled());
    QCOMPARE(d.okButton()->text(), QStringLiteral("O&K"));
    d.slider()->setValue(0);
    QVERIFY(!d.okButton()->isEnabled());
    d.slider()->setValue(3);
    QCOMPARE(d.magnitudeLabel()->text(), QStringLiteral("Magnitude:  4.5 dB"));

    // OK hands back the slider and the direction; Esc hands back nothing.
    QTimer::singleShot(0, &d, [&d] {
      d.slider()->setValue(7);
      d.fadeInButton()->setChecked(true);
      d.okButton()->click();
    });
    std::optional<FadeChoice> chosen = d.choose({20, false});
    QVERIFY(chosen.has_value());
    QCOMPARE(chosen->magnitude, 7);
    QVERIFY(chosen->fadeIn);
    QTimer::singleShot(0, &d, [&d] { QTest::keyClick(&d, Qt::Key_Escape); });
    QVERIFY(!d.choose({20, true}).has_value());
  }

  void silenceDialogCaptionsAndLists() {
    SilenceDialog d;
    QCOMPARE(d.windowTitle(), QStringLiteral("Add blank frames (silence)"));
    d.prepare(Silence("0", 0));
    QStringList labels;
    for (QLabel* l : d.findChildren<QLabel*>()) labels << l->text();
    QVERIFY(labels.contains(QStringLiteral("&Silence length [sec]:")));
    QVERIFY(labels.contains(QStringLiteral("Max. length is 256K frames")));
    QCOMPARE(d.placementLabel()->text(), QStringLiteral("SILENCE WILL BE INSERTED"));
    QCOMPARE(d.lengthBox()->toolTip(), QStringLiteral("Enter a numeric value"));
    QCOMPARE(d.lengthBox()->maxLength(), 8);
    QCOMPARE(d.stepButton(SilenceDialog::kFrameUp)->text(), QStringLiteral("\u25b4"));
    QCOMPARE(d.stepButton(SilenceDialog::kSecondDown)->toolTip(), QStringLiteral("Decrease by approximately 1s"));
    QCOMPARE(d.bitrateList()->currentText(), QStringLiteral("128 kbps (RECOMMENDED)"));
    QCOMPARE(d.frequencyList()->currentText(), QStringLiteral("44.1 KHz (RECOMMENDED)"));
    QCOMPARE(d.modeList()->toolTip(), QStringLiteral("Choose the silence stereo mode"));
    QCOMPARE(d.okButton()->text(), QStringLiteral("OK"));
    QVERIFY(!d.okButton()->isEnabled());  // a length of 0
  }

  void silenceLengthBox() {
    SilenceDialog d;
    d.prepare(Silence("0", 0));
    struct Case {
      const char* text;
      bool invalid;
      int32_t count;
    } cases[] = {
        {"2", false, 77},       // 2 / (1152 / 44100) = 76.56
        {"0.5", false, 19},     // 19.14
        {"abc", true, 0},
        {"-1", true, 0},
        {"", true, 0},
        {"1e9", false, 262144},  // limited, and the box rewritten
        {"99999999", false, 262144},
    };
    for (const auto& c : cases) {
      d.lengthBox()->setText(QString::fromUtf8(c.text));
      emit d.lengthBox()->textEdited(d.lengthBox()->text());
      QCOMPARE(d.lengthInvalid(), c.invalid);
      QCOMPARE(d.count(), c.count);
      QCOMPARE(d.okButton()->isEnabled(), !c.invalid && c.count > 0);
      QCOMPARE(d.lengthBox()->styleSheet().isEmpty(), !c.invalid);
      if (c.count == 262144) QCOMPARE(d.lengthBox()->text(), QStringLiteral("6847.843"));  // 262144 x 1152 / 44100
    }
    // Changing the frequency counts the same seconds again: 2 s at 48 kHz is 83.3 frames.
    d.lengthBox()->setText(QStringLiteral("2"));
    emit d.lengthBox()->textEdited(d.lengthBox()->text());
    d.frequencyList()->setCurrentIndex(2);
    QCOMPARE(d.count(), 83);
    std::optional<SilenceChoice> c = d.choice();
    QVERIFY(c.has_value());
    QCOMPARE(c->frequency, uint8_t{1});  // 48 kHz is frequency index 1
    QCOMPARE(c->bitrate, uint8_t{9});    // 128 kbps is bitrate index 9
    QCOMPARE(c->mode, uint8_t{1});
  }

  // An MPEG-2.5 document: lengths count frames of 576 samples at its frequencies.
  void silenceLengthsOfAnMpegTwoPointFiveDocument() {
    SilenceDialog d;
    SilenceDialogState state = Silence("0", 0);
    state.version = 0;  // MPEG-2.5
    state.frequencyItems = {"8 KHz (RECOMMENDED)", "11.025 KHz (makes mixed freq.)", "12 KHz (makes mixed freq.)"};
    state.frequencySelected = 0;
    d.prepare(state);
    emit d.stepButton(SilenceDialog::kFrameUp)->pressed();
    emit d.stepButton(SilenceDialog::kFrameUp)->released();
    QCOMPARE(d.lengthBox()->text(), QStringLiteral("0.072"));  // 576 / 8000 s
    d.lengthBox()->setText(QStringLiteral("2"));
    emit d.lengthBox()->textEdited(d.lengthBox()->text());
    QCOMPARE(d.count(), 28);  // 2 / 0.072 = 27.8
    d.frequencyList()->setCurrentIndex(2);
    QCOMPARE(d.count(), 42);  // 2 / 0.048 = 41.7
    QCOMPARE(d.choice()->frequency, uint8_t{1});  // 12 kHz is frequency index 1
  }

  void silenceStepsAndTheirRepetition() {
    SilenceDialog d;
    d.prepare(Silence("0", 0));
    QPushButton* frameUp = d.stepButton(SilenceDialog::kFrameUp);
    emit frameUp->pressed();
    QCOMPARE(d.count(), 1);
    QCOMPARE(d.lengthBox()->text(), QStringLiteral("0.026"));
    QVERIFY(d.repeating());
    QCOMPARE(d.repeatInterval(), 220);
    d.repeatTick();  // the first tick only arms
    QCOMPARE(d.count(), 1);
    const int intervals[] = {180, 140, 100, 80, 60, 40, 20, 18, 16};
    for (int i = 0; i < 9; ++i) {
      d.repeatTick();
      QCOMPARE(d.count(), 2 + i);
      QCOMPARE(d.repeatInterval(), intervals[i]);
    }
    emit frameUp->released();
    QVERIFY(!d.repeating());
    QCOMPARE(d.repeatInterval(), 220);

    // A whole second up from 0.261 s (10 frames): Int(0.261 + 1.5001) = 1 s = 38 frames.
    emit d.stepButton(SilenceDialog::kSecondUp)->pressed();
    emit d.stepButton(SilenceDialog::kSecondUp)->released();
    QCOMPARE(d.count(), 38);
    emit d.stepButton(SilenceDialog::kSecondDown)->pressed();
    emit d.stepButton(SilenceDialog::kSecondDown)->released();
    QCOMPARE(d.count(), 0);  // Int(0.993 - 0.5001) = 0
    emit d.stepButton(SilenceDialog::kFrameDown)->pressed();
    emit d.stepButton(SilenceDialog::kFrameDown)->released();
    QCOMPARE(d.count(), 0);  // not below 0
  }

  void silencePresetFromTheSelection() {
    SilenceDialog d;
    QTimer::singleShot(0, &d, [&d] { QTest::keyClick(d.lengthBox(), Qt::Key_Return); });  // Enter accepts
    std::optional<SilenceChoice> c = d.choose(Silence("0.261", 10));
    QVERIFY(c.has_value());
    QCOMPARE(c->count, 10);
    QCOMPARE(d.placementLabel()->text(), QStringLiteral("SILENCE WILL REPLACE THE SELECTION"));
  }
  void volumeDialogWarnsOfJointAndMixedStereo_data() {
    QTest::addColumn<QString>("warning");
    QTest::addColumn<bool>("channelsOffered");
    QTest::addColumn<bool>("shown");
    QTest::newRow("joint stereo") << "joint stereo!" << true << true;
    QTest::newRow("mixed stereo") << "mixed stereo!" << true << true;
    QTest::newRow("plain stereo") << "" << true << false;
    QTest::newRow("mono: no channel choice, no warning") << "joint stereo!" << false << false;
  }
  void volumeDialogWarnsOfJointAndMixedStereo() {
    QFETCH(QString, warning);
    QFETCH(bool, channelsOffered);
    QFETCH(bool, shown);
    VolumeDialog d;
    VolumeDialogState state;
    state.channelsOffered = channelsOffered;
    state.stereoWarning = warning.toStdString();
    QTimer::singleShot(0, &d, [&] {
      for (QLabel* label : d.stereoWarnings()) {
        QCOMPARE(label->isVisible(), shown);
        if (shown) QCOMPARE(label->text(), warning);
      }
      d.reject();
    });
    QVERIFY(!d.choose(state).has_value());
  }

  // Switching to another window cancels the volume and fade dialogs; a
  // message opened over them does not.
  void switchingAwayCancels() {
    QWidget other;
    other.setWindowTitle(QStringLiteral("another window"));
    other.show();
    for (bool fade : {false, true}) {
      std::unique_ptr<QDialog> dialog;
      if (fade) dialog = std::make_unique<FadeDialog>(); else dialog = std::make_unique<VolumeDialog>();
      bool stayedOverMessage = false;
      bool activeBeforeSwitch = false;
      QTimer::singleShot(0, dialog.get(), [&] {
        QDialog message(dialog.get());
        QTimer::singleShot(0, &message, [&] {
          QApplication::setActiveWindow(&message);
          QCoreApplication::processEvents();
          stayedOverMessage = dialog->isVisible();
          message.accept();
        });
        message.exec();
        QApplication::setActiveWindow(dialog.get());
        QCoreApplication::processEvents();
        activeBeforeSwitch = dialog->isActiveWindow() && dialog->isVisible();
        QApplication::setActiveWindow(&other);
        // Nothing else closes it: a dialog still open here is the failure.
        QTimer::singleShot(0, dialog.get(), [&] {
          QTimer::singleShot(0, dialog.get(), [&] { dialog->done(QDialog::Accepted); });
        });
      });
      VolumeDialogState louder;
      louder.sliderPosition = 25;
      bool chosen = fade ? static_cast<FadeDialog*>(dialog.get())->choose({20, true}).has_value()
                         : static_cast<VolumeDialog*>(dialog.get())->choose(louder).has_value();
      QVERIFY(stayedOverMessage);
      QVERIFY(activeBeforeSwitch);
      QVERIFY(!chosen);
      QVERIFY(!dialog->isVisible());
    }
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  EditDialogsTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "edit_dialogs_test.moc"
