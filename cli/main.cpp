// pvrj-cli: the editor's core on the command line.
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CliCommand.h"

namespace pvrj::cli {
namespace {
constexpr std::string_view kPortOption = "--port";
constexpr int kExitUsage = 2;

std::map<std::string, CliCommand>& commands() {
  static std::map<std::string, CliCommand> table;
  return table;
}

void printUsage(std::FILE* out) {
  std::fprintf(out, "usage: pvrj-cli [--port COMn|DEVICE] [--yes] COMMAND ARGS...\ncommands:\n");
  for (const auto& [name, command] : commands()) std::fprintf(out, "  %s\n", command.usage.c_str());
}
}  // namespace

bool registerCommand(CliCommand command) {
  std::string name = command.name;
  commands().emplace(std::move(name), std::move(command));
  return true;
}

}  // namespace pvrj::cli

int main(int argc, char** argv) {
  using namespace pvrj::cli;
  CliOptions options;
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == kPortOption || a.starts_with(std::string(kPortOption) + "=")) {
      // "--port" alone takes the next argument, unless that is another option.
      if (a == kPortOption && i + 1 < argc && !std::string_view(argv[i + 1]).starts_with("-"))
        options.port = argv[++i];
      else if (a != kPortOption)
        options.port = a.substr(kPortOption.size() + 1);
      if (options.port.empty()) {
        std::fprintf(stderr, "pvrj-cli: --port needs a value: COMn or a device path\n");
        return kExitUsage;
      }
    } else if (a == "--yes" || a == "-y") {
      options.yes = true;
    } else if (a == "--help" || a == "-h") {
      printUsage(stdout);
      return 0;
    } else {
      rest.push_back(a);
    }
  }
  if (rest.empty()) {
    printUsage(stderr);
    return kExitUsage;
  }
  auto it = commands().find(rest.front());
  if (it == commands().end()) {
    std::fprintf(stderr, "pvrj-cli: unknown command '%s'\n", rest.front().c_str());
    printUsage(stderr);
    return kExitUsage;
  }
  rest.erase(rest.begin());
  return it->second.run(options, rest);
}
