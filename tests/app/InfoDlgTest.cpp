// Window tests of the information window: name, edition and banner, the board's four lines read
// at every activation, the link's hover look and its double click, and the main window's button.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <utility>

#include "QtTestRunner.h"
#include "app/Main_u.h"
#include "app/PrefsActions.h"
#include "board/VirtualBoardPort.h"
#include "prefs/InfoDlg_u.h"
#include "prefs/ProgramIcon.h"
#include "protocol/BoardLink.h"
#include "tests/support/FakeUserInterface.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

struct Rig {
  board::VirtualBoardPort port;
  test::FakeUserInterface ui;
  BoardLink link{port, ui};
  TInfoDlg dialog{&link};

  void boardText(const std::string& text) {
    auto& info = port.board().memory().infoText;
    info.fill(0);
    std::copy(text.begin(), text.end(), info.begin());
  }
};

class InfoDlgTest : public QObject {
  Q_OBJECT
 private slots:
  void nameEditionBannerAndLink() {
    Rig r;
    QCOMPARE(r.dialog.objectName(), QString("InfoDlg"));
    QCOMPARE(r.dialog.windowTitle(), QString("Information"));
    QCOMPARE(r.dialog.Label1->text(), QString("ProgramName"));
    QCOMPARE(r.dialog.VersionLabel->text(), QString("Pivora Type3J\n2006/06/16 版"));
    QCOMPARE(r.dialog.Label2->text(), QString("FacePlate"));
    QCOMPARE(r.dialog.URL_Label->text(), QString(kProjectPage));
    QCOMPARE(r.dialog.Image1->pixmap().size(), QSize(285, 60));
    QVERIFY(!programIcon().isNull());
    QCOMPARE(programIcon().availableSizes().size(), qsizetype(8));
  }

  void theBoardsLinesOfSixteen() {
    Rig r;
    r.boardText("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    r.dialog.FormActivate();
    QCOMPARE(r.dialog.StaticText1->text(), QString("ABCDEFGHIJKLMNOP\nQRSTUVWXYZ\n\n"));
    r.boardText("Pivora J virtualboard, 24 ch    115200 bit/s    firmware 1.00   ");
    r.dialog.FormActivate();
    QCOMPARE(r.dialog.StaticText1->text(),
             QString("Pivora J virtual\nboard, 24 ch    \n115200 bit/s    \nfirmware 1.00   "));
  }

  void withoutABoardTheTextIsEmpty() {
    Rig r;
    r.dialog.FormActivate();
    QVERIFY(!r.dialog.StaticText1->text().trimmed().isEmpty());
    r.port.Close();
    r.dialog.FormActivate();
    QCOMPARE(r.dialog.StaticText1->text(), QString("\n\n\n"));
    TInfoDlg unlinked(nullptr);
    unlinked.FormActivate();
    QCOMPARE(unlinked.StaticText1->text(), QString("\n\n\n"));
    QCOMPARE(unlinked.VersionLabel->text(), QString("Pivora Type3J\n2006/06/16 版"));
  }

  void everyActivationReadsTheBoardAgain() {
    Rig r;
    QWidget other;
    other.show();
    r.boardText("FIRST");
    r.dialog.show();
    QApplication::setActiveWindow(&r.dialog);
    QVERIFY(QTest::qWaitFor([&] { return r.dialog.StaticText1->text().startsWith("FIRST"); }));
    r.boardText("SECOND");
    QApplication::setActiveWindow(&other);
    QVERIFY(QTest::qWaitFor([&] { return other.isActiveWindow(); }));
    QApplication::setActiveWindow(&r.dialog);
    QVERIFY(QTest::qWaitFor([&] { return r.dialog.StaticText1->text().startsWith("SECOND"); }));
    r.dialog.hide();
  }

  void anActivationDuringAnotherExchangeKeepsTheText() {
    // A user interface that activates the window while the link waits for a reply.
    struct ActivatingUi : test::FakeUserInterface {
      std::function<void()> duringWait;
      void processEvents() override {
        FakeUserInterface::processEvents();
        if (duringWait) std::exchange(duringWait, nullptr)();
      }
    } ui;
    board::VirtualBoardPort port;
    port.board().setPacing(true);  // replies take their wire time, so reads wait
    BoardLink link(port, ui);
    TInfoDlg dialog(&link);
    dialog.FormActivate();
    const QString before = dialog.StaticText1->text();
    QVERIFY(before.startsWith("Pivora J virtual"));
    bool activated = false;
    ui.duringWait = [&] {
      activated = true;
      dialog.FormActivate();
    };
    std::uint16_t word = 0;
    QVERIFY(link.CmdReadOptions(WorkingCopy, word));
    QVERIFY(activated);
    QCOMPARE(dialog.StaticText1->text(), before);
  }

  void theLinkLightsUpAndOpensThePage() {
    Rig r;
    QUrl opened;
    r.dialog.openUrl = [&](const QUrl& url) { opened = url; };
    const QColor resting = r.dialog.URL_Label->palette().color(QPalette::WindowText);
    QCOMPARE(resting, QColor(0, 0, 0));
    QVERIFY(!r.dialog.URL_Label->font().underline());
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(r.dialog.URL_Label, &enter);
    QCOMPARE(r.dialog.URL_Label->palette().color(QPalette::WindowText), QColor(255, 0, 255));
    QVERIFY(r.dialog.URL_Label->font().underline());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(r.dialog.URL_Label, &leave);
    QCOMPARE(r.dialog.URL_Label->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    QVERIFY(!r.dialog.URL_Label->font().underline());
    r.dialog.show();
    QTest::mouseDClick(r.dialog.URL_Label, Qt::LeftButton);
    QCOMPARE(opened, QUrl(kProjectPage));
    r.dialog.hide();
  }

  void informationButtonShowsTheWindowWithoutBlocking() {
    QTemporaryDir settings;
    qputenv("PVRJ_SETTINGS_DIR", settings.path().toUtf8());
    {
      TPivora3 w;
      auto* actions = new PrefsActions(w);
      QCOMPARE(w.InfoBtn->toolTip(), QString("インフォメーションボタン"));
      w.InfoBtn->trigger();
      QVERIFY(actions->infoDlg().isVisible());
      QVERIFY(!actions->infoDlg().isModal());
      // No board on the port: the board's text is empty, the rest shows as usual.
      QVERIFY(QTest::qWaitFor([&] { return actions->infoDlg().isActiveWindow(); }));
      QCOMPARE(actions->infoDlg().StaticText1->text(), QString("\n\n\n"));
      // The main window hides it when it becomes active.
      w.show();
      QApplication::setActiveWindow(&w);
      QVERIFY(QTest::qWaitFor([&] { return !actions->infoDlg().isVisible(); }));
    }
    qunsetenv("PVRJ_SETTINGS_DIR");
  }
};

}  // namespace

PVRJ_REGISTER_QTEST(InfoDlgTest);
#include "InfoDlgTest.moc"
