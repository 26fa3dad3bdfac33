// pvrj-cli doctor: the serial self-check, one line per check, ending with whether a board
// answers.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/BoardSession.h"
#include "cli/CliCommand.h"
#include "common/Encoding.h"
#include "protocol/PortCheck.h"

namespace pvrj::cli {
namespace {

constexpr int kExitProblem = 1;
constexpr std::size_t kInfoLineLength = 16;  // the board's information text: 4 lines of 16

void print(const DoctorLine& line) {
  const char* mark = line.mark == DoctorLine::kOk     ? "ok"
                     : line.mark == DoctorLine::kWarn ? "warn"
                     : line.mark == DoctorLine::kFail ? "FAIL"
                                                      : "--";
  std::printf("%-8s %-4s %s\n", line.check.c_str(), mark, line.text.c_str());
  std::fflush(stdout);
}

// The first line of the board's information text, without its padding.
std::string firstInfoLine(const Bytes& info) {
  std::string line(info.begin(), info.begin() + static_cast<std::ptrdiff_t>(
                                                    std::min(info.size(), kInfoLineLength)));
  line = line.substr(0, line.find('\0'));
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return cp932ToUtf8(line);
}

int runDoctor(const CliOptions& options, const std::vector<std::string>& args) {
  if (!args.empty()) {
    std::fprintf(stderr, "usage: pvrj-cli --port PORT doctor\n");
    return kExitUsage;
  }
  if (options.port.empty()) {
    std::fprintf(stderr, "pvrj-cli: doctor needs --port COMn or --port DEVICE\n");
    return kExitUsage;
  }
  const PortFacts facts = examinePort(options.port);
  if (facts.problem != PortProblem::kNone) {
    for (const DoctorLine& line : doctorLines(facts)) print(line);
    print({DoctorLine::kSkipped, "board", "not checked: the port cannot be used"});
    return kExitProblem;
  }
  BoardSession session(options);
  if (session.open() != kExitOk) {
    for (const DoctorLine& line : doctorLines(facts)) print(line);
    print(
        {DoctorLine::kFail, "open", "the port was found usable but did not open as a serial line"});
    return kExitProblem;
  }
  // Opening asks the driver for low latency: the timer now tells whether that took.
  for (const DoctorLine& line : doctorLines(facts, readLatencyTimer(facts))) print(line);
  Bytes info;
  if (!session.link().CmdReadBoardInfo(info)) {
    print({DoctorLine::kFail, "board",
           "no answer: " + session.link().lastFailureText() +
               " (is the board switched on and its cable in?)"});
    return kExitProblem;
  }
  print({DoctorLine::kOk, "board", "answers: " + firstInfoLine(info)});
  return kExitOk;
}

const bool kRegistered = registerCommand(
    {"doctor",
     "doctor             check the port: link, device, access, other programs, adapter,\n"
     "                     latency and whether a board answers; exit 0 when it is usable",
     runDoctor});

}  // namespace
}  // namespace pvrj::cli
