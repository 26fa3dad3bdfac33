// pvrj-cli doctor on what can be made here: a link to nothing, a regular file, a device the user
// may not open, a port another program holds, and pseudo-terminal boards that answer or do not.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/FileIo.h"
#include "serial/PtyPair.h"
#include "support/ChildProcess.h"
#include "support/TempFolderTest.h"

extern char** environ;

namespace pvrj {
namespace {

namespace fs = std::filesystem;
using test::ChildResult;
constexpr auto kHolderDeadline = std::chrono::seconds(10);
constexpr auto kHolderPoll = std::chrono::milliseconds(10);
constexpr uid_t kNobody = 65534;
constexpr int kCannotDrop = 99;

class DoctorCliTest : public test::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    fs::create_directories(dir / "ports");
  }
  ChildResult doctor(const std::string& port) {
    return test::runProgram({PVRJ_CLI_EXE, "--port", port, "doctor"},
                            {"PVRJ_SETTINGS_DIR=" + dir.string()});
  }
  static bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
};

TEST_F(DoctorCliTest, LinkToNothing) {
  fs::create_symlink(dir / "gone", dir / "ports/COM7");
  ChildResult r = doctor("COM7");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.out.starts_with("name     FAIL COM7 -> " + path("ports/COM7") + " -> " +
                                path("gone") + ", which does not exist"))
      << r.out;
  EXPECT_TRUE(has(r.out, "board    --   not checked")) << r.out;
}

TEST_F(DoctorCliTest, RegularFile) {
  ASSERT_TRUE(writeTextFile(path("file"), "x"));
  ChildResult r = doctor(path("file"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(
      has(r.out, "device   FAIL " + path("file") + " is a regular file, not a serial device"))
      << r.out;
}

TEST_F(DoctorCliTest, DeviceWithoutPermission) {
  test::PtyPair pty;
  if (!pty.ok()) GTEST_SKIP() << "no pseudo-terminals here";
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(pty.device().c_str(), 0), 0);  // even its owner may not open it
    ChildResult r = doctor(pty.device());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(has(r.out, "access   FAIL permission denied")) << r.out;
    return;
  }
  // As root, the command runs as nobody, for whom the root-owned device is closed.
  ASSERT_EQ(::chmod(pty.device().c_str(), 0600), 0);
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
      ::_exit(kCannotDrop);
    ::setenv("PVRJ_SETTINGS_DIR", "/nonexistent", 1);
    const std::string port = pty.device();
    char* argv[] = {const_cast<char*>(PVRJ_CLI_EXE), const_cast<char*>("--port"),
                    const_cast<char*>(port.c_str()), const_cast<char*>("doctor"), nullptr};
    ::execve(PVRJ_CLI_EXE, argv, environ);
    ::_exit(127);
  }
  ::close(out[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kCannotDrop) GTEST_SKIP() << "cannot drop root's privileges here";
  EXPECT_EQ(WEXITSTATUS(status), 1) << text;
  EXPECT_TRUE(has(text,
                  "access   FAIL permission denied (group root, mode 0600): nobody is not "
                  "in root"))
      << text;
}

TEST_F(DoctorCliTest, PortHeldByAnotherProgramIsNamed) {
  test::BoardProcess board;
  ASSERT_FALSE(board.device().empty());
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, board.device().c_str(), O_RDWR | O_NOCTTY, 0);
  char sleepPath[] = "/bin/sleep";
  char seconds[] = "30";
  char* argv[] = {sleepPath, seconds, nullptr};
  pid_t holder = -1;
  ASSERT_EQ(::posix_spawn(&holder, sleepPath, &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  const auto deadline = std::chrono::steady_clock::now() + kHolderDeadline;
  const std::string fd0 = "/proc/" + std::to_string(holder) + "/fd/0";
  std::error_code ec;
  while (fs::read_symlink(fd0, ec) != board.device() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(kHolderPoll);
  ChildResult r = doctor(board.device());
  ::kill(holder, SIGTERM);
  ::waitpid(holder, nullptr, 0);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(has(r.out, "in use   FAIL held by sleep (pid " + std::to_string(holder) + ")"))
      << r.out;
}

TEST_F(DoctorCliTest, BoardThatAnswers) {
  test::BoardProcess board({"--com", "3"});
  ASSERT_FALSE(board.device().empty());
  ChildResult r =
      test::runProgram({PVRJ_CLI_EXE, "--port", "COM3", "doctor"}, {board.settingsVariable()});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_TRUE(r.out.starts_with("name     ok   COM3 -> " + board.folder() + "/ports/COM3 -> " +
                                board.device() + "\n"))
      << r.out;
  EXPECT_TRUE(has(r.out, "\nin use   ok   no other program has it open\n")) << r.out;
  EXPECT_TRUE(has(r.out, "\nboard    ok   answers: ")) << r.out;
  EXPECT_FALSE(has(r.out, "FAIL")) << r.out;
}

TEST_F(DoctorCliTest, BoardThatDoesNotAnswer) {
  test::PtyPair silent;  // nobody reads the other end
  if (!silent.ok()) GTEST_SKIP() << "no pseudo-terminals here";
  ChildResult r = doctor(silent.device());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(has(r.out,
                  "\nboard    FAIL no answer: CmdReadBoardInfo: "
                  "ボードがハンドシェイクに応答しません"))
      << r.out;
}

}  // namespace
}  // namespace pvrj
