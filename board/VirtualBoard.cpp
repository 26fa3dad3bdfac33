// The virtual board's protocol responder, its reports, its motion player and fault injection.
#include "board/VirtualBoard.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <set>

namespace pvrj::board {
namespace {

constexpr std::uint8_t kFlagStored = 0x02;
constexpr int kServoDriftStep = 40;     // largest move of a free servo per drift period
constexpr int kServoDriftRange = 4000;  // how far from the centre a hand would pose it
constexpr int kMaxDriftSteps = 64;      // a long quiet spell is not replayed step by step
constexpr std::uint8_t kGarbageSeed = 0x5A;
constexpr std::uint8_t kCorruptionBits = 0x01;  // a stored byte off by its lowest bit
constexpr int kMax7Bit = 0x7F;                  // receiver readings stay below a lead byte
constexpr int kMax14Bit = 0x3FFF;               // what a 7-bit pair can carry

// Moving readings: how far and how slowly each swings around its live value. The periods differ
// so that the traces of a plot do not move in step.
constexpr double kAnalogSwing = 150;
constexpr double kBatterySwing = 12;
constexpr double kReceiverSwing = 30;
constexpr double kAnalogPeriods[] = {9.0, 13.0, 17.0};  // seconds
constexpr double kBatteryPeriod = 23.0;
constexpr double kReceiverPeriods[] = {7.0, 8.0, 10.0, 12.0};
constexpr double kMicrosPerSecond = 1e6;

int swung(int centre, double swing, double periodSeconds, Micros t, int limit) {
  const double phase =
      2 * std::numbers::pi * (static_cast<double>(t) / kMicrosPerSecond) / periodSeconds;
  return std::clamp(centre + static_cast<int>(std::lround(swing * std::sin(phase))), 0, limit);
}

// Channel-word classes the player acts on.
constexpr std::uint16_t kWordJump = 0x8107;
constexpr std::uint16_t kWordLoopSet = 0x8207;
constexpr std::uint16_t kWordLoopJump = 0x8307;
constexpr std::uint16_t kWordAdJump = 0x8C06;  // AD1, AD2, AD3 at 0x100 apart
constexpr std::uint16_t kWordPaJump = 0x9206;  // PA1 to PA4 at 0x100 apart
constexpr std::uint16_t kWordButtonEqual = 0x9A06;
constexpr std::uint16_t kWordButtonAnd = 0x9B06;
constexpr std::uint16_t kWordCompareSet = 0x9C06;
constexpr int kCompareBias = 1023;
constexpr int kCompareMax = 16383;
constexpr std::uint16_t kWordEnd = 0xFFFF;
constexpr std::uint16_t kWordDigitalLow = 0x8000;
constexpr std::uint16_t kClassWidth = 0x100;

std::uint16_t wordOf(const std::vector<std::uint8_t>& p, std::size_t i) {
  return static_cast<std::uint16_t>((p[i] << 8) | p[i + 1]);
}

void putWord(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

template <std::size_t N>
void copyIn(std::array<std::uint8_t, N>& dst, const std::vector<std::uint8_t>& p, std::size_t at) {
  std::copy(p.begin() + static_cast<std::ptrdiff_t>(at),
            p.begin() + static_cast<std::ptrdiff_t>(at + N), dst.begin());
}

template <std::size_t N>
void wordsIn(std::array<std::uint16_t, N>& dst, const std::vector<std::uint8_t>& p,
             std::size_t at) {
  for (std::size_t i = 0; i < N; ++i) dst[i] = wordOf(p, at + 2 * i);
}

template <std::size_t N>
std::vector<std::uint8_t> wordsOut(const std::array<std::uint16_t, N>& a) {
  std::vector<std::uint8_t> out;
  for (std::uint16_t v : a) putWord(out, v);
  return out;
}

bool inClass(std::uint16_t w, std::uint16_t base) {
  return w >= base && w < base + kClassWidth;
}

std::uint8_t hexNibble(char c, bool& ok) {
  if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
  ok = false;
  return 0;
}

bool parseNumber(const std::string& text, long long& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  out = std::strtoll(text.c_str(), &end, 10);
  // A number too large to hold would come back as the largest one, silently.
  return errno == 0 && end && *end == '\0' && out >= 0;
}

}  // namespace

std::optional<Fault> parseFault(const std::string& text) {
  const std::size_t colon = text.find(':');
  const std::string kind = text.substr(0, colon);
  const std::string arg = colon == std::string::npos ? std::string() : text.substr(colon + 1);
  const bool hasArg = colon != std::string::npos;
  Fault f;
  long long n = 0;
  if (kind == "noanswer" && !hasArg) {
    f.kind = Fault::Kind::kNoHandshake;
  } else if (kind == "short" && parseNumber(arg, n)) {
    f.kind = Fault::Kind::kShortReply;
    f.count = static_cast<std::size_t>(n);
  } else if (kind == "checksum" && !hasArg) {
    f.kind = Fault::Kind::kWrongChecksum;
  } else if (kind == "garbage") {
    f.kind = Fault::Kind::kGarbage;
    if (arg.size() % 2 != 0) return std::nullopt;
    bool ok = true;
    for (std::size_t i = 0; i < arg.size(); i += 2) {
      f.bytes.push_back(
          static_cast<std::uint8_t>(hexNibble(arg[i], ok) << 4 | hexNibble(arg[i + 1], ok)));
    }
    if (!ok) return std::nullopt;
  } else if (kind == "delay" && parseNumber(arg, n) && n <= 60'000) {
    f.kind = Fault::Kind::kDelay;
    f.delay = static_cast<Micros>(n) * 1000;
  } else if (kind == "hangup" && !hasArg) {
    f.kind = Fault::Kind::kHangUp;
  } else if (kind == "corrupt" && !hasArg) {
    f = Fault::corruptStore();
  } else if (kind == "corrupt" && parseNumber(arg, n) && n < static_cast<long long>(kRecordSize)) {
    f = Fault::corruptStore(static_cast<std::size_t>(n));
  } else if (const std::size_t gap = arg.find(':');
             kind == "split" && gap != std::string::npos && parseNumber(arg.substr(0, gap), n)) {
    long long ms = 0;
    if (!parseNumber(arg.substr(gap + 1), ms) || ms > 60'000) return std::nullopt;
    f = Fault::split(static_cast<std::size_t>(n), static_cast<Micros>(ms) * 1000);
  } else {
    return std::nullopt;
  }
  return f;
}

std::optional<std::array<std::uint8_t, 3>> parseChannelMask(const std::string& text) {
  std::array<std::uint8_t, 3> mask{};
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string part = text.substr(start, comma - start);
    const std::size_t dash = part.find('-');
    long long first = 0;
    long long last = 0;
    if (!parseNumber(part.substr(0, dash), first)) return std::nullopt;
    last = first;
    if (dash != std::string::npos && !parseNumber(part.substr(dash + 1), last)) return std::nullopt;
    if (first < 1 || last > kChannelCount || first > last) return std::nullopt;
    for (long long ch = first; ch <= last; ++ch) {
      mask[static_cast<std::size_t>((ch - 1) / 8)] |=
          static_cast<std::uint8_t>(1u << ((ch - 1) % 8));
    }
    start = comma + 1;
  }
  return mask;
}

VirtualBoard::VirtualBoard(BoardMemory memory) : memory_(std::move(memory)) {
  memory_.records.resize(kRecordCapacity);
  powerCycle();
}

void VirtualBoard::powerCycle() {
  live_ = LiveState{};
  live_.working = memory_.stored;
  live_.qvsMode = (memory_.stored.options & kOptQvsMode) != 0;
  live_.working.options =
      static_cast<std::uint16_t>((memory_.stored.options & ~kOptTransientBits & ~kOptQvsMode) |
                                 (live_.qvsMode ? kOptQvsMode : 0));
  // The servos come up holding the home position.
  live_.pose[0] = 1;
  for (int ch = 0; ch < kChannelCount; ++ch) {
    live_.pose[1 + 2 * ch] = static_cast<std::uint8_t>(memory_.home[ch] >> 8);
    live_.pose[2 + 2 * ch] = static_cast<std::uint8_t>(memory_.home[ch] & 0xFF);
    live_.servo[ch] = memory_.home[ch];
  }
  stopPlay();
  playEndPending_.clear();
  powerOnPlay_.reset();
  if ((memory_.stored.options & kOptPowerOnPlay) && memory_.startData[1] < kTableEntryCount) {
    powerOnPlay_ = memory_.startData[1];
  }
  request_.clear();
  awaitingRequest_ = false;
  currentFault_.reset();
}

void VirtualBoard::receive(const std::uint8_t* data, std::size_t count, Micros now) {
  for (std::size_t i = 0; i < count; ++i) {
    Micros arrival = now;
    if (pacing_) arrival = std::max(now, lastInArrival_) + kByteTime;
    lastInArrival_ = arrival;
    input_.push_back({data[i], arrival});
  }
}

void VirtualBoard::advance(Micros now) {
  while (!input_.empty() && input_.front().arrival <= now) {
    const InByte b = input_.front();
    input_.pop_front();
    runTimers(b.arrival);
    if (!hungUp_) processByte(b.value, b.arrival);
  }
  runTimers(now);
  now_ = std::max(now_, now);
}

std::optional<Micros> VirtualBoard::outputRunEnd() const {
  if (output_.empty()) return std::nullopt;
  Micros end = output_.front().arrival;
  for (const OutByte& b : output_) {
    if (b.start > end) break;  // a gap on the line ends the run
    end = std::max(end, b.arrival);
  }
  return end;
}

std::vector<std::uint8_t> VirtualBoard::takeOutput(Micros now, std::size_t max) {
  std::vector<std::uint8_t> out;
  if (wholeRuns_) {
    const std::optional<Micros> end = outputRunEnd();
    if (end && *end > now) return out;  // the run's last byte is still on its way
  }
  while (!output_.empty() && output_.front().arrival <= now && out.size() < max) {
    out.push_back(output_.front().value);
    output_.pop_front();
  }
  return out;
}

std::size_t VirtualBoard::outputReady(Micros now) const {
  std::size_t n = 0;
  for (const OutByte& b : output_) {
    if (b.arrival > now) break;
    ++n;
  }
  return n;
}

void VirtualBoard::discardOutput(Micros now) {
  takeOutput(now);
}

std::optional<Micros> VirtualBoard::nextWake(Micros now) const {
  std::optional<Micros> next;
  auto consider = [&](Micros t) {
    t = std::max(t, now + 1);
    if (!next || t < *next) next = t;
  };
  if (!input_.empty()) consider(wholeRuns_ ? input_.back().arrival : input_.front().arrival);
  if (wholeRuns_) {
    if (const std::optional<Micros> end = outputRunEnd(); end && *end > now) consider(*end);
  } else {
    for (const OutByte& b : output_) {
      if (b.arrival > now) {
        consider(b.arrival);
        break;
      }
    }
  }
  if (hungUp_) return next;
  if (powerOnPlay_) consider(now);
  if (!request_.empty() || awaitingRequest_) consider(lastRequestByte_ + kRequestGapTimeout);
  if (playNumber_ && !(live_.working.options & kOptPause)) consider(playNextStep_);
  if (!playEndPending_.empty()) consider(lastInputAt_ + kReportQuietTime);
  if (live_.working.options & kOptReceiverStream) consider(nextReceiverReport_);
  if (live_.working.options & kOptAnalogStream) consider(nextAnalogReport_);
  return next;
}

void VirtualBoard::injectFault(const Fault& fault, int attempts) {
  for (int i = 0; i < std::max(1, attempts); ++i) {
    faults_[handshakes_ + static_cast<std::uint64_t>(i)] = fault;
  }
}

void VirtualBoard::injectFaultAt(std::uint64_t index, const Fault& fault) {
  faults_[index] = fault;
}

void VirtualBoard::setReportPeriod(Micros period) {
  reportPeriod_ = std::clamp(period, kFastestReportPeriod, kSlowestReportPeriod);
}

int VirtualBoard::analogReading(int input, Micros t) const {
  const int live = live_.analog[static_cast<std::size_t>(input)];
  return moving_ ? swung(live, kAnalogSwing, kAnalogPeriods[input], t, kMax14Bit) : live;
}

int VirtualBoard::receiverReading(int channel, Micros t) const {
  const int live = live_.receiver[static_cast<std::size_t>(channel)];
  return moving_ ? swung(live, kReceiverSwing, kReceiverPeriods[channel], t, kMax7Bit) : live;
}

int VirtualBoard::batteryReading(Micros t) const {
  return moving_ ? swung(live_.battery, kBatterySwing, kBatteryPeriod, t, kMax14Bit)
                 : live_.battery;
}

std::optional<int> VirtualBoard::playing() const {
  return playNumber_;
}

void VirtualBoard::send(const std::vector<std::uint8_t>& bytes, Micros t, bool report) {
  const std::uint32_t id = report ? ++lastReportId_ : 0;
  for (std::uint8_t v : bytes) {
    Micros start = t;
    Micros arrival = t;
    if (pacing_) {
      start = std::max(t, lineFreeAt_);
      arrival = start + kByteTime;
    }
    lineFreeAt_ = std::max(lineFreeAt_, arrival);
    output_.push_back({v, start, arrival, id});
  }
}

void VirtualBoard::dropUnstartedReports(Micros t) {
  // A report that has not begun to leave gives way to the handshake answer, so it cannot run
  // into the reply the PC is about to wait for; one already on the wire is finished.
  std::set<std::uint32_t> dropped;
  std::uint32_t previous = 0;
  for (const OutByte& b : output_) {
    if (b.report && b.report != previous && b.start > t) dropped.insert(b.report);
    previous = b.report;
  }
  if (dropped.empty()) return;
  std::erase_if(output_, [&](const OutByte& b) { return dropped.count(b.report) != 0; });
  lineFreeAt_ = output_.empty() ? 0 : output_.back().arrival;
}

void VirtualBoard::processByte(std::uint8_t byte, Micros t) {
  lastInputAt_ = t;
  if (!request_.empty()) {
    request_.push_back(byte);
    lastRequestByte_ = t;
    if (request_.size() == requestLength_) executeRequest(t);
    return;
  }
  if (byte == kHandshakeByte) {
    const std::uint64_t index = handshakes_++;
    currentFault_.reset();
    if (auto it = faults_.find(index); it != faults_.end()) {
      // A corrupting fault waits for the store it spoils; this exchange itself goes well.
      if (it->second.kind == Fault::Kind::kCorruptStore) {
        corruptByte_ = it->second.count;
      } else {
        currentFault_ = it->second;
      }
      faults_.erase(it);
    }
    dropUnstartedReports(t);
    if (currentFault_ && currentFault_->kind == Fault::Kind::kHangUp) {
      hungUp_ = true;
      stopPlay();
      return;
    }
    awaitingRequest_ = true;
    lastRequestByte_ = t;
    if (currentFault_ && currentFault_->kind == Fault::Kind::kNoHandshake) return;
    send({kHandshakeAnswer}, t, false);
    return;
  }
  const std::optional<CommandInfo> info = commandInfo(byte);
  if (!info) return;  // a stray byte between requests starts nothing
  request_.assign(1, byte);
  requestLength_ = info->packetLength;
  lastRequestByte_ = t;
  awaitingRequest_ = false;
}

void VirtualBoard::executeRequest(Micros t) {
  const CommandInfo info = *commandInfo(request_[0]);
  std::vector<std::uint8_t> packet;
  packet.swap(request_);
  awaitingRequest_ = false;
  std::optional<Fault> fault;
  fault.swap(currentFault_);
  if (checksumOf(packet.data(), packet.size() - 1) != packet.back()) {
    ++badChecksums_;  // the board stays silent and the PC's read times out
    return;
  }
  ++requests_;
  std::vector<std::uint8_t> data;
  const Outcome outcome = handle(info, packet, t, data);
  std::vector<std::uint8_t> reply;
  if (outcome == Outcome::kSilent || info.reply == ReplyKind::kNone) return;
  if (outcome == Outcome::kDone && (info.code == kReadQvsParams || info.code == kWriteQvsParams)) {
    t += kServoBusReplyTime;
  }
  if (info.reply == ReplyKind::kAck) {
    reply.push_back(outcome == Outcome::kDone ? kAckByte : kNakByte);
  } else {
    data.resize(info.dataLength, 0);
    reply = data;
    std::uint8_t sum = checksumOf(data.data(), data.size());
    // A refused read gets a reply that fails its check, so the PC gives up without retrying.
    if (outcome == Outcome::kRefused) sum = static_cast<std::uint8_t>(~sum);
    reply.push_back(sum);
  }
  if (fault) {
    switch (fault->kind) {
      case Fault::Kind::kShortReply:
        reply.resize(std::min(fault->count, reply.size()));
        break;
      case Fault::Kind::kWrongChecksum:
        reply.back() = static_cast<std::uint8_t>(~reply.back());
        break;
      case Fault::Kind::kGarbage:
        if (fault->bytes.empty()) {
          for (std::size_t i = 0; i < reply.size(); ++i) {
            reply[i] = static_cast<std::uint8_t>(kGarbageSeed + 37 * i);
          }
        } else {
          reply = fault->bytes;
        }
        break;
      case Fault::Kind::kDelay:
        t += fault->delay;
        break;
      case Fault::Kind::kSplit: {
        const auto first = static_cast<std::ptrdiff_t>(std::min(fault->count, reply.size()));
        send(std::vector<std::uint8_t>(reply.begin(), reply.begin() + first), t, false);
        reply.erase(reply.begin(), reply.begin() + first);
        t += fault->delay;
        break;
      }
      case Fault::Kind::kNoHandshake:
      case Fault::Kind::kHangUp:
      case Fault::Kind::kCorruptStore:
        break;
    }
  }
  send(reply, t, false);
}

VirtualBoard::Outcome VirtualBoard::handle(const CommandInfo& info,
                                           const std::vector<std::uint8_t>& p, Micros t,
                                           std::vector<std::uint8_t>& data) {
  const bool stored = p.size() > 2 && (p[1] & kFlagStored);
  CopiedSettings& copy = stored ? memory_.stored : live_.working;
  auto touched = [&] {
    if (stored) memoryChanged_ = true;
  };
  switch (info.code) {
    case kReadChannelName:
      if (p[1] >= kChannelCount) return Outcome::kRefused;
      data.assign(memory_.channelNames[p[1]].begin(), memory_.channelNames[p[1]].end());
      return Outcome::kDone;
    case kWriteChannelName:
      if (p[2] >= kChannelCount) return Outcome::kRefused;
      copyIn(memory_.channelNames[p[2]], p, 3);
      memoryChanged_ = true;
      return Outcome::kDone;
    case kReadHomePosition:
      data = wordsOut(memory_.home);
      return Outcome::kDone;
    case kWriteHomePosition:
      wordsIn(memory_.home, p, 2);
      memoryChanged_ = true;
      return Outcome::kDone;
    case kReadQvsParams:
    case kWriteQvsParams: {
      const int ch = p[1];
      if (ch >= kChannelCount) return Outcome::kRefused;
      // Only a servo on the bus answers, and only in servo-bus mode.
      if (!live_.qvsMode || !(memory_.qvsMask[ch / 8] & (1u << (ch % 8)))) return Outcome::kSilent;
      if (info.code == kReadQvsParams) {
        data.assign(memory_.qvsParams[ch].begin(), memory_.qvsParams[ch].end());
      } else {
        copyIn(memory_.qvsParams[ch], p, 2);
        memoryChanged_ = true;
      }
      return Outcome::kDone;
    }
    case kReadQvsMask:
      data.assign(memory_.qvsMask.begin(), memory_.qvsMask.end());
      return Outcome::kDone;
    case kWriteQvsMask:
      copyIn(memory_.qvsMask, p, 2);
      memoryChanged_ = true;
      return Outcome::kDone;
    case kReadReceiverRefs:
      data.assign(copy.receiverRefs.begin(), copy.receiverRefs.end());
      return Outcome::kDone;
    case kWriteReceiverRefs:
      for (int i = 0; i < kReceiverChannelCount; ++i) {
        const std::uint8_t v = p[2 + i];
        // 0xFF: take the reading
        copy.receiverRefs[i] = v == 0xFF ? static_cast<std::uint8_t>(receiverReading(i, t)) : v;
      }
      touched();
      return Outcome::kDone;
    case kReadSensorBlock:
      data.assign(copy.sensor.begin(), copy.sensor.end());
      return Outcome::kDone;
    case kWriteSensorBlock:
      copyIn(copy.sensor, p, 2);
      touched();
      return Outcome::kDone;
    case kReadMixingBlock:
      if (p[2] >= kAnalogInputCount) return Outcome::kRefused;
      data.assign(copy.mixing[p[2]].begin(), copy.mixing[p[2]].end());
      return Outcome::kDone;
    case kWriteMixingBlock:
      if (p[2] >= kAnalogInputCount) return Outcome::kRefused;
      copyIn(copy.mixing[p[2]], p, 3);
      touched();
      return Outcome::kDone;
    case kReadAnalogRefs:
      data = wordsOut(copy.analogRefs);
      return Outcome::kDone;
    case kWriteAnalogRefs:
      wordsIn(copy.analogRefs, p, 2);
      touched();
      return Outcome::kDone;
    case kSetAnalogRef:
      if (p[2] < kAnalogInputCount) {
        const std::uint16_t v = wordOf(p, 3);
        live_.working.analogRefs[p[2]] =
            v == 0xFFFF ? static_cast<std::uint16_t>(analogReading(p[2], t)) : v;
      }
      return Outcome::kDone;
    case kReadAlarm:
      data.assign(memory_.alarm.begin(), memory_.alarm.end());
      return Outcome::kDone;
    case kWriteAlarm:
      copyIn(memory_.alarm, p, 2);
      memoryChanged_ = true;
      return Outcome::kDone;
    case kReadCounter:
      data = {0,
              static_cast<std::uint8_t>(live_.button >> 8),
              static_cast<std::uint8_t>(live_.button & 0xFF),
              0,
              0,
              0,
              0};
      return Outcome::kDone;
    case kReadStartData:
      data.assign(memory_.startData.begin(), memory_.startData.end());
      return Outcome::kDone;
    case kWriteStartData:
      copyIn(memory_.startData, p, 2);
      memoryChanged_ = true;
      return Outcome::kDone;
    case kReadPositions:
      updateServos(t);
      data = wordsOut(live_.servo);
      return Outcome::kDone;
    case kReadOptions:
      data.clear();
      putWord(data, copy.options);
      return Outcome::kDone;
    case kWriteOptions: {
      const std::uint16_t w = wordOf(p, 2);
      if (stored) {
        memory_.stored.options = w;
        memoryChanged_ = true;
        return Outcome::kDone;
      }
      updateServos(t);
      const std::uint16_t old = live_.working.options;
      // The servo-bus bit of the working word shows the mode entered at power-on.
      live_.working.options =
          static_cast<std::uint16_t>((w & ~kOptQvsMode) | (live_.qvsMode ? kOptQvsMode : 0));
      const std::uint16_t turnedOn = live_.working.options & ~old;
      if (turnedOn & kOptReceiverStream) nextReceiverReport_ = t + reportPeriod_;
      if (turnedOn & kOptAnalogStream) nextAnalogReport_ = t + reportPeriod_;
      if ((old & kOptPause) && !(live_.working.options & kOptPause)) {
        playNextStep_ = t + kPlayStepTime;
      }
      updateServos(t);
      return Outcome::kDone;
    }
    case kStop:
      stopPlay();
      return Outcome::kDone;
    case kPlay:
      if (p[2] >= kTableEntryCount) return Outcome::kRefused;
      startPlay(p[2], t);
      return Outcome::kDone;
    case kReadTableEntry:
      if (p[1] >= kTableEntryCount) return Outcome::kRefused;
      data.assign(memory_.table[p[1]].begin(), memory_.table[p[1]].end());
      return Outcome::kDone;
    case kWriteTableEntry:
      if (p[2] >= kTableEntryCount) return Outcome::kRefused;
      copyIn(memory_.table[p[2]], p, 3);
      memoryChanged_ = true;
      return Outcome::kDone;
    case kReadScenarioStep:
      if (p[1] >= kScenarioCount || p[2] >= kScenarioStepCount) return Outcome::kRefused;
      data = {memory_.scenarios[p[1]][p[2]]};
      return Outcome::kDone;
    case kWriteScenarioStep:
      if (p[2] >= kScenarioCount || p[3] >= kScenarioStepCount) return Outcome::kRefused;
      memory_.scenarios[p[2]][p[3]] = p[4];
      if (corruptByte_) {
        memory_.scenarios[p[2]][p[3]] ^= kCorruptionBits;
        corruptByte_.reset();
      }
      memoryChanged_ = true;
      return Outcome::kDone;
    case kReadTrims:
      data = wordsOut(copy.trims);
      return Outcome::kDone;
    case kWriteTrims:
      wordsIn(copy.trims, p, 2);
      touched();
      return Outcome::kDone;
    case kSetTrim:
      if (p[2] < kChannelCount) live_.working.trims[p[2]] = wordOf(p, 3);
      return Outcome::kDone;
    case kReadPositionRecord:
    case kWritePositionRecord: {
      Record* record = &live_.pose;
      if (stored) {
        // A motion longer than one slot runs on into the following slots.
        const int address = p[2] * kRecordsPerSlot + p[3];
        if (p[2] >= kMotionSlotCount || address >= kRecordCapacity) return Outcome::kRefused;
        record = &memory_.records[static_cast<std::size_t>(address)];
      }
      if (info.code == kReadPositionRecord) {
        data.assign(record->begin(), record->end());
        return Outcome::kDone;
      }
      if (!stored) updateServos(t);
      copyIn(*record, p, 4);
      if (stored) {
        if (corruptByte_) {
          (*record)[*corruptByte_ % kRecordSize] ^= kCorruptionBits;
          corruptByte_.reset();
        }
        memoryChanged_ = true;
      } else {
        updateServos(t);
      }
      return Outcome::kDone;
    }
    case kSetServo:
      if (p[2] < kChannelCount) {
        updateServos(t);
        live_.pose[1 + 2 * p[2]] = p[4];
        live_.pose[2 + 2 * p[2]] = p[5];
        updateServos(t);
      }
      return Outcome::kDone;
    case kReadBoardInfo:
      data.assign(memory_.infoText.begin(), memory_.infoText.end());
      return Outcome::kDone;
    default:
      return Outcome::kSilent;
  }
}

void VirtualBoard::runTimers(Micros t) {
  if (hungUp_) return;
  if (powerOnPlay_) {
    startPlay(*powerOnPlay_, t);
    powerOnPlay_.reset();
  }
  if ((!request_.empty() || awaitingRequest_) && t - lastRequestByte_ >= kRequestGapTimeout) {
    request_.clear();  // the rest of this request is not coming
    awaitingRequest_ = false;
    currentFault_.reset();
  }
  while (playNumber_ && !(live_.working.options & kOptPause) && playNextStep_ <= t) {
    stepPlay(playNextStep_);
  }
  if (!idle()) return;  // reports wait until the exchange is over
  const bool quiet = t - lastInputAt_ >= kReportQuietTime;
  if (!quiet) {
    // Skipped stream reports are not made up later; the play-end report only waits.
    if (nextReceiverReport_ <= t) nextReceiverReport_ = t + reportPeriod_;
    if (nextAnalogReport_ <= t) nextAnalogReport_ = t + reportPeriod_;
    return;
  }
  if (!playEndPending_.empty()) emitPlayEnd(t);
  if ((live_.working.options & kOptReceiverStream) && nextReceiverReport_ <= t) {
    emitReceiverReport(t);
    nextReceiverReport_ = std::max(nextReceiverReport_ + reportPeriod_, t + 1);
  }
  if ((live_.working.options & kOptAnalogStream) && nextAnalogReport_ <= t) {
    emitAnalogReport(t);
    nextAnalogReport_ = std::max(nextAnalogReport_ + reportPeriod_, t + 1);
  }
}

int VirtualBoard::wobbled(int value, int range, int limit) {
  if (!wobble_) return value;
  noise_ = noise_ * 1103515245u + 12345u;
  const int offset =
      static_cast<int>((noise_ >> 16) % static_cast<unsigned>(2 * range + 1)) - range;
  return std::clamp(value + offset, 0, limit);
}

void VirtualBoard::emitReceiverReport(Micros t) {
  std::vector<std::uint8_t> m(kReceiverLength, 0);
  m[0] = kReceiverLead;
  m[2] = static_cast<std::uint8_t>(live_.button >> 8);
  m[3] = static_cast<std::uint8_t>(live_.button & 0xFF);
  for (int i = 0; i < kReceiverChannelCount; ++i) {
    m[4 + i] = static_cast<std::uint8_t>(wobbled(receiverReading(i, t), 1, kMax7Bit));
  }
  send(m, t, true);
}

void VirtualBoard::emitAnalogReport(Micros t) {
  std::vector<std::uint8_t> m(kAnalogLength, 0);
  m[0] = kAnalogLead;
  // 14-bit values in two 7-bit bytes keep every data byte below a lead byte.
  auto pair = [&m](std::size_t at, std::uint16_t v) {
    m[at] = static_cast<std::uint8_t>((v >> 7) & 0x7F);
    m[at + 1] = static_cast<std::uint8_t>(v & 0x7F);
  };
  pair(1, static_cast<std::uint16_t>(wobbled(batteryReading(t), 2, kMax14Bit)));
  for (int k = 0; k < kAnalogInputCount; ++k) {
    pair(3 + 2 * k, static_cast<std::uint16_t>(wobbled(analogReading(k, t), 3, kMax14Bit)));
  }
  send(m, t, true);
}

void VirtualBoard::emitPlayEnd(Micros t) {
  std::vector<std::uint8_t> m(kPlayEndLength, 0);
  m[0] = kPlayEndLead;
  for (int i = 0; i < 24 && !playEndPending_.empty(); ++i) {
    m[1 + i / 4] |= static_cast<std::uint8_t>(1u << (i % 4));
    m[7 + i] = static_cast<std::uint8_t>(playEndPending_.front());
    playEndPending_.pop_front();
  }
  send(m, t, true);
}

void VirtualBoard::startPlay(int number, Micros t) {
  stopPlay();
  playNumber_ = number;
  if (number < kMotionSlotCount) {
    playQueue_.push_back(number);
  } else {
    const int s = number - kMotionSlotCount;
    const int steps = std::min<int>(memory_.table[number][0], kScenarioStepCount);
    for (int i = 0; i < steps; ++i) {
      const int m = memory_.scenarios[s][i];
      if (m < kMotionSlotCount) playQueue_.push_back(m);
    }
  }
  playRecord_ = -1;
  playNextStep_ = t;
  stepPlay(t);
}

void VirtualBoard::stopPlay() {
  playNumber_.reset();
  playQueue_.clear();
  playRecord_ = -1;
}

std::uint16_t VirtualBoard::wordAt(const Record& r, int ch) const {
  return static_cast<std::uint16_t>((r[1 + 2 * ch] << 8) | r[2 + 2 * ch]);
}

int VirtualBoard::readingChange(int source, Micros t) const {
  if (source < kAnalogInputCount) {
    return analogReading(source, t) - live_.working.analogRefs[source];
  }
  const int k = source - kAnalogInputCount;
  return receiverReading(k, t) - live_.working.receiverRefs[k];
}

void VirtualBoard::stepPlay(Micros t) {
  while (playNumber_) {
    if (playRecord_ < 0) {
      if (playQueue_.empty()) {
        const int finished = *playNumber_;
        stopPlay();
        if (live_.working.options & kOptPlayEndReport) playEndPending_.push_back(finished);
        return;
      }
      playSlot_ = playQueue_.front();
      playQueue_.pop_front();
      playRecord_ = 0;
      continue;
    }
    const int count = memory_.table[playSlot_][0];
    const int address = playSlot_ * kRecordsPerSlot + playRecord_;
    if (playRecord_ >= count || address >= kRecordCapacity) {
      playRecord_ = -1;
      continue;
    }
    const Record& r = memory_.records[static_cast<std::size_t>(address)];
    int next = playRecord_ + 1;
    const std::uint16_t w = wordAt(r, kChannelCount - 1);
    bool uniform = true;
    for (int ch = 0; ch + 1 < kChannelCount; ++ch) uniform = uniform && wordAt(r, ch) == w;
    auto jumpIf = [&](bool taken, std::uint16_t base) {
      if (taken) next = w - base;
    };
    if (uniform && w == kWordEnd) {
      next = -1;
    } else if (uniform && inClass(w, kWordJump)) {
      next = w - kWordJump;
    } else if (uniform && inClass(w, kWordLoopSet)) {
      live_.loopCounter = static_cast<std::uint8_t>(w - kWordLoopSet);
    } else if (uniform && inClass(w, kWordLoopJump)) {
      const bool taken = live_.loopCounter != 0;
      if (taken) --live_.loopCounter;
      jumpIf(taken, kWordLoopJump);
    } else if (uniform && w >= kWordAdJump && w < kWordAdJump + 3 * kClassWidth) {
      const int k = (w - kWordAdJump) / kClassWidth;
      jumpIf(std::abs(readingChange(k, t)) > live_.compareRegister,
             static_cast<std::uint16_t>(kWordAdJump + k * kClassWidth));
    } else if (uniform && w >= kWordPaJump && w < kWordPaJump + 4 * kClassWidth) {
      const int k = (w - kWordPaJump) / kClassWidth;
      jumpIf(std::abs(readingChange(kAnalogInputCount + k, t)) > live_.compareRegister,
             static_cast<std::uint16_t>(kWordPaJump + k * kClassWidth));
    } else if (uniform && inClass(w, kWordButtonEqual)) {
      jumpIf(live_.button == live_.compareRegister, kWordButtonEqual);
    } else if (uniform && inClass(w, kWordButtonAnd)) {
      jumpIf((live_.button & live_.compareRegister) != 0, kWordButtonAnd);
    } else if (uniform && w >= kWordCompareSet &&
               w <= kWordCompareSet + kCompareBias + kCompareMax) {
      live_.compareRegister = w - kWordCompareSet - kCompareBias;
    } else {
      updateServos(t);
      live_.pose[0] = r[0];
      for (int ch = 0; ch < kChannelCount; ++ch) {
        const std::uint16_t cw = wordAt(r, ch);
        // Positions, digital outputs and "free" change the pose; other words act elsewhere.
        if ((cw >= 1 && cw <= 0x7FFF) || (cw >= kWordDigitalLow && cw <= kServoFree)) {
          live_.pose[1 + 2 * ch] = r[1 + 2 * ch];
          live_.pose[2 + 2 * ch] = r[2 + 2 * ch];
        }
      }
      updateServos(t);
    }
    playRecord_ = next;
    playNextStep_ = t + kPlayStepTime;
    return;
  }
}

void VirtualBoard::updateServos(Micros t) {
  const bool asleep = live_.working.options & kOptSleep;
  int drift = 0;
  if (!lastDrift_) lastDrift_ = t;
  if (t > *lastDrift_) {
    const Micros steps = (t - *lastDrift_) / kDriftPeriod;
    drift = static_cast<int>(std::min<Micros>(steps, kMaxDriftSteps));
    *lastDrift_ = steps > kMaxDriftSteps ? t : *lastDrift_ + steps * kDriftPeriod;
  }
  for (int ch = 0; ch < kChannelCount; ++ch) {
    const std::uint16_t w = wordAt(live_.pose, ch);
    const bool limp = asleep || w == kServoFree;
    if (!limp && w >= 1 && w <= 0x7FFF) {
      live_.servo[ch] = w;
      continue;
    }
    if (!limp) continue;  // not driven: the servo stays where it is
    int pos = live_.servo[ch];
    for (int i = 0; i < drift; ++i) {
      noise_ = noise_ * 1103515245u + 12345u;  // a small fixed generator keeps tests repeatable
      pos += static_cast<int>((noise_ >> 16) % (2 * kServoDriftStep + 1)) - kServoDriftStep;
    }
    pos = std::clamp(pos, kServoCentre - kServoDriftRange, kServoCentre + kServoDriftRange);
    live_.servo[ch] = static_cast<std::uint16_t>(pos);
  }
}

}  // namespace pvrj::board
