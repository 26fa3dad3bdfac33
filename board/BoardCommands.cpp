// The table of request lengths and reply kinds the virtual board parses requests with.
#include "board/BoardCommands.h"

namespace pvrj::board {
namespace {

constexpr CommandInfo kCommands[kCommandCount] = {
    {kReadChannelName, 3, ReplyKind::kData, 32},
    {kWriteChannelName, 36, ReplyKind::kAck, 0},
    {kReadHomePosition, 2, ReplyKind::kData, 48},
    {kWriteHomePosition, 51, ReplyKind::kAck, 0},
    {kReadQvsParams, 3, ReplyKind::kData, 17},
    {kWriteQvsParams, 20, ReplyKind::kAck, 0},
    {kReadQvsMask, 2, ReplyKind::kData, 3},
    {kWriteQvsMask, 6, ReplyKind::kAck, 0},
    {kReadReceiverRefs, 3, ReplyKind::kData, 4},
    {kWriteReceiverRefs, 7, ReplyKind::kAck, 0},
    {kReadSensorBlock, 3, ReplyKind::kData, 18},
    {kWriteSensorBlock, 21, ReplyKind::kAck, 0},
    {kReadMixingBlock, 4, ReplyKind::kData, 24},
    {kWriteMixingBlock, 28, ReplyKind::kAck, 0},
    {kReadAnalogRefs, 3, ReplyKind::kData, 6},
    {kWriteAnalogRefs, 9, ReplyKind::kAck, 0},
    {kSetAnalogRef, 6, ReplyKind::kNone, 0},
    {kReadAlarm, 2, ReplyKind::kData, 3},
    {kWriteAlarm, 6, ReplyKind::kAck, 0},
    {kReadCounter, 2, ReplyKind::kData, 7},
    {kReadStartData, 2, ReplyKind::kData, 2},
    {kWriteStartData, 5, ReplyKind::kAck, 0},
    {kReadPositions, 2, ReplyKind::kData, 48},
    {kReadOptions, 3, ReplyKind::kData, 2},
    {kWriteOptions, 5, ReplyKind::kAck, 0},
    {kStop, 6, ReplyKind::kAck, 0},
    {kPlay, 4, ReplyKind::kAck, 0},
    {kReadTableEntry, 3, ReplyKind::kData, 42},
    {kWriteTableEntry, 46, ReplyKind::kAck, 0},
    {kReadScenarioStep, 4, ReplyKind::kData, 1},
    {kWriteScenarioStep, 6, ReplyKind::kAck, 0},
    {kReadTrims, 3, ReplyKind::kData, 48},
    {kWriteTrims, 51, ReplyKind::kAck, 0},
    {kSetTrim, 6, ReplyKind::kNone, 0},
    {kReadPositionRecord, 5, ReplyKind::kData, 49},
    {kWritePositionRecord, 54, ReplyKind::kAck, 0},
    {kSetServo, 7, ReplyKind::kNone, 0},
    {kReadBoardInfo, 2, ReplyKind::kData, 64},
};

}  // namespace

std::optional<CommandInfo> commandInfo(std::uint8_t code) {
  for (const CommandInfo& info : kCommands) {
    if (info.code == code) return info;
  }
  return std::nullopt;
}

const CommandInfo* allCommands() {
  return kCommands;
}

std::uint8_t checksumOf(const std::uint8_t* data, std::size_t count) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += data[i];
  return static_cast<std::uint8_t>(sum & 0xFFu);
}

}  // namespace pvrj::board
