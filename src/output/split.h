#pragma once
// Save the selection and split: write a part of the edit (the selection, or the
// frames before, inside and after it) to files of their own, each with the
// source's non-audio blocks the user chose to attach. Every file goes through
// the save procedure with the selection purpose; the document is not changed.
//
// The dialogs' state (names with their colours, labels, attach boxes, part
// switches and captions, "O&K") is computed here; the host draws it and hands
// back the state the user accepted (core/split_inputs.h).

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "core/context.h"
#include "core/split_inputs.h"

namespace quorvel {

extern const char* const kNoSelectionText;          // "You must have a selection."
extern const char* const kSaveSelectionAllText;     // all frames selected, save selection
extern const char* const kSplitAllText;             // all frames selected, split
extern const char* const kSplitCursorAtEndText;     // no selection, cursor at an end
extern const char* const kNameNotSpecifiedText;     // "not specified yet"
extern const char* const kAttachHint;               // "Check to write, not discard"
extern const char* const kNameButtonHint;           // the colours of the name buttons
extern const char* const kSaveSelectionNote;        // "the file will be saved when you click the OK button"
extern const char* const kSplitNote;                // "files will be saved when you click the OK button"
extern const char* const kInputFileTargetText;      // a target that the edit reads its frames from

// Script result codes.
constexpr uint8_t kSaveSelNoSelection = 1;
constexpr uint8_t kSaveSelAllSelected = 2;
constexpr uint8_t kSplitAllSelected = 1;
constexpr uint8_t kSplitNothingToSplit = 2;
constexpr uint8_t kSplitSameName = 3;
constexpr uint8_t kSplitInputFileTarget = 4;

// Whether the file to write can carry a block of this kind: the source has it
// (the ID3v2 tag also when the tag state has fields to write, the ID3v1 tag also
// when its editor made one).
bool AttachAvailable(const Context& ctx, int kind);
// The six attach boxes, cleared; enabled when available (and when the part is on).
// The save-selection dialog's captions carry accelerators, the split dialog's not.
std::array<AttachBox, kAttachKinds> PrepareAttachBoxes(const Context& ctx, bool forSplit, bool partOn);

// The colour of a name button for a chosen name.
FileNameState NameStateOf(const std::string& name);
// The label of a chosen name: the name when fits() accepts it; otherwise "..."
// followed by the end of the name, shortened from its start until fits()
// accepts it but never below 13 characters (whole UTF-8 characters are removed).
std::string ShortenedNameLabel(const std::string& name, const std::function<bool(const std::string&)>& fits);
// Double-click on a name label: the full name in a message box, caption
// "full filename:" (fileNumber 0) or "full filename 1:" .. "full filename 3:".
void ShowFullFileName(Context& ctx, const std::string& name, int fileNumber);

// Save-selection dialog.
SaveSelectionDialogState PrepareSaveSelectionDialog(const Context& ctx);
// Takes a chosen name: button colour, label, note shown, "O&K" enabled.
void SetSaveSelectionName(SaveSelectionDialogState& state, const std::string& name);
// "File&name:": asks the host for a file name (last save folder, "mp3"); on a
// choice the name is taken and the last save folder follows it. True on a choice.
bool ChooseSaveSelectionName(Context& ctx, SaveSelectionDialogState& state);

// Split: the ordered bounds s <= e (s = e = cursor without a selection) and
// whether a selection exists; part 1 = 0 .. s-1, part 2 = s .. e-1, part 3 = e .. N-1.
struct SplitBounds {
  int32_t s = 0;
  int32_t e = 0;
  bool selection = false;
};
SplitBounds SplitBoundsOf(const DocumentState& doc);

SplitDialogState PrepareSplitDialog(const Context& ctx);
// A part switch: the part's name button and attach boxes follow it.
void SetSplitPartSwitch(const Context& ctx, SplitDialogState& state, int part, bool on);
void SetSplitPartName(SplitDialogState& state, int part, const std::string& name);
// A name button (part 0..2): a file-save dialog in the last save folder, no name proposed.
bool ChooseSplitPartName(Context& ctx, SplitDialogState& state, int part);
// "O&K": at least one available part is on and every part that is on has a name.
bool SplitOkEnabled(const SplitDialogState& state);

// "You can't save different parts to the same filename.\r\nFilenames a and b are identical."
std::string DuplicateNameText(int fileNumber, int otherNumber);
// The first other part (index) that is on and available and names the same
// file as part; -1 when none.
int DuplicatePart(const SplitDialogState& state, int part);

// Availability of the menu items.
bool SaveSelectionAvailable(const Context& ctx);
bool SplitAvailable(const Context& ctx);

// " Save the se&lection as    (Ctrl+F8)". In a script the dialog is not shown:
// scriptTarget is the file name and nothing is attached.
void MenuSaveSelClick(Context& ctx, const std::string& scriptTarget = {});
// "Split" / " Split into smaller &files    (Ctrl+F12)". In a script the dialog is
// not shown: scriptTargets are the statement's names for files 1..3 (without a
// selection the file after the cursor takes the second one); nothing is attached.
void MenuSplitClick(Context& ctx, const std::array<std::string, 3>& scriptTargets = {});

}  // namespace quorvel
