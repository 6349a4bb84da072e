#pragma once
// Positioned, read-only access to a file. Only regular files open; every read
// says whether it got all the bytes it asked for.

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel {

// What tells a file apart from another one put under its name, or from itself
// rewritten: device and inode, size and modification time (nanoseconds).
struct FileIdentity {
  bool known = false;
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modifiedNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;

  // Opens a regular file read-only. False when it does not exist, is not a
  // regular file or cannot be read.
  bool open(const std::string& path);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Size at the time of opening.
  int64_t size() const { return size_; }
  // The open file's identity as it is now (not known when closed or fstat fails).
  FileIdentity identity() const;

  // Reads exactly n bytes at pos; false on an error or a short read.
  bool readAt(int64_t pos, void* dst, size_t n);
  // Reads up to n bytes at pos; the count read, or -1 on an error.
  int64_t readSome(int64_t pos, void* dst, size_t n);

 private:
  int fd_ = -1;
  int64_t size_ = 0;
  std::string path_;
};

}  // namespace quorvel
