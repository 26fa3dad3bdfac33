// The chart model: item and link lists with the operations the editors, files and compiler use.
#include "chart/Chart.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <string_view>
#include <unordered_set>

namespace pvrj {
namespace {

struct ClassRange {
  std::uint16_t first;
  std::uint16_t last;
  std::uint8_t cls;
  std::uint16_t base;
};

// The word classes in ascending word order; words in no range are class 255.
constexpr ClassRange kClassRanges[] = {
    {0, 0, 0, 0},
    {1, 32773, 1, 1},
    {32774, 32774, 2, 32774},
    {32775, 32902, 3, 32775},
    {32903, 33030, 4, 32903},
    {33031, 33286, 5, 33031},
    {33287, 33542, 6, 33287},
    {33543, 33798, 7, 33543},
    {35846, 36101, 9, 35846},
    {36102, 36357, 10, 36102},
    {36358, 36613, 11, 36358},
    {36614, 36869, 12, 36614},
    {36870, 37125, 13, 36870},
    {37126, 37381, 14, 37126},
    {37382, 37637, 15, 37382},
    {37638, 37893, 16, 37638},
    {37894, 38149, 17, 37894},
    {38150, 38405, 18, 38150},
    {38406, 38661, 19, 38406},
    {38662, 38917, 20, 38662},
    {38918, 39173, 21, 38918},
    {39174, 39429, 22, 39174},
    {39430, 39685, 34, 39430},
    {39686, 39941, 35, 39686},
    {39942, 57348, 8, 39942},
    {64496, 64497, 33, 64496},
    {64498, 64499, 32, 64498},
    {64500, 64755, 23, 64500},
    {64756, 65011, 24, 64756},
    {65012, 65267, 25, 65012},
    {65268, 65268, 26, 65268},
    {65269, 65269, 27, 65268},  // classes 27 and 28 share the base of class 26
    {65270, 65270, 28, 65268},
    {65271, 65526, 29, 65271},
    {65527, 65534, 30, 65527},
    {65535, 65535, 31, 65535},
};

constexpr int kColumnStepY = 40;
constexpr int kColumnStepX = 70;
constexpr int kColumnBottomMargin = 30;

bool validIndex(int index, std::size_t size) {
  return index >= 0 && static_cast<std::size_t>(index) < size;
}

// The range of every word, found once: the compiler and the read-back split every word of every
// record.
constexpr std::uint8_t kNoRange = 0xFF;

const std::array<std::uint8_t, 65536>& rangeOfWord() {
  static const auto table = [] {
    std::array<std::uint8_t, 65536> t;
    t.fill(kNoRange);
    for (std::size_t r = 0; r < std::size(kClassRanges); ++r)
      for (std::uint32_t w = kClassRanges[r].first; w <= kClassRanges[r].last; ++w)
        t[w] = static_cast<std::uint8_t>(r);
    return t;
  }();
  return table;
}

}  // namespace

WordClass splitWord(std::uint16_t word) {
  const std::uint8_t r = rangeOfWord()[word];
  if (r == kNoRange) return {255, word + 1, -1};
  const ClassRange& range = kClassRanges[r];
  return {range.cls, range.base, word - range.base};
}

int classify(std::uint16_t word) {
  return splitWord(word).cls;
}

int commonBase(const PrmWordArray& words, int& lastOffset) {
  WordClass first = splitWord(words[0]);
  lastOffset = first.offset;
  for (std::size_t i = 1; i < words.size(); ++i) {
    WordClass w = splitWord(words[i]);
    if (w.base != first.base) {
      lastOffset = 0;
      return 0;
    }
    lastOffset = w.offset;
  }
  return first.base;
}

int commonBase(const PrmWordArray& words) {
  int offset = 0;
  return commonBase(words, offset);
}

ChartPoint ColumnPlacer::placeInColumns(std::int32_t canvasHeight) {
  ChartPoint here{x, y};
  y += kColumnStepY;
  if (static_cast<std::int64_t>(canvasHeight) - kColumnBottomMargin < y) {
    y = kColumnTop;
    x += kColumnStepX;
  }
  return here;
}

const char* itemNamePrefix(int kind) {
  switch (kind) {
    case kItemPos:
      return "POS";
    case kItemSet:
      return "SET";
    case kItemCmp:
      return "CMP";
    case kItemMot:
      return "MOT";
    default:
      return "ITEM";
  }
}

std::uint8_t defaultPrmByte(int kind) {
  return kind == kItemPos ? 100 : 1;
}

std::uint16_t defaultPrmWord(int kind) {
  switch (kind) {
    case kItemSet:
      return 32774;
    case kItemCmp:
      return 33543;
    default:
      return 0;
  }
}

ChartPoint itemCentre(const ChartItem& item) {
  return {item.Left + item.Width / 2, item.Top + item.Height / 2};
}

std::uint64_t ChartGeneration::next() noexcept {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}

void Chart::clear() {
  items.clear();
  links.clear();
  Start = -1;
  clipboard.clear();
  generation.renew();
}

int Chart::appendItems(int n) {
  for (auto& item : items) item.Selected = false;
  int first = itemCount();
  if (n > 0) items.resize(items.size() + static_cast<std::size_t>(n));
  return first;
}

int Chart::appendLinks(int n) {
  for (auto& link : links) link.Selected = false;
  int first = linkCount();
  if (n > 0) links.resize(links.size() + static_cast<std::size_t>(n));
  return first;
}

ChartItem defaultItem(int kind, std::int32_t left, std::int32_t top) {
  ChartItem item;
  item.Left = left;
  item.Top = top;
  item.Width = kDefaultItemWidth;
  item.Height = kDefaultItemHeight;
  item.Color = kWhite;
  item.Type = static_cast<std::uint8_t>(kind);
  item.PrmByte = defaultPrmByte(kind);
  item.PrmWords.fill(defaultPrmWord(kind));
  return item;
}

int Chart::createItem(int kind, std::int32_t x, std::int32_t y) {
  const std::uint8_t needed = kind == kItemMot ? kScenarioChart : kMotionChart;
  if (items.empty()) {
    Type = needed;
  } else if (Type != needed) {
    return -1;
  }
  int index = appendItems(1);
  ChartItem& item = items[static_cast<std::size_t>(index)];
  item = defaultItem(kind, x, y);
  item.Name = uniqueItemName(kind);
  return index;
}

std::string Chart::uniqueItemName(int kind) const {
  const std::string prefix = itemNamePrefix(kind);
  if (items.size() <= 1) return prefix + "1";
  // Collect the numbers already taken, so naming stays linear in large charts.
  std::unordered_set<std::string_view> taken;
  for (const auto& item : items)
    if (item.Name.size() > prefix.size() && item.Name.compare(0, prefix.size(), prefix) == 0)
      taken.insert(item.Name);
  for (std::size_t n = 1;; ++n) {
    std::string candidate = prefix + std::to_string(n);
    if (!taken.count(candidate)) return candidate;
  }
}

int Chart::findLink(std::int32_t origin, std::int32_t final) const {
  for (std::size_t i = 0; i < links.size(); ++i)
    if (links[i].Origin == origin && links[i].Final == final) return static_cast<int>(i);
  return -1;
}

void Chart::deleteSelected() {
  // New index of every old item, -1 for a dropped one. Renumbering in one pass through this map
  // gives the same result as walking the items one by one.
  std::vector<std::int32_t> newIndex(items.size(), -1);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].Selected) continue;
    newIndex[i] = static_cast<std::int32_t>(kept);
    if (kept != i) items[kept] = std::move(items[i]);
    ++kept;
  }
  items.resize(kept);
  for (auto& item : items) item.Selected = false;

  if (validIndex(Start, newIndex.size())) Start = newIndex[static_cast<std::size_t>(Start)];

  for (auto& link : links) {
    bool touchesDropped = false;
    for (std::int32_t* end : {&link.Origin, &link.Final}) {
      if (!validIndex(*end, newIndex.size())) continue;
      std::int32_t mapped = newIndex[static_cast<std::size_t>(*end)];
      if (mapped < 0) touchesDropped = true;
      *end = mapped;
    }
    if (touchesDropped) {
      link.Selected = true;
      link.Origin = -1;
      link.Final = -1;
    }
  }
  std::erase_if(links, [](const ChartLink& l) { return l.Selected; });
  for (auto& link : links) link.Selected = false;
}

void Chart::reverseLink(int link) {
  if (!validIndex(link, links.size())) return;
  ChartLink& l = links[static_cast<std::size_t>(link)];
  std::swap(l.Origin, l.Final);
  std::reverse(l.Point.begin(), l.Point.end());
}

void Chart::insertBendPoint(int link, int position, ChartPoint p) {
  if (!validIndex(link, links.size())) return;
  auto& points = links[static_cast<std::size_t>(link)].Point;
  std::size_t at = position < 0 ? 0 : std::min(static_cast<std::size_t>(position), points.size());
  points.insert(points.begin() + static_cast<std::ptrdiff_t>(at), p);
}

void Chart::deleteBendPoint(int link, int position) {
  if (!validIndex(link, links.size())) return;
  auto& points = links[static_cast<std::size_t>(link)].Point;
  if (!validIndex(position, points.size())) return;
  points.erase(points.begin() + position);
}

void Chart::deselectAll() {
  for (auto& item : items) item.Selected = false;
  for (auto& link : links) link.Selected = false;
}

void Chart::selectAll() {
  for (auto& item : items) item.Selected = true;
}

int Chart::selectedItemCount() const {
  return static_cast<int>(
      std::count_if(items.begin(), items.end(), [](const ChartItem& i) { return i.Selected; }));
}

int Chart::selectedLinkCount() const {
  return static_cast<int>(
      std::count_if(links.begin(), links.end(), [](const ChartLink& l) { return l.Selected; }));
}

int Chart::commonBase(int item) const {
  if (!validItem(item)) return 0;
  return pvrj::commonBase(items[static_cast<std::size_t>(item)].PrmWords);
}

}  // namespace pvrj
