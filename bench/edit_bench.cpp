// Times the editing operations on a document of 1,000,000 frames built in
// memory: the undo snapshot, deleting half of the frames, pasting 500,000
// frames, and a fade over every frame. Each figure is the median of 7 runs.
//
//   build/bench/edit_bench [frames]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/document_ops.h"
#include "core/edit_ops.h"
#include "core/gain.h"
#include "core/headless_host.h"

using namespace quorvel;

namespace {

void Load(Context& ctx, int32_t n) {
  DocumentState& doc = ctx.doc;
  doc = DocumentState{};
  doc.frames.resize(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    frametype& f = doc.frames[static_cast<size_t>(i)];
    f.freqb = 0;
    f.stereo = 1;
    f.kbps = static_cast<uint8_t>(9 + i % 3);
    f.framepos = 417 * i;
    f.estimatedlen = f.framelen = 417;
    f.amplify1 = {150, 152, 149, 151};
  }
  doc.frameTableCount = n;
  doc.editCount = n;
  ResizeEditList(doc);
  for (int32_t p = 0; p < n; ++p) doc.ref[static_cast<size_t>(p)] = p;
  doc.files[0].name = "/bench/source.mp3";
  doc.files[1].firstFrame = n;
  doc.loaded = true;
  ComputeEditStatistics(doc);
  doc.sourceStats = doc.editStats;
}

void Select(DocumentState& doc, int32_t a, int32_t b) {
  doc.cursor = a;
  doc.selectionEnd = b;
  SetSelectionExists(doc, true);
}

// Median time in milliseconds of `runs` runs of measured(), each after prepare().
double Median(int runs, const std::function<void()>& prepare, const std::function<void()>& measured) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    prepare();
    auto start = std::chrono::steady_clock::now();
    measured();
    auto end = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t n = argc > 1 ? std::max(2, std::atoi(argv[1])) : 1000000;
  const int32_t half = n / 2;
  const int runs = 7;
  HeadlessHost host;
  Context ctx(host);
  ctx.script.active = true;  // no dialogs: the operations take their inputs from ctx.edit
  DocumentState& doc = ctx.doc;

  double snapshot = Median(
      runs, [&] { Load(ctx, n); }, [&] { TakeUndoSnapshot(ctx); });

  double deletion = Median(
      runs,
      [&] {
        Load(ctx, n);
        Select(doc, half / 2, half / 2 + half);
      },
      [&] { DelButClick(ctx); });
  // A run whose operation did not do its job times nothing: it fails the benchmark.
  int failed = 0;
  if (doc.editCount != n - half) {
    std::fprintf(stderr, "sanity check failed: delete left %d frames, not %d\n", doc.editCount, n - half);
    ++failed;
  }

  double paste = Median(
      runs,
      [&] {
        Load(ctx, n);
        CopyToClipboard(ctx, 0, half);
        doc.cursor = doc.selectionEnd = n / 3;
        SetSelectionExists(doc, false);
      },
      [&] { PastebutClick(ctx); });
  if (doc.editCount != n + half) {
    std::fprintf(stderr, "sanity check failed: paste made %d frames, not %d\n", doc.editCount, n + half);
    ++failed;
  }

  double fade = Median(
      runs,
      [&] {
        Load(ctx, n);
        Select(doc, 0, n);
        ctx.edit.fadeMagnitude = 20;
        ctx.edit.fadeIn = true;
      },
      [&] { FadeButClick(ctx); });
  if (doc.gainLeft[0] != -20) {
    std::fprintf(stderr, "sanity check failed: the fade did not apply (first frame's gain %d, not -20)\n",
                 static_cast<int>(doc.gainLeft[0]));
    ++failed;
  }

  std::printf("frames: %d (median of %d runs)\n", n, runs);
  std::printf("undo snapshot:            %8.2f ms\n", snapshot);
  std::printf("delete %d frames:   %8.2f ms\n", half, deletion);
  std::printf("paste %d frames:    %8.2f ms\n", half, paste);
  std::printf("fade over %d frames: %8.2f ms\n", n, fade);
  if (failed != 0) {
    std::fprintf(stderr, "%d sanity check(s) failed: the figures above are not valid\n", failed);
    return 1;
  }
  return 0;
}
