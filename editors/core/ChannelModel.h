// One channel of the position editor without its widgets: the mode a word puts it in, what its
// controls show, the word they stand for, and what each edit does to them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/BoardFacts.h"

namespace pvrj {

// Channel words the position editor writes or shows.
inline constexpr std::uint16_t kWordNone = 0;
inline constexpr std::uint16_t kWordPositionMax = 0x7FFF;
inline constexpr std::uint16_t kWordLow = 0x8000;          // "0V (L)"
inline constexpr std::uint16_t kWordHigh = 0x8001;         // "+5V (H)"
inline constexpr std::uint16_t kWordFree = 0x8002;         // "FR": the servo goes limp
inline constexpr std::uint16_t kWordSet1 = 0x8003;         // "S1"
inline constexpr std::uint16_t kWordSet2 = 0x8004;         // "S2"
inline constexpr std::uint16_t kWordSet3 = 0x8005;         // "S3"
inline constexpr std::uint16_t kWordTeach = 0x8006;        // take the taught position as parameter
inline constexpr std::uint16_t kWordSpeedBase = 0x8007;    // + v: per-channel speed ("SP")
inline constexpr std::uint16_t kWordStretchBase = 0x8087;  // + v: per-channel stretch ("ST")
inline constexpr std::uint16_t kWordStretchLast = 0x8106;

// The position bar's range; its centre, kPositionCentre, shows as 0.
inline constexpr int kPositionBarMin = 15694;
inline constexpr int kPositionBarMax = 17074;
// The small bar of a speed or stretch channel.
inline constexpr int kSmallBarMin = 1;
inline constexpr int kSmallBarMax = 127;
// The item's speed (lead byte of a pose).
inline constexpr int kSpeedBarMin = 1;
inline constexpr int kSpeedBarMax = 255;

// What a channel panel shows.
enum ChannelMode : int {
  kModeNone = 0,     // the name label only
  kModeServo = 1,    // value edit and position bar
  kModeDigital = 2,  // "+5V (H)" and "0V (L)"
  kModeFree = 3,     // value edit and "FR", "S1", "S2", "S3"
  kModeSpeed = 4,    // value edit, small bar and its "SP"/"ST" tag
};
inline constexpr int kModeCount = 5;

// The six radio buttons of a channel panel, in the order of their tags (H 1-24, L 25-48, FR 49-72,
// S1 73-96, S2 97-120, S3 121-144).
enum class Radio : int { kNone = -1, kHigh = 0, kLow, kFree, kSet1, kSet2, kSet3 };
inline constexpr int kRadioCount = 6;

// Which value the small bar holds.
enum class SmallTag : int { kSpeed, kStretch };  // "SP", "ST"

// The types the popup menu offers for a channel.
enum class ChannelType : int { kNone, kServo, kFree, kSet1, kSet2, kSet3, kHigh, kLow };

// The controls of one channel panel as plain values.
struct ChannelState {
  int mode = kModeNone;
  int positionBar = kPositionCentre;
  int smallBar = kSmallBarMin;
  SmallTag tag = SmallTag::kSpeed;
  Radio radio = Radio::kNone;
  int edit = 0;       // the number the value edit shows
  float rate = 1.0f;  // display rate
};

// The mode a word shows in.
int channelModeOf(std::uint16_t word);
// The word a radio button stands for.
std::uint16_t radioWord(Radio radio);
// The radio button of the words 0x8000 to 0x8005 (kNone for any other).
Radio radioOfWord(std::uint16_t word);
// A radio button's tag (1 to 144) split into channel (0 to 23) and button; nothing outside.
struct RadioTag {
  int channel;
  Radio radio;
};
std::optional<RadioTag> radioOfTag(int tag);
int tagOfRadio(int channel, Radio radio);

// round((position - 16384) x rate), halves to even.
int displayValue(int position, float rate);
// A usable display rate: finite and not 0 (a rate of 0 would leave typed values meaningless).
bool usableDisplayRate(float rate);
// Whether the value edit stands out (aqua instead of white): servo and free channels whose rate
// is not 1 or -1.
bool editHighlighted(const ChannelState& channel);
// Value limited to the position bar.
int limitToPositionBar(int value);

// Shows word on the channel's controls and sets its mode.
void showWord(ChannelState& channel, std::uint16_t word);
// The word the controls stand for.
std::uint16_t wordFromControls(const ChannelState& channel);

// Edits. Each returns the channel's new word.
// The position bar moved to position.
std::uint16_t movePositionBar(ChannelState& channel, int position);
// The small bar moved to position.
std::uint16_t moveSmallBar(ChannelState& channel, int position);
// Enter in the value edit with text typed. Servo channel: the number in displayed units becomes
// a position (unreadable: the value shown); a free or setting channel becomes a servo channel at
// that position. Speed or stretch channel: the number in displayed units (the stretch shows
// doubled) sets the small bar. Nothing for other modes.
std::optional<std::uint16_t> enterValue(ChannelState& channel, std::string_view text);
// A radio button released over itself: checks it and gives its word.
std::uint16_t chooseRadio(ChannelState& channel, Radio radio);
// A type chosen from the popup menu: the word it gives, shown on the channel.
std::uint16_t chooseChannelType(ChannelState& channel, ChannelType type);
// Shows a position actually measured (a free servo read back) without changing the word.
void showMeasuredPosition(ChannelState& channel, int position);
// A new display rate: the edit of a servo or free channel shows the bar at that rate.
void setDisplayRate(ChannelState& channel, float rate);

// Reads a decimal number as typed ("12", "-3.5", "+2"); nothing for anything else.
std::optional<double> parseTypedNumber(std::string_view text);
// Reads a display rate: a decimal number that is usable; nothing otherwise.
std::optional<float> parseDisplayRate(std::string_view text);
// The shortest text that reads back as the same rate ("1", "0.5", "2.5").
std::string formatDisplayRate(float rate);

}  // namespace pvrj
