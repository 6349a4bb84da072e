#include "output/split.h"

#include <sys/stat.h>

#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/edit_fixture.h"
#include "output/save.h"
#include "output/split_support.h"

namespace quorvel {
namespace {

using namespace quorvel::split_test;

// --- the dialog's state, from a document built in memory ----------------------

struct ExpectedPart {
  int32_t first;
  int32_t end;
  bool available;
  int number;
  const char* caption;
};

struct PartsCase {
  const char* name;
  int32_t cursor;
  int32_t selectionEnd;
  std::array<ExpectedPart, 3> parts;
  bool selection;
};

class SplitPartsTest : public ::testing::TestWithParam<PartsCase> {};

TEST_P(SplitPartsTest, RangesAvailabilityAndCaptions) {
  const PartsCase& c = GetParam();
  HeadlessHost host;
  Context ctx(host);
  testing::LoadFrames(ctx, std::vector<testing::FrameShape>(100));
  Select(ctx, c.cursor, c.selectionEnd);
  const int32_t cursor = ctx.doc.cursor;
  const int32_t selectionEnd = ctx.doc.selectionEnd;

  SplitDialogState state = PrepareSplitDialog(ctx);
  EXPECT_EQ(state.caption, " File split");
  EXPECT_EQ(state.selection, c.selection);
  EXPECT_EQ(state.saveSelectionButton, "just save\r\nthe selection");
  EXPECT_EQ(state.saveSelectionHint, "Switch to save-selection window");
  EXPECT_EQ(state.note, "files will be saved when you click the OK button");
  EXPECT_FALSE(state.okEnabled);  // no name chosen yet
  const std::array<const char*, 3> switches = {"Save file &1: left of (before) the selection",
                                               "Save file &2: the selection",
                                               "Save file &3: right of (after) the selection"};
  const std::array<const char*, 3> buttons = {"File&name:", "Filen&ame:", "Filena&me:"};
  for (size_t k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    const SplitPartState& part = state.parts[k];
    const ExpectedPart& want = c.parts[k];
    EXPECT_EQ(part.first, want.first);
    EXPECT_EQ(part.end, want.end);
    EXPECT_EQ(part.available, want.available);
    EXPECT_EQ(part.switchedOn, want.available);
    EXPECT_EQ(part.number, want.number);
    EXPECT_EQ(part.caption, want.caption);
    EXPECT_EQ(part.switchCaption, switches[k]);
    EXPECT_EQ(part.nameButton, buttons[k]);
    EXPECT_EQ(part.file.label, "not specified yet");
    EXPECT_EQ(part.file.nameState, FileNameState::kNotChosen);
  }
  // The document is not touched by opening the dialog.
  EXPECT_EQ(ctx.doc.cursor, cursor);
  EXPECT_EQ(ctx.doc.selectionEnd, selectionEnd);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, SplitPartsTest,
    ::testing::Values(
        PartsCase{"Selection30to60",
                  30,
                  60,
                  {{{0, 30, true, 1, " File 1: left of (before) selection "},
                    {30, 60, true, 2, " File 2: the selection "},
                    {60, 100, true, 3, " File 3: right of (after) selection "}}},
                  true},
        PartsCase{"SelectionDraggedBackwards",
                  60,
                  30,
                  {{{0, 30, true, 1, " File 1: left of (before) selection "},
                    {30, 60, true, 2, " File 2: the selection "},
                    {60, 100, true, 3, " File 3: right of (after) selection "}}},
                  true},
        PartsCase{"SelectionFromStart",
                  0,
                  50,
                  {{{0, 0, false, 1, " File 1: N/A "},
                    {0, 50, true, 2, " File 2: the selection "},
                    {50, 100, true, 3, " File 3: right of (after) selection "}}},
                  true},
        PartsCase{"SelectionToEnd",
                  50,
                  100,
                  {{{0, 50, true, 1, " File 1: left of (before) selection "},
                    {50, 100, true, 2, " File 2: the selection "},
                    {100, 100, false, 3, " File 3: N/A "}}},
                  true},
        PartsCase{"CursorInside",
                  40,
                  40,
                  {{{0, 40, true, 1, " File 1: left of (before) the cursor "},
                    {40, 40, false, 2, " no selection "},
                    {40, 100, true, 2, " File 2: right of (after) the cursor "}}},
                  false},
        PartsCase{"CursorAtStart",
                  0,
                  0,
                  {{{0, 0, false, 1, " File 1: N/A "},
                    {0, 0, false, 2, " no selection "},
                    {0, 100, true, 2, " File 2: right of (after) the cursor "}}},
                  false},
        PartsCase{"CursorAtEnd",
                  100,
                  100,
                  {{{0, 100, true, 1, " File 1: left of (before) the cursor "},
                    {100, 100, false, 2, " no selection "},
                    {100, 100, false, 2, " File 2: N/A "}}},
                  false},
        PartsCase{"BoundsBeyondTheEditAreClamped",
                  -5,
                  250,
                  {{{0, 0, false, 1, " File 1: N/A "},
                    {0, 100, true, 2, " File 2: the selection "},
                    {100, 100, false, 3, " File 3: N/A "}}},
                  true}),
    [](const ::testing::TestParamInfo<PartsCase>& info) { return std::string(info.param.name); });

TEST(SplitDialogState, OkNeedsAPartSwitchedOnAndANameForEveryPartThatIs) {
  HeadlessHost host;
  Context ctx(host);
  testing::LoadFrames(ctx, std::vector<testing::FrameShape>(100));
  Select(ctx, 30, 60);
  SplitDialogState state = PrepareSplitDialog(ctx);

  struct Step {
    const char* what;
    int part;
    int action;  // 0 switch off, 1 switch on, 2 name
    bool okAfter;
  };
  const Step steps[] = {
      {"name 1 only", 0, 2, false},  {"name 2", 1, 2, false},        {"part 3 off", 2, 0, true},
      {"part 1 off", 0, 0, true},    {"part 2 off: nothing on", 1, 0, false},
      {"part 3 on, no name", 2, 1, false}, {"name 3", 2, 2, true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    if (step.action == 2) {
      SetSplitPartName(state, step.part, "/tmp/part" + std::to_string(step.part) + ".mp3");
    } else {
      SetSplitPartSwitch(ctx, state, step.part, step.action == 1);
    }
    EXPECT_EQ(state.okEnabled, step.okAfter);
    EXPECT_EQ(SplitOkEnabled(state), step.okAfter);
  }

  // A part that is not available can't be switched on.
  Select(ctx, 0, 60);
  SplitDialogState fromStart = PrepareSplitDialog(ctx);
  SetSplitPartSwitch(ctx, fromStart, 0, true);
  EXPECT_FALSE(fromStart.parts[0].switchedOn);
}

TEST(SplitDialogState, AttachBoxesFollowTheSourceBlocksAndThePartSwitch) {
  HeadlessHost host;
  Context ctx(host);
  testing::LoadFrames(ctx, std::vector<testing::FrameShape>(100));
  ctx.doc.source.riffFound = true;
  ctx.doc.source.footerFound = true;
  ctx.doc.id3v2.present = true;
  Select(ctx, 30, 60);
  SplitDialogState state = PrepareSplitDialog(ctx);
  const std::array<const char*, kAttachKinds> captions = {"&RIFF header",    "&Lyrics3 tag",    "ID3&v2 header",
                                                          "Unknown &header", "Unknown &footer", "I&D3v1 footer"};
  const std::array<bool, kAttachKinds> enabled = {true, false, true, false, true, false};
  for (int kind = 0; kind < kAttachKinds; ++kind) {
    const AttachBox& box = state.parts[1].file.attach[static_cast<size_t>(kind)];
    EXPECT_EQ(box.caption, captions[static_cast<size_t>(kind)]);
    EXPECT_EQ(box.enabled, enabled[static_cast<size_t>(kind)]) << kind;
    EXPECT_FALSE(box.checked);
  }
  state.parts[1].file.attach[kAttachRiff].checked = true;
  SetSplitPartSwitch(ctx, state, 1, false);
  for (const AttachBox& box : state.parts[1].file.attach) {
    EXPECT_FALSE(box.enabled);
    EXPECT_FALSE(box.checked);
  }
  SetSplitPartSwitch(ctx, state, 1, true);
  EXPECT_TRUE(state.parts[1].file.attach[kAttachRiff].enabled);
}

TEST(SplitDialogState, NameColoursAndDuplicateNames) {
  TempFolder dir;
  HeadlessHost host;
  Context ctx(host);
  testing::LoadFrames(ctx, std::vector<testing::FrameShape>(100));
  Select(ctx, 30, 60);
  WriteAll(dir / "exists.mp3", {1, 2, 3});
  fs::create_hard_link(dir / "exists.mp3", dir / "link.mp3");
  fs::create_directories(dir / "sub");

  SplitDialogState state = PrepareSplitDialog(ctx);
  SetSplitPartName(state, 0, (dir / "new.mp3").string());
  SetSplitPartName(state, 1, (dir / "exists.mp3").string());
  EXPECT_EQ(state.parts[0].file.nameState, FileNameState::kNew);
  EXPECT_EQ(state.parts[1].file.nameState, FileNameState::kExisting);
  EXPECT_EQ(state.parts[0].file.label, (dir / "new.mp3").string());

  struct Case {
    std::string name1;
    std::string name3;
    bool same;
  };
  const Case cases[] = {
      {(dir / "a.mp3").string(), (dir / "a.mp3").string(), true},
      {(dir / "a.mp3").string(), (dir / "sub/../a.mp3").string(), true},
      {(dir / "link.mp3").string(), (dir / "exists.mp3").string(), true},  // two names of one file
      {(dir / "a.mp3").string() + std::string(2, '\0'), (dir / "a.mp3").string(), true},
      {(dir / "a.mp3").string(), (dir / "A.mp3").string(), false},  // case matters on Linux
      {(dir / "a.mp3").string(), (dir / "b.mp3").string(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name1 + " | " + c.name3);
    SplitDialogState s = PrepareSplitDialog(ctx);
    SetSplitPartName(s, 0, c.name1);
    SetSplitPartName(s, 1, (dir / "middle.mp3").string());
    SetSplitPartName(s, 2, c.name3);
    EXPECT_EQ(DuplicatePart(s, 0), c.same ? 2 : -1);
    EXPECT_EQ(DuplicatePart(s, 1), -1);
    // A part that is off takes part in no comparison.
    SetSplitPartSwitch(ctx, s, 2, false);
    EXPECT_EQ(DuplicatePart(s, 0), -1);
  }
  EXPECT_EQ(DuplicateNameText(1, 3),
            "You can't save different parts to the same filename.\r\nFilenames 1 and 3 are identical.");
}

TEST(SplitDialogState, NameLabelsAreShortenedFromTheFront) {
  auto upTo = [](size_t n) { return [n](const std::string& s) { return s.size() <= n; }; };
  struct Case {
    std::string name;
    size_t width;
    std::string label;
  };
  const Case cases[] = {
      {"/music/a.mp3", 40, "/music/a.mp3"},
      {"/home/user/music/long name.mp3", 20, "...sic/long name.mp3"},
      {"/home/user/music/long name.mp3", 5, "...g name.mp3"},  // never below 13 characters
      {"/x/\xC3\xA9t\xC3\xA9-song.mp3", 13, "...\xC3\xA9-song.mp3"},  // whole UTF-8 characters
  };
  for (const Case& c : cases) {
    std::string label = ShortenedNameLabel(c.name, upTo(c.width));
    EXPECT_EQ(label, c.label) << c.name;
  }
}

TEST(SplitDialogState, FullNameOfALabel) {
  HeadlessHost host;
  Context ctx(host);
  ShowFullFileName(ctx, "/music/x.mp3", 2);
  ShowFullFileName(ctx, "/music/y.mp3", 0);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].text, "/music/x.mp3");
  EXPECT_EQ(host.messages[0].caption, "full filename 2:");
  EXPECT_EQ(host.messages[1].caption, "full filename:");
}

// --- refusals before the dialog ----------------------------------------------------

struct RefusalCase {
  const char* name;
  int32_t cursor;
  int32_t selectionEnd;
  bool busy;
  uint8_t scriptCode;  // 0: the dialog opens
  const char* question;
};

class SplitRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SplitRefusalTest, ScriptCodeOrQuestion) {
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
      MenuSplitClick(ctx, {"/nonexistent/1.mp3", "/nonexistent/2.mp3", "/nonexistent/3.mp3"});
      if (script) {
        EXPECT_EQ(ctx.script.resultCode, c.busy ? 255 : c.scriptCode);
        EXPECT_TRUE(host.messages.empty());
        EXPECT_TRUE(host.splitRequests.empty());
        continue;
      }
      if (c.busy) {
        EXPECT_TRUE(host.messages.empty());
        EXPECT_TRUE(host.splitRequests.empty());
        continue;
      }
      if (c.question == nullptr) {
        EXPECT_TRUE(host.messages.empty());
        EXPECT_EQ(host.splitRequests.size(), 1u);
        continue;
      }
      ASSERT_EQ(host.messages.size(), 1u);
      EXPECT_TRUE(host.messages[0].question);
      EXPECT_EQ(host.messages[0].text, c.question);
      EXPECT_EQ(host.messages[0].kind, 4370);
      EXPECT_EQ(host.messages[0].caption, "warning");
      EXPECT_EQ(host.splitRequests.size(), answer == kAnswerYes ? 1u : 0u);
      EXPECT_FALSE(ctx.doc.splitDialogOpen);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Preconditions, SplitRefusalTest,
    ::testing::Values(
        RefusalCase{"NotReady", 30, 60, true, 255, nullptr},
        RefusalCase{"EveryFrameSelected", 0, 100, false, 1,
                    "Use \"Save\" or \"Save as\" function when all frames are selected.\r\n"
                    "If you still prefer saving the selection this way, click OK."},
        RefusalCase{"CursorAtStart", 0, 0, false, 2,
                    "Use \"Save\" or \"Save as\" function to save all frames to a file.\r\n"
                    "If you still prefer saving this way, click OK."},
        RefusalCase{"CursorAtEnd", 100, 100, false, 2,
                    "Use \"Save\" or \"Save as\" function to save all frames to a file.\r\n"
                    "If you still prefer saving this way, click OK."},
        RefusalCase{"CursorInside", 40, 40, false, 102, nullptr}),  // the writer can't create /nonexistent/...
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

// --- splitting real files ------------------------------------------------------------

class SplitFileTest : public ::testing::Test {
 protected:
  TempFolder dir;
  Session session{dir};
  Context& ctx = session.ctx;
  HeadlessHost& host = session.host;

  void Load(const std::string& fixture) { ASSERT_TRUE(session.load(DataPath(fixture))) << fixture; }
  std::string Out(const std::string& name) const { return (dir / name).string(); }
  void RunScript(const std::array<std::string, 3>& names) {
    ctx.script.active = true;
    ctx.script.silent = true;
    MenuSplitClick(ctx, names);
    ctx.script.active = false;
  }
  // The frames of the source (without its information frame), positions a .. b - 1 of the edit.
  std::vector<std::vector<uint8_t>> SourceFrames(const std::string& fixture, size_t a, size_t b) {
    auto frames = AudioFrames(DataPath(fixture));
    return {frames.begin() + static_cast<std::ptrdiff_t>(a), frames.begin() + static_cast<std::ptrdiff_t>(b)};
  }
};

TEST_F(SplitFileTest, ThreePartsAddUpToTheWholeFrameForFrame) {
  struct Case {
    const char* fixture;
    int32_t s;
    int32_t e;
  };
  // cbr96-no-info: 59 plain frames; vbr-xing: a Xing frame and 63 frames of
  // several bitrates; crc: Info frame and 59 frames with check words; mono-44k:
  // 17-byte side information.
  const Case cases[] = {{"cbr96-no-info.mp3", 20, 40},
                        {"vbr-xing.mp3", 21, 42},
                        {"crc.mp3", 15, 30},
                        {"mono-44k.mp3", 20, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    Load(c.fixture);
    const int32_t n = ctx.doc.editCount;
    const bool infoFirst = ctx.doc.frames[0].spec != 0;
    Select(ctx, c.s, c.e);
    std::string base = std::string(c.fixture) + ".part";
    RunScript({Out(base + "1.mp3"), Out(base + "2.mp3"), Out(base + "3.mp3")});
    EXPECT_EQ(ctx.script.resultCode, 0) << ctx.script.errorText;

    // Each part holds the frames of its range (the source's information frame
    // at position 0 is never copied) and, when they mix bitrates, a new Xing frame.
    const std::array<std::pair<int32_t, int32_t>, 3> ranges = {{{0, c.s}, {c.s, c.e}, {c.e, n}}};
    std::vector<std::vector<uint8_t>> joined;
    for (int k = 0; k < 3; ++k) {
      SCOPED_TRACE(k + 1);
      fs::path part = Out(base + std::to_string(k + 1) + ".mp3");
      ASSERT_TRUE(fs::exists(part));
      auto frames = AudioFrames(part);
      int32_t expected = ranges[static_cast<size_t>(k)].second - ranges[static_cast<size_t>(k)].first -
                         (k == 0 && infoFirst ? 1 : 0);
      EXPECT_EQ(static_cast<int32_t>(frames.size()), expected);
      EXPECT_EQ(FfprobeFrames(part, dir.path), expected);
      EXPECT_EQ(Mp3valProblems(part, dir.path), "");
      joined.insert(joined.end(), frames.begin(), frames.end());
    }
    auto source = SourceFrames(c.fixture, 0, static_cast<size_t>(n - (infoFirst ? 1 : 0)));
    EXPECT_TRUE(joined == source) << "the parts' frames are not the source's frames in order";

    // The document is as it was.
    EXPECT_EQ(ctx.doc.cursor, c.s);
    EXPECT_EQ(ctx.doc.selectionEnd, c.e);
    EXPECT_TRUE(ctx.doc.selectionExists);
    EXPECT_EQ(ctx.doc.editCount, n);
    EXPECT_EQ(ctx.doc.modifiedLevel, 0);
  }
}

TEST_F(SplitFileTest, DecodedPartsJoinedDecodeLikeTheWhole) {
  ASSERT_TRUE(HaveTool("mpg123")) << "mpg123 is not installed (scripts/install-deps)";
  // Frames without bit reservoir, and a blank frame on each side of every cut:
  // each part then starts from the decoder state the whole has at that point.
  Load("cbr128-no-reservoir.mp3");
  DocumentState& doc = ctx.doc;
  const int32_t blank = -BlankFrameCode(9, 0, 1);
  std::vector<int32_t> refs;
  for (int32_t p = 0; p < doc.editCount; ++p) {
    // ffmpeg's reader takes a file's first frame only when its header matches the
    // next one's bit for bit (copyright and original flags included), which a
    // blank frame's does not: no part starts with one.
    if (p == 20 || p == 40) refs.insert(refs.end(), {blank, blank});
    refs.push_back(doc.ref[static_cast<size_t>(p)]);
  }
  doc.editCount = static_cast<int32_t>(refs.size());
  ResizeEditList(doc);
  std::copy(refs.begin(), refs.end(), doc.ref.begin());
  ComputeEditStatistics(doc);

  ctx.script.active = true;
  SaveProc(ctx, kWriteSaveAs, Out("whole.mp3"));
  ctx.script.active = false;
  ASSERT_TRUE(ctx.save.lastSaveSucceeded);

  Select(ctx, 22, 44);  // each cut right after two blank frames
  RunScript({Out("p1.mp3"), Out("p2.mp3"), Out("p3.mp3")});
  ASSERT_EQ(ctx.script.resultCode, 0) << ctx.script.errorText;

  std::vector<uint8_t> whole = Decode(Out("whole.mp3"), dir.path);
  std::vector<uint8_t> joined;
  long frames = 0;
  for (const char* part : {"p1.mp3", "p2.mp3", "p3.mp3"}) {
    std::vector<uint8_t> pcm = Decode(Out(part), dir.path);
    joined.insert(joined.end(), pcm.begin(), pcm.end());
    frames += FfprobeFrames(Out(part), dir.path);
  }
  EXPECT_EQ(frames, doc.editCount);
  EXPECT_EQ(FfprobeFrames(Out("whole.mp3"), dir.path), doc.editCount);
  ASSERT_EQ(whole.size(), static_cast<size_t>(doc.editCount) * 1152 * 4);
  EXPECT_TRUE(joined == whole) << "the decoded parts differ from the decoded whole";
}

TEST_F(SplitFileTest, WithoutSelectionTwoFilesAndTheSecondTakesTheSecondName) {
  Load("cbr96-no-info.mp3");
  PlaceCursor(ctx, 25);
  RunScript({Out("before.mp3"), Out("after.mp3"), Out("unused.mp3")});
  EXPECT_EQ(ctx.script.resultCode, 0) << ctx.script.errorText;
  EXPECT_EQ(AudioFrames(Out("before.mp3")).size(), 25u);
  EXPECT_EQ(AudioFrames(Out("after.mp3")).size(), 34u);
  EXPECT_FALSE(fs::exists(Out("unused.mp3")));
  EXPECT_EQ(ctx.doc.cursor, 25);
  EXPECT_FALSE(ctx.doc.selectionExists);
}

TEST_F(SplitFileTest, SelectionFromTheStartWritesFilesTwoAndThree) {
  Load("cbr96-no-info.mp3");
  Select(ctx, 0, 10);
  RunScript({Out("one.mp3"), Out("two.mp3"), Out("three.mp3")});
  EXPECT_EQ(ctx.script.resultCode, 0);
  EXPECT_FALSE(fs::exists(Out("one.mp3")));
  EXPECT_EQ(AudioFrames(Out("two.mp3")).size(), 10u);
  EXPECT_EQ(AudioFrames(Out("three.mp3")).size(), 49u);
}

TEST_F(SplitFileTest, APartHoldingOnlyTheInformationFrameIsNotOffered) {
  Load("crc.mp3");  // "Info" frame, then 59 frames
  Select(ctx, 1, 30);
  SplitDialogState state = PrepareSplitDialog(ctx);
  EXPECT_FALSE(state.parts[0].available);
  EXPECT_EQ(state.parts[0].caption, " File 1: N/A ");
  RunScript({Out("info.mp3"), Out("two.mp3"), Out("three.mp3")});
  EXPECT_EQ(ctx.script.resultCode, 0) << ctx.script.errorText;
  EXPECT_FALSE(fs::exists(Out("info.mp3")));
  EXPECT_EQ(AudioFrames(Out("two.mp3")).size(), 29u);
}

TEST_F(SplitFileTest, SameNamesStopTheSplitAtTheFirstPartThatSharesIt) {
  struct Case {
    std::array<const char*, 3> names;
    std::array<bool, 3> written;  // a.mp3, b.mp3, c.mp3 exist afterwards
    const char* text;
  };
  const Case cases[] = {
      {{"a.mp3", "b.mp3", "a.mp3"}, {false, false, false}, "Filenames 1 and 3 are identical."},
      {{"a.mp3", "b.mp3", "b.mp3"}, {true, false, false}, "Filenames 2 and 3 are identical."},
      {{"a.mp3", "a.mp3", "c.mp3"}, {false, false, false}, "Filenames 1 and 2 are identical."},
  };
  Load("cbr96-no-info.mp3");
  for (bool script : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.text) + (script ? " script" : " user"));
      for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) fs::remove(Out(name));
      host.messages.clear();
      host.splitRequests.clear();
      Select(ctx, 20, 40);
      std::array<std::string, 3> names = {Out(c.names[0]), Out(c.names[1]), Out(c.names[2])};
      std::string text = std::string("You can't save different parts to the same filename.\r\n") + c.text;
      if (script) {
        RunScript(names);
        EXPECT_EQ(ctx.script.resultCode, kSplitSameName);
        EXPECT_EQ(ctx.script.errorText, text);
        EXPECT_TRUE(host.messages.empty());
      } else {
        host.splitAnswers.push_back([&](const SplitDialogState& shown) {
          SplitDialogState answer = shown;
          for (int k = 0; k < 3; ++k) SetSplitPartName(answer, k, names[static_cast<size_t>(k)]);
          return std::optional<SplitDialogState>(answer);
        });
        MenuSplitClick(ctx);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, text);
        EXPECT_EQ(host.messages[0].caption, "warning");
        EXPECT_EQ(host.messages[0].kind, kMsgWarning | kMsgModal);
        // The dialog stays open with the names as they were.
        ASSERT_EQ(host.splitRequests.size(), 2u);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(host.splitRequests[1].parts[static_cast<size_t>(k)].file.name, names[static_cast<size_t>(k)]);
      }
      EXPECT_EQ(fs::exists(Out("a.mp3")), c.written[0]);
      EXPECT_EQ(fs::exists(Out("b.mp3")), c.written[1]);
      EXPECT_EQ(fs::exists(Out("c.mp3")), c.written[2]);
      EXPECT_EQ(ctx.doc.cursor, 20);
      EXPECT_EQ(ctx.doc.selectionEnd, 40);
      EXPECT_FALSE(ctx.doc.splitDialogOpen);
    }
  }
}

TEST_F(SplitFileTest, DialogNamesSwitchesAndAttachedBlocks) {
  Load("tagged-v23-v1.mp3");  // ID3v2 tag, Info frame, 59 frames, ID3v1 tag
  const RemoveBoxes before = ctx.doc.boxes;
  Select(ctx, 20, 40);
  host.fileAnswers.push_back(Out("left.mp3"));
  host.fileAnswers.push_back(Out("right.mp3"));
  host.splitAnswers.push_back([&](const SplitDialogState& shown) {
    SplitDialogState answer = shown;
    EXPECT_TRUE(ctx.doc.splitDialogOpen);
    EXPECT_TRUE(ChooseSplitPartName(ctx, answer, 0));
    EXPECT_TRUE(ChooseSplitPartName(ctx, answer, 2));
    SetSplitPartSwitch(ctx, answer, 1, false);  // the selection is not written
    answer.parts[0].file.attach[kAttachId3v2].checked = true;
    answer.parts[2].file.attach[kAttachId3v1].checked = true;
    answer.parts[2].file.attach[kAttachRiff].checked = true;  // the source has none: ignored
    EXPECT_TRUE(answer.okEnabled);
    return std::optional<SplitDialogState>(answer);
  });
  MenuSplitClick(ctx);
  ASSERT_EQ(host.fileRequests.size(), 2u);
  EXPECT_EQ(host.fileRequests[0].fileName, "");
  EXPECT_EQ(ctx.options.lastSaveFolder, dir.path.string());

  std::vector<uint8_t> left = ReadAll(Out("left.mp3"));
  std::vector<uint8_t> right = ReadAll(Out("right.mp3"));
  ASSERT_GT(left.size(), 128u);
  ASSERT_GT(right.size(), 128u);
  EXPECT_EQ(std::string(left.begin(), left.begin() + 3), "ID3");
  EXPECT_NE(std::string(left.end() - 128, left.end() - 125), "TAG");
  EXPECT_NE(std::string(right.begin(), right.begin() + 3), "ID3");
  EXPECT_EQ(std::string(right.end() - 128, right.end() - 125), "TAG");
  EXPECT_EQ(AudioFrames(Out("left.mp3")).size(), 19u);  // positions 1..19: the Info frame is left out
  EXPECT_EQ(AudioFrames(Out("right.mp3")).size(), 20u);
  EXPECT_EQ(Mp3valProblems(Out("left.mp3"), dir.path), "");
  EXPECT_EQ(Mp3valProblems(Out("right.mp3"), dir.path), "");
  EXPECT_FALSE(fs::exists(Out("middle.mp3")));

  // The document's own remove boxes are as they were.
  EXPECT_EQ(ctx.doc.boxes.id3v2.checked, before.id3v2.checked);
  EXPECT_EQ(ctx.doc.boxes.id3v1.checked, before.id3v1.checked);
  EXPECT_EQ(ctx.doc.boxes.id3v1.enabled, before.id3v1.enabled);
}

TEST_F(SplitFileTest, JustSaveTheSelectionSwitchesToTheSaveSelectionDialog) {
  Load("cbr96-no-info.mp3");
  Select(ctx, 10, 30);
  host.splitAnswers.push_back([](const SplitDialogState& shown) {
    SplitDialogState answer = shown;
    answer.switchToSaveSelection = true;
    return std::optional<SplitDialogState>(answer);
  });
  host.saveSelectionAnswers.push_back([&](const SaveSelectionDialogState& shown) {
    SaveSelectionDialogState answer = shown;
    SetSaveSelectionName(answer, Out("selection.mp3"));
    return std::optional<SaveSelectionDialogState>(answer);
  });
  MenuSplitClick(ctx);
  EXPECT_EQ(host.saveSelectionRequests.size(), 1u);
  EXPECT_EQ(AudioFrames(Out("selection.mp3")).size(), 20u);
  EXPECT_FALSE(ctx.doc.splitDialogOpen);
}

TEST_F(SplitFileTest, CancelledDialogWritesNothing) {
  Load("cbr96-no-info.mp3");
  Select(ctx, 10, 30);
  MenuSplitClick(ctx);  // no scripted answer: the dialog is cancelled
  EXPECT_EQ(host.splitRequests.size(), 1u);
  EXPECT_TRUE(fs::is_empty(dir.path / "settings"));
  EXPECT_FALSE(ctx.doc.splitDialogOpen);
}

TEST_F(SplitFileTest, APartIsNeverWrittenOverAFileTheEditReadsFrom) {
  TempFolder copyDir;
  fs::path source = copyDir / "source.mp3";
  fs::copy_file(DataPath("cbr96-no-info.mp3"), source);
  std::vector<uint8_t> original = ReadAll(source);
  ASSERT_TRUE(session.load(source));
  Select(ctx, 20, 40);
  RunScript({Out("one.mp3"), Out("two.mp3"), (copyDir.path / "." / "source.mp3").string()});
  EXPECT_EQ(ctx.script.resultCode, kSplitInputFileTarget);
  EXPECT_EQ(ctx.script.errorText,
            "Filename 3:\r\nThe edit reads its frames from this file; writing over it would destroy them.\r\n"
            "Please choose another filename.");
  EXPECT_FALSE(fs::exists(Out("one.mp3")));
  EXPECT_EQ(ReadAll(source), original);
}

TEST_F(SplitFileTest, AFailedPartIsReportedAndTheOthersAreStillWritten) {
  Load("cbr96-no-info.mp3");
  Select(ctx, 20, 40);
  RunScript({Out("missing-folder/one.mp3"), Out("two.mp3"), Out("three.mp3")});
  // The first failure stays the result although the later parts succeeded.
  EXPECT_EQ(ctx.script.resultCode, kWriteFailedCode);
  EXPECT_FALSE(ctx.script.errorText.empty());
  EXPECT_EQ(AudioFrames(Out("two.mp3")).size(), 20u);
  EXPECT_EQ(AudioFrames(Out("three.mp3")).size(), 19u);
}

TEST_F(SplitFileTest, AnExistingPartFileIsReplacedWithoutAQuestion) {
  Load("cbr96-no-info.mp3");
  WriteAll(Out("two.mp3"), std::vector<uint8_t>(5000, 0x55));
  Select(ctx, 20, 40);
  host.splitAnswers.push_back([&](const SplitDialogState& shown) {
    SplitDialogState answer = shown;
    SetSplitPartName(answer, 0, Out("one.mp3"));
    SetSplitPartName(answer, 1, Out("two.mp3"));
    SetSplitPartName(answer, 2, Out("three.mp3"));
    EXPECT_EQ(answer.parts[1].file.nameState, FileNameState::kExisting);  // red
    EXPECT_EQ(answer.parts[0].file.nameState, FileNameState::kNew);       // green
    return std::optional<SplitDialogState>(answer);
  });
  MenuSplitClick(ctx);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(AudioFrames(Out("two.mp3")) == SourceFrames("cbr96-no-info.mp3", 20, 40));
  EXPECT_FALSE(fs::exists(Out("two.mp3") + ".mmtmpmp3"));
}

}  // namespace
}  // namespace quorvel
