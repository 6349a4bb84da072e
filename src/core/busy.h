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

// What becomes of the requests still pending when the busy state ends (and
// when a script run ends): a pending Esc is cleared; a pending close is
// carried out through Host::closeMainWindow, or, while a script runs, kept in
// ctx.closeRequest so that the script's operations stop and the run's end
// carries it out.
void SettlePendingRequests(Context& ctx);

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
