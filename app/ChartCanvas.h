// The chart canvas: paints the chart into an off-screen image and forwards mouse work to the
// editor.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "chart/Chart.h"
#include "chart/ChartEditor.h"
#include "common/UserInterface.h"
#include "ui/Colors.h"

class QMenu;
class QAction;
class QMimeData;

namespace pvrj {

// Drag format of a board motion table row: UTF-8 "slot\tcaption name", e.g. "2\tM3 WALK".
inline constexpr const char* kMotionRowMime = "application/x-pvrj-motion-row";
// Builds and reads that payload.
QByteArray encodeMotionRow(int slot, const QString& caption);
bool decodeMotionRow(const QByteArray& data, int& slot, QString& caption);

// Paints a chart and the editor's rubber band and line in progress onto an image. With caching on
// it reuses item faces, text and arrow heads between calls; the pixels are the same either way.
class ChartPainter {
 public:
  ChartPainter();
  ~ChartPainter();
  ChartPainter(const ChartPainter&) = delete;
  ChartPainter& operator=(const ChartPainter&) = delete;

  void setCaching(bool on);
  bool caching() const { return caching_; }
  // Repaints `area` of the image (clipped to it), which holds the canvas from (0, 0).
  void paint(QImage& image, const QRect& area, const Chart& chart, const ChartEditor* editor);
  // Forgets every cached face (the palette or font changed).
  void clearCache();

 private:
  struct Cache;
  bool caching_ = true;
  std::unique_ptr<Cache> cache_;
};

class ChartCanvas : public QWidget {  // the canvas `Image1` inside the scroll box `ScrollBox1`
  Q_OBJECT
 public:
  ChartCanvas(Chart& chart, UserInterface& ui, QWidget* parent = nullptr);
  ~ChartCanvas() override;

  ChartEditor& editor() { return editor_; }
  // Paints the chart onto the canvas image and shows it.
  void redraw();
  // The last painted image, complete.
  const QImage& image() const;
  // Also sets chart.Width/Height.
  void setCanvasSize(int width, int height);

  // The context menu and its entries, named as the rest of the program knows them.
  QMenu* PopupMenu1;
  QAction* N21;
  QAction* N20;
  QAction* CopyMenu;
  QAction* PasteMenu;
  QAction* MirMenu;
  QAction* N19;
  QMenu* ColorMenu;
  QAction* PropertyMenu;
  QAction* PointAddBtn;
  QAction* PointDelBtn;
  QAction* Separate0;
  QAction* ItemDel;
  QAction* N22;

  // Asks for a colour; empty when cancelled. Tests replace it; the default is the colour dialog.
  std::function<std::optional<std::uint32_t>(std::uint32_t initial)> chooseColor;
  // Whether the context menu really pops up (tests switch it off and read the entries instead).
  bool popupEnabled = true;

  // Menu handlers.
  void N21Click();
  void CopyMenuClick();
  void PasteMenuClick();
  void MirMenuClick();
  void ColorClick(std::uint32_t color);
  void OtherColorClick();
  void PropertyMenuClick();
  void PointAddBtnClick();
  void PointDelBtnClick();
  void ItemDelClick();
  void N22Click();
  // Shows the entries the editor computed for the last right click.
  void updateContextMenu();

 signals:
  void mousePositionChanged(int x, int y);  // grid-snapped
  void toolModeChanged(int mode);           // the editor changed the tool itself
  void itemEditorRequested(int item);       // double click on a POS/SET/CMP item
  void chartDataRequested();                // double click on empty canvas
  void itemPropertiesRequested(int item);   // "プロパティ"
  void conversionRequested();               // "変換"

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void buildMenu();
  // Repaints the part of the image the user can see now; the rest waits until it is shown.
  void paintVisible();
  void ensurePainted(const QRect& area) const;
  QRect visibleArea() const;
  bool acceptsDrag(const QMimeData* mime) const;

  Chart& chart_;
  UserInterface& ui_;
  ChartEditor editor_;
  std::unique_ptr<ChartPainter> painter_;
  mutable QImage image_;
  mutable QRect valid_;  // the part of image_ that shows the current chart
};

}  // namespace pvrj
