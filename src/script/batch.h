#pragma once
// Running a whole script file, the silent run with its log, the recent-scripts
// list and the Scripts menu's commands (the menu itself belongs to the window).

#include <array>
#include <string>

#include "core/context.h"
#include "core/file_paths.h"
#include "script/statement.h"

namespace quorvel {

extern const char* const kScriptMissingText;    // "The script you specified doesn't exist."
extern const char* const kScriptReadErrorText;  // "Disk error reading the script file. Aborted."

// Runs the script file at path line by line through ExecuteStatement with the
// given command handler (ExecuteCommand in the program). Interactive runs end
// by moving the script to the top of the recent list (unless locked), saving
// the settings and clearing `active`; silent runs stay active.
void BatchExecute(Context& ctx, const std::string& path, CommandHandler handler);

// Appends text and CR LF to the log file (options.logPath, else $HOME/Quorvel.log)
// in the locale's character set; the file is opened, appended to and closed for
// every line, and write errors are ignored. In a silent run the line is also
// written to standard error.
void AppendLogLine(Context& ctx, const std::string& text);

// In silent mode a log line; otherwise a warning box with caption "warning".
// Marks the run failed.
void ReportScriptFailure(Context& ctx, const std::string& text);

// The silent run of a script named on the command line: the start lines, the
// run, the finish line. `active` and `silent` are true afterwards. True when
// every statement succeeded and the script could be read.
bool RunSilentScript(Context& ctx, const std::string& path, CommandHandler handler);

// "<short date> <long time>" of the locale, for the log's start and finish lines.
std::string LogTimeText();

// " &" + (k + 1) + ". " + the file name without folder, without a final ".mp3"
// (any case) when the name is longer than four characters.
std::string RecentCaption(int k, const std::string& path);

struct MenuItemState {
  std::string caption;
  bool enabled = true;
  bool checked = false;
};

// The Scripts menu as it is when it opens.
struct ScriptsMenuState {
  std::array<MenuItemState, 5> recent;
  MenuItemState lockOrder;          // "Lock scripts order" / "Unlock scripts order"
  MenuItemState messageAfterRun;    // " &Show a messagebox after the execution"
  MenuItemState ignoreErrors;       // " &Ignore errors and continue in silent mode"
  MenuItemState viewLog;            // " &View the log file"
  bool commandsEnabled = true;      // false while the window is busy or a script runs
};
ScriptsMenuState ScriptsMenuOnOpen(const Context& ctx);

// The Scripts menu's commands. Each does nothing while the window is busy or a
// script runs. EditScript and ViewLogFile return the shell result code of the
// "open" action (42 success, or 0 when nothing was opened) for the caller's
// shell error message.
void ExecuteNewScript(Context& ctx, CommandHandler handler);
int EditScript(Context& ctx);
void RunRecentScript(Context& ctx, int k, CommandHandler handler);
void ToggleScriptsLock(Context& ctx);
void ToggleMessageAfterScript(Context& ctx);
void ToggleIgnoreErrors(Context& ctx);
// applicationFolder: a log file there is refused and the dialog opens again.
void ChooseLogFile(Context& ctx, const std::string& applicationFolder);
int ViewLogFile(Context& ctx);

// The log file in use.
std::string LogFilePath(const Context& ctx);

}  // namespace quorvel
