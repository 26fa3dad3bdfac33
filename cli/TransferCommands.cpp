// pvrj-cli commands that move motions between chart files and the board: table, write, read,
// delete.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "chart/ChartFile.h"
#include "cli/BoardSession.h"
#include "cli/CliCommand.h"
#include "cli/ConsoleUserInterface.h"
#include "compiler/Transfer.h"
#include "protocol/BoardLink.h"
#include "protocol/EntryEditing.h"
#include "protocol/MotionTable.h"

namespace pvrj::cli {
namespace {

constexpr int kExitFailed = 1;

// A board session with the program's copy of the motion table kept up to date.
struct TransferSession {
  explicit TransferSession(const CliOptions& options) : board(options) {
    board.link().onTableEntryChanged = [this](int n, const TableEntryData& e) {
      table.ShowTableEntry(e, n, false);
    };
  }
  TransferContext context(Chart& chart, CompilerState& state) {
    return TransferContext{board.link(), board.ui(), chart,   state,  table,
                           nullptr,      nullptr,    nullptr, nullptr};
  }
  BoardSession board;
  MotionTable table;
};

// A slot named on the command line, or nothing after saying why.
std::optional<int> slotArgument(const std::string& text) {
  int slot = parseSlot(text);
  if (slot < 0) {
    std::fprintf(stderr, "pvrj-cli: '%s' is no slot (M1..M80, S1..S5)\n", text.c_str());
    return std::nullopt;
  }
  return slot;
}

// Why a chart file cannot be written at path, or nothing when it can: the file is written
// through a temporary file beside it, so its folder must take a new file.
std::optional<std::string> unwritableTarget(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return "it is a folder";
  std::string::size_type slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  if (folder.empty()) folder = "/";
  std::string probe = folder + "/.pvrj-cli-XXXXXX";
  int fd = ::mkstemp(probe.data());
  if (fd < 0) return std::string(std::strerror(errno));
  ::close(fd);
  ::unlink(probe.c_str());
  return std::nullopt;
}

int usage(const char* line) {
  std::fprintf(stderr, "usage: pvrj-cli --port PORT %s\n", line);
  return kExitUsage;
}

int runTable(const CliOptions& options, const std::vector<std::string>& args) {
  if (!args.empty()) return usage("table");
  TransferSession session(options);
  if (int rc = session.board.open(); rc != kExitOk) return rc;
  TableReadResult result = readMotionTable(session.board.link(), session.table);
  const MotionTable& table = session.table;
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
  std::optional<int> slot = slotArgument(args[1]);
  if (!slot) return kExitUsage;
  TransferSession session(options);
  ConsoleUserInterface& ui = session.board.ui();
  Chart chart;
  ClientArea client;
  if (!openFile(chart, client, args[0], ui).opened) {
    std::fprintf(stderr, "pvrj-cli: %s was not read\n", args[0].c_str());
    return kExitFailed;
  }
  if (chart.itemCount() == 0) {
    std::fprintf(stderr, "pvrj-cli: %s holds no items; nothing to write\n", args[0].c_str());
    return kExitFailed;
  }
  bool scenario = chart.Type == kScenarioChart;
  if (scenario != (*slot >= kFirstScenarioSlot)) {
    std::fprintf(stderr, "pvrj-cli: a %s goes into %s\n",
                 scenario ? "scenario chart" : "motion chart", scenario ? "S1..S5" : "M1..M80");
    return kExitUsage;
  }
  if (int rc = session.board.open(); rc != kExitOk) return rc;
  CompilerState state;
  TransferContext context = session.context(chart, state);
  int target = scenario ? *slot - kFirstScenarioSlot : *slot;
  return writeChartToSlot(context, target) ? kExitOk : kExitFailed;
}

int runRead(const CliOptions& options, const std::vector<std::string>& args) {
  if (args.size() != 2) return usage("read SLOT OUT");
  std::optional<int> slot = slotArgument(args[0]);
  if (!slot) return kExitUsage;
  // Found out before the board is asked for anything.
  if (auto why = unwritableTarget(args[1])) {
    std::fprintf(stderr, "pvrj-cli: cannot write %s: %s\n", args[1].c_str(), why->c_str());
    return kExitFailed;
  }
  TransferSession session(options);
  ConsoleUserInterface& ui = session.board.ui();
  if (int rc = session.board.open(); rc != kExitOk) return rc;
  Chart chart;
  CompilerState state;
  TransferContext context = session.context(chart, state);
  const ReadResult read = readSlotIntoChart(context, *slot);
  if (read == ReadResult::kFailed) return kExitFailed;
  // What was read is kept even when only the wake-up failed afterwards (told on stderr by the
  // status line); the exit status still says the run did not end well. The file is written whole
  // or not at all; OUT is used as given.
  std::string written;
  if (!saveChart(chart, args[1], false, ui, &written)) return kExitFailed;
  std::printf("%s\n", written.c_str());
  return read == ReadResult::kRead ? kExitOk : kExitFailed;
}

int runDelete(const CliOptions& options, const std::vector<std::string>& args) {
  if (args.size() != 1) return usage("delete SLOT");
  std::optional<int> slot = slotArgument(args[0]);
  if (!slot) return kExitUsage;
  TransferSession session(options);
  if (int rc = session.board.open(); rc != kExitOk) return rc;
  Chart chart;
  CompilerState state;
  TransferContext context = session.context(chart, state);
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
