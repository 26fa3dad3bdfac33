// Fuzz target: the pose table import read straight from a file (without the probe that guards
// it in the load button, so every line reaches the reader), then as the load button opens it.
#include <cstdint>

#include "chart/ChartFile.h"
#include "fuzz/ChartChecks.h"
#include "fuzz/FuzzSupport.h"

using namespace pvrj;
using namespace pvrj::fuzz;

namespace {

// A pose table gives POS items joined in a chain of connection lines.
void checkPoseChain(const Chart& chart, std::size_t firstItem, std::size_t firstLink) {
  const std::size_t added = chart.items.size() - firstItem;
  PVRJ_FUZZ_CHECK(chart.links.size() - firstLink == (added == 0 ? 0 : added - 1));
  for (std::size_t i = firstItem; i < chart.items.size(); ++i) {
    PVRJ_FUZZ_CHECK(chart.items[i].Type == kItemPos);
  }
  for (std::size_t k = firstLink; k < chart.links.size(); ++k) {
    const ChartLink& link = chart.links[k];
    PVRJ_FUZZ_CHECK(link.Main == 0 && link.Point.empty());
    PVRJ_FUZZ_CHECK(static_cast<std::size_t>(link.Origin) == firstItem + (k - firstLink));
    PVRJ_FUZZ_CHECK(link.Final == link.Origin + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file;
  const std::string& path = file.hold(asText(data, size));
  QuietUserInterface ui;

  Chart chart;
  const OpenOutcome read = readPoseTable(chart, path, ui);
  checkChartIndices(chart);
  if (read.opened) {
    checkPoseChain(chart, 0, 0);
  } else {
    PVRJ_FUZZ_CHECK(chart.items.empty() && chart.links.empty());
  }

  // Through the probe, into a chart that has an item already.
  Chart busy;
  busy.createItem(kItemPos, 0, 0);
  busy.Start = 0;
  ClientArea client;
  const bool poseTable = probeFile(path) == kProbePoseTable;
  const OpenOutcome opened = openFile(busy, client, path, ui);
  checkChartIndices(busy);
  if (poseTable && opened.opened) checkPoseChain(busy, 1, 0);
  return 0;
}
