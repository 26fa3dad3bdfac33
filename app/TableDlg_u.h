// The motion table window: the board's 85 entries, the read button, editing a row through the
// data dialog, and rows dragged onto the canvas as motion references.
#pragma once

#include <QDialog>
#include <QTreeWidget>
#include <functional>

#include "chart/Chart.h"
#include "protocol/MotionTable.h"

class QToolButton;
class QWidget;

namespace pvrj {

class BoardLink;
class TDataDlg;

// The list: whole rows drag out as "slot\tcaption name".
class MotionTableList : public QTreeWidget {
  Q_OBJECT
 public:
  explicit MotionTableList(QWidget* parent = nullptr);

  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
};

class TTableDlg : public QDialog {
  Q_OBJECT
 public:
  // table: the program's copy of the entries, which this window mirrors; link may be null until
  // the board link exists.
  TTableDlg(MotionTable& table, Chart& chart, TDataDlg& dataDlg, BoardLink* link,
            QWidget* parent = nullptr);

  void setLink(BoardLink* link) { link_ = link; }
  MotionTable& table() { return table_; }

  // The read button: the whole table from the board.
  void MotReadBtnClick();
  // A double click on row n: refresh it, edit it in the data dialog, write it back.
  void ListViewDblClick(int n);

  // Runs the data dialog modally; replaceable so tests can fill it in instead of a person.
  std::function<int(TDataDlg&)> runDataDialog;

  QWidget* Panel7;
  QToolButton* MotReadBtn;
  MotionTableList* ListView;

 private:
  // Mirrors one row of the table (-1: all rows).
  void rowChanged(int row);
  // Column widths from the texts they hold, in the list's font.
  void fitColumns();

  MotionTable& table_;
  Chart& chart_;
  TDataDlg& dataDlg_;
  BoardLink* link_;
};

}  // namespace pvrj
