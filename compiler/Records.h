// The 49-byte motion record: how each kind of step is encoded, how a record read back is sorted
// into a kind, and the rows of the dump page.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "chart/Chart.h"
#include "protocol/BoardTypes.h"

namespace pvrj {

// Lead byte, then 24 channel words high byte first, CH1 first.
using MotionRecord = PositionRecordBytes;

// Lead byte of compare, jump and end steps.
inline constexpr std::uint8_t kControlLeadByte = 0x01;
// A jump to step t is this word plus t; the end of a motion is 0xFFFF in every channel.
inline constexpr std::uint16_t kJumpBase = 0x8107;
inline constexpr std::uint16_t kEndWord = 0xFFFF;

// Step targets are the offsets of 256-word classes, so a motion addresses steps 0 to 255 only.
inline constexpr int kMaxMotionSteps = 256;
// The board's table entry keeps the record count in one byte.
inline constexpr std::size_t kMaxTableRecords = 255;

// What a record read back was made from.
enum RecordClass : int {
  kRecordPos = 0,
  kRecordSet = 1,
  kRecordCmp = 2,
  kRecordJmp = 3,
  kRecordEnd = 4,
  kRecordUnknown = 255,  // a word in one of the gaps of the word classes
};

MotionRecord makeRecord(std::uint8_t lead, const PrmWordArray& words);
// Channel word (0-based channel) of a record.
std::uint16_t recordWord(const MotionRecord& record, int channel);
PrmWordArray recordWords(const MotionRecord& record);

// A POS or SET item, or any item without a branch target: its lead byte and words as they are.
MotionRecord encodeItemStep(const ChartItem& item);
// A CMP item branching to step t: lead 0x01, each word plus t kept to 16 bits.
MotionRecord encodeCompareStep(const ChartItem& item, int targetStep);
MotionRecord encodeJumpStep(int targetStep);
MotionRecord encodeEndStep();

// Record class of one channel word.
int wordRecordClass(std::uint16_t word);
// Record class of a whole record: mixed kinds of entry make a pose.
int recordClass(const MotionRecord& record);
// The step a JMP or CMP record leads to.
int recordTarget(const MotionRecord& record);

// The item's lead byte and 24 words as 98 lower-case hex digits.
std::string parameterHex(const ChartItem& item);
// "001 64 0000 ..." for record number index + 1.
std::string dumpRow(int index, const MotionRecord& record);
// The row of a record read from the board: each field followed by a space.
std::string readBackDumpRow(int index, const MotionRecord& record);

// True when a motion of this many records cannot be written: the entry's count is one byte.
bool tooManyRecordsForTable(std::size_t count);

}  // namespace pvrj
