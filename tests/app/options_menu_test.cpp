// The Options menu, the recent-files items and the statistics switch: every
// item's caption and the member it changes, toggled and read back through a
// settings file written and read again.

#include "app/options_menu.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/settings.h"
#include "core/headless_host.h"
#include "settings_fixture.h"

namespace quorvel {
namespace {

using testing::EnvGuard;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// Offsets of the option bytes in the settings file's block.
constexpr size_t kErrorPolicyAt = 194;
constexpr size_t kOverwritePolicyAt = 195;
constexpr size_t kNewTagFormatAt = 196;
constexpr size_t kAutoExitAt = 198;
constexpr size_t kPaddingIndexAt = 200;
constexpr size_t kRememberVolumeAt = 204;
constexpr size_t kRememberFadeAt = 205;
constexpr size_t kDisplayFlagsAt = 207;
constexpr size_t kMainFlagsAt = 208;
constexpr size_t kTagFlagsAt = 209;
constexpr size_t kListFlagsAt = 210;

struct SwitchCase {
  const char* caption;
  const char* member;
  size_t offset;
  uint8_t bit;
};

const SwitchCase kSwitches[] = {
    {" &Automatically select all on load", "mainFlags", kMainFlagsAt, 0x04},
    {" Automatically check \"Remove &unknown data && RIFF\"", "mainFlags", kMainFlagsAt, 0x08},
    {" Prompt to save changes when &closing", "mainFlags", kMainFlagsAt, 0x02},
    {" &Reload after overwriting the source file", "mainFlags", kMainFlagsAt, 0x01},
    {" &Don't write ID3v2 fields without content and description", "tagFlags", kTagFlagsAt, 0x40},
    {" Save as default folder is last save (last load if unchec&ked)", "tagFlags", kTagFlagsAt, 0x80},
    {" Saved items on recent files list (loaded if unchecked)", "listFlags", kListFlagsAt, 0x80},
    {" Color button captions red on &hover", "displayFlags", kDisplayFlagsAt, 0x01},
};

struct GroupCase {
  const char* caption;
  const char* member;
  size_t offset;
  std::vector<std::pair<const char*, uint8_t>> choices;
  bool refusedWhileScript;
};

const std::vector<GroupCase>& Groups() {
  static const std::vector<GroupCase> groups = {
      {" On processing &error...",
       "errorPolicy",
       kErrorPolicyAt,
       {{"&Fail", 0}, {"&Prompt", 1}, {"Try to &continue", 2}},
       true},
      {" &Overwrite existing files after saving...",
       "overwritePolicy",
       kOverwritePolicyAt,
       {{"Never overwrite without pr&ompt", 0},
        {"Prompt to overwrite only when \"saving &as\"", 1},
        {"Always over&write existing files without prompt", 2}},
       false},
      {" Automatically e&xit the program when closing a file...",
       "autoExit",
       kAutoExitAt,
       {{"&Never", 0}, {"If &called with a parameter (open with, drag && drop, command line)", 1}, {"&Always", 2}},
       false},
      {" &New ID3v2 tag format...",
       "newTagFormat",
       kNewTagFormatAt,
       {{"ID3v2.2", 2},
        {"ID3v2.2 with unsynchronisation", 130},
        {"ID3v2.&3", 3},
        {"ID3v2.3 &with unsynchronisation", 131},
        {"ID3v2.&4", 4},
        {"ID3v2.4 with &unsynchronisation", 132}},
       false},
      {"Padding value:",
       "paddingIndex",
       kPaddingIndexAt,
       {{"&0", 0}, {"&2", 1}, {"&4", 2}, {"&16", 3}, {"&64", 4}, {"2&56", 5}, {"1 &KB", 6}},
       false},
      {" Remember &magnitude of volume/balance adjustment",
       "rememberVolume",
       kRememberVolumeAt,
       {{"Do&n't (always reset to zero)", 0}, {"Remember but reset after &closing the file", 1}, {"&Remember", 2}},
       false},
      {" Remember &magn&itude of fade in/out",
       "rememberFade",
       kRememberFadeAt,
       {{"Do&n't (always reset to 30 dB)", 0}, {"Remember but reset after &closing the file", 1}, {"&Remember", 2}},
       false},
  };
  return groups;
}

class OptionsMenu : public ::testing::Test {
 protected:
  OptionsMenu() : home_("HOME", dir_.path()), ctx_(host_) {
    settings_ = dir_ / "settings/";
    std::filesystem::create_directories(settings_);
    ctx_.settingsFolder = settings_;
    ResetOptions(ctx_.options, 1920, 1080, dir_.path());
    ctx_.saveSettings = [](Context& c) { SaveSettingsFile(c); };
  }

  // Writes ctx's options to a file, reads them into a fresh record, writes that
  // again: the two files are the same bytes. Returns the bytes and the record.
  std::vector<uint8_t> RoundTrip(Options& read) {
    const std::string first = dir_ / "first.ini";
    const std::string second = dir_ / "second.ini";
    EXPECT_FALSE(WriteSettings(ctx_.options, first));
    EXPECT_FALSE(ReadSettings(read, first));
    EXPECT_FALSE(WriteSettings(read, second));
    std::vector<uint8_t> bytes = ReadBytes(first);
    EXPECT_EQ(bytes, ReadBytes(second));
    return bytes;
  }

  // The menu of a context whose options are `options`.
  OptionsMenuState MenuOf(const Options& options) {
    HeadlessHost host;
    Context other(host);
    other.options = options;
    return OptionsMenuOnOpen(other);
  }

  std::string settingsFile() const { return settings_ + kSettingsFileName; }

  TempFolder dir_;
  EnvGuard home_;
  HeadlessHost host_;
  Context ctx_;
  std::string settings_;
};

TEST_F(OptionsMenu, TablesHoldEveryItemWithItsCaptionAndMember) {
  const std::vector<OptionSwitchItem>& switches = OptionSwitches();
  ASSERT_EQ(switches.size(), std::size(kSwitches));
  for (size_t i = 0; i < switches.size(); ++i) {
    EXPECT_STREQ(switches[i].caption, kSwitches[i].caption);
    EXPECT_STREQ(OptionFieldName(switches[i].field), kSwitches[i].member) << kSwitches[i].caption;
    EXPECT_EQ(switches[i].bit, kSwitches[i].bit) << kSwitches[i].caption;
  }
  const std::vector<OptionGroup>& groups = OptionGroups();
  ASSERT_EQ(groups.size(), Groups().size());
  for (size_t g = 0; g < groups.size(); ++g) {
    const GroupCase& expected = Groups()[g];
    EXPECT_STREQ(groups[g].caption, expected.caption);
    EXPECT_STREQ(OptionFieldName(groups[g].field), expected.member);
    EXPECT_EQ(groups[g].refusedWhileBusy, expected.refusedWhileScript);
    ASSERT_EQ(groups[g].choices.size(), expected.choices.size()) << expected.caption;
    for (size_t c = 0; c < expected.choices.size(); ++c) {
      EXPECT_STREQ(groups[g].choices[c].caption, expected.choices[c].first);
      EXPECT_EQ(groups[g].choices[c].value, expected.choices[c].second) << expected.choices[c].first;
    }
  }
  const char* const commands[] = {"&Save complete configuration (incl. folders, positions, etc)",
                                  "&Load complete configuration (incl. folders, positions, etc)",
                                  "Reset complete con&figuration to installation default"};
  for (size_t i = 0; i < 3; ++i) EXPECT_STREQ(ConfigCommands()[i].caption, commands[i]);
}

// Each switch flips its own bit and nothing else; the file carries it at the
// member's offset, and the menu of the re-read options shows it.
TEST_F(OptionsMenu, EverySwitchToggledSurvivesTheSettingsFile) {
  for (size_t i = 0; i < std::size(kSwitches); ++i) {
    const SwitchCase& c = kSwitches[i];
    for (int round = 0; round < 2; ++round) {
      Options before = ctx_.options;
      std::vector<uint8_t> beforeBytes = EncodeSettings(before);
      const bool wasOn = (beforeBytes[c.offset] & c.bit) != 0;
      ASSERT_EQ(OptionsMenuOnOpen(ctx_).switches[i].checked, wasOn) << c.caption;

      ASSERT_TRUE(OptionSwitchClick(ctx_, i)) << c.caption;
      Options read;
      std::vector<uint8_t> bytes = RoundTrip(read);
      ASSERT_EQ(bytes.size(), beforeBytes.size());
      for (size_t at = 0; at < bytes.size(); ++at) {
        uint8_t expected = at == c.offset ? static_cast<uint8_t>(beforeBytes[at] ^ c.bit) : beforeBytes[at];
        EXPECT_EQ(bytes[at], expected) << c.caption << " offset " << at;
      }
      OptionsMenuState menu = MenuOf(read);
      for (size_t j = 0; j < menu.switches.size(); ++j) {
        bool expected = (bytes[kSwitches[j].offset] & kSwitches[j].bit) != 0;
        EXPECT_EQ(menu.switches[j].checked, expected) << kSwitches[j].caption;
        EXPECT_EQ(menu.switches[j].caption, kSwitches[j].caption);
      }
      EXPECT_EQ(menu.switches[i].checked, !wasOn) << c.caption;
    }
  }
  // Every switch clicked twice: the options are the installation defaults again.
  Options defaults;
  ResetOptions(defaults, 1920, 1080, dir_.path());
  EXPECT_EQ(EncodeSettings(ctx_.options), EncodeSettings(defaults));
}

TEST_F(OptionsMenu, EveryChoiceChecksItselfAloneAfterTheSettingsFile) {
  for (size_t g = 0; g < Groups().size(); ++g) {
    const GroupCase& group = Groups()[g];
    for (size_t c = 0; c < group.choices.size(); ++c) {
      ASSERT_TRUE(OptionChoiceClick(ctx_, g, c)) << group.choices[c].first;
      Options read;
      std::vector<uint8_t> bytes = RoundTrip(read);
      EXPECT_EQ(bytes[group.offset], group.choices[c].second) << group.choices[c].first;
      OptionsMenuState menu = MenuOf(read);
      ASSERT_EQ(menu.groups.size(), Groups().size());
      for (size_t k = 0; k < group.choices.size(); ++k) {
        EXPECT_EQ(menu.groups[g][k].checked, k == c) << group.caption << " / " << group.choices[k].first;
        EXPECT_EQ(menu.groups[g][k].caption, group.choices[k].first);
      }
    }
  }
}

// The overwrite policy is written to the settings file at once; the other
// choices wait for the program's close.
TEST_F(OptionsMenu, OverwritePolicyIsSavedAtOnce) {
  std::filesystem::remove(settingsFile());
  ASSERT_TRUE(OptionChoiceClick(ctx_, 2, 2));  // autoExit: always
  EXPECT_FALSE(std::filesystem::exists(settingsFile()));
  ASSERT_TRUE(OptionChoiceClick(ctx_, 1, 2));  // overwrite: always
  std::vector<uint8_t> bytes = ReadBytes(settingsFile());
  ASSERT_GT(bytes.size(), kOverwritePolicyAt);
  EXPECT_EQ(bytes[kOverwritePolicyAt], 2);
  EXPECT_EQ(bytes[kAutoExitAt], 2);
}

TEST_F(OptionsMenu, SwitchesAndTheErrorPolicyAreRefusedWhileAScriptRunsOrTheWindowIsBusy) {
  const Options before = ctx_.options;
  for (int state = 0; state < 2; ++state) {
    ctx_.script.active = state == 0;
    ctx_.doc.busy = state == 1;
    OptionsMenuState menu = OptionsMenuOnOpen(ctx_);
    for (size_t i = 0; i < std::size(kSwitches); ++i) {
      EXPECT_FALSE(menu.switches[i].enabled);
      EXPECT_FALSE(OptionSwitchClick(ctx_, i));
    }
    for (const MenuItemState& item : menu.groups[0]) EXPECT_FALSE(item.enabled);
    EXPECT_FALSE(OptionChoiceClick(ctx_, 0, 0));
    EXPECT_EQ(EncodeSettings(ctx_.options), EncodeSettings(before));
    // The other groups take effect at any time.
    for (size_t g = 1; g < menu.groups.size(); ++g) {
      for (const MenuItemState& item : menu.groups[g]) EXPECT_TRUE(item.enabled);
    }
    ASSERT_TRUE(OptionChoiceClick(ctx_, 4, 6));
    EXPECT_EQ(ctx_.options.paddingIndex, 6);
    ctx_.options.paddingIndex = before.paddingIndex;
    EXPECT_EQ(menu.commands[0].enabled, state == 1);
  }
  ctx_.script.active = false;
  ctx_.doc.busy = false;
  EXPECT_TRUE(OptionsMenuOnOpen(ctx_).switches[0].enabled);
  EXPECT_FALSE(OptionSwitchClick(ctx_, std::size(kSwitches)));
  EXPECT_FALSE(OptionChoiceClick(ctx_, 0, 3));
  EXPECT_FALSE(OptionChoiceClick(ctx_, Groups().size(), 0));
}

// Out-of-range values of a damaged file read as valid ones, so each group
// checks exactly one existing item; an unvalidated value checks none.
TEST_F(OptionsMenu, DamagedSettingsFileNeverSelectsAMissingItem) {
  ASSERT_FALSE(WriteSettings(ctx_.options, settingsFile()));
  std::vector<uint8_t> bytes = ReadBytes(settingsFile());
  bytes[kErrorPolicyAt] = 9;
  bytes[kNewTagFormatAt] = 0x85;
  bytes[kAutoExitAt] = 7;
  bytes[kPaddingIndexAt] = 9;
  WriteBytes(settingsFile(), bytes);
  ctx_.options = Options{};
  ASSERT_FALSE(LoadSettingsFile(ctx_));
  OptionsMenuState menu = OptionsMenuOnOpen(ctx_);
  const std::pair<size_t, size_t> checked[] = {{0, 1}, {3, 2}, {2, 0}, {4, 0}};  // Prompt, ID3v2.3, Never, 0
  for (auto [group, item] : checked) {
    for (size_t k = 0; k < menu.groups[group].size(); ++k) {
      EXPECT_EQ(menu.groups[group][k].checked, k == item) << Groups()[group].caption << " item " << k;
    }
  }

  ctx_.options.autoExit = 7;
  menu = OptionsMenuOnOpen(ctx_);
  for (const MenuItemState& item : menu.groups[2]) EXPECT_FALSE(item.checked);
  const int changes = host_.changes;
  ApplyOptions(ctx_);
  EXPECT_EQ(ctx_.options.autoExit, 0);
  EXPECT_TRUE(OptionsMenuOnOpen(ctx_).groups[2][0].checked);
  EXPECT_GT(host_.changes, changes);
}

TEST_F(OptionsMenu, SavingTheConfigurationTwiceToOneFileIsNoError) {
  const std::string target = dir_ / "mine.ini";
  for (int i = 0; i < 2; ++i) {
    host_.fileAnswers.push_back(target);
    EXPECT_TRUE(ConfigCommandClick(ctx_, ConfigCommand::kSave));
  }
  EXPECT_TRUE(host_.messages.empty()) << host_.messages[0].text;
  EXPECT_EQ(ReadBytes(target), ReadBytes(settingsFile()));
}

TEST_F(OptionsMenu, LoadingAConfigurationAppliesIt) {
  Options other = ctx_.options;
  other.autoExit = 2;
  other.mainFlags = 0x13;
  const std::string source = dir_ / "other.ini";
  ASSERT_FALSE(WriteSettings(other, source));
  host_.fileAnswers.push_back(source);
  ASSERT_TRUE(ConfigCommandClick(ctx_, ConfigCommand::kLoad));
  OptionsMenuState menu = OptionsMenuOnOpen(ctx_);
  EXPECT_TRUE(menu.groups[2][2].checked);
  EXPECT_TRUE(menu.switches[3].checked);   // 0x01
  EXPECT_TRUE(menu.switches[2].checked);   // 0x02
  EXPECT_FALSE(menu.switches[0].checked);  // 0x04
  EXPECT_EQ(ReadBytes(settingsFile())[kMainFlagsAt], 0x13);

  host_.answers.push_back(kAnswerYes);
  ASSERT_TRUE(ConfigCommandClick(ctx_, ConfigCommand::kReset));
  EXPECT_EQ(ctx_.options.mainFlags, 0x6E);
  EXPECT_TRUE(OptionsMenuOnOpen(ctx_).groups[2][0].checked);
}

TEST_F(OptionsMenu, StatisticsSwitch) {
  auto items = StatisticsMenuOnOpen(ctx_);
  EXPECT_EQ(items[0].caption, " &input stats");
  EXPECT_EQ(items[1].caption, " &edited stats");
  EXPECT_FALSE(items[0].checked);
  EXPECT_TRUE(items[1].checked);  // the default shows edited statistics

  ShowInputStatsClick(ctx_);
  Options read;
  std::vector<uint8_t> bytes = RoundTrip(read);
  EXPECT_EQ(bytes[kMainFlagsAt], 0x2E);
  EXPECT_TRUE(StatisticsMenuOnOpen(ctx_)[0].checked);
  EXPECT_FALSE(StatisticsMenuOnOpen(ctx_)[1].checked);
  ShowEditedStatsClick(ctx_);
  EXPECT_EQ(ctx_.options.mainFlags, 0x6E);
  EXPECT_TRUE(StatisticsMenuOnOpen(ctx_)[1].checked);
}

std::string Fixture(const std::string& name) {
  const char* dir = std::getenv("QUORVEL_TEST_DATA");
  return dir == nullptr ? std::string() : std::string(dir) + "/" + name;
}

TEST_F(OptionsMenu, RecentFilesShowTheirNamesAndLoadWhenTheirFileExists) {
  const std::string fixture = Fixture("cbr128-info.mp3");
  ASSERT_TRUE(std::filesystem::exists(fixture)) << "QUORVEL_TEST_DATA must name tests/data";
  const std::string song = dir_ / "Song.MP3";
  const std::string other = dir_ / "other.mp3";
  std::filesystem::copy_file(fixture, song);
  std::filesystem::copy_file(fixture, other);
  ctx_.options.recentFiles = {song, dir_ / "gone.mp3", "", other, dir_ / "x.mp3.wav"};

  auto items = RecentFilesMenuOnOpen(ctx_);
  const std::pair<const char*, bool> expected[] = {
      {" &1. Song", true}, {" &2. gone", false}, {" &3. ", false}, {" &4. other", true}, {" &5. x.mp3.wav", false}};
  for (size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(items[k].caption, expected[k].first);
    EXPECT_EQ(items[k].enabled, expected[k].second) << k;
  }

  // Refused while a script runs, and for an empty entry.
  ctx_.script.active = true;
  EXPECT_FALSE(RecentFileClick(ctx_, 3));
  ctx_.script.active = false;
  EXPECT_FALSE(RecentFileClick(ctx_, 2));
  EXPECT_FALSE(ctx_.doc.loaded);

  // Loading the fourth moves it to the top, and the list is saved.
  ASSERT_TRUE(RecentFileClick(ctx_, 3));
  EXPECT_TRUE(ctx_.doc.loaded);
  EXPECT_EQ(ctx_.doc.sourceName, other);
  Options onDisk;
  ASSERT_FALSE(ReadSettings(onDisk, settingsFile()));
  const std::array<std::string, 5> moved = {other, song, dir_ / "gone.mp3", "", dir_ / "x.mp3.wav"};
  EXPECT_EQ(onDisk.recentFiles, moved);
  EXPECT_EQ(RecentFilesMenuOnOpen(ctx_)[0].caption, " &1. other");

  // A missing file fails with the analysis's message and the list stays.
  ASSERT_FALSE(RecentFileClick(ctx_, 2));
  EXPECT_FALSE(host_.messages.empty());
  EXPECT_EQ(ctx_.options.recentFiles, moved);
}

}  // namespace
}  // namespace quorvel
