// Settings folder and port-name resolution.
#include "common/SettingsFolder.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pvrj {
namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

std::string homeFolder() {
  std::string home = environment("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/tmp";
}

// mkdir -p; the per-user folder is private to its user.
void makeFolders(const std::string& path) {
  for (std::size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos == path.size() || path[pos] == '/') {
      std::string part = path.substr(0, pos);
      if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
  }
}

bool entryExists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// An installed program's folder: never a settings folder, even for root, who could write there.
bool isSystemFolder(const std::string& folder) {
  for (std::string prefix : {"/usr", "/bin", "/sbin", "/lib"}) {
    if (folder == prefix || folder.compare(0, prefix.size() + 1, prefix + "/") == 0) return true;
  }
  return false;
}

}  // namespace

std::string executableFolder() {
  char buffer[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return {};
  std::string path(buffer, static_cast<std::size_t>(n));
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string environmentValue(const char* name) {
  return environment(name);
}

std::string xdgBaseFolder(const char* variable, const char* underHome) {
  std::string base = environment(variable);
  // The XDG rules ignore a relative path.
  if (base.empty() || base.front() != '/') base = joinPath(homeFolder(), underHome);
  return base;
}

std::string userConfigFolder() {
  return joinPath(xdgBaseFolder("XDG_CONFIG_HOME", ".config"), "pivora");
}

std::string userStateFolder() {
  return joinPath(xdgBaseFolder("XDG_STATE_HOME", ".local/state"), "pivora");
}

std::string userDataFolder() {
  return xdgBaseFolder("XDG_DATA_HOME", ".local/share");
}

bool isInstalledProgramFolder(const std::string& exeFolder) {
  if (isSystemFolder(exeFolder)) return true;
  // <prefix>/bin beside <prefix>/share/pivora-j, as cmake --install and the package lay it out;
  // writable or not, its settings do not belong among the programs.
  std::string folder = exeFolder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  const std::size_t slash = folder.rfind('/');
  if (slash == std::string::npos || folder.compare(slash + 1, std::string::npos, "bin") != 0) {
    return false;
  }
  struct stat st {};
  const std::string data = joinPath(folder.substr(0, slash + 1), kInstalledDataFolder);
  return stat(data.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string settingsFolder() {
  std::string forced = environment(kSettingsDirVariable);
  if (!forced.empty()) return forced;
  return settingsFolderFor(executableFolder());
}

std::string settingsFolderFor(const std::string& exeFolder) {
  if (!exeFolder.empty() && !isInstalledProgramFolder(exeFolder) &&
      access(exeFolder.c_str(), W_OK) == 0) {
    return exeFolder;
  }
  std::string user = userConfigFolder();
  makeFolders(user);
  return user;
}

std::string settingsFilePath(const std::string& fileName) {
  return joinPath(settingsFolder(), fileName);
}

std::vector<std::string> portLinkFolders() {
  std::vector<std::string> folders{joinPath(settingsFolder(), kPortsFolderName)};
  std::string user = joinPath(userConfigFolder(), kPortsFolderName);
  if (environment(kSettingsDirVariable).empty() && user != folders.front()) {
    folders.push_back(user);
  }
  return folders;
}

std::string portLinkPath(int portNo) {
  std::string forced = environment(kSettingsDirVariable);
  std::string base = forced.empty() ? userConfigFolder() : forced;
  return joinPath(joinPath(base, kPortsFolderName), "COM" + std::to_string(portNo));
}

Status makePortLink(int portNo, const std::string& device) {
  if (portNo < 1) return Status::failure("no such port: COM" + std::to_string(portNo));
  std::string link = portLinkPath(portNo);
  makeFolders(link.substr(0, link.rfind('/')));
  std::string temporary = link + ".new" + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(device.c_str(), temporary.c_str()) != 0 ||
      rename(temporary.c_str(), link.c_str()) != 0) {
    std::string reason = std::strerror(errno);
    unlink(temporary.c_str());
    return Status::failure("cannot link " + link + " to " + device + ": " + reason);
  }
  return Status::success();
}

void removePortLink(int portNo, const std::string& device) {
  if (portNo < 1) return;
  std::string link = portLinkPath(portNo);
  char target[PATH_MAX + 1];
  ssize_t n = readlink(link.c_str(), target, PATH_MAX);
  if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == device) unlink(link.c_str());
}

std::string comPortDevice(int portNo) {
  if (portNo < 1) return {};
  std::string name = "COM" + std::to_string(portNo);
  for (const std::string& folder : portLinkFolders()) {
    std::string link = joinPath(folder, name);
    if (entryExists(link)) return link;
  }
  return "/dev/ttyS" + std::to_string(portNo - 1);
}

}  // namespace pvrj
