// What a save may replace and how: only regular files, through a temporary
// file of its own beside the real target (symlinks followed), with the
// replaced file's mode and owner, never into the settings folder, and only
// from origin files that are still the ones that were loaded. Every save path
// is tried: Save as, quick Save, save selection, split.

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "core/document_ops.h"
#include "core/insert_ops.h"
#include "core/messages.h"
#include "output/save.h"
#include "output/split.h"
#include "output/writer.h"
#include "writer_fixture.h"

namespace quorvel {
namespace {

using namespace writer_test;
using Bytes = std::vector<uint8_t>;

const Bytes kOther = {'o', 't', 'h', 'e', 'r'};

// A save path as a script takes it.
struct SavePath {
  const char* name;
  std::function<void(Context&, const fs::path&, const fs::path& folder)> save;
};

void Select(Context& ctx, int32_t a, int32_t b) {
  ctx.doc.cursor = a;
  ctx.doc.selectionEnd = b;
  ctx.doc.selectionExists = true;
}

const SavePath kSavePaths[] = {
    {"SAVEAS",
     [](Context& ctx, const fs::path& target, const fs::path&) {
       SaveProc(ctx, kWriteSaveAs, target.string());
     }},
    {"quick save",
     [](Context& ctx, const fs::path& target, const fs::path&) {
       ctx.doc.documentName = target.string();
       SaveProc(ctx, kWriteQuickSave);
     }},
    {"SAVESELECTION",
     [](Context& ctx, const fs::path& target, const fs::path&) {
       Select(ctx, 2, 12);
       MenuSaveSelClick(ctx, target.string());
     }},
    {"SPLIT",
     [](Context& ctx, const fs::path& target, const fs::path& folder) {
       Select(ctx, 2, 12);
       MenuSplitClick(ctx, {target.string(), (folder / "part2.mp3").string(), (folder / "part3.mp3").string()});
     }},
};

struct SaveTargetTest : ::testing::Test {
  TempFolder folder;
  Session s{folder};
  fs::path source = folder / "song.mp3";
  fs::path out = folder / "out";

  void SetUp() override {
    fs::copy_file(DataPath("cbr96-no-info.mp3"), source);
    fs::create_directories(out);
    ASSERT_TRUE(s.load(source));
    s.ctx.options.overwritePolicy = 2;
    s.ctx.script.active = true;
  }
  void reload() {
    s.ctx.script.active = false;
    ASSERT_TRUE(s.load(source));
    s.ctx.script.active = true;
    s.ctx.script.resultCode = 0;
    s.ctx.script.errorText.clear();
  }
  std::vector<std::string> temporaryFiles(const fs::path& in) const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(in))
      if (entry.path().string().ends_with(kTempSuffix)) found.push_back(entry.path().string());
    return found;
  }
};

// Nodes that are not regular files, made fresh at path.
struct NodeKind {
  const char* name;
  std::function<bool(const fs::path&)> make;
  mode_t type;  // of the node itself (lstat)
};

bool MakeSocket(const fs::path& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.string().size() >= sizeof addr.sun_path) return false;
  std::strcpy(addr.sun_path, path.c_str());
  bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

const NodeKind kNodes[] = {
    // A private device node with the numbers of /dev/null.
    {"char device", [](const fs::path& p) { return ::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; },
     S_IFCHR},
    {"FIFO", [](const fs::path& p) { return ::mkfifo(p.c_str(), 0666) == 0; }, S_IFIFO},
    {"socket", MakeSocket, S_IFSOCK},
    {"symlink to a FIFO",
     [](const fs::path& p) {
       fs::path fifo = p.string() + ".fifo";
       return ::mkfifo(fifo.c_str(), 0666) == 0 && ::symlink(fifo.c_str(), p.c_str()) == 0;
     },
     S_IFLNK},
    {"folder", [](const fs::path& p) { return fs::create_directories(p / "inside"); }, S_IFDIR},
};

TEST_F(SaveTargetTest, NonRegularTargetIsRefusedBeforeAnythingIsWritten) {
  for (const NodeKind& node : kNodes) {
    for (const SavePath& path : kSavePaths) {
      SCOPED_TRACE(std::string(node.name) + " via " + path.name);
      fs::remove_all(out);
      fs::create_directories(out);
      fs::path target = out / "node.mp3";
      ASSERT_TRUE(node.make(target)) << "cannot make the node: " << std::strerror(errno);
      s.ctx.script.resultCode = 0;
      s.ctx.script.errorText.clear();
      path.save(s.ctx, target, out);
      EXPECT_EQ(s.ctx.script.resultCode, kWriteFailedCode);
      EXPECT_EQ(s.ctx.script.errorText, kDiskErrorText);
      struct stat st {};
      ASSERT_EQ(::lstat(target.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & S_IFMT, node.type);
      if (node.type == S_IFCHR) {
        EXPECT_EQ(st.st_rdev, makedev(1, 3));
      }
      EXPECT_TRUE(temporaryFiles(out).empty());
      EXPECT_TRUE(s.ctx.doc.loaded);
    }
  }
}

TEST_F(SaveTargetTest, TemporaryNameTakenByAnotherSaveIsLeftToIt) {
  fs::path target = out / "target.mp3";
  fs::path theirs = target.string() + kTempSuffix;
  for (const SavePath& path : kSavePaths) {
    SCOPED_TRACE(path.name);
    WriteAll(target, kOther);
    WriteAll(theirs, kOther);
    path.save(s.ctx, target, out);
    EXPECT_EQ(s.ctx.script.resultCode, 0) << s.ctx.script.errorText;
    EXPECT_TRUE(s.ctx.save.lastSaveSucceeded);
    EXPECT_GT(fs::file_size(target), 600u);  // two frames or more
    EXPECT_TRUE(ReadAll(theirs) == kOther);
    EXPECT_EQ(temporaryFiles(out), std::vector<std::string>{theirs.string()});
  }
  // A save that fails does not delete another save's temporary file either.
  fs::remove(source);
  SaveProc(s.ctx, kWriteSaveAs, target.string());
  EXPECT_EQ(s.ctx.script.resultCode, kWriteFailedCode);
  EXPECT_TRUE(ReadAll(theirs) == kOther);
  EXPECT_EQ(temporaryFiles(out), std::vector<std::string>{theirs.string()});
}

TEST_F(SaveTargetTest, OriginChangedSinceLoadingFailsWithTheDiskError) {
  const Bytes original = ReadAll(source);
  struct Change {
    const char* name;
    std::function<void()> apply;
  };
  const Change changes[] = {
      {"another file moved over it",
       [&] {
         Bytes other = original;
         for (size_t i = 0; i < 1063; ++i) other[i] = 0;
         WriteAll(folder / "other.mp3", other);
         fs::rename(folder / "other.mp3", source);
       }},
      {"rewritten in place, same size",
       [&] {
         Bytes other = original;
         std::rotate(other.begin(), other.begin() + 313, other.end());
         WriteAll(source, other);
       }},
      {"rewritten in place, larger",
       [&] {
         Bytes other(1063, 0);
         other.insert(other.end(), original.begin(), original.end());
         WriteAll(source, other);
       }},
  };
  for (const Change& change : changes) {
    for (const SavePath& path : kSavePaths) {
      if (std::string(path.name) == "quick save") continue;  // it would write over the source
      SCOPED_TRACE(std::string(change.name) + " via " + path.name);
      WriteAll(source, original);
      reload();
      change.apply();
      fs::path target = out / "new.mp3";
      path.save(s.ctx, target, out);
      EXPECT_EQ(s.ctx.script.resultCode, kWriteFailedCode);
      EXPECT_EQ(s.ctx.script.errorText, kDiskErrorText);
      EXPECT_FALSE(fs::exists(target));
      EXPECT_TRUE(temporaryFiles(out).empty());
    }
  }
  // An inserted file is checked the same way.
  WriteAll(source, original);
  reload();
  fs::path inserted = folder / "inserted.mp3";
  fs::copy_file(DataPath("cbr96-no-info.mp3"), inserted);
  s.ctx.edit.insertFileName = inserted.string();
  s.ctx.doc.cursor = s.ctx.doc.selectionEnd = 5;
  s.ctx.doc.selectionExists = false;
  MenuInsertClick(s.ctx);
  ASSERT_EQ(s.ctx.script.resultCode, 0) << s.ctx.script.errorText;
  ASSERT_EQ(s.ctx.doc.insertedCount, 1);
  Bytes other = ReadAll(inserted);
  std::rotate(other.begin(), other.begin() + 313, other.end());
  WriteAll(inserted, other);
  SaveProc(s.ctx, kWriteSaveAs, (out / "with-insert.mp3").string());
  EXPECT_EQ(s.ctx.script.resultCode, kWriteFailedCode);
  EXPECT_EQ(s.ctx.script.errorText, kDiskErrorText);
  EXPECT_FALSE(fs::exists(out / "with-insert.mp3"));
}

TEST_F(SaveTargetTest, ReplacedFileKeepsItsModeOwnerAndGroup) {
  fs::path target = out / "private.mp3";
  const bool root = ::geteuid() == 0;
  for (const SavePath& path : kSavePaths) {
    SCOPED_TRACE(path.name);
    WriteAll(target, kOther);
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    if (root) {
      ASSERT_EQ(::chown(target.c_str(), 1234, 5678), 0);
    }
    path.save(s.ctx, target, out);
    ASSERT_TRUE(s.ctx.save.lastSaveSucceeded) << s.ctx.script.errorText;
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_GT(st.st_size, 600);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
      EXPECT_EQ(st.st_uid, 1234u);
      EXPECT_EQ(st.st_gid, 5678u);
    }
    if (std::string(path.name) == "quick save") reload();
  }
  // A new file gets the usual mode of a new file.
  mode_t mask = ::umask(022);
  fs::path fresh = out / "fresh.mp3";
  SaveProc(s.ctx, kWriteSaveAs, fresh.string());
  ::umask(mask);
  struct stat st {};
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST_F(SaveTargetTest, SymlinkedTargetIsWrittenThroughAndStaysALink) {
  fs::path real = out / "real.mp3";
  fs::path link = out / "link.mp3";
  for (const SavePath& path : kSavePaths) {
    SCOPED_TRACE(path.name);
    fs::remove(link);
    WriteAll(real, kOther);
    fs::create_symlink("real.mp3", link);  // relative, as links often are
    path.save(s.ctx, link, out);
    ASSERT_TRUE(s.ctx.save.lastSaveSucceeded) << s.ctx.script.errorText;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), fs::path("real.mp3"));
    EXPECT_GT(fs::file_size(real), 600u);
    EXPECT_TRUE(s.ctx.doc.loaded);  // the source was not replaced
    EXPECT_FALSE(s.ctx.save.sourceReplaced);
    EXPECT_TRUE(temporaryFiles(out).empty());
  }
  // A link to a file that does not exist yet: the file is made where it points.
  fs::remove(link);
  fs::remove(real);
  fs::create_symlink(real, link);
  SaveProc(s.ctx, kWriteSaveAs, link.string());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_GT(fs::file_size(real), 600u);

  // A link to the source: the source itself is replaced, and only then is the
  // document closed.
  fs::path toSource = out / "to-source.mp3";
  fs::create_symlink(source, toSource);
  s.ctx.options.mainFlags = static_cast<uint8_t>(s.ctx.options.mainFlags & ~kReloadAfterOverwrite);
  struct stat before {};
  ASSERT_EQ(::stat(source.c_str(), &before), 0);
  SaveProc(s.ctx, kWriteSaveAs, toSource.string());
  EXPECT_TRUE(s.ctx.save.lastSaveSucceeded);
  EXPECT_TRUE(s.ctx.save.sourceReplaced);
  EXPECT_FALSE(s.ctx.doc.loaded);
  EXPECT_TRUE(fs::is_symlink(toSource));
  struct stat after {};
  ASSERT_EQ(::stat(source.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // a new file under the source's name
}

TEST_F(SaveTargetTest, SaveIntoTheSettingsFolderIsRefused) {
  const fs::path settings(s.ctx.settingsFolder);
  const fs::path ini = settings / "quorvel.ini";
  const Bytes iniBytes = {'Q', 'V', 0, 1, 2, 3};
  fs::path linkedFolder = folder / "settings-link";
  fs::create_directory_symlink(settings, linkedFolder);
  const fs::path targets[] = {ini, settings / "new.mp3", settings / "sub" / "deeper.mp3", linkedFolder / "new.mp3"};
  fs::create_directories(settings / "sub");
  for (const fs::path& target : targets) {
    for (const SavePath& path : kSavePaths) {
      SCOPED_TRACE(target.string() + " via " + path.name);
      WriteAll(ini, iniBytes);
      s.ctx.script.resultCode = 0;
      path.save(s.ctx, target, out);
      EXPECT_EQ(s.ctx.script.resultCode, kWriteFailedCode);
      EXPECT_EQ(s.ctx.script.errorText, kWorkingFolderText);
      EXPECT_TRUE(ReadAll(ini) == iniBytes);
      if (target != ini) {
        EXPECT_FALSE(fs::exists(target));
      }
      EXPECT_TRUE(temporaryFiles(settings).empty());
    }
  }
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

// A last frame shorter than its header and side information (a file cut just
// after a header, a 10-byte piece of a frame before the ID3v1 tag) is no
// frame: --info, the loaded document and the saved file agree that it is
// trailing data, and the writer never reads past the frames it writes.
TEST(ShortLastFrame, IsTrailingDataForInfoLoadAndSave) {
  TempFolder folder;
  const Bytes frames = ReadAll(DataPath("cbr96-no-info.mp3"));  // 59 frames, no Info frame
  ASSERT_EQ(frames.size(), 18495u);
  Bytes tag(128, 0);
  std::memcpy(tag.data(), "TAGShort", 8);
  tag[127] = 12;
  struct Case {
    const char* name;
    size_t piece;  // bytes of a frame's start after the frames
    bool id3v1;
  };
  const Case cases[] = {{"cut after a header", 4, false}, {"10 bytes before an ID3v1 tag", 10, true},
                        {"35 bytes", 35, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = frames;
    file.insert(file.end(), frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(c.piece));
    if (c.id3v1) file.insert(file.end(), tag.begin(), tag.end());
    fs::path source = folder / "short.mp3";
    WriteAll(source, file);

    fs::path info = folder / "info.txt";
    ASSERT_EQ(RunTool({std::getenv("QUORVEL_BINARY") ? std::getenv("QUORVEL_BINARY") : "quorvel", "--info",
                       source.string()},
                      info.string()),
              0);
    const std::string text = ReadText(info);
    EXPECT_NE(text.find("frames: 59\n"), std::string::npos) << text;
    EXPECT_NE(text.find("unknown footer: " + std::to_string(c.piece) + " bytes at 18495"), std::string::npos) << text;

    Session s{folder};
    ASSERT_TRUE(s.load(source));
    EXPECT_EQ(s.ctx.doc.frameTableCount, 59);
    EXPECT_TRUE(s.ctx.doc.source.footerFound);
    EXPECT_EQ(s.ctx.doc.source.footerPos, 18495);
    EXPECT_EQ(s.ctx.doc.source.footerLength, static_cast<int32_t>(c.piece));

    // Kept, the piece is written as found; removed, it is left out.
    for (bool keep : {true, false}) {
      s.ctx.doc.boxes.footer.checked = !keep;
      fs::path out = folder / "out.mp3";
      WriteResult r = WriteOutputFile(s.ctx, out.string(), kWriteSaveAs, 0, 0);
      ASSERT_TRUE(r.succeeded());
      Bytes expected = frames;
      if (keep) expected.insert(expected.end(), frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(c.piece));
      if (c.id3v1) expected.insert(expected.end(), tag.begin(), tag.end());
      EXPECT_TRUE(ReadAll(out) == expected) << "keep " << keep;
      EXPECT_EQ(r.framesWritten, 59);
    }
  }
  // A frame table that still holds such a piece (a document made before it
  // was recognised) writes nothing of it.
  Session s{folder};
  fs::path source = folder / "plain.mp3";
  WriteAll(source, frames);
  ASSERT_TRUE(s.load(source));
  s.ctx.doc.frames[58].framelen = 10;
  fs::path out = folder / "out.mp3";
  WriteResult r = WriteOutputFile(s.ctx, out.string(), kWriteSaveAs, 0, 0);
  ASSERT_TRUE(r.succeeded());
  EXPECT_EQ(r.framesWritten, 58);
  EXPECT_EQ(fs::file_size(out), static_cast<uintmax_t>(s.ctx.doc.frames[58].framepos));
}

}  // namespace
}  // namespace quorvel
