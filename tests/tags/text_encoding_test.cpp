#include "tags/text_encoding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> B(std::initializer_list<int> v) {
  std::vector<uint8_t> out;
  for (int x : v) out.push_back(static_cast<uint8_t>(x));
  return out;
}
std::vector<uint8_t> B(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

struct DetectCase {
  const char* name;
  std::vector<uint8_t> bytes;
  uint8_t code;
  std::string reason;
  std::string preview;
};

TEST(DetermineEncoding, Table) {
  const DetectCase cases[] = {
      {"empty file", {}, kTextLatin1, "zero length text", ""},
      {"pure ascii", B("Hello"), kTextLatin1, "", "Hello"},
      {"utf-8 mark wins over anything after it", B({0xEF, 0xBB, 0xBF, 0xFF, 0x41}), kTextUtf8, "utf-8 BOM present",
       "\xC3\xBF" "A"},
      {"utf-16 BE mark", B({0xFE, 0xFF, 0x00, 0x41, 0x00, 0xE9}), kTextUtf16Bom,
       "utf-16 BOM present\r\nit indicates BE order", "A\xC3\xA9"},
      {"utf-16 LE mark", B({0xFF, 0xFE, 0x41, 0x00, 0x3A, 0x04}), kTextUtf16Bom,
       "utf-16 BOM present\r\nit indicates LE order", "A\xD0\xBA"},
      {"two utf-8 characters", B({0xC3, 0xA9, 0xC3, 0xA9}), kTextUtf8,
       "2 valid non-latin utf-8 characters detected", "\xC3\xA9\xC3\xA9"},
      {"utf-16 BE without mark", B({0x00, 0x41, 0x00, 0xE9, 0x00, 0x42}), kTextUtf16Be,
       "not a valid utf-8\r\neven file length in bytes\r\nmore BE than LE sequences", "A\xC3\xA9" "B"},
      {"utf-16 BE of ascii has no high byte", B({0x00, 0x41, 0x00, 0x42}), kTextLatin1, "", ""},
      {"utf-16 LE without mark", B({0x41, 0x00, 0xE9, 0x00, 0x42, 0x00}), kTextUtf16Le,
       "not a valid utf-8\r\neven file length in bytes\r\nmore LE than BE sequences", "A\xC3\xA9" "B"},
      {"lead byte without continuation, odd length", B({0x41, 0xC3, 0x41}), kTextLatin1,
       "not a valid utf-8\r\nodd file length in bytes", "A\xC3\x83" "A"},
      {"lead byte too near the end is not tested", B({0x41, 0xE9, 0x42}), kTextUtf8,
       "0 valid non-latin utf-8 characters detected", "A\xC3\xA9" "B"},
      {"equal BE and LE pairs", B({0x41, 0xE9, 0xE9, 0x41}), kTextLatin1,
       "can't determine the encoding\r\nsetting to default ANSI", "A\xC3\xA9\xC3\xA9" "A"},
      {"stray continuation bytes are passed over", B({0x80, 0x80, 0x41}), kTextUtf8,
       "0 valid non-latin utf-8 characters detected", "\xC2\x80\xC2\x80" "A"},
      {"four-byte sequence", B({0xF0, 0x9F, 0x8E, 0xB5, 0x21}), kTextUtf8,
       "1 valid non-latin utf-8 characters detected", "\xF0\x9F\x8E\xB5!"},
      {"preview ends at the first NUL", B({0x41, 0x00, 0x42}), kTextLatin1, "", "A"},
      {"single high byte", B({0xE9}), kTextUtf8, "0 valid non-latin utf-8 characters detected", "\xC3\xA9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EncodingDetection d = DetermineEncoding(c.bytes);
    EXPECT_EQ(d.code, c.code);
    EXPECT_EQ(d.reason, c.reason);
    EXPECT_EQ(d.preview, c.preview);
  }
}

TEST(EncodingChoice, ForcedLinesAndAutodetect) {
  const auto data = B({0x41, 0x00, 0xE9, 0x00, 0x42, 0x00});
  struct Case {
    int choice;
    const char* line;
    uint8_t code;
    std::string preview;
  } cases[] = {
      {kChoiceLatin1, "Forced: ISO-88590-1 (Latin)", kTextLatin1, "A"},
      {kChoiceUtf16Bom, "Forced: UTF-16 with BOM", kTextUtf16Bom, "A\xC3\xA9" "B"},
      {kChoiceUtf16Be, "Forced: UTF-16-BE (big-endian)", kTextUtf16Be, "\xE4\x84\x80\xEE\xA4\x80\xE4\x88\x80"},
      {kChoiceUtf8, "Forced: UTF-8", kTextUtf8, "A"},
      {kChoiceUtf16Le, "Forced: UTF-16-LE (little-endian)", kTextUtf16Le, "A\xC3\xA9" "B"},
      {kChoiceAutodetect, "detected: UTF-16LE", kTextUtf16Le, "A\xC3\xA9" "B"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EncodingChoiceView v = ApplyEncodingChoice(data, c.choice);
    EXPECT_EQ(v.line, c.line);
    EXPECT_EQ(v.code, c.code);
    EXPECT_EQ(v.preview, c.preview);
    EXPECT_EQ(v.hint.empty(), c.choice != kChoiceAutodetect);
  }
  EXPECT_STREQ(EncodingChoiceName(kChoiceUtf16Le), "UTF-16-LE");
  EXPECT_STREQ(EncodingChoiceName(kChoiceAutodetect), "Autodetect");
  EXPECT_STREQ(TextEncodingName(kTextUtf16Be), "UTF-16BE");
  EXPECT_STREQ(TextEncodingName(kTextUnknown), "unknown");
}

TEST(DecodeTextFile, MarksSurrogatesAndOddLengths) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint8_t code;
    std::string text;
  } cases[] = {
      {"utf-8 mark dropped", B({0xEF, 0xBB, 0xBF, 'h', 'i'}), kTextUtf8, "hi"},
      {"reversed mark dropped for BE", B({0xFF, 0xFE, 0x00, 0x41}), kTextUtf16Be, "A"},
      {"LE decode drops its mark", B({0xFF, 0xFE, 0x41, 0x00}), kTextUtf16Le, "A"},
      {"surrogate pair", B({0xFE, 0xFF, 0xD8, 0x3C, 0xDF, 0xB5}), kTextUtf16Bom, "\xF0\x9F\x8E\xB5"},
      {"lone surrogate", B({0x00, 0xD8, 0x41, 0x00}), kTextUtf16Le, "\xEF\xBF\xBD" "A"},
      {"odd length pairs the last byte with zero", B({0x41, 0x00, 0x42}), kTextUtf16Le, "AB"},
      {"unknown code with a mark is utf-16", B({0xFF, 0xFE, 0x41, 0x00}), kTextUnknown, "A"},
      {"unknown code without a mark is latin-1", B({0xE9, 0x41}), kTextUnknown, "\xC3\xA9" "A"},
      {"invalid utf-8 bytes read as latin-1", B({'a', 0xE9, 'b'}), kTextUtf8, "a\xC3\xA9" "b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecodeTextFile(c.bytes, c.code), c.text);
  }
  EXPECT_EQ(DecodeTextFile(B({'a', 0, 'b'}), kTextLatin1, false), std::string("a\0b", 3));
}

TEST(SplitDescription, FirstLineAndZeroString) {
  struct Case {
    const char* name;
    std::string decoded;
    int choice;
    std::string description;
    std::string text;
  } cases[] = {
      {"windows line breaks", "Title\r\nline 1\r\nline 2", kDescriptionFirstLine, "Title", "line 1\r\nline 2"},
      {"unix line breaks", "Title\nline 1\nline 2", kDescriptionFirstLine, "Title", "line 1\nline 2"},
      {"blank lines after the first are skipped", "T\r\n\r\n\nx", kDescriptionFirstLine, "T", "x"},
      {"break first gives an empty description", "\nrest", kDescriptionFirstLine, "", "rest"},
      {"no break", "just text", kDescriptionFirstLine, "", "just text"},
      {"only a first line", "T\r\n", kDescriptionFirstLine, "T", ""},
      {"zero string", std::string("desc\0\0text", 10), kDescriptionFirstZeroString, "desc", "text"},
      {"typed description leaves the text", "a\nb", kDescriptionTyped, "", "a\nb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string d = "leftover", t;
    SplitDescription(c.decoded, c.choice, d, t);
    EXPECT_EQ(d, c.description);
    EXPECT_EQ(t, c.text);
  }
}

// ---- LoadTextFieldFromFile ----

class TextLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quorvel-textload-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string p = dir_ + "/" + name;
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  static Id3v2Field CommentField() {
    Id3v2Field f;
    f.tip = kFieldText;
    f.sub = kPartEncoding | kPartLanguage | kPartDescription;
    f.akcija = kFieldAdded | kFieldLoaded;
    f.tansi = "old text";
    f.tcont = "old description";
    f.tlan = "deu";
    f.enc = 3;
    f.err = 0x40;
    return f;
  }
  TextLoadCallbacks Callbacks(std::optional<TextLoadDialogAnswer> answer) {
    TextLoadCallbacks cb;
    cb.report = [this](const TextLoadMessage& m) { messages_.push_back(m); };
    cb.dialog = [this, answer](const TextLoadDialogSetup& s) {
      setups_.push_back(s);
      return answer;
    };
    return cb;
  }

  std::string dir_;
  std::vector<TextLoadMessage> messages_;
  std::vector<TextLoadDialogSetup> setups_;
};

TEST_F(TextLoadTest, FirstLineBecomesTheDescriptionOfAWindowsFile) {
  std::string path = Write("t.txt", B("My title\r\nFirst line\r\nSecond line"));
  Id3v2Field f = CommentField();
  TextLoadDialogAnswer a;
  a.descriptionChoice = kDescriptionFirstLine;
  a.language = "ENGlish";
  ASSERT_EQ(LoadTextFieldFromFile(f, path, true, Callbacks(a)), TextLoadResult::kLoaded);
  ASSERT_EQ(setups_.size(), 1u);
  EXPECT_TRUE(setups_[0].encodingEnabled && setups_[0].languageEnabled && setups_[0].descriptionEnabled);
  EXPECT_EQ(f.tcont, "My title");
  EXPECT_EQ(f.tansi, "First line\r\nSecond line");
  EXPECT_EQ(f.tlan, "eng");
  EXPECT_EQ(f.tload, path);
  EXPECT_EQ(f.akcija, kFieldAdded | kFieldEdited);
  EXPECT_EQ(f.enc, 0);
  EXPECT_EQ(f.err, 0);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(TextLoadTest, WrittenEncodingFollowsTheHighestCharacter) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string description;
    uint8_t enc;
  } cases[] = {
      {"highest character U+00E9", B("caf\xC3\xA9"), "", 0},
      {"a character above 255", B("\xD0\xBA\xD0\xBE\xD1\x82"), "", 1},
      {"only the description is above 255", B("plain"), "\xE2\x82\xAC", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Id3v2Field f = CommentField();
    TextLoadDialogAnswer a;
    a.description = c.description;
    ASSERT_EQ(LoadTextFieldFromFile(f, Write("e.txt", c.bytes), false, Callbacks(a)), TextLoadResult::kLoaded);
    EXPECT_EQ(f.enc, c.enc);
    EXPECT_EQ(f.tcont, c.description);
  }
}

TEST_F(TextLoadTest, CancelAndErrorsLeaveTheFieldUnchanged) {
  const Id3v2Field original = CommentField();
  {
    Id3v2Field f = original;
    EXPECT_EQ(LoadTextFieldFromFile(f, Write("c.txt", B("abc")), false, Callbacks(std::nullopt)),
              TextLoadResult::kCancelled);
    EXPECT_EQ(f.tansi, original.tansi);
    EXPECT_EQ(f.tcont, original.tcont);
    EXPECT_EQ(f.tlan, original.tlan);
    EXPECT_EQ(f.akcija, original.akcija);
    EXPECT_EQ(f.enc, original.enc);
    EXPECT_EQ(f.tload, original.tload);
  }
  {
    Id3v2Field f = original;
    EXPECT_EQ(LoadTextFieldFromFile(f, dir_ + "/missing.txt", false, Callbacks(TextLoadDialogAnswer{})),
              TextLoadResult::kOpenError);
    EXPECT_EQ(f.tansi, original.tansi);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "Disk error reading the file.");
    EXPECT_EQ(messages_[0].kind, 258);
    EXPECT_EQ(messages_[0].caption, "error");
    EXPECT_TRUE(setups_.size() == 1u);  // only the cancelled load above asked
  }
  {
    // A folder is not a regular file.
    Id3v2Field f = original;
    EXPECT_EQ(LoadTextFieldFromFile(f, dir_, false, Callbacks(TextLoadDialogAnswer{})), TextLoadResult::kOpenError);
  }
}

TEST_F(TextLoadTest, EmptyFileInfoOnlyWithTheOptionAndWithoutDescription) {
  struct Case {
    bool option;
    std::string description;
    bool info;
  } cases[] = {{true, "", true}, {false, "", false}, {true, "has one", false}};
  for (const auto& c : cases) {
    messages_.clear();
    Id3v2Field f = CommentField();
    f.tcont = c.description;
    ASSERT_EQ(LoadTextFieldFromFile(f, Write("empty.txt", {}), c.option, Callbacks(TextLoadDialogAnswer{})),
              TextLoadResult::kLoaded);
    ASSERT_EQ(messages_.size(), c.info ? 1u : 0u);
    if (c.info) {
      EXPECT_EQ(messages_[0].text,
                "You just loaded an empty file. If you want this to have effect (ie create the field),\r\n"
                "you should uncheck \"Don't write id3v2 fields without content and description\" option.");
      EXPECT_EQ(messages_[0].kind, 0);
      EXPECT_EQ(messages_[0].caption, "info");
    }
    EXPECT_EQ(f.tansi, "");
  }
}

TEST_F(TextLoadTest, LargeFileWarnsReadsTheLimitAndMarksTooLargeToDisplay) {
  std::vector<uint8_t> big(200000, 'x');
  Id3v2Field f = CommentField();
  ASSERT_EQ(LoadTextFieldFromFile(f, Write("big.txt", big), false, Callbacks(TextLoadDialogAnswer{})),
            TextLoadResult::kLoaded);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "The file is larger than 64K.\r\nNote that maximum 64K characters will be processed.");
  EXPECT_EQ(messages_[0].kind, 258);
  EXPECT_EQ(messages_[0].caption, "warning");
  ASSERT_EQ(setups_.size(), 1u);
  EXPECT_EQ(setups_[0].data.size(), kTextFileReadLimit);
  EXPECT_EQ(f.tansi.size(), kTextMaxChars);
  EXPECT_EQ(f.err, kErrTooLarge);
}

TEST_F(TextLoadTest, LongDescriptionIsCutWithInfo) {
  Id3v2Field f = CommentField();
  TextLoadDialogAnswer a;
  a.descriptionChoice = kDescriptionFirstLine;
  std::string line(1500, 'd');
  ASSERT_EQ(LoadTextFieldFromFile(f, Write("d.txt", B(line + "\nbody")), false, Callbacks(a)), TextLoadResult::kLoaded);
  EXPECT_EQ(f.tcont, std::string(1024, 'd'));
  EXPECT_EQ(f.tansi, "body");
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Description longer than 1 KB, truncated.");
  EXPECT_EQ(messages_[0].kind, 2);
  EXPECT_EQ(messages_[0].caption, "info");
}

TEST_F(TextLoadTest, FieldWithoutPartsReadsLatin1WithoutDialog) {
  Id3v2Field f = CommentField();
  f.sub = 0;  // a URL field
  ASSERT_EQ(LoadTextFieldFromFile(f, Write("u.txt", B({'h', 't', 0xE9, 0, 'x'})), false, Callbacks(std::nullopt)),
            TextLoadResult::kLoaded);
  EXPECT_TRUE(setups_.empty());
  EXPECT_EQ(f.tansi, "ht\xC3\xA9");
  EXPECT_EQ(f.tlan, "");
  EXPECT_EQ(f.enc, 0);
}

TEST_F(TextLoadTest, ZeroSeparatedDescriptionIsSplitOff) {
  Id3v2Field f = CommentField();
  TextLoadDialogAnswer a;
  a.encodingChoice = kChoiceUtf16Le;
  a.descriptionChoice = kDescriptionFirstZeroString;
  // "de" NUL "xy" NUL "zz" as UTF-16LE
  auto bytes = B({'d', 0, 'e', 0, 0, 0, 'x', 0, 'y', 0, 0, 0, 'z', 0});
  ASSERT_EQ(LoadTextFieldFromFile(f, Write("z.txt", bytes), false, Callbacks(a)), TextLoadResult::kLoaded);
  EXPECT_EQ(f.tcont, "de");
  EXPECT_EQ(f.tansi, "xy");
}

TEST_F(TextLoadTest, FieldWithoutDescriptionPartKeepsTheWholeText) {
  Id3v2Field f = CommentField();
  f.sub = kPartEncoding;  // a plain text frame such as TIT2
  TextLoadDialogAnswer a;
  a.descriptionChoice = kDescriptionFirstLine;
  a.description = "ignored";
  ASSERT_EQ(LoadTextFieldFromFile(f, Write("p.txt", B("one\ntwo")), false, Callbacks(a)), TextLoadResult::kLoaded);
  EXPECT_EQ(f.tansi, "one\ntwo");
  EXPECT_EQ(f.tcont, "");
  EXPECT_EQ(f.tlan, "");
}

}  // namespace
}  // namespace quorvel
