// Size and grid parsing of the environment settings.
#include "prefs/core/EnvironmentSettings.h"

#include <charconv>

namespace pvrj {

std::optional<int> decimalInteger(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  // from_chars takes a minus but not a plus.
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, 10);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<EnvironmentChange> environmentChange(std::string_view width, std::string_view height,
                                                   std::string_view gridX, std::string_view gridY,
                                                   int currentGridX, int currentGridY) {
  const int w = decimalInteger(width).value_or(-1);
  const int h = decimalInteger(height).value_or(-1);
  if (w < kMinCanvasSide || h < kMinCanvasSide) return std::nullopt;
  return EnvironmentChange{w, h, decimalInteger(gridX).value_or(currentGridX),
                           decimalInteger(gridY).value_or(currentGridY)};
}

}  // namespace pvrj
