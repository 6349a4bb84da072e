#include "view/view_state.h"

#include <gtest/gtest.h>

#include "view_fixture.h"

namespace quorvel {
namespace {

using testing::AppendFrames;

TEST(ViewMoves, PagingStepsAndEnds) {
  DocumentState doc;
  AppendFrames(doc, 1000);  // viewStartMax 916
  EXPECT_FALSE(PageView(doc, false));
  EXPECT_TRUE(PageView(doc, true));
  EXPECT_EQ(doc.viewStart, 84);
  EXPECT_TRUE(StepView(doc, true));
  EXPECT_EQ(doc.viewStart, 85);
  EXPECT_TRUE(ViewToEnd(doc));
  EXPECT_EQ(doc.viewStart, 916);
  EXPECT_FALSE(PageView(doc, true));
  EXPECT_FALSE(StepView(doc, true));
  EXPECT_TRUE(StepView(doc, false));
  EXPECT_EQ(doc.viewStart, 915);
  EXPECT_TRUE(PageView(doc, false));
  EXPECT_EQ(doc.viewStart, 831);
  EXPECT_TRUE(ViewToStart(doc));
  EXPECT_EQ(doc.viewStart, 0);

  doc.cursor = 500;
  EXPECT_TRUE(FindCursor(doc));
  EXPECT_EQ(doc.viewStart, 458);

  DocumentState small;
  AppendFrames(small, 84);
  EXPECT_FALSE(PageView(small, true));
  EXPECT_FALSE(ViewToEnd(small));
  EXPECT_EQ(small.viewStart, 0);
}

TEST(ViewMoves, LabelsAreDueAfterMovesAndChanges) {
  DocumentState doc;
  AppendFrames(doc, 1000);
  EXPECT_TRUE(StripLabelsDue(doc));  // a new document has stripLabelPos -1
  MarkStripLabelled(doc);
  EXPECT_FALSE(StripLabelsDue(doc));
  PageView(doc, true);
  EXPECT_TRUE(StripLabelsDue(doc));
  MarkStripLabelled(doc);
  ComputeEditStatistics(doc);  // every change of the document recomputes these
  EXPECT_TRUE(StripLabelsDue(doc));
}

TEST(Timers, PagingAndRepeatIntervals) {
  int paging[] = {240, 160, 80, 40, 20, 20};
  for (size_t i = 0; i + 1 < std::size(paging); ++i) EXPECT_EQ(NextPagingInterval(paging[i]), paging[i + 1]);
  int repeat[] = {220, 180, 140, 100, 80, 60, 40, 20, 20};
  for (size_t i = 0; i + 1 < std::size(repeat); ++i) EXPECT_EQ(NextRepeatInterval(repeat[i]), repeat[i + 1]);
  EXPECT_EQ(NextRepeatInterval(101), 61);
  EXPECT_EQ(NextRepeatInterval(21), 1);
}

TEST(StepButtons, FramesAndSeconds) {
  DocumentState doc;
  AppendFrames(doc, 1000);  // 26.122 s
  ComputeEditStatistics(doc);
  EXPECT_EQ(StepFrame(doc, 1000, true), 1000);
  EXPECT_EQ(StepFrame(doc, 0, false), 0);
  EXPECT_EQ(StepFrame(doc, 7, true), 8);
  // 88 frames = 2.299 s: "+1 s" lands on 3 s = frame 114.84 -> 115.
  EXPECT_EQ(StepSecond(doc, 88, true), 115);
  // 103 frames = 2.691 s: "+1 s" lands on 4 s = frame 153.1 -> 153.
  EXPECT_EQ(StepSecond(doc, 103, true), 153);
  // 11 frames = 0.287 s: "-1 s" lands on 0.
  EXPECT_EQ(StepSecond(doc, 11, false), 0);
  // Beyond the end: the end.
  EXPECT_EQ(StepSecond(doc, 990, true), 1000);
}

TEST(StepButtons, BoxesSetCursorOrSelection) {
  DocumentState doc;
  AppendFrames(doc, 1000);
  doc.cursor = 10;
  SetBoxPosition(doc, 1, 50);
  EXPECT_TRUE(doc.selectionExists);
  EXPECT_EQ(doc.selectionEnd, 50);
  SetBoxPosition(doc, 1, 10);
  EXPECT_FALSE(doc.selectionExists);
  SetBoxPosition(doc, 1, 60);
  SetBoxPosition(doc, 0, 5000);
  EXPECT_EQ(doc.cursor, 1000);
  EXPECT_FALSE(doc.selectionExists);
  EXPECT_EQ(PositionBoxText(doc, 0), "26.122");
  doc.cursor = 2400;
  AppendFrames(doc, 2000);
  doc.cursor = 2400;  // 62.694 s
  EXPECT_EQ(PositionBoxText(doc, 0), "1:02.694");
}

}  // namespace
}  // namespace quorvel
