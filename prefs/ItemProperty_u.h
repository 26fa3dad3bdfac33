// The item property dialog: name, width and height of one chart item.
#pragma once

#include <QDialog>

#include "chart/Chart.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace pvrj {

class TItemProperty : public QDialog {
  Q_OBJECT
 public:
  explicit TItemProperty(Chart& chart, QWidget* parent = nullptr);

  // Places the dialog at the mouse pointer and fills it from item `index`.
  void LoadItemProperties(int index);
  // Writes the name and the size into item `index`; false (item unchanged) when the size texts
  // are not whole numbers.
  bool StoreItemProperties(int index);
  // "自動": the size of the name in the dialog's font, plus 2 each way.
  void Button2Click();
  // "更新": closes with OK once both sizes are whole numbers; otherwise says so and stays open.
  void Button1Click();

  int itemIndex() const { return index_; }

  QLabel* Label1;
  QLineEdit* NameEdit;
  QPushButton* Button2;
  QLabel* Label3;
  QLineEdit* WidthEdit;
  QLabel* Label4;
  QLineEdit* HeightEdit;
  QPushButton* Button1;

 private:
  bool sizesAreWhole() const;

  Chart& chart_;
  int index_ = -1;
};

// The main window's "プロパティ": loads the dialog from the item, shows it modally and, unless it
// was cancelled, stores it into the item and deselects everything. True when the item changed.
bool editItemProperties(TItemProperty& dialog, Chart& chart, int index);

}  // namespace pvrj
