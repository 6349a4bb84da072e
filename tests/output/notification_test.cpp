// What the host is told while the engine works: busy begin and end with the
// operation's name, nested correctly, and the changed bits of each operation.

#include <gtest/gtest.h>

#include "core/busy.h"
#include "core/document_ops.h"
#include "core/edit_ops.h"
#include "core/gain.h"
#include "output/save.h"
#include "writer_fixture.h"

namespace quorvel {
namespace {

using namespace writer_test;

struct NotificationTest : ::testing::Test {
  TempFolder folder;
  Session s{folder};
  fs::path source = folder / "song.mp3";

  void SetUp() override {
    fs::copy_file(DataPath("tagged-v23-v1.mp3"), source);
    ASSERT_TRUE(s.load(source));
    s.ctx.options.lastSaveFolder = folder.path.string();
    s.host.busyLog.clear();
    s.host.busyCalls.clear();
    s.host.changeLog.clear();
  }
};

TEST_F(NotificationTest, LoadIsOneBusyOperation) {
  s.host.busyLog.clear();
  s.host.busyCalls.clear();
  s.host.changeLog.clear();
  ASSERT_TRUE(Loadfile(s.ctx));
  EXPECT_EQ(s.host.busyLog, (std::vector<std::string>{"begin load", "end load"}));
  EXPECT_EQ(s.host.busyCalls, (std::vector<bool>{true, false}));
  ASSERT_FALSE(s.host.changeLog.empty());
  EXPECT_EQ(s.host.changeLog.back(), kChangedDocument);
  EXPECT_FALSE(s.ctx.doc.busy);
  EXPECT_FALSE(s.ctx.busyCursor);
}

TEST_F(NotificationTest, TheWriterInsideASaveDoesNotEndItsBusyState) {
  s.host.fileAnswers = {(folder / "out.mp3").string()};
  ButSaveAsClick(s.ctx);
  ASSERT_TRUE(s.ctx.save.lastSaveSucceeded);
  EXPECT_EQ(s.host.busyLog,
            (std::vector<std::string>{"begin save", "begin write", "end write", "end save"}));
  // setBusy only for the outermost operation.
  EXPECT_EQ(s.host.busyCalls, (std::vector<bool>{true, false}));
  EXPECT_FALSE(s.ctx.doc.busy);
  EXPECT_EQ(s.ctx.busyDepth, 0);
  ASSERT_FALSE(s.host.changeLog.empty());
  EXPECT_TRUE(s.host.changeLog.back() & kChangedModified);
}

TEST(BusyNesting, InnerEndKeepsTheOuterStateAndExtraEndsAreIgnored) {
  HeadlessHost host;
  Context ctx(host);
  BeginBusy(ctx, kBusySave);
  BeginBusy(ctx, kBusyWrite);
  EndBusy(ctx, kBusyWrite);
  EXPECT_TRUE(ctx.doc.busy);
  EXPECT_TRUE(NotReady(ctx));
  EXPECT_TRUE(host.busy);
  EndBusy(ctx, kBusySave);
  EXPECT_FALSE(ctx.doc.busy);
  EXPECT_FALSE(NotReady(ctx));
  EndBusy(ctx, kBusySave);  // nothing runs: nothing happens
  EXPECT_EQ(host.busyCalls, (std::vector<bool>{true, false}));
  {
    BusyScope outer(ctx, kBusySave);
    BeginBusy(ctx, kBusyWrite);
    EndAllBusy(ctx, kBusySave);
    EXPECT_FALSE(ctx.doc.busy);
  }
  EXPECT_EQ(ctx.busyDepth, 0);
  EXPECT_EQ(host.busyLog, (std::vector<std::string>{"begin save", "begin write", "end write", "end save",
                                                     "begin save", "begin write", "end save", "end save"}));
}

TEST_F(NotificationTest, EditsSayWhatChanged) {
  struct Case {
    const char* what;
    void (*run)(Context&);
    Changes expected;
  };
  const Case cases[] = {
      {"select all", [](Context& c) { SelAllButClick(c); }, kChangedCursor},
      {"unselect", [](Context& c) { SelAllButClick(c); UnselbutClick(c); }, kChangedCursor},
      {"copy",
       [](Context& c) {
         c.doc.cursor = 1;
         c.doc.selectionEnd = 5;
         SetSelectionExists(c.doc, true);
         CopybutClick(c);
       },
       kChangedClipboard | kChangedCursor},
      {"delete",
       [](Context& c) {
         c.doc.cursor = 1;
         c.doc.selectionEnd = 5;
         SetSelectionExists(c.doc, true);
         DelButClick(c);
       },
       kChangedEditList | kChangedCursor | kChangedModified | kChangedView},
      {"close", [](Context& c) { unloadall(c, false); }, kChangedDocument},
  };
  for (const Case& k : cases) {
    ASSERT_TRUE(s.load(source));
    s.host.changeLog.clear();
    k.run(s.ctx);
    ASSERT_FALSE(s.host.changeLog.empty()) << k.what;
    EXPECT_EQ(s.host.changeLog.back(), k.expected) << k.what;
  }
}

TEST(MessageKinds, NamesBuildTheKindsInUse) {
  // The values windows and stored settings know these kinds by.
  EXPECT_EQ(kModalError, 257);
  EXPECT_EQ(kModalWarning, 258);
  EXPECT_EQ(kModalQuestion, 259);
  EXPECT_EQ(kWarningFocusNo, 4354);
  EXPECT_EQ(kWarningOkCancelFocusCancel, 4370);
  EXPECT_EQ(MessageIcon(kWarningOkCancelFocusCancel), kMsgWarning);  // a warning, not a question
  EXPECT_EQ(kMsgOkCancel, 0x10);
  EXPECT_EQ(kMsgEscapeAnswers, 0x20);
  EXPECT_EQ(kMsgModal, 0x100);
  EXPECT_EQ(kMsgFocusNo, 0x1000);
}

}  // namespace
}  // namespace quorvel
