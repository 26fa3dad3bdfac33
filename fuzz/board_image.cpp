// Fuzz target: board image files, as restore and the editor's restore button read them. Anything
// taken is a whole image: every entry's records and steps are there, every settings block has its
// length, and its text reads back as the same image. The same bytes also fill an image (a few slots
// with their records and steps, and the settings blocks), whose text must read back as it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "compiler/BoardImage.h"
#include "fuzz/FuzzSupport.h"

using namespace pvrj;
using namespace pvrj::fuzz;

namespace {

void fill(Bytes& out, FuzzInput& in, std::size_t length) {
  const auto bytes = in.bytes(length);
  out.assign(bytes.begin(), bytes.end());
  out.resize(length, 0);
}

// An image made of the input: its text reads back as the same image.
void madeImageReadsBack(FuzzInput& in) {
  BoardImage image;
  image.program = in.text(in.inRange(0, 24));
  image.date = in.text(in.inRange(0, 24));
  fill(image.boardInfo, in, in.inRange(0, 64));
  const int slots = in.inRange(0, 4);
  for (int k = 0; k < slots; ++k) {
    const int number = in.inRange(0, kTableSlots - 1);
    TableEntryData& entry = image.entries[static_cast<std::size_t>(number)];
    const auto bytes = in.bytes(entry.size());
    std::copy(bytes.begin(), bytes.end(), entry.begin());
    // A few records or steps, as many as the entry counts.
    const int count = in.inRange(0, 6);
    entry[kEntryCountOffset] = static_cast<std::uint8_t>(count);
    if (number < kMotionSlots) {
      auto& records = image.records[static_cast<std::size_t>(number)];
      records.assign(static_cast<std::size_t>(count), MotionRecord{});
      for (MotionRecord& r : records) {
        const auto b = in.bytes(r.size());
        std::copy(b.begin(), b.end(), r.begin());
      }
    } else {
      fill(image.steps[static_cast<std::size_t>(number - kFirstScenarioSlot)], in,
           static_cast<std::size_t>(count));
    }
  }
  for (const SettingBlock& block : settingBlocks()) {
    image.settings.emplace_back();
    fill(image.settings.back(), in, block.length);
  }
  const Result<BoardImage> back = parseBoardImage(boardImageText(image));
  if (!back.ok()) std::fprintf(stderr, "%s\n", back.message().c_str());
  PVRJ_FUZZ_CHECK(back.ok());
  PVRJ_FUZZ_CHECK(back.value().sameContents(image));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A made image is a whole image's text to write and read, whatever the input: a quarter of the
  // inputs (by their length) make one, so the reader gets most of the runs.
  if (size % 4 == 0) {
    FuzzInput in(data, size);
    madeImageReadsBack(in);
  }

  const Result<BoardImage> read = parseBoardImage(asText(data, size));
  if (!read.ok()) {
    PVRJ_FUZZ_CHECK(!read.message().empty());
    return 0;
  }
  const BoardImage& image = read.value();
  const std::vector<SettingBlock>& blocks = settingBlocks();
  PVRJ_FUZZ_CHECK(image.settings.size() == blocks.size());
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    PVRJ_FUZZ_CHECK(image.settings[i].size() == blocks[i].length);
  }
  const std::string text = boardImageText(image);
  const Result<BoardImage> again = parseBoardImage(text);
  PVRJ_FUZZ_CHECK(again.ok());
  PVRJ_FUZZ_CHECK(again.value().sameContents(image));
  if (boardImageText(again.value()) != text) {
    explainDifference(boardImageText(again.value()), text);
    PVRJ_FUZZ_CHECK(false);
  }
  return 0;
}
