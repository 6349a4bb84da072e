#include "core/file_paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace quorvel {

namespace {

std::string StripTrailingSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string CurrentFolder() {
  std::error_code ec;
  std::filesystem::path cwd = std::filesystem::current_path(ec);
  return ec ? std::string("/") : cwd.string();
}

}  // namespace

std::string AbsoluteNormalPath(const std::string& path) {
  if (path.empty()) return {};
  std::filesystem::path p(path);
  if (!p.is_absolute()) p = std::filesystem::path(CurrentFolder()) / p;
  std::string normal = p.lexically_normal().string();
  // lexically_normal keeps ".." directly under the root ("/.."); it names the root.
  while (normal.rfind("/..", 0) == 0 && (normal.size() == 3 || normal[3] == '/')) {
    normal.erase(0, 3);
    if (normal.empty()) normal = "/";
  }
  return StripTrailingSlashes(normal);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (AbsoluteNormalPath(a) == AbsoluteNormalPath(b)) return true;
  struct stat sa {};
  struct stat sb {};
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool IsFileInFolder(const std::string& file, const std::string& folder) {
  if (file.empty() || folder.empty()) return false;
  std::string parent = FolderOf(AbsoluteNormalPath(file));
  return !parent.empty() && SameFile(parent, folder);
}

std::string ExistingFolder(const std::string& remembered) {
  std::string folder = remembered;
  std::error_code ec;
  while (!folder.empty()) {
    if (std::filesystem::is_directory(folder, ec)) return folder;
    size_t cut = folder.find_last_of('/');
    if (cut == std::string::npos) break;
    std::string parent = folder.substr(0, cut == 0 ? 1 : cut);
    if (parent == folder) break;
    folder = parent;
  }
  return remembered;
}

void MoveToTopOfRecent(RecentList& list, const std::string& path) {
  auto at = std::find(list.begin(), list.end(), path);
  if (at == list.end()) at = list.end() - 1;
  std::move_backward(list.begin(), at, at + 1);
  list[0] = path;
}

}  // namespace quorvel
