#pragma once
// Path helpers and the recent lists, written once for every layer: the load,
// the insertion, the saves, the script runs and the settings.
//
// Two names are the same file when their absolute, lexically normalised forms are
// equal, or when both exist and are the same device and inode (hard links,
// symbolic links, a folder reached through a link). Names are byte strings and
// are compared exactly: Linux file names are case-sensitive and need not be UTF-8.

#include <array>
#include <string>

namespace quorvel {

// The absolute form of path (relative names are taken from the current folder),
// with "." and ".." resolved lexically and no trailing "/" except for the root.
// Symbolic links are not followed. An empty path stays empty.
std::string AbsoluteNormalPath(const std::string& path);

// The folder part of path without a trailing "/" ("/" for a file in the root,
// empty for a bare name).
std::string FolderOf(const std::string& path);

// The last component of path.
std::string FileNameOf(const std::string& path);

// folder + "/" + name, without doubling a "/" that folder already ends with.
std::string JoinPath(const std::string& folder, const std::string& name);

bool SameFile(const std::string& a, const std::string& b);

// True when the file's folder is the given folder (by SameFile); a file in a
// subfolder is not in the folder. An empty folder contains nothing.
bool IsFileInFolder(const std::string& file, const std::string& folder);

// The remembered folder, cut back at its last "/" until an existing folder
// remains; the remembered text itself when none does (file dialogs start there).
std::string ExistingFolder(const std::string& remembered);

// The recent files and recent scripts lists: 5 entries, index 0 the most recent.
using RecentList = std::array<std::string, 5>;
// Moves path to the top: found at i > 0, entries 0..i-1 move down; not found,
// entry 4 is dropped. Entries are compared exactly; callers pass
// AbsoluteNormalPath forms.
void MoveToTopOfRecent(RecentList& list, const std::string& path);

}  // namespace quorvel
