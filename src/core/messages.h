#pragma once
// The message calls every layer uses. They do not look at the script state
// except where their names say so; callers that can run inside a script decide
// first whether to show a message or to record a result code.

#include <string>

#include "core/context.h"

namespace quorvel {

extern const char* const kDiskErrorText;

void ReportMessage(Context& ctx, const std::string& text, int kind, const std::string& caption);
// True on Yes or OK.
bool AskYesNo(Context& ctx, const std::string& text, int kind, const std::string& caption);
// True on No or cancel.
bool AskRefused(Context& ctx, const std::string& text, int kind, const std::string& caption);
// ReportMessage(text, kModalError, "error").
void ReportError(Context& ctx, const std::string& text);
// A modeless warning unless a script runs.
void WarnUnlessScript(Context& ctx, const std::string& text);
// A modeless warning unless a silent script runs.
void WarnUnlessSilent(Context& ctx, const std::string& text);

}  // namespace quorvel
