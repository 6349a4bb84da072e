// The writer's output byte by byte: kept and removed blocks in their order,
// information frames, the Xing frame, blank frames, gain patches, runs of
// frames that are not consecutive in their file, and every failure ending.

#include "output/writer.h"

#include <algorithm>

#include "common/layer3_layout.h"
#include "core/document_ops.h"
#include "core/gain.h"
#include "core/messages.h"
#include "output/xing.h"
#include "tags/bytes.h"
#include "writer_fixture.h"

namespace quorvel {
namespace {

using namespace writer_test;
using Bytes = std::vector<uint8_t>;

Bytes Slice(const Bytes& b, size_t from, size_t to) { return Bytes(b.begin() + from, b.begin() + to); }
Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The bytes a frame-by-frame copy of the positions gives, without gain changes.
Bytes FramesOf(const DocumentState& doc, const Bytes& source, int32_t first, int32_t end) {
  Bytes out;
  for (int32_t p = first; p < end; ++p) {
    const frametype& f = doc.frames[static_cast<size_t>(doc.ref[static_cast<size_t>(p)])];
    if (p == 0 && f.spec != 0) continue;
    out.insert(out.end(), source.begin() + f.framepos, source.begin() + f.framepos + f.framelen);
  }
  return out;
}

struct WriterTest : ::testing::Test {
  TempFolder folder;
  Session s{folder};
  fs::path out = folder / "out.mp3";

  Bytes load(const char* name) {
    fs::path copy = folder / name;
    fs::copy_file(DataPath(name), copy);
    EXPECT_TRUE(s.load(copy));
    return ReadAll(copy);
  }
  WriteResult write(int purpose = kWriteSaveAs, int32_t first = 0, int32_t end = 0) {
    return WriteOutputFile(s.ctx, out.string(), purpose, first, end);
  }
};

// Files whose first frame is audio are written back unchanged, blocks and all.
TEST_F(WriterTest, UnchangedSaveOfFilesWithoutInformationFrameIsByteIdentical) {
  for (const char* name : {"cbr96-no-info.mp3", "lyrics3v2-v1.mp3", "unknown-header-footer.mp3", "riff-wrapped.wav"}) {
    SCOPED_TRACE(name);
    Bytes source = load(name);
    ASSERT_TRUE(write().succeeded());
    EXPECT_TRUE(ReadAll(out) == source);
    EXPECT_TRUE(s.host.messages.empty());
  }
}

struct RemoveCase {
  const char* file;
  RemoveBox RemoveBoxes::*box;
  size_t cutFrom;  // the removed range of the source; a negative end counts from the end
  long cutTo;
};

// Each checked box drops exactly its block.
TEST_F(WriterTest, CheckedBoxesDropTheirBlocks) {
  const RemoveCase cases[] = {
      {"unknown-header-footer.mp3", &RemoveBoxes::behindHeader, 0, 120},
      {"unknown-header-footer.mp3", &RemoveBoxes::footer, 18615, 18815},
      {"lyrics3v2-v1.mp3", &RemoveBoxes::lyrics, 18495, 18611},
      {"lyrics3v2-v1.mp3", &RemoveBoxes::id3v1, 18611, 18739},
      {"riff-wrapped.wav", &RemoveBoxes::riff, 0, 70},
  };
  for (const RemoveCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << " cut " << c.cutFrom);
    fs::remove(folder / c.file);
    Bytes source = load(c.file);
    ASSERT_TRUE((s.ctx.doc.boxes.*c.box).enabled);
    (s.ctx.doc.boxes.*c.box).checked = true;
    ASSERT_TRUE(write().succeeded());
    Bytes expected = Join({Slice(source, 0, c.cutFrom), Slice(source, static_cast<size_t>(c.cutTo), source.size())});
    EXPECT_TRUE(ReadAll(out) == expected);
  }
}

// Preview files carry Lyrics3 and ID3v1 but no ID3v2 tag, RIFF header or unknown data.
TEST_F(WriterTest, PreviewPurposesKeepOnlyTheTrailingTags) {
  for (int purpose : {kWritePreview, kWritePreviewAlt}) {
    for (const char* name : {"tagged-v23-v1.mp3", "unknown-header-footer.mp3", "lyrics3v2-v1.mp3", "riff-wrapped.wav"}) {
      // LAME's Info frame with its extension is written again, unchanged.
      const bool lameInfo = std::string(name) == "tagged-v23-v1.mp3";
      SCOPED_TRACE(testing::Message() << name << " purpose " << purpose);
      fs::remove(folder / name);
      Bytes source = load(name);
      const DocumentState& doc = s.ctx.doc;
      ASSERT_TRUE(write(purpose).succeeded());
      Bytes expected = FramesOf(doc, source, 0, doc.editCount);
      Bytes got = ReadAll(out);
      if (lameInfo) {
        // An Info frame as long as the source's (the stream's bitrate) in front.
        const size_t infoLength = static_cast<size_t>(doc.frames[0].framelen);
        ASSERT_GT(got.size(), infoLength);
        EXPECT_EQ(std::string(got.begin() + 36, got.begin() + 40), "Info");
        got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(infoLength));
      }
      if (doc.source.lyricsFound)
        expected = Join({expected, Slice(source, static_cast<size_t>(doc.source.lyricsPos),
                                         static_cast<size_t>(doc.source.lyricsPos + doc.source.lyricsLength))});
      if (doc.boxes.id3v1.enabled) expected = Join({expected, Slice(source, source.size() - 128, source.size())});
      EXPECT_TRUE(got == expected);
    }
  }
}

// A tagged file: the rebuilt ID3v2 tag first, then LAME's Info frame as it
// was (its extension kept) and the frames, then the ID3v1 tag; all of the
// tag's fields removed leaves no ID3v2 bytes.
TEST_F(WriterTest, TaggedFileGetsItsTagsAroundTheFramesAndItsLameInformationFrame) {
  Bytes source = load("tagged-v23-v1.mp3");
  const DocumentState& doc = s.ctx.doc;
  ASSERT_EQ(doc.frames[0].spec, 2);
  WriteResult r = write();
  ASSERT_TRUE(r.succeeded());
  EXPECT_TRUE(r.tagWritten);
  EXPECT_TRUE(r.xingWritten);
  Bytes got = ReadAll(out);
  // LAME's Info frame, rebuilt as long as the source's (the stream's bitrate).
  const size_t infoLength = static_cast<size_t>(doc.frames[0].framelen);
  Bytes frames = FramesOf(doc, source, 0, doc.editCount);
  ASSERT_GT(got.size(), frames.size() + 128 + 10);
  EXPECT_EQ(Slice(got, 0, 3), (Bytes{'I', 'D', '3'}));
  size_t tagSize = 10 + ((size_t{got[6]} << 21) | (size_t{got[7]} << 14) | (size_t{got[8]} << 7) | got[9]);
  EXPECT_EQ(std::string(got.begin() + static_cast<std::ptrdiff_t>(tagSize) + 36,
                        got.begin() + static_cast<std::ptrdiff_t>(tagSize) + 40), "Info");
  EXPECT_TRUE(Slice(got, tagSize + infoLength, tagSize + infoLength + frames.size()) == frames);
  EXPECT_EQ(got.size(), tagSize + infoLength + frames.size() + 128);
  EXPECT_TRUE(Slice(got, got.size() - 128, got.size()) == Slice(source, source.size() - 128, source.size()));

  for (Id3v2Field& f : s.ctx.doc.id3v2.fields) f.akcija |= 2;
  ASSERT_TRUE(write().succeeded());
  Bytes untagged = ReadAll(out);
  ASSERT_GT(untagged.size(), infoLength);
  EXPECT_EQ(std::string(untagged.begin() + 36, untagged.begin() + 40), "Info");
  EXPECT_TRUE(Slice(untagged, infoLength, untagged.size()) == Join({frames, Slice(source, source.size() - 128, source.size())}));
}

// The source's information frame: skipped at position 0 (also by a range that
// starts there), copied like audio anywhere else; a CBR output gets no Xing
// frame when the source's had no encoder extension.
TEST_F(WriterTest, InformationFrameSkippedOnlyAtPositionZero) {
  Bytes source = load("cbr128-plain-info.mp3");
  DocumentState& doc = s.ctx.doc;
  ASSERT_EQ(doc.frames[0].spec, 2);
  WriteResult r = write(kWriteSelection, 0, 10);
  ASSERT_TRUE(r.succeeded());
  EXPECT_EQ(r.framesWritten, 9);
  EXPECT_FALSE(r.xingWritten);
  EXPECT_TRUE(ReadAll(out) == FramesOf(doc, source, 1, 10));

  // Move the Info frame to position 5: it is copied there, byte for byte.
  std::rotate(doc.ref.begin(), doc.ref.begin() + 1, doc.ref.begin() + 6);
  r = write();
  ASSERT_TRUE(r.succeeded());
  EXPECT_EQ(r.framesWritten, doc.editCount);
  EXPECT_FALSE(r.xingWritten);  // LAME gives its Info frame the stream's bitrate
  Bytes got = ReadAll(out);
  Bytes expected;
  for (int32_t p = 0; p < doc.editCount; ++p) {
    const frametype& f = doc.frames[static_cast<size_t>(doc.ref[static_cast<size_t>(p)])];
    expected.insert(expected.end(), source.begin() + f.framepos, source.begin() + f.framepos + f.framelen);
  }
  EXPECT_TRUE(got == expected);
}

// Frames taken out of order are read as separate runs; the bytes are those
// of a frame-by-frame copy. A gain change patches only its own frame.
TEST_F(WriterTest, ReorderedFramesAndGainPatchesMatchAFrameByFrameCopy) {
  Bytes source = load("crc.mp3");
  DocumentState& doc = s.ctx.doc;
  std::reverse(doc.ref.begin() + 1, doc.ref.begin() + doc.editCount);
  std::rotate(doc.ref.begin() + 10, doc.ref.begin() + 30, doc.ref.begin() + 40);
  doc.gainLeft[7] = 3;
  doc.gainRight[7] = -2;
  doc.gainLeft[8] = 0;
  doc.gainRight[8] = 1;
  ASSERT_TRUE(write().succeeded());
  Bytes expected;
  for (int32_t p = 1; p < doc.editCount; ++p) {
    const frametype& f = doc.frames[static_cast<size_t>(doc.ref[static_cast<size_t>(p)])];
    Bytes frame = Slice(source, static_cast<size_t>(f.framepos), static_cast<size_t>(f.framepos + f.framelen));
    int gl = doc.gainLeft[static_cast<size_t>(p)];
    int gr = doc.gainRight[static_cast<size_t>(p)];
    // The gain fields and CRC patched by the test's own code from the format's layout.
    if (gl != 0 || gr != 0) layout::ChangeGains(frame.data(), gl, gr);
    expected.insert(expected.end(), frame.begin(), frame.end());
  }
  Bytes got = ReadAll(out);
  // LAME's Info frame, rebuilt in front as long as the source's, is not what this test is about.
  const size_t infoLength = static_cast<size_t>(doc.frames[0].framelen);
  ASSERT_GT(got.size(), infoLength);
  EXPECT_EQ(std::string(got.begin() + 36, got.begin() + 40), "Info");
  got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(infoLength));
  EXPECT_TRUE(got == expected);
  // The patched frames hold these global_gain values (the source's 138 138 140 140
  // with +3 left, -2 right, and 142 140 140 139 with +1 right) and check word.
  auto offsetOf = [&doc](int32_t position) {  // the output holds the frames from position 1 on
    size_t at = 0;
    for (int32_t p = 1; p < position; ++p) at += static_cast<size_t>(doc.frames[static_cast<size_t>(doc.ref[static_cast<size_t>(p)])].framelen);
    return at;
  };
  const size_t seventh = offsetOf(7);
  const size_t eighth = offsetOf(8);
  ASSERT_LT(eighth + 6, got.size());
  EXPECT_EQ(layout::ReadGains(&got[seventh]), (std::array<int, 4>{141, 136, 143, 138}));
  EXPECT_EQ(layout::ReadGains(&got[eighth]), (std::array<int, 4>{142, 141, 140, 140}));
  EXPECT_EQ((std::array<int, 2>{got[seventh + 4], got[seventh + 5]}), (std::array<int, 2>{0x53, 0xF2}));
  EXPECT_FALSE(got == FramesOf(doc, source, 0, doc.editCount));
}

// Long runs of unchanged frames are copied by the kernel; the output is the
// one the buffer makes, byte for byte, also for a VBR file (whose Xing table
// comes from the frames' positions), frames out of order, deleted frames and
// gain changes in the middle of runs.
TEST_F(WriterTest, KernelCopiedRunsGiveTheBytesOfBufferedOnes) {
  for (const char* name : {"cbr128-no-reservoir.mp3", "vbr-xing.mp3", "mono-44k.mp3"}) {
    SCOPED_TRACE(name);
    // A long file: the fixture's audio frames twelve times.
    Bytes fixture = load(name);
    Bytes frames = FramesOf(s.ctx.doc, fixture, 0, s.ctx.doc.editCount);
    fs::path longFile = folder / (std::string("long-") + name);
    Bytes all;
    for (int i = 0; i < 12; ++i) all.insert(all.end(), frames.begin(), frames.end());
    WriteAll(longFile, all);
    ASSERT_TRUE(s.load(longFile));
    DocumentState& doc = s.ctx.doc;
    const int32_t n = doc.editCount;
    auto same = [&](const char* edit) {
      SCOPED_TRACE(edit);
      WriteOptions buffered;
      buffered.kernelCopy = false;
      ASSERT_TRUE(WriteOutputFile(s.ctx, (folder / "buffered.mp3").string(), kWriteSaveAs, 0, 0, buffered).succeeded());
      ASSERT_TRUE(write().succeeded());
      EXPECT_TRUE(ReadAll(out) == ReadAll(folder / "buffered.mp3"));
    };
    same("unchanged");
    std::reverse(doc.ref.begin() + n / 3, doc.ref.begin() + n / 3 + 40);
    same("reordered");
    doc.ref.erase(doc.ref.begin() + n / 2, doc.ref.begin() + n / 2 + 50);
    doc.editCount = static_cast<int32_t>(doc.ref.size());
    ResizeEditList(doc);
    same("deleted");
    for (int32_t p = n / 4; p < n / 4 + 30; ++p) doc.gainLeft[static_cast<size_t>(p)] = 2;
    same("gain");
  }
}

// Frames of an inserted file, interleaved with the source's: each comes from
// its own file; a record naming a file beyond the table reads the source; a
// missing inserted file is a disk error.
TEST_F(WriterTest, FramesComeFromTheirOriginFiles) {
  Bytes source = load("cbr96-no-info.mp3");
  DocumentState& doc = s.ctx.doc;
  // The inserted file: the same frames with every byte after the header changed,
  // so that a frame read from the wrong file shows.
  Bytes inserted = source;
  for (int32_t i = 0; i < doc.frameTableCount; ++i) {
    const frametype& f = doc.frames[static_cast<size_t>(i)];
    for (int32_t b = 40; b < f.framelen; ++b) inserted[static_cast<size_t>(f.framepos + b)] ^= 0x5A;
  }
  fs::path ins = folder / "inserted.mp3";
  WriteAll(ins, inserted);
  doc.insertedCount = 1;
  doc.files[1].name = ins.string();
  int32_t base = doc.frameTableCount;
  for (int32_t i = 0; i < base; ++i) {
    frametype f = doc.frames[static_cast<size_t>(i)];
    f.fromfile = static_cast<uint8_t>(i % 3 == 2 ? 7 : 1);  // 7: beyond the table, read from the source
    doc.frames.push_back(f);
  }
  doc.frameTableCount = 2 * base;
  for (int32_t p = 0; p < doc.editCount; ++p)
    if (p % 2 == 1) doc.ref[static_cast<size_t>(p)] += base;
  ASSERT_TRUE(write().succeeded());
  Bytes expected;
  for (int32_t p = 0; p < doc.editCount; ++p) {
    const frametype& f = doc.frames[static_cast<size_t>(doc.ref[static_cast<size_t>(p)])];
    const Bytes& from = f.fromfile == 1 ? inserted : source;
    expected.insert(expected.end(), from.begin() + f.framepos, from.begin() + f.framepos + f.framelen);
  }
  EXPECT_TRUE(ReadAll(out) == expected);

  fs::remove(ins);
  EXPECT_EQ(write().ending, WriteEnding::kFailed);
  ASSERT_EQ(s.host.messages.size(), 1u);
  EXPECT_EQ(s.host.messages[0].text, kDiskErrorText);
}

// A blank frame of another bitrate makes the output VBR: a Xing frame in
// front (count without itself, byte count to the end, rising table), then the
// frames with the blank frame synthesised in place.
TEST_F(WriterTest, BlankFrameOfAnotherBitrateGivesXingFrameAndSilentFrame) {
  Bytes source = load("lyrics3v2-v1.mp3");
  DocumentState& doc = s.ctx.doc;
  ASSERT_EQ(doc.frames[0].spec, 0);
  // Position 3 becomes a 128 kbps, 44.1 kHz, joint-stereo blank frame.
  doc.ref[3] = -BlankFrameCode(9, 0, 1);
  doc.gainLeft[3] = kNoGain;
  doc.gainRight[3] = kNoGain;
  ComputeEditStatistics(doc);
  WriteResult r = write();
  ASSERT_TRUE(r.succeeded());
  ASSERT_TRUE(r.xingWritten);
  EXPECT_EQ(r.framesWritten, doc.editCount);
  Bytes got = ReadAll(out);
  ASSERT_GT(got.size(), 200u);
  EXPECT_EQ(Slice(got, 0, 4), (Bytes{0xFF, 0xFB, 0x30, 0x44}));
  EXPECT_EQ(Slice(got, 36, 40), (Bytes{'X', 'i', 'n', 'g'}));
  EXPECT_EQ(be32(got.data() + 44), static_cast<uint32_t>(doc.editCount));
  EXPECT_EQ(be32(got.data() + 48), got.size());  // the Xing frame is at offset 0
  for (size_t i = 53; i < 152; ++i) EXPECT_LE(got[i - 1], got[i]);
  EXPECT_EQ(got[52], 0);

  size_t pos = 156;
  Bytes expected = FramesOf(doc, source, 0, 3);
  EXPECT_TRUE(Slice(got, pos, pos + expected.size()) == expected);
  pos += expected.size();
  Bytes blank(417, 0);
  blank[0] = 0xFF;
  blank[1] = 0xFB;
  blank[2] = 0x90;
  blank[3] = 0x40;
  EXPECT_TRUE(Slice(got, pos, pos + 417) == blank);
  pos += 417;
  expected = FramesOf(doc, source, 4, doc.editCount);
  EXPECT_TRUE(Slice(got, pos, pos + expected.size()) == expected);
  pos += expected.size();
  // Lyrics3 and ID3v1 follow, as in the source.
  EXPECT_TRUE(Slice(got, pos, got.size()) == Slice(source, 18495, source.size()));
}

// With unknown leading data kept, a VBR output notes that the seek header may
// be unusable (not in a script).
TEST_F(WriterTest, VbrOutputWithUnknownLeadingDataIsNoted) {
  for (bool script : {false, true}) {
    fs::remove(folder / "unknown-header-footer.mp3");
    load("unknown-header-footer.mp3");
    s.host.messages.clear();
    s.ctx.script.active = script;
    s.ctx.doc.ref[2] = -BlankFrameCode(1, 0, 1);
    ASSERT_TRUE(write().succeeded());
    if (script) {
      EXPECT_TRUE(s.host.messages.empty());
    } else {
      ASSERT_EQ(s.host.messages.size(), 1u);
      EXPECT_EQ(s.host.messages[0].text, kUnknownLeadVbrText);
      EXPECT_EQ(s.host.messages[0].kind, 0);
      EXPECT_EQ(s.host.messages[0].caption, "info");
    }
    s.ctx.script.active = false;
  }
}

struct FailureCase {
  const char* what;
  int purpose;
  bool script;
  bool deleteSource;  // else: no frames
  bool messageShown;
};

// Disk errors and zero frames: the output is deleted, the text shown as a
// warning (silently for previews) or left for the script with code 102.
TEST_F(WriterTest, FailuresDeleteTheOutputAndReportTheirTexts) {
  const FailureCase cases[] = {
      {"source deleted", kWriteSaveAs, false, true, true},
      {"source deleted, preview", kWritePreview, false, true, false},
      {"source deleted, script", kWriteQuickSave, true, true, false},
      {"no frames", kWriteSaveAs, false, false, true},
      {"no frames, preview", kWritePreviewAlt, false, false, false},
      {"no frames, script", kWriteSaveAs, true, false, false},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(folder / "tagged-v23-v1.mp3");
    load("tagged-v23-v1.mp3");
    s.host.messages.clear();
    s.ctx.script = ScriptRun{};
    s.ctx.script.active = c.script;
    if (c.deleteSource) {
      fs::remove(folder / "tagged-v23-v1.mp3");
    } else {
      s.ctx.doc.editCount = 0;
    }
    std::string text = c.deleteSource ? kDiskErrorText : kZeroFrameCountText;
    WriteResult r = write(c.purpose);
    EXPECT_EQ(r.ending, WriteEnding::kFailed);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(s.ctx.doc.busy);
    EXPECT_FALSE(s.host.busy);
    if (c.messageShown) {
      ASSERT_EQ(s.host.messages.size(), 1u);
      EXPECT_EQ(s.host.messages[0].text, text);
      EXPECT_EQ(s.host.messages[0].kind, 2);
      EXPECT_EQ(s.host.messages[0].caption, "warning");
    } else {
      EXPECT_TRUE(s.host.messages.empty());
    }
    if (c.script) {
      EXPECT_EQ(s.ctx.script.resultCode, kWriteFailedCode);
      EXPECT_EQ(s.ctx.script.errorText, text);
    }
  }
}

// An origin file cut short after loading is a disk error, not a short output.
TEST_F(WriterTest, TruncatedOriginIsADiskError) {
  load("cbr96-no-info.mp3");
  fs::resize_file(folder / "cbr96-no-info.mp3", 9000);
  EXPECT_EQ(write().ending, WriteEnding::kFailed);
  EXPECT_FALSE(fs::exists(out));
  ASSERT_EQ(s.host.messages.size(), 1u);
  EXPECT_EQ(s.host.messages[0].text, kDiskErrorText);
}

// A target that is the document's own source is refused before anything is
// deleted, whatever the purpose.
TEST_F(WriterTest, TargetThatIsTheSourceIsRefusedAndKept) {
  Bytes source = load("cbr96-no-info.mp3");
  fs::path src = folder / "cbr96-no-info.mp3";
  WriteResult r = WriteOutputFile(s.ctx, src.string(), kWriteSelection, 0, 10);
  EXPECT_EQ(r.ending, WriteEnding::kFailed);
  EXPECT_TRUE(ReadAll(src) == source);
}

// Esc during the frame pass keeps the output as far as written, shows nothing
// and clears the request; a close request closes the main window.
TEST_F(WriterTest, CancelAndCloseDuringTheFramePass) {
  Bytes source = load("cbr96-no-info.mp3");
  // 59 frames repeated: enough positions for a progress point.
  DocumentState& doc = s.ctx.doc;
  std::vector<int32_t> refs;
  for (int i = 0; i < 10; ++i) refs.insert(refs.end(), doc.ref.begin(), doc.ref.begin() + doc.editCount);
  doc.ref.assign(refs.begin(), refs.end());
  doc.editCount = static_cast<int32_t>(refs.size());
  doc.gainLeft.assign(refs.size(), 0);
  doc.gainRight.assign(refs.size(), 0);

  s.host.cancelAtPoll = 1;
  WriteResult r = write();
  EXPECT_EQ(r.ending, WriteEnding::kCancelled);
  EXPECT_TRUE(fs::exists(out));
  EXPECT_GT(fs::file_size(out), 0u);
  EXPECT_LT(fs::file_size(out), source.size() * 10);
  EXPECT_TRUE(s.host.messages.empty());
  EXPECT_FALSE(s.ctx.cancelRequest);
  EXPECT_FALSE(s.ctx.doc.busy);
  EXPECT_FALSE(s.host.mainWindowClosed);

  s.host.cancelAtPoll = 0;
  s.host.polls = 0;
  s.host.closeAtPoll = 1;
  r = write();
  EXPECT_EQ(r.ending, WriteEnding::kClosed);
  EXPECT_TRUE(s.host.mainWindowClosed);
  EXPECT_FALSE(s.ctx.closeRequest);
  EXPECT_FALSE(s.ctx.doc.busy);

  // Without requests the polls came after the 64th frame and every 128th after.
  s.host.closeAtPoll = 0;
  s.host.polls = 0;
  s.host.progress.clear();
  ASSERT_TRUE(write().succeeded());
  EXPECT_TRUE(ReadAll(out) == [&] {
    Bytes all;
    for (int i = 0; i < 10; ++i) all.insert(all.end(), source.begin(), source.end());
    return all;
  }());
  EXPECT_EQ(s.host.polls, 5);  // 590 frames: after 64, 192, 320, 448, 576
  for (size_t i = 1; i < s.host.progress.size(); ++i) EXPECT_LT(s.host.progress[i - 1], s.host.progress[i]);
}

// A kept block longer than 1,000,000 bytes is copied whole and in order; the
// user interface is polled between its chunks.
TEST_F(WriterTest, LongUnknownHeaderIsCopiedWholeInChunks) {
  Bytes junk(2500000);
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>('a' + (i * 7 + i / 1000) % 26);
  Bytes frames = ReadAll(DataPath("cbr96-no-info.mp3"));
  Bytes source = Join({junk, frames});
  fs::path src = folder / "long-head.mp3";
  WriteAll(src, source);
  ASSERT_TRUE(s.load(src));
  ASSERT_TRUE(s.ctx.doc.source.behindHeaderFound);
  ASSERT_EQ(s.ctx.doc.source.behindHeaderLength, 2500000);
  s.host.polls = 0;
  ASSERT_TRUE(write().succeeded());
  EXPECT_TRUE(ReadAll(out) == source);
  EXPECT_GE(s.host.polls, 2);

  s.host.polls = 0;
  s.host.cancelAtPoll = 1;
  EXPECT_EQ(write().ending, WriteEnding::kCancelled);
  EXPECT_EQ(fs::file_size(out), 1000000u);
  EXPECT_FALSE(s.ctx.cancelRequest);

  // A close request between two chunks ends the write and closes the window.
  s.host.polls = 0;
  s.host.cancelAtPoll = 0;
  s.host.closeAtPoll = 2;
  EXPECT_EQ(write().ending, WriteEnding::kClosed);
  EXPECT_TRUE(s.host.mainWindowClosed);
  EXPECT_EQ(fs::file_size(out), 2000000u);
  EXPECT_TRUE(s.host.messages.empty());
}

TEST(OutputBufferTest, AppendsReservesAndTruncates) {
  TempFolder folder;
  OutputBuffer out;
  ASSERT_TRUE(out.create((folder / "b.bin").string(), 65536));
  Bytes big(200000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31);
  ASSERT_TRUE(out.append(big.data(), big.size()));
  ASSERT_TRUE(out.appendZeros(70000));
  EXPECT_EQ(out.position(), 270000);
  uint8_t* p = out.reserve(1000);
  ASSERT_NE(p, nullptr);
  std::fill(p, p + 1000, uint8_t{0xAB});
  out.commit(1000);
  EXPECT_EQ(out.reserve(out.capacity() + 1), nullptr);
  ASSERT_TRUE(out.truncateTo(200000));
  ASSERT_TRUE(out.append("xyz", 3));
  ASSERT_TRUE(out.close());
  EXPECT_TRUE(ReadAll(folder / "b.bin") == Join({big, Bytes{'x', 'y', 'z'}}));
}

}  // namespace
}  // namespace quorvel
