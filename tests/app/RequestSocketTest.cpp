// The request socket: its place, its request lines, its removal, and requests held while the
// editor is busy.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "EventLoopWait.h"
#include "QtTestRunner.h"
#include "app/RequestSocket.h"
#include "app/SingleInstance.h"

using namespace pvrj;

namespace {

constexpr int kDeadlineMs = 10000;

using test::flushPostedEvents;
using test::runLoopUntil;

bool isSocketFile(const QString& path) {
  struct stat st {};
  return ::stat(path.toLocal8Bit().constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

class RequestSocketTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    savedRuntime_ = qgetenv("XDG_RUNTIME_DIR");
    hadRuntime_ = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
  }
  void cleanup() {
    if (hadRuntime_) {
      qputenv("XDG_RUNTIME_DIR", savedRuntime_);
    } else {
      qunsetenv("XDG_RUNTIME_DIR");
    }
    dir_.reset();
  }

  void playRequestsAreDecimalSlotNumbers() {
    QCOMPARE(parsePlayRequest("84\n").value_or(0), 84u);
    QCOMPARE(parsePlayRequest("4").value_or(0), 4u);
    QCOMPARE(parsePlayRequest(" 4294967295 ").value_or(0), 4294967295u);
    const char* refused[] = {"4294967296", "-1", "8a", "", "\n", "open 4", "00000000000000004"};
    for (const char* line : refused) QVERIFY2(!parsePlayRequest(line), line);
  }

  void openRequestsCarryAnAbsolutePath() {
    const QString paths[] = {QStringLiteral("/home/a/walk.VLB"), QStringLiteral("/tmp/a b%\n.vlb"),
                             QStringLiteral("/tmp/歩く.VLB")};
    for (const QString& path : paths) {
      const QByteArray line = openRequestLine(path);
      QVERIFY(line.endsWith('\n'));
      QCOMPARE(line.count('\n'), 1);  // nothing in the name ends the line early
      QCOMPARE(parseOpenRequest(line).value_or(QString()), path);
    }
    const char* refused[] = {"open walk.VLB\n",
                             "open file:walk.VLB\n",
                             "open http://example.org/a.VLB\n",
                             "open file://host/a.VLB\n",
                             "open\n",
                             "4\n",
                             "OPEN file:///a.VLB\n",
                             "open file:///a%zz.VLB\n"};
    for (const char* line : refused) QVERIFY2(!parseOpenRequest(line), line);
  }

  void socketAndLockLiveInTheRuntimeFolderOrElseTheSettingsFolder() {
    const std::string settings = (dir_->path() + "/settings").toStdString();
    const QString runtime = dir_->path() + "/run";
    QVERIFY(QDir().mkpath(runtime));
    const QString name = QStringLiteral("pivora-j-play-%1").arg(::getuid());

    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    QCOMPARE(requestSocketPath(settings), runtime + "/" + name);
    QCOMPARE(QString::fromStdString(instanceLockPath(settings)), runtime + "/PVR3.lock");

    qunsetenv("XDG_RUNTIME_DIR");
    QCOMPARE(requestSocketPath(settings), QString::fromStdString(settings) + "/" + name);
    QCOMPARE(QString::fromStdString(instanceLockPath(settings)),
             QString::fromStdString(settings) + "/PVR3.lock");

    // A runtime folder that is not there does not count.
    qputenv("XDG_RUNTIME_DIR", (runtime + "/missing").toUtf8());
    QCOMPARE(requestSocketPath(settings), QString::fromStdString(settings) + "/" + name);
  }

  void socketFileGoesAwayWithTheEditor() {
    const QString path = dir_->path() + "/requests";
    {
      RequestSocket requests(path, nullptr);
      QVERIFY(requests.listening());
      QVERIFY(isSocketFile(path));
      requests.close();
      QVERIFY(!QFileInfo::exists(path));
    }
    {
      RequestSocket requests(path, nullptr);
      QVERIFY(isSocketFile(path));
    }
    QVERIFY(!QFileInfo::exists(path));
  }

  void socketLeftByAnEditorThatDiedIsReplaced() {
    const QString path = dir_->path() + "/requests";
    // A bound socket whose owner is gone: the file stays behind.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray local = path.toLocal8Bit();
    std::memcpy(address.sun_path, local.constData(), static_cast<std::size_t>(local.size()));
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    QVERIFY(isSocketFile(path));

    RequestSocket requests(path, nullptr);
    QVERIFY(requests.listening());
    std::vector<std::uint32_t> played;
    requests.play = [&](std::uint32_t slot) { played.push_back(slot); };
    QLocalSocket client;
    client.connectToServer(path);
    QVERIFY(client.waitForConnected(kDeadlineMs));
    client.write("3\n");
    client.flush();
    QVERIFY(QTest::qWaitFor([&] { return !played.empty(); }, kDeadlineMs));
    QCOMPARE(played, std::vector<std::uint32_t>{3});
  }

  void requestsWaitWhileBusyAndTheLatestPlayWins() {
    const QString path = dir_->path() + "/requests";
    RequestSocket requests(path, nullptr);
    bool busy = true;
    int busyChecks = 0;
    std::vector<QString> done;
    std::vector<std::string> statuses;
    requests.busy = [&] {
      ++busyChecks;
      return busy;
    };
    requests.play = [&](std::uint32_t slot) { done.push_back(QString::number(slot)); };
    requests.open = [&](const QString& file) { done.push_back(file); };
    requests.showStatus = [&](const std::string& text) { statuses.push_back(text); };

    QLocalSocket client;
    client.connectToServer(path);
    QVERIFY(client.waitForConnected(kDeadlineMs));
    client.write("4\n");
    client.write(openRequestLine("/tmp/a.VLB"));
    client.write("7\n85\n");
    client.write(openRequestLine("/tmp/b.VLB"));
    client.flush();
    // Both files are taken at once and answered.
    QVERIFY(QTest::qWaitFor([&] { return requests.heldOpens() == 2; }, kDeadlineMs));
    QVERIFY(QTest::qWaitFor([&] { return client.bytesAvailable() >= 6; }, kDeadlineMs));
    QCOMPARE(client.readAll(), QByteArray("ok\nok\n"));
    // 85 is no slot and does not displace 7.
    QCOMPARE(requests.heldPlay().value_or(0), 7u);
    QCOMPARE(statuses.back(), std::string("M8 の再生は今の処理が終わってから行います"));
    // The editor tries again when it goes idle, finds itself busy, and carries nothing out.
    const int checks = busyChecks;
    QVERIFY(runLoopUntil([&] { return busyChecks > checks + 1; }));
    QVERIFY(done.empty());

    busy = false;
    QVERIFY(runLoopUntil([&] { return done.size() == 3; }));
    QCOMPARE(done, (std::vector<QString>{"/tmp/a.VLB", "/tmp/b.VLB", "7"}));
    QVERIFY(!requests.heldPlay());
    QCOMPARE(requests.heldOpens(), std::size_t{0});
  }

  void anOpenDialogHoldsRequestsUntilItCloses() {
    const QString path = dir_->path() + "/requests";
    RequestSocket requests(path, nullptr);
    std::vector<std::uint32_t> played;
    requests.play = [&](std::uint32_t slot) { played.push_back(slot); };
    QDialog dialog;
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    QLocalSocket client;
    client.connectToServer(path);
    QVERIFY(client.waitForConnected(kDeadlineMs));
    client.write("12\n");
    client.flush();
    QVERIFY(QTest::qWaitFor([&] { return requests.heldPlay().has_value(); }, kDeadlineMs));
    QVERIFY(played.empty());
    dialog.hide();
    QVERIFY(runLoopUntil([&] { return !played.empty(); }));
    QCOMPARE(played, std::vector<std::uint32_t>{12});
  }

  void aClosedSocketDropsWhatWasHeld() {
    const QString path = dir_->path() + "/requests";
    RequestSocket requests(path, nullptr);
    std::vector<std::uint32_t> played;
    requests.busy = [] { return true; };
    requests.play = [&](std::uint32_t slot) { played.push_back(slot); };
    QLocalSocket client;
    client.connectToServer(path);
    QVERIFY(client.waitForConnected(kDeadlineMs));
    client.write("2\n");
    client.flush();
    QVERIFY(QTest::qWaitFor([&] { return requests.heldPlay().has_value(); }, kDeadlineMs));
    requests.close();
    QVERIFY(!requests.heldPlay());
    QVERIFY(!QFileInfo::exists(path));
    requests.busy = [] { return false; };
    flushPostedEvents();
    QVERIFY(played.empty());
  }

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  QByteArray savedRuntime_;
  bool hadRuntime_ = false;
};

}  // namespace

PVRJ_REGISTER_QTEST(RequestSocketTest);
#include "RequestSocketTest.moc"
