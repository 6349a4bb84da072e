#pragma once
// The two message windows: "info" shows a message with "O&K", "prompt" asks a
// question with two buttons. Each exists once and is reused; it sizes itself to
// the text, shows one of four icons above a coloured band, remembers where the
// user put it, and a modeless one disappears when it loses the focus.

#include <QDialog>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <string>

#include "tags/message_kind.h"

class QFontMetrics;
class QLabel;
class QPushButton;

namespace quorvel {

struct Options;

// "\r\n" line breaks as the label shows them.
QString DisplayText(const std::string& text);

// The client size a message window takes for text in a font: the widest line
// plus 88 by the line height times (lines + 2) plus 52. The text with a final
// "\r\n" is cut at every "\r\n"; of equally wide lines the last one counts; a
// line must be wider than 1 pixel, else the whole text is measured.
QSize MessageClientSize(const std::string& text, const QFontMetrics& metrics);

// Where the label goes in a client area: centred right of the icon column and
// above the band.
QPoint MessageLabelPosition(QSize client, QSize label);

class MessageWindow : public QDialog {
  Q_OBJECT

 public:
  enum class Type { kMessage, kYesNo };

  // place: left, top, width, height remembered in the options; state 0 normal, 2 maximized.
  MessageWindow(Type type, std::array<int32_t, 4>& place, uint8_t& state, QWidget* parent = nullptr);

  // Shows text with the kind's icon; a modal kind returns when the window is closed.
  void showMessage(const std::string& text, int kind, const std::string& caption);
  // The question (always modal): returns 6 (Yes/OK), 7 (No/cancel) or 2 (Escape).
  int ask(const std::string& text, int kind, const std::string& caption);

  int answer() const { return answer_; }
  int currentKind() const { return kind_; }
  bool showing() const { return showing_; }

  QLabel* textLabel() const { return label_; }
  QLabel* iconLabel() const { return icon_; }
  // Message window: "O&K". Yes/no window: positive "&YES"/"O&K", negative "&NO"/"cancel".
  QPushButton* positiveButton() const { return positive_; }
  QPushButton* negativeButton() const { return negative_; }
  static constexpr int kBandHeight = 41;
  static constexpr int kIconSize = 48;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void done(int result) override;

 private:
  void prepare(const std::string& text, int kind, const std::string& caption);
  void layOut();
  void remember();
  void applyRemembered();
  void finish(int answer);

  Type type_;
  std::array<int32_t, 4>& place_;
  uint8_t& state_;
  QLabel* label_ = nullptr;
  QLabel* icon_ = nullptr;
  QPushButton* positive_ = nullptr;
  QPushButton* negative_ = nullptr;
  int kind_ = 0;
  int answer_ = 0;
  bool showing_ = false;
  bool modal_ = false;
};

}  // namespace quorvel
