// Colours between the chart's 0x00BBGGRR values and Qt, and system colour references resolved
// through the application palette.
#include "ui/Colors.h"

#include <QApplication>
#include <QPalette>

#include "chart/ChartGeometry.h"

namespace pvrj {

QColor toQColor(std::uint32_t bgr) {
  return QColor(redOf(bgr), greenOf(bgr), blueOf(bgr));
}

std::uint32_t fromQColor(const QColor& c) {
  return rgbColor(c.red(), c.green(), c.blue());
}

std::uint32_t paletteSystemColor(std::uint32_t reference) {
  const QPalette palette = QApplication::palette();
  switch (reference & ~kSystemColorFlag) {
    case 5:  // window: the background of content areas
      return fromQColor(palette.color(QPalette::Base));
    case 8:  // window text
      return fromQColor(palette.color(QPalette::Text));
    case 13:
      return fromQColor(palette.color(QPalette::Highlight));
    case 14:
      return fromQColor(palette.color(QPalette::HighlightedText));
    case 15:  // button face
      return fromQColor(palette.color(QPalette::Button));
    case 18:  // button text
      return fromQColor(palette.color(QPalette::ButtonText));
    default:
      return fromQColor(palette.color(QPalette::Window));
  }
}

}  // namespace pvrj
