#pragma once
// Filling an ID3v2 text field from a plain text file: guessing the file's
// encoding, decoding it, splitting off a content description, and choosing the
// encoding the field is written in (ISO-8859-1 or UTF-16 with byte-order mark).
// The confirmation dialog belongs to the user interface; it is reached through
// a callback.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "tags/id3v2_model.h"

namespace quorvel {

// Detection codes.
constexpr uint8_t kTextLatin1 = 0;
constexpr uint8_t kTextUtf16Bom = 1;
constexpr uint8_t kTextUtf16Be = 2;
constexpr uint8_t kTextUtf8 = 3;
constexpr uint8_t kTextUnknown = 4;
constexpr uint8_t kTextUtf16Le = 5;

// Encoding choices offered to the user, in this order.
constexpr int kChoiceLatin1 = 0;
constexpr int kChoiceUtf16Bom = 1;
constexpr int kChoiceUtf16Be = 2;
constexpr int kChoiceUtf8 = 3;
constexpr int kChoiceUtf16Le = 4;
constexpr int kChoiceAutodetect = 5;
constexpr int kEncodingChoiceCount = 6;

// Content-description choices.
constexpr int kDescriptionTyped = 0;
constexpr int kDescriptionFirstLine = 1;
constexpr int kDescriptionFirstZeroString = 2;

// At most this many bytes of a file are read.
constexpr size_t kTextFileReadLimit = 131080;
constexpr size_t kTextFileWarnSize = 65536;
constexpr size_t kDescriptionMaxChars = 1024;
constexpr size_t kTextMaxChars = 65536;
constexpr size_t kTextDisplayMaxChars = 1024;

struct EncodingDetection {
  uint8_t code = kTextLatin1;
  std::string reason;   // shown as the hint of the detection line
  std::string preview;  // the file decoded with the detected code
};

// Guesses the encoding of a text file's bytes.
EncodingDetection DetermineEncoding(std::span<const uint8_t> data);

// "ISO-8859-1 (Latin)", "UTF-16 with BOM", ... for detection codes 0..5.
const char* TextEncodingName(uint8_t code);
// The entries of the encoding choice: "ISO-8859-1 (Latin)" ... "Autodetect".
const char* EncodingChoiceName(int choice);
// The detection code a forced choice decodes with (choice 4 is code 5).
uint8_t EncodingChoiceCode(int choice);

// What the dialog shows for an encoding choice.
struct EncodingChoiceView {
  uint8_t code = kTextLatin1;
  std::string line;  // "detected: ..." or "Forced: ..."
  std::string hint;  // the reason text for a detection, empty when forced
  std::string preview;
};
EncodingChoiceView ApplyEncodingChoice(std::span<const uint8_t> data, int choice);

// Decodes a whole file as the given detection code: 0 ISO-8859-1, 1 UTF-16
// with byte-order mark (FE FF first selects big-endian, otherwise
// little-endian), 2 UTF-16 big-endian, 3 UTF-8, 5 UTF-16 little-endian; 4 is
// UTF-16 when the data starts with a byte-order mark and has an even length
// above 3, else ISO-8859-1. A leading byte-order mark is dropped. With
// stopAtNul the text ends before its first NUL character.
std::string DecodeTextFile(std::span<const uint8_t> data, uint8_t code, bool stopAtNul = true);

// Splits the decoded text at its first separator (a line break for
// kDescriptionFirstLine, a NUL for kDescriptionFirstZeroString): the
// description before it, the text after it without leading separators. No
// separator: empty description, whole text.
void SplitDescription(const std::string& decoded, int descriptionChoice, std::string& description,
                      std::string& text);

// --- Loading a field from a file ---

struct TextLoadMessage {
  std::string text;
  int kind = 0;
  std::string caption;
};

struct TextLoadDialogSetup {
  bool encodingEnabled = false;     // the field has an encoding byte
  bool languageEnabled = false;     // the field has a language
  bool descriptionEnabled = false;  // the field has a content description
  std::span<const uint8_t> data;    // the bytes read, for the preview
};

struct TextLoadDialogAnswer {
  int encodingChoice = kChoiceAutodetect;
  int descriptionChoice = kDescriptionTyped;
  std::string language = "eng";
  std::string description;
};

struct TextLoadCallbacks {
  std::function<void(const TextLoadMessage&)> report;
  // Shows the dialog; nullopt when the user cancelled.
  std::function<std::optional<TextLoadDialogAnswer>(const TextLoadDialogSetup&)> dialog;
};

enum class TextLoadResult {
  kLoaded,
  kOpenError,  // "Disk error reading the file." was reported; field unchanged
  kTooLarge,   // the 2 GiB refusal was reported; field unchanged
  kCancelled,  // the dialog was cancelled; field unchanged
};

extern const char* const kTextFileDiskError;
extern const char* const kTextFileTooLarge;
extern const char* const kTextFileEmptyInfo;
extern const char* const kTextFileLargeWarning;
extern const char* const kDescriptionTruncated;
extern const char* const kEncodingHelpText;

// Fills a text field from the file at path. dontWriteEmptyFields is the option
// "Don't write ID3v2 fields without content and description". Messages go to
// callbacks.report in the order they arise; the dialog is asked for fields
// with an encoding byte, language or description.
TextLoadResult LoadTextFieldFromFile(Id3v2Field& field, const std::string& path, bool dontWriteEmptyFields,
                                     const TextLoadCallbacks& callbacks);

}  // namespace quorvel
