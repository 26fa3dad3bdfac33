// The compare item's ten conditions.
#include <gtest/gtest.h>

#include "editors/core/CompareWords.h"

namespace pvrj {
namespace {

TEST(CompareWordsTest, WordsByTag) {
  const std::uint16_t words[kCompareConditions] = {33543, 35846, 36102, 36358, 37382,
                                                   37638, 37894, 38150, 39430, 39686};
  for (int tag = 0; tag < kCompareConditions; ++tag) {
    EXPECT_EQ(compareConditionWord(tag), words[tag]) << tag;
    PrmWordArray item;
    item.fill(words[tag]);
    EXPECT_EQ(compareConditionTag(item), tag);
  }
  EXPECT_EQ(compareConditionWord(10), 0);
  EXPECT_EQ(compareConditionCaption(0), "ループカウンタが０でなければジャンプする");
  EXPECT_EQ(compareConditionCaption(9), "(ボタン入力 AND 比較レジスタ) <> 0 ならジャンプする");
}

TEST(CompareWordsTest, ReadBackItemsHoldTheirTargets) {
  // Read back from the board, an item's words are the condition plus the target step.
  PrmWordArray item;
  item.fill(0x8D06 + 17);
  EXPECT_EQ(compareConditionTag(item), 2);
}

TEST(CompareWordsTest, WordsWithoutOneConditionShowNone) {
  PrmWordArray mixed;
  mixed.fill(0x8307);
  mixed[5] = 0x8C06;
  EXPECT_EQ(compareConditionTag(mixed), -1);
  PrmWordArray setting;
  setting.fill(0x8006);
  EXPECT_EQ(compareConditionTag(setting), -1);
  PrmWordArray zero{};
  EXPECT_EQ(compareConditionTag(zero), -1);
}

}  // namespace
}  // namespace pvrj
