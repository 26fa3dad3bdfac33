// File helpers on POSIX descriptors, each owned by a small RAII guard.
#include "common/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/Encoding.h"

namespace pvrj {
namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports whether the close worked (a late write error shows up here).
  bool close() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }
  void reset() { close(); }
  void release() { fd_ = -1; }

 private:
  int fd_;
};

std::string errorText(const std::string& path, int err) {
  return path + ": " + std::strerror(err);
}

std::string folderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a symbolic link points to; path itself otherwise.
std::string resolveTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf) != nullptr) return buf;
    // A dangling link: write where it points.
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n > 0) {
      std::string target(buf, static_cast<std::size_t>(n));
      if (target.front() != '/') target = folderOf(path) + "/" + target;
      return target;
    }
  }
  return path;
}

bool writeAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

std::atomic<unsigned> tempCounter{0};
constexpr std::size_t kReadChunkBytes = 64 * 1024;
// No file the program reads comes near this; a bigger one is refused rather than exhaust memory.
constexpr std::size_t kMaxReadBytes = std::size_t{1} << 30;

}  // namespace

namespace {

// Opens a plain file for reading; pipes, devices and folders are refused.
Result<int> openPlainFile(const std::string& path, std::size_t& size) {
  using R = Result<int>;
  // Non-blocking open, so a named pipe with no writer cannot stall the caller before the check.
  int raw = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (raw < 0) return R::failure(errorText(path, errno));
  Fd fd(raw);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return R::failure(errorText(path, errno));
  if (S_ISDIR(st.st_mode)) return R::failure(errorText(path, EISDIR));
  // Pipes and devices could block or never end (a device of zeros): only plain files are read.
  if (!S_ISREG(st.st_mode)) return R::failure(path + ": not a regular file");
  if (static_cast<std::uint64_t>(st.st_size) > kMaxReadBytes)
    return R::failure(errorText(path, EFBIG));
  size = static_cast<std::size_t>(st.st_size);
  int kept = fd.get();
  fd.release();
  return kept;
}

// Reads the descriptor to its end in pieces, handing each to consume; at most kMaxReadBytes.
template <class Consume>
Status readPieces(int fd, const std::string& path, Consume consume) {
  std::string buffer(kReadChunkBytes, '\0');
  std::size_t total = 0;
  while (true) {
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::failure(errorText(path, errno));
    }
    if (n == 0) return Status::success();
    total += static_cast<std::size_t>(n);
    // A file that grows while it is read is followed up to the limit.
    if (total > kMaxReadBytes) return Status::failure(errorText(path, EFBIG));
    consume(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
  }
}

}  // namespace

Result<std::string> readFileBytes(const std::string& path) {
  std::size_t size = 0;
  auto opened = openPlainFile(path, size);
  if (!opened) return Result<std::string>::failure(opened.message());
  Fd fd(opened.value());
  std::string data;
  data.reserve(size);
  Status s = readPieces(fd.get(), path, [&](std::string_view piece) { data.append(piece); });
  if (!s) return Result<std::string>::failure(s.message());
  return data;
}

Result<std::string> readTextFile(const std::string& path) {
  std::size_t size = 0;
  auto opened = openPlainFile(path, size);
  if (!opened) return Result<std::string>::failure(opened.message());
  Fd fd(opened.value());
  // Decoded piece by piece: no copy of the raw bytes is held besides the text.
  std::string text;
  text.reserve(size + size / 4);
  Cp932Decoder decoder;
  Status s = readPieces(fd.get(), path, [&](std::string_view piece) { decoder.feed(piece, text); });
  if (!s) return Result<std::string>::failure(s.message());
  decoder.finish(text);
  return text;
}

std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string joinLinesCrLf(const std::vector<std::string>& lines) {
  std::string out;
  std::size_t total = 0;
  for (const auto& l : lines) total += l.size() + 2;
  out.reserve(total);
  for (const auto& l : lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

AtomicFileWriter::~AtomicFileWriter() {
  abandon();
}

void AtomicFileWriter::abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

Status AtomicFileWriter::open(const std::string& path) {
  abandon();
  error_ = 0;
  if (path.empty()) return Status::failure("empty file name");
  target_ = resolveTarget(path);
  folder_ = folderOf(target_);
  auto slash = target_.find_last_of('/');
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);

  // Keep the old file's permissions; a new file gets the usual 0666 less the umask via open().
  struct stat old {};
  bool hadOld = ::stat(target_.c_str(), &old) == 0;
  if (hadOld && !S_ISREG(old.st_mode)) return Status::failure(errorText(target_, EISDIR));

  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    std::string name = folder_ + "/." + base + "." + std::to_string(::getpid()) + "." +
                       std::to_string(tempCounter.fetch_add(1)) + ".tmp";
    fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temp_ = name;
    } else if (errno != EEXIST) {
      return Status::failure(errorText(target_, errno));
    }
  }
  if (fd_ < 0) return Status::failure(errorText(target_, EEXIST));
  // Not fatal when it fails (another owner): the file then keeps default permissions.
  if (hadOld) (void)::fchmod(fd_, old.st_mode & 07777);
  return Status::success();
}

bool AtomicFileWriter::write(std::string_view bytes) {
  if (fd_ < 0 || error_ != 0) return false;
  if (!writeAll(fd_, bytes)) {
    error_ = errno;
    return false;
  }
  return true;
}

Status AtomicFileWriter::commit() {
  if (fd_ < 0) return Status::failure(errorText(target_, EBADF));
  auto fail = [this](int err) {
    abandon();
    return Status::failure(errorText(target_, err));
  };
  if (error_ != 0) return fail(error_);
  if (::fsync(fd_) != 0) return fail(errno);
  int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0) return fail(errno);
  if (::rename(temp_.c_str(), target_.c_str()) != 0) return fail(errno);
  temp_.clear();
  // Make the rename itself durable; a failure here no longer endangers the old or new data.
  Fd dir(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) (void)::fsync(dir.get());
  return Status::success();
}

Status writeFileAtomically(const std::string& path, std::string_view bytes) {
  AtomicFileWriter writer;
  if (Status s = writer.open(path); !s) return s;
  writer.write(bytes);
  return writer.commit();
}

Status writeTextFile(const std::string& path, std::string_view utf8Text) {
  return writeFileAtomically(path, utf8ToCp932(utf8Text));
}

Status probeWritable(const std::string& path) {
  if (path.empty()) return Status::failure("empty file name");
  const std::string target = resolveTarget(path);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return Status::failure(errorText(target, EISDIR));
    Fd fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd.valid()) return Status::failure(errorText(target, errno));
  }
  const std::string folder = folderOf(target);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return Status::failure(errorText(folder, errno));
  return Status::success();
}

}  // namespace pvrj
