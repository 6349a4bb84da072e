// Gapless playback: LAME's information-frame extension (encoder delay and
// padding) is carried into every output. Decoders that trim (mpg123 by
// default, ffmpeg) must play exactly the samples the edit calls for; the
// extension's CRCs, music length and delay/padding are checked by a reader of
// the test's own, written from the format, not by the code under test.

#include <optional>

#include "core/insert_ops.h"
#include "output/writer.h"
#include "writer_fixture.h"

namespace quorvel {
namespace {

using namespace writer_test;
using Bytes = std::vector<uint8_t>;

// --- the test's own reader ------------------------------------------------------------

uint16_t Crc16Arc(const uint8_t* p, size_t n) {
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
  }
  return crc;
}

uint32_t Be32(const uint8_t* p) { return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]; }

// MPEG-1 Layer III frame length from its header.
size_t FrameBytes(const uint8_t* h) {
  static const int kbps[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static const int hz[3] = {44100, 48000, 32000};
  int b = h[2] >> 4;
  int f = (h[2] >> 2) & 3;
  if (b == 0 || b == 15 || f == 3) return 0;
  return static_cast<size_t>(144000 * kbps[b] / hz[f] + ((h[2] >> 1) & 1));
}

struct LameFields {
  bool crcOk = false;       // the tag's own CRC-16
  bool musicCrcOk = false;  // CRC-16 of the audio after the frame
  bool lengthOk = false;    // music length = bytes from the frame to the end of the audio
  int delay = 0;
  int padding = 0;
  std::string marker;
  std::string encoder;
  uint32_t frameCount = 0;
};

// The extension of the information frame at the start of bytes (a file
// without tags), or nullopt when the first frame has none.
std::optional<LameFields> ReadLame(const Bytes& d) {
  if (d.size() < 200 || d[0] != 0xFF) return std::nullopt;
  size_t marker = (d[3] >> 6) == 3 ? 21 : 36;
  std::string m(d.begin() + static_cast<long>(marker), d.begin() + static_cast<long>(marker) + 4);
  if (m != "Xing" && m != "Info") return std::nullopt;
  uint32_t flags = Be32(&d[marker + 4]);
  size_t ext = marker + 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
  size_t frame = FrameBytes(d.data());
  if (ext + 36 > frame || frame > d.size() || d[ext] == 0) return std::nullopt;
  LameFields l;
  l.marker = m;
  l.frameCount = (flags & 1) ? Be32(&d[marker + 8]) : 0;
  l.encoder = std::string(d.begin() + static_cast<long>(ext), d.begin() + static_cast<long>(ext) + 9);
  l.crcOk = Crc16Arc(d.data(), ext + 34) == ((d[ext + 34] << 8) | d[ext + 35]);
  l.delay = (d[ext + 21] << 4) | (d[ext + 22] >> 4);
  l.padding = ((d[ext + 22] & 15) << 8) | d[ext + 23];
  l.lengthOk = Be32(&d[ext + 28]) == d.size();
  l.musicCrcOk = Crc16Arc(d.data() + frame, d.size() - frame) == ((d[ext + 32] << 8) | d[ext + 33]);
  return l;
}

// Audio frames after the information frame (a walk over the headers).
long AudioFramesAfterInfo(const Bytes& d) {
  size_t at = FrameBytes(d.data());
  long n = 0;
  while (at + 4 <= d.size() && d[at] == 0xFF) {
    size_t len = FrameBytes(&d[at]);
    if (len == 0) break;
    at += len;
    ++n;
  }
  return n;
}

// --- decoders ----------------------------------------------------------------------------

// Samples (per channel) as a gapless decoder plays them.
long Mpg123Samples(const fs::path& mp3, const fs::path& folder, int channels) {
  fs::path pcm = folder / "gapless.pcm";
  EXPECT_EQ(RunTool({"mpg123", "-q", "-s", mp3.string()}, pcm.string()), 0) << "mpg123 failed on " << mp3;
  long n = static_cast<long>(fs::file_size(pcm)) / (2 * channels);
  fs::remove(pcm);
  return n;
}
long FfmpegSamples(const fs::path& mp3, const fs::path& folder, int channels) {
  fs::path pcm = folder / "ffmpeg.pcm";
  EXPECT_EQ(RunTool({"ffmpeg", "-nostdin", "-v", "error", "-i", mp3.string(), "-f", "s16le", "-y", pcm.string()}), 0)
      << "ffmpeg failed on " << mp3;
  long n = static_cast<long>(fs::file_size(pcm)) / (2 * channels);
  fs::remove(pcm);
  return n;
}

// What both decoders play for audio frames with delay d and padding p.
long Played(long frames, int d, int p) { return frames * 1152 - d - std::max(p, 529); }

bool HavePeers() {
  for (const char* tool : {"mpg123", "ffmpeg", "mp3val"})
    if (!HaveTool(tool)) return false;
  return true;
}

struct Output {
  Bytes bytes;
  std::optional<LameFields> lame;
  long frames = 0;
};

class Gapless : public ::testing::TestWithParam<const char*> {
 protected:
  TempFolder folder;
  Session s{folder};
  Bytes source;
  LameFields src;
  long srcFrames = 0;
  int channels = 2;

  void SetUp() override {
    ASSERT_TRUE(HavePeers()) << "mpg123, ffmpeg or mp3val is not installed (scripts/install-deps)";
    ASSERT_TRUE(s.load(DataPath(GetParam())));
    source = ReadAll(DataPath(GetParam()));
    auto l = ReadLame(source);
    ASSERT_TRUE(l && l->crcOk && l->lengthOk && l->musicCrcOk);
    src = *l;
    srcFrames = AudioFramesAfterInfo(source);
    channels = (source[3] >> 6) == 3 ? 1 : 2;
    ASSERT_EQ(srcFrames, s.ctx.doc.editCount - 1);
  }

  // Writes, checks the extension's integrity, mp3val and both decoders' counts.
  Output write(const std::string& name, int purpose, int32_t first, int32_t end, long expectedSamples) {
    SCOPED_TRACE(name);
    fs::path out = folder / name;
    WriteResult r = WriteOutputFile(s.ctx, out.string(), purpose, first, end);
    EXPECT_TRUE(r.succeeded());
    Output o;
    o.bytes = ReadAll(out);
    o.lame = ReadLame(o.bytes);
    o.frames = AudioFramesAfterInfo(o.bytes);
    EXPECT_TRUE(o.lame.has_value());
    if (o.lame) {
      EXPECT_TRUE(o.lame->crcOk);
      EXPECT_TRUE(o.lame->lengthOk);
      EXPECT_TRUE(o.lame->musicCrcOk);
      EXPECT_EQ(o.lame->encoder, src.encoder);
      EXPECT_EQ(static_cast<long>(o.lame->frameCount), o.frames);
    }
    EXPECT_EQ(o.frames, r.framesWritten);
    EXPECT_EQ(Mp3valProblems(out, folder.path), "");
    EXPECT_EQ(Mpg123Samples(out, folder.path, channels), expectedSamples);
    EXPECT_EQ(FfmpegSamples(out, folder.path, channels), expectedSamples);
    return o;
  }
  void cut(int32_t from, int32_t to) {
    DocumentState& doc = s.ctx.doc;
    doc.ref.erase(doc.ref.begin() + from, doc.ref.begin() + to);
    doc.gainLeft.erase(doc.gainLeft.begin() + from, doc.gainLeft.begin() + to);
    doc.gainRight.erase(doc.gainRight.begin() + from, doc.gainRight.begin() + to);
    doc.editCount -= to - from;
  }
};

TEST_P(Gapless, UnchangedSaveAndVolumeChangePlayTheSourceSamples) {
  const long played = Played(srcFrames, src.delay, src.padding);
  ASSERT_EQ(Mpg123Samples(DataPath(GetParam()), folder.path, channels), played);
  ASSERT_EQ(FfmpegSamples(DataPath(GetParam()), folder.path, channels), played);
  Output o = write("same.mp3", kWriteSaveAs, 0, 0, played);
  ASSERT_TRUE(o.lame);
  EXPECT_EQ(o.lame->marker, src.marker);
  EXPECT_EQ(o.lame->delay, src.delay);
  EXPECT_EQ(o.lame->padding, src.padding);
  // Byte for byte the source's samples.
  fs::path a = folder / "a.pcm", b = folder / "b.pcm";
  ASSERT_EQ(RunTool({"mpg123", "-q", "-s", DataPath(GetParam()).string()}, a.string()), 0);
  ASSERT_EQ(RunTool({"mpg123", "-q", "-s", (folder / "same.mp3").string()}, b.string()), 0);
  EXPECT_TRUE(ReadAll(a) == ReadAll(b));

  DocumentState& doc = s.ctx.doc;
  for (int32_t p = 0; p < doc.editCount; ++p) doc.gainLeft[static_cast<size_t>(p)] = doc.gainRight[static_cast<size_t>(p)] = -2;
  o = write("quieter.mp3", kWriteSaveAs, 0, 0, played);
}

TEST_P(Gapless, CutPieceSplitAndInsertTrimWhatTheEditCallsFor) {
  const long played = Played(srcFrames, src.delay, src.padding);
  // A piece from the middle: no delay, no padding.
  Output piece = write("piece.mp3", kWriteSelection, 20, 40, 20 * 1152 - 529);
  ASSERT_TRUE(piece.lame);
  EXPECT_EQ(piece.lame->delay, 0);
  EXPECT_EQ(piece.lame->padding, 0);

  // Split into three parts: 529 lost at each of the two joints.
  const int32_t n = s.ctx.doc.editCount;
  long sum = 0;
  int32_t bounds[] = {0, 15, 35, n};
  for (int i = 0; i < 3; ++i) {
    long frames = bounds[i + 1] - bounds[i] - (i == 0 ? 1 : 0);
    int d = i == 0 ? src.delay : 0;
    int p = i == 2 ? src.padding : 0;
    Output part = write("part" + std::to_string(i) + ".mp3", kWriteSelection, bounds[i], bounds[i + 1], Played(frames, d, p));
    ASSERT_TRUE(part.lame);
    EXPECT_EQ(part.lame->delay, d);
    EXPECT_EQ(part.lame->padding, p);
    sum += Played(frames, d, p);
  }
  EXPECT_EQ(sum, played - 2 * 529);

  // A cut in the middle: exactly the removed frames' samples less.
  cut(20, 30);
  write("cut.mp3", kWriteSaveAs, 0, 0, played - 10 * 1152);

  // Another LAME file (44.1 kHz joint stereo) inserted at the end: the first
  // file's delay and the inserted file's padding are trimmed, nothing else.
  if (channels != 2 || s.ctx.doc.frames[1].freqb != 0) return;
  const char* other = std::string(GetParam()) == "vbr-xing.mp3" ? "cbr128-info.mp3" : "vbr-xing.mp3";
  Bytes insertBytes = ReadAll(DataPath(other));
  auto ins = ReadLame(insertBytes);
  ASSERT_TRUE(ins && ins->crcOk);
  const long insFrames = AudioFramesAfterInfo(insertBytes);
  DocumentState& doc = s.ctx.doc;
  doc.cursor = doc.selectionEnd = doc.editCount;
  doc.selectionExists = false;
  s.ctx.script.active = true;
  s.ctx.edit.insertFileName = DataPath(other).string();
  MenuInsertClick(s.ctx);
  s.ctx.script.active = false;
  ASSERT_EQ(s.ctx.script.resultCode, 0) << s.ctx.script.errorText;
  Output joined = write("joined.mp3", kWriteSaveAs, 0, 0, Played(srcFrames - 10 + insFrames, src.delay, ins->padding));
  ASSERT_TRUE(joined.lame);
  EXPECT_EQ(joined.lame->delay, src.delay);
  EXPECT_EQ(joined.lame->padding, ins->padding);
}

INSTANTIATE_TEST_SUITE_P(Lame, Gapless, ::testing::Values("cbr128-info.mp3", "vbr-xing.mp3", "abr96-xing.mp3",
                                                             "mono-44k.mp3", "48k.mp3", "32k.mp3", "crc.mp3"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string n = info.param;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

// Extensions that cannot be trusted are treated as absent: the file saves as
// it did before (a CBR output without information frame), nothing else changes.
TEST(GaplessBadInput, UntrustedExtensionsAreNotCarried) {
  TempFolder folder;
  const Bytes good = ReadAll(DataPath("cbr128-info.mp3"));
  const size_t ext = 36 + 120;
  const size_t infoLen = FrameBytes(good.data());
  auto fixCrc = [&](Bytes& d) {
    uint16_t c = Crc16Arc(d.data(), ext + 34);
    d[ext + 34] = static_cast<uint8_t>(c >> 8);
    d[ext + 35] = static_cast<uint8_t>(c);
  };
  auto setLength = [&](Bytes& d) {
    uint32_t n = static_cast<uint32_t>(d.size());
    for (int i = 0; i < 4; ++i) d[ext + 28 + static_cast<size_t>(i)] = static_cast<uint8_t>(n >> (24 - 8 * i));
  };
  struct Case {
    const char* name;
    Bytes bytes;
  };
  std::vector<Case> cases;
  {
    Bytes d = good;
    d[ext + 3] ^= 0x01;  // encoder string changed, CRC not
    cases.push_back({"wrong-crc.mp3", d});
  }
  {
    // Two audio frames (2,304 samples) claiming delay 2,000 and padding 1,000.
    Bytes d(good.begin(), good.begin() + static_cast<long>(infoLen + 417 + 418));
    d[ext + 21] = 2000 >> 4;
    d[ext + 22] = static_cast<uint8_t>(((2000 & 15) << 4) | (1000 >> 8));
    d[ext + 23] = 1000 & 0xFF;
    setLength(d);
    fixCrc(d);
    cases.push_back({"beyond-samples.mp3", d});
  }
  {
    // The frames of another file appended: the music length no longer fits.
    Bytes d = good;
    Bytes more = ReadAll(DataPath("cbr128-no-reservoir.mp3"));
    d.insert(d.end(), more.begin(), more.end());
    cases.push_back({"appended.mp3", d});
  }
  {
    // LAME's Info frame in the middle of audio without one of its own.
    Bytes d = ReadAll(DataPath("cbr128-no-reservoir.mp3"));
    d.insert(d.begin() + 417 + 418, good.begin(), good.begin() + static_cast<long>(infoLen));
    cases.push_back({"info-in-middle.mp3", d});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path in = folder / c.name;
    WriteAll(in, c.bytes);
    Session s(folder);
    ASSERT_TRUE(s.load(in));
    EXPECT_FALSE(s.ctx.doc.files[0].lame.present);
    fs::path out = folder / (std::string("out-") + c.name);
    WriteResult r = WriteOutputFile(s.ctx, out.string(), kWriteSaveAs, 0, 0);
    ASSERT_TRUE(r.succeeded());
    EXPECT_FALSE(r.xingWritten);
    EXPECT_FALSE(ReadLame(ReadAll(out)).has_value());
  }
}

// Free-format frames keep LAME's extension out of the output: an information
// frame of a fixed bitrate in front of them makes decoders lose the stream.
TEST(GaplessBadInput, FreeFormatOutputsGetNoExtension) {
  TempFolder folder;
  Session s(folder);
  ASSERT_TRUE(s.load(DataPath("free-format-200k.mp3")));
  fs::path out = folder / "out.mp3";
  ASSERT_TRUE(WriteOutputFile(s.ctx, out.string(), kWriteSaveAs, 0, 0).succeeded());
  EXPECT_FALSE(ReadLame(ReadAll(out)).has_value());
}

}  // namespace
}  // namespace quorvel
