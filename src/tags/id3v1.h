#pragma once
// The ID3v1 record: reading, clearing, field texts and genres.

#include <cstdint>

#include "tags/file_io.h"
#include "tags/id3v1_tag.h"

namespace quorvel {

// Reads the 125 bytes after "TAG" at id3v1Pos; the loaded copy is taken after every read.
void ProcessID3v1(Id3v1State& state, InputFile& file, int64_t id3v1Pos);

// Makes the record empty.
void ClearId3v1(Id3v1Tag& tag);

}  // namespace quorvel
