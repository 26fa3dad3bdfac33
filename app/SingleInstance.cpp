// The single-instance guard: a per-user lock file held with flock for the life of the editor.
#include "app/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QMessageBox>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ui/MessageDialog_u.h"

namespace pvrj {

SingleInstanceLock::SingleInstanceLock(std::string path) : path_(std::move(path)) {}

SingleInstanceLock::~SingleInstanceLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the descriptor releases the flock
}

bool SingleInstanceLock::tryLock() {
  if (fd_ >= 0) return true;
  error_.clear();
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
  if (fd < 0) {
    error_ = path_ + ": " + std::strerror(errno);
    return false;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    if (errno != EWOULDBLOCK) error_ = path_ + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

std::string instanceLockPath(const std::string& settingsFolder) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = settingsFolder;
  struct stat st {};
  if (runtime && *runtime && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) folder = runtime;
  if (folder.empty()) folder = ".";
  if (folder.back() != '/') folder += '/';
  return folder + kInstanceLockName + ".lock";
}

void showSecondInstanceRefusal() {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("申し訳ない"),
                  QStringLiteral("二重起動は出来ないんです"), QMessageBox::Ok);
  execModal(box);
}

}  // namespace pvrj
