#pragma once
// What the save-selection and split dialogs show and hand back: per output
// file a name with its colour state and label, and six boxes that attach the
// source's non-audio blocks; for the split, the three parts with their ranges,
// switches and captions. The values are computed by output/split.h; the
// windows only draw them and return the state the user accepted.

#include <array>
#include <cstdint>
#include <string>

namespace quorvel {

// The attach boxes, in the order the dialogs show them.
enum AttachKind : int {
  kAttachRiff = 0,
  kAttachLyrics3 = 1,
  kAttachId3v2 = 2,
  kAttachUnknownHeader = 3,
  kAttachUnknownFooter = 4,
  kAttachId3v1 = 5,
};
constexpr int kAttachKinds = 6;

struct AttachBox {
  std::string caption;
  bool enabled = false;  // the source has the block (and, when splitting, the part is switched on)
  bool checked = false;  // write the block into this file
};

// Colour of a name button: yellow, green or red.
enum class FileNameState : uint8_t {
  kNotChosen = 0,  // yellow: no name chosen yet
  kNew = 1,        // green: the file does not exist and will be created
  kExisting = 2,   // red: the file exists and will be overwritten
};

struct OutputFileState {
  std::string name;  // empty until chosen
  FileNameState nameState = FileNameState::kNotChosen;
  std::string label;  // "not specified yet" or the name
  std::array<AttachBox, kAttachKinds> attach;
};

// " Save the selection as"
struct SaveSelectionDialogState {
  std::string caption;
  std::string nameButton;  // "File&name:"
  OutputFileState file;
  bool okEnabled = false;
  bool noteVisible = false;  // shown once a name is chosen
  std::string note;
  int32_t first = 0;  // the selection written: positions first .. end - 1
  int32_t end = 0;
};

struct SplitPartState {
  int number = 0;  // the file number its caption and messages use
  int32_t first = 0;  // positions first .. end - 1
  int32_t end = 0;
  bool available = false;  // the part is not empty: its switch is enabled
  bool switchedOn = false;
  std::string switchCaption;  // "Save file &1: left of (before) the selection"
  std::string caption;        // " File 1: left of (before) selection " or " File 1: N/A "
  std::string nameButton;     // "File&name:", "Filen&ame:", "Filena&me:"
  OutputFileState file;
};

// " File split"
struct SplitDialogState {
  std::string caption;
  bool selection = false;  // a selection exists: the "just save the selection" button shows
  std::string saveSelectionButton;  // "just save\r\nthe selection"
  std::string saveSelectionHint;
  std::array<SplitPartState, 3> parts;
  bool okEnabled = false;
  std::string note;
  // Set by the window when the user pressed "just save the selection".
  bool switchToSaveSelection = false;
};

}  // namespace quorvel
