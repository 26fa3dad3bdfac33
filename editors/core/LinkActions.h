// Link actions: one rule per channel ("MOV(10)", "SET(2)", "TCH", ...) that steps a whole pose
// forward or back at a button press, their check, and teaching's choice of channels.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chart/Chart.h"

namespace pvrj {

enum class LinkKeyword { kEmpty, kMov, kPrm, kSet, kTtl, kFree, kSpd, kStr, kTch, kUnknown };

// The multipliers of the two link buttons.
inline constexpr int kLinkForward = 1;    // LinkAddBtn
inline constexpr int kLinkBackward = -1;  // LinkSubBtn

// The templates the link-set boxes offer; "?" is where the argument goes.
inline constexpr std::array<const char*, 6> kLinkTemplates = {"PRM(?)", "MOV(?)", "TTL(?)",
                                                              "SET(?)", "FREE",   "TCH"};
// Ends the message for a bad entry: "CH" + n + this.
inline constexpr const char* kBadLinkEntrySuffix = "の入力に間違いがあります";

struct LinkAction {
  LinkKeyword keyword = LinkKeyword::kEmpty;
  std::string argument;  // upper case, without blanks and brackets
  bool valid = true;     // passes the check below
  int number = 0;        // the argument read (MOV, PRM, SET, SPD, STR); TTL: the word it gives

  bool teaches() const { return valid && keyword == LinkKeyword::kTch; }
};

// One action per channel, CH1 first.
using LinkSet = std::array<LinkAction, kChannelCount>;

// Splits the text with splitRule and checks it: an empty text is valid; MOV and PRM take a decimal
// integer from -32767 to 32767; SET 1, 2 or 3; TTL H, L, 1 or 0; FREE and TCH nothing; SPD and STR
// a decimal integer from -127 to 127 other than the text "0". Anything else is invalid.
LinkAction parseLinkAction(std::string_view text);
bool isValidLinkEntry(std::string_view text);
// The first channel (1 to 24) whose entry is invalid, or 0 when all are valid. Entries past the
// 24th are not looked at; missing ones count as empty.
int firstBadLinkChannel(std::span<const std::string> entries);
// "CH" + channel + "の入力に間違いがあります".
std::string badLinkEntryMessage(int channel);

// The effect of one action on a channel word with the button's multiplier (+1 or -1). An invalid
// action (a pattern file edited by hand) leaves the word as it is, as do SPD, STR, TCH and empty.
std::uint16_t applyLinkAction(const LinkAction& action, std::uint16_t word, int multiplier);

// Reads up to 24 entries into a set; missing ones are empty.
LinkSet parseLinkSet(std::span<const std::string> entries);
// The words of a pose after one link step.
PrmWordArray linkStep(const LinkSet& set, const PrmWordArray& words, int multiplier);
// Whether any channel of the set teaches.
bool anyTeachChannel(const LinkSet& set);

}  // namespace pvrj
