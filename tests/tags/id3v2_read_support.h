#pragma once
// Helpers for the ID3v2 reader tests: a scratch folder, a builder for tag bytes
// and a reader that fills the tag state from a file's "ID3" header the way the
// source analysis does.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tags/file_io.h"
#include "tags/id3v2_model.h"
#include "tags/id3v2_reader.h"

namespace quorvel::test {

using Bytes = std::vector<uint8_t>;

inline Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
// Bytes of a literal that may hold NULs: B("a\0b", 3).
inline Bytes B(const char* s, size_t n) { return Bytes(s, s + n); }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

class ScratchDir {
 public:
  ScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvel-id3v2-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) path_ = buf.data();
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void PutSyncsafe(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>((v >> 21) & 0x7F));
  out.push_back(static_cast<uint8_t>((v >> 14) & 0x7F));
  out.push_back(static_cast<uint8_t>((v >> 7) & 0x7F));
  out.push_back(static_cast<uint8_t>(v & 0x7F));
}
inline void PutBe32(Bytes& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

// One frame in the geometry of a major version; sizes as that version writes
// them unless `plainSize` forces a plain big-endian size (a known 2.4 fault).
inline Bytes Frame(unsigned major, const std::string& code, const Bytes& data, uint8_t status = 0,
                   uint8_t format = 0, bool plainSize = false) {
  Bytes out(code.begin(), code.end());
  const auto size = static_cast<uint32_t>(data.size());
  if (major == 2) {
    out.push_back(static_cast<uint8_t>(size >> 16));
    out.push_back(static_cast<uint8_t>(size >> 8));
    out.push_back(static_cast<uint8_t>(size));
  } else {
    if (major >= 4 && !plainSize)
      PutSyncsafe(out, size);
    else
      PutBe32(out, size);
    out.push_back(status);
    out.push_back(format);
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// "ID3" header + body; the header size is body.size() unless given.
inline Bytes Tag(unsigned major, uint8_t flags, const Bytes& body, int64_t headerSize = -1) {
  Bytes out = {'I', 'D', '3', static_cast<uint8_t>(major), 0, flags};
  PutSyncsafe(out, static_cast<uint32_t>(headerSize < 0 ? static_cast<int64_t>(body.size()) : headerSize));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// Fills the tag-level members from the "ID3" header at `tagStart` the way the
// source analysis does, then reads the tag.
inline bool ReadTagAt(const std::string& path, Id3v2TagState& tag, uint32_t tagStart = 0) {
  InputFile file;
  if (!file.open(path)) return false;
  uint8_t h[10] = {};
  if (!file.readAt(tagStart, h, sizeof h) || h[0] != 'I' || h[1] != 'D' || h[2] != '3') return false;
  ResetId3v2State(tag);
  tag.present = true;
  tag.tagstart = tagStart;
  tag.tagversion = {h[3], h[4]};
  tag.tagsize = h[6] * 2097152u + h[7] * 16384u + h[8] * 128u + h[9] + 10u;
  if (h[3] >= 4 && (h[5] & 0x10)) tag.tagsize += 10;
  uint8_t srcMajor = h[3] < 3 ? 2 : (h[3] > 5 ? 5 : h[3]);
  tag.srcversion = {srcMajor, static_cast<uint8_t>(h[4] == 255 ? 254 : h[4])};
  tag.srcunsync = (h[5] & 0x80) != 0;
  tag.unsync = tag.srcunsync;
  tag.exthead = (h[5] & 0x40) && h[3] > 2;
  tag.experimental = (h[5] & 0x20) && h[3] > 2;
  tag.footer = (h[5] & 0x10) && h[3] > 3;
  ProcessID3v2(tag, file, path);
  return true;
}

// The bytes a packed picture location points at.
inline Bytes PictureBytes(const std::string& path, const Id3v2Field& f) {
  uint32_t offset = 0, length = 0;
  if (!UnpackPictureLocation(f.tansi, offset, length)) return {};
  Bytes all = ReadBytes(path);
  if (uint64_t{offset} + length > all.size()) return {};
  return Bytes(all.begin() + offset, all.begin() + offset + length);
}

// The first field with this code (tkod for unknown codes, else the catalogue code).
inline const Id3v2Field* FieldWithCode(const Id3v2TagState& tag, const std::string& code) {
  for (const Id3v2Field& f : tag.fields) {
    if (f.thint.rfind("code: " + code + "\r\n", 0) == 0) return &f;
  }
  return nullptr;
}

}  // namespace quorvel::test
