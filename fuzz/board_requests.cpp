// Fuzz target: pvrj-board's request parser and everything behind it. Bytes reach the virtual board
// at moments the input chooses: raw bytes, requests framed with a right (or wrong) checksum after
// a handshake, pauses that let it play, stream and drift, faults, power cycles and line pacing.
// The board answers within its rules and keeps its memory's shape.
#include <cstdint>
#include <vector>

#include "board/BoardCommands.h"
#include "board/VirtualBoard.h"
#include "fuzz/FuzzSupport.h"

using namespace pvrj;
using namespace pvrj::fuzz;
using namespace pvrj::board;

namespace {

// Longest pause the input may ask for between bytes: long enough to play a whole slot.
constexpr Micros kMaxPause = 2'000'000;

Fault faultFrom(FuzzInput& in) {
  switch (in.byte() % 7) {
    case 0:
      return Fault::noHandshake();
    case 1:
      return Fault::shortReply(in.byte() % 70);
    case 2:
      return Fault::wrongChecksum();
    case 3: {
      const auto bytes = in.bytes(in.byte() % 8);
      return Fault::garbage(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    }
    case 4:
      return Fault::delayed(static_cast<Micros>(in.word()) * 20);
    case 5:
      return Fault::hangUp();
    default: {
      // A fault read from text, as --fault gives it.
      const std::string text = in.text(in.byte() % 16);
      return parseFault(text).value_or(Fault::noHandshake());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  VirtualBoard board;
  Micros now = 0;
  while (!in.empty()) {
    switch (in.byte() % 8) {
      case 0:
      case 1: {  // raw bytes
        const auto bytes = in.bytes(in.byte() % 64);
        board.receive(bytes.data(), bytes.size(), now);
        break;
      }
      case 2:
      case 3: {  // a framed request after its handshake
        const std::uint8_t code = static_cast<std::uint8_t>(0xD0 | in.byte());
        const std::optional<CommandInfo> info = commandInfo(code);
        std::vector<std::uint8_t> packet{kHandshakeByte, code};
        const std::size_t length = info ? info->packetLength : 1 + in.byte() % 8;
        const auto body = in.bytes(length - 2);
        packet.insert(packet.end(), body.begin(), body.end());
        std::uint8_t sum = checksumOf(packet.data() + 1, packet.size() - 1);
        if (in.byte() % 16 == 0) sum = static_cast<std::uint8_t>(sum + 1 + in.byte() % 255);
        packet.push_back(sum);
        board.receive(packet.data(), packet.size(), now);
        break;
      }
      case 4:  // time passes
        now += static_cast<Micros>(in.word()) * kMaxPause / 0xFFFF;
        break;
      case 5: {  // the PC takes what has come, or purges it
        if (in.flag()) {
          board.takeOutput(now, in.word());
        } else {
          board.discardOutput(now);
        }
        break;
      }
      case 6:
        if (in.flag()) {
          const int attempts = in.inRange(1, 6);
          board.injectFault(faultFrom(in), attempts);
        } else {
          const std::uint64_t at = board.handshakeCount() + in.byte() % 8;
          board.injectFaultAt(at, faultFrom(in));
        }
        break;
      default:
        if (in.flag()) {
          board.powerCycle();
        } else {
          board.setPacing(!board.pacing());
        }
        break;
    }
    board.advance(now);
    if (const std::optional<Micros> wake = board.nextWake(now)) PVRJ_FUZZ_CHECK(*wake > now);
    PVRJ_FUZZ_CHECK(board.memory().records.size() == static_cast<std::size_t>(kRecordCapacity));
    // Now and then the PC reads all that has come.
    if (in.byte() % 4 == 0) {
      board.takeOutput(now);
      PVRJ_FUZZ_CHECK(board.outputReady(now) == 0);
    }
  }
  return 0;
}
