#include "core/insert_ops.h"

#include <gtest/gtest.h>

#include "core/analysis.h"
#include "core/document_ops.h"
#include "core/edit_dialogs.h"
#include "core/edit_fixture.h"
#include "core/edit_ops.h"
#include "core/headless_host.h"
#include "core/mpeg_header.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using testing::FrameShape;
using testing::LoadUniform;
using testing::Range;
using testing::ReadBytes;
using testing::Refs;
using testing::Select;
using testing::TempFolder;
using testing::TestData;
using testing::WriteBytes;

std::vector<int32_t> Concat(std::initializer_list<std::vector<int32_t>> parts) {
  std::vector<int32_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct Ops : ::testing::Test {
  HeadlessHost host;
  Context ctx{host};
  DocumentState& doc = ctx.doc;
  TempFolder temp;

  void ExpectOneMessage(const std::string& text, int kind, const std::string& caption) {
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, text);
    EXPECT_EQ(host.messages[0].kind, kind);
    EXPECT_EQ(host.messages[0].caption, caption);
  }
};

// ---------------------------------------------------------------------------
// Add silence.

using Silence = Ops;

TEST_F(Silence, TwoSecondsAtTheCursorInsertSeventySevenBlankFrames) {
  LoadUniform(ctx, 10);
  doc.cursor = doc.selectionEnd = 4;
  SilenceDialogState expected = PrepareSilenceDialog(ctx);
  int32_t count = SilenceLengthFromText("2.0", 0).count;
  ASSERT_EQ(count, 77);
  host.silenceAnswers.push_back(SilenceChoice{count, 1, 0, 0});
  EmptybutClick(ctx);
  ASSERT_EQ(host.silenceRequests.size(), 1u);
  EXPECT_EQ(host.silenceRequests[0].placementLabel, "SILENCE WILL BE INSERTED");
  EXPECT_EQ(host.silenceRequests[0].bitrateItems, expected.bitrateItems);
  EXPECT_FALSE(doc.silenceDialogOpen);
  EXPECT_EQ(ctx.script.resultCode, 0);
  EXPECT_EQ(doc.editCount, 87);
  EXPECT_EQ(doc.cursor, 4);
  EXPECT_FALSE(doc.selectionExists);
  for (int32_t p = 4; p < 81; ++p) {
    EXPECT_EQ(doc.ref[p], -1);
    EXPECT_EQ(doc.gainLeft[p], kNoGain);
    EXPECT_EQ(doc.gainRight[p], kNoGain);
  }
  EXPECT_EQ(doc.ref[81], 4);
  EXPECT_EQ(doc.editStats.bitrateSummary, 0);  // 32 kbps silence in a 128 kbps file
  EXPECT_EQ(doc.modifiedLevel, 1);
  UndobutClick(ctx);
  EXPECT_EQ(Refs(doc), Range(0, 10));
  EXPECT_EQ(doc.cursor, 4);
}

TEST_F(Silence, ReplacesTheSelectionAndSelectsTheSilence) {
  LoadUniform(ctx, 30);
  Select(doc, 15, 5);
  host.silenceAnswers.push_back(std::nullopt);
  EmptybutClick(ctx);  // cancelled: nothing changes
  EXPECT_EQ(doc.editCount, 30);
  EXPECT_FALSE(doc.undo.taken);
  ASSERT_EQ(host.silenceRequests.size(), 1u);
  const SilenceDialogState& state = host.silenceRequests[0];
  EXPECT_EQ(state.presetCount, 10);
  EXPECT_EQ(state.placementLabel, "SILENCE WILL REPLACE THE SELECTION");

  host.silenceAnswers.push_back(SilenceChoice{state.presetCount, 9, 0, 1});
  EmptybutClick(ctx);
  EXPECT_EQ(doc.editCount, 30);
  EXPECT_EQ(doc.cursor, 5);
  EXPECT_EQ(doc.selectionEnd, 15);
  EXPECT_TRUE(doc.selectionExists);
  EXPECT_EQ(doc.ref[5], -BlankFrameCode(9, 0, 1));
  EXPECT_EQ(doc.ref[15], 15);
  EXPECT_EQ(doc.editStats.bitrateSummary, 9);  // same bitrate: still constant
  UndobutClick(ctx);
  EXPECT_EQ(Refs(doc), Range(0, 30));
  EXPECT_EQ(doc.cursor, 5);
  EXPECT_EQ(doc.selectionEnd, 15);
}

TEST_F(Silence, EverythingSelectedIsReplacedWithoutRefusal) {
  LoadUniform(ctx, 8);
  Select(doc, 0, 8);
  host.silenceAnswers.push_back(SilenceChoice{3, 1, 1, 3});
  EmptybutClick(ctx);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(Refs(doc), (std::vector<int32_t>(3, -(1 + 16 + 192))));
  EXPECT_EQ(doc.cursor, 0);
  EXPECT_EQ(doc.selectionEnd, 3);
  BlankFrame b = DecodeBlankFrameCode(-doc.ref[0]);
  EXPECT_EQ(b.bitrateIndex, 1);
  EXPECT_EQ(b.freqIndex, 1);
  EXPECT_EQ(b.mode, 3);
  UndobutClick(ctx);
  EXPECT_EQ(Refs(doc), Range(0, 8));
}

TEST_F(Silence, ScriptCountIsLimitedTo256KFrames) {
  for (bool selection : {false, true}) {
    ctx.script.active = true;
    LoadUniform(ctx, 10);
    if (selection) Select(doc, 2, 4);
    ctx.edit.silenceCount = 300000;
    ctx.edit.silenceBitrate = 5;
    ctx.edit.silenceFrequency = 2;
    ctx.edit.silenceMode = 1;
    EmptybutClick(ctx);
    EXPECT_EQ(ctx.script.resultCode, 2);
    EXPECT_EQ(ctx.edit.silenceCount, 262144);
    EXPECT_EQ(doc.editCount, 10 + 262144 - (selection ? 2 : 0));
    EXPECT_EQ(doc.ref[2], -BlankFrameCode(5, 2, 1));  // the values left by the dialog
    EXPECT_EQ(doc.selectionExists, selection);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.silenceRequests.empty());
  }
}

TEST_F(Silence, NotReadyIsCodeOne) {
  ctx.script.active = true;
  LoadUniform(ctx, 10);
  doc.fadeDialogOpen = true;
  ctx.edit.silenceCount = 5;
  EmptybutClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 1);
  EXPECT_EQ(doc.editCount, 10);
}

TEST_F(Silence, BlankFramesSurviveCutAndPaste) {
  ctx.script.active = true;
  LoadUniform(ctx, 4);
  ctx.edit.silenceCount = 2;
  ctx.edit.silenceBitrate = 1;
  ctx.edit.silenceFrequency = 0;
  ctx.edit.silenceMode = 0;
  EmptybutClick(ctx);
  Select(doc, 0, 2);
  CutButClick(ctx);
  doc.cursor = doc.selectionEnd = 4;
  SetSelectionExists(doc, false);
  PastebutClick(ctx);
  EXPECT_EQ(Refs(doc), (std::vector<int32_t>{0, 1, 2, 3, -1, -1}));
  EXPECT_EQ(doc.gainLeft[4], kNoGain);
}

// ---------------------------------------------------------------------------
// Insert another file.

struct Insert : Ops {
  void SetUp() override {
    ASSERT_TRUE(!TestData("cbr128-info.mp3").empty() && fs::exists(TestData("cbr128-info.mp3")))
        << "QUORVEL_TEST_DATA is not set";
  }
  void ScriptInsert(const fs::path& file) {
    ctx.script.active = true;
    ctx.edit.insertFileName = file.string();
    MenuInsertClick(ctx);
  }
  // Everything a failed insertion must leave as it was.
  struct Snapshot {
    std::vector<int32_t> refs;
    LargeVector<int16_t> left, right;
    int32_t editCount, frameTableCount, cursor, selectionEnd;
    bool selectionExists;
    uint8_t insertedCount, modifiedLevel;
    bool unsavedChanges;
    std::array<InsertedFile, kFileTableSize> files;
  };
  Snapshot Take() const {
    return {Refs(doc),           doc.gainLeft,        doc.gainRight,  doc.editCount,   doc.frameTableCount,
            doc.cursor,          doc.selectionEnd,    doc.selectionExists, doc.insertedCount, doc.modifiedLevel,
            doc.unsavedChanges,  doc.files};
  }
  void ExpectUnchanged(const Snapshot& s) const {
    EXPECT_EQ(Refs(doc), s.refs);
    EXPECT_EQ(doc.gainLeft, s.left);
    EXPECT_EQ(doc.gainRight, s.right);
    EXPECT_EQ(doc.editCount, s.editCount);
    EXPECT_EQ(doc.frameTableCount, s.frameTableCount);
    EXPECT_EQ(doc.frames.size(), static_cast<size_t>(s.frameTableCount));
    EXPECT_EQ(doc.cursor, s.cursor);
    EXPECT_EQ(doc.selectionEnd, s.selectionEnd);
    EXPECT_EQ(doc.selectionExists, s.selectionExists);
    EXPECT_EQ(doc.insertedCount, s.insertedCount);
    EXPECT_EQ(doc.modifiedLevel, s.modifiedLevel);
    EXPECT_EQ(doc.unsavedChanges, s.unsavedChanges);
    for (int i = 0; i < kFileTableSize; ++i) {
      EXPECT_EQ(doc.files[i].name, s.files[i].name) << i;
      EXPECT_EQ(doc.files[i].firstFrame, s.files[i].firstFrame) << i;
    }
    EXPECT_FALSE(doc.busy);
  }
};

TEST_F(Insert, AFileWithAnInfoFrameAddsEveryFrameButThatOne) {
  LoadUniform(ctx, 10);
  doc.cursor = doc.selectionEnd = 3;
  CopyToClipboard(ctx, 0, 2);
  ScriptInsert(TestData("cbr128-info.mp3"));
  EXPECT_EQ(ctx.script.resultCode, 0);
  EXPECT_EQ(ctx.script.errorText, "");
  EXPECT_EQ(doc.editCount, 10 + 59);
  EXPECT_EQ(Refs(doc), Concat({Range(0, 3), Range(10, 69), Range(3, 10)}));
  EXPECT_EQ(doc.frameTableCount, 69);
  EXPECT_EQ(doc.frames.size(), 69u);
  EXPECT_EQ(doc.insertedCount, 1);
  EXPECT_EQ(doc.files[1].name, fs::absolute(TestData("cbr128-info.mp3")).lexically_normal().string());
  EXPECT_EQ(doc.files[1].firstFrame, 10);
  EXPECT_EQ(doc.files[2].firstFrame, 69);
  for (int32_t i = 10; i < 69; ++i) {
    EXPECT_EQ(doc.frames[i].fromfile, 1);
    EXPECT_EQ(doc.frames[i].spec, 0);
    EXPECT_GT(doc.frames[i].framepos, 0);  // the Info frame at 0 is left out
    EXPECT_EQ(doc.frames[i].kbps, 9);
  }
  EXPECT_EQ(doc.frames[10].framelen, doc.frames[11].framepos - doc.frames[10].framepos);
  EXPECT_EQ(doc.cursor, 3);
  EXPECT_EQ(doc.selectionEnd, 62);
  EXPECT_TRUE(doc.selectionExists);
  EXPECT_FALSE(doc.pasteAvailable);
  EXPECT_TRUE(doc.undoAvailable);
  EXPECT_TRUE(doc.unsavedChanges);
  EXPECT_EQ(doc.modifiedLevel, 0);  // an insertion alone does not raise it
  EXPECT_FALSE(doc.busy);
  EXPECT_FALSE(host.busy);
  EXPECT_TRUE(host.messages.empty());

  ctx.script.active = false;
  UndobutClick(ctx);
  EXPECT_EQ(Refs(doc), Range(0, 10));
  EXPECT_EQ(doc.insertedCount, 0);
  EXPECT_EQ(doc.files[1].name, "");
  EXPECT_EQ(doc.files[1].firstFrame, 10);
  EXPECT_EQ(doc.frameTableCount, 69);  // the records stay, unreferenced
  EXPECT_EQ(doc.cursor, 3);
  EXPECT_FALSE(doc.selectionExists);
}

TEST_F(Insert, AtPositionZero) {
  LoadUniform(ctx, 5);
  ScriptInsert(TestData("cbr96-no-info.mp3"));
  EXPECT_EQ(doc.editCount, 5 + 59);
  EXPECT_EQ(Refs(doc), Concat({Range(5, 64), Range(0, 5)}));
  EXPECT_EQ(doc.cursor, 0);
  EXPECT_EQ(doc.selectionEnd, 59);
  EXPECT_EQ(doc.frames[5].framepos, 0);  // no information frame: the first frame is audio
}

TEST_F(Insert, OtherFrequenciesMakeTheEditMixed) {
  LoadUniform(ctx, 5);
  ScriptInsert(TestData("48k.mp3"));
  EXPECT_EQ(ctx.script.resultCode, 0);
  EXPECT_EQ(doc.editCount, 5 + 64);
  EXPECT_EQ(doc.editStats.freqSummary, kFrequencyMixed);
  EXPECT_EQ(FrequencyStatText(doc.editStats.freqCount), "mixed freq");
  EXPECT_EQ(doc.editStats.modeSummary, kModeMixed);
}

TEST_F(Insert, SurroundingDataIsLeftOut) {
  struct Case {
    const char* file;
    int32_t frames;
  } cases[] = {{"tagged-v23-v1.mp3", 59},
               {"lyrics3v2-v1.mp3", 59},
               {"riff-wrapped.wav", 59},
               {"unknown-header-footer.mp3", 59},
               {"crc.mp3", 59},
               {"mono-44k.mp3", 59},
               {"vbr-xing.mp3", 63}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    LoadUniform(ctx, 2);
    ScriptInsert(TestData(c.file));
    EXPECT_EQ(ctx.script.resultCode, 0) << ctx.script.errorText;
    EXPECT_EQ(doc.editCount, 2 + c.frames);
    const int64_t size = static_cast<int64_t>(fs::file_size(TestData(c.file)));
    for (int32_t i = 2; i < doc.frameTableCount; ++i) {
      const frametype& f = doc.frames[i];
      EXPECT_EQ(f.spec, 0);
      EXPECT_LE(f.framelen, f.estimatedlen + 2) << "frame " << i;  // foreign data is cut off
      EXPECT_LE(f.framepos + f.framelen, size);
    }
  }
}

TEST_F(Insert, UndoThenInsertAnotherFileAppendsBehindTheFirst) {
  LoadUniform(ctx, 4);
  ScriptInsert(TestData("cbr128-info.mp3"));  // records 4..62
  ctx.script.active = false;
  UndobutClick(ctx);
  ScriptInsert(TestData("32k.mp3"));  // 43 frames after its Info frame
  EXPECT_EQ(ctx.script.resultCode, 0);
  EXPECT_EQ(doc.insertedCount, 1);
  EXPECT_EQ(doc.files[1].name, fs::absolute(TestData("32k.mp3")).lexically_normal().string());
  EXPECT_EQ(doc.files[1].firstFrame, 63);
  EXPECT_EQ(doc.files[2].firstFrame, 63 + 43);
  EXPECT_EQ(doc.frameTableCount, 63 + 43);
  EXPECT_EQ(Refs(doc), Concat({Range(63, 106), Range(0, 4)}));
  EXPECT_EQ(doc.frames[63].freqb, 2);
  EXPECT_EQ(doc.frames[4].freqb, 0);  // the undone file's records stay as they were
}

struct Failure {
  const char* name;
  std::string file;  // in the test folder, or a fixture
  uint8_t errorPolicy;
  uint8_t code;
  std::string text;
};

TEST_F(Insert, FailuresLeaveTheDocumentAsItWas) {
  const fs::path dir = temp.path;
  WriteBytes(dir / "small.mp3", std::vector<uint8_t>(255, 0x11));
  WriteBytes(dir / "junk.mp3", std::vector<uint8_t>(4000, 0x41));
  std::vector<uint8_t> riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  riff.resize(2000, 0x20);
  WriteBytes(dir / "riff.wav", riff);
  // Five bytes of junk between two frames of a 128 kbps file.
  std::vector<uint8_t> bytes = ReadBytes(TestData("cbr96-no-info.mp3"));
  std::vector<uint8_t> gap = bytes;
  size_t second = 0;
  for (size_t i = 4; i + 1 < gap.size(); ++i) {
    if (gap[i] == 0xFF && (gap[i + 1] & 0xE0) == 0xE0) {
      second = i;
      break;
    }
  }
  ASSERT_GT(second, 0u);
  gap.insert(gap.begin() + static_cast<ptrdiff_t>(second), 5, 0x00);
  WriteBytes(dir / "gap.mp3", gap);
  // A last frame cut short by 100 bytes.
  std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 100);
  WriteBytes(dir / "cut.mp3", cut);

  const Failure cases[] = {
      {"missing", (dir / "missing.mp3").string(), kErrorTryToContinue, 3,
       "File to insert can't be opened (probably doesn't exist)."},
      {"folder", dir.string(), kErrorTryToContinue, 3, "File to insert can't be opened (probably doesn't exist)."},
      {"small", (dir / "small.mp3").string(), kErrorTryToContinue, 4, "Can't process files smaller than 0.25 KB!"},
      {"riff fail", (dir / "riff.wav").string(), kErrorFail, 6, "RIFF header doesn't seem to be of an mp3 file."},
      {"riff continue", (dir / "riff.wav").string(), kErrorTryToContinue, 12,
       "Doesn't seem like a 32/44.1/48 KHz mp3 file."},
      {"mpeg2 fail", TestData("mpeg2-22k.mp3").string(), kErrorFail, 8,
       "The file to insert is MPEG-2, this file is MPEG-1.\r\nFiles of different mpeg versions can't be joined."},
      {"mpeg2.5 continue", TestData("mpeg25-8k-vbr.mp3").string(), kErrorTryToContinue, 8,
       "The file to insert is MPEG-2.5, this file is MPEG-1.\r\nFiles of different mpeg versions can't be joined."},
      {"junk", (dir / "junk.mp3").string(), kErrorTryToContinue, 12, "Doesn't seem like a 32/44.1/48 KHz mp3 file."},
      {"gap", (dir / "gap.mp3").string(), kErrorFail, 13, "Improper frame size."},
      {"cut", (dir / "cut.mp3").string(), kErrorFail, 13, "Improper frame size."},
  };
  for (const Failure& c : cases) {
    for (bool script : {true, false}) {
      for (bool selection : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + (script ? " script" : " dialog") + (selection ? " selection" : ""));
        host.messages.clear();
        ctx.script.active = false;
        LoadUniform(ctx, 12);
        Select(doc, 2, 3);
        DelButClick(ctx);  // modifiedLevel 1, a snapshot of its own
        if (selection) Select(doc, 8, 4);
        ctx.options.errorPolicy = c.errorPolicy;
        Snapshot before = Take();
        if (script) {
          ScriptInsert(c.file);
        } else {
          host.fileAnswers.push_back(c.file);
          MenuInsertClick(ctx);
        }
        EXPECT_EQ(ctx.script.resultCode, c.code);
        EXPECT_EQ(ctx.script.errorText, c.text);
        if (script) {
          EXPECT_TRUE(host.messages.empty());
        } else {
          ExpectOneMessage(c.text, 258, "warning");
        }
        // A selection deleted before the analysis is back as it was.
        ExpectUnchanged(before);
        EXPECT_FALSE(doc.undoAvailable);
      }
    }
  }
}

TEST_F(Insert, ContinuingPastProblemsTakesTheFramesAsFound) {
  // With "Try to continue" the five junk bytes stay inside the frame before them.
  std::vector<uint8_t> bytes = ReadBytes(TestData("cbr96-no-info.mp3"));
  bytes.insert(bytes.begin() + 313, 5, 0x00);  // the first frame is 313 bytes at 96 kbps
  WriteBytes(temp.path / "gap.mp3", bytes);
  LoadUniform(ctx, 3);
  ctx.options.errorPolicy = kErrorTryToContinue;
  ScriptInsert(temp.path / "gap.mp3");
  EXPECT_EQ(ctx.script.resultCode, 0);
  EXPECT_EQ(doc.editCount, 3 + 59);
  EXPECT_EQ(doc.frames[3].framelen, 313 + 5);
}

TEST_F(Insert, EscapeCancelsWithoutAMessage) {
  std::vector<uint8_t> one = ReadBytes(TestData("cbr96-no-info.mp3"));
  std::vector<uint8_t> two = one;
  two.insert(two.end(), one.begin(), one.end());  // 118 frames: a progress point at 64
  WriteBytes(temp.path / "long.mp3", two);
  for (bool script : {true, false}) {
    host.messages.clear();
    host.polls = 0;
    host.cancelAtPoll = 1;
    ctx.script.active = false;
    LoadUniform(ctx, 6);
    Snapshot before = Take();
    if (script) {
      ScriptInsert(temp.path / "long.mp3");
    } else {
      host.fileAnswers.push_back((temp.path / "long.mp3").string());
      MenuInsertClick(ctx);
    }
    EXPECT_EQ(ctx.script.resultCode, 11);
    EXPECT_EQ(ctx.script.errorText, "Esc key pressed.");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.polls, 1);
    ExpectUnchanged(before);
  }
  // Without Esc the same file goes in whole.
  host.cancelAtPoll = 0;
  LoadUniform(ctx, 6);
  ScriptInsert(temp.path / "long.mp3");
  EXPECT_EQ(ctx.script.resultCode, 0);
  EXPECT_EQ(doc.editCount, 6 + 118);
  EXPECT_FALSE(host.progress.empty());
}

TEST_F(Insert, ACloseRequestClosesTheWindow) {
  std::vector<uint8_t> one = ReadBytes(TestData("cbr96-no-info.mp3"));
  std::vector<uint8_t> two = one;
  two.insert(two.end(), one.begin(), one.end());
  WriteBytes(temp.path / "long.mp3", two);
  LoadUniform(ctx, 6);
  Snapshot before = Take();
  host.closeAtPoll = 1;
  ScriptInsert(temp.path / "long.mp3");
  EXPECT_TRUE(host.mainWindowClosed);
  ExpectUnchanged(before);
}

TEST_F(Insert, FreeFormatFramesWarnAboutTheLength) {
  // Free-format frames (bitrate index 0): a header and zeros, 400 bytes each.
  auto freeFormat = [](int frames) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < frames; ++i) {
      std::vector<uint8_t> frame(400, 0);
      frame[0] = 0xFF;
      frame[1] = 0xFB;
      frame[2] = 0x00;
      frame[3] = 0x44;
      bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    return bytes;
  };
  WriteBytes(temp.path / "free10.mp3", freeFormat(10));
  WriteBytes(temp.path / "free1.mp3", freeFormat(1));
  struct Case {
    const char* file;
    std::string warning;
  } cases[] = {{"free10.mp3", "Possible length error <  2.6E-0001 sec\r\n(due to free format frames)"},
               {"free1.mp3", "Possible length error <  2.6E-0002 sec\r\n(due to free format frame)"}};
  for (const auto& c : cases) {
    host.messages.clear();
    LoadUniform(ctx, 3);
    ctx.script.active = false;
    host.fileAnswers.push_back((temp.path / c.file).string());
    MenuInsertClick(ctx);
    EXPECT_EQ(ctx.script.resultCode, 0);
    ExpectOneMessage(c.warning, 2, "warning");
  }
  // A script gets no warning.
  host.messages.clear();
  LoadUniform(ctx, 3);
  ScriptInsert(temp.path / "free10.mp3");
  EXPECT_EQ(doc.editCount, 13);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(Insert, CommandRefusals) {
  LoadUniform(ctx, 10);
  Snapshot before = Take();

  doc.insertedCount = 255;
  host.fileAnswers.push_back(TestData("cbr128-info.mp3").string());
  MenuInsertClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 128);
  ExpectOneMessage("Too many files already inserted.", 2, "warning");
  EXPECT_TRUE(host.fileRequests.empty());
  doc.insertedCount = 0;

  host.messages.clear();
  Select(doc, 10, 0);
  host.fileAnswers.push_back(TestData("cbr128-info.mp3").string());
  MenuInsertClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 130);
  ExpectOneMessage(
      "That would replace the file since all is selected.\r\nTo do that you have to use \"Load\" (\"Open\") function.",
      2, "warning");
  EXPECT_EQ(doc.editCount, 10);
  EXPECT_FALSE(doc.undo.taken);

  host.messages.clear();
  ctx.script.active = true;
  doc.busy = true;
  ctx.edit.insertFileName = TestData("cbr128-info.mp3").string();
  MenuInsertClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 129);
  doc.busy = false;
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(doc.editCount, 10);
}

TEST_F(Insert, TheDialogNamesWhereTheFramesGo) {
  LoadUniform(ctx, 10);
  ctx.options.lastLoadFolder = "/music";
  MenuInsertClick(ctx);  // cancelled
  ASSERT_EQ(host.fileRequests.size(), 1u);
  EXPECT_EQ(host.fileRequests[0].title, " INSERT AT CURSOR SPOT ");
  EXPECT_EQ(host.fileRequests[0].folder, "/music");
  EXPECT_EQ(host.fileRequests[0].fileName, "");
  EXPECT_EQ(ctx.script.resultCode, 0);
  EXPECT_EQ(doc.editCount, 10);
  EXPECT_FALSE(doc.undo.taken);

  Select(doc, 2, 4);
  host.fileAnswers.push_back(TestData("cbr128-info.mp3").string());
  MenuInsertClick(ctx);
  EXPECT_EQ(host.fileRequests[1].title, " INSERT TO REPLACE THE SELECTION ");
  EXPECT_EQ(ctx.options.lastLoadFolder, TestData("cbr128-info.mp3").parent_path().string());
  EXPECT_EQ(ctx.edit.insertFileName, TestData("cbr128-info.mp3").string());
  EXPECT_EQ(doc.editCount, 10 - 2 + 59);
  EXPECT_EQ(doc.cursor, 2);
  EXPECT_EQ(doc.selectionEnd, 61);
  // Replacing counts as a delete; undo takes back both parts.
  EXPECT_EQ(doc.modifiedLevel, 1);
  UndobutClick(ctx);
  EXPECT_EQ(Refs(doc), Range(0, 10));
  EXPECT_EQ(doc.modifiedLevel, 0);
  EXPECT_EQ(doc.cursor, 2);
  EXPECT_EQ(doc.selectionEnd, 4);
}

TEST_F(Insert, UndoingAnInsertionKeepsAnEarlierChangeCounted) {
  LoadUniform(ctx, 10);
  Select(doc, 1, 2);
  DelButClick(ctx);
  EXPECT_EQ(doc.modifiedLevel, 1);
  ScriptInsert(TestData("cbr128-info.mp3"));
  ctx.script.active = false;
  UndobutClick(ctx);
  EXPECT_EQ(doc.editCount, 9);
  // The delete before it is still unsaved: closing must still offer to save.
  EXPECT_EQ(doc.modifiedLevel, 1);
}

TEST_F(Insert, The256thInsertionIsRefused) {
  ctx.script.active = true;
  LoadUniform(ctx, 2);
  const fs::path file = TestData("32k.mp3");
  for (int k = 1; k <= 255; ++k) {
    ctx.edit.insertFileName = file.string();
    doc.cursor = doc.selectionEnd = 0;
    SetSelectionExists(doc, false);
    MenuInsertClick(ctx);
    ASSERT_EQ(ctx.script.resultCode, 0) << k;
  }
  EXPECT_EQ(doc.insertedCount, 255);
  EXPECT_EQ(doc.files[255].firstFrame, 2 + 254 * 43);
  EXPECT_EQ(doc.frames.back().fromfile, 255);
  MenuInsertClick(ctx);
  EXPECT_EQ(ctx.script.resultCode, 128);
  EXPECT_EQ(doc.editCount, 2 + 255 * 43);
}

}  // namespace
}  // namespace quorvel
