#include "script/reader.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "core/document_ops.h"
#include "core/messages.h"
#include "core/mpeg_header.h"
#include "script/batch.h"

namespace quorvel {

const char* const kLineTooLongText = "Line too long (over 32K).";
const char* const kStatementTooLongText = "Line too long (over 1 KB).";

namespace {

constexpr const char* kCommentStarts = "!#$'(./:;<@[\\{";
constexpr const char* kCommentEndMarker = "ID3V2.COMMENT.END";
constexpr const char* kLyricsEndMarker = "ID3V2.LYRICS.END";

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = UpperAscii(c);
  return out;
}

// Characters, not bytes: every byte that does not continue a UTF-8 sequence.
size_t CharacterCount(const std::string& s) {
  return static_cast<size_t>(
      std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<uint8_t>(c) & 0xC0) != 0x80; }));
}

// The first n characters of s.
std::string FirstCharacters(const std::string& s, size_t n) {
  size_t chars = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<uint8_t>(s[i]) & 0xC0) != 0x80) {
      if (chars == n) return s.substr(0, i);
      ++chars;
    }
  }
  return s;
}

std::string TwoDigits(int v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? "0" + s : s;
}

std::string FourDigits(int v) {
  std::string s = std::to_string(v);
  while (s.size() < 4) s = "0" + s;
  return s;
}

bool IsBlank(char c) { return c == ' ' || c == '\0'; }

// A decimal number with a point: [+-]digits[.digits][e[+-]digits], at least one
// digit before the exponent. No blanks, no "inf"/"nan", no hexadecimal.
bool ParseDecimal(const std::string& text, double& value) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != text.size()) return false;
  // from_chars does not take a leading '+' and ignores the locale's decimal mark.
  const char* first = text.data();
  if (*first == '+') ++first;
  double v = 0;
  auto result = std::from_chars(first, text.data() + text.size(), v);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

// A non-negative decimal integer, digits only.
bool ParseCount(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseTimeParts(const std::string& raw, double& seconds) {
  std::string text;
  for (char c : raw) {
    if (!IsBlank(c)) text += c;
  }
  size_t lastColon = text.rfind(':');
  std::string secondsText = lastColon == std::string::npos ? text : text.substr(lastColon + 1);
  double secs = 0;
  if (!ParseDecimal(secondsText, secs) || secs < 0 || secs > 99999) return false;
  if (lastColon == std::string::npos) {
    seconds = secs;
    return true;
  }
  std::string left = text.substr(0, lastColon);
  size_t firstColon = left.find(':');
  std::string minutesText = firstColon == std::string::npos ? left : left.substr(firstColon + 1);
  int64_t minutes = 0;
  if (!ParseCount(minutesText, minutes) || minutes >= 1440 || secs >= 60) return false;
  double result = 0;
  if (firstColon == std::string::npos) {
    result = static_cast<double>(minutes) * 60 + secs;
  } else {
    int64_t hours = 0;
    if (!ParseCount(left.substr(0, firstColon), hours) || hours > 24 || minutes > 59) return false;
    result = static_cast<double>(hours) * 3600 + static_cast<double>(minutes) * 60 + secs;
  }
  if (result < 0 || result > 99999) return false;
  seconds = result;
  return true;
}

// The locale's character set, decided once: empty when it is UTF-8 or plain
// ASCII (the "C" locale), whose bytes pass through unchanged.
const std::string& LocaleCharset() {
  static const std::string charset = [] {
    const char* cs = nl_langinfo(CODESET);
    std::string name = cs != nullptr ? cs : "";
    std::string upper = UpperAscii(name);
    if (upper.empty() || upper == "UTF-8" || upper == "UTF8" || upper == "ANSI_X3.4-1968" ||
        upper == "ASCII" || upper == "US-ASCII") {
      return std::string();
    }
    return name;
  }();
  return charset;
}

}  // namespace

std::string ConvertCharset(const std::string& text, const char* to, const char* from, const std::string& bad) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out;
  std::string buffer(4096, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  while (inLeft > 0) {
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: one byte that cannot be converted.
      out += bad;
      ++in;
      --inLeft;
    }
  }
  iconv_close(cd);
  return out;
}

ScriptDate TodayDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ScriptDate date;
  if (localtime_r(&now, &local) != nullptr) {
    date.day = local.tm_mday;
    date.month = local.tm_mon + 1;
    date.year = local.tm_year + 1900;
  }
  return date;
}

std::string LineFromLocale(const std::string& bytes) {
  const std::string& charset = LocaleCharset();
  if (charset.empty()) return bytes;
  return ConvertCharset(bytes, "UTF-8", charset.c_str(), "\xEF\xBF\xBD");
}

std::string LineToLocale(const std::string& text) {
  const std::string& charset = LocaleCharset();
  if (charset.empty()) return text;
  return ConvertCharset(text, (charset + "//TRANSLIT").c_str(), "UTF-8", "?");
}

bool TokenizeLine(const std::string& line, const ScriptDate& date, ScriptStatement& statement) {
  for (std::string& p : statement.param) p.clear();
  statement.command.clear();
  statement.parameterCount = 0;

  size_t start = 0;
  while (start < line.size() && IsBlank(line[start])) ++start;
  std::string text = line.substr(start);
  text += ',';

  size_t stored = 0;
  bool quoted = false;
  std::string token;
  for (size_t i = 0; i < text.size() && stored < 5; ++i) {
    char c = text[i];
    if (!quoted && (c == ' ' || c == ',' || c == '\0')) {
      if (!token.empty()) {
        statement.param[stored++] = std::move(token);
        token.clear();
      }
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == '\0') {
      // A NUL inside quotes or after "*" is dropped: a C string would end at it,
      // so a file name would name a different file and a tag text would be cut.
    } else if (c == '*' && i + 1 < text.size()) {
      char next = text[++i];
      if (next == '\0') continue;
      switch (UpperAscii(next)) {
        case 'D':
          token += TwoDigits(date.day);
          break;
        case 'M':
          token += TwoDigits(date.month);
          break;
        case 'Y':
          token += FourDigits(date.year);
          break;
        default:
          token += next;
      }
    } else {
      token += c;
    }
  }
  // A token still open here ended inside quotes or escaped the final ",": dropped.
  if (stored == 0 || statement.param[0].empty()) return false;
  statement.command = UpperAscii(statement.param[0]);
  for (uint16_t n = 4; n >= 1; --n) {
    if (!statement.param[n].empty()) {
      statement.parameterCount = n;
      break;
    }
  }
  return true;
}

bool IsCommentWord(const std::string& command) {
  return !command.empty() && std::string_view(kCommentStarts).find(command[0]) != std::string_view::npos;
}

bool ExecuteStatement(Context& ctx, const std::string& line, CommandHandler handler) {
  ScriptRun& run = ctx.script;
  run.errorText.clear();
  if (line.empty()) return false;

  const size_t length = CharacterCount(line);
  if (length > kMaxScriptLine) {
    run.errorText = kLineTooLongText;
    return ReportScriptError(ctx);
  }

  if (run.blockOpen) {
    const char* marker = run.blockField == kBlockLyrics ? kLyricsEndMarker : kCommentEndMarker;
    if (UpperAscii(line) == marker) {
      run.blockOpen = false;
      if (handler != nullptr) handler(ctx, ScriptCommand::BlockEnd);
      run.relativeMode = {RelativeMode::Absolute, RelativeMode::Absolute};
      if (!run.errorText.empty()) return ReportScriptError(ctx);
    } else {
      run.blockText += line;
      run.blockText += "\r\n";
    }
    return false;
  }

  if (length > kMaxStatementLine) {
    run.errorText = kStatementTooLongText;
    return ReportScriptError(ctx);
  }

  if (!TokenizeLine(line, TodayDate(), run.statement)) return false;
  if (IsCommentWord(run.statement.command)) return false;

  ScriptCommand command = LookUpCommand(run.statement.command);
  if (command == ScriptCommand::Unknown) {
    run.errorText = "Syntax error: " + run.statement.command;
  } else if (handler != nullptr) {
    handler(ctx, command);
  }
  run.relativeMode = {RelativeMode::Absolute, RelativeMode::Absolute};
  if (!run.errorText.empty()) return ReportScriptError(ctx);
  return false;
}

void PreparePositionParams(Context& ctx, unsigned bits) {
  ScriptStatement& st = ctx.script.statement;
  for (int n = 1; n <= 2; ++n) {
    if ((bits & (1u << (n - 1))) == 0) continue;
    RelativeMode& mode = ctx.script.relativeMode[static_cast<size_t>(n - 1)];
    std::string& p = st.param[static_cast<size_t>(n)];
    mode = RelativeMode::Absolute;
    if (UpperAscii(p) == "EOF") p = kEofPositionText;
    if (p.size() >= 2) {
      std::string head = UpperAscii(p.substr(0, 2));
      if (head == "R+") {
        mode = RelativeMode::Forward;
        p.erase(0, 2);
      } else if (head == "R-") {
        mode = RelativeMode::Backward;
        p.erase(0, 2);
      }
    }
  }
}

bool ParseTimeText(const std::string& text, double& seconds) {
  double s = 0;
  if (!ParseTimeParts(text, s)) {
    seconds = 0;
    return true;
  }
  seconds = s;
  return false;
}

bool RequireDocument(Context& ctx) {
  if (ctx.doc.editCount > 0) return false;
  ctx.script.errorText = ctx.script.statement.command + ": No file loaded.";
  return true;
}

std::string NotReadyText(const Context& ctx) {
  return "Command: " + ctx.script.statement.command + "\r\n" + "Condition: not ready." + "\r\n" +
         "Please restart the script or the program.";
}

void ApplyPositionBox(Context& ctx, int b) {
  if (b < 0 || b > 1) return;
  DocumentState& doc = ctx.doc;
  ScriptRun& run = ctx.script;
  PositionBox& box = run.positionBoxes[static_cast<size_t>(b)];
  if (b == 0) run.referencePosition = doc.cursor;
  double seconds = 0;
  if (ParseTimeText(box.text, seconds)) {
    box.invalid = true;
    ctx.host.changed(kChangedCursor);
    return;
  }
  switch (run.relativeMode[static_cast<size_t>(b)]) {
    case RelativeMode::Backward:
      seconds = TimeAtFrame(doc, run.referencePosition) - seconds;
      break;
    case RelativeMode::Forward:
      seconds = TimeAtFrame(doc, run.referencePosition) + seconds;
      break;
    case RelativeMode::Absolute:
      break;
  }
  int32_t position = doc.editCount > 0 ? FrameAtTime(doc, seconds) : 0;
  position = std::clamp(position, 0, std::max(doc.editCount, 0));
  if (b == 0) {
    doc.cursor = position;
    doc.selectionEnd = position;
    SetSelectionExists(doc, false);
  } else {
    doc.selectionEnd = position;
    SetSelectionExists(doc, doc.selectionEnd != doc.cursor);
  }
  box.text = TimeText(TimeAtFrame(doc, position), 3);
  box.invalid = false;
  ctx.host.changed(kChangedCursor);
}

void ApplyPositions(Context& ctx) {
  ScriptRun& run = ctx.script;
  run.positionBoxes[0].text = FirstCharacters(run.statement.param[1], kPositionBoxWidth);
  ApplyPositionBox(ctx, 0);
  if (!run.statement.param[2].empty()) {
    run.positionBoxes[1].text = FirstCharacters(run.statement.param[2], kPositionBoxWidth);
    ApplyPositionBox(ctx, 1);
  }
  int64_t span = static_cast<int64_t>(ctx.doc.selectionEnd) - ctx.doc.cursor;
  run.selectionSpan = static_cast<int32_t>(span < 0 ? -span : span);
}

bool ReportScriptError(Context& ctx) {
  ScriptRun& run = ctx.script;
  run.runFailed = true;
  if (run.silent) {
    AppendLogLine(ctx, run.errorText);
    return !ctx.options.mainFlag(kIgnoreErrorsSilent);
  }
  return !AskYesNo(ctx, run.errorText + "\r\n\n" + "Ignore and continue?", kScriptErrorQuestionKind,
                   "script processing error");
}

}  // namespace quorvel
