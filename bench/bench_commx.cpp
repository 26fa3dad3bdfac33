// Cost of one small exchange (write a request, read the reply of the same length) through the
// serial port component, beside a plain blocking write/poll/read loop on the same kind of
// pseudo-terminal. The other end echoes every byte at once.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "protocol/CommXOpener.h"
#include "serial/CommX.h"

namespace {

constexpr std::uint8_t kRequest[] = {0xF1, 0x00, 0xF1};  // the size of an option-word exchange
constexpr int kEchoPollMs = 1000;

// A pseudo-terminal whose master side echoes everything back from its own thread.
class EchoPty {
 public:
  EchoPty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) return;
    device_ = name;
    stop_ = eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { echo(); });
  }
  ~EchoPty() {
    std::uint64_t one = 1;
    if (stop_ >= 0 && write(stop_, &one, sizeof one) < 0) {
    }
    if (thread_.joinable()) thread_.join();
    if (stop_ >= 0) close(stop_);
    if (master_ >= 0) close(master_);
  }
  bool ok() const { return !device_.empty() && stop_ >= 0; }
  const std::string& device() const { return device_; }

 private:
  void echo() {
    pollfd fds[2] = {{master_, POLLIN, 0}, {stop_, POLLIN, 0}};
    std::uint8_t buf[256];
    for (;;) {
      if (poll(fds, 2, kEchoPollMs) < 0) continue;
      if (fds[1].revents) return;
      if (fds[0].revents & POLLIN) {
        ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0 && write(master_, buf, static_cast<std::size_t>(n)) < 0) return;
      } else if (fds[0].revents & (POLLHUP | POLLERR)) {
        // No one holds the device end yet; wait for the benchmark to open it.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
  }

  int master_ = -1;
  int stop_ = -1;
  std::string device_;
  std::thread thread_;
};

// The floor: one thread, blocking write, poll until the reply is complete.
// Opens the port on device with the board link's settings; false (benchmark skipped) on failure.
bool openAsBoardLink(pvrj::TCommX& port, pvrj::QueueDispatcher& dispatcher,
                     const std::string& device, benchmark::State& state) {
  port.SetDevicePath(device);
  pvrj::configureBoardLine(port);
  port.SetWaitHook([&dispatcher] { dispatcher.drain(); });
  try {
    port.Open();
  } catch (const pvrj::ECommError& e) {
    state.SkipWithError(e.what());
    return false;
  }
  return true;
}

void BM_ReferenceExchange(benchmark::State& state) {
  EchoPty pty;
  if (!pty.ok()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  int fd = open(pty.device().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &t);
  std::uint8_t reply[sizeof kRequest];
  for (auto _ : state) {
    if (write(fd, kRequest, sizeof kRequest) != sizeof kRequest) {
      state.SkipWithError("write failed");
      break;
    }
    std::size_t got = 0;
    while (got < sizeof reply) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 300) <= 0) break;
      ssize_t n = read(fd, reply + got, sizeof reply - got);
      if (n > 0) got += static_cast<std::size_t>(n);
    }
    if (got != sizeof reply) {
      state.SkipWithError("reply missing");
      break;
    }
  }
  close(fd);
}
BENCHMARK(BM_ReferenceExchange)->UseRealTime()->MinTime(2.0);

// The same exchange through the port, as the board link does it.
void BM_CommXExchange(benchmark::State& state) {
  EchoPty pty;
  if (!pty.ok()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  pvrj::QueueDispatcher dispatcher;
  pvrj::TCommX port(&dispatcher);
  if (!openAsBoardLink(port, dispatcher, pty.device(), state)) return;
  pvrj::BoardPort& link = port;
  std::uint8_t reply[sizeof kRequest];
  for (auto _ : state) {
    link.Write(kRequest, sizeof kRequest);
    if (link.Read(reply, sizeof reply) != sizeof reply) {
      state.SkipWithError("reply missing");
      break;
    }
  }
  port.Close();
}
BENCHMARK(BM_CommXExchange)->UseRealTime()->MinTime(2.0);

// Both exchanges in turn, so that load from elsewhere on the machine hits them alike; the
// counters give the median cost of each and their ratio.
void BM_PairedExchange(benchmark::State& state) {
  EchoPty refPty;
  EchoPty portPty;
  if (!refPty.ok() || !portPty.ok()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  int fd = open(refPty.device().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);

  pvrj::QueueDispatcher dispatcher;
  pvrj::TCommX port(&dispatcher);
  if (!openAsBoardLink(port, dispatcher, portPty.device(), state)) {
    close(fd);
    return;
  }
  pvrj::BoardPort& link = port;
  std::vector<double> refTimes, portTimes;
  std::uint8_t reply[sizeof kRequest];
  using Clock = std::chrono::steady_clock;
  auto us = [](Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); };
  auto reference = [&] {
    if (write(fd, kRequest, sizeof kRequest) != sizeof kRequest) return false;
    std::size_t got = 0;
    while (got < sizeof reply) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 300) <= 0) return false;
      ssize_t n = read(fd, reply + got, sizeof reply - got);
      if (n > 0) got += static_cast<std::size_t>(n);
    }
    return true;
  };
  auto throughPort = [&] {
    link.Write(kRequest, sizeof kRequest);
    return link.Read(reply, sizeof reply) == sizeof reply;
  };
  bool referenceFirst = true;
  for (auto _ : state) {
    // Alternate which goes first, so neither always runs on a warmed-up path.
    auto t0 = Clock::now();
    bool ok = referenceFirst ? reference() : throughPort();
    auto t1 = Clock::now();
    ok = ok && (referenceFirst ? throughPort() : reference());
    auto t2 = Clock::now();
    if (!ok) {
      state.SkipWithError("reply missing");
      break;
    }
    refTimes.push_back(us(referenceFirst ? t1 - t0 : t2 - t1));
    portTimes.push_back(us(referenceFirst ? t2 - t1 : t1 - t0));
    referenceFirst = !referenceFirst;
  }
  port.Close();
  close(fd);
  if (refTimes.empty()) return;
  auto median = [](std::vector<double>& v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  double ref = median(refTimes);
  double mine = median(portTimes);
  state.counters["reference_us"] = ref;
  state.counters["port_us"] = mine;
  state.counters["added_us"] = mine - ref;
  state.counters["ratio"] = mine / ref;
}
BENCHMARK(BM_PairedExchange)->UseRealTime()->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
