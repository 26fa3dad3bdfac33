// Board transfers against the in-process virtual board: write, read back, delete, play, the
// questions, the refusals and the failure rules.
#include <gtest/gtest.h>

#include <functional>

#include "ChartMaker.h"
#include "board/VirtualBoardPort.h"
#include "common/CommaText.h"
#include "compiler/Transfer.h"
#include "support/FakeUserInterface.h"

namespace pvrj {
namespace {

using test::addItem;
using test::addLine;

// The board does not answer the next handshake.
board::Fault noAnswer() {
  board::Fault fault;
  fault.kind = board::Fault::Kind::kNoHandshake;
  return fault;
}

// A chain of POS items with distinct poses; compiled it gives count + 1 records (END last).
Chart poseChain(int count) {
  Chart chart;
  for (int i = 0; i < count; ++i) {
    int item = addItem(chart, kItemPos);
    chart.items[item].PrmByte = static_cast<std::uint8_t>(10 + i);
    for (int ch = 0; ch < kChannelCount; ++ch)
      chart.items[item].PrmWords[ch] = static_cast<std::uint16_t>(1000 + i * 24 + ch);
    if (i > 0) addLine(chart, i - 1, i);
  }
  chart.Start = 0;
  chart.Name = "WALK";
  chart.Port = 0x00F00F;
  chart.Ctrl = 500;
  return chart;
}

// A scenario of MOT items naming motion slots i % 80.
Chart scenarioChain(int count) {
  Chart chart;
  chart.Type = kScenarioChart;
  for (int i = 0; i < count; ++i) {
    int item = addItem(chart, kItemMot);
    chart.items[item].PrmByte = static_cast<std::uint8_t>(i % 80);
    if (i > 0) addLine(chart, i - 1, i);
  }
  chart.Start = 0;
  chart.Name = "SCN";
  return chart;
}

class TransferTest : public ::testing::Test {
 protected:
  board::VirtualBoardPort port;
  test::FakeUserInterface ui;
  BoardLink link{port, ui};
  Chart chart;
  CompilerState state;
  MotionTable table;
  std::vector<std::pair<int, int>> progress;
  std::vector<std::string> names;
  TransferContext context{link, ui, chart, state, table, nullptr, nullptr, nullptr, nullptr};

  void SetUp() override {
    link.onTableEntryChanged = [this](int n, const TableEntryData& e) {
      table.ShowTableEntry(e, n, false);
    };
    context.progress = [this](int done, int total) { progress.push_back({done, total}); };
    context.nameChanged = [this](const std::string& name) { names.push_back(name); };
  }

  board::VirtualBoard& vb() { return port.board(); }
  bool asleep() { return (vb().live().working.options & board::kOptSleep) != 0; }
  const board::TableEntry& entry(int n) { return vb().memory().table[static_cast<size_t>(n)]; }
  bool sawStatus(const std::string& s) {
    return std::find(ui.statuses.begin(), ui.statuses.end(), s) != ui.statuses.end();
  }
  // Compiles a chart on its own and hands back its records.
  std::vector<MotionRecord> compiled(const Chart& c) {
    CompilerState s;
    test::FakeUserInterface quiet;
    EXPECT_TRUE(compileMotion(c, quiet, s));
    return s.records;
  }
};

TEST_F(TransferTest, ThirtyOneRecordsWriteAndReadBackIntoAnEqualChart) {
  chart = poseChain(30);
  const Chart original = chart;
  ui.promptAnswers = {0};
  ui.answers = {kIdYes};
  ASSERT_TRUE(writeChartToBoard(context));
  // The question names the slot the 31st record runs into.
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, kMsgQuestion);
  EXPECT_EQ(ui.messages[0].buttons, kBtnYesNo);
  EXPECT_EQ(ui.messages[0].text,
            "書き込むデータが30個以上なので\r\nM2のデータが消去されますが構いませんですか？");
  EXPECT_EQ(ui.prompts[0].PromptTitle, "データ書込");
  EXPECT_EQ(ui.prompts[0].PromptText, "書き込む場所を選択してください");
  EXPECT_EQ(ui.statuses.front(), "アセンブル成功");
  EXPECT_TRUE(sawStatus("31個目書込みました"));
  EXPECT_TRUE(sawStatus("ＰＣＴを書き込ました"));
  EXPECT_EQ(ui.statuses.back(), "書込成功");
  EXPECT_FALSE(asleep());
  EXPECT_EQ(entry(0)[0], 31);
  EXPECT_EQ(table.row(0).name, "WALK");
  EXPECT_EQ(table.row(0).count, "31");
  EXPECT_EQ(progress.back(), std::make_pair(0, 0));
  EXPECT_NE(std::find(progress.begin(), progress.end(), std::make_pair(31, 31)), progress.end());

  // Read back into a fresh chart.
  chart = Chart{};
  ui.statuses.clear();
  ui.promptAnswers = {0};
  ASSERT_TRUE(readChartFromBoard(context));
  EXPECT_EQ(ui.prompts.back().PromptTitle, "データ読込");
  EXPECT_EQ(ui.prompts.back().PromptText, "読み出すデータを選択してください");
  EXPECT_EQ(splitCommaText(ui.prompts.back().PromptItems).size(), 85u);
  EXPECT_EQ(chart.Type, kMotionChart);
  EXPECT_EQ(chart.Name, "WALK");
  EXPECT_EQ(chart.Port, 0x00F00Fu);
  EXPECT_EQ(chart.Ctrl, 500);
  EXPECT_EQ(names, std::vector<std::string>{"WALK"});
  ASSERT_EQ(chart.itemCount(), original.itemCount());
  for (int i = 0; i < chart.itemCount(); ++i) {
    EXPECT_EQ(chart.items[i].Type, original.items[i].Type);
    EXPECT_EQ(chart.items[i].PrmByte, original.items[i].PrmByte);
    EXPECT_EQ(chart.items[i].PrmWords, original.items[i].PrmWords);
  }
  EXPECT_EQ(compiled(chart), compiled(original));
  EXPECT_EQ(state.records, compiled(original));
  EXPECT_EQ(state.dumpRows.size(), 31u);
  EXPECT_TRUE(sawStatus("ＰＣＴを読み込みました"));
  EXPECT_TRUE(sawStatus("31個目読み込みました"));
  EXPECT_TRUE(sawStatus("吸い出し成功"));
  EXPECT_EQ(ui.statuses.back(), "読込成功");
  EXPECT_FALSE(asleep());
}

TEST_F(TransferTest, ThirtyRecordsAskNothingAndNoMeansNothingWritten) {
  chart = poseChain(29);
  ui.promptAnswers = {3};
  ASSERT_TRUE(writeChartToBoard(context));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(entry(3)[0], 30);

  chart = poseChain(59);
  ui.promptAnswers = {10};
  ui.answers = {kIdNo};
  EXPECT_FALSE(writeChartToBoard(context));
  EXPECT_EQ(ui.lastMessage(),
            "書き込むデータが30個以上なので\r\nM12,M13のデータが消去されますが構いませんですか？");
  EXPECT_EQ(entry(10)[0], 0);
  EXPECT_TRUE(asleep());  // the board was put to sleep before the question
}

TEST_F(TransferTest, MotionPastTheLastSlotIsRefusedBeforeAnyTraffic) {
  chart = poseChain(30);  // 31 records need two slots
  ui.promptAnswers = {79};
  std::uint64_t before = vb().handshakeCount();
  EXPECT_FALSE(writeChartToBoard(context));
  EXPECT_EQ(vb().handshakeCount(), before);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, kMsgError);
  EXPECT_NE(ui.messages[0].text.find("M80"), std::string::npos);
  // Slot 78 holds the 31 records in M79 and M80.
  ui.promptAnswers = {78};
  EXPECT_TRUE(writeChartToBoard(context));
  EXPECT_EQ(entry(78)[0], 31);
}

TEST_F(TransferTest, MoreThan255RecordsAreRefused) {
  chart = poseChain(255);  // 256 records: the table's one-byte count cannot hold them
  ui.promptAnswers = {0};
  std::uint64_t before = vb().handshakeCount();
  EXPECT_FALSE(writeChartToBoard(context));
  EXPECT_EQ(vb().handshakeCount(), before);
  EXPECT_NE(ui.lastMessage().find("255"), std::string::npos);
  EXPECT_TRUE(motionDoesNotFit(0, 256).has_value());
  EXPECT_FALSE(motionDoesNotFit(0, 255).has_value());
  EXPECT_FALSE(motionDoesNotFit(71, 255).has_value());  // 9 slots: M72..M80
  EXPECT_TRUE(motionDoesNotFit(72, 255).has_value());
}

TEST_F(TransferTest, OverflowQuestionNamesFollowingSlots) {
  EXPECT_NE(motionOverflowQuestion(0, 60).find("\r\nM2,M3の"), std::string::npos);
  EXPECT_NE(motionOverflowQuestion(0, 31).find("\r\nM2の"), std::string::npos);
  // No slot past M80 is named.
  EXPECT_NE(motionOverflowQuestion(78, 60).find("\r\nM80の"), std::string::npos);
}

TEST_F(TransferTest, RecordWriteFailingHalfwayLeavesTableAndBoardAsleep) {
  chart = poseChain(20);
  context.progress = [this](int done, int) {
    if (done == 10) vb().injectFault(noAnswer(), 1);
  };
  ui.promptAnswers = {5};
  EXPECT_FALSE(writeChartToBoard(context));
  EXPECT_TRUE(sawStatus("10個目書込みました"));
  EXPECT_FALSE(sawStatus("11個目書込みました"));
  EXPECT_FALSE(sawStatus("ＰＣＴを書き込ました"));
  EXPECT_EQ(entry(5)[0], 0);
  EXPECT_EQ(table.row(5).count, "0");
  EXPECT_TRUE(asleep());
}

TEST_F(TransferTest, ScenarioOf201StepsAnsweredYesWrites200) {
  chart = scenarioChain(201);
  ui.promptAnswers = {1};
  ui.answers = {kIdYes};
  ASSERT_TRUE(writeChartToBoard(context));
  EXPECT_EQ(splitCommaText(ui.prompts[0].PromptItems).size(), 5u);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(
      ui.messages[0].text,
      "200個番目以降のモーションデータは書き込む\r\nことが出来ませんが構いませんでしょうか？");
  EXPECT_EQ(ui.statuses.front(), "シナリオ変換成功");
  EXPECT_TRUE(sawStatus("200個目書込みました"));
  EXPECT_FALSE(sawStatus("201個目書込みました"));
  EXPECT_EQ(entry(81)[0], 200);
  EXPECT_EQ(vb().memory().scenarios[1][199], 199 % 80);
  EXPECT_EQ(table.row(81).name, "SCN");
  EXPECT_EQ(ui.statuses.back(), "書込成功");
  EXPECT_FALSE(asleep());
}

TEST_F(TransferTest, ScenarioAnsweredNoWritesNothing) {
  chart = scenarioChain(201);
  ui.promptAnswers = {0};
  ui.answers = {kIdNo};
  EXPECT_FALSE(writeChartToBoard(context));
  EXPECT_EQ(entry(80)[0], 0);
  EXPECT_EQ(vb().memory().scenarios[0][0], 0);
  EXPECT_TRUE(asleep());
}

TEST_F(TransferTest, ScenarioReadBackNamesItsMotions) {
  // A motion in M3 gives the scenario's items their names.
  chart = poseChain(2);
  chart.Name = "RUN";
  ASSERT_TRUE(writeChartToSlot(context, 2));
  chart = scenarioChain(3);
  chart.items[1].PrmByte = 2;
  ASSERT_TRUE(writeChartToSlot(context, 4));
  chart = Chart{};
  context.textWidth = [](const std::string& s) { return static_cast<int>(s.size()); };
  ASSERT_EQ(readSlotIntoChart(context, 84), ReadResult::kRead);
  EXPECT_EQ(chart.Type, kScenarioChart);
  EXPECT_EQ(chart.Name, "SCN");
  ASSERT_EQ(chart.itemCount(), 3);
  ASSERT_EQ(chart.linkCount(), 2);
  EXPECT_EQ(chart.items[1].Name, "M3 RUN");
  EXPECT_EQ(chart.items[1].PrmByte, 2);
  EXPECT_EQ(chart.items[0].Name, "M1 ");
  EXPECT_EQ(chart.Start, 0);
  EXPECT_EQ(state.scenarioSteps, (std::vector<std::uint8_t>{0, 2, 2}));
  EXPECT_FALSE(asleep());
}

TEST_F(TransferTest, EmptySlotReadLeavesTheChart) {
  chart = poseChain(3);
  const Chart before = chart;
  ui.promptAnswers = {7};
  EXPECT_FALSE(readChartFromBoard(context));
  EXPECT_EQ(ui.statuses, (std::vector<std::string>{"スリープON", "データがありません"}));
  EXPECT_FALSE(asleep());
  EXPECT_EQ(chart.itemCount(), before.itemCount());
  EXPECT_EQ(chart.Name, "WALK");
  EXPECT_EQ(chart.Port, before.Port);
  EXPECT_EQ(chart.Ctrl, before.Ctrl);
  EXPECT_TRUE(names.empty());
}

TEST_F(TransferTest, RecordReadFailureKeepsItemsButTakesTheHeader) {
  chart = poseChain(10);
  chart.Name = "BOARD";
  ASSERT_TRUE(writeChartToSlot(context, 0));
  chart = poseChain(2);
  context.progress = [this](int done, int) {
    if (done == 4) vb().injectFault(noAnswer(), 1);
  };
  EXPECT_EQ(readSlotIntoChart(context, 0), ReadResult::kFailed);
  EXPECT_EQ(chart.itemCount(), 2);
  EXPECT_EQ(chart.Name, "BOARD");
  EXPECT_TRUE(state.dumpRows.empty());
  // A link that failed is not an empty slot.
  EXPECT_EQ(ui.statuses.back(),
            "読込失敗: CmdReadPositionRecord: ボードがハンドシェイクに応答しません");
  EXPECT_FALSE(sawStatus("データがありません"));
  EXPECT_FALSE(asleep());
}

TEST_F(TransferTest, DeleteInsists) {
  chart = poseChain(2);
  ASSERT_TRUE(writeChartToSlot(context, 4));
  ui.statuses.clear();
  ui.promptAnswers = {4};
  ui.answers = {kIdNo};
  EXPECT_FALSE(deleteFromBoard(context));
  EXPECT_EQ(ui.lastMessage(), "しつこいようですが、本当に消して構いませんね？");
  EXPECT_EQ(ui.messages.back().kind, kMsgQuestion);
  EXPECT_EQ(entry(4)[0], 3);
  EXPECT_EQ(ui.prompts.back().PromptTitle, "データ削除");
  EXPECT_EQ(ui.prompts.back().PromptText, "削除するデータを選択してください");

  ui.promptAnswers = {4};
  ui.answers = {kIdYes};
  EXPECT_TRUE(deleteFromBoard(context));
  EXPECT_EQ(entry(4), board::blankTableEntry());
  EXPECT_EQ(table.row(4).count, "0");
  EXPECT_EQ(table.row(4).name, "");
  EXPECT_EQ(ui.statuses, std::vector<std::string>{"データ削除完了"});
  EXPECT_FALSE(asleep());
}

TEST_F(TransferTest, CancelledChooserDoesNothing) {
  chart = poseChain(2);
  std::uint64_t before = vb().handshakeCount();
  ui.promptAnswers = {-2};
  EXPECT_FALSE(writeChartToBoard(context));
  ui.promptAnswers = {-1};
  EXPECT_FALSE(readChartFromBoard(context));
  ui.promptAnswers = {-2};
  EXPECT_FALSE(deleteFromBoard(context));
  EXPECT_EQ(vb().handshakeCount(), before);
  EXPECT_TRUE(ui.statuses.empty());
}

TEST_F(TransferTest, PlayOffersTheLastChosenNumber) {
  ui.promptAnswers = {81};
  ASSERT_TRUE(playOnBoard(context));
  EXPECT_EQ(ui.prompts.back().PromptTitle, "再生番号");
  EXPECT_EQ(ui.prompts.back().PromptText, "再生する番号を選択してください");
  EXPECT_EQ(ui.prompts.back().PromptIndex, -1);
  EXPECT_EQ(ui.statuses.back(), "再生コマンド送信");
  ui.promptAnswers = {-2};
  EXPECT_FALSE(playOnBoard(context));
  EXPECT_EQ(ui.prompts.back().PromptIndex, 81);
  // The write, read and delete buttons forget it before they ask.
  ui.promptAnswers = {-2};
  readChartFromBoard(context);
  ui.promptAnswers = {-2};
  playOnBoard(context);
  EXPECT_EQ(ui.prompts.back().PromptIndex, -1);
}

TEST_F(TransferTest, PlayRequestsFromOtherProgramsStopAt85) {
  std::uint64_t before = vb().requestCount();
  EXPECT_TRUE(playSlotRequest(link, ui, 84));
  EXPECT_EQ(vb().requestCount(), before + 1);
  EXPECT_EQ(ui.statuses.back(), "再生コマンド送信");
  EXPECT_FALSE(playSlotRequest(link, ui, 85));
  EXPECT_FALSE(playSlotRequest(link, ui, 0xFFFFFFFFu));
  EXPECT_EQ(vb().requestCount(), before + 1);
}

TEST_F(TransferTest, StopAndPauseSayWhatTheyDid) {
  EXPECT_TRUE(stopBoard(link, ui));
  EXPECT_EQ(ui.statuses.back(), "停止しました");
  EXPECT_TRUE(pauseBoard(link, ui));
  EXPECT_TRUE(vb().live().working.options & board::kOptPause);
  EXPECT_EQ(ui.statuses.back(), "一時停止しました");
  EXPECT_TRUE(pauseBoard(link, ui));
  EXPECT_FALSE(vb().live().working.options & board::kOptPause);
  EXPECT_EQ(ui.statuses.back(), "再開しました");
}

TEST_F(TransferTest, EveryButtonThatCannotReachTheBoardSaysSo) {
  struct Case {
    const char* button;
    std::function<bool()> press;
    const char* status;
  };
  const Case cases[] = {
      {"write motion", [this] { return writeChartToSlot(context, 0); },
       "書込失敗: CmdReadOptions: ポートが開いていません"},
      {"write scenario",
       [this] {
         chart = scenarioChain(2);
         return writeChartToSlot(context, 0);
       },
       "書込失敗: CmdReadOptions: ポートが開いていません"},
      {"read", [this] { return readSlotIntoChart(context, 0) == ReadResult::kRead; },
       "読込失敗: CmdReadOptions: ポートが開いていません"},
      {"delete", [this] { return deleteSlot(context, 0); },
       "削除失敗: CmdReadTableEntry: ポートが開いていません"},
      {"play", [this] { return playSlotRequest(link, ui, 0); },
       "再生失敗: CmdPlay: ポートが開いていません"},
      {"stop", [this] { return stopBoard(link, ui); }, "停止失敗: CmdStop: ポートが開いていません"},
      {"pause", [this] { return pauseBoard(link, ui); },
       "一時停止失敗: CmdReadOptions: ポートが開いていません"},
      {"sleep", [this] { return sleepBoard(link, ui, true); },
       "スリープON失敗: CmdReadOptions: ポートが開いていません"},
      {"home", [this] { return homePositionButton(link, ui); },
       "ホームポジション失敗: CmdReadOptions: ポートが開いていません"},
  };
  port.Close();  // the port chosen "OFF"
  for (const Case& c : cases) {
    chart = poseChain(2);
    ui.statuses.clear();
    EXPECT_FALSE(c.press()) << c.button;
    ASSERT_FALSE(ui.statuses.empty()) << c.button;
    EXPECT_EQ(ui.statuses.back(), c.status) << c.button;
  }
}

TEST_F(TransferTest, WriteFailingAtItsFirstRecordSaysWhichExchange) {
  chart = poseChain(2);
  vb().injectFaultAt(5, noAnswer());  // going to sleep takes exchanges 0 to 4
  EXPECT_FALSE(writeChartToSlot(context, 1));
  EXPECT_TRUE(sawStatus("スリープON"));
  EXPECT_EQ(ui.statuses.back(),
            "書込失敗: CmdWritePositionRecord: ボードがハンドシェイクに応答しません");
  EXPECT_TRUE(asleep());
}

TEST_F(TransferTest, ReadWhoseWakeUpFailsKeepsWhatWasRead) {
  chart = poseChain(2);
  ASSERT_TRUE(writeChartToSlot(context, 0));
  chart = Chart{};
  // Once the last of the three records is in, the next exchange (the wake-up) goes unanswered.
  context.progress = [this](int done, int total) {
    if (done == 3 && total == 3) vb().injectFault(noAnswer(), 1);
  };
  EXPECT_EQ(readSlotIntoChart(context, 0), ReadResult::kReadNotWoken);
  EXPECT_EQ(chart.itemCount(), 2);
  EXPECT_EQ(chart.Name, "WALK");
  EXPECT_EQ(state.records.size(), 3u);
  EXPECT_TRUE(sawStatus("吸い出し成功"));
  EXPECT_FALSE(sawStatus("読込成功"));
  EXPECT_EQ(ui.statuses.back(),
            "スリープOFF失敗: CmdReadOptions: ボードがハンドシェイクに応答しません");
}

TEST_F(TransferTest, ReturnToHomeSendsTheHomePoseAtSpeed100) {
  for (int ch = 0; ch < kChannelCount; ++ch)
    vb().memory().home[static_cast<size_t>(ch)] = static_cast<std::uint16_t>(16384 + ch * 10);
  ASSERT_TRUE(pauseBoard(link, ui));
  PositionRecord sent;
  ASSERT_TRUE(returnToHome(link, &sent));
  EXPECT_EQ(sent.lead, kHomeSpeed);
  EXPECT_EQ(sent.block.words[5], 16434);
  EXPECT_EQ(vb().live().pose[0], kHomeSpeed);
  EXPECT_EQ(readWord(&vb().live().pose[1 + 2 * 5]), 16434);
  EXPECT_FALSE(asleep());
  EXPECT_FALSE(vb().live().working.options & board::kOptPause);
}

TEST_F(TransferTest, ReturnToHomeStopsAsleepWhenTheHomeReadFails) {
  // Sleep on takes four exchanges (options, pose, free pose, options, pose back); then stop.
  std::uint64_t base = vb().handshakeCount();
  board::Fault silent = noAnswer();
  ASSERT_TRUE(link.SetSleep(0));
  std::uint64_t sleepExchanges = vb().handshakeCount() - base;
  ASSERT_TRUE(link.SetSleep(1));
  vb().injectFaultAt(vb().handshakeCount() + sleepExchanges + 1, silent);
  EXPECT_FALSE(returnToHome(link));
  EXPECT_TRUE(asleep());
}

}  // namespace
}  // namespace pvrj
