#include "ui/commands.h"

#include <algorithm>

#include "app/close_commands.h"
#include "app/player.h"
#include "core/analysis.h"
#include "core/document_ops.h"
#include "core/edit_ops.h"
#include "core/gain.h"
#include "core/insert_ops.h"
#include "output/save.h"
#include "output/split.h"
#include "ui/legend_window.h"
#include "ui/main_window.h"
#include "view/view_state.h"

namespace quorvel {

namespace {

using K = QKeySequence;

// An engine command that takes only the context; everything may have changed.
template <void (*F)(Context&)>
Changes Engine(MainWindow& w) {
  F(w.context());
  return kChangedDocument;
}

// A view movement; only the view changed.
template <bool (*F)(DocumentState&)>
Changes Move(MainWindow& w) {
  F(w.context().doc);
  return kChangedView;
}

}  // namespace

// A friend of MainWindow: the handlers below reach the window's own state.
const std::vector<CommandSpec>& CommandTable() {
  using W = MainWindow&;
  static const std::vector<CommandSpec> table = {
      {Command::kOpen, UiMenu::kFile, " &Open    (Alt+L)", "&Load", K(Qt::ALT | Qt::Key_L), "Choose a file to open",
       "open", 0,
       [](W w) -> Changes {
         if (NotReady(w.ctx_) || !w.askSaveChanges()) return 0;
         MenuLoadClick(w.ctx_);
         return kChangedDocument;
       }},
      {Command::kReopen, UiMenu::kFile, " &Reopen    (Alt+R)", "&Reload", K(Qt::ALT | Qt::Key_R),
       "Reopen last opened file", "reopen", 0,
       [](W w) -> Changes {
         // Reopening drops the edits as opening another file does: the same question first.
         if (NotReady(w.ctx_) || !w.askSaveChanges()) return 0;
         ReloadbutClick(w.ctx_);
         return kChangedDocument;
       }},
      {Command::kSaveAs, UiMenu::kFile, " Save &as    (Alt+A)", "Save &As", K(Qt::ALT | Qt::Key_A), "", "saveAs", 0,
       [](W w) -> Changes {
         const auto [v1, v2] = w.openTagEditors();
         ButSaveAsClick(w.ctx_);
         w.reopenTagEditors(v1, v2);
         return kChangedDocument;
       }},
      {Command::kQuickSave, UiMenu::kFile, " &Save    (Alt+S)", "&Save", K(Qt::ALT | Qt::Key_S), "", "save", 0,
       [](W w) -> Changes {
         const auto [v1, v2] = w.openTagEditors();
         MenuQuickSaveClick(w.ctx_, w.start_.calledWithFile);
         w.reopenTagEditors(v1, v2);
         return kChangedDocument;
       }},
      {Command::kSaveSelection, UiMenu::kFile, " Save the se&lection as    (Ctrl+F8)", "", K(Qt::CTRL | Qt::Key_F8),
       "", "saveSelection", kSeparatorBefore,
       [](W w) -> Changes {
         MenuSaveSelClick(w.ctx_);
         return kChangedDocument;
       }},
      {Command::kSplit, UiMenu::kFile, " Split into smaller &files    (Ctrl+F12)", "Split",
       K(Qt::CTRL | Qt::Key_F12), "Split into smaller files", "split", 0,
       [](W w) -> Changes {
         MenuSplitClick(w.ctx_);
         return kChangedDocument;
       }},
      {Command::kClose, UiMenu::kFile, " &Close (not needed)    (Ctrl+F4)", "", K(Qt::CTRL | Qt::Key_F4), "",
       "closeDocument", kSeparatorBefore,
       [](W w) -> Changes {
         // The source name stays: Reload opens the closed file again.
         MenuCloseClick(w.ctx_, w.start_.calledWithFile);
         return kChangedDocument;
       }},
      {Command::kCloseProgram, UiMenu::kFile, " Close the program    (Alt+F4)", "", K(Qt::ALT | Qt::Key_F4), "",
       "closeProgram", 0,
       [](W w) -> Changes {
         w.close();
         return kChangedDocument;
       }},
      {Command::kDelete, UiMenu::kEdit, " &Delete    (Ctrl+Del)", "Delete", K(Qt::CTRL | Qt::Key_Delete), "",
       "delete", 0,
       [](W w) -> Changes {
         DelButClick(w.ctx_);
         return kChangedDocument;
       }},
      {Command::kCut, UiMenu::kEdit, " Cu&t    (Ctrl+X)", "Cut", K(Qt::CTRL | Qt::Key_X), "", "cut", 0,
       &Engine<CutButClick>},
      {Command::kCopy, UiMenu::kEdit, " &Copy    (Ctrl+C)", "Copy", K(Qt::CTRL | Qt::Key_C), "", "copy", 0,
       &Engine<CopybutClick>},
      {Command::kPaste, UiMenu::kEdit, " &Paste    (Ctrl+V)", "Paste", K(Qt::CTRL | Qt::Key_V), "", "paste", 0,
       &Engine<PastebutClick>},
      {Command::kTrim, UiMenu::kEdit, " Tri&m    (Alt+M)", "Tri&m", K(Qt::ALT | Qt::Key_M), "", "trim", 0,
       &Engine<TrimButClick>},
      {Command::kSelectAll, UiMenu::kEdit, " &Select all    (Ctrl+A)", "Sel.All", K(Qt::CTRL | Qt::Key_A), "",
       "selectAll", kSeparatorBefore, &Engine<SelAllButClick>},
      {Command::kUnselect, UiMenu::kEdit, " U&nselect    (Ctrl+Alt+A)", "Unsel.", K(Qt::CTRL | Qt::ALT | Qt::Key_A),
       "", "unselect", 0, &Engine<UnselbutClick>},
      {Command::kUndo, UiMenu::kEdit, " &Undo    (Ctrl+Z)", "Undo", K(Qt::CTRL | Qt::Key_Z), "", "undo", 0,
       &Engine<UndobutClick>},
      {Command::kVolume, UiMenu::kEdit, " &Volume && Balance    (Alt+V)", "&Vol./bal.", K(Qt::ALT | Qt::Key_V), "",
       "volume", kSeparatorBefore, &Engine<AmplifybutClick>},
      {Command::kFade, UiMenu::kEdit, " &Fade in/out    (Alt+D)", "Fa&de in/out", K(Qt::ALT | Qt::Key_D), "",
       "fade", 0, &Engine<FadeButClick>},
      {Command::kSilence, UiMenu::kEdit, " &Add silence    (Alt+I)", "add S&il.", K(Qt::ALT | Qt::Key_I),
       "Insert blank frames (silence)", "silence", 0, &Engine<EmptybutClick>},
      {Command::kInsertFile, UiMenu::kEdit, " Insert (paste) &external file    (Ctrl+Ins)", "Insert",
       K(Qt::CTRL | Qt::Key_Insert), "Insert another file into this one", "insertFile", kSeparatorBefore,
       &Engine<MenuInsertClick>},
      {Command::kPlayInput, UiMenu::kPlay, " Play &input (loaded) file  (Alt+T)", "Inpu&t", K(Qt::ALT | Qt::Key_T),
       "", "playInput", 0,
       [](W w) -> Changes {
         w.player_.PlayInput(w.ctx_, false);
         return kChangedDocument;
       }},
      {Command::kPlayOutput, UiMenu::kPlay, " Play &output (saved) file  (Alt+O)", "&Output",
       K(Qt::ALT | Qt::Key_O), "", "playOutput", 0,
       [](W w) -> Changes {
         w.player_.PlayOutput(w.ctx_, false);
         return kChangedDocument;
       }},
      {Command::kPlayPreview, UiMenu::kPlay, " Play &preview (edited)  (Alt+P)", "&Preview", K(Qt::ALT | Qt::Key_P),
       "", "playPreview", 0,
       [](W w) -> Changes {
         w.player_.PlayPreview(w.ctx_, false);
         return kChangedDocument;
       }},
      {Command::kPlaySelection, UiMenu::kPlay, " Play &selection  (Alt+E)", "Sel&ection", K(Qt::ALT | Qt::Key_E),
       "", "playSelection", 0,
       [](W w) -> Changes {
         w.player_.PlaySelection(w.ctx_, false);
         return kChangedDocument;
       }},
      {Command::kPageUp, UiMenu::kNone, "", "", K(Qt::Key_PageUp), "", "pageUp", kAutoRepeatKey,
       [](W w) -> Changes {
         PageView(w.ctx_.doc, false);
         return kChangedView;
       }},
      {Command::kPageDown, UiMenu::kNone, "", "", K(Qt::Key_PageDown), "", "pageDown", kAutoRepeatKey,
       [](W w) -> Changes {
         PageView(w.ctx_.doc, true);
         return kChangedView;
       }},
      {Command::kViewStart, UiMenu::kNone, "", "", K(Qt::CTRL | Qt::Key_Home), "", "viewStart", 0,
       &Move<ViewToStart>},
      {Command::kViewEnd, UiMenu::kNone, "", "", K(Qt::CTRL | Qt::Key_End), "", "viewEnd", 0, &Move<ViewToEnd>},
      {Command::kCancel, UiMenu::kNone, "", "", K(Qt::Key_Escape), "", "cancel", 0,
       [](W w) -> Changes {
         w.requestCancel();
         return 0;
       }},
      {Command::kProgramHelp, UiMenu::kHelp, " Program &help", "", K(), "", "programHelp", 0,
       [](W w) -> Changes {
         OpenHelpFile(w.ctx_, kProgramHelpFile);
         return kChangedDocument;
       }},
      {Command::kScriptHelp, UiMenu::kHelp, " &Script language help", "", K(), "", "scriptHelp", 0,
       [](W w) -> Changes {
         OpenHelpFile(w.ctx_, kScriptHelpFile);
         return kChangedDocument;
       }},
      {Command::kLegend, UiMenu::kHelp, " &Frames legend", "", K(), "", "legend", kSeparatorBefore,
       [](W w) -> Changes {
         LegendWindow* legend = w.tools_.open<LegendWindow>();
         legend->setVersion(w.ctx_.doc.version);
         legend->show();
         legend->raise();
         return kChangedDocument;
       }},
  };
  return table;
}

const CommandSpec* FindCommand(Command command) {
  const std::vector<CommandSpec>& table = CommandTable();
  auto it = std::find_if(table.begin(), table.end(), [command](const CommandSpec& c) { return c.command == command; });
  return it != table.end() ? &*it : nullptr;
}

QString MenuText(const char* caption) { return QString::fromUtf8(caption) + QLatin1Char('\t'); }

QString CaptionOf(const QString& menuText) {
  return menuText.endsWith(QLatin1Char('\t')) ? menuText.chopped(1) : menuText;
}

}  // namespace quorvel
