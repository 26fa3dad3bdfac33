// Number helpers shared by every layer: tolerant integer parsing, rounding, truncating division.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace pvrj {

// Reads a 32-bit integer: optional blanks around it, an optional sign, then decimal digits or
// hexadecimal digits after "0x"/"0X"/"$". Hexadecimal may use the full unsigned 32-bit range and
// wraps to the signed value (0xFFFFFFFF reads as -1). Anything else, or an out-of-range decimal,
// gives nothing.
std::optional<std::int32_t> parseInteger(std::string_view text);
// parseInteger with a fallback.
std::int32_t parseIntegerOr(std::string_view text, std::int32_t fallback);

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
std::int64_t roundHalfEven(double value);
// Rounds the quotient a / b to nearest, halves to even, without floating point. b must not be 0.
std::int64_t divideRoundHalfEven(std::int64_t a, std::int64_t b);
// Division truncating toward zero (C++ already does; named so intent is clear at call sites).
constexpr std::int64_t truncDiv(std::int64_t a, std::int64_t b) {
  return a / b;
}
// An int index as the std::size_t a container takes; the caller has checked its range.
constexpr std::size_t at(int index) {
  return static_cast<std::size_t>(index);
}
// Halving of a coordinate, truncating toward zero (-5 -> -2).
constexpr std::int32_t halfOf(std::int32_t v) {
  return v / 2;
}

}  // namespace pvrj
