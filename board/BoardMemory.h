// Everything the virtual board keeps: its stored memory, the working copies and the state file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Result.h"

namespace pvrj::board {

inline constexpr int kChannelCount = 24;
inline constexpr int kTableEntryCount = 85;
inline constexpr int kMotionSlotCount = 80;
inline constexpr int kRecordsPerSlot = 30;
inline constexpr int kRecordCapacity = kMotionSlotCount * kRecordsPerSlot;
inline constexpr int kScenarioCount = 5;
inline constexpr int kScenarioStepCount = 200;
inline constexpr std::size_t kTableEntrySize = 42;
inline constexpr std::size_t kRecordSize = 49;
inline constexpr std::size_t kNameSize = 32;
inline constexpr std::size_t kQvsParamSize = 17;
inline constexpr std::size_t kSensorBlockSize = 18;
inline constexpr std::size_t kMixingBlockSize = 24;
inline constexpr std::size_t kInfoTextSize = 64;
inline constexpr int kAnalogInputCount = 3;
inline constexpr int kReceiverChannelCount = 4;

inline constexpr std::uint16_t kServoCentre = 0x4000;
inline constexpr std::uint16_t kServoFree = 0x8002;

// Option word bits the board itself acts on.
inline constexpr std::uint16_t kOptSleep = 0x0001;
inline constexpr std::uint16_t kOptPause = 0x0002;
inline constexpr std::uint16_t kOptReceiverStream = 0x0004;
inline constexpr std::uint16_t kOptDataDialog = 0x0020;
inline constexpr std::uint16_t kOptAnalogStream = 0x0100;
inline constexpr std::uint16_t kOptPowerOnPlay = 0x0800;
inline constexpr std::uint16_t kOptPlayEndReport = 0x0200;
inline constexpr std::uint16_t kOptQvsMode = 0x4000;
// Bits of the working word that start clear after power-on whatever the stored word holds.
inline constexpr std::uint16_t kOptTransientBits =
    kOptSleep | kOptPause | kOptReceiverStream | kOptDataDialog | kOptAnalogStream;

using TableEntry = std::array<std::uint8_t, kTableEntrySize>;
using Record = std::array<std::uint8_t, kRecordSize>;
using ChannelWords = std::array<std::uint16_t, kChannelCount>;

// The settings the board holds twice: a stored copy and a working copy that acts at once.
struct CopiedSettings {
  std::uint16_t options = 0;
  ChannelWords trims{};
  std::array<std::uint8_t, kReceiverChannelCount> receiverRefs{};
  std::array<std::uint8_t, kSensorBlockSize> sensor{};
  std::array<std::array<std::uint8_t, kMixingBlockSize>, kAnalogInputCount> mixing{};
  std::array<std::uint16_t, kAnalogInputCount> analogRefs{};

  bool operator==(const CopiedSettings&) const = default;
};

// The board's memory that survives a power cycle.
struct BoardMemory {
  std::array<TableEntry, kTableEntryCount> table{};
  std::vector<Record> records;  // kRecordCapacity records; slot s starts at s * kRecordsPerSlot
  std::array<std::array<std::uint8_t, kScenarioStepCount>, kScenarioCount> scenarios{};
  CopiedSettings stored;
  ChannelWords home{};
  std::array<std::array<std::uint8_t, kNameSize>, kChannelCount> channelNames{};
  std::array<std::uint8_t, 3> qvsMask{};
  std::array<std::array<std::uint8_t, kQvsParamSize>, kChannelCount> qvsParams{};
  std::array<std::uint8_t, 3> alarm{};
  std::array<std::uint8_t, 2> startData{};
  std::array<std::uint8_t, kInfoTextSize> infoText{};

  BoardMemory();
  bool operator==(const BoardMemory&) const = default;
};

// A blank table entry: all zero except bytes 4 to 9.
TableEntry blankTableEntry();
// The 17-byte parameter block a servo-bus servo on channel index ch reports when new.
std::array<std::uint8_t, kQvsParamSize> defaultQvsParams(int ch);

// The state file: a fixed binary layout with a magic, a length and a checksum, written through a
// temporary file and a rename.
std::string serializeMemory(const BoardMemory& memory);
Result<BoardMemory> deserializeMemory(const std::string& bytes);
Status saveMemory(const BoardMemory& memory, const std::string& path);
// A missing file is not an error: the result then holds a new board's memory.
Result<BoardMemory> loadMemory(const std::string& path);

}  // namespace pvrj::board
