// Mutated chart files and pose tables: reading never crashes, and never leaves a reference
// outside the item list.
#include <gtest/gtest.h>

#include <random>

#include "chart/ChartFile.h"
#include "common/Encoding.h"
#include "common/FileIo.h"
#include "support/FakeUserInterface.h"

namespace pvrj {
namespace {

constexpr int kMutants = 1500;

std::string mutate(std::string text, std::mt19937& rng) {
  static const std::string pieces[] = {"=",   ",",   "\r\n", "[",        "]",      "-1",
                                       "999", "0x",  "$",    "Items=50", "\"",     " ",
                                       ";",   "Prm", "Link", "Start=2",  "Origin", "Final=7"};
  std::uniform_int_distribution<int> kind(0, 3);
  int edits = 1 + static_cast<int>(rng() % 6);
  for (int e = 0; e < edits && !text.empty(); ++e) {
    std::size_t at = rng() % text.size();
    switch (kind(rng)) {
      case 0:
        text.erase(at, 1 + rng() % 20);
        break;
      case 1:
        text.insert(at, pieces[rng() % std::size(pieces)]);
        break;
      case 2:
        text[at] = static_cast<char>(rng() % 256);
        break;
      default:
        text = text.substr(0, at);
        break;
    }
  }
  return text;
}

void expectConsistent(const Chart& chart) {
  ASSERT_TRUE(chart.Start == -1 || chart.validItem(chart.Start)) << chart.Start;
  for (const auto& link : chart.links) {
    EXPECT_TRUE(link.Origin == -1 || chart.validItem(link.Origin)) << link.Origin;
    EXPECT_TRUE(link.Final == -1 || chart.validItem(link.Final)) << link.Final;
  }
}

TEST(ChartFileRobustness, MutatedChartFilesReadSafely) {
  const std::string wave =
      cp932ToUtf8(readFileBytes(std::string(PVRJ_SOURCE_DIR) + "/examples/wave.vlb").value());
  std::mt19937 rng(20261208);
  int opened = 0;
  for (int i = 0; i < kMutants; ++i) {
    std::string text = mutate(wave, rng);
    Chart chart;
    chart.createItem(kItemPos, 0, 0);
    chart.Start = 0;
    test::FakeUserInterface ui;
    ClientArea client;
    int probe = probeText(text);
    OpenOutcome o{};
    if (probe == kProbeMotionChart || probe == kProbeScenarioChart) {
      o = readChartText(chart, client, text, ui);
    } else if (probe == kProbePoseTable) {
      o = readPoseTableText(chart, text, ui);
    }
    if (o.opened) {
      ++opened;
      EXPECT_TRUE(ui.messages.empty());
    } else {
      EXPECT_EQ(chart.itemCount(), 1);  // a refused file changes nothing
    }
    expectConsistent(chart);
    EXPECT_LE(chart.Width, kMaxCanvasExtent);
    EXPECT_LE(chart.Height, kMaxCanvasExtent);
  }
  EXPECT_GT(opened, kMutants / 10);  // the mutations must not all be refusals
}

TEST(ChartFileRobustness, MutatedPoseTablesReadSafely) {
  std::string table = "NO,NAME,SPEED";
  for (int ch = 1; ch <= kChannelCount; ++ch) table += ",CH" + std::to_string(ch);
  table += "\r\n";
  for (int i = 1; i <= 4; ++i) {
    table += std::to_string(i) + ",\"p " + std::to_string(i) + "\"," + std::to_string(i);
    for (int ch = 0; ch < kChannelCount; ++ch) table += "," + std::to_string(ch * 7 - 80);
    table += "\r\n";
  }
  std::mt19937 rng(7);
  for (int i = 0; i < kMutants; ++i) {
    std::string text = mutate(table, rng);
    Chart chart;
    test::FakeUserInterface ui;
    if (probeText(text) == kProbePoseTable) {
      OpenOutcome o = readPoseTableText(chart, text, ui);
      if (o.opened) {
        EXPECT_EQ(chart.linkCount(), chart.itemCount() - 1);
        EXPECT_EQ(chart.Start, 0);
      } else {
        EXPECT_EQ(chart.itemCount(), 0);
      }
    }
    expectConsistent(chart);
  }
}

}  // namespace
}  // namespace pvrj
