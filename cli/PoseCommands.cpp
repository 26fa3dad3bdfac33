// pvrj-cli commands that pose the robot as the position editor does: pose, servo, home and
// make-home.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "chart/ChartFile.h"
#include "cli/BoardSession.h"
#include "cli/CliCommand.h"
#include "common/Numbers.h"
#include "compiler/Transfer.h"
#include "editors/core/PoseBoard.h"

namespace pvrj::cli {
namespace {

constexpr int kExitFailed = 1;
constexpr std::int32_t kWordMax = 0xFFFF;

int usage(const char* line) {
  std::fprintf(stderr, "usage: pvrj-cli --port COMn|DEVICE %s\n", line);
  return kExitUsage;
}

template <class Body>
int withBoard(const CliOptions& options, Body body) {
  BoardSession session(options);
  if (int rc = session.open(); rc != kExitOk) return rc;
  return body(session);
}

// The pose record of the POS item named `name` in a chart file, as the position editor would
// send it; nothing after saying why.
std::optional<PositionRecord> itemPose(const std::string& path, const std::string& name,
                                       UserInterface& ui) {
  Chart chart;
  ClientArea client;
  if (!openFile(chart, client, path, ui).opened) {
    std::fprintf(stderr, "pvrj-cli: %s was not read\n", path.c_str());
    return std::nullopt;
  }
  for (const ChartItem& item : chart.items) {
    if (item.Name != name) continue;
    if (item.Type == kItemPos) return poseRecordOfItem(item);
    std::fprintf(stderr, "pvrj-cli: %s in %s is not a POS item\n", name.c_str(), path.c_str());
    return std::nullopt;
  }
  std::fprintf(stderr, "pvrj-cli: %s has no item named %s\n", path.c_str(), name.c_str());
  return std::nullopt;
}

int printPose(BoardSession& s) {
  const std::optional<PositionRecord> pose = readCurrentPose(s.link());
  if (!pose) return s.failed("ポーズ読込");
  std::printf("SPEED: %d\n", pose->lead);
  for (int ch = 0; ch < kChannelCount; ++ch) {
    std::printf("CH%d: %u\n", ch + 1, static_cast<unsigned>(pose->block.words[ch]));
  }
  return kExitOk;
}

int runPose(const CliOptions& options, const std::vector<std::string>& args) {
  if (args.empty()) return withBoard(options, printPose);
  if (args.size() != 2) return usage("pose [FILE ITEM]");
  BoardSession session(options);
  const std::optional<PositionRecord> pose = itemPose(args[0], args[1], session.ui());
  if (!pose) return kExitFailed;
  if (int rc = session.open(); rc != kExitOk) return rc;
  return sendLiveRecord(session.link(), *pose) ? kExitOk : session.failed("ポーズ送信");
}

int runServo(const CliOptions& options, const std::vector<std::string>& args) {
  if (args.size() != 2) return usage("servo CH WORD");
  const std::optional<std::int32_t> channel = parseInteger(args[0]);
  const std::optional<std::int32_t> word = parseInteger(args[1]);
  if (!channel || *channel < 1 || *channel > kChannelCount) {
    std::fprintf(stderr, "pvrj-cli: '%s' is no channel (1..24)\n", args[0].c_str());
    return kExitUsage;
  }
  if (!word || *word < 0 || *word > kWordMax) {
    std::fprintf(stderr, "pvrj-cli: '%s' is no channel word (0..65535, or 0x0000..0xFFFF)\n",
                 args[1].c_str());
    return kExitUsage;
  }
  return withBoard(options, [&](BoardSession& s) {
    s.link().CmdSetServo(*channel - 1, static_cast<std::uint16_t>(*word));
    // The board does not answer this command: the handshake tells that it went out, and one
    // exchange after it waits until it has left the port before the port is closed.
    std::uint16_t options = 0;
    const bool sent = s.link().noReplySent() && s.link().CmdReadOptions(WorkingCopy, options);
    return sent ? kExitOk : s.failed("サーボ送信");
  });
}

int runHome(const CliOptions& options, const std::vector<std::string>& args) {
  if (!args.empty()) return usage("home");
  return withBoard(options, [](BoardSession& s) {
    return returnToHome(s.link()) ? kExitOk : s.failed("ホームポジション");
  });
}

int runMakeHome(const CliOptions& options, const std::vector<std::string>& args) {
  if (args.size() != 2) return usage("make-home FILE ITEM");
  BoardSession session(options);
  const std::optional<PositionRecord> pose = itemPose(args[0], args[1], session.ui());
  if (!pose) return kExitFailed;
  if (int rc = session.open(); rc != kExitOk) return rc;
  return writeHomePosition(session.link(), pose->block) ? kExitOk
                                                        : session.failed("ホームポジション設定");
}

const bool registered = [] {
  registerCommand({"pose",
                   "pose [FILE ITEM]     print the robot's pose, or send the POS item ITEM of FILE",
                   runPose});
  registerCommand(
      {"servo", "servo CH WORD        move one channel (1..24) to WORD at once", runServo});
  registerCommand({"home", "home                 send the robot to its home position", runHome});
  registerCommand({"make-home",
                   "make-home FILE ITEM  make the POS item ITEM of FILE the home position",
                   runMakeHome});
  return true;
}();

}  // namespace
}  // namespace pvrj::cli
