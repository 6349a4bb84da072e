// One function wires a context for each front end; a missed hook shows.

#include <gtest/gtest.h>

#include "app/desktop_shell.h"
#include "app/player.h"
#include "app/startup.h"
#include "core/headless_host.h"

namespace quorvel {
namespace {

TEST(WireContext, EveryHookForEveryFrontEnd) {
  for (FrontEnd frontEnd : {FrontEnd::kSilentRun, FrontEnd::kWindow, FrontEnd::kTest}) {
    HeadlessHost host;
    Context ctx(host);
    DesktopShell shell;
    Player player(shell);
    EXPECT_EQ(MissingHooks(ctx), (std::vector<std::string>{"saveAs", "saveSettings", "play", "playAvailable"}));
    WireContext(ctx, player, frontEnd);
    // The settings hook comes with the start, once the settings file is known.
    EXPECT_EQ(MissingHooks(ctx), (std::vector<std::string>{"saveSettings"}));
    ctx.saveSettings = [](Context&) {};
    EXPECT_TRUE(MissingHooks(ctx).empty());
    EXPECT_EQ(player.lookUpOnFirstUse, frontEnd == FrontEnd::kSilentRun);
    // The hooks reach this player: nothing is loaded, so nothing can be played.
    EXPECT_FALSE(ctx.playAvailable(ctx, PlayRequest::Input));
  }
}

}  // namespace
}  // namespace quorvel
