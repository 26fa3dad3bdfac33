// The analog dialog's encodings and board sequences against the in-process virtual board.
#include <gtest/gtest.h>

#include "protocol/BoardMessages.h"
#include "tests/tools/ToolRig.h"
#include "tools/core/AnalogSettings.h"

namespace pvrj {
namespace {

using test::ToolRig;

TEST(Mixing, ItemsAndBytesBothWays) {
  const std::vector<std::string> items = mixingItems();
  ASSERT_EQ(items.size(), 127u);
  EXPECT_EQ(items[0], "x -63");
  EXPECT_EQ(items[58], "x -5");
  EXPECT_EQ(items[62], "x -1");
  EXPECT_EQ(items[63], "OFF");
  EXPECT_EQ(items[64], "x 1");
  EXPECT_EQ(items[126], "x 63");
  struct Case {
    int index;
    std::uint8_t byte;
  };
  const Case cases[] = {{58, 0xC5}, {68, 0x85}, {63, 0x00}, {0, 0xFF}, {126, 0xBF}, {62, 0xC1}};
  for (const Case& c : cases) {
    EXPECT_EQ(mixingByte(c.index), c.byte) << c.index;
    EXPECT_EQ(mixingIndex(c.byte), c.index) << c.index;
  }
  // Without bit 7 a byte is "OFF", whatever else it holds.
  EXPECT_EQ(mixingIndex(0x45), 63);
  EXPECT_EQ(mixingIndex(0x80), 63);
}

TEST(Sensor, WordC123WithMotionThreeRoundTrips) {
  Bytes block(18, 0);
  block[0] = 3;
  block[6] = 0xC1;
  block[7] = 0x23;
  SensorSettings s = decodeSensorBlock(block);
  EXPECT_EQ(s[0], (SensorSetting{4, -291}));
  EXPECT_EQ(mergeSensorBlock(block, s), block);
}

TEST(Sensor, ReadingRules) {
  Bytes block(18, 0);
  block[1] = 90;  // motion above 84: "OFF"
  block[8] = 0x40;
  block[2] = 5;  // enabling bit clear: "OFF", the threshold still reads
  block[10] = 0x83;
  block[11] = 0xFF;
  block[3] = 84;  // bits 10 to 13 are not the threshold's
  block[12] = 0x7C;
  block[13] = 0x01;
  SensorSettings s = decodeSensorBlock(block);
  EXPECT_EQ(s[1], (SensorSetting{0, 0}));
  EXPECT_EQ(s[2], (SensorSetting{0, -1023}));
  EXPECT_EQ(s[3], (SensorSetting{85, 1}));
}

TEST(Sensor, OffClearsTheEnablingBitButKeepsTheBoardsMotionByte) {
  Bytes read(18, 0);
  read[5] = 42;
  read[16] = 0x40;
  read[17] = 0x10;
  SensorSettings s = decodeSensorBlock(read);
  s[5].motionIndex = 0;
  Bytes written = mergeSensorBlock(read, s);
  EXPECT_EQ(written[5], 42);
  EXPECT_EQ(written[16], 0x00);
  EXPECT_EQ(written[17], 0x10);
  s[5] = {11, -2};
  written = mergeSensorBlock(read, s);
  EXPECT_EQ(written[5], 10);
  EXPECT_EQ(written[16], 0xC0);
  EXPECT_EQ(written[17], 0x02);
}

struct AnalogRig : ToolRig {
  AnalogRig() {
    auto& st = board().memory().stored;
    st.analogRefs = {100, 200, 300};
    st.mixing[1][3] = 0xC5;
    st.sensor[0] = 3;
    st.sensor[6] = 0xC1;
    st.sensor[7] = 0x23;
    board().powerCycle();
  }
};

TEST(AnalogLoad, ReadsReferencesMixingAndSensors) {
  AnalogRig r;
  AnalogSettings s;
  ASSERT_TRUE(LoadAnalogSettings(r.link, s));
  EXPECT_EQ(s.references, (std::array<std::uint16_t, 3>{100, 200, 300}));
  EXPECT_EQ(s.mixing[1][3], 58);
  EXPECT_EQ(s.mixing[0][0], 63);
  EXPECT_EQ(s.sensors[0], (SensorSetting{4, -291}));
}

TEST(AnalogOpen, AFailedLoadLeavesTheStreamOffAndTheBufferAlone) {
  for (int read = 0; read < 5; ++read) {
    AnalogRig r;
    BoardMessages messages;
    const std::uint8_t stray[] = {0xFE, 0x01};
    messages.receive(stray, sizeof stray);
    r.failExchange(static_cast<std::uint64_t>(read));
    AnalogSettings s;
    EXPECT_FALSE(openAnalogDialog(r.link, messages, s)) << read;
    EXPECT_EQ(r.workingOptions() & kOptionAnalogStream, 0) << read;
    EXPECT_EQ(messages.buffer().size(), 2u) << read;
  }
}

TEST(AnalogOpen, EmptiesTheBufferAndSwitchesTheStreamOn) {
  AnalogRig r;
  BoardMessages messages;
  const std::uint8_t stray[] = {0xFE, 0x01};
  messages.receive(stray, sizeof stray);
  AnalogSettings s;
  ASSERT_TRUE(openAnalogDialog(r.link, messages, s));
  EXPECT_TRUE(messages.buffer().empty());
  EXPECT_EQ(r.workingOptions() & kOptionAnalogStream, kOptionAnalogStream);
}

TEST(AnalogClose, StreamOffAndEverythingToTheStoredCopy) {
  AnalogRig r;
  BoardMessages messages;
  AnalogSettings s;
  ASSERT_TRUE(openAnalogDialog(r.link, messages, s));
  moveReference(r.link, s, 2, 700);
  ASSERT_TRUE(chooseMixing(r.link, s, 0, 23, 68));
  ASSERT_TRUE(chooseSensorMotion(r.link, s, 1, 1, 2));
  EXPECT_EQ(r.board().live().working.analogRefs[2], 700);
  EXPECT_EQ(r.board().memory().stored.analogRefs[2], 300);  // the stored copy waits
  // A byte of the working block the dialog does not show survives the store.
  r.board().live().working.sensor[4] = 77;
  ASSERT_TRUE(closeAnalogDialog(r.link, s));
  const auto& st = r.board().memory().stored;
  EXPECT_EQ(r.workingOptions() & kOptionAnalogStream, 0);
  EXPECT_EQ(st.analogRefs, (std::array<std::uint16_t, 3>{100, 200, 700}));
  EXPECT_EQ(st.mixing[0][23], 0x85);
  EXPECT_EQ(st.mixing[1][3], 0xC5);
  EXPECT_EQ(st.sensor[3], 1);
  EXPECT_EQ(st.sensor[4], 77);
  EXPECT_EQ(st.sensor[12], 0x40);
  EXPECT_EQ(st.sensor[0], 3);
  EXPECT_EQ(st.sensor[6], 0xC1);
}

TEST(AnalogClose, AFailedBlockStopsTheRestFromBeingWritten) {
  AnalogRig r;
  AnalogSettings s;
  ASSERT_TRUE(LoadAnalogSettings(r.link, s));
  s.references = {1, 2, 3};
  s.mixing[1][0] = 0;
  s.mixing[2][0] = 0;
  // Stream off (2 exchanges), references, mixing 0, then mixing 1 fails.
  r.failExchange(2 + 2);
  EXPECT_FALSE(closeAnalogDialog(r.link, s));
  const auto& st = r.board().memory().stored;
  EXPECT_EQ(st.analogRefs, (std::array<std::uint16_t, 3>{1, 2, 3}));
  EXPECT_EQ(st.mixing[1][0], 0);
  EXPECT_EQ(st.mixing[2][0], 0);
}

TEST(AnalogLive, AutoTakesTheReadingAndReadsAllThreeBack) {
  AnalogRig r;
  AnalogSettings s;
  ASSERT_TRUE(LoadAnalogSettings(r.link, s));
  r.board().live().analog = {640, 650, 660};
  const std::uint64_t before = r.board().requestCount();
  ASSERT_TRUE(autoReference(r.link, s, 1));
  EXPECT_EQ(s.references, (std::array<std::uint16_t, 3>{100, 650, 300}));
  EXPECT_EQ(r.board().requestCount(), before + 2);
}

TEST(AnalogLive, ThresholdDragSendsOnlyWhenItEnds) {
  AnalogRig r;
  AnalogSettings s;
  ASSERT_TRUE(LoadAnalogSettings(r.link, s));
  s.sensors[sensorEntry(2, 1)].motionIndex = 1;
  const std::uint64_t before = r.board().requestCount();
  for (int p = 0; p <= 50; p += 10) ASSERT_TRUE(moveSensorThreshold(r.link, s, 2, 1, p, false));
  EXPECT_EQ(r.board().requestCount(), before);
  ASSERT_TRUE(moveSensorThreshold(r.link, s, 2, 1, -60, true));
  EXPECT_EQ(r.board().requestCount(), before + 2);
  EXPECT_EQ(r.board().live().working.sensor[16], 0xC0);
  EXPECT_EQ(r.board().live().working.sensor[17], 60);
}

TEST(AnalogLive, ReferenceDragSendsEveryPosition) {
  AnalogRig r;
  AnalogSettings s;
  const std::uint64_t before = r.board().requestCount();
  for (int p = 500; p < 505; ++p) moveReference(r.link, s, 0, p);
  EXPECT_EQ(r.board().requestCount(), before + 5);
  EXPECT_EQ(r.board().live().working.analogRefs[0], 504);
}

TEST(AnalogReports, TakeTheInputsAsTheyComeAndShowTheChange) {
  AnalogSettings s;
  s.references = {500, 0, 1023};
  AnalogReport report;
  report.inputs = {256, 16383, 0};
  takeAnalogReport(s, report);
  EXPECT_EQ(s.measured, (std::array<std::uint16_t, 3>{256, 16383, 0}));
  EXPECT_EQ(referenceChange(s, 0), -244);
  EXPECT_EQ(referenceChange(s, 1), 16383);
  EXPECT_EQ(referenceChange(s, 2), -1023);
}

}  // namespace
}  // namespace pvrj
