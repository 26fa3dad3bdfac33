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
  // The same at a scale other than 1 (a zoom, a screen of more than one pixel per point): the
  // image holds the canvas scaled, `area` is in the image's pixels, and everything is drawn at the
  // image's resolution. At scale 1 this is paint().
  void paintScaled(QImage& image, const QRect& area, const Chart& chart, const ChartEditor* editor,
                   double scale);
  // Forgets every cached face (the palette or font changed).
  void clearCache();

 private:
  struct Cache;
  QImage scaledFace(const QFont& font, const ChartItem& item, bool plain, std::uint32_t fill,
                    std::uint32_t text, double scale);
  bool caching_ = true;
  std::unique_ptr<Cache> cache_;
};

// The zoom range and the steps Ctrl+wheel and Ctrl+plus/minus go through.
inline constexpr double kMinZoom = 0.25;
inline constexpr double kMaxZoom = 4.0;
inline constexpr int kZoomStepsPercent[] = {25,  33,  50,  67,  75,  90,  100, 110,
                                            125, 150, 175, 200, 250, 300, 400};

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

  // Zoom: 1 is the chart pixel for pixel. Mouse positions are taken back to chart coordinates, so
  // every rule works the same at any zoom. anchor, in the canvas's own coordinates, is the point
  // that stays under the mouse when the canvas sits in a scroll area.
  double zoom() const { return zoom_; }
  void setZoom(double zoom, std::optional<QPointF> anchor = std::nullopt);
  // The next step up or down (kZoomStepsPercent), and 100 %.
  void zoomIn(std::optional<QPointF> anchor = std::nullopt);
  void zoomOut(std::optional<QPointF> anchor = std::nullopt);
  // The zoom at which the whole canvas fits the given room (within the zoom range).
  double fitZoom(QSize room) const;
  // The chart point under a position in the canvas's own coordinates.
  ChartPoint toChart(QPointF position) const;
  // Pixels of the image per chart pixel: the zoom times the screen's pixels per point.
  double imageScale() const { return imageScale_; }
  // The screen's pixels per point; tests may set it, otherwise the widget's.
  std::function<double()> devicePixelRatioSource;

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
  // Before a mouse press acts and after every action that may have changed the chart: the
  // moments at which a change is recorded for undo.
  void editBoundary();
  void zoomChanged(double zoom);
  void toolModeChanged(int mode);          // the editor changed the tool itself
  void itemEditorRequested(int item);      // double click on a POS/SET/CMP item
  void chartDataRequested();               // double click on empty canvas
  void itemPropertiesRequested(int item);  // "プロパティ"
  void conversionRequested();              // "変換"

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void buildMenu();
  // Repaints the part of the image the user can see now; the rest waits until it is shown.
  void paintVisible();
  void ensurePainted(const QRect& area) const;
  QRect visibleArea() const;
  // A rectangle of the widget in image pixels, and the image scale the widget needs now.
  QRect toImage(const QRect& widgetRect) const;
  double wantedImageScale() const;
  void paintImage(const QRect& area) const;
  bool acceptsDrag(const QMimeData* mime) const;

  Chart& chart_;
  UserInterface& ui_;
  ChartEditor editor_;
  std::unique_ptr<ChartPainter> painter_;
  mutable QImage image_;
  mutable QRect valid_;  // the part of image_ that shows the current chart
  double zoom_ = 1.0;
  double imageScale_ = 1.0;
  int wheelAngle_ = 0;  // wheel turn not yet a whole notch
};

}  // namespace pvrj
