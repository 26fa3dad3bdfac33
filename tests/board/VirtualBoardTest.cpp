// The virtual board's answers to every command family, over the in-process port.
#include <gtest/gtest.h>

#include <set>

#include "board/VirtualBoardPort.h"
#include "tests/board/BoardTestUtil.h"

namespace pvrj::board::test {
namespace {

class VirtualBoardTest : public ::testing::Test {
 protected:
  VirtualBoardPort port;
  VirtualBoard& board = port.board();

  Bytes read(const Bytes& packet, std::size_t dataLength) {
    return dataOf(exchange(port, packet, dataLength + 1), dataLength);
  }
  bool write(const Bytes& packet) { return acked(exchange(port, packet, 1)); }
  void writeNoReply(const Bytes& packet) {
    Reply r = exchange(port, packet, 0);
    ASSERT_TRUE(r.handshake);
  }
  static Bytes block(std::uint16_t first, int step) {
    Bytes b;
    for (int ch = 0; ch < kChannelCount; ++ch) {
      const auto v = static_cast<std::uint16_t>(first + ch * step);
      b.push_back(static_cast<std::uint8_t>(v >> 8));
      b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }
    return b;
  }
  static Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
};

TEST_F(VirtualBoardTest, CommandTableHasThe38CodesWithTheirLengths) {
  int count = 0;
  for (int code = 0; code < 256; ++code) {
    if (commandInfo(static_cast<std::uint8_t>(code))) ++count;
  }
  EXPECT_EQ(count, 38);
  EXPECT_EQ(commandInfo(0xFD)->packetLength, 54u);  // the longest request
  EXPECT_EQ(commandInfo(0xFF)->dataLength, 64u);    // the longest reply
  EXPECT_EQ(commandInfo(0xF5)->dataLength, 42u);
  EXPECT_FALSE(commandInfo(0xD4));
  EXPECT_FALSE(commandInfo(0x0D));
}

TEST_F(VirtualBoardTest, EveryCommandAnswersWithItsReplyLength) {
  const CommandInfo* all = allCommands();
  for (std::size_t i = 0; i < kCommandCount; ++i) {
    const CommandInfo& c = all[i];
    if (c.code == kReadQvsParams || c.code == kWriteQvsParams) continue;  // servo-bus mode only
    Bytes packet(c.packetLength - 1, 0);
    packet[0] = c.code;
    if (c.reply == ReplyKind::kAck && packet.size() > 1) packet[1] = 0x01;
    if (c.code == kPlay) packet[1] = 0x05;
    const std::size_t expected =
        c.reply == ReplyKind::kData ? c.dataLength + 1 : (c.reply == ReplyKind::kAck ? 1 : 0);
    const std::uint64_t before = board.requestCount();
    Reply r = exchange(port, packet, expected + 1);  // ask for one more: nothing else may come
    EXPECT_EQ(board.requestCount(), before + 1) << std::hex << int(c.code);
    ASSERT_EQ(r.bytes.size(), expected) << std::hex << int(c.code);
    if (c.reply == ReplyKind::kAck) {
      EXPECT_EQ(r.bytes[0], kAckByte) << std::hex << int(c.code);
    } else if (c.reply == ReplyKind::kData) {
      EXPECT_EQ(dataOf(r, c.dataLength).size(), c.dataLength) << std::hex << int(c.code);
    }
  }
}

TEST_F(VirtualBoardTest, SleepFreesTheServosAndWakingDrivesThemBack) {
  Bytes pose = cat({0x01}, block(0x3000, 0));
  ASSERT_TRUE(write(cat({0xFD, 0x01, 0, 0}, pose)));
  // What putting the board to sleep does: free pose, sleep bit, the pose written back.
  ASSERT_TRUE(write(cat({0xFD, 0x01, 0, 0}, cat({0x01}, block(0x8002, 0)))));
  ASSERT_TRUE(write({0xF2, 0x01, 0x00, 0x01}));
  ASSERT_TRUE(write(cat({0xFD, 0x01, 0, 0}, pose)));
  EXPECT_EQ(read({0xFC, 0x00, 0, 0}, 49), pose);
  port.advanceTime(1000);
  Bytes limp = read({0xF0}, 48);
  EXPECT_NE(limp, block(0x3000, 0));  // asleep, the servos are limp and have moved
  ASSERT_TRUE(write({0xF2, 0x01, 0x00, 0x00}));
  EXPECT_EQ(read({0xF0}, 48), block(0x3000, 0));
}

TEST_F(VirtualBoardTest, PortTimeOutsPassWithoutWaitingAndCallTheHook) {
  int hooks = 0;
  port.SetWaitHook([&] { ++hooks; });
  port.SetTimeOutReceive(500);
  std::uint8_t b;
  const Micros start = port.now();
  EXPECT_EQ(port.Read(&b, 1), 0u);  // the board has nothing to say
  EXPECT_EQ(port.now() - start, 500'000);
  EXPECT_GE(hooks, 1);
  EXPECT_EQ(port.InQueueCount(), 0u);
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  const std::uint8_t hs = kHandshakeByte;
  port.Write(&hs, 1);
  EXPECT_EQ(port.Read(&b, 1), 0u);
  EXPECT_EQ(port.now() - start, 500'000);  // a closed port returns at once
  EXPECT_EQ(board.handshakeCount(), 0u);
  port.Open();
  port.Write(&hs, 1);
  EXPECT_EQ(port.InQueueCount(), 1u);
  port.PurgeReceive();
  EXPECT_EQ(port.InQueueCount(), 0u);
}

TEST_F(VirtualBoardTest, HandshakeIsAnsweredWithOneByteEachTime) {
  const std::uint8_t hs = kHandshakeByte;
  for (int i = 0; i < 3; ++i) {
    port.Write(&hs, 1);
    std::uint8_t buf[4];
    EXPECT_EQ(port.Read(buf, 4), 1u);  // exactly one byte, the rest of the read times out
  }
  EXPECT_EQ(board.handshakeCount(), 3u);
}

TEST_F(VirtualBoardTest, OptionsReadAndWorkingVersusStoredCopy) {
  EXPECT_EQ(read({0xF1, 0x00}, 2), (Bytes{0x00, 0x00}));
  ASSERT_TRUE(write({0xF2, 0x01, 0x02, 0x01}));
  // The working word 0x0201 comes back as 02 01 and its checksum 03.
  Reply r = exchange(port, {0xF1, 0x00}, 3);
  EXPECT_EQ(r.bytes, (Bytes{0x02, 0x01, 0x03}));
  EXPECT_EQ(read({0xF1, 0x02}, 2), (Bytes{0x00, 0x00}));  // stored copy untouched
  ASSERT_TRUE(write({0xF2, 0x03, 0x20, 0x08}));
  EXPECT_EQ(read({0xF1, 0x02}, 2), (Bytes{0x20, 0x08}));
  EXPECT_TRUE(board.memoryChanged());
}

TEST_F(VirtualBoardTest, AlarmWriteIsAcknowledgedAndReadBack) {
  Reply r = exchange(port, {0xEC, 0x01, 0x0A, 0x01, 0x87}, 1);
  ASSERT_TRUE(r.handshake);
  EXPECT_EQ(r.bytes, Bytes{0x06});
  EXPECT_EQ(read({0xEB}, 3), (Bytes{0x0A, 0x01, 0x87}));
}

TEST_F(VirtualBoardTest, TableEntriesStartBlankAndTakeWrites) {
  const Bytes blank = read({0xF5, 0x00}, 42);
  ASSERT_EQ(blank.size(), 42u);
  for (int i = 0; i < 42; ++i) EXPECT_EQ(blank[i], (i >= 4 && i <= 9) ? 0xFF : 0x00) << i;
  Bytes entry(42, 0);
  entry[0] = 3;
  entry[8] = 0x01;
  entry[9] = 0xF4;
  entry[10] = 'W';
  ASSERT_TRUE(write(cat({0xF6, 0x01, 84}, entry)));
  EXPECT_EQ(read({0xF5, 84}, 42), entry);
  EXPECT_EQ(read({0xF5, 83}, 42), blank);
  // Number 85 does not exist: a refused write gets no acknowledge, a refused read fails its check.
  Reply w = exchange(port, cat({0xF6, 0x01, 85}, entry), 1);
  EXPECT_EQ(w.bytes, Bytes{kNakByte});
  Reply rd = exchange(port, {0xF5, 85}, 43);
  EXPECT_EQ(rd.bytes.size(), 43u);
  EXPECT_TRUE(dataOf(rd, 42).empty());
}

TEST_F(VirtualBoardTest, LongMotionRunsOnIntoTheFollowingSlots) {
  Bytes rec = cat({0x64}, block(0x1000, 1));
  // Record 31 of slot 2 lives where record 1 of slot 3 does.
  ASSERT_TRUE(write(cat({0xFD, 0x03, 2, 31}, rec)));
  EXPECT_EQ(read({0xFC, 0x02, 3, 1}, 49), rec);
  EXPECT_EQ(board.memory().records[3 * 30 + 1][0], 0x64);
  // Record 255 of slot 79 is past the end of the memory.
  EXPECT_EQ(exchange(port, cat({0xFD, 0x03, 79, 255}, rec), 1).bytes, Bytes{kNakByte});
  EXPECT_EQ(exchange(port, cat({0xFD, 0x03, 80, 0}, rec), 1).bytes, Bytes{kNakByte});
  ASSERT_TRUE(write(cat({0xFD, 0x03, 79, 29}, rec)));  // the very last record
  EXPECT_EQ(board.memory().records.back(), *reinterpret_cast<const Record*>(rec.data()));
}

TEST_F(VirtualBoardTest, WorkingPoseIsRecordZeroOfTheWorkingCopy) {
  Bytes pose = cat({0x01}, block(0x3000, 16));
  ASSERT_TRUE(write(cat({0xFD, 0x01, 0, 0}, pose)));
  EXPECT_EQ(read({0xFC, 0x00, 0, 0}, 49), pose);
  // The servos moved there, and the stored slot 0 is untouched.
  EXPECT_EQ(read({0xF0}, 48), block(0x3000, 16));
  EXPECT_EQ(read({0xFC, 0x02, 0, 0}, 49), Bytes(49, 0));
}

TEST_F(VirtualBoardTest, SetServoMovesOneChannelAndFreeServosDrift) {
  writeNoReply({0xFE, 0x00, 5, 0x01, 0x45, 0x00});
  Bytes pos = read({0xF0}, 48);
  EXPECT_EQ(pos[10], 0x45);
  EXPECT_EQ(pos[11], 0x00);
  writeNoReply({0xFE, 0x00, 5, 0x01, 0x80, 0x02});  // free
  std::set<int> seen;
  for (int i = 0; i < 10; ++i) {
    port.advanceTime(200);
    Bytes p = read({0xF0}, 48);
    seen.insert(p[10] << 8 | p[11]);
    const int v = p[10] << 8 | p[11];
    EXPECT_GE(v, 0x4000 - 4000);
    EXPECT_LE(v, 0x4000 + 4000);
    EXPECT_EQ(p[0] << 8 | p[1], 0x4000);  // a held servo stays
  }
  EXPECT_GT(seen.size(), 3u);
}

TEST_F(VirtualBoardTest, ChannelNamesHomeAndTrims) {
  Bytes name(32, 0);
  name[0] = 'A';
  name[1] = 'R';
  ASSERT_TRUE(write(cat({0xD1, 0x01, 23}, name)));
  EXPECT_EQ(read({0xD0, 23}, 32), name);
  EXPECT_EQ(read({0xD0, 0}, 32), Bytes(32, 0));
  EXPECT_TRUE(dataOf(exchange(port, {0xD0, 24}, 33), 32).empty());

  EXPECT_EQ(read({0xD2}, 48), block(0x4000, 0));
  ASSERT_TRUE(write(cat({0xD3, 0x01}, block(0x2000, 2))));
  EXPECT_EQ(read({0xD2}, 48), block(0x2000, 2));

  ASSERT_TRUE(write(cat({0xFA, 0x01}, block(16100, 1))));
  EXPECT_EQ(read({0xF9, 0x00}, 48), block(16100, 1));
  EXPECT_EQ(read({0xF9, 0x02}, 48), block(0x4000, 0));
  writeNoReply({0xFB, 0x00, 0, 0x3F, 0x00});
  EXPECT_EQ(board.live().working.trims[0], 0x3F00);
  EXPECT_EQ(board.memory().stored.trims[0], 0x4000);
}

TEST_F(VirtualBoardTest, AnalogReceiverSensorAndMixingBlocks) {
  board.live().analog[1] = 700;
  ASSERT_TRUE(write({0xE6, 0x03, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00}));
  EXPECT_EQ(read({0xE5, 0x02}, 6), (Bytes{1, 0, 2, 0, 3, 0}));
  EXPECT_EQ(read({0xE5, 0x00}, 6), (Bytes{2, 0, 2, 0, 2, 0}));  // working copy: 512 each
  writeNoReply({0xE7, 0x00, 1, 0xFF, 0xFF});                    // AUTO: take the reading
  EXPECT_EQ(read({0xE5, 0x00}, 6), (Bytes{2, 0, 0x02, 0xBC, 2, 0}));

  board.live().receiver = {10, 20, 30, 40};
  ASSERT_TRUE(write({0xE0, 0x01, 64, 64, 0xFF, 64}));
  EXPECT_EQ(read({0xDF, 0x00}, 4), (Bytes{64, 64, 30, 64}));
  EXPECT_EQ(read({0xDF, 0x02}, 4), (Bytes{64, 64, 64, 64}));

  Bytes sensor(18);
  for (int i = 0; i < 18; ++i) sensor[i] = static_cast<std::uint8_t>(i * 3);
  ASSERT_TRUE(write(cat({0xE2, 0x01}, sensor)));
  EXPECT_EQ(read({0xE1, 0x00}, 18), sensor);
  EXPECT_EQ(read({0xE1, 0x02}, 18), Bytes(18, 0));

  Bytes mix(24, 0);
  mix[3] = 0xC5;
  ASSERT_TRUE(write(cat({0xE4, 0x03, 2}, mix)));
  EXPECT_EQ(read({0xE3, 0x02, 2}, 24), mix);
  EXPECT_EQ(read({0xE3, 0x02, 1}, 24), Bytes(24, 0));
  EXPECT_EQ(exchange(port, cat({0xE4, 0x03, 3}, mix), 1).bytes, Bytes{kNakByte});
}

TEST_F(VirtualBoardTest, StartDataCounterAndInfo) {
  ASSERT_TRUE(write({0xEF, 0x01, 4, 81}));
  EXPECT_EQ(read({0xEE}, 2), (Bytes{4, 81}));
  board.live().button = 0x1234;
  EXPECT_EQ(read({0xED}, 7), (Bytes{0, 0x12, 0x34, 0, 0, 0, 0}));
  Bytes info = read({0xFF}, 64);
  ASSERT_EQ(info.size(), 64u);
  EXPECT_EQ(std::string(info.begin(), info.begin() + 16), "Pivora J virtual");
}

TEST_F(VirtualBoardTest, ScenarioStepsHold200Steps) {
  ASSERT_TRUE(write({0xF8, 0x01, 4, 199, 12}));
  EXPECT_EQ(read({0xF7, 4, 199}, 1), Bytes{12});
  EXPECT_EQ(read({0xF7, 4, 0}, 1), Bytes{0});
  EXPECT_EQ(exchange(port, {0xF8, 0x01, 4, 200, 12}, 1).bytes, Bytes{kNakByte});
  EXPECT_EQ(exchange(port, {0xF8, 0x01, 5, 0, 12}, 1).bytes, Bytes{kNakByte});
  EXPECT_TRUE(dataOf(exchange(port, {0xF7, 0, 200}, 2), 1).empty());
}

TEST_F(VirtualBoardTest, ServoBusAnswersOnlyInServoBusModeAndOnItsChannels) {
  ASSERT_TRUE(write({0xDD, 0x01, 0x01, 0x00, 0x00}));  // channel 1 on the bus
  EXPECT_EQ(read({0xDC}, 3), (Bytes{1, 0, 0}));
  EXPECT_TRUE(exchange(port, {0xDA, 0}, 18).bytes.empty());  // normal mode: no servo answers
  ASSERT_TRUE(write({0xF2, 0x03, 0x40, 0x00}));
  EXPECT_EQ(read({0xF1, 0x00}, 2), (Bytes{0x00, 0x00}));  // mode changes at power-on only
  board.powerCycle();
  EXPECT_EQ(read({0xF1, 0x00}, 2), (Bytes{0x40, 0x00}));
  Bytes params = read({0xDA, 0}, 17);
  ASSERT_EQ(params.size(), 17u);
  EXPECT_EQ(params[12], 100);
  params[3] = 9;
  ASSERT_TRUE(write(cat({0xDB, 0}, params)));
  EXPECT_EQ(read({0xDA, 0}, 17), params);
  EXPECT_TRUE(exchange(port, {0xDA, 1}, 18).bytes.empty());  // channel 2 is not on the bus
}

TEST_F(VirtualBoardTest, BadChecksumGetsNoReplyAndTheNextRequestWorks) {
  const std::uint8_t hs = kHandshakeByte;
  port.Write(&hs, 1);
  std::uint8_t b;
  ASSERT_EQ(port.Read(&b, 1), 1u);
  const Bytes bad{0xF1, 0x00, 0xF2};
  port.Write(bad.data(), bad.size());
  std::uint8_t buf[3];
  EXPECT_EQ(port.Read(buf, 3), 0u);
  EXPECT_EQ(board.badChecksumCount(), 1u);
  EXPECT_EQ(read({0xF1, 0x00}, 2).size(), 2u);
}

TEST_F(VirtualBoardTest, HalfARequestIsDroppedAfterAQuietSpell) {
  const Bytes part{0xF6, 0x01, 0x00};
  port.Write(part.data(), part.size());
  port.advanceTime(150);
  EXPECT_EQ(read({0xF1, 0x00}, 2).size(), 2u);
}

TEST_F(VirtualBoardTest, PowerCycleRestoresWorkingCopiesFromStored) {
  ASSERT_TRUE(write({0xF2, 0x03, 0x02, 0x05}));  // stored: play-end report, receiver stream, sleep
  ASSERT_TRUE(write(cat({0xFA, 0x01}, block(16200, 0))));
  board.powerCycle();
  EXPECT_EQ(read({0xF1, 0x00}, 2), (Bytes{0x02, 0x00}));  // transient bits start clear
  EXPECT_EQ(read({0xF9, 0x00}, 48), block(0x4000, 0));
}

}  // namespace
}  // namespace pvrj::board::test
