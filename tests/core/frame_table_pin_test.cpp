// Every fixture's frame table as it stands, compared with tests/data/frame-tables.txt.
// A change to the frame scan that alters any clean file's table fails here; the
// file differs only when a fixture is added.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "core/analysis.h"
#include "core/headless_host.h"

namespace quorvel {
namespace {

std::string TestData() {
  const char* dir = std::getenv("QUORVEL_TEST_DATA");
  return dir ? dir : "";
}

// One line: the file name, then either "refused" with the first line of the
// failure text, or the blocks found and every frame as
// framepos,framelen,estimatedlen,kbps,freqb,stereo,spec.
std::string TableLine(const std::string& path) {
  HeadlessHost host;
  Context ctx{host};
  ctx.doc.sourceName = path;
  std::ostringstream line;
  line << std::filesystem::path(path).filename().string();
  if (!Loadfile(ctx)) {
    std::string text = host.messages.empty() ? "" : host.messages.back().text;
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    line << " refused " << text;
    return line.str();
  }
  const SourceAnalysis& s = ctx.doc.source;
  line << " frames=" << ctx.doc.frameTableCount << " start=" << s.audioStart << " end=" << s.audioEnd
       << " behind=" << (s.behindHeaderFound ? s.behindHeaderLength : -1)
       << " footer=" << (s.footerFound ? s.footerPos : -1) << "+" << s.footerLength;
  for (int32_t i = 0; i < ctx.doc.frameTableCount; ++i) {
    const frametype& f = ctx.doc.frames[static_cast<size_t>(i)];
    line << ' ' << f.framepos << ',' << f.framelen << ',' << f.estimatedlen << ',' << int{f.kbps} << ','
         << int{f.freqb} << ',' << int{f.stereo} << ',' << int{f.spec};
  }
  return line.str();
}

TEST(FrameTablePin, EveryFixtureKeepsItsFrameTable) {
  const std::string data = TestData();
  ASSERT_FALSE(data.empty()) << "QUORVEL_TEST_DATA is not set";
  std::ifstream pinned(data + "/frame-tables.txt");
  ASSERT_TRUE(pinned) << "missing " << data << "/frame-tables.txt";
  std::map<std::string, std::string> expected;
  std::string line;
  while (std::getline(pinned, line)) {
    if (line.empty() || line[0] == '#') continue;
    expected[line.substr(0, line.find(' '))] = line;
  }
  std::map<std::string, std::string> actual;
  for (const auto& entry : std::filesystem::directory_iterator(data)) {
    std::string ext = entry.path().extension().string();
    if (ext != ".mp3" && ext != ".wav") continue;
    actual[entry.path().filename().string()] = TableLine(entry.path().string());
  }
  ASSERT_GE(actual.size(), 18u);
  // What the scan gives now, for a look when a line differs.
  std::ofstream out(std::filesystem::temp_directory_path() / "frame-tables.actual");
  for (const auto& [name, text] : actual) out << text << '\n';
  for (const auto& [name, text] : actual) {
    auto it = expected.find(name);
    ASSERT_NE(it, expected.end()) << name << " has no pinned line";
    EXPECT_EQ(text, it->second) << name;
  }
  EXPECT_EQ(actual.size(), expected.size());
}

}  // namespace
}  // namespace quorvel
