// One channel of the position editor without its widgets.
#include "editors/core/ChannelModel.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "common/Numbers.h"

namespace pvrj {
namespace {

// Typed numbers beyond this are as good as infinite for a bar; keeping them small keeps the
// rounding in range.
constexpr double kTypedLimit = 1e9;
constexpr int kStretchDisplayFactor = 2;  // a stretch value shows doubled

int roundLimited(double value) {
  return static_cast<int>(roundHalfEven(std::clamp(value, -kTypedLimit, kTypedLimit)));
}

int limitToSmallBar(int value) {
  return std::clamp(value, kSmallBarMin, kSmallBarMax);
}

int smallBarDisplay(const ChannelState& c) {
  return c.tag == SmallTag::kStretch ? kStretchDisplayFactor * c.smallBar : c.smallBar;
}

std::uint16_t smallBarWord(const ChannelState& c) {
  const int base = c.tag == SmallTag::kStretch ? kWordStretchBase : kWordSpeedBase;
  return static_cast<std::uint16_t>(base + c.smallBar);
}

}  // namespace

int channelModeOf(std::uint16_t word) {
  if (word == kWordNone || word == kWordTeach || word > kWordStretchLast) return kModeNone;
  if (word <= kWordPositionMax) return kModeServo;
  if (word == kWordLow || word == kWordHigh) return kModeDigital;
  if (word >= kWordFree && word <= kWordSet3) return kModeFree;
  return kModeSpeed;
}

std::uint16_t radioWord(Radio radio) {
  switch (radio) {
    case Radio::kHigh:
      return kWordHigh;
    case Radio::kLow:
      return kWordLow;
    case Radio::kFree:
      return kWordFree;
    case Radio::kSet1:
      return kWordSet1;
    case Radio::kSet2:
      return kWordSet2;
    case Radio::kSet3:
      return kWordSet3;
    case Radio::kNone:
      break;
  }
  return kWordNone;
}

Radio radioOfWord(std::uint16_t word) {
  switch (word) {
    case kWordLow:
      return Radio::kLow;
    case kWordHigh:
      return Radio::kHigh;
    case kWordFree:
      return Radio::kFree;
    case kWordSet1:
      return Radio::kSet1;
    case kWordSet2:
      return Radio::kSet2;
    case kWordSet3:
      return Radio::kSet3;
    default:
      return Radio::kNone;
  }
}

std::optional<RadioTag> radioOfTag(int tag) {
  if (tag < 1 || tag > kBoardChannels * kRadioCount) return std::nullopt;
  return RadioTag{(tag - 1) % kBoardChannels, static_cast<Radio>((tag - 1) / kBoardChannels)};
}

int tagOfRadio(int channel, Radio radio) {
  return static_cast<int>(radio) * kBoardChannels + channel + 1;
}

int displayValue(int position, float rate) {
  return roundLimited(static_cast<double>(position - kPositionCentre) * static_cast<double>(rate));
}

bool usableDisplayRate(float rate) {
  return std::isfinite(rate) && rate != 0.0f;
}

bool editHighlighted(const ChannelState& channel) {
  return (channel.mode == kModeServo || channel.mode == kModeFree) &&
         std::fabs(channel.rate) != 1.0f;
}

int limitToPositionBar(int value) {
  return std::clamp(value, kPositionBarMin, kPositionBarMax);
}

void showWord(ChannelState& c, std::uint16_t word) {
  if (word >= kWordSpeedBase && word <= kWordStretchLast) {
    const bool stretch = word >= kWordStretchBase;
    c.tag = stretch ? SmallTag::kStretch : SmallTag::kSpeed;
    c.smallBar = limitToSmallBar(word - (stretch ? kWordStretchBase : kWordSpeedBase));
    c.edit = smallBarDisplay(c);
    c.radio = Radio::kNone;
  } else if (word > kWordPositionMax && word <= kWordTeach) {
    c.radio = radioOfWord(word);  // 0x8006 checks none
  } else if (word <= kWordPositionMax) {
    c.radio = Radio::kNone;
    if (word != kWordNone) {
      c.positionBar = limitToPositionBar(word);
      c.edit = displayValue(c.positionBar, c.rate);
    }
  }
  c.mode = channelModeOf(word);
}

std::uint16_t wordFromControls(const ChannelState& c) {
  switch (c.mode) {
    case kModeServo:
      return static_cast<std::uint16_t>(c.positionBar);
    case kModeDigital:
      return c.radio == Radio::kHigh ? kWordHigh : kWordLow;
    case kModeFree:
      switch (c.radio) {
        case Radio::kSet3:
          return kWordSet3;
        case Radio::kSet2:
          return kWordSet2;
        case Radio::kSet1:
          return kWordSet1;
        case Radio::kFree:
          return kWordFree;
        default:
          return kWordNone;
      }
    case kModeSpeed:
      return smallBarWord(c);
    default:
      return kWordNone;
  }
}

std::uint16_t movePositionBar(ChannelState& c, int position) {
  c.positionBar = limitToPositionBar(position);
  c.edit = displayValue(c.positionBar, c.rate);
  return static_cast<std::uint16_t>(c.positionBar);
}

std::uint16_t moveSmallBar(ChannelState& c, int position) {
  c.smallBar = limitToSmallBar(position);
  c.edit = smallBarDisplay(c);
  return smallBarWord(c);
}

std::optional<std::uint16_t> enterValue(ChannelState& c, std::string_view text) {
  const std::optional<double> typed = parseTypedNumber(text);
  if (c.mode == kModeServo || c.mode == kModeFree) {
    // With an unusable rate no typed value can be turned into a position: the bar stays.
    if (typed && usableDisplayRate(c.rate)) {
      c.positionBar =
          limitToPositionBar(roundLimited(*typed / static_cast<double>(c.rate)) + kPositionCentre);
    }
    const std::uint16_t word = movePositionBar(c, c.positionBar);
    // The channel now holds a position, so it shows as one (a free channel would otherwise keep
    // showing its radio buttons and send "free" with the next pose).
    showWord(c, word);
    return word;
  }
  if (c.mode == kModeSpeed) {
    if (typed) {
      const double value = c.tag == SmallTag::kStretch ? *typed / kStretchDisplayFactor : *typed;
      c.smallBar = limitToSmallBar(roundLimited(value));
    }
    return moveSmallBar(c, c.smallBar);
  }
  return std::nullopt;
}

std::uint16_t chooseRadio(ChannelState& c, Radio radio) {
  c.radio = radio;
  c.mode = channelModeOf(radioWord(radio));
  return radioWord(radio);
}

std::uint16_t chooseChannelType(ChannelState& c, ChannelType type) {
  std::uint16_t word = kWordNone;
  switch (type) {
    case ChannelType::kNone:
      word = kWordNone;
      break;
    case ChannelType::kServo:
      word = static_cast<std::uint16_t>(c.positionBar);
      break;
    case ChannelType::kFree:
      word = kWordFree;
      break;
    case ChannelType::kSet1:
      word = kWordSet1;
      break;
    case ChannelType::kSet2:
      word = kWordSet2;
      break;
    case ChannelType::kSet3:
      word = kWordSet3;
      break;
    case ChannelType::kHigh:
      word = kWordHigh;
      break;
    case ChannelType::kLow:
      word = kWordLow;
      break;
  }
  showWord(c, word);
  return word;
}

void showMeasuredPosition(ChannelState& c, int position) {
  c.positionBar = limitToPositionBar(position);
  // The edit shows where the servo really is, even beyond the bar's ends.
  c.edit = displayValue(position, c.rate);
}

void setDisplayRate(ChannelState& c, float rate) {
  c.rate = rate;
  if (c.mode == kModeServo || c.mode == kModeFree) c.edit = displayValue(c.positionBar, rate);
}

std::optional<double> parseTypedNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  double value = 0;
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<float> parseDisplayRate(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  float value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !usableDisplayRate(value)) {
    return std::nullopt;
  }
  return value;
}

std::string formatDisplayRate(float rate) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, rate);
  if (ec != std::errc()) return "1";
  return std::string(buffer, end);
}

}  // namespace pvrj
