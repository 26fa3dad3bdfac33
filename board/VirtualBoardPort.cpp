// The in-process port: reads drive the virtual board's clock instead of waiting in real time.
#include "board/VirtualBoardPort.h"

#include <algorithm>

namespace pvrj::board {

VirtualBoardPort::VirtualBoardPort()
    : owned_(std::make_unique<VirtualBoard>()), board_(owned_.get()) {}

VirtualBoardPort::VirtualBoardPort(VirtualBoard& board) : board_(&board) {}

bool VirtualBoardPort::IsOpen() const {
  return open_ && !board_->hungUp();
}

void VirtualBoardPort::Write(const std::uint8_t* data, std::size_t count) {
  if (!IsOpen()) return;
  board_->receive(data, count, now_);
  board_->advance(now_);
}

std::size_t VirtualBoardPort::Read(std::uint8_t* buffer, std::size_t count) {
  if (!IsOpen() || count == 0) return 0;
  const Micros deadline = now_ + static_cast<Micros>(std::max(0, timeOutReceive_)) * 1000;
  std::size_t got = 0;
  for (;;) {
    board_->advance(now_);
    const std::vector<std::uint8_t> bytes = board_->takeOutput(now_, count - got);
    std::copy(bytes.begin(), bytes.end(), buffer + got);
    got += bytes.size();
    if (got == count || board_->hungUp()) return got;
    const std::optional<Micros> next = board_->nextWake(now_);
    if (!next || *next > deadline) {
      if (now_ >= deadline) return got;
      if (hook_) hook_();  // the user interface still gets its turn during a wait
      now_ = deadline;     // nothing will come in time: the time-out passes at once
      continue;
    }
    now_ = std::max(*next, now_ + 1);
    if (hook_) hook_();
  }
}

void VirtualBoardPort::PurgeReceive() {
  board_->advance(now_);
  board_->discardOutput(now_);
}

std::size_t VirtualBoardPort::InQueueCount() {
  if (!IsOpen()) return 0;
  board_->advance(now_);
  return board_->outputReady(now_);
}

void VirtualBoardPort::runUntil(Micros t) {
  for (;;) {
    board_->advance(now_);
    const std::optional<Micros> next = board_->nextWake(now_);
    if (!next || *next > t) break;
    now_ = *next;
  }
  now_ = std::max(now_, t);
  board_->advance(now_);
}

void VirtualBoardPort::advanceTime(int milliseconds) {
  runUntil(now_ + static_cast<Micros>(std::max(0, milliseconds)) * 1000);
}

std::vector<std::uint8_t> VirtualBoardPort::takeUnprompted() {
  board_->advance(now_);
  return board_->takeOutput(now_);
}

}  // namespace pvrj::board
