// libFuzzer target: script statements on a loaded document. The input is cut
// into lines and each line runs through ExecuteStatement with the real commands,
// as in a silent run that ignores errors, on a fresh copy of a fixture.
//
// The run happens in a private folder that is the current folder. Inputs that
// contain "/" are skipped, so every file name a statement can name lies in that
// folder; after each input every file that appeared there must be a name that a
// statement of the input gave as a parameter (a script never writes elsewhere),
// or that name + ".mmtmpmp3", the temporary file a save leaves when its final
// rename fails (a target that is a folder, for example).
//
//   QUORVEL_FUZZ_MP3=tests/data/tagged-v23-v1.mp3 \
//   build-fuzz/fuzz/script_fuzz -rss_limit_mb=2048 fuzz/out/script fuzz/corpus/script

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "core/analysis.h"
#include "core/context.h"
#include "core/headless_host.h"
#include "core/options.h"
#include "script/commands.h"
#include "script/reader.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxLines = 64;
// Past this many frames a statement could write hundreds of megabytes; the rest
// of the input is not run.
constexpr int32_t kMaxFrames = 20000;
constexpr const char* kSource = "source.mp3";
constexpr const char* kLog = "fuzz.log";

std::set<std::string>* g_named = nullptr;

// Every parameter a statement was given may be a file name.
void RecordingCommand(quorvel::Context& ctx, quorvel::ScriptCommand command) {
  const quorvel::ScriptStatement& st = ctx.script.statement;
  if (g_named != nullptr) {
    for (size_t i = 1; i <= 4; ++i) {
      std::string p = st.param[i];
      g_named->insert(p);
      // LOAD, SAVEAS and INSERT drop a quote left at either end by the escapes.
      if (!p.empty() && p.back() == '"') p.pop_back();
      if (!p.empty() && p.front() == '"') p.erase(0, 1);
      g_named->insert(p);
    }
  }
  quorvel::ExecuteCommand(ctx, command);
}

std::string FixturePath() {
  const char* env = std::getenv("QUORVEL_FUZZ_MP3");
  if (env != nullptr && *env != '\0') return fs::absolute(env).string();
  return fs::absolute("tests/data/tagged-v23-v1.mp3").string();
}

fs::path& Sandbox() {
  static fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "quorvel-script-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return fs::path(pattern);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string fixture = FixturePath();
  static const bool ready = [] {
    if (!fs::exists(fixture)) {
      std::fprintf(stderr, "script_fuzz: fixture %s not found (set QUORVEL_FUZZ_MP3)\n", fixture.c_str());
      std::abort();
    }
    fs::current_path(Sandbox());
    return true;
  }();
  (void)ready;

  std::string input(reinterpret_cast<const char*>(data), size);
  if (input.find('/') != std::string::npos) return 0;

  std::error_code ec;
  fs::copy_file(fixture, Sandbox() / kSource, fs::copy_options::overwrite_existing, ec);
  if (ec) std::abort();

  quorvel::HeadlessHost host;
  host.defaultAnswer = quorvel::kAnswerNo;
  quorvel::Context ctx(host);
  ctx.options.errorPolicy = quorvel::kErrorTryToContinue;
  ctx.options.mainFlags |= quorvel::kIgnoreErrorsSilent;
  ctx.options.logPath = (Sandbox() / kLog).string();
  ctx.options.lastSaveFolder = Sandbox().string();
  // Working files (the settings folder's) are not the script's doing.
  static const std::string settings = [] {
    std::string pattern = (fs::temp_directory_path() / "quorvel-script-fuzz-settings-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern + "/";
  }();
  ctx.settingsFolder = settings;
  ctx.script.active = true;
  ctx.script.silent = true;
  ctx.doc.sourceName = kSource;
  quorvel::Loadfile(ctx);

  std::set<std::string> named = {kSource, kLog};
  g_named = &named;
  size_t start = 0;
  for (size_t lines = 0; start <= input.size() && lines < kMaxLines; ++lines) {
    size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    std::string line = input.substr(start, end - start);
    std::erase(line, '\r');
    ctx.script.statement.lineNumber = static_cast<int64_t>(lines + 1);
    if (quorvel::ExecuteStatement(ctx, line, RecordingCommand)) break;
    if (ctx.doc.editCount > kMaxFrames) break;
    start = end + 1;
  }
  g_named = nullptr;

  // Only named files may have appeared, and no temporary file may be left.
  for (const auto& entry : fs::directory_iterator(Sandbox())) {
    std::string name = entry.path().filename().string();
    // A save whose final rename failed leaves its temporary file beside the
    // named target on purpose (the statement's message says so).
    const std::string temp = ".mmtmpmp3";
    bool leftTemporary = name.size() > temp.size() && name.compare(name.size() - temp.size(), temp.size(), temp) == 0 &&
                         named.count(name.substr(0, name.size() - temp.size())) != 0;
    if (named.count(name) == 0 && !leftTemporary) {
      std::fprintf(stderr, "script_fuzz: a file no statement named was written: %s\n", name.c_str());
      std::abort();
    }
    fs::remove_all(entry.path(), ec);
  }
  return 0;
}
