#pragma once
// The model behind the ID3v2 tag editor window, without any widget. It edits
// the Id3v2TagState it is opened on in place (in the program, the editing
// session's copy of the document's tag) and records every change as
// edit-state flags (akcija) on the field records; Cancel puts back the state
// the editor was opened with, OK keeps it.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tags/id3v2_model.h"
#include "tags/transfer.h"

namespace quorvel {

// The twelve main boxes, in the order of the window.
enum class MainBox {
  Title, Artist, Album, Genre, Composer, Copyright, Url, Comment, Year, Track, Bpm, Size
};
constexpr int kMainBoxCount = 12;

// Catalogue index shown by each main box.
uint8_t MainBoxIndex(MainBox box);

// Characters a box accepts.
constexpr size_t kBoxMaxChars = 1024;
// The editor keeps its field counts in 16 bits.
constexpr size_t kEditorMaxFields = 65535;
constexpr uint32_t kEditorMaxPadding = 16777216;

// A yes/no question the editor asks; the answer is true for Yes.
struct EditorQuestion {
  std::string text;
  std::string caption;
  int kind = 0;
};
using EditorAsk = std::function<bool(const EditorQuestion&)>;
// A message the editor reports (kind and caption as the message boxes take them).
using EditorReport = std::function<void(const EditorQuestion&)>;

struct EditorListEntry {
  std::string text;
  uint32_t field = 0;
};

class Id3v2Editor {
 public:
  // Opens the editor on a tag. Fails (returns false) for a tag of more fields
  // than the editor can count; the tag is then left as it was.
  // A tag the source did not have starts in the new-tag format (major 2..4,
  // +0x80 with unsynchronisation) with the padding of paddingIndex.
  bool Open(Id3v2TagState& tag, uint8_t newTagFormat = 3, uint8_t paddingIndex = 0);
  // "&Reload tag" has read the open tag again (`read`: whole). The editor
  // starts afresh on it; a read that failed keeps the restore point, so Cancel
  // still brings back the tag as it was before. False as Open.
  bool Reopen(bool read, uint8_t newTagFormat = 3, uint8_t paddingIndex = 0);
  bool isOpen() const { return tag_ != nullptr; }
  // The tag being edited; only while open.
  const Id3v2TagState& tag() const { return *tag_; }
  // The file the tag was read from: "Reload original content" takes a field's
  // bytes from there again, whatever file was loaded into it since.
  void SetSourcePath(const std::string& path) { sourcePath_ = path; }

  // Rebuild the four lists (marking duplicates).
  void txtset();
  void mixset();
  void binset();
  void picset();
  void RebuildLists();

  const std::vector<EditorListEntry>& textList() const { return textEntries_; }
  const std::vector<EditorListEntry>& mixedList() const { return mixEntries_; }
  const std::vector<EditorListEntry>& binaryList() const { return binEntries_; }
  const std::vector<EditorListEntry>& pictureList() const { return picEntries_; }
  // The text an empty list shows.
  static const char* EmptyListText(uint8_t kind);

  // The field a main box shows, or -1.
  int64_t BoxField(MainBox box) const { return boxField_[static_cast<int>(box)]; }
  // The text a main box shows.
  std::string BoxText(MainBox box) const;
  std::string CommentLanguage() const;
  // The text the other-text box shows for a field (cut to a box's length, line
  // breaks as "\u21B5"); empty for a field it cannot show.
  std::string FieldText(uint32_t field, bool description = false) const;

  // A main box takes typing: not for a field whose text could not be read
  // whole (too large, unknown encoding, no language); such a text is changed
  // through the multi-line window or a file.
  bool BoxEditable(MainBox box) const;
  // A change of a main box's text (in content-description mode its tcont).
  // The "\u21B5" the box shows for a line break is stored as the break.
  void EditBox(MainBox box, const std::string& text);
  void EditCommentLanguage(const std::string& language);
  // Content-description mode of the URL and comment boxes.
  void SetDescriptionMode(MainBox box, bool on) { descMode_[static_cast<int>(box)] = on; }
  bool DescriptionMode(MainBox box) const { return descMode_[static_cast<int>(box)]; }

  // Edits of the field shown in the other-text box.
  void EditField(uint32_t field, const std::string& text);
  // Content-description mode of the other-text box.
  void EditFieldDescription(uint32_t field, const std::string& text);
  // The language box beside the other-text box.
  void EditFieldLanguage(uint32_t field, const std::string& language);
  // "Reload original content"; false (with the info reported) for an added field.
  bool ReloadOriginal(uint32_t field, const EditorReport& report);
  void RemoveField(uint32_t field);

  // The multi-line window. It opens on the field of a main box (one is added,
  // language "eng", when the box has none) or on a Comment, Synchronised or
  // Unsynchronised lyrics field of the other-text list.
  std::optional<uint32_t> BoxFieldOrAdd(MainBox box);
  static bool MultiLineAllowed(uint8_t catalogueIndex);
  // The field's text with line breaks as LF ("\u21B5" turned back into them).
  std::string MultiLineText(uint32_t field) const;
  // The field's original text, the same way.
  std::string OriginalMultiLineText(uint32_t field) const;
  // "OK" of the multi-line window after a change: CR LF and LF CR become LF;
  // the encoding is UTF-16 when a character needs more than ISO-8859-1.
  void StoreMultiLine(uint32_t field, const std::string& text);

  bool HasDuplicates() const;
  void RemoveDuplicates();
  bool HasErroneousFields() const;
  // The "erroneous" switch: the writer then leaves out fields with an unknown
  // encoding or a missing language (Id3v2BlockOptions::dropErroneousFields).
  void SetDropErroneous(bool on) { tag_->dropErroneous = on && HasErroneousFields(); }
  bool dropErroneous() const { return tag_ != nullptr && tag_->dropErroneous; }

  // Adding: candidates of a list's kind (catalogue indexes), then the new field.
  std::vector<uint8_t> AddCandidates(uint8_t kind) const;
  std::optional<uint32_t> AddField(uint8_t catalogueIndex);
  std::vector<uint8_t> PictureCandidates() const;
  std::optional<uint32_t> AddPicture(uint8_t type);

  // The version choice: 2, 3, 4 or 5 (" other"). False when the change was
  // refused or not allowed; the version is then unchanged.
  bool ChangeVersion(unsigned major, const EditorAsk& ask, const EditorReport& report);
  unsigned DisplayVersion() const;
  void SetMinor(unsigned minor);

  void SetUnsync(bool on);
  void SetExperimental(bool on);
  void SetExtendedHeader(bool on);
  // False (padding unchanged) for a text that is not a whole number 0..16777216.
  bool SetPaddingText(const std::string& text, const EditorReport& report);
  void SetFooter(bool on, const EditorReport& report);
  bool footer() const;

  // Fills Title, Artist and (with useFolder) Album from a path.
  void Scan(const std::string& path, bool useFolder, bool splitFolder);

  // The tag data transfer: the seven common fields as the main boxes hold
  // them (their main texts, also while a box shows its description), and a
  // transfer's result written into those boxes as edits of them. Returns the
  // boxes that changed.
  Id3v2EditorFields TransferFields() const;
  std::vector<MainBox> ApplyTransfer(const TransferResult<Id3v2EditorFields>& result);

  // OK: false when the caller's answer keeps the window open. writeTag says
  // whether the main window's switch for the ID3v2 tag should be on.
  bool Ok(const EditorAsk& ask, bool& writeTag);
  // O&K's question and answer without closing: the state is about to be
  // applied while the editor stays open (a save). False when the user went back.
  bool Confirm(const EditorAsk& ask, bool& writeTag) const;
  // The state was applied and the editor stays open: Cancel now goes back to it.
  void Applied() { snapshot_ = *tag_; }
  // Cancel, Esc or closing: the snapshot comes back.
  void Cancel();
  // The session ended elsewhere (the document went): the editor lets go of
  // the tag without touching it.
  void Drop() { tag_ = nullptr; }

 private:
  void Bind();
  void FollowEncoding(Id3v2Field& f, const std::string& text);
  void MarkEdited(Id3v2Field& f);
  void BuildList(const std::vector<uint32_t>& list, uint8_t kind, std::vector<EditorListEntry>& out);

  Id3v2TagState* tag_ = nullptr;
  Id3v2TagState snapshot_;
  std::string sourcePath_;
  std::array<int64_t, kMainBoxCount> boxField_{};
  std::array<bool, kMainBoxCount> descMode_{};
  std::vector<EditorListEntry> textEntries_, mixEntries_, binEntries_, picEntries_;
};

// Splits a name into artist and title at " - ", " -", "- " or "-".
void SplitScanName(const std::string& name, std::string& artist, std::string& title);

}  // namespace quorvel
