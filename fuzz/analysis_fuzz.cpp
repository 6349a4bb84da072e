// libFuzzer target: the source analysis (leading and trailing blocks, the frame
// scan, the ID3v2 and ID3v1 readers) on arbitrary file contents. The input is
// written to a temporary file and loaded as in a silent script run, so nothing
// asks a question; then its frames are scanned once in one walk and once in two
// halves at once, which must agree.
//
//   build-fuzz/fuzz/analysis_fuzz -rss_limit_mb=2048 fuzz/out/analysis fuzz/corpus/analysis

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/analysis.h"
#include "core/context.h"
#include "core/headless_host.h"
#include "core/mpeg_header.h"
#include "core/options.h"

namespace {

std::string TempPath() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = (dir && *dir) ? dir : "/tmp";
  return path + "/quorvel-analysis-fuzz-" + std::to_string(::getpid()) + ".mp3";
}

bool WriteAll(const std::string& path, const uint8_t* data, size_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) {
      ::close(fd);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return ::close(fd) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = TempPath();
  if (!WriteAll(path, data, size)) std::abort();

  quorvel::HeadlessHost host;
  host.defaultAnswer = quorvel::kAnswerNo;
  quorvel::Context ctx(host);
  ctx.options.errorPolicy = quorvel::kErrorTryToContinue;
  ctx.script.active = true;
  ctx.script.silent = true;
  ctx.doc.sourceName = path;
  quorvel::Loadfile(ctx);

  // What a loaded document promises to its users.
  const quorvel::DocumentState& doc = ctx.doc;
  if (doc.loaded) {
    if (doc.frameTableCount <= 0 || doc.editCount != doc.frameTableCount) std::abort();
    int64_t end = doc.source.audioEnd;
    for (int32_t i = 0; i < doc.frameTableCount; ++i) {
      const quorvel::frametype& f = doc.frames[static_cast<size_t>(i)];
      if (f.framepos < 0 || f.framelen < 0 || f.framepos + int64_t{f.framelen} > end) std::abort();
    }
    (void)quorvel::InfoLine(doc.sourceStats);
  } else if (ctx.script.errorText.empty()) {
    std::abort();  // a failure always says why
  }

  // The frame scan in two halves at once finds what one walk finds, whether
  // refused headers are passed over or stop the scan.
  quorvel::InputFile in;
  if (size > 0 && size < INT32_MAX && in.open(path)) {
    for (bool stopAtRefused : {false, true}) {
      ctx.script.active = !stopAtRefused;
      ctx.options.errorPolicy = stopAtRefused ? quorvel::kErrorFail : quorvel::kErrorTryToContinue;
      quorvel::ScanBuffer buffer;
      quorvel::FrameScanRules rules;
      rules.splitFrom = -1;
      quorvel::FrameScanResult one = quorvel::ScanFrames(ctx, in, static_cast<int32_t>(size), 0, rules, buffer);
      std::vector<quorvel::frametype> walked(ctx.doc.frames.begin(), ctx.doc.frames.begin() + one.count);
      rules.splitFrom = 0;
      quorvel::FrameScanResult two = quorvel::ScanFrames(ctx, in, static_cast<int32_t>(size), 0, rules, buffer);
      if (two.outcome != one.outcome || two.count != one.count || two.stopText != one.stopText) std::abort();
      for (int32_t k = 0; k < one.count; ++k) {
        const quorvel::frametype& a = walked[static_cast<size_t>(k)];
        const quorvel::frametype& b = ctx.doc.frames[static_cast<size_t>(k)];
        if (a.framepos != b.framepos || a.estimatedlen != b.estimatedlen || a.kbps != b.kbps || a.freqb != b.freqb ||
            a.stereo != b.stereo || a.spec != b.spec || a.amplify0 != b.amplify0 || a.amplify1 != b.amplify1)
          std::abort();
      }
    }
  }
  return 0;
}
