// Names and boxes of the pattern file's sets.
#include "editors/core/PatternSets.h"

#include "editors/core/PatternFile.h"

namespace pvrj {

std::string typedSetName(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

SetNameCheck checkConversionSetName(std::string_view name) {
  if (name.empty()) return SetNameCheck::kEmpty;
  return PatternFile::storableSetName(name) ? SetNameCheck::kUsable : SetNameCheck::kNotUsable;
}

SetNameCheck checkLinkSetName(std::string_view name) {
  if (name == kLinkSetupEntry) return SetNameCheck::kNotUsable;
  return checkConversionSetName(name);
}

ChannelRules boxesFromSet(const std::vector<std::string>& entries) {
  return rulesFromItems(entries);
}

}  // namespace pvrj
