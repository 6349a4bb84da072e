#pragma once
// Everything the engine needs from the user or the desktop goes through Host.
// The Qt window implements it; tests and the silent script run use HeadlessHost.

#include <optional>
#include <string>

#include "core/edit_inputs.h"
#include "core/split_inputs.h"
#include "tags/message_kind.h"

namespace quorvel {

// What changed, so that a window redraws only what shows it. A set of these
// bits goes with every Host::changed call.
using Changes = unsigned;
constexpr Changes kChangedCursor = 0x01;       // cursor or selection
constexpr Changes kChangedEditList = 0x02;     // the frames of the edit, their gains, the statistics
constexpr Changes kChangedTags = 0x04;         // the tags or the remove boxes
constexpr Changes kChangedOptions = 0x08;      // options and settings
constexpr Changes kChangedModified = 0x10;     // the modified state or the document's file name
constexpr Changes kChangedRecentFiles = 0x20;  // the recent files or recent scripts list
constexpr Changes kChangedClipboard = 0x40;    // the local clipboard (Paste)
constexpr Changes kChangedView = 0x80;         // viewStart
// A document was loaded or closed: everything is new.
constexpr Changes kChangedDocument = 0xFF;

// Names of the long operations reported by busyBegin and busyEnd.
constexpr const char* kBusyLoad = "load";
constexpr const char* kBusyInsert = "insert";
constexpr const char* kBusySave = "save";
constexpr const char* kBusyWrite = "write";

struct FileDialogRequest {
  std::string title;
  std::string filter;        // "mp3 files|*.mp3|all files|*.*"
  std::string folder;        // folder the dialog starts in
  std::string fileName;      // proposed name, may be empty
  std::string defaultExt;    // without the dot
  bool mustExist = false;    // open dialogs: only an existing file is accepted
  bool overwritePrompt = false;
};

// What arrived while events were pumped: Esc pressed, or the main window asked to close.
struct EventRequests {
  bool cancel = false;
  bool close = false;
};

class Host {
 public:
  virtual ~Host() = default;

  virtual void showMessage(const std::string& text, int kind, const std::string& caption) = 0;
  // Asks a question; returns kAnswerYes (Yes or OK), kAnswerNo (No or cancel) or,
  // with kind bit 0x20, kAnswerEscape when Escape closed the window.
  virtual int ask(const std::string& text, int kind, const std::string& caption) = 0;

  virtual std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) = 0;

  // Busy cursor on, File/Options/Script menus disabled (and the reverse). Called
  // only when the outermost long operation begins and when it ends.
  virtual void setBusy(bool busy) = 0;
  // A long operation begins or ends. Operations nest (the writer runs inside a
  // save); every begin has its end, innermost first.
  virtual void busyBegin(const std::string& /*operation*/) {}
  virtual void busyEnd(const std::string& /*operation*/) {}
  // Progress of a long operation, 0..1.
  virtual void reportProgress(double fraction) = 0;
  // Lets the window system process pending events; returns the requests that came in.
  virtual EventRequests processEvents() = 0;
  // A close request that arrived during a long operation is carried out now.
  virtual void closeMainWindow() = 0;
  // The Esc and close requests recorded since the last processEvents, without
  // processing events; they are cleared. Asked when the busy state ends (a
  // request made while a save's own dialog was open is not left for the next
  // operation) and when a script run ends.
  virtual EventRequests takePendingRequests() { return {}; }

  // Opens a file or URL with the desktop's associated program; returns a shell result code
  // (42 success, 2 file not found, 3 path not found, 11 bad format, 31 no association).
  virtual int openWithDesktop(const std::string& target) = 0;

  // Something in the document, the tags or the options changed; views redraw
  // from the engine's state. changed says what; a host that does not look at the
  // bits redraws everything through documentChanged.
  virtual void changed(Changes /*what*/) { documentChanged(); }
  virtual void documentChanged() {}

  // The engine ends the tag editors' sessions (the document is closed,
  // replaced or reopened, or a script starts): the ID3v2 and ID3v1 editors and
  // the windows that show their fields close at once, busy or not, and show
  // nothing of the session any more.
  virtual void closeTagWindows() {}
  // The tag editors open with changes not applied yet apply them, each as its
  // O&K does (with O&K's own questions), and stay open on the new state.
  // False when the user went back to an editor from such a question.
  virtual bool applyTagEdits() { return true; }

  // The editing dialogs: shown with the given state, they return the accepted
  // values, or nothing when cancelled. A host without them cancels.
  virtual std::optional<VolumeChoice> askVolume(const VolumeDialogState&) { return std::nullopt; }
  virtual std::optional<FadeChoice> askFade(const FadeDialogState&) { return std::nullopt; }
  virtual std::optional<SilenceChoice> askSilence(const SilenceDialogState&) { return std::nullopt; }

  // The save-selection and split dialogs: shown with the given state, they
  // return the state the user accepted with "O&K", or nothing when cancelled.
  // A host without them cancels.
  virtual std::optional<SaveSelectionDialogState> askSaveSelection(const SaveSelectionDialogState&) {
    return std::nullopt;
  }
  virtual std::optional<SplitDialogState> askSplit(const SplitDialogState&) { return std::nullopt; }
};

}  // namespace quorvel
