// The ID3v1 reader and writer checked against an independent implementation
// (mutagen, eyeD3): tags they write are read by ProcessID3v1, and the 128 bytes
// written here are parsed by mutagen's ID3v1 parser.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tags/id3v1.h"
#include "tags/id3v1_editor.h"
#include "tags/message_kind.h"

extern char** environ;

namespace quorvel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPython = "/usr/bin/python3";

struct RunResult {
  int status = -1;
  std::string out;
};

// Runs a program with an argument vector and collects its standard output.
RunResult RunProgram(const std::vector<std::string>& args) {
  RunResult r;
  int fds[2];
  if (pipe(fds) != 0) return r;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return r;
  }
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) r.out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::map<std::string, std::string> KeyValues(const std::string& text) {
  std::map<std::string, std::string> m;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq != std::string::npos) m[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return m;
}

std::string Hex(const std::string& s) {
  static const char* d = "0123456789abcdef";
  std::string h;
  for (unsigned char c : s) {
    h += d[c >> 4];
    h += d[c & 15];
  }
  return h;
}

// A file of one silent-looking frame's bytes followed by the 128 tag bytes.
void WriteFileWithTag(const std::string& path, const std::array<uint8_t, 128>& tag) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  std::string audio(417, '\0');
  audio[0] = '\xFF';
  audio[1] = '\xFB';
  f.write(audio.data(), static_cast<std::streamsize>(audio.size()));
  f.write(reinterpret_cast<const char*>(tag.data()), static_cast<std::streamsize>(tag.size()));
}

class Id3v1Interop : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(kPython, X_OK), 0) << kPython << " is missing (scripts/install-deps)";
    ASSERT_EQ(RunProgram({kPython, "-c", "import mutagen"}).status, 0) << "mutagen is not installed (scripts/install-deps)";
    std::string pattern = (fs::temp_directory_path() / "quorvel-v1interop-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  std::string dir_;
};

TEST_F(Id3v1Interop, TagWrittenByMutagenIsRead) {
  const std::string path = dir_ + "/mutagen.mp3";
  const char* script = R"PY(
import sys
from mutagen.id3 import MakeID3v1, TIT2, TPE1, TALB, TDRC, COMM, TRCK, TCON
frames = {
    'TIT2': TIT2(encoding=3, text='Caf\u00e9 Song'),
    'TPE1': TPE1(encoding=3, text='The Artist'),
    'TALB': TALB(encoding=3, text='An Album Name Longer Than Thirty Bytes'),
    'TDRC': TDRC(encoding=3, text='2004'),
    'COMM': COMM(encoding=3, lang='eng', desc='', text='nice one'),
    'TRCK': TRCK(encoding=3, text='7/12'),
    'TCON': TCON(encoding=3, text='Jazz'),
}
with open(sys.argv[1], 'wb') as f:
    f.write(b'\xff\xfb\x90\x64' + b'\x00' * 413)
    f.write(MakeID3v1(frames))
)PY";
  ASSERT_EQ(RunProgram({kPython, "-c", script, path}).status, 0);

  InputFile file;
  ASSERT_TRUE(file.open(path));
  ASSERT_GE(file.size(), 128);
  Id3v1State s;
  ASSERT_EQ(ProcessID3v1(s, file, file.size() - 128), Id3v1ReadResult::kOk);
  // mutagen writes ISO-8859-1; the byte E9 that is not UTF-8 reads as U+00E9.
  EXPECT_EQ(ReadTextField(s.record, Id3v1Field::kTitle, 30), "Caf\xC3\xA9 Song");
  EXPECT_EQ(ReadTextField(s.record, Id3v1Field::kArtist, 30), "The Artist");
  EXPECT_EQ(ReadTextField(s.record, Id3v1Field::kAlbum, 30), "An Album Name Longer Than Thir");
  EXPECT_EQ(ReadTextField(s.record, Id3v1Field::kYear, 4), "2004");
  EXPECT_TRUE(IsId3v11(s.record));
  EXPECT_EQ(Id3v1Track(s.record), 7);
  EXPECT_EQ(Id3v1CommentText(s.record), "nice one");
  EXPECT_EQ(GenreText(s.record.bytes[kId3v1GenreOffset]), "Jazz");
  EXPECT_FALSE(IsId3v1Empty(s.record));
}

TEST_F(Id3v1Interop, TagWrittenByEyeD3IsRead) {
  const char* eyeD3 = "/usr/bin/eyeD3";
  ASSERT_EQ(access(eyeD3, X_OK), 0) << eyeD3 << " is missing (scripts/install-deps)";
  const std::string path = dir_ + "/eyed3.mp3";
  {
    std::ofstream f(path, std::ios::binary);
    std::string audio(417, '\0');
    audio[0] = '\xFF';
    audio[1] = '\xFB';
    f.write(audio.data(), static_cast<std::streamsize>(audio.size()));
  }
  RunResult r = RunProgram({eyeD3, "--v1", "-t", "Title", "-a", "Artist", "-A", "Album", "-Y", "1998", "-n", "4",
                            "-G", "Blues", "-c", "a comment here", path});
  ASSERT_EQ(r.status, 0) << r.out;
  InputFile file;
  ASSERT_TRUE(file.open(path));
  Id3v1State s;
  ASSERT_EQ(ProcessID3v1(s, file, file.size() - 128), Id3v1ReadResult::kOk);
  EXPECT_EQ(ReadTextField(s.record, Id3v1Field::kTitle, 30), "Title");
  EXPECT_EQ(ReadTextField(s.record, Id3v1Field::kArtist, 30), "Artist");
  EXPECT_EQ(ReadTextField(s.record, Id3v1Field::kAlbum, 30), "Album");
  EXPECT_EQ(ReadTextField(s.record, Id3v1Field::kYear, 4), "1998");
  EXPECT_EQ(Id3v1CommentText(s.record), "a comment here");
  EXPECT_EQ(Id3v1Track(s.record), 4);
  EXPECT_EQ(GenreText(s.record.bytes[kId3v1GenreOffset]), "Blues");
}

TEST_F(Id3v1Interop, BytesWrittenHereAreParsedByMutagen) {
  struct Case {
    const char* name;
    std::string title, artist, album, year, comment;
    int track;  // 0: version 1.0
    int genre;
    std::map<std::string, std::string> expected;  // mutagen frame id -> text
  } cases[] = {
      {"version 1.1 with track and genre", "Song", "Band", "Record", "1999", "Words", 12, 17,
       {{"TIT2", "Song"}, {"TPE1", "Band"}, {"TALB", "Record"}, {"TDRC", "1999"}, {"COMM", "Words"},
        {"TRCK", "12"}, {"TCON", "17"}}},
      {"version 1.0, no genre", "Only a title", "", "", "", "short", 0, 255,
       {{"TIT2", "Only a title"}, {"COMM", "short"}}},
      {"full 30-byte fields and utf-8 bytes", std::string(30, 'T'), "\xC3\x9C" "ber", std::string(30, 'B'), "2020",
       "c", 255, 148,
       {{"TIT2", std::string(30, 'T')}, {"TPE1", "\xC3\x9C" "ber"}, {"TALB", std::string(30, 'B')},
        {"TDRC", "2020"}, {"COMM", "c"}, {"TRCK", "255"}, {"TCON", "148"}}},
  };
  const char* script = R"PY(
import sys
from mutagen.id3 import ParseID3v1
with open(sys.argv[1], 'rb') as f:
    data = f.read()[-128:]
frames = ParseID3v1(data)
for key in sorted(frames):
    print(key + '=' + frames[key].text[0].encode('latin1').hex())
)PY";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Id3v1Tag tag;
    StoreTextField(c.title, tag, Id3v1Field::kTitle, 30);
    StoreTextField(c.artist, tag, Id3v1Field::kArtist, 30);
    StoreTextField(c.album, tag, Id3v1Field::kAlbum, 30);
    StoreTextField(c.year, tag, Id3v1Field::kYear, 4);
    StoreTextField(c.comment, tag, Id3v1Field::kComment, c.track ? 28 : 30);
    if (c.track) {
      tag.bytes[122] = 0;
      tag.bytes[123] = static_cast<uint8_t>(c.track);
    }
    tag.bytes[kId3v1GenreOffset] = static_cast<uint8_t>(c.genre);
    auto out = Id3v1OutputBytes(tag);

    const std::string path = dir_ + "/ours.mp3";
    WriteFileWithTag(path, out);
    RunResult r = RunProgram({kPython, "-c", script, path});
    ASSERT_EQ(r.status, 0) << r.out;
    std::map<std::string, std::string> expectedHex;
    for (const auto& [k, v] : c.expected) expectedHex[k] = Hex(v);
    EXPECT_EQ(KeyValues(r.out), expectedHex);
  }
}

// Tags made through the editor, as a user fills its boxes, read back by three
// other programs with the values entered.
TEST_F(Id3v1Interop, TagFilledInTheEditorReadsBackInOtherTools) {
  const char* eyeD3 = "/usr/bin/eyeD3";
  const char* id3v2 = "/usr/bin/id3v2";
  ASSERT_EQ(access(eyeD3, X_OK), 0) << eyeD3 << " is missing (scripts/install-deps)";
  ASSERT_EQ(access(id3v2, X_OK), 0) << id3v2 << " is missing (scripts/install-deps)";
  struct Case {
    const char* name;
    std::string title, artist, album, year, comment, track;
    bool version11;
    int genre;  // -1: "- EMPTY -"
    const char* genreName;
  } cases[] = {
      {"1.1 with track and genre", "Song Title", "Band", "Album Name", "1999", "nice one", "7", true, 8, "Jazz"},
      {"1.0 with a full comment", "T", "A", "B", "2024", "123456789012345678901234567890", "", false, -1, ""},
      // id3v2 prints the track byte as a signed number and eyeD3 names genres
      // past 147 from a longer list, so the track and genre stay below those.
      {"1.1, full fields", std::string(30, 't'), "Art", "Alb", "2001", std::string(28, 'c'), "127", true, 100,
       "Humour"},
  };
  const char* mutagenScript = R"PY(
import sys
from mutagen.id3 import ParseID3v1
with open(sys.argv[1], 'rb') as f:
    frames = ParseID3v1(f.read()[-128:])
for key in sorted(frames):
    print(key + '=' + frames[key].text[0].encode('latin1').hex())
)PY";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Id3v1State state;
    Id3v1Editor editor(
        state, [](const std::string&, int, const std::string&) {},
        [](const std::string&, int, const std::string&) { return kAnswerYes; });
    editor.Fill(false);
    editor.SetVersion(c.version11);
    editor.SetText(Id3v1EditorField::kTitle, c.title);
    editor.SetText(Id3v1EditorField::kArtist, c.artist);
    editor.SetText(Id3v1EditorField::kAlbum, c.album);
    editor.SetText(Id3v1EditorField::kYear, c.year);
    editor.SetText(Id3v1EditorField::kComment, c.comment);
    if (c.version11) editor.SetText(Id3v1EditorField::kTrack, c.track);
    editor.SetGenre(c.genre < 0 ? kGenreCount : c.genre);
    ASSERT_TRUE(editor.Accept());

    const std::string path = dir_ + "/edited.mp3";
    WriteFileWithTag(path, Id3v1OutputBytes(state.record));

    RunResult m = RunProgram({kPython, "-c", mutagenScript, path});
    ASSERT_EQ(m.status, 0) << m.out;
    std::map<std::string, std::string> expected = {
        {"TIT2", Hex(c.title)}, {"TPE1", Hex(c.artist)}, {"TALB", Hex(c.album)},
        {"TDRC", Hex(c.year)},  {"COMM", Hex(c.comment)}};
    if (c.version11) expected["TRCK"] = Hex(c.track);
    if (!c.version11 && c.comment.size() == 30) {
      // mutagen reads every comment as 29 bytes and the last byte as a track.
      expected["COMM"] = Hex(c.comment.substr(0, 29));
      expected["TRCK"] = Hex(std::to_string(static_cast<unsigned char>(c.comment[29])));
    }
    if (c.genre >= 0) expected["TCON"] = Hex(std::to_string(c.genre));
    EXPECT_EQ(KeyValues(m.out), expected);

    RunResult e = RunProgram({eyeD3, "--v1", path});
    ASSERT_EQ(e.status, 0) << e.out;
    EXPECT_NE(e.out.find("ID3 v1." + std::string(c.version11 ? "1" : "0")), std::string::npos) << e.out;
    EXPECT_NE(e.out.find("title: " + c.title + "\n"), std::string::npos) << e.out;
    EXPECT_NE(e.out.find("artist: " + c.artist + "\n"), std::string::npos) << e.out;
    EXPECT_NE(e.out.find("album: " + c.album + "\n"), std::string::npos) << e.out;
    EXPECT_NE(e.out.find("\n" + c.comment + "\n"), std::string::npos) << e.out;
    if (c.version11) {
      EXPECT_NE(e.out.find("track: " + c.track + "\t"), std::string::npos) << e.out;
    }
    if (c.genre >= 0) {
      EXPECT_NE(e.out.find(std::string("genre: ") + c.genreName + " (id " + std::to_string(c.genre) + ")"),
                std::string::npos)
          << e.out;
    }

    RunResult l = RunProgram({id3v2, "-l", path});
    ASSERT_EQ(l.status, 0) << l.out;
    EXPECT_NE(l.out.find("Title  : " + c.title), std::string::npos) << l.out;
    EXPECT_NE(l.out.find("Artist: " + c.artist), std::string::npos) << l.out;
    EXPECT_NE(l.out.find("Year: " + c.year), std::string::npos) << l.out;
    EXPECT_NE(l.out.find("Comment: " + c.comment), std::string::npos) << l.out;
    if (c.version11) {
      EXPECT_NE(l.out.find("Track: " + c.track), std::string::npos) << l.out;
    }
  }
}

// Letters outside ASCII are stored as UTF-8: mutagen hands back the very bytes
// typed (it reads ID3v1 as ISO-8859-1, so its text is turned back into bytes).
TEST_F(Id3v1Interop, NonAsciiTextFromTheEditorKeepsItsBytes) {
  Id3v1State state;
  int asked = 0;
  Id3v1Editor editor(
      state, [](const std::string&, int, const std::string&) {},
      [&](const std::string&, int, const std::string&) { return ++asked, kAnswerYes; });
  editor.Fill(false);
  const std::string title = "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xC3\xA9t\xC3\xA9";          // Hebrew, then Latin
  const std::string artist = "\xF0\x9F\x8E\xB5 Band";                                   // a character outside the BMP
  const std::string sixteenE = [] { std::string s; for (int i = 0; i < 16; ++i) s += "\xC3\xA9"; return s; }();
  editor.SetText(Id3v1EditorField::kTitle, title);
  editor.SetText(Id3v1EditorField::kArtist, artist);
  editor.SetText(Id3v1EditorField::kAlbum, sixteenE);  // 32 bytes: 15 whole letters are kept
  ASSERT_TRUE(editor.Accept());
  EXPECT_EQ(asked, 1);
  const std::string path = dir_ + "/utf8.mp3";
  WriteFileWithTag(path, Id3v1OutputBytes(state.record));
  const char* script = R"PY(
import sys
from mutagen.id3 import ParseID3v1
with open(sys.argv[1], 'rb') as f:
    frames = ParseID3v1(f.read()[-128:])
for key in ('TIT2', 'TPE1', 'TALB'):
    print(key + '=' + frames[key].text[0].encode('latin1').hex())
)PY";
  RunResult r = RunProgram({kPython, "-c", script, path});
  ASSERT_EQ(r.status, 0) << r.out;
  auto values = KeyValues(r.out);
  EXPECT_EQ(values["TIT2"], Hex(title));
  EXPECT_EQ(values["TPE1"], Hex(artist));
  EXPECT_EQ(values["TALB"], Hex(sixteenE.substr(0, 30)));
}

}  // namespace
}  // namespace quorvel
