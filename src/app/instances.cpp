#include "app/instances.h"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/paths.h"

namespace quorvel {

const char* const kInstanceSocketBase = "Quorvel6EXN";
const char* const kCloseRequestMessage = "Quorvel6EXN close\n";

namespace {

// A socket connected to path, or -1 with errno set.
int ConnectTo(const std::string& path) {
  sockaddr_un address {};
  if (path.size() > MaxSocketPathLength()) {
    errno = ENAMETOOLONG;
    return -1;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int r;
  do {
    r = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

bool IsUserSocket(const std::string& path, uid_t uid) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == uid;
}

}  // namespace

std::string InstanceSocketFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    std::string folder = runtime;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    // The longest name: the base, "-", a 10-digit user id, "-", a 10-digit
    // process id. Every instance decides the same way from the folder alone.
    const size_t longestName = std::strlen(kInstanceSocketBase) + 1 + 10 + 1 + 10;
    if (folder.size() + 1 + longestName <= MaxSocketPathLength()) return folder;
  }
  return "/tmp";
}

std::string OwnInstanceSocketPath() { return InstanceSocketPath(InstanceSocketFolder(), getuid(), getpid()); }

std::string InstanceSocketPrefix(uid_t uid) {
  return std::string(kInstanceSocketBase) + "-" + std::to_string(uid) + "-";
}

std::string InstanceSocketPath(const std::string& folder, uid_t uid, pid_t pid) {
  return JoinPath(folder, InstanceSocketPrefix(uid) + std::to_string(pid));
}

size_t MaxSocketPathLength() { return sizeof(sockaddr_un::sun_path) - 1; }

InstanceRequest ParseInstanceMessage(std::string_view received) {
  size_t end = received.find('\n');
  if (end == std::string_view::npos) {
    // A sender that wrote more than a request without a line end sends no request.
    return received.size() < std::strlen(kCloseRequestMessage) ? InstanceRequest::kIncomplete
                                                                : InstanceRequest::kUnknown;
  }
  return received.substr(0, end + 1) == kCloseRequestMessage ? InstanceRequest::kClose : InstanceRequest::kUnknown;
}

std::vector<std::string> ListInstanceSockets(const std::string& folder, uid_t uid, const std::string& ownPath) {
  std::vector<std::string> sockets;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return sockets;
  const std::string prefix = InstanceSocketPrefix(uid);
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string path = JoinPath(folder, name);
    if (!ownPath.empty() && path == ownPath) continue;
    if (IsUserSocket(path, uid)) sockets.push_back(path);
  }
  ::closedir(dir);
  std::sort(sockets.begin(), sockets.end());
  return sockets;
}

SocketState ProbeInstanceSocket(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return SocketState::kMissing;
  int fd = ConnectTo(path);
  if (fd >= 0) {
    ::close(fd);
    return SocketState::kListening;
  }
  // ECONNREFUSED: nobody listens on the file. A full backlog (EAGAIN) is a
  // busy listener, not a stale socket.
  return errno == ECONNREFUSED ? SocketState::kStale : SocketState::kListening;
}

bool RemoveStaleSocket(const std::string& path, uid_t uid) {
  if (!IsUserSocket(path, uid)) return false;
  if (ProbeInstanceSocket(path) != SocketState::kStale) return false;
  return ::unlink(path.c_str()) == 0;
}

int RemoveStaleInstanceSockets(const std::string& folder, uid_t uid) {
  int removed = 0;
  for (const std::string& path : ListInstanceSockets(folder, uid)) {
    if (RemoveStaleSocket(path, uid)) ++removed;
  }
  return removed;
}

bool SendCloseRequest(const std::string& path) {
  int fd = ConnectTo(path);
  if (fd < 0) return false;
  const std::string message = kCloseRequestMessage;
  size_t done = 0;
  while (done < message.size()) {
    ssize_t n = ::send(fd, message.data() + done, message.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  return done == message.size();
}

CloseAllReport CloseOtherInstances(const std::string& folder, uid_t uid, const std::string& ownPath,
                                   const std::function<void(int)>& sleep, int waits, int waitMs) {
  CloseAllReport report;
  report.staleRemoved = RemoveStaleInstanceSockets(folder, uid);
  for (const std::string& path : ListInstanceSockets(folder, uid, ownPath)) {
    if (!SendCloseRequest(path)) continue;
    ++report.asked;
    for (int i = 0; i < waits; ++i) {
      sleep(waitMs);
      if (ProbeInstanceSocket(path) != SocketState::kListening) {
        ++report.closed;
        break;
      }
    }
  }
  return report;
}

}  // namespace quorvel
