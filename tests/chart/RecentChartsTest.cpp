// Tests of the recent chart list and the file addresses it is kept as.
#include "chart/RecentCharts.h"

#include <gtest/gtest.h>

#include "common/FileIo.h"
#include "support/TempFolderTest.h"

namespace pvrj {
namespace {

using RecentChartsTest = test::TempFolderTest;

// Table: path -> address.
TEST(FileUri, EncodesEveryByteButTheUnreservedOnes) {
  const std::pair<const char*, const char*> rows[] = {
      {"/home/u/wave.VLB", "file:///home/u/wave.VLB"},
      {"/tmp/a b#c%d?.vlb", "file:///tmp/a%20b%23c%25d%3F.vlb"},
      {"/data/歩行.VLB", "file:///data/%E6%AD%A9%E8%A1%8C.VLB"},
      {"/x/~y_z-1.2", "file:///x/~y_z-1.2"},
  };
  for (const auto& [path, uri] : rows) {
    EXPECT_EQ(fileUri(path), uri);
    EXPECT_EQ(pathFromFileUri(uri), std::optional<std::string>(path));
  }
}

TEST(FileUri, OnlyLocalFileAddressesGiveAPath) {
  EXPECT_EQ(pathFromFileUri("file://localhost/tmp/x%41"), std::optional<std::string>("/tmp/xA"));
  EXPECT_FALSE(pathFromFileUri("http://host/x"));
  EXPECT_FALSE(pathFromFileUri("file://otherhost/tmp/x"));
  EXPECT_FALSE(pathFromFileUri("file:///tmp/%4"));
  EXPECT_FALSE(pathFromFileUri("file:///tmp/%zz"));
  EXPECT_FALSE(pathFromFileUri("file:///tmp/%00"));
}

TEST_F(RecentChartsTest, TheNewestTenStayNewestFirst) {
  RecentCharts list;
  for (int n = 1; n <= 12; ++n) list.add("/c/" + std::to_string(n) + ".VLB");
  ASSERT_EQ(list.paths().size(), kRecentChartLimit);
  EXPECT_EQ(list.paths().front(), "/c/12.VLB");
  EXPECT_EQ(list.paths().back(), "/c/3.VLB");
  list.add("/c/7.VLB");  // opened again: moves to the front, once
  EXPECT_EQ(list.paths().front(), "/c/7.VLB");
  EXPECT_EQ(list.paths().size(), kRecentChartLimit);
  EXPECT_EQ(std::count(list.paths().begin(), list.paths().end(), "/c/7.VLB"), 1);
  list.remove("/c/7.VLB");
  EXPECT_EQ(list.paths().front(), "/c/12.VLB");
  list.add("");
  EXPECT_EQ(list.paths().front(), "/c/12.VLB");
}

TEST_F(RecentChartsTest, TheListSurvivesSavingAndLoading) {
  RecentCharts list;
  list.add("/data/歩行 1.VLB");
  list.add("/tmp/wave.VLB");
  const std::string file = path("state/RecentFiles.ini");
  ASSERT_TRUE(list.save(file).ok());
  const RecentCharts back = RecentCharts::load(file);
  EXPECT_EQ(back.paths(), list.paths());
}

TEST_F(RecentChartsTest, AMissingOrDamagedFileGivesWhatCanBeRead) {
  EXPECT_TRUE(RecentCharts::load(path("none.ini")).paths().empty());
  ASSERT_TRUE(writeTextFile(path("r.ini"),
                            "[RecentFiles]\r\nFile1=file:///a.VLB\r\nFile2=garbage\r\n"
                            "File3=file:///a.VLB\r\nFile4=file:///b%20c.VLB\r\n")
                  .ok());
  const RecentCharts back = RecentCharts::load(path("r.ini"));
  EXPECT_EQ(back.paths(), (std::vector<std::string>{"/a.VLB", "/b c.VLB"}));
}

}  // namespace
}  // namespace pvrj
