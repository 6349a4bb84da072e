#include "tags/transfer.h"

#include <gtest/gtest.h>

#include <string>

#include "tags/text_helpers.h"

namespace quorvel {
namespace {

TEST(TextHelpers, TrimCleanRemoveFit) {
  using namespace std::string_literals;
  struct Case {
    std::string in;
    std::string trim, clean, removed;
  } cases[] = {
      {"  a b  ", "a b", "a b", "ab"},
      {"\0 a\0"s, "a", "a", "a"},
      {"\t a \r\n", "\t a \r\n", "a", "\ta\r\n"},
      {"", "", "", ""},
      {"   ", "", "", ""},
      {"\x01x\x1F", "\x01x\x1F", "x", "\x01x\x1F"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(TrimSpaces(c.in), c.trim);
    EXPECT_EQ(CleanTrim(c.in), c.clean);
    EXPECT_EQ(RemoveSpaces(c.in), c.removed);
  }

  std::string e20;
  for (int i = 0; i < 20; ++i) e20 += "\xC3\xA9";
  struct FitCase {
    const char* name;
    std::string in;
    size_t width;
    std::string out;
  } fits[] = {
      {"short text unchanged", " ab ", 30, " ab "},
      {"too many characters trimmed first", "  " + std::string(30, 'x') + "  ", 30, std::string(30, 'x')},
      {"then cut to the width", std::string(40, 'y'), 30, std::string(30, 'y')},
      {"date to year", "2004-05-01", 4, "2004"},
      {"few characters but too many bytes", e20, 30, e20.substr(0, 30)},
      {"never half a character", "a" + e20, 30, "a" + e20.substr(0, 28)},
  };
  for (const auto& c : fits) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FitToBytes(c.in, c.width), c.out);
  }
}

TEST(TextHelpers, Utf8Characters) {
  EXPECT_EQ(CharacterCount("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5"), 4u);
  EXPECT_EQ(CharacterCount("\xC3"), 1u);  // a cut sequence counts as one
  std::string s = "a\xE2\x82\xAC";
  DropLastCharacter(s);
  EXPECT_EQ(s, "a");
  EXPECT_EQ(FirstCharacters("\xC3\xA9\xC3\xA9x", 2), "\xC3\xA9\xC3\xA9");
  EXPECT_EQ(FirstCharacters("ab", 5), "ab");
  // Overlong forms and encoded surrogates are not UTF-8.
  EXPECT_EQ(ToValidUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");
  EXPECT_EQ(ToValidUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");
}

TEST(TransferSettings, EffectiveWordAndRemembering) {
  EXPECT_EQ(EffectiveTransferSettings(0), kTransferDefault | kTransferNoDialog);
  EXPECT_EQ(EffectiveTransferSettings(0x0105), 383u | kTransferNoDialog);  // not remembered
  EXPECT_EQ(EffectiveTransferSettings(0x0203), 0x0203u | kTransferNoDialog);
  EXPECT_EQ(TransferDialogStartSettings(0x0011), 383u);
  EXPECT_EQ(TransferDialogStartSettings(0x0311), 0x0311u);

  uint32_t v1v2 = 1, v2v1 = 2;
  RememberTransferSettings(0x0101, TransferDirection::kV1ToV2, v1v2, v2v1);  // no remember bit
  EXPECT_EQ(v1v2, 1u);
  RememberTransferSettings(0x0201, TransferDirection::kV2ToV1, v1v2, v2v1);
  EXPECT_EQ(v1v2, 1u);
  EXPECT_EQ(v2v1, 0x0201u);
  RememberTransferSettings(0x0283 | kTransferNoDialog, TransferDirection::kV1ToV2, v1v2, v2v1);
  EXPECT_EQ(v1v2, 0x0283u);
  EXPECT_EQ(v2v1, 0x0283u);
}

TEST(Transfer, NoFieldsChosen) {
  Id3v1EditorFields v1{"t", "a", "b", "c", "1999", "", 3, false};
  Id3v2EditorFields v2{"T", "A", "B", "C", "2000", "4", "Rock"};
  for (uint32_t word : {0x100u, 0x100u | kTransferNoDialog}) {
    auto r = TransferV1ToV2(v1, v2, word);
    EXPECT_FALSE(r.ran);
    EXPECT_EQ(r.fields, v2);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].kind, 2);
    EXPECT_EQ(r.messages[0].caption, "tag transfer");
    auto back = TransferV2ToV1(v2, v1, word);
    EXPECT_FALSE(back.ran);
    EXPECT_EQ(back.fields, v1);
    ASSERT_EQ(back.messages.size(), 1u);
    EXPECT_EQ(back.messages[0].text, r.messages[0].text);
  }
  EXPECT_EQ(TransferV1ToV2(v1, v2, 0x100).messages[0].text, "You chose no fields to copy.");
  EXPECT_EQ(TransferV1ToV2(v1, v2, kTransferNoDialog).messages[0].text,
            "You chose no fields to copy.\r\n\r\nMake sure you have checked the \"show dialog box\" checkbox,\r\n"
            "and then set the options in the dialog appropriately.\r\n\r\nAlso note that saving state of these "
            "options can be disabled,\r\nand that you can perform one-time partial transfers.");
}

TEST(Transfer, V1ToV2WithDefaultsCopiesAllSevenFields) {
  Id3v1EditorFields v1{"Title", "Artist", "Album", "Comment", " 1999 ", " 7 ", 17, true};
  Id3v2EditorFields v2{"old", "old", "old", "old", "2000", "3/12", "Pop"};
  auto r = TransferV1ToV2(v1, v2, EffectiveTransferSettings(0));
  ASSERT_TRUE(r.ran);
  EXPECT_EQ(r.fields, (Id3v2EditorFields{"Title", "Artist", "Album", "Comment", "1999", "7", "Rock"}));
  EXPECT_EQ(r.changed, kTransferFieldMask);
  EXPECT_TRUE(r.messages.empty());
}

TEST(Transfer, V1ToV2Table) {
  const Id3v2EditorFields filled{"T2", "A2", "B2", "C2", " 2000 ", "5", "Pop"};
  const Id3v2EditorFields blank{"", "", "", "", " ", "\t", ""};
  struct Case {
    const char* name;
    Id3v1EditorFields v1;
    Id3v2EditorFields v2;
    uint32_t settings;
    Id3v2EditorFields expected;
    uint32_t changed;
  } cases[] = {
      {"blank-only keeps filled fields", {"t", "a", "b", "c", "1999", "1", 0, true}, filled, 0x7F, filled, 0},
      {"blank-only fills blank fields", {"t", "a", "b", "c", "1999", "1", 0, true}, blank, 0x7F,
       {"t", "a", "b", "c", "1999", "1", "Blues"}, 0x7F},
      {"no genre clears the v2 genre", {"", "", "", "", "", "", -1, false}, filled, 0x108, {"T2", "A2", "B2", "C2", " 2000 ", "5", ""},
       kTransferGenre},
      {"same year after trimming is not written", {"", "", "", "", "2000", "", -1, false}, filled, 0x120, filled, 0},
      {"track outside 0..255 clears", {"", "", "", "", "", "300", -1, true}, filled, 0x140,
       {"T2", "A2", "B2", "C2", " 2000 ", "", "Pop"}, kTransferTrack},
      {"empty track clears", {"", "", "", "", "", "", -1, false}, filled, 0x140,
       {"T2", "A2", "B2", "C2", " 2000 ", "", "Pop"}, kTransferTrack},
      {"only chosen fields", {"t", "a", "b", "c", "1999", "1", 0, true}, filled, 0x101,
       {"t", "A2", "B2", "C2", " 2000 ", "5", "Pop"}, kTransferTitle},
      {"equal text is not a change", {"T2", "", "", "", "", "", -1, false}, filled, 0x101, filled, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = TransferV1ToV2(c.v1, c.v2, c.settings);
    EXPECT_EQ(r.fields, c.expected);
    EXPECT_EQ(r.changed, c.changed);
    EXPECT_FALSE(r.versionChanged);
  }
}

TEST(Transfer, V2ToV1Table) {
  std::string e20;
  for (int i = 0; i < 20; ++i) e20 += "\xC3\xA9";
  struct Case {
    const char* name;
    Id3v2EditorFields v2;
    Id3v1EditorFields v1;
    uint32_t settings;
    Id3v1EditorFields expected;
    uint32_t changed;
    bool versionChanged;
    bool truncatedMessage;
  } cases[] = {
      {"40-character title is trimmed and cut",
       {"  " + std::string(40, 'L'), "", "", "", "", "", ""}, {}, 0x101,
       {std::string(30, 'L'), "", "", "", "", "", -1, false}, kTransferTitle, false, false},
      {"two-byte letters fit 30 bytes", {e20, "", "", "", "", "", ""}, {}, 0x101,
       {e20.substr(0, 30), "", "", "", "", "", -1, false}, kTransferTitle, false, false},
      {"genre name without regard to case", {"", "", "", "", "", "", "  rock "}, {}, 0x108,
       {"", "", "", "", "", "", 17, false}, kTransferGenre, false, false},
      {"unknown genre leaves the genre", {"", "", "", "", "", "", "Vaporwave"}, {"", "", "", "", "", "", 5, false},
       0x108, {"", "", "", "", "", "", 5, false}, 0, false, false},
      {"numeric genre reference", {"", "", "", "", "", "", "(31)"}, {}, 0x108, {"", "", "", "", "", "", 31, false},
       kTransferGenre, false, false},
      {"blank-only keeps a chosen genre", {"", "", "", "", "", "", "Rock"}, {"", "", "", "", "", "", 5, false},
       0x008, {"", "", "", "", "", "", 5, false}, 0, false, false},
      {"date becomes a year", {"", "", "", "", " 2004-05-01", "", ""}, {}, 0x120,
       {"", "", "", "", "2004", "", -1, false}, kTransferYear, false, false},
      {"track with total is not taken", {"", "", "", "", "", "3/12", ""}, {"", "", "", "", "", "4", -1, true}, 0x140,
       {"", "", "", "", "", "4", -1, true}, 0, false, false},
      {"spaced track is taken", {"", "", "", "", "", " 1 2 ", ""}, {"", "", "", "", "", "4", -1, true}, 0x140,
       {"", "", "", "", "", "12", -1, true}, kTransferTrack, false, false},
      {"track into 1.0 with a 30-byte comment switches to 1.1 and cuts the comment",
       {"", "", "", "", "", "7", ""}, {"", "", "", std::string(30, 'c'), "", "", -1, false}, 0x140,
       {"", "", "", std::string(28, 'c'), "", "7", -1, true}, kTransferTrack | kTransferComment, true, true},
      {"track into 1.0 with a short comment switches without message",
       {"", "", "", "", "", "7", ""}, {"", "", "", "short", "", "", -1, false}, 0x140,
       {"", "", "", "short", "", "7", -1, true}, kTransferTrack, true, false},
      {"1.1 with a long v2 comment does not take the track",
       {"", "", "", std::string(29, 'm'), "", "9", ""}, {"", "", "", "", "", "4", -1, true}, 0x150,
       {"", "", "", std::string(28, 'm'), "", "4", -1, true}, kTransferComment, false, false},
      {"comment of 35 characters at 1.0 keeps 30", {"", "", "", std::string(35, 'k'), "", "", ""}, {}, 0x110,
       {"", "", "", std::string(30, 'k'), "", "", -1, false}, kTransferComment, false, false},
      {"blank-only: comment of spaces counts as blank", {"", "", "", "new", "", "", ""},
       {"", "", "", "   ", "", "", -1, false}, 0x010, {"", "", "", "new", "", "", -1, false}, kTransferComment, false,
       false},
      {"blank-only: filled title kept", {"New", "", "", "", "", "", ""}, {"Old", "", "", "", "", "", -1, false}, 0x001,
       {"Old", "", "", "", "", "", -1, false}, 0, false, false},
      {"track 256 is not taken", {"", "", "", "", "", "256", ""}, {}, 0x140, {}, 0, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = TransferV2ToV1(c.v2, c.v1, c.settings);
    ASSERT_TRUE(r.ran);
    EXPECT_EQ(r.fields, c.expected);
    EXPECT_EQ(r.changed, c.changed);
    EXPECT_EQ(r.versionChanged, c.versionChanged);
    ASSERT_EQ(r.messages.size(), c.truncatedMessage ? 1u : 0u);
    if (c.truncatedMessage) {
      EXPECT_EQ(r.messages[0].text, "Truncated the comment field to 28 bytes.");
      EXPECT_EQ(r.messages[0].kind, 0);
      EXPECT_EQ(r.messages[0].caption, "version upgrade");
    }
  }
}

TEST(Transfer, GenreIndexFromText) {
  const std::pair<const char*, int> cases[] = {
      {"Rock", 17}, {"ROCK", 17}, {"\tHip-Hop ", 7}, {"christian", 148}, {"(17)", 17}, {"(17)Rock", 17},
      {"17", 17}, {"148", 148}, {"149", -1}, {"(149)", -1}, {"", -1}, {"()", -1}, {"Rock2", -1}, {"(RX)", -1},
  };
  for (const auto& [text, index] : cases) EXPECT_EQ(GenreIndexFromText(text), index) << text;
}

}  // namespace
}  // namespace quorvel
