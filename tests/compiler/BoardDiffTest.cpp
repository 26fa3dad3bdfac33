// Differences between a chart and a slot, in words.
#include <gtest/gtest.h>

#include "ChartMaker.h"
#include "board/VirtualBoardPort.h"
#include "compiler/BoardDiff.h"
#include "compiler/Compile.h"
#include "compiler/Transfer.h"
#include "support/FakeUserInterface.h"

namespace pvrj {
namespace {

Chart twoPoses() {
  Chart chart;
  for (int i = 0; i < 2; ++i) {
    const int item = test::addItem(chart, kItemPos);
    chart.items[item].PrmByte = 100;
    chart.items[item].PrmWords.fill(16384);
    if (i > 0) test::addLine(chart, 0, 1);
  }
  chart.Start = 0;
  chart.Name = "歩く";
  chart.Port = 0x0000FF;
  chart.Ctrl = 500;
  return chart;
}

std::vector<MotionRecord> compiled(const Chart& chart) {
  CompilerState state;
  test::FakeUserInterface quiet;
  EXPECT_TRUE(compileMotion(chart, quiet, state));
  return state.records;
}

TableEntry entryFor(const Chart& chart, std::size_t count) {
  TableEntry e;
  e.count = static_cast<std::uint8_t>(count);
  e.mask = chart.Port;
  e.control = static_cast<std::uint16_t>(chart.Ctrl);
  e.name = chart.Name;
  return e;
}

TEST(BoardDiff, EachDifferenceInWords) {
  const Chart chart = twoPoses();
  const std::vector<MotionRecord> mine = compiled(chart);
  ASSERT_EQ(mine.size(), 3u);
  struct Case {
    std::string what;
    std::function<void(TableEntry&, std::vector<MotionRecord>&)> change;
    std::vector<std::string> lines;
  };
  auto setWord = [](MotionRecord& r, int ch, std::uint16_t w) {
    r[1 + 2 * ch] = static_cast<std::uint8_t>(w >> 8);
    r[2 + 2 * ch] = static_cast<std::uint8_t>(w & 0xFF);
  };
  const Case cases[] = {
      {"equal", [](TableEntry&, std::vector<MotionRecord>&) {}, {}},
      {"a channel",
       [&](TableEntry&, std::vector<MotionRecord>& r) { setWord(r[1], 4, 16500); },
       {"record 2, CH5: 16384 → 16500"}},
      {"a code",
       [&](TableEntry&, std::vector<MotionRecord>& r) { setWord(r[0], 23, 0x8002); },
       {"record 1, CH24: 16384 → 0x8002"}},
      {"a speed",
       [](TableEntry&, std::vector<MotionRecord>& r) { r[0][0] = 80; },
       {"record 1, speed: 100 → 80"}},
      {"the end's lead byte",
       [](TableEntry&, std::vector<MotionRecord>& r) { r[2][0] = 2; },
       {"record 3, lead byte: 1 → 2"}},
      {"name, channels and control",
       [](TableEntry& e, std::vector<MotionRecord>&) {
         e.name = "走る";
         e.mask = 0x00FFFF;
         e.control = 65535;
       },
       {"name: \"歩く\" → \"走る\"", "channels: 0x0000ff → 0x00ffff", "control: 500 → 65535"}},
      {"a record more on the board",
       [&](TableEntry& e, std::vector<MotionRecord>& r) {
         r.push_back(mine[0]);
         e.count = 4;
       },
       {"records: 3 → 4", "record 4: only on the board"}},
      {"a record fewer",
       [](TableEntry& e, std::vector<MotionRecord>& r) {
         r.pop_back();
         e.count = 2;
       },
       {"records: 3 → 2", "record 3: not on the board"}},
  };
  for (const Case& c : cases) {
    TableEntry entry = entryFor(chart, mine.size());
    std::vector<MotionRecord> board = mine;
    c.change(entry, board);
    EXPECT_EQ(motionDifferences(chart, mine, entry, board), c.lines) << c.what;
  }
}

TEST(BoardDiff, ScenarioStepsAndNameOnly) {
  Chart chart;
  chart.Type = kScenarioChart;
  chart.Name = "SCN";
  TableEntry entry;
  entry.count = 2;
  entry.name = "SCN";
  entry.mask = 0x123;  // a scenario write keeps the board's mask and control: no difference
  EXPECT_TRUE(scenarioDifferences(chart, {3, 4}, entry, {3, 4}).empty());
  EXPECT_EQ(scenarioDifferences(chart, {3, 4}, entry, {3, 7}),
            (std::vector<std::string>{"step 2: M5 → M8"}));
}

TEST(BoardDiff, AgainstTheBoard) {
  board::VirtualBoardPort port;
  test::FakeUserInterface ui;
  BoardLink link(port, ui);
  Chart chart = twoPoses();
  CompilerState state;
  MotionTable table;
  TransferContext c{link, ui, chart, state, table, nullptr, nullptr, nullptr, nullptr};
  std::vector<std::string> lines;
  EXPECT_EQ(diffChartWithSlot(link, ui, chart, 4, lines), DiffOutcome::kDifferent);
  EXPECT_EQ(lines, std::vector<std::string>{"M5 is empty on the board"});
  ASSERT_TRUE(writeChartToSlot(c, 4));
  EXPECT_EQ(diffChartWithSlot(link, ui, chart, 4, lines), DiffOutcome::kEqual);
  EXPECT_TRUE(lines.empty());
  EXPECT_FALSE(port.board().live().working.options & board::kOptSleep);
  EXPECT_EQ(diffChartWithSlot(link, ui, chart, 82, lines), DiffOutcome::kFailed);  // no scenario
  port.board().injectFaultAt(port.board().handshakeCount() + 5, board::Fault::noHandshake());
  EXPECT_EQ(diffChartWithSlot(link, ui, chart, 4, lines), DiffOutcome::kFailed);
  EXPECT_EQ(ui.statuses.back(),
            "比較失敗: CmdReadTableEntry: ボードがハンドシェイクに応答しません");
}

}  // namespace
}  // namespace pvrj
