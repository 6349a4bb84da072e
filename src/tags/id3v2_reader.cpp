#include "tags/id3v2_reader.h"

namespace quorvel {

void ProcessID3v2(Id3v2TagState& tag, InputFile& /*file*/, const std::string& /*sourcePath*/) {
  tag.padding = 0;
  tag.readerror = false;
}

void ResetId3v2State(Id3v2TagState& tag) {
  tag.fields.clear();
  tag.textlist.clear();
  tag.mixlist.clear();
  tag.binlist.clear();
  tag.piclist.clear();
  tag.tagStarted = false;
}

}  // namespace quorvel
