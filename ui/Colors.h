// Colours between the chart's 0x00BBGGRR values and Qt, and system colour references resolved
// through the application palette.
#pragma once

#include <QColor>
#include <cstdint>

namespace pvrj {

// A plain 0x00BBGGRR colour as Qt's.
QColor toQColor(std::uint32_t bgr);
std::uint32_t fromQColor(const QColor& c);

// The resolver of system colour references (0x80000000 + index) through the application palette.
std::uint32_t paletteSystemColor(std::uint32_t reference);

}  // namespace pvrj
