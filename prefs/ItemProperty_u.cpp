// The item property dialog's controls and handlers.
#include "prefs/ItemProperty_u.h"

#include <QCursor>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "prefs/core/ItemSize.h"
#include "ui/MessageDialog_u.h"

namespace pvrj {

namespace {

// The dialog's top-left corner lands this far up and left of the pointer.
constexpr int kPointerOffset = 20;
// The measured text gets this much room around it.
constexpr int kTextMargin = 2;

}  // namespace

TItemProperty::TItemProperty(Chart& chart, QWidget* parent) : QDialog(parent), chart_(chart) {
  setObjectName("ItemProperty");
  setWindowTitle("ItemProperty");
  Label1 = new QLabel("名前", this);
  Label1->setObjectName("Label1");
  NameEdit = new QLineEdit(this);
  NameEdit->setObjectName("NameEdit");
  Button2 = new QPushButton("自動", this);
  Button2->setObjectName("Button2");
  Button2->setAutoDefault(false);
  Label3 = new QLabel("横幅", this);
  Label3->setObjectName("Label3");
  WidthEdit = new QLineEdit(this);
  WidthEdit->setObjectName("WidthEdit");
  Label4 = new QLabel("高さ", this);
  Label4->setObjectName("Label4");
  HeightEdit = new QLineEdit(this);
  HeightEdit->setObjectName("HeightEdit");
  Button1 = new QPushButton("更新", this);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);

  auto* layout = new QGridLayout(this);
  layout->addWidget(Label1, 0, 0);
  layout->addWidget(NameEdit, 0, 1);
  layout->addWidget(Button2, 0, 2);
  layout->addWidget(Label3, 1, 0);
  layout->addWidget(WidthEdit, 1, 1);
  layout->addWidget(Label4, 2, 0);
  layout->addWidget(HeightEdit, 2, 1);
  layout->addWidget(Button1, 2, 2);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

void TItemProperty::LoadItemProperties(int index) {
  move(QCursor::pos() - QPoint(kPointerOffset, kPointerOffset));
  index_ = index;
  if (!chart_.validItem(index)) return;
  const ChartItem& item = chart_.items[static_cast<std::size_t>(index)];
  setWindowTitle(QString::fromStdString(item.Name));
  NameEdit->setText(QString::fromStdString(item.Name));
  WidthEdit->setText(QString::number(item.Width));
  HeightEdit->setText(QString::number(item.Height));
}

bool TItemProperty::sizesAreWhole() const {
  return itemSizeFromText(WidthEdit->text().toStdString()) &&
         itemSizeFromText(HeightEdit->text().toStdString());
}

bool TItemProperty::StoreItemProperties(int index) {
  const auto width = itemSizeFromText(WidthEdit->text().toStdString());
  const auto height = itemSizeFromText(HeightEdit->text().toStdString());
  // All or nothing: the name is not taken over without a size that can be.
  if (!chart_.validItem(index) || !width || !height) return false;
  ChartItem& item = chart_.items[static_cast<std::size_t>(index)];
  item.Name = NameEdit->text().toStdString();
  item.Width = *width;
  item.Height = *height;
  return true;
}

void TItemProperty::Button2Click() {
  const QFontMetrics metrics(font());
  WidthEdit->setText(QString::number(metrics.horizontalAdvance(NameEdit->text()) + kTextMargin));
  HeightEdit->setText(QString::number(metrics.height() + kTextMargin));
}

void TItemProperty::Button1Click() {
  if (!sizesAreWhole()) {
    ShowMessageBox(kMsgWarning, kBtnOk, kItemSizeNotWholeMessage, this);
    return;
  }
  accept();
}

bool editItemProperties(TItemProperty& dialog, Chart& chart, int index) {
  if (!chart.validItem(index)) return false;
  dialog.LoadItemProperties(index);
  if (execModal(dialog) != QDialog::Accepted) return false;
  if (!dialog.StoreItemProperties(index)) return false;
  chart.deselectAll();
  return true;
}

}  // namespace pvrj
