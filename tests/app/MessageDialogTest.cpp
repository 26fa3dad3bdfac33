// Window tests of the shared message box, the slot prompt and the windows' user interface.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

#include "QtTestRunner.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

// Answers every dialog with the given action and remembers what it saw.
struct Script {
  int calls = 0;
  QString title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QString text;
  Qt::TextFormat format = Qt::AutoText;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

void answerWith(Script& seen, std::function<void(QMessageBox&, int call)> act) {
  setDialogAnswerer([&seen, act](QDialog& d) {
    auto* box = qobject_cast<QMessageBox*>(&d);
    QVERIFY(box);
    ++seen.calls;
    seen.title = box->windowTitle();
    seen.icon = box->icon();
    seen.buttons = box->standardButtons();
    seen.text = box->text();
    seen.format = box->textFormat();
    seen.defaultButton =
        box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
    act(*box, seen.calls);
  });
}

void clickButton(QMessageBox& box, QMessageBox::StandardButton which) {
  QAbstractButton* b = box.button(which);
  if (b) {
    b->click();
  } else {
    box.reject();
  }
}

std::string quotedSlots(int motions, int scenarios) {
  std::string list;
  for (int i = 1; i <= motions; ++i)
    list += (list.empty() ? "\"M" : ",\"M") + std::to_string(i) + " 歩く\"";
  for (int i = 1; i <= scenarios; ++i) list += ",\"S" + std::to_string(i) + " シナリオ\"";
  return list;
}

}  // namespace

class MessageDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { setDialogAnswerer({}); }

  void questionBoxShowsCaptionIconAndYesNo() {
    Script seen;
    answerWith(seen, [](QMessageBox& box, int) { clickButton(box, QMessageBox::No); });
    QCOMPARE(ShowMessageBox(kMsgQuestion, kBtnYesNo, "消しますか？"), int(kIdNo));
    QCOMPARE(seen.title, QStringLiteral("確認"));
    QCOMPARE(seen.icon, QMessageBox::Question);
    QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(seen.text, QStringLiteral("消しますか？"));
    QCOMPARE(seen.defaultButton, QMessageBox::Yes);

    answerWith(seen, [](QMessageBox& box, int) { clickButton(box, QMessageBox::Yes); });
    QCOMPARE(ShowMessageBox(kMsgQuestion, kBtnYesNo, "消しますか？"), int(kIdYes));
  }

  void kindsGiveCaptionsAndIcons_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("icon");
    QTest::newRow("warning") << 0 << QStringLiteral("警告") << int(QMessageBox::Warning);
    QTest::newRow("information") << 1 << QStringLiteral("情報") << int(QMessageBox::Information);
    QTest::newRow("question") << 2 << QStringLiteral("確認") << int(QMessageBox::Question);
    QTest::newRow("error") << 3 << QStringLiteral("エラー") << int(QMessageBox::Critical);
    QTest::newRow("other") << 9 << QString() << int(QMessageBox::NoIcon);
    QTest::newRow("negative") << -1 << QString() << int(QMessageBox::NoIcon);
  }
  void kindsGiveCaptionsAndIcons() {
    QFETCH(int, kind);
    QFETCH(QString, caption);
    QFETCH(int, icon);
    Script seen;
    answerWith(seen, [](QMessageBox& box, int) { clickButton(box, QMessageBox::Ok); });
    QCOMPARE(ShowMessageBox(kind, kBtnOk, "x"), int(kIdOk));
    QCOMPARE(seen.title, caption);
    QCOMPARE(int(seen.icon), icon);
  }

  // Every button of every set gives its system result code.
  void buttonSetsAndResultCodes_data() {
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("allButtons");
    const int ari = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    QTest::newRow("0 abort") << 0 << int(QMessageBox::Abort) << 3 << ari;
    QTest::newRow("0 retry") << 0 << int(QMessageBox::Retry) << 4 << ari;
    QTest::newRow("0 ignore") << 0 << int(QMessageBox::Ignore) << 5 << ari;
    QTest::newRow("1 ok") << 1 << int(QMessageBox::Ok) << 1
                          << int(QMessageBox::Ok | QMessageBox::Help);
    QTest::newRow("2 ok") << 2 << int(QMessageBox::Ok) << 1 << int(QMessageBox::Ok);
    QTest::newRow("3 ok") << 3 << int(QMessageBox::Ok) << 1
                          << int(QMessageBox::Ok | QMessageBox::Cancel);
    QTest::newRow("3 cancel") << 3 << int(QMessageBox::Cancel) << 2
                              << int(QMessageBox::Ok | QMessageBox::Cancel);
    QTest::newRow("4 retry") << 4 << int(QMessageBox::Retry) << 4
                             << int(QMessageBox::Retry | QMessageBox::Cancel);
    QTest::newRow("4 cancel") << 4 << int(QMessageBox::Cancel) << 2
                              << int(QMessageBox::Retry | QMessageBox::Cancel);
    QTest::newRow("5 yes") << 5 << int(QMessageBox::Yes) << 6
                           << int(QMessageBox::Yes | QMessageBox::No);
    QTest::newRow("5 no") << 5 << int(QMessageBox::No) << 7
                          << int(QMessageBox::Yes | QMessageBox::No);
    const int ync = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    QTest::newRow("6 yes") << 6 << int(QMessageBox::Yes) << 6 << ync;
    QTest::newRow("6 no") << 6 << int(QMessageBox::No) << 7 << ync;
    QTest::newRow("6 cancel") << 6 << int(QMessageBox::Cancel) << 2 << ync;
    QTest::newRow("7 is ok") << 7 << int(QMessageBox::Ok) << 1 << int(QMessageBox::Ok);
    QTest::newRow("-5 is ok") << -5 << int(QMessageBox::Ok) << 1 << int(QMessageBox::Ok);
  }
  void buttonSetsAndResultCodes() {
    QFETCH(int, set);
    QFETCH(int, button);
    QFETCH(int, code);
    QFETCH(int, allButtons);
    Script seen;
    answerWith(seen, [button](QMessageBox& box, int) {
      clickButton(box, QMessageBox::StandardButton(button));
    });
    QCOMPARE(ShowMessageBox(kMsgWarning, set, "t"), code);
    QCOMPARE(int(seen.buttons), allButtons);
  }

  // Closing a box without a button must never read as consent.
  void escapeGivesTheRefusingAnswer_data() {
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("code");
    QTest::newRow("yes no") << 5 << 7;
    QTest::newRow("yes no cancel") << 6 << 2;
    QTest::newRow("ok cancel") << 3 << 2;
    QTest::newRow("retry cancel") << 4 << 2;
    QTest::newRow("ok") << 2 << 1;
  }
  void escapeGivesTheRefusingAnswer() {
    QFETCH(int, set);
    QFETCH(int, code);
    Script seen;
    answerWith(seen, [](QMessageBox& box, int) { QTest::keyClick(&box, Qt::Key_Escape); });
    QCOMPARE(ShowMessageBox(kMsgQuestion, set, "t"), code);
    QCOMPARE(seen.calls, 1);
  }

  void helpLeavesTheBoxOpen() {
    Script seen;
    answerWith(seen, [](QMessageBox& box, int call) {
      clickButton(box, call == 1 ? QMessageBox::Help : QMessageBox::Ok);
    });
    QCOMPARE(ShowMessageBox(kMsgInformation, kBtnOkHelp, "t"), int(kIdOk));
    QCOMPARE(seen.calls, 2);
  }

  void textIsShownAsPlainText() {
    Script seen;
    answerWith(seen, [](QMessageBox& box, int) { clickButton(box, QMessageBox::Ok); });
    ShowMessageBox(kMsgError, kBtnOk, "<b>a.VLB</b> & 指定の場所には保存できません");
    QCOMPARE(seen.text, QStringLiteral("<b>a.VLB</b> & 指定の場所には保存できません"));
    QCOMPARE(seen.format, Qt::PlainText);
  }

  void promptReturnsTheChosenSlot() {
    Prompt p;
    p.PromptTitle = "書込";
    p.PromptText = "書込むモーション番号を選んでください";
    p.PromptItems = quotedSlots(80, 5);
    p.PromptIndex = -1;
    int shownCount = -1;
    QString shown81, title;
    setDialogAnswerer([&](QDialog& d) {
      auto* dlg = qobject_cast<NumberPromptDialog*>(&d);
      QVERIFY(dlg);
      title = dlg->windowTitle();
      shownCount = dlg->list()->count();
      shown81 = dlg->list()->itemText(80);
      dlg->list()->setCurrentIndex(80);
      dlg->okButton()->click();
    });
    QVERIFY(NumberPrompt(p));
    QCOMPARE(p.PromptIndex, 80);
    QCOMPARE(shownCount, 85);
    QCOMPARE(shown81, QStringLiteral("S1 シナリオ"));
    QCOMPARE(title, QStringLiteral("書込"));
  }

  void promptCancelOrCloseKeepsTheIndex() {
    Prompt p;
    p.PromptItems = quotedSlots(80, 5);
    p.PromptIndex = 3;
    int preselected = -2;
    setDialogAnswerer([&](QDialog& d) {
      auto* dlg = qobject_cast<NumberPromptDialog*>(&d);
      QVERIFY(dlg);
      preselected = dlg->list()->currentIndex();
      dlg->list()->setCurrentIndex(40);
      dlg->cancelButton()->click();
    });
    QVERIFY(!NumberPrompt(p));
    QCOMPARE(p.PromptIndex, 3);
    QCOMPARE(preselected, 3);

    setDialogAnswerer([](QDialog& d) {
      static_cast<NumberPromptDialog&>(d).list()->setCurrentIndex(7);
      QTest::keyClick(&d, Qt::Key_Escape);
    });
    QVERIFY(!NumberPrompt(p));
    QCOMPARE(p.PromptIndex, 3);
  }

  void promptWithNoItemsGivesMinusOne() {
    Prompt p;
    p.PromptItems = "";
    p.PromptIndex = 5;  // out of range: nothing preselected
    int count = -1;
    setDialogAnswerer([&](QDialog& d) {
      auto& dlg = static_cast<NumberPromptDialog&>(d);
      count = dlg.list()->count();
      dlg.okButton()->click();
    });
    QVERIFY(NumberPrompt(p));
    QCOMPARE(count, 0);
    QCOMPARE(p.PromptIndex, -1);
  }

  void promptLayoutFollowsDialogUnits() {
    Prompt p;
    p.PromptTitle = "T";
    p.PromptText = std::string(40, 'w') +
                   " とても長いラベルの文章は折り返して表示されるはずです。" +
                   " more words to wrap the label onto several lines";
    p.PromptItems = "\"A B\",C,\"D,E\"";
    p.PromptIndex = 2;
    NumberPromptDialog dlg(p);
    const int cx = dlg.charWidth();
    const int cy = dlg.charHeight();
    QVERIFY(cx > 0 && cy > 0);
    QCOMPARE(dlg.horizontalUnits(180), 180 * cx / 4);
    QCOMPARE(dlg.verticalUnits(14), 14 * cy / 8);
    QCOMPARE(dlg.width(), 180 * cx / 4);
    QVERIFY(dlg.label()->wordWrap());
    QCOMPARE(dlg.label()->geometry().topLeft(), QPoint(8 * cx / 4, 8 * cy / 8));
    QCOMPARE(dlg.label()->width(), 164 * cx / 4);
    QVERIFY(dlg.label()->height() > cy);  // wrapped onto more than one line
    const QRect list = dlg.list()->geometry();
    QCOMPARE(list.x(), dlg.label()->x());
    QCOMPARE(list.y(), dlg.label()->y() + dlg.label()->height() + 5);
    QCOMPARE(list.width(), 164 * cx / 4);
    QVERIFY(!dlg.list()->isEditable());
    QCOMPARE(dlg.list()->maxVisibleItems(), 20);
    QCOMPARE(dlg.list()->count(), 3);
    QCOMPARE(dlg.list()->itemText(0), QStringLiteral("A B"));
    QCOMPARE(dlg.list()->itemText(2), QStringLiteral("D,E"));
    QCOMPARE(dlg.list()->currentIndex(), 2);
    const QRect ok = dlg.okButton()->geometry();
    const QRect cancel = dlg.cancelButton()->geometry();
    QCOMPARE(ok.y(), list.y() + list.height() + 15);
    QCOMPARE(ok.x(), 38 * cx / 4);
    QCOMPARE(cancel.x(), 92 * cx / 4);
    QCOMPARE(ok.size(), QSize(50 * cx / 4, 14 * cy / 8));
    QCOMPARE(cancel.size(), ok.size());
    QCOMPARE(cancel.y(), ok.y());
    QCOMPARE(dlg.height(), ok.y() + ok.height() + 13);
    QVERIFY(dlg.okButton()->isDefault());
    QCOMPARE(dlg.okButton()->text(), QStringLiteral("OK"));
    QCOMPARE(dlg.cancelButton()->text(), QStringLiteral("Cancel"));
  }

  void slotListOpensAtMostTwentyRowsTall() {
    Prompt p;
    p.PromptTitle = "書込";
    p.PromptText = "書込先を選択してください";
    p.PromptItems = quotedSlots(80, 5);
    NumberPromptDialog dlg(p);
    QCOMPARE(dlg.list()->count(), 85);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.list()->showPopup();
    QAbstractItemView* view = dlg.list()->view();
    QTRY_VERIFY(view->isVisible());
    const int row = view->sizeHintForRow(0);
    QVERIFY(row > 0);
    const int rows = view->viewport()->height() / row;
    dlg.list()->hidePopup();
    QVERIFY2(rows >= 19 && rows <= 20, qPrintable(QString::number(rows)));
  }

  void statusLineTextHasTimeThenMessage() {
    const QString s = statusLineText("書込成功");
    QVERIFY2(
        QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d> 書込成功$")).match(s).hasMatch(),
        qPrintable(s));
  }

  void userInterfaceReachesTheWindow() {
    QWidget window;
    window.setWindowTitle(QString::fromUtf8(kAppTitle));
    QLineEdit line(&window);
    QLabel panel(&window);
    QtUserInterface ui;
    ui.attach(&window, &line, &panel);
    ui.showStatus("COM3 設定完了");
    QVERIFY(line.text().endsWith(QStringLiteral("> COM3 設定完了")));
    ui.setBusy(true);
    QCOMPARE(window.windowTitle(), QStringLiteral("Pivora J [通信中]"));
    ui.setBusy(false);
    QCOMPARE(window.windowTitle(), QStringLiteral("Pivora J"));
    ui.setBoardState("スリープ");
    QCOMPARE(panel.text(), QStringLiteral("スリープ"));

    Script seen;
    answerWith(seen, [](QMessageBox& box, int) { clickButton(box, QMessageBox::Cancel); });
    QCOMPARE(ui.ShowMessageBox(kMsgWarning, kBtnOkCancel, "w"), int(kIdCancel));
    QCOMPARE(seen.title, QStringLiteral("警告"));

    Prompt p;
    p.PromptItems = "a,b,c";
    setDialogAnswerer([](QDialog& d) {
      auto& dlg = static_cast<NumberPromptDialog&>(d);
      dlg.list()->setCurrentIndex(1);
      dlg.okButton()->click();
    });
    QVERIFY(ui.NumberPrompt(p));
    QCOMPARE(p.PromptIndex, 1);
  }

  void userInterfaceOutlivesItsWindow() {
    QtUserInterface ui;
    {
      QWidget window;
      QLineEdit line(&window);
      ui.attach(&window, &line, nullptr);
    }
    ui.showStatus("after");  // the window is gone: nothing to write, no crash
    ui.setBusy(true);
    ui.setBoardState("動作中");
  }
};

PVRJ_REGISTER_QTEST(MessageDialogTest);
#include "MessageDialogTest.moc"
