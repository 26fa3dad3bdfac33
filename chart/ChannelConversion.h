// Per-channel rule texts: splitting a rule into its command and argument, and the channel
// conversion that rewrites the selected items' words by one rule per channel.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "chart/Chart.h"

namespace pvrj {

struct SplitRule {
  std::string command;   // upper case, spaces removed
  std::string argument;  // upper case, spaces and brackets removed
};

// "mov ( -10 )" gives MOV and -10: the command is everything before the first "(" without spaces,
// the argument everything after it without spaces and brackets. Without "(" the whole text is
// the command. Only ASCII letters change case, so CP932 names pass through untouched.
SplitRule splitRule(const std::string& rule);

// The position range the value rules keep to; they mirror and scale about kPositionCentre.
inline constexpr int kLowestPosition = 1;
inline constexpr int kHighestPosition = 32767;
// A speed rule acts on channels whose word is 1 up to this (positions, outputs, speed words).
inline constexpr int kHighestSpeedRuleWord = 33030;
inline constexpr int kLowestSpeed = 1;
inline constexpr int kHighestSpeed = 255;

// One rule text per channel, CH1 first.
using ChannelRules = std::array<std::string, kChannelCount>;

// The list items the conversion boxes offer; "?" is where the user types the argument.
const std::vector<std::string>& conversionTemplates();

// Rules from a list of items (a set read from the pattern file, the command line): item k goes to
// channel k; channels without an item get the empty rule, which changes nothing; items after the
// 24th are not used.
ChannelRules rulesFromItems(const std::vector<std::string>& items);

// Whether the conversion understands a rule: empty, or one of the seven commands. Other texts do
// nothing when applied; the command line refuses them so a typing error cannot pass unnoticed.
bool isConversionCommand(const std::string& rule);

// The first channel (1 to 24) whose rule cannot be applied, or 0: a speed rule that divides by
// zero ("SPD(/0)"). The conversion refuses such a set as a whole.
int firstUnusableRule(const ChannelRules& rules);

// Rewrites one item's words and speed by the rules. Every rule reads the item's words as they
// were before; when two rules write the same channel, the later channel's rule wins. Returns false
// and leaves the item as it was when a rule cannot be applied (see firstUnusableRule).
bool convertItem(ChartItem& item, const ChannelRules& rules);

// Applies the rules to every selected item that is not a compare item, in index order. Nothing is
// changed when a rule cannot be applied (the result is then false); the selection stays.
bool convertSelectedItems(Chart& chart, const ChannelRules& rules);

}  // namespace pvrj
