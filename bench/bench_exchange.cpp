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

#include "protocol/BoardLink.h"
#include "protocol/CommXOpener.h"
#include "serial/CommX.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeUserInterface.h"

namespace {

using namespace pvrj;
using Clock = std::chrono::steady_clock;

constexpr int kExchanges = 1000;
constexpr int kRepetitions = 5;
// The side-by-side comparison alternates blocks this long, so both loops see the same load.
constexpr int kBlock = 50;
const std::uint8_t kHandshake[] = {0x0D};
const std::uint8_t kReadOptions[] = {0xF1, 0x00, 0xF1};
constexpr std::size_t kReplyLength = 3;

// Each loop talks to a board of its own, so both devices can stay open side by side.
test::BoardProcess& linkBoard() {
  static test::BoardProcess process;
  return process;
}
test::BoardProcess& referenceBoard() {
  static test::BoardProcess process;
  return process;
}

// The program's way: the link over the serial-port component.
class LinkLoop {
 public:
  bool open(const std::string& device) {
    configureBoardLine(comm_);
    CommXOpener opener(comm_, device);
    return !device.empty() && link_.OpenNamedPort(opener, device);
  }
  bool exchange() {
    std::uint16_t word = 0;
    bool ok = link_.CmdReadOptions(WorkingCopy, word);
    benchmark::DoNotOptimize(word);
    return ok;
  }

 private:
  TCommX comm_;
  test::FakeUserInterface ui_;
  BoardLink link_{comm_, ui_};
};

// The least a program can do: blocking write, poll and read on a raw terminal, no threads.
class ReferenceLoop {
 public:
  ~ReferenceLoop() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool open(const std::string& device) {
    if (device.empty()) return false;
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return false;
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B115200);
    ::tcsetattr(fd_, TCSANOW, &t);
    ::tcflush(fd_, TCIOFLUSH);
    return true;
  }
  bool exchange() {
    return writeAll(kHandshake, 1) && readExactly(buffer_, 1) &&
           writeAll(kReadOptions, sizeof kReadOptions) && readExactly(buffer_, kReplyLength);
  }

 private:
  bool readExactly(std::uint8_t* buffer, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, kReceiveTimeOut) <= 0) return false;
      ssize_t n = ::read(fd_, buffer + got, count - got);
      if (n <= 0) return false;
      got += static_cast<std::size_t>(n);
    }
    return true;
  }
  bool writeAll(const std::uint8_t* data, std::size_t count) {
    return ::write(fd_, data, count) == static_cast<ssize_t>(count);
  }

  int fd_ = -1;
  std::uint8_t buffer_[kReplyLength] = {};
};

template <class Loop>
void runLoop(benchmark::State& state, test::BoardProcess& board) {
  Loop loop;
  if (!loop.open(board.device())) {
    state.SkipWithError("cannot open the virtual board's device");
    return;
  }
  for (auto _ : state) {
    if (!loop.exchange()) {
      state.SkipWithError("exchange failed");
      break;
    }
  }
}

void BM_ReferenceReadOptions(benchmark::State& state) {
  runLoop<ReferenceLoop>(state, referenceBoard());
}
void BM_LinkReadOptions(benchmark::State& state) {
  runLoop<LinkLoop>(state, linkBoard());
}

BENCHMARK(BM_ReferenceReadOptions)
    ->Iterations(kExchanges)
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LinkReadOptions)
    ->Iterations(kExchanges)
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMicrosecond);

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// kExchanges of each loop in alternating blocks; prints the medians of kRepetitions rounds.
bool compareSideBySide() {
  LinkLoop link;
  ReferenceLoop reference;
  if (!link.open(linkBoard().device()) || !reference.open(referenceBoard().device())) return false;
  std::vector<double> linkUs, referenceUs;
  for (int round = 0; round < kRepetitions; ++round) {
    Clock::duration linkTime{}, referenceTime{};
    for (int done = 0; done < kExchanges; done += kBlock) {
      auto t0 = Clock::now();
      for (int i = 0; i < kBlock; ++i)
        if (!reference.exchange()) return false;
      auto t1 = Clock::now();
      for (int i = 0; i < kBlock; ++i)
        if (!link.exchange()) return false;
      auto t2 = Clock::now();
      referenceTime += t1 - t0;
      linkTime += t2 - t1;
    }
    using Us = std::chrono::duration<double, std::micro>;
    linkUs.push_back(Us(linkTime).count() / kExchanges);
    referenceUs.push_back(Us(referenceTime).count() / kExchanges);
  }
  const double l = median(linkUs), r = median(referenceUs);
  std::printf(
      "side by side, median of %d rounds of %d exchanges each: link %.1f us, reference %.1f us, "
      "added %.1f us, ratio %.2f\n",
      kRepetitions, kExchanges, l, r, l - r, l / r);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!compareSideBySide()) {
    std::fprintf(stderr, "bench_exchange: the side-by-side comparison could not run\n");
    return 1;
  }
  return 0;
}
