// The trim dialog's rules without its widgets: the trim range, what a row shows, the trim file,
// and the board sequences of opening, closing, moving a channel and loading a file.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/Result.h"
#include "common/UserInterface.h"
#include "protocol/BoardTypes.h"

namespace pvrj {

class BoardLink;

// A trim is an absolute servo position; the dialog allows the centre plus or minus 345.
inline constexpr int kTrimCentre = kPositionCentre;
inline constexpr int kTrimSpan = 345;
inline constexpr int kTrimMin = kTrimCentre - kTrimSpan;  // 16039
inline constexpr int kTrimMax = kTrimCentre + kTrimSpan;  // 16729

inline constexpr const char* kTrimSection = "TrimData";
inline constexpr const char* kTrimFileUnusable = "指定のファイルは使用できません";
inline constexpr const char* kTrimSaveRefused = "指定の場所には保存できません";

// The 24 absolute trims, CH1 first.
using TrimValues = std::array<std::uint16_t, kBoardChannels>;

// One channel row: where its bar stands and the offset its edit box shows. A board value outside
// the range shows its true offset while the bar sits at the nearer bound.
struct TrimRow {
  int bar = kTrimCentre;
  int shown = 0;
  bool operator==(const TrimRow&) const = default;
};
using TrimRows = std::array<TrimRow, kBoardChannels>;

// A position held within the bar's range.
int limitTrim(long long position);
// The rows showing these trims.
TrimRows trimRows(const TrimValues& values);
// The trims the bars hold.
TrimValues collectTrims(const TrimRows& rows);
// The trims as the 48-byte block the board takes; and back from a reply (false when shorter).
PositionBlock trimBlock(const TrimValues& values);
bool decodeTrims(std::span<const std::uint8_t> bytes, TrimValues& values);

// A bar moved (channel 0 to 23): the row follows and the board takes the position at once.
void moveTrimBar(BoardLink& link, TrimRows& rows, int channel, int position);
// Enter in a channel's edit box. Text that is no integer stands for the offset shown by the bar.
// The offset is held within -345 to +345 before it goes anywhere, so the servo, the bar, the box
// and the block written on closing agree. Returns the offset the box shows now.
int enterTrimOffset(BoardLink& link, TrimRows& rows, int channel, std::string_view text);

// How opening went. The rows show the read trims from kWakeFailed on.
enum class TrimOpening {
  kSleepFailed,  // the board did not go to sleep: nothing read
  kReadFailed,   // the trims could not be read: the board stays asleep
  kWakeFailed,   // read, but the board did not wake: the dialog is not shown
  kReady,        // read and awake: the dialog shows
};
// Sleep, read the stored trims, wake.
TrimOpening openTrims(BoardLink& link, TrimValues& values);

// How closing went.
enum class TrimClosing {
  kSleepFailed,  // nothing written
  kWriteFailed,  // the stored trims were not written; the board was woken
  kWakeFailed,   // written, but the board did not wake
  kStored,       // written and awake again
};
inline constexpr const char* kActionStoreTrims = "トリム保存";
// Sleep; if asleep, write the trims to the stored copy and wake whatever the write did. A failed
// write is told in the status line ("トリム保存失敗: " and why), so the trims set in the dialog are
// not lost unseen.
TrimClosing closeTrims(BoardLink& link, const TrimValues& values);

// A trim file: the section "TrimData" with integer keys "CH1" to "CH24", absolute values. A file
// without the section, or with a key missing, not an integer or outside 0 to 65535, is refused
// with kTrimFileUnusable.
Result<TrimValues> readTrimFile(const std::string& path);
// The file's whole text becomes the one section; written through a temporary file, so a failed
// save leaves the old file. Refused with kTrimSaveRefused when the place cannot be written.
Status writeTrimFile(const std::string& path, const TrimValues& values);
std::string trimFileText(const TrimValues& values);
// The name saved under: with the chart filter the extension becomes ".VLB".
std::string trimSavePath(const std::string& chosen, bool chartFilter);

// Loading a file: read it (a refused file shows the warning and changes nothing).
bool loadTrimFile(UserInterface& ui, const std::string& path, TrimValues& values);
// Then sleep, write the trims to the working copy, wake; each only after the one before
// succeeded. True when all three did.
bool sendLoadedTrims(BoardLink& link, const TrimValues& values);
// Saving: an unwritable place shows the error box; true when the file was written.
bool saveTrimFile(UserInterface& ui, const std::string& path, const TrimValues& values);

}  // namespace pvrj
