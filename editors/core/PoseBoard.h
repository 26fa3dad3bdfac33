// The robot's live pose on the board: sending a pose at once, reading it and the servos' present
// positions, the home position and the channel names. Shared by the position editor and pvrj-cli.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>

#include "chart/Chart.h"
#include "protocol/BoardLink.h"

namespace pvrj {

// The working copy's record that the robot takes at once: slot 0, record 0.
inline constexpr int kLiveSlot = 0;
inline constexpr int kLiveRecord = 0;
// Lead byte of the records a link step and teaching send.
inline constexpr std::uint8_t kStepLead = 0x01;

// Sends a live record: the robot takes the pose at once.
bool sendLiveRecord(BoardLink& link, const PositionRecord& record);
// The robot's current pose: the working copy's record.
std::optional<PositionRecord> readCurrentPose(BoardLink& link);
// Where the servos are now.
std::optional<PositionBlock> readPresentPositions(BoardLink& link);
// Makes the pose's 24 words the board's home position.
bool writeHomePosition(BoardLink& link, const PositionBlock& pose);
// Sends the names of channels 1 to 24 (cut to 32 bytes at a character boundary) in order, and
// stops at the first that fails. True when all were written.
bool writeChannelNames(BoardLink& link, std::span<const std::string> names);

// The pose record the position editor builds for an item: the speed limited to 1 to 255 and
// every word as the editor's controls show it (a word no control shows reads 0, a position is
// limited to the bar).
PositionRecord poseRecordOfItem(const ChartItem& item);

}  // namespace pvrj
