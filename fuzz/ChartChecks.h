// Checks on a chart that a reader produced: every index it holds points at an item, and a chart
// saved and read again is the same chart.
#pragma once

#include <cstdio>

#include "chart/Chart.h"
#include "common/IniFile.h"
#include "fuzz/FuzzSupport.h"

namespace pvrj::fuzz {

inline void checkChartIndices(const Chart& chart) {
  PVRJ_FUZZ_CHECK(chart.Start == -1 || chart.validItem(chart.Start));
  for (const ChartLink& link : chart.links) {
    PVRJ_FUZZ_CHECK(link.Origin == -1 || chart.validItem(link.Origin));
    PVRJ_FUZZ_CHECK(link.Final == -1 || chart.validItem(link.Final));
  }
}

// Everything a chart file stores (the canvas size aside, which follows the window). Names are
// compared without blanks at either end, which reading a chart file trims (a pose table keeps
// them).
inline bool sameStoredChart(const Chart& a, const Chart& b) {
  auto same = [](const std::string& x, const std::string& y) {
    return trimBlanks(x) == trimBlanks(y);
  };
  if (a.Type != b.Type || a.Start != b.Start || !same(a.Name, b.Name) || a.Port != b.Port ||
      a.Ctrl != b.Ctrl || a.items.size() != b.items.size() || a.links.size() != b.links.size()) {
    std::fprintf(stderr,
                 "header: Type %d/%d Start %d/%d Name [%s]/[%s] Port %u/%u Ctrl %d/%d "
                 "items %zu/%zu links %zu/%zu\n",
                 a.Type, b.Type, a.Start, b.Start, a.Name.c_str(), b.Name.c_str(), a.Port, b.Port,
                 a.Ctrl, b.Ctrl, a.items.size(), b.items.size(), a.links.size(), b.links.size());
    return false;
  }
  for (std::size_t i = 0; i < a.items.size(); ++i) {
    const ChartItem& x = a.items[i];
    const ChartItem& y = b.items[i];
    if (!same(x.Name, y.Name) || x.Left != y.Left || x.Top != y.Top || x.Width != y.Width ||
        x.Height != y.Height || x.Color != y.Color || x.Type != y.Type || x.PrmByte != y.PrmByte ||
        x.PrmWords != y.PrmWords) {
      std::fprintf(stderr, "item %zu differs: [%s]/[%s]\n", i, x.Name.c_str(), y.Name.c_str());
      return false;
    }
  }
  for (std::size_t i = 0; i < a.links.size(); ++i) {
    const ChartLink& x = a.links[i];
    const ChartLink& y = b.links[i];
    if (x.Main != y.Main || x.Origin != y.Origin || x.Final != y.Final || x.Point != y.Point) {
      std::fprintf(stderr, "link %zu differs\n", i);
      return false;
    }
  }
  return true;
}

}  // namespace pvrj::fuzz
