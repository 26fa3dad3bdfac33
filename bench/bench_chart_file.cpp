// Reading and saving large chart files: 10,000 and 100,000 items, as many links with bend points;
// reading 10 MiB files of padding that promise millions of items.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "chart/Chart.h"
#include "chart/ChartFile.h"
#include "common/UserInterface.h"

namespace {

namespace fs = std::filesystem;

// Answers nothing and shows nothing; a benchmark run has nobody to ask.
class SilentUserInterface : public pvrj::UserInterface {
 public:
  int ShowMessageBox(int, int, const std::string&) override { return pvrj::kIdOk; }
  bool NumberPrompt(pvrj::Prompt&) override { return false; }
  void showStatus(const std::string&) override {}
  void setBusy(bool) override {}
  void setBoardState(const std::string&) override {}
  void processEvents() override {}
};

// A chart of n items in a grid, each joined to the next by a line with two bend points.
pvrj::Chart makeChart(int n) {
  pvrj::Chart chart;
  chart.Name = "ベンチ";
  // Filled directly: creating items one by one names each against all the others.
  chart.items.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    auto& item = chart.items[static_cast<std::size_t>(i)];
    item.Type = static_cast<std::uint8_t>(i % 3);
    item.Name = "項目" + std::to_string(i);
    item.Left = (i % 100) * 70;
    item.Top = (i / 100) * 40;
    item.Width = pvrj::kDefaultItemWidth;
    item.Height = pvrj::kDefaultItemHeight;
    item.Color = i % 7 == 0 ? pvrj::kButtonFaceColor : pvrj::kWhite;
    item.PrmByte = static_cast<std::uint8_t>(1 + i % 255);
    for (int ch = 0; ch < pvrj::kChannelCount; ++ch)
      item.PrmWords[ch] = static_cast<std::uint16_t>(16384 + (i + ch) % 180);
  }
  chart.links.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    auto& link = chart.links[static_cast<std::size_t>(i)];
    link.Main = i % 3 == 2 ? 1 : 0;
    link.Origin = i;
    link.Final = (i + 1) % n;
    link.Point = {{i % 1000, i / 10}, {i % 1000 + 35, i / 10 + 20}};
  }
  chart.Start = 0;
  return chart;
}

class TempFolder {
 public:
  TempFolder() {
    std::string tmpl = (fs::temp_directory_path() / "pvrj-bench-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

void BM_SaveChart(benchmark::State& state) {
  const pvrj::Chart chart = makeChart(static_cast<int>(state.range(0)));
  TempFolder folder;
  SilentUserInterface ui;
  for (auto _ : state) {
    if (!pvrj::saveChart(chart, folder.file("bench.VLB"), true, ui)) {
      state.SkipWithError("save failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["bytes"] = static_cast<double>(fs::file_size(folder.file("bench.VLB")));
}

void BM_ReadChart(benchmark::State& state) {
  TempFolder folder;
  SilentUserInterface ui;
  {
    const pvrj::Chart chart = makeChart(static_cast<int>(state.range(0)));
    pvrj::saveChart(chart, folder.file("bench.VLB"), true, ui);
  }
  for (auto _ : state) {
    pvrj::Chart chart;
    pvrj::ClientArea client;
    auto outcome = pvrj::openFile(chart, client, folder.file("bench.VLB"), ui);
    if (!outcome.opened || chart.itemCount() != state.range(0)) {
      state.SkipWithError("read failed");
      break;
    }
    benchmark::DoNotOptimize(chart.items.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A 10 MiB file of nothing but a header and a comment line of padding, promising items: the
// reader must answer at once, refusing a promise the file cannot keep and otherwise making only
// what the file's bytes could hold.
constexpr std::size_t kPaddingFileBytes = 10u << 20;
enum Padding : int { kKanaPadding = 0, kAsciiPadding = 1 };

void BM_ReadPaddingFile(benchmark::State& state) {
  TempFolder folder;
  SilentUserInterface ui;
  const std::string file = folder.file("padding.VLB");
  {
    std::string text = "[GraphicalEdit]\r\nType=0\r\nItems=" + std::to_string(state.range(1)) +
                       "\r\nLinks=0\r\n\r\n;";
    // Half-width katakana is one byte in the file and three once decoded.
    text.append(kPaddingFileBytes - text.size() - 2, state.range(0) == kKanaPadding ? '\xB1' : 'a');
    text += "\r\n";
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
      state.SkipWithError("cannot write the padding file");
      return;
    }
    std::fclose(out);
  }
  std::int64_t items = 0;
  for (auto _ : state) {
    pvrj::Chart chart;
    pvrj::ClientArea client;
    pvrj::openFile(chart, client, file, ui);
    items = chart.itemCount();
    benchmark::DoNotOptimize(chart.items.data());
  }
  state.counters["items"] = static_cast<double>(items);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kPaddingFileBytes));
}

constexpr int kKeptHeapBytes = 512 * 1024 * 1024;

BENCHMARK(BM_SaveChart)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadChart)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
// A chart of a few items, as most charts are: the cost of opening and reading a small file.
BENCHMARK(BM_ReadChart)->Arg(10)->Unit(benchmark::kMicrosecond);
// Items promised: as many as the decoded text would have allowed, then as many as the bytes hold.
BENCHMARK(BM_ReadPaddingFile)
    ->Args({kKanaPadding, 3'495'000})
    ->Args({kAsciiPadding, 1'165'000})
    ->Args({kAsciiPadding, 880'000})
    ->Unit(benchmark::kMillisecond);

}  // namespace

// With PVRJ_BENCH_REUSE_HEAP=1 the allocator keeps freed memory instead of handing large blocks
// back to the kernel, so every iteration reuses warm pages. That separates the program's own cost
// from the kernel's cost of fresh pages, which grows with the file but is paid once per read.
int main(int argc, char** argv) {
  const char* reuse = std::getenv("PVRJ_BENCH_REUSE_HEAP");
  if (reuse != nullptr && std::string(reuse) == "1") {
    mallopt(M_MMAP_MAX, 0);  // large blocks too come from the heap, which is then kept
    mallopt(M_TRIM_THRESHOLD, kKeptHeapBytes);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
