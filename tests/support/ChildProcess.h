// Child processes for end-to-end tests: pvrj-board behind its pseudo-terminal and pvrj-cli runs,
// every wait bounded by a deadline so a test can never hang.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace pvrj::test {

inline constexpr std::chrono::milliseconds kChildStartDeadline{10000};
inline constexpr std::chrono::milliseconds kChildRunDeadline{20000};
inline constexpr std::chrono::milliseconds kChildStopDeadline{3000};
inline constexpr std::chrono::milliseconds kChildPollStep{10};

// False where the system gives out no pseudo-terminals (some containers); tests that need one
// skip there.
inline bool pseudoTerminalsAvailable() {
  const int probe = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (probe < 0) return false;
  ::close(probe);
  return true;
}

struct ChildResult {
  int exitCode = -1;  // -1 when it had to be killed or did not exit normally
  std::string out;
  std::string err;
};

namespace detail {

// Reads whatever the descriptors have until both close or the deadline passes.
inline bool drain(int outFd, int errFd, std::string& out, std::string& err,
                  std::chrono::steady_clock::time_point deadline) {
  bool outOpen = outFd >= 0, errOpen = errFd >= 0;
  char buf[4096];
  while (outOpen || errOpen) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fds[2] = {{outOpen ? outFd : -1, POLLIN, 0}, {errOpen ? errFd : -1, POLLIN, 0}};
    if (::poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? out : err).append(buf, static_cast<std::size_t>(n));
      } else {
        (i == 0 ? outOpen : errOpen) = false;
      }
    }
  }
  return true;
}

// Waits for the child until the deadline, then kills it.
inline int reap(pid_t pid, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    ::poll(nullptr, 0, static_cast<int>(kChildPollStep.count()));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Starts argv with stdout and stderr on pipes; env entries are added to the environment.
inline pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   int& outFd, int& errFd) {
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return -1;
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
  envStrings.insert(envStrings.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  outFd = outPipe[0];
  errFd = errPipe[0];
  return pid;
}

}  // namespace detail

// Runs a program to its end (killed after kChildRunDeadline) and collects what it printed.
inline ChildResult runProgram(const std::vector<std::string>& argv,
                              const std::vector<std::string>& env = {}) {
  ChildResult result;
  int outFd = -1, errFd = -1;
  pid_t pid = detail::spawn(argv, env, outFd, errFd);
  if (pid < 0) return result;
  detail::drain(outFd, errFd, result.out, result.err,
                std::chrono::steady_clock::now() + kChildRunDeadline);
  ::close(outFd);
  ::close(errFd);
  result.exitCode = detail::reap(pid, kChildStopDeadline);
  return result;
}

// pvrj-board on a pseudo-terminal with a state file of its own, stopped when this goes away.
class BoardProcess {
 public:
  explicit BoardProcess(std::vector<std::string> extraArgs = {},
                        std::vector<std::string> env = {}) {
    char dir[] = "/tmp/pvrj-e2e-XXXXXX";
    if (::mkdtemp(dir) == nullptr) return;
    dir_ = dir;
    std::vector<std::string> argv{PVRJ_BOARD_EXE, "--state", dir_ + "/board.state"};
    if (extraArgs.empty() || extraArgs[0] != "--com") {
      argv.push_back("--device-only");
    } else {
      // The COMn link goes into this test's own settings folder.
      env.push_back(settingsVariable());
    }
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    pid_ = detail::spawn(argv, env, outFd_, errFd_);
    if (pid_ < 0) return;
    // The first line on stdout is the device path.
    auto deadline = std::chrono::steady_clock::now() + kChildStartDeadline;
    std::string out;
    char c;
    while (out.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{outFd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(kChildPollStep.count())) <= 0) continue;
      if (::read(outFd_, &c, 1) != 1) break;
      out.push_back(c);
    }
    if (auto nl = out.find('\n'); nl != std::string::npos) device_ = out.substr(0, nl);
  }
  ~BoardProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      detail::reap(pid_, kChildStopDeadline);
    }
    if (outFd_ >= 0) ::close(outFd_);
    if (errFd_ >= 0) ::close(errFd_);
    if (!dir_.empty()) {
      ::unlink((dir_ + "/board.state").c_str());
      ::rmdir((dir_ + "/ports").c_str());
      ::rmdir(dir_.c_str());
    }
  }
  BoardProcess(const BoardProcess&) = delete;
  BoardProcess& operator=(const BoardProcess&) = delete;

  // The pseudo-terminal's path; empty when the board did not start.
  const std::string& device() const { return device_; }
  // Sends the board a signal (SIGHUP switches it off and on).
  void signal(int sig) {
    if (pid_ > 0) ::kill(pid_, sig);
  }
  const std::string& folder() const { return dir_; }
  // The process, for a test that pulls the plug with a signal of its own.
  pid_t pid() const { return pid_; }
  // The environment entry that points a program at this board's settings folder.
  std::string settingsVariable() const { return "PVRJ_SETTINGS_DIR=" + dir_; }

 private:
  std::string dir_;
  std::string device_;
  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
};

}  // namespace pvrj::test
