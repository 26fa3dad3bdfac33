// Undo and redo of the chart: steps found by comparing the chart with the state last recorded, so
// every window that changes the chart in place is covered without telling anyone what it did.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "chart/Chart.h"

namespace pvrj {

// Steps kept for undo; the oldest go first.
inline constexpr std::size_t kUndoStepLimit = 256;
// Bytes the kept steps may take together; beyond it the oldest go first. Only steps that each
// replace most of a very large chart reach it (a 10,000-item chart needs about 2 MB per such step).
inline constexpr std::size_t kUndoByteBudget = std::size_t{512} * 1024 * 1024;

// The chart's own fields besides its items and links.
struct ChartHeader {
  std::uint8_t Type = kMotionChart;
  std::int32_t Start = -1;
  std::string Name;
  std::uint32_t Port = kAllChannels;
  std::int32_t Ctrl = kDefaultCtrl;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  friend bool operator==(const ChartHeader&, const ChartHeader&) = default;
};
ChartHeader headerOf(const Chart& chart);
void applyHeader(Chart& chart, const ChartHeader& header);

// Item and link contents as the file keeps them: everything but the selection.
bool sameContent(const ChartItem& a, const ChartItem& b);
bool sameContent(const ChartLink& a, const ChartLink& b);

class ChartHistory {
 public:
  // The chart as it is now is the first recorded state: untitled and unmodified.
  explicit ChartHistory(Chart& chart, std::size_t stepLimit = kUndoStepLimit,
                        std::size_t byteBudget = kUndoByteBudget);
  ChartHistory(const ChartHistory&) = delete;
  ChartHistory& operator=(const ChartHistory&) = delete;

  // Records what changed since the last record as one step; false when nothing did (a change of
  // selection alone is none). A step drops the steps that were undone before it.
  bool commit();
  // The same for a chart just read from a file: the chart now belongs to path, and when
  // sameAsFile it holds exactly what that file holds (it was empty or replaced). Undoing the step
  // gives back the old chart with its old file.
  bool commitOpened(const std::string& path, bool sameAsFile);
  // The same for a chart that now belongs to path without being what that file holds (a
  // recovered chart belongs to no file: "").
  bool commitAs(const std::string& path);

  // Undo and redo record any change not yet recorded first, so it is what gets undone. They
  // select what they changed (as it was selected then) and nothing else, and renew the chart's
  // generation, since item indices may now name other items.
  bool undo();
  bool redo();
  bool canUndo() const;
  bool canRedo() const;
  std::size_t undoCount() const { return position_; }
  std::size_t redoCount() const { return steps_.size() - position_; }

  // Forgets every step: the chart as it is becomes the recorded state, belonging to path ("" for
  // none) and unmodified.
  void reset(const std::string& path = {});

  // The file the chart belongs to ("" when it has none).
  const std::string& filePath() const { return path_; }
  // The chart as it is now was written to path, which it now belongs to.
  void markSaved(const std::string& path);
  // The chart differs from its file, or, without one, from the empty start: a change was
  // recorded since, or is still waiting to be.
  bool modified() const;
  // The chart differs from the last recorded state (ignoring the selection).
  bool pending() const;
  // Changes with every recorded step, undo and redo; the same number means the same chart.
  std::uint64_t stateId() const { return current_; }

  // Memory the history holds: the recorded state the chart is compared with, and the steps.
  std::size_t memoryBytes() const;
  std::size_t stepBytes() const { return stepBytes_; }

  struct Step;

 private:
  bool record(const std::optional<std::string>& path);
  void apply(Step& step);
  void trim();

  Chart& chart_;
  Chart recorded_;  // the chart as of the last record, selection included
  std::deque<Step> steps_;
  std::size_t position_ = 0;  // steps applied; the rest can be redone
  std::size_t stepLimit_;
  std::size_t byteBudget_;
  std::size_t stepBytes_ = 0;
  std::uint64_t current_ = 0;
  std::uint64_t next_ = 1;
  std::string path_;
  std::map<std::string, std::uint64_t> saved_;  // per file: the state written to it last
};

// A run of items or links that a step puts back: at `at` the chart now holds `count` entries,
// which `stored` replaces. Applying swaps them, so the same run then puts the others back.
template <class T>
struct ChartRun {
  std::size_t at = 0;
  std::size_t count = 0;
  std::vector<T> stored;
};

struct ChartHistory::Step {
  std::uint64_t before = 0;  // state ids on either side of the step
  std::uint64_t after = 0;
  bool applied = true;  // the chart holds the state after the step
  std::optional<ChartHeader> header;
  std::optional<std::string> path;
  std::vector<ChartRun<ChartItem>> items;
  std::vector<ChartRun<ChartLink>> links;
  // Items that the step removes (indices before it, ascending) when the links that stay only had
  // their ends renumbered for it, as deleting does: then those links are not stored at all.
  std::vector<std::int32_t> renumbered;
  std::int32_t itemsBefore = 0;  // item count before the step, for the renumbering
  std::size_t bytes = 0;
};

}  // namespace pvrj
