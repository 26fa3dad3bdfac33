// Window tests of the compare editor: the condition shown on opening and written by a button.
#include <QRadioButton>
#include <QTest>

#include "QtTestRunner.h"
#include "editors/CompDlg_u.h"

using namespace pvrj;

namespace {

int checkedTag(const TCompDlg& dialog) {
  int tag = -1;
  for (int t = 0; t < kCompareConditions; ++t) {
    if (dialog.RadBtn[static_cast<std::size_t>(t)]->isChecked()) {
      if (tag >= 0) return -2;  // two buttons checked
      tag = t;
    }
  }
  return tag;
}

class CompDlgTest : public QObject {
  Q_OBJECT
 private slots:
  void buttonsCarryTheirTagsAndCaptions() {
    Chart chart;
    TCompDlg dialog(chart);
    for (int t = 0; t < kCompareConditions; ++t) {
      QRadioButton* b = dialog.RadBtn[static_cast<std::size_t>(t)];
      QCOMPARE(b->objectName(), QString("RadBtn%1").arg(t + 1));
      QCOMPARE(b->property("tag").toInt(), t);
    }
    QCOMPARE(dialog.RadBtn[8]->text(), QString("ボタン入力 = 比較レジスタならジャンプ"));
  }

  void newItemOpensWithTheLoopCondition() {
    Chart chart;
    const int item = chart.createItem(kItemCmp, 10, 10);
    TCompDlg dialog(chart);
    dialog.openItem(item);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), QString("CMP1"));
    QCOMPARE(checkedTag(dialog), 0);
  }

  void readBackItemOpensWithItsCondition() {
    Chart chart;
    const int item = chart.createItem(kItemCmp, 10, 10);
    chart.items[item].PrmWords.fill(0x9B06 + 4);  // target step 4 added by the read-back
    TCompDlg dialog(chart);
    dialog.openItem(item);
    QCOMPARE(checkedTag(dialog), 9);
  }

  void mixedWordsOpenWithNothingAndAButtonEvensThemOut() {
    Chart chart;
    const int item = chart.createItem(kItemCmp, 10, 10);
    chart.items[item].PrmWords[3] = 0x8C06;
    TCompDlg dialog(chart);
    dialog.openItem(0);
    dialog.openItem(item);
    QCOMPARE(checkedTag(dialog), -1);
    dialog.RadBtn[4]->click();
    QCOMPARE(checkedTag(dialog), 4);
    for (std::uint16_t w : chart.items[item].PrmWords) QCOMPARE(w, std::uint16_t{37382});
    // A second click on the checked button keeps it checked.
    dialog.RadBtn[4]->click();
    QCOMPARE(checkedTag(dialog), 4);
  }
};

}  // namespace

PVRJ_REGISTER_QTEST(CompDlgTest);
#include "CompDlgTest.moc"
