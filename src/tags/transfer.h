#pragma once
// Copying the common fields between the ID3v1 and the ID3v2 editor. The
// transfer works on the editors' field texts; nothing reaches a tag until the
// target editor is accepted.

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

// The transfer settings word.
constexpr uint32_t kTransferTitle = 0x001;
constexpr uint32_t kTransferArtist = 0x002;
constexpr uint32_t kTransferAlbum = 0x004;
constexpr uint32_t kTransferGenre = 0x008;
constexpr uint32_t kTransferComment = 0x010;
constexpr uint32_t kTransferYear = 0x020;
constexpr uint32_t kTransferTrack = 0x040;
constexpr uint32_t kTransferFieldMask = 0x07F;
constexpr uint32_t kTransferBothWays = 0x080;   // same settings for the opposite direction
constexpr uint32_t kTransferOverwrite = 0x100;  // clear: only into blank target fields
constexpr uint32_t kTransferRemember = 0x200;
constexpr uint32_t kTransferNoDialog = 0x10000;  // added when the transfer ran without the dialog
constexpr uint32_t kTransferDefault = 383;       // all seven fields, overwrite, not remembered

enum class TransferDirection { kV1ToV2, kV2ToV1 };

// The word a transfer started without the dialog runs with.
uint32_t EffectiveTransferSettings(uint32_t remembered);
// The working word the dialog opens with.
uint32_t TransferDialogStartSettings(uint32_t remembered);
// The dialog's OK: a word with kTransferRemember becomes the remembered word of
// its direction, and of the opposite one too with kTransferBothWays.
void RememberTransferSettings(uint32_t word, TransferDirection direction, uint32_t& rememberedV1ToV2,
                              uint32_t& rememberedV2ToV1);
// The dialog's title and its change-direction question.
const char* TransferDialogTitle(TransferDirection direction);
const char* TransferChangeDirectionQuestion(TransferDirection direction);
extern const char* const kTransferTrackHint;

// The ID3v1 editor's fields as texts; genre -1 when nothing is selected.
struct Id3v1EditorFields {
  std::string title, artist, album, comment, year, track;
  int genre = -1;
  bool version11 = false;
  bool operator==(const Id3v1EditorFields&) const = default;
};

// The ID3v2 editor's fields as texts.
struct Id3v2EditorFields {
  std::string title, artist, album, comment, year, track, genre;
  bool operator==(const Id3v2EditorFields&) const = default;
};

struct TransferMessage {
  std::string text;
  int kind = 0;
  std::string caption;
};

template <typename Fields>
struct TransferResult {
  bool ran = false;           // false when no field was chosen
  Fields fields;              // the target editor's new fields
  uint32_t changed = 0;       // settings bits of the fields written (to highlight)
  bool versionChanged = false;  // the ID3v1 editor was switched to 1.1
  std::vector<TransferMessage> messages;
};

extern const char* const kTransferNoFieldsText;
extern const char* const kTransferNoFieldsLongText;
extern const char* const kCommentTruncatedText;

TransferResult<Id3v2EditorFields> TransferV1ToV2(const Id3v1EditorFields& source, const Id3v2EditorFields& target,
                                                 uint32_t settings);
TransferResult<Id3v1EditorFields> TransferV2ToV1(const Id3v2EditorFields& source, const Id3v1EditorFields& target,
                                                 uint32_t settings);

// The genre index an ID3v2 genre text names, or -1: a name of the genre list,
// compared without regard to case after trimming, or else one of the ID3v2
// numeric references "(17)", "(17)Rock" or "17".
int GenreIndexFromText(const std::string& text);

}  // namespace quorvel
