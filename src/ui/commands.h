#pragma once
// The window's commands: one QAction each, shared by its button, its menu item
// and its key. The table holds the captions, keys and hints; the window wires
// each action to its engine call and takes its enabled state from the engine.

#include <QKeySequence>
#include <QString>
#include <vector>

namespace quorvel {

enum class UiCommand {
  kOpen,
  kReopen,
  kSaveAs,
  kSave,
  kSaveSelection,
  kSplit,
  kClose,
  kCloseProgram,
  kDelete,
  kCut,
  kCopy,
  kPaste,
  kTrim,
  kSelectAll,
  kUnselect,
  kUndo,
  kVolume,
  kFade,
  kSilence,
  kInsertFile,
  kPlayInput,
  kPlayOutput,
  kPlayPreview,
  kPlaySelection,
  kPageUp,
  kPageDown,
  kViewStart,
  kViewEnd,
  kEscape,
  kProgramHelp,
  kScriptHelp,
  kLegend,
};

enum class UiMenu { kNone, kFile, kEdit, kPlay, kHelp };

struct CommandSpec {
  UiCommand id;
  UiMenu menu;
  const char* menuCaption;    // as the menu shows it, accelerator text included; empty: no menu item
  const char* buttonCaption;  // empty: no button
  QKeySequence key;           // empty: none
  const char* hint;           // tooltip of the button; empty: none
  const char* name;           // object name of the action
};

const std::vector<CommandSpec>& CommandTable();
const CommandSpec& CommandFor(UiCommand id);

// A menu caption as the action carries it: the accelerator text is part of the
// caption, so a final tab keeps the menu from printing the key a second time.
QString MenuText(const char* caption);
// The caption without that final tab.
QString CaptionOf(const QString& menuText);

}  // namespace quorvel
