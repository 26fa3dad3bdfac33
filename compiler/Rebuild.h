// Turning what was read from the board back into a chart: a motion's records into items and lines,
// a scenario's steps into a chain of motion references.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "compiler/Records.h"

namespace pvrj {

// The outcome of rebuilding a motion chart.
struct MotionRebuild {
  // Record index -> item index, or -1 for a record that became no item.
  std::vector<int> itemOfRecord;
  // Records whose words fall in the gaps of the word classes. They become no item, and a path
  // that reaches one stops there, as at an END.
  std::vector<int> unknownRecords;
};

// Clears the chart, makes it a motion chart starting at the item of record 0, and rebuilds it
// from records 0..N-1:
// a POS, SET or CMP item per record of that class (placed in columns, named like new items), a
// connection line to the item reached from the next record and, for a CMP record, a branch line
// to the item reached from its target record. JMP and END records give lines, never items.
MotionRebuild rebuildMotionChart(Chart& chart, const std::vector<MotionRecord>& records);

// The item a path reaches from record r: its own item, or through jumps the item of a later
// record; -1 past the end, at an END, at an unknown record or on a jump cycle.
int itemReachedFrom(const std::vector<MotionRecord>& records, const std::vector<int>& itemOfRecord,
                    int r);

// The data name of a table entry (UTF-8), or nothing when the entry cannot be read.
using EntryNameSource = std::function<std::optional<std::string>(int slot)>;
// The pixel width of a text in the main window's font.
using TextWidthSource = std::function<int(const std::string& text)>;

// The name of a motion reference to slot m: "M" + (m + 1), a space and the entry's name.
std::string motionReferenceName(int slot, const std::string& entryName);

// Clears the chart, makes it a scenario chart with Start 0, and rebuilds it from the motion slot
// numbers: one MOT item per step, each joined to the next by a connection line.
void rebuildScenarioChart(Chart& chart, const std::vector<std::uint8_t>& steps,
                          const EntryNameSource& entryName, const TextWidthSource& textWidth);

}  // namespace pvrj
