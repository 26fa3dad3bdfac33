// Writing a 30-record motion to a line-paced pvrj-board and reading it back, against the wire
// time of every byte exchanged (10 bits a byte at 115200 bit/s).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "common/UserInterface.h"
#include "compiler/Transfer.h"
#include "protocol/CommXOpener.h"
#include "serial/CommX.h"

extern char** environ;

namespace pvrj {
namespace {

constexpr double kBitsPerByte = 10.0;
constexpr int kStartTimeoutMs = 10000;
constexpr int kMotionItems = 29;  // plus END: 30 records, one full slot

// Counts every byte that crosses the line in either direction.
class CountingPort : public BoardPort {
 public:
  explicit CountingPort(BoardPort& inner) : inner_(inner) {}
  std::size_t bytes = 0;
  bool IsOpen() const override { return inner_.IsOpen(); }
  void Write(const std::uint8_t* data, std::size_t count) override {
    bytes += count;
    inner_.Write(data, count);
  }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    std::size_t got = inner_.Read(buffer, count);
    bytes += got;
    return got;
  }
  void PurgeReceive() override { inner_.PurgeReceive(); }
  void PurgeTransmit() override { inner_.PurgeTransmit(); }
  std::size_t InQueueCount() override { return inner_.InQueueCount(); }
  int TimeOutReceive() const override { return inner_.TimeOutReceive(); }
  void SetTimeOutReceive(int ms) override { inner_.SetTimeOutReceive(ms); }
  void SetWaitHook(std::function<void()> hook) override { inner_.SetWaitHook(std::move(hook)); }

 private:
  BoardPort& inner_;
};

// Answers everything with yes and keeps nothing.
class SilentUserInterface : public UserInterface {
 public:
  int ShowMessageBox(int, int, const std::string&) override { return kIdYes; }
  bool NumberPrompt(Prompt&) override { return false; }
  void showStatus(const std::string&) override {}
  void setBusy(bool) override {}
  void setBoardState(const std::string&) override {}
  void processEvents() override {}
};

// pvrj-board --device-only, paced or not, killed when the benchmark ends.
class PacedBoard {
 public:
  explicit PacedBoard(bool pace) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::string exe = PVRJ_BOARD_EXE;
    std::vector<std::string> args{exe, "--device-only"};
    if (pace) args.push_back("--pace");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (::poll(&p, 1, kStartTimeoutMs) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n')
      device_.push_back(c);
    ::close(out[0]);
  }
  ~PacedBoard() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& device() const { return device_; }

 private:
  pid_t pid_ = -1;
  std::string device_;
};

Chart motionChart() {
  Chart chart;
  for (int i = 0; i < kMotionItems; ++i) {
    int item = chart.createItem(kItemPos, 0, 0);
    for (int ch = 0; ch < kChannelCount; ++ch)
      chart.items[item].PrmWords[ch] = static_cast<std::uint16_t>(16384 + i * 10 + ch);
    if (i > 0) {
      ChartLink link;
      link.Origin = i - 1;
      link.Final = i;
      chart.links.push_back(link);
    }
  }
  chart.Start = 0;
  return chart;
}

void BM_WriteAndReadBack30Records(benchmark::State& state) {
  // Argument 1: the board passes bytes at the line rate; 0: at once, which shows the program's
  // own share of the time.
  PacedBoard board(state.range(0) != 0);
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
  Chart source = motionChart();
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
