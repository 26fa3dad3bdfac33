// The robot's live pose on the board.
#include "editors/core/PoseBoard.h"

#include <algorithm>

#include "editors/core/ChannelModel.h"

namespace pvrj {

bool sendLiveRecord(BoardLink& link, const PositionRecord& record) {
  return link.CmdWritePositionRecord(WorkingCopy, kLiveSlot, kLiveRecord, record);
}

std::optional<PositionRecord> readCurrentPose(BoardLink& link) {
  Bytes reply;
  PositionRecord record;
  if (!link.CmdReadPositionRecord(WorkingCopy, kLiveSlot, kLiveRecord, reply) ||
      !record.decode(reply)) {
    return std::nullopt;
  }
  return record;
}

std::optional<PositionBlock> readPresentPositions(BoardLink& link) {
  Bytes reply;
  PositionBlock block;
  if (!link.CmdReadPositions(reply) || !block.decode(reply)) return std::nullopt;
  return block;
}

bool writeHomePosition(BoardLink& link, const PositionBlock& pose) {
  return link.CmdWriteHomePosition(pose);
}

bool writeChannelNames(BoardLink& link, std::span<const std::string> names) {
  const std::size_t count = std::min<std::size_t>(names.size(), kChannelCount);
  for (std::size_t i = 0; i < count; ++i) {
    if (!link.CmdWriteChannelName(static_cast<int>(i), names[i])) return false;
  }
  return true;
}

PositionRecord poseRecordOfItem(const ChartItem& item) {
  PositionRecord record;
  record.lead =
      static_cast<std::uint8_t>(std::clamp<int>(item.PrmByte, kSpeedBarMin, kSpeedBarMax));
  for (int ch = 0; ch < kChannelCount; ++ch) {
    ChannelState state;
    showWord(state, item.PrmWords[ch]);
    record.block.words[ch] = wordFromControls(state);
  }
  return record;
}

}  // namespace pvrj
