// The environment settings' rules: the canvas size and grid steps as typed, and when they apply.
#pragma once

#include <optional>
#include <string_view>

namespace pvrj {

// A canvas side below this is refused, and with it everything else the dialog would apply.
inline constexpr int kMinCanvasSide = 100;

// A decimal integer as typed (blanks around it and a sign allowed); nothing for any other text or
// for a number too large to hold.
std::optional<int> decimalInteger(std::string_view text);

// What pressing "更新" applies: nothing unless both sizes are numbers of at least 100; then the
// size, and each grid step as typed or, for a text that is no number, the current step.
struct EnvironmentChange {
  int width = 0;
  int height = 0;
  int gridX = 0;
  int gridY = 0;
};
std::optional<EnvironmentChange> environmentChange(std::string_view width, std::string_view height,
                                                   std::string_view gridX, std::string_view gridY,
                                                   int currentGridX, int currentGridY);

}  // namespace pvrj
