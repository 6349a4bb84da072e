// MPEG-2 and MPEG-2.5 Layer III files through the writer, checked by real
// decoders and validators: an unchanged save decodes to the source's samples,
// a volume change decodes like mp3gain's, and an output made VBR gets a Xing
// frame (after 9 or 17 bytes of side information) that decoders read.

#include <cstring>

#include "core/document_ops.h"
#include "common/layer3_layout.h"
#include "output/writer.h"
#include "writer_fixture.h"

namespace quorvel {
namespace {

using namespace writer_test;

bool HavePeers() {
  for (const char* tool : {"mpg123", "mp3val", "ffprobe", "mp3gain"})
    if (!HaveTool(tool)) return false;
  return true;
}

struct LowerCase {
  const char* name;
  double hz;
  int channels;
};

// Every frequency of both versions, mono and stereo, CBR and VBR, with and
// without an information frame, and one file with CRC-protected frames.
constexpr LowerCase kLowerFixtures[] = {
    {"mpeg2-22k.mp3", 22050, 2},          {"mpeg2-22k-64k.mp3", 22050, 2},
    {"mpeg2-16k-mono.mp3", 16000, 1},     {"mpeg2-24k-vbr.mp3", 24000, 2},
    {"mpeg2-22k-crc.mp3", 22050, 2},      {"mpeg2-16k-vbr.mp3", 16000, 2},
    {"mpeg2-22k-mono-info.mp3", 22050, 1}, {"mpeg25-11k.mp3", 11025, 2},
    {"mpeg25-12k-mono-info.mp3", 12000, 1}, {"mpeg25-8k-vbr.mp3", 8000, 2},
};

// The frame count of the Xing or Info frame at the start of an MPEG-2/2.5
// file: its marker follows 4 header bytes and 9 (mono) or 17 bytes of side
// information. -1 when there is none.
long LowerXingCount(const fs::path& mp3) {
  std::vector<uint8_t> b = ReadAll(mp3);
  if (b.size() < 64 || b[0] != 0xFF || (b[1] & 0xE6) != 0xE2 || (b[1] & 0x08) != 0) return -1;
  size_t marker = 4 + ((b[3] >> 6) == 3 ? 9 : 17);
  if (std::memcmp(&b[marker], "Xing", 4) != 0 && std::memcmp(&b[marker], "Info", 4) != 0) return -1;
  if ((b[marker + 7] & 1) == 0) return -1;
  return static_cast<long>((uint32_t{b[marker + 8]} << 24) | (uint32_t{b[marker + 9]} << 16) |
                           (uint32_t{b[marker + 10]} << 8) | b[marker + 11]);
}

// The samples mpg123 plays: with gapless trimming by the encoder delay and
// padding of a LAME extension.
std::vector<uint8_t> DecodeGapless(const fs::path& mp3, const fs::path& folder) {
  fs::path pcm = folder / (mp3.filename().string() + ".gapless.pcm");
  EXPECT_EQ(RunTool({"mpg123", "-q", "-s", mp3.string()}, pcm.string()), 0) << "mpg123 failed on " << mp3;
  std::vector<uint8_t> raw = ReadAll(pcm);
  fs::remove(pcm);
  return raw;
}

// The audio frames of an MPEG-2/2.5 file without tags, by the header's length
// formula; a leading Xing or Info frame is left out.
std::vector<std::vector<uint8_t>> AudioFrames(const fs::path& mp3) {
  std::vector<uint8_t> b = ReadAll(mp3);
  std::vector<std::vector<uint8_t>> frames;
  size_t at = 0;
  while (at + 4 <= b.size()) {
    const int length = layout::LowerFrameBytes(&b[at]);
    if (length <= 0 || at + static_cast<size_t>(length) > b.size()) break;
    frames.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at) + length);
    at += static_cast<size_t>(length);
  }
  if (!frames.empty()) {
    const std::vector<uint8_t>& f = frames.front();
    const size_t marker = 4 + layout::SideInfoBytes(f.data());
    if (f.size() >= marker + 4 && (std::memcmp(&f[marker], "Xing", 4) == 0 || std::memcmp(&f[marker], "Info", 4) == 0))
      frames.erase(frames.begin());
  }
  return frames;
}

class LowerVersion : public ::testing::TestWithParam<LowerCase> {};

TEST_P(LowerVersion, UnchangedSaveDecodesLikeTheSource) {
  ASSERT_TRUE(HavePeers()) << "mpg123, mp3val, ffprobe or mp3gain is not installed (scripts/install-deps)";
  const LowerCase& c = GetParam();
  TempFolder folder;
  Session s(folder);
  ASSERT_TRUE(s.load(DataPath(c.name)));
  fs::path out = folder / "out.mp3";
  ASSERT_TRUE(WriteOutputFile(s.ctx, out.string(), kWriteSaveAs, 0, 0).succeeded());
  EXPECT_TRUE(s.host.messages.empty());
  std::vector<uint8_t> expected = Decode(DataPath(c.name), folder.path);
  std::vector<uint8_t> got = Decode(out, folder.path);
  ASSERT_GT(expected.size(), 1000u);
  EXPECT_TRUE(expected == got) << "samples differ: " << expected.size() << " vs " << got.size();
  // The information frame written again (with LAME's extension where the
  // source had one) trims the same samples as the source's.
  EXPECT_TRUE(DecodeGapless(DataPath(c.name), folder.path) == DecodeGapless(out, folder.path));
  EXPECT_EQ(Mp3valProblems(out, folder.path), "");
  EXPECT_EQ(FfprobeFrames(out, folder.path), FfprobeFrames(DataPath(c.name), folder.path));
}

// 2 steps (3 dB) and -3 steps on every frame: the same samples as mp3gain's
// change of the same file; frames with CRC keep a valid one.
TEST_P(LowerVersion, VolumeDecodesLikeMp3gain) {
  ASSERT_TRUE(HavePeers()) << "mpg123, mp3val, ffprobe or mp3gain is not installed (scripts/install-deps)";
  const LowerCase& c = GetParam();
  for (int steps : {2, -3}) {
    SCOPED_TRACE(steps);
    TempFolder folder;
    Session s(folder);
    ASSERT_TRUE(s.load(DataPath(c.name)));
    for (int32_t p = 0; p < s.ctx.doc.editCount; ++p) {
      s.ctx.doc.gainLeft[static_cast<size_t>(p)] = static_cast<int16_t>(steps);
      s.ctx.doc.gainRight[static_cast<size_t>(p)] = static_cast<int16_t>(steps);
    }
    fs::path out = folder / "ours.mp3";
    ASSERT_TRUE(WriteOutputFile(s.ctx, out.string(), kWriteSaveAs, 0, 0).succeeded());
    fs::path theirs = folder / "theirs.mp3";
    fs::copy_file(DataPath(c.name), theirs);
    ASSERT_EQ(RunTool({"mp3gain", "-q", "-c", "-s", "s", "-g", std::to_string(steps), theirs.string()}), 0);
    std::vector<uint8_t> a = Decode(out, folder.path);
    std::vector<uint8_t> b = Decode(theirs, folder.path);
    ASSERT_GT(a.size(), 1000u);
    EXPECT_TRUE(a == b) << "samples differ: " << a.size() << " vs " << b.size();
    EXPECT_NE(a, Decode(DataPath(c.name), folder.path));
    EXPECT_EQ(Mp3valProblems(out, folder.path), "");
    // Byte for byte: every audio frame is the source's with its global_gain
    // fields moved by the steps (and a new CRC where it has one).
    std::vector<std::vector<uint8_t>> source = AudioFrames(DataPath(c.name));
    std::vector<std::vector<uint8_t>> ours = AudioFrames(out);
    ASSERT_EQ(ours.size(), source.size());
    ASSERT_GT(source.size(), 10u);
    for (size_t k = 0; k < source.size(); ++k) {
      std::vector<uint8_t> expected = source[k];
      layout::ChangeGains(expected.data(), steps, steps);
      ASSERT_EQ(ours[k], expected) << "frame " << k;
    }
  }
}

// A blank frame of another bitrate makes the output VBR: the Xing frame of the
// file's version counts the frames, decoders take the duration from it, and
// every frame written decodes to 576 samples.
TEST_P(LowerVersion, VbrOutputGetsAXingFrameOfItsVersion) {
  ASSERT_TRUE(HavePeers()) << "mpg123, mp3val, ffprobe or mp3gain is not installed (scripts/install-deps)";
  const LowerCase& c = GetParam();
  TempFolder folder;
  Session s(folder);
  ASSERT_TRUE(s.load(DataPath(c.name)));
  DocumentState& doc = s.ctx.doc;
  const frametype& f = doc.frames[static_cast<size_t>(doc.ref[5])];
  doc.ref[5] = -BlankFrameCode(f.kbps == 1 ? 2 : 1, f.freqb, f.stereo);
  doc.gainLeft[5] = kNoGain;
  doc.gainRight[5] = kNoGain;
  ComputeEditStatistics(doc);
  fs::path out = folder / "vbr.mp3";
  WriteResult r = WriteOutputFile(s.ctx, out.string(), kWriteSaveAs, 0, 0);
  ASSERT_TRUE(r.succeeded());
  ASSERT_TRUE(r.xingWritten);
  EXPECT_EQ(LowerXingCount(out), r.framesWritten);
  EXPECT_EQ(FfprobePackets(out, folder.path), r.framesWritten);
  // FFmpeg leaves out frames that the encoder delay of LAME's extension covers
  // whole (it is longer than one 576-sample frame): as many as in the source.
  EXPECT_EQ(FfprobeFrames(out, folder.path), FfprobeFrames(DataPath(c.name), folder.path));
  EXPECT_NEAR(FfprobeDuration(out, folder.path), r.framesWritten * 576.0 / c.hz, 288.0 / c.hz);
  EXPECT_EQ(Mp3valProblems(out, folder.path), "");
  EXPECT_EQ(Decode(out, folder.path).size(), static_cast<size_t>(r.framesWritten) * 576 * 2 * c.channels);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, LowerVersion, ::testing::ValuesIn(kLowerFixtures),
                         [](const ::testing::TestParamInfo<LowerCase>& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

}  // namespace
}  // namespace quorvel
