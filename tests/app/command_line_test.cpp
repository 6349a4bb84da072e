// The command line: parsing, and the real quorvel binary run on the fixtures
// (--info, --help, --version, unusable command lines).

#include "app/command_line.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace quorvel {
namespace {

namespace fs = std::filesystem;

const char* const kDiskError =
    "Disk error.\n"
    "         Most probable reasons:\n"
    "\n"
    "          - output file in use or read only\n"
    "          - input file erased, moved, renamed, or altered\n"
    "          - disk read only or full\n"
    "          - invalid filename";

std::string DataPath(const std::string& name) {
  const char* dir = std::getenv("QUORVEL_TEST_DATA");
  return std::string(dir ? dir : "tests/data") + "/" + name;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "quorvel-cli-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

struct RunResult {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs the quorvel binary with an argument vector, capturing stdout and stderr.
RunResult RunQuorvel(const std::vector<std::string>& args, const fs::path& work) {
  RunResult result;
  const char* binary = std::getenv("QUORVEL_BINARY");
  if (binary == nullptr) {
    ADD_FAILURE() << "QUORVEL_BINARY is not set";
    return result;
  }
  fs::path outPath = work / "stdout.txt";
  fs::path errPath = work / "stderr.txt";
  std::vector<std::string> argv_strings{binary};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argv_strings) argv.push_back(s.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, binary, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << binary;
    return result;
  }
  int wstatus = 0;
  while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  result.out = ReadText(outPath);
  result.err = ReadText(errPath);
  return result;
}

// --- parsing ---------------------------------------------------------------------------

TEST(ParseCommandLine, Cases) {
  struct Case {
    std::vector<std::string> args;
    CommandAction action;
    std::vector<std::string> params;
  };
  const Case cases[] = {
      {{}, CommandAction::kEditor, {}},
      {{"song.mp3"}, CommandAction::kEditor, {"song.mp3"}},
      {{"a.mp3", "b.mp3"}, CommandAction::kEditor, {"a.mp3", "b.mp3"}},
      {{"--help"}, CommandAction::kHelp, {}},
      {{"--version"}, CommandAction::kVersion, {}},
      {{"--info", "a.mp3"}, CommandAction::kInfo, {"a.mp3"}},
      // Everything after --info is a file, even when it looks like an option.
      {{"--info", "a.mp3", "--help", "b c.mp3"}, CommandAction::kInfo, {"a.mp3", "--help", "b c.mp3"}},
      {{"--info"}, CommandAction::kUnusable, {}},
      {{"--frobnicate"}, CommandAction::kUnusable, {}},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const std::string& a : c.args) label += "[" + a + "]";
    SCOPED_TRACE(label);
    CommandLine cl = ParseCommandLine(c.args);
    EXPECT_EQ(cl.action, c.action);
    EXPECT_EQ(cl.params, c.params);
    EXPECT_EQ(cl.error.empty(), c.action != CommandAction::kUnusable);
  }
}

// --- the binary --------------------------------------------------------------------------

class QuorvelBinary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(temp_.path().empty()); }
  RunResult Run(const std::vector<std::string>& args) { return RunQuorvel(args, temp_.path()); }
  fs::path MakeFile(const std::string& name, size_t size) {
    fs::path path = temp_.path() / name;
    std::ofstream out(path, std::ios::binary);
    out << std::string(size, 'x');
    return path;
  }
  TempDir temp_;
};

TEST_F(QuorvelBinary, VersionAndHelp) {
  RunResult version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "quorvel 0.1.0\n");
  EXPECT_EQ(version.err, "");

  RunResult help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--info FILE..."), std::string::npos) << help.out;
  EXPECT_EQ(help.err, "");
}

TEST_F(QuorvelBinary, UnusableCommandLinesExitWithTwoAndSayWhyOnStderr) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"--info"}, "quorvel: --info needs at least one file\n"},
      {{"--bogus", "x.mp3"}, "quorvel: unknown option --bogus\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    RunResult r = Run(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << r.err;
    EXPECT_NE(r.err.find("usage: quorvel"), std::string::npos);
  }
}

// The report lines after the path, for each fixture. The figures come from the
// files as they were made (tests/data/README.md), not from the program.
TEST_F(QuorvelBinary, InfoReportsEachFixture) {
  struct Case {
    const char* file;
    int status;
    std::string lines;
  };
  const Case cases[] = {
      {"cbr128-info.mp3", 0,
       "  44.1 KHz, JOINT STEREO, 128 kbps, 1.567 sec\n"
       "  frames: 60\n"
       "  VBR header: Info\n"
       "  encoder: LAME3.100, delay 576, padding 1242\n"},
      {"vbr-xing.mp3", 0,
       "  44.1 KHz, JOINT STEREO, var.kbps, 1.672 sec\n"
       "  frames: 64\n"
       "  VBR header: Xing\n"
       "  encoder: LAME3.100, delay 576, padding 1440\n"},
      {"mono-44k.mp3", 0,
       "  44.1 KHz, MONO, 64 kbps, 1.567 sec\n"
       "  frames: 60\n"
       "  VBR header: Info\n"
       "  encoder: LAME3.100, delay 576, padding 1242\n"},
      {"48k.mp3", 0,
       "  48 KHz, STEREO, 96 kbps, 1.56 sec\n"
       "  frames: 65\n"
       "  VBR header: Info\n"
       "  encoder: LAME3.100, delay 576, padding 1152\n"},
      {"32k.mp3", 0,
       "  32 KHz, STEREO, 64 kbps, 1.584 sec\n"
       "  frames: 44\n"
       "  VBR header: Info\n"
       "  encoder: LAME3.100, delay 576, padding 960\n"},
      {"crc.mp3", 0,
       "  44.1 KHz, JOINT STEREO, 96 kbps, 1.567 sec\n"
       "  frames: 60\n"
       "  VBR header: Info\n"
       "  encoder: LAME3.100, delay 576, padding 1242\n"},
      {"vbr-plain-xing.mp3", 0,
       "  44.1 KHz, JOINT STEREO, var.kbps, 1.672 sec\n"
       "  frames: 64\n"
       "  VBR header: Xing\n"},
      {"cbr96-no-info.mp3", 0,
       "  44.1 KHz, JOINT STEREO, 96 kbps, 1.541 sec\n"
       "  frames: 59\n"
       "  VBR header: none\n"},
      {"riff-wrapped.wav", 0,
       "  44.1 KHz, JOINT STEREO, 96 kbps, 1.541 sec\n"
       "  frames: 59\n"
       "  VBR header: none\n"
       "  RIFF header: 70 bytes at 0\n"},
      {"tagged-v23-v1.mp3", 0,
       "  44.1 KHz, JOINT STEREO, 96 kbps, 1.567 sec\n"
       "  frames: 60\n"
       "  VBR header: Info\n"
       "  encoder: LAME3.100, delay 576, padding 1242\n"
       "  ID3v2.3.0 tag: 348 bytes at 0\n"
       "  ID3v1 tag: 128 bytes at 19156\n"},
      {"lyrics3v2-v1.mp3", 0,
       "  44.1 KHz, JOINT STEREO, 96 kbps, 1.541 sec\n"
       "  frames: 59\n"
       "  VBR header: none\n"
       "  Lyrics3 v2: 116 bytes at 18495\n"
       "  ID3v1 tag: 128 bytes at 18611\n"},
      {"unknown-header-footer.mp3", 0,
       "  44.1 KHz, JOINT STEREO, 96 kbps, 1.541 sec\n"
       "  frames: 59\n"
       "  VBR header: none\n"
       "  unknown header: 120 bytes at 0\n"
       "  unknown footer: 200 bytes at 18615\n"},
      {"mpeg2-22k.mp3", 0,
       "  22.05 KHz, JOINT STEREO, 32 kbps, 1.071 sec\n"
       "  frames: 41\n"
       "  VBR header: none\n"},
      {"mpeg25-8k-vbr.mp3", 0,
       "  8 KHz, STEREO, var.kbps, 1.224 sec\n"
       "  frames: 17\n"
       "  VBR header: Xing\n"
       "  encoder: LAME3.100, delay 576, padding 640\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string path = DataPath(c.file);
    RunResult r = Run({"--info", path});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, path + "\n" + c.lines);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(QuorvelBinary, InfoReportsTheBundledSample) {
  const char* dir = std::getenv("QUORVEL_TEST_DATA");
  ASSERT_NE(dir, nullptr);
  std::string path = (fs::path(dir) / ".." / ".." / "data" / "sample.mp3").lexically_normal().string();
  RunResult r = Run({"--info", path});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, path + "\n" +
                       "  44.1 KHz, JOINT STEREO, 96 kbps, 4.075 sec\n"
                       "  frames: 156\n"
                       "  VBR header: Info\n"
                       "  encoder: LAME3.100, delay 576, padding 1584\n"
                       "  ID3v2.3.0 tag: 314 bytes at 0\n"
                       "  ID3v1 tag: 128 bytes at 49215\n");
}

TEST_F(QuorvelBinary, InfoPrintsTheAnalysisErrorAndExitsWithOne) {
  fs::path empty = MakeFile("empty.mp3", 0);
  fs::path small = MakeFile("small.mp3", 255);
  fs::path junk = MakeFile("junk.mp3", 4096);  // 'x' bytes: no frame sync anywhere
  fs::path missing = temp_.path() / "missing.mp3";
  fs::path folder = temp_.path() / "folder.mp3";
  fs::create_directory(folder);
  struct Case {
    fs::path path;
    std::string error;
  };
  const Case cases[] = {
      {empty, kDiskError},
      {small, "Can't process files smaller than 0.25 KB!"},
      {junk, std::string("Invalid format.\n") + "         Probably not a 32-48 KHz mp3 file."},
      {missing, kDiskError},
      {folder, kDiskError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.string());
    RunResult r = Run({"--info", c.path.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, c.path.string() + "\n  error: " + c.error + "\n");
  }
}

TEST_F(QuorvelBinary, InfoGoesOnAfterAFailedFileAndReportsEveryFile) {
  std::string good = DataPath("cbr128-info.mp3");
  fs::path small = MakeFile("small file.mp3", 255);
  RunResult r = Run({"--info", small.string(), good});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, small.string() + "\n  error: Can't process files smaller than 0.25 KB!\n" + "\n" +
                       good + "\n" +
                       "  44.1 KHz, JOINT STEREO, 128 kbps, 1.567 sec\n"
                       "  frames: 60\n"
                       "  VBR header: Info\n"
                       "  encoder: LAME3.100, delay 576, padding 1242\n");

  RunResult both = Run({"--info", good, good});
  EXPECT_EQ(both.status, 0);
  EXPECT_EQ(both.out.find(good), 0u);
  EXPECT_NE(both.out.find("\n\n" + good + "\n"), std::string::npos);
}

}  // namespace
}  // namespace quorvel
