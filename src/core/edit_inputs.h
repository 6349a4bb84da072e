#pragma once
// Inputs of the gain, fade, silence and insert operations, as a dialog or a
// script command sets them, and what the editing dialogs are opened with and
// return. The values the dialogs derive from the document are computed by
// core/edit_dialogs.h.

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

enum class ChannelChoice : uint8_t { kBoth = 0, kLeft = 1, kRight = 2 };

// Operation inputs. The silence bitrate, frequency and mode keep their values
// between uses; a script sets only the count and so reuses them.
struct EditInputs {
  int volumeStep = 0;  // global_gain steps of 1.5 dB
  ChannelChoice channelChoice = ChannelChoice::kBoth;
  int fadeMagnitude = 20;  // steps, applied as an attenuation
  bool fadeIn = true;
  int32_t silenceCount = 0;
  uint8_t silenceBitrate = 1;    // bitrate index 1..14 (32 kbps)
  uint8_t silenceFrequency = 0;  // 0 44.1 kHz, 1 48 kHz, 2 32 kHz
  uint8_t silenceMode = 0;       // 0 stereo .. 3 mono
  std::string insertFileName;
};

// "Volume and balance change"
struct VolumeDialogState {
  int sliderPosition = 20;  // 0..40; the step is position - 20
  ChannelChoice channel = ChannelChoice::kBoth;
  bool channelsOffered = true;  // "&Left channel" / "&Right channel" offered
  std::string stereoWarning;    // "", "joint stereo!" or "mixed stereo!" (shown by four labels)
};

struct VolumeChoice {
  int volumeStep = 0;  // -20..+20
  ChannelChoice channel = ChannelChoice::kBoth;
};

// "Fade In/Out"
struct FadeDialogState {
  int magnitude = 20;  // slider 0..40
  bool fadeIn = true;
};

struct FadeChoice {
  int magnitude = 20;
  bool fadeIn = true;
};

// "Add blank frames (silence)"
struct SilenceDialogState {
  int32_t presetCount = 0;
  std::string lengthText;      // "&Silence length [sec]:" box
  std::string placementLabel;  // "SILENCE WILL REPLACE THE SELECTION" or "SILENCE WILL BE INSERTED"
  std::vector<std::string> bitrateItems;    // item i is bitrate index i + 1
  int bitrateSelected = 0;
  std::vector<std::string> frequencyItems;  // "32 KHz ...", "44.1 KHz ...", "48 KHz ..."
  int frequencySelected = 0;
  std::vector<std::string> modeItems;       // "stereo ..", "joint stereo ..", "dual channel ..", "mono .."
  int modeSelected = 0;
  uint8_t version = 3;  // the document's MPEG version code: the frequencies and bitrates are of its tables
};

struct SilenceChoice {
  int32_t count = 0;
  uint8_t bitrate = 1;    // bitrate index 1..14
  uint8_t frequency = 0;  // frequency index 0..2 (not the list position)
  uint8_t mode = 0;
};

}  // namespace quorvel
