// A board link on the in-process virtual board, with helpers to read back what the board holds
// and to make one of the coming exchanges fail.
#pragma once

#include <cstdint>

#include "board/VirtualBoardPort.h"
#include "protocol/BoardLink.h"
#include "tests/support/FakeUserInterface.h"

namespace pvrj::test {

struct ToolRig {
  board::VirtualBoardPort port;
  FakeUserInterface ui;
  BoardLink link{port, ui};

  board::VirtualBoard& board() { return port.board(); }
  std::uint16_t workingOptions() { return board().live().working.options; }
  std::uint16_t storedOptions() { return board().memory().stored.options; }
  bool asleep() { return (workingOptions() & kOptionSleep) != 0; }
  // The exchange `ahead` exchanges from now (0: the next one) gets no handshake answer.
  void failExchange(std::uint64_t ahead) { failExchange(ahead, board::Fault::noHandshake()); }
  // The same with another fault. While a stream is on, a report byte can pass for the handshake
  // answer, so a reply that is wrong fails more surely than a missing answer.
  void failExchange(std::uint64_t ahead, const board::Fault& fault) {
    board().injectFaultAt(board().handshakeCount() + ahead, fault);
  }
  std::uint64_t exchanges() { return board().handshakeCount(); }
};

// Exchanges of SetSleep: going to sleep reads the word and the pose, frees the servos, writes the
// word and the pose back; waking reads and writes the word.
inline constexpr int kSleepExchanges = 5;
inline constexpr int kWakeExchanges = 2;

}  // namespace pvrj::test
