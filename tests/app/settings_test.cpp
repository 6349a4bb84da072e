#include "app/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <utility>

#include "app/paths.h"
#include "core/headless_host.h"
#include "settings_fixture.h"

namespace quorvel {
namespace {

using testing::EnvGuard;
using testing::Le16At;
using testing::Le32At;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// Every signed 32-bit value of the block with its offset.
std::vector<std::pair<size_t, int32_t>> BlockValues(const Options& o) {
  return {{4, o.mainWindow.left},          {8, o.mainWindow.top},
          {12, o.silenceDialog.left},      {16, o.silenceDialog.top},
          {20, o.fadeDialog.left},         {24, o.fadeDialog.top},
          {28, o.volumeDialog.left},       {32, o.volumeDialog.top},
          {36, o.aboutBox.left},           {40, o.aboutBox.top},
          {44, o.saveSelectionDialog.left}, {48, o.saveSelectionDialog.top},
          {52, o.splitDialog.left},        {56, o.splitDialog.top},
          {60, o.unusedPlace.left},        {64, o.unusedPlace.top},
          {68, o.id3v2Editor.left},        {72, o.id3v2Editor.top},
          {76, o.id3v1Editor.left},        {80, o.id3v1Editor.top},
          {84, o.textWindow.left},         {88, o.textWindow.top},
          {92, o.textWindowWidth},         {96, o.textWindowHeight},
          {100, o.encodingDialog.left},    {104, o.encodingDialog.top},
          {108, o.unusedValues[0]},        {112, o.unusedValues[1]},
          {116, o.unusedValues[2]},        {120, o.unusedValues[3]},
          {124, o.transferDialog.left},    {128, o.transferDialog.top},
          {132, o.legendWindow.left},      {136, o.legendWindow.top},
          {140, o.imageViewer.left},       {144, o.imageViewer.top},
          {148, o.messageWindow[0]},       {152, o.messageWindow[1]},
          {156, o.messageWindow[2]},       {160, o.messageWindow[3]},
          {164, o.yesNoWindow[0]},         {168, o.yesNoWindow[1]},
          {172, o.yesNoWindow[2]},         {176, o.yesNoWindow[3]}};
}

// Every single-byte value of the block with its offset.
std::vector<std::pair<size_t, uint8_t>> BlockBytes(const Options& o) {
  return {{180, o.messageWindowState}, {181, o.yesNoWindowState},    {194, o.errorPolicy},
          {195, o.overwritePolicy},    {196, o.newTagFormat},        {197, o.encodingDialogChoice},
          {198, o.autoExit},           {199, o.id3v1Charset},        {200, o.paddingIndex},
          {201, o.savedVolumeSteps},   {202, o.savedFadeSteps},      {203, o.volumeChannelAndTagSwitches},
          {204, o.rememberVolume},     {205, o.rememberFade},        {206, o.encodingDialogValue},
          {207, o.displayFlags},       {208, o.mainFlags},           {209, o.tagFlags},
          {210, o.listFlags},          {211, o.encodingDialogMode}};
}

std::vector<std::string> Strings(const Options& o) {
  std::vector<std::string> s = {o.lastSaveFolder,      o.lastLoadFolder,       o.scriptsFolder,
                                o.tagSaveMixedFolder,  o.tagLoadTextFolder,    o.tagSavePictureFolder,
                                o.tagLoadPictureFolder, o.configFolder,        o.logPath,
                                o.reservedText};
  for (int i = 0; i < 5; ++i) {
    s.push_back(o.recentFiles[i]);
    s.push_back(o.recentScripts[i]);
  }
  s.push_back(o.encodingDialogText);
  return s;
}

void PutLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void AppendUnits(std::vector<uint8_t>& b, const std::u16string& s) {
  b.push_back(static_cast<uint8_t>(s.size()));
  b.push_back(static_cast<uint8_t>(s.size() >> 8));
  for (char16_t u : s) {
    b.push_back(static_cast<uint8_t>(u));
    b.push_back(static_cast<uint8_t>(u >> 8));
  }
}

Options Defaults() {
  Options o;
  ResetOptions(o, 1920, 1080, "/home/tester");
  return o;
}

// A settings file put together byte by byte from the layout, with a different
// value in every field, reads into the matching members.
TEST(SettingsFile, HandBuiltFileReadsIntoEveryField) {
  std::vector<uint8_t> b(kSettingsBlockSize, 0);
  PutLe32(b, 0, 0xFF0BF6F0);
  for (size_t at = 4; at < 180; at += 4) PutLe32(b, at, static_cast<uint32_t>(-50000 + static_cast<int>(at) * 7));
  b[180] = 2;
  b[181] = 2;
  b[182] = 0x34, b[183] = 0x12;
  b[184] = 0x01, b[185] = 0x02;
  b[186] = 3, b[187] = 'd', b[188] = 'e', b[189] = 'u';
  b[190] = 3, b[191] = 'f', b[192] = 'r', b[193] = 'a';
  const uint8_t bytes[] = {0, 2, 0x84, 4, 2, 1, 6, 40, 0, 0x5A, 2, 0, 3, 0x05, 0x93, 0x48, 0x80, 2};
  for (size_t i = 0; i < sizeof bytes; ++i) b[194 + i] = bytes[i];
  for (size_t at = 212; at < 274; ++at) b[at] = static_cast<uint8_t>(at);
  std::vector<std::u16string> units;
  for (int i = 0; i < 21; ++i) units.push_back(u"/s" + std::u16string(1, static_cast<char16_t>(u'a' + i)));
  units[0] = u"/home/zo\u00EB/M\u00FCsik";
  units[12] = u"/tmp/\U0001F3B5.mp3";
  units[20] = u"";
  for (const auto& s : units) AppendUnits(b, s);

  TempFolder dir;
  WriteBytes(dir / "hand.ini", b);
  Options o;
  ASSERT_FALSE(ReadSettings(o, dir / "hand.ini"));

  for (auto [at, value] : BlockValues(o)) EXPECT_EQ(value, -50000 + static_cast<int>(at) * 7) << "offset " << at;
  for (auto [at, value] : BlockBytes(o)) EXPECT_EQ(value, b[at]) << "offset " << at;
  EXPECT_EQ(o.transferImportSettings, 0x1234);
  EXPECT_EQ(o.transferExportSettings, 0x0201);
  EXPECT_EQ(o.defaultLanguage, "deu");
  EXPECT_EQ(o.encodingDialogLanguage, "fra");
  for (size_t i = 0; i < o.reserved.size(); ++i) EXPECT_EQ(o.reserved[i], static_cast<uint8_t>(212 + i));

  std::vector<std::string> s = Strings(o);
  EXPECT_EQ(s[0], "/home/zo\xC3\xAB/M\xC3\xBCsik");
  EXPECT_EQ(o.recentFiles[0], "/sk");
  EXPECT_EQ(o.recentScripts[0], "/sl");
  EXPECT_EQ(o.recentFiles[1], "/tmp/\xF0\x9F\x8E\xB5.mp3");
  EXPECT_EQ(o.recentScripts[4], "/st");
  EXPECT_EQ(o.logPath, "/si");
  EXPECT_EQ(o.encodingDialogText, "");
  for (size_t i = 1; i < 20; ++i) {
    if (i != 12) {
      EXPECT_EQ(s[i], Utf16ToUtf8(units[i])) << "string " << i;
    }
  }

  // Written again, the file is the same bytes.
  ASSERT_FALSE(WriteSettings(o, dir / "again.ini"));
  EXPECT_EQ(ReadBytes(dir / "again.ini"), b);
}

// The defaults on a 1920 x 1080 screen, written, give these bytes at these offsets.
TEST(SettingsFile, WrittenDefaultsMatchLayout) {
  TempFolder dir;
  Options o = Defaults();
  ASSERT_FALSE(WriteSettings(o, dir / "d.ini"));
  std::vector<uint8_t> b = ReadBytes(dir / "d.ini");
  ASSERT_GE(b.size(), kSettingsBlockSize);

  EXPECT_EQ(b[0], 0xF0);
  EXPECT_EQ(b[1], 0xF6);
  EXPECT_EQ(b[2], 0x0B);
  EXPECT_EQ(b[3], 0xFF);
  const int hw = 960, hh = 540;
  const std::pair<size_t, int32_t> expected[] = {
      {4, hw - 243},   {8, hh - 261},   {12, hw - 145},  {16, hh - 92},   {20, hw - 160},  {24, hh - 110},
      {28, hw - 140},  {32, hh - 130},  {36, hw - 223},  {40, hh - 267},  {44, hw - 129},  {48, hh - 109},
      {52, hw - 144},  {56, hh - 281},  {60, hw - 211},  {64, hh - 205},  {68, hw - 257},  {72, hh - 328},
      {76, hw - 250},  {80, hh - 112},  {84, hw - 92},   {88, hh - 170},  {92, 340},       {96, 184},
      {100, hw - 267}, {104, hh - 145}, {108, hw - 145}, {112, hw - 142}, {116, hw - 195}, {120, hh - 110},
      {124, hw - 147}, {128, hh - 192}, {132, kMainWindowDefaultWidth + hw - 243},        {136, hh - 218},
      {140, hw},       {144, hh},       {148, hw - 200}, {152, hh - 100}, {156, 400},      {160, 200},
      {164, hw - 200}, {168, hh - 100}, {172, 400},      {176, 200}};
  for (auto [at, value] : expected) EXPECT_EQ(static_cast<int32_t>(Le32At(b, at)), value) << "offset " << at;

  EXPECT_EQ(Le16At(b, 182), 383);
  EXPECT_EQ(Le16At(b, 184), 383);
  const uint8_t lang[] = {3, 'e', 'n', 'g'};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(b[186 + i], lang[i]);
    EXPECT_EQ(b[190 + i], lang[i]);
  }
  EXPECT_EQ(b[180], 0);
  EXPECT_EQ(b[181], 0);
  const uint8_t bytes[] = {2, 1, 3, 0, 0, 0, 0, 20, 20, 0, 0, 1, 5, 7, 0x6E, 0xE0, 0, 0};
  for (size_t at = 194; at < 212; ++at) EXPECT_EQ(b[at], bytes[at - 194]) << "offset " << at;
  for (size_t at = 212; at < 274; ++at) EXPECT_EQ(b[at], 0x6F) << "offset " << at;

  std::vector<uint8_t> tail;
  for (int i = 0; i < 8; ++i) AppendUnits(tail, u"/home/tester");
  AppendUnits(tail, u"/home/tester/Quorvel.log");
  for (int i = 0; i < 12; ++i) AppendUnits(tail, u"");
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + kSettingsBlockSize, b.end()), tail);
}

TEST(SettingsFile, ResetCentresOnTheScreenAndFallsBackToFullHd) {
  Options known, unknown;
  ResetOptions(known, 1366, 769, "/h");
  EXPECT_EQ(known.mainWindow.left, 683 - 243);
  EXPECT_EQ(known.mainWindow.top, 384 - 261);
  EXPECT_EQ(known.logPath, "/h/Quorvel.log");
  ResetOptions(unknown, 0, 0, "/");
  EXPECT_EQ(unknown.mainWindow.left, 960 - 243);
  EXPECT_EQ(unknown.mainWindow.top, 540 - 261);
  EXPECT_EQ(unknown.logPath, "/Quorvel.log");
  EXPECT_EQ(unknown.configFolder, "/");
}

// Out-of-range values in a file read as usable ones.
TEST(SettingsFile, ReadValidatesOutOfRangeValues) {
  struct Case {
    size_t offset;
    uint8_t stored;
    std::function<uint8_t(const Options&)> member;
    uint8_t expected;
  };
  const Case cases[] = {
      {198, 7, [](const Options& o) { return o.autoExit; }, 0},
      {198, 2, [](const Options& o) { return o.autoExit; }, 2},
      {200, 9, [](const Options& o) { return o.paddingIndex; }, 0},
      {200, 6, [](const Options& o) { return o.paddingIndex; }, 6},
      {196, 0x85, [](const Options& o) { return o.newTagFormat; }, 3},
      {196, 0x81, [](const Options& o) { return o.newTagFormat; }, 3},
      {196, 0x84, [](const Options& o) { return o.newTagFormat; }, 0x84},
      {196, 0x02, [](const Options& o) { return o.newTagFormat; }, 2},
      {194, 5, [](const Options& o) { return o.errorPolicy; }, 1},
      {197, 7, [](const Options& o) { return o.encodingDialogChoice; }, 2},
      {211, 5, [](const Options& o) { return o.encodingDialogMode; }, 2},
      {201, 41, [](const Options& o) { return o.savedVolumeSteps; }, 20},
      {201, 40, [](const Options& o) { return o.savedVolumeSteps; }, 40},
      {202, 200, [](const Options& o) { return o.savedFadeSteps; }, 20},
      {195, 9, [](const Options& o) { return o.overwritePolicy; }, 1},
      {204, 3, [](const Options& o) { return o.rememberVolume; }, 0},
      {205, 3, [](const Options& o) { return o.rememberFade; }, 1},
      {180, 1, [](const Options& o) { return o.messageWindowState; }, 0},
      {181, 2, [](const Options& o) { return o.yesNoWindowState; }, 2},
  };
  TempFolder dir;
  const std::vector<uint8_t> good = EncodeSettings(Defaults());
  for (const Case& c : cases) {
    std::vector<uint8_t> b = good;
    b[c.offset] = c.stored;
    WriteBytes(dir / "v.ini", b);
    Options o;
    ASSERT_FALSE(ReadSettings(o, dir / "v.ini"));
    EXPECT_EQ(c.member(o), c.expected) << "offset " << c.offset << " value " << int{c.stored};
  }
}

// Files that are not settings files are refused as a whole and change nothing.
TEST(SettingsFile, BrokenFilesAreRejectedAndLeaveOptionsAlone) {
  const std::vector<uint8_t> good = EncodeSettings(Defaults());
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"short block", std::vector<uint8_t>(good.begin(), good.begin() + 100)});
  cases.push_back({"block without strings", std::vector<uint8_t>(good.begin(), good.begin() + kSettingsBlockSize)});
  cases.push_back({"last string cut", std::vector<uint8_t>(good.begin(), good.end() - 1)});
  {
    std::vector<uint8_t> b = good;
    b[0] = 0xF1;
    cases.push_back({"wrong magic", b});
  }
  {
    std::vector<uint8_t> b = good;
    b[kSettingsBlockSize] = 0xFF;  // the first string claims 0x..FF units
    b[kSettingsBlockSize + 1] = 0xFF;
    cases.push_back({"string longer than the file", b});
  }
  TempFolder dir;
  for (const Case& c : cases) {
    WriteBytes(dir / "bad.ini", c.bytes);
    Options o;
    o.recentFiles[2] = "/keep.mp3";
    o.autoExit = 2;
    EXPECT_TRUE(ReadSettings(o, dir / "bad.ini")) << c.name;
    EXPECT_EQ(o.recentFiles[2], "/keep.mp3") << c.name;
    EXPECT_EQ(o.autoExit, 2) << c.name;
  }
  Options o;
  EXPECT_TRUE(ReadSettings(o, dir / "missing.ini"));
  EXPECT_TRUE(ReadSettings(o, dir.path()));  // a folder

  // Extra bytes after the strings are ignored.
  std::vector<uint8_t> longer = good;
  longer.push_back(0x55);
  WriteBytes(dir / "longer.ini", longer);
  EXPECT_FALSE(ReadSettings(o, dir / "longer.ini"));
}

TEST(SettingsFile, OverlongStringsAreCutOrDropped) {
  Options o = Defaults();
  o.recentFiles[0] = "/" + std::string(39999, 'x');  // 40000 characters
  o.recentScripts[0] = std::string(32767, 's');         // the longest kept
  o.logPath = "/" + std::string(40000, 'l');
  o.encodingDialogText = std::string(1023, 't') + "\xF0\x9F\x8E\xB5" + "more";  // pair across 1024
  o.scriptsFolder = std::string(2000, 'e');  // only the encoding text is cut to 1024
  o.errorPolicy = 7;
  TempFolder dir;
  ASSERT_FALSE(WriteSettings(o, dir / "long.ini"));
  EXPECT_EQ(o.errorPolicy, 1);
  Options r;
  ASSERT_FALSE(ReadSettings(r, dir / "long.ini"));
  EXPECT_EQ(r.recentFiles[0], "");
  EXPECT_EQ(r.recentScripts[0].size(), 32767u);
  EXPECT_EQ(r.logPath, "Quorvel.log");
  EXPECT_EQ(r.encodingDialogText, std::string(1023, 't'));
  EXPECT_EQ(r.scriptsFolder.size(), 2000u);
  EXPECT_EQ(r.errorPolicy, 1);

  o.encodingDialogText = std::string(3000, 'u');
  ASSERT_FALSE(WriteSettings(o, dir / "long.ini"));
  ASSERT_FALSE(ReadSettings(r, dir / "long.ini"));
  EXPECT_EQ(r.encodingDialogText, std::string(1024, 'u'));
}

TEST(SettingsFile, LanguageFieldsKeepAtMostThreeCharacters) {
  Options o = Defaults();
  o.defaultLanguage = "en";
  o.encodingDialogLanguage = "english";
  std::vector<uint8_t> b = EncodeSettings(o);
  EXPECT_EQ(b[186], 2);
  EXPECT_EQ(b[187], 'e');
  EXPECT_EQ(b[188], 'n');
  EXPECT_EQ(b[189], 0);
  EXPECT_EQ(b[190], 3);
  EXPECT_EQ(b[193], 'g');
  b[186] = 200;  // a length byte beyond the three characters
  TempFolder dir;
  WriteBytes(dir / "l.ini", b);
  Options r;
  ASSERT_FALSE(ReadSettings(r, dir / "l.ini"));
  EXPECT_EQ(r.defaultLanguage, std::string("en\0", 3));
  EXPECT_EQ(r.encodingDialogLanguage, "eng");
}

TEST(SettingsFile, NonAsciiStringsRoundTripThroughUtf16) {
  Options o = Defaults();
  o.lastSaveFolder = "/home/\xC3\xB1o\xC3\xB1o";                  // U+00F1
  o.recentFiles[3] = "/m\xC3\xBAsica/\xE6\x97\xA5\xE6\x9C\xAC.mp3";  // U+00FA, CJK
  o.recentScripts[2] = "/s/\xF0\x9D\x84\x9E.txt";                  // U+1D11E, outside the BMP
  o.encodingDialogText = "\xE2\x82\xAC 5";                         // U+20AC
  std::vector<uint8_t> b = EncodeSettings(o);
  // The first string's units: "/home/" then U+00F1 as F1 00.
  EXPECT_EQ(Le16At(b, kSettingsBlockSize), 10);
  EXPECT_EQ(Le16At(b, kSettingsBlockSize + 2 + 6 * 2), 0x00F1);
  TempFolder dir;
  ASSERT_FALSE(WriteSettings(o, dir / "u.ini"));
  Options r;
  ASSERT_FALSE(ReadSettings(r, dir / "u.ini"));
  EXPECT_EQ(Strings(r), Strings(o));
}

TEST(SettingsFile, Utf16ConversionReplacesMalformedInput) {
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9D\x84\x9E"), std::u16string(u"\U0001D11E"));
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), std::u16string(u"a\uFFFDb"));
  EXPECT_EQ(Utf8ToUtf16("\xC3"), std::u16string(u"\uFFFD"));             // cut sequence
  EXPECT_EQ(Utf8ToUtf16("\xE0\x80\xAF"), std::u16string(u"\uFFFD"));     // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), std::u16string(u"\uFFFD"));     // encoded surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

// ---------- the settings folder ----------

TEST(SettingsFolderTest, FollowsXdgConfigHomeWhenAbsolute) {
  TempFolder dir;
  const std::string home = dir / "home";
  mkdir(home.c_str(), 0700);
  EnvGuard homeGuard("HOME", home);
  struct Case {
    const char* name;
    std::optional<std::string> xdg;
    std::string expected;
  };
  const Case cases[] = {
      {"set", dir / "xdg", dir / "xdg/quorvel/"},
      {"unset", std::nullopt, home + "/.config/quorvel/"},
      {"relative", std::string("rel/config"), home + "/.config/quorvel/"},
      {"empty", std::string(""), home + "/.config/quorvel/"},
  };
  for (const Case& c : cases) {
    EnvGuard xdgGuard("XDG_CONFIG_HOME", c.xdg);
    std::optional<std::string> folder = SettingsFolder();
    ASSERT_TRUE(folder) << c.name;
    EXPECT_EQ(*folder, c.expected) << c.name;
    struct stat st {};
    ASSERT_EQ(stat(folder->c_str(), &st), 0) << c.name;
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << c.name;
  }
}

TEST(SettingsFolderTest, NoAbsoluteBaseOrNoFolderIsAnError) {
  TempFolder dir;
  {
    EnvGuard xdg("XDG_CONFIG_HOME", std::nullopt);
    EnvGuard home("HOME", std::string("relative/home"));
    EXPECT_FALSE(SettingsFolder());
  }
  {
    EnvGuard xdg("XDG_CONFIG_HOME", std::nullopt);
    EnvGuard home("HOME", std::nullopt);
    EXPECT_FALSE(SettingsFolder());
  }
  {
    WriteBytes(dir / "plain-file", {1});
    EnvGuard xdg("XDG_CONFIG_HOME", dir / "plain-file");  // a file where the folder should go
    EXPECT_FALSE(SettingsFolder());
  }
  {
    // Without creation the folder is named even when it does not exist.
    EnvGuard xdg("XDG_CONFIG_HOME", dir / "later");
    EXPECT_EQ(SettingsFolder(false), dir / "later/quorvel/");
    struct stat st {};
    EXPECT_NE(stat((dir / "later").c_str(), &st), 0);
  }
}

TEST(SettingsFolderTest, DeleteWorkingFilesKeepsTheSettingsFile) {
  TempFolder dir;
  for (const char* name : kWorkingFileNames) WriteBytes(dir / name, {1});
  WriteBytes(dir / kSettingsFileName, {1});
  WriteBytes(dir / "user.mp3", {1});
  DeleteWorkingFiles(dir.path() + "/");
  for (const char* name : kWorkingFileNames) EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
  EXPECT_TRUE(std::filesystem::exists(dir / kSettingsFileName));
  EXPECT_TRUE(std::filesystem::exists(dir / "user.mp3"));
}

// ---------- the settings file of the program ----------

class SettingsStart : public ::testing::Test {
 protected:
  SettingsStart() : xdg_("XDG_CONFIG_HOME", dir_ / "config"), home_("HOME", dir_.path()) {}
  std::string folder() const { return dir_ / "config/quorvel/"; }
  std::string settingsFile() const { return folder() + kSettingsFileName; }

  TempFolder dir_;
  EnvGuard xdg_;
  EnvGuard home_;
  HeadlessHost host_;
};

TEST_F(SettingsStart, WrongMagicResetsAndWritesTheDefaultsBack) {
  std::filesystem::create_directories(folder());
  Options custom = Defaults();
  custom.autoExit = 2;
  custom.recentFiles[0] = "/a.mp3";
  std::vector<uint8_t> b = EncodeSettings(custom);
  b[3] = 0xFE;
  WriteBytes(settingsFile(), b);

  Context ctx(host_);
  ctx.options.autoExit = 1;
  EXPECT_EQ(PrepareSettings(ctx, false, "", 1920, 1080), kStartSettingsReset);
  EXPECT_EQ(ctx.settingsFolder, folder());
  Options expected;
  ResetOptions(expected, 1920, 1080, dir_.path());
  EXPECT_EQ(EncodeSettings(ctx.options), EncodeSettings(expected));
  EXPECT_EQ(ReadBytes(settingsFile()), EncodeSettings(expected));
  EXPECT_EQ(std::string(kStartErrorConfigText), "Error reading the configuration.\r\nOptions reset to default.");
}

TEST_F(SettingsStart, FirstRunWritesDefaultsWithoutAnError) {
  Context ctx(host_);
  EXPECT_EQ(PrepareSettings(ctx, false, ""), kStartOk);
  Options expected;
  ResetOptions(expected, 0, 0, dir_.path());
  EXPECT_EQ(ReadBytes(settingsFile()), EncodeSettings(expected));
  EXPECT_EQ(ctx.options.logPath, dir_.path() + "/Quorvel.log");
}

TEST_F(SettingsStart, SettingsFileIsCopiedFromTheApplicationFolder) {
  const std::string app = dir_ / "app";
  std::filesystem::create_directories(app);
  Options shipped = Defaults();
  shipped.overwritePolicy = 2;
  WriteSettings(shipped, app + "/" + kSettingsFileName);
  Context ctx(host_);
  EXPECT_EQ(PrepareSettings(ctx, false, app + "/"), kStartOk);
  EXPECT_EQ(ctx.options.overwritePolicy, 2);

  // An existing settings file is never replaced by the shipped one.
  shipped.overwritePolicy = 0;
  WriteSettings(shipped, app + "/" + kSettingsFileName);
  Context again(host_);
  EXPECT_EQ(PrepareSettings(again, false, app + "/"), kStartOk);
  EXPECT_EQ(again.options.overwritePolicy, 2);
}

TEST_F(SettingsStart, OnlyTheFirstInstanceDeletesWorkingFiles) {
  std::filesystem::create_directories(folder());
  Options defaults = Defaults();
  WriteSettings(defaults, settingsFile());
  WriteBytes(folder() + kPreviewFileName, {1});
  WriteBytes(folder() + kSelectionFileName, {1});
  Context second(host_);
  EXPECT_EQ(PrepareSettings(second, true, ""), kStartOk);
  EXPECT_TRUE(std::filesystem::exists(folder() + kPreviewFileName));
  EXPECT_TRUE(std::filesystem::exists(folder() + kSelectionFileName));
  Context first(host_);
  EXPECT_EQ(PrepareSettings(first, false, ""), kStartOk);
  EXPECT_FALSE(std::filesystem::exists(folder() + kPreviewFileName));
  EXPECT_FALSE(std::filesystem::exists(folder() + kSelectionFileName));
  EXPECT_TRUE(std::filesystem::exists(settingsFile()));
}

TEST_F(SettingsStart, LaterInstanceOnAFirstRunCreatesTheFolder) {
  ASSERT_FALSE(std::filesystem::exists(folder()));
  Context second(host_);
  EXPECT_EQ(PrepareSettings(second, true, ""), kStartOk);
  EXPECT_TRUE(std::filesystem::is_directory(folder()));
  EXPECT_TRUE(std::filesystem::exists(settingsFile()));
}

TEST_F(SettingsStart, UnusableEnvironmentIsStartErrorOne) {
  EnvGuard xdg("XDG_CONFIG_HOME", std::nullopt);
  EnvGuard home("HOME", std::string("nowhere"));
  Context ctx(host_);
  EXPECT_EQ(PrepareSettings(ctx, false, ""), kStartEnvironmentUnusable);
}

TEST_F(SettingsStart, SaveThenLoadKeepsTheOptions) {
  Context ctx(host_);
  ctx.settingsFolder = folder();
  std::filesystem::create_directories(folder());
  ResetOptions(ctx.options, 800, 600, "/x");
  ctx.options.recentScripts[1] = "/s.txt";
  ctx.options.mainFlags = 0x13;
  ASSERT_FALSE(SaveSettingsFile(ctx));
  Context other(host_);
  other.settingsFolder = folder();
  ASSERT_FALSE(LoadSettingsFile(other));
  EXPECT_EQ(EncodeSettings(other.options), EncodeSettings(ctx.options));

  // A file with the prompt to save changes off keeps it off, although a new
  // user's default has it on.
  ctx.options.mainFlags = 0x6C;
  ASSERT_FALSE(SaveSettingsFile(ctx));
  Context fresh(host_);
  fresh.settingsFolder = folder();
  ASSERT_TRUE(fresh.options.mainFlag(kPromptSaveOnClose));
  ASSERT_FALSE(LoadSettingsFile(fresh));
  EXPECT_EQ(fresh.options.mainFlags, 0x6C);

  Context unknown(host_);  // no settings folder known
  EXPECT_TRUE(SaveSettingsFile(unknown));
}

}  // namespace
}  // namespace quorvel
