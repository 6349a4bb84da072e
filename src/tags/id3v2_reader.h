#pragma once
// Reads the ID3v2 tag of the source file into the tag model, and the byte-level
// helpers that reading needs: size decoding, resynchronisation, text decoding.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tags/file_io.h"
#include "tags/id3v2_model.h"

namespace quorvel {

// Reads the tag that tag.tagstart/tagsize/tagversion/srcversion/srcunsync/exthead
// describe from the open source file into tag.fields, the four kind lists and
// tag.padding. tag.readerror is set when the walk stopped at an improper field
// or the file could not be read; the fields read before that point stay.
// sourcePath becomes the tload of every field read.
void ProcessID3v2(Id3v2TagState& tag, InputFile& file, const std::string& sourcePath);

// Empties the field table and the kind lists and clears tagStarted.
void ResetId3v2State(Id3v2TagState& tag);

// Appends a field added in the editor for a catalogue index and returns its
// index in tag.fields. The caller enters it into the list of its kind.
uint32_t AddId3v2Field(Id3v2TagState& tag, uint8_t catalogueIndex);

// Prepares the model for a tag the source did not have (once per script run;
// nothing happens while tag.tagStarted is set). newTagFormat is the major
// version 2..4 (+0x80 with unsynchronisation); paddingIndex 0..6 chooses 0, 2,
// 4, 16, 64, 256 or 1024 bytes of padding.
void StartScriptTag(Id3v2TagState& tag, uint8_t newTagFormat, uint8_t paddingIndex);

// Padding in bytes for a padding index 0..6 (0 for any other index).
uint32_t PaddingForIndex(uint8_t paddingIndex);

// A frame or extended-header size: plain big-endian below major 4, synchsafe
// from 4 on. A 2.2 size (3 bytes) is passed as 0 followed by its three bytes.
uint32_t DecodeId3v2Size(const uint8_t bytes[4], unsigned major);

struct ResyncResult {
  size_t length = 0;   // bytes left
  size_t dropped = 0;  // zero bytes removed
};

// Undoes unsynchronisation in place: every 0x00 directly after a 0xFF is dropped.
ResyncResult ResyncBytes(uint8_t* data, size_t length);

// Decodes the text of at most `count` bytes that start at data + cursor, with
// encoding byte `enc` (ignored without kPartEncoding in `parts`). The text ends
// at its first NUL character; the cursor moves past the text, its terminator
// and a leading byte-order mark, but never more than `count` bytes. Returns
// UTF-8. The caller guarantees that `count` bytes are readable there.
std::string DecodeFieldText(const uint8_t* data, size_t& cursor, int64_t count, uint8_t enc,
                            uint8_t parts);
// The same over the rest of a buffer (count = buffer size - cursor).
std::string DecodeFieldText(const std::vector<uint8_t>& buffer, size_t& cursor, uint8_t enc,
                            uint8_t parts);

}  // namespace quorvel
