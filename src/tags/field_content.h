#pragma once
// The contents of ID3v2 fields as the tag editor's field viewer takes them:
// read from the source file where the model says they are (resynchronised,
// without the bytes a 2.3 or 2.4 frame puts before its data), or from the file
// a field was loaded from; shown within the display limit, saved to a file,
// and loaded from a file into a field.

#include <cstdint>
#include <string>
#include <vector>

#include "tags/file_io.h"
#include "tags/id3v2_model.h"

namespace quorvel {

constexpr size_t kContentDisplayLimit = 2048;      // shown in a message window
constexpr size_t kContentPeekLimit = 768;          // the first bytes of an invalid field
constexpr int64_t kFieldLoadLimit = 16777216;      // 16 MB: a file loaded into a field
constexpr int64_t kFieldContentLimit = 67108864;   // 64 MB: viewing and saving

extern const char* const kContentTooLargeText;     // "The field size is above maximum allowed by Quorvel (64 MB)."
extern const char* const kContentTooLargeToShow;   // "- TOO LARGE TO DISPLAY (2 KB MAX) -"
extern const char* const kContentEmptyField;       // "- EMPTY FIELD -  "
extern const char* const kContentEmptyText;        // "- THE FIELD IS EMPTY -"
extern const char* const kContentSourceGone;       // the source was moved or changed
extern const char* const kLoadTooLargeText;        // "Please load files up to 16 MB in size..."
extern const char* const kLoadEmptyFileNote;       // the empty-file note while empty fields are left out
extern const char* const kLoadReadErrorText;       // "Disk error reading the file."

// The length of the header that a field's content follows in the source: 6
// for a 2.2 tag, 10 otherwise, and 0 for the extended header of a 2.4 tag.
uint32_t FieldHeaderLength(const Id3v2TagState& tag, const Id3v2Field& field);

enum class ContentResult { kOk, kReadError, kTooLarge };

// Reads a source field's data: the bytes after its header, resynchronised
// when the tag or (2.4) the frame is unsynchronised, after the group,
// encryption and data-length bytes the frame's format flags announce (the
// extended header of a 2.4 tag loses its four size bytes). A field whose data
// is longer than `limit` gives kTooLarge and nothing.
ContentResult ReadFieldData(const Id3v2TagState& tag, const Id3v2Field& field, InputFile& source,
                            std::vector<uint8_t>& data, int64_t limit = kFieldContentLimit);

// Where the content proper starts in a field's data: after the encoding byte,
// the three language bytes and the description that the parts flags name.
size_t ContentStart(const std::vector<uint8_t>& data, uint8_t enc, uint8_t parts);

// What "View current" shows in the message window: the text and the kind.
struct ContentView {
  std::string text;
  int kind = 0;  // 0 the content, 2 a notice
};
// The field's data decoded for the message window (encoding and parts as the
// field says): too large, empty, or the text.
ContentView ContentForMessage(const std::vector<uint8_t>& data, uint8_t enc, uint8_t parts);

// Loading a mixed or binary field from a file: on success the field takes the
// file (tload) and the load marks; otherwise the message to show and the field
// unchanged. An empty file is loaded; `note` then says so when empty fields
// are left out of saved tags.
struct LoadResult {
  bool loaded = false;
  std::string message;
  int kind = 0;
  std::string caption;
};
LoadResult LoadFieldFromFile(Id3v2Field& field, const std::string& path, bool emptyFieldsLeftOut);

}  // namespace quorvel
