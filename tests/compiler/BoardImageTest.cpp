// Board images against the in-process virtual board: what a backup takes, what a restore puts
// back and checks, and the files that are refused before anything is sent.
#include <gtest/gtest.h>

#include <algorithm>

#include "board/VirtualBoardPort.h"
#include "common/FileIo.h"
#include "compiler/BoardImage.h"
#include "support/FakeUserInterface.h"
#include "support/TempFolderTest.h"

namespace pvrj {
namespace {

board::Record recordOf(std::uint8_t lead, std::uint16_t base) {
  board::Record r{};
  r[0] = lead;
  for (int ch = 0; ch < board::kChannelCount; ++ch) {
    const auto w = static_cast<std::uint16_t>(base + ch);
    r[1 + 2 * ch] = static_cast<std::uint8_t>(w >> 8);
    r[2 + 2 * ch] = static_cast<std::uint8_t>(w & 0xFF);
  }
  return r;
}

// A board a user has worked with: motions, a long motion, a scenario and every kind of setting.
void furnish(board::BoardMemory& m) {
  auto motion = [&m](int slot, int count, std::uint16_t base) {
    for (int i = 0; i < count; ++i)
      m.records[static_cast<std::size_t>(slot * board::kRecordsPerSlot + i)] =
          recordOf(static_cast<std::uint8_t>(10 + i), static_cast<std::uint16_t>(base + i * 30));
    m.table[slot] = board::blankTableEntry();
    m.table[slot][0] = static_cast<std::uint8_t>(count);
    m.table[slot][1] = 0xFF;
    m.table[slot][4] = 3;
    m.table[slot][10] = 'A' + static_cast<char>(slot % 26);
  };
  motion(0, 3, 2000);
  motion(5, 40, 4000);  // runs on into M7
  motion(79, 30, 8000);
  m.table[81] = board::blankTableEntry();
  m.table[81][0] = 3;
  m.scenarios[1] = {};
  m.scenarios[1][0] = 0;
  m.scenarios[1][1] = 5;
  m.scenarios[1][2] = 79;
  m.stored.options = 0x0A08;
  m.stored.trims[3] = 120;
  m.stored.receiverRefs = {60, 61, 62, 63};
  m.stored.sensor[4] = 9;
  m.stored.mixing[2][7] = 0x33;
  m.stored.analogRefs = {500, 510, 520};
  m.home[0] = 0x4100;
  m.channelNames[2] = {0x89, 0x45, 0x98, 0x72};  // "右腕" in CP932
  m.channelNames[2][31] = 0x7A;                  // a byte after the NUL bytes
  m.qvsMask = {0x01, 0x00, 0x80};
  m.alarm = {7, 0x01, 0x90};
  m.startData = {4, 9};
}

class BoardImageTest : public test::TempFolderTest {
 protected:
  board::VirtualBoardPort source;
  board::VirtualBoardPort target;
  test::FakeUserInterface ui;
  BoardLink sourceLink{source, ui};
  BoardLink targetLink{target, ui};
  std::vector<std::pair<int, int>> progress;

  void SetUp() override {
    TempFolderTest::SetUp();
    furnish(source.board().memory());
    source.board().powerCycle();  // the working copies take the stored ones
  }
  ImageTransfer transfer(BoardLink& link) {
    ImageTransfer t{link, ui, nullptr, WriteSafety{}};
    t.progress = [this](int done, int total) { progress.push_back({done, total}); };
    return t;
  }
  BoardImage backup(BoardLink& link) {
    ImageTransfer t = transfer(link);
    BoardImage image;
    EXPECT_TRUE(backupBoard(t, image));
    return image;
  }
};

TEST_F(BoardImageTest, BackupRestoredOntoABlankBoardGivesAnEqualBoard) {
  const BoardImage first = backup(sourceLink);
  EXPECT_EQ(first.records[5].size(), 40u);
  EXPECT_EQ(first.steps[1], (std::vector<std::uint8_t>{0, 5, 79}));
  EXPECT_FALSE(source.board().live().working.options & board::kOptSleep);  // woken again
  ImageTransfer t = transfer(targetLink);
  ASSERT_TRUE(restoreBoard(t, first, RestoreScope::kAll));
  EXPECT_TRUE(backup(targetLink).sameContents(first));
  const board::BoardMemory& a = source.board().memory();
  const board::BoardMemory& b = target.board().memory();
  EXPECT_EQ(a.table, b.table);
  EXPECT_EQ(a.stored, b.stored);
  EXPECT_EQ(a.channelNames, b.channelNames);
  EXPECT_EQ(a.home, b.home);
  EXPECT_EQ(a.qvsMask, b.qvsMask);
  EXPECT_EQ(a.alarm, b.alarm);
  EXPECT_EQ(a.startData, b.startData);
  EXPECT_TRUE(std::equal(a.records.begin(), a.records.begin() + 8 * board::kRecordsPerSlot,
                         b.records.begin()));
  EXPECT_EQ(progress.back(), std::make_pair(0, 0));
  EXPECT_FALSE(target.board().live().working.options & board::kOptSleep);
}

TEST_F(BoardImageTest, ImageTextReadsBackEqualAndDiffsLineByLine) {
  const BoardImage image = backup(sourceLink);
  const std::string text = boardImageText(image);
  Result<BoardImage> back = parseBoardImage(text);
  ASSERT_TRUE(back) << back.message();
  EXPECT_TRUE(back->sameContents(image));
  EXPECT_EQ(back->boardInfo, image.boardInfo);
  EXPECT_TRUE(text.starts_with("[PivoraBoardImage]\r\nFormat=1\r\nProgram=Pivora J "));
  EXPECT_NE(text.find("\r\n[M6]\r\nR1="), std::string::npos);
  EXPECT_NE(text.find("\r\nR40="), std::string::npos);
  EXPECT_NE(text.find("\r\n[S2]\r\nSteps=00054f\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nAlarm=070190\r\n"), std::string::npos);
  EXPECT_EQ(text.find("[M2]"), std::string::npos);  // an empty slot has no records section
}

TEST_F(BoardImageTest, DamagedOrForeignFilesAreRefused) {
  const std::string text = boardImageText(backup(sourceLink));
  auto replaced = [&text](const std::string& from, const std::string& to) {
    std::string t = text;
    t.replace(t.find(from), from.size(), to);
    return t;
  };
  struct Case {
    std::string name;
    std::string text;
    std::string why;
  };
  const Case cases[] = {
      {"empty", "", "ボードイメージではありません([PivoraBoardImage]がありません)"},
      {"chart file", "[GraphicalEdit]\r\nType=0\r\n", "ボードイメージではありません"},
      {"newer format", replaced("Format=1", "Format=2"), "形式2はこのプログラムでは読めません"},
      {"truncated", text.substr(0, text.size() / 2), "壊れています("},
      {"cut in a line", text.substr(0, text.find("\r\nM40=") + 20), "壊れています([Table]のM40"},
      {"a record missing", replaced("\r\nR40=", "\r\nX40="), "壊れています([M6]のR40"},
      {"not hex", replaced("Alarm=070190", "Alarm=07019g"), "壊れています([Settings]のAlarm"},
      {"a changed byte", replaced("Alarm=070190", "Alarm=070191"), "中身がチェック値と合いません"},
  };
  for (const Case& c : cases) {
    Result<BoardImage> image = parseBoardImage(c.text);
    ASSERT_FALSE(image) << c.name;
    EXPECT_TRUE(image.message().starts_with(c.why)) << c.name << ": " << image.message();
  }
}

TEST_F(BoardImageTest, RefusedFileSendsNothing) {
  ASSERT_TRUE(writeTextFile(path("half.img"), boardImageText(backup(sourceLink)).substr(0, 900)));
  const std::uint64_t before = target.board().handshakeCount();
  ImageTransfer t = transfer(targetLink);
  EXPECT_FALSE(restoreBoardFromFile(t, path("half.img"), RestoreScope::kAll));
  EXPECT_EQ(target.board().handshakeCount(), before);
  EXPECT_TRUE(
      ui.lastMessage().starts_with("ボードイメージ " + path("half.img") + " は使えません: "));
}

TEST_F(BoardImageTest, SettingsOnlyLeavesMotionsAndMotionsOnlyLeavesSettings) {
  const BoardImage image = backup(sourceLink);
  board::BoardMemory& m = target.board().memory();
  m.table[2][0] = 1;  // a motion of the target's own
  m.records[60] = recordOf(50, 100);
  const auto table = m.table;
  ImageTransfer t = transfer(targetLink);
  ASSERT_TRUE(restoreBoard(t, image, RestoreScope::kSettings));
  EXPECT_EQ(m.table, table);
  EXPECT_EQ(m.records[60], recordOf(50, 100));
  EXPECT_EQ(m.stored, source.board().memory().stored);
  EXPECT_EQ(m.channelNames, source.board().memory().channelNames);

  board::VirtualBoardPort other;
  BoardLink otherLink{other, ui};
  ImageTransfer o = transfer(otherLink);
  ASSERT_TRUE(restoreBoard(o, image, RestoreScope::kMotions));
  EXPECT_EQ(other.board().memory().table, source.board().memory().table);
  EXPECT_EQ(other.board().memory().stored, board::BoardMemory{}.stored);
}

TEST_F(BoardImageTest, RestoreKeepsWhatItReplacesAndBlanksBeforeWriting) {
  const BoardImage image = backup(sourceLink);
  board::BoardMemory& m = target.board().memory();
  m.table[3] = board::blankTableEntry();
  m.table[3][0] = 2;
  m.table[3][10] = 'Z';
  m.records[90] = recordOf(20, 3000);
  m.records[91] = recordOf(1, 0xFFFF);
  ImageTransfer t = transfer(targetLink);
  t.safety.keepFolder = path("kept");
  // Sleep, the 85 entries, M4's two records kept and its entry blanked; then the image's first
  // record fails: the target's motion must not stay counted over it.
  target.board().injectFaultAt(target.board().handshakeCount() + 5 + kTableSlots + 2 + 1,
                               board::Fault::noHandshake());
  EXPECT_FALSE(restoreBoard(t, image, RestoreScope::kAll));
  EXPECT_EQ(ui.statuses.back(),
            "復元失敗: CmdWritePositionRecord: ボードがハンドシェイクに応答しません");
  EXPECT_EQ(m.table[3], board::blankTableEntry());
  const std::string kept = "上書きするM4を保存しました: " + path("kept") + "/";
  EXPECT_TRUE(std::any_of(ui.statuses.begin(), ui.statuses.end(), [&kept](const std::string& s) {
    return s.starts_with(kept) && s.ends_with("-M4-Z.VLB");
  }));
}

TEST_F(BoardImageTest, RestoreStopsAtARecordThatReadsBackOtherwise) {
  const BoardImage image = backup(sourceLink);
  target.board().injectFault(board::Fault::corruptStore(1));
  ImageTransfer t = transfer(targetLink);
  EXPECT_FALSE(restoreBoard(t, image, RestoreScope::kAll));
  EXPECT_EQ(ui.statuses.back(), "復元失敗: M1の1個目のデータが書き込んだ内容と違います");
  EXPECT_EQ(ui.messages.back().kind, kMsgError);
  EXPECT_EQ(target.board().memory().table[0], board::blankTableEntry());
  // Without the check the spoiled record goes unnoticed.
  target.board().injectFault(board::Fault::corruptStore(1));
  t.safety.verify = false;
  EXPECT_TRUE(restoreBoard(t, image, RestoreScope::kAll));
  EXPECT_NE(target.board().memory().records[0], source.board().memory().records[0]);
}

TEST_F(BoardImageTest, WorkingOptionWordKeepsTheBoardsMomentaryBits) {
  const BoardImage image = backup(sourceLink);
  // The target streams its receiver readings at the moment.
  ASSERT_TRUE(targetLink.SetReceiverStream(kStreamOn));
  ImageTransfer t = transfer(targetLink);
  ASSERT_TRUE(restoreBoard(t, image, RestoreScope::kSettings));
  const std::uint16_t working = target.board().live().working.options;
  EXPECT_TRUE(working & kOptionReceiverStream);
  EXPECT_EQ(working & ~kOptionReceiverStream, 0x0A08);
}

TEST_F(BoardImageTest, BackupThatLosesTheBoardWritesNoFile) {
  source.board().injectFaultAt(source.board().handshakeCount() + 20, board::Fault::hangUp());
  ImageTransfer t = transfer(sourceLink);
  EXPECT_FALSE(backupBoardToFile(t, path("board.img")));
  EXPECT_FALSE(std::filesystem::exists(path("board.img")));
  EXPECT_TRUE(ui.statuses.back().starts_with("バックアップ失敗: CmdReadTableEntry: "))
      << ui.statuses.back();
}

}  // namespace
}  // namespace pvrj
