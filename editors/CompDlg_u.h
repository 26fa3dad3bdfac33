// The compare editor: the condition under which a compare item takes its branch line.
#pragma once

#include <QDialog>
#include <array>

#include "chart/Chart.h"
#include "editors/core/CompareWords.h"

class QRadioButton;

namespace pvrj {

class TCompDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TCompDlg(Chart& chart, QWidget* parent = nullptr);

  // Shows the window for item `item`: its name as caption, the button of its condition checked.
  void openItem(int item);
  // The item the window edits (-1 before the first opening).
  int item() const { return item_; }

  // A radio button released: its condition word into all 24 words of the item.
  void RadBtnMouseUp(int tag);

  std::array<QRadioButton*, kCompareConditions> RadBtn{};

 private:
  ChartItem* editedItem();

  Chart& chart_;
  int item_ = -1;
};

}  // namespace pvrj
