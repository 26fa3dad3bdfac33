// Encoding and decoding of poses, records and motion table entries.
#include "protocol/BoardTypes.h"

#include <algorithm>

#include "common/Encoding.h"

namespace pvrj {

PositionBlockBytes PositionBlock::encode() const {
  PositionBlockBytes out{};
  for (std::size_t i = 0; i < words.size(); ++i) {
    out[2 * i] = static_cast<std::uint8_t>(words[i] >> 8);
    out[2 * i + 1] = static_cast<std::uint8_t>(words[i] & 0xFF);
  }
  return out;
}

bool PositionBlock::decode(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kPositionBlockLength) return false;
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = readWord(bytes.data() + 2 * i);
  return true;
}

PositionRecordBytes PositionRecord::encode() const {
  PositionRecordBytes out{};
  out[0] = lead;
  PositionBlockBytes b = block.encode();
  std::copy(b.begin(), b.end(), out.begin() + 1);
  return out;
}

bool PositionRecord::decode(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kPositionRecordLength) return false;
  lead = bytes[0];
  return block.decode(bytes.subspan(1));
}

TableEntryData TableEntry::encode() const {
  TableEntryData out{};
  out[kEntryCountOffset] = count;
  out[kEntryMaskOffset] = static_cast<std::uint8_t>(mask & 0xFF);
  out[kEntryMaskOffset + 1] = static_cast<std::uint8_t>((mask >> 8) & 0xFF);
  out[kEntryMaskOffset + 2] = static_cast<std::uint8_t>((mask >> 16) & 0xFF);
  out[kEntryDateOffset] = month;
  out[kEntryDateOffset + 1] = day;
  out[kEntryDateOffset + 2] = hour;
  out[kEntryDateOffset + 3] = minute;
  out[kEntryControlOffset] = static_cast<std::uint8_t>(control >> 8);
  out[kEntryControlOffset + 1] = static_cast<std::uint8_t>(control & 0xFF);
  // A long name loses its tail, never half a two-byte character.
  std::string cut = utf8ToCp932Cut(name, kTableNameLength);
  std::copy(cut.begin(), cut.end(), out.begin() + kEntryNameOffset);
  return out;
}

bool TableEntry::decode(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kTableEntryLength) return false;
  count = bytes[kEntryCountOffset];
  mask = static_cast<std::uint32_t>(bytes[kEntryMaskOffset]) |
         (static_cast<std::uint32_t>(bytes[kEntryMaskOffset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[kEntryMaskOffset + 2]) << 16);
  month = bytes[kEntryDateOffset];
  day = bytes[kEntryDateOffset + 1];
  hour = bytes[kEntryDateOffset + 2];
  minute = bytes[kEntryDateOffset + 3];
  control = readWord(bytes.data() + kEntryControlOffset);
  const auto* first = bytes.data() + kEntryNameOffset;
  const auto* last = std::find(first, first + kTableNameLength, std::uint8_t{0});
  name = cp932ToUtf8(std::string_view(reinterpret_cast<const char*>(first),
                                      static_cast<std::size_t>(last - first)));
  return true;
}

}  // namespace pvrj
