// The checks a chart passes before it is compiled: a Start item, and for every item the walk
// reaches, exactly one successor of each kind of line.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "common/UserInterface.h"

namespace pvrj {

inline constexpr const char* kNoStartItemText = "スタートのアイテムを設定してください";
inline constexpr const char* kNoBranchTargetText = "からの分岐先がありません";
inline constexpr const char* kLineErrorFrom = "からの";
inline constexpr const char* kLineErrorConnection = "結線";
inline constexpr const char* kLineErrorJoin = "と";
inline constexpr const char* kLineErrorBranch = "分岐線";
inline constexpr const char* kLineErrorTail = "に間違いがあります";

// The lines leaving each item, in link index order, so that checking an item does not scan every
// link of a large chart. Links whose ends name no item are left out: they can never be followed.
class LinkIndex {
 public:
  explicit LinkIndex(const Chart& chart);
  std::span<const int> linksFrom(int item) const;

 private:
  std::vector<int> first_;  // first_[i] .. first_[i + 1] is item i's range in links_
  std::vector<int> links_;
};

// What the walk goes on with after an item; -1 when there is none.
struct ItemSuccessors {
  std::int32_t next = -1;
  std::int32_t branch = -1;
};

// The Start item, or -1 when it is unset or names no item of the list.
int startItem(const Chart& chart);

// The check before any walk: an empty chart fails silently, a chart without a Start item fails
// with a warning box.
bool checkCompileEntry(const Chart& chart, UserInterface& ui);

// Which lines the check of an item counts. A scenario follows connection lines only: branch
// lines (left in a hand-edited file) play no part in it and are not counted.
enum class LineRules { kMotion, kScenario };

// Checks one item the walk is about to lay out. On failure an error box names the item and the
// fault, and false is returned.
bool checkItem(const Chart& chart, const LinkIndex& lines, int item, UserInterface& ui,
               ItemSuccessors& out, LineRules rules = LineRules::kMotion);

}  // namespace pvrj
