// The program's copy of the board's motion table: 85 rows of caption, name, count, date and
// control, the slot lists the prompts show, and reading the whole table from the board.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pvrj {

class BoardLink;

inline constexpr int kMotionSlots = 80;
inline constexpr int kScenarioSlots = 5;
inline constexpr int kTableSlots = kMotionSlots + kScenarioSlots;
inline constexpr int kFirstScenarioSlot = kMotionSlots;
inline constexpr std::size_t kEntrySize = 42;
inline constexpr std::size_t kEntryNameOffset = 10;
inline constexpr std::size_t kEntryNameSize = 32;
inline constexpr std::uint8_t kNoDateMonth = 0xFF;

using TableEntryBytes = std::array<std::uint8_t, kEntrySize>;

// 42 bytes, all 0 except bytes 4 to 9 (no date, control 65535).
TableEntryBytes blankTableEntry();
// "M1".."M80", "S1".."S5"; empty outside 0 to 84.
std::string slotCaption(int n);
// "--/-- --:--" when the month is 0xFF, else "12/5 09:07".
std::string FormatTableDate(std::uint8_t month, std::uint8_t day, std::uint8_t hour,
                            std::uint8_t minute);
// The entry's fields as the table and the transfers read them.
std::string entryName(const std::uint8_t* entry);  // bytes 10-41 up to the first NUL, as UTF-8
std::uint32_t entryChannelMask(const std::uint8_t* entry);  // bytes 1-3, low byte first
std::uint16_t entryControl(const std::uint8_t* entry);      // bytes 8-9, high byte first

// A data name as the data dialog stores it: cut at the first NUL, every comma and double quote
// made a blank (they would break the quoted slot lists).
std::string cleanDataName(std::string_view name);
// A control value typed in decimal: optional blanks and digits only, 0 to 65535; nothing for any
// other text (a letter, a sign, a value the 16-bit field cannot hold).
std::optional<int> parseControlValue(std::string_view text);

struct TableRow {
  std::string caption;
  std::string name;
  std::string count;
  std::string date;
  std::string control;
};

class MotionTable {
 public:
  MotionTable();  // 85 rows from the blank entry

  // Called after a row was appended or replaced (row index), and after the rows were removed
  // (-1); the table window mirrors the rows with it.
  std::function<void(int row)> onRowChanged;

  // Shows entry (42 bytes, or 43 with a checksum left at the end, which is ignored) in row n:
  // appended when add, else replacing row n. Sets LastChannelMask.
  void ShowTableEntry(const std::uint8_t* entry, std::size_t size, int n, bool add);
  void ShowTableEntry(const TableEntryBytes& entry, int n, bool add) {
    ShowTableEntry(entry.data(), entry.size(), n, add);
  }
  // Removes all rows (the read button does this first).
  void clearRows();

  int rowCount() const { return static_cast<int>(rows_.size()); }
  // Row n, or an empty row when n is not there.
  const TableRow& row(int n) const;

  // Appends ,"caption name date" for rows 0-79 (scenario list: 80-84), without a leading comma.
  void AppendMotionList(std::string& list) const;
  void AppendScenarioList(std::string& list) const;

  // The channel mask of the entry ShowTableEntry showed last.
  std::uint32_t LastChannelMask = 0;

 private:
  void appendList(std::string& list, int first, int last) const;
  std::vector<TableRow> rows_;
};

// How a read of the whole table ended.
enum class TableReadResult {
  kSleepFailed,     // the board did not go to sleep: no rows
  kMotionFailed,    // a motion entry failed: the rows read so far stay, the board sleeps
  kScenarioFailed,  // a scenario entry failed: the board sleeps
  kComplete,        // all 85 read, the board woke again
};

// The read button: removes the rows, sends the board to sleep, reads the 80 motion entries (a
// failure ends it) and the 5 scenario entries (a failure ends that loop), and wakes the board
// only when all five scenarios were read.
TableReadResult readMotionTable(BoardLink& link, MotionTable& table);

}  // namespace pvrj
