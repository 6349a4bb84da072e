#include "tags/field_content.h"

#include <algorithm>

#include "tags/id3v2_reader.h"

namespace quorvel {

const char* const kContentTooLargeText = "The field size is above maximum allowed by Quorvel (64 MB).";
const char* const kContentTooLargeToShow = "- TOO LARGE TO DISPLAY (2 KB MAX) -";
const char* const kContentEmptyField = "- EMPTY FIELD -  ";
const char* const kContentEmptyText = "- THE FIELD IS EMPTY -";
const char* const kContentSourceGone =
    "Disk read error. Perhaps the source file was either\r\nmoved, modified, renamed or deleted in the meantime?";
const char* const kLoadTooLargeText =
    "Please load files up to 16 MB in size.\r\nNote that large tags may cause compatibility issues.";
const char* const kLoadEmptyFileNote =
    "You just loaded an empty file. If you want this field to be written to the output file,\r\nyou should "
    "uncheck \"Don't write id3v2 fields without content and description\" option.";
const char* const kLoadReadErrorText = "Disk error reading the file.";

namespace {

// The bytes a frame's format flags put in front of its data: 2.3 compression
// (4 bytes of size), encryption and grouping (1 each); 2.4 grouping,
// encryption (1 each) and the data length indicator (4).
size_t FramePrefixLength(unsigned major, uint8_t format) {
  if (major == 3) return ((format & 0x80) ? 4 : 0) + ((format & 0x40) ? 1 : 0) + ((format & 0x20) ? 1 : 0);
  if (major >= 4) return ((format & 0x40) ? 1 : 0) + ((format & 0x04) ? 1 : 0) + ((format & 0x01) ? 4 : 0);
  return 0;
}

}  // namespace

uint32_t FieldHeaderLength(const Id3v2TagState& tag, const Id3v2Field& field) {
  if (field.ind == kExtHeaderIndex) return 0;
  return tag.srcversion.major == 2 ? 6 : 10;
}

ContentResult ReadFieldData(const Id3v2TagState& tag, const Id3v2Field& field, InputFile& source,
                            std::vector<uint8_t>& data, int64_t limit) {
  data.clear();
  const unsigned major = tag.srcversion.major;
  const uint32_t header = FieldHeaderLength(tag, field);
  if (field.dlen < header) return ContentResult::kReadError;
  // Without unsynchronisation the stored bytes are the data (with at most 6
  // bytes in front): a field far above the limit is refused unread.
  const bool frameUnsync = major >= 4 && ((field.flaq >> 8) & 0x02);
  if (int64_t{field.dlen} - header > limit + 6 && !tag.srcunsync && !frameUnsync) return ContentResult::kTooLarge;
  std::vector<uint8_t> raw(field.dlen);
  if (!raw.empty() && !source.readAt(field.spos, raw.data(), raw.size())) return ContentResult::kReadError;
  // A whole-tag unsynchronisation covers the frame headers too.
  if (tag.srcunsync) raw.resize(ResyncBytes(raw.data(), raw.size()).length);
  if (raw.size() < header) return ContentResult::kReadError;
  size_t start = header;
  if (field.ind == kExtHeaderIndex) {
    start = major >= 4 ? 4 : 0;
  } else if (major >= 3) {
    const uint8_t format = static_cast<uint8_t>(field.flaq >> 8);
    // 2.4 unsynchronises a frame's data alone, after its header.
    if (major >= 4 && (format & 0x02) && !tag.srcunsync) {
      raw.resize(header + ResyncBytes(raw.data() + header, raw.size() - header).length);
    }
    start += FramePrefixLength(major, format);
  }
  if (start > raw.size()) return ContentResult::kReadError;
  if (static_cast<int64_t>(raw.size() - start) > limit) return ContentResult::kTooLarge;
  data.assign(raw.begin() + static_cast<std::ptrdiff_t>(start), raw.end());
  return ContentResult::kOk;
}

size_t ContentStart(const std::vector<uint8_t>& data, uint8_t enc, uint8_t parts) {
  size_t cursor = 0;
  if ((parts & kPartEncoding) && !data.empty()) cursor = 1;
  if (parts & kPartLanguage) cursor = std::min(data.size(), cursor + 3);
  if (parts & kPartDescription) {
    // The description's text and terminator, in the field's encoding.
    DecodeFieldText(data, cursor, enc, kPartEncoding);
  }
  return std::min(cursor, data.size());
}

ContentView ContentForMessage(const std::vector<uint8_t>& data, uint8_t enc, uint8_t parts) {
  if (data.empty()) return {kContentEmptyField, 2};
  if (data.size() > kContentDisplayLimit) return {kContentTooLargeToShow, 2};
  size_t cursor = ContentStart(data, enc, parts);
  std::string text = DecodeFieldText(data, cursor, enc, kPartEncoding);
  if (text.empty()) return {kContentEmptyText, 2};
  return {text, 0};
}

LoadResult LoadFieldFromFile(Id3v2Field& field, const std::string& path, bool emptyFieldsLeftOut) {
  InputFile file;
  if (!file.open(path)) return {false, kLoadReadErrorText, 258, "error"};
  if (file.size() > kFieldLoadLimit) return {false, kLoadTooLargeText, 258, "error"};
  // The whole file must be readable now; the writer reads it again at saving.
  std::vector<uint8_t> probe(static_cast<size_t>(std::min<int64_t>(file.size(), 65536)));
  for (int64_t pos = 0; pos < file.size(); pos += static_cast<int64_t>(probe.size())) {
    size_t n = static_cast<size_t>(std::min<int64_t>(file.size() - pos, static_cast<int64_t>(probe.size())));
    if (!file.readAt(pos, probe.data(), n)) return {false, kLoadReadErrorText, 258, "error"};
  }
  field.tload = path;
  field.akcija = static_cast<uint8_t>((field.akcija & kFieldAdded) | kFieldLoaded);
  field.err = 0;
  field.tansi.clear();
  field.tcont = file.size() == 0 ? "" : "none";
  field.tlan.clear();
  LoadResult result{true, {}, 0, {}};
  if (file.size() == 0 && emptyFieldsLeftOut) result.message = kLoadEmptyFileNote;
  return result;
}

}  // namespace quorvel
