#include "core/analysis.h"
#include "core/file_paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "core/document_ops.h"
#include "core/headless_host.h"
#include "core/messages.h"
#include "core/mpeg_header.h"
#include "core/tag_editing.h"
#include "tags/id3v1.h"
#include "tags/id3v2_catalogue.h"
#include "tags/id3v2_reader.h"

namespace quorvel {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string kFramePrompt = "\r\nTry to continue processing?";

// One frame: a valid header and a body of zeros (no sync bytes inside).
Bytes Frame(uint8_t h1 = 0xFB, uint8_t h2 = 0x90, uint8_t h3 = 0x44, size_t length = 0) {
  if (length == 0) {
    MpegHeader h = ParseHeader(0xFF, h1, h2, h3);
    length = static_cast<size_t>(FrameLength(h.bitrateIndex, h.freqIndex, h.padding));
  }
  Bytes f(length, 0);
  f[0] = 0xFF;
  f[1] = h1;
  f[2] = h2;
  f[3] = h3;
  return f;
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }
void Append(Bytes& to, const std::string& text) { to.insert(to.end(), text.begin(), text.end()); }

// n frames of 128 kbps, 44.1 kHz, joint stereo (417 bytes each).
Bytes Frames(int n, uint8_t h1 = 0xFB, uint8_t h2 = 0x90, uint8_t h3 = 0x44) {
  Bytes out;
  for (int i = 0; i < n; ++i) Append(out, Frame(h1, h2, h3));
  return out;
}

Bytes Id3v1Tag() {
  Bytes tag(128, 0);
  std::memcpy(tag.data(), "TAGTitle", 8);
  tag[127] = 12;
  return tag;
}

Bytes Id3v2Header(uint8_t major, uint8_t revision, uint8_t flags, uint32_t size) {
  Bytes h = {'I', 'D', '3', major, revision, flags};
  h.push_back(static_cast<uint8_t>((size >> 21) & 0x7F));
  h.push_back(static_cast<uint8_t>((size >> 14) & 0x7F));
  h.push_back(static_cast<uint8_t>((size >> 7) & 0x7F));
  h.push_back(static_cast<uint8_t>(size & 0x7F));
  return h;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-analysis-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    if (made) path_ = made;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name, const Bytes& bytes) const {
    std::string p = path_ + "/" + name;
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class AnalysisTest : public ::testing::Test {
 protected:
  HeadlessHost host;
  Context ctx{host};
  TempDir dir;

  bool Load(const Bytes& bytes, const std::string& name = "test.mp3") {
    ctx.doc.sourceName = dir.File(name, bytes);
    return Loadfile(ctx);
  }
  const SourceAnalysis& source() const { return ctx.doc.source; }
  const frametype& frame(int i) const { return ctx.doc.frames.at(static_cast<size_t>(i)); }

  // The failure message of the analysis.
  void ExpectFailure(const std::string& text) {
    EXPECT_FALSE(ctx.doc.loaded);
    EXPECT_EQ(ctx.doc.editCount, 0);
    EXPECT_TRUE(ctx.doc.documentName.empty());
    EXPECT_FALSE(ctx.doc.busy);
    EXPECT_FALSE(host.busy);
    ASSERT_FALSE(host.messages.empty());
    const MessageRecord& m = host.messages.back();
    EXPECT_EQ(m.text, "Error processing the file:\r\n" + text);
    EXPECT_EQ(m.kind, 258);
    EXPECT_EQ(m.caption, "Quorvel");
    EXPECT_FALSE(m.question);
  }

  std::vector<std::string> Questions() const {
    std::vector<std::string> q;
    for (const auto& m : host.messages) {
      if (m.question) {
        EXPECT_EQ(m.kind, 258);
        EXPECT_EQ(m.caption, "error");
        q.push_back(m.text);
      }
    }
    return q;
  }
};

TEST_F(AnalysisTest, PlainFramesMakeTheDocument) {
  ctx.options.mainFlags &= static_cast<uint8_t>(~kSelectAllOnLoad);
  ASSERT_TRUE(Load(Frames(10)));
  const DocumentState& doc = ctx.doc;
  EXPECT_TRUE(doc.loaded);
  EXPECT_EQ(doc.frameTableCount, 10);
  EXPECT_EQ(doc.editCount, 10);
  EXPECT_EQ(doc.frames.size(), 10u);
  for (int p = 0; p < 10; ++p) {
    EXPECT_EQ(doc.ref[p], p);
    EXPECT_EQ(doc.gainLeft[p], 0);
    EXPECT_EQ(doc.gainRight[p], 0);
    EXPECT_EQ(frame(p).framepos, 417 * p);
    EXPECT_EQ(frame(p).framelen, 417);
    EXPECT_EQ(frame(p).fromfile, 0);
  }
  EXPECT_EQ(doc.cursor, 0);
  EXPECT_EQ(doc.selectionEnd, 0);
  EXPECT_FALSE(doc.selectionExists);
  EXPECT_EQ(doc.documentName, doc.sourceName);
  EXPECT_EQ(doc.files[0].name, doc.sourceName);
  EXPECT_EQ(doc.files[1].firstFrame, 10);
  EXPECT_EQ(source().fileSize, 4170);
  EXPECT_EQ(source().audioStart, 0);
  EXPECT_EQ(source().audioEnd, 4170);
  EXPECT_FALSE(source().behindHeaderFound);
  EXPECT_FALSE(source().footerFound);
  EXPECT_EQ(InfoLine(doc.sourceStats), "44.1 KHz, JOINT STEREO, 128 kbps, 0.261 sec");
  EXPECT_EQ(doc.fallbackBitrate, 9);
  EXPECT_EQ(doc.fallbackMode, 1);
  EXPECT_EQ(doc.fallbackFreq, 0);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(host.busy);
  EXPECT_EQ(doc.modifiedLevel, 0);
  EXPECT_FALSE(doc.unsavedChanges);
}

TEST_F(AnalysisTest, LoadingDropsThePreviousDocumentWithoutAsking) {
  ASSERT_TRUE(Load(Frames(10), "a.mp3"));
  ctx.doc.modifiedLevel = 2;
  ctx.doc.unsavedChanges = true;
  ctx.options.mainFlags |= kPromptSaveOnClose;
  ASSERT_TRUE(Load(Frames(4), "b.mp3"));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(ctx.doc.editCount, 4);
  EXPECT_EQ(ctx.doc.modifiedLevel, 0);
  EXPECT_FALSE(ctx.doc.unsavedChanges);
}

TEST_F(AnalysisTest, JunkBetweenFrames) {
  struct Case {
    int junk;
    uint8_t policy;
    std::deque<int> answers;
    bool loaded;
    size_t questions;
  };
  const Case cases[] = {
      {2, kErrorPrompt, {}, true, 0},             // within tolerance: silently part of the frame
      {3, kErrorPrompt, {kAnswerYes}, true, 1},   // one byte over the tolerance: asked
      {3, kErrorFail, {}, false, 0},              // and a failure where nothing is asked
      {5, kErrorTryToContinue, {}, true, 0},      // continues without asking
      {5, kErrorPrompt, {kAnswerYes}, true, 1},   // asked, continued
      {5, kErrorPrompt, {kAnswerNo}, false, 1},   // asked, stopped
      {5, kErrorFail, {}, false, 0},              // stops without asking
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.junk << " bytes, policy " << int{c.policy});
    host.messages.clear();
    host.answers = c.answers;
    ctx.options.errorPolicy = c.policy;
    Bytes file = Frames(4);
    file.insert(file.end(), static_cast<size_t>(c.junk), 0x11);
    Append(file, Frames(4));
    EXPECT_EQ(Load(file), c.loaded);
    auto questions = Questions();
    ASSERT_EQ(questions.size(), c.questions);
    if (c.questions) {
      EXPECT_EQ(questions[0], "Improper frame size at position 1,251 to " + ThousandsText(1668 + c.junk) + "." +
                                  kFramePrompt);
    }
    if (c.loaded) {
      EXPECT_EQ(ctx.doc.editCount, 8);
      EXPECT_EQ(frame(3).framelen, 417 + c.junk);
      EXPECT_EQ(frame(4).framepos, 1668 + c.junk);
    } else {
      ExpectFailure("Improper frame size.");
    }
  }
}

TEST_F(AnalysisTest, LastFrameLengths) {
  struct Case {
    const char* name;
    int extra;  // bytes added to (or, negative, cut from) the last frame
    uint8_t policy;
    bool loaded;
    bool footer;
    int32_t lastLength;
  };
  const Case cases[] = {
      {"100 bytes longer: unknown footer", 100, kErrorFail, true, true, 417},
      {"2 bytes longer: no footer", 2, kErrorFail, true, false, 419},
      {"3 bytes longer: footer", 3, kErrorFail, true, true, 417},
      {"2 bytes short passes", -2, kErrorFail, true, false, 415},
      {"truncated, continue", -117, kErrorTryToContinue, true, false, 300},
      {"truncated, fail", -117, kErrorFail, false, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host.messages.clear();
    ctx.options.errorPolicy = c.policy;
    Bytes file = Frames(5);
    if (c.extra > 0) {
      file.insert(file.end(), static_cast<size_t>(c.extra), 0x20);
    } else {
      file.resize(file.size() - static_cast<size_t>(-c.extra));
    }
    EXPECT_EQ(Load(file), c.loaded);
    if (!c.loaded) {
      ExpectFailure("Improper frame size.");
      continue;
    }
    EXPECT_EQ(frame(4).framelen, c.lastLength);
    EXPECT_EQ(source().footerFound, c.footer);
    if (c.footer) {
      EXPECT_EQ(source().footerPos, 5 * 417);
      EXPECT_EQ(source().footerLength, c.extra);
      EXPECT_TRUE(ctx.doc.boxes.footer.enabled);
    }
  }
}

TEST_F(AnalysisTest, IncompleteLastFrameQuestion) {
  ctx.options.errorPolicy = kErrorPrompt;
  host.answers = {kAnswerNo};
  Bytes file = Frames(3);
  file.resize(file.size() - 100);
  EXPECT_FALSE(Load(file));
  auto q = Questions();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0], "The last frame is incomplete (position 834)." + kFramePrompt);
  ExpectFailure("Improper frame size.");
}

TEST_F(AnalysisTest, Lyrics3Blocks) {
  struct Case {
    const char* name;
    int version;
    bool id3v1;
  };
  const Case cases[] = {{"v1", 1, false}, {"v1 + ID3v1", 1, true}, {"v2", 2, false}, {"v2 + ID3v1", 2, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = Frames(4);
    const int32_t lyricsPos = static_cast<int32_t>(file.size());
    Append(file, std::string("LYRICSBEGIN") + "[ti]Song");
    const int32_t endPos = static_cast<int32_t>(file.size()) + (c.version == 2 ? 6 : 0);
    Append(file, c.version == 2 ? std::string("000019LYRICS200") : std::string("LYRICSEND"));
    if (c.id3v1) Append(file, Id3v1Tag());
    ASSERT_TRUE(Load(file));
    EXPECT_EQ(source().lyricsVersion, c.version);
    EXPECT_TRUE(source().lyricsFound);
    EXPECT_EQ(source().lyricsPos, lyricsPos);
    EXPECT_EQ(source().lyricsEndPos, endPos);
    EXPECT_EQ(source().lyricsLength, endPos - lyricsPos + 9);
    EXPECT_EQ(source().audioEnd, lyricsPos);
    EXPECT_EQ(source().id3v1Found, c.id3v1);
    EXPECT_FALSE(source().footerFound);
    EXPECT_EQ(frame(3).framelen, 417);
    EXPECT_TRUE(ctx.doc.boxes.lyrics.enabled);
    EXPECT_FALSE(ctx.doc.boxes.lyrics.checked);
    EXPECT_EQ(ctx.doc.boxes.id3v1.enabled, c.id3v1);
  }
}

TEST_F(AnalysisTest, Lyrics3EndMarkerWithoutBeginIsNoBlock) {
  Bytes file = Frames(4);
  Append(file, std::string("LYRICSEND"));
  ASSERT_TRUE(Load(file));
  EXPECT_EQ(source().lyricsVersion, 1);
  EXPECT_FALSE(source().lyricsFound);
  EXPECT_EQ(source().audioEnd, static_cast<int32_t>(file.size()));
  // The marker is then just data after the last frame.
  EXPECT_TRUE(source().footerFound);
  EXPECT_EQ(source().footerLength, 9);
}

TEST_F(AnalysisTest, Lyrics3BeginOutsideTheWindowIsNotFound) {
  Bytes file = Frames(4);
  Append(file, std::string("LYRICSBEGIN"));
  file.insert(file.end(), 5100 - 10, 'x');  // "LYRICSBEGIN" starts 5,101 bytes before the marker
  Append(file, std::string("LYRICSEND"));
  ASSERT_TRUE(Load(file));
  EXPECT_FALSE(source().lyricsFound);
}

TEST_F(AnalysisTest, Id3v1TagPositions) {
  for (int d = 125; d <= 129; ++d) {
    SCOPED_TRACE(d);
    host.messages.clear();
    Bytes file = Frames(4);
    Bytes tag(static_cast<size_t>(d), 0);
    std::memcpy(tag.data(), "TAG", 3);
    Append(file, tag);
    ASSERT_TRUE(Load(file));
    EXPECT_TRUE(source().id3v1Found);
    EXPECT_EQ(source().id3v1Pos, 4 * 417);
    EXPECT_EQ(source().id3v1Length, d);
    EXPECT_EQ(source().audioEnd, 4 * 417);
    EXPECT_FALSE(source().footerFound);
    // Fewer than 128 bytes after "TAG" cannot be read as a tag.
    if (d < 128) {
      ASSERT_EQ(host.messages.size(), 1u);
      EXPECT_EQ(host.messages[0].text, "Disk error reading id3v1 tag.");
      EXPECT_EQ(host.messages[0].kind, 2);
      EXPECT_EQ(host.messages[0].caption, "warning");
    } else {
      EXPECT_TRUE(host.messages.empty());
    }
  }
}

TEST_F(AnalysisTest, Id3v1RecordIsRead) {
  Bytes file = Frames(4);
  Append(file, Id3v1Tag());
  ASSERT_TRUE(Load(file));
  EXPECT_EQ(ctx.doc.id3v1.record.bytes[0], 'T');
  EXPECT_EQ(ctx.doc.id3v1.record.bytes[124], 12);
  // The next load clears it.
  ASSERT_TRUE(Load(Frames(4), "plain.mp3"));
  EXPECT_EQ(ctx.doc.id3v1.record.bytes[0], 0);
  EXPECT_EQ(ctx.doc.id3v1.record.bytes[124], 255);
}

TEST_F(AnalysisTest, Id3v2Tags) {
  struct Case {
    const char* name;
    uint8_t major, revision, flags;
    bool present;
    int32_t tagsize;
  };
  const Case cases[] = {
      {"2.3", 3, 0, 0x00, true, 110},
      {"2.4 with footer", 4, 0, 0x10, true, 120},
      {"2.3 footer flag means nothing", 3, 0, 0x10, true, 110},
      {"version byte 255", 255, 0, 0x00, false, 0},
      {"revision byte 255", 3, 255, 0x00, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host.messages.clear();
    Bytes file = Id3v2Header(c.major, c.revision, c.flags, 100);
    file.resize(c.tagsize == 120 ? 120 : 110, 0);
    Append(file, Frames(4));
    ASSERT_TRUE(Load(file));
    const Id3v2TagState& tag = ctx.doc.id3v2;
    EXPECT_EQ(tag.present, c.present);
    EXPECT_EQ(ctx.doc.boxes.id3v2.enabled, c.present);
    if (c.present) {
      EXPECT_EQ(tag.tagstart, 0u);
      EXPECT_EQ(tag.tagsize, static_cast<uint32_t>(c.tagsize));
      EXPECT_EQ(tag.tagversion.major, c.major);
      EXPECT_EQ(tag.srcversion.major, c.major);
      EXPECT_EQ(tag.footer, c.major == 4);
      EXPECT_EQ(source().audioStart, c.tagsize);
      EXPECT_FALSE(source().behindHeaderFound);
    } else {
      // Not a tag: the scan starts at 0 and the header bytes are unknown data.
      EXPECT_EQ(source().audioStart, 0);
      EXPECT_TRUE(source().behindHeaderFound);
      EXPECT_EQ(source().behindHeaderLength, 110);
    }
    EXPECT_EQ(ctx.doc.editCount, 4);
  }
}

// Tag sizes that need the second, third and fourth syncsafe byte, written here
// byte by byte, read by the analysis: the tag is taken whole and the audio
// starts right behind it.
TEST_F(AnalysisTest, Id3v2SizesInEverySyncsafeByte) {
  struct Case {
    uint32_t size;
    uint8_t sizeBytes[4];
  };
  const Case cases[] = {
      {127, {0x00, 0x00, 0x00, 0x7F}},
      {128, {0x00, 0x00, 0x01, 0x00}},
      {16383, {0x00, 0x00, 0x7F, 0x7F}},
      {16384, {0x00, 0x01, 0x00, 0x00}},
      {2097152, {0x01, 0x00, 0x00, 0x00}},
      {2097152 + 16384 + 128 + 5, {0x01, 0x01, 0x01, 0x05}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    host.messages.clear();
    // An ID3v2.3 tag: one title frame, the rest padding.
    Bytes file = {'I', 'D', '3', 3, 0, 0, c.sizeBytes[0], c.sizeBytes[1], c.sizeBytes[2], c.sizeBytes[3]};
    Append(file, Bytes{'T', 'I', 'T', '2', 0, 0, 0, 5, 0, 0, 0});
    Append(file, std::string("Size"));
    file.resize(10 + c.size, 0);
    Append(file, Frames(6));
    ASSERT_TRUE(Load(file)) << (host.messages.empty() ? "" : host.messages.back().text);
    const Id3v2TagState& tag = ctx.doc.id3v2;
    EXPECT_TRUE(tag.present);
    EXPECT_EQ(tag.tagstart, 0u);
    EXPECT_EQ(tag.tagsize, 10 + c.size);
    EXPECT_EQ(tag.fieldcount(), 1u);
    EXPECT_EQ(source().audioStart, static_cast<int64_t>(10 + c.size));
    EXPECT_FALSE(source().behindHeaderFound);
    EXPECT_EQ(ctx.doc.editCount, 6);
    EXPECT_EQ(frame(0).framepos, static_cast<int64_t>(10 + c.size));
  }
}

TEST_F(AnalysisTest, Id3v2FlagsAndSourceVersion) {
  Bytes file = Id3v2Header(2, 0, 0xE0, 100);
  file.resize(110, 0);
  Append(file, Frames(4));
  ASSERT_TRUE(Load(file));
  const Id3v2TagState& tag = ctx.doc.id3v2;
  EXPECT_TRUE(tag.unsync);
  EXPECT_TRUE(tag.srcunsync);
  EXPECT_FALSE(tag.exthead) << "2.2 has no extended header";
  EXPECT_FALSE(tag.experimental);
  EXPECT_EQ(source().id3v2Flags, 0xE0);

  file = Id3v2Header(7, 1, 0x60, 100);
  file.resize(110, 0);
  Append(file, Frames(4));
  ASSERT_TRUE(Load(file, "v7.mp3"));
  EXPECT_EQ(ctx.doc.id3v2.tagversion.major, 7);
  EXPECT_EQ(ctx.doc.id3v2.srcversion.major, 5);
  EXPECT_EQ(ctx.doc.id3v2.srcversion.minor, 1);
  EXPECT_TRUE(ctx.doc.id3v2.exthead);
  EXPECT_TRUE(ctx.doc.id3v2.experimental);
  EXPECT_FALSE(ctx.doc.id3v2.unsync);
}

TEST_F(AnalysisTest, Id3v2OnlyFileHasNoFrame) {
  Bytes file = Id3v2Header(3, 0, 0, 2000);
  file.resize(2010, 0);
  EXPECT_FALSE(Load(file));
  ExpectFailure("Invalid format.\r\nProbably not a 32-48 KHz mp3 file.");
}

TEST_F(AnalysisTest, RefusedHeaders) {
  struct Case {
    const char* name;
    uint8_t h1, h2;
    const char* text;
  };
  const Case cases[] = {
      {"MPEG-2 bitrate 15", 0xF3, 0xF0, "Invalid bitrate detected."},
      {"MPEG-2.5 frequency 3", 0xE3, 0x9C, "Invalid frequency detected."},
      {"MPEG-2 free format", 0xF3, 0x00, "Free format mpeg version 2/2.5 not supported."},
      {"MPEG-2.5 free format", 0xE3, 0x08, "Free format mpeg version 2/2.5 not supported."},
      {"reserved version", 0xEB, 0x90, "Unknown mpeg version."},
      {"Layer II", 0xFD, 0x90, "Seems like mp2, not mp3 file."},
      {"Layer I", 0xFF, 0x90, "Seems like mp1, not mp3 file."},
      {"reserved layer", 0xF9, 0x90, "Unknown mpeg layer version."},
      {"bitrate 15", 0xFB, 0xF0, "Invalid bitrate detected."},
      {"frequency 3", 0xFB, 0x9C, "Invalid frequency detected."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file;
    for (int i = 0; i < 4; ++i) Append(file, Frame(c.h1, c.h2, 0x44, 417));

    host.messages.clear();
    ctx.options.errorPolicy = kErrorFail;
    EXPECT_FALSE(Load(file));
    ExpectFailure(c.text);

    // Try to continue: every header is refused, so no frame remains.
    host.messages.clear();
    ctx.options.errorPolicy = kErrorTryToContinue;
    EXPECT_FALSE(Load(file));
    ExpectFailure("Invalid format.\r\nProbably not a 32-48 KHz mp3 file.");
    EXPECT_EQ(host.messages.size(), 1u);

    // Prompt: the question names the header's problem.
    host.messages.clear();
    ctx.options.errorPolicy = kErrorPrompt;
    host.answers = {kAnswerNo};
    EXPECT_FALSE(Load(file));
    auto q = Questions();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0], std::string(c.text) + kFramePrompt);
    ExpectFailure(c.text);
  }
}

TEST_F(AnalysisTest, RefusedHeaderBetweenGoodFramesIsSkipped) {
  ctx.options.errorPolicy = kErrorTryToContinue;
  Bytes file = Frames(3);
  Append(file, Frame(0xFD, 0x90, 0x44, 417));  // Layer II
  Append(file, Frames(3));
  ASSERT_TRUE(Load(file));
  EXPECT_EQ(ctx.doc.editCount, 6);
  EXPECT_EQ(frame(2).framelen, 834);
}

TEST_F(AnalysisTest, FreeFormat) {
  // Free-format 44.1 kHz stereo frames of 300 bytes each.
  Bytes file;
  for (int i = 0; i < 3; ++i) Append(file, Frame(0xFB, 0x00, 0x04, 300));
  ASSERT_TRUE(Load(file));
  EXPECT_EQ(ctx.doc.editCount, 3);
  EXPECT_EQ(frame(0).estimatedlen, 29);
  EXPECT_EQ(frame(0).framelen, 300);
  EXPECT_EQ(frame(2).framelen, 300) << "below 1,024 extra bytes a free-format frame keeps its tail";
  EXPECT_FALSE(source().footerFound);
  EXPECT_EQ(InfoLine(ctx.doc.sourceStats), "44.1 KHz, STEREO, var.kbps, 0.078 sec");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Possible playtime error <  7.8E-0002 sec\r\n(due to free format frames)");
  EXPECT_EQ(host.messages[0].kind, 2);
  EXPECT_EQ(host.messages[0].caption, "warning");

  // One frame: singular; 1,024 or more extra bytes become an unknown footer.
  host.messages.clear();
  Bytes one = Frame(0xFB, 0x00, 0x04, 29 + 1024);
  ASSERT_TRUE(Load(one, "one.mp3"));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Possible playtime error <  2.6E-0002 sec\r\n(due to free format frame)");
  EXPECT_TRUE(source().footerFound);
  EXPECT_EQ(source().footerLength, 1024);
  EXPECT_EQ(frame(0).framelen, 29);

  // No warning while a script runs.
  host.messages.clear();
  ctx.script.active = true;
  ASSERT_TRUE(Load(file, "script.mp3"));
  EXPECT_TRUE(host.messages.empty());
}

TEST(AnalysisText, ScientificAndThousands) {
  EXPECT_EQ(ScientificText(1152.0 / 44100.0), " 2.6E-0002");
  EXPECT_EQ(ScientificText(0.036 * 3), " 1.1E-0001");
  EXPECT_EQ(ScientificText(123.0), " 1.2E+0002");
  EXPECT_EQ(ScientificText(0.0996), " 1.0E-0001");
  EXPECT_EQ(ScientificText(-2.5e-7), "-2.5E-0007");
  EXPECT_EQ(ScientificText(0.0), " 0.0E+0000");
  EXPECT_EQ(ScientificText(1152.0 / 44100.0).size(), 10u);
  EXPECT_EQ(ThousandsText(0), "0");
  EXPECT_EQ(ThousandsText(999), "999");
  EXPECT_EQ(ThousandsText(1000), "1,000");
  EXPECT_EQ(ThousandsText(1234567), "1,234,567");
  EXPECT_EQ(ThousandsText(2147483647), "2,147,483,647");
}

TEST_F(AnalysisTest, RiffWrapper) {
  Bytes file;
  Append(file, std::string("RIFF"));
  file.resize(36, 0);
  Append(file, std::string("data"));
  file.resize(44, 0);
  Append(file, Id3v2Header(3, 0, 0, 100));
  file.resize(154, 0);
  Append(file, Frames(4));
  ASSERT_TRUE(Load(file));
  EXPECT_TRUE(source().riffFound);
  EXPECT_EQ(source().riffPos, 0);
  EXPECT_EQ(source().riffLength, 44);
  EXPECT_TRUE(ctx.doc.id3v2.present);
  EXPECT_EQ(ctx.doc.id3v2.tagstart, 44u);
  EXPECT_EQ(ctx.doc.id3v2.tagsize, 110u);
  EXPECT_EQ(source().audioStart, 154);
  EXPECT_FALSE(source().behindHeaderFound);
  EXPECT_EQ(frame(0).framepos, 154);
  EXPECT_TRUE(ctx.doc.boxes.riff.enabled);
  EXPECT_TRUE(ctx.doc.boxes.riff.checked) << "checked by default (automatic removal option on)";
}

TEST_F(AnalysisTest, RiffAfterId3v2) {
  Bytes file = Id3v2Header(3, 0, 0, 100);
  file.resize(110, 0);
  Append(file, std::string("RIFF"));
  file.resize(110 + 20, 0);
  Append(file, std::string("data"));
  file.resize(110 + 28, 0);
  Append(file, Frames(4));
  ASSERT_TRUE(Load(file));
  EXPECT_TRUE(ctx.doc.id3v2.present);
  EXPECT_EQ(source().riffPos, 110);
  EXPECT_EQ(source().riffLength, 28);
  EXPECT_EQ(source().audioStart, 138);
}

TEST_F(AnalysisTest, RiffWithoutDataChunk) {
  Bytes file;
  Append(file, std::string("RIFF"));
  file.resize(600, 0);
  Append(file, Frames(4));

  ctx.options.errorPolicy = kErrorFail;
  EXPECT_FALSE(Load(file));
  ExpectFailure("RIFF header doesn't seem to be of an mp3 file.");

  host.messages.clear();
  ctx.options.errorPolicy = kErrorPrompt;
  host.answers = {kAnswerYes};
  ASSERT_TRUE(Load(file));
  auto q = Questions();
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0], "Improper or unknown header format." + kFramePrompt);
  EXPECT_EQ(source().audioStart, 517);
  EXPECT_TRUE(source().behindHeaderFound);
  EXPECT_EQ(source().behindHeaderLength, 600 - 517);
  EXPECT_EQ(ctx.doc.editCount, 4);
}

TEST_F(AnalysisTest, FilesThatCannotBeRead) {
  struct Case {
    const char* name;
    std::string path;
    const char* text;
  };
  const std::string small = dir.File("small.mp3", Bytes(255, 0));
  const std::string empty = dir.File("empty.mp3", Bytes());
  const std::string folder = dir.path() + "/folder.mp3";
  std::filesystem::create_directory(folder);
  const Case cases[] = {
      {"255 bytes", small, "Can't process files smaller than 0.25 KB!"},
      {"empty", empty, kDiskErrorText},
      {"folder", folder, kDiskErrorText},
      {"missing", dir.path() + "/missing.mp3", kDiskErrorText},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host.messages.clear();
    ctx.doc.sourceName = c.path;
    EXPECT_FALSE(Loadfile(ctx));
    ExpectFailure(c.text);
    EXPECT_EQ(host.messages.size(), 1u);
  }
}

TEST_F(AnalysisTest, FilesOf2GiBAreRefused) {
  // A sparse file: nothing is written to the disk and nothing is read.
  std::string path = dir.path() + "/huge.mp3";
  std::ofstream(path).close();
  std::error_code ec;
  std::filesystem::resize_file(path, uintmax_t{1} << 31, ec);
  if (ec) GTEST_SKIP() << "cannot make a sparse file: " << ec.message();
  ctx.doc.sourceName = path;
  EXPECT_FALSE(Loadfile(ctx));
  ExpectFailure(kDiskErrorText);
}

TEST_F(AnalysisTest, UnreadableFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  std::string path = dir.File("locked.mp3", Frames(4));
  ::chmod(path.c_str(), 0);
  ctx.doc.sourceName = path;
  EXPECT_FALSE(Loadfile(ctx));
  ExpectFailure(kDiskErrorText);
}

TEST_F(AnalysisTest, ScriptModeLeavesTheTextInTheResult) {
  ctx.script.active = true;
  EXPECT_FALSE(Load(Bytes(255, 0)));
  EXPECT_EQ(ctx.script.resultCode, 201);
  EXPECT_EQ(ctx.script.errorText, "Can't process files smaller than 0.25 KB!");
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(ctx.doc.loaded);

  // A success clears the result code.
  ASSERT_TRUE(Load(Frames(4), "good.mp3"));
  EXPECT_EQ(ctx.script.resultCode, 0);
}

TEST_F(AnalysisTest, SilentScriptAlwaysContinues) {
  ctx.script.active = true;
  ctx.script.silent = true;
  ctx.options.errorPolicy = kErrorFail;
  Bytes file = Frames(4);
  file.insert(file.end(), 5, 0x11);
  Append(file, Frames(4));
  ASSERT_TRUE(Load(file));
  EXPECT_TRUE(host.messages.empty());

  // A script that is not silent follows the policy.
  ctx.script.silent = false;
  EXPECT_FALSE(Load(file, "again.mp3"));
  EXPECT_EQ(ctx.script.resultCode, 201);
  EXPECT_EQ(ctx.script.errorText, "Improper frame size.");
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(AnalysisTest, VbrInformationFrame) {
  Bytes first = Frame(0xFB, 0x90, 0x44);
  std::memcpy(first.data() + 36, "Info", 4);
  Bytes file = first;
  Bytes later = Frame(0xFB, 0xB0, 0x44);  // 192 kbps
  for (int i = 0; i < 5; ++i) Append(file, later);
  ASSERT_TRUE(Load(file));
  EXPECT_EQ(frame(0).spec, 2);
  EXPECT_EQ(frame(1).spec, 0);
  EXPECT_EQ(ctx.doc.editCount, 6) << "the information frame stays in the document";
  EXPECT_EQ(ctx.doc.sourceStats.bitrateSummary, 11);
}

TEST_F(AnalysisTest, BehindHeaderData) {
  Bytes file(30, 0x41);
  Append(file, Frames(4));
  ctx.options.mainFlags &= static_cast<uint8_t>(~kAutoCheckUnknownAndRiff);
  ASSERT_TRUE(Load(file));
  EXPECT_TRUE(source().behindHeaderFound);
  EXPECT_EQ(source().behindHeaderPos, 0);
  EXPECT_EQ(source().behindHeaderLength, 30);
  EXPECT_TRUE(ctx.doc.boxes.behindHeader.enabled);
  EXPECT_FALSE(ctx.doc.boxes.behindHeader.checked);

  ctx.options.mainFlags |= kAutoCheckUnknownAndRiff;
  ASSERT_TRUE(Load(file, "b.mp3"));
  EXPECT_TRUE(ctx.doc.boxes.behindHeader.checked);
}

TEST_F(AnalysisTest, SyncInsideTheId3v1TagIsNoFrame) {
  Bytes file = Frames(4);
  Bytes tag = Id3v1Tag();
  tag[40] = 0xFF;
  tag[41] = 0xFB;
  tag[42] = 0x90;
  tag[43] = 0x44;
  Append(file, tag);
  ASSERT_TRUE(Load(file));
  EXPECT_EQ(ctx.doc.editCount, 4);
  EXPECT_EQ(frame(3).framelen, 417);
  EXPECT_FALSE(source().footerFound);
}

TEST_F(AnalysisTest, SelectAllOnLoad) {
  ctx.options.mainFlags |= kSelectAllOnLoad;
  ASSERT_TRUE(Load(Frames(7)));
  EXPECT_EQ(ctx.doc.cursor, 0);
  EXPECT_EQ(ctx.doc.selectionEnd, 7);
  EXPECT_TRUE(ctx.doc.selectionExists);

  ctx.options.mainFlags &= static_cast<uint8_t>(~kSelectAllOnLoad);
  ASSERT_TRUE(Load(Frames(7), "b.mp3"));
  EXPECT_FALSE(ctx.doc.selectionExists);
  EXPECT_EQ(ctx.doc.selectionEnd, 0);
}

TEST_F(AnalysisTest, RecentFiles) {
  int saves = 0;
  ctx.saveSettings = [&saves](Context&) { ++saves; };
  ctx.options.recentFiles = {"/x/1.mp3", "/x/2.mp3", "", "", ""};
  ASSERT_TRUE(Load(Frames(4), "a.mp3"));
  const std::string a = dir.path() + "/a.mp3";
  EXPECT_EQ(ctx.options.recentFiles, (std::array<std::string, 5>{a, "/x/1.mp3", "/x/2.mp3", "", ""}));
  EXPECT_EQ(saves, 1);

  // Loaded again from a relative name: the same absolute path moves to the top, once.
  ASSERT_TRUE(Load(Frames(4), "b.mp3"));
  std::string cwd = std::filesystem::current_path().string();
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  ctx.doc.sourceName = "a.mp3";
  ASSERT_TRUE(Loadfile(ctx));
  ASSERT_EQ(::chdir(cwd.c_str()), 0);
  EXPECT_EQ(ctx.options.recentFiles[0], a);
  EXPECT_EQ(ctx.options.recentFiles[1], dir.path() + "/b.mp3");
  EXPECT_EQ(ctx.options.recentFiles[2], "/x/1.mp3");

  // The list takes saved files instead: loading leaves it.
  ctx.options.listFlags = kRecentListTakesSaved;
  auto before = ctx.options.recentFiles;
  ASSERT_TRUE(Load(Frames(4), "c.mp3"));
  EXPECT_EQ(ctx.options.recentFiles, before);

  // A failed load leaves it too.
  ctx.options.listFlags = 0;
  EXPECT_FALSE(Load(Bytes(300, 0), "d.mp3"));
  EXPECT_EQ(ctx.options.recentFiles, before);
}

TEST(RecentList, MoveToTop) {
  std::array<std::string, 5> list = {"a", "b", "c", "d", "e"};
  MoveToTopOfRecent(list, "c");
  EXPECT_EQ(list, (std::array<std::string, 5>{"c", "a", "b", "d", "e"}));
  MoveToTopOfRecent(list, "c");
  EXPECT_EQ(list, (std::array<std::string, 5>{"c", "a", "b", "d", "e"}));
  MoveToTopOfRecent(list, "f");
  EXPECT_EQ(list, (std::array<std::string, 5>{"f", "c", "a", "b", "d"}));
  MoveToTopOfRecent(list, "d");
  EXPECT_EQ(list, (std::array<std::string, 5>{"d", "f", "c", "a", "b"}));
}

// Frames that run across the 936,000-byte scan limit and the 1,000,000-byte chunk end.
TEST_F(AnalysisTest, FramesAcrossChunkBoundaries) {
  struct Case {
    const char* name;
    size_t lead;  // zero bytes before the first frame
  };
  const Case cases[] = {
      {"frames from the start", 0},
      {"first frame at the last examined position", 935999},
      {"first frame at the first position of the next chunk", 936000},
      {"first frame in the look-ahead", 990000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = c.lead == 0 ? 2600 : 200;  // the first case spans 1,084,200 bytes
    Bytes file(c.lead, 0);
    Append(file, Frames(n));
    ASSERT_TRUE(Load(file));
    ASSERT_EQ(ctx.doc.editCount, n);
    for (int p = 0; p < n; ++p) {
      ASSERT_EQ(frame(p).framepos, static_cast<int32_t>(c.lead) + 417 * p) << p;
      ASSERT_EQ(frame(p).framelen, 417) << p;
    }
    EXPECT_EQ(source().behindHeaderLength, static_cast<int32_t>(c.lead));
  }
}

TEST_F(AnalysisTest, ProgressAndInterruptions) {
  Bytes file = Frames(300);
  ASSERT_TRUE(Load(file));
  // Progress points at frames 64, 192 (index modulo 128 = 64).
  ASSERT_EQ(host.progress.size(), 2u);
  EXPECT_DOUBLE_EQ(host.progress[0], 64.0 * 417 / file.size());
  EXPECT_DOUBLE_EQ(host.progress[1], 192.0 * 417 / file.size());
  EXPECT_EQ(host.polls, 2);
}

TEST_F(AnalysisTest, EscCancelsQuietly) {
  host.cancelAtPoll = 1;
  EXPECT_FALSE(Load(Frames(300)));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(ctx.doc.loaded);
  EXPECT_EQ(ctx.doc.editCount, 0);
  EXPECT_FALSE(host.busy);
  EXPECT_FALSE(ctx.doc.busy);
  EXPECT_FALSE(ctx.cancelRequest);
  EXPECT_FALSE(host.mainWindowClosed);
  EXPECT_EQ(host.polls, 1);
}

TEST_F(AnalysisTest, CancelRequestSetBeforeTheProgressPoint) {
  // Esc recorded by the window between two polls is honoured at the next one.
  ctx.cancelRequest = true;
  EXPECT_FALSE(Load(Frames(100)));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(ctx.cancelRequest);
}

TEST_F(AnalysisTest, CloseRequestClosesTheWindow) {
  host.closeAtPoll = 1;
  EXPECT_FALSE(Load(Frames(300)));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_TRUE(host.mainWindowClosed);
  EXPECT_FALSE(host.busy);
  EXPECT_FALSE(ctx.doc.busy);
  EXPECT_FALSE(ctx.closeRequest);
  EXPECT_FALSE(ctx.doc.loaded);
}

TEST_F(AnalysisTest, ReloadAnalysesTheSourceAgain) {
  std::string path = dir.File("r.mp3", Frames(4));
  ctx.doc.sourceName = path;
  ASSERT_TRUE(Loadfile(ctx));
  dir.File("r.mp3", Frames(6));
  ReloadbutClick(ctx);
  EXPECT_EQ(ctx.doc.editCount, 6);
  EXPECT_EQ(ctx.script.resultCode, 0);

  // Not ready: only the result code.
  ctx.doc.fadeDialogOpen = true;
  ctx.script.active = true;
  ReloadbutClick(ctx, true);
  EXPECT_EQ(ctx.script.resultCode, 255);
  EXPECT_EQ(ctx.doc.editCount, 6);
  ctx.doc.fadeDialogOpen = false;

  // From the user while a script runs: refused.
  dir.File("r.mp3", Frames(3));
  ctx.script.resultCode = 0;
  ReloadbutClick(ctx, false);
  EXPECT_EQ(ctx.doc.editCount, 6);
  ReloadbutClick(ctx, true);
  EXPECT_EQ(ctx.doc.editCount, 3);
}

TEST_F(AnalysisTest, OpenCommand) {
  std::string path = dir.File("open.mp3", Frames(4));
  ctx.options.lastLoadFolder = dir.path() + "/gone/deeper";
  int saves = 0;
  ctx.saveSettings = [&saves](Context&) { ++saves; };

  host.fileAnswers = {std::nullopt};
  MenuLoadClick(ctx);
  ASSERT_EQ(host.fileRequests.size(), 1u);
  EXPECT_EQ(host.fileRequests[0].title, " CHOOSE THE SOURCE FILE ");
  EXPECT_EQ(host.fileRequests[0].filter, "mp3 files|*.mp3|all files|*.*");
  EXPECT_EQ(host.fileRequests[0].folder, dir.path());
  EXPECT_TRUE(host.fileRequests[0].mustExist);
  EXPECT_FALSE(ctx.doc.loaded);
  EXPECT_EQ(saves, 0);

  host.fileAnswers = {path};
  MenuLoadClick(ctx);
  EXPECT_TRUE(ctx.doc.loaded);
  EXPECT_EQ(ctx.doc.sourceName, path);
  EXPECT_EQ(ctx.options.lastLoadFolder, dir.path());
  EXPECT_GE(saves, 1);

  // Refused while a script runs.
  ctx.script.active = true;
  MenuLoadClick(ctx);
  EXPECT_EQ(host.fileRequests.size(), 2u);
}

TEST_F(AnalysisTest, CloseTagWindowsOnReload) {
  struct CountingHost : HeadlessHost {
    int closed = 0;
    void closeTagWindows() override { ++closed; }
  } counting;
  Context c(counting);
  c.doc.sourceName = dir.File("t.mp3", Frames(4));
  ReloadbutClick(c);
  EXPECT_TRUE(c.doc.loaded);
  EXPECT_GE(counting.closed, 1);
}

// The pieces the insert-file analysis reuses, on their own.
TEST_F(AnalysisTest, ScanAppendsAndDropsALeadingInformationFrame) {
  Bytes info = Frame();
  std::memcpy(info.data() + 36, "Xing", 4);
  Bytes file = info;
  Append(file, Frames(3));
  std::string path = dir.File("insert.mp3", file);

  ctx.doc.frames.assign(5, frametype{});
  InputFile in;
  ASSERT_TRUE(in.open(path));
  ScanBuffer buffer;
  FrameScanRules rules;
  rules.startIndex = 5;
  rules.fromfile = 3;
  rules.dropLeadingVbrFrame = true;
  FrameScanResult scan = ScanFrames(ctx, in, static_cast<int32_t>(file.size()), 0, rules, buffer);
  ASSERT_EQ(scan.outcome, AnalysisOutcome::kOk);
  ASSERT_EQ(scan.count, 3);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(ctx.doc.frames[5 + k].framepos, 417 * (k + 1));
    EXPECT_EQ(ctx.doc.frames[5 + k].fromfile, 3);
    EXPECT_EQ(ctx.doc.frames[5 + k].spec, 0);
  }
  FrameLengthResult lengths = ComputeFrameLengths(ctx, 5, 3, static_cast<int32_t>(file.size()));
  EXPECT_EQ(lengths.outcome, AnalysisOutcome::kOk);
  EXPECT_EQ(ctx.doc.frames[7].framelen, 417);

  // Without the rule the information frame is the first record.
  scan = ScanFrames(ctx, in, static_cast<int32_t>(file.size()), 0, FrameScanRules{}, buffer);
  EXPECT_EQ(scan.count, 4);
  EXPECT_EQ(ctx.doc.frames[0].spec, 1);
}

TEST_F(AnalysisTest, ScanReportsTheRefusedHeader) {
  Bytes file = Frames(2);
  Append(file, Frame(0xFD, 0x90, 0x44, 417));
  std::string path = dir.File("mp2.mp3", file);
  InputFile in;
  ASSERT_TRUE(in.open(path));
  ScanBuffer buffer;
  ctx.options.errorPolicy = kErrorFail;
  FrameScanResult scan = ScanFrames(ctx, in, static_cast<int32_t>(file.size()), 0, FrameScanRules{}, buffer);
  EXPECT_EQ(scan.outcome, AnalysisOutcome::kStop);
  EXPECT_EQ(scan.problem, HeaderProblem::kLayer);
  EXPECT_EQ(scan.stopText, "Seems like mp2, not mp3 file.");
  EXPECT_EQ(scan.count, 2);
}

// Long audio is scanned in two halves at once. What it finds must not depend on
// that: the same records, the same count and the same stop, across chunk
// boundaries, garbage with sync-like bytes, refused headers (which only the
// first walk may report) and free-format frames.
TEST_F(AnalysisTest, TwoHalfScanFindsWhatOneWalkFinds) {
  uint32_t seed = 12345;
  auto garbage = [&seed](size_t n) {
    Bytes g(n);
    for (uint8_t& b : g) {
      seed = seed * 1103515245u + 12345u;
      b = static_cast<uint8_t>(seed >> 16);
      if ((seed >> 8) % 41 == 0) b = 0xFF;  // plenty of candidate headers
    }
    return g;
  };
  auto withGarbage = [&](int frames, size_t junk) {
    // The refused headers lie in the second half.
    Bytes file = Frames(frames);
    Append(file, garbage(junk));
    Append(file, Frames(frames));
    Append(file, Frame(0xF3, 0x90, 0x44, 417));  // MPEG-2: refused
    Append(file, Frames(frames));
    Append(file, Frame(0xFD, 0x90, 0x44, 417));  // Layer II: refused
    Append(file, Frames(frames / 2));
    return file;
  };
  struct Case {
    std::string name;
    Bytes bytes;
    uint8_t policy;
  };
  std::vector<Case> cases = {
      {"plain, crossing chunks", Frames(3000), kErrorTryToContinue},
      {"garbage and refused headers", withGarbage(1500, 70000), kErrorTryToContinue},
      {"stops at a refused header", withGarbage(1500, 0), kErrorFail},
      {"garbage only", garbage(300000), kErrorTryToContinue},
  };
  for (const char* fixture : {"cbr128-info.mp3", "vbr-xing.mp3", "free-format-200k.mp3", "crc.mp3",
                              "unknown-header-footer.mp3", "lyrics3v2-v1.mp3", "mono-44k.mp3"}) {
    std::string dirName = std::getenv("QUORVEL_TEST_DATA") ? std::getenv("QUORVEL_TEST_DATA") : "tests/data";
    std::ifstream in(dirName + "/" + fixture, std::ios::binary);
    cases.push_back({fixture, Bytes(std::istreambuf_iterator<char>(in), {}), kErrorTryToContinue});
    ASSERT_FALSE(cases.back().bytes.empty()) << fixture;
  }
  auto fields = [](const frametype& f) {
    return std::make_tuple(f.freqb, f.stereo, f.kbps, f.amplify0, f.spec, f.fromfile, f.framepos, f.estimatedlen,
                           f.amplify1);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File("halves.mp3", c.bytes);
    InputFile in;
    ASSERT_TRUE(in.open(path));
    ctx.options.errorPolicy = c.policy;
    ScanBuffer buffer;
    FrameScanRules rules;
    rules.splitFrom = -1;
    ctx.doc.frames.clear();
    FrameScanResult one = ScanFrames(ctx, in, static_cast<int32_t>(c.bytes.size()), 0, rules, buffer);
    std::vector<frametype> walked(ctx.doc.frames.begin(), ctx.doc.frames.begin() + one.count);
    rules.splitFrom = 0;
    ctx.doc.frames.clear();
    FrameScanResult two = ScanFrames(ctx, in, static_cast<int32_t>(c.bytes.size()), 0, rules, buffer);
    EXPECT_EQ(two.outcome, one.outcome);
    EXPECT_EQ(two.stopText, one.stopText);
    ASSERT_EQ(two.count, one.count);
    for (int32_t k = 0; k < one.count; ++k) {
      ASSERT_EQ(fields(ctx.doc.frames[static_cast<size_t>(k)]), fields(walked[static_cast<size_t>(k)])) << "record " << k;
    }
  }
}

// Esc during a two-half scan ends it, whether it comes while the first walk
// runs (poll 1 and 12 of 3000 frames) or when the second half's frames have
// just been taken (poll 13).
TEST_F(AnalysisTest, TwoHalfScanCanBeCancelled) {
  Bytes file = Frames(3000);
  std::string path = dir.File("cancel.mp3", file);
  InputFile in;
  ASSERT_TRUE(in.open(path));
  struct Case {
    int poll;
    int32_t mostRecords;
  };
  for (Case c : {Case{1, 64}, Case{12, 1500}, Case{13, 3000}}) {
    SCOPED_TRACE(c.poll);
    host.cancelAtPoll = c.poll;
    host.polls = 0;
    ScanBuffer buffer;
    FrameScanRules rules;
    rules.splitFrom = 0;
    FrameScanResult scan = ScanFrames(ctx, in, static_cast<int32_t>(file.size()), 0, rules, buffer);
    EXPECT_EQ(scan.outcome, AnalysisOutcome::kCancelled);
    EXPECT_LE(scan.count, c.mostRecords);
    EXPECT_FALSE(ctx.cancelRequest);
  }
}

TEST_F(AnalysisTest, LeadingHeadersOfAnInsertedFile) {
  // The inserted file's tag is skipped by its size alone: no version check, no footer.
  Bytes file = Id3v2Header(255, 0, 0x10, 100);
  file.resize(110, 0);
  Append(file, Frames(2));
  std::string path = dir.File("ins.mp3", file);
  InputFile in;
  ASSERT_TRUE(in.open(path));
  LeadingHeaders lead = ReadLeadingHeaders(ctx, in, static_cast<int32_t>(file.size()), LeadingHeaderRules{false});
  EXPECT_EQ(lead.outcome, AnalysisOutcome::kOk);
  EXPECT_EQ(lead.audioStart, 110);
  lead = ReadLeadingHeaders(ctx, in, static_cast<int32_t>(file.size()), LeadingHeaderRules{true});
  EXPECT_EQ(lead.audioStart, 0);
  EXPECT_FALSE(lead.id3v2Found);
}

TEST_F(AnalysisTest, ProbesOnTheirOwn) {
  Bytes file = Frames(2);
  Append(file, std::string("LYRICSBEGINabcLYRICSEND"));
  Append(file, Id3v1Tag());
  std::string path = dir.File("probe.mp3", file);
  InputFile in;
  ASSERT_TRUE(in.open(path));
  const auto size = static_cast<int32_t>(file.size());
  LyricsProbe lyrics = ProbeLyrics3(in, size);
  Id3v1Probe id3v1 = ProbeId3v1(in, size);
  EXPECT_TRUE(lyrics.found);
  EXPECT_EQ(lyrics.version, 1);
  EXPECT_EQ(lyrics.pos, 834);
  EXPECT_EQ(lyrics.length, 23);
  EXPECT_TRUE(id3v1.found);
  EXPECT_EQ(id3v1.pos, size - 128);
  EXPECT_EQ(AudioEnd(size, id3v1, lyrics), 834);
}

// Real files made by lame and ffmpeg (tests/data).
class AnalysisFixtures : public ::testing::Test {
 protected:
  HeadlessHost host;
  Context ctx{host};

  // Loads a fixture; a missing fixture or test-data folder fails the test (and gives false).
  bool LoadFixture(const char* name) {
    const char* data = std::getenv("QUORVEL_TEST_DATA");
    if (!data) {
      ADD_FAILURE() << "QUORVEL_TEST_DATA is not set";
      return false;
    }
    std::string path = std::string(data) + "/" + name;
    if (!std::filesystem::exists(path)) {
      ADD_FAILURE() << "missing fixture " << path;
      return false;
    }
    ctx.doc.sourceName = path;
    Loadfile(ctx);
    return true;
  }

  // The frame count that the encoder wrote into the Xing/Info frame (flag 1),
  // which does not count that frame itself; -1 when there is none.
  int64_t EncoderFrameCount() {
    std::ifstream in(ctx.doc.sourceName, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t start = static_cast<size_t>(ctx.doc.frames.at(0).framepos);
    for (size_t at = start; at + 12 <= bytes.size() && at < start + 80; ++at) {
      if (std::memcmp(&bytes[at], "Xing", 4) == 0 || std::memcmp(&bytes[at], "Info", 4) == 0) {
        auto u = [&](size_t k) { return static_cast<uint8_t>(bytes[k]); };
        uint32_t flags = (u(at + 4) << 24) | (u(at + 5) << 16) | (u(at + 6) << 8) | u(at + 7);
        if (!(flags & 1)) return -1;
        return (int64_t{u(at + 8)} << 24) | (u(at + 9) << 16) | (u(at + 10) << 8) | u(at + 11);
      }
    }
    return -1;
  }
};

TEST_F(AnalysisFixtures, FrameCountsAgreeWithTheEncoder) {
  const char* files[] = {"cbr128-info.mp3", "vbr-xing.mp3", "mono-44k.mp3", "48k.mp3",
                         "32k.mp3",         "crc.mp3",      "tagged-v23-v1.mp3"};
  int checked = 0;
  for (const char* name : files) {
    SCOPED_TRACE(name);
    host.messages.clear();
    ASSERT_TRUE(LoadFixture(name));
    ASSERT_TRUE(ctx.doc.loaded) << (host.messages.empty() ? "" : host.messages.back().text);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_NE(ctx.doc.frames[0].spec, 0);
    int64_t encoded = EncoderFrameCount();
    ASSERT_GT(encoded, 0);
    EXPECT_EQ(ctx.doc.frameTableCount, encoded + 1);
    EXPECT_FALSE(ctx.doc.source.footerFound);
    EXPECT_FALSE(ctx.doc.source.behindHeaderFound);
    ++checked;
  }
  EXPECT_EQ(checked, 7);
}

TEST_F(AnalysisFixtures, BlocksAroundTheAudio) {
  {
    SCOPED_TRACE("tagged-v23-v1.mp3");
    host.messages.clear();
    ASSERT_TRUE(LoadFixture("tagged-v23-v1.mp3"));
    ASSERT_TRUE(ctx.doc.loaded);
    EXPECT_TRUE(ctx.doc.id3v2.present);
    EXPECT_EQ(ctx.doc.id3v2.tagsize, 348u);
    EXPECT_EQ(ctx.doc.source.audioStart, 348);
    EXPECT_TRUE(ctx.doc.source.id3v1Found);
    EXPECT_EQ(ctx.doc.source.id3v1Length, 128);
    EXPECT_EQ(ctx.doc.frameTableCount, 60);
  }
  {
    SCOPED_TRACE("lyrics3v2-v1.mp3");
    host.messages.clear();
    ASSERT_TRUE(LoadFixture("lyrics3v2-v1.mp3"));
    ASSERT_TRUE(ctx.doc.loaded);
    EXPECT_EQ(ctx.doc.frameTableCount, 59);
    EXPECT_TRUE(ctx.doc.source.lyricsFound);
    EXPECT_EQ(ctx.doc.source.lyricsVersion, 2);
    EXPECT_EQ(ctx.doc.source.lyricsPos, 18495);
    EXPECT_EQ(ctx.doc.source.lyricsLength, 116);
    EXPECT_EQ(ctx.doc.source.audioEnd, 18495);
    EXPECT_TRUE(ctx.doc.source.id3v1Found);
    EXPECT_FALSE(ctx.doc.source.footerFound);
  }
  {
    SCOPED_TRACE("unknown-header-footer.mp3");
    host.messages.clear();
    ASSERT_TRUE(LoadFixture("unknown-header-footer.mp3"));
    ASSERT_TRUE(ctx.doc.loaded);
    EXPECT_EQ(ctx.doc.frameTableCount, 59);
    EXPECT_TRUE(ctx.doc.source.behindHeaderFound);
    EXPECT_EQ(ctx.doc.source.behindHeaderLength, 120);
    EXPECT_TRUE(ctx.doc.source.footerFound);
    EXPECT_EQ(ctx.doc.source.footerLength, 200);
  }
  {
    SCOPED_TRACE("riff-wrapped.wav");
    host.messages.clear();
    ASSERT_TRUE(LoadFixture("riff-wrapped.wav"));
    ASSERT_TRUE(ctx.doc.loaded);
    EXPECT_EQ(ctx.doc.frameTableCount, 59);
    EXPECT_TRUE(ctx.doc.source.riffFound);
    EXPECT_EQ(ctx.doc.source.riffLength, 70);
    EXPECT_EQ(ctx.doc.source.audioStart, 70);
  }
  {
    SCOPED_TRACE("mpeg2-22k.mp3");
    host.messages.clear();
    ASSERT_TRUE(LoadFixture("mpeg2-22k.mp3"));
    EXPECT_TRUE(ctx.doc.loaded);
    EXPECT_EQ(ctx.doc.version, kVersionMpeg2);
    EXPECT_TRUE(host.messages.empty());
  }
}

// MPEG-2 and MPEG-2.5 Layer III files load under every error policy: every
// frame is taken, of the file's version, and the frames run from the first to
// the end of the audio without gaps, unknown data or leftovers.
TEST_F(AnalysisTest, MpegTwoAndTwoPointFiveFilesLoadWhole) {
  const char* data = std::getenv("QUORVEL_TEST_DATA");
  ASSERT_NE(data, nullptr) << "QUORVEL_TEST_DATA is not set";
  struct Fixture {
    const char* name;
    uint8_t version;
    const char* infoStart;  // the information line up to the duration
    int vbrMarker;          // of the first frame: 0 none, 1 "Xing", 2 "Info"
  };
  const Fixture fixtures[] = {
      {"mpeg2-22k.mp3", kVersionMpeg2, "22.05 KHz, JOINT STEREO, 32 kbps, ", 0},
      {"mpeg2-22k-64k.mp3", kVersionMpeg2, "22.05 KHz, JOINT STEREO, 64 kbps, ", 2},
      {"mpeg2-16k-mono.mp3", kVersionMpeg2, "16 KHz, MONO, 32 kbps, ", 0},
      {"mpeg2-24k-vbr.mp3", kVersionMpeg2, "24 KHz, JOINT STEREO, var.kbps, ", 1},
      {"mpeg2-22k-crc.mp3", kVersionMpeg2, "22.05 KHz, JOINT STEREO, 64 kbps, ", 2},
      {"mpeg2-16k-vbr.mp3", kVersionMpeg2, "16 KHz, JOINT STEREO, var.kbps, ", 1},
      {"mpeg2-22k-mono-info.mp3", kVersionMpeg2, "22.05 KHz, MONO, 64 kbps, ", 2},
      {"mpeg25-11k.mp3", kVersionMpeg25, "11.025 KHz, JOINT STEREO, 24 kbps, ", 0},
      {"mpeg25-12k-mono-info.mp3", kVersionMpeg25, "12 KHz, MONO, 32 kbps, ", 2},
      {"mpeg25-8k-vbr.mp3", kVersionMpeg25, "8 KHz, STEREO, var.kbps, ", 1},
  };
  for (const Fixture& f : fixtures) {
    for (uint8_t policy : {kErrorFail, kErrorPrompt, kErrorTryToContinue}) {
      SCOPED_TRACE(::testing::Message() << f.name << ", policy " << int{policy});
      host.messages.clear();
      host.answers.clear();
      host.defaultAnswer = kAnswerNo;  // Prompt: a question would stop the load
      ctx.options.errorPolicy = policy;
      ctx.doc.sourceName = std::string(data) + "/" + f.name;
      ASSERT_TRUE(Loadfile(ctx));
      EXPECT_TRUE(host.messages.empty());
      const DocumentState& doc = ctx.doc;
      EXPECT_EQ(doc.version, f.version);
      EXPECT_EQ(InfoLine(doc.sourceStats).rfind(f.infoStart, 0), 0u) << InfoLine(doc.sourceStats);
      EXPECT_EQ(doc.frames[0].spec, f.vbrMarker);
      EXPECT_FALSE(doc.source.behindHeaderFound);
      EXPECT_FALSE(doc.source.footerFound);
      int64_t at = doc.frames[0].framepos;
      for (int32_t k = 0; k < doc.frameTableCount; ++k) {
        const frametype& r = doc.frames[static_cast<size_t>(k)];
        ASSERT_EQ(r.version, f.version) << k;
        ASSERT_EQ(r.framepos, at) << k;
        ASSERT_EQ(r.framelen, r.estimatedlen) << k;
        at += r.framelen;
      }
      EXPECT_EQ(at, doc.source.audioEnd);
    }
  }
}

// MPEG-2 frames of 80 kbps at 22.05 kHz (261 bytes), MPEG-2.5 frames of 80 kbps
// at 11.025 kHz (522 bytes).
Bytes Mpeg2Frames(int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) Append(out, Frame(0xF3, 0x90, 0x44, 261));
  return out;
}
Bytes Mpeg25Frames(int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) Append(out, Frame(0xE3, 0x90, 0x44, 522));
  return out;
}

// Audio that switches between MPEG-1 and the lower-frequency versions is
// refused under every policy and in a silent script, with the versions named; a few chained headers of another
// version are no audio and stay in the data around the frames.
TEST_F(AnalysisTest, FilesOfMixedVersionsAreRefused) {
  struct Case {
    const char* name;
    Bytes file;
    const char* text;
  };
  Bytes mpeg1Then2 = Frames(6);
  Append(mpeg1Then2, Mpeg2Frames(6));
  Bytes mpeg2Then1 = Mpeg2Frames(10);
  Append(mpeg2Then1, Frames(4));
  Bytes mpeg1Then25 = Frames(5);
  Append(mpeg1Then25, Mpeg25Frames(5));
  const Case cases[] = {
      {"MPEG-1 then MPEG-2", mpeg1Then2,
       "The file mixes MPEG-1 and MPEG-2 frames.\r\nFiles of more than one mpeg version are not supported."},
      {"MPEG-2 then MPEG-1", mpeg2Then1,
       "The file mixes MPEG-1 and MPEG-2 frames.\r\nFiles of more than one mpeg version are not supported."},
      {"MPEG-1 then MPEG-2.5", mpeg1Then25,
       "The file mixes MPEG-1 and MPEG-2.5 frames.\r\nFiles of more than one mpeg version are not supported."},
  };
  for (const Case& c : cases) {
    for (uint8_t policy : {kErrorFail, kErrorPrompt, kErrorTryToContinue}) {
      SCOPED_TRACE(::testing::Message() << c.name << ", policy " << int{policy});
      host.messages.clear();
      host.defaultAnswer = kAnswerYes;
      ctx.options.errorPolicy = policy;
      EXPECT_FALSE(Load(c.file));
      ExpectFailure(c.text);
    }
    ctx.script.active = true;
    ctx.script.silent = true;
    EXPECT_FALSE(Load(c.file));
    EXPECT_EQ(ctx.script.resultCode, 201);
    EXPECT_EQ(ctx.script.errorText, c.text);
    ctx.script.active = false;
    ctx.script.silent = false;
  }

  // MPEG-2 and MPEG-2.5 frames share their layout: one file may hold both,
  // as an MPEG-1 file may hold frames of several frequencies.
  ctx.options.errorPolicy = kErrorFail;
  Bytes mpeg25Then2 = Mpeg25Frames(5);
  Append(mpeg25Then2, Mpeg2Frames(3));
  host.messages.clear();
  ASSERT_TRUE(Load(mpeg25Then2));
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(ctx.doc.version, kVersionMpeg25);
  EXPECT_EQ(ctx.doc.frameTableCount, 8);
  EXPECT_EQ(FrequencyStatText(ctx.doc.sourceStats.freqCount, ctx.doc.sourceStats.version), "mixed freq");
  // 576 samples at 11025 Hz, then at 22050 Hz.
  EXPECT_NEAR(TimeAtFrame(ctx.doc, 5), 5 * 576 / 11025.0, 1e-12);
  EXPECT_NEAR(TimeAtFrame(ctx.doc, 8), 5 * 576 / 11025.0 + 3 * 576 / 22050.0, 1e-12);
  EXPECT_EQ(FrameAtTime(ctx.doc, 5 * 576 / 11025.0 + 2 * 576 / 22050.0), 7);

  // Two MPEG-1 frames ahead of MPEG-2 audio: unknown data before the first frame.
  Bytes lead = Frames(2);
  Append(lead, Mpeg2Frames(10));
  ASSERT_TRUE(Load(lead));
  EXPECT_EQ(ctx.doc.version, kVersionMpeg2);
  EXPECT_EQ(ctx.doc.frameTableCount, 10);
  EXPECT_TRUE(source().behindHeaderFound);
  EXPECT_EQ(source().behindHeaderLength, 2 * 417);
}

// The second scan for the file's one version asks nothing that the first
// asked already: a refused header in junk is one question, and the junk inside
// the frame before it another.
TEST_F(AnalysisTest, SecondScanForOneVersionAsksNoQuestionTwice) {
  Bytes file = Frames(2);  // MPEG-1 headers by chance ahead of MPEG-2 audio
  Append(file, Mpeg2Frames(5));
  Bytes junk(100, 0x11);
  const Bytes bad = Frame(0xF3, 0xF0, 0x44, 4);  // bitrate index 15
  std::copy(bad.begin(), bad.end(), junk.begin() + 10);
  Append(file, junk);
  Append(file, Mpeg2Frames(5));
  ctx.options.errorPolicy = kErrorPrompt;
  host.defaultAnswer = kAnswerYes;
  ASSERT_TRUE(Load(file));
  EXPECT_EQ(ctx.doc.version, kVersionMpeg2);
  EXPECT_EQ(ctx.doc.frameTableCount, 10);
  EXPECT_EQ(source().behindHeaderLength, 2 * 417);
  EXPECT_EQ(Questions(), (std::vector<std::string>{
                             "Invalid bitrate detected." + kFramePrompt,
                             "Improper frame size at position " + ThousandsText(834 + 4 * 261) + " to " +
                                 ThousandsText(834 + 5 * 261 + 100) + "." + kFramePrompt}));
}

// An MPEG-2.5 file cut in the middle of its last frame: the existing rule for
// an incomplete last frame (a question, a refusal under Fail).
TEST_F(AnalysisTest, MpegTwoPointFiveFileCutInAFrame) {
  const char* data = std::getenv("QUORVEL_TEST_DATA");
  ASSERT_NE(data, nullptr) << "QUORVEL_TEST_DATA is not set";
  std::ifstream in(std::string(data) + "/mpeg25-11k.mp3", std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 1000u);
  bytes.resize(bytes.size() - 40);  // frames of 24 kbps at 11.025 kHz are 156 or 157 bytes
  ctx.options.errorPolicy = kErrorFail;
  EXPECT_FALSE(Load(bytes));
  ExpectFailure("Improper frame size.");
  ctx.options.errorPolicy = kErrorTryToContinue;
  host.messages.clear();
  ASSERT_TRUE(Load(bytes));
  EXPECT_EQ(ctx.doc.version, kVersionMpeg25);
  const frametype& last = frame(ctx.doc.frameTableCount - 1);
  EXPECT_EQ(last.framelen, last.estimatedlen - 40);
  EXPECT_EQ(int64_t{last.framepos} + last.framelen, static_cast<int64_t>(bytes.size()));
}

// A header found by chance in junk between frames chains with neither
// neighbour: it is no frame, and the junk stays inside the frame before it.
TEST_F(AnalysisTest, ChanceHeaderInJunkIsNoFrame) {
  ctx.options.errorPolicy = kErrorTryToContinue;
  Bytes junk(600, 0x11);
  const Bytes header = Frame();
  std::copy(header.begin(), header.begin() + 4, junk.begin() + 100);
  Bytes file = Frames(4);
  Append(file, junk);
  Append(file, Frames(4));
  ASSERT_TRUE(Load(file));
  EXPECT_EQ(ctx.doc.frameTableCount, 8);
  EXPECT_EQ(frame(3).framelen, 417 + 600);
  EXPECT_EQ(frame(4).framepos, 4 * 417 + 600);
  // The chance header's supposed length reaches over the next real frame:
  // the scan goes on from the byte after it, and finds that frame.
  Bytes shortJunk(300, 0x11);
  std::copy(header.begin(), header.begin() + 4, shortJunk.begin() + 100);
  file = Frames(4);
  Append(file, shortJunk);
  Append(file, Frames(4));
  ASSERT_TRUE(Load(file));
  EXPECT_EQ(ctx.doc.frameTableCount, 8);
  EXPECT_EQ(frame(3).framelen, 417 + 300);
  EXPECT_EQ(frame(4).framepos, 4 * 417 + 300);
  EXPECT_EQ(frame(5).framepos, 5 * 417 + 300);
  // Headers that follow each other where their frames end are frames, even
  // inside junk.
  Bytes chained(100, 0x11);
  Append(chained, Frames(2));
  Append(chained, Bytes(100, 0x11));
  file = Frames(4);
  Append(file, chained);
  Append(file, Frames(4));
  ASSERT_TRUE(Load(file));
  EXPECT_EQ(ctx.doc.frameTableCount, 10);
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

TEST(LoadfileWithPath, RecordsThePathWhetherOrNotTheLoadWorks) {
  const char* data = std::getenv("QUORVEL_TEST_DATA");
  const std::string folder = data ? data : "tests/data";
  HeadlessHost host;
  Context ctx(host);
  ctx.script.active = true;  // failures leave a result code instead of a message
  const std::string good = folder + "/tagged-v23-v1.mp3";
  ASSERT_TRUE(Loadfile(ctx, good));
  EXPECT_TRUE(ctx.doc.loaded);
  EXPECT_EQ(ctx.doc.sourceName, good);
  EXPECT_EQ(ctx.options.recentFiles[0], AbsoluteNormalPath(good));
  const std::string missing = folder + "/no-such-file.mp3";
  EXPECT_FALSE(Loadfile(ctx, missing));
  EXPECT_FALSE(ctx.doc.loaded);
  EXPECT_EQ(ctx.doc.sourceName, missing);
  EXPECT_EQ(ctx.options.recentFiles[0], AbsoluteNormalPath(good));
}

// The ID3v1 editor's "Reload tag" and closing, over a loaded document.
TEST_F(AnalysisTest, Id3v1EditorReloadAndClose) {
  Bytes file = Frames(4);
  Append(file, Id3v1Tag());
  ASSERT_TRUE(Load(file, "tagged.mp3"));
  const Id3v1State asLoaded = ctx.doc.id3v1;
  EXPECT_FALSE(TagEditorRefused(ctx));
  ctx.doc.id3v1.record.bytes[0] = 'X';
  EXPECT_TRUE(ReloadId3v1Record(ctx));
  EXPECT_EQ(ctx.doc.id3v1.record.bytes, asLoaded.record.bytes);
  EXPECT_TRUE(host.messages.empty());

  // Closing with an empty record disables and unchecks the box; with a record it is enabled.
  ctx.doc.boxes.id3v1.checked = true;
  Id3v1EditorClosed(ctx, false);
  EXPECT_FALSE(ctx.doc.boxes.id3v1.enabled);
  EXPECT_FALSE(ctx.doc.boxes.id3v1.checked);
  Id3v1EditorClosed(ctx, true);
  EXPECT_TRUE(ctx.doc.boxes.id3v1.enabled);

  // A source rewritten since it was loaded gives no record, only the warning.
  Bytes other = Frames(5);
  Append(other, Id3v1Tag());
  dir.File("tagged.mp3", other);
  ctx.doc.id3v1.record.bytes[0] = 'X';
  EXPECT_TRUE(ReloadId3v1Record(ctx));
  EXPECT_TRUE(IsId3v1Empty(ctx.doc.id3v1.record));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Disk error reading id3v1 tag.");

  ctx.script.active = true;
  EXPECT_TRUE(TagEditorRefused(ctx));
}

// The ID3v2 editor's "Reload tag", the load of an added field, and closing.
TEST(Id3v2EditorHooks, ReloadLoadAndClose) {
  const char* data = std::getenv("QUORVEL_TEST_DATA");
  const std::string folder = data ? data : "tests/data";
  const std::filesystem::path scratch = std::filesystem::temp_directory_path() /
                                        ("quorvel-v2hooks-" + std::to_string(getpid()));
  std::filesystem::create_directories(scratch);
  const std::string source = (scratch / "tagged.mp3").string();
  std::filesystem::copy_file(folder + "/tagged-v23-v1.mp3", source,
                             std::filesystem::copy_options::overwrite_existing);
  HeadlessHost host;
  Context ctx(host);
  ASSERT_TRUE(Loadfile(ctx, source));
  Id3v2TagState& tag = ctx.doc.id3v2;
  const Id3v2TagState asLoaded = tag;
  ASSERT_FALSE(tag.fields.empty());
  EXPECT_FALSE(TagEditorRefused(ctx));

  // Edits of every kind go; the source's version, flags and fields come back.
  tag.fields[0].tansi = "changed";
  tag.fields[0].akcija = kFieldEdited;
  AddId3v2Field(tag, 44);
  tag.tagversion = {4, 0};
  tag.unsync = tag.footer = tag.experimental = true;
  tag.dropErroneous = true;
  EXPECT_TRUE(ReloadId3v2Tag(ctx));
  EXPECT_TRUE(host.messages.empty());
  ASSERT_EQ(tag.fields.size(), asLoaded.fields.size());
  for (size_t i = 0; i < tag.fields.size(); ++i) {
    EXPECT_EQ(tag.fields[i].tansi, asLoaded.fields[i].tansi);
    EXPECT_EQ(tag.fields[i].akcija, asLoaded.fields[i].akcija);
  }
  EXPECT_EQ(tag.textlist, asLoaded.textlist);
  EXPECT_EQ(tag.tagversion.major, 3);
  EXPECT_EQ(tag.padding, asLoaded.padding);
  EXPECT_FALSE(tag.unsync || tag.footer || tag.experimental || tag.dropErroneous);

  // A text field from a text file: the dialog's answer decides; Esc keeps the field.
  const std::string text = (scratch / "lyrics.txt").string();
  std::ofstream(text, std::ios::binary) << "Title line\r\n\xC5\x81\xC3\xB3" "d\xC5\xBA";
  const uint32_t comment = AddId3v2Field(tag, 4);
  tag.fields[comment].tansi = "kept";
  host.fileAnswers.push_back(text);
  EXPECT_FALSE(LoadId3v2TextFieldFromFile(ctx, comment, [](const TextLoadDialogSetup&) {
    return std::optional<TextLoadDialogAnswer>();
  }));
  EXPECT_EQ(tag.fields[comment].tansi, "kept");
  EXPECT_EQ(host.fileRequests.back().title, "Choose the source text file");
  host.fileAnswers.push_back(text);
  bool described = false;
  EXPECT_TRUE(LoadId3v2TextFieldFromFile(ctx, comment, [&](const TextLoadDialogSetup& setup) {
    described = setup.descriptionEnabled && setup.languageEnabled && setup.encodingEnabled;
    TextLoadDialogAnswer answer;
    answer.descriptionChoice = kDescriptionFirstLine;
    answer.language = "POL";
    return std::optional<TextLoadDialogAnswer>(answer);
  }));
  EXPECT_TRUE(described);
  EXPECT_EQ(tag.fields[comment].tcont, "Title line");
  EXPECT_EQ(tag.fields[comment].tansi, "\xC5\x81\xC3\xB3" "d\xC5\xBA");
  EXPECT_EQ(tag.fields[comment].tlan, "pol");
  EXPECT_EQ(tag.fields[comment].enc, kEncUtf16Bom);
  EXPECT_EQ(ctx.options.tagLoadTextFolder, scratch.string());

  // OK with no field left disables and unchecks the box; Cancel leaves it.
  ctx.doc.boxes.id3v2.checked = true;
  Id3v2EditorClosed(ctx, false, false);
  EXPECT_TRUE(ctx.doc.boxes.id3v2.enabled);
  EXPECT_TRUE(ctx.doc.boxes.id3v2.checked);
  Id3v2EditorClosed(ctx, true, false);
  EXPECT_FALSE(ctx.doc.boxes.id3v2.enabled);
  EXPECT_FALSE(ctx.doc.boxes.id3v2.checked);
  Id3v2EditorClosed(ctx, true, true);
  EXPECT_TRUE(ctx.doc.boxes.id3v2.enabled);

  // A source rewritten since it was loaded: no fields, and the disk message.
  std::filesystem::remove(source);
  std::filesystem::copy_file(folder + "/tagged-v23-v1.mp3", source);
  std::ofstream(source, std::ios::app) << "more";
  EXPECT_FALSE(ReloadId3v2Tag(ctx));
  EXPECT_TRUE(tag.fields.empty());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text,
            "Disk read error. Perhaps the source file was either\r\nmoved, modified, renamed or deleted in the "
            "meantime?");
  std::filesystem::remove_all(scratch);
}

}  // namespace
}  // namespace quorvel
