// The ID3v2 editor's content buttons over loaded documents: saved contents
// compared with mutagen's view of the frames, loaded fields written into a tag
// and read back by mutagen and eyeD3, the size limits around each edge, links
// that may and may not be opened, and the working files they leave.

#include <sys/stat.h>

#include <algorithm>

#include "output/field_contents.h"
#include "output/writer.h"
#include "tags/id3v2_catalogue.h"
#include "tags/id3v2_read_support.h"
#include "tags/id3v2_writer.h"
#include "writer_fixture.h"

namespace quorvel {
namespace {

using namespace writer_test;
using test::B;
using test::Bytes;
using test::Cat;
using test::Frame;
using test::Tag;

constexpr const char* kPython = "/usr/bin/python3";

// Bytes that unsynchronisation changes, and NULs.
const Bytes kPayload = B("\x00\xFF\x00\x01\xFF\xE0\x02\xFF\xFF\x00zz", 12);

// Runs python3 with the script and arguments; its standard output, or the
// test fails (a tool that cannot start or exits non-zero).
std::string Python(const TempFolder& dir, const std::string& script, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {kPython, "-c", script};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string out = (dir / "python.out").string();
  const std::string err = (dir / "python.err").string();
  int rc = RunTool(argv, out, err);
  EXPECT_EQ(rc, 0) << "python3 failed: " << ReadText(err);
  return rc == 0 ? ReadText(out) : "FAILED";
}

std::string Hex(const Bytes& b) {
  static const char* d = "0123456789abcdef";
  std::string h;
  for (uint8_t c : b) {
    h += d[c >> 4];
    h += d[c & 15];
  }
  return h + "\n";
}

// mutagen's view of the first frame of that id: PRIV owner, NUL and data;
// COMM its text in the given codec; APIC its data; GEOB its data.
const char* const kMutagenView = R"PY(
import sys
from mutagen.id3 import ID3
f = ID3(sys.argv[1]).getall(sys.argv[2])[0]
k = sys.argv[2]
if k == 'PRIV': b = f.owner.encode('latin1') + b'\0' + f.data
elif k == 'COMM': b = f.text[0].encode(sys.argv[3])
else: b = f.data
print(b.hex())
)PY";

// eyeD3's view: PRIV owner and data, or the first image's data.
const char* const kEyeD3View = R"PY(
import sys, eyed3
eyed3.log.setLevel('ERROR')
t = eyed3.load(sys.argv[1]).tag
if sys.argv[2] == 'PRIV':
    f = t.frame_set[b'PRIV'][0]
    o = f.owner_id if isinstance(f.owner_id, bytes) else f.owner_id.encode('latin1')
    b = o + b'\0' + f.owner_data
else:
    b = t.images[0].image_data
print(b.hex())
)PY";

class FieldContents : public ::testing::Test {
 protected:
  TempFolder dir;
  Session s{dir};

  // A document of the tag bytes followed by untagged audio.
  void LoadTagged(const Bytes& tag, const std::string& name = "source.mp3") {
    Bytes audio = ReadAll(DataPath("cbr96-no-info.mp3"));
    ASSERT_GT(audio.size(), 4u);
    ASSERT_EQ(audio[0], 0xFF) << "the audio fixture must start with a frame";
    source = (dir / name).string();
    WriteAll(source, Cat({tag, audio}));
    ASSERT_TRUE(s.load(source));
    ASSERT_TRUE(s.ctx.doc.id3v2.present);
  }

  uint32_t FieldOf(const std::string& code) {
    const Id3v2TagState& tag = s.ctx.doc.id3v2;
    for (uint32_t i = 0; i < tag.fields.size(); ++i) {
      const Id3v2Field& f = tag.fields[i];
      if (f.ind != 0 && Id3v2Code(f.ind, tag.srcversion.major) == code) return i;
    }
    ADD_FAILURE() << "no field " << code;
    return 0;
  }

  // The names in the settings folder.
  std::vector<std::string> SettingsFiles() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / "settings")) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  bool NoTemporaryIn(const fs::path& folder) {
    for (const auto& e : fs::directory_iterator(folder))
      if (e.path().string().find(".mmtmpmp3") != std::string::npos) return false;
    return true;
  }
  const MessageRecord& LastMessage() {
    static const MessageRecord none{"(no message)", -1, "", false};
    return s.host.messages.empty() ? none : s.host.messages.back();
  }

  std::string source;
};

// "Save original" writes the field's content: after the encoding byte,
// language and description of a text field, the whole body of a mixed one,
// the image of a picture, resynchronised and without the data length
// indicator. mutagen's view of the same frame is the expected value.
TEST_F(FieldContents, SaveOriginalEqualsMutagensView) {
  const Bytes priv = Cat({B("owner@example", 13), B("\0", 1), kPayload});
  const Bytes commLatin = Cat({B("\0eng", 4), B("desc\0", 5), B("Kommentar \xE9")});
  const Bytes commUtf16 = Cat({B("\x01" "deu", 4), B("\xFF\xFE" "d\0\0\0", 6), B("\xFF\xFEK\0\xFC\0", 6)});
  const Bytes png = Cat({B("\x89PNG\r\n\x1A\n", 8), kPayload});
  const Bytes apic = Cat({B("\0image/png\0\x03" "cover\0", 18), png});
  Bytes dli;
  test::PutSyncsafe(dli, static_cast<uint32_t>(priv.size()));
  struct Case {
    const char* name;
    Bytes tag;
    const char* code;  // as this version names it
    const char* mutagenId;
    const char* codec;
  };
  const Case cases[] = {
      {"2.3 PRIV", Tag(3, 0, Frame(3, "PRIV", priv)), "PRIV", "PRIV", ""},
      {"2.3 PRIV, tag unsynchronised", Tag(3, 0x80, UnsyncBytes(Frame(3, "PRIV", priv), true)), "PRIV", "PRIV", ""},
      {"2.4 PRIV, frame unsynchronised with length", Tag(4, 0, Frame(4, "PRIV", Cat({dli, UnsyncBytes(priv, true)}), 0, 0x03)), "PRIV", "PRIV", ""},
      {"2.3 COMM latin1", Tag(3, 0, Frame(3, "COMM", commLatin)), "COMM", "COMM", "latin1"},
      {"2.4 COMM utf-16", Tag(4, 0, Frame(4, "COMM", commUtf16)), "COMM", "COMM", "utf-16"},
      {"2.2 COM", Tag(2, 0, Frame(2, "COM", commLatin)), "COM", "COMM", "latin1"},
      {"2.3 APIC", Tag(3, 0, Frame(3, "APIC", apic)), "APIC", "APIC", ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    s.host.messages.clear();
    LoadTagged(c.tag, "source" + std::to_string(n) + ".mp3");
    const std::string target = (dir / ("saved" + std::to_string(n++) + ".bin")).string();
    uint32_t field = FieldOf(c.code);
    s.host.fileAnswers.push_back(target);
    s.host.answers.push_back(kAnswerNo);  // do not open it
    if (s.ctx.doc.id3v2.fields[field].tip == kFieldPicture)
      SavePictureOriginal(s.ctx, field);
    else
      SaveFieldOriginal(s.ctx, field);
    ASSERT_TRUE(fs::exists(target)) << LastMessage().text;
    std::vector<std::string> args = {source, c.mutagenId};
    if (*c.codec) args.push_back(c.codec);
    EXPECT_EQ(Hex(ReadAll(target)), Python(dir, kMutagenView, args));
    EXPECT_TRUE(s.host.opened.empty());
    EXPECT_TRUE(NoTemporaryIn(dir.path));
  }
}

TEST_F(FieldContents, SaveOriginalAsksToOpenAndRefusesTheSettingsFolder) {
  LoadTagged(Tag(3, 0, Frame(3, "PRIV", B("o\0data", 6))));
  const std::string target = (dir / "out.bin").string();
  s.host.fileAnswers.push_back((dir / "settings" / "x.bin").string());
  s.host.fileAnswers.push_back(target);
  s.host.answers.push_back(kAnswerYes);
  SaveFieldOriginal(s.ctx, FieldOf("PRIV"));
  ASSERT_EQ(s.host.messages.size(), 2u);
  EXPECT_EQ(s.host.messages[0].text, "You are not allowed to save to the application folder.\r\nPlease change the path.");
  EXPECT_EQ(s.host.messages[0].caption, "warning");
  EXPECT_EQ(s.host.messages[1].text, "Copied the data. Open the file?");
  EXPECT_EQ(s.host.messages[1].kind, 259);
  EXPECT_EQ(s.host.fileRequests.size(), 2u);
  EXPECT_FALSE(fs::exists(dir / "settings" / "x.bin"));
  EXPECT_EQ(ReadAll(target), B("o\0data", 6));
  EXPECT_EQ(s.host.opened, std::vector<std::string>{target});

  // An added field has no original; a target that cannot be written leaves nothing.
  s.host.messages.clear();
  const uint32_t added = AddId3v2Field(s.ctx.doc.id3v2, 15);
  SaveFieldOriginal(s.ctx, added);
  EXPECT_EQ(LastMessage().text, "Private frame\r\n\r\nThis field doesn't exist in the original tag.");
  EXPECT_EQ(LastMessage().kind, 258);
  s.host.fileAnswers.push_back((dir / "missing" / "out.bin").string());
  SaveFieldOriginal(s.ctx, FieldOf("PRIV"));
  EXPECT_EQ(LastMessage().text,
            "Can't write to output file. Usual reasons:\r\n\r\n- file in use\r\n- invalid filename\r\n- disk not "
            "ready\r\n- disk full\r\n- insufficient privileges (try running the application as administrator)");
  EXPECT_FALSE(fs::exists(dir / "missing"));
  EXPECT_TRUE(NoTemporaryIn(dir.path));
}

// A PRIV field and a picture loaded from files, written into a tag: both
// readers find exactly the loaded bytes.
TEST_F(FieldContents, LoadedFieldsReadBackInMutagenAndEyeD3) {
  LoadTagged(Tag(3, 0, Cat({Frame(3, "PRIV", B("old\0x", 5)), Frame(3, "TIT2", B("\0Title", 6))})));
  const Bytes body = Cat({B("loaded@example", 14), B("\0", 1), kPayload});
  const fs::path bodyFile = dir / "priv.bin";
  WriteAll(bodyFile, body);
  const Bytes png = Cat({B("\x89PNG\r\n\x1A\n", 8), kPayload, kPayload});
  const fs::path pngFile = dir / "cover.png";
  WriteAll(pngFile, png);

  s.host.fileAnswers.push_back(bodyFile.string());
  ASSERT_TRUE(LoadFieldContent(s.ctx, FieldOf("PRIV")));
  const Id3v2Field& f = s.ctx.doc.id3v2.fields[FieldOf("PRIV")];
  EXPECT_EQ(f.tload, bodyFile.string());
  EXPECT_EQ(f.akcija, kFieldLoaded);
  EXPECT_EQ(s.host.fileRequests.back().title, "Choose the source file");
  EXPECT_EQ(s.ctx.options.tagLoadTextFolder, dir.path.string());

  const uint32_t pic = AddId3v2Field(s.ctx.doc.id3v2, 2);
  s.ctx.doc.id3v2.fields[pic].sub = 3;
  s.ctx.doc.id3v2.piclist.push_back(pic);
  s.host.fileAnswers.push_back(pngFile.string());
  ASSERT_TRUE(LoadPictureContent(s.ctx, pic));
  EXPECT_EQ(s.host.fileRequests.back().title, "Choose the picture file");
  EXPECT_EQ(s.ctx.doc.id3v2.fields[pic].akcija, kFieldAdded | kFieldLoaded);

  for (unsigned major : {3u, 4u}) {
    SCOPED_TRACE(major);
    s.ctx.doc.id3v2.tagversion.major = static_cast<uint8_t>(major);
    const std::string out = (dir / ("out" + std::to_string(major) + ".mp3")).string();
    ASSERT_TRUE(WriteOutputFile(s.ctx, out, kWriteSaveAs, 0, 0).succeeded());
    EXPECT_EQ(Python(dir, kMutagenView, {out, "PRIV"}), Hex(body));
    EXPECT_EQ(Python(dir, kMutagenView, {out, "APIC"}), Hex(png));
    EXPECT_EQ(Python(dir, kEyeD3View, {out, "PRIV"}), Hex(body));
    EXPECT_EQ(Python(dir, kEyeD3View, {out, "APIC"}), Hex(png));
  }
}

// The load limits: 16 MB for mixed and binary fields, below 64 MB for
// pictures (the writer takes no larger file); the 2 KB of the message window.
TEST_F(FieldContents, LimitsAtAndAroundTheirEdges) {
  LoadTagged(Tag(3, 0, Frame(3, "PRIV", B("o\0d", 3))));
  const uint32_t priv = FieldOf("PRIV");
  const uint32_t pic = AddId3v2Field(s.ctx.doc.id3v2, 2);
  struct Case {
    bool picture;
    int64_t size;
    bool loaded;
    const char* message;
  };
  const char* const tooLarge = "Please load files up to 16 MB in size.\r\nNote that large tags may cause compatibility issues.";
  const Case cases[] = {
      {false, 16777215, true, ""},
      {false, 16777216, true, ""},
      {false, 16777217, false, tooLarge},
      {false, 20 * 1048576, false, tooLarge},
      {true, 67108863, true, ""},
      {true, 67108864, false, "Image too large, 64 MB max please."},
      {true, 60 * 1048576, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + (c.picture ? " picture" : " field"));
    s.host.messages.clear();
    const fs::path file = dir / (c.picture ? "big.png" : "big.bin");
    WriteAll(file, {});
    fs::resize_file(file, static_cast<uintmax_t>(c.size));
    const uint32_t field = c.picture ? pic : priv;
    const Id3v2Field before = s.ctx.doc.id3v2.fields[field];
    s.host.fileAnswers.push_back(file.string());
    EXPECT_EQ(c.picture ? LoadPictureContent(s.ctx, field) : LoadFieldContent(s.ctx, field), c.loaded);
    const Id3v2Field& after = s.ctx.doc.id3v2.fields[field];
    if (c.loaded) {
      EXPECT_TRUE(s.host.messages.empty());
      EXPECT_EQ(after.tload, file.string());
    } else {
      EXPECT_EQ(LastMessage().text, c.message);
      EXPECT_EQ(LastMessage().kind, 258);
      EXPECT_EQ(after.tload, before.tload);
      EXPECT_EQ(after.akcija, before.akcija);
    }
    s.ctx.doc.id3v2.fields[field] = before;
    fs::remove(file);
  }

  // 2048 bytes are shown in the message window, 2049 are not: from the
  // source and from a loaded file.
  for (size_t size : {size_t{2048}, size_t{2049}}) {
    SCOPED_TRACE(size);
    Bytes body(size, 'a');
    LoadTagged(Tag(3, 0, Frame(3, "MCDI", body)), "mcdi" + std::to_string(size) + ".mp3");
    const uint32_t mcdi = FieldOf("MCDI");
    ViewFieldContent(s.ctx, mcdi, false, true);
    const bool shown = size <= 2048;
    EXPECT_EQ(LastMessage().text, shown ? std::string(size, 'a') : "- TOO LARGE TO DISPLAY (2 KB MAX) -");
    EXPECT_EQ(LastMessage().caption, shown ? "Music CD identifier" : "error");
    const fs::path file = dir / "mcdi.bin";
    WriteAll(file, Bytes(size, 'b'));
    s.host.fileAnswers.push_back(file.string());
    ASSERT_TRUE(LoadFieldContent(s.ctx, mcdi));
    ViewFieldContent(s.ctx, mcdi, false, true);
    EXPECT_EQ(LastMessage().text, shown ? std::string(size, 'b') : "- TOO LARGE TO DISPLAY (2 KB MAX) -");
    // The original is still the source's.
    ViewFieldContent(s.ctx, mcdi, true, true);
    EXPECT_EQ(LastMessage().text, shown ? std::string(size, 'a') : "- TOO LARGE TO DISPLAY (2 KB MAX) -");
  }
}

// Files that are no files to load: each ends in its message, the field unchanged.
TEST_F(FieldContents, LoadRefusesFoldersAndOtherNonFiles) {
  LoadTagged(Tag(3, 0, Frame(3, "PRIV", B("o\0d", 3))));
  const uint32_t priv = FieldOf("PRIV");
  const uint32_t pic = AddId3v2Field(s.ctx.doc.id3v2, 2);
  fs::create_directories(dir / "folder.png");
  ASSERT_EQ(mkfifo((dir / "fifo.png").c_str(), 0600), 0);
  for (const char* name : {"folder.png", "fifo.png", "missing.png"}) {
    for (bool picture : {false, true}) {
      SCOPED_TRACE(std::string(name) + (picture ? " picture" : " field"));
      const uint32_t field = picture ? pic : priv;
      const Id3v2Field before = s.ctx.doc.id3v2.fields[field];
      s.host.fileAnswers.push_back((dir / name).string());
      EXPECT_FALSE(picture ? LoadPictureContent(s.ctx, field) : LoadFieldContent(s.ctx, field));
      EXPECT_EQ(LastMessage().text, "Disk error reading the file.");
      EXPECT_EQ(LastMessage().caption, "error");
      EXPECT_EQ(s.ctx.doc.id3v2.fields[field].tload, before.tload);
      EXPECT_EQ(s.ctx.doc.id3v2.fields[field].akcija, before.akcija);
    }
  }
  // A cancelled dialog does nothing.
  s.host.messages.clear();
  s.host.fileAnswers.push_back(std::nullopt);
  EXPECT_FALSE(LoadFieldContent(s.ctx, priv));
  EXPECT_TRUE(s.host.messages.empty());
}

Bytes LinkPicture(const std::string& link) {
  return Tag(3, 0, Frame(3, "APIC", Cat({B("\0-->\0\x03", 6), B("\0", 1), B(link)})));
}

// Links: only the five URL schemes may be opened (after the question), paths
// only when they exist; nothing else reaches the desktop.
TEST_F(FieldContents, PictureLinksOpenOnlyWhatMayBeOpened) {
  WriteAll(dir / "cover.jpg", B("jpeg"));
  const std::string folder = dir.path.string();
  struct Case {
    std::string link;
    int answer;
    std::string opened;  // empty: nothing
    std::string message;
  };
  const std::string question =
      "This picture field contains embedded URL instead of data.\r\nThere may be security issues associated with "
      "opening it.\r\n\r\nAttempt to open this URL?\r\n\r\n";
  const Case cases[] = {
      {"http://example.com/a.png", kAnswerYes, "http://example.com/a.png", question + "http://example.com/a.png"},
      {"HTTPS://example.com/a.png", kAnswerYes, "HTTPS://example.com/a.png", question + "HTTPS://example.com/a.png"},
      {"ftp://example.com/a.png", kAnswerNo, "", question + "ftp://example.com/a.png"},
      {"cover.jpg", kAnswerYes, folder + "/cover.jpg", ""},
      {"\"cover.jpg\"", kAnswerYes, folder + "/cover.jpg", ""},
      {folder + "/cover.jpg", kAnswerYes, folder + "/cover.jpg", ""},
      {"javascript:alert(1)", kAnswerYes, "", "The file doesn't exist:\r\n\r\n" + folder + "/javascript:alert(1)"},
      {"file:///etc/passwd", kAnswerYes, "", "The file doesn't exist:\r\n\r\n" + folder + "/file:///etc/passwd"},
      {"smb://host/share", kAnswerYes, "", "The file doesn't exist:\r\n\r\n" + folder + "/smb://host/share"},
      {":cover.jpg", kAnswerYes, "", "Invalid embedded relative path (starting with a colon)."},
      {"missing.jpg", kAnswerYes, "", "The file doesn't exist:\r\n\r\n" + folder + "/missing.jpg"},
      {std::string(768, 'x'), kAnswerYes, "", "The file doesn't exist:\r\n\r\n" + folder + "/" + std::string(768, 'x')},
      {std::string(769, 'x'), kAnswerYes, "",
       "This picture field contains embedded URL instead of data.\r\nHowever, this URL is larger than 768 characters "
       "and can't\r\nbe processed by Quorvel."},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link.substr(0, 40));
    LoadTagged(LinkPicture(c.link), "link" + std::to_string(n++) + ".mp3");
    s.host.messages.clear();
    s.host.opened.clear();
    s.host.answers = {c.answer};
    EXPECT_FALSE(ViewPictureContent(s.ctx, FieldOf("APIC"), false, true).show);
    EXPECT_EQ(s.host.opened, c.opened.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.opened});
    if (!c.message.empty()) {
      EXPECT_EQ(LastMessage().text, c.message);
    }
    if (c.message == question + c.link) {
      EXPECT_EQ(LastMessage().kind, 4354);
    }
    EXPECT_EQ(SettingsFiles(), std::vector<std::string>{});
  }
}

// "Save original" of a link: a URL is left to the viewer, a path's file is
// copied after the question, a missing one is reported.
TEST_F(FieldContents, SavingPictureLinks) {
  const Bytes jpeg = B("\xFF\xD8jpeg\xFF\xD9");
  WriteAll(dir / "cover.jpg", jpeg);
  const std::string target = (dir / "copy.jpg").string();
  LoadTagged(LinkPicture("http://example.com/a.png"), "url.mp3");
  SavePictureOriginal(s.ctx, FieldOf("APIC"));
  EXPECT_EQ(LastMessage().text,
            "This picture field contains embedded URL instead of data.\r\nUse View button to open it with system "
            "viewer (probably the default browser).\r\nYou may be able to save the picture from there.");
  EXPECT_EQ(LastMessage().caption, "View, not Save");
  EXPECT_TRUE(s.host.fileRequests.empty());

  LoadTagged(LinkPicture("cover.jpg"), "path.mp3");
  s.host.answers = {kAnswerYes};
  s.host.fileAnswers.push_back(target);
  SavePictureOriginal(s.ctx, FieldOf("APIC"));
  EXPECT_EQ(s.host.messages.back().text,
            "This picture field contains embedded path to a file, not data.\r\nAttempt to copy the referenced "
            "file?\r\n" + (dir / "cover.jpg").string());
  EXPECT_EQ(ReadAll(target), jpeg);

  LoadTagged(LinkPicture("gone.jpg"), "gone.mp3");
  s.host.answers = {kAnswerYes};
  SavePictureOriginal(s.ctx, FieldOf("APIC"));
  EXPECT_EQ(LastMessage().text, "Unfortunately, this file doesn't exist.");
  EXPECT_TRUE(s.host.opened.empty());
  EXPECT_TRUE(NoTemporaryIn(dir.path));
}

// A source cut or changed since loading: the read error, nothing shown,
// opened or written.
TEST_F(FieldContents, SourceChangedSinceLoading) {
  const Bytes png = Cat({B("\x89PNG\r\n\x1A\n", 8), kPayload});
  LoadTagged(Tag(3, 0, Cat({Frame(3, "APIC", Cat({B("\0image/png\0\x03\0", 13), png})),
                            Frame(3, "PRIV", B("o\0data", 6))})));
  fs::resize_file(source, 30);
  const std::string gone =
      "Disk read error. Perhaps the source file was either\r\nmoved, modified, renamed or deleted in the meantime?";
  EXPECT_FALSE(ViewPictureContent(s.ctx, FieldOf("APIC"), false, true).show);
  EXPECT_EQ(LastMessage().text, gone);
  EXPECT_FALSE(ViewPictureContent(s.ctx, FieldOf("APIC"), false, false).show);
  EXPECT_EQ(LastMessage().text, gone);
  ViewFieldContent(s.ctx, FieldOf("PRIV"), false, true);
  EXPECT_EQ(LastMessage().text, gone);
  const std::string target = (dir / "saved.bin").string();
  s.host.fileAnswers = {target, target};
  SaveFieldOriginal(s.ctx, FieldOf("PRIV"));
  EXPECT_EQ(LastMessage().text, gone);
  SavePictureOriginal(s.ctx, FieldOf("APIC"));
  EXPECT_EQ(LastMessage().text, gone);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(s.host.opened.empty());
  EXPECT_EQ(SettingsFiles(), std::vector<std::string>{});
}

// Pictures: shown in the internal window from memory, or written to the
// working file of their type for the system viewer; unknown types and
// encodings are refused.
TEST_F(FieldContents, PictureViewersAndWorkingFiles) {
  const Bytes png = Cat({B("\x89PNG\r\n\x1A\n", 8), kPayload});
  LoadTagged(Tag(2, 0, Frame(2, "PIC", Cat({B("\0PNG\x03" "d\0", 7), png}))));
  const uint32_t pic = FieldOf("PIC");
  PictureView view = ViewPictureContent(s.ctx, pic, false, true);
  ASSERT_TRUE(view.show) << LastMessage().text;
  EXPECT_EQ(view.data, png);
  EXPECT_EQ(view.format, "png");
  EXPECT_EQ(SettingsFiles(), std::vector<std::string>{});
  view = ViewPictureContent(s.ctx, pic, false, false);
  EXPECT_FALSE(view.show);
  const std::string working = s.ctx.settingsFolder + "Quorvel.tag.image.png";
  EXPECT_EQ(s.host.opened, std::vector<std::string>{working});
  EXPECT_EQ(ReadAll(working), png);
  EXPECT_EQ(SettingsFiles(), std::vector<std::string>{"Quorvel.tag.image.png"});

  // A settings folder that cannot take the file: the message, nothing left.
  s.host.opened.clear();
  s.ctx.settingsFolder = (dir / "gone").string() + "/";
  ViewPictureContent(s.ctx, pic, false, false);
  EXPECT_EQ(LastMessage().text.rfind("Can't create temporary file.\r\n\r\nYou may be running another instance", 0), 0u);
  EXPECT_EQ(LastMessage().kind, 1);
  EXPECT_TRUE(s.host.opened.empty());
  EXPECT_FALSE(fs::exists(dir / "gone"));

  struct Bad {
    Bytes tag;
    const char* view;
    const char* save;
  };
  const Bad bad[] = {
      {Tag(3, 0, Frame(3, "APIC", Cat({B("\0image/webp\0\x03\0", 14), png}))),
       "Invalid or unknown MIME type, can't display.", "Invalid or unknown MIME type, can't save."},
      {Tag(3, 0, Frame(3, "APIC", Cat({B("\x07image/png\0\x03\0", 13), png}))),
       "Unknown content description encoding.\r\nCan't locate image data.",
       "Unknown field header encoding. Content can't be processed."},
  };
  int n = 0;
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.view);
    LoadTagged(b.tag, "bad" + std::to_string(n++) + ".mp3");
    EXPECT_FALSE(ViewPictureContent(s.ctx, FieldOf("APIC"), false, true).show);
    EXPECT_EQ(LastMessage().text, b.view);
    SavePictureOriginal(s.ctx, FieldOf("APIC"));
    EXPECT_EQ(LastMessage().text, b.save);
  }

  // An added picture not loaded yet.
  const uint32_t added = AddId3v2Field(s.ctx.doc.id3v2, 2);
  ViewPictureContent(s.ctx, added, false, true);
  EXPECT_EQ(LastMessage().text, "This picture doesn't exist in the original file\r\nand hasn't been loaded yet.");
}

// The desktop's text viewer gets the content in "Quorvel.tag.txt", without
// the encoding byte and language.
TEST_F(FieldContents, TextViewerWorkingFile) {
  LoadTagged(Tag(3, 0, Frame(3, "COMM", Cat({B("\0eng", 4), B("d\0text", 6)}))));
  ViewFieldContent(s.ctx, FieldOf("COMM"), true, false);
  const std::string working = s.ctx.settingsFolder + "Quorvel.tag.txt";
  EXPECT_EQ(s.host.opened, std::vector<std::string>{working});
  EXPECT_EQ(ReadAll(working), B("d\0text", 6));
  EXPECT_EQ(SettingsFiles(), std::vector<std::string>{"Quorvel.tag.txt"});

  // A main box without a field, an added text field.
  ViewFieldContent(s.ctx, -1, true, true, "Title");
  EXPECT_EQ(LastMessage().text, "The field doesn't exist in the input tag.");
  EXPECT_EQ(LastMessage().caption, "Title");
  const uint32_t added = AddId3v2Field(s.ctx.doc.id3v2, 4);
  ViewFieldContent(s.ctx, added, true, true);
  EXPECT_EQ(LastMessage().text, "This field doesn't exist in the original tag.");
  EXPECT_EQ(LastMessage().caption, "Comment");
  // Its current text is what the user typed.
  s.ctx.doc.id3v2.fields[added].tansi = "typed \xC3\xBC";
  ViewFieldContent(s.ctx, added, false, true);
  EXPECT_EQ(LastMessage().text, "typed \xC3\xBC");
  s.host.opened.clear();
  ViewFieldContent(s.ctx, added, false, false);
  EXPECT_EQ(s.host.opened, std::vector<std::string>{working});
  EXPECT_EQ(ReadAll(working), B("typed \xC3\xBC"));

  // A loaded field's current content is its file, opened as it is.
  const fs::path body = dir / "body.bin";
  WriteAll(body, B("\0text"));
  const uint32_t comm = FieldOf("COMM");
  s.host.fileAnswers.push_back(body.string());
  ASSERT_TRUE(LoadFieldContent(s.ctx, AddId3v2Field(s.ctx.doc.id3v2, 9)));
  const uint32_t geob = static_cast<uint32_t>(s.ctx.doc.id3v2.fields.size() - 1);
  s.host.opened.clear();
  ViewFieldContent(s.ctx, geob, false, false);
  EXPECT_EQ(s.host.opened, std::vector<std::string>{body.string()});
  fs::remove(body);
  ViewFieldContent(s.ctx, geob, false, false);
  EXPECT_EQ(LastMessage().text, "The referenced file not found:\r\n" + body.string());
  EXPECT_EQ(s.host.opened.size(), 1u);
  // Without a settings folder nothing is written anywhere else.
  s.ctx.settingsFolder.clear();
  ViewFieldContent(s.ctx, comm, true, false);
  EXPECT_EQ(LastMessage().text.rfind("Can't write to temporary text file.\r\n\r\nYou may be running", 0), 0u);
  EXPECT_EQ(LastMessage().kind, 257);
  EXPECT_EQ(s.host.opened.size(), 1u);
  EXPECT_FALSE(fs::exists("Quorvel.tag.txt"));

  // An added mixed field without a file is empty.
  const uint32_t priv = AddId3v2Field(s.ctx.doc.id3v2, 15);
  ViewFieldContent(s.ctx, priv, false, true);
  EXPECT_EQ(LastMessage().text, "- EMPTY FIELD -  ");
  EXPECT_TRUE(NoTemporaryIn(dir / "settings"));
}

TEST_F(FieldContents, ExtendedInformation) {
  LoadTagged(Tag(3, 0, Frame(3, "COMM", Cat({B("\0deu", 4), B("d\0text", 6)}))));
  const uint32_t comm = FieldOf("COMM");
  const std::string hint = s.ctx.doc.id3v2.fields[comm].thint;
  ShowFieldInformation(s.ctx, comm);
  EXPECT_EQ(LastMessage().text, hint + "\r\nLanguage: DEU\r\nThe field hasn't been modified.");
  EXPECT_EQ(LastMessage().caption, "Comment");
  EXPECT_EQ(LastMessage().kind, 0);
  ShowFieldInformation(s.ctx, -1, "Artist");
  EXPECT_EQ(LastMessage().text, "The field doesn't exist in input tag.");
  EXPECT_EQ(LastMessage().caption, "Artist");
  const uint32_t added = AddId3v2Field(s.ctx.doc.id3v2, 15);
  s.ctx.doc.id3v2.fields[added].akcija = kFieldAdded | kFieldLoaded;
  EXPECT_EQ(FieldInformationText(s.ctx, added),
            "code: PRIV\r\nNewly added field.\r\nThe field has been loaded from an external file.");
}

// "View invalid fields": an unknown code is named as read; Yes shows the
// first bytes and offers to save the whole content; Escape stops.
TEST_F(FieldContents, InvalidFields) {
  const Bytes body(1000, 'q');
  LoadTagged(Tag(3, 0, Cat({Frame(3, "TIT2", B("\0Title", 6)), Frame(3, "ZZZZ", body), Frame(3, "ZZZY", B("r"))})));
  s.host.answers = {kAnswerYes, kAnswerYes, kAnswerEscape};
  const std::string target = (dir / "invalid.bin").string();
  s.host.fileAnswers.push_back(target);
  ViewInvalidFields(s.ctx);
  ASSERT_EQ(s.host.messages.size(), 3u);
  EXPECT_EQ(s.host.messages[0].text, "Field code: ZZZZ\r\nHeader position: 26\r\nContent size: 1000\r\n\r\nShow [some of] this field?");
  EXPECT_EQ(s.host.messages[1].text, std::string(768, 'q') + "\r\n\r\n- save the field to a file? -");
  EXPECT_EQ(s.host.messages[2].text.rfind("Field code: ZZZY\r\n", 0), 0u);
  EXPECT_EQ(ReadAll(target), body);
}

}  // namespace
}  // namespace quorvel
