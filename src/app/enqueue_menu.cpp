#include "app/enqueue_menu.h"

namespace quorvel {

std::vector<EnqueueMenuItem> EnqueueMenuOnOpen(const Player& player, const Context& ctx) {
  if (!player.enqueueAvailable()) return {};
  const bool allowed = !ctx.script.active;
  return {
      {EnqueueItem::kInput, {"&Enqueue input (loaded) file", allowed && player.available(ctx, PlayRequest::Input), false}},
      {EnqueueItem::kPreview,
       {"E&nqueue preview (edited)", allowed && player.available(ctx, PlayRequest::Preview), false}},
      {EnqueueItem::kOutput,
       {"En&queue output (saved) file", allowed && player.available(ctx, PlayRequest::Output), false}},
  };
}

void EnqueueClick(Player& player, Context& ctx, EnqueueItem item) {
  switch (item) {
    case EnqueueItem::kInput: player.EnqueueInput(ctx); break;
    case EnqueueItem::kPreview: player.EnqueuePreview(ctx); break;
    case EnqueueItem::kOutput: player.EnqueueOutput(ctx); break;
  }
}

}  // namespace quorvel
