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
  return IniFile::update(path, [&settings](IniFile& ini) {
    ini.writeInteger(kSettingsSection, "Grid", settings.grid ? 1 : 0);
    ini.writeInteger(kSettingsSection, "GridWidth",
                     std::max(settings.gridWidth, kSettingsMinGridStep));
    ini.writeInteger(kSettingsSection, "GridHeight",
                     std::max(settings.gridHeight, kSettingsMinGridStep));
    ini.writeInteger(kSettingsSection, "CommPort", settings.commPort);
  });
}

}  // namespace pvrj

namespace pvrj {
namespace {

constexpr const char* kVerifyWritesKey = "VerifyWrites";
constexpr const char* kKeepOverwrittenKey = "KeepOverwritten";

}  // namespace

SafetySettings readSafetySettings(const std::string& path) {
  SafetySettings s;
  Result<IniFile> ini = IniFile::load(path);
  if (!ini) return s;
  s.verifyWrites = ini->readBool(kSettingsSection, kVerifyWritesKey, s.verifyWrites);
  s.keepOverwritten = ini->readBool(kSettingsSection, kKeepOverwrittenKey, s.keepOverwritten);
  return s;
}

bool writeSafetySettings(const std::string& path, const SafetySettings& settings) {
  return IniFile::update(path, [&settings](IniFile& ini) {
    ini.writeInteger(kSettingsSection, kVerifyWritesKey, settings.verifyWrites ? 1 : 0);
    ini.writeInteger(kSettingsSection, kKeepOverwrittenKey, settings.keepOverwritten ? 1 : 0);
  });
}

}  // namespace pvrj
