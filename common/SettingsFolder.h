// Where the settings files and the ports/COMn links live, and which device "COM"n names.
#pragma once

#include <string>
#include <vector>

#include "common/Result.h"

namespace pvrj {

// Set to a folder to use it for settings and port links instead of the usual places.
inline constexpr const char* kSettingsDirVariable = "PVRJ_SETTINGS_DIR";
// The folder beside the settings files that holds one link per port name.
inline constexpr const char* kPortsFolderName = "ports";

// The folder of the running executable ("" when it cannot be found).
std::string executableFolder();

// An environment variable's value ("" when unset).
std::string environmentValue(const char* name);

// An XDG base folder: the variable when it holds an absolute path, else underHome in the user's
// home ($HOME, or the password database's entry when HOME is unset).
std::string xdgBaseFolder(const char* variable, const char* underHome);

// The per-user folder: $XDG_CONFIG_HOME/pivora, by default ~/.config/pivora.
std::string userConfigFolder();

// The per-user folder for what the editor keeps between runs besides its settings (the autosaved
// chart, the recent files): $XDG_STATE_HOME/pivora, by default ~/.local/state/pivora. Not made
// here.
std::string userStateFolder();

// The per-user data folder of the desktop: $XDG_DATA_HOME, by default ~/.local/share.
std::string userDataFolder();

// The program's data folder beside an installed editor's bin/ (<prefix>/share/pivora-j).
inline constexpr const char* kInstalledDataFolder = "share/pivora-j";

// Whether exeFolder is an installed editor's: under /usr, /bin, /sbin or /lib, or a bin/ with
// the program's data folder beside it (any prefix, also one the user can write to).
bool isInstalledProgramFolder(const std::string& exeFolder);

// The folder for "PVR3J.ini", "PATTERN.ini" and ports/: PVRJ_SETTINGS_DIR when set; else the
// executable's folder when it is writable and not an installed one (a portable install, the build
// tree); else the per-user folder, which is created when missing so the settings can be written
// there.
std::string settingsFolder();
// The same for a program in exeFolder.
std::string settingsFolderFor(const std::string& exeFolder);

// settingsFolder() + "/" + fileName.
std::string settingsFilePath(const std::string& fileName);

// The folders searched for ports/COMn, in order: the settings folder's, then the per-user one's
// (so a link made once under ~/.config/pivora serves the editor, the command line and a build
// tree).
std::vector<std::string> portLinkFolders();

// Where a program that provides a port (the virtual board) should make its COMn link:
// PVRJ_SETTINGS_DIR/ports when set, else the per-user ports folder, which every program searches.
std::string portLinkPath(int portNo);

// Points portLinkPath(portNo) at device, making the folders and replacing an older link in one
// step (a link is made beside it and renamed over it).
Status makePortLink(int portNo, const std::string& device);
// Removes portLinkPath(portNo) if it is still the link to device (another program may have
// taken the name meanwhile).
void removePortLink(int portNo, const std::string& device);

// The device that "COM" + portNo names: the first ports/COMn entry that exists (even a dangling
// link, which then fails to open rather than silently reaching another device), else
// /dev/ttyS(portNo - 1). "" for a port number below 1.
std::string comPortDevice(int portNo);

}  // namespace pvrj
