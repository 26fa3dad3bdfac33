// The board's own view of the request codes: how long each request is and how it is answered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "protocol/CommandCodes.h"

namespace pvrj::board {

// Request codes as the board knows them.
using Code = ::pvrj::CommandCode;

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
