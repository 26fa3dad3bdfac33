// pvrj-cli commands of the board tools: the trims and trim files, the options in words, and
// watching the analog or receiver stream as CSV lines.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/BoardSession.h"
#include "cli/CliCommand.h"
#include "protocol/BoardMessages.h"
#include "protocol/MotionTable.h"
#include "tools/core/AnalogSettings.h"
#include "tools/core/BoardOptions.h"
#include "tools/core/ReceiverSettings.h"
#include "tools/core/Trims.h"

namespace pvrj::cli {
namespace {

// How often a watch looks for the end (Ctrl+C, the time given) while no report comes.
constexpr std::chrono::milliseconds kWatchPoll{100};
constexpr double kBatteryVolts = 0.01539;
constexpr double kInputVolts = 0.00532;
constexpr long kMaxWatchSeconds = 7L * 24 * 3600;

// What the status line names when a step fails.
constexpr const char* kActionReadTrims = "トリム読込";
constexpr const char* kActionSendTrims = "トリム設定";
constexpr const char* kActionReadOptions = "オプション読込";
constexpr const char* kActionOpenAnalog = "アナログ設定読込";
constexpr const char* kActionStoreAnalog = "アナログ設定保存";
constexpr const char* kActionOpenReceiver = "受信機設定読込";
constexpr const char* kActionStoreReceiver = "受信機設定保存";

volatile std::sig_atomic_t gStopWatch = 0;

extern "C" void onWatchSignal(int) {
  gStopWatch = 1;
}

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

// The stored trims, read as the trim dialog opens: asleep for the read, awake afterwards.
bool readStoredTrims(BoardSession& s, TrimValues& values) {
  return openTrims(s.link(), values) == TrimOpening::kReady;
}

int printTrims(BoardSession& s) {
  TrimValues values{};
  if (!readStoredTrims(s, values)) return s.failed(kActionReadTrims);
  for (int ch = 0; ch < kBoardChannels; ++ch) {
    const int value = values[static_cast<std::size_t>(ch)];
    std::printf("CH%-2d %+5d  (%d)\n", ch + 1, value - kTrimCentre, value);
  }
  return kExitOk;
}

int saveTrims(BoardSession& s, const std::string& path) {
  TrimValues values{};
  if (!readStoredTrims(s, values)) return s.failed(kActionReadTrims);
  // What the dialog's bars hold: a board value beyond the range is saved at its bound.
  if (Status st = writeTrimFile(path, collectTrims(trimRows(values))); !st) {
    std::fprintf(stderr, "pvrj-cli: %s: %s\n", path.c_str(), st.message().c_str());
    return kExitUsage;
  }
  return kExitOk;
}

int loadTrims(BoardSession& s, const std::string& path) {
  Result<TrimValues> values = readTrimFile(path);
  if (!values) {
    std::fprintf(stderr, "pvrj-cli: %s: %s\n", path.c_str(), values.message().c_str());
    return kExitUsage;
  }
  // As loading the file in the dialog and closing it: the working copy, then the stored one.
  if (!sendLoadedTrims(s.link(), values.value())) return s.failed(kActionSendTrims);
  const TrimClosing closed = closeTrims(s.link(), collectTrims(trimRows(values.value())));
  if (closed != TrimClosing::kStored) return s.failed(kActionStoreTrims);
  return kExitOk;
}

int runTrims(const CliOptions& options, const std::vector<std::string>& args) {
  const bool show = args.empty();
  const bool save = args.size() == 2 && args[0] == "save";
  const bool load = args.size() == 2 && args[0] == "load";
  if (!show && !save && !load) return wrongArguments("trims [save FILE | load FILE]");
  return withBoard(options, [&](BoardSession& s) {
    if (save) return saveTrims(s, args[1]);
    if (load) return loadTrims(s, args[1]);
    return printTrims(s);
  });
}

const char* onOff(bool on) {
  return on ? "on" : "off";
}

std::string listed(int index) {
  return index == kListOff ? std::string(kListOffText) : slotCaption(index - 1);
}

int runOptions(const CliOptions& options, const std::vector<std::string>& args) {
  if (!args.empty()) return wrongArguments("options");
  return withBoard(options, [](BoardSession& s) {
    OptionControls c;
    if (openBoardOptions(s.link(), c) != OptionsOpening::kReady)
      return s.failed(kActionReadOptions);
    std::uint16_t word = 0;
    Bytes alarm;
    if (!s.link().CmdReadOptions(StoredCopy, word) || !s.link().CmdReadAlarm(alarm)) {
      return s.failed(kActionReadOptions);
    }
    const int raw = readWord(alarm.data() + 1);
    std::printf("option word (stored): 0x%04X\n", word);
    std::printf("playback from the transmitter: %s\n", onOff(c.transmitterPlay));
    std::printf("start switch plays: %s\n", listed(c.startSwitchIndex).c_str());
    std::printf("power-on plays: %s\n", listed(c.powerOnIndex).c_str());
    std::printf("low supply voltage plays: %s\n", listed(c.lowVoltageIndex).c_str());
    std::printf("low-voltage threshold: %s (raw %d)\n", thresholdText(thresholdTenths(raw)).c_str(),
                raw);
    std::printf("reply when a motion ends: %s\n", onOff(c.playEndReply));
    std::printf("control from MTX1: %s\n", onOff(c.mtx1Control));
    std::string channels;
    for (int ch = 0; ch < kBoardChannels; ++ch) {
      if (c.qvsMask & (1u << ch)) channels += " CH" + std::to_string(ch + 1);
    }
    std::printf("servo-bus channels:%s\n", channels.empty() ? " none" : channels.c_str());
    return kExitOk;
  });
}

// Runs until Ctrl+C or the time is up, handing the port's bytes to the report parsers.
void watchStream(BoardSession& s, BoardMessages& messages, double seconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  s.port().OnReceive = [&](TCustomCommX&, std::int32_t size) {
    if (size > 0) messages.CommX1Receive(s.port(), static_cast<std::size_t>(size));
    while (messages.handleOneMessage()) {
    }
  };
  gStopWatch = 0;
  struct sigaction sa {};
  struct sigaction oldInt {};
  struct sigaction oldTerm {};
  sa.sa_handler = onWatchSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, &oldInt);
  sigaction(SIGTERM, &sa, &oldTerm);
  while (!gStopWatch) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (seconds > 0 && elapsed >= seconds) break;
    s.dispatcher().waitAndDrain(kWatchPoll);
  }
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  s.port().OnReceive = nullptr;
  s.dispatcher().drain();
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int watchAnalog(BoardSession& s, double seconds) {
  AnalogSettings settings;
  BoardMessages messages;
  if (!openAnalogDialog(s.link(), messages, settings)) return s.failed(kActionOpenAnalog);
  const auto start = std::chrono::steady_clock::now();
  std::printf("time_s,battery,ad1,ad2,ad3,battery_v,ad1_v,ad2_v,ad3_v\n");
  std::fflush(stdout);
  messages.onAnalogReport = [&](const AnalogReport& r) {
    takeAnalogReport(settings, r);
    std::printf("%.3f,%d,%d,%d,%d,%.2f,%.2f,%.2f,%.2f\n", secondsSince(start), r.battery,
                r.inputs[0], r.inputs[1], r.inputs[2], r.battery * kBatteryVolts,
                r.inputs[0] * kInputVolts, r.inputs[1] * kInputVolts, r.inputs[2] * kInputVolts);
    std::fflush(stdout);
  };
  watchStream(s, messages, seconds);
  // The board is left as the analog dialog leaves it: stream off, settings stored.
  return closeAnalogDialog(s.link(), settings) ? kExitOk : s.failed(kActionStoreAnalog);
}

int watchReceiver(BoardSession& s, double seconds) {
  ReceiverSettings settings;
  BoardMessages messages;
  if (!openReceiverDialog(s.link(), s.ui(), settings)) return s.failed(kActionOpenReceiver);
  const auto start = std::chrono::steady_clock::now();
  std::printf("time_s,button,pa1,pa2,pa3,pa4\n");
  std::fflush(stdout);
  messages.onReceiverReport = [&](const ReceiverReport& r) {
    takeReceiverReport(settings, r);
    std::printf("%.3f,%u,%u,%u,%u,%u\n", secondsSince(start), unsigned{r.buttonValue},
                unsigned{r.values[0]}, unsigned{r.values[1]}, unsigned{r.values[2]},
                unsigned{r.values[3]});
    std::fflush(stdout);
  };
  watchStream(s, messages, seconds);
  // As the receiver dialog closes: references stored, then the stream off.
  return closeReceiverDialog(s.link(), s.ui(), settings) ? kExitOk : s.failed(kActionStoreReceiver);
}

int runWatch(const CliOptions& options, const std::vector<std::string>& args) {
  const char* usage = "watch analog|receiver [--seconds N]";
  if (args.empty() || (args[0] != "analog" && args[0] != "receiver")) {
    return wrongArguments(usage);
  }
  long seconds = 0;
  if (args.size() == 3 && args[1] == "--seconds") {
    char* end = nullptr;
    seconds = std::strtol(args[2].c_str(), &end, 10);
    if (args[2].empty() || *end != '\0' || seconds < 1 || seconds > kMaxWatchSeconds) {
      std::fprintf(stderr, "pvrj-cli: --seconds wants a whole number from 1 to %ld\n",
                   kMaxWatchSeconds);
      return kExitUsage;
    }
  } else if (args.size() != 1) {
    return wrongArguments(usage);
  }
  return withBoard(options, [&](BoardSession& s) {
    const double limit = static_cast<double>(seconds);
    return args[0] == "analog" ? watchAnalog(s, limit) : watchReceiver(s, limit);
  });
}

const bool registered = [] {
  registerCommand({"trims",
                   "trims [save FILE | load FILE]  print the stored trims as offsets; save them as "
                   "a trim file; load one into the board",
                   runTrims});
  registerCommand({"options",
                   "options              print the option word, start and alarm data in words",
                   runOptions});
  registerCommand({"watch",
                   "watch analog|receiver [--seconds N]  print the stream as CSV lines until "
                   "Ctrl+C or N seconds",
                   runWatch});
  return true;
}();

}  // namespace
}  // namespace pvrj::cli
