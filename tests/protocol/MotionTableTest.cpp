// The motion table's rows, date texts and slot lists.
#include <gtest/gtest.h>

#include "common/CommaText.h"
#include "protocol/MotionTable.h"

namespace pvrj {
namespace {

TableEntryData walkEntry() {
  TableEntryData e = TableEntry::blank().encode();
  e[0] = 3;
  e[1] = 0x01;
  e[2] = 0x00;
  e[3] = 0x80;
  e[4] = 12;
  e[5] = 5;
  e[6] = 9;
  e[7] = 7;
  e[8] = 0x01;
  e[9] = 0xF4;
  const char* name = "WALK";
  for (int i = 0; i < 4; ++i) e[10 + i] = static_cast<std::uint8_t>(name[i]);
  return e;
}

TEST(MotionTableTest, StartsWithEightyFiveBlankRows) {
  MotionTable table;
  ASSERT_EQ(table.rowCount(), 85);
  EXPECT_EQ(table.row(0).caption, "M1");
  EXPECT_EQ(table.row(79).caption, "M80");
  EXPECT_EQ(table.row(80).caption, "S1");
  EXPECT_EQ(table.row(84).caption, "S5");
  for (int n = 0; n < 85; ++n) {
    EXPECT_EQ(table.row(n).name, "");
    EXPECT_EQ(table.row(n).count, "0");
    EXPECT_EQ(table.row(n).date, "--/-- --:--");
    EXPECT_EQ(table.row(n).control, "65535");
  }
  EXPECT_EQ(slotCaption(85), "");
  EXPECT_EQ(slotCaption(-1), "");
}

TEST(MotionTableTest, ShowsAnEntry) {
  MotionTable table;
  std::vector<int> changed;
  table.onRowChanged = [&](int row) { changed.push_back(row); };
  table.ShowTableEntry(walkEntry(), 2, false);
  EXPECT_EQ(table.row(2).caption, "M3");
  EXPECT_EQ(table.row(2).name, "WALK");
  EXPECT_EQ(table.row(2).count, "3");
  EXPECT_EQ(table.row(2).date, "12/5 09:07");
  EXPECT_EQ(table.row(2).control, "500");
  EXPECT_EQ(table.LastChannelMask, 0x800001u);
  EXPECT_EQ(changed, std::vector<int>{2});
}

TEST(MotionTableTest, NameStopsAtNulAndChecksumByteIsIgnored) {
  MotionTable table;
  TableEntryData e = walkEntry();
  e[12] = 0;
  std::vector<std::uint8_t> reply(e.begin(), e.end());
  reply.push_back(0x5A);  // checksum left at the end of a reply
  table.ShowTableEntry(reply, 0, false);
  EXPECT_EQ(table.row(0).name, "WA");
  // A short entry is not shown at all.
  table.ShowTableEntry(std::span(reply).first(41), 1, false);
  EXPECT_EQ(table.row(1).count, "0");
}

TEST(MotionTableTest, ShiftJisNameBecomesUtf8) {
  MotionTable table;
  TableEntryData e = TableEntry::blank().encode();
  // "歩" in CP932 is 0x95 0xE0.
  e[10] = 0x95;
  e[11] = 0xE0;
  table.ShowTableEntry(e, 5, false);
  EXPECT_EQ(table.row(5).name, "歩");
}

TEST(MotionTableTest, FormatsDates) {
  EXPECT_EQ(FormatTableDate(12, 5, 9, 7), "12/5 09:07");
  EXPECT_EQ(FormatTableDate(1, 31, 23, 59), "1/31 23:59");
  EXPECT_EQ(FormatTableDate(0xFF, 1, 2, 3), "--/-- --:--");
}

TEST(MotionTableTest, ClearingAndAppendingRows) {
  MotionTable table;
  table.clearRows();
  EXPECT_EQ(table.rowCount(), 0);
  EXPECT_EQ(table.row(0).caption, "");
  table.ShowTableEntry(walkEntry(), 0, true);
  table.ShowTableEntry(walkEntry(), 1, false);  // no row 1 yet: nothing happens
  EXPECT_EQ(table.rowCount(), 1);
  EXPECT_EQ(table.row(0).name, "WALK");
}

TEST(MotionTableTest, MotionListAppendsQuotedEntries) {
  MotionTable table;
  table.ShowTableEntry(walkEntry(), 0, false);
  std::string list = "OFF";
  table.AppendMotionList(list);
  std::vector<std::string> items = splitCommaText(list);
  ASSERT_EQ(items.size(), 81u);
  EXPECT_EQ(items[0], "OFF");
  EXPECT_EQ(items[1], "M1 WALK 12/5 09:07");
  EXPECT_EQ(items[80], "M80  --/-- --:--");
  EXPECT_EQ(list.substr(0, 5), "OFF,\"");

  std::string empty;
  table.AppendMotionList(empty);
  EXPECT_EQ(empty.front(), '"');
  EXPECT_EQ(splitCommaText(empty).size(), 80u);
  table.AppendScenarioList(empty);
  std::vector<std::string> all = splitCommaText(empty);
  ASSERT_EQ(all.size(), 85u);
  EXPECT_EQ(all[80], "S1  --/-- --:--");

  std::string scenarios;
  table.AppendScenarioList(scenarios);
  EXPECT_EQ(splitCommaText(scenarios).size(), 5u);
}

TEST(MotionTableTest, QuoteInANameKeepsTheListWhole) {
  MotionTable table;
  TableEntryData e = TableEntry::blank().encode();
  const char* name = "A\"B,C";
  for (int i = 0; i < 5; ++i) e[10 + i] = static_cast<std::uint8_t>(name[i]);
  table.ShowTableEntry(e, 0, false);
  std::string list;
  table.AppendMotionList(list);
  std::vector<std::string> items = splitCommaText(list);
  ASSERT_EQ(items.size(), 80u);
  EXPECT_EQ(items[0], "M1 A\"B,C --/-- --:--");
}

}  // namespace
}  // namespace pvrj

namespace pvrj {
namespace {

TEST(DataNameTest, CommasAndQuotesBecomeBlanksAndNulEndsTheName) {
  EXPECT_EQ(cleanDataName("a,b\"c"), "a b c");
  EXPECT_EQ(cleanDataName(std::string("WALK\0junk", 9)), "WALK");
  EXPECT_EQ(cleanDataName(""), "");
  EXPECT_EQ(cleanDataName("歩く,走る"), "歩く 走る");
}

TEST(DataNameTest, ControlValueIsDecimalSixteenBits) {
  EXPECT_EQ(parseControlValue("500"), 500);
  EXPECT_EQ(parseControlValue(" 65535 "), 65535);
  EXPECT_EQ(parseControlValue("0"), 0);
  EXPECT_FALSE(parseControlValue("12a"));
  EXPECT_FALSE(parseControlValue("0x10"));
  EXPECT_FALSE(parseControlValue(""));
  EXPECT_FALSE(parseControlValue("-1"));
  EXPECT_FALSE(parseControlValue("65536"));
  EXPECT_FALSE(parseControlValue("99999999999"));
}

}  // namespace
}  // namespace pvrj
