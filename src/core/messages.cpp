#include "core/messages.h"

namespace quorvel {

const char* const kDiskErrorText =
    "Disk error.\r\nMost probable reasons:\r\n\r\n - output file in use or read only\r\n"
    " - input file erased, moved, renamed, or altered\r\n - disk read only or full\r\n"
    " - invalid filename";

void ReportMessage(Context& ctx, const std::string& text, int kind, const std::string& caption) {
  ctx.host.showMessage(text, kind, caption);
}

bool AskYesNo(Context& ctx, const std::string& text, int kind, const std::string& caption) {
  return ctx.host.ask(text, kind, caption) == kAnswerYes;
}

bool AskRefused(Context& ctx, const std::string& text, int kind, const std::string& caption) {
  return ctx.host.ask(text, kind, caption) == kAnswerNo;
}

void ReportError(Context& ctx, const std::string& text) { ReportMessage(ctx, text, kModalError, "error"); }

void WarnUnlessScript(Context& ctx, const std::string& text) {
  if (!ctx.script.active) ReportMessage(ctx, text, kMsgWarning, "warning");
}

void WarnUnlessSilent(Context& ctx, const std::string& text) {
  if (!(ctx.script.active && ctx.script.silent)) ReportMessage(ctx, text, kMsgWarning, "warning");
}

}  // namespace quorvel
