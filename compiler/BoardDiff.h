// Comparing a chart, compiled as a write would compile it, with what a slot of the board holds,
// and telling each difference in words: "record 3, CH5: 16384 → 16500".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "common/UserInterface.h"
#include "compiler/Records.h"
#include "protocol/BoardLink.h"

namespace pvrj {

// A channel word as a person reads it: positions in decimal, codes from 0x8000 up in hex.
std::string wordText(std::uint16_t word);

// Each difference between a motion chart's compiled records (with its Name, Port and Ctrl) and a
// slot's table entry and records, the chart's side first. Empty when a write would change nothing
// but the date.
std::vector<std::string> motionDifferences(const Chart& chart,
                                           const std::vector<MotionRecord>& compiled,
                                           const TableEntry& entry,
                                           const std::vector<MotionRecord>& stored);
// The same for a scenario chart's steps (motion slot numbers) and a scenario slot. Only the name
// and the steps count: a scenario write keeps the entry's mask and control value.
std::vector<std::string> scenarioDifferences(const Chart& chart,
                                             const std::vector<std::uint8_t>& steps,
                                             const TableEntry& entry,
                                             const std::vector<std::uint8_t>& stored);

enum class DiffOutcome { kEqual, kDifferent, kFailed };

// Compiles (or converts) chart as the write does, reads table number's entry and records or
// steps with the board asleep, and compares. lines receives the differences. kFailed when the
// chart does not compile (its message shown), does not suit the slot, or an exchange fails (told
// in the status line).
DiffOutcome diffChartWithSlot(BoardLink& link, UserInterface& ui, const Chart& chart, int number,
                              std::vector<std::string>& lines);

}  // namespace pvrj
