// Window tests of the main window's item work: double clicks open the setting and compare
// editors, which hide when the main window is activated; "プロパティ" edits the item under the
// menu.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "QtTestRunner.h"
#include "app/ChartCanvas.h"
#include "app/ItemActions.h"
#include "app/Main_u.h"
#include "editors/CompDlg_u.h"
#include "editors/PrmDlg_u.h"
#include "editors/SetDlg_u.h"
#include "prefs/ItemProperty_u.h"
#include "protocol/MotionTable.h"
#include "tools/PortDlg_u.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

class ItemActionsTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    qputenv("PVRJ_SETTINGS_DIR", dir_->path().toUtf8());
  }
  void cleanup() {
    setDialogAnswerer(nullptr);
    qunsetenv("PVRJ_SETTINGS_DIR");
    dir_.reset();
  }

  void doubleClicksOpenTheEditorOfTheKind() {
    TPivora3 w;
    TPrmDlg editor(w.chart(), &w);
    MotionTable table;
    auto* actions = new ItemActions(w, table, editor);
    Chart& chart = w.chart();
    chart.createItem(kItemSet, 10, 10);
    chart.createItem(kItemCmp, 10, 100);
    chart.createItem(kItemPos, 10, 200);
    w.show();
    w.canvas->redraw();
    QTest::mouseDClick(w.canvas, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(actions->setDlg().isVisible());
    QCOMPARE(actions->setDlg().windowTitle(), QString("SET1"));
    QVERIFY(!actions->compDlg().isVisible());
    QTest::mouseDClick(w.canvas, Qt::LeftButton, {}, QPoint(20, 110));
    QVERIFY(actions->compDlg().isVisible());
    QCOMPARE(actions->compDlg().item(), 1);
    QTest::mouseDClick(w.canvas, Qt::LeftButton, {}, QPoint(20, 210));
    QCOMPARE(actions->compDlg().item(), 1);
    QCOMPARE(actions->setDlg().item(), 0);

    // Activating the main window hides both editors.
    QApplication::setActiveWindow(&actions->setDlg());
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitFor([&] { return !actions->setDlg().isVisible(); }, 2000));
    QVERIFY(!actions->compDlg().isVisible());
  }

  void propertyMenuEditsTheItemUnderTheMenu() {
    TPivora3 w;
    TPrmDlg editor(w.chart(), &w);
    MotionTable table;
    new ItemActions(w, table, editor);
    Chart& chart = w.chart();
    chart.createItem(kItemPos, 10, 10);
    chart.createItem(kItemPos, 100, 10);
    w.canvas->popupEnabled = false;
    setDialogAnswerer([](QDialog& d) {
      auto& dlg = static_cast<TItemProperty&>(d);
      dlg.NameEdit->setText("Wave");
      dlg.WidthEdit->setText("90");
      dlg.Button1Click();
    });
    QTest::mouseClick(w.canvas, Qt::RightButton, {}, QPoint(110, 20));
    w.canvas->PropertyMenu->trigger();
    QCOMPARE(QString::fromStdString(chart.items[1].Name), QString("Wave"));
    QCOMPARE(chart.items[1].Width, 90);
    QCOMPARE(QString::fromStdString(chart.items[0].Name), QString("POS1"));
    QCOMPARE(chart.selectedItemCount(), 0);
  }

  void conversionEntryConvertsTheSelectedItemsAndKeepsTheSet() {
    {
      TPivora3 w;
      TPrmDlg editor(w.chart(), &w);
      MotionTable table;
      auto* actions = new ItemActions(w, table, editor);
      Chart& chart = w.chart();
      chart.createItem(kItemPos, 10, 10);
      chart.createItem(kItemCmp, 10, 100);
      chart.items[0].PrmWords[0] = 16384 + 30;
      chart.items[1].PrmWords[0] = 16384 + 30;
      chart.selectAll();
      w.canvas->popupEnabled = false;
      setDialogAnswerer([](QDialog& d) {
        auto& dlg = static_cast<TPortDlg&>(d);
        dlg.Cmb[0]->setEditText("MUL(2)");
        dlg.ListMenu->setEditText("double");
        dlg.OKBtnClick();
      });
      QTest::mouseClick(w.canvas, Qt::RightButton, {}, QPoint(400, 400));
      w.canvas->MirMenu->trigger();
      QCOMPARE(actions->portDlg().mode(), int(kPortModeConversion));
      QCOMPARE(chart.items[0].PrmWords[0], std::uint16_t{16384 + 60});
      QCOMPARE(chart.items[1].PrmWords[0], std::uint16_t{16384 + 30});  // a compare item
      QVERIFY(!QFile::exists(dir_->path() + "/PATTERN.ini"));
    }
    // The pattern file is written in the settings folder as the windows go, by the position
    // editor that shares it with the entry dialog.
    QFile file(dir_->path() + "/PATTERN.ini");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains("[Convert]\r\nCnvList=double\r\n"), text.constData());
    QVERIFY2(text.contains("double=\"MUL(2)\",\"\","), text.constData());
  }

  void unreadablePatternFileIsReportedAndKept() {
    QVERIFY(QDir(dir_->path()).mkdir("PATTERN.ini"));  // a folder where the file should be
    {
      TPivora3 w;
      TPrmDlg editor(w.chart(), &w);
      MotionTable table;
      auto* actions = new ItemActions(w, table, editor);
      QVERIFY2(w.statusLine->text().contains("PATTERN.ini"), qPrintable(w.statusLine->text()));
      actions->portDlg().pattern().setConversionSetNames({"x"});
    }
    QVERIFY(QFileInfo(dir_->path() + "/PATTERN.ini").isDir());
  }

  void positionEditorOpensTheEntryDialogInItsModes() {
    TPivora3 w;
    TPrmDlg editor(w.chart(), &w);
    MotionTable table;
    auto* actions = new ItemActions(w, table, editor);
    TPortDlg& dlg = actions->portDlg();

    // Display rates: the boxes show the editor's rates; OK gives the editor the typed ones.
    setDialogAnswerer([](QDialog& d) {
      auto& port = static_cast<TPortDlg&>(d);
      QCOMPARE(port.boxText(3), QString("1"));
      port.Cmb[2]->setEditText("0.5");
      port.OKBtnClick();
    });
    editor.displayRatesRequested();
    QCOMPARE(dlg.mode(), int(kPortModeDisplayRates));
    QCOMPARE(editor.displayRate(2), 0.5f);
    QCOMPARE(editor.displayRate(3), 1.0f);

    // Channel names: the rows show the numbers, OK renames the editor's channels.
    setDialogAnswerer([](QDialog& d) {
      auto& port = static_cast<TPortDlg&>(d);
      port.Cmb[0]->setEditText("Elbow");
      port.OKBtnClick();
    });
    editor.channelNamesRequested();
    QCOMPARE(dlg.mode(), int(kPortModeChannelNames));
    QCOMPARE(editor.channelName(0), QString("Elbow"));
    // The setting editor's mixing rows and the dialog's rows follow the editor's names.
    actions->setDlg().openItem(-1);
    QCOMPARE(actions->setDlg().MixLabel[0]->text(), QString("Elbow"));

    // Link sets: a new set joins the editor's link list, whose last entry is then chosen.
    setDialogAnswerer([](QDialog& d) {
      auto& port = static_cast<TPortDlg&>(d);
      QCOMPARE(port.PortName[0]->text(), QString("Elbow"));
      port.Cmb[0]->setEditText("MOV(10)");
      port.ListMenu->setEditText("step");
      port.OKBtnClick();
    });
    editor.linkSetsRequested();
    QCOMPARE(dlg.mode(), int(kPortModeLinkSets));
    QCOMPARE(editor.LinkList->count(), 2);
    QCOMPARE(editor.LinkList->itemText(0), QString("step"));
    QCOMPARE(editor.LinkList->currentIndex(), 1);
    QCOMPARE(editor.patternFile().linkSet("step").front(), std::string("MOV(10)"));
  }

 private:
  std::unique_ptr<QTemporaryDir> dir_;
};

}  // namespace

PVRJ_REGISTER_QTEST(ItemActionsTest);
#include "ItemActionsTest.moc"
