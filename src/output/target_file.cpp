#include "output/target_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "core/messages.h"
#include "output/save.h"

namespace quorvel {

namespace {

// Symlinks followed at most this many times (the kernel's own limit).
constexpr int kMaxLinkHops = 40;
// "TARGET.mmtmpmp3", then "TARGET.1.mmtmpmp3" ... while those are taken.
constexpr int kTemporaryNameTries = 1000;

std::string FolderOrDot(const std::string& path) {
  std::string folder = FolderOf(path);
  return folder.empty() ? "." : folder;
}

std::string AbsoluteOf(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  std::vector<char> cwd(4096);
  if (::getcwd(cwd.data(), cwd.size()) == nullptr) return path;
  return std::string(cwd.data()) + "/" + path;
}

// Makes a rename durable: the folder's entry is flushed too.
void SyncFolderOf(const std::string& path) {
  int fd = ::open(FolderOrDot(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The temporary file this save made; deleted only while the name still holds it.
struct OwnTemporary {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;

  void discard() const {
    struct stat st {};
    if (!path.empty() && ::lstat(path.c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode)
      ::unlink(path.c_str());
  }
};

// Creates the temporary file beside finalPath exclusively; -1 when no name could be had.
int CreateTemporary(const std::string& finalPath, OwnTemporary& own) {
  for (int n = 0; n < kTemporaryNameTries; ++n) {
    std::string name = n == 0 ? finalPath + kTempSuffix : finalPath + "." + std::to_string(n) + kTempSuffix;
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      struct stat st {};
      if (::fstat(fd, &st) != 0) {
        ::close(fd);
        ::unlink(name.c_str());
        return -1;
      }
      own.path = name;
      own.device = st.st_dev;
      own.inode = st.st_ino;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// The replaced file's owner and group (where this process may give them) and
// mode, before any byte is written: the new content is never more open than the old.
void TakeOwnerAndMode(int fd, const struct stat& old) {
  struct stat now {};
  if (::fstat(fd, &now) != 0) return;
  if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && now.st_gid != old.st_gid) {
      [[maybe_unused]] int ignored = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
  }
  ::fchmod(fd, old.st_mode & 07777);
}

}  // namespace

std::string ResolveSaveTarget(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat st {};
    if (current.empty() || ::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> link(4096);
    ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<size_t>(n) >= link.size()) return {};
    std::string to(link.data(), static_cast<size_t>(n));
    if (to[0] != '/') {
      std::string folder = FolderOf(current);
      if (!folder.empty()) to = (folder == "/" ? "/" : folder + "/") + to;
    }
    current = to;
  }
  return {};
}

bool InsideFolder(const std::string& path, const std::string& folder) {
  if (path.empty() || folder.empty()) return false;
  struct stat f {};
  if (::stat(folder.c_str(), &f) != 0 || !S_ISDIR(f.st_mode)) return false;
  std::string ancestor = AbsoluteOf(path);
  for (;;) {
    std::string up = FolderOf(ancestor);
    if (up.empty() || up == ancestor) return false;
    ancestor = up;
    struct stat a {};
    if (::stat(ancestor.c_str(), &a) == 0 && a.st_dev == f.st_dev && a.st_ino == f.st_ino) return true;
    if (ancestor == "/") return false;
  }
}

SafeWrite WriteThroughTemporaryFile(Context& ctx, const std::string& target, int purpose, int32_t rangeFirst,
                                    int32_t rangeEnd, const SafeWriteOptions& options) {
  SafeWrite result;
  auto refuse = [&](const char* text) {
    result.refused = true;
    if (options.reportRefusal) ReportWriteFailure(ctx, purpose, text);
    return result;
  };
  result.finalPath = ResolveSaveTarget(target);
  if (result.finalPath.empty()) return refuse(kDiskErrorText);
  struct stat existing {};
  if (::stat(result.finalPath.c_str(), &existing) == 0) {
    // Devices, FIFOs, sockets and folders are never replaced by a file.
    if (!S_ISREG(existing.st_mode)) return refuse(kDiskErrorText);
    result.targetExisted = true;
  }
  if (!options.refusedFolder.empty() && InsideFolder(result.finalPath, options.refusedFolder))
    return refuse(kWorkingFolderText);

  OwnTemporary own;
  int fd = CreateTemporary(result.finalPath, own);
  if (fd < 0) return refuse(kDiskErrorText);
  result.tempPath = own.path;
  if (result.targetExisted) TakeOwnerAndMode(fd, existing);

  WriteOptions write;
  write.syncToDisk = true;
  write.targetFd = fd;
  result.write = WriteOutputFile(ctx, own.path, purpose, rangeFirst, rangeEnd, write);
  switch (result.write.ending) {
    case WriteEnding::kSucceeded:
      if (::rename(own.path.c_str(), result.finalPath.c_str()) == 0) {
        SyncFolderOf(result.finalPath);
        result.renamed = true;
      } else {
        result.renameFailed = true;
      }
      break;
    case WriteEnding::kFailed:
      own.discard();
      break;
    case WriteEnding::kCancelled:
    case WriteEnding::kClosed:
      // Never over a file that appeared meanwhile. A write stopped because the
      // window closes is not one the user chose to keep.
      if (options.keepCancelledNewTarget && result.write.ending == WriteEnding::kCancelled &&
          !result.targetExisted &&
          ::renameat2(AT_FDCWD, own.path.c_str(), AT_FDCWD, result.finalPath.c_str(), RENAME_NOREPLACE) == 0) {
        result.renamed = true;
      } else {
        own.discard();
      }
      break;
  }
  return result;
}

ByteWrite WriteBytesThroughTemporaryFile(const std::string& target, const uint8_t* data, size_t size) {
  const std::string finalPath = ResolveSaveTarget(target);
  if (finalPath.empty()) return ByteWrite::kRefused;
  struct stat existing {};
  const bool existed = ::stat(finalPath.c_str(), &existing) == 0;
  if (existed && !S_ISREG(existing.st_mode)) return ByteWrite::kRefused;
  OwnTemporary own;
  int fd = CreateTemporary(finalPath, own);
  if (fd < 0) return ByteWrite::kCreateFailed;
  if (existed) TakeOwnerAndMode(fd, existing);
  bool ok = true;
  size_t done = 0;
  while (ok && done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (!ok) {
    own.discard();
    return ByteWrite::kWriteFailed;
  }
  if (::rename(own.path.c_str(), finalPath.c_str()) != 0) {
    own.discard();
    return ByteWrite::kRenameFailed;
  }
  SyncFolderOf(finalPath);
  return ByteWrite::kWritten;
}

}  // namespace quorvel
