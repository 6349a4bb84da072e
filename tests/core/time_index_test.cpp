// Times from the frequency index against the frame-by-frame count they replace.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

#include "core/document_ops.h"
#include "core/edit_ops.h"
#include "core/headless_host.h"
#include "core/mpeg_header.h"
#include "edit_fixture.h"

namespace quorvel {
namespace {

// Seconds of one frame per frequency index: 1152 samples at 44.1, 48 and 32 kHz.
constexpr double kFrameSeconds[3] = {1152.0 / 44100.0, 1152.0 / 48000.0, 1152.0 / 32000.0};

// The frequency of position p, read the plain way: a record's freqb, a blank
// frame's code, anything else 0.
int PlainFrequency(const DocumentState& doc, int32_t p) {
  if (p < 0 || p >= doc.editCount || static_cast<size_t>(p) >= doc.ref.size()) return 0;
  const int32_t r = doc.ref[static_cast<size_t>(p)];
  if (r >= 0) return static_cast<size_t>(r) < doc.frames.size() ? doc.frames[static_cast<size_t>(r)].freqb % 3 : 0;
  if (r == INT32_MIN) return 0;
  const int f = ((-r) >> 4) & 3;
  return f == 3 ? 0 : f;
}

double PlainTime(const DocumentState& doc, int32_t p, bool midFrame) {
  int64_t count[3] = {};
  for (int32_t q = 0; q < std::min(p, doc.editCount); ++q) ++count[PlainFrequency(doc, q)];
  double t = p <= 0 ? 0.0
                    : static_cast<double>(count[0]) * kFrameSeconds[0] + static_cast<double>(count[1]) * kFrameSeconds[1] +
                          static_cast<double>(count[2]) * kFrameSeconds[2];
  if (midFrame && doc.editCount > 0) t += kFrameSeconds[PlainFrequency(doc, std::clamp(p, 0, doc.editCount - 1))] / 2;
  return t;
}

// The nearest position of a file with mixed frequencies, walked frame by frame.
int32_t PlainFrameAtTime(const DocumentState& doc, double seconds) {
  if (seconds < 0.012) return 0;
  const int32_t last = doc.editCount - 1;
  auto i = static_cast<int64_t>(seconds / 0.036);
  if (i >= last) return last;
  double t = PlainTime(doc, static_cast<int32_t>(i), false);
  double distance = std::fabs(t - seconds);
  for (;;) {
    if (i >= last) return last;
    t += kFrameSeconds[PlainFrequency(doc, static_cast<int32_t>(i))];
    const double next = std::fabs(t - seconds);
    if (next >= distance) return static_cast<int32_t>(i);
    distance = next;
    ++i;
  }
}

// A random document: records in runs of random frequency, then an EditList of
// random pieces of them, blank frames of each frequency and a few entries that
// name no record.
void RandomDocument(DocumentState& doc, std::mt19937& rng) {
  doc = DocumentState{};
  std::uniform_int_distribution<int> freq(0, 2);
  const int records = std::uniform_int_distribution<int>(1, 400)(rng);
  int runFreq = freq(rng);
  for (int i = 0; i < records; ++i) {
    if (rng() % 17 == 0) runFreq = freq(rng);
    frametype f;
    f.freqb = static_cast<uint8_t>(runFreq);
    f.kbps = 9;
    doc.frames.push_back(f);
  }
  doc.frameTableCount = records;
  std::vector<int32_t> list;
  const int pieces = std::uniform_int_distribution<int>(1, 12)(rng);
  for (int k = 0; k < pieces; ++k) {
    switch (rng() % 6) {
      case 0: {
        const int n = std::uniform_int_distribution<int>(1, 30)(rng);
        const int32_t code = BlankFrameCode(9, freq(rng), 1);
        for (int i = 0; i < n; ++i) list.push_back(-code);
        break;
      }
      case 1: list.push_back(rng() % 2 ? INT32_MIN : records + 5); break;
      default: {
        const int a = std::uniform_int_distribution<int>(0, records - 1)(rng);
        const int b = std::uniform_int_distribution<int>(a, records - 1)(rng);
        for (int r = a; r <= b; ++r) list.push_back(r);
      }
    }
  }
  doc.editCount = static_cast<int32_t>(list.size());
  ResizeEditList(doc);
  std::copy(list.begin(), list.end(), doc.ref.begin());
  doc.loaded = true;
  ComputeEditStatistics(doc);
}

TEST(FrequencyIndex, TimesEqualThePlainCountOnRandomEditLists) {
  std::mt19937 rng(20261210);
  DocumentState doc;
  int mixed = 0;
  for (int round = 0; round < 300; ++round) {
    RandomDocument(doc, rng);
    ASSERT_EQ(doc.frequencyIndex.editCount, doc.editCount);
    if (doc.editStats.freqSummary == kFrequencyMixed) ++mixed;
    for (int32_t p = -2; p <= doc.editCount + 2; ++p) {
      ASSERT_EQ(TimeAtFrame(doc, p), PlainTime(doc, p, false)) << "round " << round << " p " << p;
      ASSERT_EQ(TimeAtFrame(doc, p, true), PlainTime(doc, p, true)) << "round " << round << " p " << p;
    }
    for (int k = 0; k < 50; ++k) {
      const auto a = static_cast<int32_t>(rng() % (doc.editCount + 3)) - 1;
      const auto b = static_cast<int32_t>(rng() % (doc.editCount + 3)) - 1;
      const double expected = PlainTime(doc, std::max(a, b), false) - PlainTime(doc, std::min(a, b), false);
      ASSERT_NEAR(DurationBetween(doc, a, b), expected, 1e-9);
    }
  }
  EXPECT_GT(mixed, 100);  // the walk of mixed files is what the index replaces
}

TEST(FrequencyIndex, FrameAtTimeEqualsTheWalkIncludingMidpoints) {
  std::mt19937 rng(7);
  DocumentState doc;
  int checked = 0;
  for (int round = 0; round < 300; ++round) {
    RandomDocument(doc, rng);
    if (doc.editStats.freqSummary != kFrequencyMixed) continue;
    const double total = PlainTime(doc, doc.editCount, false);
    std::vector<double> times = {0.0, 0.011, 0.012, 0.64, total, total + 1.0};
    for (int k = 0; k < 60; ++k) times.push_back(std::uniform_real_distribution<double>(0.0, total + 0.5)(rng));
    // Exact frame starts and middles, where rounding decides.
    for (int k = 0; k < 40; ++k) {
      const auto p = static_cast<int32_t>(rng() % doc.editCount);
      times.push_back(PlainTime(doc, p, false));
      times.push_back(PlainTime(doc, p, true));
      times.push_back(std::round(PlainTime(doc, p, true) * 1000.0) / 1000.0);
    }
    for (double t : times) {
      ASSERT_EQ(FrameAtTime(doc, t), PlainFrameAtTime(doc, t)) << "round " << round << " t " << t;
      ++checked;
    }
  }
  EXPECT_GT(checked, 10000);
}

TEST(FrequencyIndex, RunsAndStaleIndex) {
  DocumentState doc;
  for (int f : {0, 0, 1, 1, 1, 0}) {
    frametype r;
    r.freqb = static_cast<uint8_t>(f);
    doc.frames.push_back(r);
  }
  doc.editCount = 6;
  ResizeEditList(doc);
  for (int32_t p = 0; p < 6; ++p) doc.ref[p] = p;
  ComputeEditStatistics(doc);
  const auto& runs = doc.frequencyIndex.runs;
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[1].start, 2);
  EXPECT_EQ(runs[1].freq, 1);
  EXPECT_EQ(runs[2].start, 5);
  EXPECT_EQ(runs[2].before, (std::array<int64_t, kFrequencySlots>{2, 3, 0}));

  // A list resized and not yet recounted is counted frame by frame.
  doc.editCount = 8;
  ResizeEditList(doc);
  doc.ref[6] = -BlankFrameCode(9, 2, 1);
  doc.ref[7] = -BlankFrameCode(9, 2, 1);
  EXPECT_EQ(TimeAtFrame(doc, 8), PlainTime(doc, 8, false));
  // After an edit through the operations the index follows the list.
  HeadlessHost host;
  Context ctx(host);
  ctx.doc = std::move(doc);
  ComputeEditStatistics(ctx.doc);
  ctx.doc.cursor = 1;
  ctx.doc.selectionEnd = 3;
  ctx.doc.selectionExists = true;
  DelButClick(ctx);
  ASSERT_EQ(ctx.doc.editCount, 6);
  EXPECT_EQ(ctx.doc.frequencyIndex.editCount, 6);
  for (int32_t p = 0; p <= 6; ++p) EXPECT_EQ(TimeAtFrame(ctx.doc, p), PlainTime(ctx.doc, p, false)) << p;
}

// MPEG-2 and MPEG-2.5 documents: a frame is 576 samples at each of their
// frequencies, in positions, times, durations and the information line.
TEST(LowerVersionTimes, PositionsAndTimesCountFramesOf576Samples) {
  struct Case {
    uint8_t version;
    uint8_t freq;
    double hz;
    const char* infoLine;  // 1000 frames, bitrate index 9, joint stereo
  };
  const Case cases[] = {
      {2, 0, 22050, "22.05 KHz, JOINT STEREO, 80 kbps, 26.122 sec"},
      {2, 1, 24000, "24 KHz, JOINT STEREO, 80 kbps, 24 sec"},
      {2, 2, 16000, "16 KHz, JOINT STEREO, 80 kbps, 36 sec"},
      {0, 0, 11025, "11.025 KHz, JOINT STEREO, 80 kbps, 52.245 sec"},
      {0, 1, 12000, "12 KHz, JOINT STEREO, 80 kbps, 48 sec"},
      {0, 2, 8000, "8 KHz, JOINT STEREO, 80 kbps, 1 min 12 sec"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.infoLine);
    HeadlessHost host;
    Context ctx(host);
    ctx.doc.version = c.version;
    testing::LoadUniform(ctx, 1000, {c.freq, 1, 9, 0});
    const DocumentState& doc = ctx.doc;
    const double frame = 576.0 / c.hz;
    EXPECT_EQ(InfoLine(doc.editStats), c.infoLine);
    EXPECT_NEAR(DurationBetween(doc, 0, 1000), 1000 * frame, 1e-9);
    EXPECT_NEAR(DurationBetween(doc, 250, 100), 150 * frame, 1e-9);
    for (int32_t k : {0, 1, 2, 7, 333, 998, 999}) {
      SCOPED_TRACE(k);
      EXPECT_NEAR(TimeAtFrame(doc, k), k * frame, 1e-9);
      EXPECT_NEAR(TimeAtFrame(doc, k, true), (k + 0.5) * frame, 1e-9);
      EXPECT_EQ(FrameAtTime(doc, k * frame), k);
      EXPECT_EQ(FrameAtTime(doc, (k + 0.4) * frame), k);
      EXPECT_EQ(FrameAtTime(doc, (k + 0.6) * frame), k + 1);
    }
  }
  // Mixed frequencies of one version: each frame counts its own length, in
  // the index and frame by frame.
  HeadlessHost host;
  Context ctx(host);
  ctx.doc.version = 2;
  std::vector<testing::FrameShape> shapes;
  for (int i = 0; i < 300; ++i) shapes.push_back({static_cast<uint8_t>(i < 100 ? 0 : i < 200 ? 2 : 1), 1, 9, 0});
  testing::LoadFrames(ctx, shapes);
  const double t22 = 576.0 / 22050, t16 = 576.0 / 16000, t24 = 576.0 / 24000;
  EXPECT_NEAR(TimeAtFrame(ctx.doc, 100), 100 * t22, 1e-9);
  EXPECT_NEAR(TimeAtFrame(ctx.doc, 150), 100 * t22 + 50 * t16, 1e-9);
  EXPECT_NEAR(TimeAtFrame(ctx.doc, 300), 100 * t22 + 100 * t16 + 100 * t24, 1e-9);
  EXPECT_EQ(FrameAtTime(ctx.doc, 100 * t22 + 100 * t16 + 40 * t24), 240);
  EXPECT_EQ(FrameAtTime(ctx.doc, 100 * t22 + 20 * t16), 120);
  EXPECT_EQ(FrequencyStatText(ctx.doc.editStats.freqCount, ctx.doc.version), "mixed freq");
}

}  // namespace
}  // namespace quorvel
