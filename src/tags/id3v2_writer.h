#pragma once
// Writes an ID3v2 tag from the tag model: the field encoders (copying unchanged
// fields from the source, building text fields, building fields around external
// files, the extended header), the byte-level helpers they share, and the whole
// tag block (header, extended header, fields, padding, footer) built in memory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "tags/bytes.h"
#include "tags/file_io.h"
#include "tags/id3v2_model.h"

namespace quorvel {

// Encoder results.
constexpr int kEncodeDone = 0;          // written, or left out by rule
constexpr int kEncodeFailed = 1;        // the frame could not be written: the tag is abandoned
constexpr int kEncodeSkippedWarned = 2; // left out with a warning
constexpr int kEncodeTooLarge = 3;      // left out because it is too large
constexpr int kEncodeSkipped = 4;       // left out (unknown code across the 2.2 boundary, empty file)

// Limits of field sizes.
constexpr uint32_t kMaxField22 = 16777215;      // 3-byte frame sizes
constexpr uint32_t kMaxCopiedField = 67108864;  // largest field copied from the source
constexpr uint32_t kMaxFieldData = 67108863;    // largest frame body written in 2.3 and 2.4
constexpr int64_t kMaxExternalFile = 67108861;  // an external file must be smaller
constexpr int64_t kMaxExtHeaderFile = 16777216; // an extended-header file must be smaller
constexpr size_t kMaxBuiltTextChars = 1048576;
constexpr size_t kMaxLoadedDescriptionChars = 2048;

// A message for the user: the caller shows it (kind and caption as the message
// windows take them) unless a silent script runs.
struct TagMessage {
  std::string text;
  int kind = 2;
  std::string caption;
};

// The warning of the encoders that names a file: reason, the file's name
// without its folder, and "Not saving the field.", caption "writing id3v2".
TagMessage FieldWarning(const std::string& reason, const std::string& path);

// What every encoder needs during one tag write. Frames are appended to `out`;
// `source` is the open source file that unchanged fields are copied from (a
// field whose tload names another file is read from that file).
// With tag.unsync, 2.4 frames are unsynchronised one by one (their sizes count
// the inserted bytes); 2.2 and 2.3 frames are appended plain, since those
// versions unsynchronise the whole tag body, which BuildId3v2TagBlock does.
struct FieldEncoder {
  Id3v2TagState& tag;
  InputFile& source;
  ByteWriter& out;
  // "Don't write ID3v2 fields without content and description".
  bool skipEmptyFields = false;
  std::function<void(const TagMessage&)> report;
  // Frames (and the extended header) written so far.
  uint32_t writtenFields = 0;
  std::vector<uint8_t> work;

  void warn(TagMessage message) const {
    if (report) report(message);
  }
};

// Copies an unchanged field from the source, rewriting its header for the
// target version and converting an attached picture across the 2.2 boundary.
int CopyId3v2Field(FieldEncoder& enc, const Id3v2Field& field);
// Builds a text field from its texts (tansi, tcont, tlan, enc). The cut texts
// are kept in the field.
int BuildTextField(FieldEncoder& enc, Id3v2Field& field);
// Builds a field around the external file named in tload.
int BuildFieldFromFile(FieldEncoder& enc, Id3v2Field& field);

// The extended header; `written` tells whether one was written (the tag header
// then gets flag 0x40).
int WriteExtHeaderFromFile(FieldEncoder& enc, const Id3v2Field& field, bool& written);
int CopyExtHeader(FieldEncoder& enc, const Id3v2Field& field, bool& written);

// The bytes of a text (UTF-8) in an encoding 0..3, terminated unless it ends in
// NUL already, unsynchronised when `unsync` is set. Without the encoding part
// in `parts`, or with an encoding above 3, ISO-8859-1 is used.
std::vector<uint8_t> EncodeFieldText(const std::string& text, uint8_t encoding, uint8_t parts,
                                     bool unsync);

// Unsynchronisation (ID3v2.4.0 6.1): a 0x00 is inserted after every 0xFF that
// is followed by 0x00 or a byte of 0xE0 or above, and after a 0xFF at the end.
// Returns the bytes unchanged when `unsync` is not set.
std::vector<uint8_t> UnsyncBytes(std::span<const uint8_t> bytes, bool unsync = true);

// A frame size: synchsafe for major 4 and above (bits above 28 lost), plain
// big-endian below. A 2.2 size is the last three bytes.
std::array<uint8_t, 4> EncodeId3v2Size(uint32_t size, unsigned major);

// The text of field bytes for display, with "\r\n" line breaks.
std::string FieldTextForView(std::span<const uint8_t> bytes, uint8_t encoding, uint8_t parts);

// --- The whole tag ---

struct Id3v2BlockOptions {
  bool skipEmptyFields = false;
  // The tag editor's option to leave out fields with an unknown encoding or a
  // missing language.
  bool dropErroneousFields = false;
  // Major version of the new-tag format option (2..4), used when the tag
  // claims a version outside 2..4.
  uint8_t newTagMajor = 3;
};

struct Id3v2BlockCallbacks {
  std::function<void(const TagMessage&)> report;
  // Lets the user interface process pending events every 256 fields; true
  // when the program is asked to close.
  std::function<bool()> processEvents;
};

enum class Id3v2BlockOutcome {
  kNoTag,    // nothing to write: no writable field, or no frame came out
  kWritten,  // bytes holds the whole tag
  kFailed,   // a frame could not be built; the file is written without a tag (result code 103)
  kClosed,   // a close request arrived while the fields were encoded
};

struct Id3v2Block {
  Id3v2BlockOutcome outcome = Id3v2BlockOutcome::kNoTag;
  std::vector<uint8_t> bytes;  // empty unless kWritten
  uint32_t fieldsWritten = 0;
};

constexpr uint8_t kTagWriteFailedCode = 103;

// Builds the tag for tag.tagversion (a major outside 2..4 is first replaced by
// options.newTagMajor): header, extended header, fields in table order,
// padding, and the 2.4 footer. An empty result means no tag.
Id3v2Block BuildId3v2TagBlock(Id3v2TagState& tag, InputFile& source, const Id3v2BlockOptions& options,
                              const Id3v2BlockCallbacks& callbacks);

}  // namespace quorvel
