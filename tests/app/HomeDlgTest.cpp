// Window tests of the trim dialog: the rows found by name, opening and closing with the board,
// live moves, the position editor's arrangement, loading and saving trim files.
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "QtTestRunner.h"
#include "common/FileIo.h"
#include "tests/app/ToolDialogRig.h"
#include "tools/HomeDlg_u.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

class HomeDlgTest : public QObject {
  Q_OBJECT
 private:
  struct Rig : test::ToolDialogRig {
    THomeDlg dialog{link, ui};
    int shown = 0;
    // Closes the dialog once it shows, after running what the user does.
    void answer(std::function<void(THomeDlg&)> user = {}) {
      setDialogAnswerer([this, user](QDialog& d) {
        ++shown;
        if (user) user(dialog);
        d.reject();
      });
    }
  };

 private slots:
  void cleanup() { setDialogAnswerer(nullptr); }

  void findsTheRowsByNameWithTheirRangesAndTags() {
    Rig r;
    QCOMPARE(r.dialog.windowTitle(), QString("HomeDlg"));
    for (int n = 1; n <= kTrimRows; ++n) {
      const std::size_t k = static_cast<std::size_t>(n - 1);
      QCOMPARE(r.dialog.Label[k]->objectName(), QString("Label%1").arg(n));
      QCOMPARE(r.dialog.Label[k]->text(), QString("CH%1").arg(n));
      QCOMPARE(r.dialog.Edit[k]->text(), QString("0"));
      QCOMPARE(r.dialog.Edit[k]->property("tag").toInt(), n);
      QCOMPARE(r.dialog.Scroll[k]->property("tag").toInt(), n);
      QCOMPARE(r.dialog.Scroll[k]->minimum(), 16039);
      QCOMPARE(r.dialog.Scroll[k]->maximum(), 16729);
      QCOMPARE(r.dialog.Scroll[k]->value(), 16384);
      QCOMPARE(r.dialog.Edit[k]->parentWidget(), r.dialog.Panel[k]);
    }
    QCOMPARE(r.dialog.OpenBtn->toolTip(), QString("ロードボタン"));
    QCOMPARE(r.dialog.SaveBtn->toolTip(), QString("セーブボタン"));
    QCOMPARE(r.dialog.OpenBtn->parentWidget(), r.dialog.Panel26);
  }

  void opensWithTheStoredTrimsAndWritesTheBarsOnClosing() {
    Rig r;
    r.board().memory().stored.trims[1] = 16000;  // below the range: true offset, bar at the bound
    r.board().memory().stored.trims[2] = 16500;
    r.answer([&](THomeDlg& d) {
      QVERIFY(!r.asleep());  // awake while the user works
      QCOMPARE(d.Edit[1]->text(), QString("-384"));
      QCOMPARE(d.Scroll[1]->value(), 16039);
      QCOMPARE(d.Edit[2]->text(), QString("116"));
      d.ScrollScroll(4, 16400);
      QCOMPARE(d.Edit[3]->text(), QString("16"));
      QCOMPARE(r.board().live().working.trims[3], std::uint16_t{16400});
    });
    QVERIFY(r.dialog.execute());
    QCOMPARE(r.shown, 1);
    const auto& stored = r.board().memory().stored.trims;
    QCOMPARE(stored[1], std::uint16_t{16039});
    QCOMPARE(stored[2], std::uint16_t{16500});
    QCOMPARE(stored[3], std::uint16_t{16400});
    QVERIFY(!r.asleep());
  }

  void aFailedReadShowsNothingAndLeavesTheBoardAsleep() {
    Rig r;
    r.failExchange(test::kSleepExchanges);
    r.answer();
    QVERIFY(!r.dialog.execute());
    QCOMPARE(r.shown, 0);
    QVERIFY(r.asleep());
    QVERIFY(r.ui.messages.empty());
  }

  void draggingTheBarSendsEveryPosition() {
    Rig r;
    r.dialog.show();
    QScrollBar* bar = r.dialog.Scroll[0];
    const std::uint64_t before = r.board().requestCount();
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(r.dialog.Edit[0]->text(), QString("2"));
    QCOMPARE(r.board().live().working.trims[0], std::uint16_t{16386});
    QCOMPARE(r.board().requestCount(), before + 2);
  }

  void enterTakesTheTypedOffsetAndKeepsItWithinTheRange() {
    Rig r;
    r.dialog.Edit[5]->setText("-100");
    QTest::keyClick(r.dialog.Edit[5], Qt::Key_Return);
    QCOMPARE(r.dialog.Scroll[5]->value(), 16284);
    QCOMPARE(r.board().live().working.trims[5], std::uint16_t{16284});
    r.dialog.Edit[5]->setText("abc");
    r.dialog.EditKeyDown(6, 13);
    QCOMPARE(r.dialog.Edit[5]->text(), QString("-100"));
    QCOMPARE(r.board().live().working.trims[5], std::uint16_t{16284});
    r.dialog.Edit[5]->setText("900");
    r.dialog.EditKeyDown(6, 13);
    QCOMPARE(r.dialog.Edit[5]->text(), QString("345"));
    QCOMPARE(r.board().live().working.trims[5], std::uint16_t{16729});
  }

  void copiesThePositionEditorsArrangement() {
    Rig r;
    EditorArrangement a;
    a.desktop = DesktopSettings::defaults();
    a.desktop.clientWidth = 600;
    a.desktop.clientHeight = 400;
    a.desktop.channels[4].place = {false, 10, 20, 255};
    a.desktop.channels[6].place = {true, 300, 40, 255};
    a.desktop.lower[kCommandPanel] = {true, 254, 312, 0};
    for (int ch = 0; ch < kChannelCount; ++ch) {
      a.labels[static_cast<std::size_t>(ch)] = {"CH" + std::to_string(ch + 1), 0xC0C0C0, 0};
    }
    a.labels[6] = {"Elbow", 0x0000FF, 0xFFFFFF};
    a.toolPanelColor = 0x00FF00;
    r.dialog.arrangement = [a] { return a; };
    r.answer([&](THomeDlg& d) {
      QVERIFY(d.Panel[4]->isHidden());
      QCOMPARE(d.Panel[6]->pos(), QPoint(300, 40));
      QCOMPARE(d.Label[6]->text(), QString("Elbow"));
      QCOMPARE(d.Label[6]->palette().color(QPalette::WindowText), QColor(255, 255, 255));
      QCOMPARE(d.Panel[6]->palette().color(QPalette::Window), QColor(255, 0, 0));
      QCOMPARE(d.Panel26->pos(), QPoint(254, 312));
      QCOMPARE(d.Panel26->palette().color(QPalette::Window), QColor(0, 255, 0));
      QCOMPARE(d.size(), QSize(600, 400));
    });
    QVERIFY(r.dialog.execute());
    QCOMPARE(r.shown, 1);
  }

  void aTrimFileWithoutCh5ChangesNothingAndSendsNothing() {
    Rig r;
    QTemporaryDir dir;
    std::string text = "[TrimData]\r\n";
    for (int n = 1; n <= 24; ++n)
      if (n != 5) text += "CH" + std::to_string(n) + "=16000\r\n";
    const QString path = dir.filePath("t.VLB");
    QVERIFY(writeTextFile(path.toStdString(), text));
    r.dialog.chooseOpenPath = [path] { return path; };
    const std::uint64_t before = r.board().handshakeCount();
    r.dialog.OpenBtnClick();
    QCOMPARE(r.ui.messages.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(r.ui.messages[0].text),
             QString("指定のファイルは使用できません"));
    QCOMPARE(r.ui.messages[0].kind, int{kMsgWarning});
    QCOMPARE(r.dialog.Edit[0]->text(), QString("0"));
    QCOMPARE(r.board().handshakeCount(), before);
  }

  void aLoadedFileShowsAndGoesToTheWorkingCopy() {
    Rig r;
    QTemporaryDir dir;
    std::string text = "[TrimData]\r\n";
    for (int n = 1; n <= 24; ++n) text += "CH" + std::to_string(n) + "=16400\r\n";
    const QString path = dir.filePath("t.VLB");
    QVERIFY(writeTextFile(path.toStdString(), text));
    r.dialog.chooseOpenPath = [path] { return path; };
    r.dialog.OpenBtnClick();
    QCOMPARE(r.dialog.Edit[23]->text(), QString("16"));
    QCOMPARE(r.board().live().working.trims[23], std::uint16_t{16400});
    QCOMPARE(r.board().memory().stored.trims[23], std::uint16_t{16384});
    QVERIFY(!r.asleep());
    // Cancelling the file dialog does nothing.
    r.dialog.chooseOpenPath = [] { return QString(); };
    r.dialog.OpenBtnClick();
    QVERIFY(r.ui.messages.empty());
  }

  void savingUnderTheChartFilterGivesTheChartExtension() {
    Rig r;
    QTemporaryDir dir;
    r.dialog.ScrollScroll(1, 16039);
    r.dialog.chooseSavePath = [&dir](bool& chartFilter) {
      chartFilter = true;
      return dir.filePath("trims.txt");
    };
    r.dialog.SaveBtnClick();
    QVERIFY(!QFile::exists(dir.filePath("trims.txt")));
    Result<std::string> saved = readTextFile(dir.filePath("trims.VLB").toStdString());
    QVERIFY(saved.ok());
    QVERIFY(saved.value().rfind("[TrimData]\r\nCH1=16039\r\n", 0) == 0);
    r.dialog.chooseSavePath = [&dir](bool& chartFilter) {
      chartFilter = false;
      return dir.filePath("trims.txt");
    };
    r.dialog.SaveBtnClick();
    QVERIFY(QFile::exists(dir.filePath("trims.txt")));
  }
};

}  // namespace

PVRJ_REGISTER_QTEST(HomeDlgTest);
#include "HomeDlgTest.moc"
