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

// The table row of step index; targetStep is the step its target was laid out at. The fields come
// from the step rather than from parsing the line, so a name holding a comma or a quote cannot
// shift the columns.
ListingRow listingRow(const Chart& chart, int index, const Step& step, int targetStep);
// The listing line of a row (without its CR LF): label, operation, operand and comment joined by
// commas, names and comments in quotes.
std::string listingLine(const ListingRow& row);
// The listing line of a step.
std::string listingLine(const Chart& chart, const Step& step, int targetStep);

}  // namespace pvrj
