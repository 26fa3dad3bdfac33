// Window tests of the receiver dialog: its controls, opening and closing with the stream and the
// status line, the streamed reports in the boxes and the plot, the bars and AUTO.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "QtTestRunner.h"
#include "tests/app/ToolDialogRig.h"
#include "tools/PropoDlg_u.h"
#include "tools/StripChart.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

class PropoDlgTest : public QObject {
  Q_OBJECT
 private:
  struct Rig : test::ToolDialogRig {
    TPropoDlg dialog{link, ui};
    int shown = 0;
    Rig() {
      messages.onReceiverReport = [this](const ReceiverReport& r) { dialog.showReceiverReport(r); };
      dialog.sampleClock = [this] { return seconds(); };
      board().memory().stored.receiverRefs = {64, 64, 64, 64};
      board().powerCycle();
      board().live().receiver = {16, 32, 48, 100};
      board().live().button = 7;
    }
    void answer(std::function<void(TPropoDlg&)> user = {}) {
      setDialogAnswerer([this, user](QDialog& d) {
        ++shown;
        if (user) user(dialog);
        d.reject();
      });
    }
    bool streaming() { return (workingOptions() & kOptionReceiverStream) != 0; }
  };

 private slots:
  void cleanup() { setDialogAnswerer(nullptr); }

  void controlsFromTheTopAreGroupBox2134() {
    Rig r;
    QCOMPARE(r.dialog.windowTitle(), QString("PropoDlg"));
    const char* names[] = {"GroupBox2", "GroupBox1", "GroupBox3", "GroupBox4"};
    for (int c = 0; c < 4; ++c) {
      const std::size_t k = static_cast<std::size_t>(c);
      QCOMPARE(r.dialog.groups[k]->objectName(), QString(names[c]));
      QCOMPARE(r.dialog.groups[k]->title(), QString("PA%1").arg(c + 1));
      QCOMPARE(r.dialog.PCal[k]->objectName(), QString("PCal%1").arg(c + 1));
      QCOMPARE(r.dialog.PCal[k]->property("tag").toInt(), c);
      QCOMPARE(r.dialog.PScrBar[k]->property("tag").toInt(), c);
      QCOMPARE(r.dialog.PScrBar[k]->maximum(), 127);
      QCOMPARE(r.dialog.ACBtn[k]->text(), QString("AUTO"));
      QCOMPARE(r.dialog.PAdc[k]->text(), QString("----"));
    }
    QVERIFY(r.dialog.findChild<QLabel*>("Label16"));
    QCOMPARE(r.dialog.findChild<QLabel*>("Label17")->text(), QString("測定値"));
    QCOMPARE(r.dialog.GroupBox5->title(), QString("ボタン入力"));
    QCOMPARE(r.dialog.BEdit->text(), QString("0"));
  }

  void reportsFillTheBoxesAndThePlotAndClosingStores() {
    Rig r;
    r.answer([&](TPropoDlg& d) {
      QVERIFY(r.streaming());
      QCOMPARE(d.PCal[0]->text(), QString("64"));
      r.streamFor(300);
      QCOMPARE(d.BEdit->text(), QString("7"));
      QCOMPARE(d.PAdc[0]->text(), QString("16"));
      QCOMPARE(d.PRif[0]->text(), QString("-48"));
      QCOMPARE(d.PRif[3]->text(), QString("36"));
      QVERIFY(d.plot->pointCount(0) >= 4);
      QCOMPARE(d.plot->lastPoint(2).y(), 48.0);
      QCOMPARE(d.plot->levelValue(1), 64.0);
      d.PScrBarScroll(1, 40, false);
      d.PScrBarScroll(1, 50, false);
      QCOMPARE(d.PCal[1]->text(), QString("50"));
      QCOMPARE(r.board().live().working.receiverRefs[1], std::uint8_t{64});  // not yet
      d.PScrBarScroll(1, 50, true);
      QCOMPARE(r.board().live().working.receiverRefs[1], std::uint8_t{50});
    });
    QVERIFY(r.dialog.execute());
    QVERIFY(!r.streaming());
    QCOMPARE(r.board().memory().stored.receiverRefs, (std::array<std::uint8_t, 4>{64, 50, 64, 64}));
    QVERIFY(r.ui.statuses.empty());
  }

  void autoForPa3TakesItsReading() {
    Rig r;
    r.answer([&](TPropoDlg& d) {
      d.ACBtnClick(2);
      QCOMPARE(r.board().live().working.receiverRefs,
               (std::array<std::uint8_t, 4>{64, 64, 48, 64}));
      QCOMPARE(d.settings().references[2], std::uint8_t{48});
    });
    QVERIFY(r.dialog.execute());
  }

  void aFailedOpeningSaysSoInTheStatusLine() {
    Rig r;
    r.failExchange(0);
    r.answer();
    QVERIFY(!r.dialog.execute());
    QCOMPARE(r.shown, 0);
    QCOMPARE(r.ui.statuses, (std::vector<std::string>{"受信データの設定値が呼び出せません"}));
  }

  void reportsReachTheDialogWhileItIsClosed() {
    Rig r;
    QVERIFY(r.link.SetReceiverStream(kStreamOn));
    r.streamFor(200);
    QCOMPARE(r.dialog.BEdit->text(), QString("7"));
    QCOMPARE(r.dialog.PAdc[3]->text(), QString("100"));
    QCOMPARE(r.dialog.plot->pointCount(0), 0);  // the plot runs while the dialog shows
  }
};

}  // namespace

PVRJ_REGISTER_QTEST(PropoDlgTest);
#include "PropoDlgTest.moc"
