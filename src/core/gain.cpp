#include "core/gain.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/document_ops.h"
#include "core/edit_dialogs.h"
#include "core/edit_ops.h"
#include "core/messages.h"
#include "core/mpeg_header.h"

namespace quorvel {

namespace {

int16_t Clamped(int value) { return static_cast<int16_t>(std::clamp(value, -kMaxGainSteps, kMaxGainSteps)); }

// The ordered selection, clamped to the EditList; false without one.
bool SelectedRange(DocumentState& doc, int32_t& s, int32_t& e) {
  udvcheck(doc, 0);
  udvcheck(doc, 1);
  s = doc.cursor;
  e = doc.selectionEnd;
  OrderBounds(s, e);
  e = std::min(e, static_cast<int32_t>(doc.ref.size()));
  return s < e;
}

}  // namespace

void ClampGain(DocumentState& doc, int32_t p) {
  if (p < 0 || static_cast<size_t>(p) >= doc.gainLeft.size() || static_cast<size_t>(p) >= doc.gainRight.size()) {
    return;
  }
  doc.gainLeft[p] = Clamped(doc.gainLeft[p]);
  doc.gainRight[p] = Clamped(doc.gainRight[p]);
}

bool Layer3Crc(const uint8_t* frame, size_t size, uint16_t& crc) {
  if (frame == nullptr || size < 4) return false;
  const size_t side = static_cast<size_t>(SideInfoLength((frame[1] >> 3) & 3, frame[3] >> 6));
  if (size < 6 + side) return false;
  unsigned value = 0xFFFF;
  auto feed = [&value](uint8_t byte) {
    value ^= static_cast<unsigned>(byte) << 8;
    for (int bit = 0; bit < 8; ++bit) value = (value & 0x8000) ? ((value << 1) ^ 0x8005) & 0xFFFF : (value << 1) & 0xFFFF;
  };
  feed(frame[2]);
  feed(frame[3]);
  for (size_t i = 0; i < side; ++i) feed(frame[6 + i]);
  crc = static_cast<uint16_t>(value);
  return true;
}

void ApplyGainToFrame(uint8_t* frame, size_t size, const frametype& record, int gainLeft, int gainRight) {
  if (frame == nullptr || size < 4) return;
  bool crcPresent = (frame[1] & 1) == 0;
  const GainBits gains = GainBitsOf((frame[1] >> 3) & 3, frame[3] >> 6);
  size_t sideInfo = static_cast<size_t>(SideInfoOffset(crcPresent));
  if (size <= sideInfo) return;
  uint8_t* side = frame + sideInfo;
  size_t sideSize = size - sideInfo;
  auto value = [&](int original, int change) -> uint8_t {
    if (record.spec != 0) return 0;
    return static_cast<uint8_t>(std::clamp(original + change, 0, 255));
  };
  // The fields run granule by granule, channel by channel: in two-channel
  // frames the even ones belong to the left channel, the odd ones to the right.
  for (size_t g = 0; g < static_cast<size_t>(gains.count); ++g) {
    const int change = gains.channels == 2 && g % 2 == 1 ? gainRight : gainLeft;
    WriteGlobalGain(side, sideSize, gains.bits[g], value(record.amplify1[g], change));
  }
  uint16_t crc = 0;
  if (crcPresent && Layer3Crc(frame, size, crc)) {
    frame[4] = static_cast<uint8_t>(crc >> 8);
    frame[5] = static_cast<uint8_t>(crc & 0xFF);
  }
}

void AmplifybutClick(Context& ctx) {
  DocumentState& doc = ctx.doc;
  if (NotReady(ctx)) {
    ctx.script.resultCode = 255;
    return;
  }
  ctx.script.resultCode = 0;
  if (!doc.selectionExists) {
    ctx.script.resultCode = 1;
    if (!ctx.script.active) ReportMessage(ctx, "You must select some frames to amplify.", kMsgWarning, "amplify");
    return;
  }
  int32_t s = 0;
  int32_t e = 0;
  if (!SelectedRange(doc, s, e)) {
    ctx.script.resultCode = 1;
    if (!ctx.script.active) ReportMessage(ctx, "You must select some frames to amplify.", kMsgWarning, "amplify");
    return;
  }

  if (!ctx.script.active) {
    VolumeDialogState state = PrepareVolumeDialog(ctx);
    doc.volumeDialogOpen = true;
    std::optional<VolumeChoice> choice = ctx.host.askVolume(state);
    doc.volumeDialogOpen = false;
    if (!choice) return;
    VolumeChoice accepted = *choice;
    accepted.volumeStep = std::clamp(accepted.volumeStep, -kVolumeSliderCentre, kVolumeSliderCentre);
    if (!state.channelsOffered) accepted.channel = ChannelChoice::kBoth;
    RememberVolumeChoice(ctx, accepted);
    if (accepted.volumeStep == 0) return;
    ctx.edit.volumeStep = accepted.volumeStep;
    ctx.edit.channelChoice = accepted.channel;
    if (ctx.edit.volumeStep > kHighAmplificationSteps &&
        AskRefused(ctx,
                   "You chose very high amplification factor which may cause\r\nsound distortion (and, rarely, "
                   "player malfunction too).\r\nIt is recommended that you check the results if you click OK.",
                   kWarningOkCancelFocusCancel, "amplify")) {
      return;
    }
  }

  TakeUndoSnapshot(ctx);
  const int step = ctx.edit.volumeStep;
  const bool left = ctx.edit.channelChoice != ChannelChoice::kRight;
  const bool right = ctx.edit.channelChoice != ChannelChoice::kLeft;
  for (int32_t p = s; p < e; ++p) {
    if (left) doc.gainLeft[p] = Clamped(doc.gainLeft[p] + step);
    if (right) doc.gainRight[p] = Clamped(doc.gainRight[p] + step);
  }
  MarkEdited(ctx);
  ctx.host.changed(kChangedEditList | kChangedModified);
}

void FadeButClick(Context& ctx) {
  DocumentState& doc = ctx.doc;
  if (NotReady(ctx)) {
    ctx.script.resultCode = 255;
    return;
  }
  ctx.script.resultCode = 0;
  if (!doc.selectionExists) {
    ctx.script.resultCode = 1;
    if (!ctx.script.active) ReportMessage(ctx, "You must select multiple frames.", kMsgWarning, "fade");
    return;
  }
  int32_t s = 0;
  int32_t e = 0;
  SelectedRange(doc, s, e);
  if (e - s < 2) {
    ctx.script.resultCode = 2;
    if (!ctx.script.active) ReportMessage(ctx, "You must select multiple frames.", kMsgWarning, "fade");
    return;
  }
  const int32_t n = e - s;

  if (!ctx.script.active) {
    FadeDialogState state = PrepareFadeDialog(ctx, s, e);
    doc.fadeDialogOpen = true;
    std::optional<FadeChoice> choice = ctx.host.askFade(state);
    doc.fadeDialogOpen = false;
    if (!choice) return;
    FadeChoice accepted = *choice;
    accepted.magnitude = std::clamp(accepted.magnitude, 0, kGainSliderMax);
    if (!FadeOkEnabled(accepted.magnitude)) return;
    RememberFadeChoice(ctx, accepted);
    ctx.edit.fadeMagnitude = accepted.magnitude;
    ctx.edit.fadeIn = accepted.fadeIn;
  }

  TakeUndoSnapshot(ctx);
  const double c = 1.0 / (n - 1);
  const double magnitude = -static_cast<double>(ctx.edit.fadeMagnitude);
  const bool fadeIn = ctx.edit.fadeIn;
  for (int32_t p = s; p < e; ++p) {
    double d = fadeIn ? static_cast<double>(e - 1 - p) : static_cast<double>(p - s);
    // Rounded to the nearest step, ties to even (the default rounding mode).
    int delta = static_cast<int>(std::nearbyint(magnitude * (d * c)));
    int16_t level = Clamped(doc.gainLeft[p] + delta);
    doc.gainLeft[p] = level;
    doc.gainRight[p] = level;
  }
  MarkEdited(ctx);
  ctx.host.changed(kChangedEditList | kChangedModified);
}

}  // namespace quorvel
