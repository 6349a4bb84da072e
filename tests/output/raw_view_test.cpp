#include "output/raw_view.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/headless_host.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path DataFile(const char* name) {
  const char* dir = std::getenv("QUORVEL_TEST_DATA");
  return fs::path(dir != nullptr ? dir : "tests/data") / name;
}

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "quorvel-view-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr) path_ = buf.data();
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  fs::path write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    fs::path p = path_ / name;
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

constexpr const char* kRawReadError =
    "Disk read error. Perhaps the source file was either\r\nmoved, modified, renamed or deleted in "
    "the meantime?";

// --- Raw bytes as text ---

TEST(RawBytesText, ZeroAnd255AreSpacesControlCharactersQuestionMarks) {
  const uint8_t sample[] = {0x00, 0x07, 0x0D, 0x41, 0xFF};
  EXPECT_EQ(RawBytesText(sample, sizeof sample), " ?\rA ");

  struct Case {
    uint8_t byte;
    const char* text;
  };
  constexpr Case kCases[] = {
      {0x00, " "},  {0x01, "?"},    {0x09, "?"},        {0x0A, "\n"},        {0x0B, "?"},
      {0x0C, "?"},  {0x0D, "\r"},   {0x0E, "?"},        {0x1F, "?"},         {0x20, " "},
      {0x7E, "~"},  {0x7F, "\x7F"}, {0x80, "\xC2\x80"}, {0xE9, "\xC3\xA9"},  {0xFE, "\xC3\xBE"},
      {0xFF, " "},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(RawBytesText(&c.byte, 1), c.text) << int{c.byte};
  }
  EXPECT_EQ(RawBytesText(nullptr, 0), "");
}

// --- ViewRawBlock ---

struct RawCase {
  const char* name;
  int32_t position;
  int32_t length;
  bool fileMissing;
  // Expected: no message, the warning, or the text of bytes [position, position + shown).
  enum { kNothing, kWarning, kText } outcome;
  int32_t shown;
  bool truncatedLine;
};

TEST(ViewRawBlock, ShowsAtMost750BytesAndWarnsWhenTheFileCannotBeRead) {
  TempFolder tmp;
  ASSERT_FALSE(tmp.path().empty());
  std::vector<uint8_t> content(2000);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>('a' + i % 26);
  fs::path source = tmp.write("source.mp3", content);

  const RawCase kCases[] = {
      {"1000 bytes are cut to 750", 100, 1000, false, RawCase::kText, 750, true},
      {"exactly 750 bytes", 0, 750, false, RawCase::kText, 750, false},
      {"a short block", 1990, 10, false, RawCase::kText, 10, false},
      {"nothing to show", 10, 0, false, RawCase::kNothing, 0, false},
      {"negative length", 10, -5, false, RawCase::kNothing, 0, false},
      {"block beyond the end of the changed file", 1900, 200, false, RawCase::kWarning, 0, false},
      // 800 bytes are limited to 750, which still run past the end of the file.
      {"cut block beyond the end", 1500, 800, false, RawCase::kWarning, 0, false},
      {"file removed", 0, 10, true, RawCase::kWarning, 0, false},
      {"file removed, nothing to show", 0, 0, true, RawCase::kNothing, 0, false},
  };
  for (const RawCase& c : kCases) {
    SCOPED_TRACE(c.name);
    HeadlessHost host;
    Context ctx(host);
    ctx.doc.sourceName = c.fileMissing ? (tmp.path() / "gone.mp3").string() : source.string();
    ViewRawBlock(ctx, c.position, c.length, "caption:");
    switch (c.outcome) {
      case RawCase::kNothing:
        EXPECT_TRUE(host.messages.empty());
        break;
      case RawCase::kWarning:
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, kRawReadError);
        EXPECT_EQ(host.messages[0].kind, 2);
        EXPECT_EQ(host.messages[0].caption, "warning");
        break;
      case RawCase::kText: {
        ASSERT_EQ(host.messages.size(), 1u);
        std::string want(content.begin() + c.position, content.begin() + c.position + c.shown);
        if (c.truncatedLine) want += "\r\n- over 750 bytes, truncated -";
        EXPECT_EQ(host.messages[0].text, want);
        EXPECT_EQ(host.messages[0].kind, 0);
        EXPECT_EQ(host.messages[0].caption, "caption:");
        break;
      }
    }
  }
}

// --- The view commands on a real file with foreign data around the frames ---

TEST(ViewCommands, UnknownHeaderAndFooterOfAFixture) {
  fs::path file = DataFile("unknown-header-footer.mp3");
  std::vector<uint8_t> bytes = ReadAll(file);
  ASSERT_GT(bytes.size(), 320u) << file;
  HeadlessHost host;
  Context ctx(host);
  ctx.doc.sourceName = file.string();
  ctx.doc.loaded = true;
  SourceAnalysis& s = ctx.doc.source;
  s.behindHeaderFound = true;
  s.behindHeaderPos = 0;
  s.behindHeaderLength = 120;
  s.footerFound = true;
  s.footerPos = static_cast<int32_t>(bytes.size()) - 200;
  s.footerLength = 200;

  ViewUnknownHeaderClick(ctx);
  ViewUnknownFooterClick(ctx);
  ASSERT_EQ(host.messages.size(), 2u);
  std::string head = "JUNKHEAD ?????????\n??\r??????????????????";
  head += " !\"#$%&'()*+,-./0123456789:;<=>?unknown leading data";
  EXPECT_EQ(host.messages[0].text.substr(0, head.size()), head);
  EXPECT_EQ(host.messages[0].text.size(), 120u);
  EXPECT_EQ(host.messages[0].caption, "Behind-header data:");
  EXPECT_EQ(host.messages[0].kind, 0);
  EXPECT_EQ(host.messages[1].text, std::string(bytes.end() - 200, bytes.end()));
  EXPECT_EQ(host.messages[1].caption, "Unknown footer data:");
  EXPECT_EQ(host.messages[1].kind, 0);
}

TEST(ViewCommands, RefusedWhileNotReadyInAScriptOrWithoutTheirBlock) {
  TempFolder tmp;
  ASSERT_FALSE(tmp.path().empty());
  fs::path file = tmp.write("s.mp3", Bytes("HEADERxxxxLYRICSBEGINHelloLYRICSENDFOOTER"));

  using Command = void (*)(Context&);
  struct Case {
    const char* name;
    Command command;
    std::function<void(Context&)> setUp;
  };
  const Case kCases[] = {
      {"header, busy", ViewUnknownHeaderClick, [](Context& c) { c.doc.busy = true; }},
      {"header, busy cursor", ViewUnknownHeaderClick, [](Context& c) { c.busyCursor = true; }},
      {"header, volume dialog", ViewUnknownHeaderClick, [](Context& c) { c.doc.volumeDialogOpen = true; }},
      {"header, script", ViewUnknownHeaderClick, [](Context& c) { c.script.active = true; }},
      {"header, none found", ViewUnknownHeaderClick,
       [](Context& c) { c.doc.source.behindHeaderFound = false; }},
      {"footer, busy", ViewUnknownFooterClick, [](Context& c) { c.doc.busy = true; }},
      {"footer, fade dialog", ViewUnknownFooterClick, [](Context& c) { c.doc.fadeDialogOpen = true; }},
      {"footer, script", ViewUnknownFooterClick, [](Context& c) { c.script.active = true; }},
      {"footer, none found", ViewUnknownFooterClick, [](Context& c) { c.doc.source.footerFound = false; }},
      {"lyrics, busy", ViewLyrics3Click, [](Context& c) { c.doc.busy = true; }},
      {"lyrics, player hand-over", ViewLyrics3Click, [](Context& c) { c.doc.playerHandOver = true; }},
      {"lyrics, silent script", ViewLyrics3Click,
       [](Context& c) {
         c.script.active = true;
         c.script.silent = true;
       }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    HeadlessHost host;
    Context ctx(host);
    ctx.doc.sourceName = file.string();
    ctx.doc.loaded = true;
    SourceAnalysis& s = ctx.doc.source;
    s.behindHeaderFound = true;
    s.behindHeaderPos = 0;
    s.behindHeaderLength = 6;
    s.lyricsFound = true;
    s.lyricsVersion = 1;
    s.lyricsPos = 10;
    s.lyricsEndPos = 26;
    s.lyricsLength = 25;
    s.footerFound = true;
    s.footerPos = 35;
    s.footerLength = 6;
    // Each command shows its block when nothing holds it back...
    c.command(ctx);
    ASSERT_EQ(host.messages.size(), 1u);
    host.messages.clear();
    // ...and nothing at all when something does.
    c.setUp(ctx);
    c.command(ctx);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(ctx.script.resultCode, 0);
  }
}

// --- Lyrics3 ---

struct LyricsCase {
  const char* name;
  std::string block;
  int version;
  std::string text;
  int kind;
  const char* caption;
};

TEST(Lyrics3ViewText, TableOfBlocks) {
  const std::string longV1 = "LYRICSBEGIN" + std::string(3000, 'x');
  std::string accents;
  for (int i = 0; i < 2100; ++i) accents += "\xC3\xA9";  // 2,100 characters, 4,200 bytes
  std::string accentsShown;
  for (int i = 0; i < 2048; ++i) accentsShown += "\xC3\xA9";

  const LyricsCase kCases[] = {
      {"v1 Hello", "LYRICSBEGINHello", 1, "Hello", 0, "Lyrics3 "},
      {"v1 with its end marker", "LYRICSBEGINHelloLYRICSEND", 1, "Hello", 0, "Lyrics3 "},
      {"v1 lines", "LYRICSBEGINone\r\ntwo", 1, "one\r\ntwo", 0, "Lyrics3 "},
      {"v2 IND and LYR", "LYRICSBEGININD00003110LYR00005Hello000035", 2, "Hello", 0, "Lyrics3 v2"},
      {"v2 with its end marker", "LYRICSBEGINLYR00005Hello000024LYRICS200", 2, "Hello", 0, "Lyrics3 v2"},
      {"v2 LYR after other fields",
       "LYRICSBEGININD00003110ETT00009Test ToneLYR00005La laEAR00001Q000060", 2, "La la", 0,
       "Lyrics3 v2"},
      {"v2 without LYR", "LYRICSBEGININD00003110ETT00004Tone000033", 2, "- empty tag -", 2, "Lyrics3 v2"},
      {"v2 LYR too near the end", "LYRICSBEGINxxLYR0000", 2, "- empty tag -", 2, "Lyrics3 v2"},
      {"v2 size not a number", "LYRICSBEGINLYR0x005Hello000024", 2, "LYR0x005Hello000024", 0,
       "Lyrics3 v2"},
      {"v2 size zero", "LYRICSBEGINLYR00000Hello000024", 2, "LYR00000Hello000024", 0, "Lyrics3 v2"},
      {"v2 size 65536 (low 16 bits zero)", "LYRICSBEGINLYR65536Hello000024", 2,
       "LYR65536Hello000024", 0, "Lyrics3 v2"},
      {"v2 size not below the length", "LYRICSBEGINLYR00019Hello000024", 2, "LYR00019Hello000024", 0,
       "Lyrics3 v2"},
      {"v2 size runs past the end", "LYRICSBEGINLYR00018Hello000024", 2, "Hello000024", 0,
       "Lyrics3 v2"},
      {"no LYRICSBEGIN", "LYRICSBEGlNHello", 1, "Unknown error!", 1, "warning"},
      {"empty", "", 1, "Unknown error!", 1, "warning"},
      {"longer than 2,048 characters", longV1, 1,
       std::string(2048, 'x') + "\r\n*** TOO LONG, TRUNCATED ***", 0, "Lyrics3 "},
      {"characters, not bytes, are counted", "LYRICSBEGIN" + accents, 1,
       accentsShown + "\r\n*** TOO LONG, TRUNCATED ***", 0, "Lyrics3 "},
      {"ISO-8859-1 lyrics", "LYRICSBEGINCaf\xE9", 1, "Caf\xC3\xA9", 0, "Lyrics3 "},
      {"UTF-8 lyrics", "LYRICSBEGINLYR00004Caf\xC3\xA9" "000024", 2, "Caf\xC3\xA9", 0, "Lyrics3 v2"},
  };
  for (const LyricsCase& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = Bytes(c.block);
    Lyrics3View v = Lyrics3ViewText(bytes, c.version);
    EXPECT_EQ(v.text, c.text);
    EXPECT_EQ(v.kind, c.kind);
    EXPECT_EQ(v.caption, c.caption);
  }
}

TEST(ViewLyrics3, ShowsTheLyricsFieldOfAFixture) {
  fs::path file = DataFile("lyrics3v2-v1.mp3");
  std::vector<uint8_t> bytes = ReadAll(file);
  std::string all(bytes.begin(), bytes.end());
  size_t begin = all.find("LYRICSBEGIN");
  size_t end = all.find("LYRICS200");
  ASSERT_NE(begin, std::string::npos) << file;
  ASSERT_NE(end, std::string::npos);
  HeadlessHost host;
  Context ctx(host);
  ctx.doc.sourceName = file.string();
  ctx.doc.loaded = true;
  SourceAnalysis& s = ctx.doc.source;
  s.lyricsFound = true;
  s.lyricsVersion = 2;
  s.lyricsPos = static_cast<int32_t>(begin);
  s.lyricsEndPos = static_cast<int32_t>(end);
  s.lyricsLength = s.lyricsEndPos - s.lyricsPos + 9;
  ViewLyrics3Click(ctx);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "[00:00]La la la\r\n[00:01]Tone in A");
  EXPECT_EQ(host.messages[0].kind, 0);
  EXPECT_EQ(host.messages[0].caption, "Lyrics3 v2");
}

TEST(ViewLyrics3, FailuresOfTheBlockAndTheFile) {
  TempFolder tmp;
  ASSERT_FALSE(tmp.path().empty());
  fs::path file = tmp.write("v1.mp3", Bytes("xxxxLYRICSBEGINHelloLYRICSEND"));
  struct Case {
    const char* name;
    bool found;
    int32_t pos;
    int32_t endPos;
    bool fileMissing;
    const char* text;
    int kind;
    const char* caption;
  };
  constexpr const char* kReadError = "Error reading the file. Perhaps it was moved or modified.";
  constexpr Case kCases[] = {
      {"v1 block", true, 4, 20, false, "Hello", 0, "Lyrics3 "},
      {"empty range", true, 20, 20, false, "Unknown error!", 1, "warning"},
      {"reversed range", true, 20, 4, false, "Unknown error!", 1, "warning"},
      {"no block found", false, -1, 20, false, "Unknown error!", 1, "warning"},
      {"file removed", true, 4, 20, true, kReadError, 2, "warning"},
      {"file shorter than recorded", true, 4, 40, false, kReadError, 2, "warning"},
      {"block no longer there", true, 0, 16, false, "Unknown error!", 1, "warning"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    HeadlessHost host;
    Context ctx(host);
    ctx.doc.sourceName = c.fileMissing ? (tmp.path() / "gone.mp3").string() : file.string();
    ctx.doc.loaded = true;
    SourceAnalysis& s = ctx.doc.source;
    s.lyricsFound = c.found;
    s.lyricsVersion = 1;
    s.lyricsPos = c.pos;
    s.lyricsEndPos = c.endPos;
    ViewLyrics3Click(ctx);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, c.text);
    EXPECT_EQ(host.messages[0].kind, c.kind);
    EXPECT_EQ(host.messages[0].caption, c.caption);
  }
}

}  // namespace
}  // namespace quorvel
