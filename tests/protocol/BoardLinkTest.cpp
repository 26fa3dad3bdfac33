// Framing, the exchange's attempts against a scripted port, and the byte layout of every command.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "protocol/BoardLink.h"
#include "protocol/BoardMessages.h"
#include "tests/protocol/ScriptedPort.h"
#include "tests/support/FakeUserInterface.h"

namespace pvrj {
namespace {

using test::FakeUserInterface;
using test::ScriptedPort;
using test::withChecksum;

TEST(Checksum, AppendsLowByteOfSum) {
  Bytes p{0xF4, 0x05, 0x51};
  BoardLink::AppendChecksum(p);
  EXPECT_EQ(p, (Bytes{0xF4, 0x05, 0x51, 0x4A}));

  Bytes wraps{0x80, 0x7F, 0x01};  // sums to exactly 0x100
  BoardLink::AppendChecksum(wraps);
  EXPECT_EQ(wraps.back(), 0x00);

  Bytes empty;
  BoardLink::AppendChecksum(empty);
  EXPECT_TRUE(empty.empty());
}

TEST(Checksum, VerifyJudgesAndLeavesTheRightByte) {
  Bytes ack{0x06};
  EXPECT_FALSE(BoardLink::VerifyChecksum(ack));
  EXPECT_EQ(ack, Bytes{0x06});

  Bytes good{0x02, 0x01, 0x03};
  EXPECT_TRUE(BoardLink::VerifyChecksum(good));
  EXPECT_EQ(good, (Bytes{0x02, 0x01, 0x03}));

  Bytes bad{0x02, 0x01, 0x04};
  EXPECT_FALSE(BoardLink::VerifyChecksum(bad));
  EXPECT_EQ(bad, (Bytes{0x02, 0x01, 0x03}));  // ends with the computed checksum again

  Bytes none;
  EXPECT_FALSE(BoardLink::VerifyChecksum(none));
}

struct LinkFixture : ::testing::Test {
  ScriptedPort port;
  FakeUserInterface ui;
  BoardLink link{port, ui};
};

using RequestBytes = LinkFixture;

TEST_F(RequestBytes, StopPlayAndTableRead) {
  port.responder = [](const Bytes&) { return Bytes{0x06}; };
  EXPECT_TRUE(link.CmdStop());
  EXPECT_TRUE(link.CmdPlay(81));
  ASSERT_EQ(port.requests.size(), 2u);
  EXPECT_EQ(port.requests[0], (Bytes{0xF3, 0x01, 0xFF, 0xFF, 0xFF, 0xF1}));
  EXPECT_EQ(port.requests[1], (Bytes{0xF4, 0x05, 0x51, 0x4A}));

  Bytes entry(42, 0);
  entry[0] = 3;
  port.responder = [&](const Bytes&) { return withChecksum(entry); };
  port.readSizes.clear();
  Bytes reply;
  EXPECT_TRUE(link.CmdReadTableEntry(0, reply));
  EXPECT_EQ(port.requests.back(), (Bytes{0xF5, 0x00, 0xF5}));
  EXPECT_EQ(port.readSizes, (std::vector<std::size_t>{1, 43}));
  EXPECT_EQ(reply, withChecksum(entry));  // handed back with its checksum last
}

TEST_F(RequestBytes, AlarmWriteOfThreshold391) {
  port.responder = [](const Bytes&) { return Bytes{0x06}; };
  EXPECT_TRUE(link.CmdWriteAlarm(10, 391));
  EXPECT_EQ(port.log,
            (std::vector<std::string>{"purgeR", "hs", "read 1", "purgeR", "req", "read 1"}));
  EXPECT_EQ(port.requests[0], (Bytes{0xEC, 0x01, 0x0A, 0x01, 0x87, 0x7F}));
}

TEST_F(RequestBytes, OptionsReadAndWordDecode) {
  port.responder = [](const Bytes&) { return Bytes{0x02, 0x01, 0x03}; };
  std::uint16_t word = 0;
  EXPECT_TRUE(link.CmdReadOptions(WorkingCopy, word));
  EXPECT_EQ(word, 0x0201);
  EXPECT_EQ(port.requests[0], (Bytes{0xF1, 0x00, 0xF1}));
  EXPECT_TRUE(link.CmdReadOptions(StoredCopy, word));
  EXPECT_EQ(port.requests[1], (Bytes{0xF1, 0x02, 0xF3}));
}

TEST_F(RequestBytes, NumbersGoOutAsTheirLowByte) {
  port.responder = [](const Bytes&) { return Bytes{0x06}; };
  EXPECT_TRUE(link.CmdPlay(256 + 4));
  EXPECT_EQ(port.requests[0][2], 4);
}

using ExchangeFaults = LinkFixture;

TEST_F(ExchangeFaults, NoHandshakeAnswerNeverSendsTheRequest) {
  port.answerHandshake = false;
  Bytes p{0xF1, 0x00, 0xF1};
  Bytes reply{0x55};
  link.Exchange(p, 3, reply);
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(p, (Bytes{0xF1, 0x00, 0xF1}));
  EXPECT_EQ(port.handshakes, 1);  // no further attempt after a failed handshake
  EXPECT_TRUE(port.requests.empty());
}

TEST_F(ExchangeFaults, ShortReplyMakesEveryAttemptWithItsOwnHandshake) {
  port.responder = [](const Bytes&) { return Bytes(10, 0x11); };
  Bytes p{0xF5, 0x00, 0xF5};
  Bytes reply;
  link.Exchange(p, 43, reply);
  EXPECT_EQ(port.handshakes, 5);
  EXPECT_EQ(port.requests.size(), 5u);
  for (const Bytes& r : port.requests) EXPECT_EQ(r, (Bytes{0xF5, 0x00, 0xF5}));
  EXPECT_TRUE(p.empty());
  EXPECT_TRUE(reply.empty());
}

TEST_F(ExchangeFaults, ShortReplyThenGoodOneSucceedsOnTheSecondAttempt) {
  int calls = 0;
  port.responder = [&](const Bytes&) {
    return ++calls == 1 ? Bytes{0x02} : Bytes{0x02, 0x01, 0x03};
  };
  std::uint16_t word = 0;
  EXPECT_TRUE(link.CmdReadOptions(WorkingCopy, word));
  EXPECT_EQ(word, 0x0201);
  EXPECT_EQ(port.handshakes, 2);
}

TEST_F(ExchangeFaults, WrongChecksumFailsWithoutAnotherAttempt) {
  port.responder = [](const Bytes&) { return Bytes{0x02, 0x01, 0x04}; };
  Bytes reply;
  EXPECT_FALSE(link.CmdReadOptions(WorkingCopy, reply));
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(port.handshakes, 1);
}

TEST_F(ExchangeFaults, RetryCountZeroOrOneMakesOneAttempt) {
  port.responder = [](const Bytes&) { return Bytes{}; };
  for (int count : {0, 1, -3}) {
    port.handshakes = 0;
    link.RetryCount = count;
    EXPECT_FALSE(link.CmdStop());
    EXPECT_EQ(port.handshakes, 1) << "RetryCount " << count;
  }
}

TEST_F(ExchangeFaults, WrongAcknowledgeByteFails) {
  port.responder = [](const Bytes&) { return Bytes{0x15}; };
  EXPECT_FALSE(link.CmdStop());
  EXPECT_EQ(port.handshakes, 1);  // a whole reply came: no further attempt
}

TEST_F(ExchangeFaults, LateBytesOfAnEarlierAnswerAreDiscarded) {
  // The board answers twice: the surplus must not become the next command's reply.
  port.responder = [](const Bytes&) { return Bytes{0x06, 0x06, 0x06}; };
  EXPECT_TRUE(link.CmdStop());
  port.responder = [](const Bytes&) { return Bytes{0x02, 0x01, 0x03}; };
  std::uint16_t word = 0;
  EXPECT_TRUE(link.CmdReadOptions(WorkingCopy, word));
  EXPECT_EQ(word, 0x0201);
}

TEST_F(ExchangeFaults, ClosedPortFailsAtTheHandshake) {
  port.open = false;
  EXPECT_FALSE(link.CmdStop());
  EXPECT_TRUE(port.requests.empty());
  EXPECT_FALSE(ui.busy);
}

TEST_F(ExchangeFaults, NoReplyCommandsStillHandshake) {
  link.CmdSetServo(2, 0x4000);
  ASSERT_EQ(port.requests.size(), 1u);
  EXPECT_EQ(port.requests[0], (Bytes{0xFE, 0x00, 0x02, 0x01, 0x40, 0x00, 0x41}));
  EXPECT_EQ(port.readSizes, std::vector<std::size_t>{1});  // the handshake answer only

  port.answerHandshake = false;
  link.CmdSetTrim(0, 100);
  link.CmdSetAnalogRef(1, 0xFFFF);
  EXPECT_EQ(port.requests.size(), 1u);  // not sent without a handshake answer
}

// One row per command: the call, its code, packet length and the bytes read for the reply.
struct CatalogueRow {
  const char* name;
  std::function<bool(BoardLink&)> call;
  std::uint8_t code;
  std::size_t packetLength;
  std::size_t replyLength;  // 0: none
};

std::vector<CatalogueRow> catalogue() {
  static const PositionBlock block{};
  static const PositionRecord record{};
  static const Bytes b17(17, 1), b4(4, 2), b18(18, 3), b24(24, 4);
  auto rd = [](auto f) {
    return [f](BoardLink& l) {
      Bytes reply;
      return f(l, reply);
    };
  };
  auto none = [](auto f) {
    return [f](BoardLink& l) {
      f(l);
      return true;
    };
  };
  return {
      {"ReadChannelName", rd([](BoardLink& l, Bytes& x) { return l.CmdReadChannelName(3, x); }),
       0xD0, 3, 33},
      {"WriteChannelName", [](BoardLink& l) { return l.CmdWriteChannelName(3, "HEAD"); }, 0xD1, 36,
       1},
      {"ReadHomePosition", rd([](BoardLink& l, Bytes& x) { return l.CmdReadHomePosition(x); }),
       0xD2, 2, 49},
      {"WriteHomePosition", [](BoardLink& l) { return l.CmdWriteHomePosition(block); }, 0xD3, 51,
       1},
      {"ReadQvsParams", rd([](BoardLink& l, Bytes& x) { return l.CmdReadQvsParams(1, x); }), 0xDA,
       3, 18},
      {"WriteQvsParams", [](BoardLink& l) { return l.CmdWriteQvsParams(1, b17); }, 0xDB, 20, 1},
      {"ReadQvsMask", rd([](BoardLink& l, Bytes& x) { return l.CmdReadQvsMask(x); }), 0xDC, 2, 4},
      {"WriteQvsMask", [](BoardLink& l) { return l.CmdWriteQvsMask(0x123456); }, 0xDD, 6, 1},
      {"ReadReceiverRefs",
       rd([](BoardLink& l, Bytes& x) { return l.CmdReadReceiverRefs(StoredCopy, x); }), 0xDF, 3, 5},
      {"WriteReceiverRefs", [](BoardLink& l) { return l.CmdWriteReceiverRefs(StoredCopy, b4); },
       0xE0, 7, 1},
      {"ReadSensorBlock",
       rd([](BoardLink& l, Bytes& x) { return l.CmdReadSensorBlock(WorkingCopy, x); }), 0xE1, 3,
       19},
      {"WriteSensorBlock", [](BoardLink& l) { return l.CmdWriteSensorBlock(WorkingCopy, b18); },
       0xE2, 21, 1},
      {"ReadMixingBlock",
       rd([](BoardLink& l, Bytes& x) { return l.CmdReadMixingBlock(StoredCopy, 2, x); }), 0xE3, 4,
       25},
      {"WriteMixingBlock", [](BoardLink& l) { return l.CmdWriteMixingBlock(StoredCopy, 2, b24); },
       0xE4, 28, 1},
      {"ReadAnalogRefs",
       rd([](BoardLink& l, Bytes& x) { return l.CmdReadAnalogRefs(WorkingCopy, x); }), 0xE5, 3, 7},
      {"WriteAnalogRefs",
       [](BoardLink& l) {
         return l.CmdWriteAnalogRefs(StoredCopy, {1, 2, 3});
       },
       0xE6, 9, 1},
      {"SetAnalogRef", none([](BoardLink& l) { l.CmdSetAnalogRef(1, 0xFFFF); }), 0xE7, 6, 0},
      {"ReadAlarm", rd([](BoardLink& l, Bytes& x) { return l.CmdReadAlarm(x); }), 0xEB, 2, 4},
      {"WriteAlarm", [](BoardLink& l) { return l.CmdWriteAlarm(10, 391); }, 0xEC, 6, 1},
      {"ReadCounter", rd([](BoardLink& l, Bytes& x) { return l.CmdReadCounter(x); }), 0xED, 2, 8},
      {"ReadStartData", rd([](BoardLink& l, Bytes& x) { return l.CmdReadStartData(x); }), 0xEE, 2,
       3},
      {"WriteStartData", [](BoardLink& l) { return l.CmdWriteStartData(1, 2); }, 0xEF, 5, 1},
      {"ReadPositions", rd([](BoardLink& l, Bytes& x) { return l.CmdReadPositions(x); }), 0xF0, 2,
       49},
      {"ReadOptions", rd([](BoardLink& l, Bytes& x) { return l.CmdReadOptions(StoredCopy, x); }),
       0xF1, 3, 3},
      {"WriteOptions", [](BoardLink& l) { return l.CmdWriteOptions(StoredCopy, 0x4001); }, 0xF2, 5,
       1},
      {"Stop", [](BoardLink& l) { return l.CmdStop(); }, 0xF3, 6, 1},
      {"Play", [](BoardLink& l) { return l.CmdPlay(81); }, 0xF4, 4, 1},
      {"ReadTableEntry", rd([](BoardLink& l, Bytes& x) { return l.CmdReadTableEntry(84, x); }),
       0xF5, 3, 43},
      {"WriteTableEntry",
       [](BoardLink& l) { return l.CmdWriteTableEntry(84, TableEntry::blank().encode()); }, 0xF6,
       46, 1},
      {"ReadScenarioStep",
       rd([](BoardLink& l, Bytes& x) { return l.CmdReadScenarioStep(4, 199, x); }), 0xF7, 4, 2},
      {"WriteScenarioStep", [](BoardLink& l) { return l.CmdWriteScenarioStep(4, 199, 79); }, 0xF8,
       6, 1},
      {"ReadTrims", rd([](BoardLink& l, Bytes& x) { return l.CmdReadTrims(StoredCopy, x); }), 0xF9,
       3, 49},
      {"WriteTrims", [](BoardLink& l) { return l.CmdWriteTrims(WorkingCopy, block); }, 0xFA, 51, 1},
      {"SetTrim", none([](BoardLink& l) { l.CmdSetTrim(5, 300); }), 0xFB, 6, 0},
      {"ReadPositionRecord",
       rd([](BoardLink& l, Bytes& x) { return l.CmdReadPositionRecord(StoredCopy, 7, 29, x); }),
       0xFC, 5, 50},
      {"WritePositionRecord",
       [](BoardLink& l) { return l.CmdWritePositionRecord(StoredCopy, 7, 29, record); }, 0xFD, 54,
       1},
      {"SetServo", none([](BoardLink& l) { l.CmdSetServo(23, 16384); }), 0xFE, 7, 0},
      {"ReadBoardInfo", rd([](BoardLink& l, Bytes& x) { return l.CmdReadBoardInfo(x); }), 0xFF, 2,
       65},
  };
}

TEST(Catalogue, EveryCommandHasItsCodeLengthsAndChecksum) {
  auto rows = catalogue();
  ASSERT_EQ(rows.size(), 38u);
  for (const CatalogueRow& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedPort port;
    FakeUserInterface ui;
    BoardLink link(port, ui);
    std::size_t wanted = row.replyLength;
    port.responder = [wanted](const Bytes&) {
      if (wanted == 1) return Bytes{0x06};
      return withChecksum(Bytes(wanted == 0 ? 0 : wanted - 1, 0x21));
    };
    EXPECT_TRUE(row.call(link));
    ASSERT_EQ(port.requests.size(), 1u);
    Bytes request = port.requests[0];
    EXPECT_EQ(request[0], row.code);
    EXPECT_EQ(request.size(), row.packetLength);
    EXPECT_TRUE(BoardLink::VerifyChecksum(request));
    std::vector<std::size_t> reads{1};
    if (row.replyLength) reads.push_back(row.replyLength);
    EXPECT_EQ(port.readSizes, reads);
    EXPECT_FALSE(ui.busy);
  }
}

TEST(Catalogue, FlagBytesFollowTheCopyAndTheAcknowledge) {
  ScriptedPort port;
  FakeUserInterface ui;
  BoardLink link(port, ui);
  port.responder = [](const Bytes& req) {
    return req[0] == 0xFA ? Bytes{0x06} : withChecksum(Bytes(48, 0));
  };
  Bytes r;
  link.CmdReadTrims(StoredCopy, r);
  link.CmdReadTrims(WorkingCopy, r);
  link.CmdWriteTrims(StoredCopy, PositionBlock{});
  link.CmdWriteTrims(WorkingCopy, PositionBlock{});
  ASSERT_EQ(port.requests.size(), 4u);
  EXPECT_EQ(port.requests[0][1], 0x02);
  EXPECT_EQ(port.requests[1][1], 0x00);
  EXPECT_EQ(port.requests[2][1], 0x03);
  EXPECT_EQ(port.requests[3][1], 0x01);
}

TEST(Catalogue, PayloadsAreLaidOutHighByteFirst) {
  ScriptedPort port;
  FakeUserInterface ui;
  BoardLink link(port, ui);
  port.responder = [](const Bytes&) { return Bytes{0x06}; };
  PositionRecord rec;
  rec.lead = 9;
  rec.block.words[0] = 0x1234;
  rec.block.words[23] = 0xFFFF;
  EXPECT_TRUE(link.CmdWritePositionRecord(StoredCopy, 3, 2, rec));
  const Bytes& p = port.requests[0];
  EXPECT_EQ((Bytes{p.begin(), p.begin() + 7}), (Bytes{0xFD, 0x03, 3, 2, 9, 0x12, 0x34}));
  EXPECT_EQ(p[51], 0xFF);
  EXPECT_EQ(p[52], 0xFF);

  EXPECT_TRUE(link.CmdWriteQvsMask(0x123456));
  EXPECT_EQ(port.requests[1], (Bytes{0xDD, 0x01, 0x56, 0x34, 0x12, 0x7A}));

  EXPECT_TRUE(link.CmdWriteAnalogRefs(WorkingCopy, {0x0102, 0x0304, 0x0506}));
  EXPECT_EQ((Bytes{port.requests[2].begin() + 2, port.requests[2].end() - 1}),
            (Bytes{1, 2, 3, 4, 5, 6}));

  EXPECT_TRUE(link.CmdWriteChannelName(0, "ABC"));
  const Bytes& n = port.requests[3];
  EXPECT_EQ((Bytes{n.begin(), n.begin() + 6}), (Bytes{0xD1, 0x01, 0x00, 'A', 'B', 'C'}));
  EXPECT_EQ(n[6], 0);  // padded with NUL bytes
}

TEST(Catalogue, BlocksOfTheWrongSizeAreNotSent) {
  ScriptedPort port;
  FakeUserInterface ui;
  BoardLink link(port, ui);
  port.responder = [](const Bytes&) { return Bytes{0x06}; };
  const Bytes shortBlock(5, 0);
  EXPECT_FALSE(link.CmdWriteQvsParams(0, shortBlock));
  EXPECT_FALSE(link.CmdWriteSensorBlock(StoredCopy, shortBlock));
  EXPECT_FALSE(link.CmdWriteMixingBlock(StoredCopy, 0, shortBlock));
  EXPECT_FALSE(link.CmdWriteReceiverRefs(StoredCopy, shortBlock));
  EXPECT_FALSE(link.CmdWriteChannelNameBytes(0, shortBlock));
  EXPECT_EQ(port.handshakes, 0);
}

TEST(Catalogue, ChannelNameBytesGoOutAsTheyAre) {
  ScriptedPort port;
  FakeUserInterface ui;
  BoardLink link(port, ui);
  port.responder = [](const Bytes&) { return Bytes{0x06}; };
  Bytes name(32, 0);
  name[0] = 0x82;  // a CP932 lead byte without its second byte: sent, not cleaned
  name[31] = 'Z';  // after the NUL bytes
  EXPECT_TRUE(link.CmdWriteChannelNameBytes(5, name));
  const Bytes& p = port.requests[0];
  ASSERT_EQ(p.size(), 36u);
  EXPECT_EQ((Bytes{p.begin(), p.begin() + 3}), (Bytes{0xD1, 0x01, 0x05}));
  EXPECT_EQ((Bytes{p.begin() + 3, p.end() - 1}), name);
}

TEST(Catalogue, BoardInfoComesBackWithoutItsChecksum) {
  ScriptedPort port;
  FakeUserInterface ui;
  BoardLink link(port, ui);
  Bytes text(64, 'x');
  port.responder = [&](const Bytes&) { return withChecksum(text); };
  Bytes info;
  EXPECT_TRUE(link.CmdReadBoardInfo(info));
  EXPECT_EQ(info, text);
}

TEST(Exchange, AReportInPlaceOfTheHandshakeAnswerIsNoAnswer) {
  ScriptedPort port;
  FakeUserInterface ui;
  BoardLink link(port, ui);
  // The board misses the first handshake while it streams: a whole receiver report comes
  // instead of the answer, and nothing answers the request.
  port.answerHandshake = false;
  int handshakes = 0;
  port.onHandshake = [&] {
    if (++handshakes == 1) {
      port.inbound.push_back(kReceiverLead);
      port.inbound.insert(port.inbound.end(), MessageLength(kReceiverLead) - 1, 0x40);
    } else {
      port.inbound.push_back(0x0D);
    }
  };
  const Bytes good = withChecksum({0x02, 0x01});
  port.responder = [&](const Bytes&) { return handshakes == 1 ? Bytes{} : good; };
  Bytes reply;
  EXPECT_TRUE(link.CmdReadOptions(WorkingCopy, reply));
  EXPECT_EQ(reply, good);
  EXPECT_EQ(port.handshakes, 2);
  EXPECT_EQ(port.requests.size(), 1u);  // the request went out after the real answer only

  // A lone byte of a lead's value, with nothing behind it, is the board's answer.
  port.onHandshake = nullptr;
  port.answerHandshake = true;
  port.handshakeAnswer = kPlayEndLead;
  port.handshakes = 0;
  EXPECT_TRUE(link.CmdReadOptions(WorkingCopy, reply));
  EXPECT_EQ(port.handshakes, 1);
}

TEST(Exchange, AReplyMixedWithAReportsTailIsAskedForAgain) {
  ScriptedPort port;
  FakeUserInterface ui;
  BoardLink link(port, ui);
  // The first time, the tail of a report that was on the wire comes before the reply.
  const Bytes tail{0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x00};
  const Bytes good = withChecksum({0x02, 0x01});
  int requests = 0;
  port.responder = [&](const Bytes&) {
    Bytes out = ++requests == 1 ? tail : Bytes{};
    out.insert(out.end(), good.begin(), good.end());
    return out;
  };
  Bytes reply;
  EXPECT_TRUE(link.CmdReadOptions(WorkingCopy, reply));
  EXPECT_EQ(reply, good);
  EXPECT_EQ(port.handshakes, 2);
  EXPECT_EQ(link.lastFailure().fault, LinkFault::kNone);
  EXPECT_EQ(port.timeOut, kReceiveTimeOut);

  // An acknowledge behind a report's tail, likewise.
  requests = 0;
  port.handshakes = 0;
  port.responder = [&](const Bytes&) {
    Bytes out = ++requests == 1 ? Bytes{0x40, 0x41} : Bytes{};
    out.push_back(kAckByte);
    return out;
  };
  EXPECT_TRUE(link.CmdWriteOptions(WorkingCopy, 0x0001));
  EXPECT_EQ(port.handshakes, 2);
}

TEST(Exchange, ABrokenReplyOnAQuietLineStandsAndTheLineIsLeftEmpty) {
  ScriptedPort port;
  FakeUserInterface ui;
  BoardLink link(port, ui);
  port.responder = [](const Bytes&) { return Bytes{0x07, 0x07, 0x07}; };
  Bytes reply;
  EXPECT_FALSE(link.CmdReadOptions(WorkingCopy, reply));
  EXPECT_EQ(link.lastFailure().fault, LinkFault::kBadChecksum);
  EXPECT_EQ(port.handshakes, 1);
  // The line was read until quiet, with the short time-out, which then came back.
  EXPECT_EQ(port.readTimeOuts.back(), kLineQuietTime);
  EXPECT_EQ(port.readSizes.back(), kSettleChunk);
  EXPECT_EQ(port.timeOut, kReceiveTimeOut);

  // Traffic behind every attempt's reply: all attempts are made, then it fails, the line empty.
  port.handshakes = 0;
  port.responder = [&](const Bytes&) {
    port.inbound.insert(port.inbound.end(), 130, 0x55);
    return Bytes{0x07, 0x07, 0x07};
  };
  EXPECT_FALSE(link.CmdReadOptions(WorkingCopy, reply));
  EXPECT_EQ(link.lastFailure().fault, LinkFault::kBadChecksum);
  EXPECT_EQ(port.handshakes, kDefaultRetryCount);
  EXPECT_TRUE(port.inbound.empty());

  // A reply that is merely missing leaves nothing to take: no extra read.
  port.responder = nullptr;
  port.readSizes.clear();
  EXPECT_FALSE(link.CmdReadOptions(WorkingCopy, reply));
  EXPECT_EQ(port.readSizes.size(), 2u * kDefaultRetryCount);  // handshake and reply, each time
  EXPECT_EQ(std::count(port.readSizes.begin(), port.readSizes.end(), kSettleChunk), 0);
}

TEST(QvsPair, LongerTimeOutAndOneAttemptThenBackOnEveryPath) {
  ScriptedPort port;
  FakeUserInterface ui;
  BoardLink link(port, ui);
  port.responder = [](const Bytes&) { return Bytes{0x01}; };  // short reply
  Bytes reply;
  EXPECT_FALSE(link.CmdReadQvsParams(4, reply));
  EXPECT_EQ(port.handshakes, 1);
  // Handshake, reply, and the line read quiet after the broken reply.
  EXPECT_EQ(port.readTimeOuts, (std::vector<int>{500, 500, kLineQuietTime}));
  EXPECT_EQ(port.timeOut, 300);
  EXPECT_EQ(link.RetryCount, 5);

  port.readTimeOuts.clear();
  port.responder = [](const Bytes&) { return Bytes{0x06}; };
  EXPECT_TRUE(link.CmdWriteQvsParams(4, Bytes(17, 0)));
  EXPECT_EQ(port.readTimeOuts, (std::vector<int>{500, 500}));
  EXPECT_EQ(port.timeOut, 300);

  port.answerHandshake = false;
  EXPECT_FALSE(link.CmdWriteQvsParams(4, Bytes(17, 0)));
  EXPECT_EQ(port.timeOut, 300);
}

TEST(Types, PositionRecordAndTableEntryRoundTrip) {
  PositionRecord rec;
  rec.lead = 200;
  for (int i = 0; i < kBoardChannels; ++i)
    rec.block.words[i] = static_cast<std::uint16_t>(i * 1000);
  PositionRecordBytes bytes = rec.encode();
  EXPECT_EQ(bytes[0], 200);
  EXPECT_EQ(bytes[3], 0x03);  // 1000 = 0x03E8, high byte first
  EXPECT_EQ(bytes[4], 0xE8);
  PositionRecord back;
  EXPECT_TRUE(back.decode(bytes));
  EXPECT_EQ(back, rec);
  EXPECT_FALSE(back.decode(Bytes(48, 0)));

  TableEntry e;
  e.count = 12;
  e.mask = 0xABCDEF;
  e.month = 12;
  e.day = 5;
  e.hour = 9;
  e.minute = 7;
  e.control = 500;
  e.name = "WALK";
  TableEntryData d = e.encode();
  EXPECT_EQ((Bytes{d.begin(), d.begin() + 14}),
            (Bytes{12, 0xEF, 0xCD, 0xAB, 12, 5, 9, 7, 0x01, 0xF4, 'W', 'A', 'L', 'K'}));
  TableEntry back2;
  EXPECT_TRUE(back2.decode(d));
  EXPECT_EQ(back2, e);

  TableEntryData blank = TableEntry::blank().encode();
  for (std::size_t i = 0; i < blank.size(); ++i)
    EXPECT_EQ(blank[i], (i >= 4 && i <= 9) ? 0xFF : 0x00) << i;
}

TEST(Types, LongNameIsCutWithoutSplittingACharacter) {
  TableEntry e;
  e.name = std::string(31, 'A') + "あ";  // two CP932 bytes across the 32-byte limit
  TableEntryData d = e.encode();
  EXPECT_EQ(d[10 + 30], 'A');
  EXPECT_EQ(d[10 + 31], 0);
}

TEST(Types, EntryNameIsUtf8InsideAndCp932OnTheBoard) {
  // "歩く" is 0x95 0xE0 0x82 0xAD in CP932.
  TableEntryData d = TableEntry::blank().encode();
  const std::uint8_t board[] = {0x95, 0xE0, 0x82, 0xAD};
  std::copy(std::begin(board), std::end(board), d.begin() + kEntryNameOffset);
  TableEntry e = TableEntry::from(d);
  EXPECT_EQ(e.name, "歩く");
  e.name = "走る";  // 0x91 0x96 0x82 0xE9
  TableEntryData out = e.encode();
  EXPECT_EQ((Bytes{out.begin() + 10, out.begin() + 15}), (Bytes{0x91, 0x96, 0x82, 0xE9, 0x00}));
}

}  // namespace
}  // namespace pvrj
