// The strip chart's samples: thinning of fast streams and the thirty-second window.
#include <gtest/gtest.h>

#include <vector>

#include "tools/core/StripHistory.h"

namespace pvrj {
namespace {

TEST(StripHistory, SamplesWithinOneBucketMoveTheLastPointAlong) {
  StripHistory h(2, 30.0, 0.05);
  const double a[] = {1, 2};
  const double b[] = {3, 4};
  EXPECT_EQ(h.add(0.00, a), StripHistory::Change::kAppended);
  EXPECT_EQ(h.add(0.03, b), StripHistory::Change::kReplaced);
  ASSERT_EQ(h.series(1).size(), 1u);
  EXPECT_DOUBLE_EQ(h.series(1).back().t, 0.03);
  EXPECT_DOUBLE_EQ(h.series(1).back().value, 4);
  // The bucket opened at 0.00: 0.06 opens the next one, 0.08 falls into it.
  EXPECT_EQ(h.add(0.06, a), StripHistory::Change::kAppended);
  EXPECT_EQ(h.add(0.08, b), StripHistory::Change::kReplaced);
  EXPECT_EQ(h.series(0).size(), 2u);
}

TEST(StripHistory, AFastStreamKeepsABoundedNumberOfPoints) {
  StripHistory h(4);
  const std::vector<double> v(4, 1.0);
  for (int i = 0; i < 200 * 60; ++i) {  // one minute at 200 reports a second
    h.add(i * 0.005, v);
    h.trim();
  }
  EXPECT_LE(h.series(0).size(), static_cast<std::size_t>(kStripWindowSeconds / 0.05) + 2);
  EXPECT_GE(h.series(0).front().t, h.latest() - kStripWindowSeconds);
}

TEST(StripHistory, TrimDropsWhatIsOlderThanTheWindow) {
  StripHistory h(1, 10.0, 0.0);
  const double v[] = {0};
  for (int t = 0; t <= 25; ++t) h.add(t, v);
  EXPECT_EQ(h.trim(), 15u);
  EXPECT_DOUBLE_EQ(h.series(0).front().t, 15);
  EXPECT_EQ(h.trim(), 0u);
}

TEST(StripHistory, TimeNeverRunsBackwardsAndMissingValuesAreZero) {
  StripHistory h(3, 30.0, 0.0);
  const double one[] = {9};
  h.add(5, one);
  h.add(4, one);
  EXPECT_DOUBLE_EQ(h.series(2).back().t, 5);
  EXPECT_DOUBLE_EQ(h.series(2).back().value, 0);
  h.clear();
  EXPECT_TRUE(h.empty());
}

}  // namespace
}  // namespace pvrj
