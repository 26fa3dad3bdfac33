// Thinning and trimming of the strip chart samples.
#include "tools/core/StripHistory.h"

#include <algorithm>

namespace pvrj {

StripHistory::StripHistory(std::size_t seriesCount, double windowSeconds, double bucketSeconds)
    : series_(seriesCount), window_(windowSeconds), bucket_(bucketSeconds) {}

StripHistory::Change StripHistory::add(double t, std::span<const double> values) {
  const bool first = empty();
  if (!first) t = std::max(t, latest_);
  latest_ = t;
  // The bucket opens at its first sample; later samples within it move the last point along.
  const bool replace = !first && t - bucketStart_ < bucket_;
  if (!replace) bucketStart_ = t;
  for (std::size_t k = 0; k < series_.size(); ++k) {
    const StripPoint p{t, k < values.size() ? values[k] : 0.0};
    if (replace) {
      series_[k].back() = p;
    } else {
      series_[k].push_back(p);
    }
  }
  return replace ? Change::kReplaced : Change::kAppended;
}

std::size_t StripHistory::trim() {
  if (empty()) return 0;
  const double oldest = latest_ - window_;
  std::size_t dropped = 0;
  // Every series has its points at the same times, so all lose the same number.
  while (dropped < series_.front().size() && series_.front()[dropped].t < oldest) ++dropped;
  for (auto& s : series_) s.erase(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(dropped));
  return dropped;
}

void StripHistory::clear() {
  for (auto& s : series_) s.clear();
  latest_ = 0;
  bucketStart_ = 0;
}

}  // namespace pvrj
