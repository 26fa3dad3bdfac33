// Read-back: records and scenario steps into charts, never leaving a line that names no item.
#include "compiler/Rebuild.h"

namespace pvrj {

namespace {
// Width added to a motion reference's name, as for a new item on the canvas.
constexpr int kNamePadding = 20;

// A fresh item at the running point with the defaults of a new item of this kind.
ChartItem newItem(int kind, ColumnPlacer& placer, std::int32_t canvasHeight) {
  const ChartPoint at = placer.placeInColumns(canvasHeight);
  return defaultItem(kind, at.x, at.y);
}

ChartLink newLink(std::uint8_t main, int origin, int final) {
  ChartLink link;
  link.Main = main;
  link.Origin = origin;
  link.Final = final;
  return link;
}

static_assert(int{kRecordPos} == int{kItemPos} && int{kRecordSet} == int{kItemSet} &&
                  int{kRecordCmp} == int{kItemCmp},
              "a record class names the kind of item made from it");

bool hasTarget(int recordClass) {
  return recordClass == kRecordCmp || recordClass == kRecordJmp;
}
}  // namespace

int itemReachedFrom(const std::vector<MotionRecord>& records, const std::vector<int>& itemOfRecord,
                    int r) {
  const int n = static_cast<int>(records.size());
  std::vector<std::uint8_t> seen;
  while (r >= 0 && r < n) {
    if (itemOfRecord[r] >= 0) return itemOfRecord[r];
    if (recordClass(records[r]) != kRecordJmp) return -1;  // END or a record made into no item
    if (seen.empty()) seen.assign(records.size(), 0);
    if (seen[r]) return -1;  // jumps that only lead round in a circle
    seen[r] = 1;
    r = recordTarget(records[r]);
  }
  return -1;
}

MotionRebuild rebuildMotionChart(Chart& chart, const std::vector<MotionRecord>& records) {
  chart.clear();
  chart.Type = kMotionChart;
  MotionRebuild result;
  const int n = static_cast<int>(records.size());
  result.itemOfRecord.assign(records.size(), -1);

  // The chart is empty, so counting per kind gives the names that naming a new item would.
  int nameCount[3] = {0, 0, 0};
  ColumnPlacer placer;
  std::vector<int> classes(records.size());
  for (int i = 0; i < n; ++i) {
    const int cls = recordClass(records[i]);
    classes[i] = cls;
    if (cls == kRecordUnknown) result.unknownRecords.push_back(i);
    if (cls != kRecordPos && cls != kRecordSet && cls != kRecordCmp) continue;
    ChartItem item = newItem(cls, placer, chart.Height);
    item.Name = itemNamePrefix(cls) + std::to_string(++nameCount[cls]);
    item.PrmByte = records[i][0];
    item.PrmWords = recordWords(records[i]);
    // A compare step is the item's words each plus the step it branches to, so the item gets
    // back its words less that step. (Taking each word back to the base of its own class would
    // lose the value of a pose word that a compare step carries, and the item would compile to
    // another kind of step.)
    if (cls == kRecordCmp) {
      const int target = recordTarget(records[i]);
      for (std::uint16_t& w : item.PrmWords) w = static_cast<std::uint16_t>(w - target);
    }
    result.itemOfRecord[i] = chart.itemCount();
    chart.items.push_back(std::move(item));
  }

  // The last record makes no lines: a compiled motion always ends with END or JMP.
  for (int i = 0; i + 1 < n; ++i) {
    const int from = result.itemOfRecord[i];
    if (from < 0) continue;
    const int next = itemReachedFrom(records, result.itemOfRecord, i + 1);
    if (next >= 0) chart.links.push_back(newLink(0, from, next));
    if (hasTarget(classes[i])) {
      const int branch = itemReachedFrom(records, result.itemOfRecord, recordTarget(records[i]));
      if (branch >= 0) chart.links.push_back(newLink(1, from, branch));
    }
  }
  // A compiled motion starts with its Start item; a motion that opens with a jump starts where the
  // jump leads, and one with no item to start from has no Start item.
  chart.Start = itemReachedFrom(records, result.itemOfRecord, 0);
  return result;
}

std::string motionReferenceName(int slot, const std::string& entryName) {
  return "M" + std::to_string(slot + 1) + " " + entryName;
}

void rebuildScenarioChart(Chart& chart, const std::vector<std::uint8_t>& steps,
                          const EntryNameSource& entryName, const TextWidthSource& textWidth) {
  chart.clear();
  chart.Type = kScenarioChart;
  ColumnPlacer placer;
  for (std::uint8_t m : steps) {
    ChartItem item = newItem(kItemMot, placer, chart.Height);
    item.PrmByte = m;
    std::optional<std::string> name = entryName ? entryName(m) : std::nullopt;
    item.Name = motionReferenceName(m, name.value_or(std::string()));
    item.Width = (textWidth ? textWidth(item.Name) : 0) + kNamePadding;
    chart.items.push_back(std::move(item));
  }
  for (int i = 0; i + 1 < chart.itemCount(); ++i) chart.links.push_back(newLink(0, i, i + 1));
  chart.Start = chart.items.empty() ? -1 : 0;
}

}  // namespace pvrj
