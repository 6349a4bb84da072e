#include "tags/id3v1_editor.h"

#include <algorithm>
#include <span>

#include "tags/message_kind.h"
#include "tags/text_helpers.h"

namespace quorvel {

const char* const kId3v1EditorCaption = " ID3v1 (footer) tag editor";
const char* const kId3v1EmptyGenreItem = "- EMPTY -";
const char* const kId3v1NonAsciiQuestion =
    "There are non-English-alphabet letters in the text fields.\r\nID3v1 doesn't support unicode. You may "
    "still use it in Quorvel,but such information may be unreadable by other applications.\r\n\r\nPress OK "
    "to save as UTF-8 or Cancel to go back.";
const char* const kId3v1NoOriginalTrackText = "No track in id3v1.0 original tag.";
const char* const kId3v1RevertCommentQuestion =
    "Original comment field contains more than 28 bytes.\r\nDo you want to revert to id3v1.0 version which "
    "supports 30\r\nbytes but no track number? (NO discards extra characters)";

namespace {

constexpr int kVersionByte = 122;
constexpr int kTrackLimit = 3;  // characters of the track box
constexpr int kYearWidth = 4;
constexpr int kTextWidth = 30;
constexpr int kCommentWidth11 = 28;

std::span<uint8_t> CommentBytes(Id3v1Tag& tag, size_t width) {
  return std::span<uint8_t>(tag.bytes).subspan(kId3v1CommentOffset, width);
}

// A text as a box of `width` bytes holds it: cut at its first zero character,
// then its last character dropped while the UTF-8 form is too long.
std::string FitBox(std::string text, size_t width) {
  text = text.substr(0, text.find('\0'));
  while (text.size() > width) DropLastCharacter(text);
  return text;
}

bool HasNonAscii(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 127; });
}

Id3v1Field RecordField(Id3v1EditorField field) {
  switch (field) {
    case Id3v1EditorField::kTitle: return Id3v1Field::kTitle;
    case Id3v1EditorField::kArtist: return Id3v1Field::kArtist;
    case Id3v1EditorField::kAlbum: return Id3v1Field::kAlbum;
    case Id3v1EditorField::kYear: return Id3v1Field::kYear;
    default: return Id3v1Field::kComment;
  }
}

int GenreOf(const Id3v1Tag& tag) {
  int genre = tag.bytes[kId3v1GenreOffset];
  return genre < kGenreCount ? genre : -1;
}

}  // namespace

std::pair<std::string, std::string> SplitArtistTitle(const std::string& text) {
  if (text.size() < 3) return {"", text};
  auto split = [&](size_t at, size_t length) {
    return std::pair<std::string, std::string>{text.substr(0, at), text.substr(at + length)};
  };
  if (size_t at = text.find(" - "); at != std::string::npos) return split(at, 3);
  // The shorter separators count only inside the text: not at its first
  // character and not ending at its last.
  for (const char* separator : {" -", "- ", "-"}) {
    size_t length = std::char_traits<char>::length(separator);
    for (size_t at = text.find(separator, 1); at != std::string::npos; at = text.find(separator, at + 1)) {
      if (at + length < text.size()) return split(at, length);
    }
  }
  return {"", text};
}

const char* Id3v1FieldCaption(Id3v1EditorField field) {
  switch (field) {
    case Id3v1EditorField::kTitle: return "&Title:";
    case Id3v1EditorField::kArtist: return "Art&ist:";
    case Id3v1EditorField::kAlbum: return "Al&bum:";
    case Id3v1EditorField::kComment: return "&Comment:";
    case Id3v1EditorField::kYear: return "&Year:";
    case Id3v1EditorField::kTrack: return "Tr&ack:";
    case Id3v1EditorField::kGenre: return "&Genre:";
  }
  return "";
}

const char* Id3v1FieldName(Id3v1EditorField field) {
  switch (field) {
    case Id3v1EditorField::kTitle: return "Title";
    case Id3v1EditorField::kArtist: return "Artist";
    case Id3v1EditorField::kAlbum: return "Album";
    case Id3v1EditorField::kComment: return "Comment";
    case Id3v1EditorField::kYear: return "Year";
    case Id3v1EditorField::kTrack: return "Track";
    case Id3v1EditorField::kGenre: return "Genre";
  }
  return "";
}

Id3v1Editor::Id3v1Editor(Id3v1State& state, Message message, Ask ask)
    : state_(&state), message_(std::move(message)), ask_(std::move(ask)) {}

void Id3v1Editor::Fill(bool fileHadTag) {
  // Filling shows the record and never changes it: a record read from a file
  // keeps its bytes until a field is edited.
  backup_ = state_->record;
  fileHadTag_ = fileHadTag;
  const Id3v1Tag& tag = state_->record;
  fields_ = {};
  fields_.title = ReadTextField(tag, Id3v1Field::kTitle, kTextWidth);
  fields_.artist = ReadTextField(tag, Id3v1Field::kArtist, kTextWidth);
  fields_.album = ReadTextField(tag, Id3v1Field::kAlbum, kTextWidth);
  fields_.comment = ReadTextField(tag, Id3v1Field::kComment, kTextWidth);
  fields_.year = ReadTextField(tag, Id3v1Field::kYear, kYearWidth);
  nonAsciiAtLoad_ = HasNonAscii(fields_.title) || HasNonAscii(fields_.artist) || HasNonAscii(fields_.album) ||
                    HasNonAscii(fields_.comment) || HasNonAscii(fields_.year);
  fields_.genre = GenreOf(tag);
  fields_.version11 = IsId3v11(tag);
  trackValue_ = Id3v1Track(tag);
  trackError_ = false;
  fields_.track = fields_.version11 ? std::to_string(trackValue_) : "";
}

std::string Id3v1Editor::SetText(Id3v1EditorField field, const std::string& text) {
  Id3v1Tag& tag = state_->record;
  switch (field) {
    case Id3v1EditorField::kTitle:
    case Id3v1EditorField::kArtist:
    case Id3v1EditorField::kAlbum: {
      std::string shown = FitBox(text, kTextWidth);
      StoreTextField(shown, tag, RecordField(field), kTextWidth);
      (field == Id3v1EditorField::kTitle    ? fields_.title
       : field == Id3v1EditorField::kArtist ? fields_.artist
                                            : fields_.album) = shown;
      return shown;
    }
    case Id3v1EditorField::kYear:
      fields_.year = FitBox(text, kYearWidth);
      StoreTextField(TrimTrailingSpaces(fields_.year), tag, Id3v1Field::kYear, kYearWidth);
      return fields_.year;
    case Id3v1EditorField::kComment:
      fields_.comment = FitBox(text, commentLimit());
      if (fields_.version11) {
        SetOptional(false);
      } else {
        StoreTextField(fields_.comment, CommentBytes(tag, kTextWidth), kTextWidth);
      }
      return fields_.comment;
    case Id3v1EditorField::kTrack:
      StoreTrack(FirstCharacters(text, kTrackLimit));
      return fields_.track;
    case Id3v1EditorField::kGenre:
      break;
  }
  return text;
}

void Id3v1Editor::StoreTrack(const std::string& text) {
  fields_.track = text;
  int n = DecimalOrMinusOne(TrimSpaces(text));
  trackError_ = n < 0 || n > 255;
  if (trackError_) n = 0;
  size_t commentBytes = fields_.comment.size();
  if (SetOptional(false)) {
    fields_.comment = ReadTextField(CommentBytes(state_->record, kCommentWidth11), kCommentWidth11);
    if (fields_.comment.size() != commentBytes) message_(kCommentTruncatedText, kMsgInfo, "version upgrade");
  }
  trackValue_ = n;
}

void Id3v1Editor::SetGenre(int index) {
  fields_.genre = index >= 0 && index < kGenreCount ? index : -1;
  state_->record.bytes[kId3v1GenreOffset] = fields_.genre >= 0 ? static_cast<uint8_t>(fields_.genre) : kNoGenre;
}

void Id3v1Editor::SetVersion(bool version11) {
  if (fields_.version11 == version11) return;
  fields_.version11 = version11;
  VersionChange();
}

void Id3v1Editor::VersionChange() {
  if (!fields_.version11) {
    // Back to 1.0: the track goes and the comment has its 30 bytes again. The
    // record follows at once, so that it never holds a track the box no
    // longer shows.
    fields_.track.clear();
    trackError_ = false;
    StoreTextField(fields_.comment, CommentBytes(state_->record, kTextWidth), kTextWidth);
    return;
  }
  fields_.track = trackValue_ != 0 ? std::to_string(trackValue_) : "";
  if (fields_.comment.size() >= kCommentWidth11 + 1 && trackValue_ != 0) {
    message_(kCommentTruncatedText, kMsgInfo, "version upgrade");
    while (fields_.comment.size() > static_cast<size_t>(kCommentWidth11)) DropLastCharacter(fields_.comment);
  }
  SetOptional(false);
}

bool Id3v1Editor::SetOptional(bool forceValid) {
  int n = DecimalOrMinusOne(TrimSpaces(fields_.track));
  bool valid = n >= 0 && n <= 255;
  if (!valid && forceValid) {
    valid = true;
    n = 0;
  }
  Id3v1Tag& tag = state_->record;
  if (valid) {
    StoreTextField(TrimTrailingSpaces(fields_.comment), CommentBytes(tag, kCommentWidth11), kCommentWidth11);
    tag.bytes[kVersionByte] = 0;
    tag.bytes[kId3v1TrackOffset] = static_cast<uint8_t>(n);
  } else {
    StoreTextField(fields_.comment, CommentBytes(tag, kTextWidth), kTextWidth);
  }
  return valid;
}

bool Id3v1Editor::Accept() {
  bool nonAscii = HasNonAscii(fields_.title) || HasNonAscii(fields_.artist) || HasNonAscii(fields_.album) ||
                  HasNonAscii(fields_.comment) || HasNonAscii(fields_.year);
  if (nonAscii && !nonAsciiAtLoad_ &&
      ask_(kId3v1NonAsciiQuestion, kMsgWarning | kMsgOkCancel | kMsgModal, "Warning") != kAnswerYes) {
    return false;
  }
  if (fields_.version11) {
    SetOptional(true);
  } else if (state_->record.bytes[kVersionByte] == 0) {
    state_->record.bytes[kId3v1TrackOffset] = 0;
  }
  return true;
}

void Id3v1Editor::Cancel() { state_->record = backup_; }

std::string Id3v1Editor::OriginalText(Id3v1EditorField field, bool commentAs28) const {
  const Id3v1Tag& loaded = state_->loaded;
  switch (field) {
    case Id3v1EditorField::kTitle:
    case Id3v1EditorField::kArtist:
    case Id3v1EditorField::kAlbum: return ReadTextField(loaded, RecordField(field), kTextWidth);
    case Id3v1EditorField::kYear: return ReadTextField(loaded, Id3v1Field::kYear, kYearWidth);
    case Id3v1EditorField::kComment:
      return ReadTextField(loaded, Id3v1Field::kComment, commentAs28 ? kCommentWidth11 : kTextWidth);
    case Id3v1EditorField::kTrack: return IsId3v11(loaded) ? std::to_string(Id3v1Track(loaded)) : "";
    case Id3v1EditorField::kGenre: return GenreText(loaded.bytes[kId3v1GenreOffset]);
  }
  return "";
}

void Id3v1Editor::ViewOriginal(Id3v1EditorField field) const {
  if (!fileHadTag_) return;
  if (field == Id3v1EditorField::kTrack && state_->loaded.bytes[kVersionByte] != 0) {
    message_(kId3v1NoOriginalTrackText, kMsgInfo, "empty field");
    return;
  }
  std::string text = field == Id3v1EditorField::kTrack ? std::to_string(state_->loaded.bytes[kId3v1TrackOffset])
                                                        : OriginalText(field, fields_.version11);
  message_(text, kMsgInfo, Id3v1FieldName(field));
}

bool Id3v1Editor::CanReloadOriginal(Id3v1EditorField field) const {
  if (!fileHadTag_) return false;
  switch (field) {
    case Id3v1EditorField::kTitle: return fields_.title != OriginalText(field, false);
    case Id3v1EditorField::kArtist: return fields_.artist != OriginalText(field, false);
    case Id3v1EditorField::kAlbum: return fields_.album != OriginalText(field, false);
    case Id3v1EditorField::kYear: return fields_.year != OriginalText(field, false);
    case Id3v1EditorField::kComment: return fields_.comment != OriginalText(field, fields_.version11);
    case Id3v1EditorField::kTrack: return fields_.track != OriginalText(field, false);
    case Id3v1EditorField::kGenre: return fields_.genre != GenreOf(state_->loaded);
  }
  return false;
}

void Id3v1Editor::ReloadOriginal(Id3v1EditorField field) {
  if (!CanReloadOriginal(field)) return;
  if (field == Id3v1EditorField::kGenre) {
    SetGenre(GenreOf(state_->loaded));
    return;
  }
  if (field != Id3v1EditorField::kComment || !fields_.version11 || state_->loaded.bytes[kVersionByte] == 0) {
    SetText(field, OriginalText(field, fields_.version11));
    return;
  }
  // The loaded comment has 30 bytes and the editor is at 1.1.
  if (ask_(kId3v1RevertCommentQuestion, kMsgWarning | kMsgModal | kMsgFocusNo, "warning") != kAnswerNo) {
    fields_.comment = OriginalText(field, false);
    fields_.version11 = false;
    VersionChange();
    return;
  }
  fields_.comment = OriginalText(field, true);
  StoreTrack(fields_.track);
  SetText(Id3v1EditorField::kComment, fields_.comment);
}

uint32_t Id3v1Editor::Scan(const std::string& sourcePath, bool useFolderAsAlbum, bool splitFolder) {
  std::string folder = sourcePath;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  size_t slash = folder.rfind('/');
  std::string name = slash == std::string::npos ? folder : folder.substr(slash + 1);
  folder = slash == std::string::npos ? "" : folder.substr(0, slash);
  if (name.size() >= 4) {
    std::string extension = name.substr(name.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".mp3") name.resize(name.size() - 4);
  }
  auto [artist, title] = SplitArtistTitle(name);
  SetText(Id3v1EditorField::kTitle, title);
  SetText(Id3v1EditorField::kArtist, artist);
  uint32_t filled = Id3v1FieldBit(Id3v1EditorField::kTitle) | Id3v1FieldBit(Id3v1EditorField::kArtist);
  if (useFolderAsAlbum) {
    std::string album = folder.substr(folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/') + 1);
    if (splitFolder && !album.empty()) album = SplitArtistTitle(album).second;
    SetText(Id3v1EditorField::kAlbum, album);
    filled |= Id3v1FieldBit(Id3v1EditorField::kAlbum);
  }
  return filled;
}

uint32_t Id3v1Editor::ApplyTransfer(const TransferResult<Id3v1EditorFields>& result) {
  for (const TransferMessage& m : result.messages) message_(m.text, m.kind, m.caption);
  if (!result.ran) return 0;
  const Id3v1EditorFields& in = result.fields;
  uint32_t filled = 0;
  auto take = [&](uint32_t bit, Id3v1EditorField field, const std::string& text) {
    if (!(result.changed & bit)) return;
    SetText(field, text);
    filled |= Id3v1FieldBit(field);
  };
  if (in.version11 && !fields_.version11) {
    // The transfer switched the editor to 1.1 for its track and has already
    // cut the comment to 28 bytes.
    fields_.version11 = true;
    fields_.comment = in.comment;
    trackValue_ = 0;
    VersionChange();
  }
  take(kTransferComment, Id3v1EditorField::kComment, in.comment);
  take(kTransferTrack, Id3v1EditorField::kTrack, in.track);
  take(kTransferTitle, Id3v1EditorField::kTitle, in.title);
  take(kTransferArtist, Id3v1EditorField::kArtist, in.artist);
  take(kTransferAlbum, Id3v1EditorField::kAlbum, in.album);
  take(kTransferYear, Id3v1EditorField::kYear, in.year);
  if (result.changed & kTransferGenre) {
    SetGenre(in.genre);
    filled |= Id3v1FieldBit(Id3v1EditorField::kGenre);
  }
  return filled;
}

}  // namespace quorvel
