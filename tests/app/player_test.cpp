#include "app/player.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/desktop_shell.h"
#include "core/analysis.h"
#include "core/headless_host.h"
#include "settings_fixture.h"

namespace quorvel {
namespace {

using testing::EnvGuard;
using testing::TempFolder;

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// An executable shell script that writes each of its arguments on a line of
// its own (NUL-separated, so that names with line breaks stay apart) to log,
// then exits with status.
void WriteRecorder(const std::string& path, const std::string& log, int status) {
  WriteText(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\" >> '" + log + "'; done\nexit " +
                      std::to_string(status) + "\n");
  chmod(path.c_str(), 0755);
}

std::vector<std::string> ReadRecorded(const std::string& log) {
  std::vector<std::string> out;
  std::string text = ReadText(log);
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\0') {
      out.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return out;
}

// Waits for a program started without waiting to have written its record.
std::vector<std::string> WaitForRecord(const std::string& log, size_t expected) {
  for (int i = 0; i < 500; ++i) {
    std::vector<std::string> r = ReadRecorded(log);
    if (r.size() >= expected) return r;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ReadRecorded(log);
}

TEST(PlayerCommands, PlayCommandReduction) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      // A quoted executable followed by a quoted placeholder.
      {R"("C:\Program Files\Player\player.exe" "%1")", R"("C:\Program Files\Player\player.exe")"},
      // The same path unquoted, followed by the placeholder and a switch.
      {R"(C:\Program Files\Player\player.exe %1 /play)", R"("C:\Program Files\Player\player.exe")"},
      // Placeholder in quotes right after the unquoted path: the final quote goes.
      {R"(C:\p\player.exe "%1")", R"("C:\p\player.exe")"},
      // Without a placeholder the command stays as it is.
      {"/usr/bin/player", "/usr/bin/player"},
      // A quoted command whose closing quote is its last character stays.
      {R"("/opt/My Player/player")", R"("/opt/My Player/player")"},
      // A '%' in the first character is not searched for.
      {"%1", "%1"},
      // Too short to be a command.
      {"x", ""},
      {"", ""},
      {"\"", ""},
      // Desktop Exec lines with the field code made into the placeholder.
      {"vlc --started-from-file %1", "\"vlc --started-from-file\""},
      {"audacious %1", "\"audacious\""},
  };
  for (const Case& c : cases) EXPECT_EQ(ReducePlayCommand(c.in), c.out) << c.in;
}

TEST(PlayerCommands, EnqueueCommandReduction) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {R"("C:\Program Files\Player\player.exe" /ADD "%1")", R"("C:\Program Files\Player\player.exe" /ADD)"},
      {R"("C:\p q\player.exe" "%1")", R"("C:\p q\player.exe")"},
      {"player --enqueue %1", "player --enqueue"},
      // A quoted last argument with blanks inside is dropped as one.
      {R"(player -e "%1 x y")", "player -e"},
      // Without a blank outside quotes nothing is dropped.
      {"player", "player"},
      {"\"a b\"", "\"a b\""},
      {"pp %1", "pp"},
      // Too short to be a command.
      {"p %1", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ReduceEnqueueCommand(c.in), c.out) << c.in;
}

TEST(PlayerCommands, SplitCommandLine) {
  struct Case {
    std::string in;
    std::vector<std::string> out;
  };
  const Case cases[] = {
      {"a b  c", {"a", "b", "c"}},
      {R"("/opt/My Player/p" -x)", {"/opt/My Player/p", "-x"}},
      {R"(p "a \"q\" \$ \\ \` b")", {"p", "a \"q\" $ \\ ` b"}},
      {R"(p "")", {"p", ""}},
      {"p 'a b'", {"p", "'a", "b'"}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.in), c.out) << c.in;
}

TEST(DesktopEntry, ExecAndEnqueueAction) {
  struct Case {
    const char* name;
    std::string text;
    std::string exec, enqueue;
  };
  const Case cases[] = {
      {"main exec only, other groups ignored",
       "[Desktop Entry]\nName=P\nExec=player %U\nActions=new;\n\n[Desktop Action new]\nExec=player --new\n"
       "[Other Group]\nExec=wrong\n",
       "player %U", ""},
      {"enqueue action id in another case",
       "[Desktop Entry]\r\nExec=player %F\r\n[Desktop Action ENQUEUE]\r\nName=Add to play list\r\n"
       "Exec=player --enqueue %F\r\n",
       "player %F", "player --enqueue %F"},
      {"enqueue named by the action's Name",
       "[Desktop Action add]\nName=Enqueue\nExec=player -e %f\n[Desktop Entry]\nExec=player %f\n",
       "player %f", "player -e %f"},
      {"comments, blanks around '=', escapes, first key wins",
       "# c\n[Desktop Entry]\nExec = /opt/My\\sPlayer/p\\\\x %u\nExec=second\n", "/opt/My Player/p\\x %u", ""},
      {"action before the entry's group is not the entry's exec",
       "[Desktop Action enqueue]\nExec=p -a %U\n", "", "p -a %U"},
      {"empty", "", "", ""},
  };
  for (const Case& c : cases) {
    DesktopEntryExec e = ParseDesktopEntry(c.text);
    EXPECT_EQ(e.exec, c.exec) << c.name;
    EXPECT_EQ(e.enqueueExec, c.enqueue) << c.name;
  }
}

TEST(DesktopEntry, FieldCodesStandForTheFile) {
  struct Case {
    const char* exec;
    const char* enqueue;
    const char* play;
    const char* enqueueCommand;
  };
  const Case cases[] = {
      {"player %f", "", "\"player\"", ""},
      {"player %F", "player --enqueue %F", "\"player\"", "player --enqueue"},
      {"player --flag %u", "player -e %U", "\"player --flag\"", "player -e"},
      {"player %U", "player --enqueue %U --quiet", "\"player\"", "player --enqueue --quiet"},
      // %i and %c carry nothing a player needs and are dropped before the search.
      {"player %i %c %U", "", "\"player\"", ""},
      {"\"/opt/My Player/p\" --x %U", "\"/opt/My Player/p\" -e %U", "\"/opt/My Player/p\"",
       "\"/opt/My Player/p\" -e"},
      // An Exec of nothing but the file code names no program.
      {"%U", "%F", "", ""},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    PlayerCommands p = PlayerCommandsFromExec(c.exec, c.enqueue);
    EXPECT_EQ(p.playCommand, c.play) << c.exec;
    EXPECT_EQ(p.enqueueCommand, c.enqueueCommand) << c.enqueue;
  }
}

TEST(DesktopEntry, CommandArgumentVectors) {
  TempFolder tmp;
  const std::string spaced = tmp / "My Player";
  WriteText(spaced, "#!/bin/sh\n");
  chmod(spaced.c_str(), 0755);
  // A quoted executable path with blanks stays one program name.
  EXPECT_EQ(PlayCommandArgv("\"" + spaced + "\"", "/m/a b.mp3"),
            (std::vector<std::string>{spaced, "/m/a b.mp3"}));
  // A quoted program with its fixed arguments is split.
  EXPECT_EQ(PlayCommandArgv("\"no-such-player-xyz --started-from-file\"", "/m/x.mp3"),
            (std::vector<std::string>{"no-such-player-xyz", "--started-from-file", "/m/x.mp3"}));
  EXPECT_EQ(PlayCommandArgv("", "/m/x.mp3"), std::vector<std::string>{});
  EXPECT_EQ(EnqueueCommandArgv("\"/opt/My Player/p\" /ADD", "/m/x.mp3"),
            (std::vector<std::string>{"/opt/My Player/p", "/ADD", "/m/x.mp3"}));
  EXPECT_EQ(EnqueueCommandArgv("p --x=100%%", "f"), (std::vector<std::string>{"p", "--x=100%", "f"}));
}

// A fake desktop: xdg-mime names an entry in a private data folder.
class DesktopLookUp : public ::testing::Test {
 protected:
  void SetUp() override {
    bin = tmp / "bin";
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(tmp / "home/applications");
    std::filesystem::create_directories(tmp / "dirs/applications/kde4");
  }
  void fakeXdgMime(const std::string& answer) {
    WriteText(bin + "/xdg-mime", "#!/bin/sh\n[ \"$1 $2 $3\" = \"query default audio/mpeg\" ] || exit 1\necho '" +
                                     answer + "'\n");
    chmod((bin + "/xdg-mime").c_str(), 0755);
  }
  TempFolder tmp;
  std::string bin;
};

TEST_F(DesktopLookUp, EntriesFoundInDataHomeThenDataDirs) {
  EnvGuard path("PATH", bin + ":/usr/bin:/bin");
  EnvGuard home("XDG_DATA_HOME", tmp / "home");
  EnvGuard dirs("XDG_DATA_DIRS", tmp / "nowhere" + ":" + tmp / "dirs");
  WriteText(tmp / "dirs/applications/player.desktop",
            "[Desktop Entry]\nExec=dirs-player %U\n[Desktop Action Enqueue]\nExec=dirs-player --enqueue %U\n");
  fakeXdgMime("player.desktop");
  PlayerCommands p = LookUpPlayerCommands();
  EXPECT_EQ(p.playCommand, "\"dirs-player\"");
  EXPECT_EQ(p.enqueueCommand, "dirs-player --enqueue");

  // The user's own entry overrides the system's.
  WriteText(tmp / "home/applications/player.desktop", "[Desktop Entry]\nExec=home-player %f\n");
  p = LookUpPlayerCommands();
  EXPECT_EQ(p.playCommand, "\"home-player\"");
  EXPECT_EQ(p.enqueueCommand, "");

  // A "-" of the id may stand for a subfolder.
  WriteText(tmp / "dirs/applications/kde4/old.desktop", "[Desktop Entry]\nExec=old %u\n");
  fakeXdgMime("kde4-old.desktop");
  EXPECT_EQ(LookUpPlayerCommands().playCommand, "\"old\"");
}

TEST_F(DesktopLookUp, NoAssociationGivesNoCommands) {
  EnvGuard home("XDG_DATA_HOME", tmp / "home");
  EnvGuard dirs("XDG_DATA_DIRS", tmp / "dirs");
  {
    // No xdg-mime at all.
    EnvGuard path("PATH", bin);
    PlayerCommands p = LookUpPlayerCommands();
    EXPECT_EQ(p.playCommand, "");
    EXPECT_EQ(p.enqueueCommand, "");
  }
  EnvGuard path("PATH", bin + ":/usr/bin:/bin");
  for (const char* answer : {"", "missing.desktop", "../../etc/passwd"}) {
    fakeXdgMime(answer);
    EXPECT_EQ(LookUpPlayerCommands().playCommand, "") << answer;
  }
}

TEST(ShellResult, ExitStatusMapping) {
  const std::pair<int, int> cases[] = {{0, 42}, {1, 3}, {2, 2}, {3, 31}, {4, 11}, {5, 31}, {127, 31}};
  for (auto [status, code] : cases) EXPECT_EQ(ShellResultFromExitStatus(status), code) << status;
}

TEST(ShellResult, ErrorTexts) {
  const std::pair<int, const char*> cases[] = {
      {2, "The file seems to have disappeared."},
      {3, "The path seems invalid."},
      {5, "Your access is denied."},
      {8, "Insufficient memory (reboot is advised)."},
      {11, "Invalid file format."},
      {26, "Sharing violation (file is probably in use)."},
      {27, "No (or invalid) system viewer for this file type."},
      {31, "No (or invalid) system viewer for this file type."},
      {28, "DDE error."},
      {29, "DDE error."},
      {30, "DDE error."},
      {32, "DLL error."},
      {0, "Unknown error, code: 0"},
      {4, "Unknown error, code: 4"},
  };
  for (auto [code, text] : cases) EXPECT_EQ(ShellErrorText(code), text) << code;

  HeadlessHost host;
  Context ctx(host);
  ShellErrorMessage(ctx, 33);
  ShellErrorMessage(ctx, 42);
  EXPECT_TRUE(host.messages.empty());
  ShellErrorMessage(ctx, 2);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].kind, 1);
  EXPECT_EQ(host.messages[0].caption, "SYSTEM  ERROR");
}

// Names that a shell would split, expand or run.
const char* const kOddNames[] = {
    "a b.mp3",
    "q\"uote'.mp3",
    "$(touch PWNED).mp3",
    "x; touch PWNED; .mp3",
    "`touch PWNED`.mp3",
    "-n.mp3",
    "line\nbreak.mp3",
    "a:b.mp3",
};

class FakeDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    bin = tmp / "bin";
    media = tmp / "media";
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(media);
  }
  std::string makeMedia(const std::string& name) {
    std::string path = media + "/" + name;
    WriteText(path, "not really audio");
    return path;
  }
  TempFolder tmp;
  std::string bin, media;
};

TEST_F(FakeDesktop, OpenPassesOneArgumentAndRunsNothingElse) {
  const std::string log = tmp / "argv";
  WriteRecorder(bin + "/xdg-open", log, 0);
  EnvGuard path("PATH", bin + ":/usr/bin:/bin");
  ASSERT_EQ(chdir(media.c_str()), 0);
  DesktopShell shell;
  for (const char* name : kOddNames) {
    std::string file = makeMedia(name);
    std::filesystem::remove(log);
    EXPECT_EQ(shell.open(file), 42) << name;
    EXPECT_EQ(ReadRecorded(log), std::vector<std::string>{file}) << name;
  }
  // A relative name that looks like an option reaches xdg-open as a path.
  std::filesystem::remove(log);
  EXPECT_EQ(shell.open("-n.mp3"), 42);
  EXPECT_EQ(ReadRecorded(log), std::vector<std::string>{"./-n.mp3"});
  EXPECT_FALSE(std::filesystem::exists(media + "/PWNED"));
  EXPECT_FALSE(std::filesystem::exists(tmp / "PWNED"));
  ASSERT_EQ(chdir("/"), 0);
}

TEST_F(FakeDesktop, StartedProgramsInheritNoDescriptors) {
  // The instance lock and open MP3 files must not live on in a player.
  const std::string log = tmp / "fds";
  WriteText(bin + "/xdg-open", "#!/bin/sh\nls /proc/$$/fd > '" + log + "'\n");
  chmod((bin + "/xdg-open").c_str(), 0755);
  EnvGuard path("PATH", bin + ":/usr/bin:/bin");
  int leaked = ::open((tmp / "lock").c_str(), O_CREAT | O_RDWR, 0600);  // no O_CLOEXEC
  ASSERT_GE(leaked, 3);
  DesktopShell shell;
  EXPECT_EQ(shell.open(makeMedia("a.mp3")), 42);
  ::close(leaked);
  std::istringstream fds(ReadText(log));
  std::string fd;
  std::vector<std::string> seen;
  while (fds >> fd) seen.push_back(fd);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), std::to_string(leaked)), 0) << ::testing::PrintToString(seen);
}

TEST_F(FakeDesktop, OpenResultCodes) {
  const std::string log = tmp / "argv";
  EnvGuard path("PATH", bin);
  DesktopShell shell;
  // xdg-open missing.
  EXPECT_EQ(shell.open(makeMedia("a.mp3")), 31);
  const std::pair<int, int> cases[] = {{0, 42}, {1, 3}, {2, 2}, {3, 31}, {4, 11}};
  for (auto [status, code] : cases) {
    WriteRecorder(bin + "/xdg-open", log, status);
    EXPECT_EQ(shell.open(media + "/a.mp3"), code) << status;
  }
  // xdg-open present but not executable.
  chmod((bin + "/xdg-open").c_str(), 0644);
  EXPECT_EQ(shell.open(media + "/a.mp3"), 31);
}

TEST_F(FakeDesktop, OpenThatKeepsRunningCountsAsStarted) {
  WriteText(bin + "/xdg-open", "#!/bin/sh\nsleep 5\n");
  chmod((bin + "/xdg-open").c_str(), 0755);
  EnvGuard path("PATH", bin + ":/usr/bin:/bin");
  DesktopShell shell;
  shell.waitLimitMs = 50;
  EXPECT_EQ(shell.open(makeMedia("a.mp3")), 42);
}

TEST_F(FakeDesktop, PlayFileMessagesAndCodes) {
  HeadlessHost host;
  Context ctx(host);
  DesktopShell shell;
  Player player(shell);
  player.fallbackPauseMs = 0;

  // Missing file: a warning, or code 1 in a script.
  player.PlayFile(ctx, media + "/gone.mp3", false);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "The file was moved, renamed or deleted in the meantime.");
  EXPECT_EQ(host.messages[0].kind, 258);
  EXPECT_EQ(host.messages[0].caption, "warning");
  EXPECT_TRUE(host.opened.empty());
  ctx.script.active = true;
  player.PlayFile(ctx, media + "/gone.mp3", true);
  EXPECT_EQ(ctx.script.resultCode, 1);
  EXPECT_EQ(ctx.script.errorText, "The file was moved, renamed or deleted in the meantime.");
  EXPECT_EQ(host.messages.size(), 1u);

  // No association and no play command.
  const std::string file = makeMedia("a.mp3");
  host.shellResult = 31;
  ctx.script.active = false;
  player.PlayFile(ctx, file, false);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[1].text, "No (or invalid) system viewer for this file type.");
  EXPECT_EQ(host.messages[1].caption, "SYSTEM  ERROR");
  EXPECT_EQ(host.opened.back(), file);
  ctx.script.active = true;
  player.PlayFile(ctx, file, true);
  EXPECT_EQ(ctx.script.resultCode, 3);
  EXPECT_EQ(ctx.script.errorText, "System error trying to play.");
  EXPECT_EQ(host.messages.size(), 2u);
  EXPECT_FALSE(ctx.doc.playerHandOver);

  // While a script runs, only the script's own start is accepted.
  host.opened.clear();
  player.PlayFile(ctx, file, false);
  EXPECT_TRUE(host.opened.empty());

  // Busy: code 255 and nothing else.
  ctx.doc.busy = true;
  player.PlayFile(ctx, file, true);
  EXPECT_EQ(ctx.script.resultCode, 255);
  EXPECT_TRUE(host.opened.empty());
  ctx.doc.busy = false;

  // Other shell failures are not handed to the player.
  host.shellResult = 2;
  ctx.script.active = false;
  player.PlayFile(ctx, file, false);
  EXPECT_EQ(host.messages.back().text, "The file seems to have disappeared.");
  EXPECT_EQ(ctx.script.resultCode, 3);

  // Success.
  host.shellResult = 42;
  size_t before = host.messages.size();
  player.PlayFile(ctx, file, false);
  EXPECT_EQ(host.messages.size(), before);
  EXPECT_EQ(ctx.script.resultCode, 0);
}

TEST_F(FakeDesktop, RegisteredPlayerIsTheFallback) {
  const std::string log = tmp / "argv";
  WriteRecorder(bin + "/fake player", log, 0);
  EnvGuard path("PATH", bin + ":/usr/bin:/bin");
  HeadlessHost host;
  host.shellResult = 31;
  Context ctx(host);
  ctx.script.active = true;
  DesktopShell shell;
  Player player(shell);
  player.fallbackPauseMs = 0;
  player.commands = PlayerCommandsFromExec("\"" + bin + "/fake player\" %U", "");
  ASSERT_EQ(player.commands.playCommand, "\"" + bin + "/fake player\"");
  for (const char* name : kOddNames) {
    std::string file = makeMedia(name);
    std::filesystem::remove(log);
    player.PlayFile(ctx, file, true);
    EXPECT_EQ(ctx.script.resultCode, 0) << name;
    EXPECT_EQ(WaitForRecord(log, 1), std::vector<std::string>{file}) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(media + "/PWNED"));

  // A registered player that cannot be started.
  player.commands.playCommand = "\"" + bin + "/no such player\"";
  player.PlayFile(ctx, media + "/a b.mp3", true);
  EXPECT_EQ(ctx.script.resultCode, 3);
}

TEST_F(FakeDesktop, EnqueueStartsProgramWithFixedArguments) {
  const std::string log = tmp / "argv";
  WriteRecorder(bin + "/queue", log, 0);
  EnvGuard path("PATH", bin + ":/usr/bin:/bin");
  HeadlessHost host;
  Context ctx(host);
  DesktopShell shell;
  Player player(shell);
  player.commands = PlayerCommandsFromExec("queue %U", "queue --enqueue \"two words\" %U");
  ASSERT_TRUE(player.enqueueAvailable());
  ctx.doc.sourceName = makeMedia("x; touch PWNED; .mp3");
  ctx.doc.loaded = true;
  player.EnqueueInput(ctx);
  EXPECT_EQ(WaitForRecord(log, 3),
            (std::vector<std::string>{"--enqueue", "two words", ctx.doc.sourceName}));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(std::filesystem::exists(media + "/PWNED"));

  std::filesystem::remove(ctx.doc.sourceName);
  player.EnqueueInput(ctx);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "The file was moved, renamed or deleted in the meantime.");
}

TEST_F(FakeDesktop, SilentHostOpensThroughXdgOpen) {
  const std::string log = tmp / "argv";
  WriteRecorder(bin + "/xdg-open", log, 0);
  EnvGuard path("PATH", bin + ":/usr/bin:/bin");
  ShellHeadlessHost host;
  Context ctx(host);
  DesktopShell shell;
  Player player(shell);
  player.install(ctx);
  ctx.script.active = true;
  ctx.doc.loaded = true;
  ctx.doc.sourceName = makeMedia("$(touch PWNED) a.mp3");
  ASSERT_TRUE(ctx.playAvailable(ctx, PlayRequest::Input));
  EXPECT_FALSE(ctx.playAvailable(ctx, PlayRequest::Output));
  EXPECT_FALSE(ctx.playAvailable(ctx, PlayRequest::Selection));
  EXPECT_EQ(ctx.play(ctx, PlayRequest::Input), 0);
  EXPECT_EQ(ReadRecorded(log), std::vector<std::string>{ctx.doc.sourceName});
  EXPECT_FALSE(std::filesystem::exists(media + "/PWNED"));

  // No xdg-open: code 3 through the hook.
  EnvGuard empty("PATH", tmp / "nothing");
  EXPECT_EQ(ctx.play(ctx, PlayRequest::Input), 3);
  EXPECT_EQ(ctx.script.errorText, "System error trying to play.");
}

// A loaded copy of a fixture, a private settings folder and a host that
// records what was handed to the desktop.
class PlayWorkingFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* data = std::getenv("QUORVEL_TEST_DATA");
    ASSERT_NE(data, nullptr) << "QUORVEL_TEST_DATA not set";
    settings = tmp / "settings/";
    std::filesystem::create_directories(settings);
    source = tmp / "song.mp3";
    std::filesystem::copy_file(std::string(data) + "/cbr96-no-info.mp3", source);
    ctx.settingsFolder = settings;
    ctx.doc.sourceName = source;
    ctx.doc.documentName = source;
    ASSERT_TRUE(Loadfile(ctx));
    ASSERT_EQ(ctx.doc.editCount, 59);
    player.install(ctx);
  }
  int64_t bytesOfFrames(int32_t first, int32_t end) const {
    int64_t n = 0;
    for (int32_t p = first; p < end; ++p) n += ctx.doc.frames[ctx.doc.ref[p]].framelen;
    return n;
  }
  void select(int32_t a, int32_t b) {
    ctx.doc.cursor = a;
    ctx.doc.selectionEnd = b;
    ctx.doc.selectionExists = a != b;
  }
  TempFolder tmp;
  std::string settings, source;
  HeadlessHost host;
  Context ctx{host};
  DesktopShell shell;
  Player player{shell};
};

TEST_F(PlayWorkingFiles, PreviewWritesTheWholeEditAndPlaysIt) {
  player.PlayPreview(ctx, false);
  EXPECT_TRUE(host.messages.empty());
  ASSERT_EQ(host.opened, std::vector<std::string>{settings + kPreviewFileName});
  EXPECT_EQ(std::filesystem::file_size(settings + kPreviewFileName), static_cast<uintmax_t>(bytesOfFrames(0, 59)));
  EXPECT_FALSE(std::filesystem::exists(settings + std::string(kPreviewFileName) + ".mmtmpmp3"));
  // A second preview replaces the first under the same name.
  player.PlayPreview(ctx, false);
  EXPECT_EQ(host.opened.back(), settings + kPreviewFileName);
  EXPECT_FALSE(std::filesystem::exists(settings + kPreviewAltFileName));
}

TEST_F(PlayWorkingFiles, SelectionWritesTheSelectedFrames) {
  select(30, 10);
  EXPECT_TRUE(ctx.playAvailable(ctx, PlayRequest::Selection));
  ctx.script.active = true;
  EXPECT_EQ(ctx.play(ctx, PlayRequest::Selection), 0);
  ASSERT_EQ(host.opened, std::vector<std::string>{settings + kSelectionFileName});
  EXPECT_EQ(std::filesystem::file_size(settings + kSelectionFileName), static_cast<uintmax_t>(bytesOfFrames(10, 30)));
  // The document is not changed by playing.
  EXPECT_EQ(ctx.doc.editCount, 59);
}

TEST_F(PlayWorkingFiles, HeldWorkingFileFallsBackToTheSecondName) {
  // A name that cannot be replaced stands for a file the player holds.
  std::filesystem::create_directories(settings + kPreviewFileName + "/held");
  std::filesystem::create_directories(settings + kSelectionFileName + "/held");
  player.PlayPreview(ctx, false);
  EXPECT_EQ(host.opened.back(), settings + kPreviewAltFileName);
  select(5, 15);
  player.PlaySelection(ctx, false);
  EXPECT_EQ(host.opened.back(), settings + kSelectionAltFileName);
  EXPECT_EQ(std::filesystem::file_size(settings + kSelectionAltFileName),
            static_cast<uintmax_t>(bytesOfFrames(5, 15)));
  EXPECT_TRUE(host.messages.empty());

  // Both names held.
  std::filesystem::remove(settings + kPreviewAltFileName);
  std::filesystem::create_directories(settings + kPreviewAltFileName + "/held");
  const size_t opened = host.opened.size();
  player.PlayPreview(ctx, false);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text,
            "You may need to close your mp3 player so that the\r\ntemporary mp3 file can be overwritten and then played.");
  EXPECT_EQ(host.messages[0].kind, 258);
  EXPECT_EQ(host.messages[0].caption, "warning");
  ctx.script.active = true;
  EXPECT_EQ(ctx.play(ctx, PlayRequest::Preview), 2);
  EXPECT_EQ(host.opened.size(), opened);
  EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(PlayWorkingFiles, FailedFirstWriteLeavesNoErrorWhenTheSecondWorks) {
  // The first name cannot even be written (its temporary name is taken by a folder).
  std::filesystem::create_directories(settings + kSelectionFileName + ".mmtmpmp3/x");
  select(0, 10);
  ctx.script.active = true;
  EXPECT_EQ(ctx.play(ctx, PlayRequest::Selection), 0);
  EXPECT_EQ(ctx.script.errorText, "");
  EXPECT_EQ(host.opened, std::vector<std::string>{settings + kSelectionAltFileName});
}

TEST_F(PlayWorkingFiles, MissingFilesAreReportedBeforeWriting) {
  struct Case {
    const char* name;
    PlayRequest request;
    bool removeSource;
    bool missingInserted;
    const char* text;
  };
  const Case cases[] = {
      {"preview, source gone", PlayRequest::Preview, true, false,
       "The file was moved, renamed or deleted in the meantime."},
      {"preview, inserted file gone", PlayRequest::Preview, false, true,
       "A file to be inserted from was moved, renamed or deleted in the meantime."},
      {"selection, source gone", PlayRequest::Selection, true, false,
       "Source file was moved, renamed or deleted in the meantime."},
      {"input, source gone", PlayRequest::Input, true, false,
       "The file was moved, renamed or deleted in the meantime."},
  };
  const std::string moved = tmp / "moved.mp3";
  for (const Case& c : cases) {
    select(2, 8);
    if (c.removeSource) std::filesystem::rename(source, moved);
    if (c.missingInserted) {
      // The edit takes one frame from an inserted file that is gone.
      ctx.doc.files[1].name = tmp / "inserted-gone.mp3";
      ctx.doc.insertedCount = 1;
      ctx.doc.frames[ctx.doc.ref[40]].fromfile = 1;
    }
    ctx.script.active = true;
    host.opened.clear();
    EXPECT_EQ(ctx.play(ctx, c.request), 1) << c.name;
    EXPECT_EQ(ctx.script.errorText, c.text) << c.name;
    EXPECT_TRUE(host.opened.empty()) << c.name;
    EXPECT_FALSE(std::filesystem::exists(settings + kPreviewFileName)) << c.name;
    EXPECT_FALSE(std::filesystem::exists(settings + kSelectionFileName)) << c.name;
    ctx.script.active = false;
    const size_t before = host.messages.size();
    ctx.playAvailable(ctx, c.request);
    switch (c.request) {
      case PlayRequest::Preview: player.PlayPreview(ctx, false); break;
      case PlayRequest::Selection: player.PlaySelection(ctx, false); break;
      default: player.PlayInput(ctx, false); break;
    }
    ASSERT_EQ(host.messages.size(), before + 1) << c.name;
    EXPECT_EQ(host.messages.back().text, c.text) << c.name;
    EXPECT_EQ(host.messages.back().kind, 258) << c.name;
    if (c.removeSource) std::filesystem::rename(moved, source);
    if (c.missingInserted) ctx.doc.frames[ctx.doc.ref[40]].fromfile = 0;
  }
}

TEST_F(PlayWorkingFiles, PlayOutputPlaysTheLastSavedFile) {
  EXPECT_FALSE(ctx.playAvailable(ctx, PlayRequest::Output));
  const std::string saved = tmp / "saved.mp3";
  std::filesystem::copy_file(source, saved);
  ctx.save.lastOutputName = saved;
  ctx.save.playOutputEnabled = true;
  EXPECT_TRUE(ctx.playAvailable(ctx, PlayRequest::Output));
  ctx.script.active = true;
  EXPECT_EQ(ctx.play(ctx, PlayRequest::Output), 0);
  EXPECT_EQ(host.opened, std::vector<std::string>{saved});
  // Busy: nothing is available and a script start answers 255.
  ctx.doc.busy = true;
  EXPECT_FALSE(ctx.playAvailable(ctx, PlayRequest::Output));
  EXPECT_EQ(ctx.play(ctx, PlayRequest::Preview), 255);
  ctx.doc.busy = false;
}

// Runs the real program with a private home and PATH; returns its exit status.
int RunQuorvel(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  const char* binary = std::getenv("QUORVEL_BINARY");
  std::vector<std::string> all{binary};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envCopy = env;
  std::vector<char*> envp;
  for (std::string& e : envCopy) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int devnull = ::open("/dev/null", O_WRONLY);
    dup2(devnull, 2);
    execve(binary, argv.data(), envp.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(FakeDesktop, SilentScriptPlaysThroughXdgOpen) {
  ASSERT_NE(std::getenv("QUORVEL_BINARY"), nullptr) << "QUORVEL_BINARY not set";
  const char* data = std::getenv("QUORVEL_TEST_DATA");
  ASSERT_NE(data, nullptr) << "QUORVEL_TEST_DATA not set";
  const std::string home = tmp / "home";
  std::filesystem::create_directories(home);
  const std::string song = media + "/it's a \"song\"; $(touch PWNED).mp3";
  std::filesystem::copy_file(std::string(data) + "/cbr96-no-info.mp3", song);
  // In the script a kept double quote is written *".
  std::string scripted = song;
  for (size_t at = scripted.find('"'); at != std::string::npos; at = scripted.find('"', at + 2)) {
    scripted.insert(at, "*");
  }
  const std::string script = tmp / "play.txt";
  WriteText(script, "LOAD \"" + scripted + "\"\nPLAYINPUT\nSELECT 0.2 0.6\nPLAYSELECTION\nPLAYPREVIEW\n");
  // No registered player: xdg-mime knows nothing.
  WriteText(bin + "/xdg-mime", "#!/bin/sh\nexit 1\n");
  chmod((bin + "/xdg-mime").c_str(), 0755);
  const std::vector<std::string> env{"HOME=" + home, "PATH=" + bin, "LANG=C.UTF-8"};
  const std::string log = tmp / "argv";
  const std::string settings = home + "/.config/quorvel/";

  WriteRecorder(bin + "/xdg-open", log, 0);
  EXPECT_EQ(RunQuorvel({"--script", script}, env), 0) << ReadText(home + "/Quorvel.log");
  EXPECT_EQ(ReadRecorded(log),
            (std::vector<std::string>{song, settings + kSelectionFileName, settings + kPreviewFileName}));
  EXPECT_FALSE(std::filesystem::exists(media + "/PWNED"));
  EXPECT_FALSE(std::filesystem::exists(tmp / "PWNED"));

  // Without xdg-open and without a registered player every play command fails.
  std::filesystem::remove(bin + "/xdg-open");
  std::filesystem::remove(home + "/Quorvel.log");
  EXPECT_EQ(RunQuorvel({"--script", script}, env), 1);
  const std::string text = ReadText(home + "/Quorvel.log");
  EXPECT_NE(text.find("\r\nPLAYINPUT: System error trying to play.\r\n"), std::string::npos) << text;
}

TEST(HelpFiles, FoundBesideTheProgramThenInShare) {
  TempFolder tmp;
  const std::string app = tmp / "prefix/bin/";
  std::filesystem::create_directories(app);
  std::filesystem::create_directories(tmp / "prefix/share/quorvel");
  EXPECT_EQ(FindHelpFileIn(app, kScriptHelpFile), "");
  WriteText(tmp / "prefix/share/quorvel/Quorvel.script.tutorial.htm", "<html></html>");
  EXPECT_EQ(FindHelpFileIn(app, kScriptHelpFile), tmp / "prefix/share/quorvel/Quorvel.script.tutorial.htm");
  WriteText(app + "Quorvel.script.tutorial.htm", "<html></html>");
  EXPECT_EQ(FindHelpFileIn(app, kScriptHelpFile), app + "Quorvel.script.tutorial.htm");
  // A folder of that name is not a help file.
  std::filesystem::create_directories(app + kProgramHelpFile);
  EXPECT_EQ(FindHelpFileIn(app, kProgramHelpFile), "");
  EXPECT_EQ(FindHelpFileIn("", kProgramHelpFile), "");
}

TEST(HelpFiles, InstalledBesideTheBuiltProgram) {
  // The build copies both help files next to the program, where OpenHelpFile looks.
  const char* binary = std::getenv("QUORVEL_BINARY");
  ASSERT_NE(binary, nullptr) << "QUORVEL_BINARY not set";
  std::string folder = std::filesystem::path(binary).parent_path().string() + "/";
  for (const char* name : {kProgramHelpFile, kScriptHelpFile}) {
    EXPECT_EQ(FindHelpFileIn(folder, name), folder + name);
    std::string text = ReadText(folder + name);
    EXPECT_NE(text.find("</html>"), std::string::npos) << name;
  }
}

TEST(HelpFiles, OpenHelpFileMessages) {
  HeadlessHost host;
  Context ctx(host);
  OpenHelpFile(ctx, "no-such-help-file.htm");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "The help file is missing.");
  EXPECT_EQ(host.messages[0].kind, 257);
  EXPECT_EQ(host.messages[0].caption, "error");
  EXPECT_TRUE(host.opened.empty());

  TempFolder tmp;
  WriteText(tmp / kProgramHelpFile, "<html></html>");
  host.shellResult = 31;
  OpenHelpFileIn(ctx, tmp.path(), kProgramHelpFile);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[1].text, "System error trying to display the file");
  EXPECT_EQ(host.opened, std::vector<std::string>{tmp / kProgramHelpFile});
  host.shellResult = 42;
  OpenHelpFileIn(ctx, tmp.path(), kProgramHelpFile);
  EXPECT_EQ(host.messages.size(), 2u);
}

}  // namespace
}  // namespace quorvel
