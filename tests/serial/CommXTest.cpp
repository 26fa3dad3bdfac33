// The serial port component over real pseudo-terminals: opening, settings, sending, receiving,
// events, purges, closing under load and a device that vanishes.
#include "serial/CommX.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/SettingsFolder.h"
#include "protocol/CommXOpener.h"
#include "serial/PtyPair.h"

namespace pvrj {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;
using test::Watchdog;
using Clock = std::chrono::steady_clock;

// Waits for an event that the port's threads bring about.
constexpr auto kEventDeadline = 10s;
// Far above any delay a loaded machine adds, far below the waits an upper bound rules out.
constexpr auto kPromptly = 10s;
// A time-out the tests below never mean to reach.
constexpr int kLongTimeOutMs = 60000;

std::chrono::milliseconds msSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// Polls a condition with a deadline; true once it holds.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds deadline = kEventDeadline) {
  const auto end = Clock::now() + deadline;
  while (!condition()) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Suspends and resumes the output of the port's own device, as a line held by flow control does:
// writes then find no room until the line is released.
void holdLine(TCommX& port) {
  ASSERT_EQ(::tcflow(port.Handle(), TCOOFF), 0);
}
void releaseLine(TCommX& port) {
  ASSERT_EQ(::tcflow(port.Handle(), TCOON), 0);
}

// A port on a fresh pseudo-terminal, set up as the board link uses it.
class CommXTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!pty_.ok()) GTEST_SKIP() << "pseudo-terminals are not available";
    port_ = std::make_unique<TCommX>(&dispatcher_);
    port_->SetDevicePath(pty_.device());
    configureBoardLine(*port_);
    port_->OnReceive = [this](TCustomCommX& sender, std::int32_t size) {
      EXPECT_EQ(&sender, port_.get());
      received_.push_back(size);
    };
  }

  void openPort() { ASSERT_NO_THROW(port_->Open()); }

  std::string readString(int count) {
    std::string s(static_cast<std::size_t>(count), '\0');
    int n = port_->Read(s.data(), count);
    s.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return s;
  }

  Watchdog watchdog_{30s, ::testing::UnitTest::GetInstance()->current_test_info()->name()};
  PtyPair pty_;
  QueueDispatcher dispatcher_;
  std::unique_ptr<TCommX> port_;
  std::vector<std::int32_t> received_;
};

// --- opening and settings ------------------------------------------------------------------

TEST(CommXDefaults, PublishedPropertiesStartAtTheirDefaults) {
  TCommX port;
  EXPECT_EQ(port.PortNo(), 1);
  EXPECT_EQ(port.BitRate(), 9600);
  EXPECT_EQ(port.CharSize(), 8);
  EXPECT_EQ(port.ParityBit(), cpbNone);
  EXPECT_EQ(port.StopBit(), csb1);
  EXPECT_EQ(port.FlowCtrl(), cfcRtsCts);
  EXPECT_EQ(port.TimeOutTrans(), 3000);
  EXPECT_EQ(port.TimeOutReceive(), 3000);
  EXPECT_EQ(port.XonChar(), 17);
  EXPECT_EQ(port.XoffChar(), 19);
  EXPECT_EQ(port.BufLenTrans(), 2048);
  EXPECT_EQ(port.BufLenReceive(), 2048);
  EXPECT_EQ(port.Handle(), -1);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.OnReceive);
  EXPECT_EQ(port.CharTime(), 2);  // 9600 bit/s
}

TEST(CommXDefaults, ClosedPortRefusesTransfersButAcceptsNothingToSend) {
  TCommX port;
  EXPECT_FALSE(port.Write("ab", 2));
  EXPECT_TRUE(port.Write("ab", 0));
  EXPECT_TRUE(port.WriteString(""));
  EXPECT_FALSE(port.WriteString("x"));
  EXPECT_FALSE(port.WriteChar(0x0D));
  char buffer[4];
  EXPECT_EQ(port.Read(buffer, 4), -1);
  std::uint8_t bytes[4];
  BoardPort& link = port;
  EXPECT_EQ(link.Read(bytes, 4), 0u);
  link.Write(bytes, 4);  // nothing happens
  EXPECT_EQ(port.InQueueCount(), 0u);
  port.PurgeReceive();
  port.PurgeTransmit();
  port.SetRts(true);
  port.SetDtr(true);
  port.Close();
  port.Close();
  EXPECT_EQ(port.Handle(), -1);
}

TEST(CommXDefaults, ErrorTextsAreExact) {
  EXPECT_STREQ(kCommMsgAlreadyOpen, "ポートは、すでにオープンされています");
  EXPECT_STREQ(kCommMsgOpenFailed, "ポートをオープンできませんでした");
  EXPECT_STREQ(kCommMsgBuffers, "通信用ポートのバッファを準備できませんでした");
  EXPECT_STREQ(kCommMsgBitRate, "通信速度の設定でエラーが発生しました");
  EXPECT_STREQ(kCommMsgCharSize, "通信ビット数の設定でエラーが発生しました");
  EXPECT_STREQ(kCommMsgParity, "通信パリティチェックの設定でエラーが発生しました");
  EXPECT_STREQ(kCommMsgStopBits, "通信ストップビット数の設定でエラーが発生しました");
  EXPECT_STREQ(kCommMsgFlowCtrl, "通信フロー制御の設定で失敗しました");
  EXPECT_STREQ(kCommMsgTimeOuts, "通信タイムアウト時間の設定で失敗しました");
  EXPECT_STREQ(kCommMsgXonChar, "Ｘｏｎ文字の設定でエラーが発生しました");
  EXPECT_STREQ(kCommMsgXoffChar, "Ｘｏｆｆ文字の設定でエラーが発生しました");
  EXPECT_STREQ(kCommMsgTransThread, "送信用スレッドを生成できませんでした");
  EXPECT_STREQ(kCommMsgReceiveThread, "受信用スレッドを生成できませんでした");
}

TEST(CommXOpen, MissingDeviceRaisesOpenFailedAndStaysClosed) {
  TCommX port;
  port.SetDevicePath("/dev/pvrj-no-such-device");
  try {
    port.Open();
    FAIL() << "opened a missing device";
  } catch (const ECommError& e) {
    EXPECT_STREQ(e.what(), kCommMsgOpenFailed);
  }
  EXPECT_EQ(port.Handle(), -1);
  EXPECT_FALSE(port.IsOpen());
}

TEST(CommXOpen, SomethingThatIsNotATerminalIsRefused) {
  TCommX port;
  port.SetDevicePath("/dev/null");
  EXPECT_THROW(port.Open(), ECommError);
  EXPECT_EQ(port.Handle(), -1);
}

TEST(CommXOpen, PortNameAcceptsComNamesAndPaths) {
  TCommX port;
  EXPECT_TRUE(port.SetPortName("COM7"));
  EXPECT_EQ(port.PortNo(), 7);
  EXPECT_EQ(port.DevicePath(), "");
  EXPECT_TRUE(port.SetPortName("/dev/ttyUSB0"));
  EXPECT_EQ(port.DeviceName(), "/dev/ttyUSB0");
  EXPECT_FALSE(port.SetPortName("COM"));
  EXPECT_FALSE(port.SetPortName("COM0"));
  EXPECT_FALSE(port.SetPortName("COMx"));
  EXPECT_FALSE(port.SetPortName("ttyS0"));
  EXPECT_EQ(port.DeviceName(), "/dev/ttyUSB0");  // refused names change nothing
  port.SetPortNo(2);
  EXPECT_EQ(port.DevicePath(), "");
}

TEST_F(CommXTest, OpenAppliesRawModeAndTheLineSettings) {
  openPort();
  ASSERT_GE(port_->Handle(), 0);
  termios t{};
  ASSERT_EQ(tcgetattr(port_->Handle(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B115200);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(port_->CharTime(), 1);
  // The handshake byte passes untouched both ways.
  ASSERT_TRUE(port_->WriteChar(0x0D));
  EXPECT_EQ(pty_.read(1, kEventDeadline), std::vector<std::uint8_t>{0x0D});
  ASSERT_TRUE(pty_.write(std::string("\r")));
  EXPECT_EQ(readString(1), "\r");
}

TEST_F(CommXTest, OpenOnAnOpenPortRaisesAndLeavesItOpen) {
  openPort();
  int handle = port_->Handle();
  try {
    port_->Open();
    FAIL() << "second open succeeded";
  } catch (const ECommError& e) {
    EXPECT_STREQ(e.what(), kCommMsgAlreadyOpen);
  }
  EXPECT_EQ(port_->Handle(), handle);
  ASSERT_TRUE(port_->WriteString("ok"));
  EXPECT_EQ(pty_.read(2, kEventDeadline).size(), 2u);
}

TEST_F(CommXTest, SecondPortOnTheSameDeviceIsRefusedUntilTheFirstCloses) {
  openPort();
  TCommX other;
  other.SetDevicePath(pty_.device());
  try {
    other.Open();
    FAIL() << "the device was opened twice";
  } catch (const ECommError& e) {
    EXPECT_STREQ(e.what(), kCommMsgOpenFailed);
  }
  EXPECT_FALSE(other.IsOpen());
  port_->Close();
  EXPECT_NO_THROW(other.Open());
  EXPECT_TRUE(other.IsOpen());
}

TEST_F(CommXTest, UnsupportedSettingsRaiseTheirMessageAtOpen) {
  struct Case {
    std::function<void(TCommX&)> set;
    const char* message;
  };
  const Case cases[] = {
      {[](TCommX& p) { p.SetBitRate(12345); }, kCommMsgBitRate},
      {[](TCommX& p) { p.SetBitRate(0); }, kCommMsgBitRate},
      {[](TCommX& p) { p.SetCharSize(9); }, kCommMsgCharSize},
      {[](TCommX& p) { p.SetXoffChar(17); }, kCommMsgXonChar},
      {[](TCommX& p) { p.SetBufLenTrans(0); }, kCommMsgBuffers},
      {[](TCommX& p) { p.SetBufLenReceive(-5); }, kCommMsgBuffers},
  };
  for (const Case& c : cases) {
    TCommX port;
    port.SetDevicePath(pty_.device());
    port.SetFlowCtrl(cfcNone);
    c.set(port);
    try {
      port.Open();
      ADD_FAILURE() << "opened with a bad setting; expected " << c.message;
    } catch (const ECommError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(port.Handle(), -1);
  }
  // The device was released each time.
  openPort();
}

TEST_F(CommXTest, TheBoardsLineSettingsReachTheDevice) {
  TCommX port;  // a new port starts at 9600 bit/s with 3000 ms reads
  port.SetDevicePath(pty_.device());
  configureBoardLine(port);
  ASSERT_NO_THROW(port.Open());
  termios t{};
  ASSERT_EQ(tcgetattr(port.Handle(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B115200);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
  EXPECT_EQ(port.TimeOutReceive(), 300);
  EXPECT_EQ(port.TimeOutTrans(), 3000);
  EXPECT_EQ(port.BufLenTrans(), 2048);
  EXPECT_EQ(port.BufLenReceive(), 2048);
}

TEST_F(CommXTest, SettersApplyAtOnceOnAnOpenPort) {
  openPort();
  const int fd = port_->Handle();
  termios t{};
  port_->SetStopBit(csb1p5);
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(port_->StopBit(), csb1p5);
  port_->SetStopBit(static_cast<TCommStopBits>(7));  // not one of the three: nothing changes
  EXPECT_EQ(port_->StopBit(), csb1p5);
  port_->SetStopBit(csb1);
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);

  // A pseudo-terminal keeps eight data bits without parity and the port says so; a real line
  // takes them. Either way the value is stored and the port stays open.
  auto applied = [&](const std::function<void()>& set, const char* message) {
    try {
      set();
      return true;
    } catch (const ECommError& e) {
      EXPECT_STREQ(e.what(), message);
      EXPECT_TRUE(port_->IsOpen());
      return false;
    }
  };
  if (applied([&] { port_->SetParityBit(cpbOdd); }, kCommMsgParity)) {
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB | PARODD));
  }
  EXPECT_EQ(port_->ParityBit(), cpbOdd);
  port_->SetParityBit(static_cast<TCommParityBits>(-1));
  EXPECT_EQ(port_->ParityBit(), cpbOdd);
  if (applied([&] { port_->SetCharSize(7); }, kCommMsgCharSize)) {
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
  }
  EXPECT_EQ(port_->CharSize(), 7);
  EXPECT_THROW(port_->SetCharSize(4), ECommError);
  port_->SetCharSize(8);
  port_->SetParityBit(cpbNone);
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB), static_cast<tcflag_t>(CS8));

  port_->SetBitRate(9600);
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_EQ(port_->CharTime(), 2);

  port_->SetFlowCtrl(cfcXonXoff);
  port_->SetXonChar('A');
  port_->SetXoffChar('B');
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_NE(t.c_iflag & IXON, 0u);
  EXPECT_EQ(t.c_cc[VSTART], 'A');
  EXPECT_EQ(t.c_cc[VSTOP], 'B');
  port_->SetFlowCtrl(cfcRtsCts);
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(t.c_iflag & IXON, 0u);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);

  // A failing setter raises, keeps the value and leaves the port open.
  try {
    port_->SetBitRate(777);
    FAIL() << "odd bit rate accepted";
  } catch (const ECommError& e) {
    EXPECT_STREQ(e.what(), kCommMsgBitRate);
  }
  EXPECT_EQ(port_->BitRate(), 777);
  EXPECT_TRUE(port_->IsOpen());
  EXPECT_EQ(port_->Handle(), fd);
}

TEST_F(CommXTest, ComNumberResolvesThroughAPortsLink) {
  char folder[] = "/tmp/pvrj-ports-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const char* previous = getenv(kSettingsDirVariable);
  std::string saved = previous != nullptr ? previous : "";
  setenv(kSettingsDirVariable, folder, 1);
  ASSERT_TRUE(makePortLink(9, pty_.device()).ok());

  port_->SetPortNo(9);
  EXPECT_EQ(port_->DeviceName(), std::string(folder) + "/ports/COM9");
  openPort();
  ASSERT_TRUE(port_->WriteString("via link"));
  EXPECT_EQ(pty_.read(8, kEventDeadline).size(), 8u);

  // Changing the number on an open port closes it and opens the new one (which is missing).
  EXPECT_THROW(port_->SetPortNo(10), ECommError);
  EXPECT_FALSE(port_->IsOpen());
  EXPECT_EQ(port_->PortNo(), 10);

  if (previous != nullptr) {
    setenv(kSettingsDirVariable, saved.c_str(), 1);
  } else {
    unsetenv(kSettingsDirVariable);
  }
  std::filesystem::remove_all(folder);
}

// --- sending -------------------------------------------------------------------------------

TEST_F(CommXTest, WriteAndReadRoundTrip) {
  openPort();
  const std::vector<std::uint8_t> request{0xF1, 0x00, 0xF1};
  BoardPort& link = *port_;
  link.Write(request.data(), request.size());
  EXPECT_EQ(pty_.read(3, kEventDeadline), request);
  ASSERT_TRUE(pty_.write(std::vector<std::uint8_t>{0x02, 0x01, 0x03}));
  std::uint8_t reply[3] = {};
  EXPECT_EQ(link.Read(reply, 3), 3u);
  EXPECT_EQ(reply[0], 0x02);
  EXPECT_EQ(reply[2], 0x03);
  EXPECT_EQ(port_->InQueueCount(), 0u);
}

TEST_F(CommXTest, WritesBehindQueuedPiecesKeepTheirOrder) {
  port_->SetTimeOutTrans(kLongTimeOutMs);
  port_->SetBufLenTrans(8192);
  openPort();
  // The line is held while the first writes queue up; then it runs, but nobody reads yet, so far
  // more than the line holds is still queued when the last write comes and must wait behind it.
  holdLine(*port_);
  const auto middle = test::pattern(30 * 8192);
  ASSERT_TRUE(port_->WriteString("head:"));
  ASSERT_TRUE(
      port_->Write(reinterpret_cast<const char*>(middle.data()), static_cast<int>(middle.size())));
  EXPECT_EQ(port_->PendingBuffers(), 31);
  releaseLine(*port_);
  EXPECT_GT(port_->PendingBuffers(), 0);
  ASSERT_TRUE(port_->WriteString(":tail"));
  const auto got = pty_.read(middle.size() + 10, kEventDeadline);
  ASSERT_EQ(got.size(), middle.size() + 10);
  EXPECT_EQ(std::string(got.begin(), got.begin() + 5), "head:");
  EXPECT_TRUE(std::equal(middle.begin(), middle.end(), got.begin() + 5));
  EXPECT_EQ(std::string(got.end() - 5, got.end()), ":tail");
}

TEST_F(CommXTest, WriteLargerThanTheQueueWaitsForRoomAndArrivesWhole) {
  port_->SetTimeOutTrans(kLongTimeOutMs);
  openPort();
  holdLine(*port_);
  const auto big = test::pattern(100000);
  std::vector<std::uint8_t> got;
  std::thread reader([&] { got = pty_.read(big.size(), kEventDeadline); });
  // The hook runs while Write waits for room: the queue is full and, with the line held,
  // stays so until the hook lets the line go.
  int pendingWhileWaiting = -1;
  port_->SetWaitHook([&] {
    if (pendingWhileWaiting >= 0) return;
    pendingWhileWaiting = port_->PendingBuffers();
    releaseLine(*port_);
  });
  ASSERT_TRUE(
      port_->Write(reinterpret_cast<const char*>(big.data()), static_cast<int>(big.size())));
  reader.join();
  EXPECT_EQ(pendingWhileWaiting, kMaxQueuedPieces);
  ASSERT_EQ(got.size(), big.size());
  EXPECT_TRUE(std::equal(big.begin(), big.end(), got.begin()));
}

TEST_F(CommXTest, HalfDuplexWriteQueuesPiecesOfBufLenTrans) {
  port_->SetFlowCtrl(cfcHalfHigh);
  port_->SetTimeOutTrans(kLongTimeOutMs);
  openPort();
  holdLine(*port_);
  const auto data = test::pattern(5000);
  ASSERT_TRUE(port_->Write(reinterpret_cast<const char*>(data.data()), 5000));
  EXPECT_EQ(port_->PendingBuffers(), 3);
  EXPECT_EQ(port_->PendingBytes(), 5000);
  releaseLine(*port_);
  EXPECT_EQ(pty_.read(5000, kEventDeadline), data);
  EXPECT_TRUE(waitUntil([&] { return port_->PendingBuffers() == 0; }));
  EXPECT_EQ(port_->PendingBytes(), 0);
}

TEST_F(CommXTest, PurgeTransmitDropsQueuedPieces) {
  port_->SetFlowCtrl(cfcHalfLow);
  port_->SetBufLenTrans(100);
  port_->SetTimeOutTrans(kLongTimeOutMs);
  openPort();
  holdLine(*port_);
  const auto data = test::pattern(3000);
  ASSERT_TRUE(port_->Write(reinterpret_cast<const char*>(data.data()), 3000));
  EXPECT_EQ(port_->PendingBuffers(), 30);
  port_->PurgeTransmit();
  EXPECT_EQ(port_->PendingBytes(), 0);
  EXPECT_EQ(port_->PendingBuffers(), 0);
  releaseLine(*port_);
  // The port still sends afterwards, and only what came after the purge.
  ASSERT_TRUE(port_->WriteString("after"));
  EXPECT_EQ(pty_.read(5, kEventDeadline), (std::vector<std::uint8_t>{'a', 'f', 't', 'e', 'r'}));
}

TEST_F(CommXTest, StalledLineGivesUpAfterTimeOutTransAndClosesQuickly) {
  port_->SetTimeOutTrans(150);
  port_->SetBufLenTrans(65536);
  openPort();
  // The other side never reads: the line fills and every piece waits its time-out, then goes.
  const auto data = test::pattern(4 * 65536);
  auto start = Clock::now();
  ASSERT_TRUE(
      port_->Write(reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size())));
  EXPECT_TRUE(waitUntil([&] { return port_->PendingBytes() == 0; }));
  EXPECT_EQ(port_->PendingBuffers(), 0);
  EXPECT_GE(msSince(start), 4 * 150ms - 50ms);

  // Closing with a full line and a queue behind it does not wait for the line either.
  port_->SetTimeOutTrans(kLongTimeOutMs);
  ASSERT_TRUE(
      port_->Write(reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size())));
  start = Clock::now();
  port_->Close();
  EXPECT_LT(msSince(start), kPromptly);
}

// --- receiving -----------------------------------------------------------------------------

TEST_F(CommXTest, ReadWithoutDataReturnsZeroAfterTheTimeOut) {
  openPort();
  auto start = Clock::now();
  EXPECT_EQ(readString(7), "");
  EXPECT_GE(msSince(start), 290ms);
}

TEST_F(CommXTest, ReadTimeOutReturnsThePartialCount) {
  openPort();
  port_->SetTimeOutReceive(200);
  ASSERT_TRUE(pty_.write(std::string("abc")));
  auto start = Clock::now();
  EXPECT_EQ(readString(7), "abc");
  EXPECT_GE(msSince(start), 190ms);
}

TEST_F(CommXTest, ReadReturnsTheMomentTheCountIsComplete) {
  openPort();
  port_->SetTimeOutReceive(kLongTimeOutMs);
  // The bytes come in two parts while the read waits.
  int calls = 0;
  port_->SetWaitHook([&] {
    ++calls;
    if (calls == 1) pty_.write(std::string("12"));
    if (calls == 3) pty_.write(std::string("345"));
  });
  auto start = Clock::now();
  EXPECT_EQ(readString(5), "12345");
  EXPECT_LT(msSince(start), kPromptly);
}

TEST_F(CommXTest, BytesDuringAReadBelongToItAndOnlyTheRestReachesOnReceive) {
  openPort();
  port_->SetTimeOutReceive(kLongTimeOutMs);
  // The bytes come while the read waits.
  bool sent = false;
  port_->SetWaitHook([&] {
    if (!sent) sent = pty_.write(std::string("HELLOextra"));
  });
  EXPECT_EQ(readString(5), "HELLO");
  // The remaining five bytes raise one notification with their count.
  auto deadline = Clock::now() + kEventDeadline;
  while (received_.empty() && Clock::now() < deadline) dispatcher_.waitAndDrain(50ms);
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(received_[0], 5);
  EXPECT_EQ(readString(5), "extra");
}

TEST_F(CommXTest, ReadThatTakesEverythingRaisesNoOnReceive) {
  openPort();
  port_->SetTimeOutReceive(kLongTimeOutMs);
  bool sent = false;
  port_->SetWaitHook([&] {
    if (!sent) sent = pty_.write(std::string("0123456789"));
  });
  EXPECT_EQ(readString(10), "0123456789");
  // One byte after the read: its notification is the first, and it counts that byte alone.
  ASSERT_TRUE(pty_.write(std::string("Z")));
  auto deadline = Clock::now() + kEventDeadline;
  while (received_.empty() && Clock::now() < deadline) dispatcher_.waitAndDrain(50ms);
  EXPECT_EQ(received_, std::vector<std::int32_t>{1});
}

TEST_F(CommXTest, UnpromptedBytesReachOnReceiveOnTheDrainingThread) {
  openPort();
  std::thread::id handlerThread;
  port_->OnReceive = [&](TCustomCommX&, std::int32_t size) {
    handlerThread = std::this_thread::get_id();
    received_.push_back(size);
    std::string s(static_cast<std::size_t>(size), '\0');
    EXPECT_EQ(port_->Read(s.data(), size), size);
  };
  ASSERT_TRUE(pty_.write(std::string("stream")));
  auto deadline = Clock::now() + kEventDeadline;
  int total = 0;
  while (total < 6 && Clock::now() < deadline) {
    dispatcher_.waitAndDrain(50ms);
    total = 0;
    for (auto n : received_) total += n;
  }
  EXPECT_EQ(total, 6);
  EXPECT_EQ(handlerThread, std::this_thread::get_id());
  EXPECT_EQ(port_->InQueueCount(), 0u);
}

TEST_F(CommXTest, AtMostOneDataNotificationWaits) {
  openPort();
  // Twenty arrivals, each taken in before the next is sent.
  for (std::size_t i = 1; i <= 20; ++i) {
    ASSERT_TRUE(pty_.write(std::string("x")));
    ASSERT_TRUE(waitUntil([&] { return port_->InQueueCount() == i; }));
  }
  EXPECT_EQ(dispatcher_.pending(), 1u);
  dispatcher_.drain();
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(received_[0], 20);
}

TEST_F(CommXTest, NotificationFindingNothingRaisesNoOnReceive) {
  openPort();
  ASSERT_TRUE(pty_.write(std::string("abc")));
  ASSERT_TRUE(waitUntil([&] { return dispatcher_.pending() != 0; }));
  port_->PurgeReceive();
  EXPECT_EQ(port_->InQueueCount(), 0u);
  dispatcher_.drain();
  EXPECT_TRUE(received_.empty());
}

TEST_F(CommXTest, PurgeReceiveDiscardsWaitingBytes) {
  openPort();
  ASSERT_TRUE(pty_.write(std::string("stale bytes")));
  EXPECT_TRUE(waitUntil([&] { return port_->InQueueCount() == 11; }));
  port_->PurgeReceive();
  EXPECT_EQ(port_->InQueueCount(), 0u);
  port_->SetTimeOutReceive(50);
  EXPECT_EQ(readString(4), "");
  ASSERT_TRUE(pty_.write(std::string("new")));
  port_->SetTimeOutReceive(kLongTimeOutMs);
  EXPECT_EQ(readString(3), "new");
}

TEST_F(CommXTest, WaitHookRunsWhileReadWaitsAndCanHandleEvents) {
  openPort();
  port_->SetTimeOutReceive(kLongTimeOutMs);
  // The hook keeps being called while the read waits: only its fifth call sends the bytes.
  int calls = 0;
  port_->SetWaitHook([&] {
    ++calls;
    dispatcher_.drain();
    if (calls == 5) pty_.write(std::string("abc"));
  });
  EXPECT_EQ(readString(3), "abc");
  EXPECT_GE(calls, 5);
}

TEST_F(CommXTest, ReadNestedInTheWaitHookIsServedFirst) {
  openPort();
  port_->SetTimeOutReceive(kLongTimeOutMs);
  std::string inner;
  bool nested = false;
  bool sent = false;
  port_->SetWaitHook([&] {
    if (nested) {
      // The bytes come while the inner read waits: they belong to it first.
      if (!sent) sent = pty_.write(std::string("abcdef"));
      return;
    }
    nested = true;
    inner = readString(2);
  });
  EXPECT_EQ(readString(4), "cdef");
  EXPECT_EQ(inner, "ab");
}

TEST_F(CommXTest, DeviceIsWatchedWhileAReadRunsItsWaitHook) {
  openPort();
  port_->SetTimeOutReceive(kLongTimeOutMs);
  std::size_t queuedDuringHook = 0;
  bool first = true;
  port_->SetWaitHook([&] {
    if (!first) return;
    first = false;
    // Long event handling: the receive thread must keep taking bytes meanwhile.
    pty_.write(std::string("wxyz12"));
    waitUntil([&] { return port_->InQueueCount() >= 2; });
    queuedDuringHook = port_->InQueueCount();
  });
  EXPECT_EQ(readString(4), "wxyz");
  EXPECT_EQ(queuedDuringHook, 2u);
}

TEST_F(CommXTest, BytesAfterAReadStillReachOnReceive) {
  openPort();
  port_->SetTimeOutReceive(kLongTimeOutMs);
  bool sent = false;
  port_->SetWaitHook([&] {
    if (!sent) sent = pty_.write(std::string("ok"));
  });
  for (int round = 0; round < 3; ++round) {
    sent = false;
    EXPECT_EQ(readString(2), "ok");
  }
  ASSERT_TRUE(pty_.write(std::string("late")));
  auto deadline = Clock::now() + kEventDeadline;
  while (received_.empty() && Clock::now() < deadline) dispatcher_.waitAndDrain(20ms);
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(received_[0], 4);
}

TEST_F(CommXTest, ClosingFromTheWaitHookEndsTheReadWithMinusOne) {
  openPort();
  port_->SetTimeOutReceive(kLongTimeOutMs);
  port_->SetWaitHook([&] { port_->Close(); });
  char buffer[4];
  auto start = Clock::now();
  EXPECT_EQ(port_->Read(buffer, 4), -1);
  EXPECT_LT(msSince(start), kPromptly);
  EXPECT_FALSE(port_->IsOpen());
}

TEST_F(CommXTest, DestroyingThePortFromTheWaitHookIsSafe) {
  openPort();
  port_->SetTimeOutReceive(kLongTimeOutMs);
  TCommX* raw = port_.get();
  raw->SetWaitHook([&] { port_.reset(); });
  char buffer[4];
  EXPECT_EQ(raw->Read(buffer, 4), -1);
  EXPECT_EQ(port_, nullptr);
}

TEST_F(CommXTest, UnreadBytesBeyondTheBufferAreDroppedWithAnOverrunError) {
  port_->SetBufLenReceive(1024);
  std::vector<std::int32_t> errors;
  port_->OnError = [&](TCustomCommX&, std::int32_t state) { errors.push_back(state); };
  openPort();
  const auto flood = test::pattern(kMinReceiveCapacity + 1500);
  ASSERT_TRUE(pty_.write(flood));
  auto deadline = Clock::now() + kEventDeadline;
  while (errors.empty() && Clock::now() < deadline) dispatcher_.waitAndDrain(20ms);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0], kCommErrOverrun);
  EXPECT_EQ(port_->InQueueCount(), kMinReceiveCapacity);
  std::vector<char> first(kMinReceiveCapacity);
  ASSERT_EQ(port_->Read(first.data(), static_cast<int>(first.size())),
            static_cast<int>(kMinReceiveCapacity));
  EXPECT_TRUE(std::equal(first.begin(), first.end(), flood.begin(),
                         [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
}

// --- closing and vanishing -----------------------------------------------------------------

TEST_F(CommXTest, ClosingWhileTheOtherSideStreamsEndsQuickly) {
  openPort();
  std::atomic<bool> stop{false};
  std::thread board([&] {
    const auto chunk = test::pattern(64);
    while (!stop) {
      if (!pty_.write(chunk.data(), chunk.size(), 20ms)) std::this_thread::sleep_for(1ms);
    }
  });
  // Close once the stream is arriving.
  ASSERT_TRUE(waitUntil([&] { return dispatcher_.pending() != 0; }));
  dispatcher_.drain();
  auto start = Clock::now();
  port_->Close();
  EXPECT_LT(msSince(start), kPromptly);
  EXPECT_FALSE(port_->IsOpen());
  port_->Close();  // twice is harmless
  // Notifications posted before the close reach nobody.
  received_.clear();
  dispatcher_.drain();
  EXPECT_TRUE(received_.empty());
  // The device can be opened again at once.
  EXPECT_NO_THROW(port_->Open());
  stop = true;
  board.join();
}

TEST_F(CommXTest, DestroyingAnOpenStreamingPortLeavesNoLiveNotification) {
  openPort();
  int calls = 0;
  port_->OnReceive = [&](TCustomCommX&, std::int32_t) { ++calls; };
  std::atomic<bool> stop{false};
  std::thread board([&] {
    const auto chunk = test::pattern(32);
    while (!stop) {
      if (!pty_.write(chunk.data(), chunk.size(), 20ms)) std::this_thread::sleep_for(1ms);
    }
  });
  // Destroy the port with a notification of the stream waiting.
  ASSERT_TRUE(waitUntil([&] { return dispatcher_.pending() != 0; }));
  auto start = Clock::now();
  port_.reset();
  EXPECT_LT(msSince(start), kPromptly);
  stop = true;
  board.join();
  calls = 0;
  dispatcher_.drain();  // stale calls must check that the port is gone
  EXPECT_EQ(calls, 0);
}

TEST_F(CommXTest, VanishingDeviceEndsAWaitingReadAndLaterWrites) {
  openPort();
  port_->SetTimeOutReceive(kLongTimeOutMs);
  // The device goes while the read waits.
  port_->SetWaitHook([&] { pty_.closeMaster(); });
  auto start = Clock::now();
  EXPECT_EQ(readString(4), "");
  EXPECT_LT(msSince(start), kPromptly);
  EXPECT_TRUE(port_->Vanished());
  EXPECT_TRUE(port_->IsOpen());  // still the caller's to close
  EXPECT_FALSE(port_->WriteString("lost"));
  port_->SetWaitHook(nullptr);
  start = Clock::now();
  EXPECT_EQ(readString(2), "");
  EXPECT_LT(msSince(start), kPromptly);
  port_->Close();
  EXPECT_FALSE(port_->IsOpen());
  EXPECT_FALSE(port_->Vanished());
}

TEST_F(CommXTest, BytesBeforeTheDeviceVanishedCanStillBeRead) {
  openPort();
  ASSERT_TRUE(pty_.write(std::string("last")));
  ASSERT_TRUE(waitUntil([&] { return port_->InQueueCount() == 4; }));
  pty_.closeMaster();
  EXPECT_TRUE(waitUntil([&] { return port_->Vanished(); }));
  EXPECT_EQ(readString(8), "last");
}

}  // namespace
}  // namespace pvrj
