#pragma once
// Small text helpers shared by the tag code. Texts are UTF-8 std::strings; a
// "character" is one Unicode code point.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvel {

// Removes spaces and zero characters from the end, then from the start.
std::string TrimSpaces(std::string_view text);
// Removes every character up to and including the space (control characters
// and spaces) from both ends, then applies TrimSpaces.
std::string CleanTrim(std::string_view text);
// Removes every space and zero character.
std::string RemoveSpaces(std::string_view text);
// Removes spaces and zero characters from the end only.
std::string TrimTrailingSpaces(std::string_view text);
// A decimal number of digits only, -1 for anything else (also for an empty
// text or one too long to matter).
int DecimalOrMinusOne(std::string_view text);
// Makes a text fit a field of width bytes without cutting a character: a text
// of more than width characters is first trimmed of spaces; then its last
// character is dropped while its UTF-8 form is longer than width bytes.
std::string FitToBytes(std::string_view text, size_t width);

// --- UTF-8 and UTF-16 ---

// Appends the UTF-8 form of a code point (an invalid one becomes U+FFFD).
void AppendUtf8(std::string& out, char32_t c);
// Decodes bytes as UTF-8. Well-formed sequences give their code points; any
// byte that does not start a well-formed sequence (legacy single-byte text,
// overlong forms, surrogates, a cut sequence) is taken as the ISO-8859-1
// character of the same value, so the result is always valid UTF-8.
std::u32string DecodeUtf8(std::span<const uint8_t> bytes);
std::u32string DecodeUtf8(std::string_view text);
std::string EncodeUtf8(std::u32string_view text);
// Length in bytes of the well-formed UTF-8 sequence starting at bytes[0], or 0
// when bytes does not start with one.
size_t Utf8SequenceLength(std::span<const uint8_t> bytes);
// Number of characters of a UTF-8 text (bytes outside well-formed sequences
// count one each).
size_t CharacterCount(std::string_view text);
// Drops the last character (never half of one).
void DropLastCharacter(std::string& text);
// The first count characters of a text.
std::string FirstCharacters(std::string_view text, size_t count);
// Ensures valid UTF-8 (see DecodeUtf8).
std::string ToValidUtf8(std::string_view text);
// A URL or IRI as URI text: every character outside ASCII becomes the
// percent-encoded bytes of its UTF-8 form (RFC 3987, section 3.1); ASCII,
// existing %xx escapes included, stays as it is.
std::string PercentEncodeNonAscii(std::string_view text);

// Decodes UTF-16 code units in the given byte order; surrogate pairs are
// combined and an unpaired surrogate becomes U+FFFD. An odd last byte is taken
// as the first byte of a unit whose other byte is 0.
std::u32string DecodeUtf16(std::span<const uint8_t> bytes, bool bigEndian);

}  // namespace quorvel
