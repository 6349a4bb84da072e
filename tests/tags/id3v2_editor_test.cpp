#include "tags/id3v2_editor.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tags/id3v2_catalogue.h"
#include "tags/id3v2_reader.h"
#include "tags/id3v2_read_support.h"
#include "tags/id3v2_writer.h"
#include "tags/text_encoding.h"

namespace quorvel {
namespace {

using test::B;
using test::Bytes;
using test::Cat;
using test::Frame;
using test::ReadTagAt;
using test::ScratchDir;
using test::Tag;
using test::WriteBytes;

Bytes Latin(const std::string& s) { return Cat({{0}, B(s)}); }

class EditorTest : public testing::Test {
 protected:
  void Load(unsigned major, const Bytes& body) {
    path_ = dir_.file("source.mp3");
    source_bytes_ = Tag(major, 0, body);
    WriteBytes(path_, Cat({source_bytes_, Bytes(64, 0)}));
    ASSERT_TRUE(ReadTagAt(path_, tag_));
    ASSERT_FALSE(tag_.readerror);
  }
  Bytes Build() {
    InputFile src;
    EXPECT_TRUE(src.open(path_));
    return BuildId3v2TagBlock(tag_, src, {}, {}).bytes;
  }
  // Writes the built tag as a new file and reads it back.
  Id3v2TagState WriteAndRead() {
    const std::string out = dir_.file("out.mp3");
    WriteBytes(out, Cat({Build(), Bytes(64, 0)}));
    Id3v2TagState back;
    EXPECT_TRUE(ReadTagAt(out, back));
    EXPECT_FALSE(back.readerror);
    return back;
  }
  static std::string Text(const Id3v2TagState& t, const char* code) {
    for (const Id3v2Field& f : t.fields)
      if (std::string(Id3v2Code(f.ind, t.tagversion.major)) == code && !(f.akcija & kFieldRemoved)) return f.tansi;
    return "<none>";
  }

  ScratchDir dir_;
  std::string path_;
  Bytes source_bytes_;
  Id3v2TagState tag_;
  Id3v2Editor ed_;
};

Bytes SampleBody() {
  return Cat({Frame(3, "TIT2", Latin("First")), Frame(3, "TPE1", Latin("Band")),
              Frame(3, "TIT2", Latin("Second")), Frame(3, "TDEN", Latin("2001")),
              Frame(3, "COMM", Cat({{0}, B("eng"), {0}, B("note")})),
              Frame(3, "TXXX", Cat({{0}, B("key"), {0}, B("v")})), Frame(3, "PRIV", B("owner\0data", 10))});
}

TEST_F(EditorTest, SecondTitleIsListedAsDuplicateAndRemovedAlone) {
  Load(3, SampleBody());
  ASSERT_TRUE(ed_.Open(tag_));
  EXPECT_EQ(ed_.BoxText(MainBox::Title), "First");
  EXPECT_EQ(ed_.BoxText(MainBox::Comment), "note");
  EXPECT_EQ(ed_.CommentLanguage(), "eng");
  std::vector<std::string> entries;
  for (const auto& e : ed_.textList()) entries.push_back(e.text);
  EXPECT_EQ(entries, (std::vector<std::string>{"Title (DUPLICATE) (TIT2)", "Encoding time (TDEN)",
                                                "User-defined text information frame (TXXX)"}));
  ASSERT_TRUE(ed_.HasDuplicates());
  ed_.RemoveDuplicates();
  EXPECT_EQ(ed_.BoxText(MainBox::Title), "First");
  EXPECT_EQ(ed_.textList().size(), 2u);
  const Id3v2TagState back = WriteAndRead();
  EXPECT_EQ(Text(back, "TIT2"), "First");
  int titles = 0;
  for (const Id3v2Field& f : back.fields) titles += f.ind == 44;
  EXPECT_EQ(titles, 1);
}

TEST_F(EditorTest, BoxEditsSetEncodingAndFlags) {
  struct Case {
    std::string text;
    uint8_t enc;
  };
  const Case cases[] = {
      {"plain", kEncLatin1},
      {"caf\xC3\xA9", kEncUtf16Bom},
      {"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", kEncUtf16Bom},  // Hebrew
      {"\xF0\x9F\x8E\xB5 x", kEncUtf16Bom},                 // emoji outside the BMP
  };
  Load(3, SampleBody());
  ASSERT_TRUE(ed_.Open(tag_));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ed_.EditBox(MainBox::Title, c.text);
    const Id3v2Field& f = tag_.fields[ed_.BoxField(MainBox::Title)];
    EXPECT_EQ(f.enc, c.enc);
    EXPECT_EQ(f.akcija, kFieldEdited);
    EXPECT_EQ(f.tansi, c.text);
  }
}

// The encoding holds both the text and the description: typing ASCII into
// one never puts the other's non-ASCII characters into ISO-8859-1.
TEST_F(EditorTest, DescriptionAndTextShareTheEncoding) {
  struct Case {
    std::string text, description;
    uint8_t enc;
  };
  const Case cases[] = {{"a", "b", kEncLatin1},
                        {"\xF0\x9F\x8E\xB5", "ascii", kEncUtf16Bom},
                        {"ascii", "\xC3\xA9", kEncUtf16Bom}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + "/" + c.description);
    Load(3, SampleBody());
    Id3v2Editor ed;
    ASSERT_TRUE(ed.Open(tag_));
    ed.EditBox(MainBox::Comment, c.text);
    ed.SetDescriptionMode(MainBox::Comment, true);
    ed.EditBox(MainBox::Comment, c.description);
    EXPECT_EQ(ed.BoxText(MainBox::Comment), c.description);
    ed.SetDescriptionMode(MainBox::Comment, false);
    EXPECT_EQ(ed.BoxText(MainBox::Comment), c.text);
    const uint32_t txxx = ed.textList().back().field;
    ed.EditField(txxx, c.text);
    ed.EditFieldDescription(txxx, c.description);
    EXPECT_EQ(tag_.fields[txxx].enc, c.enc);
    bool write = false;
    ASSERT_TRUE(ed.Ok({}, write));
    const Id3v2TagState back = WriteAndRead();
    bool seenComment = false, seenTxxx = false;
    for (const Id3v2Field& f : back.fields) {
      if ((f.ind == 4 && !seenComment) || (f.ind == 77 && !seenTxxx)) {
        (f.ind == 4 ? seenComment : seenTxxx) = true;
        EXPECT_EQ(f.tansi, c.text);
        EXPECT_EQ(f.tcont, c.description);
      }
    }
    EXPECT_TRUE(seenComment && seenTxxx);
  }
}

TEST_F(EditorTest, ReloadOriginalAndLanguage) {
  Load(3, SampleBody());
  ASSERT_TRUE(ed_.Open(tag_));
  const auto comment = static_cast<uint32_t>(ed_.BoxField(MainBox::Comment));
  ed_.EditCommentLanguage("fra");
  EXPECT_EQ(tag_.fields[comment].tlan, "fra");
  EXPECT_EQ(tag_.fields[comment].akcija, kFieldEdited);
  ed_.EditBox(MainBox::Comment, "new");
  ASSERT_TRUE(ed_.ReloadOriginal(comment, {}));
  EXPECT_EQ(ed_.BoxText(MainBox::Comment), "note");
  EXPECT_EQ(tag_.fields[comment].tlan, "eng");
  EXPECT_EQ(tag_.fields[comment].akcija, 0);
  ed_.EditBox(MainBox::Year, "2000");
  std::string info;
  EXPECT_FALSE(ed_.ReloadOriginal(static_cast<uint32_t>(ed_.BoxField(MainBox::Year)),
                                  [&](const EditorQuestion& q) { info = q.text; }));
  EXPECT_EQ(info, "The field doesn't exist in the original tag.");
}

TEST_F(EditorTest, TypingIntoEmptyYearAddsField) {
  Load(3, SampleBody());
  ASSERT_TRUE(ed_.Open(tag_));
  ASSERT_EQ(ed_.BoxField(MainBox::Year), -1);
  ed_.EditBox(MainBox::Year, "1999");
  const int64_t i = ed_.BoxField(MainBox::Year);
  ASSERT_GE(i, 0);
  EXPECT_EQ(tag_.fields[i].akcija, kFieldAdded | kFieldEdited);
  EXPECT_STREQ(Id3v2Code(tag_.fields[i].ind, 3), "TYER");
  EXPECT_EQ(Text(WriteAndRead(), "TYER"), "1999");
}

TEST_F(EditorTest, BoxAcceptsAtMost1024Characters) {
  Load(3, SampleBody());
  ASSERT_TRUE(ed_.Open(tag_));
  std::string longText;
  for (int i = 0; i < 1100; ++i) longText += "\xC3\xA9";
  ed_.EditBox(MainBox::Album, longText);
  EXPECT_EQ(tag_.fields[ed_.BoxField(MainBox::Album)].tansi, longText.substr(0, 2048));
}

TEST_F(EditorTest, VersionDownAsksAndHidesFieldsThenBringsThemBack) {
  struct Case {
    bool answer;
    unsigned majorAfter;
  };
  for (const Case c : {Case{true, 2}, Case{false, 3}}) {
    Load(3, SampleBody());
    Id3v2Editor ed;
    ASSERT_TRUE(ed.Open(tag_));
    std::vector<std::string> asked;
    const bool changed = ed.ChangeVersion(2, [&](const EditorQuestion& q) {
      asked.push_back(q.text);
      return c.answer;
    }, {});
    EXPECT_EQ(changed, c.answer);
    ASSERT_EQ(asked.size(), 1u);
    // TDEN and PRIV have no 2.2 code.
    EXPECT_EQ(asked[0].rfind("There are 2 fields in your tag not in use in id3v2.2 standard.", 0), 0u) << asked[0];
    EXPECT_NE(asked[0].find("(note: fields is restored when you switch back to id3v2.3)"), std::string::npos);
    EXPECT_EQ(tag_.tagversion.major, c.majorAfter);
    if (c.answer) {
      EXPECT_EQ(ed.textList().size(), 2u);  // TDEN hidden
      EXPECT_TRUE(ed.mixedList().empty());
      ASSERT_TRUE(ed.ChangeVersion(3, {}, {}));
      EXPECT_EQ(ed.textList().size(), 3u);
      EXPECT_EQ(ed.mixedList().size(), 1u);
    }
    ed.Cancel();
  }
}

TEST_F(EditorTest, OtherVersionIsRefused) {
  Load(3, SampleBody());
  ASSERT_TRUE(ed_.Open(tag_));
  std::string reported;
  EXPECT_FALSE(ed_.ChangeVersion(5, {}, [&](const EditorQuestion& q) { reported = q.text; }));
  EXPECT_EQ(reported, "You can't change to \"other\".");
  EXPECT_EQ(tag_.tagversion.major, 3);
}

TEST_F(EditorTest, PaddingTextAndFooter) {
  struct Case {
    std::string text;
    bool ok;
    uint32_t padding;
  };
  const Case cases[] = {{"16777217", false, 7}, {" 100 ", true, 100}, {"abc", false, 7},
                        {"", false, 7},          {"16777216", true, 16777216}, {"-1", false, 7}};
  Load(4, SampleBody());
  ASSERT_TRUE(ed_.Open(tag_));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    tag_.padding = 7;
    EXPECT_EQ(ed_.SetPaddingText(c.text, {}), c.ok);
    EXPECT_EQ(tag_.padding, c.padding);
  }
  ASSERT_TRUE(ed_.SetPaddingText("100", {}));
  std::vector<std::string> msgs;
  ed_.SetFooter(true, [&](const EditorQuestion& q) { msgs.push_back(q.text); });
  EXPECT_EQ(tag_.padding, 0u);
  ed_.SetFooter(false, {});
  EXPECT_EQ(tag_.padding, 100u);
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0], "Padding and footer are mutually exclusive.\r\nSetting padding to zero.");
}

TEST(ScanName, SplitsAtTheFirstSeparator) {
  struct Case {
    std::string name, artist, title;
  };
  const Case cases[] = {
      {"Artist - Song", "Artist", "Song"}, {"A -B", "A", "B"},       {"A- B", "A", "B"},
      {"-A-B", "-A", "B"},                 {"AB", "", "AB"},         {"Song", "", "Song"},
      {"x - y - z", "x", "y - z"},         {"AB-", "", "AB-"},
  };
  for (const Case& c : cases) {
    std::string a, t;
    SplitScanName(c.name, a, t);
    EXPECT_EQ(a, c.artist) << c.name;
    EXPECT_EQ(t, c.title) << c.name;
  }
}

TEST_F(EditorTest, ScanFillsBoxesFromThePath) {
  Load(3, SampleBody());
  ASSERT_TRUE(ed_.Open(tag_));
  ed_.Scan("/music/Band X - Best Of/Band X - N\xC3\xBC Song.MP3", true, true);
  EXPECT_EQ(ed_.BoxText(MainBox::Title), "N\xC3\xBC Song");
  EXPECT_EQ(ed_.BoxText(MainBox::Artist), "Band X");
  EXPECT_EQ(ed_.BoxText(MainBox::Album), "Best Of");
}

TEST_F(EditorTest, PictureCandidatesSkipATakenIcon) {
  Load(3, Frame(3, "APIC", Cat({{0}, B("image/png"), {0, 1, 0}, {0x89, 'P', 'N', 'G'}})));
  ASSERT_TRUE(ed_.Open(tag_));
  const std::vector<uint8_t> c = ed_.PictureCandidates();
  ASSERT_FALSE(c.empty());
  EXPECT_EQ(c.front(), 2);
  EXPECT_EQ(c.back(), 0);
  EXPECT_FALSE(ed_.AddPicture(1));
  EXPECT_FALSE(ed_.AddPicture(17));
  EXPECT_TRUE(ed_.AddPicture(3));
  EXPECT_EQ(ed_.pictureList().size(), 2u);
}

TEST_F(EditorTest, NoMixedCandidateLeftIsEmpty) {
  Load(2, Frame(2, "CRM", B("x")));
  ASSERT_TRUE(ed_.Open(tag_));
  // Every 2.2 mixed entry is repeatable, so candidates remain; the 2.2 binary
  // list always offers the extended header.
  EXPECT_FALSE(ed_.AddCandidates(kFieldMixed).empty());
  EXPECT_EQ(ed_.AddCandidates(kFieldBinary).back(), kExtHeaderIndex);
}

// Every text a user types comes back exactly, in each version the writer
// produces, and a round trip through 2.4 keeps it.
TEST_F(EditorTest, TypedTextsSurviveEveryVersion) {
  const std::string texts[] = {
      "plain",
      "Gr\xC3\xBC\xC3\x9F" "e",
      "\xD8\xB3\xD9\x84\xD8\xA7\xD9\x85",  // Arabic
      "\xF0\x9F\x8E\xB8\xF0\x9F\x8E\xB5",  // emoji outside the BMP
      "two\r\nlines\nand \xC3\xA9",
  };
  for (unsigned major : {2u, 3u, 4u}) {
    for (const std::string& t : texts) {
      SCOPED_TRACE(testing::Message() << major << " " << t);
      Load(major, Frame(major, major == 2 ? "TT2" : "TIT2", Latin("old")));
      Id3v2Editor ed;
      ASSERT_TRUE(ed.Open(tag_));
      ed.EditBox(MainBox::Title, t);
      ed.EditBox(MainBox::Comment, t);
      bool write = false;
      ASSERT_TRUE(ed.Ok({}, write));
      EXPECT_TRUE(write);
      const Id3v2TagState back = WriteAndRead();
      EXPECT_EQ(Text(back, major == 2 ? "TT2" : "TIT2"), t);
      EXPECT_EQ(Text(back, major == 2 ? "COM" : "COMM"), t);
    }
  }
}

TEST_F(EditorTest, VersionChangeUpAndBackKeepsTexts) {
  Load(3, SampleBody());
  ASSERT_TRUE(ed_.Open(tag_));
  ed_.EditBox(MainBox::Artist, "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xF0\x9F\x8E\xB5");
  bool write = false;
  ASSERT_TRUE(ed_.ChangeVersion(4, {}, {}));
  ASSERT_TRUE(ed_.Ok({}, write));
  Id3v2TagState v4 = WriteAndRead();
  ASSERT_EQ(v4.tagversion.major, 4);
  const std::string v4path = dir_.file("v4.mp3");
  WriteBytes(v4path, Cat({Build(), Bytes(64, 0)}));
  path_ = v4path;
  ASSERT_TRUE(ReadTagAt(path_, tag_));
  Id3v2Editor ed2;
  ASSERT_TRUE(ed2.Open(tag_));
  ASSERT_TRUE(ed2.ChangeVersion(3, {}, {}));
  ASSERT_TRUE(ed2.Ok({}, write));
  const Id3v2TagState back = WriteAndRead();
  EXPECT_EQ(back.tagversion.major, 3);
  EXPECT_EQ(Text(back, "TPE1"), "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xF0\x9F\x8E\xB5");
  EXPECT_EQ(Text(back, "TIT2"), "First");
  EXPECT_EQ(Text(back, "TDEN"), "2001");
  EXPECT_EQ(Text(back, "COMM"), "note");
}

TEST_F(EditorTest, OkWithoutEditsRebuildsTheSourceTag) {
  for (unsigned major : {3u, 4u}) {
    SCOPED_TRACE(major);
    Load(major, Cat({Frame(major, "TIT2", Latin("First")), Frame(major, "TPE1", Latin("Band")),
                     Frame(major, "COMM", Cat({{0}, B("eng"), {0}, B("note")})),
                     Frame(major, "PRIV", B("owner\0data", 10))}));
    Id3v2Editor ed;
    ASSERT_TRUE(ed.Open(tag_));
    bool write = false;
    ASSERT_TRUE(ed.Ok({}, write));
    EXPECT_EQ(Build(), source_bytes_);
  }
}

// Any sequence of edits followed by Cancel leaves the tag state as it was:
// the built tag and every field record are unchanged.
TEST_F(EditorTest, CancelAfterAnyEditsRestoresTheState) {
  std::mt19937 rng(20);
  for (int round = 0; round < 60; ++round) {
    Load(3, SampleBody());
    const Bytes before = Build();
    const Id3v2TagState saved = tag_;
    Id3v2Editor ed;
    ASSERT_TRUE(ed.Open(tag_));
    const int steps = 1 + static_cast<int>(rng() % 12);
    for (int s = 0; s < steps; ++s) {
      const auto box = static_cast<MainBox>(rng() % kMainBoxCount);
      switch (rng() % 10) {
        case 0: ed.EditBox(box, "t\xC3\xA9xt " + std::to_string(rng())); break;
        case 1: ed.EditCommentLanguage("deu"); break;
        case 2: if (!ed.textList().empty()) ed.RemoveField(ed.textList()[0].field); break;
        case 3: ed.RemoveDuplicates(); break;
        case 4: ed.ChangeVersion(2 + rng() % 3, [](const EditorQuestion&) { return true; }, {}); break;
        case 5: ed.SetPaddingText(std::to_string(rng() % 5000), {}); break;
        case 6: ed.SetFooter(rng() % 2, {}); break;
        case 7: ed.AddField(77); ed.AddPicture(3); break;
        case 8: ed.Scan("/a/b - c.mp3", true, rng() % 2); break;
        default: ed.SetUnsync(true); ed.SetExperimental(true); ed.SetMinor(9); break;
      }
    }
    ed.Cancel();
    EXPECT_EQ(Build(), before) << "round " << round;
    ASSERT_EQ(tag_.fields.size(), saved.fields.size());
    for (size_t i = 0; i < saved.fields.size(); ++i) {
      EXPECT_EQ(tag_.fields[i].akcija, saved.fields[i].akcija);
      EXPECT_EQ(tag_.fields[i].tansi, saved.fields[i].tansi);
      EXPECT_EQ(tag_.fields[i].tlan, saved.fields[i].tlan);
    }
    EXPECT_EQ(tag_.textlist, saved.textlist);
    EXPECT_EQ(tag_.padding, saved.padding);
    EXPECT_EQ(tag_.tagversion.major, saved.tagversion.major);
  }
}

TEST_F(EditorTest, TooManyFieldsAreNotOpened) {
  Load(3, SampleBody());
  tag_.fields.resize(kEditorMaxFields + 1);
  EXPECT_FALSE(ed_.Open(tag_));
  EXPECT_EQ(tag_.fields.size(), kEditorMaxFields + 1);
}

// The "erroneous" switch lives in the tag state, where the save reads it, and
// Cancel takes it back; it cannot be set on a tag without erroneous fields.
TEST_F(EditorTest, ErroneousSwitchIsPartOfTheTagState) {
  Load(3, Cat({Frame(3, "TIT2", {7, 'a'}), Frame(3, "TALB", Latin("c"))}));
  ASSERT_TRUE(ed_.Open(tag_));
  ASSERT_TRUE(ed_.HasErroneousFields());
  ed_.SetDropErroneous(true);
  EXPECT_TRUE(tag_.dropErroneous);
  Id3v2BlockOptions options;
  options.dropErroneousFields = tag_.dropErroneous;
  InputFile src;
  ASSERT_TRUE(src.open(path_));
  EXPECT_EQ(BuildId3v2TagBlock(tag_, src, options, {}).bytes, Tag(3, 0, Frame(3, "TALB", Latin("c"))));
  ed_.Cancel();
  EXPECT_FALSE(tag_.dropErroneous);

  Load(3, Frame(3, "TALB", Latin("c")));
  ASSERT_TRUE(ed_.Open(tag_));
  ed_.SetDropErroneous(true);
  EXPECT_FALSE(tag_.dropErroneous);
}

// The multi-line window's OK: breaks become LF; a character above U+00FF
// makes the text UTF-16 (encoding 2 exists only from 2.4 on); edited flag.
TEST_F(EditorTest, MultiLineOkStoresLfAndAnEncodingTheVersionKnows) {
  struct Case {
    unsigned major;
    const char* typed;
    const char* stored;
    uint8_t enc;
  };
  const Case cases[] = {
      {3, "a\r\nb\n\rc\nd", "a\nb\nc\nd", kEncLatin1},
      {3, "caf\xC3\xA9\nx", "caf\xC3\xA9\nx", kEncLatin1},             // U+00E9 fits ISO-8859-1
      {3, "\xC5\x81\xC3\xB3" "d\xC5\xBA", "\xC5\x81\xC3\xB3" "d\xC5\xBA", kEncUtf16Bom},  // Polish
      {2, "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", kEncUtf16Bom},    // outside the BMP
      {4, "\xD7\xA9\xD7\x9C", "\xD7\xA9\xD7\x9C", kEncUtf16Be},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Load(c.major, Frame(c.major, c.major == 2 ? "COM" : "COMM", Cat({{0}, B("eng"), {0}, B("note")})));
    ASSERT_TRUE(ed_.Open(tag_));
    const std::optional<uint32_t> f = ed_.BoxFieldOrAdd(MainBox::Comment);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(*f, 0u);
    ed_.StoreMultiLine(*f, c.typed);
    EXPECT_EQ(tag_.fields[0].tansi, c.stored);
    EXPECT_EQ(tag_.fields[0].enc, c.enc);
    EXPECT_EQ(tag_.fields[0].akcija, kFieldEditedMultiLine);
    // What was stored reads back exactly after saving.
    const Id3v2TagState back = WriteAndRead();
    ASSERT_FALSE(back.fields.empty());
    EXPECT_EQ(back.fields[0].tansi, c.stored);
    ed_.Cancel();
  }
}

TEST_F(EditorTest, MultiLineTextShowsBreaksAndAddsAMissingComment) {
  Load(3, Frame(3, "TIT2", Latin("t")));
  ASSERT_TRUE(ed_.Open(tag_));
  ed_.EditBox(MainBox::Title, "one\xE2\x86\xB5two");  // as a box shows a break
  EXPECT_EQ(ed_.MultiLineText(0), "one\ntwo");
  tag_.fields[0].tansi = "a\r\nb\rc";
  EXPECT_EQ(ed_.MultiLineText(0), "a\nb\nc");
  EXPECT_EQ(ed_.OriginalMultiLineText(0), "t");
  const std::optional<uint32_t> comment = ed_.BoxFieldOrAdd(MainBox::Comment);
  ASSERT_TRUE(comment.has_value());
  EXPECT_EQ(tag_.fields[*comment].akcija, kFieldAdded | kFieldEdited);
  EXPECT_EQ(tag_.fields[*comment].tlan, "eng");
  EXPECT_EQ(ed_.BoxField(MainBox::Comment), int64_t(*comment));
  EXPECT_TRUE(Id3v2Editor::MultiLineAllowed(80));
  EXPECT_FALSE(Id3v2Editor::MultiLineAllowed(44));
  ed_.Cancel();
  EXPECT_EQ(tag_.fields.size(), 1u);
}

// "Reload original content" puts back what the source held, and the save
// writes it: after a text file was loaded into the field, and after the
// comment's language was changed (both named another file, or none, as the
// place of the field's bytes).
TEST_F(EditorTest, ReloadOriginalIsWrittenFromTheSource) {
  Load(3, SampleBody());
  ASSERT_TRUE(ed_.Open(tag_));
  ed_.SetSourcePath(path_);
  const uint32_t second = 2;  // the second title, in the other-text list
  ASSERT_EQ(ed_.FieldText(second), "Second");
  const std::string text = dir_.file("lines.txt");
  WriteBytes(text, B("from a file"));
  TextLoadCallbacks callbacks;
  callbacks.dialog = [](const TextLoadDialogSetup&) { return std::optional<TextLoadDialogAnswer>(TextLoadDialogAnswer{}); };
  ASSERT_EQ(LoadTextFieldFromFile(tag_.fields[second], text, false, callbacks), TextLoadResult::kLoaded);
  ed_.EditCommentLanguage("deu");
  EXPECT_EQ(Text(WriteAndRead(), "COMM"), "note");

  ASSERT_TRUE(ed_.ReloadOriginal(second, {}));
  ASSERT_TRUE(ed_.ReloadOriginal(static_cast<uint32_t>(ed_.BoxField(MainBox::Comment)), {}));
  const Id3v2TagState back = WriteAndRead();
  std::vector<std::string> titles;
  for (const Id3v2Field& f : back.fields)
    if (f.ind == 44) titles.push_back(f.tansi);
  EXPECT_EQ(titles, (std::vector<std::string>{"First", "Second"}));
  EXPECT_EQ(Text(back, "COMM"), "note");
  for (const Id3v2Field& f : back.fields) {
    if (f.ind == 4) {
      EXPECT_EQ(f.tlan, "eng");
    }
  }
}

// A box shows the line breaks of its text as "\u21B5"; typed into, it
// stores them as breaks again, never the mark.
TEST_F(EditorTest, BreakMarksOfABoxAreStoredAsBreaks) {
  Load(3, Cat({Frame(3, "COMM", Cat({{0}, B("eng"), {0}, B("one\ntwo")}))}));
  ASSERT_TRUE(ed_.Open(tag_));
  EXPECT_EQ(ed_.BoxText(MainBox::Comment), "one\xE2\x86\xB5two");
  ed_.EditBox(MainBox::Comment, ed_.BoxText(MainBox::Comment) + "!");
  EXPECT_EQ(Text(WriteAndRead(), "COMM"), "one\ntwo!");
}

// A text too large to show is not typed over: its box is read-only and an
// edit changes nothing, so the save keeps the whole text.
TEST_F(EditorTest, TextTooLargeToShowIsNotTypedOver) {
  const std::string title(3000, 'x');
  const std::string comment(2100, 'c');
  Load(3, Cat({Frame(3, "TIT2", Latin(title)), Frame(3, "COMM", Cat({{0}, B("eng"), {0}, B(comment)}))}));
  ASSERT_TRUE(ed_.Open(tag_));
  for (MainBox box : {MainBox::Title, MainBox::Comment}) {
    EXPECT_FALSE(ed_.BoxEditable(box));
    ed_.EditBox(box, "A" + ed_.BoxText(box));
  }
  ed_.EditCommentLanguage("deu");
  EXPECT_TRUE(ed_.BoxEditable(MainBox::Artist));
  const Id3v2TagState back = WriteAndRead();
  // Both are written whole; read back, neither is shown again.
  EXPECT_EQ(back.fields.size(), 2u);
  for (const Id3v2Field& f : back.fields) EXPECT_NE(f.err & kErrTooLarge, 0);
  const Bytes built = Build();
  const std::string all(built.begin(), built.end());
  EXPECT_NE(all.find(title), std::string::npos);
  EXPECT_NE(all.find(comment), std::string::npos);
  EXPECT_EQ(all.find("TOO LARGE"), std::string::npos);
}

}  // namespace
}  // namespace quorvel
