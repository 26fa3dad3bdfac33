// The walk that lays a motion chart out as numbered steps, from the Start item.
#pragma once

#include <cstdint>
#include <vector>

#include "chart/Chart.h"
#include "common/UserInterface.h"

namespace pvrj {

// Step item values that are not item indices.
inline constexpr std::int32_t kStepEnd = -1;
inline constexpr std::int32_t kStepJump = -2;

struct Step {
  std::int32_t item = kStepEnd;  // item index, kStepEnd or kStepJump
  std::int32_t target = -1;      // JMP: the item jumped to; CMP: its branch item; else -1
  friend bool operator==(const Step&, const Step&) = default;
};

// Walks from item start (a valid index): first the main path, ending in END or in a JMP to an
// item already laid out, then depth first the paths from branch targets not yet laid out, in the
// order their compare items were met. Each reached item takes exactly one step. Returns false
// (after the check's message box) when a reached item fails its check.
bool walkChart(const Chart& chart, int start, UserInterface& ui, std::vector<Step>& steps);

// For every step the index of the step its target item was laid out at, or -1.
std::vector<int> resolveTargets(const Chart& chart, const std::vector<Step>& steps);

}  // namespace pvrj
