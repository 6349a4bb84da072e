#include "app/desktop_shell.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <chrono>

extern char** environ;

namespace quorvel {

namespace {

// A name that starts with "-" would be read as an option by the program it is
// handed to; "./-name" is the same file.
std::string SafeOperand(const std::string& name) {
  if (!name.empty() && name[0] == '-') return "./" + name;
  return name;
}

// Starts program with the arguments. Standard input reads /dev/null, standard
// error goes to /dev/null, standard output to outFd (or /dev/null when -1), and
// no other descriptor of this process is inherited (the instance lock must not
// outlive the program in a player it started). Returns the child or -1.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args, int outFd) {
  std::vector<std::string> all;
  all.reserve(args.size() + 1);
  all.push_back(program);
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  argv.reserve(all.size() + 1);
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (outFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The child starts with default signal handling whatever this process ignores.
  sigset_t all_signals;
  sigfillset(&all_signals);
  posix_spawnattr_setsigdefault(&attr, &all_signals);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  pid_t pid = -1;
  int rc = posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

}  // namespace

int ShellResultFromExitStatus(int exitStatus) {
  switch (exitStatus) {
    case 0: return kShellSuccess;
    case 1: return 3;
    case 2: return 2;
    case 3: return kShellNoAssociation;
    case 4: return 11;
    default: return kShellNoAssociation;
  }
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> out;
  std::string current;
  bool inWord = false;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quoted) {
      if (c == '\\' && i + 1 < line.size() &&
          (line[i + 1] == '"' || line[i + 1] == '`' || line[i + 1] == '$' || line[i + 1] == '\\')) {
        current += line[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        current += c;
      }
    } else if (c == ' ' || c == '\t') {
      if (inWord) out.push_back(current);
      current.clear();
      inWord = false;
    } else if (c == '"') {
      quoted = true;
      inWord = true;
    } else {
      current += c;
      inWord = true;
    }
  }
  if (inWord) out.push_back(current);
  return out;
}

void DesktopShell::reapFinished() {
  std::vector<pid_t> still;
  for (pid_t pid : running_) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == 0) still.push_back(pid);
  }
  running_.swap(still);
}

int DesktopShell::open(const std::string& target) {
  reapFinished();
  pid_t pid = Spawn("xdg-open", {SafeOperand(target)}, -1);
  if (pid < 0) return kShellNoAssociation;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitLimitMs);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      if (WIFEXITED(status)) return ShellResultFromExitStatus(WEXITSTATUS(status));
      return kShellNoAssociation;
    }
    if (r < 0 && errno != EINTR) return kShellNoAssociation;
    if (std::chrono::steady_clock::now() >= deadline) {
      // Some desktops keep xdg-open running as long as the viewer it started.
      running_.push_back(pid);
      return kShellSuccess;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool DesktopShell::start(const std::string& program, const std::vector<std::string>& args) {
  reapFinished();
  std::vector<std::string> safe;
  safe.reserve(args.size());
  for (const std::string& a : args) safe.push_back(a);
  if (!safe.empty()) safe.back() = SafeOperand(safe.back());
  pid_t pid = Spawn(program, safe, -1);
  if (pid < 0) return false;
  running_.push_back(pid);
  return true;
}

std::string DesktopShell::capture(const std::string& program, const std::vector<std::string>& args) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  pid_t pid = Spawn(program, args, fds[1]);
  close(fds[1]);
  std::string out;
  if (pid >= 0) {
    char buf[4096];
    for (;;) {
      ssize_t n = read(fds[0], buf, sizeof buf);
      if (n > 0) {
        if (out.size() < (1u << 20)) out.append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        break;
      }
    }
  }
  close(fds[0]);
  if (pid < 0) return {};
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  return out;
}

int ShellHeadlessHost::openWithDesktop(const std::string& target) {
  opened.push_back(target);
  return shell.open(target);
}

}  // namespace quorvel
