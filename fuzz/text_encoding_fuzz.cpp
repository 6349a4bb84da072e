// Feeds arbitrary bytes to the text file encoding detection and decoding, the
// description split and the tag transfer rules.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "tags/text_encoding.h"
#include "tags/text_helpers.h"
#include "tags/transfer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvel;
  const std::span<const uint8_t> bytes(data, size);

  EncodingDetection d = DetermineEncoding(bytes);
  if (d.code == kTextUnknown || d.code > kTextUtf16Le) std::abort();
  if (ToValidUtf8(d.preview) != d.preview) std::abort();
  for (int choice = 0; choice < kEncodingChoiceCount; ++choice) (void)ApplyEncodingChoice(bytes, choice);
  for (uint8_t code = 0; code <= kTextUtf16Le; ++code) {
    std::string whole = DecodeTextFile(bytes, code, false);
    if (ToValidUtf8(whole) != whole) std::abort();
    std::string description, text;
    SplitDescription(whole, kDescriptionFirstLine, description, text);
    SplitDescription(whole, kDescriptionFirstZeroString, description, text);
  }

  // The input as field texts of both editors, split at zero bytes.
  std::string parts[8];
  size_t k = 0;
  for (size_t i = 0; i < size && k < 8; ++i) {
    if (data[i] == 0) ++k;
    else parts[k].push_back(static_cast<char>(data[i]));
  }
  const uint32_t settings = size >= 2 ? (data[0] | (data[1] << 8)) : kTransferDefault;
  Id3v1EditorFields v1{parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], size ? data[size - 1] % 151 - 1 : -1,
                       (settings & 0x8000) != 0};
  Id3v2EditorFields v2{parts[1], parts[2], parts[3], parts[4], parts[5], parts[6], parts[7]};
  auto a = TransferV1ToV2(v1, v2, settings);
  auto b = TransferV2ToV1(v2, v1, settings);
  if ((b.changed & kTransferTitle) && b.fields.title.size() > 30) std::abort();
  if ((b.changed & kTransferYear) && b.fields.year.size() > 4) std::abort();
  if ((b.changed & kTransferComment) && b.fields.comment.size() > (b.fields.version11 ? 28u : 30u)) std::abort();
  (void)a;
  (void)FitToBytes(parts[0], size % 40);
  (void)CleanTrim(parts[0]);
  return 0;
}
