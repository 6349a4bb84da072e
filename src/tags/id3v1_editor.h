#pragma once
// The ID3v1 editor without widgets: the texts its boxes show, what each change
// does to the record, the version switch, OK and Cancel, the field menu, the
// file-name scan and the fields a tag transfer reads and fills. Every change
// goes straight into the record it is attached to (the editing session's copy
// in the program); Cancel puts back the record the editor was filled from. Messages and questions go through the two callbacks the window
// (or a test) gives.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tags/id3v1.h"
#include "tags/id3v1_tag.h"
#include "tags/transfer.h"

namespace quorvel {

// Splits "Artist - Title" (also "Artist -Title", "Artist- Title" and
// "Artist-Title") into (artist, title); nothing is trimmed.
std::pair<std::string, std::string> SplitArtistTitle(const std::string& text);

enum class Id3v1EditorField { kTitle, kArtist, kAlbum, kComment, kYear, kTrack, kGenre };

// The box captions, the menu's captions for a field, and the hints.
extern const char* const kId3v1EditorCaption;
const char* Id3v1FieldCaption(Id3v1EditorField field);  // "&Title:" ...
const char* Id3v1FieldName(Id3v1EditorField field);     // "Title" ... (captions of "view original")
extern const char* const kId3v1EmptyGenreItem;          // "- EMPTY -", the genre list's last item
extern const char* const kId3v1NonAsciiQuestion;
extern const char* const kId3v1NoOriginalTrackText;
extern const char* const kId3v1RevertCommentQuestion;

// The highlight mask of Scan and ApplyTransfer: one bit a field.
constexpr uint32_t Id3v1FieldBit(Id3v1EditorField field) { return 1u << static_cast<int>(field); }

class Id3v1Editor {
 public:
  using Message = std::function<void(const std::string& text, int kind, const std::string& caption)>;
  // Returns kAnswerYes (6), kAnswerNo (7) or kAnswerEscape (2) as the message windows do.
  using Ask = std::function<int(const std::string& text, int kind, const std::string& caption)>;

  Id3v1Editor(Id3v1State& state, Message message, Ask ask);

  // Edits another record from now on (a new editing session); Fill follows.
  void Attach(Id3v1State& state) { state_ = &state; }
  // The record the boxes show.
  const Id3v1State& state() const { return *state_; }

  // Fills the boxes from the record and takes the backup Cancel restores.
  // fileHadTag enables "&Reload tag" and the field menu's original contents.
  void Fill(bool fileHadTag);

  // What the boxes show. The texts are those stored in the record: a text
  // typed past a field's room in bytes is cut there, never inside a character.
  const Id3v1EditorFields& fields() const { return fields_; }
  bool version11() const { return fields_.version11; }
  bool trackEnabled() const { return fields_.version11; }
  bool trackInError() const { return trackError_; }
  int trackValue() const { return trackValue_; }
  // The comment box's room in bytes: 28 with version 1.1, else 30.
  int commentLimit() const { return fields_.version11 ? 28 : 30; }
  bool reloadEnabled() const { return fileHadTag_; }
  bool nonAsciiAtLoad() const { return nonAsciiAtLoad_; }

  // A text typed into a box (title, artist, album, comment, year or track).
  // Returns the text the box then shows.
  std::string SetText(Id3v1EditorField field, const std::string& text);
  // A genre list choice: 0..148, or kGenreCount for "- EMPTY -" (no genre).
  void SetGenre(int index);
  // The " ID3v1.0" / " ID3v1.1" choice.
  void SetVersion(bool version11);
  // Stores the comment and the track as one: with a valid track (0..255, or
  // any text when forceValid) the comment gets 28 bytes and bytes 122/123 the
  // 1.1 marker and track; otherwise the comment gets all 30 bytes.
  bool SetOptional(bool forceValid);

  // "O&K": false when the user went back to the editor from the non-ASCII
  // question. The record then stays as edited and the editor open.
  bool Accept();
  // The record was applied and the editor stays open: Cancel now goes back to it.
  void Applied() { backup_ = state_->record; }
  // "Cancel" and Esc.
  void Cancel();
  // "&Reload tag": the caller has read the record again from the file (or
  // cleared it when the file had no tag); the boxes follow.
  void Reloaded(bool fileHadTag) { Fill(fileHadTag); }

  // The field menu.
  bool CanViewOriginal() const { return fileHadTag_; }
  void ViewOriginal(Id3v1EditorField field) const;
  bool CanReloadOriginal(Id3v1EditorField field) const;
  void ReloadOriginal(Id3v1EditorField field);

  // "&scan": title and artist from the file name, the album from the folder's
  // name with useFolderAsAlbum, its part after "Artist - " with splitFolder as
  // well. Returns the highlight mask of the fields it filled.
  uint32_t Scan(const std::string& sourcePath, bool useFolderAsAlbum, bool splitFolder);

  // A transfer into this editor: the fields a transfer computed (TransferV2ToV1)
  // become the boxes and the record. Returns the highlight mask.
  uint32_t ApplyTransfer(const TransferResult<Id3v1EditorFields>& result);

  // After closing: the main window's ID3v1 box is enabled exactly when the record holds something.
  bool RecordHoldsSomething() const { return !IsId3v1Empty(state_->record); }

 private:
  std::string OriginalText(Id3v1EditorField field, bool commentAs28) const;
  void StoreTrack(const std::string& text);
  void VersionChange();

  Id3v1State* state_;
  Message message_;
  Ask ask_;
  Id3v1Tag backup_;
  Id3v1EditorFields fields_;
  int trackValue_ = 0;
  bool trackError_ = false;
  bool fileHadTag_ = false;
  bool nonAsciiAtLoad_ = false;
};

}  // namespace quorvel
