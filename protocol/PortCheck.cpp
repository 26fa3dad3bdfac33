// Looking at a port the way a person would when it will not open: the link, the device, its
// permissions, who holds it, the adapter and its latency timer.
#include "protocol/PortCheck.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "common/SettingsFolder.h"

namespace pvrj {
namespace {

constexpr const char* kModemManager = "ModemManager";
// The fixes name the adapter's device by a placeholder and tell where to find the real one.
constexpr const char* kAdapterPlaceholder = "/dev/ttyUSBn";
constexpr const char* kAdapterListJa = "(アダプタは ls /dev/serial/by-id で分かります)";
constexpr const char* kAdapterListEn = " (ls /dev/serial/by-id lists the adapters)";
constexpr int kLowLatencyMs = 1;
constexpr std::size_t kMaxGroups = 256;

// "COMn" with n from 1: n; 0 for anything else.
int comNumber(const std::string& name) {
  if (name.size() < 4 || (name.compare(0, 3, "COM") != 0 && name.compare(0, 3, "com") != 0))
    return 0;
  if (name.size() > 9) return 0;
  int n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

std::string readLink(const std::string& path) {
  char buffer[PATH_MAX + 1];
  const ssize_t n = ::readlink(path.c_str(), buffer, PATH_MAX);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string realPath(const std::string& path) {
  char buffer[PATH_MAX + 1];
  return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : std::string();
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

// The first line of a small text file, trimmed; empty when it cannot be read.
std::string firstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string kindOf(mode_t mode) {
  if (S_ISCHR(mode)) return "character device";
  if (S_ISREG(mode)) return "regular file";
  if (S_ISDIR(mode)) return "folder";
  if (S_ISBLK(mode)) return "block device";
  if (S_ISFIFO(mode)) return "pipe";
  if (S_ISSOCK(mode)) return "socket";
  return "special file";
}

// The numbered entries of /proc.
std::vector<int> processes(const std::string& proc) {
  std::vector<int> pids;
  DIR* dir = ::opendir(proc.c_str());
  if (dir == nullptr) return pids;
  while (const dirent* e = ::readdir(dir)) {
    const char* name = e->d_name;
    if (*name == '\0' || !std::all_of(name, name + std::strlen(name), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c));
        }))
      continue;
    pids.push_back(std::atoi(name));
  }
  ::closedir(dir);
  std::sort(pids.begin(), pids.end());
  return pids;
}

std::string programOf(const std::string& proc, int pid) {
  return firstLine(proc + "/" + std::to_string(pid) + "/comm");
}

// The number of a pseudo-terminal device ("/dev/pts/4": 4), or -1.
int ptyIndex(const std::string& device) {
  constexpr std::string_view kPts = "/dev/pts/";
  if (!device.starts_with(kPts) || device.size() == kPts.size()) return -1;
  const std::string number = device.substr(kPts.size());
  if (!std::all_of(number.begin(), number.end(),
                   [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
    return -1;
  return std::atoi(number.c_str());
}

// Whether descriptor fd of the process is the master of pseudo-terminal index.
bool isMasterOf(const std::string& proc, int pid, const std::string& fd, int index) {
  std::ifstream info(proc + "/" + std::to_string(pid) + "/fdinfo/" + fd);
  std::string line;
  while (std::getline(info, line)) {
    if (line.starts_with("tty-index:")) return std::atoi(line.c_str() + 10) == index;
  }
  return false;
}

// Other processes with device open. Only this user's processes can be looked into (root sees
// all). The process at the other end of a pseudo-terminal, which keeps the device open so that it
// stays, reads nothing from it and does not count.
std::vector<PortHolder> holdersOf(const std::string& proc, const std::string& device) {
  std::vector<PortHolder> holders;
  const int self = static_cast<int>(::getpid());
  const int pty = ptyIndex(device);
  for (int pid : processes(proc)) {
    if (pid == self) continue;
    const std::string fdFolder = proc + "/" + std::to_string(pid) + "/fd";
    DIR* dir = ::opendir(fdFolder.c_str());
    if (dir == nullptr) continue;
    bool holds = false;
    bool master = false;
    while (const dirent* e = ::readdir(dir)) {
      if (e->d_name[0] == '.') continue;
      const std::string target = readLink(fdFolder + "/" + e->d_name);
      if (target == device) holds = true;
      if (pty >= 0 && (target == "/dev/ptmx" || target == "/dev/pts/ptmx") &&
          isMasterOf(proc, pid, e->d_name, pty))
        master = true;
    }
    ::closedir(dir);
    if (holds && !master) holders.push_back({pid, programOf(proc, pid)});
  }
  return holders;
}

bool modemManagerRuns(const std::string& proc) {
  for (int pid : processes(proc))
    if (programOf(proc, pid) == kModemManager) return true;
  return false;
}

void lookAtGroup(PortFacts& f, const struct stat& st) {
  f.mode = st.st_mode & 07777;
  if (const group* g = ::getgrgid(st.st_gid); g != nullptr)
    f.group = g->gr_name;
  else
    f.group = std::to_string(st.st_gid);
  const passwd* pw = ::getpwuid(::geteuid());
  f.user = pw != nullptr ? pw->pw_name : std::to_string(::geteuid());
  if (pw != nullptr) {
    std::vector<gid_t> groups(kMaxGroups);
    int count = static_cast<int>(groups.size());
    if (::getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count) >= 0)
      f.userInGroup =
          std::find(groups.begin(), groups.begin() + count, st.st_gid) != groups.begin() + count;
  }
  std::vector<gid_t> mine(kMaxGroups);
  const int n = ::getgroups(static_cast<int>(mine.size()), mine.data());
  f.loginHasGroup = ::getegid() == st.st_gid || (n > 0 && std::find(mine.begin(), mine.begin() + n,
                                                                    st.st_gid) != mine.begin() + n);
}

void lookAtAdapter(PortFacts& f, const std::string& sys) {
  const std::string tty = sys + "/class/tty/" + baseName(f.resolved) + "/device";
  const std::string device = realPath(tty);
  if (device.empty()) return;
  f.driver = baseName(readLink(device + "/driver"));
  if (exists(device + "/latency_timer")) {
    f.latencyPath = device + "/latency_timer";
    const std::string value = firstLine(f.latencyPath);
    if (!value.empty() && std::all_of(value.begin(), value.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c));
        }))
      f.latencyMs = std::atoi(value.c_str());
  }
  // The USB device is the nearest folder above with a vendor id.
  for (std::string folder = device; !folder.empty() && folder.size() > sys.size();
       folder = parentOf(folder)) {
    if (exists(folder + "/idVendor")) {
      f.usb = true;
      f.vendorId = firstLine(folder + "/idVendor");
      f.productId = firstLine(folder + "/idProduct");
      f.manufacturer = firstLine(folder + "/manufacturer");
      f.product = firstLine(folder + "/product");
      break;
    }
  }
}

// Where a ports/COMn link for the name would be made.
std::string linkToMake(const std::string& name) {
  const std::vector<std::string> folders = portLinkFolders();
  return (folders.empty() ? std::string(kPortsFolderName) : folders.front()) + "/" + name;
}

std::string holderList(const std::vector<PortHolder>& holders) {
  std::string out;
  for (const PortHolder& h : holders) {
    if (!out.empty()) out += ", ";
    out +=
        (h.program.empty() ? std::string("?") : h.program) + " (pid " + std::to_string(h.pid) + ")";
  }
  return out;
}

std::string octal(unsigned mode) {
  char text[16];
  std::snprintf(text, sizeof text, "%04o", mode);
  return text;
}

}  // namespace

PortFacts examinePort(const std::string& name, const PortCheckRoots& roots) {
  PortFacts f;
  f.name = name;
  if (const int n = comNumber(name); n > 0) {
    const std::string linkName = "COM" + std::to_string(n);
    for (const std::string& folder : portLinkFolders()) {
      const std::string path = folder + "/" + linkName;
      struct stat st {};
      if (::lstat(path.c_str(), &st) == 0) {
        f.linkPath = path;
        if (S_ISLNK(st.st_mode)) f.linkTarget = readLink(path);
        break;
      }
    }
    f.device = f.linkPath.empty() ? comPortDevice(n) : f.linkPath;
  } else if (!name.empty() && name.front() == '/') {
    f.device = name;
  } else {
    f.problem = PortProblem::kNoName;
    return f;
  }
  struct stat st {};
  if (::stat(f.device.c_str(), &st) != 0) {
    f.openError = errno;
    f.problem = errno != ENOENT && errno != ENOTDIR ? PortProblem::kOther
                : f.linkPath.empty()                ? PortProblem::kMissingDevice
                                                    : PortProblem::kMissingLink;
    return f;
  }
  f.resolved = realPath(f.device);
  f.kind = kindOf(st.st_mode);
  lookAtGroup(f, st);
  f.modemManager = modemManagerRuns(roots.proc);
  if (!S_ISCHR(st.st_mode)) {
    f.problem = PortProblem::kNotTerminal;
    return f;
  }
  lookAtAdapter(f, roots.sys);
  f.holders = holdersOf(roots.proc, f.resolved);
  const int fd = ::open(f.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    f.openError = errno;
    f.problem = errno == EACCES || errno == EPERM ? PortProblem::kPermission
                : errno == EBUSY                  ? PortProblem::kBusy
                : errno == ENXIO || errno == ENODEV || errno == EIO
                    ? PortProblem::kMissingDevice  // a device file without hardware behind it
                    : PortProblem::kOther;
    return f;
  }
  if (!::isatty(fd)) {
    f.problem = PortProblem::kNotTerminal;
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    f.locked = true;
    f.problem = PortProblem::kBusy;
  } else if (!f.holders.empty()) {
    // Two programs reading one line take each other's bytes, lock or no lock.
    f.problem = PortProblem::kBusy;
  }
  ::close(fd);
  return f;
}

std::optional<int> readLatencyTimer(const PortFacts& facts) {
  if (facts.latencyPath.empty()) return std::nullopt;
  const std::string value = firstLine(facts.latencyPath);
  if (value.empty() || !std::all_of(value.begin(), value.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      }))
    return std::nullopt;
  return std::atoi(value.c_str());
}

std::string portProblemText(const PortFacts& f) {
  std::string text;
  switch (f.problem) {
    case PortProblem::kNone:
      return {};
    case PortProblem::kNoName:
      text = f.name +
             " はポートの名前ではありません。COMn かデバイスのパス(/dev/...)を指定してください";
      break;
    case PortProblem::kMissingLink:
      text = "ポートのリンク " + f.linkPath + " の先 " + f.linkTarget +
             " がありません。アダプタを差し込むか、リンクを付け替えてください: ln -sfn " +
             kAdapterPlaceholder + " " + f.linkPath + kAdapterListJa;
      break;
    case PortProblem::kMissingDevice:
      text = f.device + " がありません。";
      if (comNumber(f.name) > 0)
        text += "USBアダプタなら " + f.name + " のリンクを作ってください: ln -sfn " +
                kAdapterPlaceholder + " " + linkToMake(f.name) + kAdapterListJa;
      else
        text += "アダプタが差し込まれているか確かめてください";
      break;
    case PortProblem::kNotTerminal:
      text = f.device + " はシリアルポートではありません(" + f.kind + ")。" +
             (f.linkPath.empty() ? std::string("ポートの指定を確かめてください")
                                 : "リンク " + f.linkPath + " の先を確かめてください");
      break;
    case PortProblem::kPermission:
      text =
          f.device + " を開く権限がありません(グループ " + f.group + "、" + octal(f.mode) + ")。";
      if (f.userInGroup && !f.loginHasGroup)
        text += "ユーザー " + f.user + " は " + f.group +
                " に入っていますが、このログインにはまだ効いていません。ログインし直してください";
      else
        text +=
            "sudo usermod -aG " + f.group + " " + f.user + " を実行し、ログインし直してください";
      break;
    case PortProblem::kBusy:
      text = f.device + " は他のプログラムが使っています: " +
             (f.holders.empty() ? std::string("見えないプロセス(別のユーザーのものかもしれません)")
                                : holderList(f.holders)) +
             "。そのプログラムを終了してください";
      break;
    case PortProblem::kOther:
      text = f.device + " を開けません: " + std::strerror(f.openError);
      break;
  }
  if (f.modemManager && f.usb)
    text +=
        "。ModemManager が動いています: 差し込んだばかりのUSBシリアル機器はしばらく "
        "ModemManager が調べるので、少し待ってから試すか、sudo systemctl stop ModemManager "
        "で止めてください";
  return text;
}

std::vector<DoctorLine> doctorLines(const PortFacts& f, std::optional<int> latencyAfterOpen) {
  std::vector<DoctorLine> lines;
  const PortProblem p = f.problem;
  const std::string notChecked = "not checked";
  // name
  if (p == PortProblem::kNoName) {
    lines.push_back({DoctorLine::kFail, "name",
                     "\"" + f.name + "\" names no port: give COMn or a device path (/dev/...)"});
    return lines;
  }
  std::string chain = f.name;
  if (!f.linkPath.empty()) chain += " -> " + f.linkPath;
  if (!f.linkTarget.empty()) chain += " -> " + f.linkTarget;
  if (f.linkPath.empty() && f.device != f.name) chain += " -> " + f.device;
  if (p == PortProblem::kMissingLink) {
    lines.push_back({DoctorLine::kFail, "name",
                     chain +
                         ", which does not exist: plug the adapter in or point the link at it: "
                         "ln -sfn " +
                         kAdapterPlaceholder + " " + f.linkPath + kAdapterListEn});
  } else if (p == PortProblem::kMissingDevice) {
    std::string text = chain + ": " + f.device + " does not exist";
    if (comNumber(f.name) > 0 && f.linkPath.empty())
      text += " (no link " + f.name + " in the ports folders); for a USB adapter: ln -sfn " +
              kAdapterPlaceholder + " " + linkToMake(f.name) + kAdapterListEn;
    lines.push_back({DoctorLine::kFail, "name", text});
  } else {
    if (!f.resolved.empty() && f.resolved != f.device && f.resolved != f.linkTarget)
      chain += " (" + f.resolved + ")";
    lines.push_back({DoctorLine::kOk, "name", chain});
  }
  auto skipped = [&lines, &notChecked](std::initializer_list<const char*> checks) {
    for (const char* check : checks) lines.push_back({DoctorLine::kSkipped, check, notChecked});
  };
  if (p == PortProblem::kMissingLink || p == PortProblem::kMissingDevice ||
      (p == PortProblem::kOther && f.resolved.empty())) {
    if (p == PortProblem::kOther)
      lines.push_back({DoctorLine::kFail, "device", f.device + ": " + std::strerror(f.openError)});
    skipped({"access", "in use", "modem", "adapter", "latency"});
    return lines;
  }
  // device
  if (p == PortProblem::kNotTerminal) {
    lines.push_back(
        {DoctorLine::kFail, "device", f.resolved + " is a " + f.kind + ", not a serial device"});
    skipped({"access", "in use", "modem", "adapter", "latency"});
    return lines;
  }
  lines.push_back({DoctorLine::kOk, "device", f.resolved + " is a " + f.kind});
  // access
  const std::string owner = "group " + f.group + ", mode " + octal(f.mode);
  if (p == PortProblem::kPermission) {
    std::string text = "permission denied (" + owner + "): ";
    if (f.userInGroup && !f.loginHasGroup)
      text += f.user + " is in " + f.group +
              " but this login is not yet: log out and in again (or run: newgrp " + f.group + ")";
    else
      text += f.user + " is not in " + f.group + ": sudo usermod -aG " + f.group + " " + f.user +
              ", then log in again";
    lines.push_back({DoctorLine::kFail, "access", text});
  } else if (p == PortProblem::kOther) {
    lines.push_back(
        {DoctorLine::kFail, "access", std::string("cannot open: ") + std::strerror(f.openError)});
  } else {
    lines.push_back({DoctorLine::kOk, "access", "read and write (" + owner + ")"});
  }
  // in use
  if (p == PortProblem::kBusy) {
    lines.push_back({DoctorLine::kFail, "in use",
                     f.holders.empty()
                         ? std::string("locked by a program this user cannot see (another "
                                       "user's?): end it first")
                         : "held by " + holderList(f.holders) + ": end it first"});
  } else if (p == PortProblem::kPermission || p == PortProblem::kOther) {
    lines.push_back({DoctorLine::kSkipped, "in use", notChecked});
  } else {
    lines.push_back({DoctorLine::kOk, "in use", "no other program has it open"});
  }
  // modem
  if (!f.modemManager)
    lines.push_back({DoctorLine::kOk, "modem", "no modem manager running"});
  else if (f.usb)
    lines.push_back({DoctorLine::kWarn, "modem",
                     "ModemManager runs and probes new USB serial devices for a few seconds after "
                     "they appear; if the board does not answer at first, wait, or: sudo "
                     "systemctl stop ModemManager"});
  else
    lines.push_back(
        {DoctorLine::kOk, "modem", "ModemManager runs (it leaves devices other than USB alone)"});
  // adapter
  if (f.usb) {
    std::string text = (f.driver.empty() ? std::string("USB") : f.driver) + ", USB " + f.vendorId +
                       ":" + f.productId;
    if (!f.manufacturer.empty()) text += " " + f.manufacturer;
    if (!f.product.empty()) text += " " + f.product;
    lines.push_back({DoctorLine::kOk, "adapter", text});
  } else if (!f.driver.empty()) {
    lines.push_back({DoctorLine::kOk, "adapter", f.driver + " (no USB adapter)"});
  } else {
    lines.push_back(
        {DoctorLine::kOk, "adapter", "none known to sysfs (a pseudo-terminal or a virtual port)"});
  }
  // latency
  if (f.latencyPath.empty()) {
    lines.push_back({DoctorLine::kOk, "latency", "no latency timer"});
  } else if (!latencyAfterOpen) {
    lines.push_back({DoctorLine::kSkipped, "latency",
                     (f.latencyMs ? std::to_string(*f.latencyMs) + " ms" : std::string("?")) +
                         " before opening; not checked after"});
  } else if (*latencyAfterOpen <= kLowLatencyMs) {
    lines.push_back({DoctorLine::kOk, "latency",
                     std::to_string(*latencyAfterOpen) + " ms: low-latency mode took"});
  } else {
    lines.push_back({DoctorLine::kWarn, "latency",
                     std::to_string(*latencyAfterOpen) +
                         " ms: low-latency mode did not take, transfers run many times slower: "
                         "echo 1 | sudo tee " +
                         f.latencyPath});
  }
  return lines;
}

}  // namespace pvrj
