// Tests of the autosave: the writer thread, the file left by a run that did not end normally, the
// question about it and setting it aside.
#include "chart/Autosave.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>

#include "chart/ChartFile.h"
#include "common/FileIo.h"
#include "support/FakeUserInterface.h"
#include "support/TempFolderTest.h"

namespace pvrj {
namespace {

class AutosaveTest : public test::TempFolderTest {
 protected:
  std::string folder() const { return path("autosave"); }
  Chart chartOf(int items) {
    Chart chart;
    for (int i = 0; i < items; ++i) chart.createItem(kItemPos, 10 + 60 * i, 20);
    chart.Name = "AUTO";
    return chart;
  }
  // Reads a file back as the load button would into an empty chart.
  Chart readBack(const std::string& file) {
    Chart chart;
    ClientArea client;
    test::FakeUserInterface ui;
    EXPECT_TRUE(openFile(chart, client, file, ui).opened);
    return chart;
  }
};

TEST_F(AutosaveTest, TheWriterSavesTheChartAsAWholeFile) {
  Chart chart = chartOf(3);
  chart.items[1].Selected = true;
  chart.clipboard.items.push_back(chart.items[0]);
  {
    AutosaveWriter writer(folder());
    writer.save(chart);
    writer.wait();
    EXPECT_TRUE(writer.lastResult().ok()) << writer.lastResult().message();
    EXPECT_EQ(writer.finished(), 1u);
  }
  const auto left = findLeftAutosave(folder());
  ASSERT_TRUE(left);
  EXPECT_EQ(left->path, folder() + "/autosave.VLB");
  // What a save of the chart would write, selection and clipboard aside.
  const Result<std::string> text = readTextFile(left->path);
  ASSERT_TRUE(text.ok());
  EXPECT_EQ(text.value(), chartFileText(chart));
}

TEST_F(AutosaveTest, ANewerChartReplacesOneStillWaiting) {
  AutosaveWriter writer(folder());
  for (int n = 1; n <= 20; ++n) writer.save(chartOf(n));
  writer.wait();
  EXPECT_LE(writer.finished(), 20u);
  EXPECT_EQ(readBack(autosavePath(folder())).itemCount(), 20);
}

TEST_F(AutosaveTest, AFolderThatCannotBeMadeIsReported) {
  ASSERT_TRUE(writeTextFile(path("file"), "x").ok());
  AutosaveWriter writer(path("file") + "/autosave");
  writer.save(chartOf(1));
  writer.wait();
  EXPECT_FALSE(writer.lastResult().ok());
}

TEST_F(AutosaveTest, NothingLeftWithoutTheFileAndAfterANormalExit) {
  EXPECT_FALSE(findLeftAutosave(folder()));
  AutosaveWriter writer(folder());
  writer.save(chartOf(1));
  writer.wait();
  writer.stop();
  ASSERT_TRUE(findLeftAutosave(folder()));
  removeAutosave(folder());
  EXPECT_FALSE(findLeftAutosave(folder()));
}

TEST_F(AutosaveTest, TheQuestionTellsWhenTheChartWasSaved) {
  std::tm parts{};
  parts.tm_year = 2024 - 1900;
  parts.tm_mon = 4;
  parts.tm_mday = 6;
  parts.tm_hour = 13;
  parts.tm_min = 7;
  parts.tm_sec = 9;
  parts.tm_isdst = -1;
  const std::string text = recoveryQuestion(std::mktime(&parts));
  EXPECT_EQ(text.find("前回の編集内容が残っています。復元しますか？"), 0u);
  EXPECT_NE(text.find("2024/05/06 13:07:09"), std::string::npos);
}

TEST_F(AutosaveTest, SettingAsideKeepsEveryFile) {
  std::filesystem::create_directories(folder());
  const std::string file = autosavePath(folder());
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(writeChartFile(chartOf(round + 1), file).ok());
    utimbuf times{1700000000, 1700000000};  // the same second each time
    ASSERT_EQ(::utime(file.c_str(), &times), 0);
    const auto left = findLeftAutosave(folder());
    ASSERT_TRUE(left);
    EXPECT_EQ(left->savedAt, 1700000000);
    const Result<std::string> kept = setAutosaveAside(folder(), *left);
    ASSERT_TRUE(kept.ok()) << kept.message();
    EXPECT_EQ(readBack(kept.value()).itemCount(), round + 1);
    EXPECT_FALSE(findLeftAutosave(folder()));
  }
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder() + "/kept"))
    ++files;
  EXPECT_EQ(files, 3);
}

}  // namespace
}  // namespace pvrj
