// Servo-bus parameter blocks, list rows and the servo-bus dialog's board sequences.
#include "tools/core/ServoBus.h"

#include <algorithm>

#include "common/UserInterface.h"

namespace pvrj {
namespace {

constexpr std::uint8_t kReverseBit = 0x01;
constexpr int kByteBits = 8;

std::vector<std::string> numberedItems(int count, const char* first, const char* last) {
  std::vector<std::string> items;
  for (int n = 1; n <= count; ++n) items.push_back(std::to_string(n));
  items.front() += first;
  items.back() += last;
  return items;
}

// The item index for a stored value 1 to the list's length; the first item for anything else.
int itemOf(std::uint8_t value, const std::vector<std::string>& items) {
  const int v = value;
  return v >= 1 && v <= static_cast<int>(items.size()) ? v - 1 : 0;
}

// The stored value of an item index; an index the list does not hold stores the first item.
std::uint8_t valueOf(int item, const std::vector<std::string>& items) {
  const int n = static_cast<int>(items.size());
  return static_cast<std::uint8_t>(item >= 0 && item < n ? item + 1 : 1);
}

int wordAt(const ServoBlock& block, std::size_t at) {
  return block[at] << kByteBits | block[at + 1];
}

void putWord(ServoBlock& block, std::size_t at, int value) {
  block[at] = static_cast<std::uint8_t>((value >> kByteBits) & 0xFF);
  block[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

// (word - 1700) div 10 and (1300 - word) div 10, truncated toward zero as C++ divides.
int leftLimitOf(const ServoBlock& block) {
  return (wordAt(block, kServoLimitL) - kLimitLBase) / kLimitStep;
}
int rightLimitOf(const ServoBlock& block) {
  return (kLimitRBase - wordAt(block, kServoLimitR)) / kLimitStep;
}

int barPosition(int position) {
  return std::clamp(position, 0, kLimitPositions);
}

constexpr std::array<std::size_t, 3> kStretchAt{kServoStretch1, kServoStretch2, kServoStretch3};
constexpr std::array<std::size_t, 3> kSpeedAt{kServoSpeed1, kServoSpeed2, kServoSpeed3};

}  // namespace

const std::vector<std::string> kStretchItems = {"1 (SOFT)", "2", "3 (MID)", "4", "5 (HARD)"};
const std::vector<std::string> kSpeedItems = {"1 (SLOW)", "2 (MID)", "3 (FAST)"};
const std::vector<std::string> kPunchItems = numberedItems(10, " (LOW)", " (HIGH)");
const std::vector<std::string> kDeadBandItems = {"1 (MIN)", "2", "3", "4", "5 (MAX)"};
const std::vector<std::string> kDampingItems = {"1", "2"};
const std::vector<std::string> kReverseItems = {"OFF", "ON"};
const std::vector<std::string> kProtectionItems = numberedItems(10, " (MIN)", " (MAX)");
const std::vector<std::string> kPowerFreeItems = {"1 (FAST)", "2 (MID)", "3 (SLOW)"};

const std::array<const char*, kServoListColumns> kServoListCaptions = {
    "No",      "Name",       "Servo",     "Stretch1", "Speed1",   "Stretch2",
    "Speed2",  "Stretch3",   "Speed3",    "Punch",    "DeadBand", "Damping",
    "Reverse", "Protection", "PowerFree", "Limit(L)", "Limit(R)", "OffSet"};

ServoControls LoadServoParameters(const ServoBlock& block) {
  ServoControls c;
  for (std::size_t set = 0; set < 3; ++set) {
    c.stretch[set] = itemOf(block[kStretchAt[set]], kStretchItems);
    c.speed[set] = itemOf(block[kSpeedAt[set]], kSpeedItems);
  }
  c.punch = itemOf(block[kServoPunch], kPunchItems);
  c.deadBand = itemOf(block[kServoDeadBand], kDeadBandItems);
  c.damping = itemOf(block[kServoDamping], kDampingItems);
  c.protection = itemOf(block[kServoProtection], kProtectionItems);
  c.reverse = (block[kServoReverse] & kReverseBit) != 0 ? 1 : 0;
  const int powerFree = block[kServoPowerFree];
  c.powerFree = powerFree % kPowerFreeStep == 0
                    ? itemOf(static_cast<std::uint8_t>(powerFree / kPowerFreeStep), kPowerFreeItems)
                    : 0;
  c.limitL = barPosition(leftLimitOf(block));
  c.limitR = barPosition(rightLimitOf(block));
  return c;
}

void CollectServoParameters(const ServoControls& c, ServoBlock& block) {
  for (std::size_t set = 0; set < 3; ++set) {
    block[kStretchAt[set]] = valueOf(c.stretch[set], kStretchItems);
    block[kSpeedAt[set]] = valueOf(c.speed[set], kSpeedItems);
  }
  block[kServoPunch] = valueOf(c.punch, kPunchItems);
  block[kServoDeadBand] = valueOf(c.deadBand, kDeadBandItems);
  block[kServoDamping] = valueOf(c.damping, kDampingItems);
  block[kServoProtection] = valueOf(c.protection, kProtectionItems);
  block[kServoReverse] = static_cast<std::uint8_t>((block[kServoReverse] & ~kReverseBit) |
                                                   (c.reverse == 1 ? kReverseBit : 0));
  block[kServoPowerFree] =
      static_cast<std::uint8_t>(kPowerFreeStep * valueOf(c.powerFree, kPowerFreeItems));
  putWord(block, kServoLimitL, kLimitLBase + kLimitStep * barPosition(c.limitL));
  putWord(block, kServoLimitR, kLimitRBase - kLimitStep * barPosition(c.limitR));
}

std::array<std::string, kServoListColumns> servoRowTexts(int channel, const std::string& name,
                                                         bool servoBus, const ServoBlock* block) {
  std::array<std::string, kServoListColumns> t;
  t[0] = std::to_string(channel);
  t[1] = name;
  if (!servoBus) return t;
  t[2] = "PWM";
  if (!block) return t;
  const ServoBlock& b = *block;
  auto number = [](int v) { return std::to_string(v); };
  for (std::size_t set = 0; set < 3; ++set) {
    t[3 + 2 * set] = number(b[kStretchAt[set]]);
    t[4 + 2 * set] = number(b[kSpeedAt[set]]);
  }
  t[9] = number(b[kServoPunch]);
  t[10] = number(b[kServoDeadBand]);
  t[11] = number(b[kServoDamping]);
  t[12] = (b[kServoReverse] & kReverseBit) != 0 ? "ON" : "OFF";
  t[13] = number(b[kServoProtection]);
  t[14] = number(b[kServoPowerFree] / kPowerFreeStep);
  t[15] = number(leftLimitOf(b));
  t[16] = number(rightLimitOf(b));
  // "OffSet" stays empty.
  return t;
}

ServoBusChannels servoBusChannelsOf(const std::uint8_t* mask) {
  ServoBusChannels channels{};
  for (int i = 0; i < kServoBusChannels; ++i) {
    channels[static_cast<std::size_t>(i)] = (mask[i / kByteBits] >> (i % kByteBits) & 1) != 0;
  }
  return channels;
}

bool acceptsServoDrop(bool fromThisList, int draggedRow, int targetRow,
                      const ServoBusChannels& channels) {
  auto servoBus = [&channels](int row) {
    return row >= 0 && row < kServoBusChannels && channels[static_cast<std::size_t>(row)];
  };
  return fromThisList && servoBus(draggedRow) && servoBus(targetRow);
}

bool ServoBus::isServoBus(int row) const {
  return row >= 0 && row < kServoBusChannels && channels_[static_cast<std::size_t>(row)];
}

bool ServoBus::LoadServoBusChannels() {
  Bytes mask;
  if (!link_.CmdReadQvsMask(mask) || mask.size() < 3) return false;
  channels_ = servoBusChannelsOf(mask.data());
  return true;
}

bool ServoBus::runDialog(const std::function<void()>& showDialog) {
  if (!LoadServoBusChannels()) return false;
  if (!link_.SetQvsMode(kQvsModeOn)) return false;
  showDialog();
  // Left set, the board would come up in servo-bus mode at every power-on from now on.
  if (!link_.SetQvsMode(kQvsModeOff)) ui_.showStatus(kServoBusModeNotCleared);
  return true;
}

bool ServoBus::CheckServoBusMode() {
  std::uint16_t word = 0;
  if (!link_.CmdReadOptions(WorkingCopy, word)) return false;
  if ((word & kOptionQvsMode) != 0) return true;
  ui_.ShowMessageBox(kMsgWarning, kBtnOk, kServoBusModeWarning);
  return false;
}

bool ServoBus::readServo(int row, ServoBlock& block) {
  Bytes reply;
  if (row < 0 || row >= kServoBusChannels) return false;
  // The reply comes with its checksum byte last.
  if (!link_.CmdReadQvsParams(row, reply) || reply.size() < block.size()) return false;
  std::copy_n(reply.begin(), block.size(), block.begin());
  return true;
}

bool ServoBus::writeServo(int row, const ServoBlock& block) {
  if (row < 0 || row >= kServoBusChannels) return false;
  return link_.CmdWriteQvsParams(row, block);
}

ServoCopy ServoBus::copyServo(int fromRow, int toRow, ServoBlock& written) {
  ServoBlock source{};
  if (!readServo(fromRow, source)) return ServoCopy::kReadFailed;
  ServoBlock target = source;
  if (toRow != fromRow && !readServo(toRow, target)) return ServoCopy::kReadFailed;
  written = source;
  written[0] = target[0];
  written[kServoReverse] = static_cast<std::uint8_t>((target[kServoReverse] & ~kReverseBit) |
                                                     (source[kServoReverse] & kReverseBit));
  return writeServo(toRow, written) ? ServoCopy::kWritten : ServoCopy::kWriteFailed;
}

}  // namespace pvrj
