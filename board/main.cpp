// pvrj-board: the virtual board behind a pseudo-terminal, reachable as COMn.
#include <unistd.h>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "board/PtyServer.h"
#include "board/VirtualBoard.h"
#include "common/FileIo.h"
#include "common/SettingsFolder.h"

namespace {

volatile std::sig_atomic_t gStopFd = -1;

extern "C" void onSignal(int sig) {
  const int saved = errno;
  if (gStopFd >= 0) {
    const char byte =
        sig == SIGHUP ? pvrj::board::PtyServer::kPowerCycleByte : pvrj::board::PtyServer::kStopByte;
    [[maybe_unused]] ssize_t n = ::write(gStopFd, &byte, 1);
  }
  errno = saved;
}

constexpr int kExitUsage = 2;
constexpr int kMaxPortNo = 256;

void usage(std::FILE* to) {
  std::fputs(
      "usage: pvrj-board --com N [--state FILE] [--pace] [--still] [--report-ms MS]\n"
      "                  [--streams] [--qvs LIST] [--qvs-mode] [--fault EXCHANGE:KIND[:ARG]]...\n"
      "       pvrj-board --device-only [--state FILE] [--pace] [--still] [--report-ms MS]\n"
      "                  [--streams] [--qvs LIST] [--qvs-mode] [--fault ...]\n"
      "Serves a virtual controller board on a pseudo-terminal and prints its device path.\n"
      "  --com N         also make the link ports/COMN in the settings folder\n"
      "  --device-only   make no link\n"
      "  --state FILE    keep the board's memory in FILE between runs\n"
      "  --pace          pass bytes at the line rate of 115200 bit/s\n"
      "  --still         keep the analog and receiver readings where they are (they swing\n"
      "                  slowly by default)\n"
      "  --report-ms MS  stream a report every MS milliseconds while a stream is on (5 to\n"
      "                  1000, default 50)\n"
      "  --qvs LIST      servo-bus servos on the channels of LIST (such as 1,3,5-8), kept in the\n"
      "                  board's QVS channel mask\n"
      "  --streams       send receiver and analog reports from the start, as if the PC\n"
      "                  had switched both streams on\n"
      "  --qvs-mode      power on in servo-bus mode (the stored option bit 0x4000 set)\n"
      "  --fault E:KIND  misbehave at exchange E (1 = first handshake); KIND is noanswer,\n"
      "                  short:K, checksum, garbage[:HEX], delay:MS, hangup, split:K:MS\n"
      "                  (the first K bytes of the reply, the rest MS later) or corrupt[:B]\n"
      "                  (the next stored record or step from E on is kept with its byte B,\n"
      "                  by default the record's last, off by one bit)\n"
      "SIGHUP switches the board off and on (its memory stays), which enters or leaves the\n"
      "servo-bus mode. SIGINT or SIGTERM ends it: the link is removed, the state saved.\n",
      to);
}

bool parsePositive(const char* text, long& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtol(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && out >= 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pvrj::board;
  long comPort = 0;
  bool deviceOnly = false;
  bool pace = false;
  bool streams = false;
  bool still = false;
  long reportMs = kAnalogReportPeriod / 1000;
  std::optional<std::array<std::uint8_t, 3>> servoBus;
  bool servoBusMode = false;
  std::string statePath;
  std::vector<std::pair<std::uint64_t, Fault>> faults;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--com" && hasValue) {
      if (!parsePositive(argv[++i], comPort) || comPort > kMaxPortNo) {
        std::fprintf(stderr, "pvrj-board: --com wants a port number from 1 to %d\n", kMaxPortNo);
        return kExitUsage;
      }
    } else if (arg == "--state" && hasValue) {
      statePath = argv[++i];
    } else if (arg == "--pace") {
      pace = true;
    } else if (arg == "--streams") {
      streams = true;
    } else if (arg == "--still") {
      still = true;
    } else if (arg == "--report-ms" && hasValue) {
      if (!parsePositive(argv[++i], reportMs) || reportMs < kFastestReportPeriod / 1000 ||
          reportMs > kSlowestReportPeriod / 1000) {
        std::fprintf(stderr, "pvrj-board: --report-ms wants %ld to %ld\n",
                     static_cast<long>(kFastestReportPeriod / 1000),
                     static_cast<long>(kSlowestReportPeriod / 1000));
        return kExitUsage;
      }
    } else if (arg == "--qvs" && hasValue) {
      servoBus = parseChannelMask(argv[++i]);
      if (!servoBus) {
        std::fprintf(stderr, "pvrj-board: --qvs wants channels from 1 to 24, such as 1,3,5-8\n");
        return kExitUsage;
      }
    } else if (arg == "--qvs-mode") {
      servoBusMode = true;
    } else if (arg == "--device-only") {
      deviceOnly = true;
    } else if (arg == "--fault" && hasValue) {
      const std::string faultText = argv[++i];
      const std::size_t colon = faultText.find(':');
      long index = 0;
      std::optional<Fault> f;
      if (colon != std::string::npos && parsePositive(faultText.substr(0, colon).c_str(), index)) {
        f = parseFault(faultText.substr(colon + 1));
      }
      if (!f) {
        std::fprintf(stderr, "pvrj-board: cannot read the fault \"%s\"\n", faultText.c_str());
        return kExitUsage;
      }
      faults.emplace_back(static_cast<std::uint64_t>(index - 1), *f);
    } else if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "pvrj-board: unknown or incomplete option \"%s\"\n", arg.c_str());
      usage(stderr);
      return kExitUsage;
    }
  }
  if ((comPort == 0) == !deviceOnly) {
    std::fputs("pvrj-board: give either --com N or --device-only\n", stderr);
    usage(stderr);
    return kExitUsage;
  }

  // The memory is written back at the end: a place where it cannot be kept is refused now,
  // not after a session whose changes would then be lost.
  if (!statePath.empty()) {
    if (pvrj::Status s = pvrj::probeWritable(statePath); !s) {
      std::fprintf(stderr, "pvrj-board: cannot keep the state in \"%s\": %s\n", statePath.c_str(),
                   s.message().c_str());
      return kExitUsage;
    }
  }

  BoardMemory memory;
  if (!statePath.empty()) {
    pvrj::Result<BoardMemory> loaded = loadMemory(statePath);
    if (!loaded) {
      std::fprintf(stderr, "pvrj-board: cannot use the state file: %s\n", loaded.message().c_str());
      return 1;
    }
    memory = std::move(loaded.value());
  }
  if (servoBus) memory.qvsMask = *servoBus;
  if (servoBusMode) memory.stored.options |= kOptQvsMode;
  VirtualBoard board(std::move(memory));
  board.setPacing(pace);
  board.setWholeRuns(pace);
  board.setWobble(true);
  board.setMovingReadings(!still);
  board.setReportPeriod(static_cast<Micros>(reportMs) * 1000);
  if (streams) board.live().working.options |= kOptReceiverStream | kOptAnalogStream;
  for (const auto& [index, fault] : faults) board.injectFaultAt(index, fault);

  PtyServer server(board);
  if (pvrj::Status s = server.open(); !s) {
    std::fprintf(stderr, "pvrj-board: %s\n", s.message().c_str());
    return 1;
  }
  auto saveState = [&] {
    if (statePath.empty()) return;
    if (pvrj::Status s = saveMemory(board.memory(), statePath); !s) {
      std::fprintf(stderr, "pvrj-board: cannot save the state: %s\n", s.message().c_str());
    }
  };
  server.setStateSaver(saveState);

  gStopFd = server.stopDescriptor();
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  if (comPort != 0) {
    if (pvrj::Status s = pvrj::makePortLink(static_cast<int>(comPort), server.devicePath()); !s) {
      std::fprintf(stderr, "pvrj-board: %s\n", s.message().c_str());
      return 1;
    }
  }
  std::printf("%s\n", server.devicePath().c_str());
  std::fflush(stdout);
  if (comPort != 0) {
    std::fprintf(stderr, "pvrj-board: COM%ld is %s (%s)\n", comPort, server.devicePath().c_str(),
                 pvrj::portLinkPath(static_cast<int>(comPort)).c_str());
  }

  const pvrj::Status served = server.serve();
  if (comPort != 0) pvrj::removePortLink(static_cast<int>(comPort), server.devicePath());
  saveState();
  if (!served) {
    std::fprintf(stderr, "pvrj-board: %s\n", served.message().c_str());
    return 1;
  }
  if (server.hungUp()) std::fputs("pvrj-board: hung up as told\n", stderr);
  return 0;
}
