// The board link and pvrj-cli against pvrj-board over a real pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "protocol/BoardLink.h"
#include "protocol/CommXOpener.h"
#include "serial/CommX.h"
#include "support/ChildProcess.h"
#include "tests/support/FakeUserInterface.h"

namespace pvrj {
namespace {

using test::BoardProcess;
using test::ChildResult;
using test::FakeUserInterface;
using test::runProgram;

// A link on a serial port opened as the editor opens it, on the device of a pvrj-board.
struct PtyLink {
  TCommX comm;
  FakeUserInterface ui;
  BoardLink link{comm, ui};
  bool open(const std::string& device) {
    configureBoardLine(comm);
    CommXOpener opener(comm, device);
    return link.OpenNamedPort(opener, device);
  }
};

long elapsedMs(std::chrono::steady_clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - since)
                               .count());
}

TEST(EndToEnd, CommandsOverThePseudoTerminal) {
  BoardProcess board;
  ASSERT_FALSE(board.device().empty());
  PtyLink p;
  ASSERT_TRUE(p.open(board.device()));
  EXPECT_EQ(p.ui.statuses.back(), board.device() + " 設定完了");

  EXPECT_TRUE(p.link.CmdStop());
  EXPECT_TRUE(p.link.CmdPlay(81));
  EXPECT_TRUE(p.link.CmdStop());
  Bytes entry;
  ASSERT_TRUE(p.link.CmdReadTableEntry(0, entry));
  EXPECT_EQ(entry.size(), 43u);
  EXPECT_TRUE(p.link.CmdWriteAlarm(10, 391));
  Bytes alarm;
  ASSERT_TRUE(p.link.CmdReadAlarm(alarm));
  EXPECT_EQ(alarm, (Bytes{10, 0x01, 0x87, 0x92}));
  Bytes info;
  ASSERT_TRUE(p.link.CmdReadBoardInfo(info));
  EXPECT_EQ(info.size(), 64u);
  EXPECT_FALSE(p.ui.busy);
}

TEST(EndToEnd, SleepAndTableEntry) {
  BoardProcess board;
  ASSERT_FALSE(board.device().empty());
  PtyLink p;
  ASSERT_TRUE(p.open(board.device()));

  EXPECT_TRUE(p.link.SetSleep(2));
  std::uint16_t word = 0;
  ASSERT_TRUE(p.link.CmdReadOptions(WorkingCopy, word));
  EXPECT_EQ(word & kOptionSleep, kOptionSleep);
  EXPECT_TRUE(p.link.SetSleep(2));
  ASSERT_TRUE(p.link.CmdReadOptions(WorkingCopy, word));
  EXPECT_EQ(word & kOptionSleep, 0);
  EXPECT_EQ(p.ui.boardStates, (std::vector<std::string>{"スリープ", "動作中"}));

  int shown = -1;
  p.link.onTableEntryChanged = [&](int n, const TableEntryData&) { shown = n; };
  ASSERT_TRUE(p.link.UpdateTableEntry(3, 2, 0x7, 65535, Bytes{1, 2, 3, 4}, "歩行"));
  ASSERT_TRUE(p.link.UpdateTableEntry(3, -1, -1, 500, kKeepDate, "WALK"));
  EXPECT_EQ(shown, 3);
  Bytes reply;
  ASSERT_TRUE(p.link.CmdReadTableEntry(3, reply));
  TableEntry e;
  ASSERT_TRUE(e.decode(reply));
  EXPECT_EQ(e.count, 2);
  EXPECT_EQ(e.mask, 0x7u);
  EXPECT_EQ(e.month, 1);
  EXPECT_EQ(e.control, 500);
  EXPECT_EQ(e.name, "WALK");
}

TEST(EndToEnd, SilentBoardCostsOneHandshakeWait) {
  BoardProcess board({"--fault", "1:noanswer"});
  ASSERT_FALSE(board.device().empty());
  PtyLink p;
  ASSERT_TRUE(p.open(board.device()));
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(p.link.CmdStop());
  EXPECT_GE(elapsedMs(start), 250);  // the receive time-out was waited out
  // The board stays silent for its first handshake only: had the link tried another handshake,
  // that one would have been answered and the stop would have succeeded.
  EXPECT_TRUE(p.link.CmdStop());
}

TEST(EndToEnd, ShortRepliesUseEveryAttempt) {
  BoardProcess board({"--fault", "1:short:10", "--fault", "2:short:10", "--fault", "3:short:10",
                      "--fault", "4:short:10", "--fault", "5:short:10"});
  ASSERT_FALSE(board.device().empty());
  PtyLink p;
  ASSERT_TRUE(p.open(board.device()));
  Bytes reply;
  EXPECT_FALSE(p.link.CmdReadTableEntry(0, reply));
  EXPECT_TRUE(reply.empty());
  EXPECT_TRUE(p.link.CmdReadTableEntry(0, reply));  // exchange 6 is whole again
}

TEST(EndToEnd, ComPortByNumber) {
  BoardProcess board({"--com", "41"});
  ASSERT_FALSE(board.device().empty());
  ChildResult r = runProgram({PVRJ_CLI_EXE, "--port", "COM41", "stop"}, {board.settingsVariable()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("COM41 設定完了"), std::string::npos) << r.err;
}

TEST(EndToEnd, CommandLineBoardCommands) {
  BoardProcess board;
  ASSERT_FALSE(board.device().empty());
  const std::string dev = board.device();
  const std::pair<const char*, const char*> said[] = {
      {"stop", "停止しました"}, {"pause", "一時停止しました"}, {"pause", "再開しました"}};
  for (const auto& [cmd, status] : said) {
    ChildResult r = runProgram({PVRJ_CLI_EXE, "--port", dev, cmd});
    EXPECT_EQ(r.exitCode, 0) << cmd << ": " << r.err;
    EXPECT_NE(r.err.find(status), std::string::npos) << cmd << ": " << r.err;
  }
  for (const char* slot : {"M1", "M80", "S1", "s5"}) {
    ChildResult play = runProgram({PVRJ_CLI_EXE, "--port", dev, "play", slot});
    EXPECT_EQ(play.exitCode, 0) << slot << ": " << play.err;
    EXPECT_NE(play.err.find("再生コマンド送信"), std::string::npos) << play.err;
  }

  ChildResult on = runProgram({PVRJ_CLI_EXE, "--port", dev, "sleep", "on"});
  EXPECT_EQ(on.exitCode, 0) << on.err;
  EXPECT_NE(on.err.find("スリープON"), std::string::npos);
  ChildResult off = runProgram({PVRJ_CLI_EXE, "--port", dev, "sleep", "off"});
  EXPECT_EQ(off.exitCode, 0) << off.err;
  EXPECT_NE(off.err.find("スリープOFF"), std::string::npos);

  ChildResult info = runProgram({PVRJ_CLI_EXE, "--port", dev, "boardinfo"});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  int lines = 0;
  for (char c : info.out) lines += c == '\n';
  EXPECT_EQ(lines, 4) << info.out;
}

TEST(EndToEnd, CommandLineFailures) {
  BoardProcess board({"--fault", "1:noanswer"});
  ASSERT_FALSE(board.device().empty());
  ChildResult silent = runProgram({PVRJ_CLI_EXE, "--port", board.device(), "stop"});
  EXPECT_EQ(silent.exitCode, 1);
  EXPECT_NE(silent.err.find("停止失敗: CmdStop: ボードがハンドシェイクに応答しません"),
            std::string::npos)
      << silent.err;

  for (const char* slot : {"M81", "M0", "M01", "S6", "X1", "S", "M1x"}) {
    ChildResult badSlot = runProgram({PVRJ_CLI_EXE, "--port", board.device(), "play", slot});
    EXPECT_EQ(badSlot.exitCode, 2) << slot;
  }
  ChildResult noPort = runProgram({PVRJ_CLI_EXE, "stop"});
  EXPECT_EQ(noPort.exitCode, 2);
  ChildResult missing = runProgram({PVRJ_CLI_EXE, "--port", "/dev/pvrj-no-such-port", "stop"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("は使用できません"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace pvrj
