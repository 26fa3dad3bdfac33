// The options dialog's rules without its widgets: the option bits it owns, start and alarm data,
// the voltage threshold and its conversions, the servo-bus channel mask, and its board sequences.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pvrj {

class BoardLink;
class MotionTable;

// Option-word bits the dialog shows.
inline constexpr std::uint16_t kOptTransmitterPlay = 0x2000;  // Check1
inline constexpr std::uint16_t kOptStartSwitchPlay = 0x1000;  // BtnList not "OFF"
inline constexpr std::uint16_t kOptPowerOnPlay = 0x0800;      // StartList not "OFF"
inline constexpr std::uint16_t kOptLowVoltagePlay = 0x0400;   // AlarmList not "OFF"
inline constexpr std::uint16_t kOptPlayEndReply = 0x0200;     // Check5
inline constexpr std::uint16_t kOptMtx1Control = 0x0008;      // Check7
// Every write of the word clears bits 4 to 8.
inline constexpr std::uint16_t kOptionWriteMask = 0xFE0F;

// A list index stands for motion number index - 1; index 0 is "OFF".
inline constexpr int kListOff = 0;
inline constexpr const char* kListOffText = "OFF";
// Motion numbers a list can show: the 85 entries of the motion table.
inline constexpr int kListedMotions = 85;

// The threshold in tenths of a volt, as the spinner holds it.
inline constexpr int kThresholdMinTenths = 55;
inline constexpr int kThresholdMaxTenths = 150;
inline constexpr int kThresholdDefaultTenths = 60;

// What the dialog's controls hold.
struct OptionControls {
  bool transmitterPlay = false;                   // Check1
  bool playEndReply = false;                      // Check5
  bool mtx1Control = false;                       // Check7
  int startSwitchIndex = kListOff;                // BtnList
  int powerOnIndex = kListOff;                    // StartList
  int lowVoltageIndex = kListOff;                 // AlarmList
  int thresholdTenths = kThresholdDefaultTenths;  // AlmVoltBtn's position
  std::string thresholdText = "06.0V";            // AlmVoltEdit
  std::uint32_t qvsMask = 0;                      // QVS_C1..QVS_C24, bit 0 = CH1
  bool operator==(const OptionControls&) const = default;
};

// Raw board threshold to tenths (x 0.1539) and back (/ 0.15359), to nearest, halves to even.
int thresholdTenths(int raw);
int thresholdRaw(int tenths);
// "00.0V" of tenths: 60 gives "06.0V".
std::string thresholdText(int tenths);
// The spinner's position for tenths: held within 55 to 150.
int limitThreshold(int tenths);

// The list index for a stored motion number: number + 1 when its bit is on and the number is one
// of the 85, else "OFF".
int listIndexOf(bool enabled, int motion);

// The option word with the dialog's bits set from the controls and bits 4 to 8 cleared.
std::uint16_t composeOptionWord(std::uint16_t read, const OptionControls& controls);

// The servo-bus mask: channel n is bit (n - 1) mod 8 of byte (n - 1) div 8.
std::uint32_t qvsMaskFromBytes(const std::uint8_t* bytes);

// The lists' items: "OFF", then the 80 motion and 5 scenario entries as the motion table
// window lists them.
std::vector<std::string> motionListItems(const MotionTable& table);

// LoadBoardOptions: reads the option word, start data, alarm data and servo-bus mask into the
// controls; false at the first read that fails.
bool LoadBoardOptions(BoardLink& link, OptionControls& controls);

enum class OptionsOpening {
  kSleepFailed,  // nothing read
  kLoadFailed,   // a read failed: the board stays asleep
  kWakeFailed,   // read, but the board did not wake
  kReady,        // the dialog shows
};
// The option button: sleep, load, wake.
OptionsOpening openBoardOptions(BoardLink& link, OptionControls& controls);

// WriteOptionWord: reads the stored word, sets the dialog's bits, clears bits 4 to 8 and writes
// it to the stored copy, then (only if that was acknowledged) the same word to the working copy.
bool WriteOptionWord(BoardLink& link, const OptionControls& controls);
// Closing BtnList or StartList: start data read (stop on failure), option word, start data with
// the motion of each list not at "OFF" (a list at "OFF" keeps the board's byte).
bool writeStartData(BoardLink& link, const OptionControls& controls);
// WriteAlarm (closing AlarmList, releasing the spinner): option word, alarm data read (stop on
// failure), the motion of the list (or the board's at "OFF") and the spinner's raw threshold.
bool WriteAlarm(BoardLink& link, const OptionControls& controls);
// A channel box released: the mask from the 24 boxes.
bool writeQvsMask(BoardLink& link, const OptionControls& controls);

}  // namespace pvrj
