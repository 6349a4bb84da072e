// Tags written by the ID3v2 writer, read back by mutagen (an independent
// reader) and by our own reader, in every version and framing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tags/id3v2_catalogue.h"
#include "tags/id3v2_reader.h"
#include "tags/id3v2_writer.h"
#include "tags/id3v2_read_support.h"

namespace quorvel {
namespace {

using test::Bytes;
using test::Cat;
using test::PictureBytes;
using test::ReadTagAt;
using test::ScratchDir;
using test::WriteBytes;

constexpr const char* kPython = "/usr/bin/python3";

// Prints the tag's version and flags, then one sorted line per frame with
// every attribute the frame has; texts as UTF-8 hex.
constexpr const char* kDumpScript = R"(import sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1], translate=False)
h = lambda s: str(s).encode('utf-8').hex()
print('version %d.%d unsync %d ext %d' % (t.version[0], t.version[1], t.f_unsynch, t.f_extended))
lines = []
for f in t.values():
    d = [f.FrameID]
    if hasattr(f, 'encoding'): d.append('enc=%d' % int(f.encoding))
    if hasattr(f, 'lang'): d.append('lang=' + f.lang)
    if hasattr(f, 'desc'): d.append('desc=' + h(f.desc))
    if hasattr(f, 'mime'): d.append('mime=' + h(f.mime))
    if hasattr(f, 'type'): d.append('type=%d' % int(f.type))
    if hasattr(f, 'url'): d.append('url=' + h(f.url))
    if hasattr(f, 'text'): d.append('text=' + '|'.join(h(x) for x in f.text))
    if hasattr(f, 'data'): d.append('data=' + f.data.hex())
    lines.append(' '.join(d))
for l in sorted(lines): print(l)
)";

bool MutagenAvailable() {
  FILE* p = popen("/usr/bin/python3 -c 'import mutagen.id3' 2>/dev/null && echo yes", "r");
  if (!p) return false;
  char buf[16] = {};
  const bool ok = fgets(buf, sizeof buf, p) != nullptr && std::string(buf).rfind("yes", 0) == 0;
  pclose(p);
  return ok;
}

std::string RunMutagen(const ScratchDir& dir, const std::string& file) {
  const std::string script = dir.file("dump.py");
  WriteBytes(script, Bytes(kDumpScript, kDumpScript + std::char_traits<char>::length(kDumpScript)));
  // Both names lie in the scratch folder (mkdtemp), which holds no quote.
  const std::string command = std::string(kPython) + " '" + script + "' '" + file + "' 2>&1";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return "popen failed";
  std::string out;
  char buf[4096];
  size_t n = 0;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

std::string Hex(const std::string& s) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}
std::string Hex(const Bytes& b) { return Hex(std::string(b.begin(), b.end())); }

// A picture whose bytes need unsynchronisation (FF E0, FF 00, a final FF).
const Bytes kPicture = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0xFF, 0xE0, 0x01, 0xFF, 0x00, 0x02, 0xFF, 0xFF};

// ID3v2.2 and 2.3 unsynchronise the whole tag body; a reader undoes that
// before it walks the frames. Returns a file holding the decoded tag (the same
// file when there is nothing to decode).
std::string DecodeWholeTagUnsync(const ScratchDir& dir, const std::string& path) {
  Bytes all = test::ReadBytes(path);
  if (all.size() < 10 || all[3] >= 4 || !(all[5] & 0x80)) return path;
  const size_t size = all[6] * 2097152u + all[7] * 16384u + all[8] * 128u + all[9];
  Bytes body(all.begin() + 10, all.begin() + 10 + static_cast<std::ptrdiff_t>(size));
  body.resize(ResyncBytes(body.data(), body.size()).length);
  Bytes header(all.begin(), all.begin() + 6);
  header[5] &= 0x7F;
  test::PutSyncsafe(header, static_cast<uint32_t>(body.size()));
  const std::string decoded = dir.file("decoded.mp3");
  WriteBytes(decoded, Cat({header, body, Bytes(all.begin() + 10 + static_cast<std::ptrdiff_t>(size), all.end())}));
  return decoded;
}

struct TextSpec {
  uint8_t index;
  std::string text;
  uint8_t enc;
  std::string description;
  std::string language;
};

const TextSpec kTexts[] = {
    {44, "Title \xC3\xA9", kEncLatin1, "", ""},
    {58, "\xC3\x84rtist \xCE\xA9", kEncUtf16Bom, "", ""},
    {26, "Album \xE2\x9C\x93", kEncUtf8, "", ""},
    {29, "Rock RX", kEncLatin1, "", ""},
    {4, "comment text", kEncLatin1, "d\xC3\xA9sc", "deu"},
    {77, "value", kEncUtf16Bom, "key", ""},
    {89, "http://example.com/", kEncLatin1, "home", ""},
};

struct Framing {
  unsigned major;
  bool unsync;
  uint32_t padding;
  bool footer;
  bool extHeader;
};

std::string Name(const Framing& f) {
  std::ostringstream s;
  s << "v2." << f.major << (f.unsync ? " unsync" : "") << " padding " << f.padding << (f.footer ? " footer" : "")
    << (f.extHeader ? " ext" : "");
  return s.str();
}

class WriteInterop : public testing::Test {
 protected:
  // A tag built in the editor: every text field edited, a picture loaded from
  // a file, an extended header loaded from a file.
  Id3v2TagState NewTag(const Framing& framing) {
    WriteBytes(dir_.file("cover.png"), kPicture);
    WriteBytes(dir_.file("ext3.bin"), {0, 0, 0, 0, 0, 0});
    WriteBytes(dir_.file("ext4.bin"), {1, 0});
    Id3v2TagState tag;
    tag.tagversion = tag.srcversion = {static_cast<uint8_t>(framing.major), 0};
    tag.unsync = framing.unsync;
    tag.padding = framing.padding;
    tag.footer = framing.footer;
    if (framing.extHeader) {
      Id3v2Field& ext = tag.fields[AddId3v2Field(tag, kExtHeaderIndex)];
      ext.akcija = kFieldAdded | kFieldLoaded;
      ext.tload = dir_.file(framing.major == 3 ? "ext3.bin" : "ext4.bin");
    }
    for (const TextSpec& t : kTexts) {
      Id3v2Field& f = tag.fields[AddId3v2Field(tag, t.index)];
      f.akcija = kFieldAdded | kFieldEdited;
      f.tansi = t.text;
      f.enc = t.enc;
      f.tcont = t.description;
      if (!t.language.empty()) f.tlan = t.language;
    }
    Id3v2Field& pic = tag.fields[AddId3v2Field(tag, 2)];
    pic.akcija = kFieldAdded | kFieldLoaded;
    pic.sub = 3;
    pic.tcont = "front";
    pic.tload = dir_.file("cover.png");
    return tag;
  }

  // Writes the tag (copying unchanged fields from `source`) in front of some
  // zero bytes standing for the audio.
  std::string Write(Id3v2TagState& tag, const std::string& name, const std::string& source = "") {
    InputFile in;
    if (!source.empty()) {
      EXPECT_TRUE(in.open(source));
    }
    std::vector<TagMessage> messages;
    Id3v2BlockCallbacks callbacks;
    callbacks.report = [&](const TagMessage& m) { messages.push_back(m); };
    const Id3v2Block block = BuildId3v2TagBlock(tag, in, {}, callbacks);
    EXPECT_EQ(block.outcome, Id3v2BlockOutcome::kWritten);
    for (const TagMessage& m : messages) ADD_FAILURE() << m.text;
    lastBlock_ = block.bytes;
    const std::string path = dir_.file(name);
    WriteBytes(path, Cat({block.bytes, Bytes(256, 0)}));
    return path;
  }

  // What mutagen should print for the tag NewTag builds.
  static std::string Expected(const Framing& framing) {
    const unsigned v = framing.major;
    std::vector<std::string> lines;
    for (const TextSpec& t : kTexts) {
      // mutagen names 2.2 frames by their 2.3 codes.
      std::string code = Id3v2Code(t.index, std::max(v, 3u));
      uint8_t enc = t.enc;
      if (v < 4 && enc > kEncUtf16Bom) enc = kEncUtf16Bom;
      std::string line = code + " enc=" + std::to_string(enc);
      if (t.index == 4) line += " lang=" + t.language;
      if (t.index == 4 || t.index == 77 || t.index == 89) line += " desc=" + Hex(t.description);
      if (t.index == 89) {
        line += " url=" + Hex(t.text);
      } else if (t.index == 29) {
        line += " text=" + Hex(std::string("Rock")) + "|" + Hex(std::string("RX"));
      } else {
        line += " text=" + Hex(t.text);
      }
      lines.push_back(line);
    }
    lines.push_back(std::string("APIC") + " enc=0 desc=" + Hex(std::string("front")) +
                    " mime=" + Hex(std::string(v == 2 ? "PNG" : "image/png")) + " type=3 data=" + Hex(kPicture));
    std::sort(lines.begin(), lines.end());
    std::string out = "version 2." + std::to_string(v) + " unsync " + std::to_string(framing.unsync ? 1 : 0) +
                      " ext " + std::to_string(framing.extHeader && v > 2 ? 1 : 0) + "\n";
    for (const std::string& l : lines) out += l + "\n";
    return out;
  }

  ScratchDir dir_;
  Bytes lastBlock_;
};

const Framing kFramings[] = {
    {2, false, 0, false, false}, {2, true, 16, false, false}, {3, false, 256, false, false},
    {3, true, 0, false, true},   {3, true, 2, false, false},  {4, false, 0, true, false},
    {4, true, 64, false, true},  {4, true, 0, true, true},    {4, false, 1024, false, false},
};

TEST_F(WriteInterop, MutagenReadsEveryVersionAndFraming) {
  ASSERT_TRUE(MutagenAvailable()) << "mutagen is not installed for /usr/bin/python3 (scripts/install-deps)";
  for (const Framing& framing : kFramings) {
    SCOPED_TRACE(Name(framing));
    Id3v2TagState tag = NewTag(framing);
    const std::string path = Write(tag, "built.mp3");
    EXPECT_EQ(RunMutagen(dir_, path), Expected(framing));
  }
}

// In 2.2 and 2.3 the frame headers are unsynchronised with the rest: a size
// byte 0xFF followed by the flag byte 0 gets a zero inserted.
TEST_F(WriteInterop, MutagenReadsUnsynchronisedFrameHeaders) {
  ASSERT_TRUE(MutagenAvailable()) << "mutagen is not installed for /usr/bin/python3 (scripts/install-deps)";
  for (unsigned major : {2u, 3u}) {
    SCOPED_TRACE(major);
    Id3v2TagState tag;
    tag.tagversion = tag.srcversion = {static_cast<uint8_t>(major), 0};
    tag.unsync = true;
    const std::string title(253, 't');  // 255 bytes with encoding and terminator
    for (const std::string& text : {title, std::string("next")}) {
      Id3v2Field& f = tag.fields[AddId3v2Field(tag, 44)];
      f.akcija = kFieldAdded | kFieldEdited;
      f.tansi = text;
    }
    const std::string path = Write(tag, "headers.mp3");
    const std::string code = Id3v2Code(44, 3);
    EXPECT_EQ(RunMutagen(dir_, path), "version 2." + std::to_string(major) + " unsync 1 ext 0\n" + code +
                                          " enc=0 text=" + Hex(title) + "|" + Hex(std::string("next")) + "\n");
  }
}

// Fields as script commands append them: added and edited texts in
// ISO-8859-1 with language "eng", a comment block with line breaks, a URL
// without description, a picture named by its file.
TEST_F(WriteInterop, ScriptBuiltFields) {
  ASSERT_TRUE(MutagenAvailable()) << "mutagen is not installed for /usr/bin/python3 (scripts/install-deps)";
  WriteBytes(dir_.file("cover.jpg"), kPicture);
  for (uint8_t format : {uint8_t{2}, uint8_t{3}, uint8_t{4 | 0x80}}) {
    SCOPED_TRACE(int(format));
    Id3v2TagState tag;
    StartScriptTag(tag, format, 2);
    auto append = [&](uint8_t index, const std::string& text, const std::string& description, uint8_t sub) {
      Id3v2Field f;
      f.ind = index;
      f.tip = Id3v2Catalogue[index].tip;
      f.sub = sub;
      f.akcija = kFieldAdded | kFieldEdited;
      f.tansi = text;
      f.tcont = description;
      f.tlan = "eng";
      tag.fields.push_back(f);
    };
    append(44, "Hello World", "", Id3v2Catalogue[44].fel);
    append(4, "one\r\ntwo", "notes", Id3v2Catalogue[4].fel);
    append(89, "http://example.org/", "", 5);
    Id3v2Field pic;
    pic.ind = 2;
    pic.tip = kFieldPicture;
    pic.sub = 3;
    pic.akcija = kFieldAdded | kFieldLoaded;
    pic.tload = dir_.file("cover.jpg");
    pic.tlan = "eng";
    tag.fields.push_back(pic);

    const std::string path = Write(tag, "script.mp3");
    const unsigned major = format & 0x7F;
    std::string expected = "version 2." + std::to_string(major) + " unsync " + std::to_string(format >> 7) +
                           " ext 0\n";
    expected += "APIC enc=0 desc= mime=" + Hex(std::string(major == 2 ? "JPG" : "image/jpeg")) +
                " type=3 data=" + Hex(kPicture) + "\n";
    expected += "COMM enc=0 lang=eng desc=" + Hex(std::string("notes")) + " text=" + Hex(std::string("one\r\ntwo")) + "\n";
    expected += "TIT2 enc=0 text=" + Hex(std::string("Hello World")) + "\n";
    expected += "WXXX enc=0 desc= url=" + Hex(std::string("http://example.org/")) + "\n";
    EXPECT_EQ(RunMutagen(dir_, path), expected);
  }
}

// A link is ASCII in every link frame: a character beyond ASCII is written as
// the percent-encoded bytes of its UTF-8 form, ASCII (escapes included) as it
// is. The description of a WXXX frame keeps its own encoding.
TEST_F(WriteInterop, LinksBeyondAsciiArePercentEncoded) {
  ASSERT_TRUE(MutagenAvailable()) << "mutagen is not installed for /usr/bin/python3 (scripts/install-deps)";
  struct Case {
    std::string typed, written;
  };
  const Case cases[] = {
      {"http://example.org/a%20b?q=1&r=~x#top", "http://example.org/a%20b?q=1&r=~x#top"},
      {"http://example.org/café/Zürich", "http://example.org/caf%C3%A9/Z%C3%BCrich"},
      {"http://пример.рф/файл", "http://%D0%BF%D1%80%D0%B8%D0%BC%D0%B5%D1%80.%D1%80%D1%84/%D1%84%D0%B0%D0%B9%D0%BB"},
      {"https://example.org/😀", "https://example.org/%F0%9F%98%80"},
  };
  constexpr uint8_t kUserUrl = 89, kPerformerUrl = 84;
  for (unsigned major : {2u, 3u, 4u}) {
    SCOPED_TRACE(major);
    Id3v2TagState tag;
    tag.tagversion = tag.srcversion = {static_cast<uint8_t>(major), 0};
    std::vector<std::string> lines;
    for (size_t i = 0; i < std::size(cases); ++i) {
      const std::string description = "сайт " + std::to_string(i);
      Id3v2Field& user = tag.fields[AddId3v2Field(tag, kUserUrl)];
      user.akcija = kFieldAdded | kFieldEdited;
      user.tansi = cases[i].typed;
      user.tcont = description;
      user.enc = kEncLatin1;
      Id3v2Field& link = tag.fields[AddId3v2Field(tag, kPerformerUrl)];
      link.akcija = kFieldAdded | kFieldEdited;
      link.tansi = cases[i].typed;
      // Cyrillic does not fit ISO-8859-1: the description is written as UTF-16.
      lines.push_back("WXXX enc=1 desc=" + Hex(description) + " url=" + Hex(cases[i].written));
      lines.push_back("WOAR url=" + Hex(cases[i].written));
    }
    const std::string path = Write(tag, "links.mp3");
    std::sort(lines.begin(), lines.end());
    std::string expected = "version 2." + std::to_string(major) + " unsync 0 ext 0\n";
    for (const std::string& l : lines) expected += l + "\n";
    EXPECT_EQ(RunMutagen(dir_, path), expected);

    Id3v2TagState read;
    ASSERT_TRUE(ReadTagAt(path, read));
    ASSERT_EQ(read.fields.size(), 2 * std::size(cases));
    for (size_t i = 0; i < read.fields.size(); ++i) {
      EXPECT_EQ(read.fields[i].tansi, cases[i / 2].written);
      EXPECT_EQ(read.fields[i].tcont, i % 2 == 0 ? "сайт " + std::to_string(i / 2) : "");
    }
  }
}

// Our own reader sees what was built, with the padding and flags asked for.
TEST_F(WriteInterop, OwnReaderReadsWhatWasBuilt) {
  for (const Framing& framing : kFramings) {
    SCOPED_TRACE(Name(framing));
    Id3v2TagState built = NewTag(framing);
    const std::string written = Write(built, "built.mp3");
    const std::string path = DecodeWholeTagUnsync(dir_, written);
    Id3v2TagState read;
    ASSERT_TRUE(ReadTagAt(path, read));
    EXPECT_FALSE(read.readerror);
    EXPECT_EQ(read.srcunsync, framing.unsync && framing.major == 4);
    EXPECT_EQ(read.footer, framing.footer && framing.major == 4);
    EXPECT_EQ(read.padding, framing.footer && framing.major == 4 ? 0u : framing.padding);
    const size_t offset = framing.extHeader ? 1 : 0;
    if (framing.extHeader) {
      ASSERT_FALSE(read.fields.empty());
      EXPECT_EQ(read.fields[0].ind, kExtHeaderIndex);
    }
    ASSERT_EQ(read.fields.size(), std::size(kTexts) + 1 + offset);
    for (size_t i = 0; i < std::size(kTexts); ++i) {
      const TextSpec& t = kTexts[i];
      const Id3v2Field& f = read.fields[i + offset];
      SCOPED_TRACE(f.thint);
      EXPECT_EQ(f.ind, t.index);
      EXPECT_EQ(f.tansi, t.index == 29 ? "Rock" : t.text);
      EXPECT_EQ(f.tcont, t.description);
      if (t.index == 4) {
        EXPECT_EQ(f.tlan, t.language);
      }
    }
    const Id3v2Field& pic = read.fields.back();
    EXPECT_EQ(pic.ind, 2);
    EXPECT_EQ(pic.sub, 3);
    EXPECT_EQ(pic.tcont, "front");
    Bytes data = PictureBytes(path, pic);
    if (read.srcunsync) data.resize(ResyncBytes(data.data(), data.size()).length);
    EXPECT_EQ(data, kPicture);
  }
}

struct FieldView {
  uint8_t ind, enc, sub;
  std::string tansi, tcont, tlan;
  Bytes picture;
  bool operator==(const FieldView&) const = default;
};

std::vector<FieldView> View(const Id3v2TagState& tag, const std::string& path) {
  std::vector<FieldView> out;
  for (const Id3v2Field& f : tag.fields) {
    FieldView v{f.ind, f.enc, f.sub, f.tansi, f.tcont, f.tlan, {}};
    if (f.tip == kFieldPicture) {
      v.tansi.clear();
      v.picture = PictureBytes(path, f);
      if (tag.srcunsync) v.picture.resize(ResyncBytes(v.picture.data(), v.picture.size()).length);
    }
    out.push_back(std::move(v));
  }
  return out;
}

void PrintTo(const FieldView& v, std::ostream* os) {
  *os << "{ind " << int(v.ind) << " enc " << int(v.enc) << " sub " << int(v.sub) << " \"" << v.tansi << "\" \""
      << v.tcont << "\" " << v.tlan << " picture " << v.picture.size() << "}";
}

// Read, write unchanged, read again: the same model, and the same bytes.
// Then version changes, each read back by our reader and by mutagen.
class RoundTrip : public WriteInterop {
 protected:
  // Writes `tag` (read from `source`) as `major` and reads it back.
  Id3v2TagState Convert(Id3v2TagState& tag, const std::string& source, unsigned major, const std::string& name,
                        std::string& path) {
    tag.tagversion = {static_cast<uint8_t>(major), 0};
    path = Write(tag, name, source);
    Id3v2TagState read;
    EXPECT_TRUE(ReadTagAt(DecodeWholeTagUnsync(dir_, path), read));
    EXPECT_FALSE(read.readerror);
    return read;
  }
};

TEST_F(RoundTrip, UnchangedAndAcross23To24To22) {
  const bool mutagen = MutagenAvailable();
  ASSERT_TRUE(mutagen) << "mutagen is not installed for /usr/bin/python3 (scripts/install-deps)";
  const Framing framing{3, false, 32, false, true};
  Id3v2TagState built = NewTag(framing);
  const std::string first = Write(built, "first.mp3");
  const Bytes firstTag = lastBlock_;

  Id3v2TagState a;
  ASSERT_TRUE(ReadTagAt(first, a));
  const std::vector<FieldView> viewA = View(a, first);
  std::string second, third, fourth;
  Id3v2TagState b = Convert(a, first, 3, "second.mp3", second);
  EXPECT_EQ(lastBlock_, firstTag);  // an unchanged tag is written byte for byte
  EXPECT_EQ(View(b, second), viewA);
  EXPECT_EQ(b.padding, 32u);

  Id3v2TagState c = Convert(b, second, 4, "third.mp3", third);
  // The 2.3 extended header is not carried into 2.4.
  const std::vector<FieldView> expected(viewA.begin() + 1, viewA.end());
  EXPECT_EQ(View(c, third), expected);

  Id3v2TagState d = Convert(c, third, 2, "fourth.mp3", fourth);
  EXPECT_EQ(View(d, fourth), expected);

  if (mutagen) {
    // Copied texts keep the encoding they were read in: the album, built as
    // UTF-8 into 2.3, is UTF-16 there and stays so in 2.4.
    std::string expected24 = Expected({4, false, 0, false, false});
    const std::string utf8Album = "TALB enc=3";
    expected24.replace(expected24.find(utf8Album), utf8Album.size(), "TALB enc=1");
    EXPECT_EQ(RunMutagen(dir_, third), expected24);
    EXPECT_EQ(RunMutagen(dir_, fourth), Expected({2, false, 0, false, false}));
  }
}

TEST_F(RoundTrip, UnsynchronisedTagsAcrossVersions) {
  const bool mutagen = MutagenAvailable();
  ASSERT_TRUE(mutagen) << "mutagen is not installed for /usr/bin/python3 (scripts/install-deps)";
  const Framing framing{4, true, 0, true, false};
  Id3v2TagState built = NewTag(framing);
  const std::string first = Write(built, "first.mp3");
  const Bytes firstTag = lastBlock_;
  Id3v2TagState a;
  ASSERT_TRUE(ReadTagAt(first, a));
  const std::vector<FieldView> viewA = View(a, first);

  std::string second, third, fourth;
  Id3v2TagState b = Convert(a, first, 4, "second.mp3", second);
  EXPECT_EQ(lastBlock_, firstTag);
  EXPECT_EQ(View(b, second), viewA);

  // From the unsynchronised 2.4 tag to unsynchronised 2.3 and 2.2 tags.
  for (unsigned major : {3u, 2u}) {
    SCOPED_TRACE(major);
    Id3v2TagState copy = b;
    std::string path;
    Id3v2TagState c = Convert(copy, second, major, "converted.mp3", path);
    EXPECT_EQ(View(c, DecodeWholeTagUnsync(dir_, path)), viewA);
    if (mutagen) {
      std::string expected = Expected({major, true, 0, false, false});
      // The album stays UTF-8 (encoding 3) when copied unchanged.
      const std::string utf16Album = "TALB enc=1";
      expected.replace(expected.find(utf16Album), utf16Album.size(), "TALB enc=3");
      EXPECT_EQ(RunMutagen(dir_, path), expected);
    }
  }
}

}  // namespace
}  // namespace quorvel
