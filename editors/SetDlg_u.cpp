// The setting editor's controls and handlers.
#include "editors/SetDlg_u.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "common/Numbers.h"
#include "protocol/BoardLink.h"
#include "protocol/MotionTable.h"

namespace pvrj {

namespace {

constexpr int kMixingRowsPerColumn = 12;
constexpr int kMixListVisibleRows = 20;

QRadioButton* operationButton(QWidget* parent, const char* name, SettingOperation operation) {
  auto* button =
      new QRadioButton(QString::fromStdString(settingOperationCaption(operation)), parent);
  button->setObjectName(name);
  // Exclusive by hand, so an item without an operation can open with every button clear.
  button->setAutoExclusive(false);
  return button;
}

}  // namespace

TSetDlg::TSetDlg(Chart& chart, QWidget* parent) : QDialog(parent), chart_(chart) {
  setObjectName("SetDlg");
  setWindowTitle("SetDlg");
  pages = new QTabWidget(this);
  pages->setObjectName("PageControl1");
  buildOtherPage();
  buildMixingPage();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages);
}

void TSetDlg::buildOtherPage() {
  otherPage = new QWidget;
  otherPage->setObjectName("TabSheet1");
  RadBtn1 = operationButton(otherPage, "RadBtn1", SettingOperation::kTeachValue);
  RadBtn2 = operationButton(otherPage, "RadBtn2", SettingOperation::kLoopCounter);
  RadBtn3 = operationButton(otherPage, "RadBtn3", SettingOperation::kCompareRegister);
  RadBtn4 = operationButton(otherPage, "RadBtn4", SettingOperation::kAnalogCalibrate);
  RadBtn6 = operationButton(otherPage, "RadBtn6", SettingOperation::kSensorControl);
  RadBtn7 = operationButton(otherPage, "RadBtn7", SettingOperation::kReceiverOn);
  RadBtn8 = operationButton(otherPage, "RadBtn8", SettingOperation::kReceiverOff);

  NumBar = new QScrollBar(Qt::Horizontal, otherPage);
  NumBar->setObjectName("NumBar");
  NumBar->setRange(kLoopCountLowest, kLoopCountHighest);
  NumBar->setValue(kLoopCountInitial);
  Edit1 = new QLineEdit(QString::number(kLoopCountInitial), otherPage);
  Edit1->setObjectName("Edit1");
  Edit2 = new QLineEdit("0", otherPage);
  Edit2->setObjectName("Edit2");
  Edit2->installEventFilter(this);
  AdList = new QComboBox(otherPage);
  AdList->setObjectName("AdList");
  AdList->addItems(toStringList(analogInputTexts()));

  auto* layout = new QGridLayout(otherPage);
  int row = 0;
  layout->addWidget(RadBtn1, row++, 0, 1, 3);
  layout->addWidget(RadBtn2, row++, 0, 1, 3);
  layout->addWidget(NumBar, row, 1);
  layout->addWidget(Edit1, row++, 2);
  layout->addWidget(RadBtn3, row++, 0, 1, 3);
  layout->addWidget(Edit2, row++, 2);
  layout->addWidget(RadBtn4, row++, 0, 1, 3);
  layout->addWidget(AdList, row++, 2);
  layout->addWidget(RadBtn6, row++, 0, 1, 3);
  for (int k = 0; k < kSensorBoxes; ++k) {
    auto* box = new QCheckBox(otherPage);
    box->setObjectName(QString("Sck%1").arg(k + 1));
    Sck[static_cast<std::size_t>(k)] = box;
    layout->addWidget(box, row++, 1, 1, 2);
    connect(box, &QCheckBox::clicked, this, [this] { SckMouseUp(); });
  }
  layout->addWidget(RadBtn7, row++, 0, 1, 3);
  layout->addWidget(RadBtn8, row++, 0, 1, 3);
  layout->setColumnMinimumWidth(0, 16);
  layout->setColumnStretch(1, 1);
  layout->setRowStretch(row, 1);
  pages->addTab(otherPage, QString::fromUtf8(kOtherPageCaption));

  connect(RadBtn1, &QRadioButton::clicked, this, [this] { RadBtn1Click(); });
  connect(RadBtn2, &QRadioButton::clicked, this, [this] { RadBtn2Click(); });
  connect(RadBtn3, &QRadioButton::clicked, this, [this] { RadBtn3Click(); });
  connect(RadBtn4, &QRadioButton::clicked, this, [this] { RadBtn4Click(); });
  connect(RadBtn6, &QRadioButton::clicked, this, [this] { RadBtn6Click(); });
  connect(RadBtn7, &QRadioButton::clicked, this, [this] { RadBtn7Click(); });
  connect(RadBtn8, &QRadioButton::clicked, this, [this] { RadBtn8Click(); });
  connect(NumBar, &QScrollBar::valueChanged, this, [this] {
    if (!updating_) NumBarChange();
  });
  connect(Edit1, &QLineEdit::returnPressed, this, [this] { Edit1Enter(); });
  connect(Edit2, &QLineEdit::returnPressed, this, [this] { Edit2Enter(); });
  connect(AdList, &QComboBox::activated, this, [this] { AdListCloseUp(); });
}

void TSetDlg::buildMixingPage() {
  mixingPage = new QWidget;
  mixingPage->setObjectName("TabSheet2");
  auto* layout = new QGridLayout(mixingPage);
  const QStringList sources = toStringList(mixingSourceTexts());
  const QStringList ratios = toStringList(mixingRatioTexts());
  for (int n = 1; n <= kChannelCount; ++n) {
    const auto i = static_cast<std::size_t>(n - 1);
    auto* label = new QLabel(QString("CH%1").arg(n), mixingPage);
    label->setObjectName(QString("MixLabel%1").arg(n));
    auto* source = new QComboBox(mixingPage);
    source->setObjectName(QString("MixNum%1").arg(n));
    source->addItems(sources);
    auto* ratio = new QComboBox(mixingPage);
    ratio->setObjectName(QString("MixList%1").arg(n));
    ratio->addItems(ratios);
    ratio->setMaxVisibleItems(kMixListVisibleRows);
    ratio->setCurrentIndex(kMixingRatioOff);
    MixLabel[i] = label;
    MixNum[i] = source;
    MixList[i] = ratio;
    const int row = (n - 1) % kMixingRowsPerColumn;
    const int column = (n - 1) / kMixingRowsPerColumn * 3;
    layout->addWidget(label, row, column);
    layout->addWidget(source, row, column + 1);
    layout->addWidget(ratio, row, column + 2);
    connect(source, &QComboBox::activated, this, [this] { MixCloseUp(); });
    connect(ratio, &QComboBox::activated, this, [this] { MixCloseUp(); });
  }
  pages->addTab(mixingPage, QString::fromUtf8(kMixingPageCaption));
}

ChartItem* TSetDlg::editedItem() {
  if (!chart_.validItem(item_)) return nullptr;
  ChartItem& it = chart_.items[static_cast<std::size_t>(item_)];
  return it.Type == kItemSet ? &it : nullptr;
}

void TSetDlg::checkOperation(QRadioButton* button) {
  for (QRadioButton* b : {RadBtn1, RadBtn2, RadBtn3, RadBtn4, RadBtn6, RadBtn7, RadBtn8}) {
    b->setChecked(b == button);
  }
}

void TSetDlg::setNumBar(int position) {
  updating_ = true;
  NumBar->setValue(position);
  updating_ = false;
}

void TSetDlg::writeAll(std::uint16_t word) {
  if (ChartItem* it = editedItem()) it->PrmWords.fill(word);
}

void TSetDlg::sendLive() {
  if (!link || !syncOn || !syncOn()) return;
  const ChartItem* it = editedItem();
  if (!it) return;
  PositionRecord record;
  record.lead = it->PrmByte;
  record.block.words = it->PrmWords;
  // A failed send shows in the exchange's own report; the item keeps its new words.
  link->CmdWritePositionRecord(WorkingCopy, 0, 0, record);
}

unsigned TSetDlg::sensorMask() const {
  unsigned mask = 0;
  for (int k = 0; k < kSensorBoxes; ++k) {
    if (Sck[static_cast<std::size_t>(k)]->isChecked()) mask |= 1u << k;
  }
  return mask;
}

void TSetDlg::showSensorCaptions() {
  const SensorTable table = sensorTable ? sensorTable() : SensorTable{};
  for (int k = 0; k < kSensorBoxes; ++k) {
    const SensorEntry& entry = table[static_cast<std::size_t>(k)];
    std::string motion;
    if (entry.motionIndex > 0) {
      const int slot = entry.motionIndex - 1;
      if (motionTable) motion = motionTable->row(slot).caption;
      if (motion.empty()) motion = slotCaption(slot);
    }
    Sck[static_cast<std::size_t>(k)]->setText(
        QString::fromStdString(sensorCaption(k, entry, motion)));
  }
}

void TSetDlg::showMixingLabels() {
  if (!channelLabels) return;
  const ChannelLabels labels = channelLabels();
  for (int n = 1; n <= kChannelCount; ++n) {
    const ChannelLabel& label = labels[static_cast<std::size_t>(n - 1)];
    showChannelLabel(*MixLabel[static_cast<std::size_t>(n - 1)], label, channelLabelName(label, n));
  }
}

void TSetDlg::resetControls() {
  checkOperation(nullptr);
  for (QCheckBox* box : Sck) box->setChecked(false);
  setNumBar(kLoopCountLowest);
  Edit1->setText(QString::number(kLoopCountLowest));
  AdList->setCurrentIndex(0);
  for (int n = 0; n < kChannelCount; ++n) {
    MixNum[static_cast<std::size_t>(n)]->setCurrentIndex(0);
    MixList[static_cast<std::size_t>(n)]->setCurrentIndex(kMixingRatioOff);
  }
}

void TSetDlg::showEntry(const SettingEntry& entry) {
  switch (entry.operation) {
    case SettingOperation::kTeachValue:
      checkOperation(RadBtn1);
      break;
    case SettingOperation::kLoopCounter:
      checkOperation(RadBtn2);
      setNumBar(entry.value);
      Edit1->setText(QString::number(entry.value));
      break;
    case SettingOperation::kCompareRegister:
      checkOperation(RadBtn3);
      Edit2->setText(QString::number(entry.value));
      break;
    case SettingOperation::kAnalogCalibrate:
      checkOperation(RadBtn4);
      AdList->setCurrentIndex(entry.value);
      break;
    case SettingOperation::kSensorControl:
      checkOperation(RadBtn6);
      for (int k = 0; k < kSensorBoxes; ++k) {
        Sck[static_cast<std::size_t>(k)]->setChecked(entry.value & (1 << k));
      }
      break;
    case SettingOperation::kReceiverOn:
      checkOperation(RadBtn7);
      break;
    case SettingOperation::kReceiverOff:
      checkOperation(RadBtn8);
      break;
    case SettingOperation::kNone:
      break;
  }
}

void TSetDlg::openItem(int item) {
  item_ = item;
  // Focus away from Edit2 first: that edit writes the item whenever it gains the focus.
  pages->setFocus();
  show();
  raise();
  activateWindow();
  showSensorCaptions();
  const ChartItem* it = editedItem();
  setWindowTitle(it ? QString::fromStdString(it->Name) : QString());
  showMixingLabels();
  resetControls();
  if (!it) return;
  if (classifySettingItem(it->PrmWords) == kMixingClass) {
    pages->setCurrentWidget(mixingPage);
    for (int n = 0; n < kChannelCount; ++n) {
      const MixingRow row = decodeMixingWord(it->PrmWords[static_cast<std::size_t>(n)]);
      MixNum[static_cast<std::size_t>(n)]->setCurrentIndex(row.source);
      MixList[static_cast<std::size_t>(n)]->setCurrentIndex(row.ratio);
    }
    sendLive();
  } else {
    pages->setCurrentWidget(otherPage);
    showEntry(settingEntry(it->PrmWords));
  }
}

void TSetDlg::RadBtn1Click() {
  checkOperation(RadBtn1);
  writeAll(kTeachValueWord);
}

void TSetDlg::RadBtn2Click() {
  checkOperation(RadBtn2);
  Edit1->setText(QString::number(NumBar->value()));
  writeAll(loopCounterWord(NumBar->value()));
}

void TSetDlg::RadBtn3Click() {
  checkOperation(RadBtn3);
  // The button takes the number as typed; only Enter and the focus change limit it.
  writeAll(compareRegisterWord(parseIntegerOr(Edit2->text().toStdString(), 0)));
}

void TSetDlg::RadBtn4Click() {
  checkOperation(RadBtn4);
  writeAll(analogCalibrateWord(AdList->currentIndex()));
}

void TSetDlg::RadBtn6Click() {
  checkOperation(RadBtn6);
  writeAll(sensorControlWord(sensorMask()));
}

void TSetDlg::RadBtn7Click() {
  checkOperation(RadBtn7);
  writeAll(kReceiverPlaybackOn);
}

void TSetDlg::RadBtn8Click() {
  checkOperation(RadBtn8);
  writeAll(kReceiverPlaybackOff);
}

void TSetDlg::NumBarChange() {
  checkOperation(RadBtn2);
  Edit1->setText(QString::number(NumBar->value()));
  writeAll(loopCounterWord(NumBar->value()));
}

void TSetDlg::Edit1Enter() {
  checkOperation(RadBtn2);
  int count = parseIntegerOr(Edit1->text().toStdString(), NumBar->value());
  if (count < kLoopCountLowest || count > kLoopCountHighest) count = NumBar->value();
  setNumBar(count);
  Edit1->setText(QString::number(count));
  writeAll(loopCounterWord(count));
}

void TSetDlg::Edit2Enter() {
  checkOperation(RadBtn3);
  const int value = limitCompareRegister(parseIntegerOr(Edit2->text().toStdString(), 0));
  Edit2->setText(QString::number(value));
  writeAll(compareRegisterWord(value));
}

void TSetDlg::AdListCloseUp() {
  checkOperation(RadBtn4);
  writeAll(analogCalibrateWord(AdList->currentIndex()));
}

void TSetDlg::SckMouseUp() {
  checkOperation(RadBtn6);
  writeAll(sensorControlWord(sensorMask()));
}

void TSetDlg::MixCloseUp() {
  ChartItem* it = editedItem();
  if (!it) return;
  for (int n = 0; n < kChannelCount; ++n) {
    const auto i = static_cast<std::size_t>(n);
    it->PrmWords[i] = mixingWord({MixNum[i]->currentIndex(), MixList[i]->currentIndex()});
  }
  sendLive();
}

bool TSetDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Edit2 && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
    // Only the user moving into or out of the edit counts, not the window being shown, hidden or
    // activated: those would write a compare register into an item that holds something else.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && isVisible()) {
      Edit2Enter();
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace pvrj
