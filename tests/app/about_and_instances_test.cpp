// The about window's data, and how instances find and close each other through
// their local sockets (listeners here are plain sockets of the test).

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "app/about_info.h"
#include "app/instances.h"
#include "core/headless_host.h"
#include "settings_fixture.h"

namespace quorvel {
namespace {

using testing::EnvGuard;
using testing::TempFolder;

TEST(About, NamesTheProgramItsBuildAndItsFiles) {
  TempFolder home;
  EnvGuard guard("HOME", home.path());
  HeadlessHost host;
  Context ctx(host);
  ctx.settingsFolder = home / ".config/quorvel/";

  AboutInfo info = AboutInfoFor(ctx);
  EXPECT_EQ(info.programName, "Quorvel");
  EXPECT_TRUE(std::regex_match(info.version, std::regex("[0-9]+\\.[0-9]+\\.[0-9]+"))) << info.version;
  ASSERT_TRUE(std::regex_match(info.buildDate, std::regex("20[0-9][0-9]-[01][0-9]-[0-3][0-9]"))) << info.buildDate;
  // Built no later than today.
  std::time_t now = std::time(nullptr);
  char today[16];
  std::strftime(today, sizeof today, "%Y-%m-%d", std::gmtime(&now));
  EXPECT_LE(info.buildDate, std::string(today));
  EXPECT_EQ(info.settingsFolder, home / ".config/quorvel/");
  EXPECT_EQ(info.logPath, home / "Quorvel.log");

  ctx.options.logPath = "/var/tmp/q.log";
  info = AboutInfoFor(ctx);
  EXPECT_EQ(info.logPath, "/var/tmp/q.log");
  info.programHelp = "/usr/share/quorvel/Quorvel.local.help.file.htm";
  info.scriptHelp.clear();
  std::string text = AboutText(info, "6.4.2");
  EXPECT_EQ(text.rfind("Quorvel " + info.version + "\r\n", 0), 0u) << text;
  for (const std::string& line :
       {"Built on: " + info.buildDate, std::string("Runs on Qt 6.4.2"), "Settings folder: " + info.settingsFolder,
        std::string("Log file: /var/tmp/q.log"),
        std::string("Program help: /usr/share/quorvel/Quorvel.local.help.file.htm"),
        std::string("Script language help: (missing)")}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }
  EXPECT_EQ(AboutText(info, "").find("Qt"), std::string::npos);
}

TEST(About, TheButtonOpensTheSettingsFolder) {
  HeadlessHost host;
  Context ctx(host);
  EXPECT_EQ(OpenSettingsFolder(ctx), 0);
  EXPECT_TRUE(host.opened.empty());
  ctx.settingsFolder = "/home/me/.config/quorvel/";
  host.shellResult = 31;
  EXPECT_EQ(OpenSettingsFolder(ctx), 31);
  ASSERT_EQ(host.opened.size(), 1u);
  EXPECT_EQ(host.opened[0], "/home/me/.config/quorvel/");
}

// A listening socket of the test standing in for an instance.
class Listener {
 public:
  explicit Listener(const std::string& path) : path_(path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    ok_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
          ::listen(fd_, 8) == 0;
  }
  ~Listener() { stop(false); }
  bool ok() const { return ok_; }

  // Everything sent by the clients that connected so far.
  std::vector<std::string> received() {
    std::vector<std::string> all;
    timeval none {};
    for (;;) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(fd_, &set);
      if (::select(fd_ + 1, &set, nullptr, nullptr, &none) <= 0) break;
      int client = ::accept(fd_, nullptr, nullptr);
      if (client < 0) break;
      std::string text;
      char buffer[256];
      ssize_t n;
      while ((n = ::recv(client, buffer, sizeof buffer, 0)) > 0) text.append(buffer, static_cast<size_t>(n));
      ::close(client);
      all.push_back(text);
    }
    return all;
  }

  // Closing the socket: the file stays (a killed process) or is removed (a clean close).
  void stop(bool removeFile) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (removeFile) ::unlink(path_.c_str());
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool ok_ = false;
};

TEST(Instances, SocketNamesCarryTheUserAndTheProcess) {
  EXPECT_EQ(InstanceSocketPrefix(1000), "Quorvel6EXN-1000-");
  EXPECT_EQ(InstanceSocketPath("/run/user/1000", 1000, 4242), "/run/user/1000/Quorvel6EXN-1000-4242");
  EXPECT_EQ(InstanceSocketPath("/tmp/", 0, 7), "/tmp/Quorvel6EXN-0-7");
  {
    EnvGuard runtime("XDG_RUNTIME_DIR", std::string("/run/user/77/"));
    EXPECT_EQ(InstanceSocketFolder(), "/run/user/77");
  }
  {
    // Too long for a socket name: every instance falls back to /tmp.
    EnvGuard runtime("XDG_RUNTIME_DIR", "/" + std::string(MaxSocketPathLength() - 33 - 1, 'r'));
    EXPECT_EQ(InstanceSocketFolder(), "/tmp");
  }
  {
    const std::string longest = "/" + std::string(MaxSocketPathLength() - 33 - 2, 'r');
    EnvGuard runtime("XDG_RUNTIME_DIR", longest);
    EXPECT_EQ(InstanceSocketFolder(), longest);
    EXPECT_EQ(OwnInstanceSocketPath(),
              longest + "/Quorvel6EXN-" + std::to_string(getuid()) + "-" + std::to_string(getpid()));
  }
  {
    EnvGuard runtime("XDG_RUNTIME_DIR", std::string("relative"));
    EXPECT_EQ(InstanceSocketFolder(), "/tmp");
  }
  {
    EnvGuard runtime("XDG_RUNTIME_DIR", std::nullopt);
    EXPECT_EQ(InstanceSocketFolder(), "/tmp");
  }
  EXPECT_EQ(MaxSocketPathLength(), sizeof(sockaddr_un::sun_path) - 1);
}

TEST(Instances, Messages) {
  struct Case {
    std::string received;
    InstanceRequest request;
  };
  const Case cases[] = {
      {"Quorvel6EXN close\n", InstanceRequest::kClose},
      {"Quorvel6EXN close\nmore", InstanceRequest::kClose},
      {"", InstanceRequest::kIncomplete},
      {"Quorvel6EXN clo", InstanceRequest::kIncomplete},
      {"Quorvel6EXN close", InstanceRequest::kIncomplete},
      {"Quorvel6EXN close now", InstanceRequest::kUnknown},
      {"Quorvel6EXN CLOSE\n", InstanceRequest::kUnknown},
      {"close\n", InstanceRequest::kUnknown},
      {"\n", InstanceRequest::kUnknown},
      {"Quorvel6EXN close\r\n", InstanceRequest::kUnknown},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseInstanceMessage(c.received), c.request) << c.received;
  EXPECT_STREQ(kCloseRequestMessage, "Quorvel6EXN close\n");
}

class InstanceSockets : public ::testing::Test {
 protected:
  std::string Path(pid_t pid) const { return InstanceSocketPath(dir_.path(), uid_, pid); }
  TempFolder dir_;
  uid_t uid_ = getuid();
};

TEST_F(InstanceSockets, ListingFindsOnlyTheUsersSockets) {
  Listener a(Path(100));
  Listener b(Path(20));
  ASSERT_TRUE(a.ok() && b.ok());
  // Not ours: another user's name, a plain file with our prefix, a folder.
  Listener foreign(InstanceSocketPath(dir_.path(), uid_ + 1, 5));
  std::ofstream(Path(30)) << "not a socket";
  std::filesystem::create_directory(Path(40));

  EXPECT_EQ(ListInstanceSockets(dir_.path(), uid_), (std::vector<std::string>{Path(100), Path(20)}));
  EXPECT_EQ(ListInstanceSockets(dir_.path(), uid_, Path(20)), (std::vector<std::string>{Path(100)}));
  EXPECT_TRUE(ListInstanceSockets(dir_ / "missing", uid_).empty());
}

TEST_F(InstanceSockets, StaleSocketsAreRemovedAndLiveOnesKept) {
  Listener live(Path(1));
  Listener killed(Path(2));
  ASSERT_TRUE(live.ok() && killed.ok());
  killed.stop(false);  // the file stays, nobody listens

  EXPECT_EQ(ProbeInstanceSocket(Path(1)), SocketState::kListening);
  EXPECT_EQ(ProbeInstanceSocket(Path(2)), SocketState::kStale);
  EXPECT_EQ(ProbeInstanceSocket(Path(3)), SocketState::kMissing);
  std::ofstream(Path(4)) << "x";
  EXPECT_EQ(ProbeInstanceSocket(Path(4)), SocketState::kMissing);

  // Another user's stale socket is left alone.
  EXPECT_FALSE(RemoveStaleSocket(Path(2), uid_ + 1));
  EXPECT_TRUE(std::filesystem::exists(Path(2)));
  EXPECT_FALSE(RemoveStaleSocket(Path(1), uid_));

  EXPECT_EQ(RemoveStaleInstanceSockets(dir_.path(), uid_), 1);
  EXPECT_FALSE(std::filesystem::exists(Path(2)));
  EXPECT_TRUE(std::filesystem::exists(Path(1)));
  EXPECT_TRUE(std::filesystem::exists(Path(4)));
  EXPECT_EQ(RemoveStaleInstanceSockets(dir_.path(), uid_), 0);
}

TEST_F(InstanceSockets, CloseAllAsksEveryOtherInstanceOnce) {
  Listener own(Path(10));
  Listener first(Path(11));
  Listener asking(Path(12));  // keeps listening: it asks about unsaved changes
  Listener killed(Path(13));
  ASSERT_TRUE(own.ok() && first.ok() && asking.ok() && killed.ok());
  killed.stop(false);

  // The instance giving the command stops listening first.
  own.stop(true);
  std::vector<int> sleeps;
  int probes = 0;
  auto sleep = [&](int ms) {
    sleeps.push_back(ms);
    // The first instance closes while it is waited for.
    if (++probes == 2) first.stop(true);
  };
  CloseAllReport report = CloseOtherInstances(dir_.path(), uid_, Path(10), sleep);
  EXPECT_EQ(report.staleRemoved, 1);
  EXPECT_EQ(report.asked, 2);
  EXPECT_EQ(report.closed, 1);
  // Two waits for the first (it closed during the second), four for the one asking.
  EXPECT_EQ(sleeps, std::vector<int>(6, 99));
  // One request; the waits' probes connect and send nothing, which a receiver ignores.
  std::vector<std::string> got = asking.received();
  EXPECT_EQ(std::count(got.begin(), got.end(), "Quorvel6EXN close\n"), 1);
  EXPECT_EQ(std::count(got.begin(), got.end(), ""), static_cast<long>(got.size()) - 1);
  EXPECT_FALSE(std::filesystem::exists(Path(13)));
}

TEST_F(InstanceSockets, CloseRequestReachesTheListenerAndFailsWithoutOne) {
  Listener one(Path(5));
  ASSERT_TRUE(one.ok());
  EXPECT_TRUE(SendCloseRequest(Path(5)));
  std::vector<std::string> got = one.received();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(ParseInstanceMessage(got[0]), InstanceRequest::kClose);
  one.stop(false);
  EXPECT_FALSE(SendCloseRequest(Path(5)));
  EXPECT_FALSE(SendCloseRequest(Path(6)));
  EXPECT_FALSE(SendCloseRequest("/" + std::string(MaxSocketPathLength() + 1, 'x')));
}

}  // namespace
}  // namespace quorvel
