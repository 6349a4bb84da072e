// Tags written by mutagen and eyeD3 (and the 2.2 fixture), edited through the
// tag editor's model, built by the writer and read back by mutagen, eyeD3 and
// kid3-cli. Untouched frames must come out byte for byte.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tags/id3v1.h"
#include "tags/id3v1_editor.h"
#include "tags/id3v2_editor.h"
#include "tags/id3v2_reader.h"
#include "tags/id3v2_read_support.h"
#include "tags/id3v2_writer.h"
#include "tags/message_kind.h"

namespace quorvel {
namespace {

using test::Bytes;
using test::B;
using test::Cat;
using test::Frame;
using test::ReadBytes;
using test::ReadTagAt;
using test::ScratchDir;
using test::WriteBytes;

std::string Shell(const std::string& command) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return "popen failed";
  std::string out;
  char buf[4096];
  size_t n = 0;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = pclose(p);
  if (rc != 0) out += "\n[exit " + std::to_string(rc) + "]";
  return out;
}

void WriteText(const std::string& path, const std::string& text) { WriteBytes(path, Bytes(text.begin(), text.end())); }

// Makes the source tags.
constexpr const char* kMakeMutagen = R"(import sys
from mutagen.id3 import ID3, TIT2, TPE1, COMM, TXXX, APIC, TALB
path, version, enc = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
t = ID3()
t.add(TIT2(encoding=enc, text='Old title'))
t.add(TPE1(encoding=enc, text='K\u00fcnstler'))
t.add(TALB(encoding=enc, text='Album \u0634'))
t.add(COMM(encoding=enc, lang='eng', desc='', text='first comment'))
t.add(COMM(encoding=enc, lang='deu', desc='zwei', text='zweiter Kommentar'))
t.add(TXXX(encoding=enc, desc='one', text='1'))
t.add(TXXX(encoding=enc, desc='two', text='\u00e9t\u00e9'))
t.add(APIC(encoding=enc, mime='image/png', type=3, desc='cover', data=b'\x89PNG\r\n\x1a\n' + bytes(range(256))))
t.save(path, v2_version=version)
)";

constexpr const char* kMakeEyed3 = R"(import sys, eyed3
from eyed3.id3 import Tag, ID3_V2_3, ID3_V2_4
path, version = sys.argv[1], sys.argv[2]
t = Tag()
t.title = 'Old title'
t.artist = 'K\u00fcnstler'
t.album = 'Album \u0634'
t.comments.set('first comment', '', b'eng')
t.comments.set('zweiter Kommentar', 'zwei', b'deu')
t.user_text_frames.set('1', 'one')
t.user_text_frames.set('\u00e9t\u00e9', 'two')
t.images.set(3, b'\x89PNG\r\n\x1a\n' + bytes(range(256)), 'image/png', 'cover')
t.save(path, version=ID3_V2_3 if version == '3' else ID3_V2_4, encoding='utf16' if version == '3' else 'utf8')
)";

// Prints title, artist, album and the comment without description, as UTF-8 hex.
constexpr const char* kReadMutagen = R"(import sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1])
h = lambda s: str(s).encode('utf-8').hex()
c = [f for f in t.getall('COMM') if f.desc == '']
print(h(t['TIT2'].text[0]), h(t['TPE1'].text[0]), h(t['TALB'].text[0]), h(c[0].text[0]) if c else '-')
)";
constexpr const char* kReadEyed3 = R"(import sys, eyed3
t = eyed3.load(sys.argv[1]).tag
h = lambda s: str(s).encode('utf-8').hex()
c = [x for x in t.comments if x.description == '']
print(h(t.title), h(t.artist), h(t.album), h(c[0].text) if c else '-')
)";

std::string Hex(const std::string& s) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out.push_back(d[c >> 4]);
    out.push_back(d[c & 15]);
  }
  return out;
}

// The raw frames of a tag that is not unsynchronised and has no extended
// header, by code and order.
std::multimap<std::string, Bytes> RawFrames(const Bytes& file) {
  std::multimap<std::string, Bytes> out;
  if (file.size() < 10) return out;
  const unsigned major = file[3];
  const size_t end = 10 + (size_t{file[6]} << 21 | size_t{file[7]} << 14 | size_t{file[8]} << 7 | file[9]);
  const size_t hl = major == 2 ? 6 : 10, cl = major == 2 ? 3 : 4;
  for (size_t p = 10; p + hl <= end && p + hl <= file.size() && file[p] != 0;) {
    size_t size = 0;
    if (major == 2) size = size_t{file[p + 3]} << 16 | size_t{file[p + 4]} << 8 | file[p + 5];
    else if (major == 4) size = size_t{file[p + 4]} << 21 | size_t{file[p + 5]} << 14 | size_t{file[p + 6]} << 7 | file[p + 7];
    else size = size_t{file[p + 4]} << 24 | size_t{file[p + 5]} << 16 | size_t{file[p + 6]} << 8 | file[p + 7];
    if (p + hl + size > file.size()) break;
    out.emplace(std::string(file.begin() + p, file.begin() + p + cl), Bytes(file.begin() + p, file.begin() + p + hl + size));
    p += hl + size;
  }
  return out;
}

struct Source {
  std::string maker;  // mutagen or eyed3
  unsigned major;
  int encoding;       // mutagen's encoding number
};

class EditorInterop : public testing::TestWithParam<Source> {};

TEST_P(EditorInterop, EditedTagsReadBackExactly) {
  const Source& s = GetParam();
  ScratchDir dir;
  const char* data = std::getenv("QUORVEL_TEST_DATA");
  ASSERT_NE(data, nullptr);
  const Bytes audio = ReadBytes(std::string(data) + "/cbr128-info.mp3");
  ASSERT_FALSE(audio.empty());
  const std::string src = dir.file("src.mp3");
  WriteBytes(src, audio);
  const std::string maker = dir.file("make.py");
  if (s.maker == "mutagen") {
    WriteText(maker, kMakeMutagen);
    ASSERT_EQ(Shell("/usr/bin/python3 '" + maker + "' '" + src + "' " + std::to_string(s.major) + " " +
                  std::to_string(s.encoding)), "");
  } else if (s.maker == "fixture") {
    // A 2.2 tag as the reader tests build them: Latin-1 and UTF-16 texts,
    // two described comments' worth of COM and TXX, and a picture.
    const Bytes album = {1, 0xFF, 0xFE, 'A', 0, 'l', 0, 'b', 0, 'u', 0, 'm', 0, ' ', 0, 0x34, 0x06};
    const Bytes body = Cat({Frame(2, "TT2", Cat({{0}, B("Old title")})), Frame(2, "TP1", Cat({{0}, B("K\xFCnstler")})),
                            Frame(2, "TAL", album), Frame(2, "COM", Cat({{0}, B("eng"), {0}, B("first comment")})),
                            Frame(2, "COM", Cat({{0}, B("deu"), B("zwei"), {0}, B("zweiter Kommentar")})),
                            Frame(2, "TXX", Cat({{0}, B("one"), {0}, B("1")})),
                            Frame(2, "TXX", Cat({{0}, B("two"), {0}, B("\xE9t\xE9")})),
                            Frame(2, "PIC", Cat({{0}, B("PNG"), {3}, B("cover"), {0}, B("\x89PNG data")}))});
    WriteBytes(src, Cat({test::Tag(2, 0, body), audio}));
  } else {
    WriteText(maker, kMakeEyed3);
    ASSERT_EQ(Shell("/usr/bin/python3 '" + maker + "' '" + src + "' " + std::to_string(s.major)), "");
  }
  const Bytes srcBytes = ReadBytes(src);
  Id3v2TagState tag;
  ASSERT_TRUE(ReadTagAt(src, tag));
  ASSERT_FALSE(tag.readerror);
  ASSERT_EQ(tag.tagversion.major, s.major);

  const std::string title = "Caf\xC3\xA9 \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xF0\x9F\x8E\xB5";
  const std::string comment = "line one\xE2\x80\x94\xE6\x97\xA5\xE6\x9C\xAC";
  Id3v2Editor ed;
  ASSERT_TRUE(ed.Open(tag));
  EXPECT_EQ(ed.BoxText(MainBox::Title), "Old title");
  EXPECT_EQ(ed.BoxText(MainBox::Artist), "K\xC3\xBCnstler");
  ed.EditBox(MainBox::Title, title);
  ed.EditBox(MainBox::Comment, comment);
  bool write = false;
  ASSERT_TRUE(ed.Ok({}, write));
  ASSERT_TRUE(write);

  InputFile in;
  ASSERT_TRUE(in.open(src));
  const Id3v2Block block = BuildId3v2TagBlock(tag, in, {}, {});
  ASSERT_EQ(block.outcome, Id3v2BlockOutcome::kWritten);
  const std::string out = dir.file("out.mp3");
  WriteBytes(out, Cat({block.bytes, Bytes(srcBytes.begin() + tag.tagsize, srcBytes.end())}));

  const std::string expected = Hex(title) + " " + Hex("K\xC3\xBCnstler") + " " + Hex("Album \xD8\xB4") + " " +
                               Hex(comment) + "\n";
  const std::string readM = dir.file("readm.py"), readE = dir.file("reade.py");
  WriteText(readM, kReadMutagen);
  WriteText(readE, kReadEyed3);
  EXPECT_EQ(Shell("/usr/bin/python3 '" + readM + "' '" + out + "'"), expected);
  EXPECT_EQ(Shell("/usr/bin/python3 '" + readE + "' '" + out + "'"), expected);
  EXPECT_EQ(Shell("kid3-cli -c 'get title' '" + out + "'"), title + "\n");
  EXPECT_EQ(Shell("kid3-cli -c 'get artist' '" + out + "'"), "K\xC3\xBCnstler\n");

  // Frames not edited keep their bytes.
  const auto before = RawFrames(srcBytes), after = RawFrames(ReadBytes(out));
  const bool v22 = s.major == 2;
  for (const char* code : v22 ? std::vector<const char*>{"TP1", "TAL", "TXX", "PIC"}
                              : std::vector<const char*>{"TPE1", "TALB", "TXXX", "APIC"}) {
    SCOPED_TRACE(code);
    auto [b0, b1] = before.equal_range(code);
    auto [a0, a1] = after.equal_range(code);
    std::vector<Bytes> bv, av;
    for (auto it = b0; it != b1; ++it) bv.push_back(it->second);
    for (auto it = a0; it != a1; ++it) av.push_back(it->second);
    EXPECT_FALSE(bv.empty());
    EXPECT_EQ(av, bv);
  }
  // The described comment is not the one the box shows, and stays.
  int comments = 0;
  for (const auto& [code, bytes] : after) comments += code == (v22 ? "COM" : "COMM");
  EXPECT_EQ(comments, 2);
}

INSTANTIATE_TEST_SUITE_P(Sources, EditorInterop,
                         testing::Values(Source{"mutagen", 3, 1}, Source{"mutagen", 4, 3}, Source{"mutagen", 4, 1},
                                         Source{"eyed3", 3, 1}, Source{"eyed3", 4, 3}, Source{"fixture", 2, 0}),
                         [](const testing::TestParamInfo<Source>& i) {
                           return i.param.maker + "_v2" + std::to_string(i.param.major) + "_enc" +
                                  std::to_string(i.param.encoding);
                         });


// The tag data transfer over a 2.4 tag written by mutagen: all seven fields to
// an empty ID3v1 record (texts cut at 30 bytes, never inside a character, the
// genre by name, a track "7/12" not taken), and the record
// back into an ID3v2 editor (the genre by its name, the track in decimal);
// both tags read back by mutagen.
TEST(TransferInterop, MutagenTagToId3v1AndBack) {
  ScratchDir dir;
  const char* data = std::getenv("QUORVEL_TEST_DATA");
  ASSERT_NE(data, nullptr);
  const Bytes audio = ReadBytes(std::string(data) + "/cbr128-info.mp3");
  ASSERT_FALSE(audio.empty());
  const std::string src = dir.file("src.mp3");
  WriteBytes(src, audio);
  const std::string maker = dir.file("make.py");
  WriteText(maker, R"(import sys
from mutagen.id3 import ID3, TIT2, TPE1, TALB, TCON, COMM, TDRC, TRCK
t = ID3()
t.add(TIT2(encoding=3, text='A title that runs past thirty bytes \u00e9'))
t.add(TPE1(encoding=3, text='Twenty-nine bytes of artist\u00fc'))
t.add(TALB(encoding=3, text='  Album  '))
t.add(TCON(encoding=3, text='rock'))
t.add(COMM(encoding=3, lang='eng', desc='', text='a comment'))
t.add(TDRC(encoding=3, text='2004-05-01'))
t.add(TRCK(encoding=3, text='7/12'))
t.save(sys.argv[1], v2_version=4)
)");
  ASSERT_EQ(Shell("/usr/bin/python3 '" + maker + "' '" + src + "'"), "");
  Id3v2TagState tag;
  ASSERT_TRUE(ReadTagAt(src, tag));
  Id3v2Editor v2;
  ASSERT_TRUE(v2.Open(tag));

  // ID3v2 to ID3v1, the default word: every field, overwrite.
  Id3v1State v1state;
  ClearId3v1(v1state.record);
  std::vector<std::string> messages;
  Id3v1Editor v1(
      v1state, [&](const std::string& text, int, const std::string&) { messages.push_back(text); },
      [](const std::string&, int, const std::string&) { return kAnswerYes; });
  v1.Fill(false);
  const TransferResult<Id3v1EditorFields> toV1 = TransferV2ToV1(v2.TransferFields(), v1.fields(), kTransferDefault);
  ASSERT_TRUE(toV1.ran);
  v1.ApplyTransfer(toV1);
  ASSERT_TRUE(v1.Accept());
  const std::string v1file = dir.file("v1.mp3");
  // The record holds the 125 bytes after "TAG".
  WriteBytes(v1file, Cat({audio, B("TAG"), Bytes(v1state.record.bytes.begin(), v1state.record.bytes.end())}));

  const std::string readV1 = dir.file("readv1.py");
  WriteText(readV1, R"(import sys
from mutagen.id3 import ParseID3v1
d = open(sys.argv[1], 'rb').read()[-128:]
f = ParseID3v1(d)
# mutagen decodes ID3v1 as Latin-1: the bytes, as hex, are what was stored.
for k in ('TIT2', 'TPE1', 'TALB', 'TDRC', 'COMM', 'TRCK', 'TCON'):
    print(k, str(f[k].text[0]).encode('latin-1').hex() if k in f else '-')
)");
  // The title is cut to its first 30 bytes; the artist's 29 bytes fit, its
  // last character included; mutagen strips the spaces around ID3v1 texts. A
  // 2.4 tag keeps its date in TDRC ("Recording time"), which is not the Year
  // box (TYER): no year goes. "7/12" is no track number.
  const std::string expectedV1 = "TIT2 " + Hex("A title that runs past thirty") + "\n" +
                                 "TPE1 " + Hex("Twenty-nine bytes of artist\xC3\xBC") + "\n" +
                                 "TALB " + Hex("Album") + "\n" +
                                 "TDRC -\n" +
                                 "COMM " + Hex("a comment") + "\n" +
                                 "TRCK -\n" +
                                 "TCON " + Hex("17") + "\n";
  EXPECT_EQ(Shell("/usr/bin/python3 '" + readV1 + "' '" + v1file + "'"), expectedV1);

  // Back: the record into a fresh ID3v2 tag, the track set in the ID3v1 editor first.
  v1.SetVersion(true);
  v1.SetText(Id3v1EditorField::kTrack, "9");
  ASSERT_TRUE(v1.Accept());
  Id3v2TagState fresh;
  Id3v2Editor back;
  ASSERT_TRUE(back.Open(fresh));
  const TransferResult<Id3v2EditorFields> toV2 = TransferV1ToV2(v1.fields(), back.TransferFields(), kTransferDefault);
  ASSERT_TRUE(toV2.ran);
  back.ApplyTransfer(toV2);
  bool write = false;
  ASSERT_TRUE(back.Ok({}, write));
  ASSERT_TRUE(write);
  InputFile in;
  ASSERT_TRUE(in.open(src));
  const Id3v2Block block = BuildId3v2TagBlock(fresh, in, {}, {});
  ASSERT_EQ(block.outcome, Id3v2BlockOutcome::kWritten);
  const std::string v2file = dir.file("v2.mp3");
  WriteBytes(v2file, Cat({block.bytes, audio}));
  const std::string readV2 = dir.file("readv2.py");
  WriteText(readV2, R"(import sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1])
c = t.getall('COMM')
for k in ('TIT2', 'TPE1', 'TALB', 'TCON', 'TRCK'):
    print(k, t[k].text[0] if k in t else '-')
print('TDRC', str(t['TDRC'].text[0]) if 'TDRC' in t else (t['TYER'].text[0] if 'TYER' in t else '-'))
print('COMM', c[0].text[0] if c else '-')
)");
  // The ID3v1 editor's texts go unchanged (the title's trailing space and the
  // album's spaces too), the genre by its name, the track in decimal.
  const std::string expectedV2 = std::string("TIT2 A title that runs past thirty \n") +
                                 "TPE1 Twenty-nine bytes of artist\xC3\xBC\n" + "TALB   Album  \n" + "TCON Rock\n" +
                                 "TRCK 9\n" + "TDRC -\n" + "COMM a comment\n";
  EXPECT_EQ(Shell("/usr/bin/python3 '" + readV2 + "' '" + v2file + "'"), expectedV2);
}

}  // namespace
}  // namespace quorvel
