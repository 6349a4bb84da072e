// The save procedure: overwrite policy and its question, the temporary name
// and the rename, closing and reloading a replaced source, the working-folder
// guard, the document's name after a Save as, the play and selection files,
// the recent-files list and the policy commands.

#include "output/save.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include "core/document_ops.h"
#include "output/writer.h"
#include "writer_fixture.h"

namespace quorvel {
namespace {

using namespace writer_test;
using Bytes = std::vector<uint8_t>;

struct SaveTest : ::testing::Test {
  TempFolder folder;
  Session s{folder};
  fs::path source = folder / "song.mp3";
  Bytes original;
  int settingsSaved = 0;

  void SetUp() override {
    fs::copy_file(DataPath("tagged-v23-v1.mp3"), source);
    original = ReadAll(source);
    ASSERT_TRUE(s.load(source));
    s.ctx.saveSettings = [this](Context&) { ++settingsSaved; };
    s.ctx.options.lastSaveFolder = folder.path.string();
    s.host.messages.clear();
  }
  bool anyTemporaryFile() const {
    for (const auto& entry : fs::directory_iterator(folder.path))
      if (entry.path().string().ends_with(kTempSuffix)) return true;
    return false;
  }
  int32_t audioFrames() const { return s.ctx.doc.editCount; }
};

TEST_F(SaveTest, QuickSaveUnderPolicyOneReplacesTheSourceAndClosesTheDocument) {
  s.ctx.options.overwritePolicy = 1;
  s.ctx.options.mainFlags &= static_cast<uint8_t>(~kReloadAfterOverwrite);
  MenuQuickSaveClick(s.ctx);
  EXPECT_TRUE(s.host.messages.empty());
  EXPECT_TRUE(s.ctx.save.lastSaveSucceeded);
  EXPECT_TRUE(s.ctx.save.sourceReplaced);
  EXPECT_EQ(s.ctx.save.lastOutputName, source.string());
  EXPECT_EQ(s.ctx.save.writeTarget, source.string() + ".mmtmpmp3");
  EXPECT_FALSE(s.ctx.doc.loaded);
  EXPECT_FALSE(anyTemporaryFile());
  // Rewritten with LAME's Info frame rebuilt in place (its extension kept):
  // the same size, the frame where it was.
  Bytes saved = ReadAll(source);
  EXPECT_EQ(saved.size(), original.size());
  ASSERT_GT(saved.size(), 400u);
  EXPECT_EQ(std::string(saved.begin() + 348 + 36, saved.begin() + 348 + 40), "Info");
  EXPECT_FALSE(s.ctx.doc.busy);
  EXPECT_FALSE(s.host.busy);
}

TEST_F(SaveTest, QuickSaveOverTheSourceReloadsWhenTheOptionIsOn) {
  s.ctx.options.mainFlags |= kReloadAfterOverwrite;
  int32_t before = audioFrames();
  MenuQuickSaveClick(s.ctx);
  EXPECT_TRUE(s.ctx.save.sourceReplaced);
  ASSERT_TRUE(s.ctx.doc.loaded);
  EXPECT_EQ(audioFrames(), before);  // the Info frame, with LAME's extension, was written again
  EXPECT_EQ(s.ctx.doc.sourceName, source.string());
  EXPECT_EQ(s.ctx.doc.documentName, source.string());
  EXPECT_FALSE(s.host.mainWindowClosed);
}

TEST_F(SaveTest, QuickSaveUnderPolicyZeroAsksAndNoKeepsEverything) {
  s.ctx.options.overwritePolicy = 0;
  s.host.answers = {kAnswerNo};
  s.ctx.doc.unsavedChanges = true;
  MenuQuickSaveClick(s.ctx);
  ASSERT_EQ(s.host.messages.size(), 1u);
  EXPECT_EQ(s.host.messages[0].text, "Overwrite the existing file?");
  EXPECT_EQ(s.host.messages[0].kind, 4354);
  EXPECT_EQ(s.host.messages[0].caption, "the file exists");
  EXPECT_TRUE(s.ctx.save.overwriteDeclined);
  EXPECT_FALSE(s.ctx.save.lastSaveSucceeded);
  EXPECT_TRUE(s.ctx.doc.loaded);
  EXPECT_TRUE(s.ctx.doc.unsavedChanges);
  EXPECT_TRUE(ReadAll(source) == original);
  EXPECT_FALSE(anyTemporaryFile());
}

TEST_F(SaveTest, SaveAsToANewFileNeverAsksAndTheQuickSaveThenWritesThere) {
  s.ctx.options.overwritePolicy = 0;
  fs::path target = folder / "new.mp3";
  s.host.fileAnswers = {target.string()};
  ButSaveAsClick(s.ctx);
  ASSERT_EQ(s.host.fileRequests.size(), 1u);
  const FileDialogRequest& r = s.host.fileRequests[0];
  EXPECT_EQ(r.filter, "mp3 files|*.mp3|all files|*.*");
  EXPECT_EQ(r.defaultExt, "mp3");
  EXPECT_EQ(r.fileName, "song.mp3");
  EXPECT_EQ(r.folder, folder.path.string());
  EXPECT_TRUE(s.host.messages.empty());
  EXPECT_TRUE(s.ctx.save.lastSaveSucceeded);
  EXPECT_TRUE(fs::exists(target));
  EXPECT_EQ(s.ctx.doc.documentName, target.string());
  EXPECT_EQ(s.ctx.options.lastSaveFolder, folder.path.string());
  EXPECT_GE(settingsSaved, 1);
  EXPECT_TRUE(s.ctx.doc.loaded);

  // Quick Save now writes the new file (asking, under policy 0), never the source.
  s.host.answers = {kAnswerYes};
  s.ctx.doc.gainLeft[5] = 2;
  MenuQuickSaveClick(s.ctx);
  EXPECT_EQ(s.host.messages.size(), 1u);
  EXPECT_TRUE(s.ctx.save.lastSaveSucceeded);
  EXPECT_TRUE(s.ctx.doc.loaded);
  EXPECT_TRUE(ReadAll(source) == original);
  EXPECT_FALSE(anyTemporaryFile());
}

TEST_F(SaveTest, SaveAsIntoTheWorkingFolderIsRefusedAndTheDialogReopens) {
  fs::path refused = fs::path(s.ctx.settingsFolder) / "x.mp3";
  fs::path target = folder / "ok.mp3";
  s.host.fileAnswers = {refused.string(), target.string()};
  ButSaveAsClick(s.ctx);
  ASSERT_EQ(s.host.messages.size(), 1u);
  EXPECT_EQ(s.host.messages[0].text,
            "You are not allowed to save to the application folder.\r\nPlease change the path.");
  EXPECT_EQ(s.host.messages[0].kind, 1);
  EXPECT_EQ(s.host.messages[0].caption, "warning");
  ASSERT_EQ(s.host.fileRequests.size(), 2u);
  EXPECT_EQ(s.host.fileRequests[1].fileName, s.host.fileRequests[0].fileName);
  EXPECT_EQ(s.host.fileRequests[1].folder, s.host.fileRequests[0].folder);
  EXPECT_FALSE(fs::exists(refused));
  EXPECT_TRUE(fs::exists(target));
}

TEST_F(SaveTest, CancelledDialogWritesNothing) {
  s.host.fileAnswers = {std::nullopt};
  ButSaveAsClick(s.ctx);
  EXPECT_FALSE(s.ctx.save.lastSaveSucceeded);
  EXPECT_TRUE(s.host.messages.empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()), 2);
}

TEST_F(SaveTest, SaveAsOverAnExistingFileAsksUnderPoliciesZeroAndOne) {
  fs::path target = folder / "old.mp3";
  for (uint8_t policy : {0, 1, 2}) {
    SCOPED_TRACE(int{policy});
    WriteAll(target, Bytes{'o', 'l', 'd'});
    s.ctx.options.overwritePolicy = policy;
    s.host.messages.clear();
    s.host.fileAnswers = {target.string()};
    s.host.answers = {kAnswerYes};
    ButSaveAsClick(s.ctx);
    EXPECT_EQ(s.host.messages.size(), policy == 2 ? 0u : 1u);
    EXPECT_TRUE(s.ctx.save.lastSaveSucceeded);
    EXPECT_GT(fs::file_size(target), 1000u);
    EXPECT_FALSE(anyTemporaryFile());
  }
}

TEST_F(SaveTest, ScriptSaveAsOverwritesWithoutAQuestionUnderEveryPolicy) {
  fs::path target = folder / "old.mp3";
  s.ctx.script.active = true;
  for (uint8_t policy : {0, 1, 2}) {
    WriteAll(target, Bytes{'o', 'l', 'd'});
    s.ctx.options.overwritePolicy = policy;
    s.ctx.script.resultCode = 77;
    SaveProc(s.ctx, kWriteSaveAs, target.string());
    EXPECT_TRUE(s.host.messages.empty());
    EXPECT_EQ(s.ctx.script.resultCode, 0);
    EXPECT_TRUE(s.ctx.save.lastSaveSucceeded);
    EXPECT_GT(fs::file_size(target), 1000u);
  }
  // User commands are refused while a script runs.
  s.host.fileAnswers = {(folder / "never.mp3").string()};
  ButSaveAsClick(s.ctx);
  EXPECT_TRUE(s.host.fileRequests.empty());
}

TEST_F(SaveTest, FailedWriteOverAnExistingFileLeavesItAndNoTemporaryFile) {
  fs::path target = folder / "keep.mp3";
  WriteAll(target, Bytes{'k', 'e', 'e', 'p'});
  fs::remove(source);  // every frame read now fails
  s.ctx.options.overwritePolicy = 2;
  s.host.fileAnswers = {target.string()};
  ButSaveAsClick(s.ctx);
  EXPECT_FALSE(s.ctx.save.lastSaveSucceeded);
  ASSERT_EQ(s.host.messages.size(), 1u);
  EXPECT_EQ(s.host.messages[0].caption, "warning");
  EXPECT_TRUE(ReadAll(target) == (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_FALSE(anyTemporaryFile());
}

// Sets or clears the immutable flag (root on ext4 and most local file
// systems): a rename over an immutable file fails with EPERM.
bool SetImmutable(const fs::path& path, bool on) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (ok) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return ok;
}

// Where the flag cannot be set (inside a user namespace, or on a file system
// without it), the file is bind-mounted onto itself in a mount namespace of the
// test's own: a rename over a mount point fails with EBUSY.
bool MakeMountPoint(const fs::path& path) {
  if (unshare(CLONE_NEWNS) != 0) return false;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  return mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

TEST_F(SaveTest, FailedRenameKeepsTheTemporaryFileAndSaysSo) {
  fs::path target = folder / "locked.mp3";
  WriteAll(target, Bytes{'o', 'l', 'd'});
  const bool immutable = SetImmutable(target, true);
  if (!immutable && !MakeMountPoint(target)) GTEST_SKIP() << "neither the immutable flag nor a bind mount here";
  struct Unlock {
    fs::path p;
    bool immutable;
    ~Unlock() {
      if (immutable) {
        SetImmutable(p, false);
      } else {
        umount2(p.c_str(), MNT_DETACH);
      }
    }
  } unlock{target, immutable};
  for (bool script : {true, false}) {
    SCOPED_TRACE(script);
    s.ctx.script = ScriptRun{};
    s.ctx.script.active = script;
    s.host.messages.clear();
    s.host.fileAnswers = {target.string()};
    s.ctx.options.overwritePolicy = 2;
    s.ctx.doc.unsavedChanges = true;
    SaveProc(s.ctx, kWriteSaveAs, target.string());
    const char* text =
        "Failed to rename the temporary file to existing filename.\r\nResult of this operation is a temporary "
        "file with MMTMPMP3 extension.\r\nMost probable reason for this error is the file being in use.";
    if (script) {
      EXPECT_EQ(s.ctx.script.resultCode, 101);
      EXPECT_EQ(s.ctx.script.errorText, text);
      EXPECT_TRUE(s.host.messages.empty());
    } else {
      ASSERT_EQ(s.host.messages.size(), 1u);
      EXPECT_EQ(s.host.messages[0].text, text);
      EXPECT_EQ(s.host.messages[0].kind, 258);
      EXPECT_EQ(s.host.messages[0].caption, "info");
    }
    EXPECT_FALSE(s.ctx.save.lastSaveSucceeded);
    EXPECT_FALSE(s.ctx.save.playOutputEnabled);
    EXPECT_EQ(s.ctx.doc.documentName, target.string());
    EXPECT_TRUE(s.ctx.doc.unsavedChanges);
    fs::path temp = target.string() + ".mmtmpmp3";
    ASSERT_TRUE(fs::exists(temp));
    EXPECT_GT(fs::file_size(temp), 10000u);
    fs::remove(temp);
  }
}

TEST_F(SaveTest, FolderAsTargetFailsWithoutLeavingATemporaryFile) {
  fs::path target = folder / "taken";
  fs::create_directories(target / "inside");
  s.ctx.script.active = true;
  SaveProc(s.ctx, kWriteSaveAs, target.string());
  EXPECT_FALSE(s.ctx.save.lastSaveSucceeded);
  EXPECT_EQ(s.ctx.script.resultCode, kWriteFailedCode);
  EXPECT_FALSE(s.ctx.script.errorText.empty());
  EXPECT_TRUE(fs::is_directory(target / "inside"));
  EXPECT_FALSE(anyTemporaryFile());
}

TEST_F(SaveTest, PlayFilesAndTheSelectionFile) {
  DocumentState& doc = s.ctx.doc;
  fs::path work(s.ctx.settingsFolder);
  // Without a selection the selection purposes write nothing.
  doc.selectionExists = false;
  SaveProc(s.ctx, kWritePlaySelection);
  EXPECT_FALSE(s.ctx.save.lastSaveSucceeded);
  EXPECT_FALSE(fs::exists(work / "quorvel.Selection.mp3"));

  doc.cursor = 20;
  doc.selectionEnd = 10;
  doc.selectionExists = true;
  struct Case {
    int purpose;
    const char* name;
  } cases[] = {{1, "quorvel.Selection.mp3"}, {3, "quorvel.Selexion.mp3"}, {2, "quorvel.Preview.mp3"}, {4, "quorvel.Prevyu.mp3"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SaveProc(s.ctx, c.purpose);
    EXPECT_TRUE(s.ctx.save.lastSaveSucceeded);
    Bytes got = ReadAll(work / c.name);
    // No ID3v2 tag; the ID3v1 tag at the end.
    ASSERT_GT(got.size(), 128u);
    EXPECT_EQ(got[0], 0xFF);
    EXPECT_TRUE(Bytes(got.end() - 128, got.end()) == Bytes(original.end() - 128, original.end()));
    int64_t frameBytes = 0;
    for (int32_t p = c.purpose % 2 == 1 ? 10 : 1; p < (c.purpose % 2 == 1 ? 20 : audioFrames()); ++p)
      frameBytes += doc.frames[static_cast<size_t>(doc.ref[static_cast<size_t>(p)])].framelen;
    // LAME's Info frame in front, as long as the source's (same bitrate).
    ASSERT_GT(got.size(), 40u);
    EXPECT_EQ(std::string(got.begin() + 36, got.begin() + 40), "Info");
    EXPECT_EQ(static_cast<int64_t>(got.size() - 128), frameBytes + doc.frames[0].framelen);
  }
  EXPECT_EQ(s.ctx.save.lastOutputName, "");
  EXPECT_EQ(doc.documentName, source.string());

  // Purpose 5 replaces an existing file without a question.
  fs::path part = folder / "part.mp3";
  WriteAll(part, Bytes{'x'});
  s.ctx.options.overwritePolicy = 0;
  SaveProc(s.ctx, kWriteSelection, part.string());
  EXPECT_TRUE(s.ctx.save.lastSaveSucceeded);
  EXPECT_TRUE(s.host.messages.empty());
  EXPECT_GT(fs::file_size(part), 3000u);
  EXPECT_FALSE(anyTemporaryFile());
  EXPECT_TRUE(doc.loaded);
}

TEST_F(SaveTest, SavedFileGoesOnTheRecentListWhenTheOptionSaysSo) {
  s.ctx.options.recentFiles = {"a", "b", "c", "d", "e"};
  s.ctx.options.listFlags = kRecentListTakesSaved;
  fs::path target = folder / "recent.mp3";
  s.host.fileAnswers = {target.string()};
  ButSaveAsClick(s.ctx);
  EXPECT_EQ(s.ctx.options.recentFiles, (std::array<std::string, 5>{target.string(), "a", "b", "c", "d"}));

  s.ctx.options.listFlags = 0;
  s.host.fileAnswers = {(folder / "other.mp3").string()};
  ButSaveAsClick(s.ctx);
  EXPECT_EQ(s.ctx.options.recentFiles[0], target.string());
}

TEST_F(SaveTest, PolicyCommandsStoreTheValueAndSaveTheSettings) {
  MenuNeverOverwriteClick(s.ctx);
  EXPECT_EQ(s.ctx.options.overwritePolicy, 0);
  MenuOverwriteClick(s.ctx);
  EXPECT_EQ(s.ctx.options.overwritePolicy, 2);
  MenuSemiOverwriteClick(s.ctx);
  EXPECT_EQ(s.ctx.options.overwritePolicy, 1);
  EXPECT_EQ(settingsSaved, 3);
}

TEST_F(SaveTest, QuickSaveClosesTheProgramWhenTheExitOptionSaysSo) {
  struct Case {
    uint8_t autoExit;
    bool calledWithFile;
    bool closes;
  } cases[] = {{0, true, false}, {1, false, false}, {1, true, true}, {2, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.autoExit});
    fs::path target = folder / "exit.mp3";
    s.ctx.doc.documentName = target.string();
    s.ctx.options.mainFlags &= static_cast<uint8_t>(~kReloadAfterOverwrite);
    s.ctx.options.autoExit = c.autoExit;
    s.host.mainWindowClosed = false;
    MenuQuickSaveClick(s.ctx, c.calledWithFile);
    EXPECT_EQ(s.host.mainWindowClosed, c.closes);
  }
}

TEST_F(SaveTest, ClosingAChangedDocumentOffersTheSaveAs) {
  InstallSaveHooks(s.ctx);
  s.ctx.options.mainFlags |= kPromptSaveOnClose;
  s.ctx.doc.modifiedLevel = 1;
  s.ctx.doc.unsavedChanges = true;
  fs::path target = folder / "kept.mp3";
  s.host.answers = {kAnswerYes};
  s.host.fileAnswers = {target.string()};
  EXPECT_EQ(unloadall(s.ctx, true), kUnloadSaved);
  EXPECT_TRUE(fs::exists(target));
  EXPECT_FALSE(s.ctx.doc.loaded);

  // A cancelled dialog keeps the document.
  ASSERT_TRUE(s.load(source));
  s.ctx.doc.modifiedLevel = 1;
  s.ctx.doc.unsavedChanges = true;
  s.host.answers = {kAnswerYes};
  s.host.fileAnswers = {std::nullopt};
  EXPECT_EQ(unloadall(s.ctx, true), kUnloadDeclined);
  EXPECT_TRUE(s.ctx.doc.loaded);
}

}  // namespace
}  // namespace quorvel
