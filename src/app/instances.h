#pragma once
// How the window instances of one user find and close each other.
//
// Every window instance listens on a local (AF_UNIX stream) socket named
// "Quorvel6EXN-<uid>-<pid>" in $XDG_RUNTIME_DIR (else /tmp). "Close all
// instances" stops listening on its own socket, sends every other instance the
// close request below, and then closes itself; each instance handles the request
// as a close of its main window, so it still asks about unsaved changes.
//
// A killed instance leaves its socket file behind. A socket file that refuses
// connections has no listener: it is stale and is removed (only socket files
// owned by the user, never anything else in the shared folder).
//
// Messages are one line of ASCII ended by "\n". The only request is the close
// request; a receiver ignores any other line.

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

extern const char* const kInstanceSocketBase;   // "Quorvel6EXN"
extern const char* const kCloseRequestMessage;  // "Quorvel6EXN close\n"

// $XDG_RUNTIME_DIR when it is an absolute path short enough for every socket
// name in it, else /tmp. No trailing "/".
std::string InstanceSocketFolder();
// The socket this process listens on: InstanceSocketPath of the folder above,
// the real user id and the process id. A stale socket left under this name by
// an earlier process with the same id is removed with RemoveStaleSocket before
// listening.
std::string OwnInstanceSocketPath();
// "Quorvel6EXN-<uid>-": every socket of the user's instances starts with it.
std::string InstanceSocketPrefix(uid_t uid);
// folder + "/" + prefix + pid: the socket of one instance.
std::string InstanceSocketPath(const std::string& folder, uid_t uid, pid_t pid);
// Longest socket path the system accepts (the size of sockaddr_un.sun_path - 1).
size_t MaxSocketPathLength();

// What a received line asks for.
enum class InstanceRequest {
  kClose,       // close the main window
  kIncomplete,  // no line end yet: read more
  kUnknown,     // anything else: ignored
};
InstanceRequest ParseInstanceMessage(std::string_view received);

// The sockets of the user's other instances in folder: socket files named with
// the prefix and owned by uid, sorted by name, without ownPath.
std::vector<std::string> ListInstanceSockets(const std::string& folder, uid_t uid, const std::string& ownPath = {});

enum class SocketState {
  kListening,  // an instance accepts connections
  kStale,      // a socket file without a listener
  kMissing,    // no such socket file (or not a socket)
};
SocketState ProbeInstanceSocket(const std::string& path);

// Removes path when it is a stale socket file owned by uid. True when removed.
bool RemoveStaleSocket(const std::string& path, uid_t uid);
// Removes every stale socket of the user's instances in folder; returns how many.
int RemoveStaleInstanceSockets(const std::string& folder, uid_t uid);

// Sends the close request to the instance listening on path. False when it
// could not be delivered (no listener, a path too long).
bool SendCloseRequest(const std::string& path);

// The close-all command after this instance stopped listening on ownPath: stale
// sockets are removed, every other instance is sent the close request once, and
// after each request the sender waits up to `waits` times `waitMs` for that
// instance's socket to go away (an instance asking about unsaved changes stays
// longer; the others are asked meanwhile). `sleep` waits the given milliseconds.
struct CloseAllReport {
  int asked = 0;       // close requests delivered
  int closed = 0;      // of those, instances whose socket went away while waited for
  int staleRemoved = 0;
};
CloseAllReport CloseOtherInstances(const std::string& folder, uid_t uid, const std::string& ownPath,
                                   const std::function<void(int)>& sleep, int waits = 4, int waitMs = 99);

}  // namespace quorvel
