// Times the source analysis of a large file against reading the same file with
// plain read() calls of 1 MB, each the median of N runs (default 5), and prints
// both speeds and their ratio. The page cache should be warm (run_analysis_bench.sh
// reads the file first), so both sides measure work on memory, not the disk.
// Wall-clock time gives the speeds; the process's CPU time is printed beside it
// because on a busy machine it varies less from run to run.
//
//   analysis_bench FILE [RUNS]

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
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

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Timing {
  double wall = 0;
  double cpu = 0;
};

class Stopwatch {
 public:
  Stopwatch() : wall_(Clock::now()), cpu_(CpuSeconds()) {}
  Timing elapsed() const {
    return {std::chrono::duration<double>(Clock::now() - wall_).count(), CpuSeconds() - cpu_};
  }

 private:
  Clock::time_point wall_;
  double cpu_;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// Reads the whole file in 1 MB blocks; false on an error.
// The byte sum keeps the compiler from dropping the reads.
bool TimePlainRead(const char* path, unsigned long& checksum, Timing& timing) {
  std::vector<unsigned char> buffer(1000000);
  Stopwatch watch;
  int fd = ::open(path, O_RDONLY);
  if (fd < 0) return false;
  unsigned long sum = 0;
  for (;;) {
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    sum += buffer[0] + buffer[static_cast<size_t>(n) - 1];
  }
  ::close(fd);
  timing = watch.elapsed();
  checksum += sum;
  return true;
}

// Runs Loadfile on ctx; returns the time taken and the frame count.
Timing TimeAnalysis(quorvel::Context& ctx, const char* path, int32_t& frames, std::string& error) {
  ctx.doc.sourceName = path;
  error.clear();
  Stopwatch watch;
  quorvel::Loadfile(ctx);
  Timing timing = watch.elapsed();
  frames = ctx.doc.frameTableCount;
  if (!ctx.doc.loaded) error = ctx.script.errorText.empty() ? "not loaded" : ctx.script.errorText;
  return timing;
}

struct Series {
  std::vector<double> wall;
  std::vector<double> cpu;
  void add(const Timing& t) {
    wall.push_back(t.wall);
    cpu.push_back(t.cpu);
  }
};

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
  Timing timing;
  if (!TimePlainRead(path, checksum, timing)) {
    std::fprintf(stderr, "cannot read %s\n", path);
    return 1;
  }
  SilentContext reused;
  TimeAnalysis(reused.ctx, path, frames, error);
  if (!error.empty() || frames <= 0) {
    std::fprintf(stderr, "the analysis failed: %s (%d frames)\n", error.empty() ? "no frames" : error.c_str(),
                 static_cast<int>(frames));
    return 1;
  }
  // Every timed analysis must load the file and find the same frames as the
  // untimed one; a run that failed early would otherwise pass as a fast one.
  const int32_t expectedFrames = frames;
  auto checkRun = [&](const char* which, int run) {
    if (error.empty() && frames == expectedFrames) return true;
    std::fprintf(stderr, "timed run %d (%s) failed: %s, %d frames instead of %d\n", run + 1, which,
                 error.empty() ? "loaded" : error.c_str(), static_cast<int>(frames),
                 static_cast<int>(expectedFrames));
    return false;
  };
  Series read, fresh, reload;
  for (int i = 0; i < runs; ++i) {
    if (!TimePlainRead(path, checksum, timing)) {
      std::fprintf(stderr, "cannot read %s\n", path);
      return 1;
    }
    read.add(timing);
    {
      SilentContext context;
      fresh.add(TimeAnalysis(context.ctx, path, frames, error));
      if (!checkRun("new context", i)) return 1;
    }
    reload.add(TimeAnalysis(reused.ctx, path, frames, error));
    if (!checkRun("context of last load", i)) return 1;
  }
  const double readWall = Median(read.wall);
  const double readCpu = Median(read.cpu);
  std::printf("size: %.1f MB, %d frames, median of %d runs (checksum %lu)\n", megabytes,
              static_cast<int>(frames), runs, checksum % 1000);
  std::printf("%-32s %8s %10s %7s %8s %7s\n", "", "wall s", "MB/s", "ratio", "cpu s", "ratio");
  auto line = [&](const char* name, const Series& series) {
    const double wall = Median(series.wall);
    const double cpu = Median(series.cpu);
    std::printf("%-32s %8.3f %10.1f %7.2f %8.3f %7.2f\n", name, wall, megabytes / wall,
                wall / readWall, cpu, cpu / readCpu);
  };
  line("plain read (1 MB blocks)", read);
  line("analysis, new context", fresh);
  line("analysis, context of last load", reload);
  return 0;
}
