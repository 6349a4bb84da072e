#include "core/mpeg_header.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace quorvel {

MpegHeader ParseHeader(uint8_t /*h0*/, uint8_t h1, uint8_t h2, uint8_t h3) {
  MpegHeader h;
  h.version = (h1 >> 3) & 3;
  h.layer = (h1 >> 1) & 3;
  h.crcPresent = (h1 & 1) == 0;
  h.bitrateIndex = h2 >> 4;
  h.freqIndex = (h2 >> 2) & 3;
  h.padding = (h2 & 2) != 0;
  h.mode = h3 >> 6;
  return h;
}

int32_t FrameLength(int bitrateIndex, int freqIndex, bool padding) {
  if (bitrateIndex < 1 || bitrateIndex > 14 || freqIndex < 0 || freqIndex > 3) return 0;
  return kFrameLengthTable[static_cast<size_t>(bitrateIndex)][static_cast<size_t>(freqIndex)] + (padding ? 1 : 0);
}

int32_t FrameLengthOf(int version, int bitrateIndex, int freqIndex, bool padding) {
  return IsLowerFrequencyVersion(version) ? FrameLength(version, bitrateIndex, freqIndex, padding)
                                          : FrameLength(bitrateIndex, freqIndex, padding);
}

int32_t FreeFormatStep(int mode, bool crcPresent) {
  return (mode == kModeMono ? 14 : 29) + (crcPresent ? 2 : 0);
}

void WriteGlobalGain(uint8_t* sideInfo, size_t size, int bitOffset, uint8_t value) {
  size_t i = static_cast<size_t>(bitOffset) / 8;
  int k = bitOffset % 8;
  if (k == 0) {
    if (i < size) sideInfo[i] = value;
    return;
  }
  if (i < size) {
    unsigned keep = 0xFFu << (8 - k) & 0xFF;  // the high k bits belong to the field before
    sideInfo[i] = static_cast<uint8_t>((sideInfo[i] & keep) | (value >> k));
  }
  if (i + 1 < size) {
    unsigned keep = 0xFFu >> k;  // the low 8 - k bits belong to the field after
    sideInfo[i + 1] = static_cast<uint8_t>((sideInfo[i + 1] & keep) | ((value << (8 - k)) & 0xFF));
  }
}

namespace {

// Header, CRC, two-channel side information and the whole marker window.
constexpr size_t kDecodeSpan = 6 + 33 + kVbrProbePositions + 4;

HeaderCodes DecodeWithin(const uint8_t* f, size_t fileBaseOffset, int32_t fileBase, bool probeMarker,
                         frametype& record) {
  MpegHeader h = ParseHeader(f[0], f[1], f[2], f[3]);
  record.framepos = fileBase + static_cast<int32_t>(fileBaseOffset);
  record.spec = 0;
  record.freqb = h.freqIndex;
  record.stereo = h.mode;
  record.kbps = h.bitrateIndex;
  record.version = h.version;
  // The lower-frequency versions take their own lengths; MPEG-1 and the
  // reserved version code keep the MPEG-1 table.
  const int32_t length = FrameLengthOf(h.version, h.bitrateIndex, h.freqIndex, h.padding);
  record.estimatedlen = h.bitrateIndex != 0 ? length : FreeFormatStep(h.mode, h.crcPresent);

  const uint8_t* side = f + SideInfoOffset(h.crcPresent);
  const auto sideSize = static_cast<size_t>(SideInfoLength(h.version, h.mode));
  const GainBits gains = GainBitsOf(h.version, h.mode);
  record.amplify1 = {};
  unsigned sum = 0;
  for (size_t g = 0; g < static_cast<size_t>(gains.count); ++g) {
    record.amplify1[g] = ReadGlobalGain(side, sideSize, gains.bits[g]);
    sum += record.amplify1[g];
  }
  record.amplify0 = static_cast<uint8_t>(sum / static_cast<unsigned>(gains.count));

  if (probeMarker) {
    // The marker window starts three bytes before the Xing offset.
    size_t start = static_cast<size_t>(XingOffset(h.version, h.mode) - 3) + (h.crcPresent ? 2 : 0);
    for (size_t at = start; at < start + kVbrProbePositions && record.spec == 0; ++at) {
      for (size_t m = 0; m < kVbrMarkers.size(); ++m) {
        if (std::memcmp(f + at, kVbrMarkers[m], 4) == 0) {
          record.spec = static_cast<uint8_t>(m + 1);
          break;
        }
      }
    }
  }
  return {h.version, h.layer};
}

}  // namespace

HeaderCodes DecodeFrameAt(const uint8_t* buffer, size_t size, size_t offset, int32_t fileBase,
                          bool probeMarker, frametype& record) {
  if (offset < size && size - offset >= kDecodeSpan) {
    return DecodeWithin(buffer + offset, offset, fileBase, probeMarker, record);
  }
  // Near the end of the buffer: decode from a zero-padded copy.
  std::array<uint8_t, kDecodeSpan> padded{};
  if (offset < size) std::memcpy(padded.data(), buffer + offset, size - offset);
  return DecodeWithin(padded.data(), offset, fileBase, probeMarker, record);
}

std::string FrequencyText(int index, int version) {
  if (index < 0 || index > 2 || version < 0 || version > 3) return "";
  return kFrequencyTextByVersion[static_cast<size_t>(version)][static_cast<size_t>(index)];
}

std::string ModeText(int index) {
  if (index < 0) return "";
  return kModeText[index > 4 ? 4 : index];
}

std::string BitrateText(int bitrateIndex, int version) {
  if (bitrateIndex == 0) return "free kbps";
  if (bitrateIndex >= 1 && bitrateIndex <= 14) return std::to_string(BitrateKbps(version, bitrateIndex)) + " kbps";
  return "? kbps";
}

std::string BitrateSummaryText(int summary, int version) {
  if (summary >= 1 && summary <= 14) return std::to_string(BitrateKbps(version, summary)) + " kbps";
  if (summary == 0 || summary == 255) return "var.kbps";
  return "? kbps";
}

std::string BitrateColumnText(int bitrateIndex, int version) {
  if (bitrateIndex == 0) return "free";
  if (bitrateIndex < 1 || bitrateIndex > 14) return "";
  std::string digits = std::to_string(BitrateKbps(version, bitrateIndex));
  return std::string(4 - digits.size(), ' ') + digits;
}

std::string FrequencyStatText(const std::array<int32_t, kFrequencySlots>& freqCount, int version) {
  int nonZero = 0;
  int only = 0;
  for (int i = 0; i < kFrequencySlots; ++i) {
    if (freqCount[i] != 0) {
      ++nonZero;
      only = i;
    }
  }
  if (nonZero == 0) return "n/a KHz";
  if (nonZero == 1) return FrequencyText(only % 3, SlotVersion(version, only));
  return "mixed freq";
}

std::string TimeText(double seconds, int digits) {
  digits = digits == 2 ? 2 : 3;
  const long long scale = digits == 3 ? 1000 : 100;
  const bool negative = seconds < 0;
  // nearbyint rounds ties to even in the default rounding mode.
  auto units = static_cast<long long>(std::nearbyint(std::fabs(seconds) * static_cast<double>(scale)));
  const long long whole = units / scale;
  const long long fraction = units % scale;
  const long long minutes = whole / 60;
  const long long secs = whole % 60;
  const char* sign = negative && units != 0 ? "-" : "";
  const char* unit = digits == 2 ? " s" : "";
  char text[64];
  if (minutes != 0) {
    std::snprintf(text, sizeof text, "%s%lld:%02lld.%0*lld%s", sign, minutes, secs, digits, fraction, unit);
  } else {
    std::snprintf(text, sizeof text, "%s%lld.%0*lld%s", sign, secs, digits, fraction, unit);
  }
  return text;
}

std::string DecimalText(double value, int decimals, bool strip) {
  if (decimals < 1) decimals = 1;
  if (decimals > 6) decimals = 6;
  const double scaled = std::nearbyint(value * std::pow(10.0, decimals));
  const auto magnitude = static_cast<long long>(std::fabs(scaled));
  char text[64];
  int length = std::snprintf(text, sizeof text, "%s%0*lld", scaled < 0 ? "-" : "", decimals + 1, magnitude);
  if (length < 0 || length + 2 > static_cast<int>(sizeof text)) return "";
  // Insert the point before the last `decimals` digits.
  std::memmove(text + length - decimals + 1, text + length - decimals, static_cast<size_t>(decimals) + 1);
  text[length - decimals] = '.';
  ++length;
  if (strip) {
    while (length > 0 && text[length - 1] == '0') --length;
    if (length > 0 && text[length - 1] == '.') --length;
  }
  return std::string(text, static_cast<size_t>(length));
}

std::string DurationText(const std::array<int32_t, kFrequencySlots>& freqCount, int version) {
  double total = 0;
  for (size_t f = 0; f < freqCount.size(); ++f) total += freqCount[f] * SlotSeconds(version, static_cast<int>(f));
  auto minutes = static_cast<long long>(std::trunc(total / 60.0));
  double rest = total - 60.0 * static_cast<double>(minutes);
  if (rest < 0) rest = 0;
  std::string text;
  if (minutes != 0) text = std::to_string(minutes) + " min ";
  return text + DecimalText(rest, 3, true) + " sec";
}

std::string InfoLine(const FrameStatistics& stats) {
  std::string mode = ModeText(stats.modeSummary > 4 ? 4 : stats.modeSummary);
  for (char& c : mode) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return FrequencyStatText(stats.freqCount, stats.version) + ", " + mode + ", " +
         BitrateSummaryText(stats.bitrateSummary, stats.version) + ", " + DurationText(stats.freqCount, stats.version);
}

}  // namespace quorvel
