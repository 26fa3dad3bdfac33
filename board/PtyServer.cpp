// The pseudo-terminal side of the virtual board: raw pty pair, a poll loop on the board's clock.
#include "board/PtyServer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace pvrj::board {
namespace {

std::string errnoText(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

bool makeRaw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  cfsetispeed(&t, B115200);
  cfsetospeed(&t, B115200);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

PtyServer::PtyServer(VirtualBoard& board) : board_(board) {}

std::int64_t PtyServer::nowMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Status PtyServer::open() {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return Status::failure(errnoText("pipe"));
  stopRead_.reset(pipeFds[0]);
  stopWrite_.reset(pipeFds[1]);

  master_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!master_) return Status::failure(errnoText("posix_openpt"));
  if (::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0) {
    return Status::failure(errnoText("cannot unlock the pseudo-terminal"));
  }
  char name[256];
  if (::ptsname_r(master_.get(), name, sizeof name) != 0) {
    return Status::failure(errnoText("ptsname"));
  }
  devicePath_ = name;
  slave_.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (!slave_) return Status::failure(errnoText("cannot open " + devicePath_));
  if (!makeRaw(slave_.get()) || !makeRaw(master_.get())) {
    return Status::failure(errnoText("cannot set raw mode on " + devicePath_));
  }
  const int flags = ::fcntl(master_.get(), F_GETFL);
  if (flags < 0 || ::fcntl(master_.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
    return Status::failure(errnoText("fcntl"));
  }
  return Status::success();
}

void PtyServer::requestStop() {
  if (stopWrite_) {
    [[maybe_unused]] ssize_t n = ::write(stopWrite_.get(), &kStopByte, 1);
  }
}

void PtyServer::requestPowerCycle() {
  if (stopWrite_) {
    [[maybe_unused]] ssize_t n = ::write(stopWrite_.get(), &kPowerCycleByte, 1);
  }
}

bool PtyServer::flushOutput() {
  while (!pending_.empty()) {
    const ssize_t n = ::write(master_.get(), pending_.data(), pending_.size());
    if (n > 0) {
      if (observer_) observer_(pending_.data(), static_cast<std::size_t>(n));
      pending_.erase(pending_.begin(), pending_.begin() + n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;  // nobody reads: keep them
    return false;
  }
  if (pending_.size() > kMaxPendingOutput) {
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(
                                                            pending_.size() - kMaxPendingOutput));
  }
  return true;
}

Status PtyServer::serve() {
  if (!master_) return Status::failure("the pseudo-terminal is not open");
  std::optional<std::int64_t> saveAt;
  const std::int64_t saveDelay =
      std::chrono::duration_cast<std::chrono::microseconds>(kStateSaveDelay).count();
  std::uint8_t buffer[4096];
  for (;;) {
    std::int64_t now = nowMicros();
    board_.advance(now);
    std::vector<std::uint8_t> out = board_.takeOutput(now);
    pending_.insert(pending_.end(), out.begin(), out.end());
    if (!flushOutput()) return Status::failure(errnoText("cannot write to " + devicePath_));
    if (board_.hungUp()) {
      // The device vanishes for the PC, as when a cable is pulled.
      slave_.reset();
      master_.reset();
      hungUp_ = true;
      return Status::success();
    }
    if (saver_ && board_.memoryChanged() && !saveAt) saveAt = now + saveDelay;
    if (saveAt && now >= *saveAt) {
      board_.clearMemoryChanged();
      saver_();
      saveAt.reset();
    }

    std::optional<std::int64_t> wake = board_.nextWake(now);
    if (saveAt && (!wake || *saveAt < *wake)) wake = saveAt;
    timespec timeout{};
    timespec* timeoutPtr = nullptr;
    if (wake) {
      const std::int64_t wait = std::max<std::int64_t>(0, *wake - now);
      timeout.tv_sec = static_cast<time_t>(wait / 1'000'000);
      timeout.tv_nsec = static_cast<long>((wait % 1'000'000) * 1000);
      timeoutPtr = &timeout;
    }
    pollfd fds[2] = {
        {master_.get(), static_cast<short>(POLLIN | (pending_.empty() ? 0 : POLLOUT)), 0},
        {stopRead_.get(), POLLIN, 0}};
    const int ready = ::ppoll(fds, 2, timeoutPtr, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Status::failure(errnoText("poll"));
    }
    if (fds[1].revents & POLLIN) {
      char requests[16];
      const ssize_t n = ::read(stopRead_.get(), requests, sizeof requests);
      bool stop = false;
      for (ssize_t i = 0; i < n; ++i) {
        if (requests[i] == kPowerCycleByte) {
          board_.powerCycle();
        } else {
          stop = true;
        }
      }
      if (stop) return Status::success();
      continue;
    }
    if (fds[0].revents & POLLIN) {
      const ssize_t n = ::read(master_.get(), buffer, sizeof buffer);
      if (n > 0) {
        board_.receive(buffer, static_cast<std::size_t>(n), nowMicros());
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLIN)) {
      // Should not happen while this side holds the slave open; wait without spinning.
      pollfd stop{stopRead_.get(), POLLIN, 0};
      const int r = ::poll(&stop, 1, static_cast<int>(kHangUpRetryInterval.count()));
      if (r > 0) return Status::success();
    }
  }
}

}  // namespace pvrj::board
