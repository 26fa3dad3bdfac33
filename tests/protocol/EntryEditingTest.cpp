// The motion table and data dialog sequences against the in-process virtual board.
#include "protocol/EntryEditing.h"

#include <gtest/gtest.h>

#include "board/VirtualBoardPort.h"
#include "common/Encoding.h"
#include "protocol/CommandCodes.h"
#include "support/FakeUserInterface.h"

namespace pvrj {
namespace {

// The board does not answer the next handshake.
board::Fault noAnswer() {
  return board::Fault::noHandshake();
}

// The virtual board's port, noting the code of every request sent.
class RecordingPort : public BoardPort {
 public:
  explicit RecordingPort(board::VirtualBoardPort& inner) : inner_(inner) {}
  bool IsOpen() const override { return inner_.IsOpen(); }
  void Write(const std::uint8_t* data, std::size_t count) override {
    if (count > 1) codes.push_back(data[0]);  // the handshake goes out alone
    inner_.Write(data, count);
  }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    return inner_.Read(buffer, count);
  }
  void PurgeReceive() override { inner_.PurgeReceive(); }
  void PurgeTransmit() override { inner_.PurgeTransmit(); }
  std::size_t InQueueCount() override { return inner_.InQueueCount(); }
  int TimeOutReceive() const override { return inner_.TimeOutReceive(); }
  void SetTimeOutReceive(int ms) override { inner_.SetTimeOutReceive(ms); }
  void SetWaitHook(std::function<void()> hook) override { inner_.SetWaitHook(std::move(hook)); }

  std::vector<std::uint8_t> codes;

 private:
  board::VirtualBoardPort& inner_;
};

class EntryEditingTest : public ::testing::Test {
 protected:
  board::VirtualBoardPort board;
  RecordingPort port{board};
  test::FakeUserInterface ui;
  BoardLink link{port, ui};
  MotionTable table;

  board::VirtualBoard& vb() { return board.board(); }
  std::uint16_t options() { return vb().live().working.options; }
  bool asleep() { return (options() & board::kOptSleep) != 0; }
  void storeEntry(int n, const TableEntry& e) {
    vb().memory().table[static_cast<std::size_t>(n)] = e.encode();
  }
};

TEST_F(EntryEditingTest, ReadsAllEightyFiveEntriesAndWakes) {
  auto& stored = vb().memory().table;
  stored[2][0] = 7;
  stored[2][10] = 'R';
  stored[83][0] = 12;
  EXPECT_EQ(readMotionTable(link, table), TableReadResult::kComplete);
  ASSERT_EQ(table.rowCount(), 85);
  EXPECT_EQ(table.row(2).count, "7");
  EXPECT_EQ(table.row(2).name, "R");
  EXPECT_EQ(table.row(83).caption, "S4");
  EXPECT_EQ(table.row(83).count, "12");
  EXPECT_FALSE(asleep());
  EXPECT_TRUE(ui.statuses.empty());
}

TEST_F(EntryEditingTest, TableReadFailingAtEntryTwentyKeepsTwentyRowsSleepsAndSaysWhy) {
  table.onRowChanged = [this](int row) {
    if (row == 19) vb().injectFault(noAnswer(), 1);
  };
  EXPECT_EQ(readMotionTable(link, table), TableReadResult::kMotionFailed);
  ASSERT_EQ(table.rowCount(), 20);
  EXPECT_EQ(table.row(0).caption, "M1");
  EXPECT_EQ(table.row(19).caption, "M20");
  EXPECT_TRUE(asleep());
  EXPECT_EQ(ui.statuses.back(),
            "テーブル読込失敗: CmdReadTableEntry: ボードがハンドシェイクに応答しません");
}

TEST_F(EntryEditingTest, TableReadScenarioFailureEndsOnlyItsLoopAndSleeps) {
  table.onRowChanged = [this](int row) {
    if (row == 81) vb().injectFault(noAnswer(), 1);
  };
  EXPECT_EQ(readMotionTable(link, table), TableReadResult::kScenarioFailed);
  EXPECT_EQ(table.rowCount(), 82);
  EXPECT_TRUE(asleep());
}

TEST_F(EntryEditingTest, TableReadSleepFailureLeavesTheListEmpty) {
  vb().injectFault(noAnswer(), 1);
  EXPECT_EQ(readMotionTable(link, table), TableReadResult::kSleepFailed);
  EXPECT_EQ(table.rowCount(), 0);
  EXPECT_EQ(ui.statuses.back(),
            "テーブル読込失敗: CmdReadOptions: ボードがハンドシェイクに応答しません");
}

TEST_F(EntryEditingTest, EditRunsTheBracketsThenWritesTheDialogsValues) {
  TableEntry old;
  old.count = 6;
  old.mask = 0x000001;
  old.month = 3;
  old.day = 4;
  old.hour = 5;
  old.minute = 6;
  old.control = 100;
  old.name = "古い";
  storeEntry(2, old);

  bool asked = false;
  EntryEditResult result = editTableEntry(link, table, 2, [&](int n) -> std::optional<EntryEdit> {
    asked = true;
    // The dialog opens on the row just read, with the board awake, its receiver stream off and
    // bit 5 set again.
    EXPECT_EQ(n, 2);
    EXPECT_EQ(table.row(2).name, "古い");
    EXPECT_EQ(table.LastChannelMask, 0x000001u);
    EXPECT_FALSE(asleep());
    EXPECT_FALSE(options() & board::kOptReceiverStream);
    EXPECT_TRUE(options() & board::kOptDataDialog);
    return EntryEdit{"新しい", 0x800001, 4321};
  });
  EXPECT_EQ(result, EntryEditResult::kWritten);
  EXPECT_TRUE(asked);

  TableEntry now = TableEntry::from(vb().memory().table[2]);
  TableEntry expected = old;  // count and date kept
  expected.mask = 0x800001;
  expected.control = 4321;
  expected.name = "新しい";
  EXPECT_EQ(now, expected);
  EXPECT_EQ(table.row(2).name, "古い");  // the table shows what onTableEntryChanged gives it

  // sleep on (5), stream on (2), read, stream off (2), sleep off (2), bit 5 clear and set (4),
  // then the entry read and written.
  const std::vector<std::uint8_t> sequence = {
      kReadOptions,  kReadPositionRecord, kWritePositionRecord, kWriteOptions, kWritePositionRecord,
      kReadOptions,  kWriteOptions,       kReadTableEntry,      kReadOptions,  kWriteOptions,
      kReadOptions,  kWriteOptions,       kReadOptions,         kWriteOptions, kReadOptions,
      kWriteOptions, kReadTableEntry,     kWriteTableEntry};
  EXPECT_EQ(port.codes, sequence);
  EXPECT_TRUE(ui.statuses.empty());
}

TEST_F(EntryEditingTest, CancelledEditWritesNothing) {
  TableEntry old;
  old.count = 3;
  old.name = "SC";
  storeEntry(81, old);
  const auto before = vb().memory().table;
  EXPECT_EQ(editTableEntry(link, table, 81, [](int) { return std::optional<EntryEdit>{}; }),
            EntryEditResult::kCancelled);
  EXPECT_EQ(vb().memory().table, before);
  EXPECT_EQ(table.row(81).name, "SC");  // refreshed from the board all the same
  EXPECT_EQ(port.codes.back(), kWriteOptions);
}

TEST_F(EntryEditingTest, EditFailingAtAnyStepSaysWhichExchangeAndAsksNothing) {
  struct Case {
    std::uint64_t exchange;  // counted from 0 at the edit's first handshake
    board::Fault fault;
    const char* status;
  };
  // While the receiver stream is on (exchanges 7 to 9) a report byte can pass for the handshake
  // answer, so the entry read fails by its checksum there.
  const Case cases[] = {
      {0, noAnswer(), "テーブル編集失敗: CmdReadOptions: ボードがハンドシェイクに応答しません"},
      {5, noAnswer(), "テーブル編集失敗: CmdReadOptions: ボードがハンドシェイクに応答しません"},
      {7, board::Fault::wrongChecksum(),
       "テーブル編集失敗: CmdReadTableEntry: 応答のチェックサムが合いません"},
      {14, noAnswer(), "テーブル編集失敗: CmdReadOptions: ボードがハンドシェイクに応答しません"},
      {17, noAnswer(),
       "テーブル編集失敗: CmdWriteTableEntry: ボードがハンドシェイクに応答しません"},
  };
  for (const Case& c : cases) {
    board::VirtualBoardPort fresh;
    test::FakeUserInterface freshUi;
    BoardLink freshLink(fresh, freshUi);
    MotionTable freshTable;
    fresh.board().injectFaultAt(c.exchange, c.fault);
    bool asked = false;
    EntryEditResult result = editTableEntry(freshLink, freshTable, 5, [&](int) {
      asked = true;
      return std::optional<EntryEdit>{EntryEdit{"X", 1, 2}};
    });
    EXPECT_EQ(result, EntryEditResult::kFailed) << c.exchange;
    EXPECT_EQ(asked, c.exchange == 17) << c.exchange;
    ASSERT_FALSE(freshUi.statuses.empty()) << c.exchange;
    EXPECT_EQ(freshUi.statuses.back(), c.status) << c.exchange;
  }
}

TEST_F(EntryEditingTest, CounterIsBytesOneAndTwoOfTheReply) {
  vb().live().button = 0x1234;
  EXPECT_EQ(readControlCounter(link), std::optional<std::uint16_t>{0x1234});
  vb().injectFault(board::Fault::wrongChecksum(), 1);
  EXPECT_EQ(readControlCounter(link), std::nullopt);
  EXPECT_EQ(ui.statuses.back(), "受信失敗: CmdReadCounter: 応答のチェックサムが合いません");
}

TEST_F(EntryEditingTest, DataDialogRunsWithBitFiveClear) {
  ASSERT_TRUE(link.SetOptionBit5(kBit5Set));
  bool clearWhileOpen = false;
  EXPECT_TRUE(runDataDialogBracketed(&link, [&] {
    clearWhileOpen = (options() & board::kOptDataDialog) == 0;
    return true;
  }));
  EXPECT_TRUE(clearWhileOpen);
  EXPECT_TRUE(options() & board::kOptDataDialog);
  // Without a board the dialog still runs, and its answer comes back.
  EXPECT_FALSE(runDataDialogBracketed(nullptr, [] { return false; }));
}

}  // namespace
}  // namespace pvrj
