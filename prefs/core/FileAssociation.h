// Chart files on the user's desktop: a MIME type for *.vlb with the program's icon, a desktop
// entry that opens them in the editor, the icon in the user's icon theme and the editor as the
// type's default application, written to and removed from the user's XDG folders.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"

namespace pvrj {

// Where one user's desktop files live.
struct DesktopFolders {
  std::string dataHome;    // $XDG_DATA_HOME, by default ~/.local/share
  std::string configHome;  // $XDG_CONFIG_HOME, by default ~/.config
  static DesktopFolders fromEnvironment();
};

// The helpers that bring the desktop's caches up to date; a helper that is not installed is left
// out, and one that does not end within kDesktopHelperTimeOutMs is stopped.
inline constexpr int kDesktopHelperTimeOutMs = 10000;
inline constexpr const char* kMimeDatabaseHelper = "update-mime-database";
inline constexpr const char* kDesktopDatabaseHelper = "update-desktop-database";

class FileAssociation {
 public:
  // program: the editor's full path, which the desktop entry starts with the chart file.
  FileAssociation(DesktopFolders folders, std::string program);

  // Whether chart files are registered: the MIME type file exists.
  bool IsAssociationRegistered() const;
  // true writes the association (again, when it is there already), false removes it. A
  // registration that fails half way removes what it wrote, so it never looks registered.
  Status RegisterAssociation(bool on);

  // Runs the desktop helpers after a change (on by default; tests may go without them). Removing
  // what is not there changes nothing and runs none.
  bool runHelpers = true;

  // The files registering writes, in the order it writes them; the MIME type file comes last.
  std::vector<std::string> files() const;
  std::string mimePackagePath() const;
  std::string desktopEntryPath() const;
  std::string mimeAppsPath() const;

 private:
  Status registerFiles();
  // changed tells whether anything was there to remove.
  Status removeFiles(bool& changed);
  void updateDatabases() const;

  DesktopFolders folders_;
  std::string program_;
};

// The desktop entry's Exec value that starts program with one file: the path quoted where the
// desktop entry rules want it, then " %f". A path that holds a line break, a control character or
// no valid UTF-8 cannot be named there.
Result<std::string> desktopExecValue(const std::string& program);
// The installed desktop entry with its Exec line replaced by Exec=execValue.
std::string desktopEntryWithExec(std::string_view entry, std::string_view execValue);

// mimeapps.list text with desktopId as the default application for mimeType in
// "[Default Applications]", the section made when missing; every other line kept as it was.
std::string withDefaultApplication(std::string_view list, std::string_view mimeType,
                                   std::string_view desktopId);
// mimeapps.list text with desktopId taken out of mimeType's default applications; the line goes
// when nothing is left on it, the section when it is left empty.
std::string withoutDefaultApplication(std::string_view list, std::string_view mimeType,
                                      std::string_view desktopId);

}  // namespace pvrj
