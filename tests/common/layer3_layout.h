#pragma once
// The MPEG-1 Layer III frame layout as ISO/IEC 11172-3 lays it out, written
// out here so that tests check the product against the format itself and not
// against its own tables: the frame length formula and the bit positions of
// global_gain in the side information.

#include <array>
#include <cstddef>
#include <cstdint>

namespace quorvel::layout {

// Side information (after the 4-byte header and, with protection, the 2-byte
// CRC word), MPEG-1:
//   mono, 17 bytes:  main_data_begin 9, private_bits 5, scfsi 4     = 18 bits
//   stereo, 32 bytes: main_data_begin 9, private_bits 3, scfsi 2 x 4 = 20 bits
// then a block per granule and channel of 59 bits: part2_3_length 12,
// big_values 9, global_gain 8, ... So global_gain starts at bit
//   mono:   18 + 21 = 39, 18 + 59 + 21 = 98                      (granule 0, 1)
//   stereo: 20 + 21 = 41, 20 + 59 + 21 = 100, 20 + 118 + 21 = 159,
//           20 + 177 + 21 = 218       (gr 0 ch 0, gr 0 ch 1, gr 1 ch 0, gr 1 ch 1)
// counted from the first bit of the side information, most significant first.
inline constexpr std::array<int, 2> kMonoGainBits = {39, 98};
inline constexpr std::array<int, 4> kStereoGainBits = {41, 100, 159, 218};
inline constexpr size_t kMonoSideInfoBytes = 17;
inline constexpr size_t kStereoSideInfoBytes = 32;

// ISO/IEC 13818-3 (MPEG-2, and the MPEG-2.5 extension below it) lowers the
// sampling frequencies and keeps one granule of 576 samples a frame, so a
// frame is 72 x bitrate / sample rate bytes (+1 with the padding bit) and its
// side information is
//   mono, 9 bytes:   main_data_begin 8, private_bits 1                 =  9 bits
//   stereo, 17 bytes: main_data_begin 8, private_bits 2                = 10 bits
// then a block per channel of 63 bits: part2_3_length 12, big_values 9,
// global_gain 8, scalefac_compress 9, window_switching_flag 1, 22 bits for
// either block type, scalefac_scale 1, count1table_select 1 (no scfsi, no
// preflag). 9 + 63 = 72 bits = 9 bytes; 10 + 2 x 63 = 136 bits = 17 bytes.
// global_gain starts at
//   mono:   9 + 21 = 30
//   stereo: 10 + 21 = 31, 10 + 63 + 21 = 94           (channel 0, channel 1)
inline constexpr std::array<int, 1> kLowerMonoGainBits = {30};
inline constexpr std::array<int, 2> kLowerStereoGainBits = {31, 94};
inline constexpr size_t kLowerMonoSideInfoBytes = 9;
inline constexpr size_t kLowerStereoSideInfoBytes = 17;
// Bitrates (kbps) of MPEG-2/2.5 Layer III by index, and the sample rates.
inline constexpr int kLowerKbps[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
inline constexpr int kMpeg2Hz[4] = {22050, 24000, 16000, 0};
inline constexpr int kMpeg25Hz[4] = {11025, 12000, 8000, 0};

inline bool IsMono(const uint8_t* header) { return (header[3] >> 6) == 3; }
inline bool HasCrc(const uint8_t* header) { return (header[1] & 1) == 0; }
inline size_t SideInfoStart(const uint8_t* header) { return HasCrc(header) ? 6 : 4; }
// MPEG-2 (version bits 10) or MPEG-2.5 (00): the one-granule layout.
inline bool IsLowerVersion(const uint8_t* header) { return ((header[1] >> 3) & 1) == 0; }
inline size_t SideInfoBytes(const uint8_t* header) {
  if (IsLowerVersion(header)) return IsMono(header) ? kLowerMonoSideInfoBytes : kLowerStereoSideInfoBytes;
  return IsMono(header) ? kMonoSideInfoBytes : kStereoSideInfoBytes;
}

// The 8-bit value at bit `bit` of `side`.
inline int ReadBits8(const uint8_t* side, int bit) {
  int value = 0;
  for (int i = 0; i < 8; ++i) {
    int b = bit + i;
    value = (value << 1) | ((side[b / 8] >> (7 - b % 8)) & 1);
  }
  return value;
}

inline void WriteBits8(uint8_t* side, int bit, int value) {
  for (int i = 0; i < 8; ++i) {
    int b = bit + i;
    uint8_t mask = static_cast<uint8_t>(0x80 >> (b % 8));
    if ((value >> (7 - i)) & 1) {
      side[b / 8] = static_cast<uint8_t>(side[b / 8] | mask);
    } else {
      side[b / 8] = static_cast<uint8_t>(side[b / 8] & ~mask);
    }
  }
}

// The frame's global_gain values: 2 for mono, 4 for two channels (in the order above);
// MPEG-2/2.5: 1 for mono, 2 for two channels; the rest read -1.
inline std::array<int, 4> ReadGains(const uint8_t* frame) {
  std::array<int, 4> gains = {-1, -1, -1, -1};
  const uint8_t* side = frame + SideInfoStart(frame);
  if (IsLowerVersion(frame)) {
    if (IsMono(frame)) {
      gains[0] = ReadBits8(side, kLowerMonoGainBits[0]);
    } else {
      for (size_t i = 0; i < 2; ++i) gains[i] = ReadBits8(side, kLowerStereoGainBits[i]);
    }
  } else if (IsMono(frame)) {
    for (size_t i = 0; i < 2; ++i) gains[i] = ReadBits8(side, kMonoGainBits[i]);
  } else {
    for (size_t i = 0; i < 4; ++i) gains[i] = ReadBits8(side, kStereoGainBits[i]);
  }
  return gains;
}

// The CRC-16 of a protected frame (polynomial 0x8005, start 0xFFFF) over the
// last two header bytes and the side information; it is stored big-endian in
// bytes 4 and 5.
inline uint16_t ProtectionCrc(const uint8_t* frame) {
  uint16_t crc = 0xFFFF;
  auto feed = [&crc](uint8_t byte) {
    for (int i = 7; i >= 0; --i) {
      bool top = ((crc >> 15) & 1) != ((byte >> i) & 1);
      crc = static_cast<uint16_t>(crc << 1);
      if (top) crc ^= 0x8005;
    }
  };
  feed(frame[2]);
  feed(frame[3]);
  size_t side = SideInfoBytes(frame);
  for (size_t i = 0; i < side; ++i) feed(frame[6 + i]);
  return crc;
}

// A frame's gains changed as a volume or balance change does: left to the
// first channel (both granules), right to the second; a mono frame takes the
// left change. Values stay within 0..255; a protected frame gets its new CRC.
inline void ChangeGains(uint8_t* frame, int left, int right) {
  uint8_t* side = frame + SideInfoStart(frame);
  auto set = [side](int bit, int change) {
    int value = ReadBits8(side, bit) + change;
    WriteBits8(side, bit, value < 0 ? 0 : value > 255 ? 255 : value);
  };
  if (IsLowerVersion(frame)) {
    if (IsMono(frame)) {
      set(kLowerMonoGainBits[0], left);
    } else {
      set(kLowerStereoGainBits[0], left);
      set(kLowerStereoGainBits[1], right);
    }
  } else if (IsMono(frame)) {
    for (int bit : kMonoGainBits) set(bit, left);
  } else {
    set(kStereoGainBits[0], left);
    set(kStereoGainBits[1], right);
    set(kStereoGainBits[2], left);
    set(kStereoGainBits[3], right);
  }
  if (HasCrc(frame)) {
    uint16_t crc = ProtectionCrc(frame);
    frame[4] = static_cast<uint8_t>(crc >> 8);
    frame[5] = static_cast<uint8_t>(crc & 0xFF);
  }
}

// The length of an MPEG-1 Layer III frame from its header, by the public
// formula 144 x bitrate / sample rate (+1 with the padding bit); 0 for a header
// that is not MPEG-1 Layer III or has a free-format or invalid bitrate or rate.
inline int FrameBytes(const uint8_t* h) {
  static constexpr int kKbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  static constexpr int kHz[4] = {44100, 48000, 32000, 0};
  if (h[0] != 0xFF || (h[1] & 0xFE) != 0xFA) return 0;  // sync, MPEG-1, Layer III
  int kbps = kKbps[h[2] >> 4];
  int hz = kHz[(h[2] >> 2) & 3];
  if (kbps == 0 || hz == 0) return 0;
  return 144000 * kbps / hz + ((h[2] >> 1) & 1);
}

// The length of an MPEG-2 or MPEG-2.5 Layer III frame from its header by the
// formula above; 0 for any other header or a free-format or invalid field.
inline int LowerFrameBytes(const uint8_t* h) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || ((h[1] >> 1) & 3) != 1) return 0;
  const int version = (h[1] >> 3) & 3;  // 2 MPEG-2, 0 MPEG-2.5
  if (version != 2 && version != 0) return 0;
  int kbps = kLowerKbps[h[2] >> 4];
  int hz = (version == 2 ? kMpeg2Hz : kMpeg25Hz)[(h[2] >> 2) & 3];
  if (kbps == 0 || hz == 0) return 0;
  return 72000 * kbps / hz + ((h[2] >> 1) & 1);
}

}  // namespace quorvel::layout
