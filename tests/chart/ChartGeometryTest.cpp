// Tests of the chart picture's geometry: arrow heads, colours, start flag, paths and hit tests.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "chart/ChartGeometry.h"

namespace pvrj {
namespace {

using Corners = std::array<ChartPoint, 3>;

ChartItem box(int left, int top, int width = 50, int height = 30) {
  ChartItem item;
  item.Left = left;
  item.Top = top;
  item.Width = width;
  item.Height = height;
  return item;
}

TEST(ArrowHeadTest, AngleFollowsTheDirectionRules) {
  const float pi = std::numbers::pi_v<float>;
  EXPECT_FLOAT_EQ(segmentAngle({3, 3}, {3, 3}), -1.0f);
  EXPECT_FLOAT_EQ(segmentAngle({0, 0}, {0, 10}), pi / 2);
  EXPECT_FLOAT_EQ(segmentAngle({0, 10}, {0, 0}), 3 * pi / 2);
  EXPECT_FLOAT_EQ(segmentAngle({0, 0}, {10, 0}), 0.0f);
  EXPECT_FLOAT_EQ(segmentAngle({10, 0}, {0, 0}), pi);
  EXPECT_FLOAT_EQ(segmentAngle({0, 0}, {10, 10}), pi / 4);
  EXPECT_FLOAT_EQ(segmentAngle({10, 0}, {0, 10}), 3 * pi / 4);
  EXPECT_FLOAT_EQ(segmentAngle({10, 10}, {0, 0}), 5 * pi / 4);
  EXPECT_FLOAT_EQ(segmentAngle({0, 10}, {10, 0}), 7 * pi / 4);
  // Every direction lands in [0, 2pi).
  for (int dx = -6; dx <= 6; ++dx) {
    for (int dy = -6; dy <= 6; ++dy) {
      if (dx == 0 && dy == 0) continue;
      const float theta = segmentAngle({0, 0}, {dx, dy});
      EXPECT_GE(theta, 0.0f);
      EXPECT_LT(theta, 2 * pi);
    }
  }
}

TEST(ArrowHeadTest, RightwardSegmentGivesATriangleBeforeItsMiddle) {
  const Corners c = arrowHead({0, 0}, {100, 0});
  EXPECT_EQ(c[0], (ChartPoint{45, 5}));
  EXPECT_EQ(c[1], (ChartPoint{45, -5}));
  EXPECT_EQ(c[2], (ChartPoint{54, 0}));
}

TEST(ArrowHeadTest, DownwardAndLeftwardSegments) {
  // Down: C = 0, S = 1.
  Corners c = arrowHead({10, 10}, {10, 50});
  EXPECT_EQ(c[0], (ChartPoint{5, 25}));
  EXPECT_EQ(c[1], (ChartPoint{15, 25}));
  EXPECT_EQ(c[2], (ChartPoint{10, 34}));
  // Left: C = -1, S = 0 (sin pi is a tiny float that must round to 0).
  c = arrowHead({100, 20}, {0, 20});
  EXPECT_EQ(c[0], (ChartPoint{55, 15}));
  EXPECT_EQ(c[1], (ChartPoint{55, 25}));
  EXPECT_EQ(c[2], (ChartPoint{46, 20}));
}

TEST(ArrowHeadTest, DiagonalCornersRoundHalfToEven) {
  // 45 degrees: C = S = 0.7071; -5C - 5S = -7.07 -> -7; 5C - 5S = 0; 4C = 2.83 -> 3.
  const Corners c = arrowHeadShape({0, 0}, {10, 10});
  EXPECT_EQ(c[0], (ChartPoint{-7, 0}));
  EXPECT_EQ(c[1], (ChartPoint{0, -7}));
  EXPECT_EQ(c[2], (ChartPoint{3, 3}));
}

TEST(ArrowHeadTest, ZeroLengthSegmentUsesMinusOneRadian) {
  const float c = std::cos(-1.0f);
  const float s = std::sin(-1.0f);
  const Corners shape = arrowHeadShape({7, 7}, {7, 7});
  EXPECT_EQ(shape[2].x, static_cast<int>(std::lround(4 * c)));
  EXPECT_EQ(shape[2].y, static_cast<int>(std::lround(4 * s)));
  EXPECT_EQ(shape[0].x, static_cast<int>(std::lround(-5 * c - 5 * s)));
  const Corners placed = arrowHead({7, 7}, {7, 7});
  EXPECT_EQ(placed[2].x, 7 + shape[2].x);
}

TEST(ArrowHeadTest, MiddleTruncatesTowardZero) {
  EXPECT_EQ(segmentMiddle({0, 0}, {5, 5}), (ChartPoint{2, 2}));
  EXPECT_EQ(segmentMiddle({5, 5}, {0, 0}), (ChartPoint{3, 3}));  // 5 + (-5) / 2 = 5 - 2
  EXPECT_EQ(segmentMiddle({-3, 0}, {0, 0}), (ChartPoint{-2, 0}));
}

TEST(ContrastColorTest, DarkFillsGetWhiteTextLightOnesBlack) {
  EXPECT_EQ(contrastTextColor(0), kWhite);
  EXPECT_EQ(contrastTextColor(kWhite), kBlack);
  EXPECT_EQ(colorLuminance(0x808080), 128);
  EXPECT_EQ(contrastTextColor(0x808080), kWhite);  // exactly 128 still counts as dark
  EXPECT_EQ(contrastTextColor(0x818181), kBlack);
  EXPECT_EQ(contrastTextColor(255), kWhite);      // pure red: Y = 76
  EXPECT_EQ(contrastTextColor(65280), kBlack);    // pure green: Y = 150
  EXPECT_EQ(contrastTextColor(65535), kBlack);    // yellow
  EXPECT_EQ(contrastTextColor(8388608), kWhite);  // navy
}

TEST(ContrastColorTest, SystemColoursGoThroughTheResolver) {
  int calls = 0;
  SystemColorResolver dark = [&calls](std::uint32_t ref) {
    ++calls;
    EXPECT_EQ(ref, kSysButtonFaceColor);
    return 0x101010u;
  };
  EXPECT_EQ(contrastTextColor(kSysButtonFaceColor, dark), kWhite);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(contrastTextColor(kSysButtonFaceColor), kBlack);  // classic light grey
  EXPECT_EQ(resolveColor(0x12345678u), 0x345678u);            // top byte of a plain colour ignored
}

TEST(StartMarkTest, FlagLeftOfThePoleThatReachesIntoTheBox) {
  const StartMark m = startMark(box(100, 50));
  EXPECT_EQ(m.flag[0], (ChartPoint{110, 48}));
  EXPECT_EQ(m.flag[1], (ChartPoint{110, 38}));
  EXPECT_EQ(m.flag[2], (ChartPoint{100, 43}));
  EXPECT_EQ(m.poleTop, (ChartPoint{110, 48}));
  EXPECT_EQ(m.poleBottom, (ChartPoint{110, 58}));
}

TEST(GridTest, SnapsToCellCentres) {
  EXPECT_EQ(snapToGrid({23, 47}, 10, 10), (ChartPoint{25, 45}));
  EXPECT_EQ(snapToGrid({31, 12}, 10, 10), (ChartPoint{35, 15}));
  EXPECT_EQ(snapToGrid({0, 9}, 4, 3), (ChartPoint{2, 10}));
  EXPECT_EQ(snapToGrid({7, 7}, 5, 2), (ChartPoint{7, 7}));
}

class HitTestFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    chart.items = {box(0, 0, 40, 20), box(100, 0, 40, 20), box(20, 10, 40, 20)};
    ChartLink link;
    link.Origin = 0;
    link.Final = 1;
    link.Point = {{20, 100}, {120, 100}};
    chart.links.push_back(link);
  }
  Chart chart;
};

TEST_F(HitTestFixture, ItemBoxExcludesRightAndBottomEdge) {
  EXPECT_EQ(hitItem(chart, {0, 0}), 0);
  EXPECT_EQ(hitItem(chart, {139, 19}), 1);
  EXPECT_EQ(hitItem(chart, {140, 10}), -1);
  EXPECT_EQ(hitItem(chart, {110, 20}), -1);
  EXPECT_EQ(hitItem(chart, {-1, 5}), -1);
}

TEST_F(HitTestFixture, OverlappingBoxesPickTheHighestIndex) {
  EXPECT_EQ(hitItem(chart, {30, 15}), 2);
  EXPECT_EQ(hitItem(chart, {10, 5}), 0);
}

TEST_F(HitTestFixture, BendPointToleranceIsAsymmetric) {
  // A point (px, py) is hit from x - 3 <= px <= x + 4.
  EXPECT_EQ(hitBendPoint(chart, {20, 100}).index, 0);
  EXPECT_TRUE(hitBendPoint(chart, {16, 96}).found());    // px = x + 4
  EXPECT_FALSE(hitBendPoint(chart, {15, 100}).found());  // px = x + 5
  EXPECT_TRUE(hitBendPoint(chart, {23, 103}).found());   // px = x - 3
  EXPECT_FALSE(hitBendPoint(chart, {24, 100}).found());
  const PointHit second = hitBendPoint(chart, {120, 100});
  EXPECT_EQ(second.link, 0);
  EXPECT_EQ(second.index, 1);
}

TEST_F(HitTestFixture, SegmentIndexIsTheBendPointItEndsAt) {
  // Path: (20, 10) -> (20, 100) -> (120, 100) -> (120, 10).
  EXPECT_EQ(hitSegment(chart, {20, 55}).index, 0);
  EXPECT_EQ(hitSegment(chart, {70, 100}).index, 1);
  EXPECT_EQ(hitSegment(chart, {120, 55}).index, 2);
  // Tolerance around the middle: M - 4 .. M + 5.
  EXPECT_TRUE(hitSegment(chart, {75, 105}).found());
  EXPECT_FALSE(hitSegment(chart, {76, 100}).found());
  EXPECT_TRUE(hitSegment(chart, {66, 96}).found());
  EXPECT_FALSE(hitSegment(chart, {65, 100}).found());
}

TEST_F(HitTestFixture, LinksNamingNoItemAreNeverFollowed) {
  chart.links[0].Origin = -1;
  EXPECT_TRUE(linkPath(chart, chart.links[0]).empty());
  EXPECT_FALSE(hitSegment(chart, {70, 100}).found());
  EXPECT_FALSE(hitBendPoint(chart, {20, 100}).found());  // not drawn, so not hit
  chart.links[0].Origin = 0;
  chart.links[0].Final = 17;  // outside the item list
  const auto path = linkPath(chart, chart.links[0]);
  ASSERT_EQ(path.size(), 3u);
  EXPECT_EQ(path.back(), (ChartPoint{120, 100}));
  EXPECT_FALSE(hitSegment(chart, {120, 55}).found());
  EXPECT_TRUE(hitBendPoint(chart, {120, 100}).found());  // drawn up to its last bend point
  chart.links[0].Origin = 99;
  EXPECT_TRUE(linkPath(chart, chart.links[0]).empty());
  EXPECT_FALSE(hitBendPoint(chart, {120, 100}).found());
}

TEST_F(HitTestFixture, BendPointsOfALinkWithoutOriginLetTheLinkBelowBeHit) {
  ChartLink broken;
  broken.Origin = -1;
  broken.Final = 1;
  broken.Point = {{20, 100}};
  chart.links.push_back(broken);  // searched first, as the highest index
  const PointHit hit = hitBendPoint(chart, {20, 100});
  EXPECT_EQ(hit.link, 0);
  EXPECT_EQ(hit.index, 0);
}

TEST(OverlapTest, RubberBandOverlapIncludesEdgesInEitherDirection) {
  const ChartItem item = box(10, 10, 20, 20);  // covers 10..29
  EXPECT_TRUE(itemOverlaps(item, {0, 0}, {10, 10}));
  EXPECT_TRUE(itemOverlaps(item, {40, 40}, {29, 29}));
  EXPECT_FALSE(itemOverlaps(item, {30, 0}, {40, 40}));
  EXPECT_TRUE(itemOverlaps(item, {15, 15}, {16, 16}));  // wholly inside
  EXPECT_FALSE(itemOverlaps(item, {0, 0}, {9, 100}));
}

}  // namespace
}  // namespace pvrj
