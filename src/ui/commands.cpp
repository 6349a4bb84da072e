#include "ui/commands.h"

namespace quorvel {

namespace {

using K = QKeySequence;

const std::vector<CommandSpec> kCommands = {
    {UiCommand::kOpen, UiMenu::kFile, " &Open    (Alt+L)", "&Load", K(Qt::ALT | Qt::Key_L), "Choose a file to open",
     "open"},
    {UiCommand::kReopen, UiMenu::kFile, " &Reopen    (Alt+R)", "&Reload", K(Qt::ALT | Qt::Key_R),
     "Reopen last opened file", "reopen"},
    {UiCommand::kSaveAs, UiMenu::kFile, " Save &as    (Alt+A)", "Save &As", K(Qt::ALT | Qt::Key_A), "", "saveAs"},
    {UiCommand::kSave, UiMenu::kFile, " &Save    (Alt+S)", "&Save", K(Qt::ALT | Qt::Key_S), "", "save"},
    {UiCommand::kSaveSelection, UiMenu::kFile, " Save the se&lection as    (Ctrl+F8)", "", K(Qt::CTRL | Qt::Key_F8), "",
     "saveSelection"},
    {UiCommand::kSplit, UiMenu::kFile, " Split into smaller &files    (Ctrl+F12)", "Split", K(Qt::CTRL | Qt::Key_F12),
     "Split into smaller files", "split"},
    {UiCommand::kClose, UiMenu::kFile, " &Close (not needed)    (Ctrl+F4)", "", K(Qt::CTRL | Qt::Key_F4), "",
     "closeDocument"},
    {UiCommand::kCloseProgram, UiMenu::kFile, " Close the program    (Alt+F4)", "", K(Qt::ALT | Qt::Key_F4), "",
     "closeProgram"},
    {UiCommand::kDelete, UiMenu::kEdit, " &Delete    (Ctrl+Del)", "Delete", K(Qt::CTRL | Qt::Key_Delete), "",
     "delete"},
    {UiCommand::kCut, UiMenu::kEdit, " Cu&t    (Ctrl+X)", "Cut", K(Qt::CTRL | Qt::Key_X), "", "cut"},
    {UiCommand::kCopy, UiMenu::kEdit, " &Copy    (Ctrl+C)", "Copy", K(Qt::CTRL | Qt::Key_C), "", "copy"},
    {UiCommand::kPaste, UiMenu::kEdit, " &Paste    (Ctrl+V)", "Paste", K(Qt::CTRL | Qt::Key_V), "", "paste"},
    {UiCommand::kTrim, UiMenu::kEdit, " Tri&m    (Alt+M)", "Tri&m", K(Qt::ALT | Qt::Key_M), "", "trim"},
    {UiCommand::kSelectAll, UiMenu::kEdit, " &Select all    (Ctrl+A)", "Sel.All", K(Qt::CTRL | Qt::Key_A), "",
     "selectAll"},
    {UiCommand::kUnselect, UiMenu::kEdit, " U&nselect    (Ctrl+Alt+A)", "Unsel.", K(Qt::CTRL | Qt::ALT | Qt::Key_A),
     "", "unselect"},
    {UiCommand::kUndo, UiMenu::kEdit, " &Undo    (Ctrl+Z)", "Undo", K(Qt::CTRL | Qt::Key_Z), "", "undo"},
    {UiCommand::kVolume, UiMenu::kEdit, " &Volume && Balance    (Alt+V)", "&Vol./bal.", K(Qt::ALT | Qt::Key_V), "",
     "volume"},
    {UiCommand::kFade, UiMenu::kEdit, " &Fade in/out    (Alt+D)", "Fa&de in/out", K(Qt::ALT | Qt::Key_D), "",
     "fade"},
    {UiCommand::kSilence, UiMenu::kEdit, " &Add silence    (Alt+I)", "add S&il.", K(Qt::ALT | Qt::Key_I),
     "Insert blank frames (silence)", "silence"},
    {UiCommand::kInsertFile, UiMenu::kEdit, " Insert (paste) &external file    (Ctrl+Ins)", "Insert",
     K(Qt::CTRL | Qt::Key_Insert), "Insert another file into this one", "insertFile"},
    {UiCommand::kPlayInput, UiMenu::kPlay, " Play &input (loaded) file  (Alt+T)", "Inpu&t", K(Qt::ALT | Qt::Key_T),
     "", "playInput"},
    {UiCommand::kPlayOutput, UiMenu::kPlay, " Play &output (saved) file  (Alt+O)", "&Output",
     K(Qt::ALT | Qt::Key_O), "", "playOutput"},
    {UiCommand::kPlayPreview, UiMenu::kPlay, " Play &preview (edited)  (Alt+P)", "&Preview", K(Qt::ALT | Qt::Key_P),
     "", "playPreview"},
    {UiCommand::kPlaySelection, UiMenu::kPlay, " Play &selection  (Alt+E)", "Sel&ection", K(Qt::ALT | Qt::Key_E),
     "", "playSelection"},
    {UiCommand::kPageUp, UiMenu::kNone, "", "", K(Qt::Key_PageUp), "", "pageUp"},
    {UiCommand::kPageDown, UiMenu::kNone, "", "", K(Qt::Key_PageDown), "", "pageDown"},
    {UiCommand::kViewStart, UiMenu::kNone, "", "", K(Qt::CTRL | Qt::Key_Home), "", "viewStart"},
    {UiCommand::kViewEnd, UiMenu::kNone, "", "", K(Qt::CTRL | Qt::Key_End), "", "viewEnd"},
    {UiCommand::kEscape, UiMenu::kNone, "", "", K(Qt::Key_Escape), "", "cancel"},
    {UiCommand::kProgramHelp, UiMenu::kHelp, " Program &help", "", K(), "", "programHelp"},
    {UiCommand::kScriptHelp, UiMenu::kHelp, " &Script language help", "", K(), "", "scriptHelp"},
    {UiCommand::kLegend, UiMenu::kHelp, " &Frames legend", "", K(), "", "legend"},
};

}  // namespace

const std::vector<CommandSpec>& CommandTable() { return kCommands; }

// The table lists the commands in the order of the enum.
const CommandSpec& CommandFor(UiCommand id) { return kCommands[static_cast<size_t>(id)]; }

QString MenuText(const char* caption) { return QString::fromUtf8(caption) + QLatin1Char('\t'); }

QString CaptionOf(const QString& menuText) {
  return menuText.endsWith(QLatin1Char('\t')) ? menuText.chopped(1) : menuText;
}

}  // namespace quorvel
