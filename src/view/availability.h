#pragma once
// Which commands of the main window are enabled, computed in one place from the
// context with the rules the operations themselves apply: nothing while a script
// runs or NotReady holds, document commands only with a loaded document, the play
// commands only while their files exist. The window calls ComputeAvailability
// from its 937 ms refresh and after every change notification, and enables its
// buttons and menu items from the result; it never decides availability itself.
//
// A command that the operation would still refuse with a message (Volume without
// a selection, Insert with a full file table) stays enabled, so the user sees
// that message.

#include <array>
#include <cstdint>

#include "core/context.h"

namespace quorvel {

class Player;

enum class Command : uint8_t {
  kOpen,
  kReopen,
  kClose,
  kSave,        // the "Save" button of the source line
  kSaveAs,
  kQuickSave,   // the File menu's quick "&Save"
  kSaveSelection,
  kSplit,
  kDelete,
  kCut,
  kCopy,
  kPaste,
  kTrim,
  kUndo,
  kSelectAll,
  kUnselect,
  kInsertFile,
  kSilence,
  kVolume,
  kFade,
  kPlayInput,
  kPlayOutput,
  kPlayPreview,
  kPlaySelection,
  kPlayMenu,  // enabled when one of the four play commands is
  kEnqueueInput,
  kEnqueueOutput,
  kEnqueuePreview,
  kId3v2Editor,
  kId3v1Editor,
  kTagTransfer,
  kViewUnknownHeader,
  kViewUnknownFooter,
  kViewLyrics3,
  kOptionsMenu,
  kScriptsMenu,
  // The window's own commands: the program, its help files, and the view keys.
  kCloseProgram,
  kProgramHelp,
  kScriptHelp,
  kLegend,
  kPageUp,
  kPageDown,
  kViewStart,
  kViewEnd,
  kCancel,  // Esc: cancels the running operation or script
  kCount
};

constexpr size_t kCommandCount = static_cast<size_t>(Command::kCount);

// The file checks of the availability: two file-system look-ups, kept apart so
// that a caller can reuse them (and tests can state them).
struct CommandFiles {
  bool sourceExists = false;  // doc.sourceName names an existing file
  bool outputExists = false;  // ctx.save.lastOutputName names an existing file
};
CommandFiles CheckCommandFiles(const Context& ctx);

class CommandAvailability {
 public:
  bool operator[](Command c) const { return enabled_[static_cast<size_t>(c)]; }
  void set(Command c, bool on) { enabled_[static_cast<size_t>(c)] = on; }
  bool operator==(const CommandAvailability&) const = default;

 private:
  std::array<bool, kCommandCount> enabled_{};
};

// player (may be null) supplies the enqueue items; without it they are disabled.
// hostBusy: the window shows a long operation running (Host::setBusy), which
// refuses commands as NotReady does.
CommandAvailability ComputeAvailability(const Context& ctx, const CommandFiles& files,
                                        const Player* player = nullptr, bool hostBusy = false);
// The same with the file checks made now.
CommandAvailability ComputeAvailability(const Context& ctx, const Player* player = nullptr, bool hostBusy = false);

// True while the window's menus refuse every command: a script runs or NotReady holds.
bool CommandsRefused(const Context& ctx);
// The commands that stay available while every other one is refused: Esc,
// which cancels the running operation or script.
bool LiveWhileRefused(Command c);

}  // namespace quorvel
