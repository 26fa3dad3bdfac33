// The serial port component on POSIX termios, with its transmit and receive threads.
#include "serial/CommX.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <system_error>
#include <utility>

#include "common/SettingsFolder.h"

namespace pvrj {
namespace {

using Clock = std::chrono::steady_clock;

// Bytes taken from the device per read() call.
constexpr std::size_t kReadChunk = 4096;
// How often a receive thread standing aside for a waiting Read looks whether it still waits.
constexpr std::chrono::milliseconds kReceiveStandAside{1};
// A purge or close never waits longer than this for the transmit thread to let go of a piece.
constexpr std::chrono::milliseconds kPurgeDeadline{5000};

struct SpeedEntry {
  int rate;
  speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool speedCode(int rate, speed_t& code) {
  for (const SpeedEntry& e : kSpeeds) {
    if (e.rate == rate) {
      code = e.code;
      return true;
    }
  }
  return false;
}

int charTimeFor(int bitRate) {
  // A rate below 10 bit/s would divide by zero; it gets the slowest character time instead.
  return 1000 / std::max(1, bitRate / 10) + 1;
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void signalEvent(int fd) {
  if (fd < 0) return;
  std::uint64_t one = 1;
  while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void clearEvent(int fd) {
  std::uint64_t value;
  while (::read(fd, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// QueueDispatcher

void QueueDispatcher::post(std::function<void()> call) {
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  posted_.notify_all();
}

std::size_t QueueDispatcher::drain() {
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard lock(mutex_);
    calls.swap(calls_);
  }
  for (auto& call : calls) call();
  return calls.size();
}

std::size_t QueueDispatcher::waitAndDrain(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(mutex_);
    posted_.wait_for(lock, timeout, [this] { return !calls_.empty(); });
  }
  return drain();
}

std::size_t QueueDispatcher::pending() const {
  std::lock_guard lock(mutex_);
  return calls_.size();
}

// ---------------------------------------------------------------------------------------------
// Construction, open and close

TCustomCommX::TCustomCommX(MainThreadDispatcher* dispatcher) : dispatcher_(dispatcher) {}

TCustomCommX::~TCustomCommX() {
  Close();
  alive_->alive = false;
}

void TCustomCommX::SetDispatcher(MainThreadDispatcher* dispatcher) {
  if (!opened()) dispatcher_ = dispatcher;
}

std::string TCustomCommX::DeviceName() const {
  if (!devicePath_.empty()) return devicePath_;
  return comPortDevice(portNo_);
}

void TCustomCommX::Open() {
  if (opened()) throw ECommError(kCommMsgAlreadyOpen);
  std::string path = DeviceName();
  if (path.empty()) throw ECommError(kCommMsgOpenFailed);
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw ECommError(kCommMsgOpenFailed);
  // Only a terminal can be a serial line, and only one program may hold it.
  if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::tcgetattr(fd, &tios_) != 0) {
    ::close(fd);
    throw ECommError(kCommMsgOpenFailed);
  }
  ::ioctl(fd, TIOCEXCL);
  // Ask the driver to pass received bytes on at once rather than batching them: every exchange
  // waits for a reply, and USB adapters otherwise hold bytes back for up to 16 ms. Devices that
  // know no such setting (pseudo-terminals) refuse, which changes nothing.
  if (serial_struct info{}; ::ioctl(fd, TIOCGSERIAL, &info) == 0) {
    info.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &info);
  }
  fd_ = fd;
  {
    std::lock_guard lock(CounterLock);
    pendingBytes_ = 0;
    pendingBuffers_ = 0;
  }
  try {
    checkBuffers();
    ::tcflush(fd_, TCOFLUSH);
    ::tcflush(fd_, TCIFLUSH);
    // Raw bytes both ways: the handshake byte 0x0D must not become a line end or an echo.
    ::cfmakeraw(&tios_);
    tios_.c_cflag |= CLOCAL | CREAD;
    tios_.c_cc[VMIN] = 0;
    tios_.c_cc[VTIME] = 0;
    applyBitRate();
    applyCharSize();
    applyParity();
    applyStopBit();
    applyFlowCtrl();
    applyTimeOuts();
    applyXonChar();
    applyXoffChar();

    txWake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    rxWake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    readWake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    {
      std::lock_guard lock(rxMutex_);
      rxBuffer_.clear();
      readWakeSet_ = false;
      readerWatching_ = false;
      rxCapacity_ =
          std::max<std::size_t>(static_cast<std::size_t>(bufLenReceive_), kMinReceiveCapacity);
    }
    vanished_ = false;
    purging_ = false;
    receiveStop_ = false;
    dataPending_ = false;
    breakPending_ = false;
    errorBits_ = 0;
    countersUsable_ = readLineCounters(counters_);  // later totals count from here

    if (txWake_ < 0) throw ECommError(kCommMsgTransThread);
    try {
      {
        std::lock_guard lock(queueMutex_);
        transmitStop_ = false;
        queue_.clear();
      }
      charTime_ = charTimeFor(bitRate_);
      transmitThread_ = std::thread(&TCustomCommX::transmitLoop, this);
    } catch (const std::system_error&) {
      throw ECommError(kCommMsgTransThread);
    }
    if (rxWake_ < 0 || readWake_ < 0) throw ECommError(kCommMsgReceiveThread);
    try {
      receiveThread_ = std::thread(&TCustomCommX::receiveLoop, this);
    } catch (const std::system_error&) {
      throw ECommError(kCommMsgReceiveThread);
    }
  } catch (...) {
    closeDevice();
    throw;
  }
}

void TCustomCommX::Close() {
  if (!opened()) return;
  SetDtr(false);
  SetRts(false);
  PurgeTransmit();
  PurgeReceive();
  closeDevice();
}

// Ends both threads and releases the device; safe on a half-opened port.
void TCustomCommX::closeDevice() {
  {
    std::lock_guard lock(queueMutex_);
    transmitStop_ = true;
  }
  queueChanged_.notify_all();
  signalEvent(txWake_);
  {
    std::lock_guard lock(rxMutex_);
    receiveStop_ = true;
    readerWatching_ = false;
  }
  receiveResume_.notify_all();
  signalEvent(rxWake_);
  if (transmitThread_.joinable()) transmitThread_.join();
  if (receiveThread_.joinable()) receiveThread_.join();

  {
    std::lock_guard lock(queueMutex_);
    queue_.clear();
  }
  {
    std::lock_guard lock(CounterLock);
    pendingBytes_ = 0;
    pendingBuffers_ = 0;
  }
  pieceDone_.notify_all();
  {
    // A read still waiting (the port closed from inside its wait hook) gives up.
    std::lock_guard lock(rxMutex_);
    for (ReadRequest* r : reads_) r->aborted = true;
    reads_.clear();
    rxBuffer_.clear();
  }

  if (fd_ >= 0) {
    // A pseudo-terminal keeps its exclusive flag after we close; clear it for the next opener.
    ::ioctl(fd_, TIOCNXCL);
  }
  closeFd(fd_);
  vanished_ = false;
  closeFd(txWake_);
  closeFd(rxWake_);
  closeFd(readWake_);
  // Notifications still queued for the closed port are dropped when they run.
  ++generation_;
}

void TCustomCommX::reopen() {
  if (!opened()) return;
  Close();
  Open();
}

// ---------------------------------------------------------------------------------------------
// Settings

void TCustomCommX::applyTermios(const char* message) {
  if (!opened()) return;
  // Some devices (pseudo-terminals among them) quietly keep their own data bits or parity:
  // a setting counts only if the device took it. On failure the record follows the device again,
  // so a later, unrelated setting is not refused for this one.
  constexpr tcflag_t kLineBits = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;
  bool ok = ::tcsetattr(fd_, TCSANOW, &tios_) == 0;
  termios actual{};
  if (::tcgetattr(fd_, &actual) != 0) throw ECommError(message);
  ok = ok && (actual.c_cflag & kLineBits) == (tios_.c_cflag & kLineBits) &&
       ::cfgetospeed(&actual) == ::cfgetospeed(&tios_);
  if (!ok) {
    tios_ = actual;
    throw ECommError(message);
  }
}

void TCustomCommX::applyBitRate() {
  if (!opened()) return;
  speed_t code;
  if (!speedCode(bitRate_, code) || ::cfsetispeed(&tios_, code) != 0 ||
      ::cfsetospeed(&tios_, code) != 0) {
    throw ECommError(kCommMsgBitRate);
  }
  applyTermios(kCommMsgBitRate);
}

void TCustomCommX::applyCharSize() {
  if (!opened()) return;
  tcflag_t size;
  switch (charSize_) {
    case 5:
      size = CS5;
      break;
    case 6:
      size = CS6;
      break;
    case 7:
      size = CS7;
      break;
    case 8:
      size = CS8;
      break;
    default:
      throw ECommError(kCommMsgCharSize);
  }
  tios_.c_cflag = (tios_.c_cflag & ~CSIZE) | size;
  applyTermios(kCommMsgCharSize);
}

void TCustomCommX::applyParity() {
  if (!opened()) return;
  tios_.c_cflag &= ~(PARENB | PARODD);
  tios_.c_iflag &= ~INPCK;
  if (parityBit_ != cpbNone) {
    tios_.c_cflag |= PARENB;
    tios_.c_iflag |= INPCK;
    if (parityBit_ == cpbOdd) tios_.c_cflag |= PARODD;
  }
  applyTermios(kCommMsgParity);
}

void TCustomCommX::applyStopBit() {
  if (!opened()) return;
  // termios knows one or two stop bits; a UART sends 1.5 for "two" at five data bits.
  if (stopBit_ == csb1) {
    tios_.c_cflag &= ~CSTOPB;
  } else {
    tios_.c_cflag |= CSTOPB;
  }
  applyTermios(kCommMsgStopBits);
}

void TCustomCommX::applyFlowCtrl() {
  flowShared_ = flowCtrl_;
  if (!opened()) return;
  tios_.c_cflag &= ~CRTSCTS;
  tios_.c_iflag &= ~(IXON | IXOFF | IXANY);
  if (flowCtrl_ == cfcRtsCts) tios_.c_cflag |= CRTSCTS;
  if (flowCtrl_ == cfcXonXoff) tios_.c_iflag |= IXON | IXOFF;
  applyTermios(kCommMsgFlowCtrl);
  // Linux has no DSR output flow; DTR simply stays raised. In the half-duplex modes RTS rests
  // at its idle level until the transmit thread keys it for a burst.
  setModemLine(TIOCM_DTR, true);
  if (flowCtrl_ != cfcRtsCts) setModemLine(TIOCM_RTS, flowCtrl_ != cfcHalfHigh);
}

void TCustomCommX::applyTimeOuts() {
  // Both time-outs are enforced by the component's own waits; a negative one counts as zero.
  timeOutTransShared_ = std::max(0, timeOutTrans_);
}

void TCustomCommX::applyXonChar() {
  if (!opened()) return;
  if (xonChar_ == xoffChar_) throw ECommError(kCommMsgXonChar);
  tios_.c_cc[VSTART] = static_cast<cc_t>(xonChar_);
  applyTermios(kCommMsgXonChar);
}

void TCustomCommX::applyXoffChar() {
  if (!opened()) return;
  if (xonChar_ == xoffChar_) throw ECommError(kCommMsgXoffChar);
  tios_.c_cc[VSTOP] = static_cast<cc_t>(xoffChar_);
  applyTermios(kCommMsgXoffChar);
}

void TCustomCommX::checkBuffers() {
  if (bufLenTrans_ < 1 || bufLenReceive_ < 1) throw ECommError(kCommMsgBuffers);
}

void TCustomCommX::setModemLine(int line, bool on) {
  if (!opened()) return;
  // Pseudo-terminals have no modem lines; that is not an error for the caller.
  ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line);
}

void TCustomCommX::SetPortNo(int portNo) {
  portNo_ = portNo;
  devicePath_.clear();
  reopen();
}

void TCustomCommX::SetDevicePath(const std::string& path) {
  devicePath_ = path;
  reopen();
}

bool TCustomCommX::SetPortName(const std::string& name) {
  if (!name.empty() && name.front() == '/') {
    SetDevicePath(name);
    return true;
  }
  if (name.size() > 3 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "com") == 0)) {
    std::string digits = name.substr(3);
    if (digits.size() <= 6 &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      int n = std::stoi(digits);
      if (n >= 1) {
        SetPortNo(n);
        return true;
      }
    }
  }
  return false;
}

void TCustomCommX::SetBitRate(int bitRate) {
  bitRate_ = bitRate;
  if (!opened()) return;
  charTime_ = charTimeFor(bitRate_);
  applyBitRate();
}

void TCustomCommX::SetCharSize(int charSize) {
  charSize_ = charSize;
  applyCharSize();
}

void TCustomCommX::SetParityBit(TCommParityBits parity) {
  if (parity < cpbNone || parity > cpbEven) return;
  parityBit_ = parity;
  applyParity();
}

void TCustomCommX::SetStopBit(TCommStopBits stopBit) {
  if (stopBit < csb1 || stopBit > csb2) return;
  stopBit_ = stopBit;
  applyStopBit();
}

void TCustomCommX::SetFlowCtrl(TCommFlowCtrls flowCtrl) {
  flowCtrl_ = flowCtrl;
  applyFlowCtrl();
}

void TCustomCommX::SetTimeOutTrans(int milliseconds) {
  timeOutTrans_ = milliseconds;
  applyTimeOuts();
}

void TCustomCommX::SetTimeOutReceive(int milliseconds) {
  timeOutReceive_ = milliseconds;
  applyTimeOuts();
}

void TCustomCommX::SetXonChar(char c) {
  xonChar_ = c;
  applyXonChar();
}

void TCustomCommX::SetXoffChar(char c) {
  xoffChar_ = c;
  applyXoffChar();
}

void TCustomCommX::SetBufLenTrans(int bytes) {
  bufLenTrans_ = bytes;
  if (opened()) checkBuffers();
}

void TCustomCommX::SetBufLenReceive(int bytes) {
  bufLenReceive_ = bytes;
  if (!opened()) return;
  checkBuffers();
  {
    std::lock_guard lock(rxMutex_);
    rxCapacity_ = std::max<std::size_t>(static_cast<std::size_t>(bytes), kMinReceiveCapacity);
  }
  applyFlowCtrl();
}

void TCustomCommX::SetWaitHook(std::function<void()> hook) {
  waitHook_ = std::move(hook);
}

void TCustomCommX::SetRts(bool on) {
  setModemLine(TIOCM_RTS, on);
}

void TCustomCommX::SetDtr(bool on) {
  setModemLine(TIOCM_DTR, on);
}

int TCustomCommX::PendingBytes() const {
  std::lock_guard lock(CounterLock);
  return pendingBytes_;
}

int TCustomCommX::PendingBuffers() const {
  std::lock_guard lock(CounterLock);
  return pendingBuffers_;
}

// ---------------------------------------------------------------------------------------------
// Sending

bool TCustomCommX::Write(const char* data, int count) {
  if (count == 0) return true;
  if (count < 0 || data == nullptr) return false;
  return queueBytes(reinterpret_cast<const std::uint8_t*>(data), static_cast<std::size_t>(count));
}

void TCustomCommX::Write(const std::uint8_t* data, std::size_t count) {
  if (count == 0 || data == nullptr) return;
  queueBytes(data, count);
}

bool TCustomCommX::queueBytes(const std::uint8_t* data, std::size_t count) {
  if (!opened() || !transmitThread_.joinable() || vanished_) return false;
  // With nothing queued the bytes may go straight out: the order cannot change, and an
  // exchange saves the hand-over to the transmit thread. Half-duplex bursts always go through
  // the thread, which keys RTS around them.
  bool idle;
  {
    std::lock_guard lock(CounterLock);
    idle = pendingBuffers_ == 0;
  }
  if (idle && !halfDuplex()) {
    std::size_t sent = writeDirect(data, count);
    data += sent;
    count -= sent;
  }
  const std::size_t pieceSize = static_cast<std::size_t>(std::max(1, bufLenTrans_));
  const std::uint64_t generation = generation_;
  while (count > 0) {
    if (!opened() || !transmitThread_.joinable() || generation != generation_) return false;
    {
      std::unique_lock lock(CounterLock);
      if (pendingBuffers_ >= kMaxQueuedPieces) {
        // The queue is full: let the user interface breathe until the thread takes a piece.
        pieceDone_.wait_for(lock, kWaitHookInterval,
                            [this] { return pendingBuffers_ < kMaxQueuedPieces; });
        if (pendingBuffers_ >= kMaxQueuedPieces) {
          lock.unlock();
          std::shared_ptr<AliveToken> alive = alive_;
          callWaitHook();
          if (!alive->alive) return false;  // destroyed by the event handling
          continue;
        }
      }
    }
    std::size_t size = std::min(pieceSize, count);
    std::vector<std::uint8_t> piece;
    try {
      piece.assign(data, data + size);
    } catch (const std::bad_alloc&) {
      // A piece that cannot be copied is dropped, as a driver would drop it.
      data += size;
      count -= size;
      continue;
    }
    {
      std::lock_guard lock(CounterLock);
      pendingBytes_ += static_cast<int>(size);
      pendingBuffers_ += 1;
    }
    {
      std::lock_guard lock(queueMutex_);
      queue_.push_back(std::move(piece));
    }
    queueChanged_.notify_one();
    data += size;
    count -= size;
  }
  return true;
}

std::size_t TCustomCommX::writeDirect(const std::uint8_t* data, std::size_t count) {
  std::lock_guard lock(WriteLock);
  std::size_t sent = 0;
  while (sent < count) {
    ssize_t n = ::write(fd_, data + sent, count - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      // Full or failing: the transmit thread waits for room or reports the failure.
      break;
    }
  }
  return sent;
}

void TCustomCommX::PurgeTransmit() {
  if (!transmitThread_.joinable()) {
    if (opened()) {
      std::lock_guard lock(WriteLock);
      ::tcflush(fd_, TCOFLUSH);
    }
    return;
  }
  purging_ = true;
  signalEvent(txWake_);
  {
    std::lock_guard lock(WriteLock);
    ::tcflush(fd_, TCOFLUSH);
  }
  {
    // Pieces still queued are skipped by the thread; wait until it has let go of all of them.
    std::unique_lock lock(CounterLock);
    pieceDone_.wait_for(lock, kPurgeDeadline, [this] { return pendingBytes_ == 0; });
  }
  {
    std::lock_guard lock(WriteLock);
    ::tcflush(fd_, TCOFLUSH);
  }
  purging_ = false;
}

void TCustomCommX::finishPiece(std::size_t size) {
  {
    std::lock_guard lock(CounterLock);
    pendingBytes_ = std::max(0, pendingBytes_ - static_cast<int>(size));
    pendingBuffers_ = std::max(0, pendingBuffers_ - 1);
  }
  pieceDone_.notify_all();
}

// Sleeps unless the port closes meanwhile; false when it does.
bool TCustomCommX::transmitSleep(std::chrono::milliseconds duration) {
  std::unique_lock lock(queueMutex_);
  return !queueChanged_.wait_for(lock, duration, [this] { return transmitStop_; });
}

void TCustomCommX::transmitLoop() {
  bool burst = false;  // RTS is keyed for a half-duplex burst
  for (;;) {
    std::vector<std::uint8_t> piece;
    {
      std::unique_lock lock(queueMutex_);
      if (queue_.empty() && burst && !transmitStop_) {
        lock.unlock();
        // The line turns round only after the last byte has left.
        waitOutputDrained();
        transmitSleep(std::chrono::milliseconds(charTime_.load()));
        setModemLine(TIOCM_RTS, flowShared_.load() == cfcHalfLow);
        burst = false;
        lock.lock();
      }
      queueChanged_.wait(lock, [this] { return transmitStop_ || !queue_.empty(); });
      if (queue_.empty()) break;  // told to end with nothing left
      piece = std::move(queue_.front());
      queue_.pop_front();
    }
    bool ending;
    {
      std::lock_guard lock(queueMutex_);
      ending = transmitStop_;
    }
    if (!purging_ && !ending && !vanished_) {
      TCommFlowCtrls flow = flowShared_.load();
      if (!burst && (flow == cfcHalfHigh || flow == cfcHalfLow)) {
        if (transmitSleep(kHalfDuplexLeadTime)) {
          setModemLine(TIOCM_RTS, flow == cfcHalfHigh);
          transmitSleep(std::chrono::milliseconds(charTime_.load()));
        }
        burst = true;
      }
      sendPiece(piece);
    }
    finishPiece(piece.size());
  }
  if (burst) setModemLine(TIOCM_RTS, flowShared_.load() == cfcHalfLow);
}

// Writes one piece, waiting for room at most TimeOutTrans ms; gives up on purge, close or a
// vanished device.
bool TCustomCommX::sendPiece(const std::vector<std::uint8_t>& piece) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeOutTransShared_.load());
  std::size_t offset = 0;
  while (offset < piece.size()) {
    if (purging_) return false;
    ssize_t n;
    int error = 0;
    {
      std::lock_guard lock(WriteLock);
      n = ::write(fd_, piece.data() + offset, piece.size() - offset);
      if (n < 0) error = errno;
    }
    if (n > 0) {
      offset += static_cast<std::size_t>(n);
      continue;
    }
    if (error == EINTR) continue;
    if (n < 0 && error != EAGAIN) {
      if (error == EIO) markVanished();
      return false;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {txWake_, POLLIN, 0}};
    int r = ::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
    if (r < 0 && errno != EINTR) return false;
    if (fds[1].revents & POLLIN) {
      clearEvent(txWake_);
      std::lock_guard lock(queueMutex_);
      if (transmitStop_) return false;
    }
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      markVanished();
      return false;
    }
  }
  return true;
}

void TCustomCommX::waitOutputDrained() {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeOutTransShared_.load());
  for (;;) {
    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
    if (Clock::now() >= deadline) return;
    if (!transmitSleep(std::chrono::milliseconds(charTime_.load()))) return;
  }
}

// ---------------------------------------------------------------------------------------------
// Receiving

int TCustomCommX::Read(char* buffer, int count) {
  if (buffer == nullptr || count < 0) return -1;
  long n = readInto(reinterpret_cast<std::uint8_t*>(buffer), static_cast<std::size_t>(count));
  return static_cast<int>(n);
}

std::size_t TCustomCommX::Read(std::uint8_t* buffer, std::size_t count) {
  if (buffer == nullptr) return 0;
  long n = readInto(buffer, count);
  return n < 0 ? 0 : static_cast<std::size_t>(n);
}

long TCustomCommX::readInto(std::uint8_t* buffer, std::size_t count) {
  if (!opened() || !receiveThread_.joinable()) return -1;
  ReadRequest request{buffer, count};
  std::unique_lock lock(rxMutex_);
  // Bytes already waiting are taken first.
  std::size_t take = std::min(count, rxBuffer_.size());
  std::copy_n(rxBuffer_.begin(), take, buffer);
  rxBuffer_.erase(rxBuffer_.begin(), rxBuffer_.begin() + static_cast<std::ptrdiff_t>(take));
  request.filled = take;
  if (request.filled == count || vanished_) return static_cast<long>(request.filled);

  // From now on arriving bytes go straight to this read, whichever thread takes them from the
  // device. The read watches the device itself, so a reply is picked up without waiting for the
  // receive thread to be scheduled; the receive thread signals readWake_ when it completes the
  // read first.
  clearReaderWakeLocked();
  reads_.push_back(&request);
  readerWatching_ = true;
  const std::uint64_t generation = generation_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeOutReceive_));
  auto finished = [&] { return request.filled == count || request.aborted || vanished_; };
  auto nextHook = Clock::now() + kWaitHookInterval;
  while (!finished()) {
    auto now = Clock::now();
    if (now >= deadline) break;
    if (waitHook_ && now >= nextHook) {
      // Nobody watches the device while the hook runs: the receive thread takes over.
      readerWatching_ = false;
      receiveResume_.notify_one();
      // The hook may close or even destroy the port: keep what is needed to notice.
      std::shared_ptr<AliveToken> alive = alive_;
      std::function<void()> hook = waitHook_;
      lock.unlock();
      hook();
      if (!alive->alive) return -1;  // the port was destroyed by the event handling
      lock.lock();
      if (generation != generation_) return -1;  // closed (and maybe reopened) meanwhile
      nextHook = Clock::now() + kWaitHookInterval;
      readerWatching_ = true;
      continue;
    }
    auto sliceEnd = waitHook_ ? std::min(deadline, nextHook) : deadline;
    lock.unlock();
    auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(sliceEnd - now);
    timespec ts{static_cast<time_t>(wait.count() / 1000000000),
                static_cast<long>(wait.count() % 1000000000)};
    pollfd fds[2] = {{fd_, POLLIN, 0}, {readWake_, POLLIN, 0}};
    int ready = ::ppoll(fds, 2, &ts, nullptr);
    bool extra = false;
    lock.lock();
    if (ready > 0) {
      if (fds[1].revents & POLLIN) clearReaderWakeLocked();
      bool alive = true;
      if (fds[0].revents & POLLIN) {
        alive = readAvailableLocked();
        extra = !rxBuffer_.empty();
      }
      if (!alive || (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) vanished_ = true;
    }
    if (extra) {
      // Bytes beyond this read's count are unprompted data, as if the receive thread took them.
      lock.unlock();
      postData();
      lock.lock();
    }
  }
  std::erase(reads_, &request);
  readerWatching_ = false;  // an outer read in its hook is not watching either
  // A read that got its bytes returns at once; the receive thread notices by itself within
  // kReceiveStandAside, and back-to-back exchanges keep it standing aside.
  if (request.filled != count) receiveResume_.notify_one();
  if (generation != generation_ || !opened()) return -1;
  return static_cast<long>(request.filled);
}

void TCustomCommX::callWaitHook() {
  if (waitHook_) {
    std::function<void()> hook = waitHook_;
    hook();
  }
}

void TCustomCommX::PurgeReceive() {
  if (!opened()) return;
  {
    std::lock_guard lock(rxMutex_);
    ::tcflush(fd_, TCIFLUSH);
    rxBuffer_.clear();
    for (ReadRequest* r : reads_) r->aborted = true;
  }
}

std::size_t TCustomCommX::InQueueCount() {
  if (!opened()) return 0;
  std::lock_guard lock(rxMutex_);
  return rxBuffer_.size();
}

// Takes everything the device holds; false when the device has gone.
bool TCustomCommX::readAvailableLocked() {
  std::uint8_t chunk[kReadChunk];
  for (;;) {
    ssize_t n = ::read(fd_, chunk, sizeof chunk);
    if (n > 0) {
      deliverLocked(chunk, static_cast<std::size_t>(n));
      if (static_cast<std::size_t>(n) < sizeof chunk) return true;
      continue;
    }
    if (n == 0) return true;  // a raw tty with VMIN 0 reads 0 when empty
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return true;
    return false;
  }
}

void TCustomCommX::deliverLocked(const std::uint8_t* data, std::size_t count) {
  bool completed = false;
  // The innermost waiting read is served first, then the outer ones, then the buffer.
  for (auto it = reads_.rbegin(); it != reads_.rend() && count > 0; ++it) {
    ReadRequest& r = **it;
    if (r.aborted) continue;
    std::size_t take = std::min(count, r.count - r.filled);
    std::copy_n(data, take, r.buffer + r.filled);
    r.filled += take;
    data += take;
    count -= take;
    if (take > 0 && r.filled == r.count) completed = true;
  }
  if (completed) wakeReaderLocked();
  if (count == 0) return;
  std::size_t room = rxCapacity_ > rxBuffer_.size() ? rxCapacity_ - rxBuffer_.size() : 0;
  std::size_t keep = std::min(room, count);
  rxBuffer_.insert(rxBuffer_.end(), data, data + keep);
  if (keep < count) postError(kCommErrOverrun);  // nobody reads: the rest is lost
}

void TCustomCommX::markVanished() {
  std::lock_guard lock(rxMutex_);
  vanished_ = true;
  wakeReaderLocked();
}

// The flag spares a waiting Read the system call of clearing an event nobody signalled.
void TCustomCommX::wakeReaderLocked() {
  if (readWakeSet_) return;
  signalEvent(readWake_);
  readWakeSet_ = true;
}

void TCustomCommX::clearReaderWakeLocked() {
  if (!readWakeSet_) return;
  clearEvent(readWake_);
  readWakeSet_ = false;
}

// The driver's totals of line errors and breaks; false where the device keeps none
// (pseudo-terminals and some adapters).
bool TCustomCommX::readLineCounters(LineCounters& counters) const {
  serial_icounter_struct now{};
  if (fd_ < 0 || ::ioctl(fd_, TIOCGICOUNT, &now) != 0) return false;
  counters = {now.frame, now.overrun, now.parity, now.brk, now.buf_overrun};
  return true;
}

// Receive thread: reports what the counters gained since the last look.
void TCustomCommX::checkLineCounters() {
  LineCounters next;
  if (!countersUsable_ || !readLineCounters(next)) return;
  std::int32_t bits = 0;
  if (next.overrun != counters_.overrun || next.bufOverrun != counters_.bufOverrun) {
    bits |= kCommErrOverrun;
  }
  if (next.parity != counters_.parity) bits |= kCommErrParity;
  if (next.frame != counters_.frame) bits |= kCommErrFrame;
  bool brk = next.brk != counters_.brk;
  counters_ = next;
  if (bits != 0) postError(bits);
  if (brk) postBreak();
}

void TCustomCommX::receiveLoop() {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {rxWake_, POLLIN, 0}};
  while (!receiveStop_) {
    int r = ::poll(fds, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      markVanished();
      break;
    }
    if (fds[1].revents & POLLIN) {
      clearEvent(rxWake_);
      continue;
    }
    bool alive = true;
    bool hasExtra = false;
    if ((fds[0].revents & POLLIN) && readerWatching_) {
      // A waiting Read watches the device itself and takes these bytes. Fighting it for the lock
      // would put this thread's scheduling on the path of every reply, so stand aside until no
      // read waits (looking again now and then rather than making the reader signal).
      std::unique_lock lock(rxMutex_);
      while (readerWatching_ && !receiveStop_) receiveResume_.wait_for(lock, kReceiveStandAside);
      continue;
    }
    if (fds[0].revents & POLLIN) {
      std::lock_guard lock(rxMutex_);
      alive = readAvailableLocked();
      hasExtra = !rxBuffer_.empty();
    }
    checkLineCounters();
    if (hasExtra) postData();
    if (!alive || (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
      // The device is gone (adapter unplugged, other end of the pseudo-terminal closed).
      markVanished();
      break;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Notifications

void TCustomCommX::post(void (TCustomCommX::*handler)()) {
  if (dispatcher_ == nullptr) return;
  std::weak_ptr<AliveToken> token = alive_;
  const std::uint64_t generation = generation_;
  dispatcher_->post([this, token, generation, handler] {
    std::shared_ptr<AliveToken> alive = token.lock();
    if (!alive || !alive->alive || generation != generation_) return;
    (this->*handler)();
  });
}

void TCustomCommX::postData() {
  // One data notification at a time: it reads the count when it runs, so it covers later bytes.
  if (!dataPending_.exchange(true)) post(&TCustomCommX::handleData);
}

void TCustomCommX::postError(std::int32_t bits) {
  if (errorBits_.fetch_or(bits) == 0) post(&TCustomCommX::handleError);
}

void TCustomCommX::postBreak() {
  if (!breakPending_.exchange(true)) post(&TCustomCommX::handleBreak);
}

void TCustomCommX::handleData() {
  dataPending_ = false;
  if (!opened() || !OnReceive) return;
  std::size_t n = InQueueCount();
  if (n != 0) OnReceive(*this, static_cast<std::int32_t>(n));
}

void TCustomCommX::handleError() {
  std::int32_t bits = errorBits_.exchange(0) & kCommErrMask;
  if (opened() && OnError && bits != 0) OnError(*this, bits);
}

void TCustomCommX::handleBreak() {
  breakPending_ = false;
  if (opened() && OnBreak) OnBreak(*this);
}

// ---------------------------------------------------------------------------------------------
// TCommX

bool TCommX::WriteChar(std::uint8_t c) {
  return Write(reinterpret_cast<const char*>(&c), 1);
}

bool TCommX::WriteString(const std::string& s) {
  if (s.empty()) return true;
  if (s.size() > static_cast<std::size_t>(INT_MAX)) return false;
  return Write(s.data(), static_cast<int>(s.size()));
}

}  // namespace pvrj
