#pragma once
// Long operations (load, insert, save, write) mark the document busy while they
// run. They nest: a save runs the writer, and the writer's end must not end the
// save's busy state. doc.busy and Host::setBusy follow the outermost operation;
// every begin and end reaches the host with the operation's name.

#include "core/context.h"

namespace quorvel {

void BeginBusy(Context& ctx, const char* operation);
// Ends the innermost operation; nothing when none runs.
void EndBusy(Context& ctx, const char* operation);
// Ends every running operation at once (the main window closes during one).
void EndAllBusy(Context& ctx, const char* operation);

// What the user asked for while a long operation runs.
enum class PendingRequest { kNone, kCancel, kClose };
// Lets the host process pending events, adds the requests that came in to
// ctx.cancelRequest and ctx.closeRequest, and returns the stronger one pending
// (closing wins over cancelling). The flags stay set; the operation that acts on
// them clears them (ClearRequests) when it has finished with them.
PendingRequest PollRequests(Context& ctx);
void ClearRequests(Context& ctx);

// Begins on construction, ends on destruction unless ended before.
class BusyScope {
 public:
  BusyScope(Context& ctx, const char* operation) : ctx_(ctx), operation_(operation) { BeginBusy(ctx, operation); }
  ~BusyScope() { end(); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
  void end() {
    if (running_) EndBusy(ctx_, operation_);
    running_ = false;
  }

 private:
  Context& ctx_;
  const char* operation_;
  bool running_ = true;
};

}  // namespace quorvel
