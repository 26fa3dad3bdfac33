// pvrj-cli: the editor's core on the command line.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cli/CliCommand.h"

namespace pvrj::cli {
namespace {
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
    if (a == "--port" && i + 1 < argc) {
      options.port = argv[++i];
    } else if (a.rfind("--port=", 0) == 0) {
      options.port = a.substr(7);
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
    return 2;
  }
  auto it = commands().find(rest.front());
  if (it == commands().end()) {
    std::fprintf(stderr, "pvrj-cli: unknown command '%s'\n", rest.front().c_str());
    printUsage(stderr);
    return 2;
  }
  rest.erase(rest.begin());
  return it->second.run(options, rest);
}
