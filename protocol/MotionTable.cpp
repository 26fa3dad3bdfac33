// The motion table's rows, texts and slot lists.
#include "protocol/MotionTable.h"

#include <cstdio>
#include <cstring>

#include "common/Encoding.h"
#include "protocol/BoardLink.h"

namespace pvrj {
namespace {

constexpr std::size_t kEntryCountOffset = 0;
constexpr std::size_t kEntryMaskOffset = 1;
constexpr std::size_t kEntryDateOffset = 4;
constexpr std::size_t kEntryControlOffset = 8;
constexpr std::size_t kBlankFirst = 4;  // bytes 4 to 9 of a blank entry are 0xFF
constexpr std::size_t kBlankLast = 9;

TableRow rowFromEntry(const std::uint8_t* entry, int n) {
  TableRow row;
  row.caption = slotCaption(n);
  row.name = entryName(entry);
  row.count = std::to_string(entry[kEntryCountOffset]);
  row.date = FormatTableDate(entry[kEntryDateOffset], entry[kEntryDateOffset + 1],
                             entry[kEntryDateOffset + 2], entry[kEntryDateOffset + 3]);
  row.control = std::to_string(entryControl(entry));
  return row;
}

}  // namespace

TableEntryBytes blankTableEntry() {
  TableEntryBytes entry{};
  for (std::size_t i = kBlankFirst; i <= kBlankLast; ++i) entry[i] = 0xFF;
  return entry;
}

std::string slotCaption(int n) {
  if (n >= 0 && n < kMotionSlots) return "M" + std::to_string(n + 1);
  if (n >= kFirstScenarioSlot && n < kTableSlots)
    return "S" + std::to_string(n - kFirstScenarioSlot + 1);
  return {};
}

std::string FormatTableDate(std::uint8_t month, std::uint8_t day, std::uint8_t hour,
                            std::uint8_t minute) {
  if (month == kNoDateMonth) return "--/-- --:--";
  char text[32];
  std::snprintf(text, sizeof text, "%u/%u %02u:%02u", unsigned{month}, unsigned{day},
                unsigned{hour}, unsigned{minute});
  return text;
}

std::string entryName(const std::uint8_t* entry) {
  const char* name = reinterpret_cast<const char*>(entry + kEntryNameOffset);
  std::size_t length = 0;
  while (length < kEntryNameSize && name[length] != '\0') ++length;
  return cp932ToUtf8(std::string_view(name, length));
}

std::uint32_t entryChannelMask(const std::uint8_t* entry) {
  return entry[kEntryMaskOffset] | (entry[kEntryMaskOffset + 1] << 8) |
         (std::uint32_t{entry[kEntryMaskOffset + 2]} << 16);
}

std::uint16_t entryControl(const std::uint8_t* entry) {
  return static_cast<std::uint16_t>(entry[kEntryControlOffset] * 256 +
                                    entry[kEntryControlOffset + 1]);
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
  TableEntryBytes blank = blankTableEntry();
  for (int n = 0; n < kTableSlots; ++n) ShowTableEntry(blank, n, true);
  LastChannelMask = 0;
}

void MotionTable::ShowTableEntry(const std::uint8_t* entry, std::size_t size, int n, bool add) {
  // A short entry cannot be shown; a longer one carries the reply's checksum at its end.
  if (entry == nullptr || size < kEntrySize) return;
  TableRow row = rowFromEntry(entry, n);
  LastChannelMask = entryChannelMask(entry);
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

TableReadResult readMotionTable(BoardLink& link, MotionTable& table) {
  table.clearRows();
  if (!link.SetSleep(kSleepOn)) return TableReadResult::kSleepFailed;
  for (int n = 0; n < kMotionSlots; ++n) {
    Bytes entry;
    // The board stays asleep: a link that failed here would likely fail the wake-up too.
    if (!link.CmdReadTableEntry(n, entry)) return TableReadResult::kMotionFailed;
    table.ShowTableEntry(entry.data(), entry.size(), n, true);
  }
  for (int n = kFirstScenarioSlot; n < kTableSlots; ++n) {
    Bytes entry;
    if (!link.CmdReadTableEntry(n, entry)) return TableReadResult::kScenarioFailed;
    table.ShowTableEntry(entry.data(), entry.size(), n, true);
  }
  link.SetSleep(kSleepOff);
  return TableReadResult::kComplete;
}

}  // namespace pvrj
