#pragma once
// Reads the ID3v2 tag of the source file into the tag model.

#include <string>

#include "tags/file_io.h"
#include "tags/id3v2_model.h"

namespace quorvel {

// Reads the tag that tag.tagstart/tagsize/tagversion/srcversion/srcunsync/exthead
// describe from the open source file; sets tag.readerror on failure.
void ProcessID3v2(Id3v2TagState& tag, InputFile& file, const std::string& sourcePath);

// Empties the field table and the kind lists and clears tagStarted.
void ResetId3v2State(Id3v2TagState& tag);

}  // namespace quorvel
