// The motion table and data dialog sequences over the board link.
#include "protocol/EntryEditing.h"

namespace pvrj {
namespace {

// Bytes 1 and 2 of the counter reply hold the value, high byte first.
constexpr std::size_t kCounterHigh = 1;
constexpr std::size_t kCounterLow = 2;

void tellFailure(BoardLink& link, const char* action) {
  link.userInterface().showStatus(link.failureStatus(action));
}

}  // namespace

TableReadResult readMotionTable(BoardLink& link, MotionTable& table) {
  table.clearRows();
  if (!link.SetSleep(kSleepOn)) {
    tellFailure(link, kActionTableRead);
    return TableReadResult::kSleepFailed;
  }
  for (int n = 0; n < kMotionSlots; ++n) {
    Bytes entry;
    // The board stays asleep: a link that failed here would likely fail the wake-up too.
    if (!link.CmdReadTableEntry(n, entry)) {
      tellFailure(link, kActionTableRead);
      return TableReadResult::kMotionFailed;
    }
    table.ShowTableEntry(entry, n, true);
  }
  for (int n = kFirstScenarioSlot; n < kTableSlots; ++n) {
    Bytes entry;
    if (!link.CmdReadTableEntry(n, entry)) {
      tellFailure(link, kActionTableRead);
      return TableReadResult::kScenarioFailed;
    }
    table.ShowTableEntry(entry, n, true);
  }
  if (!link.SetSleep(kSleepOff)) tellFailure(link, kActionTableRead);
  return TableReadResult::kComplete;
}

EntryEditResult editTableEntry(BoardLink& link, MotionTable& table, int n,
                               const EntryEditDialog& dialog) {
  if (n < 0 || n >= kTableSlots || n >= table.rowCount()) return EntryEditResult::kFailed;
  auto failed = [&] {
    tellFailure(link, kActionTableEdit);
    return EntryEditResult::kFailed;
  };
  if (!link.SetSleep(kSleepOn) || !link.SetReceiverStream(kStreamOn)) return failed();
  Bytes entry;
  if (!link.CmdReadTableEntry(n, entry)) return failed();
  table.ShowTableEntry(entry, n, false);
  if (!link.SetReceiverStream(kStreamOff) || !link.SetSleep(kSleepOff) ||
      !link.SetOptionBit5(kBit5Clear) || !link.SetOptionBit5(kBit5Set))
    return failed();
  std::optional<EntryEdit> edit = dialog ? dialog(n) : std::nullopt;
  if (!edit) return EntryEditResult::kCancelled;
  if (!link.UpdateTableEntry(n, -1, static_cast<long>(edit->mask), edit->control, kKeepDate,
                             edit->name))
    return failed();
  return EntryEditResult::kWritten;
}

std::optional<std::uint16_t> readControlCounter(BoardLink& link) {
  Bytes reply;
  if (!link.CmdReadCounter(reply) || reply.size() <= kCounterLow) {
    tellFailure(link, kActionCounterRead);
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(reply[kCounterHigh] * 256 + reply[kCounterLow]);
}

bool runDataDialogBracketed(BoardLink* link, const std::function<bool()>& dialog) {
  // The chart's own header can be edited without a board: a failed bracket stays silent.
  if (link) link->SetOptionBit5(kBit5Clear);
  const bool accepted = dialog();
  if (link) link->SetOptionBit5(kBit5Set);
  return accepted;
}

}  // namespace pvrj
