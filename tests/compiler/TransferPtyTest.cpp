// Board transfers end to end: pvrj-board on a pseudo-terminal, the serial-port component, the
// board link and the unprompted-message handler, each run bounded by deadlines.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ChartMaker.h"
#include "chart/ChartFile.h"
#include "compiler/Transfer.h"
#include "protocol/BoardMessages.h"
#include "protocol/CommXOpener.h"
#include "serial/CommX.h"
#include "support/ChildProcess.h"
#include "support/FakeUserInterface.h"

namespace pvrj {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kReportDeadline = std::chrono::seconds(5);
constexpr auto kReportPoll = std::chrono::milliseconds(20);

Chart poseChain(int count) {
  Chart chart;
  for (int i = 0; i < count; ++i) {
    int item = test::addItem(chart, kItemPos);
    chart.items[item].PrmByte = static_cast<std::uint8_t>(20 + i);
    for (int ch = 0; ch < kChannelCount; ++ch)
      chart.items[item].PrmWords[ch] = static_cast<std::uint16_t>(2000 + i * 24 + ch);
    if (i > 0) test::addLine(chart, i - 1, i);
  }
  chart.Start = 0;
  chart.Name = "歩く";
  chart.Port = 0x800001;
  chart.Ctrl = 1234;
  return chart;
}

class TransferPtyTest : public ::testing::Test {
 protected:
  void startBoard(std::vector<std::string> extra = {}) {
    ASSERT_EQ(::access(PVRJ_BOARD_EXE, X_OK), 0) << "missing " << PVRJ_BOARD_EXE;
    if (!test::pseudoTerminalsAvailable()) GTEST_SKIP() << "no pseudo-terminals here";
    board_ = std::make_unique<test::BoardProcess>(extra);
    device_ = board_->device();
    ASSERT_FALSE(device_.empty()) << "pvrj-board did not start";
    port_.SetDispatcher(&dispatcher_);
    ASSERT_TRUE(port_.SetPortName(device_));
    configureBoardLine(port_);
    port_.OnReceive = [this](TCustomCommX& sender, std::int32_t size) {
      messages_.CommX1Receive(sender, static_cast<std::size_t>(size));
    };
    port_.Open();
    link_.onTableEntryChanged = [this](int n, const TableEntryData& e) {
      table_.ShowTableEntry(e, n, false);
    };
    messages_.showStatus = [this](const std::string& s) { ui_.showStatus(s); };
  }
  void TearDown() override { port_.Close(); }

  bool sawStatus(const std::string& s) const {
    return std::find(ui_.statuses.begin(), ui_.statuses.end(), s) != ui_.statuses.end();
  }
  bool asleep() {
    std::uint16_t word = 0;
    return link_.CmdReadOptions(WorkingCopy, word) && (word & kOptionSleep);
  }

  std::unique_ptr<test::BoardProcess> board_;
  std::string device_;
  QueueDispatcher dispatcher_;
  TCommX port_;
  test::FakeUserInterface ui_;
  BoardLink link_{port_, ui_};
  BoardMessages messages_;
  Chart chart_;
  CompilerState state_;
  MotionTable table_;
  TransferContext context_{link_, ui_, chart_, state_, table_, nullptr, nullptr, nullptr, nullptr};
};

TEST_F(TransferPtyTest, ThirtyOneRecordsGoIntoM1AndComeBackEqual) {
  startBoard();
  if (IsSkipped() || HasFatalFailure()) return;
  chart_ = poseChain(30);
  const Chart original = chart_;
  ui_.answers = {kIdYes};
  ASSERT_TRUE(writeChartToSlot(context_, 0));
  EXPECT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.statuses.back(), "書込成功");
  EXPECT_EQ(table_.row(0).count, "31");
  CompilerState written = state_;

  chart_ = Chart{};
  state_ = CompilerState{};
  ASSERT_EQ(readSlotIntoChart(context_, 0), ReadResult::kRead);
  EXPECT_EQ(ui_.statuses.back(), "読込成功");
  EXPECT_EQ(chart_.Name, "歩く");
  EXPECT_EQ(chart_.Port, 0x800001u);
  EXPECT_EQ(chart_.Ctrl, 1234);
  ASSERT_EQ(chart_.itemCount(), original.itemCount());
  ASSERT_EQ(chart_.linkCount(), original.linkCount());
  for (int i = 0; i < chart_.itemCount(); ++i) {
    EXPECT_EQ(chart_.items[i].PrmByte, original.items[i].PrmByte);
    EXPECT_EQ(chart_.items[i].PrmWords, original.items[i].PrmWords);
  }
  EXPECT_EQ(state_.records, written.records);
  EXPECT_FALSE(asleep());
}

TEST_F(TransferPtyTest, ScenarioOf201StepsAnsweredYes) {
  startBoard();
  if (IsSkipped() || HasFatalFailure()) return;
  chart_.Type = kScenarioChart;
  for (int i = 0; i < 201; ++i) {
    int item = test::addItem(chart_, kItemMot);
    chart_.items[item].PrmByte = static_cast<std::uint8_t>(i % 7);
    if (i > 0) test::addLine(chart_, i - 1, i);
  }
  chart_.Start = 0;
  ui_.answers = {kIdYes};
  ASSERT_TRUE(writeChartToSlot(context_, 2));
  EXPECT_TRUE(sawStatus("200個目書込みました"));
  EXPECT_FALSE(sawStatus("201個目書込みました"));
  Bytes entry;
  ASSERT_TRUE(link_.CmdReadTableEntry(82, entry));
  EXPECT_EQ(entry[0], 200);
  Bytes step;
  ASSERT_TRUE(link_.CmdReadScenarioStep(2, 199, step));
  EXPECT_EQ(step[0], 199 % 7);
}

TEST_F(TransferPtyTest, EmptySlotLeavesTheChartAndWakesTheBoard) {
  startBoard();
  if (IsSkipped() || HasFatalFailure()) return;
  chart_ = poseChain(2);
  EXPECT_EQ(readSlotIntoChart(context_, 12), ReadResult::kFailed);
  EXPECT_EQ(ui_.statuses.back(), "データがありません");
  EXPECT_EQ(chart_.itemCount(), 2);
  EXPECT_EQ(chart_.Name, "歩く");
  EXPECT_FALSE(asleep());
}

TEST_F(TransferPtyTest, RecordWriteFailingHalfwayLeavesTheBoardAsleep) {
  // Exchanges 1-5 put the board to sleep; the 11th record is exchange 16.
  startBoard({"--fault", "16:noanswer"});
  if (IsSkipped() || HasFatalFailure()) return;
  chart_ = poseChain(20);
  EXPECT_FALSE(writeChartToSlot(context_, 3));
  EXPECT_TRUE(sawStatus("10個目書込みました"));
  EXPECT_FALSE(sawStatus("11個目書込みました"));
  Bytes entry;
  ASSERT_TRUE(link_.CmdReadTableEntry(3, entry));
  EXPECT_EQ(entry[0], 0);
  EXPECT_TRUE(asleep());
}

TEST_F(TransferPtyTest, DeleteInsists) {
  startBoard();
  if (IsSkipped() || HasFatalFailure()) return;
  chart_ = poseChain(1);
  ASSERT_TRUE(writeChartToSlot(context_, 6));
  ui_.answers = {kIdNo, kIdYes};
  EXPECT_FALSE(deleteSlot(context_, 6));
  EXPECT_EQ(table_.row(6).count, "2");
  EXPECT_TRUE(deleteSlot(context_, 6));
  EXPECT_EQ(ui_.messages.back().text, kDeleteQuestion);
  EXPECT_EQ(table_.row(6).count, "0");
  EXPECT_EQ(ui_.statuses.back(), "データ削除完了");
}

TEST_F(TransferPtyTest, PlayEndReportReachesTheStatusLine) {
  startBoard();
  if (IsSkipped() || HasFatalFailure()) return;
  chart_ = poseChain(1);
  ASSERT_TRUE(writeChartToSlot(context_, 4));
  // Ask the board to report when a motion has played.
  std::uint16_t word = 0;
  ASSERT_TRUE(link_.CmdReadOptions(WorkingCopy, word));
  ASSERT_TRUE(link_.CmdWriteOptions(WorkingCopy, static_cast<std::uint16_t>(word | 0x0200)));
  ASSERT_TRUE(playSlotRequest(link_, ui_, 4));
  const auto deadline = Clock::now() + kReportDeadline;
  while (!sawStatus("[4]再生終了") && Clock::now() < deadline)
    dispatcher_.waitAndDrain(kReportPoll);
  EXPECT_TRUE(sawStatus("[4]再生終了"));
}

TEST_F(TransferPtyTest, CommandLineWritesListsReadsAndDeletes) {
  startBoard();
  if (IsSkipped() || HasFatalFailure()) return;
  ASSERT_EQ(::access(PVRJ_CLI_EXE, X_OK), 0) << "missing " << PVRJ_CLI_EXE;
  port_.Close();  // the command line opens the device itself
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("pvrj-transfer-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  chart_ = poseChain(3);
  test::FakeUserInterface quiet;
  std::string in = (dir / "in.VLB").string();
  std::string out = (dir / "out.VLB").string();
  ASSERT_TRUE(saveChart(chart_, in, false, quiet));
  auto run = [&](std::vector<std::string> args, std::string& output) {
    args.insert(args.begin(), {PVRJ_CLI_EXE, "--port", device_});
    test::ChildResult result = test::runProgram(args);
    output = result.out + result.err;
    return result.exitCode;
  };
  std::string text;
  EXPECT_EQ(run({"write", in, "M2"}, text), 0) << text;
  EXPECT_NE(text.find("書込成功"), std::string::npos);
  text.clear();
  EXPECT_EQ(run({"table"}, text), 0) << text;
  EXPECT_NE(text.find("M2\t歩く\t4\t"), std::string::npos) << text;
  EXPECT_NE(text.find("S5\t\t0\t--/-- --:--\t65535"), std::string::npos);
  text.clear();
  EXPECT_EQ(run({"read", "M2", out}, text), 0) << text;
  Chart back;
  ClientArea client;
  ASSERT_TRUE(openFile(back, client, out, quiet).opened);
  EXPECT_EQ(back.itemCount(), 3);
  EXPECT_EQ(back.Name, "歩く");
  text.clear();
  EXPECT_EQ(run({"read", "M9", out}, text), 1);  // empty slot
  EXPECT_NE(text.find("データがありません"), std::string::npos);
  text.clear();
  EXPECT_EQ(run({"delete", "M2"}, text), 1);  // no --yes: the question is answered No
  text.clear();
  EXPECT_EQ(run({"--yes", "delete", "M2"}, text), 0) << text;
  text.clear();
  EXPECT_EQ(run({"write", in, "S1"}, text), 2);  // a motion chart into a scenario slot
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pvrj
