// A board on the port named by --port, for the pvrj-cli commands that talk to it.
#pragma once

#include <memory>
#include <string>

#include "cli/CliCommand.h"
#include "cli/ConsoleUserInterface.h"
#include "protocol/BoardLink.h"
#include "protocol/CommXOpener.h"
#include "serial/CommX.h"

namespace pvrj::cli {

// Exit codes the board commands share.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNoBoard = 1;  // the port cannot be used or the board does not answer
inline constexpr int kExitUsage = 2;

class BoardSession {
 public:
  explicit BoardSession(const CliOptions& options);
  ~BoardSession();
  BoardSession(const BoardSession&) = delete;
  BoardSession& operator=(const BoardSession&) = delete;

  // Opens the port as the editor does ("COMn" or a device path). On failure the reason is on
  // stderr and the result is kExitUsage (no or bad --port) or kExitNoBoard.
  int open();

  BoardLink& link() { return *link_; }
  // The port, whose OnReceive events are queued on the dispatcher until drained.
  TCommX& port() { return comm_; }
  QueueDispatcher& dispatcher() { return dispatcher_; }
  ConsoleUserInterface& ui() { return ui_; }
  const std::string& portName() const { return portName_; }
  // Says on stderr which exchange of action failed and how; returns kExitNoBoard.
  int failed(const std::string& action);

 private:
  std::string portName_;
  ConsoleUserInterface ui_;
  QueueDispatcher dispatcher_;  // outlives the port that posts to it
  TCommX comm_;
  std::unique_ptr<BoardLink> link_;
};

// "M1".."M80" are table numbers 0 to 79, "S1".."S5" 80 to 84; -1 for anything else.
int parseSlot(const std::string& text);

}  // namespace pvrj::cli
