#include "core/mpeg_header.h"

#include <gtest/gtest.h>

#include "common/layer3_layout.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quorvel {
namespace {

// A frame buffer: header bytes, then zeros long enough for the marker window.
std::vector<uint8_t> Frame(uint8_t h1, uint8_t h2, uint8_t h3) {
  std::vector<uint8_t> f(200, 0);
  f[0] = 0xFF;
  f[1] = h1;
  f[2] = h2;
  f[3] = h3;
  return f;
}

struct HeaderCase {
  const char* name;
  uint8_t h1, h2, h3;
  uint8_t version, layer;
  uint8_t kbps, freqb, stereo;
  int32_t estimatedlen;
};

TEST(MpegHeader, DecodesHeaderFields) {
  const HeaderCase cases[] = {
      {"128 kbps joint stereo", 0xFB, 0x90, 0x44, 3, 1, 9, 0, 1, 417},
      {"padding adds a byte", 0xFB, 0x92, 0x44, 3, 1, 9, 0, 1, 418},
      {"48 kHz 320 kbps", 0xFB, 0xE4, 0x00, 3, 1, 14, 1, 0, 960},
      {"32 kHz 32 kbps mono", 0xFB, 0x18, 0xC0, 3, 1, 1, 2, 3, 144},
      {"free format stereo", 0xFB, 0x04, 0x00, 3, 1, 0, 1, 0, 29},
      {"free format mono", 0xFB, 0x04, 0xC0, 3, 1, 0, 1, 3, 14},
      {"free format mono with CRC", 0xFA, 0x04, 0xC0, 3, 1, 0, 1, 3, 16},
      {"MPEG-2 80 kbps at 22.05 kHz", 0xF3, 0x90, 0x44, 2, 1, 9, 0, 1, 261},
      {"MPEG-2.5 80 kbps at 11.025 kHz", 0xE3, 0x90, 0x44, 0, 1, 9, 0, 1, 522},
      {"Layer II", 0xFD, 0x90, 0x44, 3, 2, 9, 0, 1, 417},
      {"Layer I", 0xFF, 0x90, 0x44, 3, 3, 9, 0, 1, 417},
      {"invalid bitrate", 0xFB, 0xF0, 0x44, 3, 1, 15, 0, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto f = Frame(c.h1, c.h2, c.h3);
    frametype r;
    r.framelen = 77;
    r.fromfile = 5;
    HeaderCodes codes = DecodeFrameAt(f.data(), f.size(), 0, 1000, false, r);
    EXPECT_EQ(codes.version, c.version);
    EXPECT_EQ(codes.layer, c.layer);
    EXPECT_EQ(r.kbps, c.kbps);
    EXPECT_EQ(r.freqb, c.freqb);
    EXPECT_EQ(r.stereo, c.stereo);
    EXPECT_EQ(r.estimatedlen, c.estimatedlen);
    EXPECT_EQ(r.framepos, 1000);
    EXPECT_EQ(r.framelen, 77) << "framelen belongs to the analysis";
    EXPECT_EQ(r.fromfile, 5) << "fromfile belongs to the analysis";
  }
}

TEST(MpegHeader, FrameLengthTable) {
  EXPECT_EQ(FrameLength(9, 0, false), 417);
  EXPECT_EQ(FrameLength(9, 0, true), 418);
  EXPECT_EQ(FrameLength(14, 1, false), 960);
  EXPECT_EQ(FrameLength(1, 2, false), 144);
  EXPECT_EQ(FrameLength(1, 0, false), 104);
  EXPECT_EQ(FrameLength(14, 0, false), 1044);
  EXPECT_EQ(FrameLength(0, 0, false), 0);
  EXPECT_EQ(FrameLength(15, 0, false), 0);
  // 44.1 kHz lengths are 144000 * kbps / 44100 truncated for every index.
  for (int b = 1; b <= 14; ++b) EXPECT_EQ(FrameLength(b, 0, false), kBitrateKbps[b] * 144000 / 44100) << b;
  EXPECT_EQ(FreeFormatStep(0, false), 29);
  EXPECT_EQ(FreeFormatStep(2, true), 31);
  EXPECT_EQ(FreeFormatStep(3, false), 14);
  EXPECT_EQ(FreeFormatStep(3, true), 16);
}

TEST(MpegHeader, GlobalGainStraddlesBytes) {
  // Offset 41: low 7 bits of byte 5 and the top bit of byte 6.
  uint8_t side[32] = {};
  side[5] = 0x55;  // 0101 0101
  side[6] = 0x80;  // 1...
  EXPECT_EQ(ReadGlobalGain(side, sizeof side, 41), 0xAB);
  // Offset 39: low bit of byte 4 and the top 7 bits of byte 5.
  uint8_t mono[17] = {};
  mono[4] = 0x01;
  mono[5] = 0x54;
  EXPECT_EQ(ReadGlobalGain(mono, sizeof mono, 39), 0xAA);
  // Aligned offset.
  uint8_t aligned[4] = {0, 0x7E, 0, 0};
  EXPECT_EQ(ReadGlobalGain(aligned, sizeof aligned, 8), 0x7E);
}

TEST(MpegHeader, WritingGainReplacesExactlyEightBits) {
  for (int offset : {39, 41, 98, 100, 159, 218, 8}) {
    SCOPED_TRACE(offset);
    uint8_t side[32];
    std::memset(side, 0xFF, sizeof side);
    WriteGlobalGain(side, sizeof side, offset, 0x00);
    EXPECT_EQ(ReadGlobalGain(side, sizeof side, offset), 0x00);
    // Every other bit is still set.
    int cleared = 0;
    for (int bit = 0; bit < 256; ++bit) {
      if (!(side[bit / 8] & (0x80 >> (bit % 8)))) {
        EXPECT_GE(bit, offset);
        EXPECT_LT(bit, offset + 8);
        ++cleared;
      }
    }
    EXPECT_EQ(cleared, 8);
    WriteGlobalGain(side, sizeof side, offset, 0xA5);
    EXPECT_EQ(ReadGlobalGain(side, sizeof side, offset), 0xA5);
  }
  // A truncated side information is neither read nor written past its end.
  uint8_t shortSide[6] = {0, 0, 0, 0, 0, 0x7F};
  EXPECT_EQ(ReadGlobalGain(shortSide, sizeof shortSide, 41), 0xFE);
  WriteGlobalGain(shortSide, sizeof shortSide, 41, 0x00);
  EXPECT_EQ(shortSide[5], 0x00);
}

TEST(MpegHeader, GainsAndTheirMean) {
  auto f = Frame(0xFB, 0x90, 0x44);
  uint8_t* side = f.data() + 4;
  WriteGlobalGain(side, 32, 41, 200);
  WriteGlobalGain(side, 32, 100, 100);
  WriteGlobalGain(side, 32, 159, 150);
  WriteGlobalGain(side, 32, 218, 51);
  frametype r;
  DecodeFrameAt(f.data(), f.size(), 0, 0, false, r);
  EXPECT_EQ(r.amplify1, (std::array<uint8_t, 4>{200, 100, 150, 51}));
  EXPECT_EQ(r.amplify0, (200 + 100 + 150 + 51) >> 2);

  // With a CRC the side information starts 2 bytes later.
  auto crc = Frame(0xFA, 0x90, 0xC4);
  WriteGlobalGain(crc.data() + 6, 17, 39, 210);
  WriteGlobalGain(crc.data() + 6, 17, 98, 101);
  DecodeFrameAt(crc.data(), crc.size(), 0, 0, false, r);
  EXPECT_EQ(r.amplify1[0], 210);
  EXPECT_EQ(r.amplify1[1], 101);
  EXPECT_EQ(r.amplify0, (210 + 101) >> 1);
}

struct MarkerCase {
  const char* name;
  uint8_t h1, h3;
  size_t at;
  const char* marker;
  bool probe;
  uint8_t spec;
};

TEST(MpegHeader, VbrMarkerProbe) {
  const MarkerCase cases[] = {
      {"Info 36 bytes after a stereo header", 0xFB, 0x44, 36, "Info", true, 2},
      {"Info on a later frame is not probed", 0xFB, 0x44, 36, "Info", false, 0},
      {"Xing 21 bytes after a mono header", 0xFB, 0xC4, 21, "Xing", true, 1},
      {"VBRI at 36", 0xFB, 0x44, 36, "VBRI", true, 3},
      {"FBRI at 36", 0xFB, 0x44, 36, "FBRI", true, 4},
      {"first probe position", 0xFB, 0x44, 33, "Xing", true, 1},
      {"last probe position", 0xFB, 0x44, 72, "Xing", true, 1},
      {"past the window", 0xFB, 0x44, 73, "Xing", true, 0},
      {"before the window", 0xFB, 0x44, 32, "Xing", true, 0},
      {"CRC moves the window", 0xFA, 0x44, 34, "Xing", true, 0},
      {"CRC moves the window, found", 0xFA, 0x44, 38, "Info", true, 2},
      {"lower case is no marker", 0xFB, 0x44, 36, "xing", true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto f = Frame(c.h1, 0x90, c.h3);
    std::memcpy(f.data() + c.at, c.marker, 4);
    frametype r;
    r.spec = 9;
    DecodeFrameAt(f.data(), f.size(), 0, 0, c.probe, r);
    EXPECT_EQ(r.spec, c.spec);
  }
}

TEST(MpegHeader, DecodingNearTheBufferEndReadsZeros) {
  auto f = Frame(0xFB, 0x90, 0x44);
  f.resize(4);
  frametype r;
  r.amplify1 = {1, 2, 3, 4};
  HeaderCodes codes = DecodeFrameAt(f.data(), f.size(), 0, 0, true, r);
  EXPECT_EQ(codes.layer, kLayer3);
  EXPECT_EQ(r.amplify1, (std::array<uint8_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(r.spec, 0);
  EXPECT_EQ(r.estimatedlen, 417);
}

TEST(MpegHeaderText, Tables) {
  EXPECT_EQ(FrequencyText(0), "44.1 KHz");
  EXPECT_EQ(FrequencyText(1), "48 KHz");
  EXPECT_EQ(FrequencyText(2), "32 KHz");
  EXPECT_EQ(ModeText(1), "joint stereo");
  EXPECT_EQ(ModeText(4), "mixed stereo");
  EXPECT_EQ(BitrateText(0), "free kbps");
  EXPECT_EQ(BitrateText(1), "32 kbps");
  EXPECT_EQ(BitrateText(14), "320 kbps");
  EXPECT_EQ(BitrateText(15), "? kbps");
  EXPECT_EQ(BitrateText(-1), "? kbps");
  EXPECT_EQ(BitrateSummaryText(0), "var.kbps");
  EXPECT_EQ(BitrateSummaryText(255), "var.kbps");
  EXPECT_EQ(BitrateSummaryText(9), "128 kbps");
  EXPECT_EQ(BitrateSummaryText(15), "? kbps");
  EXPECT_EQ(BitrateSummaryText(254), "? kbps");
  EXPECT_EQ(BitrateColumnText(0), "free");
  EXPECT_EQ(BitrateColumnText(1), "  32");
  EXPECT_EQ(BitrateColumnText(8), " 112");
  EXPECT_EQ(BitrateColumnText(14), " 320");
  EXPECT_EQ(BitrateColumnText(15), "");
  EXPECT_EQ(FrequencyStatText({0, 0, 0}), "n/a KHz");
  EXPECT_EQ(FrequencyStatText({0, 5, 0}), "48 KHz");
  EXPECT_EQ(FrequencyStatText({1, 5, 0}), "mixed freq");
  EXPECT_EQ(FrequencyStatText({0, 0, 2}), "32 KHz");
}

TEST(MpegHeaderText, TimeText) {
  struct Case {
    double seconds;
    int digits;
    const char* text;
  };
  const Case cases[] = {
      {62.5, 3, "1:02.500"},   {2.61, 2, "2.61 s"},      {0, 3, "0.000"},
      {0, 2, "0.00 s"},        {3600.0, 3, "60:00.000"}, {59.9996, 3, "1:00.000"},
      {0.0125, 2, "0.01 s"},   {0.0135, 2, "0.01 s"},    {65.07, 2, "1:05.07 s"},
      {0.0005, 3, "0.000"},    {0.0015, 3, "0.002"},     {7322.25, 3, "122:02.250"},
      {-62.5, 3, "-1:02.500"},
  };
  for (const auto& c : cases) EXPECT_EQ(TimeText(c.seconds, c.digits), c.text) << c.seconds << " " << c.digits;
}

TEST(MpegHeaderText, DecimalAndDuration) {
  EXPECT_EQ(DecimalText(62.5, 3, false), "62.500");
  EXPECT_EQ(DecimalText(62.5, 3, true), "62.5");
  EXPECT_EQ(DecimalText(3.0, 3, true), "3");
  EXPECT_EQ(DecimalText(0.0, 3, true), "0");
  EXPECT_EQ(DecimalText(0.05, 1, false), "0.0");  // 0.5 rounds to the even 0
  EXPECT_EQ(DecimalText(0.007, 3, false), "0.007");
  EXPECT_EQ(DecimalText(10.0, 2, true), "10");
  EXPECT_EQ(DecimalText(1.5, 6, false), "1.500000");
  EXPECT_EQ(DecimalText(-1.5, 2, false), "-1.50");
  EXPECT_EQ(DecimalText(-0.25, 3, true), "-0.25");
  EXPECT_EQ(DecimalText(123456.5, 1, false), "123456.5");

  // 7083 frames at 44.1 kHz: 185.0253... s.
  EXPECT_EQ(DurationText({7083, 0, 0}), "3 min 5.025 sec");
  EXPECT_EQ(DurationText({0, 0, 0}), "0 sec");
  EXPECT_EQ(DurationText({0, 0, 347}), "12.492 sec");
  EXPECT_EQ(DurationText({0, 2500, 0}), "1 min 0 sec");
  EXPECT_EQ(DurationText({0, 625, 0}), "15 sec");
}

TEST(MpegHeaderText, InfoLine) {
  FrameStatistics s;
  s.freqCount = {7083, 0, 0};
  s.modeSummary = 1;
  s.bitrateSummary = 9;
  EXPECT_EQ(InfoLine(s), "44.1 KHz, JOINT STEREO, 128 kbps, 3 min 5.025 sec");
  s.freqCount = {1, 1, 0};
  s.modeSummary = 9;
  s.bitrateSummary = 0;
  EXPECT_EQ(InfoLine(s), "mixed freq, MIXED STEREO, var.kbps, 0.05 sec");
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

struct VersionCase {
  const char* name;
  uint8_t version;  // header code
  uint8_t versionBits;  // bits 4..3 of the second header byte
};
constexpr VersionCase kVersions[] = {{"MPEG-1", kVersionMpeg1, 0x18}, {"MPEG-2", kVersionMpeg2, 0x10},
                                     {"MPEG-2.5", kVersionMpeg25, 0x00}};

// Every bitrate index, frequency and padding of the three versions: the length
// from the version's tables equals the format's formula, and MPEG-1 keeps the
// lengths it always had.
TEST(MpegVersions, FrameLengthsFollowTheFormat) {
  for (const auto& v : kVersions) {
    SCOPED_TRACE(v.name);
    for (int b = 0; b < 16; ++b) {
      for (int f = 0; f < 4; ++f) {
        for (int pad = 0; pad < 2; ++pad) {
          const uint8_t h[4] = {0xFF, static_cast<uint8_t>(0xE0 | v.versionBits | 0x02 | 0x01),
                                static_cast<uint8_t>(b << 4 | f << 2 | pad << 1), 0x44};
          const int expected = v.version == kVersionMpeg1 ? layout::FrameBytes(h) : layout::LowerFrameBytes(h);
          EXPECT_EQ(FrameLength(v.version, b, f, pad != 0), expected) << "bitrate " << b << " freq " << f;
          if (v.version == kVersionMpeg1 && f < 3) {
            EXPECT_EQ(FrameLength(v.version, b, f, pad != 0), FrameLength(b, f, pad != 0));
          }
        }
      }
    }
  }
  EXPECT_EQ(FrameLength(kVersionReserved, 9, 0, false), 0);
  // Known lengths: 32 kbps at 22.05 kHz is 104 bytes, 8 kbps at 8 kHz 72, 160 kbps at 16 kHz 720.
  EXPECT_EQ(FrameLength(kVersionMpeg2, 4, 0, false), 104);
  EXPECT_EQ(FrameLength(kVersionMpeg25, 1, 2, false), 72);
  EXPECT_EQ(FrameLength(kVersionMpeg2, 14, 2, true), 721);
}

// Positions and times at each of the nine frequencies: a frame is 1152 or 576
// samples at the frequency written out here.
TEST(MpegVersions, TimesAtEveryFrequency) {
  struct Case {
    uint8_t version;
    int freqIndex;
    int hz;
    int samples;
  };
  const Case cases[] = {{kVersionMpeg1, 0, 44100, 1152}, {kVersionMpeg1, 1, 48000, 1152}, {kVersionMpeg1, 2, 32000, 1152},
                        {kVersionMpeg2, 0, 22050, 576},  {kVersionMpeg2, 1, 24000, 576},  {kVersionMpeg2, 2, 16000, 576},
                        {kVersionMpeg25, 0, 11025, 576}, {kVersionMpeg25, 1, 12000, 576}, {kVersionMpeg25, 2, 8000, 576}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hz);
    EXPECT_EQ(FrequencyHz(c.version, c.freqIndex), c.hz);
    EXPECT_EQ(SamplesPerFrame(c.version), c.samples);
    for (int frames : {1, 77, 1000, 250000}) {
      EXPECT_DOUBLE_EQ(frames * SecondsPerFrame(c.version, c.freqIndex), frames * static_cast<double>(c.samples) / c.hz);
    }
  }
  // One second of 8 kHz MPEG-2.5 is 13.888... frames; 576 / 8000 s is 72 ms.
  EXPECT_DOUBLE_EQ(SecondsPerFrame(kVersionMpeg25, 2), 0.072);
  EXPECT_DOUBLE_EQ(SecondsPerFrame(kVersionMpeg2, 1), 0.024);
  for (const auto& v : kVersions) EXPECT_EQ(FrequencyHz(v.version, 3), 0) << "reserved frequency";
  EXPECT_EQ(FrequencyHz(kVersionReserved, 0), 0);
  EXPECT_EQ(SecondsPerFrame(kVersionMpeg2, 3), 0.0);
}

TEST(MpegVersions, SideInformationLayout) {
  EXPECT_EQ(SideInfoLength(kVersionMpeg1, kModeMono), static_cast<int>(layout::kMonoSideInfoBytes));
  EXPECT_EQ(SideInfoLength(kVersionMpeg1, 1), static_cast<int>(layout::kStereoSideInfoBytes));
  for (uint8_t version : {kVersionMpeg2, kVersionMpeg25}) {
    EXPECT_EQ(SideInfoLength(version, kModeMono), static_cast<int>(layout::kLowerMonoSideInfoBytes));
    for (int mode = 0; mode < 3; ++mode) {
      EXPECT_EQ(SideInfoLength(version, mode), static_cast<int>(layout::kLowerStereoSideInfoBytes));
      const GainBits g = GainBitsOf(version, mode);
      ASSERT_EQ(g.count, 2);
      EXPECT_EQ(g.channels, 2);
      EXPECT_EQ(g.bits[0], layout::kLowerStereoGainBits[0]);
      EXPECT_EQ(g.bits[1], layout::kLowerStereoGainBits[1]);
      EXPECT_EQ(XingOffset(version, mode), 4 + 17);
    }
    const GainBits mono = GainBitsOf(version, kModeMono);
    ASSERT_EQ(mono.count, 1);
    EXPECT_EQ(mono.bits[0], layout::kLowerMonoGainBits[0]);
    EXPECT_EQ(XingOffset(version, kModeMono), 4 + 9);
  }
  const GainBits stereo1 = GainBitsOf(kVersionMpeg1, 0);
  ASSERT_EQ(stereo1.count, 4);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(stereo1.bits[i], layout::kStereoGainBits[i]);
  const GainBits mono1 = GainBitsOf(kVersionMpeg1, kModeMono);
  ASSERT_EQ(mono1.count, 2);
  for (size_t i = 0; i < 2; ++i) EXPECT_EQ(mono1.bits[i], layout::kMonoGainBits[i]);
  EXPECT_EQ(XingOffset(kVersionMpeg1, 0), 36);
  EXPECT_EQ(XingOffset(kVersionMpeg1, kModeMono), 21);
}

// The MPEG-2 and MPEG-2.5 files lame made: their frames chain from the first
// header to the end of the file by these lengths, and a Xing or Info marker
// sits where XingOffset puts it.
TEST(MpegVersions, LameFilesChainByTheirLengths) {
  const char* dir = std::getenv("QUORVEL_TEST_DATA");
  ASSERT_NE(dir, nullptr) << "QUORVEL_TEST_DATA is not set";
  struct Case {
    const char* file;
    uint8_t version;
    bool marker;
  };
  const Case cases[] = {{"mpeg2-22k.mp3", kVersionMpeg2, false},     {"mpeg2-22k-64k.mp3", kVersionMpeg2, true},
                        {"mpeg2-16k-mono.mp3", kVersionMpeg2, false}, {"mpeg2-24k-vbr.mp3", kVersionMpeg2, true},
                        {"mpeg25-11k.mp3", kVersionMpeg25, false},    {"mpeg25-12k-mono-info.mp3", kVersionMpeg25, true},
                        {"mpeg25-8k-vbr.mp3", kVersionMpeg25, true},  {"mpeg2-22k-crc.mp3", kVersionMpeg2, true},
                        {"mpeg2-16k-vbr.mp3", kVersionMpeg2, true},   {"mpeg2-22k-mono-info.mp3", kVersionMpeg2, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    std::ifstream in(std::string(dir) + "/" + c.file, std::ios::binary);
    ASSERT_TRUE(in) << "cannot open";
    std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(d.size(), 4u);
    size_t p = 0;
    int frames = 0;
    while (p + 4 <= d.size()) {
      const MpegHeader h = ParseHeader(d[p], d[p + 1], d[p + 2], d[p + 3]);
      ASSERT_TRUE(IsFrameSync(d[p], d[p + 1])) << "at " << p;
      ASSERT_EQ(h.version, c.version) << "at " << p;
      if (frames == 0 && c.marker) {
        const size_t at = static_cast<size_t>(XingOffset(h.version, h.mode));
        const std::string mark(reinterpret_cast<const char*>(&d[at]), 4);
        EXPECT_TRUE(mark == "Xing" || mark == "Info") << mark;
      }
      const int32_t len = FrameLength(h.version, h.bitrateIndex, h.freqIndex, h.padding);
      ASSERT_EQ(len, layout::LowerFrameBytes(&d[p]));
      ASSERT_GT(len, 0);
      p += static_cast<size_t>(len);
      ++frames;
    }
    EXPECT_EQ(p, d.size());
    EXPECT_GT(frames, 10);
  }
}

}  // namespace
}  // namespace quorvel
