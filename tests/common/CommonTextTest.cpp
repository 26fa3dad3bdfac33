// Tests of encoding, comma text and number helpers.
#include <gtest/gtest.h>

#include "common/CommaText.h"
#include "common/Encoding.h"
#include "common/Numbers.h"

namespace pvrj {
namespace {

TEST(Encoding, RoundTripsJapaneseAndAscii) {
  const std::string utf8 = "無題 POS1 ①ｶﾅ";
  std::string sjis = utf8ToCp932(utf8);
  EXPECT_EQ(sjis.substr(0, 4), "\x96\xb3\x91\xe8");
  EXPECT_EQ(cp932ToUtf8(sjis), utf8);
}

TEST(Encoding, UnrepresentableCharactersBecomeQuestionMarks) {
  // Hangul and an emoji have no CP932 form; the text around them survives.
  EXPECT_EQ(utf8ToCp932("a한b😀c"), "a?b?c");
  // A broken UTF-8 lead byte replaces only itself.
  EXPECT_EQ(utf8ToCp932(std::string("x\xE3y")), "x?y");
  // A lead byte without a trail at the end of CP932 input.
  EXPECT_EQ(cp932ToUtf8(std::string("ab\x96")), "ab?");
}

TEST(Encoding, CutKeepsTwoByteCharactersWhole) {
  std::string sjis = utf8ToCp932("ABC無題");  // 3 + 2 + 2 bytes
  EXPECT_EQ(cutCp932(sjis, 7), sjis);
  EXPECT_EQ(cutCp932(sjis, 6), sjis.substr(0, 5));
  EXPECT_EQ(cutCp932(sjis, 4), "ABC");
  EXPECT_EQ(cutCp932(sjis, 0), "");
  // A dangling lead byte at the end is dropped rather than kept half.
  EXPECT_EQ(cutCp932(std::string("AB\x96"), 32), "AB");
  std::string longName(40, 'x');
  EXPECT_EQ(utf8ToCp932Cut(longName, 32).size(), 32u);
  EXPECT_EQ(utf8ToCp932Cut(std::string(31, 'x') + "無", 32), std::string(31, 'x'));
}

TEST(Encoding, DecoderJoinsCharactersSplitBetweenPieces) {
  const std::string sjis = utf8ToCp932("ab無題ｶﾅ①c") + std::string("\x96");  // ends cut off
  const std::string whole = cp932ToUtf8(sjis);
  EXPECT_EQ(whole, "ab無題ｶﾅ①c?");
  for (std::size_t cut = 0; cut <= sjis.size(); ++cut) {
    Cp932Decoder decoder;
    std::string out;
    decoder.feed(std::string_view(sjis).substr(0, cut), out);
    decoder.feed(std::string_view(sjis).substr(cut), out);
    decoder.finish(out);
    EXPECT_EQ(out, whole) << cut;
  }
  Cp932Decoder byteByByte;
  std::string out;
  for (char c : sjis) byteByByte.feed(std::string_view(&c, 1), out);
  byteByByte.finish(out);
  EXPECT_EQ(out, whole);
}

TEST(CommaText, SplitsAtCommasBlanksAndQuotes) {
  using V = std::vector<std::string>;
  EXPECT_EQ(splitCommaText("a,b,c"), (V{"a", "b", "c"}));
  EXPECT_EQ(splitCommaText("a b"), (V{"a", "b"}));
  EXPECT_EQ(splitCommaText("  a ,  b  "), (V{"a", "b"}));
  EXPECT_EQ(splitCommaText("a,,b"), (V{"a", "", "b"}));
  EXPECT_EQ(splitCommaText("a, ,b"), (V{"a", "", "b"}));
  EXPECT_EQ(splitCommaText("a,"), (V{"a", ""}));
  EXPECT_EQ(splitCommaText(",a"), (V{"", "a"}));
  EXPECT_EQ(splitCommaText("\"M1 WALK\",\"x,y\""), (V{"M1 WALK", "x,y"}));
  EXPECT_EQ(splitCommaText("\"say \"\"hi\"\"\""), (V{"say \"hi\""}));
  EXPECT_EQ(splitCommaText("\"open"), (V{"open"}));
  EXPECT_TRUE(splitCommaText("").empty());
  EXPECT_TRUE(splitCommaText("   ").empty());
}

TEST(CommaText, JoinQuotesOnlyWhereNeededAndRoundTrips) {
  std::vector<std::string> items{"plain", "two words", "a,b", "q\"q", "", "無題", "CopyTo(3)"};
  std::string text = joinCommaText(items);
  EXPECT_EQ(text, "plain,\"two words\",\"a,b\",\"q\"\"q\",,無題,CopyTo(3)");
  EXPECT_EQ(splitCommaText(text), items);
  EXPECT_EQ(joinCommaText({"tab\there"}), "\"tab\there\"");
}

TEST(CommaText, SplitAtCommasKeepsEverything) {
  auto p = splitAtCommas("10, 20,,x");
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[1], " 20");
  EXPECT_EQ(p[2], "");
  EXPECT_EQ(splitAtCommas("").size(), 1u);
}

TEST(Numbers, ParsesDecimalAndHex) {
  EXPECT_EQ(parseInteger("42"), 42);
  EXPECT_EQ(parseInteger(" -17 "), -17);
  EXPECT_EQ(parseInteger("+5"), 5);
  EXPECT_EQ(parseInteger("0x1F"), 31);
  EXPECT_EQ(parseInteger("$ff"), 255);
  EXPECT_EQ(parseInteger("-$10"), -16);
  EXPECT_EQ(parseInteger("0xFFFFFFFF"), -1);
  EXPECT_EQ(parseInteger("2147483647"), 2147483647);
  EXPECT_EQ(parseInteger("-2147483648"), INT32_MIN);
}

TEST(Numbers, RejectsNonIntegers) {
  for (const char* bad : {"", " ", "abc", "1.5", "12a", "0x", "$", "-", "2147483648", "0x100000000",
                          "99999999999999999999", "1 2"})
    EXPECT_FALSE(parseInteger(bad).has_value()) << bad;
  EXPECT_EQ(parseIntegerOr("zz", 7), 7);
}

TEST(Numbers, RoundsHalvesToEven) {
  EXPECT_EQ(roundHalfEven(0.5), 0);
  EXPECT_EQ(roundHalfEven(1.5), 2);
  EXPECT_EQ(roundHalfEven(2.5), 2);
  EXPECT_EQ(roundHalfEven(2.6), 3);
  EXPECT_EQ(roundHalfEven(-0.5), 0);
  EXPECT_EQ(roundHalfEven(-1.5), -2);
  EXPECT_EQ(roundHalfEven(-2.5), -2);
  EXPECT_EQ(roundHalfEven(-2.4), -2);
  EXPECT_EQ(divideRoundHalfEven(5, 2), 2);
  EXPECT_EQ(divideRoundHalfEven(7, 2), 4);
  EXPECT_EQ(divideRoundHalfEven(-5, 2), -2);
  EXPECT_EQ(divideRoundHalfEven(-7, 2), -4);
  EXPECT_EQ(divideRoundHalfEven(10, 3), 3);
  EXPECT_EQ(divideRoundHalfEven(11, -3), -4);
  EXPECT_EQ(halfOf(-5), -2);
  EXPECT_EQ(halfOf(5), 2);
}

}  // namespace
}  // namespace pvrj
