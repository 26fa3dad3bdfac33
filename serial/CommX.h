// The serial port component: opens a tty, sends through a transmit thread, receives through a
// receive thread and reports data, breaks and line errors on the main thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <termios.h>

#include "serial/BoardPort.h"

namespace pvrj {

enum TCommParityBits : int { cpbNone, cpbOdd, cpbEven };
enum TCommStopBits : int { csb1, csb1p5, csb2 };
enum TCommFlowCtrls : int { cfcRtsCts, cfcDtrDsr, cfcXonXoff, cfcHalfHigh, cfcHalfLow, cfcNone };

class TCustomCommX;
using TCommReceiveEvent = std::function<void(TCustomCommX& Sender, std::int32_t ReceiveSize)>;
using TCommBreakEvent = std::function<void(TCustomCommX& Sender)>;
using TCommErrEvent = std::function<void(TCustomCommX& Sender, std::int32_t ErrorState)>;

// Texts of ECommError, one per step that can fail.
inline constexpr const char* kCommMsgAlreadyOpen = "ポートは、すでにオープンされています";
inline constexpr const char* kCommMsgOpenFailed = "ポートをオープンできませんでした";
inline constexpr const char* kCommMsgBuffers = "通信用ポートのバッファを準備できませんでした";
inline constexpr const char* kCommMsgBitRate = "通信速度の設定でエラーが発生しました";
inline constexpr const char* kCommMsgCharSize = "通信ビット数の設定でエラーが発生しました";
inline constexpr const char* kCommMsgParity = "通信パリティチェックの設定でエラーが発生しました";
inline constexpr const char* kCommMsgStopBits = "通信ストップビット数の設定でエラーが発生しました";
inline constexpr const char* kCommMsgFlowCtrl = "通信フロー制御の設定で失敗しました";
inline constexpr const char* kCommMsgTimeOuts = "通信タイムアウト時間の設定で失敗しました";
inline constexpr const char* kCommMsgXonChar = "Ｘｏｎ文字の設定でエラーが発生しました";
inline constexpr const char* kCommMsgXoffChar = "Ｘｏｆｆ文字の設定でエラーが発生しました";
inline constexpr const char* kCommMsgTransThread = "送信用スレッドを生成できませんでした";
inline constexpr const char* kCommMsgReceiveThread = "受信用スレッドを生成できませんでした";

// ErrorState bits of OnError.
inline constexpr std::int32_t kCommErrOverrun = 0x02;
inline constexpr std::int32_t kCommErrParity = 0x04;
inline constexpr std::int32_t kCommErrFrame = 0x08;
inline constexpr std::int32_t kCommErrMask = 0x0E;

// At most this many pieces wait for the transmit thread; Write waits while the queue is full.
inline constexpr int kMaxQueuedPieces = 32;
// How often a waiting Read or Write lets the user interface process its events.
inline constexpr std::chrono::milliseconds kWaitHookInterval{5};
// Half-duplex lines settle this long before the first byte of a burst.
inline constexpr std::chrono::milliseconds kHalfDuplexLeadTime{50};
// The receive buffer never holds less than the tty layer itself would.
inline constexpr std::size_t kMinReceiveCapacity = 4096;

// Raised when the port cannot be opened or configured; what() is one of the kCommMsg texts.
class ECommError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs callables on the main thread, in the order they were posted. The editor posts them into
// its event loop; tests and the command line use QueueDispatcher.
class MainThreadDispatcher {
 public:
  virtual ~MainThreadDispatcher() = default;
  // May be called from any thread; must not run the call before returning.
  virtual void post(std::function<void()> call) = 0;
};

// A plain queue: any thread posts, the owner's thread drains.
class QueueDispatcher : public MainThreadDispatcher {
 public:
  void post(std::function<void()> call) override;
  // Runs every call posted so far, in order; returns how many ran.
  std::size_t drain();
  // Waits until something is posted (at most timeout), then drains.
  std::size_t waitAndDrain(std::chrono::milliseconds timeout);
  std::size_t pending() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> calls_;
};

// The port itself. Every public operation belongs to the main thread; the events are raised
// there too, through the dispatcher, and only while the port is open.
class TCustomCommX : public BoardPort {
 public:
  // Without a dispatcher the port works but raises no events. The dispatcher must outlive it.
  explicit TCustomCommX(MainThreadDispatcher* dispatcher = nullptr);
  ~TCustomCommX() override;
  TCustomCommX(const TCustomCommX&) = delete;
  TCustomCommX& operator=(const TCustomCommX&) = delete;

  // Only while closed.
  void SetDispatcher(MainThreadDispatcher* dispatcher);

  // Opens DeviceName() and starts the threads; raises ECommError with the port closed again.
  void Open();
  // Stops both threads and closes the device; nothing on a closed port.
  void Close() override;

  // Queues count bytes; true at once for 0, false when closed, without a transmit thread, or
  // after the device vanished.
  virtual bool Write(const char* data, int count);
  // Waits until count bytes came or TimeOutReceive ms passed; returns how many came, or -1 when
  // closed (also when closed meanwhile), without a receive thread or without a buffer.
  virtual int Read(char* buffer, int count);

  // The board link's view of the same operations.
  bool IsOpen() const override { return opened(); }
  void Write(const std::uint8_t* data, std::size_t count) override;
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
  void PurgeReceive() override;
  void PurgeTransmit() override;
  std::size_t InQueueCount() override;
  int TimeOutReceive() const override { return timeOutReceive_; }
  void SetTimeOutReceive(int milliseconds) override;
  void SetWaitHook(std::function<void()> hook) override;

  void SetRts(bool on);
  void SetDtr(bool on);

  // The device descriptor, -1 while closed.
  int Handle() const { return fd_; }
  // The device that Open uses: DevicePath when set, else what "COM" + PortNo names.
  std::string DeviceName() const;
  // True once the device has gone away under an open port (unplugged, other side closed).
  bool Vanished() const override { return vanished_.load(); }
  int CharTime() const { return charTime_.load(); }
  int PendingBytes() const;
  int PendingBuffers() const;

 protected:
  int PortNo() const { return portNo_; }
  const std::string& DevicePath() const { return devicePath_; }
  int BitRate() const { return bitRate_; }
  int CharSize() const { return charSize_; }
  TCommParityBits ParityBit() const { return parityBit_; }
  TCommStopBits StopBit() const { return stopBit_; }
  TCommFlowCtrls FlowCtrl() const { return flowCtrl_; }
  int TimeOutTrans() const { return timeOutTrans_; }
  char XonChar() const { return xonChar_; }
  char XoffChar() const { return xoffChar_; }
  int BufLenTrans() const { return bufLenTrans_; }
  int BufLenReceive() const { return bufLenReceive_; }

  // Each stores its value and, on an open port, applies it at once (ECommError on failure, the
  // port staying open with the value stored).
  void SetPortNo(int portNo);
  // A device path such as /dev/ttyUSB0; "" returns to PortNo.
  void SetDevicePath(const std::string& path);
  // "COM"n or a path starting with "/"; false for anything else.
  bool SetPortName(const std::string& name);
  void SetBitRate(int bitRate);
  void SetCharSize(int charSize);
  void SetParityBit(TCommParityBits parity);
  void SetStopBit(TCommStopBits stopBit);
  void SetFlowCtrl(TCommFlowCtrls flowCtrl);
  void SetTimeOutTrans(int milliseconds);
  void SetXonChar(char c);
  void SetXoffChar(char c);
  void SetBufLenTrans(int bytes);
  void SetBufLenReceive(int bytes);

  TCommReceiveEvent OnReceive;
  TCommBreakEvent OnBreak;
  TCommErrEvent OnError;

 private:
  // Not virtual: the worker threads and the destructor ask it too.
  bool opened() const { return fd_ >= 0; }

  struct ReadRequest {
    std::uint8_t* buffer;
    std::size_t count;
    std::size_t filled = 0;
    bool aborted = false;
  };
  // Lets posted calls tell whether the port still exists.
  struct AliveToken {
    bool alive = true;
  };

  // Reads and writes of the device settings.
  void applyTermios(const char* message);
  void applyBitRate();
  void applyCharSize();
  void applyParity();
  void applyStopBit();
  void applyFlowCtrl();
  void applyTimeOuts();
  void applyXonChar();
  void applyXoffChar();
  void checkBuffers();
  void setModemLine(int line, bool on);
  void reopen();
  void closeDevice();

  long readInto(std::uint8_t* buffer, std::size_t count);
  bool queueBytes(const std::uint8_t* data, std::size_t count);
  std::size_t writeDirect(const std::uint8_t* data, std::size_t count);
  void callWaitHook();

  // Receive side, under rxMutex_.
  bool readAvailableLocked();
  void deliverLocked(const std::uint8_t* data, std::size_t count);
  struct LineCounters {
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
  };
  bool readLineCounters(LineCounters& counters) const;
  void checkLineCounters();
  void markVanished();
  void wakeReaderLocked();
  void clearReaderWakeLocked();

  // Notifications, posted from the worker threads and handled on the main thread.
  void postData();
  void postError(std::int32_t bits);
  void postBreak();
  void post(void (TCustomCommX::*handler)());
  void handleData();
  void handleError();
  void handleBreak();

  void transmitLoop();
  void receiveLoop();
  bool sendPiece(const std::vector<std::uint8_t>& piece);
  bool transmitSleep(std::chrono::milliseconds duration);
  void finishPiece(std::size_t size);
  bool halfDuplex() const { return flowCtrl_ == cfcHalfHigh || flowCtrl_ == cfcHalfLow; }
  void waitOutputDrained();

  MainThreadDispatcher* dispatcher_;
  std::shared_ptr<AliveToken> alive_ = std::make_shared<AliveToken>();
  std::atomic<std::uint64_t> generation_{0};
  std::function<void()> waitHook_;

  int fd_ = -1;
  int txWake_ = -1;    // eventfd: purge and close wake the transmit thread out of a wait
  int rxWake_ = -1;    // eventfd: close wakes the receive thread out of poll()
  int readWake_ = -1;  // eventfd: a waiting Read learns that its bytes came or the device went
  std::thread transmitThread_;
  std::thread receiveThread_;

  int portNo_ = 1;
  std::string devicePath_;
  int bitRate_ = 9600;
  int charSize_ = 8;
  TCommParityBits parityBit_ = cpbNone;
  TCommStopBits stopBit_ = csb1;
  TCommFlowCtrls flowCtrl_ = cfcRtsCts;
  int timeOutTrans_ = 3000;
  int timeOutReceive_ = 3000;
  char xonChar_ = 17;
  char xoffChar_ = 19;
  int bufLenTrans_ = 2048;
  int bufLenReceive_ = 2048;
  termios tios_{};  // the device settings record, changed field by field

  // Held around each write to the device and each transmit purge.
  std::mutex WriteLock;
  // Guards PendingBytes and PendingBuffers; pieceDone_ tells a waiting Write or purge.
  mutable std::mutex CounterLock;
  std::condition_variable pieceDone_;
  int pendingBytes_ = 0;
  int pendingBuffers_ = 0;

  std::mutex queueMutex_;
  std::condition_variable queueChanged_;
  std::deque<std::vector<std::uint8_t>> queue_;
  bool transmitStop_ = false;
  std::atomic<bool> purging_{false};
  std::atomic<int> charTime_{1000 / (9600 / 10) + 1};
  std::atomic<int> timeOutTransShared_{3000};
  std::atomic<TCommFlowCtrls> flowShared_{cfcRtsCts};

  std::mutex rxMutex_;
  std::deque<std::uint8_t> rxBuffer_;
  bool readWakeSet_ = false;                 // readWake_ has been signalled and not yet cleared
  std::atomic<bool> readerWatching_{false};  // a waiting Read polls the device itself
  std::condition_variable receiveResume_;    // the receive thread stands aside on it
  std::size_t rxCapacity_ = kMinReceiveCapacity;
  std::vector<ReadRequest*> reads_;  // active reads, innermost last: it is served first
  std::atomic<bool> receiveStop_{false};
  std::atomic<bool> vanished_{false};
  bool countersUsable_ = false;  // set at open, then receive thread only
  LineCounters counters_;

  std::atomic<bool> dataPending_{false};
  std::atomic<bool> breakPending_{false};
  std::atomic<std::int32_t> errorBits_{0};
};

// The component as the program uses it: every property and event published.
class TCommX : public TCustomCommX {
 public:
  using TCustomCommX::TCustomCommX;

  using TCustomCommX::BitRate;
  using TCustomCommX::BufLenReceive;
  using TCustomCommX::BufLenTrans;
  using TCustomCommX::CharSize;
  using TCustomCommX::DevicePath;
  using TCustomCommX::FlowCtrl;
  using TCustomCommX::ParityBit;
  using TCustomCommX::PortNo;
  using TCustomCommX::StopBit;
  using TCustomCommX::TimeOutTrans;
  using TCustomCommX::XoffChar;
  using TCustomCommX::XonChar;

  using TCustomCommX::SetBitRate;
  using TCustomCommX::SetBufLenReceive;
  using TCustomCommX::SetBufLenTrans;
  using TCustomCommX::SetCharSize;
  using TCustomCommX::SetDevicePath;
  using TCustomCommX::SetFlowCtrl;
  using TCustomCommX::SetParityBit;
  using TCustomCommX::SetPortName;
  using TCustomCommX::SetPortNo;
  using TCustomCommX::SetStopBit;
  using TCustomCommX::SetTimeOutTrans;
  using TCustomCommX::SetXoffChar;
  using TCustomCommX::SetXonChar;

  using TCustomCommX::OnBreak;
  using TCustomCommX::OnError;
  using TCustomCommX::OnReceive;

  // Write of one byte.
  bool WriteChar(std::uint8_t c);
  // True for an empty string, else Write of its bytes.
  bool WriteString(const std::string& s);
};

}  // namespace pvrj
