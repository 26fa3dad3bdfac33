// The board transfers: slot choosing, sleep bracketing, records and steps, table entries.
#include "compiler/Transfer.h"

#include <algorithm>

#include "compiler/CheckedWrite.h"
#include "compiler/Safekeeping.h"

namespace pvrj {
namespace {

constexpr int kKeep = -1;
constexpr std::uint32_t kMaskBits = 0xFFFFFF;
constexpr std::int32_t kControlBits = 0xFFFF;

// Titles and labels of the slot chooser.
constexpr const char* kWriteTitle = "データ書込";
constexpr const char* kWriteLabel = "書き込む場所を選択してください";
constexpr const char* kReadTitle = "データ読込";
constexpr const char* kReadLabel = "読み出すデータを選択してください";
constexpr const char* kDeleteTitle = "データ削除";
constexpr const char* kDeleteLabel = "削除するデータを選択してください";
constexpr const char* kPlayTitle = "再生番号";
constexpr const char* kPlayLabel = "再生する番号を選択してください";

enum class ChooserList { kMotions, kScenarios, kAll };

// Shows the slot chooser; the chosen entry index, or nothing on Cancel or no choice.
std::optional<int> chooseSlot(TransferContext& c, const char* title, const char* label,
                              ChooserList list, int preselected) {
  Prompt prompt;
  prompt.PromptTitle = title;
  prompt.PromptText = label;
  prompt.PromptIndex = preselected;
  if (list != ChooserList::kScenarios) c.table.AppendMotionList(prompt.PromptItems);
  if (list != ChooserList::kMotions) {
    // The scenario entries follow the motion entries in the same quoted list.
    std::string scenarios;
    c.table.AppendScenarioList(scenarios);
    if (!prompt.PromptItems.empty()) prompt.PromptItems += ",";
    prompt.PromptItems += scenarios;
  }
  if (!c.ui.NumberPrompt(prompt) || prompt.PromptIndex < 0) return std::nullopt;
  int limit = list == ChooserList::kMotions     ? kMotionSlots
              : list == ChooserList::kScenarios ? kScenarioSlots
                                                : kTableSlots;
  if (prompt.PromptIndex >= limit) return std::nullopt;
  c.state.lastChosenNumber = prompt.PromptIndex;
  return prompt.PromptIndex;
}

void report(TransferContext& c, int done, int total) {
  if (c.progress) c.progress(done, total);
}

// Tells in the status line which exchange of action failed and how; always false.
bool linkFailed(BoardLink& link, UserInterface& ui, const char* action) {
  ui.showStatus(link.failureStatus(action));
  return false;
}
bool linkFailed(TransferContext& c, const char* action) {
  return linkFailed(c.link, c.ui, action);
}

// Why a read found nothing: an empty slot, or a link that failed (which must not pass for an
// empty slot).
enum class ReadFailure { kNone, kEmpty, kLink };

void setHeaderFromEntry(TransferContext& c, const TableEntry& entry) {
  c.chart.Name = entry.name;
  c.chart.Port = entry.mask;
  c.chart.Ctrl = entry.control;
  if (c.nameChanged) c.nameChanged(c.chart.Name);
}

ReadFailure readMotion(TransferContext& c, int slot, std::vector<MotionRecord>& records) {
  Bytes reply;
  if (!c.link.CmdReadTableEntry(slot, reply)) return ReadFailure::kLink;
  const TableEntry entry = TableEntry::from(reply);
  int count = entry.count;
  if (count == 0) return ReadFailure::kEmpty;
  c.table.ShowTableEntry(reply, slot, false);
  c.ui.showStatus(kStatusEntryRead);
  setHeaderFromEntry(c, entry);
  c.state.clearDump();
  records.clear();
  for (int i = 0; i < count; ++i) {
    if (!c.link.CmdReadPositionRecord(StoredCopy, slot, i, reply) ||
        reply.size() < kPositionRecordLength) {
      records.clear();
      c.state.clearDump();
      report(c, 0, 0);
      return ReadFailure::kLink;
    }
    MotionRecord record{};
    std::copy_n(reply.begin(), kPositionRecordLength, record.begin());
    records.push_back(record);
    c.state.dumpRows.push_back(readBackDumpRow(i, record));
    c.ui.showStatus(std::to_string(i + 1) + kStatusRecordRead);
    report(c, i + 1, count);
  }
  report(c, 0, 0);
  return ReadFailure::kNone;
}

ReadFailure readScenario(TransferContext& c, int scenario, std::vector<std::uint8_t>& steps) {
  int number = kFirstScenarioSlot + scenario;
  Bytes reply;
  if (!c.link.CmdReadTableEntry(number, reply)) return ReadFailure::kLink;
  c.table.ShowTableEntry(reply, number, false);
  const TableEntry entry = TableEntry::from(reply);
  int count = entry.count;
  if (count < 1) return ReadFailure::kEmpty;
  setHeaderFromEntry(c, entry);
  c.state.clearDump();
  steps.clear();
  for (int i = 0; i < count; ++i) {
    Bytes reply;
    if (!c.link.CmdReadScenarioStep(scenario, i, reply) || reply.empty()) {
      steps.clear();
      c.state.clearDump();
      report(c, 0, 0);
      return ReadFailure::kLink;
    }
    steps.push_back(reply[0]);
    c.state.dumpRows.push_back("M" + std::to_string(reply[0] + 1));
    report(c, i + 1, count);
  }
  report(c, 0, 0);
  return ReadFailure::kNone;
}

// The name of the entry of motion slot m, for the items of a scenario read back.
std::optional<std::string> boardEntryName(BoardLink& link, int slot) {
  Bytes reply;
  if (!link.CmdReadTableEntry(slot, reply)) return std::nullopt;
  return TableEntry::from(reply).name;
}

// Width of a name in a kept scenario chart, where no window measures it.
constexpr int kKeptNameCharWidth = 7;

// What a slot held when a write found it occupied.
struct OccupiedSlot {
  int number;
  TableEntry entry;
};

void setKeptHeader(Chart& chart, const TableEntry& entry) {
  chart.Name = entry.name;
  chart.Port = entry.mask;
  chart.Ctrl = entry.control;
}

// Reads the entries of the table numbers a write is about to fill. Those that hold data are kept
// (when a folder is set) and then blanked, all before the first record or step goes out.
// occupied receives what they held.
bool clearOccupiedSlots(TransferContext& c, const std::vector<int>& numbers,
                        std::vector<OccupiedSlot>& occupied) {
  occupied.clear();
  for (int number : numbers) {
    Bytes reply;
    if (!c.link.CmdReadTableEntry(number, reply)) return linkFailed(c, kActionWrite);
    TableEntry entry = TableEntry::from(reply);
    if (entry.count > 0) occupied.push_back({number, std::move(entry)});
  }
  if (!c.safety.keepFolder.empty()) {
    for (const OccupiedSlot& slot : occupied)
      if (!keepSlotContents(c.link, c.ui, c.safety.keepFolder, slot.number, slot.entry, c.progress))
        return false;
  }
  const TableEntryData blank = TableEntry::blank().encode();
  for (const OccupiedSlot& slot : occupied) {
    if (!c.link.CmdWriteTableEntry(slot.number, blank)) return linkFailed(c, kActionWrite);
    if (c.link.onTableEntryChanged) c.link.onTableEntryChanged(slot.number, blank);
  }
  return true;
}

// The check's progress: the status line and the progress bar, record by record.
std::function<void(int)> checkProgress(TransferContext& c, int total) {
  return [&c, total](int i) {
    c.ui.showStatus(std::to_string(i + 1) + kStatusRecordVerified);
    report(c, i + 1, total);
  };
}

// The end of a check: a difference stops the write with the status line's short reason and the
// message box's full one.
bool checkPassed(TransferContext& c, CheckOutcome outcome, const std::string& reason,
                 const std::string& message) {
  report(c, 0, 0);
  if (outcome == CheckOutcome::kLinkFailed) return linkFailed(c, kActionVerify);
  if (outcome == CheckOutcome::kDifferent) {
    c.ui.showStatus(std::string(kActionWrite) + "失敗: " + reason);
    c.ui.ShowMessageBox(kMsgError, kBtnOk, message);
    return false;
  }
  return true;
}

// The check after a motion's records: each read back from the stored copy and compared.
bool verifyMotion(TransferContext& c, int slot) {
  const std::vector<MotionRecord>& records = c.state.records;
  RecordDifference d;
  const CheckOutcome outcome =
      checkRecords(c.link, slot, records, checkProgress(c, static_cast<int>(records.size())), d);
  const bool differs = outcome == CheckOutcome::kDifferent;
  return checkPassed(c, outcome, differs ? recordDifferenceReason(d) : std::string(),
                     differs ? recordDifferenceMessage(slot, d) : std::string());
}

bool verifyScenario(TransferContext& c, int scenario, std::span<const std::uint8_t> steps) {
  StepDifference d;
  const CheckOutcome outcome =
      checkSteps(c.link, scenario, steps, checkProgress(c, static_cast<int>(steps.size())), d);
  const bool differs = outcome == CheckOutcome::kDifferent;
  return checkPassed(c, outcome, differs ? stepDifferenceReason(d) : std::string(),
                     differs ? stepDifferenceMessage(scenario, d) : std::string());
}

}  // namespace

bool keepSlotContents(BoardLink& link, UserInterface& ui, const std::string& folder, int number,
                      const TableEntry& entry, const std::function<void(int, int)>& progress) {
  auto tell = [&progress](int done, int total) {
    if (progress) progress(done, total);
  };
  auto failed = [&] {
    tell(0, 0);
    return linkFailed(link, ui, kActionKeep);
  };
  Chart kept;
  const int count = entry.count;
  if (number < kFirstScenarioSlot) {
    std::vector<MotionRecord> records;
    for (int i = 0; i < count; ++i) {
      Bytes reply;
      if (!link.CmdReadPositionRecord(StoredCopy, number, i, reply) ||
          reply.size() < kPositionRecordLength)
        return failed();
      MotionRecord record{};
      std::copy_n(reply.begin(), kPositionRecordLength, record.begin());
      records.push_back(record);
      tell(i + 1, count);
    }
    rebuildMotionChart(kept, records);
  } else {
    std::vector<std::uint8_t> steps;
    for (int i = 0; i < count; ++i) {
      Bytes reply;
      if (!link.CmdReadScenarioStep(number - kFirstScenarioSlot, i, reply) || reply.empty())
        return failed();
      steps.push_back(reply[0]);
      tell(i + 1, count);
    }
    rebuildScenarioChart(
        kept, steps, [&link](int m) { return boardEntryName(link, m); },
        [](const std::string& text) { return static_cast<int>(text.size()) * kKeptNameCharWidth; });
  }
  tell(0, 0);
  setKeptHeader(kept, entry);
  Result<std::string> path = keepChart(folder, kept, number, link.clock());
  if (!path) {
    ui.ShowMessageBox(kMsgError, kBtnOk, keepFailedMessage(number, path.message()));
    return false;
  }
  ui.showStatus(kStatusKeptBefore + slotCaption(number) + kStatusKeptAfter + path.value());
  return true;
}

std::string keepFailedMessage(int number, const std::string& why) {
  return "上書きされる" + slotCaption(number) +
         "を保存できないので、書き込みを中止しました: " + why;
}

std::string motionOverflowQuestion(int slot, std::size_t records) {
  std::string names;
  std::size_t following = records / kRecordsPerSlot;
  for (std::size_t k = 0; k < following; ++k) {
    // Slot numbers shown from 1: the first following slot of slot a is "M" + (a + 2).
    std::size_t shown = static_cast<std::size_t>(slot) + 2 + k;
    if (shown > static_cast<std::size_t>(kMotionSlots)) break;  // no slot beyond M80 to name
    if (!names.empty()) names += ",";
    names += "M" + std::to_string(shown);
  }
  return "書き込むデータが30個以上なので\r\n" + names +
         "のデータが消去されますが構いませんですか？";
}

std::string scenarioOverflowQuestion() {
  return "200個番目以降のモーションデータは書き込む\r\nことが出来ませんが構いませんでしょうか？";
}

std::optional<std::string> motionDoesNotFit(int slot, std::size_t records) {
  if (tooManyRecordsForTable(records))
    return "データが" + std::to_string(records) + "個あります。ボードに書き込めるのは" +
           std::to_string(kMaxTableRecords) + "個までです";
  std::size_t slotsUsed = (records + kRecordsPerSlot - 1) / kRecordsPerSlot;
  if (slot < 0 || slot >= kMotionSlots ||
      static_cast<std::size_t>(slot) + slotsUsed > static_cast<std::size_t>(kMotionSlots))
    return "データが" + std::to_string(records) + "個あるため、" + slotCaption(slot) +
           "からではM80を越えてしまいます。もっと前の場所を選択してください";
  return std::nullopt;
}

bool writeMotion(TransferContext& c, int slot) {
  const std::vector<MotionRecord>& records = c.state.records;
  std::size_t n = records.size();
  if (n == 0) return false;
  if (auto why = motionDoesNotFit(slot, n)) {
    c.ui.ShowMessageBox(kMsgError, kBtnOk, *why);
    return false;
  }
  if (n > static_cast<std::size_t>(kRecordsPerSlot) &&
      c.ui.ShowMessageBox(kMsgQuestion, kBtnYesNo, motionOverflowQuestion(slot, n)) != kIdYes)
    return false;
  int total = static_cast<int>(n);
  std::vector<int> filled;
  const int slotsFilled = (total + kRecordsPerSlot - 1) / kRecordsPerSlot;
  for (int k = 0; k < slotsFilled; ++k) filled.push_back(slot + k);
  std::vector<OccupiedSlot> occupied;
  if (!clearOccupiedSlots(c, filled, occupied)) return false;
  for (int i = 0; i < total; ++i) {
    PositionRecord record;
    record.decode(records[static_cast<std::size_t>(i)]);
    if (!c.link.CmdWritePositionRecord(StoredCopy, slot, i, record)) {
      report(c, 0, 0);
      return linkFailed(c, kActionWrite);
    }
    c.ui.showStatus(std::to_string(i + 1) + kStatusRecordWritten);
    report(c, i + 1, total);
  }
  report(c, 0, 0);
  if (c.safety.verify && !verifyMotion(c, slot)) return false;
  // The board keeps 24 mask bits and a 16-bit control value.
  if (!c.link.UpdateTableEntry(slot, total, static_cast<long>(c.chart.Port & kMaskBits),
                               c.chart.Ctrl & kControlBits, Bytes{}, c.chart.Name))
    return linkFailed(c, kActionWrite);
  c.ui.showStatus(kStatusEntryWritten);
  return true;
}

bool writeScenario(TransferContext& c, int scenario) {
  if (scenario < 0 || scenario >= kScenarioSlots) return false;
  std::size_t n = c.state.scenarioSteps.size();
  if (n == 0) return false;
  if (n > static_cast<std::size_t>(kMaxScenarioSteps)) {
    if (c.ui.ShowMessageBox(kMsgQuestion, kBtnYesNo, scenarioOverflowQuestion()) != kIdYes)
      return false;
    n = kMaxScenarioSteps;
  }
  int total = static_cast<int>(n);
  const int number = kFirstScenarioSlot + scenario;
  std::vector<OccupiedSlot> occupied;
  if (!clearOccupiedSlots(c, {number}, occupied)) return false;
  for (int i = 0; i < total; ++i) {
    if (!c.link.CmdWriteScenarioStep(scenario, i, c.state.scenarioSteps[static_cast<size_t>(i)])) {
      report(c, 0, 0);
      return linkFailed(c, kActionWrite);
    }
    c.ui.showStatus(std::to_string(i + 1) + kStatusRecordWritten);
    report(c, i + 1, total);
  }
  report(c, 0, 0);
  if (c.safety.verify &&
      !verifyScenario(c, scenario,
                      std::span<const std::uint8_t>(c.state.scenarioSteps.data(),
                                                    static_cast<std::size_t>(total))))
    return false;
  // The mask and control value of a scenario stay the board's; the blanked entry no longer holds
  // them, so they come from what it held.
  long mask = kKeep;
  int control = kKeep;
  if (!occupied.empty()) {
    mask = static_cast<long>(occupied.front().entry.mask);
    control = occupied.front().entry.control;
  }
  if (!c.link.UpdateTableEntry(number, total, mask, control, Bytes{}, c.chart.Name))
    return linkFailed(c, kActionWrite);
  return true;
}

bool writeChartToSlot(TransferContext& c, int slot) {
  if (c.chart.Type == kScenarioChart) {
    if (slot < 0 || slot >= kScenarioSlots) return false;
    if (!convertScenario(c.chart, c.ui, c.state)) return false;
    c.ui.showStatus(kStatusScenarioConverted);
    if (!c.link.SetSleep(kSleepOn)) return linkFailed(c, kActionWrite);
    c.ui.showStatus(kStatusSleepOn);
    if (!writeScenario(c, slot)) return false;
  } else {
    if (slot < 0 || slot >= kMotionSlots) return false;
    if (!compileMotion(c.chart, c.ui, c.state)) return false;
    c.ui.showStatus(kStatusAssembled);
    // Refused before the board is touched: nothing is written for a motion that cannot fit.
    if (auto why = motionDoesNotFit(slot, c.state.records.size())) {
      c.ui.ShowMessageBox(kMsgError, kBtnOk, *why);
      return false;
    }
    if (!c.link.SetSleep(kSleepOn)) return linkFailed(c, kActionWrite);
    c.ui.showStatus(kStatusSleepOn);
    if (!writeMotion(c, slot)) return false;
  }
  if (!c.link.SetSleep(kSleepOff)) return linkFailed(c, kActionSleepOff);
  c.ui.showStatus(kStatusSleepOff);
  c.ui.showStatus(kStatusWritten);
  return true;
}

bool writeChartToBoard(TransferContext& c) {
  c.state.lastChosenNumber = -1;
  bool scenario = c.chart.Type == kScenarioChart;
  auto slot = chooseSlot(c, kWriteTitle, kWriteLabel,
                         scenario ? ChooserList::kScenarios : ChooserList::kMotions, -1);
  if (!slot) return false;
  return writeChartToSlot(c, *slot);
}

ReadResult readSlotIntoChart(TransferContext& c, int k) {
  if (k < 0 || k >= kTableSlots) return ReadResult::kFailed;
  if (!c.link.SetSleep(kSleepOn)) {
    linkFailed(c, kActionRead);
    return ReadResult::kFailed;
  }
  c.ui.showStatus(kStatusSleepOn);
  c.state.clearListing();
  c.state.clearDump();
  std::vector<MotionRecord> records;
  std::vector<std::uint8_t> steps;
  bool scenario = k >= kFirstScenarioSlot;
  ReadFailure failure =
      scenario ? readScenario(c, k - kFirstScenarioSlot, steps) : readMotion(c, k, records);
  if (failure != ReadFailure::kNone) {
    if (failure == ReadFailure::kEmpty)
      c.ui.showStatus(kStatusNoData);
    else
      linkFailed(c, kActionRead);
    if (!c.link.SetSleep(kSleepOff) && failure == ReadFailure::kEmpty)
      linkFailed(c, kActionSleepOff);
    if (c.redraw) c.redraw();
    return ReadResult::kFailed;
  }
  c.ui.showStatus(kStatusFetched);
  // Rebuilding clears the chart but the header read from the entry stays.
  std::string name = c.chart.Name;
  std::uint32_t port = c.chart.Port;
  std::int32_t ctrl = c.chart.Ctrl;
  if (scenario) {
    c.state.setReadScenario(steps);
    TextWidthSource width = c.textWidth;
    if (!width) width = [](const std::string& text) { return static_cast<int>(text.size()) * 7; };
    rebuildScenarioChart(
        c.chart, steps, [&c](int slot) { return boardEntryName(c.link, slot); }, width);
  } else {
    c.state.setReadMotion(records);
    rebuildMotionChart(c.chart, records);
  }
  c.chart.Name = name;
  c.chart.Port = port;
  c.chart.Ctrl = ctrl;
  bool woke = c.link.SetSleep(kSleepOff);
  if (woke) {
    c.ui.showStatus(kStatusSleepOff);
    c.ui.showStatus(kStatusRead);
  } else {
    linkFailed(c, kActionSleepOff);
  }
  if (c.redraw) c.redraw();
  return woke ? ReadResult::kRead : ReadResult::kReadNotWoken;
}

bool readChartFromBoard(TransferContext& c) {
  c.state.lastChosenNumber = -1;
  auto k = chooseSlot(c, kReadTitle, kReadLabel, ChooserList::kAll, -1);
  if (!k) return false;
  return readSlotIntoChart(c, *k) == ReadResult::kRead;
}

bool deleteSlot(TransferContext& c, int k) {
  if (k < 0 || k >= kTableSlots) return false;
  if (c.ui.ShowMessageBox(kMsgQuestion, kBtnYesNo, kDeleteQuestion) != kIdYes) return false;
  if (!c.link.DeleteTableEntry(k)) return linkFailed(c, kActionDelete);
  c.ui.showStatus(kStatusDeleted);
  return true;
}

bool deleteFromBoard(TransferContext& c) {
  c.state.lastChosenNumber = -1;
  auto k = chooseSlot(c, kDeleteTitle, kDeleteLabel, ChooserList::kAll, -1);
  if (!k) return false;
  return deleteSlot(c, *k);
}

bool playOnBoard(TransferContext& c) {
  auto k = chooseSlot(c, kPlayTitle, kPlayLabel, ChooserList::kAll, c.state.lastChosenNumber);
  if (!k) return false;
  if (!c.link.CmdPlay(*k)) return linkFailed(c, kActionPlay);
  c.ui.showStatus(kStatusPlaySent);
  return true;
}

bool stopBoard(BoardLink& link, UserInterface& ui) {
  if (!link.CmdStop()) return linkFailed(link, ui, kActionStop);
  ui.showStatus(kStatusStopped);
  return true;
}

bool pauseBoard(BoardLink& link, UserInterface& ui) {
  bool paused = false;
  if (!link.SetPause(kPauseToggle, &paused)) return linkFailed(link, ui, kActionPause);
  ui.showStatus(paused ? kStatusPaused : kStatusResumed);
  return true;
}

bool sleepBoard(BoardLink& link, UserInterface& ui, bool on) {
  if (!link.SetSleep(on ? kSleepOn : kSleepOff))
    return linkFailed(link, ui, on ? kActionSleepOn : kActionSleepOff);
  ui.showStatus(on ? kStatusSleepOn : kStatusSleepOff);
  return true;
}

bool playSlotRequest(BoardLink& link, UserInterface& ui, std::uint32_t slot) {
  if (slot >= static_cast<std::uint32_t>(kTableSlots)) return false;
  if (!link.CmdPlay(static_cast<int>(slot))) return linkFailed(link, ui, kActionPlay);
  ui.showStatus(kStatusPlaySent);
  return true;
}

namespace {

// The return home; why gets the failure status of the first exchange that failed.
bool goHome(BoardLink& link, PositionRecord* sent, std::string& why) {
  auto failed = [&] {
    why = link.failureStatus(kActionHome);
    return false;
  };
  if (!link.SetSleep(kSleepOn)) return failed();
  if (!link.CmdStop()) return failed();
  Bytes home;
  if (!link.CmdReadHomePosition(home)) return failed();
  PositionRecord record;
  record.lead = kHomeSpeed;
  if (!record.block.decode(home)) return failed();
  bool moved = link.CmdWritePositionRecord(WorkingCopy, 0, 0, record);
  if (moved && sent) *sent = record;
  if (!moved) why = link.failureStatus(kActionHome);
  // The pause is cleared and the board woken even when the pose did not go out, so that a
  // single lost exchange does not leave the robot asleep.
  if (!link.SetPause(kPauseClear)) return failed();
  if (!link.SetSleep(kSleepOff)) return failed();
  return moved;
}

}  // namespace

bool returnToHome(BoardLink& link, PositionRecord* sent) {
  std::string why;
  return goHome(link, sent, why);
}

bool homePositionButton(BoardLink& link, UserInterface& ui) {
  std::string why;
  if (goHome(link, nullptr, why)) return true;
  ui.showStatus(why);
  return false;
}

}  // namespace pvrj
