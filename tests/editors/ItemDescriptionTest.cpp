// Describing a chart's items and lines in the editors' words.
#include <gtest/gtest.h>

#include "editors/core/ItemDescription.h"
#include "editors/core/SettingWords.h"

namespace pvrj {
namespace {

ChartItem makeItem(std::uint8_t kind, const char* name, std::uint16_t word, int lead = 1) {
  ChartItem item;
  item.Type = kind;
  item.Name = name;
  item.PrmByte = static_cast<std::uint8_t>(lead);
  item.PrmWords.fill(word);
  return item;
}

TEST(ItemDescriptionTest, PositionItemShowsSpeedAndDrivenChannels) {
  ChartItem pos = makeItem(kItemPos, "POS1", 0, 100);
  pos.PrmWords[0] = 16384;
  pos.PrmWords[1] = 16334;
  pos.PrmWords[2] = 0x8001;
  pos.PrmWords[3] = 0x8000;
  pos.PrmWords[4] = 0x8002;
  pos.PrmWords[5] = 0x8004;
  pos.PrmWords[6] = 0x8007 + 5;
  pos.PrmWords[7] = 0x8087 + 5;
  pos.PrmWords[8] = 0x8107;
  EXPECT_EQ(describeItemAction(pos),
            "speed 100; CH1 0, CH2 -50, CH3 H, CH4 L, CH5 FREE, CH6 SET2, CH7 SP 5, CH8 ST 10, "
            "CH9 0x8107");
  EXPECT_EQ(describeItemAction(makeItem(kItemPos, "POS2", 0, 7)), "speed 7; no channels");
}

TEST(ItemDescriptionTest, SettingItems) {
  struct Case {
    std::uint16_t word;
    const char* text;
  } const cases[] = {
      {kTeachValueWord, "教示で計測した値をパラメータにセットする"},
      {loopCounterWord(10), "ループカウンタにループ回数をセットする 10"},
      {compareRegisterWord(-5), "比較レジスタに数値をセットする -5"},
      {analogCalibrateWord(1), "アナログ入力の基準値を校正する AD2"},
      {sensorControlWord(33), "センサーコントロールの切換 boxes 1 6"},
      {sensorControlWord(0), "センサーコントロールの切換 boxes none"},
      {kReceiverPlaybackOn, "受信機からの再生をONにする"},
      {kReceiverPlaybackOff, "受信機からの再生をOFFにする"},
      {mixingWord({0, 68}), "ミキシング none"},
      {0xFFFF, "no operation"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(describeItemAction(makeItem(kItemSet, "SET1", c.word)), c.text) << c.word;
  }
  ChartItem mixing = makeItem(kItemSet, "SET2", mixingWord({0, kMixingRatioOff}));
  mixing.PrmWords[0] = mixingWord({2, 58});
  mixing.PrmWords[23] = mixingWord({1, kMixingRatioOff});
  EXPECT_EQ(describeItemAction(mixing), "ミキシング CH1 AD2-R x -5, CH24 AD1-R OFF");
}

TEST(ItemDescriptionTest, ChartWithLinesAndStart) {
  Chart chart;
  chart.items = {makeItem(kItemPos, "POS1", 0, 100), makeItem(kItemCmp, "CMP \"a\"", 0x8307),
                 makeItem(kItemMot, "M3 WALK", 0, 2), makeItem(kItemCmp, "CMP2", 0x8006)};
  ChartLink a;
  a.Origin = 0;
  a.Final = 1;
  ChartLink b;
  b.Main = 1;
  b.Origin = 1;
  b.Final = 0;
  ChartLink c;
  c.Origin = 3;
  c.Final = -1;
  chart.links = {a, b, c};
  chart.Start = 0;
  const std::vector<std::string> expected{
      "item 0 \"POS1\" POS speed 100; no channels",
      "item 1 \"CMP \"\"a\"\"\" CMP ループカウンタが０でなければジャンプする",
      "item 2 \"M3 WALK\" MOT plays M3",
      "item 3 \"CMP2\" CMP no condition",
      "link 0 connection 0 \"POS1\" -> 1 \"CMP \"\"a\"\"\"",
      "link 1 branch 1 \"CMP \"\"a\"\"\" -> 0 \"POS1\"",
      "link 2 connection 3 \"CMP2\" -> -1 (none)",
      "start 0 \"POS1\"",
  };
  EXPECT_EQ(describeChart(chart), expected);
  chart.Start = -1;
  EXPECT_EQ(describeChart(chart).back(), "start none");
}

}  // namespace
}  // namespace pvrj
