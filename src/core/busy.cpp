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
  }
}

void EndAllBusy(Context& ctx, const char* operation) {
  while (ctx.busyDepth > 0) EndBusy(ctx, operation);
}

}  // namespace quorvel
