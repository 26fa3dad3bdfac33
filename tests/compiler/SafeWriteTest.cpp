// Writes that keep the board's motions safe, against the in-process virtual board: the check after
// the records, the blanked entry of an occupied slot, and the chart kept of what was overwritten.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ChartMaker.h"
#include "board/VirtualBoardPort.h"
#include "chart/ChartFile.h"
#include "common/FileIo.h"
#include "compiler/CheckedWrite.h"
#include "compiler/Safekeeping.h"
#include "compiler/Transfer.h"
#include "support/FakeUserInterface.h"
#include "support/TempFolderTest.h"

namespace pvrj {
namespace {

using test::addItem;
using test::addLine;

// count POS items in a chain, their words set from base; compiled: count + 1 records.
Chart poseChain(int count, int base, const std::string& name) {
  Chart chart;
  for (int i = 0; i < count; ++i) {
    int item = addItem(chart, kItemPos);
    chart.items[item].PrmByte = static_cast<std::uint8_t>(10 + i);
    for (int ch = 0; ch < kChannelCount; ++ch)
      chart.items[item].PrmWords[ch] = static_cast<std::uint16_t>(base + i * 24 + ch);
    if (i > 0) addLine(chart, i - 1, i);
  }
  chart.Start = 0;
  chart.Name = name;
  chart.Port = 0x0000FF;
  chart.Ctrl = 77;
  return chart;
}

Chart scenarioOf(std::vector<int> motions, const std::string& name) {
  Chart chart;
  chart.Type = kScenarioChart;
  for (std::size_t i = 0; i < motions.size(); ++i) {
    int item = addItem(chart, kItemMot);
    chart.items[item].PrmByte = static_cast<std::uint8_t>(motions[i]);
    if (i > 0) addLine(chart, static_cast<int>(i) - 1, static_cast<int>(i));
  }
  chart.Start = 0;
  chart.Name = name;
  return chart;
}

board::Fault noAnswer() {
  return board::Fault::noHandshake();
}

class SafeWriteTest : public test::TempFolderTest {
 protected:
  board::VirtualBoardPort port;
  test::FakeUserInterface ui;
  BoardLink link{port, ui};
  Chart chart;
  CompilerState state;
  MotionTable table;
  TransferContext context{link, ui, chart, state, table, nullptr, nullptr, nullptr, nullptr};

  void SetUp() override {
    TempFolderTest::SetUp();
    link.onTableEntryChanged = [this](int n, const TableEntryData& e) {
      table.ShowTableEntry(e, n, false);
    };
    // A fixed clock names the kept files.
    link.clock = [] {
      std::tm t{};
      t.tm_year = 2025 - 1900;
      t.tm_mon = 2;
      t.tm_mday = 14;
      t.tm_hour = 9;
      t.tm_min = 15;
      t.tm_sec = 2;
      return t;
    };
  }

  board::VirtualBoard& vb() { return port.board(); }
  bool asleep() { return (vb().live().working.options & board::kOptSleep) != 0; }
  const board::TableEntry& entry(int n) { return vb().memory().table[static_cast<size_t>(n)]; }
  bool sawStatus(const std::string& s) {
    return std::find(ui.statuses.begin(), ui.statuses.end(), s) != ui.statuses.end();
  }
  std::vector<MotionRecord> compiled(const Chart& c) {
    CompilerState s;
    test::FakeUserInterface quiet;
    EXPECT_TRUE(compileMotion(c, quiet, s));
    return s.records;
  }
  // Writes c into slot with a fresh state, as a new press of the write button would.
  bool write(const Chart& c, int slot) {
    chart = c;
    state = CompilerState{};
    return writeChartToSlot(context, slot);
  }
  // The records stored at slot's addresses.
  std::vector<MotionRecord> stored(int slot, std::size_t count) {
    std::vector<MotionRecord> out;
    for (std::size_t i = 0; i < count; ++i) {
      const auto& r = vb().memory().records[static_cast<std::size_t>(slot) * 30 + i];
      MotionRecord m{};
      std::copy(r.begin(), r.end(), m.begin());
      out.push_back(m);
    }
    return out;
  }
};

TEST_F(SafeWriteTest, CheckedWriteStopsAtTheRecordThatReadsBackOtherwise) {
  const Chart walk = poseChain(4, 2000, "WALK");
  // Sleep 0-4, the entry 5, records 6-10: the third record is stored with its last bit changed.
  vb().injectFaultAt(8, board::Fault::corruptStore());
  EXPECT_FALSE(write(walk, 2));
  EXPECT_TRUE(sawStatus("5個目書込みました"));
  EXPECT_TRUE(sawStatus("2個目照合しました"));
  EXPECT_FALSE(sawStatus("3個目照合しました"));
  EXPECT_FALSE(sawStatus("ＰＣＴを書き込ました"));
  EXPECT_EQ(ui.statuses.back(), "書込失敗: 3個目のデータが書き込んだ内容と違います");
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, kMsgError);
  const MotionRecord sent = compiled(walk)[2];
  MotionRecord spoiled = sent;
  spoiled[48] ^= 0x01;
  EXPECT_EQ(ui.messages[0].text,
            "書き込んだデータを読み返すと、M3の3個目のデータが書き込んだ内容と違います。"
            "ＰＣＴは書き込んでいません。\r\n書込: " +
                spacedHex(sent) + "\r\n読込: " + spacedHex(spoiled));
  EXPECT_EQ(entry(2), board::blankTableEntry());
  EXPECT_TRUE(asleep());  // as a failed record write leaves it
}

TEST_F(SafeWriteTest, UncheckedWriteKeepsWhatTheBoardStored) {
  const Chart walk = poseChain(4, 2000, "WALK");
  vb().injectFaultAt(8, board::Fault::corruptStore());
  context.safety.verify = false;
  EXPECT_TRUE(write(walk, 2));
  EXPECT_FALSE(sawStatus("1個目照合しました"));
  EXPECT_EQ(entry(2)[0], 5);
  EXPECT_NE(stored(2, 5), compiled(walk));
}

TEST_F(SafeWriteTest, CheckThatCannotReadSaysWhichExchange) {
  vb().injectFaultAt(11, noAnswer());  // the first read of the check
  EXPECT_FALSE(write(poseChain(4, 2000, "WALK"), 0));
  EXPECT_EQ(ui.statuses.back(),
            "照合失敗: CmdReadPositionRecord: ボードがハンドシェイクに応答しません");
  EXPECT_EQ(entry(0)[0], 0);
}

TEST_F(SafeWriteTest, FailedOverwriteLeavesAnEmptySlotNotAHybridMotion) {
  ASSERT_TRUE(write(poseChain(24, 2000, "OLD"), 4));
  ASSERT_EQ(entry(4)[0], 25);
  // The new motion's 11th record does not get through.
  ui.statuses.clear();
  context.progress = [this](int done, int) {
    if (done == 10 && !sawStatus("11個目書込みました")) vb().injectFault(noAnswer());
  };
  EXPECT_FALSE(write(poseChain(19, 9000, "NEW"), 4));
  EXPECT_TRUE(sawStatus("10個目書込みました"));
  // Before, the old entry stayed over 10 new records and 15 old ones and read back as a motion.
  EXPECT_EQ(entry(4), board::blankTableEntry());
  EXPECT_EQ(table.row(4).count, "0");
  context.progress = nullptr;
  chart = Chart{};
  EXPECT_EQ(readSlotIntoChart(context, 4), ReadResult::kFailed);
  EXPECT_TRUE(sawStatus("データがありません"));
}

TEST_F(SafeWriteTest, OverwrittenMotionIsKeptAsAnEqualChart) {
  const Chart old = poseChain(3, 2000, "歩く/右");
  ASSERT_TRUE(write(old, 6));
  context.safety.keepFolder = path("kept");
  ui.statuses.clear();
  ASSERT_TRUE(write(poseChain(2, 5000, "NEW"), 6));
  const std::string kept = path("kept/20250314-091502-M7-歩く_右.VLB");
  EXPECT_TRUE(sawStatus("上書きするM7を保存しました: " + kept));
  Chart back;
  ClientArea client;
  test::FakeUserInterface quiet;
  ASSERT_TRUE(openFile(back, client, kept, quiet).opened);
  EXPECT_EQ(back.Name, "歩く/右");
  EXPECT_EQ(back.Port, old.Port);
  EXPECT_EQ(back.Ctrl, old.Ctrl);
  EXPECT_EQ(compiled(back), compiled(old));
  EXPECT_EQ(entry(6)[0], 3);  // the new motion is in place
  // An empty slot keeps nothing.
  ASSERT_TRUE(write(poseChain(2, 5000, "NEW"), 7));
  EXPECT_EQ(keptFiles(path("kept")).size(), 1u);
}

TEST_F(SafeWriteTest, MotionThatCannotBeKeptIsNotOverwritten) {
  ASSERT_TRUE(write(poseChain(3, 2000, "OLD"), 1));
  const board::TableEntry before = entry(1);
  ASSERT_TRUE(writeTextFile(path("file"), "not a folder"));
  context.safety.keepFolder = path("file/kept");
  EXPECT_FALSE(write(poseChain(2, 5000, "NEW"), 1));
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_TRUE(
      ui.lastMessage().starts_with("上書きされるM2を保存できないので、書き込みを中止しました: "))
      << ui.lastMessage();
  EXPECT_EQ(entry(1), before);
  EXPECT_EQ(stored(1, 4), compiled(poseChain(3, 2000, "OLD")));
}

TEST_F(SafeWriteTest, LongMotionBlanksAndKeepsTheFollowingSlotItFills) {
  ASSERT_TRUE(write(poseChain(4, 2000, "NEXT"), 11));
  context.safety.keepFolder = path("kept");
  ui.answers = {kIdYes};  // the question about the following slot
  ASSERT_TRUE(write(poseChain(34, 6000, "LONG"), 10));
  EXPECT_EQ(entry(10)[0], 35);
  EXPECT_EQ(entry(11), board::blankTableEntry());
  ASSERT_EQ(keptFiles(path("kept")).size(), 1u);
  EXPECT_TRUE(keptFiles(path("kept"))[0].ends_with("-M12-NEXT.VLB"));
}

TEST_F(SafeWriteTest, ScenarioOverwriteKeepsItsMaskAndControlAndIsChecked) {
  ASSERT_TRUE(write(scenarioOf({1, 2, 3}, "OLD"), 1));
  // The motion table's edit gave the scenario a mask and a control value.
  board::TableEntry& e = vb().memory().table[81];
  e[1] = 0x0F;
  e[8] = 0x01;
  e[9] = 0xF4;
  context.safety.keepFolder = path("kept");
  ASSERT_TRUE(write(scenarioOf({4, 5}, "NEW"), 1));
  EXPECT_EQ(entry(81)[0], 2);
  EXPECT_EQ(entry(81)[1], 0x0F);
  EXPECT_EQ(entry(81)[8], 0x01);
  EXPECT_EQ(entry(81)[9], 0xF4);
  EXPECT_TRUE(sawStatus("2個目照合しました"));
  ASSERT_EQ(keptFiles(path("kept")).size(), 1u);
  Chart back;
  ClientArea client;
  test::FakeUserInterface quiet;
  ASSERT_TRUE(openFile(back, client, keptFiles(path("kept"))[0], quiet).opened);
  EXPECT_EQ(back.Type, kScenarioChart);
  ASSERT_EQ(back.itemCount(), 3);
  EXPECT_EQ(back.items[2].PrmByte, 3);

  // A step stored otherwise than written stops before the entry.
  ui.messages.clear();
  vb().injectFault(board::Fault::corruptStore());
  EXPECT_FALSE(write(scenarioOf({7, 8}, "BAD"), 1));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text,
            "書き込んだデータを読み返すと、S2の1個目のステップが書き込んだ内容と違います。"
            "ＰＣＴは書き込んでいません。\r\n書込: M8\r\n読込: M7");
  EXPECT_EQ(entry(81), board::blankTableEntry());
}

// The kept files' names: date, slot and a data name that cannot leave the folder.
TEST(KeptFileName, DateSlotAndASafeName) {
  std::tm t{};
  t.tm_year = 2024 - 1900;
  t.tm_mon = 0;
  t.tm_mday = 5;
  t.tm_hour = 23;
  t.tm_min = 4;
  t.tm_sec = 59;
  struct Case {
    int slot;
    std::string name;
    std::string file;
  };
  const std::string longName = test::repeat("あ", 20);  // 60 bytes: cut to 16 whole characters
  const Case cases[] = {
      {0, "WALK", "20240105-230459-M1-WALK.VLB"},
      {84, "", "20240105-230459-S5.VLB"},
      {2, "../up", "20240105-230459-M3-_._up.VLB"},
      {2, ".hidden", "20240105-230459-M3-_hidden.VLB"},
      {2, "a\tb", "20240105-230459-M3-a_b.VLB"},
      {79, longName, "20240105-230459-M80-" + test::repeat("あ", 16) + ".VLB"},
  };
  for (const Case& c : cases) EXPECT_EQ(keptFileName(t, c.slot, c.name), c.file) << c.name;
}

class KeptFolderTest : public test::TempFolderTest {};

TEST_F(KeptFolderTest, NewestFilesStayAndOthersAreLeftAlone) {
  Chart chart;
  chart.Name = "X";
  std::tm t{};
  t.tm_year = 2025 - 1900;
  t.tm_mday = 1;
  ASSERT_TRUE(writeTextFile(path("notes.txt"), "mine"));
  std::vector<std::string> written;
  for (int i = 0; i < 5; ++i) {
    t.tm_min = i;
    Result<std::string> kept = keepChart(dir.string(), chart, 0, t, 3);
    ASSERT_TRUE(kept) << kept.message();
    written.push_back(kept.value());
  }
  EXPECT_EQ(keptFiles(dir.string()),
            (std::vector<std::string>{written[2], written[3], written[4]}));
  EXPECT_TRUE(std::filesystem::exists(path("notes.txt")));
  // The same second again: a new file beside the first, never over it.
  Result<std::string> again = keepChart(dir.string(), chart, 0, t, 3);
  ASSERT_TRUE(again);
  EXPECT_EQ(again.value(), path("20250101-000400-M1-X-2.VLB"));
  EXPECT_EQ(keptFiles(dir.string()).back(), again.value());
}

TEST(OverwrittenFolder, FollowsXdgStateHome) {
  const char* saved = std::getenv("XDG_STATE_HOME");
  const std::string old = saved ? saved : "";
  ::setenv("XDG_STATE_HOME", "/var/tmp/state", 1);
  EXPECT_EQ(overwrittenFolder(), "/var/tmp/state/pivora/overwritten");
  ::setenv("XDG_STATE_HOME", "relative", 1);
  EXPECT_TRUE(overwrittenFolder().ends_with("/.local/state/pivora/overwritten"));
  if (saved)
    ::setenv("XDG_STATE_HOME", old.c_str(), 1);
  else
    ::unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace pvrj
