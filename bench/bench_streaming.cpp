// Responsiveness while the board streams at its fastest: the time from an analog report's last
// byte leaving the virtual board to its values on screen in an open analog dialog (text boxes and
// plot painted), and a mouse movement over the main window's canvas in the meantime, from the
// event being posted to the canvas painted.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "app/BoardActions.h"
#include "app/BoardTools.h"
#include "app/ChartCanvas.h"
#include "app/Main_u.h"
#include "board/PtyServer.h"
#include "board/VirtualBoard.h"
#include "common/SettingsFolder.h"
#include "tools/AdDlg_u.h"
#include "tools/StripChart.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kComPort = 1;
constexpr int kItems = 1000;
constexpr int kColumns = 25;
constexpr int kCanvasSide = 2000;
constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 1024;
constexpr int kMoveIntervalMs = 20;
constexpr int kSettleMs = 500;

QApplication& app() {
  static int argc = 1;
  static char name[] = "bench_streaming";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);  // lives for the whole run
  }();
  return *instance;
}

double millis(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(at, v.size() - 1)];
}

// The canvas benchmark's chart: 1,000 items in rows of 25, each joined to the next.
void buildChart(pvrj::Chart& chart) {
  chart.Width = kCanvasSide;
  chart.Height = kCanvasSide;
  const int kinds[] = {pvrj::kItemPos, pvrj::kItemPos, pvrj::kItemSet, pvrj::kItemCmp};
  for (int i = 0; i < kItems; ++i) {
    chart.createItem(kinds[i % 4], 10 + (i % kColumns) * 80, 15 + (i / kColumns) * 50);
  }
  for (int i = 0; i < kItems; ++i) {
    const int l = chart.appendLinks(1);
    auto& link = chart.links[static_cast<std::size_t>(l)];
    link.Origin = i;
    link.Final = (i + 1) % kItems;
    link.Main = chart.items[static_cast<std::size_t>(i)].Type == pvrj::kItemCmp ? 1 : 0;
  }
  chart.Start = 0;
}

// What the board wrote: when each analog report's last byte was handed over, and its values.
struct Written {
  Clock::time_point at;
  std::array<int, 4> values;
};

class ReportWatch {
 public:
  void observe(const std::uint8_t* data, std::size_t count) {
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < count; ++i) {
      if (data[i] == pvrj::kAnalogLead) {
        partial_.assign(1, data[i]);
      } else if (!partial_.empty()) {
        partial_.push_back(data[i]);
      }
      if (partial_.size() == pvrj::kAnalogLength) {
        const pvrj::AnalogReport r = pvrj::parseAnalogReport(partial_.data());
        written_.push_back({now, {r.battery, r.inputs[0], r.inputs[1], r.inputs[2]}});
        partial_.clear();
      }
    }
  }
  // The write time of the report with these values, searched from the last one matched on.
  std::optional<Clock::time_point> match(const std::array<int, 4>& values) {
    std::lock_guard lock(mutex_);
    for (std::size_t k = cursor_; k < written_.size(); ++k) {
      if (written_[k].values == values) {
        cursor_ = k + 1;
        return written_[k].at;
      }
    }
    return std::nullopt;
  }
  std::size_t count() {
    std::lock_guard lock(mutex_);
    return written_.size();
  }

 private:
  std::mutex mutex_;
  std::vector<std::uint8_t> partial_;
  std::vector<Written> written_;
  std::size_t cursor_ = 0;
};

// Notes when a widget has been painted and its window flushed: the first moment the event loop is
// free again after a paint of the widget.
class PaintWatch : public QObject {
 public:
  std::function<void()> painted;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && !scheduled_) {
      scheduled_ = true;
      QTimer::singleShot(0, this, [this] {
        scheduled_ = false;
        if (painted) painted();
      });
    }
    return false;
  }

 private:
  bool scheduled_ = false;
};

void measure(benchmark::State& state, bool streaming) {
  app();
  const double seconds = static_cast<double>(state.range(0));
  char folder[] = "/tmp/pvrj-bench-streaming-XXXXXX";
  if (!::mkdtemp(folder)) {
    state.SkipWithError("no temporary folder");
    return;
  }
  ::setenv(pvrj::kSettingsDirVariable, folder, 1);
  std::ofstream(std::string(folder) + "/PVR3J.ini") << "[PVR3]\r\nCommPort=" << kComPort << "\r\n";

  pvrj::board::VirtualBoard board;
  board.setPacing(true);
  board.setWobble(true);
  board.setMovingReadings(true);
  board.setReportPeriod(pvrj::board::kFastestReportPeriod);
  pvrj::board::PtyServer server(board);
  if (!server.open() || !pvrj::makePortLink(kComPort, server.devicePath())) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  ReportWatch reports;
  server.setOutputObserver(
      [&reports](const std::uint8_t* d, std::size_t n) { reports.observe(d, n); });
  std::thread serving([&server] { server.serve(); });

  std::vector<double> reportLatency;
  std::vector<double> moveLatency;
  std::vector<double> moveCycle;
  {
    pvrj::TPivora3 window;
    auto* actions = new pvrj::BoardActions(window, QString::fromLatin1(folder) + "/socket");
    auto* tools = new pvrj::BoardTools(window, actions->table());
    buildChart(window.chart());
    window.canvas->setCanvasSize(kCanvasSide, kCanvasSide);
    window.resize(kWindowWidth, kWindowHeight);
    window.show();
    window.canvas->redraw();

    pvrj::TAdDlg& dialog = tools->adDlg();
    pvrj::BoardMessages& messages = window.boardMessages();
    // Reports handled and not yet painted. They are matched with what the board wrote once they
    // are on screen: the board's thread may note a write only after the report was handled.
    std::vector<std::array<int, 4>> waiting;
    auto shown = messages.onAnalogReport;
    int handled = 0;
    int unmatched = 0;
    messages.onAnalogReport = [&](const pvrj::AnalogReport& r) {
      shown(r);
      ++handled;
      waiting.push_back({r.battery, r.inputs[0], r.inputs[1], r.inputs[2]});
    };
    bool measuring = false;
    PaintWatch plotPaint;
    plotPaint.painted = [&] {
      const Clock::time_point now = Clock::now();
      for (const auto& values : waiting) {
        const std::optional<Clock::time_point> at = reports.match(values);
        if (!at) {
          ++unmatched;
        } else if (measuring) {
          reportLatency.push_back(millis(now - *at));
        }
      }
      waiting.clear();
    };
    dialog.plot->viewport()->installEventFilter(&plotPaint);

    std::optional<Clock::time_point> movePosted;
    PaintWatch canvasPaint;
    canvasPaint.painted = [&] {
      if (!movePosted) return;
      if (measuring) moveLatency.push_back(millis(Clock::now() - *movePosted));
      movePosted.reset();
    };
    window.canvas->installEventFilter(&canvasPaint);
    int step = 0;
    QTimer mover;
    QObject::connect(&mover, &QTimer::timeout, [&] {
      if (movePosted) return;  // the last one has not been painted yet
      const QPointF at(400 + (step % 2 == 0 ? 7 : -7), 300 + (step % 2 == 0 ? 6 : -6));
      ++step;
      if (step % 2 == 0) {
        // The canvas benchmark's cycle: the move handled and the canvas repainted at once.
        const Clock::time_point start = Clock::now();
        QMouseEvent move(QEvent::MouseMove, at, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(window.canvas, &move);
        window.canvas->repaint();
        if (measuring) moveCycle.push_back(millis(Clock::now() - start));
        return;
      }
      // A move as the window system delivers it: queued behind whatever waits, then painted.
      movePosted = Clock::now();
      QCoreApplication::postEvent(
          window.canvas,
          new QMouseEvent(QEvent::MouseMove, at, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier));
    });

    // The analog button's sequence, with the dialog shown without blocking.
    if (!dialog.LoadAnalogSettings()) {
      state.SkipWithError("the virtual board did not answer");
    } else {
      messages.clear();
      if (streaming) window.boardLink().SetAnalogStream(pvrj::kAnalogStreamOn);
      dialog.show();
      mover.start(kMoveIntervalMs);
      for (auto _ : state) {
        QEventLoop loop;
        QTimer::singleShot(kSettleMs, [&] { measuring = true; });
        QTimer::singleShot(static_cast<int>(seconds * 1000) + kSettleMs, &loop, &QEventLoop::quit);
        loop.exec();
        measuring = false;
        state.SetIterationTime(seconds);
      }
      mover.stop();
      dialog.hide();
      window.boardLink().SetAnalogStream(pvrj::kAnalogStreamOff);
    }
    state.counters["reports_written"] = static_cast<double>(reports.count());
    state.counters["reports_handled"] = handled;
    state.counters["reports_unmatched"] = unmatched;
  }
  server.requestStop();
  serving.join();
  pvrj::removePortLink(kComPort, server.devicePath());
  std::filesystem::remove_all(folder);

  state.counters["reports_shown"] = static_cast<double>(reportLatency.size());
  state.counters["report_p50_ms"] = percentile(reportLatency, 0.50);
  state.counters["report_p99_ms"] = percentile(reportLatency, 0.99);
  state.counters["report_max_ms"] = percentile(reportLatency, 1.0);
  state.counters["moves"] = static_cast<double>(moveLatency.size() + moveCycle.size());
  state.counters["move_cycle_p50_ms"] = percentile(moveCycle, 0.50);
  state.counters["move_cycle_p99_ms"] = percentile(moveCycle, 0.99);
  state.counters["move_posted_p50_ms"] = percentile(moveLatency, 0.50);
  state.counters["move_posted_p99_ms"] = percentile(moveLatency, 0.99);
}

// The analog dialog open on a quiet board: the canvas figures without the stream.
void BM_CanvasBesideAQuietAnalogDialog(benchmark::State& state) {
  measure(state, false);
}
// Reports every 5 ms, the virtual board's fastest, at the line rate.
void BM_StreamingIntoTheAnalogDialog(benchmark::State& state) {
  measure(state, true);
}

}  // namespace

// Ten seconds each.
BENCHMARK(BM_CanvasBesideAQuietAnalogDialog)
    ->Arg(10)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_StreamingIntoTheAnalogDialog)
    ->Arg(10)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_MAIN();
