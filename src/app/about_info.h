#pragma once
// What the "about" window shows, and its button that opens the settings folder.
// The window adds the version of the toolkit it runs on.

#include <string>

#include "core/context.h"

namespace quorvel {

extern const char* const kProgramName;  // "Quorvel"

// The version of this build ("0.1.0").
const char* ProgramVersion();
// The day the build was configured, as YYYY-MM-DD (UTC; SOURCE_DATE_EPOCH
// gives a reproducible one).
const char* BuildDate();

struct AboutInfo {
  std::string programName;
  std::string version;
  std::string buildDate;
  std::string settingsFolder;  // with a trailing "/", empty when the start could not find it
  std::string logPath;         // the log file of silent runs
  std::string programHelp;     // the help files found, empty when missing
  std::string scriptHelp;
};

AboutInfo AboutInfoFor(const Context& ctx);

// The about window's text, lines ended by "\r\n"; toolkitVersion (the version
// of Qt the window runs on) is left out when empty.
std::string AboutText(const AboutInfo& info, const std::string& toolkitVersion);

// The button "Open the settings folder": the folder is handed to the desktop.
// Returns the shell result code (42 success; 0 when no folder is known) for the
// shell error message.
int OpenSettingsFolder(Context& ctx);

}  // namespace quorvel
