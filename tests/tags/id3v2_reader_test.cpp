#include "tags/id3v2_reader.h"

#include <gtest/gtest.h>

#include "tags/id3v2_catalogue.h"
#include "tags/id3v2_read_support.h"

namespace quorvel {
namespace {

using test::B;
using test::Bytes;
using test::Cat;
using test::Frame;
using test::Tag;

const Bytes kAudio(64, 0x55);

class Id3v2Read : public ::testing::Test {
 protected:
  // Writes the bytes to a file and reads the tag at its start.
  Id3v2TagState Read(const Bytes& fileBytes) {
    path_ = dir_.file("t" + std::to_string(++n_) + ".mp3");
    test::WriteBytes(path_, fileBytes);
    Id3v2TagState tag;
    EXPECT_TRUE(test::ReadTagAt(path_, tag));
    return tag;
  }
  test::ScratchDir dir_;
  std::string path_;
  int n_ = 0;
};

Bytes Utf16Le(const std::u16string& s, bool mark = true, bool terminate = true) {
  Bytes out;
  if (mark) out = {0xFF, 0xFE};
  for (char16_t c : s) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (terminate) out.insert(out.end(), {0, 0});
  return out;
}

// --- byte helpers ---------------------------------------------------------

TEST(Id3v2Size, PlainBelowVersion4AndSynchsafeFrom4) {
  const uint8_t plain[4] = {0x00, 0x00, 0x01, 0x7F};
  EXPECT_EQ(DecodeId3v2Size(plain, 3), 0x17Fu);
  EXPECT_EQ(DecodeId3v2Size(plain, 4), 0xFFu);
  const uint8_t high[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(DecodeId3v2Size(high, 2), 0xFFFFFFFFu);
  EXPECT_EQ(DecodeId3v2Size(high, 4), 0x0FFFFFFFu);
  EXPECT_EQ(DecodeId3v2Size(high, 9), 0x0FFFFFFFu);
}

TEST(Id3v2Resync, DropsEveryZeroThatFollowsFF) {
  struct Case {
    Bytes in;
    Bytes out;
  };
  const Case cases[] = {
      {{}, {}},
      {{0xFF}, {0xFF}},
      {{0xFF, 0x00}, {0xFF}},
      {{0xFF, 0x00, 0x00}, {0xFF, 0x00}},
      {{0xFF, 0x00, 0xE0, 0xFF, 0x00, 0xFF}, {0xFF, 0xE0, 0xFF, 0xFF}},
      {{0xFF, 0xFF, 0x00, 0x00}, {0xFF, 0xFF, 0x00}},
      {{0x00, 0xFF, 0x01}, {0x00, 0xFF, 0x01}},
  };
  for (const Case& c : cases) {
    Bytes buf = c.in;
    const ResyncResult r = ResyncBytes(buf.data(), buf.size());
    buf.resize(r.length);
    EXPECT_EQ(buf, c.out);
    EXPECT_EQ(r.dropped, c.in.size() - c.out.size());
  }
}

TEST(Id3v2DecodeText, DecodesEachEncodingAndMovesTheCursorPastTheTerminator) {
  struct Case {
    const char* name;
    Bytes bytes;
    uint8_t enc;
    uint8_t parts;
    std::string text;
    size_t consumed;
  };
  const Case cases[] = {
      {"latin1", {'a', 0xE9, 0, 'x'}, 0, 1, "a\xC3\xA9", 3},
      {"latin1 unterminated stops at the count", {'a', 'b'}, 0, 1, "ab", 2},
      {"no encoding part means latin1", {0xFF, 0xFE, 'a', 0}, 1, 0, "\xC3\xBF\xC3\xBE" "a", 4},
      {"utf16 le with mark", Cat({Utf16Le(u"h\u00e9"), B("x")}), 1, 1, "h\xC3\xA9", 8},
      {"utf16 be with mark", {0xFE, 0xFF, 0, 'h', 0, 0, 'x'}, 1, 1, "h", 6},
      {"utf16 without mark is little-endian", {'h', 0, 'i', 0, 0, 0}, 1, 1, "hi", 6},
      {"utf16-be", {0, 'h', 0, 'i', 0, 0, 0, 'z'}, 2, 1, "hi", 6},
      {"utf16-be drops a mark", {0xFE, 0xFF, 0, 'h', 0, 0}, 2, 1, "h", 6},
      {"utf16 surrogate pair", {0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}, 1, 1, "\xF0\x9F\x98\x80", 8},
      {"utf16 odd count", {0xFF, 0xFE, 'a', 0, 'b'}, 1, 1, "ab", 5},
      {"utf8", {'z', 0xC3, 0xBC, 0, 'q'}, 3, 1, "z\xC3\xBC", 4},
      {"utf8 with mark", {0xEF, 0xBB, 0xBF, 'a', 0}, 3, 1, "a", 5},
      {"invalid utf8 falls back to latin1", {'a', 0xE9, 'b', 0}, 3, 1, "a\xC3\xA9" "b", 4},
      {"unknown encoding with a mark is utf16", {0xFF, 0xFE, 'o', 0, 'k', 0}, 7, 1, "ok", 6},
      {"unknown encoding without a mark is latin1", {'o', 'k', 0}, 7, 1, "ok", 3},
      {"empty", {}, 0, 1, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes buf = Cat({B("##"), c.bytes});
    size_t cursor = 2;
    const std::string text =
        DecodeFieldText(buf.data(), cursor, static_cast<int64_t>(c.bytes.size()), c.enc, c.parts);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(cursor - 2, c.consumed);
  }
}

TEST(Id3v2DecodeText, ANonPositiveCountLeavesTheCursor) {
  const Bytes buf = B("abc");
  size_t cursor = 1;
  EXPECT_EQ(DecodeFieldText(buf.data(), cursor, 0, 0, 1), "");
  EXPECT_EQ(DecodeFieldText(buf.data(), cursor, -5, 0, 1), "");
  EXPECT_EQ(cursor, 1u);
  cursor = 7;
  EXPECT_EQ(DecodeFieldText(buf, cursor, 0, 1), "");
  EXPECT_EQ(cursor, 7u);
  cursor = 0;
  EXPECT_EQ(DecodeFieldText(buf, cursor, 0, 1), "abc");
  EXPECT_EQ(cursor, 3u);
}

// --- model helpers --------------------------------------------------------

TEST(Id3v2Model, AddedFieldsCarryTheirCatalogueEntry) {
  Id3v2TagState tag;
  tag.tagversion = {2, 0};
  EXPECT_EQ(AddId3v2Field(tag, 4), 0u);
  tag.tagversion = {9, 0};
  EXPECT_EQ(AddId3v2Field(tag, 3), 1u);
  ASSERT_EQ(tag.fieldcount(), 2u);
  const Id3v2Field& comment = tag.fields[0];
  EXPECT_EQ(comment.ind, 4);
  EXPECT_EQ(comment.tip, kFieldText);
  EXPECT_EQ(comment.sub, 7);
  EXPECT_EQ(comment.akcija, kFieldAdded);
  EXPECT_EQ(comment.thint, "code: COM\r\nNewly added field");
  EXPECT_EQ(comment.tlan, "eng");
  EXPECT_EQ(comment.spos, 0u);
  EXPECT_EQ(comment.dlen, 0u);
  EXPECT_TRUE(comment.tload.empty());
  EXPECT_EQ(tag.fields[1].thint, "code: ASPI\r\nNewly added field");
}

TEST(Id3v2Model, ScriptTagStartsOnceFromTheOptions) {
  struct Case {
    uint8_t format;
    uint8_t padding;
    uint8_t major;
    bool unsync;
    uint32_t bytes;
  };
  const Case cases[] = {{2, 0, 2, false, 0},   {130, 1, 2, true, 2},   {3, 2, 3, false, 4},
                        {131, 3, 3, true, 16}, {4, 4, 4, false, 64},   {132, 5, 4, true, 256},
                        {4, 6, 4, false, 1024}, {5, 9, 3, false, 0},   {0x85, 7, 3, true, 0}};
  for (const Case& c : cases) {
    Id3v2TagState tag;
    tag.exthead = tag.footer = tag.experimental = true;
    tag.fields.resize(3);
    tag.textlist = {0, 1};
    StartScriptTag(tag, c.format, c.padding);
    EXPECT_TRUE(tag.tagStarted);
    EXPECT_EQ(tag.fieldcount(), 0u);
    EXPECT_TRUE(tag.textlist.empty());
    EXPECT_EQ(tag.tagversion.major, c.major);
    EXPECT_EQ(tag.tagversion.minor, 0);
    EXPECT_EQ(tag.srcversion.major, c.major);
    EXPECT_EQ(tag.unsync, c.unsync);
    EXPECT_EQ(tag.padding, c.bytes);
    EXPECT_FALSE(tag.exthead || tag.footer || tag.experimental);
    AddId3v2Field(tag, 44);
    StartScriptTag(tag, 2, 0);  // already started: keeps the field and the version
    EXPECT_EQ(tag.fieldcount(), 1u);
    EXPECT_EQ(tag.tagversion.major, c.major);
    ResetId3v2State(tag);
    EXPECT_FALSE(tag.tagStarted);
    EXPECT_EQ(tag.fieldcount(), 0u);
  }
}

// --- reading tags ---------------------------------------------------------

TEST_F(Id3v2Read, InformationTextOfATextField) {
  const Id3v2TagState tag = Read(Cat({Tag(3, 0, Frame(3, "TIT2", B("\0Title", 6))), kAudio}));
  ASSERT_EQ(tag.fieldcount(), 1u);
  const Id3v2Field& f = tag.fields[0];
  EXPECT_FALSE(tag.readerror);
  EXPECT_EQ(f.thint,
            "code: TIT2\r\noriginal header position: 10\r\nsize without the header: 6\r\n"
            "flags: 0,0\r\nencoding: ISO-8859-1");
  EXPECT_EQ(f.ind, 44);
  EXPECT_EQ(f.tip, kFieldText);
  EXPECT_EQ(f.tansi, "Title");
  EXPECT_EQ(f.torig, "Title");
  EXPECT_EQ(f.spos, 10u);
  EXPECT_EQ(f.dlen, 16u);
  EXPECT_EQ(f.tload, path_);
  EXPECT_EQ(tag.textlist, std::vector<uint32_t>{0});
}

TEST_F(Id3v2Read, FlagBytesAreShownInDecimalAndHex) {
  const Id3v2TagState tag = Read(Cat({Tag(3, 0, Frame(3, "TIT2", B("\0T", 2), 0x00, 0x40)), kAudio}));
  ASSERT_EQ(tag.fieldcount(), 1u);
  EXPECT_EQ(tag.fields[0].flaq, 0x4000);
  EXPECT_NE(tag.fields[0].thint.find("\r\nflags: 0,64 (00h,40h)\r\n"), std::string::npos);
  const Id3v2TagState v22 = Read(Cat({Tag(2, 0, Frame(2, "TT2", B("\0T", 2))), kAudio}));
  ASSERT_EQ(v22.fieldcount(), 1u);
  EXPECT_EQ(v22.fields[0].thint,
            "code: TT2\r\noriginal header position: 10\r\nsize without the header: 2\r\n"
            "encoding: ISO-8859-1");
  EXPECT_EQ(v22.fields[0].dlen, 8u);
}

TEST_F(Id3v2Read, FieldWalkEndings) {
  const Bytes title = Frame(4, "TIT2", B("\0A", 2));
  struct Case {
    const char* name;
    Bytes file;
    uint32_t fields;
    uint32_t padding;
  };
  Bytes footer = {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 0, 0};
  const Case cases[] = {
      {"padding only", Cat({Tag(3, 0, Bytes(100, 0)), kAudio}), 0, 100},
      {"padding up to a non-zero byte", Cat({Tag(3, 0, Cat({Bytes(40, 0), B("x"), Bytes(9, 0)})), kAudio}), 0, 40},
      {"padding after a field", Cat({Tag(4, 0, Cat({title, Bytes(30, 0)})), kAudio}), 1, 30},
      {"field fills the tag", Cat({Tag(4, 0, title), kAudio}), 1, 0},
      {"2.4 footer", Cat({Tag(4, 0x10, title), footer, kAudio}), 1, 0},
      {"MP3e", Cat({Tag(4, 0, Cat({title, B("MP3e"), Bytes(20, 0)})), kAudio}), 1, 0},
      {" MP3", Cat({Tag(3, 0, Cat({Frame(3, "TIT2", B("\0A", 2)), B(" MP3"), Bytes(20, 0)})), kAudio}), 1, 0},
      {"empty tag", Cat({Tag(3, 0, {}), kAudio}), 0, 0},
      {"padding over several read chunks", Cat({Tag(3, 0, Cat({Bytes(140000, 0), B("x")})), kAudio}), 0, 140000},
      {"padding of exactly two chunks", Cat({Tag(3, 0, Bytes(131072, 0)), kAudio}), 0, 131072},
      {"padding runs past the end of the file", Tag(3, 0, Bytes(50, 0), 5000), 0, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Id3v2TagState tag = Read(c.file);
    EXPECT_FALSE(tag.readerror);
    EXPECT_EQ(tag.fieldcount(), c.fields);
    EXPECT_EQ(tag.padding, c.padding);
  }
}

TEST_F(Id3v2Read, CodesAreLookedUpInTheColumnOfTheTagVersion) {
  const Id3v2TagState v23 = Read(Cat({Tag(3, 0, Cat({Frame(3, "IPLS", B("\0a", 2)),
                                                      Frame(3, "TIT2", B("\0b", 2))})),
                                      kAudio}));
  ASSERT_EQ(v23.fieldcount(), 2u);
  EXPECT_EQ(v23.fields[0].ind, 42);
  EXPECT_EQ(v23.fields[1].ind, 44);
  const Id3v2TagState v24 = Read(Cat({Tag(4, 0, Frame(4, "TIPL", B("\0a", 2))), kAudio}));
  ASSERT_EQ(v24.fieldcount(), 1u);
  EXPECT_EQ(v24.fields[0].ind, 42);

  // In a 2.2 tag the title is TT2: TIT (and so TIT2) is not a 2.2 code.
  const Id3v2TagState v22 = Read(Cat({Tag(2, 0, Cat({Frame(2, "TIT", B("\0a", 2)),
                                                      Frame(2, "TT2", B("\0b", 2))})),
                                      kAudio}));
  ASSERT_EQ(v22.fieldcount(), 2u);
  const Id3v2Field& unknown = v22.fields[0];
  EXPECT_EQ(unknown.ind, 0);
  EXPECT_EQ(unknown.tip, kFieldUnknown);
  EXPECT_EQ(unknown.err, kErrUnknownCode);
  EXPECT_EQ(unknown.tkod, "TIT");
  EXPECT_TRUE(unknown.tansi.empty());
  EXPECT_EQ(v22.fields[1].ind, 44);
  EXPECT_EQ(v22.textlist, std::vector<uint32_t>{1});
  EXPECT_TRUE(v22.mixlist.empty() && v22.binlist.empty() && v22.piclist.empty());
}

TEST_F(Id3v2Read, MajorVersionsBeyondTheCatalogueUseItsLastColumn) {
  Bytes tagBytes = Tag(4, 0, Cat({Frame(4, "ASPI", B("xyz")), Frame(4, "TIT2", B("\0a", 2))}));
  tagBytes[3] = 7;
  const Id3v2TagState tag = Read(Cat({tagBytes, kAudio}));
  EXPECT_FALSE(tag.readerror);
  ASSERT_EQ(tag.fieldcount(), 2u);
  EXPECT_EQ(tag.fields[0].ind, 3);
  EXPECT_EQ(tag.fields[1].ind, 44);
  EXPECT_EQ(tag.srcversion.major, 5);
}

TEST_F(Id3v2Read, TextsUpTo2048BytesAreDecoded) {
  for (size_t size : {size_t{2048}, size_t{2049}}) {
    Bytes data(size, 'x');
    data[0] = 0;
    const Id3v2TagState tag = Read(Cat({Tag(3, 0, Frame(3, "TALB", data)), kAudio}));
    ASSERT_EQ(tag.fieldcount(), 1u);
    const Id3v2Field& f = tag.fields[0];
    if (size == 2048) {
      EXPECT_EQ(f.tansi, std::string(2047, 'x'));
      EXPECT_EQ(f.err, 0);
    } else {
      EXPECT_EQ(f.tansi, "- TOO LARGE TO DISPLAY -");
      EXPECT_EQ(f.torig, f.tansi);
      EXPECT_EQ(f.err, kErrTooLarge);
    }
    EXPECT_EQ(tag.textlist.size(), 1u);
  }
}

TEST_F(Id3v2Read, CommentPartsAndTheirFaults) {
  struct Case {
    const char* name;
    Bytes data;
    uint8_t err;
    std::string lang, desc, text, hintEnd;
  };
  const Case cases[] = {
      {"utf16 comment", Cat({{1}, B("eng"), Utf16Le(u"d"), Utf16Le(u"hello", true, false)}), 0,
       "eng", "d", "hello", "\r\nencoding: UTF-16 with BOM"},
      {"latin1 comment", Cat({{0}, B("deu"), B("Beschr\0Text\0", 12)}), 0, "deu", "Beschr", "Text",
       "\r\nencoding: ISO-8859-1"},
      {"utf16-be comment", Cat({{2}, B("fra"), {0, 'd', 0, 0, 0, 't'}}), 0, "fra", "d", "t",
       "\r\nencoding: UTF-16-BE"},
      {"utf8 comment", Cat({{3}, B("eng"), B("\0\xC3\xA9t\xC3\xA9", 6)}), 0, "eng", "", "\xC3\xA9t\xC3\xA9",
       "\r\nencoding: UTF-8"},
      {"three bytes", {0, 'e', 'n'}, kErrMissingLanguage, "", "", "",
       "\r\nencoding: ISO-8859-1\r\nmissing language information!"},
      {"encoding 7", Cat({{7}, B("eng\0text", 8)}), kErrUnknownEncoding, "", "", "",
       "\r\nunknown encoding, can't display!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Id3v2TagState tag = Read(Cat({Tag(3, 0, Frame(3, "COMM", c.data)), kAudio}));
    ASSERT_EQ(tag.fieldcount(), 1u);
    const Id3v2Field& f = tag.fields[0];
    EXPECT_EQ(f.err, c.err);
    EXPECT_EQ(f.tlan, c.lang);
    EXPECT_EQ(f.tolan, c.lang);
    EXPECT_EQ(f.tcont, c.desc);
    EXPECT_EQ(f.torco, c.desc);
    EXPECT_EQ(f.tansi, c.text);
    EXPECT_EQ(f.torig, c.text);
    EXPECT_EQ(f.enc, f.torenc);
    ASSERT_GE(f.thint.size(), c.hintEnd.size());
    EXPECT_EQ(f.thint.substr(f.thint.size() - c.hintEnd.size()), c.hintEnd);
    EXPECT_EQ(tag.textlist, std::vector<uint32_t>{0});
  }
}

TEST_F(Id3v2Read, UserUrlIsLatin1WhateverTheDescriptionsEncoding) {
  const Bytes url = B("http://example.com/\xE9", 20);
  const Id3v2TagState tag = Read(Cat({Tag(4, 0, Cat({Frame(4, "WXXX", Cat({{1}, Utf16Le(u"site"), url})),
                                                     Frame(4, "WXXX", Cat({{1}, Utf16Le(u"u16"), Utf16Le(u"http://x")})),
                                                     Frame(4, "WOAR", B("http://a"))})),
                                      kAudio}));
  ASSERT_EQ(tag.fieldcount(), 3u);
  EXPECT_EQ(tag.fields[0].tcont, "site");
  EXPECT_EQ(tag.fields[0].tansi, "http://example.com/\xC3\xA9");
  EXPECT_EQ(tag.fields[1].tcont, "u16");
  EXPECT_EQ(tag.fields[1].tansi, "http://x");
  EXPECT_EQ(tag.fields[2].tansi, "http://a");
}

TEST_F(Id3v2Read, AnImproperCodeStopsTheWalkButKeepsTheFieldsBefore) {
  const Bytes body = Cat({Frame(3, "TIT2", B("\0a", 2)), Frame(3, "TPE1", B("\0b", 2)),
                          Frame(3, "T\x01XX", B("\0c", 2)), Frame(3, "TALB", B("\0d", 2))});
  const Id3v2TagState tag = Read(Cat({Tag(3, 0, body), kAudio}));
  EXPECT_TRUE(tag.readerror);
  ASSERT_EQ(tag.fieldcount(), 2u);
  EXPECT_EQ(tag.fields[1].tansi, "b");
  EXPECT_EQ(tag.textlist.size(), 2u);
}

TEST_F(Id3v2Read, KindsGoToTheirLists) {
  const Bytes body = Cat({Frame(3, "PRIV", B("owner\0data", 10)), Frame(3, "PCNT", {0, 0, 0, 5}),
                          Frame(3, "TIT2", B("\0a", 2)), Frame(3, "ZZZZ", B("?")),
                          Frame(3, "GEOB", B("\0m\0f\0d\0x", 8)), Frame(3, "TIT2", B("\0dup", 4))});
  const Id3v2TagState tag = Read(Cat({Tag(3, 0, body), kAudio}));
  EXPECT_FALSE(tag.readerror);
  ASSERT_EQ(tag.fieldcount(), 6u);
  EXPECT_EQ(tag.mixlist, (std::vector<uint32_t>{0, 4}));
  EXPECT_EQ(tag.binlist, (std::vector<uint32_t>{1}));
  EXPECT_EQ(tag.textlist, (std::vector<uint32_t>{2, 5}));
  EXPECT_TRUE(tag.piclist.empty());
  // Duplicate frames are kept as they are; the editor marks them.
  EXPECT_EQ(tag.fields[2].tansi, "a");
  EXPECT_EQ(tag.fields[5].tansi, "dup");
  uint32_t pos = 10;
  for (const Id3v2Field& f : tag.fields) {
    EXPECT_EQ(f.spos, pos);
    EXPECT_EQ(f.akcija, 0);
    pos += f.dlen;
  }
}

Bytes PictureData() {
  Bytes data = {0x89, 'P', 'N', 'G', 0xFF, 0x00, 0xFF, 0xE0, 0x00, 0x01};
  return data;
}

TEST_F(Id3v2Read, PictureWithUtf16DescriptionIsLocatedBehindTheTerminator) {
  const Bytes pic = PictureData();
  const Bytes data = Cat({{1}, B("image/png\0", 10), {0}, Utf16Le(u"Cover"), pic});
  const Id3v2TagState tag = Read(Cat({Tag(3, 0, Cat({Frame(3, "APIC", data), Bytes(8, 0)})), kAudio}));
  ASSERT_EQ(tag.fieldcount(), 1u);
  const Id3v2Field& f = tag.fields[0];
  EXPECT_EQ(f.ind, 2);
  EXPECT_EQ(f.tip, kFieldPicture);
  EXPECT_EQ(f.sub, 0);
  EXPECT_EQ(f.enc, 1);
  EXPECT_EQ(f.tcont, "Cover");
  EXPECT_EQ(f.torco, "Cover");
  EXPECT_EQ(f.torig, f.tansi);
  uint32_t offset = 0, length = 0;
  ASSERT_TRUE(UnpackPictureLocation(f.tansi, offset, length));
  EXPECT_EQ(offset, 10u + 10u + 1 + 10 + 1 + 14);
  EXPECT_EQ(length, pic.size());
  EXPECT_EQ(test::PictureBytes(path_, f), pic);
  EXPECT_EQ(tag.piclist, std::vector<uint32_t>{0});
  EXPECT_EQ(tag.padding, 8u);
}

TEST_F(Id3v2Read, LongPictureDescriptionIsFollowedToItsEnd) {
  const Bytes pic = PictureData();
  const std::string desc(70000, 'd');
  const Bytes data = Cat({{0}, B("image/png\0", 10), {5}, B(desc), {0}, pic});
  const Id3v2TagState tag = Read(Cat({Tag(3, 0, Frame(3, "APIC", data)), kAudio}));
  ASSERT_EQ(tag.fieldcount(), 1u);
  EXPECT_EQ(tag.fields[0].tcont, desc);
  EXPECT_EQ(tag.fields[0].sub, 5);
  EXPECT_EQ(test::PictureBytes(path_, tag.fields[0]), pic);
}

TEST_F(Id3v2Read, PictureHeaders) {
  const Bytes pic = PictureData();
  struct Case {
    const char* name;
    unsigned major;
    Bytes data;
    uint8_t type;
    uint8_t err;
    std::string mimeOrDesc;
  };
  const Case cases[] = {
      {"2.2 image format", 2, Cat({{0}, B("PNG"), {3}, B("desc\0", 5), pic}), 3, 0, "desc"},
      {"2.4 latin1 description", 4, Cat({{0}, B("image/jpeg\0", 11), {4}, B("back\0", 5), pic}), 4, 0, "back"},
      {"utf8 description", 4, Cat({{3}, B("image/png\0", 10), {18}, B("\xC3\xBC\0", 3), pic}), 18, 0, "\xC3\xBC"},
      {"no description terminator", 3, Cat({{0}, B("image/png\0", 10), {3}, B("abc")}), 3, 0, "abc"},
      {"MIME type without terminator", 3, Cat({{0}, B("image/png")}), 0, kErrTooLarge, "image/png"},
      {"field ends before the picture type", 3, Cat({{0}, B("image/png\0", 10)}), 0, kErrTooLarge, "image/png"},
      {"empty field", 3, {}, 0, kErrTooLarge, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string code = c.major == 2 ? "PIC" : "APIC";
    const Id3v2TagState tag =
        Read(Cat({Tag(c.major, 0, Cat({Frame(c.major, code, c.data), Frame(c.major, c.major == 2 ? "TT2" : "TIT2", B("\0t", 2))})),
                  kAudio}));
    EXPECT_FALSE(tag.readerror);
    ASSERT_EQ(tag.fieldcount(), 2u);
    const Id3v2Field& f = tag.fields[0];
    EXPECT_EQ(f.sub, c.type);
    EXPECT_EQ(f.err, c.err);
    EXPECT_EQ(tag.fields[1].tansi, "t");
    if (c.err == 0) {
      EXPECT_EQ(f.tcont, c.mimeOrDesc);
      const Bytes located = test::PictureBytes(path_, f);
      if (std::string(c.name) == "no description terminator") {
        EXPECT_TRUE(located.empty());
      } else {
        EXPECT_EQ(located, pic);
      }
    } else {
      EXPECT_EQ(f.tansi, c.mimeOrDesc);
    }
  }
}

// ID3v2 unsynchronisation: a zero byte after every FF that is followed by a
// zero, by a byte of E0 or above, or by nothing.
Bytes Unsynchronise(const Bytes& in) {
  Bytes out;
  for (size_t i = 0; i < in.size(); ++i) {
    out.push_back(in[i]);
    if (in[i] == 0xFF && (i + 1 == in.size() || in[i + 1] == 0 || in[i + 1] >= 0xE0)) out.push_back(0);
  }
  return out;
}

TEST_F(Id3v2Read, UnsynchronisedTagOfVersion2And3IsResynchronisedAsAWhole) {
  // Frame sizes count the bytes before unsynchronisation; the stuffed zero
  // bytes lie in frame data, in frame headers (a size byte FF before a zero
  // flag byte) and behind a frame's last byte.
  const Bytes text = {0, 'a', 0xFF, 0xE0, 'b', 0};
  const Bytes pic = {0xFF, 0x00, 0xE0, 0x42};
  const Bytes apic = Cat({{0}, B("image/png\0", 10), {3}, {'d', 0xFF, 0x00}, pic});
  Bytes longText(0x1FF, 'x');
  longText[0] = 0;
  longText.back() = 0xFF;
  for (unsigned major : {2u, 3u}) {
    SCOPED_TRACE(major);
    const bool v22 = major == 2;
    const Bytes plain = Cat({Frame(major, v22 ? "TT2" : "TIT2", text), Frame(major, v22 ? "PIC" : "APIC", v22 ? Cat({{0}, B("PNG"), {3}, {'d', 0xFF, 0x00}, pic}) : apic),
                             Frame(major, v22 ? "TAL" : "TALB", longText), Frame(major, v22 ? "TP1" : "TPE1", B("\0z\xFF", 3)), Bytes(6, 0)});
    const Bytes stored = Unsynchronise(plain);
    ASSERT_EQ(stored.size(), plain.size() + 5);
    const Id3v2TagState tag = Read(Cat({Tag(major, 0x80, stored), kAudio}));
    EXPECT_FALSE(tag.readerror);
    ASSERT_EQ(tag.fieldcount(), 4u);
    EXPECT_EQ(tag.fields[0].tansi, "a\xC3\xBF\xC3\xA0" "b");
    const Id3v2Field& p = tag.fields[1];
    EXPECT_EQ(p.tcont, "d\xC3\xBF");
    EXPECT_EQ(test::PictureBytes(path_, p), Unsynchronise(pic));
    EXPECT_EQ(tag.fields[2].tansi, std::string(0x1FE - 1, 'x') + "\xC3\xBF");
    EXPECT_EQ(tag.fields[3].tansi, "z\xC3\xBF");
    // Each field covers its stored bytes, so that it can be copied from there.
    uint32_t pos = 10;
    for (const Id3v2Field& f : tag.fields) {
      EXPECT_EQ(f.spos, pos);
      pos += f.dlen;
    }
    EXPECT_EQ(pos + tag.padding, tag.tagsize);
    EXPECT_EQ(tag.padding, 6u);
  }
}

// A stuffed zero that is the first byte of the second 64 KiB piece of a
// frame's stored data (its FF the last byte of the first): the frame's span
// includes it, and the next frame is read right after it.
TEST_F(Id3v2Read, StuffedZeroRightAfterTheFirst64KiBOfAFrame) {
  // Plain data: the encoding byte, 65,534 letters, FF E0 (stored FF 00 E0),
  // ten more letters. Nothing before the FF is stuffed, so the FF is stored
  // byte 65,535 of the frame's data and its zero byte 65,536.
  Bytes plain = Cat({{0}, Bytes(65534, 'x'), {0xFF, 0xE0}, Bytes(10, 'y')});
  const Bytes frames = Cat({Frame(3, "TALB", plain), Frame(3, "TPE1", B("\0After", 6)), Bytes(4, 0)});
  const Bytes stored = Unsynchronise(frames);
  ASSERT_EQ(stored.size(), frames.size() + 1);
  ASSERT_EQ(stored[10 + 65535], 0xFF);
  ASSERT_EQ(stored[10 + 65536], 0x00);
  ASSERT_EQ(stored[10 + 65537], 0xE0);
  const Id3v2TagState tag = Read(Cat({Tag(3, 0x80, stored), kAudio}));
  EXPECT_FALSE(tag.readerror);
  ASSERT_EQ(tag.fieldcount(), 2u);
  // A text this long is kept undecoded (and copied from the source on writing),
  // so what counts is the span the field takes in the file.
  EXPECT_EQ(tag.fields[0].tansi, "- TOO LARGE TO DISPLAY -");
  EXPECT_EQ(tag.fields[0].spos, 10u);
  EXPECT_EQ(tag.fields[0].dlen, 10u + 65548u);  // header and stored data, the stuffed zero included
  EXPECT_EQ(tag.fields[1].spos, 10u + 10u + 65548u);
  EXPECT_EQ(tag.fields[1].tansi, "After");
  EXPECT_EQ(tag.padding, 4u);
}

TEST_F(Id3v2Read, UnsynchronisedFramesWhoseSizesCountStoredBytes) {
  // 2.4 sizes count the stored bytes; some 2.3 writers count them the same way.
  const Bytes text = Unsynchronise({0, 'a', 0xFF, 0xE0, 'b', 0});
  for (unsigned major : {3u, 4u}) {
    SCOPED_TRACE(major);
    for (bool last : {false, true}) {
      const Bytes title = Frame(major, "TIT2", text, 0, major == 4 ? 0x02 : 0);
      const Bytes body = last ? Cat({Frame(major, "TPE1", B("\0z", 2)), title})
                              : Cat({title, Frame(major, "TPE1", B("\0z", 2)), Bytes(3, 0)});
      const Id3v2TagState tag = Read(Cat({Tag(major, 0x80, body), kAudio}));
      EXPECT_FALSE(tag.readerror);
      ASSERT_EQ(tag.fieldcount(), 2u);
      const Id3v2Field& t = tag.fields[last ? 1 : 0];
      EXPECT_EQ(t.tansi, "a\xC3\xBF\xC3\xA0" "b");
      EXPECT_EQ(t.dlen, 10u + text.size());
      EXPECT_EQ(tag.fields[last ? 0 : 1].tansi, "z");
    }
  }
}

TEST_F(Id3v2Read, FrameFormatFlagsOfVersion4) {
  // Per-frame unsynchronisation (0x02) and a data length indicator (0x01)
  // stand in front of the text and are undone before it is decoded.
  const Bytes title = Frame(4, "TIT2", {0, 0, 0, 6, 3, 'a', 0xFF, 0x00, 0xE0, 'z'}, 0, 0x03);
  const Bytes artist = Frame(4, "TPE1", {0, 0, 0, 3, 0, 'x', 'y'}, 0, 0x01);
  const Bytes grouped = Frame(4, "TALB", {0x33, 0, 'g'}, 0, 0x40);
  const Bytes compressed = Frame(4, "TCON", {0, 0, 0, 9, 0x78, 0x9C, 1, 2}, 0, 0x09);
  const Bytes comment = Frame(4, "COMM", {0, 0, 0, 8, 0, 'e', 'n', 'g', 'd', 0, 'c', 0xFF, 0}, 0, 0x03);
  const Id3v2TagState tag =
      Read(Cat({Tag(4, 0, Cat({title, artist, grouped, compressed, comment})), kAudio}));
  EXPECT_FALSE(tag.readerror);
  ASSERT_EQ(tag.fieldcount(), 5u);
  EXPECT_EQ(tag.fields[0].tansi, "a\xC3\xBF\xC3\xA0z");  // FF E0 is not UTF-8: shown as ISO-8859-1
  EXPECT_EQ(tag.fields[0].enc, 3);
  EXPECT_EQ(tag.fields[0].flaq, 0x0300);
  EXPECT_EQ(tag.fields[1].tansi, "xy");
  EXPECT_EQ(tag.fields[2].tansi, "g");
  EXPECT_TRUE(tag.fields[3].tansi.empty());
  EXPECT_NE(tag.fields[3].thint.find("can't display"), std::string::npos);
  EXPECT_EQ(tag.fields[4].tlan, "eng");
  EXPECT_EQ(tag.fields[4].tcont, "d");
  EXPECT_EQ(tag.fields[4].tansi, "c\xC3\xBF");
}

TEST_F(Id3v2Read, ExtendedHeaderBecomesAPseudoField) {
  struct Case {
    const char* name;
    unsigned major;
    Bytes ext;
    uint32_t dlen;
  };
  const Case cases[] = {
      {"2.3 size without itself", 3, {0, 0, 0, 6, 0, 0, 0, 0, 0, 0}, 10},
      {"2.3 with CRC", 3, {0, 0, 0, 10, 0x80, 0, 0, 0, 0, 0, 1, 2, 3, 4}, 14},
      {"2.4 size counts itself", 4, {0, 0, 0, 6, 1, 0}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Id3v2TagState tag =
        Read(Cat({Tag(c.major, 0x40, Cat({c.ext, Frame(c.major, "TIT2", B("\0a", 2)), Bytes(4, 0)})), kAudio}));
    EXPECT_FALSE(tag.readerror);
    ASSERT_EQ(tag.fieldcount(), 2u);
    const Id3v2Field& e = tag.fields[0];
    EXPECT_EQ(e.ind, kExtHeaderIndex);
    EXPECT_EQ(e.tip, kFieldBinary);
    EXPECT_EQ(e.spos, 10u);
    EXPECT_EQ(e.dlen, c.dlen);
    EXPECT_EQ(e.tload, path_);
    EXPECT_TRUE(e.thint.empty());
    EXPECT_EQ(tag.binlist, std::vector<uint32_t>{0});
    EXPECT_EQ(tag.fields[1].tansi, "a");
    EXPECT_EQ(tag.fields[1].spos, 10u + c.dlen);
    EXPECT_EQ(tag.padding, 4u);
  }
}

TEST_F(Id3v2Read, ExtendedHeaderFlagWithoutExtendedHeader) {
  for (unsigned major : {3u, 4u}) {
    const Id3v2TagState tag = Read(Cat({Tag(major, 0x40, Cat({Frame(major, "TIT2", B("\0a", 2)),
                                                              Frame(major, "TPE1", B("\0b", 2))})),
                                        kAudio}));
    EXPECT_FALSE(tag.readerror);
    ASSERT_EQ(tag.fieldcount(), 2u);
    EXPECT_EQ(tag.fields[0].tansi, "a");
    EXPECT_EQ(tag.fields[1].tansi, "b");
    EXPECT_TRUE(tag.binlist.empty());
  }
}

TEST_F(Id3v2Read, PlainIntegerSizesInVersion4) {
  // 200 bytes: synchsafe 00 00 01 48, plain 00 00 00 C8.
  Bytes text(200, 'x');
  text[0] = 0;
  struct Case {
    const char* name;
    Bytes after;
  };
  const Case cases[] = {
      {"followed by a frame", Frame(4, "TPE1", B("\0b", 2), 0, 0, true)},
      {"followed by padding", Bytes(300, 0)},
      {"ending the tag", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Id3v2TagState tag =
        Read(Cat({Tag(4, 0, Cat({Frame(4, "TIT2", text, 0, 0, true), c.after})), kAudio}));
    EXPECT_FALSE(tag.readerror);
    ASSERT_GE(tag.fieldcount(), 1u);
    EXPECT_EQ(tag.fields[0].dlen, 210u);
    EXPECT_EQ(tag.fields[0].tansi, std::string(199, 'x'));
    if (c.after.size() == 300) {
      EXPECT_EQ(tag.padding, 300u);
    }
    if (!c.after.empty() && c.after[0] == 'T') {
      ASSERT_EQ(tag.fieldcount(), 2u);
      EXPECT_EQ(tag.fields[1].tansi, "b");
    }
  }
  // A correct synchsafe size is kept even when the plain reading would also land on a frame.
  Bytes proper(0x80 + 0x48, 'y');
  proper[0] = 0;
  const Id3v2TagState tag = Read(Cat({Tag(4, 0, Cat({Frame(4, "TIT2", proper), Frame(4, "TPE1", B("\0b", 2))})), kAudio}));
  ASSERT_EQ(tag.fieldcount(), 2u);
  EXPECT_EQ(tag.fields[0].dlen, 10u + 200u);
}

TEST_F(Id3v2Read, TagRunningPastTheEndOfTheFile) {
  const Bytes title = Frame(3, "TIT2", B("\0a", 2));
  // The header claims 4000 bytes; the file ends after the frames.
  const Id3v2TagState whole = Read(Tag(3, 0, Cat({title, Frame(3, "TPE1", B("\0b", 2))}), 4000));
  EXPECT_FALSE(whole.readerror);
  EXPECT_EQ(whole.fieldcount(), 2u);
  // A frame that runs past the end of the file cannot be copied: the walk stops
  // there and keeps the frames before it.
  Bytes cut = Tag(3, 0, Cat({title, Frame(3, "TPE1", B("\0bbbbbbbbbb", 11))}), 4000);
  cut.resize(cut.size() - 4);
  const Id3v2TagState truncated = Read(cut);
  EXPECT_TRUE(truncated.readerror);
  ASSERT_EQ(truncated.fieldcount(), 1u);
  EXPECT_EQ(truncated.fields[0].tansi, "a");
  // The file ends inside a frame header.
  Bytes header = Tag(3, 0, Cat({title, B("TPE1\0", 5)}), 4000);
  const Id3v2TagState partial = Read(header);
  EXPECT_TRUE(partial.readerror);
  EXPECT_EQ(partial.fieldcount(), 1u);
  // Huge sizes allocate nothing: a binary field claiming 4 GB is past the end.
  Bytes huge = Tag(3, 0, Cat({title, B("PCNT"), {0xFF, 0xFF, 0xFF, 0xF0, 0, 0}, Bytes(20, 1)}));
  const Id3v2TagState big = Read(Cat({huge, kAudio}));
  EXPECT_TRUE(big.readerror);
  EXPECT_EQ(big.fieldcount(), 1u);
}

TEST_F(Id3v2Read, VersionBelow2IsAReadError) {
  Id3v2TagState tag;
  const std::string path = dir_.file("v1.mp3");
  test::WriteBytes(path, Cat({Tag(3, 0, Frame(3, "TIT2", B("\0a", 2))), kAudio}));
  InputFile file;
  ASSERT_TRUE(file.open(path));
  tag.tagversion = {1, 0};
  tag.tagsize = 22;
  tag.fields.resize(2);
  tag.tagStarted = true;
  ProcessID3v2(tag, file, path);
  EXPECT_TRUE(tag.readerror);
  EXPECT_EQ(tag.fieldcount(), 0u);
  EXPECT_FALSE(tag.tagStarted);
}

TEST_F(Id3v2Read, TagAfterLeadingData) {
  // A tag inside a RIFF data chunk starts further into the file; positions in
  // the information text count from the tag.
  const Bytes lead(44, 'R');
  const std::string path = dir_.file("riff.mp3");
  test::WriteBytes(path, Cat({lead, Tag(3, 0, Frame(3, "TIT2", B("\0a", 2))), kAudio}));
  Id3v2TagState tag;
  ASSERT_TRUE(test::ReadTagAt(path, tag, 44));
  ASSERT_EQ(tag.fieldcount(), 1u);
  EXPECT_EQ(tag.fields[0].spos, 54u);
  EXPECT_NE(tag.fields[0].thint.find("original header position: 10\r\n"), std::string::npos);
}

}  // namespace
}  // namespace quorvel
