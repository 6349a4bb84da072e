#include "app/close_commands.h"

#include "core/document_ops.h"

namespace quorvel {

const char* const kCloseProgramCaption = " Close the program    (Alt+F4)";
const char* const kCloseAllInstancesCaption = " Close all instances    (Shift+F4)";
const char* const kCloseDocumentCaption = " &Close (not needed)    (Ctrl+F4)";
const char* const kClosingAllInstancesCaption = " closing all instances...";

bool AutoExitOnClose(const Options& options, bool calledWithFile) {
  return options.autoExit == 2 || (options.autoExit == 1 && calledWithFile);
}

bool MenuCloseClick(Context& ctx, bool calledWithFile) {
  if (!CloseProgramAllowed(ctx)) return false;
  const int result = unloadall(ctx, true);
  ctx.host.documentChanged();
  if (result == kUnloadDeclined) return false;
  if (AutoExitOnClose(ctx.options, calledWithFile)) ctx.host.closeMainWindow();
  return true;
}

bool CloseProgramAllowed(const Context& ctx) { return !ctx.script.active && !NotReady(ctx); }

}  // namespace quorvel
