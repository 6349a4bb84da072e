#include "tags/id3v2_editor.h"

#include <algorithm>
#include <cctype>
#include <tuple>
#include <utility>

#include "tags/id3v1_editor.h"
#include "tags/id3v2_catalogue.h"
#include "tags/id3v2_reader.h"

namespace quorvel {

namespace {

constexpr std::array<uint8_t, kMainBoxCount> kBoxIndex = {44, 58, 26, 29, 28, 30, 89, 4, 76, 65, 27, 72};
constexpr const char* kDuplicate = " (DUPLICATE)";
const std::string kReturnMark = "\xE2\x86\xB5";  // U+21B5

bool IsMainIndex(uint8_t index) {
  return std::find(kBoxIndex.begin(), kBoxIndex.end(), index) != kBoxIndex.end();
}

// Cuts a UTF-8 text after `chars` code points.
std::string CutChars(const std::string& s, size_t chars) {
  size_t count = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<uint8_t>(s[i]) & 0xC0) != 0x80) {
      if (count == chars) return s.substr(0, i);
      ++count;
    }
  }
  return s;
}

std::string ShowBreaks(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' || s[i] == '\n') {
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
      out += kReturnMark;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string TrimBlanksAndNul(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\0')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\0')) --e;
  return s.substr(b, e - b);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Line breaks of any form, and the "\u21B5" a box shows for them, as LF.
std::string BreaksAsLf(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s.compare(i, kReturnMark.size(), kReturnMark) == 0) {
      out += '\n';
      i += kReturnMark.size() - 1;
    } else if (s[i] == '\r' || s[i] == '\n') {
      if (i + 1 < s.size() && (s[i + 1] == '\r' || s[i + 1] == '\n') && s[i + 1] != s[i]) ++i;
      out += '\n';
    } else {
      out += s[i];
    }
  }
  return out;
}

// The "\u21B5" a box shows for a line break, as the break (LF, as the
// multi-line window stores it); other characters as they are.
std::string MarksAsBreaks(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s.compare(i, kReturnMark.size(), kReturnMark) == 0) {
      out += '\n';
      i += kReturnMark.size() - 1;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

uint8_t MainBoxIndex(MainBox box) { return kBoxIndex[static_cast<int>(box)]; }

const char* Id3v2Editor::EmptyListText(uint8_t kind) {
  switch (kind) {
    case kFieldText: return "no other text fields";
    case kFieldMixed: return "no other mixed fields";
    case kFieldBinary: return "no other binary fields";
    default: return "no pictures attached";
  }
}

bool Id3v2Editor::Open(Id3v2TagState& tag, uint8_t newTagFormat, uint8_t paddingIndex) {
  if (tag.fields.size() > kEditorMaxFields) return false;
  if (!tag.present && tag.fields.empty()) StartScriptTag(tag, newTagFormat, paddingIndex);
  tag_ = &tag;
  snapshot_ = tag;
  descMode_.fill(false);
  RebuildLists();
  return true;
}

bool Id3v2Editor::Reopen(bool read, uint8_t newTagFormat, uint8_t paddingIndex) {
  if (!tag_ || tag_->fields.size() > kEditorMaxFields) return false;
  if (read) return Open(*tag_, newTagFormat, paddingIndex);
  Id3v2TagState restorePoint = std::move(snapshot_);
  Open(*tag_, newTagFormat, paddingIndex);
  snapshot_ = std::move(restorePoint);
  return true;
}

unsigned Id3v2Editor::DisplayVersion() const {
  return std::clamp<unsigned>(tag_->tagversion.major, 2, 5);
}

void Id3v2Editor::Bind() {
  boxField_.fill(-1);
  for (uint32_t i : tag_->textlist) {
    if (i >= tag_->fields.size()) continue;
    const Id3v2Field& f = tag_->fields[i];
    if (f.akcija & kFieldRemoved) continue;
    for (int b = 0; b < kMainBoxCount; ++b)
      if (kBoxIndex[b] == f.ind && boxField_[b] < 0) {
        boxField_[b] = i;
        break;
      }
  }
}

void Id3v2Editor::BuildList(const std::vector<uint32_t>& list, uint8_t kind, std::vector<EditorListEntry>& out) {
  out.clear();
  std::array<bool, 256> seen{};
  const unsigned major = DisplayVersion();
  for (uint32_t i : list) {
    if (i >= tag_->fields.size()) continue;
    Id3v2Field& f = tag_->fields[i];
    if (f.akcija & kFieldRemoved) continue;
    if (kind == kFieldText && f.akcija & kFieldRemovedByVersion) continue;
    const uint8_t key = kind == kFieldPicture ? f.sub : f.ind;
    const bool duplicate = seen[key];
    seen[key] = true;
    if (duplicate) f.akcija |= kFieldDuplicate;
    if (kind == kFieldText && !duplicate && IsMainIndex(f.ind)) continue;  // shown in its box
    std::string text;
    if (kind == kFieldPicture) {
      text = PictureTypeName(f.sub);
      if (duplicate) text += kDuplicate;
    } else {
      text = f.ind < Id3v2Catalogue.size() ? Id3v2Catalogue[f.ind].description : "undefined";
      if (duplicate) text += kDuplicate;
      if (f.ind != kExtHeaderIndex) text += std::string(" (") + Id3v2Code(f.ind, major) + ")";
    }
    out.push_back({text, i});
  }
}

void Id3v2Editor::txtset() { Bind(); BuildList(tag_->textlist, kFieldText, textEntries_); }
void Id3v2Editor::mixset() { BuildList(tag_->mixlist, kFieldMixed, mixEntries_); }
void Id3v2Editor::binset() { BuildList(tag_->binlist, kFieldBinary, binEntries_); }
void Id3v2Editor::picset() { BuildList(tag_->piclist, kFieldPicture, picEntries_); }
void Id3v2Editor::RebuildLists() { txtset(); mixset(); binset(); picset(); }

std::string Id3v2Editor::BoxText(MainBox box) const {
  const int64_t i = BoxField(box);
  if (i < 0 || static_cast<size_t>(i) >= tag_->fields.size()) return "";
  const Id3v2Field& f = tag_->fields[i];
  std::string s = DescriptionMode(box) ? f.tcont : f.tansi;
  if (box == MainBox::Year || box == MainBox::Track || box == MainBox::Bpm || box == MainBox::Size)
    s = TrimBlanksAndNul(s);
  return ShowBreaks(CutChars(s, kBoxMaxChars));
}

namespace {

struct TransferBox {
  uint32_t bit;
  MainBox box;
  std::string Id3v2EditorFields::*text;
};

constexpr std::array<TransferBox, 7> kTransferBoxes = {{
    {kTransferTitle, MainBox::Title, &Id3v2EditorFields::title},
    {kTransferArtist, MainBox::Artist, &Id3v2EditorFields::artist},
    {kTransferAlbum, MainBox::Album, &Id3v2EditorFields::album},
    {kTransferGenre, MainBox::Genre, &Id3v2EditorFields::genre},
    {kTransferComment, MainBox::Comment, &Id3v2EditorFields::comment},
    {kTransferYear, MainBox::Year, &Id3v2EditorFields::year},
    {kTransferTrack, MainBox::Track, &Id3v2EditorFields::track},
}};

}  // namespace

Id3v2EditorFields Id3v2Editor::TransferFields() const {
  Id3v2EditorFields fields;
  for (const TransferBox& t : kTransferBoxes) {
    const int64_t i = BoxField(t.box);
    if (i < 0 || static_cast<size_t>(i) >= tag_->fields.size()) continue;
    std::string s = CutChars(tag_->fields[i].tansi, kBoxMaxChars);
    if (t.box == MainBox::Year || t.box == MainBox::Track) s = TrimBlanksAndNul(s);
    fields.*t.text = s;
  }
  return fields;
}

std::vector<MainBox> Id3v2Editor::ApplyTransfer(const TransferResult<Id3v2EditorFields>& result) {
  std::vector<MainBox> changed;
  if (!result.ran) return changed;
  for (const TransferBox& t : kTransferBoxes) {
    if ((result.changed & t.bit) == 0) continue;
    const bool description = DescriptionMode(t.box);
    SetDescriptionMode(t.box, false);
    EditBox(t.box, result.fields.*t.text);
    SetDescriptionMode(t.box, description);
    changed.push_back(t.box);
  }
  return changed;
}

std::string Id3v2Editor::CommentLanguage() const {
  const int64_t i = BoxField(MainBox::Comment);
  return i < 0 || static_cast<size_t>(i) >= tag_->fields.size() ? "" : tag_->fields[i].tlan;
}

std::string Id3v2Editor::FieldText(uint32_t field, bool description) const {
  if (field >= tag_->fields.size()) return "";
  const Id3v2Field& f = tag_->fields[field];
  return ShowBreaks(CutChars(description ? f.tcont : f.tansi, kBoxMaxChars));
}

void Id3v2Editor::MarkEdited(Id3v2Field& f) {
  f.akcija = static_cast<uint8_t>((f.akcija & 0x07) | kFieldEdited);
}

// The encoding follows the texts of the field: both its main text and its
// description are looked at, so that an ASCII edit of one never forces the
// other, non-ASCII one into ISO-8859-1.
void Id3v2Editor::FollowEncoding(Id3v2Field& f, const std::string&) {
  const auto wide = [](const std::string& t) {
    const std::string head = CutChars(t, 32000);
    return std::any_of(head.begin(), head.end(), [](char c) { return static_cast<uint8_t>(c) > 127; });
  };
  const bool any = wide(f.tansi) || ((f.sub & kPartDescription) && wide(f.tcont));
  f.enc = any ? kEncUtf16Bom : kEncLatin1;
  if (f.sub & kPartLanguage) f.tlan = any ? "xxx" : "eng";
}

bool Id3v2Editor::BoxEditable(MainBox box) const {
  const int64_t i = BoxField(box);
  if (i < 0 || static_cast<size_t>(i) >= tag_->fields.size()) return true;
  return (tag_->fields[i].err & (kErrUnknownEncoding | kErrMissingLanguage | kErrTooLarge)) == 0;
}

void Id3v2Editor::EditBox(MainBox box, const std::string& input) {
  if (!BoxEditable(box)) return;
  const std::string text = MarksAsBreaks(CutChars(input, kBoxMaxChars));
  const int b = static_cast<int>(box);
  if (boxField_[b] < 0) {
    if (tag_->fields.size() >= kEditorMaxFields) return;
    const uint32_t i = AddId3v2Field(*tag_, kBoxIndex[b]);
    tag_->fields[i].akcija = kFieldAdded | kFieldEdited;
    tag_->textlist.push_back(i);
    boxField_[b] = i;
  } else {
    MarkEdited(tag_->fields[boxField_[b]]);
  }
  Id3v2Field& f = tag_->fields[boxField_[b]];
  if (DescriptionMode(box)) f.tcont = text; else f.tansi = text;
  FollowEncoding(f, text);
}

void Id3v2Editor::EditCommentLanguage(const std::string& language) {
  if (!BoxEditable(MainBox::Comment)) return;
  const std::string lang = language.substr(0, 3);
  const int b = static_cast<int>(MainBox::Comment);
  if (boxField_[b] < 0) {
    if (tag_->fields.size() >= kEditorMaxFields) return;
    const uint32_t i = AddId3v2Field(*tag_, kBoxIndex[b]);
    tag_->fields[i].akcija = kFieldAdded | kFieldEdited;
    tag_->textlist.push_back(i);
    boxField_[b] = i;
    tag_->fields[i].tlan = lang;
    return;
  }
  Id3v2Field& f = tag_->fields[boxField_[b]];
  f.tlan = lang;
  if (!(f.akcija & (kFieldEdited | kFieldEditedMultiLine))) MarkEdited(f);
  f.tload.clear();
}

void Id3v2Editor::EditField(uint32_t field, const std::string& input) {
  if (field >= tag_->fields.size()) return;
  Id3v2Field& f = tag_->fields[field];
  if (f.err & (kErrUnknownEncoding | kErrMissingLanguage | kErrTooLarge)) return;  // shown disabled
  const std::string text = MarksAsBreaks(CutChars(input, kBoxMaxChars));
  MarkEdited(f);
  f.tansi = text;
  FollowEncoding(f, text);
}

void Id3v2Editor::EditFieldDescription(uint32_t field, const std::string& input) {
  if (field >= tag_->fields.size() || !(tag_->fields[field].sub & kPartDescription)) return;
  Id3v2Field& f = tag_->fields[field];
  if (f.err & (kErrUnknownEncoding | kErrMissingLanguage | kErrTooLarge)) return;
  MarkEdited(f);
  f.tcont = MarksAsBreaks(CutChars(input, kBoxMaxChars));
  FollowEncoding(f, f.tcont);
}

void Id3v2Editor::EditFieldLanguage(uint32_t field, const std::string& language) {
  if (field >= tag_->fields.size() || !(tag_->fields[field].sub & kPartLanguage)) return;
  Id3v2Field& f = tag_->fields[field];
  f.tlan = language.substr(0, 3);
  if (!(f.akcija & (kFieldEdited | kFieldEditedMultiLine))) MarkEdited(f);
  f.tload.clear();
}

bool Id3v2Editor::ReloadOriginal(uint32_t field, const EditorReport& report) {
  if (field >= tag_->fields.size()) return false;
  Id3v2Field& f = tag_->fields[field];
  if (f.akcija & kFieldAdded) {
    if (report) report({"The field doesn't exist in the original tag.", "info", 0});
    return false;
  }
  f.tansi = f.torig;
  f.tcont = f.torco;
  f.tlan = f.tolan;
  f.enc = f.torenc;
  // An unchanged field is copied from the file it was read from, at its own
  // place: a file loaded into it since, or a language change, named another.
  if (!sourcePath_.empty()) f.tload = sourcePath_;
  f.akcija = 0;
  return true;
}

void Id3v2Editor::RemoveField(uint32_t field) {
  if (field >= tag_->fields.size()) return;
  tag_->fields[field].akcija = kFieldRemoved;
  RebuildLists();
}

std::optional<uint32_t> Id3v2Editor::BoxFieldOrAdd(MainBox box) {
  const int b = static_cast<int>(box);
  if (boxField_[b] >= 0) return static_cast<uint32_t>(boxField_[b]);
  if (tag_->fields.size() >= kEditorMaxFields) return std::nullopt;
  const uint32_t i = AddId3v2Field(*tag_, kBoxIndex[b]);
  tag_->fields[i].akcija = kFieldAdded | kFieldEdited;
  tag_->fields[i].tlan = "eng";
  tag_->textlist.push_back(i);
  boxField_[b] = i;
  return i;
}

bool Id3v2Editor::MultiLineAllowed(uint8_t index) { return index == 4 || index == 22 || index == 80; }

namespace {

// Whether a UTF-8 text holds a character above U+00FF.
bool BeyondLatin1(const std::string& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<uint8_t>(s[i]);
    if (c >= 0xC4) return true;  // a lead byte of U+0100 and above
  }
  return false;
}

}  // namespace

std::string Id3v2Editor::MultiLineText(uint32_t field) const {
  return field < tag_->fields.size() ? BreaksAsLf(tag_->fields[field].tansi) : "";
}

std::string Id3v2Editor::OriginalMultiLineText(uint32_t field) const {
  return field < tag_->fields.size() ? BreaksAsLf(tag_->fields[field].torig) : "";
}

void Id3v2Editor::StoreMultiLine(uint32_t field, const std::string& input) {
  if (field >= tag_->fields.size()) return;
  Id3v2Field& f = tag_->fields[field];
  std::string text;
  for (size_t i = 0; i < input.size(); ++i) {
    if ((input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n') ||
        (input[i] == '\n' && i + 1 < input.size() && input[i + 1] == '\r')) {
      text += '\n';
      ++i;
    } else {
      text += input[i];
    }
  }
  f.tansi = text;
  // Encoding 2 (UTF-16 without mark) exists from 2.4 on; below it, UTF-16 with mark.
  f.enc = BeyondLatin1(text) ? (tag_->tagversion.major >= 4 ? kEncUtf16Be : kEncUtf16Bom) : kEncLatin1;
  f.akcija = static_cast<uint8_t>((f.akcija & 0x07) | kFieldEditedMultiLine);
}

bool Id3v2Editor::HasDuplicates() const {
  return std::any_of(tag_->fields.begin(), tag_->fields.end(), [](const Id3v2Field& f) {
    return (f.akcija & kFieldDuplicate) && !(f.akcija & kFieldRemoved);
  });
}

void Id3v2Editor::RemoveDuplicates() {
  for (Id3v2Field& f : tag_->fields)
    if (f.akcija & kFieldDuplicate) f.akcija = kFieldRemoved;
  RebuildLists();
}

bool Id3v2Editor::HasErroneousFields() const {
  return std::any_of(tag_->fields.begin(), tag_->fields.end(), [](const Id3v2Field& f) { return (f.err & 0x83) != 0; });
}

std::vector<uint8_t> Id3v2Editor::AddCandidates(uint8_t kind) const {
  std::array<bool, kCatalogueSize> taken{};
  for (const Id3v2Field& f : tag_->fields)
    if (!(f.akcija & kFieldRemoved) && f.ind >= 1 && f.ind <= 89 && !Id3v2Catalogue[f.ind].ald) taken[f.ind] = true;
  std::vector<uint8_t> out;
  const unsigned major = DisplayVersion();
  for (uint8_t i = 1; i <= 89; ++i) {
    const TagElement& e = Id3v2Catalogue[i];
    if (e.tip != kind || taken[i] || *Id3v2Code(i, major) == '\0') continue;
    if (kind == kFieldText && IsMainIndex(i) && !e.ald) continue;
    out.push_back(i);
  }
  if (kind == kFieldBinary) out.push_back(kExtHeaderIndex);
  return out;
}

std::optional<uint32_t> Id3v2Editor::AddField(uint8_t index) {
  if (index >= kCatalogueSize || tag_->fields.size() >= kEditorMaxFields) return std::nullopt;
  const uint32_t i = AddId3v2Field(*tag_, index);
  const uint8_t tip = tag_->fields[i].tip;
  (tip == kFieldText ? tag_->textlist : tip == kFieldMixed ? tag_->mixlist : tag_->binlist).push_back(i);
  RebuildLists();
  return i;
}

std::vector<uint8_t> Id3v2Editor::PictureCandidates() const {
  bool taken1 = false, taken2 = false;
  for (uint32_t i : tag_->piclist) {
    if (i >= tag_->fields.size() || (tag_->fields[i].akcija & kFieldRemoved)) continue;
    taken1 |= tag_->fields[i].sub == 1;
    taken2 |= tag_->fields[i].sub == 2;
  }
  std::vector<uint8_t> out;
  for (uint8_t t = 1; t <= 20; ++t)
    if (!(t == 1 && taken1) && !(t == 2 && taken2)) out.push_back(t);
  out.push_back(0);
  return out;
}

std::optional<uint32_t> Id3v2Editor::AddPicture(uint8_t type) {
  if (type == 17 || type > 20 || tag_->fields.size() >= kEditorMaxFields) return std::nullopt;
  const std::vector<uint8_t> c = PictureCandidates();
  if (std::find(c.begin(), c.end(), type) == c.end()) return std::nullopt;
  const uint32_t i = AddId3v2Field(*tag_, 2);
  tag_->fields[i].sub = type;
  tag_->piclist.push_back(i);
  RebuildLists();
  return i;
}

bool Id3v2Editor::ChangeVersion(unsigned major, const EditorAsk& ask, const EditorReport& report) {
  if (major < 2 || major > 4) {
    if (report) report({"You can't change to \"other\".", "error", 1});
    return false;
  }
  const unsigned old = tag_->tagversion.major;
  if (major < old) {
    std::vector<uint32_t> gone;
    for (uint32_t i = 0; i < tag_->fields.size(); ++i) {
      const Id3v2Field& f = tag_->fields[i];
      if (!(f.akcija & kFieldRemoved) && f.ind >= 1 && f.ind <= 89 && *Id3v2Code(f.ind, major) == '\0')
        gone.push_back(i);
    }
    if (!gone.empty()) {
      const size_t n = gone.size();
      std::string q = n == 1 ? "There is a field" : "There are " + std::to_string(n) + " fields";
      q += " in your tag not in use in id3v2." + std::to_string(major) + " standard.";
      q += "\r\n\r\nRemove the field" + std::string(n > 1 ? "s" : "") + "? Choose NO to cancel version change.";
      q += "\r\n\r\n(note: " + std::string(n == 1 ? "the " : "") + "field" + (n > 1 ? "s" : "") +
           " is restored when you switch back to id3v2." + std::to_string(std::clamp<unsigned>(old, 2, 9)) + ")";
      if (!ask || !ask({q, "warning", 258})) return false;
      for (uint32_t i : gone) tag_->fields[i].akcija |= kFieldRemoved | kFieldRemovedByVersion;
    }
  } else if (major > old) {
    for (Id3v2Field& f : tag_->fields) {
      if ((f.akcija & (kFieldRemoved | kFieldRemovedByVersion)) == (kFieldRemoved | kFieldRemovedByVersion) &&
          *Id3v2Code(f.ind, major) != '\0')
        f.akcija &= static_cast<uint8_t>(~(kFieldRemoved | kFieldRemovedByVersion));
    }
  }
  tag_->tagversion.major = static_cast<uint8_t>(major);
  RebuildLists();
  return true;
}

void Id3v2Editor::SetMinor(unsigned minor) { tag_->tagversion.minor = static_cast<uint8_t>(std::min(minor, 254u)); }
void Id3v2Editor::SetUnsync(bool on) { tag_->unsync = on; }
void Id3v2Editor::SetExperimental(bool on) { tag_->experimental = on; }
void Id3v2Editor::SetExtendedHeader(bool on) { tag_->exthead = on; }
bool Id3v2Editor::footer() const { return tag_->footer; }

bool Id3v2Editor::SetPaddingText(const std::string& input, const EditorReport& report) {
  size_t b = 0, e = input.size();
  while (b < e && input[b] == ' ') ++b;
  while (e > b && input[e - 1] == ' ') --e;
  const std::string s = input.substr(b, e - b);
  if (s.empty() || s.size() > 8 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  const unsigned long v = std::stoul(s);
  if (v > kEditorMaxPadding) return false;
  if (v > 0 && tag_->footer) {
    if (report) report({"Padding and footer are mutually exclusive.\r\nUnchecking the footer.", "warning", 2});
    tag_->footer = false;
  }
  tag_->padding = static_cast<uint32_t>(v);
  return true;
}

void Id3v2Editor::SetFooter(bool on, const EditorReport& report) {
  if (on == tag_->footer) return;
  tag_->footer = on;
  if (on && tag_->padding > 0) {
    if (report) report({"Padding and footer are mutually exclusive.\r\nSetting padding to zero.", "warning", 2});
    tag_->savedpadding = tag_->padding;
    tag_->padding = 0;
  } else if (!on) {
    tag_->padding = tag_->savedpadding;
  }
}

void SplitScanName(const std::string& name, std::string& artist, std::string& title) {
  std::tie(artist, title) = SplitArtistTitle(name);
}

void Id3v2Editor::Scan(const std::string& path, bool useFolder, bool splitFolder) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.size() >= 4 && EqualNoCase(name.substr(name.size() - 4), ".mp3")) name.resize(name.size() - 4);
  std::string artist, title;
  SplitScanName(name, artist, title);
  if (BoxText(MainBox::Title) != title) EditBox(MainBox::Title, title);
  if (BoxText(MainBox::Artist) != artist) EditBox(MainBox::Artist, artist);
  if (useFolder && slash != std::string::npos) {
    const std::string dir = path.substr(0, slash);
    const size_t s2 = dir.find_last_of('/');
    std::string album = s2 == std::string::npos ? dir : dir.substr(s2 + 1);
    if (splitFolder) {
      std::string a, t;
      SplitScanName(album, a, t);
      album = t;
    }
    if (BoxText(MainBox::Album) != album) EditBox(MainBox::Album, album);
  }
}

bool Id3v2Editor::Ok(const EditorAsk& ask, bool& writeTag) {
  if (!Confirm(ask, writeTag)) return false;
  tag_ = nullptr;
  return true;
}

bool Id3v2Editor::Confirm(const EditorAsk& ask, bool& writeTag) const {
  if (tag_->tagversion.major < 4 && tag_->footer) {
    const std::string q = "ID3v2 footer is not compatible with ID3v2." + std::to_string(tag_->tagversion.major) +
                          "\r\nstandard. It is HIGHLY recommended that you\r\n"
                          "either remove it or set the version to ID3v2.4\r\n\r\nContinue anyway?";
    if (!ask || !ask({q, "warning", 4354})) return false;
  }
  writeTag = std::any_of(tag_->fields.begin(), tag_->fields.end(),
                         [](const Id3v2Field& f) { return !(f.akcija & kFieldRemoved); });
  return true;
}

void Id3v2Editor::Cancel() {
  if (!tag_) return;
  *tag_ = snapshot_;
  tag_ = nullptr;
}

}  // namespace quorvel
