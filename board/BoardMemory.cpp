// The virtual board's memory: defaults of a new board and the state file that keeps it.
#include "board/BoardMemory.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstring>

#include "common/FileIo.h"

namespace pvrj::board {
namespace {

constexpr char kStateMagic[8] = {'P', 'V', 'R', 'J', 'B', 'R', 'D', '1'};
constexpr std::size_t kMagicSize = sizeof(kStateMagic);
constexpr std::uint16_t kDefaultAnalogRef = 512;
constexpr std::uint8_t kDefaultReceiverRef = 64;
// 6.0 V as the options dialog converts it.
constexpr std::uint16_t kDefaultAlarmThreshold = 391;
constexpr const char kInfoText[] =
    "Pivora J virtual"
    "board, 24 ch    "
    "115200 bit/s    "
    "firmware 1.00   ";
static_assert(sizeof(kInfoText) == kInfoTextSize + 1);

// Appends fields in a fixed order; 16-bit values high byte first like the wire.
class Writer {
 public:
  void bytes(const std::uint8_t* data, std::size_t count) {
    out_.append(reinterpret_cast<const char*>(data), count);
  }
  template <std::size_t N>
  void bytes(const std::array<std::uint8_t, N>& a) {
    bytes(a.data(), N);
  }
  void word(std::uint16_t v) {
    out_.push_back(static_cast<char>(v >> 8));
    out_.push_back(static_cast<char>(v & 0xFF));
  }
  template <std::size_t N>
  void words(const std::array<std::uint16_t, N>& a) {
    for (std::uint16_t v : a) word(v);
  }
  std::string& str() { return out_; }

 private:
  std::string out_;
};

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  void bytes(std::uint8_t* data, std::size_t count) {
    std::memcpy(data, in_.data() + pos_, count);
    pos_ += count;
  }
  template <std::size_t N>
  void bytes(std::array<std::uint8_t, N>& a) {
    bytes(a.data(), N);
  }
  std::uint16_t word() {
    std::uint16_t v = static_cast<std::uint16_t>((static_cast<std::uint8_t>(in_[pos_]) << 8) |
                                                 static_cast<std::uint8_t>(in_[pos_ + 1]));
    pos_ += 2;
    return v;
  }
  template <std::size_t N>
  void words(std::array<std::uint16_t, N>& a) {
    for (std::uint16_t& v : a) v = word();
  }

 private:
  std::string_view in_;
  std::size_t pos_ = 0;
};

// One walk over the fields serves both directions, so reader and writer cannot disagree.
template <class Io, class Memory>
void visitCopied(Io& io, Memory& c) {
  if constexpr (std::is_same_v<Io, Writer>) {
    io.word(c.options);
  } else {
    c.options = io.word();
  }
  io.words(c.trims);
  io.bytes(c.receiverRefs);
  io.bytes(c.sensor);
  for (auto& m : c.mixing) io.bytes(m);
  io.words(c.analogRefs);
}

template <class Io, class Memory>
void visitMemory(Io& io, Memory& m) {
  for (auto& e : m.table) io.bytes(e);
  for (auto& r : m.records) io.bytes(r);
  for (auto& s : m.scenarios) io.bytes(s);
  visitCopied(io, m.stored);
  io.words(m.home);
  for (auto& n : m.channelNames) io.bytes(n);
  io.bytes(m.qvsMask);
  for (auto& p : m.qvsParams) io.bytes(p);
  io.bytes(m.alarm);
  io.bytes(m.startData);
  io.bytes(m.infoText);
}

std::size_t payloadSize() {
  static const std::size_t size = [] {
    BoardMemory m;
    Writer w;
    visitMemory(w, m);
    return w.str().size();
  }();
  return size;
}

constexpr std::uint32_t kFnvPrime = 16777619u;

constexpr std::uint32_t primePower(std::size_t n) {
  std::uint32_t p = 1;
  for (std::size_t i = 0; i < n; ++i) p *= kFnvPrime;
  return p;
}

// FNV-1a over the payload: catches a truncated or edited file. A zero byte only multiplies the
// hash by the prime, so the long zero runs of a mostly empty memory are taken a block at a time;
// other blocks eight bytes at a time, so the loop's own cost stays small beside the hash's.
std::uint32_t fnv1a(std::string_view data) {
  constexpr std::size_t kBlock = 512;
  static constexpr char kZeros[kBlock] = {};
  constexpr std::uint32_t kBlockPower = primePower(kBlock);
  std::uint32_t h = 2166136261u;
  std::size_t i = 0;
  while (i + kBlock <= data.size()) {
    if (std::memcmp(data.data() + i, kZeros, kBlock) == 0) {
      h *= kBlockPower;
      i += kBlock;
      continue;
    }
    for (const std::size_t end = i + kBlock; i < end; i += 8) {
      std::uint8_t eight[8];
      std::memcpy(eight, data.data() + i, 8);
      for (std::uint8_t b : eight) h = (h ^ b) * kFnvPrime;
    }
  }
  for (; i < data.size(); ++i) h = (h ^ static_cast<std::uint8_t>(data[i])) * kFnvPrime;
  return h;
}

void putU32(std::string& out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint32_t getU32(std::string_view in) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<std::uint8_t>(in[i]);
  return v;
}

}  // namespace

TableEntry blankTableEntry() {
  TableEntry e{};
  for (int i = 4; i <= 9; ++i) e[i] = 0xFF;
  return e;
}

std::array<std::uint8_t, kQvsParamSize> defaultQvsParams(int ch) {
  // Middle settings; limits at position 30 on both sides (2000 and 1000).
  return {static_cast<std::uint8_t>(ch + 1),
          3,
          2,
          5,
          3,
          1,
          5,
          0,
          0x07,
          0xD0,
          0x03,
          0xE8,
          100,
          3,
          2,
          3,
          2};
}

BoardMemory::BoardMemory() : records(kRecordCapacity, Record{}) {
  table.fill(blankTableEntry());
  stored.trims.fill(kServoCentre);
  stored.receiverRefs.fill(kDefaultReceiverRef);
  stored.analogRefs.fill(kDefaultAnalogRef);
  home.fill(kServoCentre);
  for (int ch = 0; ch < kChannelCount; ++ch) qvsParams[ch] = defaultQvsParams(ch);
  alarm = {0, static_cast<std::uint8_t>(kDefaultAlarmThreshold >> 8),
           static_cast<std::uint8_t>(kDefaultAlarmThreshold & 0xFF)};
  std::memcpy(infoText.data(), kInfoText, kInfoTextSize);
}

std::string serializeMemory(const BoardMemory& memory) {
  // The payload is written in place behind the magic and its size, into a string of the file's
  // size: the records alone are over 100 kB.
  const std::size_t size = payloadSize();
  Writer w;
  w.str().reserve(kMagicSize + 4 + size + 4);
  w.str().assign(kStateMagic, kMagicSize);
  putU32(w.str(), static_cast<std::uint32_t>(size));
  visitMemory(w, memory);
  putU32(w.str(), fnv1a(std::string_view(w.str()).substr(kMagicSize + 4)));
  return std::move(w.str());
}

Result<BoardMemory> deserializeMemory(const std::string& bytes) {
  const std::size_t expected = kMagicSize + 4 + payloadSize() + 4;
  if (bytes.size() < kMagicSize || std::memcmp(bytes.data(), kStateMagic, kMagicSize) != 0) {
    return Result<BoardMemory>::failure("not a virtual board state file");
  }
  if (bytes.size() != expected || getU32(std::string_view(bytes).substr(kMagicSize)) !=
                                      static_cast<std::uint32_t>(payloadSize())) {
    return Result<BoardMemory>::failure("the state file has the wrong size (" +
                                        std::to_string(bytes.size()) + " bytes, expected " +
                                        std::to_string(expected) + ")");
  }
  std::string_view payload = std::string_view(bytes).substr(kMagicSize + 4, payloadSize());
  if (fnv1a(payload) != getU32(std::string_view(bytes).substr(kMagicSize + 4 + payloadSize()))) {
    return Result<BoardMemory>::failure("the state file is damaged (checksum mismatch)");
  }
  BoardMemory m;
  Reader r(payload);
  visitMemory(r, m);
  return m;
}

Status saveMemory(const BoardMemory& memory, const std::string& path) {
  return writeFileAtomically(path, serializeMemory(memory));
}

Result<BoardMemory> loadMemory(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return BoardMemory{};
  Result<std::string> bytes = readFileBytes(path);
  if (!bytes) return Result<BoardMemory>::failure(bytes.message());
  Result<BoardMemory> m = deserializeMemory(bytes.value());
  if (!m) return Result<BoardMemory>::failure(path + ": " + m.message());
  return m;
}

}  // namespace pvrj::board
