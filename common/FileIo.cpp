// File helpers on POSIX descriptors, each owned by a small RAII guard.
#include "common/FileIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

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

// Link hops followed before a chain counts as a loop, as the kernel counts them.
constexpr int kMaxLinkHops = 40;
// What a temporary name adds to the target's name: ".", ".PID", ".N" (each at most ten digits)
// and ".tmp".
constexpr std::size_t kTempDecorationBytes = 1 + 11 + 11 + 4;
// A name too long for its temporary name keeps this much of itself plus "~" and a hash.
constexpr std::size_t kTempHashBytes = 16;
constexpr const char* kTempSuffix = ".tmp";

std::uint64_t nameHash(std::string_view text) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a: the same on every build, as it must be
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

// The target's part of its temporary name: the name itself when the decorated name fits the
// folder's limit, else its start (cut at a UTF-8 character boundary), "~" and a hash of it all.
std::string temporaryStem(const std::string& folder, const std::string& name) {
  long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (limit <= 0) limit = NAME_MAX;
  const auto nameMax = static_cast<std::size_t>(limit);
  const std::size_t room = nameMax > kTempDecorationBytes ? nameMax - kTempDecorationBytes : 0;
  if (name.size() <= room) return name;
  std::size_t keep = room > kTempHashBytes + 1 ? room - kTempHashBytes - 1 : 0;
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string stem = name.substr(0, keep) + "~";
  const std::uint64_t h = nameHash(name);
  for (int shift = 60; shift >= 0; shift -= 4) stem.push_back(kHex[(h >> shift) & 0xF]);
  return stem;
}

// Digits only, at most ten, as the temporary names hold them.
std::optional<long> smallNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  long v = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

bool processRuns(long pid) {
  if (pid <= 0 || pid > INT_MAX) return false;
  // EPERM: it runs, under another user.
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Removes the temporary files that killed saves of the same target left in folder. One is taken
// only when the process named in it no longer runs and nobody holds its lock: a live writer,
// even one whose number was reused or that runs elsewhere, keeps its file.
void removeLeftovers(const std::string& folder, const std::string& stem) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return;
  const std::string prefix = "." + stem + ".";
  const std::string_view suffix = kTempSuffix;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name.size() <= prefix.size() + suffix.size() || name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - suffix.size()) != suffix)
      continue;
    const std::string_view middle =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const auto dot = middle.find('.');
    if (dot == std::string_view::npos) continue;
    const auto pid = smallNumber(middle.substr(0, dot));
    if (!pid || !smallNumber(middle.substr(dot + 1)) || processRuns(*pid)) continue;
    Fd fd(::openat(::dirfd(dir.get()), entry->d_name,
                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
    (void)::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
  }
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
// Smallest buffer: a file that says it is empty (as files under /proc do) is not read byte by byte.
constexpr std::size_t kSmallestReadChunkBytes = 4 * 1024;
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
// The buffer is as large as the file said it was, plus one byte to see its end at once, within
// kSmallestReadChunkBytes and kReadChunkBytes: a small settings file does not clear 64 KiB.
template <class Consume>
Status readPieces(int fd, const std::string& path, std::size_t size, Consume consume) {
  std::string buffer(std::clamp(size + 1, kSmallestReadChunkBytes, kReadChunkBytes), '\0');
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
  Status s = readPieces(fd.get(), path, size, [&](std::string_view piece) { data.append(piece); });
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
  Status s =
      readPieces(fd.get(), path, size, [&](std::string_view piece) { decoder.feed(piece, text); });
  if (!s) return Result<std::string>::failure(s.message());
  decoder.finish(text);
  return text;
}

bool LineScanner::next(std::string_view& line) {
  const std::size_t n = text_.size();
  if (pos_ >= n) return false;
  // The line ends at the first CR or LF: memchr finds the LF, then a CR before it, so each byte
  // is looked at at most twice however long the text.
  const char* base = text_.data();
  const void* lf = std::memchr(base + pos_, '\n', n - pos_);
  std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - base) : n;
  if (const void* cr = std::memchr(base + pos_, '\r', end - pos_))
    end = static_cast<std::size_t>(static_cast<const char*>(cr) - base);
  line = text_.substr(pos_, end - pos_);
  pos_ = end;
  if (pos_ < n) {
    const bool cr = text_[pos_++] == '\r';
    if (cr && pos_ < n && text_[pos_] == '\n') ++pos_;  // CR LF is one line end, LF CR two
  }
  return true;
}

std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  LineScanner scanner(text);
  std::string_view line;
  while (scanner.next(line)) lines.emplace_back(line);
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
  auto resolved = resolveSaveTarget(path);
  if (!resolved) return Status::failure(resolved.message());
  target_ = std::move(resolved).value();
  folder_ = folderOf(target_);
  const std::string name(fileNameOf(target_));

  // Keep the old file's permissions; a new file gets the usual 0666 less the umask via open().
  struct stat old {};
  bool hadOld = ::stat(target_.c_str(), &old) == 0;
  if (hadOld && !S_ISREG(old.st_mode)) return Status::failure(errorText(target_, EISDIR));

  const std::string stem = temporaryStem(folder_, name);
  removeLeftovers(folder_, stem);
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    std::string temp = folder_ + "/." + stem + "." + std::to_string(::getpid()) + "." +
                       std::to_string(tempCounter.fetch_add(1)) + kTempSuffix;
    fd_ = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temp_ = temp;
    } else if (errno != EEXIST) {
      return Status::failure(errorText(target_, errno));
    }
  }
  if (fd_ < 0) return Status::failure(errorText(target_, EEXIST));
  // The lock tells a later save that this file is still being written. Where the file system
  // has no locks the file is simply never taken for a leftover.
  (void)::flock(fd_, LOCK_EX | LOCK_NB);
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

std::string_view fileNameOf(std::string_view path) {
  auto slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool hasFileName(std::string_view path) {
  // An empty name, a trailing "/", "." and ".." name folders, never a file to write.
  std::string_view name = fileNameOf(path);
  return !name.empty() && name != "." && name != "..";
}

Result<std::string> resolveSaveTarget(const std::string& path) {
  using R = Result<std::string>;
  if (path.empty()) return R::failure("empty file name");
  if (!hasFileName(path)) return R::failure(errorText(path, EISDIR));
  std::string current = path;
  for (int hop = 0;; ++hop) {
    struct stat st {};
    // Whatever is not a link (or cannot be looked at) is the target; writing it tells the rest.
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    if (hop == kMaxLinkHops) return R::failure(errorText(path, ELOOP));
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(current.c_str(), buf, sizeof buf);
    if (n < 0) return R::failure(errorText(current, errno));
    if (n == 0 || static_cast<std::size_t>(n) == sizeof buf)
      return R::failure(errorText(current, n == 0 ? ENOENT : ENAMETOOLONG));
    std::string next(buf, static_cast<std::size_t>(n));
    if (next.front() != '/') {
      const std::string folder = folderOf(current);
      next = (folder == "/" ? "" : folder) + "/" + next;
    }
    if (!hasFileName(next)) return R::failure(errorText(next, EISDIR));
    current = std::move(next);
  }
}

Status probeWritable(const std::string& path) {
  auto resolved = resolveSaveTarget(path);
  if (!resolved) return Status::failure(resolved.message());
  const std::string& target = resolved.value();
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
