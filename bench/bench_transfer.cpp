// Writing a 30-record motion to a line-paced pvrj-board and reading it back, against the wire
// time of every byte exchanged (10 bits a byte at 115200 bit/s).
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "bench/BoardBench.h"
#include "compiler/Transfer.h"
#include "protocol/CommXOpener.h"
#include "serial/CommX.h"

namespace pvrj {
namespace {

using bench::BoardChild;
using bench::CountingPort;
using bench::kBitsPerByte;
using bench::SilentUserInterface;

void BM_WriteAndReadBack30Records(benchmark::State& state) {
  // Argument 1: the board passes bytes at the line rate; 0: at once, which shows the program's
  // own share of the time.
  BoardChild board(state.range(0) != 0 ? std::vector<std::string>{"--pace"}
                                       : std::vector<std::string>{});
  if (board.device().empty()) {
    state.SkipWithError("pvrj-board did not start");
    return;
  }
  TCommX serial;
  serial.SetPortName(board.device());
  configureBoardLine(serial);
  try {
    serial.Open();
  } catch (const ECommError& e) {
    state.SkipWithError(e.what());
    return;
  }
  CountingPort port(serial);
  SilentUserInterface ui;
  BoardLink link(port, ui);
  MotionTable table;
  CompilerState compiled;
  Chart source = bench::fullSlotChart();
  double wireSeconds = 0;
  double wallSeconds = 0;
  for (auto _ : state) {
    port.bytes = 0;
    Chart chart = source;
    TransferContext write{link, ui, chart, compiled, table, nullptr, nullptr, nullptr, nullptr};
    auto start = std::chrono::steady_clock::now();
    bool ok = writeChartToSlot(write, 0);
    Chart back;
    CompilerState read;
    TransferContext readBack{link, ui, back, read, table, nullptr, nullptr, nullptr, nullptr};
    ok = ok && readSlotIntoChart(readBack, 0) == pvrj::ReadResult::kRead;
    wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok || read.records != compiled.records) {
      state.SkipWithError("the transfer failed");
      break;
    }
    wireSeconds = static_cast<double>(port.bytes) * kBitsPerByte / kBoardBitRate;
    state.SetIterationTime(wallSeconds);
  }
  state.counters["bytes"] = static_cast<double>(port.bytes);
  state.counters["wire_ms"] = wireSeconds * 1000.0;
  state.counters["wall_ms"] = wallSeconds * 1000.0;
  state.counters["ratio"] = wireSeconds > 0 ? wallSeconds / wireSeconds : 0;
  serial.Close();
}
BENCHMARK(BM_WriteAndReadBack30Records)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pvrj

BENCHMARK_MAIN();
