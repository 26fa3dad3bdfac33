// The board sequences behind the motion table window and the data dialog: reading the whole
// table, editing one entry, reading the counter, and the bit-5 bracket around the dialog.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "protocol/BoardLink.h"
#include "protocol/MotionTable.h"

namespace pvrj {

// Status lines of these sequences when the board cannot be reached.
inline constexpr const char* kActionTableRead = "テーブル読込";
inline constexpr const char* kActionTableEdit = "テーブル編集";
inline constexpr const char* kActionCounterRead = "受信";

// How a read of the whole table ended.
enum class TableReadResult {
  kSleepFailed,     // the board did not go to sleep: no rows
  kMotionFailed,    // a motion entry failed: the rows read so far stay, the board sleeps
  kScenarioFailed,  // a scenario entry failed: the board sleeps
  kComplete,        // all 85 read, the board woke again
};

// The read button: removes the rows, sends the board to sleep, reads the 80 motion entries (a
// failure ends it) and the 5 scenario entries (a failure ends that loop), and wakes the board
// only when all five scenarios were read. A failure is told in the status line.
TableReadResult readMotionTable(BoardLink& link, MotionTable& table);

// What the data dialog gives back for one entry.
struct EntryEdit {
  std::string name;  // UTF-8
  std::uint32_t mask = 0;
  int control = 0;
};

// Shows the data dialog for table row n (after the row was refreshed from the board); nothing
// when the user cancelled.
using EntryEditDialog = std::function<std::optional<EntryEdit>(int n)>;

enum class EntryEditResult {
  kFailed,     // an exchange failed (told in the status line); the board may stay asleep or
               // with the receiver stream on
  kCancelled,  // the dialog was cancelled: nothing written
  kWritten,    // the entry was written and its row shows it
};

// The motion table's double click on row n: sleep and receiver stream on, row n read from the
// board, receiver stream off and wake, bit 5 cleared and set again, the dialog, and the entry
// written back with its count and date kept.
EntryEditResult editTableEntry(BoardLink& link, MotionTable& table, int n,
                               const EntryEditDialog& dialog);

// The data dialog's receive button: the counter value (bytes 1 and 2 of the reply, high byte
// first), or nothing after telling the failure in the status line.
std::optional<std::uint16_t> readControlCounter(BoardLink& link);

// Runs the data dialog for the chart's own header with bit 5 cleared around it, as the board
// expects while that dialog is open; link may be null (no board). Returns what dialog returns.
bool runDataDialogBracketed(BoardLink* link, const std::function<bool()>& dialog);

}  // namespace pvrj
