// Running script files: the run's start and end, line endings, the silent log,
// stopping on errors, the recent-scripts list and the Scripts menu's commands.
// Commands are replaced by a recording handler.

#include "script/batch.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "core/edit_fixture.h"
#include "core/headless_host.h"
#include "script/reader.h"

namespace quorvel {
namespace {

std::vector<std::string>* g_lines = nullptr;

// Records "WORD p1 p2 ..." and fails every statement whose word is FAIL.
void RecordingHandler(Context& ctx, ScriptCommand command) {
  const ScriptStatement& st = ctx.script.statement;
  std::string text = st.command;
  for (size_t i = 1; i <= st.parameterCount; ++i) text += " " + st.param[i];
  if (command == ScriptCommand::BlockEnd) text = "BLOCK " + ctx.script.blockText;
  if (g_lines != nullptr) g_lines->push_back(text);
  if (command == ScriptCommand::Trim) ctx.script.errorText = "FAILED at line " + std::to_string(st.lineNumber);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_lines = &lines;
    ctx.options.logPath = (tmp.path / "run.log").string();
    ctx.saveSettings = [this](Context&) { ++settingsSaves; };
  }
  void TearDown() override { g_lines = nullptr; }

  std::string Script(const std::string& name, const std::string& bytes) {
    std::string path = (tmp.path / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  testing::TempFolder tmp;
  HeadlessHost host;
  Context ctx{host};
  std::vector<std::string> lines;
  int settingsSaves = 0;
};

TEST_F(BatchTest, LineEndings) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> want;
  };
  const std::vector<Case> cases = {
      {"LF", "SELECT 1\nUNSELECT\n", {"SELECT 1", "UNSELECT"}},
      {"CR LF", "SELECT 1\r\nUNSELECT\r\n", {"SELECT 1", "UNSELECT"}},
      {"last line without line end", "SELECT 1\nSELECT 2", {"SELECT 1", "SELECT 2"}},
      {"lone CR dropped from the line", "SELECT 1\r2\n", {"SELECT 12"}},
      {"empty file", "", {}},
      {"UTF-8 mark is part of the first line", "\xEF\xBB\xBFSELECT 1\nSELECT 2\n", {"\xEF\xBB\xBFSELECT 1", "SELECT 2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lines.clear();
    host.answers = {kAnswerYes};
    BatchExecute(ctx, Script("s.txt", c.bytes), RecordingHandler);
    // A BOM in front of a word makes it unknown: reported, not executed.
    std::vector<std::string> want;
    for (const std::string& w : c.want) {
      if (w.rfind("\xEF\xBB\xBF", 0) != 0) want.push_back(w);
    }
    EXPECT_EQ(lines, want);
    EXPECT_FALSE(ctx.script.active);
  }
}

TEST_F(BatchTest, InteractiveRunMovesTheScriptToTheTopEvenWhenEmpty) {
  ctx.options.recentScripts = {"/a.txt", "/b.txt", "", "", ""};
  std::string path = Script("empty.txt", "");
  BatchExecute(ctx, path, RecordingHandler);
  EXPECT_EQ(ctx.options.recentScripts[0], path);
  EXPECT_EQ(ctx.options.recentScripts[1], "/a.txt");
  EXPECT_EQ(ctx.options.recentScripts[2], "/b.txt");
  EXPECT_EQ(settingsSaves, 1);
  EXPECT_FALSE(ctx.script.active);
}

TEST(BatchRun, OpenTagEditorsCloseBeforeTheFirstStatement) {
  struct CountingHost : HeadlessHost {
    int closed = 0;
    void closeTagWindows() override { ++closed; }
  } counting;
  Context c(counting);
  testing::TempFolder folder;
  const std::string path = (folder.path / "s.txt").string();
  std::ofstream(path, std::ios::binary) << "SELECT 1\n";
  int closedBefore = -1;
  g_lines = nullptr;
  static int* seen = nullptr;
  static CountingHost* host = nullptr;
  seen = &closedBefore;
  host = &counting;
  BatchExecute(c, path, [](Context&, ScriptCommand) { *seen = host->closed; });
  EXPECT_EQ(closedBefore, 1);
}

TEST_F(BatchTest, LockedOrderDoesNotMove) {
  ctx.options.recentScripts = {"/a.txt", "/b.txt", "", "", ""};
  ctx.options.mainFlags |= kScriptsOrderLocked;
  BatchExecute(ctx, Script("x.txt", "SELECT 1\n"), RecordingHandler);
  EXPECT_EQ(ctx.options.recentScripts[0], "/a.txt");
  EXPECT_EQ(ctx.options.recentScripts[1], "/b.txt");
}

TEST_F(BatchTest, MessageAfterRunNamesTheFile) {
  ctx.options.mainFlags |= kMessageAfterScript;
  BatchExecute(ctx, Script("done.txt", "SELECT 1\n"), RecordingHandler);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Script executed:\r\ndone.txt");
  EXPECT_EQ(host.messages[0].kind, 256);
  EXPECT_EQ(host.messages[0].caption, "Quorvel");
}

TEST_F(BatchTest, InteractiveMissingScriptWarnsAndChangesNothing) {
  ctx.options.recentScripts = {"/a.txt", "", "", "", ""};
  BatchExecute(ctx, (tmp.path / "none.txt").string(), RecordingHandler);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "The script you specified doesn't exist.");
  EXPECT_EQ(host.messages[0].caption, "warning");
  EXPECT_EQ(host.messages[0].kind, kMsgWarning);
  EXPECT_EQ(ctx.options.recentScripts[0], "/a.txt");
  EXPECT_EQ(settingsSaves, 0);
}

TEST_F(BatchTest, RunStartClearsBaseOffsetTagStartAndOpenBlock) {
  ctx.script.baseOffset = 77;
  ctx.doc.id3v2.tagStarted = true;
  ctx.script.blockOpen = true;
  ctx.script.blockField = kBlockComment;
  ctx.script.blockText = "left over\r\n";
  BatchExecute(ctx, Script("s.txt", "SELECT 1\n"), RecordingHandler);
  EXPECT_EQ(ctx.script.baseOffset, 0);
  EXPECT_FALSE(ctx.doc.id3v2.tagStarted);
  EXPECT_EQ(lines, std::vector<std::string>{"SELECT 1"});
}

TEST_F(BatchTest, BlockSpansLinesAndAnUnclosedBlockBuildsNothing) {
  BatchExecute(ctx,
               Script("b.txt", "ID3V2.COMMENT.START desc\none\r\n two \nid3v2.comment.end\nSELECT 1\n"
                               "ID3V2.LYRICS.START\nnever closed\n"),
               [](Context& c, ScriptCommand command) {
                 if (command == ScriptCommand::Id3v2CommentStart || command == ScriptCommand::Id3v2LyricsStart) {
                   c.script.blockOpen = true;
                   c.script.blockField = command == ScriptCommand::Id3v2CommentStart ? kBlockComment : kBlockLyrics;
                   c.script.blockText.clear();
                 }
                 RecordingHandler(c, command);
               });
  EXPECT_EQ(lines, (std::vector<std::string>{"ID3V2.COMMENT.START desc", "BLOCK one\r\n two \r\n", "SELECT 1",
                                             "ID3V2.LYRICS.START"}));
}

TEST_F(BatchTest, SilentRunLogsStartErrorAndFinishAndStopsAtTheFirstError) {
  std::string path = Script("s.txt", "SELECT 1\nTRIM\nSELECT 3\n");
  ctx.options.mainFlags &= static_cast<uint8_t>(~kIgnoreErrorsSilent);
  EXPECT_FALSE(RunSilentScript(ctx, path, RecordingHandler));
  EXPECT_EQ(lines, (std::vector<std::string>{"SELECT 1", "TRIM"}));
  EXPECT_TRUE(ctx.script.active);
  EXPECT_TRUE(ctx.script.silent);
  EXPECT_TRUE(host.messages.empty());
  std::string log = ReadFile(ctx.options.logPath);
  std::string start = "\r\nScript name: " + path + "\r\nExecution started at ";
  ASSERT_EQ(log.compare(0, start.size(), start), 0) << log;
  EXPECT_NE(log.find("\r\nFAILED at line 2\r\nExecution finished at "), std::string::npos) << log;
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
  // Silent runs leave the recent list alone.
  EXPECT_EQ(ctx.options.recentScripts[0], "");
}

TEST_F(BatchTest, SilentRunWithIgnoreErrorsLogsEveryFailure) {
  std::string path = Script("s.txt", "TRIM\nNOSUCH\nTRIM\nSELECT 3\n");
  ctx.options.mainFlags |= kIgnoreErrorsSilent;
  EXPECT_FALSE(RunSilentScript(ctx, path, RecordingHandler));
  EXPECT_EQ(lines, (std::vector<std::string>{"TRIM", "TRIM", "SELECT 3"}));
  std::string log = ReadFile(ctx.options.logPath);
  EXPECT_NE(log.find("\r\nFAILED at line 1\r\nSyntax error: NOSUCH\r\nFAILED at line 3\r\nExecution finished at "),
            std::string::npos)
      << log;
}

TEST_F(BatchTest, SilentRunOfAMissingScript) {
  std::string path = (tmp.path / "missing.txt").string();
  EXPECT_FALSE(RunSilentScript(ctx, path, RecordingHandler));
  std::string log = ReadFile(ctx.options.logPath);
  EXPECT_NE(log.find("\r\nThe script you specified doesn't exist.\r\nExecution finished at "), std::string::npos)
      << log;
  EXPECT_TRUE(lines.empty());
}

TEST_F(BatchTest, SilentRunThatSucceeds) {
  EXPECT_TRUE(RunSilentScript(ctx, Script("ok.txt", "SELECT 1\n# note\n\n"), RecordingHandler));
}

TEST_F(BatchTest, LogIsAppendedAndUnwritableLogIsIgnored) {
  AppendLogLine(ctx, "one");
  AppendLogLine(ctx, "two\r\nlines");
  EXPECT_EQ(ReadFile(ctx.options.logPath), "one\r\ntwo\r\nlines\r\n");
  ctx.options.logPath = (tmp.path / "no-such-folder" / "x.log").string();
  AppendLogLine(ctx, "lost");  // nothing happens, nothing is created
  EXPECT_FALSE(std::filesystem::exists(tmp.path / "no-such-folder"));
}

TEST(RecentList, MoveToTop) {
  struct Case {
    std::array<std::string, 5> before;
    std::string path;
    std::array<std::string, 5> after;
  };
  const std::vector<Case> cases = {
      {{"a", "b", "c", "d", "e"}, "c", {"c", "a", "b", "d", "e"}},
      {{"a", "b", "c", "d", "e"}, "a", {"a", "b", "c", "d", "e"}},
      {{"a", "b", "c", "d", "e"}, "f", {"f", "a", "b", "c", "d"}},
      {{"a", "b", "c", "d", "e"}, "e", {"e", "a", "b", "c", "d"}},
      {{"", "", "", "", ""}, "x", {"x", "", "", "", ""}},
      {{"a", "", "b", "", ""}, "b", {"b", "a", "", "", ""}},
      {{"/s/A.txt", "", "", "", ""}, "/s/a.txt", {"/s/a.txt", "/s/A.txt", "", "", ""}},  // exact comparison
  };
  for (const Case& c : cases) {
    std::array<std::string, 5> list = c.before;
    MoveToTopOfRecent(list, c.path);
    EXPECT_EQ(list, c.after) << c.path;
  }
}

TEST(RecentList, Captions) {
  EXPECT_EQ(RecentCaption(0, "/music/scripts/trim.txt"), " &1. trim.txt");
  EXPECT_EQ(RecentCaption(2, "/music/song.MP3"), " &3. song");
  EXPECT_EQ(RecentCaption(4, "/x/.mp3"), " &5. .mp3");
  EXPECT_EQ(RecentCaption(1, ""), " &2. ");
}

TEST_F(BatchTest, RunningRecentThirdMovesItFirst) {
  std::string a = Script("a.txt", ""), b = Script("b.txt", ""), c = Script("c.txt", "");
  ctx.options.recentScripts = {a, b, c, "", ""};
  RunRecentScript(ctx, 2, RecordingHandler);
  EXPECT_EQ(ctx.options.recentScripts, (std::array<std::string, 5>{c, a, b, "", ""}));
  ctx.options.mainFlags |= kScriptsOrderLocked;
  RunRecentScript(ctx, 2, RecordingHandler);
  EXPECT_EQ(ctx.options.recentScripts, (std::array<std::string, 5>{c, a, b, "", ""}));
}

TEST_F(BatchTest, LockingAnEmptyListIsRefused) {
  ToggleScriptsLock(ctx);
  EXPECT_FALSE(ctx.options.mainFlag(kScriptsOrderLocked));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "You can't lock an empty list.");
  EXPECT_EQ(host.messages[0].caption, "error");
  EXPECT_EQ(host.messages[0].kind, kMsgWarning);
  ScriptsMenuState menu = ScriptsMenuOnOpen(ctx);
  EXPECT_FALSE(menu.lockOrder.enabled);
  EXPECT_EQ(menu.lockOrder.caption, "Lock scripts order");

  ctx.options.recentScripts[3] = "/s.txt";
  ToggleScriptsLock(ctx);
  EXPECT_TRUE(ctx.options.mainFlag(kScriptsOrderLocked));
  EXPECT_EQ(host.messages.back().caption, "info");
  menu = ScriptsMenuOnOpen(ctx);
  EXPECT_EQ(menu.lockOrder.caption, "Unlock scripts order");
  EXPECT_TRUE(menu.lockOrder.checked);
  EXPECT_FALSE(menu.recent[0].enabled);
  EXPECT_TRUE(menu.recent[3].enabled);
  EXPECT_EQ(menu.recent[3].caption, " &4. s.txt");
}

TEST_F(BatchTest, MenuCommandsAreRefusedWhileAScriptRuns) {
  ctx.options.recentScripts[0] = "/s.txt";
  ctx.script.active = true;
  ToggleScriptsLock(ctx);
  ToggleIgnoreErrors(ctx);
  ToggleMessageAfterScript(ctx);
  EXPECT_EQ(ViewLogFile(ctx), 0);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(ScriptsMenuOnOpen(ctx).commandsEnabled);
}

TEST_F(BatchTest, OptionTogglesShowTheirNotes) {
  ToggleIgnoreErrors(ctx);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text,
            "Note that silent mode is when you run\r\nthe script from the command line, e.g.\r\n"
            "quorvel --script ~/my_script.txt");
  EXPECT_EQ(host.messages[0].caption, "silent mode info");
  ToggleIgnoreErrors(ctx);  // shown on every click
  EXPECT_EQ(host.messages.size(), 2u);
  const bool wasOn = ctx.options.mainFlag(kMessageAfterScript);
  ToggleMessageAfterScript(ctx);
  // Only switching on shows the note.
  EXPECT_EQ(host.messages.size(), wasOn ? 2u : 3u);
}

TEST_F(BatchTest, LogFileCommands) {
  EXPECT_EQ(ViewLogFile(ctx), 0);
  EXPECT_EQ(host.messages.back().text, "Log file doesn't exist.");
  EXPECT_FALSE(ScriptsMenuOnOpen(ctx).viewLog.enabled);
  AppendLogLine(ctx, "x");
  EXPECT_TRUE(ScriptsMenuOnOpen(ctx).viewLog.enabled);
  EXPECT_EQ(ViewLogFile(ctx), 42);
  EXPECT_EQ(host.opened.back(), ctx.options.logPath);

  // A log in the program's folder is refused and the dialog opens again.
  std::string appFolder = (tmp.path / "app").string();
  std::filesystem::create_directory(appFolder);
  host.fileAnswers = {appFolder + "/q.log", (tmp.path / "new.log").string()};
  ChooseLogFile(ctx, appFolder + "/");
  EXPECT_EQ(ctx.options.logPath, (tmp.path / "new.log").string());
  EXPECT_EQ(host.fileRequests.size(), 2u);
  bool refused = false;
  for (const MessageRecord& m : host.messages) {
    refused = refused || m.text == "You are not allowed to save to the application folder.\r\nPlease change the path.";
  }
  EXPECT_TRUE(refused);
  EXPECT_EQ(host.messages.back().caption, "info");
}

TEST_F(BatchTest, EditScript) {
  host.fileAnswers = {(tmp.path / "none.txt").string()};
  EXPECT_EQ(EditScript(ctx), 0);
  EXPECT_EQ(host.messages.back().text, "The script doesn't exist.");
  std::string path = Script("e.txt", "");
  host.fileAnswers = {path};
  EXPECT_EQ(EditScript(ctx), 42);
  EXPECT_EQ(host.opened.back(), path);
}

}  // namespace
}  // namespace quorvel
