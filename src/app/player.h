#pragma once
// Playback through the desktop's player, and the shell hand-over of help files.
//
// Nothing is played here: the needed audio is written to a working file and the
// file is handed to the desktop (xdg-open), or, when the desktop has no program
// for it, to the player registered for audio/mpeg.

#include <string>
#include <vector>

#include "app/desktop_shell.h"
#include "core/context.h"
#include "core/working_files.h"

namespace quorvel {

extern const char* const kProgramHelpFile;  // "Quorvel.local.help.file.htm"
extern const char* const kScriptHelpFile;   // "Quorvel.script.tutorial.htm"

struct PlayerCommands {
  // The player's executable in double quotes (possibly with fixed arguments
  // inside the quotes), or empty.
  std::string playCommand;
  // The enqueue command without its file argument, or empty.
  std::string enqueueCommand;
};

// Reduces a registered play command ("%1" standing for the file) to its
// executable in double quotes. Results shorter than 2 characters are empty.
std::string ReducePlayCommand(const std::string& command);
// Drops the last argument (the file placeholder) of a registered enqueue command.
std::string ReduceEnqueueCommand(const std::string& command);

// What a desktop entry registers: the Exec key of its [Desktop Entry] group and
// of its "Enqueue" action (the action's id or its Name, in any case).
struct DesktopEntryExec {
  std::string exec;
  std::string enqueueExec;
};
DesktopEntryExec ParseDesktopEntry(const std::string& text);

// The play and enqueue commands of a desktop entry's Exec values: the file field
// codes %f %F %u %U take the place of "%1", the other field codes are dropped.
PlayerCommands PlayerCommandsFromExec(const std::string& exec, const std::string& enqueueExec);

// Desktop entry file of an id ("vlc.desktop"), searched in $XDG_DATA_HOME
// (default ~/.local/share) and each of $XDG_DATA_DIRS (default
// /usr/local/share:/usr/share), below "applications/". Empty when not found.
std::string FindDesktopEntry(const std::string& desktopId);

// Asks xdg-mime for the default audio/mpeg application and reads its entry.
PlayerCommands LookUpPlayerCommands();

// The program and its arguments that start a play or enqueue command with file.
// A quoted play command that names an executable as a whole keeps its blanks;
// otherwise the quoted text is split into the program and its fixed arguments.
std::vector<std::string> PlayCommandArgv(const std::string& playCommand, const std::string& file);
std::vector<std::string> EnqueueCommandArgv(const std::string& enqueueCommand, const std::string& file);

// The message for a shell result code; codes above 32 show nothing.
std::string ShellErrorText(int code);
void ShellErrorMessage(Context& ctx, int code);

// The player: its registered commands and the play, enqueue and help commands.
class Player {
 public:
  explicit Player(DesktopShell& shell) : shell_(shell) {}

  PlayerCommands commands;
  // Defers LookUpPlayerCommands to the first fallback that needs it: a silent
  // run that plays nothing does not start xdg-mime.
  bool lookUpOnFirstUse = false;

  // Sets the context's play hooks to this player (it must outlive ctx's use).
  void install(Context& ctx);

  // Hands one file to the desktop; byScript is a start by the running script.
  void PlayFile(Context& ctx, const std::string& file, bool byScript);

  // The play commands of the Play menu and of scripts.
  void PlayInput(Context& ctx, bool byScript);
  void PlayOutput(Context& ctx, bool byScript);
  void PlayPreview(Context& ctx, bool byScript);
  void PlaySelection(Context& ctx, bool byScript);
  bool available(const Context& ctx, PlayRequest request) const;

  // Enqueue menu items (only when commands.enqueueCommand is set).
  void EnqueueInput(Context& ctx);
  void EnqueuePreview(Context& ctx);
  void EnqueueOutput(Context& ctx);
  bool enqueueAvailable() const { return commands.enqueueCommand.size() >= 2; }

  // Pause before the registered player is started when the desktop could not
  // open the file, in milliseconds (3e-7 days).
  int fallbackPauseMs = 26;

 private:
  // Writes the edit (preview) or the selection to its working file, trying the
  // second name when the first cannot be written. Empty when neither worked.
  std::string writeWorkingFile(Context& ctx, bool selection);
  bool previewSourcesExist(Context& ctx);
  void warn(Context& ctx, const std::string& text, uint8_t code);
  void enqueue(Context& ctx, const std::string& file);

  DesktopShell& shell_;
};

// Opens a help file: the application folder, then ../share/quorvel/ beside it.
// Returns the path found, or empty when the file is missing.
std::string FindHelpFileIn(const std::string& applicationFolder, const std::string& name);
std::string FindHelpFile(const std::string& name);
void OpenHelpFile(Context& ctx, const std::string& name);
void OpenHelpFileIn(Context& ctx, const std::string& applicationFolder, const std::string& name);

}  // namespace quorvel
