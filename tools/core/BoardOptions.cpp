// Option word, start and alarm data, threshold conversions and the options dialog's sequences.
#include "tools/core/BoardOptions.h"

#include <algorithm>
#include <cstdio>

#include "common/CommaText.h"
#include "common/Numbers.h"
#include "protocol/BoardLink.h"
#include "protocol/MotionTable.h"

namespace pvrj {
namespace {

// The two factors differ; over 55 to 150 tenths every value still reads back unchanged.
constexpr double kRawToTenths = 0.1539;
constexpr double kTenthsToRaw = 0.15359;
constexpr std::size_t kQvsMaskBytes = 3;

std::uint16_t setBit(std::uint16_t word, std::uint16_t bit, bool on) {
  return static_cast<std::uint16_t>(on ? (word | bit) : (word & ~bit));
}

}  // namespace

int thresholdTenths(int raw) {
  return static_cast<int>(roundHalfEven(raw * kRawToTenths));
}

int thresholdRaw(int tenths) {
  return static_cast<int>(roundHalfEven(tenths / kTenthsToRaw));
}

std::string thresholdText(int tenths) {
  const int magnitude = std::abs(tenths);
  char text[32];
  std::snprintf(text, sizeof text, "%s%02d.%dV", tenths < 0 ? "-" : "", magnitude / 10,
                magnitude % 10);
  return text;
}

int limitThreshold(int tenths) {
  return std::clamp(tenths, kThresholdMinTenths, kThresholdMaxTenths);
}

int listIndexOf(bool enabled, int motion) {
  return enabled && motion >= 0 && motion < kListedMotions ? motion + 1 : kListOff;
}

std::uint16_t composeOptionWord(std::uint16_t read, const OptionControls& c) {
  std::uint16_t word = read;
  word = setBit(word, kOptTransmitterPlay, c.transmitterPlay);
  word = setBit(word, kOptStartSwitchPlay, c.startSwitchIndex != kListOff);
  word = setBit(word, kOptPowerOnPlay, c.powerOnIndex != kListOff);
  word = setBit(word, kOptLowVoltagePlay, c.lowVoltageIndex != kListOff);
  word = setBit(word, kOptPlayEndReply, c.playEndReply);
  word = setBit(word, kOptMtx1Control, c.mtx1Control);
  return static_cast<std::uint16_t>(word & kOptionWriteMask);
}

std::uint32_t qvsMaskFromBytes(const std::uint8_t* bytes) {
  return bytes[0] | (bytes[1] << 8) | (std::uint32_t{bytes[2]} << 16);
}

std::vector<std::string> motionListItems(const MotionTable& table) {
  std::string list;
  table.AppendMotionList(list);
  table.AppendScenarioList(list);
  std::vector<std::string> items{kListOffText};
  std::vector<std::string> entries = splitCommaText(list);
  items.insert(items.end(), entries.begin(), entries.end());
  return items;
}

bool LoadBoardOptions(BoardLink& link, OptionControls& c) {
  std::uint16_t word = 0;
  if (!link.CmdReadOptions(StoredCopy, word)) return false;
  c.transmitterPlay = word & kOptTransmitterPlay;
  c.playEndReply = word & kOptPlayEndReply;
  c.mtx1Control = word & kOptMtx1Control;

  Bytes start;
  if (!link.CmdReadStartData(start)) return false;
  c.startSwitchIndex = listIndexOf(word & kOptStartSwitchPlay, start[0]);
  c.powerOnIndex = listIndexOf(word & kOptPowerOnPlay, start[1]);

  Bytes alarm;
  if (!link.CmdReadAlarm(alarm)) return false;
  c.lowVoltageIndex = listIndexOf(word & kOptLowVoltagePlay, alarm[0]);
  // The box shows the board's value as read; the spinner stops at its bounds.
  const int tenths = thresholdTenths(readWord(alarm.data() + 1));
  c.thresholdTenths = limitThreshold(tenths);
  c.thresholdText = thresholdText(tenths);

  Bytes mask;
  if (!link.CmdReadQvsMask(mask) || mask.size() < kQvsMaskBytes) return false;
  c.qvsMask = qvsMaskFromBytes(mask.data());
  return true;
}

OptionsOpening openBoardOptions(BoardLink& link, OptionControls& controls) {
  if (!link.SetSleep(kSleepOn)) return OptionsOpening::kSleepFailed;
  if (!LoadBoardOptions(link, controls)) return OptionsOpening::kLoadFailed;
  if (!link.SetSleep(kSleepOff)) return OptionsOpening::kWakeFailed;
  return OptionsOpening::kReady;
}

bool WriteOptionWord(BoardLink& link, const OptionControls& controls) {
  std::uint16_t word = 0;
  if (!link.CmdReadOptions(StoredCopy, word)) return false;
  word = composeOptionWord(word, controls);
  return link.CmdWriteOptions(StoredCopy, word) && link.CmdWriteOptions(WorkingCopy, word);
}

bool writeStartData(BoardLink& link, const OptionControls& c) {
  Bytes start;
  if (!link.CmdReadStartData(start)) return false;
  // The start data go out whether or not the word did.
  WriteOptionWord(link, c);
  const int startSwitch = c.startSwitchIndex != kListOff ? c.startSwitchIndex - 1 : start[0];
  const int powerOn = c.powerOnIndex != kListOff ? c.powerOnIndex - 1 : start[1];
  return link.CmdWriteStartData(startSwitch, powerOn);
}

bool WriteAlarm(BoardLink& link, const OptionControls& c) {
  WriteOptionWord(link, c);
  Bytes alarm;
  if (!link.CmdReadAlarm(alarm)) return false;
  const int motion = c.lowVoltageIndex != kListOff ? c.lowVoltageIndex - 1 : alarm[0];
  return link.CmdWriteAlarm(motion, static_cast<std::uint16_t>(thresholdRaw(c.thresholdTenths)));
}

bool writeQvsMask(BoardLink& link, const OptionControls& c) {
  return link.CmdWriteQvsMask(c.qvsMask & 0xFFFFFF);
}

}  // namespace pvrj
