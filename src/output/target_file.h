#pragma once
// How every output reaches its name: never written in place. The target is
// resolved first (a symlink is followed, so the link stays a link), refused
// when it exists and is not a regular file, and the bytes go to a temporary
// file beside it, created exclusively ("TARGET.mmtmpmp3", or
// "TARGET.N.mmtmpmp3" when that name is taken), given the replaced file's
// mode, owner and group, flushed to disk and renamed over the target; the
// folder is flushed after the rename. A temporary file is only ever deleted
// by the save that created it. Hard links to a replaced file are not kept:
// they go on naming the old content.

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/context.h"
#include "output/writer.h"

namespace quorvel {

// The file a save to path writes: path with its symlinks followed (a link to a
// file that does not exist yet names where that file will be). Empty when the
// links loop.
std::string ResolveSaveTarget(const std::string& path);

// Whether path (resolved) lies inside folder or one of its subfolders; both are
// compared as they are on disk, so other names of the same folder count too.
bool InsideFolder(const std::string& path, const std::string& folder);

// What a safe write ended with.
struct SafeWrite {
  WriteResult write;          // the writer's result; kFailed also when refused
  bool refused = false;       // refused before anything was written (reported)
  bool renamed = false;       // the output is under finalPath now
  bool renameFailed = false;  // written completely, but the rename failed: tempPath holds it
  bool targetExisted = false; // finalPath existed before the write
  std::string finalPath;      // the target with its symlinks followed
  std::string tempPath;       // the temporary file written (empty when none was made)
};

struct SafeWriteOptions {
  // A write cancelled by Esc to a name that did not exist keeps what was
  // written under that name (the save procedure's rule for whole saves);
  // otherwise, and always when the window closes, the partial file is deleted.
  bool keepCancelledNewTarget = false;
  // Targets inside this folder are refused (the settings folder; empty: none).
  std::string refusedFolder;
  // A refused target is reported as a write failure; off, the caller says what
  // happened (the play commands, which try a second name).
  bool reportRefusal = true;
};

// Writes the purpose's frames to target through a temporary file and renames
// it over target. Refusals and write failures are reported as the writer
// reports its own (in a script result code 102 and the text); a failed rename
// is left to the caller, which has its own message for it.
SafeWrite WriteThroughTemporaryFile(Context& ctx, const std::string& target, int purpose, int32_t rangeFirst,
                                    int32_t rangeEnd, const SafeWriteOptions& options = {});

// How a write of bytes ended (WriteBytesThroughTemporaryFile).
enum class ByteWrite {
  kWritten,       // the bytes are under the target's name
  kRefused,       // the target is not a regular file, or its links loop
  kCreateFailed,  // no temporary file could be created beside it
  kWriteFailed,   // writing or flushing failed; the temporary file is gone
  kRenameFailed,  // written completely, but not renamed; the temporary file is gone
};

// Writes bytes to target the way the saves do: through a temporary file
// beside it (given a replaced file's owner and mode), flushed and renamed over
// it. The name never holds a part of the bytes; on any failure the temporary
// file is deleted and the target is left as it was.
ByteWrite WriteBytesThroughTemporaryFile(const std::string& target, const uint8_t* data, size_t size);

}  // namespace quorvel
