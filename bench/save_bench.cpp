// One load followed by one write, as a silent script run would do it; timed from
// outside by bench/save_split_bench.sh against cp, mp3splt and ffmpeg. The time
// of each phase (load, write) goes to standard error.
//
//   save_bench save  IN OUT             load IN, save it unchanged as OUT
//   save_bench split IN OUT1 OUT2 OUT3  load IN, split it at 1/3 and 2/3 of its frames

#include <chrono>
#include <cstdio>
#include <string>

#include "core/analysis.h"
#include "core/context.h"
#include "core/headless_host.h"
#include "core/options.h"
#include "output/save.h"
#include "output/split.h"
#include "output/writer.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (!((mode == "save" && argc == 4) || (mode == "split" && argc == 6))) {
    std::fprintf(stderr, "usage: save_bench save IN OUT | save_bench split IN OUT1 OUT2 OUT3\n");
    return 2;
  }
  quorvel::HeadlessHost host;
  host.defaultAnswer = quorvel::kAnswerNo;
  quorvel::Context ctx(host);
  ctx.options.errorPolicy = quorvel::kErrorTryToContinue;
  ctx.script.active = true;
  ctx.script.silent = true;

  auto start = Clock::now();
  ctx.doc.sourceName = argv[2];
  if (!quorvel::Loadfile(ctx) || !ctx.doc.loaded) {
    std::fprintf(stderr, "cannot load %s: %s\n", argv[2], ctx.script.errorText.c_str());
    return 1;
  }
  const double loadSeconds = SecondsSince(start);
  const int32_t frames = ctx.doc.editCount;

  start = Clock::now();
  bool ok = false;
  if (mode == "save") {
    quorvel::SaveProc(ctx, quorvel::kWriteSaveAs, argv[3]);
    ok = ctx.save.lastSaveSucceeded;
  } else {
    ctx.doc.cursor = frames / 3;
    ctx.doc.selectionEnd = frames / 3 * 2;
    ctx.doc.selectionExists = true;
    quorvel::MenuSplitClick(ctx, {argv[3], argv[4], argv[5]});
    ok = ctx.script.resultCode == 0;
  }
  const double writeSeconds = SecondsSince(start);
  if (!ok) {
    std::fprintf(stderr, "%s failed (code %d): %s\n", mode.c_str(), ctx.script.resultCode,
                 ctx.script.errorText.c_str());
    return 1;
  }
  std::fprintf(stderr, "%d frames: load %.3f s, %s %.3f s\n", static_cast<int>(frames), loadSeconds, mode.c_str(),
               writeSeconds);
  return 0;
}
