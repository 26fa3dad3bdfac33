// Per-item line checks with their messages, in the order the user is told about them.
#include "compiler/Validation.h"

namespace pvrj {

LinkIndex::LinkIndex(const Chart& chart) {
  const int n = chart.itemCount();
  first_.assign(static_cast<std::size_t>(n) + 1, 0);
  auto usable = [&](const ChartLink& l) {
    return chart.validItem(l.Origin) && chart.validItem(l.Final);
  };
  for (const ChartLink& l : chart.links)
    if (usable(l)) ++first_[l.Origin + 1];
  for (int i = 0; i < n; ++i) first_[i + 1] += first_[i];
  links_.resize(first_[n]);
  std::vector<int> fill(first_.begin(), first_.end() - 1);
  for (int k = 0; k < chart.linkCount(); ++k) {
    const ChartLink& l = chart.links[k];
    if (usable(l)) links_[fill[l.Origin]++] = k;
  }
}

std::span<const int> LinkIndex::linksFrom(int item) const {
  return std::span<const int>(links_).subspan(first_[item], first_[item + 1] - first_[item]);
}

int startItem(const Chart& chart) {
  return chart.validItem(chart.Start) ? chart.Start : -1;
}

bool checkCompileEntry(const Chart& chart, UserInterface& ui) {
  if (chart.itemCount() == 0) return false;
  if (startItem(chart) < 0) {
    ui.ShowMessageBox(kMsgWarning, kBtnOk, kNoStartItemText);
    return false;
  }
  return true;
}

bool checkItem(const Chart& chart, const LinkIndex& lines, int item, UserInterface& ui,
               ItemSuccessors& out, LineRules rules) {
  out = ItemSuccessors{};
  const bool scenario = rules == LineRules::kScenario;
  int connections = 0;
  int branches = 0;
  for (int k : lines.linksFrom(item)) {
    const ChartLink& l = chart.links[k];
    if (l.Main != 0) {
      if (scenario) continue;
      out.branch = l.Final;
      ++branches;
    } else {
      out.next = l.Final;
      ++connections;
    }
  }
  const ChartItem& it = chart.items[item];
  const bool isCompare = !scenario && it.Type == kItemCmp;
  if (isCompare && branches == 0) {
    ui.ShowMessageBox(kMsgError, kBtnOk, it.Name + kNoBranchTargetText);
    return false;
  }
  // Only a compare item may branch; a branch line elsewhere (a hand-edited file) would turn the
  // item's words into a jump, so it is reported like a surplus branch line.
  const bool badBranches = branches > 1 || (!isCompare && branches > 0);
  if (connections > 1 || badBranches) {
    std::string what;
    if (connections > 1) {
      out.next = -1;
      what += kLineErrorConnection;
    }
    if (badBranches) {
      out.branch = -1;
      if (!what.empty()) what += kLineErrorJoin;
      what += kLineErrorBranch;
    }
    ui.ShowMessageBox(kMsgError, kBtnOk, it.Name + kLineErrorFrom + what + kLineErrorTail);
    return false;
  }
  return true;
}

}  // namespace pvrj
