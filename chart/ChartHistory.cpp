// Undo and redo of the chart by comparing it with the state last recorded.
#include "chart/ChartHistory.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace pvrj {
namespace {

// Text that fits the string's own buffer takes no memory of its own.
constexpr std::size_t kShortStringCapacity = 15;

std::size_t bytesOf(const std::string& text) {
  return text.capacity() > kShortStringCapacity ? text.capacity() + 1 : 0;
}
std::size_t bytesOf(const ChartItem& item) {
  return sizeof(ChartItem) + bytesOf(item.Name);
}
std::size_t bytesOf(const ChartLink& link) {
  return sizeof(ChartLink) + link.Point.capacity() * sizeof(ChartPoint);
}
template <class T>
std::size_t bytesOf(const std::vector<ChartRun<T>>& runs) {
  std::size_t bytes = runs.capacity() * sizeof(ChartRun<T>);
  for (const auto& run : runs) {
    bytes += (run.stored.capacity() - run.stored.size()) * sizeof(T);
    for (const T& entry : run.stored) bytes += bytesOf(entry);
  }
  return bytes;
}
std::size_t bytesOf(const ChartHistory::Step& step) {
  std::size_t bytes = sizeof(ChartHistory::Step) + bytesOf(step.items) + bytesOf(step.links) +
                      step.renumbered.capacity() * sizeof(std::int32_t);
  if (step.header) bytes += bytesOf(step.header->Name);
  if (step.path) bytes += bytesOf(*step.path);
  return bytes;
}

void copyContent(Chart& to, const Chart& from) {
  applyHeader(to, headerOf(from));
  to.items = from.items;
  to.links = from.links;
}

// Whether short[shortFirst, shortEnd) appears in long[longFirst, longEnd) in order, matching
// each entry as early as it can (the same rule the walks below follow).
template <class T, class Same>
bool inOrderWithin(const std::vector<T>& shorter, std::size_t shortFirst, std::size_t shortEnd,
                   const std::vector<T>& longer, std::size_t longFirst, std::size_t longEnd,
                   const Same& same) {
  std::size_t j = shortFirst;
  for (std::size_t i = longFirst; i < longEnd && j < shortEnd; ++i) {
    if (same(longer[i], shorter[j])) ++j;
  }
  return j == shortEnd;
}

// The runs that turn `now` back into `old`, in the coordinates of `now`; the old entries are
// moved out of `old` into the runs. removedOld, when given, receives the indices of old entries
// that a pure removal dropped (and is left empty otherwise). same(oldEntry, nowEntry).
template <class T, class Same>
std::vector<ChartRun<T>> diffRuns(std::vector<T>& old, const std::vector<T>& now, const Same& same,
                                  std::vector<std::int32_t>* removedOld) {
  std::vector<ChartRun<T>> runs;
  const std::size_t n = old.size();
  const std::size_t m = now.size();
  if (n == m) {
    for (std::size_t i = 0; i < n;) {
      if (same(old[i], now[i])) {
        ++i;
        continue;
      }
      ChartRun<T> run;
      run.at = i;
      for (; i < n && !same(old[i], now[i]); ++i) run.stored.push_back(std::move(old[i]));
      run.count = run.stored.size();
      runs.push_back(std::move(run));
    }
    return runs;
  }
  std::size_t p = 0;
  while (p < n && p < m && same(old[p], now[p])) ++p;
  std::size_t s = 0;
  while (s < n - p && s < m - p && same(old[n - 1 - s], now[m - 1 - s])) ++s;
  const std::size_t oldEnd = n - s;
  const std::size_t nowEnd = m - s;
  if (m < n && inOrderWithin(now, p, nowEnd, old, p, oldEnd, same)) {
    // Entries were only removed (deleting): keep just those.
    std::size_t j = p;
    for (std::size_t i = p; i < oldEnd;) {
      if (j < nowEnd && same(old[i], now[j])) {
        ++i;
        ++j;
        continue;
      }
      ChartRun<T> run;
      run.at = j;
      for (; i < oldEnd && !(j < nowEnd && same(old[i], now[j])); ++i) {
        if (removedOld) removedOld->push_back(static_cast<std::int32_t>(i));
        run.stored.push_back(std::move(old[i]));
      }
      runs.push_back(std::move(run));
    }
    return runs;
  }
  if (m > n && inOrderWithin(old, p, oldEnd, now, p, nowEnd, same)) {
    // Entries were only added (placing, pasting, opening into a chart): nothing to keep but where.
    std::size_t i = p;
    for (std::size_t j = p; j < nowEnd;) {
      if (i < oldEnd && same(old[i], now[j])) {
        ++i;
        ++j;
        continue;
      }
      ChartRun<T> run;
      run.at = j;
      for (; j < nowEnd && !(i < oldEnd && same(old[i], now[j])); ++j) ++run.count;
      runs.push_back(std::move(run));
    }
    return runs;
  }
  ChartRun<T> run;
  run.at = p;
  run.count = nowEnd - p;
  run.stored.assign(std::make_move_iterator(old.begin() + static_cast<std::ptrdiff_t>(p)),
                    std::make_move_iterator(old.begin() + static_cast<std::ptrdiff_t>(oldEnd)));
  runs.push_back(std::move(run));
  return runs;
}

template <class T>
bool inPlace(const std::vector<ChartRun<T>>& runs) {
  return std::all_of(runs.begin(), runs.end(),
                     [](const ChartRun<T>& run) { return run.count == run.stored.size(); });
}

// Swaps every run with what the sequence holds there; keep() is applied to every entry outside
// the runs. Afterwards each run holds what was taken out, in the new coordinates.
template <class T, class Keep>
void applyRuns(std::vector<T>& seq, std::vector<ChartRun<T>>& runs, const Keep& keep) {
  if (inPlace(runs)) {
    std::size_t next = 0;
    for (auto& run : runs) {
      for (std::size_t i = next; i < run.at; ++i) keep(seq[i]);
      for (std::size_t k = 0; k < run.count; ++k) std::swap(seq[run.at + k], run.stored[k]);
      next = run.at + run.count;
    }
    for (std::size_t i = next; i < seq.size(); ++i) keep(seq[i]);
    return;
  }
  std::size_t size = seq.size();
  for (const auto& run : runs) size = size - run.count + run.stored.size();
  std::vector<T> out;
  out.reserve(size);
  std::size_t pos = 0;
  for (auto& run : runs) {
    for (; pos < run.at; ++pos) {
      out.push_back(std::move(seq[pos]));
      keep(out.back());
    }
    const auto first = seq.begin() + static_cast<std::ptrdiff_t>(run.at);
    std::vector<T> taken(std::make_move_iterator(first),
                         std::make_move_iterator(first + static_cast<std::ptrdiff_t>(run.count)));
    pos = run.at + run.count;
    run.at = out.size();
    run.count = run.stored.size();
    for (T& entry : run.stored) out.push_back(std::move(entry));
    run.stored = std::move(taken);
  }
  for (; pos < seq.size(); ++pos) {
    out.push_back(std::move(seq[pos]));
    keep(out.back());
  }
  seq = std::move(out);
}

// Link ends as they are after the removal of some items (forward) or before it (backward).
class Renumbering {
 public:
  Renumbering(const std::vector<std::int32_t>& removed, std::int32_t itemsBefore, bool forward)
      : forward_(forward) {
    const std::size_t before = static_cast<std::size_t>(itemsBefore);
    if (forward) {
      map_.assign(before, -1);
      std::size_t r = 0;
      std::int32_t next = 0;
      for (std::size_t i = 0; i < before; ++i) {
        if (r < removed.size() && static_cast<std::size_t>(removed[r]) == i) {
          ++r;
          continue;
        }
        map_[i] = next++;
      }
    } else {
      map_.reserve(before - removed.size());
      std::size_t r = 0;
      for (std::size_t i = 0; i < before; ++i) {
        if (r < removed.size() && static_cast<std::size_t>(removed[r]) == i) {
          ++r;
          continue;
        }
        map_.push_back(static_cast<std::int32_t>(i));
      }
    }
  }
  // The end as renumbered; false for an end at a removed item. Ends that name no item stay.
  bool map(std::int32_t end, std::int32_t& out) const {
    if (end < 0 || static_cast<std::size_t>(end) >= map_.size()) {
      out = end;
      return true;
    }
    out = map_[static_cast<std::size_t>(end)];
    return out >= 0 || !forward_;
  }
  void renumber(ChartLink& link) const {
    std::int32_t o = 0;
    std::int32_t f = 0;
    map(link.Origin, o);
    map(link.Final, f);
    link.Origin = o;
    link.Final = f;
  }

 private:
  bool forward_;
  std::vector<std::int32_t> map_;
};

}  // namespace

ChartHeader headerOf(const Chart& chart) {
  return {chart.Type, chart.Start, chart.Name, chart.Port, chart.Ctrl, chart.Width, chart.Height};
}

void applyHeader(Chart& chart, const ChartHeader& header) {
  chart.Type = header.Type;
  chart.Start = header.Start;
  chart.Name = header.Name;
  chart.Port = header.Port;
  chart.Ctrl = header.Ctrl;
  chart.Width = header.Width;
  chart.Height = header.Height;
}

bool sameContent(const ChartItem& a, const ChartItem& b) {
  return a.Left == b.Left && a.Top == b.Top && a.Width == b.Width && a.Height == b.Height &&
         a.Color == b.Color && a.Type == b.Type && a.PrmByte == b.PrmByte &&
         a.PrmWords == b.PrmWords && a.Name == b.Name;
}

bool sameContent(const ChartLink& a, const ChartLink& b) {
  return a.Main == b.Main && a.Origin == b.Origin && a.Final == b.Final && a.Point == b.Point;
}

ChartHistory::ChartHistory(Chart& chart, std::size_t stepLimit, std::size_t byteBudget)
    : chart_(chart), stepLimit_(std::max<std::size_t>(stepLimit, 1)), byteBudget_(byteBudget) {
  reset();
}

void ChartHistory::reset(const std::string& path) {
  steps_.clear();
  position_ = 0;
  stepBytes_ = 0;
  copyContent(recorded_, chart_);
  current_ = next_++;
  path_ = path;
  saved_.clear();
  saved_[path_] = current_;
}

bool ChartHistory::pending() const {
  if (headerOf(recorded_) != headerOf(chart_)) return true;
  const auto itemSame = [](const ChartItem& a, const ChartItem& b) { return sameContent(a, b); };
  const auto linkSame = [](const ChartLink& a, const ChartLink& b) { return sameContent(a, b); };
  return !std::equal(recorded_.items.begin(), recorded_.items.end(), chart_.items.begin(),
                     chart_.items.end(), itemSame) ||
         !std::equal(recorded_.links.begin(), recorded_.links.end(), chart_.links.begin(),
                     chart_.links.end(), linkSame);
}

bool ChartHistory::modified() const {
  if (pending()) return true;
  const auto saved = saved_.find(path_);
  return saved == saved_.end() || saved->second != current_;
}

bool ChartHistory::commit() {
  return record(std::nullopt);
}

bool ChartHistory::commitOpened(const std::string& path, bool sameAsFile) {
  if (!sameAsFile) return record(std::nullopt);
  const bool recorded = record(path);
  saved_[path_] = current_;
  return recorded;
}

bool ChartHistory::commitAs(const std::string& path) {
  return record(path);
}

bool ChartHistory::record(const std::optional<std::string>& path) {
  const bool pathChanges = path && *path != path_;
  if (!pathChanges && !pending()) {
    // Nothing to undo, but the selection is what the next step's old entries should carry.
    for (std::size_t i = 0; i < recorded_.items.size(); ++i)
      recorded_.items[i].Selected = chart_.items[i].Selected;
    for (std::size_t i = 0; i < recorded_.links.size(); ++i)
      recorded_.links[i].Selected = chart_.links[i].Selected;
    return false;
  }
  Step step;
  step.before = current_;
  step.itemsBefore = recorded_.itemCount();
  const ChartHeader header = headerOf(chart_);
  if (headerOf(recorded_) != header) {
    step.header = headerOf(recorded_);
    applyHeader(recorded_, header);
  }
  if (pathChanges) {
    step.path = path_;
    path_ = *path;
  }
  const auto itemSame = [](const ChartItem& a, const ChartItem& b) { return sameContent(a, b); };
  std::vector<std::int32_t> removed;
  step.items = diffRuns(recorded_.items, chart_.items, itemSame, &removed);
  const bool itemsInPlace = inPlace(step.items);
  if (!removed.empty() && !chart_.links.empty()) {
    // Deleting renumbers the ends of every link after a deleted item; compare the old links as
    // renumbered, so only the links that went or really changed are kept.
    const Renumbering forward(removed, step.itemsBefore, true);
    const auto renumberedSame = [&forward](const ChartLink& old, const ChartLink& now) {
      std::int32_t o = 0;
      std::int32_t f = 0;
      return forward.map(old.Origin, o) && forward.map(old.Final, f) && o == now.Origin &&
             f == now.Final && old.Main == now.Main && old.Point == now.Point;
    };
    step.links = diffRuns(recorded_.links, chart_.links, renumberedSame, nullptr);
    step.renumbered = std::move(removed);
  } else {
    const auto linkSame = [](const ChartLink& a, const ChartLink& b) { return sameContent(a, b); };
    step.links = diffRuns(recorded_.links, chart_.links, linkSame, nullptr);
  }
  // The recorded state becomes the chart as it is now.
  if (itemsInPlace) {
    for (const auto& run : step.items) {
      for (std::size_t k = 0; k < run.count; ++k)
        recorded_.items[run.at + k] = chart_.items[run.at + k];
    }
    for (std::size_t i = 0; i < recorded_.items.size(); ++i)
      recorded_.items[i].Selected = chart_.items[i].Selected;
  } else {
    recorded_.items = chart_.items;
  }
  if (step.renumbered.empty() && inPlace(step.links)) {
    for (const auto& run : step.links) {
      for (std::size_t k = 0; k < run.count; ++k)
        recorded_.links[run.at + k] = chart_.links[run.at + k];
    }
    for (std::size_t i = 0; i < recorded_.links.size(); ++i)
      recorded_.links[i].Selected = chart_.links[i].Selected;
  } else {
    recorded_.links = chart_.links;
  }

  // A new step ends the steps that were undone.
  while (steps_.size() > position_) {
    stepBytes_ -= steps_.back().bytes;
    steps_.pop_back();
  }
  current_ = next_++;
  step.after = current_;
  step.bytes = bytesOf(step);
  stepBytes_ += step.bytes;
  steps_.push_back(std::move(step));
  position_ = steps_.size();
  trim();
  return true;
}

void ChartHistory::trim() {
  while (steps_.size() > 1 && (steps_.size() > stepLimit_ || stepBytes_ > byteBudget_)) {
    stepBytes_ -= steps_.front().bytes;
    steps_.pop_front();
    --position_;
  }
}

void ChartHistory::apply(Step& step) {
  // What stays outside the step's runs is deselected: afterwards just what the step changed is
  // selected, as it was when it was recorded.
  const auto keepItem = [](ChartItem& item) { item.Selected = false; };
  if (step.renumbered.empty()) {
    applyRuns(chart_.links, step.links, [](ChartLink& link) { link.Selected = false; });
  } else {
    // Going back the kept links get their old numbers; going forward their new ones.
    const Renumbering renumbering(step.renumbered, step.itemsBefore, !step.applied);
    applyRuns(chart_.links, step.links, [&renumbering](ChartLink& link) {
      link.Selected = false;
      renumbering.renumber(link);
    });
  }
  applyRuns(chart_.items, step.items, keepItem);
  if (step.header) {
    ChartHeader other = headerOf(chart_);
    applyHeader(chart_, *step.header);
    step.header = std::move(other);
  }
  if (step.path) std::swap(*step.path, path_);
  step.applied = !step.applied;

  stepBytes_ -= step.bytes;
  step.bytes = bytesOf(step);
  stepBytes_ += step.bytes;
  // Indices held elsewhere (the line in progress, hits, open editors) may now name other items.
  chart_.generation.renew();
  copyContent(recorded_, chart_);
}

bool ChartHistory::canUndo() const {
  return position_ > 0 || pending();
}

bool ChartHistory::canRedo() const {
  return position_ < steps_.size() && !pending();
}

bool ChartHistory::undo() {
  commit();
  if (position_ == 0) return false;
  Step& step = steps_[position_ - 1];
  apply(step);
  --position_;
  current_ = step.before;
  return true;
}

bool ChartHistory::redo() {
  commit();
  if (position_ >= steps_.size()) return false;
  Step& step = steps_[position_];
  apply(step);
  ++position_;
  current_ = step.after;
  return true;
}

void ChartHistory::markSaved(const std::string& path) {
  commit();
  path_ = path;
  saved_[path_] = current_;
}

std::size_t ChartHistory::memoryBytes() const {
  std::size_t bytes = stepBytes_ + sizeof(*this);
  bytes += recorded_.items.capacity() * sizeof(ChartItem);
  for (const auto& item : recorded_.items) bytes += bytesOf(item.Name);
  bytes += recorded_.links.capacity() * sizeof(ChartLink);
  for (const auto& link : recorded_.links) bytes += link.Point.capacity() * sizeof(ChartPoint);
  return bytes;
}

}  // namespace pvrj
