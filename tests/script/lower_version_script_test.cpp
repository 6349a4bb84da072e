// Script edits of MPEG-2 and MPEG-2.5 Layer III files, checked by real peers:
// the frames mpg123 decodes from each output (576 samples a frame) are those
// the edit leaves, and mp3val finds nothing wrong in them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "command_peers.h"
#include "core/document_ops.h"
#include "core/edit_fixture.h"
#include "core/headless_host.h"
#include "core/mpeg_header.h"
#include "script/commands.h"
#include "script/reader.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using script_peers::FileText;
using script_peers::Mpg123DecodedBytes;
using script_peers::RunProgram;
using testing::Refs;
using testing::TempFolder;
using testing::TestData;

struct LowerFile {
  const char* name;
  double hz;
  int channels;
  bool infoFrame;  // position 0 is an information frame, which decodes to nothing
};

constexpr LowerFile kFiles[] = {
    {"mpeg2-22k-64k.mp3", 22050, 2, true},
    {"mpeg2-16k-mono.mp3", 16000, 1, false},
    {"mpeg2-24k-vbr.mp3", 24000, 2, true},
    {"mpeg25-11k.mp3", 11025, 2, false},
    {"mpeg25-12k-mono-info.mp3", 12000, 1, true},
    {"mpeg25-8k-vbr.mp3", 8000, 2, true},
};

// mp3val's warnings and errors about the frames ("" when there are none); a
// validator that cannot run fails the test. Its note that a file of a few
// frames is short for an MP3 file is about the length, not the frames.
std::string Mp3valProblems(const fs::path& mp3, const fs::path& scratch) {
  const fs::path log = scratch / "mp3val.txt";
  int rc = RunProgram({"mp3val", mp3.string()}, log.string());
  const std::string text = FileText(log);
  if (rc != 0 || text.find("Analyzing file") == std::string::npos) {
    ADD_FAILURE() << "mp3val did not analyse " << mp3 << ": " << text;
    return "mp3val did not run";
  }
  std::string problems;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if ((line.rfind("WARNING", 0) == 0 || line.rfind("ERROR", 0) == 0) &&
        line.find("No supported tags") == std::string::npos && line.find("Too few MPEG frames") == std::string::npos)
      problems += line + "\n";
    start = end + 1;
  }
  return problems;
}

class LowerVersionScript : public ::testing::TestWithParam<LowerFile> {
 protected:
  LowerVersionScript() { ctx.script.active = true; }

  std::string Run(const std::string& line) {
    ExecuteStatement(ctx, line, ExecuteCommand);
    return ctx.script.errorText;
  }
  // The time of frame k (576 samples), to the millisecond as scripts write it.
  std::string At(int k) const {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", k * 576.0 / GetParam().hz);
    return text;
  }
  // Audio frames mpg123 decodes from the file; -1 when it cannot.
  long DecodedFrames(const fs::path& mp3) {
    const long bytes = Mpg123DecodedBytes(mp3, dir.path);
    const long perFrame = 576L * 2 * GetParam().channels;
    EXPECT_EQ(bytes % perFrame, 0) << mp3;
    return bytes < 0 ? -1 : bytes / perFrame;
  }
  std::string Out(const char* name) const { return (dir.path / name).string(); }
  void Load() {
    ASSERT_EQ(Run("LOAD \"" + TestData(GetParam().name).string() + "\""), "");
  }

  HeadlessHost host;
  Context ctx{host};
  TempFolder dir;
};

TEST_P(LowerVersionScript, EditsGiveTheFramesMpg123Decodes) {
  const LowerFile& f = GetParam();
  ASSERT_FALSE(TestData(f.name).empty()) << "QUORVEL_TEST_DATA not set";
  const long n = DecodedFrames(TestData(f.name));  // the source's audio frames
  ASSERT_GT(n, 14);
  const int lead = f.infoFrame ? 1 : 0;  // positions before the first audio frame

  Load();
  EXPECT_EQ(Run("DELETE " + At(3) + " " + At(7)), "");
  EXPECT_EQ(Run("SAVEAS \"" + Out("delete.mp3") + "\""), "");
  EXPECT_EQ(DecodedFrames(Out("delete.mp3")), n - 4);
  EXPECT_EQ(Mp3valProblems(Out("delete.mp3"), dir.path), "");
  {
    // The audio before the cut is the source's, sample for sample.
    const size_t before = static_cast<size_t>(3 - lead) * 576u * 2 * static_cast<size_t>(f.channels);
    const std::string cut = FileText(dir.path / "decoded.raw");
    ASSERT_GE(DecodedFrames(TestData(f.name)), n);
    const std::string whole = FileText(dir.path / "decoded.raw");
    ASSERT_GE(cut.size(), before);
    EXPECT_EQ(cut.substr(0, before), whole.substr(0, before));
  }

  // Copy four frames and paste them at the end.
  Load();
  EXPECT_EQ(Run("COPY " + At(5) + " " + At(9)), "");
  EXPECT_EQ(Run("PASTE EOF"), "");
  EXPECT_EQ(Run("SAVEAS \"" + Out("paste.mp3") + "\""), "");
  EXPECT_EQ(DecodedFrames(Out("paste.mp3")), n + 4);
  EXPECT_EQ(Mp3valProblems(Out("paste.mp3"), dir.path), "");

  Load();
  EXPECT_EQ(Run("TRIM " + At(2) + " " + At(12)), "");
  EXPECT_EQ(Run("SAVEAS \"" + Out("trim.mp3") + "\""), "");
  EXPECT_EQ(DecodedFrames(Out("trim.mp3")), 10);
  EXPECT_EQ(Mp3valProblems(Out("trim.mp3"), dir.path), "");

  // Ten frames of silence at frame 4, of the file's version and frequency.
  Load();
  // Blank frames of the file's channel mode, as the silence dialog would have left it.
  ctx.edit.silenceMode = static_cast<uint8_t>(f.channels == 1 ? kModeMono : 1);
  EXPECT_EQ(Run("CURSOR " + At(4)), "");
  EXPECT_EQ(Run("SILENCE " + At(10)), "");
  EXPECT_EQ(Run("SAVEAS \"" + Out("silence.mp3") + "\""), "");
  EXPECT_EQ(DecodedFrames(Out("silence.mp3")), n + 10);
  EXPECT_EQ(Mp3valProblems(Out("silence.mp3"), dir.path), "");
  {
    // The blank frames decode to digital silence (mpg123 without gapless
    // trimming: frame k is bytes k x 576 x 2 x channels on).
    const std::string raw = FileText(dir.path / "decoded.raw");
    const size_t perFrame = 576u * 2 * static_cast<size_t>(f.channels);
    ASSERT_GE(raw.size(), (static_cast<size_t>(4 - lead) + 10) * perFrame);
    // The frame after a blank run can still carry the reservoir of the frames
    // before it; the middle of the run is silence for certain.
    const std::string middle = raw.substr((static_cast<size_t>(4 - lead) + 2) * perFrame, 6 * perFrame);
    EXPECT_EQ(middle, std::string(middle.size(), '\0'));
  }

  // Split at frame 9: every frame once.
  Load();
  EXPECT_EQ(Run("CURSOR " + At(9)), "");
  EXPECT_EQ(Run("SPLIT \"" + Out("first.mp3") + "\" \"" + Out("second.mp3") + "\""), "");
  EXPECT_EQ(DecodedFrames(Out("first.mp3")), 9 - lead);
  EXPECT_EQ(DecodedFrames(Out("second.mp3")), n - (9 - lead));
  EXPECT_EQ(Mp3valProblems(Out("first.mp3"), dir.path), "");
  EXPECT_EQ(Mp3valProblems(Out("second.mp3"), dir.path), "");
}

// A file of the other family is not inserted: the text says why and the
// document stays as it was. A file of the same version is inserted.
TEST_P(LowerVersionScript, InsertTakesOnlyFilesOfTheSameVersion) {
  const LowerFile& f = GetParam();
  Load();
  const std::vector<int32_t> before = Refs(ctx.doc);
  const std::string version = ctx.doc.version == kVersionMpeg2 ? "MPEG-2" : "MPEG-2.5";
  EXPECT_EQ(Run("INSERT " + At(3) + " \"" + TestData("cbr96-no-info.mp3").string() + "\""),
            "INSERT: The file to insert is MPEG-1, this file is " + version +
                ".\r\nFiles of different mpeg versions can't be joined.");
  EXPECT_EQ(Refs(ctx.doc), before);
  EXPECT_FALSE(ctx.doc.unsavedChanges);

  const long n = DecodedFrames(TestData(f.name));
  EXPECT_EQ(Run("INSERT " + At(3) + " \"" + TestData(f.name).string() + "\""), "");
  EXPECT_EQ(Run("SAVEAS \"" + Out("twice.mp3") + "\""), "");
  EXPECT_EQ(DecodedFrames(Out("twice.mp3")), 2 * n);
  EXPECT_EQ(Mp3valProblems(Out("twice.mp3"), dir.path), "");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, LowerVersionScript, ::testing::ValuesIn(kFiles),
                         [](const ::testing::TestParamInfo<LowerFile>& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

// An MPEG-1 document refuses an MPEG-2 file the same way.
TEST(LowerVersionInsert, MpegOneDocumentRefusesMpegTwo) {
  HeadlessHost host;
  Context ctx{host};
  ctx.script.active = true;
  ExecuteStatement(ctx, "LOAD \"" + TestData("cbr96-no-info.mp3").string() + "\"", ExecuteCommand);
  ASSERT_EQ(ctx.script.errorText, "");
  const std::vector<int32_t> before = Refs(ctx.doc);
  ExecuteStatement(ctx, "INSERT 0.5 \"" + TestData("mpeg2-22k.mp3").string() + "\"", ExecuteCommand);
  EXPECT_EQ(ctx.script.errorText,
            "INSERT: The file to insert is MPEG-2, this file is MPEG-1.\r\n"
            "Files of different mpeg versions can't be joined.");
  EXPECT_EQ(Refs(ctx.doc), before);
}

// The samples mpg123 decodes from a file whose sampling frequency changes. Its
// raw output starts over at the start of a seekable file on a new format, so
// the samples go through a pipe.
std::string DecodedAcrossFormats(const fs::path& mp3, const fs::path& scratch) {
  const fs::path raw = scratch / "piped.raw";
  const fs::path err = scratch / "mpg123.txt";
  const int rc = RunProgram({"bash", "-c", "set -o pipefail; mpg123 -q --no-gapless -s \"$1\" | cat", "bash",
                             mp3.string()},
                            raw.string(), err.string());
  const std::string samples = FileText(raw);
  if (rc != 0 || samples.empty()) ADD_FAILURE() << "mpg123 did not decode " << mp3 << ": " << FileText(err);
  return samples;
}

// MPEG-2 and MPEG-2.5 frames join each other as frames of another frequency
// do: the document counts each frame's own 576 samples, and the saved file
// holds every frame of both, as mpg123 decodes it. mp3val notes the change of
// version, which is what such a file is, and finds nothing else.
TEST(LowerVersionInsert, MpegTwoAndTwoPointFiveJoinAsMixedFrequencies) {
  TempFolder dir;
  const fs::path first = TestData("mpeg2-22k.mp3");     // 22.05 kHz joint stereo, no information frame
  const fs::path second = TestData("mpeg25-11k.mp3");   // 11.025 kHz joint stereo, no information frame
  const std::string decoded1 = DecodedAcrossFormats(first, dir.path);
  const std::string decoded2 = DecodedAcrossFormats(second, dir.path);
  const auto bytes1 = static_cast<long>(decoded1.size());
  const auto bytes2 = static_cast<long>(decoded2.size());
  ASSERT_GT(bytes1, 0);
  ASSERT_GT(bytes2, 0);
  const long frames1 = bytes1 / (576 * 4);
  const long frames2 = bytes2 / (576 * 4);

  struct Case {
    const char* name;
    fs::path document;
    fs::path inserted;
    uint8_t version;  // the document's, which stays
  };
  const Case cases[] = {
      {"MPEG-2.5 into MPEG-2", first, second, kVersionMpeg2},
      {"MPEG-2 into MPEG-2.5", second, first, kVersionMpeg25},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeadlessHost host;
    Context ctx{host};
    ctx.script.active = true;
    ExecuteStatement(ctx, "LOAD \"" + c.document.string() + "\"", ExecuteCommand);
    ASSERT_EQ(ctx.script.errorText, "");
    ExecuteStatement(ctx, "INSERT EOF \"" + c.inserted.string() + "\"", ExecuteCommand);
    ASSERT_EQ(ctx.script.errorText, "");
    EXPECT_EQ(ctx.doc.version, c.version);
    ASSERT_EQ(ctx.doc.editCount, frames1 + frames2);
    EXPECT_EQ(FrequencyStatText(ctx.doc.editStats.freqCount, ctx.doc.editStats.version), "mixed freq");
    const double seconds = static_cast<double>(bytes1) / 4 / 22050 + static_cast<double>(bytes2) / 4 / 11025;
    EXPECT_NEAR(DurationBetween(ctx.doc, 0, ctx.doc.editCount), seconds, 1e-9);
    const long documentFrames = c.document == first ? frames1 : frames2;
    EXPECT_EQ(FrameAtTime(ctx.doc, TimeAtFrame(ctx.doc, static_cast<int32_t>(documentFrames) + 3, true) - 1e-6),
              documentFrames + 3);

    const fs::path out = dir.path / "joined.mp3";
    ExecuteStatement(ctx, "SAVEAS \"" + out.string() + "\"", ExecuteCommand);
    ASSERT_EQ(ctx.script.errorText, "");
    // Every frame of both files, and the document's own audio, ahead of the
    // inserted file, sample for sample.
    const std::string joined = DecodedAcrossFormats(out, dir.path);
    EXPECT_EQ(joined.size(), decoded1.size() + decoded2.size());
    const std::string& own = c.document == first ? decoded1 : decoded2;
    EXPECT_TRUE(joined.compare(0, own.size(), own) == 0);
    const std::string problems = Mp3valProblems(out, dir.path);
    EXPECT_NE(problems.find("Different MPEG versions"), std::string::npos) << problems;
    EXPECT_EQ(problems.find('\n'), problems.size() - 1) << problems;  // that warning alone
  }
}

}  // namespace
}  // namespace quorvel
