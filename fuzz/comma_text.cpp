// Fuzz target: comma text, the list form of pose tables, parameter texts, pattern files and slot
// lists. Whatever a text splits into joins into a text that splits into the same items, and the
// plain split at commas puts the text back together.
#include <cstdint>
#include <string>
#include <vector>

#include "common/CommaText.h"
#include "fuzz/FuzzSupport.h"

using namespace pvrj;
using namespace pvrj::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = asText(data, size);
  const std::vector<std::string> items = splitCommaText(text);

  // One empty item joins into the empty text, which is the empty list: the only list that does
  // not come back.
  if (!(items.size() == 1 && items[0].empty())) {
    PVRJ_FUZZ_CHECK(splitCommaText(joinCommaText(items)) == items);
  }

  // A reader that stops early sees the same first items.
  CommaTextScanner scanner(text);
  std::string_view item;
  for (std::size_t i = 0; i < items.size() && i < 30; ++i) {
    PVRJ_FUZZ_CHECK(scanner.next(item));
    PVRJ_FUZZ_CHECK(item == items[i]);
  }

  const std::vector<std::string_view> pieces = splitAtCommas(text);
  std::string back;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) back.push_back(',');
    back.append(pieces[i]);
  }
  PVRJ_FUZZ_CHECK(back == text);
  return 0;
}
