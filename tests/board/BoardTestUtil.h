// Helpers for the board tests: a bare PC-side exchange over any port, independent of BoardLink.
#pragma once

#include <cstdint>
#include <vector>

#include "board/BoardCommands.h"
#include "serial/BoardPort.h"

namespace pvrj::board::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes withChecksum(Bytes packet) {
  packet.push_back(checksumOf(packet.data(), packet.size()));
  return packet;
}

struct Reply {
  bool handshake = false;  // the board answered the handshake byte
  Bytes bytes;             // what came back for the request, up to the expected count
};

// One attempt: handshake, request with its checksum, and a read of replyLength bytes.
inline Reply exchange(BoardPort& port, const Bytes& packet, std::size_t replyLength) {
  Reply r;
  port.PurgeReceive();
  const std::uint8_t hs = kHandshakeByte;
  port.Write(&hs, 1);
  std::uint8_t answer = 0;
  r.handshake = port.Read(&answer, 1) == 1;
  if (!r.handshake) return r;
  port.PurgeReceive();
  const Bytes full = withChecksum(packet);
  port.Write(full.data(), full.size());
  r.bytes.resize(replyLength);
  r.bytes.resize(replyLength ? port.Read(r.bytes.data(), replyLength) : 0);
  return r;
}

// The data bytes of a data reply whose checksum holds; empty when it does not.
inline Bytes dataOf(const Reply& r, std::size_t dataLength) {
  if (r.bytes.size() != dataLength + 1) return {};
  if (checksumOf(r.bytes.data(), dataLength) != r.bytes.back()) return {};
  return Bytes(r.bytes.begin(), r.bytes.end() - 1);
}

inline bool acked(const Reply& r) {
  return r.bytes.size() == 1 && r.bytes[0] == kAckByte;
}

}  // namespace pvrj::board::test
