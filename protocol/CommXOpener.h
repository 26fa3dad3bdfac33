// The serial-port component as the board link uses it: the board's line settings and the port's
// opening side.
#pragma once

#include <string>
#include <utility>

#include "protocol/BoardLink.h"
#include "serial/CommX.h"

namespace pvrj {

// The board's line: 115200 bit/s, 8 data bits, no parity, 1 stop bit, no flow control, driver
// buffers of 2048 bytes each way, transmit time-out 3000 ms, receive time-out 300 ms.
inline constexpr int kBoardBitRate = 115200;
inline constexpr int kBoardCharSize = 8;
inline constexpr int kBoardBufferLength = 2048;
inline constexpr int kBoardTransmitTimeOut = 3000;  // ms

// Gives the port the board's line settings; every program and test that opens a port to the
// board calls this. Raises ECommError as the setters do when the port is open and refuses one.
inline void configureBoardLine(TCommX& port) {
  port.SetBitRate(kBoardBitRate);
  port.SetCharSize(kBoardCharSize);
  port.SetParityBit(cpbNone);
  port.SetStopBit(csb1);
  port.SetFlowCtrl(cfcNone);
  port.SetBufLenTrans(kBoardBufferLength);
  port.SetBufLenReceive(kBoardBufferLength);
  port.SetTimeOutTrans(kBoardTransmitTimeOut);
  port.SetTimeOutReceive(kReceiveTimeOut);
}

// Opens "COM"k, or a fixed device path when one is given (the command line's --port /dev/...).
class CommXOpener : public PortOpener {
 public:
  explicit CommXOpener(TCommX& comm, std::string devicePath = {})
      : comm_(comm), devicePath_(std::move(devicePath)) {}

  void Close() override { comm_.Close(); }
  void Open(int portNo) override {
    if (devicePath_.empty()) {
      comm_.SetDevicePath("");
      comm_.SetPortNo(portNo);
    } else {
      comm_.SetDevicePath(devicePath_);
    }
    comm_.Open();
  }
  void SetDtr(bool on) override { comm_.SetDtr(on); }

 private:
  TCommX& comm_;
  std::string devicePath_;
};

}  // namespace pvrj
