// Running board flows for the robustness tests: every flow of the program on a rig (a link and
// everything a transfer works on), and a bench that puts a rig on the in-process virtual board
// behind a port that notes the board's memory before every exchange.
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
  void Close() override { inner_.Close(); }
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

// What a flow works on: the link over some port, the user interface and everything a transfer
// needs.
struct Rig {
  explicit Rig(BoardPort& port) : link(port, ui) {
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
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  FakeUserInterface ui;
  BoardLink link;
  Chart chart;
  CompilerState state;
  MotionTable table;
  TransferContext context{link, ui, chart, state, table, nullptr, nullptr, nullptr, nullptr};
};

// A rig on the in-process virtual board, started from a given memory.
struct Bench {
  explicit Bench(const board::BoardMemory& memory) : board(memory), port(board), tap(port) {
    board.setPacing(true);  // replies take their time on the wire, as on the cable
  }

  board::VirtualBoard board;
  board::VirtualBoardPort port;
  TappedPort tap;
  Rig rig{tap};
};

// One board flow: what it is called, and the run that says whether it did all it set out to do.
struct Flow {
  std::string name;
  std::function<bool(Rig&)> run;
  // Sets the bench up before the run (a chart to write); nothing is sent.
  std::function<void(Rig&)> prepare;
  // The items' names and widths are the board's names of the motions they play, read one by one
  // after the steps; a name that cannot be read is left empty, and the chart is still the
  // scenario that was read.
  bool namesBestEffort = false;
};

// The board every run starts from: a motion in M1, a scenario in S1, servo-bus mode with a servo
// on CH1 (so its parameter commands are answered).
const board::BoardMemory& startingMemory();
// A chain of POS items with distinct poses named WALK; compiled it gives count + 1 records.
Chart poseChain(int count);
// Whether a status line told of a failure ("...失敗: ...").
bool toldFailure(const Rig& rig);
// Every board command, composite and flow of the program, each as it runs on that board.
std::vector<Flow> allFlows();

}  // namespace pvrj::test
