#include "tags/id3v2_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <new>

#include "tags/id3v2_catalogue.h"
#include "tags/id3v2_reader.h"
#include "tags/text_helpers.h"

namespace quorvel {

namespace {

// Memory for a field's bytes may run out; the frame is then not written.
template <typename Encode>
int GuardAllocation(Encode encode) {
  try {
    return encode();
  } catch (const std::bad_alloc&) {
    return kEncodeFailed;
  }
}

constexpr uint8_t kPictureIndex = 2;
constexpr uint8_t kGenreIndex = 29;
// The conversion of a picture to 2.2 looks for the end of the MIME type in
// this many bytes.
constexpr size_t kMimeSearchLimit = 200;

const char* const kWritingCaption = "writing id3v2";
const char* const kWarningCaption = "warning";

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

unsigned ClampMajor(unsigned major) { return std::clamp(major, 2u, 4u); }

// The major version that is written; the tag state is brought into 2..4.
unsigned NormaliseTargetMajor(Id3v2TagState& tag) {
  tag.tagversion.major = static_cast<uint8_t>(ClampMajor(tag.tagversion.major));
  return tag.tagversion.major;
}

unsigned SourceMajor(const Id3v2TagState& tag) {
  return std::clamp<unsigned>(tag.srcversion.major, 2u, 5u);
}

size_t CodeLength(unsigned major) { return major == 2 ? 3 : 4; }

// ID3v2.4 unsynchronises each frame on its own and its frame sizes count the
// inserted bytes. ID3v2.2 and 2.3 unsynchronise the whole tag after the
// header, frame headers included, and their frame sizes count the bytes before
// unsynchronisation: their frames are built plain and the tag block
// unsynchronises the body as a whole.
bool FrameUnsync(const Id3v2TagState& tag, unsigned major) { return tag.unsync && major >= 4; }
size_t HeaderLength(unsigned major) { return major == 2 ? 6 : 10; }

// Parts flags of a field: the catalogue's, whatever `sub` holds (a picture
// keeps its picture type there).
uint8_t PartsOf(const Id3v2Field& f) {
  if (f.ind >= 1 && f.ind < kExtHeaderIndex) return Id3v2Catalogue[f.ind].fel;
  return 0;
}

std::string CatalogueDescription(const Id3v2Field& f) {
  return f.ind < Id3v2Catalogue.size() ? Id3v2Catalogue[f.ind].description : "undefined";
}

// The code a field is written with in a major version; "" when none.
std::string CodeFor(const Id3v2Field& f, unsigned major) {
  if (f.ind == 0) return f.tkod;
  return Id3v2Code(f.ind, major);
}

uint32_t MaxBody(unsigned major) { return major == 2 ? kMaxField22 : kMaxFieldData; }

void WriteFrameHeader(ByteWriter& out, const std::string& code, uint32_t size, unsigned major,
                      uint8_t status, uint8_t format) {
  out.text(code);
  const std::array<uint8_t, 4> s = EncodeId3v2Size(size, major);
  if (major == 2) {
    out.bytes(s.data() + 1, 3);
  } else {
    out.bytes(s.data(), 4);
    out.u8(status);
    out.u8(format);
  }
}

std::string Trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\0')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\0')) --e;
  return s.substr(b, e - b);
}

TagMessage Warning(const std::string& text) { return TagMessage{text, 2, kWarningCaption}; }

TagMessage UnknownAcrossVersions(const Id3v2Field& f, unsigned major) {
  return Warning(std::string("Can't copy unknown id3v2 fields when changing version ") +
                 (CodeLength(major) == 4 ? "from v2.2 up." : "down to v2.2.") + "\r\n" +
                 "Field coded \"" + Trimmed(f.tkod) + "\" removed.");
}

bool HasNonLatin1(const std::string& text) {
  for (char32_t c : DecodeUtf8(text))
    if (c > 0xFF) return true;
  return false;
}

std::string CutToCharacters(const std::string& text, size_t count) {
  return CharacterCount(text) > count ? FirstCharacters(text, count) : text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

// "Rock RX" becomes the values Rock and RX (remix); "Rock CR RX" the values
// Rock, CR (cover) and RX.
std::string SplitGenreRefinements(const std::string& text) {
  std::string body = text;
  bool trailingNul = !body.empty() && body.back() == '\0';
  if (trailingNul) body.pop_back();
  const size_t n = CharacterCount(body);
  if (n > 5 && (EndsWithNoCase(body, " CR RX") || EndsWithNoCase(body, " RX CR"))) {
    body[body.size() - 6] = '\0';
    body[body.size() - 3] = '\0';
  } else if (n > 2 && (EndsWithNoCase(body, " RX") || EndsWithNoCase(body, " CR"))) {
    body[body.size() - 3] = '\0';
  }
  if (trailingNul) body.push_back('\0');
  return body;
}

void AppendTerminator(std::vector<uint8_t>& out, uint8_t e) {
  out.push_back(0);
  if (e == kEncUtf16Bom || e == kEncUtf16Be) out.push_back(0);
}

// Encoded text, or a bare terminator for an empty text.
std::vector<uint8_t> TextOrTerminator(const std::string& text, uint8_t e, uint8_t parts) {
  std::vector<uint8_t> bytes = EncodeFieldText(text, e, parts, false);
  if (bytes.empty()) AppendTerminator(bytes, (parts & kPartEncoding) && e <= kEncUtf8 ? e : kEncLatin1);
  return bytes;
}

// Every URL link frame's code starts with W (WXX and W** in ID3v2.2).
bool IsUrlCode(const std::string& code) { return !code.empty() && code[0] == 'W'; }

// A link frame's URL is ISO-8859-1 whatever the encoding byte of a WXXX frame
// says (that byte applies to the description). A URL is ASCII: characters
// beyond it are written percent-encoded from their UTF-8 form, as a browser
// turns an IRI into a URI, so the link keeps every character that was typed.
std::vector<uint8_t> UrlOrTerminator(const std::string& url, uint8_t parts) {
  return TextOrTerminator(PercentEncodeNonAscii(url), kEncLatin1, parts);
}

// Unsynchronisation state of copied bytes: `have` is how they were read,
// `want` how they are written.
void ApplyUnsync(std::vector<uint8_t>& data, bool have, bool want) {
  if (have && !want) {
    data.resize(ResyncBytes(data.data(), data.size()).length);
  } else if (want && !have) {
    data = UnsyncBytes(data, true);
  }
}

// The frame-header flag bytes of ID3v2.3 and ID3v2.4 differ: status bits sit
// one place apart, and the bytes that compression, encryption and grouping
// add in front of the data have another order (2.3: decompressed size,
// encryption method, group; 2.4: group, encryption method, data length).
struct FrameFlags {
  uint8_t status = 0;
  uint8_t format = 0;
};

struct FramePrefix {
  bool compressed = false;
  bool encrypted = false;
  bool grouped = false;
  bool hasLength = false;
  bool frameUnsync = false;  // 2.4 only
  uint32_t length = 0;       // decompressed size / data length
  uint8_t method = 0;
  uint8_t group = 0;
  size_t size = 0;           // bytes of the prefix in the data
};

bool ParsePrefix(unsigned major, uint8_t format, const std::vector<uint8_t>& data, FramePrefix& p) {
  ByteReader r(data);
  if (major == 3) {
    p.compressed = format & 0x80;
    p.encrypted = format & 0x40;
    p.grouped = format & 0x20;
    p.hasLength = p.compressed;
    if (p.compressed) p.length = r.be32();
    if (p.encrypted) p.method = r.u8();
    if (p.grouped) p.group = r.u8();
  } else {
    p.grouped = format & 0x40;
    p.compressed = format & 0x08;
    p.encrypted = format & 0x04;
    p.frameUnsync = format & 0x02;
    p.hasLength = format & 0x01;
    if (p.grouped) p.group = r.u8();
    if (p.encrypted) p.method = r.u8();
    if (p.hasLength) {
      uint8_t b[4] = {r.u8(), r.u8(), r.u8(), r.u8()};
      p.length = syncsafe32(b);
    }
  }
  p.size = r.pos();
  return !r.overrun();
}

enum class FlagOutcome { kOk, kCannotConvert };

// Rewrites the flag bytes and the data prefix of a copied frame for the
// target version. `data` is the frame body as read.
FlagOutcome ConvertFrameFlags(unsigned srcMajor, unsigned major, FrameFlags& flags,
                              std::vector<uint8_t>& data) {
  const unsigned src = std::min(srcMajor, 4u);
  if (src == 2) {
    flags = {};
    return FlagOutcome::kOk;
  }
  if (src == major) return FlagOutcome::kOk;
  FramePrefix p;
  if (!ParsePrefix(src, flags.format, data, p)) return FlagOutcome::kCannotConvert;
  const uint8_t st = flags.status;
  std::vector<uint8_t> prefix;
  FrameFlags out;
  if (major == 2) {
    if (p.compressed || p.encrypted) return FlagOutcome::kCannotConvert;
  } else if (major == 3) {
    out.status = static_cast<uint8_t>(((st & 0x40) << 1) | ((st & 0x20) << 1) | ((st & 0x10) << 1));
    if (p.compressed && !p.hasLength) return FlagOutcome::kCannotConvert;
    if (p.compressed) {
      out.format |= 0x80;
      for (int s = 24; s >= 0; s -= 8) prefix.push_back(static_cast<uint8_t>(p.length >> s));
    }
    if (p.encrypted) {
      out.format |= 0x40;
      prefix.push_back(p.method);
    }
    if (p.grouped) {
      out.format |= 0x20;
      prefix.push_back(p.group);
    }
  } else {
    out.status = static_cast<uint8_t>(((st & 0x80) >> 1) | ((st & 0x40) >> 1) | ((st & 0x20) >> 1));
    if (p.grouped) {
      out.format |= 0x40;
      prefix.push_back(p.group);
    }
    if (p.encrypted) {
      out.format |= 0x04;
      prefix.push_back(p.method);
    }
    if (p.compressed) {
      out.format |= 0x08 | 0x01;
      prefix.push_back(static_cast<uint8_t>((p.length >> 21) & 0x7F));
      prefix.push_back(static_cast<uint8_t>((p.length >> 14) & 0x7F));
      prefix.push_back(static_cast<uint8_t>((p.length >> 7) & 0x7F));
      prefix.push_back(static_cast<uint8_t>(p.length & 0x7F));
    }
  }
  std::vector<uint8_t> rebuilt = prefix;
  rebuilt.insert(rebuilt.end(), data.begin() + static_cast<std::ptrdiff_t>(p.size), data.end());
  data = std::move(rebuilt);
  flags = out;
  return FlagOutcome::kOk;
}

std::string ImageFormatToMime(const uint8_t* fmt) {
  std::string f;
  for (int i = 0; i < 3; ++i)
    if (fmt[i] != 0) f.push_back(static_cast<char>(fmt[i]));
  if (EqualsNoCase(f, "JPG")) return "image/jpeg";
  if (EqualsNoCase(f, "PNG")) return "image/png";
  if (f == "-->") return "-->";
  std::string mime = "image/";
  for (char c : f) mime.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
  return mime;
}

// A picture crossing the 2.2 boundary: the bytes that replace the first q bytes
// of the (plain) data. q = 0: no conversion.
size_t ConvertPicture(const std::vector<uint8_t>& data, unsigned srcMajor, unsigned major,
                      std::vector<uint8_t>& prefix) {
  prefix.clear();
  size_t q = 0;
  if (srcMajor == 2 && major >= 3) {
    // Encoding, 3-character image format, picture type, description, data.
    if (data.size() < 4) return 0;
    prefix.push_back(data[0]);
    const std::string mime = ImageFormatToMime(&data[1]);
    prefix.insert(prefix.end(), mime.begin(), mime.end());
    prefix.push_back(0);
    q = 4;
  } else if (srcMajor >= 3 && major == 2) {
    // Encoding, MIME type, 0, picture type, description, data.
    if (data.size() < 2) return 0;
    if (data.size() >= 5 && data[1] == '-' && data[2] == '-' && data[3] == '>' && data[4] == 0) {
      prefix = {data[0], '-', '-', '>'};
      q = 5;
    } else {
      const size_t limit = std::min(data.size(), kMimeSearchLimit);
      size_t end = 1;
      while (end < limit && data[end] != 0) ++end;
      if (end >= limit) return 0;
      std::string mime(data.begin() + 1, data.begin() + static_cast<std::ptrdiff_t>(end));
      // The format follows "image/"; a bare type ("jpg") stands for itself.
      const size_t slash = mime.find('/');
      std::string sub = slash == std::string::npos ? mime : mime.substr(slash + 1);
      std::string format;
      if (!sub.empty() && (sub[0] == 'j' || sub[0] == 'J')) {
        format = "JPG";
      } else {
        for (size_t i = 0; i < 3; ++i) {
          char c = i < sub.size() ? sub[i] : ' ';
          format.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
        }
      }
      prefix.push_back(data[0]);
      prefix.insert(prefix.end(), format.begin(), format.end());
      q = end + 1;
    }
  } else {
    return 0;
  }
  if (std::find(prefix.begin(), prefix.end(), uint8_t{0xFF}) != prefix.end()) {
    prefix.clear();
    return 0;
  }
  return q;
}

// With the empty-field option on, a short unchanged field may be left out.
// The table is in terms of a 10-byte frame header; 2.2 fields (6-byte
// headers) are measured as if they had one.
bool DroppedAsEmpty(const Id3v2Field& f, uint32_t length) {
  const uint8_t parts = PartsOf(f);
  const bool withText = !f.tansi.empty() || !f.tcont.empty();
  const bool defaultLanguage = f.tlan.empty() || f.tlan == "eng";
  const bool encoding = parts & kPartEncoding;
  const bool language = parts & kPartLanguage;
  if (length <= 10) return true;
  if (encoding && length == 11) return true;
  if (encoding && language && defaultLanguage && length == 14) return true;
  if (encoding && language && defaultLanguage && length == 15) return !withText;
  if (language) return false;
  if (length == 12) return !withText;
  return false;
}

// Reads a field's bytes from the file it was read from: the open source file,
// or the file named in tload when that is another one.
bool ReadFieldSource(FieldEncoder& enc, const Id3v2Field& field, std::vector<uint8_t>& dst) {
  if (dst.empty()) return true;
  if (enc.source.isOpen() && enc.source.path() == field.tload)
    return enc.source.readAt(field.spos, dst.data(), dst.size());
  InputFile other;
  return other.open(field.tload) && other.readAt(field.spos, dst.data(), dst.size());
}

// Appends a complete frame; false (nothing written) when the body is too large
// for the target version.
bool AppendFrame(FieldEncoder& enc, const std::string& code, unsigned major, FrameFlags flags,
                 const std::vector<uint8_t>& prefix, std::span<const uint8_t> body) {
  const uint64_t size = prefix.size() + body.size();
  if (size > MaxBody(major)) return false;
  WriteFrameHeader(enc.out, code, static_cast<uint32_t>(size), major, flags.status, flags.format);
  enc.out.bytes(prefix.data(), prefix.size());
  enc.out.bytes(body.data(), body.size());
  enc.writtenFields += 1;
  return true;
}

}  // namespace

TagMessage FieldWarning(const std::string& reason, const std::string& path) {
  return TagMessage{reason + "\r\n" + BaseName(path) + "\r\n" + "Not saving the field.", 2,
                    kWritingCaption};
}

std::array<uint8_t, 4> EncodeId3v2Size(uint32_t size, unsigned major) {
  if (major >= 4) {
    return {static_cast<uint8_t>((size >> 21) & 0x7F), static_cast<uint8_t>((size >> 14) & 0x7F),
            static_cast<uint8_t>((size >> 7) & 0x7F), static_cast<uint8_t>(size & 0x7F)};
  }
  return {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
          static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
}

std::vector<uint8_t> UnsyncBytes(std::span<const uint8_t> bytes, bool unsync) {
  if (!unsync) return std::vector<uint8_t>(bytes.begin(), bytes.end());
  std::vector<uint8_t> out;
  out.reserve(bytes.size() + bytes.size() / 64 + 1);
  for (size_t i = 0; i < bytes.size(); ++i) {
    out.push_back(bytes[i]);
    if (bytes[i] == 0xFF && (i + 1 == bytes.size() || bytes[i + 1] == 0x00 || bytes[i + 1] >= 0xE0))
      out.push_back(0x00);
  }
  return out;
}

std::vector<uint8_t> EncodeFieldText(const std::string& text, uint8_t encoding, uint8_t parts,
                                     bool unsync) {
  uint8_t e = encoding;
  if (!(parts & kPartEncoding) || e > kEncUtf8) e = kEncLatin1;
  std::vector<uint8_t> out;
  if (text.empty()) return out;
  const std::u32string chars = DecodeUtf8(text);
  auto unit = [&](uint32_t u) {
    if (e == kEncUtf16Bom) {
      out.push_back(static_cast<uint8_t>(u));
      out.push_back(static_cast<uint8_t>(u >> 8));
    } else {
      out.push_back(static_cast<uint8_t>(u >> 8));
      out.push_back(static_cast<uint8_t>(u));
    }
  };
  switch (e) {
    case kEncLatin1:
      for (char32_t c : chars) out.push_back(static_cast<uint8_t>(c & 0xFF));
      break;
    case kEncUtf16Bom:
    case kEncUtf16Be:
      if (e == kEncUtf16Bom) unit(0xFEFF);
      for (char32_t c : chars) {
        if (c >= 0x10000 && c <= 0x10FFFF) {
          const uint32_t v = c - 0x10000;
          unit(0xD800 + (v >> 10));
          unit(0xDC00 + (v & 0x3FF));
        } else {
          unit(c > 0xFFFF ? 0xFFFD : static_cast<uint32_t>(c));
        }
      }
      break;
    default: {
      const std::string utf8 = EncodeUtf8(chars);
      out.assign(utf8.begin(), utf8.end());
      break;
    }
  }
  if (chars.back() != 0) AppendTerminator(out, e);
  return unsync ? UnsyncBytes(out, true) : out;
}

std::string FieldTextForView(std::span<const uint8_t> bytes, uint8_t encoding, uint8_t parts) {
  uint8_t e = encoding;
  if (!(parts & kPartEncoding) || e > kEncUtf8) e = kEncLatin1;
  std::u32string chars;
  if (e == kEncLatin1 || e == kEncUtf8) {
    const auto nul = std::find(bytes.begin(), bytes.end(), uint8_t{0});
    const std::span<const uint8_t> text = bytes.first(static_cast<size_t>(nul - bytes.begin()));
    if (e == kEncLatin1) {
      for (uint8_t b : text) chars.push_back(b);
    } else {
      chars = DecodeUtf8(text);
    }
  } else {
    std::span<const uint8_t> text = bytes.first(bytes.size() & ~size_t{1});
    bool bigEndian = e == kEncUtf16Be;
    if (e == kEncUtf16Bom && text.size() >= 2) {
      if (text[0] == 0xFE && text[1] == 0xFF) {
        bigEndian = true;
        text = text.subspan(2);
      } else if (text[0] == 0xFF && text[1] == 0xFE) {
        text = text.subspan(2);
      }
    }
    size_t end = 0;
    while (end + 1 < text.size() && (text[end] != 0 || text[end + 1] != 0)) end += 2;
    chars = DecodeUtf16(text.first(end), bigEndian);
  }
  std::string out;
  for (char32_t c : chars) {
    if (c == U'\r') continue;
    if (c == U'\n') out += "\r\n";
    else AppendUtf8(out, c);
  }
  return out;
}

namespace {
int CopyId3v2FieldImpl(FieldEncoder& enc, const Id3v2Field& field) {
  Id3v2TagState& tag = enc.tag;
  const unsigned major = NormaliseTargetMajor(tag);
  const unsigned srcMajor = SourceMajor(tag);
  const size_t srcHeader = HeaderLength(srcMajor);

  if (!FileExists(field.tload)) {
    enc.warn(FieldWarning("Source file was moved or renamed:", field.tload));
    return kEncodeSkippedWarned;
  }
  if (enc.skipEmptyFields && field.dlen >= srcHeader) {
    const uint32_t length = static_cast<uint32_t>(field.dlen - srcHeader + 10);
    if (length < 16 && DroppedAsEmpty(field, length)) return kEncodeDone;
  }
  if (field.dlen < srcHeader) return kEncodeDone;
  if (field.ind == 0 && field.tkod.size() != CodeLength(major)) {
    enc.warn(UnknownAcrossVersions(field, major));
    return kEncodeSkipped;
  }
  const std::string code = CodeFor(field, major);
  // A known field without a code in this version is left out.
  if (code.size() != CodeLength(major)) return kEncodeSkipped;

  // Sizes are checked before anything is read, so that no oversized buffer is
  // allocated.
  if (major == 2 && field.dlen > kMaxField22) {
    enc.warn(Warning("Fields must be less than 16 MB\r\nto fit into id3v2.2 tag.\r\n(" +
                     CatalogueDescription(field) + ")"));
    return kEncodeTooLarge;
  }
  if (field.dlen > kMaxCopiedField) {
    enc.warn(Warning("Tag fields larger than 64 MB are\r\nnot supported by Quorvel.\r\n(" +
                     CatalogueDescription(field) + ")"));
    return kEncodeTooLarge;
  }

  // The field header in the source must still carry the field's code: a
  // source that was changed since it was read must not put foreign bytes into
  // the tag.
  std::vector<uint8_t>& raw = enc.work;
  raw.resize(field.dlen);
  const std::string srcCode = field.ind == 0 ? field.tkod : std::string(Id3v2Code(field.ind, srcMajor));
  if (!ReadFieldSource(enc, field, raw) ||
      srcCode.size() != CodeLength(srcMajor) ||
      !std::equal(srcCode.begin(), srcCode.end(), raw.begin())) {
    enc.warn(FieldWarning("Error reading source file:", field.tload));
    return kEncodeSkippedWarned;
  }
  std::vector<uint8_t> data(raw.begin() + static_cast<std::ptrdiff_t>(srcHeader), raw.end());

  FrameFlags flags;
  if (srcMajor >= 3) {
    flags.status = static_cast<uint8_t>(field.flaq & 0xFF);
    flags.format = static_cast<uint8_t>(field.flaq >> 8);
  }
  const bool srcFrameUnsync = srcMajor >= 4 && ((field.flaq >> 8) & 0x02);
  if (ConvertFrameFlags(srcMajor, major, flags, data) == FlagOutcome::kCannotConvert) {
    enc.warn(Warning("Can't copy compressed or encrypted id3v2 fields to this version.\r\n"
                     "Field coded \"" + Trimmed(CodeFor(field, srcMajor)) + "\" removed."));
    return kEncodeSkipped;
  }
  bool have = tag.srcunsync || srcFrameUnsync;
  // A 2.4 frame that keeps its own unsynchronisation flag stays unsynchronised.
  const bool want = FrameUnsync(tag, major) || (major >= 4 && (flags.format & 0x02));

  std::vector<uint8_t> prefix;
  size_t q = 0;
  const bool crosses22 = (srcMajor == 2) != (major == 2);
  if (field.ind == kPictureIndex && crosses22) {
    if (have) data.resize(ResyncBytes(data.data(), data.size()).length);
    have = false;
    q = ConvertPicture(data, srcMajor, major, prefix);
    if (q > data.size()) q = 0;
    if (q > 0) {
      prefix.insert(prefix.end(), data.begin() + static_cast<std::ptrdiff_t>(q), data.end());
      data = std::move(prefix);
      prefix.clear();
    }
  }
  ApplyUnsync(data, have, want);

  // A field that no longer fits the target's size field is dropped.
  if (!AppendFrame(enc, code, major, flags, prefix, data)) return kEncodeDone;
  return kEncodeDone;
}

}  // namespace

int CopyId3v2Field(FieldEncoder& enc, const Id3v2Field& field) {
  return GuardAllocation([&] { return CopyId3v2FieldImpl(enc, field); });
}

namespace {
int BuildTextFieldImpl(FieldEncoder& enc, Id3v2Field& field) {
  if (field.tip != kFieldText) return kEncodeDone;
  const Id3v2TagState& tag = enc.tag;
  const unsigned major = ClampMajor(tag.tagversion.major);
  field.tansi = CutToCharacters(field.tansi, kMaxBuiltTextChars);
  field.tcont = CutToCharacters(field.tcont, kMaxBuiltTextChars);

  const uint8_t parts = field.sub & (kPartEncoding | kPartLanguage | kPartDescription);
  // A URL is written as ASCII; the encoding byte of a WXXX frame applies to its
  // description.
  const bool urlText = IsUrlCode(CodeFor(field, major));
  uint8_t e = field.enc;
  if (e > kEncUtf8) e = kEncLatin1;
  if (major < 4 && e > kEncUtf16Bom) e = kEncUtf16Bom;  // 2.2 and 2.3 know only 0 and 1
  // ISO-8859-1 cannot hold every character; such a text is written as UTF-16
  // rather than losing characters.
  if ((parts & kPartEncoding) && e == kEncLatin1 &&
      ((!urlText && HasNonLatin1(field.tansi)) ||
       ((parts & kPartDescription) && HasNonLatin1(field.tcont))))
    e = kEncUtf16Bom;

  if (field.tansi.empty() && enc.skipEmptyFields &&
      !((parts & kPartDescription) && !field.tcont.empty()))
    return kEncodeDone;

  const std::string code = CodeFor(field, major);
  if (code.size() != CodeLength(major)) return kEncodeSkipped;

  const std::string text = field.ind == kGenreIndex ? SplitGenreRefinements(field.tansi) : field.tansi;
  std::vector<uint8_t> body;
  if (parts & kPartEncoding) body.push_back(e);
  if (parts & kPartLanguage) {
    for (size_t i = 0; i < 3; ++i)
      body.push_back(i < field.tlan.size() ? static_cast<uint8_t>(field.tlan[i]) : 0);
  }
  if (parts & kPartDescription) {
    const std::vector<uint8_t> d = TextOrTerminator(field.tcont, e, parts);
    body.insert(body.end(), d.begin(), d.end());
  }
  const std::vector<uint8_t> t = urlText ? UrlOrTerminator(text, parts) : TextOrTerminator(text, e, parts);
  body.insert(body.end(), t.begin(), t.end());
  body = UnsyncBytes(body, FrameUnsync(tag, major));
  AppendFrame(enc, code, major, {}, {}, body);
  return kEncodeDone;
}

}  // namespace

int BuildTextField(FieldEncoder& enc, Id3v2Field& field) {
  return GuardAllocation([&] { return BuildTextFieldImpl(enc, field); });
}

namespace {
int BuildFieldFromFileImpl(FieldEncoder& enc, Id3v2Field& field) {
  const Id3v2TagState& tag = enc.tag;
  const unsigned major = ClampMajor(tag.tagversion.major);
  if (field.tload.empty()) return kEncodeSkippedWarned;
  if (!FileExists(field.tload)) {
    enc.warn(FieldWarning("Referenced external file doesn't exist:", field.tload));
    return kEncodeSkippedWarned;
  }
  InputFile file;
  if (!file.open(field.tload) || file.size() < 0) {
    enc.warn(FieldWarning("Error reading referenced external file:", field.tload));
    return kEncodeSkippedWarned;
  }
  const int64_t fileSize = file.size();
  if (major == 2 && fileSize > int64_t{kMaxField22}) {
    enc.warn(FieldWarning(
        "Referenced external file is above maximum size for ID3v2.2 type tag (16 MB):", field.tload));
    return kEncodeTooLarge;
  }
  if (fileSize >= kMaxExternalFile) {
    enc.warn(FieldWarning("Referenced external file is above maximum size allowed by Quorvel (64 MB):",
                          field.tload));
    return kEncodeTooLarge;
  }
  if (fileSize == 0 && enc.skipEmptyFields) return kEncodeSkipped;

  if (field.ind == 0 && field.tkod.size() != CodeLength(major)) {
    enc.warn(UnknownAcrossVersions(field, major));
    return kEncodeSkipped;
  }
  const std::string code = CodeFor(field, major);
  if (code.size() != CodeLength(major)) return kEncodeSkipped;

  const uint8_t parts = PartsOf(field);
  std::vector<uint8_t> body;
  auto readWhole = [&](size_t count) {
    const size_t at = body.size();
    body.resize(at + count);
    return count == 0 || file.readAt(0, body.data() + at, count);
  };

  if (field.tip == kFieldText) {
    uint8_t e = field.enc;
    if (e > kEncUtf8) e = kEncLatin1;
    if (major < 4 && e > kEncUtf16Bom) e = kEncUtf16Bom;
    field.tcont = CutToCharacters(field.tcont, kMaxLoadedDescriptionChars);
    if ((parts & kPartEncoding) && e == kEncLatin1 &&
        ((!IsUrlCode(code) && HasNonLatin1(field.tansi)) ||
         ((parts & kPartDescription) && HasNonLatin1(field.tcont))))
      e = kEncUtf16Bom;
    if (parts & kPartEncoding) body.push_back(e);
    if (parts & kPartLanguage) {
      for (size_t i = 0; i < 3; ++i)
        body.push_back(i < field.tlan.size() ? static_cast<uint8_t>(field.tlan[i]) : 0);
    }
    if (parts & kPartDescription) {
      const std::vector<uint8_t> d = TextOrTerminator(field.tcont, e, parts);
      body.insert(body.end(), d.begin(), d.end());
    }
    const std::vector<uint8_t> t =
        IsUrlCode(code) ? UrlOrTerminator(field.tansi, parts) : TextOrTerminator(field.tansi, e, parts);
    body.insert(body.end(), t.begin(), t.end());
  } else if (field.tip == kFieldPicture) {
    std::string ext;
    const std::string name = BaseName(field.tload);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) {
      for (char c : name.substr(dot)) ext.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    }
    const char* format = nullptr;
    const char* mime = nullptr;
    if (ext == ".jpg" || ext == ".jpeg" || ext == ".jfif") {
      format = "JPG", mime = "image/jpeg";
    } else if (ext == ".png") {
      format = "PNG", mime = "image/png";
    } else if (ext == ".gif") {
      format = "GIF", mime = "image/gif";
    } else if (ext == ".bmp") {
      format = "BMP", mime = "image/bmp";
    } else if (ext == ".ico") {
      format = "ICO", mime = "image/ico";
    } else {
      enc.warn(FieldWarning("Unknown attached image type:", field.tload));
      return kEncodeSkippedWarned;
    }
    field.tcont = CutToCharacters(field.tcont, kMaxLoadedDescriptionChars);
    // The description is ISO-8859-1 unless it needs more characters.
    const uint8_t e = HasNonLatin1(field.tcont) ? kEncUtf16Bom : kEncLatin1;
    body.push_back(e);
    if (major == 2) {
      body.insert(body.end(), format, format + 3);
    } else {
      body.insert(body.end(), mime, mime + std::char_traits<char>::length(mime));
      body.push_back(0);
    }
    body.push_back(field.sub);
    const std::vector<uint8_t> d = TextOrTerminator(field.tcont, e, kPartEncoding);
    body.insert(body.end(), d.begin(), d.end());
    if (!readWhole(static_cast<size_t>(fileSize))) {
      enc.warn(FieldWarning("Error reading referenced external file:", field.tload));
      return kEncodeSkippedWarned;
    }
  } else {
    const uint32_t fixed = field.ind < Id3v2Catalogue.size() ? Id3v2Catalogue[field.ind].max : 0;
    const int64_t want = fixed > 0 ? fixed : fileSize;
    if (fileSize < want || !readWhole(static_cast<size_t>(want))) {
      enc.warn(FieldWarning("Error reading referenced external file:", field.tload));
      return kEncodeSkippedWarned;
    }
  }
  body = UnsyncBytes(body, FrameUnsync(tag, major));
  AppendFrame(enc, code, major, {}, {}, body);
  return kEncodeDone;
}

}  // namespace

int BuildFieldFromFile(FieldEncoder& enc, Id3v2Field& field) {
  return GuardAllocation([&] { return BuildFieldFromFileImpl(enc, field); });
}

namespace {
int WriteExtHeaderFromFileImpl(FieldEncoder& enc, const Id3v2Field& field, bool& written) {
  written = false;
  Id3v2TagState& tag = enc.tag;
  if (tag.tagversion.major <= 2) return kEncodeDone;
  const unsigned major = NormaliseTargetMajor(tag);
  if (!FileExists(field.tload)) {
    enc.warn(FieldWarning("Extended header file was moved, renamed or deleted:", field.tload));
    return kEncodeSkippedWarned;
  }
  InputFile file;
  if (!file.open(field.tload) || file.size() < 0) {
    enc.warn(FieldWarning("Error reading extended header file:", field.tload));
    return kEncodeSkippedWarned;
  }
  const int64_t size = file.size();
  if (size == 0) return kEncodeDone;
  if (size >= kMaxExtHeaderFile) {
    enc.warn(FieldWarning("Extended header file must be below 16 MB:", field.tload));
    return kEncodeSkippedWarned;
  }
  if (size < 6 && major == 3) {
    enc.warn(FieldWarning("Extended header file must have at least 6 bytes in ID3v2.3:", field.tload));
    return kEncodeSkippedWarned;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!file.readAt(0, bytes.data(), bytes.size())) {
    enc.warn(FieldWarning("Error reading extended header file:", field.tload));
    return kEncodeSkippedWarned;
  }
  const std::vector<uint8_t> body = UnsyncBytes(bytes, FrameUnsync(tag, major));
  const uint32_t length = static_cast<uint32_t>(body.size());
  if (major == 3) {
    enc.out.be32(length);
  } else {
    enc.out.syncsafe32(length + 4);
  }
  enc.out.bytes(body.data(), body.size());
  enc.writtenFields += 1;
  written = true;
  return kEncodeDone;
}

}  // namespace

int WriteExtHeaderFromFile(FieldEncoder& enc, const Id3v2Field& field, bool& written) {
  return GuardAllocation([&] { return WriteExtHeaderFromFileImpl(enc, field, written); });
}

namespace {
int CopyExtHeaderImpl(FieldEncoder& enc, const Id3v2Field& field, bool& written) {
  written = false;
  Id3v2TagState& tag = enc.tag;
  if (tag.tagversion.major <= 2 || field.dlen == 0) return kEncodeDone;
  const unsigned major = NormaliseTargetMajor(tag);
  if (!FileExists(field.tload)) {
    enc.warn(FieldWarning("Source file was moved or renamed:", field.tload));
    return kEncodeSkippedWarned;
  }
  if (field.dlen > kMaxCopiedField) {
    enc.warn(Warning("Extended header larger than 64 MB will not be copied by Quorvel."));
    return kEncodeTooLarge;
  }
  // The 2.3 and 2.4 extended headers differ in layout (how the size counts,
  // the flags): one is never carried into a tag of the other version.
  if (std::min(SourceMajor(tag), 4u) != major) return kEncodeDone;
  std::vector<uint8_t> data(field.dlen);
  if (!ReadFieldSource(enc, field, data)) {
    enc.warn(FieldWarning("Error reading source file:", field.tload));
    return kEncodeSkippedWarned;
  }
  ApplyUnsync(data, tag.srcunsync, FrameUnsync(tag, major));
  enc.out.bytes(data.data(), data.size());
  enc.writtenFields += 1;
  written = true;
  return kEncodeDone;
}

}  // namespace

int CopyExtHeader(FieldEncoder& enc, const Id3v2Field& field, bool& written) {
  return GuardAllocation([&] { return CopyExtHeaderImpl(enc, field, written); });
}

Id3v2Block BuildId3v2TagBlock(Id3v2TagState& tag, InputFile& source, const Id3v2BlockOptions& options,
                              const Id3v2BlockCallbacks& callbacks) {
  Id3v2Block result;
  auto writable = [&](const Id3v2Field& f) {
    if (f.akcija & kFieldRemoved) return false;
    return !(options.dropErroneousFields && (f.err & (kErrUnknownEncoding | kErrMissingLanguage)));
  };
  if (std::none_of(tag.fields.begin(), tag.fields.end(), writable)) return result;

  if (tag.tagversion.major < 2 || tag.tagversion.major > 4) {
    uint8_t major = options.newTagMajor;
    if (major < 2 || major > 4) major = 3;
    tag.tagversion = Id3v2Version{major, 0};
  }
  const unsigned major = tag.tagversion.major;

  ByteWriter body;
  FieldEncoder enc{tag, source, body, options.skipEmptyFields, callbacks.report, 0, {}};
  bool extWritten = false;
  try {
    for (const Id3v2Field& f : tag.fields) {
      if (f.ind != kExtHeaderIndex || !writable(f)) continue;
      const int r = (f.akcija & kFieldLoaded) ? WriteExtHeaderFromFile(enc, f, extWritten)
                                              : CopyExtHeader(enc, f, extWritten);
      if (r == kEncodeFailed) {
        result.outcome = Id3v2BlockOutcome::kFailed;
        return result;
      }
      break;
    }
    for (size_t i = 0; i < tag.fields.size(); ++i) {
      Id3v2Field& f = tag.fields[i];
      if (f.ind != kExtHeaderIndex && writable(f)) {
        int r = kEncodeDone;
        if ((f.akcija & 0x3F) == 0) {
          r = CopyId3v2Field(enc, f);
        } else if (f.akcija & (kFieldEdited | kFieldEditedMultiLine)) {
          r = BuildTextField(enc, f);
        } else if (f.akcija & kFieldLoaded) {
          r = BuildFieldFromFile(enc, f);
        } else if ((f.akcija & kFieldAdded) && f.tip == kFieldText) {
          r = BuildTextField(enc, f);
        }
        if (r == kEncodeFailed) {
          result.outcome = Id3v2BlockOutcome::kFailed;
          return result;
        }
      }
      if (i % 256 == 127 && callbacks.processEvents && callbacks.processEvents()) {
        result.outcome = Id3v2BlockOutcome::kClosed;
        return result;
      }
    }
    const bool footer = tag.footer && major > 3;
    if (tag.padding > 0 && (major < 4 || !footer)) body.data().resize(body.size() + tag.padding, 0);

    result.fieldsWritten = enc.writtenFields;
    if (body.size() == 0 || enc.writtenFields == 0) return result;
    if (tag.unsync && major < 4) body.data() = UnsyncBytes(body.data(), true);
    // The tag size has 28 bits; a larger tag cannot be written.
    if (body.size() > 0x0FFFFFFF) {
      result.outcome = Id3v2BlockOutcome::kFailed;
      return result;
    }
    uint8_t flags = 0;
    if (tag.unsync) flags |= 0x80;
    if (extWritten) flags |= 0x40;
    if (tag.experimental && major > 2) flags |= 0x20;
    if (footer) flags |= 0x10;
    const uint32_t size = static_cast<uint32_t>(body.size());

    ByteWriter out;
    out.data().reserve(body.size() + 20);
    out.text("ID3");
    out.u8(static_cast<uint8_t>(major));
    out.u8(tag.tagversion.minor);
    out.u8(flags);
    out.syncsafe32(size);
    out.bytes(body.data().data(), body.size());
    if (footer) {
      out.text("3DI");
      out.u8(static_cast<uint8_t>(major));
      out.u8(tag.tagversion.minor);
      out.u8(flags);
      out.syncsafe32(size);
    }
    result.bytes = std::move(out.data());
    result.outcome = Id3v2BlockOutcome::kWritten;
  } catch (const std::bad_alloc&) {
    result = Id3v2Block{};
    result.outcome = Id3v2BlockOutcome::kFailed;
  }
  return result;
}

}  // namespace quorvel
