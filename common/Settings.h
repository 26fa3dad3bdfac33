// The main window's keys in the settings file "PVR3J.ini", section "PVR3".
#pragma once

#include <string>

namespace pvrj {

inline constexpr const char* kSettingsFileName = "PVR3J.ini";
inline constexpr const char* kSettingsSection = "PVR3";
inline constexpr int kSettingsMinGridStep = 2;
// The grid step of a settings file without "GridWidth" or "GridHeight" (a fresh install).
inline constexpr int kDefaultGridStep = 10;
inline constexpr int kMaxComPort = 20;

// Keys of the settings file's main-window part.
struct MainSettings {
  bool grid = false;
  int gridWidth = kDefaultGridStep;
  int gridHeight = kDefaultGridStep;
  int commPort = 0;  // 0 "OFF", n "COM"n
  friend bool operator==(const MainSettings&, const MainSettings&) = default;
};

// "PVR3J.ini" in the given settings folder.
std::string mainSettingsPath(const std::string& folder);

// Reads "Grid", "GridWidth", "GridHeight" and "CommPort"; a missing or unreadable file gives the
// defaults. A missing step is 10; a stored one below 2 (or not a number) becomes 2; a port outside
// 0..20 becomes 0 ("OFF").
MainSettings readMainSettings(const std::string& path);

// Writes the four keys into the file, keeping every other key and section as it was. False when
// the file cannot be written, or when an existing file cannot be read (it is then left alone
// rather than replaced by the four keys).
bool writeMainSettings(const std::string& path, const MainSettings& settings);

}  // namespace pvrj
