// The script reader: tokenizing, comments, the command table, line limits,
// blocks, times, positions and the error flow. Commands are replaced by a
// recording handler so that only the reader is under test.

#include "script/reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/edit_fixture.h"
#include "core/headless_host.h"
#include "core/mpeg_header.h"
#include "script/statement.h"

namespace quorvel {
namespace {

struct Call {
  ScriptCommand command;
  ScriptStatement statement;
};

std::vector<Call>* g_calls = nullptr;
std::string g_failWith;

void RecordingHandler(Context& ctx, ScriptCommand command) {
  if (g_calls != nullptr) g_calls->push_back({command, ctx.script.statement});
  if (!g_failWith.empty()) ctx.script.errorText = g_failWith;
}

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls = &calls;
    g_failWith.clear();
  }
  void TearDown() override { g_calls = nullptr; }
  bool Run(const std::string& line) { return ExecuteStatement(ctx, line, RecordingHandler); }
  // The log of silent runs goes to a fresh folder.
  std::string TempFolderForLog() {
    ctx.options.logPath = (tmp.path / "test.log").string();
    return ctx.options.logPath;
  }

  testing::TempFolder tmp;
  HeadlessHost host;
  Context ctx{host};
  std::vector<Call> calls;
};

struct TokenCase {
  const char* name;
  std::string line;
  bool hasToken;
  std::string command;
  std::vector<std::string> params;  // params 1..4 as expected (missing ones empty)
  uint16_t count;
};

TEST(TokenizeLine, Cases) {
  const ScriptDate date{5, 3, 2024};
  const std::vector<TokenCase> cases = {
      {"leading blanks, lower case, blanks around comma", "   select 1.5 , 3", true, "SELECT", {"1.5", "3"}, 2},
      {"quoted path keeps blanks", "LOAD \"/music/my song.mp3\"", true, "LOAD", {"/music/my song.mp3"}, 1},
      {"date escapes", "SAVEAS /out/*Y-*M-*D.mp3", true, "SAVEAS", {"/out/2024-03-05.mp3"}, 1},
      {"date escapes in lower case and inside quotes", "x \"*d.*m.*y\"", true, "X", {"05.03.2024"}, 1},
      {"five tokens kept, rest ignored", "SELECT 10 20 30 40 50 60", true, "SELECT", {"10", "20", "30", "40"}, 4},
      {"no parameter", "TRIM", true, "TRIM", {}, 0},
      {"consecutive commas give no empty token", "TRIM ,, 5", true, "TRIM", {"5"}, 1},
      {"double star is one star", "x a**b", true, "X", {"a*b"}, 1},
      {"escaped quote does not toggle", "x *\"a b", true, "X", {"\"a", "b"}, 2},
      {"escaped comma and blank join", "x a*,b*c d", true, "X", {"a,bc", "d"}, 1 + 1},
      {"comma inside quotes", "ID3V2.TITLE \"Hello, World\"", true, "ID3V2.TITLE", {"Hello, World"}, 1},
      {"line ending inside quotes drops the open token", "x a \"b c", true, "X", {"a"}, 1},
      {"lone star at the end escapes the final comma", "x a b*", true, "X", {"a"}, 1},
      {"quotes around nothing give no token", "x \"\" b", true, "X", {"b"}, 1},
      {"leading NULs and blanks", std::string("\0 \0select 1", 11), true, "SELECT", {"1"}, 1},
      {"NUL separates", std::string("a\0b", 3), true, "A", {"b"}, 1},
      {"NUL inside quotes or escaped never enters a token", std::string("x \"a\0b\" c*\0d", 13), true, "X",
       {"ab", "cd"}, 2},
      {"only separators", " , ,, ", false, "", {}, 0},
      {"only a quoted blank token", "\" \"", true, " ", {}, 0},
      {"upper case only for ASCII letters", "id3v2.title\xC3\xA9", true, "ID3V2.TITLE\xC3\xA9", {}, 0},
      {"non-ASCII parameter kept", "ID3V2.ARTIST Bj\xC3\xB6rk", true, "ID3V2.ARTIST", {"Bj\xC3\xB6rk"}, 1},
  };
  for (const TokenCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptStatement st;
    st.lineNumber = 7;
    EXPECT_EQ(TokenizeLine(c.line, date, st), c.hasToken);
    if (!c.hasToken) continue;
    EXPECT_EQ(st.command, c.command);
    for (size_t i = 1; i <= 4; ++i) {
      std::string want = i <= c.params.size() ? c.params[i - 1] : "";
      EXPECT_EQ(st.param[i], want) << "parameter " << i;
    }
    EXPECT_EQ(st.parameterCount, c.count);
    EXPECT_EQ(st.lineNumber, 7);
  }
}

TEST(TokenizeLine, ParameterCountIsTheLastNonEmptyIndex) {
  ScriptStatement st;
  ASSERT_TRUE(TokenizeLine("x \"a\" b", ScriptDate{}, st));
  EXPECT_EQ(st.parameterCount, 2);
  // A previous line's parameters never survive.
  ASSERT_TRUE(TokenizeLine("y", ScriptDate{}, st));
  EXPECT_EQ(st.parameterCount, 0);
  EXPECT_EQ(st.param[1], "");
  EXPECT_EQ(st.param[2], "");
}

TEST(CommandTable, WholeWords) {
  const std::vector<std::pair<std::string, ScriptCommand>> cases = {
      {"SELECT", ScriptCommand::Select},
      {"SELECTALL", ScriptCommand::SelectAll},
      {"CURSOR", ScriptCommand::Cursor},
      {"SAVE", ScriptCommand::Save},
      {"SAVEAS", ScriptCommand::SaveAs},
      {"SAVESELECTION", ScriptCommand::SaveSelection},
      {"ID3V2.COMMENT", ScriptCommand::Id3v2Comment},
      {"ID3V2.COMMENT.START", ScriptCommand::Id3v2CommentStart},
      {"ID3V2.(C)", ScriptCommand::Id3v2Copyright},
      {"REMOVELYRICS", ScriptCommand::RemoveLyrics},
      {"ID3V2.COMMENT.END", ScriptCommand::Unknown},
      {"ID3V2.FOO", ScriptCommand::Unknown},
      {"SELEC", ScriptCommand::Unknown},
      {"SELECTALLX", ScriptCommand::Unknown},
      {"select", ScriptCommand::Unknown},  // the reader upper-cases first
      {"", ScriptCommand::Unknown},
  };
  for (const auto& [word, command] : cases) {
    EXPECT_EQ(LookUpCommand(word), command) << word;
    if (command != ScriptCommand::Unknown) {
      EXPECT_EQ(CommandWord(command), word);
    }
  }
}

TEST_F(ReaderTest, CommentsBlankLinesAndSyntaxErrors) {
  ctx.script.silent = true;
  ctx.options.mainFlags |= kIgnoreErrorsSilent;
  TempFolderForLog();
  const std::vector<std::string> nothing = {"# comment", "; comment", "{ comment", "!x", "$x", "'x", "(x",
                                             ".x",        "/x",        ":x",        "<x", "@x", "[x", "\\x",
                                             "   \"#\" x", "", "   ", ",,,"};
  for (const std::string& line : nothing) {
    EXPECT_FALSE(Run(line)) << line;
    EXPECT_EQ(ctx.script.errorText, "") << line;
  }
  EXPECT_TRUE(calls.empty());
  EXPECT_FALSE(ctx.script.runFailed);

  EXPECT_FALSE(Run("REM a remark"));
  EXPECT_EQ(ctx.script.errorText, "Syntax error: REM");
  EXPECT_FALSE(Run("id3v2.foo bar"));
  EXPECT_EQ(ctx.script.errorText, "Syntax error: ID3V2.FOO");
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(ctx.script.runFailed);
}

TEST_F(ReaderTest, DispatchesWithParameters) {
  EXPECT_FALSE(Run("  selectall"));
  EXPECT_FALSE(Run("Select 1.5 , 3"));
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].command, ScriptCommand::SelectAll);
  EXPECT_EQ(calls[1].command, ScriptCommand::Select);
  EXPECT_EQ(calls[1].statement.command, "SELECT");
  EXPECT_EQ(calls[1].statement.param[1], "1.5");
  EXPECT_EQ(calls[1].statement.param[2], "3");
  EXPECT_EQ(ctx.script.errorText, "");
}

TEST_F(ReaderTest, RelativeModesEndWithTheCommand) {
  ctx.script.relativeMode = {RelativeMode::Forward, RelativeMode::Backward};
  Run("UNSELECT");
  EXPECT_EQ(ctx.script.relativeMode[0], RelativeMode::Absolute);
  EXPECT_EQ(ctx.script.relativeMode[1], RelativeMode::Absolute);
}

struct LengthCase {
  size_t length;
  bool inBlock;
  std::string error;
};

TEST_F(ReaderTest, LineLimits) {
  ctx.script.silent = true;
  ctx.options.mainFlags |= kIgnoreErrorsSilent;
  TempFolderForLog();
  const std::vector<LengthCase> cases = {
      {1024, false, ""},
      {1025, false, "Line too long (over 1 KB)."},
      {5000, true, ""},
      {32767, true, ""},
      {32768, true, "Line too long (over 32K)."},
      {32768, false, "Line too long (over 32K)."},
  };
  for (const LengthCase& c : cases) {
    SCOPED_TRACE(c.length);
    calls.clear();
    ctx.script.blockOpen = c.inBlock;
    ctx.script.blockField = kBlockComment;
    ctx.script.blockText.clear();
    // "SELECT" and blanks up to the length: a real command, not a comment.
    std::string line = "SELECT" + std::string(c.length - 6, ' ');
    Run(line);
    EXPECT_EQ(ctx.script.errorText, c.error);
    if (c.inBlock && c.error.empty()) {
      EXPECT_EQ(ctx.script.blockText, line + "\r\n");
    } else if (!c.inBlock && c.error.empty()) {
      EXPECT_EQ(calls.size(), 1u);
    } else {
      EXPECT_TRUE(calls.empty());
    }
  }
  ctx.script.blockOpen = false;
}

TEST_F(ReaderTest, LimitsCountCharactersNotBytes) {
  // 1024 two-byte characters: 2048 bytes but within the limit.
  std::string line = "#";
  for (int i = 0; i < 1023; ++i) line += "\xC3\xA9";
  EXPECT_FALSE(Run(line));
  EXPECT_EQ(ctx.script.errorText, "");
}

TEST_F(ReaderTest, BlockCollectsUntilItsOwnEndMarker) {
  ctx.script.blockOpen = true;
  ctx.script.blockField = kBlockComment;
  for (const char* line : {"one", "  SELECT 1", "ID3V2.LYRICS.END", " ID3V2.COMMENT.END", "ID3V2.COMMENT.END ",
                           "# not a comment here"}) {
    EXPECT_FALSE(Run(line));
  }
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(ctx.script.blockOpen);
  EXPECT_EQ(ctx.script.blockText,
            "one\r\n  SELECT 1\r\nID3V2.LYRICS.END\r\n ID3V2.COMMENT.END\r\nID3V2.COMMENT.END \r\n"
            "# not a comment here\r\n");
  EXPECT_FALSE(Run("id3v2.comment.end"));
  EXPECT_FALSE(ctx.script.blockOpen);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].command, ScriptCommand::BlockEnd);

  ctx.script.blockOpen = true;
  ctx.script.blockField = kBlockLyrics;
  ctx.script.blockText.clear();
  EXPECT_FALSE(Run("ID3V2.COMMENT.END"));
  EXPECT_TRUE(ctx.script.blockOpen);
  EXPECT_FALSE(Run("Id3v2.Lyrics.End"));
  EXPECT_FALSE(ctx.script.blockOpen);
  EXPECT_EQ(ctx.script.blockText, "ID3V2.COMMENT.END\r\n");
}

TEST_F(ReaderTest, InteractiveErrorAsksAndOkContinues) {
  g_failWith = "TRIM: multiple frames not selected.";
  host.answers = {kAnswerYes, kAnswerNo};
  EXPECT_FALSE(Run("TRIM"));
  EXPECT_TRUE(Run("TRIM"));
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].text, "TRIM: multiple frames not selected.\r\n\nIgnore and continue?");
  EXPECT_EQ(host.messages[0].caption, "script processing error");
  EXPECT_TRUE(host.messages[0].question);
  EXPECT_EQ(host.messages[0].kind & 0x0F, kMsgWarning);
  EXPECT_NE(host.messages[0].kind & 0x10, 0);
}

TEST_F(ReaderTest, SilentErrorIsLoggedAndStopsUnlessIgnored) {
  ctx.script.silent = true;
  std::string log = TempFolderForLog();
  ctx.options.mainFlags &= static_cast<uint8_t>(~kIgnoreErrorsSilent);
  g_failWith = "2nd SELECT parameter invalid:\r\nx";
  EXPECT_TRUE(Run("SELECT 1 x"));
  ctx.options.mainFlags |= kIgnoreErrorsSilent;
  EXPECT_FALSE(Run("SELECT 1 x"));
  EXPECT_TRUE(host.messages.empty());
  std::ifstream in(log, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "2nd SELECT parameter invalid:\r\nx\r\n2nd SELECT parameter invalid:\r\nx\r\n");
}

struct TimeCase {
  std::string text;
  bool ok;
  double seconds;
};

TEST(ParseTimeText, Cases) {
  const std::vector<TimeCase> cases = {
      {"75.5", true, 75.5},     {"1:15.5", true, 75.5},  {"0:1:15.5", true, 75.5}, {"1:75", false, 0},
      {"25:0:0", false, 0},     {"100000", false, 0},    {"99999", true, 99999},   {"0", true, 0},
      {" 1 : 15 ", true, 75},   {"1:2:3:4", false, 0},   {"", false, 0},          {"-1", false, 0},
      {"-0", true, 0},          {".5", true, 0.5},       {"5.", true, 5},         {"1e2", true, 100},
      {"inf", false, 0},        {"nan", false, 0},       {"0x10", false, 0},      {"1,5", false, 0},
      {"24:59:59.5", true, 89999.5}, {"24:60:0", false, 0}, {"1439:59.9", true, 86399.9},
      {"1440:0", false, 0},     {":30", false, 0},       {"1:", false, 0},        {"+3", true, 3},
      {"1:-5", false, 0},       {"-1:5", false, 0},      {"1::5", false, 0},      {"99999.0001", false, 0},
      {"1:59.9999", true, 119.9999}, {"00000000000000000001", true, 1}, {"1:00000000000000000001", true, 61}, {"00000000000001:5", true, 65}, {"99999999999999999999:5", false, 0},
      {std::string("1\0:1\0", 5), true, 61},
  };
  for (const TimeCase& c : cases) {
    SCOPED_TRACE(c.text);
    double seconds = -1;
    bool failed = ParseTimeText(c.text, seconds);
    EXPECT_EQ(!failed, c.ok);
    EXPECT_DOUBLE_EQ(seconds, c.ok ? c.seconds : 0.0);
  }
}

TEST_F(ReaderTest, PreparePositionParams) {
  struct Case {
    std::string p1, p2;
    unsigned bits;
    std::string want1, want2;
    RelativeMode mode1, mode2;
  };
  const std::vector<Case> cases = {
      {"eof", "EOF", 3, "99999", "99999", RelativeMode::Absolute, RelativeMode::Absolute},
      {"r+2", "R-1:00", 3, "2", "1:00", RelativeMode::Forward, RelativeMode::Backward},
      {"R+EOF", "r", 3, "EOF", "r", RelativeMode::Forward, RelativeMode::Absolute},
      {"R+2", "R+5", 1, "2", "R+5", RelativeMode::Forward, RelativeMode::Absolute},
      {"EOF", "R-3", 2, "EOF", "3", RelativeMode::Absolute, RelativeMode::Backward},
      {"", "", 3, "", "", RelativeMode::Absolute, RelativeMode::Absolute},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.p1 + " " + c.p2);
    ctx.script.relativeMode = {RelativeMode::Absolute, RelativeMode::Absolute};
    ctx.script.statement.param[1] = c.p1;
    ctx.script.statement.param[2] = c.p2;
    PreparePositionParams(ctx, c.bits);
    EXPECT_EQ(ctx.script.statement.param[1], c.want1);
    EXPECT_EQ(ctx.script.statement.param[2], c.want2);
    EXPECT_EQ(ctx.script.relativeMode[0], c.mode1);
    EXPECT_EQ(ctx.script.relativeMode[1], c.mode2);
  }
}

TEST_F(ReaderTest, RequireDocumentAndNotReadyText) {
  ctx.script.statement.command = "TRIM";
  EXPECT_TRUE(RequireDocument(ctx));
  EXPECT_EQ(ctx.script.errorText, "TRIM: No file loaded.");
  EXPECT_EQ(NotReadyText(ctx), "Command: TRIM\r\nCondition: not ready.\r\nPlease restart the script or the program.");
  testing::LoadUniform(ctx, 10);
  ctx.script.errorText.clear();
  EXPECT_FALSE(RequireDocument(ctx));
  EXPECT_EQ(ctx.script.errorText, "");
}

// Positions on a 44.1 kHz document of 1000 frames (1152 / 44100 s each).
class PositionTest : public ReaderTest {
 protected:
  void SetUp() override {
    ReaderTest::SetUp();
    testing::LoadUniform(ctx, 1000);
  }
  // Tokenizes, prepares both parameters and applies them, as SELECT does.
  void Select(const std::string& line) {
    ASSERT_TRUE(TokenizeLine(line, ScriptDate{}, ctx.script.statement));
    PreparePositionParams(ctx, 3);
    ApplyPositions(ctx);
  }
  static int32_t Frame(double seconds) { return static_cast<int32_t>(std::nearbyint(seconds * 44100 / 1152)); }
};

TEST_F(PositionTest, AbsoluteSelection) {
  Select("   select 1.5 , 3");
  EXPECT_EQ(ctx.doc.cursor, Frame(1.5));
  EXPECT_EQ(ctx.doc.selectionEnd, Frame(3));
  EXPECT_TRUE(ctx.doc.selectionExists);
  EXPECT_EQ(ctx.script.selectionSpan, Frame(3) - Frame(1.5));
  // The boxes show the times of the positions reached.
  EXPECT_EQ(ctx.script.positionBoxes[0].text, TimeText(TimeAtFrame(ctx.doc, Frame(1.5)), 3));
  EXPECT_FALSE(ctx.script.positionBoxes[0].invalid);
}

TEST_F(PositionTest, OneParameterPlacesTheCursorAndDropsTheSelection) {
  testing::Select(ctx.doc, 10, 20);
  Select("SELECT 2");
  EXPECT_EQ(ctx.doc.cursor, Frame(2));
  EXPECT_EQ(ctx.doc.selectionEnd, Frame(2));
  EXPECT_FALSE(ctx.doc.selectionExists);
  EXPECT_EQ(ctx.script.selectionSpan, 0);
}

TEST_F(PositionTest, EofIsAfterTheLastFrame) {
  Select("SELECT EOF");
  EXPECT_EQ(ctx.doc.cursor, 1000);
  Select("SELECT 0 eof");
  EXPECT_EQ(ctx.doc.cursor, 0);
  EXPECT_EQ(ctx.doc.selectionEnd, 1000);
  EXPECT_EQ(ctx.script.selectionSpan, 1000);
}

TEST_F(PositionTest, RelativePositionsShareTheCursorBeforeTheCommand) {
  Select("SELECT 10");
  const int32_t start = ctx.doc.cursor;
  const double t0 = TimeAtFrame(ctx.doc, start);
  Select("SELECT R+2 R+5");
  EXPECT_EQ(ctx.doc.cursor, FrameAtTime(ctx.doc, t0 + 2));
  EXPECT_EQ(ctx.doc.selectionEnd, FrameAtTime(ctx.doc, t0 + 5));
  Select("SELECT 10");
  Select("SELECT R-4 R+1");
  EXPECT_EQ(ctx.doc.cursor, FrameAtTime(ctx.doc, t0 - 4));
  EXPECT_EQ(ctx.doc.selectionEnd, FrameAtTime(ctx.doc, t0 + 1));
}

TEST_F(PositionTest, PositionsAreClampedToTheDocument) {
  Select("SELECT 5");
  Select("SELECT R-60 R+99999");
  EXPECT_EQ(ctx.doc.cursor, 0);
  EXPECT_EQ(ctx.doc.selectionEnd, 1000);
}

TEST_F(PositionTest, UnparsableBoxIsMarkedAndChangesNothing) {
  Select("SELECT 2");
  const int32_t cursor = ctx.doc.cursor;
  // The second box receives a file name (INSERT with two parameters).
  Select("INSERT 4 /music/other.mp3");
  EXPECT_EQ(ctx.doc.cursor, Frame(4));
  EXPECT_FALSE(ctx.doc.selectionExists);
  EXPECT_TRUE(ctx.script.positionBoxes[1].invalid);
  EXPECT_EQ(ctx.script.positionBoxes[1].text, "/music/other.");  // cut to 13 characters
  EXPECT_NE(cursor, ctx.doc.cursor);
}

TEST_F(PositionTest, BoxTextsAreCutToThirteenCharacters) {
  // "0000000000001.5" parses as 1.5 but the box keeps only "0000000000001".
  Select("SELECT 0000000000001.5");
  EXPECT_EQ(ctx.doc.cursor, Frame(1));
}

TEST(ConvertCharset, LocaleTextsBecomeUtf8AndBack) {
  struct Case {
    const char* name;
    std::string text;
    const char* to;
    const char* from;
    std::string want;
  };
  const std::string longLatin1(10000, '\xE9');
  std::string longUtf8;
  for (int i = 0; i < 10000; ++i) longUtf8 += "\xC3\xA9";
  const std::vector<Case> cases = {
      {"Latin-1 script line", "ID3V2.TITLE Caf\xE9", "UTF-8", "ISO-8859-1", "ID3V2.TITLE Caf\xC3\xA9"},
      {"Windows-1252 quotes", "\x93q\x94", "UTF-8", "WINDOWS-1252", "\xE2\x80\x9Cq\xE2\x80\x9D"},
      {"longer than the conversion buffer", longLatin1, "UTF-8", "ISO-8859-1", longUtf8},
      {"invalid byte becomes U+FFFD", "a\xFF" "b", "UTF-8", "UTF-8", "a\xEF\xBF\xBD" "b"},
      {"cut sequence at the end", "a\xC3", "UTF-8", "UTF-8", "a\xEF\xBF\xBD"},
      {"log line to Latin-1", "Caf\xC3\xA9", "ISO-8859-1", "UTF-8", "Caf\xE9"},
      {"unknown character set", "abc", "NO-SUCH-SET", "UTF-8", "abc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ConvertCharset(c.text, c.to, c.from, "\xEF\xBF\xBD"), c.want) << c.name;
  }
  // A character Latin-1 cannot hold is transliterated or replaced, never dropped silently.
  std::string out = ConvertCharset("\xE2\x99\xAA!", "ISO-8859-1//TRANSLIT", "UTF-8", "?");
  EXPECT_FALSE(out.empty());
  EXPECT_EQ(out.back(), '!');
  EXPECT_GE(out.size(), 2u);
}

}  // namespace
}  // namespace quorvel
