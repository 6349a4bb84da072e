#pragma once
// The ID3v1 record: reading, clearing, field texts, genres and the 128 bytes
// written at the end of a file. Text fields hold UTF-8 bytes; plain ASCII is
// the classic single-byte form.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "tags/file_io.h"
#include "tags/id3v1_tag.h"

namespace quorvel {

enum class Id3v1ReadResult {
  kOk,
  kNoTag,      // the three bytes at the position are not "TAG"
  kReadError,  // seek or read failed, or fewer than 128 bytes at the position
};

// The warning the loader shows (kind 2, caption "warning") when the read was
// not kOk, except in a silent script run.
extern const char* const kId3v1ReadErrorText;

// Reads the 125 bytes after "TAG" at id3v1Pos into state.record, clearing the
// bytes after a field's first zero. On any failure the record is left empty.
// The loaded copy is taken after every read, successful or not.
Id3v1ReadResult ProcessID3v1(Id3v1State& state, InputFile& file, int64_t id3v1Pos);
// The same over bytes already in memory (the 128 bytes starting at "TAG").
Id3v1ReadResult ProcessID3v1(Id3v1State& state, std::span<const uint8_t> tagBytes);

// Makes the record empty: all bytes 0, genre 255.
void ClearId3v1(Id3v1Tag& tag);

enum class Id3v1Field { kTitle, kArtist, kAlbum, kYear, kComment };
int Id3v1FieldOffset(Id3v1Field field);
// The room of a field: 30, the year 4, the comment 30 (1.0) or 28 (1.1).
int Id3v1FieldWidth(Id3v1Field field, bool version11 = false);

// The text of a field: the bytes before the first zero, at most width of them,
// decoded as UTF-8 (bytes that are not UTF-8 read as ISO-8859-1 characters).
std::string ReadTextField(std::span<const uint8_t> field, size_t width);
std::string ReadTextField(const Id3v1Tag& tag, Id3v1Field field, size_t width);
// Stores a text as UTF-8 into a field of width bytes: while the encoding is too
// long the last character is dropped, so a character is never cut; the rest of
// the field is zero-filled. The text ends at its first zero character.
void StoreTextField(std::string_view text, std::span<uint8_t> field, size_t width);
// The year is stored after removing trailing spaces and zero characters. A
// width above the field's room is limited to it.
void StoreTextField(std::string_view text, Id3v1Tag& tag, Id3v1Field field, size_t width);

// Version 1.1: byte 122 is 0 and byte 123 (the track) is not.
bool IsId3v11(const Id3v1Tag& tag);
// The track number of a 1.1 record, 0 for 1.0.
int Id3v1Track(const Id3v1Tag& tag);
// The comment as shown: 28 bytes for 1.1, 30 for 1.0.
std::string Id3v1CommentText(const Id3v1Tag& tag);

// Empty: no first byte of title, artist, album, year or comment, no track
// byte and genre 255. A non-empty record is what the writer offers to keep.
bool IsId3v1Empty(const Id3v1Tag& tag);

constexpr int kGenreCount = 149;
// The genre names, index 0..148.
const std::array<const char*, kGenreCount>& GenreNames();
// The name for 0..148, "unknown" for 255, otherwise "unknown (N)".
std::string GenreText(int index);

// The 128 bytes written as the end of the file: "TAG" and the record.
std::array<uint8_t, 128> Id3v1OutputBytes(const Id3v1Tag& tag);

}  // namespace quorvel
