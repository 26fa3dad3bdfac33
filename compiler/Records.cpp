// Encoding of motion records, their record class and target on read-back, and the dump rows.
#include "compiler/Records.h"

#include <cstdio>
#include <cstring>

namespace pvrj {

MotionRecord makeRecord(std::uint8_t lead, const PrmWordArray& words) {
  MotionRecord record{};
  record[0] = lead;
  for (int ch = 0; ch < kChannelCount; ++ch) {
    record[1 + 2 * ch] = static_cast<std::uint8_t>(words[ch] >> 8);
    record[2 + 2 * ch] = static_cast<std::uint8_t>(words[ch] & 0xFF);
  }
  return record;
}

std::uint16_t recordWord(const MotionRecord& record, int channel) {
  return static_cast<std::uint16_t>((record[1 + 2 * channel] << 8) | record[2 + 2 * channel]);
}

PrmWordArray recordWords(const MotionRecord& record) {
  PrmWordArray words{};
  for (int ch = 0; ch < kChannelCount; ++ch) words[ch] = recordWord(record, ch);
  return words;
}

MotionRecord encodeItemStep(const ChartItem& item) {
  return makeRecord(item.PrmByte, item.PrmWords);
}

MotionRecord encodeCompareStep(const ChartItem& item, int targetStep) {
  PrmWordArray words{};
  for (int ch = 0; ch < kChannelCount; ++ch)
    words[ch] = static_cast<std::uint16_t>(item.PrmWords[ch] + targetStep);
  return makeRecord(kControlLeadByte, words);
}

MotionRecord encodeJumpStep(int targetStep) {
  PrmWordArray words;
  words.fill(static_cast<std::uint16_t>(kJumpBase + targetStep));
  return makeRecord(kControlLeadByte, words);
}

MotionRecord encodeEndStep() {
  PrmWordArray words;
  words.fill(kEndWord);
  return makeRecord(kControlLeadByte, words);
}

int wordRecordClass(std::uint16_t word) {
  switch (classify(word)) {
    case 0:
    case 1:
    case 3:
    case 4:
      return kRecordPos;
    case 5:
      return kRecordJmp;
    case 7:
    case 9:
    case 10:
    case 11:
    case 15:
    case 16:
    case 17:
    case 18:
    case 34:
    case 35:
      return kRecordCmp;
    case 31:
      return kRecordEnd;
    case 255:
      return kRecordUnknown;
    default:
      // Settings, mixing, calibration, sensor control, receiver playback and the classes that no
      // editor produces.
      return kRecordSet;
  }
}

int recordClass(const MotionRecord& record) {
  int first = kRecordPos;
  for (int ch = 0; ch < kChannelCount; ++ch) {
    int c = wordRecordClass(recordWord(record, ch));
    if (c == kRecordPos) continue;
    if (first == kRecordPos)
      first = c;
    else if (c != first)
      return kRecordPos;
  }
  return wordRecordClass(recordWord(record, kChannelCount - 1));
}

int recordTarget(const MotionRecord& record) {
  WordClass previous = splitWord(recordWord(record, 0));
  for (int ch = 1; ch < kChannelCount; ++ch) {
    WordClass current = splitWord(recordWord(record, ch));
    if (current.base != previous.base) return current.offset;
    previous = current;
  }
  return previous.offset;
}

namespace {
constexpr char kHexDigits[] = "0123456789abcdef";

// Lower-case hex of a byte at out, as "%.2x" gives it; written by hand because the dump and the
// listing format every byte of every record. Returns the place after it.
char* putHexByte(char* out, std::uint8_t b) {
  out[0] = kHexDigits[b >> 4];
  out[1] = kHexDigits[b & 0x0F];
  return out + 2;
}

// Both dump forms are the record number, the lead byte and the 24 words with a blank between
// fields; the read-back form ends in a blank as well.
std::string formatDumpRow(int index, const MotionRecord& record, bool blankAfter) {
  char number[16];
  const int digits = std::snprintf(number, sizeof number, "%.3d", index + 1);
  const auto numberLength = static_cast<std::size_t>(digits);
  std::string row(numberLength + 3 + 5 * kChannelCount + (blankAfter ? 1 : 0), ' ');
  std::memcpy(row.data(), number, numberLength);
  char* p = putHexByte(row.data() + numberLength + 1, record[0]);
  for (int ch = 0; ch < kChannelCount; ++ch) {
    p = putHexByte(p + 1, record[1 + 2 * ch]);
    p = putHexByte(p, record[2 + 2 * ch]);
  }
  return row;
}
}  // namespace

std::string parameterHex(const ChartItem& item) {
  std::string hex(2 + 4 * kChannelCount, '0');
  char* p = putHexByte(hex.data(), item.PrmByte);
  for (std::uint16_t w : item.PrmWords) {
    p = putHexByte(p, static_cast<std::uint8_t>(w >> 8));
    p = putHexByte(p, static_cast<std::uint8_t>(w & 0xFF));
  }
  return hex;
}

std::string dumpRow(int index, const MotionRecord& record) {
  return formatDumpRow(index, record, false);
}

std::string readBackDumpRow(int index, const MotionRecord& record) {
  return formatDumpRow(index, record, true);
}

bool tooManyRecordsForTable(std::size_t count) {
  return count > kMaxTableRecords;
}

}  // namespace pvrj
