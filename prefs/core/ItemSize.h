// The item property dialog's rules for the width and height typed for an item.
#pragma once

#include <optional>
#include <string_view>

namespace pvrj {

// An item is never made smaller than this, so it stays visible and can be hit with the mouse.
inline constexpr int kSmallestItemSize = 20;
// Nor larger than this, so every coordinate worked out from it stays far inside 32 bits.
inline constexpr int kLargestItemSize = 32767;

inline constexpr const char* kItemSizeNotWholeMessage = "横幅と高さは整数で入力してください";

// A width or height as typed: a decimal whole number (blanks around it allowed), limited to
// kSmallestItemSize ... kLargestItemSize; nothing for any other text.
std::optional<int> itemSizeFromText(std::string_view text);

}  // namespace pvrj
