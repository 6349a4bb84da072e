#pragma once
// The encoder extension that LAME appends to its "Xing"/"Info" information
// frame: 36 bytes right after the Xing fields that are present (flags, frame
// count, byte count, 100-byte table of contents, quality). Gapless players
// read the encoder delay and padding from it and trim those samples.
//
// Layout (big-endian), from the extension's first byte:
//   0  9  encoder string ("LAME3.100")
//   9  1  revision << 4 | VBR method
//  10  1  lowpass / 100 Hz
//  11  4  ReplayGain peak (fixed point, 1.0 = 1 << 23)
//  15  2  ReplayGain track ("radio") gain
//  17  2  ReplayGain album ("audiophile") gain
//  19  1  encoder flags << 4 | ATH type
//  20  1  bitrate (ABR target or VBR minimum, kbps)
//  21  3  encoder delay (12 bits), padding (12 bits)
//  24  1  noise shaping (2 bits), stereo mode (3), unwise settings (1), source frequency (2)
//  25  1  MP3 gain (signed, 1.5 dB steps)
//  26  2  preset and surround
//  28  4  music length: bytes from the information frame's first byte to the end of the audio
//  32  2  music CRC: CRC-16 of the audio after the information frame
//  34  2  CRC-16 of the information frame from its first byte up to this field

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "tags/file_io.h"

namespace quorvel {

constexpr size_t kLameTagSize = 36;
constexpr int kLameTagCrcCovers = 34;  // extension bytes the tag CRC covers, besides the frame before it
constexpr int kMaxLameDelay = 4095;

struct LameTag {
  bool present = false;  // a trusted extension was read
  std::array<uint8_t, kLameTagSize> raw{};
  bool hasQuality = false;
  uint32_t quality = 0;
  int32_t delay = 0;
  int32_t padding = 0;
  int64_t samplesPerFrame = 1152;  // of the frame's version: 1152 MPEG-1, 576 MPEG-2 and 2.5
  // FrameTable records of the file's first and last audio frames; delay and
  // padding belong to an output only where it starts or ends with these.
  int32_t firstRecord = -1;
  int32_t lastRecord = -1;

  std::string encoder() const;  // the encoder string, up to its first NUL, printable bytes only
  uint32_t musicLength() const;
  uint16_t musicCrc() const;
  uint16_t tagCrc() const;
};

// CRC-16 with polynomial 0x8005 in reflected form (0xA001), start value 0:
// the check LAME uses for the music and for its tag.
uint16_t LameCrc16(const uint8_t* data, size_t size, uint16_t crc = 0);

// Where the extension starts in an information frame whose "Xing" or "Info"
// marker is at markerOffset: after the flags and the fields they announce.
int LameTagOffset(const uint8_t* frame, size_t size, int markerOffset);

// Reads the extension of an information frame (frame[0] is the header's first
// byte, size the frame's bytes). Finds the "Xing"/"Info" marker where
// decoders look (right after the side information), and takes the extension
// only when it lies inside the frame and its CRC-16 checks. nullopt otherwise,
// and for "VBRI" frames, which carry no such extension.
std::optional<LameTag> ParseLameTag(const uint8_t* frame, size_t size);

// Whether the values fit the file they were read from: the music length is
// the distance from the information frame (infoPos) to the end of the last
// audio frame (audioEnd), and delay plus padding are no more than the audio
// frames' samples.
bool LameTagFitsFile(const LameTag& tag, int64_t infoPos, int64_t audioEnd, int64_t audioFrames);

// Reads the information frame of framelen bytes at infoPos of file and takes
// its extension when it is trusted (ParseLameTag, LameTagFitsFile); the audio
// frames are firstRecord .. lastRecord of the FrameTable, ending at audioEnd.
// An absent extension otherwise.
LameTag ReadTrustedLameTag(InputFile& file, int64_t infoPos, int32_t framelen, int64_t audioEnd,
                           int32_t firstRecord, int32_t lastRecord);

// The extension's fields that an output carries over from its origin, with
// delay, padding and the ReplayGain fields as given; music length, music CRC
// and the tag CRC are filled in later (FinishLameTag).
struct LameTagEdit {
  int32_t delay = 0;
  int32_t padding = 0;
  // Gain steps (1.5 dB) the whole output took uniformly; nullopt when the
  // frames took different changes (the ReplayGain values are then cleared).
  std::optional<int> uniformGain = 0;
};
std::array<uint8_t, kLameTagSize> EditedLameTag(const LameTag& origin, const LameTagEdit& edit);

// Writes music length and music CRC into the extension at tagOffset of the
// frame, then the CRC-16 of frame[0 .. tagOffset + 34).
void FinishLameTag(uint8_t* frame, size_t tagOffset, uint32_t musicLength, uint16_t musicCrc);

}  // namespace quorvel
