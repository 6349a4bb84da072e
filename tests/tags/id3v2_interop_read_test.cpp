// Tags written by independent programs (mutagen, eyeD3, id3v2) read back by
// ProcessID3v2 with the values those programs were given.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tags/id3v2_catalogue.h"
#include "tags/id3v2_read_support.h"
#include "tags/id3v2_reader.h"

extern char** environ;

namespace quorvel {
namespace {

using test::Bytes;

// Runs a program with an argument vector, output discarded; its exit status or -1.
int RunTool(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Executable(const char* path) { return access(path, X_OK) == 0; }

constexpr const char* kPython = "/usr/bin/python3";  // the system Python carries mutagen

bool HaveMutagen() {
  static const bool have = Executable(kPython) && RunTool({kPython, "-c", "import mutagen"}) == 0;
  return have;
}

// Twenty silent-looking MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz), enough
// for every tagger to take the file as an MP3 file.
Bytes Mp3Body() {
  Bytes frame(417, 0);
  frame[0] = 0xFF;
  frame[1] = 0xFB;
  frame[2] = 0x90;
  frame[3] = 0x64;
  Bytes out;
  for (int i = 0; i < 20; ++i) out.insert(out.end(), frame.begin(), frame.end());
  return out;
}

// Picture bytes with the pairs that unsynchronisation and text scanning trip over.
const Bytes kPicture = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0xFF, 0x00,
                        0xFF, 0xE0, 0x00, 0x00, 0x01, 'e', 'n', 'd'};

struct Expected {
  std::string code;
  int enc;  // -1: the field has no encoding byte
  std::string lang;
  std::string desc;
  std::string text;
};

class InteropRead : public ::testing::Test {
 protected:
  std::string NewMp3(const std::string& name) {
    const std::string path = dir_.file(name);
    test::WriteBytes(path, Mp3Body());
    return path;
  }
  std::string WritePicture() {
    const std::string path = dir_.file("cover.png");
    test::WriteBytes(path, kPicture);
    return path;
  }

  // Reads the tag and checks what every tag must satisfy: frames one behind the
  // other from the header on, padding up to the end of the tag, every list right.
  Id3v2TagState ReadChecked(const std::string& path, unsigned major) {
    Id3v2TagState tag;
    EXPECT_TRUE(test::ReadTagAt(path, tag));
    EXPECT_EQ(tag.tagversion.major, major);
    EXPECT_FALSE(tag.readerror);
    uint32_t pos = 10;
    for (const Id3v2Field& f : tag.fields) {
      EXPECT_EQ(f.spos, pos);
      EXPECT_EQ(f.err, 0) << f.thint;
      EXPECT_EQ(f.tload, path);
      pos += f.dlen;
    }
    EXPECT_EQ(pos + tag.padding, tag.tagsize);
    return tag;
  }

  void ExpectTexts(const Id3v2TagState& tag, const std::vector<Expected>& expected) {
    for (const Expected& e : expected) {
      SCOPED_TRACE(e.code);
      const Id3v2Field* f = test::FieldWithCode(tag, e.code);
      ASSERT_NE(f, nullptr);
      EXPECT_EQ(f->tip, kFieldText);
      if (e.enc >= 0) {
        EXPECT_EQ(f->enc, e.enc);
      }
      EXPECT_EQ(f->tlan, e.lang);
      EXPECT_EQ(f->tcont, e.desc);
      EXPECT_EQ(f->tansi, e.text);
      EXPECT_EQ(f->torig, e.text);
    }
  }

  void ExpectPicture(const Id3v2TagState& tag, const std::string& path, uint8_t type,
                     const std::string& desc) {
    const Id3v2Field* f = test::FieldWithCode(tag, "APIC");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->tip, kFieldPicture);
    EXPECT_EQ(f->sub, type);
    EXPECT_EQ(f->tcont, desc);
    EXPECT_EQ(test::PictureBytes(path, *f), kPicture);
    ASSERT_EQ(tag.piclist.size(), 1u);
  }

  void ExpectMixed(const Id3v2TagState& tag, const std::string& path, const std::string& code,
                   const Bytes& payloadTail) {
    SCOPED_TRACE(code);
    const Id3v2Field* f = test::FieldWithCode(tag, code);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->tip, kFieldMixed);
    const auto index = static_cast<uint32_t>(f - tag.fields.data());
    EXPECT_NE(std::find(tag.mixlist.begin(), tag.mixlist.end(), index), tag.mixlist.end());
    const Bytes all = test::ReadBytes(path);
    ASSERT_LE(f->spos + f->dlen, all.size());
    const Bytes field(all.begin() + f->spos, all.begin() + f->spos + f->dlen);
    EXPECT_EQ(std::string(field.begin(), field.begin() + 4), code);
    ASSERT_GE(field.size(), payloadTail.size());
    EXPECT_EQ(Bytes(field.end() - static_cast<long>(payloadTail.size()), field.end()), payloadTail);
  }

  test::ScratchDir dir_;
};

// mutagen: every frame kind, in 2.3 (where it writes UTF-8 as UTF-16) and 2.4.
const char* const kMutagenScript = R"PY(
import sys
from mutagen.id3 import (ID3, TIT2, TPE1, TALB, TPE2, COMM, USLT, TXXX, WXXX, WOAR, APIC,
                         PRIV, GEOB)
path, version, picture = sys.argv[1], int(sys.argv[2]), bytes.fromhex(sys.argv[3])
t = ID3()
t.add(TIT2(encoding=3, text=["T\u00eftle \u2713"]))
t.add(TPE1(encoding=1, text=["\u00c4rtist"]))
t.add(TALB(encoding=0, text=["Album \u00e9"]))
t.add(TPE2(encoding=2, text=["Band \U0001F600"]))
t.add(COMM(encoding=1, lang="deu", desc="Beschreibung", text=["Kommentar \u00fc"]))
t.add(USLT(encoding=3, lang="eng", desc="LyrDesc", text="line1\nline2"))
t.add(TXXX(encoding=3, desc="MyDesc", text=["MyValue \u00fc"]))
t.add(WXXX(encoding=1, desc="UrlDesc", url="http://example.com/x"))
t.add(WOAR(url="http://artist.example/"))
t.add(APIC(encoding=1, mime="image/png", type=3, desc="Cover \u2713", data=picture))
t.add(PRIV(owner="owner@example", data=b"\x00\x01\xff\x00"))
t.add(GEOB(encoding=0, mime="application/octet-stream", filename="obj.bin", desc="ObjDesc",
           data=b"payload"))
t.save(path, v2_version=version)
)PY";

std::string Hex(const Bytes& b) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (uint8_t c : b) {
    s += digits[c >> 4];
    s += digits[c & 15];
  }
  return s;
}

TEST_F(InteropRead, Mutagen) {
  ASSERT_TRUE(HaveMutagen()) << "mutagen is not installed for /usr/bin/python3 (scripts/install-deps)";
  for (unsigned major : {3u, 4u}) {
    SCOPED_TRACE(major);
    const std::string path = NewMp3("mutagen" + std::to_string(major) + ".mp3");
    ASSERT_EQ(RunTool({kPython, "-c", kMutagenScript, path, std::to_string(major), Hex(kPicture)}), 0);
    const Id3v2TagState tag = ReadChecked(path, major);
    // 2.3 knows only ISO-8859-1 and UTF-16: mutagen writes the others as UTF-16.
    const int utf8 = major == 4 ? 3 : 1;
    const int utf16be = major == 4 ? 2 : 1;
    ExpectTexts(tag, {
                         {"TIT2", utf8, "", "", "T\xC3\xAFtle \xE2\x9C\x93"},
                         {"TPE1", 1, "", "", "\xC3\x84rtist"},
                         {"TALB", 0, "", "", "Album \xC3\xA9"},
                         {"TPE2", utf16be, "", "", "Band \xF0\x9F\x98\x80"},
                         {"COMM", 1, "deu", "Beschreibung", "Kommentar \xC3\xBC"},
                         {"USLT", utf8, "eng", "LyrDesc", "line1\nline2"},
                         {"TXXX", utf8, "", "MyDesc", "MyValue \xC3\xBC"},
                         {"WXXX", 1, "", "UrlDesc", "http://example.com/x"},
                         {"WOAR", -1, "", "", "http://artist.example/"},
                     });
    ExpectPicture(tag, path, 3, "Cover \xE2\x9C\x93");
    ExpectMixed(tag, path, "PRIV", {'o', 'w', 'n', 'e', 'r', '@', 'e', 'x', 'a', 'm', 'p', 'l', 'e', 0, 0x00, 0x01, 0xFF, 0x00});
    ExpectMixed(tag, path, "GEOB", {'O', 'b', 'j', 'D', 'e', 's', 'c', 0, 'p', 'a', 'y', 'l', 'o', 'a', 'd'});
    EXPECT_EQ(tag.textlist.size(), 9u);
    EXPECT_EQ(tag.mixlist.size(), 2u);
    EXPECT_TRUE(tag.binlist.empty());
  }
}

TEST_F(InteropRead, EyeD3) {
  constexpr const char* kEyeD3 = "/usr/bin/eyeD3";
  ASSERT_TRUE(Executable(kEyeD3)) << "eyeD3 is not installed (scripts/install-deps)";
  const std::string picture = WritePicture();
  const std::string lyrics = dir_.file("lyrics.txt");
  test::WriteBytes(lyrics, test::B("line1\nline2 \xC3\xBC"));
  const std::string object = dir_.file("obj.bin");
  test::WriteBytes(object, test::B("payload"));
  struct Case {
    unsigned major;
    const char* encoding;
    int enc;
  };
  const Case cases[] = {{3, "utf16", 1}, {4, "utf16", 1}, {4, "utf8", 3}, {3, "latin1", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + " " + c.encoding);
    const std::string path = NewMp3(std::string("eyed3-") + c.encoding + std::to_string(c.major) + ".mp3");
    const bool latin1 = c.enc == 0;
    const std::string artist = latin1 ? "\xC3\x84rtist" : "\xC3\x84rtist \xE2\x9C\x93";
    ASSERT_EQ(RunTool({kEyeD3, "--no-color", c.major == 3 ? "--to-v2.3" : "--to-v2.4", "--encoding",
                   c.encoding, "-a", artist, "-t", "Title", "-A", "Album \xC3\xA9",
                   "--add-comment", "Kommentar:Desc:deu", "--user-text-frame", "MyDesc:MyValue",
                   "--user-url-frame", "UrlDesc:http\\://example.com/x", "--add-image",
                   picture + ":FRONT_COVER:Cover", "--add-lyrics", lyrics + ":LyrDesc:eng",
                   "--add-object", object + ":application/octet-stream:ObjDesc:obj.bin",
                   "--unique-file-id", "owner:id123", path}),
              0);
    const Id3v2TagState tag = ReadChecked(path, c.major);
    ExpectTexts(tag, {
                         {"TPE1", c.enc, "", "", artist},
                         {"TIT2", c.enc, "", "", "Title"},
                         {"TALB", c.enc, "", "", "Album \xC3\xA9"},
                         {"COMM", c.enc, "deu", "Desc", "Kommentar"},
                         {"TXXX", c.enc, "", "MyDesc", "MyValue"},
                         {"WXXX", c.enc, "", "UrlDesc", "http://example.com/x"},
                         {"USLT", c.enc, "eng", "LyrDesc", "line1\nline2 \xC3\xBC"},
                     });
    ExpectPicture(tag, path, 3, "Cover");
    ExpectMixed(tag, path, "GEOB", test::B("payload"));
    ExpectMixed(tag, path, "UFID", test::B("owner\0id123", 11));
  }
}

TEST_F(InteropRead, Id3v2Tool) {
  constexpr const char* kId3v2 = "/usr/bin/id3v2";
  ASSERT_TRUE(Executable(kId3v2)) << "id3v2 is not installed (scripts/install-deps)";
  const std::string path = NewMp3("id3lib.mp3");
  ASSERT_EQ(RunTool({kId3v2, "-a", "Artist", "-t", "Title", "-A", "Album", "-c", "cdesc:ctext:fra",
                 "--TXXX", "tdesc:tval", "--WOAR", "http://artist.example", "--TCOM", "Comp", path}),
            0);
  const Id3v2TagState tag = ReadChecked(path, 3);
  ExpectTexts(tag, {
                       {"TPE1", 0, "", "", "Artist"},
                       {"TIT2", 0, "", "", "Title"},
                       {"TALB", 0, "", "", "Album"},
                       {"COMM", 0, "fra", "cdesc", "ctext"},
                       {"TXXX", 0, "", "tdesc", "tval"},
                       {"WOAR", -1, "", "", "http://artist.example"},
                       {"TCOM", 0, "", "", "Comp"},
                   });
  EXPECT_GT(tag.padding, 0u);
}

}  // namespace
}  // namespace quorvel
