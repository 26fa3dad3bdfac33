// Tests of undo and redo: every kind of change, undone and redone, gives back the saved chart byte
// for byte; new changes end the redo steps; the step limit; files opened into the chart.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "chart/ChannelConversion.h"
#include "chart/ChartEditor.h"
#include "chart/ChartFile.h"
#include "chart/ChartHistory.h"
#include "common/FileIo.h"
#include "support/FakeUserInterface.h"
#include "support/TempFolderTest.h"

namespace pvrj {
namespace {

// Three items in a line, POS1 -> CMP1 -> SET1 with a bend point on the second line, start at POS1.
void buildChart(Chart& chart) {
  chart.createItem(kItemPos, 40, 40);
  chart.createItem(kItemCmp, 140, 40);
  chart.createItem(kItemSet, 240, 40);
  chart.createItem(kItemPos, 40, 140);
  const auto join = [&chart](int origin, int final, std::vector<ChartPoint> points, int main) {
    const int l = chart.appendLinks(1);
    chart.links[l].Origin = origin;
    chart.links[l].Final = final;
    chart.links[l].Main = static_cast<std::uint8_t>(main);
    chart.links[l].Point = std::move(points);
  };
  join(0, 1, {}, 0);
  join(1, 2, {{190, 90}}, 1);
  join(2, 3, {{265, 155}}, 0);
  join(3, 0, {}, 0);
  chart.items[0].PrmWords.fill(16384);
  chart.items[3].PrmWords.fill(16000);
  chart.Start = 0;
  chart.deselectAll();
}

// A large chart made quickly (createItem looks for a free name each time).
void buildGrid(Chart& chart, int items) {
  chart.clear();
  const int first = chart.appendItems(items);
  for (int i = 0; i < items; ++i) {
    ChartItem& item = chart.items[static_cast<std::size_t>(first + i)];
    item = defaultItem(kItemPos, 10 + (i % 100) * 60, 10 + (i / 100) * 40);
    item.Name = "POS" + std::to_string(i + 1);
  }
}

class HistoryTest : public test::TempFolderTest {
 public:
  void SetUp() override {
    TempFolderTest::SetUp();
    buildChart(chart);
    history.reset();
  }
  std::string saved() const { return chartFileText(chart); }
  void click(int x, int y, unsigned extra = 0) {
    editor.mouseDown(kMouseLeft, {x, y}, kMouseLeft | extra);
    editor.mouseUp(kMouseLeft, {x, y}, extra);
  }
  void drag(ChartPoint from, ChartPoint to) {
    editor.mouseDown(kMouseLeft, from, kMouseLeft);
    for (int s = 1; s <= 4; ++s)
      editor.mouseMove({from.x + (to.x - from.x) * s / 4, from.y + (to.y - from.y) * s / 4},
                       kMouseLeft);
    editor.mouseUp(kMouseLeft, to, 0);
  }
  std::string writeChartFile(const Chart& source, const std::string& name) {
    const std::string file = path(name);
    EXPECT_TRUE(writeTextFile(file, chartFileText(source)).ok());
    return file;
  }

  Chart chart;
  test::FakeUserInterface ui;
  ChartEditor editor{chart, ui};
  ChartHistory history{chart};
};

struct Change {
  const char* name;
  std::function<void(HistoryTest&)> run;
};

class EveryChange : public HistoryTest, public ::testing::WithParamInterface<Change> {};

// Each kind of change, made the way the windows make it.
const Change kChanges[] = {
    {"PlacePos",
     [](HistoryTest& t) {
       t.editor.setToolMode(kToolPos);
       t.click(300, 200);
     }},
    {"PlaceSetIntoEmptyChart",
     [](HistoryTest& t) {
       t.chart.selectAll();
       t.editor.deleteKey();
       t.editor.setToolMode(kToolSet);
       t.click(10, 10);
     }},
    {"DragOneItem",
     [](HistoryTest& t) {
       t.drag({45, 45}, {95, 205});
     }},
    {"DragGroupWithBendPoints",
     [](HistoryTest& t) {
       t.drag({5, 5}, {300, 100});  // rubber band over the top row
       t.drag({145, 45}, {165, 85});
     }},
    {"DragBendPoint",
     [](HistoryTest& t) {
       t.drag({190, 90}, {210, 120});
     }},
    {"DeleteOneItemAndItsLines",
     [](HistoryTest& t) {
       t.click(145, 45);
       t.editor.deleteKey();
     }},
    {"DeleteFirstItemRenumbersTheRest",
     [](HistoryTest& t) {
       t.click(45, 45);
       t.editor.deleteKey();
     }},
    {"DeleteEverything",
     [](HistoryTest& t) {
       t.editor.selectAllItems();
       t.editor.deleteKey();
     }},
    {"DeleteOneLine",
     [](HistoryTest& t) {
       t.click(115, 55);  // middle of the line POS1 -> CMP1
       t.editor.deleteKey();
     }},
    {"CopyAndPaste",
     [](HistoryTest& t) {
       t.drag({5, 5}, {300, 100});
       t.editor.copy();
       t.editor.mouseMove({400, 300}, 0);
       t.editor.paste();
     }},
    {"ConnectionLineWithBendPoints",
     [](HistoryTest& t) {
       t.editor.setToolMode(kToolConnection);
       t.click(45, 145);
       t.click(100, 300);
       t.click(200, 300);
       t.click(245, 45);
     }},
    {"LineDrawnAgainReplacesIt",
     [](HistoryTest& t) {
       t.editor.setToolMode(kToolBranch);
       t.click(145, 45);
       t.click(245, 45);
     }},
    {"AddBendPoint",
     [](HistoryTest& t) {
       t.editor.mouseDown(kMouseRight, {115, 55}, kMouseRight);
       t.editor.addBendPoint();
     }},
    {"DeleteBendPoint",
     [](HistoryTest& t) {
       t.editor.mouseDown(kMouseRight, {190, 90}, kMouseRight);
       t.editor.deleteBendPoint();
     }},
    {"ReverseLine",
     [](HistoryTest& t) {
       t.click(115, 55);
       t.editor.doubleClick();
     }},
    {"Colour",
     [](HistoryTest& t) {
       t.drag({5, 5}, {300, 100});
       t.editor.setSelectedColor(255);
     }},
    {"StartItem",
     [](HistoryTest& t) {
       t.editor.setToolMode(kToolStart);
       t.click(245, 45);
     }},
    {"Conversion",
     [](HistoryTest& t) {
       t.drag({5, 5}, {300, 200});
       ChannelRules rules;
       rules[0] = "ADD(100)";
       rules[5] = "Reverse";
       ASSERT_TRUE(convertSelectedItems(t.chart, rules));
     }},
    {"ItemPropertyAndEditorWrites",
     [](HistoryTest& t) {
       ChartItem& item = t.chart.items[2];
       item.Name = "SET-右";
       item.Width = 80;
       item.PrmWords.fill(32800);
       item.PrmByte = 3;
     }},
    {"ChartHeaderAndCanvasSize",
     [](HistoryTest& t) {
       t.chart.Name = "WAVE";
       t.chart.Port = 0x00FF;
       t.chart.Ctrl = 12;
       t.chart.Width = 900;
       t.chart.Height = 700;
     }},
    {"MotionDroppedIntoEmptyChart",
     [](HistoryTest& t) {
       t.chart.selectAll();
       t.editor.deleteKey();
       t.editor.dropMotion(4, "M5 WALK", {30, 30});
     }},
    {"FileAddedToTheChart",
     [](HistoryTest& t) {
       Chart other;
       other.createItem(kItemPos, 10, 300);
       other.createItem(kItemPos, 90, 300);
       const int l = other.appendLinks(1);
       other.links[l].Origin = 0;
       other.links[l].Final = 1;
       ClientArea client;
       EXPECT_TRUE(openFile(t.chart, client, t.writeChartFile(other, "add.VLB"), t.ui).opened);
     }},
    {"FileOfTheOtherTypeReplacesTheChart",
     [](HistoryTest& t) {
       Chart scenario;
       scenario.createItem(kItemMot, 20, 20);
       scenario.Name = "SCN";
       ClientArea client;
       t.ui.answers.push_back(kIdOk);
       EXPECT_TRUE(openFile(t.chart, client, t.writeChartFile(scenario, "s.VLB"), t.ui).opened);
       EXPECT_EQ(t.chart.Type, kScenarioChart);
     }},
};

TEST_P(EveryChange, UndoAndRedoGiveTheSavedChartBack) {
  const std::string before = saved();
  GetParam().run(*this);
  const std::string after = saved();
  ASSERT_NE(before, after) << "the change changed nothing";
  ASSERT_TRUE(history.modified());
  ASSERT_TRUE(history.commit());
  EXPECT_FALSE(history.commit());  // recorded once

  const std::uint64_t generation = chart.generation.value();
  ASSERT_TRUE(history.undo());
  EXPECT_EQ(saved(), before);
  EXPECT_NE(chart.generation.value(), generation);  // indices held elsewhere are dropped
  EXPECT_FALSE(history.modified());
  ASSERT_TRUE(history.redo());
  EXPECT_EQ(saved(), after);
  // And once more, since each step swaps what it holds.
  ASSERT_TRUE(history.undo());
  EXPECT_EQ(saved(), before);
  ASSERT_TRUE(history.redo());
  EXPECT_EQ(saved(), after);
  EXPECT_FALSE(history.canRedo());
}

INSTANTIATE_TEST_SUITE_P(History, EveryChange, ::testing::ValuesIn(kChanges),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HistoryTest, StepsUndoneOneByOneInTheirOrder) {
  std::vector<std::string> states{saved()};
  for (int k = 0; k < 5; ++k) {
    editor.setToolMode(kToolPos);
    click(400, 40 + 50 * k);
    ASSERT_TRUE(history.commit());
    states.push_back(saved());
  }
  click(45, 45);
  editor.deleteKey();
  ASSERT_TRUE(history.commit());
  states.push_back(saved());
  for (std::size_t k = states.size() - 1; k > 0; --k) {
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(saved(), states[k - 1]) << k;
  }
  EXPECT_FALSE(history.undo());
  for (std::size_t k = 1; k < states.size(); ++k) {
    ASSERT_TRUE(history.redo());
    EXPECT_EQ(saved(), states[k]) << k;
  }
  EXPECT_FALSE(history.redo());
}

TEST_F(HistoryTest, AChangeNotYetRecordedIsWhatUndoTakesBack) {
  const std::string before = saved();
  chart.items[1].Color = 0;  // an editor writes straight into the item
  EXPECT_TRUE(history.pending());
  EXPECT_TRUE(history.canUndo());
  ASSERT_TRUE(history.undo());
  EXPECT_EQ(saved(), before);
}

TEST_F(HistoryTest, ANewChangeAfterUndoEndsTheRedoSteps) {
  chart.items[0].Left = 70;
  history.commit();
  chart.items[0].Left = 90;
  history.commit();
  ASSERT_TRUE(history.undo());
  ASSERT_TRUE(history.undo());
  EXPECT_EQ(history.redoCount(), 2u);
  chart.items[3].Top = 200;
  EXPECT_FALSE(history.canRedo());  // a change waits to be recorded
  EXPECT_FALSE(history.redo());     // and redo records it first
  EXPECT_EQ(history.redoCount(), 0u);
  EXPECT_EQ(chart.items[0].Left, 40);
  EXPECT_EQ(chart.items[3].Top, 200);
  ASSERT_TRUE(history.undo());
  EXPECT_EQ(chart.items[3].Top, 140);
}

TEST_F(HistoryTest, SelectionAloneIsNoStep) {
  click(45, 45);
  EXPECT_FALSE(history.pending());
  EXPECT_FALSE(history.commit());
  EXPECT_FALSE(history.canUndo());
  EXPECT_FALSE(history.modified());
}

TEST_F(HistoryTest, UndoSelectsWhatItChangedAsItWasSelected) {
  click(145, 45);
  history.commit();  // the click: a selection, no step
  editor.deleteKey();
  history.commit();
  click(45, 145);  // something else selected meanwhile
  ASSERT_TRUE(history.undo());
  ASSERT_EQ(chart.itemCount(), 4);
  EXPECT_TRUE(chart.items[1].Selected);
  EXPECT_FALSE(chart.items[3].Selected);
  EXPECT_EQ(chart.selectedItemCount(), 1);
}

TEST_F(HistoryTest, TheOldestStepsGoBeyondTheLimit) {
  ChartHistory small(chart, 200);
  for (int k = 1; k <= 250; ++k) {
    chart.items[0].Left = 40 + k;
    ASSERT_TRUE(small.commit());
  }
  EXPECT_EQ(small.undoCount(), 200u);
  while (small.undo()) {
  }
  EXPECT_EQ(chart.items[0].Left, 40 + 50);  // the state before the oldest step still kept
}

TEST_F(HistoryTest, TheDefaultLimitKeepsAtLeast200Steps) {
  for (int k = 1; k <= 220; ++k) {
    chart.items[k % 4].Top = 40 + k;
    ASSERT_TRUE(history.commit());
  }
  EXPECT_EQ(history.undoCount(), 220u);
  EXPECT_GE(kUndoStepLimit, 200u);
}

TEST_F(HistoryTest, TheByteBudgetDropsTheOldestSteps) {
  ChartHistory tight(chart, kUndoStepLimit, 4096);
  for (int k = 0; k < 20; ++k) {
    chart.items[0].Name = std::string(200, static_cast<char>('a' + k));  // a long name per step
    tight.commit();
  }
  EXPECT_LE(tight.stepBytes(), 4096u);
  EXPECT_GT(tight.undoCount(), 0u);
  EXPECT_LT(tight.undoCount(), 20u);
}

TEST_F(HistoryTest, ModifiedFollowsTheSavedState) {
  EXPECT_FALSE(history.modified());
  chart.items[0].Left = 60;
  EXPECT_TRUE(history.modified());
  history.markSaved(path("a.VLB"));
  EXPECT_FALSE(history.modified());
  EXPECT_EQ(history.filePath(), path("a.VLB"));
  chart.items[0].Left = 80;
  history.commit();
  EXPECT_TRUE(history.modified());
  history.undo();
  EXPECT_FALSE(history.modified());  // back at what the file holds
  history.undo();
  EXPECT_TRUE(history.modified());
}

TEST_F(HistoryTest, UndoingAnOpenedFileGivesBackTheOldChartAndItsFile) {
  history.markSaved(path("old.VLB"));
  const std::string before = saved();
  Chart scenario;
  scenario.createItem(kItemMot, 20, 20);
  const std::string file = writeChartFile(scenario, "new.VLB");
  ClientArea client;
  ui.answers.push_back(kIdOk);
  ASSERT_TRUE(openFile(chart, client, file, ui).opened);
  ASSERT_TRUE(history.commitOpened(file, true));
  EXPECT_EQ(history.filePath(), file);
  EXPECT_FALSE(history.modified());

  ASSERT_TRUE(history.undo());
  EXPECT_EQ(saved(), before);
  EXPECT_EQ(history.filePath(), path("old.VLB"));
  EXPECT_FALSE(history.modified());
  ASSERT_TRUE(history.redo());
  EXPECT_EQ(history.filePath(), file);
  EXPECT_EQ(chart.Type, kScenarioChart);
}

TEST_F(HistoryTest, AChartTakenAsNoFileIsModified) {
  EXPECT_FALSE(history.commitAs(""));  // no file before either: nothing to record
  EXPECT_FALSE(history.modified());
  history.markSaved(path("x.VLB"));
  chart.clear();
  chart.createItem(kItemPos, 5, 5);
  history.commitAs("");
  EXPECT_EQ(history.filePath(), "");
  EXPECT_TRUE(history.modified());
}

// Deleting the first of 10,000 items renumbers every link; the step keeps the one item and its
// lines, not the renumbered links.
TEST_F(HistoryTest, DeletingKeepsOnlyWhatWentNotTheRenumberedLinks) {
  constexpr int kItems = 10000;
  buildGrid(chart, kItems);
  for (int i = 0; i + 1 < kItems; ++i) {
    const int l = chart.appendLinks(1);
    chart.links[l].Origin = i;
    chart.links[l].Final = i + 1;
    chart.links[l].Point = {{i, i}};
  }
  chart.deselectAll();
  history.reset();
  const std::string before = saved();
  const std::size_t base = history.stepBytes();
  chart.items[0].Selected = true;
  chart.deleteSelected();
  ASSERT_TRUE(history.commit());
  EXPECT_LT(history.stepBytes() - base, std::size_t{4096});
  const std::string after = saved();
  ASSERT_TRUE(history.undo());
  EXPECT_EQ(saved(), before);
  ASSERT_TRUE(history.redo());
  EXPECT_EQ(saved(), after);
}

// A damaged link end inside the range that deleting frees must come back as it was.
TEST_F(HistoryTest, DamagedLinkEndsSurviveADeleteUndoneAndRedone) {
  const int l = chart.appendLinks(1);
  chart.links[l].Origin = 2;
  chart.links[l].Final = 7;  // names no item
  chart.links[l].Selected = false;
  chart.deselectAll();
  history.reset();
  const std::string before = saved();
  chart.items[0].Selected = true;
  chart.deleteSelected();
  history.commit();
  const std::string after = saved();
  ASSERT_TRUE(history.undo());
  EXPECT_EQ(saved(), before);
  ASSERT_TRUE(history.redo());
  EXPECT_EQ(saved(), after);
}

TEST_F(HistoryTest, MemoryOfAMoveIsTheMovedItems) {
  buildGrid(chart, 10000);
  history.reset();
  for (int i = 0; i < 10000; i += 10) chart.items[static_cast<std::size_t>(i)].Left += 5;
  ASSERT_TRUE(history.commit());
  EXPECT_LT(history.stepBytes(), 1000 * (sizeof(ChartItem) + 64));
  EXPECT_GT(history.memoryBytes(), 10000 * sizeof(ChartItem));  // the recorded chart besides
}

}  // namespace
}  // namespace pvrj
