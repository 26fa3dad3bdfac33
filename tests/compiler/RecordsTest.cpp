// Record bytes of every step kind, record classes and targets of read-back records, dump rows.
#include "compiler/Records.h"

#include <gtest/gtest.h>

#include "ChartMaker.h"

namespace pvrj {
namespace {

using test::repeat;

MotionRecord recordOf(std::uint8_t lead, std::uint16_t word) {
  PrmWordArray words;
  words.fill(word);
  return makeRecord(lead, words);
}

TEST(RecordEncoding, PosItemIsSpeedThenWordsHighByteFirst) {
  ChartItem item;
  item.PrmByte = 100;
  MotionRecord r = encodeItemStep(item);
  EXPECT_EQ(r[0], 0x64);
  for (std::size_t i = 1; i < kPositionRecordLength; ++i) EXPECT_EQ(r[i], 0) << i;

  item.PrmWords[0] = 0x4000;
  item.PrmWords[23] = 0x1234;
  r = encodeItemStep(item);
  EXPECT_EQ(r[1], 0x40);
  EXPECT_EQ(r[2], 0x00);
  EXPECT_EQ(r[47], 0x12);
  EXPECT_EQ(r[48], 0x34);
  EXPECT_EQ(recordWords(r), item.PrmWords);
}

TEST(RecordEncoding, CompareAddsTargetStepToEveryWord) {
  ChartItem cmp;
  cmp.PrmByte = 9;  // a compare step always leads with 0x01
  cmp.PrmWords.fill(0x8307);
  MotionRecord to0 = encodeCompareStep(cmp, 0);
  EXPECT_EQ(to0[0], 0x01);
  for (int ch = 0; ch < kChannelCount; ++ch) {
    EXPECT_EQ(to0[1 + 2 * ch], 0x83);
    EXPECT_EQ(to0[2 + 2 * ch], 0x07);
  }
  MotionRecord to5 = encodeCompareStep(cmp, 5);
  EXPECT_EQ(to5[0], 0x01);
  for (int ch = 0; ch < kChannelCount; ++ch) {
    EXPECT_EQ(to5[1 + 2 * ch], 0x83);
    EXPECT_EQ(to5[2 + 2 * ch], 0x0C);
  }
}

TEST(RecordEncoding, CompareWordsWrapToSixteenBits) {
  ChartItem cmp;
  cmp.PrmWords.fill(0xFFFE);
  MotionRecord r = encodeCompareStep(cmp, 3);
  EXPECT_EQ(recordWord(r, 0), 0x0001);
}

TEST(RecordEncoding, EndAndJump) {
  MotionRecord end = encodeEndStep();
  EXPECT_EQ(end[0], 0x01);
  for (std::size_t i = 1; i < kPositionRecordLength; ++i) EXPECT_EQ(end[i], 0xFF) << i;
  MotionRecord jmp = encodeJumpStep(2);
  EXPECT_EQ(jmp[0], 0x01);
  for (int ch = 0; ch < kChannelCount; ++ch) {
    EXPECT_EQ(jmp[1 + 2 * ch], 0x81);
    EXPECT_EQ(jmp[2 + 2 * ch], 0x09);
  }
}

TEST(RecordClassOfWord, EveryKindOfEntry) {
  EXPECT_EQ(wordRecordClass(0), kRecordPos);
  EXPECT_EQ(wordRecordClass(16384), kRecordPos);
  EXPECT_EQ(wordRecordClass(0x8002), kRecordPos);        // free
  EXPECT_EQ(wordRecordClass(0x8007 + 5), kRecordPos);    // speed value
  EXPECT_EQ(wordRecordClass(0x8087 + 127), kRecordPos);  // stretch value
  EXPECT_EQ(wordRecordClass(0x8006), kRecordSet);
  EXPECT_EQ(wordRecordClass(0x8207 + 3), kRecordSet);  // loop counter
  EXPECT_EQ(wordRecordClass(0x9C06 + 1023), kRecordSet);
  EXPECT_EQ(wordRecordClass(64500 + 7), kRecordSet);  // mixing
  EXPECT_EQ(wordRecordClass(65270), kRecordSet);      // calibration AD3
  EXPECT_EQ(wordRecordClass(65271 + 63), kRecordSet);
  EXPECT_EQ(wordRecordClass(64498), kRecordSet);
  EXPECT_EQ(wordRecordClass(64496), kRecordSet);  // class 33: no editor makes it
  EXPECT_EQ(wordRecordClass(65530), kRecordSet);  // class 30
  EXPECT_EQ(wordRecordClass(36614), kRecordSet);  // class 12
  EXPECT_EQ(wordRecordClass(0x8107 + 9), kRecordJmp);
  for (std::uint16_t base :
       {0x8307, 0x8C06, 0x8D06, 0x8E06, 0x9206, 0x9306, 0x9406, 0x9506, 0x9A06, 0x9B06})
    EXPECT_EQ(wordRecordClass(static_cast<std::uint16_t>(base + 17)), kRecordCmp) << base;
  EXPECT_EQ(wordRecordClass(0xFFFF), kRecordEnd);
  EXPECT_EQ(wordRecordClass(34000), kRecordUnknown);  // gap after class 7
  EXPECT_EQ(wordRecordClass(60000), kRecordUnknown);  // gap before class 33
}

TEST(RecordClass, MixedWords) {
  EXPECT_EQ(recordClass(recordOf(1, 0x8006)), kRecordSet);
  MotionRecord setThenPose = recordOf(1, 0);
  PrmWordArray w = recordWords(setThenPose);
  w[0] = 0x8006;
  EXPECT_EQ(recordClass(makeRecord(1, w)), kRecordPos);

  // Two different kinds of entry: a pose.
  w.fill(0x8006);
  w[0] = 0x8307;
  EXPECT_EQ(recordClass(makeRecord(1, w)), kRecordPos);

  // Positions mixed with one kind of entry take the class of CH24.
  w.fill(0x8307 + 4);
  w[3] = 1000;
  EXPECT_EQ(recordClass(makeRecord(1, w)), kRecordCmp);
  w[23] = 1000;
  EXPECT_EQ(recordClass(makeRecord(1, w)), kRecordPos);

  EXPECT_EQ(recordClass(encodeEndStep()), kRecordEnd);
  EXPECT_EQ(recordClass(encodeJumpStep(200)), kRecordJmp);
  EXPECT_EQ(recordClass(recordOf(1, 34000)), kRecordUnknown);
  w.fill(16384);
  w[23] = 60000;
  EXPECT_EQ(recordClass(makeRecord(1, w)), kRecordUnknown);
  w[23] = 16384;
  w[0] = 60000;
  EXPECT_EQ(recordClass(makeRecord(1, w)), kRecordPos);
}

TEST(RecordTarget, SameBaseTakesLastOffsetElseFirstDiffering) {
  EXPECT_EQ(recordTarget(encodeJumpStep(0)), 0);
  EXPECT_EQ(recordTarget(encodeJumpStep(255)), 255);
  EXPECT_EQ(recordTarget(recordOf(1, 0x8307 + 5)), 5);
  PrmWordArray w;
  w.fill(0x8307 + 5);
  w[0] = 0;
  EXPECT_EQ(recordTarget(makeRecord(1, w)), 5);
  for (int ch = 12; ch < kChannelCount; ++ch) w[ch] = 0x8107 + 9;
  w[0] = 0x8307 + 5;
  EXPECT_EQ(recordTarget(makeRecord(1, w)), 9);
}

TEST(DumpRows, CompiledAndReadBackForms) {
  EXPECT_EQ(dumpRow(0, recordOf(100, 0)), "001 64" + repeat(" 0000", 24));
  EXPECT_EQ(dumpRow(3, encodeEndStep()), "004 01" + repeat(" ffff", 24));
  EXPECT_EQ(dumpRow(255, recordOf(0xAB, 0xBEEF)), "256 ab" + repeat(" beef", 24));
  EXPECT_EQ(readBackDumpRow(1, recordOf(1, 0x8006)), "002 01 " + repeat("8006 ", 24));
}

TEST(ParameterHex, NinetyEightLowerCaseDigits) {
  ChartItem item;
  item.PrmByte = 0x0A;
  item.PrmWords.fill(0xABC);
  item.PrmWords[23] = 0xFFFF;
  const std::string hex = parameterHex(item);
  EXPECT_EQ(hex.size(), 98u);
  EXPECT_EQ(hex, "0a" + repeat("0abc", 23) + "ffff");
}

TEST(TableLimit, CountIsOneByte) {
  EXPECT_FALSE(tooManyRecordsForTable(0));
  EXPECT_FALSE(tooManyRecordsForTable(255));
  EXPECT_TRUE(tooManyRecordsForTable(256));
}

}  // namespace
}  // namespace pvrj
