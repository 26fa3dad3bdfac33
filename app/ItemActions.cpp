// Connecting the canvas's item requests to the item windows.
#include "app/ItemActions.h"

#include <QCheckBox>

#include "app/ChartCanvas.h"
#include "app/Main_u.h"
#include "app/MessageDialog_u.h"
#include "common/SettingsFolder.h"
#include "editors/CompDlg_u.h"
#include "editors/SetDlg_u.h"
#include "editors/core/PatternFile.h"
#include "prefs/ItemProperty_u.h"
#include "tools/PortDlg_u.h"

namespace pvrj {

ItemActions::ItemActions(TPivora3& window, const MotionTable& table)
    : QObject(&window), window_(window) {
  Chart& chart = window_.chart();
  // Created in the order the program's windows are: item properties, compare and setting editor,
  // port and link dialog (which reads the pattern file now and writes it back when it goes).
  itemProperty_ = std::make_unique<TItemProperty>(chart, &window_);
  compDlg_ = std::make_unique<TCompDlg>(chart, &window_);
  setDlg_ = std::make_unique<TSetDlg>(chart, &window_);
  portDlg_ = std::make_unique<TPortDlg>(chart, settingsFilePath(kPatternFileName), &window_);
  portDlg_->link = &window_.boardLink();
  // A pattern file that is there but cannot be read is left alone at the end; say so now.
  if (const std::string& error = portDlg_->pattern().readError(); !error.empty()) {
    window_.showStatus(error);
  }
  // Editors stay beside the main window, as tool windows that do not block it.
  for (QDialog* editor :
       {static_cast<QDialog*>(compDlg_.get()), static_cast<QDialog*>(setDlg_.get())}) {
    editor->setWindowFlag(Qt::Tool);
    editor->setModal(false);
    window_.hideOnActivation(editor);
  }
  setDlg_->link = &window_.boardLink();
  setDlg_->motionTable = &table;
  setDlg_->syncOn = [this] { return window_.Sync->isChecked(); };

  connect(window_.canvas, &ChartCanvas::itemEditorRequested, this,
          [this](int item) { Image1ItemEditor(item); });
  connect(window_.canvas, &ChartCanvas::itemPropertiesRequested, this,
          [this](int item) { PropertyMenuClick(item); });
  connect(window_.canvas, &ChartCanvas::conversionRequested, this, [this] { MirMenuClick(); });
}

ItemActions::~ItemActions() = default;

void ItemActions::Image1ItemEditor(int item) {
  Chart& chart = window_.chart();
  if (!chart.validItem(item)) return;
  switch (chart.items[static_cast<std::size_t>(item)].Type) {
    case kItemSet:
      setDlg_->openItem(item);
      break;
    case kItemCmp:
      compDlg_->openItem(item);
      break;
    default:
      break;  // the position editor answers for position items
  }
}

void ItemActions::PropertyMenuClick(int item) {
  if (editItemProperties(*itemProperty_, window_.chart(), item)) window_.canvas->redraw();
}

void ItemActions::MirMenuClick() {
  portDlg_->PrepareConversion();
  if (execModal(*portDlg_) == QDialog::Accepted) window_.canvas->redraw();
}

}  // namespace pvrj
