#pragma once
// The in-memory model of an ID3v2 tag. It is lazy: a field remembers where its
// header lies in the source file (spos) and how long it is (dlen); edits are
// recorded as flags on the record, never by rewriting the source.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

// Field kinds (tip).
constexpr uint8_t kFieldBinary = 0;
constexpr uint8_t kFieldText = 1;
constexpr uint8_t kFieldMixed = 2;
constexpr uint8_t kFieldPicture = 3;
constexpr uint8_t kFieldUnknown = 4;

// Parts flags (fel / sub).
constexpr uint8_t kPartEncoding = 1;
constexpr uint8_t kPartLanguage = 2;
constexpr uint8_t kPartDescription = 4;

// Text encodings (enc): the encoding byte that starts a text frame's content.
constexpr uint8_t kEncLatin1 = 0;    // ISO-8859-1
constexpr uint8_t kEncUtf16Bom = 1;  // UTF-16 with byte-order mark
constexpr uint8_t kEncUtf16Be = 2;   // UTF-16 big-endian, no mark
constexpr uint8_t kEncUtf8 = 3;

// Edit-state flags (akcija).
constexpr uint8_t kFieldAdded = 0x01;
constexpr uint8_t kFieldRemoved = 0x02;
constexpr uint8_t kFieldLoaded = 0x04;
constexpr uint8_t kFieldEdited = 0x08;
constexpr uint8_t kFieldEditedMultiLine = 0x10;
constexpr uint8_t kFieldRemovedByVersion = 0x20;
constexpr uint8_t kFieldDuplicate = 0x40;

// Error flags (err).
constexpr uint8_t kErrUnknownEncoding = 0x01;
constexpr uint8_t kErrMissingLanguage = 0x02;
constexpr uint8_t kErrTooLarge = 0x40;
constexpr uint8_t kErrUnknownCode = 0x80;

constexpr int kCatalogueSize = 91;
constexpr int kExtHeaderIndex = 90;

// One entry of the field catalogue (tagelement).
struct TagElement {
  std::array<const char*, 4> kod;  // codes for 2.2, 2.3, 2.4 and "other" (repeats 2.4); "" when absent
  const char* description;
  uint8_t tip;
  uint8_t fel;
  uint32_t max;
  bool ald;
};

// One field of the tag (tagtype).
// Texts for display (thint, tansi, tcont, torco, torig, tload) are UTF-8.
// tkod, tlan and tolan hold the bytes as they stand in the file. A picture
// field whose data was located keeps the packed location in tansi and torig
// (see PackPictureLocation); otherwise tansi holds its MIME type (2.2: image
// format).
struct Id3v2Field {
  uint32_t spos = 0;
  uint32_t dlen = 0;
  uint8_t ind = 0;
  uint8_t tip = 0;
  uint8_t sub = 0;
  uint8_t err = 0;
  uint8_t enc = 0;
  uint8_t akcija = 0;
  uint8_t torenc = 0;
  uint16_t flaq = 0;   // low byte: first flag byte in the file (status), high byte: second (format)
  std::string thint;
  std::string tansi;
  std::string tcont;
  std::string torco;
  std::string torig;
  std::string tload;
  std::string tkod;
  std::string tolan;
  std::string tlan;

  bool operator==(const Id3v2Field&) const = default;
};

// The packed location of a picture's data in the source file: two 0 bytes, the
// absolute offset and the length, each as four bytes, least significant first.
constexpr size_t kPackedLocationSize = 10;

inline std::string PackPictureLocation(uint32_t offset, uint32_t length) {
  std::string s(kPackedLocationSize, '\0');
  for (int i = 0; i < 4; ++i) {
    s[2 + i] = static_cast<char>((offset >> (8 * i)) & 0xFF);
    s[6 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  }
  return s;
}

// False when the text is not a packed location.
inline bool UnpackPictureLocation(const std::string& s, uint32_t& offset, uint32_t& length) {
  if (s.size() != kPackedLocationSize || s[0] != '\0' || s[1] != '\0') return false;
  offset = 0;
  length = 0;
  for (int i = 0; i < 4; ++i) {
    offset |= uint32_t{static_cast<uint8_t>(s[2 + i])} << (8 * i);
    length |= uint32_t{static_cast<uint8_t>(s[6 + i])} << (8 * i);
  }
  return true;
}

struct Id3v2Version {
  uint8_t major = 0;
  uint8_t minor = 0;

  bool operator==(const Id3v2Version&) const = default;
};

struct Id3v2TagState {
  bool present = false;
  uint32_t tagstart = 0;
  uint32_t tagsize = 0;
  Id3v2Version tagversion;
  Id3v2Version srcversion;
  bool srcunsync = false;
  bool unsync = false;
  bool exthead = false;
  bool experimental = false;
  bool footer = false;
  uint32_t padding = 0;
  uint32_t savedpadding = 0;
  bool readerror = false;
  // The editor's "erroneous" switch: the writer leaves out fields with an
  // unknown encoding or a missing language.
  bool dropErroneous = false;
  // Set by the first tag command of a script run; cleared by ResetId3v2State.
  bool tagStarted = false;

  std::vector<Id3v2Field> fields;  // fieldcount = fields.size()
  std::vector<uint32_t> textlist;
  std::vector<uint32_t> mixlist;
  std::vector<uint32_t> binlist;
  std::vector<uint32_t> piclist;

  uint32_t fieldcount() const { return static_cast<uint32_t>(fields.size()); }
  bool operator==(const Id3v2TagState&) const = default;
};

}  // namespace quorvel
