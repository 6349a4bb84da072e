#pragma once
// Bounds-checked reading and writing of binary data. Reading past the end stays
// at the end, yields zeros and records the overrun; nothing reads out of bounds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

inline uint32_t be16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
inline uint32_t be24(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }
inline uint32_t be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline uint32_t le16(const uint8_t* p) { return uint32_t{p[0]} | (uint32_t{p[1]} << 8); }
inline uint32_t le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
// Synchsafe: four 7-bit groups, most significant first.
inline uint32_t syncsafe32(const uint8_t* p) {
  return ((p[0] & 0x7Fu) << 21) | ((p[1] & 0x7Fu) << 14) | ((p[2] & 0x7Fu) << 7) | (p[3] & 0x7Fu);
}

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteReader(const std::vector<uint8_t>& v) : data_(v.data()), size_(v.size()) {}

  size_t pos() const { return pos_; }
  size_t size() const { return size_; }
  size_t remaining() const { return size_ - pos_; }
  bool overrun() const { return overrun_; }
  const uint8_t* current() const { return data_ + pos_; }

  void seek(size_t pos) {
    if (pos > size_) {
      overrun_ = true;
      pos = size_;
    }
    pos_ = pos;
  }
  void skip(size_t n) { seek(n > remaining() ? size_ + 1 : pos_ + n); }

  uint8_t u8() {
    if (pos_ >= size_) {
      overrun_ = true;
      return 0;
    }
    return data_[pos_++];
  }
  uint32_t be16() { return take(2) ? quorvel::be16(data_ + pos_ - 2) : 0; }
  uint32_t be24() { return take(3) ? quorvel::be24(data_ + pos_ - 3) : 0; }
  uint32_t be32() { return take(4) ? quorvel::be32(data_ + pos_ - 4) : 0; }
  uint32_t le32() { return take(4) ? quorvel::le32(data_ + pos_ - 4) : 0; }
  // Copies n bytes; past the end the copy is zero-filled and the overrun recorded.
  void bytes(void* dst, size_t n);
  std::string text(size_t n);

 private:
  bool take(size_t n) {
    if (n > remaining()) {
      overrun_ = true;
      pos_ = size_;
      return false;
    }
    pos_ += n;
    return true;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool overrun_ = false;
};

class ByteWriter {
 public:
  std::vector<uint8_t>& data() { return out_; }
  const std::vector<uint8_t>& data() const { return out_; }
  size_t size() const { return out_.size(); }

  void u8(uint8_t v) { out_.push_back(v); }
  void be16(uint32_t v) {
    u8(static_cast<uint8_t>(v >> 8));
    u8(static_cast<uint8_t>(v));
  }
  void be24(uint32_t v) {
    u8(static_cast<uint8_t>(v >> 16));
    be16(v);
  }
  void be32(uint32_t v) {
    be16(v >> 16);
    be16(v);
  }
  void le16(uint32_t v) {
    u8(static_cast<uint8_t>(v));
    u8(static_cast<uint8_t>(v >> 8));
  }
  void le32(uint32_t v) {
    le16(v);
    le16(v >> 16);
  }
  void syncsafe32(uint32_t v) {
    u8((v >> 21) & 0x7F);
    u8((v >> 14) & 0x7F);
    u8((v >> 7) & 0x7F);
    u8(v & 0x7F);
  }
  void bytes(const void* src, size_t n) {
    const auto* p = static_cast<const uint8_t*>(src);
    out_.insert(out_.end(), p, p + n);
  }
  void text(const std::string& s) { bytes(s.data(), s.size()); }
  // Overwrites 4 bytes at pos (patching a size known only at the end).
  void patchBe32(size_t pos, uint32_t v);
  void patchSyncsafe32(size_t pos, uint32_t v);

 private:
  std::vector<uint8_t> out_;
};

}  // namespace quorvel
