// The silent script run end to end: the real quorvel binary with a private
// HOME, settings folder and runtime folder in a temporary folder. Checks the
// log's exact texts, standard error, exit statuses, the files written (frame
// counts with ffprobe, tags with mutagen), the instance marker and a batch over
// several files from a shell loop.

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/settings.h"
#include "app/startup.h"
#include "core/options.h"

extern char** environ;

namespace quorvel {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;  // exit status; -1 when killed by a signal or not started
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void Spit(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string Data(const std::string& name) {
  const char* dir = std::getenv("QUORVEL_TEST_DATA");
  return std::string(dir != nullptr ? dir : "tests/data") + "/" + name;
}

std::string Binary() {
  const char* bin = std::getenv("QUORVEL_BINARY");
  return bin != nullptr ? bin : "";
}

bool Executable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

// Runs argv (argv[0] a path) in cwd with the environment changed by env
// (an empty value removes the variable); standard output and error are captured.
Outcome Spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
              const fs::path& cwd, const fs::path& scratch) {
  Outcome o;
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    if (env.count(name) == 0) envStrings.push_back(entry);
  }
  for (const auto& [name, value] : env) {
    if (!value.empty()) envStrings.push_back(name + "=" + value);
  }
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (std::string& s : args) argp.push_back(s.data());
  argp.push_back(nullptr);

  const fs::path outPath = scratch / "spawn.out";
  const fs::path errPath = scratch / "spawn.err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return o;
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0) {
  }
  if (WIFEXITED(wstatus)) o.status = WEXITSTATUS(wstatus);
  o.out = Slurp(outPath);
  o.err = Slurp(errPath);
  return o;
}

// The timestamps of the start and finish lines become "T".
std::string WithoutTimes(const std::string& log) {
  std::string out = log;
  for (const std::string key : {"Execution started at ", "Execution finished at "}) {
    size_t pos = 0;
    while ((pos = out.find(key, pos)) != std::string::npos) {
      pos += key.size();
      size_t end = out.find_first_of("\r\n", pos);
      if (end == std::string::npos) end = out.size();
      out.replace(pos, end - pos, "T");
    }
  }
  return out;
}

std::string Unix(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

std::string LogOf(const std::string& scriptName, const std::string& body) {
  return "\r\nScript name: " + scriptName + "\r\nExecution started at T\r\n" + body + "Execution finished at T\r\n";
}

class SilentRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Executable(Binary())) << "QUORVEL_BINARY is not set";
    std::string pattern = (fs::temp_directory_path() / "quorvel-silent-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    home = root / "home";
    work = root / "work";
    scratch = root / "scratch";
    run = root / "run";
    for (const fs::path& p : {home, work, scratch, run}) fs::create_directories(p);
    config = home / ".config" / "quorvel";
  }
  void TearDown() override {
    std::error_code ec;
    if (!root.empty()) fs::remove_all(root, ec);
  }

  std::map<std::string, std::string> Env() const {
    return {{"HOME", home.string()},       {"XDG_CONFIG_HOME", ""}, {"XDG_RUNTIME_DIR", run.string()},
            {"LC_ALL", "C.UTF-8"},         {"LANG", ""},            {"LANGUAGE", ""},
            {"DISPLAY", ""},               {"WAYLAND_DISPLAY", ""}};
  }
  Outcome Quorvel(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {Binary()};
    argv.insert(argv.end(), args.begin(), args.end());
    return Spawn(argv, Env(), work, scratch);
  }
  std::string Log() const { return Slurp(home / "Quorvel.log"); }
  fs::path Copy(const std::string& fixture, const std::string& name) {
    fs::path target = work / name;
    fs::copy_file(Data(fixture), target, fs::copy_options::overwrite_existing);
    return target;
  }
  // Writes the settings file with the default options changed by change.
  template <typename F>
  void Settings(F change) {
    Options o;
    ResetOptions(o, 0, 0, home.string());
    change(o);
    fs::create_directories(config);
    ASSERT_FALSE(WriteSettings(o, (config / "quorvel.ini").string()));
  }
  // The set of every file under root outside home (what a run may have written).
  std::set<std::string> FilesIn(const fs::path& folder) const {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
      if (e.is_regular_file()) names.insert(fs::relative(e.path(), folder).string());
    }
    return names;
  }

  fs::path root, home, work, scratch, run, config;
};

// Audio frames as ffprobe counts them (a VBR information frame is not counted).
// A probe that cannot start, fails or prints no count fails the test.
int FfprobeFrames(const fs::path& file, const fs::path& scratch) {
  if (!Executable("/usr/bin/ffprobe")) {
    ADD_FAILURE() << "/usr/bin/ffprobe is missing (scripts/install-deps)";
    return -1;
  }
  Outcome o = Spawn({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-select_streams", "a:0", "-show_entries",
                     "stream=nb_read_frames", "-of", "csv=p=0", file.string()},
                    {}, scratch, scratch);
  char* end = nullptr;
  long count = std::strtol(o.out.c_str(), &end, 10);
  if (o.status != 0 || end == o.out.c_str() || (*end != '\0' && *end != '\n') || count < 0) {
    ADD_FAILURE() << "ffprobe gave no frame count for " << file << " (status " << o.status << "): " << o.out
                  << o.err;
    return -1;
  }
  return static_cast<int>(count);
}

// The number of 16-bit samples mpg123 decodes from the file (every frame
// whole, no gapless trimming); a decoder that cannot start or fails fails the test.
size_t DecodedSamples(const fs::path& file, const fs::path& scratch) {
  if (!Executable("/usr/bin/mpg123")) {
    ADD_FAILURE() << "/usr/bin/mpg123 is missing (scripts/install-deps)";
    return 0;
  }
  Outcome d = Spawn({"/usr/bin/mpg123", "-q", "--no-gapless", "-s", file.string()}, {}, scratch, scratch);
  EXPECT_EQ(d.status, 0) << "mpg123 failed on " << file << ": " << d.err;
  EXPECT_EQ(d.err, "") << file;
  return d.out.size() / 2;
}

int FramesIn(double seconds) { return static_cast<int>(std::nearbyint(seconds * 44100 / 1152)); }

TEST_F(SilentRunTest, EditsAndSavesAndLogsOnlyTheFrame) {
  fs::path in = Copy("cbr128-info.mp3", "in.mp3");
  Spit(work / "edit.txt", "LOAD in.mp3\r\nselect 0.5 , 1\r\nDELETE\r\nSAVEAS out.mp3\r\n");
  Outcome o = Quorvel({"--script", "edit.txt"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(WithoutTimes(Log()), LogOf("edit.txt", ""));
  EXPECT_EQ(WithoutTimes(o.err), Unix(WithoutTimes(Log())));
  EXPECT_EQ(o.out, "");
  ASSERT_TRUE(fs::exists(work / "out.mp3"));
  int before = FfprobeFrames(in, scratch);
  int after = FfprobeFrames(work / "out.mp3", scratch);
  EXPECT_EQ(before - after, FramesIn(1) - FramesIn(0.5));
  // Written: the output beside the source, the settings file and the log; nothing else.
  EXPECT_EQ(FilesIn(work), (std::set<std::string>{"edit.txt", "in.mp3", "out.mp3"}));
  EXPECT_EQ(FilesIn(home), (std::set<std::string>{"Quorvel.log", ".config/quorvel/quorvel.ini"}));
}

TEST_F(SilentRunTest, LogIsAppendedRunAfterRun) {
  Spit(work / "a.txt", "# nothing\n");
  EXPECT_EQ(Quorvel({"-s", "a.txt"}).status, 0);
  EXPECT_EQ(Quorvel({"-s", "a.txt"}).status, 0);
  EXPECT_EQ(WithoutTimes(Log()), LogOf("a.txt", "") + LogOf("a.txt", ""));
}

TEST_F(SilentRunTest, MalformedLinesAreLoggedNeverACrash) {
  // The installation default continues after errors.
  std::string script;
  script += "REM remark\n";
  script += "SELECT 1:60\n";
  script += "select \"unterminated\n";
  script += std::string("\xFF\xFE\x00\x01 binary", 11) + "\n";
  script += "SELECT " + std::string(1100, '9') + "\n";
  script += std::string(40000, 'x') + "\n";
  script += "*\n";
  script += "\"\n";
  script += "TRIM 1\n";
  script += "ID3V2.BOGUS x\n";
  script += "LOAD\n";
  script += "SAVEAS\n";
  script += "SELECT R+EOF\n";
  Spit(work / "bad.txt", script);
  Outcome o = Quorvel({"--script", "bad.txt"});
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_EQ(WithoutTimes(Log()),
            LogOf("bad.txt",
                  "Syntax error: REM\r\n"
                  "SELECT: No file loaded.\r\n"
                  "SELECT: missing parameter(s).\r\n"
                  "Syntax error: \xFF\xFE\r\n"
                  "Line too long (over 1 KB).\r\n"
                  "Line too long (over 32K).\r\n"
                  "TRIM: No file loaded.\r\n"
                  "Syntax error: ID3V2.BOGUS\r\n"
                  "LOAD: no parameter.\r\n"
                  "SAVEAS: no parameter.\r\n"
                  "SELECT: No file loaded.\r\n"));
}

TEST_F(SilentRunTest, WithoutIgnoreErrorsTheRunStopsAtTheFirstError) {
  Settings([](Options& o) { o.mainFlags = static_cast<uint8_t>(o.mainFlags & ~kIgnoreErrorsSilent); });
  Copy("cbr128-info.mp3", "in.mp3");
  Spit(work / "stop.txt", "LOAD in.mp3\nSELECT 1:60\nSAVEAS never.mp3\n");
  Outcome o = Quorvel({"--script", "stop.txt"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(WithoutTimes(Log()), LogOf("stop.txt", "1st SELECT parameter invalid:\r\n1:60\r\n"));
  EXPECT_FALSE(fs::exists(work / "never.mp3"));
}

TEST_F(SilentRunTest, MissingScript) {
  Outcome o = Quorvel({"--script", "none.txt"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(WithoutTimes(Log()), LogOf("none.txt", "The script you specified doesn't exist.\r\n"));
}

TEST_F(SilentRunTest, LogPathFromTheSettings) {
  fs::path log = root / "logs" / "mine.log";
  fs::create_directories(log.parent_path());
  Settings([&](Options& o) { o.logPath = log.string(); });
  Spit(work / "a.txt", "");
  EXPECT_EQ(Quorvel({"--script", "a.txt"}).status, 0);
  EXPECT_EQ(WithoutTimes(Slurp(log)), LogOf("a.txt", ""));
  EXPECT_FALSE(fs::exists(home / "Quorvel.log"));
}

TEST_F(SilentRunTest, SlashForms) {
  Spit(work / "s.txt", "# ok\n");
  // "/" + a relative script name; "//" + an absolute one.
  EXPECT_EQ(Quorvel({"/s.txt"}).status, 0);
  std::string absolute = (work / "s.txt").string();
  EXPECT_EQ(Quorvel({"/" + absolute}).status, 0);
  EXPECT_EQ(WithoutTimes(Log()), LogOf("s.txt", "") + LogOf(absolute, ""));
  // An existing file after a single "/" is an MP3 file for the editor, not a script.
  Outcome o = Quorvel({absolute});
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("not available"), std::string::npos) << o.err;
}

TEST_F(SilentRunTest, UnusableCommandLines) {
  const std::vector<std::vector<std::string>> cases = {
      {"--script"}, {"-s"}, {"--script", "a.txt", "b.txt"}, {"--script", ""}, {"/"}, {"--bogus"}};
  for (const auto& args : cases) {
    Outcome o = Quorvel(args);
    EXPECT_EQ(o.status, 2) << args[0];
    EXPECT_NE(o.err.find("usage: quorvel"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(home / "Quorvel.log"));
  // Without a window the editor cannot open: said plainly, status 2.
  for (const auto& args : std::vector<std::vector<std::string>>{{}, {"song.mp3"}, {"a.mp3", "b.mp3"}}) {
    Outcome o = Quorvel(args);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("quorvel: "), std::string::npos);
  }
}

TEST_F(SilentRunTest, NonAsciiPathsAndTexts) {
  const std::string folder = "m\xC3\xBAsica \xE2\x99\xAA";
  fs::create_directories(work / folder);
  fs::copy_file(Data("tagged-v23-v1.mp3"), work / folder / "can\xC3\xA7\xC3\xA3o.mp3");
  const std::string script = "\xC3\xA9" "dit \xE2\x80\x94 1.txt";
  Spit(work / folder / script,
       "LOAD \"" + (work / folder / "can\xC3\xA7\xC3\xA3o.mp3").string() + "\"\n"
       "ID3V2.TITLE \"Ol\xC3\xA1, mundo \xE2\x99\xAA\"\n"
       "ID3V2.ARTIST Plain\n"
       "SAVEAS \"" + (work / folder / "sa\xC3\xAD" "da *Y.mp3").string() + "\"\n");
  const std::string scriptPath = (work / folder / script).string();
  Outcome o = Quorvel({"--script", scriptPath});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(WithoutTimes(Log()), LogOf(scriptPath, ""));
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  fs::path out = work / folder / ("sa\xC3\xAD" "da " + std::to_string(local.tm_year + 1900) + ".mp3");
  ASSERT_TRUE(fs::exists(out));

  // mutagen reads the title as written, stored as UTF-16 (encoding 1), the ASCII artist as ISO-8859-1.
  ASSERT_TRUE(Executable("/usr/bin/python3")) << "no /usr/bin/python3 (scripts/install-deps)";
  Outcome m = Spawn({"/usr/bin/python3", "-c",
                     "import sys\n"
                     "from mutagen.id3 import ID3\n"
                     "t = ID3(sys.argv[1])\n"
                     "for k in ('TIT2', 'TPE1'):\n"
                     "    sys.stdout.buffer.write((k + '|' + str(int(t[k].encoding)) + '|' + t[k].text[0] + '\\n').encode())\n",
                     out.string()},
                    {}, scratch, scratch);
  ASSERT_EQ(m.status, 0) << "mutagen did not read the file: " << m.err;
  EXPECT_EQ(m.out, "TIT2|1|Ol\xC3\xA1, mundo \xE2\x99\xAA\nTPE1|0|Plain\n") << m.err;
}

TEST_F(SilentRunTest, CorruptSettingsRunNothingAndAreReset) {
  fs::create_directories(config);
  Spit(config / "quorvel.ini", std::string(300, 'x'));
  Spit(work / "a.txt", "SAVEAS never.mp3\n");
  Outcome o = Quorvel({"--script", "a.txt"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "quorvel: Error reading the configuration.\nOptions reset to default.\n");
  EXPECT_FALSE(fs::exists(home / "Quorvel.log"));
  // The defaults were written back: the next run starts normally.
  EXPECT_EQ(Quorvel({"--script", "a.txt"}).status, 1);  // SAVEAS without a file fails
  EXPECT_EQ(WithoutTimes(Log()), LogOf("a.txt", "SAVEAS: No file loaded.\r\n"));
}

TEST_F(SilentRunTest, UnusableSettingsFolderIsStartErrorOne) {
  // HOME is a file: no settings folder can be made under it.
  Spit(root / "plainfile", "");
  std::map<std::string, std::string> env = Env();
  env["HOME"] = (root / "plainfile").string();
  Spit(work / "a.txt", "");
  Outcome o = Spawn({Binary(), "--script", "a.txt"}, env, work, scratch);
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err.rfind("quorvel: The settings folder can't be created or used.", 0), 0u) << o.err;
}

TEST_F(SilentRunTest, SecondInstanceKeepsTheWorkingFiles) {
  fs::create_directories(config);
  Spit(config / kPreviewFileName, "preview");
  Spit(config / kSelectionFileName, "selection");
  Spit(work / "a.txt", "");
  {
    // Another instance holds the marker.
    InstanceMarker first(run.string());
    ASSERT_FALSE(first.anotherInstance());
    EXPECT_EQ(Quorvel({"--script", "a.txt"}).status, 0);
    EXPECT_TRUE(fs::exists(config / kPreviewFileName));
    EXPECT_TRUE(fs::exists(config / kSelectionFileName));
  }
  // The only instance deletes what earlier runs left.
  EXPECT_EQ(Quorvel({"--script", "a.txt"}).status, 0);
  EXPECT_FALSE(fs::exists(config / kPreviewFileName));
  EXPECT_FALSE(fs::exists(config / kSelectionFileName));
  EXPECT_TRUE(fs::exists(config / kSettingsFileName));
}

TEST_F(SilentRunTest, EditTagSaveAndSplitOneFile) {
  Copy("tagged-v23-v1.mp3", "in.mp3");
  Spit(work / "job.txt",
       "LOAD in.mp3\n"
       "DELETE 0 0.1\n"
       "ID3V2.TITLE \"Split, then\"\n"
       "SAVEAS whole.mp3\n"
       "SELECT 0.3 0.9\n"
       "SPLIT a.mp3 b.mp3 c.mp3\n");
  Outcome o = Quorvel({"--script", "job.txt"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(WithoutTimes(Log()), LogOf("job.txt", ""));
  // 60 frames with the Info frame first; the deletion takes it and the next three.
  const int left = 60 - FramesIn(0.1);
  const std::vector<std::pair<std::string, int>> parts = {
      {"whole.mp3", left},
      {"a.mp3", FramesIn(0.3)},
      {"b.mp3", FramesIn(0.9) - FramesIn(0.3)},
      {"c.mp3", left - FramesIn(0.9)}};
  for (const auto& [name, frames] : parts) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::exists(work / name));
    EXPECT_EQ(FfprobeFrames(work / name, scratch), frames);
    // Decoded for real: 1,152 samples a frame in each of the two channels.
    EXPECT_EQ(DecodedSamples(work / name, scratch), static_cast<size_t>(frames) * 1152 * 2);
  }
  ASSERT_TRUE(Executable("/usr/bin/python3")) << "no /usr/bin/python3 (scripts/install-deps)";
  Outcome m = Spawn({"/usr/bin/python3", "-c",
                     "import sys\nfrom mutagen.id3 import ID3\nt = ID3(sys.argv[1], load_v1=False)\n"
                     "print(sorted(k for k in t.keys()), t['TIT2'].text[0])\n",
                     (work / "whole.mp3").string()},
                    {}, scratch, scratch);
  ASSERT_EQ(m.status, 0) << "mutagen did not read the file: " << m.err;
  // The script's tag holds only the fields the script gave.
  EXPECT_EQ(m.out, "['TIT2'] Split, then\n") << m.err;
}

TEST_F(SilentRunTest, BatchOverManyFilesFromAShellLoop) {
  const std::vector<std::string> fixtures = {"cbr128-info.mp3", "tagged-v23-v1.mp3", "cbr96-no-info.mp3",
                                             "crc.mp3", "lyrics3v2-v1.mp3", "unknown-header-footer.mp3"};
  fs::create_directories(work / "in");
  fs::create_directories(work / "out");
  for (size_t i = 0; i < fixtures.size(); ++i) {
    fs::copy_file(Data(fixtures[i]), work / "in" / ("track " + std::to_string(i + 1) + ".mp3"));
  }
  // One silent run per file: trim to 0.2..1.2 s, retitle, drop foreign data, save.
  const std::string loop =
      "set -e\n"
      "for f in in/*.mp3; do\n"
      "  name=$(basename \"$f\" .mp3)\n"
      "  printf 'LOAD \"%s\"\\nTRIM 0.2 1.2\\nNOID3V1\\nNOOTHER\\nNOLYRICS\\nID3V2.TITLE \"%s\"\\n"
      "SAVEAS \"out/%s.mp3\"\\n' \"$f\" \"$name\" \"$name\" > job.txt\n"
      "  \"$QUORVEL\" --script job.txt\n"
      "done\n";
  std::map<std::string, std::string> env = Env();
  env["QUORVEL"] = Binary();
  Outcome o = Spawn({"/bin/sh", "-c", loop}, env, work, scratch);
  ASSERT_EQ(o.status, 0) << o.err;
  std::string expected;
  for (size_t i = 0; i < fixtures.size(); ++i) expected += LogOf("job.txt", "");
  EXPECT_EQ(WithoutTimes(Log()), expected);
  for (size_t i = 0; i < fixtures.size(); ++i) {
    SCOPED_TRACE(fixtures[i]);
    fs::path out = work / "out" / ("track " + std::to_string(i + 1) + ".mp3");
    ASSERT_TRUE(fs::exists(out));
    EXPECT_EQ(FfprobeFrames(out, scratch), FramesIn(1.2) - FramesIn(0.2));
  }
  ASSERT_TRUE(Executable("/usr/bin/python3")) << "no /usr/bin/python3 (scripts/install-deps)";
  Outcome m = Spawn({"/usr/bin/python3", "-c",
                     "import sys, glob\n"
                     "from mutagen.id3 import ID3\n"
                     "for f in sorted(glob.glob('out/*.mp3')):\n"
                     "    print(ID3(f)['TIT2'].text[0])\n"},
                    {}, work, scratch);
  ASSERT_EQ(m.status, 0) << "mutagen did not read the files: " << m.err;
  EXPECT_EQ(m.out, "track 1\ntrack 2\ntrack 3\ntrack 4\ntrack 5\ntrack 6\n") << m.err;
}

TEST(InstanceMarkerTest, OnlyTheFirstHoldsTheMarker) {
  std::string pattern = (fs::temp_directory_path() / "quorvel-lock-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  {
    InstanceMarker a(pattern);
    EXPECT_FALSE(a.anotherInstance());
    EXPECT_EQ(a.lockPath(), pattern + "/Quorvel6EXN.lock");
    InstanceMarker b(pattern);
    EXPECT_TRUE(b.anotherInstance());
  }
  InstanceMarker c(pattern);
  EXPECT_FALSE(c.anotherInstance());
  std::error_code ec;
  fs::remove_all(pattern, ec);
}

TEST(SilentCommandLine, Parsing) {
  struct Case {
    std::vector<std::string> args;
    CommandAction action;
    std::vector<std::string> params;
  };
  const std::vector<Case> cases = {
      {{"--script", "s.txt"}, CommandAction::kScript, {"s.txt"}},
      {{"-s", "/x/s.txt"}, CommandAction::kScript, {"/x/s.txt"}},
      {{"//home/me/s.txt"}, CommandAction::kScript, {"/home/me/s.txt"}},
      {{"/no/such/file/s.txt"}, CommandAction::kScript, {"no/such/file/s.txt"}},
      {{"/bin/sh"}, CommandAction::kEditor, {"/bin/sh"}},  // an existing file is opened
      {{"/tmp"}, CommandAction::kScript, {"tmp"}},        // a folder is not a file
      {{"--script"}, CommandAction::kUnusable, {}},
      {{"-s", "a", "b"}, CommandAction::kUnusable, {}},
      {{"/"}, CommandAction::kUnusable, {}},
      {{"/a", "/b"}, CommandAction::kEditor, {"/a", "/b"}},  // two parameters: nothing is processed
  };
  for (const Case& c : cases) {
    CommandLine cl = ParseCommandLine(c.args);
    EXPECT_EQ(cl.action, c.action) << c.args[0];
    if (c.action != CommandAction::kUnusable) {
      EXPECT_EQ(cl.params, c.params) << c.args[0];
    }
  }
}

}  // namespace
}  // namespace quorvel
