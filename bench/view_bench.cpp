// Times what the window asks of the engine on every refresh, at the end of a
// 5-hour file (690,000 frames at 44.1 kHz, with a few frames of other
// frequencies so that times cannot be computed from one frame length): building
// the strip model for the last view, TimeAtFrame and FrameAtTime there, and the
// command availability (with and without its two file checks).
//
//   build/bench/view_bench [--benchmark_repetitions=9 --benchmark_report_aggregates_only=true]

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "core/document_ops.h"
#include "core/headless_host.h"
#include "view/availability.h"
#include "view/strip_model.h"

using namespace quorvel;

namespace {

constexpr int32_t kFiveHoursFrames = 690000;

struct LongDocument {
  HeadlessHost host;
  Context ctx{host};

  LongDocument() {
    DocumentState& doc = ctx.doc;
    doc.frames.resize(kFiveHoursFrames);
    for (int32_t i = 0; i < kFiveHoursFrames; ++i) {
      frametype& f = doc.frames[static_cast<size_t>(i)];
      f.freqb = i % 100000 == 5 ? 1 : 0;  // a 48 kHz frame every 100,000 frames
      f.stereo = 1;
      f.kbps = static_cast<uint8_t>(9 + i % 3);
      f.amplify0 = static_cast<uint8_t>(120 + i % 60);
      f.fromfile = 0;
    }
    doc.frameTableCount = kFiveHoursFrames;
    doc.editCount = kFiveHoursFrames;
    ResizeEditList(doc);
    for (int32_t p = 0; p < kFiveHoursFrames; ++p) doc.ref[static_cast<size_t>(p)] = p;
    doc.loaded = true;
    ComputeEditStatistics(doc);
    doc.sourceStats = doc.editStats;
    doc.viewStartMax = ViewStartMaxFor(doc.editCount);
    doc.viewStart = doc.viewStartMax;
    doc.cursor = doc.editCount - 40;
    doc.selectionEnd = doc.editCount - 10;
    doc.selectionExists = true;
    // The source and the last output exist, so that both file checks find a file.
    doc.sourceName = "/tmp/quorvel_view_bench_source.mp3";
    ctx.save.lastOutputName = "/tmp/quorvel_view_bench_output.mp3";
    std::FILE* source = std::fopen(doc.sourceName.c_str(), "wb");
    std::FILE* output = std::fopen(ctx.save.lastOutputName.c_str(), "wb");
    if (source) std::fclose(source);
    if (output) std::fclose(output);
    ctx.playAvailable = [](const Context&, PlayRequest) { return true; };
  }
};

LongDocument& Document() {
  static auto* doc = new LongDocument;
  return *doc;
}

void BM_StripModelAtEnd(benchmark::State& state) {
  const DocumentState& doc = Document().ctx.doc;
  for (auto _ : state) {
    StripModel m = BuildStripModel(doc, doc.viewStartMax);
    benchmark::DoNotOptimize(m);
  }
}
BENCHMARK(BM_StripModelAtEnd);

void BM_TimeAtFrameAtEnd(benchmark::State& state) {
  const DocumentState& doc = Document().ctx.doc;
  int32_t p = doc.editCount - 84;
  for (auto _ : state) {
    benchmark::DoNotOptimize(TimeAtFrame(doc, p));
    p = p == doc.editCount ? doc.editCount - 84 : p + 1;
  }
}
BENCHMARK(BM_TimeAtFrameAtEnd);

void BM_FrameAtTimeAtEnd(benchmark::State& state) {
  const DocumentState& doc = Document().ctx.doc;
  const double t = TimeAtFrame(doc, doc.editCount - 50) + 0.01;
  for (auto _ : state) benchmark::DoNotOptimize(FrameAtTime(doc, t));
}
BENCHMARK(BM_FrameAtTimeAtEnd);

void BM_AvailabilityGivenFiles(benchmark::State& state) {
  const Context& ctx = Document().ctx;
  const CommandFiles files{true, true};
  for (auto _ : state) benchmark::DoNotOptimize(ComputeAvailability(ctx, files));
}
BENCHMARK(BM_AvailabilityGivenFiles);

void BM_AvailabilityWithFileChecks(benchmark::State& state) {
  const Context& ctx = Document().ctx;
  for (auto _ : state) benchmark::DoNotOptimize(ComputeAvailability(ctx));
}
BENCHMARK(BM_AvailabilityWithFileChecks);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove("/tmp/quorvel_view_bench_source.mp3");
  std::remove("/tmp/quorvel_view_bench_output.mp3");
  return 0;
}
