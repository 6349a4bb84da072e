// libFuzzer target: the source analysis (leading and trailing blocks, the frame
// scan, the ID3v2 and ID3v1 readers) on arbitrary file contents. The input is
// written to a temporary file and loaded as in a silent script run, so nothing
// asks a question.
//
//   build-fuzz/fuzz/analysis_fuzz -rss_limit_mb=2048 fuzz/out/analysis fuzz/corpus/analysis

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

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
  return 0;
}
