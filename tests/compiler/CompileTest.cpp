// The walk, listing, records and dump of motion charts, and the line checks with their messages.
#include "compiler/Compile.h"

#include <gtest/gtest.h>

#include "ChartMaker.h"
#include "support/FakeUserInterface.h"

namespace pvrj {
namespace {

using test::addItem;
using test::addLine;
using test::FakeUserInterface;
using test::repeat;

std::vector<std::string> listingLines(const std::string& listing) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < listing.size()) {
    std::size_t end = listing.find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "listing line without CR LF";
      break;
    }
    lines.push_back(listing.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

// Names of the items (or END / JMP) at each step.
std::vector<std::string> stepNames(const Chart& chart, const CompilerState& state) {
  std::vector<std::string> names;
  for (const Step& s : state.steps)
    names.push_back(s.item == kStepEnd    ? "END"
                    : s.item == kStepJump ? "JMP " + chart.items[s.target].Name
                                          : chart.items[s.item].Name);
  return names;
}

// POS1 -> SET1 -> CMP1, CMP1 branches back to POS1 and has no connection line.
Chart branchBackChart() {
  Chart c;
  const int pos = addItem(c, kItemPos);
  c.items[pos].PrmWords.fill(0);
  const int set = addItem(c, kItemSet);
  const int cmp = addItem(c, kItemCmp);
  c.Start = pos;
  addLine(c, pos, set);
  addLine(c, set, cmp);
  addLine(c, cmp, pos, 1);
  return c;
}

TEST(CompileExamples, BranchBack) {
  Chart c = branchBackChart();
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(stepNames(c, state), (std::vector<std::string>{"POS1", "SET1", "CMP1", "END"}));
  EXPECT_EQ(state.targetSteps, (std::vector<int>{-1, -1, 0, -1}));
  EXPECT_EQ(listingLines(state.listing),
            (std::vector<std::string>{
                "\"POS1\",PRM,64" + repeat("0000", 24), "\"SET1\",PRM,01" + repeat("8006", 24),
                "\"CMP1\",CPJ,\"POS1\",\"; POS1へ条件分岐\"", ",END,,\"; 終了\""}));
  EXPECT_EQ(state.dumpRows, (std::vector<std::string>{
                                "001 64" + repeat(" 0000", 24), "002 01" + repeat(" 8006", 24),
                                "003 01" + repeat(" 8307", 24), "004 01" + repeat(" ffff", 24)}));
  ASSERT_EQ(state.records.size(), 4u);
  EXPECT_EQ(state.stepCount, 4);
  EXPECT_EQ(state.records[0], encodeItemStep(c.items[0]));
  EXPECT_EQ(state.records[3], encodeEndStep());
}

TEST(CompileExamples, LoopJumpsBack) {
  Chart c;
  const int p1 = addItem(c, kItemPos);
  const int p2 = addItem(c, kItemPos);
  c.items[p1].PrmWords.fill(0x4000);
  c.Start = p1;
  addLine(c, p1, p2);
  addLine(c, p2, p1);
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  EXPECT_EQ(listingLines(state.listing),
            (std::vector<std::string>{"\"POS1\",PRM,64" + repeat("4000", 24),
                                      "\"POS2\",PRM,64" + repeat("0000", 24),
                                      ",JMP,\"POS1(0)\",\"; POS1にジャンプ\""}));
  EXPECT_EQ(state.dumpRows[2], "003 01" + repeat(" 8107", 24));
  EXPECT_EQ(state.records[2], encodeJumpStep(0));
}

TEST(CompileExamples, ListingTableRowsHoldTheLineFields) {
  Chart c = branchBackChart();
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  ASSERT_EQ(state.listingRows.size(), 4u);
  EXPECT_EQ(state.listingRows[0], (ListingRow{"0", "POS1", "PRM", "64" + repeat("0000", 24), ""}));
  EXPECT_EQ(state.listingRows[2], (ListingRow{"2", "CMP1", "CPJ", "POS1", "; POS1へ条件分岐"}));
  EXPECT_EQ(state.listingRows[3], (ListingRow{"3", "", "END", "", "; 終了"}));

  Chart loop;
  addItem(loop, kItemPos);
  addItem(loop, kItemPos);
  loop.Start = 0;
  addLine(loop, 0, 1);
  addLine(loop, 1, 0);
  ASSERT_TRUE(compileMotion(loop, ui, state));
  EXPECT_EQ(state.listingRows[2], (ListingRow{"2", "", "JMP", "POS1(0)", "; POS1にジャンプ"}));
}

TEST(CompileExamples, EmptyNamesStillGiveEveryColumn) {
  Chart c = branchBackChart();
  for (ChartItem& it : c.items) it.Name.clear();
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  const std::vector<std::string> lines = listingLines(state.listing);
  EXPECT_EQ(lines[0], "\"\",PRM,64" + repeat("0000", 24));
  EXPECT_EQ(lines[2], "\"\",CPJ,\"\",\"; へ条件分岐\"");
  EXPECT_EQ(state.listingRows[2], (ListingRow{"2", "", "CPJ", "", "; へ条件分岐"}));
}

TEST(CompileExamples, NamesWithCommasKeepTheirColumnsInTheTable) {
  Chart c = branchBackChart();
  c.items[0].Name = "a,\"b";
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  EXPECT_EQ(listingLines(state.listing)[2], "\"CMP1\",CPJ,\"a,\"b\",\"; a,\"bへ条件分岐\"");
  EXPECT_EQ(state.listingRows[2].operand, "a,\"b");
  EXPECT_EQ(state.listingRows[0].label, "a,\"b");
}

TEST(CompileExamples, CompareToLaterStepFollowsAfterTheMainPath) {
  // POS1 -> CMP1 -> POS2 -> POS3; CMP1 branches to POS4, which is laid out after the END.
  Chart c;
  const int p1 = addItem(c, kItemPos);
  const int cmp = addItem(c, kItemCmp);
  const int p2 = addItem(c, kItemPos);
  const int p3 = addItem(c, kItemPos);
  const int p4 = addItem(c, kItemPos);
  c.Start = p1;
  addLine(c, p1, cmp);
  addLine(c, cmp, p2);
  addLine(c, p2, p3);
  addLine(c, cmp, p4, 1);
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  EXPECT_EQ(stepNames(c, state),
            (std::vector<std::string>{"POS1", "CMP1", "POS2", "POS3", "END", "POS4", "END"}));
  EXPECT_EQ(state.targetSteps[1], 5);
  EXPECT_EQ(state.records[1][0], 0x01);
  EXPECT_EQ(state.dumpRows[1], "002 01" + repeat(" 830c", 24));
}

TEST(CompileExamples, CompareToStartIsStepZero) {
  Chart c = branchBackChart();
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  for (int ch = 0; ch < kChannelCount; ++ch) EXPECT_EQ(recordWord(state.records[2], ch), 0x8307);
}

TEST(CompileWalk, TwoComparesBranchingToOneNewItem) {
  Chart c;
  const int p1 = addItem(c, kItemPos);
  const int c1 = addItem(c, kItemCmp);
  const int c2 = addItem(c, kItemCmp);
  const int p2 = addItem(c, kItemPos);
  c.Start = p1;
  addLine(c, p1, c1);
  addLine(c, c1, c2);
  addLine(c, c1, p2, 1);
  addLine(c, c2, p2, 1);
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  EXPECT_EQ(stepNames(c, state),
            (std::vector<std::string>{"POS1", "CMP1", "CMP2", "END", "POS2", "END"}));
  EXPECT_EQ(state.targetSteps[1], 4);
  EXPECT_EQ(state.targetSteps[2], 4);
}

TEST(CompileWalk, SubWalksAreDepthFirstInTheOrderComparesWereMet) {
  // A -> C1 -> C2 (end); C1 branches to B, C2 to D; B -> C3 (end), C3 branches to E.
  Chart c;
  const int a = addItem(c, kItemPos, "A");
  const int c1 = addItem(c, kItemCmp, "C1");
  const int c2 = addItem(c, kItemCmp, "C2");
  const int b = addItem(c, kItemPos, "B");
  const int c3 = addItem(c, kItemCmp, "C3");
  const int d = addItem(c, kItemPos, "D");
  const int e = addItem(c, kItemPos, "E");
  c.Start = a;
  addLine(c, a, c1);
  addLine(c, c1, c2);
  addLine(c, c1, b, 1);
  addLine(c, c2, d, 1);
  addLine(c, b, c3);
  addLine(c, c3, e, 1);
  addLine(c, e, a);  // rejoins the main path
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  EXPECT_EQ(stepNames(c, state), (std::vector<std::string>{"A", "C1", "C2", "END", "B", "C3", "END",
                                                           "E", "JMP A", "D", "END"}));
  EXPECT_EQ(state.targetSteps[8], 0);
  EXPECT_EQ(state.targetSteps[5], 7);
  EXPECT_EQ(state.targetSteps[2], 9);
}

TEST(CompileWalk, BranchToItemAlreadyLaidOutMakesNoSubWalk) {
  Chart c;
  const int p1 = addItem(c, kItemPos);
  const int p2 = addItem(c, kItemPos);
  const int c1 = addItem(c, kItemCmp);
  c.Start = p1;
  addLine(c, p1, p2);
  addLine(c, p2, c1);
  addLine(c, c1, p2, 1);
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  EXPECT_EQ(stepNames(c, state), (std::vector<std::string>{"POS1", "POS2", "CMP1", "END"}));
  EXPECT_EQ(state.targetSteps[2], 1);
}

TEST(CompileWalk, UnreachableItemsMakeNoStepsAndAreNotChecked) {
  Chart c;
  const int p1 = addItem(c, kItemPos);
  const int lonely = addItem(c, kItemCmp);  // no branch line, but never reached
  const int p2 = addItem(c, kItemPos);
  addLine(c, lonely, p2);
  addLine(c, lonely, p1);
  c.Start = p1;
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(stepNames(c, state), (std::vector<std::string>{"POS1", "END"}));
}

TEST(CompileWalk, OneItemAloneGivesItAndEnd) {
  Chart c;
  addItem(c, kItemSet);
  c.Start = 0;
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  EXPECT_EQ(state.records.size(), 2u);
  EXPECT_EQ(state.records[0], encodeItemStep(c.items[0]));
  EXPECT_EQ(state.records[1], encodeEndStep());
}

TEST(CompileWalk, CompareWithBranchAndNoConnectionPasses) {
  Chart c;
  const int c1 = addItem(c, kItemCmp);
  const int p1 = addItem(c, kItemPos);
  c.Start = c1;
  addLine(c, c1, p1, 1);
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  EXPECT_EQ(stepNames(c, state), (std::vector<std::string>{"CMP1", "END", "POS1", "END"}));
}

TEST(CompileWalk, StartItemAnywhereInTheList) {
  Chart c;
  const int p1 = addItem(c, kItemPos);
  const int p2 = addItem(c, kItemPos);
  c.Start = p2;
  addLine(c, p2, p1);
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileMotion(c, ui, state));
  EXPECT_EQ(stepNames(c, state), (std::vector<std::string>{"POS2", "POS1", "END"}));
}

// ---- the checks and their messages ----

struct CheckCase {
  FakeUserInterface ui;
  CompilerState state;
  bool compile(const Chart& c) { return compileMotion(c, ui, state); }
};

TEST(CompileChecks, EmptyChartFailsSilently) {
  CheckCase k;
  Chart c;
  c.Start = 0;
  EXPECT_FALSE(k.compile(c));
  EXPECT_TRUE(k.ui.messages.empty());
}

TEST(CompileChecks, NoStartItemWarns) {
  CheckCase k;
  Chart c;
  addItem(c, kItemPos);
  EXPECT_FALSE(k.compile(c));
  ASSERT_EQ(k.ui.messages.size(), 1u);
  EXPECT_EQ(k.ui.messages[0].kind, kMsgWarning);
  EXPECT_EQ(k.ui.messages[0].buttons, kBtnOk);
  EXPECT_EQ(k.ui.messages[0].text, "スタートのアイテムを設定してください");
}

TEST(CompileChecks, StartOutsideTheItemListCountsAsNoStart) {
  for (int start : {1, 7, -5}) {
    CheckCase k;
    Chart c;
    addItem(c, kItemPos);
    c.Start = start;
    EXPECT_FALSE(k.compile(c));
    EXPECT_EQ(k.ui.lastMessage(), "スタートのアイテムを設定してください") << start;
  }
}

TEST(CompileChecks, CompareWithoutBranch) {
  CheckCase k;
  Chart c;
  const int p = addItem(c, kItemPos);
  const int cmp = addItem(c, kItemCmp, "待機");
  c.Start = p;
  addLine(c, p, cmp);
  EXPECT_FALSE(k.compile(c));
  ASSERT_EQ(k.ui.messages.size(), 1u);
  EXPECT_EQ(k.ui.messages[0].kind, kMsgError);
  EXPECT_EQ(k.ui.messages[0].buttons, kBtnOk);
  EXPECT_EQ(k.ui.messages[0].text, "待機からの分岐先がありません");
}

// Items of words no editor gives, whose step the board would read as another step, are refused
// by name: a compiled motion must branch and end where the chart says.
TEST(CompileChecks, StepsTheBoardWouldReadOtherwiseAreRefused) {
  struct Case {
    const char* what;
    int item;  // in branchBackChart: 0 POS1, 2 CMP1 (branching to step 0)
    std::uint16_t word;
    std::uint16_t lastWord;
  };
  const Case cases[] = {
      {"compare of no-value words reads as a pose", 2, 0x0000, 0x0000},
      {"compare whose last word carries another target", 2, 0x8307, 0x8307 + 5},
      {"pose of END words", 0, 0xFFFF, 0xFFFF},
      {"pose of jump words", 0, 0x8107, 0x8107},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Chart chart = branchBackChart();
    ChartItem& item = chart.items[static_cast<std::size_t>(c.item)];
    item.PrmWords.fill(c.word);
    item.PrmWords[kChannelCount - 1] = c.lastWord;
    CheckCase k;
    EXPECT_FALSE(k.compile(chart));
    ASSERT_EQ(k.ui.messages.size(), 1u);
    EXPECT_EQ(k.ui.messages[0].kind, kMsgError);
    EXPECT_EQ(k.ui.messages[0].text, stepReadsOtherwiseText(item.Name));
    EXPECT_TRUE(k.state.records.empty());
  }
}

TEST(CompileChecks, MissingBranchIsReportedBeforeSurplusConnections) {
  CheckCase k;
  Chart c;
  const int cmp = addItem(c, kItemCmp);
  const int a = addItem(c, kItemPos);
  const int b = addItem(c, kItemPos);
  c.Start = cmp;
  addLine(c, cmp, a);
  addLine(c, cmp, b);
  EXPECT_FALSE(k.compile(c));
  ASSERT_EQ(k.ui.messages.size(), 1u);
  EXPECT_EQ(k.ui.messages[0].text, "CMP1からの分岐先がありません");
}

TEST(CompileChecks, SurplusLinesNameTheirKinds) {
  struct Case {
    int connections;
    int branches;
    const char* text;
  };
  for (const Case& cs : {Case{2, 1, "CMP1からの結線に間違いがあります"},
                         Case{0, 2, "CMP1からの分岐線に間違いがあります"},
                         Case{1, 3, "CMP1からの分岐線に間違いがあります"},
                         Case{2, 2, "CMP1からの結線と分岐線に間違いがあります"}}) {
    CheckCase k;
    Chart c;
    const int cmp = addItem(c, kItemCmp);
    c.Start = cmp;
    for (int i = 0; i < cs.connections; ++i) addLine(c, cmp, addItem(c, kItemPos));
    for (int i = 0; i < cs.branches; ++i) addLine(c, cmp, addItem(c, kItemPos), 1);
    EXPECT_FALSE(k.compile(c));
    ASSERT_EQ(k.ui.messages.size(), 1u);
    EXPECT_EQ(k.ui.messages[0].kind, kMsgError);
    EXPECT_EQ(k.ui.messages[0].text, cs.text);
  }
}

TEST(CompileChecks, OnlyTheFirstFailingItemInWalkOrderIsReported) {
  CheckCase k;
  Chart c;
  const int p1 = addItem(c, kItemPos);
  const int bad2 = addItem(c, kItemPos, "後");
  const int bad1 = addItem(c, kItemPos, "先");
  c.Start = p1;
  addLine(c, p1, bad1);
  addLine(c, bad1, bad2);
  addLine(c, bad1, p1);
  addLine(c, bad2, p1);
  addLine(c, bad2, bad1);
  EXPECT_FALSE(k.compile(c));
  ASSERT_EQ(k.ui.messages.size(), 1u);
  EXPECT_EQ(k.ui.messages[0].text, "先からの結線に間違いがあります");
}

TEST(CompileChecks, FailureInASubWalkFailsTheCompile) {
  CheckCase k;
  Chart c;
  const int c1 = addItem(c, kItemCmp);
  const int c2 = addItem(c, kItemCmp);
  c.Start = c1;
  addLine(c, c1, c2, 1);  // CMP2 has no branch line
  EXPECT_FALSE(k.compile(c));
  EXPECT_EQ(k.ui.lastMessage(), "CMP2からの分岐先がありません");
}

TEST(CompileChecks, BranchLineFromAnItemThatCannotBranch) {
  CheckCase k;
  Chart c;
  const int p1 = addItem(c, kItemPos);
  const int p2 = addItem(c, kItemPos);
  c.Start = p1;
  addLine(c, p1, p2, 1);
  EXPECT_FALSE(k.compile(c));
  EXPECT_EQ(k.ui.lastMessage(), "POS1からの分岐線に間違いがあります");
}

TEST(CompileChecks, FailureLeavesTheLastImageAlone) {
  CheckCase k;
  Chart good = branchBackChart();
  ASSERT_TRUE(k.compile(good));
  const auto records = k.state.records;
  const auto listing = k.state.listing;
  const auto dump = k.state.dumpRows;
  Chart bad = branchBackChart();
  bad.links.pop_back();  // CMP1 loses its branch
  EXPECT_FALSE(k.compile(bad));
  EXPECT_EQ(k.state.records, records);
  EXPECT_EQ(k.state.listing, listing);
  EXPECT_EQ(k.state.dumpRows, dump);
}

// ---- hand-edited files: link ends outside the item list ----

TEST(CompileDanglingLines, LinesToNoItemAreNeverFollowed) {
  CheckCase k;
  Chart c;
  const int p1 = addItem(c, kItemPos);
  const int p2 = addItem(c, kItemPos);
  c.Start = p1;
  addLine(c, p1, -1);
  addLine(c, p1, p2);
  addLine(c, p2, 99);
  addLine(c, -1, p1);
  addLine(c, 42, p2);
  ASSERT_TRUE(k.compile(c));
  EXPECT_EQ(stepNames(c, k.state), (std::vector<std::string>{"POS1", "POS2", "END"}));
}

TEST(CompileDanglingLines, BranchToNoItemIsAMissingBranch) {
  CheckCase k;
  Chart c;
  const int cmp = addItem(c, kItemCmp);
  c.Start = cmp;
  addLine(c, cmp, 5, 1);
  EXPECT_FALSE(k.compile(c));
  EXPECT_EQ(k.ui.lastMessage(), "CMP1からの分岐先がありません");
}

// ---- limits ----

Chart chain(int n) {
  Chart c;
  c.items.resize(n);
  for (int i = 0; i < n; ++i) {
    c.items[i].Name = "P" + std::to_string(i);
    c.items[i].PrmByte = 100;
    if (i + 1 < n) addLine(c, i, i + 1);
  }
  c.Start = 0;
  return c;
}

TEST(CompileLimits, TwoHundredFiftySixStepsCompile) {
  CheckCase k;
  Chart c = chain(255);
  addLine(c, 254, 0);  // the JMP back is step 255
  ASSERT_TRUE(k.compile(c));
  EXPECT_EQ(k.state.records.size(), 256u);
  EXPECT_EQ(k.state.records.back(), encodeJumpStep(0));
  EXPECT_EQ(k.state.dumpRows.back().substr(0, 3), "256");
}

TEST(CompileLimits, MoreThanTwoHundredFiftySixStepsAreRefused) {
  CheckCase k;
  ASSERT_TRUE(k.compile(chain(3)));
  Chart c = chain(256);  // 256 items and END
  EXPECT_FALSE(k.compile(c));
  ASSERT_EQ(k.ui.messages.size(), 1u);
  EXPECT_EQ(k.ui.messages[0].kind, kMsgError);
  EXPECT_EQ(k.ui.messages[0].text, tooManyStepsText(257));
  EXPECT_NE(k.ui.messages[0].text.find("257"), std::string::npos);
  EXPECT_EQ(k.state.records.size(), 4u);  // the last good image stays
}

TEST(CompileLimits, LongChainDoesNotExhaustTheStack) {
  CheckCase k;
  EXPECT_FALSE(k.compile(chain(200000)));
  EXPECT_EQ(k.ui.lastMessage(), tooManyStepsText(200001));
}

TEST(CompileLimits, DeepBranchingDoesNotExhaustTheStack) {
  // Every compare branches to the next one and has no connection line: each path is one item and
  // END, and each branch target starts a sub-walk nested in the previous one.
  auto deep = [](int n) {
    Chart c;
    c.items.resize(n);
    for (int i = 0; i < n; ++i) {
      c.items[i].Type = kItemCmp;
      c.items[i].PrmByte = 1;
      c.items[i].PrmWords.fill(0x8307);
      c.items[i].Name = "C" + std::to_string(i);
    }
    for (int i = 0; i + 1 < n; ++i) addLine(c, i, i + 1, 1);
    addLine(c, n - 1, 0, 1);
    c.Start = 0;
    return c;
  };
  CheckCase big;
  EXPECT_FALSE(big.compile(deep(150000)));
  EXPECT_EQ(big.ui.lastMessage(), tooManyStepsText(300000));

  CheckCase small;
  ASSERT_TRUE(small.compile(deep(100)));
  ASSERT_EQ(small.state.records.size(), 200u);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(small.state.steps[2 * i].item, i);
    EXPECT_EQ(small.state.steps[2 * i + 1].item, kStepEnd);
    EXPECT_EQ(small.state.targetSteps[2 * i], i == 99 ? 0 : 2 * i + 2);
  }
}

// ---- scenario charts ----

Chart scenario(std::initializer_list<int> slots) {
  Chart c;
  for (int m : slots) {
    const int i = addItem(c, kItemMot, "M" + std::to_string(m + 1) + " MOVE");
    c.items[i].PrmByte = static_cast<std::uint8_t>(m);
  }
  for (int i = 0; i + 1 < c.itemCount(); ++i) addLine(c, i, i + 1);
  c.Start = c.items.empty() ? -1 : 0;
  return c;
}

TEST(ScenarioConversion, MotionNumbersInChainOrder) {
  Chart c = scenario({2, 0, 79});
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_EQ(c.Type, kScenarioChart);
  ASSERT_TRUE(compileChart(c, ui, state));
  EXPECT_EQ(state.scenarioSteps, (std::vector<std::uint8_t>{2, 0, 79}));
  EXPECT_EQ(state.stepCount, 3);
  EXPECT_EQ(state.dumpRows, (std::vector<std::string>{"M3 M3 MOVE", "M1 M1 MOVE", "M80 M80 MOVE"}));
  EXPECT_TRUE(state.records.empty());
  EXPECT_EQ(ui.statuses, std::vector<std::string>{"シナリオ変換成功: 3ステップ(LISTページ)"});
}

TEST(ScenarioConversion, StrayBranchLinePlaysNoPart) {
  // A hand-edited file: branch lines out of a motion item, even two of them.
  Chart c = scenario({4, 5, 6});
  addLine(c, 1, 0, 1);
  addLine(c, 1, 2, 1);
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(convertScenario(c, ui, state)) << ui.lastMessage();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(state.scenarioSteps, (std::vector<std::uint8_t>{4, 5, 6}));
}

TEST(ScenarioConversion, LineBackEndsTheListWithoutJump) {
  Chart c = scenario({4, 5, 6});
  addLine(c, 2, 1);
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(convertScenario(c, ui, state));
  EXPECT_EQ(state.scenarioSteps, (std::vector<std::uint8_t>{4, 5, 6}));
}

TEST(ScenarioConversion, FailedCheckClearsDumpAndSteps) {
  Chart c = scenario({1, 2, 3});
  addLine(c, 1, 0);  // MOT 2 now has two connection lines
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(convertScenario(scenario({9}), ui, state));
  EXPECT_FALSE(convertScenario(c, ui, state));
  EXPECT_EQ(ui.lastMessage(), "M3 MOVEからの結線に間違いがあります");
  EXPECT_TRUE(state.dumpRows.empty());
  EXPECT_TRUE(state.scenarioSteps.empty());
  EXPECT_EQ(state.stepCount, 0);
}

TEST(CompileButton, SaysHowManyRecordsTheListPageShows) {
  FakeUserInterface ui;
  CompilerState state;
  ASSERT_TRUE(compileChart(branchBackChart(), ui, state));
  EXPECT_EQ(ui.statuses, std::vector<std::string>{"コンパイル成功: 4レコード(LISTページ)"});
  // A refused chart says why in its message box and leaves no success text.
  Chart broken = branchBackChart();
  broken.links.pop_back();
  ui.statuses.clear();
  EXPECT_FALSE(compileChart(broken, ui, state));
  EXPECT_TRUE(ui.statuses.empty());
}

TEST(ScenarioConversion, EmptyAndStartlessCharts) {
  FakeUserInterface ui;
  CompilerState state;
  Chart empty;
  empty.Type = kScenarioChart;
  EXPECT_FALSE(compileChart(empty, ui, state));
  EXPECT_TRUE(ui.messages.empty());
  Chart noStart = scenario({1});
  noStart.Start = -1;
  EXPECT_FALSE(compileChart(noStart, ui, state));
  EXPECT_EQ(ui.lastMessage(), "スタートのアイテムを設定してください");
}

TEST(ScenarioConversion, SlotBeyondTheMotionsIsRefused) {
  Chart c = scenario({1, 80});
  FakeUserInterface ui;
  CompilerState state;
  EXPECT_FALSE(convertScenario(c, ui, state));
  EXPECT_EQ(ui.lastMessage(), motionNumberOutOfRangeText("M81 MOVE"));
  EXPECT_TRUE(state.scenarioSteps.empty());
}

}  // namespace
}  // namespace pvrj
