#pragma once
// The engine context: owns the document, the running script's state and the
// options, and reaches the user and the desktop through the Host. There is no
// other program-wide state; every test builds its own Context.

#include <functional>
#include <optional>
#include <string>

#include "core/document.h"
#include "core/edit_inputs.h"
#include "core/host.h"
#include "core/options.h"
#include "core/script_run.h"

namespace quorvel {

// What a play command hands to the desktop's player.
enum class PlayRequest {
  Input,      // the loaded source file
  Output,     // the last saved output file
  Preview,    // the whole edit, written to a working file
  Selection,  // the selection, written to a working file
};

// State of the save procedure (output/save.h), kept between saves; the play
// commands read lastOutputName and lastSaveSucceeded.
struct SaveState {
  std::string writeTarget;     // the temporary file the writer wrote (target + ".mmtmpmp3" or a unique name of that form)
  std::string lastOutputName;  // final name of the last Save as / quick Save that reached the writer
  bool lastSaveSucceeded = false;
  bool targetExisted = false;
  bool overwriteDeclined = false;
  bool sourceReplaced = false;
  // The write was stopped by Esc or by a close request: an operation that
  // writes several files starts no further one.
  bool writeInterrupted = false;
  // Set while the "Save changes?" question at program exit runs the save.
  bool savingForExit = false;
  // The " Play &output (saved) file" command is enabled.
  bool playOutputEnabled = false;
};

// The tag editors' sessions. An editor edits a copy of the document's tag,
// never the tag itself: nothing it does reaches the document before O&K (or a
// save) commits the copy as one edit, and the engine ends a session whenever
// the document is closed or replaced, so no window holds on to a tag that is
// gone. `*Base` is the copy as the editor prepared it or as last committed:
// the session has changes while the copy differs from it.
struct TagEditSessions {
  std::optional<Id3v2TagState> id3v2;
  Id3v2TagState id3v2Base;
  std::optional<Id3v1State> id3v1;
  Id3v1State id3v1Base;
};

struct Context {
  explicit Context(Host& h) : host(h) {}
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  Host& host;
  DocumentState doc;
  ScriptRun script;
  Options options;
  // Inputs of the volume, fade, silence and insert operations (dialogs or script commands).
  EditInputs edit;

  // Settings folder with a trailing "/" (empty until the program start finds it).
  std::string settingsFolder;

  // Requests polled at the progress points of long operations.
  bool cancelRequest = false;
  bool closeRequest = false;
  // The busy cursor shows: a long operation runs (core/busy.h sets it with
  // doc.busy); NotReady refuses commands meanwhile.
  bool busyCursor = false;
  // Long operations running, the outermost first (core/busy.h).
  int busyDepth = 0;

  // "Save as" of the save procedure, installed by the output layer; used when
  // closing a changed document offers to save it first. Returns true when saved.
  std::function<bool(Context&)> saveAs;
  // Writes the settings file, installed by the application layer (commands that
  // change a remembered folder or list save it at once). Unset: nothing is written.
  std::function<void(Context&)> saveSettings;
  // The play commands, installed by the application layer (scripts reach them here).
  // play runs the command like the menu item would and returns script.resultCode
  // (it also leaves script.errorText); playAvailable is the state of its menu item.
  // Unset: nothing can be played.
  std::function<int(Context&, PlayRequest)> play;
  std::function<bool(const Context&, PlayRequest)> playAvailable;

  // Save procedure state (output layer).
  SaveState save;

  TagEditSessions tagEdit;
};

}  // namespace quorvel
