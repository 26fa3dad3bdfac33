// The messages the board sends on its own (receiver, analog and play-end reports): gathering
// their bytes, cutting them into messages and parsing them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "serial/BoardPort.h"

namespace pvrj {

// Lead bytes of the three unprompted messages.
inline constexpr std::uint8_t kPlayEndLead = 0xFF;
inline constexpr std::uint8_t kAnalogLead = 0xFE;
inline constexpr std::uint8_t kReceiverLead = 0xFD;
// Message lengths, lead byte included.
inline constexpr std::size_t kPlayEndLength = 32;
inline constexpr std::size_t kAnalogLength = 10;
inline constexpr std::size_t kReceiverLength = 9;
// A play-end value slot the sorting has emptied (a duplicate) is 255.
inline constexpr std::uint8_t kPlayEndNoValue = 255;
// The handler reads the port in pieces of this size.
inline constexpr std::size_t kReceiveChunk = 256;
// Bytes kept at most while messages wait; beyond that the oldest are dropped so that a stream the
// window cannot keep up with shows the latest reports instead of growing without end.
inline constexpr std::size_t kMaxReceiveBuffer = 4096;

// Length of the message a lead byte starts, 0 for a byte that starts none.
std::size_t MessageLength(std::uint8_t lead);
// A value carried in two 7-bit bytes.
inline int Decode7Bit(std::uint8_t a, std::uint8_t b) {
  return a * 128 + b;
}

struct ReceiverReport {
  std::uint16_t buttonValue = 0;
  std::array<std::uint8_t, 4> values{};  // receiver channels 1 to 4
};

struct AnalogReport {
  int battery = 0;              // raw supply voltage
  std::array<int, 3> inputs{};  // raw analog inputs 1 to 3
};

// The voltage texts the analog dialog shows: "00.00V" for the supply, "0.00V" for the inputs.
std::string formatBatteryVoltage(int raw);
std::string formatInputVoltage(int raw);

ReceiverReport parseReceiverReport(const std::uint8_t* message);
AnalogReport parseAnalogReport(const std::uint8_t* message);
// The motion numbers of a play-end report, each once, in ascending order.
std::vector<int> parsePlayEndReport(const std::uint8_t* message);

// Gathers the bytes the board sends on its own and hands one whole message per event to the
// parsers; the windows register the callbacks and read the stored reports.
class BoardMessages {
 public:
  std::function<void(const std::string&)> showStatus;           // "[n]再生終了" lines
  std::function<void(const ReceiverReport&)> onReceiverReport;  // receiver and data dialogs
  std::function<void(const AnalogReport&)> onAnalogReport;      // analog dialog

  // The OnReceive handler: takes receiveSize bytes from the port and handles at most one message.
  void CommX1Receive(BoardPort& port, std::size_t receiveSize);
  // The same for bytes already read.
  void receive(const std::uint8_t* data, std::size_t count);
  // Handles the first whole message waiting in the buffer; false when none is complete.
  bool handleOneMessage();
  // True when a whole message still waits (a window may then handle it without new bytes).
  bool hasWholeMessage() const;

  // Emptied when the port is reopened and when the analog dialog opens.
  void clear() { ReceiveBuffer.clear(); }
  const std::vector<std::uint8_t>& buffer() const { return ReceiveBuffer; }

  // The last reports, kept for the dialogs that open later.
  const ReceiverReport& lastReceiverReport() const { return lastReceiver_; }
  const AnalogReport& lastAnalogReport() const { return lastAnalog_; }
  bool hasReceiverReport() const { return haveReceiver_; }
  bool hasAnalogReport() const { return haveAnalog_; }
  // The data dialog's CntEdit text: the last button value in decimal (empty before any report).
  const std::string& counterText() const { return counterText_; }

 private:
  // Drops bytes in front of the first known lead byte; returns that message's length or 0.
  std::size_t alignToLeadByte();
  void dispatch(const std::uint8_t* message);

  std::vector<std::uint8_t> ReceiveBuffer;
  ReceiverReport lastReceiver_;
  AnalogReport lastAnalog_;
  bool haveReceiver_ = false;
  bool haveAnalog_ = false;
  std::string counterText_;
};

}  // namespace pvrj
