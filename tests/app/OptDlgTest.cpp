// Window tests of the options dialog: loading every control, the channel boxes' names, each
// control sending when let go, the spinner, and a failed load.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include "QtTestRunner.h"
#include "protocol/MotionTable.h"
#include "tests/app/ToolDialogRig.h"
#include "tools/OptDlg_u.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

class OptDlgTest : public QObject {
  Q_OBJECT
 private:
  struct Rig : test::ToolDialogRig {
    MotionTable table;
    TOptDlg dialog{link, table};
    int shown = 0;
    void answer(std::function<void(TOptDlg&)> user = {}) {
      setDialogAnswerer([this, user](QDialog& d) {
        ++shown;
        if (user) user(dialog);
        d.reject();
      });
    }
    board::BoardMemory& memory() { return board().memory(); }
  };

 private slots:
  void cleanup() { setDialogAnswerer(nullptr); }

  void captionsAndLists() {
    Rig r;
    QCOMPARE(r.dialog.windowTitle(), QString("Option"));
    QCOMPARE(r.dialog.Check5->text(), QString("モーション再生終了時に返事をもらう"));
    QCOMPARE(r.dialog.Check1->text(), QString("送信機でのモーション・シナリオ再生を有効にする"));
    QCOMPARE(r.dialog.Check7->text(), QString("MTX1から制御する"));
    QCOMPARE(r.dialog.GroupBox6->title(), QString("QVS機能"));
    QCOMPARE(r.dialog.BtnList->count(), 86);
    QCOMPARE(r.dialog.BtnList->itemText(0), QString("OFF"));
    QCOMPARE(r.dialog.AlarmList->itemText(85), QString("S5  --/-- --:--"));
    QCOMPARE(r.dialog.QVS_C[8]->objectName(), QString("QVS_C9"));
    QCOMPARE(r.dialog.AlmVoltBtn->minimum(), 55);
    QCOMPARE(r.dialog.AlmVoltBtn->maximum(), 150);
    QCOMPARE(r.dialog.AlmVoltEdit->text(), QString("06.0V"));
  }

  void opensWithTheBoardsOptionsAndTheEditorsNames() {
    Rig r;
    r.memory().stored.options = 0x1000 | 0x0200;
    r.memory().startData = {6, 2};
    r.memory().alarm = {3, 0x03, 0xD1};
    r.memory().qvsMask = {0x00, 0x01, 0x00};
    r.dialog.channelLabels = [] {
      ChannelLabels labels;
      for (int ch = 0; ch < kChannelCount; ++ch) {
        labels[static_cast<std::size_t>(ch)] = {"", 0xFFFFFF, 0};
      }
      labels[8] = {"Knee", 0x000000, 0xFFFFFF};
      return labels;
    };
    const std::uint64_t before = r.board().handshakeCount();
    std::uint64_t whileOpen = 0;
    r.answer([&](TOptDlg& d) {
      QVERIFY(!r.asleep());
      QVERIFY(d.Check5->isChecked());
      QVERIFY(!d.Check1->isChecked());
      QCOMPARE(d.BtnList->currentIndex(), 7);
      QCOMPARE(d.StartList->currentIndex(), 0);  // its bit is clear
      QCOMPARE(d.AlarmList->currentIndex(), 0);
      QCOMPARE(d.AlmVoltEdit->text(), QString("15.0V"));
      QCOMPARE(d.AlmVoltBtn->position(), 150);
      QVERIFY(d.QVS_C[8]->isChecked());
      QVERIFY(!d.QVS_C[0]->isChecked());
      QCOMPARE(d.QVS_C[8]->text(), QString("Knee"));
      QCOMPARE(d.QVS_C[0]->text(), QString("CH1"));
      QCOMPARE(d.QVS_C[8]->palette().color(QPalette::WindowText), QColor(255, 255, 255));
      whileOpen = r.board().handshakeCount();
    });
    QVERIFY(r.dialog.execute());
    QCOMPARE(r.shown, 1);
    QVERIFY(whileOpen > before);
    QCOMPARE(r.board().handshakeCount(), whileOpen);  // closing sends nothing
  }

  void aFailedLoadShowsNothingAndTheBoardStaysAsleep() {
    Rig r;
    r.failExchange(test::kSleepExchanges + 2);  // the alarm data
    r.answer();
    QVERIFY(!r.dialog.execute());
    QCOMPARE(r.shown, 0);
    QVERIFY(r.asleep());
  }

  void aClickOnACheckBoxWritesTheWordToBothCopies() {
    Rig r;
    r.memory().stored.options = 0x01F0;
    r.dialog.show();
    QTest::mouseClick(r.dialog.Check1, Qt::LeftButton);
    QCOMPARE(r.memory().stored.options, std::uint16_t{0x2000});
    QCOMPARE(r.workingOptions() & 0x2000, 0x2000);
    // The space key toggles and sends as well.
    r.dialog.Check7->setFocus();
    QTest::keyClick(r.dialog.Check7, Qt::Key_Space);
    QCOMPARE(r.memory().stored.options, std::uint16_t{0x2008});
  }

  void choosingOffForPowerOnClearsItsBitAndKeepsTheByte() {
    Rig r;
    r.memory().stored.options = 0x0800;
    r.memory().startData = {1, 9};
    r.dialog.StartList->setCurrentIndex(0);
    r.dialog.BtnList->setCurrentIndex(4);
    r.dialog.BtnListCloseUp();
    QCOMPARE(r.memory().startData, (std::array<std::uint8_t, 2>{3, 9}));
    QCOMPARE(r.memory().stored.options, std::uint16_t{0x1000});
  }

  void theSpinnerShowsEachStepAndSendsWhenLetGo() {
    Rig r;
    r.dialog.show();
    r.dialog.AlmVoltBtn->setPosition(60);
    const std::uint64_t before = r.board().handshakeCount();
    QTest::mousePress(r.dialog.AlmVoltBtn->upButton(), Qt::LeftButton);
    QTest::mouseRelease(r.dialog.AlmVoltBtn->upButton(), Qt::LeftButton);
    QCOMPARE(r.dialog.AlmVoltEdit->text(), QString("06.1V"));
    QVERIFY(r.board().handshakeCount() > before);
    QCOMPARE(r.memory().alarm[1] * 256 + r.memory().alarm[2], thresholdRaw(61));
    const std::uint64_t afterRelease = r.board().handshakeCount();
    r.dialog.AlmVoltBtn->step(-1);
    r.dialog.AlmVoltBtn->step(-1);
    QCOMPARE(r.dialog.AlmVoltEdit->text(), QString("05.9V"));
    QCOMPARE(r.board().handshakeCount(), afterRelease);
  }

  void aChannelBoxSendsTheMask() {
    Rig r;
    r.dialog.show();
    // On the box itself, at its left end.
    const QPoint box(6, r.dialog.QVS_C[8]->height() / 2);
    QTest::mouseClick(r.dialog.QVS_C[8], Qt::LeftButton, {}, box);
    QCOMPARE(r.memory().qvsMask, (std::array<std::uint8_t, 3>{0x00, 0x01, 0x00}));
    QTest::mouseClick(r.dialog.QVS_C[23], Qt::LeftButton, {}, box);
    QCOMPARE(r.memory().qvsMask, (std::array<std::uint8_t, 3>{0x00, 0x01, 0x80}));
  }
};

}  // namespace

PVRJ_REGISTER_QTEST(OptDlgTest);
#include "OptDlgTest.moc"
