#pragma once
// The files the program keeps in its settings folder, named once. The play
// commands write the preview and selection files (a second name is used while a
// player still holds the first), the tag editors write field contents out for
// viewing; the first running instance deletes all of them at start.

#include <array>

namespace quorvel {

constexpr const char* kSettingsFileName = "quorvel.ini";
constexpr const char* kPreviewFileName = "quorvel.Preview.mp3";
constexpr const char* kPreviewAltFileName = "quorvel.Prevyu.mp3";
constexpr const char* kSelectionFileName = "quorvel.Selection.mp3";
constexpr const char* kSelectionAltFileName = "quorvel.Selexion.mp3";
constexpr const char* kTagTempFileName = "quorvel.tag.file";
constexpr const char* kTagImageJpgFileName = "Quorvel.tag.image.jpg";
constexpr const char* kTagImagePngFileName = "Quorvel.tag.image.png";
constexpr const char* kTagImageIcoFileName = "Quorvel.tag.image.ico";
constexpr const char* kTagImageBmpFileName = "Quorvel.tag.image.bmp";
constexpr const char* kTagImageGifFileName = "Quorvel.tag.image.gif";
constexpr const char* kTagTextFileName = "Quorvel.tag.txt";

// The working files: deleted by the first instance at start, never the settings file.
constexpr std::array<const char*, 11> kWorkingFileNames = {
    kPreviewFileName,     kPreviewAltFileName,  kSelectionFileName,   kSelectionAltFileName,
    kTagTempFileName,     kTagImageJpgFileName, kTagImagePngFileName, kTagImageIcoFileName,
    kTagImageBmpFileName, kTagImageGifFileName, kTagTextFileName};

}  // namespace quorvel
