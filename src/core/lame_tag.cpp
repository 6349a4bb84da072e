#include "core/lame_tag.h"

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/mpeg_header.h"

namespace quorvel {

namespace {

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
void PutBe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

constexpr size_t kPeakAt = 11;
constexpr size_t kTrackGainAt = 15;
constexpr size_t kAlbumGainAt = 17;
constexpr size_t kDelayAt = 21;
constexpr size_t kMusicLengthAt = 28;
constexpr size_t kMusicCrcAt = 32;
constexpr size_t kTagCrcAt = 34;

// A ReplayGain field: name (3 bits), originator (3), sign (1), 0.1 dB units (9).
// Moves its value by tenths; a result beyond the field's range clears it.
uint16_t ShiftedGainField(uint16_t field, int tenths) {
  if ((field >> 13) == 0) return field;  // not set
  int value = field & 0x1FF;
  if (field & 0x200) value = -value;
  value += tenths;
  if (value < -511 || value > 511) return 0;
  uint16_t head = static_cast<uint16_t>(field & 0xFC00);
  return static_cast<uint16_t>(head | (value < 0 ? 0x200 : 0) | (value < 0 ? -value : value));
}

}  // namespace

std::string LameTag::encoder() const {
  std::string s;
  for (size_t i = 0; i < 9 && raw[i] != 0; ++i) s += raw[i] >= 0x20 && raw[i] < 0x7F ? static_cast<char>(raw[i]) : '?';
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}
uint32_t LameTag::musicLength() const { return Be32(raw.data() + kMusicLengthAt); }
uint16_t LameTag::musicCrc() const { return Be16(raw.data() + kMusicCrcAt); }
uint16_t LameTag::tagCrc() const { return Be16(raw.data() + kTagCrcAt); }

namespace {

// CRC-16 with the reflected polynomial 0xA001, eight bytes at a time: table k
// holds the CRC of a byte followed by k zero bytes (slicing by eight), so the
// music CRC of a long output costs about one table look-up a byte.
constexpr std::array<std::array<uint16_t, 256>, 8> MakeCrcTables() {
  std::array<std::array<uint16_t, 256>, 8> t{};
  for (unsigned b = 0; b < 256; ++b) {
    uint16_t crc = static_cast<uint16_t>(b);
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    t[0][b] = crc;
  }
  for (unsigned b = 0; b < 256; ++b) {
    for (size_t k = 1; k < 8; ++k) t[k][b] = static_cast<uint16_t>((t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF]);
  }
  return t;
}
constexpr auto kCrcTables = MakeCrcTables();

}  // namespace

uint16_t LameCrc16(const uint8_t* data, size_t size, uint16_t crc) {
  const auto& t = kCrcTables;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const uint8_t* d = data + i;
    crc = static_cast<uint16_t>(t[7][(crc ^ d[0]) & 0xFF] ^ t[6][((crc >> 8) ^ d[1]) & 0xFF] ^ t[5][d[2]] ^
                                t[4][d[3]] ^ t[3][d[4]] ^ t[2][d[5]] ^ t[1][d[6]] ^ t[0][d[7]]);
  }
  for (; i < size; ++i) crc = static_cast<uint16_t>((crc >> 8) ^ t[0][(crc ^ data[i]) & 0xFF]);
  return crc;
}

int LameTagOffset(const uint8_t* frame, size_t size, int markerOffset) {
  if (markerOffset < 0 || static_cast<size_t>(markerOffset) + 8 > size) return -1;
  uint32_t flags = Be32(frame + markerOffset + 4);
  int offset = markerOffset + 8;
  if (flags & 1) offset += 4;
  if (flags & 2) offset += 4;
  if (flags & 4) offset += 100;
  if (flags & 8) offset += 4;
  return offset;
}

std::optional<LameTag> ParseLameTag(const uint8_t* frame, size_t size) {
  if (size < 4 || !IsFrameSync(frame[0], frame[1])) return std::nullopt;
  MpegHeader h = ParseHeader(frame[0], frame[1], frame[2], frame[3]);
  // Decoders look right behind the side information as if the frame had no
  // CRC word; LAME writes it there also in a CRC-protected stream.
  auto markerAt = [&](int at) {
    return static_cast<size_t>(at) + 8 <= size &&
           (std::memcmp(frame + at, "Xing", 4) == 0 || std::memcmp(frame + at, "Info", 4) == 0);
  };
  int marker = SideInfoOffset(false) + SideInfoLength(h.version, h.mode);
  if (!markerAt(marker)) marker = SideInfoOffset(h.crcPresent) + SideInfoLength(h.version, h.mode);
  if (!markerAt(marker)) return std::nullopt;
  int offset = LameTagOffset(frame, size, marker);
  if (offset < 0 || static_cast<size_t>(offset) + kLameTagSize > size) return std::nullopt;
  LameTag tag;
  std::memcpy(tag.raw.data(), frame + offset, kLameTagSize);
  // A frame with no extension has zeros (or audio) here: the CRC decides.
  if (tag.raw[0] == 0) return std::nullopt;
  if (LameCrc16(frame, static_cast<size_t>(offset) + kLameTagCrcCovers) != tag.tagCrc()) return std::nullopt;
  uint32_t flags = Be32(frame + marker + 4);
  if (flags & 8) {
    tag.hasQuality = true;
    tag.quality = Be32(frame + offset - 4);
  }
  const uint8_t* d = tag.raw.data() + kDelayAt;
  tag.delay = (d[0] << 4) | (d[1] >> 4);
  tag.padding = ((d[1] & 0x0F) << 8) | d[2];
  tag.samplesPerFrame = SamplesPerFrame(h.version);
  tag.present = true;
  return tag;
}

bool LameTagFitsFile(const LameTag& tag, int64_t infoPos, int64_t audioEnd, int64_t audioFrames) {
  if (!tag.present || audioFrames <= 0) return false;
  if (tag.delay > kMaxLameDelay || tag.padding > kMaxLameDelay) return false;
  if (static_cast<int64_t>(tag.delay) + tag.padding > audioFrames * tag.samplesPerFrame) return false;
  return static_cast<int64_t>(tag.musicLength()) == audioEnd - infoPos;
}

LameTag ReadTrustedLameTag(InputFile& file, int64_t infoPos, int32_t framelen, int64_t audioEnd,
                           int32_t firstRecord, int32_t lastRecord) {
  if (framelen <= 0 || framelen > 16384 || infoPos < 0 || lastRecord < firstRecord || firstRecord < 0) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(framelen));
  if (!file.readAt(infoPos, bytes.data(), bytes.size())) return {};
  std::optional<LameTag> tag = ParseLameTag(bytes.data(), bytes.size());
  if (!tag || !LameTagFitsFile(*tag, infoPos, audioEnd, int64_t{lastRecord} - firstRecord + 1)) return {};
  tag->firstRecord = firstRecord;
  tag->lastRecord = lastRecord;
  return *tag;
}

std::array<uint8_t, kLameTagSize> EditedLameTag(const LameTag& origin, const LameTagEdit& edit) {
  std::array<uint8_t, kLameTagSize> raw = origin.raw;
  int delay = edit.delay < 0 ? 0 : (edit.delay > kMaxLameDelay ? kMaxLameDelay : edit.delay);
  int padding = edit.padding < 0 ? 0 : (edit.padding > kMaxLameDelay ? kMaxLameDelay : edit.padding);
  raw[kDelayAt] = static_cast<uint8_t>(delay >> 4);
  raw[kDelayAt + 1] = static_cast<uint8_t>(((delay & 0x0F) << 4) | (padding >> 8));
  raw[kDelayAt + 2] = static_cast<uint8_t>(padding & 0xFF);
  if (!edit.uniformGain) {
    // Different changes along the output: no single value describes it.
    std::memset(raw.data() + kPeakAt, 0, 8);
  } else if (*edit.uniformGain != 0) {
    int g = *edit.uniformGain;
    uint32_t peak = Be32(raw.data() + kPeakAt);
    double scaled = std::round(static_cast<double>(peak) * std::pow(2.0, g / 4.0));
    PutBe32(raw.data() + kPeakAt, scaled >= 4294967295.0 ? 0 : static_cast<uint32_t>(scaled));
    // Louder by g steps of 1.5 dB: the track needs 1.5 g dB less gain.
    PutBe16(raw.data() + kTrackGainAt, ShiftedGainField(Be16(raw.data() + kTrackGainAt), -15 * g));
    // The album's other tracks did not change with it.
    PutBe16(raw.data() + kAlbumGainAt, 0);
  }
  std::memset(raw.data() + kMusicLengthAt, 0, kLameTagSize - kMusicLengthAt);
  return raw;
}

void FinishLameTag(uint8_t* frame, size_t tagOffset, uint32_t musicLength, uint16_t musicCrc) {
  uint8_t* tag = frame + tagOffset;
  PutBe32(tag + kMusicLengthAt, musicLength);
  PutBe16(tag + kMusicCrcAt, musicCrc);
  PutBe16(tag + kTagCrcAt, LameCrc16(frame, tagOffset + kLameTagCrcCovers));
}

}  // namespace quorvel
