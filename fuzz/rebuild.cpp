// Fuzz target: read-back. Arbitrary records, as a board could hand them back, rebuilt into a motion
// chart; arbitrary slot numbers into a scenario chart. Every line joins items that exist, every
// record maps to an item or to none, and the rebuilt charts compile (or are refused) cleanly.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "compiler/Compile.h"
#include "compiler/Rebuild.h"
#include "fuzz/ChartChecks.h"
#include "fuzz/FuzzSupport.h"

using namespace pvrj;
using namespace pvrj::fuzz;

namespace {

// More records than a motion can have, so the walk's limits are met too.
constexpr std::size_t kMaxRecords = 300;

// Every record of a compiled motion reads back as the kind of step it was made for: an END as
// END, a jump or a compare as a branch to its own target, any other item as a pose or a setting.
bool readsAsCompiled(const CompilerState& state) {
  for (std::size_t i = 0; i < state.records.size(); ++i) {
    const Step& step = state.steps[i];
    const int cls = recordClass(state.records[i]);
    if (step.item == kStepEnd) {
      if (cls != kRecordEnd) return false;
    } else if (step.target != -1) {
      const int wanted = step.item == kStepJump ? kRecordJmp : kRecordCmp;
      if (cls != wanted || recordTarget(state.records[i]) != state.targetSteps[i]) return false;
    } else if (cls != kRecordPos && cls != kRecordSet) {
      return false;
    }
  }
  return true;
}

void rebuildMotion(FuzzInput& in) {
  std::vector<MotionRecord> records;
  const std::size_t count = in.inRange(0, kMaxRecords);
  for (std::size_t i = 0; i < count && !in.empty(); ++i) {
    MotionRecord r{};
    const auto bytes = in.bytes(r.size());
    std::copy(bytes.begin(), bytes.end(), r.begin());
    records.push_back(r);
  }
  Chart chart;
  const MotionRebuild rebuilt = rebuildMotionChart(chart, records);
  checkChartIndices(chart);
  PVRJ_FUZZ_CHECK(chart.Type == kMotionChart);
  PVRJ_FUZZ_CHECK(rebuilt.itemOfRecord.size() == records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    const int item = rebuilt.itemOfRecord[i];
    PVRJ_FUZZ_CHECK(item == -1 || chart.validItem(item));
    const int reached = itemReachedFrom(records, rebuilt.itemOfRecord, static_cast<int>(i));
    PVRJ_FUZZ_CHECK(reached == -1 || chart.validItem(reached));
  }
  for (const ChartLink& link : chart.links) {
    PVRJ_FUZZ_CHECK(chart.validItem(link.Origin) && chart.validItem(link.Final));
  }

  QuietUserInterface ui;
  CompilerState state;
  if (compileMotion(chart, ui, state)) {
    PVRJ_FUZZ_CHECK(!state.records.empty());
    PVRJ_FUZZ_CHECK(state.records.size() <= static_cast<std::size_t>(kMaxMotionSteps) + 1);
    // What compiled reads back into a chart that compiles again: the compiler refuses an item
    // whose step the board would read as another kind of step or with another target. When each
    // record reads as the step it was made for (a pose of words in no class need not), the chart
    // compiles to the very same records.
    Chart again;
    rebuildMotionChart(again, state.records);
    checkChartIndices(again);
    CompilerState againState;
    PVRJ_FUZZ_CHECK(compileMotion(again, ui, againState));
    if (readsAsCompiled(state)) {
      PVRJ_FUZZ_CHECK(againState.records.size() == state.records.size());
      for (std::size_t i = 0; i < state.records.size(); ++i) {
        if (againState.records[i] != state.records[i]) {
          std::fprintf(stderr, "%s\n%s\n", dumpRow(static_cast<int>(i), state.records[i]).c_str(),
                       dumpRow(static_cast<int>(i), againState.records[i]).c_str());
        }
        PVRJ_FUZZ_CHECK(againState.records[i] == state.records[i]);
      }
    }
  }
}

void rebuildScenario(FuzzInput& in) {
  const auto stepBytes = in.bytes(in.inRange(0, 255));
  const std::vector<std::uint8_t> steps(stepBytes.begin(), stepBytes.end());
  const std::string names = in.text(64);
  Chart chart;
  rebuildScenarioChart(
      chart, steps,
      [&](int slot) -> std::optional<std::string> {
        if (names.empty() || slot % 7 == 0) return std::nullopt;
        return names.substr(static_cast<std::size_t>(slot) % names.size());
      },
      [](const std::string& text) { return static_cast<int>(text.size()) * 7; });
  checkChartIndices(chart);
  PVRJ_FUZZ_CHECK(chart.Type == kScenarioChart);
  PVRJ_FUZZ_CHECK(chart.items.size() == steps.size());
  PVRJ_FUZZ_CHECK(chart.links.size() == (steps.empty() ? 0 : steps.size() - 1));
  QuietUserInterface ui;
  CompilerState state;
  const bool converted = convertScenario(chart, ui, state);
  // Steps that all name motion slots convert back into themselves.
  const bool allMotions =
      std::all_of(steps.begin(), steps.end(), [](std::uint8_t m) { return m < kMotionSlots; });
  if (!steps.empty() && allMotions) {
    PVRJ_FUZZ_CHECK(converted);
    PVRJ_FUZZ_CHECK(state.scenarioSteps == steps);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  if (in.flag()) {
    rebuildMotion(in);
  } else {
    rebuildScenario(in);
  }
  return 0;
}
