// What the fuzz targets share: taking typed values from the fuzz input, a file in memory that the
// readers open by path, a user interface that answers every question, and the checks that end a
// run with a finding.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "common/UserInterface.h"

namespace pvrj::fuzz {

// A broken promise of the code under test: printed and turned into a crash, so that libFuzzer
// keeps the input and the replay test fails on it.
[[noreturn]] inline void finding(const char* what, const char* file, int line) {
  std::fprintf(stderr, "fuzz finding at %s:%d: %s\n", file, line, what);
  std::abort();
}
#define PVRJ_FUZZ_CHECK(condition)                                           \
  do {                                                                       \
    if (!(condition)) ::pvrj::fuzz::finding(#condition, __FILE__, __LINE__); \
  } while (false)

// Prints where two texts first differ, before a check on them fails.
inline void explainDifference(const std::string& a, const std::string& b) {
  std::size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  const std::size_t from = at < 80 ? 0 : at - 80;
  std::fprintf(stderr, "first difference at byte %zu:\n--- one\n%s\n--- other\n%s\n", at,
               a.substr(from, 160).c_str(), b.substr(from, 160).c_str());
}

// Typed values taken from the front of the input; an input used up gives zeros.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return pos_ >= size_; }
  std::size_t remaining() const { return size_ - pos_; }

  std::uint8_t byte() { return empty() ? 0 : data_[pos_++]; }
  std::uint16_t word() {
    const std::uint16_t high = byte();
    return static_cast<std::uint16_t>(high << 8 | byte());
  }
  bool flag() { return (byte() & 1) != 0; }
  // A value from lo to hi (both inclusive; hi - lo below 65536).
  int inRange(int lo, int hi) {
    const unsigned span = static_cast<unsigned>(hi - lo) + 1;
    const unsigned raw = span <= 256 ? byte() : word();
    return lo + static_cast<int>(raw % span);
  }
  // Up to n bytes.
  std::span<const std::uint8_t> bytes(std::size_t n) {
    const std::size_t take = n < remaining() ? n : remaining();
    std::span<const std::uint8_t> out(data_ + pos_, take);
    pos_ += take;
    return out;
  }
  std::span<const std::uint8_t> rest() { return bytes(remaining()); }
  std::string text(std::size_t n) {
    auto b = bytes(n);
    return std::string(b.begin(), b.end());
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// A file that lives in memory (memfd) and is reached by a path, so a reader that opens a path
// takes the same road as with a file on disk, without a disk write per input.
class MemoryFile {
 public:
  MemoryFile() {
    fd_ = ::memfd_create("pvrj-fuzz", MFD_CLOEXEC);
    if (fd_ < 0) {
      std::perror("memfd_create");
      std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { ::close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Makes the file hold exactly these bytes and returns its path.
  const std::string& hold(std::string_view bytes) {
    if (::ftruncate(fd_, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n =
          ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
    return path_;
  }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// Answers every question with the given result (OK or Yes by default) and every prompt with
// promptIndex; remembers how many messages and statuses were shown.
class QuietUserInterface : public UserInterface {
 public:
  int answer = 0;  // 0: the first button's OK or Yes
  int promptIndex = -1;
  bool promptAccepted = true;
  int messages = 0;
  int statuses = 0;
  std::string lastStatus;

  int ShowMessageBox(int, int buttons, const std::string&) override {
    ++messages;
    if (answer != 0) return answer;
    return buttons == kBtnYesNo || buttons == kBtnYesNoCancel ? kIdYes : kIdOk;
  }
  bool NumberPrompt(Prompt& prompt) override {
    if (!promptAccepted) return false;
    prompt.PromptIndex = promptIndex;
    return true;
  }
  void showStatus(const std::string& message) override {
    ++statuses;
    lastStatus = message;
  }
  void setBusy(bool) override {}
  void setBoardState(const std::string&) override {}
  void processEvents() override {}
};

}  // namespace pvrj::fuzz
