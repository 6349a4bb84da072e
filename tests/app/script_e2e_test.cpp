// Scripts run by the real quorvel binary in silent mode, with a private home
// folder: the files it writes are checked with ffprobe (frame counts), mpg123
// (decoding) and mutagen (tags), and the log and exit status with their exact texts.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "script/command_peers.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
namespace peers = script_peers;
using peers::FileText;

fs::path TestData(const std::string& name) {
  const char* dir = std::getenv("QUORVEL_TEST_DATA");
  if (dir == nullptr || *dir == '\0') return {};
  return fs::path(dir) / name;
}

// A fresh folder under /tmp, removed with the object.
struct ScratchFolder {
  fs::path path;
  ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "quorvel-script-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
};

constexpr long kStereoFrameBytes = 1152 * 2 * 2;  // 16-bit samples, two channels

struct SilentRun {
  int status = -1;
  std::string log;
  std::string errors;  // standard error
};

class ScriptEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* binary = std::getenv("QUORVEL_BINARY");
    ASSERT_TRUE(binary != nullptr && *binary != '\0' && !TestData("cbr128-info.mp3").empty())
        << "QUORVEL_BINARY or QUORVEL_TEST_DATA not set";
    binary_ = binary;
    home_ = dir_.path / "home";
    fs::create_directories(home_);
  }

  // Writes the script (UTF-8, CR LF line ends) and runs it silently.
  SilentRun Run(const fs::path& scriptPath, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    std::ofstream(scriptPath, std::ios::binary) << text;
    const fs::path err = dir_.path / "stderr.txt";
    const std::vector<std::string> env = {"HOME=" + home_.string(), "LC_ALL=C.UTF-8",
                                          "XDG_RUNTIME_DIR=" + home_.string(), "PATH=/usr/bin:/bin"};
    SilentRun run;
    run.status = peers::RunProgram({binary_, "--script", scriptPath.string()}, "/dev/null", err.string(), env);
    run.log = FileText(home_ / "Quorvel.log");
    run.errors = FileText(err);
    return run;
  }

  // The log of one run with its two time stamps cut out:
  // "\r\nScript name: P\r\nExecution started at\r\n...Execution finished at\r\n".
  static std::string WithoutTimes(const std::string& log) {
    std::string out;
    size_t start = 0;
    while (start < log.size()) {
      size_t end = log.find("\r\n", start);
      if (end == std::string::npos) end = log.size();
      std::string line = log.substr(start, end - start);
      for (const char* prefix : {"Execution started at", "Execution finished at"})
        if (line.rfind(prefix, 0) == 0) line = prefix;
      out += line;
      if (end < log.size()) out += "\r\n";
      start = end + 2;
    }
    return out;
  }

  static std::string ExpectedLog(const fs::path& script, const std::string& errors) {
    return "\r\nScript name: " + script.string() + "\r\nExecution started at\r\n" + errors +
           "Execution finished at\r\n";
  }

  ScratchFolder dir_;
  fs::path home_;
  std::string binary_;
};

// One script edits, tags and splits a file whose folder, name and tag texts are
// not ASCII.
TEST_F(ScriptEndToEnd, EditTagAndSplitOneFile) {
  const fs::path folder = dir_.path / "Müsik – ✓ 音楽";
  fs::create_directories(folder);
  const fs::path input = folder / "Eingabe, mit Leerzeichen.mp3";
  fs::copy_file(TestData("cbr128-info.mp3"), input);
  const fs::path script = folder / "skript ü.txt";
  const fs::path out = folder / "Ausgabe ü.mp3";
  const fs::path parts[3] = {folder / "teil 1.mp3", folder / "teil 2 ж.mp3", folder / "teil 3.mp3"};

  // 60 frames (the first is the Info frame); 0.5 s is 19 frames at 44.1 kHz.
  const SilentRun run = Run(script, {
                                        "# edit, tag and split",
                                        "LOAD \"" + input.string() + "\"",
                                        "DELETE 0 0.5",
                                        "FADEIN 0 0.3 20",
                                        "VOLUME -3 RIGHT",
                                        "ID3V2.TITLE \"Grüße, Welt\"",
                                        "ID3V2.ARTIST Чайковский",
                                        "ID3V2.ALBUM Plain",
                                        "ID3V2.COMMENT.START Notiz",
                                        "erste Zeile",
                                        "zweite Zeile – ü",
                                        "ID3V2.COMMENT.END",
                                        "NOID3V1",
                                        "SAVEAS \"" + out.string() + "\"",
                                        "SELECT 0.2 0.4",
                                        "SPLIT \"" + parts[0].string() + "\" \"" + parts[1].string() + "\" \"" +
                                            parts[2].string() + "\"",
                                    });
  EXPECT_EQ(run.status, 0) << run.log;
  EXPECT_EQ(WithoutTimes(run.log), ExpectedLog(script, ""));

  ScratchFolder scratch;
  // 0.2 s and 0.4 s are positions 8 and 15 of the 41 frames left.
  const long expectedFrames[] = {8, 7, 26};
  EXPECT_EQ(peers::FfprobeFrames(out, scratch.path), 41);
  EXPECT_EQ(peers::Mpg123DecodedBytes(out, scratch.path), 41 * kStereoFrameBytes);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(peers::FfprobeFrames(parts[i], scratch.path), expectedFrames[i]) << i;
    EXPECT_EQ(peers::Mpg123DecodedBytes(parts[i], scratch.path), expectedFrames[i] * kStereoFrameBytes) << i;
  }

  // The ID3v1 tag is gone; the ID3v2 tag holds exactly the script's fields.
  const std::string bytes = FileText(out);
  ASSERT_GT(bytes.size(), 128u);
  EXPECT_NE(bytes.substr(bytes.size() - 128, 3), "TAG");
  ASSERT_TRUE(peers::MutagenAvailable()) << "mutagen is not installed (scripts/install-deps)";
  EXPECT_EQ(peers::MutagenFrames(out, scratch.path),
            "version|3\n"
            "TIT2|1|Grüße, Welt\n"
            "TPE1|1|Чайковский\n"
            "TALB|0|Plain\n"
            "COMM|1|Notiz=erste Zeile\r\nzweite Zeile – ü\n");
}

// A failed statement is logged with its exact text and makes the exit status 1.
// With the installation's options ("Ignore errors and continue in silent mode"
// is on) the statements after it still run.
TEST_F(ScriptEndToEnd, FailedStatementIsLoggedAndFailsTheRun) {
  const fs::path input = dir_.path / "in.mp3";
  fs::copy_file(TestData("cbr128-info.mp3"), input);
  const fs::path out = dir_.path / "after the error.mp3";
  const fs::path script = dir_.path / "fails.txt";
  const SilentRun run = Run(script, {"LOAD " + input.string(), "SELECT 0 1", "VOLUME -3 CENTER", "REM x",
                                     "SAVEAS \"" + out.string() + "\""});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(WithoutTimes(run.log),
            ExpectedLog(script, "VOLUME channel parameter invalid:\r\nCENTER\r\nSyntax error: REM\r\n"));
  EXPECT_TRUE(fs::exists(out));
  EXPECT_NE(run.errors.find("VOLUME channel parameter invalid:"), std::string::npos);
  // The selection made before the failed statement stayed; the volume was not changed.
  ScratchFolder scratch;
  EXPECT_EQ(peers::FfprobeFrames(out, scratch.path), 59);
}

// Statement texts of failing commands reach the log unchanged, one run each.
TEST_F(ScriptEndToEnd, CommandErrorsAreLoggedExactly) {
  const fs::path input = dir_.path / "in.mp3";
  fs::copy_file(TestData("cbr128-info.mp3"), input);
  struct Case {
    std::vector<std::string> lines;
    std::string logged;
  };
  const Case cases[] = {
      {{"SELECT 1"}, "SELECT: No file loaded.\r\n"},
      {{"LOAD " + input.string(), "SELECT 1:60"}, "1st SELECT parameter invalid:\r\n1:60\r\n"},
      {{"LOAD " + input.string(), "TRIM 0.5 EOF"}, "2nd TRIM parameter invalid:\r\nEOF\r\n"},
      {{"LOAD " + input.string(), "SILENCE 0.01"}, "SILENCE to insert must be at least one frame long.\r\n"},
      {{"LOAD " + input.string(), "SELECT 0.1 0.3", "SPLIT a.mp3 b.mp3"},
       "SPLIT: 3rd parameter missing (multiple frames selection exists).\r\n"},
      {{"LOAD " + (dir_.path / "missing.mp3").string()}, ""},  // checked by prefix below
  };
  for (const Case& c : cases) {
    fs::remove(home_ / "Quorvel.log");
    const fs::path script = dir_.path / "case.txt";
    const SilentRun run = Run(script, c.lines);
    EXPECT_EQ(run.status, 1) << c.lines.back();
    if (!c.logged.empty()) {
      EXPECT_EQ(WithoutTimes(run.log), ExpectedLog(script, c.logged)) << c.lines.back();
    } else {
      EXPECT_NE(run.log.find("\r\nLOAD:\r\n"), std::string::npos) << run.log;
    }
  }
}

// Silence inserted by a script into a 48 kHz file is 48 kHz silence of the
// length asked for: every decoder sees one sampling frequency.
TEST_F(ScriptEndToEnd, SilenceMatchesTheFile) {
  const fs::path out = dir_.path / "with silence.mp3";
  const fs::path script = dir_.path / "silence.txt";
  const SilentRun run = Run(script, {"LOAD " + TestData("48k.mp3").string(), "CURSOR 0.5", "SILENCE 0.48",
                                     "SAVEAS \"" + out.string() + "\""});
  EXPECT_EQ(run.status, 0) << run.log;
  ScratchFolder scratch;
  // 65 frames with the Info frame, which ffprobe does not count; 0.48 s is 20 frames of 24 ms.
  EXPECT_EQ(peers::FfprobeFrames(out, scratch.path), 64 + 20);
  EXPECT_EQ(peers::Mpg123DecodedBytes(out, scratch.path), (64 + 20) * kStereoFrameBytes);
  // ffprobe gives every packet the duration of its header's frame: 24 ms at
  // 48 kHz, 26.122 ms at 44.1 kHz.
  const fs::path durations = scratch.path / "durations.txt";
  ASSERT_EQ(peers::RunProgram({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                               "packet=duration_time", "-of", "csv=p=0", out.string()},
                              durations.string()),
            0);
  const std::string text = FileText(durations);
  EXPECT_EQ(text.find("0.026"), std::string::npos);
  EXPECT_NE(text.find("0.024"), std::string::npos);
}

// Quorvel as a batch tool: one silent run per file, each trimming to 0.2..0.8 s
// and naming the result in its tag.
TEST_F(ScriptEndToEnd, BatchOverManyFiles) {
  struct Case {
    const char* fixture;
    long frames;    // 0.2 s .. 0.8 s
    int channels;
  };
  const Case cases[] = {
      {"cbr128-info.mp3", 23, 2}, {"vbr-xing.mp3", 23, 2}, {"mono-44k.mp3", 23, 1},
      {"48k.mp3", 25, 2},         {"32k.mp3", 16, 2},      {"crc.mp3", 23, 2},
  };
  ScratchFolder scratch;
  for (const Case& c : cases) {
    const fs::path out = dir_.path / (std::string("trimmed ") + c.fixture);
    const fs::path script = dir_.path / "batch.txt";
    const SilentRun run = Run(script, {"LOAD " + TestData(c.fixture).string(), "TRIM 0.2 0.8",
                                       std::string("ID3V2.TITLE \"") + c.fixture + "\"",
                                       "SAVEAS \"" + out.string() + "\""});
    EXPECT_EQ(run.status, 0) << c.fixture << run.log;
    EXPECT_EQ(peers::FfprobeFrames(out, scratch.path), c.frames) << c.fixture;
    EXPECT_EQ(peers::Mpg123DecodedBytes(out, scratch.path), c.frames * 1152 * 2 * c.channels) << c.fixture;
    EXPECT_EQ(peers::MutagenFrames(out, scratch.path), std::string("version|3\nTIT2|0|") + c.fixture + "\n");
  }
  // Every run appended its own start and finish lines to the one log.
  const std::string log = FileText(home_ / "Quorvel.log");
  size_t runs = 0;
  for (size_t at = log.find("Execution finished at"); at != std::string::npos;
       at = log.find("Execution finished at", at + 1))
    ++runs;
  EXPECT_EQ(runs, std::size(cases));
}

}  // namespace
}  // namespace quorvel
