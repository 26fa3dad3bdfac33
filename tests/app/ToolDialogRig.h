// A board link on the in-process virtual board for the tool dialogs' window tests, with the
// unprompted bytes the board sent handed to the report parsers as the main window would.
#pragma once

#include <cstdint>

#include "board/VirtualBoardPort.h"
#include "protocol/BoardLink.h"
#include "protocol/BoardMessages.h"
#include "tests/support/FakeUserInterface.h"

namespace pvrj::test {

struct ToolDialogRig {
  board::VirtualBoardPort port;
  FakeUserInterface ui;
  BoardLink link{port, ui};
  BoardMessages messages;

  board::VirtualBoard& board() { return port.board(); }
  std::uint16_t workingOptions() { return board().live().working.options; }
  bool asleep() { return (workingOptions() & kOptionSleep) != 0; }
  void failExchange(std::uint64_t ahead) {
    board().injectFaultAt(board().handshakeCount() + ahead, board::Fault::noHandshake());
  }
  // The board's clock in seconds, for the plots.
  double seconds() { return static_cast<double>(port.now()) / 1e6; }
  // Lets board time pass and hands every whole message that came to the parsers, a few
  // milliseconds at a time, so each report is handled at about the time it came.
  void streamFor(int milliseconds) {
    constexpr int kStep = 5;
    for (int passed = 0; passed < milliseconds; passed += kStep) {
      port.advanceTime(kStep);
      const Bytes bytes = port.takeUnprompted();
      messages.receive(bytes.data(), bytes.size());
      while (messages.handleOneMessage()) {
      }
    }
  }
};

// SetSleep going to sleep takes five exchanges.
inline constexpr int kSleepExchanges = 5;

}  // namespace pvrj::test
