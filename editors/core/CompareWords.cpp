// The compare item's conditions.
#include "editors/core/CompareWords.h"

#include <array>

namespace pvrj {

namespace {

struct Condition {
  std::uint16_t word;
  const char* caption;
};

// In tag order: the table the radio buttons index by their tag.
constexpr std::array<Condition, kCompareConditions> kConditions{{
    {0x8307, "ループカウンタが０でなければジャンプする"},
    {0x8C06, "AD1の変化量 > 比較レジスタならジャンプする"},
    {0x8D06, "AD2の変化量 > 比較レジスタならジャンプする"},
    {0x8E06, "AD3の変化量 > 比較レジスタならジャンプする"},
    {0x9206, "PA1の変化量 > 比較レジスタならジャンプする"},
    {0x9306, "PA2の変化量 > 比較レジスタならジャンプする"},
    {0x9406, "PA3の変化量 > 比較レジスタならジャンプする"},
    {0x9506, "PA4の変化量 > 比較レジスタならジャンプする"},
    {0x9A06, "ボタン入力 = 比較レジスタならジャンプ"},
    {0x9B06, "(ボタン入力 AND 比較レジスタ) <> 0 ならジャンプする"},
}};

bool validTag(int tag) {
  return tag >= 0 && tag < kCompareConditions;
}

}  // namespace

std::uint16_t compareConditionWord(int tag) {
  return validTag(tag) ? kConditions[static_cast<std::size_t>(tag)].word : 0;
}

std::string compareConditionCaption(int tag) {
  return validTag(tag) ? kConditions[static_cast<std::size_t>(tag)].caption : "";
}

int compareConditionTag(const PrmWordArray& words) {
  const int base = commonBase(words);
  if (base == 0) return -1;
  for (int tag = 0; tag < kCompareConditions; ++tag) {
    if (kConditions[static_cast<std::size_t>(tag)].word == base) return tag;
  }
  return -1;
}

}  // namespace pvrj
