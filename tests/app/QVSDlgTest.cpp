// Window tests of the servo-bus dialog and the servo parameter dialog on the in-process virtual
// board: rows, reading, editing by double click, copying by dropping, the mode warning, the
// stored servo-bus bit around the dialog and the dialog disabled while servos are talked to.
#include <QAction>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>

#include "QtTestRunner.h"
#include "app/Main_u.h"
#include "app/PrefsActions.h"
#include "board/VirtualBoardPort.h"
#include "protocol/BoardLink.h"
#include "tests/support/FakeUserInterface.h"
#include "tools/QVSDlg_u.h"
#include "tools/QVSPrm_u.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

// Servos on channels 1, 3 and 24; the board powered on in servo-bus mode unless told.
struct Rig {
  board::VirtualBoardPort port;
  test::FakeUserInterface ui;
  BoardLink link{port, ui};
  TQVSPrm prm;
  TQVSDlg dialog{link, ui, prm};

  explicit Rig(bool servoBusMode = true) {
    board().memory().qvsMask = {0x05, 0x00, 0x80};
    if (servoBusMode) board().memory().stored.options |= kOptionQvsMode;
    board().powerCycle();
    dialog.channelName = [](int ch) {
      return ch == 3 ? std::string("腕") : "CH" + std::to_string(ch);
    };
  }
  board::VirtualBoard& board() { return port.board(); }
  ServoBlock stored(int row) { return board().memory().qvsParams[static_cast<std::size_t>(row)]; }
  QString cell(int row, int column) const {
    return dialog.QVSList->topLevelItem(row)->text(column);
  }
  void select(int row) { dialog.QVSList->setCurrentItem(dialog.QVSList->topLevelItem(row)); }
  void failNext(const board::Fault& fault) {
    board().injectFaultAt(board().handshakeCount(), fault);
  }
  bool storedBit() { return (board().memory().stored.options & kOptionQvsMode) != 0; }
};

class QVSDlgTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { setDialogAnswerer(nullptr); }

  void parameterDialogControls() {
    TQVSPrm prm;
    QCOMPARE(prm.objectName(), QString("QVSPrm"));
    const char* names[] = {"Stretch1", "Stretch2",  "Stretch3", "Speed1",    "Speed2",
                           "Speed3",   "Punch",     "DeadBand", "Damping",   "Reverse",
                           "ProtecP",  "PowFreeP",  "LimitL",   "LimitR",    "Edit7",
                           "Edit8",    "GainPanel", "PunchPn",  "ProtecPnP", "PowFreePnP"};
    for (const char* name : names) QVERIFY2(prm.findChild<QWidget*>(name), name);
    QCOMPARE(prm.Label8->text(), QString("ストレッチ"));
    QCOMPARE(prm.Label10->text(), QString("脱力タイマー"));
    QCOMPARE(prm.Label11->text(), QString("リミッタ(L)"));
    QCOMPARE(prm.Punch->count(), 10);
    QCOMPARE(prm.Punch->itemText(9), QString("10 (HIGH)"));
    QCOMPARE(prm.Punch->maxVisibleItems(), 10);
    QCOMPARE(prm.PowFreeP->itemText(1), QString("2 (MID)"));
    QCOMPARE(prm.LimitL->maximum(), 60);
    QVERIFY(prm.Edit7->isReadOnly());
    QVERIFY(!prm.Reverse->isEditable());
  }

  void limitEditsFollowTheirBars() {
    TQVSPrm prm;
    prm.LimitL->setValue(25);
    QCOMPARE(prm.Edit7->text(), QString("25"));
    prm.LimitR->setValue(60);
    QCOMPARE(prm.Edit8->text(), QString("60"));
    QCOMPARE(prm.Edit7->text(), QString("25"));
  }

  void parameterDialogShowsAndCollectsABlock() {
    TQVSPrm prm;
    ServoBlock block{0x11, 2, 3, 10, 5, 2, 1, 0xF0, 0x06, 0x72, 0x02, 0x58, 100, 0, 1, 9, 2};
    prm.LoadServoParameters(block);
    QCOMPARE(prm.PowFreeP->currentText(), QString("2 (MID)"));
    QCOMPARE(prm.Stretch[2]->currentText(), QString("1 (SOFT)"));  // 9 is beyond the list
    QCOMPARE(prm.Reverse->currentText(), QString("OFF"));
    QCOMPARE(prm.LimitL->value(), 0);  // 1650
    QCOMPARE(prm.Edit7->text(), QString("0"));
    QCOMPARE(prm.LimitR->value(), 60);  // 600
    QCOMPARE(prm.Edit8->text(), QString("60"));
    prm.Reverse->setCurrentIndex(1);
    ServoBlock out = block;
    prm.CollectServoParameters(out);
    const ServoBlock expected{0x11, 2,    3,    10,  5, 2, 1, 0xF1, 0x06,
                              0xA4, 0x02, 0xBC, 100, 1, 1, 1, 2};
    QCOMPARE(out, expected);
  }

  void listHasItsColumnsAndRows() {
    Rig r;
    QCOMPARE(r.dialog.windowTitle(), QString("QVS"));
    QCOMPARE(r.dialog.QVSList->columnCount(), 18);
    QCOMPARE(r.dialog.QVSList->headerItem()->text(0), QString("No"));
    QCOMPARE(r.dialog.QVSList->headerItem()->text(16), QString("Limit(R)"));
    QCOMPARE(r.dialog.QVSList->headerItem()->text(17), QString("OffSet"));
    QCOMPARE(r.dialog.SioReadBtn->toolTip(), QString("読込ボタン"));
    QVERIFY(r.dialog.Panel7->findChild<QWidget*>("SioReadBtn"));
    QVERIFY(r.dialog.LoadServoBusChannels());
    r.dialog.ShowServoBusChannels();
    QCOMPARE(r.dialog.QVSList->topLevelItemCount(), 24);
    QCOMPARE(r.cell(0, 0), QString("1"));
    QCOMPARE(r.cell(0, 2), QString("PWM"));
    QCOMPARE(r.cell(1, 1), QString("CH2"));
    QCOMPARE(r.cell(1, 2), QString());
    QCOMPARE(r.cell(2, 1), QString("腕"));
    QCOMPARE(r.cell(23, 2), QString("PWM"));
    QCOMPARE(r.cell(23, 3), QString());
  }

  void theStoredBitIsSetWhileTheDialogIsOpen() {
    Rig r(false);
    bool bitWhileOpen = false;
    int rows = 0;
    setDialogAnswerer([&](QDialog& d) {
      bitWhileOpen = r.storedBit();
      rows = r.dialog.QVSList->topLevelItemCount();
      d.reject();
    });
    QVERIFY(r.dialog.openFromMainWindow());
    QVERIFY(bitWhileOpen);
    QCOMPARE(rows, 24);
    QVERIFY(!r.storedBit());
  }

  void readingInNormalModeWarnsOnceAndKeepsTheList() {
    Rig r(false);
    QVERIFY(r.dialog.LoadServoBusChannels());
    r.dialog.ShowServoBusChannels();
    r.dialog.QVSList->topLevelItem(0)->setText(5, "kept");
    r.dialog.SioReadBtnClick();
    QCOMPARE(r.ui.messages.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(r.ui.messages[0].text),
             QString("電源を再投入してＱＶＳモードに切り替えてください"));
    QCOMPARE(r.ui.messages[0].kind, int(kMsgWarning));
    QCOMPARE(r.cell(0, 5), QString("kept"));
  }

  void readingFillsTheServoRows() {
    Rig r;
    QVERIFY(r.dialog.LoadServoBusChannels());
    r.board().memory().qvsParams[23][kServoPunch] = 8;
    // The mode test, then channel 1's servo, which answers with a broken reply.
    r.board().injectFaultAt(r.board().handshakeCount() + 1, board::Fault::wrongChecksum());
    r.dialog.SioReadBtnClick();
    QVERIFY(r.dialog.isEnabled());
    QCOMPARE(r.dialog.QVSList->topLevelItemCount(), 24);
    QCOMPARE(r.cell(0, 2), QString("PWM"));
    QCOMPARE(r.cell(0, 3), QString());  // its read failed
    QCOMPARE(r.cell(2, 2), QString("PWM"));
    QCOMPARE(r.cell(2, 14), QString("2"));  // power-free 100
    QCOMPARE(r.cell(23, 9), QString("8"));
    QCOMPARE(r.cell(5, 0), QString("6"));
    QCOMPARE(r.cell(5, 2), QString());
    QVERIFY(r.ui.messages.empty());
  }

  void doubleClickEditsAndWritesTheServo() {
    Rig r;
    QVERIFY(r.dialog.LoadServoBusChannels());
    r.dialog.ShowServoBusChannels();
    r.select(2);
    QString caption;
    bool listEnabled = true;
    setDialogAnswerer([&](QDialog& d) {
      auto& prm = static_cast<TQVSPrm&>(d);
      caption = prm.windowTitle();
      listEnabled = r.dialog.isEnabled();
      prm.Punch->setCurrentIndex(9);
      prm.LimitL->setValue(60);
      d.reject();  // closing the window: still written
    });
    const ServoBlock before = r.stored(2);
    r.dialog.QVSListDblClick();
    QCOMPARE(caption, QString("3:腕"));
    QVERIFY(!listEnabled);
    QVERIFY(r.dialog.isEnabled());
    ServoBlock expected = before;
    expected[kServoPunch] = 10;
    expected[kServoLimitL] = 0x08;  // 2300
    expected[kServoLimitL + 1] = 0xFC;
    QCOMPARE(r.stored(2), expected);
    QCOMPARE(r.cell(2, 9), QString("10"));
    QCOMPARE(r.cell(2, 15), QString("60"));
  }

  void aFailedWriteLeavesTheRowShowingWhatWasSent() {
    Rig r;
    QVERIFY(r.dialog.LoadServoBusChannels());
    r.dialog.ShowServoBusChannels();
    r.select(0);
    setDialogAnswerer([&](QDialog& d) {
      static_cast<TQVSPrm&>(d).Punch->setCurrentIndex(0);
      r.failNext(board::Fault::noHandshake());
      d.reject();
    });
    const ServoBlock before = r.stored(0);
    r.dialog.QVSListDblClick();
    QCOMPARE(r.stored(0), before);
    QCOMPARE(r.cell(0, 9), QString("1"));
    QVERIFY(r.ui.messages.empty());
    QVERIFY(r.dialog.isEnabled());
  }

  void doubleClickOnAnOrdinaryChannelOnlyTestsTheMode() {
    Rig r(false);
    QVERIFY(r.dialog.LoadServoBusChannels());
    r.dialog.ShowServoBusChannels();
    r.select(1);
    bool opened = false;
    setDialogAnswerer([&](QDialog& d) {
      opened = true;
      d.reject();
    });
    const auto handshakes = r.board().handshakeCount();
    r.dialog.QVSListDblClick();
    QCOMPARE(r.ui.messages.size(), std::size_t{1});  // the mode warning
    QCOMPARE(r.board().handshakeCount(), handshakes + 1);
    QVERIFY(!opened);

    Rig inMode;
    QVERIFY(inMode.dialog.LoadServoBusChannels());
    inMode.dialog.ShowServoBusChannels();
    inMode.select(1);
    const auto before = inMode.board().handshakeCount();
    inMode.dialog.QVSListDblClick();
    QCOMPARE(inMode.board().handshakeCount(), before + 1);
    QVERIFY(!opened);
  }

  void aFailedReadOpensNothing() {
    Rig r;
    QVERIFY(r.dialog.LoadServoBusChannels());
    r.dialog.ShowServoBusChannels();
    r.select(23);
    bool opened = false;
    setDialogAnswerer([&](QDialog& d) {
      opened = true;
      d.reject();
    });
    r.board().injectFaultAt(r.board().handshakeCount() + 1, board::Fault::shortReply(10));
    r.dialog.QVSListDblClick();
    QVERIFY(!opened);
    QVERIFY(r.dialog.isEnabled());
  }

  void dragOverAcceptsOnlyServoRowsOfThisList() {
    Rig r;
    QVERIFY(r.dialog.LoadServoBusChannels());
    r.dialog.ShowServoBusChannels();
    r.select(0);
    QVERIFY(r.dialog.QVSListDragOver(true, 2));
    QVERIFY(r.dialog.QVSListDragOver(true, 0));
    QVERIFY(!r.dialog.QVSListDragOver(true, 1));
    QVERIFY(!r.dialog.QVSListDragOver(true, -1));
    QVERIFY(!r.dialog.QVSListDragOver(false, 2));
    r.select(1);
    QVERIFY(!r.dialog.QVSListDragOver(true, 2));
  }

  void dropCopiesTheDraggedServo() {
    Rig r;
    QVERIFY(r.dialog.LoadServoBusChannels());
    r.dialog.ShowServoBusChannels();
    r.board().memory().qvsParams[0][kServoPunch] = 9;
    r.board().memory().qvsParams[0][kServoDamping] = 2;
    r.select(0);
    const auto handshakes = r.board().handshakeCount();
    r.dialog.QVSListDragDrop(23);
    QCOMPARE(r.board().handshakeCount(), handshakes + 3);  // no mode test
    QCOMPARE(r.stored(23)[kServoPunch], std::uint8_t{9});
    QCOMPARE(r.stored(23)[kServoDamping], std::uint8_t{2});
    QCOMPARE(r.stored(23)[0], std::uint8_t{24});  // the target keeps its own first byte
    QCOMPARE(r.cell(23, 9), QString("9"));
    QVERIFY(r.dialog.isEnabled());
  }

  void dropAfterAFailedReadChangesNothing() {
    Rig r;
    QVERIFY(r.dialog.LoadServoBusChannels());
    r.dialog.ShowServoBusChannels();
    r.select(0);
    const ServoBlock before = r.stored(2);
    r.failNext(board::Fault::wrongChecksum());
    r.dialog.QVSListDragDrop(2);
    QCOMPARE(r.stored(2), before);
    QCOMPARE(r.cell(2, 9), QString());
    QVERIFY(r.dialog.isEnabled());
  }

  void servoBusButtonWithoutABoardShowsNothing() {
    QTemporaryDir settings;
    qputenv("PVRJ_SETTINGS_DIR", settings.path().toUtf8());
    {
      TPivora3 w;
      auto* actions = new PrefsActions(w);
      QCOMPARE(w.QVSBtn->toolTip(), QString("ＱＶＳボタン"));
      bool shown = false;
      setDialogAnswerer([&](QDialog& d) {
        shown = true;
        d.reject();
      });
      w.QVSBtn->trigger();  // the port is "OFF": the mask cannot be read
      QVERIFY(!shown);
      QVERIFY(actions->qvsDlg().isHidden());
    }
    qunsetenv("PVRJ_SETTINGS_DIR");
  }

  void aDropFromElsewhereIsRefused() {
    Rig r;
    QVERIFY(r.dialog.LoadServoBusChannels());
    r.dialog.ShowServoBusChannels();
    r.dialog.show();
    r.select(0);
    QMimeData data;
    data.setText("x");
    const QRect target = r.dialog.QVSList->visualItemRect(r.dialog.QVSList->topLevelItem(2));
    QDropEvent drop(QPointF(target.center()), Qt::CopyAction, &data, Qt::LeftButton,
                    Qt::NoModifier);
    const auto handshakes = r.board().handshakeCount();
    QCoreApplication::sendEvent(r.dialog.QVSList->viewport(), &drop);
    QVERIFY(!drop.isAccepted());
    QCOMPARE(r.board().handshakeCount(), handshakes);
    r.dialog.hide();
  }
};

}  // namespace

PVRJ_REGISTER_QTEST(QVSDlgTest);
#include "QVSDlgTest.moc"
