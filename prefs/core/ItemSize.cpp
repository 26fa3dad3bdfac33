// Width and height of an item as the item property dialog takes them.
#include "prefs/core/ItemSize.h"

#include <algorithm>
#include <cstdint>

namespace pvrj {

std::optional<int> itemSizeFromText(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    // Past the largest size the digits only matter for being digits.
    value = std::min<std::int64_t>(value * 10 + (c - '0'), kLargestItemSize + 1);
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<std::int64_t>(value, kSmallestItemSize, kLargestItemSize));
}

}  // namespace pvrj
