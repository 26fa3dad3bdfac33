// PVRJ: the motion editor's entry point: single-instance guard, windows, event loop.
#include <QApplication>
#include <QStringList>
#include <cstdio>

#include "app/BoardActions.h"
#include "app/Main_u.h"
#include "app/SingleInstance.h"
#include "app/ToolkitTranslation.h"
#include "common/SettingsFolder.h"
#include "common/UserInterface.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(pvrj::kAppTitle));
  pvrj::installToolkitTranslation(app);
  // No display name: the toolkit would append it to every caption ("確認 — Pivora J").

  pvrj::SingleInstanceLock lock(pvrj::instanceLockPath(pvrj::settingsFolder()));
  if (!lock.tryLock()) {
    if (lock.error().empty()) {
      pvrj::showSecondInstanceRefusal();
      return 1;
    }
    // Without a place for the lock file the guard cannot work; the editor still runs.
    std::fprintf(stderr, "PVRJ: no single-instance lock: %s\n", lock.error().c_str());
  }

  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();

  // The windows, created once in this order and kept for the whole run. The dialogs join after
  // the main window: options, trim, position editor, motion table, information, data, analog,
  // receiver, servo-bus list, servo-bus parameters, item properties, environment settings,
  // compare editor, setting editor, port and link.
  pvrj::TPivora3 mainWindow(arguments);
  // The board buttons with the motion table and the data dialog; owned by the main window.
  new pvrj::BoardActions(mainWindow);
  mainWindow.show();

  return QApplication::exec();
}
