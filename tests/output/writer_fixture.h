#pragma once
// Shared helpers of the writer and save tests: a fresh folder per test, the
// committed fixtures, loading a document, and running the peer tools
// (mpg123, mp3val, ffprobe, mp3gain) with argument vectors.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/analysis.h"
#include "core/context.h"
#include "core/headless_host.h"

extern char** environ;

namespace quorvel::writer_test {

namespace fs = std::filesystem;

inline fs::path DataPath(const std::string& name) {
  const char* dir = std::getenv("QUORVEL_TEST_DATA");
  return fs::path(dir ? dir : "tests/data") / name;
}

inline bool HaveTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string paths = path;
  size_t start = 0;
  while (start <= paths.size()) {
    size_t end = paths.find(':', start);
    if (end == std::string::npos) end = paths.size();
    fs::path candidate = fs::path(paths.substr(start, end - start)) / name;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Runs args[0] found on PATH; standard output and error go to the named files.
// Returns the exit status, or -1 when the program could not be started or did not
// exit normally (a signal).
inline int RunTool(const std::vector<std::string>& args, const std::string& stdoutPath = "/dev/null",
                   const std::string& stderrPath = "/dev/null") {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A fresh folder, removed at the end.
struct TempFolder {
  fs::path path;
  TempFolder() {
    char pattern[] = "/tmp/quorvel-writer-XXXXXX";
    if (mkdtemp(pattern) != nullptr) path = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
  fs::path operator/(const std::string& name) const { return path / name; }
};

// A context with a headless host and the settings folder inside the test folder.
struct Session {
  HeadlessHost host;
  Context ctx{host};
  explicit Session(const TempFolder& folder) {
    fs::create_directories(folder.path / "settings");
    ctx.settingsFolder = (folder.path / "settings").string() + "/";
    // Plain saves keep every block unless a test checks a box.
    ctx.options.mainFlags = static_cast<uint8_t>(ctx.options.mainFlags & ~0x08);
  }
  bool load(const fs::path& path) {
    ctx.doc.sourceName = path.string();
    return Loadfile(ctx);
  }
};

// 16-bit samples as mpg123 decodes them without gapless trimming. A decoder that
// cannot start, fails or gives no samples at all fails the test.
inline std::vector<uint8_t> Decode(const fs::path& mp3, const fs::path& folder) {
  fs::path pcm = folder / (mp3.filename().string() + ".pcm");
  EXPECT_EQ(RunTool({"mpg123", "--no-gapless", "-q", "-s", mp3.string()}, pcm.string()), 0)
      << "mpg123 did not run or failed on " << mp3;
  std::vector<uint8_t> raw = ReadAll(pcm);
  EXPECT_FALSE(raw.empty()) << "mpg123 decoded no samples from " << mp3;
  fs::remove(pcm);
  return raw;
}

// mp3val's warnings and errors, except those about the kept data around the
// frames: it knows no Lyrics3 tag and calls unknown leading or trailing bytes
// "garbage", and it notes files without tags. mp3val exits 0 whatever it
// finds, so its report is read; one that did not start, failed or did not
// analyse the file (no "Analyzing file" line) fails the test and comes back as
// a problem of its own.
inline std::string Mp3valProblems(const fs::path& mp3, const fs::path& folder) {
  fs::path log = folder / "mp3val.txt";
  int rc = RunTool({"mp3val", mp3.string()}, log.string());
  std::string text = ReadText(log);
  if (rc != 0 || text.find("Analyzing file") == std::string::npos) {
    ADD_FAILURE() << "mp3val did not analyse " << mp3 << " (status " << rc << "): " << text;
    return "mp3val did not run\n";
  }
  std::string problems;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    bool problem = line.rfind("WARNING", 0) == 0 || line.rfind("ERROR", 0) == 0;
    bool aroundFrames = line.find("No supported tags") != std::string::npos ||
                        line.find("Garbage at the beginning") != std::string::npos ||
                        line.find("Garbage at the end") != std::string::npos;
    if (problem && !aroundFrames) {
      // Without the file's name, so that two files' reports compare.
      size_t name = line.find(mp3.string());
      if (name != std::string::npos) line.erase(name, mp3.string().size());
      problems += line + "\n";
    }
    start = end + 1;
  }
  return problems;
}

// The text as a whole number, or -1 when it holds none (only digits and a line end).
inline long ParseCount(const std::string& text) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return -1;
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  for (; *end != '\0'; ++end)
    if (*end != '\n' && *end != '\r') return -1;
  return value;
}

// ffprobe's count of decoded audio frames. A probe that cannot start, fails or
// prints no count fails the test on the spot (and gives -1), so two failed
// probes comparing equal cannot pass.
inline long FfprobeFrames(const fs::path& mp3, const fs::path& folder) {
  fs::path out = folder / "ffprobe.txt";
  int rc = RunTool({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "a:0", "-show_entries",
                    "stream=nb_read_frames", "-of", "default=nokey=1:noprint_wrappers=1", mp3.string()},
                   out.string());
  long count = rc == 0 ? ParseCount(ReadText(out)) : -1;
  if (count < 0) ADD_FAILURE() << "ffprobe gave no frame count for " << mp3 << " (status " << rc << ")";
  return count;
}

// ffprobe's duration of the file (from the Xing frame when there is one).
// A probe that cannot start, fails or prints no number fails the test.
inline double FfprobeDuration(const fs::path& mp3, const fs::path& folder) {
  fs::path out = folder / "ffprobe.txt";
  int rc = RunTool({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                    "default=nokey=1:noprint_wrappers=1", mp3.string()},
                   out.string());
  std::string text = ReadText(out);
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (rc != 0 || end == text.c_str() || !(value > 0)) {
    ADD_FAILURE() << "ffprobe gave no duration for " << mp3 << " (status " << rc << "): " << text;
    return -1;
  }
  return value;
}

// Half a frame at 48 kHz (1,152 / 48,000 / 2 s): a duration within this of
// the expected one is off by less than a frame at every sample rate.
constexpr double kHalfFrameSeconds = 0.012;

// The frame count stored in the file's Xing frame (flag bit 0), read here byte
// by byte: an ID3v2 tag is passed over by its syncsafe size, the first frame's
// "Xing" or "Info" marker sits after the header, the CRC word when there is one
// and the side information (17 bytes mono, 32 stereo); the flags follow the
// marker, the count the flags. -1 when there is no such frame or no count.
inline long XingCountInFile(const fs::path& mp3) {
  std::vector<uint8_t> b = ReadAll(mp3);
  size_t at = 0;
  if (b.size() >= 10 && b[0] == 'I' && b[1] == 'D' && b[2] == '3')
    at = 10 + ((size_t{b[6]} << 21) | (size_t{b[7]} << 14) | (size_t{b[8]} << 7) | b[9]) + ((b[5] & 0x10) ? 10 : 0);
  if (at + 4 > b.size() || b[at] != 0xFF || (b[at + 1] & 0xFE) != 0xFA) return -1;
  size_t marker = at + 4 + ((b[at + 1] & 1) ? 0 : 2) + ((b[at + 3] >> 6) == 3 ? 17 : 32);
  if (marker + 12 > b.size()) return -1;
  if (std::memcmp(&b[marker], "Xing", 4) != 0 && std::memcmp(&b[marker], "Info", 4) != 0) return -1;
  if ((b[marker + 7] & 1) == 0) return -1;
  return static_cast<long>((uint32_t{b[marker + 8]} << 24) | (uint32_t{b[marker + 9]} << 16) |
                           (uint32_t{b[marker + 10]} << 8) | b[marker + 11]);
}

// ffprobe's count of audio packets (frames demuxed, the Xing frame not among
// them); a probe that cannot start, fails or prints no count fails the test.
inline long FfprobePackets(const fs::path& mp3, const fs::path& folder) {
  fs::path out = folder / "ffprobe.txt";
  int rc = RunTool({"ffprobe", "-v", "error", "-count_packets", "-select_streams", "a:0", "-show_entries",
                    "stream=nb_read_packets", "-of", "default=nokey=1:noprint_wrappers=1", mp3.string()},
                   out.string());
  long count = rc == 0 ? ParseCount(ReadText(out)) : -1;
  if (count < 0) ADD_FAILURE() << "ffprobe gave no packet count for " << mp3 << " (status " << rc << ")";
  return count;
}

}  // namespace quorvel::writer_test
