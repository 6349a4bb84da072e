// The tag commands of scripts: removal marks, the fields a script builds, and
// the tag those fields make when saved, read back by the reader and by mutagen.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/analysis.h"
#include "core/edit_fixture.h"
#include "core/headless_host.h"
#include "script/command_peers.h"
#include "script/commands.h"
#include "script/reader.h"
#include "script/tag_commands.h"
#include "tags/id3v2_catalogue.h"

namespace quorvel {
namespace {

using testing::LoadUniform;
using testing::TempFolder;
using testing::TestData;

class TagCommandTest : public ::testing::Test {
 protected:
  TagCommandTest() {
    ctx.script.active = true;
    LoadUniform(ctx, 100);
  }

  std::string Run(const std::string& line) {
    ExecuteStatement(ctx, line, ExecuteCommand);
    return ctx.script.errorText;
  }
  void RunAll(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) ASSERT_EQ(Run(line), "") << line;
  }
  const std::vector<Id3v2Field>& Fields() const { return ctx.doc.id3v2.fields; }

  HeadlessHost host;
  Context ctx{host};
};

TEST_F(TagCommandTest, SingleLineTexts) {
  struct Case {
    const char* line;
    uint8_t index;
    const char* text;
  };
  const Case cases[] = {
      {"ID3V2.TITLE Hello, World", 44, "Hello World"},
      {"ID3V2.TITLE \"Hello, World\"", 44, "Hello, World"},
      {"id3v2.title one two three four five six", 44, "one two three four"},
      {"ID3V2.TITLE \"two  blanks\"", 44, "two  blanks"},
      {"ID3V2.TITLE *\"quoted*\"", 44, "quoted"},
      {"ID3V2.ARTIST A", 58, "A"},
      {"ID3V2.ALBUM Al", 26, "Al"},
      {"ID3V2.GENRE Rock", 29, "Rock"},
      {"ID3V2.YEAR 2024", 76, "2024"},
      {"ID3V2.TRACK 3/12", 65, "3/12"},
      {"ID3V2.BPM 120", 27, "120"},
      {"ID3V2.COMPOSER C", 28, "C"},
      {"ID3V2.LYRICIST L", 39, "L"},
      {"ID3V2.ENCODER E", 38, "E"},
      {"ID3V2.(C) 2024 Someone", 30, "2024 Someone"},
      {"ID3V2.CGD G", 43, "G"},
      {"ID3V2.COMMENT a comment", 4, "a comment"},
      {"ID3V2.LYRICS la la", 80, "la la"},
  };
  for (const Case& c : cases) {
    ctx.doc.id3v2 = Id3v2TagState{};
    EXPECT_EQ(Run(c.line), "") << c.line;
    ASSERT_EQ(Fields().size(), 1u) << c.line;
    const Id3v2Field& f = Fields()[0];
    EXPECT_EQ(f.ind, c.index) << c.line;
    EXPECT_EQ(f.tansi, c.text) << c.line;
    EXPECT_EQ(f.tip, kFieldText);
    EXPECT_EQ(f.sub, Id3v2Catalogue[c.index].fel);
    EXPECT_EQ(f.akcija, 0x09);
    EXPECT_EQ(f.tlan, "eng");
    EXPECT_TRUE(f.tcont.empty());
    EXPECT_TRUE(f.tload.empty());
    EXPECT_EQ(f.spos, 0u);
    EXPECT_EQ(f.enc, kEncLatin1);
    EXPECT_EQ(ctx.doc.id3v2.textlist, std::vector<uint32_t>{0});
  }
}

TEST_F(TagCommandTest, EmptyTextsAddNothingAndKeepTheTag) {
  ctx.doc.id3v2.fields.resize(3);
  for (const char* line : {"ID3V2.TITLE", "ID3V2.TITLE \"\"", "ID3V2.URL"}) {
    EXPECT_EQ(Run(line), "") << line;
    EXPECT_EQ(Fields().size(), 3u) << line;
    EXPECT_FALSE(ctx.doc.id3v2.tagStarted);
  }
}

TEST_F(TagCommandTest, CharactersAboveAsciiMakeTheFieldUtf16) {
  struct Case {
    const char* line;
    uint8_t enc;
  };
  const Case cases[] = {
      {"ID3V2.TITLE plain", kEncLatin1},
      {"ID3V2.TITLE Grüße", kEncUtf16Bom},
      {"ID3V2.ARTIST Чайковский", kEncUtf16Bom},
      {"ID3V2.URL http://example.com/ Описание", kEncUtf16Bom},
      {"ID3V2.URL http://example.com/ plain", kEncLatin1},
  };
  for (const Case& c : cases) {
    ctx.doc.id3v2 = Id3v2TagState{};
    EXPECT_EQ(Run(c.line), "") << c.line;
    ASSERT_EQ(Fields().size(), 1u);
    EXPECT_EQ(Fields()[0].enc, c.enc) << c.line;
  }
}

TEST_F(TagCommandTest, UrlJoinsItsDescriptionWords) {
  RunAll({"ID3V2.URL http://a.example/", "ID3V2.URL \"http://b.example/?x=1,2\" my home page"});
  ASSERT_EQ(Fields().size(), 2u);
  EXPECT_EQ(Fields()[0].ind, 89);
  EXPECT_EQ(Fields()[0].sub, 5);
  EXPECT_EQ(Fields()[0].tansi, "http://a.example/");
  EXPECT_EQ(Fields()[0].tcont, "");
  EXPECT_EQ(Fields()[1].tansi, "http://b.example/?x=1,2");
  EXPECT_EQ(Fields()[1].tcont, "my home page");
}

TEST_F(TagCommandTest, Blocks) {
  RunAll({"ID3V2.COMMENT.START \"my note\"", "one", "two", "id3v2.comment.end"});
  ASSERT_EQ(Fields().size(), 1u);
  EXPECT_EQ(Fields()[0].ind, 4);
  EXPECT_EQ(Fields()[0].tansi, "one\r\ntwo");
  EXPECT_EQ(Fields()[0].tcont, "my note");
  EXPECT_EQ(Fields()[0].sub, 7);
  EXPECT_FALSE(ctx.script.blockOpen);

  // The other kind's end marker and a marker with a blank before it are text;
  // long lines and command words are collected too.
  const std::string longLine(5000, 'x');
  RunAll({"ID3V2.LYRICS.START", "ID3V2.COMMENT.END", " ID3V2.LYRICS.END", longLine, "SELECT 1",
          "ID3V2.LYRICS.END"});
  ASSERT_EQ(Fields().size(), 2u);
  EXPECT_EQ(Fields()[1].ind, 80);
  EXPECT_EQ(Fields()[1].tansi, "ID3V2.COMMENT.END\r\n ID3V2.LYRICS.END\r\n" + longLine + "\r\nSELECT 1");
  EXPECT_EQ(Fields()[1].tcont, "");
  EXPECT_EQ(ctx.doc.cursor, 0);

  // An empty block gives an empty field; non-ASCII lines make it UTF-16.
  RunAll({"ID3V2.COMMENT.START", "ID3V2.COMMENT.END", "ID3V2.COMMENT.START", "Ünïcödé", "ID3V2.COMMENT.END"});
  ASSERT_EQ(Fields().size(), 4u);
  EXPECT_EQ(Fields()[2].tansi, "");
  EXPECT_EQ(Fields()[3].enc, kEncUtf16Bom);

  // A block still open when the lines end never becomes a field.
  RunAll({"ID3V2.COMMENT.START", "unfinished"});
  EXPECT_EQ(Fields().size(), 4u);
}

TEST(PictureTypes, NamesAreExactUpperCase) {
  const std::pair<const char*, uint8_t> cases[] = {
      {"32X32_PNG_ICON", 1}, {"ICON", 2},         {"FRONT_COVER", 3},       {"BACK_COVER", 4},
      {"LEAFLET_PAGE", 5},   {"MEDIA", 6},        {"LEADING_ARTIST", 7},    {"ARTIST", 8},
      {"CONDUCTOR", 9},      {"BAND_OR_ORCHESTRA", 10}, {"COMPOSER", 11},   {"LYRICIST", 12},
      {"RECORDING_LOCATION", 13}, {"RECORDING", 14}, {"PERFORMANCE", 15},   {"SCREEN_CAPTURE", 16},
      {"ILLUSTRATION", 18},  {"ARTIST_LOGOTYPE", 19}, {"PUBLISHER_LOGOTYPE", 20},
      {"front_cover", 0},    {"ICO", 0},          {"", 0},                  {"FISH", 0},
      {"FRONT_COVER ", 0},   {"17", 0},
  };
  for (const auto& [name, type] : cases) EXPECT_EQ(PictureTypeFromName(name), type) << name;
}

TEST_F(TagCommandTest, PictureFields) {
  RunAll({"ID3V2.PICTURE c:\\a.jpg front_cover", "ID3V2.PICTURE \"/pics/my cover.png\" FRONT_COVER",
          "ID3V2.PICTURE /pics/x.png"});
  ASSERT_EQ(Fields().size(), 3u);
  EXPECT_EQ(Fields()[0].sub, 0);
  EXPECT_EQ(Fields()[0].tload, "c:\\a.jpg");
  EXPECT_EQ(Fields()[1].sub, 3);
  EXPECT_EQ(Fields()[1].tload, "/pics/my cover.png");
  EXPECT_EQ(Fields()[1].ind, 2);
  EXPECT_EQ(Fields()[1].tip, kFieldPicture);
  EXPECT_EQ(Fields()[1].akcija, 0x05);
  EXPECT_TRUE(Fields()[1].tansi.empty());
  EXPECT_EQ(ctx.doc.id3v2.piclist, (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_TRUE(ctx.doc.id3v2.textlist.empty());
}

TEST_F(TagCommandTest, FirstFieldReplacesTheSourceTag) {
  const std::filesystem::path fixture = TestData("tagged-v23-v1.mp3");
  ASSERT_FALSE(fixture.empty()) << "QUORVEL_TEST_DATA not set";
  ASSERT_EQ(Run("LOAD " + fixture.string()), "");
  ASSERT_GE(Fields().size(), 5u);
  ctx.options.newTagFormat = 4;
  RunAll({"ID3V2.ARTIST A", "SELECT 0.5", "ID3V2.TITLE T"});
  ASSERT_EQ(Fields().size(), 2u);
  EXPECT_EQ(Fields()[0].ind, 58);
  EXPECT_EQ(Fields()[1].ind, 44);
  EXPECT_EQ(ctx.doc.id3v2.tagversion.major, 4);
  EXPECT_EQ(ctx.doc.id3v2.textlist, (std::vector<uint32_t>{0, 1}));
}

TEST_F(TagCommandTest, RemovalMarks) {
  struct Case {
    const char* line;
    RemoveBoxes before;
    RemoveBoxes after;
  };
  const RemoveBox on{true, false};
  const RemoveBox checked{true, true};
  RemoveBoxes all;
  all.riff = all.id3v2 = all.behindHeader = all.footer = all.lyrics = all.id3v1 = on;
  RemoveBoxes onlyHeader;
  onlyHeader.behindHeader = on;
  RemoveBoxes onlyHeaderChecked;
  onlyHeaderChecked.behindHeader = checked;
  auto with = [](RemoveBoxes b, RemoveBox RemoveBoxes::*member, RemoveBox value) {
    b.*member = value;
    return b;
  };
  RemoveBoxes otherChecked = all;
  otherChecked.riff = otherChecked.behindHeader = otherChecked.footer = checked;
  const Case cases[] = {
      {"NOID3V2", all, with(all, &RemoveBoxes::id3v2, checked)},
      {"REMOVEID3V2", all, with(all, &RemoveBoxes::id3v2, checked)},
      {"NOID3V1", all, with(all, &RemoveBoxes::id3v1, checked)},
      {"REMOVEID3V1", all, with(all, &RemoveBoxes::id3v1, checked)},
      {"NOLYRICS", all, with(all, &RemoveBoxes::lyrics, checked)},
      {"REMOVELYRICS", all, with(all, &RemoveBoxes::lyrics, checked)},
      {"NOOTHER", all, otherChecked},
      {"REMOVEOTHER", onlyHeader, onlyHeaderChecked},
      {"NOID3V2", RemoveBoxes{}, RemoveBoxes{}},
      {"NOOTHER", RemoveBoxes{}, RemoveBoxes{}},
  };
  auto same = [](const RemoveBox& a, const RemoveBox& b) { return a.enabled == b.enabled && a.checked == b.checked; };
  for (const Case& c : cases) {
    ctx.doc.boxes = c.before;
    EXPECT_EQ(Run(c.line), "") << c.line;
    const RemoveBoxes& b = ctx.doc.boxes;
    EXPECT_TRUE(same(b.riff, c.after.riff) && same(b.id3v2, c.after.id3v2) &&
                same(b.behindHeader, c.after.behindHeader) && same(b.footer, c.after.footer) &&
                same(b.lyrics, c.after.lyrics) && same(b.id3v1, c.after.id3v1))
        << c.line;
  }
  // Removal commands never uncheck.
  ctx.doc.boxes = onlyHeaderChecked;
  ctx.doc.boxes.riff = checked;
  ctx.doc.boxes.riff.enabled = false;
  EXPECT_EQ(Run("NOOTHER"), "");
  EXPECT_TRUE(ctx.doc.boxes.behindHeader.checked);

  ctx.doc.editCount = 0;
  EXPECT_EQ(Run("NOLYRICS"), "NOLYRICS: No file loaded.");
  EXPECT_EQ(Run("REMOVEOTHER"), "REMOVEOTHER: No file loaded.");
}

// A 1 x 1 PNG picture.
const std::vector<uint8_t> kPng = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4,
    0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x00, 0x01, 0x00, 0x00,
    0x05, 0x00, 0x01, 0x0D, 0x0A, 0x2D, 0xB4, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE,
    0x42, 0x60, 0x82};

// The tag a script builds, saved in each version and read back by mutagen:
// texts outside ASCII arrive intact (UTF-16, encoding 1), ASCII texts stay
// ISO-8859-1, and the fields come in command order.
TEST_F(TagCommandTest, SavedScriptTagReadsBackInMutagen) {
  const std::filesystem::path fixture = TestData("tagged-v23-v1.mp3");
  ASSERT_FALSE(fixture.empty()) << "QUORVEL_TEST_DATA not set";
  ASSERT_TRUE(script_peers::MutagenAvailable()) << "mutagen is not installed (scripts/install-deps)";
  TempFolder dir;
  const std::filesystem::path picture = dir.path / "cover art.png";
  testing::WriteBytes(picture, kPng);

  struct Case {
    uint8_t format;
    const char* expected;
  };
  // mutagen reports 2.2 frames under their 2.3 names (a 2.2 picture keeps its
  // three-letter image format).
  const Case cases[] = {
      {3,
       "version|3\n"
       "TIT2|1|Grüße, Welt\n"
       "TPE1|1|Чайковский\n"
       "TALB|0|Plain Album\n"
       "COMM|1|Beschreibung=line one\r\nünï\n"
       "WXXX|0|home page=http://x.example/a?b=1\n"
       "APIC|0|3:image/png:67\n"
       "TYER|0|2025\n"},
      {4,
       "version|4\n"
       "TIT2|1|Grüße, Welt\n"
       "TPE1|1|Чайковский\n"
       "TALB|0|Plain Album\n"
       "COMM|1|Beschreibung=line one\r\nünï\n"
       "WXXX|0|home page=http://x.example/a?b=1\n"
       "APIC|0|3:image/png:67\n"
       "TYER|0|2025\n"},
      {2,
       "version|2\n"
       "TIT2|1|Grüße, Welt\n"
       "TPE1|1|Чайковский\n"
       "TALB|0|Plain Album\n"
       "COMM|1|Beschreibung=line one\r\nünï\n"
       "WXXX|0|home page=http://x.example/a?b=1\n"
       "APIC|0|3:PNG:67\n"
       "TYER|0|2025\n"},
  };
  for (const Case& c : cases) {
    ctx.options.newTagFormat = c.format;
    const std::filesystem::path out = dir.path / ("out " + std::to_string(c.format) + ".mp3");
    RunAll({"LOAD " + fixture.string(), "ID3V2.TITLE \"Grüße, Welt\"", "ID3V2.ARTIST Чайковский",
            "ID3V2.ALBUM Plain Album", "ID3V2.COMMENT.START Beschreibung", "line one", "ünï",
            "ID3V2.COMMENT.END", "ID3V2.URL http://x.example/a?b=1 home page",
            "ID3V2.PICTURE \"" + picture.string() + "\" FRONT_COVER", "ID3V2.YEAR 2025",
            "SAVEAS \"" + out.string() + "\""});
    std::string frames = script_peers::MutagenFrames(out, dir.path);
    // mutagen lists frames in its own order for 2.2 (converted) tags; compare as sets of lines.
    auto lines = [](const std::string& text) {
      std::vector<std::string> v;
      size_t start = 0;
      while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        v.push_back(text.substr(start, end - start));
        start = end + 1;
      }
      std::sort(v.begin() + (v.empty() ? 0 : 1), v.end());
      return v;
    };
    EXPECT_EQ(lines(frames), lines(c.expected)) << int{c.format};
    if (c.format != 2) {
      EXPECT_EQ(frames, c.expected) << int{c.format};
    }
  }
}

}  // namespace
}  // namespace quorvel
