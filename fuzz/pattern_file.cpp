// Fuzz target: the pattern file "PATTERN.ini" opened by path, its link sets and conversion sets
// read by name and put to work as the position editor and the conversion use them. Every set
// written back (under a name the file can hold) reads back with the same entries.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "chart/ChannelConversion.h"
#include "editors/core/LinkActions.h"
#include "editors/core/PatternFile.h"
#include "editors/core/PatternSets.h"
#include "fuzz/FuzzSupport.h"

using namespace pvrj;
using namespace pvrj::fuzz;

namespace {

void useLinkSet(const std::vector<std::string>& entries) {
  const LinkSet set = parseLinkSet(entries);
  PVRJ_FUZZ_CHECK((firstBadLinkChannel(entries) == 0) ==
                  std::all_of(set.begin(), set.end(), [](const LinkAction& a) { return a.valid; }));
  PrmWordArray words;
  words.fill(kPositionCentre);
  const PrmWordArray forward = linkStep(set, words, kLinkForward);
  const PrmWordArray back = linkStep(set, forward, kLinkBackward);
  for (int ch = 0; ch < kChannelCount; ++ch) {
    if (!set[ch].valid) PVRJ_FUZZ_CHECK(forward[ch] == words[ch]);
  }
  (void)back;
  (void)anyTeachChannel(set);
}

void useConversionSet(const std::vector<std::string>& entries) {
  const ChannelRules rules = boxesFromSet(entries);
  ChartItem item = defaultItem(kItemPos, 0, 0);
  const ChartItem before = item;
  const bool usable = firstUnusableRule(rules) == 0;
  PVRJ_FUZZ_CHECK(convertItem(item, rules) == usable);
  if (!usable) PVRJ_FUZZ_CHECK(item.PrmWords == before.PrmWords && item.PrmByte == before.PrmByte);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file;
  const PatternFile pattern = PatternFile::open(file.hold(asText(data, size)));
  PVRJ_FUZZ_CHECK(pattern.readError().empty());

  PatternFile copy;  // belongs to no file: save() would do nothing
  const std::vector<std::string> linkNames = pattern.linkSetNames();
  const std::vector<std::string> conversionNames = pattern.conversionSetNames();
  for (const std::string& name : linkNames) {
    (void)checkLinkSetName(typedSetName(name));
    const std::vector<std::string> entries = pattern.linkSet(name);
    useLinkSet(entries);
    if (PatternFile::storableSetName(name)) copy.writeLinkSet(name, entries);
  }
  for (const std::string& name : conversionNames) {
    (void)checkConversionSetName(typedSetName(name));
    const std::vector<std::string> entries = pattern.conversionSet(name);
    useConversionSet(entries);
    if (PatternFile::storableSetName(name)) copy.writeConversionSet(name, entries);
  }
  copy.setLinkSetNames(linkNames);
  copy.setConversionSetNames(conversionNames);

  PatternFile back;
  back.ini() = IniFile::fromString(copy.ini().toString());
  if (!(linkNames.size() == 1 && linkNames[0].empty()))
    PVRJ_FUZZ_CHECK(back.linkSetNames() == linkNames);
  if (!(conversionNames.size() == 1 && conversionNames[0].empty()))
    PVRJ_FUZZ_CHECK(back.conversionSetNames() == conversionNames);
  for (const std::string& name : linkNames) {
    if (PatternFile::storableSetName(name))
      PVRJ_FUZZ_CHECK(back.linkSet(name) == pattern.linkSet(name));
  }
  for (const std::string& name : conversionNames) {
    if (PatternFile::storableSetName(name))
      PVRJ_FUZZ_CHECK(back.conversionSet(name) == pattern.conversionSet(name));
  }
  return 0;
}
