// Opening the board port for pvrj-cli.
#include "cli/BoardSession.h"

#include <cctype>
#include <cstdio>

namespace pvrj::cli {
namespace {

constexpr std::size_t kMaxSlotDigits = 2;

// The number n of "COMn", 0 when text is not of that form.
int comNumber(const std::string& text) {
  if (text.size() < 4 || (text.compare(0, 3, "COM") != 0 && text.compare(0, 3, "com") != 0))
    return 0;
  int n = 0;
  for (std::size_t i = 3; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i])) || n > 99999) return 0;
    n = n * 10 + (text[i] - '0');
  }
  return n;
}

}  // namespace

BoardSession::BoardSession(const CliOptions& options)
    : portName_(options.port), ui_(options.yes), comm_(&dispatcher_) {
  configureBoardLine(comm_);
  link_ = std::make_unique<BoardLink>(comm_, ui_);
}

BoardSession::~BoardSession() {
  link_.reset();
  comm_.Close();
}

int BoardSession::open() {
  if (portName_.empty()) {
    std::fprintf(stderr, "pvrj-cli: this command needs --port COMn or --port DEVICE\n");
    return kExitUsage;
  }
  bool opened = false;
  if (int k = comNumber(portName_); k > 0) {
    CommXOpener opener(comm_);
    opened = link_->OpenBoardPort(opener, k);
  } else if (portName_.front() == '/') {
    CommXOpener opener(comm_, portName_);
    opened = link_->OpenNamedPort(opener, portName_);
  } else {
    std::fprintf(stderr, "pvrj-cli: --port wants COMn or a device path, not \"%s\"\n",
                 portName_.c_str());
    return kExitUsage;
  }
  if (!opened) {
    std::fprintf(stderr, "pvrj-cli: cannot open the port %s (%s)\n", portName_.c_str(),
                 comm_.DeviceName().c_str());
    return kExitNoBoard;
  }
  return kExitOk;
}

int BoardSession::failed(const std::string& action) {
  std::fprintf(stderr, "%s\n", link_->failureStatus(action).c_str());
  return kExitNoBoard;
}

int parseSlot(const std::string& text) {
  if (text.size() < 2 || text.size() > 1 + kMaxSlotDigits) return -1;
  int n = 0;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
    n = n * 10 + (text[i] - '0');
  }
  if (text[1] == '0') return -1;  // "M01" is not a slot name
  const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (kind == 'M' && n >= 1 && n <= kMotionSlots) return n - 1;
  if (kind == 'S' && n >= 1 && n <= kScenarioSlots) return kFirstScenarioSlot + n - 1;
  return -1;
}

}  // namespace pvrj::cli
