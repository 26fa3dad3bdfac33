// The board flows the robustness tests run, and the board they start from.
#include <cstdlib>
#include <string>
#include <vector>

#include "compiler/BoardImage.h"
#include "editors/core/PoseBoard.h"
#include "protocol/EntryEditing.h"
#include "robustness/Flows.h"
#include "tools/core/AnalogSettings.h"
#include "tools/core/BoardOptions.h"
#include "tools/core/ReceiverSettings.h"
#include "tools/core/ServoBus.h"
#include "tools/core/Trims.h"

namespace pvrj::test {

bool toldFailure(const Rig& b) {
  for (const std::string& s : b.ui.statuses)
    if (s.find("失敗") != std::string::npos) return true;
  return false;
}

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

namespace {

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

}  // namespace

const board::BoardMemory& startingMemory() {
  static const board::BoardMemory memory = [] {
    board::BoardMemory m;
    m.stored.options = board::kOptQvsMode;
    m.qvsMask[0] = 0x01;
    Bench bench(m);
    bench.rig.chart = poseChain(3);
    if (!writeChartToSlot(bench.rig.context, 0)) std::abort();
    bench.rig.chart = scenarioChain({0, 0});
    if (!writeChartToSlot(bench.rig.context, 0)) std::abort();
    return bench.board.memory();
  }();
  return memory;
}

namespace {

PositionBlock blockOf(std::uint16_t first) {
  PositionBlock block;
  for (int ch = 0; ch < kChannelCount; ++ch)
    block.words[ch] = static_cast<std::uint16_t>(first + ch);
  return block;
}

// The image of a board other than the starting one: its M1 holds another motion, M3 one more,
// and its trims and home position differ.
const BoardImage& otherImage() {
  static const BoardImage image = [] {
    board::BoardMemory m = startingMemory();
    m.stored.trims.fill(16390);
    Bench bench(m);
    bench.rig.chart = poseChain(2);
    if (!writeChartToSlot(bench.rig.context, 0)) std::abort();
    bench.rig.chart = poseChain(5);
    if (!writeChartToSlot(bench.rig.context, 2)) std::abort();
    if (!bench.rig.link.CmdWriteHomePosition(blockOf(16010))) std::abort();
    ImageTransfer t{bench.rig.link, bench.rig.ui, nullptr, {}};
    BoardImage out;
    if (!backupBoard(t, out)) std::abort();
    return out;
  }();
  return image;
}

template <class Call>
Flow command(std::string name, Call call) {
  return Flow{std::move(name), [call](Rig& b) { return call(b.link); }, nullptr};
}

// A command without a reply has done its part when its request went out.
template <class Call>
Flow noReplyCommand(std::string name, Call call) {
  return Flow{std::move(name),
              [call](Rig& b) {
                call(b.link);
                return b.link.noReplySent();
              },
              nullptr};
}

}  // namespace

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
  f.push_back(Flow{"write motion", [](Rig& b) { return writeChartToSlot(b.context, 2); },
                   [](Rig& b) { b.chart = poseChain(4); }});
  f.push_back(Flow{"write scenario", [](Rig& b) { return writeChartToSlot(b.context, 1); },
                   [](Rig& b) {
                     b.chart = scenarioChain({0, 2, 0});
                   }});
  auto oneItem = [](Rig& b) { b.chart = poseChain(1); };
  f.push_back(Flow{"read motion",
                   [](Rig& b) { return readSlotIntoChart(b.context, 0) == ReadResult::kRead; },
                   oneItem});
  f.push_back(Flow{
      "read scenario",
      [](Rig& b) { return readSlotIntoChart(b.context, kFirstScenarioSlot) == ReadResult::kRead; },
      oneItem, true});
  f.push_back(Flow{"delete", [](Rig& b) { return deleteSlot(b.context, 0); }, nullptr});
  f.push_back(Flow{"play",
                   [](Rig& b) {
                     b.ui.promptAnswers.push_back(0);
                     return playOnBoard(b.context);
                   },
                   nullptr});
  f.push_back(Flow{"stop", [](Rig& b) { return stopBoard(b.link, b.ui); }, nullptr});
  f.push_back(Flow{"pause", [](Rig& b) { return pauseBoard(b.link, b.ui); }, nullptr});
  f.push_back(Flow{"sleep", [](Rig& b) { return sleepBoard(b.link, b.ui, true); }, nullptr});
  f.push_back(
      Flow{"home position", [](Rig& b) { return homePositionButton(b.link, b.ui); }, nullptr});
  // All rows read, and the board woken again (a wake-up that fails is told, the rows stay).
  f.push_back(Flow{"table read",
                   [](Rig& b) {
                     return readMotionTable(b.link, b.table) == TableReadResult::kComplete &&
                            !toldFailure(b);
                   },
                   nullptr});
  f.push_back(Flow{"table entry edit",
                   [](Rig& b) {
                     return editTableEntry(b.link, b.table, 0, [](int) {
                              return std::optional<EntryEdit>(EntryEdit{"EDITED", 0x0F, 7});
                            }) == EntryEditResult::kWritten;
                   },
                   nullptr});
  f.push_back(
      Flow{"counter read", [](Rig& b) { return readControlCounter(b.link).has_value(); }, nullptr});
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
  // The board tools' openings and closings.
  f.push_back(command("trims open", [](BoardLink& l) {
    TrimValues values{};
    return openTrims(l, values) == TrimOpening::kReady;
  }));
  f.push_back(command("trims close", [](BoardLink& l) {
    TrimValues values{};
    values.fill(16400);
    return closeTrims(l, values) == TrimClosing::kStored;
  }));
  f.push_back(command("options open", [](BoardLink& l) {
    OptionControls controls;
    return openBoardOptions(l, controls) == OptionsOpening::kReady;
  }));
  f.push_back(command("option word", [](BoardLink& l) {
    OptionControls controls;
    return LoadBoardOptions(l, controls) && WriteOptionWord(l, controls);
  }));
  // Done when nothing failed on the way, a stream left on included.
  f.push_back(Flow{"analog open and close",
                   [](Rig& b) {
                     BoardMessages messages;
                     AnalogSettings settings;
                     return openAnalogDialog(b.link, messages, settings) &&
                            closeAnalogDialog(b.link, settings) && !toldFailure(b);
                   },
                   nullptr});
  f.push_back(Flow{"receiver open and close",
                   [](Rig& b) {
                     ReceiverSettings settings;
                     return openReceiverDialog(b.link, b.ui, settings) &&
                            closeReceiverDialog(b.link, b.ui, settings) && !toldFailure(b);
                   },
                   nullptr});
  f.push_back(Flow{"servo-bus read and write",
                   [](Rig& b) {
                     ServoBus bus(b.link, b.ui);
                     ServoBlock block{};
                     return bus.LoadServoBusChannels() && bus.readServo(0, block) &&
                            bus.writeServo(0, block);
                   },
                   nullptr});
  // Board images: a backup, and a restore of the settings and of the motions.
  f.push_back(Flow{"backup",
                   [](Rig& b) {
                     ImageTransfer t{b.link, b.ui, nullptr, {}};
                     BoardImage image;
                     return backupBoard(t, image);
                   },
                   nullptr});
  f.push_back(Flow{"restore settings",
                   [](Rig& b) {
                     ImageTransfer t{b.link, b.ui, nullptr, {}};
                     return restoreBoard(t, otherImage(), RestoreScope::kSettings);
                   },
                   nullptr});
  f.push_back(Flow{"restore motions",
                   [](Rig& b) {
                     ImageTransfer t{b.link, b.ui, nullptr, {}};
                     return restoreBoard(t, otherImage(), RestoreScope::kMotions);
                   },
                   nullptr});
  return f;
}

}  // namespace pvrj::test
