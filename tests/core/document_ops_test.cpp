#include "core/document_ops.h"

#include <gtest/gtest.h>

#include "core/headless_host.h"
#include "core/mpeg_header.h"

namespace quorvel {
namespace {

frametype Record(uint8_t freqb, uint8_t stereo, uint8_t kbps, uint8_t spec = 0) {
  frametype f;
  f.freqb = freqb;
  f.stereo = stereo;
  f.kbps = kbps;
  f.spec = spec;
  return f;
}

// A loaded document whose EditList names each record once, in order.
void Load(DocumentState& doc, const std::vector<frametype>& records) {
  doc.frames.assign(records.begin(), records.end());
  doc.frameTableCount = static_cast<int32_t>(records.size());
  doc.editCount = doc.frameTableCount;
  ResizeEditList(doc);
  for (int32_t p = 0; p < doc.editCount; ++p) doc.ref[p] = p;
  doc.loaded = true;
}

TEST(DocumentOps, ResizeKeepsLeadingValues) {
  DocumentState doc;
  Load(doc, std::vector<frametype>(3, Record(0, 1, 9)));
  doc.gainLeft[1] = 7;
  doc.editCount = 5;
  ResizeEditList(doc);
  ASSERT_EQ(doc.ref.size(), 5u);
  ASSERT_EQ(doc.gainRight.size(), 5u);
  EXPECT_EQ(doc.ref[2], 2);
  EXPECT_EQ(doc.gainLeft[1], 7);
  EXPECT_EQ(doc.ref[4], 0);
  doc.editCount = 1;
  ResizeEditList(doc);
  EXPECT_EQ(doc.gainLeft.size(), 1u);
}

TEST(DocumentOps, BlankFrameCodeRoundTrip) {
  EXPECT_EQ(BlankFrameCode(9, 1, 1), 89);
  DocumentState doc;
  Load(doc, {Record(0, 3, 1)});
  doc.editCount = 2;
  ResizeEditList(doc);
  doc.ref[1] = -BlankFrameCode(9, 1, 1);
  EXPECT_EQ(doc.ref[1], -89);
  EXPECT_EQ(FrequencyAt(doc, 1), 1);
  EXPECT_EQ(BitrateAt(doc, 1), 9);
  EXPECT_EQ(ModeAt(doc, 1), 1);
  EXPECT_EQ(MarkerAt(doc, 1), 0);
  // Codes that do not name a valid index read as index 0.
  BlankFrame b = DecodeBlankFrameCode(15 + 16 * 3 + 64 * 3);
  EXPECT_EQ(b.bitrateIndex, 0);
  EXPECT_EQ(b.freqIndex, 0);
  EXPECT_EQ(b.mode, 3);
  for (int br = 1; br <= 14; ++br)
    for (int f = 0; f < 3; ++f)
      for (int m = 0; m < 4; ++m) {
        int32_t k = BlankFrameCode(br, f, m);
        EXPECT_GT(k, 0);
        BlankFrame d = DecodeBlankFrameCode(k);
        EXPECT_EQ(d.bitrateIndex, br);
        EXPECT_EQ(d.freqIndex, f);
        EXPECT_EQ(d.mode, m);
      }
}

TEST(DocumentOps, QueriesOnBrokenEntriesStayInBounds) {
  DocumentState doc;
  Load(doc, {Record(1, 2, 11, 1)});
  EXPECT_EQ(MarkerAt(doc, 0), 1);
  doc.editCount = 3;
  ResizeEditList(doc);
  doc.ref[1] = 5000;       // beyond the FrameTable
  doc.ref[2] = INT32_MIN;  // cannot be negated
  EXPECT_EQ(FrequencyAt(doc, 1), 0);
  EXPECT_EQ(BitrateAt(doc, 2), 0);
  EXPECT_EQ(ModeAt(doc, -1), 0);
  EXPECT_EQ(ModeAt(doc, 3), 0);
}

TEST(DocumentOps, BoundsAndSelection) {
  DocumentState doc;
  Load(doc, std::vector<frametype>(10, Record(0, 1, 9)));
  doc.cursor = -5;
  udvcheck(doc, 0);
  EXPECT_EQ(doc.cursor, 0);
  doc.selectionEnd = 13;
  udvcheck(doc, 1);
  EXPECT_EQ(doc.selectionEnd, 10);

  int32_t a = 7, b = -2;
  OrderBounds(a, b);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 7);

  doc.cursor = 8;
  doc.selectionEnd = 3;
  aline_udv(doc);
  EXPECT_EQ(doc.cursor, 3);
  EXPECT_EQ(doc.selectionEnd, 8);

  doc.cursor = doc.selectionEnd = 4;
  SetSelectionExists(doc, true);
  EXPECT_FALSE(doc.selectionExists);
  doc.selectionEnd = 9;
  SetSelectionExists(doc, true);
  EXPECT_TRUE(doc.selectionExists);
  SetSelectionExists(doc, false);
  EXPECT_FALSE(doc.selectionExists);
  EXPECT_EQ(doc.selectionEnd, 4);
  // Bounds that become equal when clamped select nothing.
  doc.cursor = 10;
  doc.selectionEnd = 15;
  SetSelectionExists(doc, true);
  EXPECT_FALSE(doc.selectionExists);
  EXPECT_EQ(doc.selectionEnd, 10);
}

TEST(DocumentOps, NotReady) {
  HeadlessHost host;
  Context ctx(host);
  EXPECT_FALSE(NotReady(ctx));
  bool DocumentState::*flags[] = {&DocumentState::busy, &DocumentState::volumeDialogOpen,
                                  &DocumentState::fadeDialogOpen, &DocumentState::silenceDialogOpen,
                                  &DocumentState::splitDialogOpen, &DocumentState::playerHandOver};
  for (auto flag : flags) {
    ctx.doc.*flag = true;
    EXPECT_TRUE(NotReady(ctx));
    ctx.doc.*flag = false;
  }
  ctx.busyCursor = true;
  EXPECT_TRUE(NotReady(ctx));
}

TEST(DocumentOps, Times) {
  DocumentState doc;
  Load(doc, std::vector<frametype>(100, Record(0, 1, 9)));
  EXPECT_EQ(TimeAtFrame(doc, 0), 0.0);
  EXPECT_EQ(TimeAtFrame(doc, -3), 0.0);
  EXPECT_NEAR(TimeAtFrame(doc, 100), 100 * 1152.0 / 44100, 1e-9);
  EXPECT_NEAR(TimeAtFrame(doc, 100, true), 100.5 * 1152.0 / 44100, 1e-9);
  EXPECT_NEAR(TimeAtFrame(doc, 0, true), 0.5 * 1152.0 / 44100, 1e-9);
  EXPECT_NEAR(DurationBetween(doc, 30, 10), 20 * 1152.0 / 44100, 1e-9);
  EXPECT_EQ(DurationBetween(doc, 5, 5), 0.0);

  // Mixed frequencies: 44.1, 48 and 32 kHz frames.
  Load(doc, {Record(0, 0, 9), Record(1, 0, 9), Record(2, 0, 9)});
  EXPECT_NEAR(TimeAtFrame(doc, 3), 1152.0 / 44100 + 0.024 + 0.036, 1e-12);
  EXPECT_NEAR(TimeAtFrame(doc, 2, true), 1152.0 / 44100 + 0.024 + 0.018, 1e-12);
}

TEST(DocumentOps, FrameAtTime) {
  DocumentState doc;
  Load(doc, std::vector<frametype>(100, Record(1, 0, 9)));
  ComputeEditStatistics(doc);
  ASSERT_EQ(doc.editStats.freqSummary, 1);
  EXPECT_EQ(FrameAtTime(doc, 0.011), 0);
  EXPECT_EQ(FrameAtTime(doc, 0.06), 2);
  EXPECT_EQ(FrameAtTime(doc, 0.07), 3);
  EXPECT_EQ(FrameAtTime(doc, 100.0), 4167) << "the caller clamps";

  // Mixed: 10 frames of 32 kHz (0.036 s) then 10 of 48 kHz (0.024 s).
  std::vector<frametype> mixed(10, Record(2, 0, 9));
  mixed.insert(mixed.end(), 10, Record(1, 0, 9));
  Load(doc, mixed);
  ComputeEditStatistics(doc);
  ASSERT_EQ(doc.editStats.freqSummary, kFrequencyMixed);
  EXPECT_EQ(FrameAtTime(doc, 0.036 * 3 + 0.001), 3);
  EXPECT_EQ(FrameAtTime(doc, 0.36 + 0.024 * 4 + 0.01), 14);
  EXPECT_EQ(FrameAtTime(doc, 0.36 + 0.024 * 4 + 0.014), 15);
  EXPECT_EQ(FrameAtTime(doc, 50.0), 19);
}

TEST(DocumentOps, SelectionModes) {
  DocumentState doc;
  Load(doc, {Record(0, 3, 9), Record(0, 3, 9), Record(0, 1, 9), Record(0, 1, 9), Record(0, 0, 9)});
  EXPECT_FALSE(SelectionAllMono(doc));
  EXPECT_EQ(SelectionModes(doc), 0);
  struct Case {
    int32_t cursor, end;
    bool allMono;
    int modes;
  };
  const Case cases[] = {{0, 2, true, 0}, {2, 0, true, 0}, {0, 3, false, 2},
                        {2, 4, false, 1}, {4, 2, false, 1}, {4, 5, false, 0}};
  for (const auto& c : cases) {
    doc.cursor = c.cursor;
    doc.selectionEnd = c.end;
    SetSelectionExists(doc, true);
    EXPECT_EQ(SelectionAllMono(doc), c.allMono) << c.cursor << ".." << c.end;
    EXPECT_EQ(SelectionModes(doc), c.modes) << c.cursor << ".." << c.end;
  }
}

TEST(DocumentOps, StatisticsSummaries) {
  DocumentState doc;
  // Nothing to count: the fallbacks stay in place, nothing is recomputed.
  doc.editStats.bitrateSummary = 77;
  ComputeEditStatistics(doc);
  EXPECT_EQ(doc.editStats.bitrateSummary, 77);

  Load(doc, {Record(0, 1, 9), Record(0, 1, 11), Record(1, 3, 11)});
  ComputeEditStatistics(doc);
  EXPECT_EQ(doc.editStats.bitrateSummary, 0);
  EXPECT_EQ(doc.editStats.modeSummary, 4);
  EXPECT_EQ(doc.editStats.freqSummary, kFrequencyMixed);
  EXPECT_EQ(doc.editStats.freqCount, (std::array<int32_t, kFrequencySlots>{2, 1, 0}));
  EXPECT_EQ(doc.editStats.modeCount, (std::array<int32_t, 4>{0, 2, 0, 1}));
  EXPECT_EQ(doc.editStats.bitrateCount[11], 2);
  EXPECT_EQ(doc.stripLabelPos, -1);
}

TEST(DocumentOps, InformationFrameDoesNotMakeTheEditVariable) {
  DocumentState doc;
  // "Xing" frame at 128 kbps, 48 kHz, stereo, then 192 kbps joint stereo at 44.1 kHz.
  Load(doc, {Record(1, 0, 9, 1), Record(0, 1, 11), Record(0, 1, 11), Record(0, 1, 11)});
  ComputeEditStatistics(doc);
  EXPECT_EQ(doc.editStats.bitrateSummary, 11);
  EXPECT_EQ(doc.editStats.modeSummary, 1);
  EXPECT_EQ(doc.editStats.freqSummary, 0);

  // Without the marker the same frames are variable and mixed.
  doc.frames[0].spec = 0;
  ComputeEditStatistics(doc);
  EXPECT_EQ(doc.editStats.bitrateSummary, 0);
  EXPECT_EQ(doc.editStats.modeSummary, 4);
  EXPECT_EQ(doc.editStats.freqSummary, kFrequencyMixed);

  // The exception needs record 0 at position 0.
  doc.frames[0].spec = 1;
  std::swap(doc.ref[0], doc.ref[1]);
  ComputeEditStatistics(doc);
  EXPECT_EQ(doc.editStats.bitrateSummary, 0);

  // Two other bitrates besides the information frame: variable.
  Load(doc, {Record(0, 1, 9, 2), Record(0, 1, 11), Record(0, 1, 12)});
  ComputeEditStatistics(doc);
  EXPECT_EQ(doc.editStats.bitrateSummary, 0);

  // The information frame's bitrate occurs again later: variable.
  Load(doc, {Record(0, 1, 9, 2), Record(0, 1, 11), Record(0, 1, 9)});
  ComputeEditStatistics(doc);
  EXPECT_EQ(doc.editStats.bitrateSummary, 0);
}

struct UnloadFixture : ::testing::Test {
  HeadlessHost host;
  Context ctx{host};
  int saves = 0;
  bool saveResult = true;

  void SetUp() override {
    Load(ctx.doc, std::vector<frametype>(4, Record(0, 1, 9)));
    ctx.doc.documentName = "/tmp/a.mp3";
    ctx.doc.files[0] = {"/tmp/a.mp3", 0, {}, {}};
    ctx.doc.files[1].firstFrame = 4;
    ctx.doc.modifiedLevel = 1;
    ctx.doc.unsavedChanges = true;
    ctx.doc.cursor = 1;
    ctx.doc.selectionEnd = 3;
    ctx.doc.selectionExists = true;
    ctx.doc.clip.clipCount = 2;
    ctx.doc.boxes.id3v1 = {true, true};
    ctx.doc.id3v2.present = true;
    ctx.doc.id3v2.readerror = true;
    ctx.doc.id3v2.fields.resize(2);
    ctx.options.mainFlags |= kPromptSaveOnClose;
    ctx.saveAs = [this](Context&) {
      ++saves;
      return saveResult;
    };
  }

  void ExpectClosed() {
    const DocumentState& doc = ctx.doc;
    EXPECT_FALSE(doc.loaded);
    EXPECT_EQ(doc.editCount, 0);
    EXPECT_TRUE(doc.ref.empty());
    EXPECT_TRUE(doc.frames.empty());
    EXPECT_EQ(doc.cursor, 0);
    EXPECT_EQ(doc.selectionEnd, 0);
    EXPECT_FALSE(doc.selectionExists);
    EXPECT_EQ(doc.clip.clipCount, 0);
    EXPECT_EQ(doc.modifiedLevel, 0);
    EXPECT_TRUE(doc.documentName.empty());
    EXPECT_TRUE(doc.files[0].name.empty());
    EXPECT_EQ(doc.files[1].firstFrame, 0);
    EXPECT_FALSE(doc.boxes.id3v1.enabled);
    EXPECT_FALSE(doc.id3v2.present);
    EXPECT_TRUE(doc.id3v2.fields.empty());
    EXPECT_FALSE(doc.id3v2.readerror);
  }
};

TEST_F(UnloadFixture, DeclinedLeavesTheDocument) {
  host.answers = {kAnswerNo};
  EXPECT_EQ(unloadall(ctx, true), kUnloadDeclined);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Save changes?");
  EXPECT_EQ(host.messages[0].kind, 258 | kMsgEscapeAnswers);  // Escape cancels
  EXPECT_EQ(host.messages[0].caption, "prompt");
  EXPECT_TRUE(ctx.doc.loaded);
  EXPECT_EQ(ctx.doc.editCount, 4);
  EXPECT_EQ(saves, 0);
}

TEST_F(UnloadFixture, YesSavesThenCloses) {
  host.answers = {kAnswerYes};
  EXPECT_EQ(unloadall(ctx, true), kUnloadSaved);
  EXPECT_EQ(saves, 1);
  ExpectClosed();
}

TEST_F(UnloadFixture, CancelledSaveKeepsTheEdits) {
  host.answers = {kAnswerYes};
  saveResult = false;
  EXPECT_EQ(unloadall(ctx, true), kUnloadDeclined);
  EXPECT_TRUE(ctx.doc.loaded);
  EXPECT_EQ(ctx.doc.modifiedLevel, 1);
}

TEST_F(UnloadFixture, NoQuestionWhenNotAsked) {
  struct Case {
    const char* name;
    bool ask;
    uint8_t level;
    bool promptOption;
    bool script;
  };
  const Case cases[] = {{"ask false", false, 1, true, false},
                        {"unchanged", true, 0, true, false},
                        {"option off", true, 2, false, false},
                        {"script", true, 2, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    host.messages.clear();
    ctx.doc.modifiedLevel = c.level;
    ctx.doc.unsavedChanges = c.level > 0;
    ctx.options.mainFlags = c.promptOption ? kPromptSaveOnClose : 0;
    ctx.script.active = c.script;
    EXPECT_EQ(unloadall(ctx, c.ask), kUnloadClosed);
    EXPECT_TRUE(host.messages.empty());
    ExpectClosed();
  }
}

// One rule decides whether a path that drops or replaces the document asks:
// unsaved changes count, also an insertion alone (modifiedLevel stays 0); a
// save clears them, so the question is not asked again.
TEST_F(UnloadFixture, SaveChangesRule) {
  struct Case {
    const char* name;
    uint8_t level;
    bool unsaved;
    bool asks;
  };
  const Case cases[] = {{"edited", 1, true, true},
                        {"insertion only", 0, true, true},
                        {"saved after edits", 2, false, false},
                        {"unchanged", 0, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    host.messages.clear();
    ctx.doc.modifiedLevel = c.level;
    ctx.doc.unsavedChanges = c.unsaved;
    EXPECT_EQ(SaveChangesAsked(ctx), c.asks);
    host.answers = {kAnswerYes};
    saves = 0;
    EXPECT_EQ(unloadall(ctx, true), c.asks ? kUnloadSaved : kUnloadClosed);
    EXPECT_EQ(host.messages.size(), c.asks ? 1u : 0u);
    EXPECT_EQ(saves, c.asks ? 1 : 0);
  }
}

// The window's question before closing or replacing the document: Yes saves
// first, No goes on without saving, Escape or the window's frame cancel, and
// a failed save cancels too.
TEST_F(UnloadFixture, AskSaveChangesAnswers) {
  struct Case {
    const char* name;
    int answer;
    bool saveSucceeds;
    int result;
    int saves;
  };
  const Case cases[] = {{"yes", kAnswerYes, true, kUnloadSaved, 1},
                        {"yes, save cancelled", kAnswerYes, false, kUnloadDeclined, 1},
                        {"no", kAnswerNo, true, kUnloadClosed, 0},
                        {"escape or frame", kAnswerEscape, true, kUnloadDeclined, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    host.messages.clear();
    ctx.doc.modifiedLevel = 0;  // an insertion only
    host.answers = {c.answer};
    saves = 0;
    saveResult = c.saveSucceeds;
    EXPECT_EQ(AskSaveChanges(ctx, kSaveChangesText, kSaveChangesCaption), c.result);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "  Save changes?  ");
    EXPECT_EQ(host.messages[0].caption, "closing");
    EXPECT_EQ(host.messages[0].kind, kModalWarning | kMsgEscapeAnswers);
    EXPECT_EQ(saves, c.saves);
    EXPECT_TRUE(ctx.doc.loaded);
  }
}

TEST_F(UnloadFixture, ResetsRememberedDialogValues) {
  ctx.options.rememberVolume = 1;
  ctx.options.savedVolumeSteps = 33;
  ctx.options.volumeChannelAndTagSwitches = 0xF7;
  ctx.options.rememberFade = 1;
  ctx.options.savedFadeSteps = 5;
  unloadall(ctx, false);
  EXPECT_EQ(ctx.options.savedVolumeSteps, 20);
  EXPECT_EQ(ctx.options.volumeChannelAndTagSwitches, 0xF4);
  EXPECT_EQ(ctx.options.savedFadeSteps, 20);

  SetUp();
  ctx.options.rememberVolume = 2;
  ctx.options.savedVolumeSteps = 33;
  ctx.options.rememberFade = 0;
  ctx.options.savedFadeSteps = 5;
  unloadall(ctx, false);
  EXPECT_EQ(ctx.options.savedVolumeSteps, 33);
  EXPECT_EQ(ctx.options.savedFadeSteps, 5);
}

}  // namespace
}  // namespace quorvel
