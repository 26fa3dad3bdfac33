// Per-channel rule texts and the channel conversion of the selected items.
#include "chart/ChannelConversion.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "common/Numbers.h"

namespace pvrj {

namespace {

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// A decimal number with "." as the decimal point: optional sign, digits, at most one point.
// No exponent and no "inf" or "nan", so a rule text can never produce a value that is not finite.
std::optional<double> parseDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  bool negative = false;
  if (text.front() == '+' || text.front() == '-') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  bool digit = false;
  bool point = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digit) return std::nullopt;
  double value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (error == std::errc::result_out_of_range) {
    value = HUGE_VAL;  // only digits: too large a number, not too small a one
  } else if (error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

int limitPosition(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, kLowestPosition, kHighestPosition));
}

// A speed worked out in floating point, limited before it becomes an integer again.
int limitSpeed(double v) {
  if (!(v > kLowestSpeed)) return kLowestSpeed;
  if (v >= kHighestSpeed) return kHighestSpeed;
  return static_cast<int>(std::clamp<std::int64_t>(roundHalfEven(v), kLowestSpeed, kHighestSpeed));
}

bool isPosition(int word) {
  return word >= kLowestPosition && word <= kHighestPosition;
}

// The divisor of a "/" speed rule, which is 1 when the rest is not a number.
bool dividesByZero(const SplitRule& rule) {
  if (rule.command != "SPD" || rule.argument.empty() || rule.argument.front() != '/') return false;
  const std::optional<double> y = parseDecimal(std::string_view(rule.argument).substr(1));
  return y && *y == 0;
}

// new = 16384 + round((old - 16384) x x), x held as a 32-bit float. The product of a 16-bit
// difference and a float is exact in a double.
int scalePosition(int old, float x) {
  const int difference = old - kPositionCentre;
  if (difference == 0) return old;
  const double product = static_cast<double>(difference) * static_cast<double>(x);
  if (product >= kHighestPosition) return kHighestPosition;
  if (product <= -kHighestPosition) return kLowestPosition;
  return limitPosition(kPositionCentre + roundHalfEven(product));
}

int applySpeedRule(const std::string& argument, int storedSpeed, int speed) {
  if (argument.empty()) return speed;
  const std::string_view rest = std::string_view(argument).substr(1);
  switch (argument.front()) {
    case '+':
      return limitSpeed(static_cast<double>(storedSpeed) + parseIntegerOr(rest, 0));
    case '-':
      return limitSpeed(static_cast<double>(storedSpeed) - parseIntegerOr(rest, 0));
    case '*':
      return limitSpeed(speed * parseDecimal(rest).value_or(1.0));
    case '/':
      return limitSpeed(speed / parseDecimal(rest).value_or(1.0));
    default:
      return speed;
  }
}

int channelArgument(const SplitRule& rule) {
  return parseIntegerOr(rule.argument, 0);
}

bool isChannelNumber(int n) {
  return n >= 1 && n <= kChannelCount;
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

const std::vector<std::string>& conversionTemplates() {
  static const std::vector<std::string> templates{"CopyTo(?)", "ReadTo(?)", "Change(?)", "Reverse",
                                                  "ADD(?)",    "MUL(?)",    "SPD(?)"};
  return templates;
}

ChannelRules rulesFromItems(const std::vector<std::string>& items) {
  ChannelRules rules;
  const std::size_t n = std::min(items.size(), rules.size());
  std::copy_n(items.begin(), n, rules.begin());
  return rules;
}

bool isConversionCommand(const std::string& rule) {
  const SplitRule r = splitRule(rule);
  if (r.command.empty() && r.argument.empty()) return true;
  static const char* const kCommands[] = {"COPYTO", "READTO", "CHANGE", "REVERSE",
                                          "ADD",    "MUL",    "SPD"};
  return std::any_of(std::begin(kCommands), std::end(kCommands),
                     [&](const char* c) { return r.command == c; });
}

int firstUnusableRule(const ChannelRules& rules) {
  for (int c = 0; c < kChannelCount; ++c) {
    if (dividesByZero(splitRule(rules[static_cast<std::size_t>(c)]))) return c + 1;
  }
  return 0;
}

bool convertItem(ChartItem& item, const ChannelRules& rules) {
  if (firstUnusableRule(rules) != 0) return false;
  const PrmWordArray old = item.PrmWords;
  PrmWordArray out = old;
  const int storedSpeed = item.PrmByte;
  int speed = storedSpeed;
  auto at = [](PrmWordArray& words, int channelIndex) -> std::uint16_t& {
    return words[static_cast<std::size_t>(channelIndex)];
  };
  for (int c = 0; c < kChannelCount; ++c) {
    const SplitRule rule = splitRule(rules[static_cast<std::size_t>(c)]);
    const int word = old[static_cast<std::size_t>(c)];
    if (rule.command == "COPYTO") {
      const int n = channelArgument(rule);
      if (isChannelNumber(n)) at(out, n - 1) = old[static_cast<std::size_t>(c)];
    } else if (rule.command == "READTO") {
      const int n = channelArgument(rule);
      if (isChannelNumber(n)) at(out, c) = old[static_cast<std::size_t>(n - 1)];
    } else if (rule.command == "CHANGE") {
      const int n = channelArgument(rule);
      if (isChannelNumber(n)) {
        at(out, n - 1) = old[static_cast<std::size_t>(c)];
        at(out, c) = old[static_cast<std::size_t>(n - 1)];
      }
    } else if (rule.command == "REVERSE") {
      if (isPosition(word)) at(out, c) = static_cast<std::uint16_t>(2 * kPositionCentre - word);
    } else if (rule.command == "ADD") {
      if (isPosition(word)) {
        at(out, c) = static_cast<std::uint16_t>(
            limitPosition(static_cast<std::int64_t>(word) + channelArgument(rule)));
      }
    } else if (rule.command == "MUL") {
      if (isPosition(word)) {
        const auto x = static_cast<float>(parseDecimal(rule.argument).value_or(0.0));
        at(out, c) = static_cast<std::uint16_t>(scalePosition(word, x));
      }
    } else if (rule.command == "SPD") {
      if (word >= 1 && word <= kHighestSpeedRuleWord) {
        speed = applySpeedRule(rule.argument, storedSpeed, speed);
      }
    }
  }
  item.PrmWords = out;
  item.PrmByte = static_cast<std::uint8_t>(speed);
  return true;
}

bool convertSelectedItems(Chart& chart, const ChannelRules& rules) {
  if (firstUnusableRule(rules) != 0) return false;
  for (ChartItem& item : chart.items) {
    if (item.Selected && item.Type != kItemCmp) convertItem(item, rules);
  }
  return true;
}

}  // namespace pvrj
