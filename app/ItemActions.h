// The main window's item work: the setting and compare editors opened by a double click, the item
// property dialog and the channel conversion of the canvas's context menu.
#pragma once

#include <QObject>
#include <memory>
#include <string>
#include <vector>

namespace pvrj {

class MotionTable;
class TCompDlg;
class TItemProperty;
class TPivora3;
class TPortDlg;
class TPrmDlg;
class TSetDlg;

class ItemActions : public QObject {
  Q_OBJECT
 public:
  // table: the program's copy of the board's motion table, whose captions the setting editor's
  // sensor boxes name. positionEditor: the channel labels the editors show, and the pattern file,
  // names, rates and link sets the per-channel entry dialog works on for it; it must outlive the
  // run of the event loop.
  ItemActions(TPivora3& window, const MotionTable& table, TPrmDlg& positionEditor);
  ~ItemActions() override;

  TSetDlg& setDlg() { return *setDlg_; }
  TCompDlg& compDlg() { return *compDlg_; }
  TItemProperty& itemProperty() { return *itemProperty_; }
  // The per-channel entry dialog; the position editor uses it too.
  TPortDlg& portDlg() { return *portDlg_; }

  // A double click on item `item`: the editor of its kind (setting and compare items).
  void Image1ItemEditor(int item);
  // "プロパティ" on item `item`.
  void PropertyMenuClick(int item);
  // "変換": the entry dialog in its conversion mode; its OK converts the selected items.
  void MirMenuClick();
  // The position editor's "名前", "表示レート設定" and link list's last entry.
  void editChannelNames();
  void editDisplayRates();
  void editLinkSets();

 private:
  void connectPortDlg();
  std::vector<std::string> portBoxTexts() const;

  TPivora3& window_;
  TPrmDlg& positionEditor_;
  std::unique_ptr<TItemProperty> itemProperty_;
  std::unique_ptr<TCompDlg> compDlg_;
  std::unique_ptr<TSetDlg> setDlg_;
  std::unique_ptr<TPortDlg> portDlg_;
};

// Joins the position editor to the main window: its board and "SYNC" box, the canvas's double
// click on a POS item, and hiding whenever the main window becomes active.
void connectPositionEditor(TPivora3& window, TPrmDlg& editor);

}  // namespace pvrj
