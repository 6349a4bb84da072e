#pragma once
// The save procedure: the one entry through which anything is saved. It turns a
// save purpose (the write purposes of output/writer.h) into a target name,
// applies the overwrite policy, runs the writer through a temporary file
// beside the target (output/target_file.h: never in place, new or existing
// target), and handles what follows: closing (and reloading) a
// document whose source file was replaced, the document's file name, the
// recent-files list. Its state is ctx.save (core/context.h).

#include <string>

#include "core/context.h"
#include "core/file_paths.h"
#include "core/working_files.h"
#include "output/writer.h"

namespace quorvel {

constexpr const char* kTempSuffix = ".mmtmpmp3";
constexpr uint8_t kRenameFailedCode = 101;

extern const char* const kOverwriteQuestionText;  // "Overwrite the existing file?"
extern const char* const kRenameFailedText;
extern const char* const kWorkingFolderText;      // "You are not allowed to save to the application folder..."

// The target of a purpose that names a working file (1..4): settingsFolder + name.
std::string WorkingFileFor(const Context& ctx, int purpose);

// Saves for the purpose (0 Save as, 1-4 play files, 5 the selection to target,
// 6 quick Save). Purpose 0 in a script writes to target without a dialog; the
// other purposes find their file themselves and ignore target. Leaves
// ctx.save.lastSaveSucceeded and, in a script, result code 0, 101, 102 or 103.
void SaveProc(Context& ctx, int purpose, const std::string& target = {});

// "Save &As": SaveProc(0) unless NotReady or a script runs.
void ButSaveAsClick(Context& ctx);
// "&Save": SaveProc(6) unless NotReady or a script runs; then the exit option
// may close the main window. calledWithFile: the program was started with a file.
void MenuQuickSaveClick(Context& ctx, bool calledWithFile = false);

// The overwrite-policy submenu: store 0, 1 or 2 and save the settings at once.
void MenuNeverOverwriteClick(Context& ctx);
void MenuSemiOverwriteClick(Context& ctx);
void MenuOverwriteClick(Context& ctx);

// Installs the Save as of this procedure as ctx.saveAs (offered when a changed
// document is closed); it reports whether the file was saved.
void InstallSaveHooks(Context& ctx);

}  // namespace quorvel
