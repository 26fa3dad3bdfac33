// The servo-bus dialog: the 24 channels and the parameters kept in each servo on the servo bus,
// read all at once, edited one by one with a double click, copied by dragging one row onto another.
#pragma once

#include <QDialog>
#include <QTreeWidget>
#include <functional>
#include <string>

#include "tools/core/ServoBus.h"

class QAction;
class QToolBar;

namespace pvrj {

class TQVSDlg;
class TQVSPrm;

// The list, which hands its drags and drops to the dialog's handlers.
class ServoListView : public QTreeWidget {
  Q_OBJECT
 public:
  ServoListView(TQVSDlg& dialog, QWidget* parent);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  TQVSDlg& dialog_;
};

class TQVSDlg : public QDialog {
  Q_OBJECT
 public:
  // prm: the parameter dialog that edits one servo.
  TQVSDlg(BoardLink& link, UserInterface& ui, TQVSPrm& prm, QWidget* parent = nullptr);

  // The channel's name as the position editor labels it (UTF-8), channel 1 to 24; "CH"n until
  // something else is supplied.
  std::function<std::string(int channel)> channelName;

  // The servo-bus button of the main window: the channel flags, the stored servo-bus bit set, the
  // list shown modally, the bit cleared. False when the dialog could not be shown.
  bool openFromMainWindow();
  // Reads the QVS channel mask into the channel flags; true on success.
  bool LoadServoBusChannels();
  // Fills the list with 24 rows of number, name and "PWM" for the servo-bus channels.
  void ShowServoBusChannels();

  void SioReadBtnClick();
  // On the selected row.
  void QVSListDblClick();
  // Whether a drag from source (this list or anything else) may drop on targetRow (-1: no row).
  bool QVSListDragOver(bool fromThisList, int targetRow) const;
  // The selected row's parameters onto targetRow.
  void QVSListDragDrop(int targetRow);

  // The selected row, -1 for none.
  int selectedRow() const;
  const ServoBusChannels& channels() const { return bus_.channels(); }

  QToolBar* Panel7;
  QAction* SioReadBtn;
  ServoListView* QVSList;

 private:
  std::string nameOf(int row) const;
  // Grows the window so every column and row shows, within the screen.
  void fitToList();
  void showRow(int row, const ServoBlock* block);

  ServoBus bus_;
  TQVSPrm& prm_;
};

}  // namespace pvrj
