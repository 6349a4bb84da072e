// LAME's information-frame extension: reading it from a frame LAME wrote,
// recomputing its CRC as LAME does, and the fields an edited output carries.

#include "core/lame_tag.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "edit_fixture.h"

namespace quorvel {
namespace {

std::vector<uint8_t> FirstFrame(const std::string& name, size_t length) {
  std::ifstream in(quorvel::testing::TestData(name), std::ios::binary);
  std::vector<uint8_t> all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_GE(all.size(), length);
  all.resize(length);
  return all;
}

// cbr128-info.mp3: LAME 3.100, delay 576, padding 1,242 (values read with a
// separate reader when the fixture was made); the frame is 417 bytes, the
// extension at 156.
TEST(LameTag, ReadsTheFixtureAndRecomputesItsCrcAsLameDoes) {
  std::vector<uint8_t> frame = FirstFrame("cbr128-info.mp3", 417);
  std::optional<LameTag> tag = ParseLameTag(frame.data(), frame.size());
  ASSERT_TRUE(tag);
  EXPECT_EQ(tag->encoder(), "LAME3.100");
  EXPECT_EQ(tag->delay, 576);
  EXPECT_EQ(tag->padding, 1242);
  EXPECT_EQ(tag->musicLength(), 25076u);
  EXPECT_TRUE(tag->hasQuality);

  std::vector<uint8_t> rebuilt = frame;
  std::fill(rebuilt.begin() + 156 + 28, rebuilt.begin() + 156 + 36, 0);
  FinishLameTag(rebuilt.data(), 156, tag->musicLength(), tag->musicCrc());
  EXPECT_TRUE(rebuilt == frame);

  // One changed byte: the CRC no longer checks and the extension is not taken.
  frame[160] ^= 1;
  EXPECT_FALSE(ParseLameTag(frame.data(), frame.size()));
  // Cut before the extension ends.
  frame[160] ^= 1;
  EXPECT_FALSE(ParseLameTag(frame.data(), 156 + 30));
  // A plain Xing frame has zeros there.
  std::vector<uint8_t> plain = FirstFrame("vbr-plain-xing.mp3", 417);
  EXPECT_FALSE(ParseLameTag(plain.data(), plain.size()));
}

TEST(LameTag, FitsOnlyItsOwnFile) {
  std::vector<uint8_t> frame = FirstFrame("cbr128-info.mp3", 417);
  LameTag tag = *ParseLameTag(frame.data(), frame.size());
  EXPECT_TRUE(LameTagFitsFile(tag, 0, 25076, 59));
  EXPECT_FALSE(LameTagFitsFile(tag, 0, 25076 + 418, 60));  // frames behind what it describes
  EXPECT_FALSE(LameTagFitsFile(tag, 0, 25076, 1));          // 1,818 samples of delay and padding in 1,152
}

// Delay and padding as given; the ReplayGain fields: a uniform change moves the
// track gain (1.5 dB a step, in 0.1 dB units) and scales the peak, clears the
// album gain; changes that differ along the output clear all three.
TEST(LameTag, EditedFields) {
  LameTag tag;
  tag.present = true;
  const uint8_t peak[4] = {0x00, 0x80, 0x00, 0x00};  // 1.0
  std::copy(peak, peak + 4, tag.raw.begin() + 11);
  tag.raw[15] = 0x2E;  // radio gain, originator 3, -6.2 dB
  tag.raw[16] = 0x3E;
  tag.raw[17] = 0x4C;  // audiophile gain, +1.0 dB
  tag.raw[18] = 0x0A;
  tag.raw[30] = 0x77;  // music length: rewritten later

  struct Case {
    std::optional<int> gain;
    std::array<uint8_t, 8> replayGain;  // peak, track, album
  };
  const Case cases[] = {
      {0, {0x00, 0x80, 0x00, 0x00, 0x2E, 0x3E, 0x4C, 0x0A}},
      {2, {0x00, 0xB5, 0x04, 0xF3, 0x2E, 0x5C, 0x00, 0x00}},   // 3 dB louder: -9.2 dB, peak x 1.41421
      {-4, {0x00, 0x40, 0x00, 0x00, 0x2E, 0x02, 0x00, 0x00}},  // 6 dB quieter: -0.2 dB, peak x 0.5
      {-6, {0x00, 0x2D, 0x41, 0x3D, 0x2C, 0x1C, 0x00, 0x00}},  // 9 dB quieter: +2.8 dB
      {std::nullopt, {0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gain ? *c.gain : 999);
    LameTagEdit edit;
    edit.delay = 576;
    edit.padding = 1242;
    edit.uniformGain = c.gain;
    std::array<uint8_t, kLameTagSize> raw = EditedLameTag(tag, edit);
    EXPECT_EQ((std::array<uint8_t, 3>{raw[21], raw[22], raw[23]}), (std::array<uint8_t, 3>{0x24, 0x04, 0xDA}));
    std::array<uint8_t, 8> rg{};
    std::copy(raw.begin() + 11, raw.begin() + 19, rg.begin());
    EXPECT_EQ(rg, c.replayGain);
    EXPECT_EQ(raw[30], 0);
  }
}

// The CRC-16 of the LAME extension and of the music (polynomial 0xA001,
// reflected, start 0): the catalogue check value, and long buffers of every
// length modulo 8 against the plain bit-by-bit form.
TEST(LameCrc, CheckValueAndEveryTailLength) {
  const char* check = "123456789";
  EXPECT_EQ(LameCrc16(reinterpret_cast<const uint8_t*>(check), 9, 0), 0xBB3D);
  std::vector<uint8_t> data(4099);
  uint32_t x = 12345;
  for (uint8_t& b : data) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
  for (size_t n : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{9}, size_t{4096}, size_t{4099}}) {
    uint16_t bitwise = 0;
    for (size_t i = 0; i < n; ++i) {
      bitwise ^= data[i];
      for (int k = 0; k < 8; ++k) bitwise = (bitwise & 1) ? static_cast<uint16_t>((bitwise >> 1) ^ 0xA001) : static_cast<uint16_t>(bitwise >> 1);
    }
    EXPECT_EQ(LameCrc16(data.data(), n, 0), bitwise) << n;
    // Split in two calls, as the writer feeds it chunk by chunk.
    EXPECT_EQ(LameCrc16(data.data() + n / 3, n - n / 3, LameCrc16(data.data(), n / 3, 0)), bitwise) << n;
  }
}

}  // namespace
}  // namespace quorvel
