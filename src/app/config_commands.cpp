#include "app/config_commands.h"

#include "app/paths.h"
#include "app/settings.h"
#include "core/messages.h"

namespace quorvel {

const char* const kConfigSaveRefusedText = "You are not allowed to save to the application folder.\r\nPlease change the path.";
const char* const kConfigLoadRefusedText = "You are not allowed to load from application working folder.";
const char* const kConfigWriteErrorText = "Disk error writing the file.";
const char* const kConfigReadErrorText = "Disk error reading the file.";

namespace {

constexpr const char* kConfigFilter = "ini files|*.ini|all files|*.*";

// The settings folder holds the settings file and the working files; no
// configuration file may be saved there or loaded from there.
bool InSettingsFolder(const Context& ctx, const std::string& path) {
  return IsFileInFolder(path, ctx.settingsFolder);
}

}  // namespace

bool MenuSaveConfigClick(Context& ctx) {
  if (ctx.script.active) return false;
  FileDialogRequest request;
  request.title = "save options as";
  request.filter = kConfigFilter;
  request.defaultExt = "ini";
  request.overwritePrompt = true;
  for (;;) {
    request.folder = ctx.options.configFolder;
    std::optional<std::string> chosen = ctx.host.chooseSaveFile(request);
    if (!chosen || chosen->empty()) return false;
    if (InSettingsFolder(ctx, *chosen)) {
      ReportMessage(ctx, kConfigSaveRefusedText, kMsgError, "warning");
      continue;
    }
    ctx.options.configFolder = FolderOf(AbsoluteNormalPath(*chosen));
    if (WriteSettings(ctx.options, *chosen)) ReportError(ctx, kConfigWriteErrorText);
    SaveSettingsFile(ctx);
    return true;
  }
}

bool MenuLoadConfigClick(Context& ctx) {
  if (ctx.script.active) return false;
  FileDialogRequest request;
  request.title = "load options from";
  request.filter = kConfigFilter;
  request.mustExist = true;
  for (;;) {
    request.folder = ctx.options.configFolder;
    std::optional<std::string> chosen = ctx.host.chooseOpenFile(request);
    if (!chosen || chosen->empty()) return false;
    if (InSettingsFolder(ctx, *chosen)) {
      ReportError(ctx, kConfigLoadRefusedText);
      continue;
    }
    SaveSettingsFile(ctx);
    // The settings before the command come back when the file cannot be read.
    // They are kept in memory rather than read back from the settings file, so
    // that a settings file that could not be written does not turn a failed
    // load into a reset to the defaults.
    const Options previous = ctx.options;
    ctx.options.configFolder = FolderOf(AbsoluteNormalPath(*chosen));
    if (ReadSettings(ctx.options, *chosen)) {
      ReportError(ctx, kConfigReadErrorText);
      ctx.options = previous;
      return false;
    }
    SaveSettingsFile(ctx);
    ctx.host.changed(kChangedOptions | kChangedRecentFiles);
    return true;
  }
}

bool MenuResetConfigClick(Context& ctx, int screenWidth, int screenHeight) {
  if (ctx.script.active) return false;
  if (AskRefused(ctx, "Are you certain?", kWarningFocusNo, "options reset")) return false;
  ResetOptions(ctx.options, screenWidth, screenHeight, HomeFolder());
  SaveSettingsFile(ctx);
  ctx.host.changed(kChangedOptions | kChangedRecentFiles);
  return true;
}

}  // namespace quorvel
