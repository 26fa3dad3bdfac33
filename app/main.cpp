// PVRJ: the motion editor's entry point: single-instance guard, windows, event loop.
#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <memory>

#include "app/BoardActions.h"
#include "app/BoardTools.h"
#include "app/ItemActions.h"
#include "app/Main_u.h"
#include "app/PrefsActions.h"
#include "app/SingleInstance.h"
#include "app/ToolkitTranslation.h"
#include "chart/ChartGeometry.h"
#include "common/SettingsFolder.h"
#include "common/UserInterface.h"
#include "editors/PrmDlg_u.h"
#include "editors/SetDlg_u.h"
#include "packaging/DesktopFiles.h"
#include "prefs/ProgramIcon.h"
#include "tools/AdDlg_u.h"
#include "tools/DataDlg_u.h"
#include "tools/QVSDlg_u.h"
#include "ui/Colors.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(pvrj::kAppTitle));
  pvrj::installToolkitTranslation(app);
  // No display name: the toolkit would append it to every caption ("確認 — Pivora J").
  QApplication::setWindowIcon(pvrj::programIcon());
  // Desktops find the entry, and with it the icon, of the windows by this name.
  QGuiApplication::setDesktopFileName(QString::fromUtf8(pvrj::kDesktopId));

  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();

  const std::string folder = pvrj::settingsFolder();
  const QString socketPath = pvrj::requestSocketPath(folder);
  pvrj::SingleInstanceLock lock(pvrj::instanceLockPath(folder));
  if (!lock.tryLock()) {
    // Another editor runs: it takes a chart file named here, or the start is refused.
    if (lock.error().empty()) return pvrj::secondStart(arguments, socketPath);
    // Without a place for the lock file the guard cannot work; the editor still runs.
    std::fprintf(stderr, "PVRJ: no single-instance lock: %s\n", lock.error().c_str());
  }

  // The windows, created once in this order and kept for the whole run. The dialogs join after
  // the main window: options, trim, position editor, motion table, information, data, analog,
  // receiver, servo-bus list, servo-bus parameters, item properties, environment settings,
  // compare editor, setting editor, port and link.
  pvrj::TPivora3 mainWindow(arguments);
  // The position editor goes before the main window, writing its desktop and link sets back.
  auto positionEditor = std::make_unique<pvrj::TPrmDlg>(mainWindow.chart(), &mainWindow);
  pvrj::connectPositionEditor(mainWindow, *positionEditor);
  // The board buttons with the motion table and the data dialog, and the request socket; owned
  // by the main window.
  auto* boardActions = new pvrj::BoardActions(mainWindow, socketPath);
  boardActions->dataDlg().channelLabels = [&editor = *positionEditor] {
    return editor.channelLabels();
  };
  // The setting and compare editors, the item properties and the per-channel entry dialog, which
  // works on the position editor's link sets, names and rates; owned by the main window.
  auto* itemActions = new pvrj::ItemActions(mainWindow, boardActions->table(), *positionEditor);
  // The trim, option, analog and receiver buttons; owned by the main window.
  auto* boardTools = new pvrj::BoardTools(mainWindow, boardActions->table());
  boardTools->setChannelSources(
      [&editor = *positionEditor] { return editor.channelLabels(); },
      [&editor = *positionEditor] {
        return pvrj::EditorArrangement{
            editor.desktop(), editor.channelLabels(),
            pvrj::resolveColor(editor.panelColor(pvrj::kToolPanelNo), pvrj::paletteSystemColor)};
      });
  // The setting editor names its sensor boxes after the analog dialog's sensor table.
  itemActions->setDlg().sensorTable = [&analog = boardTools->adDlg()] {
    pvrj::SensorTable table;
    for (std::size_t k = 0; k < table.size(); ++k) {
      table[k] = {analog.sensorTable()[k].motionIndex, analog.sensorTable()[k].threshold};
    }
    return table;
  };
  // The environment, information and servo-bus buttons with their windows.
  auto* prefsActions = new pvrj::PrefsActions(mainWindow);
  prefsActions->qvsDlg().channelName = [&editor = *positionEditor](int channel) {
    return editor.channelLabels()[static_cast<std::size_t>(channel - 1)].name;
  };
  mainWindow.show();
  // A chart left by a run that did not end normally is offered before anything else.
  mainWindow.offerRecovery();

  // Ends once the main window has closed after the quit question; every other window closes
  // with it.
  return QApplication::exec();
}
