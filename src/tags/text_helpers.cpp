#include "tags/text_helpers.h"

namespace quorvel {

namespace {

bool IsSpaceOrZero(char c) { return c == ' ' || c == '\0'; }
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }

template <typename Pred>
std::string TrimBoth(std::string_view text, Pred pred) {
  size_t end = text.size();
  while (end > 0 && pred(text[end - 1])) --end;
  size_t begin = 0;
  while (begin < end && pred(text[begin])) ++begin;
  return std::string(text.substr(begin, end - begin));
}

std::span<const uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::string TrimSpaces(std::string_view text) { return TrimBoth(text, IsSpaceOrZero); }

std::string CleanTrim(std::string_view text) { return TrimSpaces(TrimBoth(text, IsBlankOrControl)); }

std::string RemoveSpaces(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (!IsSpaceOrZero(c)) out.push_back(c);
  return out;
}

std::string FitToBytes(std::string_view text, size_t width) {
  std::string out(text);
  if (CharacterCount(out) > width) out = TrimSpaces(out);
  // Also a text of few characters may be too long in bytes; cutting it here
  // keeps what the field shows equal to what it can store.
  while (out.size() > width) DropLastCharacter(out);
  return out;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

size_t Utf8SequenceLength(std::span<const uint8_t> b) {
  if (b.empty()) return 0;
  const uint8_t lead = b[0];
  if (lead < 0x80) return 1;
  size_t len;
  uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    len = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3;
    if (lead == 0xE0) lo = 0xA0;       // no overlong forms
    else if (lead == 0xED) hi = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
    if (lead == 0xF0) lo = 0x90;
    else if (lead == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (b.size() < len) return 0;
  if (b[1] < lo || b[1] > hi) return 0;
  for (size_t i = 2; i < len; ++i)
    if ((b[i] & 0xC0) != 0x80) return 0;
  return len;
}

namespace {

char32_t DecodeSequence(std::span<const uint8_t> b, size_t len) {
  switch (len) {
    case 1:
      return b[0];
    case 2:
      return (char32_t{b[0] & 0x1Fu} << 6) | (b[1] & 0x3Fu);
    case 3:
      return (char32_t{b[0] & 0x0Fu} << 12) | (char32_t{b[1] & 0x3Fu} << 6) | (b[2] & 0x3Fu);
    default:
      return (char32_t{b[0] & 0x07u} << 18) | (char32_t{b[1] & 0x3Fu} << 12) |
             (char32_t{b[2] & 0x3Fu} << 6) | (b[3] & 0x3Fu);
  }
}

}  // namespace

std::u32string DecodeUtf8(std::span<const uint8_t> bytes) {
  std::u32string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    auto rest = bytes.subspan(i);
    size_t len = Utf8SequenceLength(rest);
    if (len == 0) {
      out.push_back(bytes[i]);
      ++i;
    } else {
      out.push_back(DecodeSequence(rest, len));
      i += len;
    }
  }
  return out;
}

std::u32string DecodeUtf8(std::string_view text) { return DecodeUtf8(AsBytes(text)); }

std::string EncodeUtf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) AppendUtf8(out, c);
  return out;
}

size_t CharacterCount(std::string_view text) {
  auto bytes = AsBytes(text);
  size_t count = 0;
  size_t i = 0;
  while (i < bytes.size()) {
    size_t len = Utf8SequenceLength(bytes.subspan(i));
    i += len == 0 ? 1 : len;
    ++count;
  }
  return count;
}

namespace {

// Byte offsets where characters start; the text's size is appended.
template <typename F>
void ForEachCharacterStart(std::string_view text, F f) {
  auto bytes = AsBytes(text);
  size_t i = 0;
  while (i < bytes.size()) {
    f(i);
    size_t len = Utf8SequenceLength(bytes.subspan(i));
    i += len == 0 ? 1 : len;
  }
}

}  // namespace

void DropLastCharacter(std::string& text) {
  size_t last = 0;
  ForEachCharacterStart(text, [&](size_t start) { last = start; });
  text.resize(last);
}

std::string FirstCharacters(std::string_view text, size_t count) {
  size_t seen = 0;
  size_t cut = text.size();
  ForEachCharacterStart(text, [&](size_t start) {
    if (seen == count && cut == text.size()) cut = start;
    ++seen;
  });
  return std::string(text.substr(0, cut));
}

std::string ToValidUtf8(std::string_view text) { return EncodeUtf8(DecodeUtf8(text)); }

std::string PercentEncodeNonAscii(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : ToValidUtf8(text)) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHexDigits[c >> 4]);
      out.push_back(kHexDigits[c & 0x0F]);
    }
  }
  return out;
}

std::u32string DecodeUtf16(std::span<const uint8_t> bytes, bool bigEndian) {
  std::u32string out;
  out.reserve(bytes.size() / 2 + 1);
  auto unit = [&](size_t i) -> char32_t {
    uint8_t a = bytes[i];
    uint8_t b = i + 1 < bytes.size() ? bytes[i + 1] : 0;
    return bigEndian ? (char32_t{a} << 8) | b : (char32_t{b} << 8) | a;
  };
  size_t i = 0;
  while (i < bytes.size()) {
    char32_t u = unit(i);
    i += 2;
    if (u >= 0xD800 && u <= 0xDBFF && i < bytes.size()) {
      char32_t v = unit(i);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        out.push_back(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        i += 2;
        continue;
      }
    }
    out.push_back(u >= 0xD800 && u <= 0xDFFF ? char32_t{0xFFFD} : u);
  }
  return out;
}

std::string TrimTrailingSpaces(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\0')) --end;
  return std::string(text.substr(0, end));
}

int DecimalOrMinusOne(std::string_view text) {
  if (text.empty() || text.size() > 9) return -1;
  int n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace quorvel
