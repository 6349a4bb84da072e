#pragma once
// The user's options, dialog settings, remembered folders, recent lists and window
// positions. The settings file stores them (app/settings.h); default member values
// are the installation defaults that do not depend on the screen or the home folder.

#include <array>
#include <cstdint>
#include <string>

namespace quorvel {

constexpr uint32_t kOptionsMagic = 0xFF0BF6F0;

// mainFlags
constexpr uint8_t kReloadAfterOverwrite = 0x01;
constexpr uint8_t kPromptSaveOnClose = 0x02;
constexpr uint8_t kSelectAllOnLoad = 0x04;
constexpr uint8_t kAutoCheckUnknownAndRiff = 0x08;
constexpr uint8_t kMessageAfterScript = 0x10;
constexpr uint8_t kIgnoreErrorsSilent = 0x20;
constexpr uint8_t kShowEditedStats = 0x40;
constexpr uint8_t kScriptsOrderLocked = 0x80;
// tagFlags
constexpr uint8_t kTagFlagRememberEncodingDialog = 0x10;  // "remember settings" of the text encoding dialog
constexpr uint8_t kTagFlagEditorInstructions = 0x20;  // the ID3v2 editor's one-time instructions are due
constexpr uint8_t kSkipEmptyId3v2Fields = 0x40;
constexpr uint8_t kSaveFolderIsLastSave = 0x80;
// volumeChannelAndTagSwitches, above the volume dialog's two channel bits:
// the tag editors' switches.
constexpr uint8_t kTagSwitchShowTransferDialog = 0x04;  // "show dialog": the tag transfer opens its dialog
constexpr uint8_t kTagSwitchFolderAsAlbum = 0x08;       // "album": the scan takes the folder's name as album
constexpr uint8_t kTagSwitchSplitFolder = 0x10;         // "split": the folder is named "artist - album"
// displayFlags: how the ID3v2 editor shows field contents (bit 0x01 is the
// red captions of app/options_menu.h)
constexpr uint8_t kPicturesInInternalViewer = 0x02;  // else the desktop's viewer
constexpr uint8_t kTextsInMessageBox = 0x04;         // else the desktop's application for text files
// listFlags
constexpr uint8_t kRecentListTakesSaved = 0x80;

// errorPolicy
constexpr uint8_t kErrorFail = 0;
constexpr uint8_t kErrorPrompt = 1;
constexpr uint8_t kErrorTryToContinue = 2;

struct WindowPlace {
  int32_t left = 0;
  int32_t top = 0;
};

struct Options {
  // The fixed 274-byte block, in file order.
  uint32_t magic = kOptionsMagic;
  WindowPlace mainWindow;
  WindowPlace silenceDialog;
  WindowPlace fadeDialog;
  WindowPlace volumeDialog;
  WindowPlace aboutBox;
  WindowPlace saveSelectionDialog;
  WindowPlace splitDialog;
  WindowPlace unusedPlace;  // offset 60, read by no window
  WindowPlace id3v2Editor;
  WindowPlace id3v1Editor;
  WindowPlace textWindow;
  int32_t textWindowWidth = 340;
  int32_t textWindowHeight = 184;
  WindowPlace encodingDialog;
  std::array<int32_t, 4> unusedValues{};  // offset 108, read by no window
  WindowPlace transferDialog;
  WindowPlace legendWindow;
  WindowPlace imageViewer;
  std::array<int32_t, 4> messageWindow{0, 0, 400, 200};  // left, top, width, height
  std::array<int32_t, 4> yesNoWindow{0, 0, 400, 200};
  uint8_t messageWindowState = 0;  // 0 normal, 2 maximized
  uint8_t yesNoWindowState = 0;
  uint16_t transferImportSettings = 383;
  uint16_t transferExportSettings = 383;
  std::string defaultLanguage = "eng";         // stored as a length byte 3 and three characters
  std::string encodingDialogLanguage = "eng";
  uint8_t errorPolicy = kErrorTryToContinue;
  uint8_t overwritePolicy = 1;   // 0 never without prompt, 1 prompt only on "save as", 2 always
  uint8_t newTagFormat = 3;      // major version 2..4, +0x80 with unsynchronisation
  uint8_t encodingDialogChoice = 0;
  uint8_t autoExit = 0;          // 0 never, 1 if called with a parameter, 2 always
  uint8_t id3v1Charset = 0;
  uint8_t paddingIndex = 0;      // 0, 2, 4, 16, 64, 256, 1024 bytes
  uint8_t savedVolumeSteps = 20;
  uint8_t savedFadeSteps = 20;
  uint8_t volumeChannelAndTagSwitches = 0;  // low two bits: volume dialog channel choice
  uint8_t rememberVolume = 0;
  uint8_t rememberFade = 1;
  uint8_t encodingDialogValue = 5;
  uint8_t displayFlags = 7;
  uint8_t mainFlags = 0x6E;
  uint8_t tagFlags = 0xE0;
  uint8_t listFlags = 0;
  uint8_t encodingDialogMode = 0;
  std::array<uint8_t, 62> reserved = filledReserved();

  // The strings after the block, in file order (UTF-8 here, UTF-16LE in the file).
  std::string lastSaveFolder;
  std::string lastLoadFolder;
  std::string scriptsFolder;
  std::string tagSaveMixedFolder;
  std::string tagLoadTextFolder;
  std::string tagSavePictureFolder;
  std::string tagLoadPictureFolder;
  std::string configFolder;
  std::string logPath;
  std::string reservedText;
  std::array<std::string, 5> recentFiles;
  std::array<std::string, 5> recentScripts;
  std::string encodingDialogText;

  bool mainFlag(uint8_t bit) const { return (mainFlags & bit) != 0; }

 private:
  static std::array<uint8_t, 62> filledReserved() {
    std::array<uint8_t, 62> bytes{};
    bytes.fill(0x6F);
    return bytes;
  }
};

}  // namespace quorvel
