// Playing, unprompted reports, fault injection, line-rate pacing and the state file.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "board/VirtualBoardPort.h"
#include "tests/board/BoardTestUtil.h"

namespace pvrj::board::test {
namespace {

Record uniformRecord(std::uint8_t lead, std::uint16_t word) {
  Record r{};
  r[0] = lead;
  for (int ch = 0; ch < kChannelCount; ++ch) {
    r[1 + 2 * ch] = static_cast<std::uint8_t>(word >> 8);
    r[2 + 2 * ch] = static_cast<std::uint8_t>(word & 0xFF);
  }
  return r;
}

class BoardBehaviourTest : public ::testing::Test {
 protected:
  VirtualBoardPort port;
  VirtualBoard& board = port.board();

  bool write(const Bytes& packet) { return acked(exchange(port, packet, 1)); }
  // Stores a motion of the given records in slot (count in its table entry).
  void storeMotion(int slot, const std::vector<Record>& records) {
    for (std::size_t i = 0; i < records.size(); ++i) {
      board.memory().records[slot * kRecordsPerSlot + i] = records[i];
    }
    board.memory().table[slot][0] = static_cast<std::uint8_t>(records.size());
  }
  void setOptions(std::uint16_t w) {
    ASSERT_TRUE(write(
        {0xF2, 0x01, static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w & 0xFF)}));
  }
  // The unprompted messages of one lead byte among bytes.
  static std::vector<Bytes> messages(const Bytes& bytes, std::uint8_t lead, std::size_t length) {
    std::vector<Bytes> out;
    for (std::size_t i = 0; i + length <= bytes.size(); ++i) {
      if (bytes[i] == lead) {
        out.emplace_back(bytes.begin() + i, bytes.begin() + i + length);
        i += length - 1;
      }
    }
    return out;
  }
};

TEST_F(BoardBehaviourTest, PlayRunsForAShortTimeAndSendsThePlayEndReport) {
  storeMotion(3,
              {uniformRecord(100, 0x3000), uniformRecord(100, 0x5000), uniformRecord(1, 0xFFFF)});
  setOptions(kOptPlayEndReport);
  EXPECT_EQ(exchange(port, {0xF4, 0x05, 3}, 1).bytes, Bytes{kAckByte});
  EXPECT_EQ(board.playing(), 3);
  port.advanceTime(10);
  EXPECT_EQ(board.live().servo[0], 0x3000);  // first pose taken at once
  EXPECT_TRUE(port.takeUnprompted().empty());
  port.advanceTime(200);
  EXPECT_FALSE(board.playing());
  EXPECT_EQ(board.live().servo[23], 0x5000);
  const Bytes out = port.takeUnprompted();
  ASSERT_EQ(out.size(), kPlayEndLength);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[1], 0x01);  // flag byte 0, bit 0: value byte 7 is present
  for (int i = 2; i <= 6; ++i) EXPECT_EQ(out[i], 0) << i;
  EXPECT_EQ(out[7], 3);
}

TEST_F(BoardBehaviourTest, NoPlayEndReportWithoutTheOptionBitAndNoneAfterStop) {
  storeMotion(0, {uniformRecord(1, 0x4000), uniformRecord(1, 0xFFFF)});
  EXPECT_TRUE(write({0xF4, 0x05, 0}));
  port.advanceTime(500);
  EXPECT_TRUE(port.takeUnprompted().empty());
  // A motion that jumps to itself plays until it is stopped.
  storeMotion(1, {uniformRecord(1, 0x4100), uniformRecord(1, 0x8107)});
  setOptions(kOptPlayEndReport);
  EXPECT_TRUE(write({0xF4, 0x05, 1}));
  port.advanceTime(2000);
  EXPECT_EQ(board.playing(), 1);
  EXPECT_EQ(exchange(port, {0xF3, 0x01, 0xFF, 0xFF, 0xFF}, 1).bytes, Bytes{kAckByte});
  EXPECT_FALSE(board.playing());
  port.advanceTime(500);
  EXPECT_TRUE(port.takeUnprompted().empty());
}

TEST_F(BoardBehaviourTest, LoopCounterAndMotionAcrossSlots) {
  // 35 records: a loop set, 33 poses, END; it spills from slot 10 into slot 11.
  std::vector<Record> recs{uniformRecord(1, 0x8207 + 2)};
  for (int i = 0; i < 33; ++i)
    recs.push_back(uniformRecord(1, static_cast<std::uint16_t>(0x1000 + i)));
  recs.push_back(uniformRecord(1, 0xFFFF));
  storeMotion(10, recs);
  EXPECT_TRUE(write({0xF4, 0x05, 10}));
  port.advanceTime(35 * 20 + 100);
  EXPECT_FALSE(board.playing());
  EXPECT_EQ(board.live().servo[0], 0x1000 + 32);  // the last pose, stored in slot 11

  // Set the counter to 2, pose, loop back twice: 1 + 3 * 2 + 1 records of 20 ms.
  storeMotion(20, {uniformRecord(1, 0x8207 + 2), uniformRecord(1, 0x2000),
                   uniformRecord(1, 0x8307 + 1), uniformRecord(1, 0xFFFF)});
  EXPECT_TRUE(write({0xF4, 0x05, 20}));
  port.advanceTime(7 * 20 + 5);
  EXPECT_EQ(board.playing(), 20);
  port.advanceTime(40);
  EXPECT_FALSE(board.playing());
}

TEST_F(BoardBehaviourTest, ComparesJumpOnTheReadings) {
  // Compare register 10; if AD2 moved more than that, jump to the END at 4, else pose 0x2000.
  storeMotion(5, {uniformRecord(1, 0x9C06 + 10 + 1023), uniformRecord(1, 0x8D06 + 4),
                  uniformRecord(1, 0x2000), uniformRecord(1, 0xFFFF), uniformRecord(1, 0xFFFF)});
  board.live().analog[1] = 512 + 5;
  ASSERT_TRUE(write({0xF4, 0x05, 5}));
  port.advanceTime(200);
  EXPECT_EQ(board.live().servo[0], 0x2000);
  EXPECT_EQ(board.live().compareRegister, 10);
  board.live().analog[1] = 512 + 11;
  ASSERT_TRUE(exchange(port, {0xFE, 0x00, 0, 0x01, 0x40, 0x00}, 0).handshake);  // CH1 back
  ASSERT_TRUE(write({0xF4, 0x05, 5}));
  port.advanceTime(200);
  EXPECT_EQ(board.live().servo[0], 0x4000);  // the pose was jumped over
}

TEST_F(BoardBehaviourTest, ScenarioPlaysItsMotionsInTurnAndReportsItsNumber) {
  storeMotion(0, {uniformRecord(1, 0x1111), uniformRecord(1, 0xFFFF)});
  storeMotion(1, {uniformRecord(1, 0x2222), uniformRecord(1, 0xFFFF)});
  ASSERT_TRUE(write({0xF8, 0x01, 1, 0, 1}));
  ASSERT_TRUE(write({0xF8, 0x01, 1, 1, 0}));
  board.memory().table[81][0] = 2;
  setOptions(kOptPlayEndReport);
  ASSERT_EQ(exchange(port, {0xF4, 0x05, 0x51}, 1).bytes, Bytes{kAckByte});
  port.advanceTime(30);
  EXPECT_EQ(board.live().servo[5], 0x2222);
  port.advanceTime(40);
  EXPECT_EQ(board.live().servo[5], 0x1111);
  port.advanceTime(100);
  const auto ends = messages(port.takeUnprompted(), 0xFF, kPlayEndLength);
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0][7], 81);
}

TEST(BoardPowerOn, PlaysThePowerOnMotionWhenItsBitIsSet) {
  BoardMemory m;
  m.stored.options = kOptPowerOnPlay;
  m.startData = {0, 2};
  m.table[2][0] = 1;
  m.records[2 * kRecordsPerSlot] = uniformRecord(1, 0x2345);
  VirtualBoard board(m);
  VirtualBoardPort port(board);
  port.advanceTime(1);
  EXPECT_EQ(board.live().servo[7], 0x2345);
  port.advanceTime(100);
  EXPECT_FALSE(board.playing());

  m.stored.options = 0;  // the number alone starts nothing
  VirtualBoard quiet(m);
  VirtualBoardPort quietPort(quiet);
  quietPort.advanceTime(1);
  EXPECT_EQ(quiet.live().servo[7], kServoCentre);
}

TEST_F(BoardBehaviourTest, PauseHoldsThePlay) {
  storeMotion(2, {uniformRecord(1, 0x2000), uniformRecord(1, 0x3000), uniformRecord(1, 0xFFFF)});
  EXPECT_TRUE(write({0xF4, 0x05, 2}));
  setOptions(kOptPause);
  port.advanceTime(1000);
  EXPECT_EQ(board.playing(), 2);
  EXPECT_EQ(board.live().servo[0], 0x2000);
  setOptions(0);
  port.advanceTime(200);
  EXPECT_FALSE(board.playing());
  EXPECT_EQ(board.live().servo[0], 0x3000);
}

TEST_F(BoardBehaviourTest, StreamsFollowTheirOptionBits) {
  board.live().button = 7;
  board.live().receiver = {16, 32, 48, 64};
  board.live().battery = 128;
  board.live().analog = {256, 384, 512};
  setOptions(kOptReceiverStream);
  port.advanceTime(510);
  auto rx = messages(port.takeUnprompted(), 0xFD, kReceiverLength);
  EXPECT_GE(rx.size(), 9u);
  EXPECT_LE(rx.size(), 11u);
  EXPECT_EQ(rx[0], (Bytes{0xFD, 0x00, 0x00, 0x07, 0x10, 0x20, 0x30, 0x40, 0x00}));

  setOptions(kOptAnalogStream);  // receiver off, analog on
  port.takeUnprompted();
  port.advanceTime(200);
  const Bytes out = port.takeUnprompted();
  EXPECT_TRUE(messages(out, 0xFD, kReceiverLength).empty());
  auto ad = messages(out, 0xFE, kAnalogLength);
  ASSERT_GE(ad.size(), 3u);
  EXPECT_EQ(ad[0], (Bytes{0xFE, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x00}));

  setOptions(0);
  port.takeUnprompted();
  port.advanceTime(500);
  EXPECT_TRUE(port.takeUnprompted().empty());
}

TEST_F(BoardBehaviourTest, WobblingReadingsStayNearTheLiveValues) {
  board.setWobble(true);
  board.live().analog = {0, 512, 0x3FFF};
  board.live().receiver = {0, 64, 127, 64};
  setOptions(kOptReceiverStream | kOptAnalogStream);
  port.advanceTime(2000);
  const Bytes out = port.takeUnprompted();
  const auto ad = messages(out, 0xFE, kAnalogLength);
  const auto rx = messages(out, 0xFD, kReceiverLength);
  ASSERT_GE(ad.size(), 30u);
  ASSERT_GE(rx.size(), 30u);
  std::set<int> seen;
  for (const Bytes& m : ad) {
    for (int k = 0; k < 3; ++k) {
      EXPECT_LT(m[3 + 2 * k], 0x80);
      EXPECT_LT(m[4 + 2 * k], 0x80);
    }
    const int v0 = m[3] * 128 + m[4], v1 = m[5] * 128 + m[6], v2 = m[7] * 128 + m[8];
    EXPECT_LE(v0, 3);
    EXPECT_NEAR(v1, 512, 3);
    EXPECT_GE(v2, 0x3FFF - 3);
    seen.insert(v1);
  }
  EXPECT_GT(seen.size(), 2u);
  for (const Bytes& m : rx) {
    EXPECT_LE(m[4], 1);
    EXPECT_NEAR(m[5], 64, 1);
    EXPECT_GE(m[6], 126);
    EXPECT_LE(m[6], 127);
  }
}

TEST_F(BoardBehaviourTest, MovingReadingsSwingSlowlyAroundTheLiveValues) {
  board.setMovingReadings(true);
  setOptions(kOptReceiverStream | kOptAnalogStream);
  port.advanceTime(20000);
  const Bytes out = port.takeUnprompted();
  const auto ad = messages(out, 0xFE, kAnalogLength);
  const auto rx = messages(out, 0xFD, kReceiverLength);
  ASSERT_GE(ad.size(), 300u);
  ASSERT_GE(rx.size(), 300u);
  int low = 1 << 14, high = 0, largestStep = 0, previous = -1;
  for (const Bytes& m : ad) {
    const int v = m[3] * 128 + m[4];
    low = std::min(low, v);
    high = std::max(high, v);
    if (previous >= 0) largestStep = std::max(largestStep, std::abs(v - previous));
    previous = v;
  }
  // Around 512 by up to 150 over nine seconds: wide, and slow from one report to the next.
  EXPECT_LT(low, 512 - 100);
  EXPECT_GT(high, 512 + 100);
  EXPECT_GE(low, 512 - 150);
  EXPECT_LE(high, 512 + 150);
  EXPECT_LT(largestStep, 10);
  for (const Bytes& m : rx) {
    for (int k = 4; k < 8; ++k) EXPECT_LT(m[k], 0x80);
  }
}

TEST_F(BoardBehaviourTest, TakingTheReadingTakesWhereAMovingInputIsNow) {
  board.setMovingReadings(true);
  port.advanceTime(2000);
  const int reading = board.analogReading(0, port.now());
  ASSERT_NE(reading, 512);
  exchange(port, {0xE7, 0x00, 0x00, 0xFF, 0xFF}, 0);  // no reply comes for this one
  EXPECT_NEAR(board.live().working.analogRefs[0], reading, 5);
  ASSERT_TRUE(write({0xE0, 0x01, 0x01, 0xFF, 0x02, 0x03}));
  EXPECT_NEAR(board.live().working.receiverRefs[1], board.receiverReading(1, port.now()), 2);
  EXPECT_NE(board.live().working.receiverRefs[1], 64);
}

TEST_F(BoardBehaviourTest, TheReportPeriodIsHeldWithinItsBounds) {
  board.setReportPeriod(1);
  EXPECT_EQ(board.reportPeriod(), kFastestReportPeriod);
  board.setReportPeriod(60'000'000);
  EXPECT_EQ(board.reportPeriod(), kSlowestReportPeriod);
  board.setReportPeriod(kFastestReportPeriod);
  setOptions(kOptAnalogStream);
  port.takeUnprompted();
  port.advanceTime(1000);
  const auto ad = messages(port.takeUnprompted(), 0xFE, kAnalogLength);
  EXPECT_GE(ad.size(), 190u);
  EXPECT_LE(ad.size(), 201u);
}

TEST_F(BoardBehaviourTest, ExchangesStayCleanWhileStreaming) {
  setOptions(kOptReceiverStream | kOptAnalogStream);
  for (int i = 0; i < 50; ++i) {
    port.advanceTime(7 * (i % 9));
    Reply r = exchange(port, {0xF1, 0x00}, 3);
    ASSERT_EQ(dataOf(r, 2), (Bytes{0x01, 0x04})) << i;
  }
}

TEST_F(BoardBehaviourTest, ReportsHoldBackWhileThePcTalks) {
  storeMotion(0, {uniformRecord(1, 0x2000), uniformRecord(1, 0xFFFF)});
  setOptions(kOptReceiverStream | kOptPlayEndReport);
  ASSERT_TRUE(write({0xF4, 0x05, 0}));
  Bytes seen;
  for (int i = 0; i < 40; ++i) {  // an exchange every 10 ms for 400 ms
    port.advanceTime(10);
    Bytes u = port.takeUnprompted();
    seen.insert(seen.end(), u.begin(), u.end());
    ASSERT_EQ(dataOf(exchange(port, {0xF1, 0x00}, 3), 2).size(), 2u);
  }
  EXPECT_TRUE(seen.empty());
  EXPECT_FALSE(board.playing());  // the play ended meanwhile; its report waited
  port.advanceTime(kReportQuietTime / 1000 + 1);
  const Bytes after = port.takeUnprompted();
  ASSERT_EQ(messages(after, 0xFF, kPlayEndLength).size(), 1u);
  port.advanceTime(100);
  EXPECT_FALSE(messages(port.takeUnprompted(), 0xFD, kReceiverLength).empty());
}

TEST_F(BoardBehaviourTest, FaultNoHandshakeAnswer) {
  board.injectFault(Fault::noHandshake());
  Reply r = exchange(port, {0xF1, 0x00}, 3);
  EXPECT_FALSE(r.handshake);
  EXPECT_EQ(port.now(), 300'000);  // one receive time-out, passed without waiting
  EXPECT_TRUE(exchange(port, {0xF1, 0x00}, 3).handshake);  // only that exchange
}

TEST_F(BoardBehaviourTest, FaultShortReplyForSeveralAttempts) {
  board.injectFault(Fault::shortReply(10), 5);
  for (int i = 0; i < 5; ++i) {
    Reply r = exchange(port, {0xF5, 0x00}, 43);
    EXPECT_TRUE(r.handshake);
    EXPECT_EQ(r.bytes.size(), 10u) << i;
  }
  EXPECT_EQ(exchange(port, {0xF5, 0x00}, 43).bytes.size(), 43u);
}

TEST_F(BoardBehaviourTest, FaultWrongChecksumGarbageAndDelay) {
  board.injectFault(Fault::wrongChecksum());
  Reply bad = exchange(port, {0xF1, 0x00}, 3);
  ASSERT_EQ(bad.bytes.size(), 3u);
  EXPECT_TRUE(dataOf(bad, 2).empty());
  board.injectFault(Fault::wrongChecksum());
  EXPECT_EQ(exchange(port, {0xF2, 0x01, 0, 0}, 1).bytes, Bytes{0xF9});

  board.injectFault(Fault::garbage({0x80, 0x81}));
  EXPECT_EQ(exchange(port, {0xF1, 0x00}, 3).bytes, (Bytes{0x80, 0x81}));

  board.injectFault(Fault::delayed(250'000));
  const Micros before = port.now();
  EXPECT_EQ(dataOf(exchange(port, {0xF1, 0x00}, 3), 2).size(), 2u);
  EXPECT_GE(port.now() - before, 250'000);
  // Longer than the read waits: the late reply is purged by the next attempt.
  board.injectFault(Fault::delayed(400'000));
  EXPECT_TRUE(exchange(port, {0xF1, 0x00}, 3).bytes.empty());
  port.advanceTime(200);
  EXPECT_EQ(dataOf(exchange(port, {0xF1, 0x00}, 3), 2).size(), 2u);
}

TEST_F(BoardBehaviourTest, FaultSplitSendsTheReplyInTwoPieces) {
  // The rest within the read's time-out: one read still gets the whole reply, later.
  board.injectFault(Fault::split(1, 200'000));
  const Micros before = port.now();
  EXPECT_EQ(dataOf(exchange(port, {0xF1, 0x00}, 3), 2).size(), 2u);
  EXPECT_GE(port.now() - before, 200'000);
  // The rest after the time-out: the read ends with the first piece only.
  board.injectFault(Fault::split(2, 400'000));
  EXPECT_EQ(exchange(port, {0xF1, 0x00}, 3).bytes.size(), 2u);
  port.advanceTime(200);
  EXPECT_EQ(dataOf(exchange(port, {0xF1, 0x00}, 3), 2).size(), 2u);
}

TEST_F(BoardBehaviourTest, FaultHangUpClosesThePort) {
  board.injectFault(Fault::hangUp());
  EXPECT_FALSE(exchange(port, {0xF1, 0x00}, 3).handshake);
  EXPECT_TRUE(board.hungUp());
  EXPECT_FALSE(port.IsOpen());
  std::uint8_t b;
  EXPECT_EQ(port.Read(&b, 1), 0u);
}

TEST_F(BoardBehaviourTest, FaultCorruptStoreSpoilsTheNextStoredRecordOrStepOnly) {
  board.injectFault(Fault::corruptStore());
  // Armed by an exchange that stores nothing, which itself goes well.
  EXPECT_EQ(dataOf(exchange(port, {0xF1, 0x00}, 3), 2).size(), 2u);
  EXPECT_TRUE(board.corruptionArmed());
  Bytes write{0xFD, 0x03, 2, 1};
  const Record sent = uniformRecord(100, 0x4000);
  write.insert(write.end(), sent.begin(), sent.end());
  EXPECT_TRUE(acked(exchange(port, write, 1)));  // acknowledged all the same
  Record spoiled = sent;
  spoiled[48] ^= 0x01;
  EXPECT_EQ(board.memory().records[2 * kRecordsPerSlot + 1], spoiled);
  EXPECT_FALSE(board.corruptionArmed());
  EXPECT_TRUE(acked(exchange(port, write, 1)));  // the next store is kept as sent
  EXPECT_EQ(board.memory().records[2 * kRecordsPerSlot + 1], sent);

  // A live pose is no stored record: the corruption waits for the step.
  board.injectFault(Fault::corruptStore(3));
  Bytes live{0xFD, 0x01, 0, 0};
  live.insert(live.end(), sent.begin(), sent.end());
  EXPECT_TRUE(acked(exchange(port, live, 1)));
  EXPECT_EQ(board.live().pose, sent);
  EXPECT_TRUE(acked(exchange(port, {0xF8, 0x01, 1, 4, 7}, 1)));
  EXPECT_EQ(board.memory().scenarios[1][4], 6);
}

TEST_F(BoardBehaviourTest, FaultsParseFromText) {
  EXPECT_EQ(parseFault("corrupt")->kind, Fault::Kind::kCorruptStore);
  EXPECT_EQ(parseFault("corrupt")->count, 48u);
  EXPECT_EQ(parseFault("corrupt:1")->count, 1u);
  EXPECT_FALSE(parseFault("corrupt:49"));
  EXPECT_EQ(parseFault("short:10")->count, 10u);
  EXPECT_EQ(parseFault("delay:5")->delay, 5000);
  EXPECT_EQ(parseFault("garbage:0aFF")->bytes, (Bytes{0x0A, 0xFF}));
  EXPECT_EQ(parseFault("hangup")->kind, Fault::Kind::kHangUp);
  EXPECT_EQ(parseFault("split:3:250")->count, 3u);
  EXPECT_EQ(parseFault("split:3:250")->delay, 250'000);
  EXPECT_FALSE(parseFault("split:3"));
  EXPECT_FALSE(parseFault("split:3:x"));
  EXPECT_FALSE(parseFault("short"));
  EXPECT_FALSE(parseFault("short:x"));
  EXPECT_FALSE(parseFault("short:99999999999999999999"));  // too large to hold, not the largest
  EXPECT_FALSE(parseFault("delay:99999999999999999999"));
  EXPECT_FALSE(parseFault("garbage:0"));
  EXPECT_FALSE(parseFault("noanswer:1"));
  EXPECT_FALSE(parseFault("explode"));
}

TEST_F(BoardBehaviourTest, PacingTakesTheWireTimeBothWays) {
  board.setPacing(true);
  const Micros start = port.now();
  Reply r = exchange(port, {0xFC, 0x02, 0, 0}, 50);  // 5-byte request, 50-byte reply
  ASSERT_EQ(dataOf(r, 49).size(), 49u);
  // handshake there and back, 5 bytes in, 50 bytes out
  EXPECT_EQ(port.now() - start, (2 + 5 + 50) * kByteTime);
  // A request is not taken before its last byte would have arrived.
  const Bytes req = withChecksum({0xF1, 0x00});
  const Micros t0 = port.now();
  port.Write(req.data(), req.size());
  port.advanceTime(0);
  EXPECT_EQ(port.InQueueCount(), 0u);
  std::uint8_t buf[3];
  EXPECT_EQ(port.Read(buf, 3), 3u);
  EXPECT_EQ(port.now() - t0, 6 * kByteTime);
}

TEST_F(BoardBehaviourTest, WholeRunsLeaveTogetherAndNeverEarly) {
  VirtualBoard b;
  b.setPacing(true);
  b.setWholeRuns(true);
  const std::uint8_t hs = kHandshakeByte;
  b.receive(&hs, 1, 0);
  EXPECT_EQ(b.nextWake(0), kByteTime);
  b.advance(kByteTime);
  EXPECT_TRUE(b.takeOutput(kByteTime).empty());
  EXPECT_EQ(b.nextWake(kByteTime), 2 * kByteTime);
  EXPECT_EQ(b.takeOutput(2 * kByteTime), Bytes{kHandshakeAnswer});

  // A request wakes the board once, when its last byte is in; the reply leaves whole, when its
  // last byte would have reached the PC.
  const Micros t = 10 * kByteTime;
  const Bytes request = withChecksum({0xFC, 0x02, 0, 0});
  b.receive(request.data(), request.size(), t);
  const Micros in = t + 5 * kByteTime;
  EXPECT_EQ(b.nextWake(t), in);
  b.advance(in);
  const Micros out = in + 50 * kByteTime;
  EXPECT_TRUE(b.takeOutput(in + kByteTime).empty());
  EXPECT_TRUE(b.takeOutput(out - 1).empty());
  EXPECT_EQ(b.nextWake(in + kByteTime), out);
  EXPECT_EQ(b.takeOutput(out).size(), 50u);
}

TEST_F(BoardBehaviourTest, PacedReportsGiveWayToTheHandshakeButFinishOnceStarted) {
  board.setPacing(true);
  board.live().battery = 0x7F;
  setOptions(kOptAnalogStream | kOptReceiverStream);
  port.advanceTime(50);  // both reports are due now: 19 bytes queued, about 1.65 ms of wire
  port.advanceTime(0);
  // The handshake arrives while the first report is crossing: it finishes, the second is dropped.
  const std::uint8_t hs = kHandshakeByte;
  port.Write(&hs, 1);
  port.advanceTime(5);
  const Bytes out = port.takeUnprompted();
  // The whole receiver report, then the handshake answer; the analog report never went out.
  ASSERT_EQ(out.size(), kReceiverLength + 1);
  EXPECT_EQ(out[0], kReceiverLead);
  EXPECT_EQ(out.back(), kHandshakeAnswer);
}

TEST_F(BoardBehaviourTest, StateFileRoundTripAndDamage) {
  const std::string dir = ::testing::TempDir() + "/board_state_" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/state.bin";
  Result<BoardMemory> fresh = loadMemory(path);  // missing: a new board
  ASSERT_TRUE(fresh.ok());
  EXPECT_EQ(fresh.value(), BoardMemory{});

  BoardMemory m;
  m.table[7][0] = 5;
  m.records[2399][48] = 0xAB;
  m.scenarios[4][199] = 79;
  m.stored.options = 0x4201;
  m.stored.trims[23] = 16700;
  m.channelNames[3][0] = 'X';
  m.qvsParams[5][16] = 3;
  m.alarm = {9, 1, 0x87};
  m.stored.mixing[2][23] = 0xC5;
  ASSERT_TRUE(saveMemory(m, path).ok());
  Result<BoardMemory> back = loadMemory(path);
  ASSERT_TRUE(back.ok()) << back.message();
  EXPECT_EQ(back.value(), m);

  std::string bytes = serializeMemory(m);
  bytes[100] = static_cast<char>(bytes[100] ^ 1);
  EXPECT_FALSE(deserializeMemory(bytes).ok());
  EXPECT_FALSE(deserializeMemory(bytes.substr(0, bytes.size() - 1)).ok());
  EXPECT_FALSE(deserializeMemory("hello").ok());
  { std::ofstream(path, std::ios::binary) << "PVRJBRD1 cut short"; }
  Result<BoardMemory> damaged = loadMemory(path);
  EXPECT_FALSE(damaged.ok());
  EXPECT_NE(damaged.message().find(path), std::string::npos);
  std::filesystem::remove_all(dir);
}

TEST_F(BoardBehaviourTest, StoredWritesMarkTheMemoryChangedWorkingWritesDoNot) {
  ASSERT_TRUE(write({0xF2, 0x01, 0x00, 0x00}));
  ASSERT_TRUE(write({0xE6, 0x01, 0, 1, 0, 2, 0, 3}));
  EXPECT_FALSE(board.memoryChanged());
  ASSERT_TRUE(write({0xF8, 0x01, 0, 0, 3}));
  EXPECT_TRUE(board.memoryChanged());
}

}  // namespace
}  // namespace pvrj::board::test
