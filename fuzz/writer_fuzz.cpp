// libFuzzer target: the output writer. The first 8 bytes of the input are an
// edit program, the rest is the file: it is loaded as in a silent script run,
// a few edits rewrite the EditList (delete, repeat and move ranges, gain
// changes), and the edit is written twice, once without any of the blocks
// around the audio and once with the trailing ones (unknown footer, Lyrics3,
// ID3v1). The output must hold exactly the frames the EditList names, each
// byte for byte as found in the file (only the side information of a frame
// with a gain change may differ), after an optional Xing frame, followed by
// the kept blocks as found: no byte outside the frames and kept blocks.
//
//   build-fuzz/fuzz/writer_fuzz -rss_limit_mb=2048 fuzz/out/writer fuzz/corpus/writer

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/analysis.h"
#include "core/context.h"
#include "core/document_ops.h"
#include "core/headless_host.h"
#include "core/mpeg_header.h"
#include "core/options.h"
#include "output/writer.h"
#include "tags/id3v1.h"

namespace {

constexpr size_t kProgramBytes = 8;

std::string TempPath(const char* what) {
  const char* dir = std::getenv("TMPDIR");
  std::string path = (dir && *dir) ? dir : "/tmp";
  return path + "/quorvel-writer-fuzz-" + std::to_string(::getpid()) + what;
}

bool WriteAll(const std::string& path, const uint8_t* data, size_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) {
      ::close(fd);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return ::close(fd) == 0;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return bytes;
  uint8_t buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    bytes.insert(bytes.end(), buf, buf + n);
  }
  ::close(fd);
  return bytes;
}

// Applies one edit of the program to the EditList.
void Edit(quorvel::DocumentState& doc, uint8_t op, uint8_t a, uint8_t b) {
  const int32_t n = doc.editCount;
  if (n <= 0) return;
  int32_t from = a % n;
  int32_t len = 1 + b % std::max<int32_t>(1, n - from);
  std::vector<int32_t> ref(doc.ref.begin(), doc.ref.begin() + n);
  std::vector<int16_t> left(doc.gainLeft.begin(), doc.gainLeft.begin() + n);
  std::vector<int16_t> right(doc.gainRight.begin(), doc.gainRight.begin() + n);
  auto cut = [&](auto& v) {
    using V = std::remove_reference_t<decltype(v)>;
    V piece(v.begin() + from, v.begin() + from + len);
    v.erase(v.begin() + from, v.begin() + from + len);
    return piece;
  };
  switch (op % 4) {
    case 0:  // delete, unless it would leave nothing
      if (len < n) {
        cut(ref);
        cut(left);
        cut(right);
      }
      break;
    case 1: {  // repeat the range after itself
      auto at = static_cast<std::ptrdiff_t>(from + len);
      ref.insert(ref.begin() + at, ref.begin() + from, ref.begin() + from + len);
      left.insert(left.begin() + at, left.begin() + from, left.begin() + from + len);
      right.insert(right.begin() + at, right.begin() + from, right.begin() + from + len);
      break;
    }
    case 2: {  // move the range to the start
      auto r = cut(ref);
      auto l = cut(left);
      auto g = cut(right);
      ref.insert(ref.begin(), r.begin(), r.end());
      left.insert(left.begin(), l.begin(), l.end());
      right.insert(right.begin(), g.begin(), g.end());
      break;
    }
    default:  // a gain change on the range
      for (int32_t p = from; p < from + len; ++p) {
        left[static_cast<size_t>(p)] = static_cast<int16_t>(static_cast<int8_t>(a ^ b) % 12);
        right[static_cast<size_t>(p)] = static_cast<int16_t>(static_cast<int8_t>(b) % 12);
      }
      break;
  }
  doc.editCount = static_cast<int32_t>(ref.size());
  quorvel::ResizeEditList(doc);
  std::copy(ref.begin(), ref.end(), doc.ref.begin());
  std::copy(left.begin(), left.end(), doc.gainLeft.begin());
  std::copy(right.begin(), right.end(), doc.gainRight.begin());
}

void SetAllRemoved(quorvel::RemoveBoxes& boxes, bool trailingKept) {
  for (quorvel::RemoveBox* box : {&boxes.riff, &boxes.id3v2, &boxes.behindHeader}) box->checked = true;
  for (quorvel::RemoveBox* box : {&boxes.footer, &boxes.lyrics, &boxes.id3v1}) box->checked = !trailingKept;
}

bool Kept(const quorvel::RemoveBox& box) { return box.enabled && !box.checked; }

// Checks one output against the file and the EditList.
void Check(const quorvel::DocumentState& doc, const std::vector<uint8_t>& file, const std::vector<uint8_t>& out,
           int32_t first, int32_t end, bool xing) {
  // The frames, as found, in EditList order.
  std::vector<uint8_t> frames;
  std::vector<std::pair<size_t, bool>> starts;  // offset in `frames`, gain changed
  for (int32_t p = first; p < end; ++p) {
    const int32_t r = doc.ref[static_cast<size_t>(p)];
    if (r < 0) std::abort();
    const quorvel::frametype& f = doc.frames[static_cast<size_t>(r)];
    if (p == 0 && f.spec != 0) continue;
    if (f.framelen < quorvel::MinimumFrameLength(f.stereo, f.version)) continue;
    const size_t len = static_cast<size_t>(std::min(f.framelen, 32767));
    if (static_cast<size_t>(f.framepos) + len > file.size()) std::abort();  // a frame outside the file
    starts.emplace_back(frames.size(), doc.gainLeft[static_cast<size_t>(p)] != 0 || doc.gainRight[static_cast<size_t>(p)] != 0);
    frames.insert(frames.end(), file.begin() + f.framepos, file.begin() + f.framepos + static_cast<std::ptrdiff_t>(len));
  }
  std::vector<uint8_t> trailing;
  const quorvel::SourceAnalysis& s = doc.source;
  auto block = [&](bool present, const quorvel::RemoveBox& box, int32_t pos, int32_t len) {
    if (!present || !Kept(box) || len <= 0) return;
    if (pos < 0 || static_cast<size_t>(pos) + static_cast<size_t>(len) > file.size()) std::abort();
    trailing.insert(trailing.end(), file.begin() + pos, file.begin() + pos + len);
  };
  block(s.footerFound, doc.boxes.footer, s.footerPos, s.footerLength);
  block(s.lyricsFound, doc.boxes.lyrics, s.lyricsPos, s.lyricsLength);
  const size_t v1 = Kept(doc.boxes.id3v1) ? 128 : 0;

  if (out.size() < frames.size() + trailing.size() + v1) std::abort();
  const size_t lead = out.size() - frames.size() - trailing.size() - v1;
  if (lead != 0 && !xing) std::abort();  // bytes that are neither frames nor blocks
  if (xing && (lead < 21 || out[0] != 0xFF)) std::abort();
  size_t next = 0;
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t from = starts[k].first;
    const size_t to = k + 1 < starts.size() ? starts[k + 1].first : frames.size();
    for (size_t i = from; i < to; ++i) {
      // A gain change rewrites global_gain inside the side information only.
      const bool sideInfo = starts[k].second && i - from >= 4 && i - from < 4 + 2 + 32;
      if (!sideInfo && out[lead + i] != frames[i]) std::abort();
    }
    next = to;
  }
  (void)next;
  if (!std::equal(trailing.begin(), trailing.end(), out.begin() + static_cast<std::ptrdiff_t>(lead + frames.size())))
    std::abort();
  if (v1 != 0 && (out[out.size() - 128] != 'T' || out[out.size() - 127] != 'A' || out[out.size() - 126] != 'G'))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kProgramBytes) return 0;
  static const std::string path = TempPath(".mp3");
  static const std::string outPath = TempPath("-out.mp3");
  const uint8_t* program = data;
  std::vector<uint8_t> file(data + kProgramBytes, data + size);
  if (!WriteAll(path, file.data(), file.size())) std::abort();

  quorvel::HeadlessHost host;
  host.defaultAnswer = quorvel::kAnswerNo;
  quorvel::Context ctx(host);
  ctx.options.errorPolicy = quorvel::kErrorTryToContinue;
  ctx.script.active = true;
  ctx.script.silent = true;
  ctx.doc.sourceName = path;
  if (!quorvel::Loadfile(ctx)) return 0;
  quorvel::DocumentState& doc = ctx.doc;

  const int edits = program[0] % 4;
  for (int e = 0; e < edits; ++e)
    Edit(doc, program[1 + 2 * e], program[2 + 2 * e], program[3 + 2 * e]);

  const bool range = (program[7] & 1) != 0;
  int32_t first = 0;
  int32_t end = doc.editCount;
  if (range && doc.editCount > 1) {
    first = program[7] / 2 % doc.editCount;
    end = first + 1 + program[6] % (doc.editCount - first);
  }
  for (bool trailingKept : {false, true}) {
    SetAllRemoved(doc.boxes, trailingKept);
    ::unlink(outPath.c_str());
    quorvel::WriteResult r =
        quorvel::WriteOutputFile(ctx, outPath, range ? quorvel::kWriteSelection : quorvel::kWriteSaveAs, first, end);
    if (!r.succeeded()) {
      // Only a file without a frame to write may fail, and it leaves nothing.
      if (::access(outPath.c_str(), F_OK) == 0) std::abort();
      continue;
    }
    Check(doc, file, ReadAll(outPath), first, end, r.xingWritten);
  }
  ::unlink(outPath.c_str());
  return 0;
}
