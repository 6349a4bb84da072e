#include "view/info_texts.h"

#include <gtest/gtest.h>

#include "view_fixture.h"

namespace quorvel {
namespace {

using testing::AppendBlank;
using testing::AppendFrames;
using testing::FrameShape;

TEST(StatisticsList, MostFramesSelectedAndBestWindowOnTop) {
  FrameStatistics stats;
  stats.bitrateCount[9] = 100;
  stats.bitrateCount[11] = 100;
  StatisticsList list = BuildStatisticsList(stats, 200);
  EXPECT_FALSE(list.empty);
  EXPECT_EQ(list.selected, 9);
  EXPECT_EQ(list.topLine, 7);  // starts 5..9 reach 200
  EXPECT_EQ(list.lines[9], " 128 kbps frames: 100");
  EXPECT_EQ(list.lines[0], "free kbps frames: 0");
  EXPECT_EQ(list.lines[14], " 320 kbps frames: 0");

  FrameStatistics none;
  list = BuildStatisticsList(none, 5);
  EXPECT_EQ(list.selected, 0);
  EXPECT_EQ(list.topLine, 7);  // every start reaches 0: the average of 0..14
  EXPECT_TRUE(BuildStatisticsList(stats, 0).empty);

  FrameStatistics high;
  high.bitrateCount[14] = 3;
  high.bitrateCount[1] = 2;
  list = BuildStatisticsList(high, 5);
  EXPECT_EQ(list.selected, 14);
  EXPECT_EQ(list.topLine, 11);  // starts 8..14 all hold line 14
}

TEST(PathLabel, LongPathsShowTheirTail) {
  const std::string longPath = "/home/user/" + std::string(180, 'a') + "/song.mp3";
  auto fitsThirty = [](const std::string& s) { return s.size() <= 30; };
  EXPECT_EQ(PathLabelText("/tmp/a.mp3", fitsThirty), "/tmp/a.mp3");
  const std::string label = PathLabelText(longPath, fitsThirty);
  EXPECT_EQ(label.size(), 30u);
  EXPECT_EQ(label.substr(0, 3), "...");
  EXPECT_EQ(label.substr(label.size() - 9), "/song.mp3");
  // Nothing fits: the text stops at 12 characters.
  EXPECT_EQ(PathLabelText(longPath, [](const std::string&) { return false; }), ".../song.mp3");
  // Multi-byte characters are removed whole; a stray byte counts as one.
  const std::string utf8 = "/m\xC3\xBCsic/\xE6\x97\xA5\xE6\x9C\xAC/\xFF" "abcdefghijkl.mp3";
  std::string shortened = PathLabelText(utf8, [](const std::string& s) { return s.size() <= 20; });
  EXPECT_EQ(shortened, "...\xFF" "abcdefghijkl.mp3");
}

TEST(PathLabel, WrappedPathBoxes) {
  EXPECT_EQ(WrappedPath("/home/user/a.mp3"), "/home/user/a.mp3");
  const std::string fifty(50, 'b');
  EXPECT_EQ(WrappedPath("/home/" + fifty + "/x.mp3"), "/home/\r\n" + fifty + "/\r\nx.mp3");
  const std::string thirty(30, 'c');
  const std::string twenty(20, 'd');
  // 1 + 31 + 21 = 53 after the third piece: a break follows it.
  EXPECT_EQ(WrappedPath("/" + thirty + "/" + twenty + "/e.mp3"), "/" + thirty + "/" + twenty + "/\r\ne.mp3");
  DocumentState doc;
  doc.sourceName = "/a/b.mp3";
  EXPECT_EQ(SourcePathBoxText(doc), "Full source filename:\r\n\r\n/a/b.mp3");
  EXPECT_EQ(TargetPathBoxText("/a/c.mp3", false),
            "The file hasn't been saved yet. Target location:\r\n\r\n/a/c.mp3");
  EXPECT_EQ(TargetPathBoxText("/a/c.mp3", true), "Full current document filename:\r\n\r\n/a/c.mp3");
}

TEST(InfoLines, SourceEditedAndBox) {
  DocumentState doc;
  EXPECT_EQ(SourceInfoText(doc), "No file loaded");
  EXPECT_EQ(EditedInfoText(doc), "");
  EXPECT_EQ(InfoLineBoxText("44.1 KHz, JOINT STEREO, 128 kbps, 3 min 5.016 sec", true),
            "source file info:\r\n\r\n44.1 KHz\r\nJOINT STEREO\r\n128 kbps\r\n3 min 5.016 sec");
  EXPECT_EQ(InfoLineBoxText("a, b", false), "target file info:\r\n\r\na\r\nb");
  AppendFrames(doc, 7083);  // 7083 * 1152 / 44100 = 185.025 s
  ComputeEditStatistics(doc);
  doc.sourceStats = doc.editStats;
  EXPECT_EQ(SourceInfoText(doc), "44.1 KHz, JOINT STEREO, 128 kbps, 3 min 5.025 sec");
  EXPECT_EQ(EditedInfoText(doc), "44.1 KHz, JOINT STEREO, 128 kbps, 3 min 5.025 sec");
}

TEST(SelectionLength, TextAndVisibility) {
  DocumentState doc;
  AppendFrames(doc, 1000);
  SelectionLengthText s = SelectionLength(doc);
  EXPECT_FALSE(s.visible);
  EXPECT_EQ(s.text, "sel: 0.000");
  doc.cursor = 100;
  doc.selectionEnd = 200;  // 100 frames = 2.612 s
  doc.selectionExists = true;
  s = SelectionLength(doc);
  EXPECT_TRUE(s.visible);
  EXPECT_EQ(s.text, "sel: 2.612");
  EXPECT_EQ(SelectionLength(doc, [](const std::string& t) { return t.size() < 8; }).text, "2.612");
}

TEST(FrameInfo, TextsOfEachKind) {
  DocumentState doc;
  AppendFrames(doc, 1, FrameShape{.kbps = 9, .amplify0 = 0, .spec = 1});
  AppendFrames(doc, 2, FrameShape{.kbps = 9, .amplify0 = 150});
  AppendBlank(doc, 9);
  AppendFrames(doc, 1, FrameShape{.kbps = 11, .freqb = 1, .amplify0 = 100, .stereo = 3, .fromfile = 1});
  doc.files[1].name = "/music/Other Song.MP3";
  doc.files[1].firstFrame = 3;
  doc.gainLeft[1] = -10;
  doc.gainRight[1] = -12;
  doc.gainLeft[4] = 7;
  doc.gainRight[4] = 100;  // a mono frame uses its left change only

  EXPECT_EQ(*FrameInfoText(doc, 0),
            "Frame position: 1\r\nOriginal position: 1\r\nBitrate: 128 kbps\r\nFrequency: 44.1 KHz\r\n"
            "Mode: joint stereo\r\nXING header. Always written to position 1 of VBR files.");
  EXPECT_EQ(*FrameInfoText(doc, 1),
            "Frame position: 2\r\nOriginal position: 2\r\nBitrate: 128 kbps\r\nFrequency: 44.1 KHz\r\n"
            "Mode: joint stereo\r\nAmplification flag: 139");
  EXPECT_EQ(FrameInfoText(doc, 3)->substr(0, 46), "Frame position: 4\r\n- empty (silence) frame -\r\n");
  EXPECT_EQ(*FrameInfoText(doc, 4),
            "Frame position: 5\r\nOriginal position: 1\r\nInserted from file: Other Song\r\nBitrate: 192 kbps\r\n"
            "Frequency: 48 KHz\r\nMode: mono\r\nAmplification flag: 107");
  EXPECT_FALSE(FrameInfoText(doc, 5));
  EXPECT_FALSE(FrameInfoText(doc, -1));
}

TEST(Progress, BlockCount) {
  EXPECT_EQ(ProgressBlockCount(0.0), 0);  // 0.5 rounds to even
  EXPECT_EQ(ProgressBlockCount(0.5), 28);  // 28.5 rounds to even
  EXPECT_EQ(ProgressBlockCount(0.51), 29);
  EXPECT_EQ(ProgressBlockCount(1.0), 56);
  EXPECT_EQ(ProgressBlockCount(2.0), 56);
}

}  // namespace
}  // namespace quorvel
