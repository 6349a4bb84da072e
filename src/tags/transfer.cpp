#include "tags/transfer.h"

#include <cctype>

#include "tags/id3v1.h"
#include "tags/text_helpers.h"

namespace quorvel {

const char* const kTransferNoFieldsText = "You chose no fields to copy.";
const char* const kTransferNoFieldsLongText =
    "You chose no fields to copy.\r\n\r\nMake sure you have checked the \"show dialog box\" checkbox,\r\n"
    "and then set the options in the dialog appropriately.\r\n\r\nAlso note that saving state of these "
    "options can be disabled,\r\nand that you can perform one-time partial transfers.";
const char* const kCommentTruncatedText = "Truncated the comment field to 28 bytes.";
const char* const kTransferTrackHint =
    "note that if existing footer is ID3v1.0 with a full 30-byte comment,\r\nthen the track number "
    "information won't be transferred!";

namespace {

bool EqualIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size(); ++i) {
    if (b[i] == '\0') return false;
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return b[i] == '\0';
}

template <typename Fields>
bool NoFieldsChosen(uint32_t settings, TransferResult<Fields>& result) {
  if ((settings & kTransferFieldMask) != 0) return false;
  result.messages.push_back(
      {(settings & kTransferNoDialog) ? kTransferNoFieldsLongText : kTransferNoFieldsText, 2, "tag transfer"});
  return true;
}

}  // namespace

uint32_t EffectiveTransferSettings(uint32_t remembered) {
  return ((remembered & kTransferRemember) ? (remembered & 0xFFFF) : kTransferDefault) | kTransferNoDialog;
}

uint32_t TransferDialogStartSettings(uint32_t remembered) {
  return (remembered & kTransferRemember) ? (remembered & 0xFFFF) : kTransferDefault;
}

void RememberTransferSettings(uint32_t word, TransferDirection direction, uint32_t& rememberedV1ToV2,
                              uint32_t& rememberedV2ToV1) {
  if (!(word & kTransferRemember)) return;
  word &= 0xFFFF;
  const bool both = (word & kTransferBothWays) != 0;
  if (direction == TransferDirection::kV1ToV2 || both) rememberedV1ToV2 = word;
  if (direction == TransferDirection::kV2ToV1 || both) rememberedV2ToV1 = word;
}

const char* TransferDialogTitle(TransferDirection direction) {
  return direction == TransferDirection::kV1ToV2 ? "data transfer from ID3v1 to ID3v2"
                                                 : "data transfer from ID3v2 to ID3v1";
}

const char* TransferChangeDirectionQuestion(TransferDirection direction) {
  return direction == TransferDirection::kV1ToV2 ? "Do you want to copy from ID3v2 to ID3v1 instead?"
                                                 : "Do you want to copy from ID3v1 to ID3v2 instead?";
}

int GenreIndexFromText(const std::string& text) {
  const std::string name = CleanTrim(text);
  const auto& names = GenreNames();
  for (int i = 0; i < kGenreCount; ++i)
    if (EqualIgnoringCase(name, names[static_cast<size_t>(i)])) return i;
  // ID3v2 numeric references: "(17)" or "(17)Rock" (2.3), "17" (2.4).
  int n = -1;
  if (name.size() > 2 && name[0] == '(') {
    size_t close = name.find(')');
    if (close != std::string::npos) n = DecimalOrMinusOne(name.substr(1, close - 1));
  } else {
    n = DecimalOrMinusOne(name);
  }
  return n >= 0 && n < kGenreCount ? n : -1;
}

TransferResult<Id3v2EditorFields> TransferV1ToV2(const Id3v1EditorFields& src, const Id3v2EditorFields& target,
                                                 uint32_t settings) {
  TransferResult<Id3v2EditorFields> r;
  r.fields = target;
  if (NoFieldsChosen(settings, r)) return r;
  r.ran = true;
  const bool overwrite = (settings & kTransferOverwrite) != 0;
  Id3v2EditorFields& out = r.fields;

  auto plain = [&](uint32_t bit, const std::string& from, std::string& to) {
    if ((settings & bit) && (overwrite || to.empty()) && from != to) {
      to = from;
      r.changed |= bit;
    }
  };
  plain(kTransferTitle, src.title, out.title);
  plain(kTransferArtist, src.artist, out.artist);
  plain(kTransferAlbum, src.album, out.album);
  plain(kTransferComment, src.comment, out.comment);

  if ((settings & kTransferGenre) && (overwrite || out.genre.empty())) {
    std::string genre = src.genre >= 0 && src.genre < kGenreCount ? GenreText(src.genre) : std::string();
    if (genre != out.genre) {
      out.genre = genre;
      r.changed |= kTransferGenre;
    }
  }
  if ((settings & kTransferYear) && (overwrite || CleanTrim(out.year).empty())) {
    std::string year = CleanTrim(src.year);
    if (year != CleanTrim(out.year)) {
      out.year = year;
      r.changed |= kTransferYear;
    }
  }
  if ((settings & kTransferTrack) && (overwrite || CleanTrim(out.track).empty())) {
    int n = DecimalOrMinusOne(CleanTrim(src.track));
    std::string track = n >= 0 && n <= 255 ? std::to_string(n) : std::string();
    if (track != out.track) {
      out.track = track;
      r.changed |= kTransferTrack;
    }
  }
  return r;
}

TransferResult<Id3v1EditorFields> TransferV2ToV1(const Id3v2EditorFields& src, const Id3v1EditorFields& target,
                                                 uint32_t settings) {
  TransferResult<Id3v1EditorFields> r;
  r.fields = target;
  if (NoFieldsChosen(settings, r)) return r;
  r.ran = true;
  const bool overwrite = (settings & kTransferOverwrite) != 0;
  Id3v1EditorFields& out = r.fields;

  auto fitted = [&](uint32_t bit, const std::string& from, std::string& to) {
    if (!(settings & bit) || !(overwrite || to.empty())) return;
    std::string text = FitToBytes(from, 30);
    if (text != to) {
      to = text;
      r.changed |= bit;
    }
  };
  fitted(kTransferTitle, src.title, out.title);
  fitted(kTransferArtist, src.artist, out.artist);
  fitted(kTransferAlbum, src.album, out.album);

  if ((settings & kTransferGenre) && (overwrite || out.genre < 0)) {
    int genre = GenreIndexFromText(src.genre);
    if (genre >= 0 && genre != out.genre) {
      out.genre = genre;
      r.changed |= kTransferGenre;
    }
  }

  // "3/12" and the like are not a track number.
  const int n = DecimalOrMinusOne(RemoveSpaces(CleanTrim(src.track)));
  bool takeTrack = (settings & kTransferTrack) && n >= 0 && n <= 255 && (overwrite || TrimSpaces(out.track).empty());
  const bool takeComment = (settings & kTransferComment) && (overwrite || TrimSpaces(out.comment).empty());
  const std::string& standingComment = takeComment ? src.comment : out.comment;
  if (out.version11 && standingComment.size() > 28) takeTrack = false;

  if (takeComment) {
    std::string comment = src.comment;
    if (CharacterCount(comment) > 30) {
      comment = TrimSpaces(comment);
      if (CharacterCount(comment) > 30) comment = FirstCharacters(comment, 30);
    }
    const size_t room = out.version11 ? 28 : 30;
    while (comment.size() > room) DropLastCharacter(comment);
    if (comment != out.comment) {
      out.comment = comment;
      r.changed |= kTransferComment;
    }
  }

  if ((settings & kTransferYear) && (overwrite || TrimSpaces(out.year).empty())) {
    std::string year = FitToBytes(CleanTrim(src.year), 4);
    if (year != out.year) {
      out.year = year;
      r.changed |= kTransferYear;
    }
  }

  if (takeTrack) {
    std::string track = std::to_string(n);
    if (track != out.track) {
      out.track = track;
      r.changed |= kTransferTrack;
    }
    if (!out.version11) {
      // A 1.1 comment has 28 bytes; the switch cuts a longer one.
      out.version11 = true;
      r.versionChanged = true;
      if (out.comment.size() > 28) {
        while (out.comment.size() > 28) DropLastCharacter(out.comment);
        r.changed |= kTransferComment;
        r.messages.push_back({kCommentTruncatedText, 0, "version upgrade"});
      }
    }
  }
  return r;
}

}  // namespace quorvel
