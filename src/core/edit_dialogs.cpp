#include "core/edit_dialogs.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdlib>

#include "core/document_ops.h"
#include "core/mpeg_header.h"

namespace quorvel {

std::string DecibelText(int steps, bool plusSign) {
  std::string text = DecimalText(steps * 1.5, 1, true);
  if (plusSign && steps > 0) text = "+" + text;
  return text + " dB";
}

std::string VolumeLabelText(int sliderPosition) {
  return DecibelText(sliderPosition - kVolumeSliderCentre, true);
}

VolumeDialogState PrepareVolumeDialog(const Context& ctx) {
  const Options& options = ctx.options;
  VolumeDialogState state;
  if (options.rememberVolume != 0) {
    state.sliderPosition = options.savedVolumeSteps <= kGainSliderMax ? options.savedVolumeSteps : kVolumeSliderCentre;
    int channel = options.volumeChannelAndTagSwitches & 3;
    state.channel = channel == 1 ? ChannelChoice::kLeft : channel == 2 ? ChannelChoice::kRight : ChannelChoice::kBoth;
  }
  state.channelsOffered = !SelectionAllMono(ctx.doc);
  if (!state.channelsOffered) {
    state.channel = ChannelChoice::kBoth;
  } else {
    int modes = SelectionModes(ctx.doc);
    if (modes == 1) state.stereoWarning = "joint stereo!";
    if (modes == 2) state.stereoWarning = "mixed stereo!";
  }
  return state;
}

bool VolumeOkEnabled(int sliderPosition) { return sliderPosition != kVolumeSliderCentre; }

void RememberVolumeChoice(Context& ctx, const VolumeChoice& choice) {
  Options& options = ctx.options;
  if (options.rememberVolume == 0) return;
  int position = std::clamp(choice.volumeStep + kVolumeSliderCentre, 0, kGainSliderMax);
  options.savedVolumeSteps = static_cast<uint8_t>(position);
  options.volumeChannelAndTagSwitches =
      static_cast<uint8_t>((options.volumeChannelAndTagSwitches & ~3u) | static_cast<unsigned>(choice.channel));
}

std::string FadeLabelText(int magnitude) { return "Magnitude:  " + DecibelText(magnitude, false); }

bool FadeInPreset(int32_t s, int32_t e, int32_t editCount) {
  if (s == 0) return true;
  if (e < editCount) return static_cast<int64_t>(s) + e <= editCount;
  return false;
}

FadeDialogState PrepareFadeDialog(const Context& ctx, int32_t s, int32_t e) {
  FadeDialogState state;
  const Options& options = ctx.options;
  if (options.rememberFade != 0 && options.savedFadeSteps <= kGainSliderMax) state.magnitude = options.savedFadeSteps;
  state.fadeIn = FadeInPreset(s, e, ctx.doc.editCount);
  return state;
}

bool FadeOkEnabled(int magnitude) { return magnitude != 0; }

void RememberFadeChoice(Context& ctx, const FadeChoice& choice) {
  if (ctx.options.rememberFade == 0) return;
  ctx.options.savedFadeSteps = static_cast<uint8_t>(std::clamp(choice.magnitude, 0, kGainSliderMax));
}

double SilenceFrameDuration(int freqIndex, int version) {
  // Index 3 (reserved) is read as index 0, as in a blank frame's code.
  const int f = (freqIndex & 3) == 3 ? 0 : freqIndex & 3;
  return SecondsPerFrame(version == kVersionReserved ? kVersionMpeg1 : version & 3, f);
}

std::string SilenceLengthText(double seconds) { return DecimalText(seconds, 3, true); }

std::string SilenceCountText(int32_t count, int freqIndex, int version) {
  return SilenceLengthText(count * SilenceFrameDuration(freqIndex, version));
}

namespace {

// A plain decimal number: digits with one optional separator, an optional sign
// and exponent, surrounding blanks allowed. Infinity, NaN and hexadecimal forms
// are not numbers here.
bool ParseDecimal(std::string text, char separator, double& value) {
  auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  while (!text.empty() && blank(static_cast<unsigned char>(text.back()))) text.pop_back();
  size_t start = 0;
  while (start < text.size() && blank(static_cast<unsigned char>(text[start]))) ++start;
  text = text.substr(start);
  if (text.empty()) return false;
  bool digit = false;
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digit = true;
    } else if (c != separator && c != '+' && c != '-' && c != 'e' && c != 'E') {
      return false;
    }
  }
  if (!digit) return false;
  // strtod reads the locale's separator; hand it the text with that one.
  const char* point = std::localeconv()->decimal_point;
  char localSeparator = point != nullptr && point[0] != '\0' ? point[0] : '.';
  if (separator != localSeparator) {
    if (text.find(localSeparator) != std::string::npos) return false;
    std::replace(text.begin(), text.end(), separator, localSeparator);
  }
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || std::isnan(v)) return false;
  value = v;
  return true;
}

}  // namespace

SilenceLength SilenceLengthFromText(const std::string& text, int freqIndex, int version) {
  SilenceLength result;
  result.boxText = text;
  double seconds = 0;
  const char* point = std::localeconv()->decimal_point;
  char localSeparator = point != nullptr && point[0] != '\0' ? point[0] : '.';
  if (!ParseDecimal(text, '.', seconds) && !(localSeparator != '.' && ParseDecimal(text, localSeparator, seconds))) {
    return result;
  }
  if (!(seconds >= 0)) return result;
  result.valid = true;
  result.seconds = seconds;
  double frames = seconds / SilenceFrameDuration(freqIndex, version);
  double rounded = std::isfinite(frames) ? std::nearbyint(frames) : INFINITY;
  if (rounded > kMaxSilenceFrames) {
    result.count = kMaxSilenceFrames;
    result.limited = true;
    result.boxText = SilenceCountText(kMaxSilenceFrames, freqIndex, version);
    result.seconds = kMaxSilenceFrames * SilenceFrameDuration(freqIndex, version);
  } else {
    result.count = static_cast<int32_t>(rounded);
  }
  return result;
}

bool SilenceOkEnabled(const SilenceLength& length) { return length.valid && length.count != 0; }

int32_t SilenceStepFrame(int32_t count, bool up) {
  count = std::clamp(count, 0, kMaxSilenceFrames);
  if (up) return std::min(count + 1, kMaxSilenceFrames);
  return std::max(count - 1, 0);
}

int32_t SilenceStepSecond(double seconds, bool up, int freqIndex, int version) {
  if (!std::isfinite(seconds)) seconds = 0;
  double length = std::trunc(up ? seconds + 1.5001 : seconds - 0.5001);
  if (length < 0) length = 0;
  double frames = std::trunc(length / SilenceFrameDuration(freqIndex, version) + 0.5);
  return frames > kMaxSilenceFrames ? kMaxSilenceFrames : static_cast<int32_t>(frames);
}

int SilenceRepeatInterval(int intervalMs) {
  if (intervalMs > 100) return intervalMs - 40;
  if (intervalMs > 20) return intervalMs - 20;
  if (intervalMs >= 9) return intervalMs - 2;
  return intervalMs;
}

namespace {

constexpr std::array<uint8_t, 3> kFrequencyListOrder = {2, 0, 1};  // 32, 44.1, 48 kHz

}  // namespace

uint8_t SilenceFrequencyOfItem(int item) {
  return kFrequencyListOrder[static_cast<size_t>(std::clamp(item, 0, 2))];
}

int SilenceItemOfFrequency(int freqIndex) {
  for (size_t i = 0; i < kFrequencyListOrder.size(); ++i) {
    if (kFrequencyListOrder[i] == freqIndex) return static_cast<int>(i);
  }
  return 1;
}

SilenceDialogState PrepareSilenceDialog(const Context& ctx) {
  const DocumentState& doc = ctx.doc;
  SilenceDialogState state;
  state.version = doc.version;
  bool selection = doc.selectionExists && doc.cursor != doc.selectionEnd;
  if (selection) {
    int32_t s = doc.cursor;
    int32_t e = doc.selectionEnd;
    OrderBounds(s, e);
    state.presetCount = std::min(e - s, kMaxSilenceFrames);
    state.lengthText = SilenceLengthText(DurationBetween(doc, s, e));
  } else {
    state.presetCount = 0;
    state.lengthText = SilenceLengthText(0.0);  // "0"
  }
  state.placementLabel = selection ? "SILENCE WILL REPLACE THE SELECTION" : "SILENCE WILL BE INSERTED";
  // Everything selected, from the cursor at 0: whatever is chosen, the file
  // stays uniform, so no entry warns.
  bool wholeSelected = selection && doc.cursor == 0 && doc.selectionEnd == doc.editCount;

  uint8_t bitrate = doc.editStats.bitrateSummary;
  bool singleBitrate = bitrate >= 1 && bitrate <= 14;
  for (int b = 1; b <= 14; ++b) {
    std::string item = BitrateText(b, doc.version);
    if (singleBitrate) {
      if (b == bitrate) {
        item += " (RECOMMENDED)";
      } else if (!wholeSelected) {
        item += " (makes file VBR)";
      }
    } else if (b == 1) {
      item += " (RECOMMENDED)";
    }
    state.bitrateItems.push_back(item);
  }
  state.bitrateSelected = singleBitrate ? bitrate - 1 : 0;

  // Blank frames are of the document's version: the source's one frequency
  // is recommended when it is of that version too.
  const uint8_t sourceFreq = doc.sourceStats.freqSummary;
  uint8_t freq = 0;
  if (sourceFreq != kFrequencyMixed && SlotVersion(doc.version, sourceFreq) == doc.version) freq = sourceFreq % 3;
  bool freqMixed = doc.editStats.freqSummary == kFrequencyMixed;
  for (size_t i = 0; i < kFrequencyListOrder.size(); ++i) {
    uint8_t f = kFrequencyListOrder[i];
    std::string item = FrequencyText(f, doc.version) + " ";
    if (f == freq) {
      item += "(RECOMMENDED)";
    } else if (!freqMixed && !wholeSelected) {
      item += "(makes mixed freq.)";
    }
    state.frequencyItems.push_back(item);
  }
  state.frequencySelected = SilenceItemOfFrequency(freq);

  uint8_t mode = doc.sourceStats.modeSummary <= 3 ? doc.sourceStats.modeSummary : 1;
  bool modeMixed = doc.editStats.modeSummary > 3;
  for (int m = 0; m <= 3; ++m) {
    std::string item = ModeText(m);
    if (m == mode) {
      item += " (RECOMMENDED)";
    } else if (!modeMixed && !wholeSelected) {
      item += " (makes variable stereo)";
    }
    state.modeItems.push_back(item);
  }
  state.modeSelected = mode;
  return state;
}

}  // namespace quorvel
