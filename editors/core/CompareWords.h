// The ten conditions of a compare item: the word each radio button writes, by its tag, and the
// condition an item's words hold.
#pragma once

#include <cstdint>
#include <string>

#include "chart/Chart.h"

namespace pvrj {

inline constexpr int kCompareConditions = 10;

// The condition word of tag 0 to 9 (0 for any other tag).
std::uint16_t compareConditionWord(int tag);
// The radio button caption of tag 0 to 9 ("" for any other tag).
std::string compareConditionCaption(int tag);
// The tag whose word is the common base of the item's 24 words, or -1 when the words share no
// base or the base is none of the ten.
int compareConditionTag(const PrmWordArray& words);

}  // namespace pvrj
