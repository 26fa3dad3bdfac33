// Fuzz target: a chart file opened the way the load button and `pvrj-cli info` open it (probe,
// then read, from a file by its path). What was read must hold only indices of its own items,
// read the same after saving, and add cleanly to a chart that already has items.
#include <cstdint>

#include "chart/ChartFile.h"
#include "common/Encoding.h"
#include "fuzz/ChartChecks.h"
#include "fuzz/FuzzSupport.h"

using namespace pvrj;
using namespace pvrj::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file;
  const std::string_view bytes = asText(data, size);
  QuietUserInterface ui;

  Chart chart;
  ClientArea client;
  const OpenOutcome first = openFile(chart, client, file.hold(bytes), ui);
  checkChartIndices(chart);
  PVRJ_FUZZ_CHECK(client.width <= kMaxCanvasExtent + kCanvasMargin);
  PVRJ_FUZZ_CHECK(client.height <= kMaxCanvasExtent + kCanvasMargin);
  if (!first.opened) {
    // Refused or stopped by an error: the chart is untouched.
    PVRJ_FUZZ_CHECK(chart.items.empty() && chart.links.empty());
    return 0;
  }

  // Saved and read back into an empty chart, it is the same chart.
  const std::string saved = chartFileText(chart);
  Chart again;
  ClientArea againClient;
  const OpenOutcome second = openFile(again, againClient, file.hold(utf8ToCp932(saved)), ui);
  PVRJ_FUZZ_CHECK(second.opened);
  if (!sameStoredChart(chart, again)) {
    // The canvas size in the header may differ; the items and links after it may not.
    const std::string other = chartFileText(again);
    explainDifference(saved.substr(saved.find("\r\n\r\n")), other.substr(other.find("\r\n\r\n")));
  }
  PVRJ_FUZZ_CHECK(sameStoredChart(chart, again));

  // The file once more, added to the chart it made (same type: no question): its items come
  // after the ones there.
  const std::size_t items = chart.items.size();
  const OpenOutcome merged = openFile(chart, client, file.hold(bytes), ui);
  checkChartIndices(chart);
  PVRJ_FUZZ_CHECK(merged.opened);
  PVRJ_FUZZ_CHECK(chart.items.size() == 2 * items);
  return 0;
}
