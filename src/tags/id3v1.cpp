#include "tags/id3v1.h"

namespace quorvel {

void ProcessID3v1(Id3v1State& state, InputFile& file, int64_t id3v1Pos) {
  file.readAt(id3v1Pos + 3, state.record.bytes.data(), state.record.bytes.size());
  state.loaded = state.record;
}

void ClearId3v1(Id3v1Tag& tag) { tag.bytes = Id3v1Tag::emptyBytes(); }

}  // namespace quorvel
