// The board's data units as the program and the wire see them: poses, records and table entries.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/BoardFacts.h"

namespace pvrj {

// A byte string as it goes to or comes from the board.
using Bytes = std::vector<std::uint8_t>;

// Special channel words from 0x8000 up; 0x8002 lets the servo go free.
inline constexpr std::uint16_t kServoFree = 0x8002;

using PositionBlockBytes = std::array<std::uint8_t, kPositionBlockLength>;
using PositionRecordBytes = std::array<std::uint8_t, kPositionRecordLength>;
using TableEntryData = std::array<std::uint8_t, kTableEntryLength>;

// 24 channel words, CH1 first.
struct PositionBlock {
  std::array<std::uint16_t, kBoardChannels> words{};

  PositionBlockBytes encode() const;
  // Reads 48 bytes; false (block unchanged) when fewer are given.
  bool decode(std::span<const std::uint8_t> bytes);
  bool operator==(const PositionBlock&) const = default;
};

// One stored motion step or live pose: a lead byte (speed for a pose) and a position block.
struct PositionRecord {
  std::uint8_t lead = 1;
  PositionBlock block;

  PositionRecordBytes encode() const;
  // Reads 49 bytes (a trailing checksum byte is ignored); false when fewer are given.
  bool decode(std::span<const std::uint8_t> bytes);
  bool operator==(const PositionRecord&) const = default;
};

// One entry of the board's motion table. This is the one place that reads and writes the 42 bytes;
// the name is UTF-8 here and CP932 on the board.
struct TableEntry {
  std::uint8_t count = 0;
  std::uint32_t mask = 0;  // 24 bits, bit 0 = CH1
  std::uint8_t month = kNoDate;
  std::uint8_t day = kNoDate;
  std::uint8_t hour = kNoDate;
  std::uint8_t minute = kNoDate;
  std::uint16_t control = 0xFFFF;
  std::string name;  // UTF-8; cut to 32 CP932 bytes at a character boundary on encoding

  // Count, mask low byte first, month, day, hour, minute, control high byte first, 32-byte name.
  TableEntryData encode() const;
  // Reads 42 bytes (a trailing checksum byte is ignored); the name stops at its first NUL.
  // False (entry unchanged) when fewer are given.
  bool decode(std::span<const std::uint8_t> bytes);
  // The entry of bytes, or a blank entry when fewer than 42 are given.
  static TableEntry from(std::span<const std::uint8_t> bytes) {
    TableEntry e;
    e.decode(bytes);
    return e;
  }
  // All zero except bytes 4 to 9, which are 0xFF.
  static TableEntry blank() { return TableEntry{}; }
  bool operator==(const TableEntry&) const = default;
};

// A 16-bit value as the board wants it: high byte first.
inline void appendWord(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
}
inline std::uint16_t readWord(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace pvrj
