// The setting item's words: encodings, the mixing code both ways, classification, the first
// page's entry and the sensor captions.
#include <gtest/gtest.h>

#include <set>

#include "editors/core/SettingWords.h"

namespace pvrj {
namespace {

PrmWordArray all(std::uint16_t word) {
  PrmWordArray w;
  w.fill(word);
  return w;
}

TEST(SettingWordsTest, ItemWideEncodings) {
  EXPECT_EQ(loopCounterWord(10), 0x8211);
  EXPECT_EQ(loopCounterWord(1), 0x8208);
  EXPECT_EQ(loopCounterWord(255), 0x8306);
  EXPECT_EQ(compareRegisterWord(-1023), 0x9C06);
  EXPECT_EQ(compareRegisterWord(16383), 0xE004);
  EXPECT_EQ(compareRegisterWord(0), 0xA005);
  // The radio button writes the typed number without limits; the word stays 16 bits.
  EXPECT_EQ(compareRegisterWord(0x6000), static_cast<std::uint16_t>(0xA005 + 0x6000));
  EXPECT_EQ(limitCompareRegister(-5000), -1023);
  EXPECT_EQ(limitCompareRegister(20000), 16383);
  EXPECT_EQ(limitCompareRegister(7), 7);
  EXPECT_EQ(analogCalibrateWord(0), 65268);
  EXPECT_EQ(analogCalibrateWord(2), 65270);
  EXPECT_EQ(sensorControlWord(0b100001), 65304);  // Sck1 and Sck6
  EXPECT_EQ(sensorControlWord(0), 65271);
}

TEST(SettingWordsTest, MixingCodeExamples) {
  EXPECT_EQ(mixingCode(kMixingRatioOff), 0);
  EXPECT_EQ(mixingCode(68), 0x85);
  EXPECT_EQ(mixingCode(58), 0xC5);
  EXPECT_EQ(mixingCode(0), 0xFF);
  EXPECT_EQ(mixingCode(126), 0xBF);
  EXPECT_EQ(mixingWord({2, 58}), 64953);  // AD2-R, x -5
  EXPECT_EQ(mixingWord({0, 68}), 64505);  // OFF, x 5: the row is not active
  EXPECT_EQ(decodeMixingWord(64505), (MixingRow{0, 68}));
  EXPECT_EQ(decodeMixingWord(64953), (MixingRow{2, 58}));
}

TEST(SettingWordsTest, MixingCodeRoundTripOverEveryRow) {
  std::set<std::uint16_t> words;
  for (int source = 0; source < kMixingSources; ++source) {
    for (int ratio = 0; ratio < kMixingRatios; ++ratio) {
      const MixingRow row{source, ratio};
      const std::uint16_t word = mixingWord(row);
      EXPECT_EQ(decodeMixingWord(word), row) << source << " " << ratio;
      // Every mixing word falls into the classes the editor counts as mixing.
      PrmWordArray item = all(word);
      EXPECT_EQ(classifySettingItem(item), kMixingClass) << word;
      words.insert(word);
    }
  }
  EXPECT_EQ(words.size(), std::size_t{kMixingSources * kMixingRatios});
}

TEST(SettingWordsTest, ListTexts) {
  const auto& ratios = mixingRatioTexts();
  ASSERT_EQ(ratios.size(), std::size_t{kMixingRatios});
  EXPECT_EQ(ratios[0], "x -63");
  EXPECT_EQ(ratios[62], "x -1");
  EXPECT_EQ(ratios[63], "OFF");
  EXPECT_EQ(ratios[64], "x 1");
  EXPECT_EQ(ratios[126], "x 63");
  EXPECT_EQ(mixingSourceTexts(), (std::vector<std::string>{"OFF", "AD1-R", "AD2-R", "AD3-R"}));
}

TEST(SettingWordsTest, Classification) {
  struct Case {
    const char* what;
    PrmWordArray words;
    int result;
  };
  PrmWordArray mixingButOne = all(mixingWord({1, 70}));
  mixingButOne[7] = kTeachValueWord;
  PrmWordArray lastZero = all(kTeachValueWord);
  lastZero[23] = 0;
  PrmWordArray someZero = all(loopCounterWord(3));
  someZero[0] = 0;
  PrmWordArray mixedMixing = all(mixingWord({1, 70}));
  mixedMixing[3] = mixingWord({3, 2});
  mixedMixing[4] = 36700;  // class 12, counted as mixing
  const Case cases[] = {
      {"new item", all(kTeachValueWord), 2},
      {"loop", all(loopCounterWord(10)), 6},
      {"register", all(compareRegisterWord(5)), 8},
      {"calibrate AD3", all(analogCalibrateWord(2)), 28},
      {"sensor", all(sensorControlWord(3)), 29},
      {"receiver", all(kReceiverPlaybackOff), 32},
      {"mixing but one teach word", mixingButOne, 0},
      {"zeros do not count, the last word decides", lastZero, 0},
      {"a zero among loop words", someZero, 6},
      {"mixing of all three sources", mixedMixing, kMixingClass},
      {"all zero", all(0), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(classifySettingItem(c.words), c.result) << c.what;
}

TEST(SettingWordsTest, FirstPageEntry) {
  struct Case {
    PrmWordArray words;
    SettingOperation operation;
    int value;
  };
  PrmWordArray mixingButOne = all(mixingWord({1, 70}));
  mixingButOne[0] = kTeachValueWord;
  const Case cases[] = {
      {all(kTeachValueWord), SettingOperation::kTeachValue, 0},
      {all(loopCounterWord(10)), SettingOperation::kLoopCounter, 10},
      {all(compareRegisterWord(-1023)), SettingOperation::kCompareRegister, -1023},
      {all(compareRegisterWord(16383)), SettingOperation::kCompareRegister, 16383},
      {all(analogCalibrateWord(1)), SettingOperation::kAnalogCalibrate, 1},
      {all(sensorControlWord(33)), SettingOperation::kSensorControl, 33},
      {all(kReceiverPlaybackOn), SettingOperation::kReceiverOn, 0},
      {all(kReceiverPlaybackOff), SettingOperation::kReceiverOff, 0},
      {mixingButOne, SettingOperation::kNone, 0},
      {all(0xFFFF), SettingOperation::kNone, 0},
  };
  for (const Case& c : cases) {
    const SettingEntry e = settingEntry(c.words);
    EXPECT_EQ(e.operation, c.operation) << c.words[23];
    EXPECT_EQ(e.value, c.value) << c.words[23];
  }
}

TEST(SettingWordsTest, SensorCaptions) {
  EXPECT_EQ(sensorCaption(0, {}, ""), "AD1 OFF");
  EXPECT_EQ(sensorCaption(5, {}, ""), "AD3 OFF");
  EXPECT_EQ(sensorCaption(3, {4, -291}, "M3"), "AD2 変化量が-291を超えたらM3を再生する");
}

}  // namespace
}  // namespace pvrj
