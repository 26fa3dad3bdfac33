// Compile speed: a full 256-step motion, and walking then refusing a 100,000-item chart.
#include <benchmark/benchmark.h>

#include <string>

#include "chart/Chart.h"
#include "common/UserInterface.h"
#include "compiler/Compile.h"
#include "compiler/Rebuild.h"

namespace {

using namespace pvrj;

// Answers every box with OK and shows nothing.
class SilentUserInterface : public UserInterface {
 public:
  int ShowMessageBox(int, int, const std::string&) override { return kIdOk; }
  bool NumberPrompt(Prompt&) override { return false; }
  void showStatus(const std::string&) override {}
  void setBusy(bool) override {}
  void setBoardState(const std::string&) override {}
  void processEvents() override {}
};

void addLine(Chart& c, int origin, int final, std::uint8_t main) {
  ChartLink l;
  l.Main = main;
  l.Origin = origin;
  l.Final = final;
  c.links.push_back(l);
}

// A chain of n items from the Start item; every tenth is a compare branching ten items back, and
// the last joins the first again, so the motion is n items and one JMP.
Chart benchChart(int n) {
  Chart c;
  c.items.resize(n);
  for (int i = 0; i < n; ++i) {
    ChartItem& it = c.items[i];
    const bool compare = i % 10 == 9;
    it.Type = compare ? kItemCmp : kItemPos;
    it.Name = (compare ? "CMP" : "POS") + std::to_string(i + 1);
    it.PrmByte = compare ? 1 : 100;
    for (int ch = 0; ch < kChannelCount; ++ch)
      it.PrmWords[ch] = compare ? 0x8307 : static_cast<std::uint16_t>(0x4000 + 16 * i + ch);
    addLine(c, i, (i + 1) % n, 0);
    if (compare) addLine(c, i, i - 9, 1);
  }
  c.Start = 0;
  return c;
}

void BM_Compile256Steps(benchmark::State& state) {
  const Chart chart = benchChart(255);
  SilentUserInterface ui;
  CompilerState compiled;
  for (auto _ : state) {
    if (!compileMotion(chart, ui, compiled)) state.SkipWithError("compile failed");
    benchmark::DoNotOptimize(compiled.records.data());
  }
  state.counters["steps"] = static_cast<double>(compiled.records.size());
}
BENCHMARK(BM_Compile256Steps)->Unit(benchmark::kMicrosecond);

void BM_RefuseHundredThousandItems(benchmark::State& state) {
  const Chart chart = benchChart(100000);
  SilentUserInterface ui;
  CompilerState compiled;
  for (auto _ : state) {
    if (compileMotion(chart, ui, compiled)) state.SkipWithError("a huge chart was compiled");
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RefuseHundredThousandItems)->Unit(benchmark::kMillisecond);

void BM_RebuildFromRecords(benchmark::State& state) {
  const Chart chart = benchChart(254);
  SilentUserInterface ui;
  CompilerState compiled;
  if (!compileMotion(chart, ui, compiled)) {
    state.SkipWithError("compile failed");
    return;
  }
  Chart rebuilt;
  for (auto _ : state) {
    rebuildMotionChart(rebuilt, compiled.records);
    benchmark::DoNotOptimize(rebuilt.items.data());
  }
}
BENCHMARK(BM_RebuildFromRecords)->Unit(benchmark::kMicrosecond);

}  // namespace
BENCHMARK_MAIN();
