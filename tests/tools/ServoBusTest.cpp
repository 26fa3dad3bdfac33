// Servo-bus parameter blocks and list rows, the drop rules, and the servo-bus dialog's board
// sequences against the in-process virtual board.
#include "tools/core/ServoBus.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "board/VirtualBoardPort.h"
#include "tests/support/FakeUserInterface.h"

namespace pvrj {
namespace {

using board::Fault;

// A block with every list in range, reverse on, limits at positions 10 and 20, and bytes the
// dialog must hand back untouched.
ServoBlock sampleBlock() {
  return {0x2A, 3, 2, 7, 4, 2, 9, 0xA5, 0x07, 0x08, 0x04, 0x4C, 150, 5, 1, 2, 3};
}

int word(const ServoBlock& b, std::size_t at) {
  return b[at] << 8 | b[at + 1];
}

struct LoadCase {
  const char* what;
  std::size_t at;
  int stored;       // the byte (or word at 8 and 10) the servo reported
  int shown;        // the item index or bar position loaded
  int writtenBack;  // the byte or word collected from the unchanged controls
};

// Test names carry the case by what it shows.
void PrintTo(const LoadCase& c, std::ostream* os) {
  *os << c.what;
}

class ServoBlockRules : public ::testing::TestWithParam<LoadCase> {};

int shownValue(const ServoControls& c, std::size_t at) {
  switch (at) {
    case kServoStretch1:
      return c.stretch[0];
    case kServoSpeed1:
      return c.speed[0];
    case kServoPunch:
      return c.punch;
    case kServoDeadBand:
      return c.deadBand;
    case kServoDamping:
      return c.damping;
    case kServoProtection:
      return c.protection;
    case kServoLimitL:
      return c.limitL;
    case kServoLimitR:
      return c.limitR;
    case kServoPowerFree:
      return c.powerFree;
    case kServoStretch2:
      return c.stretch[1];
    case kServoSpeed2:
      return c.speed[1];
    case kServoStretch3:
      return c.stretch[2];
    case kServoSpeed3:
      return c.speed[2];
    default:
      return -1;
  }
}

TEST_P(ServoBlockRules, LoadsAndWritesBack) {
  const LoadCase& c = GetParam();
  ServoBlock block = sampleBlock();
  const bool isWord = c.at == kServoLimitL || c.at == kServoLimitR;
  if (isWord) {
    block[c.at] = static_cast<std::uint8_t>(c.stored >> 8);
    block[c.at + 1] = static_cast<std::uint8_t>(c.stored & 0xFF);
  } else {
    block[c.at] = static_cast<std::uint8_t>(c.stored);
  }
  const ServoControls controls = LoadServoParameters(block);
  EXPECT_EQ(shownValue(controls, c.at), c.shown) << c.what;
  ServoBlock out = block;
  CollectServoParameters(controls, out);
  EXPECT_EQ(isWord ? word(out, c.at) : out[c.at], c.writtenBack) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, ServoBlockRules,
    ::testing::Values(LoadCase{"power-free 100 is the middle item", kServoPowerFree, 100, 1, 100},
                      LoadCase{"power-free 50", kServoPowerFree, 50, 0, 50},
                      LoadCase{"power-free 75 is not an item", kServoPowerFree, 75, 0, 50},
                      LoadCase{"power-free 0", kServoPowerFree, 0, 0, 50},
                      LoadCase{"power-free 200 is beyond the list", kServoPowerFree, 200, 0, 50},
                      LoadCase{"left limit below 1700", kServoLimitL, 1650, 0, 1700},
                      LoadCase{"left limit between steps truncates", kServoLimitL, 1795, 9, 1790},
                      LoadCase{"left limit at the far end", kServoLimitL, 2300, 60, 2300},
                      LoadCase{"left limit beyond the far end", kServoLimitL, 2500, 60, 2300},
                      LoadCase{"right limit at 700", kServoLimitR, 700, 60, 700},
                      LoadCase{"right limit beyond 700", kServoLimitR, 600, 60, 700},
                      LoadCase{"right limit above 1300", kServoLimitR, 1320, 0, 1300},
                      LoadCase{"right limit between steps truncates", kServoLimitR, 1005, 29, 1010},
                      LoadCase{"stretch 0", kServoStretch1, 0, 0, 1},
                      LoadCase{"stretch 9", kServoStretch2, 9, 0, 1},
                      LoadCase{"stretch 5", kServoStretch3, 5, 4, 5},
                      LoadCase{"speed 3", kServoSpeed1, 3, 2, 3},
                      LoadCase{"speed 4", kServoSpeed3, 4, 0, 1},
                      LoadCase{"punch 10", kServoPunch, 10, 9, 10},
                      LoadCase{"punch 11", kServoPunch, 11, 0, 1},
                      LoadCase{"protection 10", kServoProtection, 10, 9, 10},
                      LoadCase{"dead band 5", kServoDeadBand, 5, 4, 5},
                      LoadCase{"dead band 7 has no item", kServoDeadBand, 7, 0, 1},
                      LoadCase{"damping 2", kServoDamping, 2, 1, 2},
                      LoadCase{"damping 3 has no item", kServoDamping, 3, 0, 1}));

TEST(ServoBlock, ByteZeroAndTheServosBitsOfByteSevenGoBackAsRead) {
  ServoBlock block = sampleBlock();
  ServoControls controls = LoadServoParameters(block);
  EXPECT_EQ(controls.reverse, 1);
  controls.reverse = 0;
  ServoBlock out = block;
  CollectServoParameters(controls, out);
  EXPECT_EQ(out[0], 0x2A);
  EXPECT_EQ(out[kServoReverse], 0xA4);
  controls.reverse = 1;
  CollectServoParameters(controls, out);
  EXPECT_EQ(out[kServoReverse], 0xA5);
}

TEST(ServoBlock, EveryBlockTheListsCanHoldComesBackUnchanged) {
  ServoBlock block = sampleBlock();
  for (int stretch = 1; stretch <= 5; ++stretch) {
    for (int punch = 1; punch <= 10; ++punch) {
      for (int powerFree = 1; powerFree <= 3; ++powerFree) {
        for (int limit = 0; limit <= kLimitPositions; limit += 7) {
          block[kServoStretch2] = static_cast<std::uint8_t>(stretch);
          block[kServoPunch] = static_cast<std::uint8_t>(punch);
          block[kServoPowerFree] = static_cast<std::uint8_t>(50 * powerFree);
          const int left = 1700 + 10 * limit;
          block[kServoLimitL] = static_cast<std::uint8_t>(left >> 8);
          block[kServoLimitL + 1] = static_cast<std::uint8_t>(left & 0xFF);
          ServoBlock out{};
          out[0] = block[0];
          out[kServoReverse] = block[kServoReverse];
          CollectServoParameters(LoadServoParameters(block), out);
          ASSERT_EQ(out, block) << stretch << " " << punch << " " << powerFree << " " << limit;
        }
      }
    }
  }
}

TEST(ServoBlock, ListsHoldTheirItems) {
  EXPECT_EQ(kPunchItems.size(), 10u);
  EXPECT_EQ(kPunchItems.front(), "1 (LOW)");
  EXPECT_EQ(kPunchItems[4], "5");
  EXPECT_EQ(kPunchItems.back(), "10 (HIGH)");
  EXPECT_EQ(kProtectionItems.front(), "1 (MIN)");
  EXPECT_EQ(kProtectionItems.back(), "10 (MAX)");
}

TEST(ServoList, RowOfAServoWithItsBlock) {
  ServoBlock block = sampleBlock();
  block[kServoLimitL] = 0x06;  // 1650: shown as it is, below the dialog's range
  block[kServoLimitL + 1] = 0x72;
  const auto t = servoRowTexts(3, "CH3", true, &block);
  const std::array<std::string, kServoListColumns> expected = {"3",  "CH3", "PWM", "3",  "2",  "5",
                                                               "1",  "2",   "3",   "7",  "4",  "2",
                                                               "ON", "9",   "3",   "-5", "20", ""};
  EXPECT_EQ(t, expected);
}

TEST(ServoList, RowsWithoutABlock) {
  auto t = servoRowTexts(5, "腕", true, nullptr);
  EXPECT_EQ(t[0], "5");
  EXPECT_EQ(t[1], "腕");
  EXPECT_EQ(t[2], "PWM");
  for (int i = 3; i < kServoListColumns; ++i) EXPECT_EQ(t[i], "");
  t = servoRowTexts(6, "CH6", false, nullptr);
  EXPECT_EQ(t[2], "");
  ServoBlock block = sampleBlock();
  EXPECT_EQ(servoRowTexts(6, "CH6", false, &block)[3], "");  // not on the bus: never filled
}

TEST(ServoList, ChannelsFromTheMaskBytes) {
  const std::uint8_t mask[3] = {0x81, 0x01, 0x80};
  const ServoBusChannels channels = servoBusChannelsOf(mask);
  for (int ch = 1; ch <= 24; ++ch) {
    const bool expected = ch == 1 || ch == 8 || ch == 9 || ch == 24;
    EXPECT_EQ(channels[static_cast<std::size_t>(ch - 1)], expected) << ch;
  }
}

struct DropCase {
  bool fromThisList;
  int dragged;
  int target;
  bool accepted;
};

TEST(ServoList, DropRules) {
  ServoBusChannels channels{};
  channels[0] = channels[2] = channels[23] = true;
  const DropCase cases[] = {
      {true, 0, 2, true},   {true, 2, 2, true},   {true, 0, 23, true},
      {false, 0, 2, false}, {true, 1, 2, false},  {true, 0, 1, false},
      {true, 0, -1, false}, {true, -1, 2, false}, {true, 0, 24, false},
  };
  for (const DropCase& c : cases) {
    EXPECT_EQ(acceptsServoDrop(c.fromThisList, c.dragged, c.target, channels), c.accepted)
        << c.fromThisList << " " << c.dragged << " -> " << c.target;
  }
}

// The virtual board with servos on channels 1, 3 and 24, in servo-bus mode unless told.
struct ServoBusBoard : ::testing::Test {
  board::VirtualBoardPort port;
  test::FakeUserInterface ui;
  BoardLink link{port, ui};
  ServoBus bus{link, ui};

  void SetUp() override {
    board().memory().qvsMask = {0x05, 0x00, 0x80};
    powerOn(true);
  }
  board::VirtualBoard& board() { return port.board(); }
  void powerOn(bool servoBusMode) {
    auto& stored = board().memory().stored.options;
    stored = static_cast<std::uint16_t>(servoBusMode ? stored | kOptionQvsMode
                                                     : stored & ~kOptionQvsMode);
    board().powerCycle();
  }
  void failExchange(std::uint64_t ahead, const Fault& fault = Fault::noHandshake()) {
    board().injectFaultAt(board().handshakeCount() + ahead, fault);
  }
  ServoBlock stored(int row) { return board().memory().qvsParams[static_cast<std::size_t>(row)]; }
};

TEST_F(ServoBusBoard, ChannelsComeFromTheBoardsMask) {
  ASSERT_TRUE(bus.LoadServoBusChannels());
  EXPECT_TRUE(bus.isServoBus(0));
  EXPECT_FALSE(bus.isServoBus(1));
  EXPECT_TRUE(bus.isServoBus(2));
  EXPECT_TRUE(bus.isServoBus(23));
  EXPECT_FALSE(bus.isServoBus(24));
  failExchange(0);
  EXPECT_FALSE(bus.LoadServoBusChannels());
}

TEST_F(ServoBusBoard, TheStoredBitIsSetWhileTheDialogShows) {
  powerOn(false);
  bool shown = false;
  EXPECT_TRUE(bus.runDialog([&] {
    shown = true;
    EXPECT_EQ(board().memory().stored.options & kOptionQvsMode, kOptionQvsMode);
    // Not in the mode until the board is switched off and on.
    EXPECT_FALSE(bus.CheckServoBusMode());
  }));
  EXPECT_TRUE(shown);
  EXPECT_EQ(board().memory().stored.options & kOptionQvsMode, 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, kMsgWarning);
  EXPECT_EQ(ui.messages[0].buttons, kBtnOk);
  EXPECT_EQ(ui.messages[0].text, kServoBusModeWarning);
  EXPECT_TRUE(ui.statuses.empty());
}

TEST_F(ServoBusBoard, NoDialogWhenTheMaskOrTheBitCannotBeReached) {
  bool shown = false;
  failExchange(0);  // the mask
  EXPECT_FALSE(bus.runDialog([&] { shown = true; }));
  failExchange(1);  // the stored option word's write
  EXPECT_FALSE(bus.runDialog([&] { shown = true; }));
  EXPECT_FALSE(shown);
  EXPECT_EQ(board().memory().stored.options & kOptionQvsMode, kOptionQvsMode);  // as it was
}

TEST_F(ServoBusBoard, ABitLeftSetIsToldInTheStatusLine) {
  EXPECT_TRUE(bus.runDialog([&] { failExchange(0); }));
  ASSERT_EQ(ui.statuses.size(), 1u);
  EXPECT_EQ(ui.statuses[0], kServoBusModeNotCleared);
}

TEST_F(ServoBusBoard, ModeTest) {
  EXPECT_TRUE(bus.CheckServoBusMode());
  failExchange(0);
  EXPECT_FALSE(bus.CheckServoBusMode());  // no reply: no warning either
  EXPECT_TRUE(ui.messages.empty());
  powerOn(false);
  EXPECT_FALSE(bus.CheckServoBusMode());
  EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(ServoBusBoard, ReadingAServoTakesOneAttemptAndItsLongerReply) {
  ServoBlock block{};
  const board::Micros before = port.now();
  ASSERT_TRUE(bus.readServo(2, block));
  EXPECT_GE(port.now() - before, board::kServoBusReplyTime);
  EXPECT_EQ(block, stored(2));

  const auto handshakes = board().handshakeCount();
  EXPECT_FALSE(bus.readServo(1, block));  // no servo on channel 2
  EXPECT_EQ(board().handshakeCount(), handshakes + 1);
  failExchange(0, Fault::wrongChecksum());
  EXPECT_FALSE(bus.readServo(0, block));  // a reply of the right length that fails its check
  EXPECT_EQ(link.RetryCount, kDefaultRetryCount);
}

TEST_F(ServoBusBoard, WritingAServo) {
  ServoBlock block = sampleBlock();
  ASSERT_TRUE(bus.writeServo(23, block));
  EXPECT_EQ(stored(23), block);
  EXPECT_FALSE(bus.writeServo(1, block));
  EXPECT_FALSE(bus.writeServo(24, block));
}

TEST_F(ServoBusBoard, ACopyKeepsTheTargetsOwnBytes) {
  ServoBlock source = sampleBlock();
  board().memory().qvsParams[0] = source;
  const ServoBlock targetBefore = stored(2);
  ServoBlock written{};
  ASSERT_EQ(bus.copyServo(0, 2, written), ServoCopy::kWritten);
  ServoBlock expected = source;
  expected[0] = targetBefore[0];
  expected[kServoReverse] = static_cast<std::uint8_t>((targetBefore[kServoReverse] & 0xFE) | 1);
  EXPECT_EQ(written, expected);
  EXPECT_EQ(stored(2), expected);
  EXPECT_EQ(stored(0), source);
}

TEST_F(ServoBusBoard, ACopyOntoItselfReadsOnceAndWritesTheSameBlock) {
  const ServoBlock before = stored(23);
  const auto handshakes = board().handshakeCount();
  ServoBlock written{};
  ASSERT_EQ(bus.copyServo(23, 23, written), ServoCopy::kWritten);
  EXPECT_EQ(written, before);
  EXPECT_EQ(stored(23), before);
  EXPECT_EQ(board().handshakeCount(), handshakes + 2);
}

TEST_F(ServoBusBoard, AFailedReadWritesNothing) {
  board().memory().qvsParams[0] = sampleBlock();
  const ServoBlock before = stored(2);
  ServoBlock written{};
  failExchange(0, Fault::wrongChecksum());
  EXPECT_EQ(bus.copyServo(0, 2, written), ServoCopy::kReadFailed);
  failExchange(1, Fault::shortReply(5));  // the target's read
  EXPECT_EQ(bus.copyServo(0, 2, written), ServoCopy::kReadFailed);
  EXPECT_EQ(stored(2), before);
  failExchange(2);  // the write
  EXPECT_EQ(bus.copyServo(0, 2, written), ServoCopy::kWriteFailed);
  EXPECT_EQ(written[kServoPunch], sampleBlock()[kServoPunch]);
  EXPECT_EQ(stored(2), before);
}

}  // namespace
}  // namespace pvrj
