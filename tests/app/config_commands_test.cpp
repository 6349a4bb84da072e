#include "app/config_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/paths.h"
#include "app/settings.h"
#include "core/headless_host.h"
#include "settings_fixture.h"

namespace quorvel {
namespace {

using testing::EnvGuard;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

class ConfigCommands : public ::testing::Test {
 protected:
  ConfigCommands() : home_("HOME", dir_.path()), ctx_(host_) {
    settings_ = dir_ / "settings/";
    std::filesystem::create_directories(settings_);
    std::filesystem::create_directories(dir_ / "configs");
    ctx_.settingsFolder = settings_;
    ResetOptions(ctx_.options, 1920, 1080, dir_.path());
    ctx_.options.configFolder = dir_ / "configs";
    ctx_.options.recentFiles[0] = "/music/now.mp3";
  }
  std::string settingsFile() const { return settings_ + kSettingsFileName; }
  Options OnDisk(const std::string& path) {
    Options o;
    EXPECT_FALSE(ReadSettings(o, path)) << path;
    return o;
  }

  TempFolder dir_;
  EnvGuard home_;
  HeadlessHost host_;
  Context ctx_;
  std::string settings_;
};

TEST_F(ConfigCommands, SaveAsksWithItsDialogAndWritesBothFiles) {
  const std::string target = dir_ / "elsewhere/mine.ini";
  std::filesystem::create_directories(dir_ / "elsewhere");
  host_.fileAnswers.push_back(target);
  EXPECT_TRUE(MenuSaveConfigClick(ctx_));

  ASSERT_EQ(host_.fileRequests.size(), 1u);
  const FileDialogRequest& r = host_.fileRequests[0];
  EXPECT_EQ(r.title, "save options as");
  EXPECT_EQ(r.filter, "ini files|*.ini|all files|*.*");
  EXPECT_EQ(r.defaultExt, "ini");
  EXPECT_EQ(r.folder, dir_ / "configs");
  EXPECT_TRUE(r.overwritePrompt);
  EXPECT_TRUE(host_.messages.empty());

  EXPECT_EQ(ctx_.options.configFolder, dir_ / "elsewhere");
  EXPECT_EQ(OnDisk(target).recentFiles[0], "/music/now.mp3");
  EXPECT_EQ(OnDisk(target).configFolder, dir_ / "elsewhere");
  EXPECT_EQ(ReadBytes(settingsFile()), ReadBytes(target));
}

// A file in the settings folder, under any spelling of its name, is refused
// and the dialog comes back.
TEST_F(ConfigCommands, SaveIntoTheSettingsFolderIsRefusedAndAskedAgain) {
  symlink(settings_.c_str(), (dir_ / "link").c_str());
  const std::string refused[] = {settings_ + "x.ini", dir_ / "configs/../settings/y.ini", dir_ / "link/z.ini",
                                 settings_ + kSettingsFileName};
  for (const std::string& path : refused) host_.fileAnswers.push_back(path);
  host_.fileAnswers.push_back(dir_ / "configs/ok.ini");
  EXPECT_TRUE(MenuSaveConfigClick(ctx_));

  EXPECT_EQ(host_.fileRequests.size(), 5u);
  ASSERT_EQ(host_.messages.size(), 4u);
  for (const MessageRecord& m : host_.messages) {
    EXPECT_EQ(m.text, "You are not allowed to save to the application folder.\r\nPlease change the path.");
    EXPECT_EQ(m.kind, 1);
    EXPECT_EQ(m.caption, "warning");
  }
  for (const char* name : {"x.ini", "y.ini", "z.ini"}) EXPECT_FALSE(std::filesystem::exists(settings_ + name));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "configs/ok.ini"));
}

TEST_F(ConfigCommands, SaveFailureIsReported) {
  host_.fileAnswers.push_back(dir_ / "no/such/folder/c.ini");
  EXPECT_TRUE(MenuSaveConfigClick(ctx_));
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, "Disk error writing the file.");
  EXPECT_EQ(host_.messages[0].kind, 257);
  EXPECT_EQ(host_.messages[0].caption, "error");
}

TEST_F(ConfigCommands, CancelledDialogsChangeNothing) {
  const std::vector<uint8_t> before = EncodeSettings(ctx_.options);
  EXPECT_FALSE(MenuSaveConfigClick(ctx_));
  EXPECT_FALSE(MenuLoadConfigClick(ctx_));
  EXPECT_EQ(EncodeSettings(ctx_.options), before);
  EXPECT_FALSE(std::filesystem::exists(settingsFile()));
  EXPECT_TRUE(host_.messages.empty());
}

TEST_F(ConfigCommands, LoadReplacesTheOptionsAndSavesThem) {
  Options stored;
  ResetOptions(stored, 1920, 1080, "/elsewhere");
  stored.recentFiles[0] = "/other/then.mp3";
  stored.autoExit = 9;  // validated on reading
  const std::string source = dir_ / "configs/theirs.ini";
  ASSERT_FALSE(WriteSettings(stored, source));

  host_.fileAnswers.push_back(settings_ + "quorvel.ini");  // refused
  host_.fileAnswers.push_back(source);
  EXPECT_TRUE(MenuLoadConfigClick(ctx_));

  ASSERT_EQ(host_.fileRequests.size(), 2u);
  EXPECT_EQ(host_.fileRequests[0].title, "load options from");
  EXPECT_EQ(host_.fileRequests[0].filter, "ini files|*.ini|all files|*.*");
  EXPECT_EQ(host_.fileRequests[0].folder, dir_ / "configs");
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, "You are not allowed to load from application working folder.");
  EXPECT_EQ(host_.messages[0].kind, 257);
  EXPECT_EQ(host_.messages[0].caption, "error");

  EXPECT_EQ(ctx_.options.recentFiles[0], "/other/then.mp3");
  EXPECT_EQ(ctx_.options.autoExit, 0);
  EXPECT_EQ(ctx_.options.configFolder, "/elsewhere");
  EXPECT_EQ(OnDisk(settingsFile()).recentFiles[0], "/other/then.mp3");
}

TEST_F(ConfigCommands, FailedLoadRestoresThePreviousSettings) {
  const std::string bad = dir_ / "configs/bad.ini";
  WriteBytes(bad, std::vector<uint8_t>(300, 0x41));
  ctx_.options.overwritePolicy = 2;
  const std::vector<uint8_t> before = EncodeSettings(ctx_.options);
  host_.fileAnswers.push_back(bad);
  EXPECT_FALSE(MenuLoadConfigClick(ctx_));

  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, "Disk error reading the file.");
  EXPECT_EQ(host_.messages[0].kind, 257);
  EXPECT_EQ(EncodeSettings(ctx_.options), before);
  EXPECT_EQ(ReadBytes(settingsFile()), before);  // the state saved before the load
}

// Even when the settings file cannot be written, a failed load keeps the
// previous settings instead of falling back to the defaults.
TEST_F(ConfigCommands, FailedLoadWithAnUnwritableSettingsFolderKeepsTheSettings) {
  ctx_.settingsFolder = dir_ / "missing-folder/";
  ctx_.options.overwritePolicy = 0;
  const std::vector<uint8_t> before = EncodeSettings(ctx_.options);
  host_.fileAnswers.push_back(dir_ / "configs/absent.ini");
  EXPECT_FALSE(MenuLoadConfigClick(ctx_));
  EXPECT_EQ(EncodeSettings(ctx_.options), before);
}

TEST_F(ConfigCommands, ResetAsksFirst) {
  ctx_.options.mainFlags = 0x01;
  host_.answers.push_back(kAnswerNo);
  EXPECT_FALSE(MenuResetConfigClick(ctx_));
  EXPECT_EQ(ctx_.options.mainFlags, 0x01);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_TRUE(host_.messages[0].question);
  EXPECT_EQ(host_.messages[0].text, "Are you certain?");
  EXPECT_EQ(host_.messages[0].kind, 4354);
  EXPECT_EQ(host_.messages[0].caption, "options reset");
  EXPECT_FALSE(std::filesystem::exists(settingsFile()));

  host_.answers.push_back(kAnswerYes);
  EXPECT_TRUE(MenuResetConfigClick(ctx_, 1280, 1024));
  Options expected;
  ResetOptions(expected, 1280, 1024, dir_.path());
  EXPECT_EQ(EncodeSettings(ctx_.options), EncodeSettings(expected));
  EXPECT_EQ(ReadBytes(settingsFile()), EncodeSettings(expected));
}

TEST_F(ConfigCommands, RefusedWhileAScriptRuns) {
  ctx_.script.active = true;
  host_.fileAnswers.push_back(dir_ / "configs/s.ini");
  EXPECT_FALSE(MenuSaveConfigClick(ctx_));
  EXPECT_FALSE(MenuLoadConfigClick(ctx_));
  EXPECT_FALSE(MenuResetConfigClick(ctx_));
  EXPECT_TRUE(host_.fileRequests.empty());
  EXPECT_TRUE(host_.messages.empty());
}

}  // namespace
}  // namespace quorvel
