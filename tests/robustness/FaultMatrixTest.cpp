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
#include "editors/core/PoseBoard.h"
#include "protocol/EntryEditing.h"
#include "robustness/FaultMatrix.h"

namespace pvrj::test {
namespace {

using board::Fault;
using board::Micros;

// A chain of POS items with distinct poses; compiled it gives count + 1 records (END last).
Chart poseChain(int count) {
  Chart chart;
  for (int i = 0; i < count; ++i) {
    const int item = chart.createItem(kItemPos, 10, 10 + 40 * i);
    chart.items[item].PrmByte = static_cast<std::uint8_t>(10 + i);
    for (int ch = 0; ch < kChannelCount; ++ch)
      chart.items[item].PrmWords[ch] = static_cast<std::uint16_t>(1000 + i * 24 + ch);
    if (i > 0) {
      const int link = chart.appendLinks(1);
      chart.links[link].Origin = i - 1;
      chart.links[link].Final = i;
    }
  }
  chart.Start = 0;
  chart.Name = "WALK";
  chart.Port = 0x00F00F;
  chart.Ctrl = 500;
  chart.deselectAll();
  return chart;
}

// A scenario naming the given motion slots in turn.
Chart scenarioChain(const std::vector<int>& slots) {
  Chart chart;
  chart.Type = kScenarioChart;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const int item = chart.createItem(kItemMot, 10, 10 + 40 * static_cast<int>(i));
    chart.items[item].PrmByte = static_cast<std::uint8_t>(slots[i]);
    if (i > 0) {
      const int link = chart.appendLinks(1);
      chart.links[link].Origin = static_cast<int>(i) - 1;
      chart.links[link].Final = static_cast<int>(i);
    }
  }
  chart.Start = 0;
  chart.Name = "SCN";
  chart.deselectAll();
  return chart;
}

// The board every run starts from: a motion in M1, a scenario in S1, servo-bus mode with a servo
// on CH1 (so its parameter commands are answered).
const board::BoardMemory& startingMemory() {
  static const board::BoardMemory memory = [] {
    board::BoardMemory m;
    m.stored.options = board::kOptQvsMode;
    m.qvsMask[0] = 0x01;
    Bench bench(m);
    bench.chart = poseChain(3);
    EXPECT_TRUE(writeChartToSlot(bench.context, 0));
    bench.chart = scenarioChain({0, 0});
    EXPECT_TRUE(writeChartToSlot(bench.context, 0));
    return bench.board.memory();
  }();
  return memory;
}

PositionBlock blockOf(std::uint16_t first) {
  PositionBlock block;
  for (int ch = 0; ch < kChannelCount; ++ch)
    block.words[ch] = static_cast<std::uint16_t>(first + ch);
  return block;
}

bool toldFailure(const Bench& b) {
  for (const std::string& s : b.ui.statuses)
    if (s.find("失敗") != std::string::npos) return true;
  return false;
}

template <class Call>
Flow command(std::string name, Call call) {
  return Flow{std::move(name), [call](Bench& b) { return call(b.link); }, nullptr};
}

// A command without a reply has done its part when its request went out.
template <class Call>
Flow noReplyCommand(std::string name, Call call) {
  return Flow{std::move(name),
              [call](Bench& b) {
                call(b.link);
                return b.link.noReplySent();
              },
              nullptr};
}

std::vector<Flow> allFlows() {
  std::vector<Flow> f;
  // Every command.
  f.push_back(command("CmdReadChannelName", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadChannelName(0, r);
  }));
  f.push_back(command("CmdWriteChannelName",
                      [](BoardLink& l) { return l.CmdWriteChannelName(1, "ELBOW"); }));
  f.push_back(command("CmdReadHomePosition", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadHomePosition(r);
  }));
  f.push_back(command("CmdWriteHomePosition",
                      [](BoardLink& l) { return l.CmdWriteHomePosition(blockOf(16000)); }));
  f.push_back(command("CmdReadQvsParams", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadQvsParams(0, r);
  }));
  f.push_back(command("CmdWriteQvsParams", [](BoardLink& l) {
    const std::vector<std::uint8_t> params(17, 0x21);
    return l.CmdWriteQvsParams(0, params);
  }));
  f.push_back(command("CmdReadQvsMask", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadQvsMask(r);
  }));
  f.push_back(command("CmdWriteQvsMask", [](BoardLink& l) { return l.CmdWriteQvsMask(0x000003); }));
  f.push_back(command("CmdReadReceiverRefs", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadReceiverRefs(StoredCopy, r);
  }));
  f.push_back(command("CmdWriteReceiverRefs", [](BoardLink& l) {
    const std::vector<std::uint8_t> refs{60, 61, 62, 63};
    return l.CmdWriteReceiverRefs(StoredCopy, refs);
  }));
  f.push_back(command("CmdReadSensorBlock", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadSensorBlock(StoredCopy, r);
  }));
  f.push_back(command("CmdWriteSensorBlock", [](BoardLink& l) {
    const std::vector<std::uint8_t> block(18, 7);
    return l.CmdWriteSensorBlock(StoredCopy, block);
  }));
  f.push_back(command("CmdReadMixingBlock", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadMixingBlock(StoredCopy, 1, r);
  }));
  f.push_back(command("CmdWriteMixingBlock", [](BoardLink& l) {
    const std::vector<std::uint8_t> block(24, 9);
    return l.CmdWriteMixingBlock(StoredCopy, 1, block);
  }));
  f.push_back(command("CmdReadAnalogRefs", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadAnalogRefs(StoredCopy, r);
  }));
  f.push_back(command("CmdWriteAnalogRefs", [](BoardLink& l) {
    return l.CmdWriteAnalogRefs(StoredCopy, {100, 200, 300});
  }));
  f.push_back(noReplyCommand("CmdSetAnalogRef", [](BoardLink& l) { l.CmdSetAnalogRef(1, 400); }));
  f.push_back(command("CmdReadAlarm", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadAlarm(r);
  }));
  f.push_back(command("CmdWriteAlarm", [](BoardLink& l) { return l.CmdWriteAlarm(10, 391); }));
  f.push_back(command("CmdReadCounter", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadCounter(r);
  }));
  f.push_back(command("CmdReadStartData", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadStartData(r);
  }));
  f.push_back(command("CmdWriteStartData", [](BoardLink& l) { return l.CmdWriteStartData(1, 2); }));
  f.push_back(command("CmdReadPositions", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadPositions(r);
  }));
  f.push_back(command("CmdReadOptions", [](BoardLink& l) {
    std::uint16_t word = 0;
    return l.CmdReadOptions(StoredCopy, word);
  }));
  f.push_back(command("CmdWriteOptions",
                      [](BoardLink& l) { return l.CmdWriteOptions(StoredCopy, 0x4200); }));
  f.push_back(command("CmdStop", [](BoardLink& l) { return l.CmdStop(); }));
  f.push_back(command("CmdPlay", [](BoardLink& l) { return l.CmdPlay(0); }));
  f.push_back(command("CmdReadTableEntry", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadTableEntry(0, r);
  }));
  f.push_back(command("CmdWriteTableEntry", [](BoardLink& l) {
    TableEntry e;
    e.count = 3;
    e.name = "NEW";
    return l.CmdWriteTableEntry(5, e.encode());
  }));
  f.push_back(command("CmdReadScenarioStep", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadScenarioStep(0, 1, r);
  }));
  f.push_back(command("CmdWriteScenarioStep",
                      [](BoardLink& l) { return l.CmdWriteScenarioStep(1, 0, 3); }));
  f.push_back(command("CmdReadTrims", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadTrims(StoredCopy, r);
  }));
  f.push_back(command("CmdWriteTrims",
                      [](BoardLink& l) { return l.CmdWriteTrims(StoredCopy, blockOf(16300)); }));
  f.push_back(noReplyCommand("CmdSetTrim", [](BoardLink& l) { l.CmdSetTrim(2, 16500); }));
  f.push_back(command("CmdReadPositionRecord", [](BoardLink& l) {
    Bytes r;
    return l.CmdReadPositionRecord(StoredCopy, 0, 1, r);
  }));
  f.push_back(command("CmdWritePositionRecord", [](BoardLink& l) {
    PositionRecord rec;
    rec.lead = 40;
    rec.block = blockOf(15000);
    return l.CmdWritePositionRecord(StoredCopy, 1, 0, rec);
  }));
  f.push_back(noReplyCommand("CmdSetServo", [](BoardLink& l) { l.CmdSetServo(3, 17000); }));
  f.push_back(command("CmdReadBoardInfo", [](BoardLink& l) {
    Bytes info;
    return l.CmdReadBoardInfo(info);
  }));
  // The composites.
  f.push_back(command("SetSleep on", [](BoardLink& l) { return l.SetSleep(kSleepOn); }));
  f.push_back(command("SetSleep off", [](BoardLink& l) { return l.SetSleep(kSleepOff); }));
  f.push_back(command("SetPause toggle", [](BoardLink& l) { return l.SetPause(kPauseToggle); }));
  f.push_back(
      command("SetReceiverStream", [](BoardLink& l) { return l.SetReceiverStream(kStreamOn); }));
  f.push_back(command("SetOptionBit5", [](BoardLink& l) { return l.SetOptionBit5(kBit5Clear); }));
  f.push_back(
      command("SetAnalogStream", [](BoardLink& l) { return l.SetAnalogStream(kAnalogStreamOn); }));
  f.push_back(command("SetQvsMode", [](BoardLink& l) { return l.SetQvsMode(kQvsModeOff); }));
  f.push_back(command("UpdateTableEntry", [](BoardLink& l) {
    return l.UpdateTableEntry(0, -1, -1, 500, Bytes{}, "RENAMED");
  }));
  f.push_back(command("DeleteTableEntry", [](BoardLink& l) { return l.DeleteTableEntry(80); }));
  // The flows of the main window, the motion table, the data dialog and the position editor.
  f.push_back(Flow{"write motion", [](Bench& b) { return writeChartToSlot(b.context, 2); },
                   [](Bench& b) { b.chart = poseChain(4); }});
  f.push_back(Flow{"write scenario", [](Bench& b) { return writeChartToSlot(b.context, 1); },
                   [](Bench& b) {
                     b.chart = scenarioChain({0, 2, 0});
                   }});
  auto oneItem = [](Bench& b) { b.chart = poseChain(1); };
  f.push_back(Flow{"read motion",
                   [](Bench& b) { return readSlotIntoChart(b.context, 0) == ReadResult::kRead; },
                   oneItem});
  f.push_back(Flow{"read scenario",
                   [](Bench& b) {
                     return readSlotIntoChart(b.context, kFirstScenarioSlot) == ReadResult::kRead;
                   },
                   oneItem, true});
  f.push_back(Flow{"delete", [](Bench& b) { return deleteSlot(b.context, 0); }, nullptr});
  f.push_back(Flow{"play",
                   [](Bench& b) {
                     b.ui.promptAnswers.push_back(0);
                     return playOnBoard(b.context);
                   },
                   nullptr});
  f.push_back(Flow{"stop", [](Bench& b) { return stopBoard(b.link, b.ui); }, nullptr});
  f.push_back(Flow{"pause", [](Bench& b) { return pauseBoard(b.link, b.ui); }, nullptr});
  f.push_back(Flow{"sleep", [](Bench& b) { return sleepBoard(b.link, b.ui, true); }, nullptr});
  f.push_back(
      Flow{"home position", [](Bench& b) { return homePositionButton(b.link, b.ui); }, nullptr});
  // All rows read, and the board woken again (a wake-up that fails is told, the rows stay).
  f.push_back(Flow{"table read",
                   [](Bench& b) {
                     return readMotionTable(b.link, b.table) == TableReadResult::kComplete &&
                            !toldFailure(b);
                   },
                   nullptr});
  f.push_back(Flow{"table entry edit",
                   [](Bench& b) {
                     return editTableEntry(b.link, b.table, 0, [](int) {
                              return std::optional<EntryEdit>(EntryEdit{"EDITED", 0x0F, 7});
                            }) == EntryEditResult::kWritten;
                   },
                   nullptr});
  f.push_back(Flow{"counter read", [](Bench& b) { return readControlCounter(b.link).has_value(); },
                   nullptr});
  f.push_back(command("pose read", [](BoardLink& l) { return readCurrentPose(l).has_value(); }));
  f.push_back(
      command("positions read", [](BoardLink& l) { return readPresentPositions(l).has_value(); }));
  f.push_back(
      command("home write", [](BoardLink& l) { return writeHomePosition(l, blockOf(16100)); }));
  f.push_back(command("channel names", [](BoardLink& l) {
    std::vector<std::string> names;
    for (int n = 1; n <= kChannelCount; ++n) names.push_back("J" + std::to_string(n));
    return writeChannelNames(l, names);
  }));
  f.push_back(command("live pose", [](BoardLink& l) {
    PositionRecord rec;
    rec.lead = 20;
    rec.block = blockOf(16200);
    return sendLiveRecord(l, rec);
  }));
  return f;
}

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
  const std::string text = chartFileText(b.chart);
  const std::size_t split = text.find("\r\n\r\n");
  o.header = text.substr(0, split);
  o.items = text.substr(split);
  if (flow.namesBestEffort) o.items = withoutItemNames(o.items);
  for (int n = 0; n < b.table.rowCount(); ++n) o.rows.push_back(rowText(b.table.row(n)));
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
  if (flow.prepare) flow.prepare(b);
  clean.before = observe(b, flow);
  b.tap.beforeExchange = [&] {
    if (clean.memories.empty() || !(clean.memories.back() == b.board.memory()))
      clean.memories.push_back(b.board.memory());
  };
  const Micros start = b.port.now();
  EXPECT_TRUE(flow.run(b)) << flow.name << " fails without a fault";
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

std::string lastStatus(const Bench& b) {
  return b.ui.statuses.empty() ? std::string("no status") : b.ui.statuses.back();
}

bool reported(const Bench& b) {
  return b.link.lastFailure().fault != LinkFault::kNone || toldFailure(b);
}

Verdict runWithFault(const Flow& flow, const CleanRun& clean, const Fault& fault,
                     std::uint64_t exchange, std::string& why) {
  Bench b(startingMemory());
  if (flow.prepare) flow.prepare(b);
  b.board.injectFaultAt(exchange, fault);
  const Micros start = b.port.now();
  const bool ok = flow.run(b);
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
  if (!reported(b)) {
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
    why = "failed leaving a half-changed chart (" + lastStatus(b) + ")";
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
