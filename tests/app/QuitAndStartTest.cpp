// Quitting closes every window and ends the program; the window grows no larger than the screen
// and sizes the canvas from its real client area; a second start hands its file over.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "EventLoopWait.h"
#include "QtTestRunner.h"
#include "app/BoardActions.h"
#include "app/ChartCanvas.h"
#include "app/Main_u.h"
#include "app/SingleInstance.h"
#include "app/TableDlg_u.h"
#include "app/WindowFit.h"
#include "common/IniFile.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

const QString kWave = QStringLiteral(PVRJ_SOURCE_DIR "/examples/wave.vlb");
const QString kQuitQuestion = QStringLiteral("終了して構いませんでしょうか？");
constexpr int kProgramDeadlineMs = 30000;  // start-up of the real program, sanitizers included
constexpr int kQuitDeadlineMs = 10000;     // from the quit answer to the process's end
constexpr int kLoopKeptRunning = 2;

struct Boxes {
  QStringList captions;
  QStringList texts;
};

// Answers every message box with `answer` and notes what was asked.
void answerBoxes(Boxes& boxes, QMessageBox::StandardButton answer) {
  setDialogAnswerer([&boxes, answer](QDialog& d) {
    auto* box = qobject_cast<QMessageBox*>(&d);
    if (!box) {
      d.reject();
      return;
    }
    boxes.captions << box->windowTitle();
    boxes.texts << box->text();
    if (QAbstractButton* button = box->button(answer)) {
      button->click();
    } else {
      box->reject();
    }
  });
}

class QuitAndStartTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    hadRuntime_ = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    savedRuntime_ = qgetenv("XDG_RUNTIME_DIR");
    qputenv("PVRJ_SETTINGS_DIR", dir_->path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", dir_->path().toUtf8());
    setDialogAnswerer([](QDialog& d) { d.reject(); });  // nothing may wait for a person
  }
  void cleanup() {
    setDialogAnswerer({});
    qunsetenv("PVRJ_SETTINGS_DIR");
    if (hadRuntime_) {
      qputenv("XDG_RUNTIME_DIR", savedRuntime_);
    } else {
      qunsetenv("XDG_RUNTIME_DIR");
    }
    dir_.reset();
  }

  void quittingClosesEveryWindowAndEndsTheEventLoop() {
    const QList<QWidget*> before = QApplication::topLevelWidgets();
    auto w = std::make_unique<TPivora3>();
    auto* actions = new BoardActions(*w, socketPath());
    w->show();
    w->TableBtn->trigger();
    QVERIFY(actions->tableDlg().isVisible());
    actions->tableDlg().showMinimized();
    // A window of a kind the program does not have yet.
    auto later = std::make_unique<QWidget>();
    later->show();
    w->GridSw->click();  // written on the way out
    Boxes boxes;
    answerBoxes(boxes, QMessageBox::Yes);

    test::flushPostedEvents();
    QTimer::singleShot(0, w->ExitBtn, &QAction::trigger);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(kLoopKeptRunning); });
    watchdog.start(kQuitDeadlineMs);
    const int result = QApplication::exec();
    watchdog.stop();

    QCOMPARE(result, 0);
    QCOMPARE(boxes.texts, QStringList{kQuitQuestion});
    for (QWidget* window : QApplication::topLevelWidgets())
      QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
    // Today's order of shutting down still holds: settings written, port closed.
    QCOMPARE(IniFile::load((dir_->path() + "/PVR3J.ini").toStdString())
                 .value()
                 .readString("PVR3", "Grid", ""),
             std::string("1"));
    QVERIFY(!w->serialPort->IsOpen());
    QVERIFY(!QFileInfo::exists(socketPath()));

    later.reset();
    w.reset();
    QStringList left;
    for (QWidget* window : QApplication::topLevelWidgets())
      if (!before.contains(window)) left << window->objectName();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(',')));
  }

  void theRealProgramEndsWithTheTableOpenAndStartsAgain() {
    QProcess first;
    startProgram(first, "table");
    // The quit question comes once the table window is open; then the program must end.
    QVERIFY(waitForLog(first, "driver: box " + kQuitQuestion, kProgramDeadlineMs));
    QVERIFY2(log_.contains("driver: shown TableDlg"), qPrintable(log_));
    QVERIFY2(first.waitForFinished(kQuitDeadlineMs), qPrintable(log_));
    QCOMPARE(first.exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(socketPath()));
    {
      SingleInstanceLock lock(instanceLockPath(dir_->path().toStdString()));
      QVERIFY(lock.tryLock());  // the first program let go of it
    }

    QProcess again;
    startProgram(again, "quit");
    QVERIFY(waitForLog(again, "driver: box " + kQuitQuestion, kProgramDeadlineMs));
    QVERIFY2(again.waitForFinished(kQuitDeadlineMs), qPrintable(log_));
    QCOMPARE(again.exitCode(), 0);
    QVERIFY2(log_.contains("driver: shown Pivora3"), qPrintable(log_));
    QVERIFY2(!log_.contains("二重起動"), qPrintable(log_));
  }

  void secondStartHandsItsFileToTheRunningEditor() {
    SingleInstanceLock lock(instanceLockPath(dir_->path().toStdString()));
    QVERIFY(lock.tryLock());
    TPivora3 w;
    new BoardActions(w, requestSocketPath(dir_->path().toStdString()));
    w.show();
    w.showMinimized();
    QCOMPARE(w.chart().Name, std::string("無題"));

    // A relative path, from another working folder than the editor's.
    QProcess second;
    second.setWorkingDirectory(QStringLiteral(PVRJ_SOURCE_DIR "/examples"));
    startProgram(second, "watch", {QStringLiteral("wave.vlb")});
    QVERIFY2(
        QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, kProgramDeadlineMs),
        qPrintable(log_));
    log_ += QString::fromUtf8(second.readAllStandardError());
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(!log_.contains("driver: box"), qPrintable(log_));    // no message box
    QVERIFY2(!log_.contains("driver: shown"), qPrintable(log_));  // no window at all

    QVERIFY(QTest::qWaitFor([&] { return w.chart().Name == "WAVE"; }, kProgramDeadlineMs));
    QCOMPARE(w.pages->tabText(0), QStringLiteral("EDIT WAVE"));
    QCOMPARE(w.chart().itemCount(), 3);
    QVERIFY(!w.isMinimized());
  }

  void secondStartWithoutAFileIsRefusedAsBefore() {
    Boxes boxes;
    answerBoxes(boxes, QMessageBox::Ok);
    const QString path = requestSocketPath(dir_->path().toStdString());
    RequestSocket running(path, nullptr);
    QCOMPARE(secondStart({}, path), 1);
    QCOMPARE(boxes.captions, QStringList{QStringLiteral("申し訳ない")});
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("二重起動は出来ないんです")});
    // An editor that cannot take the file: refused the same way.
    QCOMPARE(secondStart({kWave}, dir_->path() + "/nobody-listens"), 1);
    QCOMPARE(boxes.texts.size(), 2);
  }

  void windowGrowthStopsAtTheScreen() {
    const QRect screen(0, 0, 1600, 1200);
    const QRect panelAtLeft(64, 0, 1536, 1160);
    const QMargins frame(2, 30, 2, 2);
    struct Case {
      QSize current, wanted;
      QRect available;
      QMargins frame;
      QSize grown;
    } cases[] = {
        {{650, 580}, {1804, 484}, screen, {}, {1600, 580}},
        {{650, 580}, {1804, 1500}, screen, frame, {1596, 1168}},
        {{650, 580}, {900, 700}, screen, frame, {900, 700}},
        {{650, 580}, {600, 500}, screen, frame, {650, 580}},  // never smaller
        {{1700, 580}, {1804, 484}, screen, {}, {1700, 580}},  // the user's size stays
        {{650, 580}, {1804, 1500}, panelAtLeft, {}, {1536, 1160}},
    };
    for (const Case& c : cases)
      QCOMPARE(grownClientSize(c.current, c.wanted, c.available, c.frame), c.grown);

    QCOMPARE(keptOnScreen({300, 200}, {1600, 1200}, screen), QPoint(0, 0));
    QCOMPARE(keptOnScreen({300, 200}, {1000, 900}, screen), QPoint(300, 200));
    QCOMPARE(keptOnScreen({900, 500}, {1000, 900}, screen), QPoint(600, 300));
    QCOMPARE(keptOnScreen({0, 0}, {800, 600}, panelAtLeft), QPoint(64, 0));
    QCOMPARE(keptOnScreen({0, 0}, {2000, 600}, panelAtLeft), QPoint(64, 0));
  }

  void aChartLargerThanTheScreenScrolls() {
    QFile wave(kWave);
    QVERIFY(wave.open(QIODevice::ReadOnly));
    QByteArray text = wave.readAll();
    text.replace("Width=646", "Width=3000").replace("Height=576", "Height=2500");
    const QString wide = dir_->path() + "/wide.VLB";
    QFile out(wide);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(text);
    out.close();

    TPivora3 w;
    w.show();
    const QRect available = w.screen()->availableGeometry();
    w.openChart(wide.toStdString());
    QCOMPARE(w.chart().Width, 3000);
    QCOMPARE(w.chart().Height, 2500);
    QCOMPARE(w.canvas->size(), QSize(3000, 2500));
    QVERIFY2(
        available.contains(w.frameGeometry()),
        qPrintable(
            QStringLiteral("%1,%2 %3x%4").arg(w.x()).arg(w.y()).arg(w.width()).arg(w.height())));
    QVERIFY(QTest::qWaitFor([&] { return w.canvasScroll->horizontalScrollBar()->maximum() > 0; }));
    QVERIFY(w.canvasScroll->verticalScrollBar()->maximum() > 0);
  }

  void anOpenedChartTakesTheWindowsCurrentSize() {
    TPivora3 w;
    w.show();
    w.resize(900, 700);
    w.openChart(kWave.toStdString());
    QCOMPARE(w.chart().Width, 896);
    QCOMPARE(w.chart().Height, 696);
    QCOMPARE(w.canvas->size(), QSize(896, 696));

    w.showMaximized();
    QVERIFY(QTest::qWaitFor([&] { return w.isMaximized() && w.width() != 900; }));
    w.chart().clear();
    w.openChart(kWave.toStdString());
    QCOMPARE(w.chart().Width, w.width() - 4);
    QCOMPARE(w.chart().Height, w.height() - 4);
    QCOMPARE(w.canvas->size(), w.size() - QSize(4, 4));
  }

 private:
  QString socketPath() const {
    return QString::fromStdString(dir_->path().toStdString() + "/" + kRequestSocketPrefix +
                                  std::to_string(::getuid()));
  }

  // Starts the real PVRJ offscreen in this test's folders, with the driver following plan.
  void startProgram(QProcess& process, const QByteArray& plan, const QStringList& arguments = {}) {
    const QString exe = QStringLiteral(PVRJ_EDITOR_EXE);
    QVERIFY2(QFile::exists(exe), qPrintable(exe));
    QVERIFY2(QFile::exists(PVRJ_PROGRAM_DRIVER), PVRJ_PROGRAM_DRIVER);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("PVRJ_SETTINGS_DIR", dir_->path());
    env.insert("XDG_RUNTIME_DIR", dir_->path());
    env.insert("LD_PRELOAD", PVRJ_PROGRAM_DRIVER);
    env.insert("PVRJ_TEST_DRIVER", QString::fromLatin1(plan));
    // Under the address sanitizer the driver is loaded before its runtime; that is fine here.
    QString asan = env.value("ASAN_OPTIONS");
    env.insert("ASAN_OPTIONS", asan + (asan.isEmpty() ? "" : ":") + "verify_asan_link_order=0");
    process.setProcessEnvironment(env);
    process.setReadChannel(QProcess::StandardError);
    log_.clear();
    process.start(exe, arguments);
    QVERIFY(process.waitForStarted(kProgramDeadlineMs));
  }

  // Collects the program's stderr until it holds line or the deadline passes.
  bool waitForLog(QProcess& process, const QString& line, int deadlineMs) {
    QDeadlineTimer deadline(deadlineMs);
    while (!log_.contains(line)) {
      if (deadline.hasExpired() || process.state() == QProcess::NotRunning) break;
      process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
      log_ += QString::fromUtf8(process.readAllStandardError());
    }
    log_ += QString::fromUtf8(process.readAllStandardError());
    return log_.contains(line);
  }

  std::unique_ptr<QTemporaryDir> dir_;
  QByteArray savedRuntime_;
  bool hadRuntime_ = false;
  QString log_;
};

}  // namespace

PVRJ_REGISTER_QTEST(QuitAndStartTest);
#include "QuitAndStartTest.moc"
