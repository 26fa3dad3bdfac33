// The options dialog's rules and board sequences against the in-process virtual board.
#include <gtest/gtest.h>

#include "protocol/MotionTable.h"
#include "tests/tools/ToolRig.h"
#include "tools/core/BoardOptions.h"

namespace pvrj {
namespace {

using test::kSleepExchanges;
using test::ToolRig;

TEST(Threshold, ConversionsReadBackAndRoundHalvesToEven) {
  EXPECT_EQ(thresholdRaw(60), 391);
  EXPECT_EQ(thresholdRaw(150), 977);
  EXPECT_EQ(thresholdTenths(391), 60);
  EXPECT_EQ(thresholdTenths(977), 150);
  EXPECT_EQ(thresholdText(60), "06.0V");
  EXPECT_EQ(thresholdText(150), "15.0V");
  EXPECT_EQ(thresholdText(55), "05.5V");
  EXPECT_EQ(thresholdText(1008), "100.8V");
  for (int tenths = kThresholdMinTenths; tenths <= kThresholdMaxTenths; ++tenths) {
    EXPECT_EQ(thresholdTenths(thresholdRaw(tenths)), tenths) << tenths;
  }
  // 0.1539 x 10000 = 1539 exactly; x 5 = 0.7695 goes to 1; a true half goes to the even side.
  EXPECT_EQ(thresholdTenths(0), 0);
  EXPECT_EQ(thresholdTenths(5), 1);
}

TEST(OptionWord, EveryWriteClearsBitsFourToEight) {
  OptionControls c;
  EXPECT_EQ(composeOptionWord(0xFFFF, c), 0xC1F7 & 0xFE0F);
  EXPECT_EQ(composeOptionWord(0x01F0, c), 0x0000);
  c.transmitterPlay = c.playEndReply = c.mtx1Control = true;
  c.startSwitchIndex = 3;
  c.powerOnIndex = 1;
  c.lowVoltageIndex = 85;
  EXPECT_EQ(composeOptionWord(0x0000, c), 0x3E08);
  // Bits the dialog does not show keep their value (0x8000, 0x4000, 0x0001..0x0004).
  EXPECT_EQ(composeOptionWord(0xC007, OptionControls{}), 0xC007);
}

TEST(OptionLists, IndexFollowsTheEnablingBitAndTheRange) {
  EXPECT_EQ(listIndexOf(true, 0), 1);
  EXPECT_EQ(listIndexOf(true, 84), 85);
  EXPECT_EQ(listIndexOf(true, 85), 0);
  EXPECT_EQ(listIndexOf(false, 3), 0);
}

TEST(OptionLists, OffThenTheEightyFiveTableEntries) {
  MotionTable table;
  TableEntryData e = TableEntry::blank().encode();
  e[10] = 'W';
  table.ShowTableEntry(e, 2, false);
  const std::vector<std::string> items = motionListItems(table);
  ASSERT_EQ(items.size(), 86u);
  EXPECT_EQ(items[0], "OFF");
  EXPECT_EQ(items[1], "M1  --/-- --:--");
  EXPECT_EQ(items[3], "M3 W --/-- --:--");
  EXPECT_EQ(items[81], "S1  --/-- --:--");
  EXPECT_EQ(items[85], "S5  --/-- --:--");
}

TEST(QvsMask, ChannelNineAloneIsTheSecondByte) {
  ToolRig r;
  OptionControls c;
  c.qvsMask = 1u << 8;
  ASSERT_TRUE(writeQvsMask(r.link, c));
  EXPECT_EQ(r.board().memory().qvsMask, (std::array<std::uint8_t, 3>{0x00, 0x01, 0x00}));
  const std::uint8_t bytes[] = {0x01, 0x00, 0x80};
  EXPECT_EQ(qvsMaskFromBytes(bytes), 0x800001u);
}

TEST(OptionsOpening, LoadsEveryControlFromTheStoredCopy) {
  ToolRig r;
  auto& m = r.board().memory();
  m.stored.options = 0x2000 | 0x1000 | 0x0400 | 0x0008;
  m.startData = {4, 9};        // power-on bit clear: StartList shows "OFF" whatever byte 1 holds
  m.alarm = {90, 0x03, 0xD1};  // motion 90 is none of the 85: "OFF"; raw 977
  m.qvsMask = {0x01, 0x01, 0x80};
  OptionControls c;
  ASSERT_EQ(openBoardOptions(r.link, c), OptionsOpening::kReady);
  EXPECT_TRUE(c.transmitterPlay);
  EXPECT_FALSE(c.playEndReply);
  EXPECT_TRUE(c.mtx1Control);
  EXPECT_EQ(c.startSwitchIndex, 5);
  EXPECT_EQ(c.powerOnIndex, 0);
  EXPECT_EQ(c.lowVoltageIndex, 0);
  EXPECT_EQ(c.thresholdTenths, 150);
  EXPECT_EQ(c.thresholdText, "15.0V");
  EXPECT_EQ(c.qvsMask, 0x800101u);
  EXPECT_FALSE(r.asleep());
}

TEST(OptionsOpening, AThresholdOutsideTheSpinnerShowsAsReadAndTheSpinnerStopsAtItsBound) {
  ToolRig r;
  r.board().memory().alarm = {0, 0x00, 0x64};  // raw 100: 15 tenths
  OptionControls c;
  ASSERT_EQ(openBoardOptions(r.link, c), OptionsOpening::kReady);
  EXPECT_EQ(c.thresholdTenths, 55);
  EXPECT_EQ(c.thresholdText, "01.5V");
}

TEST(OptionsOpening, AFailedLoadLeavesTheBoardAsleep) {
  // Each read of the load in turn: word, start data, alarm data, servo-bus mask.
  for (int read = 0; read < 4; ++read) {
    ToolRig r;
    r.failExchange(kSleepExchanges + read);
    OptionControls c;
    EXPECT_EQ(openBoardOptions(r.link, c), OptionsOpening::kLoadFailed) << read;
    EXPECT_TRUE(r.asleep()) << read;
  }
  ToolRig r;
  r.failExchange(0);
  OptionControls c;
  EXPECT_EQ(openBoardOptions(r.link, c), OptionsOpening::kSleepFailed);
  EXPECT_FALSE(r.asleep());
}

TEST(OptionsWrite, TheWordGoesToTheStoredCopyThenTheWorkingCopy) {
  ToolRig r;
  r.board().memory().stored.options = 0x01F0 | 0x8000;
  OptionControls c;
  c.playEndReply = true;
  ASSERT_TRUE(WriteOptionWord(r.link, c));
  EXPECT_EQ(r.storedOptions(), 0x8200);
  EXPECT_EQ(r.workingOptions(), 0x8200);
}

TEST(OptionsWrite, AFailedStoredWriteSendsNothingToTheWorkingCopy) {
  ToolRig r;
  OptionControls c;
  c.mtx1Control = true;
  r.failExchange(1);  // after the read, the stored write
  EXPECT_FALSE(WriteOptionWord(r.link, c));
  EXPECT_EQ(r.board().requestCount(), 1u);
  EXPECT_EQ(r.workingOptions(), 0);
}

TEST(StartData, AListAtOffClearsItsBitButKeepsTheBoardsByte) {
  ToolRig r;
  auto& m = r.board().memory();
  m.stored.options = 0x1800;
  m.startData = {4, 9};
  OptionControls c;
  c.startSwitchIndex = 11;  // motion 10
  c.powerOnIndex = 0;
  ASSERT_TRUE(writeStartData(r.link, c));
  EXPECT_EQ(m.startData, (std::array<std::uint8_t, 2>{10, 9}));
  EXPECT_EQ(m.stored.options, 0x1000);
}

TEST(StartData, AFailedReadSendsNothingAFailedWordStillWritesTheData) {
  {
    ToolRig r;
    r.failExchange(0);
    OptionControls c;
    c.startSwitchIndex = 2;
    EXPECT_FALSE(writeStartData(r.link, c));
    EXPECT_EQ(r.board().requestCount(), 0u);
  }
  {
    ToolRig r;
    r.failExchange(1);  // the word's read
    OptionControls c;
    c.startSwitchIndex = 2;
    EXPECT_TRUE(writeStartData(r.link, c));
    EXPECT_EQ(r.board().memory().startData[0], 1);
    EXPECT_EQ(r.storedOptions(), 0);
  }
}

TEST(Alarm, MotionAndRawThresholdHighByteFirst) {
  ToolRig r;
  r.board().memory().alarm = {7, 0, 0};
  OptionControls c;
  c.thresholdTenths = 60;
  ASSERT_TRUE(WriteAlarm(r.link, c));
  EXPECT_EQ(r.board().memory().alarm, (std::array<std::uint8_t, 3>{7, 0x01, 0x87}));
  c.lowVoltageIndex = 11;
  c.thresholdTenths = 150;
  ASSERT_TRUE(WriteAlarm(r.link, c));
  EXPECT_EQ(r.board().memory().alarm, (std::array<std::uint8_t, 3>{10, 0x03, 0xD1}));
  EXPECT_EQ(r.storedOptions(), kOptLowVoltagePlay);
}

}  // namespace
}  // namespace pvrj
