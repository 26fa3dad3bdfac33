// The analog dialog's rules without its widgets: references, measured values, the mixing table
// and the sensor table with their board encodings, and the dialog's board sequences.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "editors/core/SettingWords.h"
#include "protocol/BoardTypes.h"

namespace pvrj {

class BoardLink;
class BoardMessages;
struct AnalogReport;

inline constexpr int kAnalogInputCount = 3;  // AD1 to AD3
inline constexpr int kSensorRows = 2;        // two thresholds per input
inline constexpr int kSensorEntries = kAnalogInputCount * kSensorRows;

// The reference slider's range; a reference the board took itself (AUTO) may lie outside.
inline constexpr int kReferenceMin = 0;
inline constexpr int kReferenceMax = 1023;
// CmdSetAnalogRef with this value makes the board take the input's present reading.
inline constexpr std::uint16_t kTakeReading = 0xFFFF;

// The mixing lists are the setting editor's ratio lists: "x -63" .. "x -1" (0 to 62), "OFF" (63),
// "x 1" .. "x 63" (64 to 126), with the same byte codes.
inline constexpr int kMixingItems = kMixingRatios;
inline constexpr int kMixingOff = kMixingRatioOff;

// Sensor thresholds, on the change of an input against its reference.
inline constexpr int kThresholdLimit = 1023;

// One sensor entry: list index (0 "OFF", m + 1 = motion m) and threshold.
struct SensorSetting {
  int motionIndex = 0;
  int threshold = 0;
  bool operator==(const SensorSetting&) const = default;
};
// Entries numbered input x 2 + row.
using SensorSettings = std::array<SensorSetting, kSensorEntries>;
using MixingFactors = std::array<int, kBoardChannels>;  // list index per servo channel

// The dialog's own copy of the board's analog settings and the latest readings.
struct AnalogSettings {
  std::array<std::uint16_t, kAnalogInputCount> references{};
  std::array<std::uint16_t, kAnalogInputCount> measured{};
  std::array<MixingFactors, kAnalogInputCount> mixing{};
  SensorSettings sensors{};

  AnalogSettings();
};

// The mixing list's items, in index order.
std::vector<std::string> mixingItems();
// A mixing byte from a list index and back (a byte without bit 7 is "OFF").
std::uint8_t mixingByte(int index);
int mixingIndex(std::uint8_t byte);
Bytes encodeMixingRow(const MixingFactors& row);
MixingFactors decodeMixingRow(std::span<const std::uint8_t> block);

// The sensor table from an 18-byte block, and the table merged into a block as read: entries at
// "OFF" keep the block's motion byte; every word is rebuilt from the threshold and the entry.
SensorSettings decodeSensorBlock(std::span<const std::uint8_t> block);
Bytes mergeSensorBlock(std::span<const std::uint8_t> read, const SensorSettings& sensors);

// The change a reference panel shows: measured - reference.
int referenceChange(const AnalogSettings& s, int input);
// The sensor entry of an input's row.
inline int sensorEntry(int input, int row) {
  return input * kSensorRows + row;
}

// LoadAnalogSettings: the stored references, the three mixing blocks and the sensor block; false
// at the first read that fails.
bool LoadAnalogSettings(BoardLink& link, AnalogSettings& s);
// StoreAnalogSettings: references and mixing blocks to the stored copy (stop at the first
// failure), then the working sensor block merged with the table to the stored copy.
bool StoreAnalogSettings(BoardLink& link, const AnalogSettings& s);

// The analog button up to the dialog: load (false: not shown, the stream stays off), then empty
// the receive buffer and switch the analog stream on. The dialog shows after a true result, also
// when the stream could not be switched on.
bool openAnalogDialog(BoardLink& link, BoardMessages& messages, AnalogSettings& s);
// After the dialog: stream off, then store. True when the settings were stored. A stream that
// cannot be switched off is told in the status line (kActionStreamOff + "失敗: " and why).
bool closeAnalogDialog(BoardLink& link, const AnalogSettings& s);

// The reference slider: the position becomes the input's reference and goes to the board live.
void moveReference(BoardLink& link, AnalogSettings& s, int input, int position);
// AUTO: the board takes the input's reading; then all three working references are read back.
bool autoReference(BoardLink& link, AnalogSettings& s, int input);
// A mixing list closed: the entry is stored and the input's block written to the working copy.
bool chooseMixing(BoardLink& link, AnalogSettings& s, int input, int channel, int index);
// Read the working sensor block, merge the table, write it back to the working copy.
bool writeWorkingSensors(BoardLink& link, const AnalogSettings& s);
// A motion list closed: the entry is stored and the sensor block written.
bool chooseSensorMotion(BoardLink& link, AnalogSettings& s, int input, int row, int index);
// A threshold bar moved: the entry follows; the block is written only when the drag ends.
bool moveSensorThreshold(BoardLink& link, AnalogSettings& s, int input, int row, int position,
                         bool scrollEnded);

// A streamed report: the three inputs become the measured values.
void takeAnalogReport(AnalogSettings& s, const AnalogReport& report);

}  // namespace pvrj
