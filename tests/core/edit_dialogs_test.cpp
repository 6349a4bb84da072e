#include "core/edit_dialogs.h"

#include <gtest/gtest.h>

#include "core/document_ops.h"
#include "core/edit_fixture.h"
#include "core/headless_host.h"
#include "core/mpeg_header.h"

namespace quorvel {
namespace {

using testing::FrameShape;
using testing::LoadFrames;
using testing::LoadUniform;
using testing::Select;

TEST(EditDialogs, DecibelTexts) {
  struct Case {
    int steps;
    bool plus;
    const char* text;
  } cases[] = {{3, true, "+4.5 dB"},  {-2, true, "-3 dB"},    {0, true, "0 dB"},     {1, true, "+1.5 dB"},
               {20, true, "+30 dB"},  {-20, true, "-30 dB"},  {-3, true, "-4.5 dB"}, {20, false, "30 dB"},
               {40, false, "60 dB"},  {0, false, "0 dB"},     {7, false, "10.5 dB"}};
  for (const auto& c : cases) EXPECT_EQ(DecibelText(c.steps, c.plus), c.text) << c.steps;
  EXPECT_EQ(VolumeLabelText(23), "+4.5 dB");
  EXPECT_EQ(VolumeLabelText(18), "-3 dB");
  EXPECT_EQ(VolumeLabelText(20), "0 dB");
  EXPECT_EQ(FadeLabelText(20), "Magnitude:  30 dB");
  EXPECT_EQ(FadeLabelText(1), "Magnitude:  1.5 dB");
}

TEST(EditDialogs, OkButtons) {
  EXPECT_FALSE(VolumeOkEnabled(20));
  EXPECT_TRUE(VolumeOkEnabled(0));
  EXPECT_TRUE(VolumeOkEnabled(21));
  EXPECT_FALSE(FadeOkEnabled(0));
  EXPECT_TRUE(FadeOkEnabled(40));
}

TEST(EditDialogs, FadeDirectionPreset) {
  struct Case {
    int s, e, count;
    bool fadeIn;
  } cases[] = {
      {0, 10, 10, true},  // from the start: fade in, even when everything is selected
      {0, 4, 10, true},   {1, 10, 10, false},  // up to the end: fade out
      {2, 8, 10, true},   // middle exactly at the centre: first half
      {3, 8, 10, false},  {4, 5, 10, true},   {5, 6, 10, false},
  };
  for (const auto& c : cases) EXPECT_EQ(FadeInPreset(c.s, c.e, c.count), c.fadeIn) << c.s << ".." << c.e;
}

struct DialogState : ::testing::Test {
  HeadlessHost host;
  Context ctx{host};
  DocumentState& doc = ctx.doc;
};

TEST_F(DialogState, VolumeChannelsAndStereoWarning) {
  const FrameShape stereo{0, 0, 9}, joint{0, 1, 9}, dual{0, 2, 9}, mono{0, 3, 9};
  struct Case {
    std::vector<FrameShape> frames;
    bool offered;
    const char* warning;
  } cases[] = {
      {{joint, joint, joint}, true, "joint stereo!"}, {{stereo, stereo, stereo}, true, ""},
      {{dual, dual, dual}, true, ""},                 {{joint, stereo, joint}, true, "mixed stereo!"},
      {{mono, joint, mono}, true, "mixed stereo!"},   {{mono, mono, mono}, false, ""},
  };
  for (const auto& c : cases) {
    LoadFrames(ctx, c.frames);
    Select(doc, 3, 0);
    ctx.options.rememberVolume = 2;
    ctx.options.savedVolumeSteps = 25;
    ctx.options.volumeChannelAndTagSwitches = 0xF2;
    VolumeDialogState state = PrepareVolumeDialog(ctx);
    EXPECT_EQ(state.channelsOffered, c.offered);
    EXPECT_EQ(state.stereoWarning, c.warning);
    EXPECT_EQ(state.sliderPosition, 25);
    EXPECT_EQ(state.channel, c.offered ? ChannelChoice::kRight : ChannelChoice::kBoth);
  }
}

TEST_F(DialogState, VolumeOpensAtTheDefaultsWithoutRemembering) {
  LoadUniform(ctx, 3);
  Select(doc, 0, 2);
  ctx.options.rememberVolume = 0;
  ctx.options.savedVolumeSteps = 30;
  ctx.options.volumeChannelAndTagSwitches = 1;
  VolumeDialogState state = PrepareVolumeDialog(ctx);
  EXPECT_EQ(state.sliderPosition, 20);
  EXPECT_EQ(state.channel, ChannelChoice::kBoth);
  RememberVolumeChoice(ctx, VolumeChoice{5, ChannelChoice::kRight});
  EXPECT_EQ(ctx.options.savedVolumeSteps, 30);  // not remembering: nothing stored
  ctx.options.rememberVolume = 1;
  ctx.options.volumeChannelAndTagSwitches = 0xF0;
  RememberVolumeChoice(ctx, VolumeChoice{5, ChannelChoice::kRight});
  EXPECT_EQ(ctx.options.savedVolumeSteps, 25);
  EXPECT_EQ(ctx.options.volumeChannelAndTagSwitches, 0xF2);  // the tag switches stay
  ctx.options.savedVolumeSteps = 99;  // out of range in a settings file
  EXPECT_EQ(PrepareVolumeDialog(ctx).sliderPosition, 20);
}

TEST_F(DialogState, FadeOpensWithTheRememberedMagnitude) {
  LoadUniform(ctx, 10);
  ctx.options.rememberFade = 1;
  ctx.options.savedFadeSteps = 7;
  EXPECT_EQ(PrepareFadeDialog(ctx, 6, 10).magnitude, 7);
  EXPECT_FALSE(PrepareFadeDialog(ctx, 6, 10).fadeIn);
  ctx.options.rememberFade = 0;
  EXPECT_EQ(PrepareFadeDialog(ctx, 6, 10).magnitude, 20);
}

TEST(SilenceDialog, LengthBoxToFrameCount) {
  struct Case {
    const char* text;
    int freq;
    bool valid;
    int32_t count;
    bool limited;
  } cases[] = {
      {"2", 0, true, 77, false},        {"2.0", 0, true, 77, false},      {" 2.0 ", 0, true, 77, false},
      {"0", 0, true, 0, false},         {"0.012", 1, true, 0, false},     // half a frame: ties to even
      {"0.036", 2, true, 1, false},     {"1", 1, true, 42, false},        {".5", 1, true, 21, false},
      {"-1", 0, false, 0, false},       {"abc", 0, false, 0, false},      {"", 0, false, 0, false},
      {"2,5", 0, false, 0, false},      {"1.2.3", 0, false, 0, false},    {"inf", 0, false, 0, false},
      {"nan", 0, false, 0, false},      {"0x10", 0, false, 0, false},     {"99999999", 2, true, 262144, true},
      {"1e300", 0, true, 262144, true}, {"6848", 0, true, 262144, true},   {"6847.8", 0, true, 262142, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    SilenceLength length = SilenceLengthFromText(c.text, c.freq);
    EXPECT_EQ(length.valid, c.valid);
    if (!c.valid) {
      EXPECT_FALSE(SilenceOkEnabled(length));
      continue;
    }
    EXPECT_EQ(length.count, c.count);
    EXPECT_EQ(length.limited, c.limited);
    EXPECT_EQ(SilenceOkEnabled(length), c.count != 0);
    if (c.limited) {
      EXPECT_EQ(length.boxText, SilenceCountText(262144, c.freq));
    } else {
      EXPECT_EQ(length.boxText, c.text);
    }
  }
  EXPECT_EQ(SilenceCountText(262144, 2), "9437.184");
  EXPECT_EQ(SilenceCountText(77, 0), "2.011");
  EXPECT_EQ(SilenceCountText(0, 0), "0");
  EXPECT_EQ(SilenceCountText(25, 1), "0.6");
}

TEST(SilenceDialog, StepButtons) {
  EXPECT_EQ(SilenceStepFrame(5, true), 6);
  EXPECT_EQ(SilenceStepFrame(5, false), 4);
  EXPECT_EQ(SilenceStepFrame(0, false), 0);
  EXPECT_EQ(SilenceStepFrame(262144, true), 262144);

  struct Case {
    double seconds;
    bool up;
    int freq;
    int32_t count;
  } cases[] = {
      {2.0, true, 0, 115},    // Int(3.5001) = 3 s = 114.8 frames
      {2.0, false, 0, 38},    // Int(1.4999) = 1 s
      {2.6, true, 1, 167},    // Int(4.1001) = 4 s = 166.67 frames
      {0.3, false, 0, 0},     // Int(-0.2001) is 0
      {0.0, false, 2, 0},     // below 0 stays 0
      {0.0, true, 2, 28},     // 1 s at 32 kHz = 27.8 frames
      {1e9, true, 0, 262144}, // limited
  };
  for (const auto& c : cases) EXPECT_EQ(SilenceStepSecond(c.seconds, c.up, c.freq), c.count) << c.seconds;
}

TEST(SilenceDialog, AutoRepeatSpeedsUp) {
  std::vector<int> intervals{kSilenceRepeatStartMs};
  for (int i = 0; i < 16; ++i) intervals.push_back(SilenceRepeatInterval(intervals.back()));
  EXPECT_EQ(intervals,
            (std::vector<int>{220, 180, 140, 100, 80, 60, 40, 20, 18, 16, 14, 12, 10, 8, 8, 8, 8}));
}

TEST(SilenceDialog, FrequencyListOrder) {
  EXPECT_EQ(SilenceFrequencyOfItem(0), 2);
  EXPECT_EQ(SilenceFrequencyOfItem(1), 0);
  EXPECT_EQ(SilenceFrequencyOfItem(2), 1);
  for (int f = 0; f < 3; ++f) EXPECT_EQ(SilenceFrequencyOfItem(SilenceItemOfFrequency(f)), f);
}

std::vector<std::string> BitrateItems(int recommended, const char* others) {
  static const char* names[] = {"32 kbps",  "40 kbps",  "48 kbps",  "56 kbps",  "64 kbps",
                                "80 kbps",  "96 kbps",  "112 kbps", "128 kbps", "160 kbps",
                                "192 kbps", "224 kbps", "256 kbps", "320 kbps"};
  std::vector<std::string> items;
  for (int b = 1; b <= 14; ++b) items.push_back(std::string(names[b - 1]) + (b == recommended ? " (RECOMMENDED)" : others));
  return items;
}

TEST_F(DialogState, SilenceListsOfAUniformDocument) {
  LoadUniform(ctx, 100, FrameShape{1, 1, 9});  // 48 kHz joint stereo 128 kbps
  SilenceDialogState state = PrepareSilenceDialog(ctx);
  EXPECT_EQ(state.presetCount, 0);
  EXPECT_EQ(state.lengthText, "0");
  EXPECT_EQ(state.placementLabel, "SILENCE WILL BE INSERTED");
  EXPECT_EQ(state.bitrateItems, BitrateItems(9, " (makes file VBR)"));
  EXPECT_EQ(state.bitrateSelected, 8);
  EXPECT_EQ(state.frequencyItems,
            (std::vector<std::string>{"32 KHz (makes mixed freq.)", "44.1 KHz (makes mixed freq.)", "48 KHz (RECOMMENDED)"}));
  EXPECT_EQ(state.frequencySelected, 2);
  EXPECT_EQ(state.modeItems, (std::vector<std::string>{"stereo (makes variable stereo)", "joint stereo (RECOMMENDED)",
                                                       "dual channel (makes variable stereo)",
                                                       "mono (makes variable stereo)"}));
  EXPECT_EQ(state.modeSelected, 1);

  Select(doc, 60, 10);
  state = PrepareSilenceDialog(ctx);
  EXPECT_EQ(state.presetCount, 50);
  EXPECT_EQ(state.lengthText, "1.2");
  EXPECT_EQ(state.placementLabel, "SILENCE WILL REPLACE THE SELECTION");
  EXPECT_EQ(state.bitrateItems, BitrateItems(9, " (makes file VBR)"));
}

TEST_F(DialogState, SilenceListsWhenEverythingIsSelectedFromTheStart) {
  LoadUniform(ctx, 100, FrameShape{0, 3, 5});  // 44.1 kHz mono 64 kbps
  Select(doc, 0, 100);
  SilenceDialogState state = PrepareSilenceDialog(ctx);
  EXPECT_EQ(state.presetCount, 100);
  EXPECT_EQ(state.bitrateItems, BitrateItems(5, ""));
  EXPECT_EQ(state.bitrateSelected, 4);
  EXPECT_EQ(state.frequencyItems, (std::vector<std::string>{"32 KHz ", "44.1 KHz (RECOMMENDED)", "48 KHz "}));
  EXPECT_EQ(state.modeItems,
            (std::vector<std::string>{"stereo", "joint stereo", "dual channel", "mono (RECOMMENDED)"}));
  EXPECT_EQ(state.modeSelected, 3);
  // The same frames selected backwards still warn.
  Select(doc, 100, 0);
  EXPECT_EQ(PrepareSilenceDialog(ctx).bitrateItems, BitrateItems(5, " (makes file VBR)"));
}

TEST_F(DialogState, SilenceListsOfAMixedDocument) {
  LoadFrames(ctx, {FrameShape{0, 0, 9}, FrameShape{1, 1, 11}, FrameShape{2, 3, 9}});
  SilenceDialogState state = PrepareSilenceDialog(ctx);
  EXPECT_EQ(state.bitrateItems, BitrateItems(1, ""));
  EXPECT_EQ(state.bitrateSelected, 0);
  // A source of mixed frequency and modes recommends 44.1 kHz and joint stereo.
  EXPECT_EQ(state.frequencyItems, (std::vector<std::string>{"32 KHz ", "44.1 KHz (RECOMMENDED)", "48 KHz "}));
  EXPECT_EQ(state.frequencySelected, 1);
  EXPECT_EQ(state.modeItems,
            (std::vector<std::string>{"stereo", "joint stereo (RECOMMENDED)", "dual channel", "mono"}));
  EXPECT_EQ(state.modeSelected, 1);
}

// An MPEG-2 document offers its version's bitrates and frequencies, and
// lengths count frames of 576 samples; the same in MPEG-2.5.
TEST_F(DialogState, SilenceListsAndLengthsOfLowerVersions) {
  doc.version = kVersionMpeg2;
  LoadUniform(ctx, 100, FrameShape{0, 1, 9});  // 22.05 kHz joint stereo 80 kbps
  SilenceDialogState state = PrepareSilenceDialog(ctx);
  EXPECT_EQ(state.version, kVersionMpeg2);
  static const char* names[] = {"8 kbps",  "16 kbps", "24 kbps",  "32 kbps",  "40 kbps",  "48 kbps",  "56 kbps",
                                "64 kbps", "80 kbps", "96 kbps", "112 kbps", "128 kbps", "144 kbps", "160 kbps"};
  std::vector<std::string> bitrates;
  for (int b = 1; b <= 14; ++b)
    bitrates.push_back(std::string(names[b - 1]) + (b == 9 ? " (RECOMMENDED)" : " (makes file VBR)"));
  EXPECT_EQ(state.bitrateItems, bitrates);
  EXPECT_EQ(state.frequencyItems, (std::vector<std::string>{"16 KHz (makes mixed freq.)", "22.05 KHz (RECOMMENDED)",
                                                            "24 KHz (makes mixed freq.)"}));
  Select(doc, 60, 10);
  EXPECT_EQ(PrepareSilenceDialog(ctx).lengthText, "1.306");  // 50 x 576 / 22050 s

  EXPECT_EQ(SilenceLengthFromText("1", 0, kVersionMpeg2).count, 38);   // 1 / 26.122 ms
  EXPECT_EQ(SilenceLengthFromText("1", 2, kVersionMpeg25).count, 14);  // 1 / 72 ms
  EXPECT_EQ(SilenceStepSecond(0.0, true, 2, kVersionMpeg25), 14);
  EXPECT_EQ(SilenceCountText(14, 2, kVersionMpeg25), "1.008");
  EXPECT_EQ(SilenceCountText(25, 1, kVersionMpeg2), "0.6");  // 25 x 24 ms

  doc.version = kVersionMpeg25;
  LoadUniform(ctx, 100, FrameShape{2, 3, 2});  // 8 kHz mono 16 kbps
  state = PrepareSilenceDialog(ctx);
  EXPECT_EQ(state.frequencyItems, (std::vector<std::string>{"8 KHz (RECOMMENDED)", "11.025 KHz (makes mixed freq.)",
                                                            "12 KHz (makes mixed freq.)"}));
  EXPECT_EQ(state.bitrateItems[1], "16 kbps (RECOMMENDED)");
}

TEST_F(DialogState, SilencePresetIsLimitedTo256KFrames) {
  LoadUniform(ctx, 300000);
  Select(doc, 0, 300000);
  SilenceDialogState state = PrepareSilenceDialog(ctx);
  EXPECT_EQ(state.presetCount, 262144);
  EXPECT_EQ(state.lengthText, "7836.735");  // the selection's duration
  SilenceLength length = SilenceLengthFromText(state.lengthText, 0);
  EXPECT_TRUE(length.limited);
  EXPECT_EQ(length.count, 262144);
}

}  // namespace
}  // namespace quorvel
