// Window tests of the canvas zoom: clicks in chart coordinates at every zoom, Ctrl+wheel and the
// keys, fitting the chart, the picture at 100 % and on a screen of two pixels per point.
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <QtMath>
#include <memory>

#include "QtTestRunner.h"
#include "app/ChartCanvas.h"
#include "app/Main_u.h"
#include "chart/ChartEditor.h"
#include "tests/support/FakeUserInterface.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

constexpr int kChildDeadlineMs = 60000;

QColor background() {
  return QApplication::palette().color(QPalette::Base);
}

void send(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButton button,
          Qt::MouseButtons held) {
  QMouseEvent event(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

void click(QWidget* w, QPointF at) {
  send(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
  send(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

void wheel(QWidget* w, int angle, Qt::KeyboardModifiers modifiers) {
  const QPointF at(20, 20);
  QWheelEvent event(at, w->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, modifiers,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &event);
}

// Two items and a line between them, drawn in a chart of 300 x 200.
void smallChart(Chart& chart) {
  chart.createItem(kItemPos, 40, 40);
  chart.createItem(kItemCmp, 200, 40);
  const int l = chart.appendLinks(1);
  chart.links[static_cast<std::size_t>(l)].Origin = 0;
  chart.links[static_cast<std::size_t>(l)].Final = 1;
  chart.deselectAll();
}

}  // namespace

class ZoomTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<QTemporaryDir> dir_;

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    qputenv("PVRJ_SETTINGS_DIR", dir_->path().toUtf8());
    setDialogAnswerer([](QDialog& d) { d.reject(); });
  }
  void cleanup() {
    setDialogAnswerer({});
    qunsetenv("PVRJ_SETTINGS_DIR");
    dir_.reset();
  }

  // Table: zoom -> a click on the second item, placing, a drag; all in chart coordinates.
  void zoomedClicksHitTheRightItem_data() {
    QTest::addColumn<double>("zoom");
    for (double z : {0.25, 0.5, 0.67, 1.0, 1.5, 2.0, 4.0})
      QTest::newRow(qPrintable(QString::number(z))) << z;
  }
  void zoomedClicksHitTheRightItem() {
    QFETCH(double, zoom);
    TPivora3 w;
    smallChart(w.chart());
    w.history().reset();
    w.canvas->setZoom(zoom);
    QCOMPARE(w.canvas->zoom(), zoom);
    QCOMPARE(w.canvas->size(), QSize(qCeil(640 * zoom - 1e-6), qCeil(480 * zoom - 1e-6)));
    // Inside the second item, near its top-left corner.
    click(w.canvas, QPointF(202 * zoom + 0.5, 42 * zoom + 0.5));
    QVERIFY(!w.chart().items[0].Selected);
    QVERIFY(w.chart().items[1].Selected);
    // The status bar tells chart coordinates.
    send(w.canvas, QEvent::MouseMove, QPointF(300 * zoom, 150 * zoom), Qt::NoButton, Qt::NoButton);
    QCOMPARE(w.panelText(0), QStringLiteral("X = 300  Y = 150"));
    // A drag moves by chart pixels.
    send(w.canvas, QEvent::MouseButtonPress, QPointF(45 * zoom, 45 * zoom), Qt::LeftButton,
         Qt::LeftButton);
    send(w.canvas, QEvent::MouseMove, QPointF(85 * zoom, 65 * zoom), Qt::NoButton, Qt::LeftButton);
    send(w.canvas, QEvent::MouseButtonRelease, QPointF(85 * zoom, 65 * zoom), Qt::LeftButton,
         Qt::NoButton);
    QCOMPARE(w.chart().items[0].Left, 80);
    QCOMPARE(w.chart().items[0].Top, 60);
    // A placed item lands where the chart point is.
    w.SetItem1Btn->trigger();
    click(w.canvas, QPointF(400 * zoom, 300 * zoom));
    QCOMPARE(w.chart().itemCount(), 3);
    QCOMPARE(w.chart().items[2].Left, 400);
    QCOMPARE(w.chart().items[2].Top, 300);
  }

  void ctrlWheelAndKeysZoomWithinTheRange() {
    TPivora3 w;
    wheel(w.canvas, 120, Qt::NoModifier);  // a plain wheel scrolls
    QCOMPARE(w.canvas->zoom(), 1.0);
    wheel(w.canvas, 120, Qt::ControlModifier);
    QCOMPARE(w.canvas->zoom(), 1.1);
    wheel(w.canvas, 60, Qt::ControlModifier);  // half a notch waits for the other half
    QCOMPARE(w.canvas->zoom(), 1.1);
    wheel(w.canvas, 60, Qt::ControlModifier);
    QCOMPARE(w.canvas->zoom(), 1.25);
    for (int k = 0; k < 20; ++k) wheel(w.canvas, 120, Qt::ControlModifier);
    QCOMPARE(w.canvas->zoom(), 4.0);
    QCOMPARE(w.zoomButton->text(), QStringLiteral("400%"));
    for (int k = 0; k < 20; ++k) wheel(w.canvas, -120, Qt::ControlModifier);
    QCOMPARE(w.canvas->zoom(), 0.25);
    QTest::keyClick(w.canvas, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(w.canvas->zoom(), 1.0);
    QTest::keyClick(w.canvas, Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(w.canvas->zoom(), 1.1);
    QTest::keyClick(w.canvas, Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(w.canvas->zoom(), 1.25);
    QTest::keyClick(w.canvas, Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(w.canvas, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(w.canvas->zoom(), 1.0);
    QCOMPARE(w.zoomButton->text(), QStringLiteral("100%"));
  }

  void fittingShowsTheWholeChart() {
    TPivora3 w;
    w.canvas->setCanvasSize(2000, 1200);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.fitChart();
    const QSize room = w.canvasScroll->viewport()->size();
    QVERIFY(w.canvas->zoom() < 1.0);
    QVERIFY(w.canvas->width() <= room.width());
    QVERIFY(w.canvas->height() <= room.height());
    QVERIFY(w.canvas->width() >= room.width() - 1 || w.canvas->height() >= room.height() - 1);
    // A tiny chart is not blown up past the largest zoom.
    w.canvas->setCanvasSize(50, 50);
    w.fitChart();
    QCOMPARE(w.canvas->zoom(), 4.0);
  }

  void at100PercentThePictureIsPixelForPixelTheSame() {
    Chart chart;
    smallChart(chart);
    chart.items[1].Selected = true;
    ChartCanvas canvas(chart, w_ui_);
    canvas.devicePixelRatioSource = [] { return 1.0; };
    canvas.setCanvasSize(300, 200);
    const QImage before = canvas.image().copy();
    // Straightforward painting, every face afresh, gives the same picture.
    ChartPainter plain;
    plain.setCaching(false);
    QImage reference(300, 200, QImage::Format_RGB32);
    plain.paint(reference, reference.rect(), chart, &canvas.editor());
    QCOMPARE(before, reference);
    canvas.setZoom(2.0);
    QCOMPARE(canvas.image().size(), QSize(600, 400));
    canvas.setZoom(1.0);
    QCOMPARE(canvas.image(), before);
  }

  void zoomedPicturesScaleTheChart() {
    Chart chart;
    smallChart(chart);
    ChartCanvas canvas(chart, w_ui_);
    canvas.devicePixelRatioSource = [] { return 1.0; };
    canvas.setCanvasSize(300, 200);
    canvas.setZoom(2.0);
    const QImage& image = canvas.image();
    QCOMPARE(image.size(), QSize(600, 400));
    // The first item (40, 40, 50 x 30): white inside, its outline two pixels wide on the left.
    QCOMPARE(QColor(image.pixel(2 * 45, 2 * 45)), QColor(Qt::white));
    QCOMPARE(QColor(image.pixel(2 * 40, 2 * 55)), QColor(Qt::black));
    QCOMPARE(QColor(image.pixel(2 * 40 + 1, 2 * 55)), QColor(Qt::black));
    QCOMPARE(QColor(image.pixel(2 * 40 + 3, 2 * 45)), QColor(Qt::white));
    // The line between the items runs along chart row 55: image rows 110 and 111.
    const QRgb grey = qRgb(0x80, 0x80, 0x80);
    QCOMPARE(image.pixel(2 * 130, 2 * 55 - 1), QColor(background()).rgb());
    QCOMPARE(image.pixel(2 * 130, 2 * 55), grey);
    QCOMPARE(image.pixel(2 * 130, 2 * 55 + 1), grey);
    QCOMPARE(image.pixel(2 * 130, 2 * 55 + 2), QColor(background()).rgb());
    canvas.setZoom(0.25);
    QCOMPARE(canvas.image().size(), QSize(75, 50));
  }

  // On a screen of two pixels per point the canvas is drawn at that resolution. Run in a program
  // of its own, started with QT_SCALE_FACTOR=2.
  void drawsAtTheScreensResolutionOnATwoTimesScreen() {
    if (qApp->devicePixelRatio() < 2) {
      QProcess child;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert("QT_SCALE_FACTOR", "2");
      env.insert("QT_QPA_PLATFORM", "offscreen");
      child.setProcessEnvironment(env);
      child.setProcessChannelMode(QProcess::MergedChannels);
      child.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("ZoomTest"),
                   QStringLiteral("drawsAtTheScreensResolutionOnATwoTimesScreen")});
      QVERIFY(child.waitForFinished(kChildDeadlineMs));
      const QByteArray output = child.readAll();
      QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
               output.constData());
      QVERIFY2(output.contains("PASS   : ZoomTest::drawsAtTheScreensResolution"),
               output.constData());
      return;
    }
    TPivora3 w;
    smallChart(w.chart());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.canvas->redraw();
    QCOMPARE(w.canvas->devicePixelRatioF(), 2.0);
    QCOMPARE(w.canvas->size(), QSize(640, 480));  // the same size in points
    QCOMPARE(w.canvas->imageScale(), 2.0);
    const QImage& image = w.canvas->image();
    QCOMPARE(image.size(), QSize(1280, 960));
    // Not pixel-doubled: the name's glyphs have edges on odd pixels, which a doubled picture
    // never has (each of its pixels is a 2 x 2 block).
    int oddEdges = 0;
    for (int y = 2 * 40; y < 2 * 70; ++y) {
      for (int x = 2 * 40 + 1; x < 2 * 90; x += 2) {
        if (image.pixel(x, y) != image.pixel(x - 1, y)) ++oddEdges;
      }
    }
    QVERIFY2(oddEdges > 0, "the item is drawn pixel-doubled");
    // Clicks still speak chart coordinates.
    click(w.canvas, QPointF(202, 42));
    QVERIFY(w.chart().items[1].Selected);
  }

 private:
  test::FakeUserInterface w_ui_;
};

PVRJ_REGISTER_QTEST(ZoomTest);

#include "ZoomTest.moc"
