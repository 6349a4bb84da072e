#include "tags/text_encoding.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

#include "tags/file_io.h"
#include "tags/message_kind.h"
#include "tags/text_helpers.h"

namespace quorvel {

const char* const kTextFileDiskError = "Disk error reading the file.";
const char* const kTextFileTooLarge = "File too large to process.\r\nPlease load files up to 2G in size.";
const char* const kTextFileEmptyInfo =
    "You just loaded an empty file. If you want this to have effect (ie create the field),\r\n"
    "you should uncheck \"Don't write id3v2 fields without content and description\" option.";
const char* const kTextFileLargeWarning =
    "The file is larger than 64K.\r\nNote that maximum 64K characters will be processed.";
const char* const kDescriptionTruncated = "Description longer than 1 KB, truncated.";
const char* const kEncodingHelpText =
    "Choose the input file encoding.\r\n\r\nUse this field to ensure the file is interpreted properly.\r\n"
    "The way its conents are copied to the tag depends on tag version\r\nand field type, so the target "
    "encoding may differ. Quorvel\r\nforces either ISO-8859-1 (Latin) or UTF-16 Unicode, for\r\n"
    "compatibility reasons, when writing the target file.";

namespace {

constexpr int64_t kTwoGiB = int64_t{1} << 31;

bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// The loose UTF-8 test: complete 2-, 3- and 4-byte sequences are counted; other
// high bytes are passed over, and a lead byte too near the end is not tested.
// Fails only when a lead byte is followed by a byte that is not a continuation.
bool LooksLikeUtf8(std::span<const uint8_t> d, size_t& characters) {
  characters = 0;
  const size_t last = d.size() - 1;
  size_t i = 0;
  while (i < last) {
    const uint8_t b = d[i];
    size_t follow = 0;
    if (b < 0x80) {
      ++i;
      continue;
    }
    if ((b & 0xE0) == 0xC0) {
      follow = 1;
    } else if ((b & 0xF0) == 0xE0 && i + 1 < last) {
      follow = 2;
    } else if ((b & 0xF8) == 0xF0 && i + 2 < last) {
      follow = 3;
    } else {
      ++i;
      continue;
    }
    for (size_t k = 1; k <= follow; ++k)
      if (!IsContinuation(d[i + k])) return false;
    ++characters;
    i += follow + 1;
  }
  return true;
}

std::u32string DecodeCodePoints(std::span<const uint8_t> d, uint8_t code) {
  if (d.empty()) return {};
  if (code == kTextUnknown) {
    const bool marked = d.size() > 3 && d.size() % 2 == 0 &&
                        ((d[0] == 0xFF && d[1] == 0xFE) || (d[0] == 0xFE && d[1] == 0xFF));
    code = marked ? kTextUtf16Bom : kTextLatin1;
  }
  std::u32string text;
  switch (code) {
    case kTextUtf16Bom:
      text = DecodeUtf16(d, d[0] == 0xFE);
      break;
    case kTextUtf16Be:
      text = DecodeUtf16(d, true);
      break;
    case kTextUtf16Le:
      text = DecodeUtf16(d, false);
      break;
    case kTextUtf8:
      text = DecodeUtf8(d);
      break;
    default:
      text.assign(d.begin(), d.end());
      return text;
  }
  if (!text.empty() && (text[0] == 0xFEFF || text[0] == 0xFFFE)) text.erase(0, 1);
  return text;
}

std::string AsciiLower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool HasCharacterAbove255(std::string_view text) {
  for (char32_t c : DecodeUtf8(text))
    if (c > 255) return true;
  return false;
}

}  // namespace

const char* TextEncodingName(uint8_t code) {
  switch (code) {
    case kTextLatin1: return "ISO-8859-1 (Latin)";
    case kTextUtf16Bom: return "UTF-16 with BOM";
    case kTextUtf16Be: return "UTF-16BE";
    case kTextUtf8: return "UTF-8";
    case kTextUtf16Le: return "UTF-16LE";
    default: return "unknown";
  }
}

const char* EncodingChoiceName(int choice) {
  static constexpr const char* kNames[kEncodingChoiceCount] = {
      "ISO-8859-1 (Latin)", "UTF-16 with BOM", "UTF-16-BE", "UTF-8", "UTF-16-LE", "Autodetect"};
  return choice >= 0 && choice < kEncodingChoiceCount ? kNames[choice] : kNames[kChoiceAutodetect];
}

uint8_t EncodingChoiceCode(int choice) {
  switch (choice) {
    case kChoiceUtf16Bom: return kTextUtf16Bom;
    case kChoiceUtf16Be: return kTextUtf16Be;
    case kChoiceUtf8: return kTextUtf8;
    case kChoiceUtf16Le: return kTextUtf16Le;
    default: return kTextLatin1;
  }
}

EncodingDetection DetermineEncoding(std::span<const uint8_t> d) {
  EncodingDetection r;
  const size_t n = d.size();
  if (n == 0) {
    r.code = kTextLatin1;
    r.reason = "zero length text";
    return r;
  }
  if (n >= 3 && d[0] == 0xEF && d[1] == 0xBB && d[2] == 0xBF) {
    r.code = kTextUtf8;
    r.reason = "utf-8 BOM present";
  } else if (n >= 2 && d[0] == 0xFE && d[1] == 0xFF) {
    r.code = kTextUtf16Bom;
    r.reason = "utf-16 BOM present\r\nit indicates BE order";
  } else if (n >= 2 && d[0] == 0xFF && d[1] == 0xFE) {
    r.code = kTextUtf16Bom;
    r.reason = "utf-16 BOM present\r\nit indicates LE order";
  } else if (std::none_of(d.begin(), d.end(), [](uint8_t b) { return b >= 0x80; })) {
    r.code = kTextLatin1;
  } else if (size_t chars = 0; LooksLikeUtf8(d, chars)) {
    r.code = kTextUtf8;
    r.reason = std::to_string(chars) + " valid non-latin utf-8 characters detected";
  } else if (n % 2 == 1) {
    r.code = kTextLatin1;
    r.reason = "not a valid utf-8\r\nodd file length in bytes";
  } else {
    size_t be = 0, le = 0;
    for (size_t i = 0; i + 1 < n; i += 2) {
      if (d[i] < d[i + 1]) ++be;
      else if (d[i] > d[i + 1]) ++le;
    }
    if (be > le) {
      r.code = kTextUtf16Be;
      r.reason = "not a valid utf-8\r\neven file length in bytes\r\nmore BE than LE sequences";
    } else if (le > be) {
      r.code = kTextUtf16Le;
      r.reason = "not a valid utf-8\r\neven file length in bytes\r\nmore LE than BE sequences";
    } else {
      r.code = kTextLatin1;
      r.reason = "can't determine the encoding\r\nsetting to default ANSI";
    }
  }
  r.preview = DecodeTextFile(d, r.code);
  return r;
}

EncodingChoiceView ApplyEncodingChoice(std::span<const uint8_t> data, int choice) {
  EncodingChoiceView v;
  if (choice >= 0 && choice < kChoiceAutodetect) {
    static constexpr const char* kForced[kChoiceAutodetect] = {
        "Forced: ISO-88590-1 (Latin)", "Forced: UTF-16 with BOM", "Forced: UTF-16-BE (big-endian)",
        "Forced: UTF-8", "Forced: UTF-16-LE (little-endian)"};
    v.code = EncodingChoiceCode(choice);
    v.line = kForced[choice];
    v.preview = DecodeTextFile(data, v.code);
    return v;
  }
  EncodingDetection det = DetermineEncoding(data);
  v.code = det.code;
  v.line = std::string("detected: ") + TextEncodingName(det.code);
  v.hint = std::move(det.reason);
  v.preview = std::move(det.preview);
  return v;
}

std::string DecodeTextFile(std::span<const uint8_t> data, uint8_t code, bool stopAtNul) {
  std::u32string text = DecodeCodePoints(data, code);
  if (stopAtNul) {
    size_t nul = text.find(U'\0');
    if (nul != std::u32string::npos) text.resize(nul);
  }
  return EncodeUtf8(text);
}

void SplitDescription(const std::string& decoded, int descriptionChoice, std::string& description,
                      std::string& text) {
  description.clear();
  text = decoded;
  std::string_view separators;
  if (descriptionChoice == kDescriptionFirstLine) {
    separators = std::string_view("\r\n", 2);
  } else if (descriptionChoice == kDescriptionFirstZeroString) {
    separators = std::string_view("\0", 1);
  } else {
    return;
  }
  size_t cut = decoded.find_first_of(separators);
  if (cut == std::string::npos) return;
  description = decoded.substr(0, cut);
  size_t rest = decoded.find_first_not_of(separators, cut);
  text = rest == std::string::npos ? std::string() : decoded.substr(rest);
}

TextLoadResult LoadTextFieldFromFile(Id3v2Field& field, const std::string& path, bool dontWriteEmptyFields,
                                     const TextLoadCallbacks& callbacks) {
  auto report = [&](const char* text, int kind, const char* caption) {
    if (callbacks.report) callbacks.report(TextLoadMessage{text, kind, caption});
  };

  InputFile file;
  if (!file.open(path)) {
    report(kTextFileDiskError, kModalWarning, "error");
    return TextLoadResult::kOpenError;
  }
  const int64_t size = file.size();
  if (size >= kTwoGiB) {
    report(kTextFileTooLarge, kModalWarning, "error");
    return TextLoadResult::kTooLarge;
  }
  if (size == 0 && dontWriteEmptyFields && field.tcont.empty()) report(kTextFileEmptyInfo, kMsgInfo, "info");
  if (static_cast<uint64_t>(size) > kTextFileWarnSize) report(kTextFileLargeWarning, kModalWarning, "warning");

  const Id3v2Field saved = field;
  // The buffer keeps zeros after the data so that a terminator always follows.
  std::vector<uint8_t> buffer(kTextFileReadLimit + 8, 0);
  const int64_t got = file.readSome(0, buffer.data(), std::min<size_t>(kTextFileReadLimit, static_cast<size_t>(size)));
  file.close();
  if (got < 0) {
    report(kTextFileDiskError, kModalWarning, "error");
    return TextLoadResult::kOpenError;
  }
  const auto data = std::span<const uint8_t>(buffer.data(), static_cast<size_t>(got));

  field.tload = path;
  field.akcija = static_cast<uint8_t>((field.akcija & kFieldAdded) | kFieldEdited);
  field.enc = 0;
  field.tlan.clear();
  field.tcont.clear();

  const uint8_t parts = field.sub;
  std::string text;
  std::string description;
  if ((parts & (kPartEncoding | kPartLanguage | kPartDescription)) == 0) {
    text = DecodeTextFile(data, kTextLatin1);
  } else {
    TextLoadDialogSetup setup;
    setup.encodingEnabled = (parts & kPartEncoding) != 0;
    setup.languageEnabled = (parts & kPartLanguage) != 0;
    setup.descriptionEnabled = (parts & kPartDescription) != 0;
    setup.data = data;
    std::optional<TextLoadDialogAnswer> answer;
    if (callbacks.dialog) answer = callbacks.dialog(setup);
    if (!answer) {
      field = saved;
      return TextLoadResult::kCancelled;
    }
    const uint8_t code = ApplyEncodingChoice(data, answer->encodingChoice).code;
    if (setup.languageEnabled) field.tlan = FirstCharacters(AsciiLower(answer->language), 3);
    if (setup.descriptionEnabled) description = ToValidUtf8(answer->description);
    const int choice = setup.descriptionEnabled ? answer->descriptionChoice : kDescriptionTyped;
    if (choice == kDescriptionFirstLine) {
      SplitDescription(DecodeTextFile(data, code), choice, description, text);
    } else if (choice == kDescriptionFirstZeroString) {
      // Decoded past the first NUL, so that the string before it can become
      // the description; the text then ends at its own next NUL.
      SplitDescription(DecodeTextFile(data, code, false), choice, description, text);
      size_t nul = text.find('\0');
      if (nul != std::string::npos) text.resize(nul);
    } else {
      text = DecodeTextFile(data, code);
    }
  }

  if (CharacterCount(description) > kDescriptionMaxChars) {
    description = FirstCharacters(description, kDescriptionMaxChars);
    report(kDescriptionTruncated, 2, "info");
  }
  if (CharacterCount(text) > kTextMaxChars) text = FirstCharacters(text, kTextMaxChars);
  field.tansi = text;
  if (parts & kPartDescription) field.tcont = description;
  field.enc = HasCharacterAbove255(description) || HasCharacterAbove255(text) ? 1 : 0;
  field.err = CharacterCount(text) > kTextDisplayMaxChars ? kErrTooLarge : 0;
  return TextLoadResult::kLoaded;
}

}  // namespace quorvel
