#include "view/availability.h"

#include <sys/stat.h>

#include "app/player.h"
#include "core/document_ops.h"
#include "core/edit_ops.h"
#include "output/split.h"

namespace quorvel {

namespace {

bool RegularFileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool CanPlay(const Context& ctx, PlayRequest request) {
  return ctx.playAvailable && ctx.playAvailable(ctx, request);
}

}  // namespace

bool CommandsRefused(const Context& ctx) { return ctx.script.active || NotReady(ctx); }

bool LiveWhileRefused(Command c) { return c == Command::kCancel; }

CommandFiles CheckCommandFiles(const Context& ctx) {
  CommandFiles files;
  files.sourceExists = RegularFileExists(ctx.doc.sourceName);
  files.outputExists = RegularFileExists(ctx.save.lastOutputName);
  return files;
}

CommandAvailability ComputeAvailability(const Context& ctx, const CommandFiles& files, const Player* player,
                                        bool hostBusy) {
  CommandAvailability a;
  a.set(Command::kCancel, true);
  if (CommandsRefused(ctx) || hostBusy) return a;
  const DocumentState& doc = ctx.doc;
  const bool loaded = doc.loaded;
  const bool sourceReady = files.sourceExists && loaded;

  a.set(Command::kOpen, true);
  a.set(Command::kReopen, files.sourceExists);
  a.set(Command::kClose, sourceReady);
  a.set(Command::kSave, sourceReady);
  a.set(Command::kSaveAs, sourceReady);
  a.set(Command::kQuickSave, sourceReady);
  a.set(Command::kSaveSelection, SaveSelectionAvailable(ctx));
  a.set(Command::kSplit, SplitAvailable(ctx));

  a.set(Command::kDelete, loaded && DeleteEnabled(ctx));
  a.set(Command::kCut, loaded && DeleteEnabled(ctx));
  a.set(Command::kCopy, loaded && DeleteEnabled(ctx));
  a.set(Command::kPaste, loaded && PasteEnabled(ctx));
  a.set(Command::kTrim, loaded && TrimEnabled(ctx));
  a.set(Command::kUndo, loaded && UndoEnabled(ctx));
  a.set(Command::kSelectAll, loaded && doc.editCount > 0);
  a.set(Command::kUnselect, loaded && doc.selectionExists);
  a.set(Command::kInsertFile, loaded);
  a.set(Command::kSilence, loaded);
  a.set(Command::kVolume, loaded);
  a.set(Command::kFade, loaded);

  const bool playInput = sourceReady && CanPlay(ctx, PlayRequest::Input);
  const bool playOutput = files.outputExists && CanPlay(ctx, PlayRequest::Output);
  const bool playPreview = sourceReady && CanPlay(ctx, PlayRequest::Preview);
  const bool playSelection = sourceReady && doc.selectionExists && CanPlay(ctx, PlayRequest::Selection);
  a.set(Command::kPlayInput, playInput);
  a.set(Command::kPlayOutput, playOutput);
  a.set(Command::kPlayPreview, playPreview);
  a.set(Command::kPlaySelection, playSelection);
  a.set(Command::kPlayMenu, playInput || playOutput || playPreview || playSelection);
  const bool enqueue = player != nullptr && player->enqueueAvailable();
  a.set(Command::kEnqueueInput, enqueue && playInput);
  a.set(Command::kEnqueueOutput, enqueue && playOutput);
  a.set(Command::kEnqueuePreview, enqueue && playPreview);

  a.set(Command::kId3v2Editor, loaded);
  a.set(Command::kId3v1Editor, loaded);
  a.set(Command::kTagTransfer, loaded);
  a.set(Command::kViewUnknownHeader, loaded && doc.source.behindHeaderFound);
  a.set(Command::kViewUnknownFooter, loaded && doc.source.footerFound);
  a.set(Command::kViewLyrics3, loaded && doc.source.lyricsFound);

  a.set(Command::kOptionsMenu, true);
  a.set(Command::kScriptsMenu, true);

  a.set(Command::kCloseProgram, true);
  a.set(Command::kProgramHelp, true);
  a.set(Command::kScriptHelp, true);
  a.set(Command::kLegend, true);
  const bool frames = loaded && doc.editCount > 0;
  a.set(Command::kPageUp, frames);
  a.set(Command::kPageDown, frames);
  a.set(Command::kViewStart, frames);
  a.set(Command::kViewEnd, frames);
  return a;
}

CommandAvailability ComputeAvailability(const Context& ctx, const Player* player, bool hostBusy) {
  return ComputeAvailability(ctx, CheckCommandFiles(ctx), player, hostBusy);
}

}  // namespace quorvel
