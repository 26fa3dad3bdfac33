// The board link against the in-process virtual board: exact exchanges, composites, faults and
// round trips through the board's memory.
#include <gtest/gtest.h>

#include <string>

#include "board/VirtualBoardPort.h"
#include "protocol/BoardLink.h"
#include "tests/support/FakeUserInterface.h"

namespace pvrj {
namespace {

using board::Fault;
using board::VirtualBoardPort;
using test::FakeUserInterface;

struct OnVirtualBoard : ::testing::Test {
  VirtualBoardPort port;
  FakeUserInterface ui;
  BoardLink link{port, ui};
  board::VirtualBoard& vb() { return port.board(); }
};

TEST_F(OnVirtualBoard, CommandsAreAnsweredExactly) {
  EXPECT_TRUE(link.CmdStop());
  EXPECT_TRUE(link.CmdWriteAlarm(10, 391));
  EXPECT_EQ(vb().memory().alarm, (std::array<std::uint8_t, 3>{10, 0x01, 0x87}));
  Bytes reply;
  ASSERT_TRUE(link.CmdReadTableEntry(0, reply));
  ASSERT_EQ(reply.size(), 43u);
  const TableEntryData blank = TableEntry::blank().encode();
  EXPECT_EQ(Bytes(reply.begin(), reply.end() - 1), Bytes(blank.begin(), blank.end()));
  Bytes alarm;
  ASSERT_TRUE(link.CmdReadAlarm(alarm));
  EXPECT_EQ(Bytes(alarm.begin(), alarm.end() - 1), (Bytes{10, 0x01, 0x87}));
}

TEST_F(OnVirtualBoard, SleepToggleBothWays) {
  PositionRecord pose;
  pose.block.words.fill(12000);
  EXPECT_TRUE(link.CmdWritePositionRecord(WorkingCopy, 0, 0, pose));
  EXPECT_TRUE(link.SetSleep(2));
  std::uint16_t word = 0;
  ASSERT_TRUE(link.CmdReadOptions(WorkingCopy, word));
  EXPECT_EQ(word & kOptionSleep, kOptionSleep);
  Bytes back;
  ASSERT_TRUE(link.CmdReadPositionRecord(WorkingCopy, 0, 0, back));
  PositionRecord got;
  ASSERT_TRUE(got.decode(back));
  EXPECT_EQ(got.block, pose.block);  // the pose came back after the servos went free
  EXPECT_EQ(ui.boardStates.back(), "スリープ");

  EXPECT_TRUE(link.SetSleep(2));
  ASSERT_TRUE(link.CmdReadOptions(WorkingCopy, word));
  EXPECT_EQ(word & kOptionSleep, 0);
  EXPECT_EQ(ui.boardStates.back(), "動作中");
}

TEST_F(OnVirtualBoard, UpdateAndDeleteTableEntry) {
  EXPECT_TRUE(link.UpdateTableEntry(5, 4, 0x00000F, 65535, Bytes{6, 7, 8, 9}, "FIRST"));
  EXPECT_TRUE(link.UpdateTableEntry(5, -1, -1, 500, kKeepDate, "WALK"));
  TableEntry e;
  ASSERT_TRUE(e.decode(vb().memory().table[5]));
  EXPECT_EQ(e.count, 4);
  EXPECT_EQ(e.mask, 0x0Fu);
  EXPECT_EQ(e.month, 6);
  EXPECT_EQ(e.minute, 9);
  EXPECT_EQ(e.control, 500);
  EXPECT_EQ(e.name, "WALK");
  EXPECT_TRUE(link.DeleteTableEntry(5));
  EXPECT_EQ(vb().memory().table[5], TableEntry::blank().encode());
}

TEST_F(OnVirtualBoard, RecordsNamesAndStepsRoundTrip) {
  PositionRecord rec;
  rec.lead = 30;
  for (int i = 0; i < kBoardChannels; ++i) rec.block.words[i] = static_cast<std::uint16_t>(100 * i);
  EXPECT_TRUE(link.CmdWritePositionRecord(StoredCopy, 2, 3, rec));
  Bytes reply;
  ASSERT_TRUE(link.CmdReadPositionRecord(StoredCopy, 2, 3, reply));
  PositionRecord back;
  ASSERT_TRUE(back.decode(reply));
  EXPECT_EQ(back, rec);

  EXPECT_TRUE(link.CmdWriteChannelName(4, "右腕"));
  ASSERT_TRUE(link.CmdReadChannelName(4, reply));
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 5), (Bytes{0x89, 0x45, 0x98, 0x72, 0x00}));

  EXPECT_TRUE(link.CmdWriteScenarioStep(1, 7, 42));
  ASSERT_TRUE(link.CmdReadScenarioStep(1, 7, reply));
  EXPECT_EQ(reply, (Bytes{42, 42}));

  Bytes info;
  ASSERT_TRUE(link.CmdReadBoardInfo(info));
  EXPECT_EQ(info.size(), 64u);
}

TEST_F(OnVirtualBoard, InjectedFaultsGiveTheExchangeOutcomes) {
  vb().injectFault(Fault::noHandshake());
  EXPECT_FALSE(link.CmdStop());
  EXPECT_EQ(vb().requestCount(), 0u);

  const auto before = vb().handshakeCount();
  vb().injectFault(Fault::shortReply(10), 5);
  Bytes reply;
  EXPECT_FALSE(link.CmdReadTableEntry(0, reply));
  EXPECT_EQ(vb().handshakeCount() - before, 5u);

  vb().injectFault(Fault::wrongChecksum());
  EXPECT_FALSE(link.CmdReadTableEntry(0, reply));
  EXPECT_EQ(vb().handshakeCount() - before, 6u);

  EXPECT_TRUE(link.CmdReadTableEntry(0, reply));  // the board is well again
  EXPECT_FALSE(ui.busy);
}

TEST_F(OnVirtualBoard, ClosedPortFailsQuietly) {
  port.Close();
  EXPECT_FALSE(link.SetSleep(0));
  EXPECT_EQ(vb().handshakeCount(), 0u);
  EXPECT_TRUE(ui.boardStates.empty());
}

}  // namespace
}  // namespace pvrj
