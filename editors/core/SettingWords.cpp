// Setting-item words: encodings, mixing code, classification and the first page's entry.
#include "editors/core/SettingWords.h"

#include <algorithm>

namespace pvrj {

namespace {

constexpr int kWordMask = 0xFFFF;

// Classes the editor counts as mixing (12 to 14, 19 to 25).
int editorClass(std::uint16_t word) {
  const int c = classify(word);
  if ((c >= 12 && c <= 14) || (c >= 19 && c <= 25)) return kMixingClass;
  return c;
}

}  // namespace

std::uint16_t loopCounterWord(int count) {
  return static_cast<std::uint16_t>((kLoopCounterBase + count) & kWordMask);
}

std::uint16_t compareRegisterWord(int value) {
  return static_cast<std::uint16_t>((kCompareRegisterZero + value) & kWordMask);
}

int limitCompareRegister(int value) {
  return std::clamp(value, kCompareRegisterLowest, kCompareRegisterHighest);
}

std::uint16_t analogCalibrateWord(int input) {
  return static_cast<std::uint16_t>(kAnalogCalibrateBase + input);
}

std::uint16_t sensorControlWord(unsigned mask) {
  return static_cast<std::uint16_t>(kSensorControlBase + (mask & 0x3F));
}

std::uint8_t mixingCode(int ratio) {
  if (ratio == kMixingRatioOff) return 0;
  if (ratio > kMixingRatioOff) return static_cast<std::uint8_t>((ratio - kMixingRatioOff) | 0x80);
  return static_cast<std::uint8_t>((kMixingRatioOff - ratio) | 0xC0);
}

std::uint16_t mixingWord(const MixingRow& row) {
  const std::uint8_t m = mixingCode(row.ratio);
  switch (row.source) {
    case 1:
      return static_cast<std::uint16_t>(kMixingBaseAd1 + (m | kMixingActive));
    case 2:
      return static_cast<std::uint16_t>(kMixingBaseAd2 + (m | kMixingActive));
    case 3:
      return static_cast<std::uint16_t>(kMixingBaseAd3 + (m | kMixingActive));
    default:
      return static_cast<std::uint16_t>(kMixingBaseAd1 + (m & ~kMixingActive & 0xFF));
  }
}

MixingRow decodeMixingWord(std::uint16_t word) {
  const WordClass w = splitWord(word);
  // Words outside the mixing classes have no code; reading their offset as one still gives a
  // row the lists can show.
  const int m = w.offset & 0xFF;
  MixingRow row;
  row.ratio = (m & kMixingNegative) ? kMixingRatioOff - (m & kMixingMagnitude)
                                    : kMixingRatioOff + (m & kMixingMagnitude);
  if (m & kMixingActive) {
    if (w.base == kMixingBaseAd1) row.source = 1;
    if (w.base == kMixingBaseAd2) row.source = 2;
    if (w.base == kMixingBaseAd3) row.source = 3;
  }
  return row;
}

int classifySettingItem(const PrmWordArray& words) {
  int first = 0;
  for (std::uint16_t word : words) {
    const int c = editorClass(word);
    if (c == 0) continue;
    if (first == 0) {
      first = c;
    } else if (c != first) {
      return 0;
    }
  }
  return editorClass(words.back());
}

SettingEntry settingEntry(const PrmWordArray& words) {
  int offset = 0;
  commonBase(words, offset);
  const int c = classifySettingItem(words);
  switch (c) {
    case 2:
      return {SettingOperation::kTeachValue, 0};
    case 6:
      return {SettingOperation::kLoopCounter, offset};
    case 8:
      return {SettingOperation::kCompareRegister, offset + kCompareRegisterLowest};
    case 26:
    case 27:
    case 28:
      return {SettingOperation::kAnalogCalibrate, offset};
    case 29:
      return {SettingOperation::kSensorControl, offset};
    case 32:
      return {offset == 0 ? SettingOperation::kReceiverOn : SettingOperation::kReceiverOff, 0};
    default:
      return {};
  }
}

const std::vector<std::string>& mixingSourceTexts() {
  static const std::vector<std::string> texts{"OFF", "AD1-R", "AD2-R", "AD3-R"};
  return texts;
}

const std::vector<std::string>& mixingRatioTexts() {
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> t;
    for (int m = kMixingMagnitude; m >= 1; --m) t.push_back("x -" + std::to_string(m));
    t.emplace_back("OFF");
    for (int m = 1; m <= kMixingMagnitude; ++m) t.push_back("x " + std::to_string(m));
    return t;
  }();
  return texts;
}

const std::vector<std::string>& analogInputTexts() {
  static const std::vector<std::string> texts{"AD1", "AD2", "AD3"};
  return texts;
}

std::string settingOperationCaption(SettingOperation operation) {
  switch (operation) {
    case SettingOperation::kTeachValue:
      return "教示で計測した値をパラメータにセットする";
    case SettingOperation::kLoopCounter:
      return "ループカウンタにループ回数をセットする";
    case SettingOperation::kCompareRegister:
      return "比較レジスタに数値をセットする";
    case SettingOperation::kAnalogCalibrate:
      return "アナログ入力の基準値を校正する";
    case SettingOperation::kSensorControl:
      return "センサーコントロールの切換";
    case SettingOperation::kReceiverOn:
      return "受信機からの再生をONにする";
    case SettingOperation::kReceiverOff:
      return "受信機からの再生をOFFにする";
    case SettingOperation::kNone:
      break;
  }
  return {};
}

std::string sensorCaption(int k, const SensorEntry& entry, const std::string& motionCaption) {
  std::string caption = "AD" + std::to_string(k / 2 + 1);
  if (entry.motionIndex == 0) return caption + " OFF";
  return caption + " 変化量が" + std::to_string(entry.threshold) + "を超えたら" + motionCaption +
         "を再生する";
}

}  // namespace pvrj
