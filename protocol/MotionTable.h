// The program's copy of the board's motion table: 85 rows of caption, name, count, date and
// control, and the slot lists the prompts show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/BoardTypes.h"

namespace pvrj {

// "M1".."M80", "S1".."S5"; empty outside 0 to 84.
std::string slotCaption(int n);
// "--/-- --:--" when the month is 0xFF, else "12/5 09:07".
std::string FormatTableDate(std::uint8_t month, std::uint8_t day, std::uint8_t hour,
                            std::uint8_t minute);

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
  // appended when add, else replacing row n. Sets LastChannelMask. Fewer bytes show nothing.
  void ShowTableEntry(std::span<const std::uint8_t> entry, int n, bool add);
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

}  // namespace pvrj
