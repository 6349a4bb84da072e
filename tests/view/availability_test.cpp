#include "view/availability.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/desktop_shell.h"
#include "app/player.h"
#include "core/headless_host.h"
#include "view_fixture.h"

namespace quorvel {
namespace {

using testing::AppendFrames;

// Every command, for the tables below.
std::vector<Command> AllCommands() {
  std::vector<Command> all;
  for (size_t i = 0; i < kCommandCount; ++i) all.push_back(static_cast<Command>(i));
  return all;
}

// Play hooks that allow every request, as a player with a document would.
void AllowPlaying(Context& ctx) {
  ctx.playAvailable = [](const Context&, PlayRequest) { return true; };
}

TEST(Availability, WithoutDocumentOnlyOpenTheMenusAndTheProgramsOwn) {
  HeadlessHost host;
  Context ctx(host);
  AllowPlaying(ctx);
  CommandAvailability a = ComputeAvailability(ctx, CommandFiles{});
  for (Command c : AllCommands()) {
    const bool expected = c == Command::kOpen || c == Command::kOptionsMenu || c == Command::kScriptsMenu ||
                          c == Command::kCloseProgram || c == Command::kProgramHelp || c == Command::kScriptHelp ||
                          c == Command::kLegend || c == Command::kCancel;
    EXPECT_EQ(a[c], expected) << static_cast<int>(c);
  }
}

TEST(Availability, NothingWhileAScriptRunsOrNotReady) {
  struct Case {
    const char* what;
    void (*set)(Context&);
  };
  const Case cases[] = {
      {"script", [](Context& c) { c.script.active = true; }},
      {"busy", [](Context& c) { c.doc.busy = true; }},
      {"volume dialog", [](Context& c) { c.doc.volumeDialogOpen = true; }},
      {"fade dialog", [](Context& c) { c.doc.fadeDialogOpen = true; }},
      {"silence dialog", [](Context& c) { c.doc.silenceDialogOpen = true; }},
      {"split dialog", [](Context& c) { c.doc.splitDialogOpen = true; }},
      {"player hand-over", [](Context& c) { c.doc.playerHandOver = true; }},
      {"window busy", nullptr},
  };
  for (const Case& k : cases) {
    HeadlessHost host;
    Context ctx(host);
    AllowPlaying(ctx);
    AppendFrames(ctx.doc, 100);
    ctx.doc.selectionExists = true;
    ctx.doc.selectionEnd = 10;
    if (k.set != nullptr) k.set(ctx);
    CommandAvailability a = ComputeAvailability(ctx, CommandFiles{true, true}, nullptr, k.set == nullptr);
    // Esc alone stays: it cancels what runs.
    for (Command c : AllCommands()) {
      EXPECT_EQ(a[c], c == Command::kCancel) << k.what << " " << static_cast<int>(c);
      EXPECT_EQ(LiveWhileRefused(c), c == Command::kCancel) << static_cast<int>(c);
    }
  }
}

TEST(Availability, ViewKeysNeedFrames) {
  HeadlessHost host;
  Context ctx(host);
  const Command keys[] = {Command::kPageUp, Command::kPageDown, Command::kViewStart, Command::kViewEnd};
  CommandAvailability a = ComputeAvailability(ctx, CommandFiles{true, false});
  for (Command c : keys) EXPECT_FALSE(a[c]) << static_cast<int>(c);
  ctx.doc.loaded = true;  // loaded, but no frames
  a = ComputeAvailability(ctx, CommandFiles{true, false});
  for (Command c : keys) EXPECT_FALSE(a[c]) << static_cast<int>(c);
  AppendFrames(ctx.doc, 100);
  a = ComputeAvailability(ctx, CommandFiles{true, false});
  for (Command c : keys) EXPECT_TRUE(a[c]) << static_cast<int>(c);
}

TEST(Availability, LoadedDocumentFollowsTheOperationsRules) {
  HeadlessHost host;
  Context ctx(host);
  AllowPlaying(ctx);
  AppendFrames(ctx.doc, 100);
  CommandAvailability a = ComputeAvailability(ctx, CommandFiles{true, false});
  EXPECT_TRUE(a[Command::kReopen]);
  EXPECT_TRUE(a[Command::kClose]);
  EXPECT_TRUE(a[Command::kSave]);
  EXPECT_TRUE(a[Command::kSaveAs]);
  EXPECT_TRUE(a[Command::kSplit]);
  EXPECT_TRUE(a[Command::kSelectAll]);
  EXPECT_TRUE(a[Command::kVolume]);
  EXPECT_TRUE(a[Command::kPlayInput]);
  EXPECT_TRUE(a[Command::kPlayPreview]);
  EXPECT_TRUE(a[Command::kPlayMenu]);
  EXPECT_FALSE(a[Command::kPlayOutput]);    // no output file
  EXPECT_FALSE(a[Command::kPlaySelection]);
  EXPECT_TRUE(a[Command::kSaveSelection]);  // answers "You must have a selection."
  EXPECT_FALSE(a[Command::kDelete]);
  EXPECT_FALSE(a[Command::kCut]);
  EXPECT_FALSE(a[Command::kCopy]);
  EXPECT_FALSE(a[Command::kTrim]);
  EXPECT_FALSE(a[Command::kUnselect]);
  EXPECT_FALSE(a[Command::kPaste]);
  EXPECT_FALSE(a[Command::kUndo]);
  EXPECT_FALSE(a[Command::kEnqueueInput]);  // no player given
  EXPECT_FALSE(a[Command::kViewLyrics3]);

  ctx.doc.cursor = 10;
  ctx.doc.selectionEnd = 20;
  ctx.doc.selectionExists = true;
  ctx.doc.pasteAvailable = true;
  ctx.doc.undoAvailable = true;
  ctx.doc.source.lyricsFound = true;
  a = ComputeAvailability(ctx, CommandFiles{true, true});
  for (Command c : {Command::kDelete, Command::kCut, Command::kCopy, Command::kTrim, Command::kUnselect,
                    Command::kPaste, Command::kUndo, Command::kSaveSelection, Command::kPlaySelection,
                    Command::kPlayOutput, Command::kViewLyrics3}) {
    EXPECT_TRUE(a[c]) << static_cast<int>(c);
  }
  // Trimming the whole edit is no trim.
  ctx.doc.cursor = 0;
  ctx.doc.selectionEnd = 100;
  EXPECT_FALSE(ComputeAvailability(ctx, CommandFiles{true, true})[Command::kTrim]);
}

TEST(Availability, SourceFileGoneDisablesTheSourceCommands) {
  HeadlessHost host;
  Context ctx(host);
  AllowPlaying(ctx);
  AppendFrames(ctx.doc, 100);
  CommandAvailability a = ComputeAvailability(ctx, CommandFiles{false, false});
  for (Command c : {Command::kReopen, Command::kClose, Command::kSave, Command::kSaveAs, Command::kQuickSave,
                    Command::kPlayInput, Command::kPlayPreview, Command::kPlaySelection, Command::kPlayMenu}) {
    EXPECT_FALSE(a[c]) << static_cast<int>(c);
  }
  EXPECT_TRUE(a[Command::kOpen]);
  EXPECT_TRUE(a[Command::kSplit]);
  // A source that exists but whose load failed can be reloaded, nothing more.
  ctx.doc.loaded = false;
  a = ComputeAvailability(ctx, CommandFiles{true, false});
  EXPECT_TRUE(a[Command::kReopen]);
  EXPECT_FALSE(a[Command::kClose]);
  EXPECT_FALSE(a[Command::kPlayInput]);
}

TEST(Availability, PlayCommandsNeedTheirHook) {
  HeadlessHost host;
  Context ctx(host);
  AppendFrames(ctx.doc, 100);
  CommandAvailability a = ComputeAvailability(ctx, CommandFiles{true, true});
  for (Command c : {Command::kPlayInput, Command::kPlayOutput, Command::kPlayPreview, Command::kPlaySelection,
                    Command::kPlayMenu}) {
    EXPECT_FALSE(a[c]) << static_cast<int>(c);
  }
  ctx.playAvailable = [](const Context&, PlayRequest r) { return r == PlayRequest::Output; };
  a = ComputeAvailability(ctx, CommandFiles{true, true});
  EXPECT_TRUE(a[Command::kPlayOutput]);
  EXPECT_TRUE(a[Command::kPlayMenu]);
  EXPECT_FALSE(a[Command::kPlayInput]);
}

TEST(Availability, RealPlayerAndRealFiles) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "quorvel_availability_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string source = (dir / "in.mp3").string();
  const std::string output = (dir / "out.mp3").string();
  std::ofstream(source) << "x";

  HeadlessHost host;
  Context ctx(host);
  DesktopShell shell;
  Player player(shell);
  player.install(ctx);
  player.commands.enqueueCommand = "\"/usr/bin/player\" --enqueue";
  AppendFrames(ctx.doc, 100);
  ctx.doc.sourceName = source;
  ctx.save.lastOutputName = output;
  ctx.save.playOutputEnabled = true;

  CommandFiles files = CheckCommandFiles(ctx);
  EXPECT_TRUE(files.sourceExists);
  EXPECT_FALSE(files.outputExists);
  CommandAvailability a = ComputeAvailability(ctx, &player);
  EXPECT_TRUE(a[Command::kPlayInput]);
  EXPECT_TRUE(a[Command::kEnqueueInput]);
  EXPECT_TRUE(a[Command::kEnqueuePreview]);
  EXPECT_FALSE(a[Command::kPlayOutput]);
  EXPECT_FALSE(a[Command::kEnqueueOutput]);

  std::ofstream(output) << "y";
  a = ComputeAvailability(ctx, &player);
  EXPECT_TRUE(a[Command::kPlayOutput]);
  EXPECT_TRUE(a[Command::kEnqueueOutput]);

  std::filesystem::remove(source);
  a = ComputeAvailability(ctx, &player);
  EXPECT_FALSE(a[Command::kReopen]);
  EXPECT_FALSE(a[Command::kPlayInput]);
  EXPECT_TRUE(a[Command::kPlayMenu]);  // the output can still be played
  // A folder is not a file to play.
  ctx.doc.sourceName = dir.string();
  EXPECT_FALSE(CheckCommandFiles(ctx).sourceExists);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quorvel
