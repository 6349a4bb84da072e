#include "app/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/paths.h"
#include "tags/bytes.h"
#include "tags/file_io.h"
#include "tags/text_helpers.h"

namespace quorvel {

const char* const kStartErrorFolderText =
    "The settings folder can't be created or used.\r\nAlternatively, you may have insufficient privileges to "
    "install the program,\r\nor suffer some kind of system corruption.";
const char* const kStartErrorConfigText = "Error reading the configuration.\r\nOptions reset to default.";

namespace {

constexpr char16_t kReplacement = 0xFFFD;
// Largest file a valid settings file can be: the block and 21 strings of 65535 units.
constexpr size_t kSettingsMaxFileSize = kSettingsBlockSize + kSettingsStringCount * (2 + 2 * 65535);

// ---------- UTF-8 / UTF-16 ----------

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// ---------- the block ----------

void PutPlace(ByteWriter& w, const WindowPlace& p) {
  w.le32(static_cast<uint32_t>(p.left));
  w.le32(static_cast<uint32_t>(p.top));
}

WindowPlace GetPlace(ByteReader& r) {
  WindowPlace p;
  p.left = static_cast<int32_t>(r.le32());
  p.top = static_cast<int32_t>(r.le32());
  return p;
}

void PutValues(ByteWriter& w, const std::array<int32_t, 4>& values) {
  for (int32_t v : values) w.le32(static_cast<uint32_t>(v));
}

std::array<int32_t, 4> GetValues(ByteReader& r) {
  std::array<int32_t, 4> values{};
  for (int32_t& v : values) v = static_cast<int32_t>(r.le32());
  return values;
}

uint16_t GetLe16(ByteReader& r) {
  uint8_t b[2] = {0, 0};
  r.bytes(b, 2);
  return static_cast<uint16_t>(le16(b));
}

// A short string of at most three characters: a length byte and three bytes.
void PutLanguage(ByteWriter& w, const std::string& language) {
  size_t n = language.size() < 3 ? language.size() : 3;
  w.u8(static_cast<uint8_t>(n));
  for (size_t i = 0; i < 3; ++i) w.u8(i < n ? static_cast<uint8_t>(language[i]) : 0);
}

std::string GetLanguage(ByteReader& r) {
  uint8_t length = r.u8();
  char chars[3] = {0, 0, 0};
  r.bytes(chars, 3);
  return std::string(chars, length < 3 ? length : 3);
}

// The strings after the block, in file order (Options or const Options).
template <class O>
auto StringSlots(O& o) {
  using Slot = decltype(&o.logPath);
  return std::array<Slot, kSettingsStringCount>{&o.lastSaveFolder,      &o.lastLoadFolder,       &o.scriptsFolder,      &o.tagSaveMixedFolder,
          &o.tagLoadTextFolder,   &o.tagSavePictureFolder, &o.tagLoadPictureFolder, &o.configFolder,
          &o.logPath,             &o.reservedText,         &o.recentFiles[0],     &o.recentScripts[0],
          &o.recentFiles[1],      &o.recentScripts[1],     &o.recentFiles[2],     &o.recentScripts[2],
          &o.recentFiles[3],      &o.recentScripts[3],     &o.recentFiles[4],     &o.recentScripts[4],
          &o.encodingDialogText};
}

constexpr size_t kLogPathSlot = 8;
constexpr size_t kEncodingTextSlot = 20;

void PutString(ByteWriter& w, const std::u16string& units) {
  w.le16(static_cast<uint32_t>(units.size()));
  for (char16_t u : units) w.le16(u);
}

// ---------- files ----------

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Replaces the file's contents. A regular file (or a new one) is replaced
// through a temporary file beside it and a rename, so that a reader (another
// instance) never sees half a file and a failure leaves the old file intact;
// a symbolic link is written through in place so that the link stays.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  if (path.empty()) return false;
  struct stat st {};
  bool exists = lstat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    return ok;
  }
  std::string temp = path + "." + std::to_string(getpid()) + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  if (exists) fchmod(fd, st.st_mode & 07777);
  bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

bool MakeFolders(const std::string& folder) {
  // Creates every missing component, as mkdir -p does.
  std::string partial;
  size_t start = 0;
  while (start <= folder.size()) {
    size_t slash = folder.find('/', start);
    if (slash == std::string::npos) slash = folder.size();
    partial = folder.substr(0, slash);
    start = slash + 1;
    if (partial.empty()) continue;
    if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

bool CopyFileIfMissing(const std::string& from, const std::string& to) {
  InputFile in;
  if (!in.open(from) || in.size() < 0 || static_cast<uint64_t>(in.size()) > kSettingsMaxFileSize) return false;
  std::vector<uint8_t> bytes(static_cast<size_t>(in.size()));
  if (!bytes.empty() && !in.readAt(0, bytes.data(), bytes.size())) return false;
  int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes);
  ok = close(fd) == 0 && ok;
  if (!ok) unlink(to.c_str());
  return ok;
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const uint8_t b = s[i];
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    // Lead byte: payload bits, continuation bytes, smallest code point allowed.
    uint32_t cp = 0;
    size_t extra = 0;
    uint32_t min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      cp = b & 0x1F;
      extra = 1;
      min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      cp = b & 0x0F;
      extra = 2;
      min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      cp = b & 0x07;
      extra = 3;
      min = 0x10000;
    } else {
      out += kReplacement;
      ++i;
      continue;
    }
    size_t j = 1;
    for (; j <= extra; ++j) {
      if (i + j >= n || (s[i + j] & 0xC0) != 0x80) break;
      cp = (cp << 6) | (s[i + j] & 0x3F);
    }
    if (j <= extra || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      // A broken sequence: one replacement for the bytes that looked like it.
      out += kReplacement;
      i += j;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += extra + 1;
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      uint32_t cp = 0x10000 + ((static_cast<uint32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      AppendUtf8(out, cp);
      ++i;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

std::vector<uint8_t> EncodeSettings(const Options& options) {
  const Options& o = options;
  ByteWriter w;
  w.le32(kOptionsMagic);
  PutPlace(w, o.mainWindow);
  PutPlace(w, o.silenceDialog);
  PutPlace(w, o.fadeDialog);
  PutPlace(w, o.volumeDialog);
  PutPlace(w, o.aboutBox);
  PutPlace(w, o.saveSelectionDialog);
  PutPlace(w, o.splitDialog);
  PutPlace(w, o.unusedPlace);
  PutPlace(w, o.id3v2Editor);
  PutPlace(w, o.id3v1Editor);
  PutPlace(w, o.textWindow);
  w.le32(static_cast<uint32_t>(o.textWindowWidth));
  w.le32(static_cast<uint32_t>(o.textWindowHeight));
  PutPlace(w, o.encodingDialog);
  PutValues(w, o.unusedValues);
  PutPlace(w, o.transferDialog);
  PutPlace(w, o.legendWindow);
  PutPlace(w, o.imageViewer);
  PutValues(w, o.messageWindow);
  PutValues(w, o.yesNoWindow);
  w.u8(o.messageWindowState);
  w.u8(o.yesNoWindowState);
  w.le16(o.transferImportSettings);
  w.le16(o.transferExportSettings);
  PutLanguage(w, o.defaultLanguage);
  PutLanguage(w, o.encodingDialogLanguage);
  w.u8(o.errorPolicy > 2 ? kErrorPrompt : o.errorPolicy);
  w.u8(o.overwritePolicy);
  w.u8(o.newTagFormat);
  w.u8(o.encodingDialogChoice);
  w.u8(o.autoExit);
  w.u8(o.id3v1Charset);
  w.u8(o.paddingIndex);
  w.u8(o.savedVolumeSteps);
  w.u8(o.savedFadeSteps);
  w.u8(o.volumeChannelAndTagSwitches);
  w.u8(o.rememberVolume);
  w.u8(o.rememberFade);
  w.u8(o.encodingDialogValue);
  w.u8(o.displayFlags);
  w.u8(o.mainFlags);
  w.u8(o.tagFlags);
  w.u8(o.listFlags);
  w.u8(o.encodingDialogMode);
  w.bytes(o.reserved.data(), o.reserved.size());

  const auto slots = StringSlots(options);
  for (size_t i = 0; i < slots.size(); ++i) {
    std::u16string units = Utf8ToUtf16(*slots[i]);
    if (i == kEncodingTextSlot && units.size() > kEncodingDialogTextMaxUnits) {
      size_t keep = kEncodingDialogTextMaxUnits;
      // Never keep half of a surrogate pair.
      if (IsHighSurrogate(units[keep - 1])) --keep;
      units.resize(keep);
    }
    if (units.size() > kSettingsStringMaxUnits) {
      units = i == kLogPathSlot ? Utf8ToUtf16(kDefaultLogFileName) : std::u16string();
    }
    PutString(w, units);
  }
  return std::move(w.data());
}

bool DecodeSettings(Options& options, std::span<const uint8_t> data) {
  if (data.size() < kSettingsBlockSize) return true;
  ByteReader r(data.data(), data.size());
  Options o = options;
  o.magic = r.le32();
  if (o.magic != kOptionsMagic) return true;
  o.mainWindow = GetPlace(r);
  o.silenceDialog = GetPlace(r);
  o.fadeDialog = GetPlace(r);
  o.volumeDialog = GetPlace(r);
  o.aboutBox = GetPlace(r);
  o.saveSelectionDialog = GetPlace(r);
  o.splitDialog = GetPlace(r);
  o.unusedPlace = GetPlace(r);
  o.id3v2Editor = GetPlace(r);
  o.id3v1Editor = GetPlace(r);
  o.textWindow = GetPlace(r);
  o.textWindowWidth = static_cast<int32_t>(r.le32());
  o.textWindowHeight = static_cast<int32_t>(r.le32());
  o.encodingDialog = GetPlace(r);
  o.unusedValues = GetValues(r);
  o.transferDialog = GetPlace(r);
  o.legendWindow = GetPlace(r);
  o.imageViewer = GetPlace(r);
  o.messageWindow = GetValues(r);
  o.yesNoWindow = GetValues(r);
  o.messageWindowState = r.u8();
  o.yesNoWindowState = r.u8();
  o.transferImportSettings = GetLe16(r);
  o.transferExportSettings = GetLe16(r);
  o.defaultLanguage = GetLanguage(r);
  o.encodingDialogLanguage = GetLanguage(r);
  o.errorPolicy = r.u8();
  o.overwritePolicy = r.u8();
  o.newTagFormat = r.u8();
  o.encodingDialogChoice = r.u8();
  o.autoExit = r.u8();
  o.id3v1Charset = r.u8();
  o.paddingIndex = r.u8();
  o.savedVolumeSteps = r.u8();
  o.savedFadeSteps = r.u8();
  o.volumeChannelAndTagSwitches = r.u8();
  o.rememberVolume = r.u8();
  o.rememberFade = r.u8();
  o.encodingDialogValue = r.u8();
  o.displayFlags = r.u8();
  o.mainFlags = r.u8();
  o.tagFlags = r.u8();
  o.listFlags = r.u8();
  o.encodingDialogMode = r.u8();
  r.bytes(o.reserved.data(), o.reserved.size());
  if (r.overrun() || r.pos() != kSettingsBlockSize) return true;

  for (std::string* slot : StringSlots(o)) {
    size_t count = GetLe16(r);
    if (r.overrun() || count * 2 > r.remaining()) return true;
    std::u16string units(count, u'\0');
    for (char16_t& u : units) u = GetLe16(r);
    *slot = Utf16ToUtf8(units);
  }
  if (r.overrun()) return true;
  ValidateOptions(o);
  options = std::move(o);
  return false;
}

bool WriteSettings(Options& options, const std::string& path) {
  if (options.errorPolicy > 2) options.errorPolicy = kErrorPrompt;
  std::vector<uint8_t> bytes = EncodeSettings(options);
  // A batch run saves the settings after every file; most of those saves
  // change nothing, and each write would cost a flush to the disk.
  InputFile current;
  if (current.open(path) && current.size() == static_cast<int64_t>(bytes.size())) {
    std::vector<uint8_t> stored(bytes.size());
    if (current.readAt(0, stored.data(), stored.size()) && stored == bytes) return false;
  }
  current.close();
  return !WriteFileBytes(path, bytes);
}

bool ReadSettings(Options& options, const std::string& path) {
  InputFile in;
  if (!in.open(path) || in.size() < static_cast<int64_t>(kSettingsBlockSize)) return true;
  size_t size = static_cast<uint64_t>(in.size()) > kSettingsMaxFileSize ? kSettingsMaxFileSize
                                                                        : static_cast<size_t>(in.size());
  std::vector<uint8_t> bytes(size);
  if (!in.readAt(0, bytes.data(), bytes.size())) return true;
  return DecodeSettings(options, bytes);
}

void ResetOptions(Options& options, int screenWidth, int screenHeight, const std::string& homeFolder) {
  if (screenWidth <= 0 || screenHeight <= 0) {
    screenWidth = kDefaultScreenWidth;
    screenHeight = kDefaultScreenHeight;
  }
  const int32_t hw = screenWidth / 2;
  const int32_t hh = screenHeight / 2;
  auto at = [&](int32_t dx, int32_t dy) { return WindowPlace{hw + dx, hh + dy}; };

  Options o;  // the fixed defaults
  o.mainWindow = at(-243, -261);
  o.silenceDialog = at(-145, -92);
  o.fadeDialog = at(-160, -110);
  o.volumeDialog = at(-140, -130);
  o.aboutBox = at(-223, -267);
  o.saveSelectionDialog = at(-129, -109);
  o.splitDialog = at(-144, -281);
  o.unusedPlace = at(-211, -205);
  o.id3v2Editor = at(-257, -328);
  o.id3v1Editor = at(-250, -112);
  o.textWindow = at(-92, -170);
  o.encodingDialog = at(-267, -145);
  o.unusedValues = {hw - 145, hw - 142, hw - 195, hh - 110};
  o.transferDialog = at(-147, -192);
  o.legendWindow = WindowPlace{kMainWindowDefaultWidth + hw - 243, hh - 218};
  o.imageViewer = at(0, 0);
  o.messageWindow = {hw - 200, hh - 100, 400, 200};
  o.yesNoWindow = {hw - 200, hh - 100, 400, 200};

  const std::string home = homeFolder.empty() ? std::string("/") : homeFolder;
  for (std::string* folder : {&o.lastSaveFolder, &o.lastLoadFolder, &o.scriptsFolder, &o.tagSaveMixedFolder,
                              &o.tagLoadTextFolder, &o.tagSavePictureFolder, &o.tagLoadPictureFolder,
                              &o.configFolder}) {
    *folder = home;
  }
  o.logPath = JoinPath(home, kDefaultLogFileName);
  options = std::move(o);
}

void ValidateOptions(Options& o) {
  o.encodingDialogChoice %= 5;
  o.encodingDialogMode %= 3;
  if (o.savedVolumeSteps > 40) o.savedVolumeSteps = 20;
  if (o.savedFadeSteps > 40) o.savedFadeSteps = 20;
  const uint8_t version = o.newTagFormat & 0x7F;
  if (version < 2 || version > 4) o.newTagFormat = 3;
  if (o.errorPolicy > 2) o.errorPolicy = kErrorPrompt;
  if (o.autoExit > 2) o.autoExit = 0;
  if (o.paddingIndex > 6) o.paddingIndex = 0;
  // The other choices that pick one item of an option menu or a window state.
  if (o.overwritePolicy > 2) o.overwritePolicy = 1;
  if (o.rememberVolume > 2) o.rememberVolume = 0;
  if (o.rememberFade > 2) o.rememberFade = 1;
  if (o.messageWindowState != 0 && o.messageWindowState != 2) o.messageWindowState = 0;
  if (o.yesNoWindowState != 0 && o.yesNoWindowState != 2) o.yesNoWindowState = 0;
}

std::optional<std::string> SettingsFolder(bool createMissing) {
  std::string base;
  const char* xdg = getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] != '/') return std::nullopt;
    base = JoinPath(home, ".config");
  }
  std::string folder = AbsoluteNormalPath(JoinPath(base, "quorvel"));
  if (createMissing && !MakeFolders(folder)) return std::nullopt;
  return folder == "/" ? folder : folder + "/";
}

void DeleteWorkingFiles(const std::string& folder) {
  if (folder.empty()) return;
  for (const char* name : kWorkingFileNames) unlink(JoinPath(folder, name).c_str());
}

std::string SettingsFilePath(const Context& ctx) {
  if (ctx.settingsFolder.empty()) return {};
  return JoinPath(ctx.settingsFolder, kSettingsFileName);
}

bool SaveSettingsFile(Context& ctx) {
  std::string path = SettingsFilePath(ctx);
  if (path.empty()) return true;
  return WriteSettings(ctx.options, path);
}

bool LoadSettingsFile(Context& ctx, int screenWidth, int screenHeight) {
  std::string path = SettingsFilePath(ctx);
  if (!path.empty() && !ReadSettings(ctx.options, path)) return false;
  ResetOptions(ctx.options, screenWidth, screenHeight, HomeFolder());
  SaveSettingsFile(ctx);
  return true;
}

uint8_t PrepareSettings(Context& ctx, bool anotherInstance, const std::string& applicationFolder,
                        int screenWidth, int screenHeight) {
  // Every instance creates a missing folder: on a first run several silent runs
  // may start at once, and only one of them holds the instance marker.
  std::optional<std::string> folder = SettingsFolder(true);
  if (!folder) return kStartEnvironmentUnusable;
  ctx.settingsFolder = *folder;
  const std::string settingsFile = SettingsFilePath(ctx);
  if (!anotherInstance) {
    if (!applicationFolder.empty() && !FileExists(settingsFile)) {
      CopyFileIfMissing(JoinPath(applicationFolder, kSettingsFileName), settingsFile);
    }
    DeleteWorkingFiles(ctx.settingsFolder);
  }
  if (!FileExists(settingsFile)) {
    // First run: nothing was lost, so nothing to report.
    ResetOptions(ctx.options, screenWidth, screenHeight, HomeFolder());
    SaveSettingsFile(ctx);
    return kStartOk;
  }
  return LoadSettingsFile(ctx, screenWidth, screenHeight) ? kStartSettingsReset : kStartOk;
}

}  // namespace quorvel
