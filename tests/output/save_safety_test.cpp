// An existing file is never damaged by a save that fails or is interrupted:
// a full disk (a file-size limit, a small tmpfs), an origin file cut short or
// deleted after loading, a read-only folder, a save killed midway. The
// temporary file reaches the disk (fsync) before it is renamed over the target.
//
// Mounts happen in a forked child inside its own mount namespace, so nothing
// outlives the child; without the privilege for that the cases are skipped.

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <chrono>
#include <functional>
#include <thread>

#include "core/messages.h"
#include "output/save.h"
#include "output/writer.h"
#include "writer_fixture.h"

namespace quorvel {
namespace {

using namespace writer_test;
using Bytes = std::vector<uint8_t>;

constexpr int kChildSkip = 77;

// Runs fn in a forked child and returns its exit status (-signal when killed).
int InChild(const std::function<int()>& fn) {
  pid_t pid = fork();
  if (pid == 0) _exit(fn());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1000;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// A private mount namespace for the calling (child) process.
bool PrivateMounts() {
  if (unshare(CLONE_NEWNS) != 0) return false;
  return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

bool TemporaryFileIn(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().string().ends_with(kTempSuffix)) return true;
  return false;
}

const Bytes kOld = {'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't'};

// A short tagged source goes through the write buffer; the long one's frames
// are long enough runs to be copied from file to file by the kernel.
struct SafetyCase {
  const char* name;
  const char* fixture;
  int repeat;
  rlim_t fileSizeLimit;  // below the output's size
  const char* tmpfsSize;
  uintmax_t truncateTo;  // inside the audio
};

const SafetyCase kSafetyCases[] = {
    {"short", "tagged-v23-v1.mp3", 1, 12000, "size=16k", 9000},
    {"long", "cbr96-no-info.mp3", 20, 200000, "size=192k", 200000},
};

struct SafetyTest : ::testing::TestWithParam<SafetyCase> {
  TempFolder folder;
  Session s{folder};
  fs::path source = folder / "song.mp3";

  void makeSource() {
    Bytes one = ReadAll(DataPath(GetParam().fixture));
    Bytes all;
    for (int i = 0; i < GetParam().repeat; ++i) all.insert(all.end(), one.begin(), one.end());
    WriteAll(source, all);
  }
  void SetUp() override {
    makeSource();
    ASSERT_TRUE(s.load(source));
    s.ctx.options.overwritePolicy = 2;
    s.host.messages.clear();
  }
  // Save as to target, as a script does (no dialog).
  void saveAs(const fs::path& target) {
    s.ctx.script.active = true;
    SaveProc(s.ctx, kWriteSaveAs, target.string());
    s.ctx.script.active = false;
  }
  // In the child: 0 when the save failed with the disk error, else a code naming what went wrong.
  int expectDiskFailure() const {
    if (s.ctx.save.lastSaveSucceeded) return 10;
    if (s.ctx.script.resultCode != kWriteFailedCode) return 11;
    if (s.ctx.script.errorText != kDiskErrorText) return 12;
    return 0;
  }
};

TEST_P(SafetyTest, FileSizeLimitLeavesTheTargetAndNoTemporaryFile) {
  fs::path target = folder / "old.mp3";
  WriteAll(target, kOld);
  fs::path fresh = folder / "fresh.mp3";
  int rc = InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{GetParam().fileSizeLimit, GetParam().fileSizeLimit};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return kChildSkip;
    saveAs(target);
    if (int bad = expectDiskFailure()) return bad;
    saveAs(fresh);
    return expectDiskFailure();
  });
  if (rc == kChildSkip) GTEST_SKIP() << "no file-size limit";
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(ReadAll(target) == kOld);
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_FALSE(TemporaryFileIn(folder.path));
}

TEST_P(SafetyTest, FullTmpfsLeavesTheTargetAndNoTemporaryFile) {
  fs::path small = folder / "small";
  fs::create_directories(small);
  int rc = InChild([&] {
    if (!PrivateMounts() || mount("tmpfs", small.c_str(), "tmpfs", 0, GetParam().tmpfsSize) != 0) return kChildSkip;
    fs::path target = small / "old.mp3";
    WriteAll(target, kOld);
    saveAs(target);
    if (int bad = expectDiskFailure()) return bad;
    if (ReadAll(target) != kOld) return 20;
    if (TemporaryFileIn(small)) return 21;
    saveAs(small / "fresh.mp3");
    if (int bad = expectDiskFailure()) return bad;
    if (fs::exists(small / "fresh.mp3")) return 22;
    return 0;
  });
  if (rc == kChildSkip) GTEST_SKIP() << "cannot mount a tmpfs here";
  EXPECT_EQ(rc, 0);
}

TEST_P(SafetyTest, ReadOnlyFolderLeavesItsFileAlone) {
  fs::path ro = folder / "ro";
  fs::create_directories(ro);
  fs::path target = ro / "old.mp3";
  WriteAll(target, kOld);
  int rc = InChild([&] {
    // Root ignores permissions: a read-only bind mount is what refuses writes.
    if (!PrivateMounts() || mount(ro.c_str(), ro.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        mount(nullptr, ro.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
      return kChildSkip;
    saveAs(target);
    if (int bad = expectDiskFailure()) return bad;
    saveAs(ro / "fresh.mp3");
    return expectDiskFailure();
  });
  if (rc == kChildSkip) GTEST_SKIP() << "cannot make a read-only bind mount here";
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(ReadAll(target) == kOld);
  EXPECT_FALSE(fs::exists(ro / "fresh.mp3"));
  EXPECT_FALSE(TemporaryFileIn(ro));
}

// The origin file changed after loading: cut short, or deleted.
TEST_P(SafetyTest, OriginTruncatedOrDeletedAfterLoading) {
  for (bool deleted : {false, true}) {
    SCOPED_TRACE(deleted ? "deleted" : "truncated");
    if (!fs::exists(source)) makeSource();
    ASSERT_TRUE(s.load(source));
    if (deleted) {
      fs::remove(source);
    } else {
      fs::resize_file(source, GetParam().truncateTo);
    }
    fs::path target = folder / "old.mp3";
    WriteAll(target, kOld);
    s.host.messages.clear();
    s.host.fileAnswers = {target.string()};
    ButSaveAsClick(s.ctx);
    EXPECT_FALSE(s.ctx.save.lastSaveSucceeded);
    ASSERT_EQ(s.host.messages.size(), 1u);
    EXPECT_EQ(s.host.messages[0].text, kDiskErrorText);
    EXPECT_EQ(s.host.messages[0].kind, 2);
    EXPECT_EQ(s.host.messages[0].caption, "warning");
    EXPECT_TRUE(ReadAll(target) == kOld);
    EXPECT_FALSE(TemporaryFileIn(folder.path));
    EXPECT_TRUE(s.ctx.doc.loaded);
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, SafetyTest, ::testing::ValuesIn(kSafetyCases),
                         [](const ::testing::TestParamInfo<SafetyCase>& info) { return std::string(info.param.name); });

// A host that takes its time at every progress point, so a save can be killed midway.
class SlowHost : public HeadlessHost {
 public:
  bool slow = false;
  EventRequests processEvents() override {
    if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(40));
    return HeadlessHost::processEvents();
  }
};

TEST(SaveKilled, TargetKeepsItsOldContentOnlyTheTemporaryFileIsPartial) {
  TempFolder folder;
  // About 37 MB of frames: the frames of one fixture, 2000 times.
  Bytes one = ReadAll(DataPath("cbr96-no-info.mp3"));
  fs::path big = folder / "big.mp3";
  {
    std::ofstream out(big, std::ios::binary);
    for (int i = 0; i < 2000; ++i) out.write(reinterpret_cast<const char*>(one.data()), static_cast<std::streamsize>(one.size()));
  }
  SlowHost host;
  Context ctx(host);
  TempFolder settings;  // a save into the settings folder is refused
  ctx.settingsFolder = settings.path.string() + "/";
  ctx.doc.sourceName = big.string();
  ASSERT_TRUE(Loadfile(ctx));
  fs::path target = folder / "old.mp3";
  WriteAll(target, kOld);
  fs::path temp = target.string() + kTempSuffix;
  ctx.options.overwritePolicy = 2;

  host.slow = true;
  pid_t pid = fork();
  if (pid == 0) {
    ctx.script.active = true;
    SaveProc(ctx, kWriteSaveAs, target.string());
    _exit(0);
  }
  ASSERT_GT(pid, 0);
  // Kill it once the temporary file has taken a few megabytes.
  bool sawTemp = false;
  for (int i = 0; i < 2000 && !sawTemp; ++i) {
    std::error_code ec;
    if (fs::exists(temp, ec) && fs::file_size(temp, ec) >= (8u << 20)) sawTemp = true;
    if (!sawTemp) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(sawTemp) << "the save never got going";
  ASSERT_TRUE(WIFSIGNALED(status)) << "the save finished before it was killed";
  EXPECT_TRUE(ReadAll(target) == kOld);
  EXPECT_LT(fs::file_size(temp), fs::file_size(big));
  // Nothing else was left behind.
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(folder.path)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 3u);  // big.mp3, old.mp3, old.mp3.mmtmpmp3
}

// A save to a name that does not exist yet goes through a temporary file too:
// killed midway, it leaves no partial file under the final name.
TEST(SaveKilled, NewTargetNeverAppearsPartially) {
  TempFolder folder;
  Bytes one = ReadAll(DataPath("cbr96-no-info.mp3"));
  fs::path big = folder / "big.mp3";
  {
    std::ofstream out(big, std::ios::binary);
    for (int i = 0; i < 2000; ++i) out.write(reinterpret_cast<const char*>(one.data()), static_cast<std::streamsize>(one.size()));
  }
  for (bool selection : {false, true}) {
    SCOPED_TRACE(selection ? "SAVESELECTION" : "SAVEAS");
    SlowHost host;
    Context ctx(host);
    TempFolder settings;
    ctx.settingsFolder = settings.path.string() + "/";
    ctx.doc.sourceName = big.string();
    ASSERT_TRUE(Loadfile(ctx));
    fs::path target = folder / (selection ? "new-selection.mp3" : "new.mp3");
    fs::path temp = target.string() + kTempSuffix;
    host.slow = true;
    pid_t pid = fork();
    if (pid == 0) {
      ctx.script.active = true;
      if (selection) {
        ctx.doc.cursor = 1;
        ctx.doc.selectionEnd = ctx.doc.editCount - 1;
        ctx.doc.selectionExists = true;
        SaveProc(ctx, kWriteSelection, target.string());
      } else {
        SaveProc(ctx, kWriteSaveAs, target.string());
      }
      _exit(0);
    }
    ASSERT_GT(pid, 0);
    bool sawTemp = false;
    for (int i = 0; i < 2000 && !sawTemp; ++i) {
      std::error_code ec;
      if (fs::exists(temp, ec) && fs::file_size(temp, ec) >= (8u << 20)) sawTemp = true;
      if (!sawTemp) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(sawTemp) << "the save never got going";
    ASSERT_TRUE(WIFSIGNALED(status)) << "the save finished before it was killed";
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::exists(temp));
    fs::remove(temp);
  }
}

// Two programs saving to the same target at once: each writes a temporary
// file of its own, both succeed, and the target holds one whole output.
TEST(SaveConcurrent, TwoSavesToOneTargetKeepTheirOwnTemporaryFiles) {
  TempFolder folder;
  TempFolder settings;
  const char* fixtures[2] = {"cbr96-no-info.mp3", "cbr128-no-reservoir.mp3"};  // no Info frame, no tags
  std::vector<Bytes> sources;
  for (int k = 0; k < 2; ++k) {
    Bytes one = ReadAll(DataPath(fixtures[k]));
    Bytes all;
    for (int i = 0; i < 150; ++i) all.insert(all.end(), one.begin(), one.end());
    WriteAll(folder / ("source" + std::to_string(k) + ".mp3"), all);
    sources.push_back(all);
  }
  fs::path target = folder / "target.mp3";
  WriteAll(target, kOld);
  pid_t pids[2] = {};
  for (int k = 0; k < 2; ++k) {
    pids[k] = fork();
    if (pids[k] == 0) {
      SlowHost host;
      Context ctx(host);
      ctx.settingsFolder = settings.path.string() + "/";
      ctx.doc.sourceName = (folder / ("source" + std::to_string(k) + ".mp3")).string();
      if (!Loadfile(ctx)) _exit(20);
      host.slow = true;
      ctx.options.overwritePolicy = 2;
      ctx.script.active = true;
      SaveProc(ctx, kWriteSaveAs, target.string());
      _exit(ctx.save.lastSaveSucceeded && ctx.script.resultCode == 0 ? 0 : 21);
    }
    ASSERT_GT(pids[k], 0);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
  const Bytes saved = ReadAll(target);
  EXPECT_TRUE(saved == sources[0] || saved == sources[1]) << saved.size() << " bytes";
  EXPECT_FALSE(TemporaryFileIn(folder.path));
}

// Runs only inside the traced process of the next test, which asks for it by
// name (a disabled test runs only when asked for).
TEST(SaveTraced, DISABLED_SaveOverAnExistingFile) {
  const char* dir = std::getenv("QUORVEL_TRACED_SAVE_DIR");
  ASSERT_NE(dir, nullptr) << "runs only under the fsync test";
  fs::path folder(dir);
  HeadlessHost host;
  Context ctx(host);
  ctx.settingsFolder = (folder / "settings").string() + "/";
  ctx.doc.sourceName = (folder / "song.mp3").string();
  ASSERT_TRUE(Loadfile(ctx));
  ctx.options.overwritePolicy = 2;
  ctx.script.active = true;
  SaveProc(ctx, kWriteSaveAs, (folder / "old.mp3").string());
  EXPECT_TRUE(ctx.save.lastSaveSucceeded);
}

// The temporary file is flushed to disk (fsync on its descriptor) before the
// rename that puts it in place of the existing file.
TEST(SaveTraced, TemporaryFileIsSyncedBeforeTheRename) {
  if (std::getenv("QUORVEL_TRACED_SAVE_DIR") != nullptr) GTEST_SKIP();
  ASSERT_TRUE(HaveTool("strace")) << "strace is not installed (scripts/install-deps)";
  TempFolder folder;
  fs::create_directories(folder / "settings");
  fs::copy_file(DataPath("tagged-v23-v1.mp3"), folder / "song.mp3");
  WriteAll(folder / "old.mp3", kOld);
  char self[4096] = {};
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  fs::path log = folder / "trace.txt";
  setenv("QUORVEL_TRACED_SAVE_DIR", folder.path.c_str(), 1);
  // The leak checker cannot run under a tracer.
  const char* asan = std::getenv("ASAN_OPTIONS");
  std::string savedAsan = asan ? asan : "";
  setenv("ASAN_OPTIONS", (savedAsan + (savedAsan.empty() ? "" : ":") + "detect_leaks=0").c_str(), 1);
  int rc = RunTool({"strace", "-f", "-o", log.string(), "-e", "trace=openat,fsync,fdatasync,rename,renameat,renameat2",
                    self, "--gtest_also_run_disabled_tests", "--gtest_filter=SaveTraced.DISABLED_SaveOverAnExistingFile"},
                   "/dev/null", (folder / "stderr.txt").string());
  if (asan) {
    setenv("ASAN_OPTIONS", savedAsan.c_str(), 1);
  } else {
    unsetenv("ASAN_OPTIONS");
  }
  unsetenv("QUORVEL_TRACED_SAVE_DIR");
  ASSERT_TRUE(fs::exists(log)) << "strace did not trace: " << ReadText(folder / "stderr.txt");
  ASSERT_EQ(rc, 0) << ReadText(folder / "stderr.txt");
  EXPECT_TRUE(ReadAll(folder / "old.mp3") != kOld);

  std::string text = ReadText(log);
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  std::string fd;
  size_t synced = 0;
  size_t renamed = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.find("openat(") != std::string::npos && line.find(".mmtmpmp3") != std::string::npos &&
        (line.find("O_WRONLY") != std::string::npos || line.find("O_RDWR") != std::string::npos)) {
      fd = line.substr(line.rfind("= ") + 2);
    } else if (!fd.empty() && synced == 0 &&
               (line.find("fsync(" + fd + ")") != std::string::npos ||
                line.find("fdatasync(" + fd + ")") != std::string::npos)) {
      synced = i + 1;
    } else if (line.find("rename") != std::string::npos && line.find(".mmtmpmp3") != std::string::npos) {
      renamed = i + 1;
    }
  }
  ASSERT_FALSE(fd.empty()) << text;
  ASSERT_NE(synced, 0u) << text;
  ASSERT_NE(renamed, 0u) << text;
  EXPECT_LT(synced, renamed);
}

}  // namespace
}  // namespace quorvel
