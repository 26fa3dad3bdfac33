// Cutting the board's information text into its lines.
#include "prefs/core/BoardInfoText.h"

#include <algorithm>

#include "common/Encoding.h"

namespace pvrj {

std::array<std::string, kBoardInfoLines> boardInfoLines(const Bytes& info) {
  std::array<std::string, kBoardInfoLines> lines;
  for (std::size_t i = 0; i < kBoardInfoLines; ++i) {
    const std::size_t first = i * kBoardInfoLineLength;
    if (first >= info.size()) break;
    const auto begin = info.begin() + static_cast<std::ptrdiff_t>(first);
    const auto end = info.begin() + static_cast<std::ptrdiff_t>(
                                        std::min(info.size(), first + kBoardInfoLineLength));
    // The board pads its lines with NUL bytes; text stops there.
    const std::string line(begin, std::find(begin, end, std::uint8_t{0}));
    lines[i] = cp932ToUtf8(line);
  }
  return lines;
}

}  // namespace pvrj
