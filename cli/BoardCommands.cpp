// pvrj-cli commands that work the board directly: stop, pause, play, sleep and boardinfo.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/BoardSession.h"
#include "cli/CliCommand.h"
#include "common/Encoding.h"
#include "compiler/Transfer.h"

namespace pvrj::cli {
namespace {

constexpr std::size_t kInfoLineLength = 16;
constexpr const char* kActionBoardInfo = "ボード情報読込";

// Opens the board and runs body, or returns the opening's exit code.
template <class Body>
int withBoard(const CliOptions& options, Body body) {
  BoardSession session(options);
  if (int rc = session.open(); rc != kExitOk) return rc;
  return body(session);
}

int wrongArguments(const char* usage) {
  std::fprintf(stderr, "usage: pvrj-cli --port COMn|DEVICE %s\n", usage);
  return kExitUsage;
}

int runStop(const CliOptions& options, const std::vector<std::string>& args) {
  if (!args.empty()) return wrongArguments("stop");
  return withBoard(options, [](BoardSession& s) {
    return stopBoard(s.link(), s.ui()) ? kExitOk : kExitNoBoard;
  });
}

int runPause(const CliOptions& options, const std::vector<std::string>& args) {
  if (!args.empty()) return wrongArguments("pause");
  // The same toggle as the main window's pause button.
  return withBoard(options, [](BoardSession& s) {
    return pauseBoard(s.link(), s.ui()) ? kExitOk : kExitNoBoard;
  });
}

int runPlay(const CliOptions& options, const std::vector<std::string>& args) {
  if (args.size() != 1) return wrongArguments("play SLOT");
  int number = parseSlot(args[0]);
  if (number < 0) {
    std::fprintf(stderr, "pvrj-cli: \"%s\" is not a slot; slots are M1 to M80 and S1 to S5\n",
                 args[0].c_str());
    return kExitUsage;
  }
  return withBoard(options, [&](BoardSession& s) {
    return playSlotRequest(s.link(), s.ui(), static_cast<std::uint32_t>(number)) ? kExitOk
                                                                                 : kExitNoBoard;
  });
}

int runSleep(const CliOptions& options, const std::vector<std::string>& args) {
  if (args.size() != 1 || (args[0] != "on" && args[0] != "off"))
    return wrongArguments("sleep on|off");
  const bool on = args[0] == "on";
  return withBoard(options, [&](BoardSession& s) {
    return sleepBoard(s.link(), s.ui(), on) ? kExitOk : kExitNoBoard;
  });
}

int runBoardInfo(const CliOptions& options, const std::vector<std::string>& args) {
  if (!args.empty()) return wrongArguments("boardinfo");
  return withBoard(options, [](BoardSession& s) {
    Bytes info;
    if (!s.link().CmdReadBoardInfo(info)) return s.failed(kActionBoardInfo);
    // Four lines of 16 characters; a NUL ends a line early.
    for (std::size_t first = 0; first + kInfoLineLength <= info.size(); first += kInfoLineLength) {
      std::string line(info.begin() + static_cast<std::ptrdiff_t>(first),
                       info.begin() + static_cast<std::ptrdiff_t>(first + kInfoLineLength));
      line = line.substr(0, line.find('\0'));
      std::printf("%s\n", cp932ToUtf8(line).c_str());
    }
    return kExitOk;
  });
}

const bool registered = [] {
  registerCommand({"stop", "stop                 stop the motion the board plays", runStop});
  registerCommand({"pause", "pause                pause or resume the board (toggle)", runPause});
  registerCommand({"play", "play SLOT            play M1..M80 or S1..S5 on the board", runPlay});
  registerCommand({"sleep", "sleep on|off         put the board to sleep or wake it", runSleep});
  registerCommand(
      {"boardinfo", "boardinfo            print the board's four information lines", runBoardInfo});
  return true;
}();

}  // namespace
}  // namespace pvrj::cli
