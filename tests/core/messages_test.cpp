#include "core/messages.h"

#include <gtest/gtest.h>

#include "core/headless_host.h"

namespace quorvel {
namespace {

TEST(Messages, WarningsFollowTheScriptState) {
  HeadlessHost host;
  Context ctx(host);
  WarnUnlessScript(ctx, "a");
  WarnUnlessSilent(ctx, "b");
  ctx.script.active = true;
  WarnUnlessScript(ctx, "c");
  WarnUnlessSilent(ctx, "d");
  ctx.script.silent = true;
  WarnUnlessSilent(ctx, "e");
  ReportError(ctx, "f");
  ASSERT_EQ(host.messages.size(), 4u);
  EXPECT_EQ(host.messages[0].text, "a");
  EXPECT_EQ(host.messages[1].text, "b");
  EXPECT_EQ(host.messages[2].text, "d");
  EXPECT_EQ(host.messages[3].text, "f");
  EXPECT_EQ(host.messages[3].kind, 257);
  EXPECT_EQ(host.messages[3].caption, "error");
}

TEST(Messages, QuestionsTellYesFromNoAndEscape) {
  HeadlessHost host;
  Context ctx(host);
  host.answers = {kAnswerYes, kAnswerNo, kAnswerEscape, kAnswerEscape};
  EXPECT_TRUE(AskYesNo(ctx, "q", 258, "prompt"));
  EXPECT_TRUE(AskRefused(ctx, "q", 258, "prompt"));
  EXPECT_FALSE(AskYesNo(ctx, "q", 0x120, "prompt"));
  EXPECT_FALSE(AskRefused(ctx, "q", 0x120, "prompt"));
}

}  // namespace
}  // namespace quorvel
