#include "app/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

namespace quorvel {

std::string HomeFolder() {
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] == '/') return AbsoluteNormalPath(home);
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  struct passwd entry {};
  struct passwd* result = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
      result->pw_dir != nullptr && result->pw_dir[0] == '/') {
    return AbsoluteNormalPath(result->pw_dir);
  }
  return "/";
}

std::string ApplicationFolder() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return {};
  std::string folder = FolderOf(exe.string());
  if (folder.empty()) return {};
  return folder == "/" ? folder : folder + "/";
}

const char* const kEditorModuleFile = "quorvel-editor.so";

std::string FindEditorModuleIn(const std::string& applicationFolder) {
  if (applicationFolder.empty()) return {};
  const std::string candidates[2] = {
      JoinPath(applicationFolder, kEditorModuleFile),
      AbsoluteNormalPath(JoinPath(JoinPath(applicationFolder, "../lib/quorvel"), kEditorModuleFile)),
  };
  for (const std::string& c : candidates) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(c, ec)) return c;
  }
  return {};
}

std::string FindEditorModule() { return FindEditorModuleIn(ApplicationFolder()); }

}  // namespace quorvel
