// The samples behind a live strip chart: the last few seconds of a few series, thinned so that a
// fast stream keeps a bounded number of points.
#pragma once

#include <cstddef>
#include <deque>
#include <span>
#include <vector>

namespace pvrj {

// The plots show this much of the past.
inline constexpr double kStripWindowSeconds = 30.0;
// Samples closer together than this share one point: the newest replaces the one before.
inline constexpr double kStripBucketSeconds = 0.05;

struct StripPoint {
  double t = 0;  // seconds
  double value = 0;
};

class StripHistory {
 public:
  explicit StripHistory(std::size_t seriesCount, double windowSeconds = kStripWindowSeconds,
                        double bucketSeconds = kStripBucketSeconds);

  // What adding a sample did to every series' last point.
  enum class Change { kAppended, kReplaced };
  // Adds one value per series at time t (seconds, not earlier than the last sample; an earlier
  // one is taken as at the last time). Missing values count as 0, extra ones are ignored.
  Change add(double t, std::span<const double> values);
  // Drops the points older than the window before the latest sample; returns how many each
  // series lost from its front.
  std::size_t trim();
  void clear();

  std::size_t seriesCount() const { return series_.size(); }
  const std::deque<StripPoint>& series(std::size_t k) const { return series_[k]; }
  bool empty() const { return series_.empty() || series_.front().empty(); }
  // Time of the latest sample (0 before the first).
  double latest() const { return latest_; }
  double window() const { return window_; }

 private:
  std::vector<std::deque<StripPoint>> series_;
  double window_;
  double bucket_;
  double latest_ = 0;
  double bucketStart_ = 0;  // time of the sample that opened the last point's bucket
};

}  // namespace pvrj
