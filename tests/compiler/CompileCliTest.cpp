// pvrj-cli compile end to end: a saved chart file in, listing and dump rows or line errors out.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ChartMaker.h"
#include "chart/ChartFile.h"
#include "compiler/Compile.h"
#include "support/FakeUserInterface.h"

namespace pvrj {
namespace {

using test::addItem;
using test::addLine;
using test::FakeUserInterface;

// No run of the command line may take longer than this.
constexpr int kCliDeadlineSeconds = 30;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class CompileCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(PVRJ_CLI_EXE)) << "missing " << PVRJ_CLI_EXE;
    dir_ = std::filesystem::temp_directory_path() /
           ("pvrj-compile-cli-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }

  std::string save(const Chart& chart, const std::string& name) {
    const std::string path = (dir_ / name).string();
    FakeUserInterface ui;
    EXPECT_TRUE(saveChart(chart, path, false, ui)) << ui.lastMessage();
    return path;
  }

  CliRun run(const std::string& args) {
    const auto out = dir_ / "out.txt";
    const auto err = dir_ / "err.txt";
    const std::string cmd = "timeout " + std::to_string(kCliDeadlineSeconds) + " '" + PVRJ_CLI_EXE +
                            "' compile " + args + " >'" + out.string() + "' 2>'" + err.string() +
                            "' </dev/null";
    CliRun r;
    const int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readAll(out);
    r.err = readAll(err);
    return r;
  }

  std::filesystem::path dir_;
};

Chart branchBack() {
  Chart c;
  const int p = addItem(c, kItemPos);
  const int s = addItem(c, kItemSet);
  const int k = addItem(c, kItemCmp);
  c.Start = p;
  addLine(c, p, s);
  addLine(c, s, k);
  addLine(c, k, p, 1);
  return c;
}

std::string rowsText(const std::vector<std::string>& rows) {
  std::string s;
  for (const std::string& r : rows) s += r + "\r\n";
  return s;
}

TEST_F(CompileCli, PrintsListingThenDumpByDefault) {
  Chart c = branchBack();
  const std::string path = save(c, "branch.vlb");
  FakeUserInterface ui;
  CompilerState expected;
  ASSERT_TRUE(compileMotion(c, ui, expected));

  CliRun both = run("'" + path + "'");
  EXPECT_EQ(both.status, 0) << both.err;
  EXPECT_EQ(both.out, expected.listing + rowsText(expected.dumpRows));
  EXPECT_NE(both.out.find(",END,,\"; 終了\"\r\n"), std::string::npos);
  // The editor's status line goes to stderr, out of the way of the listing.
  EXPECT_NE(both.err.find("> コンパイル成功: 4レコード(LISTページ)"), std::string::npos)
      << both.err;

  CliRun listing = run("'" + path + "' --listing");
  EXPECT_EQ(listing.status, 0);
  EXPECT_EQ(listing.out, expected.listing);

  CliRun dump = run("--dump '" + path + "'");
  EXPECT_EQ(dump.status, 0);
  EXPECT_EQ(dump.out, rowsText(expected.dumpRows));
}

TEST_F(CompileCli, LineErrorsGoToStderrWithStatusOne) {
  Chart c = branchBack();
  c.links.pop_back();
  CliRun r = run("'" + save(c, "bad.vlb") + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.empty());
  EXPECT_NE(r.err.find("CMP1からの分岐先がありません"), std::string::npos) << r.err;
}

TEST_F(CompileCli, ScenarioChartPrintsItsMotionList) {
  Chart c;
  const int a = addItem(c, kItemMot, "M3 WALK");
  const int b = addItem(c, kItemMot, "M1 BOW");
  c.items[a].PrmByte = 2;
  c.items[b].PrmByte = 0;
  addLine(c, a, b);
  c.Start = a;
  CliRun r = run("'" + save(c, "scenario.vlb") + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "M3 M3 WALK\r\nM1 M1 BOW\r\n");
}

TEST_F(CompileCli, BadArgumentsAndMissingFiles) {
  EXPECT_EQ(run("").status, 2);
  EXPECT_EQ(run("a.vlb --bogus").status, 2);
  CliRun missing = run("'" + (dir_ / "none.vlb").string() + "'");
  EXPECT_EQ(missing.status, 1);
  EXPECT_FALSE(missing.err.empty());
}

}  // namespace
}  // namespace pvrj
