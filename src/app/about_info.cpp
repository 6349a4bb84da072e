#include "app/about_info.h"

#include "app/player.h"
#include "script/batch.h"

#ifndef QUORVEL_VERSION
#error "QUORVEL_VERSION is set by the build (src/app/CMakeLists.txt)"
#endif
#ifndef QUORVEL_BUILD_DATE
#error "QUORVEL_BUILD_DATE is set by the build (src/app/CMakeLists.txt)"
#endif

namespace quorvel {

const char* const kProgramName = "Quorvel";

const char* ProgramVersion() { return QUORVEL_VERSION; }

const char* BuildDate() { return QUORVEL_BUILD_DATE; }

AboutInfo AboutInfoFor(const Context& ctx) {
  AboutInfo info;
  info.programName = kProgramName;
  info.version = ProgramVersion();
  info.buildDate = BuildDate();
  info.settingsFolder = ctx.settingsFolder;
  info.logPath = LogFilePath(ctx);
  info.programHelp = FindHelpFile(kProgramHelpFile);
  info.scriptHelp = FindHelpFile(kScriptHelpFile);
  return info;
}

std::string AboutText(const AboutInfo& info, const std::string& toolkitVersion) {
  std::string text = info.programName + " " + info.version + "\r\n";
  text += "Frame-level MP3 editor: edits MPEG-1 Layer III files without re-encoding.\r\n\r\n";
  text += "Built on: " + info.buildDate + "\r\n";
  if (!toolkitVersion.empty()) text += "Runs on Qt " + toolkitVersion + "\r\n";
  text += "Settings folder: " + (info.settingsFolder.empty() ? std::string("(not available)") : info.settingsFolder) +
          "\r\n";
  text += "Log file: " + info.logPath + "\r\n";
  text += "Program help: " + (info.programHelp.empty() ? std::string("(missing)") : info.programHelp) + "\r\n";
  text += "Script language help: " + (info.scriptHelp.empty() ? std::string("(missing)") : info.scriptHelp);
  return text;
}

int OpenSettingsFolder(Context& ctx) {
  if (ctx.settingsFolder.empty()) return 0;
  return ctx.host.openWithDesktop(ctx.settingsFolder);
}

}  // namespace quorvel
