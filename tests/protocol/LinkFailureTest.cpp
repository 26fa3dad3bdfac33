// What the board link remembers of a failed command, and how it says it, against the in-process
// virtual board.
#include <gtest/gtest.h>

#include "board/VirtualBoardPort.h"
#include "protocol/BoardLink.h"
#include "protocol/CommandCodes.h"
#include "support/FakeUserInterface.h"

namespace pvrj {
namespace {

struct FailureCase {
  const char* what;
  std::function<void(board::VirtualBoardPort&)> arrange;
  std::function<bool(BoardLink&)> command;
  LinkFault fault;
  const char* text;
};

// Test names carry the case; its parts are functions, so only its name is printed.
void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.what;
}

class LinkFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(LinkFailureTest, TheLinkTellsWhichCommandFailedAndHow) {
  const FailureCase& c = GetParam();
  board::VirtualBoardPort port;
  test::FakeUserInterface ui;
  BoardLink link(port, ui);
  c.arrange(port);
  EXPECT_FALSE(c.command(link));
  EXPECT_EQ(link.lastFailure().fault, c.fault);
  EXPECT_EQ(link.lastFailureText(), c.text);
  // The next command that succeeds clears it.
  port.Open();
  EXPECT_TRUE(link.CmdStop());
  EXPECT_EQ(link.lastFailure().fault, LinkFault::kNone);
  EXPECT_EQ(link.lastFailureText(), "");
}

const FailureCase kCases[] = {
    {"PortClosed", [](board::VirtualBoardPort& p) { p.Close(); },
     [](BoardLink& l) { return l.CmdPlay(3); }, LinkFault::kPortClosed,
     "CmdPlay: ポートが開いていません"},
    {"NoHandshake",
     [](board::VirtualBoardPort& p) { p.board().injectFault(board::Fault::noHandshake()); },
     [](BoardLink& l) { return l.CmdStop(); }, LinkFault::kNoHandshake,
     "CmdStop: ボードがハンドシェイクに応答しません"},
    {"ShortReplyOnEveryAttempt",
     [](board::VirtualBoardPort& p) { p.board().injectFault(board::Fault::shortReply(10), 5); },
     [](BoardLink& l) {
       Bytes r;
       return l.CmdReadTableEntry(0, r);
     },
     LinkFault::kShortReply, "CmdReadTableEntry: 応答が43バイト中10バイトで途切れました(5回試行)"},
    {"NoReplyAtAll",
     [](board::VirtualBoardPort& p) { p.board().injectFault(board::Fault::shortReply(0), 5); },
     [](BoardLink& l) { return l.CmdWriteAlarm(10, 391); }, LinkFault::kShortReply,
     "CmdWriteAlarm: ボードの応答がありません(5回試行)"},
    {"WrongChecksum",
     [](board::VirtualBoardPort& p) { p.board().injectFault(board::Fault::wrongChecksum()); },
     [](BoardLink& l) {
       Bytes r;
       return l.CmdReadOptions(WorkingCopy, r);
     },
     LinkFault::kBadChecksum, "CmdReadOptions: 応答のチェックサムが合いません"},
    {"NotAcknowledged", [](board::VirtualBoardPort&) {},
     // The board refuses a table number beyond its 85 entries.
     [](BoardLink& l) { return l.CmdPlay(90); }, LinkFault::kNotAcknowledged,
     "CmdPlay: 確認応答06の代わりに15が返りました"},
    {"Refused", [](board::VirtualBoardPort&) {},
     [](BoardLink& l) { return l.CmdWriteSensorBlock(WorkingCopy, Bytes(3, 0)); },
     LinkFault::kRefused, "CmdWriteSensorBlock: 送れない要求です"},
    {"SleepKeepsTheFailureThatStoppedIt",
     // Sleeping writes the options fourth (after the pose read and the freed pose); the pose it
     // restores afterwards succeeds but must not hide why the sleep failed.
     [](board::VirtualBoardPort& p) { p.board().injectFaultAt(3, board::Fault::noHandshake()); },
     [](BoardLink& l) { return l.SetSleep(kSleepOn); }, LinkFault::kNoHandshake,
     "CmdWriteOptions: ボードがハンドシェイクに応答しません"},
};

INSTANTIATE_TEST_SUITE_P(Faults, LinkFailureTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.what); });

// A user interface that starts a second command while the first one waits.
class ImpatientUserInterface : public test::FakeUserInterface {
 public:
  BoardLink* link = nullptr;
  bool secondResult = true;
  LinkFailure secondFailure;
  void processEvents() override {
    if (!link || !secondResult) return;
    secondResult = link->CmdStop();
    secondFailure = link->lastFailure();
  }
};

TEST(LinkFailure, ASecondCommandDuringAWaitIsBusy) {
  board::VirtualBoardPort port;
  ImpatientUserInterface ui;
  BoardLink link(port, ui);
  ui.link = &link;
  port.board().injectFault(board::Fault::noHandshake());  // the first command waits in vain
  EXPECT_FALSE(link.CmdPlay(1));
  EXPECT_FALSE(ui.secondResult);
  EXPECT_EQ(ui.secondFailure.fault, LinkFault::kBusy);
  EXPECT_EQ(describeFailure(ui.secondFailure), "CmdStop: 別の通信が応答を待っています");
}

TEST(LinkFailure, ACommandRefusedDuringAWaitDoesNotStandForTheOneThatWaited) {
  board::VirtualBoardPort port;
  ImpatientUserInterface ui;
  BoardLink link(port, ui);
  ui.link = &link;
  port.board().injectFault(board::Fault::delayed(100'000));  // the first command waits, then
  EXPECT_TRUE(link.CmdPlay(1));                              // gets its acknowledge
  EXPECT_EQ(ui.secondFailure.fault, LinkFault::kBusy);
  EXPECT_EQ(link.lastFailure().fault, LinkFault::kNone);

  port.board().injectFault(board::Fault::noHandshake());
  ui.secondResult = true;
  EXPECT_FALSE(link.CmdPlay(1));
  EXPECT_EQ(link.lastFailure().fault, LinkFault::kNoHandshake);
  EXPECT_EQ(link.lastFailure().code, 0xF4);
}

TEST(LinkFailure, EveryCodeHasItsOperationName) {
  for (int code = 0xD0; code <= 0xFF; ++code) {
    const std::string name = commandName(static_cast<std::uint8_t>(code));
    EXPECT_TRUE(name.empty() || name.starts_with("Cmd")) << code;
  }
  EXPECT_STREQ(commandName(kWritePositionRecord), "CmdWritePositionRecord");
  EXPECT_STREQ(commandName(0x00), "");
  LinkFailure unknown{LinkFault::kNoHandshake, 0xD4};
  EXPECT_EQ(describeFailure(unknown), "コマンドD4: ボードがハンドシェイクに応答しません");
}

TEST(LinkFailure, FailureStatusNamesTheAction) {
  board::VirtualBoardPort port;
  test::FakeUserInterface ui;
  BoardLink link(port, ui);
  port.Close();
  EXPECT_FALSE(link.SetPause(kPauseToggle));
  EXPECT_EQ(link.failureStatus("一時停止"), "一時停止失敗: CmdReadOptions: ポートが開いていません");
  // Nothing failed in the link: the status still says the board was not reached.
  port.Open();
  EXPECT_TRUE(link.CmdStop());
  EXPECT_EQ(link.failureStatus("書込"), "書込失敗: ボードと通信できません");
}

}  // namespace
}  // namespace pvrj
