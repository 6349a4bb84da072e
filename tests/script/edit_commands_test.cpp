// The editing, file and playback commands of scripts, run through the statement
// executor on documents built in memory and on the fixtures.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/document_ops.h"
#include "core/edit_fixture.h"
#include "core/headless_host.h"
#include "core/mpeg_header.h"
#include "script/command_texts.h"
#include "script/commands.h"
#include "script/edit_commands.h"
#include "script/reader.h"

namespace quorvel {
namespace {

using testing::FrameShape;
using testing::LoadUniform;
using testing::Range;
using testing::Refs;
using testing::Select;
using testing::TempFolder;
using testing::TestData;

class ScriptCommandTest : public ::testing::Test {
 protected:
  ScriptCommandTest() { ctx.script.active = true; }

  // Executes one line and returns the statement's error text.
  std::string Run(const std::string& line) {
    ExecuteStatement(ctx, line, ExecuteCommand);
    return ctx.script.errorText;
  }

  int32_t At(double seconds) const { return FrameAtTime(ctx.doc, seconds); }

  HeadlessHost host;
  Context ctx{host};
};

struct ErrorCase {
  std::string line;
  const char* error;
  const char* before = "";  // a line run first, which must succeed
  int32_t frames = 500;     // the frame count afterwards
};

// Every error text a command can give, on a document of 500 frames (13 s)
// without a selection and with an empty clipboard: the checks that fail before
// an operation runs and the result codes of the operations. (Texts that only a
// failing file or player produces are left to the tests of those cases; a few
// cannot be reached from a script at all, such as an operation's "frame count
// zero" behind the check for a loaded file.)
TEST_F(ScriptCommandTest, ChecksFailWithTheirTexts) {
  const ErrorCase cases[] = {
      {"CURSOR", "SELECT: missing parameter(s)."},
      {"SELECT 1:60", "1st SELECT parameter invalid:\r\n1:60"},
      {"SELECT 1 abc", "2nd SELECT parameter invalid:\r\nabc"},
      {"SELECT R+EOF", "1st SELECT parameter invalid:\r\nEOF"},
      {"TRIM 1", "TRIM: must have 0 or 2 parameters."},
      {"TRIM 10 EOF", "2nd TRIM parameter invalid:\r\nEOF"},
      {"TRIM R+1 2", "1st TRIM parameter invalid:\r\nR+1"},
      {"TRIM", "TRIM: multiple frames not selected."},
      {"DELETE 1", "DELETE: must have 0 or 2 parameters."},
      {"DELETE", "DELETE: multiple frames not selected."},
      {"DELETE 25:0:0 2", "1st DELETE parameter invalid:\r\n25:0:0"},
      {"BASEDELETE 1", "BASEDELETE: must have 2 parameters."},
      {"BASEDELETE x 1", "1st BASEDELETE parameter invalid:\r\nx"},
      {"BASEDELETE 1 100000", "2nd BASEDELETE parameter invalid:\r\n100000"},
      {"CUT 1", "CUT: must have 0 or 2 parameters."},
      {"CUT", "CUT: multiple frames not selected."},
      {"CUT 1 y", "2nd CUT parameter invalid:\r\ny"},
      {"COPY 1", "COPY: must have 0 or 2 parameters."},
      {"COPY", "COPY: you must select some frames first."},
      {"PASTE", "PASTE: clipboard is empty."},
      {"PASTE x", "1st PASTE parameter invalid:\r\nx"},
      {"PASTE 1 x", "2nd PASTE parameter invalid:\r\nx"},
      {"FADEIN", "FADEIN: missing parameter(s)."},
      {"FADEIN 1 2", "FADEIN: must have 1 or 3 parameters."},
      {"FADEIN 0.5", "FADEIN magnitude parameter invalid:\r\n0.5"},
      {"FADEOUT 60.6", "FADEOUT magnitude parameter invalid:\r\n60.6"},
      {"FADEOUT 10dB", "FADEOUT magnitude parameter invalid:\r\n10dB"},
      {"FADEOUT 10", "FADEOUT: multiple frames not selected."},
      {"FADEIN x 1 10", "FADEIN start time invalid:\r\nx"},
      {"FADEOUT 1 x 10", "FADEOUT end time invalid:\r\nx"},
      {"VOLUME", "VOLUME: missing parameter(s)."},
      {"VOLUME 61", "VOLUME magnitude parameter invalid:\r\n61"},
      {"VOLUME -60.6", "VOLUME magnitude parameter invalid:\r\n-60.6"},
      {"VOLUME nan", "VOLUME magnitude parameter invalid:\r\nnan"},
      {"VOLUME -3 CENTER", "VOLUME channel parameter invalid:\r\nCENTER"},
      {"VOLUME 3 Center", "VOLUME channel parameter invalid:\r\nCenter"},
      {"VOLUME 3 left", "VOLUME: multiple frames not selected."},
      {"VOLUME 1 x 3", "VOLUME end time invalid:\r\nx"},
      {"SILENCE 1 2", "SILENCE: must have 1 or 3 parameters."},
      {"SILENCE", "SILENCE length parameter invalid:\r\n"},
      {"SILENCE abc", "SILENCE length parameter invalid:\r\nabc"},
      {"SILENCE 1 2 1:75", "SILENCE length parameter invalid:\r\n1:75"},
      {"SILENCE x 2 1", "SILENCE start time invalid:\r\nx"},
      {"SILENCE 0.01", "SILENCE to insert must be at least one frame long."},
      {"INSERT", "INSERT: no parameter."},
      {"INSERT x b.mp3", "1st INSERT parameter invalid:\r\nx"},
      {"INSERT 1 x b.mp3", "2nd INSERT parameter invalid:\r\nx"},
      {"LOAD", "LOAD: no parameter."},
      {"SAVEAS", "SAVEAS: no parameter."},
      {"SAVESELECTION", "SAVESELECTION: must have 1 or 3 parameters."},
      {"SAVESELECTION 1 2", "SAVESELECTION: must have 1 or 3 parameters."},
      {"SAVESELECTION a.mp3", "SAVESELECTION: no multiple frames selection."},
      {"SAVESELECTION x 2 a.mp3", "1st SAVESELECTION parameter invalid:\r\nx"},
      {"SPLIT a.mp3", "SPLIT: at least two parameters required."},
      {"PLAYSELECTION 1", "PLAYSELECTION: must have 0 or 2 parameters."},
      {"PLAYSELECTION EOF 2", "1st PLAYSELECTION parameter invalid:\r\nEOF"},
      {"PLAYSELECTION", "PLAYSELECTION: no selection."},
      {"PLAYINPUT", "PLAYINPUT: disabled - no file loaded? not ready?"},
      {"PLAYOUTPUT", "PLAYOUTPUT: disabled - no file saved? not ready?"},
      {"PLAYPREVIEW",
       "Command: PLAYPREVIEW\r\nCondition: not ready.\r\nPlease restart the script or the program."},
      // The reader's own texts.
      {"REM x", "Syntax error: REM"},
      {"ID3V2.FOO x", "Syntax error: ID3V2.FOO"},
      {"SELECT " + std::string(1018, '1'), "Line too long (over 1 KB)."},
      {"SELECT " + std::string(32761, '1'), "Line too long (over 32K)."},
      // Second parameters and start times not covered above.
      {"DELETE 1 x", "2nd DELETE parameter invalid:\r\nx"},
      {"CUT x 1", "1st CUT parameter invalid:\r\nx"},
      {"COPY x 1", "1st COPY parameter invalid:\r\nx"},
      {"COPY 1 x", "2nd COPY parameter invalid:\r\nx"},
      {"VOLUME x 1 3", "VOLUME start time invalid:\r\nx"},
      {"SILENCE 1 x 1", "SILENCE end time invalid:\r\nx"},
      {"SAVESELECTION 1 x /nonexistent/a.mp3", "2nd SAVESELECTION parameter invalid:\r\nx"},
      {"PLAYSELECTION 1 x", "2nd PLAYSELECTION parameter invalid:\r\nx"},
      // The operations' result codes.
      {"BASEDELETE 1 1", "BASEDELETE: multiple frames not selected."},
      {"BASEDELETE 0 EOF", "BASEDELETE: at least one frame must be left."},
      {"DELETE 0 EOF", "DELETE: at least one frame must be left."},
      {"CUT 0 EOF", "CUT: at least one frame must be left."},
      {"TRIM 0 99999", "TRIM: multiple frames not selected."},  // everything selected: trim is not available
      {"FADEIN 0 0.03 10", "FADEIN: only one frame selected (at least two needed)."},
      {"FADEOUT 0 0.03 10", "FADEOUT: only one frame selected (at least two needed)."},
      {"SAVESELECTION 0 99999 /nonexistent/a.mp3", "SAVESELECTION: all is selected, use SAVE[AS] command instead."},
      {"SPLIT /nonexistent/a.mp3 /nonexistent/b.mp3", "SPLIT: 3rd parameter missing (multiple frames selection exists).",
       "SELECT 1 2"},
      {"SPLIT /nonexistent/a.mp3 /nonexistent/b.mp3 /nonexistent/c.mp3", "SPLIT: all is selected, use SAVE[AS] instead.",
       "SELECT 0 EOF"},
      {"SPLIT /nonexistent/a.mp3 /nonexistent/b.mp3", "SPLIT: no selection, cursor at an end, use SAVE[AS] instead."},
      {"SPLIT /nonexistent/a.mp3 /nonexistent/b.mp3", "SPLIT: no selection, cursor at an end, use SAVE[AS] instead.",
       "CURSOR EOF"},
      {"INSERT 0 99999 /nonexistent/b.mp3", "INSERT: all is selected, use LOAD instead to replace the file."},
      {"SILENCE 99999", "SILENCE: warning - maximum of 256K frames have been inserted.", "", 500 + 262144},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.line.substr(0, 60));
    LoadUniform(ctx, 500);
    ctx.script.baseOffset = 0;
    if (*c.before != '\0') {
      ASSERT_EQ(Run(c.before), "");
    }
    EXPECT_EQ(Run(c.line), c.error);
    EXPECT_EQ(ctx.doc.editCount, c.frames);
  }
}

// Without a document, the parameter-count checks that come first still win;
// every other command names itself.
TEST_F(ScriptCommandTest, NoDocument) {
  const ErrorCase cases[] = {
      {"SELECT", "SELECT: missing parameter(s)."},
      {"SELECT 1", "SELECT: No file loaded."},
      {"CURSOR 1", "CURSOR: No file loaded."},
      {"TRIM 1", "TRIM: No file loaded."},
      {"DELETE", "DELETE: No file loaded."},
      {"BASEDELETE", "BASEDELETE: No file loaded."},
      {"COPY", "COPY: No file loaded."},
      {"PASTE", "PASTE: No file loaded."},
      {"SELECTALL", "SELECTALL: No file loaded."},
      {"UNSELECT", "UNSELECT: No file loaded."},
      {"FADEIN", "FADEIN: No file loaded."},
      {"VOLUME", "VOLUME: missing parameter(s)."},
      {"VOLUME 3", "VOLUME: No file loaded."},
      {"SILENCE x", "SILENCE length parameter invalid:\r\nx"},
      {"SILENCE 1", "SILENCE: No file loaded."},
      {"SILENCE 1 2 3", "SILENCE: No file loaded."},
      {"INSERT", "INSERT: No file loaded."},
      {"SAVEAS", "SAVEAS: no parameter."},
      {"SAVEAS a.mp3", "SAVEAS: No file loaded."},
      {"SAVE", "SAVE: No file loaded."},
      {"SAVESELECTION", "SAVESELECTION: No file loaded."},
      {"SPLIT a", "SPLIT: at least two parameters required."},
      {"SPLIT a b", "SPLIT: No file loaded."},
      {"PLAYPREVIEW", "PLAYPREVIEW: No file loaded."},
      {"PLAYSELECTION", "PLAYSELECTION: No file loaded."},
      {"PLAYSELECTION 1 2", "PLAYSELECTION: No file loaded."},
      {"CUT", "CUT: No file loaded."},
      {"SILENCE 1 2", "SILENCE: must have 1 or 3 parameters."},
      {"PLAYINPUT", "PLAYINPUT: disabled - no file loaded? not ready?"},
      {"RELOAD", "Command: RELOAD\r\nCondition: not ready.\r\nPlease restart the script or the program."},
      {"NOID3V2", "NOID3V2: No file loaded."},
      {"REMOVEID3V2", "REMOVEID3V2: No file loaded."},
      {"NOID3V1", "NOID3V1: No file loaded."},
      {"REMOVEID3V1", "REMOVEID3V1: No file loaded."},
      {"NOLYRICS", "NOLYRICS: No file loaded."},
      {"REMOVELYRICS", "REMOVELYRICS: No file loaded."},
      {"NOOTHER", "NOOTHER: No file loaded."},
      {"REMOVEOTHER", "REMOVEOTHER: No file loaded."},
      {"CLOSE", ""},
      {"UNLOAD", ""},
  };
  for (const ErrorCase& c : cases) EXPECT_EQ(Run(c.line), c.error) << c.line;
}

TEST_F(ScriptCommandTest, SelectPlacesCursorAndSelection) {
  LoadUniform(ctx, 500);
  EXPECT_EQ(Run("   select 1.5 , 3"), "");
  EXPECT_EQ(ctx.doc.cursor, At(1.5));
  EXPECT_EQ(ctx.doc.selectionEnd, At(3));
  EXPECT_TRUE(ctx.doc.selectionExists);

  EXPECT_EQ(Run("CURSOR 2"), "");
  EXPECT_EQ(ctx.doc.cursor, At(2));
  EXPECT_FALSE(ctx.doc.selectionExists);

  const double reference = TimeAtFrame(ctx.doc, ctx.doc.cursor);
  EXPECT_EQ(Run("SELECT R+2 R+5"), "");
  EXPECT_EQ(ctx.doc.cursor, At(reference + 2));
  EXPECT_EQ(ctx.doc.selectionEnd, At(reference + 5));
  EXPECT_EQ(Run("SELECT R-1"), "");
  EXPECT_EQ(ctx.doc.cursor, At(TimeAtFrame(ctx.doc, At(reference + 2)) - 1));

  EXPECT_EQ(Run("SELECT EOF"), "");
  EXPECT_EQ(ctx.doc.cursor, 500);
}

TEST_F(ScriptCommandTest, TrimWithOneParameterLeavesTheCursor) {
  LoadUniform(ctx, 500);
  Run("CURSOR 3");
  const int32_t cursor = ctx.doc.cursor;
  EXPECT_EQ(Run("TRIM 5"), "TRIM: must have 0 or 2 parameters.");
  EXPECT_EQ(ctx.doc.cursor, cursor);
}

TEST_F(ScriptCommandTest, TrimKeepsTheSelectionAndCountsFramesBeforeIt) {
  LoadUniform(ctx, 500);
  EXPECT_EQ(Run("TRIM 2 4"), "");
  EXPECT_EQ(Refs(ctx.doc), Range(At(2), At(4)));
  EXPECT_EQ(ctx.script.baseOffset, At(2));
  // Everything selected: nothing outside to trim away.
  EXPECT_EQ(Run("TRIM"), "TRIM: multiple frames not selected.");
}

TEST_F(ScriptCommandTest, DeleteToEofAndBaseDeleteInSourcePositions) {
  LoadUniform(ctx, 500);
  EXPECT_EQ(Run("DELETE 10 EOF"), "");
  EXPECT_EQ(Refs(ctx.doc), Range(0, At(10)));

  LoadUniform(ctx, 500);
  ctx.script.baseOffset = 0;
  const int32_t one = At(1);
  EXPECT_EQ(Run("DELETE 0 1"), "");
  EXPECT_EQ(Run("DELETE 0 1"), "");
  EXPECT_EQ(ctx.script.baseOffset, 2 * one);
  const int32_t from = At(2);
  const int32_t to = At(3);
  EXPECT_EQ(Run("BASEDELETE 2 3"), "");
  std::vector<int32_t> expected = Range(2 * one, from);
  for (int32_t i = to; i < 500; ++i) expected.push_back(i);
  EXPECT_EQ(Refs(ctx.doc), expected);
  EXPECT_EQ(ctx.script.selectionSpan, to - from);
  EXPECT_EQ(ctx.script.baseOffset, 2 * one + (to - from));
}

TEST_F(ScriptCommandTest, DeleteOfEverythingLeavesOneFrame) {
  LoadUniform(ctx, 100);
  EXPECT_EQ(Run("DELETE 0 EOF"), "DELETE: at least one frame must be left.");
  EXPECT_EQ(ctx.doc.editCount, 100);
  EXPECT_EQ(Run("CUT 0 EOF"), "CUT: at least one frame must be left.");
  EXPECT_EQ(Run("BASEDELETE 0 EOF"), "BASEDELETE: at least one frame must be left.");
}

TEST_F(ScriptCommandTest, CutCopyPaste) {
  LoadUniform(ctx, 500);
  EXPECT_EQ(Run("PASTE 5"), "PASTE: clipboard is empty.");
  EXPECT_EQ(ctx.doc.cursor, At(5));
  EXPECT_FALSE(ctx.doc.selectionExists);

  EXPECT_EQ(Run("COPY 0 1"), "");
  const int32_t n = At(1);
  EXPECT_EQ(Run("PASTE EOF"), "");
  EXPECT_EQ(ctx.doc.editCount, 500 + n);
  EXPECT_EQ(ctx.doc.ref[500], 0);

  EXPECT_EQ(Run("CUT 2 3"), "");
  EXPECT_EQ(ctx.doc.editCount, 500 + n - (At(3) - At(2)));
  EXPECT_EQ(ctx.script.baseOffset, 0);  // CUT does not count as a deletion
  // Paste over a selection replaces it.
  const int32_t before = ctx.doc.editCount;
  const int32_t clip = ctx.doc.clip.clipCount;
  EXPECT_EQ(Run("PASTE 0 1"), "");
  EXPECT_EQ(ctx.doc.editCount, before - At(1) + clip);
}

TEST_F(ScriptCommandTest, SelectAllAndUnselect) {
  LoadUniform(ctx, 50);
  EXPECT_EQ(Run("UNSELECT"), "");  // nothing selected: nothing happens
  EXPECT_EQ(Run("SELECTALL"), "");
  EXPECT_EQ(ctx.doc.selectionEnd, 50);
  EXPECT_TRUE(ctx.doc.selectionExists);
  EXPECT_EQ(Run("UNSELECT"), "");
  EXPECT_FALSE(ctx.doc.selectionExists);
}

TEST_F(ScriptCommandTest, FadeSteps) {
  struct Case {
    const char* line;
    int steps;
    bool fadeIn;
  };
  const Case cases[] = {
      {"FADEOUT 60.5", 40, false}, {"FADEIN 1", 1, true},    {"FADEIN 2.25", 2, true},  // 1.5 rounds to 2
      {"FADEIN 3.75", 2, true},    {"FADEOUT 30", 20, false}, {"FADEIN 0 2 +9", 6, true},
  };
  for (const Case& c : cases) {
    LoadUniform(ctx, 200);
    Select(ctx.doc, 10, 100);
    EXPECT_EQ(Run(c.line), "") << c.line;
    EXPECT_EQ(ctx.edit.fadeMagnitude, c.steps) << c.line;
    EXPECT_EQ(ctx.edit.fadeIn, c.fadeIn) << c.line;
  }
  LoadUniform(ctx, 200);
  Select(ctx.doc, 10, 11);
  EXPECT_EQ(Run("FADEIN 10"), "FADEIN: only one frame selected (at least two needed).");
}

TEST_F(ScriptCommandTest, VolumeStepsAndChannels) {
  LoadUniform(ctx, 200);
  Select(ctx.doc, 10, 20);
  EXPECT_EQ(Run("VOLUME 0.7"), "");
  for (int32_t p = 0; p < 200; ++p) ASSERT_EQ(ctx.doc.gainLeft[p] | ctx.doc.gainRight[p], 0);
  EXPECT_FALSE(ctx.doc.undoAvailable);

  EXPECT_EQ(Run("VOLUME -3 right"), "");
  EXPECT_EQ(ctx.doc.gainRight[10], -2);
  EXPECT_EQ(ctx.doc.gainLeft[10], 0);
  EXPECT_EQ(ctx.doc.gainRight[20], 0);

  EXPECT_EQ(Run("VOLUME 0 1 6 LEFT"), "");
  EXPECT_EQ(ctx.doc.gainLeft[0], 4);
  EXPECT_EQ(ctx.doc.gainRight[0], 0);

  // Valid positions stay applied when the channel is refused.
  EXPECT_EQ(Run("VOLUME 2 3 6 CENTER"), "VOLUME channel parameter invalid:\r\nCENTER");
  EXPECT_EQ(ctx.doc.cursor, At(2));
  EXPECT_EQ(ctx.doc.selectionEnd, At(3));
}

TEST_F(ScriptCommandTest, Silence) {
  LoadUniform(ctx, 100);
  EXPECT_EQ(Run("SILENCE 1"), "");
  EXPECT_EQ(ctx.doc.editCount, 100 + 38);  // 1 s / 26.122 ms, rounded

  LoadUniform(ctx, 100, FrameShape{1, 0, 9, 0});  // 48 kHz
  EXPECT_EQ(Run("SILENCE 99999"), "SILENCE: warning - maximum of 256K frames have been inserted.");
  EXPECT_EQ(ctx.doc.editCount, 100 + 262144);
  // The blank frames are of the file's 48 kHz, so the length asked for is the length inserted.
  ASSERT_LT(ctx.doc.ref[0], 0);
  EXPECT_EQ(DecodeBlankFrameCode(-ctx.doc.ref[0]).freqIndex, 1);

  LoadUniform(ctx, 100);
  EXPECT_EQ(Run("SILENCE 0 1 0.5"), "");  // replaces the first second
  EXPECT_EQ(ctx.doc.editCount, 100 - At(1) + 19);
}

TEST_F(ScriptCommandTest, SplitWithSelectionNeedsThreeNames) {
  LoadUniform(ctx, 100);
  Select(ctx.doc, 10, 20);
  TempFolder dir;
  const std::string a = (dir.path / "a.mp3").string();
  const std::string b = (dir.path / "b.mp3").string();
  EXPECT_EQ(Run("SPLIT " + a + " " + b), "SPLIT: 3rd parameter missing (multiple frames selection exists).");
  EXPECT_FALSE(std::filesystem::exists(a));
  EXPECT_FALSE(std::filesystem::exists(b));
}

TEST_F(ScriptCommandTest, LoadInsertReloadClose) {
  const std::filesystem::path fixture = TestData("cbr128-info.mp3");
  const std::filesystem::path other = TestData("cbr96-no-info.mp3");
  ASSERT_FALSE(fixture.empty()) << "QUORVEL_TEST_DATA not set";
  TempFolder dir;
  const std::filesystem::path spaced = dir.path / "with blanks, and commas.mp3";
  std::filesystem::copy_file(fixture, spaced);

  EXPECT_EQ(Run("LOAD \"" + spaced.string() + "\""), "");
  EXPECT_EQ(ctx.doc.editCount, 60);
  EXPECT_EQ(ctx.doc.sourceName, spaced.string());

  // A file name that reads as a time is still only a file name.
  EXPECT_EQ(Run("INSERT 1 5").substr(0, 8), "INSERT: ");
  EXPECT_EQ(ctx.doc.editCount, 60);
  EXPECT_FALSE(ctx.doc.selectionExists);

  EXPECT_EQ(Run("INSERT 1 " + other.string()), "");
  EXPECT_EQ(ctx.doc.editCount, 60 + 59);

  EXPECT_EQ(Run("RELOAD"), "");
  EXPECT_EQ(ctx.doc.editCount, 60);

  const std::string missing = Run("LOAD " + (dir.path / "missing.mp3").string());
  EXPECT_EQ(missing.substr(0, 7), "LOAD:\r\n");
  EXPECT_GT(missing.size(), 7u);
  EXPECT_EQ(ctx.doc.editCount, 0);

  EXPECT_EQ(Run("CLOSE"), "");
  EXPECT_EQ(Run("CLOSE"), "");
}

// The commands that write files, on a real source: their parameter forms and
// the codes of save selection and split turned into statement texts.
TEST_F(ScriptCommandTest, SaveSaveSelectionAndSplit) {
  const std::filesystem::path fixture = TestData("cbr96-no-info.mp3");
  ASSERT_FALSE(fixture.empty()) << "QUORVEL_TEST_DATA not set";
  TempFolder dir;
  const std::filesystem::path source = dir.path / "source.mp3";
  std::filesystem::copy_file(fixture, source);
  auto out = [&](const char* name) { return (dir.path / name).string(); };
  auto size = [](const std::string& path) {
    std::error_code ec;
    auto n = std::filesystem::file_size(path, ec);
    return ec ? -1 : static_cast<long>(n);
  };
  constexpr long kFrame = 313;  // 96 kbps at 44.1 kHz, unpadded frames are 313 bytes

  ASSERT_EQ(Run("LOAD " + source.string()), "");
  ASSERT_EQ(ctx.doc.editCount, 59);
  EXPECT_EQ(Run("SAVESELECTION 0 EOF " + out("all.mp3")),
            "SAVESELECTION: all is selected, use SAVE[AS] command instead.");
  EXPECT_FALSE(std::filesystem::exists(out("all.mp3")));
  EXPECT_EQ(Run("SAVESELECTION 0 0.5 " + out("part.mp3")), "");
  EXPECT_NEAR(size(out("part.mp3")), At(0.5) * kFrame, At(0.5));
  EXPECT_EQ(Run("SAVESELECTION " + out("again.mp3")), "");  // the selection left by the last command
  EXPECT_EQ(size(out("again.mp3")), size(out("part.mp3")));

  EXPECT_EQ(Run("SPLIT " + out("x.mp3") + " " + out("y.mp3") + " " + out("z.mp3")), "");
  EXPECT_EQ(size(out("x.mp3")), -1);  // nothing before the selection
  EXPECT_EQ(size(out("y.mp3")), size(out("part.mp3")));
  EXPECT_GT(size(out("z.mp3")), 0);

  EXPECT_EQ(Run("SELECTALL"), "");
  EXPECT_EQ(Run("SPLIT " + out("1.mp3") + " " + out("2.mp3") + " " + out("3.mp3")),
            "SPLIT: all is selected, use SAVE[AS] instead.");
  EXPECT_EQ(Run("CURSOR EOF"), "");
  EXPECT_EQ(Run("SPLIT " + out("1.mp3") + " " + out("2.mp3")),
            "SPLIT: no selection, cursor at an end, use SAVE[AS] instead.");
  EXPECT_EQ(Run("CURSOR 0.5"), "");
  EXPECT_EQ(Run("SPLIT " + out("1.mp3") + " " + out("2.mp3")), "");
  EXPECT_EQ(size(out("1.mp3")) + size(out("2.mp3")), size(source.string()));

  // Save as, then a quick save over the saved file.
  EXPECT_EQ(Run("DELETE 0 0.5"), "");
  EXPECT_EQ(Run("SAVEAS \"" + out("saved as.mp3") + "\""), "");
  EXPECT_EQ(size(out("saved as.mp3")), size(source.string()) - size(out("part.mp3")));
  EXPECT_EQ(Run("SAVE"), "");
  EXPECT_TRUE(std::filesystem::exists(ctx.doc.documentName));
}

TEST_F(ScriptCommandTest, PlayCommandsGoThroughTheHook) {
  LoadUniform(ctx, 100);
  std::vector<PlayRequest> played;
  ctx.playAvailable = [](const Context&, PlayRequest) { return true; };
  ctx.play = [&](Context& c, PlayRequest r) {
    played.push_back(r);
    c.script.errorText = "No application is associated with the specified file.";
    return r == PlayRequest::Preview ? 2 : 31;
  };
  EXPECT_EQ(Run("PLAYPREVIEW"), "PLAYPREVIEW:\r\nNo application is associated with the specified file.");
  EXPECT_EQ(Run("PLAYINPUT"), "PLAYINPUT: No application is associated with the specified file.");
  EXPECT_EQ(Run("PLAYSELECTION 1 2"), "PLAYSELECTION: No application is associated with the specified file.");
  EXPECT_EQ(ctx.doc.cursor, At(1));
  EXPECT_EQ(ctx.doc.selectionEnd, At(2));
  ctx.play = [&](Context&, PlayRequest r) {
    played.push_back(r);
    return 0;
  };
  EXPECT_EQ(Run("PLAYOUTPUT"), "");
  EXPECT_EQ(played, (std::vector<PlayRequest>{PlayRequest::Preview, PlayRequest::Input, PlayRequest::Selection,
                                              PlayRequest::Output}));
}

TEST(ScriptCodeTexts, OperationCodesBecomeStatementTexts) {
  HeadlessHost host;
  Context ctx{host};
  ctx.script.statement.command = "LOAD";
  const std::string notReady = "Command: LOAD\r\nCondition: not ready.\r\nPlease restart the script or the program.";
  struct Case {
    std::span<const CodeText> table;
    uint8_t code;
    const char* expected;
  };
  const std::string msg = "MSG";
  const Case cases[] = {
      {TrimCodeTexts(), 0, ""},
      {TrimCodeTexts(), 2, "TRIM: some frames must be out of the selection in order to trim."},
      {DeleteCodeTexts(), 1, "DELETE: edited frames count zero, nothing to delete."},
      {DeleteCodeTexts(), 3, "DELETE: multiple frames not selected."},
      {CutCodeTexts(), 1, "CUT: edited frames count zero, nothing to delete."},
      {CopyCodeTexts(), 254, "COPY: frame count zero."},
      {PasteCodeTexts(), 1, "PASTE: edited frames count zero, nothing to delete prior to paste into selection."},
      {PasteCodeTexts(), 11, "PASTE: clipboard is empty."},
      {SelectAllCodeTexts(), 1, "SELECTALL: frame count zero."},
      {UnselectCodeTexts(), 1, "UNSELECT: no selection."},
      {FadeCodeTexts(true), 1, "FADEIN: multiple frames not selected."},
      {FadeCodeTexts(false), 2, "FADEOUT: only one frame selected (at least two needed)."},
      {VolumeCodeTexts(), 1, "VOLUME: multiple frames not selected."},
      {SilenceCodeTexts(), 0, ""},
      {InsertCodeTexts(), 3, "INSERT: MSG"},
      {InsertCodeTexts(), 14, "INSERT: MSG"},
      {InsertCodeTexts(), 128, "INSERT: Maximum number of files already inserted."},
      {InsertCodeTexts(), 130, "INSERT: all is selected, use LOAD instead to replace the file."},
      {InsertCodeTexts(), 0, ""},
      {InsertCodeTexts(), 200, ""},
      {LoadCodeTexts(), 201, "LOAD:\r\nMSG"},
      {SaveAsCodeTexts(), 102, "SAVEAS:\r\nMSG"},
      {SaveCodeTexts(), 101, "SAVE:\r\nMSG"},
      {SaveCodeTexts(), 102, "SAVE: MSG"},
      {SaveCodeTexts(), 103, "SAVE: error writing id3v2 tag, not saved."},
      {SaveCodeTexts(), 7, ""},
      {SaveSelectionCodeTexts(), 2, "SAVESELECTION: all is selected, use SAVE[AS] command instead."},
      {SaveSelectionCodeTexts(), 102, "SAVESELECTION:\r\nMSG"},
      {SplitCodeTexts(), 1, "SPLIT: all is selected, use SAVE[AS] instead."},
      {SplitCodeTexts(), 2, "SPLIT: no selection, cursor at an end, use SAVE[AS] instead."},
      {SplitCodeTexts(), 3, "SPLIT:\r\nMSG"},
      {ReloadCodeTexts(), 201, "RELOAD: MSG"},
      {PlayInputCodeTexts(), 3, "PLAYINPUT: MSG"},
      {PlayOutputCodeTexts(), 3, "PLAYOUTPUT: MSG"},
      {PlayPreviewCodeTexts(), 2, "PLAYPREVIEW:\r\nMSG"},
      {PlaySelectionCodeTexts(), 2, "PLAYSELECTION:\r\nMSG"},
      {PlaySelectionCodeTexts(), 5, "PLAYSELECTION: MSG"},
  };
  for (const Case& c : cases) EXPECT_EQ(ResultCodeText(ctx, c.table, c.code, msg), c.expected) << int{c.code};
  // 255 is "not ready" wherever a table names it; the silence and insert operations use 1 and 129.
  for (auto table : {TrimCodeTexts(), DeleteCodeTexts(), CopyCodeTexts(), PasteCodeTexts(), LoadCodeTexts(),
                     SaveSelectionCodeTexts(), SplitCodeTexts(), ReloadCodeTexts(), PlayPreviewCodeTexts()})
    EXPECT_EQ(ResultCodeText(ctx, table, 255, msg), notReady);
  EXPECT_EQ(ResultCodeText(ctx, SilenceCodeTexts(), 1, msg), notReady);
  EXPECT_EQ(ResultCodeText(ctx, InsertCodeTexts(), 129, msg), notReady);
}

TEST(ScriptNumbers, MagnitudesAndRounding) {
  double v = 0;
  EXPECT_TRUE(ParseMagnitude("60.5", 1, 60.5, v));
  EXPECT_TRUE(ParseMagnitude("+3", -60.5, 60.5, v));
  EXPECT_EQ(v, 3);
  EXPECT_TRUE(ParseMagnitude("-60.5", -60.5, 60.5, v));
  for (const char* bad : {"", "-", "1,5", "1.5.", "inf", "nan", "1e1", " 3", "0x10"})
    EXPECT_FALSE(ParseMagnitude(bad, -60.5, 60.5, v)) << bad;
  EXPECT_EQ(RoundHalfEven(0.5, 9), 0);
  EXPECT_EQ(RoundHalfEven(1.5, 9), 2);
  EXPECT_EQ(RoundHalfEven(2.5, 9), 2);
  EXPECT_EQ(RoundHalfEven(-2.5, 9), -2);
  EXPECT_EQ(RoundHalfEven(NAN, 9), 9);
  EXPECT_EQ(RoundHalfEven(1e300, 9), 9);
  EXPECT_EQ(StripFileNameQuotes("\"a b\""), "a b");
  EXPECT_EQ(StripFileNameQuotes("\""), "");
  EXPECT_EQ(StripFileNameQuotes("a\"\""), "a\"");
}

}  // namespace
}  // namespace quorvel
