// The real editor killed with SIGKILL while it autosaves a 10,000-item chart, again and again: the
// autosave file is a whole chart every time, and the next start offers it.
#include <signal.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <memory>
#include <thread>

#include "QtTestRunner.h"
#include "chart/ChartFile.h"
#include "common/FileIo.h"
#include "tests/support/FakeUserInterface.h"

using namespace pvrj;

namespace {

constexpr int kItems = 10000;
constexpr int kRounds = 8;
constexpr int kProgramDeadlineMs = 60000;  // start-up with the large chart, sanitizers included
constexpr auto kPollStep = std::chrono::milliseconds(1);
const QString kRecoveryBox = QStringLiteral("driver: box 前回の編集内容が残っています。");

// Items in rows of 100 joined into one chain; item 0 sits at (10, 10).
Chart largeChart() {
  Chart chart;
  chart.Width = 6100;
  chart.Height = 4100;
  chart.appendItems(kItems);
  for (int i = 0; i < kItems; ++i) {
    ChartItem& item = chart.items[static_cast<std::size_t>(i)];
    item = defaultItem(kItemPos, 10 + (i % 100) * 60, 10 + (i / 100) * 40);
    item.Name = "POS" + std::to_string(i + 1);
  }
  chart.appendLinks(kItems - 1);
  for (int i = 0; i + 1 < kItems; ++i) {
    chart.links[static_cast<std::size_t>(i)].Origin = i;
    chart.links[static_cast<std::size_t>(i)].Final = i + 1;
  }
  chart.Start = 0;
  return chart;
}

int countOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

class AutosaveKillTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
  }
  void cleanup() { dir_.reset(); }

  void killedWhileAutosavingLeavesAWholeChart() {
    const QString chartFile = dir_->path() + QStringLiteral("/large.VLB");
    QVERIFY(writeChartFile(largeChart(), chartFile.toStdString()).ok());
    const QString folder = dir_->path() + QStringLiteral("/state/pivora/autosave");
    const QString autosave = folder + QStringLiteral("/autosave.VLB");

    int cutShort = 0;  // rounds whose kill left a half-written temporary file
    for (int round = 0; round < kRounds; ++round) {
      // A killed writer leaves its temporary file, until the next writer clears it away.
      const QStringList leftovers = temporaryFiles(folder);
      QProcess editor;
      start(editor, chartFile);
      QVERIFY2(waitForLog(editor, QStringLiteral("driver: dragging")), qPrintable(log_));
      // After the first round the chart left behind is offered, and taken.
      if (round > 0) QVERIFY2(log_.contains(kRecoveryBox), qPrintable(log_));
      // Killed while a write is under way: its temporary file lies beside the autosave. Each
      // round lets one more write finish than the last, from one to three.
      QVERIFY2(waitForWrite(folder, leftovers, round % 3 + 2), qPrintable(log_));
      ::kill(static_cast<pid_t>(editor.processId()), SIGKILL);
      QVERIFY(editor.waitForFinished(kProgramDeadlineMs));
      QCOMPARE(editor.exitStatus(), QProcess::CrashExit);
      for (const QString& name : temporaryFiles(folder))
        if (!leftovers.contains(name)) ++cutShort;

      const Result<std::string> text = readTextFile(autosave.toStdString());
      QVERIFY2(text.ok(), qPrintable(QStringLiteral("round %1: no autosave").arg(round)));
      QCOMPARE(countOf(text.value(), "[Item"), kItems);
      QCOMPARE(countOf(text.value(), "[Link"), kItems - 1);
      QVERIFY(text.value().ends_with("\r\n\r\n"));
      Chart back;
      ClientArea client;
      test::FakeUserInterface ui;
      QVERIFY(readChartText(back, client, text.value(), ui).opened);
      QCOMPARE(back.itemCount(), kItems);
      QVERIFY2(ui.statuses.empty(), ui.statuses.empty() ? "" : ui.statuses.front().c_str());
      QVERIFY(ui.messages.empty());
    }
    // The kills did come in the middle of writes (a write takes far longer than the poll step).
    QVERIFY(cutShort > 0);
  }

 private:
  void start(QProcess& process, const QString& chartFile) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("PVRJ_SETTINGS_DIR", dir_->path());
    env.insert("XDG_RUNTIME_DIR", dir_->path());
    env.insert("XDG_STATE_HOME", dir_->path() + QStringLiteral("/state"));
    env.insert("XDG_DATA_HOME", dir_->path() + QStringLiteral("/data"));
    env.insert("LD_PRELOAD", PVRJ_PROGRAM_DRIVER);
    env.insert("PVRJ_TEST_DRIVER", "churn");
    env.insert("PVRJ_TEST_DRAG", "20,20");  // on item 0; every item is selected after opening
    QString asan = env.value("ASAN_OPTIONS");
    env.insert("ASAN_OPTIONS", asan + (asan.isEmpty() ? "" : ":") + "verify_asan_link_order=0");
    process.setProcessEnvironment(env);
    process.setReadChannel(QProcess::StandardError);
    log_.clear();
    process.start(QStringLiteral(PVRJ_EDITOR_EXE), {chartFile});
    QVERIFY(process.waitForStarted(kProgramDeadlineMs));
  }

  bool waitForLog(QProcess& process, const QString& line) {
    QDeadlineTimer deadline(kProgramDeadlineMs);
    while (!log_.contains(line)) {
      if (deadline.hasExpired() || process.state() == QProcess::NotRunning) break;
      process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
      log_ += QString::fromUtf8(process.readAllStandardError());
    }
    return log_.contains(line);
  }

  static QStringList temporaryFiles(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".autosave.VLB.*.tmp")},
                                  QDir::Files | QDir::Hidden);
  }

  // Waits until the count-th write is under way (its temporary file exists); the writes are one
  // after another, so the ones before it have finished.
  bool waitForWrite(const QString& folder, const QStringList& leftovers, int count) {
    QDeadlineTimer deadline(kProgramDeadlineMs);
    QStringList seen;
    while (!deadline.hasExpired()) {
      for (const QString& name : temporaryFiles(folder)) {
        if (seen.contains(name) || leftovers.contains(name)) continue;
        seen << name;
        if (seen.size() >= count) return true;
      }
      std::this_thread::sleep_for(kPollStep);  // polling the folder, with the deadline above
    }
    return false;
  }

  std::unique_ptr<QTemporaryDir> dir_;
  QString log_;
};

PVRJ_REGISTER_QTEST(AutosaveKillTest);

#include "AutosaveKillTest.moc"
