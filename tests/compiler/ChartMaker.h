// Small helpers that draw test charts: items by kind and name, lines between them.
#pragma once

#include <string>

#include "chart/Chart.h"

namespace pvrj::test {

inline int addItem(Chart& chart, int kind, const std::string& name = {}) {
  const int i = chart.createItem(kind, 0, 0);
  if (!name.empty()) chart.items[i].Name = name;
  return i;
}

inline void addLine(Chart& chart, int origin, int final, int main = 0) {
  ChartLink link;
  link.Main = static_cast<std::uint8_t>(main);
  link.Origin = origin;
  link.Final = final;
  chart.links.push_back(link);
}

inline std::string repeat(const std::string& piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

}  // namespace pvrj::test
