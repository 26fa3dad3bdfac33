// Fuzz target: pvrj-board's state file. The bytes as a state file; and the bytes as the memory
// inside a state file whose frame is made right, so the reader's every field is reached. A memory
// read back writes the same file, and a board started on it plays entries the input picks.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "board/BoardCommands.h"
#include "board/BoardMemory.h"
#include "board/VirtualBoard.h"
#include "fuzz/FuzzSupport.h"

using namespace pvrj;
using namespace pvrj::fuzz;
using namespace pvrj::board;

namespace {

// The frame of a state file, learnt from a fresh board's: a magic, the payload's size (four
// bytes, high byte first), the payload and a checksum over it (four bytes).
struct Frame {
  std::string magic;
  std::size_t payload = 0;
};

constexpr std::uint32_t kFnvPrime = 16777619u;

std::uint32_t fnv1a(std::string_view bytes, std::uint32_t h = 2166136261u) {
  for (unsigned char c : bytes) h = (h ^ c) * kFnvPrime;
  return h;
}

// FNV-1a carried on over count zero bytes: each one only multiplies by the prime.
std::uint32_t fnv1aZeros(std::uint32_t h, std::size_t count) {
  std::uint32_t factor = kFnvPrime;
  for (; count > 0; count >>= 1, factor *= factor)
    if (count & 1) h *= factor;
  return h;
}

void putU32(std::string& out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

const Frame& frame() {
  static const Frame f = [] {
    const std::string fresh = serializeMemory(BoardMemory{});
    for (std::size_t magic = 0; magic + 8 <= fresh.size(); ++magic) {
      const std::size_t payload = fresh.size() - magic - 8;
      std::string probe(fresh.substr(0, magic));
      putU32(probe, static_cast<std::uint32_t>(payload));
      probe += fresh.substr(magic + 4, payload);
      putU32(probe, fnv1a(fresh.substr(magic + 4, payload)));
      if (probe == fresh) return Frame{fresh.substr(0, magic), payload};
    }
    std::abort();  // the file is framed some other way: this target must learn it
  }();
  return f;
}

// Plays a few table entries, chosen by the input, for a while each.
void runBoard(BoardMemory memory, std::string_view choice) {
  VirtualBoard board(std::move(memory));
  Micros now = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    const auto number = static_cast<std::uint8_t>(
        (k < choice.size() ? static_cast<unsigned char>(choice[k]) : k) % kTableEntryCount);
    std::vector<std::uint8_t> play{kHandshakeByte, kPlay, 0x05, number};
    play.push_back(checksumOf(play.data() + 1, 3));
    board.receive(play.data(), play.size(), now);
    now += 100'000;
    board.advance(now);
    board.takeOutput(now);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(asText(data, size));
  if (const Result<BoardMemory> read = deserializeMemory(bytes); read.ok()) {
    PVRJ_FUZZ_CHECK(serializeMemory(read.value()) == bytes);
  }

  // The bytes as the payload of a well-framed file: as much of the payload as the input fills,
  // then zeros.
  const Frame& f = frame();
  const std::string_view head = std::string_view(bytes).substr(0, f.payload);
  std::string file;
  file.reserve(f.magic.size() + 4 + f.payload + 4);
  file = f.magic;
  putU32(file, static_cast<std::uint32_t>(f.payload));
  file += head;
  file.resize(file.size() + (f.payload - head.size()), '\0');
  putU32(file, fnv1aZeros(fnv1a(head), f.payload - head.size()));
  Result<BoardMemory> framed = deserializeMemory(file);
  PVRJ_FUZZ_CHECK(framed.ok());
  PVRJ_FUZZ_CHECK(serializeMemory(framed.value()) == file);
  runBoard(std::move(framed).value(), bytes);
  return 0;
}
