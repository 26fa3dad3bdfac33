// The walk keeps its pending lists on an explicit stack so that a long or deeply branching chart
// cannot exhaust the call stack; the order of the steps is that of the recursive description.
#include "compiler/Walk.h"

#include "compiler/Validation.h"

namespace pvrj {

namespace {
// One path's branch targets still to be walked, and how far through them we are.
struct PendingFrame {
  std::vector<int> pending;
  std::size_t next = 0;
};
}  // namespace

bool walkChart(const Chart& chart, int start, UserInterface& ui, std::vector<Step>& steps) {
  const LinkIndex lines(chart);
  std::vector<std::uint8_t> visited(chart.items.size(), 0);
  std::vector<PendingFrame> stack;

  // Lays out one path from s and pushes its pending list.
  auto walkPath = [&](int s) {
    PendingFrame frame;
    int cur = s;
    for (;;) {
      ItemSuccessors succ;
      if (!checkItem(chart, lines, cur, ui, succ)) return false;
      visited[cur] = 1;
      steps.push_back({cur, succ.branch});
      if (succ.branch != -1 && visited[succ.branch] == 0) frame.pending.push_back(succ.branch);
      if (succ.next == -1) {
        steps.push_back({kStepEnd, -1});
        break;
      }
      if (visited[succ.next] == 1) {
        steps.push_back({kStepJump, succ.next});
        break;
      }
      cur = succ.next;
    }
    stack.push_back(std::move(frame));
    return true;
  };

  if (!walkPath(start)) return false;
  while (!stack.empty()) {
    PendingFrame& top = stack.back();
    if (top.next == top.pending.size()) {
      stack.pop_back();
      continue;
    }
    const int p = top.pending[top.next++];
    // An entry laid out meanwhile by an earlier sub-walk is skipped.
    if (visited[p] == 0 && !walkPath(p)) return false;
  }
  return true;
}

std::vector<int> resolveTargets(const Chart& chart, const std::vector<Step>& steps) {
  std::vector<int> stepOfItem(chart.items.size(), -1);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const int item = steps[i].item;
    if (item >= 0 && stepOfItem[item] == -1) stepOfItem[item] = static_cast<int>(i);
  }
  std::vector<int> targets(steps.size(), -1);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const int t = steps[i].target;
    if (t >= 0 && t < static_cast<int>(stepOfItem.size())) targets[i] = stepOfItem[t];
  }
  return targets;
}

}  // namespace pvrj
