// The motion table's rows, texts and slot lists.
#include "protocol/MotionTable.h"

#include <cstdio>

namespace pvrj {
namespace {

TableRow rowFromEntry(const TableEntry& entry, int n) {
  TableRow row;
  row.caption = slotCaption(n);
  row.name = entry.name;
  row.count = std::to_string(entry.count);
  row.date = FormatTableDate(entry.month, entry.day, entry.hour, entry.minute);
  row.control = std::to_string(entry.control);
  return row;
}

}  // namespace

std::string slotCaption(int n) {
  if (n >= 0 && n < kMotionSlots) return "M" + std::to_string(n + 1);
  if (n >= kFirstScenarioSlot && n < kTableSlots)
    return "S" + std::to_string(n - kFirstScenarioSlot + 1);
  return {};
}

std::string FormatTableDate(std::uint8_t month, std::uint8_t day, std::uint8_t hour,
                            std::uint8_t minute) {
  if (month == kNoDate) return "--/-- --:--";
  char text[32];
  std::snprintf(text, sizeof text, "%u/%u %02u:%02u", unsigned{month}, unsigned{day},
                unsigned{hour}, unsigned{minute});
  return text;
}

std::string cleanDataName(std::string_view name) {
  std::string clean(name.substr(0, name.find('\0')));
  for (char& c : clean)
    if (c == ',' || c == '"') c = ' ';
  return clean;
}

std::optional<int> parseControlValue(std::string_view text) {
  constexpr int kMaxControl = 0xFFFF;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > kMaxControl) return std::nullopt;
  }
  return value;
}

MotionTable::MotionTable() {
  const TableEntryData blank = TableEntry::blank().encode();
  for (int n = 0; n < kTableSlots; ++n) ShowTableEntry(blank, n, true);
  LastChannelMask = 0;
}

void MotionTable::ShowTableEntry(std::span<const std::uint8_t> bytes, int n, bool add) {
  // A short entry cannot be shown; a longer one carries the reply's checksum at its end.
  TableEntry entry;
  if (!entry.decode(bytes)) return;
  TableRow row = rowFromEntry(entry, n);
  LastChannelMask = entry.mask;
  int changed = -1;
  if (add) {
    rows_.push_back(std::move(row));
    changed = rowCount() - 1;
  } else if (n >= 0 && n < rowCount()) {
    rows_[static_cast<std::size_t>(n)] = std::move(row);
    changed = n;
  } else {
    return;
  }
  if (onRowChanged) onRowChanged(changed);
}

void MotionTable::clearRows() {
  rows_.clear();
  if (onRowChanged) onRowChanged(-1);
}

const TableRow& MotionTable::row(int n) const {
  static const TableRow none;
  if (n < 0 || n >= rowCount()) return none;
  return rows_[static_cast<std::size_t>(n)];
}

void MotionTable::appendList(std::string& list, int first, int last) const {
  for (int n = first; n <= last; ++n) {
    const TableRow& r = row(n);
    // A quote inside a name is doubled so that the list still splits into 80 items.
    std::string text = r.caption + " " + r.name + " " + r.date;
    std::string quoted;
    for (char c : text) {
      if (c == '"') quoted += '"';
      quoted += c;
    }
    list += ",\"" + quoted + "\"";
  }
  if (!list.empty() && list.front() == ',') list.erase(0, 1);
}

void MotionTable::AppendMotionList(std::string& list) const {
  appendList(list, 0, kMotionSlots - 1);
}

void MotionTable::AppendScenarioList(std::string& list) const {
  appendList(list, kFirstScenarioSlot, kTableSlots - 1);
}

}  // namespace pvrj
