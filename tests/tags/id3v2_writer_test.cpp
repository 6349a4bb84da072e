#include "tags/id3v2_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tags/id3v2_catalogue.h"
#include "tags/id3v2_reader.h"
#include "tags/id3v2_read_support.h"

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

// --- Byte-level helpers ---

TEST(Id3v2Size, SynchsafeFromVersion4PlainBelow) {
  struct Case {
    uint32_t size;
    unsigned major;
    std::array<uint8_t, 4> bytes;
  };
  const Case cases[] = {
      {257, 4, {0x00, 0x00, 0x02, 0x01}},
      {257, 3, {0x00, 0x00, 0x01, 0x01}},
      {257, 2, {0x00, 0x00, 0x01, 0x01}},
      {0x0FFFFFFF, 4, {0x7F, 0x7F, 0x7F, 0x7F}},
      {0x10000000, 4, {0x00, 0x00, 0x00, 0x00}},  // bits above 28 are lost
      {0x12345678, 3, {0x12, 0x34, 0x56, 0x78}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " v" << c.major);
    EXPECT_EQ(EncodeId3v2Size(c.size, c.major), c.bytes);
    if (c.size < 0x10000000) {
      EXPECT_EQ(DecodeId3v2Size(c.bytes.data(), c.major), c.size);
    }
  }
}

TEST(Id3v2Unsync, InsertsZeroAfterFalseSyncsAndATrailingFF) {
  struct Case {
    Bytes in;
    Bytes out;
  };
  const Case cases[] = {
      {{0xFF, 0xE0}, {0xFF, 0x00, 0xE0}},
      {{0xFF, 0x00}, {0xFF, 0x00, 0x00}},
      {{0xFF, 0xDF}, {0xFF, 0xDF}},
      {{0x12, 0xFF}, {0x12, 0xFF, 0x00}},
      {{0xFF, 0xFF}, {0xFF, 0x00, 0xFF, 0x00}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UnsyncBytes(c.in), c.out);
    EXPECT_EQ(UnsyncBytes(c.in, false), c.in);
    Bytes back = c.out;
    back.resize(ResyncBytes(back.data(), back.size()).length);
    EXPECT_EQ(back, c.in);
  }
}

TEST(Id3v2EncodeFieldText, EncodingsTerminatorsAndUnsync) {
  struct Case {
    const char* name;
    std::string text;
    uint8_t enc;
    uint8_t parts;
    bool unsync;
    Bytes bytes;
  };
  const Case cases[] = {
      {"latin1", "abc", 0, kPartEncoding, false, {'a', 'b', 'c', 0}},
      {"utf16 with mark", "ab", 1, kPartEncoding, false, {0xFF, 0xFE, 'a', 0, 'b', 0, 0, 0}},
      {"utf16be", "ab", 2, kPartEncoding, false, {0, 'a', 0, 'b', 0, 0}},
      {"utf8", "\xC3\xA9", 3, kPartEncoding, false, {0xC3, 0xA9, 0}},
      {"no encoding part", "\xC3\xA9", 3, 0, false, {0xE9, 0}},
      {"unknown encoding", "ab", 7, kPartEncoding, false, {'a', 'b', 0}},
      {"empty", "", 1, kPartEncoding, false, {}},
      {"ends in NUL", std::string("ab\0", 3), 0, kPartEncoding, false, {'a', 'b', 0}},
      {"low byte", "\xC5\x91", 0, kPartEncoding, false, {0x51, 0}},
      {"surrogates", "\xF0\x9D\x84\x9E", 2, kPartEncoding, false, {0xD8, 0x34, 0xDD, 0x1E, 0, 0}},
      {"unsync", "\xC3\xBF\xC3\xA0", 0, kPartEncoding, true, {0xFF, 0x00, 0xE0, 0}},
      {"unsync mark", "a", 1, kPartEncoding, true, {0xFF, 0x00, 0xFE, 'a', 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EncodeFieldText(c.text, c.enc, c.parts, c.unsync), c.bytes);
  }
}

TEST(Id3v2FieldTextForView, DecodesAndUsesCrLfLineBreaks) {
  struct Case {
    const char* name;
    Bytes bytes;
    uint8_t enc;
    uint8_t parts;
    std::string text;
  };
  const Case cases[] = {
      {"latin1 to NUL", {'a', '\n', 'b', 0, 'c'}, 0, kPartEncoding, "a\r\nb"},
      {"carriage returns dropped", {'a', '\r', '\n', 'b'}, 0, kPartEncoding, "a\r\nb"},
      {"latin1 high", {0xE9}, 0, kPartEncoding, "\xC3\xA9"},
      {"utf16 le mark", {0xFF, 0xFE, 'h', 0, 'i', 0, 0, 0, 'x', 0}, 1, kPartEncoding, "hi"},
      {"utf16 be mark", {0xFE, 0xFF, 0, 'h', 0, 'i'}, 1, kPartEncoding, "hi"},
      {"utf16 no mark is little-endian", {'h', 0, 'i', 0}, 1, kPartEncoding, "hi"},
      {"utf16be odd count", {0, 'h', 0, 'i', 0}, 2, kPartEncoding, "hi"},
      {"utf8", {0xC3, 0xA9, 0, 'x'}, 3, kPartEncoding, "\xC3\xA9"},
      {"invalid utf8 shown as latin1", {0xE9, 'a'}, 3, kPartEncoding, "\xC3\xA9"
                                                                      "a"},
      {"no encoding part", {0xC3, 0xA9}, 3, 0, "\xC3\x83\xC2\xA9"},
      {"unknown encoding", {'a', 0, 'b'}, 9, kPartEncoding, "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FieldTextForView(c.bytes, c.enc, c.parts), c.text);
  }
}

TEST(Id3v2FieldWarning, NamesTheFileWithoutItsFolder) {
  const TagMessage m = FieldWarning("Unknown attached image type:", "/home/me/pics/cover.tif");
  EXPECT_EQ(m.text, "Unknown attached image type:\r\ncover.tif\r\nNot saving the field.");
  EXPECT_EQ(m.caption, "writing id3v2");
  EXPECT_EQ(m.kind & 0x0F, 2);
}

// --- Encoders ---

// A source file holding a tag, read into the model, and an encoder writing
// the target version's frames into memory.
class EncoderTest : public testing::Test {
 protected:
  void Load(unsigned major, uint8_t flags, const Bytes& body) {
    path_ = dir_.file("source.mp3");
    WriteBytes(path_, Cat({Tag(major, flags, body), Bytes(64, 0)}));
    ASSERT_TRUE(ReadTagAt(path_, tag_));
    ASSERT_FALSE(tag_.readerror);
    ASSERT_TRUE(source_.open(path_));
  }
  void StartNewTag(unsigned major) {
    tag_ = Id3v2TagState{};
    tag_.tagversion = tag_.srcversion = {static_cast<uint8_t>(major), 0};
  }
  FieldEncoder Encoder(bool skipEmpty = false) {
    return FieldEncoder{tag_, source_, out_, skipEmpty,
                        [this](const TagMessage& m) { messages_.push_back(m); }, 0, {}};
  }
  Id3v2Field Added(uint8_t index, const std::string& text, uint8_t enc = 0) {
    Id3v2Field f;
    f.ind = index;
    f.tip = Id3v2Catalogue[index].tip;
    f.sub = Id3v2Catalogue[index].fel;
    f.akcija = kFieldAdded | kFieldEdited;
    f.tansi = text;
    f.enc = enc;
    f.tlan = "eng";
    return f;
  }
  const Bytes& out() { return out_.data(); }

  ScratchDir dir_;
  std::string path_;
  Id3v2TagState tag_;
  InputFile source_;
  ByteWriter out_;
  std::vector<TagMessage> messages_;
};

TEST_F(EncoderTest, Copied23TextInto24KeepsDataAndFlagsWithSynchsafeSize) {
  const Bytes data = Cat({{0}, B(std::string(200, 'x'))});
  Load(3, 0, Frame(3, "TIT2", data));
  tag_.tagversion = {4, 0};
  FieldEncoder enc = Encoder();
  EXPECT_EQ(CopyId3v2Field(enc, tag_.fields[0]), kEncodeDone);
  EXPECT_EQ(out(), Cat({B("TIT2"), {0x00, 0x00, 0x01, 0x49, 0x00, 0x00}, data}));
  EXPECT_EQ(enc.writtenFields, 1u);
}

TEST_F(EncoderTest, StatusFlagsMoveToTheirPlaceAcross23And24) {
  Load(3, 0, Frame(3, "TIT2", {0, 'a'}, 0x40, 0x00));
  tag_.tagversion = {4, 0};
  FieldEncoder enc = Encoder();
  CopyId3v2Field(enc, tag_.fields[0]);
  // 2.3 file alter preservation (0x40) is 0x20 in 2.4.
  EXPECT_EQ(out(), Cat({B("TIT2"), {0, 0, 0, 2, 0x20, 0x00, 0, 'a'}}));
}

TEST_F(EncoderTest, GroupedFrameKeepsItsGroupAcross23And24) {
  Load(3, 0, Frame(3, "TIT2", {0x77, 0, 'a'}, 0x00, 0x20));
  tag_.tagversion = {4, 0};
  FieldEncoder enc = Encoder();
  CopyId3v2Field(enc, tag_.fields[0]);
  EXPECT_EQ(out(), Cat({B("TIT2"), {0, 0, 0, 3, 0x00, 0x40, 0x77, 0, 'a'}}));
}

TEST_F(EncoderTest, Picture22PngBecomesApicWithMimeType) {
  const Bytes data = Cat({{0}, B("PNG"), {3}, B("d"), {0}, {0x89, 'P', 'N', 'G'}});
  Load(2, 0, Frame(2, "PIC", data));
  tag_.tagversion = {3, 0};
  FieldEncoder enc = Encoder();
  EXPECT_EQ(CopyId3v2Field(enc, tag_.fields[0]), kEncodeDone);
  const Bytes body = Cat({{0}, B("image/png"), {0}, {3}, B("d"), {0}, {0x89, 'P', 'N', 'G'}});
  EXPECT_EQ(body.size(), data.size() + 7);
  EXPECT_EQ(out(), Cat({B("APIC"), {0, 0, 0, static_cast<uint8_t>(body.size()), 0, 0}, body}));
}

TEST_F(EncoderTest, Picture23JpegBecomesPicWithFormatJpg) {
  const Bytes data = Cat({{0}, B("image/jpeg"), {0}, {0}, {0}, {0xFF, 0xD8, 0xFF}});
  Load(3, 0, Frame(3, "APIC", data));
  tag_.tagversion = {2, 0};
  FieldEncoder enc = Encoder();
  EXPECT_EQ(CopyId3v2Field(enc, tag_.fields[0]), kEncodeDone);
  const Bytes body = Cat({{0}, B("JPG"), {0}, {0}, {0xFF, 0xD8, 0xFF}});
  EXPECT_EQ(body.size(), data.size() - 8);
  EXPECT_EQ(out(), Cat({B("PIC"), {0, 0, static_cast<uint8_t>(body.size())}, body}));
}

TEST_F(EncoderTest, PictureConversionsTo22) {
  struct Case {
    const char* name;
    Bytes data;
    Bytes written;
  };
  const Case cases[] = {
      {"link", Cat({{0}, B("-->"), {0}, {3}, B("http://x")}), Cat({{0}, B("-->"), {3}, B("http://x")})},
      {"png", Cat({{0}, B("image/png"), {0}, {4}, {0}, {1, 2}}), Cat({{0}, B("PNG"), {4}, {0}, {1, 2}})},
      // A MIME type without "image/" still keeps type, description and data.
      {"bare", Cat({{0}, B("jpg"), {0}, {5}, B("desc"), {0}, {1, 2, 3, 4, 5, 6, 7}}),
       Cat({{0}, B("JPG"), {5}, B("desc"), {0}, {1, 2, 3, 4, 5, 6, 7}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    out_.data().clear();
    Load(3, 0, Frame(3, "APIC", c.data));
    tag_.tagversion = {2, 0};
    FieldEncoder enc = Encoder();
    CopyId3v2Field(enc, tag_.fields[0]);
    EXPECT_EQ(out(), Cat({B("PIC"), {0, 0, static_cast<uint8_t>(c.written.size())}, c.written}));
  }
}

TEST_F(EncoderTest, UnknownFieldAcrossThe22BoundaryIsRemovedWithAWarning) {
  Load(2, 0, Cat({Frame(2, "XYZ", {1, 2, 3, 4, 5}), Frame(2, "TT2", {0, 'a', 'b', 'c', 'd'})}));
  ASSERT_EQ(tag_.fields.size(), 2u);
  tag_.tagversion = {4, 0};
  FieldEncoder enc = Encoder();
  EXPECT_EQ(CopyId3v2Field(enc, tag_.fields[0]), kEncodeSkipped);
  EXPECT_TRUE(out().empty());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text,
            "Can't copy unknown id3v2 fields when changing version from v2.2 up.\r\nField coded \"XYZ\" removed.");
  EXPECT_EQ(messages_[0].caption, "warning");
  EXPECT_EQ(CopyId3v2Field(enc, tag_.fields[1]), kEncodeDone);
  EXPECT_EQ(out(), Cat({B("TIT2"), {0, 0, 0, 5, 0, 0}, {0, 'a', 'b', 'c', 'd'}}));
}

TEST_F(EncoderTest, UnknownFieldDownTo22) {
  Load(3, 0, Frame(3, "XYZW", {1, 2, 3, 4, 5}));
  tag_.tagversion = {2, 0};
  FieldEncoder enc = Encoder();
  EXPECT_EQ(CopyId3v2Field(enc, tag_.fields[0]), kEncodeSkipped);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text,
            "Can't copy unknown id3v2 fields when changing version down to v2.2.\r\nField coded \"XYZW\" removed.");
}

TEST_F(EncoderTest, EditedCommentWithLanguageAndEmptyDescription) {
  StartNewTag(3);
  Id3v2Field f = Added(4, "abc");
  f.tlan = "deu";
  FieldEncoder enc = Encoder();
  EXPECT_EQ(BuildTextField(enc, f), kEncodeDone);
  EXPECT_EQ(out(), Cat({B("COMM"), {0, 0, 0, 9, 0, 0}, {0}, B("deu"), {0}, B("abc"), {0}}));
}

TEST_F(EncoderTest, Utf8TextIsWrittenAsUtf16Below24AndCopiedUnchanged) {
  StartNewTag(3);
  Id3v2Field f = Added(44, "\xC3\xA9", kEncUtf8);
  FieldEncoder enc = Encoder();
  BuildTextField(enc, f);
  EXPECT_EQ(out(), Cat({B("TIT2"), {0, 0, 0, 7, 0, 0}, {1, 0xFF, 0xFE, 0xE9, 0x00, 0, 0}}));

  out_.data().clear();
  Load(4, 0, Frame(4, "TIT2", {3, 0xC3, 0xA9, 0}));
  tag_.tagversion = {3, 0};
  FieldEncoder copy = Encoder();
  CopyId3v2Field(copy, tag_.fields[0]);
  EXPECT_EQ(out(), Cat({B("TIT2"), {0, 0, 0, 4, 0, 0}, {3, 0xC3, 0xA9, 0}}));
}

TEST_F(EncoderTest, TextThatLatin1CannotHoldIsWrittenAsUtf16) {
  StartNewTag(4);
  Id3v2Field f = Added(44, "\xCE\xA9", kEncLatin1);
  FieldEncoder enc = Encoder();
  BuildTextField(enc, f);
  EXPECT_EQ(out(), Cat({B("TIT2"), {0, 0, 0, 7, 0, 0}, {1, 0xFF, 0xFE, 0xA9, 0x03, 0, 0}}));
}

TEST_F(EncoderTest, GenreRefinementsBecomeSeparateValues) {
  struct Case {
    std::string text;
    Bytes data;
  };
  const Case cases[] = {
      {"Rock RX", Cat({{0}, B("Rock"), {0}, B("RX"), {0}})},
      {"Rock CR RX", Cat({{0}, B("Rock"), {0}, B("CR"), {0}, B("RX"), {0}})},
      {"Rock rx cr", Cat({{0}, B("Rock"), {0}, B("rx"), {0}, B("cr"), {0}})},
      {"RX", Cat({{0}, B("RX"), {0}})},
      {"Rock", Cat({{0}, B("Rock"), {0}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    out_.data().clear();
    StartNewTag(4);
    Id3v2Field f = Added(29, c.text);
    FieldEncoder enc = Encoder();
    BuildTextField(enc, f);
    EXPECT_EQ(out(), Cat({B("TCON"), {0, 0, 0, static_cast<uint8_t>(c.data.size()), 0, 0}, c.data}));
    EXPECT_EQ(f.tansi, c.text);
  }
}

TEST_F(EncoderTest, UserUrlIsLatin1WhateverTheDescriptionNeeds) {
  StartNewTag(3);
  Id3v2Field f = Added(89, "http://a/", kEncUtf16Bom);
  f.tcont = "d";
  FieldEncoder enc = Encoder();
  BuildTextField(enc, f);
  EXPECT_EQ(out(), Cat({B("WXXX"), {0, 0, 0, 17, 0, 0}, {1, 0xFF, 0xFE, 'd', 0, 0, 0}, B("http://a/"), {0}}));
}

TEST_F(EncoderTest, EmptyFieldOptionOnBuiltTexts) {
  struct Case {
    const char* name;
    uint8_t index;
    std::string text;
    std::string description;
    bool skipEmpty;
    bool written;
  };
  const Case cases[] = {
      {"empty title, option on", 44, "", "", true, false},
      {"empty title, option off", 44, "", "", false, true},
      {"comment with only a description", 4, "", "d", true, true},
      {"title with text", 44, "t", "", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    out_.data().clear();
    StartNewTag(3);
    Id3v2Field f = Added(c.index, c.text);
    f.tcont = c.description;
    FieldEncoder enc = Encoder(c.skipEmpty);
    EXPECT_EQ(BuildTextField(enc, f), kEncodeDone);
    EXPECT_EQ(!out().empty(), c.written);
    EXPECT_EQ(enc.writtenFields, c.written ? 1u : 0u);
  }
}

TEST_F(EncoderTest, EmptyFieldOptionOnCopiedFields) {
  struct Case {
    const char* name;
    Bytes frame;
    bool written;
  };
  const Case cases[] = {
      {"only the encoding byte", Frame(3, "TIT2", {0}), false},
      {"two bytes, no text", Frame(3, "TIT2", {0, 0}), false},
      {"two bytes with text", Frame(3, "TIT2", {0, 'a'}), true},
      {"comment, default language, no text", Frame(3, "COMM", Cat({{0}, B("eng")})), false},
      {"comment, other language", Frame(3, "COMM", Cat({{0}, B("deu")})), true},
      {"comment, empty description and text", Frame(3, "COMM", Cat({{0}, B("eng"), {0}})), false},
      {"comment, text", Frame(3, "COMM", Cat({{0}, B("eng"), {0}, B("ab")})), true},
  };
  for (bool option : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << (option ? " (on)" : " (off)"));
      out_.data().clear();
      Load(3, 0, c.frame);
      FieldEncoder enc = Encoder(option);
      EXPECT_EQ(CopyId3v2Field(enc, tag_.fields[0]), kEncodeDone);
      EXPECT_EQ(out().empty(), option && !c.written);
    }
  }
}

TEST_F(EncoderTest, EmptyFieldOptionMeasures22FieldsLikeTheirLaterForms) {
  // "abc" in a 2.2 title is 4 data bytes, 10 with the 6-byte header.
  Load(2, 0, Frame(2, "TT2", {0, 'a', 'b', 'c'}));
  FieldEncoder enc = Encoder(true);
  CopyId3v2Field(enc, tag_.fields[0]);
  EXPECT_EQ(out(), Cat({B("TT2"), {0, 0, 4}, {0, 'a', 'b', 'c'}}));
}

TEST_F(EncoderTest, UnsynchronisationAppliedAndRemovedOnCopy) {
  // 2.4 unsynchronises each frame; its size counts the inserted byte.
  Load(4, 0, Frame(4, "PRIV", {'x', 0, 0xFF, 0xE0}));
  tag_.unsync = true;
  FieldEncoder enc = Encoder();
  CopyId3v2Field(enc, tag_.fields[0]);
  EXPECT_EQ(out(), Cat({B("PRIV"), {0, 0, 0, 5, 0, 0}, {'x', 0, 0xFF, 0x00, 0xE0}}));

  out_.data().clear();
  Load(3, 0x80, Frame(3, "PRIV", {'x', 0, 0xFF, 0x00, 0xE0}));
  ASSERT_TRUE(tag_.srcunsync);
  tag_.unsync = false;
  FieldEncoder enc2 = Encoder();
  CopyId3v2Field(enc2, tag_.fields[0]);
  EXPECT_EQ(out(), Cat({B("PRIV"), {0, 0, 0, 4, 0, 0}, {'x', 0, 0xFF, 0xE0}}));
}

TEST_F(EncoderTest, Unsynchronised23TagIsUnsynchronisedAsAWhole) {
  // ID3v2.3 5: the whole tag after its header is unsynchronised, frame headers
  // included; frame sizes count the bytes before that.
  Load(3, 0, Frame(3, "PRIV", {'x', 0, 0xFF, 0xE0}));
  tag_.unsync = true;
  Id3v2BlockOptions options;
  const Id3v2Block block = BuildId3v2TagBlock(tag_, source_, options, {});
  EXPECT_EQ(block.bytes, Tag(3, 0x80, Cat({B("PRIV"), {0, 0, 0, 4, 0, 0}, {'x', 0, 0xFF, 0x00, 0xE0}})));
}

TEST_F(EncoderTest, FrameUnsynchronisedIn24IsResynchronisedFor23) {
  Load(4, 0, Frame(4, "PRIV", {'x', 0, 0xFF, 0x00, 0xE0}, 0x00, 0x02));
  tag_.tagversion = {3, 0};
  FieldEncoder enc = Encoder();
  CopyId3v2Field(enc, tag_.fields[0]);
  EXPECT_EQ(out(), Cat({B("PRIV"), {0, 0, 0, 4, 0, 0}, {'x', 0, 0xFF, 0xE0}}));
}

TEST_F(EncoderTest, SourceProblemsSkipOnlyTheField) {
  Load(3, 0, Cat({Frame(3, "TIT2", {0, 'a', 'b'}), Frame(3, "TALB", {0, 'c', 'd'})}));
  // The source changed on disk after it was read: the bytes at the field's
  // position are no longer its frame.
  Id3v2Field moved = tag_.fields[1];
  moved.spos += 2;
  FieldEncoder enc = Encoder();
  EXPECT_EQ(CopyId3v2Field(enc, moved), kEncodeSkippedWarned);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Error reading source file:\r\nsource.mp3\r\nNot saving the field.");
  EXPECT_EQ(messages_[0].caption, "writing id3v2");

  Id3v2Field beyond = tag_.fields[1];
  beyond.spos = 1000000;
  EXPECT_EQ(CopyId3v2Field(enc, beyond), kEncodeSkippedWarned);

  Id3v2Field gone = tag_.fields[0];
  gone.tload = dir_.file("renamed.mp3");
  EXPECT_EQ(CopyId3v2Field(enc, gone), kEncodeSkippedWarned);
  EXPECT_EQ(messages_.back().text, "Source file was moved or renamed:\r\nrenamed.mp3\r\nNot saving the field.");
  EXPECT_TRUE(out().empty());
  EXPECT_EQ(enc.writtenFields, 0u);
}

TEST_F(EncoderTest, OversizedFieldsAreRefusedBeforeReading) {
  Load(3, 0, Frame(3, "POPM", {1}));
  struct Case {
    unsigned major;
    uint32_t dlen;
    const char* text;
  };
  const Case cases[] = {
      {2, 16777216, "Fields must be less than 16 MB\r\nto fit into id3v2.2 tag.\r\n(Popularimeter)"},
      {3, 67108865, "Tag fields larger than 64 MB are\r\nnot supported by Quorvel.\r\n(Popularimeter)"},
  };
  for (const Case& c : cases) {
    messages_.clear();
    Id3v2Field f = tag_.fields[0];
    f.dlen = c.dlen;  // larger than the file: nothing may be read
    tag_.tagversion = {static_cast<uint8_t>(c.major), 0};
    FieldEncoder enc = Encoder();
    EXPECT_EQ(CopyId3v2Field(enc, f), kEncodeTooLarge);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, c.text);
    EXPECT_TRUE(out().empty());
  }
}

TEST_F(EncoderTest, PictureFromFile) {
  const Bytes png = {0x89, 'P', 'N', 'G', 0xFF, 0xE0};
  WriteBytes(dir_.file("cover.png"), png);
  WriteBytes(dir_.file("cover.tif"), png);
  struct Case {
    unsigned major;
    bool unsync;
    Bytes body;
  };
  const Case cases[] = {
      {2, false, Cat({{0}, B("PNG"), {3}, B("d"), {0}, png})},
      {3, false, Cat({{0}, B("image/png"), {0}, {3}, B("d"), {0}, png})},
      {4, true, Cat({{0}, B("image/png"), {0}, {3}, B("d"), {0}, {0x89, 'P', 'N', 'G', 0xFF, 0x00, 0xE0}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.major);
    out_.data().clear();
    StartNewTag(c.major);
    tag_.unsync = c.unsync;
    Id3v2Field f;
    f.ind = 2;
    f.tip = kFieldPicture;
    f.sub = 3;
    f.akcija = kFieldAdded | kFieldLoaded;
    f.tload = dir_.file("cover.png");
    f.tcont = "d";
    FieldEncoder enc = Encoder();
    EXPECT_EQ(BuildFieldFromFile(enc, f), kEncodeDone);
    Bytes header = c.major == 2 ? Cat({B("PIC"), {0, 0, static_cast<uint8_t>(c.body.size())}})
                                : Cat({B("APIC"), {0, 0, 0, static_cast<uint8_t>(c.body.size()), 0, 0}});
    EXPECT_EQ(out(), Cat({header, c.body}));

    f.tload = dir_.file("cover.tif");
    out_.data().clear();
    EXPECT_EQ(BuildFieldFromFile(enc, f), kEncodeSkippedWarned);
    EXPECT_TRUE(out().empty());
    EXPECT_EQ(messages_.back().text, "Unknown attached image type:\r\ncover.tif\r\nNot saving the field.");
  }
}

TEST_F(EncoderTest, FieldsFromFilesAndTheirRefusals) {
  WriteBytes(dir_.file("buf.bin"), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  WriteBytes(dir_.file("short.bin"), {1, 2, 3});
  WriteBytes(dir_.file("empty.bin"), {});
  StartNewTag(3);
  auto loaded = [&](uint8_t index, const std::string& name) {
    Id3v2Field f;
    f.ind = index;
    f.tip = Id3v2Catalogue[index].tip;
    f.sub = Id3v2Catalogue[index].fel;
    f.akcija = kFieldLoaded;
    f.tload = name.empty() ? "" : dir_.file(name);
    return f;
  };
  {
    // "Recommended buffer size" takes the first 8 bytes.
    Id3v2Field f = loaded(19, "buf.bin");
    FieldEncoder enc = Encoder();
    EXPECT_EQ(BuildFieldFromFile(enc, f), kEncodeDone);
    EXPECT_EQ(out(), Cat({B("RBUF"), {0, 0, 0, 8, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 8}}));
  }
  struct Refusal {
    uint8_t index;
    const char* file;
    bool skipEmpty;
    int result;
    std::string message;
  };
  const Refusal refusals[] = {
      {19, "short.bin", false, kEncodeSkippedWarned, "Error reading referenced external file:\r\nshort.bin\r\nNot saving the field."},
      {15, "missing.bin", false, kEncodeSkippedWarned, "Referenced external file doesn't exist:\r\nmissing.bin\r\nNot saving the field."},
      {15, "", false, kEncodeSkippedWarned, ""},
      {15, "empty.bin", true, kEncodeSkipped, ""},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.file);
    out_.data().clear();
    messages_.clear();
    Id3v2Field f = loaded(r.index, r.file);
    FieldEncoder enc = Encoder(r.skipEmpty);
    EXPECT_EQ(BuildFieldFromFile(enc, f), r.result);
    EXPECT_TRUE(out().empty());
    if (r.message.empty()) {
      EXPECT_TRUE(messages_.empty());
    } else {
      ASSERT_EQ(messages_.size(), 1u);
      EXPECT_EQ(messages_[0].text, r.message);
    }
  }
  {
    out_.data().clear();
    Id3v2Field f = loaded(15, "empty.bin");
    FieldEncoder enc = Encoder(false);
    EXPECT_EQ(BuildFieldFromFile(enc, f), kEncodeDone);
    EXPECT_EQ(out(), Cat({B("PRIV"), {0, 0, 0, 0, 0, 0}}));
  }
}

TEST_F(EncoderTest, OversizedExternalFilesAreRefused) {
  // Sparse files: only their sizes matter.
  WriteBytes(dir_.file("16m.bin"), {});
  std::filesystem::resize_file(dir_.file("16m.bin"), 16777216);
  WriteBytes(dir_.file("64m.bin"), {});
  std::filesystem::resize_file(dir_.file("64m.bin"), 67108861);
  struct Case {
    unsigned major;
    const char* file;
    std::string message;
  };
  const Case cases[] = {
      {2, "16m.bin", "Referenced external file is above maximum size for ID3v2.2 type tag (16 MB):\r\n16m.bin\r\nNot saving the field."},
      {3, "64m.bin", "Referenced external file is above maximum size allowed by Quorvel (64 MB):\r\n64m.bin\r\nNot saving the field."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    messages_.clear();
    StartNewTag(c.major);
    Id3v2Field f;
    f.ind = 9;  // GEOB / GEO
    f.tip = kFieldMixed;
    f.akcija = kFieldLoaded;
    f.tload = dir_.file(c.file);
    FieldEncoder enc = Encoder();
    EXPECT_EQ(BuildFieldFromFile(enc, f), kEncodeTooLarge);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, c.message);
    EXPECT_TRUE(out().empty());
  }
  {
    messages_.clear();
    StartNewTag(3);
    Id3v2Field ext;
    ext.ind = kExtHeaderIndex;
    ext.akcija = kFieldLoaded;
    ext.tload = dir_.file("16m.bin");
    bool written = true;
    FieldEncoder enc = Encoder();
    EXPECT_EQ(WriteExtHeaderFromFile(enc, ext, written), kEncodeSkippedWarned);
    EXPECT_FALSE(written);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, "Extended header file must be below 16 MB:\r\n16m.bin\r\nNot saving the field.");
  }
}

TEST_F(EncoderTest, OversizedExtendedHeaderIsNotCopied) {
  Load(3, 0x40, Cat({{0, 0, 0, 6, 0, 0, 0, 0, 0, 0}, Frame(3, "TIT2", {0, 'a'})}));
  Id3v2Field ext = tag_.fields[0];
  ext.dlen = 67108865;
  bool written = true;
  FieldEncoder enc = Encoder();
  EXPECT_EQ(CopyExtHeader(enc, ext, written), kEncodeTooLarge);
  EXPECT_FALSE(written);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "Extended header larger than 64 MB will not be copied by Quorvel.");
  EXPECT_EQ(messages_[0].caption, "warning");
}

TEST_F(EncoderTest, CompressedFrameCannotGoDownTo22) {
  Load(3, 0, Frame(3, "TIT2", {0, 0, 0, 9, 0x78, 0x9C, 1, 2}, 0x00, 0x80));
  tag_.tagversion = {2, 0};
  FieldEncoder enc = Encoder();
  EXPECT_EQ(CopyId3v2Field(enc, tag_.fields[0]), kEncodeSkipped);
  EXPECT_TRUE(out().empty());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text,
            "Can't copy compressed or encrypted id3v2 fields to this version.\r\nField coded \"TIT2\" removed.");

  // Into 2.4 the decompressed size becomes the data length indicator.
  out_.data().clear();
  tag_.tagversion = {4, 0};
  FieldEncoder enc4 = Encoder();
  EXPECT_EQ(CopyId3v2Field(enc4, tag_.fields[0]), kEncodeDone);
  EXPECT_EQ(out(), Cat({B("TIT2"), {0, 0, 0, 8, 0x00, 0x09}, {0, 0, 0, 9, 0x78, 0x9C, 1, 2}}));
}

TEST_F(EncoderTest, ExtendedHeaderFromFile) {
  WriteBytes(dir_.file("ext6.bin"), {0, 0, 0, 0, 0, 0});
  WriteBytes(dir_.file("ext2.bin"), {1, 0});
  Id3v2Field f;
  f.ind = kExtHeaderIndex;
  f.akcija = kFieldLoaded;
  struct Case {
    unsigned major;
    const char* file;
    bool written;
    Bytes bytes;
    std::string message;
  };
  const Case cases[] = {
      {3, "ext6.bin", true, {0, 0, 0, 6, 0, 0, 0, 0, 0, 0}, ""},
      {4, "ext2.bin", true, {0, 0, 0, 6, 1, 0}, ""},
      {2, "ext6.bin", false, {}, ""},
      {3, "ext2.bin", false, {},
       "Extended header file must have at least 6 bytes in ID3v2.3:\r\next2.bin\r\nNot saving the field."},
      {3, "gone.bin", false, {},
       "Extended header file was moved, renamed or deleted:\r\ngone.bin\r\nNot saving the field."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.major << " " << c.file);
    out_.data().clear();
    messages_.clear();
    StartNewTag(c.major);
    f.tload = dir_.file(c.file);
    FieldEncoder enc = Encoder();
    bool written = true;
    WriteExtHeaderFromFile(enc, f, written);
    EXPECT_EQ(written, c.written);
    EXPECT_EQ(out(), c.bytes);
    EXPECT_EQ(messages_.empty(), c.message.empty());
    if (!messages_.empty()) {
      EXPECT_EQ(messages_[0].text, c.message);
    }
  }
}

TEST_F(EncoderTest, ExtendedHeaderCopiedWithinItsVersionOnly) {
  const Bytes ext = {0, 0, 0, 6, 0, 0, 0, 0, 0, 0};
  Load(3, 0x40, Cat({ext, Frame(3, "TIT2", {0, 'a'})}));
  ASSERT_EQ(tag_.fields[0].ind, kExtHeaderIndex);
  bool written = false;
  FieldEncoder enc = Encoder();
  CopyExtHeader(enc, tag_.fields[0], written);
  EXPECT_TRUE(written);
  EXPECT_EQ(out(), ext);

  out_.data().clear();
  tag_.tagversion = {4, 0};
  FieldEncoder enc4 = Encoder();
  CopyExtHeader(enc4, tag_.fields[0], written);
  EXPECT_FALSE(written);
  EXPECT_TRUE(out().empty());
}

// --- The whole tag ---

class TagBlockTest : public EncoderTest {
 protected:
  Id3v2Block Build(uint8_t newTagMajor = 3) {
    Id3v2BlockOptions options;
    options.newTagMajor = newTagMajor;
    Id3v2BlockCallbacks callbacks;
    callbacks.report = [this](const TagMessage& m) { messages_.push_back(m); };
    return BuildId3v2TagBlock(tag_, source_, options, callbacks);
  }
  void AddText(uint8_t index, const std::string& text) { tag_.fields.push_back(Added(index, text)); }
};

TEST_F(TagBlockTest, HeaderFieldsPaddingAndFooter) {
  struct Case {
    const char* name;
    unsigned major;
    bool unsync, footer, experimental;
    uint32_t padding;
    uint8_t flags;
    size_t paddingWritten;
  };
  const Case cases[] = {
      {"2.3 padded", 3, false, false, false, 16, 0x00, 16},
      {"2.3 unsync experimental", 3, true, false, true, 0, 0xA0, 0},
      {"2.2 ignores experimental and footer", 2, false, true, true, 4, 0x00, 4},
      {"2.4 footer, no padding", 4, false, true, false, 64, 0x10, 0},
      {"2.4 padding", 4, false, false, false, 2, 0x00, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartNewTag(c.major);
    tag_.unsync = c.unsync;
    tag_.footer = c.footer;
    tag_.experimental = c.experimental;
    tag_.padding = c.padding;
    AddText(44, "Title");
    const Id3v2Block block = Build();
    ASSERT_EQ(block.outcome, Id3v2BlockOutcome::kWritten);
    const size_t frame = (c.major == 2 ? 6 : 10) + 7;
    const size_t size = frame + c.paddingWritten;
    const bool footer = c.footer && c.major == 4;
    ASSERT_EQ(block.bytes.size(), 10 + size + (footer ? 10 : 0));
    EXPECT_EQ(Bytes(block.bytes.begin(), block.bytes.begin() + 10),
              Cat({B("ID3"), {static_cast<uint8_t>(c.major), 0, c.flags, 0, 0, 0, static_cast<uint8_t>(size)}}));
    EXPECT_EQ(Bytes(block.bytes.begin() + 10 + frame, block.bytes.begin() + 10 + size), Bytes(c.paddingWritten, 0));
    if (footer) {
      EXPECT_EQ(Bytes(block.bytes.end() - 10, block.bytes.end()),
                Cat({B("3DI"), {4, 0, c.flags, 0, 0, 0, static_cast<uint8_t>(size)}}));
    }
  }
}

TEST_F(TagBlockTest, NoTagWithoutWritableFields) {
  StartNewTag(3);
  tag_.padding = 100;
  EXPECT_EQ(Build().outcome, Id3v2BlockOutcome::kNoTag);
  AddText(44, "a");
  tag_.fields[0].akcija |= kFieldRemoved;
  EXPECT_EQ(Build().outcome, Id3v2BlockOutcome::kNoTag);
  // A field that writes nothing leaves no tag either, whatever the padding.
  tag_.fields[0] = Added(44, "");
  Id3v2BlockOptions options;
  options.skipEmptyFields = true;
  const Id3v2Block block = BuildId3v2TagBlock(tag_, source_, options, {});
  EXPECT_EQ(block.outcome, Id3v2BlockOutcome::kNoTag);
  EXPECT_TRUE(block.bytes.empty());
}

TEST_F(TagBlockTest, VersionOutside2To4BecomesTheNewTagFormat) {
  StartNewTag(5);
  AddText(44, "a");
  const Id3v2Block block = Build(4);
  ASSERT_EQ(block.outcome, Id3v2BlockOutcome::kWritten);
  EXPECT_EQ(block.bytes[3], 4);
  EXPECT_EQ(tag_.tagversion.major, 4);
}

TEST_F(TagBlockTest, ExtendedHeaderComesFirstAndSetsItsFlag) {
  WriteBytes(dir_.file("ext.bin"), {0, 0, 0, 0, 0, 0});
  StartNewTag(3);
  AddText(44, "a");
  Id3v2Field ext;
  ext.ind = kExtHeaderIndex;
  ext.akcija = kFieldAdded | kFieldLoaded;
  ext.tload = dir_.file("ext.bin");
  tag_.fields.push_back(ext);
  const Id3v2Block block = Build();
  ASSERT_EQ(block.outcome, Id3v2BlockOutcome::kWritten);
  EXPECT_EQ(block.bytes[5], 0x40);
  EXPECT_EQ(Bytes(block.bytes.begin() + 10, block.bytes.begin() + 24),
            Cat({{0, 0, 0, 6, 0, 0, 0, 0, 0, 0}, B("TIT2")}));
}

TEST_F(TagBlockTest, UnreadableSourceFieldLeavesAValidTagOfTheOthers) {
  Load(3, 0, Cat({Frame(3, "TIT2", {0, 'a', 'b'}), Frame(3, "TALB", {0, 'c', 'd'})}));
  tag_.fields[0].spos += 1;  // no longer points at its frame
  const Id3v2Block block = Build();
  ASSERT_EQ(block.outcome, Id3v2BlockOutcome::kWritten);
  EXPECT_EQ(block.fieldsWritten, 1u);
  EXPECT_EQ(block.bytes, Tag(3, 0, Frame(3, "TALB", {0, 'c', 'd'})));
  ASSERT_EQ(messages_.size(), 1u);
}

TEST_F(TagBlockTest, ErroneousFieldsAreLeftOutWhenAsked) {
  Load(3, 0, Cat({Frame(3, "TIT2", {7, 'a'}), Frame(3, "TALB", {0, 'c'})}));
  ASSERT_EQ(tag_.fields[0].err, kErrUnknownEncoding);
  Id3v2BlockOptions options;
  options.dropErroneousFields = true;
  EXPECT_EQ(BuildId3v2TagBlock(tag_, source_, options, {}).bytes, Tag(3, 0, Frame(3, "TALB", {0, 'c'})));
  options.dropErroneousFields = false;
  EXPECT_EQ(BuildId3v2TagBlock(tag_, source_, options, {}).bytes,
            Tag(3, 0, Cat({Frame(3, "TIT2", {7, 'a'}), Frame(3, "TALB", {0, 'c'})})));
}

TEST_F(TagBlockTest, CloseRequestStopsAfterField127) {
  StartNewTag(3);
  for (int i = 0; i < 200; ++i) AddText(44, "t");
  int calls = 0;
  Id3v2BlockCallbacks callbacks;
  callbacks.processEvents = [&] {
    ++calls;
    return true;
  };
  const Id3v2Block block = BuildId3v2TagBlock(tag_, source_, {}, callbacks);
  EXPECT_EQ(block.outcome, Id3v2BlockOutcome::kClosed);
  EXPECT_TRUE(block.bytes.empty());
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace quorvel
