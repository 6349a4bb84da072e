// Field contents as the field viewer reads, shows and loads them, checked
// against tags built byte by byte here and against mutagen's view of them.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "id3v2_read_support.h"
#include "tags/field_content.h"
#include "tags/id3v2_writer.h"

extern char** environ;

namespace quorvel {
namespace {

using namespace quorvel::test;

// The payload every case stores: bytes that unsynchronisation changes.
const Bytes kData = B("own\0\xFF\x00\x01\xFF\xE0\x02\xFF\xFF\x00", 13);

Bytes Unsynchronised(const Bytes& b) { return UnsyncBytes(b, true); }

Bytes Dli(uint32_t n) {
  Bytes out;
  PutSyncsafe(out, n);
  return out;
}

// Runs python3 with mutagen; standard output, or "FAILED" when it did not run.
std::string Mutagen(const std::string& script, const std::string& path) {
  int fds[2];
  if (pipe(fds) != 0) return "FAILED";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  const char* argv[] = {"/usr/bin/python3", "-c", script.c_str(), path.c_str(), nullptr};
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string out;
  if (rc == 0) {
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  if (rc != 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return "FAILED";
  return out;
}

std::string Hex(const Bytes& b) {
  static const char* d = "0123456789abcdef";
  std::string h;
  for (uint8_t c : b) {
    h += d[c >> 4];
    h += d[c & 15];
  }
  return h;
}

const char* const kPrivScript = R"PY(
import sys
from mutagen.id3 import ID3
f = ID3(sys.argv[1]).getall('PRIV')[0]
print((f.owner.encode('latin1') + b'\0' + f.data).hex())
)PY";

TEST(FieldContent, DataAfterHeadersPrefixesAndUnsynchronisation) {
  ScratchDir dir;
  struct Case {
    const char* name;
    Bytes tag;
    bool mutagenReadsIt;
  } cases[] = {
      {"2.3 plain", Tag(3, 0, Frame(3, "PRIV", kData)), true},
      // The whole tag unsynchronised; the frame size counts the data before it.
      {"2.3 unsynchronised tag", Tag(3, 0x80, Cat({Frame(3, "PRIV", {}), Unsynchronised(kData)})), true},
      // mutagen leaves a group byte in the data, so grouped frames are checked
      // against the bytes built here only.
      {"2.3 grouped", Tag(3, 0, Frame(3, "PRIV", Cat({{0x07}, kData}), 0, 0x20)), false},
      {"2.4 plain", Tag(4, 0, Frame(4, "PRIV", kData)), true},
      // Frame unsynchronisation and a data length indicator.
      {"2.4 frame unsync + length", Tag(4, 0, Frame(4, "PRIV", Cat({Dli(13), Unsynchronised(kData)}), 0, 0x03)),
       true},
      {"2.4 grouped + length", Tag(4, 0, Frame(4, "PRIV", Cat({{0x09}, Dli(13), kData}), 0, 0x41)), false},
  };
  // The unsynchronised 2.3 frame's size field must say 13 (the data's length).
  {
    Bytes& t = cases[1].tag;
    t[10 + 7] = 13;
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file("tag.mp3");
    WriteBytes(path, c.tag);
    Id3v2TagState tag;
    ASSERT_TRUE(ReadTagAt(path, tag));
    const Id3v2Field* f = FieldWithCode(tag, "PRIV");
    ASSERT_NE(f, nullptr);
    InputFile source;
    ASSERT_TRUE(source.open(path));
    Bytes data;
    ASSERT_EQ(ReadFieldData(tag, *f, source, data), ContentResult::kOk);
    EXPECT_EQ(data, kData);
    if (c.mutagenReadsIt) {
      EXPECT_EQ(Mutagen(kPrivScript, path), Hex(kData) + "\n");
    }
    // Limits: at the data's length, and one byte below it.
    EXPECT_EQ(ReadFieldData(tag, *f, source, data, 13), ContentResult::kOk);
    EXPECT_EQ(ReadFieldData(tag, *f, source, data, 12), ContentResult::kTooLarge);
    EXPECT_TRUE(data.empty());
  }
}

TEST(FieldContent, HeaderLengthsAndTheExtendedHeader) {
  ScratchDir dir;
  const std::string path = dir.file("tag.mp3");
  // 2.2: a 6-byte header.
  WriteBytes(path, Tag(2, 0, Frame(2, "MCI", B("\x01\x02\x03", 3))));
  Id3v2TagState tag;
  ASSERT_TRUE(ReadTagAt(path, tag));
  ASSERT_FALSE(tag.fields.empty());
  EXPECT_EQ(FieldHeaderLength(tag, tag.fields[0]), 6u);
  InputFile source;
  ASSERT_TRUE(source.open(path));
  Bytes data;
  ASSERT_EQ(ReadFieldData(tag, tag.fields[0], source, data), ContentResult::kOk);
  EXPECT_EQ(data, B("\x01\x02\x03", 3));

  // 2.4 extended header: its content follows the four size bytes.
  Bytes ext = Cat({Dli(6), {0x01, 0x00}});
  WriteBytes(path, Tag(4, 0x40, Cat({ext, Frame(4, "PRIV", kData)})));
  ASSERT_TRUE(ReadTagAt(path, tag));
  const Id3v2Field* header = nullptr;
  for (const Id3v2Field& f : tag.fields) {
    if (f.ind == kExtHeaderIndex) header = &f;
  }
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(FieldHeaderLength(tag, *header), 0u);
  InputFile source2;
  ASSERT_TRUE(source2.open(path));
  ASSERT_EQ(ReadFieldData(tag, *header, source2, data), ContentResult::kOk);
  EXPECT_EQ(data, (Bytes{0x01, 0x00}));

  // A source rewritten shorter since it was read.
  std::filesystem::resize_file(path, 12);
  InputFile shorter;
  ASSERT_TRUE(shorter.open(path));
  EXPECT_EQ(ReadFieldData(tag, *FieldWithCode(tag, "PRIV"), shorter, data), ContentResult::kReadError);
}

TEST(FieldContent, MessageWindowText) {
  struct Case {
    const char* name;
    Bytes data;
    uint8_t enc, parts;
    const char* text;
    int kind;
  } cases[] = {
      {"no bytes", {}, 0, 0, "- EMPTY FIELD -  ", 2},
      {"Latin-1 after encoding, language and description", B("\0engdesc\0caf\xE9", 13), 0,
       kPartEncoding | kPartLanguage | kPartDescription, "caf\xC3\xA9", 0},
      {"UTF-16 with BOM", B("\x01\xFF\xFEh\0i\0", 7), 1, kPartEncoding, "hi", 0},
      {"only a description", B("\0eng\0", 5), 0, kPartEncoding | kPartLanguage | kPartDescription,
       "- THE FIELD IS EMPTY -", 2},
      {"2048 bytes", Bytes(2048, 'a'), 0, 0, nullptr, 0},
      {"2049 bytes", Bytes(2049, 'a'), 0, 0, "- TOO LARGE TO DISPLAY (2 KB MAX) -", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ContentView v = ContentForMessage(c.data, c.enc, c.parts);
    if (c.text != nullptr) {
      EXPECT_EQ(v.text, c.text);
    } else {
      EXPECT_EQ(v.text, std::string(2048, 'a'));
    }
    EXPECT_EQ(v.kind, c.kind);
  }
}

TEST(FieldContent, LoadingAFileIntoAField) {
  ScratchDir dir;
  const std::string blob = dir.file("blob.bin");
  WriteBytes(blob, B("\0me\0payload", 11));
  Id3v2Field field;
  field.akcija = kFieldAdded | kFieldEdited;
  field.err = kErrUnknownEncoding;
  field.tansi = "old";
  LoadResult r = LoadFieldFromFile(field, blob, true);
  EXPECT_TRUE(r.loaded);
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(field.tload, blob);
  EXPECT_EQ(field.akcija, kFieldAdded | kFieldLoaded);
  EXPECT_EQ(field.err, 0);
  EXPECT_EQ(field.tcont, "none");
  EXPECT_EQ(field.tansi, "");

  const Id3v2Field before = field;
  auto refused = [&](const std::string& path, const char* text) {
    SCOPED_TRACE(path);
    Id3v2Field f = before;
    LoadResult bad = LoadFieldFromFile(f, path, false);
    EXPECT_FALSE(bad.loaded);
    EXPECT_EQ(bad.message, text);
    EXPECT_EQ(bad.kind, 258);
    EXPECT_EQ(f.tload, before.tload);
    EXPECT_EQ(f.akcija, before.akcija);
  };
  refused(dir.path(), "Disk error reading the file.");             // a folder
  refused(dir.file("missing"), "Disk error reading the file.");
  const std::string big = dir.file("big.bin");
  WriteBytes(big, {});
  std::filesystem::resize_file(big, kFieldLoadLimit + 1);
  refused(big, "Please load files up to 16 MB in size.\r\nNote that large tags may cause compatibility issues.");
  std::filesystem::resize_file(big, kFieldLoadLimit);
  Id3v2Field limit;
  EXPECT_TRUE(LoadFieldFromFile(limit, big, false).loaded);

  const std::string empty = dir.file("empty.bin");
  WriteBytes(empty, {});
  Id3v2Field e;
  LoadResult emptyLoad = LoadFieldFromFile(e, empty, true);
  EXPECT_TRUE(emptyLoad.loaded);
  EXPECT_EQ(e.tcont, "");
  EXPECT_NE(emptyLoad.message.find("You just loaded an empty file."), std::string::npos);
  EXPECT_EQ(LoadFieldFromFile(e, empty, false).message, "");
}

// A field loaded from a file is written from it: mutagen reads the loaded bytes back.
TEST(FieldContent, LoadedFieldIsWrittenAndReadBackByMutagen) {
  ScratchDir dir;
  const std::string path = dir.file("tag.mp3");
  WriteBytes(path, Cat({Tag(3, 0, Frame(3, "PRIV", B("old\0x", 5))), Bytes(417, 0)}));
  Id3v2TagState tag;
  ASSERT_TRUE(ReadTagAt(path, tag));
  Id3v2Field* f = const_cast<Id3v2Field*>(FieldWithCode(tag, "PRIV"));
  ASSERT_NE(f, nullptr);
  const std::string blob = dir.file("blob.bin");
  WriteBytes(blob, kData);
  ASSERT_TRUE(LoadFieldFromFile(*f, blob, false).loaded);
  for (uint8_t major : {3, 4}) {
    SCOPED_TRACE(int{major});
    tag.tagversion.major = major;
    InputFile source;
    ASSERT_TRUE(source.open(path));
    Id3v2Block block = BuildId3v2TagBlock(tag, source, {}, {});
    ASSERT_EQ(block.outcome, Id3v2BlockOutcome::kWritten);
    const std::string out = dir.file("out.mp3");
    WriteBytes(out, block.bytes);
    EXPECT_EQ(Mutagen(kPrivScript, out), Hex(kData) + "\n");
  }
}

}  // namespace
}  // namespace quorvel
