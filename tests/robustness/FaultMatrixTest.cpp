// The fault matrix: every board command, composite and flow, run against every fault the virtual
// board can inject, at every exchange of the flow in turn. Each run must end in success (after a
// retry where the fault allows one) with the board, the chart and the motion table as a run
// without the fault leaves them, or in a failure that is reported, leaves the board's memory as
// the faultless run had it at some moment, leaves the chart and the table rows as they were or
// as the faultless run left them, and ends within its time-outs. Anything else is a wrong outcome.
// The test prints the matrix of counts: success / clean failure / wrong outcome.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "chart/ChartFile.h"
#include "robustness/Flows.h"

namespace pvrj::test {
namespace {

using board::Fault;
using board::Micros;

struct FaultColumn {
  std::string name;
  Fault fault;
};

// Longer than the receive time-out: the reply is missed and the next attempt must do.
constexpr Micros kLate = 400'000;
// Well within the receive time-out.
constexpr Micros kGap = 100'000;

std::vector<FaultColumn> allFaults() {
  return {{"no handshake", Fault::noHandshake()},   {"short reply", Fault::shortReply(1)},
          {"bad checksum", Fault::wrongChecksum()}, {"garbage", Fault::garbage()},
          {"late reply", Fault::delayed(kLate)},    {"split reply", Fault::split(1, kGap)},
          {"split, late", Fault::split(1, kLate)},  {"hang-up", Fault::hangUp()}};
}

// What a run leaves behind that the verdict looks at.
struct Observed {
  board::BoardMemory memory;
  board::CopiedSettings working;
  std::string header;  // the chart's Name, Port, Ctrl, Type and Start, as a file has them
  std::string items;   // its items and links
  std::vector<std::string> rows;
};

std::string rowText(const TableRow& r) {
  return r.caption + "|" + r.name + "|" + r.count + "|" + r.date + "|" + r.control;
}

// The chart's text without the lines of the names and widths of its items.
std::string withoutItemNames(const std::string& text) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    end = end == std::string::npos ? text.size() : end + 2;
    const std::string line = text.substr(at, end - at);
    if (line.rfind("Name=", 0) != 0 && line.rfind("Width=", 0) != 0) out += line;
    at = end;
  }
  return out;
}

Observed observe(Bench& b, const Flow& flow) {
  Observed o;
  o.memory = b.board.memory();
  o.working = b.board.live().working;
  const std::string text = chartFileText(b.rig.chart);
  const std::size_t split = text.find("\r\n\r\n");
  o.header = text.substr(0, split);
  o.items = text.substr(split);
  if (flow.namesBestEffort) o.items = withoutItemNames(o.items);
  for (int n = 0; n < b.rig.table.rowCount(); ++n) o.rows.push_back(rowText(b.rig.table.row(n)));
  return o;
}

// Row n as the motion table shows the entry the board holds in memory.
std::string boardRow(const board::BoardMemory& memory, int n) {
  MotionTable table;
  table.ShowTableEntry(memory.table[static_cast<std::size_t>(n)], n, false);
  return rowText(table.row(n));
}

// A flow run without a fault: what it leaves, the board's memory before each of its exchanges
// and at its end, how many exchanges it made and how long it took.
struct CleanRun {
  Observed before;
  Observed after;
  std::vector<board::BoardMemory> memories;
  std::uint64_t exchanges = 0;
  Micros elapsed = 0;
};

CleanRun runClean(const Flow& flow) {
  CleanRun clean;
  Bench b(startingMemory());
  if (flow.prepare) flow.prepare(b.rig);
  clean.before = observe(b, flow);
  b.tap.beforeExchange = [&] {
    if (clean.memories.empty() || !(clean.memories.back() == b.board.memory()))
      clean.memories.push_back(b.board.memory());
  };
  const Micros start = b.port.now();
  EXPECT_TRUE(flow.run(b.rig)) << flow.name << " fails without a fault";
  clean.elapsed = b.port.now() - start;
  clean.exchanges = b.board.handshakeCount();
  clean.after = observe(b, flow);
  clean.memories.push_back(clean.after.memory);
  return clean;
}

enum class Verdict { kSuccess, kCleanFailure, kWrong };

struct Cell {
  int success = 0;
  int cleanFailure = 0;
  int wrong = 0;
};

std::string lastStatus(const Rig& r) {
  return r.ui.statuses.empty() ? std::string("no status") : r.ui.statuses.back();
}

bool reported(const Rig& r) {
  return r.link.lastFailure().fault != LinkFault::kNone || toldFailure(r);
}

Verdict runWithFault(const Flow& flow, const CleanRun& clean, const Fault& fault,
                     std::uint64_t exchange, std::string& why) {
  Bench b(startingMemory());
  if (flow.prepare) flow.prepare(b.rig);
  b.board.injectFaultAt(exchange, fault);
  const Micros start = b.port.now();
  const bool ok = flow.run(b.rig);
  const Micros elapsed = b.port.now() - start;
  const Observed o = observe(b, flow);

  // Every exchange of the flow, and two more for a clean-up, may use all its attempts, each
  // waiting for the handshake and the reply; the fault may add its own delay once.
  const Micros attempt = 2 * static_cast<Micros>(kReceiveTimeOut) * 1000;
  const Micros bound = clean.elapsed +
                       static_cast<Micros>(clean.exchanges + 2) * kDefaultRetryCount * attempt +
                       fault.delay;
  if (elapsed > bound) {
    why = "took " + std::to_string(elapsed / 1000) + " ms, more than its time-outs allow";
    return Verdict::kWrong;
  }
  if (ok) {
    if (!(o.memory == clean.after.memory))
      why = "succeeded with the board's memory not as it should be";
    else if (!(o.working == clean.after.working))
      why = "succeeded with the board's settings not as they should be";
    else if (o.header != clean.after.header || o.items != clean.after.items)
      why = "succeeded with another chart";
    else if (o.rows != clean.after.rows)
      why = "succeeded with other table rows";
    else
      return Verdict::kSuccess;
    return Verdict::kWrong;
  }
  if (!reported(b.rig)) {
    why = "failed without saying so";
    return Verdict::kWrong;
  }
  bool knownMemory = false;
  for (const board::BoardMemory& m : clean.memories) knownMemory = knownMemory || m == o.memory;
  if (!knownMemory) {
    why = "failed leaving the board's memory in a state the flow never makes";
    return Verdict::kWrong;
  }
  // The items and links are the ones before or the ones read; a read that fails part way has
  // already taken the chart's name, port and control value from the table entry.
  if (o.items != clean.before.items && o.items != clean.after.items) {
    why = "failed leaving a half-changed chart (" + lastStatus(b.rig) + ")";
    return Verdict::kWrong;
  }
  // A row shows what it showed, what the faultless run left, or what the board held at a moment
  // of the run.
  for (std::size_t n = 0; n < o.rows.size(); ++n) {
    bool known = (n < clean.before.rows.size() && o.rows[n] == clean.before.rows[n]) ||
                 (n < clean.after.rows.size() && o.rows[n] == clean.after.rows[n]);
    for (std::size_t m = 0; !known && m < clean.memories.size(); ++m)
      known = n < static_cast<std::size_t>(kTableSlots) &&
              o.rows[n] == boardRow(clean.memories[m], static_cast<int>(n));
    if (!known) {
      why = "failed leaving table row " + std::to_string(n) + " showing what the board never had";
      return Verdict::kWrong;
    }
  }
  return Verdict::kCleanFailure;
}

TEST(FaultMatrix, EveryFlowUnderEveryFaultSucceedsOrFailsCleanly) {
  const std::vector<Flow> flows = allFlows();
  const std::vector<FaultColumn> faults = allFaults();
  std::vector<std::vector<Cell>> matrix(flows.size(), std::vector<Cell>(faults.size()));
  std::vector<std::string> wrongs;
  Cell total;
  for (std::size_t f = 0; f < flows.size(); ++f) {
    const CleanRun clean = runClean(flows[f]);
    for (std::size_t k = 0; k < faults.size(); ++k) {
      for (std::uint64_t i = 0; i < clean.exchanges; ++i) {
        std::string why;
        switch (runWithFault(flows[f], clean, faults[k].fault, i, why)) {
          case Verdict::kSuccess:
            ++matrix[f][k].success;
            ++total.success;
            break;
          case Verdict::kCleanFailure:
            ++matrix[f][k].cleanFailure;
            ++total.cleanFailure;
            break;
          case Verdict::kWrong:
            ++matrix[f][k].wrong;
            ++total.wrong;
            wrongs.push_back(flows[f].name + ", " + faults[k].name + " at exchange " +
                             std::to_string(i + 1) + ": " + why);
            break;
        }
      }
    }
  }

  std::printf(
      "Fault matrix: success / clean failure / wrong outcome, over the exchanges of each "
      "flow\n%-24s",
      "");
  for (const FaultColumn& c : faults) std::printf(" %13s", c.name.c_str());
  std::printf("\n");
  for (std::size_t f = 0; f < flows.size(); ++f) {
    std::printf("%-24s", flows[f].name.c_str());
    for (const Cell& c : matrix[f]) {
      const std::string cell = std::to_string(c.success) + "/" + std::to_string(c.cleanFailure) +
                               "/" + std::to_string(c.wrong);
      std::printf(" %13s", cell.c_str());
    }
    std::printf("\n");
  }
  std::printf("total: %d runs, %d success, %d clean failure, %d wrong outcome\n",
              total.success + total.cleanFailure + total.wrong, total.success, total.cleanFailure,
              total.wrong);
  for (const std::string& w : wrongs) ADD_FAILURE() << w;
  EXPECT_EQ(total.wrong, 0);
}

}  // namespace
}  // namespace pvrj::test
