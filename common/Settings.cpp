// The main window's keys in the settings file "PVR3J.ini", section "PVR3".
#include "common/Settings.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/FileIo.h"
#include "common/IniFile.h"

namespace pvrj {

std::string mainSettingsPath(const std::string& settingsFolder) {
  std::string folder = settingsFolder;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + kSettingsFileName;
}

MainSettings readMainSettings(const std::string& path) {
  MainSettings s;
  Result<IniFile> ini = IniFile::load(path);
  if (!ini) return s;
  s.grid = ini->readBool(kSettingsSection, "Grid", false);
  auto step = [&ini](const char* key) {
    if (!ini->hasKey(kSettingsSection, key)) return kDefaultGridStep;
    return std::max(ini->readInteger(kSettingsSection, key, kSettingsMinGridStep),
                    kSettingsMinGridStep);
  };
  s.gridWidth = step("GridWidth");
  s.gridHeight = step("GridHeight");
  const int port = ini->readInteger(kSettingsSection, "CommPort", 0);
  s.commPort = port >= 0 && port <= kMaxComPort ? port : 0;
  return s;
}

bool writeMainSettings(const std::string& path, const MainSettings& settings) {
  IniFile ini;
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    Result<IniFile> old = IniFile::load(path);
    if (!old)
      return false;  // keep a file we cannot read rather than lose its other
                     // keys
    ini = std::move(old.value());
  }
  if (!probeWritable(path)) return false;
  ini.writeInteger(kSettingsSection, "Grid", settings.grid ? 1 : 0);
  ini.writeInteger(kSettingsSection, "GridWidth",
                   std::max(settings.gridWidth, kSettingsMinGridStep));
  ini.writeInteger(kSettingsSection, "GridHeight",
                   std::max(settings.gridHeight, kSettingsMinGridStep));
  ini.writeInteger(kSettingsSection, "CommPort", settings.commPort);
  return static_cast<bool>(ini.save(path));
}

}  // namespace pvrj
