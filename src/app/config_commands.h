#pragma once
// The Options menu's configuration commands: save the whole configuration to a
// file, load it from one, reset it to the installation defaults.
//
// Each returns true when ctx.options changed, so that the window sets its menu
// check marks and dialog positions from them again. They do nothing while a
// script runs.

#include "core/context.h"

namespace quorvel {

extern const char* const kConfigSaveRefusedText;
extern const char* const kConfigLoadRefusedText;
extern const char* const kConfigWriteErrorText;
extern const char* const kConfigReadErrorText;

// "&Save complete configuration (incl. folders, positions, etc)"
bool MenuSaveConfigClick(Context& ctx);
// "&Load complete configuration (incl. folders, positions, etc)"
bool MenuLoadConfigClick(Context& ctx);
// "Reset complete con&figuration to installation default". The screen size
// places the windows (0: not known).
bool MenuResetConfigClick(Context& ctx, int screenWidth = 0, int screenHeight = 0);

}  // namespace quorvel
