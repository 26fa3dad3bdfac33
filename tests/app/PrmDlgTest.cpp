// Window tests of the position editor: controls per mode, the popup menu's channel types,
// colours and panels, dragging, the background picture, the saved desktop, the link list and
// the wiring to the main window and the data dialog.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include "QtTestRunner.h"
#include "app/BoardActions.h"
#include "app/ChartCanvas.h"
#include "app/ItemActions.h"
#include "app/Main_u.h"
#include "board/VirtualBoardPort.h"
#include "common/FileIo.h"
#include "common/IniFile.h"
#include "editors/PrmDlg_u.h"
#include "tests/support/FakeUserInterface.h"
#include "tools/DataDlg_u.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

constexpr int kActivationWaitMs = 2000;
constexpr int kBoardStartMs = 10000;
constexpr int kComNumber = 8;

// A grey-and-white JPEG of the given size, written with the JPEG library.
bool writeJpeg(const QString& path, int width, int height) {
  std::FILE* file = std::fopen(path.toLocal8Bit().constData(), "wb");
  if (!file) return false;
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3, 0xC0);
  while (info.next_scanline < info.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&info, &r, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(file);
  return true;
}

// A mouse event at a screen position, as the window system would send it to w.
void sendMouse(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(w->mapFromGlobal(global)), QPointF(global),
                    type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                    Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

struct Asked {
  int count = 0;
  QString title;
  QString text;
};

void answerBoxes(Asked& asked) {
  setDialogAnswerer([&asked](QDialog& d) {
    if (auto* box = qobject_cast<QMessageBox*>(&d)) {
      ++asked.count;
      asked.title = box->windowTitle();
      asked.text = box->text();
    }
    d.accept();
  });
}

class PrmDlgTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<QTemporaryDir> dir_;

  QString file(const char* name) const { return dir_->filePath(QString::fromLatin1(name)); }
  static bool shownIn(QWidget* w) { return w->isVisibleTo(w->parentWidget()); }
  static int addPos(Chart& chart, std::uint16_t word) {
    const int item = chart.createItem(kItemPos, 10, 10);
    chart.items[static_cast<std::size_t>(item)].PrmWords.fill(word);
    return item;
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    qputenv("PVRJ_SETTINGS_DIR", dir_->path().toUtf8());
  }
  void cleanup() {
    setDialogAnswerer(nullptr);
    qunsetenv("PVRJ_SETTINGS_DIR");
    dir_.reset();
  }

  void controlsAreFoundByName() {
    Chart chart;
    TPrmDlg w(chart);
    QCOMPARE(w.windowTitle(), QString("Parameter"));
    QCOMPARE(w.size(), QSize(508, 336));
    for (int p = 1; p <= kPrmPanelCount; ++p) {
      QCOMPARE(w.panels[static_cast<std::size_t>(p - 1)]->objectName(), QString("Panel%1").arg(p));
    }
    QCOMPARE(w.findChild<QLabel*>("Label25")->text(), QString("SPEED"));
    QCOMPARE(w.findChild<QLabel*>("Label27")->text(), QString("LINK"));
    QCOMPARE(w.findChild<QLabel*>("Label7")->text(), QString("CH7"));
    auto* s3 = w.findChild<QRadioButton*>("CkBtn144");
    QVERIFY(s3);
    QCOMPARE(s3->text(), QString("S3"));
    QCOMPARE(s3->parentWidget(), w.panels[23]);
    QCOMPARE(w.findChild<QRadioButton*>("CkBtn25")->text(), QString("0V (L)"));
    QCOMPARE(w.findChild<QScrollBar*>("Scroll3")->minimum(), 15694);
    QCOMPARE(w.findChild<QScrollBar*>("Scroll3")->maximum(), 17074);
    QCOMPARE(w.findChild<QScrollBar*>("SSL3")->maximum(), 127);
    QCOMPARE(w.SpeedBar->maximum(), 255);
    QCOMPARE(w.TchBtn->toolTip(), QString("FREEの出力から角度を取り込む"));
    QCOMPARE(w.LinkList->count(), 1);
    QCOMPARE(w.LinkList->itemText(0), QString("組み合わせの設定"));
    QVERIFY(w.fixPanelsAction->isChecked());
  }

  void modesShowTheirControls() {
    Chart chart;
    const int item = addPos(chart, 0);
    auto& words = chart.items[0].PrmWords;
    words[1] = 16484;
    words[2] = 0x8001;
    words[3] = 0x8003;
    words[4] = 0x8087 + 10;
    words[5] = 0x8006;
    chart.items[0].Name = "POS1";
    TPrmDlg w(chart);
    w.editor().channel(1).rate = 0.5f;
    w.openItem(item);
    QCOMPARE(w.windowTitle(), QString("POS1"));
    // Mode 0: the name only.
    QVERIFY(!shownIn(w.valueEdits[0]));
    QVERIFY(!shownIn(w.positionBars[0]));
    QVERIFY(shownIn(w.panelLabels[0]));
    // Mode 1: edit and bar; the edit in aqua for a rate of 0.5.
    QVERIFY(shownIn(w.valueEdits[1]));
    QVERIFY(shownIn(w.positionBars[1]));
    QVERIFY(!shownIn(w.radios[1]));
    QCOMPARE(w.valueEdits[1]->text(), QString("50"));
    QCOMPARE(w.positionBars[1]->value(), 16484);
    QCOMPARE(w.valueEdits[1]->palette().color(QPalette::Base), QColor(0, 255, 255));
    // Mode 2: H and L only, H checked.
    QVERIFY(shownIn(w.radios[2]));
    QVERIFY(shownIn(w.radios[2 + 24]));
    QVERIFY(!shownIn(w.radios[2 + 48]));
    QVERIFY(!shownIn(w.valueEdits[2]));
    QVERIFY(w.radios[2]->isChecked());
    // Mode 3: edit and FR, S1, S2, S3; S1 checked.
    QVERIFY(shownIn(w.valueEdits[3]));
    for (int r = 2; r < 6; ++r) QVERIFY(shownIn(w.radios[static_cast<std::size_t>(3 + 24 * r)]));
    QVERIFY(!shownIn(w.radios[3]));
    QVERIFY(w.radios[3 + 72]->isChecked());
    QCOMPARE(w.valueEdits[3]->palette().color(QPalette::Base), QColor(255, 255, 255));
    // Mode 4: edit, small bar and its tag.
    QVERIFY(shownIn(w.smallBars[4]));
    QVERIFY(shownIn(w.smallTags[4]));
    QVERIFY(!shownIn(w.positionBars[4]));
    QCOMPARE(w.smallTags[4]->text(), QString("ST"));
    QCOMPARE(w.valueEdits[4]->text(), QString("20"));
    // 0x8006 shows nothing but the name.
    QVERIFY(!shownIn(w.valueEdits[5]));
    QVERIFY(!shownIn(w.radios[5 + 48]));
  }

  void editsWriteTheItem() {
    Chart chart;
    const int item = addPos(chart, 16384);
    TPrmDlg w(chart);
    w.openItem(item);
    w.positionBars[0]->setValue(16500);
    QCOMPARE(chart.items[0].PrmWords[0], std::uint16_t{16500});
    QCOMPARE(w.valueEdits[0]->text(), QString("116"));
    w.valueEdits[1]->setText("-50");
    w.EditEnter(1);
    QCOMPARE(chart.items[0].PrmWords[1], std::uint16_t{16334});
    QCOMPARE(w.positionBars[1]->value(), 16334);
    QCOMPARE(w.valueEdits[1]->selectedText(), QString("-50"));
    w.SpeedEdit->setText("77");
    w.SpeedEditEnter();
    QCOMPARE(chart.items[0].PrmByte, std::uint8_t{77});
    QCOMPARE(w.SpeedBar->value(), 77);
    w.SpeedBar->setValue(90);
    QCOMPARE(chart.items[0].PrmByte, std::uint8_t{90});
    QCOMPARE(w.SpeedEdit->text(), QString("90"));
  }

  void channelTypeFromTheMenu() {
    Chart chart;
    const int item = addPos(chart, 16384);
    TPrmDlg w(chart);
    w.popupEnabled = false;
    w.openItem(item);
    w.popupFor(0, QPoint());
    QVERIFY(!w.typeActions[0]->isVisible());
    QVERIFY(w.backgroundSetAction->isVisible());
    w.popupFor(5, QPoint());
    QCOMPARE(w.menuTarget(), 5);
    QVERIFY(w.typeActions[0]->isVisible());
    QVERIFY(w.nameAction->isVisible());
    QVERIFY(!w.backgroundSetAction->isVisible());
    QCOMPARE(w.typeActions[6]->text(), QString("H"));
    w.typeActions[6]->trigger();
    QCOMPARE(chart.items[0].PrmWords[4], std::uint16_t{0x8001});
    QVERIFY(shownIn(w.radios[4]));
    QVERIFY(w.radios[4]->isChecked());
    QVERIFY(!shownIn(w.positionBars[4]));
    // The radio buttons report releases; L is then the channel's word.
    w.radios[4 + 24]->click();
    QCOMPARE(chart.items[0].PrmWords[4], std::uint16_t{0x8000});
    QVERIFY(w.radios[4 + 24]->isChecked());
    QVERIFY(!w.radios[4]->isChecked());
  }

  void colourMenuColoursPanelAndLabel() {
    Chart chart;
    TPrmDlg w(chart);
    w.popupEnabled = false;
    QCOMPARE(w.colorActions.size(), std::size_t{17});
    QCOMPARE(w.colorActions[7]->text(), QString("赤"));
    w.popupFor(3, QPoint());
    w.colorActions[7]->trigger();
    QCOMPARE(w.panelColor(3), std::uint32_t{0x0000FF});
    QCOMPARE(w.panels[2]->palette().color(QPalette::Window), QColor(255, 0, 0));
    QCOMPARE(w.panelLabels[2]->palette().color(QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(w.radios[2 + 48]->palette().color(QPalette::WindowText), QColor(Qt::white));
    w.colorActions[14]->trigger();  // yellow: dark text
    QCOMPARE(w.panelLabels[2]->palette().color(QPalette::WindowText), QColor(Qt::black));
    // Another colour: cancelling gives the standard colour.
    w.chooseColor = [](std::uint32_t) { return std::nullopt; };
    w.otherColorAction->trigger();
    QCOMPARE(w.panelColor(3), std::uint32_t{0x8000000F});
    w.chooseColor = [](std::uint32_t) { return std::optional<std::uint32_t>(0x123456); };
    w.popupFor(0, QPoint());
    w.otherColorAction->trigger();
    QCOMPARE(w.windowColor(), std::uint32_t{0x123456});
    QCOMPARE(w.panelColor(3), std::uint32_t{0x8000000F});
  }

  void showMenuTogglesPanels() {
    Chart chart;
    TPrmDlg w(chart);
    w.popupEnabled = false;
    w.popupFor(0, QPoint());
    QCOMPARE(w.showActions[25]->text(), QString("COMMAND"));
    QVERIFY(w.showActions[25]->isChecked());
    w.showActions[25]->trigger();
    QVERIFY(w.panels[25]->isHidden());
    w.popupFor(0, QPoint());
    QVERIFY(!w.showActions[25]->isChecked());
    std::vector<std::string> names(24);
    names[1] = "肘";
    w.applyChannelNames(names);
    QCOMPARE(w.showActions[1]->text(), QString("肘"));
    QCOMPARE(w.panelLabels[1]->text(), QString("肘"));
  }

  void panelsDragOnlyWhenFreedAndNeverBelowZero() {
    Chart chart;
    TPrmDlg w(chart);
    w.show();
    QLabel* label = w.panelLabels[13];  // CH14 at (254, 24)
    QFrame* panel = w.panels[13];
    QCOMPARE(panel->pos(), QPoint(254, 24));
    const QPoint grip = label->mapToGlobal(QPoint(5, 5));
    sendMouse(label, QEvent::MouseButtonPress, grip, Qt::LeftButton);
    sendMouse(label, QEvent::MouseMove, grip + QPoint(20, 30), Qt::LeftButton);
    sendMouse(label, QEvent::MouseButtonRelease, grip + QPoint(20, 30), Qt::NoButton);
    QCOMPARE(panel->pos(), QPoint(254, 24));  // fixed at start

    w.fixPanelsAction->trigger();
    QVERIFY(!w.fixPanelsAction->isChecked());
    sendMouse(label, QEvent::MouseButtonPress, grip, Qt::LeftButton);
    sendMouse(label, QEvent::MouseMove, grip + QPoint(20, 30), Qt::LeftButton);
    QCOMPARE(panel->pos(), QPoint(274, 54));
    sendMouse(label, QEvent::MouseMove, grip + QPoint(-400, 0), Qt::LeftButton);
    QCOMPARE(panel->pos(), QPoint(0, 24));
    sendMouse(label, QEvent::MouseMove, grip + QPoint(0, -400), Qt::LeftButton);
    QCOMPARE(panel->pos(), QPoint(254, 0));
    sendMouse(label, QEvent::MouseButtonRelease, grip, Qt::NoButton);
    // Moving without the button pressed moves nothing.
    sendMouse(panel, QEvent::MouseMove, grip + QPoint(50, 50), Qt::NoButton);
    QCOMPARE(panel->pos(), QPoint(254, 0));
    // The panel itself can be taken too.
    const QPoint body = panel->mapToGlobal(QPoint(200, 10));
    sendMouse(panel, QEvent::MouseButtonPress, body, Qt::LeftButton);
    sendMouse(panel, QEvent::MouseMove, body + QPoint(-10, 7), Qt::LeftButton);
    QCOMPARE(panel->pos(), QPoint(244, 7));
  }

  void backgroundPictures() {
    Chart chart;
    TPrmDlg w(chart);
    w.popupEnabled = false;
    Asked asked;
    answerBoxes(asked);

    const QString jpeg = file("back.JPG");
    QVERIFY(writeJpeg(jpeg, 320, 200));
    w.choosePicture = [jpeg] { return jpeg; };
    w.backgroundSetAction->trigger();
    QCOMPARE(asked.count, 0);
    QCOMPARE(w.background().size(), QSize(320, 200));
    QCOMPARE(w.size(), QSize(320, 200));
    QVERIFY(w.backgroundShowAction->isChecked());
    QCOMPARE(w.desktop().backgroundPath, jpeg.toStdString());

    const QString bmp = file("back.BMP");
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QVERIFY(picture.save(bmp, "BMP"));
    QVERIFY(w.loadBackground(bmp));
    QCOMPARE(w.background().size(), QSize(64, 48));
    QCOMPARE(w.background().pixelColor(3, 3), QColor(Qt::blue));
    QCOMPARE(w.size(), QSize(64, 48));

    // A PNG is tried as JPEG and refused; the picture shown stays.
    const QString png = file("back.png");
    QVERIFY(picture.save(png, "PNG"));
    w.choosePicture = [png] { return png; };
    w.backgroundShowAction->setChecked(false);
    w.backgroundSetAction->trigger();
    QCOMPARE(asked.count, 1);
    QCOMPARE(asked.title, QString("エラー"));
    QCOMPARE(asked.text, QString("指定の背景画像がありません"));
    QCOMPARE(w.background().size(), QSize(64, 48));
    QVERIFY(!w.backgroundShowAction->isChecked());
    QCOMPARE(w.desktop().backgroundPath, bmp.toStdString());

    // A missing file or no path: nothing, and no message.
    QVERIFY(!w.loadBackground(file("gone.jpg")));
    QVERIFY(!w.loadBackground(QString()));
    QCOMPARE(asked.count, 1);
  }

  void desktopIsReadAtCreationAndWrittenAtTheEnd() {
    const std::string ini = file("PVR3J.ini").toStdString();
    QVERIFY(writeTextFile(
        ini,
        "[PVR3]\r\nGrid=1\r\nForm=600,400,255\r\n"
        "CH5=0,10,20,255,1,2.5,Elbow\r\nCH6=1,30,40\r\nLINK=1,300,5,-2147483633\r\n"));
    Chart chart;
    const int item = addPos(chart, 16484);
    {
      TPrmDlg w(chart);
      QCOMPARE(w.size(), QSize(600, 400));
      QCOMPARE(w.windowColor(), std::uint32_t{255});
      QVERIFY(w.panels[4]->isHidden());
      QCOMPARE(w.panels[4]->pos(), QPoint(10, 20));
      QCOMPARE(w.panelColor(5), std::uint32_t{255});
      QCOMPARE(w.panelLabels[4]->text(), QString("Elbow"));
      QCOMPARE(w.displayRate(4), 2.5f);
      QCOMPARE(w.editor().channel(4).mode, 1);
      QCOMPARE(w.panels[5]->pos(), QPoint(30, 40));  // fewer fields: the rest default
      QCOMPARE(w.panelLabels[5]->text(), QString("CH6"));
      QCOMPARE(w.panels[26]->pos(), QPoint(300, 5));
      w.openItem(item);
      QCOMPARE(w.valueEdits[4]->text(), QString("250"));
      w.panels[0]->move(100, 200);
      w.resize(700, 500);
    }
    const Result<IniFile> saved = IniFile::load(ini);
    QVERIFY(saved);
    QCOMPARE(saved->readString("PVR3", "Grid", ""), std::string("1"));
    QCOMPARE(saved->readString("PVR3", "CH1", ""), std::string("1,100,200,-2147483633,1,1,CH1"));
    QCOMPARE(saved->readString("PVR3", "CH5", ""), std::string("0,10,20,255,1,2.5,Elbow"));
    QCOMPARE(saved->readString("PVR3", "Form", ""), std::string("700,500,255"));
    QCOMPARE(saved->readString("PVR3", "CMD", ""), std::string("1,0,312,-2147483633"));
    QCOMPARE(saved->readString("PVR3", "Background", ""), std::string("0"));
  }

  void linkListComesFromThePatternFile() {
    QVERIFY(writeTextFile(file("PATTERN.ini").toStdString(),
                          "[NewLink]\r\nNewLinkList=walk,\"two words\"\r\n[NewLinkList]\r\n"
                          "walk=\"MOV(10)\",\"TCH\"\r\n"));
    Chart chart;
    const int item = addPos(chart, 16384);
    TPrmDlg w(chart);
    QCOMPARE(w.LinkList->count(), 3);
    QCOMPARE(w.LinkList->itemText(1), QString("two words"));
    QCOMPARE(w.LinkList->itemText(2), QString("組み合わせの設定"));
    QCOMPARE(w.LinkList->currentIndex(), -1);
    w.openItem(item);
    w.LinkAddBtnClick();  // nothing chosen: nothing happens
    QCOMPARE(chart.items[0].PrmWords[0], std::uint16_t{16384});

    w.LinkList->setCurrentIndex(0);
    w.LinkListCloseUp(0);
    QVERIFY(w.editor().linkActions()[1].teaches());
    w.LinkAddBtnClick();
    QCOMPARE(chart.items[0].PrmWords[0], std::uint16_t{16394});
    QVERIFY(w.LinkAddBtn->isEnabled());
    w.LinkSubBtnClick();
    w.LinkSubBtnClick();
    QCOMPARE(chart.items[0].PrmWords[0], std::uint16_t{16374});
    QCOMPARE(w.positionBars[0]->value(), 16374);

    int requested = 0;
    w.linkSetsRequested = [&requested] { ++requested; };
    w.LinkList->setCurrentIndex(2);
    w.LinkListCloseUp(2);
    QCOMPARE(requested, 1);

    // Opening again clears the choice.
    w.openItem(item);
    QCOMPARE(w.LinkList->currentIndex(), -1);
    QVERIFY(!w.editor().linkChosen());
    // After a set was saved the last entry is chosen.
    w.chooseLinkSetsEntry();
    QCOMPARE(w.LinkList->currentIndex(), 2);
    QVERIFY(w.editor().linkChosen());
    // The file is written back at the end with whatever was changed meanwhile.
    w.patternFile().writeLinkSet("run", {"FREE"});
  }

  void mainWindowOpensAndHidesTheEditor() {
    TPivora3 main;
    TPrmDlg editor(main.chart(), &main);
    connectPositionEditor(main, editor);
    board::VirtualBoardPort port;
    test::FakeUserInterface ui;
    BoardLink link(port, ui);
    editor.setLink(&link);
    const int item = addPos(main.chart(), 0);
    port.board().live().pose[1] = 0x3E;  // CH1 of the robot's pose: 16000
    port.board().live().pose[2] = 0x80;
    main.Sync->setChecked(true);
    main.show();
    emit main.canvas->itemEditorRequested(item);
    QVERIFY(editor.isVisible());
    // An all-zero item under SYNC takes the robot's pose.
    QCOMPARE(main.chart().items[0].PrmWords[0], std::uint16_t{16000});
    const int set = main.chart().createItem(kItemSet, 100, 10);
    editor.hide();
    emit main.canvas->itemEditorRequested(set);  // not a pose: not this editor's
    QVERIFY(!editor.isVisible());
    editor.show();
    QApplication::setActiveWindow(&editor);
    QApplication::setActiveWindow(&main);
    QVERIFY(QTest::qWaitFor([&] { return main.isActiveWindow(); }, kActivationWaitMs));
    QVERIFY(!editor.isVisible());
  }

  void homeButtonsThroughTheWindowsOnTheVirtualBoard() {
    if (!QFile::exists(PVRJ_BOARD_EXE)) QSKIP("pvrj-board is not built");
    QProcess board;
    board.start(PVRJ_BOARD_EXE, {"--com", QString::number(kComNumber)});
    QVERIFY(board.waitForReadyRead(kBoardStartMs));
    QVERIFY(writeTextFile(file("PVR3J.ini").toStdString(),
                          "[PVR3]\r\nCommPort=" + std::to_string(kComNumber) + "\r\n"));
    {
      TPivora3 main;
      new BoardActions(main, QStringLiteral("pvrj-test-prm-%1").arg(qApp->applicationPid()));
      TPrmDlg editor(main.chart(), &main);
      connectPositionEditor(main, editor);
      main.Sync->setChecked(true);
      BoardLink& link = main.boardLink();
      PositionBlock home;
      home.words.fill(16050);
      QVERIFY(link.CmdWriteHomePosition(home));
      const int item = addPos(main.chart(), 16384);
      main.chart().items[0].PrmByte = 20;
      emit main.canvas->itemEditorRequested(item);
      QVERIFY(editor.isVisible());

      // A bar moved goes to the robot at once.
      editor.positionBars[8]->setValue(16700);
      Bytes reply;
      PositionRecord pose;
      QVERIFY(link.CmdReadPositionRecord(WorkingCopy, 0, 0, reply) && pose.decode(reply));
      QCOMPARE(pose.block.words[8], std::uint16_t{16700});
      QCOMPARE(pose.lead, std::uint8_t{20});

      const PrmWordArray before = main.chart().items[0].PrmWords;
      main.HomePosBtn->trigger();
      QCOMPARE(main.chart().items[0].PrmWords, before);
      QCOMPARE(main.chart().items[0].PrmByte, std::uint8_t{20});
      QVERIFY(link.CmdReadPositionRecord(WorkingCopy, 0, 0, reply) && pose.decode(reply));
      QCOMPARE(pose.block, home);
      QCOMPARE(pose.lead, std::uint8_t{100});

      editor.StopBtn->click();
      QCOMPARE(main.chart().items[0].PrmWords, home.words);
      QCOMPARE(main.chart().items[0].PrmByte, std::uint8_t{100});
      QCOMPARE(editor.SpeedBar->value(), 100);
      QCOMPARE(editor.positionBars[8]->value(), 16050);
    }
    board.terminate();
    board.waitForFinished(kBoardStartMs);
  }

  void dataDialogShowsTheEditorsNamesAndColours() {
    Chart chart;
    MotionTable table;
    TPrmDlg editor(chart);
    editor.popupEnabled = false;
    std::vector<std::string> names(24);
    names[0] = "肩";
    editor.applyChannelNames(names);
    editor.popupFor(1, QPoint());
    editor.colorActions[10]->trigger();  // blue
    TDataDlg data(chart, table, nullptr);
    data.channelLabels = [&editor] { return editor.channelLabels(); };
    data.LoadDataProperties(-1, kMotionChart);
    QCOMPARE(data.PE[0]->text(), QString("肩"));
    QCOMPARE(data.PE[1]->text(), QString("CH2"));
    QCOMPARE(data.PE[0]->palette().color(QPalette::Window), QColor(0, 0, 255));
    QCOMPARE(data.PE[0]->palette().color(QPalette::WindowText), QColor(Qt::white));
  }
};

}  // namespace

PVRJ_REGISTER_QTEST(PrmDlgTest);
#include "PrmDlgTest.moc"
