#include "output/writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>

#include "core/busy.h"
#include "core/document_ops.h"
#include "core/gain.h"
#include "core/large_memory.h"
#include "core/messages.h"
#include "core/mpeg_header.h"
#include "output/save.h"
#include "output/xing.h"
#include "tags/id3v1.h"
#include "tags/id3v2_writer.h"

namespace quorvel {

const char* const kZeroFrameCountText = "Error: zero/invalid frame count.";
const char* const kUnknownLeadVbrText =
    "You chose to include unknown origin data from the file beginning.\r\n"
    "Note that VBR seek header may be unusable in this case.\r\n"
    "You are advised to check the output file.";

bool PurposeWritesRange(int purpose) { return purpose == 1 || purpose == 3 || purpose == 5; }
bool PurposeWritesLeadingData(int purpose) { return purpose == 0 || purpose == 5 || purpose == 6; }
bool PurposeReportsFailure(int purpose) { return purpose != 2 && purpose != 4; }

// ---------------------------------------------------------------------------
// OutputBuffer

OutputBuffer::~OutputBuffer() {
  if (fd_ >= 0) ::close(fd_);
}

bool OutputBuffer::create(const std::string& path, size_t capacity) {
  return adopt(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666), capacity);
}

bool OutputBuffer::adopt(int fd, size_t capacity) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  ok_ = fd_ >= 0;
  used_ = 0;
  flushed_ = 0;
  kernelCopy_ = true;
  if (!ok_) return false;
  capacity = std::max<size_t>(capacity, 65536);
  if (capacity_ != capacity) {
    buffer_ = std::make_unique_for_overwrite<uint8_t[]>(capacity);
    capacity_ = capacity;
  }
  return true;
}

bool OutputBuffer::flush() {
  if (!ok_) return false;
  size_t done = 0;
  while (done < used_) {
    ssize_t n = ::write(fd_, buffer_.get() + done, used_ - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok_ = false;
      return false;
    }
    if (n == 0) {
      ok_ = false;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  flushed_ += static_cast<int64_t>(used_);
  used_ = 0;
  return true;
}

uint8_t* OutputBuffer::reserve(size_t n) {
  if (!ok_ || n > capacity_) return nullptr;
  if (capacity_ - used_ < n && !flush()) return nullptr;
  return buffer_.get() + used_;
}

bool OutputBuffer::append(const void* bytes, size_t n) {
  const auto* src = static_cast<const uint8_t*>(bytes);
  while (n > 0) {
    size_t piece = std::min(n, capacity_);
    uint8_t* dst = reserve(piece);
    if (!dst) return false;
    std::memcpy(dst, src, piece);
    commit(piece);
    src += piece;
    n -= piece;
  }
  return ok_;
}

bool OutputBuffer::appendZeros(size_t n) {
  while (n > 0) {
    size_t piece = std::min(n, capacity_);
    uint8_t* dst = reserve(piece);
    if (!dst) return false;
    std::memset(dst, 0, piece);
    commit(piece);
    n -= piece;
  }
  return ok_;
}

bool OutputBuffer::appendFileRange(InputFile& source, int64_t pos, int64_t n) {
  if (!ok_) return false;
  if (n <= 0) return true;
  if (pos < 0 || !source.isOpen()) {
    ok_ = false;
    return false;
  }
  int64_t done = 0;
  if (kernelCopy_) {
    if (!flush()) return false;
    while (done < n) {
      loff_t from = pos + done;
      ssize_t got = ::copy_file_range(source.fd(), &from, fd_, nullptr, static_cast<size_t>(n - done), 0);
      if (got > 0) {
        done += got;
        flushed_ += got;
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        kernelCopy_ = false;  // copy the rest through the buffer
        break;
      }
      ok_ = false;  // 0: the source ended early
      return false;
    }
  }
  while (done < n) {
    size_t piece = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(capacity_), n - done));
    uint8_t* dst = reserve(piece);
    if (!dst) return false;
    if (!source.readAt(pos + done, dst, piece)) {
      ok_ = false;
      return false;
    }
    commit(piece);
    done += static_cast<int64_t>(piece);
  }
  return true;
}

bool OutputBuffer::truncateTo(int64_t offset) {
  if (!flush()) return false;
  if (offset > flushed_ || ::ftruncate(fd_, offset) != 0 || ::lseek(fd_, offset, SEEK_SET) != offset) {
    ok_ = false;
    return false;
  }
  flushed_ = offset;
  return true;
}

bool OutputBuffer::sync() {
  if (!flush()) return false;
  if (::fsync(fd_) != 0) ok_ = false;
  return ok_;
}

bool OutputBuffer::close() {
  if (fd_ < 0) return ok_;
  if (ok_) flush();
  if (::close(fd_) != 0) ok_ = false;
  fd_ = -1;
  return ok_;
}

// ---------------------------------------------------------------------------

namespace {

// Lets the user interface process pending events; the requests stay set for
// the writer's finish, which clears them.
int PollEvents(Context& ctx) {
  EventRequests requests = ProcessPendingEvents(ctx);
  if (requests.close) return kCopyClosing;
  if (requests.cancel) return kCopyCancelled;
  return kCopyDone;
}

constexpr int32_t kMaxFrameRead = 32767;
// The shortest Layer III frame: 8 kbps at 24 kHz (MPEG-2).
constexpr int32_t kMinBlankFrame = 24;
constexpr int32_t kMaxBlankFrame = 16384;
// Longest run of consecutive frames read in one piece.
constexpr int64_t kRunBytes = int64_t{1} << 20;
// Runs of unchanged frames at least this long are copied by the kernel.
constexpr int64_t kKernelCopyBytes = int64_t{64} << 10;
constexpr int32_t kFirstProgressPoint = 64;
constexpr int32_t kProgressInterval = 128;

int32_t BlankFrameLength(const BlankFrame& b, int version) {
  int32_t len = FrameLengthOf(version, b.bitrateIndex, b.freqIndex, false);
  return std::clamp(len, kMinBlankFrame, kMaxBlankFrame);
}

// Never more than the frame's own bytes: what follows it belongs to the next
// block (another frame, a tag).
int32_t FrameReadLength(const frametype& f) { return std::clamp(f.framelen, 0, kMaxFrameRead); }

class Writer {
 public:
  Writer(Context& ctx, const std::string& target, int purpose, int32_t first, int32_t end,
         const WriteOptions& options)
      : ctx_(ctx), doc_(ctx.doc), target_(target), purpose_(purpose), options_(options) {
    n_ = doc_.editCount;
    if (static_cast<size_t>(n_) > doc_.ref.size()) n_ = static_cast<int32_t>(doc_.ref.size());
    if (n_ < 0) n_ = 0;
    first_ = 0;
    end_ = n_;
    if (PurposeWritesRange(purpose)) {
      first_ = std::clamp(first, 0, n_);
      end_ = std::clamp(end, 0, n_);
      if (end_ < first_) std::swap(first_, end_);
    }
  }

  WriteResult run();

 private:
  enum class Step { kOk, kDiskError, kZeroFrames, kCancelled, kClosed };

  // Left out: the source's information frame at position 0, and frames too
  // short to hold their side information.
  bool skipped(int32_t p) const {
    int32_t r = doc_.ref[static_cast<size_t>(p)];
    if (r < 0 || static_cast<size_t>(r) >= doc_.frames.size()) return false;
    const frametype& f = doc_.frames[static_cast<size_t>(r)];
    return (p == 0 && f.spec != 0) || !FrameWritable(f);
  }
  bool validRef(int32_t r) const { return r < 0 || static_cast<size_t>(r) < doc_.frames.size(); }
  size_t originOf(const frametype& f) const { return f.fromfile > doc_.insertedCount ? 0 : f.fromfile; }

  static Step FromCopy(int code) {
    switch (code) {
      case kCopyDone: return Step::kOk;
      case kCopyCancelled: return Step::kCancelled;
      case kCopyClosing: return Step::kClosed;
      default: return Step::kDiskError;
    }
  }

  Step openFiles();
  Step copyBlock(bool present, const RemoveBox& box, int32_t pos, int32_t length);
  Step writeTag();
  Step leadingData();
  Step framePass();
  struct LameChoice {
    const LameTag* settings = nullptr;  // the origin whose fields are carried over
    LameTagEdit edit;
  };
  LameChoice lameExtension(int32_t firstWritten, int32_t lastWritten) const;
  Step pollProgress(int32_t position);
  WriteResult finish(Step step);

  Context& ctx_;
  DocumentState& doc_;
  std::string target_;
  int purpose_;
  WriteOptions options_;
  int32_t n_ = 0;
  int32_t first_ = 0;
  int32_t end_ = 0;

  OutputBuffer out_;
  std::vector<InputFile> files_;
  LargeVector<int64_t> positions_;
  int32_t written_ = 0;
  int32_t nextProgress_ = kFirstProgressPoint;
  bool unknownLeadIncluded_ = false;
  bool created_ = false;
  bool xing_ = false;
  XingPlacement placement_;
  // An information frame with an encoder extension (see lameExtension()).
  bool lame_ = false;
  int32_t lameFrameLength_ = 0;
  int lameTagOffset_ = 0;
  int64_t audioEnd_ = 0;
  WriteResult result_;
};

Writer::Step Writer::openFiles() {
  files_.clear();
  files_.resize(static_cast<size_t>(doc_.insertedCount) + 1);
  for (size_t i = 0; i < files_.size(); ++i) {
    std::string name = doc_.files[i].name;
    if (i == 0 && name.empty()) name = doc_.sourceName;
    if (!files_[i].open(name)) return Step::kDiskError;
    // Another file moved over the name, or the file rewritten since it was
    // analysed: the frame table's offsets describe something else.
    const FileIdentity& analysed = doc_.files[i].identity;
    if (analysed.known && files_[i].identity() != analysed) return Step::kDiskError;
  }
  return Step::kOk;
}

Writer::Step Writer::copyBlock(bool present, const RemoveBox& box, int32_t pos, int32_t length) {
  if (!present || !box.enabled || box.checked || length <= 0 || pos < 0) return Step::kOk;
  return FromCopy(CopySourceBlock(ctx_, files_[0], out_, pos, length));
}

Writer::Step Writer::writeTag() {
  Id3v2TagState& tag = doc_.id3v2;
  Id3v2BlockOptions options;
  options.skipEmptyFields = (ctx_.options.tagFlags & kSkipEmptyId3v2Fields) != 0;
  options.dropErroneousFields = tag.dropErroneous;
  uint8_t major = ctx_.options.newTagFormat & 0x7F;
  options.newTagMajor = major >= 2 && major <= 4 ? major : 3;
  Id3v2BlockCallbacks callbacks;
  callbacks.report = [this](const TagMessage& m) {
    if (!ctx_.script.silent) ReportMessage(ctx_, m.text, m.kind, m.caption);
  };
  callbacks.processEvents = [this]() { return PollEvents(ctx_) == kCopyClosing; };
  Id3v2Block block = BuildId3v2TagBlock(tag, files_[0], options, callbacks);
  switch (block.outcome) {
    case Id3v2BlockOutcome::kWritten:
      result_.tagWritten = true;
      return out_.append(block.bytes.data(), block.bytes.size()) ? Step::kOk : Step::kDiskError;
    case Id3v2BlockOutcome::kFailed:
      if (ctx_.script.active) ctx_.script.resultCode = kWriteTagFailedCode;
      return Step::kOk;
    case Id3v2BlockOutcome::kClosed:
      return Step::kClosed;
    case Id3v2BlockOutcome::kNoTag:
      return Step::kOk;
  }
  return Step::kOk;
}

Writer::Step Writer::leadingData() {
  const SourceAnalysis& s = doc_.source;
  const Id3v2TagState& tag = doc_.id3v2;
  bool writeTagBlock = !doc_.boxes.id3v2.checked &&
                       (tag.present || !tag.fields.empty() || (ctx_.script.active && tag.tagStarted));
  bool riffKept = s.riffFound && doc_.boxes.riff.enabled && !doc_.boxes.riff.checked && s.riffLength > 0;
  Step step = Step::kOk;
  if (riffKept) {
    int64_t tagStart = tag.present ? tag.tagstart : 0;
    bool tagFirst = writeTagBlock && tagStart < s.riffPos;
    if (tagFirst) {
      step = writeTag();
      if (step == Step::kOk) step = copyBlock(true, doc_.boxes.riff, s.riffPos, s.riffLength);
    } else {
      step = copyBlock(true, doc_.boxes.riff, s.riffPos, s.riffLength);
      if (step == Step::kOk && writeTagBlock) step = writeTag();
    }
  } else if (writeTagBlock) {
    step = writeTag();
  }
  if (step != Step::kOk) return step;
  if (s.behindHeaderFound && doc_.boxes.behindHeader.enabled && !doc_.boxes.behindHeader.checked &&
      s.behindHeaderLength > 0) {
    step = copyBlock(true, doc_.boxes.behindHeader, s.behindHeaderPos, s.behindHeaderLength);
    if (step == Step::kOk) unknownLeadIncluded_ = true;
  }
  return step;
}

// The extension comes from the origin of the first audio frame written, or,
// when that file had none, from the first frame's origin that had one. Delay
// and padding are the origin's where the output starts (ends) with the first
// (last) audio frame of that origin file, else 0; blank frames have no origin.
Writer::LameChoice Writer::lameExtension(int32_t firstWritten, int32_t lastWritten) const {
  LameChoice choice;
  bool gainSeen = false;
  bool mixed = false;
  int gain = 0;
  for (int32_t p = first_; p < end_; ++p) {
    if (skipped(p)) continue;
    int32_t r = doc_.ref[static_cast<size_t>(p)];
    if (r < 0) continue;
    const LameTag& tag = doc_.files[originOf(doc_.frames[static_cast<size_t>(r)])].lame;
    if (!choice.settings && tag.present) choice.settings = &tag;
    int gl = doc_.gainLeft[static_cast<size_t>(p)];
    int gr = doc_.gainRight[static_cast<size_t>(p)];
    if (gl != gr || (gainSeen && gl != gain)) {
      mixed = true;
    } else if (!gainSeen) {
      gain = gl;
      gainSeen = true;
    }
  }
  choice.edit.uniformGain = mixed ? std::nullopt : std::optional<int>(gain);
  if (!choice.settings) return choice;
  auto recordAt = [this](int32_t p) -> int32_t { return p < 0 ? -1 : doc_.ref[static_cast<size_t>(p)]; };
  int32_t r = recordAt(firstWritten);
  if (r >= 0) {
    const LameTag& tag = doc_.files[originOf(doc_.frames[static_cast<size_t>(r)])].lame;
    if (tag.present && r == tag.firstRecord) choice.edit.delay = tag.delay;
  }
  r = recordAt(lastWritten);
  if (r >= 0) {
    const LameTag& tag = doc_.files[originOf(doc_.frames[static_cast<size_t>(r)])].lame;
    if (tag.present && r == tag.lastRecord) choice.edit.padding = tag.padding;
  }
  return choice;
}

Writer::Step Writer::pollProgress(int32_t position) {
  if (written_ < nextProgress_) return Step::kOk;
  while (nextProgress_ <= written_) nextProgress_ += kProgressInterval;
  double fraction = n_ > 1 ? static_cast<double>(position) / (n_ - 1) : 1.0;
  ctx_.host.reportProgress(std::clamp(fraction, 0.0, 1.0));
  return FromCopy(PollEvents(ctx_));
}

Writer::Step Writer::framePass() {
  int32_t p = first_;
  while (p < end_) {
    if (skipped(p)) {
      ++p;
      continue;
    }
    int32_t r = doc_.ref[static_cast<size_t>(p)];
    if (r < 0) {
      BlankFrame b = DecodeBlankFrameCode(r == INT32_MIN ? 0 : -r);
      int32_t len = BlankFrameLength(b, doc_.version);
      uint8_t* dst = out_.reserve(static_cast<size_t>(len));
      if (!dst) return Step::kDiskError;
      std::memset(dst, 0, static_cast<size_t>(len));
      dst[0] = 0xFF;
      dst[1] = Layer3HeaderByte1(doc_.version);
      dst[2] = static_cast<uint8_t>(b.bitrateIndex * 16 + b.freqIndex * 4);
      dst[3] = static_cast<uint8_t>(b.mode * 64);
      if (xing_) positions_.push_back(out_.position());
      out_.commit(static_cast<size_t>(len));
      ++written_;
      Step step = pollProgress(p);
      if (step != Step::kOk) return step;
      ++p;
      continue;
    }
    // A run of frames that follow each other in one origin file.
    const frametype& head = doc_.frames[static_cast<size_t>(r)];
    size_t origin = originOf(head);
    int64_t start = head.framepos;
    int64_t total = 0;
    bool gainChanged = false;
    int32_t q = p;
    while (q < end_) {
      int32_t rq = doc_.ref[static_cast<size_t>(q)];
      if (rq < 0 || skipped(q)) break;
      const frametype& f = doc_.frames[static_cast<size_t>(rq)];
      int32_t len = FrameReadLength(f);
      if (originOf(f) != origin || f.framepos != start + total) break;
      if (q > p && total + len > kRunBytes) break;
      total += len;
      if (doc_.gainLeft[static_cast<size_t>(q)] != 0 || doc_.gainRight[static_cast<size_t>(q)] != 0)
        gainChanged = true;
      ++q;
    }
    if (start < 0) return Step::kDiskError;
    if (options_.kernelCopy && !gainChanged && total >= kKernelCopyBytes) {
      if (xing_) {
        int64_t position = out_.position();
        for (int32_t i = p; i < q; ++i) {
          positions_.push_back(position);
          position += FrameReadLength(doc_.frames[static_cast<size_t>(doc_.ref[static_cast<size_t>(i)])]);
        }
      }
      if (!out_.appendFileRange(files_[origin], start, total)) return Step::kDiskError;
      written_ += q - p;
      p = q;
      Step step = pollProgress(q - 1);
      if (step != Step::kOk) return step;
      continue;
    }
    uint8_t* dst = out_.reserve(static_cast<size_t>(total));
    if (!dst || !files_[origin].readAt(start, dst, static_cast<size_t>(total))) return Step::kDiskError;
    int64_t base = out_.position();
    int64_t offset = 0;
    for (int32_t i = p; i < q; ++i) {
      const frametype& f = doc_.frames[static_cast<size_t>(doc_.ref[static_cast<size_t>(i)])];
      int32_t len = FrameReadLength(f);
      int gl = doc_.gainLeft[static_cast<size_t>(i)];
      int gr = doc_.gainRight[static_cast<size_t>(i)];
      // Every frame written holds its side information; the shortest (8 kbps
      // at 24 kHz) are 24 bytes.
      if ((gl != 0 || gr != 0) && len >= MinimumFrameLength(f.stereo, f.version))
        ApplyGainToFrame(dst + offset, static_cast<size_t>(len), f, gl, gr);
      if (xing_) positions_.push_back(base + offset);
      offset += len;
    }
    out_.commit(static_cast<size_t>(total));
    written_ += q - p;
    p = q;
    Step step = pollProgress(q - 1);
    if (step != Step::kOk) return step;
  }
  return Step::kOk;
}

WriteResult Writer::run() {
  // The origin files are opened before the target is touched, so that a
  // target that names one of them is recognised instead of being deleted.
  Step step = openFiles();
  if (step == Step::kOk) {
    for (const InputFile& f : files_) {
      if (SameFile(f.path(), target_)) step = Step::kDiskError;
    }
  }
  if (step != Step::kOk) return finish(step);
  if (options_.targetFd >= 0) {
    int fd = options_.targetFd;
    options_.targetFd = -1;
    if (!out_.adopt(fd)) return finish(Step::kDiskError);
  } else {
    // Only a regular file is ever replaced: a device, FIFO, socket or folder
    // under the name (or behind a symlink of that name) is refused.
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return finish(Step::kDiskError);
    ::unlink(target_.c_str());
    if (!out_.create(target_)) return finish(Step::kDiskError);
    created_ = true;
  }

  if (PurposeWritesLeadingData(purpose_)) {
    step = leadingData();
    if (step != Step::kOk) return finish(step);
  }
  if (doc_.frameTableCount == 0 || n_ == 0 || doc_.gainLeft.size() < static_cast<size_t>(n_) ||
      doc_.gainRight.size() < static_cast<size_t>(n_))
    return finish(Step::kZeroFrames);

  // Counting pass.
  std::array<int32_t, 15> histogram{};
  int32_t count = 0;
  int32_t firstWritten = -1;
  int32_t lastWritten = -1;
  for (int32_t p = first_; p < end_; ++p) {
    int32_t r = doc_.ref[static_cast<size_t>(p)];
    if (!validRef(r)) return finish(Step::kZeroFrames);
    if (skipped(p)) continue;
    if (firstWritten < 0) firstWritten = p;
    lastWritten = p;
    ++count;
    ++histogram[static_cast<size_t>(BitrateAt(doc_, p) % 15)];
  }
  bool vbr = std::count_if(histogram.begin(), histogram.end(), [](int32_t c) { return c != 0; }) > 1;
  if (vbr && unknownLeadIncluded_ && !ctx_.script.active)
    ReportMessage(ctx_, kUnknownLeadVbrText, kMsgInfo, "info");
  // Free-format frames (bitrate index 0) follow an information frame of a
  // fixed bitrate badly: decoders then take the stream for a fixed-bitrate one
  // and lose the frames. Such outputs get the frame they got without extension.
  LameChoice lame = firstWritten >= 0 && histogram[0] == 0 ? lameExtension(firstWritten, lastWritten) : LameChoice{};
  if (lame.settings) {
    positions_.reserve(static_cast<size_t>(count));
    XingShape shape = ChooseXingShape(doc_, firstWritten);
    int only = 0;
    for (size_t b = 0; b < histogram.size(); ++b) {
      if (histogram[b] != 0) only = static_cast<int>(b);
    }
    int bitrate = LameInfoBitrateIndex(shape.freqIndex, shape.mode, vbr ? 0 : only, shape.version);
    std::vector<uint8_t> frame = BuildLameInfoFrame(shape, vbr, bitrate, static_cast<uint32_t>(count),
                                                    lame.settings->quality,
                                                    EditedLameTag(*lame.settings, lame.edit));
    placement_.offset = out_.position();
    placement_.byteCountOffset = XingByteCountOffset(shape.mode, shape.version);
    lameFrameLength_ = static_cast<int32_t>(frame.size());
    lameTagOffset_ = LameInfoTagOffset(shape.mode, shape.version);
    if (!out_.append(frame.data(), frame.size())) return finish(Step::kDiskError);
    xing_ = true;
    lame_ = true;
  } else if (vbr) {
    positions_.reserve(static_cast<size_t>(count));
    XingShape shape = ChooseXingShape(doc_, firstWritten);
    std::vector<uint8_t> frame = BuildXingFrame(shape, static_cast<uint32_t>(count));
    placement_.offset = out_.position();
    placement_.byteCountOffset = XingByteCountOffset(shape.mode, shape.version);
    if (!out_.append(frame.data(), frame.size())) return finish(Step::kDiskError);
    xing_ = true;
  }

  step = framePass();
  if (step != Step::kOk) return finish(step);
  audioEnd_ = out_.position();

  const SourceAnalysis& s = doc_.source;
  if (PurposeWritesLeadingData(purpose_)) {
    step = copyBlock(s.footerFound, doc_.boxes.footer, s.footerPos, s.footerLength);
    if (step != Step::kOk) return finish(step);
  }
  step = copyBlock(s.lyricsFound, doc_.boxes.lyrics, s.lyricsPos, s.lyricsLength);
  if (step != Step::kOk) return finish(step);
  if (doc_.boxes.id3v1.enabled && !doc_.boxes.id3v1.checked) {
    std::array<uint8_t, 128> v1 = Id3v1OutputBytes(doc_.id3v1.record);
    if (!out_.append(v1.data(), v1.size())) return finish(Step::kDiskError);
  }
  if (!out_.flush()) return finish(Step::kDiskError);
  if (xing_ && !lame_ && !CompleteXingFrame(out_.fd(), placement_, std::span<const int64_t>(positions_), written_))
    return finish(Step::kDiskError);
  if (lame_ && !FinishLameInfoFrame(out_.fd(), placement_, lameFrameLength_, lameTagOffset_, audioEnd_,
                                    std::span<const int64_t>(positions_), written_))
    return finish(Step::kDiskError);
  if (options_.syncToDisk && !out_.sync()) return finish(Step::kDiskError);
  result_.bytesWritten = out_.position();
  if (!out_.close()) return finish(Step::kDiskError);
  return finish(Step::kOk);
}

WriteResult Writer::finish(Step step) {
  for (InputFile& f : files_) f.close();
  if (options_.targetFd >= 0) {
    // Never handed to the output buffer.
    ::close(options_.targetFd);
    options_.targetFd = -1;
  }
  result_.framesWritten = written_;
  result_.xingWritten = xing_;
  switch (step) {
    case Step::kOk:
      result_.ending = WriteEnding::kSucceeded;
      break;
    case Step::kDiskError:
    case Step::kZeroFrames: {
      out_.close();
      if (created_) ::unlink(target_.c_str());
      ReportWriteFailure(ctx_, purpose_, step == Step::kDiskError ? kDiskErrorText : kZeroFrameCountText);
      result_.ending = WriteEnding::kFailed;
      break;
    }
    case Step::kCancelled:
      result_.bytesWritten = out_.position();
      out_.close();
      ctx_.cancelRequest = false;
      result_.ending = WriteEnding::kCancelled;
      break;
    case Step::kClosed:
      result_.bytesWritten = out_.position();
      out_.close();
      ctx_.closeRequest = false;
      result_.ending = WriteEnding::kClosed;
      break;
  }
  positions_.clear();
  positions_.shrink_to_fit();
  return result_;
}

}  // namespace

void ReportWriteFailure(Context& ctx, int purpose, const std::string& text) {
  if (ctx.script.active) {
    ctx.script.errorText = text;
    ctx.script.resultCode = kWriteFailedCode;
  } else if (PurposeReportsFailure(purpose)) {
    ReportMessage(ctx, text, kMsgWarning, "warning");
  }
}

bool FrameWritable(const frametype& f) { return f.framelen >= MinimumFrameLength(f.stereo, f.version); }

int CopySourceBlock(Context& ctx, InputFile& source, OutputBuffer& out, int64_t offset, int64_t length) {
  if (length <= 0) return kCopyDone;
  if (offset < 0) return kCopyIoError;
  int64_t done = 0;
  while (done < length) {
    int64_t chunk = std::min<int64_t>(kCopyChunk, length - done);
    if (!out.appendFileRange(source, offset + done, chunk)) return kCopyIoError;
    done += chunk;
    if (done >= length) return kCopyDone;
    int polled = PollEvents(ctx);
    if (polled != kCopyDone) return polled;
  }
  return kCopyDone;
}

WriteResult WriteOutputFile(Context& ctx, const std::string& target, int purpose, int32_t rangeFirst,
                            int32_t rangeEnd, const WriteOptions& options) {
  BeginBusy(ctx, kBusyWrite);
  WriteResult result;
  {
    Writer writer(ctx, target, purpose, rangeFirst, rangeEnd, options);
    result = writer.run();
  }
  EndBusy(ctx, kBusyWrite);
  if (result.ending == WriteEnding::kClosed) {
    // The window closes now: no operation outlives it.
    EndAllBusy(ctx, kBusySave);
    ctx.host.closeMainWindow();
  }
  ctx.host.changed(kChangedModified | kChangedTags);
  return result;
}

}  // namespace quorvel
