// Read-back: records and scenario steps rebuilt into charts, and the compile / rebuild round trip.
#include "compiler/Rebuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ChartMaker.h"
#include "chart/ChartFile.h"
#include "chart/ChartHistory.h"
#include "compiler/Compile.h"
#include "support/FakeUserInterface.h"

namespace pvrj {
namespace {

using test::addItem;
using test::addLine;
using test::FakeUserInterface;

MotionRecord pose(std::uint16_t word, std::uint8_t speed = 100) {
  PrmWordArray w;
  w.fill(word);
  return makeRecord(speed, w);
}

struct Line {
  int main;
  int origin;
  int final;
  friend bool operator==(const Line&, const Line&) = default;
};

std::vector<Line> linesOf(const Chart& c) {
  std::vector<Line> lines;
  for (const ChartLink& l : c.links) {
    EXPECT_TRUE(l.Point.empty());
    lines.push_back({l.Main, l.Origin, l.Final});
  }
  return lines;
}

TEST(RebuildMotion, BranchBackExample) {
  ChartItem cmp;
  cmp.PrmWords.fill(0x8307);
  std::vector<MotionRecord> records = {pose(0), pose(0x8006, 1), encodeCompareStep(cmp, 0),
                                       encodeEndStep()};
  Chart c;
  c.Name = "WALK";
  c.clipboard.items.resize(1);
  MotionRebuild r = rebuildMotionChart(c, records);
  EXPECT_EQ(c.Type, kMotionChart);
  EXPECT_EQ(c.Name, "WALK");  // the header is the caller's
  EXPECT_TRUE(c.clipboard.empty());
  EXPECT_EQ(c.Start, 0);
  ASSERT_EQ(c.itemCount(), 3);
  EXPECT_EQ(r.itemOfRecord, (std::vector<int>{0, 1, 2, -1}));
  EXPECT_TRUE(r.unknownRecords.empty());
  EXPECT_EQ(c.items[0].Name, "POS1");
  EXPECT_EQ(c.items[0].Type, kItemPos);
  EXPECT_EQ(c.items[0].PrmByte, 100);
  EXPECT_EQ(c.items[1].Name, "SET1");
  EXPECT_EQ(c.items[1].Type, kItemSet);
  EXPECT_EQ(c.items[2].Name, "CMP1");
  EXPECT_EQ(c.items[2].Type, kItemCmp);
  EXPECT_EQ(c.items[2].PrmByte, 1);
  for (std::uint16_t w : c.items[2].PrmWords) EXPECT_EQ(w, 0x8307);
  EXPECT_EQ(linesOf(c), (std::vector<Line>{{0, 0, 1}, {0, 1, 2}, {1, 2, 0}}));
  // Column placement from (5, 5), 40 apart.
  EXPECT_EQ(c.items[0].Left, 5);
  EXPECT_EQ(c.items[0].Top, 5);
  EXPECT_EQ(c.items[2].Top, 85);
  EXPECT_EQ(c.items[1].Width, kDefaultItemWidth);
  EXPECT_EQ(c.items[1].Height, kDefaultItemHeight);
  EXPECT_EQ(c.items[1].Color, kWhite);
}

// A motion read back replaces the chart; undo gives the old chart back byte for byte, redo the
// read one.
TEST(RebuildMotion, AReadBackIsUndoneAsOneStep) {
  Chart c;
  addItem(c, kItemPos);
  addItem(c, kItemSet);
  addLine(c, 0, 1);
  c.Start = 1;
  c.Name = "OLD";
  ChartHistory history(c);
  const std::string before = chartFileText(c);
  rebuildMotionChart(c, {pose(16000), pose(16500, 50), encodeEndStep()});
  c.Name = "READ";  // the header from the board's table entry
  ASSERT_TRUE(history.commit());
  const std::string read = chartFileText(c);
  ASSERT_NE(read, before);
  ASSERT_TRUE(history.undo());
  EXPECT_EQ(chartFileText(c), before);
  ASSERT_TRUE(history.redo());
  EXPECT_EQ(chartFileText(c), read);
}

TEST(RebuildMotion, CompareKeepsItsBasesAndBranchesToTheTargetItem) {
  ChartItem cmp;
  cmp.PrmWords.fill(0x8C06);
  cmp.PrmWords[5] = 0x9A06;  // a mixed compare keeps each word's own base
  // Pose words ahead of the compare words are carried as they are, whatever their class's base.
  cmp.PrmWords[0] = 0;
  cmp.PrmWords[1] = 0x0100;
  std::vector<MotionRecord> records = {pose(1), encodeCompareStep(cmp, 3), pose(2), pose(3),
                                       encodeEndStep()};
  Chart c;
  rebuildMotionChart(c, records);
  ASSERT_EQ(c.itemCount(), 4);
  EXPECT_EQ(c.items[1].PrmWords, cmp.PrmWords);
  EXPECT_EQ(linesOf(c), (std::vector<Line>{{0, 0, 1}, {0, 1, 2}, {1, 1, 3}, {0, 2, 3}}));
}

TEST(RebuildMotion, JumpsGiveLinesNeverItems) {
  std::vector<MotionRecord> records = {pose(1), pose(2), encodeJumpStep(0)};
  Chart c;
  MotionRebuild r = rebuildMotionChart(c, records);
  EXPECT_EQ(c.itemCount(), 2);
  EXPECT_EQ(r.itemOfRecord, (std::vector<int>{0, 1, -1}));
  EXPECT_EQ(linesOf(c), (std::vector<Line>{{0, 0, 1}, {0, 1, 0}}));
}

TEST(RebuildMotion, JumpChainsAreFollowedAndCyclesEndNowhere) {
  // Record 1 jumps to 3, which jumps to 5: POS1's line leads to the item of record 5.
  std::vector<MotionRecord> records = {pose(1),           encodeJumpStep(3), pose(2),
                                       encodeJumpStep(5), encodeEndStep(),   pose(3),
                                       encodeJumpStep(7), encodeJumpStep(6)};
  Chart c;
  MotionRebuild r = rebuildMotionChart(c, records);
  ASSERT_EQ(c.itemCount(), 3);
  EXPECT_EQ(r.itemOfRecord[5], 2);
  // POS1 and POS2 both reach POS3 through the jumps; POS3 runs into a jump cycle: no line.
  EXPECT_EQ(linesOf(c), (std::vector<Line>{{0, 0, 2}, {0, 1, 2}}));
}

TEST(RebuildMotion, TargetsOutsideTheMotionGiveNoLine) {
  ChartItem cmp;
  cmp.PrmWords.fill(0x8307);
  std::vector<MotionRecord> records = {encodeCompareStep(cmp, 200), pose(1), encodeJumpStep(250)};
  Chart c;
  rebuildMotionChart(c, records);
  EXPECT_EQ(linesOf(c), (std::vector<Line>{{0, 0, 1}}));
}

TEST(RebuildMotion, RecordsOfNoClassBecomeNoItemAndNoLineLeadsThere) {
  std::vector<MotionRecord> records = {pose(1), pose(34000), pose(2),        encodeJumpStep(1),
                                       pose(3), pose(60000), encodeEndStep()};
  ChartItem cmp;
  cmp.PrmWords.fill(0x8307);
  records.insert(records.begin() + 4, encodeCompareStep(cmp, 5));  // branches to record 5
  Chart c;
  MotionRebuild r = rebuildMotionChart(c, records);
  EXPECT_EQ(r.unknownRecords, (std::vector<int>{1, 6}));
  EXPECT_EQ(r.itemOfRecord, (std::vector<int>{0, -1, 1, -1, 2, 3, -1, -1}));
  for (const ChartLink& l : c.links) {
    EXPECT_TRUE(c.validItem(l.Origin));
    EXPECT_TRUE(c.validItem(l.Final));
  }
  // POS1, the jump after POS2 and POS3 run into unknown records: no line; the compare's lines
  // both lead to POS3.
  EXPECT_EQ(linesOf(c), (std::vector<Line>{{0, 2, 3}, {1, 2, 3}}));
}

TEST(RebuildMotion, StartIsWhereTheMotionBegins) {
  Chart c;
  rebuildMotionChart(c, {encodeJumpStep(3), pose(4), encodeEndStep(), pose(5), encodeEndStep()});
  EXPECT_EQ(c.Start, 1);  // the item of record 3
  rebuildMotionChart(c, {encodeEndStep(), pose(5), encodeEndStep()});
  EXPECT_EQ(c.Start, -1);
  EXPECT_EQ(c.itemCount(), 1);
  rebuildMotionChart(c, {});
  EXPECT_EQ(c.Start, -1);
  EXPECT_EQ(c.itemCount(), 0);
}

TEST(RebuildMotion, ManyItemsWrapIntoColumns) {
  std::vector<MotionRecord> records(30, pose(7));
  Chart c;
  c.Height = 200;  // rows at 5, 45, 85, 125, 165 then a new column
  rebuildMotionChart(c, records);
  EXPECT_EQ(c.items[4].Left, 5);
  EXPECT_EQ(c.items[4].Top, 165);
  EXPECT_EQ(c.items[5].Left, 75);
  EXPECT_EQ(c.items[5].Top, 5);
  EXPECT_EQ(c.items[29].Name, "POS30");
}

TEST(RebuildScenario, ChainOfMotionReferences) {
  std::vector<std::string> asked;
  EntryNameSource names = [&](int slot) -> std::optional<std::string> {
    asked.push_back(std::to_string(slot));
    if (slot == 2) return std::string("WALK");
    if (slot == 79) return std::string();
    return std::nullopt;
  };
  TextWidthSource width = [](const std::string& s) { return static_cast<int>(s.size()) * 7; };
  Chart c;
  addItem(c, kItemPos);
  rebuildScenarioChart(c, {2, 0, 79}, names, width);
  EXPECT_EQ(c.Type, kScenarioChart);
  EXPECT_EQ(c.Start, 0);
  ASSERT_EQ(c.itemCount(), 3);
  EXPECT_EQ(asked, (std::vector<std::string>{"2", "0", "79"}));
  EXPECT_EQ(c.items[0].Name, "M3 WALK");
  EXPECT_EQ(c.items[1].Name, "M1 ");
  EXPECT_EQ(c.items[2].Name, "M80 ");
  EXPECT_EQ(c.items[0].Width, 7 * 7 + 20);
  EXPECT_EQ(c.items[0].Height, 30);
  EXPECT_EQ(c.items[2].Top, 85);
  for (const ChartItem& it : c.items) {
    EXPECT_EQ(it.Type, kItemMot);
    EXPECT_EQ(it.Color, kWhite);
    for (std::uint16_t w : it.PrmWords) EXPECT_EQ(w, 0);
  }
  EXPECT_EQ(c.items[2].PrmByte, 79);
  EXPECT_EQ(linesOf(c), (std::vector<Line>{{0, 0, 1}, {0, 1, 2}}));

  // Converting the rebuilt chart gives the same motion list back.
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileChart(c, ui, state));
  EXPECT_EQ(state.scenarioSteps, (std::vector<std::uint8_t>{2, 0, 79}));
}

TEST(ReadBackState, DumpRowsOfWhatWasRead) {
  CompilerState state;
  state.setReadMotion({pose(0x8006, 1), encodeEndStep()});
  EXPECT_EQ(state.stepCount, 2);
  EXPECT_EQ(state.dumpRows[1], readBackDumpRow(1, encodeEndStep()));
  EXPECT_EQ(state.dumpRows[0].substr(0, 12), "001 01 8006 ");
  state.setReadScenario({4, 0});
  EXPECT_EQ(state.dumpRows, (std::vector<std::string>{"M5", "M1"}));
  EXPECT_EQ(state.scenarioSteps, (std::vector<std::uint8_t>{4, 0}));
}

// ---- round trip: compile, rebuild from the records, compile again ----

std::uint16_t randomWord(std::mt19937& rng, int kind) {
  static const std::uint16_t kCompareBases[] = {0x8307, 0x8C06, 0x8D06, 0x8E06, 0x9206,
                                                0x9306, 0x9406, 0x9506, 0x9A06, 0x9B06};
  static const std::uint16_t kPoseSpecials[] = {0,      0x8000,      0x8001,    0x8002,
                                                0x8003, 0x8007 + 40, 0x8087 + 9};
  if (kind == kItemCmp) return kCompareBases[rng() % std::size(kCompareBases)];
  if (kind == kItemSet) {
    switch (rng() % 4) {
      case 0:
        return 0x8006;
      case 1:
        return static_cast<std::uint16_t>(0x8207 + 1 + rng() % 255);
      case 2:
        return static_cast<std::uint16_t>(64500 + rng() % 256);
      default:
        return static_cast<std::uint16_t>(0x9C06 + rng() % 17000);
    }
  }
  if (rng() % 5 == 0) return kPoseSpecials[rng() % std::size(kPoseSpecials)];
  return static_cast<std::uint16_t>(1 + rng() % 32767);
}

Chart randomChart(std::mt19937& rng) {
  Chart c;
  const int n = 1 + static_cast<int>(rng() % 60);
  for (int i = 0; i < n; ++i) {
    const int kind = static_cast<int>(rng() % 3);
    const int item = addItem(c, kind);
    ChartItem& it = c.items[item];
    if (kind == kItemCmp) {
      it.PrmWords.fill(randomWord(rng, kind));
    } else if (kind == kItemSet && rng() % 2) {
      it.PrmByte = static_cast<std::uint8_t>(rng());
      it.PrmWords.fill(randomWord(rng, kind));
    } else {
      it.PrmByte = static_cast<std::uint8_t>(1 + rng() % 255);
      for (std::uint16_t& w : it.PrmWords) w = randomWord(rng, kind);
    }
  }
  for (int i = 0; i < n; ++i) {
    if (rng() % 5 != 0) addLine(c, i, static_cast<int>(rng() % n));  // may be a line to itself
    if (c.items[i].Type == kItemCmp) addLine(c, i, static_cast<int>(rng() % n), 1);
    if (rng() % 10 == 0) addLine(c, i, rng() % 2 ? -1 : n + 3);  // a hand-edited dangling end
  }
  std::shuffle(c.links.begin(), c.links.end(), rng);
  c.Start = static_cast<int>(rng() % n);
  return c;
}

TEST(CompileRoundTrip, RebuiltChartCompilesToTheSameRecords) {
  std::mt19937 rng(20261208);
  int compared = 0;
  for (int round = 0; round < 400; ++round) {
    Chart original = randomChart(rng);
    FakeUserInterface ui;
    CompilerState first;
    ASSERT_TRUE(compileMotion(original, ui, first))
        << "round " << round << ": " << ui.lastMessage();
    Chart rebuilt;
    MotionRebuild r = rebuildMotionChart(rebuilt, first.records);
    EXPECT_TRUE(r.unknownRecords.empty());
    int reached = 0;
    for (const Step& s : first.steps) reached += s.item >= 0;
    EXPECT_EQ(rebuilt.itemCount(), reached);
    CompilerState second;
    ASSERT_TRUE(compileMotion(rebuilt, ui, second))
        << "round " << round << ": " << ui.lastMessage();
    ASSERT_EQ(second.records, first.records) << "round " << round;
    EXPECT_EQ(second.dumpRows, first.dumpRows);
    ++compared;
  }
  EXPECT_EQ(compared, 400);
}

}  // namespace
}  // namespace pvrj
