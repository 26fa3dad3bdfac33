// Pixel geometry of the chart picture and its hit tests: arrow heads, start flag, line paths,
// colours.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "chart/Chart.h"

namespace pvrj {

// System colour references are 0x80000000 + index; everything else is 0x00BBGGRR.
inline constexpr std::uint32_t kSystemColorFlag = 0x80000000u;
inline constexpr std::uint32_t kSysWindowColor = 0x80000005u;
inline constexpr std::uint32_t kSysHighlightColor = 0x8000000Du;
inline constexpr std::uint32_t kSysHighlightTextColor = 0x8000000Eu;
inline constexpr std::uint32_t kSysButtonFaceColor = 0x8000000Fu;
inline constexpr std::uint32_t kBlack = 0;
inline constexpr std::uint32_t kRed = 255;
inline constexpr std::uint32_t kGrey = 8421504;
// Text on a fill whose luminance is at most this value is white.
inline constexpr int kContrastLuminanceLimit = 128;
// Corner ellipse of the rounded item boxes.
inline constexpr int kItemCornerEllipse = 10;

// Maps a system colour reference to 0x00BBGGRR; the windows resolve through their palette.
using SystemColorResolver = std::function<std::uint32_t(std::uint32_t reference)>;

inline bool isSystemColor(std::uint32_t color) {
  return (color & kSystemColorFlag) != 0;
}
inline int redOf(std::uint32_t c) {
  return static_cast<int>(c & 0xFF);
}
inline int greenOf(std::uint32_t c) {
  return static_cast<int>((c >> 8) & 0xFF);
}
inline int blueOf(std::uint32_t c) {
  return static_cast<int>((c >> 16) & 0xFF);
}
inline std::uint32_t rgbColor(int r, int g, int b) {
  return static_cast<std::uint32_t>(r & 0xFF) | (static_cast<std::uint32_t>(g & 0xFF) << 8) |
         (static_cast<std::uint32_t>(b & 0xFF) << 16);
}

// A fixed classic desktop scheme, for callers without a palette (tests, the command line).
std::uint32_t classicSystemColor(std::uint32_t reference);
// The colour as 0x00BBGGRR: system references through the resolver (classic scheme if empty).
std::uint32_t resolveColor(std::uint32_t color, const SystemColorResolver& resolve = {});
// Luminance 0.299 R + 0.587 G + 0.114 B, rounded half to even.
int colorLuminance(std::uint32_t rgb);
// White (16777215) for a dark fill, black (0) for a light one.
std::uint32_t contrastTextColor(std::uint32_t fill, const SystemColorResolver& resolve = {});

// Middle of a segment, halving truncated toward zero.
ChartPoint segmentMiddle(ChartPoint p0, ChartPoint p1);
// Direction of the segment in radians, in [0, 2pi); -1 for a segment of zero length.
float segmentAngle(ChartPoint p0, ChartPoint p1);
// The arrow head of a segment: two back corners, then the tip, placed at the segment's middle.
std::array<ChartPoint, 3> arrowHead(ChartPoint p0, ChartPoint p1);
// The same corners relative to the middle; only these few shapes ever occur, so they cache well.
std::array<ChartPoint, 3> arrowHeadShape(ChartPoint p0, ChartPoint p1);

// The start flag of an item at (left, top): triangle corners and the pole from top to bottom.
struct StartMark {
  std::array<ChartPoint, 3> flag;
  ChartPoint poleTop;
  ChartPoint poleBottom;
};
StartMark startMark(const ChartItem& item);

// Path of a link: origin centre, bend points, final centre. Empty when the origin is not an item;
// a final end that names no item leaves the path ending at the last bend point.
std::vector<ChartPoint> linkPath(const Chart& chart, const ChartLink& link);
void linkPathInto(const Chart& chart, const ChartLink& link, std::vector<ChartPoint>& path);

// Pixels cut from each side of a row of a rounded item box (10 x 10 corner ellipse): 3, 1, 1 in
// the first and last rows, 0 elsewhere. Outline and fill are built from these whole-pixel spans so
// that a box looks the same wherever it stands.
int roundedRowInset(int row, int height);

// Grid snapping to the centre of the cell holding the point.
ChartPoint snapToGrid(ChartPoint p, int stepX, int stepY);

// True when the point lies in the item's box [Left, Left + Width - 1] x [Top, Top + Height - 1].
bool itemContains(const ChartItem& item, ChartPoint p);
// True when the item's box overlaps the rectangle spanned by a and b, edges included.
bool itemOverlaps(const ChartItem& item, ChartPoint a, ChartPoint b);

// Hit tests at a canvas point.
struct PointHit {
  int link = -1;
  int index = -1;  // bend point index, or segment index (the bend point the segment ends at)
  bool found() const { return link >= 0; }
};
// The topmost (highest index) item whose box holds the point, or -1.
int hitItem(const Chart& chart, ChartPoint p);
// A bend point within the tolerance, links searched from the highest index down; links whose
// origin names no item are skipped, as they are not drawn.
PointHit hitBendPoint(const Chart& chart, ChartPoint p);
// A segment whose middle lies within the tolerance, links searched from index 0 up.
PointHit hitSegment(const Chart& chart, ChartPoint p);

}  // namespace pvrj
