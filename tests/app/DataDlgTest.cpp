// Window tests of the data dialog: loading from the chart and from a table row, the name
// clean-up, the port mask, the counter and Cancel.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "QtTestRunner.h"
#include "board/VirtualBoardPort.h"
#include "protocol/BoardLink.h"
#include "tests/support/FakeUserInterface.h"
#include "tools/DataDlg_u.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

class DataDlgTest : public QObject {
  Q_OBJECT
 private:
  struct Rig {
    board::VirtualBoardPort port;
    test::FakeUserInterface ui;
    BoardLink link{port, ui};
    Chart chart;
    MotionTable table;
    TDataDlg dialog{chart, table, &link};
    std::uint16_t options() const {
      return const_cast<board::VirtualBoardPort&>(port).board().live().working.options;
    }
  };

 private slots:
  void cleanup() { setDialogAnswerer(nullptr); }

  void findsTheBoxesByName() {
    Rig r;
    QCOMPARE(r.dialog.windowTitle(), QString("DataDlg"));
    for (int n = 1; n <= kPortBoxes; ++n) {
      QCheckBox* box = r.dialog.PE[static_cast<std::size_t>(n - 1)];
      QVERIFY(box);
      QCOMPARE(box->objectName(), QString("PE%1").arg(n));
      QCOMPARE(box->text(), QString("CH%1").arg(n));
      QCOMPARE(box->property("tag").toInt(), n);
    }
    QCOMPARE(r.dialog.Label1->text(), QString("データ名"));
    QCOMPARE(r.dialog.Label2->text(), QString("コントロール入力"));
    QCOMPARE(r.dialog.PortLabel->text(), QString("使用ポート"));
  }

  void portMaskOfFirstAndLastChannel() {
    Rig r;
    r.chart.Port = 0;
    r.dialog.LoadDataProperties(-1, kMotionChart);
    r.dialog.PE[0]->setChecked(true);
    r.dialog.PE[23]->setChecked(true);
    QCOMPARE(r.dialog.CollectPortMask(), std::uint32_t{8388609});
  }

  void loadsTheChartHeader() {
    Rig r;
    r.chart.Name = "歩行";
    r.chart.Ctrl = 500;
    r.chart.Port = 0x000005;
    r.dialog.LoadDataProperties(-1, kMotionChart);
    QCOMPARE(r.dialog.MotName->text(), QString("歩行"));
    QCOMPARE(r.dialog.CntEdit->text(), QString("500"));
    QVERIFY(r.dialog.PE[0]->isChecked());
    QVERIFY(!r.dialog.PE[1]->isChecked());
    QVERIFY(r.dialog.PE[2]->isChecked());
    QVERIFY(r.dialog.PE[2]->isEnabled());
    QVERIFY(r.dialog.PortLabel->isEnabled());
  }

  void scenarioRowHasNoChannels() {
    Rig r;
    TableEntryData e = TableEntry::blank().encode();
    e[1] = 0xFF;
    e[8] = 0x00;
    e[9] = 0x07;
    e[10] = 'S';
    r.table.ShowTableEntry(e, 82, false);
    r.dialog.LoadDataProperties(82, kScenarioChart);
    QCOMPARE(r.dialog.MotName->text(), QString("S"));
    QCOMPARE(r.dialog.CntEdit->text(), QString("7"));
    for (QCheckBox* box : r.dialog.PE) {
      QVERIFY(!box->isChecked());
      QVERIFY(!box->isEnabled());
    }
    QVERIFY(!r.dialog.PortLabel->isEnabled());
    QCOMPARE(r.dialog.CollectPortMask(), std::uint32_t{0});
  }

  void okCleansTheName() {
    Rig r;
    r.dialog.MotName->setText("a,b\"c");
    r.dialog.Button1Click();
    QCOMPARE(r.dialog.MotName->text(), QString("a b c"));
    QCOMPARE(r.dialog.result(), int(QDialog::Accepted));
  }

  void letterInTheControlValueKeepsTheOldOne() {
    Rig r;
    r.chart.Ctrl = 321;
    r.dialog.CntEdit->setText("12a");
    QCOMPARE(r.dialog.controlValue(321), 321);
    r.dialog.CntEdit->setText("77");
    QCOMPARE(r.dialog.controlValue(321), 77);
  }

  void receiveReadsTheCounter() {
    Rig r;
    r.port.board().live().button = 0x1234;
    r.dialog.CntEdit->setText("1");
    r.dialog.Button3Click();
    QCOMPARE(r.dialog.CntEdit->text(), QString::number(0x1234));
    // A board that does not answer leaves the text alone.
    board::Fault silent;
    silent.kind = board::Fault::Kind::kNoHandshake;
    r.port.board().injectFault(silent, 1);
    r.dialog.CntEdit->setText("9");
    r.dialog.Button3Click();
    QCOMPARE(r.dialog.CntEdit->text(), QString("9"));
  }

  void cancelSwitchesTheReceiverStreamOff() {
    Rig r;
    QVERIFY(r.link.SetReceiverStream(1));
    QVERIFY(r.options() & board::kOptReceiverStream);
    r.dialog.Button2Click();
    QVERIFY(!(r.options() & board::kOptReceiverStream));
    QCOMPARE(r.dialog.result(), int(QDialog::Rejected));
  }

  void chartHeaderEditBracketsBit5() {
    Rig r;
    r.chart.Name = "old";
    r.chart.Ctrl = 10;
    r.chart.Port = 1;
    std::uint16_t seenOptions = 0xFFFF;
    setDialogAnswerer([&](QDialog& d) {
      seenOptions = r.options();
      auto& dlg = static_cast<TDataDlg&>(d);
      dlg.MotName->setText("new,name");
      dlg.CntEdit->setText("x");
      dlg.PE[1]->setChecked(true);
      dlg.Button1Click();
    });
    QVERIFY(r.dialog.editChartHeader());
    QVERIFY(!(seenOptions & board::kOptDataDialog));  // cleared while the dialog was open
    QVERIFY(r.options() & board::kOptDataDialog);     // set again afterwards
    QCOMPARE(QString::fromStdString(r.chart.Name), QString("new name"));
    QCOMPARE(r.chart.Port, std::uint32_t{3});
    QCOMPARE(r.chart.Ctrl, 10);

    setDialogAnswerer([](QDialog& d) { static_cast<TDataDlg&>(d).Button2Click(); });
    QVERIFY(!r.dialog.editChartHeader());
    QCOMPARE(QString::fromStdString(r.chart.Name), QString("new name"));
  }
};

}  // namespace

PVRJ_REGISTER_QTEST(DataDlgTest);
#include "DataDlgTest.moc"
