// The serial self-check: what a port name leads to, why it cannot be opened and what fixes it;
// the adapter behind it as sysfs tells it. Looks without keeping the port open.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pvrj {

// Why a port cannot be used, the first reason found.
enum class PortProblem {
  kNone,
  kNoName,         // neither "COMn" nor a device path
  kMissingLink,    // ports/COMn points to something that does not exist
  kMissingDevice,  // no link, and the device does not exist
  kNotTerminal,    // it exists but is no serial device (a regular file, a folder, ...)
  kPermission,     // the user may not open it
  kBusy,           // another program holds it
  kOther,          // opening failed otherwise (openError says how)
};

// A process that has the device open.
struct PortHolder {
  int pid = 0;
  std::string program;
};

struct PortFacts {
  std::string name;        // as given: "COM3" or "/dev/ttyUSB0"
  std::string linkPath;    // the ports/COMn link the name went through; empty when none
  std::string linkTarget;  // what that link points to
  std::string device;      // the path that is opened
  std::string resolved;    // the device with every link followed; empty when it does not exist
  std::string kind;        // "character device", "regular file", "folder", ...
  PortProblem problem = PortProblem::kNone;
  int openError = 0;  // errno of the failed open

  // Permission: the device's group and mode; whether the user is in the group in the group
  // database, and whether this login already has it.
  std::string group;
  unsigned mode = 0;
  std::string user;
  bool userInGroup = false;
  bool loginHasGroup = false;

  // Other programs that have the device open (this one aside), and whether a lock is held.
  std::vector<PortHolder> holders;
  bool locked = false;

  // The adapter, from sysfs: driver, USB vendor and product, and the latency timer of adapters
  // that have one.
  bool usb = false;
  std::string driver;
  std::string vendorId;
  std::string productId;
  std::string manufacturer;
  std::string product;
  std::string latencyPath;
  std::optional<int> latencyMs;

  // A modem manager runs: it probes every new USB serial device for a while after it appears.
  bool modemManager = false;
};

// Where the checks look; tests point them at folders of their own.
struct PortCheckRoots {
  std::string proc = "/proc";
  std::string sys = "/sys";
};

// Follows the name to its device and looks at everything above without keeping it open: it is
// opened once (non-blocking, without becoming the controlling terminal) and its lock tried.
PortFacts examinePort(const std::string& name, const PortCheckRoots& roots = {});
// The adapter's latency timer as sysfs reports it now (after the port was opened).
std::optional<int> readLatencyTimer(const PortFacts& facts);

// The cause and its fix in the program's language, for the status line and the message box;
// empty when nothing was found wrong.
std::string portProblemText(const PortFacts& facts);

// One line per check for pvrj-cli doctor: "name", "device", "access", "in use", "modem",
// "adapter", "latency"; the latency line needs the timer read after opening (latencyAfterOpen).
struct DoctorLine {
  // kFail: this check found what keeps the port from working; kWarn: it works, but slowly or
  // not at once; kSkipped: an earlier failure leaves nothing to check.
  enum Mark { kOk, kWarn, kFail, kSkipped };
  Mark mark = kOk;
  std::string check;
  std::string text;
};
std::vector<DoctorLine> doctorLines(const PortFacts& facts,
                                    std::optional<int> latencyAfterOpen = std::nullopt);

}  // namespace pvrj
