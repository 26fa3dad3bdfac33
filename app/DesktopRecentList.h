// The desktop's list of recently used files (freedesktop "recently-used.xbel"), which file
// managers and open dialogs show: a chart opened or saved here is added to it.
#pragma once

#include <QDateTime>
#include <QString>

namespace pvrj {

// How the desktop is told to open the file again.
inline constexpr const char* kRecentExec = "'PVRJ %u'";

// $XDG_DATA_HOME/recently-used.xbel.
QString desktopRecentListPath();

// Adds or refreshes the file's entry in the list at xbelPath, keeping every other entry as it is.
// Only where the desktop keeps such a list: a missing file is not made, and one that cannot be
// read as the list is left alone (false). The file is replaced atomically.
bool addToDesktopRecentList(const QString& filePath, const QString& xbelPath,
                            const QDateTime& when = QDateTime::currentDateTimeUtc());

}  // namespace pvrj
