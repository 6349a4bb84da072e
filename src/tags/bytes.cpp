#include "tags/bytes.h"

#include <cstring>

namespace quorvel {

void ByteReader::bytes(void* dst, size_t n) {
  size_t have = n > remaining() ? remaining() : n;
  if (have > 0) std::memcpy(dst, data_ + pos_, have);
  if (have < n) {
    std::memset(static_cast<uint8_t*>(dst) + have, 0, n - have);
    overrun_ = true;
  }
  pos_ += have;
}

std::string ByteReader::text(size_t n) {
  std::string s(n, '\0');
  bytes(s.data(), n);
  return s;
}

void ByteWriter::patchBe32(size_t pos, uint32_t v) {
  if (pos + 4 > out_.size()) return;
  out_[pos] = static_cast<uint8_t>(v >> 24);
  out_[pos + 1] = static_cast<uint8_t>(v >> 16);
  out_[pos + 2] = static_cast<uint8_t>(v >> 8);
  out_[pos + 3] = static_cast<uint8_t>(v);
}

void ByteWriter::patchSyncsafe32(size_t pos, uint32_t v) {
  if (pos + 4 > out_.size()) return;
  out_[pos] = (v >> 21) & 0x7F;
  out_[pos + 1] = (v >> 14) & 0x7F;
  out_[pos + 2] = (v >> 7) & 0x7F;
  out_[pos + 3] = v & 0x7F;
}

}  // namespace quorvel
