// The chart document: items, links, header fields and the model operations every window uses.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/BoardFacts.h"

namespace pvrj {

// Item kinds (ChartItem::Type).
enum ItemKind : std::uint8_t { kItemPos = 0, kItemSet = 1, kItemCmp = 2, kItemMot = 7 };
// Chart types (Chart::Type).
enum ChartType : std::uint8_t { kMotionChart = 0, kScenarioChart = 7 };

// An item holds one word per board channel.
inline constexpr int kChannelCount = kBoardChannels;
inline constexpr std::uint32_t kAllChannels = 0xFFFFFF;
inline constexpr std::int32_t kDefaultCtrl = 0xFFFF;
inline constexpr const char* kDefaultChartName = "無題";
inline constexpr int kDefaultItemWidth = 50;
inline constexpr int kDefaultItemHeight = 30;
inline constexpr std::uint32_t kWhite = 16777215;
inline constexpr std::uint32_t kButtonFaceColor = 0x8000000F;

using PrmWordArray = std::array<std::uint16_t, kChannelCount>;

struct ChartPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const ChartPoint&, const ChartPoint&) = default;
};

struct ChartItem {
  bool Selected = false;
  std::string Name;  // UTF-8 inside the program
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::uint32_t Color = 0;
  std::uint8_t Type = 0;
  std::uint8_t PrmByte = 0;
  PrmWordArray PrmWords{};
};

struct ChartLink {
  bool Selected = false;
  std::uint8_t Main = 0;  // 0 connection line; any other value a branch line
  std::int32_t Origin = 0;
  std::int32_t Final = 0;
  std::vector<ChartPoint> Point;  // bend points from Origin to Final
};

// A word's class and base; offset = word - base.
struct WordClass {
  int cls = 255;
  int base = 0;
  int offset = 0;
};

// Word classes of a 16-bit parameter word.
int classify(std::uint16_t word);
WordClass splitWord(std::uint16_t word);
// Shared base of 24 words, or 0 when two neighbours differ in base.
int commonBase(const PrmWordArray& words);
// The same, also giving the offset of the last word (0 when there is no shared base).
int commonBase(const PrmWordArray& words, int& lastOffset);

// The running point of the column placement used by imports, starting at the top left.
inline constexpr std::int32_t kColumnLeft = 5;
inline constexpr std::int32_t kColumnTop = 5;
struct ColumnPlacer {
  std::int32_t x = kColumnLeft;
  std::int32_t y = kColumnTop;
  // Returns the point for the current item and advances for a canvas of the given height.
  ChartPoint placeInColumns(std::int32_t canvasHeight);
};

// Default name prefix of an item kind ("POS", "SET", "CMP", "MOT", else "ITEM").
const char* itemNamePrefix(int kind);
// Default PrmByte and PrmWords of an item kind.
std::uint8_t defaultPrmByte(int kind);
std::uint16_t defaultPrmWord(int kind);
// A new, unselected item of this kind at (left, top) with the kind's defaults and no name.
ChartItem defaultItem(int kind, std::int32_t left, std::int32_t top);
// Item centre, halving truncated toward zero.
ChartPoint itemCentre(const ChartItem& item);

struct ChartClipboard {
  std::vector<ChartItem> items;  // Left/Top relative to the reference point
  std::vector<ChartLink> links;  // ends index items; bend points relative to the reference point
  bool empty() const { return items.empty() && links.empty(); }
  void clear() {
    items.clear();
    links.clear();
  }
};

// Tells one content of a chart from the next: clearing a chart or assigning a whole chart to it
// gives a new value, so that state holding item indices (the editor's line in progress, its hits)
// can tell that those indices may now name other items, or none.
class ChartGeneration {
 public:
  ChartGeneration() noexcept : value_(next()) {}
  ChartGeneration(const ChartGeneration&) noexcept : value_(next()) {}
  ChartGeneration& operator=(const ChartGeneration&) noexcept {
    value_ = next();
    return *this;
  }
  void renew() noexcept { value_ = next(); }
  std::uint64_t value() const noexcept { return value_; }

 private:
  static std::uint64_t next() noexcept;
  std::uint64_t value_;
};

class Chart {
 public:
  std::uint8_t Type = kMotionChart;
  std::int32_t Start = -1;
  std::string Name = kDefaultChartName;
  std::uint32_t Port = kAllChannels;
  std::int32_t Ctrl = kDefaultCtrl;
  std::int32_t Width = 640;
  std::int32_t Height = 480;
  std::vector<ChartItem> items;
  std::vector<ChartLink> links;
  ChartClipboard clipboard;
  ChartGeneration generation;

  int itemCount() const { return static_cast<int>(items.size()); }
  int linkCount() const { return static_cast<int>(links.size()); }
  bool validItem(std::int32_t index) const { return index >= 0 && index < itemCount(); }
  bool validLink(std::int32_t index) const { return index >= 0 && index < linkCount(); }

  void clear();
  int appendItems(int n);
  int appendLinks(int n);
  int createItem(int kind, std::int32_t x, std::int32_t y);
  std::string uniqueItemName(int kind) const;
  int findLink(std::int32_t origin, std::int32_t final) const;
  void deleteSelected();
  void reverseLink(int link);
  void insertBendPoint(int link, int position, ChartPoint p);
  void deleteBendPoint(int link, int position);
  void deselectAll();
  void selectAll();
  int selectedItemCount() const;
  int selectedLinkCount() const;
  int commonBase(int item) const;
};

}  // namespace pvrj
