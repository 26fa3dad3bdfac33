// Differences between a chart and a board slot, in words.
#include "compiler/BoardDiff.h"

#include <algorithm>
#include <cstdio>

#include "compiler/Compile.h"
#include "compiler/Transfer.h"
#include "protocol/MotionTable.h"

namespace pvrj {
namespace {

constexpr const char* kArrow = " → ";
constexpr std::uint16_t kFirstCode = 0x8000;
constexpr std::uint32_t kMaskBits = 0xFFFFFF;
constexpr std::uint16_t kControlBits = 0xFFFF;
constexpr const char* kActionDiff = "比較";

std::string hexMask(std::uint32_t mask) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06x", mask & kMaskBits);
  return text;
}

// The name the board would keep for the chart's Name: cut to 32 CP932 bytes.
std::string boardName(const std::string& name) {
  TableEntry entry;
  entry.name = name;
  return TableEntry::from(entry.encode()).name;
}

void compareName(const Chart& chart, const TableEntry& entry, std::vector<std::string>& out) {
  const std::string mine = boardName(chart.Name);
  if (mine != entry.name)
    out.push_back("name: \"" + mine + "\"" + kArrow + "\"" + entry.name + "\"");
}

// Records or steps that only one side has.
void compareCounts(const char* what, std::size_t mine, std::size_t theirs,
                   std::vector<std::string>& out) {
  if (mine != theirs)
    out.push_back(std::string(what) + ": " + std::to_string(mine) + kArrow +
                  std::to_string(theirs));
}

}  // namespace

std::string wordText(std::uint16_t word) {
  if (word < kFirstCode) return std::to_string(word);
  char text[16];
  std::snprintf(text, sizeof text, "0x%04x", word);
  return text;
}

std::vector<std::string> motionDifferences(const Chart& chart,
                                           const std::vector<MotionRecord>& compiled,
                                           const TableEntry& entry,
                                           const std::vector<MotionRecord>& stored) {
  std::vector<std::string> out;
  compareName(chart, entry, out);
  const std::uint32_t mask = chart.Port & kMaskBits;
  if (mask != entry.mask)
    out.push_back("channels: " + hexMask(mask) + kArrow + hexMask(entry.mask));
  const auto control = static_cast<std::uint16_t>(chart.Ctrl & kControlBits);
  if (control != entry.control)
    out.push_back("control: " + std::to_string(control) + kArrow + std::to_string(entry.control));
  compareCounts("records", compiled.size(), static_cast<std::size_t>(entry.count), out);
  const std::size_t common = std::min(compiled.size(), stored.size());
  for (std::size_t i = 0; i < common; ++i) {
    const MotionRecord& a = compiled[i];
    const MotionRecord& b = stored[i];
    if (a == b) continue;
    const std::string record = "record " + std::to_string(i + 1) + ", ";
    if (a[0] != b[0]) {
      // The lead byte of a pose or a setting is its speed; compares, jumps and the end carry 1.
      const int kind = recordClass(a);
      const char* lead = kind == kRecordPos || kind == kRecordSet ? "speed" : "lead byte";
      out.push_back(record + lead + ": " + std::to_string(a[0]) + kArrow + std::to_string(b[0]));
    }
    for (int ch = 0; ch < kBoardChannels; ++ch) {
      const std::uint16_t wa = recordWord(a, ch);
      const std::uint16_t wb = recordWord(b, ch);
      if (wa != wb)
        out.push_back(record + "CH" + std::to_string(ch + 1) + ": " + wordText(wa) + kArrow +
                      wordText(wb));
    }
  }
  for (std::size_t i = common; i < compiled.size(); ++i)
    out.push_back("record " + std::to_string(i + 1) + ": not on the board");
  for (std::size_t i = common; i < stored.size(); ++i)
    out.push_back("record " + std::to_string(i + 1) + ": only on the board");
  return out;
}

std::vector<std::string> scenarioDifferences(const Chart& chart,
                                             const std::vector<std::uint8_t>& steps,
                                             const TableEntry& entry,
                                             const std::vector<std::uint8_t>& stored) {
  std::vector<std::string> out;
  compareName(chart, entry, out);
  compareCounts("steps", steps.size(), static_cast<std::size_t>(entry.count), out);
  auto motion = [](std::uint8_t m) { return "M" + std::to_string(m + 1); };
  const std::size_t common = std::min(steps.size(), stored.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (steps[i] != stored[i])
      out.push_back("step " + std::to_string(i + 1) + ": " + motion(steps[i]) + kArrow +
                    motion(stored[i]));
  }
  for (std::size_t i = common; i < steps.size(); ++i)
    out.push_back("step " + std::to_string(i + 1) + ": not on the board");
  for (std::size_t i = common; i < stored.size(); ++i)
    out.push_back("step " + std::to_string(i + 1) + ": only on the board");
  return out;
}

DiffOutcome diffChartWithSlot(BoardLink& link, UserInterface& ui, const Chart& chart, int number,
                              std::vector<std::string>& lines) {
  lines.clear();
  const bool scenario = chart.Type == kScenarioChart;
  if (number < 0 || number >= kTableSlots || scenario != (number >= kFirstScenarioSlot))
    return DiffOutcome::kFailed;
  CompilerState state;
  if (scenario ? !convertScenario(chart, ui, state) : !compileMotion(chart, ui, state))
    return DiffOutcome::kFailed;
  auto failed = [&](const char* action) {
    ui.showStatus(link.failureStatus(action));
    return DiffOutcome::kFailed;
  };
  if (!link.SetSleep(kSleepOn)) return failed(kActionDiff);
  Bytes reply;
  if (!link.CmdReadTableEntry(number, reply)) return failed(kActionDiff);
  const TableEntry entry = TableEntry::from(reply);
  // What the board can hold of what its entry counts.
  const int capacity = scenario ? kMaxScenarioSteps : (kMotionSlots - number) * kRecordsPerSlot;
  const int count = std::min<int>(entry.count, capacity);
  std::vector<MotionRecord> records;
  std::vector<std::uint8_t> steps;
  for (int i = 0; i < count; ++i) {
    if (scenario) {
      if (!link.CmdReadScenarioStep(number - kFirstScenarioSlot, i, reply) || reply.empty())
        return failed(kActionDiff);
      steps.push_back(reply[0]);
    } else {
      if (!link.CmdReadPositionRecord(StoredCopy, number, i, reply) ||
          reply.size() < kPositionRecordLength)
        return failed(kActionDiff);
      MotionRecord record{};
      std::copy_n(reply.begin(), kPositionRecordLength, record.begin());
      records.push_back(record);
    }
  }
  if (!link.SetSleep(kSleepOff)) return failed(kActionSleepOff);
  if (entry.count == 0) {
    // Record by record, an empty slot would only repeat that it is empty.
    lines.push_back(slotCaption(number) + " is empty on the board");
  } else if (scenario) {
    // A write stops after the steps a scenario can hold.
    std::vector<std::uint8_t> written = state.scenarioSteps;
    if (written.size() > static_cast<std::size_t>(kMaxScenarioSteps))
      written.resize(kMaxScenarioSteps);
    lines = scenarioDifferences(chart, written, entry, steps);
  } else {
    lines = motionDifferences(chart, state.records, entry, records);
  }
  return lines.empty() ? DiffOutcome::kEqual : DiffOutcome::kDifferent;
}

}  // namespace pvrj
