// Mixing and sensor encodings and the analog dialog's board sequences.
#include "tools/core/AnalogSettings.h"

#include <algorithm>

#include "protocol/BoardLink.h"
#include "protocol/BoardMessages.h"

namespace pvrj {
namespace {

constexpr std::size_t kSensorWordsOffset = kSensorEntries;  // bytes 0-5 motions, then 6 words
constexpr std::uint16_t kSensorNegative = 0x8000;
constexpr std::uint16_t kSensorEnabled = 0x4000;
constexpr std::uint16_t kSensorMagnitude = 0x03FF;
constexpr int kSensorMotions = 85;  // numbers above 84 show as "OFF"

bool validInput(int input) {
  return input >= 0 && input < kAnalogInputCount;
}
bool validRow(int row) {
  return row >= 0 && row < kSensorRows;
}

}  // namespace

AnalogSettings::AnalogSettings() {
  for (MixingFactors& row : mixing) row.fill(kMixingOff);
}

std::vector<std::string> mixingItems() {
  return mixingRatioTexts();
}

std::uint8_t mixingByte(int index) {
  return mixingCode(std::clamp(index, 0, kMixingItems - 1));
}

int mixingIndex(std::uint8_t byte) {
  if (!(byte & kMixingActive)) return kMixingOff;
  const int magnitude = byte & kMixingMagnitude;
  return byte & kMixingNegative ? kMixingOff - magnitude : kMixingOff + magnitude;
}

Bytes encodeMixingRow(const MixingFactors& row) {
  Bytes block;
  block.reserve(kMixingBlockLength);
  for (int index : row) block.push_back(mixingByte(index));
  return block;
}

MixingFactors decodeMixingRow(std::span<const std::uint8_t> block) {
  MixingFactors row;
  row.fill(kMixingOff);
  for (std::size_t ch = 0; ch < row.size() && ch < block.size(); ++ch) {
    row[ch] = mixingIndex(block[ch]);
  }
  return row;
}

SensorSettings decodeSensorBlock(std::span<const std::uint8_t> block) {
  SensorSettings sensors{};
  if (block.size() < kSensorBlockLength) return sensors;
  for (int k = 0; k < kSensorEntries; ++k) {
    const std::uint8_t motion = block[static_cast<std::size_t>(k)];
    const std::uint16_t word = readWord(block.data() + kSensorWordsOffset + 2 * k);
    SensorSetting& entry = sensors[static_cast<std::size_t>(k)];
    entry.motionIndex = motion < kSensorMotions && (word & kSensorEnabled) ? motion + 1 : 0;
    const int magnitude = word & kSensorMagnitude;
    entry.threshold = word & kSensorNegative ? -magnitude : magnitude;
  }
  return sensors;
}

Bytes mergeSensorBlock(std::span<const std::uint8_t> read, const SensorSettings& sensors) {
  Bytes block(read.begin(), read.begin() + std::min(read.size(), kSensorBlockLength));
  block.resize(kSensorBlockLength, 0);
  for (int k = 0; k < kSensorEntries; ++k) {
    const SensorSetting& entry = sensors[static_cast<std::size_t>(k)];
    if (entry.motionIndex != 0)
      block[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(entry.motionIndex - 1);
    const int threshold = std::clamp(entry.threshold, -kThresholdLimit, kThresholdLimit);
    std::uint16_t word = static_cast<std::uint16_t>(std::abs(threshold));
    if (threshold < 0) word |= kSensorNegative;
    if (entry.motionIndex != 0) word |= kSensorEnabled;
    block[kSensorWordsOffset + 2 * k] = static_cast<std::uint8_t>(word >> 8);
    block[kSensorWordsOffset + 2 * k + 1] = static_cast<std::uint8_t>(word & 0xFF);
  }
  return block;
}

int referenceChange(const AnalogSettings& s, int input) {
  if (!validInput(input)) return 0;
  return static_cast<int>(s.measured[static_cast<std::size_t>(input)]) -
         static_cast<int>(s.references[static_cast<std::size_t>(input)]);
}

bool LoadAnalogSettings(BoardLink& link, AnalogSettings& s) {
  Bytes refs;
  if (!link.CmdReadAnalogRefs(StoredCopy, refs)) return false;
  for (int i = 0; i < kAnalogInputCount; ++i) {
    s.references[static_cast<std::size_t>(i)] = readWord(refs.data() + 2 * i);
  }
  for (int i = 0; i < kAnalogInputCount; ++i) {
    Bytes block;
    if (!link.CmdReadMixingBlock(StoredCopy, i, block)) return false;
    s.mixing[static_cast<std::size_t>(i)] = decodeMixingRow(block);
  }
  Bytes sensor;
  if (!link.CmdReadSensorBlock(StoredCopy, sensor)) return false;
  s.sensors = decodeSensorBlock(sensor);
  return true;
}

bool StoreAnalogSettings(BoardLink& link, const AnalogSettings& s) {
  if (!link.CmdWriteAnalogRefs(StoredCopy, s.references)) return false;
  for (int i = 0; i < kAnalogInputCount; ++i) {
    if (!link.CmdWriteMixingBlock(StoredCopy, i,
                                  encodeMixingRow(s.mixing[static_cast<std::size_t>(i)]))) {
      return false;
    }
  }
  Bytes read;
  if (!link.CmdReadSensorBlock(WorkingCopy, read)) return false;
  read.pop_back();  // the checksum byte
  return link.CmdWriteSensorBlock(StoredCopy, mergeSensorBlock(read, s.sensors));
}

bool openAnalogDialog(BoardLink& link, BoardMessages& messages, AnalogSettings& s) {
  if (!LoadAnalogSettings(link, s)) return false;
  messages.clear();
  link.SetAnalogStream(kAnalogStreamOn);
  return true;
}

bool closeAnalogDialog(BoardLink& link, const AnalogSettings& s) {
  const bool streamOff = link.SetAnalogStream(kAnalogStreamOff);
  // The store goes ahead either way; a stream left on is told once it is done.
  const std::string failed = streamOff ? std::string() : link.failureStatus(kActionStreamOff);
  const bool stored = StoreAnalogSettings(link, s);
  if (!streamOff) link.userInterface().showStatus(failed);
  return stored;
}

void moveReference(BoardLink& link, AnalogSettings& s, int input, int position) {
  if (!validInput(input)) return;
  const auto value = static_cast<std::uint16_t>(std::clamp(position, kReferenceMin, kReferenceMax));
  s.references[static_cast<std::size_t>(input)] = value;
  link.CmdSetAnalogRef(input, value);
}

bool autoReference(BoardLink& link, AnalogSettings& s, int input) {
  if (!validInput(input)) return false;
  link.CmdSetAnalogRef(input, kTakeReading);
  Bytes refs;
  if (!link.CmdReadAnalogRefs(WorkingCopy, refs)) return false;
  for (int i = 0; i < kAnalogInputCount; ++i) {
    s.references[static_cast<std::size_t>(i)] = readWord(refs.data() + 2 * i);
  }
  return true;
}

bool chooseMixing(BoardLink& link, AnalogSettings& s, int input, int channel, int index) {
  if (!validInput(input) || channel < 0 || channel >= kBoardChannels) return false;
  MixingFactors& row = s.mixing[static_cast<std::size_t>(input)];
  row[static_cast<std::size_t>(channel)] = std::clamp(index, 0, kMixingItems - 1);
  return link.CmdWriteMixingBlock(WorkingCopy, input, encodeMixingRow(row));
}

bool writeWorkingSensors(BoardLink& link, const AnalogSettings& s) {
  Bytes read;
  if (!link.CmdReadSensorBlock(WorkingCopy, read)) return false;
  read.pop_back();  // the checksum byte
  return link.CmdWriteSensorBlock(WorkingCopy, mergeSensorBlock(read, s.sensors));
}

bool chooseSensorMotion(BoardLink& link, AnalogSettings& s, int input, int row, int index) {
  if (!validInput(input) || !validRow(row)) return false;
  s.sensors[static_cast<std::size_t>(sensorEntry(input, row))].motionIndex =
      std::clamp(index, 0, kSensorMotions);
  return writeWorkingSensors(link, s);
}

bool moveSensorThreshold(BoardLink& link, AnalogSettings& s, int input, int row, int position,
                         bool scrollEnded) {
  if (!validInput(input) || !validRow(row)) return false;
  s.sensors[static_cast<std::size_t>(sensorEntry(input, row))].threshold =
      std::clamp(position, -kThresholdLimit, kThresholdLimit);
  if (!scrollEnded) return true;
  return writeWorkingSensors(link, s);
}

void takeAnalogReport(AnalogSettings& s, const AnalogReport& report) {
  for (int i = 0; i < kAnalogInputCount; ++i) {
    s.measured[static_cast<std::size_t>(i)] =
        static_cast<std::uint16_t>(report.inputs[static_cast<std::size_t>(i)]);
  }
}

}  // namespace pvrj
