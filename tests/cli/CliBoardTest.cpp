// pvrj-cli against pvrj-board on a pseudo-terminal: every failing board command says on stderr
// which exchange failed and how, and a read whose wake-up fails keeps what it read.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "chart/ChartFile.h"
#include "support/ChildProcess.h"
#include "support/FakeUserInterface.h"
#include "support/TempFolderTest.h"

namespace pvrj {
namespace {

using test::BoardProcess;
using test::ChildResult;
using test::runProgram;

// One POS item: compiled it gives two records (the pose and END).
Chart onePose() {
  Chart chart;
  const int item = chart.createItem(kItemPos, 0, 0);
  chart.items[static_cast<std::size_t>(item)].PrmByte = 40;
  chart.Start = item;
  chart.Name = "歩く";
  return chart;
}

// Exchanges of "write CHART M1" for that chart, counted from 1 as pvrj-board's --fault counts:
// sleep 1-5, the two records 6-7, the table entry read and written 8-9, the wake-up 10-11.
constexpr int kWriteExchanges = 11;
// Then "read M1": sleep 12-16, the entry 17, the records 18-19, the wake-up's option read 20.
constexpr int kReadWakeUp = kWriteExchanges + 9;

class CliBoardTest : public test::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    test::FakeUserInterface quiet;
    ASSERT_TRUE(saveChart(onePose(), path("in.VLB"), false, quiet));
  }
  ChildResult cli(const std::string& device, std::vector<std::string> args) {
    args.insert(args.begin(), {PVRJ_CLI_EXE, "--port", device});
    return runProgram(args);
  }
};

TEST_F(CliBoardTest, EveryFailingBoardCommandSaysWhy) {
  struct Case {
    std::string fault;  // pvrj-board's --fault EXCHANGE:KIND
    std::vector<std::string> args;
    std::string reason;
  };
  const std::string in = path("in.VLB");
  const std::string out = path("out.VLB");
  const std::string silent = "ボードがハンドシェイクに応答しません";
  const Case cases[] = {
      {"1:noanswer", {"write", in, "M1"}, "書込失敗: CmdReadOptions: " + silent},
      {"6:garbage:15",
       {"write", in, "M1"},
       "書込失敗: CmdWritePositionRecord: 確認応答06の代わりに15が返りました"},
      {"8:checksum",
       {"write", in, "M1"},
       "書込失敗: CmdReadTableEntry: 応答のチェックサムが合いません"},
      {"10:noanswer", {"write", in, "M1"}, "スリープOFF失敗: CmdReadOptions: " + silent},
      {"6:checksum",
       {"read", "M1", out},
       "読込失敗: CmdReadTableEntry: 応答のチェックサムが合いません"},
      {"1:noanswer", {"--yes", "delete", "M1"}, "削除失敗: CmdReadTableEntry: " + silent},
      {"1:noanswer", {"play", "M1"}, "再生失敗: CmdPlay: " + silent},
      {"1:hangup", {"stop"}, "停止失敗: CmdStop: ポートの機器が外れました"},
      {"1:noanswer", {"pause"}, "一時停止失敗: CmdReadOptions: " + silent},
      {"1:noanswer", {"sleep", "on"}, "スリープON失敗: CmdReadOptions: " + silent},
      {"1:noanswer", {"table"}, "テーブル読込失敗: CmdReadOptions: " + silent},
      {"1:noanswer", {"boardinfo"}, "ボード情報読込失敗: CmdReadBoardInfo: " + silent},
  };
  for (const Case& c : cases) {
    BoardProcess board({"--fault", c.fault});
    ASSERT_FALSE(board.device().empty());
    ChildResult r = cli(board.device(), c.args);
    const std::string what = c.args[0] + " with " + c.fault;
    EXPECT_EQ(r.exitCode, 1) << what << "\n" << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << what << "\n" << r.err;
    EXPECT_FALSE(r.err.ends_with("アセンブル成功\n")) << what;
  }
}

TEST_F(CliBoardTest, ReadWhoseWakeUpFailsStillWritesTheChart) {
  BoardProcess board({"--fault", std::to_string(kReadWakeUp) + ":noanswer"});
  ASSERT_FALSE(board.device().empty());
  ChildResult write = cli(board.device(), {"write", path("in.VLB"), "M1"});
  ASSERT_EQ(write.exitCode, 0) << write.err;
  ChildResult read = cli(board.device(), {"read", "M1", path("out.VLB")});
  EXPECT_EQ(read.exitCode, 1) << read.err;
  EXPECT_NE(read.err.find("スリープOFF失敗: CmdReadOptions: ボードがハンドシェイクに応答しません"),
            std::string::npos)
      << read.err;
  EXPECT_EQ(read.out, path("out.VLB") + "\n");
  Chart back;
  ClientArea client;
  test::FakeUserInterface quiet;
  ASSERT_TRUE(openFile(back, client, path("out.VLB"), quiet).opened);
  EXPECT_EQ(back.itemCount(), 1);
  EXPECT_EQ(back.Name, "歩く");
}

TEST_F(CliBoardTest, UnwritableTargetIsFoundBeforeTheBoardIsAsked) {
  // No board behind this port: the answer can only come from looking at the target first.
  const std::string out = path("no-such-folder/out.VLB");
  ChildResult r = cli("/dev/pvrj-no-such-port", {"read", "M1", out});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("cannot write " + out), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("は使用できません"), std::string::npos) << r.err;
  ChildResult folder = cli("/dev/pvrj-no-such-port", {"read", "M1", dir.string()});
  EXPECT_EQ(folder.exitCode, 1);
  EXPECT_NE(folder.err.find("it is a folder"), std::string::npos) << folder.err;
}

TEST(CliOptions, PortWithoutAValueSaysSo) {
  for (std::vector<std::string> args : {std::vector<std::string>{"stop", "--port"},
                                        {"--port", "--yes", "stop"},
                                        {"--port=", "stop"}}) {
    args.insert(args.begin(), PVRJ_CLI_EXE);
    ChildResult r = runProgram(args);
    EXPECT_EQ(r.exitCode, 2) << args[1];
    EXPECT_NE(r.err.find("--port needs a value"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("unknown command"), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace pvrj
