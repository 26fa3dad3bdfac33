// pvrj-board end to end: spawned as a process, talked to over its pseudo-terminal with termios.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "board/BoardCommands.h"
#include "board/BoardMemory.h"
#include "support/ChildProcess.h"
#include "tests/board/BoardTestUtil.h"

extern char** environ;

namespace pvrj::board::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStartDeadline = std::chrono::seconds(10);
constexpr auto kExitDeadline = std::chrono::seconds(10);
constexpr int kReplyTimeoutMs = 1000;
constexpr auto kExitPollStep = std::chrono::milliseconds(5);

int remainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<std::int64_t>(0, left.count()));
}

// One pvrj-board process with its stdout, killed at the end of the test if still running.
class BoardProcess {
 public:
  BoardProcess(const std::vector<std::string>& args, const std::string& settingsDir) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> all{PVRJ_BOARD_EXE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::setenv("PVRJ_SETTINGS_DIR", settingsDir.c_str(), 1);
    if (posix_spawn(&pid_, PVRJ_BOARD_EXE, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    out_ = out[0];
  }
  ~BoardProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }
  // The first line the board prints: its device path ("" if none came in time).
  std::string readLine() {
    std::string line;
    const auto deadline = Clock::now() + kStartDeadline;
    char c;
    for (;;) {
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, remainingMs(deadline)) <= 0) return {};
      if (::read(out_, &c, 1) != 1) return {};
      if (c == '\n') return line;
      line.push_back(c);
    }
  }
  void signal(int sig) { ::kill(pid_, sig); }
  // The exit status, or -1 if the process did not end before the deadline.
  int waitExit() {
    const auto deadline = Clock::now() + kExitDeadline;
    while (Clock::now() < deadline) {
      int status = 0;
      const pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(kExitPollStep);
    }
    return -1;
  }
  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  bool exited_ = false;
};

// The PC side: the device opened raw with plain termios.
class Device {
 public:
  explicit Device(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios t{};
    ::tcgetattr(fd_, &t);
    cfmakeraw(&t);
    ::tcsetattr(fd_, TCSANOW, &t);
  }
  ~Device() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  void write(const Bytes& b) { ASSERT_EQ(::write(fd_, b.data(), b.size()), ssize_t(b.size())); }
  // Reads up to count bytes within timeoutMs; stops early on a hang-up.
  Bytes read(std::size_t count, int timeoutMs = kReplyTimeoutMs) {
    Bytes out;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count) {
      pollfd p{fd_, POLLIN, 0};
      const int r = ::poll(&p, 1, remainingMs(deadline));
      if (r <= 0) break;
      std::uint8_t buf[256];
      const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - out.size()));
      if (n <= 0) {
        hungUp_ = (n == 0) || errno == EIO;
        if (hungUp_ || (p.revents & POLLHUP)) break;
        continue;
      }
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }
  void purge() { ::tcflush(fd_, TCIFLUSH); }
  // Handshake, request, reply: one attempt as the PC makes it.
  Reply exchange(const Bytes& packet, std::size_t replyLength) {
    Reply r;
    purge();
    write({kHandshakeByte});
    r.handshake = read(1).size() == 1;
    if (!r.handshake) return r;
    purge();
    write(withChecksum(packet));
    r.bytes = replyLength ? read(replyLength) : Bytes{};
    return r;
  }
  bool hungUp() const { return hungUp_; }

 private:
  int fd_ = -1;
  bool hungUp_ = false;
};

class PtyBoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::path(::testing::TempDir()) /
          ("pty_board_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    ASSERT_EQ(::access(PVRJ_BOARD_EXE, X_OK), 0) << "missing " << PVRJ_BOARD_EXE;
    const int probe = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (probe < 0) GTEST_SKIP() << "no pseudo-terminals here";
    ::close(probe);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::filesystem::path dir;
};

TEST_F(PtyBoardTest, ServesCommandsAndRemovesItsLinkOnSigterm) {
  BoardProcess board({"--com", "9"}, dir.string());
  ASSERT_TRUE(board.started());
  const std::string device = board.readLine();
  ASSERT_FALSE(device.empty());
  const auto link = dir / "ports" / "COM9";
  ASSERT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), device);
  {
    Device pc(link.string());
    ASSERT_TRUE(pc.ok());
    EXPECT_EQ(pc.exchange({0xF1, 0x00}, 3).bytes, (Bytes{0x00, 0x00, 0x00}));
    // The exact requests of stop, play S2 and a table read.
    EXPECT_EQ(withChecksum({0xF3, 0x01, 0xFF, 0xFF, 0xFF}),
              (Bytes{0xF3, 0x01, 0xFF, 0xFF, 0xFF, 0xF1}));
    EXPECT_EQ(pc.exchange({0xF3, 0x01, 0xFF, 0xFF, 0xFF}, 1).bytes, Bytes{kAckByte});
    EXPECT_EQ(pc.exchange({0xF4, 0x05, 0x51}, 1).bytes, Bytes{kAckByte});
    Reply entry = pc.exchange({0xF5, 0x00}, 43);
    ASSERT_EQ(entry.bytes.size(), 43u);
    EXPECT_EQ(dataOf(entry, 42)[4], 0xFF);
    Reply info = pc.exchange({0xFF}, 65);
    EXPECT_EQ(dataOf(info, 64).size(), 64u);
    // A carriage return inside a request is data, not a handshake: nothing was translated.
    EXPECT_TRUE(acked(pc.exchange({0xEC, 0x01, 0x0D, 0x0D, 0x0D}, 1)));
    EXPECT_EQ(dataOf(pc.exchange({0xEB}, 4), 3), (Bytes{0x0D, 0x0D, 0x0D}));
  }
  board.signal(SIGTERM);
  EXPECT_EQ(board.waitExit(), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST_F(PtyBoardTest, KeepsServingWhenThePortIsClosedAndReopened) {
  BoardProcess board({"--device-only"}, dir.string());
  const std::string device = board.readLine();
  ASSERT_FALSE(device.empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "ports"));
  for (int round = 0; round < 3; ++round) {
    Device pc(device);
    ASSERT_TRUE(pc.ok());
    EXPECT_TRUE(acked(pc.exchange({0xF2, 0x01, 0x00, static_cast<std::uint8_t>(round)}, 1)));
    EXPECT_EQ(dataOf(pc.exchange({0xF1, 0x00}, 3), 2),
              (Bytes{0x00, static_cast<std::uint8_t>(round)}));
  }
  board.signal(SIGINT);
  EXPECT_EQ(board.waitExit(), 0);
}

TEST_F(PtyBoardTest, StateFileKeepsTheMemoryBetweenRuns) {
  const std::string state = (dir / "board.state").string();
  Bytes entry(42, 0);
  entry[0] = 2;
  entry[10] = 'w';
  {
    BoardProcess board({"--device-only", "--state", state}, dir.string());
    Device pc(board.readLine());
    ASSERT_TRUE(pc.ok());
    Bytes req{0xF6, 0x01, 5};
    req.insert(req.end(), entry.begin(), entry.end());
    ASSERT_TRUE(acked(pc.exchange(req, 1)));
    board.signal(SIGTERM);
    ASSERT_EQ(board.waitExit(), 0);
  }
  ASSERT_TRUE(std::filesystem::exists(state));
  BoardProcess board({"--device-only", "--state", state}, dir.string());
  Device pc(board.readLine());
  ASSERT_TRUE(pc.ok());
  EXPECT_EQ(dataOf(pc.exchange({0xF5, 5}, 43), 42), entry);
  board.signal(SIGTERM);
  EXPECT_EQ(board.waitExit(), 0);
}

TEST_F(PtyBoardTest, StateIsSavedSoonAfterAChangeAndSighupPowerCycles) {
  const std::string state = (dir / "board.state").string();
  {
    BoardProcess board({"--device-only", "--state", state}, dir.string());
    Device pc(board.readLine());
    ASSERT_TRUE(pc.ok());
    ASSERT_TRUE(acked(pc.exchange({0xF2, 0x03, 0x40, 0x00}, 1)));  // stored: servo-bus mode
    EXPECT_EQ(dataOf(pc.exchange({0xF1, 0x00}, 3), 2), (Bytes{0x00, 0x00}));
    board.signal(SIGHUP);
    Bytes working;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (working != Bytes{0x40, 0x00} && Clock::now() < deadline) {
      working = dataOf(pc.exchange({0xF1, 0x00}, 3), 2);
    }
    EXPECT_EQ(working, (Bytes{0x40, 0x00}));
    // The state reaches the file without an orderly end.
    const auto saveDeadline = Clock::now() + std::chrono::seconds(5);
    while (!std::filesystem::exists(state) && Clock::now() < saveDeadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    board.signal(SIGKILL);
    board.waitExit();
  }
  Result<BoardMemory> m = loadMemory(state);
  ASSERT_TRUE(m.ok()) << m.message();
  EXPECT_EQ(m.value().stored.options, 0x4000);
}

TEST_F(PtyBoardTest, DamagedStateFileAndBadOptionsAreRefused) {
  const std::string state = (dir / "bad.state").string();
  std::ofstream(state) << "not a state file";
  BoardProcess damaged({"--device-only", "--state", state}, dir.string());
  EXPECT_EQ(damaged.readLine(), "");
  EXPECT_EQ(damaged.waitExit(), 1);
  std::ifstream in(state);
  std::string kept((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(kept, "not a state file");  // left as it was

  BoardProcess none({}, dir.string());
  EXPECT_EQ(none.waitExit(), 2);
  BoardProcess badCom({"--com", "x"}, dir.string());
  EXPECT_EQ(badCom.waitExit(), 2);
  BoardProcess badFault({"--device-only", "--fault", "1:explode"}, dir.string());
  EXPECT_EQ(badFault.waitExit(), 2);
}

TEST_F(PtyBoardTest, OptionsThatCannotWorkAreRefusedAtStart) {
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const std::string nowhere = (dir / "no" / "such" / "folder" / "board.state").string();
  for (const Case& k :
       {Case{{"--fault", "1:short:99999999999999999999"}, "1:short:9999"},
        Case{{"--state", nowhere}, nowhere}, Case{{"--state", dir.string() + "/"}, dir.string()}}) {
    std::vector<std::string> argv{PVRJ_BOARD_EXE, "--device-only"};
    argv.insert(argv.end(), k.args.begin(), k.args.end());
    const pvrj::test::ChildResult r = pvrj::test::runProgram(argv);
    EXPECT_EQ(r.exitCode, 2) << k.args.back();
    EXPECT_EQ(r.out, "") << k.args.back();  // no device was offered
    EXPECT_NE(r.err.find(k.says), std::string::npos) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

TEST_F(PtyBoardTest, InjectedFaultsByExchangeNumber) {
  BoardProcess board(
      {"--device-only", "--fault", "1:noanswer", "--fault", "2:short:10", "--fault", "3:checksum"},
      dir.string());
  Device pc(board.readLine());
  ASSERT_TRUE(pc.ok());
  EXPECT_FALSE(pc.exchange({0xF5, 0x00}, 43).handshake);
  EXPECT_EQ(pc.exchange({0xF5, 0x00}, 43).bytes.size(), 10u);
  Reply bad = pc.exchange({0xF5, 0x00}, 43);
  EXPECT_EQ(bad.bytes.size(), 43u);
  EXPECT_TRUE(dataOf(bad, 42).empty());
  EXPECT_EQ(dataOf(pc.exchange({0xF5, 0x00}, 43), 42).size(), 42u);
  board.signal(SIGTERM);
  EXPECT_EQ(board.waitExit(), 0);
}

TEST_F(PtyBoardTest, HangUpMakesTheDeviceVanish) {
  BoardProcess board({"--com", "4", "--fault", "2:hangup"}, dir.string());
  Device pc(board.readLine());
  ASSERT_TRUE(pc.ok());
  EXPECT_TRUE(pc.exchange({0xF1, 0x00}, 3).handshake);
  EXPECT_FALSE(pc.exchange({0xF1, 0x00}, 3).handshake);
  EXPECT_EQ(board.waitExit(), 0);
  pc.read(1, 200);
  EXPECT_TRUE(pc.hungUp());
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "ports" / "COM4")));
}

TEST_F(PtyBoardTest, StreamsArriveBetweenExchanges) {
  BoardProcess board({"--device-only"}, dir.string());
  Device pc(board.readLine());
  ASSERT_TRUE(pc.ok());
  ASSERT_TRUE(acked(pc.exchange({0xF2, 0x01, 0x01, 0x04}, 1)));  // analog and receiver streams
  const Bytes got = pc.read(3 * (10 + 9), 2000);
  int analog = 0, receiver = 0;
  for (std::uint8_t b : got) {
    analog += b == 0xFE;
    receiver += b == 0xFD;
  }
  EXPECT_GE(analog, 2);
  EXPECT_GE(receiver, 2);
  // Exchanges in a burst get their own clean replies: the board holds its reports back while
  // the PC talks. (The first may still meet a report already under way, as with a real board.)
  pc.exchange({0xF1, 0x00}, 3);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(dataOf(pc.exchange({0xF1, 0x00}, 3), 2), (Bytes{0x01, 0x04})) << i;
  }
  ASSERT_TRUE(acked(pc.exchange({0xF2, 0x01, 0x00, 0x00}, 1)));
  pc.read(64, 100);  // a report already on its way
  EXPECT_TRUE(pc.read(1, 300).empty());
  board.signal(SIGTERM);
  EXPECT_EQ(board.waitExit(), 0);
}

TEST_F(PtyBoardTest, StreamsFromTheStartWhenAsked) {
  BoardProcess board({"--device-only", "--streams"}, dir.string());
  Device pc(board.readLine());
  ASSERT_TRUE(pc.ok());
  const Bytes got = pc.read(3 * (10 + 9), 2000);
  EXPECT_GE(std::count(got.begin(), got.end(), 0xFE), 2);
  EXPECT_GE(std::count(got.begin(), got.end(), 0xFD), 2);
  // The working option word says so, as after the PC switched them on. (The first exchange
  // may meet a report already under way.)
  pc.exchange({0xF1, 0x00}, 3);
  EXPECT_EQ(dataOf(pc.exchange({0xF1, 0x00}, 3), 2), (Bytes{0x01, 0x04}));
  board.signal(SIGTERM);
  EXPECT_EQ(board.waitExit(), 0);
}

TEST_F(PtyBoardTest, PacedBoardTakesTheWireTime) {
  BoardProcess board({"--device-only", "--pace"}, dir.string());
  Device pc(board.readLine());
  ASSERT_TRUE(pc.ok());
  const auto start = Clock::now();
  constexpr int kRounds = 5;
  for (int i = 0; i < kRounds; ++i) {
    ASSERT_EQ(dataOf(pc.exchange({0xFF}, 65), 64).size(), 64u);
  }
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  // Handshake both ways, 2 request bytes and 65 reply bytes at 87 us each.
  EXPECT_GE(took.count(), kRounds * (2 + 2 + 65) * 87);
}

}  // namespace
}  // namespace pvrj::board::test
