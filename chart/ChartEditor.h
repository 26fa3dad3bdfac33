// The chart's editing state and every mouse, key and menu rule of the canvas, free of any toolkit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "chart/ChartGeometry.h"
#include "common/UserInterface.h"

namespace pvrj {

// Tool modes, the tags of the PARTS tool buttons.
enum ToolMode : int {
  kToolIgnoreNext = -1,  // set around the load dialog: the next canvas mouse event only resets it
  kToolSelect = 0,
  kToolPos = 1,
  kToolSet = 2,
  kToolCmp = 3,
  kToolConnection = 4,
  kToolBranch = 5,
  kToolStart = 6,
};

// Mouse buttons and keys held, as the canvas reports them.
enum MouseFlag : unsigned {
  kMouseLeft = 1u << 0,
  kMouseRight = 1u << 1,
  kMouseMiddle = 1u << 2,
  kKeyShift = 1u << 8,
  kKeyCtrl = 1u << 9,
  kKeyAlt = 1u << 10,
};

inline constexpr int kMinGridStep = 2;
inline constexpr const char* kSameOriginMessage = "始点と終点が同一の線は作成できません";
// The status line's word when a place tool clicks into a scenario chart, which holds motions only.
inline constexpr const char* kScenarioPlaceMessage =
    "シナリオチャートには POS・SET・CMP を置けません（モーションはテーブルからドラッグします）";
// Room beside a motion item's name, as the read-back leaves it.
inline constexpr int kMotionNamePadding = 20;

// Which entries of the canvas context menu are shown, and whether "プロパティ" is enabled.
struct ContextMenuState {
  bool copy = false;
  bool paste = false;
  bool conversion = false;
  bool separate0 = false;
  bool remove = false;
  bool color = false;
  bool property = false;
  bool propertyEnabled = false;
  bool pointAdd = false;
  bool pointDelete = false;
};

// What a double click asks the windows to open.
struct DoubleClickAction {
  enum Kind { kNothing, kChartData, kItemEditor, kLineReversed } kind = kNothing;
  int item = -1;
};

// One colour of the colour sub-menu.
struct MenuColor {
  const char* caption;
  std::uint32_t color;
};
// The fixed colours of the sub-menu, in menu order; "そのほかの色" follows them.
const std::vector<MenuColor>& menuColors();
inline constexpr const char* kOtherColorCaption = "そのほかの色";

class ChartEditor {
 public:
  ChartEditor(Chart& chart, UserInterface& ui);

  Chart& chart() { return chart_; }
  const Chart& chart() const { return chart_; }

  // Tool modes. setToolMode is a tool button press: it runs the button rules.
  int toolMode() const { return toolMode_; }
  void setToolMode(int mode);
  // Called whenever the editor itself changes the tool (Esc, menu, after placing an item).
  std::function<void(int mode)> onToolModeChanged;

  // Grid snapping; steps below 2 become 2.
  void setGrid(bool on, int stepX, int stepY);
  bool gridOn() const { return gridOn_; }
  int gridStepX() const { return gridStepX_; }
  int gridStepY() const { return gridStepY_; }
  // The point after snapping (unchanged when the grid is off).
  ChartPoint snap(ChartPoint p) const;

  // Mouse events with raw canvas coordinates; flags are MouseFlag bits held during the event.
  // mouseDown returns true when the context menu should open (see contextMenu()).
  bool mouseDown(unsigned button, ChartPoint raw, unsigned flags);
  void mouseMove(ChartPoint raw, unsigned flags);
  void mouseUp(unsigned button, ChartPoint raw, unsigned flags);
  // The double click that follows a mouse-down; acts on that mouse-down's hits in select mode.
  DoubleClickAction doubleClick();

  // Keys.
  void escapeKey();
  void deleteKey();
  void copy();
  void paste();  // at the last mouse position

  // Context menu: entries shown for the last right click, and their actions.
  const ContextMenuState& contextMenu() const { return menu_; }
  void deselectTool();                         // "選択解除"
  void selectAllItems();                       // "全選択"
  void deleteFromMenu();                       // "削除"
  void addBendPoint();                         // "折れ目の追加"
  void deleteBendPoint();                      // "折れ目の削除"
  void setSelectedColor(std::uint32_t color);  // a colour of the sub-menu
  std::vector<int> selectedItems() const;      // in index order, for the colour chooser
  // The item under the mouse-down point for "プロパティ", or -1.
  int propertyItem() const;

  // Motion-table drops: rows 0..79 are accepted; the item is placed unsnapped.
  static bool acceptsMotionRow(int row);
  // Returns the new item's index, or -1 when refused. With textWidth set, the item is made as wide
  // as its name plus kMotionNamePadding, so the name shows whole.
  int dropMotion(int row, const std::string& caption, ChartPoint point);
  // Width of a text in the canvas font, in pixels; empty keeps the default item width.
  std::function<int(const std::string& text)> textWidth;

  // When the chart was cleared or replaced as a whole since the editor last looked, ends the line
  // in progress and forgets the hits and the rubber band, whose indices named the old items. Every
  // mouse, key and menu action does this first; the canvas also before it draws.
  void followChart();
  // False while the editing state still belongs to a chart since replaced.
  bool followsChart() const { return generation_ == chart_.generation.value(); }

  // State the drawing reads.
  bool rubberBand() const { return rubberBand_; }
  bool lineDrawing() const { return lineDrawing_; }
  int lineOrigin() const { return lineOrigin_; }
  const std::vector<ChartPoint>& linePoints() const { return linePoints_; }
  ChartPoint mouseDownPoint() const { return downPoint_; }
  ChartPoint currentPoint() const { return currentPoint_; }
  ChartPoint lastMousePosition() const { return lastMouse_; }
  int hitItemIndex() const { return hitItem_; }
  PointHit hitBend() const { return hitBend_; }
  PointHit hitSegmentOf() const { return hitSegment_; }

 private:
  void changeToolMode(int mode);  // an editor-made change, reported through onToolModeChanged
  void runHitTests(ChartPoint p);
  int hitLink() const;
  void selectOnly(int item);
  void selectLineOnly(int link);
  void selectDown(ChartPoint p, unsigned flags);
  void lineClick(ChartPoint p);
  void dragStep(ChartPoint p);
  void rubberBandSelect(ChartPoint p);
  void moveSelection(int dx, int dy);
  void openContextMenu(ChartPoint p);
  void abandonLine();
  void forgetHits();
  // Mode -1 ends on any mouse event, which then acts on nothing.
  void endIgnoreMode(ChartPoint p);

  Chart& chart_;
  UserInterface& ui_;
  int toolMode_ = kToolSelect;
  bool gridOn_ = false;
  int gridStepX_ = 10;
  int gridStepY_ = 10;
  ChartPoint downPoint_;
  ChartPoint currentPoint_;
  ChartPoint lastMouse_;
  int hitItem_ = -1;
  PointHit hitBend_;
  PointHit hitSegment_;
  bool rubberBand_ = false;
  bool lineDrawing_ = false;
  int lineOrigin_ = -1;
  std::vector<ChartPoint> linePoints_;
  ContextMenuState menu_;
  std::uint64_t generation_;
};

}  // namespace pvrj
