// The Scripts menu run from the window with the program's real commands: the
// question box of a failed statement, the recent scripts and their lock, the
// log file commands, and what the settings file keeps of them.

#include "app/scripts_menu.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/settings.h"
#include "core/headless_host.h"
#include "script/batch.h"
#include "settings_fixture.h"

namespace quorvel {
namespace {

using testing::EnvGuard;
using testing::TempFolder;

constexpr const char* kDeleteQuestion = "DELETE: multiple frames not selected.\r\n\nIgnore and continue?";

class ScriptsMenu : public ::testing::Test {
 protected:
  ScriptsMenu() : home_("HOME", dir_.path()), ctx_(host_) {
    settings_ = dir_ / "settings/";
    std::filesystem::create_directories(settings_);
    std::filesystem::create_directories(dir_ / "scripts");
    ctx_.settingsFolder = settings_;
    ResetOptions(ctx_.options, 1920, 1080, dir_.path());
    ctx_.options.scriptsFolder = dir_ / "scripts";
    // Nothing selected after a load, so a DELETE fails.
    ctx_.options.mainFlags = static_cast<uint8_t>(ctx_.options.mainFlags & ~kSelectAllOnLoad);
    ctx_.saveSettings = [](Context& c) { SaveSettingsFile(c); };
  }

  void SetUp() override {
    const char* data = std::getenv("QUORVEL_TEST_DATA");
    ASSERT_NE(data, nullptr) << "QUORVEL_TEST_DATA must name tests/data";
    fixture_ = std::string(data) + "/cbr128-info.mp3";
    ASSERT_TRUE(std::filesystem::exists(fixture_));
  }

  std::string Script(const std::string& name, const std::string& text) {
    std::string path = dir_ / ("scripts/" + name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // LOAD, a DELETE that fails (nothing selected), then SELECTALL.
  std::string FailingScript(const std::string& name) {
    return Script(name, "LOAD \"" + fixture_ + "\"\r\nDELETE\r\nSELECTALL\r\n");
  }

  Options OnDisk() {
    Options o;
    EXPECT_FALSE(ReadSettings(o, settings_ + kSettingsFileName));
    return o;
  }

  TempFolder dir_;
  EnvGuard home_;
  HeadlessHost host_;
  Context ctx_;
  std::string settings_;
  std::string fixture_;
};

struct AnswerCase {
  int answer;
  bool wentOn;
};

// "O&K" ignores the failed statement and runs the next one; "cancel" ends the run.
TEST_F(ScriptsMenu, FailedStatementAsksAndTheAnswerDecides) {
  const AnswerCase cases[] = {{kAnswerYes, true}, {kAnswerNo, false}};
  for (const AnswerCase& c : cases) {
    host_.messages.clear();
    host_.answers = {c.answer};
    const std::string script = FailingScript(c.wentOn ? "goes-on.txt" : "stops.txt");
    host_.fileAnswers.push_back(script);
    MenuExecuteNewScript(ctx_);

    ASSERT_EQ(host_.messages.size(), 1u);
    const MessageRecord& q = host_.messages[0];
    EXPECT_TRUE(q.question);
    EXPECT_EQ(q.text, kDeleteQuestion);
    EXPECT_EQ(q.caption, "script processing error");
    EXPECT_EQ(q.kind & 0x0F, kMsgWarning);
    EXPECT_NE(q.kind & 0x10, 0);  // "O&K" and "cancel"

    EXPECT_TRUE(ctx_.doc.loaded);
    EXPECT_EQ(ctx_.doc.selectionExists, c.wentOn);
    EXPECT_FALSE(ctx_.script.active);
    // Either way the run ends by putting the script on top of the list, saved.
    EXPECT_EQ(ctx_.options.recentScripts[0], script);
    EXPECT_EQ(OnDisk().recentScripts[0], script);
    EXPECT_EQ(OnDisk().scriptsFolder, dir_ / "scripts");
  }
  EXPECT_EQ(ctx_.options.recentScripts[1], dir_ / "scripts/goes-on.txt");
}

TEST_F(ScriptsMenu, TheExecuteDialogStartsInTheScriptsFolder) {
  std::filesystem::create_directories(dir_ / "elsewhere");
  const std::string script = dir_ / "elsewhere/ok.txt";
  std::ofstream(script, std::ios::binary) << "LOAD \"" << fixture_ << "\"\r\n";
  host_.fileAnswers.push_back(script);
  MenuExecuteNewScript(ctx_);
  ASSERT_EQ(host_.fileRequests.size(), 1u);
  EXPECT_EQ(host_.fileRequests[0].folder, dir_ / "scripts");
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_EQ(OnDisk().scriptsFolder, dir_ / "elsewhere");

  // A cancelled dialog runs nothing.
  MenuExecuteNewScript(ctx_);
  EXPECT_EQ(host_.fileRequests.size(), 2u);
  EXPECT_EQ(ctx_.options.recentScripts[1], "");
}

TEST_F(ScriptsMenu, RecentScriptsMoveToTopUnlessLocked) {
  std::array<std::string, 5> list;
  for (int k = 0; k < 4; ++k) {
    list[static_cast<size_t>(k)] = Script("s" + std::to_string(k + 1) + ".txt", "");
  }
  ctx_.options.recentScripts = list;

  MenuRunRecentScript(ctx_, 2);
  std::array<std::string, 5> moved = {list[2], list[0], list[1], list[3], ""};
  EXPECT_EQ(ctx_.options.recentScripts, moved);
  EXPECT_EQ(OnDisk().recentScripts, moved);
  ScriptsMenuState menu = ScriptsMenuOnOpen(ctx_);
  const char* const captions[] = {" &1. s3.txt", " &2. s1.txt", " &3. s2.txt", " &4. s4.txt", " &5. "};
  for (size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(menu.recent[k].caption, captions[k]);
    EXPECT_EQ(menu.recent[k].enabled, k < 4);
  }

  MenuLockScriptsOrder(ctx_);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].caption, "info");
  EXPECT_TRUE(OnDisk().mainFlag(kScriptsOrderLocked));
  MenuRunRecentScript(ctx_, 3);
  EXPECT_EQ(ctx_.options.recentScripts, moved);
  MenuRunRecentScript(ctx_, 4);  // empty: nothing runs
  EXPECT_EQ(host_.messages.size(), 1u);
}

struct MenuCase {
  const char* name;
  int recentEntries;
  bool locked;
  bool logExists;
  bool scriptActive;
  const char* lockCaption;
  bool lockEnabled;
};

TEST_F(ScriptsMenu, EnabledStatesAndLockTexts) {
  const MenuCase cases[] = {
      {"empty list", 0, false, false, false, "Lock scripts order", false},
      {"one script", 1, false, false, false, "Lock scripts order", true},
      {"locked", 2, true, true, false, "Unlock scripts order", true},
      {"locked, list emptied", 0, true, false, false, "Unlock scripts order", true},
      {"script running", 1, false, true, true, "Lock scripts order", true},
  };
  const std::string log = dir_ / "Quorvel.log";
  for (const MenuCase& c : cases) {
    ctx_.options.recentScripts = {};
    for (int k = 0; k < c.recentEntries; ++k) ctx_.options.recentScripts[static_cast<size_t>(k)] = "/s/a.txt";
    ctx_.options.mainFlags = static_cast<uint8_t>(c.locked ? ctx_.options.mainFlags | kScriptsOrderLocked
                                                            : ctx_.options.mainFlags & ~kScriptsOrderLocked);
    std::filesystem::remove(log);
    if (c.logExists) std::ofstream(log) << "x\r\n";
    ctx_.script.active = c.scriptActive;

    ScriptsMenuState menu = ScriptsMenuOnOpen(ctx_);
    EXPECT_EQ(menu.lockOrder.caption, c.lockCaption) << c.name;
    EXPECT_EQ(menu.lockOrder.enabled, c.lockEnabled) << c.name;
    EXPECT_EQ(menu.lockOrder.checked, c.locked) << c.name;
    EXPECT_EQ(menu.viewLog.enabled, c.logExists) << c.name;
    EXPECT_EQ(menu.commandsEnabled, !c.scriptActive) << c.name;
    EXPECT_EQ(menu.messageAfterRun.caption, " &Show a messagebox after the execution");
    EXPECT_EQ(menu.ignoreErrors.caption, " &Ignore errors and continue in silent mode");
    EXPECT_EQ(menu.viewLog.caption, kViewLogFileCaption);
  }
  ctx_.script.active = false;
}

// A recent script that was deleted or replaced by a folder warns and leaves
// the list as it was.
TEST_F(ScriptsMenu, AMissingRecentScriptWarnsAndKeepsTheList) {
  std::filesystem::create_directories(dir_ / "scripts/folder.txt");
  const std::array<std::string, 5> list = {Script("a.txt", ""), dir_ / "scripts/gone.txt",
                                           dir_ / "scripts/folder.txt", "", ""};
  ctx_.options.recentScripts = list;
  for (int k : {1, 2}) {
    host_.messages.clear();
    MenuRunRecentScript(ctx_, k);
    ASSERT_EQ(host_.messages.size(), 1u) << k;
    EXPECT_EQ(host_.messages[0].text, "The script you specified doesn't exist.");
    EXPECT_EQ(host_.messages[0].caption, "warning");
    EXPECT_EQ(host_.messages[0].kind & 0x0F, kMsgWarning);
    EXPECT_EQ(ctx_.options.recentScripts, list);
    EXPECT_FALSE(ctx_.script.active);
  }
}

// A statement naming a file that is not there asks with the load's own text.
TEST_F(ScriptsMenu, LoadingAMissingFileAsksWithTheLoadsMessage) {
  const std::string script =
      Script("missing.txt", "LOAD \"" + (dir_ / "none.mp3") + "\"\r\nLOAD \"" + fixture_ + "\"\r\n");
  host_.answers = {kAnswerNo};
  host_.fileAnswers.push_back(script);
  MenuExecuteNewScript(ctx_);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text,
            "LOAD:\r\nDisk error.\r\nMost probable reasons:\r\n\r\n - output file in use or read only\r\n"
            " - input file erased, moved, renamed, or altered\r\n - disk read only or full\r\n - invalid filename"
            "\r\n\nIgnore and continue?");
  EXPECT_FALSE(ctx_.doc.loaded);  // the run stopped before the second LOAD
}

TEST_F(ScriptsMenu, LockingAnEmptyListIsRefused) {
  MenuLockScriptsOrder(ctx_);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, "You can't lock an empty list.");
  EXPECT_EQ(host_.messages[0].caption, "error");
  EXPECT_FALSE(ctx_.options.mainFlag(kScriptsOrderLocked));
}

// The shell's failure to open a script or the log is reported with its message.
TEST_F(ScriptsMenu, EditAndViewReportTheShellsResult) {
  const std::string script = Script("edit.txt", "SELECTALL\r\n");
  host_.shellResult = 31;
  host_.fileAnswers.push_back(script);
  MenuEditScript(ctx_);
  ASSERT_EQ(host_.opened.size(), 1u);
  EXPECT_EQ(host_.opened[0], script);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, "No (or invalid) system viewer for this file type.");
  EXPECT_EQ(host_.messages[0].caption, "SYSTEM  ERROR");

  host_.messages.clear();
  MenuViewLogFile(ctx_);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, "Log file doesn't exist.");
  EXPECT_EQ(host_.opened.size(), 1u);

  host_.messages.clear();
  host_.shellResult = 42;
  std::ofstream(dir_ / "Quorvel.log") << "x\r\n";
  MenuViewLogFile(ctx_);
  EXPECT_TRUE(host_.messages.empty());
  ASSERT_EQ(host_.opened.size(), 2u);
  EXPECT_EQ(host_.opened[1], dir_ / "Quorvel.log");

  // The log file's place is chosen in a dialog and kept in the settings file.
  host_.fileAnswers.push_back(dir_ / "logs.log");
  MenuLogFileLocation(ctx_);
  EXPECT_EQ(OnDisk().logPath, dir_ / "logs.log");
  EXPECT_EQ(host_.messages.back().caption, "info");
}

TEST_F(ScriptsMenu, NothingRunsWhileAScriptIsActive) {
  const std::string script = FailingScript("blocked.txt");
  ctx_.options.recentScripts[0] = script;
  ctx_.script.active = true;
  host_.fileAnswers.push_back(script);
  MenuExecuteNewScript(ctx_);
  MenuRunRecentScript(ctx_, 0);
  MenuEditScript(ctx_);
  MenuLockScriptsOrder(ctx_);
  MenuMessageAfterScript(ctx_);
  MenuIgnoreErrors(ctx_);
  MenuLogFileLocation(ctx_);
  MenuViewLogFile(ctx_);
  EXPECT_TRUE(host_.fileRequests.empty());
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_FALSE(ctx_.doc.loaded);
  EXPECT_EQ(ctx_.options.mainFlags & (kMessageAfterScript | kIgnoreErrorsSilent | kScriptsOrderLocked),
            kIgnoreErrorsSilent);
}

}  // namespace
}  // namespace quorvel
