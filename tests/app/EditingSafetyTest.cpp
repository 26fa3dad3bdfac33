// Window tests of undo and redo, the title and the quit question, recent files, autosave and the
// recovery of a chart a crashed run left behind.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <memory>

#include "QtTestRunner.h"
#include "app/BoardActions.h"
#include "app/ChartCanvas.h"
#include "app/DesktopRecentList.h"
#include "app/FlowLayout.h"
#include "app/FlowToolBar.h"
#include "app/ItemActions.h"
#include "app/Main_u.h"
#include "chart/Autosave.h"
#include "chart/ChartEditor.h"
#include "chart/ChartFile.h"
#include "common/FileIo.h"
#include "editors/PrmDlg_u.h"
#include "editors/SetDlg_u.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

const QString kWave = QStringLiteral(PVRJ_SOURCE_DIR "/examples/wave.vlb");
constexpr int kWaitMs = 10000;

void send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
  QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

void click(QWidget* canvas, QPoint at) {
  send(canvas, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
  send(canvas, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

// A drag in several moves, as a hand makes it.
void drag(QWidget* canvas, QPoint from, QPoint to) {
  send(canvas, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  for (int s = 1; s <= 5; ++s)
    send(canvas, QEvent::MouseMove, from + (to - from) * s / 5, Qt::NoButton, Qt::LeftButton);
  send(canvas, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

// Places an item with a PARTS tool, as the user does.
void place(TPivora3& w, QAction* tool, QPoint at) {
  tool->trigger();
  click(w.canvas, at);
}

std::string saved(const Chart& chart) {
  return chartFileText(chart);
}

}  // namespace

class EditingSafetyTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<QTemporaryDir> dir_;
  QString path(const QString& name) const { return dir_->path() + QLatin1Char('/') + name; }
  QString autosaveFile() const {
    return path(QStringLiteral("state/pivora/autosave/autosave.VLB"));
  }

  // Answers the save dialog with `file` (chart filter) and every box with Yes.
  void answerSaveWith(const QString& file) {
    setDialogAnswerer([file](QDialog& d) {
      if (auto* files = qobject_cast<QFileDialog*>(&d)) {
        files->selectNameFilter(files->nameFilters().first());
        files->selectFile(file);
        static_cast<QDialog*>(files)->accept();
      } else if (auto* box = qobject_cast<QMessageBox*>(&d)) {
        box->button(QMessageBox::Yes)->click();
      } else {
        d.reject();
      }
    });
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    qputenv("PVRJ_SETTINGS_DIR", dir_->path().toUtf8());
    qputenv("XDG_STATE_HOME", path(QStringLiteral("state")).toUtf8());
    qputenv("XDG_DATA_HOME", path(QStringLiteral("data")).toUtf8());
    setDialogAnswerer([](QDialog& d) { d.reject(); });  // nothing may wait for a person
  }
  void cleanup() {
    setDialogAnswerer({});
    qunsetenv("PVRJ_SETTINGS_DIR");
    dir_.reset();
  }

  void undoAndRedoButtonsEndThePartsBar() {
    TPivora3 w;
    auto* layout = dynamic_cast<FlowLayout*>(w.partsBar->layout());
    QVERIFY(layout);
    const int n = layout->count();
    QCOMPARE(layout->itemAt(n - 2)->widget()->objectName(), QStringLiteral("UndoBtn"));
    QCOMPARE(layout->itemAt(n - 1)->widget()->objectName(), QStringLiteral("RedoBtn"));
    QCOMPARE(layout->itemAt(n - 3)->widget()->objectName(), QStringLiteral("CompileBtn"));
    QVERIFY(w.UndoBtn->toolTip().startsWith(QStringLiteral("元に戻すボタン")));
    QVERIFY(w.RedoBtn->toolTip().startsWith(QStringLiteral("やり直しボタン")));
    // Nothing to undo or redo at start; a change makes undo possible.
    QVERIFY(!w.UndoBtn->isEnabled());
    QVERIFY(!w.RedoBtn->isEnabled());
    place(w, w.SetItem1Btn, QPoint(40, 40));
    QVERIFY(w.UndoBtn->isEnabled());
    w.UndoBtn->trigger();
    QCOMPARE(w.chart().itemCount(), 0);
    QVERIFY(w.RedoBtn->isEnabled());
    w.RedoBtn->trigger();
    QCOMPARE(w.chart().itemCount(), 1);
  }

  void ctrlZAfterADeleteBringsTheItemsBack() {
    TPivora3 w;
    place(w, w.SetItem1Btn, QPoint(40, 40));
    place(w, w.SetItem2Btn, QPoint(140, 40));
    place(w, w.SetItem3Btn, QPoint(240, 40));
    const std::string before = saved(w.chart());
    drag(w.canvas, QPoint(10, 10), QPoint(200, 100));  // rubber band over the first two
    QTest::keyClick(w.canvas, Qt::Key_Delete);
    QCOMPARE(w.chart().itemCount(), 1);
    const std::string after = saved(w.chart());

    QTest::keyClick(w.canvas, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(saved(w.chart()), before);
    QCOMPARE(w.chart().selectedItemCount(), 2);  // the items brought back, as they were selected
    QTest::keyClick(w.canvas, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(saved(w.chart()), after);
    QTest::keyClick(w.canvas, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(w.canvas, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(saved(w.chart()), after);
    // Three placements and the delete: four steps back to the empty chart, and no further.
    for (int k = 0; k < 6; ++k) QTest::keyClick(w.canvas, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(w.chart().itemCount(), 0);
    QVERIFY(!w.UndoBtn->isEnabled());
  }

  void aDragIsOneStep() {
    TPivora3 w;
    place(w, w.SetItem1Btn, QPoint(40, 40));
    place(w, w.SetItem1Btn, QPoint(140, 40));
    const std::size_t steps = w.history().undoCount();
    drag(w.canvas, QPoint(45, 45), QPoint(105, 205));
    QCOMPARE(w.chart().items[0].Left, 100);
    QCOMPARE(w.chart().items[0].Top, 200);
    QCOMPARE(w.history().undoCount(), steps + 1);
    w.UndoBtnClick();
    QCOMPARE(w.chart().items[0].Left, 40);
    QCOMPARE(w.chart().items[0].Top, 40);
    QCOMPARE(w.chart().itemCount(), 2);  // the placing before it stays
  }

  // The setting editor writes each change into the item at once; what one opening of it changed
  // is one step, recorded when it hides.
  void anItemEditorsChangesAreOneStepPerOpening() {
    TPivora3 w({kWave});
    TPrmDlg positionEditor(w.chart(), &w);
    BoardActions* board = new BoardActions(w, path(QStringLiteral("socket")));
    auto* items = new ItemActions(w, board->table(), positionEditor);
    int set = -1;
    for (int i = 0; i < w.chart().itemCount(); ++i)
      if (w.chart().items[static_cast<std::size_t>(i)].Type == kItemSet) set = i;
    QVERIFY(set >= 0);
    QCOMPARE(w.windowTitle(), QStringLiteral("wave.vlb - Pivora J"));
    const std::string before = saved(w.chart());
    const std::size_t steps = w.history().undoCount();

    items->Image1ItemEditor(set);
    TSetDlg& editor = items->setDlg();
    QTRY_VERIFY_WITH_TIMEOUT(editor.isVisible(), kWaitMs);
    QTest::mouseClick(editor.RadBtn7, Qt::LeftButton);
    QVERIFY(saved(w.chart()) != before);
    // Once the click is handled the title shows the change, while the step waits for the editor.
    QTRY_COMPARE_WITH_TIMEOUT(w.windowTitle(), QStringLiteral("wave.vlb* - Pivora J"), kWaitMs);
    QCOMPARE(w.history().undoCount(), steps);
    QTest::mouseClick(editor.RadBtn8, Qt::LeftButton);
    const std::string edited = saved(w.chart());
    editor.hide();
    QTRY_COMPARE_WITH_TIMEOUT(w.history().undoCount(), steps + 1, kWaitMs);
    w.UndoBtnClick();
    QCOMPARE(saved(w.chart()), before);
    QCOMPARE(w.windowTitle(), QStringLiteral("wave.vlb - Pivora J"));
    w.RedoBtnClick();
    QCOMPARE(saved(w.chart()), edited);
  }

  void aReadBackAndAFileOpenedAreStepsToo() {
    TPivora3 w;
    place(w, w.SetItem1Btn, QPoint(40, 40));
    const std::string before = saved(w.chart());
    w.openChart(kWave.toStdString());
    QCOMPARE(w.chart().itemCount(), 4);  // added to the chart
    w.UndoBtnClick();
    QCOMPARE(saved(w.chart()), before);
  }

  void theTitleNamesTheFileAndMarksChanges() {
    TPivora3 w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Pivora J"));
    place(w, w.SetItem1Btn, QPoint(40, 40));
    QCOMPARE(w.windowTitle(), QStringLiteral("無題* - Pivora J"));
    answerSaveWith(path(QStringLiteral("walk")));
    w.SaveBtnClick();
    QVERIFY(QFile::exists(path(QStringLiteral("walk.VLB"))));
    QCOMPARE(w.windowTitle(), QStringLiteral("walk.VLB - Pivora J"));
    drag(w.canvas, QPoint(45, 45), QPoint(85, 45));
    QCOMPARE(w.windowTitle(), QStringLiteral("walk.VLB* - Pivora J"));
    w.UndoBtnClick();  // back to what the file holds
    QCOMPARE(w.windowTitle(), QStringLiteral("walk.VLB - Pivora J"));

    TPivora3 opened({kWave});
    QCOMPARE(opened.windowTitle(), QStringLiteral("wave.vlb - Pivora J"));
    // While the board is talked to the caption says so after the title.
    opened.ui().setBusy(true);
    QCOMPARE(opened.windowTitle(), QStringLiteral("wave.vlb - Pivora J [通信中]"));
    opened.ui().setBusy(false);
    QCOMPARE(opened.windowTitle(), QStringLiteral("wave.vlb - Pivora J"));
  }

  void theQuitQuestionSaysWhenChangesAreUnsaved() {
    TPivora3 w;
    QCOMPARE(w.quitQuestion(), QStringLiteral("終了して構いませんでしょうか？"));
    place(w, w.SetItem1Btn, QPoint(40, 40));
    QString asked;
    setDialogAnswerer([&asked](QDialog& d) {
      auto* box = qobject_cast<QMessageBox*>(&d);
      QVERIFY(box);
      asked = box->text();
      box->button(QMessageBox::No)->click();
    });
    w.show();
    QVERIFY(!w.close());
    QCOMPARE(asked,
             QStringLiteral("保存されていない変更があります。\n終了して構いませんでしょうか？"));
  }

  void openedAndSavedChartsAreRecent() {
    // The desktop keeps a list here, with another program's entry in it.
    QVERIFY(QDir().mkpath(path(QStringLiteral("data"))));
    const QString xbel = path(QStringLiteral("data/recently-used.xbel"));
    QVERIFY(writeTextFile(xbel.toStdString(),
                          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\"\n"
                          "      xmlns:bookmark=\"http://www.freedesktop.org/standards/"
                          "desktop-bookmarks\"\n      xmlns:mime=\"http://www.freedesktop.org/"
                          "standards/shared-mime-info\"\n>\n  <bookmark href=\"file:///tmp/"
                          "notes.txt\" added=\"2024-01-01T10:00:00Z\" modified=\"2024-01-01T10:"
                          "00:00Z\" visited=\"2024-01-01T10:00:00Z\">\n  </bookmark>\n</xbel>\n")
                .ok());
    {
      TPivora3 w({kWave});
      answerSaveWith(path(QStringLiteral("copy")));
      w.SaveBtnClick();
      const QList<QAction*> entries = w.recentMenu->actions();
      QCOMPARE(entries.size(), 2);
      QCOMPARE(entries.at(0)->text(), QStringLiteral("copy.VLB"));
      QCOMPARE(entries.at(1)->text(), QStringLiteral("wave.vlb"));
      auto* openButton = w.fileBar->findChild<QToolButton*>(QStringLiteral("OpenBtn"));
      QVERIFY(openButton);
      QCOMPARE(openButton->menu(), w.recentMenu);
    }
    // The next run has the list, and a chart from it opens.
    TPivora3 again;
    const QList<QAction*> entries = again.recentMenu->actions();
    QCOMPARE(entries.size(), 2);
    entries.at(1)->trigger();
    QCOMPARE(again.chart().itemCount(), 3);
    QCOMPARE(again.windowTitle(), QStringLiteral("wave.vlb - Pivora J"));

    const QString list = QString::fromStdString(readFileBytes(xbel.toStdString()).value());
    QVERIFY(list.contains(QStringLiteral("href=\"file:///tmp/notes.txt\"")));
    QCOMPARE(list.count(QStringLiteral("<bookmark href=\"file://") +
                        QUrl::toPercentEncoding(QFileInfo(kWave).absoluteFilePath(), "/")),
             1);  // opened twice, listed once
    QVERIFY(list.contains(QStringLiteral("copy.VLB\"")));
    QVERIFY(list.contains(QStringLiteral("application/x-pivora-chart")));
    QVERIFY(list.contains(QStringLiteral("bookmark:application name=\"Pivora J\"")));
  }

  void withoutADesktopListNoneIsMade() {
    const QString xbel = path(QStringLiteral("data/recently-used.xbel"));
    QVERIFY(!addToDesktopRecentList(kWave, xbel));
    QVERIFY(!QFile::exists(xbel));
    QVERIFY(QDir().mkpath(path(QStringLiteral("data"))));
    QVERIFY(writeTextFile(xbel.toStdString(), "<notxbel/>").ok());
    QVERIFY(!addToDesktopRecentList(kWave, xbel));  // not the desktop's list: left alone
    QCOMPARE(readFileBytes(xbel.toStdString()).value(), std::string("<notxbel/>"));
  }

  void aChangeIsAutosavedAndANormalEndRemovesIt() {
    {
      TPivora3 w;
      w.autosaveTimer->setInterval(1);
      place(w, w.SetItem1Btn, QPoint(40, 40));
      QVERIFY(w.autosaveTimer->isActive());
      QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(autosaveFile()), kWaitMs);
      w.autosaveWriter().wait();
      Chart back;
      ClientArea client;
      QVERIFY(readChartFile(back, client, autosaveFile().toStdString(), w.ui()).opened);
      QCOMPARE(back.itemCount(), 1);
    }
    QVERIFY(!QFile::exists(autosaveFile()));
  }

  void aBoardWriteAutosavesFirst() {
    TPivora3 w;
    new BoardActions(w, path(QStringLiteral("socket")));
    place(w, w.SetItem1Btn, QPoint(40, 40));
    QVERIFY(!QFile::exists(autosaveFile()));
    w.MotWriteBtn->trigger();  // no board: the write itself goes nowhere
    w.autosaveWriter().wait();
    QVERIFY(QFile::exists(autosaveFile()));
  }

  void aCrashedRunsChartIsOfferedAndYesOpensIt() {
    // What a run that was killed leaves: the autosave, and nothing that says it ended normally.
    Chart left;
    left.createItem(kItemPos, 30, 30);
    left.createItem(kItemCmp, 130, 30);
    left.Name = "LEFT";
    QVERIFY(QDir().mkpath(QFileInfo(autosaveFile()).path()));
    QVERIFY(writeChartFile(left, autosaveFile().toStdString()).ok());

    TPivora3 w({kWave});
    QString asked;
    setDialogAnswerer([&asked](QDialog& d) {
      auto* box = qobject_cast<QMessageBox*>(&d);
      QVERIFY(box);
      asked = box->text();
      box->button(QMessageBox::Yes)->click();
    });
    QVERIFY(w.offerRecovery());
    QVERIFY(asked.startsWith(QStringLiteral("前回の編集内容が残っています。復元しますか？")));
    QVERIFY(asked.contains(
        QFileInfo(autosaveFile()).lastModified().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"))));
    QCOMPARE(w.chart().itemCount(), 2);
    QCOMPARE(w.chart().Name, std::string("LEFT"));
    QCOMPARE(w.windowTitle(), QStringLiteral("無題* - Pivora J"));  // unsaved, no file
    QVERIFY(w.history().modified());
    // Undo gives back the chart that was open before.
    w.UndoBtnClick();
    QCOMPARE(w.chart().itemCount(), 3);
    QCOMPARE(w.windowTitle(), QStringLiteral("wave.vlb - Pivora J"));
  }

  void noMovesTheLeftChartAside() {
    QVERIFY(QDir().mkpath(QFileInfo(autosaveFile()).path()));
    Chart left;
    left.createItem(kItemPos, 30, 30);
    QVERIFY(writeChartFile(left, autosaveFile().toStdString()).ok());
    TPivora3 w;
    setDialogAnswerer(
        [](QDialog& d) { qobject_cast<QMessageBox*>(&d)->button(QMessageBox::No)->click(); });
    QVERIFY(!w.offerRecovery());
    QCOMPARE(w.chart().itemCount(), 0);
    QVERIFY(!QFile::exists(autosaveFile()));
    const QStringList kept =
        QDir(QFileInfo(autosaveFile()).path() + QStringLiteral("/kept")).entryList(QDir::Files);
    QCOMPARE(kept.size(), 1);
    QVERIFY(w.statusLine->text().contains(kept.first()));
    // Nothing is offered at the next start.
    TPivora3 next;
    QVERIFY(!next.offerRecovery());
  }
};

PVRJ_REGISTER_QTEST(EditingSafetyTest);

#include "EditingSafetyTest.moc"
