// Moving motions and scenarios between the open chart and the board: write, read, delete, play,
// stop, pause and the return to the home position, with their questions and status lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "common/UserInterface.h"
#include "compiler/Compile.h"
#include "compiler/Rebuild.h"
#include "protocol/BoardLink.h"
#include "protocol/MotionTable.h"

namespace pvrj {

// Speed of the live record that sends the robot home.
inline constexpr std::uint8_t kHomeSpeed = 100;

// Status texts of the transfers.
inline constexpr const char* kStatusAssembled = "アセンブル成功";
inline constexpr const char* kStatusScenarioConverted = "シナリオ変換成功";
inline constexpr const char* kStatusSleepOn = "スリープON";
inline constexpr const char* kStatusSleepOff = "スリープOFF";
inline constexpr const char* kStatusWritten = "書込成功";
inline constexpr const char* kStatusRecordWritten = "個目書込みました";
inline constexpr const char* kStatusEntryWritten = "ＰＣＴを書き込ました";
inline constexpr const char* kStatusEntryRead = "ＰＣＴを読み込みました";
inline constexpr const char* kStatusRecordRead = "個目読み込みました";
inline constexpr const char* kStatusNoData = "データがありません";
inline constexpr const char* kStatusFetched = "吸い出し成功";
inline constexpr const char* kStatusRead = "読込成功";
inline constexpr const char* kStatusDeleted = "データ削除完了";
inline constexpr const char* kStatusPlaySent = "再生コマンド送信";
inline constexpr const char* kDeleteQuestion = "しつこいようですが、本当に消して構いませんね？";
inline constexpr const char* kStatusStopped = "停止しました";
inline constexpr const char* kStatusPaused = "一時停止しました";
inline constexpr const char* kStatusResumed = "再開しました";

// The actions a failure status names: action + "失敗: " + which exchange failed and how.
inline constexpr const char* kActionWrite = "書込";
inline constexpr const char* kActionRead = "読込";
inline constexpr const char* kActionDelete = "削除";
inline constexpr const char* kActionPlay = "再生";
inline constexpr const char* kActionStop = "停止";
inline constexpr const char* kActionPause = "一時停止";
inline constexpr const char* kActionHome = "ホームポジション";
inline constexpr const char* kActionSleepOn = "スリープON";
inline constexpr const char* kActionSleepOff = "スリープOFF";

// Everything a transfer works on. The callbacks are optional.
struct TransferContext {
  BoardLink& link;
  UserInterface& ui;
  Chart& chart;
  CompilerState& state;
  MotionTable& table;
  // Records or steps moved so far and how many there are, for a progress bar; (0, 0) when the
  // transfer is over.
  std::function<void(int done, int total)> progress;
  // The chart's Name was set from the board: the edit tab shows "EDIT " + Name.
  std::function<void(const std::string& name)> nameChanged;
  // The chart's items changed or should be shown again.
  std::function<void()> redraw;
  // Pixel width of an item name in the main window's font (scenario read-back).
  TextWidthSource textWidth;
};

// The slot chooser's lists and questions.
std::string motionOverflowQuestion(int slot, std::size_t records);
std::string scenarioOverflowQuestion();
// Why a motion cannot be written into slot, or nothing when it fits.
std::optional<std::string> motionDoesNotFit(int slot, std::size_t records);

// The buttons. Each returns true when it did all it set out to do. Every exchange that fails is
// told in the status line (action + "失敗: " + the reason), so no success text is the last word.
bool writeChartToBoard(TransferContext& context);     // write button
bool readChartFromBoard(TransferContext& context);    // read button
bool deleteFromBoard(TransferContext& context);       // delete button
bool playOnBoard(TransferContext& context);           // play button
bool stopBoard(BoardLink& link, UserInterface& ui);   // stop button: "停止しました"
bool pauseBoard(BoardLink& link, UserInterface& ui);  // pause button (toggle): paused or resumed
// Puts the board to sleep (on) or wakes it, with "スリープON" / "スリープOFF".
bool sleepBoard(BoardLink& link, UserInterface& ui, bool on);
// Another program asked to play a slot: numbers 85 and above are ignored.
bool playSlotRequest(BoardLink& link, UserInterface& ui, std::uint32_t slot);

// The pieces, for callers that choose the slot themselves (pvrj-cli).
// Writes the current image's records into motion slot a; the board must already sleep.
bool writeMotion(TransferContext& context, int slot);
// Writes the current scenario steps into scenario s (0-4); the board must already sleep.
bool writeScenario(TransferContext& context, int scenario);
// Compiles (or converts) the chart, puts the board to sleep, writes it into the slot (a motion
// slot 0-79 for a motion chart, a scenario 0-4 for a scenario chart) and wakes the board.
bool writeChartToSlot(TransferContext& context, int slot);
// How a read ended.
enum class ReadResult {
  kFailed,        // nothing read (empty slot, or the link failed); the chart's items unchanged
  kReadNotWoken,  // the chart holds what was read, but the board did not wake afterwards
  kRead,          // read and woken
};
// Reads entry k (0-84) into the chart: the read button after its chooser.
ReadResult readSlotIntoChart(TransferContext& context, int k);
// Asks the insisting question and deletes entry k.
bool deleteSlot(TransferContext& context, int k);

// Sends the robot to its home position: sleep, stop, read the home pose, send it live at speed
// 100, clear pause and wake. The record sent is handed back (the position editor loads it into
// its item). Stops at the first failure; the board then may stay asleep.
bool returnToHome(BoardLink& link, PositionRecord* sent = nullptr);
// The home position button: returnToHome, with a failure told in the status line.
bool homePositionButton(BoardLink& link, UserInterface& ui);

}  // namespace pvrj
