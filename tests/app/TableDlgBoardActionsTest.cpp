// The main window's board buttons, table button, progress bar and play socket, end to end with
// pvrj-board on a pseudo-terminal.
#include <unistd.h>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalSocket>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "EventLoopWait.h"
#include "QtTestRunner.h"
#include "app/BoardActions.h"
#include "app/ChartCanvas.h"
#include "app/Main_u.h"
#include "app/TableDlg_u.h"
#include "common/UserInterface.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

constexpr int kBoardStartMs = 10000;
constexpr int kComNumber = 7;
constexpr int kSlowExchanges = 20;  // more than a write of two items takes
constexpr int kSlowReplyMs = 30;

// Two POS items joined by a line, named WALK.
void walkChart(Chart& chart) {
  for (int i = 0; i < 2; ++i) {
    int item = chart.createItem(kItemPos, 10, 10 + 40 * i);
    chart.items[item].PrmWords.fill(static_cast<std::uint16_t>(16000 + i));
  }
  ChartLink line;
  line.Origin = 0;
  line.Final = 1;
  chart.links.push_back(line);
  chart.Start = 0;
  chart.Name = "WALK";
}

// Chooses entry `index` in the next slot prompts and answers message boxes with their first
// button.
void chooseSlot(int index) {
  setDialogAnswerer([index](QDialog& d) {
    if (auto* prompt = qobject_cast<NumberPromptDialog*>(&d)) {
      prompt->list()->setCurrentIndex(index);
      prompt->okButton()->click();
    } else {
      d.accept();
    }
  });
}

class TableDlgBoardActionsTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    qputenv("PVRJ_SETTINGS_DIR", dir_->path().toUtf8());
  }
  void cleanup() {
    setDialogAnswerer(nullptr);
    if (board_) {
      board_->kill();
      board_->waitForFinished();
      board_.reset();
    }
    qunsetenv("PVRJ_SETTINGS_DIR");
    dir_.reset();
  }

  void tableButtonShowsAndHidesTheTable() {
    TPivora3 w;
    auto* actions = new BoardActions(w, socketName());
    QCOMPARE(actions->tableDlg().ListView->topLevelItemCount(), 85);
    QVERIFY(!actions->tableDlg().isVisible());
    w.TableBtn->trigger();
    QVERIFY(actions->tableDlg().isVisible());
    w.TableBtn->trigger();
    QVERIFY(!actions->tableDlg().isVisible());
    QVERIFY(actions->progressBar());
    QCOMPARE(actions->progressBar()->parentWidget(), static_cast<QWidget*>(w.statusPanels));
    QVERIFY(actions->progressBar()->isHidden());
  }

  void messagesLeftInTheBufferGetTheirOwnEvents() {
    TPivora3 w;
    new BoardActions(w, socketName());
    int analog = 0;
    w.boardMessages().onAnalogReport = [&](const AnalogReport&) { ++analog; };
    const std::uint8_t report[] = {0xFE, 0, 1, 0, 2, 0, 3, 0, 4, 0};
    QByteArray three;
    for (int i = 0; i < 3; ++i) three.append(reinterpret_cast<const char*>(report), sizeof report);
    w.boardMessages().receive(reinterpret_cast<const std::uint8_t*>(three.constData()),
                              static_cast<std::size_t>(three.size()));
    QCOMPARE(analog, 1);
    // The port's event with nothing new to read still leads to the waiting messages.
    w.serialPort->OnReceive(*w.serialPort, 0);
    QTRY_COMPARE(analog, 3);
    QVERIFY(w.boardMessages().buffer().empty());
  }

  void writeReadAndPlayThroughTheWindow() {
    QVERIFY2(startBoard(), "pvrj-board did not start");
    TPivora3 w;
    QCOMPARE(w.CommPort->currentIndex(), kComNumber);
    auto* actions = new BoardActions(w, socketName());
    QVERIFY(actions->listening());

    Chart& chart = w.chart();
    walkChart(chart);

    chooseSlot(5);
    w.MotWriteBtn->trigger();
    QVERIFY2(w.statusLine->text().endsWith("書込成功"), qPrintable(w.statusLine->text()));
    QCOMPARE(actions->tableDlg().ListView->topLevelItem(5)->text(2), QString("3"));
    QCOMPARE(actions->tableDlg().ListView->topLevelItem(5)->text(1), QString("WALK"));
    QCOMPARE(w.dumpView->count(), 3);
    QVERIFY(actions->progressBar()->isHidden());

    chart.clear();
    chart.Name = "other";
    chooseSlot(5);
    w.MotReadBtn->trigger();
    QVERIFY2(w.statusLine->text().endsWith("読込成功"), qPrintable(w.statusLine->text()));
    QCOMPARE(chart.itemCount(), 2);
    QCOMPARE(chart.items[1].PrmWords[0], std::uint16_t{16001});
    QCOMPARE(w.pages->tabText(0), QString("EDIT WALK"));
    QCOMPARE(w.dumpView->count(), 3);

    // Another program asks for slot 5; then for 85, which is ignored, and 5 again. Every exchange
    // shows the busy caption (the title, which now names the read chart as modified, and
    // " [通信中]"), so counting captions tells whether 85 reached the board: requests on one
    // connection are handled in order, so 85 is done once the second 5 has played.
    QCOMPARE(w.windowTitle(), QStringLiteral("無題* - Pivora J"));
    int exchanges = 0;
    connect(&w, &QWidget::windowTitleChanged, &w, [&exchanges](const QString& title) {
      if (title == QStringLiteral("無題* - Pivora J [通信中]")) ++exchanges;
    });
    QLocalSocket client;
    client.connectToServer(socketName());
    QVERIFY(client.waitForConnected(kBoardStartMs));
    auto play = [&](const QByteArray& requests) {
      w.statusLine->clear();
      const int before = exchanges;
      client.write(requests);
      client.flush();
      if (!QTest::qWaitFor([&] { return w.statusLine->text().endsWith("再生コマンド送信"); },
                           kBoardStartMs))
        return -1;
      return exchanges - before;
    };
    const int onePlay = play("5\n");
    QVERIFY(onePlay > 0);
    QCOMPARE(play("85\n5\n"), onePlay);
  }

  void playRequestDuringAWriteIsPlayedWhenTheWriteEnds() {
    // Replies that take a while, so that the editor handles events while it waits, as it does
    // with a real board and a slow adapter.
    QStringList slow;
    for (int exchange = 1; exchange <= kSlowExchanges; ++exchange)
      slow << "--fault" << QStringLiteral("%1:delay:%2").arg(exchange).arg(kSlowReplyMs);
    if (!startBoard(slow)) QSKIP("pvrj-board is not available");
    TPivora3 w;
    new BoardActions(w, socketName());
    walkChart(w.chart());
    QLocalSocket client;
    client.connectToServer(socketName());
    QVERIFY(client.waitForConnected(kBoardStartMs));

    // Another program asks for slot 5 while the first record is on its way.
    QStringList shown;
    bool sent = false;
    connect(w.statusLine, &QLineEdit::textChanged, this, [&](const QString& text) {
      shown << text.mid(text.indexOf("> ") + 2);
      if (!sent && text.endsWith("1個目書込みました")) {
        sent = true;
        client.write("5\n");
        client.flush();
      }
    });
    chooseSlot(3);
    w.MotWriteBtn->trigger();
    QVERIFY(sent);
    QVERIFY2(w.statusLine->text().endsWith("書込成功"), qPrintable(w.statusLine->text()));
    QVERIFY2(shown.contains("M6 の再生は今の処理が終わってから行います"),
             qPrintable(shown.join('|')));
    QVERIFY(!shown.contains("再生コマンド送信"));

    QVERIFY(test::runLoopUntil([&] { return shown.contains("再生コマンド送信"); }));
    QCOMPARE(shown.indexOf("再生コマンド送信"), shown.size() - 1);
  }

  void buttonsTellWhatTheyDidOrWhyTheyCouldNot() {
    QFile ini(dir_->path() + "/PVR3J.ini");
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[PVR3]\r\nCommPort=0\r\n");  // the port OFF
    ini.close();
    TPivora3 w;
    new BoardActions(w, socketName());
    Chart& chart = w.chart();
    chart.createItem(kItemPos, 10, 10);
    chart.Start = 0;

    w.CompileBtn->trigger();
    QCOMPARE(w.statusLine->text().section("> ", 1),
             QString("コンパイル成功: 2レコード(LISTページ)"));
    QCOMPARE(w.dumpView->count(), 2);
    const std::pair<QAction*, QString> unreachable[] = {
        {w.MotStpBtn, "停止失敗: CmdStop: ポートが開いていません"},
        {w.pauseBtn, "一時停止失敗: CmdReadOptions: ポートが開いていません"},
        {w.MotWriteBtn, "書込失敗: CmdReadOptions: ポートが開いていません"},
    };
    chooseSlot(0);
    for (const auto& [button, status] : unreachable) {
      button->trigger();
      QCOMPARE(w.statusLine->text().section("> ", 1), status);
    }
  }

 private:
  QString socketName() const { return dir_->path() + QStringLiteral("/requests"); }

  bool startBoard(const QStringList& extraArgs = {}) {
    if (!QFile::exists(PVRJ_BOARD_EXE)) return false;
    board_ = std::make_unique<QProcess>();
    board_->start(PVRJ_BOARD_EXE, QStringList{"--com", QString::number(kComNumber)} + extraArgs);
    if (!board_->waitForReadyRead(kBoardStartMs)) return false;
    QFile ini(dir_->path() + "/PVR3J.ini");
    if (!ini.open(QIODevice::WriteOnly)) return false;
    ini.write("[PVR3]\r\nCommPort=" + QByteArray::number(kComNumber) + "\r\n");
    return true;
  }

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<QProcess> board_;
};

}  // namespace

PVRJ_REGISTER_QTEST(TableDlgBoardActionsTest);
#include "TableDlgBoardActionsTest.moc"
