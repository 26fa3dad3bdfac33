// Encoding and decoding of poses, records and motion table entries.
#include "protocol/BoardTypes.h"

#include <algorithm>

#include "common/Encoding.h"

namespace pvrj {
namespace {

constexpr std::size_t kMaskOffset = 1;
constexpr std::size_t kDateOffset = 4;
constexpr std::size_t kControlOffset = 8;
constexpr std::size_t kNameOffset = 10;

}  // namespace

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
  out[0] = count;
  out[kMaskOffset] = static_cast<std::uint8_t>(mask & 0xFF);
  out[kMaskOffset + 1] = static_cast<std::uint8_t>((mask >> 8) & 0xFF);
  out[kMaskOffset + 2] = static_cast<std::uint8_t>((mask >> 16) & 0xFF);
  out[kDateOffset] = month;
  out[kDateOffset + 1] = day;
  out[kDateOffset + 2] = hour;
  out[kDateOffset + 3] = minute;
  out[kControlOffset] = static_cast<std::uint8_t>(control >> 8);
  out[kControlOffset + 1] = static_cast<std::uint8_t>(control & 0xFF);
  // A long name loses its tail, never half a two-byte character.
  std::string cut = cutCp932(name, kTableNameLength);
  std::copy(cut.begin(), cut.end(), out.begin() + kNameOffset);
  return out;
}

bool TableEntry::decode(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kTableEntryLength) return false;
  count = bytes[0];
  mask = static_cast<std::uint32_t>(bytes[kMaskOffset]) |
         (static_cast<std::uint32_t>(bytes[kMaskOffset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[kMaskOffset + 2]) << 16);
  month = bytes[kDateOffset];
  day = bytes[kDateOffset + 1];
  hour = bytes[kDateOffset + 2];
  minute = bytes[kDateOffset + 3];
  control = readWord(bytes.data() + kControlOffset);
  const auto* first = bytes.data() + kNameOffset;
  const auto* last = std::find(first, first + kTableNameLength, std::uint8_t{0});
  name.assign(first, last);
  return true;
}

}  // namespace pvrj
