// Tests of chart file saving, recognising and reading, and of the pose table import.
#include "chart/ChartFile.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "common/Encoding.h"
#include "common/FileIo.h"
#include "support/FakeUserInterface.h"
#include "support/TempFolderTest.h"

namespace pvrj {
namespace {

namespace fs = std::filesystem;
using test::FakeUserInterface;

const std::string kWavePath = std::string(PVRJ_SOURCE_DIR) + "/examples/wave.vlb";

class ChartFileTest : public test::TempFolderTest {
 protected:
  // Writes UTF-8 text as a CP932 file.
  std::string write(const std::string& name, const std::string& text) {
    std::string p = path(name);
    EXPECT_TRUE(writeTextFile(p, text));
    return p;
  }
  // A chart with a few of everything, as the editor would hold it.
  static Chart sampleChart() {
    Chart c;
    c.Name = "歩行 テスト";
    c.Port = 0x00ABCD;
    c.Ctrl = 1234;
    c.createItem(kItemPos, 41, 41);
    c.createItem(kItemCmp, 41, 121);
    c.createItem(kItemSet, 161, 121);
    c.items[1].Color = kButtonFaceColor;
    c.items[0].PrmWords[3] = 65535;
    c.items[0].PrmByte = 255;
    c.items[2].Name = "設定";
    c.links.resize(3);
    c.links[0] = {false, 0, 0, 1, {}};
    c.links[1] = {false, 1, 1, 2, {{-5, 7}}};
    c.links[2] = {false, 0, 2, 0, {{186, 56}, {120, 56}}};
    c.Start = 0;
    return c;
  }
  FakeUserInterface ui;
  ClientArea client;
};

// ---- saving --------------------------------------------------------------------------------

TEST_F(ChartFileTest, SampleChartSurvivesOpenAndSaveByteForByte) {
  Chart chart;
  OpenOutcome o = openFile(chart, client, kWavePath, ui);
  ASSERT_TRUE(o.opened);
  EXPECT_TRUE(o.nameTaken);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(chart.Name, "WAVE");
  EXPECT_EQ(chart.itemCount(), 3);
  EXPECT_EQ(chart.linkCount(), 3);
  EXPECT_EQ(chart.Width, 646);
  EXPECT_EQ(chart.Height, 576);
  std::string saved;
  ASSERT_TRUE(saveChart(chart, path("copy.txt"), true, ui, &saved));
  EXPECT_EQ(saved, path("copy.VLB"));
  EXPECT_EQ(readFileBytes(saved).value(), readFileBytes(kWavePath).value());
}

TEST_F(ChartFileTest, SavePathFollowsTheFilter) {
  EXPECT_EQ(chartSavePath("/d/walk.txt", true), "/d/walk.VLB");
  EXPECT_EQ(chartSavePath("/d/walk", true), "/d/walk.VLB");
  EXPECT_EQ(chartSavePath("/d.x/walk", true), "/d.x/walk.VLB");
  EXPECT_EQ(chartSavePath("walk.a.b", true), "walk.a.VLB");
  EXPECT_EQ(chartSavePath("/d/walk.txt", false), "/d/walk.txt");
  // An extension that already reads ".vlb" keeps its own spelling.
  EXPECT_EQ(chartSavePath("/d/wave.vlb", true), "/d/wave.vlb");
  EXPECT_EQ(chartSavePath("/d/wave.Vlb", true), "/d/wave.Vlb");
  EXPECT_EQ(chartSavePath("/d.vlb/walk", true), "/d.vlb/walk.VLB");
  EXPECT_EQ(chartSavePath("walk.vlb.txt", true), "walk.vlb.VLB");
  EXPECT_EQ(chartSavePath("walk.vlbx", true), "walk.VLB");
  Chart c = sampleChart();
  ASSERT_TRUE(saveChart(c, path("walk.txt"), true, ui));
  EXPECT_TRUE(fs::exists(path("walk.VLB")));
  EXPECT_FALSE(fs::exists(path("walk.txt")));
  ASSERT_TRUE(saveChart(c, path("walk.txt"), false, ui));
  EXPECT_TRUE(fs::exists(path("walk.txt")));
}

TEST_F(ChartFileTest, SavingOverALowerCaseChartFileReplacesThatFile) {
  const std::string wave = path("wave.vlb");
  fs::copy_file(kWavePath, wave);
  Chart chart;
  ASSERT_TRUE(openFile(chart, client, wave, ui).opened);
  chart.items[0].Name = "EDITED";
  std::string saved;
  ASSERT_TRUE(saveChart(chart, wave, true, ui, &saved));
  EXPECT_EQ(saved, wave);
  EXPECT_FALSE(fs::exists(path("wave.VLB")));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
  EXPECT_EQ(cp932ToUtf8(readFileBytes(wave).value()), chartFileText(chart));
}

TEST_F(ChartFileTest, SuccessfulSaveNamesTheFileInTheStatusLine) {
  Chart c = sampleChart();
  ASSERT_TRUE(saveChart(c, path("walk"), true, ui));
  ASSERT_EQ(ui.statuses.size(), 1u);
  EXPECT_EQ(ui.statuses[0], path("walk.VLB") + " に保存しました");
  EXPECT_FALSE(saveChart(c, path("missing/walk"), true, ui));
  EXPECT_EQ(ui.statuses.size(), 1u);  // a failed save says so in its message box only
}

// Runs a test body in another working folder, so a stray relative file lands in the test's own.
class WorkingFolder {
 public:
  explicit WorkingFolder(const fs::path& folder) : old_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~WorkingFolder() { fs::current_path(old_); }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

 private:
  fs::path old_;
};

TEST_F(ChartFileTest, PathsWithoutAFileNameAreRefusedAsUnwritable) {
  fs::create_directory(path("sub"));
  WorkingFolder here(dir);
  Chart c = sampleChart();
  for (const std::string& p : {std::string(), std::string("sub/"), path("sub") + "/",
                               std::string("."), std::string(".."), path("sub/..")}) {
    for (bool chartFilter : {true, false}) {
      FakeUserInterface fake;
      EXPECT_FALSE(saveChart(c, p, chartFilter, fake)) << '"' << p << '"';
      EXPECT_EQ(fake.lastMessage(), "指定の場所には保存できません") << '"' << p << '"';
      EXPECT_TRUE(fake.statuses.empty());
    }
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);  // only sub
  EXPECT_TRUE(fs::is_empty(path("sub")));
}

TEST_F(ChartFileTest, SavingThroughALinkKeepsTheLink) {
  Chart c = sampleChart();
  fs::create_symlink("target.VLB", path("link.VLB"));
  ASSERT_TRUE(saveChart(c, path("link.VLB"), true, ui));
  EXPECT_TRUE(fs::is_symlink(path("link.VLB")));
  EXPECT_EQ(cp932ToUtf8(readFileBytes(path("target.VLB")).value()), chartFileText(c));
  fs::create_symlink("loop2.VLB", path("loop1.VLB"));
  fs::create_symlink("loop1.VLB", path("loop2.VLB"));
  EXPECT_FALSE(saveChart(c, path("loop1.VLB"), true, ui));
  EXPECT_EQ(ui.lastMessage(), "指定の場所には保存できません");
  EXPECT_TRUE(fs::is_symlink(path("loop1.VLB")));
}

TEST_F(ChartFileTest, UnwritablePlaceShowsTheErrorAndWritesNothing) {
  Chart c = sampleChart();
  EXPECT_FALSE(saveChart(c, path("missing/walk.VLB"), true, ui));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, kMsgError);
  EXPECT_EQ(ui.messages[0].buttons, kBtnOk);
  EXPECT_EQ(ui.messages[0].text, "指定の場所には保存できません");
  fs::create_directory(path("folder.VLB"));
  EXPECT_FALSE(saveChart(c, path("folder"), true, ui));
  EXPECT_EQ(ui.messages.size(), 2u);
}

TEST_F(ChartFileTest, SavingOverAnOldFileReplacesIt) {
  std::string p = write("old.VLB", "[GraphicalEdit]\r\nType=0\r\nJunk=1\r\n\r\n[Other]\r\nx=1\r\n");
  Chart c = sampleChart();
  ASSERT_TRUE(saveChart(c, p, true, ui));
  std::string text = cp932ToUtf8(readFileBytes(p).value());
  EXPECT_EQ(text, chartFileText(c));
  EXPECT_EQ(text.find("Junk"), std::string::npos);
}

TEST_F(ChartFileTest, LineBreaksInNamesCannotBreakTheFile) {
  Chart c = sampleChart();
  c.Name = "A\r\n[Item0]";
  c.items[0].Name = "x\ny";
  std::string text = chartFileText(c);
  EXPECT_NE(text.find("Name=A  [Item0]\r\n"), std::string::npos);
  EXPECT_NE(text.find("Name=x y\r\n"), std::string::npos);
  Chart back;
  ASSERT_TRUE(readChartText(back, client, text, ui).opened);
  EXPECT_EQ(back.itemCount(), 3);
}

TEST_F(ChartFileTest, ANulEndsEveryNameReadSoASavedFileReadsBackTheSame) {
  const std::string nul(1, '\0');
  Chart chart;
  ASSERT_TRUE(readChartText(chart, client,
                            "[GraphicalEdit]\r\nType=0\r\nItems=1\r\nName=AB" + nul +
                                "CD\r\n[Item0]\r\nName=EF" + nul + "GH\r\n",
                            ui)
                  .opened);
  EXPECT_EQ(chart.Name, "AB");
  EXPECT_EQ(chart.items[0].Name, "EF");

  std::string row = "1,P" + nul + "Q,1";
  for (int ch = 0; ch < kChannelCount; ++ch) row += ",0";
  std::string header = "NO,T" + nul + "U,SPEED";
  for (int ch = 1; ch <= kChannelCount; ++ch) header += ",CH" + std::to_string(ch);
  Chart poses;
  ASSERT_TRUE(openFile(poses, client, write("nul.csv", header + "\r\n" + row + "\r\n"), ui).opened);
  EXPECT_EQ(poses.Name, "T");
  EXPECT_EQ(poses.items[0].Name, "P");
  Chart back;
  ASSERT_TRUE(readChartText(back, client, chartFileText(poses), ui).opened);
  EXPECT_EQ(back.Name, poses.Name);
  EXPECT_EQ(back.items[0].Name, poses.items[0].Name);
}

// ---- reading chart files -------------------------------------------------------------------

TEST_F(ChartFileTest, SavedFileReadsBackEveryFieldSelected) {
  Chart original = sampleChart();
  ASSERT_TRUE(saveChart(original, path("all.VLB"), true, ui));
  Chart back;
  OpenOutcome o = openFile(back, client, path("all.VLB"), ui);
  ASSERT_TRUE(o.opened);
  EXPECT_EQ(back.Name, original.Name);
  EXPECT_EQ(back.Port, original.Port);
  EXPECT_EQ(back.Ctrl, original.Ctrl);
  EXPECT_EQ(back.Type, original.Type);
  EXPECT_EQ(back.Start, original.Start);
  ASSERT_EQ(back.itemCount(), original.itemCount());
  for (int i = 0; i < back.itemCount(); ++i) {
    const ChartItem& a = original.items[i];
    const ChartItem& b = back.items[i];
    EXPECT_TRUE(b.Selected);
    EXPECT_EQ(b.Name, a.Name);
    EXPECT_EQ(b.Left, a.Left);
    EXPECT_EQ(b.Top, a.Top);
    EXPECT_EQ(b.Width, a.Width);
    EXPECT_EQ(b.Height, a.Height);
    EXPECT_EQ(b.Color, a.Color);
    EXPECT_EQ(b.Type, a.Type);
    EXPECT_EQ(b.PrmByte, a.PrmByte);
    EXPECT_EQ(b.PrmWords, a.PrmWords);
  }
  ASSERT_EQ(back.linkCount(), original.linkCount());
  for (int i = 0; i < back.linkCount(); ++i) {
    EXPECT_TRUE(back.links[i].Selected);
    EXPECT_EQ(back.links[i].Main, original.links[i].Main);
    EXPECT_EQ(back.links[i].Origin, original.links[i].Origin);
    EXPECT_EQ(back.links[i].Final, original.links[i].Final);
    EXPECT_EQ(back.links[i].Point, original.links[i].Point);
  }
  EXPECT_NE(chartFileText(original).find("Color=-2147483633"), std::string::npos);
}

TEST_F(ChartFileTest, SameTypeFileIsAddedBehindTheExistingItems) {
  Chart chart;
  for (int i = 0; i < 5; ++i) chart.createItem(kItemPos, 0, 0);
  chart.Name = "MINE";
  chart.Start = 2;
  chart.items[0].Selected = true;
  chart.clipboard.items.push_back({});
  std::string p =
      write("add.VLB",
            "[GraphicalEdit]\r\nType=0\r\nItems=2\r\nLinks=2\r\nStart=1\r\nName=OTHER\r\n"
            "\r\n[Item0]\r\nName=A\r\n\r\n[Item1]\r\nName=B\r\n\r\n"
            "[Link0]\r\nOrigin=0\r\nFinal=1\r\n\r\n[Link1]\r\nOrigin=-1\r\nFinal=0\r\n");
  OpenOutcome o = openFile(chart, client, p, ui);
  ASSERT_TRUE(o.opened);
  EXPECT_FALSE(o.nameTaken);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(chart.Name, "MINE");
  ASSERT_EQ(chart.itemCount(), 7);
  EXPECT_EQ(chart.items[5].Name, "A");
  EXPECT_EQ(chart.items[6].Name, "B");
  EXPECT_FALSE(chart.items[0].Selected);
  EXPECT_EQ(chart.selectedItemCount(), 2);
  ASSERT_EQ(chart.linkCount(), 2);
  EXPECT_EQ(chart.links[0].Origin, 5);
  EXPECT_EQ(chart.links[0].Final, 6);
  EXPECT_EQ(chart.links[1].Origin, -1);
  EXPECT_EQ(chart.links[1].Final, 5);
  EXPECT_EQ(chart.Start, 2);  // the chart's own start stays
  EXPECT_FALSE(chart.clipboard.empty());

  // Without a start of its own, the merged chart starts where the added file does.
  chart.Start = -1;
  ASSERT_TRUE(openFile(chart, client, p, ui).opened);
  EXPECT_EQ(chart.Start, 7 + 1);
}

TEST_F(ChartFileTest, OtherTypeAsksAndReplacesOnOk) {
  std::string p = write("scen.VLB",
                        "[GraphicalEdit]\r\nType=7\r\nItems=1\r\nStart=0\r\nName=SC\r\n\r\n"
                        "[Item0]\r\nName=M1 WALK\r\nType=7\r\n");
  Chart chart;
  chart.createItem(kItemPos, 0, 0);
  chart.createItem(kItemPos, 0, 0);
  chart.clipboard.items.push_back({});

  ui.answers.push_back(kIdCancel);
  EXPECT_FALSE(openFile(chart, client, p, ui).opened);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, kMsgQuestion);
  EXPECT_EQ(ui.messages[0].buttons, kBtnOkCancel);
  EXPECT_EQ(ui.messages[0].text, "現在のデータが消えてしまいますが構いませんか？");
  EXPECT_EQ(chart.itemCount(), 2);
  EXPECT_EQ(chart.Type, kMotionChart);

  ui.answers.push_back(kIdOk);
  OpenOutcome o = openFile(chart, client, p, ui);
  ASSERT_TRUE(o.opened);
  EXPECT_TRUE(o.nameTaken);
  EXPECT_EQ(chart.Type, kScenarioChart);
  ASSERT_EQ(chart.itemCount(), 1);
  EXPECT_EQ(chart.items[0].Name, "M1 WALK");
  EXPECT_EQ(chart.Name, "SC");
  EXPECT_EQ(chart.Start, 0);
  EXPECT_TRUE(chart.clipboard.empty());
}

TEST_F(ChartFileTest, UnknownTypeIsRefusedBeforeAnyQuestion) {
  std::string p = write("t3.VLB", "[GraphicalEdit]\r\nType=3\r\nItems=1\r\n");
  Chart chart;
  chart.createItem(kItemPos, 0, 0);
  EXPECT_EQ(probeFile(p), 3);
  EXPECT_FALSE(openFile(chart, client, p, ui).opened);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, kMsgWarning);
  EXPECT_EQ(ui.messages[0].buttons, kBtnOk);
  EXPECT_EQ(ui.messages[0].text, "指定のファイルは使用できません");
  EXPECT_EQ(chart.itemCount(), 1);
  EXPECT_FALSE(openFile(chart, client, path("absent.VLB"), ui).opened);
  EXPECT_EQ(ui.lastMessage(), "指定のファイルは使用できません");
  EXPECT_EQ(probeFile(path("absent.VLB")), kProbeUnusable);
  EXPECT_EQ(probeFile(dir.string()), kProbeUnusable);
}

TEST_F(ChartFileTest, MissingKeysReadTheirDefaults) {
  Chart chart;
  ASSERT_TRUE(readChartText(chart, client,
                            "[GraphicalEdit]\r\nItems=1\r\nLinks=1\r\n\r\n[Item0]\r\n\r\n"
                            "[Link0]\r\nPoint=10,20,30\r\n",
                            ui)
                  .opened);
  EXPECT_EQ(chart.Name, "無題");
  EXPECT_EQ(chart.Port, 16777215u);
  EXPECT_EQ(chart.Ctrl, 65535);
  EXPECT_EQ(chart.Start, -1);
  const ChartItem& item = chart.items[0];
  EXPECT_EQ(item.Name, "");
  EXPECT_EQ(item.Width, 50);
  EXPECT_EQ(item.Height, 30);
  EXPECT_EQ(item.Color, 16777215u);
  EXPECT_EQ(item.Type, 0);
  EXPECT_EQ(item.PrmByte, 1);
  for (auto w : item.PrmWords) EXPECT_EQ(w, 0);
  const ChartLink& link = chart.links[0];
  EXPECT_EQ(link.Main, 0);
  EXPECT_EQ(link.Origin, -1);
  EXPECT_EQ(link.Final, -1);
  EXPECT_EQ(link.Point, (std::vector<ChartPoint>{{10, 20}}));
}

TEST_F(ChartFileTest, ReadingIsTolerant) {
  Chart chart;
  ASSERT_TRUE(
      readChartText(chart, client,
                    "; saved by hand\n[graphicaledit]\n  type = 0\nITEMS=$1\nname =  歩く \n"
                    "port=0xFF\n\n[ITEM0]\nname = 前進 \nleft=0x10\ntop=abc\nprm = 300 ,"
                    " 70000, 2, 3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,"
                    "24, 99\n",
                    ui)
          .opened);
  EXPECT_EQ(chart.Name, "歩く");
  EXPECT_EQ(chart.Port, 255u);
  ASSERT_EQ(chart.itemCount(), 1);
  const ChartItem& item = chart.items[0];
  EXPECT_EQ(item.Name, "前進");  // trimmed: leading and trailing blanks do not survive
  EXPECT_EQ(item.Left, 16);
  EXPECT_EQ(item.Top, 0);
  EXPECT_EQ(item.PrmByte, 300 & 0xFF);
  EXPECT_EQ(item.PrmWords[0], 70000 & 0xFFFF);
  EXPECT_EQ(item.PrmWords[23], 24);
}

TEST_F(ChartFileTest, MalformedParametersLeaveTheChartUntouched) {
  const std::string head = "[GraphicalEdit]\r\nType=0\r\nItems=2\r\nLinks=1\r\nName=BAD\r\n\r\n";
  const std::string goodItem = "[Item0]\r\nName=OK\r\n\r\n";
  struct Case {
    std::string text;
    std::string mentions;
  };
  for (const Case& k : {Case{head + goodItem + "[Item1]\r\nPrm=1,2,3\r\n", "Item1"},
                        Case{head + goodItem + "[Item1]\r\nPrm=\r\n", "Item1"},
                        Case{head + goodItem + "[Link0]\r\nPoint=1,2,x,4\r\n", "Link0"},
                        Case{head + goodItem + "[Link0]\r\nPoint=1,2,\r\n", "Link0"}}) {
    Chart chart;
    chart.createItem(kItemPos, 7, 7);
    chart.Name = "KEEP";
    chart.Start = 0;
    chart.items[0].Selected = true;
    ClientArea area;
    FakeUserInterface fake;
    std::string p = write("bad.VLB", k.text);
    EXPECT_FALSE(openFile(chart, area, p, fake).opened);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].kind, kMsgError);
    EXPECT_EQ(fake.messages[0].buttons, kBtnOk);
    EXPECT_NE(fake.messages[0].text.find(k.mentions), std::string::npos) << fake.messages[0].text;
    EXPECT_EQ(chart.itemCount(), 1);
    EXPECT_EQ(chart.linkCount(), 0);
    EXPECT_EQ(chart.Name, "KEEP");
    EXPECT_TRUE(chart.items[0].Selected);
  }
}

TEST_F(ChartFileTest, BrokenFileOfOtherTypeNeitherAsksNorClears) {
  std::string p =
      write("bad7.VLB", "[GraphicalEdit]\r\nType=7\r\nItems=1\r\n\r\n[Item0]\r\nPrm=1\r\n");
  Chart chart;
  chart.createItem(kItemPos, 0, 0);
  EXPECT_FALSE(openFile(chart, client, p, ui).opened);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, kMsgError);
  EXPECT_EQ(chart.itemCount(), 1);
}

TEST_F(ChartFileTest, AbsurdCountsAreRefusedWithoutAllocating) {
  for (const char* header : {"Items=2000000000", "Links=2000000000", "Items=2147483647"}) {
    std::string p =
        write("huge.VLB", std::string("[GraphicalEdit]\r\nType=0\r\n") + header + "\r\n");
    EXPECT_EQ(probeFile(p), kProbeUnusable) << header;
    Chart chart;
    FakeUserInterface fake;
    EXPECT_FALSE(openFile(chart, client, p, fake).opened);
    EXPECT_EQ(fake.lastMessage(), "指定のファイルは使用できません");
    EXPECT_FALSE(readChartFile(chart, client, p, fake).opened);
    EXPECT_EQ(chart.itemCount(), 0);
  }
  Chart chart;
  EXPECT_TRUE(
      readChartText(chart, client, "[GraphicalEdit]\r\nType=0\r\nItems=-5\r\nLinks=-1\r\n", ui)
          .opened);
  EXPECT_EQ(chart.itemCount(), 0);
}

TEST_F(ChartFileTest, SectionsMissingFromTheFileAreLeftEmptyAndSaid) {
  struct Case {
    std::string name;
    std::string text;
    int items;
    int links;
    std::string status;  // empty: nothing to say
  };
  const std::string whole = chartFileText(sampleChart());
  const std::string cut = whole.substr(0, whole.find("[Item1]") + 20);  // inside Item1
  Chart fiftyItems;
  for (int i = 0; i < 50; ++i) fiftyItems.createItem(kItemPos, 10, 10 + 40 * i);
  const std::string fifty = chartFileText(fiftyItems);
  const std::vector<Case> cases = {
      {"whole.VLB", whole, 3, 3, ""},
      {"cut.VLB", cut, 3, 3,
       "cut.VLB: 項目 3 個のうち 1 個と線 3 本のうち 3 本がファイルにないため空にしました"},
      {"promise.VLB", fifty.substr(0, fifty.find("[Item5]")), 50, 0,
       "promise.VLB: 項目 50 個のうち 45 個がファイルにないため空にしました"},
      {"links.VLB", "[GraphicalEdit]\r\nType=0\r\nLinks=2\r\n\r\n[Link1]\r\nMain=1\r\n", 0, 2,
       "links.VLB: 線 2 本のうち 1 本がファイルにないため空にしました"},
  };
  for (const Case& k : cases) {
    Chart chart;
    FakeUserInterface fake;
    ASSERT_TRUE(openFile(chart, client, write(k.name, k.text), fake).opened) << k.name;
    EXPECT_TRUE(fake.messages.empty()) << k.name;
    EXPECT_EQ(chart.itemCount(), k.items) << k.name;
    EXPECT_EQ(chart.linkCount(), k.links) << k.name;
    if (k.status.empty()) {
      EXPECT_TRUE(fake.statuses.empty()) << k.name;
    } else {
      EXPECT_EQ(fake.statuses, std::vector<std::string>{k.status}) << k.name;
    }
  }
  // The items filled in are the defaults, selected like the others.
  Chart chart;
  ASSERT_TRUE(readChartFile(chart, client, path("promise.VLB"), ui).opened);
  EXPECT_EQ(ui.statuses.back(),
            "promise.VLB: 項目 50 個のうち 45 個がファイルにないため空にしました");
  const ChartItem& filled = chart.items[49];
  EXPECT_TRUE(filled.Selected);
  EXPECT_EQ(filled.Width, 50);
  EXPECT_EQ(filled.Height, 30);
  EXPECT_EQ(filled.PrmByte, 1);
}

TEST_F(ChartFileTest, EndsAndStartOutsideTheFileBecomeNone) {
  Chart chart;
  chart.createItem(kItemPos, 0, 0);
  chart.Start = -1;
  ASSERT_TRUE(readChartText(chart, client,
                            "[GraphicalEdit]\r\nType=0\r\nItems=2\r\nLinks=2\r\nStart=9\r\n\r\n"
                            "[Link0]\r\nOrigin=2\r\nFinal=1\r\n\r\n[Link1]\r\nOrigin=-7\r\n"
                            "Final=0\r\n",
                            ui)
                  .opened);
  EXPECT_EQ(chart.Start, -1);
  EXPECT_EQ(chart.links[0].Origin, -1);
  EXPECT_EQ(chart.links[0].Final, 2);
  EXPECT_EQ(chart.links[1].Origin, -1);
  EXPECT_EQ(chart.links[1].Final, 1);
}

TEST_F(ChartFileTest, CanvasFollowsTheClientArea) {
  Chart chart;
  ASSERT_TRUE(
      readChartText(chart, client, "[GraphicalEdit]\r\nType=0\r\nWidth=1000\r\n", ui).opened);
  EXPECT_EQ(client.width, 1004);
  EXPECT_EQ(client.height, 580);
  EXPECT_EQ(chart.Width, 1000);
  EXPECT_EQ(chart.Height, 576);
  // A smaller file leaves the window as it is; the canvas still takes the client area.
  chart.Width = 640;
  ASSERT_TRUE(
      readChartText(chart, client, "[GraphicalEdit]\r\nType=0\r\nWidth=300\r\n", ui).opened);
  EXPECT_EQ(client.width, 1004);
  EXPECT_EQ(chart.Width, 1000);
  // A header cannot ask for an unbounded canvas.
  ASSERT_TRUE(readChartText(chart, client, "[GraphicalEdit]\r\nType=0\r\nHeight=2147483647\r\n", ui)
                  .opened);
  EXPECT_EQ(chart.Height, kMaxCanvasExtent);
  EXPECT_EQ(client.height, kMaxCanvasExtent + 4);
}

// ---- pose tables ---------------------------------------------------------------------------

std::string poseLine(const std::string& no, const std::string& name, const std::string& speed,
                     const std::vector<std::string>& values) {
  std::string line = no + "," + name + "," + speed;
  for (int ch = 0; ch < kChannelCount; ++ch)
    line += "," + (ch < static_cast<int>(values.size()) ? values[ch] : std::string("0"));
  return line;
}

std::string poseHeader(const std::string& name) {
  std::string line = "NO," + name + ",SPEED";
  for (int ch = 1; ch <= kChannelCount; ++ch) line += ",CH" + std::to_string(ch);
  return line;
}

TEST_F(ChartFileTest, PoseTableBecomesAChainOfPositions) {
  std::string p = write("poses.csv", poseHeader("\"歩く 速く\"") + "\r\n" +
                                         poseLine("1", "立つ", "3",
                                                  {"-10", "225", "200", "abc", "221", "224", "226",
                                                   "180", "-180", "181", "0x10"}) +
                                         "\n" + poseLine("2", "\"a,b\"", "0", {}) + "\r" +
                                         poseLine("3", "end", "x", {}) + "\r\n");
  EXPECT_EQ(probeFile(p), kProbePoseTable);
  Chart chart;
  OpenOutcome o = openFile(chart, client, p, ui);
  ASSERT_TRUE(o.opened);
  EXPECT_TRUE(o.nameTaken);
  EXPECT_EQ(chart.Name, "歩く 速く");
  EXPECT_EQ(chart.Type, kMotionChart);
  EXPECT_EQ(chart.Start, 0);
  ASSERT_EQ(chart.itemCount(), 3);
  EXPECT_EQ(chart.items[0].Name, "立つ");
  EXPECT_EQ(chart.items[1].Name, "a,b");
  std::vector<ChartPoint> at;
  for (const auto& item : chart.items) {
    at.push_back({item.Left, item.Top});
    EXPECT_TRUE(item.Selected);
    EXPECT_EQ(item.Type, kItemPos);
    EXPECT_EQ(item.Width, 50);
    EXPECT_EQ(item.Color, kWhite);
  }
  EXPECT_EQ(at, (std::vector<ChartPoint>{{5, 5}, {5, 45}, {5, 85}}));
  EXPECT_EQ(chart.items[0].PrmByte, 8);
  EXPECT_EQ(chart.items[1].PrmByte, 1);
  EXPECT_EQ(chart.items[2].PrmByte, 2);  // not a number: code 1
  const auto& w = chart.items[0].PrmWords;
  EXPECT_EQ(w[0], 16374);
  EXPECT_EQ(w[1], 32768);
  EXPECT_EQ(w[2], 0);
  EXPECT_EQ(w[3], 32768);
  EXPECT_EQ(w[4], 32770);
  EXPECT_EQ(w[5], 32773);
  EXPECT_EQ(w[6], 32769);
  EXPECT_EQ(w[7], 16564);
  EXPECT_EQ(w[8], 16204);
  EXPECT_EQ(w[9], 0);
  EXPECT_EQ(w[10], 16384 + 16);
  EXPECT_EQ(w[11], 16384);
  ASSERT_EQ(chart.linkCount(), 2);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(chart.links[k].Origin, k);
    EXPECT_EQ(chart.links[k].Final, k + 1);
    EXPECT_EQ(chart.links[k].Main, 0);
    EXPECT_TRUE(chart.links[k].Point.empty());
    EXPECT_TRUE(chart.links[k].Selected);
  }
}

TEST_F(ChartFileTest, PoseSpeedCodesAndValues) {
  EXPECT_EQ(poseSpeedToPrmByte(0), 1);
  EXPECT_EQ(poseSpeedToPrmByte(7), 128);
  EXPECT_EQ(poseSpeedToPrmByte(8), 0);
  EXPECT_EQ(poseSpeedToPrmByte(31), 0);
  EXPECT_EQ(poseSpeedToPrmByte(32), 1);  // the power wraps at 32
  EXPECT_EQ(poseSpeedToPrmByte(-1), 0);
  EXPECT_EQ(poseValueToWord("-181"), 0);
  EXPECT_EQ(poseValueToWord("220"), 0);
  EXPECT_EQ(poseValueToWord("227"), 0);
  EXPECT_EQ(poseValueToWord(""), 32768);
  EXPECT_EQ(poseValueToWord("1.5"), 32768);
}

TEST_F(ChartFileTest, PoseTableAddedToAChartAndIntoTallColumns) {
  std::string text = poseHeader("P") + "\r\n";
  for (int i = 1; i <= 14; ++i) text += poseLine(std::to_string(i), "p", "1", {}) + "\r\n";
  std::string p = write("many.csv", text);
  Chart chart;
  chart.createItem(kItemSet, 0, 0);
  chart.Start = 0;
  chart.Name = "MINE";
  ASSERT_TRUE(openFile(chart, client, p, ui).opened);
  EXPECT_EQ(chart.Name, "MINE");
  EXPECT_EQ(chart.Start, 0);
  ASSERT_EQ(chart.itemCount(), 15);
  // A 480 canvas holds 12 rows (y = 5 ... 445) before the next column begins.
  EXPECT_EQ(chart.items[12].Top, 445);
  EXPECT_EQ(chart.items[13].Left, 75);
  EXPECT_EQ(chart.items[13].Top, 5);
  ASSERT_EQ(chart.linkCount(), 13);
  EXPECT_EQ(chart.links[0].Origin, 1);
  EXPECT_EQ(chart.links[12].Final, 14);
  EXPECT_FALSE(chart.items[0].Selected);
}

TEST_F(ChartFileTest, PoseTableIntoAScenarioAsksFirst) {
  std::string p = write("one.csv", poseHeader("P") + "\r\n" + poseLine("1", "a", "1", {}) + "\r\n");
  Chart chart;
  chart.createItem(kItemMot, 0, 0);
  ui.answers.push_back(kIdOk);
  ASSERT_TRUE(openFile(chart, client, p, ui).opened);
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(chart.Type, kMotionChart);
  EXPECT_EQ(chart.itemCount(), 1);
  EXPECT_EQ(chart.linkCount(), 0);
  EXPECT_EQ(chart.items[0].Name, "a");
}

TEST_F(ChartFileTest, PoseTablesThatAreNotRecognised) {
  std::string good2 = poseLine("1", "a", "1", {}) + "\r\n" + poseLine("2", "b", "1", {}) + "\r\n";
  std::string skipped = poseLine("1", "a", "1", {}) + "\r\n" + poseLine("3", "b", "1", {}) + "\r\n";
  EXPECT_EQ(probeText(poseHeader("P") + "\r\n" + good2), kProbePoseTable);
  EXPECT_NE(probeText(poseHeader("P") + "\r\n" + skipped), kProbePoseTable);
  EXPECT_NE(probeText(poseHeader("P") + "\r\n"), kProbePoseTable);  // header only
  EXPECT_NE(probeText("no,P,SPEED" + poseHeader("").substr(11) + "\r\n" + good2), kProbePoseTable);
  EXPECT_NE(probeText(poseHeader("P") + ",CH25\r\n" + good2), kProbePoseTable);
  EXPECT_NE(probeText(poseHeader("P") + "\r\n" + good2 + "\r\n"), kProbePoseTable);  // blank line

  std::string p = write("skip.csv", poseHeader("P") + "\r\n" + skipped);
  Chart chart;
  EXPECT_FALSE(openFile(chart, client, p, ui).opened);
  EXPECT_EQ(ui.lastMessage(), "指定のファイルは使用できません");
  EXPECT_EQ(ui.messages.back().kind, kMsgWarning);
}

TEST_F(ChartFileTest, ShortPoseLineStopsWithAnErrorAndChangesNothing) {
  std::string p = write(
      "short.csv", poseHeader("P") + "\r\n" + poseLine("1", "a", "1", {}) + "\r\n2,b,1,0,0\r\n");
  EXPECT_EQ(probeFile(p), kProbePoseTable);
  Chart chart;
  chart.Name = "KEEP";
  EXPECT_FALSE(openFile(chart, client, p, ui).opened);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, kMsgError);
  EXPECT_NE(ui.messages[0].text.find("3 行目"), std::string::npos);
  EXPECT_EQ(chart.itemCount(), 0);
  EXPECT_EQ(chart.Name, "KEEP");
}

}  // namespace
}  // namespace pvrj
