// Link actions: parsing, checking and applying the per-channel step rules.
#include "editors/core/LinkActions.h"

#include <algorithm>
#include <optional>

#include "chart/ChannelConversion.h"
#include "editors/core/ChannelModel.h"

namespace pvrj {
namespace {

constexpr int kMoveLimit = 32767;
constexpr int kSpeedLimit = 127;
constexpr int kSetFirst = 1;
constexpr int kSetLast = 3;

// A decimal integer: an optional sign and at least one digit, nothing else.
std::optional<int> decimalInteger(std::string_view text, int limit) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
    if (value > limit) return std::nullopt;
  }
  return static_cast<int>(negative ? -value : value);
}

struct KeywordName {
  const char* name;
  LinkKeyword keyword;
};
constexpr KeywordName kKeywords[] = {
    {"MOV", LinkKeyword::kMov}, {"PRM", LinkKeyword::kPrm},   {"SET", LinkKeyword::kSet},
    {"TTL", LinkKeyword::kTtl}, {"FREE", LinkKeyword::kFree}, {"SPD", LinkKeyword::kSpd},
    {"STR", LinkKeyword::kStr}, {"TCH", LinkKeyword::kTch},
};

bool isPosition(std::uint16_t word) {
  return word >= 1 && word <= kWordPositionMax;
}

}  // namespace

LinkAction parseLinkAction(std::string_view text) {
  const SplitRule split = splitRule(std::string(text));
  LinkAction a;
  a.argument = split.argument;
  if (split.command.empty() && split.argument.empty()) return a;  // empty: valid, no effect
  a.keyword = LinkKeyword::kUnknown;
  for (const KeywordName& k : kKeywords) {
    if (split.command == k.name) a.keyword = k.keyword;
  }
  std::optional<int> number;
  switch (a.keyword) {
    case LinkKeyword::kMov:
    case LinkKeyword::kPrm:
      number = decimalInteger(a.argument, kMoveLimit);
      break;
    case LinkKeyword::kSet:
      if (a.argument.size() == 1 && a.argument[0] >= '0' + kSetFirst &&
          a.argument[0] <= '0' + kSetLast) {
        number = a.argument[0] - '0';
      }
      break;
    case LinkKeyword::kTtl:
      if (a.argument == "H" || a.argument == "1") number = kWordHigh;
      if (a.argument == "L" || a.argument == "0") number = kWordLow;
      break;
    case LinkKeyword::kFree:
    case LinkKeyword::kTch:
      if (a.argument.empty()) number = 0;
      break;
    case LinkKeyword::kSpd:
    case LinkKeyword::kStr:
      if (a.argument != "0") number = decimalInteger(a.argument, kSpeedLimit);
      break;
    case LinkKeyword::kEmpty:
    case LinkKeyword::kUnknown:
      break;
  }
  a.valid = number.has_value();
  a.number = number.value_or(0);
  return a;
}

bool isValidLinkEntry(std::string_view text) {
  return parseLinkAction(text).valid;
}

int firstBadLinkChannel(std::span<const std::string> entries) {
  const std::size_t count = std::min<std::size_t>(entries.size(), kChannelCount);
  for (std::size_t i = 0; i < count; ++i) {
    if (!isValidLinkEntry(entries[i])) return static_cast<int>(i) + 1;
  }
  return 0;
}

std::string badLinkEntryMessage(int channel) {
  return "CH" + std::to_string(channel) + kBadLinkEntrySuffix;
}

std::uint16_t applyLinkAction(const LinkAction& a, std::uint16_t word, int multiplier) {
  if (!a.valid) return word;
  switch (a.keyword) {
    case LinkKeyword::kMov:
      if (!isPosition(word)) return word;
      return static_cast<std::uint16_t>(limitToPositionBar(word + a.number * multiplier));
    case LinkKeyword::kPrm:
      if (!isPosition(word)) return word;
      return static_cast<std::uint16_t>(limitToPositionBar(kPositionCentre + a.number));
    case LinkKeyword::kSet:
      return static_cast<std::uint16_t>(kWordFree + a.number);
    case LinkKeyword::kTtl:
      return static_cast<std::uint16_t>(a.number);
    case LinkKeyword::kFree:
      return kWordFree;
    default:
      return word;
  }
}

LinkSet parseLinkSet(std::span<const std::string> entries) {
  LinkSet set{};
  const std::size_t count = std::min<std::size_t>(entries.size(), kChannelCount);
  for (std::size_t i = 0; i < count; ++i) set[i] = parseLinkAction(entries[i]);
  return set;
}

PrmWordArray linkStep(const LinkSet& set, const PrmWordArray& words, int multiplier) {
  PrmWordArray out{};
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = applyLinkAction(set[i], words[i], multiplier);
  return out;
}

bool anyTeachChannel(const LinkSet& set) {
  return std::any_of(set.begin(), set.end(), [](const LinkAction& a) { return a.teaches(); });
}

}  // namespace pvrj
