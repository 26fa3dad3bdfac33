// The chart's editing state and its mouse, key and menu rules.
#include "chart/ChartEditor.h"

#include <algorithm>
#include <limits>

#include "common/Numbers.h"

namespace pvrj {

const std::vector<MenuColor>& menuColors() {
  static const std::vector<MenuColor> colors = {
      {"標準色", kSysButtonFaceColor},
      {"白", 16777215},
      {"灰色", 12632256},
      {"濃い灰色", 8421504},
      {"黒", 0},
      {"茶色", 128},
      {"桃色", 16711935},
      {"赤", 255},
      {"紫", 8388736},
      {"藍色", 8388608},
      {"青", 16711680},
      {"青緑", 8421376},
      {"黄緑", 65280},
      {"緑", 32768},
      {"黄", 65535},
      {"水色", 16776960},
      {"黄土", 32896},
  };
  return colors;
}

ChartEditor::ChartEditor(Chart& chart, UserInterface& ui)
    : chart_(chart), ui_(ui), generation_(chart.generation.value()) {}

void ChartEditor::followChart() {
  if (followsChart()) return;
  generation_ = chart_.generation.value();
  abandonLine();
  forgetHits();
  rubberBand_ = false;
  menu_ = ContextMenuState{};
}

void ChartEditor::forgetHits() {
  hitItem_ = -1;
  hitBend_ = {};
  hitSegment_ = {};
}

void ChartEditor::endIgnoreMode(ChartPoint p) {
  // Hits of a click before the load dialog would otherwise let the next drag move the new,
  // selected items by the distance to that old click.
  forgetHits();
  rubberBand_ = false;
  currentPoint_ = p;
  changeToolMode(kToolSelect);
}

void ChartEditor::setToolMode(int mode) {
  followChart();
  toolMode_ = mode;
  // Any tool button ends a line being drawn.
  abandonLine();
  if (mode == kToolSelect || mode == kToolStart) {
    lineDrawing_ = false;
    chart_.deselectAll();
  } else if (mode == kToolConnection || mode == kToolBranch) {
    lineDrawing_ = true;
  }
}

void ChartEditor::changeToolMode(int mode) {
  toolMode_ = mode;
  if (onToolModeChanged) onToolModeChanged(mode);
}

void ChartEditor::setGrid(bool on, int stepX, int stepY) {
  gridOn_ = on;
  gridStepX_ = std::max(stepX, kMinGridStep);
  gridStepY_ = std::max(stepY, kMinGridStep);
}

ChartPoint ChartEditor::snap(ChartPoint p) const {
  return gridOn_ ? snapToGrid(p, gridStepX_, gridStepY_) : p;
}

void ChartEditor::runHitTests(ChartPoint p) {
  hitItem_ = hitItem(chart_, p);
  hitBend_ = hitBendPoint(chart_, p);
  hitSegment_ = hitBend_.found() ? PointHit{} : hitSegment(chart_, p);
}

int ChartEditor::hitLink() const {
  if (hitItem_ >= 0) return -1;  // an item always takes precedence over lines
  if (hitBend_.found()) return hitBend_.link;
  return hitSegment_.link;
}

void ChartEditor::selectOnly(int item) {
  chart_.deselectAll();
  chart_.items[at(item)].Selected = true;
}

void ChartEditor::selectLineOnly(int link) {
  chart_.deselectAll();
  chart_.links[at(link)].Selected = true;
}

void ChartEditor::abandonLine() {
  lineOrigin_ = -1;
  linePoints_.clear();
}

bool ChartEditor::mouseDown(unsigned button, ChartPoint raw, unsigned flags) {
  followChart();
  const ChartPoint p = snap(raw);
  if (toolMode_ == kToolIgnoreNext) {
    endIgnoreMode(p);
    return false;
  }
  if (button == kMouseRight) {
    if (toolMode_ >= kToolSelect && toolMode_ <= kToolCmp) {
      openContextMenu(p);
      return true;
    }
    if (toolMode_ == kToolConnection || toolMode_ == kToolBranch) abandonLine();
    return false;
  }
  if (button != kMouseLeft) return false;
  if (toolMode_ != kToolSelect) {
    // Hits belong to select-mode clicks; a drag that follows a click in another mode moves nothing.
    forgetHits();
    rubberBand_ = false;
  }
  switch (toolMode_) {
    case kToolSelect:
      selectDown(p, flags);
      break;
    case kToolPos:
    case kToolSet:
    case kToolCmp:
      if (chart_.createItem(toolMode_ - kToolPos + kItemPos, p.x, p.y) < 0 &&
          chart_.Type == kScenarioChart) {
        ui_.showStatus(kScenarioPlaceMessage);
      }
      changeToolMode(kToolSelect);
      break;
    case kToolConnection:
    case kToolBranch:
      lineClick(p);
      break;
    case kToolStart:
      chart_.Start = hitItem(chart_, p);
      chart_.deselectAll();
      break;
    default:
      break;
  }
  return false;
}

void ChartEditor::selectDown(ChartPoint p, unsigned flags) {
  rubberBand_ = false;
  downPoint_ = p;
  currentPoint_ = p;
  runHitTests(p);
  // Shift+click: the Shift key with the left button and no other key or button.
  const unsigned others = kMouseRight | kMouseMiddle | kKeyCtrl | kKeyAlt;
  const bool shift = (flags & kKeyShift) != 0 && (flags & others) == 0;
  if (hitItem_ >= 0) {
    ChartItem& item = chart_.items[at(hitItem_)];
    if (shift) {
      item.Selected = !item.Selected;
    } else if (!item.Selected) {
      selectOnly(hitItem_);
    }
    if (gridOn_) {
      const ChartPoint snapped = snap({item.Left, item.Top});
      item.Left = snapped.x;
      item.Top = snapped.y;
    }
    return;
  }
  const int link = hitLink();
  if (link >= 0) {
    ChartLink& line = chart_.links[at(link)];
    if (shift) {
      line.Selected = !line.Selected;
    } else if (!line.Selected) {
      selectLineOnly(link);
    }
    if (gridOn_) {
      for (auto& point : line.Point) point = snap(point);
    }
    return;
  }
  if (!shift) {
    chart_.deselectAll();
    rubberBand_ = true;
  }
}

void ChartEditor::lineClick(ChartPoint p) {
  const int kind = toolMode_ == kToolBranch ? 1 : 0;
  const int item = hitItem(chart_, p);
  // An origin the items no longer hold ends the line; this click may begin the next one.
  if (lineOrigin_ >= 0 && !chart_.validItem(lineOrigin_)) abandonLine();
  if (lineOrigin_ < 0) {
    if (item < 0) return;
    if (kind != 0 && chart_.items[at(item)].Type != kItemCmp) return;  // branches leave CMP items
    const ChartPoint centre = itemCentre(chart_.items[at(item)]);
    linePoints_.assign(1, centre);
    currentPoint_ = centre;
    lineOrigin_ = item;
    selectOnly(item);
    return;
  }
  if (item < 0) {
    linePoints_.push_back(p);
    return;
  }
  if (item == lineOrigin_) {
    ui_.ShowMessageBox(kMsgError, kBtnOk, kSameOriginMessage);
  } else {
    int link = chart_.findLink(lineOrigin_, item);
    if (link < 0) link = chart_.appendLinks(1);
    ChartLink& line = chart_.links[at(link)];
    line.Selected = false;
    line.Main = static_cast<std::uint8_t>(kind);
    line.Origin = lineOrigin_;
    line.Final = item;
    line.Point.assign(linePoints_.begin() + 1, linePoints_.end());
  }
  abandonLine();
}

void ChartEditor::mouseMove(ChartPoint raw, unsigned flags) {
  followChart();
  const ChartPoint p = snap(raw);
  if (toolMode_ == kToolIgnoreNext) {
    endIgnoreMode(p);
    return;
  }
  lastMouse_ = p;
  const unsigned held =
      flags & (kMouseLeft | kMouseRight | kMouseMiddle | kKeyShift | kKeyCtrl | kKeyAlt);
  const bool lineTool = toolMode_ == kToolConnection || toolMode_ == kToolBranch;
  if (held == 0) {
    if (lineTool) currentPoint_ = p;
  } else if (held == kMouseLeft) {
    if (toolMode_ == kToolSelect) {
      dragStep(p);
    } else if (lineTool) {
      currentPoint_ = p;
    }
  }
}

void ChartEditor::mouseUp(unsigned button, ChartPoint raw, unsigned) {
  followChart();
  if (toolMode_ == kToolIgnoreNext) {
    endIgnoreMode(snap(raw));
    return;
  }
  if (toolMode_ == kToolSelect && button != 0) rubberBand_ = false;
}

void ChartEditor::dragStep(ChartPoint p) {
  const int dx = p.x - currentPoint_.x;
  const int dy = p.y - currentPoint_.y;
  currentPoint_ = p;
  if (hitItem_ < 0 && !hitBend_.found() && !hitSegment_.found()) {
    // Only a drag that began on empty canvas in this mode spans a rubber band.
    if (rubberBand_) rubberBandSelect(p);
    return;
  }
  if (hitItem_ < 0) {
    if (!hitBend_.found() || hitBend_.link >= chart_.linkCount()) return;
    auto& points = chart_.links[at(hitBend_.link)].Point;
    if (at(hitBend_.index) >= points.size()) return;
    ChartPoint& bend = points[at(hitBend_.index)];
    if (bend.x + dx >= 0 && bend.y + dy >= 0) {
      bend.x += dx;
      bend.y += dy;
    }
    return;
  }
  moveSelection(dx, dy);
}

void ChartEditor::rubberBandSelect(ChartPoint p) {
  chart_.deselectAll();
  for (auto& item : chart_.items) {
    if (itemOverlaps(item, downPoint_, p)) item.Selected = true;
  }
  for (auto& link : chart_.links) {
    link.Selected = chart_.validItem(link.Origin) && chart_.validItem(link.Final) &&
                    chart_.items[at(link.Origin)].Selected && chart_.items[at(link.Final)].Selected;
  }
}

void ChartEditor::moveSelection(int dx, int dy) {
  // A step that would take anything past the left or top edge is shortened so that the group
  // stops at the edge together: the whole selection keeps its shape.
  std::int64_t minX = std::numeric_limits<std::int64_t>::max();
  std::int64_t minY = minX;
  bool any = false;
  for (const auto& item : chart_.items) {
    if (!item.Selected) continue;
    minX = std::min<std::int64_t>(minX, item.Left);
    minY = std::min<std::int64_t>(minY, item.Top);
    any = true;
  }
  for (const auto& link : chart_.links) {
    if (!link.Selected) continue;
    for (const auto& point : link.Point) {
      minX = std::min<std::int64_t>(minX, point.x);
      minY = std::min<std::int64_t>(minY, point.y);
      any = true;
    }
  }
  if (!any) return;
  // Anything already left of or above the edge (from a file) neither blocks nor is pushed further.
  if (dx < 0) dx = static_cast<int>(std::max<std::int64_t>(dx, -std::max<std::int64_t>(minX, 0)));
  if (dy < 0) dy = static_cast<int>(std::max<std::int64_t>(dy, -std::max<std::int64_t>(minY, 0)));
  if (dx == 0 && dy == 0) return;
  for (auto& item : chart_.items) {
    if (!item.Selected) continue;
    item.Left += dx;
    item.Top += dy;
  }
  for (auto& link : chart_.links) {
    if (!link.Selected) continue;
    for (auto& point : link.Point) {
      point.x += dx;
      point.y += dy;
    }
  }
}

DoubleClickAction ChartEditor::doubleClick() {
  followChart();
  DoubleClickAction action;
  if (toolMode_ != kToolSelect) return action;
  if (hitItem_ >= 0 && hitItem_ < chart_.itemCount()) {
    const int type = chart_.items[at(hitItem_)].Type;
    if (type == kItemPos || type == kItemSet || type == kItemCmp) {
      action.kind = DoubleClickAction::kItemEditor;
      action.item = hitItem_;
    }
    return action;
  }
  if (hitBend_.found()) return action;
  if (hitSegment_.found()) {
    // A damaged line that names no final item is not turned round: it would lose its origin.
    if (hitSegment_.link < chart_.linkCount() &&
        chart_.validItem(chart_.links[at(hitSegment_.link)].Final)) {
      chart_.reverseLink(hitSegment_.link);
      action.kind = DoubleClickAction::kLineReversed;
    }
    return action;
  }
  action.kind = DoubleClickAction::kChartData;
  return action;
}

void ChartEditor::escapeKey() {
  deselectTool();
}

void ChartEditor::deselectTool() {
  followChart();
  changeToolMode(kToolSelect);
  lineDrawing_ = false;
  abandonLine();
  chart_.deselectAll();
}

void ChartEditor::deleteKey() {
  followChart();
  if (toolMode_ == kToolSelect) chart_.deleteSelected();
  forgetHits();
}

void ChartEditor::deleteFromMenu() {
  deleteKey();
}

void ChartEditor::selectAllItems() {
  chart_.selectAll();
}

void ChartEditor::copy() {
  int reference = -1;
  for (int i = 0; i < chart_.itemCount(); ++i) {
    const ChartItem& item = chart_.items[at(i)];
    if (!item.Selected) continue;
    // A later item replaces the reference only when it lies both left of and above it.
    if (reference < 0 || (item.Left < chart_.items[at(reference)].Left &&
                          item.Top < chart_.items[at(reference)].Top)) {
      reference = i;
    }
  }
  if (reference < 0) return;
  const ChartPoint ref{chart_.items[at(reference)].Left, chart_.items[at(reference)].Top};
  ChartClipboard& clip = chart_.clipboard;
  clip.clear();
  std::vector<int> position(chart_.items.size(), -1);
  for (int i = 0; i < chart_.itemCount(); ++i) {
    const ChartItem& item = chart_.items[at(i)];
    if (!item.Selected) continue;
    position[at(i)] = static_cast<int>(clip.items.size());
    ChartItem copy = item;
    copy.Selected = false;
    copy.Left -= ref.x;
    copy.Top -= ref.y;
    clip.items.push_back(std::move(copy));
  }
  for (const auto& link : chart_.links) {
    if (!link.Selected || !chart_.validItem(link.Origin) || !chart_.validItem(link.Final)) continue;
    const int origin = position[at(link.Origin)];
    const int final = position[at(link.Final)];
    if (origin < 0 || final < 0) continue;
    ChartLink copy;
    copy.Main = link.Main;
    copy.Origin = origin;
    copy.Final = final;
    for (const auto& point : link.Point) copy.Point.push_back({point.x - ref.x, point.y - ref.y});
    clip.links.push_back(std::move(copy));
  }
}

void ChartEditor::paste() {
  const ChartClipboard& clip = chart_.clipboard;
  if (clip.items.empty()) return;
  // Kinds that do not fit the chart (motion items in a scenario chart or the reverse) are refused
  // as a whole, as placing them one by one would be; an empty chart takes the type of the copy.
  const auto typeOf = [](const ChartItem& item) {
    return item.Type == kItemMot ? kScenarioChart : kMotionChart;
  };
  const std::uint8_t copyType = typeOf(clip.items.front());
  for (const auto& item : clip.items) {
    if (typeOf(item) != copyType) return;
  }
  if (chart_.itemCount() > 0 && chart_.Type != copyType) return;
  if (chart_.itemCount() == 0) chart_.Type = copyType;

  chart_.deselectAll();
  const int base = chart_.appendItems(static_cast<int>(clip.items.size()));
  for (std::size_t k = 0; k < clip.items.size(); ++k) {
    ChartItem& item = chart_.items[at(base) + k];
    item = clip.items[k];
    item.Selected = true;
    item.Left += lastMouse_.x;
    item.Top += lastMouse_.y;
  }
  if (clip.links.empty()) return;
  const int linkBase = chart_.appendLinks(static_cast<int>(clip.links.size()));
  for (std::size_t k = 0; k < clip.links.size(); ++k) {
    ChartLink& link = chart_.links[at(linkBase) + k];
    link = clip.links[k];
    link.Selected = true;
    link.Origin += base;
    link.Final += base;
    for (auto& point : link.Point) {
      point.x += lastMouse_.x;
      point.y += lastMouse_.y;
    }
  }
}

void ChartEditor::openContextMenu(ChartPoint p) {
  runHitTests(p);
  downPoint_ = p;
  currentPoint_ = p;
  menu_ = ContextMenuState{};
  const int link = hitLink();
  if (hitItem_ >= 0) {
    if (!chart_.items[at(hitItem_)].Selected) selectOnly(hitItem_);
    menu_.copy = menu_.paste = menu_.conversion = true;
    menu_.separate0 = menu_.remove = menu_.color = menu_.property = true;
    menu_.propertyEnabled = chart_.selectedItemCount() == 1;
  } else if (link >= 0) {
    if (!chart_.links[at(link)].Selected) selectLineOnly(link);
    if (hitBend_.found()) {
      menu_.pointDelete = true;
    } else {
      menu_.remove = true;
      menu_.pointAdd = true;
    }
  } else {
    menu_.copy = menu_.paste = menu_.conversion = true;
  }
}

void ChartEditor::addBendPoint() {
  followChart();
  if (hitItem_ >= 0 || !hitSegment_.found() || hitSegment_.link >= chart_.linkCount()) return;
  const auto& points = chart_.links[at(hitSegment_.link)].Point;
  if (at(hitSegment_.index) > points.size()) return;
  chart_.insertBendPoint(hitSegment_.link, hitSegment_.index, downPoint_);
  hitSegment_ = {};
}

void ChartEditor::deleteBendPoint() {
  followChart();
  if (hitItem_ >= 0 || !hitBend_.found() || hitBend_.link >= chart_.linkCount()) return;
  if (at(hitBend_.index) >= chart_.links[at(hitBend_.link)].Point.size()) return;
  chart_.deleteBendPoint(hitBend_.link, hitBend_.index);
  hitBend_ = {};
}

void ChartEditor::setSelectedColor(std::uint32_t color) {
  for (auto& item : chart_.items) {
    if (item.Selected) item.Color = color;
  }
  chart_.deselectAll();
}

std::vector<int> ChartEditor::selectedItems() const {
  std::vector<int> result;
  for (int i = 0; i < chart_.itemCount(); ++i) {
    if (chart_.items[at(i)].Selected) result.push_back(i);
  }
  return result;
}

int ChartEditor::propertyItem() const {
  return hitItem(chart_, downPoint_);
}

bool ChartEditor::acceptsMotionRow(int row) {
  return row >= 0 && row < kMotionSlots;  // rows 0..79 of the board table are motions
}

int ChartEditor::dropMotion(int row, const std::string& caption, ChartPoint point) {
  if (!acceptsMotionRow(row)) return -1;
  followChart();
  const int item = chart_.createItem(kItemMot, point.x, point.y);
  if (item < 0) return -1;
  ChartItem& placed = chart_.items[static_cast<std::size_t>(item)];
  placed.PrmByte = static_cast<std::uint8_t>(row);
  placed.Name = caption;
  if (textWidth) placed.Width = textWidth(caption) + kMotionNamePadding;
  return item;
}

}  // namespace pvrj
