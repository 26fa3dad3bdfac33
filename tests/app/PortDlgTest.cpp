// Window tests of the per-channel entry dialog in its four modes: captions, boxes, conversion
// sets, channel names from the board, display rates, link sets and the pattern file.
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "QtTestRunner.h"
#include "board/VirtualBoardPort.h"
#include "common/FileIo.h"
#include "common/IniFile.h"
#include "editors/core/PatternSets.h"
#include "protocol/BoardLink.h"
#include "tests/support/FakeUserInterface.h"
#include "tools/PortDlg_u.h"
#include "ui/MessageDialog_u.h"

using namespace pvrj;

namespace {

struct Boxes {
  int count = 0;
  QString last;
};

// Answers every message box with the given button, counting them and keeping the last text.
void answerBoxes(Boxes& boxes, QMessageBox::StandardButton answer) {
  setDialogAnswerer([&boxes, answer](QDialog& d) {
    auto* box = qobject_cast<QMessageBox*>(&d);
    if (!box) {
      d.reject();
      return;
    }
    ++boxes.count;
    boxes.last = box->windowTitle() + ":" + box->text();
    box->button(answer)->click();
  });
}

class PortDlgTest : public QObject {
  Q_OBJECT
 private:
  struct Rig {
    QString dir;
    board::VirtualBoardPort port;
    test::FakeUserInterface ui;
    BoardLink link{port, ui};
    Chart chart;
    // Stand in for the position editor's link list and link actions.
    QComboBox linkList;
    int actionsCleared = 0;
    PatternFile pattern;
    std::unique_ptr<TPortDlg> dialog;
    explicit Rig(const QString& folder) : dir(folder) { open(); }
    std::string patternPath() const { return (dir + "/PATTERN.ini").toStdString(); }
    void open() {
      pattern = PatternFile::open(patternPath());
      dialog = std::make_unique<TPortDlg>(chart, pattern);
      dialog->link = &link;
      dialog->clearLinkActions = [this] { ++actionsCleared; };
      dialog->linkSetsChanged = [this] {
        linkList.clear();
        for (const std::string& name : pattern.linkSetNames())
          linkList.addItem(QString::fromStdString(name));
        linkList.addItem(QString::fromUtf8(kLinkSetupEntry));
      };
      dialog->chooseLinkSetupEntry = [this] { linkList.setCurrentIndex(linkList.count() - 1); };
    }
    // As at the end of one run and the start of the next: the file written and read again.
    void reopen() {
      dialog.reset();
      QVERIFY(pattern.save().ok());
      open();
    }
    TPortDlg& d() { return *dialog; }
    void type(int channel, const QString& text) {
      d().Cmb[static_cast<std::size_t>(channel - 1)]->setEditText(text);
    }
    void choose(int entry) {
      d().ListMenu->setCurrentIndex(entry);
      emit d().ListMenu->activated(entry);
    }
    QStringList linkListTexts() const {
      QStringList texts;
      for (int i = 0; i < linkList.count(); ++i) texts << linkList.itemText(i);
      return texts;
    }
  };

  std::unique_ptr<Rig> rig() { return std::make_unique<Rig>(dir_->path()); }
  void writePattern(const std::string& text) {
    QVERIFY(writeTextFile((dir_->path() + "/PATTERN.ini").toStdString(), text).ok());
  }

 private slots:
  void init() { dir_ = std::make_unique<QTemporaryDir>(); }
  void cleanup() {
    setDialogAnswerer(nullptr);
    dir_.reset();
  }

  void findsItsControlsByName() {
    auto r = rig();
    for (int n = 1; n <= kChannelCount; ++n) {
      const auto i = static_cast<std::size_t>(n - 1);
      QCOMPARE(r->d().Cmb[i]->objectName(), QString("Cmb%1").arg(n));
      QCOMPARE(r->d().Cmb[i]->property("tag").toInt(), n);
      QCOMPARE(r->d().PortName[i]->objectName(), QString("PortName%1").arg(n));
      QCOMPARE(r->d().Cmb[i]->maxVisibleItems(), 20);
    }
    QCOMPARE(r->d().mode(), int(kPortModeNone));
    QCOMPARE(r->d().DelBtn->text(), QString("削除"));
    QCOMPARE(r->d().Button1->text(), QString("キャンセル"));
  }

  void conversionModeSavesATypedSetAndConverts() {
    auto r = rig();
    const int a = r->chart.createItem(kItemPos, 0, 0);
    const int b = r->chart.createItem(kItemPos, 0, 40);
    r->chart.items[a].PrmWords[0] = 16384 + 500;
    r->chart.items[b].PrmWords[0] = 16384 + 500;
    r->chart.items[a].Selected = true;
    r->d().PrepareConversion();
    QCOMPARE(r->d().windowTitle(), QString("変換"));
    QVERIFY(!r->d().ListMenu->isHidden());
    QVERIFY(r->d().ListMenu->isEditable());
    QCOMPARE(r->d().ListLabel->text(), QString("名前"));
    QCOMPARE(r->d().Cmb[0]->count(), 7);
    QCOMPARE(r->d().Cmb[0]->itemText(6), QString("SPD(?)"));
    QCOMPARE(r->d().Cmb[0]->currentText(), QString());
    r->type(1, "Reverse");
    r->type(3, "say \"x\", y");
    r->d().ListMenu->setEditText("  mirror ");
    r->d().OKBtnClick();
    QCOMPARE(r->d().result(), int(QDialog::Accepted));
    QCOMPARE(r->chart.items[a].PrmWords[0], std::uint16_t{16384 - 500});
    QCOMPARE(r->chart.items[b].PrmWords[0], std::uint16_t{16384 + 500});  // not selected
    QVERIFY(r->chart.items[a].Selected);                                  // the selection stays

    // Kept in memory until the end of the run, and read again at the next start.
    QVERIFY(!QFile::exists(QString::fromStdString(r->patternPath())));
    r->reopen();
    QVERIFY(QFile::exists(QString::fromStdString(r->patternPath())));
    r->d().PrepareConversion();
    QCOMPARE(r->d().ListMenu->count(), 1);
    QCOMPARE(r->d().ListMenu->itemText(0), QString("mirror"));
    r->choose(0);
    QCOMPARE(r->d().boxText(1), QString("Reverse"));
    QCOMPARE(r->d().boxText(2), QString());
    QCOMPARE(r->d().boxText(3), QString("say \"x\", y"));
  }

  void conversionWithoutANameAppliesWithoutSaving() {
    auto r = rig();
    const int a = r->chart.createItem(kItemPos, 0, 0);
    r->chart.items[a].PrmWords[1] = 100;
    r->chart.items[a].Selected = true;
    r->d().PrepareConversion();
    r->type(2, "ADD(5)");
    r->d().OKBtnClick();
    QCOMPARE(r->d().result(), int(QDialog::Accepted));
    QCOMPARE(r->chart.items[a].PrmWords[1], std::uint16_t{105});
    QVERIFY(r->d().pattern().conversionSetNames().empty());
  }

  void conversionThatDividesByZeroIsRefusedWhole() {
    auto r = rig();
    const int a = r->chart.createItem(kItemPos, 0, 0);
    r->chart.items[a].PrmWords[0] = 1000;
    r->chart.items[a].Selected = true;
    r->d().PrepareConversion();
    r->type(1, "ADD(5)");
    r->type(7, "SPD(/0)");
    r->d().ListMenu->setEditText("broken");
    Boxes boxes;
    answerBoxes(boxes, QMessageBox::Ok);
    r->d().setResult(0);
    r->d().OKBtnClick();
    QCOMPARE(boxes.count, 1);
    QCOMPARE(boxes.last, QString("エラー:CH7の入力に間違いがあります"));
    QCOMPARE(r->d().result(), 0);  // still open
    QCOMPARE(r->chart.items[a].PrmWords[0], std::uint16_t{1000});
    QCOMPARE(r->chart.items[a].PrmByte, std::uint8_t{100});
    QVERIFY(r->d().pattern().conversionSetNames().empty());
  }

  void namesTheFileCannotHoldAreRefused() {
    auto r = rig();
    r->d().PrepareConversion();
    Boxes boxes;
    answerBoxes(boxes, QMessageBox::Ok);
    for (const char* name : {"a=b", "[x"}) {
      r->d().setResult(0);
      r->d().ListMenu->setEditText(name);
      r->d().OKBtnClick();
      QCOMPARE(r->d().result(), 0);
      QCOMPARE(boxes.last, QString("警告:御指定の名前は使用できません"));
    }
    QCOMPARE(boxes.count, 2);
    QVERIFY(r->d().pattern().conversionSetNames().empty());
  }

  void deletingTheConversionSetShownAsks() {
    writePattern(
        "[Convert]\r\nCnvList=one,two\r\n\r\n[CnvList]\r\none=\"Reverse\"\r\ntwo=\"ADD(1)\"\r\n");
    auto r = rig();
    r->d().PrepareConversion();
    r->choose(1);
    QCOMPARE(r->d().boxText(1), QString("ADD(1)"));
    QCOMPARE(r->d().boxText(24), QString());  // a set of one entry: the rest stay empty
    Boxes boxes;
    answerBoxes(boxes, QMessageBox::No);
    r->d().DelBtnClick();
    QCOMPARE(boxes.last, QString("警告:twoを削除しますか？"));
    QCOMPARE(r->d().ListMenu->count(), 2);
    answerBoxes(boxes, QMessageBox::Yes);
    r->d().DelBtnClick();
    QCOMPARE(r->d().ListMenu->count(), 1);
    QCOMPARE(r->d().ListMenu->currentIndex(), -1);
    QCOMPARE(r->d().ListMenu->currentText(), QString());
    for (int n = 1; n <= kChannelCount; ++n) QCOMPARE(r->d().boxText(n), QString("CopyTo(?)"));
    QCOMPARE(r->d().pattern().conversionSetNames(), std::vector<std::string>{"one"});
    QVERIFY(!r->d().pattern().hasConversionSet("two"));
    // Nothing chosen: nothing to delete, nothing asked.
    r->d().DelBtnClick();
    QCOMPARE(boxes.count, 2);
  }

  void channelNamesFromTheBoard() {
    auto r = rig();
    auto& names = r->port.board().memory().channelNames;
    const std::string full(32, 'N');  // exactly 32 bytes: shown whole
    std::copy(full.begin(), full.end(), names[0].begin());
    const std::string arm = "\x98\x72";  // "腕" in CP932
    std::copy(arm.begin(), arm.end(), names[2].begin());
    r->link.RetryCount = 1;
    r->port.board().injectFaultAt(1, board::Fault::noHandshake());  // CH2's read fails
    r->d().PrepareChannelNames();
    QCOMPARE(r->d().windowTitle(), QString("名称変更"));
    QVERIFY(r->d().ListMenu->isHidden());
    QVERIFY(r->d().DelBtn->isHidden());
    QCOMPARE(r->d().boxText(1), QString::fromStdString(full));
    QCOMPARE(r->d().boxText(2), QString());
    QCOMPARE(r->d().boxText(3), QString("腕"));
    QCOMPARE(r->d().Cmb[0]->count(), 0);  // a plain edit field
    r->d().channelLabels = [] {
      ChannelLabels labels;
      for (int n = 1; n <= kChannelCount; ++n) labels[n - 1] = {"Name", 0xFFFFFF, 0xFF0000};
      return labels;
    };
    r->d().PrepareChannelNames();
    QCOMPARE(r->d().PortName[4]->text(), QString("CH5"));  // numbers, in the editor's colours
    QCOMPARE(r->d().PortName[4]->palette().color(QPalette::WindowText), QColor(Qt::blue));
    r->d().OKBtnClick();
    QCOMPARE(r->d().result(), int(QDialog::Accepted));
  }

  void displayRates() {
    auto r = rig();
    const float rates[] = {1.0f, 0.5f, 0.33333f, -2.0f, 1234.5678f};
    r->d().displayRate = [&](int n) { return n <= 5 ? rates[n - 1] : 1.0f; };
    r->d().channelLabels = [] {
      ChannelLabels labels;
      labels[0].name = "Name1";
      return labels;
    };
    r->d().PrepareDisplayRates();
    QCOMPARE(r->d().windowTitle(), QString("度数レートの変更"));
    QCOMPARE(r->d().PortName[0]->text(), QString("Name1"));
    const char* shown[] = {"1", "0.5", "0.333", "-2", "1234.568"};
    for (int n = 1; n <= 5; ++n) QCOMPARE(r->d().boxText(n), QString(shown[n - 1]));
    QVERIFY(r->d().ListLabel->isHidden());
  }

  void linkSetChecksEntriesAndNames() {
    auto r = rig();
    r->d().PrepareLinkSets();
    QCOMPARE(r->d().windowTitle(), QString("指定動作の設定"));
    QCOMPARE(r->actionsCleared, 1);  // cleared on opening
    QCOMPARE(r->d().Cmb[0]->count(), 6);
    QCOMPARE(r->d().Cmb[0]->itemText(0), QString("PRM(?)"));
    Boxes boxes;
    answerBoxes(boxes, QMessageBox::Ok);
    r->type(1, "mov( 10 )");
    r->type(4, "SPD(0)");
    r->d().OKBtnClick();
    QCOMPARE(boxes.last, QString("エラー:CH4の入力に間違いがあります"));
    r->type(4, "SPD(+0)");
    r->type(5, "SPD(-5)");
    r->d().ListMenu->setEditText("組み合わせの設定");
    r->d().OKBtnClick();
    QCOMPARE(boxes.last, QString("警告:御指定の名前は使用できません"));
    r->d().ListMenu->setEditText("");
    r->d().OKBtnClick();
    QCOMPARE(boxes.last, QString("警告:名前を入力してください"));
    QCOMPARE(boxes.count, 3);
    QCOMPARE(r->d().result(), 0);

    r->d().ListMenu->setEditText("wave");
    r->d().OKBtnClick();
    QCOMPARE(r->d().result(), int(QDialog::Accepted));
    QCOMPARE(r->linkListTexts(), (QStringList{"wave", "組み合わせの設定"}));
    QCOMPARE(r->linkList.currentIndex(), 1);
    QCOMPARE(r->actionsCleared, 1);  // the set acts only once it is chosen in the list
    const std::vector<std::string> saved = r->pattern.linkSet("wave");
    QCOMPARE(saved.size(), std::size_t{24});
    QCOMPARE(saved[0], std::string("mov( 10 )"));
    QCOMPARE(saved[4], std::string("SPD(-5)"));
  }

  void cancelInLinkModeLeavesTheActionsCleared() {
    writePattern("[NewLink]\r\nNewLinkList=a\r\n\r\n[NewLinkList]\r\na=\"FREE\"\r\n");
    auto r = rig();
    r->d().PrepareLinkSets();
    r->type(1, "TCH");
    r->d().Button1Click();
    QCOMPARE(r->d().result(), int(QDialog::Rejected));
    QCOMPARE(r->actionsCleared, 1);
    QCOMPARE(r->linkList.count(), 0);  // nothing rebuilt
    QCOMPARE(r->d().pattern().linkSet("a"), std::vector<std::string>{"FREE"});
  }

  void deletingTheLinkSetShownEmptiesTheBoxes() {
    writePattern(
        "[NewLink]\r\nNewLinkList=a,b\r\n\r\n[NewLinkList]\r\na=\"FREE\",\"TCH\"\r\nb=\"TCH\"\r\n");
    auto r = rig();
    r->d().PrepareLinkSets();
    r->choose(0);
    QCOMPARE(r->d().boxText(2), QString("TCH"));
    Boxes boxes;
    answerBoxes(boxes, QMessageBox::Yes);
    r->d().DelBtnClick();
    QCOMPARE(boxes.last, QString("警告:aを削除しますか？"));
    for (int n = 1; n <= kChannelCount; ++n) QCOMPARE(r->d().boxText(n), QString());
    QCOMPARE(r->linkListTexts(), (QStringList{"b", "組み合わせの設定"}));
    QCOMPARE(r->linkList.currentIndex(), 1);
    QCOMPARE(r->actionsCleared, 2);  // on opening and on deleting
  }

  void typedExistingNameIsListedTwice() {
    writePattern("[NewLink]\r\nNewLinkList=a\r\n\r\n[NewLinkList]\r\na=\"FREE\"\r\n");
    auto r = rig();
    r->d().PrepareLinkSets();
    r->type(1, "TCH");
    r->d().ListMenu->setEditText("a");
    r->d().OKBtnClick();
    QCOMPARE(r->d().pattern().linkSetNames(), (std::vector<std::string>{"a", "a"}));
    QCOMPARE(r->d().pattern().linkSet("a").front(), std::string("TCH"));
    // Choosing and then typing over the entry makes the text a new name.
    r->d().PrepareLinkSets();
    r->choose(0);
    r->d().ListMenu->setEditText("b");
    r->d().OKBtnClick();
    QCOMPARE(r->d().pattern().linkSetNames().back(), std::string("b"));
  }

 private:
  std::unique_ptr<QTemporaryDir> dir_;
};

}  // namespace

PVRJ_REGISTER_QTEST(PortDlgTest);
#include "PortDlgTest.moc"
