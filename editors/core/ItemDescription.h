// A chart told in text, one line per item and per line: what each item does in the words its
// editor shows, so a chart can be read in a terminal and compared between versions.
#pragma once

#include <string>
#include <vector>

#include "chart/Chart.h"

namespace pvrj {

// What the item does: a position item's speed and its channels that are not 0, a setting item's
// operation and value (or its active mixing rows), a compare item's condition, the motion a
// motion item plays.
std::string describeItemAction(const ChartItem& item);
// "item 3 "POS4" POS speed 100; CH1 0, CH2 -50".
std::string describeItem(const Chart& chart, int index);
// "link 0 branch 2 "CMP1" -> 0 "POS1"".
std::string describeLink(const Chart& chart, int index);
// Every item in index order, then every line, then the start item.
std::vector<std::string> describeChart(const Chart& chart);

}  // namespace pvrj
