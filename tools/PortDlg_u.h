// The per-channel entry dialog: one box per channel for a conversion, the channel names, the
// display rates or a link set, and the pattern file that keeps conversion sets and link sets.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "chart/ChannelConversion.h"
#include "chart/Chart.h"
#include "editors/core/PatternFile.h"
#include "tools/ToolWidgets.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace pvrj {

class BoardLink;

// The dialog's modes; each caller sets its own before showing it.
enum PortDlgMode : int {
  kPortModeNone = 0,
  kPortModeConversion = 2,
  kPortModeChannelNames = 3,
  kPortModeDisplayRates = 4,
  kPortModeLinkSets = 5,
};

inline constexpr int kPortBoxVisibleRows = 20;

// A display rate as the rate boxes show it: at most three decimals ("1", "0.5", "0.333").
QString formatRateForBox(float rate);

class TPortDlg : public QDialog {
  Q_OBJECT
 public:
  // Works on pattern, the program's one copy of "PATTERN.ini" (read at start and written back at
  // the end by its owner, the position editor); the conversion acts on chart's selected items.
  TPortDlg(Chart& chart, PatternFile& pattern, QWidget* parent = nullptr);

  // What the dialog takes from the position editor; each may stay unset (then the channels show
  // "CH" + n, rates are 1 and link actions go nowhere).
  BoardLink* link = nullptr;                      // channel names are read from the board
  std::function<ChannelLabels()> channelLabels;   // the editor's channel labels
  std::function<float(int channel)> displayRate;  // the editor's display rate of channel n
  // The position editor's link sets: its 24 link actions emptied; its link list rebuilt from the
  // pattern file's names (after a set was added or deleted); its link list's last entry chosen.
  // The editor itself loads a set chosen in its list from the same pattern file.
  std::function<void()> clearLinkActions;
  std::function<void()> linkSetsChanged;
  std::function<void()> chooseLinkSetupEntry;

  PatternFile& pattern() { return pattern_; }
  int mode() const { return mode_; }
  // The text of channel n's box (1 to 24).
  QString boxText(int channel) const;

  // Set-up before showing the dialog modally.
  void PrepareConversion();
  void PrepareChannelNames();
  void PrepareDisplayRates();
  void PrepareLinkSets();

  // Handlers.
  void ListMenuCloseUp();
  void DelBtnClick();
  void OKBtnClick();
  void Button1Click();

  std::array<QLabel*, kChannelCount> PortName{};
  std::array<QComboBox*, kChannelCount> Cmb{};
  QLabel* ListLabel;
  QComboBox* ListMenu;
  QPushButton* DelBtn;
  QPushButton* OKBtn;
  QPushButton* Button1;

 private:
  void showRowLabels(bool channelNumbers);
  void showSetControls(bool shown);
  // Fills the 24 boxes: editable, with the given list, nothing chosen and empty.
  void prepareBoxes(const std::vector<std::string>& items);
  void setBoxTexts(const ChannelRules& texts);
  std::vector<std::string> boxTexts() const;
  std::vector<std::string> setNames() const;
  void setSetNames(const std::vector<std::string>& names);
  std::vector<std::string> listMenuNames() const;
  void fillListMenu(const std::vector<std::string>& names);
  // The entry chosen from ListMenu and not typed over since, or -1.
  int chosenEntry() const;
  void rebuildLinkList();
  void chooseLastLinkEntry();
  void clearEditorLinkActions();
  // Saves the boxes as a set: under the chosen entry, or a typed name appended to the list.
  void saveSet(const std::string& name, bool typed);
  bool acceptConversion();
  bool acceptLinkSet();

  Chart& chart_;
  PatternFile& pattern_;
  int mode_ = kPortModeNone;
  int chosen_ = -1;
};

}  // namespace pvrj
