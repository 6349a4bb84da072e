#include "script/command_texts.h"

#include <array>

#include "core/context.h"
#include "output/save.h"
#include "output/writer.h"
#include "script/reader.h"

namespace quorvel {

namespace {

using R = CodeTextRule;

constexpr std::array kTrim{
    CodeText{0, R::kSuccess, ""},
    CodeText{1, R::kFixed, "TRIM: multiple frames not selected."},
    CodeText{2, R::kFixed, "TRIM: some frames must be out of the selection in order to trim."},
    CodeText{255, R::kNotReady, ""},
};

constexpr std::array kDelete{
    CodeText{0, R::kSuccess, ""},
    CodeText{1, R::kFixed, "DELETE: edited frames count zero, nothing to delete."},
    CodeText{2, R::kFixed, "DELETE: at least one frame must be left."},
    CodeText{3, R::kFixed, "DELETE: multiple frames not selected."},
    CodeText{255, R::kNotReady, ""},
};

constexpr std::array kBaseDelete{
    CodeText{0, R::kSuccess, ""},
    CodeText{1, R::kFixed, "BASEDELETE: edited frames count zero, nothing to delete."},
    CodeText{2, R::kFixed, "BASEDELETE: at least one frame must be left."},
    CodeText{3, R::kFixed, "BASEDELETE: multiple frames not selected."},
    CodeText{255, R::kNotReady, ""},
};

constexpr std::array kCut{
    CodeText{0, R::kSuccess, ""},
    CodeText{1, R::kFixed, "CUT: edited frames count zero, nothing to delete."},
    CodeText{2, R::kFixed, "CUT: at least one frame must be left."},
    CodeText{3, R::kFixed, "CUT: multiple frames not selected."},
    CodeText{255, R::kNotReady, ""},
};

constexpr std::array kCopy{
    CodeText{0, R::kSuccess, ""},
    CodeText{1, R::kFixed, "COPY: you must select some frames first."},
    CodeText{254, R::kFixed, "COPY: frame count zero."},
    CodeText{255, R::kNotReady, ""},
};

constexpr std::array kPaste{
    CodeText{0, R::kSuccess, ""},
    CodeText{1, R::kFixed, "PASTE: edited frames count zero, nothing to delete prior to paste into selection."},
    CodeText{11, R::kFixed, "PASTE: clipboard is empty."},
    CodeText{255, R::kNotReady, ""},
};

constexpr std::array kSelectAll{
    CodeText{0, R::kSuccess, ""},
    CodeText{1, R::kFixed, "SELECTALL: frame count zero."},
    CodeText{255, R::kNotReady, ""},
};

constexpr std::array kUnselect{
    CodeText{0, R::kSuccess, ""},
    CodeText{1, R::kFixed, "UNSELECT: no selection."},
    CodeText{255, R::kNotReady, ""},
};

constexpr std::array kFadeIn{
    CodeText{0, R::kSuccess, ""},
    CodeText{1, R::kFixed, "FADEIN: multiple frames not selected."},
    CodeText{2, R::kFixed, "FADEIN: only one frame selected (at least two needed)."},
    CodeText{255, R::kNotReady, ""},
};

constexpr std::array kFadeOut{
    CodeText{0, R::kSuccess, ""},
    CodeText{1, R::kFixed, "FADEOUT: multiple frames not selected."},
    CodeText{2, R::kFixed, "FADEOUT: only one frame selected (at least two needed)."},
    CodeText{255, R::kNotReady, ""},
};

constexpr std::array kVolume{
    CodeText{0, R::kSuccess, ""},
    CodeText{1, R::kFixed, "VOLUME: multiple frames not selected."},
    CodeText{255, R::kNotReady, ""},
};

// The silence operation answers 1 when the main window is not ready.
constexpr std::array kSilence{
    CodeText{0, R::kSuccess, ""},
    CodeText{2, R::kFixed, "SILENCE: warning - maximum of 256K frames have been inserted."},
    CodeText{kAnyOtherCode, R::kNotReady, ""},
};

constexpr std::array kInsert{
    CodeText{1, R::kWithMessage, "INSERT: "},
    CodeText{2, R::kWithMessage, "INSERT: "},
    CodeText{3, R::kWithMessage, "INSERT: "},
    CodeText{4, R::kWithMessage, "INSERT: "},
    CodeText{5, R::kWithMessage, "INSERT: "},
    CodeText{6, R::kWithMessage, "INSERT: "},
    CodeText{7, R::kWithMessage, "INSERT: "},
    CodeText{8, R::kWithMessage, "INSERT: "},
    CodeText{9, R::kWithMessage, "INSERT: "},
    CodeText{10, R::kWithMessage, "INSERT: "},
    CodeText{11, R::kWithMessage, "INSERT: "},
    CodeText{12, R::kWithMessage, "INSERT: "},
    CodeText{13, R::kWithMessage, "INSERT: "},
    CodeText{14, R::kWithMessage, "INSERT: "},
    CodeText{128, R::kFixed, "INSERT: Maximum number of files already inserted."},
    CodeText{129, R::kNotReady, ""},
    CodeText{130, R::kFixed, "INSERT: all is selected, use LOAD instead to replace the file."},
    CodeText{kAnyOtherCode, R::kSuccess, ""},
};

constexpr std::array kLoad{
    CodeText{0, R::kSuccess, ""},
    CodeText{255, R::kNotReady, ""},
    CodeText{kAnyOtherCode, R::kWithMessage, "LOAD:\r\n"},
};

constexpr std::array kSaveAs{
    CodeText{0, R::kSuccess, ""},
    CodeText{kAnyOtherCode, R::kWithMessage, "SAVEAS:\r\n"},
};

constexpr std::array kSave{
    CodeText{kRenameFailedCode, R::kWithMessage, "SAVE:\r\n"},
    CodeText{kWriteFailedCode, R::kWithMessage, "SAVE: "},
    CodeText{kWriteTagFailedCode, R::kFixed, "SAVE: error writing id3v2 tag, not saved."},
    CodeText{kAnyOtherCode, R::kSuccess, ""},
};

constexpr std::array kSaveSelection{
    CodeText{0, R::kSuccess, ""},
    CodeText{1, R::kFixed, "SAVESELECTION: no multiple frames selection."},
    CodeText{2, R::kFixed, "SAVESELECTION: all is selected, use SAVE[AS] command instead."},
    CodeText{255, R::kNotReady, ""},
    // A failed write of the selection file is a failed statement.
    CodeText{kAnyOtherCode, R::kWithMessage, "SAVESELECTION:\r\n"},
};

constexpr std::array kSplit{
    CodeText{0, R::kSuccess, ""},
    CodeText{1, R::kFixed, "SPLIT: all is selected, use SAVE[AS] instead."},
    CodeText{2, R::kFixed, "SPLIT: no selection, cursor at an end, use SAVE[AS] instead."},
    CodeText{255, R::kNotReady, ""},
    CodeText{kAnyOtherCode, R::kWithMessage, "SPLIT:\r\n"},
};

constexpr std::array kReload{
    CodeText{0, R::kSuccess, ""},
    CodeText{255, R::kNotReady, ""},
    CodeText{kAnyOtherCode, R::kWithMessage, "RELOAD: "},
};

constexpr std::array kPlayInput{
    CodeText{0, R::kSuccess, ""},
    CodeText{255, R::kNotReady, ""},
    CodeText{kAnyOtherCode, R::kWithMessage, "PLAYINPUT: "},
};

constexpr std::array kPlayOutput{
    CodeText{0, R::kSuccess, ""},
    CodeText{255, R::kNotReady, ""},
    CodeText{kAnyOtherCode, R::kWithMessage, "PLAYOUTPUT: "},
};

constexpr std::array kPlayPreview{
    CodeText{0, R::kSuccess, ""},
    CodeText{2, R::kWithMessage, "PLAYPREVIEW:\r\n"},
    CodeText{255, R::kNotReady, ""},
    CodeText{kAnyOtherCode, R::kWithMessage, "PLAYPREVIEW: "},
};

constexpr std::array kPlaySelection{
    CodeText{0, R::kSuccess, ""},
    CodeText{2, R::kWithMessage, "PLAYSELECTION:\r\n"},
    CodeText{255, R::kNotReady, ""},
    CodeText{kAnyOtherCode, R::kWithMessage, "PLAYSELECTION: "},
};

}  // namespace

std::string ResultCodeText(const Context& ctx, std::span<const CodeText> table, uint8_t code,
                           const std::string& message) {
  const CodeText* row = nullptr;
  for (const CodeText& t : table) {
    if (t.code == code) {
      row = &t;
      break;
    }
    if (t.code == kAnyOtherCode) row = &t;
  }
  if (row == nullptr) return {};
  switch (row->rule) {
    case CodeTextRule::kSuccess:
      return {};
    case CodeTextRule::kFixed:
      return row->text;
    case CodeTextRule::kNotReady:
      return NotReadyText(ctx);
    case CodeTextRule::kWithMessage:
      return row->text + message;
  }
  return {};
}

std::span<const CodeText> TrimCodeTexts() { return kTrim; }
std::span<const CodeText> DeleteCodeTexts() { return kDelete; }
std::span<const CodeText> BaseDeleteCodeTexts() { return kBaseDelete; }
std::span<const CodeText> CutCodeTexts() { return kCut; }
std::span<const CodeText> CopyCodeTexts() { return kCopy; }
std::span<const CodeText> PasteCodeTexts() { return kPaste; }
std::span<const CodeText> SelectAllCodeTexts() { return kSelectAll; }
std::span<const CodeText> UnselectCodeTexts() { return kUnselect; }
std::span<const CodeText> FadeCodeTexts(bool fadeIn) {
  if (fadeIn) return kFadeIn;
  return kFadeOut;
}
std::span<const CodeText> VolumeCodeTexts() { return kVolume; }
std::span<const CodeText> SilenceCodeTexts() { return kSilence; }
std::span<const CodeText> InsertCodeTexts() { return kInsert; }
std::span<const CodeText> LoadCodeTexts() { return kLoad; }
std::span<const CodeText> SaveAsCodeTexts() { return kSaveAs; }
std::span<const CodeText> SaveCodeTexts() { return kSave; }
std::span<const CodeText> SaveSelectionCodeTexts() { return kSaveSelection; }
std::span<const CodeText> SplitCodeTexts() { return kSplit; }
std::span<const CodeText> ReloadCodeTexts() { return kReload; }
std::span<const CodeText> PlayInputCodeTexts() { return kPlayInput; }
std::span<const CodeText> PlayOutputCodeTexts() { return kPlayOutput; }
std::span<const CodeText> PlayPreviewCodeTexts() { return kPlayPreview; }
std::span<const CodeText> PlaySelectionCodeTexts() { return kPlaySelection; }

}  // namespace quorvel
