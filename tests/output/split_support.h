#pragma once
// Helpers of the split and save-selection tests: the audio frames of a written
// file, and a loaded fixture with a cursor and selection.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/layer3_layout.h"
#include "core/document_ops.h"
#include "output/writer_fixture.h"

namespace quorvel::split_test {

using namespace quorvel::writer_test;

// The frames of a file, walked with the frame-length formula written in the
// test (not the product's): an ID3v2 tag at the start is passed over; the walk
// ends at the first byte that does not start a frame.
struct FrameWalk {
  std::vector<std::vector<uint8_t>> frames;
  size_t audioStart = 0;
  size_t audioEnd = 0;
};

inline FrameWalk WalkFrames(const std::vector<uint8_t>& bytes) {
  FrameWalk walk;
  size_t pos = 0;
  if (bytes.size() >= 10 && std::memcmp(bytes.data(), "ID3", 3) == 0) {
    size_t size = (size_t{bytes[6]} << 21) | (size_t{bytes[7]} << 14) | (size_t{bytes[8]} << 7) | bytes[9];
    pos = 10 + size + ((bytes[5] & 0x10) ? 10 : 0);
  }
  auto lengthAt = [&bytes](size_t at) -> size_t {
    if (at + 4 > bytes.size()) return 0;
    int32_t length = layout::FrameBytes(&bytes[at]);
    return length > 0 && at + static_cast<size_t>(length) <= bytes.size() ? static_cast<size_t>(length) : 0;
  };
  // Leading data that is not a tag (a RIFF header, foreign bytes): the audio
  // starts at the first frame that another frame follows.
  while (pos < bytes.size()) {
    size_t length = lengthAt(pos);
    if (length > 0 && (pos + length == bytes.size() || lengthAt(pos + length) > 0)) break;
    ++pos;
  }
  walk.audioStart = pos;
  for (;;) {
    size_t length = lengthAt(pos);
    if (length == 0) break;
    walk.frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                             bytes.begin() + static_cast<std::ptrdiff_t>(pos + length));
    pos += length;
  }
  walk.audioEnd = pos;
  return walk;
}

// "Xing" or "Info" right after the side information.
inline bool IsInformationFrame(const std::vector<uint8_t>& frame) {
  if (frame.size() < 40) return false;
  bool mono = (frame[3] >> 6) == 3;
  // LAME puts the marker of a CRC-protected frame at the same place as without
  // the check word; a writer that counts the check word puts it 2 bytes later.
  for (size_t at : {size_t{mono ? 21u : 36u}, size_t{mono ? 23u : 38u}}) {
    if (std::memcmp(frame.data() + at, "Xing", 4) == 0 || std::memcmp(frame.data() + at, "Info", 4) == 0) return true;
  }
  return false;
}

// The audio frames of a file, without a leading information frame.
inline std::vector<std::vector<uint8_t>> AudioFrames(const fs::path& path) {
  FrameWalk walk = WalkFrames(ReadAll(path));
  if (!walk.frames.empty() && IsInformationFrame(walk.frames.front())) walk.frames.erase(walk.frames.begin());
  return walk.frames;
}

inline void Select(Context& ctx, int32_t a, int32_t b) {
  ctx.doc.cursor = a;
  ctx.doc.selectionEnd = b;
  SetSelectionExists(ctx.doc, a != b);
}

inline void PlaceCursor(Context& ctx, int32_t p) {
  ctx.doc.cursor = p;
  ctx.doc.selectionEnd = p;
  SetSelectionExists(ctx.doc, false);
}

}  // namespace quorvel::split_test
