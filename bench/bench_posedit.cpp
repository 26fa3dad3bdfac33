// The position editor: a channel bar dragged through its whole range in steps of 5 with SYNC on,
// against a line-paced pvrj-board (each live send is 9 bytes on the wire, 0.78 ms at 115200 bit/s),
// and opening the editor for an item with 24 servo channels.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QScrollBar>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "editors/PrmDlg_u.h"
#include "editors/core/PoseBoard.h"
#include "protocol/BoardLink.h"
#include "protocol/CommXOpener.h"
#include "serial/CommX.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeUserInterface.h"

namespace {

using namespace pvrj;
using Clock = std::chrono::steady_clock;

constexpr int kBitRate = 115200;
constexpr int kDragStep = 5;
constexpr int kDraggedChannel = 6;
constexpr double kSendWireSeconds = 9 * 10.0 / kBitRate;

QApplication& app() {
  static int argc = 1;
  static char name[] = "bench_posedit";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The editor reads and writes its desktop and link sets in a folder of its own.
    static std::string folder = (std::filesystem::temp_directory_path() / "pvrj-bench-XXXXXX");
    if (::mkdtemp(folder.data()) != nullptr) qputenv("PVRJ_SETTINGS_DIR", folder.c_str());
    return new QApplication(argc, argv);  // lives for the whole run
  }();
  return *instance;
}

int addServoItem(Chart& chart) {
  const int item = chart.createItem(kItemPos, 10, 10);
  for (int ch = 0; ch < kChannelCount; ++ch) {
    chart.items[static_cast<std::size_t>(item)].PrmWords[ch] =
        static_cast<std::uint16_t>(16000 + 30 * ch);
  }
  return item;
}

// Drags the bar from one end to the other and back, one mouse step of 5 at a time, through the
// window's handler; counts the live sends and checks the robot's word after each pass.
void BM_DragBarWithSync(benchmark::State& state) {
  app();
  test::BoardProcess board({"--pace"});
  TCommX comm;
  comm.SetBitRate(kBitRate);
  comm.SetFlowCtrl(cfcNone);
  test::FakeUserInterface ui;
  BoardLink link(comm, ui);
  CommXOpener opener(comm, board.device());
  if (board.device().empty() || !link.OpenNamedPort(opener, board.device())) {
    state.SkipWithError("pvrj-board did not start");
    return;
  }
  Chart chart;
  const int item = addServoItem(chart);
  TPrmDlg editor(chart);
  editor.setLink(&link);
  editor.setSyncSource([] { return true; });
  editor.openItem(item);
  QScrollBar* bar = editor.positionBars[kDraggedChannel];

  std::int64_t sends = 0;
  double seconds = 0;
  bool upward = true;
  for (auto _ : state) {
    const auto start = Clock::now();
    int last = bar->value();
    for (int v = upward ? kPositionBarMin : kPositionBarMax;
         upward ? v <= kPositionBarMax : v >= kPositionBarMin;
         v += upward ? kDragStep : -kDragStep) {
      bar->setValue(v);
      ++sends;
      last = v;
    }
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
    upward = !upward;
    // The robot's last word is the bar's last position.
    state.PauseTiming();
    const std::optional<PositionRecord> pose = readCurrentPose(link);
    if (!pose || pose->block.words[kDraggedChannel] != last ||
        chart.items[0].PrmWords[kDraggedChannel] != last) {
      state.SkipWithError("the robot's last word is not the bar's last position");
      break;
    }
    state.ResumeTiming();
  }
  state.counters["sends_per_s"] = seconds > 0 ? static_cast<double>(sends) / seconds : 0;
  state.counters["wire_sends_per_s"] = 1.0 / kSendWireSeconds;
  state.counters["sends"] = static_cast<double>(sends);
  comm.Close();
}
BENCHMARK(BM_DragBarWithSync)->Iterations(8)->Unit(benchmark::kMillisecond);

// Opening the editor for an item: every panel shows its word, the window shows.
void BM_OpenEditor(benchmark::State& state) {
  app();
  Chart chart;
  const int servo = addServoItem(chart);
  const int mixed = chart.createItem(kItemPos, 100, 10);
  auto& words = chart.items[static_cast<std::size_t>(mixed)].PrmWords;
  for (int ch = 0; ch < kChannelCount; ++ch) {
    static const std::uint16_t kinds[] = {16500, 0x8001, 0x8003, 0x8010, 0};
    words[ch] = kinds[ch % 5];
  }
  TPrmDlg editor(chart);
  bool which = false;
  for (auto _ : state) {
    editor.hide();
    QApplication::processEvents();
    const auto start = Clock::now();
    editor.openItem(which ? mixed : servo);
    QApplication::processEvents();  // the window's first paint
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    which = !which;
  }
}
BENCHMARK(BM_OpenEditor)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
