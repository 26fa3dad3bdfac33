// The position editor's saved desktop: window size and colour, background picture, and per panel
// visibility, place and colour (channel panels also mode, display rate and name). It lives in the
// settings file "PVR3J.ini", section "PVR3", beside the main window's keys.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "chart/Chart.h"
#include "common/IniFile.h"

namespace pvrj {

inline constexpr const char* kDesktopSection = "PVR3";
inline constexpr int kDesktopWidth = 508;
inline constexpr int kDesktopHeight = 336;
// 0x8000000F, the system's button-face colour, as the file writes it.
inline constexpr std::int32_t kDesktopDefaultColor = -2147483633;
// Channel panels stand in two columns of twelve; the other three panels below them.
inline constexpr int kPanelColumnWidth = 254;
inline constexpr int kPanelRowHeight = 24;
inline constexpr int kPanelsPerColumn = 12;
inline constexpr int kLowerPanelsTop = 288;

// The three panels besides the channels, in the order of their keys.
enum LowerPanel : int { kSpeedPanel = 0, kCommandPanel = 1, kLinkPanel = 2 };
inline constexpr int kLowerPanelCount = 3;
inline constexpr std::array<const char*, kLowerPanelCount> kLowerPanelKeys = {"SPEED", "CMD",
                                                                              "LINK"};

struct PanelPlace {
  bool visible = true;
  int left = 0;
  int top = 0;
  std::int32_t color = kDesktopDefaultColor;  // 0x00BBGGRR or a system colour reference
  bool operator==(const PanelPlace&) const = default;
};

struct ChannelPanelSettings {
  PanelPlace place;
  int mode = 0;
  float rate = 1.0f;
  std::string name;
  bool operator==(const ChannelPanelSettings&) const = default;
};

struct DesktopSettings {
  int clientWidth = kDesktopWidth;
  int clientHeight = kDesktopHeight;
  std::int32_t windowColor = kDesktopDefaultColor;
  std::string backgroundPath;   // "Bmp"
  bool showBackground = false;  // "Background"
  std::array<ChannelPanelSettings, kChannelCount> channels;
  std::array<PanelPlace, kLowerPanelCount> lower;

  // No settings file: channels 1-12 at left 0, 13-24 at left 254, rows 24 apart; the speed panel
  // at (0, 288), the tool panel at (0, 312), the link panel at (254, 288).
  static DesktopSettings defaults();
  bool operator==(const DesktopSettings&) const = default;
};

// What other windows copy from a channel's name label: its text and its colours, resolved to
// 0x00BBGGRR (the panel's colour behind it, and the contrasting text colour).
struct ChannelLabel {
  std::string name;
  std::uint32_t background = 0;
  std::uint32_t text = 0;
};

// The default name of channel n (1 to 24): "CH" + n.
std::string defaultChannelName(int channel);
// Default places.
ChannelPanelSettings defaultChannelPanel(int channel);
PanelPlace defaultLowerPanel(int panel);

// One saved value: "visible,left,top,colour" (and for a channel ",mode,rate,name"). A field that
// is missing or cannot be read takes its default; a rate that is no usable number (0 included)
// reads as 1; a mode outside 0 to 4 reads as 0; an empty name is the default name. The name is
// everything after the sixth comma, so a name with commas comes back whole.
ChannelPanelSettings parseChannelPanel(std::string_view text, int channel);
PanelPlace parsePanelPlace(std::string_view text, const PanelPlace& defaults);
std::string formatChannelPanel(const ChannelPanelSettings& panel);
std::string formatPanelPlace(const PanelPlace& place);

// The desktop from a settings file's keys (defaults for what is missing), and into them.
DesktopSettings readDesktop(const IniFile& ini);
void writeDesktop(IniFile& ini, const DesktopSettings& desktop);

// The desktop of the settings file at path. When the file cannot be written, the defaults: the
// desktop then stays as it starts and is not written at the end either.
DesktopSettings loadDesktop(const std::string& path);
// Writes the desktop's keys into the file, keeping every other key as it is. False (and nothing
// written) when the file cannot be written or an existing file cannot be read.
bool saveDesktop(const std::string& path, const DesktopSettings& desktop);

}  // namespace pvrj
