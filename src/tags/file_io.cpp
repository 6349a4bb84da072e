#include "tags/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace quorvel {

InputFile::~InputFile() { close(); }

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_), path_(std::move(other.path_)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
    path_ = std::move(other.path_);
  }
  return *this;
}

bool InputFile::open(const std::string& path) {
  close();
  // Without O_NONBLOCK opening a FIFO waits for a writer that may never come.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  fd_ = fd;
  size_ = st.st_size;
  path_ = path;
  return true;
}

FileIdentity InputFile::identity() const {
  FileIdentity id;
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return id;
  id.known = true;
  id.device = static_cast<uint64_t>(st.st_dev);
  id.inode = static_cast<uint64_t>(st.st_ino);
  id.size = static_cast<int64_t>(st.st_size);
  id.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return id;
}

void InputFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
}

int64_t InputFile::readSome(int64_t pos, void* dst, size_t n) {
  if (fd_ < 0 || pos < 0) return -1;
  auto* out = static_cast<unsigned char*>(dst);
  size_t done = 0;
  while (done < n) {
    ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(pos + static_cast<int64_t>(done)));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

bool InputFile::readAt(int64_t pos, void* dst, size_t n) {
  return readSome(pos, dst, n) == static_cast<int64_t>(n);
}

}  // namespace quorvel
