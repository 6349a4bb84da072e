#pragma once
// Message kinds, a bit set passed with every message and question to the host
// (core/host.h). They sit at the lowest layer because the tag text loader
// reports messages too.

namespace quorvel {

// The low four bits pick the icon; the other bits shape the window.
constexpr int kMsgIconMask = 0x000F;
constexpr int kMsgInfo = 0;
constexpr int kMsgError = 1;
constexpr int kMsgWarning = 2;
constexpr int kMsgQuestion = 3;  // the yes/no window only
// Yes/no window: the buttons read "O&K" and "cancel" instead of "&YES" and "&NO".
constexpr int kMsgOkCancel = 0x10;
// Yes/no window: Escape answers (kAnswerEscape).
constexpr int kMsgEscapeAnswers = 0x20;
// The call returns only after the window is closed.
constexpr int kMsgModal = 0x100;
// Yes/no window: the focus starts on the No/cancel button.
constexpr int kMsgFocusNo = 0x1000;

// The kinds in use.
constexpr int kModalError = kMsgError | kMsgModal;
constexpr int kModalWarning = kMsgWarning | kMsgModal;
constexpr int kModalQuestion = kMsgQuestion | kMsgModal;
// A warning asked as Yes/No with the focus on No (overwrite, reset the options).
constexpr int kWarningFocusNo = kMsgWarning | kMsgModal | kMsgFocusNo;
// A warning asked as OK/cancel with the focus on cancel.
constexpr int kWarningOkCancelFocusCancel = kMsgWarning | kMsgOkCancel | kMsgModal | kMsgFocusNo;

// The answers of a question.
constexpr int kAnswerYes = 6;     // Yes or OK
constexpr int kAnswerNo = 7;      // No or cancel
constexpr int kAnswerEscape = 2;  // Escape closed the window (kind bit 0x20)

constexpr int MessageIcon(int kind) { return kind & kMsgIconMask; }

}  // namespace quorvel
