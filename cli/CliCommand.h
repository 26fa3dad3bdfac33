// The command table of pvrj-cli: each command file registers its commands with a static object.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace pvrj::cli {

struct CliOptions {
  std::string port;  // --port COMn or a device path; empty when not given
  bool yes = false;  // --yes answers the questions with yes / OK
};

struct CliCommand {
  std::string name;
  std::string usage;  // the line shown by pvrj-cli --help
  std::function<int(const CliOptions&, const std::vector<std::string>& args)> run;
};

// Returns true so it can initialise a static in the command's file.
bool registerCommand(CliCommand command);

}  // namespace pvrj::cli
