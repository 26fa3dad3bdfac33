// Keeping motions safe, end to end: pvrj-cli against pvrj-board on a pseudo-terminal, with the
// board's fault that keeps a stored record or step with one bit changed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "board/BoardMemory.h"
#include "chart/ChartFile.h"
#include "common/FileIo.h"
#include "compiler/BoardImage.h"
#include "compiler/Compile.h"
#include "compiler/Safekeeping.h"
#include "support/ChildProcess.h"
#include "support/FakeUserInterface.h"
#include "support/TempFolderTest.h"

extern char** environ;

namespace pvrj {
namespace {

namespace fs = std::filesystem;
using test::BoardProcess;
using test::ChildResult;
using test::runProgram;

// count POS items from base; compiled: count + 1 records.
Chart poses(int count, int base, const std::string& name) {
  Chart chart;
  for (int i = 0; i < count; ++i) {
    const int item = chart.createItem(kItemPos, 0, 0);
    chart.items[item].PrmByte = static_cast<std::uint8_t>(30 + i);
    for (int ch = 0; ch < kChannelCount; ++ch)
      chart.items[item].PrmWords[ch] = static_cast<std::uint16_t>(base + 40 * i + ch);
    if (i > 0) {
      ChartLink link;
      link.Origin = i - 1;
      link.Final = i;
      chart.links.push_back(link);
    }
  }
  chart.Start = 0;
  chart.Name = name;
  return chart;
}

std::vector<MotionRecord> compiled(const Chart& chart) {
  CompilerState state;
  test::FakeUserInterface quiet;
  EXPECT_TRUE(compileMotion(chart, quiet, state));
  return state.records;
}

// Sets an environment variable for the test's children and puts the old value back afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class SafetyCliTest : public test::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    if (!test::pseudoTerminalsAvailable()) GTEST_SKIP() << "no pseudo-terminals here";
    // The command line's settings and the kept charts live in this test's folder.
    settings_ = std::make_unique<ScopedVariable>("PVRJ_SETTINGS_DIR", dir.string());
    state_ = std::make_unique<ScopedVariable>("XDG_STATE_HOME", path("state"));
    test::FakeUserInterface quiet;
    ASSERT_TRUE(saveChart(poses(3, 2000, "歩く"), path("walk.VLB"), false, quiet));
    ASSERT_TRUE(saveChart(poses(2, 9000, "走る"), path("run.VLB"), false, quiet));
  }
  void TearDown() override {
    settings_.reset();
    state_.reset();
    TempFolderTest::TearDown();
  }
  ChildResult cli(const BoardProcess& board, std::vector<std::string> args) {
    args.insert(args.begin(), {PVRJ_CLI_EXE, "--port", board.device()});
    return runProgram(args);
  }
  static bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

  std::unique_ptr<ScopedVariable> settings_;
  std::unique_ptr<ScopedVariable> state_;
};

// Exchanges of "write walk.VLB M2" on a blank board, as --fault counts them: sleep 1-5, the
// slot's entry 6, the four records 7-10: the third record is exchange 9.
constexpr const char* kThirdRecordSpoiled = "9:corrupt";

TEST_F(SafetyCliTest, CheckedWriteNamesTheRecordAndLeavesTheEntryAlone) {
  BoardProcess board({"--fault", kThirdRecordSpoiled});
  ASSERT_FALSE(board.device().empty());
  ChildResult write = cli(board, {"write", path("walk.VLB"), "M2"});
  EXPECT_EQ(write.exitCode, 1) << write.err;
  EXPECT_TRUE(has(write.err, "書込失敗: 3個目のデータが書き込んだ内容と違います")) << write.err;
  EXPECT_TRUE(has(write.err, "エラー: 書き込んだデータを読み返すと、M2の3個目のデータが"))
      << write.err;
  EXPECT_TRUE(has(write.err, "\r\n書込: ") && has(write.err, "\r\n読込: ")) << write.err;
  EXPECT_FALSE(has(write.err, "ＰＣＴを書き込ました"));
  ChildResult table = cli(board, {"table"});
  EXPECT_TRUE(has(table.out, "M2\t\t0\t--/-- --:--\t65535\n")) << table.out;
}

TEST_F(SafetyCliTest, UncheckedWriteSucceedsAndDiffFindsExactlyTheSpoiledRecord) {
  BoardProcess board({"--fault", kThirdRecordSpoiled});
  ASSERT_FALSE(board.device().empty());
  ChildResult write = cli(board, {"write", "--no-verify", path("walk.VLB"), "M2"});
  EXPECT_EQ(write.exitCode, 0) << write.err;
  EXPECT_TRUE(has(write.err, "書込成功"));
  EXPECT_FALSE(has(write.err, "照合"));

  // The third record's CH24 was stored one lower or higher.
  const std::uint16_t sent = recordWord(compiled(poses(3, 2000, "歩く"))[2], 23);
  const std::string stored = std::to_string(sent ^ 1);
  ChildResult diff = cli(board, {"diff", path("walk.VLB"), "M2"});
  EXPECT_EQ(diff.exitCode, 1) << diff.err;
  EXPECT_EQ(diff.out, "record 3, CH24: " + std::to_string(sent) + " → " + stored + "\n");

  ASSERT_EQ(cli(board, {"write", path("run.VLB"), "M3"}).exitCode, 0);
  ChildResult same = cli(board, {"diff", path("run.VLB"), "M3"});
  EXPECT_EQ(same.exitCode, 0) << same.err;
  EXPECT_EQ(same.out, "");
  EXPECT_EQ(cli(board, {"diff", path("run.VLB"), "S1"}).exitCode, 2);
  EXPECT_EQ(cli(board, {"diff", path("none.VLB"), "M3"}).exitCode, 2);
}

TEST_F(SafetyCliTest, OverwrittenSlotIsKeptAsAnEqualChart) {
  BoardProcess board;
  ASSERT_FALSE(board.device().empty());
  ASSERT_EQ(cli(board, {"write", path("walk.VLB"), "M1"}).exitCode, 0);
  ChildResult over = cli(board, {"write", path("run.VLB"), "M1"});
  ASSERT_EQ(over.exitCode, 0) << over.err;
  const std::string folder = path("state") + "/pivora/overwritten";
  const std::vector<std::string> kept = keptFiles(folder);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(kept[0].ends_with("-M1-歩く.VLB")) << kept[0];
  EXPECT_TRUE(has(over.err, "上書きするM1を保存しました: " + kept[0])) << over.err;
  Chart back;
  ClientArea client;
  test::FakeUserInterface quiet;
  ASSERT_TRUE(openFile(back, client, kept[0], quiet).opened);
  EXPECT_EQ(back.Name, "歩く");
  EXPECT_EQ(compiled(back), compiled(poses(3, 2000, "歩く")));
}

class ImageCliTest : public SafetyCliTest {
 protected:
  // A board whose memory a user has furnished: motions, a scenario and settings.
  std::string furnishedState() {
    board::BoardMemory m;
    m.records.resize(board::kRecordCapacity);
    for (int i = 0; i < 3; ++i) {
      board::Record r{};
      r[0] = static_cast<std::uint8_t>(20 + i);
      r[2] = static_cast<std::uint8_t>(i);
      m.records[static_cast<std::size_t>(4 * board::kRecordsPerSlot + i)] = r;
    }
    m.table[4] = board::blankTableEntry();
    m.table[4][0] = 3;
    m.table[4][10] = 'W';
    m.table[80] = board::blankTableEntry();
    m.table[80][0] = 2;
    m.scenarios[0][0] = 4;
    m.scenarios[0][1] = 4;
    m.stored.trims[0] = 77;
    m.stored.options = 0x0008;
    m.home[5] = 0x4321;
    m.channelNames[0] = {'H', 'E', 'A', 'D'};
    m.alarm = {1, 2, 3};
    const std::string file = path("furnished.state");
    EXPECT_TRUE(board::saveMemory(m, file));
    return file;
  }
  BoardImage load(const std::string& file) {
    Result<BoardImage> image = loadBoardImage(file);
    EXPECT_TRUE(image) << image.message();
    return image ? image.value() : BoardImage{};
  }
};

TEST_F(ImageCliTest, BackupRestoredOntoABlankBoardGivesAnEqualBoard) {
  const std::string first = path("first.img");
  const std::string second = path("second.img");
  {
    BoardProcess furnished({"--state", furnishedState()});
    ASSERT_FALSE(furnished.device().empty());
    ChildResult backup = cli(furnished, {"backup", first});
    ASSERT_EQ(backup.exitCode, 0) << backup.err;
    EXPECT_EQ(backup.out, first + "\n");
  }
  BoardProcess blank;
  ASSERT_FALSE(blank.device().empty());
  ChildResult refused = cli(blank, {"restore", first});  // no --yes: the question says no
  EXPECT_EQ(refused.exitCode, 1);
  ChildResult restore = cli(blank, {"--yes", "restore", first});
  ASSERT_EQ(restore.exitCode, 0) << restore.err;
  EXPECT_TRUE(has(restore.err, "M5を書き戻しました"));
  EXPECT_TRUE(has(restore.err, "ボードイメージを書き戻しました: " + first));
  ASSERT_EQ(cli(blank, {"backup", second}).exitCode, 0);
  EXPECT_TRUE(load(second).sameContents(load(first)));
}

TEST_F(ImageCliTest, SettingsOnlyLeavesTheMotionsUntouched) {
  const std::string image = path("furnished.img");
  {
    BoardProcess furnished({"--state", furnishedState()});
    ASSERT_EQ(cli(furnished, {"backup", image}).exitCode, 0);
  }
  BoardProcess other;
  ASSERT_EQ(cli(other, {"write", path("run.VLB"), "M2"}).exitCode, 0);
  ChildResult restore = cli(other, {"--yes", "restore", image, "--only", "settings"});
  ASSERT_EQ(restore.exitCode, 0) << restore.err;
  EXPECT_EQ(cli(other, {"diff", path("run.VLB"), "M2"}).exitCode, 0);
  const std::string after = path("after.img");
  ASSERT_EQ(cli(other, {"backup", after}).exitCode, 0);
  const BoardImage a = load(after);
  const BoardImage f = load(image);
  EXPECT_EQ(a.settings, f.settings);
  EXPECT_EQ(a.entries[4][0], 0);  // the furnished board's M5 did not come over
  EXPECT_EQ(a.entries[1][0], 3);  // the board's own M2 stayed
}

TEST_F(ImageCliTest, TruncatedImageIsRefusedWithNothingSent) {
  const std::string image = path("furnished.img");
  {
    BoardProcess furnished({"--state", furnishedState()});
    ASSERT_EQ(cli(furnished, {"backup", image}).exitCode, 0);
  }
  Result<std::string> text = readFileBytes(image);
  ASSERT_TRUE(text);
  ASSERT_TRUE(
      writeFileAtomically(path("cut.img"), text.value().substr(0, text.value().size() - 40)));
  BoardProcess board;
  ASSERT_FALSE(board.device().empty());
  ChildResult restore = cli(board, {"--yes", "restore", path("cut.img")});
  EXPECT_EQ(restore.exitCode, 1);
  EXPECT_TRUE(has(restore.err, "ボードイメージ " + path("cut.img") + " は使えません: 壊れています"))
      << restore.err;
  EXPECT_FALSE(has(restore.err, "設定完了")) << restore.err;  // the port was not even opened
  ChildResult table = cli(board, {"table"});
  EXPECT_TRUE(has(table.out, "M5\t\t0\t")) << table.out;
}

TEST_F(ImageCliTest, ProgressLineOnATerminalOnly) {
  BoardProcess furnished({"--state", furnishedState()});
  ASSERT_FALSE(furnished.device().empty());
  // On a pipe: status lines only.
  ChildResult piped = cli(furnished, {"backup", path("piped.img")});
  ASSERT_EQ(piped.exitCode, 0);
  EXPECT_FALSE(has(piped.err, "\x1b[K"));
  // On a terminal: one line that redraws itself, cleared at the end.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string terminal = ::ptsname(master);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, terminal.c_str(), O_RDWR | O_NOCTTY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const std::string out = path("terminal.img");
  std::vector<std::string> args{PVRJ_CLI_EXE, "--port", furnished.device(), "backup", out};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  ASSERT_EQ(::posix_spawn(&pid, PVRJ_CLI_EXE, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + test::kChildRunDeadline;
  int status = 0;
  for (;;) {
    pollfd p{master, POLLIN, 0};
    char buffer[4096];
    if (::poll(&p, 1, static_cast<int>(test::kChildPollStep.count())) > 0) {
      const ssize_t n = ::read(master, buffer, sizeof buffer);
      if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
    }
    if (::waitpid(pid, &status, WNOHANG) == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
  }
  ::close(master);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text;
  EXPECT_TRUE(has(text, "\r\x1b[Kbackup ")) << text;
  EXPECT_TRUE(has(text, "] 100%")) << text;
  // The bar is gone before the last status line: nothing of it follows its last clearing.
  const std::string tail = text.substr(text.rfind("\r\x1b[K"));
  EXPECT_FALSE(has(tail, "backup ")) << tail;
  EXPECT_TRUE(has(tail, "ボードイメージを保存しました: " + out)) << tail;
}

}  // namespace
}  // namespace pvrj
