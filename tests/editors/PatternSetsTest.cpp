// Names and boxes of the pattern file's sets: a set written and read back into the 24 boxes, sets
// edited by hand, and which names a new set may take.
#include <gtest/gtest.h>

#include "common/CommaText.h"
#include "editors/core/PatternFile.h"
#include "editors/core/PatternSets.h"

namespace pvrj {
namespace {

TEST(PatternSetsTest, SetWrittenAndReadBackIntoTheBoxes) {
  std::vector<std::string> boxes(kChannelCount);
  boxes[0] = "CopyTo(3)";
  boxes[2] = "Reverse";
  boxes[3] = "MUL( 0.5 )";     // blanks
  boxes[4] = "say \"hi\"";     // double quotes, doubled in the file
  boxes[5] = "a,b";            // a comma inside the quotes
  boxes[6] = "歩く";           // not ASCII
  boxes[23] = "  SPD(+10)  ";  // blanks at both ends kept
  const std::string value = PatternFile::formatSetValue(boxes);
  EXPECT_EQ(value.rfind("\"CopyTo(3)\",\"\",\"Reverse\",", 0), 0u) << value;
  const ChannelRules back = boxesFromSet(splitCommaText(value));
  for (std::size_t i = 0; i < boxes.size(); ++i) EXPECT_EQ(back[i], boxes[i]) << i;
}

TEST(PatternSetsTest, SetsEditedByHand) {
  // Fewer than 24 entries: the rest of the boxes stay empty.
  const ChannelRules few = boxesFromSet(splitCommaText("Reverse, ADD(5)"));
  EXPECT_EQ(few[0], "Reverse");
  EXPECT_EQ(few[1], "ADD(5)");
  for (std::size_t i = 2; i < few.size(); ++i) EXPECT_EQ(few[i], "") << i;
  // Unquoted blanks separate entries, as the file's comma text reads them.
  const ChannelRules blank = boxesFromSet(splitCommaText("MOV(1) MOV(2)"));
  EXPECT_EQ(blank[1], "MOV(2)");
  // More than 24: the first 24 are shown.
  std::string many;
  for (int i = 1; i <= 30; ++i) many += (i > 1 ? "," : "") + std::to_string(i);
  EXPECT_EQ(boxesFromSet(splitCommaText(many))[23], "24");
  EXPECT_EQ(boxesFromSet({}), ChannelRules{});
}

TEST(PatternSetsTest, NamesANewSetMayTake) {
  struct Case {
    const char* name;
    SetNameCheck link;
    SetNameCheck conversion;
  } const cases[] = {
      {"walk", SetNameCheck::kUsable, SetNameCheck::kUsable},
      {"歩く 速く", SetNameCheck::kUsable, SetNameCheck::kUsable},
      {"a,b \"c\"", SetNameCheck::kUsable, SetNameCheck::kUsable},
      {"", SetNameCheck::kEmpty, SetNameCheck::kEmpty},
      {"組み合わせの設定", SetNameCheck::kNotUsable, SetNameCheck::kUsable},
      {"a=b", SetNameCheck::kNotUsable, SetNameCheck::kNotUsable},
      {"[walk", SetNameCheck::kNotUsable, SetNameCheck::kNotUsable},
      {"walk[", SetNameCheck::kUsable, SetNameCheck::kUsable},
      {";walk", SetNameCheck::kNotUsable, SetNameCheck::kNotUsable},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(checkLinkSetName(c.name), c.link) << c.name;
    EXPECT_EQ(checkConversionSetName(c.name), c.conversion) << c.name;
  }
  EXPECT_EQ(typedSetName("  walk fast \t"), "walk fast");
  EXPECT_EQ(typedSetName("   "), "");
}

}  // namespace
}  // namespace pvrj
