#include "output/writer.h"

namespace quorvel {

const char* const kZeroFrameCountText = "Error: zero/invalid frame count.";
const char* const kUnknownLeadVbrText =
    "You chose to include unknown origin data from the file beginning.\r\n"
    "Note that VBR seek header may be unusable in this case.\r\n"
    "You are advised to check the output file.";

bool PurposeWritesRange(int purpose) { return purpose == 1 || purpose == 3 || purpose == 5; }
bool PurposeWritesLeadingData(int purpose) { return purpose == 0 || purpose == 5 || purpose == 6; }
bool PurposeReportsFailure(int purpose) { return purpose != 2 && purpose != 4; }

WriteResult WriteOutputFile(Context&, const std::string&, int, int32_t, int32_t, const WriteOptions&) {
  return WriteResult{};
}

OutputBuffer::~OutputBuffer() = default;

}  // namespace quorvel
