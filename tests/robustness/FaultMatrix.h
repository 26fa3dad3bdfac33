// A bench for running board flows against the in-process virtual board with faults injected:
// the board, a port that notes the board's memory before every exchange, the link and everything
// a transfer works on, and the verdict of one run.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "board/VirtualBoard.h"
#include "board/VirtualBoardPort.h"
#include "compiler/Transfer.h"
#include "support/FakeUserInterface.h"

namespace pvrj::test {

// Forwards to the virtual board's port, and calls beforeExchange whenever a handshake goes out.
class TappedPort : public BoardPort {
 public:
  explicit TappedPort(board::VirtualBoardPort& inner) : inner_(inner) {}
  std::function<void()> beforeExchange;

  bool IsOpen() const override { return inner_.IsOpen(); }
  bool Vanished() const override { return inner_.Vanished(); }
  void Write(const std::uint8_t* data, std::size_t count) override {
    if (count == 1 && data[0] == kHandshakeByte && beforeExchange) beforeExchange();
    inner_.Write(data, count);
  }
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    return inner_.Read(buffer, count);
  }
  void PurgeReceive() override { inner_.PurgeReceive(); }
  void PurgeTransmit() override { inner_.PurgeTransmit(); }
  std::size_t InQueueCount() override { return inner_.InQueueCount(); }
  int TimeOutReceive() const override { return inner_.TimeOutReceive(); }
  void SetTimeOutReceive(int milliseconds) override { inner_.SetTimeOutReceive(milliseconds); }
  void SetWaitHook(std::function<void()> hook) override { inner_.SetWaitHook(std::move(hook)); }

 private:
  board::VirtualBoardPort& inner_;
};

// Everything one run of a flow works on, around a board started from a given memory.
struct Bench {
  explicit Bench(const board::BoardMemory& memory) : board(memory), port(board), tap(port) {
    board.setPacing(true);  // replies take their time on the wire, as on the cable
    link.clock = [] {
      std::tm t{};
      t.tm_mon = 4;
      t.tm_mday = 6;
      t.tm_hour = 7;
      t.tm_min = 8;
      return t;
    };
    link.onTableEntryChanged = [this](int n, const TableEntryData& e) {
      table.ShowTableEntry(e, n, false);
    };
    context.textWidth = [](const std::string& text) { return static_cast<int>(text.size()) * 7; };
  }

  board::VirtualBoard board;
  board::VirtualBoardPort port;
  TappedPort tap;
  FakeUserInterface ui;
  BoardLink link{tap, ui};
  Chart chart;
  CompilerState state;
  MotionTable table;
  TransferContext context{link, ui, chart, state, table, nullptr, nullptr, nullptr, nullptr};
};

// One board flow: what it is called, and the run that says whether it did all it set out to do.
struct Flow {
  std::string name;
  std::function<bool(Bench&)> run;
  // Sets the bench up before the run (a chart to write); nothing is sent.
  std::function<void(Bench&)> prepare;
  // The items' names and widths are the board's names of the motions they play, read one by one
  // after the steps; a name that cannot be read is left empty, and the chart is still the
  // scenario that was read.
  bool namesBestEffort = false;
};

}  // namespace pvrj::test
