// pvrj-cli compile: the listing and dump of a chart file, or its line errors.
#include <cstdio>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "chart/ChartFile.h"
#include "cli/CliCommand.h"
#include "cli/ConsoleUserInterface.h"
#include "compiler/Compile.h"

namespace pvrj::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

void writeOut(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

int runCompile(const CliOptions& options, const std::vector<std::string>& args) {
  std::string path;
  bool listing = false;
  bool dump = false;
  for (const std::string& a : args) {
    if (a == "--listing") {
      listing = true;
    } else if (a == "--dump") {
      dump = true;
    } else if (path.empty() && !a.starts_with("--")) {
      path = a;
    } else {
      std::fprintf(stderr, "pvrj-cli compile: unexpected argument '%s'\n", a.c_str());
      return kExitUsage;
    }
  }
  if (path.empty()) {
    std::fprintf(stderr, "usage: pvrj-cli compile FILE [--listing] [--dump]\n");
    return kExitUsage;
  }
  if (!listing && !dump) listing = dump = true;

  // Status lines go to stderr, apart from the listing and dump on stdout.
  ConsoleUserInterface ui(options.yes);
  Chart chart;
  ClientArea client;
  if (!openFile(chart, client, path, ui).opened) return kExitRefused;
  if (chart.itemCount() == 0) {
    std::fprintf(stderr, "pvrj-cli compile: %s holds no items\n", path.c_str());
    return kExitRefused;
  }
  CompilerState state;
  if (!compileChart(chart, ui, state)) return kExitRefused;

  // Listing lines already end in CR LF; the dump rows get the same line end.
  if (listing) writeOut(state.listing);
  if (dump)
    for (const std::string& row : state.dumpRows) writeOut(row + kLineEnd);
  std::fflush(stdout);
  return std::ferror(stdout) ? kExitRefused : kExitOk;
}

const bool registered = registerCommand(
    {"compile", "compile FILE [--listing] [--dump]   print the listing and/or the dump rows",
     runCompile});

}  // namespace
}  // namespace pvrj::cli
