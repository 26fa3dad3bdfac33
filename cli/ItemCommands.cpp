// pvrj-cli commands on the items of a chart: "convert" rewrites items by per-channel rules as
// the conversion dialog does, "describe" tells what every item and line does.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "chart/ChannelConversion.h"
#include "chart/Chart.h"
#include "chart/ChartFile.h"
#include "cli/CliCommand.h"
#include "cli/ConsoleUserInterface.h"
#include "common/CommaText.h"
#include "common/SettingsFolder.h"
#include "editors/core/ItemDescription.h"
#include "editors/core/PatternFile.h"

namespace pvrj::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* const kConvertUsage =
    "usage: pvrj-cli convert IN OUT (--rules TEXT | --set NAME [--pattern FILE]) [--items NAMES]\n";

struct ConvertArguments {
  std::vector<std::string> files;
  std::optional<std::string> rules;
  std::optional<std::string> set;
  std::optional<std::string> pattern;
  std::optional<std::string> items;
};

// Reads "--name VALUE" and "--name=VALUE"; false on an unknown option or a missing value.
bool parseConvertArguments(const std::vector<std::string>& args, ConvertArguments& out) {
  struct Option {
    const char* name;
    std::optional<std::string>* value;
  } const options[] = {{"--rules", &out.rules},
                       {"--set", &out.set},
                       {"--pattern", &out.pattern},
                       {"--items", &out.items}};
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      out.files.push_back(a);
      continue;
    }
    bool known = false;
    for (const Option& o : options) {
      const std::string name = o.name;
      if (a == name) {
        if (i + 1 >= args.size()) return false;
        *o.value = args[++i];
        known = true;
      } else if (a.rfind(name + "=", 0) == 0) {
        *o.value = a.substr(name.size() + 1);
        known = true;
      }
    }
    if (!known) return false;
  }
  return out.files.size() == 2 && (out.rules.has_value() != out.set.has_value()) &&
         (!out.pattern || out.set);
}

// The rules of a comma text, checked as a whole: at most 24 entries, each one the conversion
// knows, and no speed rule that divides by zero. Prints the reason and gives nothing otherwise.
std::optional<ChannelRules> checkedRules(const std::vector<std::string>& items) {
  if (items.size() > static_cast<std::size_t>(kChannelCount)) {
    std::fprintf(stderr, "pvrj-cli: the rules hold %zu entries, more than %d; nothing written\n",
                 items.size(), kChannelCount);
    return std::nullopt;
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!isConversionCommand(items[i])) {
      std::fprintf(stderr, "pvrj-cli: CH%zu: \"%s\" is not a conversion rule; nothing written\n",
                   i + 1, items[i].c_str());
      return std::nullopt;
    }
  }
  const ChannelRules rules = rulesFromItems(items);
  if (const int bad = firstUnusableRule(rules); bad != 0) {
    std::fprintf(stderr, "pvrj-cli: CH%d: \"%s\" divides the speed by zero; nothing written\n", bad,
                 rules[static_cast<std::size_t>(bad - 1)].c_str());
    return std::nullopt;
  }
  return rules;
}

// The rules of a conversion set kept in a pattern file, checked like rules given as text.
std::optional<ChannelRules> setRules(const std::string& name, const std::string& patternPath) {
  const PatternFile pattern = PatternFile::open(patternPath);
  if (!pattern.readError().empty()) {
    std::fprintf(stderr, "pvrj-cli: %s could not be read (%s); nothing written\n",
                 patternPath.c_str(), pattern.readError().c_str());
    return std::nullopt;
  }
  if (!pattern.hasConversionSet(name)) {
    std::fprintf(stderr, "pvrj-cli: no conversion set named \"%s\" in %s; nothing written\n",
                 name.c_str(), patternPath.c_str());
    return std::nullopt;
  }
  return checkedRules(pattern.conversionSet(name));
}

// Selects the items named in the comma text (every item of a name, as names may repeat), or
// every item when there is no list. False, naming it, for a name no item has.
bool selectNamedItems(Chart& chart, const std::optional<std::string>& names,
                      const std::string& file) {
  chart.deselectAll();
  if (!names) {
    chart.selectAll();
    return true;
  }
  for (const std::string& name : splitCommaText(*names)) {
    bool found = false;
    for (ChartItem& item : chart.items) {
      if (item.Name == name) {
        item.Selected = true;
        found = true;
      }
    }
    if (!found) {
      std::fprintf(stderr, "pvrj-cli: no item named \"%s\" in %s; nothing written\n", name.c_str(),
                   file.c_str());
      return false;
    }
  }
  return true;
}

int runConvert(const CliOptions&, const std::vector<std::string>& args) {
  ConvertArguments a;
  if (!parseConvertArguments(args, a)) {
    std::fputs(kConvertUsage, stderr);
    return kExitUsage;
  }
  std::optional<ChannelRules> rules;
  if (a.rules) {
    rules = checkedRules(splitCommaText(*a.rules));
  } else {
    rules = setRules(*a.set, a.pattern ? *a.pattern : settingsFilePath(kPatternFileName));
  }
  if (!rules) return kExitFailed;

  ConsoleUserInterface ui(true);
  Chart chart;
  ClientArea client;
  const std::string& in = a.files[0];
  if (!openFile(chart, client, in, ui).opened) {
    std::fprintf(stderr, "pvrj-cli: %s was not read; nothing written\n", in.c_str());
    return kExitFailed;
  }
  if (!selectNamedItems(chart, a.items, in)) return kExitFailed;
  if (!convertSelectedItems(chart, *rules)) return kExitFailed;  // checked above; kept for safety
  chart.deselectAll();
  std::string written;
  if (!saveChart(chart, a.files[1], true, ui, &written)) return kExitFailed;
  std::printf("%s\n", written.c_str());
  return kExitOk;
}

int runDescribe(const CliOptions&, const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: pvrj-cli describe FILE\n");
    return kExitUsage;
  }
  ConsoleUserInterface ui(true);
  Chart chart;
  ClientArea client;
  if (!openFile(chart, client, args[0], ui).opened) {
    std::fprintf(stderr, "pvrj-cli: %s was not read\n", args[0].c_str());
    return kExitFailed;
  }
  for (const std::string& line : describeChart(chart)) std::printf("%s\n", line.c_str());
  return kExitOk;
}

const bool kRegistered =
    registerCommand({"convert",
                     "convert IN OUT (--rules TEXT | --set NAME [--pattern FILE]) [--items NAMES]\n"
                     "                     rewrite items by per-channel rules and save as OUT",
                     runConvert}) &&
    registerCommand({"describe", "describe FILE      tell what every item and line of a chart does",
                     runDescribe});

}  // namespace
}  // namespace pvrj::cli
