// The words a setting item holds: each operation's encoding, the per-channel mixing code both
// ways, the item's classification and the first page's entry read back from its words.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "chart/Chart.h"

namespace pvrj {

// Item-wide words (all 24 channels hold the same one).
inline constexpr std::uint16_t kTeachValueWord = 0x8006;
inline constexpr std::uint16_t kLoopCounterBase = 0x8207;      // + loop count
inline constexpr std::uint16_t kCompareRegisterZero = 0xA005;  // + value (0x9C06 + value + 1023)
inline constexpr std::uint16_t kAnalogCalibrateBase = 65268;   // + analog input index
inline constexpr std::uint16_t kSensorControlBase = 65271;     // + mask of the six sensor boxes
inline constexpr std::uint16_t kReceiverPlaybackOn = 64498;
inline constexpr std::uint16_t kReceiverPlaybackOff = 64499;

inline constexpr int kLoopCountLowest = 1;
inline constexpr int kLoopCountHighest = 255;
inline constexpr int kCompareRegisterLowest = -1023;
inline constexpr int kCompareRegisterHighest = 16383;
inline constexpr int kSensorBoxes = 6;

// Per-channel mixing words: the base of each source, plus the mixing code.
inline constexpr std::uint16_t kMixingBaseAd1 =
    64500;  // also the base of a row whose source is off
inline constexpr std::uint16_t kMixingBaseAd2 = 64756;
inline constexpr std::uint16_t kMixingBaseAd3 = 65012;
inline constexpr int kMixingSources = 4;    // "OFF", "AD1-R", "AD2-R", "AD3-R"
inline constexpr int kMixingRatios = 127;   // "x -63" ... "x -1", "OFF", "x 1" ... "x 63"
inline constexpr int kMixingRatioOff = 63;  // the index of "OFF"
inline constexpr std::uint8_t kMixingActive = 0x80;
inline constexpr std::uint8_t kMixingNegative = 0x40;
inline constexpr std::uint8_t kMixingMagnitude = 0x3F;

// The classification result that means a mixing item.
inline constexpr int kMixingClass = 12;

// What the first page of the setting editor shows, one entry per radio button.
enum class SettingOperation {
  kNone,             // no button checked
  kTeachValue,       // RadBtn1
  kLoopCounter,      // RadBtn2, value = loop count
  kCompareRegister,  // RadBtn3, value = register value
  kAnalogCalibrate,  // RadBtn4, value = analog input index 0 to 2
  kSensorControl,    // RadBtn6, value = mask of the sensor boxes (bit 0 = Sck1)
  kReceiverOn,       // RadBtn7
  kReceiverOff,      // RadBtn8
};

struct SettingEntry {
  SettingOperation operation = SettingOperation::kNone;
  int value = 0;
};

// One row of the mixing page.
struct MixingRow {
  int source = 0;               // 0 "OFF", 1 "AD1-R", 2 "AD2-R", 3 "AD3-R"
  int ratio = kMixingRatioOff;  // index into the ratio list
  friend bool operator==(const MixingRow&, const MixingRow&) = default;
};

// Encodings of the item-wide operations.
std::uint16_t loopCounterWord(int count);
// 0xA005 + value, kept to 16 bits: the radio button writes the typed number unclamped.
std::uint16_t compareRegisterWord(int value);
int limitCompareRegister(int value);
std::uint16_t analogCalibrateWord(int input);
std::uint16_t sensorControlWord(unsigned mask);

// The mixing code of a row's ratio (bit 7 active, bit 6 negative, bits 0-5 magnitude) and the
// channel word of a row; and a channel word read back into a row.
std::uint8_t mixingCode(int ratio);
std::uint16_t mixingWord(const MixingRow& row);
MixingRow decodeMixingWord(std::uint16_t word);

// The item's class for the editor: every word's class, with 12 to 14 and 19 to 25 all counted as
// 12; 0 when two non-zero classes differ, else the class of the CH24 word.
int classifySettingItem(const PrmWordArray& words);
// The first page's entry of an item that is not a mixing item.
SettingEntry settingEntry(const PrmWordArray& words);

// Texts of the editor's lists and buttons.
const std::vector<std::string>& mixingSourceTexts();
const std::vector<std::string>& mixingRatioTexts();
const std::vector<std::string>& analogInputTexts();  // "AD1", "AD2", "AD3"
// The caption of an operation's radio button ("" for kNone).
std::string settingOperationCaption(SettingOperation operation);
// The name of the second page.
inline constexpr const char* kMixingPageCaption = "ミキシング";
inline constexpr const char* kOtherPageCaption = "その他";

// One entry of the analog dialog's sensor table: motion list index (0 "OFF", m + 1 = motion m)
// and the threshold on the change of its input.
struct SensorEntry {
  int motionIndex = 0;
  int threshold = 0;
};
using SensorTable = std::array<SensorEntry, kSensorBoxes>;

// The caption of sensor box k (0 to 5): "AD1 OFF", or "AD2 変化量が100を超えたらM3を再生する" with
// the caption of the motion table entry the sensor plays.
std::string sensorCaption(int k, const SensorEntry& entry, const std::string& motionCaption);

}  // namespace pvrj
