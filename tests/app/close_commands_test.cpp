// The close items of the File menu: closing the document with the automatic
// exit option, and what refuses them.

#include "app/close_commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/analysis.h"
#include "app/options_menu.h"
#include "core/headless_host.h"

namespace quorvel {
namespace {

class CloseCommands : public ::testing::Test {
 protected:
  void Load(Context& ctx) {
    const char* data = std::getenv("QUORVEL_TEST_DATA");
    ASSERT_NE(data, nullptr) << "QUORVEL_TEST_DATA must name tests/data";
    ctx.doc.sourceName = std::string(data) + "/cbr128-info.mp3";
    ASSERT_TRUE(Loadfile(ctx));
  }
};

TEST_F(CloseCommands, ClosingTheDocumentEndsTheProgramAsTheAutoExitOptionSays) {
  struct Case {
    uint8_t autoExit;
    bool calledWithFile;
    bool exits;
  };
  const Case cases[] = {{0, false, false}, {0, true, false}, {1, false, false},
                        {1, true, true},   {2, false, true}, {2, true, true}};
  for (const Case& c : cases) {
    HeadlessHost host;
    Context ctx(host);
    ctx.options.autoExit = c.autoExit;
    Load(ctx);
    EXPECT_EQ(AutoExitOnClose(ctx.options, c.calledWithFile), c.exits);
    EXPECT_TRUE(MenuCloseClick(ctx, c.calledWithFile));
    EXPECT_FALSE(ctx.doc.loaded);
    EXPECT_EQ(host.mainWindowClosed, c.exits) << int(c.autoExit) << " " << c.calledWithFile;
    // Closing when nothing is open closes nothing more, but the option still applies.
    host.mainWindowClosed = false;
    EXPECT_TRUE(MenuCloseClick(ctx, c.calledWithFile));
    EXPECT_EQ(host.mainWindowClosed, c.exits);
  }
}

// A changed document whose "Save changes?" is answered No, or whose save is
// cancelled, stays open and the program does not end.
TEST_F(CloseCommands, AKeptDocumentEndsNothing) {
  struct Case {
    int answer;
    bool saved;
    bool closes;
  };
  const Case cases[] = {{kAnswerNo, false, false}, {kAnswerYes, false, false}, {kAnswerYes, true, true}};
  for (const Case& c : cases) {
    HeadlessHost host;
    Context ctx(host);
    ctx.options.autoExit = 2;
    ctx.options.mainFlags |= kPromptSaveOnClose;
    Load(ctx);
    ctx.doc.modifiedLevel = 1;
    ctx.doc.unsavedChanges = true;
    int saves = 0;
    ctx.saveAs = [&](Context&) {
      ++saves;
      return c.saved;
    };
    host.answers = {c.answer};
    EXPECT_EQ(MenuCloseClick(ctx, false), c.closes);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Save changes?");
    EXPECT_EQ(saves, c.answer == kAnswerYes ? 1 : 0);
    EXPECT_EQ(ctx.doc.loaded, !c.closes);
    EXPECT_EQ(host.mainWindowClosed, c.closes);
  }
}

TEST_F(CloseCommands, RefusedWhileAScriptRunsOrTheWindowIsBusy) {
  for (int state = 0; state < 2; ++state) {
    HeadlessHost host;
    Context ctx(host);
    ctx.options.autoExit = 2;
    Load(ctx);
    ctx.script.active = state == 0;
    ctx.doc.busy = state == 1;
    EXPECT_FALSE(CloseProgramAllowed(ctx));
    EXPECT_FALSE(MenuCloseClick(ctx, true));
    EXPECT_TRUE(ctx.doc.loaded);
    EXPECT_FALSE(host.mainWindowClosed);
    ctx.script.active = false;
    ctx.doc.busy = false;
    EXPECT_TRUE(CloseProgramAllowed(ctx));
  }
  EXPECT_STREQ(kCloseProgramCaption, " Close the program    (Alt+F4)");
  EXPECT_STREQ(kCloseAllInstancesCaption, " Close all instances    (Shift+F4)");
  EXPECT_STREQ(kCloseDocumentCaption, " &Close (not needed)    (Ctrl+F4)");
  EXPECT_STREQ(kClosingAllInstancesCaption, " closing all instances...");
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

class ReplacingCommands : public ::testing::Test {
 protected:
  HeadlessHost host;
  Context ctx{host};
  int saves = 0;
  std::string source;

  void SetUp() override {
    const char* data = std::getenv("QUORVEL_TEST_DATA");
    ASSERT_NE(data, nullptr) << "QUORVEL_TEST_DATA must name tests/data";
    source = std::string(data) + "/cbr128-info.mp3";
    ctx.doc.sourceName = source;
    ASSERT_TRUE(Loadfile(ctx));
    ctx.saveAs = [this](Context&) {
      ++saves;
      return true;
    };
  }
};

// Close keeps the source name, so that Reload opens the closed file again.
TEST_F(ReplacingCommands, CloseKeepsTheSourceName) {
  EXPECT_TRUE(MenuCloseClick(ctx, false));
  EXPECT_FALSE(ctx.doc.loaded);
  EXPECT_EQ(ctx.doc.sourceName, source);
}

// A recent file replaces an edited document only after "Save changes?":
// an insertion alone counts as an edit; Escape (or the window's frame) keeps it.
TEST_F(ReplacingCommands, RecentFileAsksBeforeReplacingAnEditedDocument) {
  struct Case {
    const char* name;
    int answer;
    bool loads;
    int saves;
  };
  const Case cases[] = {{"yes", kAnswerYes, true, 1}, {"no", kAnswerNo, true, 0}, {"escape", kAnswerEscape, false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ctx.doc.sourceName = source;
    ASSERT_TRUE(Loadfile(ctx));
    ctx.options.recentFiles[0] = source;
    ctx.doc.unsavedChanges = true;  // an inserted file: modifiedLevel stays 0
    ctx.doc.modifiedLevel = 0;
    ASSERT_TRUE(ctx.options.mainFlag(kPromptSaveOnClose));  // on by default
    host.messages.clear();
    host.answers = {c.answer};
    saves = 0;
    EXPECT_EQ(RecentFileClick(ctx, 0), c.loads);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "  Save changes?  ");
    EXPECT_EQ(saves, c.saves);
    EXPECT_EQ(ctx.doc.unsavedChanges, !c.loads);
  }
}

// The prompt option is on for a new user; a settings file that has it off keeps it off.
TEST(PromptOption, OnByDefault) {
  Options defaults;
  EXPECT_EQ(defaults.mainFlags, 0x6E);
  EXPECT_TRUE(defaults.mainFlag(kPromptSaveOnClose));
}

}  // namespace
}  // namespace quorvel
