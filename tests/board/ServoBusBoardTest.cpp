// The virtual board's servo-bus servos: the channel lists pvrj-board takes and the servos' later
// replies.
#include <gtest/gtest.h>

#include "board/VirtualBoard.h"
#include "tests/board/BoardTestUtil.h"

namespace pvrj::board::test {
namespace {

struct MaskCase {
  const char* text;
  bool valid;
  std::array<std::uint8_t, 3> mask;
};

TEST(ServoBusChannelList, ParsesListsAndRanges) {
  const MaskCase cases[] = {
      {"1", true, {0x01, 0, 0}},
      {"1,3,24", true, {0x05, 0, 0x80}},
      {"5-8", true, {0xF0, 0, 0}},
      {"8-9,16", true, {0x80, 0x81, 0}},
      {"1-24", true, {0xFF, 0xFF, 0xFF}},
      {"3,3", true, {0x04, 0, 0}},
      {"", false, {}},
      {"0", false, {}},
      {"25", false, {}},
      {"4-2", false, {}},
      {"1,", false, {}},
      {",1", false, {}},
      {"1-", false, {}},
      {"a", false, {}},
      {"1 2", false, {}},
      {"99999999999999999999", false, {}},
  };
  for (const MaskCase& c : cases) {
    const auto mask = parseChannelMask(c.text);
    ASSERT_EQ(mask.has_value(), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(*mask, c.mask) << c.text;
    }
  }
}

// The servo's reply leaves the board kServoBusReplyTime after the request, the board's own replies
// at once.
TEST(ServoBusServos, AnswerLaterThanTheBoard) {
  BoardMemory memory;
  memory.qvsMask = {0x01, 0, 0};
  memory.stored.options = 0x4000;
  VirtualBoard board(std::move(memory));
  auto ask = [&board](Micros at, const Bytes& packet) {
    const std::uint8_t hs = kHandshakeByte;
    board.receive(&hs, 1, at);
    board.advance(at);
    board.takeOutput(at);
    const Bytes full = withChecksum(packet);
    board.receive(full.data(), full.size(), at);
    board.advance(at);
  };
  ask(0, {0xF1, 0x00});
  EXPECT_EQ(board.outputReady(0), 3u);
  board.takeOutput(0);

  const Micros t = 1'000'000;
  ask(t, {0xDA, 0x00});
  EXPECT_EQ(board.outputReady(t + kServoBusReplyTime - 1), 0u);
  EXPECT_EQ(board.outputReady(t + kServoBusReplyTime), 18u);
}

}  // namespace
}  // namespace pvrj::board::test
