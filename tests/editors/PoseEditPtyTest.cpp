// The position editor's live traffic end to end: pvrj-board on a pseudo-terminal, the serial-port
// component and the board link, and the pose commands of pvrj-cli against the same board.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "chart/ChartFile.h"
#include "editors/core/PoseBoard.h"
#include "editors/core/PoseEditor.h"
#include "serial/CommX.h"
#include "support/ChildProcess.h"
#include "support/FakeUserInterface.h"
#include "support/TempFolderTest.h"

namespace pvrj {
namespace {

constexpr int kLineBitRate = 115200;
// Free servos on the board move a little every 100 ms; teaching waits until one has moved.
constexpr auto kDriftDeadline = std::chrono::seconds(5);
constexpr auto kDriftPoll = std::chrono::milliseconds(20);
constexpr int kDriftRange = 2000;  // how far from the centre a drifting servo may be

class PoseEditPtyTest : public test::TempFolderTest {
 protected:
  void SetUp() override {
    test::TempFolderTest::SetUp();
    if (::access(PVRJ_BOARD_EXE, X_OK) != 0) GTEST_SKIP() << "pvrj-board is not built";
    board_ = std::make_unique<test::BoardProcess>();
    device_ = board_->device();
    if (device_.empty()) GTEST_SKIP() << "no pseudo-terminal could be made";
    ASSERT_TRUE(port_.SetPortName(device_));
    port_.SetBitRate(kLineBitRate);
    port_.Open();
    port_.SetTimeOutReceive(kReceiveTimeOut);
    item_ = chart_.createItem(kItemPos, 10, 10);
    chart_.items[0].PrmByte = 40;
    editor_.setLink(&link_);
    editor_.syncChecked = [] { return true; };
  }
  void TearDown() override {
    port_.Close();
    test::TempFolderTest::TearDown();
  }

  ChartItem& item() { return chart_.items[0]; }
  PositionRecord boardPose() {
    std::optional<PositionRecord> pose = readCurrentPose(link_);
    EXPECT_TRUE(pose);
    return pose.value_or(PositionRecord{});
  }
  test::ChildResult cli(std::vector<std::string> args) {
    args.insert(args.begin(), {PVRJ_CLI_EXE, "--port", device_});
    port_.Close();  // the port is held exclusively
    test::ChildResult r = test::runProgram(args);
    port_.Open();
    port_.SetTimeOutReceive(kReceiveTimeOut);
    return r;
  }

  std::unique_ptr<test::BoardProcess> board_;
  std::string device_;
  TCommX port_;
  test::FakeUserInterface ui_;
  BoardLink link_{port_, ui_};
  Chart chart_;
  int item_ = -1;
  PoseEditor editor_{chart_};
};

TEST_F(PoseEditPtyTest, AnAllZeroItemUnderSyncFetchesThePose) {
  PositionRecord pose;
  pose.lead = 9;
  pose.block.words.fill(16200);
  pose.block.words[23] = 0x8001;
  ASSERT_TRUE(sendLiveRecord(link_, pose));
  editor_.open(item_);
  ASSERT_TRUE(editor_.sendOpenedPose());
  EXPECT_EQ(item().PrmWords[0], 16200);
  EXPECT_EQ(item().PrmWords[23], 0x8001);
  EXPECT_EQ(item().PrmByte, 40);
  const PositionRecord now = boardPose();
  EXPECT_EQ(now.lead, 40);  // the item's speed went out with the fetched words
  EXPECT_EQ(now.block, pose.block);
}

TEST_F(PoseEditPtyTest, ABarMovedSendsItsChannelAndWord) {
  item().PrmWords.fill(16384);
  editor_.open(item_);
  ASSERT_TRUE(editor_.sendOpenedPose());
  ASSERT_TRUE(editor_.movePositionBar(17, 16950));
  ASSERT_TRUE(link_.noReplySent());
  const PositionRecord now = boardPose();
  EXPECT_EQ(now.block.words[17], 16950);
  EXPECT_EQ(now.block.words[16], 16384);
  EXPECT_EQ(now.block.words[18], 16384);
}

TEST_F(PoseEditPtyTest, ReturnToHomeFromTheEditorAndFromTheMainWindow) {
  PositionRecord home;
  home.block.words.fill(15900);
  ASSERT_TRUE(writeHomePosition(link_, home.block));
  item().PrmWords.fill(16384);
  editor_.open(item_);
  const PrmWordArray before = item().PrmWords;

  // The main window's button: the robot goes home, the item stays.
  ASSERT_TRUE(editor_.returnToHome(false));
  EXPECT_EQ(item().PrmWords, before);
  EXPECT_EQ(item().PrmByte, 40);
  PositionRecord now = boardPose();
  EXPECT_EQ(now.lead, 100);
  EXPECT_EQ(now.block, home.block);

  // The editor's own button loads speed 100 and the home words.
  ASSERT_TRUE(link_.CmdWritePositionRecord(WorkingCopy, 0, 0, PositionRecord{}));
  ASSERT_TRUE(editor_.returnToHome(true));
  EXPECT_EQ(item().PrmByte, 100);
  EXPECT_EQ(item().PrmWords, home.block.words);
  EXPECT_EQ(editor_.speedBar(), 100);
  std::uint16_t options = 0;
  ASSERT_TRUE(link_.CmdReadOptions(WorkingCopy, options));
  EXPECT_EQ(options & kOptionSleep, 0);
}

TEST_F(PoseEditPtyTest, TeachingFreesThenReadsBack) {
  item().PrmWords.fill(16384);
  editor_.open(item_);
  ASSERT_TRUE(editor_.sendOpenedPose());
  std::vector<std::string> set(kChannelCount);
  set[2] = "TCH";
  editor_.setLinkActions(set);
  editor_.setLinkChosen(true);

  ASSERT_TRUE(editor_.teach());
  EXPECT_EQ(item().PrmWords[2], kWordFree);
  EXPECT_EQ(boardPose().block.words[2], kWordFree);

  // The hand moves the limp servo: the board's free servos drift; wait until this one has.
  const auto deadline = std::chrono::steady_clock::now() + kDriftDeadline;
  bool moved = false;
  while (!moved && std::chrono::steady_clock::now() < deadline) {
    std::optional<PositionBlock> at = readPresentPositions(link_);
    ASSERT_TRUE(at);
    moved = at->words[2] != 16384;
    if (!moved) std::this_thread::sleep_for(kDriftPoll);
  }
  ASSERT_TRUE(moved);

  ASSERT_TRUE(editor_.teach());
  const std::uint16_t taught = item().PrmWords[2];
  EXPECT_NE(taught, 16384);
  EXPECT_GE(taught, 16384 - kDriftRange);
  EXPECT_LE(taught, 16384 + kDriftRange);
  EXPECT_EQ(editor_.channel(2).mode, kModeServo);
  EXPECT_EQ(item().PrmWords[3], 16384);
  EXPECT_EQ(boardPose().block.words[2], kWordTeach);
}

TEST_F(PoseEditPtyTest, CommandLinePoses) {
  test::ChildResult r = cli({"servo", "5", "16100"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = cli({"pose"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("CH5: 16100\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.rfind("SPEED: ", 0), 0u) << r.out;

  Chart chart;
  const int pos = chart.createItem(kItemPos, 0, 0);
  chart.items[pos].Name = "STAND";
  chart.items[pos].PrmByte = 30;
  chart.items[pos].PrmWords.fill(16300);
  chart.items[pos].PrmWords[1] = 0x8001;
  chart.createItem(kItemSet, 0, 60);
  chart.items[1].Name = "SETTING";
  ASSERT_TRUE(saveChart(chart, path("stand.VLB"), false, ui_));

  r = cli({"pose", path("stand.VLB"), "STAND"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  PositionRecord now = boardPose();
  EXPECT_EQ(now.lead, 30);
  EXPECT_EQ(now.block.words[0], 16300);
  EXPECT_EQ(now.block.words[1], 0x8001);

  r = cli({"make-home", path("stand.VLB"), "STAND"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  ASSERT_EQ(cli({"servo", "1", "0x4000"}).exitCode, 0);
  r = cli({"home"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  now = boardPose();
  EXPECT_EQ(now.lead, 100);
  EXPECT_EQ(now.block.words[0], 16300);

  EXPECT_EQ(cli({"pose", path("stand.VLB"), "SETTING"}).exitCode, 1);
  EXPECT_EQ(cli({"pose", path("stand.VLB"), "NONE"}).exitCode, 1);
  EXPECT_EQ(cli({"servo", "25", "100"}).exitCode, 2);
  EXPECT_EQ(cli({"servo", "1", "65536"}).exitCode, 2);
}

TEST(PoseCommandLine, NoBoardFailsWithStatusOne) {
  if (::access(PVRJ_CLI_EXE, X_OK) != 0) GTEST_SKIP() << "pvrj-cli is not built";
  const test::ChildResult r =
      test::runProgram({PVRJ_CLI_EXE, "--port", "/dev/null", "servo", "1", "100"});
  EXPECT_EQ(r.exitCode, 1);
}

}  // namespace
}  // namespace pvrj
