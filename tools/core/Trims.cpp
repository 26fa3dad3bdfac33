// Trim rows, the trim file and the trim dialog's board sequences.
#include "tools/core/Trims.h"

#include <algorithm>

#include "chart/ChartFile.h"
#include "common/FileIo.h"
#include "common/IniFile.h"
#include "common/Numbers.h"
#include "protocol/BoardLink.h"

namespace pvrj {
namespace {

// A key that is missing or no integer reads as this, and so does a written -1: both refuse.
constexpr std::int32_t kMissingTrim = -1;
constexpr std::int32_t kLargestWord = 0xFFFF;

std::string channelKey(int channel) {
  return "CH" + std::to_string(channel + 1);
}

}  // namespace

int limitTrim(long long position) {
  return static_cast<int>(std::clamp<long long>(position, kTrimMin, kTrimMax));
}

TrimRows trimRows(const TrimValues& values) {
  TrimRows rows;
  for (int ch = 0; ch < kBoardChannels; ++ch) {
    const int value = values[static_cast<std::size_t>(ch)];
    rows[static_cast<std::size_t>(ch)] = {limitTrim(value), value - kTrimCentre};
  }
  return rows;
}

TrimValues collectTrims(const TrimRows& rows) {
  TrimValues values{};
  for (int ch = 0; ch < kBoardChannels; ++ch) {
    values[static_cast<std::size_t>(ch)] =
        static_cast<std::uint16_t>(limitTrim(rows[static_cast<std::size_t>(ch)].bar));
  }
  return values;
}

PositionBlock trimBlock(const TrimValues& values) {
  PositionBlock block;
  block.words = values;
  return block;
}

bool decodeTrims(std::span<const std::uint8_t> bytes, TrimValues& values) {
  PositionBlock block;
  if (!block.decode(bytes)) return false;
  values = block.words;
  return true;
}

void moveTrimBar(BoardLink& link, TrimRows& rows, int channel, int position) {
  if (channel < 0 || channel >= kBoardChannels) return;
  TrimRow& row = rows[static_cast<std::size_t>(channel)];
  row.bar = limitTrim(position);
  row.shown = row.bar - kTrimCentre;
  link.CmdSetTrim(channel, static_cast<std::uint16_t>(row.bar));
}

int enterTrimOffset(BoardLink& link, TrimRows& rows, int channel, std::string_view text) {
  if (channel < 0 || channel >= kBoardChannels) return 0;
  TrimRow& row = rows[static_cast<std::size_t>(channel)];
  const long long typed = parseInteger(text).value_or(row.bar - kTrimCentre);
  // Held before sending: a servo must not be driven beyond the trim range for a typing slip.
  row.bar = limitTrim(kTrimCentre + typed);
  row.shown = row.bar - kTrimCentre;
  link.CmdSetTrim(channel, static_cast<std::uint16_t>(row.bar));
  return row.shown;
}

TrimOpening openTrims(BoardLink& link, TrimValues& values) {
  if (!link.SetSleep(kSleepOn)) return TrimOpening::kSleepFailed;
  Bytes reply;
  if (!link.CmdReadTrims(StoredCopy, reply) || !decodeTrims(reply, values)) {
    return TrimOpening::kReadFailed;
  }
  if (!link.SetSleep(kSleepOff)) return TrimOpening::kWakeFailed;
  return TrimOpening::kReady;
}

TrimClosing closeTrims(BoardLink& link, const TrimValues& values) {
  if (!link.SetSleep(kSleepOn)) return TrimClosing::kSleepFailed;
  const bool written = link.CmdWriteTrims(StoredCopy, trimBlock(values));
  // Told before the wake-up, whose own outcome would hide why the write failed.
  const std::string failed = written ? std::string() : link.failureStatus(kActionStoreTrims);
  // The board is woken whether or not the write went through.
  const bool awake = link.SetSleep(kSleepOff);
  if (!written) {
    link.userInterface().showStatus(failed);
    return TrimClosing::kWriteFailed;
  }
  return awake ? TrimClosing::kStored : TrimClosing::kWakeFailed;
}

Result<TrimValues> readTrimFile(const std::string& path) {
  Result<IniFile> ini = IniFile::load(path);
  if (!ini) return Result<TrimValues>::failure(kTrimFileUnusable);
  const IniFile::SectionView section = ini->section(kTrimSection);
  if (!section.exists()) return Result<TrimValues>::failure(kTrimFileUnusable);
  TrimValues values{};
  for (int ch = 0; ch < kBoardChannels; ++ch) {
    const std::int32_t v = section.readInteger(channelKey(ch), kMissingTrim);
    // A value the 16-bit trim cannot hold would reach the board cut to its low bytes.
    if (v == kMissingTrim || v < 0 || v > kLargestWord) {
      return Result<TrimValues>::failure(kTrimFileUnusable);
    }
    values[static_cast<std::size_t>(ch)] = static_cast<std::uint16_t>(v);
  }
  return values;
}

std::string trimFileText(const TrimValues& values) {
  IniFile ini;
  for (int ch = 0; ch < kBoardChannels; ++ch) {
    ini.writeInteger(kTrimSection, channelKey(ch), values[static_cast<std::size_t>(ch)]);
  }
  return ini.toString();
}

Status writeTrimFile(const std::string& path, const TrimValues& values) {
  if (!probeWritable(path)) return Status::failure(kTrimSaveRefused);
  // Everything the file held before goes: the new text is the one section.
  if (!writeTextFile(path, trimFileText(values))) return Status::failure(kTrimSaveRefused);
  return Status::success();
}

std::string trimSavePath(const std::string& chosen, bool chartFilter) {
  return chartSavePath(chosen, chartFilter);
}

bool loadTrimFile(UserInterface& ui, const std::string& path, TrimValues& values) {
  Result<TrimValues> read = readTrimFile(path);
  if (!read) {
    ui.ShowMessageBox(kMsgWarning, kBtnOk, read.message());
    return false;
  }
  values = read.value();
  return true;
}

bool sendLoadedTrims(BoardLink& link, const TrimValues& values) {
  return link.SetSleep(kSleepOn) && link.CmdWriteTrims(WorkingCopy, trimBlock(values)) &&
         link.SetSleep(kSleepOff);
}

bool saveTrimFile(UserInterface& ui, const std::string& path, const TrimValues& values) {
  if (Status s = writeTrimFile(path, values); !s) {
    ui.ShowMessageBox(kMsgError, kBtnOk, s.message());
    return false;
  }
  return true;
}

}  // namespace pvrj
