// The main window when the board's device goes away: the action fails and says so, the port is
// closed, and choosing the port again in the port box works once a board is back.
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "QtTestRunner.h"
#include "app/BoardActions.h"
#include "app/Main_u.h"
#include "protocol/BoardLink.h"

using namespace pvrj;

namespace {

constexpr int kBoardStartMs = 10000;
constexpr int kComNumber = 8;

class UnplugWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    qputenv("PVRJ_SETTINGS_DIR", dir_->path().toUtf8());
  }
  void cleanup() {
    stopBoard();
    qunsetenv("PVRJ_SETTINGS_DIR");
    dir_.reset();
  }

  void aVanishedDeviceClosesThePortAndChoosingItAgainWorks() {
    // The board lets go of its device at the first exchange.
    if (!startBoard({"--fault", "1:hangup"})) QSKIP("pvrj-board is not available");
    QFile ini(dir_->path() + "/PVR3J.ini");
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[PVR3]\r\nCommPort=" + QByteArray::number(kComNumber) + "\r\n");
    ini.close();

    TPivora3 w;
    new BoardActions(w, dir_->path() + QStringLiteral("/requests"));
    QStringList statuses;
    connect(w.statusLine, &QLineEdit::textChanged, this,
            [&](const QString& text) { statuses << text.section("> ", 1); });
    QVERIFY(w.serialPort->IsOpen());
    const QString port = QStringLiteral("COM%1").arg(kComNumber);

    w.MotStpBtn->trigger();
    QVERIFY2(statuses.contains(port + QString::fromUtf8(kStatusPortLost)),
             qPrintable(statuses.join('\n')));
    QVERIFY2(statuses.last().startsWith(QStringLiteral("停止失敗")), qPrintable(statuses.last()));
    QVERIFY(!w.serialPort->IsOpen());
    // Another button now finds the port closed, and says so.
    w.MotStpBtn->trigger();
    QVERIFY2(statuses.last().startsWith(QStringLiteral("停止失敗")), qPrintable(statuses.last()));

    // The adapter is back: the user chooses the same port again.
    stopBoard();
    QVERIFY(startBoard());
    w.CommPort->setCurrentIndex(kComNumber);
    w.CommPortCloseUp();
    QCOMPARE(statuses.last(), port + QStringLiteral(" 設定完了"));
    QVERIFY(w.serialPort->IsOpen());
    w.MotStpBtn->trigger();
    QCOMPARE(statuses.last(), QStringLiteral("停止しました"));
  }

 private:
  bool startBoard(const QStringList& extraArgs = {}) {
    if (!QFile::exists(PVRJ_BOARD_EXE)) return false;
    board_ = std::make_unique<QProcess>();
    board_->start(PVRJ_BOARD_EXE, QStringList{"--com", QString::number(kComNumber)} + extraArgs);
    return board_->waitForReadyRead(kBoardStartMs);
  }
  void stopBoard() {
    if (!board_) return;
    board_->terminate();
    if (!board_->waitForFinished(kBoardStartMs)) board_->kill();
    board_->waitForFinished();
    board_.reset();
  }

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<QProcess> board_;
};

}  // namespace

PVRJ_REGISTER_QTEST(UnplugWindowTest);
#include "UnplugWindowTest.moc"
