// Per-channel rule texts: splitting a rule into its command and argument.
#pragma once

#include <string>

namespace pvrj {

struct SplitRule {
  std::string command;   // upper case, spaces removed
  std::string argument;  // upper case, spaces and brackets removed
};

// "mov ( -10 )" gives MOV and -10: the command is everything before the first "(" without spaces,
// the argument everything after it without spaces and brackets. Without "(" the whole text is
// the command. Only ASCII letters change case, so CP932 names pass through untouched.
SplitRule splitRule(const std::string& rule);

}  // namespace pvrj
