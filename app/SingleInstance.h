// The single-instance guard: a per-user lock file held with flock for the life of the editor, the
// folder it shares with the editor's request socket, and what a second start does.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

namespace pvrj {

// Name of the lock; the file is "<folder>/PVR3.lock".
inline constexpr const char* kInstanceLockName = "PVR3";
// The request socket's file name begins with this and ends with the user's id.
inline constexpr const char* kRequestSocketPrefix = "pivora-j-play-";

// Holds the lock file open and locked; the kernel drops the lock if the program dies.
class SingleInstanceLock {
 public:
  explicit SingleInstanceLock(std::string path);
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // Takes the lock without waiting; false when another holder has it or the file cannot be made.
  bool tryLock();
  bool locked() const { return fd_ >= 0; }
  // Why the last tryLock failed ("" when another instance holds the lock).
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string error_;
  int fd_ = -1;
};

// The folder of the lock file and the request socket: $XDG_RUNTIME_DIR when it names a folder
// (private to the user and cleared at log-out), otherwise the given settings folder.
std::string instanceFolder(const std::string& settingsFolder);

// The lock file's path in instanceFolder().
std::string instanceLockPath(const std::string& settingsFolder);

// The request socket's path in instanceFolder(): "<folder>/pivora-j-play-<uid>".
QString requestSocketPath(const std::string& settingsFolder);

// Tells the user that the editor already runs: caption "申し訳ない", warning icon, OK.
void showSecondInstanceRefusal();

// Hands a chart file to the editor serving socketPath: sends its absolute path and waits for the
// editor to take it. False when no editor answers or it refuses.
bool handOverFile(const QString& socketPath, const QString& absolutePath);

// What a start does when another editor holds the lock: a chart file named in arguments (the
// program's arguments after its name) goes to the running editor and the start ends with 0;
// without a file, or when the running editor cannot take it, the refusal is shown and the start
// ends with 1.
int secondStart(const QStringList& arguments, const QString& socketPath);

}  // namespace pvrj
