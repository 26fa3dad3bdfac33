// Window tests of the environment settings: loading at activation, applying with "更新", the
// 100-pixel rule, grid steps typed as letters, the chart files' association in temporary XDG
// folders, further on/off settings, and the main window's environment button.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <map>
#include <memory>

#include "QtTestRunner.h"
#include "app/ChartCanvas.h"
#include "app/FlowToolBar.h"
#include "app/Main_u.h"
#include "app/PrefsActions.h"
#include "chart/ChartEditor.h"
#include "prefs/FormDlg_u.h"
#include "tests/support/FakeUserInterface.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

// The main window as far as the dialog sees it.
class FakeHost : public EnvironmentHost {
 public:
  QSize size{640, 480};
  int stepX = 10;
  int stepY = 10;
  std::map<QString, bool> bars{
      {"CommandMenu", true}, {"PartsMenu", true}, {"CommMenu", true}, {"ToolsMenu", true}};
  int sizeChanges = 0;

  QSize canvasSize() const override { return size; }
  void setCanvasSize(int width, int height) override {
    size = QSize(width, height);
    ++sizeChanges;
  }
  int gridStepX() const override { return stepX; }
  int gridStepY() const override { return stepY; }
  void setGridSteps(int x, int y) override {
    stepX = std::max(x, 2);
    stepY = std::max(y, 2);
  }
  bool toolBarShown(const QString& name) const override { return bars.at(name); }
  void showToolBar(const QString& name, bool shown) override { bars.at(name) = shown; }
};

struct Rig {
  QTemporaryDir dir;
  FakeHost host;
  test::FakeUserInterface ui;
  TFormDlg dialog{host, ui};
  FileAssociation association;

  Rig()
      : association({(dir.path() + "/data").toStdString(), (dir.path() + "/config").toStdString()},
                    "/usr/bin/PVRJ") {
    association.runHelpers = false;
    dialog.setAssociation(association);
  }
  void type(const QString& width, const QString& height, const QString& x, const QString& y) {
    dialog.FormWidth->setText(width);
    dialog.FormHeight->setText(height);
    dialog.GridX->setText(x);
    dialog.GridY->setText(y);
  }
};

class FormDlgTest : public QObject {
  Q_OBJECT
 private slots:
  void cleanup() { setDialogAnswerer(nullptr); }

  void controlsAsNamed() {
    Rig r;
    QCOMPARE(r.dialog.windowTitle(), QString("Pivora Type3Jの設定"));
    const std::pair<const char*, const char*> texts[] = {
        {"Label4", "広さ"},
        {"Label5", "横幅"},
        {"Label6", "高さ"},
        {"Label3", "グリッドの間隔"},
        {"Label1", "X"},
        {"Label2", "Y"},
        {"Label7", "表示"},
        {"FileIcon", "VLBのファイルアイコンを表示する"},
        {"ViewCmdMenu", "ツールメニュー"},
        {"ViewPartMenu", "パーツメニュー"},
        {"ViewCommMenu", "通信設定"},
        {"ViewToolMenu", "コマンドメニュー"},
        {"ReWriteBtn", "更新"}};
    for (const auto& [name, text] : texts) {
      QWidget* w = r.dialog.findChild<QWidget*>(name);
      QVERIFY2(w, name);
      const QString shown = w->property("text").toString();
      QCOMPARE(shown, QString(text));
    }
    for (const char* name : {"FormWidth", "FormHeight", "GridX", "GridY"}) {
      QVERIFY2(r.dialog.findChild<QLineEdit*>(name), name);
    }
  }

  void activationLoadsTheMainWindowsState() {
    Rig r;
    r.host.size = QSize(800, 600);
    r.host.stepX = 4;
    r.host.stepY = 6;
    r.host.bars["CommandMenu"] = false;
    r.host.bars["CommMenu"] = false;
    r.dialog.FormActivate();
    QCOMPARE(r.dialog.FormWidth->text(), QString("800"));
    QCOMPARE(r.dialog.FormHeight->text(), QString("600"));
    QCOMPARE(r.dialog.GridX->text(), QString("4"));
    QCOMPARE(r.dialog.GridY->text(), QString("6"));
    QVERIFY(!r.dialog.FileIcon->isChecked());
    // The crossed wording: "ツールメニュー" is the command bar, "コマンドメニュー" the tools bar.
    QVERIFY(!r.dialog.ViewCmdMenu->isChecked());
    QVERIFY(r.dialog.ViewPartMenu->isChecked());
    QVERIFY(!r.dialog.ViewCommMenu->isChecked());
    QVERIFY(r.dialog.ViewToolMenu->isChecked());
    QVERIFY(r.association.RegisterAssociation(true).ok());
    r.dialog.FormActivate();
    QVERIFY(r.dialog.FileIcon->isChecked());
  }

  void updateAppliesEverythingAndCloses() {
    Rig r;
    r.dialog.FormActivate();
    r.type("100", "100", "8", "1");
    r.dialog.FileIcon->setChecked(true);
    r.dialog.ViewToolMenu->setChecked(false);
    r.dialog.ViewPartMenu->setChecked(false);
    r.dialog.ReWriteBtnClick();
    QCOMPARE(r.dialog.result(), int(QDialog::Accepted));
    QCOMPARE(r.host.size, QSize(100, 100));
    QCOMPARE(r.host.stepX, 8);
    QCOMPARE(r.host.stepY, 2);
    QVERIFY(r.association.IsAssociationRegistered());
    QVERIFY(!r.host.bars["ToolsMenu"]);
    QVERIFY(!r.host.bars["PartsMenu"]);
    QVERIFY(r.host.bars["CommandMenu"]);
    QVERIFY(r.ui.statuses.empty());

    r.dialog.FormActivate();
    r.dialog.FileIcon->setChecked(false);
    r.dialog.ReWriteBtnClick();
    QVERIFY(!r.association.IsAssociationRegistered());
  }

  void aSizeBelow100AppliesNothingAtAll() {
    const std::pair<const char*, const char*> sizes[] = {
        {"99", "100"}, {"100", "99"}, {"abc", "480"}, {"640", ""}};
    for (const auto& [width, height] : sizes) {
      Rig r;
      r.dialog.FormActivate();
      r.type(width, height, "20", "20");
      r.dialog.FileIcon->setChecked(true);
      r.dialog.ViewCmdMenu->setChecked(false);
      r.dialog.ReWriteBtnClick();
      QCOMPARE(r.dialog.result(), int(QDialog::Accepted));  // closed all the same
      QCOMPARE(r.host.sizeChanges, 0);
      QCOMPARE(r.host.stepX, 10);
      QVERIFY(!r.association.IsAssociationRegistered());
      QVERIFY(r.host.bars["CommandMenu"]);
    }
  }

  void aGridStepTypedAsALetterKeepsTheCurrentStep() {
    Rig r;
    r.host.stepX = 7;
    r.dialog.FormActivate();
    r.type("640", "480", "x", "12");
    r.dialog.ReWriteBtnClick();
    QCOMPARE(r.host.stepX, 7);
    QCOMPARE(r.host.stepY, 12);
  }

  void updateWithTheBoxTickedWritesTheAssociationAgain() {
    Rig r;
    QVERIFY(r.association.RegisterAssociation(true).ok());
    const std::filesystem::path entry = r.association.desktopEntryPath();
    std::filesystem::remove(entry);
    r.dialog.FormActivate();
    QVERIFY(r.dialog.FileIcon->isChecked());
    r.dialog.ReWriteBtnClick();
    QVERIFY(std::filesystem::exists(entry));
  }

  void aFailedRegistrationIsToldInTheStatusLine() {
    Rig r;
    QVERIFY(QDir().mkpath(r.dir.path() + "/data"));
    QFile blocker(r.dir.path() + "/data/applications");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    r.dialog.FormActivate();
    r.dialog.FileIcon->setChecked(true);
    r.dialog.ReWriteBtnClick();
    QCOMPARE(r.ui.statuses.size(), std::size_t{1});
    QVERIFY(QString::fromStdString(r.ui.statuses[0]).startsWith(kAssociationFailed));
    r.dialog.FormActivate();
    QVERIFY(!r.dialog.FileIcon->isChecked());
  }

  void becomingActiveAgainReloadsTypedValues() {
    Rig r;
    QWidget other;
    other.show();
    r.dialog.show();
    QApplication::setActiveWindow(&r.dialog);
    QVERIFY(QTest::qWaitFor([&] { return r.dialog.isActiveWindow(); }));
    r.type("1234", "999", "5", "5");
    QApplication::setActiveWindow(&other);
    QVERIFY(QTest::qWaitFor([&] { return other.isActiveWindow(); }));
    r.host.size = QSize(700, 500);
    QApplication::setActiveWindow(&r.dialog);
    QVERIFY(QTest::qWaitFor([&] { return r.dialog.isActiveWindow(); }));
    QCOMPARE(r.dialog.FormWidth->text(), QString("700"));
    QCOMPARE(r.dialog.FormHeight->text(), QString("500"));
    QCOMPARE(r.dialog.GridX->text(), QString("10"));
    r.dialog.hide();
  }

  void furtherSettingsJoinAsOptions() {
    Rig r;
    bool stored = true;
    QCheckBox* box = r.dialog.addOption(
        "VerifyBox", "照合", [&] { return stored; }, [&](bool on) { stored = on; });
    QCOMPARE(box->objectName(), QString("VerifyBox"));
    r.dialog.FormActivate();
    QVERIFY(box->isChecked());
    box->setChecked(false);
    r.type("640", "480", "10", "10");
    r.dialog.ReWriteBtnClick();
    QVERIFY(!stored);
    stored = true;
    r.dialog.FormActivate();
    box->setChecked(false);
    r.type("10", "480", "10", "10");
    r.dialog.ReWriteBtnClick();
    QVERIFY(stored);  // refused with the rest
  }

  void environmentButtonOfTheMainWindow() {
    QTemporaryDir settings;
    qputenv("PVRJ_SETTINGS_DIR", settings.path().toUtf8());
    qputenv("XDG_DATA_HOME", (settings.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (settings.path() + "/config").toUtf8());
    {
      TPivora3 w;
      auto* actions = new PrefsActions(w);
      QCOMPARE(w.FormBtn->toolTip(), QString("環境設定ボタン"));
      w.chart().createItem(kItemPos, 50, 50);
      w.Link1Btn->trigger();
      w.canvas->editor().mouseDown(kMouseLeft, {60, 60}, kMouseLeft);
      QCOMPARE(w.canvas->editor().lineOrigin(), 0);
      setDialogAnswerer([](QDialog& d) {
        auto& form = static_cast<TFormDlg&>(d);
        form.FormWidth->setText("900");
        form.FormHeight->setText("700");
        form.GridX->setText("16");
        form.ViewCmdMenu->setChecked(false);
        form.ViewCommMenu->setChecked(false);
        form.ReWriteBtnClick();
      });
      w.FormBtn->trigger();
      QVERIFY(actions->formDlg().isHidden());
      QVERIFY(w.SelectBtn->isChecked());
      QCOMPARE(w.canvas->editor().toolMode(), int(kToolSelect));
      QCOMPARE(w.canvas->editor().lineOrigin(), -1);
      QCOMPARE(w.chart().Width, 900);
      QCOMPARE(w.chart().Height, 700);
      QCOMPARE(w.canvas->editor().gridStepX(), 16);
      QVERIFY(w.commandBar->isHidden());
      QVERIFY(w.commBar->isHidden());
      QVERIFY(!w.toolsBar->isHidden());
      QVERIFY(!w.toolBarShown("CommandMenu"));
      QVERIFY(w.toolBarShown("PartsMenu"));

      // Closing without "更新" applies nothing.
      setDialogAnswerer([](QDialog& d) {
        auto& form = static_cast<TFormDlg&>(d);
        form.FormWidth->setText("300");
        form.ViewCmdMenu->setChecked(true);
        d.reject();
      });
      w.FormBtn->trigger();
      QCOMPARE(w.chart().Width, 900);
      QVERIFY(w.commandBar->isHidden());
    }
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("PVRJ_SETTINGS_DIR");
  }
};

}  // namespace

PVRJ_REGISTER_QTEST(FormDlgTest);
#include "FormDlgTest.moc"
