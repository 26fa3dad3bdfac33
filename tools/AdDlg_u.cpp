// The analog dialog's controls and handlers; encodings and board sequences are in tools/core.
#include "tools/AdDlg_u.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>

#include "common/Numbers.h"
#include "protocol/BoardLink.h"
#include "protocol/BoardMessages.h"
#include "protocol/MotionTable.h"
#include "tools/StripChart.h"
#include "tools/core/BoardOptions.h"
#include "ui/MessageDialog_u.h"

namespace pvrj {
namespace {

constexpr int kMixingListRows = 30;
constexpr int kMixingPerColumn = 12;
constexpr int kEditWidth = 56;
constexpr int kMotionListWidth = 200;
constexpr const char* kNoReading = "----";
// Volts per count of the supply and of an input, as the voltage boxes show them.
constexpr double kBatteryVolts = 0.01539;
constexpr double kInputVolts = 0.00532;
constexpr double kInputAxisVolts = 5.5;
constexpr double kBatteryAxisVolts = 16.0;
constexpr double kMillisPerSecond = 1000.0;

}  // namespace

TAdDlg::TAdDlg(BoardLink& link, BoardMessages& messages, const MotionTable& table, QWidget* parent)
    : QDialog(parent), link_(link), messages_(messages), table_(table) {
  setObjectName(QStringLiteral("AdDlg"));
  setWindowTitle(QStringLiteral("Analog"));

  AdChannel = new QTabBar(this);
  AdChannel->setObjectName(QStringLiteral("AdChannel"));
  AdChannel->addTab(QStringLiteral("入力１ [AD1]"));
  AdChannel->addTab(QStringLiteral("入力２ [AD2]"));
  AdChannel->addTab(QStringLiteral("入力３ [AD3]"));

  GroupBox1 = new QGroupBox(QStringLiteral("リアルタイムミキシング"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  auto* mixingGrid = new QGridLayout(GroupBox1);
  mixingGrid->setVerticalSpacing(1);
  const QStringList factors = toStringList(mixingItems());
  for (int n = 1; n <= kBoardChannels; ++n) {
    auto* name = new QLabel(QStringLiteral("CH%1").arg(n), GroupBox1);
    name->setObjectName(QStringLiteral("PortName%1").arg(n));
    auto* combo = new QComboBox(GroupBox1);
    combo->setObjectName(QStringLiteral("ComboBox%1").arg(n));
    combo->setProperty("tag", n);
    combo->setMaxVisibleItems(kMixingListRows);
    combo->addItems(factors);  // filled once, when the form is made
    combo->setCurrentIndex(kMixingOff);
    const int row = (n - 1) % kMixingPerColumn;
    const int column = 2 * ((n - 1) / kMixingPerColumn);
    mixingGrid->addWidget(name, row, column);
    mixingGrid->addWidget(combo, row, column + 1);
    PortName[at(n - 1)] = name;
    ComboBox[at(n - 1)] = combo;
  }

  GroupBox2 = new QGroupBox(QStringLiteral("基準設定"), this);
  GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
  Label2 = namedLabel("Label2", QStringLiteral("基準値"), GroupBox2);
  CalEdit =
      readingBox(QStringLiteral("CalEdit"), QStringLiteral("0"), kEditWidth, false, GroupBox2);
  ScrollBar1 = new QScrollBar(Qt::Horizontal, GroupBox2);
  ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
  ScrollBar1->setRange(kReferenceMin, kReferenceMax);
  Label3 = namedLabel("Label3", QStringLiteral("測定値"), GroupBox2);
  AdcEdit = readingBox(QStringLiteral("AdcEdit"), QString::fromLatin1(kNoReading), kEditWidth,
                       false, GroupBox2);
  Label1 = namedLabel("Label1", QStringLiteral("変化量"), GroupBox2);
  RifEdit = readingBox(QStringLiteral("RifEdit"), QString::fromLatin1(kNoReading), kEditWidth, true,
                       GroupBox2);
  AutoCalBtn = new QPushButton(QStringLiteral("AUTO"), GroupBox2);
  AutoCalBtn->setObjectName(QStringLiteral("AutoCalBtn"));
  auto* referenceGrid = new QGridLayout(GroupBox2);
  referenceGrid->addWidget(Label2, 0, 0);
  referenceGrid->addWidget(CalEdit, 0, 1);
  referenceGrid->addWidget(ScrollBar1, 0, 2, 1, 3);
  referenceGrid->addWidget(Label3, 1, 0);
  referenceGrid->addWidget(AdcEdit, 1, 1);
  referenceGrid->addWidget(Label1, 1, 2);
  referenceGrid->addWidget(RifEdit, 1, 3);
  referenceGrid->addWidget(AutoCalBtn, 1, 4);

  GroupBox3 = new QGroupBox(QStringLiteral("センサー割込でのモーション再生"), this);
  GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
  auto* sensorGrid = new QGridLayout(GroupBox3);
  const char* names[kSensorRows][6] = {
      {"Label4", "SensScroll1", "Edit1", "Label5", "MotList1", "Label6"},
      {"Label7", "SensScroll2", "Edit2", "Label9", "MotList2", "Label8"}};
  for (int r = 0; r < kSensorRows; ++r) {
    thresholdLabels[at(r)] = namedLabel(names[r][0], QStringLiteral("変化量が"), GroupBox3);
    auto* bar = new QScrollBar(Qt::Horizontal, GroupBox3);
    bar->setObjectName(QString::fromLatin1(names[r][1]));
    bar->setProperty("tag", r);
    bar->setRange(-kThresholdLimit, kThresholdLimit);
    SensScroll[at(r)] = bar;
    thresholdEdits[at(r)] =
        readingBox(QString::fromLatin1(names[r][2]), QString::fromLatin1(kNoReading), kEditWidth,
                   true, GroupBox3);
    exceedLabels[at(r)] = namedLabel(names[r][3], QStringLiteral("を超えたら"), GroupBox3);
    auto* list = new QComboBox(GroupBox3);
    list->setObjectName(QString::fromLatin1(names[r][4]));
    list->setProperty("tag", r);
    list->setMinimumWidth(kMotionListWidth);
    MotList[at(r)] = list;
    playLabels[at(r)] = namedLabel(names[r][5], QStringLiteral("を再生する"), GroupBox3);
    sensorGrid->addWidget(thresholdLabels[at(r)], 2 * r, 0);
    sensorGrid->addWidget(bar, 2 * r, 1, 1, 3);
    sensorGrid->addWidget(thresholdEdits[at(r)], 2 * r, 4);
    sensorGrid->addWidget(exceedLabels[at(r)], 2 * r + 1, 0);
    sensorGrid->addWidget(list, 2 * r + 1, 1, 1, 3);
    sensorGrid->addWidget(playLabels[at(r)], 2 * r + 1, 4);
  }

  Panel2 = new QFrame(this);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* voltages = new QHBoxLayout(Panel2);
  Edit3 = readingBox(QStringLiteral("Edit3"), QStringLiteral("00.00V"), kEditWidth, false, Panel2);
  Edit4 = readingBox(QStringLiteral("Edit4"), QStringLiteral("0.00V"), kEditWidth, false, Panel2);
  Edit5 = readingBox(QStringLiteral("Edit5"), QStringLiteral("0.00V"), kEditWidth, false, Panel2);
  Edit6 = readingBox(QStringLiteral("Edit6"), QStringLiteral("0.00V"), kEditWidth, false, Panel2);
  const QString captions[] = {QStringLiteral("BATT"), QStringLiteral("AD1"), QStringLiteral("AD2"),
                              QStringLiteral("AD3")};
  QLineEdit* boxes[] = {Edit3, Edit4, Edit5, Edit6};
  for (int i = 0; i < 4; ++i) {
    boxes[i]->setReadOnly(true);
    voltages->addWidget(new QLabel(captions[i], Panel2));
    voltages->addWidget(boxes[i]);
  }

  plot = new TStripChart({{QStringLiteral("BATT"), QColor(200, 0, 0), true},
                          {QStringLiteral("AD1"), QColor(0, 90, 200), false},
                          {QStringLiteral("AD2"), QColor(0, 150, 0), false},
                          {QStringLiteral("AD3"), QColor(200, 120, 0), false}},
                         this);
  plot->setObjectName(QStringLiteral("AnalogPlot"));
  plot->setLeftAxis(QStringLiteral("AD [V]"), 0, kInputAxisVolts);
  plot->setRightAxis(QStringLiteral("BATT [V]"), 0, kBatteryAxisVolts);
  referenceLevel_ = plot->addLevel(QStringLiteral("基準値"), QColor(90, 90, 90));
  for (int r = 0; r < kSensorRows; ++r) {
    thresholdLevels_[at(r)] =
        plot->addLevel(QStringLiteral("閾値%1").arg(r + 1), QColor(160, 0, 160));
  }

  auto* left = new QVBoxLayout;
  left->addWidget(AdChannel);
  left->addWidget(GroupBox1);
  auto* right = new QVBoxLayout;
  right->addWidget(GroupBox2);
  right->addWidget(GroupBox3);
  right->addWidget(Panel2);
  right->addStretch();
  auto* top = new QHBoxLayout;
  top->addLayout(left);
  top->addLayout(right, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(plot, 1);

  connect(AdChannel, &QTabBar::currentChanged, this, [this](int index) {
    if (!showing_) AdChannelChange(index);
  });
  for (int n = 1; n <= kBoardChannels; ++n) {
    connect(ComboBox[at(n - 1)], &QComboBox::activated, this, [this, n] { ComboBoxCloseUp(n); });
  }
  onScroll(ScrollBar1, [this](int position, bool) { ScrollBar1Scroll(position); });
  connect(AutoCalBtn, &QPushButton::clicked, this, [this] { AutoCalBtnClick(); });
  for (int r = 0; r < kSensorRows; ++r) {
    connect(MotList[at(r)], &QComboBox::activated, this, [this, r] { MotListCloseUp(r); });
    onScroll(SensScroll[at(r)],
             [this, r](int position, bool ended) { SensScrollScroll(r, position, ended); });
  }
  clock_.start();
}

int TAdDlg::selectedInput() const {
  return std::clamp(AdChannel->currentIndex(), 0, kAnalogInputCount - 1);
}

void TAdDlg::refreshReferencePanel() {
  const int i = selectedInput();
  const int reference = settings_.references[at(i)];
  CalEdit->setText(QString::number(reference));
  showing_ = true;
  ScrollBar1->setValue(reference);
  showing_ = false;
  // Until this opening's first report there is no reading to show.
  if (readingsFresh_) {
    AdcEdit->setText(QString::number(settings_.measured[at(i)]));
    RifEdit->setText(QString::number(referenceChange(settings_, i)));
  } else {
    AdcEdit->setText(QString::fromLatin1(kNoReading));
    RifEdit->setText(QString::fromLatin1(kNoReading));
  }
  showLevels();
}

void TAdDlg::showLevels() {
  const int i = selectedInput();
  const double reference = settings_.references[at(i)];
  plot->setLevel(referenceLevel_, reference * kInputVolts);
  for (int r = 0; r < kSensorRows; ++r) {
    const SensorSetting& s = settings_.sensors[at(sensorEntry(i, r))];
    plot->setLevel(thresholdLevels_[at(r)], (reference + s.threshold) * kInputVolts,
                   s.motionIndex != 0);
  }
}

void TAdDlg::showMixingRow() {
  const MixingFactors& row = settings_.mixing[at(selectedInput())];
  for (int ch = 0; ch < kBoardChannels; ++ch) ComboBox[at(ch)]->setCurrentIndex(row[at(ch)]);
}

void TAdDlg::fillMotionLists() {
  const QStringList items = toStringList(motionListItems(table_));
  for (QComboBox* list : MotList) {
    list->clear();
    list->addItems(items);
  }
}

void TAdDlg::showSensorRows() {
  fillMotionLists();
  const int i = selectedInput();
  showing_ = true;
  for (int r = 0; r < kSensorRows; ++r) {
    const SensorSetting& s = settings_.sensors[at(sensorEntry(i, r))];
    SensScroll[at(r)]->setValue(s.threshold);
    thresholdEdits[at(r)]->setText(QString::number(s.threshold));
    MotList[at(r)]->setCurrentIndex(s.motionIndex);
  }
  showing_ = false;
  showLevels();
}

bool TAdDlg::LoadAnalogSettings() {
  if (channelLabels) {
    const ChannelLabels labels = channelLabels();
    for (int ch = 0; ch < kBoardChannels; ++ch)
      showChannelLabel(*PortName[at(ch)], labels[at(ch)], channelLabelName(labels[at(ch)], ch + 1));
  }
  readingsFresh_ = false;
  AdcEdit->setText(QString::fromLatin1(kNoReading));
  RifEdit->setText(QString::fromLatin1(kNoReading));
  if (!pvrj::LoadAnalogSettings(link_, settings_)) return false;
  refreshReferencePanel();
  showMixingRow();
  showSensorRows();
  return true;
}

bool TAdDlg::StoreAnalogSettings() {
  return pvrj::StoreAnalogSettings(link_, settings_);
}

bool TAdDlg::execute() {
  if (!LoadAnalogSettings()) return false;
  messages_.clear();
  link_.SetAnalogStream(kAnalogStreamOn);
  plot->clear();
  clock_.restart();  // the plot's seconds count from the opening
  execModal(*this);
  closeAnalogDialog(link_, settings_);
  return true;
}

void TAdDlg::showAnalogReport(const AnalogReport& report) {
  Edit3->setText(QString::fromStdString(formatBatteryVoltage(report.battery)));
  Edit4->setText(QString::fromStdString(formatInputVoltage(report.inputs[0])));
  Edit5->setText(QString::fromStdString(formatInputVoltage(report.inputs[1])));
  Edit6->setText(QString::fromStdString(formatInputVoltage(report.inputs[2])));
  takeAnalogReport(settings_, report);
  readingsFresh_ = true;
  if (!isVisible()) return;
  refreshReferencePanel();
  const double values[kAnalogTraces] = {
      report.battery * kBatteryVolts, report.inputs[0] * kInputVolts,
      report.inputs[1] * kInputVolts, report.inputs[2] * kInputVolts};
  const double t =
      sampleClock ? sampleClock() : static_cast<double>(clock_.elapsed()) / kMillisPerSecond;
  plot->addSample(t, values);
}

void TAdDlg::AdChannelChange(int) {
  refreshReferencePanel();
  showMixingRow();
  showSensorRows();
}

void TAdDlg::ComboBoxCloseUp(int channel) {
  if (channel < 1 || channel > kBoardChannels) return;
  chooseMixing(link_, settings_, selectedInput(), channel - 1,
               ComboBox[at(channel - 1)]->currentIndex());
}

void TAdDlg::ScrollBar1Scroll(int position) {
  if (showing_) return;
  moveReference(link_, settings_, selectedInput(), position);
  CalEdit->setText(QString::number(settings_.references[at(selectedInput())]));
  showLevels();
}

void TAdDlg::AutoCalBtnClick() {
  // The panel shows the new reference with the next report.
  autoReference(link_, settings_, selectedInput());
}

void TAdDlg::MotListCloseUp(int row) {
  if (row < 0 || row >= kSensorRows) return;
  chooseSensorMotion(link_, settings_, selectedInput(), row,
                     std::max(MotList[at(row)]->currentIndex(), 0));
  showLevels();
}

void TAdDlg::SensScrollScroll(int row, int position, bool ended) {
  if (showing_ || row < 0 || row >= kSensorRows) return;
  moveSensorThreshold(link_, settings_, selectedInput(), row, position, ended);
  thresholdEdits[at(row)]->setText(
      QString::number(settings_.sensors[at(sensorEntry(selectedInput(), row))].threshold));
  showLevels();
}

}  // namespace pvrj
