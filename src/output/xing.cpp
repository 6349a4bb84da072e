#include "output/xing.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "core/document_ops.h"
#include "core/lame_tag.h"
#include "core/mpeg_header.h"
#include "tags/bytes.h"

namespace quorvel {

namespace {

int ValidFreqIndex(int freqIndex) { return freqIndex >= 0 && freqIndex <= 2 ? freqIndex : 0; }
// The reserved version code is read as MPEG-1.
int ValidVersion(int version) {
  return version == kVersionMpeg2 || version == kVersionMpeg25 ? version : kVersionMpeg1;
}

// The lowest bitrate index whose frame (no padding) holds `needed` bytes; 14 when none does.
int LowestBitrateHolding(int version, int freqIndex, int32_t needed) {
  for (int b = 1; b <= 14; ++b) {
    if (FrameLengthOf(version, b, freqIndex, false) >= needed) return b;
  }
  return 14;
}

// i x n / 100, rounded to the nearest integer with ties to the even one, in
// exact integer arithmetic.
int64_t RoundedPercentOf(int64_t i, int64_t n) {
  int64_t product = i * n;
  int64_t quotient = product / 100;
  int64_t remainder = product % 100;
  if (remainder > 50 || (remainder == 50 && quotient % 2 != 0)) ++quotient;
  return quotient;
}

template <typename Position>
XingCompletion Complete(int64_t xingOffset, int64_t fileSize, std::span<const Position> positions,
                        int64_t framesWritten) {
  XingCompletion result;
  int64_t size = fileSize - xingOffset;
  result.byteCount = size <= 0 ? 0
                               : static_cast<uint32_t>(std::min<int64_t>(
                                     size, std::numeric_limits<uint32_t>::max()));
  int64_t n = std::min<int64_t>(framesWritten, static_cast<int64_t>(positions.size()));
  if (n > 0 && result.byteCount > 0) {
    int64_t b = result.byteCount;
    uint8_t previous = 0;
    for (int i = 1; i < kXingTocEntries; ++i) {
      int64_t k = RoundedPercentOf(i, n - 1);
      int64_t p = static_cast<int64_t>(positions[static_cast<size_t>(k)]) - xingOffset;
      if (p < 0) p = 0;
      int64_t entry = std::min<int64_t>(256 * p / b, 255);
      previous = std::max(previous, static_cast<uint8_t>(entry));
      result.toc[static_cast<size_t>(i)] = previous;
    }
  }
  ByteWriter w;
  w.be32(result.byteCount);
  w.bytes(result.toc.data(), result.toc.size());
  std::copy(w.data().begin(), w.data().end(), result.bytes.begin());
  return result;
}

bool WriteAll(int fd, const uint8_t* data, size_t n) {
  while (n > 0) {
    ssize_t done = ::write(fd, data, n);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (done == 0) return false;
    data += done;
    n -= static_cast<size_t>(done);
  }
  return true;
}

bool WriteAllAt(int fd, const uint8_t* data, size_t n, int64_t pos) {
  while (n > 0) {
    ssize_t done = ::pwrite(fd, data, n, static_cast<off_t>(pos));
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (done == 0) return false;
    data += done;
    n -= static_cast<size_t>(done);
    pos += done;
  }
  return true;
}

template <typename Position>
bool CompleteOnFile(int fd, const XingPlacement& placement, std::span<const Position> positions,
                    int64_t framesWritten) {
  if (placement.offset < 0 || placement.byteCountOffset <= 0) return false;
  struct stat st{};
  if (::fstat(fd, &st) != 0) return false;
  XingCompletion c = Complete(placement.offset, static_cast<int64_t>(st.st_size), positions,
                              framesWritten);
  return WriteAllAt(fd, c.bytes.data(), c.bytes.size(),
                    placement.offset + placement.byteCountOffset);
}

}  // namespace

XingShape ChooseXingShape(uint8_t modeSummary, uint8_t firstFreqIndex, uint8_t firstMode) {
  XingShape shape;
  shape.freqIndex = static_cast<uint8_t>(ValidFreqIndex(firstFreqIndex));
  if (modeSummary <= 3) {
    shape.mode = modeSummary;
  } else {
    // Mixed modes: the first audio frame's mode, with mono taken as joint stereo.
    shape.mode = static_cast<uint8_t>(firstMode & 3);
    if (shape.mode == kModeMono) shape.mode = 1;
  }
  return shape;
}

XingShape ChooseXingShape(const DocumentState& doc, int32_t firstPosition) {
  XingShape shape = ChooseXingShape(doc.editStats.modeSummary, static_cast<uint8_t>(FrequencyAt(doc, firstPosition)),
                                    static_cast<uint8_t>(ModeAt(doc, firstPosition)));
  shape.version = static_cast<uint8_t>(ValidVersion(VersionAt(doc, firstPosition)));
  return shape;
}

int XingBitrateIndex(int freqIndex, int version) {
  const int f = ValidFreqIndex(freqIndex);
  version = ValidVersion(version);
  if (version == kVersionMpeg1) return f == 1 ? 4 : 3;
  return LowestBitrateHolding(version, f, XingByteCountOffset(0, version) + static_cast<int32_t>(kXingCompletionSize));
}

int32_t XingFrameLength(int freqIndex, int version) {
  const int f = ValidFreqIndex(freqIndex);
  version = ValidVersion(version);
  return FrameLengthOf(version, XingBitrateIndex(f, version), f, false);
}

int XingMarkerOffset(int mode, int version) { return XingOffset(ValidVersion(version), mode & 3); }

int XingByteCountOffset(int mode, int version) { return XingMarkerOffset(mode, version) + 12; }

std::vector<uint8_t> BuildXingFrame(const XingShape& shape, uint32_t frameCount) {
  const int f = ValidFreqIndex(shape.freqIndex);
  const int mode = shape.mode & 3;
  const int version = ValidVersion(shape.version);
  ByteWriter w;
  w.u8(0xFF);
  w.u8(Layer3HeaderByte1(version));  // Layer III, no CRC
  w.u8(static_cast<uint8_t>(XingBitrateIndex(f, version) * 16 + f * 4));
  w.u8(static_cast<uint8_t>(mode * 64 + 4));
  // A decoder plays an all-zero side information as a frame of silence.
  w.data().resize(static_cast<size_t>(XingMarkerOffset(mode, version)), 0);
  w.text("Xing");
  w.be32(kXingFlags);
  w.be32(frameCount);
  w.data().resize(static_cast<size_t>(XingFrameLength(f, version)), 0);
  return std::move(w.data());
}

XingCompletion XingCompletionBytes(int64_t xingOffset, int64_t fileSize,
                                   std::span<const int64_t> framePositions, int64_t framesWritten) {
  return Complete(xingOffset, fileSize, framePositions, framesWritten);
}

XingCompletion XingCompletionBytes(int64_t xingOffset, int64_t fileSize,
                                   std::span<const int32_t> framePositions, int64_t framesWritten) {
  return Complete(xingOffset, fileSize, framePositions, framesWritten);
}

bool WriteXingFrame(int fd, const XingShape& shape, uint32_t frameCount, XingPlacement& placement) {
  off_t at = ::lseek(fd, 0, SEEK_CUR);
  if (at < 0) return false;
  std::vector<uint8_t> frame = BuildXingFrame(shape, frameCount);
  if (!WriteAll(fd, frame.data(), frame.size())) return false;
  placement.offset = static_cast<int64_t>(at);
  placement.byteCountOffset = XingByteCountOffset(shape.mode, shape.version);
  return true;
}

bool CompleteXingFrame(int fd, const XingPlacement& placement,
                       std::span<const int64_t> framePositions, int64_t framesWritten) {
  return CompleteOnFile(fd, placement, framePositions, framesWritten);
}

bool CompleteXingFrame(int fd, const XingPlacement& placement,
                       std::span<const int32_t> framePositions, int64_t framesWritten) {
  return CompleteOnFile(fd, placement, framePositions, framesWritten);
}

int LameInfoTagOffset(int mode, int version) { return XingMarkerOffset(mode, version) + 120; }

int LameInfoBitrateIndex(int freqIndex, int mode, int preferred, int version) {
  const int f = ValidFreqIndex(freqIndex);
  version = ValidVersion(version);
  const int32_t needed = LameInfoTagOffset(mode, version) + static_cast<int32_t>(kLameTagSize);
  if (preferred >= 1 && preferred <= 14 && FrameLengthOf(version, preferred, f, false) >= needed) return preferred;
  return LowestBitrateHolding(version, f, needed);
}

std::vector<uint8_t> BuildLameInfoFrame(const XingShape& shape, bool vbr, int bitrateIndex, uint32_t frameCount,
                                        uint32_t quality, const std::array<uint8_t, 36>& extension) {
  const int f = ValidFreqIndex(shape.freqIndex);
  const int mode = shape.mode & 3;
  const int version = ValidVersion(shape.version);
  const int marker = XingMarkerOffset(mode, version);
  ByteWriter w;
  w.u8(0xFF);
  w.u8(Layer3HeaderByte1(version));
  w.u8(static_cast<uint8_t>(bitrateIndex * 16 + f * 4));
  w.u8(static_cast<uint8_t>(mode * 64 + 4));
  w.data().resize(static_cast<size_t>(marker), 0);
  w.text(vbr ? "Xing" : "Info");
  w.be32(kLameInfoFlags);
  w.be32(frameCount);
  w.data().resize(static_cast<size_t>(marker + 116), 0);  // byte count and table: later
  w.be32(quality);
  w.bytes(extension.data(), extension.size());
  w.data().resize(static_cast<size_t>(FrameLengthOf(version, bitrateIndex, f, false)), 0);
  return std::move(w.data());
}

bool FinishLameInfoFrame(int fd, const XingPlacement& placement, int32_t frameLength, int tagOffset,
                         int64_t audioEnd, std::span<const int64_t> framePositions, int64_t framesWritten) {
  if (placement.offset < 0 || frameLength <= 0 || tagOffset + static_cast<int>(kLameTagSize) > frameLength)
    return false;
  std::vector<uint8_t> frame(static_cast<size_t>(frameLength));
  if (::pread(fd, frame.data(), frame.size(), static_cast<off_t>(placement.offset)) != frameLength) return false;
  int64_t audioStart = placement.offset + frameLength;
  if (audioEnd < audioStart || placement.byteCountOffset <= 0 ||
      placement.byteCountOffset + static_cast<int>(kXingCompletionSize) > tagOffset)
    return false;
  XingCompletion c = Complete(placement.offset, audioEnd, framePositions, framesWritten);
  std::copy(c.bytes.begin(), c.bytes.end(), frame.begin() + placement.byteCountOffset);
  uint16_t crc = 0;
  std::vector<uint8_t> chunk(size_t{1} << 20);
  for (int64_t at = audioStart; at < audioEnd;) {
    size_t n = static_cast<size_t>(std::min<int64_t>(audioEnd - at, static_cast<int64_t>(chunk.size())));
    ssize_t got = ::pread(fd, chunk.data(), n, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    crc = LameCrc16(chunk.data(), static_cast<size_t>(got), crc);
    at += got;
  }
  int64_t length = audioEnd - placement.offset;
  FinishLameTag(frame.data(), static_cast<size_t>(tagOffset),
                static_cast<uint32_t>(std::min<int64_t>(length, std::numeric_limits<uint32_t>::max())), crc);
  return WriteAllAt(fd, frame.data(), frame.size(), placement.offset);
}

}  // namespace quorvel
