#include "app/scripts_menu.h"

#include "app/paths.h"
#include "app/player.h"
#include "script/batch.h"
#include "script/commands.h"

namespace quorvel {

const char* const kExecuteNewScriptCaption = " E&xecute a new script";
const char* const kEditScriptCaption = " &Edit a script";
const char* const kLockScriptsCaption = " Lock scripts &order";
const char* const kLogFileLocationCaption = " &Log file location";
const char* const kViewLogFileCaption = " &View the log file";
const char* const kProgramHelpCaption = " Program &help";
const char* const kScriptHelpCaption = " &Script language help";

namespace {

// The "open" action reports its own failures; 0 means nothing was opened.
void ReportShellResult(Context& ctx, int code) {
  if (code != 0) ShellErrorMessage(ctx, code);
}

}  // namespace

void MenuExecuteNewScript(Context& ctx) { ExecuteNewScript(ctx, ExecuteCommand); }

void MenuEditScript(Context& ctx) { ReportShellResult(ctx, EditScript(ctx)); }

void MenuRunRecentScript(Context& ctx, int k) { RunRecentScript(ctx, k, ExecuteCommand); }

void MenuLockScriptsOrder(Context& ctx) { ToggleScriptsLock(ctx); }

void MenuMessageAfterScript(Context& ctx) { ToggleMessageAfterScript(ctx); }

void MenuIgnoreErrors(Context& ctx) { ToggleIgnoreErrors(ctx); }

void MenuLogFileLocation(Context& ctx) { ChooseLogFile(ctx, ApplicationFolder()); }

void MenuViewLogFile(Context& ctx) { ReportShellResult(ctx, ViewLogFile(ctx)); }

void MenuProgramHelp(Context& ctx) { OpenHelpFile(ctx, kProgramHelpFile); }

void MenuScriptHelp(Context& ctx) { OpenHelpFile(ctx, kScriptHelpFile); }

}  // namespace quorvel
