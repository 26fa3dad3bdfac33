// A pseudo-terminal for the port tests: the port opens the device end, the test plays the
// other side through the master; every wait has a deadline, and a watchdog ends a stuck test.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pvrj::test {

class PtyPair {
 public:
  PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
      closeMaster();
      return;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
      closeMaster();
      return;
    }
    device_ = name;
    // Never block: a write into a full line waits with a deadline instead.
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() { closeMaster(); }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0; }
  const std::string& device() const { return device_; }
  int master() const { return master_; }

  void closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  bool write(const std::vector<std::uint8_t>& bytes) { return write(bytes.data(), bytes.size()); }
  bool write(const std::string& s) {
    return write(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
  }
  // False when the line stays full for the timeout or the write fails.
  bool write(const std::uint8_t* data, std::size_t size,
             std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::write(master_, data + done, size - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
    }
    return true;
  }

  // Reads until count bytes came or timeout passed.
  std::vector<std::uint8_t> read(std::size_t count, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> out;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      if (!(p.revents & POLLIN)) break;
      std::uint8_t buf[4096];
      ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - out.size()));
      if (n > 0) out.insert(out.end(), buf, buf + n);
      if (n < 0 && errno != EINTR && errno != EAGAIN) break;
    }
    return out;
  }

  // True when nothing arrives within the quiet time.
  bool silent(std::chrono::milliseconds quiet) {
    pollfd p{master_, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(quiet.count())) == 0;
  }

 private:
  int master_ = -1;
  std::string device_;
};

// Aborts the whole test program if a test runs past its deadline, so nothing can hang CI.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit, std::string name)
      : name_(std::move(name)), thread_([this, limit] {
          std::unique_lock lock(mutex_);
          if (!cv_.wait_for(lock, limit, [this] { return done_; })) {
            std::fprintf(stderr, "watchdog: %s ran past its deadline\n", name_.c_str());
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

 private:
  std::string name_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

inline std::vector<std::uint8_t> pattern(std::size_t size, unsigned seed = 7) {
  std::vector<std::uint8_t> v(size);
  unsigned x = seed;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return v;
}

}  // namespace pvrj::test
