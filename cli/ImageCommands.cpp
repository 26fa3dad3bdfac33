// pvrj-cli commands that keep the board safe: backup and restore of board images, and diff of a
// chart file against a slot.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "chart/ChartFile.h"
#include "cli/BoardSession.h"
#include "cli/CliCommand.h"
#include "common/FileIo.h"
#include "compiler/BoardDiff.h"
#include "compiler/BoardImage.h"

namespace pvrj::cli {
namespace {

constexpr int kExitFailed = 1;
// diff answers like diff(1): 0 the same, 1 different, 2 trouble.
constexpr int kDiffSame = 0;
constexpr int kDiffDifferent = 1;
constexpr int kDiffTrouble = 2;

constexpr std::string_view kOnlyOption = "--only";
constexpr std::string_view kNoVerifyOption = "--no-verify";

int usage(const char* line) {
  std::fprintf(stderr, "usage: pvrj-cli --port PORT %s\n", line);
  return kExitUsage;
}

ImageTransfer imageTransfer(BoardSession& session, const char* label) {
  ImageTransfer t{session.link(), session.ui(), nullptr, writeSafety()};
  ConsoleUserInterface& ui = session.ui();
  t.progress = [&ui, label](int done, int total) { ui.showProgress(label, done, total); };
  return t;
}

int runBackup(const CliOptions& options, const std::vector<std::string>& args) {
  if (args.size() != 1) return usage("backup FILE");
  const std::string& path = args[0];
  // Found out before the board is asked for anything.
  if (Status writable = probeWritable(path); !writable) {
    std::fprintf(stderr, "pvrj-cli: cannot write %s: %s\n", path.c_str(),
                 writable.message().c_str());
    return kExitFailed;
  }
  BoardSession session(options);
  if (int rc = session.open(); rc != kExitOk) return rc;
  ImageTransfer t = imageTransfer(session, "backup");
  if (!backupBoardToFile(t, path)) return kExitFailed;
  std::printf("%s\n", path.c_str());
  return kExitOk;
}

int runRestore(const CliOptions& options, const std::vector<std::string>& args) {
  constexpr const char* kUsage = "restore FILE [--only motions|settings] [--no-verify]";
  std::optional<std::string> path;
  RestoreScope scope = RestoreScope::kAll;
  bool verify = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == kOnlyOption && i + 1 < args.size()) {
      const std::string& part = args[++i];
      if (part == "motions")
        scope = RestoreScope::kMotions;
      else if (part == "settings")
        scope = RestoreScope::kSettings;
      else
        return usage(kUsage);
    } else if (args[i] == kNoVerifyOption) {
      verify = false;
    } else if (!path && !args[i].starts_with("-")) {
      path = args[i];
    } else {
      return usage(kUsage);
    }
  }
  if (!path) return usage(kUsage);
  // A damaged or foreign file is refused before the port is even opened.
  Result<BoardImage> image = loadBoardImage(*path);
  if (!image) {
    std::fprintf(stderr, "pvrj-cli: %s\n", imageRefusedMessage(*path, image.message()).c_str());
    return kExitFailed;
  }
  BoardSession session(options);
  if (session.ui().ShowMessageBox(kMsgQuestion, kBtnYesNo, restoreQuestion(*path, scope)) != kIdYes)
    return kExitFailed;
  if (int rc = session.open(); rc != kExitOk) return rc;
  ImageTransfer t = imageTransfer(session, "restore");
  t.safety.verify = t.safety.verify && verify;
  if (!restoreBoard(t, image.value(), scope)) return kExitFailed;
  session.ui().showStatus(kStatusRestored + *path);
  return kExitOk;
}

int runDiff(const CliOptions& options, const std::vector<std::string>& args) {
  if (args.size() != 2) {
    usage("diff FILE SLOT");
    return kDiffTrouble;
  }
  const int slot = parseSlot(args[1]);
  if (slot < 0) {
    std::fprintf(stderr, "pvrj-cli: '%s' is no slot (M1..M80, S1..S5)\n", args[1].c_str());
    return kDiffTrouble;
  }
  BoardSession session(options);
  Chart chart;
  ClientArea client;
  if (!openFile(chart, client, args[0], session.ui()).opened) {
    std::fprintf(stderr, "pvrj-cli: %s was not read\n", args[0].c_str());
    return kDiffTrouble;
  }
  const bool scenario = chart.Type == kScenarioChart;
  if (scenario != (slot >= kFirstScenarioSlot)) {
    std::fprintf(stderr, "pvrj-cli: a %s compares with %s\n",
                 scenario ? "scenario chart" : "motion chart", scenario ? "S1..S5" : "M1..M80");
    return kDiffTrouble;
  }
  if (session.open() != kExitOk) return kDiffTrouble;
  std::vector<std::string> lines;
  const DiffOutcome outcome = diffChartWithSlot(session.link(), session.ui(), chart, slot, lines);
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  switch (outcome) {
    case DiffOutcome::kEqual:
      return kDiffSame;
    case DiffOutcome::kDifferent:
      return kDiffDifferent;
    case DiffOutcome::kFailed:
      break;
  }
  return kDiffTrouble;
}

const bool kRegistered =
    registerCommand({"backup",
                     "backup FILE        save everything the board holds into the board image "
                     "FILE",
                     runBackup}) &&
    registerCommand({"restore",
                     "restore FILE [--only motions|settings] [--no-verify]\n"
                     "                     write a board image back (asks; --yes answers)",
                     runRestore}) &&
    registerCommand({"diff",
                     "diff FILE SLOT     compare a chart file, compiled, with a slot: exit 0 the "
                     "same,\n"
                     "                     1 different (each difference on stdout), 2 trouble",
                     runDiff});

}  // namespace
}  // namespace pvrj::cli
