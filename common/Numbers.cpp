// Tolerant integer parsing and round-half-to-even helpers.
#include "common/Numbers.h"

#include <cmath>

namespace pvrj {
namespace {
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::optional<std::int32_t> parseInteger(std::string_view text) {
  std::size_t i = 0;
  std::size_t end = text.size();
  while (i < end && isBlank(text[i])) ++i;
  while (end > i && isBlank(text[end - 1])) --end;
  if (i == end) return std::nullopt;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < end && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < end && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == end) return std::nullopt;
  std::uint64_t magnitude = 0;
  const std::uint64_t limit = hex ? 0xFFFFFFFFull : 0x80000000ull;
  for (; i < end; ++i) {
    int d = hex ? hexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (d < 0) return std::nullopt;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
    if (magnitude > limit) return std::nullopt;
  }
  if (hex) {
    auto bits = static_cast<std::uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
  }
  if (!negative && magnitude > 0x7FFFFFFFull) return std::nullopt;
  std::int64_t v =
      negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(v);
}

std::int32_t parseIntegerOr(std::string_view text, std::int32_t fallback) {
  auto v = parseInteger(text);
  return v ? *v : fallback;
}

std::int64_t roundHalfEven(double value) {
  // nearbyint follows the current rounding mode, which is round-to-nearest-even by default;
  // do it explicitly so a changed mode elsewhere cannot leak in.
  double fl = std::floor(value);
  double diff = value - fl;
  double r;
  if (diff > 0.5) {
    r = fl + 1.0;
  } else if (diff < 0.5) {
    r = fl;
  } else {
    r = std::fmod(fl, 2.0) == 0.0 ? fl : fl + 1.0;
  }
  return static_cast<std::int64_t>(r);
}

std::int64_t divideRoundHalfEven(std::int64_t a, std::int64_t b) {
  if (b < 0) {
    a = -a;
    b = -b;
  }
  std::int64_t q = a / b;
  std::int64_t r = a % b;  // same sign as a
  std::int64_t twice = 2 * (r < 0 ? -r : r);
  if (twice > b || (twice == b && (q % 2 != 0))) q += (r < 0 ? -1 : 1);
  return q;
}

}  // namespace pvrj
