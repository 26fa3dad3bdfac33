// The main window's board image buttons and its checked writes, end to end with pvrj-board on a
// pseudo-terminal: the settings file's keys and the environment dialog's boxes for them, the file
// dialogs, the restore's choice and the refusal of a damaged file.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "QtTestRunner.h"
#include "app/BoardActions.h"
#include "app/FlowToolBar.h"
#include "app/Main_u.h"
#include "app/PrefsActions.h"
#include "common/Settings.h"
#include "compiler/BoardImage.h"
#include "prefs/FormDlg_u.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

constexpr int kBoardStartMs = 10000;
constexpr int kComNumber = 8;

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

// What the dialogs of one button press were answered with, and the boxes they showed (answered
// Yes, or with their only button).
struct Script {
  QString file;       // chosen in a file dialog
  int slot = 0;       // chosen in a slot or restore prompt
  QStringList boxes;  // texts of the message boxes, answered with their first button
  int prompts = 0;
};

void answer(Script& script) {
  setDialogAnswerer([&script](QDialog& d) {
    if (auto* files = qobject_cast<QFileDialog*>(&d)) {
      files->selectFile(script.file);
      d.accept();  // the file dialog's own accept, through its public base
    } else if (auto* prompt = qobject_cast<NumberPromptDialog*>(&d)) {
      ++script.prompts;
      prompt->list()->setCurrentIndex(script.slot);
      prompt->okButton()->click();
    } else if (auto* box = qobject_cast<QMessageBox*>(&d)) {
      script.boxes << box->text();
      QAbstractButton* yes = box->button(QMessageBox::Yes);
      (yes ? yes : box->buttons().first())->click();
    } else {
      d.reject();
    }
  });
}

class BoardImageButtonsTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    qputenv("PVRJ_SETTINGS_DIR", dir_->path().toUtf8());
    qputenv("XDG_STATE_HOME", (dir_->path() + "/state").toUtf8());
  }
  void cleanup() {
    setDialogAnswerer(nullptr);
    if (board_) {
      board_->kill();
      board_->waitForFinished();
      board_.reset();
    }
    qunsetenv("PVRJ_SETTINGS_DIR");
    qunsetenv("XDG_STATE_HOME");
    dir_.reset();
  }

  void buttonsCloseTheCommandBar() {
    TPivora3 w;
    auto* actions = new BoardActions(w, socketName());
    const QList<QAction*> bar = w.commandBar->actions();
    QVERIFY(bar.size() >= 2);
    QCOMPARE(bar.at(bar.size() - 2), actions->BackupBtn);
    QCOMPARE(bar.last(), actions->RestoreBtn);
    QCOMPARE(actions->BackupBtn->objectName(), QStringLiteral("BackupBtn"));
    QCOMPARE(actions->BackupBtn->toolTip(),
             QStringLiteral("ボードの内容をファイルに保存するボタン"));
    QCOMPARE(actions->RestoreBtn->toolTip(),
             QStringLiteral("保存したボードの内容を書き戻すボタン"));
  }

  void checkedWriteFollowsTheSettingsFile() {
    // Sleep 1-5, the slot's entry 6, the records 7-9: the second record is stored spoiled.
    if (!startBoard({"--fault", "8:corrupt"})) QSKIP("pvrj-board is not available");
    {
      TPivora3 w;
      auto* actions = new BoardActions(w, socketName());
      walkChart(w.chart());
      Script script;
      answer(script);
      w.MotWriteBtn->trigger();
      QCOMPARE(script.boxes.size(), 1);
      QVERIFY2(script.boxes[0].startsWith(
                   QStringLiteral("書き込んだデータを読み返すと、M1の2個目のデータが")),
               qPrintable(script.boxes[0]));
      QCOMPARE(actions->table().row(0).count, std::string("0"));
    }
    // With the check turned off in the settings file, the same write goes through.
    if (!startBoard({"--fault", "8:corrupt"})) QSKIP("pvrj-board is not available");
    QFile ini(dir_->path() + "/PVR3J.ini");
    QVERIFY(ini.open(QIODevice::Append));
    ini.write("VerifyWrites=0\r\n");
    ini.close();
    TPivora3 w;
    new BoardActions(w, socketName());
    walkChart(w.chart());
    Script script;
    answer(script);
    w.MotWriteBtn->trigger();
    QVERIFY2(script.boxes.isEmpty(), qPrintable(script.boxes.join('\n')));
    QVERIFY2(w.statusLine->text().endsWith(QStringLiteral("> 書込成功")),
             qPrintable(w.statusLine->text()));
  }

  void backupAndRestoreThroughTheWindow() {
    if (!startBoard()) QSKIP("pvrj-board is not available");
    TPivora3 w;
    auto* actions = new BoardActions(w, socketName());
    walkChart(w.chart());
    Script script;
    answer(script);
    w.MotWriteBtn->trigger();
    QCOMPARE(actions->table().row(0).count, std::string("3"));

    script.file = dir_->path() + "/board.pvb";
    actions->BackupBtn->trigger();
    QVERIFY2(w.statusLine->text().endsWith(QStringLiteral("> ボードイメージを保存しました: ") +
                                           script.file),
             qPrintable(w.statusLine->text()));
    Result<BoardImage> image = loadBoardImage(script.file.toStdString());
    QVERIFY(image);
    QCOMPARE(static_cast<int>(image->entries[0][0]), 3);

    w.MotDelBtn->trigger();  // deletes M1 (entry 0), asked and answered Yes
    QCOMPARE(actions->table().row(0).count, std::string("0"));

    script.prompts = 0;
    script.slot = 1;  // motions and scenarios only
    actions->RestoreBtn->trigger();
    QCOMPARE(script.prompts, 1);
    QVERIFY2(w.statusLine->text().endsWith(QStringLiteral("> ボードイメージを書き戻しました: ") +
                                           script.file),
             qPrintable(w.statusLine->text()));
    QCOMPARE(actions->table().row(0).count, std::string("3"));
    QVERIFY(actions->progressBar()->isHidden());
  }

  void environmentBoxesKeepTheSafetyKeys() {
    qputenv("XDG_DATA_HOME", (dir_->path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (dir_->path() + "/config").toUtf8());
    TPivora3 w;
    auto* prefs = new PrefsActions(w);
    TFormDlg& form = prefs->formDlg();
    form.FormActivate();
    auto* verify = form.findChild<QCheckBox*>(QStringLiteral("VerifyWrites"));
    auto* keep = form.findChild<QCheckBox*>(QStringLiteral("KeepOverwritten"));
    QVERIFY(verify && keep);
    QCOMPARE(verify->text(), QStringLiteral("書き込み後に照合する"));
    QCOMPARE(keep->text(), QStringLiteral("上書きされるモーションを保存する"));
    QVERIFY(verify->isChecked() && keep->isChecked());  // on in a fresh settings file

    verify->setChecked(false);
    form.ReWriteBtnClick();
    const std::string ini = w.settingsPath();
    QCOMPARE(readSafetySettings(ini), (SafetySettings{false, true}));
    // The dialog shows what the file says at its next activation.
    QVERIFY(writeSafetySettings(ini, {true, false}));
    form.FormActivate();
    QVERIFY(verify->isChecked());
    QVERIFY(!keep->isChecked());
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
  }

  void damagedImageIsRefusedBeforeAnythingIsAsked() {
    TPivora3 w;
    auto* actions = new BoardActions(w, socketName());
    QFile file(dir_->path() + "/half.pvb");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[PivoraBoardImage]\r\nFormat=1\r\n[Table]\r\nM1=00\r\n");
    file.close();
    Script script;
    script.file = file.fileName();
    answer(script);
    actions->RestoreBtn->trigger();
    QCOMPARE(script.prompts, 0);
    QCOMPARE(script.boxes.size(), 1);
    QVERIFY2(script.boxes[0].startsWith(QStringLiteral("ボードイメージ ") + script.file +
                                        QStringLiteral(" は使えません: 壊れています")),
             qPrintable(script.boxes[0]));
  }

 private:
  QString socketName() const { return dir_->path() + QStringLiteral("/requests"); }

  bool startBoard(const QStringList& extraArgs = {}) {
    if (!QFile::exists(PVRJ_BOARD_EXE)) return false;
    if (board_) {
      board_->kill();
      board_->waitForFinished();
    }
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

PVRJ_REGISTER_QTEST(BoardImageButtonsTest);
#include "BoardImageButtonsTest.moc"
