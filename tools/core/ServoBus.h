// Servos on the servo bus: the 17-byte parameter block, how the list and the parameter dialog show
// it, which rows take part, and the board sequences of the servo-bus dialog.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol/BoardLink.h"
#include "protocol/BoardTypes.h"

namespace pvrj {

class UserInterface;

inline constexpr int kServoBusChannels = 24;
using ServoBlock = std::array<std::uint8_t, kQvsParamsLength>;
// Channel 1 first: whether the channel drives a servo on the servo bus.
using ServoBusChannels = std::array<bool, kServoBusChannels>;

// Offsets in the parameter block.
inline constexpr std::size_t kServoStretch1 = 1;
inline constexpr std::size_t kServoSpeed1 = 2;
inline constexpr std::size_t kServoPunch = 3;
inline constexpr std::size_t kServoDeadBand = 4;
inline constexpr std::size_t kServoDamping = 5;
inline constexpr std::size_t kServoProtection = 6;
inline constexpr std::size_t kServoReverse = 7;  // bit 0; bits 1 to 7 belong to the servo
inline constexpr std::size_t kServoLimitL = 8;   // and 9, high byte first
inline constexpr std::size_t kServoLimitR = 10;  // and 11, high byte first
inline constexpr std::size_t kServoPowerFree = 12;
inline constexpr std::size_t kServoStretch2 = 13;
inline constexpr std::size_t kServoSpeed2 = 14;
inline constexpr std::size_t kServoStretch3 = 15;
inline constexpr std::size_t kServoSpeed3 = 16;

// The limits: a bar position 0 to 60 in steps of 10 from the centre side.
inline constexpr int kLimitLBase = 1700;  // position 0 of the left limit; 60 is 2300
inline constexpr int kLimitRBase = 1300;  // position 0 of the right limit; 60 is 700
inline constexpr int kLimitStep = 10;
inline constexpr int kLimitPositions = 60;
// The power-free timer: 50 times the item number.
inline constexpr int kPowerFreeStep = 50;

// The items of the parameter dialog's lists, top first.
extern const std::vector<std::string> kStretchItems;
extern const std::vector<std::string> kSpeedItems;
extern const std::vector<std::string> kPunchItems;
extern const std::vector<std::string> kDeadBandItems;
extern const std::vector<std::string> kDampingItems;
extern const std::vector<std::string> kReverseItems;
extern const std::vector<std::string> kProtectionItems;
extern const std::vector<std::string> kPowerFreeItems;

// What the parameter dialog's controls hold: list item indexes and bar positions.
struct ServoControls {
  std::array<int, 3> stretch{};  // sets 1 to 3
  std::array<int, 3> speed{};
  int punch = 0;
  int deadBand = 0;
  int damping = 0;
  int reverse = 0;
  int protection = 0;
  int powerFree = 0;
  int limitL = 0;
  int limitR = 0;
  bool operator==(const ServoControls&) const = default;
};

// The controls for a block. A list byte outside 1 to the list's length selects the first item
// (dead band and damping too: a stored 6 to 10, or 3 to 10, has no item of its own); a
// power-free byte other than 50, 100 or 150 selects the first item; the limits are held within 0
// to 60.
ServoControls LoadServoParameters(const ServoBlock& block);
// Writes the controls' values into block. Byte 0 and bits 1 to 7 of byte 7 keep what block held.
void CollectServoParameters(const ServoControls& controls, ServoBlock& block);

// The 18 texts of a list row: "No", "Name", "Servo", the three stretch/speed pairs, "Punch",
// "DeadBand", "Damping", "Reverse", "Protection", "PowerFree", "Limit(L)", "Limit(R)", "OffSet".
// Without a block only number, name and ("PWM" for a servo-bus channel) the servo column show.
inline constexpr int kServoListColumns = 18;
extern const std::array<const char*, kServoListColumns> kServoListCaptions;
std::array<std::string, kServoListColumns> servoRowTexts(int channel, const std::string& name,
                                                         bool servoBus, const ServoBlock* block);

// The channel flags of the three mask bytes the board keeps (channel n is bit (n - 1) mod 8 of
// byte (n - 1) div 8).
ServoBusChannels servoBusChannelsOf(const std::uint8_t* mask);

// Rows are 0 to 23 (channel 1 to 24), -1 for none. A drop is taken only from this list, of a
// servo-bus row onto a servo-bus row.
bool acceptsServoDrop(bool fromThisList, int draggedRow, int targetRow,
                      const ServoBusChannels& channels);

// The warning of a board that is not in servo-bus mode.
inline constexpr const char* kServoBusModeWarning =
    "電源を再投入してＱＶＳモードに切り替えてください";
// The status line when the stored servo-bus bit could not be cleared again: the board would
// come up in servo-bus mode at its next power-on.
inline constexpr const char* kServoBusModeNotCleared = "ＱＶＳモードを解除できませんでした";

// How a copy between two servos ended.
enum class ServoCopy { kReadFailed, kWriteFailed, kWritten };

// The board sequences of the servo-bus dialog. Each returns false when an exchange failed.
class ServoBus {
 public:
  ServoBus(BoardLink& link, UserInterface& ui) : link_(link), ui_(ui) {}

  // Reads the board's QVS channel mask into the channel flags.
  bool LoadServoBusChannels();
  const ServoBusChannels& channels() const { return channels_; }
  bool isServoBus(int row) const;

  // Opening from the main window: the channel flags, then the stored servo-bus bit set, then
  // showDialog, then the bit cleared (told in the status line when that fails). Nothing is shown
  // when the flags cannot be read or the bit cannot be set; false then.
  bool runDialog(const std::function<void()>& showDialog);

  // True when the board runs in servo-bus mode; the warning when it does not; silent false when
  // the option word cannot be read.
  bool CheckServoBusMode();

  // One servo's block; false when the servo does not answer or its reply fails its check.
  bool readServo(int row, ServoBlock& block);
  bool writeServo(int row, const ServoBlock& block);
  // Copies the dragged servo's parameters onto the target servo: the source's block with the
  // target's own byte 0 and bits 1 to 7 of byte 7, which the dialog never edits either (a copy
  // onto itself reads once and writes the block back as read). written holds what was sent;
  // after a failed read nothing is written.
  ServoCopy copyServo(int fromRow, int toRow, ServoBlock& written);

 private:
  BoardLink& link_;
  UserInterface& ui_;
  ServoBusChannels channels_{};
};

}  // namespace pvrj
