// Pixel geometry of the chart picture and its hit tests.
#include "chart/ChartGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "common/Numbers.h"

namespace pvrj {
namespace {

// Tolerances of the hit tests around a bend point and a segment's middle (x - lo <= p <= x + hi).
constexpr int kBendHitLow = 3;
constexpr int kBendHitHigh = 4;
constexpr int kSegmentHitLow = 4;
constexpr int kSegmentHitHigh = 5;
// Arrow head: back corners 5 pixels behind and beside the middle, tip 4 pixels ahead.
constexpr float kArrowBack = 5.0f;
constexpr float kArrowTip = 4.0f;
// Start flag offsets from the item's top-left corner.
constexpr int kFlagPoleX = 10;
constexpr int kFlagBottom = -2;
constexpr int kFlagTop = -12;
constexpr int kFlagTipY = -7;
constexpr int kPoleEnd = 8;

constexpr float kPi = std::numbers::pi_v<float>;

std::int32_t roundCoord(float v) {
  return static_cast<std::int32_t>(roundHalfEven(v));
}

}  // namespace

std::uint32_t classicSystemColor(std::uint32_t reference) {
  switch (reference & ~kSystemColorFlag) {
    case 5:  // window
      return kWhite;
    case 8:   // window text
    case 18:  // button text
      return kBlack;
    case 13:  // highlight
      return rgbColor(0, 0, 128);
    case 14:  // highlight text
      return kWhite;
    case 15:  // button face
      return rgbColor(192, 192, 192);
    default:
      return rgbColor(192, 192, 192);
  }
}

std::uint32_t resolveColor(std::uint32_t color, const SystemColorResolver& resolve) {
  if (!isSystemColor(color)) return color & 0xFFFFFF;
  return (resolve ? resolve(color) : classicSystemColor(color)) & 0xFFFFFF;
}

int colorLuminance(std::uint32_t rgb) {
  double y = 0.299 * redOf(rgb) + 0.587 * greenOf(rgb) + 0.114 * blueOf(rgb);
  return static_cast<int>(roundHalfEven(y));
}

std::uint32_t contrastTextColor(std::uint32_t fill, const SystemColorResolver& resolve) {
  return colorLuminance(resolveColor(fill, resolve)) <= kContrastLuminanceLimit ? kWhite : kBlack;
}

ChartPoint segmentMiddle(ChartPoint p0, ChartPoint p1) {
  // Differences in 64 bits so far-apart points cannot overflow.
  auto mid = [](std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(a + (static_cast<std::int64_t>(b) - a) / 2);
  };
  return {mid(p0.x, p1.x), mid(p0.y, p1.y)};
}

float segmentAngle(ChartPoint p0, ChartPoint p1) {
  if (p0 == p1) return -1.0f;
  if (p1.x == p0.x) return p1.y > p0.y ? kPi / 2 : 3 * kPi / 2;
  if (p1.y == p0.y) return p1.x > p0.x ? 0.0f : kPi;
  float dy = static_cast<float>(static_cast<std::int64_t>(p1.y) - p0.y);
  float dx = static_cast<float>(static_cast<std::int64_t>(p1.x) - p0.x);
  float theta = std::atan(dy / dx);
  if (p1.x < p0.x) {
    theta += kPi;
  } else if (p1.y < p0.y) {
    theta += 2 * kPi;
  }
  return theta;
}

std::array<ChartPoint, 3> arrowHeadShape(ChartPoint p0, ChartPoint p1) {
  float theta = segmentAngle(p0, p1);
  float c = std::cos(theta);
  float s = std::sin(theta);
  return {
      {{roundCoord(-kArrowBack * c - kArrowBack * s), roundCoord(kArrowBack * c - kArrowBack * s)},
       {roundCoord(-kArrowBack * c + kArrowBack * s), roundCoord(-kArrowBack * c - kArrowBack * s)},
       {roundCoord(kArrowTip * c), roundCoord(kArrowTip * s)}}};
}

std::array<ChartPoint, 3> arrowHead(ChartPoint p0, ChartPoint p1) {
  ChartPoint m = segmentMiddle(p0, p1);
  auto shape = arrowHeadShape(p0, p1);
  for (auto& corner : shape) {
    corner.x += m.x;
    corner.y += m.y;
  }
  return shape;
}

StartMark startMark(const ChartItem& item) {
  const std::int32_t l = item.Left;
  const std::int32_t t = item.Top;
  StartMark mark;
  mark.flag = {
      {{l + kFlagPoleX, t + kFlagBottom}, {l + kFlagPoleX, t + kFlagTop}, {l, t + kFlagTipY}}};
  mark.poleTop = {l + kFlagPoleX, t + kFlagBottom};
  mark.poleBottom = {l + kFlagPoleX, t + kPoleEnd};
  return mark;
}

void linkPathInto(const Chart& chart, const ChartLink& link, std::vector<ChartPoint>& path) {
  path.clear();
  // Loaded files may name ends that do not exist; such ends are never followed.
  if (!chart.validItem(link.Origin)) return;
  path.reserve(link.Point.size() + 2);
  path.push_back(itemCentre(chart.items[static_cast<std::size_t>(link.Origin)]));
  path.insert(path.end(), link.Point.begin(), link.Point.end());
  if (chart.validItem(link.Final)) {
    path.push_back(itemCentre(chart.items[static_cast<std::size_t>(link.Final)]));
  }
}

std::vector<ChartPoint> linkPath(const Chart& chart, const ChartLink& link) {
  std::vector<ChartPoint> path;
  linkPathInto(chart, link, path);
  return path;
}

int roundedRowInset(int row, int height) {
  // Rows of a quarter circle of radius 5 sampled at pixel centres.
  static constexpr std::array<int, kItemCornerEllipse / 2> kInsets = {3, 1, 1, 0, 0};
  auto inset = [](int k) {
    return k >= 0 && k < static_cast<int>(kInsets.size()) ? kInsets[k] : 0;
  };
  return std::max(inset(row), inset(height - 1 - row));
}

ChartPoint snapToGrid(ChartPoint p, int stepX, int stepY) {
  return {stepX * (p.x / stepX) + stepX / 2, stepY * (p.y / stepY) + stepY / 2};
}

bool itemContains(const ChartItem& item, ChartPoint p) {
  const std::int64_t right = static_cast<std::int64_t>(item.Left) + item.Width - 1;
  const std::int64_t bottom = static_cast<std::int64_t>(item.Top) + item.Height - 1;
  return item.Left <= p.x && p.x <= right && item.Top <= p.y && p.y <= bottom;
}

bool itemOverlaps(const ChartItem& item, ChartPoint a, ChartPoint b) {
  const std::int64_t x0 = std::min(a.x, b.x), x1 = std::max(a.x, b.x);
  const std::int64_t y0 = std::min(a.y, b.y), y1 = std::max(a.y, b.y);
  const std::int64_t right = static_cast<std::int64_t>(item.Left) + item.Width - 1;
  const std::int64_t bottom = static_cast<std::int64_t>(item.Top) + item.Height - 1;
  return item.Left <= x1 && right >= x0 && item.Top <= y1 && bottom >= y0;
}

int hitItem(const Chart& chart, ChartPoint p) {
  for (int i = chart.itemCount() - 1; i >= 0; --i) {
    if (itemContains(chart.items[static_cast<std::size_t>(i)], p)) return i;
  }
  return -1;
}

PointHit hitBendPoint(const Chart& chart, ChartPoint p) {
  for (int l = chart.linkCount() - 1; l >= 0; --l) {
    const ChartLink& link = chart.links[static_cast<std::size_t>(l)];
    // A line whose origin is no item is not drawn, so none of its points can be hit either.
    if (!chart.validItem(link.Origin)) continue;
    const auto& points = link.Point;
    for (std::size_t k = 0; k < points.size(); ++k) {
      const ChartPoint q = points[k];
      if (p.x - kBendHitLow <= q.x && q.x <= p.x + kBendHitHigh && p.y - kBendHitLow <= q.y &&
          q.y <= p.y + kBendHitHigh) {
        return {l, static_cast<int>(k)};
      }
    }
  }
  return {};
}

PointHit hitSegment(const Chart& chart, ChartPoint p) {
  std::vector<ChartPoint> path;
  for (int l = 0; l < chart.linkCount(); ++l) {
    linkPathInto(chart, chart.links[static_cast<std::size_t>(l)], path);
    for (std::size_t j = 0; j + 1 < path.size(); ++j) {
      const ChartPoint m = segmentMiddle(path[j], path[j + 1]);
      if (m.x - kSegmentHitLow <= p.x && p.x <= m.x + kSegmentHitHigh &&
          m.y - kSegmentHitLow <= p.y && p.y <= m.y + kSegmentHitHigh) {
        return {l, static_cast<int>(j)};
      }
    }
  }
  return {};
}

}  // namespace pvrj
