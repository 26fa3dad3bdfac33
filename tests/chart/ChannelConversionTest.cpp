// Splitting per-channel rule texts into command and argument.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace pvrj
