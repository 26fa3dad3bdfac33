// Board images: everything a user set on the board (the motion table, the records and steps of
// every used slot, trims, options, home pose, channel names and the other settings blocks) in one
// INI text file, one key per block in hex; taken from a board and written back to one.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Result.h"
#include "common/UserInterface.h"
#include "compiler/Records.h"
#include "compiler/Transfer.h"
#include "protocol/BoardLink.h"

namespace pvrj {

// The header section and the format written; a file of another format is refused.
inline constexpr const char* kImageSection = "PivoraBoardImage";
inline constexpr int kImageFormat = 1;
inline constexpr const char* kImageTableSection = "Table";
inline constexpr const char* kImageSettingsSection = "Settings";

// Status texts and the actions a failure names.
inline constexpr const char* kActionBackup = "バックアップ";
inline constexpr const char* kActionRestore = "復元";
inline constexpr const char* kStatusBackedUp = "ボードイメージを保存しました: ";    // + path
inline constexpr const char* kStatusRestored = "ボードイメージを書き戻しました: ";  // + path
inline constexpr const char* kStatusSlotRestored = "を書き戻しました";  // slot caption +
inline constexpr const char* kStatusSettingsRestored = "設定を書き戻しました";

// One of the board's settings blocks as the image keeps it.
struct SettingBlock {
  std::string key;     // "TrimsStored", "ChannelName5", ...
  std::size_t length;  // data bytes
  // Reads the block's data bytes (no checksum); false when the board did not give them.
  std::function<bool(BoardLink& link, Bytes& data)> read;
  // Writes data (length bytes) back.
  std::function<bool(BoardLink& link, const Bytes& data)> write;
};
// Every settings block, in the order the image lists them.
const std::vector<SettingBlock>& settingBlocks();

struct BoardImage {
  // The header: who made the image and when, and the board's information text (told, never
  // written back: the board's own).
  std::string program;
  std::string date;
  Bytes boardInfo;

  std::array<TableEntryData, kTableSlots> entries{};
  // The records of each motion slot whose entry counts any (record i at index i).
  std::array<std::vector<MotionRecord>, kMotionSlots> records;
  // The steps of each scenario whose entry counts any.
  std::array<std::vector<std::uint8_t>, kScenarioSlots> steps;
  // The data of every settings block, in settingBlocks() order.
  std::vector<Bytes> settings;

  // Equal in everything a restore writes (the header aside).
  bool sameContents(const BoardImage& other) const;
};

// The image as file text: UTF-8 (all ASCII), CR LF.
std::string boardImageText(const BoardImage& image);
// Reads image text, refusing anything that is not a whole, unchanged image of this format; the
// message says why.
Result<BoardImage> parseBoardImage(std::string_view text);
Result<BoardImage> loadBoardImage(const std::string& path);
// Writes the file whole or not at all.
Status saveBoardImage(const BoardImage& image, const std::string& path);

// What a restore writes.
enum class RestoreScope {
  kAll,
  kMotions,   // the table, records and scenario steps
  kSettings,  // the settings blocks
};

// The board and the user interface an image moves through.
struct ImageTransfer {
  BoardLink& link;
  UserInterface& ui;
  // Blocks, records and steps moved so far and how many in all; (0, 0) when it is over.
  std::function<void(int done, int total)> progress;
  // verify: every record, step, entry and block written is read back and compared.
  // keepFolder: each occupied slot a restore replaces with something else is kept there first.
  WriteSafety safety;
};

// Reads the whole board into image, with the board asleep meanwhile. False (told in the status
// line) when an exchange fails; the board then may stay asleep.
bool backupBoard(ImageTransfer& transfer, BoardImage& image);
// backupBoard, then saveBoardImage; a path that cannot be written is found before the board is
// asked for anything. The status line names the file.
bool backupBoardToFile(ImageTransfer& transfer, const std::string& path);

// Writes image back with the board asleep: for motions, every occupied entry that will change is
// kept (when a folder is set) and blanked first, then records and steps are written and checked,
// then the entries; for settings, every block, checked. Stops at the first failure or difference
// (told in the status line and, for a difference, in a message box), leaving the board asleep.
bool restoreBoard(ImageTransfer& transfer, const BoardImage& image, RestoreScope scope);
// loadBoardImage, then restoreBoard; a damaged or foreign file is refused (error box) before
// anything is sent.
bool restoreBoardFromFile(ImageTransfer& transfer, const std::string& path, RestoreScope scope);

// The question before a restore: what of the board will be replaced by the file's contents.
std::string restoreQuestion(const std::string& path, RestoreScope scope);

// "ボードイメージ FILE は使えません: " + why.
std::string imageRefusedMessage(const std::string& path, const std::string& why);

}  // namespace pvrj
