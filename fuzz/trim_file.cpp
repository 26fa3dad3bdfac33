// Fuzz target: trim files, as the trim dialog's load button reads them. A file taken gives 24
// values whose file, written again, reads back the same; its rows show each value, the bars stay
// in their range, and the block for the board decodes to the values.
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "tools/core/Trims.h"

using namespace pvrj;
using namespace pvrj::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file;
  const Result<TrimValues> read = readTrimFile(file.hold(asText(data, size)));
  if (!read.ok()) {
    PVRJ_FUZZ_CHECK(!read.message().empty());
    return 0;
  }
  const TrimValues& values = read.value();
  const Result<TrimValues> again = readTrimFile(file.hold(trimFileText(values)));
  PVRJ_FUZZ_CHECK(again.ok() && again.value() == values);

  const TrimRows rows = trimRows(values);
  for (std::size_t c = 0; c < rows.size(); ++c) {
    PVRJ_FUZZ_CHECK(rows[c].bar == limitTrim(rows[c].bar));
    PVRJ_FUZZ_CHECK(rows[c].shown == static_cast<int>(values[c]) - kTrimCentre);
  }
  const PositionBlockBytes block = trimBlock(values).encode();
  TrimValues decoded{};
  PVRJ_FUZZ_CHECK(decodeTrims(block, decoded) && decoded == values);
  return 0;
}
