#pragma once
// Path helpers shared by the guards that must recognise one file under two names
// (the settings-folder guard, the source-replaced-by-save test, the log-file guard).
//
// Two names are the same file when their absolute, lexically normalised forms are
// equal, or when both exist and are the same device and inode (hard links,
// symbolic links, a folder reached through a link). Names are compared exactly:
// Linux file names are case-sensitive.

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

// $HOME when it is absolute, else the home folder of the user's password entry,
// else "/". No trailing "/" (except for the root).
std::string HomeFolder();

// The folder of the running executable, with a trailing "/"; empty when unknown.
std::string ApplicationFolder();

}  // namespace quorvel
