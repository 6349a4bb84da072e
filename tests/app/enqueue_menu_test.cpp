// The Play menu's enqueue items: present with an enqueue command only, enabled
// as the play command of the same file.

#include "app/enqueue_menu.h"

#include <gtest/gtest.h>

#include "core/headless_host.h"

namespace quorvel {
namespace {

TEST(EnqueueMenu, ItemsFollowThePlayersCommandsAndThePlayAvailability) {
  HeadlessHost host;
  Context ctx(host);
  DesktopShell shell;
  Player player(shell);
  player.commands = PlayerCommandsFromExec("player %U", "");
  EXPECT_TRUE(EnqueueMenuOnOpen(player, ctx).empty());

  player.commands = PlayerCommandsFromExec("player %U", "player --enqueue %U");
  std::vector<EnqueueMenuItem> items = EnqueueMenuOnOpen(player, ctx);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].state.caption, "&Enqueue input (loaded) file");
  EXPECT_EQ(items[1].state.caption, "E&nqueue preview (edited)");
  EXPECT_EQ(items[2].state.caption, "En&queue output (saved) file");
  for (const EnqueueMenuItem& item : items) EXPECT_FALSE(item.state.enabled);

  ctx.doc.loaded = true;
  ctx.doc.sourceName = "/music/missing.mp3";
  ctx.doc.editCount = 10;
  items = EnqueueMenuOnOpen(player, ctx);
  EXPECT_TRUE(items[0].state.enabled);
  EXPECT_TRUE(items[1].state.enabled);
  EXPECT_FALSE(items[2].state.enabled);
  ctx.save.lastOutputName = "/music/out.mp3";
  ctx.save.playOutputEnabled = true;
  EXPECT_TRUE(EnqueueMenuOnOpen(player, ctx)[2].state.enabled);

  for (int state = 0; state < 2; ++state) {
    ctx.script.active = state == 0;
    ctx.doc.busy = state == 1;
    for (const EnqueueMenuItem& item : EnqueueMenuOnOpen(player, ctx)) EXPECT_FALSE(item.state.enabled);
  }
  ctx.script.active = false;
  ctx.doc.busy = false;

  // A source that went away is reported, and nothing is started.
  EnqueueClick(player, ctx, EnqueueItem::kInput);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "The file was moved, renamed or deleted in the meantime.");
}

}  // namespace
}  // namespace quorvel
