// The servo-bus dialog's board sequences end to end: pvrj-board with servos on the servo bus
// behind a pseudo-terminal, the serial-port component and the board link, every wait bounded.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <string>
#include <thread>

#include "serial/CommX.h"
#include "support/ChildProcess.h"
#include "support/FakeUserInterface.h"
#include "tools/core/ServoBus.h"

namespace pvrj {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPowerCycleDeadline = std::chrono::seconds(5);
constexpr auto kPowerCyclePoll = std::chrono::milliseconds(20);
constexpr int kLineBitRate = 115200;

class ServoBusPtyTest : public ::testing::Test {
 protected:
  // Servos on channels 2, 5 and 9.
  void startBoard(std::vector<std::string> extra = {}) {
    if (::access(PVRJ_BOARD_EXE, X_OK) != 0) FAIL() << "pvrj-board is not built";
    extra.insert(extra.begin(), {"--qvs", "2,5,9"});
    board_ = std::make_unique<test::BoardProcess>(extra);
    if (board_->device().empty()) GTEST_SKIP() << "no pseudo-terminal could be made";
    port_.SetDispatcher(&dispatcher_);
    ASSERT_TRUE(port_.SetPortName(board_->device()));
    port_.SetBitRate(kLineBitRate);
    port_.Open();
    port_.SetTimeOutReceive(kReceiveTimeOut);
  }
  void TearDown() override { port_.Close(); }

  bool storedBit() {
    std::uint16_t word = 0;
    return link_.CmdReadOptions(StoredCopy, word) && (word & kOptionQvsMode) != 0;
  }
  // Switches the board off and on and waits until it answers in servo-bus mode.
  bool powerCycleIntoServoBusMode() {
    board_->signal(SIGHUP);
    const auto deadline = Clock::now() + kPowerCycleDeadline;
    while (Clock::now() < deadline) {
      std::uint16_t word = 0;
      if (link_.CmdReadOptions(WorkingCopy, word) && (word & kOptionQvsMode)) return true;
      std::this_thread::sleep_for(kPowerCyclePoll);
    }
    return false;
  }

  std::unique_ptr<test::BoardProcess> board_;
  QueueDispatcher dispatcher_;
  TCommX port_;
  test::FakeUserInterface ui_;
  BoardLink link_{port_, ui_};
  ServoBus bus_{link_, ui_};
};

TEST_F(ServoBusPtyTest, ReadEditAndCopyAfterAPowerCycle) {
  startBoard();
  if (IsSkipped() || HasFatalFailure()) return;
  bool shown = false;
  ASSERT_TRUE(bus_.runDialog([&] {
    shown = true;
    EXPECT_TRUE(storedBit());
    // Not in the mode yet: the warning, and a servo that does not answer.
    EXPECT_FALSE(bus_.CheckServoBusMode());
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0].text, kServoBusModeWarning);
    ServoBlock block{};
    EXPECT_FALSE(bus_.readServo(1, block));

    ASSERT_TRUE(powerCycleIntoServoBusMode());
    EXPECT_TRUE(bus_.CheckServoBusMode());
    // The list: channels 2, 5 and 9 answer with their blocks, the others are not asked.
    for (int row = 0; row < kServoBusChannels; ++row) {
      EXPECT_EQ(bus_.isServoBus(row), row == 1 || row == 4 || row == 8) << row;
      if (!bus_.isServoBus(row)) continue;
      ASSERT_TRUE(bus_.readServo(row, block)) << row;
      EXPECT_EQ(block[0], row + 1);
      EXPECT_EQ(servoRowTexts(row + 1, "CH", true, &block)[14], "2");  // power-free 100
    }

    // An edit: read, change in the controls, written back.
    ASSERT_TRUE(bus_.readServo(4, block));
    ServoControls controls = LoadServoParameters(block);
    controls.punch = 9;
    controls.reverse = 1;
    controls.limitR = 45;
    CollectServoParameters(controls, block);
    ASSERT_TRUE(bus_.writeServo(4, block));
    ServoBlock back{};
    ASSERT_TRUE(bus_.readServo(4, back));
    EXPECT_EQ(back, block);
    EXPECT_EQ(back[kServoPunch], 10);
    EXPECT_EQ((back[kServoLimitR] << 8) | back[kServoLimitR + 1], 850);

    // A copy from channel 5 onto channel 9.
    ServoBlock written{};
    ASSERT_EQ(bus_.copyServo(4, 8, written), ServoCopy::kWritten);
    ASSERT_TRUE(bus_.readServo(8, back));
    EXPECT_EQ(back, written);
    EXPECT_EQ(back[0], 9);
    EXPECT_EQ(back[kServoPunch], 10);
  }));
  EXPECT_TRUE(shown);
  EXPECT_FALSE(storedBit());
  // The board stays in servo-bus mode until its next power-on.
  EXPECT_TRUE(bus_.CheckServoBusMode());
  EXPECT_TRUE(ui_.statuses.empty());
}

TEST_F(ServoBusPtyTest, TheStoredBitIsClearedAfterAFailedRead) {
  startBoard();
  if (IsSkipped() || HasFatalFailure()) return;
  ASSERT_TRUE(bus_.runDialog([&] {
    ServoBlock block{};
    EXPECT_FALSE(bus_.readServo(4, block));  // not in servo-bus mode: the servo is silent
    ServoBlock written{};
    EXPECT_EQ(bus_.copyServo(1, 4, written), ServoCopy::kReadFailed);
  }));
  EXPECT_FALSE(storedBit());
  EXPECT_TRUE(ui_.statuses.empty());
}

TEST_F(ServoBusPtyTest, ABoardStartedInServoBusModeAnswersAtOnce) {
  startBoard({"--qvs-mode"});
  if (IsSkipped() || HasFatalFailure()) return;
  EXPECT_TRUE(storedBit());
  EXPECT_TRUE(bus_.CheckServoBusMode());
  ASSERT_TRUE(bus_.LoadServoBusChannels());
  ServoBlock block{};
  EXPECT_TRUE(bus_.readServo(8, block));
  EXPECT_FALSE(bus_.readServo(0, block));  // no servo on channel 1
  EXPECT_TRUE(ui_.messages.empty());
}

}  // namespace
}  // namespace pvrj
