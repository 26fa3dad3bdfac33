// The listing: one assembler-like line per step, and the same fields as rows of the listing table.
#pragma once

#include <string>

#include "chart/Chart.h"
#include "compiler/Walk.h"

namespace pvrj {

inline constexpr const char* kLineEnd = "\r\n";

// The five columns of the listing table: row number, then the line's comma-separated fields.
struct ListingRow {
  std::string number;
  std::string label;
  std::string operation;
  std::string operand;
  std::string comment;
  friend bool operator==(const ListingRow&, const ListingRow&) = default;
};

// The line of a step (without its CR LF); targetStep is the step its target was laid out at.
std::string listingLine(const Chart& chart, const Step& step, int targetStep);
// The table row of step index, its fields taken from the step rather than parsed from the line,
// so that an item name holding a comma or a quote cannot shift the columns.
ListingRow listingRow(const Chart& chart, int index, const Step& step, int targetStep);

}  // namespace pvrj
