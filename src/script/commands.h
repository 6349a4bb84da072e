#pragma once
// The script commands: each validates ctx.script.statement, runs its operation
// and turns the operation's result code into ctx.script.errorText.

#include "core/context.h"
#include "script/statement.h"

namespace quorvel {

// Runs the command; leaves ctx.script.errorText empty on success. Every command
// word of the table has a handler here.
void ExecuteCommand(Context& ctx, ScriptCommand command);

}  // namespace quorvel
