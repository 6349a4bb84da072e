#pragma once
// The script reader: cuts a line into a command word and parameters, collects
// multi-line tag blocks, turns position parameters into the cursor and the
// selection, and reports a failed statement.

#include <cstdint>
#include <string>

#include "core/context.h"
#include "script/statement.h"

namespace quorvel {

// Lines longer than this are refused outright (also inside a block).
constexpr size_t kMaxScriptLine = 32767;
// Lines longer than this are refused outside a block.
constexpr size_t kMaxStatementLine = 1024;
// Position box texts are cut to this many characters.
constexpr size_t kPositionBoxWidth = 13;
// "EOF" becomes this many seconds: after the last frame of any file.
constexpr const char* kEofPositionText = "99999";

// The question of a failed statement in an interactive run: exclamation icon,
// "O&K"/"cancel" buttons, modal.
constexpr int kScriptErrorQuestionKind = kMsgWarning | kMsgOkCancel | kMsgModal;

extern const char* const kLineTooLongText;       // "Line too long (over 32K)."
extern const char* const kStatementTooLongText;  // "Line too long (over 1 KB)."

// Today's date for the "*D", "*M" and "*Y" escapes.
struct ScriptDate {
  int day = 1;
  int month = 1;
  int year = 2000;
};
// The local calendar date.
ScriptDate TodayDate();

// Cuts a line into the statement (tokens 0..4, command word in upper case,
// parameter count). False when the line holds no token (a blank line).
bool TokenizeLine(const std::string& line, const ScriptDate& date, ScriptStatement& statement);

// True when the command word starts a comment ("!#$'(./:;<@[\{").
bool IsCommentWord(const std::string& command);

// Tokenizes and executes one line on ctx; true when the script must stop (an
// error and the user or the ignore-errors option said so). The handler runs the
// command (ExecuteCommand of script/commands.h in the program).
bool ExecuteStatement(Context& ctx, const std::string& line, CommandHandler handler);

// Rewrites position parameters 1 (bit 0) and 2 (bit 1): "EOF" becomes "99999",
// a leading "R+"/"R-" is removed and sets relativeMode Forward/Backward.
void PreparePositionParams(Context& ctx, unsigned bits);

// Parses seconds, m:s or h:m:s (point as decimal separator, 0..99999 s).
// True when it failed; seconds is 0 then.
bool ParseTimeText(const std::string& text, double& seconds);

// True (and errorText = command word + ": No file loaded.") when no frames are loaded.
bool RequireDocument(Context& ctx);

// "Command: <word>\r\nCondition: not ready.\r\nPlease restart the script or the program."
std::string NotReadyText(const Context& ctx);

// Puts parameter 1 (and parameter 2 when not empty) into the position boxes and
// applies them as typed positions; sets selectionSpan. (makeboxes)
void ApplyPositions(Context& ctx);

// Applies position box b (0 cursor, 1 selection end) from its text, as Enter in
// the box does: relative to the cursor remembered when box 0 was applied.
// An unparsable text only marks the box invalid.
void ApplyPositionBox(Context& ctx, int b);

// The error flow of a failed statement: logged in silent mode (stop unless the
// ignore-errors option is on), asked interactively (OK continues). True = stop.
bool ReportScriptError(Context& ctx);

// A line of a script file from the locale's character set to UTF-8, and a log
// line back. UTF-8 and plain ASCII ("C") locales pass bytes unchanged; other
// character sets go through iconv (a byte that cannot be converted becomes
// U+FFFD; a character the locale cannot hold is transliterated or "?").
std::string LineFromLocale(const std::string& bytes);
std::string LineToLocale(const std::string& text);
// Converts between two iconv character sets; a byte that cannot be converted
// becomes `bad`. Unknown character sets leave the text as it is.
std::string ConvertCharset(const std::string& text, const char* to, const char* from, const std::string& bad);

}  // namespace quorvel
