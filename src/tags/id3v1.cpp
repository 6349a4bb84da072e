#include "tags/id3v1.h"

#include <algorithm>
#include <cstring>

#include "tags/text_helpers.h"

namespace quorvel {

const char* const kId3v1ReadErrorText = "Disk error reading id3v1 tag.";

namespace {

constexpr int kRecordSize = 125;
constexpr int kVersionByte = 122;

constexpr std::array<const char*, kGenreCount> kGenres = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental",
    "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul",
    "Punk", "Space", "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic",
    "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream",
    "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle",
    "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer",
    "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll",
    "Hard Rock", "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin",
    "Revival", "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock",
    "Psychedelic Rock", "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening",
    "Acoustic", "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony",
    "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba",
    "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock",
    "Drum Solo", "Acapella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House",
    "Hardcore", "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat",
    "Christian Gangs", "Heavy Metal", "Black Metal", "Crossover", "Contemporary Christian",
    "Christian Rock", "Merengue", "Salsa", "Trash Metal", "Anime", "Jpop", "Synthpop",
    "Christian",
};

// A text field ends at its first zero byte; the zero is looked for in the
// first `searched` bytes and everything after it is cleared.
void ClearAfterFirstZero(uint8_t* field, int width, int searched) {
  for (int i = 0; i < searched; ++i) {
    if (field[i] == 0) {
      std::fill(field + i + 1, field + width, uint8_t{0});
      return;
    }
  }
}

}  // namespace

void ClearId3v1(Id3v1Tag& tag) { tag.bytes = Id3v1Tag::emptyBytes(); }

Id3v1ReadResult ProcessID3v1(Id3v1State& state, std::span<const uint8_t> tagBytes) {
  Id3v1ReadResult result = Id3v1ReadResult::kOk;
  if (tagBytes.size() < 128) {
    result = Id3v1ReadResult::kReadError;
  } else if (std::memcmp(tagBytes.data(), "TAG", 3) != 0) {
    result = Id3v1ReadResult::kNoTag;
  }
  if (result != Id3v1ReadResult::kOk) {
    ClearId3v1(state.record);
    state.loaded = state.record;
    return result;
  }

  uint8_t* r = state.record.bytes.data();
  std::memcpy(r, tagBytes.data() + 3, kRecordSize);
  ClearAfterFirstZero(r + kId3v1TitleOffset, 30, 29);
  ClearAfterFirstZero(r + kId3v1ArtistOffset, 30, 29);
  ClearAfterFirstZero(r + kId3v1AlbumOffset, 30, 29);
  ClearAfterFirstZero(r + kId3v1YearOffset, 4, 3);
  // The comment: a zero within its first 27 bytes clears the rest of the
  // 28-byte comment. A non-zero byte 122 then cannot be a 1.1 marker; it
  // becomes a space so that the record stays a 1.0 comment of 30 bytes and
  // byte 123 is never taken as a track number.
  uint8_t* comment = r + kId3v1CommentOffset;
  for (int i = 0; i < 27; ++i) {
    if (comment[i] == 0) {
      std::fill(comment + i + 1, comment + 28, uint8_t{0});
      if (r[kVersionByte] != 0) r[kVersionByte] = 0x20;
      break;
    }
  }
  state.loaded = state.record;
  return Id3v1ReadResult::kOk;
}

Id3v1ReadResult ProcessID3v1(Id3v1State& state, InputFile& file, int64_t id3v1Pos) {
  std::array<uint8_t, 128> buf{};
  if (id3v1Pos < 0 || !file.readAt(id3v1Pos, buf.data(), buf.size())) {
    ClearId3v1(state.record);
    state.loaded = state.record;
    return Id3v1ReadResult::kReadError;
  }
  return ProcessID3v1(state, buf);
}

int Id3v1FieldOffset(Id3v1Field field) {
  switch (field) {
    case Id3v1Field::kTitle: return kId3v1TitleOffset;
    case Id3v1Field::kArtist: return kId3v1ArtistOffset;
    case Id3v1Field::kAlbum: return kId3v1AlbumOffset;
    case Id3v1Field::kYear: return kId3v1YearOffset;
    case Id3v1Field::kComment: return kId3v1CommentOffset;
  }
  return kId3v1TitleOffset;
}

int Id3v1FieldWidth(Id3v1Field field, bool version11) {
  switch (field) {
    case Id3v1Field::kYear: return 4;
    case Id3v1Field::kComment: return version11 ? 28 : 30;
    default: return 30;
  }
}

std::string ReadTextField(std::span<const uint8_t> field, size_t width) {
  size_t limit = std::min(width, field.size());
  size_t len = 0;
  while (len < limit && field[len] != 0) ++len;
  return EncodeUtf8(DecodeUtf8(field.first(len)));
}

std::string ReadTextField(const Id3v1Tag& tag, Id3v1Field field, size_t width) {
  const size_t room = static_cast<size_t>(Id3v1FieldWidth(field));
  return ReadTextField(std::span<const uint8_t>(tag.bytes).subspan(Id3v1FieldOffset(field), room), width);
}

void StoreTextField(std::string_view text, std::span<uint8_t> field, size_t width) {
  width = std::min(width, field.size());
  std::string encoded = ToValidUtf8(text.substr(0, std::min(text.find('\0'), text.size())));
  while (encoded.size() > width) DropLastCharacter(encoded);
  std::memcpy(field.data(), encoded.data(), encoded.size());
  std::fill(field.begin() + static_cast<std::ptrdiff_t>(encoded.size()),
            field.begin() + static_cast<std::ptrdiff_t>(width), uint8_t{0});
}

void StoreTextField(std::string_view text, Id3v1Tag& tag, Id3v1Field field, size_t width) {
  const size_t room = static_cast<size_t>(Id3v1FieldWidth(field));
  auto span = std::span<uint8_t>(tag.bytes).subspan(Id3v1FieldOffset(field), room);
  if (field == Id3v1Field::kYear) {
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\0')) --end;
    text = text.substr(0, end);
  }
  StoreTextField(text, span, width);
}

bool IsId3v11(const Id3v1Tag& tag) {
  return tag.bytes[kVersionByte] == 0 && tag.bytes[kId3v1TrackOffset] != 0;
}

int Id3v1Track(const Id3v1Tag& tag) { return IsId3v11(tag) ? tag.bytes[kId3v1TrackOffset] : 0; }

std::string Id3v1CommentText(const Id3v1Tag& tag) {
  return ReadTextField(tag, Id3v1Field::kComment, static_cast<size_t>(Id3v1FieldWidth(Id3v1Field::kComment, IsId3v11(tag))));
}

bool IsId3v1Empty(const Id3v1Tag& tag) {
  const auto& b = tag.bytes;
  return b[kId3v1TitleOffset] == 0 && b[kId3v1ArtistOffset] == 0 && b[kId3v1AlbumOffset] == 0 &&
         b[kId3v1YearOffset] == 0 && b[kId3v1CommentOffset] == 0 && b[kId3v1TrackOffset] == 0 &&
         b[kId3v1GenreOffset] == kNoGenre;
}

const std::array<const char*, kGenreCount>& GenreNames() { return kGenres; }

std::string GenreText(int index) {
  if (index >= 0 && index < kGenreCount) return kGenres[static_cast<size_t>(index)];
  if (index == kNoGenre) return "unknown";
  return "unknown (" + std::to_string(index) + ")";
}

std::array<uint8_t, 128> Id3v1OutputBytes(const Id3v1Tag& tag) {
  std::array<uint8_t, 128> out{};
  out[0] = 'T';
  out[1] = 'A';
  out[2] = 'G';
  std::memcpy(out.data() + 3, tag.bytes.data(), tag.bytes.size());
  return out;
}

}  // namespace quorvel
