// The composites (sleep, option bits, table entries), the busy caption, the refused nested
// exchange and the port opening, against a small scripted board.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "protocol/BoardLink.h"
#include "tests/protocol/ScriptedPort.h"
#include "tests/support/FakeUserInterface.h"

namespace pvrj {
namespace {

using test::FakeUserInterface;
using test::ScriptedPort;
using test::withChecksum;

// Just enough of a board for the composites: option words, the working pose and the table.
struct MiniBoard {
  std::uint16_t working = 0;
  std::uint16_t stored = 0;
  PositionRecord pose;
  std::array<TableEntryData, 85> table{};
  std::vector<Bytes> requests;
  std::vector<std::uint16_t> optionWrites;
  std::vector<PositionRecord> poseWrites;
  int failOnCode = -1;  // this command code gets no answer

  MiniBoard() {
    for (auto& e : table) e = TableEntry::blank().encode();
  }

  Bytes operator()(const Bytes& req) {
    requests.push_back(req);
    if (req[0] == failOnCode) return {};
    switch (req[0]) {
      case 0xF1: {
        std::uint16_t w = (req[1] & 0x02) ? stored : working;
        return withChecksum({static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w)});
      }
      case 0xF2: {
        std::uint16_t w = readWord(&req[2]);
        ((req[1] & 0x02) ? stored : working) = w;
        optionWrites.push_back(w);
        return {0x06};
      }
      case 0xFC: {
        auto b = pose.encode();
        return withChecksum(Bytes(b.begin(), b.end()));
      }
      case 0xFD: {
        PositionRecord r;
        r.decode(std::span<const std::uint8_t>(req).subspan(4));
        poseWrites.push_back(r);
        return {0x06};
      }
      case 0xF5:
        return withChecksum(Bytes(table[req[1]].begin(), table[req[1]].end()));
      case 0xF6:
        std::copy_n(req.begin() + 3, 42, table[req[2]].begin());
        return {0x06};
      default:
        return {0x06};
    }
  }
};

struct CompositeFixture : ::testing::Test {
  ScriptedPort port;
  FakeUserInterface ui;
  BoardLink link{port, ui};
  MiniBoard board;
  void SetUp() override {
    port.responder = [this](const Bytes& r) { return board(r); };
  }
};

using Sleep = CompositeFixture;

TEST_F(Sleep, ToggleFromAwakeFreesServosSleepsAndRestoresThePose) {
  board.working = 0x0000;
  board.pose.lead = 40;
  const std::array<std::uint16_t, 8> sample{0x0000, 0x7FFF, 0x8000, 0x8001,
                                            0x8002, 0x8106, 0x8107, 0xFFFF};
  for (std::size_t i = 0; i < sample.size(); ++i) board.pose.block.words[i] = sample[i];
  for (std::size_t i = sample.size(); i < 24; ++i) board.pose.block.words[i] = 16384;

  EXPECT_TRUE(link.SetSleep(2));

  std::vector<std::uint8_t> codes;
  for (const Bytes& r : board.requests) codes.push_back(r[0]);
  EXPECT_EQ(codes, (std::vector<std::uint8_t>{0xF1, 0xFC, 0xFD, 0xF2, 0xFD}));
  EXPECT_EQ(board.requests[1], (Bytes{0xFC, 0x00, 0x00, 0x00, 0xFC}));
  EXPECT_EQ(board.requests[2][1], 0x01);  // working copy, acknowledged
  ASSERT_EQ(board.poseWrites.size(), 2u);
  const PositionRecord& freed = board.poseWrites[0];
  EXPECT_EQ(freed.lead, 1);
  const std::array<std::uint16_t, 8> expected{0x8002, 0x8002, 0x8000, 0x8001,
                                              0x8002, 0x8002, 0x8107, 0xFFFF};
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(freed.block.words[i], expected[i]);
  EXPECT_EQ(freed.block.words[10], 0x8002);
  EXPECT_EQ(board.optionWrites, std::vector<std::uint16_t>{0x0001});
  PositionRecord saved = board.pose;
  saved.lead = 1;
  EXPECT_EQ(board.poseWrites[1], saved);
  EXPECT_EQ(ui.boardStates, std::vector<std::string>{"スリープ"});
}

TEST_F(Sleep, ToggleFromAsleepOnlyWritesTheWord) {
  board.working = 0x0001;
  EXPECT_TRUE(link.SetSleep(2));
  ASSERT_EQ(board.requests.size(), 2u);
  EXPECT_EQ(board.requests[1], (Bytes{0xF2, 0x01, 0x00, 0x00, 0xF3}));
  EXPECT_EQ(ui.boardStates, std::vector<std::string>{"動作中"});
}

TEST_F(Sleep, OnAndOffKeepTheOtherBits) {
  board.working = 0x0204;
  EXPECT_TRUE(link.SetSleep(0));
  EXPECT_EQ(board.working, 0x0205);
  EXPECT_TRUE(link.SetSleep(1));
  EXPECT_EQ(board.working, 0x0204);
}

TEST_F(Sleep, FailedPoseReadStopsAndLeavesThePanel) {
  board.failOnCode = 0xFC;
  EXPECT_FALSE(link.SetSleep(0));
  EXPECT_TRUE(board.optionWrites.empty());
  EXPECT_TRUE(board.poseWrites.empty());
  EXPECT_TRUE(ui.boardStates.empty());
}

TEST_F(Sleep, FailedWordWriteGivesTheServosTheirPoseBack) {
  board.pose.block.words.fill(1000);
  board.failOnCode = 0xF2;
  EXPECT_FALSE(link.SetSleep(0));
  ASSERT_EQ(board.poseWrites.size(), 2u);
  EXPECT_EQ(board.poseWrites.back().block.words[0], 1000);
  EXPECT_TRUE(ui.boardStates.empty());
}

TEST_F(Sleep, UnknownModeSendsNothing) {
  EXPECT_FALSE(link.SetSleep(3));
  EXPECT_TRUE(board.requests.empty());
}

using OptionBits = CompositeFixture;

TEST_F(OptionBits, EachCompositeChangesItsBitOnly) {
  board.working = 0x8000;
  EXPECT_TRUE(link.SetPause(2));
  EXPECT_EQ(board.working, 0x8002);
  EXPECT_TRUE(link.SetPause(2));
  EXPECT_EQ(board.working, 0x8000);
  EXPECT_TRUE(link.SetReceiverStream(1));
  EXPECT_EQ(board.working, 0x8004);
  EXPECT_TRUE(link.SetReceiverStream(0));
  EXPECT_EQ(board.working, 0x8000);
  EXPECT_TRUE(link.SetOptionBit5(0));
  EXPECT_EQ(board.working, 0x8020);
  EXPECT_TRUE(link.SetAnalogStream(0));
  EXPECT_EQ(board.working, 0x8120);
  EXPECT_TRUE(link.SetAnalogStream(1));
  EXPECT_TRUE(link.SetOptionBit5(1));
  EXPECT_EQ(board.working, 0x8000);
  EXPECT_TRUE(ui.boardStates.empty());
}

TEST_F(OptionBits, QvsModeUsesTheStoredCopy) {
  board.working = 0x0000;
  board.stored = 0x0001;
  EXPECT_TRUE(link.SetQvsMode(0));
  EXPECT_EQ(board.stored, 0x4001);
  EXPECT_EQ(board.working, 0x0000);
  EXPECT_EQ(board.requests[0][1], 0x02);
  EXPECT_EQ(board.requests[1][1], 0x03);
}

TEST_F(OptionBits, FailedReadWritesNothingAndModesOutsideTheTableAreRefused) {
  board.failOnCode = 0xF1;
  EXPECT_FALSE(link.SetPause(0));
  EXPECT_TRUE(board.optionWrites.empty());
  board.failOnCode = -1;
  board.requests.clear();
  EXPECT_FALSE(link.SetReceiverStream(2));
  EXPECT_FALSE(link.SetQvsMode(2));
  EXPECT_FALSE(link.SetPause(-1));
  // Two-mode composites have no toggle, whatever number is asked for.
  EXPECT_FALSE(link.SetReceiverStream(-1));
  EXPECT_FALSE(link.SetOptionBit5(-1));
  EXPECT_FALSE(link.SetAnalogStream(-1));
  EXPECT_FALSE(link.SetQvsMode(-1));
  EXPECT_TRUE(board.requests.empty());
}

using TableEntries = CompositeFixture;

TEST_F(TableEntries, UpdateKeepsWhatIsAskedAndShowsTheRow) {
  TableEntry old;
  old.count = 7;
  old.mask = 0x0F00FF;
  old.month = 3;
  old.day = 4;
  old.hour = 5;
  old.minute = 6;
  old.control = 1;
  old.name = "OLD NAME THAT IS LONG";
  board.table[5] = old.encode();
  int shownNumber = -1;
  TableEntryData shown{};
  link.onTableEntryChanged = [&](int n, const TableEntryData& e) {
    shownNumber = n;
    shown = e;
  };

  EXPECT_TRUE(link.UpdateTableEntry(5, -1, -1, 500, kKeepDate, "WALK"));
  const TableEntryData& now = board.table[5];
  EXPECT_EQ((Bytes{now.begin(), now.begin() + 8}), (Bytes{7, 0xFF, 0x00, 0x0F, 3, 4, 5, 6}));
  EXPECT_EQ(now[8], 0x01);
  EXPECT_EQ(now[9], 0xF4);
  EXPECT_EQ((Bytes{now.begin() + 10, now.begin() + 14}), (Bytes{'W', 'A', 'L', 'K'}));
  for (std::size_t i = 14; i < 42; ++i) EXPECT_EQ(now[i], 0) << i;
  EXPECT_EQ(shownNumber, 5);
  EXPECT_EQ(shown, now);
}

TEST_F(TableEntries, UpdateWritesEveryGivenField) {
  EXPECT_TRUE(
      link.UpdateTableEntry(80, 3, 0x123456, 0xABCD, Bytes{12, 31, 23, 59}, std::string(40, 'N')));
  TableEntry e;
  e.decode(board.table[80]);
  EXPECT_EQ(e.count, 3);
  EXPECT_EQ(e.mask, 0x123456u);
  EXPECT_EQ(e.control, 0xABCD);
  EXPECT_EQ(e.month, 12);
  EXPECT_EQ(e.minute, 59);
  EXPECT_EQ(e.name, std::string(32, 'N'));  // cut to its first 32 bytes
  EXPECT_EQ(board.requests.back()[2], 80);
}

TEST_F(TableEntries, EmptyDateStampsTheLocalTime) {
  link.clock = [] {
    std::tm t{};
    t.tm_mon = 10;  // November
    t.tm_mday = 9;
    t.tm_hour = 8;
    t.tm_min = 7;
    return t;
  };
  EXPECT_TRUE(link.UpdateTableEntry(0, -1, -1, -1, Bytes{}, "X"));
  EXPECT_EQ((Bytes{board.table[0].begin() + 4, board.table[0].begin() + 8}), (Bytes{11, 9, 8, 7}));
}

TEST_F(TableEntries, NameIsSentAsCp932) {
  EXPECT_TRUE(link.UpdateTableEntry(1, -1, -1, -1, kKeepDate, "歩く"));
  EXPECT_EQ((Bytes{board.table[1].begin() + 10, board.table[1].begin() + 15}),
            (Bytes{0x95, 0xE0, 0x82, 0xAD, 0x00}));
}

TEST_F(TableEntries, MalformedDateIsRefusedBeforeAnything) {
  EXPECT_FALSE(link.UpdateTableEntry(1, 1, -1, -1, Bytes{1, 2}, "X"));
  EXPECT_FALSE(link.UpdateTableEntry(1, 1, -1, -1, Bytes{5}, "X"));
  EXPECT_TRUE(board.requests.empty());
}

TEST_F(TableEntries, FailedReadOrWriteShowsNothing) {
  bool shown = false;
  link.onTableEntryChanged = [&](int, const TableEntryData&) { shown = true; };
  board.failOnCode = 0xF5;
  EXPECT_FALSE(link.UpdateTableEntry(2, 1, -1, -1, kKeepDate, "A"));
  EXPECT_FALSE(link.DeleteTableEntry(2));
  for (const Bytes& r : board.requests) EXPECT_NE(r[0], 0xF6);  // no write after a failed read
  board.failOnCode = 0xF6;
  EXPECT_FALSE(link.UpdateTableEntry(2, 1, -1, -1, kKeepDate, "A"));
  EXPECT_FALSE(shown);
}

TEST_F(TableEntries, DeleteWritesTheBlankEntry) {
  TableEntry used;
  used.count = 9;
  used.name = "RUN";
  used.month = 1;
  board.table[79] = used.encode();
  int shownNumber = -1;
  link.onTableEntryChanged = [&](int n, const TableEntryData&) { shownNumber = n; };
  EXPECT_TRUE(link.DeleteTableEntry(79));
  EXPECT_EQ(board.table[79], TableEntry::blank().encode());
  EXPECT_EQ(shownNumber, 79);
}

using Busy = CompositeFixture;

TEST_F(Busy, CaptionIsUpDuringEachExchangeAndBackOnEveryPath) {
  std::vector<bool> busyAtRequest;
  port.responder = [&](const Bytes& r) {
    busyAtRequest.push_back(ui.busy);
    return board(r);
  };
  EXPECT_TRUE(link.CmdStop());
  EXPECT_FALSE(ui.busy);
  board.failOnCode = 0xF3;
  EXPECT_FALSE(link.CmdStop());
  EXPECT_FALSE(ui.busy);
  port.answerHandshake = false;
  EXPECT_FALSE(link.SetSleep(0));
  EXPECT_FALSE(ui.busy);
  // One request for the good stop, five attempts for the unanswered one.
  EXPECT_EQ(busyAtRequest, std::vector<bool>(6, true));
  // Each command raises and lowers the caption once.
  EXPECT_EQ(ui.busyDepthChanges, 6);
}

TEST_F(Busy, CaptionComesBackWhenTheWaitHookThrows) {
  port.responder = [](const Bytes&) { return Bytes{}; };
  ui.eventsProcessed = 0;
  struct Boom {};
  port.SetWaitHook([] { throw Boom{}; });
  EXPECT_THROW(link.CmdStop(), Boom);
  EXPECT_FALSE(ui.busy);
  EXPECT_FALSE(link.exchanging());
}

using Nested = CompositeFixture;

TEST_F(Nested, ExchangeStartedDuringAWaitIsRefusedAtOnce) {
  // The reply arrives only after the wait hook ran once, like a board that needs a moment.
  bool nestedResult = true;
  int nestedCalls = 0;
  port.responder = [](const Bytes&) { return Bytes{}; };
  port.SetWaitHook([&] {
    if (nestedCalls++ == 0) {
      std::size_t before = port.requests.size();
      nestedResult = link.CmdPlay(3);
      EXPECT_EQ(port.requests.size(), before);  // nothing of it reached the line
      EXPECT_TRUE(ui.busy);                     // the outer command still shows the caption
      port.inbound.push_back(0x06);
    }
  });
  EXPECT_TRUE(link.CmdStop());
  EXPECT_FALSE(nestedResult);
  EXPECT_EQ(port.requests.size(), 1u);
  EXPECT_FALSE(ui.busy);
  EXPECT_FALSE(link.exchanging());
  port.responder = [](const Bytes&) { return Bytes{0x06}; };
  EXPECT_TRUE(link.CmdPlay(3));  // after the wait, exchanges run again
}

TEST_F(Nested, WaitHookProcessesUserInterfaceEvents) {
  port.responder = [](const Bytes&) { return Bytes{}; };
  link.RetryCount = 1;
  EXPECT_FALSE(link.CmdStop());
  EXPECT_GT(ui.eventsProcessed, 0);
}

// Records the opening steps; fails to open the ports listed in missing.
struct FakeOpener : PortOpener {
  std::vector<std::string>& log;
  std::vector<int> missing;
  explicit FakeOpener(std::vector<std::string>& l) : log(l) {}
  void Close() override { log.push_back("close"); }
  void Open(int k) override {
    log.push_back("open " + std::to_string(k));
    for (int m : missing)
      if (m == k) throw std::runtime_error("ポートをオープンできませんでした");
  }
  void SetDtr(bool on) override { log.push_back(on ? "dtr on" : "dtr off"); }
};

using OpenPort = CompositeFixture;

TEST_F(OpenPort, OpensSetsUpAndTellsTheStatusLine) {
  FakeOpener opener(port.log);
  bool cleared = false;
  link.onClearReceiveBuffer = [&] { cleared = true; };
  port.timeOut = 3000;
  port.log.clear();
  EXPECT_TRUE(link.OpenBoardPort(opener, 3));
  EXPECT_TRUE(cleared);
  EXPECT_EQ(port.log, (std::vector<std::string>{"close", "timeout 300", "open 3", "dtr on",
                                                "dtr off", "purgeR", "purgeT"}));
  EXPECT_EQ(ui.statuses, std::vector<std::string>{"COM3 設定完了"});
}

TEST_F(OpenPort, MissingPortIsReportedAndLeftClosed) {
  FakeOpener opener(port.log);
  opener.missing = {7};
  port.log.clear();
  EXPECT_FALSE(link.OpenBoardPort(opener, 7));
  EXPECT_EQ(ui.statuses, std::vector<std::string>{"COM7は使用できません"});
  EXPECT_EQ(port.log.back(), "close");
  EXPECT_EQ(std::count(port.log.begin(), port.log.end(), "dtr on"), 0);
}

TEST_F(OpenPort, OffClosesOnly) {
  FakeOpener opener(port.log);
  port.log.clear();
  EXPECT_FALSE(link.OpenBoardPort(opener, 0));
  EXPECT_EQ(port.log, std::vector<std::string>{"close"});
  EXPECT_EQ(ui.statuses, std::vector<std::string>{"シリアルポートを閉じました"});
}

}  // namespace
}  // namespace pvrj
