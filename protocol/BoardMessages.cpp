// Cutting the board's unprompted bytes into messages and parsing the three kinds.
#include "protocol/BoardMessages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pvrj {
namespace {

// Volts per raw unit of the supply and of the analog inputs.
constexpr double kBatteryVoltsPerUnit = 0.01539;
constexpr double kInputVoltsPerUnit = 0.00532;
// Offsets inside the play-end report.
constexpr std::size_t kPlayEndFlagOffset = 1;
constexpr std::size_t kPlayEndFlagBytes = 6;
constexpr std::size_t kPlayEndValueOffset = 7;
constexpr int kPlayEndBitsPerFlag = 4;

// value with two decimals, the integer part padded to intDigits ("00.00" / "0.00").
std::string formatVolts(double value, int intDigits) {
  long long hundredths = std::llround(value * 100.0);
  bool negative = hundredths < 0;
  if (negative) hundredths = -hundredths;
  char text[48];
  std::snprintf(text, sizeof text, "%s%0*lld.%02lldV", negative ? "-" : "", intDigits,
                hundredths / 100, hundredths % 100);
  return text;
}

}  // namespace

std::size_t MessageLength(std::uint8_t lead) {
  switch (lead) {
    case kPlayEndLead:
      return kPlayEndLength;
    case kAnalogLead:
      return kAnalogLength;
    case kReceiverLead:
      return kReceiverLength;
    default:
      return 0;
  }
}

std::string formatBatteryVoltage(int raw) {
  return formatVolts(raw * kBatteryVoltsPerUnit, 2);
}

std::string formatInputVoltage(int raw) {
  return formatVolts(raw * kInputVoltsPerUnit, 1);
}

ReceiverReport parseReceiverReport(const std::uint8_t* message) {
  ReceiverReport report;
  // The button value is two plain bytes, high byte first, not a 7-bit pair.
  report.buttonValue = static_cast<std::uint16_t>(message[2] * 256 + message[3]);
  for (std::size_t i = 0; i < report.values.size(); ++i) report.values[i] = message[4 + i];
  return report;
}

AnalogReport parseAnalogReport(const std::uint8_t* message) {
  AnalogReport report;
  report.battery = Decode7Bit(message[1], message[2]);
  for (int k = 1; k <= 3; ++k)
    report.inputs[k - 1] = Decode7Bit(message[2 * k + 1], message[2 * k + 2]);
  return report;
}

std::vector<int> parsePlayEndReport(const std::uint8_t* message) {
  std::vector<int> values;
  for (std::size_t i = 0; i < kPlayEndFlagBytes; ++i) {
    std::uint8_t flags = message[kPlayEndFlagOffset + i];
    for (int b = 0; b < kPlayEndBitsPerFlag; ++b)
      if (flags & (1u << b)) values.push_back(message[kPlayEndValueOffset + 4 * i + b]);
  }
  // Neighbour passes: an out-of-order pair swaps, an equal pair empties its second value, so
  // every number stays once and the emptied slots (255) collect at the end.
  if (values.size() > 1) {
    bool swapped = true;
    while (swapped) {
      swapped = false;
      for (std::size_t j = 0; j + 1 < values.size(); ++j) {
        if (values[j] > values[j + 1]) {
          std::swap(values[j], values[j + 1]);
          swapped = true;
        } else if (values[j] == values[j + 1] && values[j] != kPlayEndNoValue) {
          values[j + 1] = kPlayEndNoValue;
          swapped = true;
        }
      }
    }
  }
  std::erase(values, kPlayEndNoValue);
  return values;
}

void BoardMessages::CommX1Receive(BoardPort& port, std::size_t receiveSize) {
  // More than one piece is waiting when the board streamed faster than the events came.
  std::size_t taken = 0;
  std::array<std::uint8_t, kReceiveChunk> chunk;
  while (taken < receiveSize) {
    std::size_t want = std::min(receiveSize - taken, chunk.size());
    std::size_t got = port.Read(chunk.data(), want);
    if (got == 0) break;
    ReceiveBuffer.insert(ReceiveBuffer.end(), chunk.begin(), chunk.begin() + got);
    taken += got;
    if (got < want) break;
  }
  if (taken == 0) return;
  // Bytes are in the buffer now; the common path trims and handles them.
  receive(nullptr, 0);
}

void BoardMessages::receive(const std::uint8_t* data, std::size_t count) {
  if (count > 0) ReceiveBuffer.insert(ReceiveBuffer.end(), data, data + count);
  // Drop whole oldest messages while the buffer is over its bound.
  while (ReceiveBuffer.size() > kMaxReceiveBuffer) {
    std::size_t length = alignToLeadByte();
    if (length == 0 || ReceiveBuffer.size() < length) break;
    ReceiveBuffer.erase(ReceiveBuffer.begin(),
                        ReceiveBuffer.begin() + static_cast<std::ptrdiff_t>(length));
  }
  handleOneMessage();
}

std::size_t BoardMessages::alignToLeadByte() {
  // A byte of 0x80 or more without a known length cannot be framed: it is dropped like the
  // data bytes in front of a lead byte, so a stray byte never blocks the messages behind it.
  auto lead = std::find_if(ReceiveBuffer.begin(), ReceiveBuffer.end(),
                           [](std::uint8_t b) { return MessageLength(b) != 0; });
  ReceiveBuffer.erase(ReceiveBuffer.begin(), lead);
  return ReceiveBuffer.empty() ? 0 : MessageLength(ReceiveBuffer.front());
}

bool BoardMessages::hasWholeMessage() const {
  auto lead = std::find_if(ReceiveBuffer.begin(), ReceiveBuffer.end(),
                           [](std::uint8_t b) { return MessageLength(b) != 0; });
  if (lead == ReceiveBuffer.end()) return false;
  return static_cast<std::size_t>(ReceiveBuffer.end() - lead) >= MessageLength(*lead);
}

bool BoardMessages::handleOneMessage() {
  std::size_t length = alignToLeadByte();
  if (length == 0 || ReceiveBuffer.size() < length) return false;
  std::vector<std::uint8_t> message(ReceiveBuffer.begin(),
                                    ReceiveBuffer.begin() + static_cast<std::ptrdiff_t>(length));
  ReceiveBuffer.erase(ReceiveBuffer.begin(),
                      ReceiveBuffer.begin() + static_cast<std::ptrdiff_t>(length));
  dispatch(message.data());
  return true;
}

void BoardMessages::dispatch(const std::uint8_t* message) {
  switch (message[0]) {
    case kReceiverLead: {
      lastReceiver_ = parseReceiverReport(message);
      haveReceiver_ = true;
      counterText_ = std::to_string(lastReceiver_.buttonValue);
      if (onReceiverReport) onReceiverReport(lastReceiver_);
      break;
    }
    case kAnalogLead: {
      lastAnalog_ = parseAnalogReport(message);
      haveAnalog_ = true;
      if (onAnalogReport) onAnalogReport(lastAnalog_);
      break;
    }
    case kPlayEndLead: {
      for (int value : parsePlayEndReport(message))
        if (showStatus) showStatus("[" + std::to_string(value) + "]再生終了");
      break;
    }
    default:
      break;
  }
}

}  // namespace pvrj
