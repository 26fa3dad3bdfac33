// Autosave of a 10,000-item chart from the main window: the time until the file is written, the
// part of it spent on the user's thread, and how long any event waited meanwhile.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <string>

#include "app/Main_u.h"
#include "chart/Autosave.h"

namespace {

constexpr int kItems = 10000;
constexpr int kTickMs = 1;  // the stand-in for the user's events: one every millisecond

QApplication& app() {
  static int argc = 1;
  static char name[] = "bench_autosave";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);  // lives for the whole run
  }();
  return *instance;
}

void buildChart(pvrj::Chart& chart) {
  chart.appendItems(kItems);
  for (int i = 0; i < kItems; ++i) {
    pvrj::ChartItem& item = chart.items[static_cast<std::size_t>(i)];
    item = pvrj::defaultItem(pvrj::kItemPos, 10 + (i % 100) * 60, 10 + (i / 100) * 40);
    item.Name = "POS" + std::to_string(i + 1);
    item.PrmWords.fill(16384);
  }
  chart.appendLinks(kItems - 1);
  for (int i = 0; i + 1 < kItems; ++i) {
    chart.links[static_cast<std::size_t>(i)].Origin = i;
    chart.links[static_cast<std::size_t>(i)].Final = i + 1;
    chart.links[static_cast<std::size_t>(i)].Point = {{20 + (i % 100) * 60, 30}};
  }
}

void BM_AutosaveOf10000ItemChart(benchmark::State& state) {
  app();
  QTemporaryDir dir;
  qputenv("PVRJ_SETTINGS_DIR", dir.path().toUtf8());
  qputenv("XDG_STATE_HOME", (dir.path() + QStringLiteral("/state")).toUtf8());
  qputenv("XDG_DATA_HOME", (dir.path() + QStringLiteral("/data")).toUtf8());
  pvrj::TPivora3 window;
  buildChart(window.chart());
  window.recordChange();
  double callMs = 0;
  double longestWaitMs = 0;
  int step = 0;
  for (auto _ : state) {
    window.chart().items[0].Left += (step++ % 2 == 0) ? 1 : -1;  // a change not yet autosaved
    window.recordChange();
    const std::uint64_t before = window.autosaveWriter().finished();

    QElapsedTimer clock;
    clock.start();
    window.autosaveNow();
    callMs = std::max(callMs, static_cast<double>(clock.nsecsElapsed()) / 1e6);
    // Events keep coming while the file is written; each should be handled within a frame.
    QEventLoop loop;
    QTimer ticks;
    qint64 last = clock.nsecsElapsed();
    QObject::connect(&ticks, &QTimer::timeout, &loop, [&] {
      const qint64 now = clock.nsecsElapsed();
      longestWaitMs = std::max(longestWaitMs, static_cast<double>(now - last) / 1e6 - kTickMs);
      last = now;
      if (window.autosaveWriter().finished() != before) loop.quit();
    });
    ticks.start(kTickMs);
    loop.exec();
    state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
  }
  window.autosaveWriter().wait();
  state.counters["on_user_thread_ms"] = callMs;
  state.counters["longest_event_wait_ms"] = longestWaitMs;
  state.counters["ok"] = window.autosaveWriter().lastResult().ok() ? 1 : 0;
}

}  // namespace

BENCHMARK(BM_AutosaveOf10000ItemChart)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_MAIN();
