// The serial self-check on what can be made here: links, files, pseudo-terminals, a device the
// user may not open, a device another program holds, and an adapter described by a sysfs tree.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/FileIo.h"
#include "protocol/PortCheck.h"
#include "serial/PtyPair.h"
#include "support/TempFolderTest.h"

extern char** environ;

namespace pvrj {
namespace {

namespace fs = std::filesystem;
constexpr auto kHolderDeadline = std::chrono::seconds(10);
constexpr auto kHolderPoll = std::chrono::milliseconds(10);
constexpr uid_t kNobody = 65534;

class PortCheckTest : public test::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    const char* old = std::getenv("PVRJ_SETTINGS_DIR");
    saved_ = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("PVRJ_SETTINGS_DIR", dir.c_str(), 1);
    fs::create_directories(dir / "ports");
  }
  void TearDown() override {
    if (saved_)
      ::setenv("PVRJ_SETTINGS_DIR", saved_->c_str(), 1);
    else
      ::unsetenv("PVRJ_SETTINGS_DIR");
    TempFolderTest::TearDown();
  }
  void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
  }
  std::optional<std::string> saved_;
};

const DoctorLine* lineOf(const std::vector<DoctorLine>& lines, const std::string& check) {
  for (const DoctorLine& l : lines)
    if (l.check == check) return &l;
  return nullptr;
}

TEST_F(PortCheckTest, LinkToNothingNamesTheLinkAndItsFix) {
  fs::create_symlink(dir / "gone", dir / "ports/COM7");
  const PortFacts f = examinePort("COM7");
  EXPECT_EQ(f.problem, PortProblem::kMissingLink);
  EXPECT_EQ(f.linkPath, path("ports/COM7"));
  EXPECT_EQ(f.linkTarget, path("gone"));
  EXPECT_EQ(portProblemText(f), "ポートのリンク " + path("ports/COM7") + " の先 " + path("gone") +
                                    " がありません。アダプタを差し込むか、リンクを付け替えてく"
                                    "ださい: ln -sfn /dev/ttyUSBn " +
                                    path("ports/COM7") +
                                    "(アダプタは ls /dev/serial/by-id で分かります)");
  const auto lines = doctorLines(f);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].mark, DoctorLine::kFail);
  EXPECT_NE(lines[0].text.find("which does not exist"), std::string::npos);
}

TEST_F(PortCheckTest, NoLinkAndNoDeviceSaysWhereTheLinkGoes) {
  const PortFacts f = examinePort("COM19");
  EXPECT_EQ(f.problem, PortProblem::kMissingDevice);
  EXPECT_EQ(f.device, "/dev/ttyS18");
  EXPECT_NE(portProblemText(f).find("ln -sfn /dev/ttyUSBn " + path("ports/COM19")),
            std::string::npos)
      << portProblemText(f);
  EXPECT_EQ(examinePort("ttyUSB0").problem, PortProblem::kNoName);
}

TEST_F(PortCheckTest, RegularFileIsNoSerialDevice) {
  ASSERT_TRUE(writeTextFile(path("file"), "x"));
  fs::create_symlink(dir / "file", dir / "ports/COM2");
  const PortFacts f = examinePort("COM2");
  EXPECT_EQ(f.problem, PortProblem::kNotTerminal);
  EXPECT_EQ(f.kind, "regular file");
  EXPECT_EQ(portProblemText(f), path("ports/COM2") +
                                    " はシリアルポートではありません(regular file)。リンク " +
                                    path("ports/COM2") + " の先を確かめてください");
  EXPECT_EQ(lineOf(doctorLines(f), "device")->mark, DoctorLine::kFail);
}

TEST_F(PortCheckTest, PseudoTerminalIsUsable) {
  test::PtyPair pty;
  if (!pty.ok()) GTEST_SKIP() << "no pseudo-terminals here";
  fs::create_symlink(pty.device(), dir / "ports/COM4");
  const PortFacts f = examinePort("COM4");
  EXPECT_EQ(f.problem, PortProblem::kNone) << portProblemText(f);
  EXPECT_EQ(f.resolved, pty.device());
  EXPECT_EQ(portProblemText(f), "");
  for (const DoctorLine& line : doctorLines(f))
    EXPECT_NE(line.mark, DoctorLine::kFail) << line.check << ": " << line.text;
}

TEST_F(PortCheckTest, DeviceTheUserMayNotOpen) {
  test::PtyPair pty;
  if (!pty.ok()) GTEST_SKIP() << "no pseudo-terminals here";
  ASSERT_EQ(::chmod(pty.device().c_str(), 0600), 0);
  // The check runs in a child with the rights of an ordinary user: as root it drops them to
  // nobody's; as a user, the device is made unreadable for its owner too.
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const bool root = ::geteuid() == 0;
  if (!root) {
    ASSERT_EQ(::chmod(pty.device().c_str(), 0), 0);
  }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(out[0]);
    if (root && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
      ::_exit(3);
    const PortFacts f = examinePort(pty.device());
    const std::string report = std::to_string(static_cast<int>(f.problem)) + "\n" +
                               portProblemText(f) + "\n" + doctorLines(f)[2].text;
    [[maybe_unused]] ssize_t n = ::write(out[1], report.data(), report.size());
    ::_exit(0);
  }
  ::close(out[1]);
  std::string report;
  char buffer[512];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
    report.append(buffer, static_cast<std::size_t>(n));
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot drop privileges";
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(report.starts_with(std::to_string(static_cast<int>(PortProblem::kPermission)) + "\n"))
      << report;
  EXPECT_NE(report.find(pty.device() + " を開く権限がありません(グループ "), std::string::npos)
      << report;
  EXPECT_NE(report.find("sudo usermod -aG "), std::string::npos) << report;
  EXPECT_NE(report.find("permission denied"), std::string::npos) << report;
}

TEST(PortProblemText, GroupGivenButNotYetInThisLogin) {
  PortFacts f;
  f.name = f.device = f.resolved = "/dev/ttyUSB0";
  f.kind = "character device";
  f.problem = PortProblem::kPermission;
  f.group = "dialout";
  f.mode = 0660;
  f.user = "hana";
  f.userInGroup = true;
  f.loginHasGroup = false;
  EXPECT_EQ(portProblemText(f),
            "/dev/ttyUSB0 を開く権限がありません(グループ dialout、0660)。ユーザー hana は "
            "dialout に入っていますが、このログインにはまだ効いていません。ログインし直してくだ"
            "さい");
  EXPECT_EQ(lineOf(doctorLines(f), "access")->text,
            "permission denied (group dialout, mode 0660): hana is in dialout but this login is "
            "not yet: log out and in again (or run: newgrp dialout)");
}

TEST_F(PortCheckTest, ProgramHoldingTheDeviceIsNamed) {
  test::PtyPair pty;
  if (!pty.ok()) GTEST_SKIP() << "no pseudo-terminals here";
  // sleep, with the device as its input, holds it the way a terminal program would.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, pty.device().c_str(), O_RDWR | O_NOCTTY, 0);
  char sleepPath[] = "/bin/sleep";
  char seconds[] = "30";
  char* argv[] = {sleepPath, seconds, nullptr};
  pid_t holder = -1;
  ASSERT_EQ(::posix_spawn(&holder, sleepPath, &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  // Wait until it has the device open.
  const auto deadline = std::chrono::steady_clock::now() + kHolderDeadline;
  const std::string fd0 = "/proc/" + std::to_string(holder) + "/fd/0";
  std::error_code ec;
  while (fs::read_symlink(fd0, ec) != pty.device() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(kHolderPoll);
  const PortFacts f = examinePort(pty.device());
  ::kill(holder, SIGTERM);
  ::waitpid(holder, nullptr, 0);
  EXPECT_EQ(f.problem, PortProblem::kBusy);
  EXPECT_EQ(portProblemText(f), pty.device() + " は他のプログラムが使っています: sleep (pid " +
                                    std::to_string(holder) + ")。そのプログラムを終了してください");
  EXPECT_EQ(lineOf(doctorLines(f), "in use")->text,
            "held by sleep (pid " + std::to_string(holder) + "): end it first");
}

TEST_F(PortCheckTest, LockedDeviceIsBusy) {
  test::PtyPair pty;
  if (!pty.ok()) GTEST_SKIP() << "no pseudo-terminals here";
  const int fd = ::open(pty.device().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  const PortFacts f = examinePort(pty.device());
  ::close(fd);
  EXPECT_EQ(f.problem, PortProblem::kBusy);
  EXPECT_TRUE(f.locked);
}

TEST_F(PortCheckTest, AdapterAndModemManagerFromSysfsAndProc) {
  test::PtyPair pty;
  if (!pty.ok()) GTEST_SKIP() << "no pseudo-terminals here";
  // A USB adapter's tree as the kernel lays it out, named after this pseudo-terminal.
  const fs::path sys = dir / "sys";
  const fs::path usb = sys / "devices/pci0/usb1/1-1";
  const fs::path port = usb / "1-1:1.0/ttyUSB0";
  write(usb / "idVendor", "0403");
  write(usb / "idProduct", "6001");
  write(usb / "manufacturer", "FTDI");
  write(usb / "product", "FT232R USB UART");
  write(port / "latency_timer", "16");
  fs::create_directories(sys / "bus/usb-serial/drivers/ftdi_sio");
  fs::create_symlink(sys / "bus/usb-serial/drivers/ftdi_sio", port / "driver");
  const fs::path tty = sys / "class/tty" / fs::path(pty.device()).filename();
  fs::create_directories(tty);
  fs::create_symlink(port, tty / "device");
  write(dir / "proc/4242/comm", "ModemManager");

  const PortFacts f = examinePort(pty.device(), {(dir / "proc").string(), sys.string()});
  EXPECT_EQ(f.problem, PortProblem::kNone);
  EXPECT_TRUE(f.usb);
  EXPECT_TRUE(f.modemManager);
  EXPECT_EQ(f.latencyMs, 16);
  EXPECT_EQ(lineOf(doctorLines(f), "adapter")->text,
            "ftdi_sio, USB 0403:6001 FTDI FT232R USB UART");
  EXPECT_EQ(lineOf(doctorLines(f), "modem")->mark, DoctorLine::kWarn);
  const std::vector<DoctorLine> afterOpening = doctorLines(f, 16);
  const DoctorLine* slow = lineOf(afterOpening, "latency");
  EXPECT_EQ(slow->mark, DoctorLine::kWarn);
  EXPECT_EQ(slow->text,
            "16 ms: low-latency mode did not take, transfers run many times slower: "
            "echo 1 | sudo tee " +
                (fs::canonical(port) / "latency_timer").string());
  EXPECT_EQ(lineOf(doctorLines(f, 1), "latency")->text, "1 ms: low-latency mode took");
  write(port / "latency_timer", "1");
  EXPECT_EQ(readLatencyTimer(f), 1);
}

}  // namespace
}  // namespace pvrj
