#pragma once
// The Xing frame written in front of the audio of a variable-bitrate output: an
// MPEG-1 Layer III frame whose all-zero side information decodes as silence and
// which carries, after the side information, "Xing", the flags, the number of
// audio frames, the byte count and a 100-entry table of contents.
//
// The frame is built in memory with the frame count known before the audio is
// written; the byte count and the table are known only when the file is complete
// and are patched in afterwards (XingCompletionBytes). Recognising the
// information frames of a scanned file ("Xing", "Info", "VBRI", "FBRI") is done
// by DecodeFrameAt's marker probe in core/mpeg_header.h.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/document.h"
#include "core/mpeg_header.h"

namespace quorvel {

// Header fields of the Xing frame.
struct XingShape {
  uint8_t freqIndex = 0;  // 0 44.1 kHz, 1 48 kHz, 2 32 kHz (in MPEG-1)
  uint8_t mode = 0;       // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  uint8_t version = kVersionMpeg1;  // the audio's MPEG version code
};

// The sampling frequency is that of the first audio frame written, so that the
// Xing frame's header, its length and the frames after it agree. The channel
// mode is the edit's mode summary when it names one mode; with mixed modes
// (summary 4) it is the mode of the first audio frame written, with mono taken
// as joint stereo. A frequency index of 3 (reserved) is read as 44.1 kHz.
XingShape ChooseXingShape(uint8_t modeSummary, uint8_t firstFreqIndex, uint8_t firstMode);
// The same for a write whose first audio frame is EditList position
// firstPosition (a FrameTable record or a blank frame), with the mode summary
// of editStats and the document's version.
XingShape ChooseXingShape(const DocumentState& doc, int32_t firstPosition);

// Bitrate index of the Xing frame's header: in MPEG-1 48 kbps (3) at 44.1 and
// 32 kHz, where the frame is 156 and 216 bytes; 56 kbps (4) at 48 kHz, where 48
// kbps would give only 144 bytes, too few for the fields of a two-channel frame
// (they end at 156). In MPEG-2 and 2.5 the lowest bitrate whose frame holds the
// fields of a two-channel frame (they end at 4 + 17 + 116 = 137).
int XingBitrateIndex(int freqIndex, int version = kVersionMpeg1);
// The frame's length at that bitrate, no padding: in MPEG-1 156, 168 or 216 bytes.
int32_t XingFrameLength(int freqIndex, int version = kVersionMpeg1);
// "Xing" follows the side information: in MPEG-1 at 21 in a mono frame (4 + 17),
// at 36 in a two-channel one (4 + 32); in MPEG-2 and 2.5 at 13 (4 + 9) and 21
// (4 + 17). Decoders look for it only there.
int XingMarkerOffset(int mode, int version = kVersionMpeg1);
// Where the byte count starts (marker + 12); the table of contents follows it.
int XingByteCountOffset(int mode, int version = kVersionMpeg1);

constexpr uint32_t kXingFlags = 7;  // frame count, byte count and table present; no quality
constexpr int kXingTocEntries = 100;
// Byte count (4 bytes, big-endian) and the table of contents.
constexpr size_t kXingCompletionSize = 4 + kXingTocEntries;

// The complete frame, XingFrameLength bytes: header FF FB (MPEG-1; F3 MPEG-2,
// E3 MPEG-2.5), (bitrate index x 16 +
// frequency index x 4), (mode x 64 + 4: original-media flag only); zero side
// information; "Xing", the flags and frameCount, the number of audio frames
// written after it; the byte count and the table are left zero.
std::vector<uint8_t> BuildXingFrame(const XingShape& shape, uint32_t frameCount);

struct XingCompletion {
  uint32_t byteCount = 0;
  std::array<uint8_t, kXingTocEntries> toc{};
  // byteCount big-endian, then the table: written at XingByteCountOffset.
  std::array<uint8_t, kXingCompletionSize> bytes{};
};

// The byte count B = fileSize - xingOffset (everything from the Xing frame to
// the end of the file, trailing tags included; limited to 32 bits) and the table
// of contents: TOC[0] = 0; for i = 1..99, k = i x (N - 1) / 100 rounded to the
// nearest integer, ties to even, N = the number of audio frames written (at most
// framePositions.size()); P = framePositions[k] - xingOffset, 0 when negative;
// TOC[i] = 256 x P / B truncated, limited to 255 and never below the entry
// before it. Without frames or with B = 0 the table is all zero.
XingCompletion XingCompletionBytes(int64_t xingOffset, int64_t fileSize,
                                   std::span<const int64_t> framePositions, int64_t framesWritten);
XingCompletion XingCompletionBytes(int64_t xingOffset, int64_t fileSize,
                                   std::span<const int32_t> framePositions, int64_t framesWritten);

// Where a written Xing frame is and where its byte count goes.
struct XingPlacement {
  int64_t offset = -1;     // output offset of the frame
  int byteCountOffset = 0;  // from the frame's first byte
};

// Writes the frame at the current position of fd (the end of the output being
// written) and fills placement. False on a write error.
bool WriteXingFrame(int fd, const XingShape& shape, uint32_t frameCount, XingPlacement& placement);
// Once everything else has been written: takes the file size from fd and writes
// the byte count and the table of contents in one piece, without moving fd's
// position. False on an error.
bool CompleteXingFrame(int fd, const XingPlacement& placement,
                       std::span<const int64_t> framePositions, int64_t framesWritten);
bool CompleteXingFrame(int fd, const XingPlacement& placement,
                       std::span<const int32_t> framePositions, int64_t framesWritten);

// The information frame of an output with an encoder extension (an origin of
// the output carried one): "Xing" when the output mixes bitrates, "Info" when
// it has one; flags 15 (frame count, byte count, table of contents and
// quality), and the 36-byte extension right after the quality field.
constexpr uint32_t kLameInfoFlags = 15;
// From the frame's first byte: marker + 120.
int LameInfoTagOffset(int mode, int version = kVersionMpeg1);
// Bitrate index of such a frame: preferred (the audio's own, for a constant
// bitrate) when its frame holds the extension, else the lowest that does.
int LameInfoBitrateIndex(int freqIndex, int mode, int preferred, int version = kVersionMpeg1);
std::vector<uint8_t> BuildLameInfoFrame(const XingShape& shape, bool vbr, int bitrateIndex, uint32_t frameCount,
                                        uint32_t quality, const std::array<uint8_t, 36>& extension);
// Once the audio has been written: reads the frame of frameLength bytes at
// placement.offset back and fills the byte count and table of contents (the
// byte count, like the music length, counts the frame and the audio up to
// audioEnd, not the tags behind it), the music length, the CRC-16 of the audio
// between the frame and audioEnd, and the extension's own CRC. False on an error.
bool FinishLameInfoFrame(int fd, const XingPlacement& placement, int32_t frameLength, int tagOffset,
                         int64_t audioEnd, std::span<const int64_t> framePositions, int64_t framesWritten);

}  // namespace quorvel
