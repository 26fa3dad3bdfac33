// The data dialog's controls and handlers.
#include "tools/DataDlg_u.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "protocol/BoardLink.h"
#include "protocol/EntryEditing.h"
#include "tools/ToolWidgets.h"
#include "ui/MessageDialog_u.h"

namespace pvrj {
namespace {

constexpr int kBoxesPerColumn = 8;

}  // namespace

TDataDlg::TDataDlg(Chart& chart, MotionTable& table, BoardLink* link, QWidget* parent)
    : QDialog(parent), chart_(chart), table_(table), link_(link) {
  setObjectName("DataDlg");
  setWindowTitle("DataDlg");

  Label1 = new QLabel("データ名", this);
  MotName = new QLineEdit(this);
  MotName->setObjectName("MotName");
  Label2 = new QLabel("コントロール入力", this);
  CntEdit = new QLineEdit(this);
  CntEdit->setObjectName("CntEdit");
  Button3 = new QPushButton("受信", this);
  Button3->setObjectName("Button3");
  PortLabel = new QLabel("使用ポート", this);
  PortLabel->setObjectName("PortLabel");
  Button1 = new QPushButton("OK", this);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  Button2 = new QPushButton("Cancel", this);
  Button2->setObjectName("Button2");

  auto* boxes = new QGridLayout;
  for (int n = 1; n <= kPortBoxes; ++n) {
    auto* box = new QCheckBox(QString("CH%1").arg(n), this);
    box->setObjectName(QString("PE%1").arg(n));
    box->setProperty("tag", n);
    boxes->addWidget(box, (n - 1) % kBoxesPerColumn, (n - 1) / kBoxesPerColumn);
  }
  // The boxes are found by name and kept by their tag, as the rest of the dialog refers to them.
  for (QCheckBox* box : findChildren<QCheckBox*>()) {
    int tag = box->property("tag").toInt();
    if (tag >= 1 && tag <= kPortBoxes) PE[static_cast<std::size_t>(tag - 1)] = box;
  }

  auto* counterRow = new QHBoxLayout;
  counterRow->addWidget(CntEdit);
  counterRow->addWidget(Button3);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(MotName);
  layout->addWidget(Label2);
  layout->addLayout(counterRow);
  layout->addWidget(PortLabel);
  layout->addLayout(boxes);
  layout->addLayout(buttons);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
}

void TDataDlg::showChannelLabels(const std::array<ChannelLabel, kPortBoxes>& labels) {
  for (int i = 0; i < kPortBoxes; ++i) {
    const ChannelLabel& label = labels[static_cast<std::size_t>(i)];
    showChannelLabel(*PE[static_cast<std::size_t>(i)], label, channelLabelName(label, i + 1));
  }
}

void TDataDlg::setChannelNames(const std::array<QString, kPortBoxes>& names) {
  for (int i = 0; i < kPortBoxes; ++i) {
    const QString& name = names[static_cast<std::size_t>(i)];
    PE[static_cast<std::size_t>(i)]->setText(name.isEmpty() ? QString("CH%1").arg(i + 1) : name);
  }
}

void TDataDlg::LoadDataProperties(int index, int kind) {
  if (channelLabels) showChannelLabels(channelLabels());
  std::uint32_t mask = 0;
  if (index < 0) {
    MotName->setText(QString::fromStdString(chart_.Name));
    CntEdit->setText(QString::number(chart_.Ctrl));
    mask = chart_.Port;
  } else {
    const TableRow& row = table_.row(index);
    MotName->setText(QString::fromStdString(row.name));
    CntEdit->setText(QString::fromStdString(row.control));
    mask = table_.LastChannelMask;
  }
  bool motion = kind == kMotionChart;
  if (!motion) mask = 0;
  for (int i = 0; i < kPortBoxes; ++i) {
    QCheckBox* box = PE[static_cast<std::size_t>(i)];
    box->setChecked((mask >> i) & 1u);
    box->setEnabled(motion);
  }
  PortLabel->setEnabled(motion);
}

std::uint32_t TDataDlg::CollectPortMask() const {
  std::uint32_t mask = 0;
  for (int i = 0; i < kPortBoxes; ++i)
    if (PE[static_cast<std::size_t>(i)]->isChecked()) mask |= 1u << i;
  return mask;
}

void TDataDlg::showCounterValue(std::uint16_t value) {
  CntEdit->setText(QString::number(value));
}

int TDataDlg::controlValue(int fallback) const {
  return parseControlValue(CntEdit->text().toStdString()).value_or(fallback);
}

void TDataDlg::Button1Click() {
  if (!MotName->text().isEmpty())
    MotName->setText(QString::fromStdString(cleanDataName(MotName->text().toStdString())));
  accept();
}

void TDataDlg::Button2Click() {
  // The table's edit left the receiver stream on; Cancel switches it off whatever its state.
  if (link_) link_->SetReceiverStream(kStreamOff);
  reject();
}

void TDataDlg::Button3Click() {
  if (!link_) return;
  if (auto value = readControlCounter(*link_)) showCounterValue(*value);
}

bool TDataDlg::editChartHeader() {
  const bool ok = runDataDialogBracketed(link_, [this] {
    LoadDataProperties(-1, chart_.Type);
    return execModal(*this) == QDialog::Accepted;
  });
  if (!ok) return false;
  chart_.Name = MotName->text().toStdString();
  chart_.Port = CollectPortMask();
  chart_.Ctrl = controlValue(chart_.Ctrl);
  return true;
}

}  // namespace pvrj
