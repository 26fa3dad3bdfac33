// pvrj-torn-writer KIND PATH STEPS: saves a file of the program over and over with the program's
// own save operations, so that a test can kill it at any moment. KIND is chart, settings,
// pattern or trim. The saves follow a fixed cycle of versions (two of a chart, a pattern or a trim
// file; the main window's keys and the position editor's desktop of the settings file, each in two
// versions, saved one after the other as the program does). STEPS saves are made, then the
// program ends; with 0 it saves until it is killed. Ends with 1 when a save fails.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "chart/ChartFile.h"
#include "common/Settings.h"
#include "editors/core/Desktop.h"
#include "editors/core/PatternFile.h"
#include "tools/core/Trims.h"

namespace {

using namespace pvrj;

// Items in the chart and sets in the pattern file: files of some hundred kilobytes, so that a
// save takes long enough to be interrupted at many points.
constexpr int kChartItems = 1500;
constexpr int kPatternSets = 1500;

class SilentUserInterface : public UserInterface {
 public:
  int ShowMessageBox(int, int, const std::string&) override { return kIdOk; }
  bool NumberPrompt(Prompt&) override { return false; }
  void showStatus(const std::string&) override {}
  void setBusy(bool) override {}
  void setBoardState(const std::string&) override {}
  void processEvents() override {}
};

Chart chartVersion(int version) {
  Chart chart;
  chart.Name = version == 0 ? "版A" : "版B";
  chart.items.reserve(kChartItems);
  for (int i = 0; i < kChartItems; ++i) {
    ChartItem item = defaultItem(kItemPos, 10 + i % 40 * 60, 10 + i / 40 * 40);
    item.Name = "POS" + std::to_string(i + 1);
    item.PrmWords.fill(static_cast<std::uint16_t>(16384 + version * 100 + i % 50));
    chart.items.push_back(std::move(item));
    if (i > 0) {
      ChartLink link;
      link.Origin = i - 1;
      link.Final = i;
      chart.links.push_back(link);
    }
  }
  chart.Start = 0;
  return chart;
}

// Both versions are made once, so that the program spends its time saving.
bool saveChartVersion(const std::string& path, int version) {
  static const Chart versions[2] = {chartVersion(0), chartVersion(1)};
  SilentUserInterface ui;
  return saveChart(versions[version], path, false, ui);
}

// Both versions are made once, each a pattern file read as the editor reads it at start, so that
// the program spends its time saving.
PatternFile patternVersion(const std::string& path, int version) {
  PatternFile file = PatternFile::open(path);
  std::vector<std::string> names;
  for (int n = 0; n < kPatternSets; ++n) {
    const std::string name = "組" + std::to_string(n);
    names.push_back(name);
    std::vector<std::string> entries(24, version == 0 ? "MOV(10)" : "SET(2)");
    file.writeLinkSet(name, entries);
  }
  file.setLinkSetNames(names);
  return file;
}

bool savePatternVersion(const std::string& path, int version) {
  static const PatternFile versions[2] = {patternVersion(path, 0), patternVersion(path, 1)};
  return versions[version].save().ok();
}

bool saveTrimVersion(const std::string& path, int version) {
  TrimValues values{};
  for (std::size_t c = 0; c < values.size(); ++c)
    values[c] = static_cast<std::uint16_t>(16384 + (version == 0 ? 1 : -1) * static_cast<int>(c));
  return writeTrimFile(path, values).ok();
}

// The settings file: the main window's keys and the desktop, each written on its own.
bool saveSettingsStep(const std::string& path, int step) {
  const int version = step / 2 % 2 == 0 ? 1 : 0;
  if (step % 2 == 0) {
    MainSettings main;
    main.grid = version == 1;
    main.gridWidth = 8 + version;
    main.commPort = 3 + version;
    return writeMainSettings(path, main);
  }
  DesktopSettings desktop = DesktopSettings::defaults();
  desktop.clientWidth += version * 10;
  for (auto& channel : desktop.channels) channel.name += version == 1 ? "右" : "左";
  return saveDesktop(path, desktop);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: pvrj-torn-writer chart|settings|pattern|trim PATH STEPS\n", stderr);
    return 2;
  }
  const std::string kind = argv[1];
  const std::string path = argv[2];
  const long steps = std::strtol(argv[3], nullptr, 10);
  for (long step = 0; steps == 0 || step < steps; ++step) {
    bool ok = false;
    if (kind == "chart") {
      ok = saveChartVersion(path, static_cast<int>(step % 2));
    } else if (kind == "pattern") {
      ok = savePatternVersion(path, static_cast<int>(step % 2));
    } else if (kind == "trim") {
      ok = saveTrimVersion(path, static_cast<int>(step % 2));
    } else if (kind == "settings") {
      ok = saveSettingsStep(path, static_cast<int>(step % 4));
    } else {
      std::fprintf(stderr, "pvrj-torn-writer: unknown kind %s\n", kind.c_str());
      return 2;
    }
    if (!ok) {
      std::fprintf(stderr, "pvrj-torn-writer: cannot save %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
