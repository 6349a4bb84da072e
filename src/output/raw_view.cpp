#include "output/raw_view.h"

#include <algorithm>
#include <vector>

#include "core/document_ops.h"
#include "core/messages.h"
#include "tags/file_io.h"
#include "tags/text_helpers.h"

namespace quorvel {

namespace {

constexpr const char* kRawReadErrorText =
    "Disk read error. Perhaps the source file was either\r\nmoved, modified, renamed or deleted in "
    "the meantime?";
constexpr const char* kLyricsReadErrorText = "Error reading the file. Perhaps it was moved or modified.";
constexpr const char* kUnknownErrorText = "Unknown error!";

bool StartsWith(const std::u32string& s, std::u32string_view prefix) {
  return s.size() >= prefix.size() && std::u32string_view(s).substr(0, prefix.size()) == prefix;
}

bool EndsWith(const std::u32string& s, std::u32string_view suffix) {
  return s.size() >= suffix.size() &&
         std::u32string_view(s).substr(s.size() - suffix.size()) == suffix;
}

// Five decimal digits; anything else is not a number.
bool ParseFieldSize(std::u32string_view digits, uint32_t& value) {
  if (digits.size() != 5) return false;
  value = 0;
  for (char32_t c : digits) {
    if (c < U'0' || c > U'9') return false;
    value = value * 10 + static_cast<uint32_t>(c - U'0');
  }
  return true;
}

bool ViewAllowed(const Context& ctx) { return !NotReady(ctx) && !ctx.script.active; }

}  // namespace

std::string RawBytesText(const uint8_t* bytes, size_t n) {
  std::string text;
  text.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    uint8_t b = bytes[i];
    if (b == 0 || b == 0xFF) {
      text += ' ';
    } else if (b < 32 && b != 10 && b != 13) {
      text += '?';
    } else {
      AppendUtf8(text, static_cast<char32_t>(b));
    }
  }
  return text;
}

void ViewRawBlock(Context& ctx, int32_t position, int32_t length, const std::string& caption) {
  InputFile file;
  // The file was found at load time; failing to open it now is the same
  // trouble as failing to read it.
  if (!file.open(ctx.doc.sourceName)) {
    if (length > 0) ReportMessage(ctx, kRawReadErrorText, kMsgWarning, "warning");
    return;
  }
  bool limited = length > kRawViewLimit;
  int32_t n = std::min(length, kRawViewLimit);
  if (n <= 0) return;
  std::vector<uint8_t> bytes(static_cast<size_t>(n));
  if (position < 0 || !file.readAt(position, bytes.data(), bytes.size())) {
    file.close();
    ReportMessage(ctx, kRawReadErrorText, kMsgWarning, "warning");
    return;
  }
  std::string text = RawBytesText(bytes.data(), bytes.size());
  file.close();
  if (limited) text += "\r\n- over 750 bytes, truncated -";
  ReportMessage(ctx, text, kMsgInfo, caption);
}

Lyrics3View Lyrics3ViewText(std::span<const uint8_t> block, int lyricsVersion) {
  std::u32string s = DecodeUtf8(block);
  if (!StartsWith(s, U"LYRICSBEGIN")) return {kUnknownErrorText, kMsgError, "warning"};
  s.erase(0, 11);
  if (EndsWith(s, U"LYRICSEND") || EndsWith(s, U"LYRICS200")) s.resize(s.size() - 9);

  std::string suffix;
  if (lyricsVersion == 2) {
    suffix = "v2";
    // Lyrics3 v2 fields: a 3-character identifier, a 5-digit size, the content.
    // i counts characters from 1.
    size_t found = 0;
    for (size_t i = 1;; ++i) {
      if (i + 9 > s.size()) return {"- empty tag -", kMsgWarning, "Lyrics3 v2"};
      if (std::u32string_view(s).substr(i - 1, 3) == U"LYR") {
        found = i;
        break;
      }
    }
    uint32_t size = 0;
    size_t contentStart = found + 7;  // 0-based: after "LYR" and the 5 digits
    if (ParseFieldSize(std::u32string_view(s).substr(found + 2, 5), size) && (size & 0xFFFF) > 0 &&
        size < s.size()) {
      s = s.substr(contentStart, size);
    }
  }

  if (s.size() > kLyricsShowLimit) {
    s.resize(kLyricsShowLimit);
    return {EncodeUtf8(s) + "\r\n*** TOO LONG, TRUNCATED ***", kMsgInfo, "Lyrics3 " + suffix};
  }
  return {EncodeUtf8(s), kMsgInfo, "Lyrics3 " + suffix};
}

void ViewUnknownHeaderClick(Context& ctx) {
  if (!ViewAllowed(ctx)) return;
  const SourceAnalysis& source = ctx.doc.source;
  if (!source.behindHeaderFound) return;
  ViewRawBlock(ctx, source.behindHeaderPos, source.behindHeaderLength, "Behind-header data:");
}

void ViewUnknownFooterClick(Context& ctx) {
  if (!ViewAllowed(ctx)) return;
  const SourceAnalysis& source = ctx.doc.source;
  if (!source.footerFound) return;
  ViewRawBlock(ctx, source.footerPos, source.footerLength, "Unknown footer data:");
}

void ViewLyrics3Click(Context& ctx) {
  if (!ViewAllowed(ctx)) return;
  const SourceAnalysis& source = ctx.doc.source;
  int64_t n = source.lyricsFound ? int64_t{source.lyricsEndPos} - source.lyricsPos : 0;
  if (n <= 0 || source.lyricsPos < 0) {
    ReportMessage(ctx, kUnknownErrorText, kMsgError, "warning");
    return;
  }
  n = std::min<int64_t>(n, kLyricsReadLimit);
  InputFile file;
  std::vector<uint8_t> bytes(static_cast<size_t>(n));
  if (!file.open(ctx.doc.sourceName) ||
      !file.readAt(source.lyricsPos, bytes.data(), bytes.size())) {
    file.close();
    ReportMessage(ctx, kLyricsReadErrorText, kMsgWarning, "warning");
    return;
  }
  file.close();
  Lyrics3View view = Lyrics3ViewText(bytes, source.lyricsVersion);
  ReportMessage(ctx, view.text, view.kind, view.caption);
}

}  // namespace quorvel
