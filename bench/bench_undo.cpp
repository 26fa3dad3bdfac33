// Undo and redo on a large chart: a move of 1,000 selected items in a 10,000-item chart recorded,
// undone and redone, and the memory the steps take.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "chart/ChartEditor.h"
#include "chart/ChartHistory.h"
#include "tests/support/FakeUserInterface.h"

namespace {

constexpr int kItems = 10000;
constexpr int kMoved = 1000;
constexpr int kColumns = 100;

// 10,000 items in rows of 100, each joined to the next by a line with one bend point; every tenth
// item selected, and the lines between selected items.
void buildChart(pvrj::Chart& chart) {
  chart.Width = 6100;
  chart.Height = 4100;
  chart.appendItems(kItems);
  for (int i = 0; i < kItems; ++i) {
    pvrj::ChartItem& item = chart.items[static_cast<std::size_t>(i)];
    item = pvrj::defaultItem(pvrj::kItemPos, 10 + (i % kColumns) * 60, 10 + (i / kColumns) * 40);
    item.Name = "POS" + std::to_string(i + 1);
    item.Selected = i % (kItems / kMoved) == 0;
  }
  chart.appendLinks(kItems - 1);
  for (int i = 0; i + 1 < kItems; ++i) {
    pvrj::ChartLink& link = chart.links[static_cast<std::size_t>(i)];
    link.Origin = i;
    link.Final = i + 1;
    link.Point = {{20 + (i % kColumns) * 60, 30 + (i / kColumns) * 40}};
  }
}

// A drag of the selected items by (dx, dy), as the editor does it, from inside item 0.
void dragSelection(pvrj::ChartEditor& editor, int dx, int dy) {
  const pvrj::ChartItem& grip = editor.chart().items.front();
  const pvrj::ChartPoint from{grip.Left + 2, grip.Top + 2};
  const pvrj::ChartPoint to{from.x + dx, from.y + dy};
  editor.mouseDown(pvrj::kMouseLeft, from, pvrj::kMouseLeft);
  editor.mouseMove(to, pvrj::kMouseLeft);
  editor.mouseUp(pvrj::kMouseLeft, to, 0);
}

struct Setup {
  pvrj::Chart chart;
  pvrj::test::FakeUserInterface ui;
  pvrj::ChartEditor editor{chart, ui};
  std::unique_ptr<pvrj::ChartHistory> history;
  Setup() {
    buildChart(chart);
    history = std::make_unique<pvrj::ChartHistory>(chart);
    dragSelection(editor, 5, 5);
    history->commit();
  }
};

void BM_RecordMoveOf1000In10000(benchmark::State& state) {
  Setup s;
  int step = 0;
  for (auto _ : state) {
    state.PauseTiming();
    dragSelection(s.editor, (step++ % 2) == 0 ? -5 : 5, 0);
    state.ResumeTiming();
    benchmark::DoNotOptimize(s.history->commit());
  }
  state.counters["step_KiB"] = static_cast<double>(s.history->stepBytes()) / 1024.0 /
                               static_cast<double>(s.history->undoCount());
}

void BM_UndoMoveOf1000In10000(benchmark::State& state) {
  Setup s;
  for (auto _ : state) {
    benchmark::DoNotOptimize(s.history->undo());
    state.PauseTiming();
    s.history->redo();
    state.ResumeTiming();
  }
}

void BM_RedoMoveOf1000In10000(benchmark::State& state) {
  Setup s;
  for (auto _ : state) {
    state.PauseTiming();
    s.history->undo();
    state.ResumeTiming();
    benchmark::DoNotOptimize(s.history->redo());
  }
}

// Memory, reported as counters: the history with nothing recorded (the state it compares with),
// one move of 1,000 items, the delete of 1,000 items, and 200 moves.
void BM_MemoryOf10000ItemChart(benchmark::State& state) {
  for (auto _ : state) {
    Setup s;
    s.history->reset();
    const double base = static_cast<double>(s.history->memoryBytes());
    dragSelection(s.editor, 5, 5);
    s.history->commit();
    const double move = static_cast<double>(s.history->stepBytes());
    s.editor.deleteKey();
    s.history->commit();
    const double remove = static_cast<double>(s.history->stepBytes()) - move;
    s.history->undo();
    s.history->commit();
    pvrj::Chart other;  // every item changed (all selected and moved, a file replacing the chart)
    other.items = s.chart.items;
    for (auto& item : other.items) item.Top += 1;
    s.chart.items = other.items;
    const double before = static_cast<double>(s.history->stepBytes());
    s.history->commit();
    const double whole = static_cast<double>(s.history->stepBytes()) - before;
    s.history->reset();
    for (int k = 0; k < 200; ++k) {
      dragSelection(s.editor, k % 2 == 0 ? 5 : -5, 0);
      s.history->commit();
    }
    state.counters["recorded_MiB"] = base / (1 << 20);
    state.counters["move_KiB"] = move / 1024;
    state.counters["delete_KiB"] = remove / 1024;
    state.counters["allItems_MiB"] = whole / (1 << 20);
    state.counters["200moves_MiB"] = static_cast<double>(s.history->memoryBytes()) / (1 << 20);
  }
}

}  // namespace

BENCHMARK(BM_RecordMoveOf1000In10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoMoveOf1000In10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedoMoveOf1000In10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryOf10000ItemChart)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
