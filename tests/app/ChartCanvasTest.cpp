// Tests of the chart canvas: what the painted picture shows, and the mouse, menu and drop wiring.
#include <QApplication>
#include <QFontMetrics>
#include <QMenu>
#include <QMimeData>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include "QtTestRunner.h"
#include "app/ChartCanvas.h"
#include "tests/support/FakeUserInterface.h"

namespace pvrj {
namespace {

QColor rgbOf(std::uint32_t c) {
  return QColor(redOf(c), greenOf(c), blueOf(c));
}

QColor pixel(const QImage& image, int x, int y) {
  return QColor(image.pixel(x, y));
}

QColor highlight() {
  return QApplication::palette().color(QPalette::Highlight);
}
QColor background() {
  return QApplication::palette().color(QPalette::Base);
}

int countPixels(const QImage& image, const QRect& area, const QColor& color) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (QColor(image.pixel(x, y)) == color) ++n;
    }
  }
  return n;
}

// Where two pictures first differ, for the failure message; empty when they are equal.
QString difference(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return QStringLiteral("sizes differ");
  int count = 0;
  QString first;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) == b.pixel(x, y)) continue;
      if (count++ == 0) {
        first = QStringLiteral("(%1, %2): %3 vs %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16)
                    .arg(b.pixel(x, y), 8, 16);
      }
    }
  }
  return count == 0 ? QString()
                    : QStringLiteral("%1 pixels differ, first at %2").arg(count).arg(first);
}

int addItem(Chart& chart, int kind, int x, int y, std::uint32_t color = kWhite) {
  const int i = chart.createItem(kind, x, y);
  if (i < 0) qFatal("item refused");
  chart.items[static_cast<std::size_t>(i)].Color = color;
  return i;
}

// An item of any kind, whatever the chart's type (as a loaded file may hold).
int rawItem(Chart& chart, int kind, int x, int y, std::uint32_t color) {
  const int i = chart.appendItems(1);
  ChartItem& item = chart.items[static_cast<std::size_t>(i)];
  item.Type = static_cast<std::uint8_t>(kind);
  item.Left = x;
  item.Top = y;
  item.Width = kDefaultItemWidth;
  item.Height = kDefaultItemHeight;
  item.Color = color;
  return i;
}

int addLink(Chart& chart, int origin, int final, std::vector<ChartPoint> points = {},
            int main = 0) {
  const int l = chart.appendLinks(1);
  chart.links[static_cast<std::size_t>(l)].Origin = origin;
  chart.links[static_cast<std::size_t>(l)].Final = final;
  chart.links[static_cast<std::size_t>(l)].Point = std::move(points);
  chart.links[static_cast<std::size_t>(l)].Main = static_cast<std::uint8_t>(main);
  return l;
}

// A busy chart: overlapping items of every kind and colour, lines of both kinds with bend points.
void fillRandomChart(Chart& chart, quint32 seed, int items, int links) {
  QRandomGenerator rng(seed);
  const std::uint32_t colors[] = {kWhite, 0, 255, 65280, 8421504, kSysButtonFaceColor, 32896};
  for (int i = 0; i < items; ++i) {
    const int idx = chart.appendItems(1);
    ChartItem& item = chart.items[static_cast<std::size_t>(idx)];
    item.Left = rng.bounded(-20, 600);
    item.Top = rng.bounded(-20, 440);
    item.Width = rng.bounded(20, 90);
    item.Height = rng.bounded(20, 50);
    item.Type = static_cast<std::uint8_t>(rng.bounded(4) == 3 ? kItemMot : rng.bounded(3));
    item.Color = colors[rng.bounded(7)];
    item.Name = (rng.bounded(5) == 0 ? "A rather long item name " : "POS") + std::to_string(i);
    item.Selected = rng.bounded(4) == 0;
  }
  for (int k = 0; k < links; ++k) {
    std::vector<ChartPoint> points;
    const int bends = static_cast<int>(rng.bounded(3));
    for (int b = 0; b < bends; ++b) points.push_back({rng.bounded(0, 640), rng.bounded(0, 480)});
    const int l = addLink(chart, rng.bounded(items), rng.bounded(items), points, rng.bounded(2));
    chart.links[static_cast<std::size_t>(l)].Selected = rng.bounded(3) == 0;
  }
  chart.Start = rng.bounded(items);
}

}  // namespace

class ChartCanvasTest : public QObject {
  Q_OBJECT

 private:
  Chart chart;
  test::FakeUserInterface ui;
  std::unique_ptr<ChartCanvas> canvas;

 private slots:
  void init() {
    chart = Chart();
    ui = test::FakeUserInterface();
    canvas = std::make_unique<ChartCanvas>(chart, ui);
    canvas->popupEnabled = false;
  }
  void cleanup() { canvas.reset(); }

  void imageHasTheCanvasSize() {
    canvas->setCanvasSize(300, 200);
    QCOMPARE(chart.Width, 300);
    QCOMPARE(chart.Height, 200);
    QCOMPARE(canvas->image().size(), QSize(300, 200));
    QCOMPARE(canvas->size(), QSize(300, 200));
    QCOMPARE(pixel(canvas->image(), 150, 100), background());
  }

  void hugeCanvasSizeFromAFileIsBounded() {
    chart.Width = 1000000;
    chart.Height = -5;
    canvas->redraw();
    QVERIFY(canvas->image().width() <= 8000);
    QCOMPARE(canvas->image().height(), 1);
  }

  void arrowHeadSitsAtTheSegmentMiddle() {
    addItem(chart, kItemPos, 0, 100, 65280);  // green origin: centre (25, 115)
    addItem(chart, kItemPos, 200, 100);       // centre (225, 115)
    addLink(chart, 0, 1);
    canvas->redraw();
    const QImage& image = canvas->image();
    // Middle (125, 115): triangle (120, 120), (120, 110), (129, 115), filled with the origin
    // colour.
    QCOMPARE(pixel(image, 122, 115), QColor(0, 255, 0));
    QCOMPARE(pixel(image, 121, 113), QColor(0, 255, 0));
    QCOMPARE(pixel(image, 120, 119), rgbOf(kGrey));  // outline
    QCOMPARE(pixel(image, 120, 121), background());
    QCOMPARE(pixel(image, 130, 115), rgbOf(kGrey));  // the line just past the tip
    QCOMPARE(pixel(image, 90, 115), rgbOf(kGrey));
    QCOMPARE(pixel(image, 90, 116), background());
    // Exactly one arrow head: no fill colour anywhere else on the line.
    QCOMPARE(countPixels(image, QRect(50, 105, 150, 21), QColor(0, 255, 0)),
             countPixels(image, QRect(115, 105, 20, 21), QColor(0, 255, 0)));
  }

  void lineWithTwoBendPointsHasThreeArrowHeads() {
    addItem(chart, kItemPos, 0, 0, 255);  // centre (25, 15)
    addItem(chart, kItemPos, 300, 0);     // centre (325, 15)
    addLink(chart, 0, 1, {{25, 215}, {325, 215}});
    canvas->redraw();
    const QImage& image = canvas->image();
    const QColor red(255, 0, 0);
    QCOMPARE(pixel(image, 25, 117), red);   // middle (25, 115), pointing down
    QCOMPARE(pixel(image, 173, 215), red);  // middle (175, 215), pointing right
    QCOMPARE(pixel(image, 325, 117), red);  // middle (325, 115), pointing up
    QCOMPARE(pixel(image, 25, 60), rgbOf(kGrey));
  }

  void selectedLineShowsHighlightAndBendMarks() {
    addItem(chart, kItemPos, 0, 0);
    addItem(chart, kItemPos, 300, 0);
    addLink(chart, 0, 1, {{25, 215}});
    chart.links[0].Selected = true;
    canvas->redraw();
    const QImage& image = canvas->image();
    QCOMPARE(pixel(image, 25, 60), highlight());
    // The mark: outline from (23, 213) to (27, 217), white inside.
    QCOMPARE(pixel(image, 23, 213), highlight());
    QCOMPARE(pixel(image, 27, 217), highlight());
    QCOMPARE(pixel(image, 24, 214), QColor(Qt::white));
    QCOMPARE(pixel(image, 26, 216), QColor(Qt::white));
  }

  void branchLinesAreDotted() {
    addItem(chart, kItemCmp, 0, 100);
    addItem(chart, kItemPos, 300, 100);
    addLink(chart, 0, 1, {}, 1);
    canvas->redraw();
    const int grey = countPixels(canvas->image(), QRect(60, 115, 50, 1), rgbOf(kGrey));
    QVERIFY2(grey > 10 && grey < 40, qPrintable(QString::number(grey)));
  }

  void lineWithoutAnOriginIsNotDrawn() {
    addItem(chart, kItemPos, 0, 0);
    addItem(chart, kItemPos, 300, 0);
    addLink(chart, -1, 1, {{100, 200}});
    addLink(chart, 7, 1, {{150, 250}});
    canvas->redraw();
    const QImage& image = canvas->image();
    const QRect below(0, 40, 640, 440);
    QCOMPARE(countPixels(image, below, background()), below.width() * below.height());
  }

  void lineWithAMissingFinalEndsAtItsLastBendPoint() {
    addItem(chart, kItemPos, 0, 0);
    addLink(chart, 0, 9, {{25, 215}});
    canvas->redraw();
    QCOMPARE(pixel(canvas->image(), 25, 200), rgbOf(kGrey));
    QCOMPARE(pixel(canvas->image(), 100, 215), background());
  }

  void itemTextContrastsWithItsFill() {
    addItem(chart, kItemPos, 50, 50, 0);
    addItem(chart, kItemPos, 150, 50, kWhite);
    chart.items[0].Name = chart.items[1].Name = "WWW";
    canvas->redraw();
    const QImage& image = canvas->image();
    const QRect inside0(55, 53, 40, 24);
    const QRect inside1(155, 53, 40, 24);
    QVERIFY(countPixels(image, inside0, Qt::white) > 10);
    QVERIFY(countPixels(image, inside0, Qt::black) > 400);
    QVERIFY(countPixels(image, inside1, Qt::black) > 10);
    QVERIFY(countPixels(image, inside1, Qt::white) > 400);
  }

  void selectedItemLiesOnTopOfACoveringOne() {
    addItem(chart, kItemMot, 100, 100, 255);    // red, index 0
    addItem(chart, kItemMot, 110, 105, 65280);  // green, covers most of it
    chart.items[0].Name = chart.items[1].Name = "";
    canvas->redraw();
    QCOMPARE(pixel(canvas->image(), 130, 120), QColor(0, 255, 0));
    chart.items[0].Selected = true;
    canvas->redraw();
    QCOMPARE(pixel(canvas->image(), 130, 120), highlight());
    // Hit testing still finds the higher index.
    QCOMPARE(hitItem(chart, {130, 120}), 1);
  }

  void roundedCornersExceptMotionItems() {
    rawItem(chart, kItemPos, 100, 100, 255);
    rawItem(chart, kItemMot, 200, 100, 255);
    chart.items[0].Name = chart.items[1].Name = "";
    canvas->redraw();
    const QImage& image = canvas->image();
    // Top edge of the rounded box starts three pixels in; the next rows one pixel in.
    QCOMPARE(pixel(image, 102, 100), background());
    QCOMPARE(pixel(image, 103, 100), QColor(Qt::black));
    QCOMPARE(pixel(image, 101, 101), QColor(Qt::black));
    QCOMPARE(pixel(image, 100, 101), background());
    QCOMPARE(pixel(image, 100, 103), QColor(Qt::black));
    QCOMPARE(pixel(image, 101, 103), QColor(255, 0, 0));
    QCOMPARE(pixel(image, 149, 128), background());
    QCOMPARE(pixel(image, 148, 128), QColor(Qt::black));
    QCOMPARE(pixel(image, 200, 100), QColor(Qt::black));
    QCOMPARE(pixel(canvas->image(), 149, 129), background());
    QCOMPARE(pixel(canvas->image(), 249, 129), QColor(Qt::black));
    QCOMPARE(pixel(canvas->image(), 250, 130), background());  // right and bottom edge excluded
  }

  void nameWiderThanItsBoxIsCut() {
    addItem(chart, kItemMot, 100, 100, kWhite);
    chart.items[0].Name = std::string(60, 'W');
    canvas->redraw();
    const QImage& image = canvas->image();
    QCOMPARE(countPixels(image, QRect(60, 95, 40, 40), Qt::black), 0);
    QCOMPARE(countPixels(image, QRect(151, 95, 40, 40), Qt::black), 0);
    QVERIFY(countPixels(image, QRect(101, 101, 48, 28), Qt::black) > 50);
  }

  void fontChangeIsNotHiddenByCachedFaces() {
    addItem(chart, kItemPos, 50, 50);
    chart.items[0].Width = 120;
    chart.items[0].Name = "WIDE NAME";
    canvas->redraw();
    const QImage before = canvas->image();
    const QFont old = QApplication::font();
    QFont big = old;
    big.setPointSize(old.pointSize() + 6);
    QApplication::setFont(big);
    QApplication::sendPostedEvents();
    canvas->redraw();
    const QImage after = canvas->image();
    QApplication::setFont(old);
    QApplication::sendPostedEvents();
    QVERIFY(before != after);
  }

  void startFlagIsRedAndCutAtTheTopEdge() {
    addItem(chart, kItemPos, 100, 100);
    chart.Start = 0;
    canvas->redraw();
    QCOMPARE(pixel(canvas->image(), 107, 93), QColor(255, 0, 0));
    QCOMPARE(pixel(canvas->image(), 110, 104), QColor(Qt::black));  // pole inside the box
    chart.items[0].Selected = true;
    chart.items[0].Top = 0;
    canvas->redraw();
    QCOMPARE(pixel(canvas->image(), 110, 4), QColor(Qt::black));
    chart.items[0].Top = 100;
    canvas->redraw();
    QCOMPARE(pixel(canvas->image(), 107, 93), highlight());
  }

  void rubberBandAndLineBeingDrawn() {
    addItem(chart, kItemPos, 0, 0);
    QTest::mousePress(canvas.get(), Qt::LeftButton, {}, QPoint(200, 200));
    QMouseEvent move(QEvent::MouseMove, QPointF(300, 260), QPointF(300, 260), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas.get(), &move);
    QVERIFY(canvas->editor().rubberBand());
    QCOMPARE(countPixels(canvas->image(), QRect(200, 200, 101, 1), Qt::black) > 20, true);
    QTest::mouseRelease(canvas.get(), Qt::LeftButton, {}, QPoint(300, 260));
    QCOMPARE(countPixels(canvas->image(), QRect(200, 200, 101, 1), Qt::black), 0);

    canvas->editor().setToolMode(kToolConnection);
    QTest::mouseClick(canvas.get(), Qt::LeftButton, {}, QPoint(10, 10));
    QMouseEvent hover(QEvent::MouseMove, QPointF(225, 15), QPointF(225, 15), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(canvas.get(), &hover);
    QCOMPARE(pixel(canvas->image(), 150, 15), QColor(255, 0, 0));
  }

  void lineInProgressGoesWithAReplacedChart() {
    addItem(chart, kItemPos, 0, 0);
    addItem(chart, kItemPos, 300, 0);
    addItem(chart, kItemPos, 400, 100);
    canvas->editor().setToolMode(kToolConnection);
    QTest::mouseClick(canvas.get(), Qt::LeftButton, {}, QPoint(410, 110));
    QMouseEvent hover(QEvent::MouseMove, QPointF(225, 200), QPointF(225, 200), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(canvas.get(), &hover);
    QVERIFY(countPixels(canvas->image(), canvas->image().rect(), QColor(255, 0, 0)) > 50);
    // A read-back or another file puts two new items in place of the three.
    chart.clear();
    addItem(chart, kItemPos, 0, 0);
    addItem(chart, kItemPos, 300, 0);
    canvas->redraw();
    QCOMPARE(countPixels(canvas->image(), canvas->image().rect(), QColor(255, 0, 0)), 0);
    QTest::mouseClick(canvas.get(), Qt::LeftButton, {}, QPoint(310, 10));
    QCOMPARE(chart.linkCount(), 0);
    QCOMPARE(canvas->editor().lineOrigin(), 1);
  }

  void droppedMotionShowsItsWholeName() {
    QMimeData mime;
    mime.setData(kMotionRowMime, encodeMotionRow(2, QStringLiteral("M3 WAVE2")));
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas.get(), &dropped);
    QCOMPARE(chart.itemCount(), 1);
    // The name is centred in the box, inside its one-pixel outline.
    const int text =
        QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("M3 WAVE2"));
    QVERIFY2(text <= chart.items[0].Width - 2,
             qPrintable(QStringLiteral("%1 > %2").arg(text).arg(chart.items[0].Width - 2)));
  }

  void cachedPaintingMatchesStraightforwardPainting() {
    for (quint32 seed : {7u, 11u, 2024u}) {
      chart = Chart();
      fillRandomChart(chart, seed, 120, 120);
      ChartPainter plain;
      plain.setCaching(false);
      ChartPainter cached;
      QImage a(640, 480, QImage::Format_RGB32);
      QImage b(640, 480, QImage::Format_RGB32);
      plain.paint(a, a.rect(), chart, &canvas->editor());
      cached.paint(b, b.rect(), chart, &canvas->editor());
      QVERIFY2(a == b, qPrintable(difference(a, b)));
      b.fill(Qt::magenta);
      cached.paint(b, b.rect(), chart, &canvas->editor());  // from the cache this time
      QVERIFY2(a == b, qPrintable(difference(a, b)));
      // Painting tile by tile, cached or not, gives the same picture as painting it whole.
      for (ChartPainter* painter : {&plain, &cached}) {
        QImage c(640, 480, QImage::Format_RGB32);
        c.fill(Qt::magenta);
        for (int y = 0; y < 480; y += 97) {
          for (int x = 0; x < 640; x += 131) {
            painter->paint(c, QRect(x, y, 131, 97), chart, &canvas->editor());
          }
        }
        QVERIFY2(a == c, qPrintable(difference(a, c)));
      }
    }
  }

  void mousePositionIsReportedSnapped() {
    QSignalSpy spy(canvas.get(), &ChartCanvas::mousePositionChanged);
    canvas->editor().setGrid(true, 10, 10);
    QMouseEvent move(QEvent::MouseMove, QPointF(23, 47), QPointF(23, 47), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(canvas.get(), &move);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 25);
    QCOMPARE(spy.at(0).at(1).toInt(), 45);
  }

  void placingAnItemReportsTheSelectTool() {
    QSignalSpy spy(canvas.get(), &ChartCanvas::toolModeChanged);
    canvas->editor().setToolMode(kToolSet);
    QTest::mouseClick(canvas.get(), Qt::LeftButton, {}, QPoint(40, 40));
    QCOMPARE(chart.itemCount(), 1);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), int(kToolSelect));
  }

  void doubleClicksAskForEditorsAndData() {
    addItem(chart, kItemCmp, 0, 0);
    rawItem(chart, kItemMot, 0, 100, kWhite);
    QSignalSpy editors(canvas.get(), &ChartCanvas::itemEditorRequested);
    QSignalSpy data(canvas.get(), &ChartCanvas::chartDataRequested);
    QTest::mouseDClick(canvas.get(), Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(editors.count(), 1);
    QCOMPARE(editors.at(0).at(0).toInt(), 0);
    QTest::mouseDClick(canvas.get(), Qt::LeftButton, {}, QPoint(10, 110));
    QCOMPARE(editors.count(), 1);
    QCOMPARE(data.count(), 0);
    QTest::mouseDClick(canvas.get(), Qt::LeftButton, {}, QPoint(400, 400));
    QCOMPARE(data.count(), 1);
    // Around the load dialog the first press only ends the ignore mode.
    canvas->editor().setToolMode(kToolIgnoreNext);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(400, 400), QPointF(400, 400),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas.get(), &dbl);
    QCOMPARE(data.count(), 1);
    QCOMPARE(canvas->editor().toolMode(), int(kToolSelect));
  }

  void contextMenuShowsTheEntriesForTheHit() {
    addItem(chart, kItemPos, 0, 0);
    addItem(chart, kItemPos, 200, 0);
    addLink(chart, 0, 1, {{125, 100}});
    QTest::mouseClick(canvas.get(), Qt::RightButton, {}, QPoint(10, 10));
    QVERIFY(canvas->CopyMenu->isVisible());
    QVERIFY(canvas->ItemDel->isVisible());
    QVERIFY(canvas->ColorMenu->menuAction()->isVisible());
    QVERIFY(canvas->PropertyMenu->isVisible());
    QVERIFY(canvas->PropertyMenu->isEnabled());
    QVERIFY(!canvas->PointAddBtn->isVisible());
    QVERIFY(canvas->N21->isVisible() && canvas->N22->isVisible());
    QTest::mouseClick(canvas.get(), Qt::RightButton, {}, QPoint(75, 57));
    QVERIFY(!canvas->CopyMenu->isVisible());
    QVERIFY(canvas->ItemDel->isVisible());
    QVERIFY(canvas->PointAddBtn->isVisible());
    QVERIFY(!canvas->PointDelBtn->isVisible());
    QVERIFY(!canvas->ColorMenu->menuAction()->isVisible());
    canvas->PointAddBtn->trigger();
    QCOMPARE(chart.links[0].Point.size(), std::size_t(2));
    QCOMPARE(chart.links[0].Point[0], (ChartPoint{75, 57}));
    QCOMPARE(canvas->PopupMenu1->actions().first()->text(), QStringLiteral("選択解除"));
  }

  void propertyAndConversionEntriesSignal() {
    addItem(chart, kItemPos, 0, 0);
    QSignalSpy props(canvas.get(), &ChartCanvas::itemPropertiesRequested);
    QSignalSpy conv(canvas.get(), &ChartCanvas::conversionRequested);
    QTest::mouseClick(canvas.get(), Qt::RightButton, {}, QPoint(10, 10));
    canvas->PropertyMenu->trigger();
    canvas->MirMenu->trigger();
    QCOMPARE(props.count(), 1);
    QCOMPARE(props.at(0).at(0).toInt(), 0);
    QCOMPARE(conv.count(), 1);
  }

  void colourSubMenuAndChooserOncePerSelectedItem() {
    for (int i = 0; i < 4; ++i) addItem(chart, kItemPos, i * 60, 0);
    const QList<QAction*> entries = canvas->ColorMenu->actions();
    QCOMPARE(entries.size(), 18);
    QCOMPARE(entries.last()->text(), QStringLiteral("そのほかの色"));
    chart.items[0].Selected = chart.items[2].Selected = chart.items[3].Selected = true;
    std::vector<std::uint32_t> asked;
    int call = 0;
    canvas->chooseColor = [&](std::uint32_t initial) -> std::optional<std::uint32_t> {
      asked.push_back(initial);
      if (++call == 2) return std::nullopt;  // the second chooser is cancelled
      return 0x123456u;
    };
    chart.items[2].Color = 255;
    entries.last()->trigger();
    QCOMPARE(asked.size(), std::size_t(3));
    QCOMPARE(asked[1], std::uint32_t(255));
    QCOMPARE(chart.items[0].Color, std::uint32_t(0x123456));
    QCOMPARE(chart.items[1].Color, kWhite);
    QCOMPARE(chart.items[2].Color, std::uint32_t(255));
    QCOMPARE(chart.items[3].Color, std::uint32_t(0x123456));
    QCOMPARE(chart.selectedItemCount(), 0);
    chart.items[1].Selected = true;
    entries.at(4)->trigger();  // "黒"
    QCOMPARE(chart.items[1].Color, std::uint32_t(0));
  }

  // While a chooser is open another start may hand over a chart that replaces this one: the
  // choosers stop, and nothing is written into items that the old indices no longer name.
  void aChartReplacedWhileTheChooserIsOpenStopsTheChoosers() {
    for (int i = 0; i < 4; ++i) addItem(chart, kItemPos, i * 60, 0);
    for (ChartItem& item : chart.items) item.Selected = true;
    int calls = 0;
    canvas->chooseColor = [&](std::uint32_t) -> std::optional<std::uint32_t> {
      if (++calls == 1) {
        chart.clear();
        addItem(chart, kItemPos, 0, 0);
      }
      return 0x123456u;
    };
    canvas->ColorMenu->actions().last()->trigger();
    QCOMPARE(calls, 1);
    QCOMPARE(chart.itemCount(), 1);
    QCOMPARE(chart.items[0].Color, kWhite);
  }

  void motionRowsDropAsMotionItems() {
    QCOMPARE(encodeMotionRow(2, QStringLiteral("M3 WALK")), QByteArray("2\tM3 WALK"));
    int slot = -1;
    QString caption;
    QVERIFY(!decodeMotionRow("garbage", slot, caption));
    QVERIFY(!decodeMotionRow("x\tM1", slot, caption));
    auto drop = [this](const QByteArray& payload, QPoint at) {
      QMimeData mime;
      mime.setData(kMotionRowMime, payload);
      QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(canvas.get(), &enter);
      const bool accepted = enter.isAccepted();
      QDropEvent dropped(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      if (accepted) QApplication::sendEvent(canvas.get(), &dropped);
      return accepted;
    };
    QVERIFY(!drop("80\tS1 SCENE", QPoint(10, 10)));
    QVERIFY(drop(encodeMotionRow(4, QStringLiteral("M5 歩行")), QPoint(33, 47)));
    QCOMPARE(chart.itemCount(), 1);
    QCOMPARE(chart.items[0].Name, std::string("M5 歩行"));
    QCOMPARE(int(chart.items[0].PrmByte), 4);
    QCOMPARE(chart.items[0].Left, 33);
    QCOMPARE(chart.Type, std::uint8_t(kScenarioChart));
  }

  void sameOriginLineShowsTheErrorThroughTheInterface() {
    addItem(chart, kItemPos, 0, 0);
    canvas->editor().setToolMode(kToolConnection);
    QTest::mouseClick(canvas.get(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(canvas.get(), Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(ui.messages.size(), std::size_t(1));
    QCOMPARE(ui.messages[0].kind, int(kMsgError));
    QCOMPARE(chart.linkCount(), 0);
  }
};

PVRJ_REGISTER_QTEST(ChartCanvasTest);

}  // namespace pvrj

#include "ChartCanvasTest.moc"
