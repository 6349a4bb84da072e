#pragma once
// The Play menu's enqueue items: present only when the desktop's player offers
// an "Enqueue" action, each enabled as the play command for the same file.

#include <vector>

#include "app/player.h"
#include "script/batch.h"

namespace quorvel {

enum class EnqueueItem { kInput, kPreview, kOutput };

struct EnqueueMenuItem {
  EnqueueItem item;
  MenuItemState state;
};

// Empty when the player has no enqueue command; otherwise, after a separator,
// "&Enqueue input (loaded) file", "E&nqueue preview (edited)" and "En&queue
// output (saved) file".
std::vector<EnqueueMenuItem> EnqueueMenuOnOpen(const Player& player, const Context& ctx);

// A click on an enqueue item.
void EnqueueClick(Player& player, Context& ctx, EnqueueItem item);

}  // namespace quorvel
