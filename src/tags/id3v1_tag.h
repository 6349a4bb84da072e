#pragma once
// The ID3v1 record: the 125 bytes that follow "TAG" at the end of a file.

#include <array>
#include <cstdint>

namespace quorvel {

constexpr int kId3v1TitleOffset = 0;
constexpr int kId3v1ArtistOffset = 30;
constexpr int kId3v1AlbumOffset = 60;
constexpr int kId3v1YearOffset = 90;
constexpr int kId3v1CommentOffset = 94;
constexpr int kId3v1TrackOffset = 123;
constexpr int kId3v1GenreOffset = 124;
constexpr uint8_t kNoGenre = 255;

struct Id3v1Tag {
  std::array<uint8_t, 125> bytes = emptyBytes();

  static std::array<uint8_t, 125> emptyBytes() {
    std::array<uint8_t, 125> b{};
    b[kId3v1GenreOffset] = kNoGenre;
    return b;
  }
  bool operator==(const Id3v1Tag&) const = default;
};

struct Id3v1State {
  Id3v1Tag record;
  Id3v1Tag loaded;  // copy taken after every read, for the editor to compare against

  bool operator==(const Id3v1State&) const = default;
};

}  // namespace quorvel
