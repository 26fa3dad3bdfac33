// Window tests of the item property dialog: loading, the automatic size, storing, and what the
// sizes typed may be.
#include <QFontMetrics>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "QtTestRunner.h"
#include "prefs/ItemProperty_u.h"
#include "prefs/core/ItemSize.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

class ItemPropertyTest : public QObject {
  Q_OBJECT
 private:
  struct Rig {
    Chart chart;
    TItemProperty dialog{chart};
    int item = -1;
    Rig() {
      item = chart.createItem(kItemPos, 40, 60);
      chart.items[static_cast<std::size_t>(item)].Selected = true;
    }
    const ChartItem& it() const { return chart.items[static_cast<std::size_t>(item)]; }
  };

 private slots:
  void cleanup() { setDialogAnswerer(nullptr); }

  void loadsTheItem() {
    Rig r;
    r.dialog.LoadItemProperties(r.item);
    QCOMPARE(r.dialog.windowTitle(), QString("POS1"));
    QCOMPARE(r.dialog.NameEdit->text(), QString("POS1"));
    QCOMPARE(r.dialog.WidthEdit->text(), QString("50"));
    QCOMPARE(r.dialog.HeightEdit->text(), QString("30"));
    QCOMPARE(r.dialog.Button1->text(), QString("更新"));
    QCOMPARE(r.dialog.Button2->text(), QString("自動"));
  }

  void automaticSizeMeasuresTheName() {
    Rig r;
    r.dialog.LoadItemProperties(r.item);
    const QFontMetrics metrics(r.dialog.font());
    r.dialog.NameEdit->clear();
    r.dialog.Button2Click();
    QCOMPARE(r.dialog.WidthEdit->text(), QString("2"));
    QCOMPARE(r.dialog.HeightEdit->text(), QString::number(metrics.height() + 2));
    r.dialog.NameEdit->setText("歩く WALK");
    r.dialog.Button2Click();
    QCOMPARE(r.dialog.WidthEdit->text(),
             QString::number(metrics.horizontalAdvance("歩く WALK") + 2));
  }

  void updateStoresNameAndSizeAndDeselects() {
    Rig r;
    setDialogAnswerer([](QDialog& d) {
      auto& dlg = static_cast<TItemProperty&>(d);
      dlg.NameEdit->setText("Arm up");
      dlg.WidthEdit->setText("80");
      dlg.HeightEdit->setText(" 7 ");  // very small: raised to the smallest size
      dlg.Button1Click();
    });
    QVERIFY(editItemProperties(r.dialog, r.chart, r.item));
    QCOMPARE(QString::fromStdString(r.it().Name), QString("Arm up"));
    QCOMPARE(r.it().Width, 80);
    QCOMPARE(r.it().Height, kSmallestItemSize);
    QVERIFY(!r.it().Selected);
  }

  void closeBoxLeavesTheItemUnchanged() {
    Rig r;
    setDialogAnswerer([](QDialog& d) {
      auto& dlg = static_cast<TItemProperty&>(d);
      dlg.NameEdit->setText("changed");
      dlg.WidthEdit->setText("99");
      dlg.close();
    });
    QVERIFY(!editItemProperties(r.dialog, r.chart, r.item));
    QCOMPARE(QString::fromStdString(r.it().Name), QString("POS1"));
    QCOMPARE(r.it().Width, 50);
    QVERIFY(r.it().Selected);
  }

  void sizeThatIsNotWholeKeepsTheDialogOpen() {
    Rig r;
    QString warned;
    int boxes = 0;
    setDialogAnswerer([&](QDialog& d) {
      if (auto* box = qobject_cast<QMessageBox*>(&d)) {
        ++boxes;
        warned = box->windowTitle() + ":" + box->text();
        box->button(QMessageBox::Ok)->click();
        return;
      }
      auto& dlg = static_cast<TItemProperty&>(d);
      dlg.NameEdit->setText("new name");
      dlg.WidthEdit->setText("12.5");
      dlg.Button1Click();
      QVERIFY(dlg.isVisible());  // still open after the warning
      dlg.WidthEdit->setText("60");
      dlg.Button1Click();
    });
    QVERIFY(editItemProperties(r.dialog, r.chart, r.item));
    QCOMPARE(boxes, 1);
    QCOMPARE(warned, QString("警告:") + QString::fromUtf8(kItemSizeNotWholeMessage));
    QCOMPARE(r.it().Width, 60);
    QCOMPARE(QString::fromStdString(r.it().Name), QString("new name"));
  }

  void storeRefusesWholeOrNothing() {
    Rig r;
    r.dialog.LoadItemProperties(r.item);
    r.dialog.NameEdit->setText("x");
    r.dialog.HeightEdit->setText("abc");
    QVERIFY(!r.dialog.StoreItemProperties(r.item));
    QCOMPARE(QString::fromStdString(r.it().Name), QString("POS1"));  // the name waits too
    QVERIFY(!r.dialog.StoreItemProperties(5));
  }
};

}  // namespace

PVRJ_REGISTER_QTEST(ItemPropertyTest);
#include "ItemPropertyTest.moc"
