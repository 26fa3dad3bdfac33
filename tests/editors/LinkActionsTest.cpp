// Link actions: their effect on a word with either button, and the check of a link set's entries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editors/core/LinkActions.h"

namespace pvrj {
namespace {

std::uint16_t apply(const char* text, std::uint16_t word, int multiplier = kLinkForward) {
  return applyLinkAction(parseLinkAction(text), word, multiplier);
}

TEST(LinkActions, Effects) {
  struct Case {
    const char* text;
    std::uint16_t word;
    int multiplier;
    std::uint16_t result;
  };
  const Case cases[] = {
      {"MOV(10)", 17070, kLinkBackward, 17060},
      {"MOV(10)", 17070, kLinkForward, 17074},  // the bar's top
      {"mov ( -10 )", 16000, kLinkForward, 15990},
      {"MOV(10)", 0x8002, kLinkForward, 0x8002},
      {"MOV(10)", 0, kLinkForward, 0},
      {"PRM(-1000)", 16500, kLinkForward, 15694},
      {"PRM(-1000)", 16500, kLinkBackward, 15694},  // PRM knows no direction
      {"PRM(-1000)", 0x8002, kLinkForward, 0x8002},
      {"PRM(200)", 1, kLinkForward, 16584},
      {"SET(2)", 16384, kLinkForward, 0x8004},
      {"SET(2)", 0, kLinkForward, 0x8004},
      {"TTL(1)", 16384, kLinkForward, 0x8001},
      {"TTL(h)", 0, kLinkForward, 0x8001},
      {"TTL(L)", 0x8001, kLinkForward, 0x8000},
      {"TTL(0)", 0x8001, kLinkForward, 0x8000},
      {"FREE", 16384, kLinkForward, 0x8002},
      {"SPD(5)", 16384, kLinkForward, 16384},
      {"STR(-5)", 0x8010, kLinkForward, 0x8010},
      {"TCH", 16384, kLinkForward, 16384},
      {"", 16384, kLinkForward, 16384},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(apply(c.text, c.word, c.multiplier), c.result) << c.text << " on " << c.word;
  }
}

TEST(LinkActions, HandEditedBadArgumentsChangeNothing) {
  EXPECT_EQ(apply("MOV(X)", 16500), 16500);
  EXPECT_EQ(apply("PRM(?)", 16500), 16500);
  EXPECT_EQ(apply("PRM(99999)", 16500), 16500);
  EXPECT_EQ(apply("SET(4)", 16500), 16500);
  EXPECT_EQ(apply("FREE(1)", 16500), 16500);
}

TEST(LinkActions, Validation) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {
      {"", true},           {"  ", true},          {"MOV(10)", true},
      {"mov( 10 )", true},  {"MOV(-32767)", true}, {"MOV(32768)", false},
      {"MOV()", false},     {"MOV(?)", false},     {"MOV(0x10)", false},
      {"PRM(-1000)", true}, {"PRM(1.5)", false},   {"SET(1)", true},
      {"SET(3)", true},     {"SET(4)", false},     {"SET(0)", false},
      {"TTL(H)", true},     {"TTL(l)", true},      {"TTL(X)", false},
      {"TTL()", false},     {"FREE", true},        {"FREE(1)", false},
      {"TCH", true},        {"TCH(1)", false},     {"SPD(0)", false},
      {"SPD(+0)", true},    {"SPD(-5)", true},     {"SPD(127)", true},
      {"SPD(128)", false},  {"STR(3)", true},      {"ABC", false},
      {"(5)", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isValidLinkEntry(c.text), c.valid) << c.text;
}

TEST(LinkActions, FirstBadChannel) {
  std::vector<std::string> entries(24);
  EXPECT_EQ(firstBadLinkChannel(entries), 0);
  entries[6] = "SET(4)";
  entries[9] = "ABC";
  EXPECT_EQ(firstBadLinkChannel(entries), 7);
  EXPECT_EQ(badLinkEntryMessage(7), "CH7の入力に間違いがあります");
  std::vector<std::string> few = {"MOV(1)", "TCH"};
  EXPECT_EQ(firstBadLinkChannel(few), 0);
}

TEST(LinkActions, StepAndTeachChannels) {
  std::vector<std::string> entries = {"MOV(10)", "TCH", "", "FREE"};
  const LinkSet set = parseLinkSet(entries);
  EXPECT_TRUE(anyTeachChannel(set));
  EXPECT_TRUE(set[1].teaches());
  PrmWordArray words{};
  words.fill(16384);
  const PrmWordArray back = linkStep(set, words, kLinkBackward);
  EXPECT_EQ(back[0], 16374);
  EXPECT_EQ(back[1], 16384);
  EXPECT_EQ(back[3], 0x8002);
  EXPECT_EQ(back[23], 16384);
  EXPECT_FALSE(anyTeachChannel(parseLinkSet(std::vector<std::string>{"TCH(1)"})));
}

}  // namespace
}  // namespace pvrj
