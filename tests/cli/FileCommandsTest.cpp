// Tests of "pvrj-cli save" and "pvrj-cli info", run as a child process with a deadline.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include "support/TempFolderTest.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kCliDeadline = 20s;
constexpr auto kPollInterval = 10ms;
const std::string kWave = std::string(PVRJ_SOURCE_DIR) + "/examples/wave.vlb";

struct CliRun {
  int exitCode = -1;  // -1: killed at the deadline or did not start
  std::string out;
  std::string err;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class CliFiles : public pvrj::test::TempFolderTest {
 protected:
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
  }

  // Runs pvrj-cli with stdin from /dev/null, so a question can never wait for a person.
  CliRun cli(const std::vector<std::string>& args) {
    CliRun run;
    const fs::path outFile = dir / "stdout.txt";
    const fs::path errFile = dir / "stderr.txt";
    pid_t pid = ::fork();
    if (pid < 0) return run;
    if (pid == 0) {
      int in = ::open("/dev/null", O_RDONLY);
      int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      // Run in the test's folder, so a file written under a relative name lands there.
      if (in < 0 || out < 0 || err < 0 || ::chdir(dir.c_str()) != 0) ::_exit(127);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      std::vector<char*> argv;
      std::string exe = PVRJ_CLI_EXE;
      argv.push_back(exe.data());
      std::vector<std::string> copy = args;
      for (auto& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(exe.c_str(), argv.data());
      ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + kCliDeadline;
    int status = 0;
    while (true) {
      pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) break;
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << "pvrj-cli did not finish in time";
        return run;
      }
      std::this_thread::sleep_for(kPollInterval);
    }
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = slurp(outFile);
    run.err = slurp(errFile);
    return run;
  }
};

TEST_F(CliFiles, SaveOfTheExampleIsByteForByte) {
  CliRun r = cli({"save", path("copy.txt"), kWave});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, path("copy.VLB") + "\n");
  EXPECT_EQ(slurp(path("copy.VLB")), slurp(kWave));
  EXPECT_FALSE(fs::exists(path("copy.txt")));
}

TEST_F(CliFiles, SaveOverALowerCaseChartFileWritesThatFile) {
  fs::copy_file(kWave, path("wave.vlb"));
  CliRun r = cli({"save", path("wave.vlb"), path("wave.vlb"), kWave});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, path("wave.vlb") + "\n");
  EXPECT_FALSE(fs::exists(path("wave.VLB")));
  CliRun info = cli({"info", path("wave.vlb")});
  EXPECT_NE(info.out.find("Items: 6\n"), std::string::npos) << info.out;
}

TEST_F(CliFiles, SaveSaysWhichFileItWrote) {
  CliRun r = cli({"save", "walk", kWave});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "walk.VLB\n");
  EXPECT_NE(r.err.find("> walk.VLB に保存しました\n"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(path("walk.VLB")));
}

TEST_F(CliFiles, SaveRefusesPathsThatNameNoFile) {
  fs::create_directory(path("somedir"));
  for (const std::string& out : {std::string(), std::string("somedir/"), path("somedir") + "/"}) {
    CliRun r = cli({"save", out, kWave});
    EXPECT_EQ(r.exitCode, 1) << '"' << out << '"';
    EXPECT_NE(r.err.find("指定の場所には保存できません"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(fs::exists(path(".VLB")));
  EXPECT_TRUE(fs::is_empty(path("somedir")));
}

TEST_F(CliFiles, InfoSaysWhatTheFileLeftEmpty) {
  std::string text = slurp(kWave);
  write("cut.vlb", text.substr(0, text.find("[Item2]")));
  CliRun r = cli({"info", path("cut.vlb")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Items: 3\nLinks: 3\n"), std::string::npos) << r.out;
  EXPECT_NE(
      r.err.find(
          "> cut.vlb: 項目 3 個のうち 1 個と線 3 本のうち 3 本がファイルにないため空にしました\n"),
      std::string::npos)
      << r.err;
}

TEST_F(CliFiles, SaveMergesFilesInTurn) {
  CliRun r = cli({"save", path("two.VLB"), kWave, kWave});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  CliRun info = cli({"info", path("two.VLB")});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("Items: 6\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Links: 6\n"), std::string::npos);
  EXPECT_NE(info.out.find("Start: 0\n"), std::string::npos);
  std::string text = slurp(path("two.VLB"));
  EXPECT_NE(text.find("[Link5]\r\nMain=0\r\nOrigin=5\r\nFinal=3\r\nPoint=186,56,120,56\r\n"),
            std::string::npos);
}

TEST_F(CliFiles, SaveAnswersTheReplaceQuestionWithOk) {
  write("scen.vlb", "[GraphicalEdit]\r\nType=7\r\nItems=1\r\nName=SC\r\n\r\n[Item0]\r\nType=7\r\n");
  CliRun r = cli({"save", path("out"), kWave, path("scen.vlb")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("現在のデータが消えてしまいますが構いませんか？"), std::string::npos);
  CliRun info = cli({"info", path("out.VLB")});
  EXPECT_NE(info.out.find("Type: 7\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Items: 1\n"), std::string::npos);
  EXPECT_NE(info.out.find("Name: SC\n"), std::string::npos);
}

TEST_F(CliFiles, RefusedFileFailsAndWritesNothing) {
  write("bad.txt", "hello\r\n");
  CliRun r = cli({"save", path("out.VLB"), kWave, path("bad.txt")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("指定のファイルは使用できません"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(path("out.VLB")));

  write("broken.vlb", "[GraphicalEdit]\r\nType=0\r\nItems=1\r\n\r\n[Item0]\r\nPrm=1,2\r\n");
  r = cli({"save", path("out.VLB"), path("broken.vlb")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("エラー"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(path("out.VLB")));
}

TEST_F(CliFiles, FailedSaveExitsWithOne) {
  CliRun r = cli({"save", path("no/such/folder/out"), kWave});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("指定の場所には保存できません"), std::string::npos) << r.err;
}

TEST_F(CliFiles, UsageErrors) {
  EXPECT_EQ(cli({"save", path("only-out")}).exitCode, 2);
  EXPECT_EQ(cli({"info"}).exitCode, 2);
}

TEST_F(CliFiles, InfoDescribesTheHeader) {
  CliRun r = cli({"info", kWave});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "probe: 0\nkind: motion chart\nType: 0\nName: WAVE\nPort: 16777215\nCtrl: 65535\n"
            "Width: 646\nHeight: 576\nStart: 0\nItems: 3\nLinks: 3\n");
}

TEST_F(CliFiles, InfoOnPoseTableAndOnUnusableFiles) {
  std::string header = "NO,\x95\xe0\x82\xad,SPEED";  // data name in CP932
  std::string line = "1,a,2";
  for (int ch = 1; ch <= 24; ++ch) {
    header += ",CH" + std::to_string(ch);
    line += ",0";
  }
  write("p.csv", header + "\r\n" + line + "\r\n");
  CliRun r = cli({"info", path("p.csv")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("probe: 100\nkind: pose table\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Name: 歩く\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Items: 1\nLinks: 0\n"), std::string::npos);

  write("t3.vlb", "[GraphicalEdit]\r\nType=3\r\n");
  r = cli({"info", path("t3.vlb")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("probe: 3\n"), std::string::npos);
  r = cli({"info", path("absent.vlb")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("probe: -1\n"), std::string::npos);
}

}  // namespace
