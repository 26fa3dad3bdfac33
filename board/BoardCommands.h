// The board's own view of the request codes: how long each request is and how it is answered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pvrj::board {

// Request codes as the board knows them.
enum Code : std::uint8_t {
  kReadChannelName = 0xD0,
  kWriteChannelName = 0xD1,
  kReadHomePosition = 0xD2,
  kWriteHomePosition = 0xD3,
  kReadQvsParams = 0xDA,
  kWriteQvsParams = 0xDB,
  kReadQvsMask = 0xDC,
  kWriteQvsMask = 0xDD,
  kReadReceiverRefs = 0xDF,
  kWriteReceiverRefs = 0xE0,
  kReadSensorBlock = 0xE1,
  kWriteSensorBlock = 0xE2,
  kReadMixingBlock = 0xE3,
  kWriteMixingBlock = 0xE4,
  kReadAnalogRefs = 0xE5,
  kWriteAnalogRefs = 0xE6,
  kSetAnalogRef = 0xE7,
  kReadAlarm = 0xEB,
  kWriteAlarm = 0xEC,
  kReadCounter = 0xED,
  kReadStartData = 0xEE,
  kWriteStartData = 0xEF,
  kReadPositions = 0xF0,
  kReadOptions = 0xF1,
  kWriteOptions = 0xF2,
  kStop = 0xF3,
  kPlay = 0xF4,
  kReadTableEntry = 0xF5,
  kWriteTableEntry = 0xF6,
  kReadScenarioStep = 0xF7,
  kWriteScenarioStep = 0xF8,
  kReadTrims = 0xF9,
  kWriteTrims = 0xFA,
  kSetTrim = 0xFB,
  kReadPositionRecord = 0xFC,
  kWritePositionRecord = 0xFD,
  kSetServo = 0xFE,
  kReadBoardInfo = 0xFF,
};

enum class ReplyKind { kData, kAck, kNone };

struct CommandInfo {
  std::uint8_t code;
  std::size_t packetLength;  // code byte, request bytes and checksum
  ReplyKind reply;
  std::size_t dataLength;  // data bytes of a data reply, before its checksum
};

inline constexpr std::uint8_t kHandshakeByte = 0x0D;
inline constexpr std::uint8_t kAckByte = 0x06;
// Sent instead of the acknowledge when the board refuses a request (a slot out of range, ...).
inline constexpr std::uint8_t kNakByte = 0x15;
inline constexpr std::size_t kCommandCount = 38;

// The entry for a code, or nothing for a byte that starts no request.
std::optional<CommandInfo> commandInfo(std::uint8_t code);
// All 38 entries in code order.
const CommandInfo* allCommands();

// The low 8 bits of the sum of the bytes.
std::uint8_t checksumOf(const std::uint8_t* data, std::size_t count);

}  // namespace pvrj::board
