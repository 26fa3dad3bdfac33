// Window tests of the motion table window: its rows, the read button, editing a row through the
// data dialog, and the drag payload.
#include <QCheckBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QStyle>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "QtTestRunner.h"
#include "app/ChartCanvas.h"
#include "app/TableDlg_u.h"
#include "board/VirtualBoardPort.h"
#include "protocol/BoardLink.h"
#include "tests/support/FakeUserInterface.h"
#include "tools/DataDlg_u.h"

using namespace pvrj;

namespace {

class TableDlgTest : public QObject {
  Q_OBJECT
 private:
  struct Rig {
    board::VirtualBoardPort port;
    test::FakeUserInterface ui;
    BoardLink link{port, ui};
    Chart chart;
    MotionTable table;
    TDataDlg data{chart, table, &link};
    TTableDlg dialog{table, chart, data, &link};
    Rig() {
      link.onTableEntryChanged = [this](int n, const TableEntryData& e) {
        table.ShowTableEntry(e, n, false);
      };
    }
    board::VirtualBoard& vb() { return port.board(); }
    bool asleep() { return vb().live().working.options & board::kOptSleep; }
    QString cell(int row, int column) { return dialog.ListView->topLevelItem(row)->text(column); }
    void storeEntry(int n, std::uint8_t count, const char* name, std::uint16_t control) {
      auto& e = vb().memory().table[static_cast<std::size_t>(n)];
      e[0] = count;
      e[8] = static_cast<std::uint8_t>(control >> 8);
      e[9] = static_cast<std::uint8_t>(control & 0xFF);
      for (std::size_t i = 0; name[i] != '\0'; ++i) e[10 + i] = static_cast<std::uint8_t>(name[i]);
    }
  };

 private slots:
  void startsWithBlankRows() {
    Rig r;
    QCOMPARE(r.dialog.windowTitle(), QString("DataTable"));
    QCOMPARE(r.dialog.width(), 452);
    QCOMPARE(r.dialog.height(), 524);
    QCOMPARE(r.dialog.ListView->topLevelItemCount(), 85);
    QCOMPARE(r.cell(0, 0), QString("M1"));
    QCOMPARE(r.cell(84, 0), QString("S5"));
    QCOMPARE(r.cell(40, 2), QString("0"));
    QCOMPARE(r.cell(40, 3), QString("--/-- --:--"));
    QCOMPARE(r.cell(40, 4), QString("65535"));
    QCOMPARE(r.dialog.ListView->headerItem()->text(1), QString("Name"));
  }

  void everyColumnShowsItsWholeText() {
    Rig r;
    r.storeEntry(79, 255, "WALKING FORWARD", 65535);
    r.dialog.MotReadBtnClick();
    r.dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&r.dialog));
    QTreeWidget* list = r.dialog.ListView;
    QHeaderView* header = list->header();
    const QFontMetrics metrics(list->font());
    // An item view sets its text in by the focus frame's margin and one pixel on each side.
    const int margin =
        2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
    for (int column = 0; column < list->columnCount(); ++column) {
      QVERIFY2(header->sectionSizeHint(column) <= header->sectionSize(column),
               qPrintable(list->headerItem()->text(column)));
      // The name column may elide a long name; every other text shows whole.
      if (column == 1) continue;
      for (int row = 0; row < list->topLevelItemCount(); ++row) {
        const QString text = list->topLevelItem(row)->text(column);
        QVERIFY2(metrics.horizontalAdvance(text) + margin <= list->columnWidth(column),
                 qPrintable(QStringLiteral("row %1: \"%2\" in %3 pixels")
                                .arg(row)
                                .arg(text)
                                .arg(list->columnWidth(column))));
      }
    }
    // The last column ends inside the list's visible width.
    const int last = list->columnCount() - 1;
    QVERIFY2(header->sectionViewportPosition(last) + header->sectionSize(last) <=
                 list->viewport()->width(),
             qPrintable(QStringLiteral("%1 + %2 > %3")
                            .arg(header->sectionViewportPosition(last))
                            .arg(header->sectionSize(last))
                            .arg(list->viewport()->width())));
    QVERIFY(list->columnWidth(1) >= 150);  // the name keeps most of its room
  }

  void readButtonFillsTheList() {
    Rig r;
    r.storeEntry(4, 9, "WALK", 500);
    r.dialog.MotReadBtn->click();
    QCOMPARE(r.dialog.ListView->topLevelItemCount(), 85);
    QCOMPARE(r.cell(4, 1), QString("WALK"));
    QCOMPARE(r.cell(4, 2), QString("9"));
    QCOMPARE(r.cell(4, 4), QString("500"));
    QVERIFY(!r.asleep());
  }

  void readFailingAtEntryTwentyKeepsTwentyRows() {
    Rig r;
    board::Fault silent;
    silent.kind = board::Fault::Kind::kNoHandshake;
    // Sleep on: read options, read pose, write free pose, write options, write pose back.
    std::uint64_t sleepExchanges = 5;
    r.vb().injectFaultAt(r.vb().handshakeCount() + sleepExchanges + 20, silent);
    r.dialog.MotReadBtnClick();
    QCOMPARE(r.dialog.ListView->topLevelItemCount(), 20);
    QCOMPARE(r.cell(19, 0), QString("M20"));
    QVERIFY(r.asleep());
  }

  void doubleClickEditsAndWritesTheEntryBack() {
    Rig r;
    r.storeEntry(2, 6, "OLD", 100);
    r.vb().memory().table[2][1] = 0x01;  // CH1 used
    r.chart.Ctrl = 4321;
    bool opened = false;
    r.dialog.runDataDialog = [&](TDataDlg& d) {
      opened = true;
      // The dialog shows the entry just read from the board.
      if (d.MotName->text() != "OLD" || d.CntEdit->text() != "100" || !d.PE[0]->isChecked())
        return int(QDialog::Rejected);
      d.MotName->setText("NEW\"ONE");
      d.CntEdit->setText("bad");
      d.PE[23]->setChecked(true);
      d.Button1Click();
      return d.result();
    };
    r.dialog.ListViewDblClick(2);
    QVERIFY(opened);
    const auto& e = r.vb().memory().table[2];
    QCOMPARE(int(e[0]), 6);  // count kept
    const TableEntry written = TableEntry::from(e);
    QCOMPARE(written.mask, std::uint32_t{0x800001});
    QCOMPARE(int(written.control), 4321);  // not a number: the chart's value
    QCOMPARE(QString::fromStdString(written.name), QString("NEW ONE"));
    QCOMPARE(r.cell(2, 1), QString("NEW ONE"));
    QVERIFY(!r.asleep());
    QVERIFY(r.vb().live().working.options & board::kOptDataDialog);
  }

  void cancelledEditWritesNothing() {
    Rig r;
    r.storeEntry(81, 3, "SC", 7);
    int kindSeen = -1;
    r.dialog.runDataDialog = [&](TDataDlg& d) {
      kindSeen = d.PE[0]->isEnabled() ? 0 : 7;
      d.MotName->setText("changed");
      d.Button2Click();
      return d.result();
    };
    r.dialog.ListViewDblClick(81);
    QCOMPARE(kindSeen, 7);
    QCOMPARE(QString::fromStdString(TableEntry::from(r.vb().memory().table[81]).name),
             QString("SC"));
    QCOMPARE(r.cell(81, 1), QString("SC"));  // the row was refreshed from the board
  }

  void dragCarriesSlotAndCaption() {
    Rig r;
    r.table.ShowTableEntry(
        [] {
          TableEntryData e = TableEntry::blank().encode();
          e[10] = 'W';
          return e;
        }(),
        2, false);
    MotionTableList* list = r.dialog.ListView;
    QCOMPARE(list->mimeTypes(), QStringList{kMotionRowMime});
    std::unique_ptr<QMimeData> mime(list->mimeData({r.dialog.ListView->topLevelItem(2)}));
    QVERIFY(mime);
    int slot = -1;
    QString caption;
    QVERIFY(decodeMotionRow(mime->data(kMotionRowMime), slot, caption));
    QCOMPARE(slot, 2);
    QCOMPARE(caption, QString("M3 W"));
    QCOMPARE(mime->data(kMotionRowMime), QByteArray("2\tM3 W"));
  }
};

}  // namespace

PVRJ_REGISTER_QTEST(TableDlgTest);
#include "TableDlgTest.moc"
