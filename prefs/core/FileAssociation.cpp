// Writing and removing the chart files' association in the user's XDG folders.
#include "prefs/core/FileAssociation.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "common/FileIo.h"
#include "common/SettingsFolder.h"
#include "packaging/DesktopFiles.h"

extern char** environ;

namespace pvrj {
namespace {

constexpr std::string_view kDefaultApplications = "[Default Applications]";
constexpr std::string_view kExecKey = "Exec=";
constexpr std::string_view kFileFieldCode = " %f";
// Characters that make a desktop entry's Exec argument need quotes, and those that must be
// escaped inside the quotes.
constexpr std::string_view kReservedInExec = " \t\n\"'\\><~|&;$*?#()`";
constexpr std::string_view kEscapedInQuotes = "\"`$\\";
constexpr int kHelperPollStepMs = 20;  // only where the kernel offers no process descriptor

std::string join(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

std::string parentOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// mkdir -p; the XDG folders themselves, when made here, are private to the user.
Status makeFolders(const std::string& path, const std::string& privateBase) {
  for (std::size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    const std::string part = path.substr(0, pos);
    const mode_t mode = part.size() <= privateBase.size() ? 0700 : 0755;
    if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
      return Status::failure(part + ": " + std::strerror(errno));
    }
  }
  return Status::success();
}

bool validUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t extra = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
    } else if (c >= 0x80) {
      return false;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
      if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool isGroupHeader(std::string_view line) {
  line = trimmed(line);
  return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

bool isBlank(std::string_view line) {
  return trimmed(line).empty();
}

// The lines of a text without their "\n"; a final line end adds no empty line.
std::vector<std::string> linesOf(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string textOf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// The group's body: the lines after header up to the next group or the end.
struct Group {
  std::size_t header = 0;
  std::size_t end = 0;
};

std::optional<Group> findGroup(const std::vector<std::string>& lines, std::string_view name) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (trimmed(lines[i]) != name) continue;
    Group g{i, i + 1};
    while (g.end < lines.size() && !isGroupHeader(lines[g.end])) ++g.end;
    return g;
  }
  return std::nullopt;
}

// The line of key in the group, or none.
std::optional<std::size_t> findKey(const std::vector<std::string>& lines, const Group& g,
                                   std::string_view key) {
  for (std::size_t i = g.header + 1; i < g.end; ++i) {
    const std::size_t eq = lines[i].find('=');
    if (eq != std::string::npos && trimmed(std::string_view(lines[i]).substr(0, eq)) == key) {
      return i;
    }
  }
  return std::nullopt;
}

std::vector<std::string> entriesOf(std::string_view line) {
  std::vector<std::string> entries;
  const std::size_t eq = line.find('=');
  std::string_view value = eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
  while (!value.empty()) {
    std::size_t semicolon = value.find(';');
    if (semicolon == std::string_view::npos) semicolon = value.size();
    const std::string_view entry = trimmed(value.substr(0, semicolon));
    if (!entry.empty()) entries.emplace_back(entry);
    value.remove_prefix(std::min(value.size(), semicolon + 1));
  }
  return entries;
}

std::string keyLine(std::string_view key, const std::vector<std::string>& entries) {
  std::string line(key);
  line += '=';
  for (const std::string& e : entries) line += e + ";";
  return line;
}

// Runs a helper program found on PATH, with its output dropped, for at most the helpers' time.
void runHelper(const char* name, const std::string& argument) {
  std::string found;
  const std::string path = environmentValue("PATH");
  std::size_t start = 0;
  while (found.empty() && start <= path.size()) {
    std::size_t colon = path.find(':', start);
    if (colon == std::string::npos) colon = path.size();
    const std::string candidate = join(path.substr(start, colon - start), name);
    if (colon > start && access(candidate.c_str(), X_OK) == 0) found = candidate;
    start = colon + 1;
  }
  if (found.empty()) return;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string arg0 = name;
  std::string arg1 = argument;
  char* argv[] = {arg0.data(), arg1.data(), nullptr};
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, found.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return;

  // Waits on the process's descriptor when the kernel has one, else looks every few ms.
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kDesktopHelperTimeOutMs);
  int status = 0;
  bool ended = false;
  while (!ended) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) break;
    if (pidfd >= 0) {
      pollfd p{pidfd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) break;
    } else {
      poll(nullptr, 0, kHelperPollStepMs);
    }
    ended = waitpid(pid, &status, WNOHANG) == pid;
  }
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  if (pidfd >= 0) close(pidfd);
}

}  // namespace

DesktopFolders DesktopFolders::fromEnvironment() {
  return {xdgBaseFolder("XDG_DATA_HOME", ".local/share"),
          xdgBaseFolder("XDG_CONFIG_HOME", ".config")};
}

FileAssociation::FileAssociation(DesktopFolders folders, std::string program)
    : folders_(std::move(folders)), program_(std::move(program)) {}

std::string FileAssociation::mimePackagePath() const {
  return join(join(folders_.dataHome, "mime/packages"), kMimePackageName);
}

std::string FileAssociation::desktopEntryPath() const {
  return join(join(folders_.dataHome, "applications"), kDesktopEntryName);
}

std::string FileAssociation::mimeAppsPath() const {
  return join(folders_.configHome, "mimeapps.list");
}

std::vector<std::string> FileAssociation::files() const {
  std::vector<std::string> paths;
  const std::string hicolor = join(folders_.dataHome, "icons/hicolor");
  const std::string png = std::string(kIconName) + ".png";
  for (int size : kIconSizes) {
    const std::string folder = std::to_string(size) + "x" + std::to_string(size) + "/apps";
    paths.push_back(join(join(hicolor, folder), png));
  }
  paths.push_back(join(join(hicolor, "scalable/apps"), kScalableIconName));
  paths.push_back(desktopEntryPath());
  paths.push_back(mimePackagePath());
  return paths;
}

bool FileAssociation::IsAssociationRegistered() const {
  return exists(mimePackagePath());
}

Status FileAssociation::RegisterAssociation(bool on) {
  bool removed = false;
  Status done = on ? registerFiles() : removeFiles(removed);
  if (on && !done) removeFiles(removed);
  if (on || removed) updateDatabases();
  return done;
}

Status FileAssociation::registerFiles() {
  const Result<std::string> exec = desktopExecValue(program_);
  if (!exec) return exec.status();
  const std::string_view entry = embeddedDesktopFile(kDesktopEntryName);
  const std::string_view types = embeddedDesktopFile(kMimePackageName);
  // What each file holds, by the file names of packaging/.
  std::vector<std::string> contents;
  for (int size : kIconSizes) {
    contents.emplace_back(
        embeddedDesktopFile(std::string(kIconName) + "-" + std::to_string(size) + ".png"));
  }
  contents.emplace_back(embeddedDesktopFile(kScalableIconName));
  contents.push_back(desktopEntryWithExec(entry, exec.value()));
  contents.emplace_back(types);
  const std::vector<std::string> paths = files();
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (contents[i].empty()) return Status::failure(paths[i] + ": nothing to write");
    // The default application goes in before the MIME type file, which marks the end.
    if (paths[i] == mimePackagePath()) {
      const std::string list = mimeAppsPath();
      std::string old;
      if (exists(list)) {
        Result<std::string> read = readFileBytes(list);
        if (!read) return read.status();
        old = read.value();
      }
      if (Status s = makeFolders(folders_.configHome, folders_.configHome); !s) return s;
      const std::string updated = withDefaultApplication(old, kChartMimeType, kDesktopEntryName);
      if (updated != old) {
        if (Status s = writeFileAtomically(list, updated); !s) return s;
      }
    }
    if (Status s = makeFolders(parentOf(paths[i]), folders_.dataHome); !s) return s;
    if (Status s = writeFileAtomically(paths[i], contents[i]); !s) return s;
  }
  return Status::success();
}

Status FileAssociation::removeFiles(bool& changed) {
  Status outcome = Status::success();
  const std::vector<std::string> paths = files();
  // The MIME type file first: from then on chart files no longer count as registered.
  for (auto it = paths.rbegin(); it != paths.rend(); ++it) {
    if (unlink(it->c_str()) == 0) {
      changed = true;
    } else if (errno != ENOENT && outcome) {
      outcome = Status::failure(*it + ": " + std::strerror(errno));
    }
  }
  const std::string list = mimeAppsPath();
  if (exists(list)) {
    Result<std::string> read = readFileBytes(list);
    if (!read) {
      if (outcome) outcome = read.status();
    } else {
      const std::string updated =
          withoutDefaultApplication(read.value(), kChartMimeType, kDesktopEntryName);
      Status s = Status::success();
      if (updated == read.value()) {
        // Not named there: the list stays as it is, even an empty one.
      } else if (updated.find_first_not_of(" \t\r\n") == std::string::npos) {
        changed = true;
        if (unlink(list.c_str()) != 0 && errno != ENOENT) {
          s = Status::failure(list + ": " + std::strerror(errno));
        }
      } else {
        changed = true;
        s = writeFileAtomically(list, updated);
      }
      if (!s && outcome) outcome = s;
    }
  }
  // The icon size folders registering made, when nothing else lives there.
  for (const std::string& path : paths) {
    if (path.find("/icons/hicolor/") == std::string::npos) continue;
    const std::string apps = parentOf(path);
    if (rmdir(apps.c_str()) == 0) rmdir(parentOf(apps).c_str());
  }
  return outcome;
}

void FileAssociation::updateDatabases() const {
  if (!runHelpers) return;
  const std::string mime = join(folders_.dataHome, "mime");
  if (exists(join(mime, "packages"))) runHelper(kMimeDatabaseHelper, mime);
  const std::string applications = join(folders_.dataHome, "applications");
  if (exists(applications)) runHelper(kDesktopDatabaseHelper, applications);
}

Result<std::string> desktopExecValue(const std::string& program) {
  if (program.empty() || !validUtf8(program)) {
    return Result<std::string>::failure(program + ": not a path a desktop entry can name");
  }
  for (char c : program) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      return Result<std::string>::failure(
          "a path with control characters cannot start from a "
          "desktop entry");
    }
  }
  std::string argument;
  if (program.find_first_of(kReservedInExec) == std::string::npos) {
    argument = program;
  } else {
    argument = "\"";
    for (char c : program) {
      if (kEscapedInQuotes.find(c) != std::string_view::npos) argument += '\\';
      argument += c;
    }
    argument += '"';
  }
  // "%" starts a field code; a literal one is doubled. Then the value is a desktop entry
  // string, in which every backslash is written twice.
  std::string value;
  for (char c : argument) {
    if (c == '%') {
      value += "%%";
    } else if (c == '\\') {
      value += "\\\\";
    } else {
      value += c;
    }
  }
  return value + std::string(kFileFieldCode);
}

std::string desktopEntryWithExec(std::string_view entry, std::string_view execValue) {
  std::vector<std::string> lines = linesOf(entry);
  for (std::string& line : lines) {
    if (line.rfind(kExecKey, 0) == 0) line = std::string(kExecKey) + std::string(execValue);
  }
  return textOf(lines);
}

std::string withDefaultApplication(std::string_view list, std::string_view mimeType,
                                   std::string_view desktopId) {
  std::vector<std::string> lines = linesOf(list);
  const std::optional<Group> group = findGroup(lines, kDefaultApplications);
  if (!group) {
    if (!lines.empty() && !isBlank(lines.back())) lines.emplace_back();
    lines.emplace_back(kDefaultApplications);
    lines.push_back(keyLine(mimeType, {std::string(desktopId)}));
    return textOf(lines);
  }
  if (const auto at = findKey(lines, *group, mimeType)) {
    // The editor first; whatever was there before stays behind it.
    std::vector<std::string> entries{std::string(desktopId)};
    for (const std::string& e : entriesOf(lines[*at])) {
      if (e != desktopId) entries.push_back(e);
    }
    lines[*at] = keyLine(mimeType, entries);
    return textOf(lines);
  }
  std::size_t insertAt = group->end;
  while (insertAt > group->header + 1 && isBlank(lines[insertAt - 1])) --insertAt;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
               keyLine(mimeType, {std::string(desktopId)}));
  return textOf(lines);
}

std::string withoutDefaultApplication(std::string_view list, std::string_view mimeType,
                                      std::string_view desktopId) {
  std::vector<std::string> lines = linesOf(list);
  const std::optional<Group> group = findGroup(lines, kDefaultApplications);
  if (!group) return std::string(list);
  const auto at = findKey(lines, *group, mimeType);
  if (!at) return std::string(list);
  std::vector<std::string> entries = entriesOf(lines[*at]);
  const auto before = entries.size();
  std::erase(entries, std::string(desktopId));
  if (entries.size() == before) return std::string(list);
  if (!entries.empty()) {
    lines[*at] = keyLine(mimeType, entries);
    return textOf(lines);
  }
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*at));
  const std::size_t end = group->end - 1;
  bool empty = true;
  for (std::size_t i = group->header + 1; i < end; ++i) empty = empty && isBlank(lines[i]);
  if (empty) {
    // The section goes with the blank line that was put before it.
    std::size_t first = group->header;
    if (first > 0 && isBlank(lines[first - 1])) --first;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(first),
                lines.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return textOf(lines);
}

}  // namespace pvrj
