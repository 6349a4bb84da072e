#pragma once
// The settings file and the settings folder.
//
// "quorvel.ini" (and every configuration file saved by the user) is binary:
// a 274-byte little-endian block that starts with the magic 0xFF0BF6F0,
// followed by 21 strings, each an unsigned 16-bit count of UTF-16 code units
// and the UTF-16LE code units themselves, without terminator. The settings
// folder also holds the working files (playback copies, the ID3v2 temporary
// file and tag contents written out for viewing).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/working_files.h"
#include "core/options.h"

namespace quorvel {

constexpr size_t kSettingsBlockSize = 274;
constexpr size_t kSettingsStringCount = 21;
// Strings longer than this many UTF-16 code units are written as empty.
constexpr size_t kSettingsStringMaxUnits = 32767;
// The text of the encoding dialog is cut to this many code units when written.
constexpr size_t kEncodingDialogTextMaxUnits = 1024;

// Screen size assumed when the real one is not known.
constexpr int kDefaultScreenWidth = 1920;
constexpr int kDefaultScreenHeight = 1080;
// Width of the main window, by which the frame legend sits beside it by default.
constexpr int kMainWindowDefaultWidth = 486;

// The settings file and the working files are named in core/working_files.h.
constexpr const char* kDefaultLogFileName = "Quorvel.log";

// Start errors.
constexpr uint8_t kStartOk = 0;
constexpr uint8_t kStartEnvironmentUnusable = 1;
constexpr uint8_t kStartSettingsReset = 5;

extern const char* const kStartErrorFolderText;  // start error 1, a modal error, caption "Quorvel"
extern const char* const kStartErrorConfigText;  // start error 5, kind 2, caption "Quorvel"

// UTF-8 <-> UTF-16 as stored in the settings file. Malformed input (invalid
// UTF-8, unpaired surrogates) becomes U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);

// The bytes of a settings file for these options (errorPolicy above 2 is written as 1).
std::vector<uint8_t> EncodeSettings(const Options& options);
// Parses a settings file's bytes. On success the options are replaced by what
// was read and validated; on failure (short data, wrong magic) they are left as
// they were and the result is true.
bool DecodeSettings(Options& options, std::span<const uint8_t> data);

// Writes a new file (an existing one is replaced). True when it failed.
bool WriteSettings(Options& options, const std::string& path);
// Reads a file written by WriteSettings. True when it failed (missing, short,
// unreadable, wrong magic); the options are then unchanged.
bool ReadSettings(Options& options, const std::string& path);

// Installation defaults. Window positions are centred on a screen of the given
// size (kDefaultScreenWidth x kDefaultScreenHeight when either is not positive);
// the folders are homeFolder, the log file homeFolder + "/Quorvel.log".
void ResetOptions(Options& options, int screenWidth, int screenHeight, const std::string& homeFolder);

// Replaces out-of-range values by usable ones.
void ValidateOptions(Options& options);

// The settings folder with a trailing "/": $XDG_CONFIG_HOME/quorvel/ when
// XDG_CONFIG_HOME is absolute, else $HOME/.config/quorvel/. With createMissing
// the folder (and its parents) are created with mode 0700 when missing.
// Nothing when no absolute base exists or the folder cannot be created.
std::optional<std::string> SettingsFolder(bool createMissing = true);

// Deletes the working files in folder (the settings file stays).
void DeleteWorkingFiles(const std::string& folder);

// "quorvel.ini" in ctx.settingsFolder; empty when the folder is not known.
std::string SettingsFilePath(const Context& ctx);

// WriteSettings of ctx.options to the settings file. True when it failed.
bool SaveSettingsFile(Context& ctx);
// ReadSettings of the settings file into ctx.options. When that fails the
// options are reset to the defaults, the defaults are written to the settings
// file, and the result is true (start-up then shows kStartErrorConfigText).
bool LoadSettingsFile(Context& ctx, int screenWidth = 0, int screenHeight = 0);

// The settings steps of the program start: finds the settings folder (creating
// it and deleting stale working files only when no other instance runs), copies
// a settings file from applicationFolder when the folder has none, and loads the
// settings. Sets ctx.settingsFolder; returns kStartOk, kStartEnvironmentUnusable
// or kStartSettingsReset. A settings file that does not exist at all (the first
// run) is not an error: the defaults are written.
uint8_t PrepareSettings(Context& ctx, bool anotherInstance, const std::string& applicationFolder,
                        int screenWidth = 0, int screenHeight = 0);

}  // namespace quorvel
