// The single-instance guard: a per-user lock file held with flock for the life of the editor.
#pragma once

#include <string>

namespace pvrj {

// Name of the lock; the file is "<folder>/PVR3.lock".
inline constexpr const char* kInstanceLockName = "PVR3";

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

// The lock file's path: in $XDG_RUNTIME_DIR when it is set (private to the user and cleared at
// log-out), otherwise in the given settings folder.
std::string instanceLockPath(const std::string& settingsFolder);

// Tells the user that the editor already runs: caption "申し訳ない", warning icon, OK.
void showSecondInstanceRefusal();

}  // namespace pvrj
