#include "tags/id3v2_catalogue.h"

#include <algorithm>

namespace quorvel {

namespace {

// Picture types of the APIC/PIC frame, 0x00..0x14; 17 ("bright coloured fish")
// is deliberately not named.
constexpr std::array<const char*, 21> kPictureTypeNames = {
    "other",           "32x32 PNG icon",     "icon",           "front cover",
    "back cover",      "leaflet page",       "media",          "leading artist",
    "artist",          "conductor",          "band or orchestra", "composer",
    "lyricist",        "recording location", "recording",      "performance",
    "screen capture",  "unknown",            "illustration",   "artist logotype",
    "publisher logotype",
};

}  // namespace

int Id3v2CodeColumn(unsigned major) {
  return static_cast<int>(std::clamp(major, 2u, 5u)) - 2;
}

const char* Id3v2Code(unsigned index, unsigned major) {
  if (index >= Id3v2Catalogue.size()) return "";
  return Id3v2Catalogue[index].kod[static_cast<size_t>(Id3v2CodeColumn(major))];
}

uint8_t FindId3v2Code(std::string_view code, unsigned major) {
  if (code.empty()) return 0;
  const auto column = static_cast<size_t>(Id3v2CodeColumn(major));
  for (unsigned i = kExtHeaderIndex - 1; i >= 1; --i) {
    if (code == Id3v2Catalogue[i].kod[column]) return static_cast<uint8_t>(i);
  }
  return 0;
}

const char* PictureTypeName(unsigned type) {
  return type < kPictureTypeNames.size() ? kPictureTypeNames[type] : "unknown";
}

}  // namespace quorvel
