// Esc or a close request at any progress point of a split or a save selection:
// the file being written never stays short under its name, no later part is
// started, and the parts finished before are complete.

#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/busy.h"
#include "output/save.h"
#include "output/split.h"
#include "output/split_support.h"

namespace quorvel {
namespace {

using namespace quorvel::split_test;

enum class Request { kCancel, kClose };

struct InterruptCase {
  const char* name;
  Request request;
  bool split;  // else save selection
};

class InterruptedOutputTest : public ::testing::TestWithParam<InterruptCase> {
 protected:
  // cbr96-no-info (59 plain frames) ten times over: 590 positions, enough for
  // several progress points in every part. Position p holds source frame p % 59.
  void LoadLong(Session& session) {
    ASSERT_TRUE(session.load(DataPath("cbr96-no-info.mp3")));
    DocumentState& doc = session.ctx.doc;
    ASSERT_EQ(doc.editCount, 59);
    std::vector<int32_t> refs;
    for (int i = 0; i < 10; ++i) refs.insert(refs.end(), doc.ref.begin(), doc.ref.begin() + doc.editCount);
    doc.ref.assign(refs.begin(), refs.end());
    doc.editCount = static_cast<int32_t>(refs.size());
    doc.gainLeft.assign(refs.size(), 0);
    doc.gainRight.assign(refs.size(), 0);
  }
};

TEST_P(InterruptedOutputTest, AtEveryProgressPoint) {
  const InterruptCase& c = GetParam();
  const auto source = AudioFrames(DataPath("cbr96-no-info.mp3"));
  ASSERT_EQ(source.size(), 59u);
  auto expected = [&source](int32_t first, int32_t end) {
    std::vector<std::vector<uint8_t>> frames;
    for (int32_t p = first; p < end; ++p) frames.push_back(source[static_cast<size_t>(p % 59)]);
    return frames;
  };
  constexpr int32_t kS = 150;
  constexpr int32_t kE = 400;
  const std::array<std::pair<int32_t, int32_t>, 3> ranges = {{{0, kS}, {kS, kE}, {kE, 590}}};
  const std::array<const char*, 3> names = {"one.mp3", "two.mp3", "three.mp3"};
  const int partCount = c.split ? 3 : 1;

  bool reachedTheEnd = false;
  for (int point = 1; !reachedTheEnd; ++point) {
    SCOPED_TRACE("request at progress point " + std::to_string(point));
    ASSERT_LT(point, 50) << "the write never ended";
    TempFolder dir;
    Session session{dir};
    LoadLong(session);
    Context& ctx = session.ctx;
    HeadlessHost& host = session.host;
    Select(ctx, kS, kE);
    auto out = [&dir, &names](int k) { return (dir / names[static_cast<size_t>(k)]).string(); };
    if (c.split) {
      host.splitAnswers.push_back([&](const SplitDialogState& shown) {
        SplitDialogState answer = shown;
        for (int k = 0; k < 3; ++k) SetSplitPartName(answer, k, out(k));
        return std::optional<SplitDialogState>(answer);
      });
    } else {
      host.saveSelectionAnswers.push_back([&](const SaveSelectionDialogState& shown) {
        SaveSelectionDialogState answer = shown;
        SetSaveSelectionName(answer, out(0));
        return std::optional<SaveSelectionDialogState>(answer);
      });
    }
    host.requestsOnce = true;
    host.polls = 0;
    (c.request == Request::kCancel ? host.cancelAtPoll : host.closeAtPoll) = point;

    if (c.split) {
      MenuSplitClick(ctx);
    } else {
      MenuSaveSelClick(ctx);
    }

    reachedTheEnd = host.polls < point;
    // Only a dialog comes back after an interruption: the dialog is not shown again.
    EXPECT_EQ(host.splitRequests.size(), c.split ? 1u : 0u);
    EXPECT_EQ(host.mainWindowClosed, c.request == Request::kClose && !reachedTheEnd);
    EXPECT_LE(host.closeMainWindowCalls, 1);
    EXPECT_FALSE(ctx.cancelRequest);
    EXPECT_FALSE(ctx.closeRequest);
    EXPECT_FALSE(ctx.doc.busy);
    EXPECT_EQ(ctx.busyDepth, 0);
    EXPECT_TRUE(host.messages.empty());

    // Every part that exists is complete; after the first missing one none exists.
    int written = 0;
    while (written < partCount && fs::exists(out(written))) {
      const auto [first, end] = ranges[static_cast<size_t>(c.split ? written : 1)];
      EXPECT_TRUE(AudioFrames(out(written)) == expected(first, end)) << names[static_cast<size_t>(written)];
      ++written;
    }
    for (int k = written; k < partCount; ++k) EXPECT_FALSE(fs::exists(out(k))) << names[static_cast<size_t>(k)];
    if (reachedTheEnd) {
      EXPECT_EQ(written, partCount);
    } else {
      EXPECT_LT(written, partCount);
    }
    // No temporary file stays behind.
    for (const auto& entry : fs::directory_iterator(dir.path)) {
      EXPECT_EQ(entry.path().string().find(".mmtmpmp3"), std::string::npos) << entry.path();
    }
    // The document is untouched.
    EXPECT_EQ(ctx.doc.cursor, kS);
    EXPECT_EQ(ctx.doc.selectionEnd, kE);
    EXPECT_EQ(ctx.doc.editCount, 590);
  }
}

INSTANTIATE_TEST_SUITE_P(Requests, InterruptedOutputTest,
                         ::testing::Values(InterruptCase{"SplitCancelled", Request::kCancel, true},
                                           InterruptCase{"SplitClosed", Request::kClose, true},
                                           InterruptCase{"SelectionCancelled", Request::kCancel, false},
                                           InterruptCase{"SelectionClosed", Request::kClose, false}),
                         [](const ::testing::TestParamInfo<InterruptCase>& info) { return info.param.name; });

// Esc during a whole save to a new name keeps what was written (the save's
// rule); a close request does not leave a short file under that name.
TEST(InterruptedSaveTest, EscKeepsANewTargetAndACloseDoesNot) {
  for (Request request : {Request::kCancel, Request::kClose}) {
    SCOPED_TRACE(request == Request::kCancel ? "Esc" : "close");
    TempFolder dir;
    Session session{dir};
    ASSERT_TRUE(session.load(DataPath("cbr96-no-info.mp3")));
    DocumentState& doc = session.ctx.doc;
    std::vector<int32_t> refs;
    for (int i = 0; i < 10; ++i) refs.insert(refs.end(), doc.ref.begin(), doc.ref.begin() + doc.editCount);
    doc.ref.assign(refs.begin(), refs.end());
    doc.editCount = static_cast<int32_t>(refs.size());
    doc.gainLeft.assign(refs.size(), 0);
    doc.gainRight.assign(refs.size(), 0);
    const std::string target = (dir / "whole.mp3").string();
    session.host.fileAnswers.push_back(target);
    session.host.polls = 0;
    (request == Request::kCancel ? session.host.cancelAtPoll : session.host.closeAtPoll) = 2;
    ButSaveAsClick(session.ctx);
    EXPECT_FALSE(session.ctx.save.lastSaveSucceeded);
    EXPECT_TRUE(session.ctx.save.writeInterrupted);
    EXPECT_EQ(fs::exists(target), request == Request::kCancel);
    EXPECT_FALSE(fs::exists(target + ".mmtmpmp3"));
  }
}

// A close asked for while the save's own dialog was open (no progress point
// took it) is carried out once when the busy state ends, and is not left for
// the next operation; a pending Esc is cleared. While a script runs the close
// is kept until the run ends.
TEST(PendingRequestsTest, SettledWhenTheBusyStateEnds) {
  struct Case {
    const char* name;
    EventRequests pending;
    bool script;
    int closes;
    bool keptClose;
  };
  const Case cases[] = {
      {"close", {false, true}, false, 1, false},
      {"cancel", {true, false}, false, 0, false},
      {"both", {true, true}, false, 1, false},
      {"close in a script", {false, true}, true, 0, true},
      {"none", {false, false}, false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    Session session{dir};
    Context& ctx = session.ctx;
    HeadlessHost& host = session.host;
    ctx.script.active = c.script;
    // The save marks itself busy, the dialog is open, the user asks to close
    // the window and then cancels the dialog.
    BeginBusy(ctx, kBusySave);
    host.pending = c.pending;
    EndBusy(ctx, kBusySave);
    EXPECT_EQ(host.closeMainWindowCalls, c.closes);
    EXPECT_FALSE(ctx.cancelRequest);
    EXPECT_EQ(ctx.closeRequest, c.keptClose);
    EXPECT_FALSE(host.pending.close);
    if (c.script) {
      ctx.closeRequest = false;
      ctx.script.active = false;
      continue;
    }
    // The next load runs to its end.
    ASSERT_TRUE(session.load(DataPath("cbr96-no-info.mp3")));
    EXPECT_TRUE(ctx.doc.loaded);
    EXPECT_EQ(host.closeMainWindowCalls, c.closes);
  }
}

// The same close, made while the save-as dialog of a real save is open.
TEST(PendingRequestsTest, CloseDuringTheSaveAsDialogClosesOnceAfterIt) {
  TempFolder dir;
  Session session{dir};
  ASSERT_TRUE(session.load(DataPath("cbr96-no-info.mp3")));
  // The dialog is cancelled; the close arrived while it was open.
  session.host.fileAnswers.push_back(std::nullopt);
  session.host.pending = EventRequests{false, true};
  ButSaveAsClick(session.ctx);
  EXPECT_EQ(session.host.closeMainWindowCalls, 1);
  EXPECT_FALSE(session.ctx.closeRequest);
  EXPECT_FALSE(session.ctx.doc.busy);
}

}  // namespace
}  // namespace quorvel
