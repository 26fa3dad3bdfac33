// The receiver dialog's board sequences against the in-process virtual board.
#include <gtest/gtest.h>

#include "protocol/BoardMessages.h"
#include "tests/tools/ToolRig.h"
#include "tools/core/ReceiverSettings.h"

namespace pvrj {
namespace {

using test::ToolRig;

constexpr int kStreamExchanges = 2;  // read the word, write it

TEST(ReceiverOpen, StreamOnAndTheStoredReferences) {
  ToolRig r;
  r.board().memory().stored.receiverRefs = {10, 20, 30, 40};
  ReceiverSettings s;
  ASSERT_TRUE(openReceiverDialog(r.link, r.ui, s));
  EXPECT_EQ(s.references, (std::array<std::uint8_t, 4>{10, 20, 30, 40}));
  EXPECT_EQ(r.workingOptions() & kOptionReceiverStream, kOptionReceiverStream);
  EXPECT_TRUE(r.ui.statuses.empty());
}

TEST(ReceiverOpen, EitherFailureSaysSoAndLeavesTheStreamAsItIs) {
  {
    ToolRig r;
    r.failExchange(0);
    ReceiverSettings s;
    EXPECT_FALSE(openReceiverDialog(r.link, r.ui, s));
    EXPECT_EQ(r.ui.statuses, (std::vector<std::string>{"受信データの設定値が呼び出せません"}));
  }
  {
    ToolRig r;
    r.failExchange(kStreamExchanges, board::Fault::wrongChecksum());
    ReceiverSettings s;
    EXPECT_FALSE(openReceiverDialog(r.link, r.ui, s));
    EXPECT_EQ(r.ui.statuses, (std::vector<std::string>{"受信データの設定値が呼び出せません"}));
    EXPECT_EQ(r.workingOptions() & kOptionReceiverStream, kOptionReceiverStream);  // still on
  }
}

TEST(ReceiverClose, StoresThenSwitchesTheStreamOff) {
  ToolRig r;
  ReceiverSettings s;
  ASSERT_TRUE(openReceiverDialog(r.link, r.ui, s));
  s.references = {1, 2, 3, 4};
  ASSERT_TRUE(closeReceiverDialog(r.link, r.ui, s));
  EXPECT_EQ(r.board().memory().stored.receiverRefs, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(r.workingOptions() & kOptionReceiverStream, 0);
}

TEST(ReceiverClose, AFailedStoreSaysSoAndTheStreamStaysOn) {
  ToolRig r;
  ReceiverSettings s;
  ASSERT_TRUE(openReceiverDialog(r.link, r.ui, s));
  r.failExchange(0, board::Fault::garbage());
  EXPECT_FALSE(closeReceiverDialog(r.link, r.ui, s));
  EXPECT_EQ(r.ui.statuses, (std::vector<std::string>{"受信データの設定値が呼び出せません"}));
  EXPECT_EQ(r.workingOptions() & kOptionReceiverStream, kOptionReceiverStream);
}

TEST(ReceiverLive, AutoForPa3SendsTheOthersAndFF) {
  ToolRig r;
  r.board().live().receiver = {0, 0, 99, 0};
  ReceiverSettings s;
  s.references = {64, 64, 64, 64};
  EXPECT_EQ(receiverBlock([&] {
              ReceiverSettings t = s;
              t.references[2] = kTakeReceiverReading;
              return t;
            }()),
            (Bytes{64, 64, 255, 64}));
  ASSERT_TRUE(autoReceiverReference(r.link, s, 2));
  EXPECT_EQ(s.references, (std::array<std::uint8_t, 4>{64, 64, 99, 64}));
  EXPECT_EQ(r.board().live().working.receiverRefs, (std::array<std::uint8_t, 4>{64, 64, 99, 64}));
  EXPECT_EQ(r.board().memory().stored.receiverRefs[2], 64);
}

TEST(ReceiverLive, AFailedAutoKeepsTheUsersValues) {
  ToolRig r;
  ReceiverSettings s;
  s.references = {5, 6, 7, 8};
  r.failExchange(0);
  EXPECT_FALSE(autoReceiverReference(r.link, s, 0));
  EXPECT_EQ(s.references, (std::array<std::uint8_t, 4>{5, 6, 7, 8}));
  EXPECT_TRUE(r.ui.statuses.empty());
}

TEST(ReceiverLive, BarDragSendsOnceWhenItEnds) {
  ToolRig r;
  ReceiverSettings s;
  for (int p = 10; p < 20; ++p) ASSERT_TRUE(moveReceiverReference(r.link, s, 1, p, false));
  EXPECT_EQ(r.board().requestCount(), 0u);
  EXPECT_EQ(s.references[1], 19);
  ASSERT_TRUE(moveReceiverReference(r.link, s, 1, 200, true));
  EXPECT_EQ(s.references[1], 127);
  EXPECT_EQ(r.board().requestCount(), 1u);
  EXPECT_EQ(r.board().live().working.receiverRefs[1], 127);
}

TEST(ReceiverReports, ABelowReferenceReadingShowsANegativeChange) {
  ReceiverSettings s;
  s.references = {64, 64, 64, 64};
  ReceiverReport report;
  report.buttonValue = 7;
  report.values = {16, 32, 48, 64};
  takeReceiverReport(s, report);
  EXPECT_EQ(s.button, 7);
  EXPECT_EQ(receiverChange(s, 0), -48);
  EXPECT_EQ(receiverChange(s, 3), 0);
}

}  // namespace
}  // namespace pvrj
