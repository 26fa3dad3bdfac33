// Width and height texts of the item property dialog.
#include <gtest/gtest.h>

#include "prefs/core/ItemSize.h"

namespace pvrj {
namespace {

TEST(ItemSizeTest, WholeNumbersLimitedToTheItemRange) {
  struct Case {
    const char* text;
    std::optional<int> size;
  } const cases[] = {
      {"50", 50},
      {" 120 ", 120},
      {"+30", 30},
      {"20", 20},
      {"19", 20},  // very small sizes are raised
      {"2", 20},
      {"0", 20},
      {"-40", 20},
      {"32767", 32767},
      {"32768", 32767},
      {"99999999999999999999", 32767},
      {"12.5", std::nullopt},  // not whole
      {"12,5", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"abc", std::nullopt},
      {"0x20", std::nullopt},  // decimal only
      {"1 2", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(itemSizeFromText(c.text), c.size) << c.text;
}

}  // namespace
}  // namespace pvrj
