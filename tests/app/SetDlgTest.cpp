// Window tests of the setting editor: opening on the right page, every control's word, the
// sensor captions, the mixing labels and the live send of a mixing item.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>

#include "QtTestRunner.h"
#include "board/VirtualBoardPort.h"
#include "editors/SetDlg_u.h"
#include "protocol/BoardLink.h"
#include "protocol/MotionTable.h"
#include "tests/support/FakeUserInterface.h"

using namespace pvrj;

namespace {

class SetDlgTest : public QObject {
  Q_OBJECT
 private:
  struct Rig {
    board::VirtualBoardPort port;
    test::FakeUserInterface ui;
    BoardLink link{port, ui};
    Chart chart;
    MotionTable table;
    TSetDlg dialog{chart};
    bool sync = false;
    int item = -1;
    Rig() {
      item = chart.createItem(kItemSet, 10, 10);
      dialog.link = &link;
      dialog.motionTable = &table;
      dialog.syncOn = [this] { return sync; };
    }
    ChartItem& it() { return chart.items[static_cast<std::size_t>(item)]; }
    bool allWords(std::uint16_t word) {
      for (std::uint16_t w : it().PrmWords)
        if (w != word) return false;
      return true;
    }
    QRadioButton* checked() {
      QRadioButton* found = nullptr;
      for (QRadioButton* b : dialog.findChildren<QRadioButton*>()) {
        if (!b->isChecked()) continue;
        if (found) return nullptr;
        found = b;
      }
      return found;
    }
  };

  static void choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
  }

 private slots:
  void newItemOpensOnTheFirstPageWithTeaching() {
    Rig r;
    r.dialog.openItem(r.item);
    QVERIFY(r.dialog.isVisible());
    QCOMPARE(r.dialog.windowTitle(), QString("SET1"));
    QCOMPARE(r.dialog.pages->currentWidget(), r.dialog.otherPage);
    QCOMPARE(r.dialog.pages->tabText(0), QString("その他"));
    QCOMPARE(r.dialog.pages->tabText(1), QString("ミキシング"));
    QCOMPARE(r.checked(), r.dialog.RadBtn1);
    QCOMPARE(r.dialog.NumBar->value(), 1);
    QCOMPARE(r.dialog.Edit1->text(), QString("1"));
    QVERIFY(r.allWords(0x8006));  // opening writes nothing
  }

  void loopCounter() {
    Rig r;
    r.dialog.openItem(r.item);
    r.dialog.NumBar->setValue(10);
    QCOMPARE(r.checked(), r.dialog.RadBtn2);
    QCOMPARE(r.dialog.Edit1->text(), QString("10"));
    QVERIFY(r.allWords(0x8211));
    r.dialog.Edit1->setText("300");  // outside 1 to 255: the bar's position
    r.dialog.Edit1Enter();
    QCOMPARE(r.dialog.Edit1->text(), QString("10"));
    r.dialog.Edit1->setText("12");
    QTest::keyClick(r.dialog.Edit1, Qt::Key_Return);
    QCOMPARE(r.dialog.NumBar->value(), 12);
    QVERIFY(r.allWords(0x8213));
    r.dialog.RadBtn1Click();
    QVERIFY(r.allWords(0x8006));
    r.dialog.RadBtn2->click();
    QVERIFY(r.allWords(0x8213));
    r.dialog.openItem(r.item);
    QCOMPARE(r.checked(), r.dialog.RadBtn2);
    QCOMPARE(r.dialog.NumBar->value(), 12);
    QCOMPARE(r.dialog.Edit1->text(), QString("12"));
  }

  void compareRegister() {
    Rig r;
    r.dialog.openItem(r.item);
    r.dialog.Edit2->setText("-5000");
    r.dialog.Edit2Enter();
    QCOMPARE(r.dialog.Edit2->text(), QString("-1023"));
    QCOMPARE(r.checked(), r.dialog.RadBtn3);
    QVERIFY(r.allWords(0x9C06));
    r.dialog.Edit2->setText("16383");
    r.dialog.Edit2Enter();
    QVERIFY(r.allWords(0xE004));
    // The radio button takes the number unlimited.
    r.dialog.Edit2->setText("20000");
    r.dialog.RadBtn3Click();
    QVERIFY(r.allWords(static_cast<std::uint16_t>(0xA005 + 20000)));
    r.dialog.Edit2->setText("x");
    r.dialog.RadBtn3Click();
    QVERIFY(r.allWords(0xA005));
    r.it().PrmWords.fill(0x9C06 + 1023 + 77);
    r.dialog.openItem(r.item);
    QCOMPARE(r.checked(), r.dialog.RadBtn3);
    QCOMPARE(r.dialog.Edit2->text(), QString("77"));
  }

  void leavingCompareEditByFocusWritesIt() {
    Rig r;
    r.dialog.openItem(r.item);
    r.dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&r.dialog));
    r.dialog.Edit2->setText("99999");
    r.dialog.Edit2->setFocus(Qt::TabFocusReason);
    QVERIFY(QTest::qWaitFor([&] { return r.allWords(0xE004); }, 2000));
    QCOMPARE(r.checked(), r.dialog.RadBtn3);
    // Hiding the window takes the focus away without writing anything.
    r.it().PrmWords.fill(0x8006);
    r.dialog.hide();
    QVERIFY(r.allWords(0x8006));
  }

  void analogCalibrationSensorAndReceiver() {
    Rig r;
    r.dialog.openItem(r.item);
    choose(r.dialog.AdList, 2);
    QCOMPARE(r.checked(), r.dialog.RadBtn4);
    QVERIFY(r.allWords(65270));
    r.dialog.Sck[0]->click();
    r.dialog.Sck[5]->click();
    QCOMPARE(r.checked(), r.dialog.RadBtn6);
    QVERIFY(r.allWords(65304));
    r.dialog.RadBtn7Click();
    QVERIFY(r.allWords(64498));
    r.dialog.RadBtn8Click();
    QVERIFY(r.allWords(64499));
    r.dialog.openItem(r.item);
    QCOMPARE(r.checked(), r.dialog.RadBtn8);

    r.it().PrmWords.fill(65271 + 33);
    r.dialog.openItem(r.item);
    QCOMPARE(r.checked(), r.dialog.RadBtn6);
    for (int k = 0; k < kSensorBoxes; ++k)
      QCOMPARE(r.dialog.Sck[static_cast<std::size_t>(k)]->isChecked(), k == 0 || k == 5);
    r.it().PrmWords.fill(65269);
    r.dialog.openItem(r.item);
    QCOMPARE(r.checked(), r.dialog.RadBtn4);
    QCOMPARE(r.dialog.AdList->currentText(), QString("AD2"));
  }

  void sensorCaptionsFollowTheAnalogTable() {
    Rig r;
    r.dialog.openItem(r.item);
    QCOMPARE(r.dialog.Sck[0]->text(), QString("AD1 OFF"));
    QCOMPARE(r.dialog.Sck[3]->text(), QString("AD2 OFF"));
    SensorTable table;
    table[3] = {3, 250};  // motion list index 3: the third motion, M3
    r.dialog.sensorTable = [&] { return table; };
    r.dialog.openItem(r.item);
    QCOMPARE(r.dialog.Sck[3]->text(), QString("AD2 変化量が250を超えたらM3を再生する"));
    table[5] = {1, -7};
    r.dialog.openItem(r.item);  // rebuilt at every opening
    QCOMPARE(r.dialog.Sck[5]->text(), QString("AD3 変化量が-7を超えたらM1を再生する"));
  }

  void mixingItemOpensOnTheMixingPageAndSendsLive() {
    Rig r;
    for (std::uint16_t& w : r.it().PrmWords) w = mixingWord({0, kMixingRatioOff});
    r.it().PrmWords[0] = 64953;  // AD2-R, x -5
    r.it().PrmWords[2] = 64505;  // OFF, x 5
    r.it().PrmByte = 7;
    r.sync = true;
    r.dialog.openItem(r.item);
    QCOMPARE(r.dialog.pages->currentWidget(), r.dialog.mixingPage);
    QCOMPARE(r.dialog.MixNum[0]->currentText(), QString("AD2-R"));
    QCOMPARE(r.dialog.MixList[0]->currentIndex(), 58);
    QCOMPARE(r.dialog.MixNum[2]->currentText(), QString("OFF"));
    QCOMPARE(r.dialog.MixList[2]->currentIndex(), 68);
    QCOMPARE(r.checked(), static_cast<QRadioButton*>(nullptr));
    auto pose = [&] {
      PositionRecord rec;
      rec.decode(r.port.board().live().pose);
      return rec;
    };
    QCOMPARE(pose().lead, std::uint8_t{7});
    QCOMPARE(pose().block.words[0], std::uint16_t{64953});

    choose(r.dialog.MixNum[23], 3);
    choose(r.dialog.MixList[23], 126);
    QCOMPARE(r.it().PrmWords[23], mixingWord({3, 126}));
    QCOMPARE(r.it().PrmWords[0], std::uint16_t{64953});
    QCOMPARE(pose().block.words[23], mixingWord({3, 126}));

    r.sync = false;
    choose(r.dialog.MixNum[1], 1);
    QCOMPARE(r.it().PrmWords[1], mixingWord({1, kMixingRatioOff}));
    QCOMPARE(pose().block.words[1], mixingWord({0, kMixingRatioOff}));  // not sent
  }

  void allMixingButOneWordOpensWithNothingChecked() {
    Rig r;
    r.it().PrmWords.fill(mixingWord({1, 70}));
    r.it().PrmWords[9] = 0x8006;
    r.dialog.openItem(r.item);
    QCOMPARE(r.dialog.pages->currentWidget(), r.dialog.otherPage);
    QCOMPARE(r.checked(), static_cast<QRadioButton*>(nullptr));
  }

  void mixingLabelsTakeThePositionEditorsLabels() {
    Rig r;
    r.dialog.openItem(r.item);
    QCOMPARE(r.dialog.MixLabel[4]->text(), QString("CH5"));
    r.dialog.channelLabels = [] {
      ChannelLabels labels;
      labels[4] = {"Arm", 0x0000FF, 0xFFFFFF};  // red behind white text
      return labels;
    };
    r.dialog.openItem(r.item);
    QCOMPARE(r.dialog.MixLabel[4]->text(), QString("Arm"));
    QCOMPARE(r.dialog.MixLabel[4]->palette().color(QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(r.dialog.MixLabel[4]->palette().color(QPalette::Window), QColor(Qt::red));
    QCOMPARE(r.dialog.MixLabel[5]->text(), QString("CH6"));  // no name: the channel's number
  }

  void anItemThatWentAwayIsNotWritten() {
    Rig r;
    r.dialog.openItem(r.item);
    r.chart.items.clear();
    r.dialog.RadBtn7Click();
    r.dialog.MixCloseUp();
    QCOMPARE(r.chart.itemCount(), 0);
  }
};

}  // namespace

PVRJ_REGISTER_QTEST(SetDlgTest);
#include "SetDlgTest.moc"
