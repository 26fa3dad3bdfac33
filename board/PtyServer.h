// Serves a virtual board behind a pseudo-terminal, so programs reach it as a serial device.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "board/VirtualBoard.h"
#include "common/Result.h"

namespace pvrj::board {

// How long the board's memory stays changed before the state is saved, so a burst of record
// writes costs one save.
inline constexpr std::chrono::milliseconds kStateSaveDelay{1000};
// Retry interval if the pseudo-terminal reports a hang-up although this side holds it open.
inline constexpr std::chrono::milliseconds kHangUpRetryInterval{50};
// Unread replies and reports kept while nobody reads the device; older bytes are dropped.
inline constexpr std::size_t kMaxPendingOutput = 64 * 1024;

// A file descriptor closed when it goes out of scope.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1);
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

class PtyServer {
 public:
  explicit PtyServer(VirtualBoard& board);

  // Opens the pseudo-terminal pair, both ends in raw mode (the handshake byte is a carriage
  // return, which a cooked line would translate or echo).
  Status open();
  const std::string& devicePath() const { return devicePath_; }
  // The descriptor a signal handler writes one byte to, to end serve().
  int stopDescriptor() const { return stopWrite_.get(); }
  // What a signal handler writes to stopDescriptor().
  static constexpr char kStopByte = 1;
  static constexpr char kPowerCycleByte = 2;
  // Thread- and signal-safe.
  void requestStop();
  // Switches the board off and on again (its memory stays); thread- and signal-safe.
  void requestPowerCycle();
  // Called with the board's memory when it should be saved (after changes settle).
  void setStateSaver(std::function<void()> saver) { saver_ = std::move(saver); }
  // Called on the serving thread with the bytes each write handed to the PC's side, right after
  // the write (timing measurements).
  void setOutputObserver(std::function<void(const std::uint8_t*, std::size_t)> observer) {
    observer_ = std::move(observer);
  }
  // Serves until requestStop() or until the board hangs up (then the device is closed, and
  // hungUp() is true). Fails only when the pseudo-terminal breaks.
  Status serve();
  bool hungUp() const { return hungUp_; }

 private:
  static std::int64_t nowMicros();
  bool flushOutput();

  VirtualBoard& board_;
  UniqueFd master_;
  UniqueFd slave_;  // held open so the master never sees a hang-up while the PC reopens the port
  UniqueFd stopRead_;
  UniqueFd stopWrite_;
  std::string devicePath_;
  std::vector<std::uint8_t> pending_;
  std::function<void()> saver_;
  std::function<void(const std::uint8_t*, std::size_t)> observer_;
  bool hungUp_ = false;
};

}  // namespace pvrj::board
