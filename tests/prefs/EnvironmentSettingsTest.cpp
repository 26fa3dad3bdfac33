// The environment settings' size and grid parsing, and the board information text's four lines.
#include <gtest/gtest.h>

#include <string>

#include "prefs/core/BoardInfoText.h"
#include "prefs/core/EnvironmentSettings.h"

namespace pvrj {
namespace {

struct IntegerCase {
  const char* text;
  std::optional<int> value;
};

TEST(EnvironmentSettings, DecimalIntegers) {
  const IntegerCase cases[] = {
      {"100", 100}, {" 640 ", 640}, {"+12", 12},         {"-3", -3},  {"0", 0},
      {"", {}},     {"  ", {}},     {"x", {}},           {"12a", {}}, {"1 2", {}},
      {"0x20", {}}, {"+-1", {}},    {"99999999999", {}}, {"1.5", {}}, {"-", {}},
  };
  for (const IntegerCase& c : cases) EXPECT_EQ(decimalInteger(c.text), c.value) << c.text;
}

TEST(EnvironmentSettings, BothSizesOfAtLeast100Apply) {
  const auto change = environmentChange("100", "100", "8", "12", 10, 10);
  ASSERT_TRUE(change);
  EXPECT_EQ(change->width, 100);
  EXPECT_EQ(change->height, 100);
  EXPECT_EQ(change->gridX, 8);
  EXPECT_EQ(change->gridY, 12);
  EXPECT_FALSE(environmentChange("99", "480", "8", "8", 10, 10));
  EXPECT_FALSE(environmentChange("640", "99", "8", "8", 10, 10));
  EXPECT_FALSE(environmentChange("abc", "480", "8", "8", 10, 10));
  EXPECT_FALSE(environmentChange("640", "", "8", "8", 10, 10));
  EXPECT_FALSE(environmentChange("-640", "480", "8", "8", 10, 10));
}

TEST(EnvironmentSettings, AGridStepThatIsNoNumberKeepsTheCurrentStep) {
  const auto change = environmentChange("640", "480", "a", "1", 7, 9);
  ASSERT_TRUE(change);
  EXPECT_EQ(change->gridX, 7);
  EXPECT_EQ(change->gridY, 1);  // raised to 2 by the grid itself
}

TEST(BoardInfoText, FourLinesOfSixteen) {
  Bytes info(64, 0);
  const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::copy(letters.begin(), letters.end(), info.begin());
  const auto lines = boardInfoLines(info);
  EXPECT_EQ(lines[0], "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(lines[1], "QRSTUVWXYZ");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "");
}

TEST(BoardInfoText, ShortTextsNulsAndShiftJis) {
  EXPECT_EQ(boardInfoLines(Bytes{}), (std::array<std::string, 4>{}));
  Bytes info{'A', 'B', 'C'};
  EXPECT_EQ(boardInfoLines(info)[0], "ABC");
  // A NUL ends its line only; the next line still shows.
  info.assign(64, ' ');
  info[2] = 0;
  info[16] = 0x83;  // "ロ" in Shift-JIS
  info[17] = 0x8D;
  const auto lines = boardInfoLines(info);
  EXPECT_EQ(lines[0], "  ");
  EXPECT_EQ(lines[1], "ロ              ");
  EXPECT_EQ(lines[3], std::string(16, ' '));
}

}  // namespace
}  // namespace pvrj
