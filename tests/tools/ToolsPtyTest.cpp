// The board tools' sequences and pvrj-cli's tool commands against pvrj-board over a real
// pseudo-terminal: each dialog's opening, a change and closing, and a failure in the middle.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>

#include "common/FileIo.h"
#include "protocol/BoardLink.h"
#include "protocol/BoardMessages.h"
#include "protocol/CommXOpener.h"
#include "serial/CommX.h"
#include "support/ChildProcess.h"
#include "tests/support/FakeUserInterface.h"
#include "tools/core/AnalogSettings.h"
#include "tools/core/BoardOptions.h"
#include "tools/core/ReceiverSettings.h"
#include "tools/core/Trims.h"

namespace pvrj {
namespace {

using test::BoardProcess;
using test::ChildResult;
using test::runProgram;

constexpr int kBitRate = 115200;
constexpr std::chrono::milliseconds kReportDeadline{5000};
constexpr std::chrono::milliseconds kPoll{20};
// Exchanges of going to sleep: read the word and the pose, free the servos, word, pose back.
constexpr int kSleepExchanges = 5;

// A link on a serial port opened as the editor opens it, with the unprompted reports parsed.
struct PtyLink {
  QueueDispatcher dispatcher;
  TCommX comm{&dispatcher};
  test::FakeUserInterface ui;
  BoardLink link{comm, ui};
  BoardMessages messages;

  bool open(const std::string& device) {
    comm.SetBitRate(kBitRate);
    comm.SetFlowCtrl(cfcNone);
    comm.OnReceive = [this](TCustomCommX&, std::int32_t size) {
      if (size > 0) messages.CommX1Receive(comm, static_cast<std::size_t>(size));
      while (messages.handleOneMessage()) {
      }
    };
    CommXOpener opener(comm, device);
    return link.OpenNamedPort(opener, device);
  }
  // Handles the port's events until done() holds or the deadline passes.
  bool waitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kReportDeadline;
    while (!done() && std::chrono::steady_clock::now() < deadline) dispatcher.waitAndDrain(kPoll);
    return done();
  }
  std::uint16_t workingWord() {
    std::uint16_t w = 0;
    EXPECT_TRUE(link.CmdReadOptions(WorkingCopy, w));
    return w;
  }
  TrimValues trims(BoardCopy copy) {
    Bytes reply;
    TrimValues v{};
    EXPECT_TRUE(link.CmdReadTrims(copy, reply));
    decodeTrims(reply, v);
    return v;
  }
};

std::string fault(int exchange, const char* kind) {
  return std::to_string(exchange) + ":" + kind;
}

TEST(ToolsOverPty, TrimsOpenMoveCloseAndAFailedRead) {
  {
    BoardProcess board;
    ASSERT_FALSE(board.device().empty());
    PtyLink p;
    ASSERT_TRUE(p.open(board.device()));
    TrimValues v{};
    ASSERT_EQ(openTrims(p.link, v), TrimOpening::kReady);
    TrimRows rows = trimRows(v);
    moveTrimBar(p.link, rows, 0, 16500);
    EXPECT_EQ(p.trims(WorkingCopy)[0], 16500);
    ASSERT_EQ(closeTrims(p.link, collectTrims(rows)), TrimClosing::kStored);
    EXPECT_EQ(p.trims(StoredCopy)[0], 16500);
    EXPECT_EQ(p.workingWord() & kOptionSleep, 0);
  }
  {
    BoardProcess board({"--fault", fault(kSleepExchanges + 1, "noanswer")});
    ASSERT_FALSE(board.device().empty());
    PtyLink p;
    ASSERT_TRUE(p.open(board.device()));
    TrimValues v{};
    EXPECT_EQ(openTrims(p.link, v), TrimOpening::kReadFailed);
    EXPECT_EQ(p.workingWord() & kOptionSleep, kOptionSleep);  // left asleep
    EXPECT_EQ(p.ui.boardStates.back(), "スリープ");
  }
}

TEST(ToolsOverPty, OptionsOpenChangeAndAFailedLoad) {
  {
    BoardProcess board;
    ASSERT_FALSE(board.device().empty());
    PtyLink p;
    ASSERT_TRUE(p.open(board.device()));
    OptionControls c;
    ASSERT_EQ(openBoardOptions(p.link, c), OptionsOpening::kReady);
    c.playEndReply = true;
    c.startSwitchIndex = 3;
    c.thresholdTenths = 150;
    c.qvsMask = 1u << 8;
    ASSERT_TRUE(WriteOptionWord(p.link, c));
    ASSERT_TRUE(writeStartData(p.link, c));
    ASSERT_TRUE(WriteAlarm(p.link, c));
    ASSERT_TRUE(writeQvsMask(p.link, c));
    OptionControls back;
    ASSERT_TRUE(LoadBoardOptions(p.link, back));
    EXPECT_TRUE(back.playEndReply);
    EXPECT_EQ(back.startSwitchIndex, 3);
    EXPECT_EQ(back.thresholdText, "15.0V");
    EXPECT_EQ(back.qvsMask, 1u << 8);
    EXPECT_EQ(p.workingWord() & kOptPlayEndReply, kOptPlayEndReply);
  }
  {
    BoardProcess board({"--fault", fault(kSleepExchanges + 2, "checksum")});
    ASSERT_FALSE(board.device().empty());
    PtyLink p;
    ASSERT_TRUE(p.open(board.device()));
    OptionControls c;
    EXPECT_EQ(openBoardOptions(p.link, c), OptionsOpening::kLoadFailed);
    EXPECT_EQ(p.workingWord() & kOptionSleep, kOptionSleep);
  }
}

TEST(ToolsOverPty, AnalogStreamsWhileOpenAndStoresOnClosing) {
  BoardProcess board({"--still"});
  ASSERT_FALSE(board.device().empty());
  PtyLink p;
  ASSERT_TRUE(p.open(board.device()));
  AnalogSettings s;
  int reports = 0;
  p.messages.onAnalogReport = [&](const AnalogReport& r) {
    takeAnalogReport(s, r);
    ++reports;
  };
  ASSERT_TRUE(openAnalogDialog(p.link, p.messages, s));
  ASSERT_TRUE(p.waitFor([&] { return reports >= 3; }));
  EXPECT_NEAR(s.measured[0], 512, 3);
  moveReference(p.link, s, 0, 300);
  ASSERT_TRUE(chooseMixing(p.link, s, 1, 0, 58));
  ASSERT_TRUE(closeAnalogDialog(p.link, s));
  EXPECT_EQ(p.workingWord() & kOptionAnalogStream, 0);
  AnalogSettings stored;
  ASSERT_TRUE(LoadAnalogSettings(p.link, stored));
  EXPECT_EQ(stored.references[0], 300);
  EXPECT_EQ(stored.mixing[1][0], 58);
}

TEST(ToolsOverPty, AnalogFailedLoadLeavesTheStreamOff) {
  BoardProcess board({"--fault", fault(3, "noanswer")});
  ASSERT_FALSE(board.device().empty());
  PtyLink p;
  ASSERT_TRUE(p.open(board.device()));
  AnalogSettings s;
  EXPECT_FALSE(openAnalogDialog(p.link, p.messages, s));
  EXPECT_EQ(p.workingWord() & kOptionAnalogStream, 0);
}

TEST(ToolsOverPty, ReceiverAutoAndAFailedStoreThatLeavesTheStreamOn) {
  BoardProcess board({"--still", "--fault", fault(6, "garbage")});
  ASSERT_FALSE(board.device().empty());
  PtyLink p;
  ASSERT_TRUE(p.open(board.device()));
  ReceiverSettings s;
  int reports = 0;
  p.messages.onReceiverReport = [&](const ReceiverReport& r) {
    takeReceiverReport(s, r);
    ++reports;
  };
  // Exchanges 1-3: stream on, references read; 4-5: AUTO writes and reads back.
  ASSERT_TRUE(openReceiverDialog(p.link, p.ui, s));
  ASSERT_TRUE(p.waitFor([&] { return reports >= 2; }));
  ASSERT_TRUE(autoReceiverReference(p.link, s, 2));
  EXPECT_NEAR(s.references[2], 64, 1);
  // Exchange 6, the store, gets garbage instead of the acknowledge.
  EXPECT_FALSE(closeReceiverDialog(p.link, p.ui, s));
  EXPECT_EQ(p.ui.statuses.back(), "受信データの設定値が呼び出せません");
  EXPECT_EQ(p.workingWord() & kOptionReceiverStream, kOptionReceiverStream);
}

class CliTools : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/pvrj-cli-tools-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

TEST_F(CliTools, TrimsLoadSaveAndPrint) {
  BoardProcess board;
  ASSERT_FALSE(board.device().empty());
  const std::string dev = board.device();
  std::string text = "[TrimData]\r\n";
  for (int n = 1; n <= 24; ++n)
    text += "CH" + std::to_string(n) + "=" + (n == 2 ? "16800" : "16400") + "\r\n";
  ASSERT_TRUE(writeTextFile(path("in.VLB"), text));
  ChildResult load = runProgram({PVRJ_CLI_EXE, "--port", dev, "trims", "load", path("in.VLB")});
  ASSERT_EQ(load.exitCode, 0) << load.err;
  ChildResult show = runProgram({PVRJ_CLI_EXE, "--port", dev, "trims"});
  ASSERT_EQ(show.exitCode, 0) << show.err;
  EXPECT_NE(show.out.find("CH1    +16  (16400)\n"), std::string::npos) << show.out;
  // The stored copy takes what the bars hold: 16800 is beyond the range.
  EXPECT_NE(show.out.find("CH2   +345  (16729)\n"), std::string::npos) << show.out;
  ChildResult save = runProgram({PVRJ_CLI_EXE, "--port", dev, "trims", "save", path("out.txt")});
  ASSERT_EQ(save.exitCode, 0) << save.err;
  Result<std::string> saved = readTextFile(path("out.txt"));
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved.value().rfind("[TrimData]\r\nCH1=16400\r\nCH2=16729\r\n", 0), 0u);

  ASSERT_TRUE(writeTextFile(path("bad.VLB"), "[TrimData]\r\nCH1=1\r\n"));
  ChildResult bad = runProgram({PVRJ_CLI_EXE, "--port", dev, "trims", "load", path("bad.VLB")});
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.err.find("指定のファイルは使用できません"), std::string::npos) << bad.err;
}

TEST_F(CliTools, OptionsInWords) {
  BoardProcess board;
  ASSERT_FALSE(board.device().empty());
  ChildResult r = runProgram({PVRJ_CLI_EXE, "--port", board.device(), "options"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("option word (stored): 0x0000\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("low-voltage threshold: 06.0V (raw 391)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("servo-bus channels: none\n"), std::string::npos) << r.out;
}

TEST_F(CliTools, WatchPrintsCsvForTheTimeGivenAndSwitchesTheStreamOff) {
  BoardProcess board;
  ASSERT_FALSE(board.device().empty());
  ChildResult r =
      runProgram({PVRJ_CLI_EXE, "--port", board.device(), "watch", "analog", "--seconds", "1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("time_s,battery,ad1,ad2,ad3,battery_v,ad1_v,ad2_v,ad3_v\n", 0), 0u);
  int lines = 0;
  for (char c : r.out) lines += c == '\n';
  EXPECT_GE(lines, 5) << r.out;
  PtyLink p;
  ASSERT_TRUE(p.open(board.device()));
  EXPECT_EQ(p.workingWord() & kOptionAnalogStream, 0);
}

TEST_F(CliTools, WatchEndsCleanlyOnCtrlC) {
  BoardProcess board;
  ASSERT_FALSE(board.device().empty());
  int outFd = -1, errFd = -1;
  const pid_t pid = test::detail::spawn(
      {PVRJ_CLI_EXE, "--port", board.device(), "watch", "receiver"}, {}, outFd, errFd);
  ASSERT_GT(pid, 0);
  // Wait for a data line after the header, then press Ctrl+C.
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + kReportDeadline;
  while (std::count(out.begin(), out.end(), '\n') < 3 &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd pfd{outFd, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(kPoll.count())) <= 0) continue;
    char buf[256];
    const ssize_t n = ::read(outFd, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(out.rfind("time_s,button,pa1,pa2,pa3,pa4\n", 0), 0u) << out;
  ::kill(pid, SIGINT);
  std::string rest, err;
  test::detail::drain(outFd, errFd, rest, err, std::chrono::steady_clock::now() + kReportDeadline);
  ::close(outFd);
  ::close(errFd);
  EXPECT_EQ(test::detail::reap(pid, test::kChildStopDeadline), 0) << err;
  PtyLink p;
  ASSERT_TRUE(p.open(board.device()));
  EXPECT_EQ(p.workingWord() & kOptionReceiverStream, 0);
}

}  // namespace
}  // namespace pvrj
