#pragma once
// The editing, file and playback commands of a script. Each validates the
// statement's parameters in a fixed order, turns positions into the cursor and
// selection, checks that its operation is available, runs the operation and
// turns the operation's result code into the statement's error text.

#include <string>

#include "core/context.h"
#include "script/statement.h"

namespace quorvel {

void SelectCommand(Context& ctx);  // SELECT, CURSOR
void TrimCommand(Context& ctx);
void DeleteCommand(Context& ctx);
void BaseDeleteCommand(Context& ctx);
void CutCommand(Context& ctx);
void CopyCommand(Context& ctx);
void PasteCommand(Context& ctx);
void SelectAllCommand(Context& ctx);
void UnselectCommand(Context& ctx);
void FadeCommand(Context& ctx, bool fadeIn);  // FADEIN, FADEOUT
void VolumeCommand(Context& ctx);
void SilenceCommand(Context& ctx);
void InsertCommand(Context& ctx);
void LoadCommand(Context& ctx);
void ReloadCommand(Context& ctx);
void CloseCommand(Context& ctx);  // CLOSE, UNLOAD
void PlayCommand(Context& ctx, ScriptCommand command);  // PLAYINPUT .. PLAYSELECTION

// A decimal number (point as separator) within lo..hi inclusive; false when
// the text is not one or lies outside.
bool ParseMagnitude(const std::string& text, double lo, double hi, double& value);

// Rounds to the nearest integer, ties to the even one; fallback when the value
// is not finite or does not fit.
int RoundHalfEven(double value, int fallback);

// Removes one trailing and then one leading double quote (left by the "*"
// escape of the tokenizer) from a file name parameter.
std::string StripFileNameQuotes(std::string name);

}  // namespace quorvel
