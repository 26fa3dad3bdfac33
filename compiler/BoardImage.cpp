// Board images: the file text, its checks, and the backup and restore sequences.
#include "compiler/BoardImage.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include <zlib.h>

#include "common/FileIo.h"
#include "common/IniFile.h"
#include "compiler/CheckedWrite.h"
#include "protocol/MotionTable.h"

#ifndef PVRJ_VERSION
#define PVRJ_VERSION "unknown"
#endif

namespace pvrj {
namespace {

constexpr const char* kProgramName = "Pivora J " PVRJ_VERSION;
constexpr const char* kFormatKey = "Format";
constexpr const char* kProgramKey = "Program";
constexpr const char* kDateKey = "Date";
constexpr const char* kBoardInfoKey = "BoardInfo";
constexpr const char* kCheckKey = "Check";
constexpr const char* kStepsKey = "Steps";
constexpr std::size_t kOptionWordLength = 2;
constexpr std::size_t kQvsMaskBytes = 3;
constexpr std::size_t kAnalogRefsBytes = 6;
constexpr std::size_t kAlarmBytes = 3;
constexpr std::size_t kStartDataBytes = 2;
constexpr int kRecordCapacity = kMotionSlots * kRecordsPerSlot;

// Bits of the working option word that belong to the moment, not to the user's settings: sleep,
// pause, the two streams, the data dialog's bit and the servo-bus mode entered at power-on. A
// restore leaves them as the board has them.
constexpr std::uint16_t kTransientOptionBits = kOptionSleep | kOptionPause | kOptionReceiverStream |
                                               kOptionBit5 | kOptionAnalogStream | kOptionQvsMode;
constexpr const char* kWorkingOptionsKey = "OptionsWorking";

std::string hexOf(std::span<const std::uint8_t> bytes) {
  constexpr char kDigits[] = "0123456789abcdef";
  // Written into a string of the final size: an image has tens of thousands of these digits.
  std::string out(bytes.size() * 2, '0');
  char* digit = out.data();
  for (std::uint8_t b : bytes) {
    *digit++ = kDigits[b >> 4];
    *digit++ = kDigits[b & 0x0F];
  }
  return out;
}

// The value of each hex digit, -1 for any other character.
constexpr std::array<std::int8_t, 256> kNibbles = [] {
  std::array<std::int8_t, 256> t{};
  t.fill(-1);
  for (int d = 0; d < 10; ++d) t['0' + d] = static_cast<std::int8_t>(d);
  for (int d = 0; d < 6; ++d) {
    t['a' + d] = static_cast<std::int8_t>(10 + d);
    t['A' + d] = static_cast<std::int8_t>(10 + d);
  }
  return t;
}();

int nibble(char c) {
  return kNibbles[static_cast<unsigned char>(c)];
}

// Exactly length bytes of hex, or nothing.
std::optional<Bytes> bytesOf(std::string_view hex, std::size_t length) {
  if (hex.size() != 2 * length) return std::nullopt;
  Bytes out(length);
  for (std::size_t i = 0; i < length; ++i) {
    const int hi = nibble(hex[2 * i]);
    const int lo = nibble(hex[2 * i + 1]);
    if ((hi | lo) < 0) return std::nullopt;  // either is no digit
    out[i] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  return out;
}

std::uint32_t crcAdd(std::uint32_t crc, std::string_view text) {
  return static_cast<std::uint32_t>(
      crc32(crc, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
}

// Records a motion slot's entry stands for that the board can hold: a count running past the
// last slot stops at the end of the board's memory.
int recordsHeld(int slot, int count) {
  return std::min(count, kRecordCapacity - slot * kRecordsPerSlot);
}
int stepsHeld(int count) {
  return std::min(count, kMaxScenarioSteps);
}

std::string recordKey(int index) {
  return "R" + std::to_string(index + 1);
}

// Every data line of the image (not the header) in file order: section, key, value.
struct DataLine {
  std::string section;
  std::string key;
  std::string value;
};
std::vector<DataLine> dataLines(const BoardImage& image) {
  std::vector<DataLine> lines;
  for (int n = 0; n < kTableSlots; ++n)
    lines.push_back({kImageTableSection, slotCaption(n), hexOf(image.entries[n])});
  for (int s = 0; s < kMotionSlots; ++s) {
    const auto& records = image.records[static_cast<std::size_t>(s)];
    for (std::size_t i = 0; i < records.size(); ++i)
      lines.push_back({slotCaption(s), recordKey(static_cast<int>(i)), hexOf(records[i])});
  }
  for (int s = 0; s < kScenarioSlots; ++s) {
    const auto& steps = image.steps[static_cast<std::size_t>(s)];
    if (!steps.empty())
      lines.push_back({slotCaption(kFirstScenarioSlot + s), kStepsKey, hexOf(steps)});
  }
  const auto& blocks = settingBlocks();
  for (std::size_t i = 0; i < blocks.size() && i < image.settings.size(); ++i)
    lines.push_back({kImageSettingsSection, blocks[i].key, hexOf(image.settings[i])});
  return lines;
}

std::string checkOf(const std::vector<DataLine>& lines) {
  std::uint32_t crc = 0;
  for (const DataLine& line : lines) {
    crc = crcAdd(crc, line.section);
    crc = crcAdd(crc, "/");
    crc = crcAdd(crc, line.key);
    crc = crcAdd(crc, "=");
    crc = crcAdd(crc, line.value);
    crc = crcAdd(crc, "\n");
  }
  char text[16];
  std::snprintf(text, sizeof text, "%08x", crc);
  return text;
}

std::string dateText(const std::tm& t) {
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

// A data block read from the board: the first length bytes of the reply (its checksum dropped).
bool dataOf(bool ok, Bytes& reply, std::size_t length) {
  if (!ok || reply.size() < length) return false;
  reply.resize(length);
  return true;
}

template <std::size_t N>
std::array<std::uint16_t, N / 2> wordsOf(const Bytes& data) {
  std::array<std::uint16_t, N / 2> words{};
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = readWord(&data[2 * i]);
  return words;
}

PositionBlock blockOf(const Bytes& data) {
  PositionBlock block;
  block.decode(data);
  return block;
}

void addCopied(std::vector<SettingBlock>& blocks, const std::string& name, BoardCopy copy) {
  const std::string key = name + (copy == StoredCopy ? "Stored" : "Working");
  if (name == "Options") {
    blocks.push_back({key, kOptionWordLength,
                      [copy](BoardLink& l, Bytes& d) {
                        return dataOf(l.CmdReadOptions(copy, d), d, kOptionWordLength);
                      },
                      [copy](BoardLink& l, const Bytes& d) {
                        std::uint16_t word = readWord(d.data());
                        if (copy == WorkingCopy) {
                          std::uint16_t now = 0;
                          if (!l.CmdReadOptions(WorkingCopy, now)) return false;
                          word = static_cast<std::uint16_t>((word & ~kTransientOptionBits) |
                                                            (now & kTransientOptionBits));
                        }
                        return l.CmdWriteOptions(copy, word);
                      }});
  } else if (name == "Trims") {
    blocks.push_back(
        {key, kPositionBlockLength,
         [copy](BoardLink& l, Bytes& d) {
           return dataOf(l.CmdReadTrims(copy, d), d, kPositionBlockLength);
         },
         [copy](BoardLink& l, const Bytes& d) { return l.CmdWriteTrims(copy, blockOf(d)); }});
  } else if (name == "ReceiverRefs") {
    blocks.push_back(
        {key, kReceiverRefsLength,
         [copy](BoardLink& l, Bytes& d) {
           return dataOf(l.CmdReadReceiverRefs(copy, d), d, kReceiverRefsLength);
         },
         [copy](BoardLink& l, const Bytes& d) { return l.CmdWriteReceiverRefs(copy, d); }});
  } else if (name == "Sensor") {
    blocks.push_back(
        {key, kSensorBlockLength,
         [copy](BoardLink& l, Bytes& d) {
           return dataOf(l.CmdReadSensorBlock(copy, d), d, kSensorBlockLength);
         },
         [copy](BoardLink& l, const Bytes& d) { return l.CmdWriteSensorBlock(copy, d); }});
  } else if (name == "AnalogRefs") {
    blocks.push_back({key, kAnalogRefsBytes,
                      [copy](BoardLink& l, Bytes& d) {
                        return dataOf(l.CmdReadAnalogRefs(copy, d), d, kAnalogRefsBytes);
                      },
                      [copy](BoardLink& l, const Bytes& d) {
                        return l.CmdWriteAnalogRefs(copy, wordsOf<kAnalogRefsBytes>(d));
                      }});
  } else {  // "Mixing1" .. "Mixing3"
    const int input = name.back() - '1';
    blocks.push_back({key, kMixingBlockLength,
                      [copy, input](BoardLink& l, Bytes& d) {
                        return dataOf(l.CmdReadMixingBlock(copy, input, d), d, kMixingBlockLength);
                      },
                      [copy, input](BoardLink& l, const Bytes& d) {
                        return l.CmdWriteMixingBlock(copy, input, d);
                      }});
  }
}

std::vector<SettingBlock> makeSettingBlocks() {
  std::vector<SettingBlock> blocks;
  for (const char* name : {"Options", "Trims", "ReceiverRefs", "Sensor", "Mixing1", "Mixing2",
                           "Mixing3", "AnalogRefs"})
    for (BoardCopy copy : {StoredCopy, WorkingCopy}) addCopied(blocks, name, copy);
  blocks.push_back(
      {"Home", kPositionBlockLength,
       [](BoardLink& l, Bytes& d) {
         return dataOf(l.CmdReadHomePosition(d), d, kPositionBlockLength);
       },
       [](BoardLink& l, const Bytes& d) { return l.CmdWriteHomePosition(blockOf(d)); }});
  for (int ch = 0; ch < kBoardChannels; ++ch) {
    blocks.push_back(
        {"ChannelName" + std::to_string(ch + 1), kChannelNameLength,
         [ch](BoardLink& l, Bytes& d) {
           return dataOf(l.CmdReadChannelName(ch, d), d, kChannelNameLength);
         },
         [ch](BoardLink& l, const Bytes& d) { return l.CmdWriteChannelNameBytes(ch, d); }});
  }
  blocks.push_back(
      {"QvsMask", kQvsMaskBytes,
       [](BoardLink& l, Bytes& d) { return dataOf(l.CmdReadQvsMask(d), d, kQvsMaskBytes); },
       [](BoardLink& l, const Bytes& d) {
         return l.CmdWriteQvsMask(static_cast<std::uint32_t>(d[0] | d[1] << 8 | d[2] << 16));
       }});
  blocks.push_back(
      {"StartData", kStartDataBytes,
       [](BoardLink& l, Bytes& d) { return dataOf(l.CmdReadStartData(d), d, kStartDataBytes); },
       [](BoardLink& l, const Bytes& d) { return l.CmdWriteStartData(d[0], d[1]); }});
  blocks.push_back(
      {"Alarm", kAlarmBytes,
       [](BoardLink& l, Bytes& d) { return dataOf(l.CmdReadAlarm(d), d, kAlarmBytes); },
       [](BoardLink& l, const Bytes& d) { return l.CmdWriteAlarm(d[0], readWord(&d[1])); }});
  return blocks;
}

bool isWorkingOptions(const SettingBlock& block) {
  return block.key == kWorkingOptionsKey;
}

// What a block should read back as after data was written: the working option word keeps the
// board's own transient bits, so those are not compared.
bool sameBlock(const SettingBlock& block, const Bytes& written, const Bytes& read) {
  if (!isWorkingOptions(block)) return written == read;
  if (written.size() != kOptionWordLength || read.size() != kOptionWordLength) return false;
  return (readWord(written.data()) & ~kTransientOptionBits) ==
         (readWord(read.data()) & ~kTransientOptionBits);
}

Result<BoardImage> refused(std::string why) {
  return Result<BoardImage>::failure(std::move(why));
}

// Counts work done for the progress bar.
class Progress {
 public:
  Progress(ImageTransfer& t, int total) : t_(t), total_(std::max(total, 1)) {}
  void step() {
    ++done_;
    if (t_.progress) t_.progress(std::min(done_, total_), total_);
  }
  void add(int more) { total_ += more; }
  ~Progress() {
    if (t_.progress) t_.progress(0, 0);
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

 private:
  ImageTransfer& t_;
  int total_;
  int done_ = 0;
};

bool failed(ImageTransfer& t, const char* action) {
  t.ui.showStatus(t.link.failureStatus(action));
  return false;
}

// A difference the check found: the status line's short form and the message box's long one.
bool different(ImageTransfer& t, const std::string& reason, const std::string& message) {
  t.ui.showStatus(std::string(kActionRestore) + "失敗: " + reason);
  t.ui.ShowMessageBox(kMsgError, kBtnOk, message);
  return false;
}

std::string blockDifferenceMessage(const std::string& what, const Bytes& written,
                                   const Bytes& read) {
  return "書き込んだ内容を読み返すと、" + what + "が違います。\r\n書込: " + spacedHex(written) +
         "\r\n読込: " + spacedHex(read);
}

bool restoreMotions(ImageTransfer& t, const BoardImage& image, Progress& progress) {
  const bool verify = t.safety.verify;
  std::array<TableEntryData, kTableSlots> board{};
  for (int n = 0; n < kTableSlots; ++n) {
    Bytes reply;
    if (!t.link.CmdReadTableEntry(n, reply) || reply.size() < kTableEntryLength)
      return failed(t, kActionRestore);
    std::copy_n(reply.begin(), kTableEntryLength, board[n].begin());
  }
  // What the board holds that the image does not is kept before anything changes.
  if (!t.safety.keepFolder.empty()) {
    for (int n = 0; n < kTableSlots; ++n) {
      const TableEntry held = TableEntry::from(board[n]);
      if (held.count > 0 && board[n] != image.entries[n] &&
          !keepSlotContents(t.link, t.ui, t.safety.keepFolder, n, held))
        return false;
    }
  }
  // No entry may stand over records that are being replaced.
  const TableEntryData blank = TableEntry::blank().encode();
  for (int n = 0; n < kTableSlots; ++n) {
    if (board[n][kEntryCountOffset] == 0) continue;
    if (!t.link.CmdWriteTableEntry(n, blank)) return failed(t, kActionRestore);
    if (t.link.onTableEntryChanged) t.link.onTableEntryChanged(n, blank);
    board[n] = blank;
  }
  for (int s = 0; s < kMotionSlots; ++s) {
    const auto& records = image.records[static_cast<std::size_t>(s)];
    for (std::size_t i = 0; i < records.size(); ++i) {
      PositionRecord record;
      record.decode(records[i]);
      if (!t.link.CmdWritePositionRecord(StoredCopy, s, static_cast<int>(i), record))
        return failed(t, kActionRestore);
      progress.step();
    }
    if (!verify || records.empty()) continue;
    RecordDifference d;
    const CheckOutcome outcome = checkRecords(
        t.link, s, records, [&progress](int) { progress.step(); }, d);
    if (outcome == CheckOutcome::kLinkFailed) return failed(t, kActionVerify);
    if (outcome == CheckOutcome::kDifferent)
      return different(t, slotCaption(s) + "の" + recordDifferenceReason(d),
                       recordDifferenceMessage(s, d));
  }
  for (int s = 0; s < kScenarioSlots; ++s) {
    const auto& steps = image.steps[static_cast<std::size_t>(s)];
    for (std::size_t i = 0; i < steps.size(); ++i) {
      if (!t.link.CmdWriteScenarioStep(s, static_cast<int>(i), steps[i]))
        return failed(t, kActionRestore);
      progress.step();
    }
    if (!verify || steps.empty()) continue;
    StepDifference d;
    const CheckOutcome outcome = checkSteps(
        t.link, s, steps, [&progress](int) { progress.step(); }, d);
    if (outcome == CheckOutcome::kLinkFailed) return failed(t, kActionVerify);
    if (outcome == CheckOutcome::kDifferent)
      return different(t, slotCaption(kFirstScenarioSlot + s) + "の" + stepDifferenceReason(d),
                       stepDifferenceMessage(s, d));
  }
  // The entries last: each slot counts its records only once they are all in place.
  for (int n = 0; n < kTableSlots; ++n) {
    const TableEntryData& entry = image.entries[n];
    if (board[n] != entry) {
      if (!t.link.CmdWriteTableEntry(n, entry)) return failed(t, kActionRestore);
      if (t.link.onTableEntryChanged) t.link.onTableEntryChanged(n, entry);
      if (verify) {
        Bytes reply;
        if (!t.link.CmdReadTableEntry(n, reply) || reply.size() < kTableEntryLength)
          return failed(t, kActionVerify);
        reply.resize(kTableEntryLength);
        const Bytes written(entry.begin(), entry.end());
        if (reply != written)
          return different(t, slotCaption(n) + "のＰＣＴが違います",
                           blockDifferenceMessage(slotCaption(n) + "のＰＣＴ", written, reply));
      }
    }
    progress.step();
    if (verify) progress.step();
    if (entry[kEntryCountOffset] > 0) t.ui.showStatus(slotCaption(n) + kStatusSlotRestored);
  }
  return true;
}

bool restoreSettings(ImageTransfer& t, const BoardImage& image, Progress& progress) {
  const auto& blocks = settingBlocks();
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const Bytes& data = image.settings[i];
    if (!blocks[i].write(t.link, data)) return failed(t, kActionRestore);
    progress.step();
    if (!t.safety.verify) continue;
    Bytes read;
    if (!blocks[i].read(t.link, read)) return failed(t, kActionVerify);
    if (!sameBlock(blocks[i], data, read))
      return different(t, blocks[i].key + "が違います",
                       blockDifferenceMessage(blocks[i].key, data, read));
    progress.step();
  }
  t.ui.showStatus(kStatusSettingsRestored);
  return true;
}

}  // namespace

const std::vector<SettingBlock>& settingBlocks() {
  static const std::vector<SettingBlock> blocks = makeSettingBlocks();
  return blocks;
}

bool BoardImage::sameContents(const BoardImage& other) const {
  return entries == other.entries && records == other.records && steps == other.steps &&
         settings == other.settings;
}

std::string boardImageText(const BoardImage& image) {
  const std::vector<DataLine> lines = dataLines(image);
  IniFile ini;
  ini.writeInteger(kImageSection, kFormatKey, kImageFormat);
  ini.writeString(kImageSection, kProgramKey, image.program);
  ini.writeString(kImageSection, kDateKey, image.date);
  ini.writeString(kImageSection, kBoardInfoKey, hexOf(image.boardInfo));
  ini.writeString(kImageSection, kCheckKey, checkOf(lines));
  for (const DataLine& line : lines) ini.writeString(line.section, line.key, line.value);
  return ini.toString();
}

std::string restoreQuestion(const std::string& path, RestoreScope scope) {
  const char* what = scope == RestoreScope::kMotions    ? "モーションとシナリオ"
                     : scope == RestoreScope::kSettings ? "設定"
                                                        : "モーション、シナリオと設定";
  return std::string("ボードの") + what + "を " + path + " の内容で置き換えます。よろしいですか？";
}

std::string imageRefusedMessage(const std::string& path, const std::string& why) {
  return "ボードイメージ " + path + " は使えません: " + why;
}

Result<BoardImage> parseBoardImage(std::string_view text) {
  const IniFile ini = IniFile::fromString(text);
  if (!ini.hasSection(kImageSection))
    return refused(std::string("ボードイメージではありません([") + kImageSection +
                   "]がありません)");
  const std::string format = ini.readString(kImageSection, kFormatKey, "");
  if (format != std::to_string(kImageFormat))
    return refused("形式" + (format.empty() ? std::string("の指定") : format) +
                   "はこのプログラムでは読めません");
  BoardImage image;
  image.program = ini.readString(kImageSection, kProgramKey, "");
  image.date = ini.readString(kImageSection, kDateKey, "");
  const std::string info = ini.readString(kImageSection, kBoardInfoKey, "");
  if (auto bytes = bytesOf(info, info.size() / 2)) image.boardInfo = *bytes;

  auto missing = [](const std::string& section, const std::string& key) {
    return refused("壊れています([" + section + "]の" + key + "がないか、長さが違います)");
  };
  const IniFile::SectionView table = ini.section(kImageTableSection);
  for (int n = 0; n < kTableSlots; ++n) {
    auto bytes = bytesOf(table.readString(slotCaption(n), ""), kTableEntryLength);
    if (!bytes) return missing(kImageTableSection, slotCaption(n));
    std::copy(bytes->begin(), bytes->end(), image.entries[n].begin());
  }
  for (int s = 0; s < kMotionSlots; ++s) {
    const int count = recordsHeld(s, image.entries[s][kEntryCountOffset]);
    const std::string section = slotCaption(s);
    const IniFile::SectionView records = ini.section(section);
    auto& out = image.records[static_cast<std::size_t>(s)];
    for (int i = 0; i < count; ++i) {
      auto bytes = bytesOf(records.readString(recordKey(i), ""), kPositionRecordLength);
      if (!bytes) return missing(section, recordKey(i));
      MotionRecord record{};
      std::copy(bytes->begin(), bytes->end(), record.begin());
      out.push_back(record);
    }
  }
  for (int s = 0; s < kScenarioSlots; ++s) {
    const int number = kFirstScenarioSlot + s;
    const int count = stepsHeld(image.entries[number][kEntryCountOffset]);
    if (count == 0) continue;
    auto bytes = bytesOf(ini.readString(slotCaption(number), kStepsKey, ""),
                         static_cast<std::size_t>(count));
    if (!bytes) return missing(slotCaption(number), kStepsKey);
    image.steps[static_cast<std::size_t>(s)] = *bytes;
  }
  const IniFile::SectionView settings = ini.section(kImageSettingsSection);
  for (const SettingBlock& block : settingBlocks()) {
    auto bytes = bytesOf(settings.readString(block.key, ""), block.length);
    if (!bytes) return missing(kImageSettingsSection, block.key);
    image.settings.push_back(*bytes);
  }
  if (ini.readString(kImageSection, kCheckKey, "") != checkOf(dataLines(image)))
    return refused("中身がチェック値と合いません(書き換えられたか、壊れています)");
  return image;
}

Result<BoardImage> loadBoardImage(const std::string& path) {
  Result<std::string> bytes = readFileBytes(path);
  if (!bytes) return refused(bytes.message());
  return parseBoardImage(bytes.value());
}

Status saveBoardImage(const BoardImage& image, const std::string& path) {
  return writeTextFile(path, boardImageText(image));
}

bool backupBoard(ImageTransfer& t, BoardImage& image) {
  BoardImage out;
  out.program = kProgramName;
  out.date = dateText(t.link.clock());
  const auto& blocks = settingBlocks();
  Progress progress(t, 2 + kTableSlots + static_cast<int>(blocks.size()));
  // The working option word as the user left it, before going to sleep sets its sleep bit.
  Bytes workingOptions;
  if (!dataOf(t.link.CmdReadOptions(WorkingCopy, workingOptions), workingOptions,
              kOptionWordLength))
    return failed(t, kActionBackup);
  progress.step();
  if (!t.link.SetSleep(kSleepOn)) return failed(t, kActionBackup);
  t.ui.showStatus(kStatusSleepOn);
  if (!t.link.CmdReadBoardInfo(out.boardInfo)) return failed(t, kActionBackup);
  progress.step();
  for (int n = 0; n < kTableSlots; ++n) {
    Bytes reply;
    if (!dataOf(t.link.CmdReadTableEntry(n, reply), reply, kTableEntryLength))
      return failed(t, kActionBackup);
    std::copy(reply.begin(), reply.end(), out.entries[n].begin());
    progress.step();
  }
  int more = 0;
  for (int s = 0; s < kMotionSlots; ++s) more += recordsHeld(s, out.entries[s][kEntryCountOffset]);
  for (int s = 0; s < kScenarioSlots; ++s)
    more += stepsHeld(out.entries[kFirstScenarioSlot + s][kEntryCountOffset]);
  progress.add(more);
  for (const SettingBlock& block : blocks) {
    Bytes data;
    if (isWorkingOptions(block)) {
      data = workingOptions;
    } else if (!block.read(t.link, data)) {
      return failed(t, kActionBackup);
    }
    out.settings.push_back(std::move(data));
    progress.step();
  }
  for (int s = 0; s < kMotionSlots; ++s) {
    const int count = recordsHeld(s, out.entries[s][kEntryCountOffset]);
    for (int i = 0; i < count; ++i) {
      Bytes reply;
      if (!dataOf(t.link.CmdReadPositionRecord(StoredCopy, s, i, reply), reply,
                  kPositionRecordLength))
        return failed(t, kActionBackup);
      MotionRecord record{};
      std::copy(reply.begin(), reply.end(), record.begin());
      out.records[static_cast<std::size_t>(s)].push_back(record);
      progress.step();
    }
  }
  for (int s = 0; s < kScenarioSlots; ++s) {
    const int count = stepsHeld(out.entries[kFirstScenarioSlot + s][kEntryCountOffset]);
    for (int i = 0; i < count; ++i) {
      Bytes reply;
      if (!t.link.CmdReadScenarioStep(s, i, reply) || reply.empty())
        return failed(t, kActionBackup);
      out.steps[static_cast<std::size_t>(s)].push_back(reply[0]);
      progress.step();
    }
  }
  if (!t.link.SetSleep(kSleepOff)) return failed(t, kActionSleepOff);
  t.ui.showStatus(kStatusSleepOff);
  image = std::move(out);
  return true;
}

bool backupBoardToFile(ImageTransfer& t, const std::string& path) {
  if (Status writable = probeWritable(path); !writable) {
    t.ui.ShowMessageBox(kMsgError, kBtnOk,
                        "ボードイメージを " + path + " に保存できません: " + writable.message());
    return false;
  }
  BoardImage image;
  if (!backupBoard(t, image)) return false;
  if (Status saved = saveBoardImage(image, path); !saved) {
    t.ui.ShowMessageBox(kMsgError, kBtnOk,
                        "ボードイメージを " + path + " に保存できません: " + saved.message());
    return false;
  }
  t.ui.showStatus(kStatusBackedUp + path);
  return true;
}

bool restoreBoard(ImageTransfer& t, const BoardImage& image, RestoreScope scope) {
  const bool motions = scope != RestoreScope::kSettings;
  const bool settings = scope != RestoreScope::kMotions;
  if (settings && image.settings.size() != settingBlocks().size()) return false;
  int work = 0;
  if (motions) {
    for (const auto& r : image.records) work += static_cast<int>(r.size());
    for (const auto& s : image.steps) work += static_cast<int>(s.size());
    work += kTableSlots;
  }
  if (settings) work += static_cast<int>(settingBlocks().size());
  Progress progress(t, t.safety.verify ? 2 * work : work);
  if (!t.link.SetSleep(kSleepOn)) return failed(t, kActionRestore);
  t.ui.showStatus(kStatusSleepOn);
  if (motions && !restoreMotions(t, image, progress)) return false;
  if (settings && !restoreSettings(t, image, progress)) return false;
  if (!t.link.SetSleep(kSleepOff)) return failed(t, kActionSleepOff);
  t.ui.showStatus(kStatusSleepOff);
  return true;
}

bool restoreBoardFromFile(ImageTransfer& t, const std::string& path, RestoreScope scope) {
  Result<BoardImage> image = loadBoardImage(path);
  if (!image) {
    t.ui.ShowMessageBox(kMsgError, kBtnOk, imageRefusedMessage(path, image.message()));
    return false;
  }
  if (!restoreBoard(t, image.value(), scope)) return false;
  t.ui.showStatus(kStatusRestored + path);
  return true;
}

}  // namespace pvrj
