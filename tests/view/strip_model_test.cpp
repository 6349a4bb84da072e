#include "view/strip_model.h"

#include <gtest/gtest.h>

#include "view_fixture.h"

namespace quorvel {
namespace {

using testing::AppendBlank;
using testing::AppendFrames;
using testing::FrameShape;

TEST(LevelToHeight, EveryStepOfTheTable) {
  struct Case {
    int level;
    int height;
  };
  const Case cases[] = {{0, 0},    {1, 1},    {31, 1},   {32, 2},   {63, 2},   {64, 3},   {95, 3},   {96, 4},
                        {111, 4},  {112, 5},  {128, 5},  {129, 6},  {143, 6},  {144, 7},  {151, 7},  {152, 8},
                        {158, 8},  {159, 9},  {165, 9},  {166, 10}, {172, 10}, {173, 11}, {179, 11}, {180, 12},
                        {186, 12}, {187, 13}, {193, 13}, {194, 14}, {200, 14}, {201, 15}, {207, 15}, {208, 16},
                        {255, 16}, {-5, 0},   {300, 16}};
  for (const Case& c : cases) EXPECT_EQ(LevelToHeight(c.level), c.height) << "level " << c.level;
}

TEST(StripModel, ColumnHeightFollowsGainChanges) {
  DocumentState doc;
  AppendFrames(doc, 10, FrameShape{.kbps = 9, .amplify0 = 150});
  doc.gainLeft[3] = -10;
  doc.gainRight[3] = -12;
  StripModel m = BuildStripModel(doc, 0);
  ASSERT_EQ(m.columnCount, 10);
  EXPECT_EQ(StripLevelAt(doc, 3), 139);
  EXPECT_EQ(m.columns[3].height, 6);
  EXPECT_EQ(m.columns[3].y, 19 - 6);
  EXPECT_EQ(m.columns[3].x, 5 * 3 + 2);
  EXPECT_EQ(m.columns[3].picture, 9);
  // 150 is height 7; a gain sum of -1 rounds towards zero and leaves the level alone.
  doc.gainLeft[4] = -1;
  m = BuildStripModel(doc, 0);
  EXPECT_EQ(m.columns[4].height, 7);
}

TEST(StripModel, InformationBlankAndInsertedFrames) {
  DocumentState doc;
  AppendFrames(doc, 1, FrameShape{.kbps = 9, .amplify0 = 0, .spec = 1});
  AppendFrames(doc, 2, FrameShape{.kbps = 11, .amplify0 = 200});
  AppendBlank(doc, 5);
  AppendFrames(doc, 1, FrameShape{.kbps = 3, .amplify0 = 100, .fromfile = 1});
  StripModel m = BuildStripModel(doc, 0);
  ASSERT_EQ(m.columnCount, 5);
  EXPECT_EQ(m.columns[0].picture, kInfoFramePicture);
  EXPECT_EQ(m.columns[0].height, 16);
  EXPECT_EQ(m.columns[0].x, 2);
  EXPECT_EQ(m.columns[0].y, 3);
  EXPECT_EQ(m.columns[1].picture, 11);
  EXPECT_EQ(m.columns[1].height, 14);
  EXPECT_FALSE(m.columns[1].blank);
  EXPECT_TRUE(m.columns[3].blank);
  EXPECT_FALSE(m.columns[3].inserted);
  EXPECT_TRUE(m.columns[4].inserted);
  EXPECT_EQ(m.columns[4].height, 4);
}

TEST(StripModel, NothingButLabelsWithoutDocument) {
  DocumentState doc;
  StripModel m = BuildStripModel(doc, 0);
  EXPECT_FALSE(m.documentOpen);
  EXPECT_EQ(m.columnCount, 0);
  EXPECT_FALSE(m.band.visible);
  EXPECT_EQ(m.labels[0].text, "0.00 s");
  EXPECT_EQ(m.indicators.state, CursorIndicator::kNone);
}

TEST(StripModel, ViewNearTheEndShowsTheLastFrames) {
  DocumentState doc;
  AppendFrames(doc, 1000);
  StripModel m = BuildStripModel(doc, 5000);  // clamped to viewStartMax
  EXPECT_EQ(m.viewStart, 916);
  ASSERT_EQ(m.columnCount, 84);
  EXPECT_EQ(m.columns[83].frame, 999);
  EXPECT_EQ(m.columns[83].x, 5 * 83 + 2);
}

TEST(StripModel, TimeLabels) {
  DocumentState doc;
  AppendFrames(doc, 1000);  // 44.1 kHz: 1152 / 44100 s a frame
  StripModel m = BuildStripModel(doc, 0);
  EXPECT_EQ(m.labels[0].text, "0.00 s");
  EXPECT_EQ(m.labels[1].text, "1.08 s");  // middle of frame 41: 41.5 frames = 1.0841 s
  EXPECT_EQ(m.labels[2].text, "2.17 s");  // 83 frames = 2.1682 s
  EXPECT_EQ(m.labels[0].centreX, 34);
  EXPECT_EQ(m.labels[1].centreX, 30 + 211);
  EXPECT_EQ(m.labels[2].centreX, 449);
  m = BuildStripModel(doc, 916);
  EXPECT_EQ(m.labels[0].text, "23.93 s");  // 916 frames = 23.928 s

  DocumentState shortDoc;
  AppendFrames(shortDoc, 50);
  m = BuildStripModel(shortDoc, 0);
  EXPECT_EQ(m.labels[1].text, "1.08 s");
  EXPECT_EQ(m.labels[2].text, "");
  DocumentState tiny;
  AppendFrames(tiny, 41);
  EXPECT_EQ(BuildStripModel(tiny, 0).labels[1].text, "");

  DocumentState minutes;
  AppendFrames(minutes, 2500);  // 65.306 s at frame 2500
  EXPECT_EQ(BuildStripModel(minutes, 2416).labels[2].text, "1:05.28 s");  // 2499 frames = 65.280 s
}

TEST(StripModel, CursorBandWithoutSelection) {
  DocumentState doc;
  AppendFrames(doc, 1000);
  doc.cursor = 103;
  StripModel m = BuildStripModel(doc, 100);
  EXPECT_TRUE(m.band.visible);
  EXPECT_EQ(m.band.x1, 15);
  EXPECT_EQ(m.band.x2, 18);
  EXPECT_EQ(m.indicators.state, CursorIndicator::kOnScreen);
  EXPECT_TRUE(m.indicators.cursorMark);
  EXPECT_EQ(m.indicators.cursorMarkX, 30 + 15 + 1 - 2);
  EXPECT_FALSE(m.indicators.findVisible);
  doc.cursor = 10;
  m = BuildStripModel(doc, 100);
  EXPECT_EQ(m.band.x1, 0);
  EXPECT_EQ(m.band.x2, 0);
  EXPECT_EQ(m.indicators.state, CursorIndicator::kLeftArrow);
  EXPECT_TRUE(m.indicators.findVisible);
  doc.cursor = 184;  // the boundary after the last frame shown still counts as on screen
  EXPECT_EQ(BuildStripModel(doc, 100).indicators.state, CursorIndicator::kOnScreen);
  doc.cursor = 185;
  EXPECT_EQ(BuildStripModel(doc, 100).indicators.state, CursorIndicator::kRightArrow);
}

TEST(StripModel, SelectionBandAndLine) {
  DocumentState doc;
  AppendFrames(doc, 1000);
  doc.cursor = 100;
  doc.selectionEnd = 300;
  doc.selectionExists = true;
  StripModel m = BuildStripModel(doc, 100);
  // x1 = 1 becomes 0, x2 beyond the strip becomes 423.
  EXPECT_EQ(m.band.x1, 0);
  EXPECT_EQ(m.band.x2, 423);
  EXPECT_EQ(m.indicators.state, CursorIndicator::kOnScreen);
  EXPECT_TRUE(m.indicators.selectionLine);
  EXPECT_EQ(m.indicators.lineX1, 30);
  EXPECT_EQ(m.indicators.lineX2, 453);
  EXPECT_FALSE(m.indicators.cursorMark);

  doc.cursor = 110;
  doc.selectionEnd = 120;
  m = BuildStripModel(doc, 100);
  EXPECT_EQ(m.band.x1, 51);
  EXPECT_EQ(m.band.x2, 102);
  EXPECT_EQ(m.indicators.lineX1, 30 + 50 + 1 - 1);
  EXPECT_EQ(m.indicators.lineX2, 30 + 100 + 1 + 2);

  m = BuildStripModel(doc, 120);  // upper == viewStart: left of the view
  EXPECT_EQ(m.indicators.state, CursorIndicator::kLeftArrow);
  m = BuildStripModel(doc, 20);  // viewStart + 83 = 103 < lower
  EXPECT_EQ(m.indicators.state, CursorIndicator::kRightArrow);
}

TEST(ScrollThumb, WidthAndPosition) {
  ScrollThumb t = ScrollThumbOf(84, 0, ViewStartMaxFor(84));
  EXPECT_FALSE(t.active);
  EXPECT_FALSE(t.leftButtonEnabled);
  EXPECT_FALSE(t.rightButtonEnabled);
  EXPECT_EQ(ViewStartMaxFor(85), 1);
  EXPECT_TRUE(ScrollThumbOf(85, 0, 1).active);

  t = ScrollThumbOf(1000, 0, 916);
  EXPECT_EQ(t.width, 33);
  EXPECT_EQ(t.left, 42);
  EXPECT_FALSE(t.leftButtonEnabled);
  EXPECT_TRUE(t.rightButtonEnabled);
  t = ScrollThumbOf(1000, 916, 916);
  EXPECT_EQ(t.left, 42 + 396 - 33);
  EXPECT_TRUE(t.leftButtonEnabled);
  EXPECT_FALSE(t.rightButtonEnabled);
  t = ScrollThumbOf(1000, 458, 916);
  EXPECT_EQ(t.left, 42 + 182);  // 363 / 2 = 181.5 rounds to even
  EXPECT_EQ(ScrollThumbOf(10000, 0, 9916).width, 15);
}

TEST(ScrollThumb, DragAndTroughHits) {
  ScrollThumb t = ScrollThumbOf(1000, 458, 916);
  EXPECT_EQ(HitTestTrough(t, 100, 335), TroughPart::kLeftOfThumb);
  EXPECT_EQ(HitTestTrough(t, t.left, 335), TroughPart::kThumb);
  EXPECT_EQ(HitTestTrough(t, t.left + t.width - 1, 335), TroughPart::kThumb);
  EXPECT_EQ(HitTestTrough(t, t.left + t.width, 335), TroughPart::kRightOfThumb);
  EXPECT_EQ(HitTestTrough(t, 100, 328), TroughPart::kNone);
  EXPECT_EQ(HitTestTrough(ScrollThumbOf(50, 0, 0), 100, 335), TroughPart::kNone);

  EXPECT_EQ(ViewStartForThumb(42, 33, 916), 0);
  EXPECT_EQ(ViewStartForThumb(405, 33, 916), 916);
  EXPECT_EQ(ViewStartForThumb(500, 33, 916), 916);
  EXPECT_EQ(ViewStartForThumb(42 + 100, 33, 916), 252);  // 916 * 100 / 363 = 252.3
  EXPECT_EQ(ThumbLeftForDrag(10, 5, 33), 42);
  EXPECT_EQ(ThumbLeftForDrag(200, 5, 33), 195);
  EXPECT_EQ(ThumbLeftForDrag(900, 5, 33), 405);
  EXPECT_TRUE(ThumbDragContinues(42 - 24));
  EXPECT_FALSE(ThumbDragContinues(42 - 25));
  EXPECT_TRUE(ThumbDragContinues(437 + 24));
  EXPECT_FALSE(ThumbDragContinues(437 + 25));
}

TEST(StripHitTest, PixelToBoundaryAndFrame) {
  DocumentState doc;
  AppendFrames(doc, 1000);
  struct Case {
    int x;
    int y;
    bool on;
    int32_t boundary;
    int32_t hover;
  };
  const Case cases[] = {
      {30 + 5 * 7 + 3, 300, true, 207, 207},  // the seventh frame from viewStart 200
      {30, 295, true, 200, 200},              // first pixel; (x - 32) div 5 is 0 there too
      {31, 322, true, 200, 200},
      {30 + 5 * 84, 300, true, 284, 283},     // right edge: the boundary after the last frame
      {30, 294, false, 0, -1},                // above the press area
      {30, 323, false, 0, -1},                // below it
      {29, 300, false, 0, -1},
      {453, 300, false, 0, -1},
  };
  for (const Case& c : cases) {
    StripHit hit = HitTestStrip(doc, 200, c.x, c.y);
    EXPECT_EQ(hit.onStrip, c.on) << c.x << "," << c.y;
    if (!c.on) continue;
    EXPECT_EQ(hit.boundary, c.boundary) << c.x;
    EXPECT_EQ(hit.hoverFrame, c.hover) << c.x;
  }
  DocumentState shortDoc;
  AppendFrames(shortDoc, 10);
  EXPECT_EQ(HitTestStrip(shortDoc, 0, 30 + 5 * 50, 300).boundary, 10);
  EXPECT_EQ(BoundaryX(207, 200), 30 + 35 + 1);
}

TEST(FindViewStart, CentresSmallSelectionsOrTheCursor) {
  DocumentState doc;
  AppendFrames(doc, 1000);
  doc.cursor = 500;
  doc.selectionEnd = 700;  // 200 frames: the cursor is centred
  doc.selectionExists = true;
  EXPECT_EQ(FindViewStart(doc), 458);
  doc.selectionEnd = 540;  // 40 frames: the selection is centred
  EXPECT_EQ(FindViewStart(doc), 500 + 20 - 42);
  doc.selectionEnd = 584;
  EXPECT_EQ(FindViewStart(doc), 500 + 42 - 42);
  doc.selectionExists = false;
  doc.cursor = 10;
  EXPECT_EQ(FindViewStart(doc), 0);
  doc.cursor = 1000;
  EXPECT_EQ(FindViewStart(doc), 916);
}

}  // namespace
}  // namespace quorvel
