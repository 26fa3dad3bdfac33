// Unprompted board messages: framing across events, one message per event, the three parsers.
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "protocol/BoardMessages.h"

namespace pvrj {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Recorder {
  BoardMessages messages;
  std::vector<std::string> statuses;
  std::vector<ReceiverReport> receiver;
  std::vector<AnalogReport> analog;
  Recorder() {
    messages.showStatus = [this](const std::string& s) { statuses.push_back(s); };
    messages.onReceiverReport = [this](const ReceiverReport& r) { receiver.push_back(r); };
    messages.onAnalogReport = [this](const AnalogReport& r) { analog.push_back(r); };
  }
  void feed(const Bytes& bytes) { messages.receive(bytes.data(), bytes.size()); }
};

// A port that hands out queued bytes, counting the reads.
class QueuePort : public BoardPort {
 public:
  std::deque<std::uint8_t> bytes;
  std::vector<std::size_t> reads;
  bool IsOpen() const override { return true; }
  void Write(const std::uint8_t*, std::size_t) override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    reads.push_back(count);
    std::size_t n = 0;
    while (n < count && !bytes.empty()) {
      buffer[n++] = bytes.front();
      bytes.pop_front();
    }
    return n;
  }
  void PurgeReceive() override { bytes.clear(); }
  void PurgeTransmit() override {}
  std::size_t InQueueCount() override { return bytes.size(); }
  int TimeOutReceive() const override { return 300; }
  void SetTimeOutReceive(int) override {}
  void SetWaitHook(std::function<void()>) override {}
};

Bytes playEnd(const std::vector<std::pair<int, std::uint8_t>>& present) {
  Bytes m(kPlayEndLength, 0);
  m[0] = kPlayEndLead;
  for (auto [slot, value] : present) {
    m[1 + slot / 4] |= static_cast<std::uint8_t>(1u << (slot % 4));
    m[7 + slot] = value;
  }
  return m;
}

TEST(BoardMessagesTest, LeadBytesGiveLengths) {
  EXPECT_EQ(MessageLength(0xFF), 32u);
  EXPECT_EQ(MessageLength(0xFE), 10u);
  EXPECT_EQ(MessageLength(0xFD), 9u);
  EXPECT_EQ(MessageLength(0xFC), 0u);
  EXPECT_EQ(MessageLength(0x7F), 0u);
  EXPECT_EQ(Decode7Bit(1, 0), 128);
  EXPECT_EQ(Decode7Bit(0x7F, 0x7F), 16383);
}

TEST(BoardMessagesTest, AnalogReportSplitOverTwoEventsGivesOneReport) {
  Recorder r;
  r.feed({0xFE, 0x01, 0x00, 0x02, 0x00});
  EXPECT_TRUE(r.analog.empty());
  EXPECT_EQ(r.messages.buffer().size(), 5u);
  r.feed({0x03, 0x00, 0x04, 0x00, 0x00});
  ASSERT_EQ(r.analog.size(), 1u);
  EXPECT_EQ(r.analog[0].battery, 128);
  EXPECT_EQ(r.analog[0].inputs, (std::array<int, 3>{256, 384, 512}));
  EXPECT_TRUE(r.messages.hasAnalogReport());
  EXPECT_TRUE(r.messages.buffer().empty());
  EXPECT_EQ(formatBatteryVoltage(r.analog[0].battery), "01.97V");
  EXPECT_EQ(formatInputVoltage(256), "1.36V");
  EXPECT_EQ(formatInputVoltage(384), "2.04V");
  EXPECT_EQ(formatInputVoltage(512), "2.72V");
}

TEST(BoardMessagesTest, ReceiverReportAfterJunkBytes) {
  Recorder r;
  r.feed({0x05, 0x06, 0xFD, 0x00, 0x00, 0x07, 0x10, 0x20, 0x30, 0x40, 0x00});
  ASSERT_EQ(r.receiver.size(), 1u);
  EXPECT_EQ(r.receiver[0].buttonValue, 7);
  EXPECT_EQ(r.receiver[0].values, (std::array<std::uint8_t, 4>{16, 32, 48, 64}));
  EXPECT_EQ(r.messages.counterText(), "7");
  EXPECT_TRUE(r.messages.buffer().empty());
}

TEST(BoardMessagesTest, ButtonValueUsesPlainBytesHighFirst) {
  Recorder r;
  r.feed({0xFD, 0x00, 0xFF, 0xFE, 0, 0, 0, 0, 0});
  ASSERT_EQ(r.receiver.size(), 1u);
  EXPECT_EQ(r.receiver[0].buttonValue, 0xFFFE);
  EXPECT_EQ(r.messages.counterText(), "65534");
}

TEST(BoardMessagesTest, OneMessagePerEventTheRestWaits) {
  Recorder r;
  Bytes both = {0xFD, 0, 0, 1, 0, 0, 0, 0, 0, 0xFE, 0, 1, 0, 2, 0, 3, 0, 4, 0};
  r.feed(both);
  EXPECT_EQ(r.receiver.size(), 1u);
  EXPECT_TRUE(r.analog.empty());
  EXPECT_TRUE(r.messages.hasWholeMessage());
  r.feed({});  // the next event, even without new bytes
  EXPECT_EQ(r.analog.size(), 1u);
  EXPECT_FALSE(r.messages.hasWholeMessage());
}

TEST(BoardMessagesTest, PlayEndSortsAndDropsDuplicates) {
  Recorder r;
  r.feed(playEnd({{0, 3}, {1, 1}, {5, 3}}));
  EXPECT_EQ(r.statuses, (std::vector<std::string>{"[1]再生終了", "[3]再生終了"}));
}

TEST(BoardMessagesTest, PlayEndWithoutFlagsShowsNothing) {
  Recorder r;
  Bytes m = playEnd({});
  m[7] = 5;     // a value without its flag bit is not present
  m[1] = 0xF0;  // the upper four bits of a flag byte are not used
  r.feed(m);
  EXPECT_TRUE(r.statuses.empty());
  EXPECT_TRUE(r.messages.buffer().empty());
}

TEST(BoardMessagesTest, PlayEndUsesEveryFlagByte) {
  std::vector<std::pair<int, std::uint8_t>> all;
  for (int i = 0; i < 24; ++i) all.push_back({i, static_cast<std::uint8_t>(40 - i)});
  Bytes m = playEnd(all);
  std::vector<int> values = parsePlayEndReport(m.data());
  ASSERT_EQ(values.size(), 24u);
  EXPECT_EQ(values.front(), 17);
  EXPECT_EQ(values.back(), 40);
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
}

TEST(BoardMessagesTest, UnknownLeadByteIsDroppedNotStuck) {
  Recorder r;
  r.feed({0x90, 0x01, 0xFD, 0, 0, 9, 1, 2, 3, 4, 0});
  ASSERT_EQ(r.receiver.size(), 1u);
  EXPECT_EQ(r.receiver[0].buttonValue, 9);
  // An unknown lead byte alone leaves nothing behind to block the next message.
  r.feed({0x85});
  EXPECT_TRUE(r.messages.buffer().empty());
}

TEST(BoardMessagesTest, BytesWithoutLeadByteAreNotKept) {
  Recorder r;
  r.feed(Bytes(100, 0x11));
  EXPECT_TRUE(r.messages.buffer().empty());
  r.feed({0xFE, 0, 1});
  EXPECT_EQ(r.messages.buffer().size(), 3u);
  r.messages.clear();
  EXPECT_TRUE(r.messages.buffer().empty());
}

TEST(BoardMessagesTest, BufferStaysBoundedUnderAFastStream) {
  Recorder r;
  Bytes burst;
  for (int i = 0; i < 1000; ++i) {
    Bytes m = {0xFE, 0, static_cast<std::uint8_t>(i % 128), 0, 0, 0, 0, 0, 0, 0};
    burst.insert(burst.end(), m.begin(), m.end());
  }
  r.feed(burst);
  EXPECT_LE(r.messages.buffer().size(), kMaxReceiveBuffer);
  EXPECT_EQ(r.messages.buffer().size() % kAnalogLength, 0u);  // whole messages were dropped
  EXPECT_EQ(r.analog.size(), 1u);
}

TEST(BoardMessagesTest, ReceiveReadsThePortInPieces) {
  Recorder r;
  QueuePort port;
  for (int i = 0; i < 600; ++i) port.bytes.push_back(0x01);
  for (std::uint8_t b : Bytes{0xFD, 0, 0x01, 0x02, 0, 0, 0, 0, 0}) port.bytes.push_back(b);
  r.messages.CommX1Receive(port, 609);
  EXPECT_EQ(port.reads, (std::vector<std::size_t>{256, 256, 97}));
  ASSERT_EQ(r.receiver.size(), 1u);
  EXPECT_EQ(r.receiver[0].buttonValue, 0x0102);
}

TEST(BoardMessagesTest, NothingReadEndsTheEvent) {
  Recorder r;
  r.feed({0xFD, 0, 0, 1, 0, 0, 0, 0, 0, 0xFD, 0, 0, 2, 0, 0, 0, 0, 0});
  ASSERT_EQ(r.receiver.size(), 1u);
  QueuePort port;  // empty: the read gives nothing, so the waiting message stays
  r.messages.CommX1Receive(port, 10);
  EXPECT_EQ(r.receiver.size(), 1u);
  EXPECT_TRUE(r.messages.hasWholeMessage());
}

}  // namespace
}  // namespace pvrj
