// One channel of the position editor: modes from words, display values at different rates, typed
// values, the word read back from the controls and what each edit does.
#include <gtest/gtest.h>

#include "editors/core/ChannelModel.h"

namespace pvrj {
namespace {

TEST(ChannelModel, ModesFromWords) {
  struct Case {
    std::uint16_t word;
    int mode;
  };
  const Case cases[] = {
      {0, kModeNone},         {1, kModeServo},      {0x7FFF, kModeServo}, {0x8000, kModeDigital},
      {0x8001, kModeDigital}, {0x8002, kModeFree},  {0x8005, kModeFree},  {0x8006, kModeNone},
      {0x8007, kModeSpeed},   {0x8106, kModeSpeed}, {0x8107, kModeNone},  {0xFFFF, kModeNone},
  };
  for (const Case& c : cases) EXPECT_EQ(channelModeOf(c.word), c.mode) << std::hex << c.word;
}

TEST(ChannelModel, DisplayValuesAtRates) {
  EXPECT_EQ(displayValue(16384, 1.0f), 0);
  EXPECT_EQ(displayValue(16384, 0.37f), 0);
  EXPECT_EQ(displayValue(16484, 0.5f), 50);
  EXPECT_EQ(displayValue(16484, -1.0f), -100);
  EXPECT_EQ(displayValue(16284, -0.5f), 50);
  EXPECT_EQ(displayValue(16385, 0.5f), 0);  // 0.5 goes to the even neighbour
  EXPECT_EQ(displayValue(16387, 0.5f), 2);  // 1.5 too
}

TEST(ChannelModel, TypedValuesRoundBackThroughTheRate) {
  ChannelState c;
  c.rate = 0.5f;
  showWord(c, 16384);
  ASSERT_EQ(c.mode, kModeServo);
  EXPECT_EQ(enterValue(c, "50"), 16484);
  EXPECT_EQ(c.edit, 50);
  EXPECT_EQ(enterValue(c, "25.5"), 16435);   // 51 steps
  EXPECT_EQ(c.edit, 26);                     // 25.5 to the even neighbour
  EXPECT_EQ(enterValue(c, "10000"), 17074);  // the bar's top
  EXPECT_EQ(c.edit, 345);
  c.rate = -2.0f;
  EXPECT_EQ(enterValue(c, "100"), 16334);
  EXPECT_EQ(c.edit, 100);
}

TEST(ChannelModel, UnreadableTypedValueKeepsTheValueShown) {
  ChannelState c;
  showWord(c, 16500);
  EXPECT_EQ(enterValue(c, "abc"), 16500);
  EXPECT_EQ(c.edit, 116);
  EXPECT_EQ(enterValue(c, ""), 16500);
}

TEST(ChannelModel, UnusableRateIgnoresTypedValues) {
  ChannelState c;
  showWord(c, 16500);
  c.rate = 0.0f;
  EXPECT_EQ(enterValue(c, "20"), 16500);
}

TEST(ChannelModel, TypingIntoAFreeChannelMakesItAServo) {
  ChannelState c;
  showWord(c, 16400);
  showWord(c, kWordFree);
  ASSERT_EQ(c.mode, kModeFree);
  EXPECT_EQ(enterValue(c, "30"), 16414);
  EXPECT_EQ(c.mode, kModeServo);
  EXPECT_EQ(c.radio, Radio::kNone);
  EXPECT_EQ(wordFromControls(c), 16414);
}

TEST(ChannelModel, SpeedAndStretchShowAndType) {
  ChannelState c;
  showWord(c, kWordSpeedBase + 5);
  EXPECT_EQ(c.mode, kModeSpeed);
  EXPECT_EQ(c.tag, SmallTag::kSpeed);
  EXPECT_EQ(c.edit, 5);
  EXPECT_EQ(enterValue(c, "200"), kWordSpeedBase + 127);
  EXPECT_EQ(c.edit, 127);

  showWord(c, kWordStretchBase + 20);
  EXPECT_EQ(c.tag, SmallTag::kStretch);
  EXPECT_EQ(c.edit, 40);  // a stretch shows doubled
  // Typed in the unit shown, so the stored word shows the same value again.
  EXPECT_EQ(enterValue(c, "60"), kWordStretchBase + 30);
  EXPECT_EQ(c.edit, 60);
  EXPECT_EQ(enterValue(c, "x"), kWordStretchBase + 30);

  showWord(c, kWordSpeedBase);  // a speed of 0 shows as 1
  EXPECT_EQ(c.smallBar, 1);
  EXPECT_EQ(wordFromControls(c), kWordSpeedBase + 1);
  EXPECT_EQ(moveSmallBar(c, 9), kWordSpeedBase + 9);
  c.tag = SmallTag::kStretch;
  EXPECT_EQ(moveSmallBar(c, 9), kWordStretchBase + 9);
  EXPECT_EQ(c.edit, 18);
}

TEST(ChannelModel, WordsBackFromTheControls) {
  struct Case {
    std::uint16_t shown;
    std::uint16_t read;
  };
  const Case cases[] = {
      {0, 0},           {16000, 16000},   {100, 15694},     {30000, 17074},   {0x8000, 0x8000},
      {0x8001, 0x8001}, {0x8002, 0x8002}, {0x8003, 0x8003}, {0x8004, 0x8004}, {0x8005, 0x8005},
      {0x8006, 0},      {0x8010, 0x8010}, {0x8090, 0x8090}, {0x8107, 0},      {0xFFFF, 0},
  };
  for (const Case& c : cases) {
    ChannelState state;
    showWord(state, c.shown);
    EXPECT_EQ(wordFromControls(state), c.read) << std::hex << c.shown;
  }
}

TEST(ChannelModel, NoneKeepsTheBarForServo) {
  ChannelState c;
  showWord(c, 16600);
  EXPECT_EQ(chooseChannelType(c, ChannelType::kNone), 0);
  EXPECT_EQ(c.mode, kModeNone);
  EXPECT_EQ(chooseChannelType(c, ChannelType::kServo), 16600);
  EXPECT_EQ(c.mode, kModeServo);
  EXPECT_EQ(chooseChannelType(c, ChannelType::kSet2), kWordSet2);
  EXPECT_EQ(c.radio, Radio::kSet2);
  EXPECT_EQ(c.mode, kModeFree);
  EXPECT_EQ(chooseChannelType(c, ChannelType::kHigh), kWordHigh);
  EXPECT_EQ(c.mode, kModeDigital);
  EXPECT_EQ(chooseChannelType(c, ChannelType::kLow), kWordLow);
  EXPECT_EQ(wordFromControls(c), kWordLow);
}

TEST(ChannelModel, RadioTagsNameChannelAndButton) {
  EXPECT_EQ(radioOfTag(1)->channel, 0);
  EXPECT_EQ(radioOfTag(1)->radio, Radio::kHigh);
  EXPECT_EQ(radioOfTag(48)->channel, 23);
  EXPECT_EQ(radioOfTag(48)->radio, Radio::kLow);
  EXPECT_EQ(radioOfTag(73)->radio, Radio::kSet1);
  EXPECT_EQ(radioOfTag(144)->radio, Radio::kSet3);
  EXPECT_FALSE(radioOfTag(0));
  EXPECT_FALSE(radioOfTag(145));
  EXPECT_EQ(tagOfRadio(4, Radio::kFree), 53);
}

TEST(ChannelModel, EditStandsOutForRatesOtherThanOne) {
  ChannelState c;
  showWord(c, 16384);
  EXPECT_FALSE(editHighlighted(c));
  c.rate = -1.0f;
  EXPECT_FALSE(editHighlighted(c));
  c.rate = 0.5f;
  EXPECT_TRUE(editHighlighted(c));
  showWord(c, kWordSpeedBase + 3);
  EXPECT_FALSE(editHighlighted(c));  // speed and stretch edits stay white
}

TEST(ChannelModel, DisplayRateTexts) {
  EXPECT_EQ(parseDisplayRate("2.5"), 2.5f);
  EXPECT_EQ(parseDisplayRate(" -0.5 "), -0.5f);
  EXPECT_EQ(parseDisplayRate("+1"), 1.0f);
  EXPECT_FALSE(parseDisplayRate("abc"));
  EXPECT_FALSE(parseDisplayRate("0"));
  EXPECT_FALSE(parseDisplayRate("0.0"));
  EXPECT_FALSE(parseDisplayRate("inf"));
  EXPECT_FALSE(parseDisplayRate("1.5x"));
  EXPECT_FALSE(parseDisplayRate(""));
  EXPECT_EQ(formatDisplayRate(1.0f), "1");
  EXPECT_EQ(formatDisplayRate(0.1f), "0.1");
  EXPECT_EQ(parseDisplayRate(formatDisplayRate(0.123456789f)), 0.123456789f);
}

}  // namespace
}  // namespace pvrj
