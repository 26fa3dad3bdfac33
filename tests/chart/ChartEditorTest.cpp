// Tests of the chart editing rules, driven by mouse sequences and checked on the model.
#include <gtest/gtest.h>

#include "chart/ChartEditor.h"
#include "support/FakeUserInterface.h"

namespace pvrj {
namespace {

class EditorTest : public ::testing::Test {
 protected:
  int place(int kind, int x, int y) {
    const int index = chart.createItem(kind, x, y);
    EXPECT_GE(index, 0);
    return index;
  }
  void click(int x, int y, unsigned extra = 0) {
    editor.mouseDown(kMouseLeft, {x, y}, kMouseLeft | extra);
    editor.mouseUp(kMouseLeft, {x, y}, extra);
  }
  void drag(ChartPoint from, ChartPoint to, int steps = 4) {
    editor.mouseDown(kMouseLeft, from, kMouseLeft);
    for (int s = 1; s <= steps; ++s) {
      editor.mouseMove({from.x + (to.x - from.x) * s / steps, from.y + (to.y - from.y) * s / steps},
                       kMouseLeft);
    }
    editor.mouseUp(kMouseLeft, to, 0);
  }
  int link(int origin, int final, std::vector<ChartPoint> points = {}, int main = 0) {
    const int index = chart.appendLinks(1);
    chart.links[index].Origin = origin;
    chart.links[index].Final = final;
    chart.links[index].Main = static_cast<std::uint8_t>(main);
    chart.links[index].Point = std::move(points);
    return index;
  }
  std::vector<bool> itemSelection() const {
    std::vector<bool> s;
    for (const auto& item : chart.items) s.push_back(item.Selected);
    return s;
  }

  Chart chart;
  test::FakeUserInterface ui;
  ChartEditor editor{chart, ui};
};

// --- tool modes and grid -----------------------------------------------------------------------

TEST_F(EditorTest, GridStepsBelowTwoBecomeTwo) {
  editor.setGrid(true, 1, -5);
  EXPECT_TRUE(editor.gridOn());
  EXPECT_EQ(editor.gridStepX(), 2);
  EXPECT_EQ(editor.gridStepY(), 2);
  editor.setGrid(false, 8, 6);
  EXPECT_EQ(editor.snap({23, 47}), (ChartPoint{23, 47}));
}

TEST_F(EditorTest, GridSnapsClicksAndTheClickedItem) {
  editor.setGrid(true, 10, 10);
  editor.setToolMode(kToolPos);
  click(23, 47);
  ASSERT_EQ(chart.itemCount(), 1);
  EXPECT_EQ(chart.items[0].Left, 25);
  EXPECT_EQ(chart.items[0].Top, 45);
  // An item at (31, 12) clicked in select mode snaps to (35, 15).
  chart.items[0].Left = 31;
  chart.items[0].Top = 12;
  click(40, 20);
  EXPECT_EQ(chart.items[0].Left, 35);
  EXPECT_EQ(chart.items[0].Top, 15);
  EXPECT_TRUE(chart.items[0].Selected);
  editor.mouseMove({123, 77}, 0);
  EXPECT_EQ(editor.lastMousePosition(), (ChartPoint{125, 75}));
}

TEST_F(EditorTest, PlacingReturnsToSelectAndReportsIt) {
  std::vector<int> reported;
  editor.onToolModeChanged = [&reported](int mode) { reported.push_back(mode); };
  place(kItemPos, 0, 0);
  chart.items[0].Selected = true;
  editor.setToolMode(kToolCmp);
  EXPECT_TRUE(chart.items[0].Selected);  // place tools keep the selection
  click(200, 100);
  ASSERT_EQ(chart.itemCount(), 2);
  EXPECT_EQ(chart.items[1].Type, kItemCmp);
  EXPECT_EQ(chart.items[1].Name, "CMP1");
  EXPECT_EQ(editor.toolMode(), kToolSelect);
  EXPECT_EQ(itemSelection(), (std::vector<bool>{false, false}));
  EXPECT_EQ(reported, (std::vector<int>{kToolSelect}));
}

TEST_F(EditorTest, PlacingIntoTheOtherChartTypeIsRefusedButStillEndsTheTool) {
  chart.createItem(kItemMot, 0, 0);
  editor.setToolMode(kToolPos);
  click(100, 100);
  EXPECT_EQ(chart.itemCount(), 1);
  EXPECT_EQ(editor.toolMode(), kToolSelect);
}

TEST_F(EditorTest, IgnoreModeSwallowsOneMouseEvent) {
  for (int kind = 0; kind < 3; ++kind) {
    editor.setToolMode(kToolIgnoreNext);
    int reported = -9;
    editor.onToolModeChanged = [&reported](int mode) { reported = mode; };
    if (kind == 0) click(10, 10);
    if (kind == 1) editor.mouseMove({10, 10}, 0);
    if (kind == 2) editor.mouseUp(kMouseLeft, {10, 10}, 0);
    EXPECT_EQ(editor.toolMode(), kToolSelect);
    EXPECT_EQ(reported, kToolSelect);
  }
  EXPECT_EQ(editor.lastMousePosition(), (ChartPoint{0, 0}));
}

TEST_F(EditorTest, AnyToolButtonEndsTheLineBeingDrawn) {
  place(kItemPos, 0, 0);
  place(kItemPos, 200, 0);
  editor.setToolMode(kToolConnection);
  click(10, 10);
  click(100, 100);
  editor.setToolMode(kToolPos);
  EXPECT_TRUE(editor.linePoints().empty());
  EXPECT_TRUE(chart.items[0].Selected);  // place tools keep the selection
  editor.setToolMode(kToolConnection);
  click(210, 10);
  EXPECT_EQ(chart.linkCount(), 0);
  EXPECT_EQ(editor.lineOrigin(), 1);
}

TEST_F(EditorTest, SelectAndStartButtonsDeselectAndEndTheLine) {
  place(kItemPos, 0, 0);
  editor.setToolMode(kToolConnection);
  EXPECT_TRUE(editor.lineDrawing());
  click(10, 10);
  EXPECT_EQ(editor.lineOrigin(), 0);
  editor.setToolMode(kToolStart);
  EXPECT_FALSE(editor.lineDrawing());
  EXPECT_EQ(editor.lineOrigin(), -1);
  EXPECT_FALSE(chart.items[0].Selected);
}

// --- select mode ---------------------------------------------------------------------------------

TEST_F(EditorTest, ShiftClickTogglesAndPlainClickSelectsOnlyOne) {
  place(kItemPos, 0, 0);
  place(kItemPos, 100, 0);
  click(10, 10);
  click(110, 10, kKeyShift);
  EXPECT_EQ(itemSelection(), (std::vector<bool>{true, true}));
  click(110, 10, kKeyShift);
  EXPECT_EQ(itemSelection(), (std::vector<bool>{true, false}));
  // Shift with another key is a plain click.
  click(110, 10, kKeyShift | kKeyCtrl);
  EXPECT_EQ(itemSelection(), (std::vector<bool>{false, true}));
  // Clicking an already selected item keeps the group.
  chart.items[0].Selected = true;
  click(10, 10);
  EXPECT_EQ(itemSelection(), (std::vector<bool>{true, true}));
}

TEST_F(EditorTest, ShiftClickOnEmptyCanvasChangesNothing) {
  place(kItemPos, 0, 0);
  chart.items[0].Selected = true;
  editor.mouseDown(kMouseLeft, {300, 300}, kMouseLeft | kKeyShift);
  EXPECT_FALSE(editor.rubberBand());
  editor.mouseMove({0, 0}, kMouseLeft | kKeyShift);
  editor.mouseMove({0, 0}, kMouseLeft);
  EXPECT_TRUE(chart.items[0].Selected);
  EXPECT_FALSE(editor.rubberBand());
}

TEST_F(EditorTest, LineClickSelectsAndShiftTogglesIt) {
  place(kItemPos, 0, 0);
  place(kItemPos, 200, 0);
  link(0, 1);  // centres (25, 15) -> (225, 15), middle (125, 15)
  chart.items[0].Selected = true;
  click(125, 15);
  EXPECT_TRUE(chart.links[0].Selected);
  EXPECT_FALSE(chart.items[0].Selected);
  click(125, 15, kKeyShift);
  EXPECT_FALSE(chart.links[0].Selected);
}

TEST_F(EditorTest, ClickedLineHasItsBendPointsSnapped) {
  place(kItemPos, 0, 0);
  place(kItemPos, 200, 0);
  link(0, 1, {{36, 104}, {221, 98}});
  editor.setGrid(true, 10, 10);
  click(36, 104);  // acts at (35, 105), on the first bend point
  EXPECT_TRUE(chart.links[0].Selected);
  EXPECT_EQ(chart.links[0].Point[0], (ChartPoint{35, 105}));
  EXPECT_EQ(chart.links[0].Point[1], (ChartPoint{225, 95}));
}

TEST_F(EditorTest, RubberBandOverPartOfABoxSelectsItAndLinesOnlyBetweenSelected) {
  place(kItemPos, 100, 100);  // 100..149 x 100..129
  place(kItemPos, 300, 100);
  place(kItemPos, 100, 300);
  link(0, 1);
  link(0, 2);
  drag({10, 10}, {120, 110});
  EXPECT_EQ(itemSelection(), (std::vector<bool>{true, false, false}));
  EXPECT_FALSE(chart.links[0].Selected);
  EXPECT_FALSE(editor.rubberBand());  // released
  drag({10, 10}, {310, 110});
  EXPECT_EQ(itemSelection(), (std::vector<bool>{true, true, false}));
  EXPECT_TRUE(chart.links[0].Selected);
  EXPECT_FALSE(chart.links[1].Selected);
}

TEST_F(EditorTest, RubberBandIsShownWhileDragging) {
  editor.mouseDown(kMouseLeft, {10, 20}, kMouseLeft);
  editor.mouseMove({60, 70}, kMouseLeft);
  EXPECT_TRUE(editor.rubberBand());
  EXPECT_EQ(editor.mouseDownPoint(), (ChartPoint{10, 20}));
  EXPECT_EQ(editor.currentPoint(), (ChartPoint{60, 70}));
}

// --- dragging ------------------------------------------------------------------------------------

TEST_F(EditorTest, GroupDragCarriesBendPointsOfSelectedLinesOnly) {
  place(kItemPos, 100, 100);
  place(kItemPos, 300, 100);
  place(kItemPos, 500, 100);
  link(0, 1, {{200, 200}});
  link(1, 2, {{400, 200}});
  chart.items[0].Selected = chart.items[1].Selected = true;
  chart.links[0].Selected = true;
  drag({110, 110}, {140, 90});
  EXPECT_EQ(chart.items[0].Left, 130);
  EXPECT_EQ(chart.items[0].Top, 80);
  EXPECT_EQ(chart.items[1].Left, 330);
  EXPECT_EQ(chart.items[2].Left, 500);  // not selected
  EXPECT_EQ(chart.links[0].Point[0], (ChartPoint{230, 180}));
  EXPECT_EQ(chart.links[1].Point[0], (ChartPoint{400, 200}));
}

TEST_F(EditorTest, DraggingABendPointMovesOnlyIt) {
  place(kItemPos, 0, 0);
  place(kItemPos, 200, 0);
  link(0, 1, {{100, 100}, {150, 100}});
  drag({101, 99}, {131, 49});
  EXPECT_EQ(chart.links[0].Point[0], (ChartPoint{130, 50}));
  EXPECT_EQ(chart.links[0].Point[1], (ChartPoint{150, 100}));
  EXPECT_EQ(chart.items[0].Left, 0);
}

TEST_F(EditorTest, DraggingASegmentMovesNothing) {
  place(kItemPos, 0, 0);
  place(kItemPos, 200, 0);
  link(0, 1, {{100, 100}});
  const auto before = chart.links[0].Point;
  drag({62, 57}, {162, 157});  // middle of the first segment (25, 15) -> (100, 100)
  EXPECT_TRUE(chart.links[0].Selected);
  EXPECT_EQ(chart.links[0].Point, before);
}

TEST_F(EditorTest, DragPastTheTopOrLeftEdgeStopsTheGroupAtTheEdge) {
  place(kItemPos, 10, 40);
  place(kItemPos, 100, 5);
  link(0, 1, {{60, 20}});
  chart.items[0].Selected = chart.items[1].Selected = chart.links[0].Selected = true;
  drag({20, 50}, {0, 20}, 1);  // (-20, -30): x may go 10, y only 5
  EXPECT_EQ(chart.items[0].Left, 0);
  EXPECT_EQ(chart.items[0].Top, 35);
  EXPECT_EQ(chart.items[1].Left, 90);
  EXPECT_EQ(chart.items[1].Top, 0);
  EXPECT_EQ(chart.links[0].Point[0], (ChartPoint{50, 15}));
  // Further up-left movement moves nothing; moving back right still works.
  editor.mouseDown(kMouseLeft, {5, 40}, kMouseLeft);
  editor.mouseMove({-50, -50}, kMouseLeft);
  EXPECT_EQ(chart.items[0].Left, 0);
  EXPECT_EQ(chart.items[1].Top, 0);
  editor.mouseMove({-40, -50}, kMouseLeft);
  EXPECT_EQ(chart.items[0].Left, 10);
  for (const auto& item : chart.items) {
    EXPECT_GE(item.Left, 0);
    EXPECT_GE(item.Top, 0);
  }
}

TEST_F(EditorTest, BendPointDragPastTheEdgeStays) {
  place(kItemPos, 100, 100);
  place(kItemPos, 300, 100);
  link(0, 1, {{5, 200}});
  editor.mouseDown(kMouseLeft, {5, 200}, kMouseLeft);
  editor.mouseMove({-1, 210}, kMouseLeft);
  EXPECT_EQ(chart.links[0].Point[0], (ChartPoint{5, 200}));
}

TEST_F(EditorTest, DragAfterPlacingAnItemMovesNothing) {
  place(kItemPos, 100, 100);
  chart.items[0].Selected = true;
  click(110, 110);  // select-mode hit on item 0
  editor.setToolMode(kToolSet);
  editor.mouseDown(kMouseLeft, {300, 300}, kMouseLeft);
  editor.mouseMove({350, 350}, kMouseLeft);
  EXPECT_EQ(chart.items[0].Left, 100);
  EXPECT_EQ(chart.items[1].Left, 300);
}

TEST_F(EditorTest, PressAfterTheLoadDialogDragsNothing) {
  place(kItemPos, 0, 0);
  click(10, 10);  // a select-mode hit on item 0 before the load dialog
  editor.setToolMode(kToolIgnoreNext);
  // What the dialog loaded arrives selected, away from the old click.
  place(kItemPos, 200, 200);
  chart.items[1].Selected = true;
  // The press that closes the dialog is swallowed; a drag without a new press follows.
  editor.mouseDown(kMouseLeft, {300, 300}, kMouseLeft);
  EXPECT_EQ(editor.toolMode(), kToolSelect);
  EXPECT_EQ(editor.hitItemIndex(), -1);
  EXPECT_FALSE(editor.rubberBand());
  editor.mouseMove({310, 320}, kMouseLeft);
  EXPECT_EQ(chart.items[0].Left, 0);
  EXPECT_EQ(chart.items[1].Left, 200);
  EXPECT_EQ(chart.items[1].Top, 200);
}

TEST_F(EditorTest, MoveOrReleaseEndingTheLoadModeAlsoForgetsTheOldHit) {
  for (int ending = 0; ending < 2; ++ending) {
    chart.clear();
    place(kItemPos, 0, 0);
    click(10, 10);
    editor.setToolMode(kToolIgnoreNext);
    chart.items[0].Selected = true;
    if (ending == 0) editor.mouseMove({300, 300}, 0);
    if (ending == 1) editor.mouseUp(kMouseLeft, {300, 300}, 0);
    editor.mouseMove({340, 340}, kMouseLeft);
    EXPECT_EQ(chart.items[0].Left, 0) << ending;
  }
}

TEST_F(EditorTest, PlaceToolsInAScenarioChartSayWhyNothingIsPlaced) {
  ASSERT_GE(editor.dropMotion(0, "M1 WALK", {0, 0}), 0);
  for (int tool : {kToolPos, kToolSet, kToolCmp}) {
    ui.statuses.clear();
    editor.setToolMode(tool);
    click(300, 300);
    EXPECT_EQ(chart.itemCount(), 1);
    EXPECT_EQ(editor.toolMode(), kToolSelect);
    ASSERT_EQ(ui.statuses.size(), 1u) << tool;
    EXPECT_EQ(ui.statuses[0], kScenarioPlaceMessage);
  }
  // Placing into a motion chart says nothing.
  chart.clear();
  ui.statuses.clear();
  editor.setToolMode(kToolPos);
  click(10, 10);
  EXPECT_EQ(chart.itemCount(), 1);
  EXPECT_TRUE(ui.statuses.empty());
}

// --- lines ---------------------------------------------------------------------------------------

TEST_F(EditorTest, ConnectionLineWithBendPointsAndRedrawnWithout) {
  place(kItemPos, 0, 0);
  place(kItemPos, 300, 0);
  editor.setToolMode(kToolConnection);
  click(10, 10);
  EXPECT_TRUE(chart.items[0].Selected);
  EXPECT_EQ(editor.linePoints(), (std::vector<ChartPoint>{{25, 15}}));
  click(100, 100);
  editor.mouseMove({150, 120}, 0);
  EXPECT_EQ(editor.currentPoint(), (ChartPoint{150, 120}));
  click(200, 100);
  click(310, 10);
  ASSERT_EQ(chart.linkCount(), 1);
  EXPECT_EQ(chart.links[0].Origin, 0);
  EXPECT_EQ(chart.links[0].Final, 1);
  EXPECT_EQ(chart.links[0].Main, 0);
  EXPECT_EQ(chart.links[0].Point, (std::vector<ChartPoint>{{100, 100}, {200, 100}}));
  EXPECT_EQ(editor.toolMode(), kToolConnection);
  EXPECT_EQ(editor.lineOrigin(), -1);
  // The same line again, straight: same index, no bend points.
  click(10, 10);
  click(310, 10);
  ASSERT_EQ(chart.linkCount(), 1);
  EXPECT_TRUE(chart.links[0].Point.empty());
}

TEST_F(EditorTest, BranchLineOnlyFromACompareItem) {
  place(kItemPos, 0, 0);
  place(kItemCmp, 100, 0);
  editor.setToolMode(kToolBranch);
  click(10, 10);  // POS: nothing
  EXPECT_EQ(editor.lineOrigin(), -1);
  EXPECT_FALSE(chart.items[0].Selected);
  click(50, 200);  // empty canvas: still nothing
  EXPECT_TRUE(editor.linePoints().empty());
  click(110, 10);
  click(10, 10);
  ASSERT_EQ(chart.linkCount(), 1);
  EXPECT_EQ(chart.links[0].Origin, 1);
  EXPECT_EQ(chart.links[0].Final, 0);
  EXPECT_EQ(chart.links[0].Main, 1);
}

TEST_F(EditorTest, LineBackToItsOriginIsAnError) {
  place(kItemPos, 0, 0);
  editor.setToolMode(kToolConnection);
  click(10, 10);
  click(100, 100);
  click(20, 20);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, kMsgError);
  EXPECT_EQ(ui.messages[0].buttons, kBtnOk);
  EXPECT_EQ(ui.messages[0].text, "始点と終点が同一の線は作成できません");
  EXPECT_EQ(chart.linkCount(), 0);
  EXPECT_EQ(editor.lineOrigin(), -1);
}

TEST_F(EditorTest, RightClickAbandonsTheLineButKeepsTheTool) {
  place(kItemPos, 0, 0);
  place(kItemPos, 200, 0);
  editor.setToolMode(kToolConnection);
  click(10, 10);
  click(100, 100);
  EXPECT_FALSE(editor.mouseDown(kMouseRight, {50, 50}, kMouseRight));
  EXPECT_TRUE(editor.linePoints().empty());
  EXPECT_EQ(editor.toolMode(), kToolConnection);
  click(210, 10);  // starts a new line from item 1, not a finished one
  EXPECT_EQ(chart.linkCount(), 0);
  EXPECT_EQ(editor.lineOrigin(), 1);
}

TEST_F(EditorTest, ClearingTheChartEndsTheLineInProgress) {
  place(kItemPos, 0, 0);
  place(kItemPos, 200, 0);
  place(kItemPos, 400, 0);
  editor.setToolMode(kToolConnection);
  click(410, 10);  // a line from item 2
  click(300, 100);
  ASSERT_EQ(editor.lineOrigin(), 2);
  // The chart is replaced by one of two items (a read-back, a dropped file).
  chart.clear();
  place(kItemPos, 0, 0);
  place(kItemPos, 200, 0);
  EXPECT_FALSE(editor.followsChart());
  editor.mouseMove({50, 50}, 0);
  EXPECT_TRUE(editor.followsChart());
  EXPECT_EQ(editor.lineOrigin(), -1);
  EXPECT_TRUE(editor.linePoints().empty());
  EXPECT_EQ(editor.toolMode(), kToolConnection);
  // The next click begins a new line instead of ending the old one.
  click(210, 10);
  EXPECT_EQ(chart.linkCount(), 0);
  EXPECT_EQ(editor.lineOrigin(), 1);
}

TEST_F(EditorTest, AssigningAWholeChartEndsTheLineInProgress) {
  place(kItemPos, 0, 0);
  place(kItemPos, 200, 0);
  editor.setToolMode(kToolConnection);
  click(10, 10);
  Chart other;
  other.createItem(kItemPos, 0, 0);
  other.createItem(kItemPos, 200, 0);
  chart = other;  // the same indices, other items
  click(210, 10);
  EXPECT_EQ(chart.linkCount(), 0);
  EXPECT_EQ(editor.lineOrigin(), 1);
}

TEST_F(EditorTest, LineClickNeverUsesAnOriginOutsideTheItems) {
  place(kItemPos, 0, 0);
  place(kItemPos, 200, 0);
  place(kItemPos, 400, 0);
  editor.setToolMode(kToolConnection);
  click(410, 10);
  chart.items.pop_back();  // item 2 is gone without the chart being cleared
  click(210, 10);
  EXPECT_EQ(chart.linkCount(), 0);
  EXPECT_EQ(editor.lineOrigin(), 1);
}

TEST_F(EditorTest, ClearingTheChartForgetsHitsAndTheRubberBand) {
  place(kItemPos, 0, 0);
  editor.mouseDown(kMouseLeft, {300, 300}, kMouseLeft);  // a rubber band begins
  ASSERT_TRUE(editor.rubberBand());
  chart.clear();
  place(kItemPos, 0, 0);
  editor.followChart();
  EXPECT_FALSE(editor.rubberBand());
  click(10, 10);
  chart.clear();
  place(kItemPos, 100, 100);
  chart.items[0].Selected = true;
  editor.mouseMove({60, 60}, kMouseLeft);  // a drag with no press of its own
  EXPECT_EQ(chart.items[0].Left, 100);
  EXPECT_EQ(editor.doubleClick().kind, DoubleClickAction::kChartData);
}

TEST_F(EditorTest, StartToolSetsOrClearsTheStart) {
  place(kItemPos, 0, 0);
  place(kItemPos, 100, 0);
  editor.setToolMode(kToolStart);
  click(110, 10);
  EXPECT_EQ(chart.Start, 1);
  EXPECT_EQ(editor.toolMode(), kToolStart);
  click(400, 400);
  EXPECT_EQ(chart.Start, -1);
}

// --- keys, copy and paste ------------------------------------------------------------------------

TEST_F(EditorTest, DeleteOnlyInSelectMode) {
  place(kItemPos, 0, 0);
  chart.items[0].Selected = true;
  editor.setToolMode(kToolPos);
  editor.deleteKey();
  EXPECT_EQ(chart.itemCount(), 1);
  editor.escapeKey();
  EXPECT_EQ(editor.toolMode(), kToolSelect);
  chart.items[0].Selected = true;
  editor.deleteKey();
  EXPECT_EQ(chart.itemCount(), 0);
}

TEST_F(EditorTest, CopyTakesTheReferenceOnlyWhenBothLeftAndAbove) {
  place(kItemPos, 100, 50);
  place(kItemPos, 40, 80);
  chart.items[0].Name = "A";
  chart.items[1].Name = "B";
  chart.items[0].Selected = chart.items[1].Selected = true;
  editor.copy();
  ASSERT_EQ(chart.clipboard.items.size(), 2u);
  EXPECT_EQ(chart.clipboard.items[1].Left, -60);
  EXPECT_EQ(chart.clipboard.items[1].Top, 30);
  editor.mouseMove({200, 200}, 0);
  editor.paste();
  ASSERT_EQ(chart.itemCount(), 4);
  EXPECT_EQ(chart.items[2].Left, 200);
  EXPECT_EQ(chart.items[2].Top, 200);
  EXPECT_EQ(chart.items[3].Left, 140);
  EXPECT_EQ(chart.items[3].Top, 230);
  EXPECT_EQ(itemSelection(), (std::vector<bool>{false, false, true, true}));
  editor.paste();
  ASSERT_EQ(chart.itemCount(), 6);
  EXPECT_EQ(chart.items[4].Name, "A");
  EXPECT_EQ(chart.items[5].Name, "B");
}

TEST_F(EditorTest, CopyCarriesOnlySelectedLinesBetweenCopiedItems) {
  place(kItemPos, 100, 100);
  place(kItemCmp, 300, 100);
  place(kItemPos, 500, 100);
  link(0, 1, {{200, 150}}, 0);
  link(1, 2, {}, 1);
  link(1, 0, {}, 1);
  chart.items[0].Selected = chart.items[1].Selected = true;
  chart.links[0].Selected = true;
  chart.links[1].Selected = true;  // its final end is not copied
  editor.copy();
  ASSERT_EQ(chart.clipboard.links.size(), 1u);
  editor.mouseMove({0, 0}, 0);
  editor.paste();
  ASSERT_EQ(chart.linkCount(), 4);
  const ChartLink& pasted = chart.links[3];
  EXPECT_EQ(pasted.Origin, 3);
  EXPECT_EQ(pasted.Final, 4);
  EXPECT_EQ(pasted.Point, (std::vector<ChartPoint>{{100, 50}}));
  EXPECT_TRUE(pasted.Selected);
  EXPECT_FALSE(chart.links[0].Selected);
}

TEST_F(EditorTest, CopyWithNothingSelectedKeepsTheClipboard) {
  place(kItemPos, 10, 10);
  chart.items[0].Selected = true;
  editor.copy();
  chart.deselectAll();
  editor.copy();
  EXPECT_EQ(chart.clipboard.items.size(), 1u);
}

TEST_F(EditorTest, PasteRefusesKindsThatDoNotFitTheChart) {
  place(kItemPos, 10, 10);
  chart.items[0].Selected = true;
  editor.copy();
  chart.deleteSelected();
  chart.createItem(kItemMot, 0, 0);
  editor.paste();
  EXPECT_EQ(chart.itemCount(), 1);
  chart.items[0].Selected = true;
  chart.deleteSelected();
  editor.paste();  // an empty chart takes the copy's type
  EXPECT_EQ(chart.itemCount(), 1);
  EXPECT_EQ(chart.Type, kMotionChart);
}

// --- context menu --------------------------------------------------------------------------------

TEST_F(EditorTest, ContextMenuEntriesFollowTheHit) {
  place(kItemPos, 0, 0);
  place(kItemPos, 200, 0);
  link(0, 1, {{125, 100}});
  // Nothing hit.
  EXPECT_TRUE(editor.mouseDown(kMouseRight, {400, 400}, kMouseRight));
  ContextMenuState m = editor.contextMenu();
  EXPECT_TRUE(m.copy && m.paste && m.conversion);
  EXPECT_FALSE(m.remove || m.color || m.property || m.pointAdd || m.pointDelete || m.separate0);
  // An item: selected alone, "プロパティ" enabled for exactly one.
  EXPECT_TRUE(editor.mouseDown(kMouseRight, {10, 10}, kMouseRight));
  m = editor.contextMenu();
  EXPECT_TRUE(m.copy && m.paste && m.conversion && m.separate0 && m.remove && m.color &&
              m.property);
  EXPECT_TRUE(m.propertyEnabled);
  EXPECT_FALSE(m.pointAdd || m.pointDelete);
  EXPECT_TRUE(chart.items[0].Selected);
  chart.items[1].Selected = true;
  editor.mouseDown(kMouseRight, {10, 10}, kMouseRight);
  EXPECT_FALSE(editor.contextMenu().propertyEnabled);
  EXPECT_TRUE(chart.items[1].Selected);  // already selected: selection unchanged
  // A bend point.
  editor.mouseDown(kMouseRight, {125, 100}, kMouseRight);
  m = editor.contextMenu();
  EXPECT_TRUE(m.pointDelete);
  EXPECT_FALSE(m.copy || m.remove || m.pointAdd);
  EXPECT_TRUE(chart.links[0].Selected);
  EXPECT_FALSE(chart.items[0].Selected);
  // A segment: "削除" and "折れ目の追加"; the added point splits exactly that segment.
  editor.mouseDown(kMouseRight, {75, 57}, kMouseRight);  // middle of (25, 15) -> (125, 100)
  m = editor.contextMenu();
  EXPECT_TRUE(m.remove && m.pointAdd);
  EXPECT_FALSE(m.pointDelete || m.copy);
  editor.addBendPoint();
  EXPECT_EQ(chart.links[0].Point, (std::vector<ChartPoint>{{75, 57}, {125, 100}}));
  // Removing a bend point through the menu.
  editor.mouseDown(kMouseRight, {125, 100}, kMouseRight);
  editor.deleteBendPoint();
  EXPECT_EQ(chart.links[0].Point, (std::vector<ChartPoint>{{75, 57}}));
}

TEST_F(EditorTest, ContextMenuOnlyInSelectAndPlaceModes) {
  editor.setToolMode(kToolSet);
  EXPECT_TRUE(editor.mouseDown(kMouseRight, {5, 5}, kMouseRight));
  editor.setToolMode(kToolStart);
  EXPECT_FALSE(editor.mouseDown(kMouseRight, {5, 5}, kMouseRight));
}

TEST_F(EditorTest, MenuDeselectAllAndColours) {
  place(kItemPos, 0, 0);
  place(kItemPos, 100, 0);
  editor.setToolMode(kToolConnection);
  click(10, 10);
  editor.selectAllItems();
  EXPECT_EQ(itemSelection(), (std::vector<bool>{true, true}));
  EXPECT_EQ(editor.selectedItems(), (std::vector<int>{0, 1}));
  editor.setSelectedColor(kSysButtonFaceColor);
  EXPECT_EQ(chart.items[0].Color, 0x8000000Fu);
  EXPECT_EQ(chart.items[1].Color, 0x8000000Fu);
  EXPECT_EQ(chart.selectedItemCount(), 0);
  editor.deselectTool();
  EXPECT_EQ(editor.toolMode(), kToolSelect);
  EXPECT_FALSE(editor.lineDrawing());
  EXPECT_EQ(editor.lineOrigin(), -1);
}

TEST_F(EditorTest, ColourMenuHoldsTheSeventeenFixedColours) {
  const auto& colors = menuColors();
  ASSERT_EQ(colors.size(), 17u);
  EXPECT_STREQ(colors.front().caption, "標準色");
  EXPECT_EQ(colors.front().color, 0x8000000Fu);
  EXPECT_STREQ(colors[5].caption, "茶色");
  EXPECT_EQ(colors[5].color, 128u);
  EXPECT_STREQ(colors.back().caption, "黄土");
  EXPECT_EQ(colors.back().color, 32896u);
}

TEST_F(EditorTest, PropertyItemRepeatsTheHitTest) {
  place(kItemPos, 0, 0);
  editor.mouseDown(kMouseRight, {10, 10}, kMouseRight);
  EXPECT_EQ(editor.propertyItem(), 0);
  editor.mouseDown(kMouseRight, {300, 10}, kMouseRight);
  EXPECT_EQ(editor.propertyItem(), -1);
}

// --- double click --------------------------------------------------------------------------------

TEST_F(EditorTest, DoubleClickDispatchesByHit) {
  place(kItemPos, 0, 0);
  place(kItemPos, 200, 0);
  link(0, 1, {{125, 100}});
  click(10, 10);
  DoubleClickAction a = editor.doubleClick();
  EXPECT_EQ(a.kind, DoubleClickAction::kItemEditor);
  EXPECT_EQ(a.item, 0);
  click(400, 400);
  EXPECT_EQ(editor.doubleClick().kind, DoubleClickAction::kChartData);
  click(125, 100);  // bend point: nothing
  EXPECT_EQ(editor.doubleClick().kind, DoubleClickAction::kNothing);
  click(75, 57);  // segment: reversed
  EXPECT_EQ(editor.doubleClick().kind, DoubleClickAction::kLineReversed);
  EXPECT_EQ(chart.links[0].Origin, 1);
  EXPECT_EQ(chart.links[0].Final, 0);
}

TEST_F(EditorTest, DoubleClickOnAMotionItemOrOutsideSelectModeOpensNothing) {
  chart.createItem(kItemMot, 0, 0);
  click(10, 10);
  EXPECT_EQ(editor.doubleClick().kind, DoubleClickAction::kNothing);
  editor.setToolMode(kToolStart);
  click(400, 400);
  EXPECT_EQ(editor.doubleClick().kind, DoubleClickAction::kNothing);
}

// --- motion table drops --------------------------------------------------------------------------

TEST_F(EditorTest, MotionDropMakesAnUnsnappedMotionItem) {
  editor.setGrid(true, 10, 10);
  EXPECT_FALSE(ChartEditor::acceptsMotionRow(80));
  EXPECT_FALSE(ChartEditor::acceptsMotionRow(-1));
  EXPECT_TRUE(ChartEditor::acceptsMotionRow(79));
  EXPECT_EQ(editor.dropMotion(80, "S1 X", {3, 3}), -1);
  const int item = editor.dropMotion(2, "M3 WALK", {33, 47});
  ASSERT_EQ(item, 0);
  EXPECT_EQ(chart.Type, kScenarioChart);
  EXPECT_EQ(chart.items[0].Type, kItemMot);
  EXPECT_EQ(chart.items[0].PrmByte, 2);
  EXPECT_EQ(chart.items[0].Name, "M3 WALK");
  EXPECT_EQ(chart.items[0].Left, 33);
  EXPECT_EQ(chart.items[0].Top, 47);
  EXPECT_EQ(chart.items[0].Width, kDefaultItemWidth);  // nothing to measure names with
}

TEST_F(EditorTest, DroppedMotionItemIsAsWideAsItsName) {
  editor.textWidth = [](const std::string& text) { return 7 * static_cast<int>(text.size()); };
  const int item = editor.dropMotion(2, "M3 WAVE2", {0, 0});
  ASSERT_EQ(item, 0);
  EXPECT_EQ(chart.items[0].Width, 7 * 8 + kMotionNamePadding);
}

TEST_F(EditorTest, MotionDropIntoAMotionChartIsSilentlyRefused) {
  place(kItemPos, 0, 0);
  EXPECT_EQ(editor.dropMotion(0, "M1 A", {100, 100}), -1);
  EXPECT_EQ(chart.itemCount(), 1);
  EXPECT_TRUE(ui.messages.empty());
}

// --- damaged links -------------------------------------------------------------------------------

TEST_F(EditorTest, LinksWithMissingEndsAreSafeEverywhere) {
  place(kItemPos, 0, 0);
  place(kItemPos, 200, 0);
  link(-1, 1, {{100, 100}});
  link(0, 42, {{150, 150}});
  drag({0, 300}, {400, 0});  // rubber band over everything
  EXPECT_FALSE(chart.links[0].Selected);
  EXPECT_FALSE(chart.links[1].Selected);
  chart.links[0].Selected = chart.links[1].Selected = true;
  editor.copy();
  EXPECT_TRUE(chart.clipboard.links.empty());
  chart.deselectAll();
  click(150, 150);  // bend point of the broken link
  editor.mouseMove({160, 160}, kMouseLeft);
  EXPECT_EQ(chart.links[1].Point[0], (ChartPoint{160, 160}));
  click(92, 87);  // middle of (25, 15) -> (160, 160) on the link without a final item
  EXPECT_EQ(editor.doubleClick().kind, DoubleClickAction::kNothing);
  EXPECT_EQ(chart.links[1].Origin, 0);
  // The link without an origin is not drawn: its bend point cannot be hit, selected or deleted.
  chart.deselectAll();
  editor.mouseDown(kMouseRight, {100, 100}, kMouseRight);
  EXPECT_FALSE(editor.contextMenu().pointDelete);
  EXPECT_FALSE(chart.links[0].Selected);
  editor.deleteBendPoint();
  EXPECT_EQ(chart.links[0].Point.size(), 1u);
  editor.mouseDown(kMouseLeft, {100, 100}, kMouseLeft | kKeyShift);  // Shift+click toggles a hit
  EXPECT_FALSE(chart.links[0].Selected);
  editor.mouseMove({110, 110}, kMouseLeft | kKeyShift);
  editor.mouseUp(kMouseLeft, {110, 110}, 0);
  EXPECT_EQ(chart.links[0].Point[0], (ChartPoint{100, 100}));
  chart.items[1].Selected = false;
  chart.items[0].Selected = true;
  editor.deleteKey();
  ASSERT_EQ(chart.linkCount(), 1);  // only the link from the deleted item went
  EXPECT_EQ(chart.links[0].Point.size(), 1u);
}

}  // namespace
}  // namespace pvrj
