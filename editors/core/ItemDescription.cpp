// Describing a chart's items and lines in text.
#include "editors/core/ItemDescription.h"

#include <cstdio>

#include "chart/ChannelConversion.h"
#include "editors/core/ChannelModel.h"
#include "editors/core/CompareWords.h"
#include "editors/core/SettingWords.h"

namespace pvrj {

namespace {

std::string quoted(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

std::string hexWord(std::uint16_t word) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", word);
  return text;
}

// A channel word as the position editor shows it (display rate 1).
std::string channelText(std::uint16_t word) {
  if (word <= kWordPositionMax) return std::to_string(static_cast<int>(word) - kPositionCentre);
  if (word == kWordLow) return "L";
  if (word == kWordHigh) return "H";
  if (word == kWordFree) return "FREE";
  if (word >= kWordSet1 && word <= kWordSet3) return "SET" + std::to_string(word - kWordFree);
  if (word >= kWordSpeedBase && word < kWordStretchBase) {
    return "SP " + std::to_string(word - kWordSpeedBase);
  }
  // The editor's box shows a stretch value doubled.
  if (word >= kWordStretchBase && word <= kWordStretchLast) {
    return "ST " + std::to_string(2 * (word - kWordStretchBase));
  }
  return hexWord(word);
}

std::string describePosition(const ChartItem& item) {
  std::string out = "speed " + std::to_string(item.PrmByte) + ";";
  bool any = false;
  for (int c = 0; c < kChannelCount; ++c) {
    const std::uint16_t word = item.PrmWords[static_cast<std::size_t>(c)];
    if (word == 0) continue;
    out += (any ? ", CH" : " CH") + std::to_string(c + 1) + " " + channelText(word);
    any = true;
  }
  if (!any) out += " no channels";
  return out;
}

std::string describeMixing(const ChartItem& item) {
  std::string out = kMixingPageCaption;
  bool any = false;
  for (int c = 0; c < kChannelCount; ++c) {
    const MixingRow row = decodeMixingWord(item.PrmWords[static_cast<std::size_t>(c)]);
    if (row.source == 0) continue;
    out += (any ? ", CH" : " CH") + std::to_string(c + 1) + " " +
           mixingSourceTexts()[static_cast<std::size_t>(row.source)] + " " +
           mixingRatioTexts()[static_cast<std::size_t>(row.ratio)];
    any = true;
  }
  if (!any) out += " none";
  return out;
}

std::string describeSetting(const ChartItem& item) {
  if (classifySettingItem(item.PrmWords) == kMixingClass) return describeMixing(item);
  const SettingEntry entry = settingEntry(item.PrmWords);
  std::string out = settingOperationCaption(entry.operation);
  switch (entry.operation) {
    case SettingOperation::kNone:
      return "no operation";
    case SettingOperation::kLoopCounter:
    case SettingOperation::kCompareRegister:
      out += " " + std::to_string(entry.value);
      break;
    case SettingOperation::kAnalogCalibrate:
      out += " " + analogInputTexts()[static_cast<std::size_t>(entry.value % kAnalogInputs)];
      break;
    case SettingOperation::kSensorControl: {
      std::string boxes;
      for (int k = 0; k < kSensorBoxes; ++k) {
        if (entry.value & (1 << k)) boxes += " " + std::to_string(k + 1);
      }
      out += boxes.empty() ? " boxes none" : " boxes" + boxes;
      break;
    }
    default:
      break;
  }
  return out;
}

std::string describeMotion(const ChartItem& item) {
  if (item.PrmByte < kMotionSlots) return "plays M" + std::to_string(item.PrmByte + 1);
  return "plays slot " + std::to_string(item.PrmByte) + " (no motion slot)";
}

std::string itemReference(const Chart& chart, std::int32_t index) {
  if (!chart.validItem(index)) return std::to_string(index) + " (none)";
  return std::to_string(index) + " " + quoted(chart.items[static_cast<std::size_t>(index)].Name);
}

}  // namespace

std::string describeItemAction(const ChartItem& item) {
  switch (item.Type) {
    case kItemPos:
      return describePosition(item);
    case kItemSet:
      return describeSetting(item);
    case kItemCmp: {
      const int tag = compareConditionTag(item.PrmWords);
      return tag < 0 ? "no condition" : compareConditionCaption(tag);
    }
    case kItemMot:
      return describeMotion(item);
    default:
      return "kind " + std::to_string(item.Type);
  }
}

std::string describeItem(const Chart& chart, int index) {
  const ChartItem& item = chart.items[static_cast<std::size_t>(index)];
  return "item " + std::to_string(index) + " " + quoted(item.Name) + " " +
         itemNamePrefix(item.Type) + " " + describeItemAction(item);
}

std::string describeLink(const Chart& chart, int index) {
  const ChartLink& link = chart.links[static_cast<std::size_t>(index)];
  return "link " + std::to_string(index) + (link.Main == 0 ? " connection " : " branch ") +
         itemReference(chart, link.Origin) + " -> " + itemReference(chart, link.Final);
}

std::vector<std::string> describeChart(const Chart& chart) {
  std::vector<std::string> lines;
  for (int i = 0; i < chart.itemCount(); ++i) lines.push_back(describeItem(chart, i));
  for (int i = 0; i < chart.linkCount(); ++i) lines.push_back(describeLink(chart, i));
  lines.push_back(chart.validItem(chart.Start) ? "start " + itemReference(chart, chart.Start)
                                               : std::string("start none"));
  return lines;
}

}  // namespace pvrj
