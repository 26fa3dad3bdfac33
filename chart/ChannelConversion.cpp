// Per-channel rule texts: splitting a rule into its command and argument.
#include "chart/ChannelConversion.h"

namespace pvrj {

namespace {

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

SplitRule splitRule(const std::string& rule) {
  SplitRule out;
  const std::size_t open = rule.find('(');
  const std::size_t commandEnd = open == std::string::npos ? rule.size() : open;
  for (std::size_t i = 0; i < commandEnd; ++i) {
    if (rule[i] != ' ') out.command += upper(rule[i]);
  }
  if (open == std::string::npos) return out;
  for (std::size_t i = open + 1; i < rule.size(); ++i) {
    const char c = rule[i];
    if (c != ' ' && c != '(' && c != ')') out.argument += upper(c);
  }
  return out;
}

}  // namespace pvrj
