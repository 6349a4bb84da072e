#include "core/analysis.h"


#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <numeric>
#include <string>
#include <utility>

#include "core/busy.h"
#include "core/file_paths.h"
#include "core/document_ops.h"
#include "core/messages.h"
#include "core/mpeg_header.h"
#include "core/tag_editing.h"
#include "tags/id3v1.h"
#include "tags/id3v2_reader.h"

namespace quorvel {

const char* const kTextTooSmall = "Can't process files smaller than 0.25 KB!";
const char* const kTextNoFrame = "Invalid format.\r\nProbably not a 32-48 KHz mp3 file.";
const char* const kTextUnknownHeader = "Improper or unknown header format.";
const char* const kTextRiffNotMp3 = "RIFF header doesn't seem to be of an mp3 file.";
const char* const kTextImproperFrameSize = "Improper frame size.";
const char* const kTextId3v2ReadError = "Error processing id3v2 header tag.";
const char* const kTextLowerFreeFormat = "Free format mpeg version 2/2.5 not supported.";
const char* const kTextOtherVersion = "Frame of another mpeg version.";

namespace {

constexpr int kLyricsMarkerLength = 9;
constexpr int32_t kLyricsWindowV1 = 5100;
constexpr int32_t kLyricsWindowV2 = 301000;
constexpr int32_t kRiffDataSearch = 516;
constexpr int kProgressEvery = 128;
constexpr int kProgressAt = 64;
// Reading a chunk: piece size, and the bytes a header needs after it (header,
// CRC, side information and the VBR marker window).
constexpr int64_t kReadPiece = 256 * 1024;
// 32 kbps at 48 kHz.
constexpr int64_t kSmallestFrameLength = 96;
constexpr int64_t kHeaderSpan = 128;

}  // namespace

bool AskContinue(Context& ctx, const std::string& text) {
  if (ctx.script.active && ctx.script.silent) return true;
  switch (ctx.options.errorPolicy) {
    case kErrorFail:
      return false;
    case kErrorPrompt:
      return AskYesNo(ctx, text + "\r\n" + "Try to continue processing?", kModalWarning, "error");
    default:
      return true;
  }
}

std::string ThousandsText(int64_t n) {
  const uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  const std::string digits = std::to_string(magnitude);
  std::string text;
  text.reserve(digits.size() + digits.size() / 3 + 1);
  if (n < 0) text.push_back('-');
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text.push_back(',');
    text.push_back(digits[i]);
  }
  return text;
}

std::string ScientificText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1E", std::fabs(value));  // "2.6E-02"
  const char* e = std::strchr(text, 'E');
  int exponent = e ? std::atoi(e + 1) : 0;
  char out[32];
  std::snprintf(out, sizeof out, "%c%.3sE%c%04d", value < 0 ? '-' : ' ', text, exponent < 0 ? '-' : '+',
                exponent < 0 ? -exponent : exponent);
  return out;
}

int32_t CheckedFileSize(const InputFile& file) {
  if (!file.isOpen()) return -1;
  int64_t size = file.size();
  if (size <= 0 || size > INT32_MAX) return -1;
  return static_cast<int32_t>(size);
}

LyricsProbe ProbeLyrics3(InputFile& file, int32_t fileSize) {
  LyricsProbe probe;
  for (int32_t d : {9, 137}) {
    if (fileSize <= d) break;
    char marker[kLyricsMarkerLength];
    const int32_t markerPos = fileSize - d;
    if (!file.readAt(markerPos, marker, sizeof marker)) {
      probe.outcome = AnalysisOutcome::kDiskError;
      return probe;
    }
    if (std::memcmp(marker, "LYRICS200", 9) == 0 || std::memcmp(marker, "LYRICSEND", 9) == 0) {
      probe.version = marker[8] == '0' ? 2 : 1;
      probe.endPos = markerPos;
      const int32_t window = probe.version == 2 ? kLyricsWindowV2 : kLyricsWindowV1;
      const int32_t start = std::max(markerPos - window, 0);
      std::vector<char> bytes(static_cast<size_t>(markerPos - start));
      if (!bytes.empty() && !file.readAt(start, bytes.data(), bytes.size())) {
        probe.outcome = AnalysisOutcome::kDiskError;
        return probe;
      }
      static constexpr char kBegin[] = "LYRICSBEGIN";
      auto at = std::search(bytes.begin(), bytes.end(), kBegin, kBegin + 11);
      if (at != bytes.end()) {
        probe.found = true;
        probe.pos = start + static_cast<int32_t>(at - bytes.begin());
        probe.length = probe.endPos - probe.pos + kLyricsMarkerLength;
        return probe;
      }
    }
  }
  return probe;
}

Id3v1Probe ProbeId3v1(InputFile& file, int32_t fileSize) {
  Id3v1Probe probe;
  if (fileSize <= 130) return probe;
  for (int32_t d = 129; d >= 125; --d) {
    char bytes[3];
    if (!file.readAt(fileSize - d, bytes, sizeof bytes)) {
      probe.outcome = AnalysisOutcome::kDiskError;
      return probe;
    }
    if (std::memcmp(bytes, "TAG", 3) == 0) {
      probe.found = true;
      probe.pos = fileSize - d;
      probe.length = d;
      return probe;
    }
  }
  return probe;
}

int32_t AudioEnd(int32_t fileSize, const Id3v1Probe& id3v1, const LyricsProbe& lyrics) {
  int32_t end = fileSize;
  if (id3v1.found) end = id3v1.pos;
  if (lyrics.found && lyrics.pos < end) end = lyrics.pos;
  return end;
}

namespace {

// Reads n bytes at pos of the head buffer (the first min(fileSize, 16 MiB + 12)
// bytes); bytes beyond it read as 0.
bool ReadHead(InputFile& file, int32_t headSize, int64_t pos, uint8_t* dst, size_t n) {
  std::memset(dst, 0, n);
  if (pos >= headSize) return true;
  size_t avail = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), headSize - pos));
  return file.readAt(pos, dst, avail);
}

}  // namespace

LeadingHeaders ReadLeadingHeaders(Context& ctx, InputFile& file, int32_t fileSize,
                                  const LeadingHeaderRules& rules) {
  LeadingHeaders h;
  const int32_t headSize = std::min(fileSize, kHeadBufferSize);
  int64_t p = 0;
  auto diskError = [&h]() {
    h.outcome = AnalysisOutcome::kDiskError;
    return h;
  };
  for (;;) {
    // An ID3v2 tag at p.
    uint8_t id3[10];
    if (!ReadHead(file, headSize, p, id3, sizeof id3)) return diskError();
    if (std::memcmp(id3, "ID3", 3) == 0) {
      // The size bytes are taken with all their 8 bits, as found.
      int64_t length = int64_t{id3[6]} * 2097152 + int64_t{id3[7]} * 16384 + int64_t{id3[8]} * 128 + id3[9] + 10;
      if (rules.sourceRules) {
        if (id3[3] == 255 || id3[4] == 255) {
          h.audioStart = static_cast<int32_t>(p);
          return h;
        }
        h.id3v2Found = true;
        h.id3v2Pos = static_cast<int32_t>(p);
        h.id3v2Major = id3[3];
        h.id3v2Revision = id3[4];
        h.id3v2Flags = id3[5];
        if (h.id3v2Major > 3 && (h.id3v2Flags & 0x10)) length += 10;
        h.id3v2Length = static_cast<int32_t>(length);
      } else {
        h.id3v2Found = true;
        h.id3v2Pos = static_cast<int32_t>(p);
        h.id3v2Length = static_cast<int32_t>(length);
      }
      p += length;
    }
    if (h.riffFound) break;
    // A RIFF header at p, its "data" chunk header within 516 bytes.
    uint8_t riff[4 + kRiffDataSearch + 4];
    if (!ReadHead(file, headSize, p, riff, sizeof riff)) return diskError();
    if (std::memcmp(riff, "RIFF", 4) != 0) break;
    h.riffFound = true;
    h.riffPos = static_cast<int32_t>(p);
    int found = -1;
    for (int at = 4; at <= kRiffDataSearch; ++at) {
      if (std::memcmp(riff + at, "data", 4) == 0) {
        found = at;
        break;
      }
    }
    if (found < 0) {
      if (!AskContinue(ctx, kTextUnknownHeader)) {
        h.outcome = AnalysisOutcome::kStop;
        h.stopText = kTextRiffNotMp3;
        return h;
      }
      h.audioStart = static_cast<int32_t>(p + kRiffDataSearch + 1);
      return h;
    }
    p += found + 8;
    h.riffLength = static_cast<int32_t>(p - h.riffPos);
    if (h.id3v2Found) break;
  }
  h.audioStart = static_cast<int32_t>(std::min<int64_t>(p, INT32_MAX));
  return h;
}

AnalysisOutcome PollProgressPoint(Context& ctx, double fraction) {
  ctx.host.reportProgress(fraction);
  ProcessPendingEvents(ctx);
  if (ctx.closeRequest) {
    ctx.closeRequest = false;
    ctx.cancelRequest = false;
    return AnalysisOutcome::kCloseRequested;
  }
  if (ctx.cancelRequest) {
    ctx.cancelRequest = false;
    return AnalysisOutcome::kCancelled;
  }
  return AnalysisOutcome::kOk;
}

namespace {

// The text for a header the program does not take, or nullptr.
// onlyVersion >= 0: headers of any other version are refused as kOtherVersion.
const char* HeaderProblemText(const frametype& f, HeaderCodes codes, HeaderProblem& problem, int onlyVersion) {
  problem = HeaderProblem::kLayer;
  switch (codes.layer) {
    case kLayerReserved:
      return "Unknown mpeg layer version.";
    case kLayer2:
      return "Seems like mp2, not mp3 file.";
    case kLayer1:
      return "Seems like mp1, not mp3 file.";
    default:
      break;
  }
  problem = HeaderProblem::kVersion;
  if (codes.version == kVersionReserved) return "Unknown mpeg version.";
  problem = HeaderProblem::kOtherVersion;
  if (onlyVersion >= 0 && !SameFamily(codes.version, onlyVersion)) return kTextOtherVersion;
  problem = HeaderProblem::kBitrate;
  if (f.kbps > 14) return "Invalid bitrate detected.";
  // Free format is taken in MPEG-1 only; its length is found from the next header.
  if (f.kbps == 0 && IsLowerFrequencyVersion(codes.version)) return kTextLowerFreeFormat;
  problem = HeaderProblem::kFrequency;
  if (f.freqb > 2) return "Invalid frequency detected.";
  problem = HeaderProblem::kNone;
  return nullptr;
}

}  // namespace

namespace {

// Walks the bytes from `from` to the end of the file in chunks of kScanChunk
// bytes and hands every candidate header (a 0xFF byte followed by three set
// bits) to visit(buf, bufSize, offset, chunkBase), which returns the file
// position to go on from, or -1 to stop. Headers are examined up to kScanLimit
// bytes into a chunk; the next chunk starts where the examination ended. The
// chunk is read in pieces just ahead of the examination, so that the bytes are
// still in the cache; every position examined has at least kHeaderSpan loaded
// bytes after it, or the whole chunk and the zeroed rest of the buffer. What a
// visit sees thus depends only on its position, never on where a chunk began.
enum class WalkEnd { kEnd, kVisitorStopped, kReadError, kInterrupted };

template <class Visitor>
WalkEnd WalkHeaders(InputFile& file, int32_t fileSize, int64_t from, ScanBuffer& buffer,
                    const std::atomic<bool>* interrupt, Visitor&& visit) {
  // A chunk and 4 bytes after it; whatever lies beyond the buffer reads as 0.
  buffer.reserve(static_cast<size_t>(std::clamp<int64_t>(int64_t{fileSize} - from + 4, 4, kChunkBufferSize)));
  uint8_t* buf = buffer.data();
  const size_t bufSize = buffer.size();
  int64_t pos = from;
  while (pos < fileSize) {
    if (interrupt && interrupt->load(std::memory_order_relaxed)) return WalkEnd::kInterrupted;
    const int64_t remaining = fileSize - pos;
    int64_t chunk;
    int64_t limit;
    if (remaining > kScanChunk) {
      chunk = kScanChunk;
      limit = kScanLimit;
    } else {
      chunk = remaining;
      limit = std::min<int64_t>(remaining, kScanLimit);
    }
    if (chunk <= 0) break;

    int64_t loaded = 0;
    int64_t examinable = 0;  // positions below this may be examined
    int64_t i = 0;
    while (i < limit) {
      if (i >= examinable) {
        const int64_t piece = std::min<int64_t>(kReadPiece, chunk - loaded);
        if (!file.readAt(pos + loaded, buf + loaded, static_cast<size_t>(piece))) return WalkEnd::kReadError;
        loaded += piece;
        if (loaded == chunk) {
          std::memset(buf + chunk, 0, bufSize - static_cast<size_t>(chunk));
          examinable = limit;
        } else {
          examinable = std::min(limit, loaded - kHeaderSpan);
        }
        continue;
      }
      if (buf[i] != 0xFF) {
        // Skip to the next 0xFF byte (a header usually starts right where the last frame ends).
        const void* sync = std::memchr(buf + i, 0xFF, static_cast<size_t>(examinable - i));
        if (!sync) {
          i = examinable;
          continue;
        }
        i = static_cast<const uint8_t*>(sync) - buf;
      }
      if ((buf[i + 1] & 0xE0) != 0xE0) {
        ++i;
        continue;
      }
      const int64_t next = visit(buf, bufSize, static_cast<size_t>(i), pos);
      if (next < 0) return WalkEnd::kVisitorStopped;
      i = next - pos;
    }
    if (chunk == limit) break;
    pos += i;
  }
  return WalkEnd::kEnd;
}

// The second half of a long file, scanned on another thread while the first
// half is scanned as usual. The helper takes every header it can and records
// where it found one the program refuses; it never reports or asks anything.
// Its records are used from the first position that both walks visit: from
// there on a walk depends only on the bytes, so both find the same frames
// until the next refused header, which the caller meets and handles itself.
class ScanAhead {
 public:
  ScanAhead(InputFile& file, int32_t fileSize, int64_t from, uint8_t fromfile, int onlyVersion)
      : from_(from), onlyVersion_(onlyVersion) {
    thread_ = std::thread([this, &file, fileSize, fromfile] { run(file, fileSize, fromfile); });
  }
  ~ScanAhead() {
    interrupt_.store(true, std::memory_order_relaxed);
    if (thread_.joinable()) thread_.join();
  }
  ScanAhead(const ScanAhead&) = delete;
  ScanAhead& operator=(const ScanAhead&) = delete;

  int64_t from() const { return from_; }

  // Waits for the helper, polling the user interface every 50 ms meanwhile.
  template <class Poll>
  AnalysisOutcome wait(Poll&& poll) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!done_) {
      if (doneChanged_.wait_for(lock, std::chrono::milliseconds(50)) == std::cv_status::timeout) {
        lock.unlock();
        AnalysisOutcome polled = poll();
        lock.lock();
        if (polled != AnalysisOutcome::kOk) return polled;
      }
    }
    return AnalysisOutcome::kOk;
  }

  // After wait(): whether the helper read its half to the end.
  bool complete() const { return complete_; }
  const LargeVector<frametype>& records() const { return records_; }
  // Positions of refused headers, ascending.
  const std::vector<int64_t>& refused() const { return refused_; }

 private:
  void run(InputFile& file, int32_t fileSize, uint8_t fromfile) {
    bool complete = false;
    try {
      ScanBuffer buffer;
      records_.reserve(static_cast<size_t>((fileSize - from_) / kSmallestFrameLength) + 1);
      WalkEnd end = WalkHeaders(file, fileSize, from_, buffer, &interrupt_,
                                [&](const uint8_t* buf, size_t bufSize, size_t i, int64_t base) -> int64_t {
                                  frametype f;
                                  HeaderCodes codes = DecodeFrameAt(buf, bufSize, i, static_cast<int32_t>(base), false, f);
                                  f.fromfile = fromfile;
                                  HeaderProblem problem;
                                  const int64_t at = base + static_cast<int64_t>(i);
                                  if (HeaderProblemText(f, codes, problem, onlyVersion_)) {
                                    refused_.push_back(at);
                                    return at + 1;
                                  }
                                  records_.push_back(f);
                                  return at + f.estimatedlen;
                                });
      complete = end == WalkEnd::kEnd;
    } catch (const std::bad_alloc&) {
      complete = false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    complete_ = complete;
    done_ = true;
    doneChanged_.notify_all();
  }

  const int64_t from_;
  const int onlyVersion_;
  std::thread thread_;
  std::atomic<bool> interrupt_{false};
  std::mutex mutex_;
  std::condition_variable doneChanged_;
  bool done_ = false;
  bool complete_ = false;
  LargeVector<frametype> records_;
  std::vector<int64_t> refused_;
};

}  // namespace

namespace {

// One walk over the audio that fills the FrameTable from rules.startIndex,
// taking over the records of the helper that scans the second half, where
// there is one.
class FrameScan {
 public:
  FrameScan(Context& ctx, InputFile& file, int32_t fileSize, int32_t audioStart, const FrameScanRules& rules)
      : ctx_(ctx), file_(file), frames_(ctx.doc.frames), fileSize_(fileSize), audioStart_(audioStart), rules_(rules) {}

  FrameScanResult run(ScanBuffer& buffer) {
    reserveTable();
    startAhead();
    WalkEnd end = WalkHeaders(file_, fileSize_, audioStart_, buffer, nullptr,
                              [this](const uint8_t* buf, size_t bufSize, size_t i, int64_t base) {
                                return visit(buf, bufSize, i, base);
                              });
    if (end == WalkEnd::kReadError) result_.outcome = AnalysisOutcome::kDiskError;
    result_.count = n_;
    return result_;
  }

 private:
  // What taking the helper's records gave: nothing (the walk examines the
  // header itself), records up to a position to go on from, or a stop.
  struct AheadTake {
    enum class Kind { kNotTaken, kTaken, kStopped };
    Kind kind = Kind::kNotTaken;
    int64_t next = 0;
  };

  // Room for as many records as the smallest frames (96 bytes) could fill, so
  // that the table is never copied while it grows. Only the records written
  // are ever touched; the rest stays address space.
  void reserveTable() {
    if (fileSize_ <= audioStart_) return;
    const size_t most = static_cast<size_t>(rules_.startIndex) +
                        static_cast<size_t>((fileSize_ - audioStart_) / kSmallestFrameLength) + 1;
    if (most <= frames_.capacity()) return;
    try {
      frames_.reserve(most);
    } catch (const std::bad_alloc&) {
      // Grow step by step instead.
    }
  }

  // The table's length grows in steps of 65,536 records; its memory grows
  // geometrically so that a long file is copied only a few times.
  void growTo(size_t needed) {
    if (needed <= frames_.size()) return;
    const size_t steps = (needed - frames_.size() + kFrameTableGrowth - 1) / kFrameTableGrowth;
    const size_t length = frames_.size() + steps * kFrameTableGrowth;
    if (length > frames_.capacity()) frames_.reserve(std::max(length, frames_.capacity() * 2));
    frames_.resize(length);
  }

  // Long audio: a helper thread scans the second half meanwhile.
  void startAhead() {
    const int64_t audioBytes = static_cast<int64_t>(fileSize_) - audioStart_;
    if (rules_.splitFrom >= 0 && audioBytes >= std::max<int64_t>(rules_.splitFrom, 2) &&
        std::thread::hardware_concurrency() != 1) {
      try {
        ahead_ = std::make_unique<ScanAhead>(file_, fileSize_, audioStart_ + audioBytes / 2, rules_.fromfile,
                                              rules_.onlyVersion);
      } catch (const std::system_error&) {
        // No thread to be had: one walk does it all.
      }
    }
    checkFrom_ = ahead_ ? ahead_->from() : INT64_MAX;
  }

  AnalysisOutcome poll(int64_t at) { return PollProgressPoint(ctx_, static_cast<double>(at) / fileSize_); }

  // True when the poll stopped the scan (the outcome is noted).
  bool stoppedAt(int64_t at) {
    AnalysisOutcome polled = poll(at);
    if (polled == AnalysisOutcome::kOk) return false;
    result_.outcome = polled;
    return true;
  }

  // Takes the helper's records from position `at` (a header the walk is about
  // to examine) up to its next refused header.
  AheadTake takeAhead(int64_t at) {
    AheadTake take;
    if (!aheadWaited_) {
      aheadWaited_ = true;
      AnalysisOutcome waited = ahead_->wait([this, at] { return poll(at); });
      if (waited != AnalysisOutcome::kOk) {
        result_.outcome = waited;
        take.kind = AheadTake::Kind::kStopped;
        return take;
      }
      if (!ahead_->complete()) {
        checkFrom_ = INT64_MAX;
        return take;
      }
    }
    const LargeVector<frametype>& records = ahead_->records();
    auto byPosition = [](const frametype& f, int64_t p) { return f.framepos < p; };
    auto first = std::lower_bound(records.begin(), records.end(), at, byPosition);
    if (first == records.end() || first->framepos != at) {
      checkFrom_ = first == records.end() ? INT64_MAX : first->framepos;
      return take;
    }
    const std::vector<int64_t>& refused = ahead_->refused();
    auto nextRefused = std::upper_bound(refused.begin(), refused.end(), at);
    const int64_t until = nextRefused == refused.end() ? INT64_MAX : *nextRefused;
    auto last = std::lower_bound(first, records.end(), until, byPosition);
    const size_t count = static_cast<size_t>(last - first);
    const size_t index = static_cast<size_t>(rules_.startIndex) + static_cast<size_t>(n_);
    growTo(index + count);
    std::copy(first, last, frames_.begin() + static_cast<std::ptrdiff_t>(index));
    n_ += static_cast<int32_t>(count);
    checkFrom_ = last == records.end() ? INT64_MAX : last->framepos;
    const frametype& end = *(last - 1);
    if (stoppedAt(end.framepos)) {
      take.kind = AheadTake::Kind::kStopped;
      return take;
    }
    take.kind = AheadTake::Kind::kTaken;
    take.next = static_cast<int64_t>(end.framepos) + end.estimatedlen;
    return take;
  }

  // Examines the header at buf[i] (file position base + i): the position to go
  // on from, or -1 to stop the walk.
  int64_t visit(const uint8_t* buf, size_t bufSize, size_t i, int64_t base) {
    const int64_t at = base + static_cast<int64_t>(i);
    if (at >= checkFrom_ && n_ > 0) {
      const AheadTake take = takeAhead(at);
      if (take.kind == AheadTake::Kind::kStopped) return -1;
      if (take.kind == AheadTake::Kind::kTaken) return take.next;
    }
    const size_t index = static_cast<size_t>(rules_.startIndex) + static_cast<size_t>(n_);
    growTo(index + 1);
    frametype& f = frames_[index];
    HeaderCodes codes = DecodeFrameAt(buf, bufSize, i, static_cast<int32_t>(base), n_ == 0, f);
    f.fromfile = rules_.fromfile;
    HeaderProblem problem;
    if (const char* text = HeaderProblemText(f, codes, problem, rules_.onlyVersion)) {
      // A header of another version than the one looked for is passed over without a word.
      if (problem == HeaderProblem::kOtherVersion) return at + 1;
      if (!rules_.askAgain && ctx_.options.errorPolicy == kErrorPrompt) return at + 1;
      if (AskContinue(ctx_, text)) return at + 1;
      result_.outcome = AnalysisOutcome::kStop;
      result_.problem = problem;
      result_.stopText = text;
      return -1;
    }
    const int64_t next = at + f.estimatedlen;
    if (rules_.dropLeadingVbrFrame && n_ == 0 && f.spec != 0) {
      result_.droppedVbrPos = f.framepos;
      result_.droppedVbrLength = f.estimatedlen;
      result_.droppedVbrSpec = f.spec;
      return next;
    }
    if (n_ % kProgressEvery == kProgressAt && stoppedAt(f.framepos)) return -1;
    ++n_;
    return next;
  }

  Context& ctx_;
  InputFile& file_;
  decltype(ctx_.doc.frames)& frames_;
  const int32_t fileSize_;
  const int32_t audioStart_;
  const FrameScanRules& rules_;
  FrameScanResult result_;
  int32_t n_ = 0;
  std::unique_ptr<ScanAhead> ahead_;
  int64_t checkFrom_ = INT64_MAX;
  bool aheadWaited_ = false;
};

}  // namespace

FrameScanResult ScanFrames(Context& ctx, InputFile& file, int32_t fileSize, int32_t audioStart,
                           const FrameScanRules& rules, ScanBuffer& buffer) {
  return FrameScan(ctx, file, fileSize, audioStart, rules).run(buffer);
}

int32_t FramesBeforeAudioEnd(const DocumentState& doc, int32_t first, int32_t count, int32_t audioEnd) {
  int32_t kept = count;
  while (kept > 0 && doc.frames[static_cast<size_t>(first + kept - 1)].framepos >= audioEnd) --kept;
  return kept;
}

FrameLengthResult ComputeFrameLengths(Context& ctx, int32_t first, int32_t count, int32_t audioEnd) {
  FrameLengthResult result;
  if (count <= 0) return result;
  auto& frames = ctx.doc.frames;
  auto stop = [&result]() {
    result.outcome = AnalysisOutcome::kStop;
    result.stopText = kTextImproperFrameSize;
    return result;
  };
  const int32_t lastIndex = first + count - 1;
  for (int32_t k = first; k < lastIndex; ++k) {
    frametype& f = frames[static_cast<size_t>(k)];
    const int32_t next = frames[static_cast<size_t>(k) + 1].framepos;
    f.framelen = next - f.framepos;
    if (f.kbps != 0 && std::abs(f.framelen - f.estimatedlen) > kFrameSizeTolerance) {
      if (!AskContinue(ctx, "Improper frame size at position " + ThousandsText(f.framepos) + " to " +
                                ThousandsText(next) + ".")) {
        return stop();
      }
    }
  }
  frametype& last = frames[static_cast<size_t>(lastIndex)];
  last.framelen = std::max(audioEnd - last.framepos, 0);
  if (last.kbps != 0 && last.framelen < last.estimatedlen - kFrameSizeTolerance) {
    if (!AskContinue(ctx, "The last frame is incomplete (position " + ThousandsText(last.framepos) + ").")) {
      return stop();
    }
  }
  result.count = count;
  if (last.framelen < MinimumFrameLength(last.stereo, last.version)) {
    // A piece of a frame: its bytes are kept as they are, as trailing data.
    result.count = count - 1;
    result.footerFound = true;
    result.footerPos = last.framepos;
    result.footerLength = audioEnd - last.framepos;
    last.framelen = 0;
    return result;
  }
  const int32_t beyond = last.framelen - last.estimatedlen;
  result.footerFound = beyond > kFrameSizeTolerance && (last.kbps != 0 || beyond >= kFreeFormatFooterThreshold);
  if (result.footerFound) {
    result.footerPos = last.framepos + last.estimatedlen;
    result.footerLength = audioEnd - result.footerPos;
    last.framelen = std::max(last.framelen - result.footerLength, 0);
  }
  return result;
}

namespace {

// A Layer III header the scan takes at buffer offset i (file position base + i).
bool TakenHeaderAt(const uint8_t* b, size_t n, size_t i, int32_t base, int onlyVersion, frametype& f) {
  if (i + 4 > n || !IsFrameSync(b[i], b[i + 1])) return false;
  const HeaderCodes codes = DecodeFrameAt(b, n, i, base, false, f);
  HeaderProblem problem;
  return HeaderProblemText(f, codes, problem, onlyVersion) == nullptr && f.kbps != 0 && f.estimatedlen > 0;
}

// The frames a junk candidate hid: the scan jumped from it over its supposed
// length. Walks (from, to) again as the scan would have gone on from the byte
// after the candidate, taking headers that chain into the next one or into `to`.
std::vector<frametype> FramesInGap(InputFile& file, int32_t from, int32_t to, uint8_t fromfile, int onlyVersion) {
  std::vector<frametype> found;
  if (to - from < 4) return found;
  const int64_t readEnd = std::min<int64_t>(file.size(), int64_t{to} + 8);
  if (readEnd <= from) return found;
  std::vector<uint8_t> bytes(static_cast<size_t>(readEnd - from));
  const int64_t got = file.readSome(from, bytes.data(), bytes.size());
  if (got < 4) return found;
  const size_t n = static_cast<size_t>(got);
  const size_t end = static_cast<size_t>(to - from);
  size_t q = 0;
  while (q < end) {
    frametype f;
    if (TakenHeaderAt(bytes.data(), n, q, from, onlyVersion, f)) {
      const int64_t next = int64_t{f.framepos} + f.estimatedlen;
      frametype g;
      const bool chains = (next >= to - kFrameSizeTolerance && next <= to + kFrameSizeTolerance) ||
                          (next < to &&
                           TakenHeaderAt(bytes.data(), n, static_cast<size_t>(next - from), from, onlyVersion, g)) ||
                          (!found.empty() && found.back().framepos + found.back().estimatedlen == f.framepos);
      if (chains) {
        f.fromfile = fromfile;
        found.push_back(f);
        q += static_cast<size_t>(f.estimatedlen);
        continue;
      }
    }
    ++q;
  }
  return found;
}

}  // namespace

int32_t DropUnchainedFrames(DocumentState& doc, int32_t first, int32_t count, InputFile* file, int onlyVersion) {
  if (count <= 1) return count;
  auto& frames = doc.frames;
  auto at = [&frames](int32_t k) -> const frametype& { return frames[static_cast<size_t>(k)]; };
  // Whether record k + 1 starts where record k ends.
  auto chains = [&at](int32_t k) {
    const frametype& f = at(k);
    if (f.kbps == 0) return true;
    const int64_t gap = int64_t{at(k + 1).framepos} - (int64_t{f.framepos} + f.estimatedlen);
    return gap >= -kFrameSizeTolerance && gap <= kFrameSizeTolerance;
  };
  const int32_t last = first + count - 1;
  // Stretches to walk again: from the byte after a junk candidate to the next candidate.
  struct Gap {
    int32_t from, to;
    uint8_t fromfile;
  };
  std::vector<Gap> gaps;
  int32_t kept = first;
  bool chainedFromPrevious = false;
  for (int32_t k = first; k <= last; ++k) {
    const bool chainsNext = k < last && chains(k);
    const bool frame = k == first || k == last || chainsNext || chainedFromPrevious || at(k).kbps == 0;
    chainedFromPrevious = chainsNext;
    if (!frame) {
      gaps.push_back({at(k).framepos + 1, at(k + 1).framepos, at(k).fromfile});
      continue;
    }
    if (kept != k) frames[static_cast<size_t>(kept)] = at(k);
    ++kept;
  }
  int32_t total = kept - first;
  if (file == nullptr || gaps.empty()) return total;

  std::vector<frametype> found;
  for (const Gap& g : gaps) {
    std::vector<frametype> more = FramesInGap(*file, g.from, g.to, g.fromfile, onlyVersion);
    found.insert(found.end(), more.begin(), more.end());
  }
  if (found.empty()) return total;
  // Merge by position.
  std::vector<frametype> merged;
  merged.reserve(static_cast<size_t>(total) + found.size());
  size_t j = 0;
  for (int32_t k = first; k < first + total; ++k) {
    while (j < found.size() && found[j].framepos < at(k).framepos) merged.push_back(found[j++]);
    merged.push_back(at(k));
  }
  while (j < found.size()) merged.push_back(found[j++]);
  const size_t needed = static_cast<size_t>(first) + merged.size();
  if (needed > frames.size()) frames.resize(needed);
  std::copy(merged.begin(), merged.end(), frames.begin() + first);
  return static_cast<int32_t>(merged.size());
}

std::string MixedVersionsText(int a, int b) {
  if (SameFamily(a, b)) return "";
  // Oldest version first: MPEG-1, MPEG-2, MPEG-2.5.
  auto rank = [](int v) { return v == kVersionMpeg1 ? 0 : v == kVersionMpeg2 ? 1 : 2; };
  if (rank(a) > rank(b)) std::swap(a, b);
  return std::string("The file mixes ") + VersionName(a) + " and " + VersionName(b) +
         " frames.\r\nFiles of more than one mpeg version are not supported.";
}

VersionSettlement SettleFrameVersion(DocumentState& doc, int32_t first, int32_t count) {
  VersionSettlement result;
  if (count <= 0) return result;
  auto& frames = doc.frames;
  std::array<int32_t, 4> perVersion{};
  for (int32_t k = first; k < first + count; ++k) ++perVersion[frames[static_cast<size_t>(k)].version & 3];
  const int32_t lower = perVersion[kVersionMpeg2] + perVersion[kVersionMpeg25];
  const int32_t mpeg1 = perVersion[kVersionMpeg1];
  // The family with the most frames (on a tie the first frame's), and in it
  // the version with the most frames (on a tie MPEG-2, or the first frame's).
  const uint8_t head = frames[static_cast<size_t>(first)].version;
  bool lowerFamily = lower > mpeg1 || (lower == mpeg1 && IsLowerFrequencyVersion(head));
  uint8_t version = kVersionMpeg1;
  if (lowerFamily) {
    version = perVersion[kVersionMpeg25] > perVersion[kVersionMpeg2] ||
                      (perVersion[kVersionMpeg25] == perVersion[kVersionMpeg2] && head == kVersionMpeg25)
                  ? kVersionMpeg25
                  : kVersionMpeg2;
  }
  result.version = version;
  const int32_t family = lowerFamily ? lower : mpeg1;
  const int32_t other = lowerFamily ? mpeg1 : lower;
  if (other >= kVersionAudioFrames) {
    const uint8_t otherVersion = lowerFamily ? kVersionMpeg1
                                 : perVersion[kVersionMpeg25] > perVersion[kVersionMpeg2] ? kVersionMpeg25
                                                                                          : kVersionMpeg2;
    result.mixText = MixedVersionsText(version, otherVersion);
    return result;
  }
  result.others = family != count;
  return result;
}

namespace {

void EndLoadBusy(Context& ctx) { EndBusy(ctx, kBusyLoad); }

void FillRemoveBoxes(Context& ctx) {
  DocumentState& doc = ctx.doc;
  const SourceAnalysis& s = doc.source;
  const bool autoCheck = ctx.options.mainFlag(kAutoCheckUnknownAndRiff);
  doc.boxes.riff = {s.riffFound, s.riffFound && autoCheck};
  doc.boxes.lyrics = {s.lyricsFound, false};
  doc.boxes.id3v2 = {doc.id3v2.present, false};
  doc.boxes.id3v1 = {s.id3v1Found, false};
  doc.boxes.behindHeader = {s.behindHeaderFound, s.behindHeaderFound && autoCheck};
  doc.boxes.footer = {s.footerFound, s.footerFound && autoCheck};
}

}  // namespace

namespace {

// How a step of the source analysis ended: going on, failed with a text, or
// interrupted (cancelled, or the main window is closing).
struct LoadStep {
  enum class Kind { kGoOn, kFailed, kInterrupted };
  Kind kind = Kind::kGoOn;
  std::string text;
  AnalysisOutcome interruption = AnalysisOutcome::kOk;
  bool ok() const { return kind == Kind::kGoOn; }
};

LoadStep LoadFailure(std::string text) {
  LoadStep step;
  step.kind = LoadStep::Kind::kFailed;
  step.text = std::move(text);
  return step;
}

LoadStep LoadInterrupted(AnalysisOutcome outcome) {
  LoadStep step;
  step.kind = LoadStep::Kind::kInterrupted;
  step.interruption = outcome;
  return step;
}

// What the source's trailing tags tell the frame scan.
struct SourceLayout {
  FileIdentity identity;
  int32_t fileSize = 0;
  LyricsProbe lyrics;
  Id3v1Probe id3v1;
};

void ClearSourceState(DocumentState& doc) {
  doc.source = SourceAnalysis{};
  doc.frameTableCount = 0;
  doc.insertedCount = 0;
  doc.version = kVersionMpeg1;
  Id3v2TagState& tag = doc.id3v2;
  tag.present = false;
  tag.tagstart = 0;
  tag.tagsize = 0;
  tag.tagversion = {};
  tag.srcversion = {};
  tag.srcunsync = tag.unsync = tag.exthead = tag.experimental = tag.footer = false;
}

// The ID3v2 tag found ahead of the audio, as its header describes it.
void TakeId3v2Header(Id3v2TagState& tag, const LeadingHeaders& lead) {
  const uint8_t major = lead.id3v2Major;
  tag.present = true;
  tag.tagstart = static_cast<uint32_t>(lead.id3v2Pos);
  tag.tagsize = static_cast<uint32_t>(lead.id3v2Length);
  tag.tagversion = {major, lead.id3v2Revision};
  tag.unsync = (lead.id3v2Flags & 0x80) != 0;
  tag.srcunsync = tag.unsync;
  tag.exthead = major > 2 && (lead.id3v2Flags & 0x40) != 0;
  tag.experimental = major > 2 && (lead.id3v2Flags & 0x20) != 0;
  tag.footer = major > 3 && (lead.id3v2Flags & 0x10) != 0;
}

// Opens the source and finds the tags and headers around its audio.
LoadStep ProbeSourceFile(Context& ctx, const std::string& path, InputFile& file, SourceLayout& layout) {
  DocumentState& doc = ctx.doc;
  SourceAnalysis& s = doc.source;
  if (!file.open(path)) return LoadFailure(kDiskErrorText);
  layout.identity = file.identity();
  layout.fileSize = CheckedFileSize(file);
  if (layout.fileSize < 0) return LoadFailure(kDiskErrorText);
  s.fileSize = layout.fileSize;
  if (layout.fileSize < kSmallestFile) return LoadFailure(kTextTooSmall);

  layout.lyrics = ProbeLyrics3(file, layout.fileSize);
  if (layout.lyrics.outcome != AnalysisOutcome::kOk) return LoadFailure(kDiskErrorText);
  s.lyricsVersion = layout.lyrics.version;
  s.lyricsFound = layout.lyrics.found;
  if (layout.lyrics.found) {
    s.lyricsPos = layout.lyrics.pos;
    s.lyricsEndPos = layout.lyrics.endPos;
    s.lyricsLength = layout.lyrics.length;
  }

  layout.id3v1 = ProbeId3v1(file, layout.fileSize);
  if (layout.id3v1.outcome != AnalysisOutcome::kOk) return LoadFailure(kDiskErrorText);
  s.id3v1Found = layout.id3v1.found;
  s.id3v1Pos = layout.id3v1.pos;
  s.id3v1Length = layout.id3v1.length;

  LeadingHeaders lead = ReadLeadingHeaders(ctx, file, layout.fileSize, LeadingHeaderRules{true});
  if (lead.outcome == AnalysisOutcome::kDiskError) return LoadFailure(kDiskErrorText);
  if (lead.outcome == AnalysisOutcome::kStop) return LoadFailure(lead.stopText);
  if (lead.id3v2Found) {
    TakeId3v2Header(doc.id3v2, lead);
    s.id3v2Flags = lead.id3v2Flags;
  }
  s.riffFound = lead.riffFound;
  s.riffPos = lead.riffPos;
  s.riffLength = lead.riffLength;
  s.audioStart = lead.audioStart;
  return {};
}

// Fills the FrameTable with the source's audio frames and notes the data
// between the headers and the first frame and behind the last one.
LoadStep ScanSourceFrames(Context& ctx, InputFile& file, const SourceLayout& layout) {
  DocumentState& doc = ctx.doc;
  SourceAnalysis& s = doc.source;
  s.audioEnd = AudioEnd(layout.fileSize, layout.id3v1, layout.lyrics);
  ScanBuffer buffer;
  FrameScanRules rules;
  for (;;) {
    FrameScanResult scan = ScanFrames(ctx, file, layout.fileSize, s.audioStart, rules, buffer);
    switch (scan.outcome) {
      case AnalysisOutcome::kOk:
        break;
      case AnalysisOutcome::kDiskError:
        return LoadFailure(kDiskErrorText);
      case AnalysisOutcome::kStop:
        return LoadFailure(scan.stopText);
      case AnalysisOutcome::kCancelled:
      case AnalysisOutcome::kCloseRequested:
        return LoadInterrupted(scan.outcome);
    }
    // Syncs found inside the trailing tags are not frames of the audio.
    doc.frameTableCount = FramesBeforeAudioEnd(doc, 0, scan.count, s.audioEnd);
    doc.frameTableCount = DropUnchainedFrames(doc, 0, doc.frameTableCount, &file, rules.onlyVersion);
    if (doc.frameTableCount == 0) return LoadFailure(kTextNoFrame);
    const VersionSettlement settled = SettleFrameVersion(doc, 0, doc.frameTableCount);
    if (!settled.mixText.empty()) return LoadFailure(settled.mixText);
    doc.version = settled.version;
    if (!settled.others || rules.onlyVersion >= 0) break;
    // A few headers of another version were found by chance, and the scan may
    // have jumped over frames behind them: scan again for the file's version only.
    rules.onlyVersion = settled.version;
    rules.askAgain = false;
  }

  const frametype& firstFrame = doc.frames[0];
  if (firstFrame.framepos != s.audioStart) {
    s.behindHeaderFound = true;
    s.behindHeaderPos = s.audioStart;
    s.behindHeaderLength = firstFrame.framepos - s.audioStart;
  }

  FrameLengthResult lengths = ComputeFrameLengths(ctx, 0, doc.frameTableCount, s.audioEnd);
  if (lengths.outcome == AnalysisOutcome::kStop) return LoadFailure(lengths.stopText);
  doc.frameTableCount = lengths.count;
  if (doc.frameTableCount == 0) return LoadFailure(kTextNoFrame);
  s.footerFound = lengths.footerFound;
  if (lengths.footerFound) {
    s.footerPos = lengths.footerPos;
    s.footerLength = lengths.footerLength;
  }
  return {};
}

// The document: every frame once, in order, unchanged.
void BuildSourceEditList(DocumentState& doc, const std::string& path, const FileIdentity& identity) {
  const int32_t count = doc.frameTableCount;
  doc.editCount = count;
  ResizeEditList(doc);
  doc.frames.resize(static_cast<size_t>(count));
  for (InsertedFile& f : doc.files) f = InsertedFile{};
  doc.files[0].name = path;
  doc.files[0].identity = identity;
  doc.files[1].firstFrame = count;
  std::iota(doc.ref.begin(), doc.ref.end(), 0);
  std::fill(doc.gainLeft.begin(), doc.gainLeft.end(), 0);
  std::fill(doc.gainRight.begin(), doc.gainRight.end(), 0);
}

// The encoder extension of the source's information frame (record 0, when it
// is a "Xing" or "Info" frame followed by audio frames).
void ReadSourceLameTag(DocumentState& doc, InputFile& file) {
  const int32_t count = doc.frameTableCount;
  if (count < 2) return;
  const frametype& info = doc.frames[0];
  if (info.spec != 1 && info.spec != 2) return;
  const frametype& last = doc.frames[static_cast<size_t>(count - 1)];
  doc.files[0].lame = ReadTrustedLameTag(file, info.framepos, info.framelen,
                                         int64_t{last.framepos} + last.framelen, 1, count - 1);
}

// Reads the ID3v2 and ID3v1 tags; a tag that cannot be read is warned about.
void ReadSourceTags(Context& ctx, InputFile& file, const std::string& path) {
  DocumentState& doc = ctx.doc;
  Id3v2TagState& tag = doc.id3v2;
  ResetId3v2State(tag);
  if (tag.present) {
    uint8_t major = std::clamp<uint8_t>(tag.tagversion.major, 2, 5);
    uint8_t minor = tag.tagversion.minor == 255 ? 254 : tag.tagversion.minor;
    tag.srcversion = {major, minor};
    ProcessID3v2(tag, file, path);
    if (tag.readerror) WarnUnlessSilent(ctx, kTextId3v2ReadError);
  }
  ClearId3v1(doc.id3v1.record);
  doc.id3v1.loaded = doc.id3v1.record;
  if (doc.source.id3v1Found) {
    if (ProcessID3v1(doc.id3v1, file, doc.source.id3v1Pos) != Id3v1ReadResult::kOk) {
      WarnUnlessSilent(ctx, kId3v1ReadErrorText);
    }
  }
}

// The source's statistics, the fallback for blank frames, and the warning
// about free-format frames.
void ComputeSourceStatistics(Context& ctx) {
  DocumentState& doc = ctx.doc;
  doc.fallbackBitrate = 0;
  doc.fallbackFreq = kFrequencyMixed;
  doc.fallbackMode = 4;
  ComputeEditStatistics(doc);
  doc.fallbackBitrate = doc.editStats.bitrateSummary;
  doc.fallbackFreq = doc.editStats.freqSummary;
  doc.fallbackMode = doc.editStats.modeSummary;
  doc.sourceStats = doc.editStats;

  const int32_t freeFormat = doc.editStats.bitrateCount[0];
  if (freeFormat > 0) {
    double error = freeFormat * FreeFormatWarningFrameSeconds(doc.sourceStats.freqSummary);
    WarnUnlessScript(ctx, "Possible playtime error < " + ScientificText(error) + " sec" + "\r\n" +
                              "(due to free format frame" + (freeFormat > 1 ? "s" : "") + ")");
  }
}

// The loaded document, unchanged, at its start.
void OpenLoadedDocument(DocumentState& doc, const std::string& path) {
  doc.loaded = true;
  doc.unsavedChanges = false;
  doc.documentName = path;
  doc.viewStart = 0;
  doc.clip.clipCount = 0;
  doc.cursor = 0;
  doc.selectionEnd = 0;
  SetSelectionExists(doc, false);
  doc.modifiedLevel = 0;
}

// A failed or interrupted load leaves no document.
void AbandonLoad(Context& ctx, InputFile& file, const LoadStep& step) {
  file.close();
  if (step.kind == LoadStep::Kind::kFailed) {
    if (ctx.script.active) {
      ctx.script.resultCode = 201;
      ctx.script.errorText = step.text;
    } else {
      ReportMessage(ctx, "Error processing the file:\r\n" + step.text, kModalWarning, "Quorvel");
    }
  }
  unloadall(ctx, false);
  EndLoadBusy(ctx);
  if (step.kind == LoadStep::Kind::kInterrupted && step.interruption == AnalysisOutcome::kCloseRequested) {
    ctx.host.closeMainWindow();
  }
}

}  // namespace

bool AnalyseSource(Context& ctx) {
  DocumentState& doc = ctx.doc;
  unloadall(ctx, false);

  BeginBusy(ctx, kBusyLoad);
  ctx.script.resultCode = 0;
  ClearSourceState(doc);

  const std::string path = doc.sourceName;
  InputFile file;
  SourceLayout layout;
  LoadStep step = ProbeSourceFile(ctx, path, file, layout);
  if (step.ok()) step = ScanSourceFrames(ctx, file, layout);
  if (!step.ok()) {
    AbandonLoad(ctx, file, step);
    return false;
  }

  BuildSourceEditList(doc, path, layout.identity);
  ReadSourceLameTag(doc, file);
  ReadSourceTags(ctx, file, path);
  ComputeSourceStatistics(ctx);
  FillRemoveBoxes(ctx);
  OpenLoadedDocument(doc, path);
  file.close();
  EndLoadBusy(ctx);
  if (ctx.options.mainFlag(kSelectAllOnLoad)) {
    doc.cursor = 0;
    doc.selectionEnd = doc.editCount;
    SetSelectionExists(doc, true);
  }
  ctx.host.changed(kChangedDocument);
  return true;
}

bool Loadfile(Context& ctx) {
  if (!AnalyseSource(ctx)) return false;
  if (!(ctx.options.listFlags & kRecentListTakesSaved)) {
    MoveToTopOfRecent(ctx.options.recentFiles, AbsoluteNormalPath(ctx.doc.sourceName));
    if (ctx.saveSettings) ctx.saveSettings(ctx);
  }
  ctx.host.changed(kChangedDocument);
  return true;
}

bool Loadfile(Context& ctx, const std::string& path) {
  ctx.doc.sourceName = path;
  return Loadfile(ctx);
}

void MenuLoadClick(Context& ctx) {
  if (NotReady(ctx) || ctx.script.active) return;
  FileDialogRequest request;
  request.title = " CHOOSE THE SOURCE FILE ";
  request.filter = "mp3 files|*.mp3|all files|*.*";
  request.folder = ExistingFolder(ctx.options.lastLoadFolder);
  request.mustExist = true;
  std::optional<std::string> chosen = ctx.host.chooseOpenFile(request);
  if (!chosen) return;
  std::filesystem::path folder = std::filesystem::path(*chosen).parent_path();
  ctx.options.lastLoadFolder = folder.string();
  if (ctx.saveSettings) ctx.saveSettings(ctx);
  Loadfile(ctx, *chosen);
}

void ReloadbutClick(Context& ctx, bool fromScript) {
  if (ctx.script.active && !fromScript) return;
  if (NotReady(ctx)) {
    ctx.script.resultCode = 255;
    return;
  }
  ctx.script.resultCode = 0;
  EndTagSessions(ctx);
  AnalyseSource(ctx);
  ctx.host.changed(kChangedDocument);
}

}  // namespace quorvel
