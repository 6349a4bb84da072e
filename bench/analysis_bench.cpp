// Times the source analysis of a large file against reading the same file with
// plain read() calls of 1 MB, each the median of N runs (default 5), and prints
// both speeds and their ratio. The page cache should be warm (run_analysis_bench.sh
// reads the file first), so both sides measure work on memory, not the disk.
//
//   analysis_bench FILE [RUNS]

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/analysis.h"
#include "core/context.h"
#include "core/headless_host.h"
#include "core/options.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// Reads the whole file in 1 MB blocks; returns the seconds taken, or -1 on an error.
// The byte sum keeps the compiler from dropping the reads.
double TimePlainRead(const char* path, unsigned long& checksum) {
  std::vector<unsigned char> buffer(1000000);
  auto start = Clock::now();
  int fd = ::open(path, O_RDONLY);
  if (fd < 0) return -1;
  unsigned long sum = 0;
  for (;;) {
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0) {
      ::close(fd);
      return -1;
    }
    if (n == 0) break;
    sum += buffer[0] + buffer[static_cast<size_t>(n) - 1];
  }
  ::close(fd);
  auto end = Clock::now();
  checksum += sum;
  return Seconds(start, end);
}

// Runs Loadfile on ctx; returns the seconds taken and the frame count.
double TimeAnalysis(quorvel::Context& ctx, const char* path, int32_t& frames, std::string& error) {
  ctx.doc.sourceName = path;
  auto start = Clock::now();
  quorvel::Loadfile(ctx);
  auto end = Clock::now();
  frames = ctx.doc.frameTableCount;
  if (!ctx.doc.loaded) error = ctx.script.errorText.empty() ? "not loaded" : ctx.script.errorText;
  return Seconds(start, end);
}

// A context as a silent script run has it: nothing asks, problems are passed over.
struct SilentContext {
  SilentContext() : ctx(host) {
    host.defaultAnswer = quorvel::kAnswerNo;
    ctx.options.errorPolicy = quorvel::kErrorTryToContinue;
    ctx.script.active = true;
    ctx.script.silent = true;
  }
  quorvel::HeadlessHost host;
  quorvel::Context ctx;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: analysis_bench FILE [RUNS]\n");
    return 2;
  }
  const char* path = argv[1];
  int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  if (runs < 1) runs = 1;
  struct stat st {};
  if (::stat(path, &st) != 0) {
    std::fprintf(stderr, "cannot stat %s\n", path);
    return 1;
  }
  double megabytes = static_cast<double>(st.st_size) / 1e6;

  // One untimed run of each first; then the two alternate so that both see the
  // same state of the machine. Two analysis figures: loading into a new context
  // (the frame table and edit list are allocated and first touched), and loading
  // again into the context of the previous load, as an editor that opens one
  // file after another does.
  unsigned long checksum = 0;
  int32_t frames = 0;
  std::string error;
  TimePlainRead(path, checksum);
  SilentContext reused;
  TimeAnalysis(reused.ctx, path, frames, error);
  if (!error.empty()) {
    std::fprintf(stderr, "the analysis failed: %s\n", error.c_str());
    return 1;
  }
  std::vector<double> readTimes, freshTimes, reloadTimes;
  for (int i = 0; i < runs; ++i) {
    double r = TimePlainRead(path, checksum);
    if (r < 0) {
      std::fprintf(stderr, "cannot read %s\n", path);
      return 1;
    }
    readTimes.push_back(r);
    {
      SilentContext fresh;
      freshTimes.push_back(TimeAnalysis(fresh.ctx, path, frames, error));
    }
    reloadTimes.push_back(TimeAnalysis(reused.ctx, path, frames, error));
  }
  const double readMedian = Median(readTimes);
  const double freshMedian = Median(freshTimes);
  const double reloadMedian = Median(reloadTimes);
  std::printf("size: %.1f MB, %d frames, median of %d runs (checksum %lu)\n", megabytes,
              static_cast<int>(frames), runs, checksum % 1000);
  std::printf("plain read (1 MB blocks):       %8.3f s  %8.1f MB/s\n", readMedian,
              megabytes / readMedian);
  std::printf("analysis, new context:          %8.3f s  %8.1f MB/s  ratio %.2f\n", freshMedian,
              megabytes / freshMedian, freshMedian / readMedian);
  std::printf("analysis, context of last load: %8.3f s  %8.1f MB/s  ratio %.2f\n", reloadMedian,
              megabytes / reloadMedian, reloadMedian / readMedian);
  return 0;
}
