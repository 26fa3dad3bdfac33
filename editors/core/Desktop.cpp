// The position editor's saved desktop in "PVR3J.ini".
#include "editors/core/Desktop.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "common/CommaText.h"
#include "common/FileIo.h"
#include "common/Numbers.h"
#include "editors/core/ChannelModel.h"

namespace pvrj {
namespace {

constexpr const char* kFormKey = "Form";
constexpr const char* kBmpKey = "Bmp";
constexpr const char* kBackgroundKey = "Background";
// visible, left, top, colour (and whatever a later version adds, ignored)
constexpr std::size_t kPlaceFields = 5;
constexpr std::size_t kChannelFields = 7;  // and mode, rate, name (the rest of the text)
constexpr std::size_t kFormFields = 4;     // width, height, colour

std::string channelKey(int channel) {
  return "CH" + std::to_string(channel);
}

// The first `count - 1` comma-separated fields, and the rest of the text as the last one.
std::vector<std::string_view> fields(std::string_view text, std::size_t count) {
  std::vector<std::string_view> out;
  while (out.size() + 1 < count) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) break;
    out.push_back(text.substr(0, comma));
    text.remove_prefix(comma + 1);
  }
  out.push_back(text);
  return out;
}

std::string_view field(const std::vector<std::string_view>& f, std::size_t i) {
  return i < f.size() ? trimBlanks(f[i]) : std::string_view();
}

int integerField(const std::vector<std::string_view>& f, std::size_t i, int fallback) {
  return parseIntegerOr(field(f, i), fallback);
}

PanelPlace placeFrom(const std::vector<std::string_view>& f, const PanelPlace& d) {
  PanelPlace p;
  // "1" shows the panel, any other text hides it; no text at all keeps the default.
  p.visible = field(f, 0).empty() ? d.visible : field(f, 0) == "1";
  p.left = integerField(f, 1, d.left);
  p.top = integerField(f, 2, d.top);
  p.color = integerField(f, 3, d.color);
  return p;
}

}  // namespace

std::string defaultChannelName(int channel) {
  return channelKey(channel);
}

ChannelPanelSettings defaultChannelPanel(int channel) {
  ChannelPanelSettings c;
  c.place.left = (channel - 1) / kPanelsPerColumn * kPanelColumnWidth;
  c.place.top = (channel - 1) % kPanelsPerColumn * kPanelRowHeight;
  c.name = defaultChannelName(channel);
  return c;
}

PanelPlace defaultLowerPanel(int panel) {
  PanelPlace p;
  p.left = panel / 2 * kPanelColumnWidth;
  p.top = panel % 2 * kPanelRowHeight + kLowerPanelsTop;
  return p;
}

DesktopSettings DesktopSettings::defaults() {
  DesktopSettings d;
  for (int n = 1; n <= kChannelCount; ++n) d.channels[n - 1] = defaultChannelPanel(n);
  for (int k = 0; k < kLowerPanelCount; ++k) d.lower[k] = defaultLowerPanel(k);
  return d;
}

PanelPlace parsePanelPlace(std::string_view text, const PanelPlace& defaults) {
  return placeFrom(fields(text, kPlaceFields), defaults);
}

ChannelPanelSettings parseChannelPanel(std::string_view text, int channel) {
  const ChannelPanelSettings d = defaultChannelPanel(channel);
  const std::vector<std::string_view> f = fields(text, kChannelFields);
  ChannelPanelSettings c;
  c.place = placeFrom(f, d.place);
  c.mode = integerField(f, 4, d.mode);
  if (c.mode < 0 || c.mode >= kModeCount) c.mode = d.mode;
  c.rate = parseDisplayRate(field(f, 5)).value_or(d.rate);
  c.name = std::string(field(f, 6));
  if (c.name.empty()) c.name = d.name;
  return c;
}

std::string formatPanelPlace(const PanelPlace& p) {
  return std::string(p.visible ? "1" : "0") + "," + std::to_string(p.left) + "," +
         std::to_string(p.top) + "," + std::to_string(p.color);
}

std::string formatChannelPanel(const ChannelPanelSettings& c) {
  return formatPanelPlace(c.place) + "," + std::to_string(c.mode) + "," +
         formatDisplayRate(c.rate) + "," + c.name;
}

DesktopSettings readDesktop(const IniFile& ini) {
  DesktopSettings d = DesktopSettings::defaults();
  const IniFile::SectionView s = ini.section(kDesktopSection);
  if (!s.exists()) return d;
  d.backgroundPath = s.readString(kBmpKey, "");
  d.showBackground = s.readInteger(kBackgroundKey, 0) != 0;
  if (auto form = s.value(kFormKey)) {
    const std::vector<std::string_view> f = fields(*form, kFormFields);
    d.clientWidth = integerField(f, 0, kDesktopWidth);
    d.clientHeight = integerField(f, 1, kDesktopHeight);
    d.windowColor = integerField(f, 2, kDesktopDefaultColor);
    // A window of no size could not be found again.
    if (d.clientWidth < 1) d.clientWidth = kDesktopWidth;
    if (d.clientHeight < 1) d.clientHeight = kDesktopHeight;
  }
  for (int n = 1; n <= kChannelCount; ++n) {
    if (auto v = s.value(channelKey(n))) d.channels[n - 1] = parseChannelPanel(*v, n);
  }
  for (int k = 0; k < kLowerPanelCount; ++k) {
    if (auto v = s.value(kLowerPanelKeys[k]))
      d.lower[k] = parsePanelPlace(*v, defaultLowerPanel(k));
  }
  return d;
}

void writeDesktop(IniFile& ini, const DesktopSettings& d) {
  ini.writeString(kDesktopSection, kBmpKey, d.backgroundPath);
  ini.writeBool(kDesktopSection, kBackgroundKey, d.showBackground);
  ini.writeString(kDesktopSection, kFormKey,
                  std::to_string(d.clientWidth) + "," + std::to_string(d.clientHeight) + "," +
                      std::to_string(d.windowColor));
  for (int n = 1; n <= kChannelCount; ++n) {
    ini.writeString(kDesktopSection, channelKey(n), formatChannelPanel(d.channels[n - 1]));
  }
  for (int k = 0; k < kLowerPanelCount; ++k) {
    ini.writeString(kDesktopSection, kLowerPanelKeys[k], formatPanelPlace(d.lower[k]));
  }
}

DesktopSettings loadDesktop(const std::string& path) {
  if (!probeWritable(path)) return DesktopSettings::defaults();
  Result<IniFile> ini = IniFile::load(path);
  if (!ini) return DesktopSettings::defaults();
  return readDesktop(ini.value());
}

bool saveDesktop(const std::string& path, const DesktopSettings& desktop) {
  return IniFile::update(path, [&desktop](IniFile& ini) { writeDesktop(ini, desktop); });
}

}  // namespace pvrj
