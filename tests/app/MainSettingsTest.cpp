// Window-side tests of the settings file "PVR3J.ini" and the single-instance lock.
#include <sys/stat.h>

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>

#include "QtTestRunner.h"
#include "app/SingleInstance.h"
#include "common/FileIo.h"
#include "common/IniFile.h"
#include "common/Settings.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

std::string pathIn(const QTemporaryDir& dir, const char* name) {
  return (dir.path() + QLatin1Char('/') + QLatin1String(name)).toStdString();
}

void writeText(const std::string& path, const std::string& utf8) {
  QVERIFY(writeTextFile(path, utf8).ok());
}

}  // namespace

class MainSettingsTest : public QObject {
  Q_OBJECT
 private slots:
  void missingFileGivesDefaults() {
    QTemporaryDir dir;
    const MainSettings s = readMainSettings(pathIn(dir, "PVR3J.ini"));
    QCOMPARE(s, MainSettings{});
    QCOMPARE(s.gridWidth, 10);
    QCOMPARE(s.gridHeight, 10);
    QCOMPARE(s.commPort, 0);
    QVERIFY(!s.grid);
  }

  void missingGridStepIsTenAndAStoredOneIsKept_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("no steps") << "[PVR3]\r\nGrid=1\r\n" << 10 << 10;
    QTest::newRow("width only") << "[PVR3]\r\nGridWidth=4\r\n" << 4 << 10;
    QTest::newRow("height only") << "[PVR3]\r\nGridHeight=2\r\n" << 10 << 2;
    QTest::newRow("both") << "[PVR3]\r\nGridWidth=2\r\nGridHeight=16\r\n" << 2 << 16;
    QTest::newRow("other section") << "[Other]\r\nGridWidth=4\r\n" << 10 << 10;
  }
  void missingGridStepIsTenAndAStoredOneIsKept() {
    QFETCH(QString, text);
    QFETCH(int, x);
    QFETCH(int, y);
    QTemporaryDir dir;
    const std::string path = pathIn(dir, "PVR3J.ini");
    writeText(path, text.toStdString());
    const MainSettings s = readMainSettings(path);
    QCOMPARE(s.gridWidth, x);
    QCOMPARE(s.gridHeight, y);
  }

  void roundTripKeepsForeignKeysAndSections() {
    QTemporaryDir dir;
    const std::string path = pathIn(dir, "PVR3J.ini");
    writeText(
        path,
        "[PVR3]\r\nBmp=C:\\robot\\背景.bmp\r\nGrid=0\r\nBackground=1\r\nForm=10,20,300,400\r\n"
        "CH1=右肩,120,40\r\nCH24=左足首,80,400\r\n\r\n[Other]\r\nKeep=yes\r\n\r\n");
    MainSettings s;
    s.grid = true;
    s.gridWidth = 8;
    s.gridHeight = 12;
    s.commPort = 3;
    QVERIFY(writeMainSettings(path, s));
    QCOMPARE(readMainSettings(path), s);

    Result<IniFile> ini = IniFile::load(path);
    QVERIFY(ini.ok());
    QCOMPARE(ini->readString("PVR3", "Bmp", ""), std::string("C:\\robot\\背景.bmp"));
    QCOMPARE(ini->readString("PVR3", "Form", ""), std::string("10,20,300,400"));
    QCOMPARE(ini->readString("PVR3", "CH1", ""), std::string("右肩,120,40"));
    QCOMPARE(ini->readString("PVR3", "CH24", ""), std::string("左足首,80,400"));
    QCOMPARE(ini->readString("PVR3", "Background", ""), std::string("1"));
    QCOMPARE(ini->readString("Other", "Keep", ""), std::string("yes"));
    QCOMPARE(ini->readString("PVR3", "Grid", ""), std::string("1"));
    QCOMPARE(ini->readString("PVR3", "GridWidth", ""), std::string("8"));
    QCOMPARE(ini->readString("PVR3", "GridHeight", ""), std::string("12"));
    QCOMPARE(ini->readString("PVR3", "CommPort", ""), std::string("3"));

    // Written as CP932 with CR LF, as every text file of the program.
    Result<std::string> bytes = readFileBytes(path);
    QVERIFY(bytes.ok());
    QVERIFY(bytes->find("\r\n") != std::string::npos);
    QVERIFY(bytes->find("\xe5\x8f\xb3") == std::string::npos);  // no UTF-8 "右"
    QVERIFY(bytes->find("\x89\x45") != std::string::npos);      // CP932 "右"
  }

  void settingsFileSitsInTheSettingsFolder() {
    QCOMPARE(mainSettingsPath("/home/u/.config/pivora"),
             std::string("/home/u/.config/pivora/PVR3J.ini"));
    QCOMPARE(mainSettingsPath("/opt/pvrj/"), std::string("/opt/pvrj/PVR3J.ini"));
  }

  void writingCreatesAnAbsentFile() {
    QTemporaryDir dir;
    const std::string path = pathIn(dir, "PVR3J.ini");
    MainSettings s;
    s.commPort = 20;
    QVERIFY(writeMainSettings(path, s));
    QCOMPARE(readMainSettings(path).commPort, 20);
  }

  void smallGridStepsBecomeTwo_data() {
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("one and zero") << "1"
                                  << "0" << 2 << 2;
    QTest::newRow("negative") << "-7"
                              << "5" << 2 << 5;
    QTest::newRow("not a number") << "abc"
                                  << "16" << 2 << 16;
    QTest::newRow("hexadecimal") << "0x10"
                                 << "3" << 16 << 3;
  }
  void smallGridStepsBecomeTwo() {
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(int, x);
    QFETCH(int, y);
    QTemporaryDir dir;
    const std::string path = pathIn(dir, "PVR3J.ini");
    writeText(path, "[PVR3]\r\nGrid=1\r\nGridWidth=" + width.toStdString() +
                        "\r\nGridHeight=" + height.toStdString() + "\r\n");
    const MainSettings s = readMainSettings(path);
    QVERIFY(s.grid);
    QCOMPARE(s.gridWidth, x);
    QCOMPARE(s.gridHeight, y);
    // A step below 2 handed to the writer is stored as 2 as well.
    MainSettings tiny;
    tiny.gridWidth = 0;
    tiny.gridHeight = 1;
    QVERIFY(writeMainSettings(path, tiny));
    QCOMPARE(readMainSettings(path).gridWidth, 2);
    QCOMPARE(readMainSettings(path).gridHeight, 2);
  }

  void portIndexOutsideTheListIsOff_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("port");
    QTest::newRow("COM3") << "3" << 3;
    QTest::newRow("COM20") << "20" << 20;
    QTest::newRow("21") << "21" << 0;
    QTest::newRow("-1") << "-1" << 0;
    QTest::newRow("junk") << "COM3" << 0;
  }
  void portIndexOutsideTheListIsOff() {
    QFETCH(QString, stored);
    QFETCH(int, port);
    QTemporaryDir dir;
    const std::string path = pathIn(dir, "PVR3J.ini");
    writeText(path, "[pvr3]\r\ncommport=" + stored.toStdString() + "\r\n");
    QCOMPARE(readMainSettings(path).commPort, port);
  }

  void unwritablePlaceFailsQuietly() {
    QTemporaryDir dir;
    // A file where the folder should be: nothing can be created below it, not even by root.
    const std::string blocker = pathIn(dir, "blocker");
    writeText(blocker, "x");
    const std::string path = blocker + "/PVR3J.ini";
    QVERIFY(!writeMainSettings(path, MainSettings{}));
    QCOMPARE(readMainSettings(path), MainSettings{});
  }

  void unreadableFileIsNotReplaced() {
    QTemporaryDir dir;
    // A folder by the settings file's name cannot be read as a file; it must stay as it is.
    const std::string path = pathIn(dir, "PVR3J.ini");
    QVERIFY(QDir().mkpath(QString::fromStdString(path)));
    QVERIFY(!writeMainSettings(path, MainSettings{}));
    QVERIFY(QFileInfo(QString::fromStdString(path)).isDir());
  }

  void secondLockHolderIsRefused() {
    QTemporaryDir dir;
    const std::string path = pathIn(dir, "PVR3.lock");
    auto first = std::make_unique<SingleInstanceLock>(path);
    QVERIFY(first->tryLock());
    QVERIFY(first->locked());
    SingleInstanceLock second(path);
    QVERIFY(!second.tryLock());
    QVERIFY(second.error().empty());  // refused because of the holder, not an error
    QVERIFY(!second.locked());
    first.reset();  // the first instance ends: its lock goes with it
    QVERIFY(second.tryLock());
  }

  void lockWithoutAPlaceReportsAnError() {
    QTemporaryDir dir;
    const std::string blocker = pathIn(dir, "blocker");
    writeText(blocker, "x");
    SingleInstanceLock lock(blocker + "/PVR3.lock");
    QVERIFY(!lock.tryLock());
    QVERIFY(!lock.error().empty());
  }

  void lockFileLivesInTheRuntimeFolder() {
    QTemporaryDir runtime;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    QCOMPARE(instanceLockPath("/settings"), pathIn(runtime, "PVR3.lock"));
    qunsetenv("XDG_RUNTIME_DIR");
    QCOMPARE(instanceLockPath("/settings"), std::string("/settings/PVR3.lock"));
    QCOMPARE(instanceLockPath("/settings/"), std::string("/settings/PVR3.lock"));
    qputenv("XDG_RUNTIME_DIR", "/nonexistent-runtime-folder");
    QCOMPARE(instanceLockPath("/settings"), std::string("/settings/PVR3.lock"));
    if (saved.isNull()) {
      qunsetenv("XDG_RUNTIME_DIR");
    } else {
      qputenv("XDG_RUNTIME_DIR", saved);
    }
  }

  void refusalSaysSoUnderItsCaption() {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    setDialogAnswerer([&](QDialog& d) {
      auto& box = static_cast<QMessageBox&>(d);
      title = box.windowTitle();
      text = box.text();
      icon = box.icon();
      buttons = box.standardButtons();
      box.button(QMessageBox::Ok)->click();
    });
    showSecondInstanceRefusal();
    setDialogAnswerer({});
    QCOMPARE(title, QStringLiteral("申し訳ない"));
    QCOMPARE(text, QStringLiteral("二重起動は出来ないんです"));
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  }
};

PVRJ_REGISTER_QTEST(MainSettingsTest);
#include "MainSettingsTest.moc"
