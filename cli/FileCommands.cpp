// pvrj-cli commands on chart files: "save" merges files into one chart file, "info" describes one.
#include <cstdio>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "chart/ChartFile.h"
#include "cli/CliCommand.h"
#include "cli/ConsoleUserInterface.h"

namespace pvrj::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* probeKindName(int probe) {
  switch (probe) {
    case kProbeMotionChart:
      return "motion chart";
    case kProbeScenarioChart:
      return "scenario chart";
    case kProbePoseTable:
      return "pose table";
    default:
      return "unusable";
  }
}

// Opens every file into one chart as the load button of a freshly started editor would, with
// every confirmation answered OK, and saves it with the chart-file filter. A refused file stops
// the run before anything is written, so OUT never holds half of what was asked for.
int runSave(const CliOptions&, const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: pvrj-cli save OUT FILE...\n");
    return kExitUsage;
  }
  ConsoleUserInterface ui(true);
  Chart chart;
  ClientArea client;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (!openFile(chart, client, args[i], ui).opened) {
      std::fprintf(stderr, "pvrj-cli: %s was not read; nothing saved\n", args[i].c_str());
      return kExitFailed;
    }
  }
  std::string written;
  if (!saveChart(chart, args[0], true, ui, &written)) return kExitFailed;
  std::printf("%s\n", written.c_str());
  return kExitOk;
}

// Prints what the editor would make of a file: its probe result and the chart header it gives
// on a freshly started editor.
int runInfo(const CliOptions& options, const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: pvrj-cli info FILE\n");
    return kExitUsage;
  }
  const int probe = probeFile(args[0]);
  std::printf("probe: %d\n", probe);
  std::printf("kind: %s\n", probeKindName(probe));
  if (probe != kProbeMotionChart && probe != kProbeScenarioChart && probe != kProbePoseTable) {
    std::fprintf(stderr, "%s: %s\n", messageCaption(kMsgWarning), kMsgFileUnusable);
    return kExitFailed;
  }
  ConsoleUserInterface ui(options.yes);
  Chart chart;
  ClientArea client;
  if (!openFile(chart, client, args[0], ui).opened) return kExitFailed;
  std::printf("Type: %d\n", chart.Type);
  std::printf("Name: %s\n", chart.Name.c_str());
  std::printf("Port: %u\n", static_cast<unsigned>(chart.Port));
  std::printf("Ctrl: %d\n", static_cast<int>(chart.Ctrl));
  std::printf("Width: %d\n", static_cast<int>(chart.Width));
  std::printf("Height: %d\n", static_cast<int>(chart.Height));
  std::printf("Start: %d\n", static_cast<int>(chart.Start));
  std::printf("Items: %d\n", chart.itemCount());
  std::printf("Links: %d\n", chart.linkCount());
  return kExitOk;
}

const bool kRegistered =
    registerCommand(
        {"save", "save OUT FILE...   open the files into one chart and save it as OUT", runSave}) &&
    registerCommand({"info", "info FILE          describe a chart file or pose table", runInfo});

}  // namespace
}  // namespace pvrj::cli
