#pragma once
// Independent programs that check what script commands wrote: mutagen for the
// tags, ffprobe for frame counts, mpg123 for decoding. Each is started with an
// argument vector; its standard output goes to a file the test names.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace quorvel::script_peers {

// Runs argv[0] (an absolute path, or found on PATH) with the environment given
// (the test's own when empty); standard output and error go to the files.
// Returns the exit status, or -1 when it could not run or did not exit.
inline int RunProgram(const std::vector<std::string>& args, const std::string& stdoutPath = "/dev/null",
                      const std::string& stderrPath = "/dev/null", const std::vector<std::string>& env = {}) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), env.empty() ? environ : envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool ProgramAvailable(const std::vector<std::string>& probe) {
  return RunProgram(probe) == 0;
}

inline std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The pyenv python on PATH has no mutagen; the system one has.
constexpr const char* kSystemPython = "/usr/bin/python3";

// One line per ID3v2 frame in file order: "ID|encoding|text", where text is
// the joined text, "description=text" for COMM/USLT, "description=url" for
// WXXX and "type:mime:size" for APIC; the first line is "version|major".
constexpr const char* kMutagenDump = R"PY(
import sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1], translate=False, load_v1=False)
out = ["version|%d" % t.version[1]]
for f in t.values():
    enc = int(getattr(f, "encoding", -1))
    fid = f.FrameID
    if fid in ("COMM", "USLT", "COM", "ULT"):
        body = f.desc + "=" + (f.text if isinstance(f.text, str) else "/".join(f.text))
    elif fid in ("WXXX", "WXX"):
        body = f.desc + "=" + f.url
    elif fid in ("APIC", "PIC"):
        body = "%d:%s:%d" % (f.type, getattr(f, "mime", ""), len(f.data))
    else:
        body = "/".join(str(x) for x in f.text)
    out.append("%s|%d|%s" % (fid, enc, body))
sys.stdout.write("\n".join(out) + "\n")
)PY";

// mutagen's dump of the file's ID3v2 tag; "" (and a failure of the test) when
// mutagen cannot start, fails or prints no version line.
inline std::string MutagenFrames(const std::filesystem::path& mp3, const std::filesystem::path& scratch) {
  const std::filesystem::path out = scratch / "mutagen.txt";
  const std::filesystem::path err = scratch / "mutagen-err.txt";
  int rc = RunProgram({kSystemPython, "-c", kMutagenDump, mp3.string()}, out.string(), err.string());
  std::string text = FileText(out);
  if (rc != 0 || text.rfind("version|", 0) != 0) {
    ADD_FAILURE() << "mutagen did not read " << mp3 << " (status " << rc << "): " << FileText(err);
    return {};
  }
  return text;
}

inline bool MutagenAvailable() { return ProgramAvailable({kSystemPython, "-c", "import mutagen"}); }

// The number of audio frames ffprobe counts; -1 (and a failure of the test)
// when ffprobe cannot start, fails or prints no count.
inline long FfprobeFrames(const std::filesystem::path& mp3, const std::filesystem::path& scratch) {
  const std::filesystem::path out = scratch / "ffprobe.txt";
  int rc = RunProgram({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "a:0", "-show_entries",
                       "stream=nb_read_frames", "-of", "default=nokey=1:noprint_wrappers=1", mp3.string()},
                      out.string());
  const std::string text = FileText(out);
  char* end = nullptr;
  long count = std::strtol(text.c_str(), &end, 10);
  if (rc != 0 || end == text.c_str() || (*end != '\0' && *end != '\n') || count < 0) {
    ADD_FAILURE() << "ffprobe gave no frame count for " << mp3 << " (status " << rc << "): " << text;
    return -1;
  }
  return count;
}

// Decodes with mpg123 to raw 16-bit samples, every frame whole (no gapless
// trimming); the byte count, or -1 (and a failure of the test) when mpg123
// cannot start, fails or decodes nothing.
inline long Mpg123DecodedBytes(const std::filesystem::path& mp3, const std::filesystem::path& scratch) {
  const std::filesystem::path raw = scratch / "decoded.raw";
  const std::filesystem::path err = scratch / "mpg123.txt";
  int rc = RunProgram({"mpg123", "-q", "--no-gapless", "-s", mp3.string()}, raw.string(), err.string());
  std::error_code ec;
  auto size = std::filesystem::file_size(raw, ec);
  if (rc != 0 || ec || size == 0) {
    ADD_FAILURE() << "mpg123 did not decode " << mp3 << " (status " << rc << "): " << FileText(err);
    return -1;
  }
  return static_cast<long>(size);
}

}  // namespace quorvel::script_peers
