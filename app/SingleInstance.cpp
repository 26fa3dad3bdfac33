// The single-instance guard: a per-user lock file held with flock for the life of the editor, the
// folder it shares with the request socket, and what a second start does.
#include "app/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QMessageBox>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/RequestSocket.h"
#include "ui/MessageDialog_u.h"

namespace pvrj {
namespace {

// How long a second start waits for the running editor to take its file. The editor answers from
// its event loop, which also runs while a dialog is open or the board is being talked to.
constexpr int kHandOverTimeOutMs = 5000;

}  // namespace

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

std::string instanceFolder(const std::string& settingsFolder) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = settingsFolder;
  struct stat st {};
  if (runtime && *runtime && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) folder = runtime;
  if (folder.empty()) folder = ".";
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string instanceLockPath(const std::string& settingsFolder) {
  return instanceFolder(settingsFolder) + kInstanceLockName + ".lock";
}

QString requestSocketPath(const std::string& settingsFolder) {
  // One editor per user takes requests; another user's editor is never reached.
  return QString::fromStdString(instanceFolder(settingsFolder) + kRequestSocketPrefix +
                                std::to_string(::getuid()));
}

void showSecondInstanceRefusal() {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("申し訳ない"),
                  QStringLiteral("二重起動は出来ないんです"), QMessageBox::Ok);
  execModal(box);
}

bool handOverFile(const QString& socketPath, const QString& absolutePath) {
  QDeadlineTimer deadline(kHandOverTimeOutMs);
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(deadline.remainingTime())) return false;
  socket.write(openRequestLine(absolutePath));
  if (!socket.waitForBytesWritten(deadline.remainingTime())) return false;
  while (!socket.canReadLine()) {
    if (deadline.hasExpired() || !socket.waitForReadyRead(deadline.remainingTime())) return false;
  }
  return socket.readLine().trimmed() == kOpenTaken;
}

int secondStart(const QStringList& arguments, const QString& socketPath) {
  if (!arguments.isEmpty() && !arguments.first().isEmpty()) {
    // The running editor has another working folder: it gets the path from here.
    if (handOverFile(socketPath, QFileInfo(arguments.first()).absoluteFilePath())) return 0;
  }
  showSecondInstanceRefusal();
  return 1;
}

}  // namespace pvrj
