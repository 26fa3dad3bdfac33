// pvrj-cli commands that move motions between chart files and the board: table, write, read,
// delete.
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "chart/ChartFile.h"
#include "cli/CliCommand.h"
#include "cli/ConsoleUserInterface.h"
#include "compiler/Transfer.h"
#include "protocol/BoardLink.h"
#include "protocol/MotionTable.h"
#include "serial/CommX.h"

namespace pvrj::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kLineBitRate = 115200;

// The port opened for the board as the editor opens it: raw, DTR pulsed, both queues emptied.
class TransferSession {
 public:
  explicit TransferSession(ConsoleUserInterface& ui) : ui_(ui), link_(port_, ui) {
    link_.onTableEntryChanged = [this](int n, const TableEntryData& e) {
      table_.ShowTableEntry(e, n, false);
    };
  }
  ~TransferSession() { port_.Close(); }

  bool open(const std::string& name) {
    if (name.empty()) {
      std::fprintf(stderr, "pvrj-cli: give the board's port with --port COMn or a device path\n");
      return false;
    }
    if (!port_.SetPortName(name)) {
      std::fprintf(stderr, "pvrj-cli: '%s' is no port name (COMn or /path)\n", name.c_str());
      return false;
    }
    try {
      port_.SetBitRate(kLineBitRate);
      port_.Open();
      port_.SetTimeOutReceive(kReceiveTimeOut);
      port_.SetDtr(true);
      port_.SetDtr(false);
      port_.PurgeReceive();
      port_.PurgeTransmit();
    } catch (const ECommError& e) {
      ui_.showStatus(name + "は使用できません");
      std::fprintf(stderr, "pvrj-cli: %s: %s\n", name.c_str(), e.what());
      port_.Close();
      return false;
    }
    return true;
  }

  BoardLink& link() { return link_; }
  MotionTable& table() { return table_; }

 private:
  ConsoleUserInterface& ui_;
  TCommX port_;
  BoardLink link_;
  MotionTable table_;
};

// "M1".."M80", "S1".."S5" (either case), or a table number 0-84.
std::optional<int> parseSlot(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char first = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  std::string digits = (first == 'M' || first == 'S') ? text.substr(1) : text;
  if (digits.empty() || digits.size() > 3) return std::nullopt;
  for (char c : digits)
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
  int value = std::stoi(digits);
  if (first == 'M') {
    if (value < 1 || value > kMotionSlots) return std::nullopt;
    return value - 1;
  }
  if (first == 'S') {
    if (value < 1 || value > kScenarioSlots) return std::nullopt;
    return kFirstScenarioSlot + value - 1;
  }
  if (value >= kTableSlots) return std::nullopt;
  return value;
}

int usage(const char* line) {
  std::fprintf(stderr, "usage: pvrj-cli --port PORT %s\n", line);
  return kExitUsage;
}

int runTable(const CliOptions& options, const std::vector<std::string>& args) {
  if (!args.empty()) return usage("table");
  ConsoleUserInterface ui(options.yes);
  TransferSession session(ui);
  if (!session.open(options.port)) return kExitFailed;
  TableReadResult result = readMotionTable(session.link(), session.table());
  const MotionTable& table = session.table();
  for (int n = 0; n < table.rowCount(); ++n) {
    const TableRow& row = table.row(n);
    std::printf("%s\t%s\t%s\t%s\t%s\n", row.caption.c_str(), row.name.c_str(), row.count.c_str(),
                row.date.c_str(), row.control.c_str());
  }
  if (result != TableReadResult::kComplete) {
    std::fprintf(stderr, "pvrj-cli: the board stopped answering after %d of %d entries\n",
                 table.rowCount(), kTableSlots);
    return kExitFailed;
  }
  return kExitOk;
}

int runWrite(const CliOptions& options, const std::vector<std::string>& args) {
  if (args.size() != 2) return usage("write FILE SLOT");
  std::optional<int> slot = parseSlot(args[1]);
  if (!slot) {
    std::fprintf(stderr, "pvrj-cli: '%s' is no slot (M1..M80, S1..S5)\n", args[1].c_str());
    return kExitUsage;
  }
  ConsoleUserInterface ui(options.yes);
  Chart chart;
  ClientArea client;
  if (!openFile(chart, client, args[0], ui).opened) {
    std::fprintf(stderr, "pvrj-cli: %s was not read\n", args[0].c_str());
    return kExitFailed;
  }
  bool scenario = chart.Type == kScenarioChart;
  if (scenario != (*slot >= kFirstScenarioSlot)) {
    std::fprintf(stderr, "pvrj-cli: a %s goes into %s\n",
                 scenario ? "scenario chart" : "motion chart", scenario ? "S1..S5" : "M1..M80");
    return kExitUsage;
  }
  TransferSession session(ui);
  if (!session.open(options.port)) return kExitFailed;
  CompilerState state;
  TransferContext context{session.link(), ui,      chart,   state,  session.table(),
                          nullptr,        nullptr, nullptr, nullptr};
  int target = scenario ? *slot - kFirstScenarioSlot : *slot;
  return writeChartToSlot(context, target) ? kExitOk : kExitFailed;
}

int runRead(const CliOptions& options, const std::vector<std::string>& args) {
  if (args.size() != 2) return usage("read SLOT OUT");
  std::optional<int> slot = parseSlot(args[0]);
  if (!slot) {
    std::fprintf(stderr, "pvrj-cli: '%s' is no slot (M1..M80, S1..S5)\n", args[0].c_str());
    return kExitUsage;
  }
  ConsoleUserInterface ui(options.yes);
  TransferSession session(ui);
  if (!session.open(options.port)) return kExitFailed;
  Chart chart;
  CompilerState state;
  TransferContext context{session.link(), ui,      chart,   state,  session.table(),
                          nullptr,        nullptr, nullptr, nullptr};
  if (!readSlotIntoChart(context, *slot)) return kExitFailed;
  // The file is written whole or not at all; OUT is used as given.
  std::string written;
  if (!saveChart(chart, args[1], false, ui, &written)) return kExitFailed;
  std::printf("%s\n", written.c_str());
  return kExitOk;
}

int runDelete(const CliOptions& options, const std::vector<std::string>& args) {
  if (args.size() != 1) return usage("delete SLOT");
  std::optional<int> slot = parseSlot(args[0]);
  if (!slot) {
    std::fprintf(stderr, "pvrj-cli: '%s' is no slot (M1..M80, S1..S5)\n", args[0].c_str());
    return kExitUsage;
  }
  ConsoleUserInterface ui(options.yes);
  TransferSession session(ui);
  if (!session.open(options.port)) return kExitFailed;
  Chart chart;
  CompilerState state;
  TransferContext context{session.link(), ui,      chart,   state,  session.table(),
                          nullptr,        nullptr, nullptr, nullptr};
  return deleteSlot(context, *slot) ? kExitOk : kExitFailed;
}

const bool kRegistered =
    registerCommand(
        {"table", "table              list the board's 85 motion table entries", runTable}) &&
    registerCommand({"write",
                     "write FILE SLOT    compile a chart file and write it into M1..M80 or S1..S5",
                     runWrite}) &&
    registerCommand({"read",
                     "read SLOT OUT      read a motion or scenario back into the chart file OUT",
                     runRead}) &&
    registerCommand({"delete",
                     "delete SLOT        erase a motion table entry (asks; --yes answers)",
                     runDelete});

}  // namespace
}  // namespace pvrj::cli
