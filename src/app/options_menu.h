#pragma once
// The main window's Options menu, the recent-files items of the File menu and
// the statistics box's context menu, without widgets: every item's caption, the
// `Options` member it reads and writes, its check mark, and the handler that a
// click runs. The window builds its menus from these tables and calls the
// handlers; a script never reaches them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/context.h"
#include "script/batch.h"

namespace quorvel {

// displayFlags: button captions of all windows turn red under the mouse.
constexpr uint8_t kRedCaptionsOnHover = 0x01;

// The `Options` members that option items read and write.
enum class OptionField : uint8_t {
  kMainFlags,
  kTagFlags,
  kListFlags,
  kDisplayFlags,
  kErrorPolicy,
  kOverwritePolicy,
  kAutoExit,
  kNewTagFormat,
  kPaddingIndex,
  kRememberVolume,
  kRememberFade,
};

// The member's name as the code spells it ("mainFlags", "errorPolicy", ...).
const char* OptionFieldName(OptionField field);
uint8_t OptionFieldValue(const Options& options, OptionField field);
void SetOptionFieldValue(Options& options, OptionField field, uint8_t value);

// A switch item: a check mark showing one bit of a flags member.
struct OptionSwitchItem {
  const char* caption;
  OptionField field;
  uint8_t bit;
};

// One choice of a group of radio items: checked when the member holds value.
struct OptionChoiceItem {
  const char* caption;
  uint8_t value;
};

// A group of radio items under a caption (a submenu, or the "Padding value:"
// group). Groups refused while busy are refused, like the switches, while the
// window is busy or a script runs; the others take effect at any time.
struct OptionGroup {
  const char* caption;
  OptionField field;
  std::vector<OptionChoiceItem> choices;
  bool refusedWhileBusy;
};

// The switches, in menu order.
const std::vector<OptionSwitchItem>& OptionSwitches();
// The radio groups, in menu order.
const std::vector<OptionGroup>& OptionGroups();

// The configuration commands at the end of the menu.
enum class ConfigCommand : uint8_t { kSave, kLoad, kReset };
struct ConfigCommandItem {
  const char* caption;
  ConfigCommand command;
};
const std::array<ConfigCommandItem, 3>& ConfigCommands();

// The menu as it is when it opens: check marks from ctx.options; switches and
// refused groups disabled while the window is busy or a script runs. A member
// that holds no choice's value checks no item.
struct OptionsMenuState {
  std::vector<MenuItemState> switches;
  std::vector<std::vector<MenuItemState>> groups;
  std::array<MenuItemState, 3> commands;
};
OptionsMenuState OptionsMenuOnOpen(const Context& ctx);

// A click on switch `index`: toggles its bit. A click on choice `choice` of
// group `group`: sets the member to the choice's value; the overwrite policy is
// saved to the settings file at once. Both return false when the click was
// refused or the indexes name no item, and tell the window that the options
// changed otherwise.
bool OptionSwitchClick(Context& ctx, size_t index);
bool OptionChoiceClick(Context& ctx, size_t group, size_t choice);

// Runs a configuration command (save, load, reset); true when ctx.options
// changed and the window must apply them (ApplyOptions).
bool ConfigCommandClick(Context& ctx, ConfigCommand command, int screenWidth = 0, int screenHeight = 0);

// After the options were read or replaced: validates them (a damaged settings
// file never selects a missing item) and tells the window to set its check
// marks and dialog positions from them. Options read at their point of use
// (the overwrite policy, the error policy, the tag format, ...) need nothing
// more to be in force.
void ApplyOptions(Context& ctx);

// The File menu's recent files " &1." to " &5.": an item is enabled when its
// file exists.
std::array<MenuItemState, 5> RecentFilesMenuOnOpen(const Context& ctx);
// Loads recent file k (0-based); refused while the window is busy or a script
// runs, and for an empty entry. True when the file was loaded.
bool RecentFileClick(Context& ctx, int k);

// The statistics box's context menu: " &input stats" and " &edited stats",
// the one checked that mainFlags 0x40 names.
std::array<MenuItemState, 2> StatisticsMenuOnOpen(const Context& ctx);
void ShowInputStatsClick(Context& ctx);
void ShowEditedStatsClick(Context& ctx);

}  // namespace quorvel
