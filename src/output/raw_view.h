#pragma once
// Viewers of the data found around the audio of the loaded file: the raw bytes
// of the unknown leading and trailing blocks, and the lyrics of a Lyrics3 block.
// They read the source file again at the positions the analysis recorded and
// report through the host; they never change the document.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/context.h"

namespace quorvel {

constexpr int32_t kRawViewLimit = 750;
constexpr int32_t kLyricsReadLimit = 8320;
constexpr size_t kLyricsShowLimit = 2048;

// Each byte as the ISO-8859-1 character of the same code (the result is UTF-8):
// 0 and 255 become a space, the control characters other than line feed and
// carriage return become "?".
std::string RawBytesText(const uint8_t* bytes, size_t n);

// Shows up to 750 bytes of the source file from position as text, kind 0, with
// the caption; "- over 750 bytes, truncated -" follows on a line of its own when
// there were more. Nothing is shown for a length of 0 or less; a file that can no
// longer be read gives a warning.
void ViewRawBlock(Context& ctx, int32_t position, int32_t length, const std::string& caption);

// What the Lyrics3 viewer shows for the bytes from "LYRICSBEGIN" up to the end
// marker of a block of the given version (1 "LYRICSEND", 2 "LYRICS200").
struct Lyrics3View {
  std::string text;
  int kind = 0;
  std::string caption;
};
Lyrics3View Lyrics3ViewText(std::span<const uint8_t> block, int lyricsVersion);

// The main window's view commands. Each does nothing while the document is not
// ready or a script runs.
// "View unknown header tag": the behind-header data, when there is any.
void ViewUnknownHeaderClick(Context& ctx);
// "view unknown footer tag": the unknown footer, when there is one.
void ViewUnknownFooterClick(Context& ctx);
// "View lyrics3 tag (lyrics only)".
void ViewLyrics3Click(Context& ctx);

}  // namespace quorvel
