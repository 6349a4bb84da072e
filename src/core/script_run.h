#pragma once
// State of the running script. Operations read `active` (record, do not show) and
// `silent` (started from the command line) and leave `resultCode` and `errorText`.
// The rest belongs to the script reader, its commands and the run (src/script).

#include <array>
#include <cstdint>
#include <string>

namespace quorvel {

// How a position parameter is applied: as written, or back / forward from the
// cursor as it was before the command.
enum class RelativeMode : uint8_t { Absolute = 0, Backward = 1, Forward = 2 };

// One script line as the reader cut it: the command word in upper case (ASCII
// letters only) and up to four parameters as written, quotes removed.
struct ScriptStatement {
  std::string command;
  // param[1..4]; empty when absent. param[0] holds token 0 as written.
  std::array<std::string, 5> param;
  // Index of the last non-empty parameter, 0 when there is none.
  uint16_t parameterCount = 0;
  // 1-based line of the script file (0 outside a file run).
  int64_t lineNumber = 0;
};

// One of the two position boxes of the main window (0: cursor, 1: selection end).
// A script applies positions through them exactly as typed ones.
struct PositionBox {
  std::string text;
  bool invalid = false;  // the text did not parse: shown in red
};

// Catalogue indexes of the fields a multi-line block can build.
constexpr uint8_t kBlockComment = 4;
constexpr uint8_t kBlockLyrics = 80;

struct ScriptRun {
  bool active = false;
  bool silent = false;
  uint8_t resultCode = 0;  // 0 success, 255 not ready, others per operation
  std::string errorText;

  ScriptStatement statement;
  std::array<RelativeMode, 2> relativeMode{RelativeMode::Absolute, RelativeMode::Absolute};
  // Frames removed so far by TRIM, DELETE and BASEDELETE in this run.
  int32_t baseOffset = 0;
  // |selectionEnd - cursor| after positions were applied.
  int32_t selectionSpan = 0;

  // Multi-line tag block (ID3V2.COMMENT.START / ID3V2.LYRICS.START ... .END).
  bool blockOpen = false;
  uint8_t blockField = 0;  // kBlockComment or kBlockLyrics
  std::string blockDescription;
  std::string blockText;

  // The position boxes and the cursor that box 0 remembered as the reference
  // of relative positions.
  std::array<PositionBox, 2> positionBoxes;
  int32_t referencePosition = 0;

  // A statement of this run failed, or the script could not be read (the exit
  // status of a silent run).
  bool runFailed = false;
};

}  // namespace quorvel
