// The main window's trim, option, analog and receiver buttons: with no board, and end to end with
// pvrj-board on a pseudo-terminal, the stream reaching the open dialogs through the serial port.
#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "EventLoopWait.h"
#include "QtTestRunner.h"
#include "app/BoardActions.h"
#include "app/BoardTools.h"
#include "app/Main_u.h"
#include "tools/AdDlg_u.h"
#include "tools/HomeDlg_u.h"
#include "tools/OptDlg_u.h"
#include "tools/PropoDlg_u.h"
#include "tools/StripChart.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

constexpr int kBoardStartMs = 10000;
constexpr int kComNumber = 9;

class BoardToolsTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    qputenv("PVRJ_SETTINGS_DIR", dir_->path().toUtf8());
  }
  void cleanup() {
    setDialogAnswerer(nullptr);
    if (board_) {
      board_->kill();
      board_->waitForFinished();
      board_.reset();
    }
    qunsetenv("PVRJ_SETTINGS_DIR");
    dir_.reset();
  }

  void withoutABoardNoDialogShowsAndTheReceiverSaysSo() {
    TPivora3 w;
    auto* actions = new BoardActions(w, socketName());
    auto* tools = new BoardTools(w, actions->table());
    QStringList shown;
    setDialogAnswerer([&](QDialog& d) {
      shown << d.objectName();
      d.reject();
    });
    w.HomeBtn->trigger();
    w.OptionBtn->trigger();
    w.AdBtn->trigger();
    QVERIFY(shown.isEmpty());
    w.receiverBtn->trigger();
    QVERIFY(shown.isEmpty());
    QVERIFY2(w.statusLine->text().endsWith("> 受信データの設定値が呼び出せません"),
             qPrintable(w.statusLine->text()));
    QVERIFY(!tools->propoDlg().isVisible());
  }

  void theButtonsOpenTheirDialogsAndTheStreamsReachThem() {
    if (!startBoard()) QSKIP("pvrj-board is not available");
    TPivora3 w;
    auto* actions = new BoardActions(w, socketName());
    auto* tools = new BoardTools(w, actions->table());
    QStringList shown;
    bool analogStreamed = false;
    bool receiverStreamed = false;
    setDialogAnswerer([&](QDialog& d) {
      shown << d.objectName();
      if (&d == &tools->adDlg()) {
        TAdDlg& a = tools->adDlg();
        analogStreamed = test::runLoopUntil(
            [&] { return a.AdcEdit->text() != "----" && a.plot->pointCount(1) > 1; });
      } else if (&d == &tools->propoDlg()) {
        TPropoDlg& p = tools->propoDlg();
        receiverStreamed = test::runLoopUntil(
            [&] { return p.PAdc[0]->text() != "----" && p.plot->pointCount(0) > 1; });
      }
      d.reject();
    });
    w.HomeBtn->trigger();
    w.OptionBtn->trigger();
    w.AdBtn->trigger();
    w.receiverBtn->trigger();
    QCOMPARE(shown, (QStringList{"HomeDlg", "OptDlg", "AdDlg", "PropoDlg"}));
    QVERIFY(analogStreamed);
    QVERIFY(receiverStreamed);
    QCOMPARE(w.panelText(1), QString("動作中"));
  }

 private:
  QString socketName() const { return dir_->path() + QStringLiteral("/requests"); }

  bool startBoard() {
    if (!QFile::exists(PVRJ_BOARD_EXE)) return false;
    board_ = std::make_unique<QProcess>();
    board_->start(PVRJ_BOARD_EXE, QStringList{"--com", QString::number(kComNumber)});
    if (!board_->waitForReadyRead(kBoardStartMs)) return false;
    QFile ini(dir_->path() + "/PVR3J.ini");
    if (!ini.open(QIODevice::WriteOnly)) return false;
    ini.write("[PVR3]\r\nCommPort=" + QByteArray::number(kComNumber) + "\r\n");
    return true;
  }

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<QProcess> board_;
};

}  // namespace

PVRJ_REGISTER_QTEST(BoardToolsTest);
#include "BoardToolsTest.moc"
