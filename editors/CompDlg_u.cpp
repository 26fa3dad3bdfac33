// The compare editor's controls and handlers.
#include "editors/CompDlg_u.h"

#include <QRadioButton>
#include <QVBoxLayout>

namespace pvrj {

TCompDlg::TCompDlg(Chart& chart, QWidget* parent) : QDialog(parent), chart_(chart) {
  setObjectName("CompDlg");
  setWindowTitle("CompDlg");
  auto* layout = new QVBoxLayout(this);
  for (int tag = 0; tag < kCompareConditions; ++tag) {
    auto* button = new QRadioButton(QString::fromStdString(compareConditionCaption(tag)), this);
    button->setObjectName(QString("RadBtn%1").arg(tag + 1));
    button->setProperty("tag", tag);
    // Exclusive by hand: an exclusive button could never be cleared again when an item without
    // one of the ten conditions opens.
    button->setAutoExclusive(false);
    layout->addWidget(button);
    RadBtn[static_cast<std::size_t>(tag)] = button;
    connect(button, &QRadioButton::clicked, this, [this, tag] { RadBtnMouseUp(tag); });
  }
}

ChartItem* TCompDlg::editedItem() {
  if (!chart_.validItem(item_)) return nullptr;
  return &chart_.items[static_cast<std::size_t>(item_)];
}

void TCompDlg::openItem(int item) {
  item_ = item;
  const ChartItem* it = editedItem();
  setWindowTitle(it ? QString::fromStdString(it->Name) : QString());
  const int tag = it ? compareConditionTag(it->PrmWords) : -1;
  for (int t = 0; t < kCompareConditions; ++t)
    RadBtn[static_cast<std::size_t>(t)]->setChecked(t == tag);
  show();
  raise();
  activateWindow();
}

void TCompDlg::RadBtnMouseUp(int tag) {
  for (int t = 0; t < kCompareConditions; ++t)
    RadBtn[static_cast<std::size_t>(t)]->setChecked(t == tag);
  if (ChartItem* it = editedItem()) it->PrmWords.fill(compareConditionWord(tag));
}

}  // namespace pvrj
