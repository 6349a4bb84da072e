#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/edit_fixture.h"
#include "output/save.h"
#include "output/split.h"
#include "output/split_support.h"
#include "output/writer.h"

namespace quorvel {
namespace {

using namespace quorvel::split_test;

bool Contains(const std::vector<uint8_t>& bytes, const std::string& text) {
  return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

// --- refusals ----------------------------------------------------------------------

struct RefusalCase {
  const char* name;
  int32_t cursor;
  int32_t selectionEnd;
  bool busy;
  uint8_t scriptCode;
  const char* text;    // message or question; nullptr: the dialog opens at once
  bool question;
};

class SaveSelectionRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SaveSelectionRefusalTest, ScriptCodeMessageOrQuestion) {
  const RefusalCase& c = GetParam();
  for (bool script : {true, false}) {
    for (int answer : {kAnswerNo, kAnswerYes}) {
      SCOPED_TRACE(std::string(script ? "script" : "user") + (answer == kAnswerYes ? " yes" : " no"));
      HeadlessHost host;
      host.answers.push_back(answer);
      Context ctx(host);
      testing::LoadFrames(ctx, std::vector<testing::FrameShape>(100));
      Select(ctx, c.cursor, c.selectionEnd);
      ctx.doc.busy = c.busy;
      ctx.script.active = script;
      ctx.script.resultCode = 77;
      MenuSaveSelClick(ctx, "/nonexistent/selection.mp3");
      if (script) {
        EXPECT_EQ(ctx.script.resultCode, c.scriptCode);
        EXPECT_TRUE(host.messages.empty());
        EXPECT_TRUE(host.saveSelectionRequests.empty());
        continue;
      }
      if (c.busy) {
        EXPECT_TRUE(host.messages.empty());
        EXPECT_TRUE(host.saveSelectionRequests.empty());
        continue;
      }
      if (c.text == nullptr) {
        EXPECT_TRUE(host.messages.empty());
        EXPECT_EQ(host.saveSelectionRequests.size(), 1u);
        continue;
      }
      ASSERT_EQ(host.messages.size(), 1u);
      EXPECT_EQ(host.messages[0].text, c.text);
      EXPECT_EQ(host.messages[0].caption, "warning");
      EXPECT_EQ(host.messages[0].question, c.question);
      EXPECT_EQ(host.messages[0].kind, c.question ? 4370 : 258);
      EXPECT_EQ(host.saveSelectionRequests.size(), c.question && answer == kAnswerYes ? 1u : 0u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Preconditions, SaveSelectionRefusalTest,
    ::testing::Values(RefusalCase{"NotReady", 10, 20, true, 255, nullptr, false},
                      RefusalCase{"NoSelection", 10, 10, false, 1, "You must have a selection.", false},
                      RefusalCase{"EveryFrameSelected", 100, 0, false, 2,
                                  "Use \"Save\" or \"Save as\" function when all frames are selected.\r\n"
                                  "If you still prefer saving the file as selection, click OK.",
                                  true},
                      // The origin file of this document does not exist: the write fails.
                      RefusalCase{"Selection", 10, 20, false, 102, nullptr, false}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

// --- the dialog ------------------------------------------------------------------------

class SaveSelectionTest : public ::testing::Test {
 protected:
  TempFolder dir;
  Session session{dir};
  Context& ctx = session.ctx;
  HeadlessHost& host = session.host;

  void Load(const std::string& fixture) { ASSERT_TRUE(session.load(DataPath(fixture))) << fixture; }
  std::string Out(const std::string& name) const { return (dir / name).string(); }
  // The user picks a name and the given attach boxes, and presses "O&K".
  void AnswerWith(const std::string& name, std::vector<int> attach = {}) {
    host.saveSelectionAnswers.push_back([this, name, attach](const SaveSelectionDialogState& shown) {
      SaveSelectionDialogState answer = shown;
      SetSaveSelectionName(answer, name);
      for (int kind : attach) answer.file.attach[static_cast<size_t>(kind)].checked = true;
      return std::optional<SaveSelectionDialogState>(answer);
    });
  }
};

TEST_F(SaveSelectionTest, DialogStateAndTheNameButton) {
  Load("tagged-v23-v1.mp3");
  ctx.options.lastSaveFolder = "/music/saved";
  Select(ctx, 40, 10);
  SaveSelectionDialogState state = PrepareSaveSelectionDialog(ctx);
  EXPECT_EQ(state.caption, " Save the selection as");
  EXPECT_EQ(state.nameButton, "File&name:");
  EXPECT_EQ(state.file.label, "not specified yet");
  EXPECT_EQ(state.file.nameState, FileNameState::kNotChosen);
  EXPECT_FALSE(state.okEnabled);
  EXPECT_FALSE(state.noteVisible);
  EXPECT_EQ(state.note, "the file will be saved when you click the OK button");
  EXPECT_EQ(state.first, 10);
  EXPECT_EQ(state.end, 40);
  const std::array<const char*, kAttachKinds> captions = {"RI&FF header",    "L&yrics3 tag",    "ID3v&2 header",
                                                          "Unknown &header", "Unknown &footer", "ID3v&1 footer"};
  const std::array<bool, kAttachKinds> enabled = {false, false, true, false, false, true};
  for (size_t k = 0; k < captions.size(); ++k) {
    EXPECT_EQ(state.file.attach[k].caption, captions[k]);
    EXPECT_EQ(state.file.attach[k].enabled, enabled[k]) << k;
    EXPECT_FALSE(state.file.attach[k].checked);
  }
  EXPECT_EQ(std::string(kAttachHint), "Check to write, not discard");
  EXPECT_EQ(std::string(kNameButtonHint),
            "Red indicates overwriting an existing file\r\nGreen indicates an available filename\r\n"
            "Yellow indicates the filename needs to be chosen");

  // Cancelling the file dialog changes nothing.
  EXPECT_FALSE(ChooseSaveSelectionName(ctx, state));
  EXPECT_FALSE(state.okEnabled);
  EXPECT_EQ(ctx.options.lastSaveFolder, "/music/saved");
  ASSERT_EQ(host.fileRequests.size(), 1u);
  EXPECT_EQ(host.fileRequests[0].filter, "mp3 files|*.mp3|all files|*.*");
  EXPECT_EQ(host.fileRequests[0].defaultExt, "mp3");
  EXPECT_EQ(host.fileRequests[0].folder, "/music/saved");
  EXPECT_EQ(host.fileRequests[0].fileName, "");

  // A new name is green, an existing one red; the note shows and "O&K" is enabled.
  WriteAll(Out("there.mp3"), {0});
  struct Case {
    std::string name;
    FileNameState colour;
  };
  for (const Case& c : {Case{Out("new.mp3"), FileNameState::kNew}, Case{Out("there.mp3"), FileNameState::kExisting}}) {
    host.fileAnswers.push_back(c.name);
    EXPECT_TRUE(ChooseSaveSelectionName(ctx, state));
    EXPECT_EQ(state.file.name, c.name);
    EXPECT_EQ(state.file.label, c.name);
    EXPECT_EQ(state.file.nameState, c.colour);
    EXPECT_TRUE(state.noteVisible);
    EXPECT_TRUE(state.okEnabled);
    EXPECT_EQ(ctx.options.lastSaveFolder, dir.path.string());
  }

  // A tag begun by a script can be attached although the source had none.
  Load("cbr96-no-info.mp3");
  EXPECT_FALSE(PrepareSaveSelectionDialog(ctx).file.attach[kAttachId3v2].enabled);
  ctx.doc.id3v2.tagStarted = true;
  EXPECT_TRUE(PrepareSaveSelectionDialog(ctx).file.attach[kAttachId3v2].enabled);
}

TEST_F(SaveSelectionTest, OnlyTheAttachedBlocksAreWritten) {
  struct Case {
    const char* fixture;
    std::vector<int> attach;
    bool id3v2;
    bool id3v1;
    bool lyrics;
    bool unknownHeader;
    bool unknownFooter;
    bool riff;
  };
  const Case cases[] = {
      {"tagged-v23-v1.mp3", {}, false, false, false, false, false, false},
      {"tagged-v23-v1.mp3", {kAttachId3v2}, true, false, false, false, false, false},
      {"tagged-v23-v1.mp3", {kAttachId3v2, kAttachId3v1}, true, true, false, false, false, false},
      {"lyrics3v2-v1.mp3", {}, false, false, false, false, false, false},
      {"lyrics3v2-v1.mp3", {kAttachLyrics3, kAttachId3v1}, false, true, true, false, false, false},
      {"unknown-header-footer.mp3", {}, false, false, false, false, false, false},
      {"unknown-header-footer.mp3", {kAttachUnknownHeader, kAttachUnknownFooter}, false, false, false, true, true, false},
      {"riff-wrapped.wav", {}, false, false, false, false, false, false},
      {"riff-wrapped.wav", {kAttachRiff}, false, false, false, false, false, true},
  };
  int run = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fixture) + " attaching " + std::to_string(c.attach.size()));
    Load(c.fixture);
    // The user's own remove boxes: checked where the document has the block.
    ctx.doc.boxes.id3v1.checked = ctx.doc.boxes.id3v1.enabled;
    const RemoveBoxes before = ctx.doc.boxes;
    Select(ctx, 5, 25);
    std::string name = Out("sel" + std::to_string(run++) + ".mp3");
    AnswerWith(name, c.attach);
    MenuSaveSelClick(ctx);
    std::vector<uint8_t> out = ReadAll(name);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.size() >= 3 && std::equal(out.begin(), out.begin() + 3, "ID3"), c.id3v2);
    EXPECT_EQ(out.size() >= 128 && std::equal(out.end() - 128, out.end() - 125, "TAG"), c.id3v1);
    EXPECT_EQ(Contains(out, "LYRICSBEGIN"), c.lyrics);
    EXPECT_EQ(Contains(out, "JUNKHEAD"), c.unknownHeader);
    EXPECT_EQ(Contains(out, "JUNKFOOT"), c.unknownFooter);
    EXPECT_EQ(out.size() >= 4 && std::equal(out.begin(), out.begin() + 4, "RIFF"), c.riff);
    EXPECT_EQ(AudioFrames(name).size(), 20u);
    // The document's remove boxes are as they were.
    const std::array<std::pair<const RemoveBox*, const RemoveBox*>, 6> boxes = {{
        {&ctx.doc.boxes.riff, &before.riff},
        {&ctx.doc.boxes.id3v2, &before.id3v2},
        {&ctx.doc.boxes.behindHeader, &before.behindHeader},
        {&ctx.doc.boxes.footer, &before.footer},
        {&ctx.doc.boxes.lyrics, &before.lyrics},
        {&ctx.doc.boxes.id3v1, &before.id3v1},
    }};
    for (const auto& [now, was] : boxes) {
      EXPECT_EQ(now->checked, was->checked);
      EXPECT_EQ(now->enabled, was->enabled);
    }
    EXPECT_EQ(ctx.doc.cursor, 5);
    EXPECT_EQ(ctx.doc.selectionEnd, 25);
  }
}

TEST_F(SaveSelectionTest, AnExistingFileIsReplacedWithoutAQuestion) {
  Load("cbr96-no-info.mp3");
  WriteAll(Out("old.mp3"), std::vector<uint8_t>(30000, 0x55));
  Select(ctx, 10, 20);
  AnswerWith(Out("old.mp3"));
  MenuSaveSelClick(ctx);
  EXPECT_TRUE(host.messages.empty());
  auto frames = AudioFrames(Out("old.mp3"));
  auto source = AudioFrames(DataPath("cbr96-no-info.mp3"));
  EXPECT_TRUE(frames == decltype(source)(source.begin() + 10, source.begin() + 20));
  EXPECT_EQ(ReadAll(Out("old.mp3")).size(), [&] {
    size_t n = 0;
    for (const auto& f : frames) n += f.size();
    return n;
  }());
}

TEST_F(SaveSelectionTest, ASelectionFromTheStartLeavesTheInformationFrameOut) {
  struct Case {
    const char* fixture;
    int32_t end;
    bool xing;  // an information frame is written: the frames mix bitrates, or the source's had LAME's extension
  };
  for (const Case& c : {Case{"cbr128-plain-info.mp3", 30, false}, Case{"vbr-plain-xing.mp3", 30, true},
                        Case{"cbr128-info.mp3", 30, true}, Case{"vbr-xing.mp3", 30, true}}) {
    SCOPED_TRACE(c.fixture);
    Load(c.fixture);
    ASSERT_NE(ctx.doc.frames[0].spec, 0);
    Select(ctx, 0, c.end);
    ctx.script.active = true;
    std::string name = Out(std::string("start-") + c.fixture);
    MenuSaveSelClick(ctx, name);
    ctx.script.active = false;
    ASSERT_EQ(ctx.script.resultCode, 0) << ctx.script.errorText;
    FrameWalk walk = WalkFrames(ReadAll(name));
    ASSERT_FALSE(walk.frames.empty());
    EXPECT_EQ(IsInformationFrame(walk.frames[0]), c.xing);
    auto audio = AudioFrames(name);
    auto source = AudioFrames(DataPath(c.fixture));
    EXPECT_TRUE(audio == decltype(source)(source.begin(), source.begin() + c.end - 1));
    EXPECT_EQ(FfprobeFrames(name, dir.path), c.end - 1);
    EXPECT_EQ(Mp3valProblems(name, dir.path), "");
    if (c.xing) {
      EXPECT_NEAR(FfprobeDuration(name, dir.path), (c.end - 1) * 1152.0 / 44100.0, kHalfFrameSeconds);
      EXPECT_EQ(XingCountInFile(name), c.end - 1);
      EXPECT_EQ(XingCountInFile(name), FfprobePackets(name, dir.path));
    }
  }
}

TEST_F(SaveSelectionTest, NeverOverAFileTheEditReadsFrom) {
  TempFolder copyDir;
  fs::path source = copyDir / "source.mp3";
  fs::copy_file(DataPath("cbr96-no-info.mp3"), source);
  std::vector<uint8_t> original = ReadAll(source);
  ASSERT_TRUE(session.load(source));
  Select(ctx, 10, 20);

  ctx.script.active = true;
  MenuSaveSelClick(ctx, source.string());
  ctx.script.active = false;
  EXPECT_EQ(ctx.script.resultCode, kWriteFailedCode);
  EXPECT_EQ(ctx.script.errorText, kInputFileTargetText);

  // The dialog reports it and stays open.
  AnswerWith(source.string());
  MenuSaveSelClick(ctx);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, kInputFileTargetText);
  EXPECT_EQ(host.saveSelectionRequests.size(), 2u);
  EXPECT_EQ(ReadAll(source), original);
  EXPECT_TRUE(ctx.doc.loaded);
}

}  // namespace
}  // namespace quorvel
