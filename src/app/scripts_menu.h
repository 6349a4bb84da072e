#pragma once
// The Scripts menu of the main window, wired to the program's script commands
// and to the shell's error messages. What the menu shows when it opens is
// ScriptsMenuOnOpen (script/batch.h); the captions of its fixed items are here.

#include "core/context.h"

namespace quorvel {

extern const char* const kExecuteNewScriptCaption;  // " E&xecute a new script"
extern const char* const kEditScriptCaption;        // " &Edit a script"
extern const char* const kLockScriptsCaption;       // " Lock scripts &order"
extern const char* const kLogFileLocationCaption;   // " &Log file location"
extern const char* const kViewLogFileCaption;       // " &View the log file"

// Each does nothing while the window is busy or a script runs. A script run
// from the menu shows each failed statement's question and stops on "cancel".
void MenuExecuteNewScript(Context& ctx);
void MenuEditScript(Context& ctx);
void MenuRunRecentScript(Context& ctx, int k);  // k = 0 for " &1." ... 4 for " &5."
void MenuLockScriptsOrder(Context& ctx);
void MenuMessageAfterScript(Context& ctx);
void MenuIgnoreErrors(Context& ctx);
void MenuLogFileLocation(Context& ctx);
void MenuViewLogFile(Context& ctx);

// The Help menu: " Program &help" and " &Script language help".
extern const char* const kProgramHelpCaption;
extern const char* const kScriptHelpCaption;
void MenuProgramHelp(Context& ctx);
void MenuScriptHelp(Context& ctx);

}  // namespace quorvel
