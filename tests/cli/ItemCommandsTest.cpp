// Tests of "pvrj-cli convert" and "pvrj-cli describe" on charts the tests make.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "chart/ChartFile.h"
#include "common/FileIo.h"
#include "support/ChildProcess.h"
#include "support/FakeUserInterface.h"
#include "support/TempFolderTest.h"

namespace pvrj {
namespace {

namespace fs = std::filesystem;

class CliItems : public test::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    // Two position items, a setting item and a compare item joined in a loop.
    auto add = [&](std::uint8_t kind, const char* name, std::uint16_t word, int lead) {
      ChartItem item = defaultItem(kind, 10, 10 + 40 * chart.itemCount());
      item.Name = name;
      item.PrmByte = static_cast<std::uint8_t>(lead);
      item.PrmWords.fill(word);
      chart.items.push_back(item);
    };
    add(kItemPos, "POS1", 16384 + 100, 100);
    add(kItemPos, "POS 2", 16384 - 100, 50);
    add(kItemSet, "SET1", 0x8211, 1);
    add(kItemCmp, "CMP1", 0x8307, 1);
    ChartLink link;
    link.Origin = 0;
    link.Final = 1;
    chart.links.push_back(link);
    link.Origin = 3;
    link.Final = 0;
    link.Main = 1;
    chart.links.push_back(link);
    chart.Start = 0;
    ASSERT_TRUE(writeTextFile(path("in.vlb"), chartFileText(chart)).ok());
  }

  test::ChildResult cli(std::vector<std::string> args) {
    args.insert(args.begin(), PVRJ_CLI_EXE);
    return test::runProgram(args);
  }

  Chart read(const std::string& file) {
    Chart out;
    ClientArea client;
    test::FakeUserInterface ui;
    EXPECT_TRUE(openFile(out, client, path(file), ui).opened) << file;
    return out;
  }

  Chart chart;
};

TEST_F(CliItems, ConvertsEveryItemWithoutAList) {
  // CH1 mirrored, CH2 taken from CH1, the speed doubled; the compare item stays as it was.
  auto r = cli(
      {"convert", path("in.vlb"), path("out"), "--rules", "\"Reverse\",\"ReadTo(1)\",\"SPD(*2)\""});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, path("out.VLB") + "\n");
  const Chart out = read("out.VLB");
  ASSERT_EQ(out.itemCount(), 4);
  EXPECT_EQ(out.items[0].PrmWords[0], 16384 - 100);
  EXPECT_EQ(out.items[0].PrmWords[1], 16384 + 100);
  EXPECT_EQ(out.items[0].PrmByte, 200);
  EXPECT_EQ(out.items[1].PrmWords[0], 16384 + 100);
  EXPECT_EQ(out.items[1].PrmByte, 100);
  EXPECT_EQ(out.items[2].PrmWords[0], 0x8211);  // no position: the value rules leave it
  EXPECT_EQ(out.items[2].PrmWords[1], 0x8211);
  EXPECT_EQ(out.items[2].PrmByte, 1);  // its words are above the speed rule's range
  EXPECT_EQ(out.items[3].PrmWords, chart.items[3].PrmWords);
  EXPECT_EQ(out.linkCount(), 2);
  EXPECT_EQ(out.Start, 0);
}

TEST_F(CliItems, ConvertsOnlyTheNamedItems) {
  auto r = cli(
      {"convert", path("in.vlb"), path("out.VLB"), "--items", "\"POS 2\"", "--rules", "ADD(10)"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const Chart out = read("out.VLB");
  EXPECT_EQ(out.items[0].PrmWords[0], 16384 + 100);
  EXPECT_EQ(out.items[1].PrmWords[0], 16384 - 90);
  EXPECT_EQ(out.items[1].PrmWords[1], 16384 - 100);
}

TEST_F(CliItems, BadInputNamesTheFaultAndWritesNothing) {
  struct Case {
    std::vector<std::string> args;
    const char* named;
  } const cases[] = {
      {{"--rules", "Reverse,Reverce"}, "CH2: \"Reverce\" is not a conversion rule"},
      {{"--rules", ",,,SPD(/0)"}, "CH4: \"SPD(/0)\" divides the speed by zero"},
      {{"--rules", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25"},
       "25 entries"},
      {{"--rules", "Reverse", "--items", "POS1,POS9"}, "no item named \"POS9\""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"convert", path("in.vlb"), path("out.VLB")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto r = cli(args);
    EXPECT_EQ(r.exitCode, 1) << c.named;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(path("out.VLB"))) << c.named;
  }
  auto missing = cli({"convert", path("absent.vlb"), path("out.VLB"), "--rules", "Reverse"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_FALSE(fs::exists(path("out.VLB")));
}

TEST_F(CliItems, ConvertsByASetOfThePatternFile) {
  ASSERT_TRUE(writeTextFile(path("PATTERN.ini"),
                            "[Convert]\r\nCnvList=swap,broken\r\n\r\n[CnvList]\r\n"
                            "swap=\"Change(2)\",\"\",\"SPD(-10)\"\r\n"
                            "broken=\"SPD(/0)\"\r\n")
                  .ok());
  auto r = cli({"convert", path("in.vlb"), path("out.VLB"), "--set", "swap", "--pattern",
                path("PATTERN.ini"), "--items", "POS1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const Chart out = read("out.VLB");
  EXPECT_EQ(out.items[0].PrmWords[0], 16384 + 100);  // both held the same word
  EXPECT_EQ(out.items[0].PrmByte, 90);
  EXPECT_EQ(out.items[1].PrmByte, 50);

  for (const auto& [set, named] : std::vector<std::pair<std::string, std::string>>{
           {"walk", "no conversion set named \"walk\""},
           {"broken", "CH1: \"SPD(/0)\" divides the speed by zero"}}) {
    fs::remove(path("out.VLB"));
    auto bad = cli({"convert", path("in.vlb"), path("out.VLB"), "--set", set, "--pattern",
                    path("PATTERN.ini")});
    EXPECT_EQ(bad.exitCode, 1) << set;
    EXPECT_NE(bad.err.find(named), std::string::npos) << bad.err;
    EXPECT_FALSE(fs::exists(path("out.VLB")));
  }
  // Without --pattern the set comes from the settings folder's pattern file.
  auto settings =
      test::runProgram({PVRJ_CLI_EXE, "convert", path("in.vlb"), path("out.VLB"), "--set", "swap"},
                       {"PVRJ_SETTINGS_DIR=" + dir.string()});
  EXPECT_EQ(settings.exitCode, 0) << settings.err;
}

TEST_F(CliItems, ConvertUsageErrors) {
  EXPECT_EQ(cli({"convert", path("in.vlb"), path("out.VLB")}).exitCode, 2);
  EXPECT_EQ(cli({"convert", path("in.vlb"), "--rules", "Reverse"}).exitCode, 2);
  EXPECT_EQ(cli({"convert", path("in.vlb"), path("o"), "--rules", "a", "--set", "b"}).exitCode, 2);
  EXPECT_EQ(cli({"convert", path("in.vlb"), path("o"), "--rules"}).exitCode, 2);
  EXPECT_EQ(cli({"convert", path("in.vlb"), path("o"), "--rule", "x"}).exitCode, 2);
  EXPECT_EQ(cli({"convert", path("in.vlb"), path("o"), "--rules", "a", "--pattern", "p"}).exitCode,
            2);
  EXPECT_FALSE(fs::exists(path("o.VLB")));
}

TEST_F(CliItems, DescribeTellsItemsLinesAndStart) {
  auto r = cli({"describe", path("in.vlb")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string expected = "item 0 \"POS1\" POS speed 100;";
  for (int ch = 1; ch <= 24; ++ch)
    expected += (ch == 1 ? " CH" : ", CH") + std::to_string(ch) + " 100";
  expected += "\nitem 1 \"POS 2\" POS speed 50;";
  for (int ch = 1; ch <= 24; ++ch)
    expected += (ch == 1 ? " CH" : ", CH") + std::to_string(ch) + " -100";
  expected +=
      "\nitem 2 \"SET1\" SET ループカウンタにループ回数をセットする 10\n"
      "item 3 \"CMP1\" CMP ループカウンタが０でなければジャンプする\n"
      "link 0 connection 0 \"POS1\" -> 1 \"POS 2\"\n"
      "link 1 branch 3 \"CMP1\" -> 0 \"POS1\"\n"
      "start 0 \"POS1\"\n";
  EXPECT_EQ(r.out, expected);

  auto missing = cli({"describe", path("absent.vlb")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("absent.vlb"), std::string::npos);
  EXPECT_EQ(cli({"describe"}).exitCode, 2);
}

}  // namespace
}  // namespace pvrj
