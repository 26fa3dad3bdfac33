// The options dialog's controls and handlers; the option rules and sequences are in tools/core.
#include "tools/OptDlg_u.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QVBoxLayout>

#include "common/Numbers.h"
#include "protocol/BoardLink.h"
#include "protocol/MotionTable.h"
#include "ui/MessageDialog_u.h"

namespace pvrj {
namespace {

constexpr int kBoxesPerColumn = 8;
constexpr int kVoltEditWidth = 60;
constexpr int kListMinimumWidth = 260;

}  // namespace

TOptDlg::TOptDlg(BoardLink& link, const MotionTable& table, QWidget* parent)
    : QDialog(parent), link_(link), table_(table) {
  setObjectName(QStringLiteral("OptDlg"));
  setWindowTitle(QStringLiteral("Option"));

  auto check = [this](const char* name, const QString& caption) {
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(QString::fromLatin1(name));
    return box;
  };
  Check5 = check("Check5", QStringLiteral("モーション再生終了時に返事をもらう"));
  Check1 = check("Check1", QStringLiteral("送信機でのモーション・シナリオ再生を有効にする"));
  Check7 = check("Check7", QStringLiteral("MTX1から制御する"));
  auto list = [this](const char* labelName, const QString& caption, const char* name,
                     QLabel*& label) {
    label = new QLabel(caption, this);
    label->setObjectName(QString::fromLatin1(labelName));
    auto* combo = new QComboBox(this);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(false);
    combo->setMinimumWidth(kListMinimumWidth);
    return combo;
  };
  BtnList = list("Label2", QStringLiteral("スタートスイッチでモーション・シナリオを再生する"),
                 "BtnList", Label2);
  StartList = list("Label3", QStringLiteral("電源投入時にモーション・シナリオを再生する"),
                   "StartList", Label3);
  AlarmList = list("Label4", QStringLiteral("電源電圧低下時にモーション・シナリオを再生する"),
                   "AlarmList", Label4);
  AlmVoltEdit = new QLineEdit(QString::fromStdString(thresholdText(kThresholdDefaultTenths)), this);
  AlmVoltEdit->setObjectName(QStringLiteral("AlmVoltEdit"));
  // Only the spinner sets the threshold; the box shows it.
  AlmVoltEdit->setReadOnly(true);
  AlmVoltEdit->setFixedWidth(kVoltEditWidth);
  AlmVoltBtn = new TUpDown(kThresholdMinTenths, kThresholdMaxTenths, kThresholdDefaultTenths, this);
  AlmVoltBtn->setObjectName(QStringLiteral("AlmVoltBtn"));

  GroupBox6 = new QGroupBox(QStringLiteral("QVS機能"), this);
  GroupBox6->setObjectName(QStringLiteral("GroupBox6"));
  auto* grid = new QGridLayout(GroupBox6);
  for (int n = 1; n <= kQvsBoxes; ++n) {
    auto* box = new QCheckBox(QStringLiteral("CH%1").arg(n), GroupBox6);
    box->setObjectName(QStringLiteral("QVS_C%1").arg(n));
    box->setProperty("tag", n);
    grid->addWidget(box, (n - 1) % kBoxesPerColumn, (n - 1) / kBoxesPerColumn);
    QVS_C[at(n - 1)] = box;
  }

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Check5);
  layout->addWidget(Check1);
  layout->addWidget(Check7);
  for (auto [label, combo] : {std::pair{Label2, BtnList}, std::pair{Label3, StartList}}) {
    layout->addWidget(label);
    layout->addWidget(combo);
  }
  layout->addWidget(Label4);
  auto* alarmRow = new QHBoxLayout;
  alarmRow->addWidget(AlarmList, 1);
  alarmRow->addWidget(AlmVoltEdit);
  alarmRow->addWidget(AlmVoltBtn);
  layout->addLayout(alarmRow);
  layout->addWidget(GroupBox6);
  fillLists();

  // A click (the mouse let go over the box, or the space key) and a choice from a list send at
  // once; the keyboard sends as the mouse does, so a box never shows what the board lacks.
  for (QCheckBox* box : {Check1, Check5, Check7}) {
    connect(box, &QCheckBox::clicked, this, [this, box] { CheckMouseUp(box); });
  }
  connect(BtnList, &QComboBox::activated, this, [this] { BtnListCloseUp(); });
  connect(StartList, &QComboBox::activated, this, [this] { BtnListCloseUp(); });
  connect(AlarmList, &QComboBox::activated, this, [this] { AlarmListCloseUp(); });
  connect(AlmVoltBtn, &TUpDown::stepped, this, [this](int position) { AlmVoltBtnClick(position); });
  connect(AlmVoltBtn, &TUpDown::released, this, [this] { AlmVoltBtnMouseUp(); });
  for (int n = 1; n <= kQvsBoxes; ++n) {
    connect(QVS_C[at(n - 1)], &QCheckBox::clicked, this, [this, n] { QVS_CMouseUp(n); });
  }
}

void TOptDlg::fillLists() {
  const QStringList items = toStringList(motionListItems(table_));
  for (QComboBox* combo : {BtnList, StartList, AlarmList}) {
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(kListOff);
  }
}

OptionControls TOptDlg::controls() const {
  OptionControls c;
  c.transmitterPlay = Check1->isChecked();
  c.playEndReply = Check5->isChecked();
  c.mtx1Control = Check7->isChecked();
  c.startSwitchIndex = std::max(BtnList->currentIndex(), 0);
  c.powerOnIndex = std::max(StartList->currentIndex(), 0);
  c.lowVoltageIndex = std::max(AlarmList->currentIndex(), 0);
  c.thresholdTenths = AlmVoltBtn->position();
  c.thresholdText = AlmVoltEdit->text().toStdString();
  for (int i = 0; i < kQvsBoxes; ++i) {
    if (QVS_C[at(i)]->isChecked()) c.qvsMask |= 1u << i;
  }
  return c;
}

void TOptDlg::showControls(const OptionControls& c) {
  Check1->setChecked(c.transmitterPlay);
  Check5->setChecked(c.playEndReply);
  Check7->setChecked(c.mtx1Control);
  BtnList->setCurrentIndex(c.startSwitchIndex);
  StartList->setCurrentIndex(c.powerOnIndex);
  AlarmList->setCurrentIndex(c.lowVoltageIndex);
  AlmVoltBtn->setPosition(c.thresholdTenths);
  AlmVoltEdit->setText(QString::fromStdString(c.thresholdText));
  for (int i = 0; i < kQvsBoxes; ++i) QVS_C[at(i)]->setChecked((c.qvsMask >> i) & 1u);
}

void TOptDlg::showLoaded(const OptionControls& c) {
  showControls(c);
  if (channelLabels) {
    const ChannelLabels labels = channelLabels();
    for (int i = 0; i < kQvsBoxes; ++i)
      showChannelLabel(*QVS_C[at(i)], labels[at(i)], channelLabelName(labels[at(i)], i + 1));
  }
}

bool TOptDlg::LoadBoardOptions() {
  fillLists();
  OptionControls c = controls();
  if (!pvrj::LoadBoardOptions(link_, c)) return false;
  showLoaded(c);
  return true;
}

bool TOptDlg::execute() {
  fillLists();
  OptionControls c = controls();
  const OptionsOpening opened = openBoardOptions(link_, c);
  if (opened == OptionsOpening::kWakeFailed || opened == OptionsOpening::kReady) showLoaded(c);
  if (opened != OptionsOpening::kReady) return false;
  execModal(*this);
  return true;
}

void TOptDlg::CheckMouseUp(QCheckBox*) {
  WriteOptionWord(link_, controls());
}

void TOptDlg::BtnListCloseUp() {
  writeStartData(link_, controls());
}

void TOptDlg::AlarmListCloseUp() {
  WriteAlarm(link_, controls());
}

void TOptDlg::AlmVoltBtnClick(int position) {
  AlmVoltEdit->setText(QString::fromStdString(thresholdText(position)));
}

void TOptDlg::AlmVoltBtnMouseUp() {
  WriteAlarm(link_, controls());
}

void TOptDlg::QVS_CMouseUp(int) {
  writeQvsMask(link_, controls());
}

}  // namespace pvrj
