#include "output/xing.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/layer3_layout.h"
#include "core/document_ops.h"
#include "core/mpeg_header.h"
#include "tags/bytes.h"

extern char** environ;

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// --- The frame as built ---

struct FrameCase {
  XingShape shape;
  uint8_t byte2;
  uint8_t byte3;
  int32_t length;
  int markerOffset;
};

constexpr FrameCase kFrameCases[] = {
    {{0, 1}, 0x30, 0x44, 156, 36},  // 44.1 kHz joint stereo
    {{0, 0}, 0x30, 0x04, 156, 36},  // 44.1 kHz stereo
    {{0, 3}, 0x30, 0xC4, 156, 21},  // 44.1 kHz mono
    {{1, 0}, 0x44, 0x04, 168, 36},  // 48 kHz: 56 kbps, so the fields fit
    {{1, 3}, 0x44, 0xC4, 168, 21},
    {{2, 2}, 0x38, 0x84, 216, 36},  // 32 kHz dual channel
    {{2, 3}, 0x38, 0xC4, 216, 21},
};

TEST(XingFrame, HeaderLengthAndFieldsForEveryFrequencyAndMode) {
  for (const FrameCase& c : kFrameCases) {
    SCOPED_TRACE(testing::Message() << "freq " << int{c.shape.freqIndex} << " mode "
                                    << int{c.shape.mode});
    std::vector<uint8_t> f = BuildXingFrame(c.shape, 1000);
    ASSERT_EQ(f.size(), static_cast<size_t>(c.length));
    EXPECT_EQ(XingFrameLength(c.shape.freqIndex), c.length);
    EXPECT_EQ(XingMarkerOffset(c.shape.mode), c.markerOffset);
    EXPECT_EQ(f[0], 0xFF);
    EXPECT_EQ(f[1], 0xFB);
    EXPECT_EQ(f[2], c.byte2);
    EXPECT_EQ(f[3], c.byte3);

    // The header describes exactly this frame: the next frame follows it.
    MpegHeader h = ParseHeader(f[0], f[1], f[2], f[3]);
    EXPECT_EQ(h.version, kVersionMpeg1);
    EXPECT_EQ(h.layer, kLayer3);
    EXPECT_FALSE(h.crcPresent);
    EXPECT_EQ(FrameLength(h.bitrateIndex, h.freqIndex, h.padding), c.length);

    size_t m = static_cast<size_t>(c.markerOffset);
    EXPECT_EQ(std::string(f.begin() + m, f.begin() + m + 4), "Xing");
    EXPECT_EQ(be32(&f[m + 4]), 7u);
    EXPECT_EQ(be32(&f[m + 8]), 1000u);
    EXPECT_EQ(static_cast<size_t>(XingByteCountOffset(c.shape.mode)), m + 12);
    // The byte count and the whole table fit inside the frame.
    EXPECT_LE(m + 12 + kXingCompletionSize, f.size());
    // Side information, byte count, table and the rest are zero.
    for (size_t i = 4; i < f.size(); ++i) {
      if (i >= m && i < m + 12) continue;
      ASSERT_EQ(f[i], 0) << "byte " << i;
    }

    // The scanner recognises it as a "Xing" frame.
    frametype record;
    DecodeFrameAt(f.data(), f.size(), 0, 0, true, record);
    EXPECT_EQ(record.spec, 1);
    EXPECT_EQ(record.estimatedlen, c.length);
  }
}

// MPEG-2 and MPEG-2.5: the header of the version (F3, E3), the marker after 9
// or 17 bytes of side information, the lowest bitrate whose frame holds the
// fields (they end at 4 + 17 + 116 = 137 bytes), and for LAME's extension the
// lowest one that holds it too (4 + 17 + 156 = 177 bytes in two channels).
TEST(XingFrame, LowerVersionsTakeTheirOwnHeaderOffsetAndBitrate) {
  struct Case {
    XingShape shape;
    uint8_t byte1;
    int bitrateIndex;  // of the Xing frame
    int32_t length;
    int markerOffset;
    int lameBitrateIndex;
    int32_t lameLength;
  };
  const Case cases[] = {
      {{0, 1, kVersionMpeg2}, 0xF3, 6, 156, 21, 7, 182},   // 22.05 kHz: 48 kbps; 56 kbps
      {{1, 0, kVersionMpeg2}, 0xF3, 6, 144, 21, 8, 192},   // 24 kHz: 48 kbps; 64 kbps
      {{2, 3, kVersionMpeg2}, 0xF3, 4, 144, 13, 5, 180},   // 16 kHz mono: 32 kbps; 40 kbps (169 needed)
      {{0, 0, kVersionMpeg25}, 0xE3, 3, 156, 21, 4, 208},  // 11.025 kHz: 24 kbps; 32 kbps
      {{1, 3, kVersionMpeg25}, 0xE3, 3, 144, 13, 4, 192},  // 12 kHz mono: 24 kbps; 32 kbps
      {{2, 2, kVersionMpeg25}, 0xE3, 2, 144, 21, 3, 216},  // 8 kHz: 16 kbps; 24 kbps
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "version " << int{c.shape.version} << " freq " << int{c.shape.freqIndex});
    std::vector<uint8_t> f = BuildXingFrame(c.shape, 500);
    ASSERT_EQ(f.size(), static_cast<size_t>(c.length));
    EXPECT_EQ(f[1], c.byte1);
    EXPECT_EQ(f[2] >> 4, c.bitrateIndex);
    EXPECT_EQ((f[2] >> 2) & 3, c.shape.freqIndex);
    EXPECT_EQ(XingMarkerOffset(c.shape.mode, c.shape.version), c.markerOffset);
    size_t m = static_cast<size_t>(c.markerOffset);
    EXPECT_EQ(std::string(f.begin() + m, f.begin() + m + 4), "Xing");
    EXPECT_EQ(be32(&f[m + 8]), 500u);
    EXPECT_LE(m + 12 + kXingCompletionSize, f.size());
    frametype record;
    DecodeFrameAt(f.data(), f.size(), 0, 0, true, record);
    EXPECT_EQ(record.version, c.shape.version);
    EXPECT_EQ(record.spec, 1);
    EXPECT_EQ(record.estimatedlen, c.length);

    const int lame = LameInfoBitrateIndex(c.shape.freqIndex, c.shape.mode, 0, c.shape.version);
    EXPECT_EQ(lame, c.lameBitrateIndex);
    std::vector<uint8_t> info = BuildLameInfoFrame(c.shape, false, lame, 500, 0, {});
    ASSERT_EQ(info.size(), static_cast<size_t>(c.lameLength));
    EXPECT_EQ(std::string(info.begin() + m, info.begin() + m + 4), "Info");
    EXPECT_EQ(LameInfoTagOffset(c.shape.mode, c.shape.version), c.markerOffset + 120);
    EXPECT_LE(static_cast<size_t>(c.markerOffset + 120 + 36), info.size());
  }
}

TEST(XingFrame, FrameCountIsTheNumberOfAudioFramesAfterIt) {
  std::vector<uint8_t> f = BuildXingFrame({0, 1}, 1000);
  EXPECT_EQ(be32(&f[44]), 1000u);
  f = BuildXingFrame({0, 3}, 1);
  EXPECT_EQ(be32(&f[29]), 1u);
}

TEST(XingFrame, ReservedFrequencyIndexIsTakenAs44k) {
  std::vector<uint8_t> f = BuildXingFrame({3, 1}, 5);
  EXPECT_EQ(f.size(), 156u);
  EXPECT_EQ(f[2], 0x30);
}

// --- Header fields from the edit ---

struct ShapeCase {
  uint8_t modeSummary;
  uint8_t firstFreq;
  uint8_t firstMode;
  XingShape expected;
};

TEST(XingShapeChoice, SingleModeIsKeptMixedModesTakeTheFirstFrameWithoutMono) {
  constexpr ShapeCase kCases[] = {
      {1, 0, 1, {0, 1}},  // 44.1 kHz joint stereo
      {3, 0, 3, {0, 3}},  // all mono: a mono header
      {0, 1, 0, {1, 0}},  // 48 kHz
      {2, 2, 2, {2, 2}},  // 32 kHz dual channel
      {4, 0, 3, {0, 1}},  // mixed, first frame mono: joint stereo
      {4, 0, 0, {0, 0}},  // mixed, first frame stereo
      {4, 2, 2, {2, 2}},
      {1, 3, 1, {0, 1}},  // reserved frequency index
  };
  for (const ShapeCase& c : kCases) {
    XingShape s = ChooseXingShape(c.modeSummary, c.firstFreq, c.firstMode);
    EXPECT_EQ(s.freqIndex, c.expected.freqIndex) << int{c.modeSummary} << " " << int{c.firstMode};
    EXPECT_EQ(s.mode, c.expected.mode) << int{c.modeSummary} << " " << int{c.firstMode};
  }
}

TEST(XingShapeChoice, FrequencyFollowsTheFirstFrameWrittenNotTheSourcesFirstFrame) {
  // The source's frames (44.1 kHz, record 0 its Xing frame) were deleted and
  // 32 kHz mono frames and a 48 kHz stereo blank frame were inserted.
  DocumentState doc;
  doc.frames.resize(4);
  doc.frames[0].freqb = 0;
  doc.frames[0].stereo = 1;
  doc.frames[0].spec = 1;
  doc.frames[2].freqb = 2;
  doc.frames[2].stereo = 3;
  doc.frames[3].freqb = 2;
  doc.frames[3].stereo = 3;
  doc.frameTableCount = 4;
  doc.editCount = 3;
  doc.ref = {2, 3, -BlankFrameCode(9, 1, 0)};
  doc.gainLeft.assign(3, 0);
  doc.gainRight.assign(3, 0);
  doc.editStats.modeSummary = 4;

  XingShape s = ChooseXingShape(doc, 0);
  EXPECT_EQ(s.freqIndex, 2);
  EXPECT_EQ(s.mode, 1);  // mixed with a mono first frame: joint stereo

  s = ChooseXingShape(doc, 2);  // a range write starting at the blank frame
  EXPECT_EQ(s.freqIndex, 1);
  EXPECT_EQ(s.mode, 0);

  doc.editStats.modeSummary = 3;
  s = ChooseXingShape(doc, 0);
  EXPECT_EQ(s.mode, 3);
}

// --- Byte count and table of contents ---

std::vector<int64_t> EvenlySpaced(int64_t first, int64_t step, int64_t n) {
  std::vector<int64_t> v;
  for (int64_t i = 0; i < n; ++i) v.push_back(first + i * step);
  return v;
}

TEST(XingCompletion, ByteCountRunsFromTheXingFrameToTheEndOfTheFile) {
  // A 1,000-byte ID3v2 tag in front, 10 frames of 400 bytes, a Lyrics3 block of
  // 116 bytes and an ID3v1 tag behind.
  int64_t xing = 1000;
  std::vector<int64_t> pos = EvenlySpaced(xing + 156, 400, 10);
  int64_t fileSize = xing + 156 + 4000 + 116 + 128;
  XingCompletion c = XingCompletionBytes(xing, fileSize, pos, 10);
  EXPECT_EQ(c.byteCount, 156u + 4000 + 116 + 128);
  EXPECT_EQ(be32(c.bytes.data()), c.byteCount);
  EXPECT_TRUE(std::equal(c.toc.begin(), c.toc.end(), c.bytes.begin() + 4));
}

TEST(XingCompletion, TableEntriesFollowTheRoundedFrameIndex) {
  // Frame k starts at 1000 x (k + 1) after the Xing frame and B = 25,600, so
  // TOC[i] = Trunc(256 x 1000 (k + 1) / 25,600) = 10 (k + 1) for small k.
  struct Case {
    int64_t n;
    int i;
    uint8_t toc;
  };
  constexpr Case kCases[] = {
      {3, 25, 10},   // 0.5 rounds to 0 (even)
      {3, 26, 20},   // 0.52 rounds to 1
      {3, 75, 30},   // 1.5 rounds to 2 (even)
      {3, 74, 20},   // 1.48 rounds to 1
      {5, 50, 30},   // 2.0
      {5, 12, 10},   // 0.48 rounds to 0
      {6, 50, 30},   // 2.5 rounds to 2 (even)
      {6, 70, 50},   // 3.5 rounds to 4 (even)
      {5, 63, 40},   // 2.52 rounds to 3
      {2, 50, 10},   // 0.5 rounds to 0
      {2, 51, 20},
      {2, 99, 20},
  };
  for (const Case& c : kCases) {
    std::vector<int64_t> pos = EvenlySpaced(1000, 1000, c.n);
    XingCompletion r = XingCompletionBytes(0, 25600, pos, c.n);
    EXPECT_EQ(r.toc[static_cast<size_t>(c.i)], c.toc) << "N " << c.n << " i " << c.i;
    EXPECT_EQ(r.toc[0], 0);
  }
}

TEST(XingCompletion, SingleFrameGivesItsOffsetInEveryEntryAfterTheFirst) {
  std::vector<int64_t> pos = {500 + 168};
  XingCompletion c = XingCompletionBytes(500, 500 + 168 + 300, pos, 1);
  EXPECT_EQ(c.toc[0], 0);
  for (int i = 1; i < kXingTocEntries; ++i) EXPECT_EQ(c.toc[static_cast<size_t>(i)], 256 * 168 / 468);
}

TEST(XingCompletion, EntriesNeverDecreaseAndStayBelow256) {
  struct Case {
    const char* name;
    std::vector<int64_t> pos;
    int64_t fileSize;
  };
  const Case kCases[] = {
      // Typical VBR spacing.
      {"vbr", {156, 574, 992, 1409, 2453, 2871, 3497, 3915, 4333, 4751, 5795, 6213}, 6631},
      // A frame at the very end of the counted bytes would give 256.
      {"limit", {156, 300, 1000}, 1000},
      // Positions in front of the Xing frame count as 0.
      {"before", {-50, 10, 400, 800}, 900},
      // Positions out of order are not taken to go back.
      {"unordered", {156, 900, 400, 950}, 1000},
  };
  for (const Case& c : kCases) {
    XingCompletion r = XingCompletionBytes(0, c.fileSize, c.pos, static_cast<int64_t>(c.pos.size()));
    EXPECT_EQ(r.toc[0], 0) << c.name;
    for (int i = 1; i < kXingTocEntries; ++i) {
      EXPECT_GE(r.toc[static_cast<size_t>(i)], r.toc[static_cast<size_t>(i - 1)]) << c.name << " " << i;
    }
  }
  XingCompletion limit = XingCompletionBytes(0, 1000, std::vector<int64_t>{156, 300, 1000}, 3);
  EXPECT_EQ(limit.toc[99], 255);
  XingCompletion before = XingCompletionBytes(100, 1000, std::vector<int64_t>{50, 10, 400}, 3);
  EXPECT_EQ(before.toc[1], 0);
}

TEST(XingCompletion, WithoutFramesOrBytesTheTableIsZero) {
  std::vector<int64_t> none;
  XingCompletion c = XingCompletionBytes(0, 156, none, 0);
  EXPECT_EQ(c.byteCount, 156u);
  for (uint8_t e : c.toc) EXPECT_EQ(e, 0);
  // The frame count names more frames than positions were recorded: only the
  // recorded ones are used.
  std::vector<int64_t> one = {156};
  c = XingCompletionBytes(0, 1000, one, 5);
  for (int i = 1; i < kXingTocEntries; ++i) EXPECT_EQ(c.toc[static_cast<size_t>(i)], 39);
  c = XingCompletionBytes(1000, 1000, one, 1);
  EXPECT_EQ(c.byteCount, 0u);
  for (uint8_t e : c.toc) EXPECT_EQ(e, 0);
}

TEST(XingCompletion, Int32AndInt64PositionsAgree) {
  std::vector<int32_t> p32 = {356, 774, 1400, 2000, 2417};
  std::vector<int64_t> p64(p32.begin(), p32.end());
  XingCompletion a = XingCompletionBytes(200, 2900, p32, 5);
  XingCompletion b = XingCompletionBytes(200, 2900, p64, 5);
  EXPECT_EQ(a.bytes, b.bytes);
}

// --- Files: writing, completing, and what real decoders make of them ---

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "quorvel-xing-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr) path_ = buf.data();
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool ToolExists(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && access((fs::path(dir) / name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

struct ToolResult {
  int status = -1;
  std::string out;  // standard output and standard error together
};

ToolResult RunTool(const std::vector<std::string>& args, const fs::path& folder) {
  ToolResult result;
  fs::path log = folder / "tool.log";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return result;
  int status = 0;
  if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  std::vector<uint8_t> text = ReadAll(log);
  result.out.assign(text.begin(), text.end());
  return result;
}

TEST(XingFile, WriteAndCompleteOverADescriptor) {
  TempFolder tmp;
  ASSERT_FALSE(tmp.path().empty());
  fs::path out = tmp.path() / "out.mp3";
  int fd = open(out.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  std::vector<uint8_t> lead(300, 0x55);
  ASSERT_EQ(write(fd, lead.data(), lead.size()), 300);
  XingPlacement placement;
  ASSERT_TRUE(WriteXingFrame(fd, {0, 3}, 3, placement));
  EXPECT_EQ(placement.offset, 300);
  EXPECT_EQ(placement.byteCountOffset, 33);
  std::vector<int32_t> positions;
  std::vector<uint8_t> frame(200, 0x11);
  for (int i = 0; i < 3; ++i) {
    positions.push_back(static_cast<int32_t>(lseek(fd, 0, SEEK_CUR)));
    ASSERT_EQ(write(fd, frame.data(), frame.size()), 200);
  }
  std::vector<uint8_t> tail(128, 0x22);
  ASSERT_EQ(write(fd, tail.data(), tail.size()), 128);
  ASSERT_TRUE(CompleteXingFrame(fd, placement, positions, 3));
  // The completion does not move the write position.
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 300 + 156 + 600 + 128);
  close(fd);

  std::vector<uint8_t> bytes = ReadAll(out);
  ASSERT_EQ(bytes.size(), 300u + 156 + 600 + 128);
  XingCompletion expected = XingCompletionBytes(300, 1184, positions, 3);
  std::vector<uint8_t> frameBytes = BuildXingFrame({0, 3}, 3);
  std::copy(expected.bytes.begin(), expected.bytes.end(), frameBytes.begin() + 33);
  EXPECT_TRUE(std::equal(frameBytes.begin(), frameBytes.end(), bytes.begin() + 300));
  EXPECT_EQ(be32(&bytes[300 + 33]), 156u + 600 + 128);
  EXPECT_EQ(bytes[300 + 37], 0);                       // TOC[0]
  EXPECT_EQ(bytes[300 + 38], 256 * 156 / 884);          // TOC[1]: frame 0
  EXPECT_EQ(bytes[300 + 37 + 99], 256 * (156 + 400) / 884);  // TOC[99]: frame 2
}

TEST(XingFile, WriteFailsOnABadDescriptor) {
  XingPlacement placement;
  EXPECT_FALSE(WriteXingFrame(-1, {0, 1}, 1, placement));
  EXPECT_EQ(placement.offset, -1);
  placement.offset = 0;
  placement.byteCountOffset = 48;
  std::vector<int32_t> positions = {156};
  EXPECT_FALSE(CompleteXingFrame(-1, placement, positions, 1));
}

struct PeerCase {
  const char* name;
  int rate;
  bool mono;
  uint8_t freqIndex;
  bool id3v1 = false;  // an ID3v1 tag after the audio
};

void PrintTo(const PeerCase& c, std::ostream* os) { *os << c.name; }

class XingPeers : public testing::TestWithParam<PeerCase> {};

// Where an MPEG-1 Layer III information frame keeps its "Xing"/"Info" marker:
// after the header and 17 bytes of side information (mono) or 32 (stereo).
size_t OwnMarkerOffset(const uint8_t* h) { return (h[3] >> 6) == 3 ? 4 + 17 : 4 + 32; }

// Splits an MPEG-1 Layer III file made by the encoder into its frames, leaving
// out the encoder's own information frame (the first frame, when it carries
// the "Xing" or "Info" marker).
std::vector<std::vector<uint8_t>> AudioFrames(const std::vector<uint8_t>& file) {
  std::vector<std::vector<uint8_t>> frames;
  size_t p = 0;
  bool first = true;
  while (p + 4 <= file.size()) {
    int length = layout::FrameBytes(&file[p]);
    if (length <= 0 || p + static_cast<size_t>(length) > file.size()) break;
    size_t m = p + OwnMarkerOffset(&file[p]);
    bool info = first && m + 4 <= file.size() &&
                (std::memcmp(&file[m], "Xing", 4) == 0 || std::memcmp(&file[m], "Info", 4) == 0);
    if (!info) frames.emplace_back(file.begin() + p, file.begin() + p + length);
    first = false;
    p += static_cast<size_t>(length);
  }
  return frames;
}

TEST_P(XingPeers, DecodersTakeTheDurationFromTheFrameCountAndFindNoFault) {
  const PeerCase& c = GetParam();
  for (const char* tool : {"sox", "lame", "ffprobe", "mpg123", "mp3val"}) {
    ASSERT_TRUE(ToolExists(tool)) << tool << " is not installed (scripts/install-deps)";
  }
  TempFolder tmp;
  ASSERT_FALSE(tmp.path().empty());
  const fs::path& dir = tmp.path();
  std::string channels = c.mono ? "1" : "2";
  std::string rate = std::to_string(c.rate);
  // A sweep under a square-wave tremolo gives the encoder frames of many bitrates.
  ToolResult sox = RunTool({"sox", "-R", "-n", "-r", rate, "-c", channels, (dir / "tone.wav").string(),
                            "synth", "2", "sine", "200-4000", "synth", "2", "square", "amod", "3"},
                           dir);
  ASSERT_EQ(sox.status, 0) << sox.out;
  std::vector<std::string> lame = {"lame", "--quiet", "--noreplaygain", "-V", "4", "--resample",
                                   c.rate == 44100 ? "44.1" : std::to_string(c.rate / 1000)};
  if (c.mono) lame.insert(lame.end(), {"-m", "m"});
  lame.push_back((dir / "tone.wav").string());
  lame.push_back((dir / "enc.mp3").string());
  ToolResult enc = RunTool(lame, dir);
  ASSERT_EQ(enc.status, 0) << enc.out;

  std::vector<std::vector<uint8_t>> frames = AudioFrames(ReadAll(dir / "enc.mp3"));
  ASSERT_GT(frames.size(), 20u);
  std::vector<bool> bitrates(16, false);
  int distinct = 0;
  for (const auto& f : frames) {
    int b = f[2] >> 4;
    if (!bitrates[static_cast<size_t>(b)]) ++distinct;
    bitrates[static_cast<size_t>(b)] = true;
    ASSERT_EQ((f[2] >> 2) & 3, c.freqIndex);
  }
  ASSERT_GT(distinct, 1) << "the encoder made a constant-bitrate stream";

  // A 20-byte ID3v2.3 tag (padding only) in front, so the Xing frame does not
  // start the file.
  fs::path out = dir / "out.mp3";
  int fd = open(out.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  const uint8_t id3[20] = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 10};
  ASSERT_EQ(write(fd, id3, sizeof id3), 20);
  uint8_t mode = c.mono ? 3 : 1;
  XingShape shape = ChooseXingShape(mode, c.freqIndex, mode);
  XingPlacement placement;
  ASSERT_TRUE(WriteXingFrame(fd, shape, static_cast<uint32_t>(frames.size()), placement));
  std::vector<int32_t> positions;
  for (const auto& f : frames) {
    positions.push_back(static_cast<int32_t>(lseek(fd, 0, SEEK_CUR)));
    ASSERT_EQ(write(fd, f.data(), f.size()), static_cast<ssize_t>(f.size()));
  }
  if (c.id3v1) {
    uint8_t tag[128] = {'T', 'A', 'G', 'T', 'o', 'n', 'e'};
    tag[127] = 255;
    ASSERT_EQ(write(fd, tag, sizeof tag), 128);
  }
  ASSERT_TRUE(CompleteXingFrame(fd, placement, positions, static_cast<int64_t>(frames.size())));
  close(fd);
  int64_t streamBytes = static_cast<int64_t>(fs::file_size(out)) - placement.offset;
  if (c.id3v1) streamBytes -= 128;

  // The frame count as the file holds it, read here byte by byte: the Xing
  // frame follows the 20-byte tag, its marker sits after the side information
  // (17 bytes mono, 32 stereo), the flags follow the marker and the count the flags.
  std::vector<uint8_t> written = ReadAll(out);
  const size_t marker = 20 + 4 + (c.mono ? 17 : 32);
  ASSERT_GT(written.size(), marker + 12);
  ASSERT_EQ(std::string(written.begin() + static_cast<long>(marker), written.begin() + static_cast<long>(marker) + 4),
            "Xing");
  const uint32_t storedCount = (uint32_t{written[marker + 8]} << 24) | (uint32_t{written[marker + 9]} << 16) |
                               (uint32_t{written[marker + 10]} << 8) | written[marker + 11];
  EXPECT_EQ(storedCount, frames.size());

  // ffprobe takes the duration from the Xing frame count.
  ToolResult probe = RunTool({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                              "stream=duration,nb_read_frames", "-of", "default=nw=1",
                              out.string()},
                             dir);
  ASSERT_EQ(probe.status, 0) << probe.out;
  double expected = static_cast<double>(frames.size()) * 1152.0 / c.rate;
  // The count stored in the Xing frame is the number of audio frames ffprobe decodes.
  std::string wantFrames = "nb_read_frames=" + std::to_string(storedCount);
  EXPECT_NE(probe.out.find(wantFrames), std::string::npos) << probe.out;
  size_t at = probe.out.find("duration=");
  ASSERT_NE(at, std::string::npos) << probe.out;
  EXPECT_NEAR(std::strtod(probe.out.c_str() + at + 9, nullptr), expected, 1e-5) << probe.out;

  // mpg123 decodes every audio frame to 1,152 samples a channel (16 bits,
  // no gapless trimming) and nothing for the Xing frame; its messages go to
  // standard error, the samples to a file of their own.
  fs::path pcm = dir / "out.raw";
  ToolResult mpg = RunTool({"sh", "-c", "exec mpg123 -q --no-gapless -s \"$1\" > \"$2\"", "sh", out.string(),
                            pcm.string()},
                           dir);
  EXPECT_EQ(mpg.status, 0) << mpg.out;
  EXPECT_EQ(mpg.out.find("rror"), std::string::npos) << mpg.out;
  EXPECT_EQ(mpg.out.find("arning"), std::string::npos) << mpg.out;
  EXPECT_EQ(fs::file_size(pcm), frames.size() * 1152 * 2 * (c.mono ? 1u : 2u));

  // mp3val finds every frame where the one before it ends, and checks the byte
  // count against the frames. Its byte count ends with the last frame, while
  // ours runs to the end of the file, so a file with an ID3v1 tag gets exactly
  // that remark, and the others none (their ID3v2 tag is a tag it knows).
  ToolResult val = RunTool({"mp3val", out.string()}, dir);
  EXPECT_EQ(val.status, 0) << val.out;
  ASSERT_NE(val.out.find("Analyzing file"), std::string::npos) << "mp3val did not run: " << val.out;
  EXPECT_EQ(val.out.find("ERROR"), std::string::npos) << val.out;
  // It read the file through: every frame, the Xing frame among them.
  EXPECT_NE(val.out.find(": " + std::to_string(frames.size() + 1) + " MPEG frames (MPEG 1 Layer III), +" +
                         (c.id3v1 ? "ID3v1+" : "") + "ID3v2, Xing header"),
            std::string::npos)
      << val.out;
  std::string byteRemark = "Wrong number of MPEG data bytes specified in Xing header (" +
                           std::to_string(streamBytes + 128) + " instead of " +
                           std::to_string(streamBytes) + ")";
  if (c.id3v1) {
    EXPECT_NE(val.out.find(byteRemark), std::string::npos) << val.out;
  }
  std::istringstream lines(val.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("WARNING") == std::string::npos) continue;
    if (c.id3v1) {
      EXPECT_NE(line.find(byteRemark), std::string::npos) << line;
    } else {
      EXPECT_NE(line.find("No supported tags"), std::string::npos) << line;
    }
  }
  EXPECT_NE(val.out.find("Xing header"), std::string::npos) << val.out;
}

INSTANTIATE_TEST_SUITE_P(Frequencies, XingPeers,
                         testing::Values(PeerCase{"stereo44k", 44100, false, 0},
                                         PeerCase{"stereo48k", 48000, false, 1},
                                         PeerCase{"stereo32k", 32000, false, 2},
                                         PeerCase{"mono44k", 44100, true, 0},
                                         PeerCase{"mono48k", 48000, true, 1},
                                         PeerCase{"mono32kWithId3v1", 32000, true, 2, true}),
                         [](const testing::TestParamInfo<PeerCase>& info) { return info.param.name; });

}  // namespace
}  // namespace quorvel
