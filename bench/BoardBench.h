// What the board benchmarks share: pvrj-board on a pseudo-terminal, a port that counts every byte
// crossing the line, and a user interface that answers yes and keeps nothing.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "common/UserInterface.h"
#include "serial/BoardPort.h"

extern char** environ;

namespace pvrj::bench {

inline constexpr double kBitsPerByte = 10.0;
inline constexpr int kStartTimeoutMs = 10000;

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

// A chain of 29 POS items with distinct poses: with its END, 30 records, one full slot.
inline Chart fullSlotChart() {
  constexpr int kItems = 29;
  Chart chart;
  for (int i = 0; i < kItems; ++i) {
    const int item = chart.createItem(kItemPos, 0, 0);
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
  chart.Name = "BENCH";
  return chart;
}

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

// pvrj-board --device-only with extra arguments (--pace, --state FILE), killed when the benchmark
// ends.
class BoardChild {
 public:
  explicit BoardChild(std::vector<std::string> extra) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::string exe = PVRJ_BOARD_EXE;
    std::vector<std::string> args{exe, "--device-only"};
    args.insert(args.end(), extra.begin(), extra.end());
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
  ~BoardChild() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  BoardChild(const BoardChild&) = delete;
  BoardChild& operator=(const BoardChild&) = delete;
  const std::string& device() const { return device_; }

 private:
  pid_t pid_ = -1;
  std::string device_;
};

}  // namespace pvrj::bench
