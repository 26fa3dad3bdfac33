// The virtual controller board: fed the bytes the PC sends, it answers as the board does, sends
// its unprompted reports, plays motions, and can be told to misbehave for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "board/BoardCommands.h"
#include "board/BoardMemory.h"
#include "protocol/BoardMessages.h"

namespace pvrj::board {

// Board time in microseconds from any fixed origin; callers pass a real or a simulated clock.
using Micros = std::int64_t;

// Wire time of one byte at 115200 bit/s with 10 bits a byte (86.8 us).
inline constexpr Micros kByteTime = 87;
// A request that stops half way is dropped after this quiet time, so the next handshake is heard.
inline constexpr Micros kRequestGapTimeout = 100'000;
// Period of the receiver and analog reports while their stream bits are on, unless set otherwise
// within the fastest and slowest periods below.
inline constexpr Micros kReceiverReportPeriod = 50'000;
inline constexpr Micros kAnalogReportPeriod = 50'000;
inline constexpr Micros kFastestReportPeriod = 5'000;
inline constexpr Micros kSlowestReportPeriod = 1'000'000;
// Unprompted reports hold back while the PC has been talking this recently, so that a burst of
// exchanges is not crossed by a report arriving between a purge and a reply.
inline constexpr Micros kReportQuietTime = 20'000;
// Simulated playing time of one record of a motion.
inline constexpr Micros kPlayStepTime = 20'000;
// A free servo moves a little every this often, as if a hand were posing it.
inline constexpr Micros kDriftPeriod = 100'000;
// The board's answer to the handshake byte; the PC does not look at its value.
inline constexpr std::uint8_t kHandshakeAnswer = 0x0D;
// A servo on the servo bus answers through the board, this much later than the board itself
// would (the PC waits longer for these replies).
inline constexpr Micros kServoBusReplyTime = 150'000;

// The unprompted reports' lead bytes and lengths are the ones the PC side parses
// (kPlayEndLead, kAnalogLead, kReceiverLead and their lengths, from protocol/BoardMessages.h).

// A misbehaviour for one exchange (one handshake and the request after it).
struct Fault {
  enum class Kind {
    kNoHandshake,    // the handshake byte is not answered
    kShortReply,     // only the first `count` bytes of the reply are sent
    kWrongChecksum,  // the last byte of the reply is inverted
    kGarbage,        // `bytes` are sent instead of the reply (a reply-sized pattern when empty)
    kDelay,          // the reply leaves `delay` later
    kHangUp,         // the board falls silent for good; servers close the device
    kCorruptStore,   // from this exchange on, the next stored record or scenario step written is
                     // acknowledged but kept with byte `count` changed (a step has one byte)
    kSplit,          // the first `count` bytes of the reply leave at once, the rest `delay` later
  };
  Kind kind = Kind::kNoHandshake;
  std::size_t count = 0;
  std::vector<std::uint8_t> bytes;
  Micros delay = 0;

  static Fault noHandshake() { return make(Kind::kNoHandshake); }
  static Fault shortReply(std::size_t bytesSent) {
    Fault f = make(Kind::kShortReply);
    f.count = bytesSent;
    return f;
  }
  static Fault wrongChecksum() { return make(Kind::kWrongChecksum); }
  static Fault garbage(std::vector<std::uint8_t> sent = {}) {
    Fault f = make(Kind::kGarbage);
    f.bytes = std::move(sent);
    return f;
  }
  static Fault delayed(Micros by) {
    Fault f = make(Kind::kDelay);
    f.delay = by;
    return f;
  }
  static Fault hangUp() { return make(Kind::kHangUp); }
  // By default the last byte of a record: CH24's low byte.
  static Fault corruptStore(std::size_t byte = kCorruptedRecordByte) {
    Fault f = make(Kind::kCorruptStore);
    f.count = byte;
    return f;
  }
  static constexpr std::size_t kCorruptedRecordByte = 48;
  static Fault split(std::size_t firstBytes, Micros gap) {
    Fault f = make(Kind::kSplit);
    f.count = firstBytes;
    f.delay = gap;
    return f;
  }

 private:
  static Fault make(Kind k) {
    Fault f;
    f.kind = k;
    return f;
  }
};

// Parses "noanswer", "short:K", "checksum", "garbage[:HEX]", "delay:MS", "hangup", "split:K:MS",
// "corrupt[:BYTE]" (BYTE 0 to 48 of the record).
std::optional<Fault> parseFault(const std::string& text);

// Parses a channel list such as "1,3,5-8" (channels 1 to 24) into the three bytes of the QVS
// channel mask; nothing for a list that names another number or is malformed.
std::optional<std::array<std::uint8_t, 3>> parseChannelMask(const std::string& text);

// What the board is doing besides answering requests.
struct LiveState {
  CopiedSettings working;
  Record pose{};         // the working pose: lead byte and 24 words, what the PC last sent live
  ChannelWords servo{};  // where each servo is now
  bool qvsMode = false;  // servo-bus mode, entered at power-on from the stored option word
  std::uint16_t battery = 481;  // raw supply reading, about 7.4 V
  std::array<std::uint16_t, kAnalogInputCount> analog{512, 512, 512};
  std::array<std::uint8_t, kReceiverChannelCount> receiver{64, 64, 64, 64};
  std::uint16_t button = 0;  // the receiver's button value, also the counter
  std::uint8_t loopCounter = 0;
  int compareRegister = 0;
};

class VirtualBoard {
 public:
  explicit VirtualBoard(BoardMemory memory = BoardMemory{});

  // Power off and on: the working copies take the stored ones, playing and streams stop, and
  // the servo-bus mode follows the stored option word.
  void powerCycle();

  // Line-rate pacing: requests arrive and replies leave at 115200 bit/s instead of at once.
  void setPacing(bool on) { pacing_ = on; }
  bool pacing() const { return pacing_; }
  // Whole runs: bytes that follow each other on the line without a gap are handed over together
  // when the last of them has reached the PC, and the board wakes for a burst of incoming bytes
  // when the last has arrived. No byte is handed over before its time, so the wire time is kept;
  // a pseudo-terminal then passes a reply in one write instead of one per byte. Off: byte by byte.
  void setWholeRuns(bool on) { wholeRuns_ = on; }
  // Reported readings wobble a little around the live values, so a display looks alive.
  void setWobble(bool on) { wobble_ = on; }
  // Readings swing slowly around the live values (a sine of a few seconds per input), so plots
  // and the automatic references have something to follow.
  void setMovingReadings(bool on) { moving_ = on; }
  // Time between two reports of a stream, held within the fastest and slowest periods.
  void setReportPeriod(Micros period);
  Micros reportPeriod() const { return reportPeriod_; }
  // The readings at board time t: live values, swung when moving (without the wobble).
  int analogReading(int input, Micros t) const;
  int receiverReading(int channel, Micros t) const;
  int batteryReading(Micros t) const;

  // Bytes written by the PC at time now.
  void receive(const std::uint8_t* data, std::size_t count, Micros now);
  // Runs the board up to now: requests that have arrived, reports, playing.
  void advance(Micros now);
  // Bytes that have reached the PC by now, taken out of the board's line.
  std::vector<std::uint8_t> takeOutput(Micros now, std::size_t max = SIZE_MAX);
  std::size_t outputReady(Micros now) const;
  // Drops bytes that have reached the PC by now (the PC purged its receive buffer).
  void discardOutput(Micros now);
  // The earliest time after now at which the board will have something new to do or to hand
  // over; nothing when it will stay quiet until it is sent more bytes.
  std::optional<Micros> nextWake(Micros now) const;

  // Fault injection: fault applies to the next `attempts` exchanges, or to exchange number index
  // (0 is the first handshake the board hears).
  void injectFault(const Fault& fault, int attempts = 1);
  void injectFaultAt(std::uint64_t index, const Fault& fault);
  bool hungUp() const { return hungUp_; }
  // A corrupting fault is waiting for the next stored record or step.
  bool corruptionArmed() const { return corruptByte_.has_value(); }
  std::uint64_t handshakeCount() const { return handshakes_; }
  std::uint64_t requestCount() const { return requests_; }
  std::uint64_t badChecksumCount() const { return badChecksums_; }

  BoardMemory& memory() { return memory_; }
  const BoardMemory& memory() const { return memory_; }
  LiveState& live() { return live_; }
  const LiveState& live() const { return live_; }
  // True once the stored memory changed since the last clearMemoryChanged().
  bool memoryChanged() const { return memoryChanged_; }
  void clearMemoryChanged() { memoryChanged_ = false; }

  // Table number being played, or nothing.
  std::optional<int> playing() const;

 private:
  struct OutByte {
    std::uint8_t value;
    Micros start;          // when it starts to cross the wire
    Micros arrival;        // when the PC has it
    std::uint32_t report;  // the unprompted report it belongs to (0: none); a report that has
                           // not started yet may be dropped whole
  };
  struct InByte {
    std::uint8_t value;
    Micros arrival;
  };

  void processByte(std::uint8_t byte, Micros t);
  void executeRequest(Micros t);
  enum class Outcome { kDone, kRefused, kSilent };
  // Carries out one checked request; data receives a data reply's bytes without checksum.
  Outcome handle(const CommandInfo& info, const std::vector<std::uint8_t>& p, Micros t,
                 std::vector<std::uint8_t>& data);
  void send(const std::vector<std::uint8_t>& bytes, Micros t, bool report);
  void dropUnstartedReports(Micros t);
  void runTimers(Micros t);
  bool idle() const { return request_.empty() && !awaitingRequest_; }
  void emitReceiverReport(Micros t);
  void emitAnalogReport(Micros t);
  void emitPlayEnd(Micros t);
  void startPlay(int number, Micros t);
  void stopPlay();
  void stepPlay(Micros t);
  void updateServos(Micros t);
  std::uint16_t wordAt(const Record& r, int ch) const;
  int readingChange(int source, Micros t) const;
  // value moved by up to range either way when wobbling, kept within 0 to limit.
  int wobbled(int value, int range, int limit);

  BoardMemory memory_;
  LiveState live_;
  // The arrival of the last byte of the run that starts with the first byte still in the line.
  std::optional<Micros> outputRunEnd() const;

  bool pacing_ = false;
  bool wholeRuns_ = false;
  bool wobble_ = false;
  bool moving_ = false;
  Micros reportPeriod_ = kAnalogReportPeriod;
  bool memoryChanged_ = false;

  std::deque<InByte> input_;
  Micros lastInArrival_ = 0;
  std::deque<OutByte> output_;
  Micros lineFreeAt_ = 0;
  std::uint32_t lastReportId_ = 0;

  std::vector<std::uint8_t> request_;
  std::size_t requestLength_ = 0;
  Micros lastRequestByte_ = 0;
  Micros lastInputAt_ = -kReportQuietTime;
  bool awaitingRequest_ = false;  // a handshake was answered and its request has not come yet
  std::optional<Fault> currentFault_;
  std::map<std::uint64_t, Fault> faults_;
  std::uint64_t handshakes_ = 0;
  std::uint64_t requests_ = 0;
  std::uint64_t badChecksums_ = 0;
  bool hungUp_ = false;
  std::optional<std::size_t> corruptByte_;  // armed kCorruptStore: the record byte to change

  Micros now_ = 0;
  Micros nextReceiverReport_ = 0;
  Micros nextAnalogReport_ = 0;
  std::optional<Micros> lastDrift_;  // set at the first look at the servos
  std::uint32_t noise_ = 12345;

  // Playing: the table number played, the motions still to come for a scenario, the slot and
  // record running now.
  std::optional<int> playNumber_;
  std::deque<int> playQueue_;
  int playSlot_ = 0;
  int playRecord_ = 0;
  Micros playNextStep_ = 0;
  std::deque<int> playEndPending_;
  std::optional<int> powerOnPlay_;  // started at the first moment after power-on
};

}  // namespace pvrj::board
