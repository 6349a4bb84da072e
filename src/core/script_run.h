#pragma once
// State of the running script. Operations read `active` (record, do not show) and
// `silent` (started from the command line) and leave `resultCode` and `errorText`.

#include <cstdint>
#include <string>

namespace quorvel {

struct ScriptRun {
  bool active = false;
  bool silent = false;
  uint8_t resultCode = 0;  // 0 success, 255 not ready, others per operation
  std::string errorText;
};

}  // namespace quorvel
