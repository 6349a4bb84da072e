#pragma once
// MPEG audio frame headers (ISO/IEC 11172-3, and for the lower sampling
// frequencies ISO/IEC 13818-3 with its 2.5 extension): the fixed tables, frame lengths,
// the decoding of a header and its Layer III global_gain fields, the VBR marker
// probe of a file's first frame, and the text forms of frequencies, modes,
// bitrates and times used throughout the program.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/document.h"

namespace quorvel {

// Header field codes.
constexpr uint8_t kVersionMpeg25 = 0;
constexpr uint8_t kVersionReserved = 1;
constexpr uint8_t kVersionMpeg2 = 2;
constexpr uint8_t kVersionMpeg1 = 3;
constexpr uint8_t kLayerReserved = 0;
constexpr uint8_t kLayer3 = 1;
constexpr uint8_t kLayer2 = 2;
constexpr uint8_t kLayer1 = 3;
constexpr uint8_t kModeMono = 3;
constexpr uint8_t kModeMixed = 4;  // statistics: more than one mode

// Bitrate in kbps by bitrate index; 0 is free format, 15 is invalid.
static constexpr std::array<int, 16> kBitrateKbps = {0,   32,  40,  48,  56,  64,  80,  96,
                                                      112, 128, 160, 192, 224, 256, 320, 0};
// 144 / sampling frequency in kHz, by frequency index (3 repeats 0).
static constexpr std::array<double, 4> kLengthFactor = {3.2653061224489797, 3.0, 4.5,
                                                         3.2653061224489797};
// 1152 samples / sampling frequency, by frequency index (3 repeats 0).
static constexpr std::array<double, 4> kSecondsPerFrame = {1152.0 / 44100.0, 0.024, 0.036,
                                                            1152.0 / 44100.0};
// The frame length that free-format frames are counted with when the possible
// length error is reported: 32 kHz and mixed frequencies take the longest frame.
constexpr double FreeFormatWarningFrameSeconds(uint8_t freqSummary) {
  return freqSummary <= 1 ? kSecondsPerFrame[freqSummary] : kSecondsPerFrame[2];
}
static constexpr std::array<const char*, 3> kFrequencyText = {"44.1 KHz", "48 KHz", "32 KHz"};
// The same texts by version code and frequency index (the reserved version has none).
static constexpr std::array<std::array<const char*, 3>, 4> kFrequencyTextByVersion = {{
    {"11.025 KHz", "12 KHz", "8 KHz"},
    {"", "", ""},
    {"22.05 KHz", "24 KHz", "16 KHz"},
    {"44.1 KHz", "48 KHz", "32 KHz"},
}};
static constexpr std::array<const char*, 5> kModeText = {"stereo", "joint stereo", "dual channel",
                                                         "mono", "mixed stereo"};

// Bit offsets of global_gain in Layer III side information, counted from the
// most significant bit of its first byte. Two-channel side information is 32
// bytes: gr0ch0, gr0ch1, gr1ch0, gr1ch1. Mono side information is 17 bytes: gr0, gr1.
static constexpr std::array<int, 4> kGainBitsTwoChannel = {41, 100, 159, 218};
static constexpr std::array<int, 2> kGainBitsMono = {39, 98};
constexpr int kSideInfoTwoChannel = 32;
constexpr int kSideInfoMono = 17;

// MPEG-2 and MPEG-2.5 Layer III (the lower sampling frequencies) beside the
// MPEG-1 values above: one granule of 576 samples a frame, 72 x bitrate /
// frequency bytes, and a shorter side information.
constexpr bool IsLowerFrequencyVersion(int version) { return version == kVersionMpeg2 || version == kVersionMpeg25; }
// MPEG-1 is one family; MPEG-2 and MPEG-2.5 (the same frame layout, bitrates
// and 576 samples a frame) are the other. Frames of one family may share a file.
constexpr bool SameFamily(int a, int b) { return IsLowerFrequencyVersion(a) == IsLowerFrequencyVersion(b); }
// Bitrate in kbps by bitrate index for MPEG-2 and MPEG-2.5 Layer III.
static constexpr std::array<int, 16> kBitrateKbpsLower = {0,  8,  16, 24,  32,  40,  48,  56,
                                                           64, 80, 96, 112, 128, 144, 160, 0};
// Sampling frequency in Hz by version code and frequency index (0 = reserved).
static constexpr std::array<std::array<int32_t, 4>, 4> kFrequencyHz = {{
    {11025, 12000, 8000, 0},   // MPEG-2.5
    {0, 0, 0, 0},              // reserved version
    {22050, 24000, 16000, 0},  // MPEG-2
    {44100, 48000, 32000, 0},  // MPEG-1
}};
// Side information of one granule: main_data_begin 8 bits and private_bits
// 1 (mono) or 2, then per channel a 63-bit block whose global_gain starts at
// its bit 21. Mono is 9 bytes, two channels 17.
static constexpr std::array<int, 2> kGainBitsLowerTwoChannel = {31, 94};
static constexpr std::array<int, 1> kGainBitsLowerMono = {30};
constexpr int kSideInfoLowerTwoChannel = 17;
constexpr int kSideInfoLowerMono = 9;

// Bitrate in kbps of a bitrate index in this version; 0 for free format and 15.
constexpr int BitrateKbps(int version, int bitrateIndex) {
  if (bitrateIndex < 0 || bitrateIndex > 15) return 0;
  return IsLowerFrequencyVersion(version) ? kBitrateKbpsLower[static_cast<size_t>(bitrateIndex)]
                                          : kBitrateKbps[static_cast<size_t>(bitrateIndex)];
}
// Sampling frequency in Hz; 0 for the reserved version or frequency index.
constexpr int32_t FrequencyHz(int version, int freqIndex) {
  if (version < 0 || version > 3 || freqIndex < 0 || freqIndex > 3) return 0;
  return kFrequencyHz[static_cast<size_t>(version)][static_cast<size_t>(freqIndex)];
}
// Samples a Layer III frame decodes to: two granules in MPEG-1, one otherwise.
constexpr int SamplesPerFrame(int version) { return IsLowerFrequencyVersion(version) ? 576 : 1152; }
// Seconds a frame plays; 0 for the reserved version or frequency.
constexpr double SecondsPerFrame(int version, int freqIndex) {
  const int32_t hz = FrequencyHz(version, freqIndex);
  return hz == 0 ? 0.0 : static_cast<double>(SamplesPerFrame(version)) / static_cast<double>(hz);
}
// A document counts its frames by frequency slot: the frequency index for
// MPEG-1 and MPEG-2 frames, 3 + the index for MPEG-2.5 frames, so that a
// document of the lower-frequency family tells its six frequencies apart.
// The version that slots 0..2 stand for is the document's (MPEG-2 in a
// document of the lower family). kFrequencySlots and kFrequencyMixed are in
// core/document.h.
constexpr int FrequencySlot(int version, int freqIndex) {
  return version == kVersionMpeg25 ? 3 + freqIndex : freqIndex;
}
constexpr int SlotVersion(int documentVersion, int slot) {
  if (!IsLowerFrequencyVersion(documentVersion)) return documentVersion;
  return slot >= 3 ? kVersionMpeg25 : kVersionMpeg2;
}
constexpr double SlotSeconds(int documentVersion, int slot) {
  return SecondsPerFrame(SlotVersion(documentVersion, slot), slot % 3);
}
// Bytes of a frame of this version with a bitrate index 1..14: samples / 8 x
// bitrate / frequency, truncated, + padding; 0 for free format, index 15 and
// reserved fields.
constexpr int32_t FrameLength(int version, int bitrateIndex, int freqIndex, bool padding) {
  const int32_t hz = FrequencyHz(version, freqIndex);
  const int kbps = bitrateIndex >= 1 && bitrateIndex <= 14 ? BitrateKbps(version, bitrateIndex) : 0;
  if (hz == 0 || kbps == 0) return 0;
  return static_cast<int32_t>(int64_t{SamplesPerFrame(version) / 8} * 1000 * kbps / hz) + (padding ? 1 : 0);
}
// Side information bytes of a Layer III frame of this version and mode.
constexpr int SideInfoLength(int version, int mode) {
  if (IsLowerFrequencyVersion(version)) return mode == kModeMono ? kSideInfoLowerMono : kSideInfoLowerTwoChannel;
  return mode == kModeMono ? kSideInfoMono : kSideInfoTwoChannel;
}
// Bit offsets of the global_gain fields of this version and mode, in the
// order granule by granule, channel by channel; `count` is how many there are.
struct GainBits {
  std::array<int, 4> bits{};
  int count = 0;
  int channels = 1;
};
constexpr GainBits GainBitsOf(int version, int mode) {
  if (IsLowerFrequencyVersion(version)) {
    if (mode == kModeMono) return {{kGainBitsLowerMono[0], 0, 0, 0}, 1, 1};
    return {{kGainBitsLowerTwoChannel[0], kGainBitsLowerTwoChannel[1], 0, 0}, 2, 2};
  }
  if (mode == kModeMono) return {{kGainBitsMono[0], kGainBitsMono[1], 0, 0}, 2, 1};
  return {kGainBitsTwoChannel, 4, 2};
}
// Where a Xing or Info frame keeps its marker: right after the header and the
// side information (no CRC word in an information frame).
constexpr int XingOffset(int version, int mode) { return 4 + SideInfoLength(version, mode); }
// A VBRI frame keeps its marker at this fixed offset in every version.
constexpr int kVbriOffset = 36;
// The second header byte of a Layer III frame of this version without CRC.
constexpr uint8_t Layer3HeaderByte1(int version) {
  return static_cast<uint8_t>(0xE0 | ((version & 3) << 3) | (kLayer3 << 1) | 1);
}
// "MPEG-1", "MPEG-2", "MPEG-2.5".
constexpr const char* VersionName(int version) {
  return version == kVersionMpeg2 ? "MPEG-2" : version == kVersionMpeg25 ? "MPEG-2.5" : "MPEG-1";
}

// The four-byte texts of the VBR information frames, in probe order (spec 1..4).
static constexpr std::array<const char*, 4> kVbrMarkers = {"Xing", "Info", "VBRI", "FBRI"};
constexpr int kVbrProbePositions = 40;

struct MpegHeader {
  uint8_t version = 0;
  uint8_t layer = 0;
  bool crcPresent = false;
  uint8_t bitrateIndex = 0;
  uint8_t freqIndex = 0;
  bool padding = false;
  uint8_t mode = 0;
};

// True when h0 and h1 carry the eleven sync bits.
inline bool IsFrameSync(uint8_t h0, uint8_t h1) { return h0 == 0xFF && h1 >= 0xE0; }

MpegHeader ParseHeader(uint8_t h0, uint8_t h1, uint8_t h2, uint8_t h3);

// Frame lengths without padding by bitrate index and frequency index: the
// bitrate times the length factor, truncated (0 for free format and index 15).
static constexpr std::array<std::array<int32_t, 4>, 16> kFrameLengthTable = [] {
  std::array<std::array<int32_t, 4>, 16> table{};
  for (size_t b = 1; b < 15; ++b)
    for (size_t f = 0; f < 4; ++f) table[b][f] = static_cast<int32_t>(kBitrateKbps[b] * kLengthFactor[f]);
  return table;
}();

// Bytes of an MPEG-1 frame with a bitrate index 1..14; 0 for free format and invalid indices.
int32_t FrameLength(int bitrateIndex, int freqIndex, bool padding);
// The same for a frame of any version: MPEG-1 from the table above.
int32_t FrameLengthOf(int version, int bitrateIndex, int freqIndex, bool padding);
// Free format: the smallest step to the next header, used as estimatedlen.
int32_t FreeFormatStep(int mode, bool crcPresent);

// Offset of the side information from the frame header.
inline int SideInfoOffset(bool crcPresent) { return crcPresent ? 6 : 4; }
inline int SideInfoLength(int mode) { return mode == kModeMono ? kSideInfoMono : kSideInfoTwoChannel; }
// The fewest bytes a Layer III frame of this channel mode and version can be:
// the header and the side information. Anything shorter is a piece of a frame.
inline int32_t MinimumFrameLength(int mode, int version = kVersionMpeg1) {
  return 4 + SideInfoLength(version, mode);
}

// The eight bits at bitOffset of the side information (they may straddle two
// bytes). Bytes beyond size read as 0.
inline uint8_t ReadGlobalGain(const uint8_t* sideInfo, size_t size, int bitOffset) {
  const size_t i = static_cast<size_t>(bitOffset) / 8;
  const int k = bitOffset % 8;
  const unsigned first = i < size ? sideInfo[i] : 0;
  if (k == 0) return static_cast<uint8_t>(first);
  const unsigned second = i + 1 < size ? sideInfo[i + 1] : 0;
  return static_cast<uint8_t>(((first << k) | (second >> (8 - k))) & 0xFF);
}
// Replaces exactly those eight bits; bytes beyond size are left unwritten.
void WriteGlobalGain(uint8_t* sideInfo, size_t size, int bitOffset, uint8_t value);

struct HeaderCodes {
  uint8_t version = 0;
  uint8_t layer = 0;
};

// Decodes the header at buffer[offset] into record (framepos = fileBase + offset,
// spec 0, freqb/stereo/kbps, estimatedlen, amplify1/amplify0). With probeMarker,
// the 40 positions where a VBR information frame keeps its marker are searched
// and spec is set to 1..4 for "Xing", "Info", "VBRI", "FBRI". framelen and
// fromfile are left alone. Bytes beyond size read as 0.
HeaderCodes DecodeFrameAt(const uint8_t* buffer, size_t size, size_t offset, int32_t fileBase,
                          bool probeMarker, frametype& record);

// Text forms; frequency and bitrate indices are of the version's tables.
std::string FrequencyText(int index, int version = kVersionMpeg1);
std::string ModeText(int index);
std::string BitrateText(int bitrateIndex, int version = kVersionMpeg1);
std::string BitrateSummaryText(int summary, int version = kVersionMpeg1);
std::string BitrateColumnText(int bitrateIndex, int version = kVersionMpeg1);
std::string FrequencyStatText(const std::array<int32_t, kFrequencySlots>& freqCount, int version = kVersionMpeg1);
// m:ss.fff (or s.fff) with 3 digits; s.ff + " s" (or m:ss.ff s) with 2 digits.
std::string TimeText(double seconds, int digits);
std::string DecimalText(double value, int decimals, bool strip);
std::string DurationText(const std::array<int32_t, kFrequencySlots>& freqCount, int version = kVersionMpeg1);
// "44.1 KHz, JOINT STEREO, 128 kbps, 3 min 5.016 sec"
std::string InfoLine(const FrameStatistics& stats);

}  // namespace quorvel
