#pragma once
// The output file writer: the one place where MP3 bytes are produced. It walks
// the EditList, copies every frame from its origin file (patching global_gain
// where the position carries a gain change) or synthesises a blank frame, puts a
// Xing frame in front of the audio when the output mixes bitrates, and writes
// the kept data around the audio (unknown leading data, RIFF header, ID3v2 tag,
// unknown footer, Lyrics3 block, ID3v1 tag) in their order.
//
// Frames are read in runs of consecutive frames of one file (up to 1 MiB per
// read) straight into a large output buffer, patched there, and written when the
// buffer is full: no system call or allocation per frame. The bytes are the
// same as a frame-by-frame copy.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/context.h"
#include "tags/file_io.h"

namespace quorvel {

// What a write is for; the save procedure and the writer take it as an int.
enum WritePurpose : int {
  kWriteSaveAs = 0,
  kWritePlaySelection = 1,     // the selection to the first working file
  kWritePreview = 2,           // the whole edit to the first working file
  kWritePlaySelectionAlt = 3,  // the same to the second name, when the first cannot be written
  kWritePreviewAlt = 4,
  kWriteSelection = 5,         // save selection, split parts
  kWriteQuickSave = 6,
};

// Script result codes of a write.
constexpr uint8_t kWriteFailedCode = 102;    // disk error or no frames: nothing written
constexpr uint8_t kWriteTagFailedCode = 103; // the file was written without its ID3v2 tag

extern const char* const kZeroFrameCountText;    // "Error: zero/invalid frame count."
extern const char* const kUnknownLeadVbrText;    // the note about unknown leading data in a VBR output

// Only positions rangeFirst <= p < rangeEnd (odd purposes and 5).
bool PurposeWritesRange(int purpose);
// Unknown leading data, RIFF header, ID3v2 tag and unknown footer (0, 5, 6).
bool PurposeWritesLeadingData(int purpose);
// A failure is reported to the user (every purpose but the previews 2 and 4).
bool PurposeReportsFailure(int purpose);

enum class WriteEnding {
  kSucceeded,  // every step completed
  kFailed,     // disk error or zero frames: reported, the output was deleted
  kCancelled,  // Esc: the output is kept as far as written, no message
  kClosed,     // the main window asked to close: host.closeMainWindow() was called
};

struct WriteOptions {
  // fsync the output before closing it (a temporary file that is renamed over
  // an existing one afterwards).
  bool syncToDisk = false;
  // Copy runs of unchanged frames from file to file inside the kernel where
  // the file systems allow it (off: every frame passes through the buffer).
  bool kernelCopy = true;
  // An empty file the caller created (exclusively) under the target name: the
  // writer writes through it and closes it, and never deletes it; what becomes
  // of it after a failure is the caller's choice. -1: the writer makes target.
  int targetFd = -1;
};

struct WriteResult {
  WriteEnding ending = WriteEnding::kFailed;
  bool succeeded() const { return ending == WriteEnding::kSucceeded; }
  int64_t bytesWritten = 0;
  int32_t framesWritten = 0;  // audio frames, without the Xing frame
  bool xingWritten = false;
  bool tagWritten = false;
};

// Writes the edit (or the range, for the purposes that take one) to target.
// Sets busy and the host's busy state for the whole write and clears them in
// every ending. A failure is reported by the writer itself (a warning, or in a
// script result code 102 and the error text); an ID3v2 tag that could not be
// built leaves result code 103 and a file without a tag.
WriteResult WriteOutputFile(Context& ctx, const std::string& target, int purpose, int32_t rangeFirst,
                            int32_t rangeEnd, const WriteOptions& options = {});

// Reports a failed write as the writer does: in a script result code 102 and
// the text; otherwise a warning, except for the preview files (purposes 2, 4).
void ReportWriteFailure(Context& ctx, int purpose, const std::string& text);

// Whether a frame of the table can be written: it holds at least its header,
// the CRC word when there is one and the side information. Shorter frames
// (a file cut just after a header) are left out of every output.
bool FrameWritable(const frametype& f);

// Buffered output file: appends go into a large buffer that is written out when
// full. Errors are sticky: after one, ok() is false and nothing more is written.
class OutputBuffer {
 public:
  static constexpr size_t kDefaultCapacity = size_t{1} << 20;

  OutputBuffer() = default;
  ~OutputBuffer();
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

  // Creates (truncates) path for writing. False on an error.
  bool create(const std::string& path, size_t capacity = kDefaultCapacity);
  // Writes through fd (an open, empty file) instead; the buffer owns it from now on.
  bool adopt(int fd, size_t capacity = kDefaultCapacity);
  bool ok() const { return ok_; }
  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // Output offset of the next byte appended.
  int64_t position() const { return flushed_ + static_cast<int64_t>(used_); }

  bool append(const void* bytes, size_t n);
  bool appendZeros(size_t n);
  // Appends n bytes of source from pos. The kernel copies them from file to
  // file where it can (no pass through this buffer); a source that ends
  // early, as a file cut short since it was loaded does, is an error.
  bool appendFileRange(InputFile& source, int64_t pos, int64_t n);
  // Room for at least n bytes at the end of the buffer (flushing first when
  // needed); the caller fills it and calls commit(n). nullptr on an error or
  // when n exceeds the capacity.
  uint8_t* reserve(size_t n);
  void commit(size_t n) { used_ += n; }
  size_t capacity() const { return capacity_; }

  bool flush();
  // Flushes and cuts the file back to offset (which must not lie ahead of position()).
  bool truncateTo(int64_t offset);
  bool sync();
  // Flushes (unless an error happened) and closes; false on any error so far.
  bool close();

 private:
  int fd_ = -1;
  bool ok_ = false;
  // Not cleared: a save that only copies frames touches a few of its pages.
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_ = 0;
  size_t used_ = 0;
  bool kernelCopy_ = true;  // false once the file systems refused copy_file_range
  int64_t flushed_ = 0;
};

constexpr int kCopyDone = 0;
constexpr int kCopyIoError = 1;
constexpr int kCopyCancelled = 2;
constexpr int kCopyClosing = 3;
constexpr int32_t kCopyChunk = 1000000;

// Copies length bytes of source from offset to the output in chunks of at most
// 1,000,000 bytes; between chunks the user interface processes pending events.
// Returns kCopyDone, kCopyIoError (read or write failed, short source),
// kCopyCancelled (Esc) or kCopyClosing (the main window asked to close).
int CopySourceBlock(Context& ctx, InputFile& source, OutputBuffer& out, int64_t offset, int64_t length);

}  // namespace quorvel
