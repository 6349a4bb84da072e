// Random sequences of editing operations: every change can be undone exactly,
// every refusal changes nothing, and the document stays consistent throughout.

#include <gtest/gtest.h>

#include <random>

#include "core/document_ops.h"
#include "core/edit_fixture.h"
#include "core/edit_ops.h"
#include "core/gain.h"
#include "core/headless_host.h"
#include "core/insert_ops.h"

namespace quorvel {
namespace {

using testing::FrameShape;
using testing::LoadFrames;
using testing::TestData;

struct State {
  LargeVector<int32_t> ref;
  LargeVector<int16_t> left, right;
  int32_t editCount = 0;
  int32_t lower = 0, upper = 0;  // the selection as frames, or the cursor twice
  bool selectionExists = false;
  uint8_t insertedCount = 0;
  std::array<InsertedFile, kFileTableSize> files;

  static State Of(const DocumentState& doc) {
    State s;
    s.ref = doc.ref;
    s.left = doc.gainLeft;
    s.right = doc.gainRight;
    s.editCount = doc.editCount;
    s.selectionExists = doc.selectionExists;
    s.lower = std::min(doc.cursor, doc.selectionEnd);
    s.upper = std::max(doc.cursor, doc.selectionEnd);
    s.insertedCount = doc.insertedCount;
    s.files = doc.files;
    return s;
  }
  bool operator==(const State& o) const {
    if (ref != o.ref || left != o.left || right != o.right || editCount != o.editCount || lower != o.lower ||
        upper != o.upper || selectionExists != o.selectionExists || insertedCount != o.insertedCount) {
      return false;
    }
    for (int i = 0; i < kFileTableSize; ++i) {
      if (files[i].name != o.files[i].name || files[i].firstFrame != o.files[i].firstFrame) return false;
    }
    return true;
  }
};

void ExpectConsistent(const DocumentState& doc) {
  ASSERT_GE(doc.editCount, 0);
  ASSERT_EQ(doc.ref.size(), static_cast<size_t>(doc.editCount));
  ASSERT_EQ(doc.gainLeft.size(), doc.ref.size());
  ASSERT_EQ(doc.gainRight.size(), doc.ref.size());
  ASSERT_GE(doc.cursor, 0);
  ASSERT_LE(doc.cursor, doc.editCount);
  ASSERT_GE(doc.selectionEnd, 0);
  ASSERT_LE(doc.selectionEnd, doc.editCount);
  if (doc.selectionExists) {
    ASSERT_NE(doc.cursor, doc.selectionEnd);
  } else {
    ASSERT_EQ(doc.cursor, doc.selectionEnd);
  }
  ASSERT_EQ(doc.frames.size(), static_cast<size_t>(doc.frameTableCount));
  for (int32_t p = 0; p < doc.editCount; ++p) {
    int32_t r = doc.ref[p];
    if (r >= 0) {
      ASSERT_LT(r, doc.frameTableCount);
      ASSERT_LE(doc.frames[r].fromfile, doc.insertedCount);
      ASSERT_GE(doc.gainLeft[p], -255);
      ASSERT_LE(doc.gainLeft[p], 255);
      ASSERT_GE(doc.gainRight[p], -255);
      ASSERT_LE(doc.gainRight[p], 255);
    } else {
      BlankFrame b = DecodeBlankFrameCode(-r);
      ASSERT_GE(b.bitrateIndex, 1);
      ASSERT_LE(b.bitrateIndex, 14);
    }
  }
}

enum Op { kDelete, kCut, kPaste, kTrim, kVolume, kFade, kSilence, kInsert, kCopy, kSelectAll, kUnselect, kOpCount };

// Changing operations report 0 and leave Undo enabled when they changed the document.
bool Changes(Op op) { return op <= kInsert; }

void RunOperation(Context& ctx, Op op, std::mt19937& random, const std::string& insertFile) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  switch (op) {
    case kDelete:
      DelButClick(ctx);
      break;
    case kCut:
      CutButClick(ctx);
      break;
    case kPaste:
      PastebutClick(ctx);
      break;
    case kTrim:
      TrimButClick(ctx);
      break;
    case kVolume:
      ctx.edit.volumeStep = pick(-40, 40);
      if (ctx.edit.volumeStep == 0) ctx.edit.volumeStep = 1;
      ctx.edit.channelChoice = static_cast<ChannelChoice>(pick(0, 2));
      AmplifybutClick(ctx);
      break;
    case kFade:
      ctx.edit.fadeMagnitude = pick(1, 40);
      ctx.edit.fadeIn = pick(0, 1) == 1;
      FadeButClick(ctx);
      break;
    case kSilence:
      ctx.edit.silenceCount = pick(1, 40);
      ctx.edit.silenceBitrate = static_cast<uint8_t>(pick(1, 14));
      ctx.edit.silenceFrequency = static_cast<uint8_t>(pick(0, 2));
      ctx.edit.silenceMode = static_cast<uint8_t>(pick(0, 3));
      EmptybutClick(ctx);
      break;
    case kInsert:
      ctx.edit.insertFileName = insertFile;
      MenuInsertClick(ctx);
      break;
    case kCopy:
      CopybutClick(ctx);
      break;
    case kSelectAll:
      SelAllButClick(ctx);
      break;
    case kUnselect:
      UnselbutClick(ctx);
      break;
    case kOpCount:
      break;
  }
}

TEST(UndoProperty, EveryChangeIsUndoneExactly) {
  // The file inserted is a fixture; without it the test cannot run its inserts.
  ASSERT_FALSE(TestData("32k.mp3").empty()) << "QUORVEL_TEST_DATA is not set";
  ASSERT_TRUE(std::filesystem::exists(TestData("32k.mp3"))) << "missing fixture " << TestData("32k.mp3");
  const std::string insertFile = TestData("32k.mp3").string();
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    HeadlessHost host;
    Context ctx(host);
    DocumentState& doc = ctx.doc;
    std::vector<FrameShape> shapes;
    for (int i = 0; i < 60; ++i) {
      shapes.push_back(FrameShape{static_cast<uint8_t>(pick(0, 2)), static_cast<uint8_t>(pick(0, 3)),
                                static_cast<uint8_t>(pick(1, 14))});
    }
    LoadFrames(ctx, shapes);

    int undone = 0;
    int insertsUndone = 0;
    for (int step = 0; step < 250; ++step) {
      // A random cursor or selection, sometimes backwards.
      int32_t a = pick(0, doc.editCount);
      int32_t b = pick(0, 3) == 0 ? a : pick(0, doc.editCount);
      doc.cursor = a;
      doc.selectionEnd = b;
      SetSelectionExists(doc, a != b);

      Op op = static_cast<Op>(pick(0, kOpCount - 1));
      if (op == kInsert && pick(0, 3) != 0) op = kSilence;
      ctx.script.active = true;
      ctx.script.resultCode = 0;
      State before = State::Of(doc);
      doc.undoAvailable = false;
      RunOperation(ctx, op, random, insertFile);
      ctx.script.active = false;
      SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op));
      ExpectConsistent(doc);
      if (::testing::Test::HasFatalFailure()) return;

      if (!Changes(op)) continue;
      // Silence reports 2 when it cut the count; it still inserted.
      bool done = ctx.script.resultCode == 0 || (op == kSilence && ctx.script.resultCode == 2);
      if (!done) {
        EXPECT_TRUE(State::Of(doc) == before) << "a refused operation changed the document";
        continue;
      }
      ASSERT_TRUE(doc.undoAvailable) << "code " << int(ctx.script.resultCode) << " sel " << before.lower << ".." << before.upper << " exists " << before.selectionExists << " count " << before.editCount;
      UndobutClick(ctx);
      ExpectConsistent(doc);
      ASSERT_TRUE(State::Of(doc) == before) << "undo did not restore the document";
      ASSERT_FALSE(doc.undoAvailable);
      ++undone;
      if (op == kInsert) ++insertsUndone;
      // Go on from the changed document half of the time.
      if (pick(0, 1) == 0) {
        ctx.script.active = true;
        RunOperation(ctx, op, random, insertFile);
        ctx.script.active = false;
        ExpectConsistent(doc);
      }
    }
    EXPECT_GT(undone, 50);
    EXPECT_GT(insertsUndone, 0) << "no insert of a file was undone";
  }
}

}  // namespace
}  // namespace quorvel
