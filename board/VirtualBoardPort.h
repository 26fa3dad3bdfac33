// An in-process port to a virtual board on a simulated clock, for fast tests of board code:
// time-outs pass at once when the board has nothing more to say.
#pragma once

#include <functional>
#include <memory>

#include "board/VirtualBoard.h"
#include "serial/BoardPort.h"

namespace pvrj::board {

// The receive time-out a new port starts with, as the board link sets it.
inline constexpr int kDefaultTimeOutReceive = 300;

class VirtualBoardPort : public BoardPort {
 public:
  // A port to a board of its own.
  VirtualBoardPort();
  // A port to a board owned by the caller, which must outlive the port.
  explicit VirtualBoardPort(VirtualBoard& board);

  bool IsOpen() const override;
  void Write(const std::uint8_t* data, std::size_t count) override;
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
  void PurgeReceive() override;
  void PurgeTransmit() override {}  // writes reach the board at once
  std::size_t InQueueCount() override;
  int TimeOutReceive() const override { return timeOutReceive_; }
  void SetTimeOutReceive(int milliseconds) override { timeOutReceive_ = milliseconds; }
  void SetWaitHook(std::function<void()> hook) override { hook_ = std::move(hook); }

  // A closed port reads nothing and writes nowhere, like a real one.
  void Open() { open_ = true; }
  void Close() override { open_ = false; }

  VirtualBoard& board() { return *board_; }
  // The simulated clock in microseconds; it moves only while a read waits or when told to.
  Micros now() const { return now_; }
  // Lets simulated time pass, so the board plays, streams and drifts.
  void advanceTime(int milliseconds);
  // Every byte the board has sent so far that no read took, as the PC's handler would see it.
  std::vector<std::uint8_t> takeUnprompted();

 private:
  // Moves the clock to t, stopping at every moment the board has something to do.
  void runUntil(Micros t);

  std::unique_ptr<VirtualBoard> owned_;
  VirtualBoard* board_;
  Micros now_ = 0;
  bool open_ = true;
  int timeOutReceive_ = kDefaultTimeOutReceive;
  std::function<void()> hook_;
};

}  // namespace pvrj::board
