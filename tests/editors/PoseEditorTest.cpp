// The position editor's rules against the in-process virtual board: edits with their live sends,
// the link step, both presses of teaching and the tool panel's operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/VirtualBoardPort.h"
#include "editors/core/PoseBoard.h"
#include "editors/core/PoseEditor.h"
#include "support/FakeUserInterface.h"

namespace pvrj {
namespace {

using board::Fault;
using board::VirtualBoardPort;

class PoseEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    item_ = chart_.createItem(kItemPos, 10, 10);
    chart_.items[0].PrmByte = 50;
    chart_.items[0].PrmWords.fill(16384);
    editor_.setLink(&link_);
    editor_.syncChecked = [this] { return sync_; };
    editor_.channelShown = [this](int ch) { shownChannels_.push_back(ch); };
  }

  ChartItem& item() { return chart_.items[static_cast<std::size_t>(item_)]; }
  board::VirtualBoard& vb() { return port_.board(); }
  std::uint16_t boardWord(int ch) {
    const auto& pose = port_.board().live().pose;
    return static_cast<std::uint16_t>(pose[1 + 2 * ch] << 8 | pose[2 + 2 * ch]);
  }
  void setBoardPose(std::uint8_t lead, std::uint16_t word) {
    PositionRecord r;
    r.lead = lead;
    r.block.words.fill(word);
    ASSERT_TRUE(sendLiveRecord(link_, r));
  }
  void chooseLinkSet(std::vector<std::string> entries) {
    entries.resize(kChannelCount);
    editor_.setLinkActions(entries);
    editor_.setLinkChosen(true);
  }

  Chart chart_;
  int item_ = -1;
  VirtualBoardPort port_;
  test::FakeUserInterface ui_;
  BoardLink link_{port_, ui_};
  PoseEditor editor_{chart_};
  bool sync_ = true;
  std::vector<int> shownChannels_;
};

TEST_F(PoseEditorTest, OpeningShowsTheItemAndSendsItUnderSync) {
  item().PrmWords[0] = 0x8001;
  item().PrmWords[1] = 0x8090;
  item().PrmWords[2] = 20000;
  editor_.open(item_);
  EXPECT_EQ(vb().handshakeCount(), 0u);  // nothing goes out before the window shows
  EXPECT_TRUE(editor_.sendOpenedPose());
  EXPECT_EQ(editor_.speedBar(), 50);
  EXPECT_EQ(editor_.channel(0).mode, kModeDigital);
  EXPECT_EQ(editor_.channel(1).mode, kModeSpeed);
  EXPECT_EQ(editor_.channel(2).positionBar, 17074);
  EXPECT_EQ(shownChannels_.size(), 24u);
  EXPECT_EQ(vb().live().pose[0], 50);
  EXPECT_EQ(boardWord(0), 0x8001);
  EXPECT_EQ(boardWord(2), 17074);        // as the bar shows it
  EXPECT_EQ(item().PrmWords[2], 20000);  // opening does not rewrite the item's words
}

TEST_F(PoseEditorTest, AnAllZeroItemTakesTheRobotsPoseFirst) {
  setBoardPose(77, 16000);
  item().PrmWords.fill(0);
  editor_.open(item_);
  EXPECT_TRUE(editor_.sendOpenedPose());
  EXPECT_EQ(item().PrmByte, 50);  // the speed stays the item's own
  for (int ch = 0; ch < kChannelCount; ++ch) EXPECT_EQ(item().PrmWords[ch], 16000);
  EXPECT_EQ(editor_.channel(5).mode, kModeServo);
  EXPECT_EQ(vb().live().pose[0], 50);
}

TEST_F(PoseEditorTest, WithoutSyncNothingGoesToTheRobot) {
  sync_ = false;
  setBoardPose(10, 15000);
  const std::uint64_t before = vb().handshakeCount();
  item().PrmWords.fill(0);
  editor_.open(item_);
  EXPECT_TRUE(editor_.sendOpenedPose());
  EXPECT_TRUE(editor_.movePositionBar(3, 16500));
  EXPECT_EQ(vb().handshakeCount(), before);
  EXPECT_EQ(item().PrmWords[3], 16500);
  EXPECT_EQ(item().PrmWords[4], 0);
}

TEST_F(PoseEditorTest, BarsSendTheirChannelAndWord) {
  editor_.open(item_);
  EXPECT_TRUE(editor_.movePositionBar(6, 16900));
  EXPECT_EQ(item().PrmWords[6], 16900);
  EXPECT_EQ(editor_.channel(6).edit, 516);
  EXPECT_EQ(boardWord(6), 16900);
  EXPECT_EQ(boardWord(5), 16384);

  item().PrmWords[7] = kWordStretchBase + 3;
  editor_.open(item_);
  EXPECT_TRUE(editor_.moveSmallBar(7, 12));
  EXPECT_EQ(item().PrmWords[7], kWordStretchBase + 12);
  EXPECT_EQ(editor_.channel(7).edit, 24);
  EXPECT_EQ(boardWord(7), kWordStretchBase + 12);
}

TEST_F(PoseEditorTest, TypedValuesAndSpeed) {
  editor_.channel(2).rate = 0.5f;
  editor_.open(item_);
  editor_.enterValue(2, "-100");
  EXPECT_EQ(item().PrmWords[2], 16184);
  EXPECT_EQ(boardWord(2), 16184);
  editor_.enterSpeed("300");  // outside 1-255: the bar's position stays
  EXPECT_EQ(item().PrmByte, 50);
  editor_.enterSpeed("120");
  EXPECT_EQ(item().PrmByte, 120);
  EXPECT_TRUE(editor_.moveSpeedBar(9));
  EXPECT_EQ(item().PrmByte, 9);
}

TEST_F(PoseEditorTest, ASpeedOfZeroOpensAsOneWhateverWasOpenBefore) {
  editor_.open(item_);
  const int other = chart_.createItem(kItemPos, 100, 10);
  chart_.items[1].PrmByte = 1;
  editor_.open(other);
  item().PrmByte = 0;
  editor_.open(item_);
  EXPECT_EQ(item().PrmByte, 1);
}

TEST_F(PoseEditorTest, FreeRadioShowsWhereTheServoIs) {
  item().PrmWords[4] = kWordSet1;  // a setting: the servo is not driven
  editor_.open(item_);
  ASSERT_TRUE(editor_.sendOpenedPose());
  vb().live().servo[4] = 16500;
  editor_.releaseRadio(4, Radio::kFree);
  EXPECT_EQ(item().PrmWords[4], kWordFree);
  EXPECT_EQ(boardWord(4), kWordFree);
  EXPECT_EQ(editor_.channel(4).radio, Radio::kFree);
  EXPECT_EQ(editor_.channel(4).positionBar, 16500);
  EXPECT_EQ(editor_.channel(4).edit, 116);
  EXPECT_EQ(editor_.wordFromControls(4), kWordFree);  // the word stays free
}

TEST_F(PoseEditorTest, AFreeRadioThatDidNotGoOutReadsNothingBack) {
  item().PrmWords[4] = kWordSet1;
  editor_.open(item_);
  ASSERT_TRUE(editor_.sendOpenedPose());
  vb().live().servo[4] = 16500;
  const std::uint64_t before = vb().requestCount();
  vb().injectFault(Fault::noHandshake(), 1);
  editor_.releaseRadio(4, Radio::kFree);
  EXPECT_FALSE(link_.noReplySent());
  EXPECT_EQ(vb().requestCount(), before);    // neither the servo word nor a read went out
  EXPECT_EQ(item().PrmWords[4], kWordFree);  // the item keeps the new word
  EXPECT_EQ(editor_.channel(4).edit, 0);
}

TEST_F(PoseEditorTest, ChannelTypesSendTheirWord) {
  editor_.open(item_);
  editor_.chooseType(0, ChannelType::kHigh);
  EXPECT_EQ(item().PrmWords[0], kWordHigh);
  EXPECT_EQ(boardWord(0), kWordHigh);
  editor_.chooseType(0, ChannelType::kNone);
  EXPECT_EQ(item().PrmWords[0], 0);
  EXPECT_EQ(editor_.channel(0).mode, kModeNone);
  editor_.chooseType(0, ChannelType::kServo);
  EXPECT_EQ(item().PrmWords[0], 16384);
}

TEST_F(PoseEditorTest, ABarMovedWhileAnotherIsHandledStaysPut) {
  editor_.open(item_);
  vb().setPacing(true);  // so that the exchange has to wait for its bytes
  bool nestedAccepted = true;
  int calls = 0;
  // The exchange lets events run while it waits; a bar event arriving then is refused.
  port_.SetWaitHook([&] {
    if (calls++ == 0) nestedAccepted = editor_.movePositionBar(1, 15800);
  });
  EXPECT_TRUE(editor_.movePositionBar(0, 16000));
  port_.SetWaitHook(nullptr);
  EXPECT_FALSE(nestedAccepted);
  EXPECT_EQ(item().PrmWords[1], 16384);
  EXPECT_EQ(editor_.channel(1).positionBar, 16384);
  EXPECT_FALSE(editor_.busy());
}

TEST_F(PoseEditorTest, LinkStepNeedsAChosenEntry) {
  editor_.open(item_);
  editor_.setLinkActions(std::vector<std::string>{"MOV(10)"});
  EXPECT_FALSE(editor_.linkStep(kLinkForward));
  EXPECT_EQ(item().PrmWords[0], 16384);
}

TEST_F(PoseEditorTest, LinkStepMovesItemAndRobot) {
  item().PrmWords[0] = 17070;
  editor_.open(item_);
  chooseLinkSet({"MOV(10)", "SET(2)", "TTL(1)", "FREE", "SPD(5)", "PRM(-1000)"});
  EXPECT_TRUE(editor_.linkStep(kLinkBackward));
  EXPECT_EQ(item().PrmWords[0], 17060);
  EXPECT_EQ(item().PrmWords[1], 0x8004);
  EXPECT_EQ(item().PrmWords[2], 0x8001);
  EXPECT_EQ(item().PrmWords[3], 0x8002);
  EXPECT_EQ(item().PrmWords[4], 16384);
  EXPECT_EQ(item().PrmWords[5], 15694);
  EXPECT_EQ(editor_.channel(1).mode, kModeFree);
  EXPECT_EQ(editor_.channel(2).mode, kModeDigital);
  EXPECT_EQ(vb().live().pose[0], 1);  // a step goes out at lead 1
  EXPECT_EQ(boardWord(0), 17060);
  EXPECT_TRUE(editor_.linkStep(kLinkForward));
  EXPECT_EQ(item().PrmWords[0], 17070);
  EXPECT_TRUE(editor_.linkStep(kLinkForward));
  EXPECT_EQ(item().PrmWords[0], 17074);
}

TEST_F(PoseEditorTest, AFailedLiveSendLeavesTheItemUnchanged) {
  editor_.open(item_);
  chooseLinkSet({"MOV(10)", "FREE"});
  const PrmWordArray before = item().PrmWords;
  vb().injectFault(Fault::noHandshake(), 10);
  EXPECT_FALSE(editor_.linkStep(kLinkForward));
  EXPECT_EQ(item().PrmWords, before);
  EXPECT_EQ(editor_.channel(1).mode, kModeServo);
}

TEST_F(PoseEditorTest, TeachingFreesThenTakesThePositionsBack) {
  item().PrmWords[0] = 16000;
  item().PrmWords[3] = kWordHigh;
  editor_.open(item_);
  chooseLinkSet({"TCH", "TCH", "", "MOV(5)"});

  // First press: the teach channels go limp on the robot and in the item.
  EXPECT_TRUE(editor_.teach());
  EXPECT_EQ(item().PrmWords[0], kWordFree);
  EXPECT_EQ(item().PrmWords[1], kWordFree);
  EXPECT_EQ(item().PrmWords[2], 16384);
  EXPECT_EQ(item().PrmWords[3], kWordHigh);
  EXPECT_EQ(item().PrmByte, 50);
  EXPECT_EQ(boardWord(0), kWordFree);
  EXPECT_EQ(vb().live().pose[0], 50);

  // The hand moves the robot.
  vb().live().servo[0] = 16700;
  vb().live().servo[1] = 15900;
  // Second press: the positions of the free channels come into the item.
  EXPECT_TRUE(editor_.teach());
  EXPECT_EQ(item().PrmWords[0], 16700);
  EXPECT_EQ(item().PrmWords[1], 15900);
  EXPECT_EQ(item().PrmWords[2], 16384);
  EXPECT_EQ(item().PrmWords[3], kWordHigh);
  EXPECT_EQ(item().PrmByte, 50);
  EXPECT_EQ(editor_.channel(0).mode, kModeServo);
  EXPECT_EQ(editor_.channel(0).positionBar, 16700);
  EXPECT_EQ(boardWord(0), kWordTeach);  // the taught channels hold where they were put
  EXPECT_EQ(boardWord(2), 16384);
}

TEST_F(PoseEditorTest, TeachingWithoutAChosenEntryDoesNothing) {
  editor_.open(item_);
  editor_.setLinkActions(std::vector<std::string>{"TCH"});
  EXPECT_FALSE(editor_.teach());
  EXPECT_EQ(item().PrmWords[0], 16384);
}

TEST_F(PoseEditorTest, ToolPanelOperations) {
  editor_.open(item_);
  setBoardPose(9, 15800);
  EXPECT_TRUE(editor_.getPose());
  EXPECT_EQ(item().PrmWords[10], 15800);
  EXPECT_EQ(item().PrmByte, 50);

  EXPECT_TRUE(editor_.movePositionBar(0, 16200));
  sync_ = false;
  EXPECT_TRUE(editor_.movePositionBar(0, 16300));
  EXPECT_EQ(boardWord(0), 16200);
  EXPECT_TRUE(editor_.sendPose());  // sends whatever SYNC says
  EXPECT_EQ(boardWord(0), 16300);

  EXPECT_TRUE(editor_.makeHomePosition());
  EXPECT_EQ(vb().memory().home[0], 16300);
  EXPECT_EQ(vb().memory().home[1], 15800);

  EXPECT_TRUE(editor_.toggleSleep());
  EXPECT_TRUE(vb().live().working.options & board::kOptSleep);
  EXPECT_TRUE(editor_.toggleSleep());
  EXPECT_FALSE(vb().live().working.options & board::kOptSleep);
}

TEST_F(PoseEditorTest, ReturnToHomeLoadsTheItemOnlyFromTheEditor) {
  vb().memory().home.fill(16100);
  editor_.open(item_);
  const PrmWordArray before = item().PrmWords;
  EXPECT_TRUE(editor_.returnToHome(false));
  EXPECT_EQ(item().PrmWords, before);
  EXPECT_EQ(item().PrmByte, 50);
  EXPECT_EQ(boardWord(0), 16100);
  EXPECT_EQ(vb().live().pose[0], 100);

  EXPECT_TRUE(editor_.returnToHome(true));
  EXPECT_EQ(item().PrmByte, 100);
  for (int ch = 0; ch < kChannelCount; ++ch) EXPECT_EQ(item().PrmWords[ch], 16100);
  EXPECT_EQ(editor_.speedBar(), 100);
  EXPECT_FALSE(vb().live().working.options & board::kOptSleep);
}

TEST_F(PoseEditorTest, RenamingSendsEveryName) {
  std::vector<std::string> entries(24);
  entries[0] = "肩";
  entries[23] = "足首の長い名前はここで三十二バイトに切られます";
  EXPECT_TRUE(editor_.renameChannels(entries));
  EXPECT_EQ(editor_.names()[0], "肩");
  EXPECT_EQ(editor_.names()[1], "CH2");
  const auto& stored = vb().memory().channelNames;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stored[1].data()), 3), "CH2");
  EXPECT_EQ(stored[23][31] != 0, true);  // cut to 32 bytes, nothing lost before
  vb().injectFault(Fault::noHandshake(), 10);
  EXPECT_FALSE(editor_.renameChannels(entries));
}

TEST_F(PoseEditorTest, DisplayRatesRefuseZeroAndText) {
  editor_.open(item_);
  item().PrmWords[0] = 16484;
  editor_.open(item_);
  std::vector<std::string> rates(24, "");
  rates[0] = "0.5";
  rates[1] = "0";
  rates[2] = "abc";
  editor_.setDisplayRates(rates);
  EXPECT_EQ(editor_.channel(0).rate, 0.5f);
  EXPECT_EQ(editor_.channel(0).edit, 50);
  EXPECT_EQ(editor_.channel(1).rate, 1.0f);
  EXPECT_EQ(editor_.channel(2).rate, 1.0f);
}

TEST_F(PoseEditorTest, ADeletedItemIsNotWrittenTo) {
  editor_.open(item_);
  chart_.items.clear();
  EXPECT_EQ(editor_.editedItem(), nullptr);
  EXPECT_TRUE(editor_.movePositionBar(0, 16000));  // the controls and the robot still follow
  EXPECT_EQ(boardWord(0), 16000);
}

TEST(PoseRecordOfItem, AsTheControlsShowIt) {
  ChartItem item = defaultItem(kItemPos, 0, 0);
  item.PrmByte = 0;
  item.PrmWords.fill(0x8006);
  item.PrmWords[0] = 20000;
  item.PrmWords[1] = 0x8003;
  const PositionRecord r = poseRecordOfItem(item);
  EXPECT_EQ(r.lead, 1);
  EXPECT_EQ(r.block.words[0], 17074);
  EXPECT_EQ(r.block.words[1], 0x8003);
  EXPECT_EQ(r.block.words[2], 0);
}

}  // namespace
}  // namespace pvrj
