// The trim rules and the trim dialog's board sequences against the in-process virtual board.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "common/FileIo.h"
#include "tests/support/TempFolderTest.h"
#include "tests/tools/ToolRig.h"
#include "tools/core/Trims.h"

namespace pvrj {
namespace {

using test::kSleepExchanges;
using test::kWakeExchanges;
using test::ToolRig;

TrimValues centred() {
  TrimValues v;
  v.fill(kTrimCentre);
  return v;
}

TEST(TrimRows, ValuesAtAndBeyondTheBoundsShowTheirTrueOffset) {
  struct Case {
    int value;
    int bar;
    int shown;
  };
  const Case cases[] = {{16384, 16384, 0},    {16039, 16039, -345}, {16729, 16729, 345},
                        {16038, 16039, -346}, {16730, 16729, 346},  {0, 16039, -16384},
                        {65535, 16729, 49151}};
  for (const Case& c : cases) {
    TrimValues v = centred();
    v[4] = static_cast<std::uint16_t>(c.value);
    const TrimRows rows = trimRows(v);
    EXPECT_EQ(rows[4].bar, c.bar) << c.value;
    EXPECT_EQ(rows[4].shown, c.shown) << c.value;
    // Closing writes what the bar holds: the nearer bound.
    EXPECT_EQ(collectTrims(rows)[4], c.bar) << c.value;
  }
}

TEST(TrimRows, BlockIsHighByteFirstChannelOneFirst) {
  TrimValues v = centred();
  v[0] = 0x3F00;
  v[23] = 0x412C;
  const auto bytes = trimBlock(v).encode();
  EXPECT_EQ(bytes[0], 0x3F);
  EXPECT_EQ(bytes[1], 0x00);
  EXPECT_EQ(bytes[46], 0x41);
  EXPECT_EQ(bytes[47], 0x2C);
  TrimValues back{};
  ASSERT_TRUE(decodeTrims(bytes, back));
  EXPECT_EQ(back, v);
  EXPECT_FALSE(decodeTrims(std::span(bytes).first(47), back));
}

TEST(TrimLive, BarMovesSendTheNewPosition) {
  ToolRig r;
  TrimRows rows = trimRows(centred());
  moveTrimBar(r.link, rows, 2, 16500);
  EXPECT_EQ(rows[2], (TrimRow{16500, 116}));
  EXPECT_EQ(r.board().live().working.trims[2], 16500);
  EXPECT_EQ(r.board().memory().stored.trims[2], kTrimCentre);  // the stored copy waits
}

TEST(TrimLive, TypedOffsetsAreHeldWithinTheRange) {
  struct Case {
    const char* text;
    int shown;
  };
  // "abc" keeps the offset the bar shows (here 20) and still sends it.
  const Case cases[] = {{"100", 100}, {"-345", -345},  {"345", 345},
                        {"346", 345}, {"-5000", -345}, {"abc", 20},
                        {"", 20},     {" 7 ", 7},      {"99999999999", 20}};
  for (const Case& c : cases) {
    ToolRig r;
    TrimRows rows = trimRows(centred());
    rows[0] = {kTrimCentre + 20, 20};
    const std::uint64_t before = r.board().requestCount();
    EXPECT_EQ(enterTrimOffset(r.link, rows, 0, c.text), c.shown) << c.text;
    EXPECT_EQ(rows[0].bar, kTrimCentre + c.shown) << c.text;
    EXPECT_EQ(r.board().requestCount(), before + 1) << c.text;
    EXPECT_EQ(r.board().live().working.trims[0], kTrimCentre + c.shown) << c.text;
  }
}

TEST(TrimOpening, SleepsReadsTheStoredCopyAndWakes) {
  ToolRig r;
  r.board().memory().stored.trims[6] = 16700;
  r.board().live().working.trims[6] = 16100;
  TrimValues v{};
  EXPECT_EQ(openTrims(r.link, v), TrimOpening::kReady);
  EXPECT_EQ(v[6], 16700);
  EXPECT_FALSE(r.asleep());
  EXPECT_EQ(r.ui.boardStates, (std::vector<std::string>{"スリープ", "動作中"}));
}

TEST(TrimOpening, FailuresStopWhereTheyHappen) {
  {
    ToolRig r;
    r.failExchange(0);
    TrimValues v{};
    EXPECT_EQ(openTrims(r.link, v), TrimOpening::kSleepFailed);
    EXPECT_FALSE(r.asleep());
  }
  {
    ToolRig r;
    r.failExchange(kSleepExchanges);
    TrimValues v{};
    EXPECT_EQ(openTrims(r.link, v), TrimOpening::kReadFailed);
    EXPECT_TRUE(r.asleep());  // the board stays asleep
  }
  {
    ToolRig r;
    r.failExchange(kSleepExchanges + 1);
    TrimValues v{};
    EXPECT_EQ(openTrims(r.link, v), TrimOpening::kWakeFailed);
    EXPECT_TRUE(r.asleep());
  }
}

TEST(TrimClosing, WritesTheStoredCopyBetweenSleepAndWake) {
  ToolRig r;
  TrimValues v = centred();
  v[23] = 16729;
  EXPECT_EQ(closeTrims(r.link, v), TrimClosing::kStored);
  EXPECT_EQ(r.board().memory().stored.trims[23], 16729);
  EXPECT_FALSE(r.asleep());
}

TEST(TrimClosing, AFailedSleepWritesNothingAFailedWriteStillWakes) {
  {
    ToolRig r;
    r.failExchange(0);
    TrimValues v = centred();
    v[0] = 16000;
    EXPECT_EQ(closeTrims(r.link, v), TrimClosing::kSleepFailed);
    EXPECT_EQ(r.board().memory().stored.trims[0], kTrimCentre);
    EXPECT_EQ(r.board().requestCount(), 0u);
  }
  {
    ToolRig r;
    r.failExchange(kSleepExchanges);
    TrimValues v = centred();
    v[0] = 16100;
    EXPECT_EQ(closeTrims(r.link, v), TrimClosing::kWriteFailed);
    EXPECT_EQ(r.board().memory().stored.trims[0], kTrimCentre);
    EXPECT_FALSE(r.asleep());  // woken whatever the write did
  }
}

class TrimFileTest : public test::TempFolderTest {
 protected:
  void write(const std::string& name, const std::string& text) {
    ASSERT_TRUE(writeTextFile(path(name), text));
  }
  std::string fullFile(int skip = -1, const std::string& fifth = "16384") {
    std::string text = "[TrimData]\r\n";
    for (int n = 1; n <= 24; ++n) {
      if (n == skip) continue;
      text +=
          "CH" + std::to_string(n) + "=" + (n == 5 ? fifth : std::to_string(16000 + n)) + "\r\n";
    }
    return text;
  }
};

TEST_F(TrimFileTest, ReadsTheTwentyFourKeys) {
  write("t.VLB", fullFile());
  Result<TrimValues> v = readTrimFile(path("t.VLB"));
  ASSERT_TRUE(v);
  EXPECT_EQ(v.value()[0], 16001);
  EXPECT_EQ(v.value()[4], 16384);
  EXPECT_EQ(v.value()[23], 16024);
}

TEST_F(TrimFileTest, UnusableFilesAreRefusedWhole) {
  struct Case {
    const char* what;
    std::string text;
  };
  const Case cases[] = {
      {"no section", "[Other]\r\nCH1=16384\r\n"},
      {"CH5 missing", fullFile(5)},
      {"CH5 not a number", fullFile(-1, "abc")},
      {"CH5 is -1", fullFile(-1, "-1")},
      {"CH5 negative", fullFile(-1, "-7")},
      {"CH5 beyond 16 bits", fullFile(-1, "70000")},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    write("bad.VLB", c.text);
    Result<TrimValues> v = readTrimFile(path("bad.VLB"));
    ASSERT_FALSE(v) << c.what;
    EXPECT_EQ(v.message(), kTrimFileUnusable) << c.what;
  }
  EXPECT_FALSE(readTrimFile(path("absent.VLB")));
}

TEST_F(TrimFileTest, ARefusedFileWarnsAndChangesNothingOnTheBoard) {
  ToolRig r;
  write("bad.VLB", fullFile(5));
  TrimValues v = centred();
  EXPECT_FALSE(loadTrimFile(r.ui, path("bad.VLB"), v));
  ASSERT_EQ(r.ui.messages.size(), 1u);
  EXPECT_EQ(r.ui.messages[0].kind, kMsgWarning);
  EXPECT_EQ(r.ui.messages[0].buttons, kBtnOk);
  EXPECT_EQ(r.ui.messages[0].text, "指定のファイルは使用できません");
  EXPECT_EQ(v, centred());
  EXPECT_EQ(r.exchanges(), 0u);  // nothing sent
}

TEST_F(TrimFileTest, LoadedTrimsGoToTheWorkingCopyOnly) {
  ToolRig r;
  write("t.VLB", fullFile());
  TrimValues v{};
  ASSERT_TRUE(loadTrimFile(r.ui, path("t.VLB"), v));
  EXPECT_TRUE(sendLoadedTrims(r.link, v));
  EXPECT_EQ(r.board().live().working.trims[0], 16001);
  EXPECT_EQ(r.board().memory().stored.trims[0], kTrimCentre);
  EXPECT_FALSE(r.asleep());
}

TEST_F(TrimFileTest, AFailedWriteAfterLoadingLeavesTheBoardAsleep) {
  ToolRig r;
  write("t.VLB", fullFile());
  TrimValues v{};
  ASSERT_TRUE(loadTrimFile(r.ui, path("t.VLB"), v));
  r.failExchange(kSleepExchanges);
  EXPECT_FALSE(sendLoadedTrims(r.link, v));
  EXPECT_EQ(r.board().live().working.trims[0], kTrimCentre);
  EXPECT_TRUE(r.asleep());
}

TEST_F(TrimFileTest, SavingReplacesTheWholeFileWithTheOneSection) {
  write("walk.VLB", "[GraphicalEdit]\r\nType=0\r\n[Item0]\r\nName=POS\r\n");
  TrimValues v = centred();
  v[0] = 16039;
  test::FakeUserInterface ui;
  ASSERT_TRUE(saveTrimFile(ui, path("walk.VLB"), v));
  Result<std::string> text = readTextFile(path("walk.VLB"));
  ASSERT_TRUE(text);
  EXPECT_EQ(text.value().rfind("[TrimData]\r\nCH1=16039\r\nCH2=16384\r\n", 0), 0u);
  EXPECT_EQ(text.value().find("GraphicalEdit"), std::string::npos);
  EXPECT_NE(text.value().find("CH24=16384\r\n"), std::string::npos);
  EXPECT_EQ(readTrimFile(path("walk.VLB")).value(), v);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TrimFileTest, AnUnwritablePlaceGivesTheError) {
  test::FakeUserInterface ui;
  EXPECT_FALSE(saveTrimFile(ui, path("no/such/folder/t.VLB"), centred()));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, kMsgError);
  EXPECT_EQ(ui.messages[0].text, "指定の場所には保存できません");
}

TEST_F(TrimFileTest, AWriteThatFailsAfterTheProbeIsReportedAndKeepsTheFile) {
  write("kept.VLB", "[GraphicalEdit]\r\n");
  // A file size limit makes the write itself fail, as a full disk would, even for root.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {
      4, 4
    };
    ::setrlimit(RLIMIT_FSIZE, &limit);
    test::FakeUserInterface ui;
    const bool saved = saveTrimFile(ui, path("kept.VLB"), centred());
    const bool told = ui.messages.size() == 1 && ui.messages[0].text == kTrimSaveRefused;
    ::_exit(!saved && told ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed save should show the error box";
  EXPECT_EQ(readTextFile(path("kept.VLB")).value(), "[GraphicalEdit]\r\n");
}

TEST(TrimSavePath, TheChartFilterGivesTheChartExtension) {
  EXPECT_EQ(trimSavePath("/x/trims.txt", true), "/x/trims.VLB");
  EXPECT_EQ(trimSavePath("/x/trims", true), "/x/trims.VLB");
  EXPECT_EQ(trimSavePath("/x/trims.txt", false), "/x/trims.txt");
}

}  // namespace
}  // namespace pvrj
