// Fuzz target: the bytes the board sends on its own, arriving in pieces of any size, handed to the
// main window's receive handler either as bytes already read or through a port. Drained after
// every piece, the handler finds exactly the messages a plain walk over the whole stream finds;
// fed without draining, its buffer keeps to its bound.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "protocol/BoardMessages.h"

using namespace pvrj;
using namespace pvrj::fuzz;

namespace {

// A port that holds the bytes of one piece.
class PiecePort : public BoardPort {
 public:
  std::deque<std::uint8_t> bytes;
  bool IsOpen() const override { return true; }
  void Write(const std::uint8_t*, std::size_t) override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    const std::size_t n = std::min(count, bytes.size());
    std::copy_n(bytes.begin(), n, buffer);
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
  }
  void PurgeReceive() override { bytes.clear(); }
  void PurgeTransmit() override {}
  std::size_t InQueueCount() override { return bytes.size(); }
  int TimeOutReceive() const override { return 0; }
  void SetTimeOutReceive(int) override {}
  void SetWaitHook(std::function<void()>) override {}
};

using Message = std::vector<std::uint8_t>;

// The whole messages of a stream, walked from its start: bytes that start none are skipped.
std::vector<Message> wholeMessages(const std::vector<std::uint8_t>& stream) {
  std::vector<Message> out;
  std::size_t i = 0;
  while (i < stream.size()) {
    const std::size_t length = MessageLength(stream[i]);
    if (length == 0) {
      ++i;
      continue;
    }
    if (i + length > stream.size()) break;
    out.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(i),
                     stream.begin() + static_cast<std::ptrdiff_t>(i + length));
    i += length;
  }
  return out;
}

// A report as the numbers it carries: lead byte first.
using Values = std::vector<int>;

Values receiverValues(const ReceiverReport& r) {
  return {kReceiverLead, r.buttonValue, r.values[0], r.values[1], r.values[2], r.values[3]};
}
Values analogValues(const AnalogReport& a) {
  return {kAnalogLead, a.battery, a.inputs[0], a.inputs[1], a.inputs[2]};
}
// The same numbers read straight from the message's bytes.
Values valuesOf(const Message& m) {
  if (m[0] == kReceiverLead) return {m[0], m[2] * 256 + m[3], m[4], m[5], m[6], m[7]};
  return {m[0], m[1] * 128 + m[2], m[3] * 128 + m[4], m[5] * 128 + m[6], m[7] * 128 + m[8]};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const bool drain = in.flag();
  BoardMessages messages;
  PiecePort port;
  std::vector<std::uint8_t> stream;
  std::vector<Values> reported;
  std::vector<int> statusValues;
  messages.onReceiverReport = [&](const ReceiverReport& r) {
    reported.push_back(receiverValues(r));
  };
  messages.onAnalogReport = [&](const AnalogReport& a) { reported.push_back(analogValues(a)); };
  messages.showStatus = [&](const std::string& text) {
    PVRJ_FUZZ_CHECK(text.size() > 1 && text[0] == '[');
    statusValues.push_back(std::stoi(text.substr(1)));
  };

  while (!in.empty()) {
    const bool throughPort = in.flag();
    const std::size_t pieceSize = in.byte();
    const auto piece = in.bytes(pieceSize);
    stream.insert(stream.end(), piece.begin(), piece.end());
    if (throughPort) {
      port.bytes.assign(piece.begin(), piece.end());
      messages.CommX1Receive(port, piece.size() + in.byte() % 3);
    } else {
      messages.receive(piece.data(), piece.size());
    }
    PVRJ_FUZZ_CHECK(messages.buffer().size() <= kMaxReceiveBuffer);
    if (drain) {
      while (messages.handleOneMessage()) {
      }
      PVRJ_FUZZ_CHECK(!messages.hasWholeMessage());
    }
  }
  if (!drain) return 0;

  // Drained, the handler saw every whole message of the stream, in order.
  std::vector<Values> expected;
  std::vector<int> expectedPlayEnds;
  for (const Message& m : wholeMessages(stream)) {
    if (m[0] == kPlayEndLead) {
      const std::vector<int> values = parsePlayEndReport(m.data());
      PVRJ_FUZZ_CHECK(std::is_sorted(values.begin(), values.end()));
      PVRJ_FUZZ_CHECK(std::adjacent_find(values.begin(), values.end()) == values.end());
      expectedPlayEnds.insert(expectedPlayEnds.end(), values.begin(), values.end());
    } else {
      expected.push_back(valuesOf(m));
    }
  }
  PVRJ_FUZZ_CHECK(reported == expected);
  PVRJ_FUZZ_CHECK(statusValues == expectedPlayEnds);
  if (messages.hasReceiverReport()) {
    PVRJ_FUZZ_CHECK(messages.counterText() ==
                    std::to_string(messages.lastReceiverReport().buttonValue));
  }
  return 0;
}
