// How far the main window grows to hold a chart: never beyond the screen's available area.
#include "app/WindowFit.h"

#include <algorithm>

namespace pvrj {
namespace {

int grownExtent(int current, int wanted, int limit) {
  if (wanted <= current) return current;
  return std::max(current, std::min(wanted, limit));
}

int keptInside(int start, int extent, int areaStart, int areaExtent) {
  // Past the far edge: back inside; then the near edge wins, so the caption stays reachable.
  start = std::min(start, areaStart + areaExtent - extent);
  return std::max(start, areaStart);
}

}  // namespace

QSize grownClientSize(QSize current, QSize wanted, const QRect& available, const QMargins& frame) {
  const int widthLimit = available.width() - frame.left() - frame.right();
  const int heightLimit = available.height() - frame.top() - frame.bottom();
  return {grownExtent(current.width(), wanted.width(), widthLimit),
          grownExtent(current.height(), wanted.height(), heightLimit)};
}

QPoint keptOnScreen(QPoint topLeft, QSize frameSize, const QRect& available) {
  return {keptInside(topLeft.x(), frameSize.width(), available.x(), available.width()),
          keptInside(topLeft.y(), frameSize.height(), available.y(), available.height())};
}

}  // namespace pvrj
