// The operations a board exchange needs from a port; CommX implements it on a tty and the
// virtual board implements it in-process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace pvrj {

class BoardPort {
 public:
  virtual ~BoardPort() = default;

  virtual bool IsOpen() const = 0;
  // Closes the port (the link does so when its device went away); nothing on a closed port.
  // A port that cannot be closed, such as a test's scripted one, keeps this default.
  virtual void Close() {}
  // True once the device went away under the open port (unplugged, other side closed).
  virtual bool Vanished() const { return false; }
  // Queues bytes for sending and returns at once; nothing happens on a closed port.
  virtual void Write(const std::uint8_t* data, std::size_t count) = 0;
  // Waits until count bytes have arrived or TimeOutReceive ms have passed since the call began;
  // returns the number of bytes stored in buffer. A closed port returns 0 at once.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t count) = 0;
  virtual void PurgeReceive() = 0;
  virtual void PurgeTransmit() = 0;
  virtual std::size_t InQueueCount() = 0;
  virtual int TimeOutReceive() const = 0;
  virtual void SetTimeOutReceive(int milliseconds) = 0;
  // Called every few milliseconds while Read waits, so a window stays responsive.
  virtual void SetWaitHook(std::function<void()> hook) = 0;
};

}  // namespace pvrj
