// Compile driver and scenario conversion over the walk, the listing and the record encoding.
#include "compiler/Compile.h"

#include "compiler/Validation.h"

namespace pvrj {

std::string tooManyStepsText(std::size_t steps) {
  return "ステップ数(" + std::to_string(steps) + ")が上限の" + std::to_string(kMaxMotionSteps) +
         "を超えているためコンパイルできません";
}

std::string motionNumberOutOfRangeText(const std::string& itemName) {
  return itemName + "のモーション番号が範囲外です";
}

std::string stepReadsOtherwiseText(const std::string& itemName) {
  return itemName + "の値はボードで別のステップとして読まれるためコンパイルできません";
}

namespace {
// The board tells the kind of a step, and a branch's target, from its words alone. An item made of
// words no editor gives (read back from a board with stray records, or edited by hand) can make a
// step that the board reads as something else: a compare whose words, plus the target, split at
// another offset, or a pose whose words are a jump's. Such a motion would not run as drawn.
bool readsAsMade(const MotionRecord& record, const Step& step, int target) {
  const int cls = recordClass(record);
  if (step.target != -1) return cls == kRecordCmp && recordTarget(record) == target;
  return cls != kRecordCmp && cls != kRecordJmp && cls != kRecordEnd;
}
}  // namespace

void CompilerState::clearListing() {
  steps.clear();
  targetSteps.clear();
  listing.clear();
  listingRows.clear();
}

void CompilerState::setReadMotion(std::vector<MotionRecord> read) {
  records = std::move(read);
  stepCount = static_cast<int>(records.size());
  dumpRows.clear();
  for (std::size_t i = 0; i < records.size(); ++i)
    dumpRows.push_back(readBackDumpRow(static_cast<int>(i), records[i]));
}

void CompilerState::setReadScenario(std::vector<std::uint8_t> read) {
  scenarioSteps = std::move(read);
  stepCount = static_cast<int>(scenarioSteps.size());
  dumpRows.clear();
  for (std::uint8_t m : scenarioSteps) dumpRows.push_back("M" + std::to_string(m + 1));
}

std::string scenarioDumpRow(int slot, const std::string& itemName) {
  return "M" + std::to_string(slot + 1) + " " + itemName;
}

bool compileMotion(const Chart& chart, UserInterface& ui, CompilerState& state) {
  if (!checkCompileEntry(chart, ui)) return false;
  std::vector<Step> steps;
  if (!walkChart(chart, startItem(chart), ui, steps)) return false;
  // Targets beyond step 255 would run into the next word class and make a corrupt motion.
  if (steps.size() > static_cast<std::size_t>(kMaxMotionSteps)) {
    ui.ShowMessageBox(kMsgError, kBtnOk, tooManyStepsText(steps.size()));
    return false;
  }
  std::vector<int> targets = resolveTargets(chart, steps);

  std::vector<MotionRecord> records;
  std::string listing;
  std::vector<ListingRow> rows;
  std::vector<std::string> dump;
  records.reserve(steps.size());
  rows.reserve(steps.size());
  dump.reserve(steps.size());
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Step& s = steps[i];
    const int t = targets[i];
    if (s.target != -1 && t < 0) return false;  // every target is laid out by the walk
    MotionRecord r;
    if (s.item == kStepEnd)
      r = encodeEndStep();
    else if (s.item == kStepJump)
      r = encodeJumpStep(t);
    else if (s.target == -1)
      r = encodeItemStep(chart.items[s.item]);
    else
      r = encodeCompareStep(chart.items[s.item], t);
    if (s.item >= 0 && !readsAsMade(r, s, t)) {
      ui.ShowMessageBox(kMsgError, kBtnOk, stepReadsOtherwiseText(chart.items[s.item].Name));
      return false;
    }
    rows.push_back(listingRow(chart, static_cast<int>(i), s, t));
    listing += listingLine(rows.back());
    listing += kLineEnd;
    dump.push_back(dumpRow(static_cast<int>(i), r));
    records.push_back(r);
  }

  state.steps = std::move(steps);
  state.targetSteps = std::move(targets);
  state.records = std::move(records);
  state.listing = std::move(listing);
  state.listingRows = std::move(rows);
  state.dumpRows = std::move(dump);
  state.stepCount = static_cast<int>(state.records.size());
  return true;
}

bool convertScenario(const Chart& chart, UserInterface& ui, CompilerState& state) {
  if (!checkCompileEntry(chart, ui)) return false;
  const LinkIndex lines(chart);
  std::vector<std::uint8_t> visited(chart.items.size(), 0);
  std::vector<std::uint8_t> slots;
  std::vector<std::string> dump;
  bool ok = true;
  int cur = startItem(chart);
  for (;;) {
    const ChartItem& item = chart.items[cur];
    dump.push_back(scenarioDumpRow(item.PrmByte, item.Name));
    visited[cur] = 1;
    slots.push_back(item.PrmByte);
    // A hand-edited file may name a slot beyond the motions; the board would play garbage.
    if (item.PrmByte >= kMotionSlots) {
      ui.ShowMessageBox(kMsgError, kBtnOk, motionNumberOutOfRangeText(item.Name));
      ok = false;
      break;
    }
    ItemSuccessors succ;
    if (!checkItem(chart, lines, cur, ui, succ, LineRules::kScenario)) {
      ok = false;
      break;
    }
    if (succ.next == -1 || visited[succ.next] == 1) break;
    cur = succ.next;
  }
  if (!ok) {
    state.dumpRows.clear();
    state.scenarioSteps.clear();
    state.stepCount = 0;
    return false;
  }
  state.dumpRows = std::move(dump);
  state.scenarioSteps = std::move(slots);
  state.stepCount = static_cast<int>(state.scenarioSteps.size());
  return true;
}

std::string compiledStatus(const Chart& chart, const CompilerState& state) {
  if (chart.Type == kScenarioChart)
    return "シナリオ変換成功: " + std::to_string(state.scenarioSteps.size()) +
           "ステップ(LISTページ)";
  return "コンパイル成功: " + std::to_string(state.records.size()) + "レコード(LISTページ)";
}

bool compileChart(const Chart& chart, UserInterface& ui, CompilerState& state) {
  const bool ok = chart.Type == kScenarioChart ? convertScenario(chart, ui, state)
                                               : compileMotion(chart, ui, state);
  if (ok) ui.showStatus(compiledStatus(chart, state));
  return ok;
}

}  // namespace pvrj
