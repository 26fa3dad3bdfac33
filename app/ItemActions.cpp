// Connecting the canvas's item requests to the item windows.
#include "app/ItemActions.h"

#include <QCheckBox>
#include <QComboBox>

#include "app/ChartCanvas.h"
#include "app/Main_u.h"
#include "editors/CompDlg_u.h"
#include "editors/PrmDlg_u.h"
#include "editors/SetDlg_u.h"
#include "editors/core/PatternFile.h"
#include "prefs/ItemProperty_u.h"
#include "tools/PortDlg_u.h"
#include "ui/MessageDialog_u.h"

namespace pvrj {

ItemActions::ItemActions(TPivora3& window, const MotionTable& table, TPrmDlg& positionEditor)
    : QObject(&window), window_(window), positionEditor_(positionEditor) {
  Chart& chart = window_.chart();
  // Created in the order the program's windows are: item properties, compare and setting editor,
  // port and link dialog.
  itemProperty_ = std::make_unique<TItemProperty>(chart, &window_);
  compDlg_ = std::make_unique<TCompDlg>(chart, &window_);
  setDlg_ = std::make_unique<TSetDlg>(chart, &window_);
  portDlg_ = std::make_unique<TPortDlg>(chart, positionEditor_.patternFile(), &window_);
  connectPortDlg();
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
  setDlg_->channelLabels = [this] { return positionEditor_.channelLabels(); };

  connect(window_.canvas, &ChartCanvas::itemEditorRequested, this,
          [this](int item) { Image1ItemEditor(item); });
  connect(window_.canvas, &ChartCanvas::itemPropertiesRequested, this,
          [this](int item) { PropertyMenuClick(item); });
  connect(window_.canvas, &ChartCanvas::conversionRequested, this, [this] { MirMenuClick(); });
}

ItemActions::~ItemActions() = default;

void ItemActions::connectPortDlg() {
  TPortDlg& dlg = *portDlg_;
  TPrmDlg& editor = positionEditor_;
  dlg.link = &window_.boardLink();
  dlg.channelLabels = [&editor] { return editor.channelLabels(); };
  dlg.displayRate = [&editor](int channel) { return editor.displayRate(channel - 1); };
  dlg.clearLinkActions = [&editor] { editor.editor().clearLinkActions(); };
  dlg.linkSetsChanged = [&editor] { editor.rebuildLinkList(); };
  dlg.chooseLinkSetupEntry = [&editor] {
    editor.LinkList->setCurrentIndex(editor.LinkList->count() - 1);
  };
  editor.channelNamesRequested = [this] { editChannelNames(); };
  editor.displayRatesRequested = [this] { editDisplayRates(); };
  editor.linkSetsRequested = [this] { editLinkSets(); };
}

std::vector<std::string> ItemActions::portBoxTexts() const {
  std::vector<std::string> texts;
  for (int n = 1; n <= kChannelCount; ++n) texts.push_back(portDlg_->boxText(n).toStdString());
  return texts;
}

void ItemActions::editChannelNames() {
  portDlg_->PrepareChannelNames();
  if (execModal(*portDlg_) != QDialog::Accepted) return;
  positionEditor_.applyChannelNames(portBoxTexts());
}

void ItemActions::editDisplayRates() {
  portDlg_->PrepareDisplayRates();
  if (execModal(*portDlg_) != QDialog::Accepted) return;
  positionEditor_.applyDisplayRates(portBoxTexts());
}

void ItemActions::editLinkSets() {
  portDlg_->PrepareLinkSets();
  execModal(*portDlg_);
}

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
  window_.recordChange();
}

void ItemActions::MirMenuClick() {
  portDlg_->PrepareConversion();
  if (execModal(*portDlg_) == QDialog::Accepted) window_.canvas->redraw();
  window_.recordChange();
}

void connectPositionEditor(TPivora3& window, TPrmDlg& editor) {
  editor.setLink(&window.boardLink());
  QCheckBox* sync = window.Sync;
  editor.setSyncSource([sync] { return sync->isChecked(); });
  Chart& chart = window.chart();
  QObject::connect(
      window.canvas, &ChartCanvas::itemEditorRequested, &editor, [&chart, &editor](int item) {
        if (chart.validItem(item) && chart.items[static_cast<std::size_t>(item)].Type == kItemPos) {
          editor.openItem(item);
        }
      });
  window.hideOnActivation(&editor);
}

}  // namespace pvrj
