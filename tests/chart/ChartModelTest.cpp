// Tests of the chart model: creation, naming, deleting, links, word classes, column placement.
#include <gtest/gtest.h>

#include "chart/Chart.h"

namespace pvrj {
namespace {

ChartLink link(int origin, int final, std::vector<ChartPoint> points = {}) {
  ChartLink l;
  l.Origin = origin;
  l.Final = final;
  l.Point = std::move(points);
  return l;
}

TEST(ChartCreate, FirstItemFixesTheChartType) {
  Chart c;
  c.Type = kMotionChart;
  EXPECT_EQ(c.createItem(kItemMot, 10, 20), 0);
  EXPECT_EQ(c.Type, kScenarioChart);
  EXPECT_EQ(c.createItem(kItemPos, 0, 0), -1);
  EXPECT_EQ(c.itemCount(), 1);
  EXPECT_EQ(c.createItem(kItemMot, 0, 0), 1);
  // Emptying the chart keeps the type until the next item is created.
  c.selectAll();
  c.deleteSelected();
  EXPECT_EQ(c.itemCount(), 0);
  EXPECT_EQ(c.Type, kScenarioChart);
  EXPECT_EQ(c.createItem(kItemSet, 0, 0), 0);
  EXPECT_EQ(c.Type, kMotionChart);
}

TEST(ChartCreate, ItemsGetTheDefaultsOfTheirKind) {
  Chart c;
  struct Want {
    int kind;
    const char* name;
    int prmByte;
    int word;
  };
  for (Want w : {Want{kItemPos, "POS1", 100, 0}, Want{kItemSet, "SET1", 1, 32774},
                 Want{kItemCmp, "CMP1", 1, 33543}, Want{5, "ITEM1", 1, 0}}) {
    Chart chart;
    int i = chart.createItem(w.kind, 33, 44);
    ASSERT_EQ(i, 0);
    const ChartItem& item = chart.items[0];
    EXPECT_EQ(item.Name, w.name);
    EXPECT_EQ(item.Left, 33);
    EXPECT_EQ(item.Top, 44);
    EXPECT_EQ(item.Width, 50);
    EXPECT_EQ(item.Height, 30);
    EXPECT_EQ(item.Color, 16777215u);
    EXPECT_EQ(item.Type, w.kind);
    EXPECT_EQ(item.PrmByte, w.prmByte);
    for (auto word : item.PrmWords) EXPECT_EQ(word, w.word);
    EXPECT_FALSE(item.Selected);
  }
  Chart s;
  s.createItem(kItemMot, 0, 0);
  EXPECT_EQ(s.items[0].Name, "MOT1");
  EXPECT_EQ(s.items[0].PrmByte, 1);
}

TEST(ChartNaming, TakesTheFirstFreeNumber) {
  Chart c;
  c.createItem(kItemPos, 0, 0);
  c.createItem(kItemPos, 0, 0);
  c.createItem(kItemPos, 0, 0);
  EXPECT_EQ(c.items[1].Name, "POS2");
  c.items[1].Selected = true;
  c.deleteSelected();  // POS1 and POS3 remain
  EXPECT_EQ(c.createItem(kItemPos, 0, 0), 2);
  EXPECT_EQ(c.items[2].Name, "POS2");
  // Names are compared whole and with case.
  c.items[0].Name = "pos4";
  c.items[1].Name = "POS1x";
  EXPECT_EQ(c.uniqueItemName(kItemPos), "POS1");
  EXPECT_EQ(c.uniqueItemName(kItemCmp), "CMP1");
}

TEST(ChartNaming, DuplicatesBroughtInAreKept) {
  Chart c;
  int b = c.appendItems(2);
  c.items[b].Name = "POS1";
  c.items[b + 1].Name = "POS1";
  c.createItem(kItemPos, 0, 0);
  EXPECT_EQ(c.items[2].Name, "POS2");
}

TEST(ChartAppend, AppendingDeselectsTheOlderEntries) {
  Chart c;
  c.appendItems(2);
  c.selectAll();
  int b = c.appendItems(3);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c.selectedItemCount(), 0);
  EXPECT_EQ(c.items[4].Name, "");
  EXPECT_EQ(c.items[4].Width, 0);
  c.links.push_back(link(0, 1));
  c.links[0].Selected = true;
  EXPECT_EQ(c.appendLinks(2), 1);
  EXPECT_EQ(c.selectedLinkCount(), 0);
  EXPECT_EQ(c.links[2].Origin, 0);
  EXPECT_EQ(c.links[2].Final, 0);
  EXPECT_EQ(c.appendItems(0), 5);
}

TEST(ChartDelete, RenumbersStartAndLinkEnds) {
  Chart c;
  for (int i = 0; i < 5; ++i) c.createItem(kItemPos, 0, 0);
  c.links = {link(0, 1), link(1, 2), link(3, 4), link(4, 0), link(-1, 4)};
  c.Start = 3;
  c.items[1].Selected = true;  // before the start item
  c.deleteSelected();
  ASSERT_EQ(c.itemCount(), 4);
  EXPECT_EQ(c.items[1].Name, "POS3");
  EXPECT_EQ(c.Start, 2);
  // Lines touching the deleted item went with it, selected or not.
  ASSERT_EQ(c.linkCount(), 3);
  EXPECT_EQ(c.links[0].Origin, 2);
  EXPECT_EQ(c.links[0].Final, 3);
  EXPECT_EQ(c.links[1].Origin, 3);
  EXPECT_EQ(c.links[1].Final, 0);
  EXPECT_EQ(c.links[2].Origin, -1);
  EXPECT_EQ(c.links[2].Final, 3);
  EXPECT_EQ(c.selectedItemCount() + c.selectedLinkCount(), 0);
}

TEST(ChartDelete, DeletingTheStartItemClearsStart) {
  Chart c;
  for (int i = 0; i < 3; ++i) c.createItem(kItemPos, 0, 0);
  c.Start = 1;
  c.items[1].Selected = true;
  c.deleteSelected();
  EXPECT_EQ(c.Start, -1);
}

TEST(ChartDelete, SelectedLinksGoAndOthersCloseUp) {
  Chart c;
  for (int i = 0; i < 3; ++i) c.createItem(kItemPos, 0, 0);
  c.links = {link(0, 1), link(1, 2), link(2, 0)};
  c.links[1].Selected = true;
  c.deleteSelected();
  EXPECT_EQ(c.itemCount(), 3);
  ASSERT_EQ(c.linkCount(), 2);
  EXPECT_EQ(c.findLink(2, 0), 1);
  EXPECT_EQ(c.findLink(1, 2), -1);
}

TEST(ChartDelete, LinkEndsOutsideTheListAreLeftAlone) {
  Chart c;
  for (int i = 0; i < 2; ++i) c.createItem(kItemPos, 0, 0);
  c.links = {link(7, 1), link(0, -5)};
  c.items[0].Selected = true;
  c.deleteSelected();
  ASSERT_EQ(c.linkCount(), 1);
  EXPECT_EQ(c.links[0].Origin, 7);
  EXPECT_EQ(c.links[0].Final, 0);
}

TEST(ChartLinks, FindReverseAndBendPoints) {
  Chart c;
  c.links = {link(0, 1), link(1, 0, {{10, 10}, {20, 20}}), link(0, 1)};
  EXPECT_EQ(c.findLink(0, 1), 0);
  EXPECT_EQ(c.findLink(1, 0), 1);
  EXPECT_EQ(c.findLink(2, 0), -1);
  c.reverseLink(1);
  EXPECT_EQ(c.links[1].Origin, 0);
  EXPECT_EQ(c.links[1].Final, 1);
  EXPECT_EQ(c.links[1].Point, (std::vector<ChartPoint>{{20, 20}, {10, 10}}));
  c.insertBendPoint(1, 1, {15, 15});
  EXPECT_EQ(c.links[1].Point, (std::vector<ChartPoint>{{20, 20}, {15, 15}, {10, 10}}));
  c.insertBendPoint(1, 3, {5, 5});
  EXPECT_EQ(c.links[1].Point.back(), (ChartPoint{5, 5}));
  c.insertBendPoint(1, 99, {1, 1});  // past the end: appended
  EXPECT_EQ(c.links[1].Point.back(), (ChartPoint{1, 1}));
  c.insertBendPoint(0, 0, {7, 8});
  c.deleteBendPoint(0, 3);  // no such point: nothing happens
  EXPECT_EQ(c.links[0].Point.size(), 1u);
  c.deleteBendPoint(0, 0);
  EXPECT_TRUE(c.links[0].Point.empty());
  c.reverseLink(99);
  c.insertBendPoint(-1, 0, {1, 1});
  c.deleteBendPoint(5, 0);
}

TEST(ChartSelection, SelectAllLeavesLinks) {
  Chart c;
  c.appendItems(3);
  c.appendLinks(2);
  c.selectAll();
  EXPECT_EQ(c.selectedItemCount(), 3);
  EXPECT_EQ(c.selectedLinkCount(), 0);
  c.links[1].Selected = true;
  c.deselectAll();
  EXPECT_EQ(c.selectedItemCount() + c.selectedLinkCount(), 0);
}

TEST(ChartClear, KeepsHeaderAndEmptiesClipboard) {
  Chart c;
  c.Name = "WALK";
  c.Port = 7;
  c.Ctrl = 3;
  c.Width = 900;
  c.createItem(kItemMot, 0, 0);
  c.Start = 0;
  c.clipboard.items.push_back({});
  c.clear();
  EXPECT_EQ(c.itemCount(), 0);
  EXPECT_EQ(c.Start, -1);
  EXPECT_TRUE(c.clipboard.empty());
  EXPECT_EQ(c.Type, kScenarioChart);
  EXPECT_EQ(c.Name, "WALK");
  EXPECT_EQ(c.Port, 7u);
  EXPECT_EQ(c.Ctrl, 3);
  EXPECT_EQ(c.Width, 900);
}

TEST(WordClasses, EdgesOfTheTable) {
  struct Case {
    std::uint16_t word;
    int cls;
    int base;
    int offset;
  };
  for (Case k : {Case{0, 0, 0, 0},
                 Case{1, 1, 1, 0},
                 Case{16384, 1, 1, 16383},
                 Case{32773, 1, 1, 32772},
                 Case{32774, 2, 32774, 0},
                 Case{32902, 3, 32775, 127},
                 Case{33543, 7, 33543, 0},
                 Case{33798, 7, 33543, 255},
                 Case{33799, 255, 33800, -1},
                 Case{34000, 255, 34001, -1},
                 Case{35845, 255, 35846, -1},
                 Case{35846, 9, 35846, 0},
                 Case{39430, 34, 39430, 0},
                 Case{39941, 35, 39686, 255},
                 Case{40000, 8, 39942, 58},
                 Case{57348, 8, 39942, 17406},
                 Case{57349, 255, 57350, -1},
                 Case{64495, 255, 64496, -1},
                 Case{64496, 33, 64496, 0},
                 Case{64499, 32, 64498, 1},
                 Case{64500, 23, 64500, 0},
                 Case{65268, 26, 65268, 0},
                 Case{65269, 27, 65268, 1},
                 Case{65270, 28, 65268, 2},
                 Case{65271, 29, 65271, 0},
                 Case{65534, 30, 65527, 7},
                 Case{65535, 31, 65535, 0}}) {
    WordClass w = splitWord(k.word);
    EXPECT_EQ(w.cls, k.cls) << k.word;
    EXPECT_EQ(w.base, k.base) << k.word;
    EXPECT_EQ(w.offset, k.offset) << k.word;
    EXPECT_EQ(classify(k.word), k.cls) << k.word;
  }
}

TEST(WordClasses, CommonBaseOfAnItem) {
  Chart c;
  c.createItem(kItemCmp, 0, 0);
  for (int n : {0, 17, 255}) {
    for (int ch = 0; ch < kChannelCount; ++ch)
      c.items[0].PrmWords[ch] = static_cast<std::uint16_t>(33543 + (ch * 7 + n) % 256);
    EXPECT_EQ(c.commonBase(0), 33543);
  }
  int offset = -9;
  c.items[0].PrmWords[23] = 33543 + 42;
  EXPECT_EQ(commonBase(c.items[0].PrmWords, offset), 33543);
  EXPECT_EQ(offset, 42);
  c.items[0].PrmWords[5] = 0;
  EXPECT_EQ(c.commonBase(0), 0);
  EXPECT_EQ(commonBase(c.items[0].PrmWords, offset), 0);
  c.items[0].PrmWords.fill(0);
  EXPECT_EQ(c.commonBase(0), 0);
  EXPECT_EQ(c.commonBase(5), 0);
  EXPECT_EQ(c.commonBase(-1), 0);
}

TEST(ColumnPlacement, WrapsIntoTheNextColumn) {
  ColumnPlacer placer;
  EXPECT_EQ(placer.placeInColumns(480), (ChartPoint{5, 5}));
  EXPECT_EQ(placer.placeInColumns(480), (ChartPoint{5, 45}));
  EXPECT_EQ(placer.placeInColumns(480), (ChartPoint{5, 85}));
  // A canvas 150 high: after (5, 85) the next y, 125, lies past 150 - 30, so a new column starts.
  ColumnPlacer small;
  std::vector<ChartPoint> got;
  for (int i = 0; i < 5; ++i) got.push_back(small.placeInColumns(150));
  EXPECT_EQ(got, (std::vector<ChartPoint>{{5, 5}, {5, 45}, {5, 85}, {75, 5}, {75, 45}}));
}

TEST(ItemCentre, HalvesTruncateTowardZero) {
  ChartItem item;
  item.Left = 10;
  item.Top = -10;
  item.Width = 51;
  item.Height = -7;
  EXPECT_EQ(itemCentre(item), (ChartPoint{35, -13}));
}

}  // namespace
}  // namespace pvrj
