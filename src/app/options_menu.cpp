#include "app/options_menu.h"

#include <filesystem>
#include <system_error>

#include "app/config_commands.h"
#include "app/settings.h"
#include "core/analysis.h"
#include "core/document_ops.h"
#include "output/save.h"

namespace quorvel {

namespace {

bool Refused(const Context& ctx) { return ctx.script.active || NotReady(ctx); }

void OptionsChanged(Context& ctx) { ctx.host.documentChanged(); }

}  // namespace

const char* OptionFieldName(OptionField field) {
  switch (field) {
    case OptionField::kMainFlags: return "mainFlags";
    case OptionField::kTagFlags: return "tagFlags";
    case OptionField::kListFlags: return "listFlags";
    case OptionField::kDisplayFlags: return "displayFlags";
    case OptionField::kErrorPolicy: return "errorPolicy";
    case OptionField::kOverwritePolicy: return "overwritePolicy";
    case OptionField::kAutoExit: return "autoExit";
    case OptionField::kNewTagFormat: return "newTagFormat";
    case OptionField::kPaddingIndex: return "paddingIndex";
    case OptionField::kRememberVolume: return "rememberVolume";
    case OptionField::kRememberFade: return "rememberFade";
  }
  return "";
}

namespace {

// The member of an Options (const or not) that a field names.
template <typename OptionsType>
auto FieldPointer(OptionsType& o, OptionField field) -> decltype(&o.mainFlags) {
  switch (field) {
    case OptionField::kMainFlags: return &o.mainFlags;
    case OptionField::kTagFlags: return &o.tagFlags;
    case OptionField::kListFlags: return &o.listFlags;
    case OptionField::kDisplayFlags: return &o.displayFlags;
    case OptionField::kErrorPolicy: return &o.errorPolicy;
    case OptionField::kOverwritePolicy: return &o.overwritePolicy;
    case OptionField::kAutoExit: return &o.autoExit;
    case OptionField::kNewTagFormat: return &o.newTagFormat;
    case OptionField::kPaddingIndex: return &o.paddingIndex;
    case OptionField::kRememberVolume: return &o.rememberVolume;
    case OptionField::kRememberFade: return &o.rememberFade;
  }
  return nullptr;
}

}  // namespace

uint8_t OptionFieldValue(const Options& options, OptionField field) {
  return *FieldPointer(options, field);
}

void SetOptionFieldValue(Options& options, OptionField field, uint8_t value) { *FieldPointer(options, field) = value; }

const std::vector<OptionSwitchItem>& OptionSwitches() {
  static const std::vector<OptionSwitchItem> items = {
      {" &Automatically select all on load", OptionField::kMainFlags, kSelectAllOnLoad},
      {" Automatically check \"Remove &unknown data && RIFF\"", OptionField::kMainFlags, kAutoCheckUnknownAndRiff},
      {" Prompt to save changes when &closing", OptionField::kMainFlags, kPromptSaveOnClose},
      {" &Reload after overwriting the source file", OptionField::kMainFlags, kReloadAfterOverwrite},
      {" &Don't write ID3v2 fields without content and description", OptionField::kTagFlags, kSkipEmptyId3v2Fields},
      {" Save as default folder is last save (last load if unchec&ked)", OptionField::kTagFlags,
       kSaveFolderIsLastSave},
      {" Saved items on recent files list (loaded if unchecked)", OptionField::kListFlags, kRecentListTakesSaved},
      {" Color button captions red on &hover", OptionField::kDisplayFlags, kRedCaptionsOnHover},
  };
  return items;
}

const std::vector<OptionGroup>& OptionGroups() {
  static const std::vector<OptionGroup> groups = {
      {" On processing &error...",
       OptionField::kErrorPolicy,
       {{"&Fail", kErrorFail}, {"&Prompt", kErrorPrompt}, {"Try to &continue", kErrorTryToContinue}},
       true},
      {" &Overwrite existing files after saving...",
       OptionField::kOverwritePolicy,
       {{"Never overwrite without pr&ompt", 0},
        {"Prompt to overwrite only when \"saving &as\"", 1},
        {"Always over&write existing files without prompt", 2}},
       false},
      {" Automatically e&xit the program when closing a file...",
       OptionField::kAutoExit,
       {{"&Never", 0}, {"If &called with a parameter (open with, drag && drop, command line)", 1}, {"&Always", 2}},
       false},
      {" &New ID3v2 tag format...",
       OptionField::kNewTagFormat,
       {{"ID3v2.2", 2},
        {"ID3v2.2 with unsynchronisation", 130},
        {"ID3v2.&3", 3},
        {"ID3v2.3 &with unsynchronisation", 131},
        {"ID3v2.&4", 4},
        {"ID3v2.4 with &unsynchronisation", 132}},
       false},
      {"Padding value:",
       OptionField::kPaddingIndex,
       {{"&0", 0}, {"&2", 1}, {"&4", 2}, {"&16", 3}, {"&64", 4}, {"2&56", 5}, {"1 &KB", 6}},
       false},
      {" Remember &magnitude of volume/balance adjustment",
       OptionField::kRememberVolume,
       {{"Do&n't (always reset to zero)", 0}, {"Remember but reset after &closing the file", 1}, {"&Remember", 2}},
       false},
      {" Remember &magn&itude of fade in/out",
       OptionField::kRememberFade,
       {{"Do&n't (always reset to 30 dB)", 0}, {"Remember but reset after &closing the file", 1}, {"&Remember", 2}},
       false},
  };
  return groups;
}

const std::array<ConfigCommandItem, 3>& ConfigCommands() {
  static const std::array<ConfigCommandItem, 3> items = {{
      {"&Save complete configuration (incl. folders, positions, etc)", ConfigCommand::kSave},
      {"&Load complete configuration (incl. folders, positions, etc)", ConfigCommand::kLoad},
      {"Reset complete con&figuration to installation default", ConfigCommand::kReset},
  }};
  return items;
}

OptionsMenuState OptionsMenuOnOpen(const Context& ctx) {
  OptionsMenuState menu;
  const bool refused = Refused(ctx);
  for (const OptionSwitchItem& item : OptionSwitches()) {
    bool on = (OptionFieldValue(ctx.options, item.field) & item.bit) != 0;
    menu.switches.push_back({item.caption, !refused, on});
  }
  for (const OptionGroup& group : OptionGroups()) {
    uint8_t value = OptionFieldValue(ctx.options, group.field);
    std::vector<MenuItemState> items;
    for (const OptionChoiceItem& choice : group.choices) {
      items.push_back({choice.caption, !(group.refusedWhileBusy && refused), value == choice.value});
    }
    menu.groups.push_back(std::move(items));
  }
  for (size_t i = 0; i < menu.commands.size(); ++i) {
    menu.commands[i] = {ConfigCommands()[i].caption, !ctx.script.active, false};
  }
  return menu;
}

bool OptionSwitchClick(Context& ctx, size_t index) {
  const std::vector<OptionSwitchItem>& items = OptionSwitches();
  if (index >= items.size() || Refused(ctx)) return false;
  const OptionSwitchItem& item = items[index];
  SetOptionFieldValue(ctx.options, item.field,
                      static_cast<uint8_t>(OptionFieldValue(ctx.options, item.field) ^ item.bit));
  OptionsChanged(ctx);
  return true;
}

bool OptionChoiceClick(Context& ctx, size_t group, size_t choice) {
  const std::vector<OptionGroup>& groups = OptionGroups();
  if (group >= groups.size() || choice >= groups[group].choices.size()) return false;
  const OptionGroup& g = groups[group];
  if (g.refusedWhileBusy && Refused(ctx)) return false;
  const uint8_t value = g.choices[choice].value;
  if (g.field == OptionField::kOverwritePolicy) {
    // The save procedure's own handlers: they save the settings file at once.
    if (value == 0) MenuNeverOverwriteClick(ctx);
    if (value == 1) MenuSemiOverwriteClick(ctx);
    if (value == 2) MenuOverwriteClick(ctx);
    return true;
  }
  SetOptionFieldValue(ctx.options, g.field, value);
  OptionsChanged(ctx);
  return true;
}

bool ConfigCommandClick(Context& ctx, ConfigCommand command, int screenWidth, int screenHeight) {
  bool changed = false;
  switch (command) {
    case ConfigCommand::kSave: changed = MenuSaveConfigClick(ctx); break;
    case ConfigCommand::kLoad: changed = MenuLoadConfigClick(ctx); break;
    case ConfigCommand::kReset: changed = MenuResetConfigClick(ctx, screenWidth, screenHeight); break;
  }
  if (changed) ApplyOptions(ctx);
  return changed;
}

void ApplyOptions(Context& ctx) {
  ValidateOptions(ctx.options);
  OptionsChanged(ctx);
}

std::array<MenuItemState, 5> RecentFilesMenuOnOpen(const Context& ctx) {
  std::array<MenuItemState, 5> items;
  for (size_t k = 0; k < items.size(); ++k) {
    const std::string& path = ctx.options.recentFiles[k];
    std::error_code ec;
    bool exists = !path.empty() && std::filesystem::is_regular_file(path, ec);
    items[k] = {RecentCaption(static_cast<int>(k), path), exists, false};
  }
  return items;
}

bool RecentFileClick(Context& ctx, int k) {
  if (k < 0 || k >= 5 || Refused(ctx)) return false;
  const std::string path = ctx.options.recentFiles[static_cast<size_t>(k)];
  if (path.empty()) return false;
  // The document it replaces offers its edits for saving first.
  if (AskSaveChanges(ctx, kSaveChangesText, kSaveChangesCaption) == kUnloadDeclined) return false;
  ctx.doc.sourceName = path;
  return Loadfile(ctx);
}

std::array<MenuItemState, 2> StatisticsMenuOnOpen(const Context& ctx) {
  bool edited = ctx.options.mainFlag(kShowEditedStats);
  return {{{" &input stats", true, !edited}, {" &edited stats", true, edited}}};
}

void ShowInputStatsClick(Context& ctx) {
  ctx.options.mainFlags = static_cast<uint8_t>(ctx.options.mainFlags & ~kShowEditedStats);
  OptionsChanged(ctx);
}

void ShowEditedStatsClick(Context& ctx) {
  ctx.options.mainFlags = static_cast<uint8_t>(ctx.options.mainFlags | kShowEditedStats);
  OptionsChanged(ctx);
}

}  // namespace quorvel
