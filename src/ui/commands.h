#pragma once
// The window's commands: one QAction each, shared by its button, its menu item
// and its key. Each row of the table names the engine's command (whose
// availability the view computes, view/availability.h), the captions, key and
// hint, and the handler the action runs.

#include <QKeySequence>
#include <QString>
#include <vector>

#include "core/host.h"
#include "view/availability.h"

namespace quorvel {

class MainWindow;

enum class UiMenu { kNone, kFile, kEdit, kPlay, kHelp };

// Row flags.
constexpr unsigned kSeparatorBefore = 0x01;  // the menu item starts a new group
constexpr unsigned kAutoRepeatKey = 0x02;    // a key held down repeats the command

struct CommandSpec {
  Command command;
  UiMenu menu;
  const char* menuCaption;    // as the menu shows it, accelerator text included; empty: no menu item
  const char* buttonCaption;  // empty: no button
  QKeySequence key;           // empty: none
  const char* hint;           // tooltip of the button; empty: none
  const char* name;           // object name of the action
  unsigned flags;
  // Runs the command (the window has checked that it is available); returns
  // what it changed, for the window to redraw.
  Changes (*handler)(MainWindow& window);
};

// In the order of the menus.
const std::vector<CommandSpec>& CommandTable();
// The row of an engine command; nullptr when the window has no action for it.
const CommandSpec* FindCommand(Command command);

// A menu caption as the action carries it: the accelerator text is part of the
// caption, so a final tab keeps the menu from printing the key a second time.
QString MenuText(const char* caption);
// The caption without that final tab.
QString CaptionOf(const QString& menuText);

}  // namespace quorvel
