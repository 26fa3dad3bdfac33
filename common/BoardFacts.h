// The board's sizes, counts and offsets, written once. Numbers only and no code, so the chart
// model and the windows take them from here too; the virtual board keeps its own copy on purpose
// (a test checks that both agree).
#pragma once

#include <cstddef>
#include <cstdint>

namespace pvrj {

// Servo channels CH1 to CH24.
inline constexpr int kBoardChannels = 24;
// The position word of a servo at the middle of its travel.
inline constexpr int kPositionCentre = 16384;

// The motion table: 80 motion slots "M1".."M80", then 5 scenario slots "S1".."S5".
inline constexpr int kMotionSlots = 80;
inline constexpr int kScenarioSlots = 5;
inline constexpr int kTableSlots = kMotionSlots + kScenarioSlots;
inline constexpr int kFirstScenarioSlot = kMotionSlots;
// A motion slot holds this many records; a longer motion runs on into the following slots.
inline constexpr int kRecordsPerSlot = 30;
// A scenario holds at most this many steps.
inline constexpr int kMaxScenarioSteps = 200;

// A position block is the 24 channel words, high byte first; a record puts a lead byte before it.
inline constexpr std::size_t kPositionBlockLength = 2 * kBoardChannels;
inline constexpr std::size_t kPositionRecordLength = 1 + kPositionBlockLength;
inline constexpr std::size_t kChannelNameLength = 32;

// The 42-byte table entry.
inline constexpr std::size_t kTableEntryLength = 42;
inline constexpr std::size_t kEntryCountOffset = 0;
inline constexpr std::size_t kEntryMaskOffset = 1;  // 24 bits, low byte first
inline constexpr std::size_t kEntryDateOffset = 4;  // month, day, hour, minute
inline constexpr std::size_t kEntryDateLength = 4;
inline constexpr std::size_t kEntryControlOffset = 8;  // 16 bits, high byte first
inline constexpr std::size_t kEntryNameOffset = 10;    // CP932, padded with NUL bytes
inline constexpr std::size_t kTableNameLength = 32;
static_assert(kEntryNameOffset + kTableNameLength == kTableEntryLength);
// Month byte of an entry without a date; a blank entry has 0xFF in all of bytes 4 to 9.
inline constexpr std::uint8_t kNoDate = 0xFF;

// Blocks the board moves without the program looking inside.
inline constexpr std::size_t kQvsParamsLength = 17;
inline constexpr std::size_t kReceiverRefsLength = 4;
inline constexpr std::size_t kSensorBlockLength = 18;
inline constexpr std::size_t kMixingBlockLength = 24;
inline constexpr std::size_t kBoardInfoLength = 64;
inline constexpr int kAnalogInputs = 3;

}  // namespace pvrj
