// pvrj-shots: draws the item windows as the README shows them and saves each as a PNG picture in
// the folder given (scripts/screenshot runs it on a virtual X display).
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWindow>
#include <cstdio>

#include "app/shots/Shoot.h"
#include "common/FileIo.h"
#include "editors/SetDlg_u.h"
#include "editors/core/SettingWords.h"
#include "tools/PortDlg_u.h"

namespace {

using namespace pvrj;

using shots::shoot;

ChartItem settingItem(const char* name) {
  ChartItem item = defaultItem(kItemSet, 0, 0);
  item.Name = name;
  return item;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
  QDir().mkpath(out);

  Chart chart;
  ChartItem loop = settingItem("LOOP");
  loop.PrmWords.fill(loopCounterWord(10));
  ChartItem mixing = settingItem("MIX");
  mixing.PrmWords.fill(mixingWord({0, kMixingRatioOff}));
  mixing.PrmWords[0] = mixingWord({1, 68});  // AD1-R x 5
  mixing.PrmWords[1] = mixingWord({1, 58});  // AD1-R x -5
  mixing.PrmWords[6] = mixingWord({2, 73});  // AD2-R x 10
  chart.items = {loop, mixing};

  bool ok = true;
  TSetDlg setDlg(chart);
  setDlg.sensorTable = [] {
    SensorTable table;
    table[0] = {3, 120};
    return table;
  };
  setDlg.openItem(0);
  ok = shoot(setDlg, out + "/setting-editor.png") && ok;
  setDlg.openItem(1);
  ok = shoot(setDlg, out + "/setting-editor-mixing.png") && ok;

  QTemporaryDir folder;
  const std::string pattern = (folder.path() + "/PATTERN.ini").toStdString();
  writeTextFile(pattern,
                "[Convert]\r\nCnvList=mirror\r\n\r\n[CnvList]\r\n"
                "mirror=\"Change(13)\",\"Change(14)\",\"Change(15)\",\"Reverse\",\"\",\"\","
                "\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"Reverse\",\"\",\"\",\"\",\"\","
                "\"\",\"\",\"\",\"SPD(*1.5)\"\r\n");
  PatternFile patterns = PatternFile::open(pattern);
  TPortDlg portDlg(chart, patterns);
  portDlg.PrepareConversion();
  portDlg.ListMenu->setCurrentIndex(0);
  emit portDlg.ListMenu->activated(0);
  ok = shoot(portDlg, out + "/conversion-dialog.png") && ok;
  return ok ? 0 : 1;
}
