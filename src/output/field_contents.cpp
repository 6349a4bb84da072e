#include "output/field_contents.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include "core/file_paths.h"
#include "core/messages.h"
#include "core/tag_editing.h"
#include "core/working_files.h"
#include "output/save.h"
#include "output/target_file.h"
#include "tags/field_content.h"
#include "tags/file_io.h"
#include "tags/id3v2_catalogue.h"
#include "tags/id3v2_reader.h"

namespace quorvel {

namespace {

const char* const kTempNote =
    "\r\n\r\nYou may be running another instance of this program, and viewing the image there.\r\nThis is not "
    "possible when using external (system) viewer. Switch to internal viewer.\r\n\r\nAlternatively, it may be an "
    "authorization issue - you may need to run this\r\napplication as administrator to grant it folder access "
    "rights.";
const char* const kNotInOriginalTag = "This field doesn't exist in the original tag.";
const char* const kNoFieldInBox = "The field doesn't exist in the input tag.";
const char* const kNoFieldForInfo = "The field doesn't exist in input tag.";
const char* const kOutputWriteFailed =
    "Can't write to output file. Usual reasons:\r\n\r\n- file in use\r\n- invalid filename\r\n- disk not "
    "ready\r\n- disk full\r\n- insufficient privileges (try running the application as administrator)";
const char* const kPictureNotLoaded = "This picture doesn't exist in the original file\r\nand hasn't been loaded yet.";
const char* const kPictureAccessFailed =
    "You don't seem to have the access to output file.\r\nCheck the path/filename, privileges, sharing, etc.";
const char* const kAllFilesFilter = "All files|*.*";
const char* const kPictureFilter =
    "JPEG & PNG files|*.jpg;*.jpeg;*.jfif;*.png|JPEG files|*.jpg;*.jpeg;*.jfif|PNG files|*.png|All files|*.*";
const char* const kNewlyAdded = "\r\nNewly added field";

Id3v2Field* FieldAt(Context& ctx, int64_t index) {
  auto& fields = EditedId3v2(ctx).fields;
  if (index < 0 || static_cast<uint64_t>(index) >= fields.size()) return nullptr;
  return &fields[static_cast<size_t>(index)];
}

bool Exists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// The source, only while it is still the file that was loaded.
bool OpenSource(const Context& ctx, InputFile& file) {
  return file.open(ctx.doc.sourceName) && file.identity() == ctx.doc.files[0].identity;
}

void ReportSourceGone(Context& ctx) { ReportMessage(ctx, kContentSourceGone, kMsgWarning, "error"); }

// The field's data from the source (after its header and the prefixes its
// flags announce, resynchronised), reported when it cannot be had.
std::optional<std::vector<uint8_t>> SourceData(Context& ctx, const Id3v2Field& f, int64_t limit) {
  InputFile source;
  std::vector<uint8_t> data;
  if (!OpenSource(ctx, source)) {
    ReportSourceGone(ctx);
    return std::nullopt;
  }
  switch (ReadFieldData(EditedId3v2(ctx), f, source, data, limit)) {
    case ContentResult::kOk: return data;
    case ContentResult::kTooLarge: ReportMessage(ctx, kContentTooLargeText, kMsgWarning, "error"); break;
    case ContentResult::kReadError: ReportSourceGone(ctx); break;
  }
  return std::nullopt;
}

std::string Latin1ToUtf8(const uint8_t* data, size_t size) {
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    uint8_t c = data[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The settings folder's working file of that name; none (a write that fails)
// while no settings folder is known, never a file in the current folder.
std::string WorkingFile(const Context& ctx, const std::string& name) {
  return ctx.settingsFolder.empty() ? std::string() : ctx.settingsFolder + name;
}

// A save dialog that refuses the settings folder (the working files and the
// settings live there) and opens again; the chosen folder is remembered.
std::optional<std::string> AskSaveTarget(Context& ctx, FileDialogRequest request, std::string& rememberedFolder) {
  request.folder = ExistingFolder(rememberedFolder);
  request.overwritePrompt = true;
  for (;;) {
    std::optional<std::string> chosen = ctx.host.chooseSaveFile(request);
    if (!chosen || chosen->empty()) return std::nullopt;
    if (!ctx.settingsFolder.empty() &&
        SameFile(FolderOf(AbsoluteNormalPath(*chosen)), FolderOf(AbsoluteNormalPath(ctx.settingsFolder + "x")))) {
      ReportMessage(ctx, kWorkingFolderText, kMsgError, "warning");
      continue;
    }
    rememberedFolder = FolderOf(AbsoluteNormalPath(*chosen));
    return chosen;
  }
}

std::optional<std::string> AskOpenFile(Context& ctx, const char* title, const char* filter,
                                       std::string& rememberedFolder) {
  FileDialogRequest request;
  request.title = title;
  request.filter = filter;
  request.folder = ExistingFolder(rememberedFolder);
  request.mustExist = true;
  std::optional<std::string> chosen = ctx.host.chooseOpenFile(request);
  if (!chosen || chosen->empty()) return std::nullopt;
  rememberedFolder = FolderOf(AbsoluteNormalPath(*chosen));
  return chosen;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  return WriteBytesThroughTemporaryFile(path, bytes.data(), bytes.size()) == ByteWrite::kWritten;
}

// Where a content starts for the desktop's text viewer: after the encoding
// byte and the language the parts flags name.
size_t AfterEncodingAndLanguage(const std::vector<uint8_t>& data, uint8_t parts) {
  size_t cursor = (parts & kPartEncoding) ? 1 : 0;
  if (parts & kPartLanguage) cursor += 3;
  return std::min(cursor, data.size());
}

bool Loaded(const Id3v2Field& f) { return (f.akcija & kFieldLoaded) && !f.tload.empty(); }
bool Added(const Id3v2Field& f) { return (f.akcija & kFieldAdded) != 0; }

// A picture as its header in the source names it.
struct SourcePicture {
  enum class Status { kOk, kBadEncoding, kBadMime } status = Status::kOk;
  PictureKind kind = PictureKind::kUnknown;
  std::string mime;
  uint8_t enc = 0;
  std::vector<uint8_t> data;  // the image, or the link's text in the field's encoding
};

constexpr size_t kMaxMimeLength = 250;

SourcePicture ParsePicture(const std::vector<uint8_t>& body, unsigned sourceMajor) {
  SourcePicture p;
  if (body.empty() || body[0] > kEncUtf8) {
    p.status = SourcePicture::Status::kBadEncoding;
    return p;
  }
  p.enc = body[0];
  size_t cursor = 1;
  if (sourceMajor == 2) {
    if (body.size() < 4) {
      p.status = SourcePicture::Status::kBadMime;
      return p;
    }
    p.mime = std::string(body.begin() + 1, body.begin() + 4);
    cursor = 4;
  } else {
    auto end = body.begin() + static_cast<std::ptrdiff_t>(std::min(body.size(), 1 + kMaxMimeLength));
    auto nul = std::find(body.begin() + 1, end, uint8_t{0});
    if (nul == end) {
      p.status = SourcePicture::Status::kBadMime;
      return p;
    }
    p.mime = std::string(body.begin() + 1, nul);
    cursor = static_cast<size_t>(nul - body.begin()) + 1;
  }
  p.kind = PictureKindFromMime(p.mime);
  if (p.kind == PictureKind::kUnknown) {
    p.status = SourcePicture::Status::kBadMime;
    return p;
  }
  cursor = std::min(cursor + 1, body.size());  // the picture type
  DecodeFieldText(body, cursor, p.enc, kPartEncoding);  // the description
  cursor = std::min(cursor, body.size());
  p.data.assign(body.begin() + static_cast<std::ptrdiff_t>(cursor), body.end());
  return p;
}

const char* MimeOf(PictureKind kind) {
  switch (kind) {
    case PictureKind::kJpg: return "image/jpeg";
    case PictureKind::kPng: return "image/png";
    case PictureKind::kBmp: return "image/bmp";
    case PictureKind::kGif: return "image/gif";
    case PictureKind::kIco: return "image/ico";
    default: return "";
  }
}

// Opens a picture's link: URLs of the allowed schemes after the question,
// paths that exist; everything else ends in its message.
void OpenPictureLink(Context& ctx, const SourcePicture& p) {
  if (p.data.size() > kPictureLinkLimit) {
    ReportMessage(ctx, kLinkTooLongText, kMsgError, "error");
    return;
  }
  size_t cursor = 0;
  std::string text = DecodeFieldText(p.data, cursor, p.enc, kPartEncoding);
  PictureLink link = ClassifyPictureLink(text, FolderOf(ctx.doc.sourceName));
  switch (link.kind) {
    case PictureLinkKind::kTooLong: ReportMessage(ctx, kLinkTooLongText, kMsgError, "error"); return;
    case PictureLinkKind::kInvalidColon: ReportMessage(ctx, kLinkInvalidColonText, kMsgWarning, "error"); return;
    case PictureLinkKind::kUrl:
      if (!AskRefused(ctx, kOpenUrlQuestion + link.target, kMsgWarning | kMsgModal | kMsgFocusNo, "warning"))
        ctx.host.openWithDesktop(link.target);
      return;
    case PictureLinkKind::kAbsolutePath:
    case PictureLinkKind::kRelativePath:
      if (!Exists(link.target)) {
        ReportMessage(ctx, "The file doesn't exist:\r\n\r\n" + link.target, kMsgWarning, "error");
        return;
      }
      ctx.host.openWithDesktop(link.target);
      return;
  }
}

// The source picture of a field, reported when it cannot be had.
std::optional<SourcePicture> ReadSourcePicture(Context& ctx, const Id3v2Field& f, const char* badEncoding,
                                               const char* badMime) {
  std::optional<std::vector<uint8_t>> body = SourceData(ctx, f, kFieldContentLimit);
  if (!body) return std::nullopt;
  SourcePicture p = ParsePicture(*body, EditedId3v2(ctx).srcversion.major);
  if (p.status == SourcePicture::Status::kBadEncoding) {
    ReportMessage(ctx, badEncoding, kMsgError, "error");
    return std::nullopt;
  }
  if (p.status == SourcePicture::Status::kBadMime) {
    ReportMessage(ctx, badMime, kMsgWarning, "error");
    return std::nullopt;
  }
  return p;
}

// Reads a whole file of at most limit bytes; false when it cannot be read.
bool ReadWholeFile(const std::string& path, int64_t limit, std::vector<uint8_t>& data, bool& tooLarge) {
  tooLarge = false;
  data.clear();
  InputFile file;
  if (!file.open(path)) return false;
  if (file.size() > limit) {
    tooLarge = true;
    return false;
  }
  data.resize(static_cast<size_t>(file.size()));
  return data.empty() || file.readAt(0, data.data(), data.size());
}

// The content of a field with an improper header, as stored after its
// header: at most cap bytes, resynchronised when the tag or (2.4) the frame is
// unsynchronised. The frame's flags are not trusted to say more.
bool ReadRawContent(const Id3v2TagState& tag, const Id3v2Field& f, InputFile& source, int64_t cap,
                    std::vector<uint8_t>& out) {
  out.clear();
  const uint32_t header = FieldHeaderLength(tag, f);
  const bool frameUnsync = tag.srcversion.major >= 4 && ((f.flaq >> 8) & 0x02);
  const bool unsync = tag.srcunsync || frameUnsync;
  // Unsynchronisation at most doubles the stored bytes.
  const int64_t want = std::min<int64_t>(f.dlen, header + (unsync ? 2 * cap : cap));
  std::vector<uint8_t> raw(static_cast<size_t>(want));
  if (!raw.empty() && !source.readAt(f.spos, raw.data(), raw.size())) return false;
  if (tag.srcunsync) {
    raw.resize(ResyncBytes(raw.data(), raw.size()).length);
  } else if (frameUnsync && raw.size() > header) {
    raw.resize(header + ResyncBytes(raw.data() + header, raw.size() - header).length);
  }
  if (raw.size() <= header) return true;
  const size_t n = static_cast<size_t>(std::min<int64_t>(cap, static_cast<int64_t>(raw.size() - header)));
  out.assign(raw.begin() + header, raw.begin() + static_cast<std::ptrdiff_t>(header + n));
  return true;
}

}  // namespace

std::string FieldDescription(const Id3v2Field& field) {
  if (field.tip == kFieldPicture) return PictureTypeName(field.sub);
  if (field.ind < Id3v2Catalogue.size()) return Id3v2Catalogue[field.ind].description;
  return "undefined";
}

void ViewFieldContent(Context& ctx, int64_t index, bool original, bool textInMessageBox,
                      const std::string& boxName) {
  Id3v2Field* fp = FieldAt(ctx, index);
  if (fp == nullptr) {
    ReportMessage(ctx, kNoFieldInBox, kMsgWarning, boxName);
    return;
  }
  const Id3v2Field& f = *fp;
  const std::string caption = FieldDescription(f);
  const bool text = f.tip == kFieldText;
  if (Added(f)) {
    if (text && original) {
      ReportMessage(ctx, kNotInOriginalTag, kMsgWarning, caption);
      return;
    }
    if (!text && !Loaded(f)) {
      ReportMessage(ctx, kContentEmptyField, kMsgWarning, caption);
      return;
    }
  }
  // The current content of a loaded field is its file; an added field has no other.
  const bool fromFile = !text && Loaded(f) && (!original || Added(f));

  if (!textInMessageBox) {
    if (fromFile) {
      if (!Exists(f.tload)) {
        ReportMessage(ctx, "The referenced file not found:\r\n" + f.tload, kMsgWarning, "error");
        return;
      }
      ctx.host.openWithDesktop(f.tload);
      return;
    }
    std::optional<std::vector<uint8_t>> data;
    if (text && Added(f)) {
      // An added text field has no source: its text as it stands now (UTF-8).
      data.emplace(f.tansi.begin(), f.tansi.end());
    } else {
      data = SourceData(ctx, f, kFieldContentLimit);
      if (!data) return;
      data->erase(data->begin(),
                  data->begin() + static_cast<std::ptrdiff_t>(AfterEncodingAndLanguage(*data, f.sub)));
    }
    const std::string path = WorkingFile(ctx, kTagTextFileName);
    if (!WriteBytes(path, *data)) {
      ReportMessage(ctx, std::string("Can't write to temporary text file.") + kTempNote, kModalError, "error");
      return;
    }
    ctx.host.openWithDesktop(path);
    return;
  }

  if (text) {
    const std::string& shown = original ? f.torig : f.tansi;
    if (shown.empty())
      ReportMessage(ctx, kContentEmptyText, kMsgWarning, caption);
    else
      ReportMessage(ctx, shown, kMsgInfo, caption);
    return;
  }
  std::vector<uint8_t> data;
  uint8_t enc = f.torenc;
  if (fromFile) {
    // The file holds the whole field body; its own encoding byte decodes it.
    bool tooLarge = false;
    if (!ReadWholeFile(f.tload, static_cast<int64_t>(kContentDisplayLimit), data, tooLarge)) {
      if (tooLarge)
        ReportMessage(ctx, kContentTooLargeToShow, kMsgWarning, "error");
      else
        ReportMessage(ctx, "The referenced file not found:\r\n" + f.tload, kMsgWarning, "error");
      return;
    }
    enc = (f.sub & kPartEncoding) && !data.empty() ? data[0] : kEncLatin1;
  } else {
    InputFile source;
    if (!OpenSource(ctx, source)) {
      ReportSourceGone(ctx);
      return;
    }
    ContentResult r = ReadFieldData(EditedId3v2(ctx), f, source, data, static_cast<int64_t>(kContentDisplayLimit));
    if (r == ContentResult::kTooLarge) {
      ReportMessage(ctx, kContentTooLargeToShow, kMsgWarning, "error");
      return;
    }
    if (r == ContentResult::kReadError) {
      ReportSourceGone(ctx);
      return;
    }
  }
  ContentView view = ContentForMessage(data, enc, f.sub);
  ReportMessage(ctx, view.text, view.kind, view.text == kContentTooLargeToShow ? "error" : caption);
}

void SaveFieldOriginal(Context& ctx, uint32_t index) {
  Id3v2Field* fp = FieldAt(ctx, index);
  if (fp == nullptr) return;
  const Id3v2Field& f = *fp;
  const std::string description = FieldDescription(f);
  if (Added(f)) {
    ReportMessage(ctx, description + "\r\n\r\n" + kNotInOriginalTag, kModalWarning, "error");
    return;
  }
  if (int64_t{f.dlen} > kFieldContentLimit) {
    ReportMessage(ctx, description + "\r\n\r\n" + kContentTooLargeText, kModalWarning, "size error");
    return;
  }
  FileDialogRequest request;
  request.title = "Save original";
  if (f.tip == kFieldText) {
    request.filter = "Text files|*.txt|All files|*.*";
    request.defaultExt = "txt";
  } else {
    request.filter = kAllFilesFilter;
  }
  std::optional<std::string> target = AskSaveTarget(ctx, request, ctx.options.tagSaveMixedFolder);
  if (!target) return;
  // The header fits in dlen, so the data never exceeds the 64 MB checked above.
  std::optional<std::vector<uint8_t>> data = SourceData(ctx, f, kFieldContentLimit);
  if (!data) return;
  const size_t start = ContentStart(*data, f.torenc, f.sub);
  data->erase(data->begin(), data->begin() + static_cast<std::ptrdiff_t>(start));
  if (!WriteBytes(*target, *data)) {
    ReportMessage(ctx, kOutputWriteFailed, kModalWarning, "error");
    return;
  }
  if (AskYesNo(ctx, "Copied the data. Open the file?", kModalQuestion, "prompt")) ctx.host.openWithDesktop(*target);
}

bool LoadFieldContent(Context& ctx, uint32_t index) {
  Id3v2Field* fp = FieldAt(ctx, index);
  if (fp == nullptr) return false;
  std::optional<std::string> path =
      AskOpenFile(ctx, "Choose the source file", kAllFilesFilter, ctx.options.tagLoadTextFolder);
  if (!path) return false;
  LoadResult r = LoadFieldFromFile(*fp, *path, (ctx.options.tagFlags & kSkipEmptyId3v2Fields) != 0);
  if (!r.message.empty()) ReportMessage(ctx, r.message, r.kind, r.caption);
  return r.loaded;
}

PictureView ViewPictureContent(Context& ctx, uint32_t index, bool original, bool internalViewer) {
  PictureView view;
  Id3v2Field* fp = FieldAt(ctx, index);
  if (fp == nullptr) return view;
  const Id3v2Field& f = *fp;
  view.pictureType = PictureTypeName(f.sub);
  if (Loaded(f) && (!original || Added(f))) {
    const PictureKind kind = PictureKindFromExtension(f.tload);
    if (!internalViewer || kind == PictureKind::kUnknown) {
      ctx.host.openWithDesktop(f.tload);
      return view;
    }
    std::string error = ReadPictureFile(f.tload, view.data);
    if (!error.empty()) {
      ReportMessage(ctx, error, kMsgWarning, "error");
      return view;
    }
    view.show = true;
    view.kind = kind;
    view.format = PictureKindExtension(kind);
    view.mime = MimeOf(kind);
    return view;
  }
  if (Added(f)) {
    ReportMessage(ctx, kPictureNotLoaded, kMsgWarning, "error");
    return view;
  }
  std::optional<SourcePicture> p = ReadSourcePicture(ctx, f, "Unknown content description encoding.\r\nCan't locate image data.",
                                                     "Invalid or unknown MIME type, can't display.");
  if (!p) return view;
  if (p->kind == PictureKind::kLink) {
    OpenPictureLink(ctx, *p);
    return view;
  }
  if (internalViewer) {
    view.show = true;
    view.kind = p->kind;
    view.format = PictureKindExtension(p->kind);
    view.mime = p->mime;
    view.data = std::move(p->data);
    return view;
  }
  OpenPictureWithDesktop(ctx, p->data, p->kind);
  return view;
}

void OpenPictureWithDesktop(Context& ctx, const std::vector<uint8_t>& data, PictureKind kind) {
  if (kind == PictureKind::kLink || kind == PictureKind::kUnknown) return;
  const std::string path = WorkingFile(ctx, PictureWorkingFileName(kind));
  ByteWrite w = WriteBytesThroughTemporaryFile(path, data.data(), data.size());
  if (w != ByteWrite::kWritten) {
    const char* what = (w == ByteWrite::kCreateFailed || w == ByteWrite::kRefused) ? "Can't create temporary file."
                                                                                   : "Disk error writing to temporary file.";
    ReportMessage(ctx, std::string(what) + kTempNote, kMsgError, "error");
    return;
  }
  ctx.host.openWithDesktop(path);
}

void SavePictureOriginal(Context& ctx, uint32_t index) {
  Id3v2Field* fp = FieldAt(ctx, index);
  if (fp == nullptr) return;
  const Id3v2Field& f = *fp;
  if (Added(f)) {
    ReportMessage(ctx, "This picture doesn't exist in the original file.", kMsgWarning, "error");
    return;
  }
  std::optional<SourcePicture> p = ReadSourcePicture(
      ctx, f, "Unknown field header encoding. Content can't be processed.", "Invalid or unknown MIME type, can't save.");
  if (!p) return;
  FileDialogRequest request;
  request.title = "Save original";
  request.filter = kAllFilesFilter;
  if (p->kind == PictureKind::kLink) {
    if (p->data.size() > kPictureLinkLimit) {
      ReportMessage(ctx, kLinkTooLongText, kMsgError, "error");
      return;
    }
    size_t cursor = 0;
    std::string text = DecodeFieldText(p->data, cursor, p->enc, kPartEncoding);
    PictureLink link = ClassifyPictureLink(text, FolderOf(ctx.doc.sourceName));
    if (link.kind == PictureLinkKind::kUrl) {
      ReportMessage(ctx,
                    "This picture field contains embedded URL instead of data.\r\nUse View button to open it with "
                    "system viewer (probably the default browser).\r\nYou may be able to save the picture from there.",
                    kMsgWarning, "View, not Save");
      return;
    }
    if (link.kind == PictureLinkKind::kInvalidColon) {
      ReportMessage(ctx, kLinkInvalidColonText, kMsgWarning, "error");
      return;
    }
    if (!AskYesNo(ctx,
                  "This picture field contains embedded path to a file, not data.\r\nAttempt to copy the referenced "
                  "file?\r\n" + link.target,
                  kModalQuestion, "prompt"))
      return;
    std::vector<uint8_t> bytes;
    bool tooLarge = false;
    if (!Exists(link.target)) {
      ReportMessage(ctx, "Unfortunately, this file doesn't exist.", kMsgWarning, "error");
      return;
    }
    request.fileName = FileNameOf(link.target);
    std::optional<std::string> target = AskSaveTarget(ctx, request, ctx.options.tagSavePictureFolder);
    if (!target) return;
    if (!ReadWholeFile(link.target, kPictureFileLimit, bytes, tooLarge) || !WriteBytes(*target, bytes))
      ReportMessage(ctx, "File copy failed.", kMsgWarning, "error");
    return;
  }
  const std::string ext = PictureKindExtension(p->kind);
  request.defaultExt = ext;
  request.fileName = "picture." + ext;
  std::optional<std::string> target = AskSaveTarget(ctx, request, ctx.options.tagSavePictureFolder);
  if (!target) return;
  if (!WriteBytes(*target, p->data)) ReportMessage(ctx, kPictureAccessFailed, kModalWarning, "error");
}

bool LoadPictureContent(Context& ctx, uint32_t index) {
  Id3v2Field* fp = FieldAt(ctx, index);
  if (fp == nullptr) return false;
  std::optional<std::string> path =
      AskOpenFile(ctx, "Choose the picture file", kPictureFilter, ctx.options.tagLoadPictureFolder);
  if (!path) return false;
  // The writer takes a picture file below 64 MB that it can read whole; one it
  // would leave out is refused now, while the user can still pick another.
  InputFile file;
  if (!file.open(*path)) {
    ReportMessage(ctx, kLoadReadErrorText, kModalWarning, "error");
    return false;
  }
  if (file.size() >= kPictureFileLimit) {
    ReportMessage(ctx, kImageTooLargeText, kModalWarning, "error");
    return false;
  }
  uint8_t probe[1];
  if (file.size() > 0 && !file.readAt(0, probe, 1)) {
    ReportMessage(ctx, kLoadReadErrorText, kModalWarning, "error");
    return false;
  }
  fp->tload = *path;
  fp->akcija = static_cast<uint8_t>((fp->akcija & kFieldAdded) | kFieldLoaded);
  return true;
}

std::string FieldInformationText(const Context& ctx, int64_t index) {
  const auto& fields = EditedId3v2(ctx).fields;
  if (index < 0 || static_cast<uint64_t>(index) >= fields.size()) return kNoFieldForInfo;
  const Id3v2Field& f = fields[static_cast<size_t>(index)];
  std::string text = f.thint;
  const std::string added = kNewlyAdded;
  if (text.size() >= added.size() && text.compare(text.size() - added.size(), added.size(), added) == 0)
    text.erase(text.size() - added.size());
  if (f.tip != kFieldPicture && (f.sub & kPartLanguage) && f.enc == kEncLatin1)
    text += "\r\nLanguage: " + (f.tlan.empty() ? std::string("unknown") : Upper(f.tlan));
  const uint8_t a = f.akcija;
  if ((a & 0x1F) == 0) {
    text += "\r\nThe field hasn't been modified.";
  } else if ((a & kFieldAdded) && (a & (kFieldEdited | kFieldEditedMultiLine))) {
    text += "\r\nThe field has been added to the tag.";
  } else {
    if (a & kFieldAdded) text += added + ".";
    if (a & kFieldLoaded) text += "\r\nThe field has been loaded from an external file.";
    if (a & (kFieldEdited | kFieldEditedMultiLine)) text += "\r\nThe field has been edited.";
  }
  return text;
}

void ShowFieldInformation(Context& ctx, int64_t index, const std::string& boxName) {
  Id3v2Field* fp = FieldAt(ctx, index);
  std::string caption = boxName;
  if (caption.empty() && fp != nullptr) caption = FieldDescription(*fp);
  ReportMessage(ctx, FieldInformationText(ctx, index), kMsgInfo, caption);
}

void ViewInvalidFields(Context& ctx) {
  Id3v2TagState& tag = EditedId3v2(ctx);
  for (size_t i = 0; i < tag.fields.size(); ++i) {
    const Id3v2Field& f = tag.fields[i];
    if ((f.err & (kErrUnknownEncoding | kErrMissingLanguage | kErrUnknownCode)) == 0) continue;
    const uint32_t header = FieldHeaderLength(tag, f);
    const int64_t contentSize = std::max<int64_t>(0, int64_t{f.dlen} - header);
    std::string code = (f.ind == 0 || (f.err & kErrUnknownCode)) ? f.tkod : Id3v2Code(f.ind, tag.srcversion.major);
    std::string question = "Field code: " + code + "\r\nHeader position: " +
                           std::to_string(int64_t{f.spos} - tag.tagstart) + "\r\n" +
                           "Content size: " + std::to_string(contentSize) + "\r\n\r\n" + "Show [some of] this field?";
    // Escape stands for Cancel: the walk stops.
    int answer = ctx.host.ask(question, kModalQuestion | kMsgEscapeAnswers, "prompt");
    if (answer == kAnswerEscape) return;
    if (answer != kAnswerYes) continue;

    InputFile source;
    std::vector<uint8_t> peek;
    if (!OpenSource(ctx, source) || !ReadRawContent(tag, f, source, static_cast<int64_t>(kContentPeekLimit), peek)) {
      ReportMessage(ctx, "Disk error reading data.", kMsgWarning, "error");
      continue;
    }
    if (peek.empty()) {
      ReportMessage(ctx, kContentEmptyField, kMsgWarning, code);
      continue;
    }
    // NULs would cut the text short in a message window.
    for (uint8_t& c : peek)
      if (c == 0) c = ' ';
    std::string shown = Latin1ToUtf8(peek.data(), peek.size()) + "\r\n\r\n- save the field to a file? -";
    if (AskRefused(ctx, shown, kModalQuestion, code)) continue;
    if (contentSize >= kFieldContentLimit) {
      ReportMessage(ctx, kContentTooLargeText, kMsgWarning, "error");
      continue;
    }
    std::vector<uint8_t> whole;
    if (!ReadRawContent(tag, f, source, contentSize, whole)) {
      ReportMessage(ctx, "Disk error reading data.", kMsgWarning, "error");
      continue;
    }
    FileDialogRequest request;
    request.title = "Save original";
    request.filter = kAllFilesFilter;
    std::optional<std::string> target = AskSaveTarget(ctx, request, ctx.options.tagSaveMixedFolder);
    if (!target) continue;
    if (!WriteBytes(*target, whole)) ReportMessage(ctx, kOutputWriteFailed, kModalWarning, "error");
  }
}

}  // namespace quorvel
