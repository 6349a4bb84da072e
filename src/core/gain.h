#pragma once
// Volume, balance and fades. Loudness changes are step counts (1.5 dB each)
// added to the gainLeft/gainRight of EditList positions; the frames are
// changed only when a file is written, by rewriting the 8-bit global_gain
// fields of their Layer III side information (ISO/IEC 11172-3, 2.4.1.7).

#include <cstddef>
#include <cstdint>

#include "core/context.h"
#include "core/document.h"

namespace quorvel {

constexpr int kMaxGainSteps = 255;
// Amplification above this many steps (+12 dB) asks for confirmation first.
constexpr int kHighAmplificationSteps = 8;

// Keeps gainLeft and gainRight of position p within -255..+255.
void ClampGain(DocumentState& doc, int32_t p);

// Rewrites the global_gain fields of one frame held in memory (frame[0] is the
// header's first byte): each becomes the record's own value as analysed
// (amplify1) plus gainLeft for channel 0 and gainRight for channel 1, limited
// to 0..255; an information frame (spec not 0) gets 0. A frame protected by a
// CRC gets the CRC of its new side information, so that decoders that check it
// still accept the frame. Fields that lie beyond size are left alone. The
// writer calls it only for frames whose position carries a change on either
// side, so an unchanged frame (information frames included) is copied as is.
void ApplyGainToFrame(uint8_t* frame, size_t size, const frametype& record, int gainLeft, int gainRight);

// The CRC-16 of a Layer III frame (ISO/IEC 11172-3, 2.4.3.1): polynomial 0x8005,
// start value 0xFFFF, over the last two header bytes and the side information.
// False when the frame is too short to hold its side information.
bool Layer3Crc(const uint8_t* frame, size_t size, uint16_t& crc);

// Volume/balance on the selection (script: ctx.edit.volumeStep and channelChoice).
void AmplifybutClick(Context& ctx);
// Linear fade in or out over the selection (script: ctx.edit.fadeMagnitude and fadeIn).
void FadeButClick(Context& ctx);

}  // namespace quorvel
