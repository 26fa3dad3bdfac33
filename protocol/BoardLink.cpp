// Framing, exchange, the board commands and their composites.
#include "protocol/BoardLink.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "protocol/BoardMessages.h"
#include "protocol/CommandCodes.h"

#include "common/Encoding.h"

namespace pvrj {

// Keeps the busy caption up while any command runs; the caption goes back when the outermost
// command ends, on every path out.
class BusyGuard {
 public:
  explicit BusyGuard(BoardLink& link) : link_(link) { link_.busyEnter(); }
  ~BusyGuard() { link_.busyLeave(); }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  BoardLink& link_;
};

namespace {

// Reply data lengths (the checksum byte comes on top).
constexpr std::size_t kOptionsLength = 2;
constexpr std::size_t kQvsMaskLength = 3;
constexpr std::size_t kAnalogRefsLength = 6;
constexpr std::size_t kAlarmLength = 3;
constexpr std::size_t kCounterLength = 7;
constexpr std::size_t kStartDataLength = 2;
constexpr std::size_t kScenarioStepLength = 1;
constexpr std::size_t kAckLength = 1;

// Unnamed 0x00 in the live-setting requests and the 0x01 before CmdSetServo's position.
constexpr std::uint8_t kNoFlag = 0x00;
constexpr std::uint8_t kServoMove = 0x01;
constexpr std::uint8_t kStopAll = 0xFF;

// Channel words that going to sleep turns into "servo free": positions and the codes up to
// 0x8106; 0x8000, 0x8001 and 0x8107 up are kept.
constexpr std::uint16_t kLastPosition = 0x7FFF;
constexpr std::uint16_t kFirstFreedCode = 0x8002;
constexpr std::uint16_t kLastFreedCode = 0x8106;

struct NamedCommand {
  std::uint8_t code;
  const char* name;
};
constexpr NamedCommand kCommandNames[] = {
    {kReadChannelName, "CmdReadChannelName"},
    {kWriteChannelName, "CmdWriteChannelName"},
    {kReadHomePosition, "CmdReadHomePosition"},
    {kWriteHomePosition, "CmdWriteHomePosition"},
    {kReadQvsParams, "CmdReadQvsParams"},
    {kWriteQvsParams, "CmdWriteQvsParams"},
    {kReadQvsMask, "CmdReadQvsMask"},
    {kWriteQvsMask, "CmdWriteQvsMask"},
    {kReadReceiverRefs, "CmdReadReceiverRefs"},
    {kWriteReceiverRefs, "CmdWriteReceiverRefs"},
    {kReadSensorBlock, "CmdReadSensorBlock"},
    {kWriteSensorBlock, "CmdWriteSensorBlock"},
    {kReadMixingBlock, "CmdReadMixingBlock"},
    {kWriteMixingBlock, "CmdWriteMixingBlock"},
    {kReadAnalogRefs, "CmdReadAnalogRefs"},
    {kWriteAnalogRefs, "CmdWriteAnalogRefs"},
    {kSetAnalogRef, "CmdSetAnalogRef"},
    {kReadAlarm, "CmdReadAlarm"},
    {kWriteAlarm, "CmdWriteAlarm"},
    {kReadCounter, "CmdReadCounter"},
    {kReadStartData, "CmdReadStartData"},
    {kWriteStartData, "CmdWriteStartData"},
    {kReadPositions, "CmdReadPositions"},
    {kReadOptions, "CmdReadOptions"},
    {kWriteOptions, "CmdWriteOptions"},
    {kStop, "CmdStop"},
    {kPlay, "CmdPlay"},
    {kReadTableEntry, "CmdReadTableEntry"},
    {kWriteTableEntry, "CmdWriteTableEntry"},
    {kReadScenarioStep, "CmdReadScenarioStep"},
    {kWriteScenarioStep, "CmdWriteScenarioStep"},
    {kReadTrims, "CmdReadTrims"},
    {kWriteTrims, "CmdWriteTrims"},
    {kSetTrim, "CmdSetTrim"},
    {kReadPositionRecord, "CmdReadPositionRecord"},
    {kWritePositionRecord, "CmdWritePositionRecord"},
    {kSetServo, "CmdSetServo"},
    {kReadBoardInfo, "CmdReadBoardInfo"},
};

std::string hexByte(std::uint8_t b) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[b >> 4], kDigits[b & 0x0F]};
}

// A number goes out as its low 8 bits.
std::uint8_t low8(long n) {
  return static_cast<std::uint8_t>(n & 0xFF);
}

std::uint8_t readFlag(BoardCopy copy) {
  return copy == StoredCopy ? kFlagStored : 0x00;
}
std::uint8_t writeFlag(BoardCopy copy) {
  return static_cast<std::uint8_t>(readFlag(copy) | kFlagAck);
}

void append(Bytes& out, std::span<const std::uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// A CP932 name cut to length bytes at a character boundary and padded with NUL bytes.
Bytes paddedName(std::string_view utf8, std::size_t length) {
  std::string cp = utf8ToCp932Cut(utf8, length);
  Bytes out(cp.begin(), cp.end());
  out.resize(length, 0);
  return out;
}

std::tm localNow() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm;
}

// Restores a value when a scope ends, whatever the path out.
template <class F>
class OnExit {
 public:
  explicit OnExit(F f) : f_(std::move(f)) {}
  ~OnExit() { f_(); }
  OnExit(const OnExit&) = delete;
  OnExit& operator=(const OnExit&) = delete;

 private:
  F f_;
};

}  // namespace

const char* commandName(std::uint8_t code) {
  for (const NamedCommand& c : kCommandNames)
    if (c.code == code) return c.name;
  return "";
}

std::string describeFailure(const LinkFailure& f) {
  std::string how;
  switch (f.fault) {
    case LinkFault::kNone:
      return {};
    case LinkFault::kPortClosed:
      how = "ポートが開いていません";
      break;
    case LinkFault::kPortVanished:
      how = "ポートの機器が外れました";
      break;
    case LinkFault::kBusy:
      how = "別の通信が応答を待っています";
      break;
    case LinkFault::kNoHandshake:
      how = "ボードがハンドシェイクに応答しません";
      break;
    case LinkFault::kShortReply:
      how = f.received == 0 ? "ボードの応答がありません"
                            : "応答が" + std::to_string(f.expected) + "バイト中" +
                                  std::to_string(f.received) + "バイトで途切れました";
      how += "(" + std::to_string(f.attempts) + "回試行)";
      break;
    case LinkFault::kBadChecksum:
      how = "応答のチェックサムが合いません";
      break;
    case LinkFault::kNotAcknowledged:
      how = "確認応答06の代わりに" + hexByte(f.answer) + "が返りました";
      break;
    case LinkFault::kRefused:
      how = "送れない要求です";
      break;
  }
  std::string name = commandName(f.code);
  if (name.empty()) name = "コマンド" + hexByte(f.code);
  return name + ": " + how;
}

BoardLink::BoardLink(BoardPort& port, UserInterface& ui) : clock(localNow), port_(port), ui_(ui) {
  // The window stays responsive while a read waits.
  port_.SetWaitHook([this] { ui_.processEvents(); });
}

BoardLink::~BoardLink() {
  port_.SetWaitHook({});
}

std::string BoardLink::failureStatus(std::string_view action) const {
  std::string why = lastFailureText();
  // A composite refused by its caller's own check has no exchange to name.
  if (why.empty()) why = "ボードと通信できません";
  return std::string(action) + "失敗: " + why;
}

void BoardLink::busyEnter() {
  if (busyDepth_++ == 0) ui_.setBusy(true);
}

void BoardLink::busyLeave() {
  if (--busyDepth_ == 0) ui_.setBusy(false);
}

void BoardLink::AppendChecksum(Bytes& packet) {
  if (packet.empty()) return;
  std::uint8_t sum = 0;
  for (std::uint8_t b : packet) sum = static_cast<std::uint8_t>(sum + b);
  packet.push_back(sum);
}

bool BoardLink::VerifyChecksum(Bytes& reply) {
  if (reply.size() < 2) return false;
  std::uint8_t received = reply.back();
  reply.pop_back();
  AppendChecksum(reply);
  return reply.back() == received;
}

void BoardLink::Exchange(Bytes& packet, std::size_t replyLength, Bytes& reply) {
  exchange(packet, replyLength, reply, nullptr);
}

void BoardLink::exchange(Bytes& packet, std::size_t replyLength, Bytes& reply,
                         const ReplyCheck& check) {
  reply.clear();
  LinkFailure failure;
  failure.code = packet.empty() ? 0 : packet[0];
  // A second exchange started from an event handled during a wait would interleave its bytes
  // with the waiting one; it fails at once instead.
  if (exchanging_) {
    failure_ = failure;
    failure_.fault = LinkFault::kBusy;
    return;
  }
  exchanging_ = true;
  // The record is set when this exchange ends, so that a second one refused while this one
  // waited does not stand as the outcome of this one.
  OnExit done([this, &failure] {
    failure_ = failure;
    exchanging_ = false;
  });

  int remaining = RetryCount;
  int attempts = 0;
  for (;;) {
    reply.clear();
    ++attempts;
    port_.PurgeReceive();
    const std::uint8_t handshake = kHandshakeByte;
    port_.Write(&handshake, 1);
    std::uint8_t answer = 0;
    // Whatever byte the board answers is fine; no answer ends the exchange, packet unchanged.
    if (port_.Read(&answer, 1) != 1) {
      failure.fault = !port_.IsOpen()    ? LinkFault::kPortClosed
                      : port_.Vanished() ? LinkFault::kPortVanished
                                         : LinkFault::kNoHandshake;
      if (failure.fault == LinkFault::kPortVanished) closeVanishedPort();
      return;
    }
    // A report's lead byte with the rest of the report behind it is no answer: the board missed
    // the handshake while it was streaming, and what follows the request would be the report's
    // tail, which can pass for a reply. Once the line is quiet the handshake is made again. A lone
    // byte of that value is the board's answer, as is any other byte.
    if (MessageLength(answer) > 0 && remaining > 1 && settleLine() > 0) {
      --remaining;
      continue;
    }
    // Nothing that came with or after the handshake answer belongs to the reply.
    port_.PurgeReceive();
    port_.Write(packet.data(), packet.size());
    if (replyLength == 0) {
      packet.clear();
      return;
    }
    Bytes buffer(replyLength);
    std::size_t got = port_.Read(buffer.data(), replyLength);
    if (got == replyLength) reply = std::move(buffer);
    --remaining;
    if (got == replyLength && check && !check(reply)) {
      // A reply that does not check out, with more bytes coming behind it, was mixed with other
      // traffic: the tail of a report that was on the wire when the handshake went out, or of a
      // late reply. Once the line is quiet the board is asked again. A broken reply on a quiet
      // line is the board's answer, and stands.
      if (settleLine() > 0 && remaining >= 1) continue;
      packet = reply;
      return;
    }
    if (remaining < 1 || got == replyLength) {
      if (got != replyLength) {
        failure.fault = port_.Vanished() ? LinkFault::kPortVanished : LinkFault::kShortReply;
        failure.received = got;
        failure.expected = replyLength;
        failure.attempts = attempts;
        if (failure.fault == LinkFault::kPortVanished) {
          closeVanishedPort();
        } else if (got > 0) {
          settleLine();  // part of a reply came: the rest may still be on its way
        }
      }
      packet = reply;
      return;
    }
  }
}

bool BoardLink::OpenBoardPort(PortOpener& opener, int k) {
  if (k <= 0) {
    openedName_.clear();
    opener.Close();
    ui_.showStatus("シリアルポートを閉じました");
    return false;
  }
  return openPort(opener, k, "COM" + std::to_string(k));
}

bool BoardLink::OpenNamedPort(PortOpener& opener, const std::string& name) {
  return openPort(opener, 0, name);
}

bool BoardLink::openPort(PortOpener& opener, int k, const std::string& name) {
  if (onClearReceiveBuffer) onClearReceiveBuffer();
  openedName_.clear();
  try {
    opener.Close();
    port_.SetTimeOutReceive(kReceiveTimeOut);
    opener.Open(k);
    // A short DTR pulse; the line stays low while the port is in use.
    opener.SetDtr(true);
    opener.SetDtr(false);
    port_.PurgeReceive();
    port_.PurgeTransmit();
  } catch (...) {
    // The port's own error text is not shown; the status line says which port failed, and then
    // why and what to do when the opener can tell.
    ui_.showStatus(name + "は使用できません");
    try {
      opener.Close();
    } catch (...) {
    }
    portProblem_ = opener.whyNotOpened();
    if (!portProblem_.empty()) ui_.showStatus(portProblem_);
    return false;
  }
  portProblem_.clear();
  ui_.showStatus(name + " 設定完了");
  openedName_ = name;
  return true;
}

void BoardLink::closeVanishedPort() {
  // A device that went away does not come back under the same descriptor: the port is closed,
  // and choosing it again opens it afresh.
  port_.Close();
  if (!openedName_.empty()) ui_.showStatus(openedName_ + kStatusPortLost);
  openedName_.clear();
}

void BoardLink::run(Bytes packet, std::size_t replyLength, Bytes& reply, const ReplyCheck& check) {
  BusyGuard busy(*this);
  AppendChecksum(packet);
  exchange(packet, replyLength, reply, check);
}

bool BoardLink::runAck(Bytes packet) {
  Bytes reply;
  auto acknowledged = [](const Bytes& r) { return r.size() == 1 && r[0] == kAckByte; };
  run(std::move(packet), kAckLength, reply, acknowledged);
  if (acknowledged(reply)) return true;
  if (!reply.empty()) {
    failure_.fault = LinkFault::kNotAcknowledged;
    failure_.answer = reply[0];
  }
  return false;
}

bool BoardLink::runData(Bytes packet, std::size_t dataLength, Bytes& reply) {
  auto checksummed = [](const Bytes& r) {
    Bytes copy = r;
    return VerifyChecksum(copy);
  };
  run(std::move(packet), dataLength + 1, reply, checksummed);
  if (!reply.empty() && VerifyChecksum(reply)) return true;
  if (!reply.empty()) failure_.fault = LinkFault::kBadChecksum;
  // Nothing usable goes back to the caller.
  reply.clear();
  return false;
}

std::size_t BoardLink::settleLine() {
  // A wrong byte where the reply should be is most often the tail of a reply that came late or of
  // a report, and more of it may still be on its way. Taken off the line now, it cannot pass for
  // the next reply; only a line that stays quiet ends this (a streaming board, after a while).
  if (!port_.IsOpen() || port_.Vanished()) return 0;
  // Still part of the command that failed: another one started meanwhile is refused, and its
  // refusal does not replace this command's failure.
  BusyGuard busy(*this);
  const bool wasExchanging = exchanging_;
  const LinkFailure failure = failure_;
  const int timeOut = port_.TimeOutReceive();
  exchanging_ = true;
  OnExit restore([&] {
    port_.SetTimeOutReceive(timeOut);
    exchanging_ = wasExchanging;
    failure_ = failure;
  });
  port_.SetTimeOutReceive(kLineQuietTime);
  std::uint8_t sink[kSettleChunk];
  std::size_t taken = 0;
  for (int i = 0; i < kMaxSettleReads; ++i) {
    const std::size_t n = port_.Read(sink, sizeof sink);
    if (n == 0) break;
    taken += n;
  }
  return taken;
}

void BoardLink::refuse(std::uint8_t code) {
  failure_ = LinkFailure{};
  failure_.fault = LinkFault::kRefused;
  failure_.code = code;
}

void BoardLink::runNoReply(Bytes packet) {
  BusyGuard busy(*this);
  AppendChecksum(packet);
  Bytes reply;
  Exchange(packet, 0, reply);
  noReplySent_ = packet.empty();  // the exchange empties the packet once it went out
}

bool BoardLink::CmdReadChannelName(int channel, Bytes& reply) {
  return runData({kReadChannelName, low8(channel)}, kChannelNameLength, reply);
}

bool BoardLink::CmdWriteChannelName(int channel, std::string_view name) {
  Bytes p{kWriteChannelName, kFlagAck, low8(channel)};
  append(p, paddedName(name, kChannelNameLength));
  return runAck(std::move(p));
}

bool BoardLink::CmdWriteChannelNameBytes(int channel, std::span<const std::uint8_t> name) {
  if (name.size() != kChannelNameLength) {
    refuse(kWriteChannelName);
    return false;
  }
  Bytes p{kWriteChannelName, kFlagAck, low8(channel)};
  append(p, name);
  return runAck(std::move(p));
}

bool BoardLink::CmdReadHomePosition(Bytes& reply) {
  return runData({kReadHomePosition}, kPositionBlockLength, reply);
}

bool BoardLink::CmdWriteHomePosition(const PositionBlock& block) {
  Bytes p{kWriteHomePosition, kFlagAck};
  append(p, block.encode());
  return runAck(std::move(p));
}

bool BoardLink::CmdReadQvsParams(int channel, Bytes& reply) {
  // The servo-bus servo answers slowly and a missing one is common: one long attempt.
  if (exchanging_) {  // leave the waiting exchange's time-out alone
    failure_ = LinkFailure{LinkFault::kBusy, kReadQvsParams};
    return false;
  }
  port_.SetTimeOutReceive(kQvsReceiveTimeOut);
  RetryCount = 1;
  OnExit restore([this] {
    port_.SetTimeOutReceive(kReceiveTimeOut);
    RetryCount = kDefaultRetryCount;
  });
  return runData({kReadQvsParams, low8(channel)}, kQvsParamsLength, reply);
}

bool BoardLink::CmdWriteQvsParams(int channel, std::span<const std::uint8_t> params) {
  if (exchanging_) {
    failure_ = LinkFailure{LinkFault::kBusy, kWriteQvsParams};
    return false;
  }
  if (params.size() != kQvsParamsLength) {
    refuse(kWriteQvsParams);
    return false;
  }
  port_.SetTimeOutReceive(kQvsReceiveTimeOut);
  OnExit restore([this] { port_.SetTimeOutReceive(kReceiveTimeOut); });
  Bytes p{kWriteQvsParams, low8(channel)};
  append(p, params);
  return runAck(std::move(p));
}

bool BoardLink::CmdReadQvsMask(Bytes& reply) {
  return runData({kReadQvsMask}, kQvsMaskLength, reply);
}

bool BoardLink::CmdWriteQvsMask(std::uint32_t mask) {
  return runAck({kWriteQvsMask, kFlagAck, low8(mask), low8(mask >> 8), low8(mask >> 16)});
}

bool BoardLink::CmdReadReceiverRefs(BoardCopy copy, Bytes& reply) {
  return runData({kReadReceiverRefs, readFlag(copy)}, kReceiverRefsLength, reply);
}

bool BoardLink::CmdWriteReceiverRefs(BoardCopy copy, std::span<const std::uint8_t> refs) {
  if (refs.size() != kReceiverRefsLength) {
    refuse(kWriteReceiverRefs);
    return false;
  }
  Bytes p{kWriteReceiverRefs, writeFlag(copy)};
  append(p, refs);
  return runAck(std::move(p));
}

bool BoardLink::CmdReadSensorBlock(BoardCopy copy, Bytes& reply) {
  return runData({kReadSensorBlock, readFlag(copy)}, kSensorBlockLength, reply);
}

bool BoardLink::CmdWriteSensorBlock(BoardCopy copy, std::span<const std::uint8_t> block) {
  if (block.size() != kSensorBlockLength) {
    refuse(kWriteSensorBlock);
    return false;
  }
  Bytes p{kWriteSensorBlock, writeFlag(copy)};
  append(p, block);
  return runAck(std::move(p));
}

bool BoardLink::CmdReadMixingBlock(BoardCopy copy, int input, Bytes& reply) {
  return runData({kReadMixingBlock, readFlag(copy), low8(input)}, kMixingBlockLength, reply);
}

bool BoardLink::CmdWriteMixingBlock(BoardCopy copy, int input,
                                    std::span<const std::uint8_t> block) {
  if (block.size() != kMixingBlockLength) {
    refuse(kWriteMixingBlock);
    return false;
  }
  Bytes p{kWriteMixingBlock, writeFlag(copy), low8(input)};
  append(p, block);
  return runAck(std::move(p));
}

bool BoardLink::CmdReadAnalogRefs(BoardCopy copy, Bytes& reply) {
  return runData({kReadAnalogRefs, readFlag(copy)}, kAnalogRefsLength, reply);
}

bool BoardLink::CmdWriteAnalogRefs(BoardCopy copy,
                                   const std::array<std::uint16_t, kAnalogInputs>& refs) {
  Bytes p{kWriteAnalogRefs, writeFlag(copy)};
  for (std::uint16_t v : refs) appendWord(p, v);
  return runAck(std::move(p));
}

void BoardLink::CmdSetAnalogRef(int input, std::uint16_t value) {
  Bytes p{kSetAnalogRef, kNoFlag, low8(input)};
  appendWord(p, value);
  runNoReply(std::move(p));
}

bool BoardLink::CmdReadAlarm(Bytes& reply) {
  return runData({kReadAlarm}, kAlarmLength, reply);
}

bool BoardLink::CmdWriteAlarm(int motion, std::uint16_t threshold) {
  Bytes p{kWriteAlarm, kFlagAck, low8(motion)};
  appendWord(p, threshold);
  return runAck(std::move(p));
}

bool BoardLink::CmdReadCounter(Bytes& reply) {
  return runData({kReadCounter}, kCounterLength, reply);
}

bool BoardLink::CmdReadStartData(Bytes& reply) {
  return runData({kReadStartData}, kStartDataLength, reply);
}

bool BoardLink::CmdWriteStartData(int startSwitchMotion, int powerOnMotion) {
  return runAck({kWriteStartData, kFlagAck, low8(startSwitchMotion), low8(powerOnMotion)});
}

bool BoardLink::CmdReadPositions(Bytes& reply) {
  return runData({kReadPositions}, kPositionBlockLength, reply);
}

bool BoardLink::CmdReadOptions(BoardCopy copy, Bytes& reply) {
  return runData({kReadOptions, readFlag(copy)}, kOptionsLength, reply);
}

bool BoardLink::CmdReadOptions(BoardCopy copy, std::uint16_t& word) {
  Bytes reply;
  if (!CmdReadOptions(copy, reply)) return false;
  word = readWord(reply.data());
  return true;
}

bool BoardLink::CmdWriteOptions(BoardCopy copy, std::uint16_t word) {
  Bytes p{kWriteOptions, writeFlag(copy)};
  appendWord(p, word);
  return runAck(std::move(p));
}

bool BoardLink::CmdStop() {
  return runAck({kStop, kFlagAck, kStopAll, kStopAll, kStopAll});
}

bool BoardLink::CmdPlay(int number) {
  return runAck({kPlay, kFlagPlay, low8(number)});
}

bool BoardLink::CmdReadTableEntry(int number, Bytes& reply) {
  return runData({kReadTableEntry, low8(number)}, kTableEntryLength, reply);
}

bool BoardLink::CmdWriteTableEntry(int number, const TableEntryData& entry) {
  Bytes p{kWriteTableEntry, kFlagAck, low8(number)};
  append(p, entry);
  return runAck(std::move(p));
}

bool BoardLink::CmdReadScenarioStep(int scenario, int step, Bytes& reply) {
  return runData({kReadScenarioStep, low8(scenario), low8(step)}, kScenarioStepLength, reply);
}

bool BoardLink::CmdWriteScenarioStep(int scenario, int step, int motion) {
  return runAck({kWriteScenarioStep, kFlagAck, low8(scenario), low8(step), low8(motion)});
}

bool BoardLink::CmdReadTrims(BoardCopy copy, Bytes& reply) {
  return runData({kReadTrims, readFlag(copy)}, kPositionBlockLength, reply);
}

bool BoardLink::CmdWriteTrims(BoardCopy copy, const PositionBlock& trims) {
  Bytes p{kWriteTrims, writeFlag(copy)};
  append(p, trims.encode());
  return runAck(std::move(p));
}

void BoardLink::CmdSetTrim(int channel, std::uint16_t value) {
  Bytes p{kSetTrim, kNoFlag, low8(channel)};
  appendWord(p, value);
  runNoReply(std::move(p));
}

bool BoardLink::CmdReadPositionRecord(BoardCopy copy, int slot, int record, Bytes& reply) {
  return runData({kReadPositionRecord, readFlag(copy), low8(slot), low8(record)},
                 kPositionRecordLength, reply);
}

bool BoardLink::CmdWritePositionRecord(BoardCopy copy, int slot, int record,
                                       const PositionRecord& rec) {
  Bytes p{kWritePositionRecord, writeFlag(copy), low8(slot), low8(record)};
  append(p, rec.encode());
  return runAck(std::move(p));
}

void BoardLink::CmdSetServo(int channel, std::uint16_t position) {
  Bytes p{kSetServo, kNoFlag, low8(channel), kServoMove};
  appendWord(p, position);
  runNoReply(std::move(p));
}

bool BoardLink::CmdReadBoardInfo(Bytes& info) {
  if (!runData({kReadBoardInfo}, kBoardInfoLength, info)) return false;
  info.pop_back();  // this one command hands back the text without its checksum
  return true;
}

bool BoardLink::changeOption(BoardCopy copy, std::uint16_t bit, int mode, int setMode,
                             int clearMode, std::optional<int> toggleMode, std::uint16_t* written) {
  // A composite without a toggle has exactly two modes: any other number is refused.
  if (mode != setMode && mode != clearMode && mode != toggleMode) {
    refuse(kWriteOptions);
    return false;
  }
  std::uint16_t word = 0;
  if (!CmdReadOptions(copy, word)) return false;
  if (mode == setMode) {
    word |= bit;
  } else if (mode == clearMode) {
    word &= static_cast<std::uint16_t>(~bit);
  } else {
    word ^= bit;
  }
  if (!CmdWriteOptions(copy, word)) return false;
  if (written) *written = word;
  return true;
}

bool BoardLink::SetSleep(int mode) {
  constexpr int kOn = 0, kOff = 1, kToggle = 2;
  if (mode != kOn && mode != kOff && mode != kToggle) {
    refuse(kWriteOptions);
    return false;
  }
  std::uint16_t word = 0;
  if (!CmdReadOptions(WorkingCopy, word)) return false;
  if (mode == kOn) {
    word |= kOptionSleep;
  } else if (mode == kOff) {
    word &= static_cast<std::uint16_t>(~kOptionSleep);
  } else {
    word ^= kOptionSleep;
  }
  if ((word & kOptionSleep) == 0) {
    if (!CmdWriteOptions(WorkingCopy, word)) return false;
    ui_.setBoardState(kStateRunning);
    return true;
  }

  // Going to sleep: let the servos go free for the switch, then give the board its pose back.
  Bytes reply;
  if (!CmdReadPositionRecord(WorkingCopy, 0, 0, reply)) return false;
  PositionRecord saved;
  if (!saved.decode(reply)) return false;
  saved.lead = 1;
  PositionRecord freed = saved;
  for (std::uint16_t& v : freed.block.words) {
    if (v <= kLastPosition || (v >= kFirstFreedCode && v <= kLastFreedCode)) v = kServoFree;
  }
  if (!CmdWritePositionRecord(WorkingCopy, 0, 0, freed)) return false;
  if (!CmdWriteOptions(WorkingCopy, word)) {
    // The servos must not stay limp because the sleep bit did not get through; the failure told
    // is the write that stopped the sleep.
    LinkFailure why = failure_;
    CmdWritePositionRecord(WorkingCopy, 0, 0, saved);
    failure_ = why;
    return false;
  }
  if (!CmdWritePositionRecord(WorkingCopy, 0, 0, saved)) return false;
  ui_.setBoardState(kStateSleeping);
  return true;
}

bool BoardLink::SetPause(int mode, bool* paused) {
  std::uint16_t word = 0;
  if (!changeOption(WorkingCopy, kOptionPause, mode, kPauseSet, kPauseClear, kPauseToggle, &word))
    return false;
  if (paused) *paused = (word & kOptionPause) != 0;
  return true;
}

bool BoardLink::SetReceiverStream(int mode) {
  return changeOption(WorkingCopy, kOptionReceiverStream, mode, kStreamOn, kStreamOff,
                      std::nullopt);
}

bool BoardLink::SetOptionBit5(int mode) {
  return changeOption(WorkingCopy, kOptionBit5, mode, kBit5Set, kBit5Clear, std::nullopt);
}

bool BoardLink::SetAnalogStream(int mode) {
  return changeOption(WorkingCopy, kOptionAnalogStream, mode, kAnalogStreamOn, kAnalogStreamOff,
                      std::nullopt);
}

bool BoardLink::SetQvsMode(int mode) {
  return changeOption(StoredCopy, kOptionQvsMode, mode, kQvsModeOn, kQvsModeOff, std::nullopt);
}

bool BoardLink::writeEntryAndShow(int number, const TableEntryData& entry) {
  if (!CmdWriteTableEntry(number, entry)) return false;
  if (onTableEntryChanged) onTableEntryChanged(number, entry);
  return true;
}

bool BoardLink::UpdateTableEntry(int number, int count, long mask, int control, const Bytes& date,
                                 std::string_view name) {
  const bool keepDate = date.size() == 1 && date[0] == 0;
  // A date of another length would leave bytes of the entry undefined: refused before sending.
  if (!keepDate && !date.empty() && date.size() != kEntryDateLength) {
    refuse(kWriteTableEntry);
    return false;
  }

  Bytes reply;
  if (!CmdReadTableEntry(number, reply)) return false;
  TableEntry entry = TableEntry::from(reply);
  if (count != -1) entry.count = low8(count);
  if (mask != -1) entry.mask = static_cast<std::uint32_t>(mask) & 0xFFFFFFu;
  if (!keepDate) {
    Bytes stamp = date;
    if (stamp.empty()) {
      std::tm now = clock();
      stamp = {low8(now.tm_mon + 1), low8(now.tm_mday), low8(now.tm_hour), low8(now.tm_min)};
    }
    entry.month = stamp[0];
    entry.day = stamp[1];
    entry.hour = stamp[2];
    entry.minute = stamp[3];
  }
  if (control != -1) entry.control = static_cast<std::uint16_t>(control & 0xFFFF);
  entry.name = std::string(name);
  return writeEntryAndShow(number, entry.encode());
}

bool BoardLink::DeleteTableEntry(int number) {
  Bytes reply;
  if (!CmdReadTableEntry(number, reply)) return false;
  return writeEntryAndShow(number, TableEntry::blank().encode());
}

}  // namespace pvrj
