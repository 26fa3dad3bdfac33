// Window tests of the analog dialog: its controls, opening and closing with the stream, the
// streamed reports in the boxes and the plot, tabs, AUTO, mixing and sensor rows.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>
#include <cmath>

#include "QtTestRunner.h"
#include "protocol/MotionTable.h"
#include "tests/app/ToolDialogRig.h"
#include "tools/AdDlg_u.h"
#include "tools/StripChart.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

class AdDlgTest : public QObject {
  Q_OBJECT
 private:
  struct Rig : test::ToolDialogRig {
    MotionTable table;
    TAdDlg dialog{link, messages, table};
    int shown = 0;
    Rig() {
      messages.onAnalogReport = [this](const AnalogReport& r) { dialog.showAnalogReport(r); };
      dialog.sampleClock = [this] { return seconds(); };
      auto& st = board().memory().stored;
      st.analogRefs = {500, 600, 700};
      st.mixing[0][0] = 0xC5;
      st.mixing[2][23] = 0x85;
      st.sensor[0] = 3;
      st.sensor[6] = 0xC1;
      st.sensor[7] = 0x23;
      board().powerCycle();
      board().live().battery = 481;
      board().live().analog = {520, 610, 690};
    }
    void answer(std::function<void(TAdDlg&)> user = {}) {
      setDialogAnswerer([this, user](QDialog& d) {
        ++shown;
        if (user) user(dialog);
        d.reject();
      });
    }
    bool streaming() { return (workingOptions() & kOptionAnalogStream) != 0; }
  };

 private slots:
  void cleanup() { setDialogAnswerer(nullptr); }

  void captionsAndLists() {
    Rig r;
    QCOMPARE(r.dialog.windowTitle(), QString("Analog"));
    QCOMPARE(r.dialog.AdChannel->count(), 3);
    QCOMPARE(r.dialog.AdChannel->tabText(0), QString("入力１ [AD1]"));
    QCOMPARE(r.dialog.AdChannel->tabText(2), QString("入力３ [AD3]"));
    QCOMPARE(r.dialog.GroupBox1->title(), QString("リアルタイムミキシング"));
    QCOMPARE(r.dialog.GroupBox2->title(), QString("基準設定"));
    QCOMPARE(r.dialog.GroupBox3->title(), QString("センサー割込でのモーション再生"));
    QCOMPARE(r.dialog.ComboBox[0]->count(), 127);
    QCOMPARE(r.dialog.ComboBox[0]->currentText(), QString("OFF"));
    QCOMPARE(r.dialog.ComboBox[0]->maxVisibleItems(), 30);
    QCOMPARE(r.dialog.ComboBox[23]->itemText(58), QString("x -5"));
    QCOMPARE(r.dialog.AdcEdit->text(), QString("----"));
    QCOMPARE(r.dialog.RifEdit->text(), QString("----"));
    QCOMPARE(r.dialog.Edit3->text(), QString("00.00V"));
    QCOMPARE(r.dialog.Edit4->text(), QString("0.00V"));
    QCOMPARE(r.dialog.thresholdLabels[0]->text(), QString("変化量が"));
    QCOMPARE(r.dialog.exceedLabels[1]->objectName(), QString("Label9"));
    QCOMPARE(r.dialog.playLabels[1]->objectName(), QString("Label8"));
    QCOMPARE(r.dialog.SensScroll[1]->minimum(), -1023);
    QCOMPARE(r.dialog.ScrollBar1->maximum(), 1023);
  }

  void streamsWhileOpenAndStoresOnClosing() {
    Rig r;
    r.answer([&](TAdDlg& d) {
      QVERIFY(r.streaming());
      QCOMPARE(d.CalEdit->text(), QString("500"));
      QCOMPARE(d.ScrollBar1->value(), 500);
      QCOMPARE(d.ComboBox[0]->currentIndex(), 58);
      QCOMPARE(d.MotList[0]->currentIndex(), 4);
      QCOMPARE(d.thresholdEdits[0]->text(), QString("-291"));
      // No reading until the first report of this opening.
      QCOMPARE(d.AdcEdit->text(), QString("----"));
      r.streamFor(300);
      QCOMPARE(d.Edit3->text(), QString::fromStdString(formatBatteryVoltage(481)));
      QCOMPARE(d.Edit4->text(), QString::fromStdString(formatInputVoltage(520)));
      QCOMPARE(d.Edit6->text(), QString::fromStdString(formatInputVoltage(690)));
      QCOMPARE(d.AdcEdit->text(), QString("520"));
      QCOMPARE(d.RifEdit->text(), QString("20"));
      QVERIFY(d.plot->pointCount(kTraceAd1) >= 4);
      QCOMPARE(d.plot->lastPoint(kTraceAd3).y(), 690 * 0.00532);
      QCOMPARE(d.plot->levelValue(0), 500 * 0.00532);  // the reference line
      d.ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
      QCOMPARE(r.board().live().working.analogRefs[0],
               std::uint16_t(d.ScrollBar1->sliderPosition()));
    });
    QVERIFY(r.dialog.execute());
    QCOMPARE(r.shown, 1);
    QVERIFY(!r.streaming());
    QCOMPARE(r.board().memory().stored.analogRefs[0], r.board().live().working.analogRefs[0]);
    QVERIFY(r.board().memory().stored.analogRefs[0] != 500);
  }

  void aFailedLoadShowsNothingAndLeavesTheStreamOff() {
    Rig r;
    r.failExchange(2);  // the mixing block of input 1
    r.answer();
    QVERIFY(!r.dialog.execute());
    QCOMPARE(r.shown, 0);
    QVERIFY(!r.streaming());
  }

  void aTabShowsTheOtherInputsSettings() {
    Rig r;
    QVERIFY(r.dialog.LoadAnalogSettings());
    r.dialog.AdChannel->setCurrentIndex(2);
    QCOMPARE(r.dialog.CalEdit->text(), QString("700"));
    QCOMPARE(r.dialog.ComboBox[23]->currentIndex(), 68);
    QCOMPARE(r.dialog.ComboBox[0]->currentIndex(), 63);
    QCOMPARE(r.dialog.MotList[0]->currentIndex(), 0);
    QCOMPARE(r.dialog.MotList[0]->count(), 86);
  }

  void mixingAndSensorChangesGoToTheWorkingCopy() {
    Rig r;
    QVERIFY(r.dialog.LoadAnalogSettings());
    r.dialog.ComboBox[4]->setCurrentIndex(126);
    r.dialog.ComboBoxCloseUp(5);
    QCOMPARE(r.board().live().working.mixing[0][4], std::uint8_t{0xBF});
    QCOMPARE(r.board().memory().stored.mixing[0][4], std::uint8_t{0});
    // A threshold drag sends once, when it ends.
    const std::uint64_t before = r.board().handshakeCount();
    r.dialog.SensScrollScroll(1, 100, false);
    r.dialog.SensScrollScroll(1, 120, false);
    QCOMPARE(r.dialog.thresholdEdits[1]->text(), QString("120"));
    QCOMPARE(r.board().handshakeCount(), before);
    r.dialog.MotList[1]->setCurrentIndex(2);
    r.dialog.MotListCloseUp(1);
    r.dialog.SensScrollScroll(1, 130, true);
    const auto& sensor = r.board().live().working.sensor;
    QCOMPARE(sensor[1], std::uint8_t{1});
    QCOMPARE(sensor[8] * 256 + sensor[9], 0x4000 | 130);
    QVERIFY(!std::isnan(r.dialog.plot->levelValue(2)));  // the second threshold's line shows
  }

  void autoShowsTheNewReferenceWithTheNextReport() {
    Rig r;
    r.answer([&](TAdDlg& d) {
      r.streamFor(120);
      d.AdChannel->setCurrentIndex(1);
      d.AutoCalBtnClick();
      QCOMPARE(d.CalEdit->text(), QString("600"));  // not yet
      QCOMPARE(r.board().live().working.analogRefs[1], std::uint16_t{610});
      r.streamFor(120);
      QCOMPARE(d.CalEdit->text(), QString("610"));
    });
    QVERIFY(r.dialog.execute());
  }

  void exposesTheSensorTable() {
    Rig r;
    QVERIFY(r.dialog.LoadAnalogSettings());
    QCOMPARE(r.dialog.sensorTable()[0].motionIndex, 4);
    QCOMPARE(r.dialog.sensorTable()[0].threshold, -291);
  }
};

}  // namespace

PVRJ_REGISTER_QTEST(AdDlgTest);
#include "AdDlgTest.moc"
