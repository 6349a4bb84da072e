// Files written by the writer, checked by real decoders and validators: an
// unchanged save decodes to the same samples as its source, validates without
// frame warnings and has the same number of audio frames; a VBR output's Xing
// frame gives the right duration; a volume change decodes like mp3gain's.

#include <cmath>

#include "core/document_ops.h"
#include "output/writer.h"
#include "writer_fixture.h"

namespace quorvel {
namespace {

using namespace writer_test;

bool HavePeers() {
  for (const char* tool : {"mpg123", "mp3val", "ffprobe"})
    if (!HaveTool(tool)) return false;
  return true;
}

struct FixtureCase {
  const char* name;
  bool vbr;
  bool lame;  // LAME's information frame with its extension: written again
};

constexpr FixtureCase kFixtures[] = {
    {"cbr128-info.mp3", false, true},   {"vbr-xing.mp3", true, true},
    {"mono-44k.mp3", false, true},      {"48k.mp3", false, true},
    {"32k.mp3", false, true},           {"crc.mp3", false, true},
    {"cbr96-no-info.mp3", false, false}, {"tagged-v23-v1.mp3", false, true},
    {"riff-wrapped.wav", false, false}, {"lyrics3v2-v1.mp3", false, false},
    {"unknown-header-footer.mp3", false, false}, {"abr96-xing.mp3", true, true},
    {"vbr-plain-xing.mp3", true, false}, {"cbr128-plain-info.mp3", false, false},
};

class UnchangedSave : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(UnchangedSave, DecodesValidatesAndCountsLikeTheSource) {
  ASSERT_TRUE(HavePeers()) << "mpg123, mp3val or ffprobe is not installed (scripts/install-deps)";
  const FixtureCase& c = GetParam();
  TempFolder folder;
  // The RIFF wrapper hides the MP3 from mpg123 and mp3val: decode its frames
  // as a plain MP3 file (the writer keeps them unchanged either way).
  fs::path source = folder / (std::string(c.name) + ".mp3");
  fs::copy_file(DataPath(c.name), source);
  Session s(folder);
  ASSERT_TRUE(s.load(source));
  if (std::string(c.name) == "riff-wrapped.wav") {
    // Without the wrapper (and the chunk's pad byte after the frames) the
    // output is a plain MP3 file.
    s.ctx.doc.boxes.riff.checked = true;
    s.ctx.doc.boxes.footer.checked = true;
  }
  fs::path out = folder / "out.mp3";
  WriteResult r = WriteOutputFile(s.ctx, out.string(), kWriteSaveAs, 0, 0);
  ASSERT_TRUE(r.succeeded());
  EXPECT_TRUE(s.host.messages.empty());
  EXPECT_EQ(r.xingWritten, c.vbr || c.lame);

  fs::path reference = source;
  if (std::string(c.name) == "riff-wrapped.wav") {
    // The frames alone, as a reference for the decoder.
    std::vector<uint8_t> bytes = ReadAll(source);
    const SourceAnalysis& a = s.ctx.doc.source;
    reference = folder / "frames.mp3";
    WriteAll(reference, std::vector<uint8_t>(bytes.begin() + a.audioStart, bytes.begin() + a.audioEnd));
  }
  std::vector<uint8_t> expected = Decode(reference, folder.path);
  std::vector<uint8_t> got = Decode(out, folder.path);
  ASSERT_GT(expected.size(), 10000u);
  EXPECT_TRUE(expected == got) << "samples differ: " << expected.size() << " vs " << got.size();

  // No frame warnings beyond those of the source's own frames (the RIFF
  // fixture's last frame runs into the chunk's pad byte).
  EXPECT_EQ(Mp3valProblems(out, folder.path), Mp3valProblems(reference, folder.path));
  if (reference == source) {
    EXPECT_EQ(Mp3valProblems(out, folder.path), "");
  }
  EXPECT_EQ(FfprobeFrames(out, folder.path), FfprobeFrames(reference, folder.path));
  if (c.vbr) {
    // The duration ffprobe takes from the Xing frame is that of the frames written.
    double seconds = r.framesWritten * 1152.0 / 44100.0;
    EXPECT_NEAR(FfprobeDuration(out, folder.path), seconds, kHalfFrameSeconds);
    EXPECT_EQ(XingCountInFile(out), r.framesWritten);
    EXPECT_EQ(XingCountInFile(out), FfprobePackets(out, folder.path));
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, UnchangedSave, ::testing::ValuesIn(kFixtures),
                         [](const ::testing::TestParamInfo<FixtureCase>& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

// A VBR output cut down by a selection: the Xing frame's count and duration
// follow the frames actually written.
TEST(VbrOutput, SelectionDurationFromTheXingFrameMatchesItsFrames) {
  ASSERT_TRUE(HavePeers()) << "mpg123, mp3val or ffprobe is not installed (scripts/install-deps)";
  TempFolder folder;
  Session s(folder);
  ASSERT_TRUE(s.load(DataPath("vbr-xing.mp3")));
  fs::path out = folder / "part.mp3";
  WriteResult r = WriteOutputFile(s.ctx, out.string(), kWriteSelection, 0, 40);
  ASSERT_TRUE(r.succeeded());
  ASSERT_TRUE(r.xingWritten);
  EXPECT_EQ(r.framesWritten, 39);  // position 0 is the source's Xing frame
  EXPECT_EQ(FfprobeFrames(out, folder.path), 39);
  EXPECT_NEAR(FfprobeDuration(out, folder.path), 39 * 1152.0 / 44100.0, kHalfFrameSeconds);
  EXPECT_EQ(XingCountInFile(out), 39);
  EXPECT_EQ(FfprobePackets(out, folder.path), 39);
  EXPECT_EQ(Mp3valProblems(out, folder.path), "");
}

// Outputs made VBR by a blank frame of another bitrate, in every frequency and
// in mono: decoders find the Xing frame (after 17 bytes of side information in
// mono) and take the duration from its frame count.
TEST(VbrOutput, XingFrameIsReadInMonoAndAtEveryFrequency) {
  ASSERT_TRUE(HavePeers()) << "mpg123, mp3val or ffprobe is not installed (scripts/install-deps)";
  struct Case {
    const char* name;
    double hz;
  } cases[] = {{"mono-44k.mp3", 44100}, {"48k.mp3", 48000}, {"32k.mp3", 32000}, {"cbr96-no-info.mp3", 44100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
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
    EXPECT_EQ(FfprobeFrames(out, folder.path), r.framesWritten);
    EXPECT_NEAR(FfprobeDuration(out, folder.path), r.framesWritten * 1152.0 / c.hz, kHalfFrameSeconds);
    EXPECT_EQ(XingCountInFile(out), r.framesWritten);
    EXPECT_EQ(XingCountInFile(out), FfprobePackets(out, folder.path));
    EXPECT_EQ(Mp3valProblems(out, folder.path), "");
    // mpg123 decodes every frame written (the Xing frame itself gives no samples).
    int channels = f.stereo == 3 ? 1 : 2;
    EXPECT_EQ(Decode(out, folder.path).size(), static_cast<size_t>(r.framesWritten) * 1152 * 2 * channels);
  }
}

// A volume change decodes exactly like mp3gain's change of the same steps.
TEST(VolumePeer, GainStepsDecodeLikeMp3gain) {
  ASSERT_TRUE(HavePeers() && HaveTool("mp3gain")) << "mpg123 or mp3gain is not installed (scripts/install-deps)";
  for (const char* name : {"cbr96-no-info.mp3", "crc.mp3", "mono-44k.mp3", "vbr-xing.mp3"}) {
    for (int steps : {-3, 2}) {
      SCOPED_TRACE(testing::Message() << name << " steps " << steps);
      TempFolder folder;
      Session s(folder);
      ASSERT_TRUE(s.load(DataPath(name)));
      for (int32_t p = 0; p < s.ctx.doc.editCount; ++p) {
        s.ctx.doc.gainLeft[static_cast<size_t>(p)] = static_cast<int16_t>(steps);
        s.ctx.doc.gainRight[static_cast<size_t>(p)] = static_cast<int16_t>(steps);
      }
      fs::path out = folder / "ours.mp3";
      ASSERT_TRUE(WriteOutputFile(s.ctx, out.string(), kWriteSaveAs, 0, 0).succeeded());
      fs::path theirs = folder / "theirs.mp3";
      fs::copy_file(DataPath(name), theirs);
      ASSERT_EQ(RunTool({"mp3gain", "-q", "-c", "-s", "s", "-g", std::to_string(steps), theirs.string()}), 0);
      std::vector<uint8_t> a = Decode(out, folder.path);
      std::vector<uint8_t> b = Decode(theirs, folder.path);
      ASSERT_GT(a.size(), 10000u);
      EXPECT_TRUE(a == b) << "samples differ: " << a.size() << " vs " << b.size();
      EXPECT_EQ(Mp3valProblems(out, folder.path), "");
    }
  }
}

}  // namespace
}  // namespace quorvel
