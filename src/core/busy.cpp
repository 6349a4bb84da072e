#include "core/busy.h"

namespace quorvel {

void BeginBusy(Context& ctx, const char* operation) {
  if (ctx.busyDepth++ == 0) {
    ctx.doc.busy = true;
    ctx.busyCursor = true;
    ctx.host.setBusy(true);
  }
  ctx.host.busyBegin(operation);
}

void EndBusy(Context& ctx, const char* operation) {
  if (ctx.busyDepth <= 0) return;
  ctx.host.busyEnd(operation);
  if (--ctx.busyDepth == 0) {
    ctx.doc.busy = false;
    ctx.busyCursor = false;
    ctx.host.setBusy(false);
    SettlePendingRequests(ctx);
  }
}

void SettlePendingRequests(Context& ctx) {
  EventRequests pending = ctx.host.takePendingRequests();
  ctx.cancelRequest = false;
  if (!pending.close && !ctx.closeRequest) return;
  if (ctx.script.active) {
    ctx.closeRequest = true;
    return;
  }
  ctx.closeRequest = false;
  ctx.host.closeMainWindow();
}

void EndAllBusy(Context& ctx, const char* operation) {
  while (ctx.busyDepth > 0) EndBusy(ctx, operation);
}

}  // namespace quorvel
