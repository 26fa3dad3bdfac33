// The safety work against the line-paced pvrj-board: a 30-record write with its check, and a full
// backup of a board holding 80 slots of 30 records, each against the wire time of every byte it
// exchanges (10 bits a byte at 115200 bit/s). Goal: at most 1.10 times the wire time.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>

#include "bench/BoardBench.h"
#include "board/BoardMemory.h"
#include "compiler/BoardImage.h"
#include "compiler/Transfer.h"
#include "protocol/CommXOpener.h"
#include "serial/CommX.h"

namespace pvrj {
namespace {

using bench::CountingPort;
using bench::kBitsPerByte;

// A board state file with every motion slot full: 80 slots of 30 records.
std::string fullBoardState() {
  board::BoardMemory memory;
  memory.records.resize(board::kRecordCapacity);
  for (int slot = 0; slot < board::kMotionSlotCount; ++slot) {
    for (int i = 0; i < board::kRecordsPerSlot; ++i) {
      board::Record& r =
          memory.records[static_cast<std::size_t>(slot * board::kRecordsPerSlot + i)];
      r.fill(static_cast<std::uint8_t>(slot + i));
    }
    memory.table[slot] = board::blankTableEntry();
    memory.table[slot][0] = board::kRecordsPerSlot;
  }
  char folder[] = "/tmp/pvrj-bench-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return {};
  const std::string path = std::string(folder) + "/full.state";
  return board::saveMemory(memory, path) ? path : std::string();
}

// The paced board behind the serial-port component, the counting port and the link.
struct Rig {
  explicit Rig(std::vector<std::string> extra) : board(std::move(extra)) {}
  bool open(benchmark::State& state) {
    if (board.device().empty()) {
      state.SkipWithError("pvrj-board did not start");
      return false;
    }
    serial.SetPortName(board.device());
    configureBoardLine(serial);
    try {
      serial.Open();
    } catch (const ECommError& e) {
      state.SkipWithError(e.what());
      return false;
    }
    return true;
  }
  void report(benchmark::State& state, double wallSeconds) {
    const double wireSeconds = static_cast<double>(port.bytes) * kBitsPerByte / kBoardBitRate;
    state.counters["bytes"] = static_cast<double>(port.bytes);
    state.counters["wire_ms"] = wireSeconds * 1000.0;
    state.counters["wall_ms"] = wallSeconds * 1000.0;
    state.counters["ratio"] = wireSeconds > 0 ? wallSeconds / wireSeconds : 0;
  }
  bench::BoardChild board;
  TCommX serial;
  CountingPort port{serial};
  bench::SilentUserInterface ui;
  BoardLink link{port, ui};
};

void BM_CheckedWrite30Records(benchmark::State& state) {
  // Argument 1: the board passes bytes at the line rate; 0: at once (the program's own share).
  Rig rig(state.range(0) != 0 ? std::vector<std::string>{"--pace"} : std::vector<std::string>{});
  if (!rig.open(state)) return;
  MotionTable table;
  const Chart source = bench::fullSlotChart();
  double wall = 0;
  for (auto _ : state) {
    rig.port.bytes = 0;
    Chart chart = source;
    CompilerState compiled;
    TransferContext write{rig.link, rig.ui,  chart,   compiled, table,
                          nullptr,  nullptr, nullptr, nullptr};
    write.safety.verify = true;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = writeChartToSlot(write, 0);
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
      state.SkipWithError("the write failed");
      break;
    }
    state.SetIterationTime(wall);
  }
  rig.report(state, wall);
  rig.serial.Close();
}
BENCHMARK(BM_CheckedWrite30Records)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_FullBackup(benchmark::State& state) {
  const std::string stateFile = fullBoardState();
  if (stateFile.empty()) {
    state.SkipWithError("the board's state file could not be made");
    return;
  }
  std::vector<std::string> extra{"--state", stateFile};
  if (state.range(0) != 0) extra.push_back("--pace");
  {
    Rig rig(extra);
    if (rig.open(state)) {
      double wall = 0;
      for (auto _ : state) {
        rig.port.bytes = 0;
        ImageTransfer t{rig.link, rig.ui, nullptr, WriteSafety{}};
        BoardImage image;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = backupBoard(t, image);
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!ok || image.records[kMotionSlots - 1].size() != kRecordsPerSlot) {
          state.SkipWithError("the backup failed");
          break;
        }
        state.SetIterationTime(wall);
      }
      rig.report(state, wall);
      rig.serial.Close();
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(stateFile).parent_path(), ec);
}
BENCHMARK(BM_FullBackup)->Arg(1)->Arg(0)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace pvrj

BENCHMARK_MAIN();
