// The virtual board keeps its own numbers on purpose (it models a device, not the program);
// they must still be the board's facts as the program knows them.
#include <gtest/gtest.h>

#include "board/BoardCommands.h"
#include "board/BoardMemory.h"
#include "protocol/BoardLink.h"

namespace pvrj {
namespace {

TEST(BoardFacts, TheVirtualBoardAgreesWithTheProgram) {
  struct Pair {
    const char* name;
    long board;
    long program;
  };
  const Pair pairs[] = {
      {"channels", board::kChannelCount, kBoardChannels},
      {"table entries", board::kTableEntryCount, kTableSlots},
      {"motion slots", board::kMotionSlotCount, kMotionSlots},
      {"scenarios", board::kScenarioCount, kScenarioSlots},
      {"records per slot", board::kRecordsPerSlot, kRecordsPerSlot},
      {"scenario steps", board::kScenarioStepCount, kMaxScenarioSteps},
      {"entry length", static_cast<long>(board::kTableEntrySize),
       static_cast<long>(kTableEntryLength)},
      {"record length", static_cast<long>(board::kRecordSize),
       static_cast<long>(kPositionRecordLength)},
      {"name length", static_cast<long>(board::kNameSize), static_cast<long>(kTableNameLength)},
      {"channel name length", static_cast<long>(board::kNameSize),
       static_cast<long>(kChannelNameLength)},
      {"servo-bus parameters", static_cast<long>(board::kQvsParamSize),
       static_cast<long>(kQvsParamsLength)},
      {"sensor block", static_cast<long>(board::kSensorBlockSize),
       static_cast<long>(kSensorBlockLength)},
      {"mixing block", static_cast<long>(board::kMixingBlockSize),
       static_cast<long>(kMixingBlockLength)},
      {"information text", static_cast<long>(board::kInfoTextSize),
       static_cast<long>(kBoardInfoLength)},
      {"analog inputs", board::kAnalogInputCount, kAnalogInputs},
      {"receiver references", board::kReceiverChannelCount, static_cast<long>(kReceiverRefsLength)},
      {"servo free", board::kServoFree, kServoFree},
      {"handshake", board::kHandshakeByte, kHandshakeByte},
      {"acknowledge", board::kAckByte, kAckByte},
      {"sleep bit", board::kOptSleep, kOptionSleep},
      {"pause bit", board::kOptPause, kOptionPause},
      {"receiver stream bit", board::kOptReceiverStream, kOptionReceiverStream},
      {"data dialog bit", board::kOptDataDialog, kOptionBit5},
      {"analog stream bit", board::kOptAnalogStream, kOptionAnalogStream},
      {"servo-bus bit", board::kOptQvsMode, kOptionQvsMode},
  };
  for (const Pair& p : pairs) EXPECT_EQ(p.board, p.program) << p.name;

  // A blank entry is the same 42 bytes on both sides.
  const TableEntryData blank = TableEntry::blank().encode();
  EXPECT_TRUE(std::equal(blank.begin(), blank.end(), board::blankTableEntry().begin()));
  // So are the reply lengths of the table entry and the record.
  EXPECT_EQ(board::commandInfo(kReadTableEntry)->dataLength, kTableEntryLength);
  EXPECT_EQ(board::commandInfo(kReadPositionRecord)->dataLength, kPositionRecordLength);
}

}  // namespace
}  // namespace pvrj
