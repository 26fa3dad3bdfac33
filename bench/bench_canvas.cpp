// Canvas painting cost on a large chart: a whole redraw, and one mouse movement as the user sees
// it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollArea>
#include <memory>

#include "app/ChartCanvas.h"
#include "tests/support/FakeUserInterface.h"

namespace {

constexpr int kItems = 1000;
constexpr int kColumns = 25;
constexpr int kCanvasSide = 2000;
constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 1024;

QApplication& app() {
  static int argc = 1;
  static char name[] = "bench_canvas";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);  // lives for the whole run
  }();
  return *instance;
}

// 1,000 items in a grid of 25 columns on a 2,000 x 2,000 canvas, each joined to its right-hand
// neighbour (or the one below at a row's end) by a line with two bend points, as a user lays out.
void buildChart(pvrj::Chart& chart) {
  chart.Width = kCanvasSide;
  chart.Height = kCanvasSide;
  const std::uint32_t colors[] = {pvrj::kWhite, 0xC0C0C0, 0x00FFFF, 0xFFFF00, 0x808080, 0};
  const int kinds[] = {pvrj::kItemPos, pvrj::kItemPos, pvrj::kItemSet, pvrj::kItemCmp};
  for (int i = 0; i < kItems; ++i) {
    const int index =
        chart.createItem(kinds[i % 4], 10 + (i % kColumns) * 80, 15 + (i / kColumns) * 50);
    chart.items[static_cast<std::size_t>(index)].Color = colors[i % 6];
  }
  for (int i = 0; i < kItems; ++i) {
    const int next = (i + 1) % kItems;
    const int l = chart.appendLinks(1);
    auto& link = chart.links[static_cast<std::size_t>(l)];
    link.Origin = i;
    link.Final = next;
    link.Main = chart.items[static_cast<std::size_t>(i)].Type == pvrj::kItemCmp ? 1 : 0;
    const pvrj::ChartPoint a = pvrj::itemCentre(chart.items[static_cast<std::size_t>(i)]);
    const pvrj::ChartPoint b = pvrj::itemCentre(chart.items[static_cast<std::size_t>(next)]);
    link.Point = {{a.x + 10, a.y + 20}, {b.x - 10, b.y + 20}};
  }
  chart.Start = 0;
  for (int i = 0; i < kItems; i += 37) chart.items[static_cast<std::size_t>(i)].Selected = true;
}

void paintWhole(benchmark::State& state, bool caching, double scale = 1.0) {
  app();
  pvrj::Chart chart;
  buildChart(chart);
  pvrj::ChartPainter painter;
  painter.setCaching(caching);
  const int side = static_cast<int>(kCanvasSide * scale);
  QImage image(side, side, QImage::Format_RGB32);
  // The first paint fills the caches.
  painter.paintScaled(image, image.rect(), chart, nullptr, scale);
  for (auto _ : state) {
    painter.paintScaled(image, image.rect(), chart, nullptr, scale);
    benchmark::DoNotOptimize(image.constBits());
  }
}

// (a) A redraw of the whole 2,000 x 2,000 canvas.
void BM_RedrawWholeCanvas(benchmark::State& state) {
  paintWhole(state, true);
}
// The same picture drawn straightforwardly, every face and arrow head painted afresh.
void BM_RedrawWholeCanvasUncached(benchmark::State& state) {
  paintWhole(state, false);
}

// The same canvas zoomed out to 25 % (500 x 500 pixels), and drawn at 200 % (a 2x screen).
void BM_RedrawWholeCanvasAt25Percent(benchmark::State& state) {
  paintWhole(state, true, 0.25);
}
void BM_RedrawWholeCanvasAt200Percent(benchmark::State& state) {
  paintWhole(state, true, 2.0);
}

// (b) One mouse movement over the canvas in a 1,280 x 1,024 window: snapping, the editor's state,
// the repaint of the visible part and its copy onto the window.
void mouseCycle(benchmark::State& state, bool dragging) {
  app();
  pvrj::Chart chart;
  buildChart(chart);
  pvrj::test::FakeUserInterface ui;
  QScrollArea window;
  window.resize(kWindowWidth, kWindowHeight);
  auto* canvas = new pvrj::ChartCanvas(chart, ui);  // owned by the scroll area
  window.setWidget(canvas);
  canvas->editor().setGrid(true, 5, 5);
  window.show();
  QApplication::processEvents();
  canvas->redraw();
  canvas->repaint();
  if (dragging) {
    // Press on a selected item so the moves drag the selected group back and forth.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(20, 25), QPointF(20, 25), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &press);
  }
  int step = 0;
  for (auto _ : state) {
    const double x = 400 + (step % 2 == 0 ? 7 : -7);
    const double y = 300 + (step % 2 == 0 ? 6 : -6);
    ++step;
    QMouseEvent move(QEvent::MouseMove, QPointF(x, y), QPointF(x, y), Qt::NoButton,
                     dragging ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &move);
    canvas->repaint();
  }
}

void BM_MouseMoveHover(benchmark::State& state) {
  mouseCycle(state, false);
}
void BM_MouseMoveDraggingGroup(benchmark::State& state) {
  mouseCycle(state, true);
}

}  // namespace

BENCHMARK(BM_RedrawWholeCanvas)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawWholeCanvasUncached)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawWholeCanvasAt25Percent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawWholeCanvasAt200Percent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MouseMoveHover)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MouseMoveDraggingGroup)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
