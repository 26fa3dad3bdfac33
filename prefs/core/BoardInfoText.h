// The board's information text as the information window shows it: four lines of 16 characters.
#pragma once

#include <array>
#include <string>

#include "protocol/BoardTypes.h"

namespace pvrj {

inline constexpr std::size_t kBoardInfoLines = 4;
inline constexpr std::size_t kBoardInfoLineLength = 16;

// Bytes 1 to 16, 17 to 32, 33 to 48 and 49 to 64 as UTF-8 lines. A line ends early at a NUL, and
// a shorter text gives shorter or empty lines.
std::array<std::string, kBoardInfoLines> boardInfoLines(const Bytes& info);

}  // namespace pvrj
