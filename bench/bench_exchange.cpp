// Cost of one board exchange through the link and the serial port, beside a plain blocking loop
// that moves the same bytes over the same kind of pseudo-terminal.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#define PVRJ_BOARD_EXE PVRJ_BINARY_DIR "/board/pvrj-board"
#include "protocol/BoardLink.h"
#include "protocol/CommXOpener.h"
#include "serial/CommX.h"
#include "tests/protocol/ChildProcess.h"
#include "tests/support/FakeUserInterface.h"

namespace {

using namespace pvrj;

constexpr int kExchanges = 1000;
constexpr int kReadTimeOutMs = 300;
const std::uint8_t kHandshake[] = {0x0D};
const std::uint8_t kReadOptions[] = {0xF1, 0x00, 0xF1};
constexpr std::size_t kReplyLength = 3;

constexpr int kRepetitions = 5;

// Seconds per exchange of each run of each loop, for the comparison printed at the end.
std::vector<double> gLinkSeconds;
std::vector<double> gReferenceSeconds;

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

test::BoardProcess& board() {
  static test::BoardProcess process;
  return process;
}

void BM_LinkReadOptions(benchmark::State& state) {
  if (board().device().empty()) {
    state.SkipWithError("pvrj-board did not start");
    return;
  }
  TCommX comm;
  test::FakeUserInterface ui;
  comm.SetBitRate(115200);
  comm.SetFlowCtrl(cfcNone);
  BoardLink link(comm, ui);
  CommXOpener opener(comm, board().device());
  if (!link.OpenNamedPort(opener, board().device())) {
    state.SkipWithError("cannot open the board's device");
    return;
  }
  std::uint16_t word = 0;
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (!link.CmdReadOptions(WorkingCopy, word)) {
      state.SkipWithError("exchange failed");
      break;
    }
    benchmark::DoNotOptimize(word);
  }
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  gLinkSeconds.push_back(took.count() / static_cast<double>(state.iterations()));
  comm.Close();
}

// Reads exactly count bytes with poll and read, or fails after the receive time-out.
bool readExactly(int fd, std::uint8_t* buffer, std::size_t count) {
  std::size_t got = 0;
  while (got < count) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kReadTimeOutMs) <= 0) return false;
    ssize_t n = ::read(fd, buffer + got, count - got);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t count) {
  return ::write(fd, data, count) == static_cast<ssize_t>(count);
}

void BM_ReferenceReadOptions(benchmark::State& state) {
  if (board().device().empty()) {
    state.SkipWithError("pvrj-board did not start");
    return;
  }
  int fd = ::open(board().device().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    state.SkipWithError("cannot open the board's device");
    return;
  }
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::cfsetspeed(&t, B115200);
  ::tcsetattr(fd, TCSANOW, &t);
  ::tcflush(fd, TCIOFLUSH);
  std::uint8_t buffer[kReplyLength];
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    bool ok = writeAll(fd, kHandshake, 1) && readExactly(fd, buffer, 1) &&
              writeAll(fd, kReadOptions, sizeof kReadOptions) &&
              readExactly(fd, buffer, kReplyLength);
    if (!ok) {
      state.SkipWithError("exchange failed");
      break;
    }
    benchmark::DoNotOptimize(buffer);
  }
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  gReferenceSeconds.push_back(took.count() / static_cast<double>(state.iterations()));
  ::close(fd);
}

BENCHMARK(BM_ReferenceReadOptions)
    ->Iterations(kExchanges)
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LinkReadOptions)
    ->Iterations(kExchanges)
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double link = median(gLinkSeconds);
  const double reference = median(gReferenceSeconds);
  if (link > 0 && reference > 0) {
    std::printf(
        "median per exchange of %d runs: link %.1f us, reference %.1f us, added %.1f us, "
        "ratio %.2f\n",
        kRepetitions, link * 1e6, reference * 1e6, (link - reference) * 1e6, link / reference);
  }
  return 0;
}
