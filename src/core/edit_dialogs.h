#pragma once
// What the volume/balance, fade and silence dialogs show and compute from the
// document: presets, list entries with their advice suffixes, the warning
// labels, and the arithmetic of the length box and its step buttons. The
// windows only display these values and hand the accepted ones back.

#include <cstdint>
#include <string>

#include "core/context.h"
#include "core/edit_inputs.h"

namespace quorvel {

constexpr int kVolumeSliderCentre = 20;
constexpr int kGainSliderMax = 40;
constexpr int kDefaultFadeSteps = 20;
constexpr int32_t kMaxSilenceFrames = 262144;

// steps × 1.5 dB with at most one decimal ("4.5", "-3", "0"), with "+" in
// front of positive values when plusSign is set, followed by " dB".
std::string DecibelText(int steps, bool plusSign);

// Volume dialog: the centre label, the state it opens with (remembered slider
// and channel when remembering is on; channels and stereo warning from the
// selection), whether "O&K" is enabled, and storing an accepted choice.
std::string VolumeLabelText(int sliderPosition);
VolumeDialogState PrepareVolumeDialog(const Context& ctx);
bool VolumeOkEnabled(int sliderPosition);
void RememberVolumeChoice(Context& ctx, const VolumeChoice& choice);

// Fade dialog: "Magnitude:  30 dB", the direction preset for the ordered
// selection s < e, the opening state, "O&K" and storing an accepted choice.
std::string FadeLabelText(int magnitude);
bool FadeInPreset(int32_t s, int32_t e, int32_t editCount);
FadeDialogState PrepareFadeDialog(const Context& ctx, int32_t s, int32_t e);
bool FadeOkEnabled(int magnitude);
void RememberFadeChoice(Context& ctx, const FadeChoice& choice);

// Silence dialog.
// Frequency indices are of the version's table (the document's version).
double SilenceFrameDuration(int freqIndex, int version = 3);
// A length in seconds with up to 3 decimals, trailing zeros and point removed.
std::string SilenceLengthText(double seconds);
// count × the frame duration at freqIndex, as shown in the box.
std::string SilenceCountText(int32_t count, int freqIndex, int version = 3);

struct SilenceLength {
  bool valid = false;     // a number of 0 or more: otherwise the box is red and "OK" disabled
  double seconds = 0;
  int32_t count = 0;      // frames at the chosen frequency, rounded half to even
  bool limited = false;   // above 262,144 frames: count is 262,144 and the box is rewritten
  std::string boxText;    // the text the box shows afterwards
};
// Reads the length box ("." as decimal separator, failing that the locale's).
SilenceLength SilenceLengthFromText(const std::string& text, int freqIndex, int version = 3);
bool SilenceOkEnabled(const SilenceLength& length);

// Step buttons: "▴"/"▾" add or remove one frame (0..262,144); "▲"/"▼" move the
// length to the next whole second up (Int(length + 1.5001)) or down
// (Int(length - 0.5001), not below 0) and round it to frames.
int32_t SilenceStepFrame(int32_t count, bool up);
int32_t SilenceStepSecond(double seconds, bool up, int freqIndex, int version = 3);
// Auto-repeat of a held step button: the interval after the next repetition.
int SilenceRepeatInterval(int intervalMs);
constexpr int kSilenceRepeatStartMs = 220;

// The list entries and preselection of the silence dialog, built from the
// document (and the preset count from the selection).
SilenceDialogState PrepareSilenceDialog(const Context& ctx);
// Frequency index of an entry of the frequency list ("32 KHz", "44.1 KHz", "48 KHz").
uint8_t SilenceFrequencyOfItem(int item);
int SilenceItemOfFrequency(int freqIndex);

}  // namespace quorvel
