#include "core/gain.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "common/layer3_layout.h"
#include "core/document_ops.h"
#include "core/edit_dialogs.h"
#include "core/edit_fixture.h"
#include "core/headless_host.h"
#include "core/mpeg_header.h"

extern char** environ;

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using testing::FrameShape;
using testing::LoadFrames;
using testing::LoadUniform;
using testing::Select;

// ---------------------------------------------------------------------------
// ApplyGainToFrame on frames built in memory.

// A frame of the given length whose header says mode and CRC, every other
// byte filled with a pattern, and the global_gain fields set to gains.
std::vector<uint8_t> MakeFrame(bool mono, bool crc, const std::array<uint8_t, 4>& gains, size_t length = 417) {
  std::vector<uint8_t> frame(length);
  std::mt19937 random(7);
  for (auto& b : frame) b = static_cast<uint8_t>(random());
  frame[0] = 0xFF;
  frame[1] = crc ? 0xFA : 0xFB;
  frame[2] = 0x90;
  frame[3] = mono ? 0xC4 : 0x04;  // plain stereo for two channels
  // The fields are written and read by the test's own bit code at the
  // positions the format gives them, not by the product's.
  uint8_t* side = frame.data() + (crc ? 6 : 4);
  if (mono) {
    for (size_t i = 0; i < 2; ++i) layout::WriteBits8(side, layout::kMonoGainBits[i], gains[i]);
  } else {
    for (size_t i = 0; i < 4; ++i) layout::WriteBits8(side, layout::kStereoGainBits[i], gains[i]);
  }
  return frame;
}

std::vector<int> ReadGains(const std::vector<uint8_t>& frame, bool mono, bool crc) {
  const uint8_t* side = frame.data() + (crc ? 6 : 4);
  std::vector<int> gains;
  if (mono) {
    for (int bit : layout::kMonoGainBits) gains.push_back(layout::ReadBits8(side, bit));
  } else {
    for (int bit : layout::kStereoGainBits) gains.push_back(layout::ReadBits8(side, bit));
  }
  return gains;
}

// Every bit outside the global_gain fields is the same in both frames.
void ExpectOnlyGainBitsDiffer(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, bool mono, bool crc) {
  ASSERT_EQ(a.size(), b.size());
  std::vector<uint8_t> mask(a.size(), 0);
  size_t side = crc ? 6 : 4;
  auto markField = [&](int bit) { layout::WriteBits8(mask.data() + side, bit, 0xFF); };
  if (mono) {
    for (int bit : layout::kMonoGainBits) markField(bit);
  } else {
    for (int bit : layout::kStereoGainBits) markField(bit);
  }
  if (crc) mask[4] = mask[5] = 0xFF;  // the check word follows the side information
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i] & ~mask[i], b[i] & ~mask[i]) << "byte " << i;
  }
}

struct GainCase {
  const char* name;
  bool mono;
  bool crc;
  std::array<uint8_t, 4> gains;
  uint8_t spec;
  int left;
  int right;
  std::vector<int> expected;
};

TEST(ApplyGainToFrame, RewritesOnlyTheGlobalGainFields) {
  const GainCase cases[] = {
      {"volume +3 on both", false, false, {150, 152, 149, 151}, 0, 3, 3, {153, 155, 152, 154}},
      {"balance left -4", false, false, {150, 152, 149, 151}, 0, -4, 0, {146, 152, 145, 151}},
      {"balance right +5", false, false, {150, 152, 149, 151}, 0, 0, 5, {150, 157, 149, 156}},
      {"mono uses the left change only", true, false, {200, 190, 0, 0}, 0, 60, -100, {255, 250}},
      {"limited to 0", false, false, {10, 20, 30, 40}, 0, -255, -25, {0, 0, 0, 15}},
      {"with a CRC", false, true, {150, 152, 149, 151}, 0, 2, 2, {152, 154, 151, 153}},
      {"mono with a CRC", true, true, {100, 101, 0, 0}, 0, -2, 9, {98, 99}},
      {"information frame", false, false, {150, 152, 149, 151}, 2, 3, 3, {0, 0, 0, 0}},
      {"mono information frame", true, false, {150, 152, 0, 0}, 1, -1, 0, {0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> original = MakeFrame(c.mono, c.crc, c.gains);
    frametype record;
    record.amplify1 = c.gains;
    record.spec = c.spec;
    std::vector<uint8_t> frame = original;
    ApplyGainToFrame(frame.data(), frame.size(), record, c.left, c.right);
    EXPECT_EQ(ReadGains(frame, c.mono, c.crc), c.expected);
    ExpectOnlyGainBitsDiffer(original, frame, c.mono, c.crc);
    if (c.crc) {
      uint16_t crc = 0;
      ASSERT_TRUE(Layer3Crc(frame.data(), frame.size(), crc));
      EXPECT_EQ(frame[4], crc >> 8);
      EXPECT_EQ(frame[5], crc & 0xFF);
    }
  }
}

TEST(ApplyGainToFrame, StartsFromTheAnalysedValuesSoSavesNeverAccumulate) {
  std::vector<uint8_t> frame = MakeFrame(false, false, {150, 152, 149, 151});
  frametype record;
  record.amplify1 = {150, 152, 149, 151};
  ApplyGainToFrame(frame.data(), frame.size(), record, 4, 4);
  std::vector<uint8_t> once = frame;
  ApplyGainToFrame(frame.data(), frame.size(), record, 4, 4);
  EXPECT_EQ(frame, once);
  EXPECT_EQ(ReadGains(frame, false, false), (std::vector<int>{154, 156, 153, 155}));
}

TEST(ApplyGainToFrame, BytesAndBitsOfEachField) {
  // A value of all ones written into a zero frame shows which bits each field owns.
  struct Field {
    bool mono;
    int index;
    size_t firstByte;
    uint8_t firstBits;
    uint8_t secondBits;
  } fields[] = {
      {true, 0, 4, 0x01, 0xFE},  {true, 1, 12, 0x3F, 0xC0},  {false, 0, 5, 0x7F, 0x80},
      {false, 1, 12, 0x0F, 0xF0}, {false, 2, 19, 0x01, 0xFE}, {false, 3, 27, 0x3F, 0xC0},
  };
  for (const auto& f : fields) {
    std::vector<uint8_t> frame(104, 0);
    frame[0] = 0xFF;
    frame[1] = 0xFB;
    frame[2] = 0x10;
    frame[3] = f.mono ? 0xC0 : 0x00;
    frametype record;
    record.amplify1 = {0, 0, 0, 0};
    record.amplify1[static_cast<size_t>(f.index)] = 255;
    ApplyGainToFrame(frame.data(), frame.size(), record, 0, 0);
    const uint8_t* side = frame.data() + 4;
    for (size_t i = 0; i < 100; ++i) {
      uint8_t expected = i == f.firstByte ? f.firstBits : i == f.firstByte + 1 ? f.secondBits : 0;
      EXPECT_EQ(side[i], expected) << "field " << f.index << (f.mono ? " mono" : "") << ", byte " << i;
    }
  }
}

TEST(ApplyGainToFrame, ShortFramesAreNeverWrittenPastTheirEnd) {
  // The frame lies at the start of a larger buffer whose bytes after it are a
  // guard pattern: no byte past the frame's end may change.
  constexpr size_t kGuard = 64;
  for (size_t length : {0u, 3u, 4u, 5u, 6u, 12u, 25u, 30u, 33u}) {
    SCOPED_TRACE(length);
    std::vector<uint8_t> buffer(length + kGuard, 0xA5);
    std::fill(buffer.begin(), buffer.begin() + static_cast<long>(length), 0);
    uint8_t* frame = buffer.data();
    if (length >= 4) {
      frame[0] = 0xFF;
      frame[1] = 0xFB;
      frame[3] = 0x00;
    }
    frametype record;
    record.amplify1 = {1, 2, 3, 4};
    ApplyGainToFrame(length ? frame : nullptr, length, record, 9, 9);
    for (size_t i = length; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xA5) << "byte " << i << " written";
    if (length == 33) {
      // 33 bytes hold the last stereo field (side information bits 218..225): all four are written.
      EXPECT_EQ(layout::ReadGains(frame), (std::array<int, 4>{10, 11, 12, 13}));
    }
  }
}

// ---------------------------------------------------------------------------
// Volume and fade commands.

struct GainOps : ::testing::Test {
  HeadlessHost host;
  Context ctx{host};
  DocumentState& doc = ctx.doc;

  void ExpectOneMessage(const std::string& text, int kind, const std::string& caption) {
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, text);
    EXPECT_EQ(host.messages[0].kind, kind);
    EXPECT_EQ(host.messages[0].caption, caption);
  }
  std::vector<int> Left() const { return std::vector<int>(doc.gainLeft.begin(), doc.gainLeft.end()); }
  std::vector<int> Right() const { return std::vector<int>(doc.gainRight.begin(), doc.gainRight.end()); }
};

TEST_F(GainOps, VolumeAddsStepsToTheChosenChannels) {
  struct Case {
    int step;
    ChannelChoice channel;
    std::vector<int> left, right;
  } cases[] = {
      {3, ChannelChoice::kBoth, {0, 3, 3, 0}, {0, 3, 3, 0}},
      {-4, ChannelChoice::kLeft, {0, -4, -4, 0}, {0, 0, 0, 0}},
      {5, ChannelChoice::kRight, {0, 0, 0, 0}, {0, 5, 5, 0}},
  };
  for (const auto& c : cases) {
    host.messages.clear();
    LoadUniform(ctx, 4);
    Select(doc, 3, 1);
    host.volumeAnswers.push_back(VolumeChoice{c.step, c.channel});
    AmplifybutClick(ctx);
    EXPECT_EQ(ctx.script.resultCode, 0);
    EXPECT_EQ(Left(), c.left);
    EXPECT_EQ(Right(), c.right);
    EXPECT_EQ(doc.modifiedLevel, 1);
    EXPECT_TRUE(doc.undoAvailable);
    EXPECT_FALSE(doc.volumeDialogOpen);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(doc.cursor, 3);  // the bounds are not reordered
  }
}

TEST_F(GainOps, VolumeRefusalsAndCancel) {
  LoadUniform(ctx, 4);
  AmplifybutClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 1);
  ExpectOneMessage("You must select some frames to amplify.", 2, "amplify");

  host.messages.clear();
  Select(doc, 0, 2);
  AmplifybutClick(ctx);  // an empty answer queue cancels
  EXPECT_EQ(host.volumeRequests.size(), 1u);
  EXPECT_EQ(Left(), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_FALSE(doc.undo.taken);
  EXPECT_EQ(doc.modifiedLevel, 0);

  ctx.script.active = true;
  doc.busy = true;
  AmplifybutClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 255);
  doc.busy = false;
  SetSelectionExists(doc, false);
  AmplifybutClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 1);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(GainOps, HighAmplificationAsksFirst) {
  const char* warning =
      "You chose very high amplification factor which may cause\r\nsound distortion (and, rarely, player "
      "malfunction too).\r\nIt is recommended that you check the results if you click OK.";
  struct Case {
    int step;
    bool asked;
    int answer;
    int expected;
  } cases[] = {{8, false, kAnswerYes, 8}, {9, true, kAnswerYes, 9}, {9, true, kAnswerNo, 0}, {20, true, kAnswerNo, 0}};
  for (const auto& c : cases) {
    host.messages.clear();
    LoadUniform(ctx, 2);
    Select(doc, 0, 1);
    host.volumeAnswers.push_back(VolumeChoice{c.step, ChannelChoice::kBoth});
    host.answers = {c.answer};
    AmplifybutClick(ctx);
    if (c.asked) {
      ASSERT_EQ(host.messages.size(), 1u);
      EXPECT_EQ(host.messages[0].text, warning);
      EXPECT_EQ(host.messages[0].kind, 4370);
      EXPECT_EQ(host.messages[0].caption, "amplify");
      EXPECT_TRUE(host.messages[0].question);
    } else {
      EXPECT_TRUE(host.messages.empty());
    }
    EXPECT_EQ(doc.gainLeft[0], c.expected);
    EXPECT_EQ(doc.undo.taken, c.expected != 0);
  }
}

TEST_F(GainOps, ScriptVolumeUsesTheCommandInputsAndIsLimited) {
  ctx.script.active = true;
  LoadUniform(ctx, 3);
  doc.gainLeft[0] = 250;
  doc.gainRight[1] = -250;
  Select(doc, 0, 3);
  ctx.edit.volumeStep = 40;  // a script may go beyond the dialog's range; no question is asked
  ctx.edit.channelChoice = ChannelChoice::kBoth;
  AmplifybutClick(ctx);
  EXPECT_EQ(Left(), (std::vector<int>{255, 40, 40}));
  EXPECT_EQ(Right(), (std::vector<int>{40, -210, 40}));
  ctx.edit.volumeStep = -40;
  for (int i = 0; i < 16; ++i) AmplifybutClick(ctx);
  EXPECT_EQ(Left(), (std::vector<int>{-255, -255, -255}));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(host.volumeRequests.empty());
}

TEST_F(GainOps, BlankFramesTakeTheAdditions) {
  LoadUniform(ctx, 3);
  doc.ref[1] = -BlankFrameCode(1, 0, 0);
  doc.gainLeft[1] = doc.gainRight[1] = kNoGain;
  Select(doc, 0, 3);
  host.volumeAnswers.push_back(VolumeChoice{2, ChannelChoice::kBoth});
  AmplifybutClick(ctx);
  EXPECT_EQ(doc.gainLeft[1], -255);
  EXPECT_EQ(doc.ref[1], -1);
  EXPECT_EQ(doc.gainLeft[0], 2);
}

TEST_F(GainOps, MonoSelectionOffersBothChannelsOnly) {
  LoadFrames(ctx, {FrameShape{0, 3, 9}, FrameShape{0, 3, 9}, FrameShape{0, 1, 9}});
  Select(doc, 0, 2);
  host.volumeAnswers.push_back(VolumeChoice{2, ChannelChoice::kRight});
  AmplifybutClick(ctx);
  ASSERT_EQ(host.volumeRequests.size(), 1u);
  EXPECT_FALSE(host.volumeRequests[0].channelsOffered);
  EXPECT_EQ(host.volumeRequests[0].stereoWarning, "");
  EXPECT_EQ(doc.gainLeft[0], 2);
  EXPECT_EQ(doc.gainRight[0], 2);
}

TEST_F(GainOps, AcceptedVolumeIsRememberedWhenAsked) {
  LoadUniform(ctx, 3);
  Select(doc, 0, 2);
  ctx.options.rememberVolume = 2;
  host.volumeAnswers.push_back(VolumeChoice{-3, ChannelChoice::kLeft});
  AmplifybutClick(ctx);
  EXPECT_EQ(ctx.options.savedVolumeSteps, 17);
  EXPECT_EQ(ctx.options.volumeChannelAndTagSwitches & 3, 1);
  AmplifybutClick(ctx);  // cancelled, but opened from the remembered values
  ASSERT_EQ(host.volumeRequests.size(), 2u);
  EXPECT_EQ(host.volumeRequests[1].sliderPosition, 17);
  EXPECT_EQ(host.volumeRequests[1].channel, ChannelChoice::kLeft);
}

std::vector<int> FadeDeltas(int frames, int magnitude, bool fadeIn) {
  HeadlessHost host;
  Context ctx(host);
  LoadUniform(ctx, frames);
  Select(ctx.doc, 0, frames);
  ctx.script.active = true;
  ctx.edit.fadeMagnitude = magnitude;
  ctx.edit.fadeIn = fadeIn;
  FadeButClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 0);
  EXPECT_EQ(ctx.doc.gainLeft, ctx.doc.gainRight);
  return std::vector<int>(ctx.doc.gainLeft.begin(), ctx.doc.gainLeft.end());
}

TEST(Fade, LinearStepsRoundedHalfToEven) {
  EXPECT_EQ(FadeDeltas(5, 20, false), (std::vector<int>{0, -5, -10, -15, -20}));
  EXPECT_EQ(FadeDeltas(5, 20, true), (std::vector<int>{-20, -15, -10, -5, 0}));
  EXPECT_EQ(FadeDeltas(9, 20, false), (std::vector<int>{0, -2, -5, -8, -10, -12, -15, -18, -20}));
  EXPECT_EQ(FadeDeltas(2, 40, true), (std::vector<int>{-40, 0}));
  EXPECT_EQ(FadeDeltas(3, 1, false), (std::vector<int>{0, 0, -1}));
}

TEST_F(GainOps, FadeReplacesAnEarlierBalance) {
  LoadUniform(ctx, 5);
  for (int p = 0; p < 5; ++p) doc.gainRight[p] = 4;
  doc.gainLeft[4] = -250;
  Select(doc, 0, 5);
  ctx.script.active = true;
  ctx.edit.fadeMagnitude = 20;
  ctx.edit.fadeIn = false;
  FadeButClick(ctx);
  EXPECT_EQ(Left(), (std::vector<int>{0, -5, -10, -15, -255}));
  EXPECT_EQ(Right(), Left());
}

TEST_F(GainOps, FadeRefusals) {
  for (bool script : {false, true}) {
    host.messages.clear();
    ctx.script.active = script;
    LoadUniform(ctx, 5);
    FadeButClick(ctx);
    EXPECT_EQ(ctx.script.resultCode, 1);
    Select(doc, 2, 3);
    FadeButClick(ctx);
    EXPECT_EQ(ctx.script.resultCode, 2);
    EXPECT_FALSE(doc.undo.taken);
    if (script) {
      EXPECT_TRUE(host.messages.empty());
    } else {
      ASSERT_EQ(host.messages.size(), 2u);
      for (const auto& m : host.messages) {
        EXPECT_EQ(m.text, "You must select multiple frames.");
        EXPECT_EQ(m.kind, 2);
        EXPECT_EQ(m.caption, "fade");
      }
    }
  }
}

TEST_F(GainOps, FadeDialogOpensWithThePresetDirection) {
  struct Case {
    int s, e;
    bool fadeIn;
  } cases[] = {{0, 5, true}, {0, 10, true}, {2, 4, true}, {3, 7, true}, {4, 7, false}, {6, 10, false}, {1, 10, false}};
  for (const auto& c : cases) {
    LoadUniform(ctx, 10);
    Select(doc, c.e, c.s);
    host.fadeRequests.clear();
    FadeButClick(ctx);  // cancelled
    ASSERT_EQ(host.fadeRequests.size(), 1u);
    EXPECT_EQ(host.fadeRequests[0].fadeIn, c.fadeIn) << c.s << ".." << c.e;
    EXPECT_EQ(host.fadeRequests[0].magnitude, 20);
    EXPECT_FALSE(doc.undo.taken);
  }
  host.fadeAnswers.push_back(FadeChoice{4, false});
  Select(doc, 0, 5);
  FadeButClick(ctx);
  EXPECT_EQ(doc.gainLeft[4], -4);
  EXPECT_EQ(ctx.options.savedFadeSteps, 4);  // remembered by default
  EXPECT_FALSE(doc.fadeDialogOpen);
}

// ---------------------------------------------------------------------------
// Against a real decoder: frames patched in a file decode louder by exactly the
// global_gain steps, and the same as mp3gain's change.

bool HaveTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string paths = path;
  size_t start = 0;
  while (start <= paths.size()) {
    size_t end = paths.find(':', start);
    if (end == std::string::npos) end = paths.size();
    fs::path candidate = fs::path(paths.substr(start, end - start)) / name;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Runs args[0] found on PATH; standard output goes to stdoutPath (or /dev/null).
int RunTool(const std::vector<std::string>& args, const std::string& stdoutPath = "/dev/null",
            const std::string& stderrPath = "/dev/null") {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Frame {
  size_t pos;
  size_t length;
  frametype record;
};

// The frames of a file that holds nothing but frames.
std::vector<Frame> WalkFrames(const std::vector<uint8_t>& bytes) {
  std::vector<Frame> frames;
  size_t pos = 0;
  while (pos + 4 <= bytes.size()) {
    if (!IsFrameSync(bytes[pos], bytes[pos + 1])) {
      ++pos;
      continue;
    }
    frametype record;
    DecodeFrameAt(bytes.data(), bytes.size(), pos, 0, frames.empty(), record);
    if (record.estimatedlen <= 0) break;
    size_t length = std::min(static_cast<size_t>(record.estimatedlen), bytes.size() - pos);
    frames.push_back({pos, length, record});
    pos += length;
  }
  return frames;
}

std::vector<uint8_t> Patched(const std::vector<uint8_t>& bytes, const std::vector<Frame>& frames, int left, int right) {
  std::vector<uint8_t> out = bytes;
  for (const Frame& f : frames) ApplyGainToFrame(out.data() + f.pos, f.length, f.record, left, right);
  return out;
}

// 16-bit stereo samples as mpg123 decodes them.
std::vector<int16_t> Decode(const fs::path& mp3, const fs::path& folder) {
  fs::path pcm = folder / (mp3.filename().string() + ".pcm");
  EXPECT_EQ(RunTool({"mpg123", "-q", "-s", mp3.string()}, pcm.string()), 0) << "mpg123 did not run or failed";
  std::vector<uint8_t> raw = ReadAll(pcm);
  EXPECT_FALSE(raw.empty()) << "mpg123 decoded no samples from " << mp3;
  std::vector<int16_t> samples(raw.size() / 2);
  std::memcpy(samples.data(), raw.data(), samples.size() * 2);
  return samples;
}

double ChannelEnergy(const std::vector<int16_t>& samples, int channel) {
  double sum = 0;
  for (size_t i = static_cast<size_t>(channel); i < samples.size(); i += 2) sum += double(samples[i]) * samples[i];
  return sum;
}

std::vector<int16_t> Channel(const std::vector<int16_t>& samples, int channel) {
  std::vector<int16_t> out;
  for (size_t i = static_cast<size_t>(channel); i < samples.size(); i += 2) out.push_back(samples[i]);
  return out;
}

struct RealDecoder : ::testing::Test {
  fs::path folder;
  fs::path source;

  void SetUp() override {
    for (const char* tool : {"mpg123", "sox", "lame"}) {
      ASSERT_TRUE(HaveTool(tool)) << tool << " is not installed (scripts/install-deps)";
    }
    char pattern[] = "/tmp/quorvel-gain-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    // Two tones, one per channel, well below full scale so that +3 dB cannot clip;
    // plain stereo (no mid/side coding) so that each channel's gain is its own.
    fs::path wav = folder / "tones.wav";
    ASSERT_EQ(RunTool({"sox", "-R", "-n", "-r", "44100", "-c", "2", "-b", "16", wav.string(), "synth", "2", "sine", "440",
                   "sine", "660", "gain", "-12"}),
              0);
    source = folder / "tones.mp3";
    ASSERT_EQ(RunTool({"lame", "--quiet", "-t", "-b", "128", "--cbr", "-m", "s", wav.string(), source.string()}), 0);
  }
  void TearDown() override {
    if (!folder.empty()) fs::remove_all(folder);
  }
};

TEST_F(RealDecoder, TwoStepsOnBothChannelsAreThreeDecibels) {
  std::vector<uint8_t> bytes = ReadAll(source);
  std::vector<Frame> frames = WalkFrames(bytes);
  ASSERT_GT(frames.size(), 50u);
  fs::path louder = folder / "louder.mp3";
  WriteAll(louder, Patched(bytes, frames, 2, 2));
  std::vector<int16_t> a = Decode(source, folder);
  std::vector<int16_t> b = Decode(louder, folder);
  ASSERT_EQ(a.size(), b.size());
  ASSERT_GT(a.size(), 100000u);
  for (int channel : {0, 1}) {
    double db = 10 * std::log10(ChannelEnergy(b, channel) / ChannelEnergy(a, channel));
    EXPECT_NEAR(db, 3.0, 0.05) << "channel " << channel;
  }
}

TEST_F(RealDecoder, ARightChannelChangeLeavesTheLeftSamplesAlone) {
  std::vector<uint8_t> bytes = ReadAll(source);
  std::vector<Frame> frames = WalkFrames(bytes);
  fs::path balanced = folder / "balanced.mp3";
  WriteAll(balanced, Patched(bytes, frames, 0, 2));
  std::vector<int16_t> a = Decode(source, folder);
  std::vector<int16_t> b = Decode(balanced, folder);
  ASSERT_EQ(a.size(), b.size());
  EXPECT_EQ(Channel(a, 0), Channel(b, 0));
  double db = 10 * std::log10(ChannelEnergy(b, 1) / ChannelEnergy(a, 1));
  EXPECT_NEAR(db, 3.0, 0.05);
}

TEST_F(RealDecoder, SameSamplesAsMp3gain) {
  ASSERT_TRUE(HaveTool("mp3gain")) << "mp3gain is not installed (scripts/install-deps)";
  std::vector<uint8_t> bytes = ReadAll(source);
  std::vector<Frame> frames = WalkFrames(bytes);
  struct Case {
    const char* name;
    std::vector<std::string> options;
    int left, right;
  } cases[] = {{"both", {"-g", "2"}, 2, 2}, {"right", {"-l", "1", "2"}, 0, 2}, {"left", {"-l", "0", "-3"}, -3, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path ours = folder / (std::string("ours-") + c.name + ".mp3");
    WriteAll(ours, Patched(bytes, frames, c.left, c.right));
    fs::path theirs = folder / (std::string("theirs-") + c.name + ".mp3");
    fs::copy_file(source, theirs);
    std::vector<std::string> args = {"mp3gain", "-q", "-c", "-s", "s"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(theirs.string());
    ASSERT_EQ(RunTool(args), 0);
    EXPECT_EQ(Decode(ours, folder), Decode(theirs, folder));
  }
}

TEST(CrcFrames, PatchedFramesKeepAValidCrc) {
  fs::path fixture = testing::TestData("crc.mp3");
  ASSERT_TRUE(!fixture.empty() && fs::exists(fixture)) << "QUORVEL_TEST_DATA is not set or lacks " << fixture;
  std::vector<uint8_t> bytes = ReadAll(fixture);
  std::vector<Frame> frames = WalkFrames(bytes);
  ASSERT_EQ(frames.size(), 60u);
  auto checkAll = [&](const std::vector<uint8_t>& data) {
    for (const Frame& f : frames) {
      uint16_t crc = 0;
      ASSERT_TRUE(Layer3Crc(data.data() + f.pos, f.length, crc));
      EXPECT_EQ(data[f.pos + 4], crc >> 8) << "frame at " << f.pos;
      EXPECT_EQ(data[f.pos + 5], crc & 0xFF) << "frame at " << f.pos;
    }
  };
  checkAll(bytes);  // the encoder's check words agree with ours
  std::vector<uint8_t> patched = Patched(bytes, frames, 3, -2);
  checkAll(patched);
  EXPECT_NE(patched, bytes);

  ASSERT_TRUE(HaveTool("ffmpeg")) << "ffmpeg is not installed (scripts/install-deps)";
  testing::TempFolder temp;
  fs::path out = temp.path / "patched.mp3";
  WriteAll(out, patched);
  fs::path log = temp.path / "ffmpeg.log";
  ASSERT_EQ(RunTool({"ffmpeg", "-nostdin", "-v", "error", "-err_detect", "crccheck", "-i", out.string(), "-f", "null",
                     "-"},
                    "/dev/null", log.string()),
            0);
  std::vector<uint8_t> text = ReadAll(log);
  EXPECT_EQ(std::string(text.begin(), text.end()).find("CRC"), std::string::npos);
}


// MPEG-2 and MPEG-2.5 files (one granule a frame, 9 or 17 bytes of side
// information): every frame's fields change as the format's layout says, the
// check words stay valid, and the decoded samples equal mp3gain's change.
struct LowerFile {
  const char* name;
  bool marker;  // the first frame is a Xing or Info frame
};
constexpr LowerFile kLowerFiles[] = {
    {"mpeg2-22k.mp3", false},        {"mpeg2-22k-64k.mp3", true},    {"mpeg2-16k-mono.mp3", false},
    {"mpeg2-24k-vbr.mp3", true},     {"mpeg25-11k.mp3", false},      {"mpeg25-12k-mono-info.mp3", true},
    {"mpeg25-8k-vbr.mp3", true},     {"mpeg2-22k-crc.mp3", true},    {"mpeg2-16k-vbr.mp3", true},
    {"mpeg2-22k-mono-info.mp3", true}};

TEST(LowerFrequencyFrames, GainsChangeAtTheirOneGranuleFields) {
  for (const auto& file : kLowerFiles) {
    SCOPED_TRACE(file.name);
    fs::path fixture = testing::TestData(file.name);
    ASSERT_TRUE(!fixture.empty() && fs::exists(fixture)) << "QUORVEL_TEST_DATA is not set or lacks " << fixture;
    std::vector<uint8_t> bytes = ReadAll(fixture);
    std::vector<Frame> frames = WalkFrames(bytes);
    ASSERT_GT(frames.size(), 10u);
    EXPECT_EQ(frames.back().pos + frames.back().length, bytes.size());
    EXPECT_EQ(frames.front().record.spec != 0, file.marker);
    std::vector<uint8_t> expected = bytes;
    for (size_t i = file.marker ? 1 : 0; i < frames.size(); ++i) {
      const uint8_t* original = bytes.data() + frames[i].pos;
      // The analysed gains are the ones at the format's positions.
      const std::array<int, 4> gains = layout::ReadGains(original);
      const bool mono = layout::IsMono(original);
      EXPECT_EQ(frames[i].record.amplify1[0], gains[0]);
      if (!mono) {
        EXPECT_EQ(frames[i].record.amplify1[1], gains[1]);
      }
      EXPECT_EQ(frames[i].record.amplify0, mono ? gains[0] : (gains[0] + gains[1]) / 2);
      layout::ChangeGains(expected.data() + frames[i].pos, 3, -2);
    }
    EXPECT_EQ(Patched(bytes, frames, 3, -2), expected);
  }
}

TEST(LowerFrequencyFrames, CrcWordsStayValid) {
  fs::path fixture = testing::TestData("mpeg2-22k-crc.mp3");
  ASSERT_TRUE(!fixture.empty() && fs::exists(fixture)) << "QUORVEL_TEST_DATA is not set or lacks " << fixture;
  std::vector<uint8_t> bytes = ReadAll(fixture);
  std::vector<Frame> frames = WalkFrames(bytes);
  ASSERT_GT(frames.size(), 10u);
  auto checkAll = [&](const std::vector<uint8_t>& data) {
    for (size_t i = 1; i < frames.size(); ++i) {  // the Info frame's check word is lame's business
      const Frame& f = frames[i];
      ASSERT_EQ(data[f.pos + 1] & 1, 0) << "frame at " << f.pos << " has no CRC";
      uint16_t crc = 0;
      ASSERT_TRUE(Layer3Crc(data.data() + f.pos, f.length, crc));
      EXPECT_EQ(crc, layout::ProtectionCrc(data.data() + f.pos));
      EXPECT_EQ(data[f.pos + 4], crc >> 8) << "frame at " << f.pos;
      EXPECT_EQ(data[f.pos + 5], crc & 0xFF) << "frame at " << f.pos;
    }
  };
  checkAll(bytes);  // the encoder's check words agree with ours
  std::vector<uint8_t> patched = Patched(bytes, frames, 3, -2);
  EXPECT_NE(patched, bytes);
  checkAll(patched);

  ASSERT_TRUE(HaveTool("ffmpeg")) << "ffmpeg is not installed (scripts/install-deps)";
  testing::TempFolder temp;
  fs::path out = temp.path / "patched.mp3";
  WriteAll(out, patched);
  fs::path log = temp.path / "ffmpeg.log";
  ASSERT_EQ(RunTool({"ffmpeg", "-nostdin", "-v", "error", "-err_detect", "crccheck", "-i", out.string(), "-f", "null",
                     "-"},
                    "/dev/null", log.string()),
            0);
  std::vector<uint8_t> text = ReadAll(log);
  EXPECT_EQ(std::string(text.begin(), text.end()).find("CRC"), std::string::npos);
}

TEST(LowerFrequencyFrames, SameSamplesAsMp3gain) {
  ASSERT_TRUE(HaveTool("mp3gain") && HaveTool("mpg123")) << "mp3gain or mpg123 is not installed (scripts/install-deps)";
  testing::TempFolder temp;
  for (const auto& file : kLowerFiles) {
    SCOPED_TRACE(file.name);
    fs::path fixture = testing::TestData(file.name);
    ASSERT_TRUE(!fixture.empty() && fs::exists(fixture)) << "QUORVEL_TEST_DATA is not set or lacks " << fixture;
    std::vector<uint8_t> bytes = ReadAll(fixture);
    std::vector<Frame> frames = WalkFrames(bytes);
    fs::path ours = temp.path / (std::string("ours-") + file.name);
    WriteAll(ours, Patched(bytes, frames, 2, 2));
    fs::path theirs = temp.path / (std::string("theirs-") + file.name);
    fs::copy_file(fixture, theirs);
    ASSERT_EQ(RunTool({"mp3gain", "-q", "-c", "-s", "s", "-g", "2", theirs.string()}), 0);
    ASSERT_NE(ReadAll(theirs), bytes) << "mp3gain changed nothing";
    std::vector<int16_t> a = Decode(ours, temp.path);
    EXPECT_GT(a.size(), 1000u);
    EXPECT_EQ(a, Decode(theirs, temp.path));
    EXPECT_NE(a, Decode(fixture, temp.path)) << "the change is audible";
  }
}

}  // namespace
}  // namespace quorvel
