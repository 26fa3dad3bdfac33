// Unplugging: the device goes away (the pseudo-terminal's other end closes) in the middle of a
// flow. The flow fails and says so, the port is closed, and choosing the same port again, once a
// board is back behind it, works at once without starting anything anew.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "board/BoardMemory.h"
#include "protocol/CommXOpener.h"
#include "robustness/Flows.h"
#include "serial/CommX.h"
#include "support/ChildProcess.h"
#include "support/TempFolderTest.h"

namespace pvrj::test {
namespace {

// The COM number the boards of these tests answer as.
constexpr int kComPort = 9;
const std::string kComName = "COM" + std::to_string(kComPort);
// Plugs pulled at random moments of a long write, of a motion as long as one slot holds.
constexpr int kRandomPulls = 8;
constexpr int kLongMotionPoses = 29;

class UnplugTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    if (!pseudoTerminalsAvailable()) GTEST_SKIP() << "no pseudo-terminals here";
    // The boards make their COM link here, and the port looks for it here.
    ::setenv("PVRJ_SETTINGS_DIR", dir.c_str(), 1);
    statePath = path("board.state");
  }
  void TearDown() override {
    ::unsetenv("PVRJ_SETTINGS_DIR");
    TempFolderTest::TearDown();
  }

  std::unique_ptr<BoardProcess> startBoard(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--com", std::to_string(kComPort), "--state", statePath};
    args.insert(args.end(), extra.begin(), extra.end());
    auto board = std::make_unique<BoardProcess>(args);
    EXPECT_FALSE(board->device().empty()) << "pvrj-board did not start";
    return board;
  }

  bool sawStatus(const Rig& rig, const std::string& text) const {
    return std::find(rig.ui.statuses.begin(), rig.ui.statuses.end(), text) != rig.ui.statuses.end();
  }

  std::string statePath;
};

// How many exchanges a flow makes, counted on the in-process board.
std::uint64_t exchangesOf(const Flow& flow) {
  Bench bench(startingMemory());
  if (flow.prepare) flow.prepare(bench.rig);
  EXPECT_TRUE(flow.run(bench.rig)) << flow.name;
  return bench.board.handshakeCount();
}

TEST_F(UnplugTest, EveryFlowFailsCleanlyWhenTheDeviceGoesAndThePortOpensAgain) {
  for (const Flow& flow : allFlows()) {
    SCOPED_TRACE(flow.name);
    const std::uint64_t middle = exchangesOf(flow) / 2 + 1;  // counted from 1
    ASSERT_TRUE(board::saveMemory(startingMemory(), statePath));

    TCommX port;
    configureBoardLine(port);
    CommXOpener opener(port);
    Rig rig(port);
    {
      // The board lets go of its device at the handshake of the flow's middle exchange.
      auto board = startBoard({"--fault", std::to_string(middle) + ":hangup"});
      ASSERT_TRUE(rig.link.OpenBoardPort(opener, kComPort));
      if (flow.prepare) flow.prepare(rig);
      EXPECT_FALSE(flow.run(rig));
      EXPECT_FALSE(port.IsOpen());
      EXPECT_TRUE(sawStatus(rig, kComName + kStatusPortLost));
      EXPECT_TRUE(rig.link.lastFailure().fault != LinkFault::kNone || toldFailure(rig));
    }
    // Another board behind the same COM number, holding what the first one kept.
    auto board = startBoard();
    ASSERT_TRUE(rig.link.OpenBoardPort(opener, kComPort));
    rig.ui.statuses.clear();
    if (flow.prepare) flow.prepare(rig);
    EXPECT_TRUE(flow.run(rig));
    EXPECT_FALSE(toldFailure(rig));
    port.Close();
  }
}

TEST_F(UnplugTest, APlugPulledAtAnyMomentOfAWriteEndsItCleanly) {
  // A motion as long as a slot holds, written into M3.
  auto write = [](Rig& rig) {
    rig.chart = poseChain(kLongMotionPoses);
    return writeChartToSlot(rig.context, 2);
  };
  ASSERT_TRUE(board::saveMemory(startingMemory(), statePath));
  TCommX port;
  configureBoardLine(port);
  CommXOpener opener(port);
  Rig rig(port);
  // How long the write takes at the line's rate, so that the plug is pulled at a moment within it.
  std::chrono::microseconds duration{};
  {
    auto board = startBoard({"--pace"});
    ASSERT_TRUE(rig.link.OpenBoardPort(opener, kComPort));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(write(rig));
    duration = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
  }
  std::mt19937 random(20251208);
  int cutShort = 0;
  for (int pull = 0; pull < kRandomPulls; ++pull) {
    auto board = startBoard({"--pace"});
    ASSERT_TRUE(rig.link.OpenBoardPort(opener, kComPort));
    rig.ui.statuses.clear();
    const auto after = std::chrono::microseconds(random() % duration.count());
    std::thread puller([&board, after] {
      std::this_thread::sleep_for(after);
      ::kill(board->pid(), SIGKILL);
    });
    const bool ok = write(rig);
    puller.join();
    if (ok) {
      EXPECT_TRUE(port.IsOpen());  // pulled after the write ended
      continue;
    }
    ++cutShort;
    EXPECT_TRUE(rig.link.lastFailure().fault != LinkFault::kNone || toldFailure(rig));
    // The plug came out during an exchange or between two: the port is closed by now, or the
    // next exchange finds the device gone and closes it.
    if (port.IsOpen()) {
      std::uint16_t word = 0;
      EXPECT_FALSE(rig.link.CmdReadOptions(WorkingCopy, word));
    }
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(sawStatus(rig, kComName + kStatusPortLost));
  }
  std::printf("write of %lld us, %d of %d pulls inside it\n",
              static_cast<long long>(duration.count()), cutShort, kRandomPulls);
  // Most pulls land inside the write (the last ones may come as it ends).
  EXPECT_GE(cutShort, kRandomPulls / 2);
  // And once more with a board that stays.
  auto board = startBoard();
  ASSERT_TRUE(rig.link.OpenBoardPort(opener, kComPort));
  EXPECT_TRUE(write(rig));
  port.Close();
}

}  // namespace
}  // namespace pvrj::test
