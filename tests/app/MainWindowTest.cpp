// Window tests of the main window: layout, settings at start and exit, keys, files and quitting.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGlyphRun>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRawFont>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSet>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <memory>
#include <string>

#include "QtTestRunner.h"
#include "app/ChartCanvas.h"
#include "app/FlowToolBar.h"
#include "app/Main_u.h"
#include "app/SingleInstance.h"
#include "chart/ChartEditor.h"
#include "common/FileIo.h"
#include "common/IniFile.h"
#include "protocol/BoardMessages.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

const QString kWave = QStringLiteral(PVRJ_SOURCE_DIR "/examples/wave.vlb");

struct Asked {
  int count = 0;
  QString title;
  QString text;
  QMessageBox::StandardButtons buttons;
};

// Answers every message box with the given button and records the last one.
void answerBoxes(Asked& asked, QMessageBox::StandardButton answer) {
  setDialogAnswerer([&asked, answer](QDialog& d) {
    auto* box = qobject_cast<QMessageBox*>(&d);
    if (!box) {
      d.reject();
      return;
    }
    ++asked.count;
    asked.title = box->windowTitle();
    asked.text = box->text();
    asked.buttons = box->standardButtons();
    box->button(answer)->click();
  });
}

// The master side of a pseudo-terminal that stands in for the board's serial line.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ >= 0 && (grantpt(fd_) != 0 || unlockpt(fd_) != 0)) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~PseudoTerminal() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  QString slavePath() const { return QString::fromLocal8Bit(ptsname(fd_)); }
  bool send(const QByteArray& bytes) {
    return ::write(fd_, bytes.constData(), bytes.size()) == bytes.size();
  }

 private:
  int fd_ = -1;
};

// The tool bars' controls: bar, control, hint.
const char* const kToolBarControls[][3] = {
    {"ToolBar1", "OpenBtn", "ロードボタン"},
    {"ToolBar1", "SaveBtn", "セーブボタン"},
    {"ToolBar1", "FormBtn", "環境設定ボタン"},
    {"ToolBar1", "InfoBtn", "インフォメーションボタン"},
    {"ToolBar1", "ExitBtn", "終了ボタン"},
    {"PartsMenu", "SelectBtn", "選択ボタン"},
    {"PartsMenu", "GridSw", "グリッドスイッチ"},
    {"PartsMenu", "SetStartBtn", "始点配置ボタン"},
    {"PartsMenu", "SetItem1Btn", "ポジション配置ボタン"},
    {"PartsMenu", "SetItem2Btn", "設定値配置ボタン"},
    {"PartsMenu", "SetItem3Btn", "分岐配置ボタン"},
    {"PartsMenu", "Link1Btn", "接続配線ボタン"},
    {"PartsMenu", "Link2Btn", "分岐配線ボタン"},
    {"PartsMenu", "CompileBtn", "コンパイルボタン"},
    {"PartsMenu", "UndoBtn", "元に戻すボタン (Ctrl+Z)"},
    {"PartsMenu", "RedoBtn", "やり直しボタン (Ctrl+Shift+Z, Ctrl+Y)"},
    {"CommandMenu", "HomePosBtn", "ホームポジションボタン"},
    {"CommandMenu", "MotWriteBtn", "書込ボタン"},
    {"CommandMenu", "MotReadBtn", "読込ボタン"},
    {"CommandMenu", "MotDelBtn", "消去ボタン"},
    {"CommandMenu", "MotStpBtn", "停止ボタン"},
    {"CommandMenu", "SpeedButton1", "一時停止ボタン"},
    {"CommandMenu", "MotRunBtn", "再生ボタン"},
    {"ToolsMenu", "HomeBtn", "トリム調整ボタン"},
    {"ToolsMenu", "OptionBtn", "オプションボタン"},
    {"ToolsMenu", "AdBtn", "アナログボタン"},
    {"ToolsMenu", "QVSBtn", "ＱＶＳボタン"},
    {"ToolsMenu", "OptionMenu3", "受信機ボタン"},
    {"ToolsMenu", "TableBtn", "テーブルボタン"},
    {"CommMenu", "Sync", "シンクロスイッチ"},
    {"CommMenu", "CommPort", "シリアルポートメニュー"},
    {"StatusMenu", "Edit2", "ステータス"},
};

// Two POS items, both selected.
void twoSelectedItems(Chart& chart) {
  chart.createItem(kItemPos, 50, 50);
  chart.createItem(kItemPos, 150, 50);
  for (ChartItem& item : chart.items) item.Selected = true;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<QTemporaryDir> dir_;
  QString iniPath() const { return dir_->path() + QStringLiteral("/PVR3J.ini"); }
  void writeIni(const std::string& text) {
    QVERIFY(writeTextFile(iniPath().toStdString(), text).ok());
  }
  IniFile readIni() {
    Result<IniFile> ini = IniFile::load(iniPath().toStdString());
    return ini.ok() ? ini.value() : IniFile();
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    qputenv("PVRJ_SETTINGS_DIR", dir_->path().toUtf8());
    setDialogAnswerer([](QDialog& d) { d.reject(); });  // nothing may wait for a person
  }
  void cleanup() {
    setDialogAnswerer({});
    qunsetenv("PVRJ_SETTINGS_DIR");
    dir_.reset();
  }

  void windowIsLaidOutAsNamed() {
    TPivora3 w;
    QCOMPARE(w.objectName(), QStringLiteral("Pivora3"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Pivora J"));
    QCOMPARE(w.size(), QSize(650, 580));
    QCOMPARE(w.canvas->size(), QSize(640, 480));
    QCOMPARE(w.chart().Width, 640);
    QCOMPARE(w.chart().Height, 480);
    QCOMPARE(w.canvasScroll->widget(), static_cast<QWidget*>(w.canvas));
    QVERIFY(w.acceptDrops());

    const char* bars[][2] = {{"ToolBar1", "FILE"},      {"PartsMenu", "PARTS"},
                             {"CommandMenu", "Commad"}, {"ToolsMenu", "Tools"},
                             {"CommMenu", "COMM"},      {"StatusMenu", "STATUS"}};
    QCOMPARE(w.findChildren<FlowToolBar*>().size(), 6);
    for (auto& bar : bars) {
      auto* b = w.findChild<FlowToolBar*>(QLatin1String(bar[0]));
      QVERIFY2(b, bar[0]);
      QCOMPARE(b->windowTitle(), QString::fromUtf8(bar[1]));
    }

    QCOMPARE(w.pages->count(), 3);
    QCOMPARE(w.pages->tabText(0), QStringLiteral("EDIT 無題"));
    QCOMPARE(w.pages->tabText(1), QStringLiteral("LIST"));
    QVERIFY(w.pages->isTabVisible(0));
    QVERIFY(w.pages->isTabVisible(1));
    QVERIFY(!w.pages->isTabVisible(2));
    QCOMPARE(w.pages->widget(2), w.listingPage);
    QCOMPARE(w.listingView->columnCount(), 5);
    QCOMPARE(w.dumpView->editTriggers(), QAbstractItemView::NoEditTriggers);

    QCOMPARE(w.statusBar(), w.statusPanels);
    const int widths[] = {100, 100, 50};
    for (int i = 0; i < 3; ++i) {
      auto* panel = w.statusPanels->findChild<QLabel*>(QStringLiteral("StaBarPanel%1").arg(i));
      QVERIFY(panel);
      QVERIFY(panel->width() >= widths[i]);  // wider only where the text needs it
    }
    QCOMPARE(w.statusPanels->findChild<QLabel*>(QStringLiteral("StaBarPanel2"))->width(), 50);
    QCOMPARE(w.panelText(0), QStringLiteral("X = 0  Y = 0"));
    QCOMPARE(w.panelText(2), QString());

    QVERIFY(w.statusLine->isReadOnly());
    QCOMPARE(w.statusLine->toolTip(), QStringLiteral("ステータス"));
    w.statusLine->ensurePolished();
    QCOMPARE(w.statusLine->palette().color(QPalette::Text), QColor(0, 255, 0));
    QCOMPARE(w.statusLine->palette().color(QPalette::Base), QColor(0, 0, 128));
    QVERIFY(w.statusLine->font().bold());

    QCOMPARE(w.CommPort->count(), 21);
    QCOMPARE(w.CommPort->itemText(0), QStringLiteral("OFF"));
    QCOMPARE(w.CommPort->itemText(20), QStringLiteral("COM20"));
    QCOMPARE(w.GridSw->text(), QStringLiteral("GRID"));
    QCOMPARE(w.Sync->text(), QStringLiteral("SYNC"));
  }

  // Every control of the tool bars shows whole, its text inside its button, and nothing overlaps,
  // at the start size and when the window is made narrow: the bars and their buttons wrap.
  void toolBarsWrapAndNothingIsCut_data() {
    QTest::addColumn<int>("width");
    QTest::newRow("start size") << 650;
    QTest::newRow("450") << 450;
    QTest::newRow("400") << 400;
    QTest::newRow("narrower than any bar") << 200;
  }
  void toolBarsWrapAndNothingIsCut() {
    QFETCH(int, width);
    TPivora3 w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(width, 580);
    // A window cannot be made narrower than its widest control; below that it stays as narrow
    // as it can.
    QTRY_COMPARE(w.width(), std::max(width, w.minimumSizeHint().width()));
    QVERIFY(w.width() <= std::max(width, 400));
    QApplication::sendPostedEvents();
    w.layout()->activate();

    const QRect window = w.rect();
    const QRect pagesTop = QRect(w.pages->mapTo(&w, QPoint(0, 0)), w.pages->size());
    QList<QRect> placed;
    int controls = 0;
    for (const auto& row : kToolBarControls) {
      const QString name = QString::fromUtf8(row[1]);
      auto* bar = w.findChild<QWidget*>(QString::fromUtf8(row[0]));
      QVERIFY(bar);
      auto* control = bar->findChild<QWidget*>(name);
      QVERIFY2(control, qPrintable(name));
      ++controls;
      const QRect barRect(bar->mapTo(&w, QPoint(0, 0)), bar->size());
      QVERIFY2(window.contains(barRect), qPrintable(bar->objectName()));
      QVERIFY2(barRect.bottom() < pagesTop.top(), qPrintable(bar->objectName()));
      QVERIFY2(control->isVisible(), qPrintable(name));
      const QRect r(control->mapTo(&w, QPoint(0, 0)), control->size());
      QVERIFY2(barRect.contains(r), qPrintable(name));
      QVERIFY2(window.contains(r), qPrintable(name));
      QVERIFY2(r.width() >= control->sizeHint().width(), qPrintable(name));
      for (const QRect& other : placed) QVERIFY2(!r.intersects(other), qPrintable(name));
      placed.append(r);
      if (auto* button = qobject_cast<QToolButton*>(control)) {
        const int text = QFontMetrics(button->font()).horizontalAdvance(button->text());
        QVERIFY2(
            text <= button->width() - 2,
            qPrintable(QStringLiteral("%1: %2 in %3").arg(name).arg(text).arg(button->width())));
      }
    }
    QCOMPARE(controls, 32);
  }

  void everyControlHasItsNameAndHint_data() {
    QTest::addColumn<QString>("bar");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("hint");
    for (auto& r : kToolBarControls) {
      QTest::newRow(r[1]) << QString::fromUtf8(r[0]) << QString::fromUtf8(r[1])
                          << QString::fromUtf8(r[2]);
    }
  }
  void everyControlHasItsNameAndHint() {
    QFETCH(QString, bar);
    QFETCH(QString, name);
    QFETCH(QString, hint);
    TPivora3 w;
    auto* toolBar = w.findChild<FlowToolBar*>(bar);
    QVERIFY(toolBar);
    // The control sits on its bar as a widget (a button, box or list) with its name and hint.
    auto* control = toolBar->findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->toolTip(), hint);
  }

  void toolButtonsFormOneRadioGroup() {
    TPivora3 w;
    QCOMPARE(w.ToolGroup->actions().size(), 7);
    QVERIFY(w.ToolGroup->isExclusive());
    QVERIFY(w.SelectBtn->isChecked());
    QCOMPARE(w.canvas->editor().toolMode(), int(kToolSelect));
    const std::pair<QAction*, int> tags[] = {
        {w.SetItem1Btn, 1}, {w.SetItem2Btn, 2}, {w.SetItem3Btn, 3}, {w.Link1Btn, 4},
        {w.Link2Btn, 5},    {w.SetStartBtn, 6}, {w.SelectBtn, 0}};
    for (auto [button, tag] : tags) {
      button->trigger();
      QCOMPARE(w.canvas->editor().toolMode(), tag);
      int down = 0;
      for (QAction* a : w.ToolGroup->actions()) down += a->isChecked() ? 1 : 0;
      QCOMPARE(down, 1);
      QVERIFY(button->isChecked());
    }
    // The editor changing the tool itself presses that button.
    w.Link2Btn->trigger();
    emit w.canvas->toolModeChanged(kToolSelect);
    QVERIFY(w.SelectBtn->isChecked());
    QVERIFY(!w.Link2Btn->isChecked());
  }

  void settingsAreReadAndWrittenAtStart() {
    writeIni(
        "[PVR3]\r\nGrid=1\r\nGridWidth=1\r\nGridHeight=7\r\nCommPort=3\r\nBmp=back.bmp\r\n"
        "CH1=右腕,10,20\r\n\r\n[Foreign]\r\nX=1\r\n");
    TPivora3 w;
    QVERIFY(w.GridSw->isChecked());
    QVERIFY(w.canvas->editor().gridOn());
    QCOMPARE(w.canvas->editor().gridStepX(), 2);  // raised from 1
    QCOMPARE(w.canvas->editor().gridStepY(), 7);  // the stored step holds after start
    QCOMPARE(w.CommPort->currentText(), QStringLiteral("COM3"));
    const IniFile ini = readIni();
    QCOMPARE(ini.readString("PVR3", "GridWidth", ""), std::string("2"));
    QCOMPARE(ini.readString("PVR3", "Bmp", ""), std::string("back.bmp"));
    QCOMPARE(ini.readString("PVR3", "CH1", ""), std::string("右腕,10,20"));
    QCOMPARE(ini.readString("Foreign", "X", ""), std::string("1"));
  }

  void absentSettingsFileIsCreatedWithDefaults() {
    QVERIFY(!QFile::exists(iniPath()));
    TPivora3 w;
    QVERIFY(QFile::exists(iniPath()));
    QVERIFY(!w.GridSw->isChecked());
    QCOMPARE(w.CommPort->currentIndex(), 0);
    // A fresh install snaps to 10 x 10 once the grid is switched on.
    QCOMPARE(w.canvas->editor().gridStepX(), 10);
    QCOMPARE(w.canvas->editor().gridStepY(), 10);
    QCOMPARE(readIni().readString("PVR3", "CommPort", "?"), std::string("0"));
    QCOMPARE(readIni().readString("PVR3", "GridWidth", "?"), std::string("10"));
    QCOMPARE(readIni().readString("PVR3", "GridHeight", "?"), std::string("10"));
  }

  void quitAnsweredNoKeepsRunning() {
    TPivora3 w;
    w.show();
    w.GridSw->click();  // grid on: not written unless the program really ends
    Asked asked;
    answerBoxes(asked, QMessageBox::No);
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QCOMPARE(asked.count, 1);
    QCOMPARE(asked.title, QStringLiteral("確認"));
    QCOMPARE(asked.text, QStringLiteral("終了して構いませんでしょうか？"));
    QCOMPARE(asked.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(readIni().readString("PVR3", "Grid", ""), std::string("0"));

    // The exit button asks the same question.
    w.ExitBtn->trigger();
    QCOMPARE(asked.count, 2);
    QVERIFY(w.isVisible());

    answerBoxes(asked, QMessageBox::Yes);
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QCOMPARE(asked.count, 3);
    QCOMPARE(readIni().readString("PVR3", "Grid", ""), std::string("1"));
  }

  void settingsFileThatCannotBeWrittenStopsNothing() {
    // A folder in the settings file's place can be neither read nor replaced.
    QVERIFY(QDir().mkpath(iniPath()));
    TPivora3 w;
    w.show();
    Asked asked;
    answerBoxes(asked, QMessageBox::Yes);
    QVERIFY(w.close());
    QVERIFY(QFileInfo(iniPath()).isDir());
    QCOMPARE(asked.count, 1);  // only the quit question: nothing reported
  }

  void deleteWorksOnlyInTheSelectTool() {
    TPivora3 w;
    twoSelectedItems(w.chart());
    w.SetItem1Btn->trigger();
    QTest::keyClick(w.canvas, Qt::Key_Delete);
    QCOMPARE(w.chart().itemCount(), 2);
    w.SetItem2Btn->trigger();
    QTest::keyClick(w.statusLine, Qt::Key_Delete);
    QCOMPARE(w.chart().itemCount(), 2);
    w.SelectBtn->trigger();  // choosing the select tool deselects: select again
    for (ChartItem& item : w.chart().items) item.Selected = true;
    QTest::keyClick(w.canvas, Qt::Key_Delete, Qt::ShiftModifier);  // other modifiers: nothing
    QCOMPARE(w.chart().itemCount(), 2);
    // The keypad's Delete is the same key.
    QTest::keyClick(w.canvas, Qt::Key_Delete, Qt::KeypadModifier);
    QCOMPARE(w.chart().itemCount(), 0);
  }

  void copyAndPasteNeedCtrlAlone() {
    TPivora3 w;
    twoSelectedItems(w.chart());
    QTest::keyClick(w.canvas, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(w.chart().clipboard.empty());
    QTest::keyClick(w.canvas, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
    QVERIFY(w.chart().clipboard.empty());
    QTest::keyClick(w.canvas, Qt::Key_C);
    QVERIFY(w.chart().clipboard.empty());
    QTest::keyClick(w.canvas, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(w.chart().clipboard.items.size(), size_t(2));

    QTest::keyClick(w.canvas, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(w.chart().itemCount(), 2);
    // A key to a widget that passes it on to its parents is still acted on only once.
    QLabel* panel = w.statusPanels->findChild<QLabel*>(QStringLiteral("StaBarPanel2"));
    QTest::keyClick(panel, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w.chart().itemCount(), 4);
    QTest::keyClick(panel, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w.chart().itemCount(), 6);
  }

  void escapeReturnsToTheSelectTool() {
    TPivora3 w;
    twoSelectedItems(w.chart());
    w.Link1Btn->trigger();
    QTest::keyClick(w.canvas, Qt::Key_Escape);
    QVERIFY(w.SelectBtn->isChecked());
    QCOMPARE(w.canvas->editor().toolMode(), int(kToolSelect));
    QVERIFY(!w.canvas->editor().lineDrawing());
    QCOMPARE(w.chart().selectedItemCount(), 0);
  }

  void keysOfOtherWindowsAreLeftAlone() {
    TPivora3 w;
    twoSelectedItems(w.chart());
    QWidget other;
    QTest::keyClick(&other, Qt::Key_Delete);
    QCOMPARE(w.chart().itemCount(), 2);
  }

  void gridSwitchTurnsSnappingOnAndOff() {
    writeIni("[PVR3]\r\nGridWidth=16\r\nGridHeight=8\r\n");
    TPivora3 w;
    QVERIFY(!w.canvas->editor().gridOn());
    w.GridSw->click();
    QVERIFY(w.canvas->editor().gridOn());
    QCOMPARE(w.canvas->editor().gridStepX(), 16);
    QCOMPARE(w.canvas->editor().gridStepY(), 8);
    w.GridSw->click();
    QVERIFY(!w.canvas->editor().gridOn());
  }

  void chartNamedOnTheCommandLineIsOpened() {
    TPivora3 w({kWave});
    QCOMPARE(w.chart().itemCount(), 3);
    QCOMPARE(w.chart().Name, std::string("WAVE"));
    QCOMPARE(w.pages->tabText(0), QStringLiteral("EDIT WAVE"));
    QCOMPARE(w.canvas->size(), QSize(646, 576));
  }

  void unusableCommandLineFileLeavesAnEmptyChart() {
    const QString junk = dir_->path() + QStringLiteral("/junk.VLB");
    QVERIFY(writeTextFile(junk.toStdString(), "not a chart\r\n").ok());
    Asked asked;
    answerBoxes(asked, QMessageBox::Ok);
    TPivora3 w({junk});
    QCOMPARE(asked.text, QStringLiteral("指定のファイルは使用できません"));
    QCOMPARE(w.chart().itemCount(), 0);
    QCOMPARE(w.pages->tabText(0), QStringLiteral("EDIT 無題"));
  }

  void droppedFilesOpenTheFirst() {
    TPivora3 w;
    QMimeData mime;
    mime.setUrls(
        {QUrl::fromLocalFile(kWave), QUrl::fromLocalFile(QStringLiteral("/nonexistent.VLB"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
    QCOMPARE(w.chart().itemCount(), 3);
    QCOMPARE(w.pages->tabText(0), QStringLiteral("EDIT WAVE"));

    // A web address or plain text is refused at the door.
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.org/wave.vlb"))});
    QDragEnterEvent webEnter(QPoint(10, 10), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    webEnter.setAccepted(false);
    QApplication::sendEvent(&w, &webEnter);
    QVERIFY(!webEnter.isAccepted());
    QMimeData text;
    text.setText(QStringLiteral("wave"));
    QDragEnterEvent textEnter(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton,
                              Qt::NoModifier);
    textEnter.setAccepted(false);
    QApplication::sendEvent(&w, &textEnter);
    QVERIFY(!textEnter.isAccepted());
  }

  void saveWritesTheChartUnderTheChosenFilter() {
    TPivora3 w({kWave});
    const QString chosen = dir_->path() + QStringLiteral("/walk.txt");
    Asked asked;
    setDialogAnswerer([&](QDialog& d) {
      if (auto* files = qobject_cast<QFileDialog*>(&d)) {
        const auto close = qScopeGuard([&d] {
          if (d.isVisible()) d.reject();
        });
        QCOMPARE(files->nameFilters(),
                 QStringList({QStringLiteral("VLBファイル (*.VLB)"),
                              QStringLiteral("全てのファイルを表示する (*)")}));
        files->selectNameFilter(files->nameFilters().first());
        files->selectFile(chosen);
        static_cast<QDialog*>(files)->accept();
      } else if (auto* box = qobject_cast<QMessageBox*>(&d)) {
        ++asked.count;
        asked.text = box->text();
        box->button(QMessageBox::Yes)->click();
      }
    });
    w.SaveBtnClick();
    const QString written = dir_->path() + QStringLiteral("/walk.VLB");
    QVERIFY(QFile::exists(written));
    QVERIFY(!QFile::exists(chosen));
    QCOMPARE(asked.count, 1);
    QVERIFY(asked.text.contains(QStringLiteral("walk.VLB")));

    // Saving again over walk.VLB asks before overwriting; No leaves the file alone.
    QFile::remove(written);
    QVERIFY(writeTextFile(written.toStdString(), "old").ok());
    setDialogAnswerer([&](QDialog& d) {
      if (auto* files = qobject_cast<QFileDialog*>(&d)) {
        files->selectNameFilter(files->nameFilters().first());
        files->selectFile(dir_->path() + QStringLiteral("/walk"));
        static_cast<QDialog*>(files)->accept();
      } else if (auto* box = qobject_cast<QMessageBox*>(&d)) {
        ++asked.count;
        asked.text = box->text();
        box->button(QMessageBox::No)->click();
      }
    });
    w.SaveBtnClick();
    QCOMPARE(asked.count, 2);
    QVERIFY(asked.text.contains(QStringLiteral("上書き")));
    QCOMPARE(readFileBytes(written.toStdString()).value(), std::string("old"));
  }

  void openButtonOpensTheChosenChart() {
    TPivora3 w;
    setDialogAnswerer([](QDialog& d) {
      auto* files = qobject_cast<QFileDialog*>(&d);
      QVERIFY(files);
      QCOMPARE(files->acceptMode(), QFileDialog::AcceptOpen);
      files->selectFile(kWave);
      static_cast<QDialog*>(files)->accept();
    });
    w.OpenBtn->trigger();
    QCOMPARE(w.chart().itemCount(), 3);
    // The load dialog leaves the tool that swallows the click that closed it.
    QCOMPARE(w.canvas->editor().toolMode(), int(kToolIgnoreNext));
  }

  void allFilesFilterListsFilesWithoutADot() {
    TPivora3 w;
    const QString folder = dir_->path() + QStringLiteral("/charts");
    QVERIFY(QDir().mkpath(folder));
    for (const char* name : {"wave.VLB", "motion", "notes.txt"})
      QVERIFY(
          writeTextFile((folder + QLatin1Char('/') + QLatin1String(name)).toStdString(), "x").ok());
    int chartRows = -1;
    int allRows = -1;
    setDialogAnswerer([&](QDialog& d) {
      // A failed check returns early; the dialog still closes.
      const auto close = qScopeGuard([&d] { d.reject(); });
      auto* files = qobject_cast<QFileDialog*>(&d);
      QVERIFY(files);
      auto* model = files->findChild<QFileSystemModel*>();
      QVERIFY(model);
      files->setDirectory(folder);
      const QModelIndex index = model->index(folder);
      // The folder is read in the background; each filter is applied to what was read.
      QTRY_VERIFY_WITH_TIMEOUT(model->rowCount(index) > 0, 10000);
      chartRows = model->rowCount(index);
      files->selectNameFilter(files->nameFilters().at(1));
      QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(index), 3, 10000);
      allRows = model->rowCount(index);
    });
    w.OpenBtn->trigger();
    QCOMPARE(chartRows, 1);
    QCOMPARE(allRows, 3);
  }

  void portIsOpenedAtStartAndOnCloseUp() {
    PseudoTerminal board;
    if (!board.ok()) QSKIP("no pseudo-terminals here");
    const QString ports = dir_->path() + QStringLiteral("/ports");
    QVERIFY(QDir().mkpath(ports));
    QVERIFY(QFile::link(board.slavePath(), ports + QStringLiteral("/COM3")));
    QVERIFY(QFile::link(dir_->path() + QStringLiteral("/gone"), ports + QStringLiteral("/COM5")));
    writeIni("[PVR3]\r\nCommPort=3\r\n");

    TPivora3 w;
    QCOMPARE(w.CommPort->currentText(), QStringLiteral("COM3"));
    QVERIFY(w.serialPort->IsOpen());
    QVERIFY2(w.statusLine->text().endsWith(QStringLiteral("> COM3 設定完了")),
             qPrintable(w.statusLine->text()));
    QCOMPARE(w.boardLink().RetryCount, 5);

    // A play-end report the board sends on its own reaches the status line.
    // Lead byte, six flag bytes (bit 0 of the first: one value), then the values: motion 12.
    QByteArray report(static_cast<qsizetype>(kPlayEndLength), '\0');
    report[0] = static_cast<char>(kPlayEndLead);
    report[1] = 0x01;
    report[7] = 12;
    QVERIFY(board.send(report));
    QVERIFY2(
        QTest::qWaitFor(
            [&] { return w.statusLine->text().endsWith(QStringLiteral("> [12]再生終了")); }, 5000),
        qPrintable(w.statusLine->text()));

    w.CommPort->setCurrentIndex(5);
    emit w.CommPort->activated(5);
    QVERIFY(!w.serialPort->IsOpen());
    QVERIFY2(w.statusLine->text().endsWith(QStringLiteral("> COM5は使用できません")),
             qPrintable(w.statusLine->text()));

    w.CommPort->setCurrentIndex(3);
    emit w.CommPort->activated(3);
    QVERIFY(w.serialPort->IsOpen());
    w.CommPort->setCurrentIndex(0);
    emit w.CommPort->activated(0);
    QVERIFY(!w.serialPort->IsOpen());
    QVERIFY(w.statusLine->text().endsWith(QStringLiteral("> シリアルポートを閉じました")));

    // The port chosen last is what the settings file keeps.
    w.CommPort->setCurrentIndex(3);
    emit w.CommPort->activated(3);
    w.show();
    Asked asked;
    answerBoxes(asked, QMessageBox::Yes);
    QVERIFY(w.close());
    QVERIFY(!w.serialPort->IsOpen());  // closed on the way out
    QCOMPARE(readIni().readString("PVR3", "CommPort", ""), std::string("3"));
  }

  void portOffAtStartSaysSo() {
    TPivora3 w;
    QVERIFY(!w.serialPort->IsOpen());
    QVERIFY(w.statusLine->text().endsWith(QStringLiteral("> シリアルポートを閉じました")));
  }

  void statusLineKeepsItsFontWhateverTheMessage() {
    TPivora3 w;
    w.CommPort->setCurrentIndex(0);
    w.CommPortCloseUp();
    QVERIFY(w.statusLine->text().endsWith(QStringLiteral("シリアルポートを閉じました")));
    QVERIFY(w.statusLine->font().bold());
    // The time stamp measures the same before a Japanese message as before a Latin one, and each
    // message is drawn in one family.
    const QFont font = w.statusLine->font();
    const QFontMetrics metrics(font);
    const QString stamp = QStringLiteral("12:34:56> ");
    const QString offLine = stamp + w.statusLine->text().mid(stamp.size());
    const QString comLine = stamp + QStringLiteral("COM3 設定完了");
    QCOMPARE(metrics.horizontalAdvance(offLine, int(stamp.size())),
             metrics.horizontalAdvance(comLine, int(stamp.size())));
    QSet<QString> families;
    for (const QString& line : {offLine, comLine}) {
      QTextLayout layout(line, font);
      layout.beginLayout();
      layout.createLine();
      layout.endLayout();
      for (const QGlyphRun& run : layout.glyphRuns()) families.insert(run.rawFont().familyName());
    }
    QCOMPARE(families.size(), 1);
  }

  void statusLineAndMousePanel() {
    TPivora3 w;
    w.showStatus("書込成功");
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d> 書込成功$"))
                 .match(w.statusLine->text())
                 .hasMatch(),
             qPrintable(w.statusLine->text()));
    emit w.canvas->mousePositionChanged(12, 340);
    QCOMPARE(w.panelText(0), QStringLiteral("X = 12  Y = 340"));
    w.ui().setBoardState("スリープ");
    QCOMPARE(w.panelText(1), QStringLiteral("スリープ"));
  }

  void statusBarPanelsShowTheirWholeText() {
    TPivora3 w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto fits = [&w](int panel) {
      auto* label = w.statusPanels->findChild<QLabel*>(QStringLiteral("StaBarPanel%1").arg(panel));
      const QFontMetrics metrics(label->font());
      // A framed label sets its text in by half an "x".
      const int room =
          label->contentsRect().width() - metrics.horizontalAdvance(QLatin1Char('x')) / 2;
      const int text = metrics.horizontalAdvance(label->text());
      return text <= room
                 ? QString()
                 : QStringLiteral("\"%1\": %2 > %3").arg(label->text()).arg(text).arg(room);
    };
    for (int xy : {100, 640, 7999}) {
      emit w.canvas->mousePositionChanged(xy, xy);
      QVERIFY2(fits(0).isEmpty(), qPrintable(fits(0)));
    }
    for (const char* state : {"スリープ", "動作中"}) {
      w.ui().setBoardState(state);
      QVERIFY2(fits(1).isEmpty(), qPrintable(fits(1)));
    }
  }

  void activationHidesTheItemEditors() {
    TPivora3 w;
    w.show();
    QWidget editor;
    editor.show();
    w.hideOnActivation(&editor);
    {
      QWidget gone;
      gone.show();
      w.hideOnActivation(&gone);
    }  // a window that went away is skipped
    QApplication::setActiveWindow(&editor);
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitFor([&] { return w.isActiveWindow(); }, 10000));
    QVERIFY(!editor.isVisible());
  }

  void secondInstanceIsRefusedWhileTheFirstRuns() {
    const QString exe = QStringLiteral(PVRJ_EDITOR_EXE);
    QVERIFY2(QFile::exists(exe), "PVRJ is missing");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_->path());
    env.insert(QStringLiteral("PVRJ_SETTINGS_DIR"), dir_->path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(exe, {});
    QVERIFY(first.waitForStarted(5000));
    const std::string lockPath = (dir_->path() + QStringLiteral("/PVR3.lock")).toStdString();
    // The first instance takes the lock soon after it starts.
    const bool held = QTest::qWaitFor(
        [&] {
          SingleInstanceLock probe(lockPath);
          return QFile::exists(QString::fromStdString(lockPath)) && !probe.tryLock();
        },
        15000);
    QVERIFY(held);
    SingleInstanceLock second(lockPath);
    QVERIFY(!second.tryLock());
    QVERIFY(second.error().empty());
    first.kill();
    QVERIFY(first.waitForFinished(5000));
    QVERIFY(second.tryLock());  // the lock died with the first instance
  }
};

PVRJ_REGISTER_QTEST(MainWindowTest);
#include "MainWindowTest.moc"
