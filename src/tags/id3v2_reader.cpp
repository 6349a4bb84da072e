#include "tags/id3v2_reader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "tags/bytes.h"
#include "tags/id3v2_catalogue.h"
#include "tags/text_helpers.h"

namespace quorvel {

namespace {

// Text fields above this size are not read; they are shown as too large.
constexpr uint32_t kMaxTextRead = 2048;
// Pictures whose data after the header exceeds this are not located.
constexpr int64_t kMaxPictureRemaining = 16777228;
// A MIME type must end within this many bytes.
constexpr int64_t kMaxMimeSearch = 65536;
// The description of a picture is looked for in this many bytes first; only
// when it does not end there is the rest of the picture read.
constexpr size_t kDescriptionProbe = 65536;
constexpr size_t kPaddingChunk = 65536;

// "User defined URL link frame" (WXXX, 2.2: WXX).
constexpr uint8_t kUserUrlIndex = 89;

const char* const kTooLargeText = "- TOO LARGE TO DISPLAY -";

std::string Latin1ToUtf8(const uint8_t* p, size_t n) {
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) AppendUtf8(out, p[i]);
  return out;
}

// Length of the well-formed UTF-8 sequence at p (p has at least 4 readable
// bytes), or 0 when it is not one.
size_t Utf8SequenceLength(const uint8_t* p, uint32_t& cp) {
  const uint8_t b = p[0];
  auto cont = [&](int i) { return (p[i] & 0xC0) == 0x80; };
  if (b < 0x80) {
    cp = b;
    return 1;
  }
  if (b >= 0xC2 && b <= 0xDF && cont(1)) {
    cp = ((b & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    return 2;
  }
  if (b >= 0xE0 && b <= 0xEF && cont(1) && cont(2)) {
    if (b == 0xE0 && p[1] < 0xA0) return 0;  // overlong
    if (b == 0xED && p[1] >= 0xA0) return 0;  // surrogate
    cp = ((b & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    return 3;
  }
  if (b >= 0xF0 && b <= 0xF4 && cont(1) && cont(2) && cont(3)) {
    if (b == 0xF0 && p[1] < 0x90) return 0;  // overlong
    if (b == 0xF4 && p[1] >= 0x90) return 0;  // above U+10FFFF
    cp = ((b & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
    return 4;
  }
  return 0;
}

struct DecodedText {
  std::string text;
  size_t consumed = 0;     // bytes taken from the input, at most its count
  bool terminated = false;  // the NUL character lay within the input
};

DecodedText DecodeText(const uint8_t* src, size_t count, uint8_t enc, uint8_t parts) {
  DecodedText result;
  if (count == 0) return result;
  if (!(parts & kPartEncoding)) enc = kEncLatin1;
  if (enc > kEncUtf8) {
    const bool marked = count > 3 && count % 2 == 0 &&
                        ((src[0] == 0xFF && src[1] == 0xFE) || (src[0] == 0xFE && src[1] == 0xFF));
    enc = marked ? kEncUtf16Bom : kEncLatin1;
  }
  // Five zero bytes behind the input guarantee a terminator in every encoding.
  std::vector<uint8_t> buf(src, src + count);
  buf.resize(count + 5, 0);
  std::string& out = result.text;
  size_t i = 0;
  if (enc == kEncLatin1) {
    while (buf[i] != 0) AppendUtf8(out, buf[i++]);
    i += 1;
  } else if (enc == kEncUtf16Bom || enc == kEncUtf16Be) {
    const bool bigEndian = enc == kEncUtf16Be || buf[0] == 0xFE;
    auto unit = [&](size_t k) -> uint32_t {
      return bigEndian ? (uint32_t{buf[k]} << 8) | buf[k + 1] : buf[k] | (uint32_t{buf[k + 1]} << 8);
    };
    if (unit(0) == 0xFEFF || unit(0) == 0xFFFE) i = 2;
    while (true) {
      const uint32_t u = unit(i);
      i += 2;
      if (u == 0) break;
      if (u >= 0xD800 && u <= 0xDBFF) {
        const uint32_t low = unit(i);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
          i += 2;
          continue;
        }
        AppendUtf8(out, 0xFFFD);
      } else if (u >= 0xDC00 && u <= 0xDFFF) {
        AppendUtf8(out, 0xFFFD);
      } else {
        AppendUtf8(out, u);
      }
    }
  } else {
    if (buf[0] == 0xEF && buf[1] == 0xBB && buf[2] == 0xBF) i = 3;
    if (buf[0] == 0xEF && buf[1] == 0xBF && buf[2] == 0xBE) i = 3;
    while (buf[i] != 0) {
      uint32_t cp = 0;
      const size_t n = Utf8SequenceLength(&buf[i], cp);
      if (n == 0) {
        // Not UTF-8: the byte is taken as ISO-8859-1 rather than lost.
        AppendUtf8(out, buf[i]);
        i += 1;
      } else {
        AppendUtf8(out, cp);
        i += n;
      }
    }
    i += 1;
  }
  result.terminated = i <= count;
  result.consumed = std::min(i, count);
  return result;
}

ResyncResult ResyncTracked(uint8_t* data, size_t length, std::vector<size_t>* dropsAfter) {
  ResyncResult r;
  size_t out = 0;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t b = data[i];
    data[out++] = b;
    if (b == 0xFF && i + 1 < length && data[i + 1] == 0x00) {
      if (dropsAfter) dropsAfter->push_back(out - 1);
      ++i;
      ++r.dropped;
    }
  }
  r.length = out;
  return r;
}

std::string Hex2(unsigned v) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
  return buf;
}

bool IsFrameIdChar(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// What the frame-format flags add in front of a frame's data and do to it.
struct FrameFormat {
  size_t prefix = 0;    // grouping, encryption method, data length or decompressed size bytes
  bool unsync = false;  // per-frame unsynchronisation (2.4)
  bool opaque = false;  // compressed or encrypted: the content is not readable as it stands
};

FrameFormat FrameFormatOf(uint16_t flaq, unsigned major) {
  FrameFormat f;
  const unsigned fmt = flaq >> 8;
  if (major == 3) {
    // ID3v2.3.0 3.3.1: decompressed size (4), encryption method (1), group (1).
    f.prefix = (fmt & 0x80 ? 4 : 0) + (fmt & 0x40 ? 1 : 0) + (fmt & 0x20 ? 1 : 0);
    f.opaque = (fmt & 0xC0) != 0;
  } else if (major >= 4) {
    // ID3v2.4.0 4.1.2: group (1), encryption method (1), data length indicator (4).
    f.prefix = (fmt & 0x40 ? 1 : 0) + (fmt & 0x04 ? 1 : 0) + (fmt & 0x01 ? 4 : 0);
    f.unsync = (fmt & 0x02) != 0;
    f.opaque = (fmt & 0x0C) != 0;
  }
  return f;
}

class TagReader {
 public:
  TagReader(Id3v2TagState& tag, InputFile& file, const std::string& path)
      : tag_(tag), file_(file), path_(path) {}

  void Run();

 private:
  enum class Walk { Next, Stop };

  void ReadExtendedHeader();
  Walk ReadField();
  uint32_t ChooseFrameSize(const uint8_t sizeBytes[4]);
  int NextHeaderScore(int64_t p);
  void ScanPadding();
  std::string InfoText(const std::string& code, uint32_t size, uint16_t flaq) const;
  bool ReadTextField(Id3v2Field& f, uint32_t size, int64_t dataPos, int64_t dataRaw);
  struct RawSpan {
    int64_t raw = 0;   // bytes in the file
    int64_t kept = 0;  // bytes they give once resynchronised
    bool ok = true;    // false on a read error
  };
  RawSpan MeasureUnsynchronised(int64_t from, int64_t wanted);
  bool ReadPictureField(Id3v2Field& f, int64_t dataPos, int64_t dataRaw);
  void ParseText(Id3v2Field& f, uint8_t* data, size_t length);

  Id3v2TagState& tag_;
  InputFile& file_;
  const std::string& path_;
  std::vector<uint8_t> work_;
  unsigned major_ = 0;
  unsigned srcMajor_ = 0;
  int codeLength_ = 4;
  int headerLength_ = 10;
  int64_t fileSize_ = 0;
  int64_t tagEnd_ = 0;
  int64_t pos_ = 0;
  // ID3v2.2 and 2.3 unsynchronise the whole tag after its header, frame
  // headers included, and their sizes count the bytes before
  // unsynchronisation; 2.4 unsynchronises frame data only and its sizes count
  // the bytes as stored.
  bool wholeTagUnsync_ = false;
};

void TagReader::Run() {
  major_ = tag_.tagversion.major;
  srcMajor_ = tag_.srcversion.major;
  codeLength_ = major_ == 2 ? 3 : 4;
  headerLength_ = major_ == 2 ? 6 : 10;
  fileSize_ = file_.size();
  tagEnd_ = int64_t{tag_.tagstart} + tag_.tagsize;
  pos_ = int64_t{tag_.tagstart} + 10;
  wholeTagUnsync_ = tag_.srcunsync && major_ <= 3;

  if (tag_.exthead) ReadExtendedHeader();
  while (!tag_.readerror && ReadField() == Walk::Next) {
  }
  tag_.fields.shrink_to_fit();
  tag_.textlist.shrink_to_fit();
  tag_.mixlist.shrink_to_fit();
  tag_.binlist.shrink_to_fit();
  tag_.piclist.shrink_to_fit();
}

// How many bytes of the file, from `from`, give `wanted` bytes once
// resynchronised. A zero byte that unsynchronisation put behind the last of
// them belongs to them too.
TagReader::RawSpan TagReader::MeasureUnsynchronised(int64_t from, int64_t wanted) {
  RawSpan span;
  std::vector<uint8_t> chunk;
  bool afterFF = false;
  int64_t p = from;
  while (p < fileSize_ && (span.kept < wanted || afterFF)) {
    // Every kept byte takes at most two stored ones.
    const int64_t need = 2 * (wanted - span.kept) + 2;
    const auto n = static_cast<size_t>(std::min({fileSize_ - p, int64_t{kPaddingChunk}, need}));
    chunk.resize(n);
    if (!file_.readAt(p, chunk.data(), n)) {
      span.ok = false;
      return span;
    }
    size_t i = 0;
    for (; i < n; ++i) {
      const uint8_t b = chunk[i];
      if (afterFF && b == 0x00) {
        afterFF = false;
        ++span.raw;
        continue;
      }
      afterFF = false;
      if (span.kept == wanted) break;
      ++span.raw;
      ++span.kept;
      afterFF = b == 0xFF;
    }
    if (i < n) break;
    p += static_cast<int64_t>(n);
  }
  return span;
}

void TagReader::ReadExtendedHeader() {
  uint8_t b[8] = {};
  const int64_t got = file_.readSome(pos_, b, sizeof b);
  if (got < 0) {
    tag_.readerror = true;
    return;
  }
  if (got < 4) return;  // the file ends; the walk finds nothing either
  // Some writers set the flag without writing an extended header: the frames
  // then start right here.
  if (IsFrameIdChar(b[0]) && IsFrameIdChar(b[1]) && IsFrameIdChar(b[2]) && IsFrameIdChar(b[3])) return;
  if (tag_.srcunsync) ResyncBytes(b, static_cast<size_t>(got));
  const uint32_t size = DecodeId3v2Size(b, major_);
  // 2.4 counts the size bytes in the size, 2.3 does not.
  const int64_t length = major_ >= 4 ? int64_t{size} : int64_t{size} + 4;
  int64_t stored = length;
  if (wholeTagUnsync_ && pos_ + length <= fileSize_) {
    const RawSpan span = MeasureUnsynchronised(pos_, length);
    if (!span.ok) {
      tag_.readerror = true;
      return;
    }
    stored = span.raw;
  }
  if (size < 6 || pos_ + stored > tagEnd_ || pos_ + stored > fileSize_) return;

  Id3v2Field f;
  f.ind = kExtHeaderIndex;
  f.tip = kFieldBinary;
  f.spos = static_cast<uint32_t>(pos_);
  f.dlen = static_cast<uint32_t>(stored);
  f.tload = path_;
  tag_.binlist.push_back(tag_.fieldcount());
  tag_.fields.push_back(std::move(f));
  pos_ += stored;
}

// How well a position fits as the end of a frame: 2 at the end of the tag or at
// a frame header, 1 where only zero bytes (padding) follow up to the tag's end,
// 0 elsewhere.
int TagReader::NextHeaderScore(int64_t p) {
  if (p == tagEnd_) return 2;
  if (p > tagEnd_ || p > fileSize_) return 0;
  if (p == fileSize_) return 2;
  uint8_t b[4] = {};
  const int64_t got = file_.readSome(p, b, sizeof b);
  if (got <= 0) return 0;
  if (got == 4 && IsFrameIdChar(b[0]) && IsFrameIdChar(b[1]) && IsFrameIdChar(b[2]) &&
      IsFrameIdChar(b[3]))
    return 2;
  if (got >= 3 && std::memcmp(b, "3DI", 3) == 0) return 2;
  if (b[0] != 0) return 0;
  const int64_t span = std::min<int64_t>(std::min(tagEnd_, fileSize_) - p, 4096);
  std::vector<uint8_t> zeros(static_cast<size_t>(span));
  const int64_t n = file_.readSome(p, zeros.data(), zeros.size());
  if (n <= 0) return 0;
  return std::all_of(zeros.begin(), zeros.begin() + n, [](uint8_t c) { return c == 0; }) ? 1 : 0;
}

// 2.4 sizes are synchsafe, but some programs write them as plain 32-bit numbers.
// The plain reading is taken only when the synchsafe one lands on garbage and
// the plain one on the next frame, the padding or the end of the tag.
uint32_t TagReader::ChooseFrameSize(const uint8_t sizeBytes[4]) {
  const uint32_t synchsafe = DecodeId3v2Size(sizeBytes, major_);
  const uint32_t plain = be32(sizeBytes);
  if (synchsafe == plain) return synchsafe;
  const int64_t base = pos_ + headerLength_;
  const int synchsafeScore = NextHeaderScore(base + synchsafe);
  if (synchsafeScore == 2) return synchsafe;
  const int plainScore = NextHeaderScore(base + plain);
  return plainScore > synchsafeScore ? plain : synchsafe;
}

std::string TagReader::InfoText(const std::string& code, uint32_t size, uint16_t flaq) const {
  std::string t = "code: " + code + "\r\noriginal header position: " +
                  std::to_string(pos_ - int64_t{tag_.tagstart}) +
                  "\r\nsize without the header: " + std::to_string(size);
  if (srcMajor_ > 2) {
    const unsigned status = flaq & 0xFF;
    const unsigned format = flaq >> 8;
    t += "\r\nflags: " + std::to_string(status) + "," + std::to_string(format);
    if (flaq != 0) t += " (" + Hex2(status) + "h," + Hex2(format) + "h)";
  }
  return t;
}

TagReader::Walk TagReader::ReadField() {
  if (pos_ >= fileSize_ || pos_ >= tagEnd_) return Walk::Stop;
  uint8_t h[10] = {};
  int64_t got = 0;
  int64_t headerRaw = headerLength_;
  if (wholeTagUnsync_) {
    const RawSpan span = MeasureUnsynchronised(pos_, headerLength_);
    uint8_t raw[2 * 10 + 1] = {};
    if (!span.ok || (span.raw > 0 && !file_.readAt(pos_, raw, static_cast<size_t>(span.raw)))) {
      got = -1;
    } else {
      ResyncBytes(raw, static_cast<size_t>(span.raw));
      std::memcpy(h, raw, static_cast<size_t>(span.kept));
      got = span.kept;
      headerRaw = span.raw;
    }
  } else {
    got = file_.readSome(pos_, h, static_cast<size_t>(headerLength_));
  }
  if (got <= 0) {
    if (got < 0) tag_.readerror = true;
    return Walk::Stop;
  }
  if (h[0] == 0) {
    ScanPadding();
    return Walk::Stop;
  }
  if (codeLength_ == 4 && (std::memcmp(h, "MP3e", 4) == 0 || std::memcmp(h, " MP3", 4) == 0))
    return Walk::Stop;
  if (std::memcmp(h, "3DI", 3) == 0 && h[3] == major_) return Walk::Stop;  // 2.4 footer
  if (got < headerLength_) {
    tag_.readerror = true;  // the file ends inside a frame header
    return Walk::Stop;
  }

  uint32_t size = 0;
  uint16_t flaq = 0;
  if (codeLength_ == 3) {
    const uint8_t s[4] = {0, h[3], h[4], h[5]};
    size = DecodeId3v2Size(s, major_);
  } else {
    size = major_ >= 4 ? ChooseFrameSize(h + 4) : DecodeId3v2Size(h + 4, major_);
    flaq = static_cast<uint16_t>(h[8] | (h[9] << 8));
  }
  for (int i = 0; i < codeLength_; ++i) {
    if (h[i] < 0x20 || h[i] > 0x7F) {
      tag_.readerror = true;
      return Walk::Stop;
    }
  }
  const int64_t dataPos = pos_ + headerRaw;
  int64_t dataRaw = size;
  if (wholeTagUnsync_ && dataPos + dataRaw <= fileSize_) {
    const RawSpan span = MeasureUnsynchronised(dataPos, size);
    if (!span.ok) {
      tag_.readerror = true;
      return Walk::Stop;
    }
    dataRaw = span.kept < int64_t{size} ? fileSize_ - dataPos + 1 : span.raw;
    // Some writers count the stored bytes instead, as 2.4 does. That reading
    // is taken only when it lands on the next frame, the padding or the end
    // of the tag and the standard one does not.
    if (dataRaw != int64_t{size}) {
      const int standardScore = NextHeaderScore(dataPos + dataRaw);
      if (standardScore < 2 && NextHeaderScore(dataPos + size) > standardScore) dataRaw = size;
    }
  }
  const int64_t fieldEnd = dataPos + dataRaw;
  if (fieldEnd > fileSize_) {
    // The frame runs past the end of the file: it cannot be copied, and what
    // follows is not a tag. The frames before it stay.
    tag_.readerror = true;
    return Walk::Stop;
  }

  const std::string code(reinterpret_cast<const char*>(h), static_cast<size_t>(codeLength_));
  Id3v2Field f;
  f.spos = static_cast<uint32_t>(pos_);
  f.dlen = static_cast<uint32_t>(fieldEnd - pos_);
  f.flaq = flaq;
  const uint8_t ind = FindId3v2Code(code, major_);
  if (ind != 0) {
    f.ind = ind;
    f.tip = Id3v2Catalogue[ind].tip;
    f.sub = Id3v2Catalogue[ind].fel;
  } else {
    f.tip = kFieldUnknown;
    f.err = kErrUnknownCode;
    f.tkod = code;
  }
  f.thint = InfoText(code, size, flaq);
  f.tload = path_;

  const uint32_t index = tag_.fieldcount();
  switch (f.tip) {
    case kFieldText:
      if (!ReadTextField(f, size, dataPos, dataRaw)) return Walk::Stop;
      tag_.textlist.push_back(index);
      break;
    case kFieldMixed:
      tag_.mixlist.push_back(index);
      break;
    case kFieldPicture:
      if (!ReadPictureField(f, dataPos, dataRaw)) return Walk::Stop;
      tag_.piclist.push_back(index);
      break;
    case kFieldBinary:
      tag_.binlist.push_back(index);
      break;
    default:
      break;
  }
  tag_.fields.push_back(std::move(f));
  pos_ = fieldEnd;
  return Walk::Next;
}

bool TagReader::ReadTextField(Id3v2Field& f, uint32_t size, int64_t dataPos, int64_t dataRaw) {
  if (size > kMaxTextRead) {
    f.tansi = kTooLargeText;
    f.err |= kErrTooLarge;
  } else {
    const auto stored = static_cast<size_t>(dataRaw);
    work_.assign(stored, 0);
    if (stored > 0 && !file_.readAt(dataPos, work_.data(), stored)) {
      tag_.readerror = true;
      return false;
    }
    const FrameFormat format = FrameFormatOf(f.flaq, major_);
    if (format.opaque) {
      f.thint += "\r\ncompressed or encrypted, can't display!";
    } else {
      // Tag-level and frame-level unsynchronisation are the same transform;
      // it is undone once, before the bytes the frame flags add are skipped.
      size_t length = stored;
      if (tag_.srcunsync || format.unsync) length = ResyncBytes(work_.data(), length).length;
      const size_t skip = std::min(format.prefix, length);
      ParseText(f, work_.data() + skip, length - skip);
    }
  }
  f.tolan = f.tlan;
  f.torig = f.tansi;
  return true;
}

void TagReader::ParseText(Id3v2Field& f, uint8_t* data, size_t length) {
  size_t cursor = 0;
  if (f.sub & kPartEncoding) {
    const uint8_t e = length > 0 ? data[0] : 0;
    cursor = std::min<size_t>(1, length);
    f.enc = e;
    f.torenc = e;
    static constexpr std::array<const char*, 4> kEncodingLines = {
        "\r\nencoding: ISO-8859-1", "\r\nencoding: UTF-16 with BOM", "\r\nencoding: UTF-16-BE",
        "\r\nencoding: UTF-8"};
    if (e > kEncUtf8) {
      f.thint += "\r\nunknown encoding, can't display!";
      f.err += kErrUnknownEncoding;
      return;
    }
    f.thint += kEncodingLines[e];
  }
  if (f.sub & kPartLanguage) {
    if (length < 4) {
      f.thint += "\r\nmissing language information!";
      f.err += kErrMissingLanguage;
      return;
    }
    f.tlan.assign(reinterpret_cast<const char*>(data + cursor), 3);
    cursor += 3;
  }
  if (f.sub & kPartDescription) {
    f.tcont = DecodeFieldText(data, cursor, static_cast<int64_t>(length - cursor), f.enc, f.sub);
    f.torco = f.tcont;
  }
  uint8_t textEncoding = f.enc;
  if (f.ind == kUserUrlIndex && (f.enc == kEncUtf16Bom || f.enc == kEncUtf16Be)) {
    // The URL of a WXXX frame is ISO-8859-1 whatever the encoding byte says
    // (that byte applies to the description). A URL that was nevertheless
    // written as UTF-16 shows a byte-order mark or zero bytes.
    const size_t rest = length - cursor;
    const uint8_t* url = data + cursor;
    const bool looksUtf16 = rest >= 2 && ((url[0] == 0xFF && url[1] == 0xFE) ||
                                          (url[0] == 0xFE && url[1] == 0xFF) || url[0] == 0 ||
                                          url[1] == 0);
    if (!looksUtf16) textEncoding = kEncLatin1;
  }
  f.tansi = DecodeFieldText(data, cursor, static_cast<int64_t>(length - cursor), textEncoding, f.sub);
}

bool TagReader::ReadPictureField(Id3v2Field& f, int64_t dataPos, int64_t dataRaw) {
  const FrameFormat format = FrameFormatOf(f.flaq, major_);
  const int64_t fieldEnd = dataPos + dataRaw;
  const int64_t start = dataPos + std::min(static_cast<int64_t>(format.prefix), dataRaw);
  const bool unsync = tag_.srcunsync || format.unsync;

  // Encoding byte, image format or MIME type with its terminator, picture type.
  const int64_t headLength = std::min<int64_t>(fieldEnd - start, kMaxMimeSearch + 5);
  std::vector<uint8_t> head(static_cast<size_t>(headLength));
  if (headLength > 0 && !file_.readAt(start, head.data(), head.size())) {
    tag_.readerror = true;
    return false;
  }
  ByteReader r(head);
  f.enc = r.u8();
  f.torenc = f.enc;
  bool headerComplete = true;
  if (srcMajor_ == 2) {
    f.tansi = Latin1ToUtf8(r.current(), std::min<size_t>(3, r.remaining()));
    r.skip(3);
  } else {
    const uint8_t* begin = r.current();
    const uint8_t* nul = std::find(begin, begin + r.remaining(), uint8_t{0});
    f.tansi = Latin1ToUtf8(begin, static_cast<size_t>(nul - begin));
    if (nul == begin + r.remaining()) headerComplete = false;
    r.skip(static_cast<size_t>(nul - begin) + 1);
  }
  f.sub = r.u8();
  if (r.overrun()) headerComplete = false;

  const int64_t descStart = start + static_cast<int64_t>(r.pos());
  const int64_t remaining = fieldEnd - descStart;
  if (!headerComplete || remaining < 0 || remaining > kMaxPictureRemaining) {
    f.err |= kErrTooLarge;
    return true;
  }

  // The description ends with a NUL in the field's encoding; the data follows.
  std::vector<size_t> drops;
  DecodedText desc;
  size_t probe = std::min<size_t>(static_cast<size_t>(remaining), kDescriptionProbe);
  while (true) {
    work_.resize(probe);
    if (probe > 0 && !file_.readAt(descStart, work_.data(), probe)) {
      tag_.readerror = true;
      return false;
    }
    size_t length = probe;
    drops.clear();
    if (unsync) length = ResyncTracked(work_.data(), probe, &drops).length;
    desc = DecodeText(work_.data(), length, f.enc, kPartEncoding);
    if (desc.terminated || probe == static_cast<size_t>(remaining)) break;
    probe = static_cast<size_t>(remaining);
  }
  // Length in the file: the bytes decoded plus the zero bytes that
  // resynchronisation removed among them (or right behind the last one).
  size_t fileLength = desc.consumed;
  for (size_t after : drops) {
    if (after < desc.consumed) ++fileLength;
  }
  const int64_t pictureStart = std::min(descStart + static_cast<int64_t>(fileLength), fieldEnd);
  f.tcont = desc.text;
  f.torco = f.tcont;
  f.tansi = PackPictureLocation(static_cast<uint32_t>(pictureStart),
                                static_cast<uint32_t>(fieldEnd - pictureStart));
  f.torig = f.tansi;
  return true;
}

void TagReader::ScanPadding() {
  // Padding counts the zero bytes up to the first non-zero byte, the end of the
  // tag or the end of the file, whichever comes first.
  const int64_t end = std::min(tagEnd_, fileSize_);
  int64_t p = pos_;
  uint32_t count = 0;
  std::vector<uint8_t> chunk;
  while (p < end) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(end - p, kPaddingChunk));
    chunk.resize(n);
    if (!file_.readAt(p, chunk.data(), n)) {
      tag_.readerror = true;
      break;
    }
    const auto nonZero = std::find_if(chunk.begin(), chunk.end(), [](uint8_t c) { return c != 0; });
    count += static_cast<uint32_t>(nonZero - chunk.begin());
    if (nonZero != chunk.end()) break;
    p += static_cast<int64_t>(n);
  }
  tag_.padding = count;
}

}  // namespace

void ProcessID3v2(Id3v2TagState& tag, InputFile& file, const std::string& sourcePath) {
  tag.padding = 0;
  tag.readerror = false;
  if (tag.tagversion.major < 2 || !file.isOpen()) {
    ResetId3v2State(tag);
    tag.readerror = true;
    return;
  }
  tag.fields.clear();
  tag.textlist.clear();
  tag.mixlist.clear();
  tag.binlist.clear();
  tag.piclist.clear();
  TagReader reader(tag, file, sourcePath);
  reader.Run();
}

void ResetId3v2State(Id3v2TagState& tag) {
  tag.fields.clear();
  tag.textlist.clear();
  tag.mixlist.clear();
  tag.binlist.clear();
  tag.piclist.clear();
  tag.tagStarted = false;
  tag.dropErroneous = false;
}

uint32_t AddId3v2Field(Id3v2TagState& tag, uint8_t catalogueIndex) {
  Id3v2Field f;
  if (catalogueIndex < Id3v2Catalogue.size()) {
    f.ind = catalogueIndex;
    f.tip = Id3v2Catalogue[catalogueIndex].tip;
    f.sub = Id3v2Catalogue[catalogueIndex].fel;
  }
  f.akcija = kFieldAdded;
  f.thint = std::string("code: ") + Id3v2Code(f.ind, tag.tagversion.major) + "\r\nNewly added field";
  f.tlan = "eng";
  tag.fields.push_back(std::move(f));
  return tag.fieldcount() - 1;
}

uint32_t PaddingForIndex(uint8_t paddingIndex) {
  static constexpr std::array<uint32_t, 7> kPadding = {0, 2, 4, 16, 64, 256, 1024};
  return paddingIndex < kPadding.size() ? kPadding[paddingIndex] : 0;
}

void StartScriptTag(Id3v2TagState& tag, uint8_t newTagFormat, uint8_t paddingIndex) {
  if (tag.tagStarted) return;
  ResetId3v2State(tag);
  tag.tagStarted = true;
  uint8_t major = newTagFormat & 0x7F;
  if (major < 2 || major > 4) major = 3;
  tag.tagversion = Id3v2Version{major, 0};
  tag.srcversion = tag.tagversion;
  tag.unsync = (newTagFormat & 0x80) != 0;
  tag.padding = PaddingForIndex(paddingIndex);
  tag.exthead = false;
  tag.experimental = false;
  tag.footer = false;
}

uint32_t DecodeId3v2Size(const uint8_t bytes[4], unsigned major) {
  return major < 4 ? be32(bytes) : syncsafe32(bytes);
}

ResyncResult ResyncBytes(uint8_t* data, size_t length) {
  if (data == nullptr) return {};
  return ResyncTracked(data, length, nullptr);
}

std::string DecodeFieldText(const uint8_t* data, size_t& cursor, int64_t count, uint8_t enc,
                            uint8_t parts) {
  if (count <= 0 || data == nullptr) return {};
  DecodedText d = DecodeText(data + cursor, static_cast<size_t>(count), enc, parts);
  cursor += d.consumed;
  return std::move(d.text);
}

std::string DecodeFieldText(const std::vector<uint8_t>& buffer, size_t& cursor, uint8_t enc,
                            uint8_t parts) {
  if (cursor >= buffer.size()) return {};
  return DecodeFieldText(buffer.data(), cursor, static_cast<int64_t>(buffer.size() - cursor), enc,
                         parts);
}

}  // namespace quorvel
