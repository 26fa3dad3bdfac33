// Fuzz target: the settings file "PVR3J.ini" as the main window and the position editor read it:
// the main window's keys, and the saved desktop with its per-panel values. What was read keeps
// its limits, and the desktop written back reads as the same desktop.
#include <cmath>
#include <cstdint>

#include "common/IniFile.h"
#include "common/Settings.h"
#include "editors/core/ChannelModel.h"
#include "editors/core/Desktop.h"
#include "fuzz/FuzzSupport.h"

using namespace pvrj;
using namespace pvrj::fuzz;

namespace {

void checkChannel(const ChannelPanelSettings& c) {
  PVRJ_FUZZ_CHECK(c.mode >= 0 && c.mode < kModeCount);
  PVRJ_FUZZ_CHECK(std::isfinite(c.rate) && c.rate != 0.0f);
  PVRJ_FUZZ_CHECK(!c.name.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile file;
  const std::string& path = file.hold(asText(data, size));

  const MainSettings main = readMainSettings(path);
  PVRJ_FUZZ_CHECK(main.gridWidth >= kSettingsMinGridStep);
  PVRJ_FUZZ_CHECK(main.gridHeight >= kSettingsMinGridStep);
  PVRJ_FUZZ_CHECK(main.commPort >= 0 && main.commPort <= kMaxComPort);

  const Result<IniFile> ini = IniFile::load(path);
  PVRJ_FUZZ_CHECK(ini.ok());
  const DesktopSettings desktop = readDesktop(ini.value());
  for (const ChannelPanelSettings& c : desktop.channels) checkChannel(c);

  IniFile written;
  writeDesktop(written, desktop);
  const DesktopSettings back = readDesktop(IniFile::fromString(written.toString()));
  PVRJ_FUZZ_CHECK(back == desktop);

  // Each value of the file on its own, as a channel panel and as one of the other panels.
  const IniFile::SectionView section = ini.value().section(kDesktopSection);
  if (section.exists()) {
    for (const std::string& key : ini.value().keyNames(kDesktopSection)) {
      const std::string value = section.readString(key, "");
      const ChannelPanelSettings c = parseChannelPanel(value, 1 + static_cast<int>(size % 24));
      checkChannel(c);
      PVRJ_FUZZ_CHECK(parseChannelPanel(formatChannelPanel(c), 1) == c);
      const PanelPlace p = parsePanelPlace(value, defaultLowerPanel(0));
      PVRJ_FUZZ_CHECK(parsePanelPlace(formatPanelPlace(p), defaultLowerPanel(1)) == p);
    }
  }
  return 0;
}
