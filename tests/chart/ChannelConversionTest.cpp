// Splitting per-channel rule texts into command and argument, and the channel conversion.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "chart/ChannelConversion.h"

namespace pvrj {
namespace {

TEST(SplitRuleTest, CommandAndArgument) {
  struct Case {
    const char* rule;
    const char* command;
    const char* argument;
  } const cases[] = {
      {"mov ( -10 )", "MOV", "-10"},
      {"CopyTo(2)", "COPYTO", "2"},
      {"Reverse", "REVERSE", ""},
      {"  free ", "FREE", ""},
      {"SPD(/0)", "SPD", "/0"},
      {"MUL(0.5)", "MUL", "0.5"},
      {"ttl(h)", "TTL", "H"},
      {"A(B(C)D)", "A", "BCD"},  // only the first "(" splits; later brackets are dropped
      {"(5)", "", "5"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    const SplitRule r = splitRule(c.rule);
    EXPECT_EQ(r.command, c.command) << c.rule;
    EXPECT_EQ(r.argument, c.argument) << c.rule;
  }
}

// An item of the given kind whose channels hold the words given (the rest 0), with speed 100.
ChartItem item(std::uint8_t kind, std::initializer_list<std::uint16_t> words, int speed = 100) {
  ChartItem it;
  it.Type = kind;
  it.PrmByte = static_cast<std::uint8_t>(speed);
  std::size_t i = 0;
  for (std::uint16_t w : words) it.PrmWords[i++] = w;
  return it;
}

ChannelRules rules(std::initializer_list<std::pair<int, const char*>> byChannel) {
  ChannelRules r;
  for (const auto& [channel, text] : byChannel) r[static_cast<std::size_t>(channel - 1)] = text;
  return r;
}

TEST(ChannelConversionTest, ValueRulesOnChannelOne) {
  struct Case {
    const char* rule;
    std::uint16_t before;
    std::uint16_t after;
  } const cases[] = {
      {"Reverse", 16384 + 500, 16384 - 500},
      {"Reverse", 1, 32767},
      {"Reverse", 0, 0},          // not driven
      {"Reverse", 32768, 32768},  // special words stay
      {"Reverse", 65535, 65535},
      {"ADD(100)", 32700, 32767},
      {"ADD(-20000)", 10000, 1},
      {"ADD(25)", 100, 125},
      {"ADD(100)", 0x8002, 0x8002},
      {"ADD(?)", 1234, 1234},
      {"ADD(2147483647)", 30000, 32767},  // no overflow on the way to the limit
      {"MUL(2)", 16384 + 10000, 32767},
      {"MUL(2)", 16384 - 10000, 1},
      {"MUL(0.5)", 16384 + 101, 16434},  // 50.5 rounds to the even 50
      {"MUL(0.5)", 16384 + 103, 16436},  // 51.5 rounds to the even 52
      {"MUL(-1)", 16384 + 7, 16384 - 7},
      {"MUL(?)", 20000, 16384},  // no number reads as 0
      {"MUL(.5)", 16384 + 4, 16386},
      {"MUL(5.)", 16384 + 4, 16404},
      {"MUL(1e3)", 16384 + 4, 16384},  // no exponents: not a number, so 0
      {"MUL(99999999999999999999999999999999999999999999)", 16384 + 4, 32767},
      {"MUL(99999999999999999999999999999999999999999999)", 16384, 16384},
      {"MUL(2)", 0x8001, 0x8001},
      {"mul ( 2 )", 16384 + 1, 16386},
      {"Nonsense(3)", 1234, 1234},
      {"", 1234, 1234},
  };
  for (const Case& c : cases) {
    ChartItem it = item(kItemPos, {c.before});
    ASSERT_TRUE(convertItem(it, rules({{1, c.rule}}))) << c.rule;
    EXPECT_EQ(it.PrmWords[0], c.after) << c.rule << " on " << c.before;
  }
}

TEST(ChannelConversionTest, MulHoldsTheFactorAsAFloat) {
  // 0.1 as a float is a little above 0.1, so 5 x 0.1 lies above the half and rounds up.
  ChartItem it = item(kItemPos, {16384 + 5});
  ASSERT_TRUE(convertItem(it, rules({{1, "MUL(0.1)"}})));
  EXPECT_EQ(it.PrmWords[0], 16384 + 1);
}

TEST(ChannelConversionTest, ChannelRulesReadOnlyTheOldWords) {
  ChartItem a = item(kItemPos, {1000, 2000});
  ASSERT_TRUE(convertItem(a, rules({{1, "CopyTo(2)"}, {2, "CopyTo(1)"}})));
  EXPECT_EQ(a.PrmWords[0], 2000);
  EXPECT_EQ(a.PrmWords[1], 1000);

  ChartItem b = item(kItemPos, {1000, 2000});
  ASSERT_TRUE(convertItem(b, rules({{1, "Change(2)"}})));
  EXPECT_EQ(b.PrmWords[0], 2000);
  EXPECT_EQ(b.PrmWords[1], 1000);

  ChartItem c = item(kItemPos, {1000, 2000, 3000});
  ASSERT_TRUE(convertItem(c, rules({{3, "ReadTo(1)"}, {1, "Reverse"}})));
  EXPECT_EQ(c.PrmWords[2], 1000);  // the old word, not the mirrored one
  EXPECT_EQ(c.PrmWords[0], 32768 - 1000);

  // Two rules writing CH3: the later channel wins.
  ChartItem d = item(kItemPos, {1000, 2000, 3000});
  ASSERT_TRUE(convertItem(d, rules({{1, "CopyTo(3)"}, {2, "CopyTo(3)"}})));
  EXPECT_EQ(d.PrmWords[2], 2000);

  // Channel numbers outside 1 to 24, and "?", change nothing.
  for (const char* r : {"CopyTo(0)", "CopyTo(25)", "CopyTo(?)", "ReadTo(-1)", "Change(99)"}) {
    ChartItem e = item(kItemPos, {1000, 2000});
    ASSERT_TRUE(convertItem(e, rules({{1, r}})));
    EXPECT_EQ(e.PrmWords, item(kItemPos, {1000, 2000}).PrmWords) << r;
  }
}

TEST(ChannelConversionTest, SpeedRules) {
  struct Case {
    std::vector<std::pair<int, const char*>> rules;
    int speed;
    int after;
  } const cases[] = {
      {{{1, "SPD(+10)"}, {2, "SPD(+10)"}}, 100, 110},  // from the stored speed each time
      {{{1, "SPD(-30)"}}, 100, 70},
      {{{1, "SPD(-300)"}}, 100, 1},
      {{{1, "SPD(+300)"}}, 100, 255},
      {{{1, "SPD(*2)"}, {2, "SPD(*2)"}}, 100, 255},  // compounding: 400, limited
      {{{1, "SPD(*1.5)"}, {2, "SPD(*1.5)"}}, 20, 45},
      {{{1, "SPD(/4)"}}, 10, 2},                     // 2.5 rounds to the even 2
      {{{1, "SPD(*2)"}, {2, "SPD(+5)"}}, 100, 105},  // "+" starts again from the stored speed
      {{{1, "SPD(*x)"}}, 100, 100},                  // not a number: factor 1
      {{{1, "SPD(5)"}}, 100, 100},                   // no operator
      {{{1, "SPD(?)"}}, 100, 100},
      {{{1, "SPD(*0)"}}, 100, 1},
      {{{1, "SPD(/0.0001)"}}, 100, 255},
      {{{3, "SPD(+10)"}}, 100, 100},  // CH3's word is 0: the rule does nothing
  };
  for (const Case& c : cases) {
    ChartItem it = item(kItemPos, {16384, 16384}, c.speed);
    ChannelRules r;
    for (const auto& [channel, text] : c.rules) r[static_cast<std::size_t>(channel - 1)] = text;
    ASSERT_TRUE(convertItem(it, r)) << c.rules.front().second;
    EXPECT_EQ(it.PrmByte, c.after) << c.rules.front().second << " at " << c.speed;
  }
  // The word range a speed rule acts on: 1 to 33030.
  for (const auto& [word, after] : std::vector<std::pair<std::uint16_t, int>>{
           {0, 100}, {1, 110}, {33030, 110}, {33031, 100}, {65535, 100}}) {
    ChartItem it = item(kItemPos, {word});
    ASSERT_TRUE(convertItem(it, rules({{1, "SPD(+10)"}})));
    EXPECT_EQ(it.PrmByte, after) << word;
  }
}

TEST(ChannelConversionTest, DivisionByZeroRefusesTheWholeSet) {
  for (const char* zero : {"SPD(/0)", "spd(/ 0.0)", "SPD(/-0)"}) {
    const ChannelRules r = rules({{1, "Reverse"}, {5, zero}});
    EXPECT_EQ(firstUnusableRule(r), 5) << zero;
    ChartItem it = item(kItemPos, {16384 + 10}, 50);
    const ChartItem before = it;
    EXPECT_FALSE(convertItem(it, r));
    EXPECT_EQ(it.PrmWords, before.PrmWords);
    EXPECT_EQ(it.PrmByte, before.PrmByte);
  }
  EXPECT_EQ(firstUnusableRule(rules({{1, "SPD(/x)"}, {2, "SPD(*0)"}})), 0);
}

TEST(ChannelConversionTest, SelectedItemsOnlyAndCompareItemsSkipped) {
  Chart chart;
  chart.items = {item(kItemPos, {1000}), item(kItemSet, {1000}), item(kItemCmp, {1000}),
                 item(kItemMot, {1000}), item(kItemPos, {1000})};
  for (int i = 0; i < 4; ++i) chart.items[static_cast<std::size_t>(i)].Selected = true;
  ASSERT_TRUE(convertSelectedItems(chart, rules({{1, "ADD(5)"}})));
  EXPECT_EQ(chart.items[0].PrmWords[0], 1005);
  EXPECT_EQ(chart.items[1].PrmWords[0], 1005);
  EXPECT_EQ(chart.items[2].PrmWords[0], 1000);  // CMP skipped
  EXPECT_EQ(chart.items[3].PrmWords[0], 1005);  // MOT converted
  EXPECT_EQ(chart.items[4].PrmWords[0], 1000);  // not selected
  EXPECT_TRUE(chart.items[0].Selected);         // the selection stays

  const Chart before = chart;
  EXPECT_FALSE(convertSelectedItems(chart, rules({{1, "ADD(5)"}, {24, "SPD(/0)"}})));
  for (std::size_t i = 0; i < chart.items.size(); ++i) {
    EXPECT_EQ(chart.items[i].PrmWords, before.items[i].PrmWords);
    EXPECT_EQ(chart.items[i].PrmByte, before.items[i].PrmByte);
  }
}

TEST(ChannelConversionTest, RulesFromItemsAndCommandCheck) {
  const ChannelRules r = rulesFromItems({"CopyTo(3)", "", "Reverse"});
  EXPECT_EQ(r[0], "CopyTo(3)");
  EXPECT_EQ(r[2], "Reverse");
  for (std::size_t i = 3; i < r.size(); ++i) EXPECT_EQ(r[i], "");
  std::vector<std::string> many(30, "Reverse");
  many[24] = "ADD(1)";
  EXPECT_EQ(rulesFromItems(many)[23], "Reverse");

  for (const std::string& t : conversionTemplates()) EXPECT_TRUE(isConversionCommand(t)) << t;
  EXPECT_TRUE(isConversionCommand(""));
  EXPECT_TRUE(isConversionCommand(" copyto ( 2 ) "));
  EXPECT_FALSE(isConversionCommand("Reverce"));
  EXPECT_FALSE(isConversionCommand("MOV(10)"));
}

}  // namespace
}  // namespace pvrj
