#include "tags/id3v1.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// A 128-byte tag: "TAG", then the record; `set` writes bytes at record offsets.
struct TagBytes {
  std::array<uint8_t, 128> b{};
  TagBytes() {
    b[0] = 'T';
    b[1] = 'A';
    b[2] = 'G';
    b[3 + kId3v1GenreOffset] = kNoGenre;
  }
  TagBytes& text(int offset, const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i) b[3 + offset + i] = static_cast<uint8_t>(s[i]);
    return *this;
  }
  TagBytes& byte(int offset, uint8_t v) {
    b[3 + offset] = v;
    return *this;
  }
};

std::string Bytes(const Id3v1Tag& tag, int offset, int n) {
  return std::string(reinterpret_cast<const char*>(tag.bytes.data()) + offset, static_cast<size_t>(n));
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "quorvel-id3v1-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  std::string file(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::string p = path_ + "/" + name;
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(Id3v1Read, BytesAfterTheFirstZeroOfATextFieldAreCleared) {
  Id3v1State s;
  TagBytes t;
  t.text(kId3v1TitleOffset, std::string("AB\0CD", 5));
  t.text(kId3v1ArtistOffset, std::string("X\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0Y", 30));
  t.text(kId3v1YearOffset, std::string("19\0" "9", 4));
  ASSERT_EQ(ProcessID3v1(s, t.b), Id3v1ReadResult::kOk);
  EXPECT_EQ(Bytes(s.record, kId3v1TitleOffset, 30), std::string("AB") + std::string(28, '\0'));
  EXPECT_EQ(ReadTextField(s.record, Id3v1Field::kTitle, 30), "AB");
  EXPECT_EQ(Bytes(s.record, kId3v1ArtistOffset, 30), std::string("X") + std::string(29, '\0'));
  EXPECT_EQ(Bytes(s.record, kId3v1YearOffset, 4), std::string("19\0\0", 4));
  // Written back, the cleared bytes stay cleared.
  auto out = Id3v1OutputBytes(s.record);
  EXPECT_EQ(out[3 + 3], 0);
  EXPECT_EQ(out[3 + 4], 0);
}

TEST(Id3v1Read, AZeroOnlyInTheLastByteOfAFieldClearsNothing) {
  Id3v1State s;
  TagBytes t;
  t.text(kId3v1TitleOffset, std::string(29, 'a'));
  t.text(kId3v1YearOffset, "200");
  ASSERT_EQ(ProcessID3v1(s, t.b), Id3v1ReadResult::kOk);
  EXPECT_EQ(ReadTextField(s.record, Id3v1Field::kTitle, 30), std::string(29, 'a'));
  EXPECT_EQ(ReadTextField(s.record, Id3v1Field::kYear, 4), "200");
}

struct VersionCase {
  const char* name;
  std::string comment;  // the 30 comment bytes as in the file
  bool v11;
  int track;
  std::string commentText;
  std::string storedCommentBytes;  // the 30 bytes kept in the record
};

TEST(Id3v1Read, VersionAndCommentTable) {
  const std::string z28(28, '\0');
  const VersionCase cases[] = {
      {"30 non-zero bytes are a 1.0 comment", std::string(30, 'c'), false, 0, std::string(30, 'c'),
       std::string(30, 'c')},
      {"byte 122 after a short comment becomes a space",
       std::string("Hi") + std::string(26, '\0') + "A\x07", false, 0, "Hi",
       std::string("Hi") + std::string(26, '\0') + " \x07"},
      {"byte 122 zero and byte 123 set is 1.1", std::string("note") + std::string(24, '\0') + std::string("\0\x05", 2),
       true, 5, "note", std::string("note") + std::string(24, '\0') + std::string("\0\x05", 2)},
      {"1.1 with a full 28-byte comment", std::string(28, 'm') + std::string("\0\xFF", 2), true, 255,
       std::string(28, 'm'), std::string(28, 'm') + std::string("\0\xFF", 2)},
      {"junk after the comment's zero is cleared up to byte 121",
       std::string("X\0junk", 6) + std::string(22, 'j') + std::string("\0\x03", 2), true, 3, "X",
       std::string("X") + std::string(27, '\0') + std::string("\0\x03", 2)},
      {"both last bytes zero is 1.0 without track", std::string("abc") + std::string(27, '\0'), false, 0, "abc",
       std::string("abc") + std::string(27, '\0')},
      {"zero only in comment byte 27 keeps bytes 122 and 123",
       std::string(27, 'q') + std::string("\0", 1) + "RS", false, 0, std::string(27, 'q'),
       std::string(27, 'q') + std::string("\0", 1) + "RS"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Id3v1State s;
    TagBytes t;
    t.text(kId3v1CommentOffset, c.comment);
    ASSERT_EQ(ProcessID3v1(s, t.b), Id3v1ReadResult::kOk);
    EXPECT_EQ(IsId3v11(s.record), c.v11);
    EXPECT_EQ(Id3v1Track(s.record), c.track);
    EXPECT_EQ(Id3v1CommentText(s.record), c.commentText);
    EXPECT_EQ(Bytes(s.record, kId3v1CommentOffset, 30), c.storedCommentBytes);
    EXPECT_EQ(s.loaded.bytes, s.record.bytes);
  }
}

TEST(Id3v1Read, FailuresLeaveAnEmptyRecordAndTakeTheLoadedCopy) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  std::vector<uint8_t> audio(400, 0xAA);

  std::vector<uint8_t> good(audio);
  TagBytes t;
  t.text(kId3v1TitleOffset, "Title");
  good.insert(good.end(), t.b.begin(), t.b.end());

  std::vector<uint8_t> shortTag(audio);
  shortTag.insert(shortTag.end(), t.b.begin(), t.b.end() - 1);  // "TAG" + 124 bytes

  std::vector<uint8_t> noMarker(good);
  noMarker[400] = 'X';

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    int64_t pos;
    Id3v1ReadResult result;
    std::string title;
  } cases[] = {
      {"good tag", good, 400, Id3v1ReadResult::kOk, "Title"},
      {"tag cut short at the end of the file", shortTag, 400, Id3v1ReadResult::kReadError, ""},
      {"cut tag read at size - 128", shortTag, 399, Id3v1ReadResult::kNoTag, ""},
      {"position past the end", good, 10000, Id3v1ReadResult::kReadError, ""},
      {"negative position", good, -1, Id3v1ReadResult::kReadError, ""},
      {"no TAG marker", noMarker, 400, Id3v1ReadResult::kNoTag, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.file("f.mp3", c.bytes);
    InputFile file;
    ASSERT_TRUE(file.open(path));
    Id3v1State s;
    // Leftovers from an earlier document must not survive a failed read.
    StoreTextField("old", s.record, Id3v1Field::kTitle, 30);
    s.record.bytes[kId3v1GenreOffset] = 3;
    s.loaded = s.record;
    EXPECT_EQ(ProcessID3v1(s, file, c.pos), c.result);
    EXPECT_EQ(ReadTextField(s.record, Id3v1Field::kTitle, 30), c.title);
    if (c.result != Id3v1ReadResult::kOk) {
      EXPECT_EQ(s.record.bytes, Id3v1Tag::emptyBytes());
    }
    EXPECT_EQ(s.loaded.bytes, s.record.bytes);
  }
  EXPECT_STREQ(kId3v1ReadErrorText, "Disk error reading id3v1 tag.");
}

struct StoreCase {
  const char* name;
  Id3v1Field field;
  size_t width;
  std::string text;
  std::string expectedBytes;  // the first `width` bytes of the field
};

TEST(Id3v1Store, NeverCutsACharacterAndZeroFills) {
  std::string e15, e14, euro10;
  for (int i = 0; i < 15; ++i) e15 += "\xC3\xA9";
  for (int i = 0; i < 14; ++i) e14 += "\xC3\xA9";
  for (int i = 0; i < 10; ++i) euro10 += "\xE2\x82\xAC";
  const StoreCase cases[] = {
      {"16 two-byte letters keep 15", Id3v1Field::kTitle, 30, e15 + "\xC3\xA9", e15},
      {"odd byte count drops the half character", Id3v1Field::kTitle, 30, "a" + e15, "a" + e14 + std::string(1, '\0')},
      {"three-byte characters", Id3v1Field::kArtist, 30, euro10 + "\xE2\x82\xAC", euro10},
      {"four-byte character at the end", Id3v1Field::kAlbum, 30, std::string(27, 'x') + "\xF0\x9F\x8E\xB5",
       std::string(27, 'x') + std::string(3, '\0')},
      {"short text is zero-filled", Id3v1Field::kTitle, 30, "abc", "abc" + std::string(27, '\0')},
      {"empty text clears", Id3v1Field::kArtist, 30, "", std::string(30, '\0')},
      {"text ends at its first zero character", Id3v1Field::kTitle, 30, std::string("ab\0cd", 5),
       "ab" + std::string(28, '\0')},
      {"year drops trailing spaces and zeros", Id3v1Field::kYear, 4, std::string("99 \0", 4),
       std::string("99\0\0", 4)},
      {"year of five characters keeps four", Id3v1Field::kYear, 4, "20045", "2004"},
      {"year keeps leading spaces", Id3v1Field::kYear, 4, " 99", std::string(" 99\0", 4)},
      {"1.1 comment has 28 bytes", Id3v1Field::kComment, 28, std::string(30, 'k'), std::string(28, 'k')},
      {"width above the room is limited", Id3v1Field::kYear, 30, "123456", "1234"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Id3v1Tag tag;
    tag.bytes.fill(0x77);
    StoreTextField(c.text, tag, c.field, c.width);
    const int off = Id3v1FieldOffset(c.field);
    EXPECT_EQ(Bytes(tag, off, static_cast<int>(c.expectedBytes.size())), c.expectedBytes);
    // Nothing outside the field is touched.
    if (off > 0) {
      EXPECT_EQ(tag.bytes[static_cast<size_t>(off - 1)], 0x77);
    }
    EXPECT_EQ(tag.bytes[static_cast<size_t>(off) + c.expectedBytes.size()], 0x77);
  }
}

TEST(Id3v1Store, StoringAOneOneCommentKeepsTheTrack) {
  Id3v1Tag tag;
  tag.bytes[122] = 0;
  tag.bytes[123] = 9;
  StoreTextField(std::string(40, 'z'), tag, Id3v1Field::kComment, 28);
  EXPECT_TRUE(IsId3v11(tag));
  EXPECT_EQ(Id3v1Track(tag), 9);
  EXPECT_EQ(Id3v1CommentText(tag), std::string(28, 'z'));
}

TEST(Id3v1Text, ReadTextFieldDecoding) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    size_t width;
    std::string text;
  } cases[] = {
      {"utf-8", {'C', 'a', 'f', 0xC3, 0xA9, 0}, 30, "Caf\xC3\xA9"},
      {"legacy latin-1 byte", {'C', 'a', 'f', 0xE9, 0}, 30, "Caf\xC3\xA9"},
      {"cut utf-8 sequence at the width", {'a', 0xC3, 0xA9}, 2, "a\xC3\x83"},
      {"width limits a field without zero", {'1', '2', '3', '4', '5'}, 4, "1234"},
      {"width above the span", {'x', 'y'}, 30, "xy"},
      {"empty", {0, 'a'}, 30, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadTextField(c.bytes, c.width), c.text);
  }
}

TEST(Id3v1Text, StoreThenReadGivesTheTextBack) {
  const std::string texts[] = {"Plain", "\xC3\x9C" "ber", "\xE6\x97\xA5\xE6\x9C\xAC", std::string(30, 'w')};
  for (const auto& text : texts) {
    Id3v1Tag tag;
    StoreTextField(text, tag, Id3v1Field::kAlbum, 30);
    EXPECT_EQ(ReadTextField(tag, Id3v1Field::kAlbum, 30), text);
  }
}

TEST(Id3v1Genre, Texts) {
  EXPECT_EQ(GenreNames().size(), 149u);
  const std::pair<int, const char*> cases[] = {
      {0, "Blues"},        {17, "Rock"},           {78, "Rock & Roll"},       {127, "Drum & Bass"},
      {136, "Christian Gangs"}, {140, "Contemporary Christian"}, {148, "Christian"}, {149, "unknown (149)"},
      {200, "unknown (200)"}, {254, "unknown (254)"}, {255, "unknown"},        {-1, "unknown (-1)"},
  };
  for (const auto& [index, text] : cases) EXPECT_EQ(GenreText(index), text) << index;
}

TEST(Id3v1Empty, AnyFirstByteTrackOrGenreMakesItNonEmpty) {
  EXPECT_TRUE(IsId3v1Empty(Id3v1Tag{}));
  const std::pair<int, uint8_t> setters[] = {
      {kId3v1TitleOffset, 'a'}, {kId3v1ArtistOffset, 'a'}, {kId3v1AlbumOffset, 'a'}, {kId3v1YearOffset, '1'},
      {kId3v1CommentOffset, 'c'}, {kId3v1TrackOffset, 1}, {kId3v1GenreOffset, 0},
  };
  for (const auto& [offset, value] : setters) {
    Id3v1Tag tag;
    tag.bytes[static_cast<size_t>(offset)] = value;
    EXPECT_FALSE(IsId3v1Empty(tag)) << offset;
  }
  // Only the first byte of a text field counts.
  Id3v1Tag tag;
  tag.bytes[kId3v1TitleOffset + 1] = 'b';
  EXPECT_TRUE(IsId3v1Empty(tag));
  ClearId3v1(tag);
  EXPECT_EQ(tag.bytes, Id3v1Tag::emptyBytes());
}

TEST(Id3v1Output, TagMarkerAndRecordReadBackUnchanged) {
  Id3v1Tag tag;
  StoreTextField("Song", tag, Id3v1Field::kTitle, 30);
  StoreTextField("Band", tag, Id3v1Field::kArtist, 30);
  StoreTextField("Disc", tag, Id3v1Field::kAlbum, 30);
  StoreTextField("1999", tag, Id3v1Field::kYear, 4);
  StoreTextField("Words", tag, Id3v1Field::kComment, 28);
  tag.bytes[122] = 0;
  tag.bytes[123] = 12;
  tag.bytes[kId3v1GenreOffset] = 17;
  auto out = Id3v1OutputBytes(tag);
  EXPECT_EQ(std::string(out.begin(), out.begin() + 3), "TAG");
  Id3v1State s;
  ASSERT_EQ(ProcessID3v1(s, out), Id3v1ReadResult::kOk);
  EXPECT_EQ(s.record.bytes, tag.bytes);
}

}  // namespace
}  // namespace quorvel
